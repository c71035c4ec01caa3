#include "orvanerfid/link/BaseProtocol.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
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
