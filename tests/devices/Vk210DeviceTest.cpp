#include "orvanerfid/devices/Vk210Device.h"

#include <gtest/gtest.h>

#include <functional>

#include "DeviceTestSupport.h"
#include "Vk210Frames.h"
#include "commands/Vk210FrameSupport.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"

namespace orvane {
namespace {

using Cmd = OrvRfidCmdId;
using Id = DeviceParamId;
using test::asBytes;
using test::expectCode;
using test::joinFrames;
using test::vk210Reply;
using test::vk210Request;

class Vk210DeviceTest : public vk210test::CapturedLogTest {
  protected:
    std::shared_ptr<test::FirmwareTransport> transport =
        std::make_shared<test::FirmwareTransport>();
    std::shared_ptr<test::RecordingProtocol> protocol =
        std::make_shared<test::RecordingProtocol>(transport);
    std::shared_ptr<Vk210Device> device = Vk210Device::create(protocol);

    // Answers every request with a success reply of its own code, holding `data`.
    void answerAll(Bytes data = {}) {
        protocol->responder = [data](const test::Sent& s) {
            return Response(ResultCode::noError, vk210Reply(Cmd{readBe16(s.data, 3)}, data));
        };
    }
    void noEngine() {
        protocol->reply(vk210Reply(Cmd::eventNotificationSetting, {}));
        protocol->reply(vk210Reply(Cmd::eventNotificationSetting, {}));
        protocol->reply(vk210Reply(Cmd::engineModel, {}, 0xE1));
        device->initDevice();
        protocol->clear();
    }
    std::vector<Bytes> sentBytes() const {
        std::vector<Bytes> out;
        for (const auto& s : protocol->sent())
            out.push_back(s.data);
        return out;
    }
};

TEST_F(Vk210DeviceTest, SupportedSettingsAndDefaults) {
    const auto params = Vk210Device::makeSupportedParameters();
    ASSERT_EQ(params.size(), 48u);
    EXPECT_EQ(device->_supportedIds().size(), 48u);
    for (std::size_t i = 1; i < params.size(); ++i)
        EXPECT_LT(rawValue(params[i - 1].id()), rawValue(params[i].id()));
    for (Id missing : {Id::vibrator, Id::autoConnection, Id::dataSendingInterBlockDelay,
                       Id::inventoryIndicator, Id::hidCharacterDelay})
        EXPECT_FALSE(device->isSupported(missing)) << description(missing);
    const std::map<Id, std::string> defaults = {
        {Id::beeperVolume, "01"},
        {Id::autoOffTime, "0001"},
        {Id::findReplace, "FFFF"},
        {Id::scannerIndicator, "0055"},
        {Id::connectionMode, "01"},
        {Id::paTemperatureProtection, "0050"},
        {Id::temperatureProtectionMode, "01"},
        {Id::controlCharacterFilter, "01"},
    };
    for (const auto& p : params) {
        EXPECT_EQ(p._minVersion(), 0u);
        EXPECT_EQ(p._maxVersion(), 0xFFFFFFFFu);
        if (const auto it = defaults.find(p.id()); it != defaults.end()) {
            EXPECT_EQ(p._value(), it->second) << description(p.id());
            EXPECT_EQ(p._default(), it->second) << description(p.id());
        }
    }
    EXPECT_EQ(device->deviceType(), DeviceType::vk210);
    EXPECT_EQ(device->supportedTriggerKeys(),
              (std::vector<KeyID>{KeyID::lowerKey, KeyID::upperKey}));
    const auto list = device->getAutoOffTimeList();
    EXPECT_EQ(list.size(), 481u);
    EXPECT_EQ(list.back(), 480u);
    EXPECT_TRUE(protocol->sent().empty());
}

DeviceParam withText(Id id, std::string text) {
    DeviceParam param(id);
    param.set_value(std::move(text));
    return param;
}

// A read by id: the request the device sends, the reply data, the value read (device text).
struct ReadCase {
    Id id;
    Cmd command;
    Bytes request;
    Bytes reply;
    std::string value;
};

TEST_F(Vk210DeviceTest, ReadsDecodeTheirReplies) {
    // clang-format off
    const std::vector<ReadCase> cases = {
        {Id::beeperVolume, Cmd::getBeeperVolume, {}, {0x03}, "03"},
        {Id::beeperVolume, Cmd::getBeeperVolume, {}, {}, "02"},
        {Id::beeperVolume, Cmd::getBeeperVolume, {}, {0x07}, "02"},
        {Id::temperature, Cmd::paTemperature, {}, {0x00, 0xFD}, "25.3"},
        {Id::paTemperature, Cmd::paTemperature, {}, {0x00, 0xFD, 0x01}, "0.0"},
        {Id::ambientTemperature, Cmd::ambientTemperature, {}, {0x01, 0x6D}, "36.5"},
        {Id::firmwareVersion, Cmd::firmware, {}, {1, 2, 10}, "312E322E3130"},
        {Id::bluetoothName, Cmd::btName, {}, {0xC3}, toHexString(asBytes("error when encode to ascii"))},
        {Id::appBundleId, Cmd::getMfiSetting, {0x0B}, {0x0B, 0x61, 0x62, 0x00}, "6162"},
        {Id::appBundleId, Cmd::getMfiSetting, {0x0B}, {0x0B}, ""},
        {Id::hidInterCharacterDelay, Cmd::getHidInterCharacterDelay, {}, {9}, "02"},
        {Id::hidInterCharacterDelay, Cmd::getHidInterCharacterDelay, {}, {}, "00"},
        {Id::findReplace, Cmd::getFindReplace, {}, {0x41}, "4100"},
        {Id::scannerIndicator, Cmd::getScannerIndicator, {}, {0x00, 0x55}, "0055"},
        {Id::scannerIndicator, Cmd::getScannerIndicator, {}, {0x0F}, "0F00"},
        {Id::rfidModuleSkuType, Cmd::rfidModuleSkuId, {}, {0x04}, "03"},
        {Id::connectionMode, Cmd::getConnectionMode, {}, {6}, "01"},
        {Id::connectionMode, Cmd::getConnectionMode, {}, {3}, "03"},
        {Id::gs1Ai, Cmd::getGs1AiSetting, {}, {3}, "00"},
        {Id::deviceType, Cmd::modelName, {}, asBytes("vk210"), toHexString(asBytes("VK210"))},
        {Id::rfidModuleModel, Cmd::rfidModuleModel, {}, asBytes("QM5520"), toHexString(asBytes("QM5520"))},
        {Id::temperatureProtectionMode, Cmd::getTemperatureProtectionMode, {}, {2}, "00"},
        {Id::autoOffTime, Cmd::getAutoPowerOffSetting, {}, {0x01, 0x2C}, "012C"},
        {Id::autoOffTime, Cmd::getAutoPowerOffSetting, {}, {0x01}, "0000"},
        {Id::inventoryDataWithCustomizedFormat, Cmd::getInventoryDataWithCustomizedFormat, {}, {0, 2, 9}, "0002"},
        {Id::dataCollectionMode, Cmd::getDataCollectionMode, {}, {4}, "00"},
        {Id::hidKeyboardLanguage, Cmd::getHidKeyboardLanguage, {}, {14}, "00"},
        {Id::batteryStatus, Cmd::batteryStatus, {}, {0x01, 0x50}, "00500101"},
        {Id::batteryStatus, Cmd::batteryStatus, {}, {0x07}, "02FF"},
        {Id::systemTime, Cmd::getSystemTime, {}, {0x18, 0x03, 0x05, 0x0E, 0x07, 0x09}, "1803050E0709"},
    };
    // clang-format on
    for (const auto& c : cases) {
        protocol->clear();
        protocol->reply(vk210Reply(c.command, c.reply));
        EXPECT_EQ(device->getParameter(c.id)._value(), c.value) << toHexString(c.reply);
        ASSERT_EQ(protocol->sent().size(), 1u);
        EXPECT_EQ(protocol->sent()[0].data, vk210Request(c.command, c.request));
        EXPECT_EQ(protocol->sent()[0].timeout, 3000);
    }
    // The extended battery request carries three bytes of item flags.
    protocol->reply(
        vk210Reply(Cmd::batteryStatusExtended, {0x40, 0x40, 0, 0, 0, 0, 0x0F, 0xA0, 0, 0, 0, 7}));
    const auto battery = device->getBatteryStatusExtended(
        {BatteryStatusExtendedType::voltage, BatteryStatusExtendedType::cycleCount});
    EXPECT_EQ(battery.voltage(), 4000u);
    EXPECT_EQ(battery.cycleCount(), 7u);
    EXPECT_EQ(protocol->sent().back().data,
              vk210Request(Cmd::batteryStatusExtended, {0x40, 0x40, 0x00}));
}

// A write by id: the value as device text and the request frame the device sends.
struct WriteCase {
    Id id;
    std::string value;
    Cmd command;
    Bytes data;
};

TEST_F(Vk210DeviceTest, WritesSendTheirRequests) {
    // clang-format off
    const std::vector<WriteCase> cases = {
        {Id::beeperVolume, "03", Cmd::setBeeperVolume, {0x03}},
        {Id::paTemperatureProtection, "0055", Cmd::setPaTemperatureProtection, {0x03, 0x52}},
        {Id::connectionMode, "03", Cmd::setConnectionMode, {0x03}},
        {Id::hidKeyboardLanguage, "04", Cmd::setHidKeyboardLanguage, {0x04}},
        {Id::stagingReset, "", Cmd::executeResetDevice, {0x02}},
        {Id::factoryReset, "", Cmd::resetDevice, {0x01}},
        {Id::reboot, "", Cmd::resetDevice, {0x00}},
        {Id::appBundleId, "6162", Cmd::setMfiSetting, {0x0B, 0x61, 0x62, 0x00}},
        {Id::deviceIndicator, "12", Cmd::indicator, {0x12}},
        {Id::scannerIndicator, "0055", Cmd::setScannerIndicator, {0x00, 0x55}},
        {Id::triggerKeyStatus, "0302", Cmd::setTriggerButtonStatus, {0x01, 0x02}},
        {Id::eventNotification, "E401", Cmd::eventNotificationSetting, {0xE4, 0x01}},
        {Id::scannerDataWithCustomizedFormat, "0100", Cmd::setScannerDataWithCustomizedFormat, {0x01, 0x00}},
        {Id::autoOffTime, "012C", Cmd::setAutoPowerOffSetting, {0x01, 0x2C}},
        {Id::ledControl, "00", Cmd::setLedSetting, {0x00}},
        {Id::startDecode, "", Cmd::startDecode, {}},
        {Id::unpairBluetooth, "", Cmd::btUnpair, {}},
    };
    // clang-format on
    answerAll();
    for (const auto& c : cases) {
        protocol->clear();
        device->setParameter(withText(c.id, c.value));
        ASSERT_EQ(protocol->sent().size(), 1u) << description(c.id);
        EXPECT_EQ(protocol->sent()[0].data, vk210Request(c.command, c.data)) << description(c.id);
    }
}

struct RefusalCase {
    std::function<void(Vk210Device&)> call;
    ResultCode code;
    std::string message;
};

TEST_F(Vk210DeviceTest, ChecksRefuseBeforeAnyTraffic) {
    using S = ScannerIndicator;
    const auto scanner = [](auto set) {
        return [set](Vk210Device& d) {
            S s;
            set(s);
            d.setScannerIndicator(s);
        };
    };
    const std::string vk210 = " is not supported for VK210.";
    // clang-format off
    const std::vector<RefusalCase> cases = {
        {[](auto& d) { d.setPaTemperatureProtection(86); }, ResultCode::outOfRange, "The temperature must be between 0 and 85 degrees Celsius."},
        {[](auto& d) { d.setConnectionMode(ConnectionMode::usbHid); }, ResultCode::notSupported, "The USB HID (Human Interface Device)" + vk210},
        {[](auto& d) { d.setConnectionMode(ConnectionMode::bufferMode); }, ResultCode::notSupported, "The Buffer Mode" + vk210},
        {[](auto& d) { d.setHidKeyboardLanguage(HidKeyboardLanguage::swedish); }, ResultCode::notSupported, "The Swedish" + vk210},
        {[](auto& d) { d.setKeyFunction(TriggerKeyStatus(KeyID::triggerKey, KeyFunction::disabled)); }, ResultCode::notSupported, "The Trigger Key" + vk210},
        {[](auto& d) { d.getKeyFunction(KeyID::undefined); }, ResultCode::notSupported, "The Undefined" + vk210},
        {[](auto& d) { d.setDeviceIndicator(DeviceIndicator(LedIndicator::blue, true, BeepIndicator::off)); }, ResultCode::notSupported, "The vibrator" + vk210},
        {[](auto& d) { d.setDeviceIndicator(DeviceIndicator(LedIndicator::blue, false, BeepIndicator::off)); }, ResultCode::notSupported, "The blue led" + vk210},
        {scanner([](S& s) { s.setPowerOn(PowerOnIndicator::beeper); }), ResultCode::notSupported, "The power on only support none for VK210."},
        {scanner([](S& s) { s.setGoodRead(GoodReadIndicator::vibrator); s.setPowerOn(PowerOnIndicator::beeper); }), ResultCode::notSupported, "The good read only support none or beeper for VK210."},
        {scanner([](S& s) { s.setError(ErrorIndicator::beeperVibrator); }), ResultCode::notSupported, "The error only support none or beeper for VK210."},
        {scanner([](S& s) { s.setPowerOff(PowerOffIndicator::vibrator); }), ResultCode::notSupported, "The power off only support none for VK210."},
        {scanner([](S& s) { s.setConnection(ConnectionIndicator{0x05}); }), ResultCode::outOfRange, ""},
        {[](auto& d) { d.setAutoOffTime(70000); }, ResultCode::outOfRange, "The auto off time must fit 16 bits."},
        {[](auto& d) { d.setGs1Ai(Gs1Ai{3}); }, ResultCode::outOfRange, ""},
        {[](auto& d) { d.getBatteryStatusExtended({BatteryStatusExtendedType{1}}); }, ResultCode::outOfRange, ""},
        {[](auto& d) { d.setEventNotification(EventNotification(EventNotificationId{0xE7}, true)); }, ResultCode::notSupported, ""},
        {[](auto& d) { d.getModuleInfo(0); }, ResultCode::notSupported, ""},
    };
    // clang-format on
    answerAll();
    for (const auto& c : cases) {
        const std::string message = expectCode(c.code, [&] { c.call(*device); });
        if (!c.message.empty()) {
            EXPECT_EQ(message, c.message);
        }
    }
    EXPECT_TRUE(protocol->sent().empty());
}

TEST_F(Vk210DeviceTest, StartUpFindsTheEngineOrItsAbsence) {
    answerAll();
    device->initDevice();
    EXPECT_EQ(sentBytes(),
              (std::vector<Bytes>{vk210Request(Cmd::eventNotificationSetting, {0xE5, 0x01}),
                                  vk210Request(Cmd::eventNotificationSetting, {0xE4, 0x01}),
                                  vk210Request(Cmd::engineModel),
                                  vk210Request(Cmd::setScannerDataSendMode, {0x01})}));
    EXPECT_TRUE(device->hasEngine());

    // Busy still means an engine; "target not found" means none, and ends the start-up.
    protocol->clear();
    protocol->responder = nullptr;
    for (uint8_t status : {0x01, 0xE1}) {
        protocol->clear();
        protocol->reply(vk210Reply(Cmd::eventNotificationSetting, {}));
        protocol->reply(vk210Reply(Cmd::eventNotificationSetting, {}));
        protocol->reply(vk210Reply(Cmd::engineModel, {}, status));
        if (status == 0x01) protocol->reply(vk210Reply(Cmd::setScannerDataSendMode, {}));
        device->initDevice();
        EXPECT_EQ(device->hasEngine(), status == 0x01);
        EXPECT_EQ(protocol->sent().size(), status == 0x01 ? 4u : 3u);
    }
    const std::string message =
        expectCode(ResultCode::notSupported, [&] { device->getModuleInfo(1); });
    EXPECT_EQ(message, "The scan engine is not available.");

    // A timeout on the first request ends it there.
    protocol->clear();
    expectCode(ResultCode::timeout, [&] { device->initDevice(); });
    EXPECT_EQ(protocol->sent().size(), 1u);
}

TEST_F(Vk210DeviceTest, EngineCheckGuardsOnlyTheEngineSettings) {
    noEngine();
    for (auto call : std::vector<std::function<void()>>{
             [&] { device->getEngineVersion(); }, [&] { device->setFindReplace(FindReplace()); },
             [&] { device->startDecode(); }, [&] { device->getControlCharacterFilter(); },
             [&] { device->setEngineReadyEvent(); }}) {
        EXPECT_EQ(expectCode(ResultCode::notSupported, call), "The scan engine is not available.");
    }
    EXPECT_TRUE(protocol->sent().empty());
    answerAll();
    device->getDataCollectionMode();
    device->getScannerIndicator();
    device->stagingReset();
    EXPECT_EQ(protocol->sent().size(), 3u);
}

TEST_F(Vk210DeviceTest, KeepAliveIsTwoFramesWithin800Ms) {
    answerAll();
    device->triggerAlive();
    ASSERT_EQ(protocol->sent().size(), 1u);
    const auto alive = protocol->sent()[0];
    Bytes frames = vk210Request(Cmd::paTemperature);
    const Bytes battery = vk210Request(Cmd::batteryStatus);
    frames.insert(frames.end(), battery.begin(), battery.end());
    EXPECT_EQ(alive.kind, "sendN");
    EXPECT_EQ(alive.data, frames);
    EXPECT_EQ(alive.timeout, 800);
    EXPECT_EQ(alive.number, 2);
    protocol->responder = nullptr;
    expectCode(ResultCode::timeout, [&] { device->triggerAlive(); });
}

TEST_F(Vk210DeviceTest, SkuFallsBackToTheRegionBand) {
    protocol->reply(vk210Reply(Cmd::skuId, {0x03}));
    protocol->reply(vk210Reply(Cmd::getRegion, {0x03}));
    EXPECT_EQ(device->getSkuType(), SkuType::us);
    EXPECT_EQ(log->count("getSkuType() The SKU is unknown(0) going to check global band.",
                         LogLevel::error),
              1);
    protocol->reply(vk210Reply(Cmd::skuId, {0x00}));
    protocol->reply(vk210Reply(Cmd::getRegion, {0x42}));
    EXPECT_EQ(device->getSkuType(), SkuType::unknown);
    EXPECT_EQ(log->count("getSkuType() Get unknown region", LogLevel::error), 1);
    protocol->clear();
    protocol->reply(vk210Reply(Cmd::skuId, {0x02}));
    EXPECT_EQ(device->getSkuType(), SkuType::european);
    EXPECT_EQ(protocol->sent().size(), 1u);
}

TEST_F(Vk210DeviceTest, ProtectionAbove85IsResetOnTheReader) {
    protocol->reply(vk210Reply(Cmd::getAmbientTemperatureProtection, {0x02, 0x58}));
    EXPECT_EQ(device->getAmbientTemperatureProtection(), 60);
    protocol->clear();
    protocol->reply(vk210Reply(Cmd::getAmbientTemperatureProtection, {0x03, 0x53}));
    protocol->reply(vk210Reply(Cmd::setAmbientTemperatureProtection, {}));
    EXPECT_EQ(device->getAmbientTemperatureProtection(), 85);
    EXPECT_EQ(sentBytes().back(), vk210Request(Cmd::setAmbientTemperatureProtection, {0x03, 0x52}));
    EXPECT_EQ(log->count("DEBUG. getAmbientTemperatureProtection() - Ambient temperature "
                         "protection is set to 85 degrees Celsius (default)",
                         LogLevel::debug),
              1);
}

TEST_F(Vk210DeviceTest, ShortDateIsRefusedWhateverTheStatus) {
    for (uint8_t status : {0x00, 0x02}) {
        protocol->reply(vk210Reply(Cmd::getSystemTime, {0x18, 0x03, 0x05, 0x0E, 0x07}, status));
        EXPECT_EQ(expectCode(ResultCode::invalidResponseData, [&] { device->getSystemTime(); }),
                  "Invalid data length");
    }
    // A failed status with a whole date is the status's failure.
    protocol->reply(vk210Reply(Cmd::getSystemTime, {0x18, 0x03, 0x05, 0x0E, 0x07, 0x09}, 0x02));
    expectCode(ResultCode::parameterError, [&] { device->getSystemTime(); });
    protocol->reply(vk210Reply(Cmd::getSystemTime, {0x18, 0x03, 0x05, 0x0E, 0x07, 0x09}));
    EXPECT_EQ(DeviceParam(Id::systemTime).valueToString(device->getSystemTime()), "1803050E0709");
}

TEST_F(Vk210DeviceTest, KeyFunctionAsksTheReadersKey) {
    protocol->reply(vk210Reply(Cmd::getTriggerButtonStatus, {0x01, 0x02}));
    EXPECT_EQ(device->getKeyFunction(KeyID::lowerKey), KeyFunction::rfidInventory);
    protocol->reply(vk210Reply(Cmd::getTriggerButtonStatus, {0x00}));
    EXPECT_EQ(device->getKeyFunction(KeyID::upperKey), KeyFunction::disabled);
    EXPECT_EQ(sentBytes(), (std::vector<Bytes>{vk210Request(Cmd::getTriggerButtonStatus, {0x01}),
                                               vk210Request(Cmd::getTriggerButtonStatus, {0x00})}));
}

}  // namespace
}  // namespace orvane
