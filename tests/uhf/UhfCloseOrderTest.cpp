// Which connection a close ends and what a call made during a connection's making leads to: a
// close ends the connection it was meant for and no later one, a connect() handed off from a link
// thread is carried out, and a disconnect() made while a connection is being made ends it by the
// initialisation's stop path.

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
constexpr const char* kStopPath =
    "initReaderViaMultiSetting() - triggerDisconnect is true, stop init reader";

template <class Model>
class UhfCloseOrderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }

    void SetUp() override { f.reader->setReaderDelegate(sink); }
    void TearDown() override {
        for (const auto& gate : gates_)
            gate->open();
        sink->disarm();
        // A test may have let the reader go, as an application does.
        if (f.reader) f.reader->setReaderDelegate(f.sink);
    }

    // A closed gate, opened on every way out of the test.
    std::shared_ptr<Gate> closedGate() {
        auto gate = std::make_shared<Gate>();
        gate->close();
        gates_.push_back(gate);
        return gate;
    }
    // Holds the first thread that writes `record` (on the thread `here` accepts) at `gate`.
    void holdAt(
        const std::string& record, const std::shared_ptr<Gate>& gate,
        std::function<bool()> here = [] { return true; }) {
        sink->arm([record, here](const std::string& text) { return text == record && here(); },
                  [gate] { gate->pass(); });
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
    // connect() with the initialisation of its connection held at its start, at `starts`.
    void connectHeldAtTheStart(const std::shared_ptr<Gate>& starts) {
        holdAt(kInitStarts, starts);
        ASSERT_TRUE(f.reader->connect());
        ASSERT_TRUE(waitUntil([&] { return starts->waiting() == 1; }));
    }
    // The log sink's connect() on a link thread, which answers true at once, once the call
    // handed off has looked at the connection being made.
    void sinksConnect() {
        auto answer = std::make_shared<std::atomic<int>>(-1);
        std::weak_ptr<UhfReader> weak = f.reader;
        onALinkThread([answer, weak] {
            if (const auto reader = weak.lock()) answer->store(reader->connect() ? 1 : 0);
        });
        EXPECT_EQ(answer->load(), 1);
        ASSERT_TRUE(waitUntil([&] {
            return sink->count("connect() - Already connecting") > 0 ||
                   sink->countStarting("connect() - Connect state is Connecting") > 0;
        }));
    }
    // The reader and its transport are Connected, with every state told, and nothing left on the
    // main queue changes that.
    bool endsConnected() {
        const auto up = [&] {
            return f.reader->connectState() == ConnectState::connected &&
                   f.reader->baseTransport()->connectState() == ConnectState::connected &&
                   f.reader->eventLine().statesTold();
        };
        if (!waitUntil(up)) return false;
        drainMainQueue();
        return up() && statesHeard(*f.calls).back() == "Connected";
    }

    ModelReader<Model> f{Model::makeSim()};
    std::shared_ptr<RecordSink> sink = std::make_shared<RecordSink>(f.calls);

  private:
    std::vector<std::shared_ptr<Gate>> gates_;
};

using Models = ::testing::Types<Vk210UhfModel, Vk640Model>;
TYPED_TEST_SUITE(UhfCloseOrderTest, Models, ModelName);

// One thread calls connect(), disconnect(), connect() in quick succession, with automatic
// reconnect off and on: all three answer true and the reader ends Connected, as the last call
// asked. Nothing of the first connection (its initialisation's stop) ends the second.
TYPED_TEST(UhfCloseOrderTest, ConnectDisconnectConnectOnOneThreadEndsConnected) {
    auto& f = this->f;
    constexpr int kRounds = 10;
    for (const bool autoReconnect : {false, true}) {
        SCOPED_TRACE(autoReconnect ? "automatic reconnect on" : "automatic reconnect off");
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            ASSERT_TRUE(f.reader->disconnect());
            ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
            f.reader->setAutoReconnect(autoReconnect);
            EXPECT_TRUE(f.reader->connect());
            EXPECT_TRUE(f.reader->disconnect());
            EXPECT_TRUE(f.reader->connect());
            ASSERT_TRUE(this->endsConnected());
            f.reader->setAutoReconnect(false);
        }
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
        // failure.
        std::vector<std::string> caused = this->sink->errorsSince(errors);
        std::erase_if(caused, [](const std::string& text) {
            return text == "keepReadThread() transport is disconnected, exit thread" ||
                   text == "assertConnection() connectState is not connected - Connecting";
        });
        EXPECT_EQ(caused, std::vector<std::string>{});
        EXPECT_EQ(statesHeard(*f.calls), (std::vector<std::string>{"Disconnecting", "Disconnected",
                                                                   "Connecting", "Connected"}));
    }
}

// A disconnect() held in its record after it found the connection standing: meanwhile that link
// drops and another thread's connect() opens the next one. The held call ends nothing it did not
// find; it answers true and the reader stays Connected, as the later connect() asked.
TYPED_TEST(UhfCloseOrderTest, ADisconnectEndsOnlyTheConnectionItFound) {
    auto& f = this->f;
    ASSERT_TRUE(f.connected());
    auto held = this->closedGate();
    auto disconnected = std::async(std::launch::async, [&] {
        const auto caller = std::this_thread::get_id();
        this->holdAt("disconnect() Action state is Stop", held,
                     [caller] { return std::this_thread::get_id() == caller; });
        return f.reader->disconnect();
    });
    ASSERT_TRUE(waitUntil([&] { return held->waiting() == 1; }));
    f.reader->transportDisconnect();
    ASSERT_TRUE(waitUntil([&] { return f.reader->connectState() == ConnectState::disconnected; }));
    auto connected = std::async(std::launch::async, [&] { return f.reader->connect(); });
    ASSERT_EQ(connected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(connected.get());
    ASSERT_TRUE(waitUntil([&] { return f.reader->connectState() == ConnectState::connected; }));
    held->open();
    ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    EXPECT_TRUE(this->endsConnected());
}

// A log sink's connect() on a link thread, made while the application's disconnect() ends a
// connection being made: the connect() waits for that end instead of taking the connection being
// ended for its own, then connects. The disconnect() answers true, the reader ends Connected.
TYPED_TEST(UhfCloseOrderTest, ASinksConnectDuringTheEndOfAConnectionBeingMadeConnectsAfterIt) {
    auto& f = this->f;
    const ClockSpeed slow(0.25);
    auto starts = this->closedGate();
    auto closes = this->closedGate();
    this->connectHeldAtTheStart(starts);
    auto disconnected = std::async(std::launch::async, [&] {
        // Held where the call would close the link itself, until the sink's connect() is made.
        const auto caller = std::this_thread::get_id();
        this->holdAt("disconnect() Trigger transport disconnect", closes,
                     [caller] { return std::this_thread::get_id() == caller; });
        return f.reader->disconnect();
    });
    ASSERT_TRUE(waitUntil([&] { return f.reader->triggerDisconnect(); }));
    this->sinksConnect();
    closes->open();
    starts->open();
    ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    EXPECT_TRUE(this->endsConnected());
}

// A log sink's connect() on a link thread while a connection is being made, whose link then drops
// during its initialisation: the connect() relied on a connection that ended without Connected,
// so it connects after that end, once, and the reader ends Connected.
TYPED_TEST(UhfCloseOrderTest, ASinksConnectWhoseConnectionFailsConnectsAgain) {
    auto& f = this->f;
    const ClockSpeed slow(0.25);
    auto starts = this->closedGate();
    this->connectHeldAtTheStart(starts);
    ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    f.calls->clear();
    this->sinksConnect();
    f.reader->transportDisconnect();
    starts->open();
    EXPECT_TRUE(this->endsConnected());
    EXPECT_EQ(statesHeard(*f.calls), (std::vector<std::string>{"Disconnecting", "Disconnected",
                                                               "Connecting", "Connected"}));
}

// A connect() handed off from a link thread waits for a connection being made; the application's
// disconnect() made during that wait is its last word: the handed-off connect() opens nothing
// after the end, and the reader ends Disconnected.
TYPED_TEST(UhfCloseOrderTest, ADisconnectMadeWhileAHandedOffConnectWaitsIsTheLastWord) {
    auto& f = this->f;
    const ClockSpeed slow(0.25);
    auto starts = this->closedGate();
    this->connectHeldAtTheStart(starts);
    std::weak_ptr<UhfReader> weak = f.reader;
    this->onALinkThread([weak] {
        if (const auto reader = weak.lock()) reader->connect();
    });
    ASSERT_TRUE(waitUntil(
        [&] { return this->sink->countStarting("connect() - Connect state is Connecting") > 0; }));
    auto disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
    // Whether the disconnect() waits for the handed-off connect() or has gone past it.
    ASSERT_TRUE(waitUntil([&] {
        return this->sink->count("Waiting for the connect() or disconnect() handed off") > 0 ||
               f.reader->triggerDisconnect();
    }));
    starts->open();
    ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    drainMainQueue();
    ASSERT_TRUE(waitUntil([&] {
        return f.reader->eventLine().statesTold() &&
               f.reader->connectState() == ConnectState::disconnected &&
               f.reader->baseTransport()->connectState() == ConnectState::disconnected;
    }));
    EXPECT_EQ(statesHeard(*f.calls),
              (std::vector<std::string>{"Connecting", "Disconnecting", "Disconnected"}));
}

// Thread A's disconnect() and then thread B's connect() are made while a connection is being made
// (its initialisation held at its start), with or without a log sink's connect() handed off from
// a link thread before them. B's call is the last and decides: A ends nothing, the connection
// being made is kept, and both answer true. The initialisation goes on only once both calls are
// recorded, so the window is open in every round.
TYPED_TEST(UhfCloseOrderTest, ADisconnectSupersededByALaterConnectEndsNothing) {
    auto& f = this->f;
    constexpr int kRounds = 20;
    for (const bool handedOff : {false, true}) {
        SCOPED_TRACE(handedOff ? "a sink's connect() handed off first" : "two threads");
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            ASSERT_TRUE(f.reader->disconnect());
            ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
            auto starts = this->closedGate();
            this->connectHeldAtTheStart(starts);
            if (handedOff) this->sinksConnect();
            ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
            f.calls->clear();
            auto a = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
            // A is recorded once the stop mark is up; B's record takes it down again.
            ASSERT_TRUE(waitUntil([&] { return f.reader->triggerDisconnect(); }));
            auto b = std::async(std::launch::async, [&] { return f.reader->connect(); });
            ASSERT_TRUE(waitUntil([&] { return !f.reader->triggerDisconnect(); }));
            starts->open();
            ASSERT_EQ(a.wait_for(std::chrono::seconds(60)), std::future_status::ready);
            ASSERT_EQ(b.wait_for(std::chrono::seconds(60)), std::future_status::ready);
            EXPECT_TRUE(a.get());
            EXPECT_TRUE(b.get());
            ASSERT_TRUE(this->endsConnected());
            EXPECT_EQ(statesHeard(*f.calls), std::vector<std::string>{"Connected"});
        }
    }
}

// The automatic reconnect finds a connection being made (an application connect() made between
// the link's drop and the reconnect's turn on the main queue): it leaves that connection to end
// and holds the main queue no longer, so a block queued there after it runs while the connection
// is still being made. The connection made is the one kept; nothing more is opened.
TYPED_TEST(UhfCloseOrderTest, AReconnectThatFindsAConnectionBeingMadeLeavesTheMainQueue) {
    auto& f = this->f;
    ASSERT_TRUE(f.connected());
    auto starts = this->closedGate();
    {
        HeldMainQueue held;
        f.reader->setAutoReconnect(true);
        f.reader->transportDisconnect();
        ASSERT_TRUE(waitUntil([&] {
            return f.reader->connectState() == ConnectState::disconnected &&
                   f.reader->eventLine().statesTold();
        }));
        this->connectHeldAtTheStart(starts);
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
        f.calls->clear();
        // A wait of the reconnect's for that connection would outlast the hang guard below.
        const ClockSpeed slow(0.05);
        held.open();
        drainMainQueue();
    }
    EXPECT_EQ(starts->waiting(), 1);
    starts->open();
    ASSERT_TRUE(this->endsConnected());
    EXPECT_EQ(statesHeard(*f.calls), std::vector<std::string>{"Connected"});
}

// The application lets go of its reader while a connect() a log sink handed off is left for the
// connection being made: nothing of the library's holds the reader past that connection's
// initialisation, so it ends then, closes its link and tells nothing after its end.
TYPED_TEST(UhfCloseOrderTest, AReaderLetGoWhileAHandedOffConnectWaitsEndsWithItsInitialisation) {
    auto& f = this->f;
    auto starts = this->closedGate();
    auto polls = this->closedGate();
    this->connectHeldAtTheStart(starts);
    // A handed-off connect() that polled the connection being made, as one that waits for it
    // would, is held in its poll.
    const auto test = std::this_thread::get_id();
    this->sink->arm(
        [test](const std::string& text) {
            return text == "connect() - Connect state is Connecting, waiting..." &&
                   std::this_thread::get_id() != test;
        },
        [polls] { polls->pass(); });
    this->sinksConnect();
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
    // then the reader's end, and nothing after it.
    const auto lines = f.calls->lines();
    std::vector<std::string> after;
    for (std::size_t i = mark; i < lines.size(); ++i) {
        if (lines[i].rfind("r state ", 0) == 0) after.push_back(lines[i].substr(8));
    }
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.back(), "Disconnected");
    EXPECT_EQ(std::count(after.begin(), after.end(), "Connecting"), 0);
    EXPECT_EQ(std::count(after.begin(), after.end(), "Disconnected"), 1);
}

// A disconnect() made while an exchange of the initialisation never gets its answer: the
// exchange runs out of time, and the initialisation takes its stop path, not its failure path.
// The call answers true; no ERROR record but the exchange's own says the connection failed.
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
    // The exchange's own record of its timeout (each model's device writes one) and the link's
    // own records of its end are no failure of the initialisation.
    std::erase_if(caused, [](const std::string& text) {
        return text.find("Send error [Timeout]") != std::string::npos ||
               text == "initDevice error: Result Code: Timeout" ||
               text.rfind("keepReadThread() ", 0) == 0 ||
               text.rfind("assertConnection() connectState is not connected - ", 0) == 0;
    });
    EXPECT_EQ(caused, std::vector<std::string>{});
}

}  // namespace
}  // namespace orvane::test
