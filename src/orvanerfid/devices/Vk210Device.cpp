#include "orvanerfid/devices/Vk210Device.h"

#include <type_traits>

#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/commands/InventoryCommands.h"
#include "orvanerfid/commands/RadioSettingCommands.h"
#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/devices/Vk210FirmwareUpdate.h"
#include "orvanerfid/devices/Vk210MultiSetting.h"
#include "orvanerfid/devices/Vk210Settings.h"
#include "orvanerfid/link/Vk210Protocol.h"

namespace orvane {
namespace {

using Id = DeviceParamId;

// The settings this reader lacks; every other id is kept.
constexpr Id kUnsupported[] = {
    Id::vibrator,       Id::readMode,
    Id::findDevice,     Id::dataFormat,
    Id::dataInfo,       Id::dataRange,
    Id::tagUnique,      Id::hidCharacterDelay,
    Id::displayMessage, Id::screenOffTime,
    Id::userData,       Id::bluetoothSecuritySimplePairing,
    Id::shutdown,       Id::inventoryIndicator,
    Id::autoConnection, Id::dataSendingInterBlockDelay,
};

// This reader's own defaults; the other kept ids start from DeviceParam's.
std::optional<DeviceValue> modelDefault(Id id) {
    switch (id) {
        case Id::beeperVolume:
            return BeeperVolume::low;
        case Id::autoOffTime:
            return 1u;
        case Id::dataTerminator:
            return DataTerminator::none;
        case Id::findReplace:
            return FindReplace(0xFF, 0xFF);
        case Id::settingByLabel:
        case Id::ledControl:
            return true;
        case Id::dataCollectionMode:
            return DataCollectionMode::auto_;
        case Id::gs1Ai:
            return Gs1Ai::noApply;
        case Id::hidInterCharacterDelay:
            return HidInterCharacterDelay::delay5ms;
        case Id::hidKeyboardLanguage:
            return HidKeyboardLanguage::us;
        case Id::hidKeyboardCase:
            return HidKeyboardCase::auto_;
        case Id::controlCharacterFilter:
            return ControlCharacterFilter::send;
        case Id::scannerIndicator:
            return ScannerIndicator(GoodReadIndicator::beeper, ConnectionIndicator::beeper,
                                    SettingIndicator::beeper, ErrorIndicator::beeper,
                                    PowerOnIndicator::none, PowerOffIndicator::none);
        case Id::connectionMode:
            return ConnectionMode::bluetoothSpp;
        case Id::ambientTemperatureProtection:
        case Id::paTemperatureProtection:
            return 80u;
        case Id::temperatureProtectionMode:
            return TemperatureProtectionMode::nonStop;
        default:
            return std::nullopt;
    }
}

Bytes eventNotificationFrame(OrvRfidCmdEventNotificationId id) {
    OrvRfidCmd_EventNotification command;
    command.eventId = id;
    command.enable = true;
    return command.toBytes();
}

}  // namespace

Vk210Device::Vk210Device(std::shared_ptr<BaseProtocol> protocol)
    : BaseDevice("Vk210Device", std::move(protocol)) {
    setSupportMultipleSetting(true);
    setDeviceType(DeviceType::vk210);
    setHasEngine(true);
    setHasRfid(true);
    setSupportedTriggerKeys({KeyID::lowerKey, KeyID::upperKey});
    setSupportFirmwareUpdate(true);
    setSupportedParameters(makeSupportedParameters());
}

std::shared_ptr<Vk210Device> Vk210Device::create(std::shared_ptr<BaseProtocol> protocol) {
    std::shared_ptr<Vk210Device> device(new Vk210Device(std::move(protocol)));
    device->attachToProtocol();
    return device;
}

std::shared_ptr<Vk210Device> Vk210Device::create(std::shared_ptr<BaseTransport> transport) {
    return create(std::static_pointer_cast<BaseProtocol>(
        std::make_shared<Vk210Protocol>(std::move(transport))));
}

std::vector<DeviceParam> Vk210Device::makeSupportedParameters() {
    std::vector<DeviceParam> parameters;
    for (const Id id : allCases<Id>()) {
        if (std::ranges::find(kUnsupported, id) != std::end(kUnsupported)) continue;
        if (const auto value = modelDefault(id)) {
            parameters.emplace_back(id, DeviceParam::defaultValueTag, *value);
        } else {
            parameters.emplace_back(id);
        }
    }
    return parameters;
}

#define ORV_DEVICE_ROW_CLASS Vk210Device
ORV_DEVICE_DEFINE_ROW_OPERATIONS()
#undef ORV_DEVICE_ROW_CLASS

DeviceValue Vk210Device::readRow(DeviceParamId id) {
    switch (id) {
        case Id::rfidModuleSkuType: {
            const DeviceValue sku =
                vk210::readSetting(*baseProtocol(), *vk210::settingRow(id), hasEngine());
            if (std::get<SkuType>(sku) == SkuType::unknown) {
                logError("getRfidModuleSkuType() The SKU is unknown(0).");
            }
            return sku;
        }
        case Id::skuType:
            return readSkuType();
        case Id::ambientTemperatureProtection:
            return unsigned{getProtection(id,
                                          "DEBUG. getAmbientTemperatureProtection() - Ambient "
                                          "temperature protection is set to 85 degrees Celsius "
                                          "(default)")};
        case Id::paTemperatureProtection:
            return unsigned{getProtection(id,
                                          "DEBUG. getPaTemperatureProtection() - PA temperature "
                                          "protection is set to 85 degrees Celsius (default)")};
        case Id::autoOffTimeList:
            return vk210::autoOffTimeList();
        default:
            break;
    }
    const vk210::SettingRow* row = vk210::settingRow(id);
    if (row == nullptr || row->decode == nullptr) {
        throw ReaderException(ResultCode::notSupported, "");
    }
    return vk210::readSetting(*baseProtocol(), *row, hasEngine());
}

void Vk210Device::writeRow(DeviceParamId id, const DeviceValue& value) {
    const vk210::SettingRow* row = vk210::settingRow(id);
    if (row == nullptr || row->build == nullptr) {
        throw ReaderException(ResultCode::notSupported, "");
    }
    vk210::writeSetting(*baseProtocol(), *row, hasEngine(), value);
}

// ---- Start-up and keep-alive

void Vk210Device::initDevice() {
    constexpr std::string_view tag = "initDevice()";
    BaseProtocol& protocol = *baseProtocol();
    vk210::exchange(protocol,
                    eventNotificationFrame(OrvRfidCmdEventNotificationId::batchDataBeginEnd), tag);
    vk210::exchange(protocol, eventNotificationFrame(OrvRfidCmdEventNotificationId::keyEvent), tag);
    // Only "target not found" tells that there is no engine; any other status means one.
    const auto engine =
        vk210::request(protocol, OrvRfidCmd_GetEngineModel().toBytes(), "initDevice");
    if (engine.status() == OrvRfidCmdStatus::targetNotFound) {
        setHasEngine(false);
        return;
    }
    setHasEngine(true);
    OrvRfidCmd_SetScannerDataSendMode sendMode;
    sendMode.dataSendMode = OrvRfidCmdDataSendMode::withCodeId;
    vk210::exchange(protocol, sendMode.toBytes(), tag);
}

uint8_t Vk210Device::getModuleInfo(uint8_t kind) {
    if (kind == 1) return rawValue(getEngineModel());
    if (kind == 0) throw ReaderException(ResultCode::notSupported, "");
    return rawValue(getRfidModuleModel());
}

void Vk210Device::triggerAlive() {
    logTrace("triggerAlive()");
    Bytes frames = OrvRfidCmd_PaTemperature().toBytes();
    const Bytes battery = OrvRfidCmd_BatteryStatus().toBytes();
    frames.insert(frames.end(), battery.begin(), battery.end());
    const Response response = baseProtocol()->send(frames, kAliveTimeout, 2);
    if (response.resultCode() != ResultCode::noError) {
        throw ReaderException(response.resultCode(), "");
    }
}

// ---- Settings with more than one row's work

SkuType Vk210Device::readSkuType() {
    const SkuType sku = std::get<SkuType>(
        vk210::readSetting(*baseProtocol(), *vk210::settingRow(Id::skuType), hasEngine()));
    if (sku != SkuType::unknown) return sku;
    logError("getSkuType() The SKU is unknown(0) going to check global band.");
    const auto reply = vk210::exchange<OrvRfidCmd_GetRegion>(
        *baseProtocol(), OrvRfidCmd_GetRegion().toBytes(), "getSkuType()");
    const OrvRfidCmdRegion region = reply.region().value_or(OrvRfidCmdRegion::unknown);
    const SkuType bandSku = skuTypeFromBand(toGlobalBandType(region));
    if (bandSku == SkuType::unknown) {
        logError("getSkuType() Get unknown region, could not get sku type.");
    }
    return bandSku;
}

uint16_t Vk210Device::getProtection(DeviceParamId id, std::string_view debugText) {
    const vk210::SettingRow& row = *vk210::settingRow(id);
    const auto reply = vk210::exchange(*baseProtocol(), vk210::readRequest(row), row.getTag);
    const uint16_t tenths = vk210::protectionTenthsFromData(reply.data());
    if (tenths <= 850) return static_cast<uint16_t>(tenths / 10);
    logDebug(debugText);
    if (id == Id::ambientTemperatureProtection) {
        setAmbientTemperatureProtection(85);
    } else {
        setPaTemperatureProtection(85);
    }
    return 85;
}

KeyFunction Vk210Device::getKeyFunction(KeyID keyId) {
    const vk210::SettingRow& row = *vk210::settingRow(Id::triggerKeyStatus);
    const Bytes frame = vk210::readRequest(row, vk210::readerKey(keyId));
    return std::get<TriggerKeyStatus>(vk210::readSetting(*baseProtocol(), row, hasEngine(), frame))
        .keyFunction;
}

BatteryStatusExtended Vk210Device::getBatteryStatusExtended(
    std::vector<BatteryStatusExtendedType> types) {
    const vk210::SettingRow& row = *vk210::settingRow(Id::batteryStatusExtended);
    const Bytes frame =
        OrvaneRfidCommand::frame(row.getCommand, vk210::batteryStatusExtendedRequestData(types));
    return std::get<BatteryStatusExtended>(
        vk210::readSetting(*baseProtocol(), row, hasEngine(), frame));
}

void Vk210Device::setEngineReadyEvent() {
    vk210::checkEngine(hasEngine());
    vk210::exchange(*baseProtocol(),
                    eventNotificationFrame(OrvRfidCmdEventNotificationId::scanEngineReady),
                    "setEngineReadyEvent()");
}

void Vk210Device::firmwareUpdate(std::string fileName, Bytes file) {
    if (!supportFirmwareUpdate()) throw ReaderException(ResultCode::notSupported, "");
    // The flag is left as it is: whoever accepts the update clears it beforehand, so an abort
    // set between the acceptance and this point still ends the update.
    vk210::runFirmwareUpdate(
        *baseProtocol(), fileName, file,
        [this](FirmwareUpdateState state, uint8_t percentage) {
            if (const auto target = delegate()) target->firmwareUpdateEvent(state, percentage);
        },
        [this] { return _abortUpdate(); });
}

// ---- Multi-setting hooks

Bytes Vk210Device::getBytePackage(const DeviceParam& deviceParam) {
    try {
        return vk210::getBytePackage(deviceParam);
    } catch (const ReaderException& e) {
        logWarn("getBytePackage(_:) " + std::string(description(deviceParam.id())) + " " +
                e.description());
        return {};
    }
}

Bytes Vk210Device::setBytePackage(const DeviceParam& deviceParam) {
    try {
        return vk210::setBytePackage(deviceParam);
    } catch (const ReaderException& e) {
        logWarn("setBytePackage(_:) " + std::string(description(deviceParam.id())) + " " +
                e.description());
        return {};
    }
}

std::vector<DeviceParam> Vk210Device::responseDataToDeviceParam(
    ByteView data, const std::vector<DeviceParamId>& ids) {
    return vk210::responseDataToDeviceParam(data, ids);
}

void Vk210Device::verifySetResult(ByteView data) {
    vk210::verifySetResult(data);
}

}  // namespace orvane
