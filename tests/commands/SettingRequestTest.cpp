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
        {"get region", request<OrvRfidCmd_GetRegion>(), {}},
        {"rf mode", request<OrvRfidCmd_SetRfMode>([](auto& c) { c.rfMode = 302; }), {0x01, 0x2E}},
        {"lbt on", request<OrvRfidCmd_SetLbt>([](auto& c) { c.enable = true; }), {0x01}},
        {"no frequencies", request<OrvRfidCmd_SetFixedFrequency>(), {0x00}},
        {"two frequencies",
         request<OrvRfidCmd_SetFixedFrequency>([](auto& c) {
             c.frequencies = {902750, 927250};
         }),
         {0x02, 0x00, 0x0D, 0xC6, 0x5E, 0x00, 0x0E, 0x26, 0x12}},
        {"tx on/off",
         request<OrvRfidCmd_SetTxOnOffTime>([](auto& c) {
             c.onTime = 400;
             c.offTime = 100;
         }),
         {0x01, 0x90, 0x00, 0x64}},
        {"lbt threshold -70 dBm",
         request<OrvRfidCmd_SetLbtConfigure>([](auto& c) { c.rssiThsd = -7000; }),
         {0xE4, 0xA8}},
        {"power saving default", request<OrvRfidCmd_SetPowerSavingMode>(), {0x00}},
        {"operation mode",
         request<OrvRfidCmd_SetRfidOperationMode>(
             [](auto& c) { c.operationMode = OrvRfidCmdRfidOperationMode::nonContinuous; }),
         {0x01}},
        {"cw on",
         request<OrvRfidCmd_CwOn>([](auto& c) {
             c.antennaId = 1;
             c.power = 0x0BB8;
             c.frequency = 0x0102;
         }),
         {0x01, 0x0B, 0xB8, 0x00, 0x00, 0x01, 0x02}},
        {"tx random data zeros", request<OrvRfidCmd_TxRandomData>(), Bytes(11, 0x00)},
        {"tx random data",
         request<OrvRfidCmd_TxRandomData>([](auto& c) {
             c.antennaId = 2;
             c.duration = 0x01020304;
         }),
         {0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04}},
        {"gen2 algorithm",
         request<OrvRfidCmd_SetGen2Algorithm>([](auto& c) {
             c.initQ = 4;
             c.minQ = 2;
             c.maxQ = 15;
             c.dualTarget = true;
         }),
         {0x01, 0x04, 0xF2, 0x01}},
        {"gen2 query group default", request<OrvRfidCmd_SetGen2QueryGroup>(), {0x01, 0x00, 0x00}},
        {"gen2 query group",
         request<OrvRfidCmd_SetGen2QueryGroup>([](auto& c) {
             c.selectMode = SelectMode::selected;
             c.session = Session::s2;
             c.target = Target::b;
         }),
         {0x03, 0x02, 0x01}},
        {"antenna settings",
         request<OrvRfidCmd_SetAntennaSettings>([](auto& c) {
             c.antennaId = 1;
             c.dwell = 2000;
             c.power = 3000;
         }),
         {0x01, 0x07, 0xD0, 0x0B, 0xB8}},
        {"get antenna settings default", request<OrvRfidCmd_GetAntennaSettings>(), {}},
        {"get antenna 3", [] { return requestData(OrvRfidCmd_GetAntennaSettings(3)); }, {0x03}},
        {"get antenna state",
         request<OrvRfidCmd_GetAntennaState>([](auto& c) { c.setAntennaId(2); }),
         {0x02}},
        {"set antenna state",
         request<OrvRfidCmd_SetAntennaState>([](auto& c) {
             c.antennaId = 2;
             c.antennaState = true;
         }),
         {0x02, 0x01}},
        {"gpio direction",
         request<OrvRfidCmd_SetGpioPinsConfiguration>([](auto& c) {
             c.pinNum = 3;
             c.pinDir = OrvRfidCmdGpioPinDirection::output;
         }),
         {0x03, 0x01}},
        {"storage ram only",
         request<OrvRfidCmd_SetConfigurationStorageMode>(
             [](auto& c) { c.stMode = OrvRfidCmdConfigurationStorageMode::ramOnly; }),
         {0x01}},
        {"pa temperature 85.0",
         request<OrvRfidCmd_SetPaTemperatureProtection>([](auto& c) { c.temperature = 850; }),
         {0x03, 0x52}},
        {"baud rate",
         request<OrvRfidCmd_SetUartDefaultBaudRate>([](auto& c) { c.baudRate = 115200; }),
         {0x00, 0x01, 0xC2, 0x00}},
        {"indicator",
         request<OrvRfidCmd_SetIndicator>([](auto& c) {
             c.led = OrvRfidCmdLedIndicator::green;
             c.vibrator = OrvRfidCmdVibraorIndicator::on;
             c.beep = OrvRfidCmdBeepIndicator::twice;
         }),
         {0x2A}},
        {"scanner indicator all",
         request<OrvRfidCmd_SetScannerIndicator>([](auto& c) {
             c.goodRead = OrvRfidCmdGoodReadIndicator::beeperVibrator;
             c.connection = OrvRfidCmdConnectionIndicator::beeperVibrator;
             c.setting = OrvRfidCmdSettingIndicator::beeperVibrator;
             c.error = OrvRfidCmdErrorIndicator::beeperVibrator;
             c.powerOn = OrvRfidCmdPowerOnIndicator::beeperVibrator;
             c.powerOff = OrvRfidCmdPowerOffIndicator::beeperVibrator;
         }),
         {0x0F, 0xFF}},
        {"scanner indicator mixed",
         request<OrvRfidCmd_SetScannerIndicator>([](auto& c) {
             c.connection = OrvRfidCmdConnectionIndicator::beeper;
             c.error = OrvRfidCmdErrorIndicator::vibrator;
             c.powerOff = OrvRfidCmdPowerOffIndicator::vibrator;
         }),
         {0x08, 0x84}},
        {"auto power off 300",
         request<OrvRfidCmd_SetAutoPowerOffSetting>([](auto& c) { c.autoPowerOff = 300; }),
         {0x01, 0x2C}},
        {"beeper default", request<OrvRfidCmd_SetBeeperVolume>(), {0x02}},
        {"vibrator spare",
         request<OvrRfidCmd_SetVibratorSetting>([](auto& c) { c.enable = true; }),
         {0x01}},
        {"trigger key function",
         request<OrvRfidCmd_SetTriggerButtonStatus>([](auto& c) {
             c.keyId = OrvRfidCmdKeyId::lowerKey;
             c.keyFunction = OrvRfidCmdKeyFunction::rfid;
         }),
         {0x01, 0x02}},
        {"get trigger default", request<OrvRfidCmd_GetTriggerButtonStatus>(), {}},
        {"get trigger lower key",
         request<OrvRfidCmd_GetTriggerButtonStatus>(
             [](auto& c) { c.setKeyId(OrvRfidCmdKeyId::lowerKey); }),
         {0x01}},
        {"get mfi",
         request<OrvRfidCmd_GetMfiSetting>(
             [](auto& c) { c.setMfiId(OrvRfidCmdMfiId::appBundleId); }),
         {0x0B}},
        {"mfi abc",
         request<OrvRfidCmd_SetMfiSetting>([](auto& c) {
             c.setting = {0x61, 0x62, 0x63};
         }),
         {0x0B, 0x61, 0x62, 0x63, 0x00}},
        {"mfi empty", request<OrvRfidCmd_SetMfiSetting>(), {0x0B, 0x00}},
        {"battery voltage and design capacity",
         request<OrvRfidCmd_BatteryStatusExtended>([](auto& c) {
             c.types = {OrvRfidCmdBatteryStatusExtendedType::voltage,
                        OrvRfidCmdBatteryStatusExtendedType::designCapacity,
                        OrvRfidCmdBatteryStatusExtendedType::voltage};
         }),
         {0x40, 0x08, 0x00, 0x00}},
        {"battery nothing", request<OrvRfidCmd_BatteryStatusExtended>(), {0x00, 0x00, 0x00, 0x00}},
        {"multiple setting",
         request<OrvRfidCmd_MultipleSetting>([](auto& c) {
             c.setSetting({0x01, 0x02});
         }),
         {0x01, 0x02}},
        {"find and replace",
         request<OrvRfidCmd_SetFindReplace>([](auto& c) {
             c.find = 0x2C;
             c.replace = 0x3B;
         }),
         {0x2C, 0x3B}},
        {"scanner data format",
         request<OrvRfidCmd_SetScannerDataWithCustomizedFormat>([](auto& c) {
             c.pids = {OrvRfidCmdScannerDataFormat::timestamp,
                       OrvRfidCmdScannerDataFormat::barcodeData};
         }),
         {0x02, 0x00}},
        {"scanner data format empty", request<OrvRfidCmd_SetScannerDataWithCustomizedFormat>(), {}},
        {"scanner reset staging",
         request<OrvRfidCmd_ResetScannerDevice>(
             [](auto& c) { c.resetDevice = OrvRfidCmdScannerReset::stagingReset; }),
         {0x02}},
        {"scanner reset default", request<OrvRfidCmd_ResetScannerDevice>(), {0x01}},
        {"send mode",
         request<OrvRfidCmd_SetScannerDataSendMode>(
             [](auto& c) { c.dataSendMode = OrvRfidCmdDataSendMode::withCodeId; }),
         {0x01}},
        {"preamble",
         request<OrvRfidCmd_SetPreambleString>([](auto& c) { c.preamble = {0x3E}; }),
         {0x3E}},
        {"engine packet",
         request<OrvRfidCmd_ScannerEngineParameter>([](auto& c) {
             c.setEngineData({0x04, 0xC8, 0x04, 0x00, 0xFF, 0x30});
         }),
         {0x04, 0xC8, 0x04, 0x00, 0xFF, 0x30}},
        {"terminator crlf",
         request<OrvRfidCmd_SetDataTerminatorSetting>(
             [](auto& c) { c.dataTerminator = OrvRfidCmdDataTerminator::crlf; }),
         {0x03}},
        {"connection mode default", request<OrvRfidCmd_SetConnectionMode>(), {0x01}},
        {"keyboard belgium",
         request<OrvRfidCmd_SetHidKeyboardLanguage>(
             [](auto& c) { c.keyboardLanguage = OrvRfidCmdHidKeyboardLanguage::belgium; }),
         {0x0D}},
        {"inter-character delay default", request<OrvRfidCmd_SetHidInterCharacterDelay>(), {0x00}},
        {"hid encoding default", request<OrvRfidCmd_SetHidEncoding>(), {0x01}},
        {"data ack spare",
         request<OrvRfidCmd_SetDataAckSetting>(
             [](auto& c) { c.dataAck = OrvRfidCmdDataAck::withoutRetry; }),
         {0x02}},
        {"auto connection on",
         request<OrvRfidCmd_SetAutoConnection>([](auto& c) { c.autoConnection = true; }),
         {0x01}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.build(), row.data) << row.what;
}

TEST(SettingRequests, WholeFramesOfTheRadioTests) {
    OrvRfidCmd_CwOn on;
    on.antennaId = 1;
    on.power = 0x0BB8;
    on.frequency = 0x0102;
    const Bytes frame = on.toBytes();
    ASSERT_EQ(frame.size(), 15u);
    EXPECT_EQ(readBe16(frame, 1), 0x000B);
    EXPECT_EQ(readBe16(frame, 3), 0x0F00);
    EXPECT_EQ(OrvaneRfidCommand::checkFormat(frame), 15);
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
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"256 frequencies",
         [] {
             OrvRfidCmd_SetFixedFrequency c;
             c.frequencies.assign(256, 902750);
             c.toBytes();
         }},
        {"maxQ 0x1F",
         [] {
             OrvRfidCmd_SetGen2Algorithm c;
             c.maxQ = 0x1F;
             c.toBytes();
         }},
        {"minQ 16",
         [] {
             OrvRfidCmd_SetGen2Algorithm c;
             c.minQ = 16;
             c.toBytes();
         }},
    };
    for (const auto& [what, build] : cases) {
        try {
            build();
            ADD_FAILURE() << what << " was framed";
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::outOfRange) << what;
        }
    }
    OrvRfidCmd_SetFixedFrequency most;
    most.frequencies.assign(255, 1);
    const Bytes data = requestData(most);
    EXPECT_EQ(data.size(), 1u + 4 * 255);
    EXPECT_EQ(data[0], 0xFF);
}

}  // namespace
}  // namespace orvane
