// The order in which an application hears one connection's events and the next one's: a reader
// made from discovery and connected to each simulated reader through the real initialisation.

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/EventSequence.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"

namespace orvane::test {
namespace {

// Holds the application's first inventory start report until `release`; `inside` is ready once
// the report is held.
class HeldStart : public ActionListener {
  public:
    void actionStateEvent(ActionState state) override {
        if (state != ActionState::inventory || !armed_.exchange(false)) return;
        inside.set_value();
        gate_.wait();
    }

    void release() { open_.set_value(); }
    std::promise<void> inside;

  private:
    std::atomic<bool> armed_{true};
    std::promise<void> open_;
    std::shared_future<void> gate_ = open_.get_future().share();
};

template <class Model>
class UhfConnectionOrderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }

    ModelReader<Model> f{Model::makeSim()};
};

using Models = ::testing::Types<Vk210UhfModel, Vk640Model>;
TYPED_TEST_SUITE(UhfConnectionOrderTest, Models, ModelName);

// A reconnect while the application still holds the inventory's start report: the old
// connection's Stop waits behind it, and the new connection's Connected waits behind that Stop,
// while Disconnected is heard at once.
TYPED_TEST(UhfConnectionOrderTest, TheOldInventorysStopIsHeardBeforeTheNextConnected) {
    auto& f = this->f;
    f.sim->setTags(makeSimTags(100));
    ASSERT_TRUE(f.connected());
    auto held = std::make_shared<HeldStart>();
    f.reader->setUhfReaderDelegate(held);
    f.sim->setInventoryOnce(false);
    f.sim->setInventoryRate(3000);
    const auto uhf = f.reader->uhf();
    ASSERT_TRUE(uhf);
    uhf->inventory([](ResultCode) {});
    // A hang guard only: the report comes at once.
    ASSERT_EQ(held->inside.get_future().wait_for(std::chrono::seconds(60)),
              std::future_status::ready);
    f.calls->clear();

    ASSERT_TRUE(f.reader->disconnect());
    EXPECT_TRUE(waitUntil([&] { return f.calls->count("r state Disconnected") == 1; }));
    ASSERT_TRUE(f.reader->connect());
    ASSERT_TRUE(waitUntil([&] { return f.reader->connectState() == ConnectState::connected; },
                          std::chrono::seconds(60)));
    EXPECT_EQ(f.calls->count("r state Connected"), 0);
    EXPECT_EQ(f.calls->count("r action Stop"), 0);

    held->release();
    ASSERT_TRUE(waitUntil(
        [&] { return f.calls->count("r state Connected") == 1 && f.reader->eventLine().isIdle(); },
        std::chrono::seconds(60)));
    const auto heard = f.calls->lines();
    const auto connected = std::find(heard.begin(), heard.end(), "r state Connected");
    const auto stop = std::find(heard.begin(), heard.end(), "r action Stop");
    EXPECT_LT(stop, connected);
    EXPECT_EQ(std::count(connected, heard.end(), "r action Stop"), 0);
    EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
}

// The connection states the reader delegate heard, in order.
std::vector<std::string> statesHeard(const CallLog& calls) {
    std::vector<std::string> states;
    for (const std::string& line : calls.lines()) {
        if (line.rfind("r state ", 0) == 0) states.push_back(line.substr(8));
    }
    return states;
}

// Runs what the main queue holds now, and waits for it: the automatic reconnect queued there has
// had its turn.
void drainMainQueue() {
    auto ran = std::make_shared<std::promise<void>>();
    auto done = ran->get_future();
    DispatchQueue::main()->async([ran] { ran->set_value(); });
    // A hang guard only.
    ASSERT_EQ(done.wait_for(std::chrono::seconds(60)), std::future_status::ready);
}

// Holds the main queue until `open`, and on every way out.
class HeldMainQueue {
  public:
    HeldMainQueue() {
        DispatchQueue::main()->async([gate = open_.get_future().share()] { gate.wait(); });
    }
    ~HeldMainQueue() { open(); }
    void open() {
        if (!std::exchange(opened_, true)) open_.set_value();
    }

  private:
    std::promise<void> open_;
    bool opened_ = false;
};

// The application holds the Disconnected report of one thread's disconnect(): that call has
// answered, and another thread's connect() connects the reader meanwhile. Every report is told
// by the reader's teller, on no thread that called connect() or disconnect(), in the order
// stored.
TYPED_TEST(UhfConnectionOrderTest, AHeldReportHoldsNoCallOfAnyThread) {
    auto& f = this->f;
    ASSERT_TRUE(f.connected());
    // Shared with the report, which may outlive a failed check.
    struct Seen {
        std::mutex lock;
        std::set<std::thread::id> callers;
        std::atomic<int> toldOnACaller{0};
        std::atomic<bool> armed{true};
        Gate gate;
    };
    auto seen = std::make_shared<Seen>();
    seen->gate.close();
    f.sink->onConnectState = [seen](const ConnectStateEventArgs& args) {
        {
            std::lock_guard guard(seen->lock);
            if (seen->callers.count(std::this_thread::get_id()) > 0) ++seen->toldOnACaller;
        }
        if (args.connectState() == ConnectState::disconnected && seen->armed.exchange(false)) {
            seen->gate.pass();
        }
    };
    const auto call = [seen](const std::function<bool()>& made) {
        {
            std::lock_guard guard(seen->lock);
            seen->callers.insert(std::this_thread::get_id());
        }
        return made();
    };
    f.calls->clear();
    const auto reader = f.reader;
    auto disconnected = std::async(
        std::launch::async, [call, reader] { return call([&] { return reader->disconnect(); }); });
    // Opened on every way out, before the call is waited for.
    const std::shared_ptr<void> opens(nullptr, [seen](void*) { seen->gate.open(); });
    // A hang guard only: the call answers whatever its report does.
    ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    ASSERT_TRUE(waitUntil([&] { return seen->gate.waiting() == 1; }));
    EXPECT_TRUE(call([&] { return reader->connect(); }));
    EXPECT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; }));
    EXPECT_EQ(seen->gate.waiting(), 1);
    seen->gate.open();
    ASSERT_TRUE(waitUntil([&] { return reader->eventLine().statesTold(); }));
    EXPECT_EQ(statesHeard(*f.calls), (std::vector<std::string>{"Disconnecting", "Disconnected",
                                                               "Connecting", "Connected"}));
    EXPECT_EQ(seen->toldOnACaller.load(), 0);
    f.sink->onConnectState = nullptr;
}

// The Connecting report hands disconnect() to another thread of the application and waits for
// its answer: the connection is made, then ended, and that call answers true.
TYPED_TEST(UhfConnectionOrderTest, AReportThatWaitsForADisconnectOfAnotherThreadLetsItEnd) {
    auto& f = this->f;
    auto answered = std::make_shared<std::atomic<int>>(-1);
    auto armed = std::make_shared<std::atomic<bool>>(true);
    std::weak_ptr<UhfReader> weak = f.reader;
    f.sink->onConnectState = [answered, armed, weak](const ConnectStateEventArgs& args) {
        if (args.connectState() != ConnectState::connecting || !armed->exchange(false)) return;
        std::thread other([answered, weak] {
            if (const auto reader = weak.lock()) *answered = reader->disconnect() ? 1 : 0;
        });
        other.join();
    };
    ASSERT_TRUE(f.reader->connect());
    ASSERT_TRUE(waitUntil([&] { return answered->load() >= 0; }));
    EXPECT_EQ(answered->load(), 1);
    ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
    EXPECT_EQ(f.reader->baseTransport()->connectState(), ConnectState::disconnected);
    EXPECT_EQ(statesHeard(*f.calls).back(), "Disconnected");
    f.sink->onConnectState = nullptr;
}

// The automatic reconnect of a link the library ended is a connect() in the order of the
// application's calls: a disconnect() that answered true leaves the reader disconnected, whether
// it was made while the reconnect was under way or begun before the reconnect was queued.
TYPED_TEST(UhfConnectionOrderTest, ADisconnectThatAnsweredTrueIsNeverUndoneByTheReconnect) {
    auto& f = this->f;
    auto sink = std::make_shared<ArmedSink>(f.calls);
    f.reader->setReaderDelegate(sink);
    const std::shared_ptr<void> disarms(nullptr, [&](void*) {
        sink->arm(nullptr, nullptr);
        f.reader->setReaderDelegate(f.sink);
    });
    const auto settled = [&] {
        drainMainQueue();
        EXPECT_TRUE(waitUntil([&] {
            return f.reader->connectState() == ConnectState::disconnected &&
                   f.reader->baseTransport()->connectState() == ConnectState::disconnected &&
                   f.reader->eventLine().statesTold();
        }));
        // Nothing left over connects it again.
        drainMainQueue();
        EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
    };
    std::thread::id mainThread;
    {
        std::promise<std::thread::id> id;
        DispatchQueue::main()->async([&id] { id.set_value(std::this_thread::get_id()); });
        mainThread = id.get_future().get();
    }
    // The reconnect is held inside its connect() on the main queue until the gate opens.
    auto gate = std::make_shared<Gate>();
    const std::shared_ptr<void> opens(nullptr, [gate](void*) { gate->open(); });
    const auto holdTheReconnect = [&] {
        gate->close();
        sink->arm(
            [mainThread](const std::string& text) {
                return text == "+++ connect() " && std::this_thread::get_id() == mainThread;
            },
            [gate] { gate->pass(); });
    };
    // Lets the held reconnect go once the disconnect() waits for it (or has answered).
    const auto releaseWhenWaitedFor = [&](std::future<bool>& disconnected) {
        EXPECT_TRUE(waitUntil([&] {
            std::lock_guard guard(sink->logLock);
            return std::count(sink->logs.begin(), sink->logs.end(),
                              "Waiting for the connect() or disconnect() handed off") > 0 ||
                   disconnected.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        }));
        gate->open();
        ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_TRUE(disconnected.get());
    };
    {
        SCOPED_TRACE("made while the reconnect is under way");
        ASSERT_TRUE(f.connected());
        holdTheReconnect();
        f.reader->setAutoReconnect(true);
        f.reader->transportDisconnect();
        ASSERT_TRUE(waitUntil([&] { return gate->waiting() == 1; }));
        auto disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
        releaseWhenWaitedFor(disconnected);
        settled();
    }
    {
        SCOPED_TRACE("begun before the reconnect was queued, which begins before it answers");
        ASSERT_TRUE(f.connected());
        {
            std::lock_guard guard(sink->logLock);
            sink->logs.clear();
        }
        f.reader->setAutoReconnect(true);
        auto disconnected = std::async(std::launch::async, [&] {
            // The link ends under the disconnect() once it has found the connection standing.
            const auto caller = std::this_thread::get_id();
            sink->arm(
                [caller](const std::string& text) {
                    return text.rfind("disconnect() Action state is", 0) == 0 &&
                           std::this_thread::get_id() == caller;
                },
                [&] {
                    holdTheReconnect();
                    f.reader->transportDisconnect();
                    // The reconnect has begun before this disconnect() goes on.
                    EXPECT_TRUE(waitUntil([&] { return gate->waiting() == 1; }));
                });
            return f.reader->disconnect();
        });
        ASSERT_TRUE(waitUntil([&] { return gate->waiting() == 1; }));
        releaseWhenWaitedFor(disconnected);
        settled();
    }
    {
        SCOPED_TRACE("begun before the reconnect was queued, answered after it");
        ASSERT_TRUE(f.connected());
        HeldMainQueue held;
        // The link ends under the disconnect() once it has found the connection standing.
        const auto caller = std::this_thread::get_id();
        sink->arm(
            [caller](const std::string& text) {
                return text.rfind("disconnect() Action state is", 0) == 0 &&
                       std::this_thread::get_id() == caller;
            },
            [&] { f.reader->transportDisconnect(); });
        f.reader->setAutoReconnect(true);
        EXPECT_TRUE(f.reader->disconnect());
        EXPECT_FALSE(f.reader->autoReconnect());
        held.open();
        settled();
    }
}

// A link the library ended while automatic reconnect is on; the application's answer to the
// Disconnected report is disconnect(), made inside the report or by a thread it wakes. Whatever
// the interleaving, that disconnect() answers true and the reader stays disconnected.
TYPED_TEST(UhfConnectionOrderTest, ADisconnectAnsweringTheReportOutlastsTheReconnect) {
    auto& f = this->f;
    constexpr int kRounds = 8;
    for (const bool inside : {true, false}) {
        SCOPED_TRACE(inside ? "inside the report" : "on a thread the report wakes");
        for (int round = 0; round < kRounds; ++round) {
            ASSERT_TRUE(f.connected());
            auto answer = std::make_shared<std::promise<bool>>();
            auto answered = answer->get_future();
            auto armed = std::make_shared<std::atomic<bool>>(true);
            std::weak_ptr<UhfReader> weak = f.reader;
            f.sink->onConnectState = [=](const ConnectStateEventArgs& args) {
                if (args.connectState() != ConnectState::disconnected || !armed->exchange(false))
                    return;
                const auto disconnect = [answer, weak] {
                    const auto reader = weak.lock();
                    answer->set_value(reader && reader->disconnect());
                };
                if (inside) {
                    disconnect();
                } else {
                    std::thread(disconnect).detach();
                }
            };
            f.reader->setAutoReconnect(true);
            f.reader->transportDisconnect();
            ASSERT_EQ(answered.wait_for(std::chrono::seconds(60)), std::future_status::ready);
            EXPECT_TRUE(answered.get());
            drainMainQueue();
            ASSERT_TRUE(waitUntil([&] {
                return f.reader->connectState() == ConnectState::disconnected &&
                       f.reader->baseTransport()->connectState() == ConnectState::disconnected;
            }));
            drainMainQueue();
            EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected) << "round " << round;
            f.sink->onConnectState = nullptr;
        }
    }
}

}  // namespace
}  // namespace orvane::test
