#include "orvanerfid/link/BaseProtocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "LinkTestSupport.h"
#include "orvanerfid/link/EmulatorTransport.h"

namespace orvane {
namespace {

// A transport whose write does what the test says and records its arguments.
class ScriptedTransport : public EmulatorTransport {
  public:
    std::function<int(int length)> onWrite;
    int lastOffset = -1;
    int lastLength = -1;
    int lastTimeout = -1;

    int write(ByteView, int offset, int length, int timeout) override {
        lastOffset = offset;
        lastLength = length;
        lastTimeout = timeout;
        return onWrite(length);
    }
};

// The smallest protocol: a receive loop that counts its turns and ends.
class LoopProtocol : public BaseProtocol {
  public:
    explicit LoopProtocol(std::shared_ptr<BaseTransport> transport)
        : BaseProtocol("LoopProtocol", std::move(transport),
                       DispatchQueue::make("test.loop", DispatchQoS::userInitiated,
                                           DispatchQueueAttributes::concurrent)) {}

    Response send(ByteView data, int) override { return {write(data), std::nullopt}; }
    Response send(ByteView data, int, int) override { return {write(data), std::nullopt}; }
    bool start() override {
        launchReceiveLoop();
        return true;
    }
    using BaseProtocol::FairLock;

    // When set, the first turn throws 7 and the second a std::exception.
    std::atomic<bool> throwing{false};
    std::atomic<int> turns{0};
    std::atomic<int> inTurn{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> endedCurrent{0};

  protected:
    bool receiveTurn(const DispatchWorkItem&) override {
        if (++inTurn > 1) ++overlaps;
        const int turn = ++turns;
        --inTurn;
        if (throwing && turn == 1) throw 7;
        if (throwing && turn == 2) throw std::runtime_error("bad turn");
        return true;
    }
    void receiveEnded(bool current) override {
        if (current) ++endedCurrent;
    }
};

// A protocol whose receive turns run the test's script (`onTurn`, under the runner's turn lock):
// from a turn it defers events and tag reports as a model does. Its delegate records, in the
// order it hears them, those deliveries and what it learns of each loop's end.
class ScriptedProtocol : public BaseProtocol, public BaseProtocolDelegate {
  public:
    explicit ScriptedProtocol(std::shared_ptr<DispatchQueue> queue)
        : BaseProtocol("ScriptedProtocol", std::make_shared<EmulatorTransport>(),
                       std::move(queue)) {}

    Response send(ByteView data, int) override { return {write(data), std::nullopt}; }
    Response send(ByteView data, int, int) override { return {write(data), std::nullopt}; }
    bool start() override {
        launchReceiveLoop();
        return true;
    }

    // From a turn: an event delivered after the turn, whatever becomes of its loop, and a tag
    // report, dropped and counted when its loop has been stopped or replaced by its turn.
    void event(std::string name, std::function<void()> then = {}) {
        deliverLater([this, name = std::move(name), then = std::move(then)] {
            add(name);
            if (then) then();
        });
    }
    void tag(std::string name, std::function<void()> then = {}) {
        deliverTagLater([this, name = std::move(name), then = std::move(then)] {
            add(name);
            if (then) then();
        });
    }

    void protocolEvent(const ProtocolEventArgs&) override {}
    uint64_t receiveStarting() override { return ++loops_; }
    void receiveFinished(uint64_t loop) override { add("finished " + std::to_string(loop)); }
    void endedTagReports(uint64_t loop, std::size_t count) override {
        add("ended " + std::to_string(loop) + ": " + std::to_string(count));
    }

    std::vector<std::string> heard() const {
        std::lock_guard guard(lock_);
        return heard_;
    }
    // Runs in each turn with the number of turns before it; false ends the loop.
    std::function<bool(ScriptedProtocol&, int turn)> onTurn;
    std::atomic<int> turns{0};

  protected:
    bool receiveTurn(const DispatchWorkItem&) override {
        const int turn = turns.load();
        const bool more = onTurn(*this, turn);
        ++turns;
        return more;
    }
    void receiveEnded(bool) override {}

  private:
    void add(std::string line) {
        std::lock_guard guard(lock_);
        heard_.push_back(std::move(line));
    }
    mutable std::mutex lock_;
    std::vector<std::string> heard_;
    std::atomic<uint64_t> loops_{0};
};

std::shared_ptr<ScriptedProtocol> scripted(std::shared_ptr<DispatchQueue> queue) {
    auto protocol = std::make_shared<ScriptedProtocol>(std::move(queue));
    protocol->setDelegate(protocol);
    return protocol;
}

std::shared_ptr<DispatchQueue> concurrentQueue() {
    return DispatchQueue::make("test.scripted", DispatchQoS::userInitiated,
                               DispatchQueueAttributes::concurrent);
}

// A loop's end reaches its delegate after everything the loop deferred and after the count of
// the tag reports it dropped: when its last turn deferred them, and when the thread that
// delivers them is another loop's, held in a delivery while this one ended.
TEST(BaseProtocol, ALoopFinishesAfterItsDeliveriesAndTheCountOfItsDrops) {
    {
        SCOPED_TRACE("the last turn defers");
        auto protocol = scripted(concurrentQueue());
        protocol->onTurn = [](ScriptedProtocol& self, int turn) {
            if (turn > 0) return true;
            self.event("event");
            self.tag("tag");
            self.stop();
            return false;
        };
        ASSERT_TRUE(protocol->start());
        ASSERT_TRUE(test::waitUntil([&] { return protocol->heard().size() >= 3; }));
        EXPECT_EQ(protocol->heard(),
                  (std::vector<std::string>{"event", "ended 1: 1", "finished 1"}));
    }
    {
        SCOPED_TRACE("another loop's thread delivers");
        auto protocol = scripted(concurrentQueue());
        test::Gate gate;
        gate.close();
        // The first loop's first turn defers a delivery that replaces its loop (from the loop's
        // own thread, so without waiting for it) and then holds that thread, which delivers
        // everything deferred meanwhile once the gate opens. The second loop defers an event and
        // a tag report in its first turn and is stopped while the first thread is held.
        std::atomic<int> replacedAt{-1};
        protocol->onTurn = [&](ScriptedProtocol& self, int turn) {
            if (turn == 0) {
                self.event("held", [&] {
                    replacedAt = self.turns.load();
                    self.start();
                    gate.pass();
                });
            } else if (replacedAt.load() >= 0 && turn == replacedAt.load()) {
                self.event("second's event");
                self.tag("second's tag");
            }
            return true;
        };
        ASSERT_TRUE(protocol->start());
        ASSERT_TRUE(test::waitUntil([&] { return gate.waiting() == 1; }));
        ASSERT_TRUE(test::waitUntil([&] { return protocol->turns.load() > replacedAt.load(); }));
        protocol->stop();
        // The second loop has ended; the first is still held in its delivery.
        ASSERT_TRUE(test::waitUntil([&] { return protocol->receiveLoopsRunning() == 1; }));
        EXPECT_EQ(protocol->heard(), (std::vector<std::string>{"held"}));
        gate.open();
        ASSERT_TRUE(test::waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
        ASSERT_TRUE(test::waitUntil([&] { return protocol->heard().size() >= 5; }));
        EXPECT_EQ(protocol->heard(),
                  (std::vector<std::string>{"held", "second's event", "ended 2: 1", "finished 2",
                                            "finished 1"}));
    }
}

// The backlog a stopped loop leaves is dropped without holding up the next loop: however long its
// deliveries take to be let go of (here the first is held at a gate as it goes), the next loop
// defers and delivers meanwhile, so the first reply of a new connection does not wait behind the
// tag reports of the one that ended.
TEST(BaseProtocol, TheBacklogOfAStoppedLoopDoesNotHoldUpTheNextLoop) {
    auto protocol = scripted(concurrentQueue());
    test::Gate held;
    held.close();
    test::Gate letGo;
    letGo.close();
    // Passes `letGo` when the tag report holding it is let go of.
    struct Held {
        explicit Held(test::Gate& gate) : gate(gate) {}
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;
        ~Held() { gate.pass(); }
        test::Gate& gate;
    };
    // The first loop's only turn defers a delivery that holds its thread, and a tag report; every
    // later turn is the second loop's.
    protocol->onTurn = [&](ScriptedProtocol& self, int turn) {
        if (turn == 0) {
            self.event("held", [&] { held.pass(); });
            self.tag("dropped", [state = std::make_shared<Held>(letGo)] {});
        } else if (turn == 1) {
            self.event("second's event");
        }
        return true;
    };
    ASSERT_TRUE(protocol->start());
    ASSERT_TRUE(test::waitUntil([&] { return held.waiting() == 1; }));
    protocol->stop();
    // Replaces the held loop once it stops waiting for it.
    ASSERT_TRUE(protocol->start());
    ASSERT_TRUE(test::waitUntil([&] { return protocol->turns.load() > 1; }));
    held.open();
    EXPECT_TRUE(test::waitUntil(
        [&] {
            const auto heard = protocol->heard();
            return std::find(heard.begin(), heard.end(), "second's event") != heard.end();
        },
        std::chrono::seconds(20)));
    // The backlog is let go of by the first loop's thread once it no longer delivers.
    EXPECT_TRUE(test::waitUntil([&] { return letGo.waiting() == 1; }));
    letGo.open();
    protocol->stop();
    ASSERT_TRUE(test::waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    // The two ends come in either order: each loop's thread delivers its own.
    auto heard = protocol->heard();
    ASSERT_EQ(heard.size(), 5u);
    std::sort(heard.begin() + 3, heard.end());
    EXPECT_EQ(heard, (std::vector<std::string>{"held", "ended 1: 1", "second's event", "finished 1",
                                               "finished 2"}));
}

// Of the tag reports a loop parsed, one delivered while its loop is stopped reaches the delegate,
// and when the delegate drops it there as an ended loop's it is counted as well; one whose loop
// was stopped before its delivery is only counted. The reports parsed are those counted plus those
// that reached the delegate and were not dropped there.
TEST(BaseProtocol, ATagReportDroppedInItsDeliveryReachesTheDelegateAndIsCounted) {
    auto protocol = scripted(concurrentQueue());
    std::atomic<bool> droppedThere{false};
    protocol->onTurn = [&](ScriptedProtocol& self, int turn) {
        if (turn > 0) return true;
        self.tag("delivered", [&] {
            self.stop();
            droppedThere = ReceiveLoop::dropOnEndedLoop();
        });
        self.tag("not delivered");
        return true;
    };
    ASSERT_TRUE(protocol->start());
    ASSERT_TRUE(test::waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    ASSERT_TRUE(test::waitUntil([&] { return protocol->heard().size() >= 3; }));
    EXPECT_TRUE(droppedThere.load());
    EXPECT_EQ(protocol->heard(),
              (std::vector<std::string>{"delivered", "ended 1: 2", "finished 1"}));
    EXPECT_EQ(protocol->tagReportsParsed(), 2u);
}

// A loop stopped or replaced before its queue ran it still reports its end, once, so what waits
// for the end of each loop (the record of its connection's end) is not left waiting. The loops'
// queue is serial and held: each loop is stopped or replaced before it runs.
TEST(BaseProtocol, ALoopEndedBeforeItRanStillReportsItsEnd) {
    const auto queue = DispatchQueue::make("test.held", DispatchQoS::userInitiated,
                                           DispatchQueueAttributes::serial);
    auto protocol = scripted(queue);
    protocol->onTurn = [](ScriptedProtocol&, int) { return true; };
    test::Gate gate;
    gate.close();
    queue->async([&gate] { gate.pass(); });
    ASSERT_TRUE(test::waitUntil([&] { return gate.waiting() == 1; }));
    ASSERT_TRUE(protocol->start());
    ASSERT_TRUE(protocol->start());  // replaces the first before it ran
    protocol->stop();                // stops the second before it ran
    std::atomic<bool> behind{false};
    queue->async([&behind] { behind = true; });
    gate.open();
    ASSERT_TRUE(test::waitUntil([&] { return behind.load(); }));
    EXPECT_EQ(protocol->heard(), (std::vector<std::string>{"finished 1", "finished 2"}));
    EXPECT_EQ(protocol->turns.load(), 0);
    EXPECT_EQ(protocol->receiveLoopsRunning(), 0);
}

TEST(BaseProtocol, WriteMapsEveryOutcomeToAResultCode) {
    struct Case {
        const char* name;
        std::function<int(int)> write;
        std::size_t size;
        ResultCode expected;
    };
    const Case cases[] = {
        {"all bytes", [](int n) { return n; }, 8, ResultCode::noError},
        {"fewer bytes", [](int n) { return n - 1; }, 8, ResultCode::otherError},
        {"empty array", [](int) { return 0; }, 0, ResultCode::noError},
        {"not connected", [](int) -> int { throw ReaderException(ResultCode::connectFailed, ""); },
         8, ResultCode::connectFailed},
        {"timeout", [](int) -> int { throw ReaderException(ResultCode::timeout, ""); }, 8,
         ResultCode::timeout},
        {"foreign error", [](int) -> int { throw std::runtime_error("cable"); }, 8,
         ResultCode::otherError},
    };
    auto log = test::LogCapture::install();
    auto transport = std::make_shared<ScriptedTransport>();
    auto protocolPtr = std::make_shared<LoopProtocol>(transport);
    auto& protocol = *protocolPtr;
    for (const auto& c : cases) {
        transport->onWrite = c.write;
        EXPECT_EQ(protocol.write(Bytes(c.size, 0x55)), c.expected) << c.name;
        EXPECT_EQ(transport->lastOffset, 0);
        EXPECT_EQ(transport->lastLength, static_cast<int>(c.size));
        EXPECT_EQ(transport->lastTimeout, 3000);
    }
    EXPECT_EQ(log->texts("LoopProtocol"), (std::vector<std::string>{"post error: cable"}));

    // Over the emulator nothing is written, so only an empty request succeeds.
    auto overEmulator = std::make_shared<LoopProtocol>(std::make_shared<EmulatorTransport>());
    EXPECT_EQ(overEmulator->send(Bytes{1, 2}, 3000).resultCode(), ResultCode::otherError);
    EXPECT_EQ(overEmulator->write(Bytes{}), ResultCode::noError);
}

TEST(BaseProtocol, StopEndsTheReceiveLoopAndStartLaunchesANewOne) {
    auto log = test::LogCapture::install();
    auto protocol = std::make_shared<LoopProtocol>(std::make_shared<EmulatorTransport>());
    protocol->stop();  // nothing running: only the line
    EXPECT_EQ(log->count("*** stop()", LogLevel::info), 1);

    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(protocol->start());
        ASSERT_TRUE(test::waitUntil([&] { return protocol->receiveLoopsRunning() == 1; }));
        const int before = protocol->turns.load();
        // The loop rests on the transport's signal between turns: a wake makes it turn again.
        protocol->transport()->wakeReceivers();
        EXPECT_TRUE(test::waitUntil([&] { return protocol->turns.load() > before; }));
        protocol->stop();
        protocol->stop();
        EXPECT_TRUE(test::waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    }
    EXPECT_EQ(protocol->endedCurrent.load(), 3);
    EXPECT_EQ(log->count("*** stop()"), 7);
}

TEST(BaseProtocol, RestartsNeverLeaveTwoLoopsAndALoopDoesNotKeepItsOwner) {
    auto protocol = std::make_shared<LoopProtocol>(std::make_shared<EmulatorTransport>());
    for (int i = 0; i < 20; ++i) {
        protocol->start();
        protocol->transport()->wakeReceivers();
    }
    EXPECT_TRUE(test::waitUntil([&] { return protocol->receiveLoopsRunning() == 1; }));
    EXPECT_EQ(protocol->overlaps.load(), 0);
    // Replaced loops ended without touching the buffers of the current one.
    EXPECT_EQ(protocol->endedCurrent.load(), 0);

    std::weak_ptr<LoopProtocol> weak = protocol;
    protocol.reset();
    // A loop holds its owner only for the length of a turn.
    EXPECT_TRUE(test::waitUntil([&] { return weak.expired(); }));
}

TEST(BaseProtocol, WhateverATurnThrowsIsLoggedAndTheLoopGoesOn) {
    auto log = test::LogCapture::install();
    auto protocol = std::make_shared<LoopProtocol>(std::make_shared<EmulatorTransport>());
    protocol->throwing = true;
    ASSERT_TRUE(protocol->start());
    EXPECT_TRUE(test::waitUntil([&] { return protocol->turns.load() > 3; }));
    EXPECT_EQ(protocol->receiveLoopsRunning(), 1);
    EXPECT_EQ(log->count("The receive turn threw", LogLevel::error), 2);
    protocol->stop();
    EXPECT_TRUE(test::waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
}

TEST(BaseProtocol, TheSendLockIsGrantedInTheOrderAskedFor) {
    LoopProtocol::FairLock lock;
    lock.lock(nullptr);
    std::mutex recordLock;
    std::vector<int> granted;
    std::atomic<int> waiting{0};
    std::vector<std::thread> takers;
    // Each taker asks only once the one before it waits, so the order asked for is known.
    for (int i = 0; i < 4; ++i) {
        takers.emplace_back([&, i] {
            bool counted = false;
            lock.lock([&] {
                if (!std::exchange(counted, true)) ++waiting;
            });
            {
                std::lock_guard guard(recordLock);
                granted.push_back(i);
            }
            lock.unlock();
        });
        EXPECT_TRUE(test::waitUntil([&] { return waiting.load() == i + 1; }));
    }
    lock.unlock();
    for (auto& taker : takers)
        taker.join();
    EXPECT_EQ(granted, (std::vector<int>{0, 1, 2, 3}));
}

TEST(BaseProtocol, StartWithoutASharedOwnerRunsNoLoop) {
    auto log = test::LogCapture::install();
    LoopProtocol protocol(std::make_shared<EmulatorTransport>());
    EXPECT_TRUE(protocol.start());
    EXPECT_EQ(protocol.receiveLoopsRunning(), 0);
    EXPECT_EQ(log->count("start() needs the protocol held by a shared_ptr", LogLevel::error), 1);
}

}  // namespace
}  // namespace orvane
