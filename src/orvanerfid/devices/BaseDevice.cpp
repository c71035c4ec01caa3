#include "orvanerfid/devices/BaseDevice.h"

#include <algorithm>
#include <any>
#include <type_traits>
#include <utility>

#include "orvanerfid/core/Barcode.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {

namespace {

ReaderException notSupported() {
    return ReaderException(ResultCode::notSupported, "");
}
ReaderException invalidParameter() {
    return ReaderException(ResultCode::invalidParameter, "");
}

std::string desc(DeviceParamId id) {
    return std::string(description(id));
}

template <class T>
DeviceValue toDeviceValue(T value) {
    return DeviceValue(std::move(value));
}
// The two temperature protections travel as DeviceParam's unsigned numbers.
DeviceValue toDeviceValue(uint16_t value) {
    return DeviceValue(unsigned{value});
}

// The record's value as the argument type of its operation; 0x5002 when the text is no device
// text of the id or converts to another type.
template <class T>
T argumentAs(const DeviceParam& param) {
    const auto value = param.valueToAny(param._value());
    if (!value) throw invalidParameter();
    if constexpr (std::is_same_v<T, uint16_t>) {
        const auto* number = std::get_if<unsigned>(&*value);
        if (number == nullptr || *number > 0xFFFF) throw invalidParameter();
        return static_cast<uint16_t>(*number);
    } else {
        const auto* typed = std::get_if<T>(&*value);
        if (typed == nullptr) throw invalidParameter();
        return *typed;
    }
}

// The largest reply count of one exchange: the count travels as one byte.
constexpr int kMaxReplies = 255;

}  // namespace

BaseDevice::BaseDevice(std::string className, std::shared_ptr<BaseProtocol> baseProtocol)
    : className_(std::move(className)), baseProtocol_(std::move(baseProtocol)) {}

void BaseDevice::attachToProtocol() {
    const std::weak_ptr<BaseDevice> self = weak_from_this();
    if (!self.expired()) baseProtocol_->setDelegate(self);
}

uint32_t BaseDevice::firmwareVersionNumber() const {
    const auto& transport = baseProtocol_->transport();
    return Utilities::versionToUInt32(transport ? transport->firmwareRevision() : std::string());
}

std::shared_ptr<BaseDeviceDelegate> BaseDevice::delegate() const {
    std::lock_guard guard(delegateLock_);
    return delegate_.lock();
}

void BaseDevice::setDelegate(std::weak_ptr<BaseDeviceDelegate> delegate) {
    std::lock_guard guard(delegateLock_);
    delegate_ = std::move(delegate);
}

std::vector<DeviceParam> BaseDevice::_supportedParameters() const {
    std::lock_guard guard(paramsLock_);
    return supportedParameters_;
}

void BaseDevice::setSupportedParameters(std::vector<DeviceParam> parameters) {
    std::vector<DeviceParamId> ids;
    ids.reserve(parameters.size());
    for (const auto& parameter : parameters)
        ids.push_back(parameter.id());
    std::lock_guard guard(paramsLock_);
    supportedParameters_ = std::move(parameters);
    supportedIds_ = std::move(ids);
}

bool BaseDevice::start() {
    logDebug(" *** Start protocol");
    attachToProtocol();
    const bool started = baseProtocol_->start();
    if (!started) logError("Start protocol failed");
    return started;
}

// The base answer of every operation of the table: not supported, nothing sent.
#define ORV_DEVICE_DEFINE_GET_(setting, Value, name) \
    Value BaseDevice::name() {                       \
        throw notSupported();                        \
    }
#define ORV_DEVICE_DEFINE_SET_(setting, Value, name) \
    void BaseDevice::name(Value) {                   \
        throw notSupported();                        \
    }
#define ORV_DEVICE_DEFINE_ACTION_(setting, name) \
    void BaseDevice::name() {                    \
        throw notSupported();                    \
    }
#define ORV_DEVICE_DEFINE_CALL_(Result, name, ...) \
    Result BaseDevice::name(__VA_ARGS__) {         \
        throw notSupported();                      \
    }
ORV_DEVICE_OPERATIONS(ORV_DEVICE_DEFINE_GET_, ORV_DEVICE_DEFINE_SET_, ORV_DEVICE_DEFINE_ACTION_,
                      ORV_DEVICE_DEFINE_CALL_)
#undef ORV_DEVICE_DEFINE_GET_
#undef ORV_DEVICE_DEFINE_SET_
#undef ORV_DEVICE_DEFINE_ACTION_
#undef ORV_DEVICE_DEFINE_CALL_

void BaseDevice::triggerAlive() {
    logError("Trigger alive is not implemented!");
}

uint8_t BaseDevice::getResponseCount(DeviceParamId id) {
    return (id == DeviceParamId::inventoryIndicator || id == DeviceParamId::autoOffTimeList) ? 0
                                                                                             : 1;
}

// ---- Support and single access ----

bool BaseDevice::isSupported(DeviceParamId id) const {
    if (std::find(supportedIds_.begin(), supportedIds_.end(), id) == supportedIds_.end()) {
        return false;
    }
    uint32_t minVersion = 0;
    uint32_t maxVersion = 0;
    {
        std::lock_guard guard(paramsLock_);
        const auto it = std::find_if(supportedParameters_.begin(), supportedParameters_.end(),
                                     [id](const DeviceParam& p) { return p.id() == id; });
        if (it == supportedParameters_.end()) return false;
        minVersion = it->_minVersion();
        maxVersion = it->_maxVersion();
    }
    const uint32_t version = firmwareVersionNumber();
    return minVersion <= version && version <= maxVersion;
}

void BaseDevice::checkSupported(DeviceParamId id) const {
    if (isSupported(id)) return;
    logError(desc(id) + " does not support!");
    throw notSupported();
}

DeviceParam BaseDevice::getSupportedParameter(DeviceParamId id) const {
    std::lock_guard guard(paramsLock_);
    const auto it = std::find_if(supportedParameters_.begin(), supportedParameters_.end(),
                                 [id](const DeviceParam& p) { return p.id() == id; });
    if (it == supportedParameters_.end()) throw notSupported();
    return *it;
}

DeviceParam BaseDevice::getParameter(DeviceParamId id) {
    checkSupported(id);
    DeviceParam record = getSupportedParameter(id);
    if (!DeviceParam::isReadable(id)) {
        logError(desc(id) + " is not readable!");
        throw invalidParameter();
    }
    if (id == DeviceParamId::triggerKeyStatus) {
        logError("Please call getParameters instead.");
        throw ReaderException(ResultCode::invalidCommand,
                              "Please call getParameters for triggerKeyStatus instead.");
    }
    record.set_value(record.valueToString(readSetting(id)));
    std::lock_guard guard(paramsLock_);
    for (auto& stored : supportedParameters_) {
        if (stored.id() == id) {
            stored.set_value(record._value());
            return stored;
        }
    }
    return record;
}

void BaseDevice::setParameter(const DeviceParam& deviceParam) {
    const DeviceParamId id = deviceParam.id();
    checkSupported(id);
    if (!DeviceParam::isExecutableOrWritable(id)) {
        logError(desc(id) + " is not executable or writable!");
        throw invalidParameter();
    }
    writeSetting(deviceParam);
}

DeviceValue BaseDevice::readSetting(DeviceParamId id) {
    switch (id) {
#define ORV_DEVICE_ROUTE_GET_(setting, Value, name) \
    case DeviceParamId::setting:                    \
        return toDeviceValue(name());
#define ORV_DEVICE_ROUTE_NONE_(...)
        ORV_DEVICE_OPERATIONS(ORV_DEVICE_ROUTE_GET_, ORV_DEVICE_ROUTE_NONE_, ORV_DEVICE_ROUTE_NONE_,
                              ORV_DEVICE_ROUTE_NONE_)
#undef ORV_DEVICE_ROUTE_GET_
        case DeviceParamId::batteryStatusExtended: {
            const auto all = allCases<BatteryStatusExtendedType>();
            return getBatteryStatusExtended(
                std::vector<BatteryStatusExtendedType>(all.begin(), all.end()));
        }
        default:
            break;
    }
    throw notSupported();
}

void BaseDevice::writeSetting(const DeviceParam& deviceParam) {
    switch (deviceParam.id()) {
#define ORV_DEVICE_ROUTE_SET_(setting, Value, name) \
    case DeviceParamId::setting:                    \
        name(argumentAs<Value>(deviceParam));       \
        return;
#define ORV_DEVICE_ROUTE_ACTION_(setting, name) \
    case DeviceParamId::setting:                \
        name();                                 \
        return;
        ORV_DEVICE_OPERATIONS(ORV_DEVICE_ROUTE_NONE_, ORV_DEVICE_ROUTE_SET_,
                              ORV_DEVICE_ROUTE_ACTION_, ORV_DEVICE_ROUTE_NONE_)
#undef ORV_DEVICE_ROUTE_SET_
#undef ORV_DEVICE_ROUTE_ACTION_
#undef ORV_DEVICE_ROUTE_NONE_
        case DeviceParamId::displayMessage: {
            const auto message = argumentAs<DisplayMessage>(deviceParam);
            // The device text pads the message with zero bytes; the display gets the text
            // without them, as the single operation would.
            std::string text = message.message;
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            setDisplayOutput(text, message.charPosition, message.clearScreen, message.linePosition);
            return;
        }
        default:
            break;
    }
    throw notSupported();
}

// ---- Multiple access ----

Response BaseDevice::multiExchange(const Bytes& request, int replies) {
    if (replies == 0) {
        // Requests whose replies never reach the reply queue are written without a wait.
        const ResultCode code = baseProtocol_->write(request);
        if (code != ResultCode::noError) return Response(code, std::nullopt);
        return Response(ResultCode::noError, Bytes{});
    }
    return baseProtocol_->send(request, kTimeout, replies);
}

std::vector<DeviceParam> BaseDevice::getParameters(
    std::optional<std::vector<DeviceParamId>> deviceParamIds) {
    if (!supportMultipleSetting_) throw notSupported();
    const std::vector<DeviceParamId> asked = deviceParamIds ? *deviceParamIds : supportedIds_;

    std::vector<DeviceParamId> ids;
    for (const DeviceParamId id : asked) {
        if (!isSupported(id)) {
            logError(desc(id) + " does not support!");
            continue;
        }
        if (!DeviceParam::isReadable(id)) {
            logWarn(desc(id) + " is not readable!");
            continue;
        }
        // A repeated id is asked once.
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    if (ids.empty()) return {};

    Bytes request;
    int requests = 0;
    int replies = 0;
    const auto pack = [&](const DeviceParam& param) {
        const Bytes bytes = getBytePackage(param);
        ++requests;
        // Only a request that was packed brings a reply.
        if (bytes.empty()) return;
        replies += getResponseCount(param.id());
        request.insert(request.end(), bytes.begin(), bytes.end());
    };
    for (const DeviceParamId id : ids) {
        if (id == DeviceParamId::batteryStatusExtended) {
            const auto all = allCases<BatteryStatusExtendedType>();
            pack(DeviceParam(id, BatteryStatusExtended(std::vector<BatteryStatusExtendedType>(
                                     all.begin(), all.end()))));
        } else if (id == DeviceParamId::triggerKeyStatus) {
            for (const KeyID key : supportedTriggerKeys_) {
                TriggerKeyStatus status;
                status.keyId = key;
                pack(DeviceParam(id, status));
            }
        } else {
            pack(getSupportedParameter(id));
        }
    }
    logDebug("deviceParameterIds count: " + std::to_string(ids.size()) +
             ", sendCommandCount count: " + std::to_string(requests) +
             ", receivePacketCount: " + std::to_string(replies));
    if (replies > kMaxReplies) {
        logError("getParameters(deviceParamIds:) More than 255 replies in one exchange");
        throw invalidParameter();
    }

    Bytes data;
    if (!request.empty()) {
        data = checkResponse("getParameters(deviceParamIds:)", multiExchange(request, replies));
    }
    return responseDataToDeviceParam(data, ids);
}

void BaseDevice::setParameters(const std::vector<DeviceParam>& deviceParams) {
    if (!supportMultipleSetting_) throw notSupported();

    // For a repeated id the last record counts, in the place of the first.
    std::vector<const DeviceParam*> records;
    for (const auto& param : deviceParams) {
        const auto it = std::find_if(records.begin(), records.end(),
                                     [&](const DeviceParam* p) { return p->id() == param.id(); });
        if (it == records.end()) {
            records.push_back(&param);
        } else {
            *it = &param;
        }
    }

    Bytes request;
    int replies = 0;
    for (const DeviceParam* param : records) {
        const DeviceParamId id = param->id();
        if (!isSupported(id)) {
            logWarn(desc(id) + " does not support!");
            continue;
        }
        if (!DeviceParam::isExecutableOrWritable(id)) {
            logWarn(desc(id) + " is not executable or writable!");
            continue;
        }
        const Bytes bytes = setBytePackage(*param);
        if (bytes.empty()) continue;
        replies += getResponseCount(id);
        request.insert(request.end(), bytes.begin(), bytes.end());
    }
    if (replies > kMaxReplies) {
        logError("setParameters(deviceParams:) More than 255 replies in one exchange");
        throw invalidParameter();
    }
    // Nothing to write: done, without an exchange.
    if (request.empty()) return;

    const Bytes data =
        checkResponse("setParameters(deviceParams:)", multiExchange(request, replies));
    verifySetResult(data);
}

Bytes BaseDevice::exchange(std::string_view tag, ByteView data, int timeout) {
    return checkResponse(tag, baseProtocol_->send(data, timeout));
}

// ---- Events ----

BarcodeEventArgs BaseDevice::barcodeEvent(const ProtocolBarcodeEventArgs& barcode) const {
    BarcodeId id{};
    if (barcode.hasBarcodeId) {
        std::optional<BarcodeId> mapped;
        switch (engineModel()) {
            case EngineModel::SE4770:
            case EngineModel::SE4107:
            case EngineModel::SE2707:
            case EngineModel::SE965:
            case EngineModel::SE4850:
            case EngineModel::SE5500:
                mapped = barcodeIdFromZebraCode(barcode.id);
                break;
            case EngineModel::N4603:
            case EngineModel::N6703:
            case EngineModel::N6803:
            case EngineModel::N5703:
                mapped = barcodeIdFromHoneywellCode(barcode.id);
                break;
            case EngineModel::unknown:
            case EngineModel::XL3030:
                break;
        }
        id = mapped.value_or(BarcodeId{});
    }
    return BarcodeEventArgs(id, barcode.data, barcode.timeStamp);
}

uint64_t BaseDevice::receiveStarting() {
    return loopRecords_.starting ? loopRecords_.starting() : 0;
}

void BaseDevice::receiveFinished(uint64_t loop) {
    if (loopRecords_.finished) loopRecords_.finished(loop);
}

void BaseDevice::endedTagReports(uint64_t loop, std::size_t count) {
    if (loopRecords_.endedTags) loopRecords_.endedTags(loop, count);
}

void BaseDevice::protocolEvent(const ProtocolEventArgs& event) {
    try {
        switch (event.id()) {
            case ProtocolEventId::engineModel:
                // Kept for the barcode events that follow, with or without a delegate.
                if (const auto* model = event.get<EngineModel>()) {
                    engineModel_.store(*model);
                } else {
                    logError("engineModel event without an engine model");
                }
                return;
            case ProtocolEventId::setEngineReadyEvent:
                try {
                    setEngineReadyEvent();
                } catch (const CodedError& error) {
                    logError("Failed to set engine ready event: " + error.description());
                }
                return;
            case ProtocolEventId::batteryState:
            case ProtocolEventId::gValue:
            case ProtocolEventId::tagsIndicator:
            case ProtocolEventId::resetIndicator:
            case ProtocolEventId::initialFinished:
            case ProtocolEventId::backupBatteryInUse:
            case ProtocolEventId::indicator:
            case ProtocolEventId::firmwareVersion:
            case ProtocolEventId::engineVersion:
            case ProtocolEventId::resetBuffer:
            case ProtocolEventId::accessBankType:
                // For the protocol object only.
                return;
            default:
                break;
        }
        if (!event.hasExpectedKind()) {
            logError("Dropped the " + std::string(caseName(event.id())) +
                     " event: its value is missing or of another kind");
            return;
        }
        if (event.id() == ProtocolEventId::tagInfo && *event.get<TagInfoPtr>() == nullptr) {
            logError("Dropped the tagInfo event: it holds no tag report");
            return;
        }
        std::optional<BarcodeEventArgs> barcode;
        if (const auto* record = event.get<ProtocolBarcodeEventArgs>()) {
            barcode = barcodeEvent(*record);
        }
        const auto target = delegate();
        if (!target) return;
        if (barcode) {
            target->barcodeEvent(*barcode);
            return;
        }
        deliverEvent(event, *target);
    } catch (const std::exception& error) {
        // Never into the receive loop.
        logError(std::string("protocolEvent failed: ") + error.what());
    } catch (...) {
        logError("protocolEvent failed");
    }
}

void BaseDevice::deliverEvent(const ProtocolEventArgs& event, BaseDeviceDelegate& target) {
    switch (event.id()) {
        case ProtocolEventId::temperature:
            target.temperatureEvent(*event.get<double>());
            return;
        case ProtocolEventId::batteryPercentage:
            target.batteryPercentageEvent(*event.get<uint8_t>());
            return;
        case ProtocolEventId::batteryInfo: {
            const auto& info = *event.get<BatteryInfoEventArgs>();
            target.batteryInfoEvent(info.percentage(), info.charging());
            return;
        }
        case ProtocolEventId::actionChanged:
            target.actionStateEvent(*event.get<ActionState>());
            return;
        case ProtocolEventId::tagInfo:
            target.readTag(*event.get<TagInfoPtr>());
            return;
        case ProtocolEventId::accessResult:
            target.accessResult(*event.get<AccessResultEventArgs>());
            return;
        case ProtocolEventId::keyEvent:
            target.triggerKeyEvent(*event.get<KeyEventArgs>());
            return;
        case ProtocolEventId::receivedInventoryData:
            target.receivedInventoryData();
            return;
        case ProtocolEventId::skuType:
            target.skuType(*event.get<SkuType>());
            return;
        case ProtocolEventId::macAddress:
            target.macAddress(*event.get<std::string>());
            return;
        case ProtocolEventId::notification:
            target.notificationEvent(
                NotificationEventArgs(nullptr, *event.get<NotificationID>(), std::any{}));
            return;
        case ProtocolEventId::engineReady:
            target.engineReadyEvent(*event.get<bool>());
            return;
        case ProtocolEventId::lbtStatus:
            target.lbtStatusEvent(*event.get<LbtStatusEventArgs>());
            return;
        case ProtocolEventId::antennaBeginEnd:
            target.antennaStatusEvent(*event.get<AntennaStatusEventArgs>());
            return;
        case ProtocolEventId::batchDataStatus:
            target.batchDataStatusEvent(*event.get<BatchDataStatus>());
            return;
        default:
            return;
    }
}

// ---- Logging ----

void BaseDevice::logTrace(std::string_view text) const {
    orvLogger::trace(className_, text);
}
void BaseDevice::logDebug(std::string_view text) const {
    orvLogger::debug(className_, text);
}
void BaseDevice::logWarn(std::string_view text) const {
    orvLogger::warn(className_, text);
}
void BaseDevice::logError(std::string_view text) const {
    orvLogger::error(className_, text);
}

}  // namespace orvane
