// The Vk210 device over the accessory transport against the simulated Vk210: start-up, the
// keep-alive, every supported setting read, written and read back, many settings in one
// exchange, and the firmware update.

#include <gtest/gtest.h>

#include <map>

#include "DeviceTestSupport.h"
#include "SimulatedVk210Link.h"
#include "commands/Vk210FrameSupport.h"
#include "orvanerfid/devices/Vk210Device.h"
#include "sim/SimVk210Settings.h"

namespace orvane {
namespace {

using Cmd = OrvRfidCmdId;
using Id = DeviceParamId;

// Another value than the simulated reader's default, for every writable setting.
const std::map<Id, std::string> kNewValues = {
    {Id::beeperVolume, "03"},
    {Id::systemTime, "190102030405"},
    {Id::autoOffTime, "012C"},
    {Id::dataTerminator, "03"},
    {Id::appBundleId, "636F6D2E78"},
    {Id::findReplace, "0D0A"},
    {Id::triggerKeyStatus, "0302"},
    {Id::settingByLabel, "00"},
    {Id::dataCollectionMode, "02"},
    {Id::gs1Ai, "02"},
    {Id::hidInterCharacterDelay, "04"},
    {Id::hidKeyboardLanguage, "04"},
    {Id::hidKeyboardCase, "02"},
    {Id::controlCharacterFilter, "02"},
    {Id::ledControl, "00"},
    {Id::scannerIndicator, "0011"},
    {Id::connectionMode, "03"},
    {Id::ambientTemperatureProtection, "003C"},
    {Id::paTemperatureProtection, "0046"},
    {Id::temperatureProtectionMode, "00"},
    {Id::inventoryDataWithCustomizedFormat, "000102"},
    {Id::scannerDataWithCustomizedFormat, "0102"},
};

DeviceParam withText(Id id, std::string text) {
    DeviceParam param(id);
    param.set_value(std::move(text));
    return param;
}

class Vk210SimulatedTest : public vk210test::CapturedLogTest {
  protected:
    test::SimulatedVk210Link link;
    std::shared_ptr<SimVk210>& reader = link.reader;
    std::shared_ptr<Vk210Device>& device = link.device;
};

TEST_F(Vk210SimulatedTest, StartUpWithAndWithoutAnEngine) {
    device->initDevice();
    EXPECT_TRUE(device->hasEngine());
    EXPECT_EQ(reader->setting("scannerDataSendMode"), Bytes{0x01});
    EXPECT_EQ(reader->setting("event228"), Bytes{0x01});  // key events
    EXPECT_EQ(reader->setting("event229"), Bytes{0x01});  // batch data
    EXPECT_EQ(device->getModuleInfo(1), rawValue(EngineModel::SE4107));
    EXPECT_EQ(device->getModuleInfo(2), rawValue(UhfModuleType::qm5520));

    setSimVk210Engine(*reader, std::nullopt);
    reader->setSetting("scannerDataSendMode", {});
    device->initDevice();
    EXPECT_FALSE(device->hasEngine());
    EXPECT_TRUE(reader->setting("scannerDataSendMode").empty());
    EXPECT_EQ(test::expectCode(ResultCode::notSupported, [&] { device->getEngineVersion(); }),
              "The scan engine is not available.");
}

TEST_F(Vk210SimulatedTest, KeepAliveWithin800Ms) {
    device->triggerAlive();
    EXPECT_EQ(reader->requestCount(rawValue(Cmd::paTemperature)), 1);
    EXPECT_EQ(reader->requestCount(rawValue(Cmd::batteryStatus)), 1);
    // Replies 300 ms late still count; 1200 ms late is a failed sign of life.
    reader->setReplyFaults({std::chrono::milliseconds(300), std::nullopt, 2});
    device->triggerAlive();
    reader->setReplyFaults({std::chrono::milliseconds(1200), std::nullopt, 2});
    test::expectCode(ResultCode::timeout, [&] { device->triggerAlive(); });
}

TEST_F(Vk210SimulatedTest, EverySupportedSettingReadsWritesAndReadsBack) {
    int read = 0;
    int written = 0;
    for (const Id id : device->_supportedIds()) {
        if (!DeviceParam::isReadable(id) || id == Id::triggerKeyStatus) continue;
        const std::string before = device->getParameter(id)._value();
        ++read;
        const auto next = kNewValues.find(id);
        if (!DeviceParam::isWritable(id)) {
            EXPECT_EQ(next, kNewValues.end()) << description(id);
            continue;
        }
        ASSERT_NE(next, kNewValues.end()) << description(id);
        EXPECT_NE(before, next->second) << description(id);
        device->setParameter(withText(id, next->second));
        EXPECT_EQ(device->getParameter(id)._value(), next->second) << description(id);
        ++written;
    }
    EXPECT_EQ(read, 38);
    EXPECT_EQ(written, 21);
    EXPECT_EQ(device->getParameter(Id::firmwareVersion)._value(), "312E312E3131");  // "1.1.11"
    EXPECT_EQ(device->getParameter(Id::batteryStatusExtended)._value().substr(0, 8), "FFF80000");
    EXPECT_EQ(
        std::get<BatteryStatusExtended>(*device->getParameter(Id::batteryStatusExtended).getValue())
            .serialNumber(),
        "SN42");

    // Trigger keys are read per key, in one exchange.
    device->setParameter(withText(Id::triggerKeyStatus, "0200"));
    const auto keys = device->getParameters(std::vector{Id::triggerKeyStatus});
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0]._value(), "0302");
    EXPECT_EQ(keys[1]._value(), "0200");

    // The actions run.
    for (const Id action : {Id::factoryReset, Id::unpairBluetooth, Id::startDecode, Id::stopDecode,
                            Id::reboot, Id::stagingReset, Id::retrieveBatchedData})
        device->setParameter(DeviceParam(action));
    device->setParameter(withText(Id::deviceIndicator, "21"));
    device->setParameter(withText(Id::eventNotification, "E100"));
    EXPECT_EQ(reader->setting("last:indicator"), Bytes{0x21});
    EXPECT_EQ(reader->setting("event225"), Bytes{0x00});
    EXPECT_EQ(reader->setting("last:executeResetDevice"), Bytes{0x02});
}

TEST_F(Vk210SimulatedTest, MultiSetThenMultiGet) {
    std::vector<DeviceParam> writes;
    for (const auto& [id, text] : kNewValues)
        writes.push_back(withText(id, text));
    device->setParameters(writes);
    EXPECT_EQ(reader->setting("scannerIndicator"), (Bytes{0x00, 0x11}));
    EXPECT_EQ(reader->setting("paTemperatureProtection"), (Bytes{0x02, 0xBC}));

    const auto records = device->getParameters(std::nullopt);
    std::map<Id, std::vector<std::string>> got;
    for (const auto& r : records)
        got[r.id()].push_back(r._value());
    for (const auto& [id, text] : kNewValues) {
        ASSERT_TRUE(got.count(id)) << description(id);
        EXPECT_NE(std::ranges::find(got[id], text), got[id].end()) << description(id);
    }
    // Every readable supported setting answered, each once (the two keys twice).
    EXPECT_EQ(got.size(), 39u);
    EXPECT_EQ(got[Id::triggerKeyStatus].size(), 2u);
    EXPECT_EQ(got[Id::temperature].size(), 1u);
    EXPECT_EQ(got[Id::paTemperature].size(), 1u);
    EXPECT_EQ(got[Id::autoOffTimeList].size(), 1u);
}

class Vk210SimulatedUpdateTest : public Vk210SimulatedTest {
  protected:
    void SetUp() override { device->setDelegate(events); }
    std::vector<std::string> reports() const {
        std::vector<std::string> out;
        for (const auto& call : events->calls())
            out.push_back(call.substr(std::string("firmwareUpdate ").size()));
        return out;
    }
    std::shared_ptr<test::RecordingDeviceDelegate> events =
        std::make_shared<test::RecordingDeviceDelegate>();
};

TEST_F(Vk210SimulatedUpdateTest, FileArrivesWholeAndIsInstalled) {
    Bytes file(2500);
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>(i * 7);
    device->firmwareUpdate("vk210.bin", file);
    EXPECT_EQ(reports(), (std::vector<std::string>{"0 100", "2 0", "2 100", "3 0", "3 40", "3 80",
                                                   "3 100", "4 0", "4 100", "1 100"}));
    EXPECT_EQ(reader->setting("firmwareFile"), file);
    EXPECT_EQ(reader->setting("firmwareSize"), (Bytes{'2', '5', '0', '0'}));
    EXPECT_EQ(reader->setting("firmwareInstalled"), Bytes{1});

    device->firmwareUpdate("empty.bin", {});
    EXPECT_EQ(reader->setting("firmwareSize"), Bytes{'0'});
    EXPECT_EQ(reader->setting("firmwareInstalled"), Bytes{1});
    EXPECT_EQ(reader->requestCount(rawValue(Cmd::sendFileData)), 3);
}

TEST_F(Vk210SimulatedUpdateTest, AbortAfterTheFirstBlock) {
    // Aborts as the upload begins, so while the first block is on its way.
    struct Aborting : test::RecordingDeviceDelegate {
        std::weak_ptr<Vk210Device> device;
        void firmwareUpdateEvent(FirmwareUpdateState state, uint8_t percentage) override {
            RecordingDeviceDelegate::firmwareUpdateEvent(state, percentage);
            const auto live = device.lock();
            if (live && state == FirmwareUpdateState::uploading && percentage == 0)
                live->set_abortUpdate(true);
        }
    };
    auto aborting = std::make_shared<Aborting>();
    aborting->device = device;
    events = aborting;
    device->setDelegate(events);
    device->firmwareUpdate("vk210.bin", Bytes(2500, 0x11));
    EXPECT_EQ(reports(),
              (std::vector<std::string>{"0 100", "2 0", "2 100", "3 0", "3 40", "5 100"}));
    EXPECT_EQ(reader->setting("firmwareFile").size(), 1000u);
    EXPECT_TRUE(reader->setting("firmwareInstalled").empty());
}

TEST_F(Vk210SimulatedUpdateTest, FailingBlockStopsTheUpdate) {
    setSimVk210FailingBlock(*reader, 2);
    test::expectCode(ResultCode::undefined,
                     [&] { device->firmwareUpdate("vk210.bin", Bytes(2500, 0x11)); });
    EXPECT_EQ(reports(),
              (std::vector<std::string>{"0 100", "2 0", "2 100", "3 0", "3 40", "1 100"}));
    EXPECT_EQ(reader->setting("firmwareFile").size(), 1000u);
    EXPECT_TRUE(reader->setting("firmwareInstalled").empty());
}

}  // namespace
}  // namespace orvane
