#include "orvanerfid/link/Vk640Protocol.h"

#include <gtest/gtest.h>

#include <thread>

#include "LinkTestSupport.h"
#include "Vk210TestSupport.h"
#include "commands/STTestSupport.h"
#include "orvanerfid/commands/ST25RU3993Packets.h"
#include "orvanerfid/commands/Vk640Packets.h"

namespace orvane {
namespace {

using sttest::packet;
using sttest::tlvReply;
using test::joined;
using test::waitUntil;
using Ev = ProtocolEventId;

// Inventory data records.
Bytes record(uint8_t tag, const Bytes& value) {
    Bytes r;
    r.reserve(2 + value.size());
    r.push_back(tag);
    r.push_back(static_cast<uint8_t>(value.size()));
    r.insert(r.end(), value.begin(), value.end());
    return r;
}
Bytes statistics(uint8_t q, uint32_t frequency) {
    Bytes v(16, 0);
    v[11] = q;
    for (int i = 0; i < 4; ++i)
        v[12 + i] = static_cast<uint8_t>(frequency >> (8 * i));
    return record(0x02, v);
}
Bytes header(uint8_t antenna, uint8_t logI, uint8_t logQ) {
    Bytes v(12, 0);
    v[4] = antenna;
    v[6] = logI;
    v[7] = logQ;
    v[10] = 0x30;
    return record(0x03, v);
}
const Bytes kFinished{0xFF, 0x00};
Bytes inventory(const Bytes& records) {
    return packet(0x03, 0x02, records);
}

const Bytes kMacReply = tlvReply(0x10, 0x03, 0x03, {1, 2, 3, 4, 5, 6});

class Vk640ProtocolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        log = test::LogCapture::install();
        transport = std::make_shared<test::FeedTransport>();
        transport->firmware = "1.01.11";
        protocol = std::make_shared<Vk640Protocol>(transport);
        recorder = std::make_shared<test::EventRecorder>();
        protocol->setDelegate(recorder);
        protocol->start();
    }
    void TearDown() override {
        protocol->stop();
        EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    }

    // Waits until the loop has sorted everything the reader sent.
    bool drained() {
        return waitUntil([&] { return transport->byteQueue().count() == 0; });
    }
    void finishStartUp() { protocol->pumpEvent(ProtocolEventArgs(Ev::initialFinished)); }

    std::shared_ptr<test::LogCapture> log;
    std::shared_ptr<test::FeedTransport> transport;
    std::shared_ptr<Vk640Protocol> protocol;
    std::shared_ptr<test::EventRecorder> recorder;
};

TEST_F(Vk640ProtocolTest, SendReturnsTheReplyWithANewSequenceNumber) {
    transport->onWrite = [&](ByteView) { transport->feed(kMacReply); };
    STUHFL_BluetoothMacAddress mac;
    const Response response = protocol->send(mac.getPacketBytes(), 3000);
    ASSERT_EQ(response.resultCode(), ResultCode::noError);
    const Bytes& reply = *response.data();
    ASSERT_EQ(reply.size(), kMacReply.size());
    EXPECT_NE(readBe16(reply, 2), readBe16(kMacReply, 2));
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 2),
              Bytes(kMacReply.begin(), kMacReply.begin() + 2));
    EXPECT_EQ(Bytes(reply.begin() + 4, reply.end()), Bytes(kMacReply.begin() + 4, kMacReply.end()));
    EXPECT_EQ(protocol->queuedReplies(), 0u);
}

TEST_F(Vk640ProtocolTest, UnclaimedRepliesStayQueuedBehindTheClaimedOne) {
    const Bytes unclaimed = tlvReply(0x01, 0x00, 0x08, {1});
    transport->feed(unclaimed);
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));
    transport->onWrite = [&](ByteView) { transport->feed(kMacReply); };
    STUHFL_BluetoothMacAddress mac;
    EXPECT_EQ(protocol->send(mac.getPacketBytes(), 3000).resultCode(), ResultCode::noError);
    EXPECT_EQ(protocol->queuedReplies(), 1u);
}

TEST_F(Vk640ProtocolTest, DeviceGroupRequestsInsistOnTheirTag) {
    // A device-group request with a tag refuses an empty reply; another group accepts it.
    transport->onWrite = [&](ByteView written) {
        transport->feed(packet(written[6], written[7], {}));
    };
    STUHFL_Beeper beeper;
    EXPECT_EQ(protocol->send(beeper.getPacketBytes(), 200).resultCode(), ResultCode::timeout);
    STUHFL_T_ST25RU3993_FreqProfileInfo profile;
    const Response response = protocol->send(profile.getPacketBytes(), 3000);
    EXPECT_EQ(response.resultCode(), ResultCode::noError);
    EXPECT_EQ(response.data()->size(), 10u);
}

TEST_F(Vk640ProtocolTest, LateReplyNeverAnswersTheNextRequest) {
    STUHFL_BluetoothMacAddress mac;
    EXPECT_EQ(protocol->send(mac.getPacketBytes(), 100).resultCode(), ResultCode::timeout);
    transport->feed(tlvReply(0x10, 0x03, 0x03, {9, 9, 9, 9, 9, 9}));  // late
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));
    transport->onWrite = [&](ByteView) { transport->feed(kMacReply); };
    const Response response = protocol->send(mac.getPacketBytes(), 3000);
    ASSERT_EQ(response.resultCode(), ResultCode::noError);
    EXPECT_EQ(response.data()->back(), 6);
}

TEST_F(Vk640ProtocolTest, MultiSendCollectsRepliesInArrivalOrder) {
    STUHFL_Beeper beeper;
    STUHFL_Vibrator vibrator;
    Bytes both = beeper.getPacketBytes();
    const Bytes second = vibrator.getPacketBytes();
    both.insert(both.end(), second.begin(), second.end());
    const Bytes beeperReply = tlvReply(0x10, 0x11, 0x02, {2});
    const Bytes vibratorReply = tlvReply(0x10, 0x11, 0x01, {1});
    transport->onWrite = [&](ByteView) { transport->feed(joined({vibratorReply, beeperReply})); };
    const Response response = protocol->send(both, 3000, 2);
    ASSERT_EQ(response.resultCode(), ResultCode::noError);
    const Bytes& joined = *response.data();
    ASSERT_EQ(joined.size(), 26u);
    EXPECT_EQ(joined[10], 0x01);
    EXPECT_EQ(joined[23], 0x02);

    // More replies asked for than requests written: the extra never comes.
    EXPECT_EQ(protocol->send(both, 200, 3).resultCode(), ResultCode::timeout);
    // None asked for: done right after the write.
    const Response none = protocol->send(both, 3000, 0);
    EXPECT_EQ(none.resultCode(), ResultCode::noError);
    EXPECT_FALSE(none.data());
    EXPECT_EQ(protocol->send(both, 3000, 256).resultCode(), ResultCode::invalidParameter);
}

TEST_F(Vk640ProtocolTest, RequestThatIsNoPacketIsRefusedUnwritten) {
    EXPECT_EQ(protocol->send(Bytes{0x80, 0x00, 0x01}, 100).resultCode(),
              ResultCode::invalidParameter);
    EXPECT_EQ(transport->writeCount(), 0);
}

TEST_F(Vk640ProtocolTest, PacketsAreCutWholeAcrossPiecesAndGarbage) {
    const Bytes reply = packet(0x01, 0x00, {0x08, 0x03, 1, 2, 3});
    ASSERT_EQ(reply.size(), 15u);
    transport->feed(Bytes(reply.begin(), reply.begin() + 10));
    ASSERT_TRUE(drained());
    EXPECT_EQ(protocol->queuedReplies(), 0u);
    transport->feed(Bytes(reply.begin() + 10, reply.end()));
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));

    // Garbage ahead of a packet costs only the garbage.
    transport->feed(joined({{0x00, 0x80, 0x7F, 0x80}, reply, reply}));
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 3; }));
    EXPECT_EQ(log->count("keepReadThread() skipped 4 bytes", LogLevel::error), 1);
}

TEST_F(Vk640ProtocolTest, StalledPartialPacketIsClearedOnlyFromAHeaderOn) {
    const Bytes reply = packet(0x01, 0x00, {0x08, 0x03, 1, 2, 3});
    // Nine bytes wait as long as they must.
    transport->feed(Bytes(reply.begin(), reply.begin() + 9));
    Clock::sleepForMs(1300);
    transport->feed(Bytes(reply.begin() + 9, reply.end()));
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));
    EXPECT_EQ(log->count("keepReadThread() There is no data in 1 second"), 0);

    // Twelve bytes of a packet with no more coming are a wrong cut.
    transport->feed(Bytes(reply.begin(), reply.begin() + 12));
    ASSERT_TRUE(waitUntil(
        [&] { return log->count("keepReadThread() There is no data in 1 second") == 1; }));
    transport->feed(joined({Bytes(reply.begin() + 12, reply.end()), reply}));
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 2; }));
}

// A turn that cuts for longer than the stall limit (here held in the indicator write of a tag)
// does not give up the packet it cut last for a false start: its rest arrived meanwhile.
TEST_F(Vk640ProtocolTest, ATurnLongerThanTheStallLimitKeepsThePacketWhoseRestCameMeanwhile) {
    finishStartUp();
    protocol->pumpEvent(ProtocolEventArgs(Ev::resetIndicator));
    std::atomic<bool> held{false};
    transport->onWrite = [&](ByteView) {
        if (held.exchange(true)) return;
        transport->feed(Bytes(kMacReply.begin() + 12, kMacReply.end()));
        Clock::sleepForMs(1500);
    };
    transport->feed(
        joined({inventory(joined({header(1, 10, 12), record(0x04, {0xE2, 0x01}), kFinished})),
                Bytes(kMacReply.begin(), kMacReply.begin() + 12)}));
    EXPECT_TRUE(
        waitUntil([&] { return protocol->queuedReplies() == 1; }, std::chrono::seconds(20)));
    EXPECT_TRUE(held.load());
    EXPECT_EQ(log->count("keepReadThread() There is no data in 1 second"), 0);
}

TEST_F(Vk640ProtocolTest, DeviceNotificationsRaiseEvents) {
    // A battery notification answers a waiting battery request and raises its event first.
    transport->onWrite = [&](ByteView) { transport->feed(tlvReply(0x10, 0x05, 0x05, {80})); };
    STUHFL_BatteryInfo battery;
    const Response response = protocol->send(battery.getPacketBytes(), 3000);
    ASSERT_EQ(response.resultCode(), ResultCode::noError);
    EXPECT_EQ(response.data()->back(), 80);
    EXPECT_EQ(*recorder->events().at(0).get<uint8_t>(), 80);

    transport->feed(joined({tlvReply(0x10, 0x21, 0x21, {1}), tlvReply(0x10, 0x21, 0x21, {0}),
                            tlvReply(0x10, 0x21, 0x22, {1}), tlvReply(0x10, 0x12, 0x0D, {}),
                            packet(0x10, 0x21, {}), tlvReply(0x10, 0x07, 0x07, {31})}));
    ASSERT_TRUE(waitUntil([&] { return recorder->count(Ev::temperature) == 1; }));
    const auto events = recorder->events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_TRUE(events[1].get<KeyEventArgs>()->pressed());
    EXPECT_FALSE(events[2].get<KeyEventArgs>()->pressed());
    EXPECT_EQ(*events[3].get<double>(), 31.0);
    // Queued: the unknown event and the temperature; dropped: the display reply and the empty
    // event. The temperature's reply is queued after its event is raised.
    EXPECT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 2u; }));
    EXPECT_EQ(log->count("keepReadThread() Unknown event packet", LogLevel::error), 1);
    EXPECT_EQ(log->count("keepReadThread() ************ Result Code: Invalid Parameter"), 1);
}

TEST_F(Vk640ProtocolTest, InventoryDataWaitsForTheStartUpAndKeepsTheLoopRunning) {
    const Bytes data = inventory(joined({header(1, 10, 12), record(0x04, {0xE2}), kFinished}));
    transport->feed(data);
    ASSERT_TRUE(drained());
    transport->onWrite = [&](ByteView) { transport->feed(kMacReply); };
    STUHFL_BluetoothMacAddress mac;
    EXPECT_EQ(protocol->send(mac.getPacketBytes(), 3000).resultCode(), ResultCode::noError);
    EXPECT_EQ(recorder->count(Ev::tagInfo), 0);

    finishStartUp();
    transport->feed(data);
    ASSERT_TRUE(waitUntil([&] { return recorder->count(Ev::receivedInventoryData) == 1; }));
    EXPECT_EQ(recorder->count(Ev::tagInfo), 1);

    // A new start is a new connection: its start-up comes first again.
    protocol->start();
    EXPECT_FALSE(protocol->initialFinished());
}

TEST_F(Vk640ProtocolTest, InventoryRecordsBecomeReportsWithIndicatorWrites) {
    finishStartUp();
    protocol->pumpEvent(ProtocolEventArgs(Ev::gValue, 1.5));
    protocol->pumpEvent(ProtocolEventArgs(Ev::resetIndicator));
    transport->feed(inventory(
        joined({statistics(4, 866900), header(1, 10, 12), record(0x04, {0xE2, 0x00, 0x01}),
                kFinished, header(2, 10, 12), record(0x04, {0xE2, 0x00, 0x02}), kFinished})));
    transport->feed(inventory({}));
    ASSERT_TRUE(waitUntil([&] { return recorder->count(Ev::receivedInventoryData) == 2; }));
    const auto tags = recorder->tags();
    ASSERT_EQ(tags.size(), 2u);
    for (const auto& tag : tags) {
        EXPECT_EQ(tag->frequency(), 866900u);
        EXPECT_EQ(tag->q(), 4);
        EXPECT_FLOAT_EQ(tag->rssi(), 21.6f);
    }
    EXPECT_EQ(tags[1]->antenna(), 2);
    EXPECT_EQ(tags[1]->strEPC(), "E20002");
    // The events come in order: two reports, then the end of each packet.
    const auto events = recorder->events();
    EXPECT_EQ(events[2].id(), Ev::receivedInventoryData);

    // The first tag signalled and shown, in one write, without waiting for a reply.
    ASSERT_EQ(transport->writeCount(), 1);
    const Bytes signal = transport->written();
    ASSERT_EQ(signal.size(), 14u + 10u + 9u);
    EXPECT_EQ(Bytes(signal.begin() + 10, signal.begin() + 14), (Bytes{0x06, 0x02, 0x03, 0x05}));
    EXPECT_EQ(std::string(signal.begin() + 27, signal.end()), "E20001");
    EXPECT_EQ(signal[26], 0x20 | 5 | 0x80);
    EXPECT_TRUE(protocol->indicatorState().getTag());
    EXPECT_EQ(protocol->indicatorState().tagCount(), 2u);
}

TEST_F(Vk640ProtocolTest, MalformedRecordStopsItsPacketOnly) {
    finishStartUp();
    transport->feed(inventory(joined({record(0x04, {0xAA}), kFinished, record(0x03, {1, 2}),
                                      kFinished, record(0x04, {0xBB}), kFinished})));
    transport->feed(inventory(joined({record(0x04, {0xCC}), kFinished})));
    ASSERT_TRUE(waitUntil([&] { return recorder->count(Ev::receivedInventoryData) == 1; }));
    const auto tags = recorder->tags();
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0]->strEPC(), "AA");
    EXPECT_EQ(tags[1]->strEPC(), "CC");
}

TEST_F(Vk640ProtocolTest, PumpedEventsSetStateOrAreRefused) {
    protocol->pumpEvent(
        ProtocolEventArgs(Ev::tagsIndicator, InventoryIndicator(true, false, true)));
    EXPECT_TRUE(protocol->indicatorReadOnce());
    EXPECT_FALSE(protocol->indicatorBeeper());
    EXPECT_TRUE(protocol->indicatorVibrator());
    protocol->pumpEvent(ProtocolEventArgs(Ev::gValue, 2.5));
    protocol->pumpEvent(ProtocolEventArgs(Ev::gValue));
    protocol->pumpEvent(ProtocolEventArgs(Ev::tagsIndicator));
    EXPECT_EQ(protocol->gValue(), 2.5);
    EXPECT_TRUE(protocol->indicatorReadOnce());
    EXPECT_EQ(log->count("pumpEvent(_:) ", LogLevel::error), 2);
    protocol->pumpEvent(ProtocolEventArgs(Ev::macAddress, std::string("060504030201")));
    EXPECT_EQ(recorder->count(Ev::macAddress), 1);
}

TEST_F(Vk640ProtocolTest, TriggerIndicatorFollowsSettingsAndFirmware) {
    transport->firmware = "1.01.09";  // the first with a display
    protocol->pumpEvent(
        ProtocolEventArgs(Ev::tagsIndicator, InventoryIndicator(false, false, false)));
    auto old = std::make_shared<test::FeedTransport>();
    old->firmware = "1.01.08";
    auto quiet = std::make_shared<Vk640Protocol>(old);
    quiet->pumpEvent(ProtocolEventArgs(Ev::tagsIndicator, InventoryIndicator(false, false, false)));
    quiet->triggerIndicator("A", 0);
    quiet->displayOutput("A", 0, 1);
    EXPECT_EQ(old->writeCount(), 1);
    EXPECT_TRUE(old->written().empty());

    protocol->triggerIndicator("A", 0);
    ASSERT_EQ(transport->writeCount(), 1);
    EXPECT_EQ(transport->written().at(10), 0x0D);
}

TEST_F(Vk640ProtocolTest, DroppedLinkEndsTheLoopAndEmptiesTheQueue) {
    transport->feed(kMacReply);
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));
    transport->disconnect();
    ASSERT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    EXPECT_EQ(protocol->queuedReplies(), 0u);
    EXPECT_EQ(log->count("keepReadThread() transport is disconnected", LogLevel::error), 1);
}

// A loop stopped in the middle of a long backlog (here by the indicator write of its first tag)
// cuts no further packet and raises none of the tag reports it had parsed.
TEST_F(Vk640ProtocolTest, ALoopStoppedInItsTurnCutsNoFurtherPacket) {
    finishStartUp();
    protocol->pumpEvent(ProtocolEventArgs(Ev::resetIndicator));
    transport->onWrite = [&](ByteView) { protocol->stop(); };
    Bytes backlog;
    for (int i = 0; i < 2000; ++i) {
        const auto low = static_cast<uint8_t>(i);
        const auto high = static_cast<uint8_t>(i >> 8);
        const Bytes one =
            inventory(joined({header(1, 10, 12), record(0x04, {0xE2, high, low}), kFinished}));
        backlog.insert(backlog.end(), one.begin(), one.end());
    }
    transport->feed(backlog);
    ASSERT_TRUE(waitUntil([&] { return transport->writeCount() > 0; }));
    ASSERT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    EXPECT_EQ(transport->writeCount(), 1);
    EXPECT_EQ(protocol->packetsCut(), 1u);
    EXPECT_EQ(protocol->tagReportsParsed(), 1u);
    EXPECT_EQ(recorder->count(Ev::tagInfo), 0);
}

// A loop stopped while it delivers (here by its first tag report's delegate) hands nothing else
// of its connection on: no note that inventory data flowed, which would reach the inventory of
// the next connection, and no reply, which would wait in the queue for a request of the next.
TEST_F(Vk640ProtocolTest, ALoopStoppedWhileItDeliversHandsOnNothingOfItsConnection) {
    finishStartUp();
    recorder->onEvent = [&](const ProtocolEventArgs& event) {
        if (event.id() == Ev::tagInfo) protocol->stop();
    };
    transport->feed(
        joined({inventory(joined({header(1, 10, 12), record(0x04, {0xE2, 0x01}), kFinished})),
                kMacReply}));
    ASSERT_TRUE(waitUntil([&] { return recorder->count(Ev::tagInfo) == 1; }));
    ASSERT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    EXPECT_EQ(recorder->count(Ev::receivedInventoryData), 0);
    EXPECT_EQ(protocol->queuedReplies(), 0u);
}

TEST_F(Vk640ProtocolTest, WhateverADelegateThrowsStaysInTheLibrary) {
    recorder->onEvent = [](const ProtocolEventArgs&) { throw 7; };
    transport->feed(tlvReply(0x10, 0x21, 0x21, {1}));
    ASSERT_TRUE(waitUntil([&] { return recorder->count(Ev::keyEvent) == 1; }));
    // The battery notification that also answers a send still answers it.
    transport->onWrite = [&](ByteView) { transport->feed(tlvReply(0x10, 0x05, 0x05, {80})); };
    STUHFL_BatteryInfo battery;
    const Response response = protocol->send(battery.getPacketBytes(), 3000);
    ASSERT_EQ(response.resultCode(), ResultCode::noError);
    EXPECT_EQ(response.data()->back(), 80);
    EXPECT_EQ(protocol->receiveLoopsRunning(), 1);
    // A pumped event that reaches the delegate stays in the library too.
    EXPECT_NO_THROW(
        protocol->pumpEvent(ProtocolEventArgs(Ev::macAddress, std::string("060504030201"))));
    EXPECT_EQ(log->count("protocolEvent threw", LogLevel::error), 3);
}

TEST_F(Vk640ProtocolTest, AFalseStartCostsASecondNotTheReply) {
    // A plausible header whose length runs past the reply behind it.
    Bytes falseStart(kMacReply.begin(), kMacReply.begin() + 10);
    falseStart[8] = 0x01;
    falseStart[9] = 0x00;
    transport->onWrite = [&](ByteView) { transport->feed(joined({falseStart, kMacReply})); };
    STUHFL_BluetoothMacAddress mac;
    EXPECT_EQ(protocol->send(mac.getPacketBytes(), 5000).resultCode(), ResultCode::noError);
    EXPECT_EQ(log->count("keepReadThread() There is no data in 1 second"), 1);
}

TEST_F(Vk640ProtocolTest, ADroppedLinkEndsAWaitingSendAt6006) {
    STUHFL_BluetoothMacAddress mac;
    const Bytes one = mac.getPacketBytes();
    test::expectADroppedLinkEndsAWaitingSend(
        *transport,
        [&](int number) {
            return number < 0 ? protocol->send(one, 60000)
                              : protocol->send(joined({one, one}), 60000, number);
        },
        [&] { protocol->start(); });
}

TEST(Vk640ProtocolRestart, AStalledTurnOfTheEndedLinkTakesNothingOfTheNext) {
    auto transport = std::make_shared<test::WaitingTransport>();
    auto protocol = std::make_shared<Vk640Protocol>(transport);
    protocol->start();
    const Bytes mac = STUHFL_BluetoothMacAddress().getPacketBytes();
    test::expectAStalledTurnTakesNothingOfTheNextLink(
        *transport, *protocol, Bytes(64, 0xEE), kMacReply, [&] { return protocol->start(); },
        [&] { return protocol->send(mac, BaseProtocol::defaultTimeout); });
    protocol->stop();
    EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
}

TEST(Vk640ProtocolRestart, ALoopStoppedInItsTurnTakesNothingFromTheTransport) {
    auto transport = std::make_shared<test::FeedTransport>();
    auto protocol = std::make_shared<test::HeldTurns<Vk640Protocol>>(transport);
    test::expectAStoppedTurnTakesNothing(*transport, *protocol, kMacReply);
}

TEST(Vk640ProtocolSink, ASinkThatWaitsOnTheLibraryRunsAfterItsLocksAreReleased) {
    auto transport = std::make_shared<test::FeedTransport>();
    auto protocol = std::make_shared<Vk640Protocol>(transport);
    transport->onWrite = [&](ByteView) { transport->feed(kMacReply); };
    protocol->start();
    const Bytes mac = STUHFL_BluetoothMacAddress().getPacketBytes();
    const auto send = [&] {
        EXPECT_EQ(protocol->send(mac, 1000).resultCode(), ResultCode::noError);
    };
    test::expectASinkMayCallBack("+++ send(data:timeout:)", send, send);
    protocol->stop();
    EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
}

TEST(Vk640SendLock, ReadersTakeTurnsWithTheirSends) {
    auto slowLink = std::make_shared<test::FeedTransport>();
    auto fastLink = std::make_shared<test::FeedTransport>();
    auto slow = std::make_shared<Vk640Protocol>(slowLink);
    auto fast = std::make_shared<Vk640Protocol>(fastLink);
    slow->start();
    fast->start();
    // The fast reader's write also brings the slow reader's reply: had it come while the slow
    // send still waited, that send would succeed instead of timing out.
    fastLink->onWrite = [&](ByteView) {
        slowLink->feed(kMacReply);
        fastLink->feed(kMacReply);
    };
    std::atomic<bool> slowWaiting{false};
    slowLink->onWrite = [&](ByteView) { slowWaiting = true; };
    Response slowResponse(ResultCode::undefined, std::nullopt);
    std::thread slowSend([&] {
        STUHFL_BluetoothMacAddress mac;
        slowResponse = slow->send(mac.getPacketBytes(), 400);
    });
    ASSERT_TRUE(waitUntil([&] { return slowWaiting.load(); }));
    STUHFL_BluetoothMacAddress mac;
    EXPECT_EQ(fast->send(mac.getPacketBytes(), 3000).resultCode(), ResultCode::noError);
    slowSend.join();
    EXPECT_EQ(slowResponse.resultCode(), ResultCode::timeout);
    slow->stop();
    fast->stop();
}

}  // namespace
}  // namespace orvane
