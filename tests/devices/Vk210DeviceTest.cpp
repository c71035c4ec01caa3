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
using test::expectCode;
using test::joinFrames;
using test::vk210Reply;
using test::vk210Request;

// The device text of a value, to compare values of any setting.
std::string text(Id id, const DeviceValue& value) {
    return DeviceParam(id).valueToString(value);
}

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

struct ReadCase {
    const char* name;
    Id id;
    std::function<DeviceValue(Vk210Device&)> call;
    Cmd command;
    Bytes requestData;
    Bytes replyData;
    DeviceValue expected;
};

TEST_F(Vk210DeviceTest, ReadsDecodeTheirReplies) {
    const std::vector<ReadCase> cases = {
        {"volume",
         Id::beeperVolume,
         [](auto& d) { return d.getBeeperVolume(); },
         Cmd::getBeeperVolume,
         {},
         {0x03},
         BeeperVolume::high},
        {"volume none",
         Id::beeperVolume,
         [](auto& d) { return d.getBeeperVolume(); },
         Cmd::getBeeperVolume,
         {},
         {},
         BeeperVolume::medium},
        {"volume 7",
         Id::beeperVolume,
         [](auto& d) { return d.getBeeperVolume(); },
         Cmd::getBeeperVolume,
         {},
         {0x07},
         BeeperVolume::medium},
        {"temperature",
         Id::temperature,
         [](auto& d) { return d.getTemperature(); },
         Cmd::paTemperature,
         {},
         {0x00, 0xFD},
         25.3},
        {"temperature 3 bytes",
         Id::paTemperature,
         [](auto& d) { return d.getPaTemperature(); },
         Cmd::paTemperature,
         {},
         {0, 0xFD, 1},
         0.0},
        {"ambient",
         Id::ambientTemperature,
         [](auto& d) { return d.getAmbientTemperature(); },
         Cmd::ambientTemperature,
         {},
         {0x01, 0x6D},
         36.5},
        {"firmware",
         Id::firmwareVersion,
         [](auto& d) { return d.getFirmwareVersion(); },
         Cmd::firmware,
         {},
         {1, 2, 10},
         std::string("1.2.10")},
        {"bt name",
         Id::bluetoothName,
         [](auto& d) { return d.getBluetoothName(); },
         Cmd::btName,
         {},
         {0xC3},
         std::string("error when encode to ascii")},
        {"bundle",
         Id::appBundleId,
         [](auto& d) { return d.getAppBundleId(); },
         Cmd::getMfiSetting,
         {0x0B},
         {0x0B, 0x61, 0x62, 0x00},
         std::string("ab")},
        {"bundle short",
         Id::appBundleId,
         [](auto& d) { return d.getAppBundleId(); },
         Cmd::getMfiSetting,
         {0x0B},
         {0x0B},
         std::string()},
        {"hid delay 9",
         Id::hidInterCharacterDelay,
         [](auto& d) { return d.getHidInterCharacterDelay(); },
         Cmd::getHidInterCharacterDelay,
         {},
         {9},
         HidInterCharacterDelay::delay10ms},
        {"hid delay none",
         Id::hidInterCharacterDelay,
         [](auto& d) { return d.getHidInterCharacterDelay(); },
         Cmd::getHidInterCharacterDelay,
         {},
         {},
         HidInterCharacterDelay::delay1ms},
        {"find replace",
         Id::findReplace,
         [](auto& d) { return d.getFindReplace(); },
         Cmd::getFindReplace,
         {},
         {0x41},
         FindReplace(0x41, 0)},
        {"scanner indicator",
         Id::scannerIndicator,
         [](auto& d) { return d.getScannerIndicator(); },
         Cmd::getScannerIndicator,
         {},
         {0x00, 0x55},
         ScannerIndicator::fromDeviceParameter("0055")},
        {"module sku",
         Id::rfidModuleSkuType,
         [](auto& d) { return d.getRfidModuleSkuType(); },
         Cmd::rfidModuleSkuId,
         {},
         {0x04},
         SkuType::japanese},
        {"connection 6",
         Id::connectionMode,
         [](auto& d) { return d.getConnectionMode(); },
         Cmd::getConnectionMode,
         {},
         {6},
         ConnectionMode::bluetoothSpp},
        {"connection 3",
         Id::connectionMode,
         [](auto& d) { return d.getConnectionMode(); },
         Cmd::getConnectionMode,
         {},
         {3},
         ConnectionMode::usbSpp},
        {"gs1 3",
         Id::gs1Ai,
         [](auto& d) { return d.getGs1Ai(); },
         Cmd::getGs1AiSetting,
         {},
         {3},
         Gs1Ai::noApply},
        {"device type",
         Id::deviceType,
         [](auto& d) { return d.getDeviceType(); },
         Cmd::modelName,
         {},
         {'v', 'k', '2', '1', '0'},
         DeviceType::vk210},
        {"module model",
         Id::rfidModuleModel,
         [](auto& d) { return d.getRfidModuleModel(); },
         Cmd::rfidModuleModel,
         {},
         {'Q', 'M', '5', '5', '2', '0'},
         UhfModuleType::qm5520},
        {"protection mode",
         Id::temperatureProtectionMode,
         [](auto& d) { return d.getTemperatureProtectionMode(); },
         Cmd::getTemperatureProtectionMode,
         {},
         {2},
         TemperatureProtectionMode::stop},
        {"auto off",
         Id::autoOffTime,
         [](auto& d) { return d.getAutoOffTime(); },
         Cmd::getAutoPowerOffSetting,
         {},
         {0x01, 0x2C},
         300u},
        {"auto off short",
         Id::autoOffTime,
         [](auto& d) { return d.getAutoOffTime(); },
         Cmd::getAutoPowerOffSetting,
         {},
         {0x01},
         0u},
        {"inventory format",
         Id::inventoryDataWithCustomizedFormat,
         [](auto& d) { return d.getInventoryDataFormat(); },
         Cmd::getInventoryDataWithCustomizedFormat,
         {},
         {0, 2, 9},
         std::vector{InventoryDataFormat::epc, InventoryDataFormat::rssi}},
        {"collection 4",
         Id::dataCollectionMode,
         [](auto& d) { return d.getDataCollectionMode(); },
         Cmd::getDataCollectionMode,
         {},
         {4},
         DataCollectionMode::wedge},
        {"language 14",
         Id::hidKeyboardLanguage,
         [](auto& d) { return d.getHidKeyboardLanguage(); },
         Cmd::getHidKeyboardLanguage,
         {},
         {14},
         HidKeyboardLanguage::us},
        {"battery",
         Id::batteryStatus,
         [](auto& d) { return d.getBatteryState(); },
         Cmd::batteryStatus,
         {},
         {0x01, 0x50},
         BatteryStatus::fromDeviceParameter("00500101")},
        {"battery 7",
         Id::batteryStatus,
         [](auto& d) { return d.getBatteryState(); },
         Cmd::batteryStatus,
         {},
         {0x07},
         BatteryStatus::fromDeviceParameter("02FF")},
        {"battery extended",
         Id::batteryStatusExtended,
         [](auto& d) {
             return d.getBatteryStatusExtended(
                 {BatteryStatusExtendedType::voltage, BatteryStatusExtendedType::cycleCount});
         },
         Cmd::batteryStatusExtended,
         {0x40, 0x40, 0x00},
         {0x40, 0x40, 0, 0, 0, 0, 0x0F, 0xA0, 0, 0, 0, 7},
         BatteryStatusExtended::fromDeviceParameter("4040000000000FA000000007")},
    };
    for (const auto& c : cases) {
        protocol->clear();
        protocol->reply(vk210Reply(c.command, c.replyData));
        const DeviceValue value = c.call(*device);
        EXPECT_EQ(text(c.id, value), text(c.id, c.expected)) << c.name;
        ASSERT_EQ(protocol->sent().size(), 1u) << c.name;
        EXPECT_EQ(protocol->sent()[0].data, vk210Request(c.command, c.requestData)) << c.name;
        EXPECT_EQ(protocol->sent()[0].timeout, 3000) << c.name;
    }
}

struct WriteCase {
    const char* name;
    std::function<void(Vk210Device&)> call;
    Cmd command;
    Bytes data;
};

TEST_F(Vk210DeviceTest, WritesSendTheirRequests) {
    const std::vector<WriteCase> cases = {
        {"volume",
         [](auto& d) { d.setBeeperVolume(BeeperVolume::high); },
         Cmd::setBeeperVolume,
         {0x03}},
        {"pa protection",
         [](auto& d) { d.setPaTemperatureProtection(85); },
         Cmd::setPaTemperatureProtection,
         {0x03, 0x52}},
        {"connection",
         [](auto& d) { d.setConnectionMode(ConnectionMode::usbSpp); },
         Cmd::setConnectionMode,
         {0x03}},
        {"language",
         [](auto& d) { d.setHidKeyboardLanguage(HidKeyboardLanguage::spanish); },
         Cmd::setHidKeyboardLanguage,
         {0x04}},
        {"staging", [](auto& d) { d.stagingReset(); }, Cmd::executeResetDevice, {0x02}},
        {"factory", [](auto& d) { d.factoryReset(); }, Cmd::resetDevice, {0x01}},
        {"reboot", [](auto& d) { d.reboot(); }, Cmd::resetDevice, {0x00}},
        {"bundle",
         [](auto& d) { d.setAppBundleId("ab"); },
         Cmd::setMfiSetting,
         {0x0B, 0x61, 0x62, 0x00}},
        {"indicator",
         [](auto& d) {
             d.setDeviceIndicator(DeviceIndicator(LedIndicator::red, false, BeepIndicator::twice));
         },
         Cmd::indicator,
         {0x12}},
        {"scanner indicator",
         [](auto& d) { d.setScannerIndicator(ScannerIndicator::fromDeviceParameter("0055")); },
         Cmd::setScannerIndicator,
         {0x00, 0x55}},
        {"key",
         [](auto& d) {
             d.setKeyFunction(TriggerKeyStatus(KeyID::lowerKey, KeyFunction::rfidInventory));
         },
         Cmd::setTriggerButtonStatus,
         {0x01, 0x02}},
        {"notification",
         [](auto& d) {
             d.setEventNotification(EventNotification(EventNotificationId::keyEvent, true));
         },
         Cmd::eventNotificationSetting,
         {0xE4, 0x01}},
        {"formats",
         [](auto& d) {
             d.setScannerDataFormat({ScannerDataFormat::codeId, ScannerDataFormat::barcodeData});
         },
         Cmd::setScannerDataWithCustomizedFormat,
         {0x01, 0x00}},
        {"auto off",
         [](auto& d) { d.setAutoOffTime(300); },
         Cmd::setAutoPowerOffSetting,
         {0x01, 0x2C}},
        {"led", [](auto& d) { d.setLedControl(false); }, Cmd::setLedSetting, {0x00}},
        {"decode", [](auto& d) { d.startDecode(); }, Cmd::startDecode, {}},
        {"unpair", [](auto& d) { d.unpairBluetooth(); }, Cmd::btUnpair, {}},
    };
    answerAll();
    for (const auto& c : cases) {
        protocol->clear();
        c.call(*device);
        ASSERT_EQ(protocol->sent().size(), 1u) << c.name;
        EXPECT_EQ(protocol->sent()[0].data, vk210Request(c.command, c.data)) << c.name;
    }
}

struct RefusalCase {
    const char* name;
    std::function<void(Vk210Device&)> call;
    ResultCode code;
    std::string message;
};

TEST_F(Vk210DeviceTest, ChecksRefuseBeforeAnyTraffic) {
    using S = ScannerIndicator;
    const std::vector<RefusalCase> cases = {
        {"protection 86", [](auto& d) { d.setPaTemperatureProtection(86); }, ResultCode::outOfRange,
         "The temperature must be between 0 and 85 degrees Celsius."},
        {"connection 2", [](auto& d) { d.setConnectionMode(ConnectionMode::usbHid); },
         ResultCode::notSupported,
         "The USB HID (Human Interface Device) is not supported for VK210."},
        {"connection 6", [](auto& d) { d.setConnectionMode(ConnectionMode::bufferMode); },
         ResultCode::notSupported, "The Buffer Mode is not supported for VK210."},
        {"language 3", [](auto& d) { d.setHidKeyboardLanguage(HidKeyboardLanguage::swedish); },
         ResultCode::notSupported, "The Swedish is not supported for VK210."},
        {"trigger key",
         [](auto& d) {
             d.setKeyFunction(TriggerKeyStatus(KeyID::triggerKey, KeyFunction::disabled));
         },
         ResultCode::notSupported, "The Trigger Key is not supported for VK210."},
        {"get trigger key", [](auto& d) { d.getKeyFunction(KeyID::undefined); },
         ResultCode::notSupported, "The Undefined is not supported for VK210."},
        {"vibrator first",
         [](auto& d) {
             d.setDeviceIndicator(DeviceIndicator(LedIndicator::blue, true, BeepIndicator::off));
         },
         ResultCode::notSupported, "The vibrator is not supported for VK210."},
        {"blue",
         [](auto& d) {
             d.setDeviceIndicator(DeviceIndicator(LedIndicator::blue, false, BeepIndicator::off));
         },
         ResultCode::notSupported, "The blue led is not supported for VK210."},
        {"power on",
         [](auto& d) {
             S s;
             s.setPowerOn(PowerOnIndicator::beeper);
             d.setScannerIndicator(s);
         },
         ResultCode::notSupported, "The power on only support none for VK210."},
        {"good read first",
         [](auto& d) {
             S s;
             s.setGoodRead(GoodReadIndicator::vibrator);
             s.setPowerOn(PowerOnIndicator::beeper);
             d.setScannerIndicator(s);
         },
         ResultCode::notSupported, "The good read only support none or beeper for VK210."},
        {"error both",
         [](auto& d) {
             S s;
             s.setError(ErrorIndicator::beeperVibrator);
             d.setScannerIndicator(s);
         },
         ResultCode::notSupported, "The error only support none or beeper for VK210."},
        {"power off",
         [](auto& d) {
             S s;
             s.setPowerOff(PowerOffIndicator::vibrator);
             d.setScannerIndicator(s);
         },
         ResultCode::notSupported, "The power off only support none for VK210."},
        {"stray bits",
         [](auto& d) {
             S s;
             s.setConnection(ConnectionIndicator{0x05});
             d.setScannerIndicator(s);
         },
         ResultCode::outOfRange, ""},
        {"auto off", [](auto& d) { d.setAutoOffTime(70000); }, ResultCode::outOfRange,
         "The auto off time must fit 16 bits."},
        {"gs1 3", [](auto& d) { d.setGs1Ai(Gs1Ai{3}); }, ResultCode::outOfRange, ""},
        {"battery type",
         [](auto& d) { d.getBatteryStatusExtended({BatteryStatusExtendedType{1}}); },
         ResultCode::outOfRange, ""},
        {"notification",
         [](auto& d) {
             d.setEventNotification(EventNotification(EventNotificationId{0xE7}, true));
         },
         ResultCode::notSupported, ""},
        {"module 0", [](auto& d) { d.getModuleInfo(0); }, ResultCode::notSupported, ""},
    };
    answerAll();
    for (const auto& c : cases) {
        const std::string message = expectCode(c.code, [&] { c.call(*device); });
        if (!c.message.empty()) {
            EXPECT_EQ(message, c.message) << c.name;
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
