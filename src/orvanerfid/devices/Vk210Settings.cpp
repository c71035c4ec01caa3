#include "orvanerfid/devices/Vk210Settings.h"

#include <algorithm>
#include <array>
#include <type_traits>

#include "orvanerfid/commands/CommandFields.h"
#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/commands/Gen2Commands.h"
#include "orvanerfid/commands/InventoryCommands.h"
#include "orvanerfid/commands/OutputCommands.h"
#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/core/Barcode.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane::vk210 {
namespace {

constexpr std::string_view kVk210 = " is not supported for VK210.";

[[noreturn]] void notSupported(std::string message) {
    throw ReaderException(ResultCode::notSupported, std::move(message));
}

template <TabledEnum E>
E requireCase(E value) {
    if (!fromRaw<E>(rawValue(value))) {
        throw ReaderException(ResultCode::outOfRange,
                              "The value " + std::to_string(rawValue(value)) + " is not a case.");
    }
    return value;
}

// The command value with the same raw value as a public value (both lists share their numbers).
template <TabledEnum To, TabledEnum From>
To sameRaw(From value) {
    const auto to = fromRaw<To>(rawValue(requireCase(value)));
    if (!to) {
        throw ReaderException(ResultCode::outOfRange,
                              "The value " + std::to_string(rawValue(value)) + " is not a case.");
    }
    return *to;
}

template <typename T>
const T& valueAs(const DeviceValue& value) {
    const T* typed = std::get_if<T>(&value);
    if (!typed) throw ReaderException(ResultCode::invalidParameter, "");
    return *typed;
}

// The public case of the first byte, or `fallback` for no byte and a byte that is no case.
template <TabledEnum E>
E firstByteOr(ByteView data, E fallback) {
    if (data.empty()) return fallback;
    return fromRaw<E>(data[0]).value_or(fallback);
}

std::string utf8Text(ByteView data) {
    return *fields::Utf8Text::read(data, 0);
}

std::string asciiOrError(ByteView data) {
    return data.empty() ? std::string() : asciiString(data);
}

bool flag(ByteView data) {
    return !data.empty() && data[0] == 1;
}

template <typename Cmd>
Bytes frameOf(Cmd command) {
    return command.toBytes();
}

Bytes frameOf(OrvRfidCmdId id, ByteView data = {}) {
    return OrvaneRfidCommand::frame(id, data);
}

// ---- Decoders: one per reply layout.

DeviceValue decodeVersion(const OrvaneRfidCommand& r) {
    return *fields::VersionText::read(r.data(), 0);
}
DeviceValue decodeUtf8(const OrvaneRfidCommand& r) {
    return utf8Text(r.data());
}
DeviceValue decodeAscii(const OrvaneRfidCommand& r) {
    return asciiOrError(r.data());
}
DeviceValue decodeFlag(const OrvaneRfidCommand& r) {
    return flag(r.data());
}
DeviceValue decodeDeviceType(const OrvaneRfidCommand& r) {
    return Utilities::getDeviceType(utf8Text(r.data()));
}
DeviceValue decodeBattery(const OrvaneRfidCommand& r) {
    return batteryStatusFromData(r.data());
}
DeviceValue decodeTemperature(const OrvaneRfidCommand& r) {
    return temperatureFromData(r.data());
}
DeviceValue decodeProtection(const OrvaneRfidCommand& r) {
    // The reader's threshold as it stands: only the single read resets one above 85 degrees.
    const uint16_t tenths = protectionTenthsFromData(r.data());
    if (tenths > 850) {
        orvLogger::warn("Vk210Device", "The temperature protection " + std::to_string(tenths) +
                                           " tenths is above 85 degrees Celsius.");
    }
    return unsigned{tenths / 10u};
}
DeviceValue decodeBeeper(const OrvaneRfidCommand& r) {
    return firstByteOr(r.data(), BeeperVolume::medium);
}
DeviceValue decodeDate(const OrvaneRfidCommand& r) {
    if (r.data().size() < 6)
        throw ReaderException(ResultCode::invalidResponseData, "Invalid data length");
    const auto date = fields::LocalDateTime::read(r.data(), 0);
    if (!date) throw ReaderException(ResultCode::invalidResponseData, "Invalid date");
    return *date;
}
DeviceValue decodeAutoOff(const OrvaneRfidCommand& r) {
    return unsigned{fields::U16::read(r.data(), 0).value_or(0)};
}
DeviceValue decodeTerminator(const OrvaneRfidCommand& r) {
    return firstByteOr(r.data(), DataTerminator::none);
}
DeviceValue decodeBundleId(const OrvaneRfidCommand& r) {
    // The reply's own parse drops the text's end byte.
    const OrvRfidCmd_GetMfiSetting reply(OrvaneRfidCommand::ReceiveBytes{r.rawData()});
    const ByteView data = reply.data();
    return data.size() < 2 ? std::string() : asciiOrError(data.subspan(1));
}
DeviceValue decodeModuleModel(const OrvaneRfidCommand& r) {
    return uhfModuleTypeFromModelText(utf8Text(r.data()));
}
DeviceValue decodeSku(const OrvaneRfidCommand& r) {
    return skuTypeFromSkuByte(fields::U8::read(r.data(), 0));
}
DeviceValue decodeEngineModel(const OrvaneRfidCommand& r) {
    return engineModelFromName(utf8Text(r.data()));
}
DeviceValue decodeFindReplace(const OrvaneRfidCommand& r) {
    const ByteView d = r.data();
    return FindReplace(d.size() > 0 ? d[0] : 0, d.size() > 1 ? d[1] : 0);
}
DeviceValue decodeKeyStatus(const OrvaneRfidCommand& r) {
    const ByteView d = r.data();
    const KeyID key = !d.empty() && d[0] == 1 ? KeyID::lowerKey : KeyID::upperKey;
    const KeyFunction function =
        d.size() > 1 && (d[1] == 1 || d[1] == 2) ? KeyFunction{d[1]} : KeyFunction::disabled;
    return TriggerKeyStatus(key, function);
}
DeviceValue decodeCollectionMode(const OrvaneRfidCommand& r) {
    return firstByteOr(r.data(), DataCollectionMode::wedge);
}
DeviceValue decodeGs1Ai(const OrvaneRfidCommand& r) {
    return firstByteOr(r.data(), Gs1Ai::noApply);
}
DeviceValue decodeInterBlockDelay(const OrvaneRfidCommand& r) {
    return firstByteOr(r.data(), DataSendingInterBlockDelay::delay10ms);
}
DeviceValue decodeInterCharacterDelay(const OrvaneRfidCommand& r) {
    // No byte reads as the first delay, an unknown byte as 10 ms.
    if (r.data().empty()) return HidInterCharacterDelay::delay1ms;
    return firstByteOr(r.data(), HidInterCharacterDelay::delay10ms);
}
DeviceValue decodeLanguage(const OrvaneRfidCommand& r) {
    return firstByteOr(r.data(), HidKeyboardLanguage::us);
}
DeviceValue decodeCase(const OrvaneRfidCommand& r) {
    return firstByteOr(r.data(), HidKeyboardCase::auto_);
}
DeviceValue decodeFilter(const OrvaneRfidCommand& r) {
    return firstByteOr(r.data(), ControlCharacterFilter::noSend);
}
DeviceValue decodeScannerIndicator(const OrvaneRfidCommand& r) {
    return scannerIndicatorFromData(r.data());
}
DeviceValue decodeConnectionMode(const OrvaneRfidCommand& r) {
    // The buffer mode (6) is no mode this reader reports: it reads as the default too.
    const ByteView d = r.data();
    if (d.empty() || d[0] >= 6) return ConnectionMode::bluetoothSpp;
    return *fromRaw<ConnectionMode>(d[0]);
}
DeviceValue decodeProtectionMode(const OrvaneRfidCommand& r) {
    return flag(r.data()) ? TemperatureProtectionMode::nonStop : TemperatureProtectionMode::stop;
}
DeviceValue decodeBatteryExtended(const OrvaneRfidCommand& r) {
    return OrvRfidCmd_BatteryStatusExtended(OrvaneRfidCommand::ReceiveBytes{r.rawData()}).record();
}
template <TabledEnum E>
std::vector<E> formatList(ByteView data) {
    std::vector<E> list;
    for (uint8_t byte : data) {
        if (const auto format = fromRaw<E>(byte)) list.push_back(*format);
    }
    return list;
}
DeviceValue decodeInventoryFormat(const OrvaneRfidCommand& r) {
    return formatList<InventoryDataFormat>(r.data());
}
DeviceValue decodeScannerFormat(const OrvaneRfidCommand& r) {
    return formatList<ScannerDataFormat>(r.data());
}

// ---- Builders: one per write request.

template <OrvRfidCmdId Id, TabledEnum E>
Bytes buildEnumByte(const DeviceValue& v) {
    const uint8_t byte = rawValue(requireCase(valueAs<E>(v)));
    return frameOf(Id, ByteView(&byte, 1));
}
template <OrvRfidCmdId Id>
Bytes buildFlag(const DeviceValue& v) {
    const uint8_t byte = valueAs<bool>(v) ? 1 : 0;
    return frameOf(Id, ByteView(&byte, 1));
}
template <OrvRfidCmdId Id>
Bytes buildPlain(const DeviceValue&) {
    return frameOf(Id);
}
template <OrvRfidCmdId Id, uint8_t Byte>
Bytes buildByte(const DeviceValue&) {
    const uint8_t byte = Byte;
    return frameOf(Id, ByteView(&byte, 1));
}
Bytes buildSystemTime(const DeviceValue& v) {
    OrvRfidCmd_SetSystemTime command;
    command.systemTime = valueAs<DeviceDate>(v);
    return frameOf(command);
}
Bytes buildAutoOff(const DeviceValue& v) {
    const unsigned value = valueAs<unsigned>(v);
    if (value > 0xFFFF) {
        throw ReaderException(ResultCode::outOfRange, "The auto off time must fit 16 bits.");
    }
    OrvRfidCmd_SetAutoPowerOffSetting command;
    command.autoPowerOff = static_cast<uint16_t>(value);
    return frameOf(command);
}
Bytes buildBundleId(const DeviceValue& v) {
    const std::string& text = valueAs<std::string>(v);
    OrvRfidCmd_SetMfiSetting command;
    command.setting.assign(text.begin(), text.end());
    return frameOf(command);
}
Bytes buildFindReplace(const DeviceValue& v) {
    const FindReplace& value = valueAs<FindReplace>(v);
    OrvRfidCmd_SetFindReplace command;
    command.find = value.find;
    command.replace = value.replace;
    return frameOf(command);
}
Bytes buildKeyStatus(const DeviceValue& v) {
    const TriggerKeyStatus& value = valueAs<TriggerKeyStatus>(v);
    OrvRfidCmd_SetTriggerButtonStatus command;
    command.keyId = readerKey(value.keyId);
    command.keyFunction = sameRaw<OrvRfidCmdKeyFunction>(value.keyFunction);
    return frameOf(command);
}
Bytes buildLanguage(const DeviceValue& v) {
    checkHidKeyboardLanguage(valueAs<HidKeyboardLanguage>(v));
    return buildEnumByte<OrvRfidCmdId::setHidKeyboardLanguage, HidKeyboardLanguage>(v);
}
Bytes buildScannerIndicator(const DeviceValue& v) {
    const ScannerIndicator& value = valueAs<ScannerIndicator>(v);
    checkScannerIndicator(value);
    // The command's fields hold their bits in place, as the public ones do.
    OrvRfidCmd_SetScannerIndicator command;
    command.goodRead = sameRaw<OrvRfidCmdGoodReadIndicator>(value.goodRead());
    command.connection = sameRaw<OrvRfidCmdConnectionIndicator>(value.connection());
    command.setting = sameRaw<OrvRfidCmdSettingIndicator>(value.setting());
    command.error = sameRaw<OrvRfidCmdErrorIndicator>(value.error());
    return frameOf(command);
}
Bytes buildDeviceIndicator(const DeviceValue& v) {
    const DeviceIndicator& value = valueAs<DeviceIndicator>(v);
    checkDeviceIndicator(value);
    OrvRfidCmd_SetIndicator command;
    command.led = sameRaw<OrvRfidCmdLedIndicator>(value.led());
    command.vibrator = OrvRfidCmdVibraorIndicator::off;
    command.beep = sameRaw<OrvRfidCmdBeepIndicator>(value.beep());
    return frameOf(command);
}
Bytes buildConnectionMode(const DeviceValue& v) {
    checkConnectionMode(valueAs<ConnectionMode>(v));
    return buildEnumByte<OrvRfidCmdId::setConnectionMode, ConnectionMode>(v);
}
template <OrvRfidCmdId Id>
Bytes buildProtection(const DeviceValue& v) {
    const unsigned degrees = valueAs<unsigned>(v);
    if (degrees > 85) {
        throw ReaderException(ResultCode::outOfRange,
                              "The temperature must be between 0 and 85 degrees Celsius.");
    }
    Bytes data;
    appendBe16(data, static_cast<uint16_t>(degrees * 10));
    return frameOf(Id, data);
}
Bytes buildEventNotification(const DeviceValue& v) {
    const EventNotification& value = valueAs<EventNotification>(v);
    const auto id = fromRaw<OrvRfidCmdEventNotificationId>(rawValue(value.id));
    if (!id) {
        notSupported("The event notification " + std::to_string(rawValue(value.id)) +
                     kVk210.data());
    }
    OrvRfidCmd_EventNotification command;
    command.eventId = *id;
    command.enable = value.enabled;
    return frameOf(command);
}
template <OrvRfidCmdId Id, TabledEnum E>
Bytes buildFormats(const DeviceValue& v) {
    Bytes data;
    for (E format : valueAs<std::vector<E>>(v))
        data.push_back(rawValue(requireCase(format)));
    return frameOf(Id, data);
}

using Id = DeviceParamId;
using Cmd = OrvRfidCmdId;
constexpr Cmd kNone = Cmd::unknown;

// Ids 6 and 55 share the PA temperature request, which answers 55 unless 6 was asked.
constexpr std::array kRows = {
    SettingRow{Id::firmwareVersion, Cmd::firmware, "getFirmwareVersion()", decodeVersion, nullptr,
               "", false},
    SettingRow{Id::deviceType, Cmd::modelName, "getDeviceType()", decodeDeviceType, nullptr, "",
               false},
    SettingRow{Id::serialNumber, Cmd::serialNumber, "getSerialNumber()", decodeUtf8, nullptr, "",
               false},
    SettingRow{Id::bluetoothAddress, Cmd::btAddress, "getBluetoothAddress()", decodeAscii, nullptr,
               "", false},
    SettingRow{Id::bluetoothName, Cmd::btName, "getBluetoothName()", decodeAscii, nullptr, "",
               false},
    SettingRow{Id::batteryStatus, Cmd::batteryStatus, "getBatteryState()", decodeBattery, nullptr,
               "", false},
    SettingRow{Id::temperature, Cmd::paTemperature, "getTemperature()", decodeTemperature, nullptr,
               "", false},
    SettingRow{Id::beeperVolume, Cmd::getBeeperVolume, "getBeeperVolume()", decodeBeeper,
               buildEnumByte<Cmd::setBeeperVolume, BeeperVolume>, "setBeeperVolume(_:)", false},
    SettingRow{Id::systemTime, Cmd::getSystemTime, "getSystemTime()", decodeDate, buildSystemTime,
               "setSystemTime(_:)", false},
    SettingRow{Id::autoOffTime, Cmd::getAutoPowerOffSetting, "getAutoOffTime()", decodeAutoOff,
               buildAutoOff, "setAutoOffTime(_:)", false},
    SettingRow{Id::dataTerminator, Cmd::getDataTerminatorSetting, "getDataTerminator()",
               decodeTerminator, buildEnumByte<Cmd::setDataTerminatorSetting, DataTerminator>,
               "setDataTerminator(_:)", false},
    SettingRow{Id::appBundleId, Cmd::getMfiSetting, "getAppBundleId()", decodeBundleId,
               buildBundleId, "setAppBundleId(_:)", false},
    SettingRow{Id::factoryReset, kNone, "", nullptr, buildByte<Cmd::resetDevice, 0x01>,
               "factoryReset()", false},
    SettingRow{Id::rfidModuleFirmware, Cmd::rfidModuleFirmware, "getRfidModuleFirmware()",
               decodeVersion, nullptr, "", false},
    SettingRow{Id::rfidModuleModel, Cmd::rfidModuleModel, "getRfidModuleModel()", decodeModuleModel,
               nullptr, "", false},
    SettingRow{Id::rfidModuleSkuType, Cmd::rfidModuleSkuId, "getRfidModuleSkuType()", decodeSku,
               nullptr, "", false},
    SettingRow{Id::engineModel, Cmd::engineModel, "getEngineModel()", decodeEngineModel, nullptr,
               "", true},
    SettingRow{Id::engineVersion, Cmd::engineVersion, "getEngineVersion()", decodeUtf8, nullptr, "",
               true},
    SettingRow{Id::findReplace, Cmd::getFindReplace, "getFindReplace()", decodeFindReplace,
               buildFindReplace, "setFindReplace(_:)", true},
    SettingRow{Id::triggerKeyStatus, Cmd::getTriggerButtonStatus, "getKeyFunction(keyId:)",
               decodeKeyStatus, buildKeyStatus, "setKeyFunction(_:)", false},
    SettingRow{Id::autoConnection, Cmd::getAutoConnection, "getAutoConnection()", decodeFlag,
               buildFlag<Cmd::setAutoConnection>, "setAutoConnection(_:)", false},
    SettingRow{Id::settingByLabel, Cmd::getSettingByLabel, "getSettingByLabel()", decodeFlag,
               buildFlag<Cmd::setSettingByLabel>, "setSettingByLabel(_:)", true},
    SettingRow{Id::dataCollectionMode, Cmd::getDataCollectionMode, "getDataCollectionMode()",
               decodeCollectionMode, buildEnumByte<Cmd::setDataCollectionMode, DataCollectionMode>,
               "setDataCollectionMode(_:)", false},
    SettingRow{Id::gs1Ai, Cmd::getGs1AiSetting, "getGs1Ai()", decodeGs1Ai,
               buildEnumByte<Cmd::setGs1AiSetting, Gs1Ai>, "setGs1Ai(_:)", true},
    SettingRow{Id::dataSendingInterBlockDelay, Cmd::getDataSendingInterBlockDelay,
               "getDataSendingInterBlockDelay()", decodeInterBlockDelay,
               buildEnumByte<Cmd::setDataSendingInterBlockDelay, DataSendingInterBlockDelay>,
               "setDataSendingInterBlockDelay(_:)", false},
    SettingRow{Id::hidInterCharacterDelay, Cmd::getHidInterCharacterDelay,
               "getHidInterCharacterDelay()", decodeInterCharacterDelay,
               buildEnumByte<Cmd::setHidInterCharacterDelay, HidInterCharacterDelay>,
               "setHidInterCharacterDelay(_:)", false},
    SettingRow{Id::hidKeyboardLanguage, Cmd::getHidKeyboardLanguage, "getHidKeyboardLanguage()",
               decodeLanguage, buildLanguage, "setHidKeyboardLanguage(_:)", false},
    SettingRow{Id::hidKeyboardCase, Cmd::getHidKeyboardCase, "getHidKeyboardCase()", decodeCase,
               buildEnumByte<Cmd::setHidKeyboardCase, HidKeyboardCase>, "setHidKeyboardCase(_:)",
               false},
    SettingRow{Id::controlCharacterFilter, Cmd::getControlCharacterFilter,
               "getControlCharacterFilter()", decodeFilter,
               buildEnumByte<Cmd::setControlCharacterFilter, ControlCharacterFilter>,
               "setControlCharacterFilter(_:)", true},
    SettingRow{Id::ledControl, Cmd::getLedSetting, "getLedControl()", decodeFlag,
               buildFlag<Cmd::setLedSetting>, "setLedControl(_:)", false},
    SettingRow{Id::scannerIndicator, Cmd::getScannerIndicator, "getScannerIndicator()",
               decodeScannerIndicator, buildScannerIndicator, "setScannerIndicator(_:)", false},
    SettingRow{Id::unpairBluetooth, kNone, "", nullptr, buildPlain<Cmd::btUnpair>,
               "unpairBluetooth()", false},
    SettingRow{Id::deviceIndicator, kNone, "", nullptr, buildDeviceIndicator,
               "setDeviceIndicator(_:)", false},
    SettingRow{Id::startDecode, kNone, "", nullptr, buildPlain<Cmd::startDecode>, "startDecode()",
               true},
    SettingRow{Id::stopDecode, kNone, "", nullptr, buildPlain<Cmd::stopDecode>, "stopDecode()",
               true},
    SettingRow{Id::reboot, kNone, "", nullptr, buildByte<Cmd::resetDevice, 0x00>, "reboot()",
               false},
    SettingRow{Id::stagingReset, kNone, "", nullptr, buildByte<Cmd::executeResetDevice, 0x02>,
               "stagingReset()", false},
    SettingRow{Id::skuType, Cmd::skuId, "getSkuType()", decodeSku, nullptr, "", false},
    SettingRow{Id::connectionMode, Cmd::getConnectionMode, "getConnectionMode()",
               decodeConnectionMode, buildConnectionMode, "setConnectionMode(_:)", false},
    SettingRow{Id::ambientTemperature, Cmd::ambientTemperature, "getAmbientTemperature()",
               decodeTemperature, nullptr, "", false},
    SettingRow{Id::paTemperature, Cmd::paTemperature, "getPaTemperature()", decodeTemperature,
               nullptr, "", false},
    SettingRow{Id::ambientTemperatureProtection, Cmd::getAmbientTemperatureProtection,
               "getAmbientTemperatureProtection()", decodeProtection,
               buildProtection<Cmd::setAmbientTemperatureProtection>,
               "setAmbientTemperatureProtection(_:)", false},
    SettingRow{Id::paTemperatureProtection, Cmd::getPaTemperatureProtection,
               "getPaTemperatureProtection()", decodeProtection,
               buildProtection<Cmd::setPaTemperatureProtection>, "setPaTemperatureProtection(_:)",
               false},
    SettingRow{Id::temperatureProtectionMode, Cmd::getTemperatureProtectionMode,
               "getTemperatureProtectionMode()", decodeProtectionMode,
               buildEnumByte<Cmd::setTemperatureProtectionMode, TemperatureProtectionMode>,
               "setTemperatureProtectionMode(_:)", false},
    SettingRow{Id::eventNotification, kNone, "", nullptr, buildEventNotification,
               "setEventNotification(_:)", false},
    SettingRow{Id::retrieveBatchedData, kNone, "", nullptr, buildPlain<Cmd::retrieveBatchedData>,
               "retrieveBatchedData()", false},
    SettingRow{Id::batteryStatusExtended, Cmd::batteryStatusExtended,
               "getBatteryStatusExtended(_:)", decodeBatteryExtended, nullptr, "", false},
    SettingRow{Id::inventoryDataWithCustomizedFormat, Cmd::getInventoryDataWithCustomizedFormat,
               "getInventoryDataFormat()", decodeInventoryFormat,
               buildFormats<Cmd::setInventoryDataWithCustomizedFormat, InventoryDataFormat>,
               "setInventoryDataFormat(_:)", false},
    SettingRow{Id::scannerDataWithCustomizedFormat, Cmd::getScannerDataWithCustomizedFormat,
               "getScannerDataFormat()", decodeScannerFormat,
               buildFormats<Cmd::setScannerDataWithCustomizedFormat, ScannerDataFormat>,
               "setScannerDataFormat(_:)", false},
};

constexpr bool rowsInIdOrder() {
    for (std::size_t i = 1; i < kRows.size(); ++i) {
        if (rawValue(kRows[i - 1].id) >= rawValue(kRows[i].id)) return false;
    }
    return true;
}

}  // namespace

// ---- Value rules

SkuType skuTypeFromSkuByte(std::optional<uint8_t> byte) {
    switch (byte.value_or(0)) {
        case rawValue(OrvRfidCmdSkuId::fcc):
            return SkuType::us;
        case rawValue(OrvRfidCmdSkuId::etsi):
            return SkuType::european;
        case rawValue(OrvRfidCmdSkuId::jpn):
            return SkuType::japanese;
        default:
            return SkuType::unknown;
    }
}

double temperatureFromData(ByteView data) {
    return data.size() == 2 ? readBe16(data, 0) / 10.0 : 0.0;
}

uint16_t protectionTenthsFromData(ByteView data) {
    return fields::U16::read(data, 0).value_or(0);
}

BatteryStatus batteryStatusFromData(ByteView data) {
    BatteryStatus status;
    if (data.size() == 2) {
        status.set_percentage(data[1]);
        status.set_charging((data[0] & 0x01) != 0);
        status.set_batteryStatusId({BatteryStatusId::percentage, BatteryStatusId::charging});
        return status;
    }
    const bool known = data.size() == 1 && data[0] <= 4;
    status.set_state(known ? *fromRaw<BatteryState>(data[0]) : BatteryState::unknown);
    status.set_batteryStatusId({BatteryStatusId::state});
    return status;
}

ScannerIndicator scannerIndicatorFromData(ByteView data) {
    ScannerIndicator indicator;
    if (data.size() >= 2) {
        indicator.setGoodRead(*fromRaw<GoodReadIndicator>(data[1] & 0x03));
        indicator.setConnection(*fromRaw<ConnectionIndicator>(data[1] & 0x0C));
        indicator.setSetting(*fromRaw<SettingIndicator>(data[1] & 0x30));
        indicator.setError(*fromRaw<ErrorIndicator>(data[1] & 0xC0));
    }
    if (!data.empty()) {
        indicator.setPowerOn(*fromRaw<PowerOnIndicator>(data[0] & 0x03));
        indicator.setPowerOff(*fromRaw<PowerOffIndicator>(data[0] & 0x0C));
    }
    return indicator;
}

Bytes batteryStatusExtendedRequestData(const std::vector<BatteryStatusExtendedType>& types) {
    uint32_t mask = 0;
    for (BatteryStatusExtendedType type : types)
        mask |= rawValue(requireCase(type));
    return {static_cast<uint8_t>(mask >> 24), static_cast<uint8_t>(mask >> 16), 0x00};
}

// ---- Checks

void checkEngine(bool hasEngine) {
    if (!hasEngine) notSupported("The scan engine is not available.");
}

OrvRfidCmdKeyId readerKey(KeyID key) {
    if (key == KeyID::upperKey) return OrvRfidCmdKeyId::upperKey;
    if (key == KeyID::lowerKey) return OrvRfidCmdKeyId::lowerKey;
    notSupported("The " + std::string(description(requireCase(key))) + kVk210.data());
}

void checkConnectionMode(ConnectionMode mode) {
    requireCase(mode);
    if (rawValue(mode) == 2 || rawValue(mode) > 3) {
        notSupported("The " + std::string(description(mode)) + kVk210.data());
    }
}

void checkHidKeyboardLanguage(HidKeyboardLanguage language) {
    using L = HidKeyboardLanguage;
    switch (requireCase(language)) {
        case L::swiss:
        case L::swedish:
        case L::norwegian:
        case L::altMode:
        case L::partialAlt:
        case L::belgium:
            notSupported("The " + std::string(description(language)) + kVk210.data());
        default:
            return;
    }
}

void checkDeviceIndicator(const DeviceIndicator& indicator) {
    if (indicator.vibrating()) notSupported("The vibrator is not supported for VK210.");
    if (indicator.led() == LedIndicator::blue)
        notSupported("The blue led is not supported for VK210.");
    requireCase(indicator.led());
    requireCase(indicator.beep());
}

void checkScannerIndicator(const ScannerIndicator& indicator) {
    // Each field brought down to its two-bit choice first: 0 none, 1 beeper, 2 vibrator, 3 both.
    const unsigned fields[] = {
        unsigned{rawValue(requireCase(indicator.goodRead()))},
        unsigned{rawValue(requireCase(indicator.connection()))} >> 2u,
        unsigned{rawValue(requireCase(indicator.setting()))} >> 4u,
        unsigned{rawValue(requireCase(indicator.error()))} >> 6u,
        unsigned{rawValue(requireCase(indicator.powerOn()))},
        unsigned{rawValue(requireCase(indicator.powerOff()))} >> 2u,
    };
    constexpr std::string_view kBeeperOnly[] = {"good read", "connection", "setting", "error"};
    for (std::size_t i = 0; i < 4; ++i) {
        if (fields[i] > 1) {
            notSupported("The " + std::string(kBeeperOnly[i]) +
                         " only support none or beeper for VK210.");
        }
    }
    if (fields[4] != 0) notSupported("The power on only support none for VK210.");
    if (fields[5] != 0) notSupported("The power off only support none for VK210.");
}

// ---- Rows

std::span<const SettingRow> settingRows() {
    static_assert(rowsInIdOrder(), "setting rows are kept in id order");
    return kRows;
}

const SettingRow* settingRow(DeviceParamId id) {
    const auto it = std::ranges::lower_bound(kRows, rawValue(id), {},
                                             [](const SettingRow& r) { return rawValue(r.id); });
    return it != kRows.end() && it->id == id ? &*it : nullptr;
}

Bytes readRequest(const SettingRow& row, OrvRfidCmdKeyId key,
                  const std::vector<BatteryStatusExtendedType>& batteryTypes) {
    switch (row.id) {
        case Id::appBundleId: {
            const uint8_t id = rawValue(OrvRfidCmdMfiId::appBundleId);
            return frameOf(row.getCommand, ByteView(&id, 1));
        }
        case Id::triggerKeyStatus: {
            const uint8_t byte = rawValue(key);
            return frameOf(row.getCommand, ByteView(&byte, 1));
        }
        case Id::batteryStatusExtended: {
            OrvRfidCmd_BatteryStatusExtended command;
            for (BatteryStatusExtendedType type : batteryTypes)
                command.types.push_back(sameRaw<OrvRfidCmdBatteryStatusExtendedType>(type));
            return frameOf(command);
        }
        default:
            return frameOf(row.getCommand);
    }
}

DeviceValue readSetting(BaseProtocol& protocol, const SettingRow& row, bool hasEngine,
                        ByteView frame) {
    if (row.needsEngine) checkEngine(hasEngine);
    const OrvaneRfidCommand reply = request(protocol, frame, row.getTag);
    DeviceValue value = row.decode(reply);
    reply.checkStatus(row.getTag);
    return value;
}

DeviceValue readSetting(BaseProtocol& protocol, const SettingRow& row, bool hasEngine) {
    if (row.needsEngine) checkEngine(hasEngine);
    return readSetting(protocol, row, hasEngine, readRequest(row));
}

void writeSetting(BaseProtocol& protocol, const SettingRow& row, bool hasEngine,
                  const DeviceValue& value) {
    if (row.needsEngine) checkEngine(hasEngine);
    exchange(protocol, row.build(value), row.setTag);
}

}  // namespace orvane::vk210
