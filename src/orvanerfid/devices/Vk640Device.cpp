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

void checkAppBundleId(const std::string& bundleId) {
    if (bundleId.size() > 32) {
        throw refused(ResultCode::outOfRange, "The bundle ID is longer than 32 bytes");
    }
}

void checkUserData(const Bytes& data) {
    if (data.size() > 64)
        throw refused(ResultCode::outOfRange, "The user data is longer than 64 bytes");
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

// ---- Exchanges ----

template <class Packet>
Packet Vk640Device::exchangePacket(std::string_view tag, const Bytes& request) {
    const Bytes reply = exchange(tag, request);
    Packet packet(reply);
    packet.checkStatus(tag);
    return packet;
}

void Vk640Device::writeOnly(const Bytes& request) {
    const ResultCode code = baseProtocol()->write(request);
    if (code != ResultCode::noError) throw refused(code);
}

void Vk640Device::requireFirmware(uint32_t minimum) const {
    if (firmwareVersionNumber() < minimum) throw refused(ResultCode::notSupported);
}

OperatingMode Vk640Device::readOperatingMode(std::string_view tag) {
    return operatingModeOf(
        exchangePacket<STUHFL_OperatingMode>(tag, getRequest<STUHFL_OperatingMode>()), tag);
}

// ---- Settings ----

std::string Vk640Device::getFirmwareVersion() {
    constexpr std::string_view tag = "getFirmwareVersion()";
    return withoutTrailingNuls(
        exchangePacket<STUHFL_FirmwareVersion>(tag, getRequest<STUHFL_FirmwareVersion>())
            .firmwareVersion);
}

DeviceType Vk640Device::getDeviceType() {
    constexpr std::string_view tag = "getDeviceType()";
    return deviceTypeOf(
        exchangePacket<STUHFL_ModelName>(tag, getRequest<STUHFL_ModelName>()).modelName);
}

std::string Vk640Device::getSerialNumber() {
    constexpr std::string_view tag = "getSerialNumber()";
    return withoutTrailingNuls(
        exchangePacket<STUHFL_SerialNumber>(tag, getRequest<STUHFL_SerialNumber>()).serialNumber);
}

std::string Vk640Device::getBluetoothAddress() {
    constexpr std::string_view tag = "getBluetoothAddress()";
    return exchangePacket<STUHFL_BluetoothMacAddress>(tag, getRequest<STUHFL_BluetoothMacAddress>())
        .bluetoothMacAddress;
}

BatteryStatus Vk640Device::getBatteryState() {
    constexpr std::string_view tag = "getBatteryState()";
    return batteryStatusOf(
        exchangePacket<STUHFL_BatteryInfo>(tag, getRequest<STUHFL_BatteryInfo>()));
}

SkuType Vk640Device::getSkuType() {
    constexpr std::string_view tag = "getSkuType()";
    const SkuType sku = exchangePacket<STUHFL_SKU>(tag, getRequest<STUHFL_SKU>()).sku;
    if (sku != SkuType::unknown) return sku;
    logTrace("Get unknown sku, try to get global band to check");
    const auto info = exchangePacket<STUHFL_T_ST25RU3993_FreqProfileInfo>(
        tag, getRequest<STUHFL_T_ST25RU3993_FreqProfileInfo>());
    const auto band = fromRaw<GlobalBandType>(info.profile);
    if (!band) {
        logError("getSkuType() Unknown band " + std::to_string(info.profile));
        throw refused(ResultCode::invalidResponse);
    }
    switch (*band) {
        case GlobalBandType::europe:
        case GlobalBandType::russia:
            return SkuType::european;
        case GlobalBandType::usa:
        case GlobalBandType::china:
        case GlobalBandType::taiwan:
        case GlobalBandType::australia:
        case GlobalBandType::singapore:
        case GlobalBandType::brazil:
        case GlobalBandType::hongKong:
        case GlobalBandType::israel:
        case GlobalBandType::vietnam:
            return SkuType::us;
        case GlobalBandType::japan:
        case GlobalBandType::japan250mW:
        case GlobalBandType::japan6Channels:
            return SkuType::japanese;
        case GlobalBandType::unknown:
            break;
    }
    logError("getSkuType() Get unknown region");
    return SkuType::unknown;
}

double Vk640Device::getTemperature() {
    constexpr std::string_view tag = "getTemperature()";
    return temperatureOf(exchangePacket<STUHFL_Temperature>(tag, getRequest<STUHFL_Temperature>()));
}

bool Vk640Device::getVibrator() {
    return exchangePacket<STUHFL_Vibrator>("getVibrator()", getRequest<STUHFL_Vibrator>()).enabled;
}

void Vk640Device::setVibrator(bool value) {
    exchangePacket<STUHFL_Vibrator>("setVibrator(_:)",
                                    setRequest(oneField(&STUHFL_Vibrator::enabled, value)));
}

BeeperVolume Vk640Device::getBeeperVolume() {
    return exchangePacket<STUHFL_Beeper>("getBeeperVolume()", getRequest<STUHFL_Beeper>()).volume;
}

void Vk640Device::setBeeperVolume(BeeperVolume value) {
    exchangePacket<STUHFL_Beeper>("setBeeperVolume(_:)",
                                  setRequest(oneField(&STUHFL_Beeper::volume, value)));
}

DeviceDate Vk640Device::getSystemTime() {
    return exchangePacket<STUHFL_SystemTime>("getSystemTime()", getRequest<STUHFL_SystemTime>())
        .date;
}

void Vk640Device::setSystemTime(DeviceDate value) {
    exchangePacket<STUHFL_SystemTime>("setSystemTime(_:)", setRequest(STUHFL_SystemTime(value)));
}

unsigned Vk640Device::getAutoOffTime() {
    return exchangePacket<STUHFL_AutoOffTime>("getAutoOffTime()", getRequest<STUHFL_AutoOffTime>())
        .time;
}

void Vk640Device::setAutoOffTime(unsigned value) {
    const auto list = autoOffTimeList();
    if (std::find(list.begin(), list.end(), value) == list.end()) {
        throw refused(ResultCode::invalidParameter);
    }
    exchangePacket<STUHFL_AutoOffTime>(
        "setAutoOffTime(_:)",
        setRequest(oneField(&STUHFL_AutoOffTime::time, static_cast<uint8_t>(value))));
}

std::vector<unsigned> Vk640Device::getAutoOffTimeList() {
    return autoOffTimeList();
}

ReadMode Vk640Device::getReadMode() {
    return exchangePacket<STUHFL_ReadMode>("getReadMode()", getRequest<STUHFL_ReadMode>()).mode;
}

void Vk640Device::setReadMode(ReadMode value) {
    if (value == ReadMode::multiRead) requireFirmware(kFirmwareTagUnique);
    exchangePacket<STUHFL_ReadMode>("setReadMode(_:)",
                                    setRequest(oneField(&STUHFL_ReadMode::mode, value)));
}

void Vk640Device::setFindDevice(FindDevice value) {
    if (value.timeout > 0xFF)
        throw refused(ResultCode::outOfRange, "The range of timeout is 0 to 255");
    writeOnly(setRequest(STUHFL_FindDevice(value.mode, static_cast<uint8_t>(value.timeout))));
}

DataFormat Vk640Device::getDataFormat() {
    return exchangePacket<STUHFL_DataFormat>("getDataFormat()", getRequest<STUHFL_DataFormat>())
        .format;
}

void Vk640Device::setDataFormat(DataFormat value) {
    exchangePacket<STUHFL_DataFormat>("setDataFormat(_:)",
                                      setRequest(oneField(&STUHFL_DataFormat::format, value)));
}

DataInfo Vk640Device::getDataInfo() {
    return exchangePacket<STUHFL_DataInfo>("getDataInfo()", getRequest<STUHFL_DataInfo>()).info;
}

void Vk640Device::setDataInfo(DataInfo value) {
    exchangePacket<STUHFL_DataInfo>("setDataInfo(_:)",
                                    setRequest(oneField(&STUHFL_DataInfo::info, value)));
}

DataRange Vk640Device::getDataRange() {
    const auto packet =
        exchangePacket<STUHFL_DataRange>("getDataRange()", getRequest<STUHFL_DataRange>());
    return DataRange(packet.offset, packet.length);
}

void Vk640Device::setDataRange(DataRange value) {
    if (value.offset() > 0xFFFF || value.length() > 0xFFFF) {
        throw refused(ResultCode::outOfRange, "The range of offset and length is 0 to 65535");
    }
    exchangePacket<STUHFL_DataRange>(
        "setDataRange(_:)", setRequest(STUHFL_DataRange(static_cast<uint16_t>(value.offset()),
                                                        static_cast<uint16_t>(value.length()))));
}

DataTerminator Vk640Device::getDataTerminator() {
    return exchangePacket<STUHFL_DataTerminator>("getDataTerminator()",
                                                 getRequest<STUHFL_DataTerminator>())
        .terminator;
}

void Vk640Device::setDataTerminator(DataTerminator value) {
    if (value != DataTerminator::none && value != DataTerminator::crlf &&
        value != DataTerminator::tab) {
        throw refused(ResultCode::notSupported);
    }
    exchangePacket<STUHFL_DataTerminator>(
        "setDataTerminator(_:)", setRequest(oneField(&STUHFL_DataTerminator::terminator, value)));
}

TagUnique Vk640Device::getTagUnique() {
    requireFirmware(kFirmwareTagUnique);
    return exchangePacket<STUHFL_TagUnique>("getTagUnique()", getRequest<STUHFL_TagUnique>())
        .unique;
}

void Vk640Device::setTagUnique(TagUnique value) {
    requireFirmware(kFirmwareTagUnique);
    exchangePacket<STUHFL_TagUnique>("setTagUnique(_:)",
                                     setRequest(oneField(&STUHFL_TagUnique::unique, value)));
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

ScreenOffTime Vk640Device::getScreenOffTime() {
    requireFirmware(kFirmwareDisplay);
    const auto packet = exchangePacket<STUHFL_ScreenOffTime>("getScreenOffTime()",
                                                             getRequest<STUHFL_ScreenOffTime>());
    return ScreenOffTime(packet.minutes, packet.seconds);
}

void Vk640Device::setScreenOffTime(ScreenOffTime value) {
    requireFirmware(kFirmwareDisplay);
    if (value.seconds() > 59) {
        throw refused(ResultCode::outOfRange, "The range of seconds is 0 to 59");
    }
    if (value.minutes() > 0xFF) {
        throw refused(ResultCode::outOfRange, "The range of minutes is 0 to 255");
    }
    exchangePacket<STUHFL_ScreenOffTime>(
        "setScreenOffTime(_:)",
        setRequest(STUHFL_ScreenOffTime(static_cast<uint8_t>(value.minutes()),
                                        static_cast<uint8_t>(value.seconds()))));
}

Bytes Vk640Device::getUserData() {
    requireFirmware(kFirmwareUserData);
    return exchangePacket<STUHFL_UserData>("getUserData()", getRequest<STUHFL_UserData>()).userData;
}

void Vk640Device::setUserData(Bytes value) {
    requireFirmware(kFirmwareUserData);
    checkUserData(value);
    exchangePacket<STUHFL_UserData>("setUserData(_:)",
                                    setRequest(STUHFL_UserData::withUserData(std::move(value))));
}

std::string Vk640Device::getAppBundleId() {
    return exchangePacket<STUHFL_AppBundleId>("getAppBundleId()", getRequest<STUHFL_AppBundleId>())
        .bundleId;
}

void Vk640Device::setAppBundleId(std::string value) {
    checkAppBundleId(value);
    writeOnly(setRequest(STUHFL_AppBundleId(std::move(value))));
}

bool Vk640Device::getBluetoothSecuritySimplePairing() {
    return exchangePacket<STUHFL_BluetoothSecuritySimplePairing>(
               "getBluetoothSecuritySimplePairing()",
               getRequest<STUHFL_BluetoothSecuritySimplePairing>())
        .enabled;
}

void Vk640Device::setBluetoothSecuritySimplePairing(bool value) {
    writeOnly(setRequest(oneField(&STUHFL_BluetoothSecuritySimplePairing::enabled, value)));
}

void Vk640Device::factoryReset() {
    writeOnly(setRequest(STUHFL_FactoryReset()));
}

void Vk640Device::shutdown() {
    writeOnly(setRequest(STUHFL_Shutdown()));
}

OperatingMode Vk640Device::getOperationMode() {
    return readOperatingMode("getOperationMode()");
}

void Vk640Device::setOperationMode(OperatingMode value) {
    writeOnly(setRequest(oneField(&STUHFL_OperatingMode::mode, value)));
}

ConnectionMode Vk640Device::getConnectionMode() {
    return connectionModeOf(getOperationMode());
}

void Vk640Device::setConnectionMode(ConnectionMode value) {
    const auto mode = operatingModeFor(value);
    if (!mode) throw refused(ResultCode::notSupported);
    setOperationMode(*mode);
}

InventoryIndicator Vk640Device::getInventoryIndicator() {
    const auto protocol = std::dynamic_pointer_cast<Vk640Protocol>(baseProtocol());
    // Another protocol keeps no indicator: the reader's defaults.
    if (!protocol) return InventoryIndicator();
    return InventoryIndicator(protocol->indicatorReadOnce(), protocol->indicatorBeeper(),
                              protocol->indicatorVibrator());
}

void Vk640Device::setInventoryIndicator(InventoryIndicator value) {
    baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::tagsIndicator, value));
}

// ---- Multiple access ----

uint8_t Vk640Device::getResponseCount(DeviceParamId id) {
    // The protocol keeps no reply to Find Device or the display for a waiting request.
    if (id == DeviceParamId::findDevice || id == DeviceParamId::displayMessage) return 0;
    return BaseDevice::getResponseCount(id);
}

Bytes Vk640Device::getBytePackage(const DeviceParam& deviceParam) {
    using Id = DeviceParamId;
    switch (deviceParam.id()) {
        case Id::firmwareVersion:
            return getRequest<STUHFL_FirmwareVersion>();
        case Id::deviceType:
            return getRequest<STUHFL_ModelName>();
        case Id::serialNumber:
            return getRequest<STUHFL_SerialNumber>();
        case Id::bluetoothAddress:
            return getRequest<STUHFL_BluetoothMacAddress>();
        case Id::batteryStatus:
            return getRequest<STUHFL_BatteryInfo>();
        case Id::temperature:
            return getRequest<STUHFL_Temperature>();
        case Id::skuType:
            return getRequest<STUHFL_SKU>();
        case Id::vibrator:
            return getRequest<STUHFL_Vibrator>();
        case Id::beeperVolume:
            return getRequest<STUHFL_Beeper>();
        case Id::systemTime:
            return getRequest<STUHFL_SystemTime>();
        case Id::autoOffTime:
            return getRequest<STUHFL_AutoOffTime>();
        case Id::readMode:
            return getRequest<STUHFL_ReadMode>();
        case Id::dataFormat:
            return getRequest<STUHFL_DataFormat>();
        case Id::dataInfo:
            return getRequest<STUHFL_DataInfo>();
        case Id::dataRange:
            return getRequest<STUHFL_DataRange>();
        case Id::dataTerminator:
            return getRequest<STUHFL_DataTerminator>();
        case Id::tagUnique:
            return getRequest<STUHFL_TagUnique>();
        case Id::screenOffTime:
            return getRequest<STUHFL_ScreenOffTime>();
        case Id::userData:
            return getRequest<STUHFL_UserData>();
        case Id::appBundleId:
            return getRequest<STUHFL_AppBundleId>();
        case Id::bluetoothSecuritySimplePairing:
            return getRequest<STUHFL_BluetoothSecuritySimplePairing>();
        case Id::connectionMode:
            return getRequest<STUHFL_OperatingMode>();
        default:
            break;
    }
    logWarn("getBytePackage(_:) The deviceParam id " + desc(deviceParam.id()) +
            " is not supported.");
    return {};
}

Bytes Vk640Device::setBytePackage(const DeviceParam& deviceParam) {
    using Id = DeviceParamId;
    const Id id = deviceParam.id();
    const auto value = deviceParam.valueToAny(deviceParam._value());
    // The typed value, or a refusal (logged by the caller below).
    const auto as = [&]<class T>(std::type_identity<T>) -> T {
        const T* typed = value ? std::get_if<T>(&*value) : nullptr;
        if (typed == nullptr) throw refused(ResultCode::invalidParameter, "Invalid value text");
        return *typed;
    };
    try {
        switch (id) {
            case Id::vibrator:
                return setRequest(
                    oneField(&STUHFL_Vibrator::enabled, as(std::type_identity<bool>{})));
            case Id::beeperVolume:
                return setRequest(
                    oneField(&STUHFL_Beeper::volume, as(std::type_identity<BeeperVolume>{})));
            case Id::systemTime:
                return setRequest(STUHFL_SystemTime(as(std::type_identity<DeviceDate>{})));
            case Id::autoOffTime: {
                const unsigned minutes = as(std::type_identity<unsigned>{});
                if (minutes > 0xFF) throw refused(ResultCode::outOfRange, "Above 255 minutes");
                return setRequest(
                    oneField(&STUHFL_AutoOffTime::time, static_cast<uint8_t>(minutes)));
            }
            case Id::readMode:
                return setRequest(
                    oneField(&STUHFL_ReadMode::mode, as(std::type_identity<ReadMode>{})));
            case Id::findDevice: {
                const auto find = as(std::type_identity<FindDevice>{});
                if (find.timeout > 0xFF) throw refused(ResultCode::outOfRange, "Above 255 seconds");
                return setRequest(STUHFL_FindDevice(find.mode, static_cast<uint8_t>(find.timeout)));
            }
            case Id::dataFormat:
                return setRequest(
                    oneField(&STUHFL_DataFormat::format, as(std::type_identity<DataFormat>{})));
            case Id::dataInfo:
                return setRequest(
                    oneField(&STUHFL_DataInfo::info, as(std::type_identity<DataInfo>{})));
            case Id::dataRange: {
                const auto range = as(std::type_identity<DataRange>{});
                if (range.offset() > 0xFFFF || range.length() > 0xFFFF) {
                    throw refused(ResultCode::outOfRange, "Above 65535");
                }
                return setRequest(STUHFL_DataRange(static_cast<uint16_t>(range.offset()),
                                                   static_cast<uint16_t>(range.length())));
            }
            case Id::dataTerminator:
                // CR and LF have no code on this reader: refused, never written as None.
                return setRequest(oneField(&STUHFL_DataTerminator::terminator,
                                           as(std::type_identity<DataTerminator>{})));
            case Id::tagUnique:
                return setRequest(
                    oneField(&STUHFL_TagUnique::unique, as(std::type_identity<TagUnique>{})));
            case Id::screenOffTime: {
                const auto time = as(std::type_identity<ScreenOffTime>{});
                if (time.minutes() > 0xFF || time.seconds() > 0xFF) {
                    throw refused(ResultCode::outOfRange, "Above 255");
                }
                return setRequest(STUHFL_ScreenOffTime(static_cast<uint8_t>(time.minutes()),
                                                       static_cast<uint8_t>(time.seconds())));
            }
            case Id::userData: {
                Bytes data = as(std::type_identity<Bytes>{});
                checkUserData(data);
                return setRequest(STUHFL_UserData::withUserData(std::move(data)));
            }
            case Id::appBundleId: {
                std::string bundleId = as(std::type_identity<std::string>{});
                checkAppBundleId(bundleId);
                return setRequest(STUHFL_AppBundleId(std::move(bundleId)));
            }
            case Id::bluetoothSecuritySimplePairing:
                return setRequest(oneField(&STUHFL_BluetoothSecuritySimplePairing::enabled,
                                           as(std::type_identity<bool>{})));
            case Id::factoryReset:
                return setRequest(STUHFL_FactoryReset());
            case Id::shutdown:
                return setRequest(STUHFL_Shutdown());
            case Id::connectionMode: {
                const auto mode = operatingModeFor(as(std::type_identity<ConnectionMode>{}));
                // A connection mode the reader lacks is refused, never written as another.
                if (!mode) throw refused(ResultCode::notSupported, "No such mode on this reader");
                return setRequest(oneField(&STUHFL_OperatingMode::mode, *mode));
            }
            default:
                break;
        }
    } catch (const CodedError& error) {
        logWarn("setBytePackage(_:) The value of " + desc(id) +
                " is not written: " + error.description());
        return {};
    }
    logWarn("setBytePackage(_:) The deviceParam id " + desc(id) + " is not supported.");
    return {};
}

std::optional<DeviceValue> Vk640Device::decodeReply(DeviceParamId id,
                                                    const STPacket& packet) const {
    using Id = DeviceParamId;
    const ByteView raw = packet.rawData();
    switch (id) {
        case Id::firmwareVersion:
            return withoutTrailingNuls(STUHFL_FirmwareVersion(raw).firmwareVersion);
        case Id::deviceType:
            return deviceTypeOf(STUHFL_ModelName(raw).modelName);
        case Id::serialNumber:
            return withoutTrailingNuls(STUHFL_SerialNumber(raw).serialNumber);
        case Id::bluetoothAddress:
            return STUHFL_BluetoothMacAddress(raw).bluetoothMacAddress;
        case Id::batteryStatus:
            return batteryStatusOf(STUHFL_BatteryInfo(raw));
        case Id::temperature:
            return temperatureOf(STUHFL_Temperature(raw));
        case Id::skuType:
            return STUHFL_SKU(raw).sku;
        case Id::vibrator:
            return STUHFL_Vibrator(raw).enabled;
        case Id::bluetoothSecuritySimplePairing:
            return STUHFL_BluetoothSecuritySimplePairing(raw).enabled;
        case Id::autoOffTime:
            return unsigned{STUHFL_AutoOffTime(raw).time};
        case Id::beeperVolume:
            return STUHFL_Beeper(raw).volume;
        case Id::systemTime:
            return STUHFL_SystemTime(raw).date;
        case Id::readMode:
            return STUHFL_ReadMode(raw).mode;
        case Id::dataFormat:
            return STUHFL_DataFormat(raw).format;
        case Id::dataInfo:
            return STUHFL_DataInfo(raw).info;
        case Id::dataTerminator:
            return STUHFL_DataTerminator(raw).terminator;
        case Id::tagUnique:
            return STUHFL_TagUnique(raw).unique;
        case Id::userData:
            return STUHFL_UserData(raw).userData;
        case Id::appBundleId:
            return STUHFL_AppBundleId(raw).bundleId;
        case Id::dataRange: {
            const STUHFL_DataRange range(raw);
            return DataRange(range.offset, range.length);
        }
        case Id::screenOffTime: {
            const STUHFL_ScreenOffTime time(raw);
            return ScreenOffTime(time.minutes, time.seconds);
        }
        case Id::connectionMode:
            return connectionModeOf(
                operatingModeOf(STUHFL_OperatingMode(raw), "responseDataToDeviceParam(_:_:)"));
        default:
            break;
    }
    return std::nullopt;
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
            const auto value = decodeReply(*id, packet);
            if (!value) {
                logWarn("responseDataToDeviceParam(_:_:) Unsupported deviceParamId: " + desc(*id));
                continue;
            }
            result.emplace_back(*id, DeviceParam::defaultValueTag, *value);
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
