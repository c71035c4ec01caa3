// A reader connects and is heard while an application's blocked blocks fill the global pool.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "ReaderFixture.h"
#include "orvanerfid/commands/OrvRfidCmdId.h"
#include "orvanerfid/platform/Dispatch.h"
#include "sim/SimReader.h"
#include "uhf/UhfAppDelegate.h"

namespace orvane {
namespace {

using test::processThreads;
using test::waitUntil;

constexpr auto kHangGuard = std::chrono::milliseconds(120000);

template <class Model>
class PoolStallEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        // The idle threads an earlier test left in the pool end first (after five seconds of
        // clock time), or they would take the backlog below.
        ASSERT_TRUE(waitUntil([] { return processThreads() < 64; }, kHangGuard));
    }
    void TearDown() override {
        // Whatever failed: the pool grows again and the application's blocks end.
        DispatchQueue::setGlobalPoolPause(nullptr);
        held->open();
        open->open();
        EXPECT_TRUE(waitUntil([&] { return finished->load() == queued; }, kHangGuard));
    }

    static std::shared_ptr<test::Gate> closedGate() {
        auto gate = std::make_shared<test::Gate>();
        gate->close();
        return gate;
    }

    test::ModelReader<Model> f;
    // The pool's watcher and the application's blocks wait asleep at these gates: hundreds of
    // threads that polled would take the cores from the connection's threads on a loaded machine.
    std::shared_ptr<test::Gate> held = closedGate();
    std::shared_ptr<test::Gate> open = closedGate();
    std::shared_ptr<std::atomic<int>> started = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<int>> finished = std::make_shared<std::atomic<int>>(0);
    int queued = 0;
};

// The model's keep-alive request, as the simulated reader counts it, and its unsolicited battery
// report, an event the line's teller tells.
struct Vk210 : test::Vk210UhfModel {
    static int alives(const Sim& sim) {
        return sim.requestCount(rawValue(OrvRfidCmdId::paTemperature));
    }
    static bool sendNotice(Sim& sim) { return sim.sendBatteryNotice(50, false); }
};
struct Vk640 : test::Vk640Model {
    static int alives(const Sim& sim) { return sim.requestCount(SimVk640::rowKey(0x10, 0x07)); }
    static bool sendNotice(Sim& sim) { return sim.sendBatteryNotice(50); }
};

using Models = ::testing::Types<Vk210, Vk640>;
TYPED_TEST_SUITE(PoolStallEndToEnd, Models, test::ModelName);

// The application's completions block by the pool's bound and more wait behind them, and the
// pool may not grow (its watcher's pause is held): the connection's own work (the transport's and
// the protocol's receive loops, the initialisation, the keep-alive, the event line's teller) still
// runs, so the reader reaches Connected and checks its link while every one of those blocks is
// still held. The inventory is an operation, pooled work: once the pool may grow again it gets a
// thread behind the backlog, and the tags are heard, the application's blocks still held.
TYPED_TEST(PoolStallEndToEnd, BlockedApplicationBlocksDoNotStopANewConnection) {
    auto& f = this->f;
    constexpr int kBound = static_cast<int>(DispatchQueue::kPoolThreads);
    constexpr std::size_t kTags = 20;
    f.sim->setTags(makeSimTags(kTags));

    const auto held = this->held;
    DispatchQueue::setGlobalPoolPause([held] { held->pass(kHangGuard); });
    // The bound's worth, and a backlog that takes any thread that frees or idles meanwhile.
    constexpr int kBacklog = 64;
    for (; this->queued < kBound + kBacklog; ++this->queued) {
        DispatchQueue::global()->async(
            [open = this->open, started = this->started, finished = this->finished] {
                ++*started;
                open->pass(kHangGuard);
                ++*finished;
            });
    }
    ASSERT_TRUE(waitUntil([&] { return this->started->load() >= kBound; }, kHangGuard));

    ASSERT_TRUE(f.connected());
    // The keep-alive goes on too.
    const int alives = TypeParam::alives(*f.sim);
    EXPECT_TRUE(waitUntil([&] { return TypeParam::alives(*f.sim) > alives; }, kHangGuard));
    // And an event the reader raises is told.
    const auto batteryHeard = [&] {
        const auto lines = f.calls->lines();
        return std::any_of(lines.begin(), lines.end(),
                           [](const std::string& line) { return line.rfind("r battery", 0) == 0; });
    };
    ASSERT_TRUE(TypeParam::sendNotice(*f.sim));
    EXPECT_TRUE(waitUntil(batteryHeard, kHangGuard));
    EXPECT_EQ(this->finished->load(), 0);
    EXPECT_LT(this->started->load(), this->queued) << "no backlog was left";

    auto app = std::make_shared<test::AppDelegate>();
    f.reader->uhf()->setDelegate(app);
    DispatchQueue::setGlobalPoolPause(nullptr);
    held->open();
    auto answer = std::make_shared<std::atomic<int>>(-1);
    f.reader->uhf()->inventory(
        [answer](ResultCode code) { answer->store(static_cast<int>(rawValue(code))); });
    EXPECT_TRUE(waitUntil([&] { return app->reads().size() == kTags; }, kHangGuard))
        << app->reads().size() << " of " << kTags << " tags heard";
    EXPECT_TRUE(waitUntil([&] { return answer->load() >= 0; }, kHangGuard));
    EXPECT_EQ(answer->load(), static_cast<int>(rawValue(ResultCode::noError)));
    EXPECT_EQ(this->finished->load(), 0);

    auto stopped = std::make_shared<std::atomic<int>>(-1);
    f.reader->uhf()->stop(
        [stopped](ResultCode code) { stopped->store(static_cast<int>(rawValue(code))); });
    EXPECT_TRUE(waitUntil([&] { return stopped->load() >= 0; }, kHangGuard));
}

// Near the process's thread limit no thread of the global pool can start. Library blocks held on
// a gate take every idle thread of the pool (more of them than the process has threads) and
// some wait behind them. connect() answers and throws nothing; the connection's own work finds
// no thread and waits, and the record of the transport's read loop names its queue; the reader
// stays Connecting. Once threads start again and the held blocks end, the threads that free take
// the waiting work and the reader reaches Connected.
TYPED_TEST(PoolStallEndToEnd, AConnectionWhoseThreadCannotStartIsSaidAndWaits) {
    auto& f = this->f;
    auto failing = std::make_shared<std::atomic<bool>>(true);
    DispatchQueue::setGlobalPoolStartThread([failing](std::function<void()> body) {
        if (failing->load()) {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        std::thread(std::move(body)).detach();
    });
    auto gate = PoolStallEndToEnd<TypeParam>::closedGate();
    auto heldStarted = std::make_shared<std::atomic<int>>(0);
    auto heldFinished = std::make_shared<std::atomic<int>>(0);
    // SetUp left fewer than 64 threads in the process.
    constexpr int kHeld = 64;
    // Whatever fails: threads start again and the held blocks end.
    struct Release {
        std::shared_ptr<std::atomic<bool>> failing;
        std::shared_ptr<test::Gate> gate;
        std::shared_ptr<std::atomic<int>> finished;
        int held;
        ~Release() {
            failing->store(false);
            DispatchQueue::setGlobalPoolStartThread(nullptr);
            gate->open();
            // A block still waiting for a thread gets one with the next post.
            DispatchQueue::global()->async([] {});
            EXPECT_TRUE(waitUntil([&] { return finished->load() == held; }, kHangGuard));
        }
    } release{failing, gate, heldFinished, kHeld};
    for (int i = 0; i < kHeld; ++i) {
        DispatchQueue::global()->async(
            [gate, heldStarted, heldFinished] {
                ++*heldStarted;
                gate->pass(kHangGuard);
                ++*heldFinished;
            },
            DispatchWork::library);
    }
    EXPECT_LT(heldStarted->load(), kHeld);

    bool answer = false;
    EXPECT_NO_THROW(answer = f.reader->connect());
    EXPECT_TRUE(answer);
    const auto logged = [&](const std::string& prefix) {
        std::lock_guard guard(f.sink->logLock);
        return std::any_of(f.sink->logs.begin(), f.sink->logs.end(),
                           [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    };
    EXPECT_TRUE(logged("Could not start a thread for library work of com.orvane.EATransport"));
    EXPECT_EQ(f.reader->connectState(), ConnectState::connecting);
    EXPECT_EQ(f.calls->count("r state Connected"), 0);

    // Threads start again and the held ones free: the waiting work gets them (a thread that
    // frees, or the one the next post starts).
    failing->store(false);
    gate->open();
    DispatchQueue::global()->async([] {});
    EXPECT_TRUE(waitUntil([&] { return f.calls->count("r state Connected") > 0; }, kHangGuard));
    EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
}

}  // namespace
}  // namespace orvane
