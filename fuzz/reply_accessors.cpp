// Reaches every reply accessor of every Vk210 command class that reads a reply: the first byte
// picks the class, the rest is the data area of a well-formed frame of that class's code, so
// every input gets past the frame checks to the accessors.
#include <cstddef>
#include <cstdint>

#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/commands/FileCommands.h"
#include "orvanerfid/commands/Gen2Commands.h"
#include "orvanerfid/commands/InventoryCommands.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/commands/OutputCommands.h"
#include "orvanerfid/commands/RadioSettingCommands.h"
#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/commands/SledCommands.h"
#include "orvanerfid/core/ResultCode.h"

#include "FuzzSupport.h"

namespace {

using namespace orvane;
using C = OrvaneRfidCommand;

// Frames `area` under Command's code, rebuilds the reply and calls each accessor.
template <typename Command, auto... Accessors>
void readAll(ByteView area) {
    try {
        const Bytes frame = C::frame(Command().id(), area);
        const Command command{C::ReceiveBytes{frame}};
        ((void)(command.*Accessors)(), ...);
        (void)command.description();
    } catch (const ReaderException&) {
        // A status-bearing reply without its status byte is refused, never read.
    }
}

using Read = void (*)(ByteView);

#define ORV_FUZZ_PAIR_(GetClass, SetClass, GetId, SetId, name, defaultValue, ...) \
    readAll<GetClass, &GetClass::name>,

constexpr Read kReads[] = {
    // The extended battery reply and the counted lists come first: they walk the most bytes.
    readAll<OrvRfidCmd_BatteryStatusExtended, &OrvRfidCmd_BatteryStatusExtended::chargingStatus,
            &OrvRfidCmd_BatteryStatusExtended::voltage, &OrvRfidCmd_BatteryStatusExtended::current,
            &OrvRfidCmd_BatteryStatusExtended::percentage,
            &OrvRfidCmd_BatteryStatusExtended::health,
            &OrvRfidCmd_BatteryStatusExtended::temperature,
            &OrvRfidCmd_BatteryStatusExtended::modelNumber,
            &OrvRfidCmd_BatteryStatusExtended::manufactureDate,
            &OrvRfidCmd_BatteryStatusExtended::fullChargeCapacity,
            &OrvRfidCmd_BatteryStatusExtended::cycleCount,
            &OrvRfidCmd_BatteryStatusExtended::serialNumber,
            &OrvRfidCmd_BatteryStatusExtended::remainingCapacity,
            &OrvRfidCmd_BatteryStatusExtended::designCapacity>,
    // The one-value get replies of every group (the counted frequency lists among them).
    ORV_RADIO_SETTING_PAIRS(ORV_FUZZ_PAIR_)    //
    ORV_GEN2_SETTING_PAIRS(ORV_FUZZ_PAIR_)     //
    ORV_OUTPUT_SETTING_PAIRS(ORV_FUZZ_PAIR_)   //
    ORV_SCANNER_SETTING_PAIRS(ORV_FUZZ_PAIR_)  //
    ORV_SLED_SETTING_PAIRS(ORV_FUZZ_PAIR_)     //
    readAll<OrvRfidCmd_FirmwareVersion, &OrvRfidCmd_FirmwareVersion::version>,
    readAll<OrvRfidCmd_RfidModuleFirmware, &OrvRfidCmd_RfidModuleFirmware::version>,
    readAll<OrvRfidCmd_ModelName, &OrvRfidCmd_ModelName::name>,
    readAll<OrvRfidCmd_RfidModuleModel, &OrvRfidCmd_RfidModuleModel::name>,
    readAll<OrvRfidCmd_Sku, &OrvRfidCmd_Sku::skuId>,
    readAll<OrvRfidCmd_RfidModuleSkuId, &OrvRfidCmd_RfidModuleSkuId::skuId>,
    readAll<OrvRfidCmd_SystemError, &OrvRfidCmd_SystemError::systemError>,
    readAll<OrvRfidCmd_GetAntennaState, &OrvRfidCmd_GetAntennaState::antennaState>,
    readAll<OrvRfidCmd_GetGpioPinsConfiguration, &OrvRfidCmd_GetGpioPinsConfiguration::pinDir>,
    readAll<OrvRfidCmd_GetGpioPinsState, &OrvRfidCmd_GetGpioPinsState::pinState>,
    readAll<OrvRfidCmd_GetTriggerButtonStatus, &OrvRfidCmd_GetTriggerButtonStatus::keyFunction>,
    readAll<OrvRfidCmd_GetAntennaSettings, &OrvRfidCmd_GetAntennaSettings::antennaSettings>,
    readAll<OrvRfidCmd_GetGen2Algorithm, &OrvRfidCmd_GetGen2Algorithm::gen2Algorithm>,
    readAll<OrvRfidCmd_GetGen2QueryGroup, &OrvRfidCmd_GetGen2QueryGroup::gen2QueryGroup>,
    readAll<OrvRfidCmd_GetTxOnOffTime, &OrvRfidCmd_GetTxOnOffTime::txOnOffTime>,
    readAll<OrvRfidCmd_BluetoothAddress, &OrvRfidCmd_BluetoothAddress::bluetoothAddress>,
    readAll<OrvRfidCmd_BluetoothName, &OrvRfidCmd_BluetoothName::bluetoothName>,
    readAll<OrvRfidCmd_GetEngineModel, &OrvRfidCmd_GetEngineModel::engineModel>,
    readAll<OrvRfidCmd_GetEngineVersion, &OrvRfidCmd_GetEngineVersion::engineVersion>,
    readAll<OrvRfidCmd_GetFindReplace, &OrvRfidCmd_GetFindReplace::find,
            &OrvRfidCmd_GetFindReplace::replace>,
    readAll<OrvRfidCmd_ScannerData, &OrvRfidCmd_ScannerData::barcodeData,
            &OrvRfidCmd_ScannerData::barcodeEvent>,
    readAll<OrvRfidCmd_ScannerDataWithCustomizedFormat,
            &OrvRfidCmd_ScannerDataWithCustomizedFormat::parameters,
            &OrvRfidCmd_ScannerDataWithCustomizedFormat::barcodeEvent>,
    readAll<OrvRfidCmd_BatteryStatus, &OrvRfidCmd_BatteryStatus::state,
            &OrvRfidCmd_BatteryStatus::charging, &OrvRfidCmd_BatteryStatus::percentage>,
    readAll<OrvRfidCmd_GetScannerIndicator, &OrvRfidCmd_GetScannerIndicator::goodRead,
            &OrvRfidCmd_GetScannerIndicator::connection, &OrvRfidCmd_GetScannerIndicator::setting,
            &OrvRfidCmd_GetScannerIndicator::error, &OrvRfidCmd_GetScannerIndicator::powerOn,
            &OrvRfidCmd_GetScannerIndicator::powerOff>,
    readAll<OrvRfidCmd_GetMfiSetting, &OrvRfidCmd_GetMfiSetting::setting>,
    readAll<OrvRfidCmd_TagAccessData, &OrvRfidCmd_TagAccessData::operation,
            &OrvRfidCmd_TagAccessData::accessData>,
    readAll<OrvRfidCmd_LbtStatus, &OrvRfidCmd_LbtStatus::frequency>,
    readAll<OrvRfidCmd_InventoryData, &OrvRfidCmd_InventoryData::rssi,
            &OrvRfidCmd_InventoryData::epc>,
    readAll<OrvRfidCmd_InventoryDataWithTid, &OrvRfidCmd_InventoryDataWithTid::epc,
            &OrvRfidCmd_InventoryDataWithTid::tid>,
    readAll<OrvRfidCmd_InventoryDataWithUserSpecifiedData,
            &OrvRfidCmd_InventoryDataWithUserSpecifiedData::epc,
            &OrvRfidCmd_InventoryDataWithUserSpecifiedData::userData>,
    readAll<OrvRfidCmd_InventoryDataPhase, &OrvRfidCmd_InventoryDataPhase::phaseBegin,
            &OrvRfidCmd_InventoryDataPhase::phaseEnd, &OrvRfidCmd_InventoryDataPhase::frequency>,
    readAll<OrvRfidCmd_InventoryDataPhaseWithTid, &OrvRfidCmd_InventoryDataPhaseWithTid::tid,
            &OrvRfidCmd_InventoryDataPhaseWithTid::frequency>,
    readAll<OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData,
            &OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData::userData,
            &OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData::frequency>,
    readAll<OrvRfidCmd_InventoryDataWithCustomizedFormat,
            &OrvRfidCmd_InventoryDataWithCustomizedFormat::parameters>,
};

#undef ORV_FUZZ_PAIR_

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    kReads[data[0] % std::size(kReads)](ByteView(data + 1, size - 1));
    return 0;
}
