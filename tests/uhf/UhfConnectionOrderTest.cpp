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

#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/EventSequence.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"
#include "sim/SimVk210.h"
#include "uhf/ConnectionOrderSupport.h"

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

// The automatic reconnect of a link the library ended is an open in the order of the
// application's calls: a disconnect() that answered true leaves the reader disconnected, whether
// it was made while the reconnect's open was under way (it comes after that open and ends the
// connection opened) or begun before the reconnect was owed (no reconnect is opened), the link
// ending inside its step or on another thread.
TYPED_TEST(UhfConnectionOrderTest, ADisconnectThatAnsweredTrueIsNeverUndoneByTheReconnect) {
    auto& f = this->f;
    auto sink = std::make_shared<ArmedSink>(f.calls);
    f.reader->setReaderDelegate(sink);
    const std::shared_ptr<void> disarms(nullptr, [&](void*) {
        sink->arm(nullptr, nullptr);
        f.reader->setReaderDelegate(f.sink);
    });
    const auto settled = [&] {
        stepsSettled(*f.reader);
        EXPECT_TRUE(waitUntil([&] {
            return f.reader->connectState() == ConnectState::disconnected &&
                   f.reader->baseTransport()->connectState() == ConnectState::disconnected &&
                   f.reader->eventLine().statesTold();
        }));
        // Nothing left over connects it again.
        stepsSettled(*f.reader);
        EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
    };
    const auto records = [&](const std::string& head) {
        std::lock_guard guard(sink->logLock);
        return std::count_if(sink->logs.begin(), sink->logs.end(),
                             [&](const std::string& l) { return l.rfind(head, 0) == 0; });
    };
    std::weak_ptr<UhfReader> weak = f.reader;
    const auto onTheSequence = [weak] {
        const auto reader = weak.lock();
        return reader && reader->onOwnSequence();
    };
    constexpr const char* kOpen = "connect() Trigger transport connect";
    constexpr const char* kWaits = "disconnect() - Connect state is";
    // The reconnect is held in its open, a step of the reader's connection sequence (never one
    // the test's own thread runs, which could not open the gate), until the gate opens.
    auto gate = std::make_shared<Gate>();
    const std::shared_ptr<void> opens(nullptr, [gate](void*) { gate->open(); });
    const auto test = std::this_thread::get_id();
    const auto holdTheReconnect = [&] {
        gate->close();
        sink->arm(
            [onTheSequence, test](const std::string& text) {
                return text == kOpen && onTheSequence() && std::this_thread::get_id() != test;
            },
            [gate] { gate->pass(); });
    };
    {
        SCOPED_TRACE("made while the reconnect's open is under way");
        ASSERT_TRUE(f.connected());
        const int connected = f.calls->count("r state Connected");
        holdTheReconnect();
        f.reader->setAutoReconnect(true);
        f.reader->transportDisconnect();
        ASSERT_TRUE(waitUntil([&] { return gate->waiting() == 1; }));
        const auto waits = records(kWaits);
        auto disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
        // The call waits behind the held open (its step comes after it) and answers once the
        // open goes on; the open is let go then, or on every way out.
        const bool waited = waitUntil([&] { return records(kWaits) > waits; });
        const bool early =
            disconnected.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        const int held = gate->waiting();
        gate->open();
        EXPECT_TRUE(waited);
        EXPECT_FALSE(early);
        EXPECT_EQ(held, 1);
        // A hang guard only.
        ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_TRUE(disconnected.get());
        settled();
        // The connection the reconnect opened ended before it was Connected.
        EXPECT_EQ(f.calls->count("r state Connected"), connected);
    }
    {
        SCOPED_TRACE("begun before the reconnect was owed, the link ending inside its step");
        ASSERT_TRUE(f.connected());
        const auto opened = records(kOpen);
        f.reader->setAutoReconnect(true);
        // The link ends under the disconnect() once its step has found the connection standing
        // (held in the disconnect()'s step, on whichever thread runs it); a reconnect would be
        // held in its open.
        sink->arm(
            [onTheSequence](const std::string& text) {
                return text.rfind("disconnect() Action state is", 0) == 0 && onTheSequence();
            },
            [&] {
                holdTheReconnect();
                f.reader->transportDisconnect();
            });
        EXPECT_TRUE(f.reader->disconnect());
        settled();
        // The disconnect() had decided before the link's end owed a reconnect: none is opened.
        EXPECT_EQ(gate->waiting(), 0);
        EXPECT_EQ(records(kOpen), opened);
        EXPECT_FALSE(f.reader->autoReconnect());
        // The hold armed for a reconnect that never came acts no more.
        sink->arm(nullptr, nullptr);
    }
    {
        SCOPED_TRACE("begun before the reconnect was owed, answered by the link's end after it");
        ASSERT_TRUE(f.connected());
        const auto opened = records(kOpen);
        // The link ends under the disconnect() once its step has found the connection standing,
        // on another thread: its reports, and the reconnect they owe, come as steps after the
        // disconnect()'s.
        sink->arm(
            [onTheSequence](const std::string& text) {
                return text.rfind("disconnect() Action state is", 0) == 0 && onTheSequence();
            },
            [&] { std::thread([&] { f.reader->transportDisconnect(); }).join(); });
        f.reader->setAutoReconnect(true);
        EXPECT_TRUE(f.reader->disconnect());
        // The step of the link's end has taken the reconnect.
        stepsRan(*f.reader);
        EXPECT_FALSE(f.reader->autoReconnect());
        settled();
        EXPECT_EQ(records(kOpen), opened);
    }
}

// A link the library ended while automatic reconnect is on; the application's answer to the
// Disconnected report is disconnect(), made inside the report or by a thread it wakes. Whatever
// the interleaving, that disconnect() answers true and the reader stays disconnected.
//
// The call's step comes before the reconnect's open or after it. After it, the call waits for the
// open, then for the initialisation of the connection opened to end it by its stop path: budgets
// of real time (about 3 s for its step's turn, 4 s for the stop path, 1 s for its own close) that
// a busy machine can spend. The call is held at its first poll until what answers it has come
// (its step has run and the reader has ended Disconnected, with the steps that followed run), so
// no budget decides the answer.
TYPED_TEST(UhfConnectionOrderTest, ADisconnectAnsweringTheReportOutlastsTheReconnect) {
    auto& f = this->f;
    auto sink = std::make_shared<RecordSink>(f.calls);
    f.reader->setReaderDelegate(sink);
    const std::shared_ptr<void> disarms(nullptr, [&](void*) {
        sink->disarm();
        sink->onConnectState = nullptr;
        f.reader->setReaderDelegate(f.sink);
    });
    std::weak_ptr<UhfReader> weak = f.reader;
    const auto ended = [weak] {
        const auto reader = weak.lock();
        return !reader || (reader->connectState() == ConnectState::disconnected &&
                           reader->baseTransport()->connectState() == ConnectState::disconnected);
    };
    // A red prints the records from the start of the first round that failed.
    std::size_t explainFrom = 0;
    const std::shared_ptr<void> explains(nullptr, [&](void*) { explainRed(*sink, explainFrom); });
    constexpr int kRounds = 8;
    for (const bool inside : {true, false}) {
        SCOPED_TRACE(inside ? "inside the report" : "on a thread the report wakes");
        for (int round = 0; round < kRounds; ++round) {
            // A red round ends the test: the rounds after it would only wait out their guards.
            if (::testing::Test::HasFailure()) return;
            SCOPED_TRACE("round " + std::to_string(round));
            if (!::testing::Test::HasFailure()) explainFrom = historyMark(*sink);
            ASSERT_TRUE(f.connected());
            auto answer = std::make_shared<std::promise<bool>>();
            auto answered = answer->get_future();
            auto armed = std::make_shared<std::atomic<bool>>(true);
            sink->onConnectState = [=](const ConnectStateEventArgs& args) {
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
            sink->arm(
                [weak](const std::string& text) {
                    const auto reader = weak.lock();
                    return text.rfind("disconnect() - Connect state is", 0) == 0 && reader &&
                           !reader->onOwnSequence() && !BaseProtocol::onAnyLinkThread();
                },
                [weak, ended] {
                    const auto reader = weak.lock();
                    if (!reader) return;
                    // The call's step has run; the end it waits for has come (a hang guard
                    // only), and so has the step that stored it.
                    stepsRan(*reader);
                    waitUntil(ended);
                    stepsRan(*reader);
                });
            f.reader->setAutoReconnect(true);
            f.reader->transportDisconnect();
            ASSERT_EQ(answered.wait_for(std::chrono::seconds(60)), std::future_status::ready);
            EXPECT_TRUE(answered.get());
            ASSERT_TRUE(waitUntil(ended));
            stepsSettled(*f.reader);
            EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
            EXPECT_EQ(f.reader->baseTransport()->connectState(), ConnectState::disconnected);
            sink->onConnectState = nullptr;
            // A hold whose call answered before it polled acts no more.
            sink->disarm();
        }
    }
}

// A disconnect() that answered true stays the last word whatever thread made it: a log sink on
// the reader's link thread (handed off, ending the link with automatic reconnect on), or the sink
// inside the automatic reconnect's steps on the reader's connection sequence, before or after its
// last look at the application's call. The reconnect opens nothing, or the connection it opened
// ends before it is Connected; the reader stays disconnected.
TYPED_TEST(UhfConnectionOrderTest, ADisconnectThatAnsweredTrueOnAnyThreadStaysTheLastWord) {
    auto& f = this->f;
    auto sink = std::make_shared<RecordSink>(f.calls);
    f.reader->setReaderDelegate(sink);
    const std::shared_ptr<void> disarms(nullptr, [&](void*) {
        sink->disarm();
        f.reader->setReaderDelegate(f.sink);
    });
    std::weak_ptr<UhfReader> weak = f.reader;
    // The reconnect is owed by the step of the link's end and opened by a later step, both on the
    // reader's connection sequence (no longer inside a connect() on the main queue).
    const auto onTheReconnect = [weak](const char* record) {
        return [weak, record](const std::string& text) {
            const auto reader = weak.lock();
            return text == record && reader && reader->onOwnSequence();
        };
    };
    struct Row {
        const char* name;
        std::function<bool(const std::string&)> where;
        // The sink's call ends the link itself (else the library does).
        bool endsTheLink;
        // The reconnect opens a connection, which its initialisation ends.
        bool opens;
    };
    const Row rows[] = {
        {"a sink on a link thread",
         [](const std::string&) { return BaseProtocol::onAnyLinkThread(); }, true, false},
        // The step of the link's end, before it owes the reconnect.
        {"a sink inside the reconnect's steps, before its last look",
         onTheReconnect(" *** Stop protocol"), false, false},
        {"a sink inside the reconnect's open, after its last look",
         onTheReconnect("connect() Trigger transport connect"), false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(f.connected());
        auto answer = std::make_shared<std::promise<bool>>();
        auto answered = answer->get_future();
        const int connecting = f.calls->count("r state Connecting");
        const int connected = f.calls->count("r state Connected");
        f.reader->setAutoReconnect(true);
        sink->arm(row.where, [answer, weak] {
            const auto reader = weak.lock();
            answer->set_value(reader && reader->disconnect());
        });
        if (!row.endsTheLink) f.reader->transportDisconnect();
        ASSERT_EQ(answered.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_TRUE(answered.get());
        // The step of the link's end has taken the reconnect, and the steps it owed have had
        // their turn: the reconnect has given way, or opened a connection that ends.
        ASSERT_TRUE(waitUntil([&] { return !f.reader->autoReconnect(); }));
        stepsSettled(*f.reader);
        ASSERT_TRUE(waitUntil([&] {
            return f.reader->eventLine().statesTold() &&
                   f.reader->connectState() == ConnectState::disconnected &&
                   f.reader->baseTransport()->connectState() == ConnectState::disconnected;
        }));
        EXPECT_EQ(f.calls->count("r state Connected"), connected);
        EXPECT_EQ(f.calls->count("r state Connecting"), connecting + (row.opens ? 1 : 0));
        EXPECT_EQ(statesHeard(*f.calls).back(), "Disconnected");
    }
}

// A disconnect() made while the automatic reconnect's connection initialises lets the
// initialisation end that connection by its stop path; only one that has not stopped about 4 s
// after the call is closed by the call. Here the initialisation is held at its start, so it never
// gets there: the call closes the link itself and answers true while it is still held, and the
// held initialisation, let go, ends quietly.
TYPED_TEST(UhfConnectionOrderTest, ADisconnectDuringTheReconnectsInitialisationEndsIt) {
    auto& f = this->f;
    auto sink = std::make_shared<RecordSink>(f.calls);
    f.reader->setReaderDelegate(sink);
    auto held = std::make_shared<Gate>();
    const std::shared_ptr<void> opens(nullptr, [&](void*) {
        held->open();
        sink->disarm();
        f.reader->setReaderDelegate(f.sink);
    });
    ASSERT_TRUE(f.connected());
    held->close();
    sink->arm([](const std::string& text) { return text == "+++ asyncInitReader()"; },
              [held] { held->pass(); });
    f.reader->setAutoReconnect(true);
    f.reader->transportDisconnect();
    ASSERT_TRUE(waitUntil([&] { return held->waiting() == 1; }));
    auto disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
    // On every way out the initialisation goes on (its stop path ends a call that would wait for
    // it) before the call is waited for.
    const std::shared_ptr<void> letsGo(nullptr, [&](void*) { held->open(); });
    // A hang guard only: the call answers while the initialisation is still held.
    ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_EQ(held->waiting(), 1);
    EXPECT_TRUE(disconnected.get());
    held->open();
    ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    drainMainQueue();
    EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
    EXPECT_EQ(f.calls->count("r state Connected"), 1);
    EXPECT_EQ(statesHeard(*f.calls).back(), "Disconnected");
}

// A Vk210 in another connection mode: the application's disconnect() made while the mode switch's
// reconnect is held in its open (a step of the reader's connection sequence) waits behind that
// open and comes after it: the connection the reconnect opened is ended by its initialisation's
// stop path before it is Connected, the call answers true, and the reader stays disconnected.
TEST(UhfConnectionOrderModeSwitch, ADisconnectMadeDuringTheSwitchOutlastsItsReconnect) {
    orvLogger::setShowNSLog(false);
    auto simReader = std::make_shared<SimVk210>();
    addVk210ModuleRows(*simReader);
    ModelReader<Vk210Model> f(simReader);
    auto sink = std::make_shared<RecordSink>(f.calls);
    f.reader->setReaderDelegate(sink);
    auto inConnect = std::make_shared<Gate>();
    auto inInit = std::make_shared<Gate>();
    const std::shared_ptr<void> opens(nullptr, [&](void*) {
        inConnect->open();
        inInit->open();
        sink->disarm();
        f.reader->setReaderDelegate(f.sink);
        orvLogger::setShowNSLog(true);
    });
    std::weak_ptr<UhfReader> weak = f.reader;
    constexpr const char* kOpen = "connect() Trigger transport connect";
    inConnect->close();
    inInit->close();
    // The reconnect is held in its open, a step of the reader's connection sequence (the
    // application's own open, before it, goes on), and the initialisation of the connection it
    // opens is held too.
    sink->arm([](const std::string& text) { return text == kOpen; }, [] {});
    sink->arm(
        [weak](const std::string& text) {
            const auto reader = weak.lock();
            return text == kOpen && reader && reader->onOwnSequence();
        },
        [inConnect] { inConnect->pass(); });
    ASSERT_TRUE(f.reader->connect());
    ASSERT_TRUE(waitUntil([&] { return inConnect->waiting() == 1; }));
    sink->arm([](const std::string& text) { return text == "+++ asyncInitReader()"; },
              [inInit] { inInit->pass(); });
    const int waits = sink->countStarting("disconnect() - Connect state is");
    auto disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
    // The call waits behind the held open (its step comes after it).
    const bool waited =
        waitUntil([&] { return sink->countStarting("disconnect() - Connect state is") > waits; });
    const bool early = disconnected.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    EXPECT_EQ(inConnect->waiting(), 1);
    inConnect->open();
    EXPECT_TRUE(waited);
    EXPECT_FALSE(early);
    // The held initialisation goes on once the call has asked the end of its connection.
    EXPECT_TRUE(waitUntil([&] { return f.reader->triggerDisconnect(); }));
    inInit->open();
    // A hang guard only.
    ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    stepsSettled(*f.reader);
    EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
    EXPECT_EQ(f.reader->baseTransport()->connectState(), ConnectState::disconnected);
    EXPECT_EQ(statesHeard(*f.calls),
              (std::vector<std::string>{"Connecting", "Disconnecting", "Disconnected", "Connecting",
                                        "Disconnecting", "Disconnected"}));
}

// Records the tag reports and the states the application hears; `onTag` runs inside each tag
// report with the number of tags told before it.
class TagAndStateWatcher : public RfidDelegate {
  public:
    void readTag(const std::shared_ptr<BaseReader>&, const std::shared_ptr<TagInfo>&) override {
        const int before = tags.fetch_add(1);
        if (onTag) onTag(before);
    }
    void accessResult(const std::shared_ptr<BaseReader>&, const AccessResultEventArgs&) override {}
    std::atomic<int> tags{0};
    std::function<void(int)> onTag;
};

// One batch of the line holds the old connection's Stop and the new connection's first tag
// reports (the old connection's start report is held until the new one's tags wait behind it).
// The new connection's tag callback, held or slow, holds back neither its Connected nor the
// Disconnected of its end.
TYPED_TEST(UhfConnectionOrderTest, ANewConnectionsTagCallbackHoldsBackNoneOfItsStates) {
    auto& f = this->f;
    constexpr int kSlowTags = 200;
    for (const bool slow : {false, true}) {
        SCOPED_TRACE(slow ? "slow tag callbacks" : "a held tag callback");
        f.sim->setTags(makeSimTags(100));
        ASSERT_TRUE(f.connected());
        auto start = std::make_shared<HeldStart>();
        f.reader->setUhfReaderDelegate(start);
        auto watcher = std::make_shared<TagAndStateWatcher>();
        auto tagGate = std::make_shared<Gate>();
        bool released = false;
        const auto release = [&] {
            if (!std::exchange(released, true)) start->release();
        };
        const std::shared_ptr<void> opens(nullptr, [&](void*) {
            release();
            tagGate->open();
        });
        auto heardWhileHeld = std::make_shared<std::atomic<int>>(-1);
        const auto calls = f.calls;
        if (slow) {
            // 1 ms each; the last of the first `kSlowTags` waits for Connected (a guard bounds
            // it), and notes how many tags were told before Connected was heard.
            watcher->onTag = [calls, heardWhileHeld](int before) {
                if (before < kSlowTags) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (before != kSlowTags - 1) return;
                waitUntil([&] { return calls->count("r state Connected") == 1; },
                          std::chrono::seconds(20));
                heardWhileHeld->store(calls->count("r state Connected") == 1 ? 1 : 0);
            };
        } else {
            tagGate->close();
            watcher->onTag = [tagGate](int before) {
                if (before == 0) tagGate->pass();
            };
        }
        f.reader->setRfidDelegate(watcher);
        f.sim->setInventoryOnce(false);
        f.sim->setInventoryRate(3000);
        f.reader->uhf()->inventory([](ResultCode) {});
        ASSERT_EQ(start->inside.get_future().wait_for(std::chrono::seconds(60)),
                  std::future_status::ready);
        f.calls->clear();
        ASSERT_TRUE(f.reader->disconnect());
        ASSERT_TRUE(f.reader->connect());
        ASSERT_TRUE(waitUntil([&] { return f.reader->connectState() == ConnectState::connected; }));
        const std::size_t before = f.reader->eventLine().waitingTags();
        f.reader->uhf()->inventory([](ResultCode) {});
        // The new connection's tags wait behind the old Stop, enough for the slow row's batch.
        ASSERT_TRUE(waitUntil(
            [&] { return f.reader->eventLine().waitingTags() >= before + 2 * kSlowTags; }));
        EXPECT_EQ(f.calls->count("r state Connected"), 0);
        release();
        if (slow) {
            ASSERT_TRUE(waitUntil([&] { return heardWhileHeld->load() >= 0; }));
            EXPECT_EQ(heardWhileHeld->load(), 1);
            ASSERT_TRUE(f.reader->disconnect());
        } else {
            ASSERT_TRUE(waitUntil([&] { return tagGate->waiting() == 1; }));
            EXPECT_TRUE(waitUntil([&] { return f.calls->count("r state Connected") == 1; },
                                  std::chrono::seconds(20)));
            ASSERT_TRUE(f.reader->disconnect());
            EXPECT_TRUE(waitUntil([&] { return f.calls->count("r state Disconnected") == 2; },
                                  std::chrono::seconds(20)));
            EXPECT_EQ(tagGate->waiting(), 1);
            tagGate->open();
        }
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().isIdle(); }));
        EXPECT_EQ(statesHeard(*f.calls),
                  (std::vector<std::string>{"Disconnecting", "Disconnected", "Connecting",
                                            "Connected", "Disconnecting", "Disconnected"}));
        f.reader->setRfidDelegate(std::weak_ptr<RfidDelegate>());
        f.reader->setUhfReaderDelegate(std::weak_ptr<UhfReaderDelegate>());
    }
}

}  // namespace
}  // namespace orvane::test
