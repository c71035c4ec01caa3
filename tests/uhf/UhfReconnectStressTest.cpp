// Reconnects made from a plain thread while the application is slower than a flood of tag reports:
// each one brings the reader back Connected with a receive loop running, round after round.
// They run only when ORVANE_STRESS_ROUNDS sets the rounds (hundreds for a soak under load).

#include <gtest/gtest.h>

#include <atomic>
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

    ModelReader<Model> f{Model::makeSim()};
    const std::shared_ptr<SlowTags> app = std::make_shared<SlowTags>();
};

using Models = ::testing::Types<Vk210UhfModel, Vk640Model>;
TYPED_TEST_SUITE(UhfReconnectStressTest, Models, ModelName);

TYPED_TEST(UhfReconnectStressTest, EachReconnectDuringAFloodComesBackConnected) {
    auto& f = this->f;
    const auto& app = this->app;
    const int total = rounds(5);
    for (int round = 0; round < total; ++round) {
        const auto uhf = f.reader->uhf();
        ASSERT_TRUE(uhf);
        // The application held in a report until the line is full: the teller has a full
        // backlog to tell when the connection ends.
        app->gate.close();
        uhf->inventory([](ResultCode) {});
        ASSERT_TRUE(waitUntil([&] {
            return app->gate.waiting() == 1 &&
                   f.reader->eventLine().waitingTags() >= EventSequence::kTagCapacity;
        })) << "round "
            << round;
        const int connects = f.calls->count("r state Connected");
        ASSERT_TRUE(f.reader->disconnect()) << "round " << round;
        app->gate.open();
        ASSERT_TRUE(f.reader->connect()) << "round " << round;
        ASSERT_TRUE(waitUntil([&] { return f.calls->count("r state Connected") > connects; }))
            << "round " << round << ": receive loops "
            << f.reader->baseProtocol()->receiveLoopsRunning();
        ASSERT_EQ(f.reader->connectState(), ConnectState::connected) << "round " << round;
        EXPECT_TRUE(f.reader->baseProtocol()->isReceiving()) << "round " << round;
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
