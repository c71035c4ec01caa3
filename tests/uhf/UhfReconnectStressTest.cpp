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
// A reconnect that came back Connected is also judged by what a fault would leave, not by how
// long it took (a busy machine makes any reconnect slow): its initialisation asked the simulated
// reader exactly what a clean one asks, request for request (a reply lost, or held up past its
// budget, fails its exchange: the initialisation asks again, asks otherwise or ends), every reply
// that reached the new connection was taken by its exchange (none is left waiting once the reader
// is Connected: a late reply, or one of the old connection, would be), and the new connection's
// receive loop parsed no tag report before an inventory was started on it (the old connection's
// flood delivered on the new link would be parsed there, ahead of the replies).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/link/Vk210Protocol.h"
#include "orvanerfid/link/Vk640Protocol.h"
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

// The requests that reached the simulated reader, and the link each came on.
class Arrivals {
  public:
    void note(SimPeer& peer, SimReader::Key key) {
        std::lock_guard guard(lock_);
        arrivals_.push_back({key, peer.weakPeer()});
    }
    void clear() {
        std::lock_guard guard(lock_);
        arrivals_.clear();
    }
    // The requests on the newest link still open, in order: a request of a link that has ended
    // may still be taken after the next link's first ones.
    std::vector<SimReader::Key> onTheNewestLink() const {
        std::lock_guard guard(lock_);
        std::vector<SimReader::Key> keys;
        std::shared_ptr<SimPeer> newest;
        for (auto it = arrivals_.rbegin(); it != arrivals_.rend(); ++it) {
            const auto peer = it->peer.lock();
            if (!peer) continue;
            if (!newest) newest = peer;
            if (peer == newest) keys.insert(keys.begin(), it->key);
        }
        return keys;
    }

  private:
    struct Arrival {
        SimReader::Key key;
        std::weak_ptr<SimPeer> peer;
    };
    mutable std::mutex lock_;
    std::vector<Arrival> arrivals_;
};

// The replies the reader's protocol holds that no exchange has taken.
std::size_t unclaimedReplies(const std::shared_ptr<BaseProtocol>& protocol) {
    if (const auto vk640 = std::dynamic_pointer_cast<Vk640Protocol>(protocol)) {
        return vk640->queuedReplies();
    }
    if (const auto vk210 = std::dynamic_pointer_cast<Vk210Protocol>(protocol)) {
        return vk210->queuedReplies();
    }
    ADD_FAILURE() << "a protocol of another model";
    return 0;
}

// Only guards against a hang: what the tests wait for comes by cause.
constexpr std::chrono::seconds kHangGuard{120};
// The driver's budget for a reply in these tests, below the hang guard: a reply that never comes
// still fails, as a timeout.
constexpr int kReplyBudgetMs = 60000;
// The clock speed of a reconnect: an exchange's budget of the initialisation (3000 ms of clock
// time) lasts a minute, its whole budget (7000 ms) more than the hang guard.
constexpr double kReconnectClockSpeed = 0.05;

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
        // No alive exchanges (from the first connection on, so the requests of its initialisation
        // are those of a clean one). A flood at the simulator's full speed can outrun the receive
        // loop (a sanitizer build on busy cores cuts fewer frames a second than the simulator
        // writes), and the reply of an alive exchange, asked during inventories too, then waits
        // behind megabytes of tag reports or goes with the oldest bytes of a full receive queue:
        // four exchanges in a row miss their budget and the reader ends the link as one whose
        // reader is gone. That judges the machine's pace, not a reconnect or a stop (the alive
        // failure of an ended connection has a test of its own).
        f.reader->setCheckInterval(0);
        {
            const ClockSpeed slow(kReconnectClockSpeed);
            ASSERT_TRUE(f.connected()) << standing(-1);
        }
        // What a clean initialisation asks; every request of these kinds notes its arrival.
        clean = f.sim->requests();
        for (const SimReader::Key key : std::set<SimReader::Key>(clean.begin(), clean.end())) {
            const SimReader::Row row = f.sim->row(key);
            if (!row) continue;
            f.sim->addRow(key, [row, arrivals = arrivals, key](const SimRequest& request) {
                arrivals->note(request.peer, key);
                row(request);
            });
        }
        longExchanges();
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

    // The requests of a clean initialisation, in order.
    std::vector<SimReader::Key> clean;

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
        // The old connection's receive loops have ended: from here on, only the new
        // connection's loop parses what reaches the reader.
        const auto protocol = f.reader->baseProtocol();
        ASSERT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }, kHangGuard))
            << "round " << round << ": " << this->standing(answer->load());
        const uint64_t parsed = protocol->tagReportsParsed();
        // One reconnect, on the slow clock: it comes back Connected or the round fails.
        const int connects = f.calls->count("r state Connected");
        const int ends = f.calls->count("r state Disconnected");
        {
            const ClockSpeed slow(kReconnectClockSpeed);
            this->arrivals->clear();
            ASSERT_TRUE(f.reader->connect())
                << "round " << round << ": " << this->standing(answer->load());
            ASSERT_TRUE(waitUntil(
                [&] {
                    return f.calls->count("r state Connected") > connects ||
                           f.calls->count("r state Disconnected") > ends;
                },
                kHangGuard))
                << "round " << round << ": " << this->standing(answer->load());
        }
        ASSERT_EQ(f.calls->count("r state Disconnected"), ends)
            << "round " << round << ", the reconnect ended: " << this->standing(answer->load());
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }, kHangGuard))
            << "round " << round << ": " << this->standing(answer->load());
        ASSERT_EQ(f.reader->connectState(), ConnectState::connected)
            << "round " << round << ": " << this->standing(answer->load());
        EXPECT_TRUE(f.reader->baseProtocol()->isReceiving())
            << "round " << round << ": " << this->standing(answer->load());
        // Each exchange of the initialisation got its reply: it asked what a clean one asks,
        // once each, and left no reply untaken.
        EXPECT_EQ(this->arrivals->onTheNewestLink(), this->clean)
            << "round " << round << ": " << this->standing(answer->load());
        EXPECT_EQ(unclaimedReplies(protocol), 0u)
            << "round " << round << ": " << this->standing(answer->load());
        // Nothing of the old connection's flood reached the new connection's receive loop.
        EXPECT_EQ(protocol->tagReportsParsed(), parsed)
            << "round " << round << ": " << this->standing(answer->load());
        this->longExchanges();
    }
    EXPECT_EQ(answered([&](auto done) { f.reader->uhf()->stop(std::move(done)); }),
              ResultCode::noError);
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
