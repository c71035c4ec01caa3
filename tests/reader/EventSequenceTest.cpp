// The reader's event line on its own: its order, what a closing connection keeps, and the bound
// on tag reports.

#include "orvanerfid/reader/EventSequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ReaderTestSupport.h"
#include "orvanerfid/core/TagInfo.h"

namespace orvane::test {
namespace {

// Counts the line's WARN records; keeps their texts.
class Warnings : public orvLoggerDelegate {
  public:
    void logEvent(const LogEventArg& record) override {
        if (record.level() == LogLevel::warn) log.add(record.log());
    }
    CallLog log;
};

// Runs its action when it goes: on every way out of a test, an ASSERT that returns early included.
class OnExit {
  public:
    explicit OnExit(std::function<void()> action) : action_(std::move(action)) {}
    ~OnExit() { action_(); }
    OnExit(const OnExit&) = delete;
    OnExit& operator=(const OnExit&) = delete;

  private:
    std::function<void()> action_;
};

// Set on the threads that store states, never on a teller's. A thread's id would not tell them
// apart: a thread started once a storer has ended may get that storer's id.
thread_local bool tStoresStates = false;

class EventSequenceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(orvLogger::registerDelegateIfNone(warnings));
        line->setTagTeller(
            [this](const std::shared_ptr<TagInfo>& tag) { told.add(tag->strEPC()); });
    }
    void TearDown() override {
        // Whatever a test left to tell is told before the fixture goes, and no teller is left. A
        // test whose way out waited for that already is not kept waiting again when it failed.
        if (!idleAwaited) {
            EXPECT_TRUE(waitUntil([&] { return line->isIdle() && tellersAtWork() == 0; }));
        }
        warnings.reset();
    }
    // On a test's way out, once it has let every teller go: waits until the line is idle and no
    // teller is at work.
    void expectIdleOnExit() {
        idleAwaited = true;
        EXPECT_TRUE(waitUntil([&] { return line->isIdle() && tellersAtWork() == 0; }));
    }

    // Stores the connection state `name`: told, it records its name.
    void tellState(const std::string& name) {
        line->tellState(
            [this, name]() -> EventSequence::Task { return [this, name] { told.add(name); }; });
    }
    // Queues an event that records `name`.
    void post(const std::string& name) {
        line->post([this, name] { told.add(name); });
    }
    // Queues a tag report whose EPC is `epc`; told, it records "0<epc>".
    void postTag(uint8_t epc) {
        auto tag = std::make_shared<TagInfo>();
        tag->setEPC(Bytes{epc});
        line->postTag(std::move(tag));
    }
    // Queues an event that holds the teller until `release` is set (and then records `name`, if
    // any); the future is ready once the teller is inside it.
    std::future<void> blocker(std::promise<void>& release, const std::string& name = "") {
        auto inside = std::make_shared<std::promise<void>>();
        line->post([this, inside, name, gate = release.get_future().share()] {
            inside->set_value();
            gate.wait();
            if (!name.empty()) told.add(name);
        });
        return inside->get_future();
    }
    // The tellers at work: each (the line's, the state teller) holds the line from the moment it
    // is started until it has returned. Once this is down to the tellers a test holds, every
    // teller started before has had its turn and ended, and whatever it told is recorded.
    long tellersAtWork() const { return line.use_count() - 1; }
    void stop() {
        line->postState([this] { told.add("stop"); }, [] {}, false);
    }

    std::shared_ptr<EventSequence> line = std::make_shared<EventSequence>();
    std::shared_ptr<Warnings> warnings = std::make_shared<Warnings>();
    CallLog told;
    bool idleAwaited = false;
};

// Tags waiting and tags raised while closed are dropped and counted, in one record written once
// the teller is done with its batch (no receive loop runs); every other event is told in order.
TEST_F(EventSequenceTest, AClosedLineDropsItsTagsAndTellsEverythingElseInOrder) {
    std::promise<void> release;
    blocker(release).wait();
    postTag(1);
    post("battery");
    postTag(2);
    line->close();
    postTag(3);
    stop();
    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    EXPECT_EQ(told.lines(), (std::vector<std::string>{"battery", "stop"}));
    EXPECT_EQ(line->notTold(), 3u);
    EXPECT_EQ(line->waitingTags(), 0u);
    const std::vector<std::string> ended{"The connection ended: 3 tag reports were not told"};
    EXPECT_EQ(warnings->log.lines(), ended);

    line->open();
    EXPECT_EQ(warnings->log.lines(), ended);
    postTag(4);
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    EXPECT_EQ(told.lines().back(), "04");
}

// A tag the teller has taken but not told when the line closes is dropped and counted once,
// even when the line has opened again by the time the teller reaches it; the teller writes the
// record of that connection's end once it has dropped it.
TEST_F(EventSequenceTest, ATagTheTellerTookIsDroppedByACloseBeforeItsTurn) {
    std::promise<void> first;
    std::promise<void> second;
    blocker(first).wait();
    // The teller takes both at once when the first lets it go.
    const auto inSecond = blocker(second);
    postTag(1);
    first.set_value();
    inSecond.wait();
    line->close();
    line->open();
    postTag(2);
    EXPECT_TRUE(warnings->log.lines().empty());
    second.set_value();
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    EXPECT_EQ(told.lines(), (std::vector<std::string>{"02"}));
    EXPECT_EQ(line->notTold(), 1u);
    EXPECT_EQ(line->waitingTags(), 0u);
    EXPECT_EQ(warnings->log.lines(),
              (std::vector<std::string>{"The connection ended: 1 tag reports were not told"}));
}

// Past its bound the line drops tag reports, never other events, and never makes the poster
// wait; one record when dropping starts, one with the number when the operation ends.
TEST_F(EventSequenceTest, AFullLineDropsOnlyTagReportsAndCountsThem) {
    constexpr std::size_t kPast = 5;
    std::promise<void> release;
    blocker(release).wait();
    for (std::size_t i = 0; i < EventSequence::kTagCapacity + kPast; ++i)
        postTag(0);
    post("battery");
    EXPECT_EQ(line->waitingTags(), EventSequence::kTagCapacity);
    stop();
    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    const auto heard = told.lines();
    ASSERT_EQ(heard.size(), EventSequence::kTagCapacity + 2);
    EXPECT_EQ(heard[heard.size() - 2], "battery");
    EXPECT_EQ(heard.back(), "stop");
    EXPECT_EQ(line->notTold(), kPast);
    const auto records = warnings->log.lines();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0].find("slower than the reader"), std::string::npos);
    EXPECT_EQ(records[1], "The operation ended: 5 tag reports were not told");
}

// A thread posts rounds of tag reports, each ended by a Stop, without waiting for the line: when a
// Stop is told, no tag report told before it is alive any more.
TEST_F(EventSequenceTest, NoToldTagReportOutlivesTheStopAfterIt) {
    constexpr int kRounds = 50;
    constexpr int kTagsPerRound = 2000;
    // Only the teller touches it, one thread at a time.
    std::vector<std::weak_ptr<TagInfo>> toldSinceStop;
    std::atomic<int> stops{0};
    std::atomic<std::size_t> aliveAtStops{0};
    line->setTagTeller([&](const std::shared_ptr<TagInfo>& tag) { toldSinceStop.push_back(tag); });
    std::thread poster([&] {
        for (int round = 0; round < kRounds; ++round) {
            for (int i = 0; i < kTagsPerRound; ++i)
                line->postTag(std::make_shared<TagInfo>());
            line->postState(
                [&] {
                    aliveAtStops += std::count_if(toldSinceStop.begin(), toldSinceStop.end(),
                                                  [](const auto& tag) { return !tag.expired(); });
                    toldSinceStop.clear();
                    ++stops;
                },
                [] {}, false);
        }
    });
    poster.join();
    ASSERT_TRUE(waitUntil([&] { return stops.load() == kRounds && line->isIdle(); }));
    EXPECT_EQ(aliveAtStops.load(), 0u);
}

// One connection end with a full line: the waiting tag reports, the rest of the batch the teller
// was telling, those raised while closed and those of the ended receive loop make one record,
// written once the teller has finished that batch. The Stop posted meanwhile counts only what the
// full line dropped.
TEST_F(EventSequenceTest, AConnectionEndWritesOneRecordOfAllItDidNotTell) {
    constexpr std::size_t kInBatch = 3;
    constexpr std::size_t kPast = 5;
    constexpr std::size_t kWhileClosed = 2;
    constexpr std::size_t kEndedLoop = 4;
    const uint64_t loop = line->loopStarts();
    std::promise<void> first;
    std::promise<void> second;
    blocker(first).wait();
    // The teller takes the second blocker and the tags behind it in one batch.
    const auto inSecond = blocker(second);
    for (std::size_t i = 0; i < kInBatch; ++i)
        postTag(1);
    first.set_value();
    inSecond.wait();
    for (std::size_t i = 0; i < EventSequence::kTagCapacity - kInBatch + kPast; ++i)
        postTag(2);
    ASSERT_EQ(line->waitingTags(), EventSequence::kTagCapacity);

    line->close();
    for (std::size_t i = 0; i < kWhileClosed; ++i)
        postTag(3);
    stop();
    line->dropEnded(loop, kEndedLoop);
    line->receiveFinished(loop);
    const auto beforeTheBatchEnds = warnings->log.lines();
    second.set_value();
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));

    const uint64_t ended = EventSequence::kTagCapacity + kWhileClosed + kEndedLoop;
    const std::string connectionEnded =
        "The connection ended: " + std::to_string(ended) + " tag reports were not told";
    const auto records = warnings->log.lines();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_NE(records[0].find("slower than the reader"), std::string::npos);
    EXPECT_EQ(records[1],
              "The operation ended: " + std::to_string(kPast) + " tag reports were not told");
    EXPECT_EQ(records[2], connectionEnded);
    EXPECT_EQ(std::count(beforeTheBatchEnds.begin(), beforeTheBatchEnds.end(), connectionEnded), 0);
    EXPECT_EQ(line->notTold(), ended + kPast);
    EXPECT_EQ(told.lines(), (std::vector<std::string>{"stop"}));
    EXPECT_EQ(line->waitingTags(), 0u);

    line->open();
    EXPECT_EQ(warnings->log.lines().size(), 3u);
}

// A receive loop's end and drops belong to the connection it was started for: a loop replaced
// within a connection, or one that ends after the next connection opened, neither ends the
// connection open now nor writes a record of its own. Each connection end writes one record,
// with its own count, once the line is closed for it and its last loop has finished.
TEST_F(EventSequenceTest, EachConnectionEndWritesOneRecordOnceItsOwnLoopsHaveFinished) {
    const auto ended = [](uint64_t count) {
        return "The connection ended: " + std::to_string(count) + " tag reports were not told";
    };
    // One step of a row (`loop` names the loops in the order they started), and the records
    // written once it is done.
    enum class Act { open, close, start, drop, finish };
    struct Step {
        Act act;
        std::size_t loop = 0;
        std::size_t count = 0;
        std::vector<std::string> after = {};
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } rows[] = {
        {"a loop replaced within the connection",
         {{Act::open},
          {Act::start},
          {Act::start},
          {Act::drop, 0, 4},
          {Act::finish, 0},
          {Act::close},
          {Act::drop, 1, 2},
          {Act::finish, 1, 0, {ended(6)}},
          {Act::open, 0, 0, {ended(6)}}}},
        {"the previous loop ends after the next open",
         {{Act::open},
          {Act::start},
          {Act::close},
          {Act::open},
          {Act::start},
          {Act::drop, 0, 3},
          {Act::finish, 0, 0, {ended(3)}},
          {Act::drop, 1, 5, {ended(3)}},
          {Act::close, 0, 0, {ended(3)}},
          {Act::finish, 1, 0, {ended(3), ended(5)}}}},
        {"the loop ends before the close",
         {{Act::open},
          {Act::start},
          {Act::drop, 0, 1},
          {Act::finish, 0},
          {Act::close, 0, 0, {ended(1)}},
          {Act::close, 0, 0, {ended(1)}},
          {Act::open, 0, 0, {ended(1)}}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EventSequence fresh;
        std::vector<uint64_t> loops;
        warnings->log.clear();
        for (std::size_t i = 0; i < row.steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const Step& step = row.steps[i];
            switch (step.act) {
                case Act::open:
                    fresh.open();
                    break;
                case Act::close:
                    fresh.close();
                    break;
                case Act::start:
                    loops.push_back(fresh.loopStarts());
                    break;
                case Act::drop:
                    fresh.dropEnded(loops.at(step.loop), step.count);
                    break;
                case Act::finish:
                    fresh.receiveFinished(loops.at(step.loop));
                    break;
            }
            EXPECT_EQ(warnings->log.lines(), step.after);
        }
    }
}

// The tag reports a full line drops after an operation's Stop are in the record of that
// connection's end, never in a record of the next connection: whether that record is written
// before the next connection opens, or its receive loop finishes after that open.
TEST_F(EventSequenceTest, DropsAfterAStopAreInTheirOwnConnectionsEndRecord) {
    constexpr std::size_t kPast = 5;
    constexpr std::size_t kAfterStop = 7;
    for (const bool loopEndsAfterTheOpen : {false, true}) {
        SCOPED_TRACE(loopEndsAfterTheOpen ? "the loop ends after the next open"
                                          : "the loop ends before the next open");
        line = std::make_shared<EventSequence>();
        line->setTagTeller(
            [this](const std::shared_ptr<TagInfo>& tag) { told.add(tag->strEPC()); });
        warnings->log.clear();
        const uint64_t loop = line->loopStarts();
        std::promise<void> release;
        blocker(release).wait();
        for (std::size_t i = 0; i < EventSequence::kTagCapacity + kPast; ++i)
            postTag(1);
        stop();
        for (std::size_t i = 0; i < kAfterStop; ++i)
            postTag(2);
        line->close();
        if (!loopEndsAfterTheOpen) line->receiveFinished(loop);
        release.set_value();
        ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
        line->open();
        if (loopEndsAfterTheOpen) line->receiveFinished(loop);
        // The next connection's first operation ends with nothing dropped of it.
        stop();
        ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));

        auto records = warnings->log.lines();
        ASSERT_FALSE(records.empty());
        EXPECT_NE(records[0].find("slower than the reader"), std::string::npos);
        records.erase(records.begin());
        EXPECT_EQ(records, (std::vector<std::string>{
                               "The operation ended: " + std::to_string(kPast) +
                                   " tag reports were not told",
                               "The connection ended: " +
                                   std::to_string(EventSequence::kTagCapacity + kAfterStop) +
                                   " tag reports were not told"}));
        EXPECT_EQ(line->notTold(), EventSequence::kTagCapacity + kPast + kAfterStop);
    }
}

// A connection state is told beside the events of its own connection; while an event put before
// the last open is still to be told, the state waits behind it, and the next state behind that
// one.
TEST_F(EventSequenceTest, AConnectionStateWaitsOnlyBehindTheEventsOfAnEarlierConnection) {
    std::promise<void> current;
    blocker(current).wait();
    tellState("connecting");
    ASSERT_TRUE(waitUntil([&] { return line->statesTold(); }));
    EXPECT_EQ(told.lines(), (std::vector<std::string>{"connecting"}));

    post("old stop");
    line->close();
    line->open();
    tellState("connected");
    tellState("disconnected");
    // Every teller started so far has ended but the line's, held: neither state was told.
    ASSERT_TRUE(waitUntil([&] { return tellersAtWork() == 1; }));
    EXPECT_FALSE(line->statesTold());
    EXPECT_EQ(told.lines(), (std::vector<std::string>{"connecting"}));
    current.set_value();
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    EXPECT_EQ(told.lines(),
              (std::vector<std::string>{"connecting", "old stop", "connected", "disconnected"}));

    std::promise<void> next;
    blocker(next).wait();
    tellState("connecting again");
    ASSERT_TRUE(waitUntil([&] { return line->statesTold(); }));
    EXPECT_EQ(told.lines().back(), "connecting again");
    next.set_value();
}

// A state stored after an open waits for the last event put before that open, not only for the
// earlier ones: those told, the last one held by the application, the state is not told; let go,
// the state is told after it.
TEST_F(EventSequenceTest, AStateWaitsForTheLastEventPutBeforeItsConnectionOpened) {
    post("earlier");
    post("earlier still");
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    std::promise<void> release;
    bool released = false;
    const OnExit letGo([&] {
        if (!released) release.set_value();
    });
    blocker(release, "last").wait();
    line->open();
    tellState("connected");
    // Every teller started by now has ended but the line's, held in the last event.
    ASSERT_TRUE(waitUntil([&] { return tellersAtWork() == 1; }));
    EXPECT_EQ(told.lines(), (std::vector<std::string>{"earlier", "earlier still"}));
    EXPECT_FALSE(line->statesTold());
    released = true;
    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    EXPECT_EQ(told.lines(),
              (std::vector<std::string>{"earlier", "earlier still", "last", "connected"}));
}

// States are told by the line's state teller alone: never on the thread that stored them, one at
// a time, in the order stored, each once, whatever stores them meanwhile (another thread, or a
// call inside a report), and a held ordered event does not hold them back.
TEST_F(EventSequenceTest, StatesAreToldOneAtATimeInTheOrderStored) {
    for (const bool secondInside : {false, true}) {
        SCOPED_TRACE(secondInside ? "the second is stored inside the first one's report"
                                  : "the second is stored meanwhile on another thread");
        told.clear();
        // An ordered event held by the application all along.
        std::promise<void> release;
        blocker(release).wait();
        Gate held;
        held.close();
        std::atomic<bool> toldByItsStorer{false};
        std::atomic<bool> stored{false};
        std::thread first([&] {
            const auto storer = std::this_thread::get_id();
            line->tellState([&]() -> EventSequence::Task {
                return [&, storer] {
                    told.add("first");
                    toldByItsStorer = std::this_thread::get_id() == storer;
                    if (secondInside) tellState("second");
                    held.pass();
                };
            });
            stored = true;
        });
        // Opened on every way out, so the storing thread is joined.
        const std::shared_ptr<void> joins(nullptr, [&](void*) {
            held.open();
            first.join();
        });
        // The report is held on the teller; the storing thread has returned without telling (the
        // wait is only a hang guard).
        ASSERT_TRUE(waitUntil([&] { return held.waiting() == 1; }));
        ASSERT_FALSE(toldByItsStorer.load()) << "the thread that stored the state tells it";
        ASSERT_TRUE(waitUntil([&] { return stored.load(); }));
        if (!secondInside) tellState("second");
        tellState("third");
        // Every teller started meanwhile has ended: only the line's, held in its event, and the
        // state teller, held in the first report, are at work. Neither state was told.
        ASSERT_TRUE(waitUntil([&] { return tellersAtWork() == 2; }));
        EXPECT_EQ(told.lines(), (std::vector<std::string>{"first"}));
        held.open();
        ASSERT_TRUE(waitUntil([&] { return line->statesTold(); }));
        EXPECT_EQ(told.lines(), (std::vector<std::string>{"first", "second", "third"}));
        release.set_value();
        ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    }
}

// A state that must wait for the events of an earlier connection, stored while the line's teller
// tells them and another state is being told: it is told after that one, by the state teller,
// never beside it.
TEST_F(EventSequenceTest, AStateWaitingForAnEarlierConnectionIsNeverToldBesideTheOneBeingTold) {
    std::promise<void> release;
    blocker(release).wait();
    Gate held;
    held.close();
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<bool> heldOnItsStorer{false};
    const auto state = [&](const std::string& name, bool hold) {
        line->tellState([&, name, hold]() -> EventSequence::Task {
            return [&, name, hold] {
                if (inside++ != 0) ++overlaps;
                told.add(name);
                if (hold) {
                    heldOnItsStorer = tStoresStates;
                    held.pass();
                }
                --inside;
            };
        });
    };
    std::atomic<bool> stored{false};
    std::thread first([&] {
        tStoresStates = true;
        state("first", true);
        stored = true;
    });
    // On every way out: the line's teller and the held report are let go before the storing
    // thread is joined (a storer that told its own state waits in that report), and nothing is
    // told once this test's variables are gone.
    bool released = false;
    const OnExit letGo([&] {
        if (!released) release.set_value();
        held.open();
        if (first.joinable()) first.join();
        expectIdleOnExit();
    });
    ASSERT_TRUE(waitUntil([&] { return held.waiting() == 1; }));
    // Held by the state teller, so the storing thread returns (the wait is only a hang guard).
    ASSERT_FALSE(heldOnItsStorer.load()) << "the thread that stored the state tells it";
    ASSERT_TRUE(waitUntil([&] { return stored.load(); }));
    line->open();
    state("second", false);
    post("marker");
    released = true;
    release.set_value();
    // The line's teller has told what was put before the state and after it, and has ended: only
    // the state teller, held in the first report, is at work.
    ASSERT_TRUE(waitUntil([&] { return told.count("marker") == 1 && tellersAtWork() == 1; }));
    EXPECT_EQ(told.lines(), (std::vector<std::string>{"first", "marker"}));
    held.open();
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    EXPECT_EQ(told.lines(), (std::vector<std::string>{"first", "marker", "second"}));
    EXPECT_EQ(overlaps.load(), 0);
}

// Many threads store states while another opens connections whose predecessor's events are still
// being told: every state is heard once, in the order stored, one at a time, and none on the
// thread that stored it.
TEST_F(EventSequenceTest, StatesStoredOnManyThreadsWhileConnectionsOpenKeepOneTellerAndOneOrder) {
    constexpr int kStorers = 8;
    constexpr int kEach = 40;
    std::mutex lock;
    std::vector<int> order;  // under `lock`: the serials in the order stored
    std::vector<int> heard;  // only the teller writes it, one at a time (checked below)
    std::atomic<int> serial{0};
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> onStorer{0};
    std::atomic<bool> opening{true};
    std::thread opener([&] {
        while (opening) {
            post("event");
            line->close();
            line->open();
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> storers;
    for (int t = 0; t < kStorers; ++t) {
        storers.emplace_back([&] {
            tStoresStates = true;
            for (int i = 0; i < kEach; ++i) {
                line->tellState([&]() -> EventSequence::Task {
                    std::lock_guard guard(lock);
                    const int n = serial++;
                    order.push_back(n);
                    return [&, n] {
                        if (inside++ != 0) ++overlaps;
                        if (tStoresStates) ++onStorer;
                        heard.push_back(n);
                        --inside;
                    };
                });
            }
        });
    }
    for (std::thread& storer : storers)
        storer.join();
    opening = false;
    opener.join();
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(onStorer.load(), 0);
    std::lock_guard guard(lock);
    EXPECT_EQ(heard, order);
}

}  // namespace
}  // namespace orvane::test
