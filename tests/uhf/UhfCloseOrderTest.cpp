// Which connection a close ends and what a call made during a connection's making leads to: a
// close ends the connection it was meant for and no later one (the initialisation's stop and
// failure paths, a disconnect(), a disconnect() handed off from a link thread), a connect() handed
// off from a link thread is carried out, and a disconnect() made while a connection is being made
// ends it by the initialisation's stop path.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/reader/EventSequence.h"
#include "reader/ReaderFixture.h"
#include "uhf/ConnectionOrderSupport.h"

namespace orvane::test {
namespace {

constexpr const char* kInitStarts = "+++ asyncInitReader()";
constexpr const char* kInitEnds = "--- asyncInitReader()";
constexpr const char* kStopPath =
    "initReaderViaMultiSetting() - triggerDisconnect is true, stop init reader";
constexpr const char* kInitFails = " - Failed to init device";
constexpr const char* kEndReported = "*** Transport connect state event: Disconnecting";
constexpr const char* kAlreadyEnded = "disconnect() - Already disconnected";
constexpr const char* kCallCloses = "disconnect() Trigger transport disconnect";
constexpr const char* kLeftForTheEnd =
    "connect() - Connect state is Connecting, waiting for its end";

// Whether `text` starts with `head`: a record the log limit repeats has its count appended.
bool startsWith(const std::string& text, const std::string& head) {
    return text.rfind(head, 0) == 0;
}

template <class Model>
class UhfCloseOrderTest : public HeldReaderTest<Model> {
  protected:
    using Base = HeldReaderTest<Model>;
    using Base::f;
    using Base::sink;

    void TearDown() override {
        this->letEverythingGo();
        explainRed(*sink, explainFrom_);
    }

    // A red prints the records from here on: a round calls it as it starts, and it moves no more
    // once a check has failed.
    void explainFromHere() {
        if (!::testing::Test::HasFailure()) explainFrom_ = historyMark(*sink);
    }
    // Runs `call` as the log sink, on one of the reader's link threads: the simulated reader
    // sends a byte, whose read writes a record there.
    void onALinkThread(std::function<void()> call) {
        auto ran = std::make_shared<std::atomic<bool>>(false);
        sink->arm([](const std::string&) { return BaseProtocol::onAnyLinkThread(); },
                  [ran, call = std::move(call)] {
                      call();
                      ran->store(true);
                  });
        ASSERT_TRUE(waitUntil([&] {
            f.sim->sendEvent({0x00});
            return ran->load();
        }));
    }
    // The log sink's connect() on a link thread, which answers true at once, once the call
    // handed off has found the connection being made and is left for its end.
    void sinksConnect() {
        const int left = sink->countStarting(kLeftForTheEnd);
        auto answer = std::make_shared<std::atomic<int>>(-1);
        std::weak_ptr<UhfReader> weak = f.reader;
        onALinkThread([answer, weak] {
            if (const auto reader = weak.lock()) answer->store(reader->connect() ? 1 : 0);
        });
        EXPECT_EQ(answer->load(), 1);
        // The handed-off call's step comes before the steps posted after it.
        ASSERT_NO_FATAL_FAILURE(drainSteps());
        ASSERT_EQ(sink->countStarting(kLeftForTheEnd), left + 1);
    }
    // Every step posted so far to the reader's connection sequence has had its turn.
    void drainSteps() { stepsRan(*f.reader); }

  private:
    std::size_t explainFrom_ = 0;
};

using Models = ::testing::Types<Vk210UhfModel, Vk640Model>;
TYPED_TEST_SUITE(UhfCloseOrderTest, Models, ModelName);

// One thread calls connect(), disconnect(), connect(), with automatic reconnect off and on: all
// three answer true and the reader ends Connected, as the last call asked. The records that open
// the window are held: the first connection's initialisation waits at its start until the
// disconnect() is made, then in its stop path (before its close) until the second connect() has
// opened the next connection. So the disconnect() closes the first connection itself, about 4 s
// after the call, and the first connection's stop path and that close act only once the second
// connection is open: neither ends it.
TYPED_TEST(UhfCloseOrderTest, ConnectDisconnectConnectOnOneThreadEndsConnected) {
    auto& f = this->f;
    for (const bool autoReconnect : {false, true}) {
        SCOPED_TRACE(autoReconnect ? "automatic reconnect on" : "automatic reconnect off");
        ASSERT_TRUE(f.reader->disconnect());
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
        auto starts = this->closedGate();
        auto stops = this->closedGate();
        this->holdAt(kInitStarts, starts);
        // The first initialisation's thread, held in its stop path.
        auto stopping = std::make_shared<std::atomic<std::thread::id>>();
        this->sink->arm([](const std::string& text) { return startsWith(text, kStopPath); },
                        [stops, stopping] {
                            stopping->store(std::this_thread::get_id());
                            stops->pass();
                        });
        std::atomic<bool> answered{false};
        std::atomic<bool> rescued{false};
        std::thread helper([&] {
            // The first initialisation goes on once the disconnect() has been made.
            waitUntil([&] { return f.reader->triggerDisconnect(); });
            starts->open();
            // A hang guard only: a disconnect() that waits for the held stop path is let go.
            if (!waitUntil([&] { return answered.load(); })) {
                rescued = true;
                stops->open();
            }
        });
        const std::shared_ptr<void> joins(nullptr, [&](void*) {
            answered = true;
            this->openTheGates();
            helper.join();
        });
        f.reader->setAutoReconnect(autoReconnect);
        const auto transport = f.reader->baseTransport();
        EXPECT_TRUE(f.reader->connect());
        const uint64_t first = transport->linkNumber();
        EXPECT_TRUE(f.reader->disconnect());
        answered = true;
        // The call closed the first connection itself; its stop path is still held before its
        // close.
        ASSERT_FALSE(rescued.load());
        ASSERT_TRUE(waitUntil([&] { return stops->waiting() == 1; }));
        EXPECT_TRUE(f.reader->connect());
        const uint64_t second = transport->linkNumber();
        EXPECT_GT(second, first);
        auto firstEnds = std::make_shared<std::promise<void>>();
        auto firstEnded = firstEnds->get_future();
        this->sink->arm(
            [stopping](const std::string& text) {
                return text == kInitEnds && std::this_thread::get_id() == stopping->load();
            },
            [firstEnds] { firstEnds->set_value(); });
        stops->open();
        // A hang guard only.
        ASSERT_EQ(firstEnded.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        // The first connection's stop path ended nothing of the second.
        ASSERT_EQ(transport->connectState(), ConnectState::connected);
        ASSERT_EQ(transport->linkNumber(), second);
        ASSERT_TRUE(this->endsConnected());
        f.reader->setAutoReconnect(false);
    }
}

// A disconnect() made while the initialisation runs, before its first exchange or with one in
// flight, lets it end its connection by its stop path, and answers once it has: the link stays
// open while the stop path is held, the call then answers true with no ERROR record, and the next
// connect() is not touched by the old initialisation.
TYPED_TEST(UhfCloseOrderTest, ADisconnectDuringTheInitialisationAnswersOnceItsStopPathEndedIt) {
    auto& f = this->f;
    // The disconnect()'s own end, for an initialisation that does not stop in time, cannot come
    // while the test holds the initialisation.
    const ClockSpeed slow(0.25);
    for (const bool inFlight : {false, true}) {
        SCOPED_TRACE(inFlight ? "an exchange in flight" : "before the first exchange");
        ASSERT_TRUE(f.reader->disconnect());
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
        auto starts = this->closedGate();
        auto stops = this->closedGate();
        const std::size_t held = f.sim->heldFrames();
        if (inFlight) {
            // The first reply of the initialisation waits until the disconnect() is made.
            f.sim->holdFrames([](ByteView) { return true; });
        } else {
            this->holdAt(kInitStarts, starts);
        }
        ASSERT_TRUE(f.reader->connect());
        if (inFlight) {
            ASSERT_TRUE(waitUntil([&] { return f.sim->heldFrames() > held; }));
        } else {
            ASSERT_TRUE(waitUntil([&] { return starts->waiting() == 1; }));
        }
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
        f.calls->clear();
        const std::size_t errors = this->sink->errorCount();
        auto disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
        const auto opens = this->opensTheGates();
        const std::shared_ptr<void> releases(nullptr, [&](void*) {
            f.sim->holdFrames(nullptr);
            f.sim->releaseHeldFrames();
        });
        ASSERT_TRUE(waitUntil([&] { return f.reader->triggerDisconnect(); }));
        this->holdAt(kStopPath, stops);
        if (inFlight) {
            f.sim->holdFrames(nullptr);
            f.sim->releaseHeldFrames();
        } else {
            starts->open();
        }
        ASSERT_TRUE(waitUntil([&] { return stops->waiting() == 1; }));
        EXPECT_EQ(disconnected.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
        EXPECT_EQ(f.reader->baseTransport()->connectState(), ConnectState::connected);
        stops->open();
        ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_TRUE(disconnected.get());
        EXPECT_EQ(f.reader->baseTransport()->connectState(), ConnectState::disconnected);
        EXPECT_TRUE(f.reader->connect());
        EXPECT_TRUE(this->endsConnected());
        // The link's own records of its end and of its next start (a receive loop that sees the
        // link Disconnected, a read pass that finds the next link still Connecting) are no
        // failure, repeated or not.
        std::vector<std::string> caused = this->sink->errorsSince(errors);
        std::erase_if(caused, [](const std::string& text) {
            return startsWith(text, "keepReadThread() transport is disconnected, exit thread") ||
                   startsWith(text,
                              "assertConnection() connectState is not connected - Connecting");
        });
        EXPECT_EQ(caused, std::vector<std::string>{});
        EXPECT_EQ(statesHeard(*f.calls), (std::vector<std::string>{"Disconnecting", "Disconnected",
                                                                   "Connecting", "Connected"}));
    }
}

// The initialisation's stop path and its failure path close the connection they were made for and
// no later one. The first connection's initialisation is held at its start; then its link ends,
// and the reader is told so on this thread: inside that report, before the reader has heard of
// the end, the initialisation is let go and held again where it closes (its stop path, as a
// disconnect() is at work, or its failure path, as its first exchange fails on the ended link),
// and the next link opens. Let go, that close ends nothing: the next connection stands.
TYPED_TEST(UhfCloseOrderTest, AnInitialisationsCloseNeverEndsALaterConnection) {
    auto& f = this->f;
    // The disconnect()'s own end, for an initialisation that does not stop in time, cannot come
    // while the test holds the initialisation.
    const ClockSpeed slow(0.25);
    struct Row {
        const char* name;
        // A disconnect() is at work: the initialisation takes its stop path.
        bool disconnecting;
        // The record the initialisation writes right before it closes.
        const char* closes;
    };
    const Row rows[] = {
        {"the stop path", true, kStopPath},
        {"the failure path", false, kInitFails},
    };
    const auto transport = f.reader->baseTransport();
    const auto test = std::this_thread::get_id();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(f.reader->disconnect());
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
        auto starts = this->closedGate();
        auto closes = this->closedGate();
        ASSERT_NO_FATAL_FAILURE(this->connectHeldAtTheStart(starts));
        const uint64_t first = transport->linkNumber();
        std::future<bool> disconnected;
        if (row.disconnecting) {
            disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
        }
        const auto opens = this->opensTheGates();
        if (row.disconnecting) {
            ASSERT_TRUE(waitUntil([&] { return f.reader->triggerDisconnect(); }));
        }
        struct Seen {
            bool ran = false;
            bool opened = false;
            uint64_t next = 0;
            bool initEnded = false;
            ConnectState after = ConnectState::disconnected;
            uint64_t linkAfter = 0;
        };
        auto seen = std::make_shared<Seen>();
        auto ended = std::make_shared<std::promise<void>>();
        this->sink->arm(
            [test](const std::string& text) {
                return text == kEndReported && std::this_thread::get_id() == test;
            },
            [&, seen, ended] {
                seen->ran = true;
                this->holdAt(row.closes, closes);
                starts->open();
                if (!waitUntil([&] { return closes->waiting() == 1; })) return;
                seen->opened = transport->connect();
                seen->next = transport->linkNumber();
                this->sink->arm(
                    [test](const std::string& text) {
                        return text == kInitEnds && std::this_thread::get_id() != test;
                    },
                    [ended] { ended->set_value(); });
                closes->open();
                seen->initEnded = ended->get_future().wait_for(std::chrono::seconds(60)) ==
                                  std::future_status::ready;
                seen->after = transport->connectState();
                seen->linkAfter = transport->linkNumber();
            });
        transport->disconnect();
        ASSERT_TRUE(seen->ran);
        ASSERT_TRUE(seen->opened);
        ASSERT_TRUE(seen->initEnded);
        EXPECT_EQ(seen->next, first + 1);
        // The close of the first connection left the next one standing.
        ASSERT_EQ(seen->after, ConnectState::connected);
        ASSERT_EQ(seen->linkAfter, seen->next);
        if (row.disconnecting) {
            // The disconnect() was the last call: it answers true, and the next connection ends
            // too (the application no longer wants one).
            ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
            EXPECT_TRUE(disconnected.get());
            EXPECT_TRUE(this->endsDisconnected());
        } else {
            EXPECT_TRUE(this->endsConnected());
        }
    }
}

// A disconnect() held in its record after it found the connection standing: meanwhile that link
// drops and another thread's connect() is made (it comes after the held call, in the reader's
// connection sequence). The held call ends nothing it did not find; it answers true, and the
// connect() made after it opens the next connection: the reader stays Connected, as the later
// call asked.
TYPED_TEST(UhfCloseOrderTest, ADisconnectEndsOnlyTheConnectionItFound) {
    auto& f = this->f;
    ASSERT_TRUE(f.connected());
    const auto transport = f.reader->baseTransport();
    const uint64_t first = transport->linkNumber();
    auto held = this->closedGate();
    // Held in the disconnect()'s step, on whichever thread runs it.
    std::weak_ptr<UhfReader> weak = f.reader;
    this->holdAt("disconnect() Action state is Stop", held, [weak] {
        const auto reader = weak.lock();
        return reader && reader->onOwnSequence();
    });
    auto disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
    const auto opens = this->opensTheGates();
    ASSERT_TRUE(waitUntil([&] { return held->waiting() == 1; }));
    f.reader->transportDisconnect();
    ASSERT_EQ(transport->connectState(), ConnectState::disconnected);
    const int waits = this->sink->countStarting("connect() - Connect state is");
    auto connected = std::async(std::launch::async, [&] { return f.reader->connect(); });
    // The connect() waits behind the held call.
    ASSERT_TRUE(waitUntil(
        [&] { return this->sink->countStarting("connect() - Connect state is") > waits; }));
    held->open();
    ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    ASSERT_EQ(connected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(connected.get());
    EXPECT_EQ(transport->linkNumber(), first + 1);
    EXPECT_TRUE(this->endsConnected());
}

// A disconnect() handed off from a link thread ends the connection the transport held when it was
// made, never one opened before its turn comes. The connection sequence is held at the start of an
// earlier handed-off disconnect() while a second one is handed off for the same link; meanwhile
// that link ends and the transport opens the next. The first end, let go, finds its link gone, the
// second ends nothing more: neither closes a link itself. The next connection, opened while the
// application's last call was a disconnect(), is ended by the reader as soon as it is reported.
TYPED_TEST(UhfCloseOrderTest, AHandedOffDisconnectEndsOnlyTheConnectionItWasMadeFor) {
    auto& f = this->f;
    ASSERT_TRUE(f.connected());
    auto steps = this->closedGate();
    const auto test = std::this_thread::get_id();
    this->holdAt("+++ disconnect() ", steps, [test] {
        return !BaseProtocol::onAnyLinkThread() && std::this_thread::get_id() != test;
    });
    std::weak_ptr<UhfReader> weak = f.reader;
    const auto sinksDisconnect = [&] {
        this->onALinkThread([weak] {
            if (const auto reader = weak.lock()) {
                EXPECT_TRUE(reader->disconnect());
            }
        });
    };
    sinksDisconnect();
    ASSERT_TRUE(waitUntil([&] { return steps->waiting() == 1; }));
    sinksDisconnect();
    const auto transport = f.reader->baseTransport();
    const uint64_t first = transport->linkNumber();
    ASSERT_TRUE(transport->disconnect());
    ASSERT_TRUE(transport->connect());
    ASSERT_EQ(transport->linkNumber(), first + 1);
    const int ended = this->sink->count(kAlreadyEnded);
    const int closed = this->sink->count(kCallCloses);
    steps->open();
    EXPECT_TRUE(this->endsDisconnected());
    EXPECT_EQ(this->sink->count(kAlreadyEnded), ended + 1);
    EXPECT_EQ(this->sink->count(kCallCloses), closed);
}

// A log sink's connect() on a link thread, made while the initialisation's stop path ends a
// connection being made (the application's disconnect() is at work, the stop path is held before
// its close): the connect() does not take the connection being ended for its own. It waits for
// that end, then connects: the disconnect() answers true and the reader ends Connected on a new
// connection.
TYPED_TEST(UhfCloseOrderTest, ASinksConnectDuringTheEndOfAConnectionBeingMadeConnectsAfterIt) {
    auto& f = this->f;
    const ClockSpeed slow(0.25);
    auto starts = this->closedGate();
    auto stops = this->closedGate();
    ASSERT_NO_FATAL_FAILURE(this->connectHeldAtTheStart(starts));
    const uint64_t first = f.reader->baseTransport()->linkNumber();
    auto disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
    const auto opens = this->opensTheGates();
    ASSERT_TRUE(waitUntil([&] { return f.reader->triggerDisconnect(); }));
    this->holdAt(kStopPath, stops);
    starts->open();
    ASSERT_TRUE(waitUntil([&] { return stops->waiting() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    f.calls->clear();
    ASSERT_NO_FATAL_FAILURE(this->sinksConnect());
    stops->open();
    ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    EXPECT_TRUE(this->endsConnected());
    EXPECT_GT(f.reader->baseTransport()->linkNumber(), first);
    EXPECT_EQ(statesHeard(*f.calls), (std::vector<std::string>{"Disconnecting", "Disconnected",
                                                               "Connecting", "Connected"}));
}

// A log sink's connect() on a link thread while a connection is being made, whose link then drops
// during its initialisation: the connect() relied on a connection that ended without Connected,
// so it connects after that end, once, and the reader ends Connected.
TYPED_TEST(UhfCloseOrderTest, ASinksConnectWhoseConnectionFailsConnectsAgain) {
    auto& f = this->f;
    const ClockSpeed slow(0.25);
    auto starts = this->closedGate();
    ASSERT_NO_FATAL_FAILURE(this->connectHeldAtTheStart(starts));
    ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    f.calls->clear();
    ASSERT_NO_FATAL_FAILURE(this->sinksConnect());
    f.reader->transportDisconnect();
    starts->open();
    EXPECT_TRUE(this->endsConnected());
    EXPECT_EQ(statesHeard(*f.calls), (std::vector<std::string>{"Disconnecting", "Disconnected",
                                                               "Connecting", "Connected"}));
}

// A connect() handed off from a link thread is left for a connection being made; the
// application's disconnect() made meanwhile is its last word: the handed-off connect() opens
// nothing after the end, and the reader ends Disconnected.
TYPED_TEST(UhfCloseOrderTest, ADisconnectMadeWhileAHandedOffConnectWaitsIsTheLastWord) {
    auto& f = this->f;
    const ClockSpeed slow(0.25);
    auto starts = this->closedGate();
    ASSERT_NO_FATAL_FAILURE(this->connectHeldAtTheStart(starts));
    ASSERT_NO_FATAL_FAILURE(this->sinksConnect());
    auto disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
    const auto opens = this->opensTheGates();
    ASSERT_TRUE(waitUntil([&] { return f.reader->triggerDisconnect(); }));
    starts->open();
    ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    EXPECT_TRUE(this->endsDisconnected());
    EXPECT_EQ(statesHeard(*f.calls),
              (std::vector<std::string>{"Connecting", "Disconnecting", "Disconnected"}));
}

// Thread A's disconnect() and then thread B's connect() are made while a connection is being made
// (its initialisation held at its start), with or without a log sink's connect() handed off from
// a link thread before them. B's call is the last and decides: A ends nothing, the connection
// being made is kept, and both answer true. The initialisation goes on only once both calls are
// recorded, so the window is open in every round. B's answer is the connection standing, after
// the whole initialisation: a call that waits a poll is held there until the connection stands,
// so no call's budget is spent while a busy machine runs the initialisation.
TYPED_TEST(UhfCloseOrderTest, ADisconnectSupersededByALaterConnectEndsNothing) {
    auto& f = this->f;
    // The slow clock keeps the other budgets (the initialisation's exchanges, the keep-alive) far
    // from anything a busy machine needs: they only guard against a hang.
    const ClockSpeed slow(0.25);
    constexpr int kRounds = 20;
    for (const bool handedOff : {false, true}) {
        SCOPED_TRACE(handedOff ? "a sink's connect() handed off first" : "two threads");
        for (int round = 0; round < kRounds; ++round) {
            // A red round ends the test: the rounds after it would only wait out their guards.
            if (::testing::Test::HasFailure()) return;
            SCOPED_TRACE("round " + std::to_string(round));
            this->explainFromHere();
            ASSERT_TRUE(f.reader->disconnect());
            ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
            auto starts = this->closedGate();
            ASSERT_NO_FATAL_FAILURE(this->connectHeldAtTheStart(starts));
            if (handedOff) this->sinksConnect();
            ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
            f.calls->clear();
            // A call still waiting at its poll is held there until the connection stands.
            auto polls = this->closedGate();
            this->holdAt("disconnect() - Connect state is", polls);
            this->holdAt("connect() - Connect state is Connecting, waiting...", polls);
            auto a = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
            const auto opensForA = this->opensTheGates();
            // A is recorded once the stop mark is up; B's record takes it down again.
            ASSERT_TRUE(waitUntil([&] { return f.reader->triggerDisconnect(); }));
            auto b = std::async(std::launch::async, [&] { return f.reader->connect(); });
            const auto opensForB = this->opensTheGates();
            ASSERT_TRUE(waitUntil([&] { return !f.reader->triggerDisconnect(); }));
            starts->open();
            // A hang guard only.
            ASSERT_TRUE(
                waitUntil([&] { return f.reader->connectState() == ConnectState::connected; }));
            polls->open();
            ASSERT_EQ(a.wait_for(std::chrono::seconds(60)), std::future_status::ready);
            ASSERT_EQ(b.wait_for(std::chrono::seconds(60)), std::future_status::ready);
            EXPECT_TRUE(a.get());
            EXPECT_TRUE(b.get());
            ASSERT_TRUE(this->endsConnected());
            EXPECT_EQ(statesHeard(*f.calls), std::vector<std::string>{"Connected"});
            // A hold whose call answered before it polled acts no more.
            this->sink->disarm();
        }
    }
}

// The automatic reconnect and an application connect() made right after the link's drop, before
// the reconnect's turn (the connection sequence is held meanwhile): the reconnect owed by the end
// and the application's call are served by one connection. Nothing more is opened.
TYPED_TEST(UhfCloseOrderTest, AReconnectAndAConnectMadeRightAfterTheDropOpenOneConnection) {
    auto& f = this->f;
    ASSERT_TRUE(f.connected());
    const auto transport = f.reader->baseTransport();
    const uint64_t first = transport->linkNumber();
    auto held = this->closedGate();
    f.reader->afterSteps([held] { held->pass(); });
    const auto opens = this->opensTheGates();
    ASSERT_TRUE(waitUntil([&] { return held->waiting() == 1; }));
    f.reader->setAutoReconnect(true);
    f.reader->transportDisconnect();
    const int waits = this->sink->countStarting("connect() - Connect state is");
    auto connected = std::async(std::launch::async, [&] { return f.reader->connect(); });
    ASSERT_TRUE(waitUntil(
        [&] { return this->sink->countStarting("connect() - Connect state is") > waits; }));
    held->open();
    ASSERT_EQ(connected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(connected.get());
    ASSERT_TRUE(this->endsConnected());
    std::promise<void> turn;
    f.reader->afterSteps([&turn] { turn.set_value(); });
    ASSERT_EQ(turn.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_EQ(transport->linkNumber(), first + 1);
    EXPECT_FALSE(f.reader->autoReconnect());
}

// The application lets go of its reader while a connect() a log sink handed off is left for the
// connection being made: nothing of the library's holds the reader past that connection's
// initialisation, so it ends then, closes its link and tells nothing after its end.
TYPED_TEST(UhfCloseOrderTest, AReaderLetGoWhileAHandedOffConnectWaitsEndsWithItsInitialisation) {
    auto& f = this->f;
    auto starts = this->closedGate();
    auto polls = this->closedGate();
    ASSERT_NO_FATAL_FAILURE(this->connectHeldAtTheStart(starts));
    // A handed-off connect() that polled the connection being made, as one that waits for it
    // would, is held in its poll.
    const auto test = std::this_thread::get_id();
    this->sink->arm(
        [test](const std::string& text) {
            return text == "connect() - Connect state is Connecting, waiting..." &&
                   std::this_thread::get_id() != test;
        },
        [polls] { polls->pass(); });
    ASSERT_NO_FATAL_FAILURE(this->sinksConnect());
    ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    const std::size_t mark = f.calls->lines().size();
    std::weak_ptr<UhfReader> weak = f.reader;
    f.reader.reset();
    starts->open();
    ASSERT_TRUE(waitUntil([&] { return weak.expired(); }));
    EXPECT_EQ(polls->waiting(), 0);
    EXPECT_TRUE(waitUntil(
        [] { return EATransport::shared()->connectState() == ConnectState::disconnected; }));
    // What the delegate heard after the let-go: at most the end of the connection being made,
    // then the reader's end (told by the reader's teller), and nothing after it.
    std::vector<std::string> after;
    const auto heardAfter = [&] {
        const auto lines = f.calls->lines();
        after.clear();
        for (std::size_t i = mark; i < lines.size(); ++i) {
            if (lines[i].rfind("r state ", 0) == 0) after.push_back(lines[i].substr(8));
        }
        return !after.empty() && after.back() == "Disconnected";
    };
    ASSERT_TRUE(waitUntil(heardAfter));
    EXPECT_EQ(std::count(after.begin(), after.end(), "Connecting"), 0);
    EXPECT_EQ(std::count(after.begin(), after.end(), "Disconnected"), 1);
}

// A disconnect() made while an exchange of the initialisation never gets its answer: the
// exchange runs out of time, and the initialisation takes its stop path, not its failure path.
// The call answers true; no ERROR record but the exchange's own says the connection failed.
// The call's own close of a connection whose initialisation has not stopped comes only a second
// of clock after the exchange's end: the call is held at its first poll until the connection has
// ended and the steps that followed have had their turn, so that close never races the stop path,
// however late a busy machine runs the initialisation after its exchange ran out of time.
TYPED_TEST(UhfCloseOrderTest, ADisconnectDuringAnExchangeWithNoAnswerTakesTheStopPath) {
    auto& f = this->f;
    const ClockSpeed fast(4.0);
    ASSERT_TRUE(f.reader->disconnect());
    ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    const std::size_t held = f.sim->heldFrames();
    f.sim->holdFrames([](ByteView) { return true; });
    const std::shared_ptr<void> releases(nullptr, [&](void*) {
        f.sim->holdFrames(nullptr);
        f.sim->releaseHeldFrames();
    });
    ASSERT_TRUE(f.reader->connect());
    ASSERT_TRUE(waitUntil([&] { return f.sim->heldFrames() > held; }));
    const auto test = std::this_thread::get_id();
    std::weak_ptr<UhfReader> weak = f.reader;
    this->sink->arm(
        [test](const std::string& text) {
            return startsWith(text, "disconnect() - Connect state is") &&
                   std::this_thread::get_id() == test;
        },
        [weak] {
            const auto reader = weak.lock();
            // A hang guard only: the stop path ends the connection once the exchange has run out
            // of time.
            if (!reader ||
                !waitUntil([&] { return reader->connectState() == ConnectState::disconnected; })) {
                return;
            }
            stepsRan(*reader);
        });
    const std::size_t errors = this->sink->errorCount();
    const auto stopRecords = [&] {
        std::lock_guard guard(this->sink->logLock);
        return std::count_if(this->sink->logs.begin(), this->sink->logs.end(), [](const auto& l) {
            return l.find("triggerDisconnect is true") != std::string::npos;
        });
    };
    const auto stopsBefore = stopRecords();
    EXPECT_TRUE(f.reader->disconnect());
    EXPECT_EQ(f.reader->baseTransport()->connectState(), ConnectState::disconnected);
    EXPECT_GT(stopRecords(), stopsBefore);
    std::vector<std::string> caused = this->sink->errorsSince(errors);
    // The exchange's own record of its end (each model's device writes one: its timeout, or its
    // cut when the call's own close comes first) and the link's own records of its end are no
    // failure of the initialisation.
    std::erase_if(caused, [](const std::string& text) {
        return text.find("Send error [") != std::string::npos ||
               text.rfind("initDevice error: ", 0) == 0 ||
               text.rfind("keepReadThread() ", 0) == 0 ||
               text.rfind("assertConnection() connectState is not connected - ", 0) == 0;
    });
    EXPECT_EQ(caused, std::vector<std::string>{});
}

// The application's disconnect() closes a connection that has just reached Connected; a log
// sink's connect() on a link thread is made during that close (held right before the link
// closes). The connect() comes after the disconnect(): it is carried out once that end is over,
// and the reader ends Connected on a new connection, every round.
TYPED_TEST(UhfCloseOrderTest, ASinksConnectDuringTheApplicationsCloseConnectsAgain) {
    auto& f = this->f;
    const auto transport = f.reader->baseTransport();
    std::weak_ptr<UhfReader> weak = f.reader;
    ASSERT_TRUE(f.connected());
    // Each round starts from the connection the one before ended with.
    for (int round = 0; round < 10; ++round) {
        // A red round ends the test: the rounds after it would only wait out their guards.
        if (::testing::Test::HasFailure()) return;
        SCOPED_TRACE("round " + std::to_string(round));
        const uint64_t link = transport->linkNumber();
        auto closes = this->closedGate();
        // Held in the disconnect()'s step, on whichever thread runs it.
        this->holdAt(kCallCloses, closes, [weak] {
            const auto reader = weak.lock();
            return reader && reader->onOwnSequence();
        });
        auto sinks = std::async(std::launch::async, [&] {
            if (!waitUntil([&] { return closes->waiting() == 1; })) return false;
            auto answer = std::make_shared<std::atomic<int>>(-1);
            this->onALinkThread([answer, weak] {
                if (const auto reader = weak.lock()) answer->store(reader->connect() ? 1 : 0);
            });
            closes->open();
            return answer->load() == 1;
        });
        const auto opens = this->opensTheGates();
        EXPECT_TRUE(f.reader->disconnect());
        ASSERT_EQ(sinks.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_TRUE(sinks.get());
        ASSERT_TRUE(this->endsConnected());
        EXPECT_EQ(transport->linkNumber(), link + 1);
    }
}

// Thread B's connect() opens a link, held right as it goes to open it; thread A's disconnect() is
// made meanwhile, with a reader whose replies come late. The disconnect() comes after B's call: it
// ends the connection B opened and answers true only once that link is closed. From its answer
// on, no link of the reader is open and none opens; the delegates hear nothing more.
TYPED_TEST(UhfCloseOrderTest, ADisconnectThatAnsweredTrueLeavesNoLinkOpen) {
    auto& f = this->f;
    const auto transport = f.reader->baseTransport();
    SimFaults slow;
    slow.splitReplyAt = 2;
    f.accessory_->setFaults(slow);
    const std::shared_ptr<void> heals(nullptr, [&](void*) { f.accessory_->setFaults({}); });
    for (int round = 0; round < 5; ++round) {
        // A red round ends the test: the rounds after it would only wait out their guards.
        if (::testing::Test::HasFailure()) return;
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(f.reader->disconnect());
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
        auto opening = this->closedGate();
        // Held in the connect()'s step, on whichever thread runs it.
        std::weak_ptr<UhfReader> weak = f.reader;
        this->holdAt("connect() Trigger transport connect", opening, [weak] {
            const auto reader = weak.lock();
            return reader && reader->onOwnSequence();
        });
        auto connected = std::async(std::launch::async, [&] { return f.reader->connect(); });
        const auto opens = this->opensTheGates();
        ASSERT_TRUE(waitUntil([&] { return opening->waiting() == 1; }));
        const int waits = this->sink->countStarting("disconnect() - Connect state is");
        auto disconnected = std::async(std::launch::async, [&] {
            const bool answer = f.reader->disconnect();
            // What the transport holds the moment the call answered.
            return std::make_pair(answer, transport->connectState());
        });
        // The disconnect() waits behind B's call.
        ASSERT_TRUE(waitUntil(
            [&] { return this->sink->countStarting("disconnect() - Connect state is") > waits; }));
        opening->open();
        ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        const auto [answer, held] = disconnected.get();
        EXPECT_TRUE(answer);
        EXPECT_EQ(held, ConnectState::disconnected);
        const uint64_t link = transport->linkNumber();
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
        const std::size_t heard = statesHeard(*f.calls).size();
        ASSERT_EQ(connected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        connected.get();
        ASSERT_NO_FATAL_FAILURE(this->drainSteps());
        EXPECT_TRUE(this->endsDisconnected());
        EXPECT_EQ(transport->linkNumber(), link);
        EXPECT_EQ(statesHeard(*f.calls).size(), heard);
    }
}

// A reader whose log sink's connect() waits for the end of the connection being made is let go
// of while that connection's initialisation still holds it, and the link then drops. The connect()
// owed waits for that initialisation to let the reader go: while it holds the reader, no link
// opens for it; once it has, the reader ends.
TYPED_TEST(UhfCloseOrderTest, AReaderLetGoOfOpensNoLinkWhileItsInitialisationHoldsIt) {
    auto& f = this->f;
    const auto transport = f.reader->baseTransport();
    auto starts = this->closedGate();
    ASSERT_NO_FATAL_FAILURE(this->connectHeldAtTheStart(starts));
    ASSERT_NO_FATAL_FAILURE(this->sinksConnect());
    std::weak_ptr<UhfReader> weak = f.reader;
    const auto reader = f.reader.get();
    f.reader.reset();
    ASSERT_FALSE(weak.expired());
    // The link drops while the initialisation holds the reader; every step that follows from it
    // has had its turn.
    const uint64_t link = transport->linkNumber();
    ASSERT_TRUE(transport->disconnect());
    std::promise<void> turn;
    reader->afterSteps([&turn] { turn.set_value(); });
    ASSERT_EQ(turn.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_EQ(transport->linkNumber(), link);
    EXPECT_EQ(transport->connectState(), ConnectState::disconnected);
    starts->open();
    ASSERT_TRUE(waitUntil([&] { return weak.expired(); }));
}

}  // namespace
}  // namespace orvane::test
