#include "orvanerfid/reader/BaseReader.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/platform/Dispatch.h"

#include <cstdio>
#include <typeinfo>

#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/devices/Vk210Device.h"
#include "orvanerfid/devices/Vk640Device.h"
#include "orvanerfid/engines/EngineTables.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/EmulatorTransport.h"
#include "orvanerfid/reader/EventSequence.h"

namespace orvane {
namespace {

constexpr std::string_view kStaticTag = "BaseReader";

// "<ClassName: 0x...>", the reader's log tag: class name and address.
std::string describe(const void* object, std::string_view className) {
    char address[32];
    std::snprintf(address, sizeof address, "%p", object);
    // Appended piece by piece: the optimiser misreads "<" + std::string(...) (-Wrestrict).
    std::string text = "<";
    text.append(className).append(": ").append(address).append(">");
    return text;
}

std::shared_ptr<BaseTransport> chooseTransport(const std::shared_ptr<OrvaneDevice>& device) {
    std::string manufacturer;
    if (device && device->emulator()) {
        manufacturer = "orvane emulator";
    } else if (device && device->eaaccessory()) {
        manufacturer = device->eaaccessory()->manufacturer();
    }
    if (containsIgnoringCase(manufacturer, "emulator")) {
        return std::make_shared<EmulatorTransport>();
    }
    auto shared = EATransport::shared();
    // A reader that used the shared transport before is told Disconnected, then let go.
    shared->takeOver(device);
    return shared;
}

}  // namespace

BaseReader::BaseReader(Key, std::shared_ptr<OrvaneDevice> device, std::string_view className)
    : tag_(describe(this, className)),
      baseTransport_(chooseTransport(device)),
      orvaneDevice_(std::move(device)),
      lastTime_(Clock::now().time_since_epoch().count()),
      events_(std::make_shared<EventSequence>()),
      keepAliveQueue_(DispatchQueue::make("com.orvane.keepAliveQueue", DispatchQoS::background,
                                          DispatchQueueAttributes::concurrent,
                                          DispatchWork::library)),
      initReaderQueue_(DispatchQueue::make("com.orvane.initReaderQueue", DispatchQoS::background,
                                           DispatchQueueAttributes::concurrent,
                                           DispatchWork::library)) {}

void BaseReader::attach() {
    events_->setTagTeller([weak = weak_from_this()](const std::shared_ptr<TagInfo>& tagInfo) {
        if (const auto self = weak.lock()) self->tellReadTag(tagInfo);
    });
    // The first reader is the logger's sink, held weakly: once it is gone the next reader made
    // takes its place.
    orvLogger::registerDelegateIfNone(shared_from_this());
    // The device is in place before the transport's first report can reach the reader.
    switch (baseTransport_->deviceType()) {
        case DeviceType::vk640:
            baseDevice_ = Vk640Device::create(baseTransport_);
            break;
        case DeviceType::vk210:
            baseDevice_ = Vk210Device::create(baseTransport_);
            break;
        default:
            orvLogger::error(tag_, "Unknown device type " +
                                       std::to_string(rawValue(baseTransport_->deviceType())));
            break;
    }
    if (baseDevice_) {
        baseDevice_->setDelegate(weak_from_this());
        // Each receive loop belongs to the connection it was started for: its end and the tag
        // reports it had parsed and dropped (never told, counted) go to that connection's record.
        const std::weak_ptr<EventSequence> events = events_;
        baseDevice_->setLoopRecords({
            [events]() -> uint64_t {
                const auto line = events.lock();
                return line ? line->loopStarts() : 0;
            },
            [events](uint64_t connection) {
                if (const auto line = events.lock()) line->receiveFinished(connection);
            },
            [events](uint64_t connection, std::size_t count) {
                if (const auto line = events.lock()) line->dropEnded(connection, count);
            },
        });
    }
    baseTransport_->setDelegate(weak_from_this());
}

BaseReader::~BaseReader() {
    // No report reaches this reader any more (its weak references have expired): end its loops
    // and, when the transport is still its own, close the link. The tag reports still waiting in
    // the event line are dropped and counted.
    events_->close();
    currentLink_.store(0);
    std::shared_ptr<DispatchWorkItem> keepAlive;
    std::shared_ptr<DispatchWorkItem> init;
    {
        std::lock_guard guard(fieldsLock_);
        keepAlive = std::move(keepAliveWorkItem_);
        init = std::move(initReaderWorkItem_);
    }
    if (keepAlive) keepAlive->cancel();
    if (init) init->cancel();
    keepAliveWake_->notify();
    // A transport that another reader took over names that reader as its delegate and is left
    // alone. The link closes here, so a reader made next finds it closed; only when the last
    // reference goes inside a send in flight (a record of it logged to this reader) does it
    // close from the global queue, as closing waits for that very send. It closes the connection
    // that was current here and no later one: a reader made meanwhile may take the transport over
    // and connect between the test of the delegate and the close. The number is read before the
    // test, so a connection opened after the read is one whose reader the test finds.
    auto close = [device = baseDevice_, transport = baseTransport_,
                  link = baseTransport_->linkNumber()] {
        if (transport->delegate()) return;
        if (device) device->baseProtocol()->stop();
        if (transport->connectState() != ConnectState::disconnected) {
            transport->disconnectLink(link);
        }
    };
    if (BaseProtocol::holdsSendTurn()) {
        DispatchQueue::global()->async(std::move(close));
    } else {
        close();
    }
}

// --- Properties ---

const EventSequence& BaseReader::eventLine() const {
    return *events_;
}

std::shared_ptr<BaseProtocol> BaseReader::baseProtocol() const {
    return baseDevice_ ? baseDevice_->baseProtocol() : nullptr;
}

std::shared_ptr<BaseUhf> BaseReader::uhf() const {
    std::lock_guard guard(fieldsLock_);
    return uhf_;
}

std::shared_ptr<BaseEngine> BaseReader::engine() const {
    std::lock_guard guard(fieldsLock_);
    return engine_;
}

void BaseReader::setUhf(std::shared_ptr<BaseUhf> uhf) {
    std::shared_ptr<BaseUhf> previous;
    {
        std::lock_guard guard(fieldsLock_);
        previous = std::exchange(uhf_, uhf);
    }
    // The application's tag sink survives a new initialisation.
    if (previous && uhf && !uhf->delegate()) {
        if (auto delegate = previous->delegate()) uhf->setDelegate(delegate);
    }
}

void BaseReader::setEngine(std::shared_ptr<BaseEngine> engine) {
    std::lock_guard guard(fieldsLock_);
    engine_ = std::move(engine);
}

std::string BaseReader::serialNumber() const {
    return baseTransport_->serialNumber();
}
std::string BaseReader::version() const {
    return baseTransport_->firmwareRevision();
}
DeviceType BaseReader::deviceType() const {
    return baseTransport_->deviceType();
}
std::string BaseReader::deviceName() const {
    return baseTransport_->deviceName();
}
ConnectType BaseReader::connectType() const {
    return baseTransport_->connectType();
}

bool BaseReader::supportFirmwareUpdate() const {
    return baseDevice_ && baseDevice_->supportFirmwareUpdate();
}

std::string BaseReader::address() const {
    std::lock_guard guard(fieldsLock_);
    return address_;
}

void BaseReader::setAddress(std::string address) {
    std::lock_guard guard(fieldsLock_);
    address_ = std::move(address);
}

std::string BaseReader::macAddress() const {
    std::lock_guard guard(fieldsLock_);
    return macAddress_;
}

void BaseReader::setMacAddress(std::string macAddress) {
    std::lock_guard guard(fieldsLock_);
    macAddress_ = std::move(macAddress);
}

void BaseReader::setActionState(ActionState state) {
    actionState_.store(state);
    keepAliveWake_->notify();
}

void BaseReader::setCheckInterval(uint64_t milliseconds) {
    checkInterval_.store(milliseconds);
    keepAliveWake_->notify();
}

bool BaseReader::initEngine() const {
    std::lock_guard guard(lockInitEngine_);
    return initEngine_;
}

void BaseReader::setInitEngine(bool value) {
    std::lock_guard guard(lockInitEngine_);
    initEngine_ = value;
}

std::shared_ptr<ReaderDelegate> BaseReader::readerDelegate() const {
    std::lock_guard guard(delegateLock_);
    return readerDelegate_.lock();
}

void BaseReader::setReaderDelegate(std::weak_ptr<ReaderDelegate> delegate) {
    std::lock_guard guard(delegateLock_);
    readerDelegate_ = std::move(delegate);
}

std::shared_ptr<RfidDelegate> BaseReader::rfidDelegate() const {
    std::lock_guard guard(delegateLock_);
    return rfidDelegate_.lock();
}

void BaseReader::setRfidDelegate(std::weak_ptr<RfidDelegate> delegate) {
    std::lock_guard guard(delegateLock_);
    rfidDelegate_ = std::move(delegate);
}

std::shared_ptr<BarcodeDelegate> BaseReader::barcodeDelegate() const {
    std::lock_guard guard(delegateLock_);
    return barcodeDelegate_.lock();
}

void BaseReader::setBarcodeDelegate(std::weak_ptr<BarcodeDelegate> delegate) {
    std::lock_guard guard(delegateLock_);
    barcodeDelegate_ = std::move(delegate);
}

std::shared_ptr<UhfReader> BaseReader::linkUhfReader() {
    // Only UhfReader names itself; a reader that is being destroyed names nobody.
    return nullptr;
}

// --- Supported parameters ---

std::vector<DeviceParamId> BaseReader::supportedParameterIds() const {
    std::vector<DeviceParamId> ids;
    if (!baseDevice_) return ids;
    for (DeviceParamId id : baseDevice_->_supportedIds()) {
        if (baseDevice_->isSupported(id)) ids.push_back(id);
    }
    return ids;
}

std::vector<DeviceParam> BaseReader::supportedParameters() const {
    std::vector<DeviceParam> parameters;
    if (!baseDevice_) return parameters;
    for (DeviceParam& parameter : baseDevice_->_supportedParameters()) {
        if (baseDevice_->isSupported(parameter.id())) parameters.push_back(std::move(parameter));
    }
    return parameters;
}

std::vector<DeviceParam> BaseReader::deviceSupportedParameters(DeviceType deviceType) {
    switch (deviceType) {
        case DeviceType::vk640:
            return Vk640Device::makeSupportedParameters();
        case DeviceType::vk210:
            return Vk210Device::makeSupportedParameters();
        default:
            orvLogger::error(kStaticTag, "deviceSupportedParameters(deviceType:) " +
                                             std::string(description(deviceType)) +
                                             " not supported");
            return {};
    }
}

std::vector<UhfParamId> BaseReader::uhfSupportedParameterIds(UhfModuleType uhfModel) {
    std::vector<UhfParamId> ids;
    switch (uhfModel) {
        case UhfModuleType::st25ru3993:
            for (uint8_t raw = 0; raw <= 28; ++raw)
                ids.push_back(static_cast<UhfParamId>(raw));
            return ids;
        case UhfModuleType::qm5520:
            // Every id but Encoding, TARI, BLF and Fast Mode (23, 24, 25, 27).
            for (uint8_t raw = 0; raw <= 47; ++raw) {
                if (raw != 23 && raw != 24 && raw != 25 && raw != 27) {
                    ids.push_back(static_cast<UhfParamId>(raw));
                }
            }
            return ids;
        default:
            orvLogger::error(kStaticTag, "uhfSupportedParameterIds(uhfModel:) " +
                                             std::string(description(uhfModel)) + " not supported");
            return ids;
    }
}

std::vector<EngineParam> BaseReader::engineSupportedParameters(EngineModel engineModel) {
    switch (engineModel) {
        case EngineModel::SE4107:
            return makeSE4107SupportedParameters();
        case EngineModel::SE2707:
            return makeSE2707SupportedParameters();
        default:
            orvLogger::error(kStaticTag, "engineSupportedParameters(engineModel:) " +
                                             std::string(description(engineModel)) +
                                             " not supported");
            return {};
    }
}

// --- Device checks ---

std::shared_ptr<BaseDevice> BaseReader::assertDevice() const {
    if (!baseDevice_) throw ReaderException(ResultCode::connectFailed, "Device is nil");
    return baseDevice_;
}

std::shared_ptr<BaseDevice> BaseReader::getSafeDevice() const {
    if (!baseDevice_) throw ReaderException(ResultCode::invalidModuleObject, "Device is nil");
    return baseDevice_;
}

void BaseReader::reportCallbackError(const char* event, const char* what) const {
    orvLogger::error(tag_, std::string(event) + " - Application callback threw: " + what);
}

}  // namespace orvane
