// Every reply accessor of the setting commands against an empty, a short and an unknown-valued
// reply, and against sound replies: a short reply gives no value, an unknown byte gives the
// fallback its field names (EnumByteOr's second argument), a byte that would be read as another
// valid value gives no value.
#include <gtest/gtest.h>

#include <functional>

#include "SettingTestSupport.h"
#include "orvanerfid/commands/OutputCommands.h"
#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/commands/SledCommands.h"

namespace orvane {
namespace {

using test::ReplyCase;
using Reader = std::function<std::optional<std::string>(const Bytes&)>;

template <typename Command, typename Accessor>
Reader reader(Accessor accessor) {
    return [accessor](const Bytes& data) {
        return test::showOptional(accessor(test::received<Command>(data)));
    };
}

#define READ(Class, accessor) \
    reader<Class>([](const Class& c) { return c.accessor(); }), #Class "." #accessor

struct AccessorRow {
    Reader read;
    const char* name;
    std::vector<ReplyCase> cases;
};

const auto none = std::nullopt;

const std::vector<AccessorRow>& accessorRows() {
    static const std::vector<AccessorRow> rows = {
        // Region, RF mode, LBT, operation mode, frequencies, timing, power saving.
        {READ(OrvRfidCmd_GetRegion, region),
         {{{}, none}, {{0x05}, "hongKong"}, {{0x09}, "unknown"}, {{0xFF}, "unknown"}}},
        {READ(OrvRfidCmd_GetRfMode, rfMode), {{{}, none}, {{0x01}, none}, {{0x00, 0x67}, "103"}}},
        {READ(OrvRfidCmd_GetLbt, enable), {{{}, none}, {{0x01}, "on"}, {{0x02}, "off"}}},
        {READ(OrvRfidCmd_GetRfidOperationMode, operationMode),
         {{{}, none}, {{0x01}, "nonContinuous"}, {{0x07}, "continuous"}}},
        {READ(OrvRfidCmd_GetFixedFrequency, frequencies),
         {{{}, none},
          {{0x02, 0x00, 0x0D, 0xBC, 0x18}, none},
          {{0x00}, ""},
          {{0x02, 0x00, 0x0D, 0xBC, 0x18, 0x00, 0x0D, 0xC0, 0x00, 0xEE}, "900120,901120"}}},
        {READ(OrvRfidCmd_GetTxOnOffTime, txOnOffTime),
         {{{}, none}, {{0x00, 0x64, 0x00}, none}, {{0x00, 0x64, 0x00, 0x0A}, "100/10"}}},
        {READ(OrvRfidCmd_GetPowerSavingMode, mode),
         {{{}, none}, {{0x01}, "powerOn"}, {{0x05}, "powerSaving"}}},
        {READ(OrvRfidCmd_GetLbtConfigure, rssiThsd),
         {{{}, none}, {{0xE4}, none}, {{0xE4, 0xA8}, "-7000"}}},
        {READ(OrvRfidCmd_GetFrequencySwitchingMode, fsMode),
         {{{}, none}, {{0x01}, "nonStop"}, {{0x09}, "stop"}}},
        // Gen2, antenna, pins, storage, housekeeping.
        {READ(OrvRfidCmd_GetAntennaSettings, antennaSettings),
         {{{}, none},
          {{0x01, 0x07, 0xD0, 0x0B}, none},
          {{0x01, 0x07, 0xD0, 0x0B, 0xB8}, "1/2000/3000"}}},
        {READ(OrvRfidCmd_GetAntennaState, antennaState),
         {{{}, none}, {{0x01}, none}, {{0x01, 0x01}, "on"}}},
        {READ(OrvRfidCmd_GetGpioPinsConfiguration, pinDir),
         {{{0x00}, none}, {{0x00, 0x01}, "output"}, {{0x00, 0x07}, none}}},
        {READ(OrvRfidCmd_GetGpioPinsState, pinState), {{{0x00}, none}, {{0x00, 0x01}, "1"}}},
        {READ(OrvRfidCmd_GetGen2Algorithm, gen2Algorithm),
         {{{}, none},
          {{0x05, 0x07, 0xA3}, none},
          {{0x05, 0x07, 0xA3, 0x00}, "dynamicQ/7/3/10/off"},
          {{0x00, 0x04, 0xF2, 0x01, 0xEE}, "fixedQ/4/2/15/on"}}},
        {READ(OrvRfidCmd_GetGen2QueryGroup, gen2QueryGroup),
         {{{}, none},
          {{0x03, 0x02}, none},
          {{0x00, 0x07, 0x01}, "all/s0/b"},
          {{0x03, 0x04, 0x00}, "selected/s4/a"},
          {{0x02, 0x01, 0x05}, "deselected/s1/a"}}},
        {READ(OrvRfidCmd_GetBiStaticAntennaSetting, biStaticAntennaSetting),
         {{{}, none}, {{0x01}, "on"}, {{0x02}, "off"}}},
        {READ(OrvRfidCmd_GetFastId, enable), {{{}, none}, {{0x01}, "on"}}},
        {READ(OrvRfidCmd_GetTagFocus, enable), {{{}, none}, {{0x00}, "off"}}},
        {READ(OrvRfidCmd_GetPhaseData, enable), {{{}, none}, {{0x01}, "on"}}},
        {READ(OrvRfidCmd_GetAntennaSwitchingMode, asMode),
         {{{}, none}, {{0x01}, "nonStop"}, {{0x03}, "stop"}}},
        {READ(OrvRfidCmd_GetConfigurationStorageMode, stMode),
         {{{}, none}, {{0x01}, "ramOnly"}, {{0x02}, "ramFlash"}}},
        {READ(OrvRfidCmd_GetAmbientTemperatureProtection, temperature),
         {{{}, none}, {{0x03}, none}, {{0x03, 0x52}, "850"}}},
        {READ(OrvRfidCmd_GetPaTemperatureProtection, temperature),
         {{{}, none}, {{0x02}, none}, {{0x02, 0x58}, "600"}}},
        {READ(OrvRfidCmd_GetTemperatureProtectionMode, mode),
         {{{}, none}, {{0x01}, "nonStop"}, {{0x04}, "stop"}}},
        {READ(OrvRfidCmd_GetInventoryDataWithCustomizedFormat, pids),
         {{{}, ""}, {{0x00, 0x0A, 0x04}, "epc,tid"}, {{0x09}, ""}}},
        {READ(OrvRfidCmd_GetUartDefaultBaudRate, baudRate),
         {{{}, none}, {{0x00, 0x01, 0xC2}, none}, {{0x00, 0x01, 0xC2, 0x00}, "115200"}}},
        // Sled and system.
        {READ(OrvRfidCmd_BatteryStatus, state),
         {{{}, none}, {{0x03}, "normal"}, {{0x07}, "unknown"}, {{0x01, 0x55}, none}}},
        {READ(OrvRfidCmd_BatteryStatus, charging),
         {{{}, none}, {{0x01}, none}, {{0x01, 0x55}, "on"}, {{0xFE, 0x55, 0x00}, none}}},
        {READ(OrvRfidCmd_BatteryStatus, percentage), {{{0x01}, none}, {{0x00, 0x55}, "85"}}},
        {[](const Bytes& d) -> std::optional<std::string> {
             return test::received<OrvRfidCmd_BatteryStatus>(d).description();
         },
         "OrvRfidCmd_BatteryStatus.description",
         {{{}, "BatteryStatus: Unknown"},
          {{0x01, 0x55}, "BatteryStatus: Charging 85%"},
          {{0x02, 0x0A}, "BatteryStatus: Not Charging 10%"},
          {{0x03}, "BatteryStatus: Normal"},
          {{0x05}, "BatteryStatus: Unknown"}}},
        {READ(OrvRfidCmd_GetTriggerButtonStatus, keyFunction),
         {{{}, none}, {{0x01}, none}, {{0x01, 0x02}, "rfid"}, {{0x00, 0x07}, "disabled"}}},
        {READ(OrvRfidCmd_GetAutoPowerOffSetting, autoPowerOff),
         {{{}, none}, {{0x01}, none}, {{0x01, 0x2C}, "300"}}},
        {READ(OrvRfidCmd_GetBeeperVolume, volume),
         {{{}, none}, {{0x07}, "medium"}, {{0x03}, "high"}}},
        {READ(OrvRfidCmd_GetLedControl, enable), {{{}, none}, {{0x01}, "on"}, {{0x02}, "off"}}},
        {READ(OrvRfidCmd_GetScannerIndicator, goodRead),
         {{{}, none}, {{0x05}, none}, {{0xF5, 0x94}, "none"}}},
        {READ(OrvRfidCmd_GetScannerIndicator, connection),
         {{{0x05}, none}, {{0xF5, 0x94}, "beeper"}}},
        {READ(OrvRfidCmd_GetScannerIndicator, setting), {{{0x05}, none}, {{0xF5, 0x94}, "beeper"}}},
        {READ(OrvRfidCmd_GetScannerIndicator, error), {{{0x05}, none}, {{0xF5, 0x94}, "vibrator"}}},
        {READ(OrvRfidCmd_GetScannerIndicator, powerOn),
         {{{}, none}, {{0x0E}, "vibrator"}, {{0xF5, 0x94}, "beeper"}}},
        {READ(OrvRfidCmd_GetScannerIndicator, powerOff),
         {{{}, none}, {{0x0E}, "beeperVibrator"}, {{0xF5, 0x94}, "beeper"}}},
        {READ(OrvRfidCmd_GetMfiSetting, setting),
         {{{}, none},
          {{0x0B}, ""},
          {{0x0B, 0x61, 0x62, 0x00}, "6162"},
          {{0x0B, 0x61, 0x00, 0x00}, "6100"}}},
        // Scanner.
        {READ(OrvRfidCmd_GetEngineModel, engineModel),
         {{{}, "\"\""}, {{0xFF}, none}, {{0x53, 0x45, 0x34, 0x31, 0x30, 0x37}, "\"SE4107\""}}},
        {READ(OrvRfidCmd_GetEngineVersion, engineVersion),
         {{{}, "\"\""}, {{0xC3, 0x28}, none}, {{0x50, 0x41, 0x41, 0x43}, "\"PAAC\""}}},
        {READ(OrvRfidCmd_GetFindReplace, find), {{{}, none}, {{0x2C}, "44"}}},
        {READ(OrvRfidCmd_GetFindReplace, replace), {{{0x2C}, none}, {{0x2C, 0x3B}, "59"}}},
        {READ(OrvRfidCmd_GetScannerDataWithCustomizedFormat, pids),
         {{{}, ""}, {{0x00, 0x01, 0x05}, "barcodeData,codeId"}, {{0x02, 0x03}, "timestamp"}}},
        {READ(OrvRfidCmd_GetDataTerminatorSetting, dataTerminator),
         {{{}, none}, {{0x09}, "none"}, {{0x04}, "tab"}}},
        {READ(OrvRfidCmd_GetSettingByLabelSetting, enable), {{{}, none}, {{0x01}, "on"}}},
        {READ(OrvRfidCmd_GetGs1AiSetting, gs1Ai),
         {{{}, none}, {{0x02}, "applyWithSeparator"}, {{0x03}, "noApply"}}},
        {READ(OrvRfidCmd_GetControlCharacterFilter, controlCharacterFilter),
         {{{}, none}, {{0x01}, "send"}, {{0x09}, "dontSend"}}},
        {READ(OrvRfidCmd_ScannerData, barcodeId),
         {{{}, none}, {{0x80}, none}, {{0x81, 0x03, 0x41, 0x42}, "3"}, {{0x01, 0x41}, "0"}}},
        {READ(OrvRfidCmd_ScannerData, barcodeData),
         {{{}, none},
          {{0x80}, none},
          {{0x81, 0x03, 0x41, 0x42}, "4142"},
          {{0x01, 0x41, 0x42}, "4142"},
          {{0x81, 0x03}, ""}}},
        {[](const Bytes& d) { return test::showOptional(nakCause(d)); },
         "nakCause",
         {{{}, none}, {{0x03}, none}, {{0x06, 0xAA}, "hostDirectiveDenied"}}},
        // Keyboard output, batch data, Bluetooth.
        {READ(OrvRfidCmd_BluetoothAddress, bluetoothAddress),
         {{{}, "\"\""}, {{0xC3}, none}, {{0x30, 0x30, 0x3A, 0x31}, "\"00:1\""}}},
        {READ(OrvRfidCmd_BluetoothName, bluetoothName),
         {{{}, "\"\""}, {{0x52, 0xC3}, none}, {{0x52, 0x44, 0x31}, "\"RD1\""}}},
        {READ(OrvRfidCmd_GetAutoConnection, autoConnection),
         {{{}, none}, {{0x02}, "off"}, {{0x01}, "on"}}},
        {READ(OrvRfidCmd_GetConnectionMode, connectionMode),
         {{{}, none}, {{0x07}, "btSpp"}, {{0x06}, none}, {{0x03}, "usbSpp"}}},
        {READ(OrvRfidCmd_GetDataCollectionMode, dataCollectionMode),
         {{{}, none}, {{0x09}, "wedge"}, {{0x02}, "batch"}}},
        {READ(OrvRfidCmd_GetDataSendingInterBlockDelay, interBlockDelay),
         {{{}, none}, {{0x06}, "delay10ms"}, {{0x05}, "delay3sec"}}},
        {READ(OrvRfidCmd_GetHidInterCharacterDelay, interCharacterDelay),
         {{{}, none}, {{0x06}, "delay10ms"}, {{0x05}, "delay100ms"}, {{0x00}, "delay1ms"}}},
        {READ(OrvRfidCmd_GetHidKeyboardLanguage, keyboardLanguage),
         {{{}, none}, {{0x0E}, "us"}, {{0x0D}, "belgium"}}},
        {READ(OrvRfidCmd_GetHidKeyboardCase, keyboardCase),
         {{{}, none}, {{0x03}, "auto_"}, {{0x02}, "upper"}}},
    };
    return rows;
}

TEST(SettingReplies, EveryAccessorOnEmptyShortAndUnknownReplies) {
    for (const auto& row : accessorRows()) {
        for (const auto& c : row.cases) {
            EXPECT_EQ(row.read(c.data), c.expected)
                << row.name << " with data " << toHexString(c.data);
        }
    }
}

TEST(SettingReplies, RegionBandsReadBothWays) {
    for (auto region : allCases<OrvRfidCmdRegion>()) {
        if (region == OrvRfidCmdRegion::unknown) continue;
        EXPECT_EQ(regionForBand(toGlobalBandType(region)), region) << caseName(region);
    }
    EXPECT_EQ(toGlobalBandType(OrvRfidCmdRegion::unknown), GlobalBandType::unknown);
    EXPECT_EQ(rawValue(toGlobalBandType(OrvRfidCmdRegion::fcc)), 2);
    EXPECT_EQ(rawValue(toGlobalBandType(OrvRfidCmdRegion::hongKong)), 11);
    for (auto band : {GlobalBandType::unknown, GlobalBandType::japan250mW, GlobalBandType::russia})
        EXPECT_FALSE(regionForBand(band)) << caseName(band);
}

}  // namespace
}  // namespace orvane
