#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <set>

#include "DeviceTestSupport.h"
#include "orvanerfid/devices/Vk640Device.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/Vk640Protocol.h"
#include "sim/SimVk640.h"

namespace orvane {
namespace {

using Id = DeviceParamId;
using test::expectCode;
using test::waitUntil;

Bytes text16(std::string_view text) {
    Bytes bytes(text.begin(), text.end());
    bytes.resize(16, 0);
    return bytes;
}

// A Vk640 device on its own protocol over the accessory transport, talking to a simulated Vk640
// whose firmware revision the test chooses.
class Vk640DeviceEndToEnd : public ::testing::Test {
  protected:
    void connect(const std::string& firmware) {
        log = test::LogCapture::install();
        // The reader pads its identity texts to 16 bytes.
        reader->setSetting("firmware", text16(firmware));
        reader->setSetting("serialNumber", text16("SIM640-0001"));
        reader->setSetting("modelName", text16("VK640"));
        accessory = SimVk640::makeAccessory(reader, "SIM640-0001", firmware);
        manager.attach(accessory);
        transport = EATransport::create();
        transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(accessory));
        ASSERT_TRUE(transport->connect());
        device = Vk640Device::create(transport);
        device->setDelegate(delegate);
        ASSERT_TRUE(device->start());
    }
    void TearDown() override {
        if (!device) return;
        device->baseProtocol()->stop();
        transport->disconnect();
        EXPECT_TRUE(waitUntil([&] { return device->baseProtocol()->receiveLoopsRunning() == 0; }));
        EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 0; }));
    }

    AccessoryManager manager;
    std::shared_ptr<test::LogCapture> log;
    std::shared_ptr<SimVk640> reader = std::make_shared<SimVk640>();
    std::shared_ptr<SimAccessory> accessory;
    std::shared_ptr<EATransport> transport;
    std::shared_ptr<Vk640Device> device;
    std::shared_ptr<test::RecordingDeviceDelegate> delegate =
        std::make_shared<test::RecordingDeviceDelegate>();
};

TEST_F(Vk640DeviceEndToEnd, StartUpAndKeepAlive) {
    connect("1.01.11");
    device->initDevice();
    EXPECT_EQ(delegate->calls(), std::vector<std::string>{"mac 060504030201"});
    device->baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished));
    EXPECT_EQ(device->getModuleInfo(2), 1);
    for (int i = 0; i < 3; ++i)
        device->triggerAlive();
    // Both keep-alive replies were taken by the exchange; nothing is left over.
    EXPECT_EQ(std::dynamic_pointer_cast<Vk640Protocol>(device->baseProtocol())->queuedReplies(),
              0u);
    EXPECT_EQ(reader->requestCount(SimVk640::rowKey(0x10, 0x07)), 3);
    EXPECT_EQ(reader->requestCount(SimVk640::rowKey(0x10, 0x05)), 3);
}

TEST_F(Vk640DeviceEndToEnd, EverySupportedParameterReadsWritesAndReadsBack) {
    connect("1.01.11");
    reader->setSetting("temperature", {0xF8});
    const std::map<Id, std::string> readOnly{
        {Id::firmwareVersion, DeviceParam(Id::firmwareVersion, std::string("1.01.11"))._value()},
        {Id::deviceType, DeviceParam(Id::deviceType, DeviceType::vk640)._value()},
        {Id::serialNumber, DeviceParam(Id::serialNumber, std::string("SIM640-0001"))._value()},
        {Id::bluetoothAddress,
         DeviceParam(Id::bluetoothAddress, std::string("060504030201"))._value()},
        {Id::batteryStatus, "0050"},
        {Id::skuType, "01"},
        {Id::temperature, "-8.0"},
        {Id::autoOffTimeList, "00000001000200030005000A"},
    };
    const std::vector<std::pair<Id, DeviceValue>> writes{
        {Id::vibrator, false},
        {Id::beeperVolume, BeeperVolume::high},
        {Id::systemTime, test::localTime(2031, 2, 28, 23, 59, 58)},
        {Id::autoOffTime, 5u},
        {Id::readMode, ReadMode::multiRead},
        {Id::dataFormat, DataFormat::ascii},
        {Id::dataInfo, DataInfo::tid},
        {Id::dataRange, DataRange(4, 12)},
        {Id::dataTerminator, DataTerminator::tab},
        {Id::tagUnique, TagUnique::tagInfo},
        {Id::screenOffTime, ScreenOffTime(1, 30)},
        {Id::userData, Bytes{0xDE, 0xAD, 0xBE, 0xEF}},
        {Id::connectionMode, ConnectionMode::usbSpp},
        {Id::appBundleId, std::string("com.orvane.test")},
        {Id::bluetoothSecuritySimplePairing, false},
    };
    std::set<Id> covered;
    for (const auto& [id, text] : readOnly) {
        EXPECT_EQ(device->getParameter(id)._value(), text) << description(id);
        covered.insert(id);
    }
    for (const auto& [id, value] : writes) {
        const DeviceParam wanted(id, value);
        const std::string before = device->getParameter(id)._value();
        ASSERT_NE(before, wanted._value()) << description(id);
        device->setParameter(wanted);
        EXPECT_EQ(device->getParameter(id)._value(), wanted._value()) << description(id);
        covered.insert(id);
    }
    // The actions run.
    device->setParameter(DeviceParam(Id::findDevice, FindDevice(FindDeviceMode::beep, 5)));
    device->setParameter(DeviceParam(Id::displayMessage, DisplayMessage("HELLO", 3, 2, false)));
    device->setParameter(DeviceParam(Id::factoryReset));
    device->setParameter(DeviceParam(Id::shutdown));
    covered.insert({Id::findDevice, Id::displayMessage, Id::factoryReset, Id::shutdown});
    EXPECT_EQ(covered.size(), device->_supportedIds().size());

    // The reader shows the text with the signal asked just before it.
    ASSERT_TRUE(waitUntil([&] { return reader->shown().size() == 1; }));
    const auto shown = reader->shown()[0];
    EXPECT_EQ(shown.text, "HELLO");
    EXPECT_EQ(shown.position, 3);
    EXPECT_EQ(shown.line, 2);
    EXPECT_FALSE(shown.clear);
    EXPECT_EQ(shown.signal, std::optional<uint8_t>(rawValue(FindDeviceMode::beep)));
    ASSERT_TRUE(
        waitUntil([&] { return reader->requestCount(SimVk640::rowKey(0x10, 0x12, 0x41)) == 1; }));
    EXPECT_EQ(reader->requestCount(SimVk640::rowKey(0x10, 0x12, 0x40)), 1);
}

TEST_F(Vk640DeviceEndToEnd, MultiSetThenMultiGetReadsBackWhatWasWritten) {
    connect("1.01.11");
    const std::vector<DeviceParam> writes{
        DeviceParam(Id::beeperVolume, BeeperVolume::low),
        DeviceParam(Id::findDevice, FindDevice(FindDeviceMode::vibrator, 2)),
        DeviceParam(Id::autoOffTime, 10u),
        DeviceParam(Id::dataRange, DataRange(0x102, 0x304)),
        DeviceParam(Id::dataTerminator, DataTerminator::none),
        DeviceParam(Id::screenOffTime, ScreenOffTime(2, 0)),
        DeviceParam(Id::connectionMode, ConnectionMode::bufferMode),
        DeviceParam(Id::appBundleId, std::string("com.orvane.multi")),
        DeviceParam(Id::bluetoothSecuritySimplePairing, false),
        DeviceParam(Id::vibrator, false),
    };
    // A write-only command leaves the reader's answer unclaimed; the exchange that follows must
    // not take it for one of its own.
    const auto protocol = std::dynamic_pointer_cast<Vk640Protocol>(device->baseProtocol());
    device->setConnectionMode(ConnectionMode::usbSpp);
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));

    device->setParameters(writes);
    ASSERT_TRUE(waitUntil([&] { return reader->signalsAlone() == 1; }));
    EXPECT_EQ(protocol->queuedReplies(), 0u);

    std::vector<Id> ids;
    for (const auto& p : writes) {
        if (DeviceParam::isReadable(p.id())) ids.push_back(p.id());
    }
    ids.push_back(Id::autoOffTimeList);
    const auto read = device->getParameters(ids);
    std::map<Id, std::string> got;
    for (const auto& p : read)
        got[p.id()] = p._value();
    for (const auto& p : writes) {
        if (DeviceParam::isReadable(p.id())) {
            EXPECT_EQ(got[p.id()], p._value()) << description(p.id());
        }
    }
    EXPECT_EQ(got[Id::autoOffTimeList], "00000001000200030005000A");
    EXPECT_EQ(read.size(), ids.size());

    // Everything the model supports in one exchange.
    const auto all = device->getParameters(std::nullopt);
    EXPECT_EQ(all.size(), device->_supportedIds().size() - 4);
}

TEST_F(Vk640DeviceEndToEnd, FirmwareGatesFollowTheReadersRevision) {
    connect("1.1.8");
    EXPECT_EQ(device->getTagUnique(), TagUnique::epc);
    expectCode(ResultCode::notSupported, [&] { device->getScreenOffTime(); });
    expectCode(ResultCode::notSupported, [&] { device->getUserData(); });
    expectCode(ResultCode::notSupported, [&] { device->setDisplayOutput("A", 0, true, 1); });
    // The multi-setting path applies the same gates: what the firmware lacks is left out.
    const auto read =
        device->getParameters(std::vector{Id::screenOffTime, Id::userData, Id::tagUnique});
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].id(), Id::tagUnique);
}

}  // namespace
}  // namespace orvane
