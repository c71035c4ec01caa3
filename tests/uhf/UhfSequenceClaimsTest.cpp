// Claims of the connection sequence that the order suites leave open, each held by cause: an end
// the initialisation took is not withdrawn by a later connect(); a step that throws is logged and
// the sequence goes on; a connect() whose caller gave up is owed no connection; a call whose step
// never comes answers within its budget; initialisation work that throws still lets the owed open
// go, and none opens while it holds the reader; a report of another connection changes nothing; a
// call handed off writes records only where it acts; a disconnect() whose step comes past the
// initialisation's last stop look ends the connection instead of its being reported Connected.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/EventSequence.h"
#include "reader/ReaderFixture.h"
#include "uhf/ConnectionOrderSupport.h"

namespace orvane::test {
namespace {

using std::chrono::seconds;

constexpr const char* kInitEnds = "--- asyncInitReader()";
constexpr const char* kStopPath =
    "initReaderViaMultiSetting() - triggerDisconnect is true, stop init reader";
constexpr const char* kWithdrawn =
    "disconnect() - The application asked to connect, not disconnecting";
constexpr const char* kWaitsForTheEnd =
    "connect() - Connect state is Connecting, waiting for its end";
constexpr const char* kDropReported = "*** Transport connect state event: Disconnected";
constexpr const char* kOpens = "connect() Trigger transport connect";
constexpr const char* kAlreadyEnded = "disconnect() - Already disconnected";

// A reader whose test queues initialisation work of its own, as the initialisation's steps are.
class WorkReader : public UhfReader {
  public:
    WorkReader(Key key, std::shared_ptr<OrvaneDevice> device) : UhfReader(key, std::move(device)) {}
    void queueWork(const std::shared_ptr<DispatchQueue>& queue,
                   std::function<void(BaseReader&)> work) {
        queueInitWork(queue, std::move(work));
    }
};

template <class Model>
class UhfSequenceClaimsTest : public HeldReaderTest<Model> {
  protected:
    using Base = HeldReaderTest<Model>;
    using Base::f;
    using Base::sink;

    void TearDown() override {
        this->letEverythingGo();
        // A red run prints the records and calls that explain it.
        explainRed(*sink, 0);
    }

    // The reader under test becomes one whose test queues initialisation work of its own.
    std::shared_ptr<WorkReader> useWorkReader() {
        f.reader.reset();
        auto reader = BaseReader::make<WorkReader>(f.found->devices.front());
        reader->setReaderDelegate(sink);
        reader->setCheckInterval(300);
        f.reader = reader;
        return reader;
    }
};

using Models = ::testing::Types<Vk210UhfModel, Vk640Model>;
TYPED_TEST_SUITE(UhfSequenceClaimsTest, Models, ModelName);

// A disconnect() is made while a connection is being made; the initialisation takes its end (it
// is held in its stop path, before its close), and only then is a connect() made. The end taken
// is not withdrawn: the connect() waits for that end, the disconnect() is answered by it, and the
// connect() then opens the next connection.
TYPED_TEST(UhfSequenceClaimsTest, AnEndTheInitialisationTookIsNotWithdrawnByALaterConnect) {
    auto& f = this->f;
    // The disconnect()'s own close of a connection whose initialisation is held cannot come while
    // the test holds it.
    const ClockSpeed slow(0.25);
    auto starts = this->closedGate();
    auto stops = this->closedGate();
    ASSERT_NO_FATAL_FAILURE(this->connectHeldAtTheStart(starts));
    const auto transport = f.reader->baseTransport();
    const uint64_t first = transport->linkNumber();
    auto disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
    const auto opens = this->opensTheGates();
    ASSERT_TRUE(waitUntil([&] { return f.reader->triggerDisconnect(); }));
    this->holdAt(kStopPath, stops);
    starts->open();
    ASSERT_TRUE(waitUntil([&] { return stops->waiting() == 1; }));
    const int waits = this->sink->count(kWaitsForTheEnd);
    auto connected = std::async(std::launch::async, [&] { return f.reader->connect(); });
    const auto opensFirst = this->opensTheGates();
    ASSERT_TRUE(waitUntil([&] { return this->sink->count(kWaitsForTheEnd) > waits; }));
    stepsRan(*f.reader);
    // The connect()'s step found the end taken and left it.
    EXPECT_TRUE(f.reader->triggerDisconnect());
    EXPECT_EQ(this->sink->count(kWithdrawn), 0);
    EXPECT_EQ(transport->connectState(), ConnectState::connected);
    stops->open();
    ASSERT_EQ(disconnected.wait_for(seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    ASSERT_EQ(connected.wait_for(seconds(60)), std::future_status::ready);
    EXPECT_TRUE(connected.get());
    EXPECT_TRUE(this->endsConnected());
    EXPECT_EQ(transport->linkNumber(), first + 1);
}

// A step of the connection sequence that throws is logged, and the steps after it run: a
// connect() made right after it connects.
TYPED_TEST(UhfSequenceClaimsTest, AStepThatThrowsIsLoggedAndTheStepsAfterItRun) {
    auto& f = this->f;
    auto held = this->closedGate();
    // The throwing step runs once the connect()'s step is posted behind it.
    f.reader->afterSteps([held] {
        held->pass();
        throw std::runtime_error("a step's fault");
    });
    const auto opens = this->opensTheGates();
    ASSERT_TRUE(waitUntil([&] { return held->waiting() == 1; }));
    auto connected = std::async(std::launch::async, [&] { return f.reader->connect(); });
    const auto opensFirst = this->opensTheGates();
    ASSERT_TRUE(
        waitUntil([&] { return this->sink->countStarting("connect() - Connect state is") > 0; }));
    held->open();
    ASSERT_EQ(connected.wait_for(seconds(60)), std::future_status::ready);
    EXPECT_EQ(this->sink->count("connection step threw: a step's fault"), 1);
    ASSERT_TRUE(connected.get());
    EXPECT_TRUE(this->endsConnected());
}

// A connect() made while a standing connection's link is going waits for its end; its caller
// gives up first (the end's report is held). When the end comes, no call waits and no connection
// is owed: nothing opens.
TYPED_TEST(UhfSequenceClaimsTest, AConnectWhoseCallerGaveUpIsOwedNoConnection) {
    auto& f = this->f;
    ASSERT_TRUE(f.connected());
    const auto transport = f.reader->baseTransport();
    const uint64_t first = transport->linkNumber();
    auto reported = this->closedGate();
    const auto test = std::this_thread::get_id();
    // The drop's Disconnected report is held on the thread that drops the link, before it is
    // posted to the connection sequence.
    this->holdAt(kDropReported, reported, [test] { return std::this_thread::get_id() != test; });
    auto dropped = std::async(std::launch::async, [&] { return transport->disconnect(); });
    const auto opens = this->opensTheGates();
    ASSERT_TRUE(waitUntil([&] { return reported->waiting() == 1; }));
    const int opened = this->sink->count(kOpens);
    // Found going, the call waits for the end, and gives up after its budget.
    EXPECT_FALSE(f.reader->connect());
    reported->open();
    ASSERT_EQ(dropped.wait_for(seconds(60)), std::future_status::ready);
    EXPECT_TRUE(dropped.get());
    stepsSettled(*f.reader);
    EXPECT_EQ(this->sink->count(kOpens), opened);
    EXPECT_EQ(transport->linkNumber(), first);
    EXPECT_EQ(transport->connectState(), ConnectState::disconnected);
    EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
}

// A call whose step cannot run (the sequence is held) answers false once its budget is spent,
// counted from the call.
TYPED_TEST(UhfSequenceClaimsTest, ACallWhoseStepNeverComesAnswersFalseWithinItsBudget) {
    auto& f = this->f;
    // The budgets (about 3 s of clock time) pass in a fraction of a second.
    const ClockSpeed fast(10.0);
    struct Row {
        const char* name;
        std::function<bool(BaseReader&)> call;
    };
    const Row rows[] = {
        {"connect()", [](BaseReader& reader) { return reader.connect(); }},
        {"disconnect()", [](BaseReader& reader) { return reader.disconnect(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto held = this->closedGate();
        f.reader->afterSteps([held] { held->pass(); });
        ASSERT_TRUE(waitUntil([&] { return held->waiting() == 1; }));
        auto answer = std::async(std::launch::async, [&] { return row.call(*f.reader); });
        const auto opens = this->opensTheGates();
        // A hang guard only: the budget is a small part of it.
        ASSERT_EQ(answer.wait_for(seconds(30)), std::future_status::ready);
        EXPECT_FALSE(answer.get());
        held->open();
        stepsSettled(*f.reader);
        ASSERT_TRUE(f.reader->disconnect());
    }
}

// Reports that name a connection other than the reader's own change nothing of it: the late
// Disconnected of the connection before it, and a Connected of one the sequence never opened.
// The reader still follows its own connection's end.
TYPED_TEST(UhfSequenceClaimsTest, AReportOfAnotherConnectionChangesNothing) {
    auto& f = this->f;
    ASSERT_TRUE(f.connected());
    ASSERT_TRUE(f.reader->disconnect());
    ASSERT_TRUE(f.connected());
    const auto transport = f.reader->baseTransport();
    const uint64_t link = transport->linkNumber();
    ASSERT_GT(link, 1u);
    f.reader->linkStateEvent(ConnectStateEventArgs(nullptr, ConnectState::disconnected), link - 1);
    f.reader->linkStateEvent(ConnectStateEventArgs(nullptr, ConnectState::connected), link + 1);
    stepsSettled(*f.reader);
    EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
    ASSERT_TRUE(transport->disconnect());
    stepsSettled(*f.reader);
    EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
}

// A connect() or disconnect() handed off (made inside a connection step) writes records only
// where it acts, so a log sink that calls them on every record is not fed by its own calls: a
// disconnect() with no connection writes none, and of two connect() calls left for a connection
// being made only the first writes that it waits for its end.
TYPED_TEST(UhfSequenceClaimsTest, AHandedOffCallWritesRecordsOnlyWhereItActs) {
    auto& f = this->f;
    std::weak_ptr<UhfReader> weak = f.reader;
    const int ended = this->sink->count(kAlreadyEnded);
    f.reader->afterSteps([weak] {
        if (const auto reader = weak.lock()) {
            EXPECT_TRUE(reader->disconnect());
        }
    });
    stepsSettled(*f.reader);
    EXPECT_EQ(this->sink->count(kAlreadyEnded), ended);

    // The disconnect() above was the application's last word; this connect() is its next.
    auto starts = this->closedGate();
    ASSERT_NO_FATAL_FAILURE(this->connectHeldAtTheStart(starts));
    const int waits = this->sink->count(kWaitsForTheEnd);
    f.reader->afterSteps([weak] {
        if (const auto reader = weak.lock()) {
            EXPECT_TRUE(reader->connect());
            EXPECT_TRUE(reader->connect());
        }
    });
    stepsSettled(*f.reader);
    EXPECT_EQ(this->sink->count(kWaitsForTheEnd), waits + 1);
    starts->open();
    EXPECT_TRUE(this->endsConnected());
}

// Initialisation work that throws still lets the reader go: the automatic reconnect, owed by a
// drop while that work holds the reader, opens nothing while it holds it, and opens once it has
// thrown.
TYPED_TEST(UhfSequenceClaimsTest, InitialisationWorkThatThrowsLetsTheOwedOpenGo) {
    auto& f = this->f;
    const auto reader = this->useWorkReader();
    ASSERT_TRUE(f.connected());
    const auto transport = f.reader->baseTransport();
    const uint64_t first = transport->linkNumber();
    const auto queue = DispatchQueue::make("test.initWork", DispatchQoS::background,
                                           DispatchQueueAttributes::serial);
    auto held = this->closedGate();
    reader->queueWork(queue, [held](BaseReader&) {
        held->pass();
        throw std::runtime_error("initialisation work fault");
    });
    const auto opens = this->opensTheGates();
    ASSERT_TRUE(waitUntil([&] { return held->waiting() == 1; }));
    f.reader->setAutoReconnect(true);
    f.reader->transportDisconnect();
    stepsSettled(*f.reader);
    // Owed, and held back by the work.
    EXPECT_EQ(transport->linkNumber(), first);
    EXPECT_EQ(transport->connectState(), ConnectState::disconnected);
    held->open();
    // The work has thrown and ended once the queue runs the next block.
    std::promise<void> ended;
    queue->async([&ended] { ended.set_value(); });
    ASSERT_EQ(ended.get_future().wait_for(seconds(60)), std::future_status::ready);
    stepsSettled(*f.reader);
    ASSERT_EQ(transport->linkNumber(), first + 1);
    EXPECT_TRUE(this->endsConnected());
}

// A disconnect() whose step comes after the initialisation's last stop look, before the step
// that would report it Connected: the connection sequence is held while the call is made (its
// step waits behind the hold) and while the initialisation runs to its end. The connection then
// ends instead of being reported Connected, and the call answers true once it has.
TYPED_TEST(UhfSequenceClaimsTest,
           ADisconnectPastTheLastStopLookEndsTheConnectionInsteadOfConnecting) {
    auto& f = this->f;
    auto starts = this->closedGate();
    ASSERT_NO_FATAL_FAILURE(this->connectHeldAtTheStart(starts));
    ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    f.calls->clear();
    auto sequence = this->closedGate();
    f.reader->afterSteps([sequence] { sequence->pass(); });
    const auto opens = this->opensTheGates();
    ASSERT_TRUE(waitUntil([&] { return sequence->waiting() == 1; }));
    const int polls = this->sink->countStarting("disconnect() - Connect state is");
    auto disconnected = std::async(std::launch::async, [&] { return f.reader->disconnect(); });
    const auto opensForIt = this->opensTheGates();
    // The call's step is posted (it waits at its poll), behind the hold.
    ASSERT_TRUE(waitUntil(
        [&] { return this->sink->countStarting("disconnect() - Connect state is") > polls; }));
    const int ends = this->sink->count(kInitEnds);
    starts->open();
    // The initialisation has passed every stop look and posted its end.
    ASSERT_TRUE(waitUntil([&] { return this->sink->count(kInitEnds) > ends; }));
    EXPECT_FALSE(f.reader->triggerDisconnect());
    sequence->open();
    ASSERT_EQ(disconnected.wait_for(seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    stepsSettled(*f.reader);
    ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
    EXPECT_EQ(f.reader->baseTransport()->connectState(), ConnectState::disconnected);
    EXPECT_EQ(statesHeard(*f.calls), (std::vector<std::string>{"Disconnecting", "Disconnected"}));
}

}  // namespace
}  // namespace orvane::test
