// Reconnects made from a plain thread while the application is slower than a flood of tag reports:
// each one brings the reader back Connected with a receive loop running, round after round.
// They run only when ORVANE_STRESS_ROUNDS sets the rounds (hundreds for a soak under load).

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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
        // A soak for a loaded machine, run by hand: its rounds wait on a full line at a
        // sanitizer's pace, which a busy CI machine need not keep.
        if (!std::getenv("ORVANE_STRESS_ROUNDS")) GTEST_SKIP() << "set ORVANE_STRESS_ROUNDS";
        BaseReader::setLogLevel(LogLevel::info);
        f.sim->setTags(makeSimTags(50));
        ASSERT_TRUE(f.connected());
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

    ModelReader<Model> f{Model::makeSim()};
    const std::shared_ptr<SlowTags> app = std::make_shared<SlowTags>();
};

using Models = ::testing::Types<Vk210UhfModel, Vk640Model>;
TYPED_TEST_SUITE(UhfReconnectStressTest, Models, ModelName);

TYPED_TEST(UhfReconnectStressTest, EachReconnectDuringAFloodComesBackConnected) {
    auto& f = this->f;
    const auto& app = this->app;
    // No alive exchanges. A flood at the simulator's full speed can outrun the receive loop (a
    // sanitizer build on busy cores cuts fewer frames a second than the simulator writes), and
    // the reply of a Vk210's alive exchange, asked during inventories too, then waits behind
    // megabytes of tag reports or goes with the oldest bytes of a full receive queue: four
    // exchanges in a row miss their budget and the reader ends the link as one whose reader is
    // gone. That judges the machine's pace, not a reconnect (the alive failure of an ended
    // connection has a test of its own).
    f.reader->setCheckInterval(0);
    const int total = rounds(5);
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
        waitUntil([&] {
            return full() || answer->load() > 0 ||
                   f.reader->connectState() == ConnectState::disconnected;
        });
        ASSERT_TRUE(full()) << "round " << round << ": " << this->standing(answer->load());
        const int connects = f.calls->count("r state Connected");
        ASSERT_TRUE(f.reader->disconnect())
            << "round " << round << ": " << this->standing(answer->load());
        app->gate.open();
        ASSERT_TRUE(f.reader->connect())
            << "round " << round << ": " << this->standing(answer->load());
        ASSERT_TRUE(waitUntil([&] { return f.calls->count("r state Connected") > connects; }))
            << "round " << round << ": " << this->standing(answer->load());
        ASSERT_EQ(f.reader->connectState(), ConnectState::connected)
            << "round " << round << ": " << this->standing(answer->load());
        EXPECT_TRUE(f.reader->baseProtocol()->isReceiving())
            << "round " << round << ": " << this->standing(answer->load());
    }
    EXPECT_EQ(codeOf([&](auto done) { f.reader->uhf()->stop(std::move(done)); }),
              ResultCode::noError);
}

// A stop during a flood is answered by the stop's reply every cycle; the records of a cycle whose
// stop fails tell what became of the reply's bytes.
TYPED_TEST(UhfReconnectStressTest, EachStopDuringAFloodIsAnswered) {
    auto& f = this->f;
    const auto& app = this->app;
    const auto uhf = f.reader->uhf();
    ASSERT_TRUE(uhf);
    const int total = rounds(5);
    for (int round = 0; round < total; ++round) {
        const int before = app->tags.load();
        {
            std::lock_guard guard(f.sink->logLock);
            f.sink->logs.clear();
        }
        ASSERT_EQ(codeOf([&](auto done) { uhf->inventory(std::move(done)); }), ResultCode::noError)
            << "round " << round;
        ASSERT_TRUE(waitUntil([&] { return app->tags.load() > before + 2; })) << "round " << round;
        const ResultCode stopped = codeOf([&](auto done) { uhf->stop(std::move(done)); });
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
        ASSERT_TRUE(waitUntil([&] { return f.reader->actionState() == ActionState::stop; }))
            << "round " << round;
    }
}

}  // namespace
}  // namespace orvane::test
