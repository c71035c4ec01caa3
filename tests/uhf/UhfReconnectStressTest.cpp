// Reconnects made from a plain thread while the application is slower than a flood of tag reports:
// each one brings the reader back Connected with a receive loop running, round after round. The
// suite runs a few rounds; ORVANE_STRESS_ROUNDS sets more (hundreds for a soak under load).
//
// Nothing here waits on the machine's pace: the alive exchanges are off (their replies would wait
// behind the flood), every wait is for its cause with a guard only against a hang, and a stop's
// reply, which waits behind the tag frames the receive loop has yet to parse (at most the link's
// 4 MB byte queue and the turn in hand, several seconds of a sanitizer build on a busy machine),
// is waited for within a budget far above that. A reconnect is made once: its initialisation runs
// on a clock so slow that its budgets only guard against a hang, so a reconnect that does not come
// back Connected fails the round whatever the machine's pace.
//
// A reconnect that would have run out of time at the normal clock fails the test too, after the
// rounds. Its exchanges follow each other with nothing between them (the reader answers each at
// once; the initialisation's pauses come only after a failure), so the time from one request's
// arrival at the simulated reader to the next one's, and from the last one's to the Connected
// state, bounds each exchange from above. An exchange whose bound passes its budget at the normal
// clock (3000 ms, real time there) would have timed out. That budget is hundreds of times what an
// exchange on the new, quiet link needs on a loaded machine: only a fault crosses it (a reply held
// up behind the old connection's flood, or lost).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/reader/EventSequence.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"

namespace orvane::test {
namespace {

// An application slower than the reader: each tag report takes a millisecond, and the gate
// holds the reports while it is closed.
class SlowTags : public ActionListener, public RfidDelegate {
  public:
    void readTag(const std::shared_ptr<BaseReader>&, const std::shared_ptr<TagInfo>&) override {
        ++tags;
        gate.pass();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Gate gate;
    void accessResult(const std::shared_ptr<BaseReader>&, const AccessResultEventArgs&) override {}
    void actionStateEvent(ActionState) override {}
    std::atomic<int> tags{0};
};

// The arrival of each request at the simulated reader, and the link it came on.
class Arrivals {
  public:
    using Time = std::chrono::steady_clock::time_point;
    void note(SimPeer& peer) {
        std::lock_guard guard(lock_);
        arrivals_.push_back({std::chrono::steady_clock::now(), peer.weakPeer()});
    }
    void clear() {
        std::lock_guard guard(lock_);
        arrivals_.clear();
    }
    // The arrival times of the requests on the newest link still open, in order: a request of a
    // link that has ended may still be taken after the next link's first ones.
    std::vector<Time> onTheNewestLink() const {
        std::lock_guard guard(lock_);
        std::vector<Time> times;
        std::shared_ptr<SimPeer> newest;
        for (auto it = arrivals_.rbegin(); it != arrivals_.rend(); ++it) {
            const auto peer = it->peer.lock();
            if (!peer) continue;
            if (!newest) newest = peer;
            if (peer == newest) times.insert(times.begin(), it->at);
        }
        return times;
    }

  private:
    struct Arrival {
        Time at;
        std::weak_ptr<SimPeer> peer;
    };
    mutable std::mutex lock_;
    std::vector<Arrival> arrivals_;
};

// Only guards against a hang: what the tests wait for comes by cause.
constexpr std::chrono::seconds kHangGuard{120};
// The driver's budget for a reply in these tests, below the hang guard: a reply that never comes
// still fails, as a timeout.
constexpr int kReplyBudgetMs = 60000;
// The clock speed of a reconnect: an exchange's budget of the initialisation (3000 ms of clock
// time) lasts a minute, its whole budget (7000 ms) more than the hang guard.
constexpr double kReconnectClockSpeed = 0.05;
// An exchange's budget at the normal clock: an exchange of a reconnect that lasted longer would
// have run out of time there.
constexpr auto kExchangeBudget = std::chrono::milliseconds(3000);

// The code an asynchronous UHF call answers, waited for within the hang guard.
ResultCode answered(const std::function<void(std::function<void(ResultCode)>)>& call) {
    auto code = std::make_shared<std::atomic<int>>(-1);
    call([code](ResultCode c) { *code = rawValue(c); });
    EXPECT_TRUE(waitUntil([&] { return code->load() >= 0; }, kHangGuard));
    return static_cast<ResultCode>(code->load());
}

int rounds(int fallback) {
    const char* text = std::getenv("ORVANE_STRESS_ROUNDS");
    const int asked = text ? std::atoi(text) : 0;
    return asked > 0 ? asked : fallback;
}

template <class Model>
class UhfReconnectStressTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }

    // A connected reader that streams its tags as fast as they go to the slow application.
    void SetUp() override {
        BaseReader::setLogLevel(LogLevel::info);
        f.sim->setTags(makeSimTags(50));
        {
            const ClockSpeed slow(kReconnectClockSpeed);
            ASSERT_TRUE(f.connected()) << standing(-1);
        }
        // Every request the initialisation makes notes its arrival.
        const std::vector<SimReader::Key> asked = f.sim->requests();
        for (const SimReader::Key key : std::set<SimReader::Key>(asked.begin(), asked.end())) {
            const SimReader::Row row = f.sim->row(key);
            if (!row) continue;
            f.sim->addRow(key, [row, arrivals = arrivals](const SimRequest& request) {
                arrivals->note(request.peer);
                row(request);
            });
        }
        longExchanges();
        // No alive exchanges. A flood at the simulator's full speed can outrun the receive loop (a
        // sanitizer build on busy cores cuts fewer frames a second than the simulator writes), and
        // the reply of an alive exchange, asked during inventories too, then waits behind
        // megabytes of tag reports or goes with the oldest bytes of a full receive queue: four
        // exchanges in a row miss their budget and the reader ends the link as one whose reader
        // is gone. That judges the machine's pace, not a reconnect or a stop (the alive failure of
        // an ended connection has a test of its own).
        f.reader->setCheckInterval(0);
        f.reader->setUhfReaderDelegate(app);
        f.reader->setRfidDelegate(app);
        f.sim->setInventoryOnce(false);
        f.sim->setInventoryRate(0);
    }

    // What a round waits on as it stands, for a round that fails: the inventory's answer, the
    // reader's states, the flood on both ends and the last records of the sink.
    std::string standing(int inventoryAnswer) {
        char code[16] = "none";
        if (inventoryAnswer >= 0) std::snprintf(code, sizeof code, "0x%04X", inventoryAnswer);
        std::string text = "inventory answered " + std::string(code) + ", reader " +
                           state(f.reader->connectState()) + " and " +
                           std::string(description(f.reader->actionState())) + ", receive loops " +
                           std::to_string(f.reader->baseProtocol()->receiveLoopsRunning()) +
                           ", simulator streaming " + (f.sim->isStreaming() ? "yes" : "no") + " (" +
                           std::to_string(f.sim->reportsStreamed()) + " reports), told " +
                           std::to_string(app->tags.load()) + ", waiting " +
                           std::to_string(f.reader->eventLine().waitingTags()) + ", held " +
                           std::to_string(app->gate.waiting());
        std::lock_guard guard(f.sink->logLock);
        const auto& logs = f.sink->logs;
        for (auto it = logs.size() > 20 ? logs.end() - 20 : logs.begin(); it != logs.end(); ++it)
            text += "\n  " + *it;
        return text;
    }

    // A round that failed with the application held lets it go, so the reader can end.
    void TearDown() override { app->gate.open(); }

    // The driver of the connection's UHF object (a new one each initialisation) waits for a reply
    // as long as a stop waiting behind a flood needs.
    void longExchanges() {
        const auto uhf = f.reader->uhf();
        ASSERT_TRUE(uhf);
        uhf->uhfModule()->setTimeout(kReplyBudgetMs);
    }

    // Reconnects with an exchange that outlasted its budget at the normal clock (they would have
    // timed out there), what each one's longest exchange lasted at most, and the longest exchange
    // of all reconnects.
    int lateReconnects = 0;
    std::string lateExchanges;
    std::chrono::steady_clock::duration longestExchange{};

    ModelReader<Model> f{Model::makeSim()};
    const std::shared_ptr<Arrivals> arrivals = std::make_shared<Arrivals>();
    const std::shared_ptr<SlowTags> app = std::make_shared<SlowTags>();
};

using Models = ::testing::Types<Vk210UhfModel, Vk640Model>;
TYPED_TEST_SUITE(UhfReconnectStressTest, Models, ModelName);

TYPED_TEST(UhfReconnectStressTest, EachReconnectDuringAFloodComesBackConnected) {
    auto& f = this->f;
    const auto& app = this->app;
    const int total = rounds(3);
    for (int round = 0; round < total; ++round) {
        const auto uhf = f.reader->uhf();
        ASSERT_TRUE(uhf);
        // The application held in a report until the line is full: the teller has a full
        // backlog to tell when the connection ends.
        app->gate.close();
        auto answer = std::make_shared<std::atomic<int>>(-1);
        uhf->inventory([answer](ResultCode code) { *answer = rawValue(code); });
        const auto full = [&] {
            return app->gate.waiting() == 1 &&
                   f.reader->eventLine().waitingTags() >= EventSequence::kTagCapacity;
        };
        // An inventory refused, or a connection ended, fills nothing: either ends the wait.
        waitUntil(
            [&] {
                return full() || answer->load() > 0 ||
                       f.reader->connectState() == ConnectState::disconnected;
            },
            kHangGuard);
        ASSERT_TRUE(full()) << "round " << round << ": " << this->standing(answer->load());
        ASSERT_TRUE(f.reader->disconnect())
            << "round " << round << ": " << this->standing(answer->load());
        app->gate.open();
        // Every state of the connection that ended is told before the reconnect is judged.
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }, kHangGuard))
            << "round " << round << ": " << this->standing(answer->load());
        // One reconnect, on the slow clock: it comes back Connected or the round fails.
        const int connects = f.calls->count("r state Connected");
        const int ends = f.calls->count("r state Disconnected");
        std::optional<Arrivals::Time> up;
        {
            const ClockSpeed slow(kReconnectClockSpeed);
            this->arrivals->clear();
            ASSERT_TRUE(f.reader->connect())
                << "round " << round << ": " << this->standing(answer->load());
            // The transport is connected and the initialisation under way; when the reader's
            // state turns Connected ends its last exchange.
            ASSERT_TRUE(waitUntil(
                [&] {
                    if (!up && f.reader->connectState() == ConnectState::connected) {
                        up = std::chrono::steady_clock::now();
                    }
                    return f.calls->count("r state Connected") > connects ||
                           f.calls->count("r state Disconnected") > ends;
                },
                kHangGuard))
                << "round " << round << ": " << this->standing(answer->load());
        }
        ASSERT_EQ(f.calls->count("r state Disconnected"), ends)
            << "round " << round << ", the reconnect ended: " << this->standing(answer->load());
        ASSERT_TRUE(up) << "round " << round;
        // Each exchange lasted at most until the next request arrived; the last one, until the
        // reader was Connected.
        std::vector<Arrivals::Time> times = this->arrivals->onTheNewestLink();
        ASSERT_FALSE(times.empty()) << "round " << round;
        times.push_back(*up);
        std::chrono::steady_clock::duration longest{};
        for (std::size_t i = 1; i < times.size(); ++i)
            longest = std::max(longest, times[i] - times[i - 1]);
        if (longest > kExchangeBudget) {
            ++this->lateReconnects;
            this->lateExchanges +=
                " round " + std::to_string(round) + ": " +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::milliseconds>(longest).count()) +
                " ms;";
        }
        this->longestExchange = std::max(this->longestExchange, longest);
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }, kHangGuard))
            << "round " << round << ": " << this->standing(answer->load());
        ASSERT_EQ(f.reader->connectState(), ConnectState::connected)
            << "round " << round << ": " << this->standing(answer->load());
        EXPECT_TRUE(f.reader->baseProtocol()->isReceiving())
            << "round " << round << ": " << this->standing(answer->load());
        this->longExchanges();
    }
    EXPECT_EQ(answered([&](auto done) { f.reader->uhf()->stop(std::move(done)); }),
              ResultCode::noError);
    // No reconnect would have timed out at the normal clock.
    const auto longest =
        std::chrono::duration_cast<std::chrono::milliseconds>(this->longestExchange).count();
    this->RecordProperty("lateReconnects", this->lateReconnects);
    this->RecordProperty("longestExchangeMs", static_cast<int>(longest));
    EXPECT_EQ(this->lateReconnects, 0)
        << "reconnects with an exchange longer than its budget at the normal clock:"
        << this->lateExchanges;
    std::printf(
        "%d of %d reconnects had an exchange longer than its budget at the normal clock "
        "(longest exchange %lld ms at most)\n",
        this->lateReconnects, total, static_cast<long long>(longest));
}

// A stop during a flood is answered by the stop's reply every cycle; the records of a cycle whose
// stop fails tell what became of the reply's bytes. The reply waits behind every tag frame the
// receive loop has yet to parse; the driver waits for it long enough for any machine, so only a
// reply lost fails.
TYPED_TEST(UhfReconnectStressTest, EachStopDuringAFloodIsAnswered) {
    auto& f = this->f;
    const auto& app = this->app;
    const auto uhf = f.reader->uhf();
    ASSERT_TRUE(uhf);
    const int total = rounds(3);
    for (int round = 0; round < total; ++round) {
        const int before = app->tags.load();
        {
            std::lock_guard guard(f.sink->logLock);
            f.sink->logs.clear();
        }
        ASSERT_EQ(answered([&](auto done) { uhf->inventory(std::move(done)); }),
                  ResultCode::noError)
            << "round " << round;
        ASSERT_TRUE(waitUntil([&] { return app->tags.load() > before + 2; }, kHangGuard))
            << "round " << round;
        const ResultCode stopped = answered([&](auto done) { uhf->stop(std::move(done)); });
        std::string errors;
        if (stopped != ResultCode::noError) {
            std::lock_guard guard(f.sink->logLock);
            for (const auto& log : f.sink->logs) {
                if (log.find("Dropped") != std::string::npos ||
                    log.find("no data") != std::string::npos ||
                    log.find("full") != std::string::npos || log.find("stop") != std::string::npos)
                    errors += "\n  " + log;
            }
        }
        ASSERT_EQ(stopped, ResultCode::noError) << "round " << round << errors;
        ASSERT_TRUE(
            waitUntil([&] { return f.reader->actionState() == ActionState::stop; }, kHangGuard))
            << "round " << round;
    }
}

}  // namespace
}  // namespace orvane::test
