#include "orvanerfid/link/Vk210Protocol.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "LinkTestSupport.h"
#include "Vk210TestSupport.h"
#include "orvanerfid/platform/ClockPause.h"
#include "sim/SimVk210.h"

namespace orvane {
namespace {

using test::EventRecorder;
using test::FeedTransport;
using test::joined;
using test::replyFrame;
using test::waitUntil;
using Id = OrvRfidCmdId;

Bytes request(Id id, const Bytes& data = {}) {
    return OrvaneRfidCommand::frame(id, data);
}

Bytes event(Id id, const Bytes& data) {
    return OrvaneRfidCommand::frame(id, data);
}

class Vk210ProtocolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        log = test::LogCapture::install();
        savedLevel = orvLogger::level();
        orvLogger::setLevel(LogLevel::debug);
        protocol->setDelegate(recorder);
        ASSERT_TRUE(protocol->start());
        ASSERT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 1; }));
    }
    void TearDown() override {
        protocol->stop();
        EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
        orvLogger::setLevel(savedLevel);
    }

    // Feeds `bytes` and waits until the loop has taken them all.
    void feed(const Bytes& bytes) {
        transport->feed(bytes);
        ASSERT_TRUE(waitUntil([&] { return transport->byteQueue().count() == 0; }));
    }
    // Feeds the frames and waits for `events` events in all.
    std::vector<ProtocolEventArgs> eventsAfter(const Bytes& bytes, std::size_t events) {
        transport->feed(bytes);
        EXPECT_TRUE(waitUntil([&] { return recorder->count() >= events; }));
        return recorder->events();
    }

    std::shared_ptr<test::LogCapture> log;
    LogLevel savedLevel = LogLevel::info;
    std::shared_ptr<FeedTransport> transport = std::make_shared<FeedTransport>();
    std::shared_ptr<Vk210Protocol> protocol = std::make_shared<Vk210Protocol>(transport);
    std::shared_ptr<EventRecorder> recorder = std::make_shared<EventRecorder>();
};

// ---- Sends ---------------------------------------------------------------------------------

TEST_F(Vk210ProtocolTest, SendReturnsItsReplyAndPutsOthersBackAtTheTail) {
    const Bytes firmware = replyFrame(Id::firmware, 0x00, {1, 1, 11});
    const Bytes serial = replyFrame(Id::serialNumber, 0x00, {'S', '1'});
    transport->onWrite = [&](ByteView) { transport->feed(joined({serial, firmware})); };
    const Response response = protocol->send(request(Id::firmware), 1000);
    EXPECT_EQ(response.resultCode(), ResultCode::noError);
    EXPECT_EQ(response.data(), firmware);
    // The serial-number reply belongs to nobody and stays queued.
    EXPECT_EQ(protocol->queuedReplies(), 1u);
    // Seen at least once (again on every turn that found no match).
    EXPECT_GE(log->count("Received packet ID: serialNumber, but expected ID: firmware"), 1);

    // A reply with an error status is matched like any other.
    transport->onWrite = [&](ByteView) { transport->feed(replyFrame(Id::modelName, 0x81)); };
    const Response refused = protocol->send(request(Id::modelName), 1000);
    EXPECT_EQ(refused.resultCode(), ResultCode::noError);
    EXPECT_EQ(refused.data(), replyFrame(Id::modelName, 0x81));
}

TEST_F(Vk210ProtocolTest, ALateReplyNeverAnswersALaterRequest) {
    // The first request gets no reply in time; its reply comes after the timeout.
    const Bytes stale = replyFrame(Id::paTemperature, 0x00, {0x00, 0x01});
    const Bytes fresh = replyFrame(Id::paTemperature, 0x00, {0x01, 0x2C});
    EXPECT_EQ(protocol->send(request(Id::paTemperature), 30).resultCode(), ResultCode::timeout);
    feed(stale);
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));
    transport->onWrite = [&](ByteView) { transport->feed(fresh); };
    const Response response = protocol->send(request(Id::paTemperature), 1000);
    EXPECT_EQ(response.resultCode(), ResultCode::noError);
    EXPECT_EQ(response.data(), fresh);
    EXPECT_EQ(protocol->queuedReplies(), 0u);
    EXPECT_EQ(log->count("send(data:timeout:) Dropped 1 stale reply(s) of paTemperature"), 1);
}

// The read of the clock to hold at its pause: the n-th from now on the thread that sets it.
thread_local int tReadsBeforeHold = 0;
test::Gate* gHeldRead = nullptr;
void holdCountedRead() {
    if (tReadsBeforeHold > 0 && --tReadsBeforeHold == 0) gHeldRead->pass();
}

// A send whose thread looks at the queue only after its deadline (it woke late) still takes the
// reply queued before the deadline. The send is held in its first look at the clock after the
// start of its timeout, its reply is queued meanwhile, and then the clock runs fast past the
// deadline; the held read then reads the time again (the speed changed under it), after the
// deadline.
TEST_F(Vk210ProtocolTest, ASendThatLooksAfterItsDeadlineTakesTheReplyQueuedBeforeIt) {
    constexpr int kTimeout = 120000;
    const Bytes reply = replyFrame(Id::firmware, 0x00, {1, 1, 11});
    test::Gate gate;
    gate.close();
    gHeldRead = &gate;
    // After the write: the timeout's start, then the send's first look.
    transport->onWrite = [&](ByteView) { tReadsBeforeHold = 2; };
    setClockReadPause(&holdCountedRead);
    Response response(ResultCode::undefined, std::nullopt);
    std::thread sender([&] { response = protocol->send(request(Id::firmware), kTimeout); });
    // On every way out the send is let go (the reply, if not yet fed, answers it) and joined.
    const std::shared_ptr<void> release(nullptr, [&](void*) {
        Clock::setSpeed(1.0);
        if (sender.joinable()) {
            if (protocol->queuedReplies() == 0) transport->feed(reply);
            gate.open();
            sender.join();
        }
        setClockReadPause(nullptr);
    });
    ASSERT_TRUE(waitUntil([&] { return gate.waiting() == 1; }));
    const Clock::time_point held = Clock::now();
    transport->feed(reply);
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));
    Clock::setSpeed(10000.0);
    ASSERT_TRUE(
        waitUntil([&] { return Clock::now() > held + std::chrono::milliseconds(kTimeout); }));
    Clock::setSpeed(1.0);
    gate.open();
    sender.join();
    EXPECT_EQ(response.resultCode(), ResultCode::noError);
    EXPECT_EQ(response.data(), reply);
    EXPECT_EQ(protocol->queuedReplies(), 0u);
}

TEST_F(Vk210ProtocolTest, SendFailuresEndWithoutWaiting) {
    // Timeout 0: over at the first look after the write, which takes a reply queued by then
    // (the write waits for it to be queued) and ends without one.
    transport->onWrite = [&](ByteView) {
        transport->feed(replyFrame(Id::firmware, 0));
        EXPECT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));
    };
    EXPECT_EQ(protocol->send(request(Id::firmware), 0).resultCode(), ResultCode::noError);
    transport->onWrite = nullptr;
    EXPECT_EQ(protocol->send(request(Id::firmware), 0).resultCode(), ResultCode::timeout);

    const Bytes notAFrame{0x02, 0x00, 0x04, 0x00};
    EXPECT_EQ(protocol->send(notAFrame, 1000).resultCode(), ResultCode::otherError);
    EXPECT_EQ(log->count("Error creating OrvaneRfidCommand: ", LogLevel::error), 1);

    transport->writeError = ResultCode::connectFailed;
    const Response failed = protocol->send(request(Id::firmware), 1000);
    EXPECT_EQ(failed.resultCode(), ResultCode::connectFailed);
    EXPECT_FALSE(failed.data().has_value());
    EXPECT_EQ(protocol->send(request(Id::firmware), 1000, 1).resultCode(),
              ResultCode::connectFailed);
}

TEST_F(Vk210ProtocolTest, MultiSendCollectsRepliesInMatchOrder) {
    const Bytes twoRequests = joined({request(Id::paTemperature), request(Id::batteryStatus)});
    const Bytes pa = replyFrame(Id::paTemperature, 0, {0x01, 0x2C});
    const Bytes battery = replyFrame(Id::batteryStatus, 0, {0x01, 0x50});

    // Replies arrive battery first: the data keep that order.
    transport->onWrite = [&](ByteView) { transport->feed(joined({battery, pa})); };
    Response both = protocol->send(twoRequests, 1000, 2);
    EXPECT_EQ(both.resultCode(), ResultCode::noError);
    EXPECT_EQ(both.data(), joined({battery, pa}));

    // Two requests of one code take two replies of it; a foreign reply stays queued.
    const Bytes serial = replyFrame(Id::serialNumber, 0, {'S'});
    transport->onWrite = [&](ByteView) { transport->feed(joined({pa, serial, pa})); };
    both =
        protocol->send(joined({request(Id::paTemperature), request(Id::paTemperature)}), 1000, 2);
    EXPECT_EQ(both.resultCode(), ResultCode::noError);
    EXPECT_EQ(both.data(), joined({pa, pa}));
    EXPECT_EQ(protocol->queuedReplies(), 1u);

    // Only one reply of two: timeout, and nothing returned.
    transport->onWrite = [&](ByteView) { transport->feed(pa); };
    const Response partial = protocol->send(twoRequests, 60, 2);
    EXPECT_EQ(partial.resultCode(), ResultCode::timeout);
    EXPECT_FALSE(partial.data().has_value());

    // Number 0: written, success at once, no data; a count beyond 255 is refused unwritten.
    transport->onWrite = nullptr;
    const std::size_t before = transport->written().size();
    const Response none = protocol->send(twoRequests, 1000, 0);
    EXPECT_EQ(none.resultCode(), ResultCode::noError);
    EXPECT_FALSE(none.data().has_value());
    EXPECT_EQ(transport->written().size(), before + twoRequests.size());
    EXPECT_EQ(protocol->send(twoRequests, 1000, 256).resultCode(), ResultCode::outOfRange);
    EXPECT_EQ(transport->written().size(), before + twoRequests.size());
}

TEST_F(Vk210ProtocolTest, AResetDuringASendMakesItWaitForALaterReply) {
    std::atomic<bool> written{false};
    transport->onWrite = [&](ByteView) { written = true; };
    Response response(ResultCode::undefined, std::nullopt);
    std::thread sender([&] { response = protocol->send(request(Id::firmware), 2000); });
    ASSERT_TRUE(waitUntil([&] { return written.load(); }));
    feed(replyFrame(Id::serialNumber, 0));
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));
    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::resetBuffer));
    EXPECT_EQ(protocol->queuedReplies(), 0u);
    feed(replyFrame(Id::firmware, 0, {2}));
    sender.join();
    EXPECT_EQ(response.resultCode(), ResultCode::noError);
    EXPECT_EQ(response.data(), replyFrame(Id::firmware, 0, {2}));
}

// A buffer reset while an exchange is in flight (pumped during its write, when the reply may be
// on its way already) keeps the replies that exchange waits for, queued or cut and not yet
// queued, and drops only the replies nobody waits for: the send gets its answer.
TEST_F(Vk210ProtocolTest, AResetKeepsTheRepliesTheExchangeInFlightWaitsFor) {
    const Bytes pa = replyFrame(Id::paTemperature, 0, {0x01, 0x2C});
    const Bytes battery = replyFrame(Id::batteryStatus, 0, {0x01, 0x50});
    const Bytes serial = replyFrame(Id::serialNumber, 0, {'S'});
    const Bytes key = event(Id::eventNotificationKeyEventStatus, {0x01, 0x01});
    const auto reset = [&] {
        protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::resetBuffer));
    };
    // The key event's delivery holds the receive thread while the gate is closed, so a reply cut
    // behind it in the same turn waits to be queued.
    test::Gate gate;
    recorder->onEvent = [&](const ProtocolEventArgs&) { gate.pass(); };
    const struct {
        const char* name;
        Bytes requests;
        int number;  // 0: the one-request send
        Bytes arrives;
        std::size_t queuedBefore;  // replies queued when the reset comes
        std::size_t queuedAfter;
        Bytes answer;
    } rows[] = {
        {"its reply queued", request(Id::paTemperature), 0, pa, 1, 1, pa},
        {"its replies and a foreign one queued",
         joined({request(Id::paTemperature), request(Id::batteryStatus)}), 2,
         joined({pa, serial, battery}), 3, 2, joined({pa, battery})},
        {"its reply cut, not yet queued", request(Id::paTemperature), 0, joined({key, pa}), 0, 0,
         pa},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const bool held = row.queuedBefore == 0;
        std::atomic<std::size_t> queuedAfter{99};
        transport->onWrite = [&](ByteView) {
            if (held) gate.close();
            transport->feed(row.arrives);
            // The gate opens below whatever the checks find, so no thread is left at it.
            if (held) {
                EXPECT_TRUE(waitUntil([&] { return gate.waiting() == 1; }));
            } else {
                EXPECT_TRUE(
                    waitUntil([&] { return protocol->queuedReplies() == row.queuedBefore; }));
            }
            reset();
            queuedAfter = protocol->queuedReplies();
            gate.open();
        };
        // Only a hang guard: the reply is there when the wait begins, or comes once the gate
        // opens.
        constexpr int kHangGuardMs = 120000;
        const Response response = row.number == 0
                                      ? protocol->send(row.requests, kHangGuardMs)
                                      : protocol->send(row.requests, kHangGuardMs, row.number);
        EXPECT_EQ(queuedAfter.load(), row.queuedAfter);
        EXPECT_EQ(response.resultCode(), ResultCode::noError);
        EXPECT_EQ(response.data(), row.answer);
        EXPECT_EQ(protocol->queuedReplies(), 0u);
    }
}

// A buffer reset keeps the bytes not yet cut, in the loop's buffer or still in the transport's
// queue: a reply split around the reset is cut whole and answers the send in flight. The key
// event's delivery holds the receive thread meanwhile, so the loop cuts nothing between the two
// parts, and the partial frame cannot be taken for a stalled one however slow the machine.
TEST_F(Vk210ProtocolTest, AResetKeepsTheBytesNotYetCut) {
    const Bytes reply = replyFrame(Id::firmware, 0, {1, 1, 11});
    const Bytes head(reply.begin(), reply.begin() + 5);
    const Bytes tail(reply.begin() + 5, reply.end());
    const Bytes key = event(Id::eventNotificationKeyEventStatus, {0x01, 0x01});
    test::Gate gate;
    recorder->onEvent = [&](const ProtocolEventArgs&) { gate.pass(); };
    for (const bool cutAlready : {true, false}) {
        SCOPED_TRACE(cutAlready ? "the head in the loop's buffer" : "the head in the transport");
        transport->onWrite = [&](ByteView) {
            gate.close();
            // Fed together, the head stays in the loop's buffer after the turn that cut the key
            // event; fed once that turn is held, it waits in the transport.
            transport->feed(cutAlready ? joined({key, head}) : key);
            EXPECT_TRUE(waitUntil([&] { return gate.waiting() == 1; }));
            if (!cutAlready) transport->feed(head);
            EXPECT_EQ(transport->byteQueue().count(),
                      cutAlready ? 0 : static_cast<int>(head.size()));
            protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::resetBuffer));
            transport->feed(tail);
            gate.open();
        };
        // Only a hang guard.
        const Response response = protocol->send(request(Id::firmware), 120000);
        EXPECT_EQ(response.resultCode(), ResultCode::noError);
        EXPECT_EQ(response.data(), reply);
    }
    EXPECT_EQ(log->count("keepReadThread() ************ Dropped", LogLevel::error), 0);
    EXPECT_EQ(log->count("keepReadThread() There is no data in 1 second"), 0);
}

// A buffer reset drops the tag reports cut before it and not yet raised, and counts them as an
// ended loop's; the outcome of a tag access cut with them is kept and raised. The key event's
// delivery holds the receive thread while both wait behind it.
TEST_F(Vk210ProtocolTest, AResetDropsTheTagReportsNotYetRaisedAndKeepsAnAccessOutcome) {
    struct Counting : test::EventRecorder {
        void endedTagReports(uint64_t, std::size_t count) override { ended += count; }
        std::atomic<std::size_t> ended{0};
    };
    auto counting = std::make_shared<Counting>();
    protocol->setDelegate(counting);
    test::Gate gate;
    counting->onEvent = [&](const ProtocolEventArgs& raised) {
        if (raised.get<KeyEventArgs>()) gate.pass();
    };
    gate.close();
    transport->feed(joined({event(Id::eventNotificationKeyEventStatus, {0x01, 0x01}),
                            SimVk210::tagReportFrame(makeSimTags(1).front()),
                            event(Id::tagAccessData, {0x00, 0x83, 0x88})}));
    EXPECT_TRUE(waitUntil([&] { return gate.waiting() == 1; }));
    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::resetBuffer));
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return counting->count() >= 2; }));
    const auto events = counting->events();
    ASSERT_EQ(events.size(), 2u);
    ASSERT_NE(events[1].get<AccessResultEventArgs>(), nullptr);
    EXPECT_EQ(events[1].get<AccessResultEventArgs>()->resultCode(), ResultCode::timeout);
    EXPECT_TRUE(counting->tags().empty());
    EXPECT_EQ(counting->ended.load(), 1u);
    EXPECT_EQ(protocol->tagReportsParsed(), 1u);
}

// ---- Receive loop --------------------------------------------------------------------------

TEST_F(Vk210ProtocolTest, EventFramesRaiseTheirEvents) {
    protocol->announceBank(BankType::user, Clock::now() - std::chrono::seconds(10));
    protocol->announceBank(BankType::tid, Clock::now());
    const Bytes frames = joined({
        event(Id::eventNotificationKeyEventStatus, {0x01, 0x01}),
        event(Id::eventNotificationKeyEventStatus, {0x00, 0x00}),
        event(Id::tagAccessData, {0x00, 0x82, 0x00, 0xDE, 0xAD, 0xBE, 0xEF}),
        event(Id::tagAccessData, {0x00, 0x83, 0x88}),
        event(Id::systemError, {0x02}),
        event(Id::inventoryStatus, {}),
    });
    const auto events = eventsAfter(frames, 7);
    ASSERT_EQ(events.size(), 7u);

    const auto* lower = events[0].get<KeyEventArgs>();
    ASSERT_NE(lower, nullptr);
    EXPECT_EQ(lower->id(), KeyID::lowerKey);
    EXPECT_TRUE(lower->pressed());
    const auto* upper = events[1].get<KeyEventArgs>();
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(upper->id(), KeyID::upperKey);
    EXPECT_FALSE(upper->pressed());

    // The 10 s old announcement is dropped; the fresh one goes with the read.
    const auto* read = events[2].get<AccessResultEventArgs>();
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->actionState(), ActionState::readMemory);
    EXPECT_EQ(read->resultCode(), ResultCode::noError);
    EXPECT_EQ(read->data(), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(read->bankType(), BankType::tid);
    const auto* timedOut = events[3].get<AccessResultEventArgs>();
    ASSERT_NE(timedOut, nullptr);
    EXPECT_EQ(timedOut->resultCode(), ResultCode::timeout);
    EXPECT_TRUE(timedOut->data().empty());
    EXPECT_EQ(timedOut->bankType(), BankType::reserved);  // no announcement left

    ASSERT_NE(events[4].get<NotificationID>(), nullptr);
    EXPECT_EQ(*events[4].get<NotificationID>(), NotificationID::paTemperatureTooHigh);
    EXPECT_EQ(*events[5].get<ActionState>(), ActionState::stop);
    EXPECT_EQ(*events[6].get<ActionState>(), ActionState::stop);
    EXPECT_EQ(log->count("keepReadThread() System Error: PA Temperature Too High"), 1);
    // None of them is a reply.
    EXPECT_EQ(protocol->queuedReplies(), 0u);
}

TEST_F(Vk210ProtocolTest, APaTemperatureReplyRaisesTheEventAndAnswersTheSend) {
    const Bytes reply = replyFrame(Id::paTemperature, 0x00, {0x01, 0x2C});
    transport->onWrite = [&](ByteView) { transport->feed(reply); };
    const Response response = protocol->send(request(Id::paTemperature), 1000);
    EXPECT_EQ(response.data(), reply);
    const auto events = recorder->events();
    ASSERT_EQ(events.size(), 1u);
    ASSERT_NE(events[0].get<double>(), nullptr);
    EXPECT_DOUBLE_EQ(*events[0].get<double>(), 30.0);
    EXPECT_EQ(log->count("keepReadThread() PA Temperature: 30.0, Raw: 300"), 1);
}

TEST_F(Vk210ProtocolTest, CutsSplitFramesAndResynchronisesAfterBadBytes) {
    const Bytes key = event(Id::eventNotificationKeyEventStatus, {0x01, 0x01});
    // Seven bytes are never cut; the eighth completes the frame.
    feed(Bytes(key.begin(), key.begin() + 7));
    EXPECT_EQ(recorder->count(), 0u);
    eventsAfter(Bytes(key.begin() + 7, key.end()), 1);

    // Garbage, a frame with a bad checksum and a valid frame of an unknown code cost only
    // themselves: the good frames around them all arrive.
    Bytes badChecksum = key;
    badChecksum[badChecksum.size() - 2] ^= 0xFF;
    const Bytes unknownCode = OrvaneRfidCommand::frame(static_cast<Id>(0x7777), {});
    recorder->clear();
    const auto events =
        eventsAfter(joined({{0x55, 0xAA, 0x03}, key, badChecksum, key, unknownCode, key}), 3);
    EXPECT_EQ(events.size(), 3u);
    EXPECT_GE(log->count("keepReadThread() ************ Dropped", LogLevel::error), 2);
}

TEST_F(Vk210ProtocolTest, APartialFrameIsClearedAfterASecondWithoutBytes) {
    const Bytes key = event(Id::eventNotificationKeyEventStatus, {0x01, 0x01});
    feed(Bytes(key.begin(), key.begin() + 9));
    ASSERT_TRUE(waitUntil(
        [&] { return log->count("keepReadThread() There is no data in 1 second") == 1; }));
    // The rest of the old frame no longer completes anything; a whole frame does.
    const auto events = eventsAfter(joined({Bytes(key.begin() + 9, key.end()), key}), 1);
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(Vk210ProtocolTest, ASlowDelegateNeverCostsFramesAlreadyReceived) {
    const Bytes key = event(Id::eventNotificationKeyEventStatus, {0x01, 0x01});
    std::atomic<int> seen{0};
    recorder->onEvent = [&](const ProtocolEventArgs&) {
        if (++seen == 1) Clock::sleepForMs(1300);
    };
    // The second frame's tail arrives while the delegate holds the loop.
    transport->feed(joined({key, Bytes(key.begin(), key.begin() + 6)}));
    ASSERT_TRUE(waitUntil([&] { return seen.load() == 1; }));
    transport->feed(Bytes(key.begin() + 6, key.end()));
    EXPECT_TRUE(waitUntil([&] { return seen.load() == 2; }));
    EXPECT_EQ(log->count("keepReadThread() There is no data in 1 second"), 0);
}

// A Vk210 protocol that runs `afterTake` (set before it starts) on its receive thread in every
// turn, between the turn's take from the transport and its cut.
class Vk210AfterTake : public Vk210Protocol {
  public:
    using Vk210Protocol::Vk210Protocol;
    std::function<void()> afterTake;

  protected:
    void readTransport(const DispatchWorkItem& self) override {
        Vk210Protocol::readTransport(self);
        if (afterTake) afterTake();
    }
};

// A turn that lasts longer than the stall limit after its take (held here between the take and
// the cut) does not give up the partial frame whose rest came meanwhile: the rest waits in the
// transport, and only a link with nothing waiting has stalled.
TEST(Vk210ProtocolStall, ATurnLongerThanTheStallLimitKeepsTheFrameWhoseRestCameMeanwhile) {
    const auto log = test::LogCapture::install();
    const Bytes key = event(Id::eventNotificationKeyEventStatus, {0x01, 0x01});
    const Bytes head(key.begin(), key.begin() + 6);
    const Bytes rest(key.begin() + 6, key.end());
    const Bytes marker = event(Id::eventNotificationKeyEventStatus, {0x00, 0x00});
    auto transport = std::make_shared<FeedTransport>();
    auto recorder = std::make_shared<EventRecorder>();
    // On the receive thread: the turn after `stage` is set queues the head; the next one takes
    // it and, before it cuts, lets more than the stall limit pass while the rest and a marker
    // arrive.
    std::atomic<int> stage{0};
    auto protocol = std::make_shared<Vk210AfterTake>(transport);
    protocol->afterTake = [&] {
        if (stage == 1) {
            transport->feed(head);
            stage = 2;
        } else if (stage == 2) {
            transport->feed(joined({rest, marker}));
            Clock::sleepFor(Vk210Protocol::stallLimit + std::chrono::milliseconds(300));
            stage = 3;
        }
    };
    protocol->setDelegate(recorder);
    // On every way out, the loop ends before what its hook reaches goes.
    const std::shared_ptr<void> ends(nullptr, [&](void*) {
        protocol->stop();
        EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    });
    ASSERT_TRUE(protocol->start());
    stage = 1;
    const auto released = [&] {
        for (const auto& raised : recorder->events()) {
            const auto* args = raised.get<KeyEventArgs>();
            if (args && !args->pressed()) return true;
        }
        return false;
    };
    // Only a hang guard: the marker comes in the turn after the held one.
    ASSERT_TRUE(waitUntil(released));
    EXPECT_EQ(stage.load(), 3);
    const auto events = recorder->events();
    ASSERT_EQ(events.size(), 2u);
    ASSERT_NE(events[0].get<KeyEventArgs>(), nullptr);
    EXPECT_TRUE(events[0].get<KeyEventArgs>()->pressed());
    EXPECT_EQ(log->count("keepReadThread() There is no data in 1 second"), 0);
}

TEST_F(Vk210ProtocolTest, PumpedEventsForwardAnnounceOrAreIgnored) {
    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::skuType, SkuType::us));
    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::setEngineReadyEvent));
    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::temperature, 20.0));
    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::accessBankType, 1.0));
    const auto events = recorder->events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].id(), ProtocolEventId::skuType);
    EXPECT_EQ(events[1].id(), ProtocolEventId::setEngineReadyEvent);
    EXPECT_EQ(log->count("pumpEvent(_:) accessBankType without a bank", LogLevel::error), 1);

    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::accessBankType, BankType::user));
    const auto access = eventsAfter(event(Id::tagAccessData, {0x00, 0x83, 0x00}), 3);
    EXPECT_EQ(access.back().get<AccessResultEventArgs>()->bankType(), BankType::user);
}

TEST_F(Vk210ProtocolTest, TheLoopEndsWhenTheTransportDisconnects) {
    feed(replyFrame(Id::serialNumber, 0));
    ASSERT_TRUE(waitUntil([&] { return protocol->queuedReplies() == 1; }));
    transport->disconnect();
    EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    EXPECT_EQ(protocol->queuedReplies(), 0u);
    EXPECT_EQ(log->count("keepReadThread() transport is disconnected, exit thread"), 1);
    // Without a loop a send times out.
    transport->connect();
    EXPECT_EQ(protocol->send(request(Id::firmware), 20).resultCode(), ResultCode::timeout);
}

// ---- Application code on the library's paths ----------------------------------------------

TEST_F(Vk210ProtocolTest, WhateverADelegateThrowsStaysInTheLibrary) {
    recorder->onEvent = [](const ProtocolEventArgs&) { throw 7; };
    const Bytes reply = replyFrame(Id::paTemperature, 0x00, {0x01, 0x2C});
    transport->onWrite = [&](ByteView) { transport->feed(reply); };
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(protocol->send(request(Id::paTemperature), 1000).data(), reply);
    EXPECT_EQ(protocol->receiveLoopsRunning(), 1);
    EXPECT_EQ(log->count("protocolEvent threw", LogLevel::error), 2);
}

TEST_F(Vk210ProtocolTest, ADelegateMayStopWhileASendWaitsForItsReply) {
    std::atomic<bool> stopped{false};
    recorder->onEvent = [&](const ProtocolEventArgs&) {
        protocol->stop();
        stopped = true;
    };
    std::atomic<bool> written{false};
    transport->onWrite = [&](ByteView) { written = true; };
    Response response(ResultCode::undefined, std::nullopt);
    std::thread sender([&] { response = protocol->send(request(Id::firmware), 4000); });
    ASSERT_TRUE(waitUntil([&] { return written.load(); }));
    // The delegate waits for the send's lock; the reply comes after it began to wait.
    transport->feed(event(Id::eventNotificationKeyEventStatus, {0x01, 0x01}));
    ASSERT_TRUE(waitUntil([&] { return recorder->count() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    transport->feed(replyFrame(Id::firmware, 0, {2}));
    sender.join();
    EXPECT_EQ(response.resultCode(), ResultCode::noError);
    EXPECT_TRUE(waitUntil([&] { return stopped.load(); }));
}

TEST_F(Vk210ProtocolTest, AFalseFrameStartCostsASecondNotTheReply) {
    const Bytes reply = replyFrame(Id::firmware, 0, {1, 1, 11});
    transport->onWrite = [&](ByteView) {
        transport->feed(joined({{0x02, 0x01, 0x00, 0xAA, 0xBB, 0xCC}, reply}));
    };
    const Response response = protocol->send(request(Id::firmware), 5000);
    EXPECT_EQ(response.resultCode(), ResultCode::noError);
    EXPECT_EQ(response.data(), reply);
    EXPECT_EQ(log->count("keepReadThread() There is no data in 1 second"), 1);
}

TEST_F(Vk210ProtocolTest, ADroppedLinkEndsAWaitingSendAt6006) {
    test::expectADroppedLinkEndsAWaitingSend(
        *transport,
        [&](int number) {
            return number < 0
                       ? protocol->send(request(Id::firmware), 60000)
                       : protocol->send(joined({request(Id::firmware), request(Id::modelName)}),
                                        60000, number);
        },
        [&] { ASSERT_TRUE(protocol->start()); });
}

TEST(Vk210ProtocolRestart, AStalledTurnOfTheEndedLinkTakesNothingOfTheNext) {
    auto transport = std::make_shared<test::WaitingTransport>();
    auto protocol = std::make_shared<Vk210Protocol>(transport);
    ASSERT_TRUE(protocol->start());
    test::expectAStalledTurnTakesNothingOfTheNextLink(
        *transport, *protocol, Bytes(64, 0xEE), replyFrame(Id::firmware, 0, {1}),
        [&] { return protocol->start(); },
        [&] { return protocol->send(request(Id::firmware), BaseProtocol::defaultTimeout); });
    protocol->stop();
    EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
}

TEST(Vk210ProtocolRestart, ALoopStoppedInItsTurnTakesNothingFromTheTransport) {
    auto transport = std::make_shared<FeedTransport>();
    auto protocol = std::make_shared<test::HeldTurns<Vk210Protocol>>(transport);
    test::expectAStoppedTurnTakesNothing(*transport, *protocol, replyFrame(Id::firmware, 0, {1}));
}

TEST(Vk210ProtocolSink, ASinkThatWaitsOnTheLibraryRunsAfterItsLocksAreReleased) {
    auto transport = std::make_shared<FeedTransport>();
    auto protocol = std::make_shared<Vk210Protocol>(transport);
    transport->onWrite = [&](ByteView) { transport->feed(replyFrame(Id::firmware, 0, {1})); };
    ASSERT_TRUE(protocol->start());
    const auto send = [&] {
        EXPECT_EQ(protocol->send(request(Id::firmware), 1000).resultCode(), ResultCode::noError);
    };
    test::expectASinkMayCallBack("+++ send(data:timeout:)", send, send);
    protocol->stop();
    EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
}

TEST(Vk210ProtocolRestart, StartStopStartNeverLeavesTwoLoops) {
    auto transport = std::make_shared<FeedTransport>();
    auto protocol = std::make_shared<Vk210Protocol>(transport);
    auto recorder = std::make_shared<EventRecorder>();
    protocol->setDelegate(recorder);
    const Bytes key = event(Id::eventNotificationKeyEventStatus, {0x01, 0x01});
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        while (!done) {
            transport->feed(key);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::thread restarter([&] {
        for (int i = 0; i < 30; ++i) {
            protocol->start();
            if (i % 3 == 0) protocol->stop();
        }
    });
    for (int i = 0; i < 30; ++i) {
        protocol->start();
        EXPECT_LE(protocol->receiveLoopsRunning(), 2);  // one ending while its successor waits
    }
    restarter.join();
    protocol->start();
    EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 1; }));
    const std::size_t before = recorder->count();
    EXPECT_TRUE(waitUntil([&] { return recorder->count() > before + 5; }));
    done = true;
    feeder.join();
    protocol->stop();
    EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
}

}  // namespace
}  // namespace orvane
