#include "orvanerfid/devices/Vk640Device.h"

#include <algorithm>
#include <optional>

#include "orvanerfid/commands/ST25RU3993Packets.h"
#include "orvanerfid/commands/Vk640Packets.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/link/Vk640Protocol.h"

namespace orvane {

namespace {

constexpr std::string_view kClassName = "Vk640Device";

ReaderException refused(ResultCode code, std::string message = {}) {
    return ReaderException(code, std::move(message));
}

std::string desc(DeviceParamId id) {
    return std::string(description(id));
}

// The firmware and serial texts fill 16 bytes with trailing zero bytes.
std::string withoutTrailingNuls(std::string text) {
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

// The reader's temperature byte is a signed number of degrees.
double temperatureOf(const STUHFL_Temperature& packet) {
    return static_cast<double>(static_cast<int8_t>(packet.temperature));
}

// The model name compared exactly, letter case included.
DeviceType deviceTypeOf(const std::string& modelName) {
    for (const DeviceType type : allCases<DeviceType>()) {
        if (description(type) == modelName) return type;
    }
    return DeviceType::unknown;
}

BatteryStatus batteryStatusOf(const STUHFL_BatteryInfo& packet) {
    BatteryStatus status;
    status.set_percentage(packet.percentage);
    status.set_batteryStatusId({BatteryStatusId::percentage});
    return status;
}

// The operating-mode byte of a reply; 2 names no mode.
OperatingMode operatingModeOf(const STUHFL_OperatingMode& packet, std::string_view tag) {
    const ByteView value = packet.tlvValue();
    if (!value.empty() && value[0] == 2) {
        orvLogger::error(kClassName, std::string(tag) + " The operating mode 2 is unknown");
        throw refused(ResultCode::invalidResponse);
    }
    return packet.mode;
}

ConnectionMode connectionModeOf(OperatingMode mode) {
    switch (mode) {
        case OperatingMode::usbSpp:
            return ConnectionMode::usbSpp;
        case OperatingMode::buffer:
            return ConnectionMode::bufferMode;
        case OperatingMode::bluetoothSpp:
            break;
    }
    return ConnectionMode::bluetoothSpp;
}

// The operating mode that carries a connection mode; none for the modes the reader lacks.
std::optional<OperatingMode> operatingModeFor(ConnectionMode mode) {
    switch (mode) {
        case ConnectionMode::bluetoothSpp:
            return OperatingMode::bluetoothSpp;
        case ConnectionMode::usbSpp:
            return OperatingMode::usbSpp;
        case ConnectionMode::bufferMode:
            return OperatingMode::buffer;
        default:
            return std::nullopt;
    }
}

template <class Packet>
Bytes getRequest() {
    Packet packet;
    return packet.getPacketBytes();
}

template <class Packet>
Bytes setRequest(Packet packet) {
    return packet.setPacketBytes();
}

template <class Packet, class Value>
Packet oneField(Value Packet::*field, Value value) {
    Packet packet;
    packet.*field = value;
    return packet;
}

template <class T>
const T& valueAs(const DeviceValue& value) {
    const T* typed = std::get_if<T>(&value);
    if (typed == nullptr) throw refused(ResultCode::invalidParameter, "Invalid value text");
    return *typed;
}

template <class Member>
struct MemberType;
template <class Packet, class T>
struct MemberType<T Packet::*> {
    using type = T;
};

// ---- The settings table ----

// One setting of the reader, shared by the single operations and the multi-setting hooks.
struct Row {
    DeviceParamId id;
    // The read request; nullptr for a setting that is only written.
    Bytes (*request)();
    // The value of one reply packet. The packet is parsed, then, with `checkStatus`, its status
    // checked under `tag` (the operation's name, which also prefixes the log lines).
    DeviceValue (*decode)(ByteView reply, std::string_view tag, bool checkStatus);
    // The write request of a value after the setting's checks (0x5002 for a value of another
    // type); nullptr for a read-only setting. `firmware` gates values newer firmware brought.
    Bytes (*build)(const DeviceValue& value, uint32_t firmware);
    // The reader sends no reply to the write.
    bool writeOnly;
    // The oldest firmware with the setting, for reading and writing (0: every firmware).
    uint32_t firmware;
};

template <class Packet, DeviceValue (*Value)(const Packet&)>
DeviceValue decodeWith(ByteView reply, std::string_view tag, bool checkStatus) {
    const Packet packet(reply);
    if (checkStatus) packet.checkStatus(tag);
    return Value(packet);
}

template <class Packet, auto Field>
DeviceValue fieldValue(const Packet& packet) {
    return DeviceValue(packet.*Field);
}

// A reply whose one field is the setting's value.
template <class Packet, auto Field>
constexpr auto decodeField = &decodeWith<Packet, &fieldValue<Packet, Field>>;

// The write of a value that is the packet's one field.
template <class Packet, auto Field>
Bytes buildField(const DeviceValue& value, uint32_t) {
    using T = typename MemberType<decltype(Field)>::type;
    return setRequest(oneField(Field, valueAs<T>(value)));
}

template <class Packet>
Bytes buildPlain(const DeviceValue&, uint32_t) {
    return setRequest(Packet());
}

DeviceValue firmwareText(const STUHFL_FirmwareVersion& p) {
    return withoutTrailingNuls(p.firmwareVersion);
}
DeviceValue serialText(const STUHFL_SerialNumber& p) {
    return withoutTrailingNuls(p.serialNumber);
}
DeviceValue modelType(const STUHFL_ModelName& p) {
    return deviceTypeOf(p.modelName);
}
DeviceValue battery(const STUHFL_BatteryInfo& p) {
    return batteryStatusOf(p);
}
DeviceValue temperature(const STUHFL_Temperature& p) {
    return temperatureOf(p);
}
DeviceValue minutes(const STUHFL_AutoOffTime& p) {
    return unsigned{p.time};
}
DeviceValue range(const STUHFL_DataRange& p) {
    return DataRange(p.offset, p.length);
}
DeviceValue screenOff(const STUHFL_ScreenOffTime& p) {
    return ScreenOffTime(p.minutes, p.seconds);
}
DeviceValue decodeConnectionMode(ByteView reply, std::string_view tag, bool checkStatus) {
    const STUHFL_OperatingMode packet(reply);
    if (checkStatus) packet.checkStatus(tag);
    return connectionModeOf(operatingModeOf(packet, tag));
}

Bytes buildAutoOffTime(const DeviceValue& value, uint32_t) {
    const unsigned minutes = valueAs<unsigned>(value);
    const auto list = Vk640Device::autoOffTimeList();
    if (std::find(list.begin(), list.end(), minutes) == list.end()) {
        throw refused(ResultCode::invalidParameter);
    }
    return setRequest(oneField(&STUHFL_AutoOffTime::time, static_cast<uint8_t>(minutes)));
}

Bytes buildReadMode(const DeviceValue& value, uint32_t firmware) {
    const ReadMode mode = valueAs<ReadMode>(value);
    if (mode == ReadMode::multiRead && firmware < Vk640Device::kFirmwareTagUnique) {
        throw refused(ResultCode::notSupported);
    }
    return setRequest(oneField(&STUHFL_ReadMode::mode, mode));
}

Bytes buildFindDevice(const DeviceValue& value, uint32_t) {
    const auto& find = valueAs<FindDevice>(value);
    if (find.timeout > 0xFF) {
        throw refused(ResultCode::outOfRange, "The range of timeout is 0 to 255");
    }
    return setRequest(STUHFL_FindDevice(find.mode, static_cast<uint8_t>(find.timeout)));
}

Bytes buildDataRange(const DeviceValue& value, uint32_t) {
    const auto& range = valueAs<DataRange>(value);
    if (range.offset() > 0xFFFF || range.length() > 0xFFFF) {
        throw refused(ResultCode::outOfRange, "The range of offset and length is 0 to 65535");
    }
    return setRequest(STUHFL_DataRange(static_cast<uint16_t>(range.offset()),
                                       static_cast<uint16_t>(range.length())));
}

Bytes buildDataTerminator(const DeviceValue& value, uint32_t) {
    // CR and LF have no code on this reader: refused, never written as None.
    const DataTerminator terminator = valueAs<DataTerminator>(value);
    if (terminator != DataTerminator::none && terminator != DataTerminator::crlf &&
        terminator != DataTerminator::tab) {
        throw refused(ResultCode::notSupported);
    }
    return setRequest(oneField(&STUHFL_DataTerminator::terminator, terminator));
}

Bytes buildScreenOffTime(const DeviceValue& value, uint32_t) {
    const auto& time = valueAs<ScreenOffTime>(value);
    if (time.seconds() > 59)
        throw refused(ResultCode::outOfRange, "The range of seconds is 0 to 59");
    if (time.minutes() > 0xFF) {
        throw refused(ResultCode::outOfRange, "The range of minutes is 0 to 255");
    }
    return setRequest(STUHFL_ScreenOffTime(static_cast<uint8_t>(time.minutes()),
                                           static_cast<uint8_t>(time.seconds())));
}

Bytes buildUserData(const DeviceValue& value, uint32_t) {
    const Bytes& data = valueAs<Bytes>(value);
    if (data.size() > 64) {
        throw refused(ResultCode::outOfRange, "The user data is longer than 64 bytes");
    }
    return setRequest(STUHFL_UserData::withUserData(data));
}

Bytes buildAppBundleId(const DeviceValue& value, uint32_t) {
    const std::string& bundleId = valueAs<std::string>(value);
    if (bundleId.size() > 32) {
        throw refused(ResultCode::outOfRange, "The bundle ID is longer than 32 bytes");
    }
    return setRequest(STUHFL_AppBundleId(bundleId));
}

Bytes buildConnectionMode(const DeviceValue& value, uint32_t) {
    const auto mode = operatingModeFor(valueAs<ConnectionMode>(value));
    // A connection mode the reader lacks is refused, never written as another.
    if (!mode) throw refused(ResultCode::notSupported);
    return setRequest(oneField(&STUHFL_OperatingMode::mode, *mode));
}

using Id = DeviceParamId;
using Vibrator = STUHFL_Vibrator;
using Beeper = STUHFL_Beeper;
using Pairing = STUHFL_BluetoothSecuritySimplePairing;

// clang-format off
constexpr Row kRows[] = {
    {Id::firmwareVersion, getRequest<STUHFL_FirmwareVersion>,
     decodeWith<STUHFL_FirmwareVersion, firmwareText>, nullptr, false, 0},
    {Id::deviceType, getRequest<STUHFL_ModelName>, decodeWith<STUHFL_ModelName, modelType>,
     nullptr, false, 0},
    {Id::serialNumber, getRequest<STUHFL_SerialNumber>,
     decodeWith<STUHFL_SerialNumber, serialText>, nullptr, false, 0},
    {Id::bluetoothAddress, getRequest<STUHFL_BluetoothMacAddress>,
     decodeField<STUHFL_BluetoothMacAddress, &STUHFL_BluetoothMacAddress::bluetoothMacAddress>,
     nullptr, false, 0},
    {Id::batteryStatus, getRequest<STUHFL_BatteryInfo>, decodeWith<STUHFL_BatteryInfo, battery>,
     nullptr, false, 0},
    {Id::temperature, getRequest<STUHFL_Temperature>,
     decodeWith<STUHFL_Temperature, temperature>, nullptr, false, 0},
    {Id::vibrator, getRequest<Vibrator>, decodeField<Vibrator, &Vibrator::enabled>,
     buildField<Vibrator, &Vibrator::enabled>, false, 0},
    {Id::beeperVolume, getRequest<Beeper>, decodeField<Beeper, &Beeper::volume>,
     buildField<Beeper, &Beeper::volume>, false, 0},
    {Id::systemTime, getRequest<STUHFL_SystemTime>,
     decodeField<STUHFL_SystemTime, &STUHFL_SystemTime::date>,
     [](const DeviceValue& v, uint32_t) { return setRequest(STUHFL_SystemTime(valueAs<DeviceDate>(v))); },
     false, 0},
    {Id::autoOffTime, getRequest<STUHFL_AutoOffTime>, decodeWith<STUHFL_AutoOffTime, minutes>,
     buildAutoOffTime, false, 0},
    {Id::readMode, getRequest<STUHFL_ReadMode>, decodeField<STUHFL_ReadMode, &STUHFL_ReadMode::mode>,
     buildReadMode, false, 0},
    {Id::findDevice, nullptr, nullptr, buildFindDevice, true, 0},
    {Id::dataFormat, getRequest<STUHFL_DataFormat>,
     decodeField<STUHFL_DataFormat, &STUHFL_DataFormat::format>,
     buildField<STUHFL_DataFormat, &STUHFL_DataFormat::format>, false, 0},
    {Id::dataInfo, getRequest<STUHFL_DataInfo>, decodeField<STUHFL_DataInfo, &STUHFL_DataInfo::info>,
     buildField<STUHFL_DataInfo, &STUHFL_DataInfo::info>, false, 0},
    {Id::dataRange, getRequest<STUHFL_DataRange>, decodeWith<STUHFL_DataRange, range>,
     buildDataRange, false, 0},
    {Id::dataTerminator, getRequest<STUHFL_DataTerminator>,
     decodeField<STUHFL_DataTerminator, &STUHFL_DataTerminator::terminator>, buildDataTerminator,
     false, 0},
    {Id::tagUnique, getRequest<STUHFL_TagUnique>,
     decodeField<STUHFL_TagUnique, &STUHFL_TagUnique::unique>,
     buildField<STUHFL_TagUnique, &STUHFL_TagUnique::unique>, false,
     Vk640Device::kFirmwareTagUnique},
    {Id::screenOffTime, getRequest<STUHFL_ScreenOffTime>,
     decodeWith<STUHFL_ScreenOffTime, screenOff>, buildScreenOffTime, false,
     Vk640Device::kFirmwareDisplay},
    {Id::userData, getRequest<STUHFL_UserData>,
     decodeField<STUHFL_UserData, &STUHFL_UserData::userData>, buildUserData, false,
     Vk640Device::kFirmwareUserData},
    {Id::appBundleId, getRequest<STUHFL_AppBundleId>,
     decodeField<STUHFL_AppBundleId, &STUHFL_AppBundleId::bundleId>, buildAppBundleId, true, 0},
    {Id::bluetoothSecuritySimplePairing, getRequest<Pairing>,
     decodeField<Pairing, &Pairing::enabled>, buildField<Pairing, &Pairing::enabled>, true, 0},
    {Id::factoryReset, nullptr, nullptr, buildPlain<STUHFL_FactoryReset>, true, 0},
    {Id::shutdown, nullptr, nullptr, buildPlain<STUHFL_Shutdown>, true, 0},
    {Id::skuType, getRequest<STUHFL_SKU>, decodeField<STUHFL_SKU, &STUHFL_SKU::sku>, nullptr,
     false, 0},
    {Id::connectionMode, getRequest<STUHFL_OperatingMode>, decodeConnectionMode,
     buildConnectionMode, true, 0},
};
// clang-format on

const Row* rowOf(DeviceParamId id) {
    const auto it = std::find_if(std::begin(kRows), std::end(kRows),
                                 [id](const Row& row) { return row.id == id; });
    return it == std::end(kRows) ? nullptr : &*it;
}

// The names of the operations of a setting, as their log lines and failures carry them.
constexpr std::string_view readTag(DeviceParamId id) {
    switch (id) {
#define ORV_VK640_READ_TAG_(setting, Value, name) \
    case DeviceParamId::setting:                  \
        return #name "()";
#define ORV_VK640_NO_TAG_(...)
        ORV_DEVICE_OPERATIONS(ORV_VK640_READ_TAG_, ORV_VK640_NO_TAG_, ORV_VK640_NO_TAG_,
                              ORV_VK640_NO_TAG_)
        default:
            return {};
    }
}

constexpr std::string_view writeTag(DeviceParamId id) {
    switch (id) {
#define ORV_VK640_SET_TAG_(setting, Value, name) \
    case DeviceParamId::setting:                 \
        return #name "(_:)";
#define ORV_VK640_ACTION_TAG_(setting, name) \
    case DeviceParamId::setting:             \
        return #name "()";
        ORV_DEVICE_OPERATIONS(ORV_VK640_NO_TAG_, ORV_VK640_SET_TAG_, ORV_VK640_ACTION_TAG_,
                              ORV_VK640_NO_TAG_)
#undef ORV_VK640_READ_TAG_
#undef ORV_VK640_SET_TAG_
#undef ORV_VK640_ACTION_TAG_
#undef ORV_VK640_NO_TAG_
        default:
            return {};
    }
}

}  // namespace

// ---- Construction, start-up and keep-alive ----

std::shared_ptr<Vk640Device> Vk640Device::create(std::shared_ptr<BaseProtocol> protocol) {
    auto device = std::make_shared<Vk640Device>(std::move(protocol));
    device->attachToProtocol();
    return device;
}

std::shared_ptr<Vk640Device> Vk640Device::create(std::shared_ptr<BaseTransport> transport) {
    return create(std::make_shared<Vk640Protocol>(std::move(transport)));
}

Vk640Device::Vk640Device(std::shared_ptr<BaseProtocol> protocol)
    : BaseDevice(std::string(kClassName), std::move(protocol)) {
    setSupportMultipleSetting(true);
    setDeviceType(DeviceType::vk640);
    setHasRfid(true);
    setSupportedParameters(makeSupportedParameters());
}

std::vector<unsigned> Vk640Device::autoOffTimeList() {
    return {0, 1, 2, 3, 5, 10};
}

std::vector<DeviceParam> Vk640Device::makeSupportedParameters() {
    using Id = DeviceParamId;
    const auto model = [](Id id, const DeviceValue& value) {
        return DeviceParam(id, DeviceParam::defaultValueTag, value);
    };
    std::vector<DeviceParam> params;
    params.reserve(27);
    for (const Id id : {Id::firmwareVersion, Id::deviceType, Id::serialNumber, Id::bluetoothAddress,
                        Id::batteryStatus, Id::skuType, Id::temperature}) {
        params.emplace_back(id);
    }
    params.push_back(model(Id::vibrator, true));
    params.push_back(model(Id::beeperVolume, BeeperVolume::medium));
    params.emplace_back(Id::systemTime);
    params.push_back(model(Id::autoOffTime, 2u));
    params.push_back(model(Id::autoOffTimeList, autoOffTimeList()));
    params.push_back(model(Id::readMode, ReadMode::rapidRead));
    params.push_back(model(Id::findDevice, FindDevice(FindDeviceMode::vibratorAndBeep, 10)));
    params.push_back(model(Id::dataFormat, DataFormat::hex));
    params.push_back(model(Id::dataInfo, DataInfo::epc));
    params.push_back(model(Id::dataRange, DataRange(0, 0)));
    params.push_back(model(Id::dataTerminator, DataTerminator::crlf));
    params.push_back(model(Id::tagUnique, TagUnique::epc));
    params.emplace_back(Id::displayMessage);
    params.push_back(model(Id::screenOffTime, ScreenOffTime(0, 0)));
    params.emplace_back(Id::userData);
    params.push_back(model(Id::connectionMode, ConnectionMode::bluetoothSpp));
    params.emplace_back(Id::appBundleId);
    params.push_back(model(Id::bluetoothSecuritySimplePairing, true));
    params.emplace_back(Id::factoryReset);
    params.emplace_back(Id::shutdown);
    return params;
}

void Vk640Device::initDevice() {
    std::string address;
    try {
        address = getBluetoothAddress();
    } catch (const CodedError& error) {
        logError("initDevice error: " + error.description());
        throw;
    }
    if (const auto target = delegate()) target->macAddress(address);
}

uint8_t Vk640Device::getModuleInfo(uint8_t kind) {
    if (kind != 2) throw refused(ResultCode::notSupported);
    return rawValue(UhfModuleType::st25ru3993);
}

void Vk640Device::triggerAlive() {
    logTrace("triggerAlive()");
    // Temperature first, so that it takes the lower sequence number.
    Bytes request = getRequest<STUHFL_Temperature>();
    const Bytes battery = getRequest<STUHFL_BatteryInfo>();
    request.insert(request.end(), battery.begin(), battery.end());
    const Response response = baseProtocol()->send(request, kTimeout, 2);
    if (response.resultCode() != ResultCode::noError) throw refused(response.resultCode());
}

// ---- Single operations ----

void Vk640Device::writeOnly(const Bytes& request) {
    const ResultCode code = baseProtocol()->write(request);
    if (code != ResultCode::noError) throw refused(code);
}

void Vk640Device::requireFirmware(uint32_t minimum) const {
    if (firmwareVersionNumber() < minimum) throw refused(ResultCode::notSupported);
}

#define ORV_DEVICE_ROW_CLASS Vk640Device
ORV_DEVICE_DEFINE_ROW_OPERATIONS()
#undef ORV_DEVICE_ROW_CLASS

DeviceValue Vk640Device::readRow(DeviceParamId id) {
    switch (id) {
        case Id::skuType:
            return readSkuType();
        case Id::connectionMode:
            return connectionModeOf(getOperationMode());
        case Id::autoOffTimeList:
            return autoOffTimeList();
        case Id::inventoryIndicator: {
            const auto protocol = std::dynamic_pointer_cast<Vk640Protocol>(baseProtocol());
            // Another protocol keeps no indicator: the reader's defaults.
            if (!protocol) return InventoryIndicator();
            return InventoryIndicator(protocol->indicatorReadOnce(), protocol->indicatorBeeper(),
                                      protocol->indicatorVibrator());
        }
        default:
            break;
    }
    const Row* row = rowOf(id);
    if (row == nullptr || row->request == nullptr) throw refused(ResultCode::notSupported);
    requireFirmware(row->firmware);
    const std::string_view tag = readTag(id);
    return row->decode(exchange(tag, row->request()), tag, true);
}

void Vk640Device::writeRow(DeviceParamId id, const DeviceValue& value) {
    if (id == Id::inventoryIndicator) {
        baseProtocol()->pumpEvent(
            ProtocolEventArgs(ProtocolEventId::tagsIndicator, valueAs<InventoryIndicator>(value)));
        return;
    }
    const Row* row = rowOf(id);
    if (row == nullptr || row->build == nullptr) throw refused(ResultCode::notSupported);
    requireFirmware(row->firmware);
    const Bytes request = row->build(value, firmwareVersionNumber());
    if (row->writeOnly) {
        writeOnly(request);
        return;
    }
    // The reply echoes the record: parsed and its status checked as a read's.
    const std::string_view tag = writeTag(id);
    row->decode(exchange(tag, request), tag, true);
}

SkuType Vk640Device::readSkuType() {
    constexpr std::string_view tag = "getSkuType()";
    const SkuType sku = rowValueAs<SkuType>(
        rowOf(Id::skuType)->decode(exchange(tag, getRequest<STUHFL_SKU>()), tag, true));
    if (sku != SkuType::unknown) return sku;
    logTrace("Get unknown sku, try to get global band to check");
    const STUHFL_T_ST25RU3993_FreqProfileInfo info(
        exchange(tag, getRequest<STUHFL_T_ST25RU3993_FreqProfileInfo>()));
    info.checkStatus(tag);
    const auto band = fromRaw<GlobalBandType>(info.profile);
    if (!band) {
        logError("getSkuType() Unknown band " + std::to_string(info.profile));
        throw refused(ResultCode::invalidResponse);
    }
    if (const SkuType sku = skuTypeFromBand(*band); sku != SkuType::unknown) return sku;
    logError("getSkuType() Get unknown region");
    return SkuType::unknown;
}

OperatingMode Vk640Device::getOperationMode() {
    constexpr std::string_view tag = "getOperationMode()";
    const STUHFL_OperatingMode packet(exchange(tag, getRequest<STUHFL_OperatingMode>()));
    packet.checkStatus(tag);
    return operatingModeOf(packet, tag);
}

void Vk640Device::setOperationMode(OperatingMode value) {
    writeOnly(setRequest(oneField(&STUHFL_OperatingMode::mode, value)));
}

void Vk640Device::setDisplayOutput(std::string text, uint8_t charPosition, bool clearScreen,
                                   uint8_t linePosition) {
    requireFirmware(kFirmwareDisplay);
    if (charPosition > 15) {
        throw refused(ResultCode::outOfRange, "The range of charPosition is 0 to 15");
    }
    if (linePosition < 1 || linePosition > 3) {
        throw refused(ResultCode::outOfRange, "The range of linePosition is 1 to 3");
    }
    STUHFL_DisplayOutput packet(std::move(text));
    packet.charaterPosition = charPosition;
    packet.clearScreen = clearScreen;
    packet.linePosition = linePosition;
    writeOnly(packet.commandPacketBytes());
}

// ---- Multiple access ----

uint8_t Vk640Device::getResponseCount(DeviceParamId id) {
    // The protocol keeps no reply to Find Device or the display for a waiting request.
    if (id == DeviceParamId::findDevice || id == DeviceParamId::displayMessage) return 0;
    return BaseDevice::getResponseCount(id);
}

Bytes Vk640Device::getBytePackage(const DeviceParam& deviceParam) {
    const Row* row = rowOf(deviceParam.id());
    if (row == nullptr || row->request == nullptr) {
        logWarn("getBytePackage(_:) The deviceParam id " + desc(deviceParam.id()) +
                " is not supported.");
        return {};
    }
    if (firmwareVersionNumber() < row->firmware) {
        logWarn("getBytePackage(_:) The deviceParam id " + desc(deviceParam.id()) +
                " needs newer firmware.");
        return {};
    }
    return row->request();
}

Bytes Vk640Device::setBytePackage(const DeviceParam& deviceParam) {
    const Id id = deviceParam.id();
    const Row* row = rowOf(id);
    if (row == nullptr || row->build == nullptr) {
        logWarn("setBytePackage(_:) The deviceParam id " + desc(id) + " is not supported.");
        return {};
    }
    try {
        const auto value = deviceParam.valueToAny(deviceParam._value());
        if (!value) throw refused(ResultCode::invalidParameter, "Invalid value text");
        requireFirmware(row->firmware);
        return row->build(*value, firmwareVersionNumber());
    } catch (const CodedError& error) {
        logWarn("setBytePackage(_:) The value of " + desc(id) +
                " is not written: " + error.description());
        return {};
    }
}

std::vector<DeviceParam> Vk640Device::responseDataToDeviceParam(
    ByteView data, const std::vector<DeviceParamId>& ids) {
    logTrace("*** responseDataToDeviceParam(_:_:)");
    std::vector<DeviceParam> result;
    while (!data.empty()) {
        const FrameCut cut = STPacket::cutPacket(data);
        // Bytes that do not form a whole packet end the walk.
        if (cut.status != FrameCutStatus::complete) break;
        const ByteView bytes = data.first(cut.length);
        data = data.subspan(cut.length);
        try {
            const STPacket packet(bytes);
            const uint16_t number = packet.deviceParamId();
            if (number == STPacket::kNoDeviceParam) continue;
            const auto id = fromRaw<DeviceParamId>(number);
            if (!id) continue;
            const Row* row = rowOf(*id);
            if (row == nullptr || row->decode == nullptr) {
                logWarn("responseDataToDeviceParam(_:_:) Unsupported deviceParamId: " + desc(*id));
                continue;
            }
            result.emplace_back(*id, DeviceParam::defaultValueTag,
                                row->decode(bytes, "responseDataToDeviceParam(_:_:)", false));
        } catch (const CodedError& error) {
            logError("responseDataToDeviceParam(_:_:) " + error.description());
        }
    }
    if (std::find(ids.begin(), ids.end(), DeviceParamId::autoOffTimeList) != ids.end()) {
        result.emplace_back(DeviceParamId::autoOffTimeList, DeviceParam::defaultValueTag,
                            autoOffTimeList());
    }
    return result;
}

void Vk640Device::verifySetResult(ByteView data) {
    while (!data.empty()) {
        const FrameCut cut = STPacket::cutPacket(data);
        if (cut.status != FrameCutStatus::complete) break;
        const STPacket packet(data.first(cut.length));
        packet.checkStatus("verifySetResult(_:)");
        data = data.subspan(cut.length);
    }
}

}  // namespace orvane
