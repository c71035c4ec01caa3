#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "LinkTestSupport.h"
#include "Vk210TestSupport.h"
#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/ST25RU3993Packets.h"
#include "orvanerfid/commands/Vk640Packets.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/Vk640Protocol.h"
#include "sim/SimVk640.h"

namespace orvane {
namespace {

using test::waitUntil;
using Ev = ProtocolEventId;

// A Vk640 protocol object talking through the accessory transport to a simulated Vk640.
class Vk640EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        log = test::LogCapture::install();
        accessory = SimVk640::makeAccessory(reader);
        manager.attach(accessory);
        transport = EATransport::create();
        transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(accessory));
        ASSERT_TRUE(transport->connect());
        protocol = std::make_shared<Vk640Protocol>(transport);
        protocol->setDelegate(recorder);
        protocol->start();
        protocol->pumpEvent(ProtocolEventArgs(Ev::initialFinished));
    }
    void TearDown() override {
        protocol->stop();
        transport->disconnect();
        EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
        EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 0; }));
    }

    template <typename Packet>
    Packet get() {
        Packet request;
        const Response response = protocol->send(request.getPacketBytes(), 3000);
        EXPECT_EQ(response.resultCode(), ResultCode::noError);
        return Packet(*response.data());
    }

    AccessoryManager manager;
    std::shared_ptr<test::LogCapture> log;
    std::shared_ptr<SimVk640> reader = std::make_shared<SimVk640>();
    std::shared_ptr<SimAccessory> accessory;
    std::shared_ptr<EATransport> transport;
    std::shared_ptr<Vk640Protocol> protocol;
    std::shared_ptr<test::EventRecorder> recorder = std::make_shared<test::EventRecorder>();
};

TEST_F(Vk640EndToEndTest, InventoryReportsEveryTagOnceInOrderWithFeedback) {
    const std::vector<SimTag> population = makeSimTags(1000);
    reader->setTags(population);
    reader->setTagsPerPacket(7);
    reader->setInventoryRate(4000);
    const double gain = 1.5;
    protocol->pumpEvent(ProtocolEventArgs(Ev::resetIndicator));
    protocol->pumpEvent(ProtocolEventArgs(Ev::gValue, gain));

    STUHFL_T_Gen2_Inventory inventory;
    ASSERT_EQ(protocol->send(inventory.commandPacketBytes(), 3000).resultCode(),
              ResultCode::noError);
    ASSERT_TRUE(waitUntil([&] { return recorder->count(Ev::tagInfo) == 1000; }));
    const Response stop = protocol->send(inventory.stopPacketBytes(), 3000);
    ASSERT_EQ(stop.resultCode(), ResultCode::noError);
    EXPECT_EQ(stop.data()->size(), STPacket::kHeaderSize);

    const auto tags = recorder->tags();
    ASSERT_EQ(tags.size(), 1000u);
    for (std::size_t i = 0; i < tags.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tags[i]->epc(), population[i].epc);
        EXPECT_EQ(tags[i]->tid(), population[i].tid);
        const int sum = SimVk640::logI(i) + SimVk640::logQ(i);
        EXPECT_FLOAT_EQ(tags[i]->rssi(),
                        static_cast<float>(std::trunc((sum / 2.0 * 2.1 - gain) * 10.0)) / 10.0f);
        EXPECT_EQ(tags[i]->frequency(), 866900u);
        EXPECT_EQ(tags[i]->q(), 4);
    }
    EXPECT_EQ(recorder->count(Ev::receivedInventoryData), 143);

    // The first tag: beep and vibration with its EPC cut to the display's width.
    const auto shown = reader->shown();
    ASSERT_GE(shown.size(), 2u);
    const std::string epc = tags[0]->strEPC();
    EXPECT_EQ(shown[0].text, epc.substr(0, 13) + "~" + epc.substr(epc.size() - 2));
    EXPECT_EQ(shown[0].signal, std::optional<uint8_t>(3));
    EXPECT_EQ(shown[0].position, 0);
    EXPECT_EQ(shown[0].line, 2);
    EXPECT_TRUE(shown[0].clear);
    // Then the growing count, each with a signal, at 11 minus the text's length.
    std::size_t last = 1;
    for (std::size_t i = 1; i < shown.size(); ++i) {
        const std::size_t count = std::stoul(shown[i].text);
        EXPECT_GT(count, last);
        EXPECT_LE(count, 1000u);
        last = count;
        EXPECT_EQ(shown[i].text, std::to_string(count) + " TAGs");
        EXPECT_EQ(shown[i].position, 11 - shown[i].text.size());
        EXPECT_EQ(shown[i].signal, std::optional<uint8_t>(3));
    }
    EXPECT_EQ(reader->signalsAlone(), 0);
    // The reader's answers to the feedback never reach the reply queue.
    EXPECT_EQ(protocol->queuedReplies(), 0u);
}

TEST_F(Vk640EndToEndTest, DeviceAndRadioReadsAnswerFromState) {
    EXPECT_EQ(get<STUHFL_BluetoothMacAddress>().bluetoothMacAddress, "060504030201");
    // Identity texts come in 16-byte fields, as the reader sends them.
    EXPECT_EQ(get<STUHFL_FirmwareVersion>().firmwareVersion,
              std::string("1.01.11\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(get<STUHFL_ModelName>().modelName.substr(0, 5), "VK640");
    EXPECT_EQ(get<STUHFL_SKU>().sku, SkuType::european);
    EXPECT_EQ(get<STUHFL_Temperature>().temperature, 31);
    EXPECT_EQ(get<STUHFL_BatteryInfo>().percentage, 80);
    const auto profile = get<STUHFL_T_ST25RU3993_FreqProfileInfo>();
    EXPECT_EQ(profile.profile, 1);
    EXPECT_EQ(profile.minFrequency, 865700u);
    EXPECT_EQ(profile.maxFrequency, 867500u);

    reader->setSetting("register.0A", {0x5C});
    STUHFL_T_ST25RU3993_Register request;
    request.addr = 0x0A;
    const Response response = protocol->send(request.getPacketBytes(), 3000);
    ASSERT_EQ(response.resultCode(), ResultCode::noError);
    const STUHFL_T_ST25RU3993_Register value(*response.data());
    EXPECT_EQ(value.addr, 0x0A);
    EXPECT_EQ(value.data, 0x5C);
    // The same events come from the battery and temperature answers.
    EXPECT_EQ(recorder->count(Ev::batteryPercentage), 1);
    EXPECT_EQ(recorder->count(Ev::temperature), 1);
}

TEST_F(Vk640EndToEndTest, NotificationsOnDemandBecomeEvents) {
    ASSERT_TRUE(reader->sendTriggerKey(true));
    ASSERT_TRUE(reader->sendTriggerKey(false));
    ASSERT_TRUE(reader->sendBatteryNotice(42));
    ASSERT_TRUE(waitUntil([&] { return recorder->count(Ev::batteryPercentage) == 1; }));
    const auto events = recorder->events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_TRUE(events[0].get<KeyEventArgs>()->pressed());
    EXPECT_FALSE(events[1].get<KeyEventArgs>()->pressed());
    EXPECT_EQ(*events[2].get<uint8_t>(), 42);
    // The notice waits in the reply queue (queued once its events are delivered); a later
    // battery request does not take it for its answer.
    EXPECT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1u; }));
    reader->setSetting("battery", {43});
    EXPECT_EQ(get<STUHFL_BatteryInfo>().percentage, 43);
}

TEST_F(Vk640EndToEndTest, RepliesSurviveGarbageAndSplitsAndLateRepliesStayStale) {
    accessory->setFaults(test::faults([](SimFaults& f) {
        f.garbageBeforeReply = {0x00, 0x13, 0x80};
        f.splitReplyAt = 7;
    }));
    EXPECT_EQ(get<STUHFL_SKU>().sku, SkuType::european);
    accessory->setFaults({});

    reader->setReplyFaults(SimReplyFaults{{}, std::nullopt, 1, true});
    STUHFL_SKU sku;
    EXPECT_EQ(protocol->send(sku.getPacketBytes(), 300).resultCode(), ResultCode::timeout);
    // The reply leaves once the send has given up on it.
    EXPECT_EQ(reader->releaseHeldFrames(), 1u);
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));
    reader->setSetting("sku", {2});
    EXPECT_EQ(get<STUHFL_SKU>().sku, SkuType::us);
}

TEST_F(Vk640EndToEndTest, WritesOutsideTheSendLockNeverInterleave) {
    // The stream takes three bytes a write, so each packet leaves in pieces.
    accessory->setFaults(test::faults([](SimFaults& f) { f.maxWriteChunk = 3; }));
    constexpr int kEach = 40;
    const auto writer = [&](const std::string& text, uint8_t line) {
        for (int i = 0; i < kEach; ++i)
            protocol->displayOutput(text, 2, line);
    };
    std::thread first(writer, "first", 1);
    std::thread second(writer, "second", 3);
    first.join();
    second.join();
    ASSERT_TRUE(waitUntil([&] { return reader->shown().size() == 2 * kEach; }));
    for (const auto& shown : reader->shown()) {
        EXPECT_EQ(shown.text, shown.line == 1 ? "first" : "second");
        EXPECT_EQ(shown.position, 2);
    }
}

TEST_F(Vk640EndToEndTest, DroppedLinkFailsSendsUntilTheLoopEnds) {
    reader->setTags(makeSimTags(200));
    reader->setDropLinkAfterTags(50);
    // Slow enough that the start's reply is out before the link goes.
    reader->setInventoryRate(500);
    STUHFL_T_Gen2_Inventory inventory;
    ASSERT_EQ(protocol->send(inventory.commandPacketBytes(), 3000).resultCode(),
              ResultCode::noError);
    ASSERT_TRUE(waitUntil([&] { return reader->reportsStreamed() >= 50; }));
    // The stop cannot be written; the reader's side then disconnects, which ends the loop.
    EXPECT_EQ(protocol->send(inventory.stopPacketBytes(), 3000).resultCode(),
              ResultCode::otherError);
    EXPECT_LE(recorder->count(Ev::tagInfo), 56);
    transport->disconnect();
    ASSERT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    EXPECT_EQ(protocol->queuedReplies(), 0u);
}

}  // namespace
}  // namespace orvane
