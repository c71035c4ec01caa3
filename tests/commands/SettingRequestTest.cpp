// Request data of the setting commands: the vectors of their families and the requests that
// cannot be framed (values that do not fit their wire field).
#include <gtest/gtest.h>

#include <functional>

#include "SettingTestSupport.h"
#include "orvanerfid/commands/OutputCommands.h"
#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/commands/SledCommands.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

using test::requestData;

struct RequestRow {
    const char* what;
    std::function<Bytes()> build;
    Bytes data;
};

template <typename Command, typename Fill>
std::function<Bytes()> request(Fill fill) {
    return [fill] {
        Command command;
        fill(command);
        return requestData(command);
    };
}

template <typename Command>
std::function<Bytes()> request() {
    return [] { return requestData(Command()); };
}

TEST(SettingRequests, DataAreasOfTheFamilies) {
    const RequestRow rows[] = {
        {"region japan6Channels",
         request<OrvRfidCmd_SetRegion>(
             [](auto& c) { c.region = OrvRfidCmdRegion::japan6Channels; }),
         {0x08}},
        {"region default", request<OrvRfidCmd_SetRegion>(), {0xFF}},
        {"no frequencies", request<OrvRfidCmd_SetFixedFrequency>(), {0x00}},
        {"two frequencies",
         request<OrvRfidCmd_SetFixedFrequency>([](auto& c) {
             c.frequencies = {902750, 927250};
         }),
         {0x02, 0x00, 0x0D, 0xC6, 0x5E, 0x00, 0x0E, 0x26, 0x12}},
        {"lbt -70 dBm",
         request<OrvRfidCmd_SetLbtConfigure>([](auto& c) { c.rssiThsd = -7000; }),
         {0xE4, 0xA8}},
        {"tx random data zeros", request<OrvRfidCmd_TxRandomData>(), Bytes(11, 0x00)},
        {"gen2 algorithm",
         request<OrvRfidCmd_SetGen2Algorithm>(
             [](auto& c) { c.initQ = 4, c.minQ = 2, c.maxQ = 15, c.dualTarget = true; }),
         {0x01, 0x04, 0xF2, 0x01}},
        {"antenna settings",
         request<OrvRfidCmd_SetAntennaSettings>(
             [](auto& c) { c.antennaId = 1, c.dwell = 2000, c.power = 3000; }),
         {0x01, 0x07, 0xD0, 0x0B, 0xB8}},
        {"get antenna 3", [] { return requestData(OrvRfidCmd_GetAntennaSettings(3)); }, {0x03}},
        {"inventory format",
         request<OrvRfidCmd_SetInventoryDataWithCustomizedFormat>([](auto& c) {
             using F = OrvRfidCmdInventoryDataFormat;
             c.pids = {F::epc, F::rssi, F::timestamp};
         }),
         {0x00, 0x02, 0x08}},
        {"pa temperature 85.0",
         request<OrvRfidCmd_SetPaTemperatureProtection>([](auto& c) { c.temperature = 850; }),
         {0x03, 0x52}},
        {"indicator",
         request<OrvRfidCmd_SetIndicator>([](auto& c) {
             c.led = OrvRfidCmdLedIndicator::green, c.vibrator = OrvRfidCmdVibraorIndicator::on;
             c.beep = OrvRfidCmdBeepIndicator::twice;
         }),
         {0x2A}},
        {"scanner indicator",
         request<OrvRfidCmd_SetScannerIndicator>([](auto& c) {
             c.goodRead = OrvRfidCmdGoodReadIndicator::beeperVibrator;
             c.connection = OrvRfidCmdConnectionIndicator::beeperVibrator;
             c.setting = OrvRfidCmdSettingIndicator::beeperVibrator;
             c.error = OrvRfidCmdErrorIndicator::vibrator;
             c.powerOff = OrvRfidCmdPowerOffIndicator::beeperVibrator;
         }),
         {0x0C, 0xBF}},
        {"auto power off 300",
         request<OrvRfidCmd_SetAutoPowerOffSetting>([](auto& c) { c.autoPowerOff = 300; }),
         {0x01, 0x2C}},
        {"get trigger lower key",
         request<OrvRfidCmd_GetTriggerButtonStatus>(
             [](auto& c) { c.setKeyId(OrvRfidCmdKeyId::lowerKey); }),
         {0x01}},
        {"mfi abc",
         request<OrvRfidCmd_SetMfiSetting>([](auto& c) {
             c.setting = {0x61, 0x62, 0x63};
         }),
         {0x0B, 0x61, 0x62, 0x63, 0x00}},
        {"mfi empty", request<OrvRfidCmd_SetMfiSetting>(), {0x0B, 0x00}},
        {"battery items",
         request<OrvRfidCmd_BatteryStatusExtended>([](auto& c) {
             using T = OrvRfidCmdBatteryStatusExtendedType;
             c.types = {T::voltage, T::designCapacity, T::voltage};
         }),
         {0x40, 0x08, 0x00, 0x00}},
        {"find and replace",
         request<OrvRfidCmd_SetFindReplace>([](auto& c) { c.find = 0x2C, c.replace = 0x3B; }),
         {0x2C, 0x3B}},
        {"scanner data format",
         request<OrvRfidCmd_SetScannerDataWithCustomizedFormat>([](auto& c) {
             c.pids = {OrvRfidCmdScannerDataFormat::timestamp,
                       OrvRfidCmdScannerDataFormat::barcodeData};
         }),
         {0x02, 0x00}},
        {"scanner reset staging",
         request<OrvRfidCmd_ResetScannerDevice>(
             [](auto& c) { c.resetDevice = OrvRfidCmdScannerReset::stagingReset; }),
         {0x02}},
        {"connection mode default", request<OrvRfidCmd_SetConnectionMode>(), {0x01}},
        {"keyboard belgium",
         request<OrvRfidCmd_SetHidKeyboardLanguage>(
             [](auto& c) { c.keyboardLanguage = OrvRfidCmdHidKeyboardLanguage::belgium; }),
         {0x0D}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.build(), row.data) << row.what;
}

TEST(SettingRequests, WholeFramesOfTheRadioTests) {
    OrvRfidCmd_CwOn on;
    on.antennaId = 1, on.power = 0x0BB8, on.frequency = 0x0102;
    EXPECT_EQ(OrvaneRfidCommand::checkFormat(on.toBytes()), 15);
    EXPECT_EQ(requestData(on), (Bytes{0x01, 0x0B, 0xB8, 0x00, 0x00, 0x01, 0x02}));
    EXPECT_EQ(OrvRfidCmd_CwOff().toBytes(),
              (Bytes{0x02, 0x00, 0x04, 0x0F, 0x01, 0xFF, 0xEC, 0x03}));
}

TEST(SettingRequests, ValueObjectsBecomeSetCommands) {
    OrvRfidCmd_SetAntennaSettings antenna(OrvRfidCmd_AntennaSettings(1, 2000, 3000));
    EXPECT_EQ(antenna.id(), OrvRfidCmdId::setAntennaSettings);
    EXPECT_EQ(requestData(antenna), (Bytes{0x01, 0x07, 0xD0, 0x0B, 0xB8}));
    const auto read = test::received<OrvRfidCmd_GetGen2Algorithm>({0x00, 0x09, 0x4A, 0x01});
    OrvRfidCmd_SetGen2Algorithm algorithm(*read.gen2Algorithm());
    EXPECT_EQ(algorithm.id(), OrvRfidCmdId::setGen2Algorithm);
    EXPECT_EQ(requestData(algorithm), (Bytes{0x00, 0x09, 0x4A, 0x01}));
}

TEST(SettingRequests, ValuesThatDoNotFitTheirFieldAreRefused) {
    OrvRfidCmd_SetFixedFrequency frequencies;
    frequencies.frequencies.assign(255, 1);
    EXPECT_EQ(requestData(frequencies).size(), 1u + 4 * 255);
    frequencies.frequencies.push_back(1);
    OrvRfidCmd_SetGen2Algorithm maxQ;
    maxQ.maxQ = 0x1F;
    OrvRfidCmd_SetGen2Algorithm minQ;
    minQ.minQ = 16;
    for (OrvaneRfidCommand* command :
         std::initializer_list<OrvaneRfidCommand*>{&frequencies, &maxQ, &minQ}) {
        try {
            command->toBytes();
            ADD_FAILURE() << command->className() << " was framed";
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::outOfRange) << command->className();
        }
    }
}

}  // namespace
}  // namespace orvane
