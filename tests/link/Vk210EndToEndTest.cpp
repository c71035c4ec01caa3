// The Vk210 protocol over the accessory transport and a simulated Vk210 reader.

#include <gtest/gtest.h>

#include "LinkTestSupport.h"
#include "Vk210TestSupport.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/Vk210Protocol.h"
#include "sim/SimVk210.h"

namespace orvane {
namespace {

using Id = OrvRfidCmdId;
using test::waitUntil;

Bytes request(Id id) {
    return OrvaneRfidCommand::frame(id, {});
}

class Vk210EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        log = test::LogCapture::install();
        manager.registerForLocalNotifications();
        // Stands in for the reader, which disconnects when its accessory goes.
        manager.addObserver(AccessoryNotificationName::didDisconnect,
                            [this](const AccessoryNotification&) { transport->disconnect(); });
        manager.attach(accessory);
        transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(accessory));
        transport->setDelegate(states);
        ASSERT_TRUE(transport->connect());
        protocol->setDelegate(recorder);
        protocol->start();
    }
    void TearDown() override {
        protocol->stop();
        transport->disconnect();
        EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
        EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 0; }));
    }

    // The tag reports received so far.
    std::vector<TagInfoPtr> tagReports() const {
        std::vector<TagInfoPtr> tags;
        for (const auto& event : recorder->events()) {
            if (const auto* tag = event.get<TagInfoPtr>()) tags.push_back(*tag);
        }
        return tags;
    }
    // Every report matches the population's tag at its position.
    void expectInOrder(const std::vector<TagInfoPtr>& reports, const std::vector<SimTag>& tags) {
        ASSERT_LE(reports.size(), tags.size());
        for (std::size_t i = 0; i < reports.size(); ++i) {
            ASSERT_EQ(reports[i]->epc(), tags[i].epc) << "report " << i;
            ASSERT_FLOAT_EQ(reports[i]->rssi(), rssiFromRaw(tags[i].rssi)) << "report " << i;
        }
    }

    std::shared_ptr<test::LogCapture> log;
    AccessoryManager manager;
    std::shared_ptr<SimVk210> sim = std::make_shared<SimVk210>();
    std::shared_ptr<SimAccessory> accessory = SimVk210::makeAccessory(sim);
    std::shared_ptr<EATransport> transport = EATransport::create();
    std::shared_ptr<test::RecordingDelegate> states = std::make_shared<test::RecordingDelegate>();
    std::shared_ptr<Vk210Protocol> protocol = std::make_shared<Vk210Protocol>(transport);
    std::shared_ptr<test::EventRecorder> recorder = std::make_shared<test::EventRecorder>();
};

TEST_F(Vk210EndToEndTest, RoundTripsThenAThousandTagInventory) {
    const Response firmware = protocol->send(request(Id::firmware), 3000);
    EXPECT_EQ(firmware.resultCode(), ResultCode::noError);
    EXPECT_EQ(firmware.data(), SimVk210::replyFrame(Id::firmware, 0, Bytes{1, 1, 11}));
    const Response battery = protocol->send(request(Id::batteryStatus), 3000);
    EXPECT_EQ(battery.data(), SimVk210::replyFrame(Id::batteryStatus, 0, Bytes{0x00, 80}));
    ASSERT_EQ(recorder->count(), 1u);
    EXPECT_EQ(recorder->events()[0].get<BatteryInfoEventArgs>()->percentage(), 80);

    const std::vector<SimTag> tags = makeSimTags(1000);
    sim->setTags(tags);
    ASSERT_EQ(protocol->send(request(Id::inventory), 3000).resultCode(), ResultCode::noError);
    ASSERT_TRUE(waitUntil([&] { return tagReports().size() >= tags.size(); }));
    ASSERT_EQ(protocol->send(request(Id::cancel), 3000).resultCode(), ResultCode::noError);
    ASSERT_TRUE(waitUntil([&] {
        const auto events = recorder->events();
        return events.back().id() == ProtocolEventId::actionChanged;
    }));
    const auto reports = tagReports();
    EXPECT_EQ(reports.size(), tags.size());
    expectInOrder(reports, tags);
    EXPECT_EQ(*recorder->events().back().get<ActionState>(), ActionState::stop);
}

TEST_F(Vk210EndToEndTest, ALinkDroppedMidInventoryEndsDisconnected) {
    const std::vector<SimTag> tags = makeSimTags(1000);
    sim->setTags(tags);
    sim->setDropLinkAfterReports(300);
    ASSERT_EQ(protocol->send(request(Id::inventory), 3000).resultCode(), ResultCode::noError);
    ASSERT_TRUE(waitUntil([&] { return sim->reportsStreamed() >= 300 && !sim->isStreaming(); }));
    // The link is gone: a send gets no answer.
    EXPECT_NE(protocol->send(request(Id::cancel), 200).resultCode(), ResultCode::noError);
    // Then the cable: the accessory detaches and the transport disconnects.
    manager.detach(accessory);
    EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    EXPECT_EQ(states->states().back(), ConnectState::disconnected);
    EXPECT_EQ(protocol->send(request(Id::firmware), 3000).resultCode(), ResultCode::connectFailed);
    // What arrived before the drop arrived whole and in order.
    expectInOrder(tagReports(), tags);
}

TEST_F(Vk210EndToEndTest, FaultsOfTheReaderReachTheSendAsTheyShould) {
    // A late reply times out its send and does not answer the next one.
    sim->setReplyFaults({std::chrono::milliseconds(2000), std::nullopt, 1});
    EXPECT_EQ(protocol->send(request(Id::serialNumber), 100).resultCode(), ResultCode::timeout);
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));
    sim->setSetting("serialNumber", {'N', 'E', 'W'});
    const Response fresh = protocol->send(request(Id::serialNumber), 3000);
    EXPECT_EQ(fresh.data(), SimVk210::replyFrame(Id::serialNumber, 0, Bytes{'N', 'E', 'W'}));

    // A wrong status is a reply like any other; the caller reads the status byte.
    sim->setReplyFaults({{}, 0x81, 1});
    EXPECT_EQ(protocol->send(request(Id::firmware), 3000).data(),
              SimVk210::replyFrame(Id::firmware, 0x81, Bytes{1, 1, 11}));

    // Garbage ahead of a reply and a reply split in two still make one good reply.
    accessory->setFaults(test::faults([](SimFaults& f) {
        f.garbageBeforeReply = {0x02, 0x00, 0x01, 0x55};
        f.splitReplyAt = 5;
    }));
    EXPECT_EQ(protocol->send(request(Id::firmware), 3000).data(),
              SimVk210::replyFrame(Id::firmware, 0, Bytes{1, 1, 11}));

    // Events on demand arrive as protocol events.
    accessory->setFaults({});
    recorder->clear();
    ASSERT_TRUE(sim->sendKey(true, true));
    ASSERT_TRUE(sim->sendBarcode(Bytes{'1', '2', '3'}, 0x03));
    ASSERT_TRUE(waitUntil([&] { return recorder->count() == 2; }));
    const auto events = recorder->events();
    const auto* barcode = events[1].get<ProtocolBarcodeEventArgs>();
    ASSERT_NE(barcode, nullptr);
    EXPECT_TRUE(barcode->hasBarcodeId);
    EXPECT_EQ(barcode->id, 0x03);
    EXPECT_EQ(barcode->data, (Bytes{'1', '2', '3'}));

    // A link that drops on the request: the send times out, the next write fails.
    accessory->setFaults(test::faults([](SimFaults& f) { f.dropLinkOnRequest = true; }));
    EXPECT_EQ(protocol->send(request(Id::firmware), 200).resultCode(), ResultCode::timeout);
    ASSERT_TRUE(waitUntil([&] { return !accessory->sendToHost({}); }));
    EXPECT_EQ(protocol->send(request(Id::firmware), 200).resultCode(), ResultCode::otherError);
}

TEST_F(Vk210EndToEndTest, TheScanEngineAnswersParameterPacketsThroughThePassThroughCommand) {
    // Read decode session timeout (136), then set UPC-A (1) to 0.
    const Response get =
        protocol->send(OrvaneRfidCommand::frame(Id::scannerEngineParameter,
                                                Bytes{0x05, 0xC7, 0x04, 0x00, 0x88, 0xFE, 0xA8}),
                       5000);
    ASSERT_EQ(get.resultCode(), ResultCode::noError);
    EXPECT_EQ(get.data(), (Bytes{0x02, 0x00, 0x0E, 0xF0, 0x94, 0x00, 0x07, 0xC6, 0x00, 0x00, 0xFF,
                                 0x88, 0x31, 0xFD, 0x7B, 0xFA, 0x71, 0x03}));
    const Response set = protocol->send(
        OrvaneRfidCommand::frame(Id::scannerEngineParameter,
                                 Bytes{0x07, 0xC6, 0x04, 0x08, 0xFF, 0x01, 0x00, 0xFE, 0x27}),
        5000);
    EXPECT_EQ(set.data(), SimVk210::replyFrame(Id::scannerEngineParameter, 0,
                                               Bytes{0x04, 0xD0, 0x00, 0x00, 0xFF, 0x2C}));
    EXPECT_EQ(sim->scanEngine().value(ZebraParamId::UPCA), Bytes{0x00});
}

}  // namespace
}  // namespace orvane
