#include "orvanerfid/devices/Vk210MultiSetting.h"

#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "Vk210Frames.h"
#include "commands/Vk210FrameSupport.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/devices/Vk210Device.h"

namespace orvane {
namespace {

using Cmd = OrvRfidCmdId;
using Id = DeviceParamId;
using test::expectCode;
using test::joinFrames;
using test::vk210Reply;
using test::vk210Request;

class Vk210MultiSettingTest : public vk210test::CapturedLogTest {};

TEST_F(Vk210MultiSettingTest, ReadRequests) {
    using T = BatteryStatusExtendedType;
    EXPECT_EQ(vk210::getBytePackage(DeviceParam(
                  Id::triggerKeyStatus, TriggerKeyStatus(KeyID::upperKey, KeyFunction::disabled))),
              vk210Request(Cmd::getTriggerButtonStatus, {0x00}));
    EXPECT_EQ(vk210::getBytePackage(DeviceParam(
                  Id::triggerKeyStatus, TriggerKeyStatus(KeyID::lowerKey, KeyFunction::disabled))),
              vk210Request(Cmd::getTriggerButtonStatus, {0x01}));
    EXPECT_EQ(vk210::getBytePackage(DeviceParam(Id::appBundleId)),
              vk210Request(Cmd::getMfiSetting, {0x0B}));
    EXPECT_EQ(vk210::getBytePackage(
                  DeviceParam(Id::batteryStatusExtended,
                              BatteryStatusExtended({T::chargingStatus, T::designCapacity}))),
              vk210Request(Cmd::batteryStatusExtended, {0x80, 0x08, 0x00, 0x00}));
    EXPECT_EQ(vk210::getBytePackage(DeviceParam(Id::temperature)),
              vk210Request(Cmd::paTemperature));
    EXPECT_EQ(vk210::getBytePackage(DeviceParam(Id::batteryStatus)),
              vk210Request(Cmd::batteryStatus));
    EXPECT_TRUE(vk210::getBytePackage(DeviceParam(Id::reboot)).empty());
    EXPECT_EQ(log->count("getBytePackage(_:) The deviceParam id Reboot is not supported.",
                         LogLevel::warn),
              1);
}

TEST_F(Vk210MultiSettingTest, WriteRequestsUseTheSingleOperationsRules) {
    EXPECT_EQ(vk210::setBytePackage(DeviceParam(Id::reboot)),
              vk210Request(Cmd::resetDevice, {0x00}));
    EXPECT_EQ(vk210::setBytePackage(DeviceParam(Id::factoryReset)),
              vk210Request(Cmd::resetDevice, {0x01}));
    EXPECT_EQ(vk210::setBytePackage(DeviceParam(Id::stagingReset)),
              vk210Request(Cmd::executeResetDevice, {0x02}));
    EXPECT_EQ(
        vk210::setBytePackage(DeviceParam(
            Id::eventNotification, EventNotification(EventNotificationId::rfidLbtStatus, true))),
        vk210Request(Cmd::eventNotificationSetting, {0xE1, 0x01}));
    // The scanner indicator's default packs as the single operation does, 00 55.
    const auto params = Vk210Device::makeSupportedParameters();
    const auto indicator = std::ranges::find_if(
        params, [](const DeviceParam& p) { return p.id() == Id::scannerIndicator; });
    ASSERT_NE(indicator, params.end());
    EXPECT_EQ(vk210::setBytePackage(*indicator),
              vk210Request(Cmd::setScannerIndicator, {0x00, 0x55}));
    // Protection thresholds travel in tenths of a degree on both paths.
    EXPECT_EQ(vk210::setBytePackage(DeviceParam(Id::paTemperatureProtection, 80u)),
              vk210Request(Cmd::setPaTemperatureProtection, {0x03, 0x20}));

    EXPECT_TRUE(vk210::setBytePackage(DeviceParam(Id::batteryStatus)).empty());
    EXPECT_EQ(log->count("setBytePackage(_:) The deviceParam id batteryStatus is not supported.",
                         LogLevel::warn),
              1);
    ScannerIndicator powerOn;
    powerOn.setPowerOn(PowerOnIndicator::beeper);
    // Values the single operation refuses are refused here too.
    const std::vector<std::pair<DeviceParam, ResultCode>> refused = {
        {DeviceParam(Id::connectionMode, ConnectionMode::usbHid), ResultCode::notSupported},
        {DeviceParam(Id::deviceIndicator,
                     DeviceIndicator(LedIndicator::blue, false, BeepIndicator::off)),
         ResultCode::notSupported},
        {DeviceParam(Id::scannerIndicator, powerOn), ResultCode::notSupported},
        {DeviceParam(Id::ambientTemperatureProtection, 86u), ResultCode::outOfRange},
    };
    for (const auto& [param, code] : refused)
        expectCode(code, [&] { vk210::setBytePackage(param); });
}

TEST_F(Vk210MultiSettingTest, RepliesAnswerTheIdsAsked) {
    const Bytes pair = joinFrames({vk210Reply(Cmd::ambientTemperature, {0x00, 0xFA}),
                                   vk210Reply(Cmd::getBeeperVolume, {0x01})});
    auto records =
        vk210::responseDataToDeviceParam(pair, {Id::ambientTemperature, Id::beeperVolume});
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].id(), Id::ambientTemperature);
    EXPECT_EQ(records[0]._value(), "25.0");
    EXPECT_EQ(records[1].id(), Id::beeperVolume);
    EXPECT_EQ(records[1]._value(), "01");

    // Temperature and PA temperature share a request; each reply answers the id asked.
    const Bytes pa = vk210Reply(Cmd::paTemperature, {0x01, 0x2C});
    records = vk210::responseDataToDeviceParam(pa, {Id::temperature});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].id(), Id::temperature);
    records = vk210::responseDataToDeviceParam(joinFrames({pa, pa}),
                                               {Id::temperature, Id::paTemperature});
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].id(), Id::temperature);
    EXPECT_EQ(records[1].id(), Id::paTemperature);
    EXPECT_EQ(vk210::responseDataToDeviceParam(pa, {})[0].id(), Id::paTemperature);

    // The battery state decodes with the single operation's rule.
    records = vk210::responseDataToDeviceParam(vk210Reply(Cmd::batteryStatus, {0x01, 0x50}),
                                               {Id::batteryStatus});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]._value(), "00500101");

    // A short date, a failed status and a reply without a decoding give no record.
    const Bytes skipped = joinFrames(
        {vk210Reply(Cmd::getSystemTime, {0x18, 0x03, 0x05, 0x0E, 0x07}),
         vk210Reply(Cmd::getBeeperVolume, {}, 0x02), vk210Reply(Cmd::getVibratorSetting, {0x01})});
    EXPECT_TRUE(vk210::responseDataToDeviceParam(skipped, {Id::systemTime}).empty());
    EXPECT_EQ(log->count("responseDataToDeviceParam(_:_:) Result Code: Invalid Response Data, "
                         "Message: Invalid data length",
                         LogLevel::error),
              1);
    EXPECT_EQ(log->count("responseDataToDeviceParam(_:_:) The command id getVibratorSetting is "
                         "not supported.",
                         LogLevel::warn),
              1);

    // A protection threshold reads as the reader holds it, above 85 degrees with a WARN line.
    log->clear();
    records = vk210::responseDataToDeviceParam(
        joinFrames({vk210Reply(Cmd::getAmbientTemperatureProtection, {0x03, 0x52}),
                    vk210Reply(Cmd::getPaTemperatureProtection, {0x03, 0x84})}),
        {Id::ambientTemperatureProtection, Id::paTemperatureProtection});
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(std::get<unsigned>(*records[0].getValue()), 85u);
    EXPECT_EQ(std::get<unsigned>(*records[1].getValue()), 90u);
    EXPECT_EQ(log->count("The temperature protection 900 tenths is above 85", LogLevel::warn), 1);
    EXPECT_EQ(log->count("The temperature protection", LogLevel::warn), 1);

    records = vk210::responseDataToDeviceParam({}, {Id::autoOffTimeList});
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::get<std::vector<unsigned>>(*records[0].getValue()).size(), 481u);
}

TEST_F(Vk210MultiSettingTest, VerifyStopsAtTheFirstFailure) {
    vk210::verifySetResult({});
    vk210::verifySetResult(
        joinFrames({vk210Reply(Cmd::setBeeperVolume, {}), vk210Reply(Cmd::setLedSetting, {})}));
    const std::string message = expectCode(ResultCode::parameterError, [] {
        vk210::verifySetResult(joinFrames({vk210Reply(Cmd::setBeeperVolume, {}),
                                           vk210Reply(Cmd::setLedSetting, {}, 0x02),
                                           vk210Reply(Cmd::setGs1AiSetting, {}, 0x01)}));
    });
    EXPECT_EQ(message.rfind("verifySetResult(_:) - The return code is not noError.", 0), 0u);
}

TEST_F(Vk210MultiSettingTest, DeviceReadsAndWritesManyInOneExchange) {
    auto transport = std::make_shared<test::FirmwareTransport>();
    auto protocol = std::make_shared<test::RecordingProtocol>(transport);
    auto device = Vk210Device::create(protocol);
    protocol->reply(joinFrames({vk210Reply(Cmd::getTriggerButtonStatus, {0x01, 0x02}),
                                vk210Reply(Cmd::getTriggerButtonStatus, {0x00, 0x01}),
                                vk210Reply(Cmd::getBeeperVolume, {0x03})}));
    const auto records = device->getParameters(std::vector{Id::triggerKeyStatus, Id::beeperVolume});
    ASSERT_EQ(protocol->sent().size(), 1u);
    EXPECT_EQ(protocol->sent()[0].number, 3);
    EXPECT_EQ(protocol->sent()[0].data,
              joinFrames({vk210Request(Cmd::getTriggerButtonStatus, {0x01}),
                          vk210Request(Cmd::getTriggerButtonStatus, {0x00}),
                          vk210Request(Cmd::getBeeperVolume)}));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0]._value(), "0302");
    EXPECT_EQ(records[1]._value(), "0201");
    EXPECT_EQ(records[2]._value(), "03");

    // A refused value is skipped; the others still go.
    protocol->clear();
    protocol->reply(vk210Reply(Cmd::setBeeperVolume, {}));
    device->setParameters({DeviceParam(Id::connectionMode, ConnectionMode::usbHid),
                           DeviceParam(Id::beeperVolume, BeeperVolume::low)});
    ASSERT_EQ(protocol->sent().size(), 1u);
    EXPECT_EQ(protocol->sent()[0].data, vk210Request(Cmd::setBeeperVolume, {0x01}));
    EXPECT_EQ(protocol->sent()[0].number, 1);
    EXPECT_EQ(
        log->count("setBytePackage(_:) Connection Mode Result Code: Not Supported", LogLevel::warn),
        1);
}

}  // namespace
}  // namespace orvane
