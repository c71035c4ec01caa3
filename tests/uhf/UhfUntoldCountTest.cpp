// The records that count the tag reports a reader's event line did not tell, as the application's
// log sink adds them up: however many operations or connections end in a second, the sum of the
// numbers they carry is the count of reports not told. The application's tag callback is held
// at a gate, so the line fills and drops by cause, not by the machine's pace.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "orvanerfid/reader/EventSequence.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;
// Only guards against a hang: what the tests wait for comes by cause.
constexpr std::chrono::seconds kHangGuard{120};
constexpr std::string_view kLineTag = "EventSequence";

// Tag callbacks that count their tag, then wait at a gate while it is closed.
class HeldTags : public RfidDelegate {
  public:
    void readTag(const std::shared_ptr<BaseReader>&, const std::shared_ptr<TagInfo>&) override {
        ++tags;
        gate_.pass();
    }
    void accessResult(const std::shared_ptr<BaseReader>&, const AccessResultEventArgs&) override {}
    void hold() { gate_.close(); }
    void release() { gate_.open(); }
    int atGate() const { return gate_.waiting(); }
    std::atomic<uint64_t> tags{0};

  private:
    Gate gate_;
};

// The application's log sink: the sum of the numbers of the records that count tag reports not
// told, and the line's records that say an operation started dropping. Connection states go to the
// fixture's call log.
class CountingSink : public ReaderSink {
  public:
    using ReaderSink::ReaderSink;
    void logEvent(const LogEventArg& record) override {
        const std::string& text = record.log();
        // The line's own say how many reports may wait; the test's own say none.
        if (text.starts_with(kSlower) &&
            text.find(std::to_string(EventSequence::kTagCapacity)) != std::string::npos) {
            ++slower;
        }
        notTold += notToldIn(text);
    }
    static constexpr std::string_view kSlower =
        "The application's callbacks are slower than the reader";
    std::atomic<uint64_t> notTold{0};
    std::atomic<int> slower{0};
};

// Writes, until it ends, records of the test's own alike the line's counting records (each
// counting none, so no sum changes): the repeating-fault limit's second for their kinds stays
// spent for the whole run, whatever the pace of the ends. A counting record the limit took for a
// fault would be left out, and a later one of the test's would carry the count in its place.
class SpentLimit {
  public:
    SpentLimit()
        : thread_([this] {
              while (!done_) {
                  orvLogger::warn(kLineTag, "The connection ended: 0 tag reports were not told");
                  orvLogger::warn(kLineTag, "The operation ended: 0 tag reports were not told");
                  orvLogger::warn(kLineTag, std::string(CountingSink::kSlower) +
                                                ": tag reports past 0 waiting are not told");
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          }) {}
    ~SpentLimit() {
        done_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

template <class Model>
class UhfUntoldCountTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }
    void SetUp() override {
        f.sim->setTags(makeSimTags(1000));
        ASSERT_TRUE(f.connected());
        f.reader->setRfidDelegate(app);
        f.reader->setReaderDelegate(records);
        // Only the test's operations reach the reader: the keep-alive is off.
        f.reader->setCheckInterval(0);
        BaseReader::setLogLevel(LogLevel::warn);
        // The sim streams rounds of its tags as fast as the host reads them.
        f.sim->setInventoryRate(0);
        f.sim->setInventoryOnce(false);
    }
    void TearDown() override {
        app->release();
        f.reader->setReaderDelegate(f.sink);
    }

    const EventSequence& line() const { return f.reader->eventLine(); }
    ResultCode inventory() {
        return codeOf([&](auto done) { f.reader->uhf()->inventory(done); });
    }
    ResultCode stop() {
        return codeOf([&](auto done) { f.reader->uhf()->stop(done); });
    }
    // The connection ends and its receive loops have finished, the line's teller is done, and the
    // records the sink got add up to what the line did not tell.
    void expectTheSumOfTheRecords() {
        ASSERT_TRUE(f.reader->disconnect());
        ASSERT_TRUE(waitUntil(
            [&] { return f.reader->baseProtocol()->receiveLoopsRunning() == 0 && line().isIdle(); },
            kHangGuard));
        EXPECT_GT(line().notTold(), 0u);
        // The record of the connection's end follows once its receive loop has finished.
        EXPECT_TRUE(
            waitUntil([&] { return records->notTold.load() == line().notTold(); }, kHangGuard));
        EXPECT_EQ(records->notTold.load(), line().notTold());
        EXPECT_EQ(app->tags.load() + line().notTold(),
                  f.reader->baseProtocol()->tagReportsParsed());
    }

    ModelReader<Model> f{Model::makeSim()};
    std::shared_ptr<HeldTags> app = std::make_shared<HeldTags>();
    std::shared_ptr<CountingSink> records = std::make_shared<CountingSink>(f.calls);
};

using Models = ::testing::Types<Vk210UhfModel, Vk640Model>;
TYPED_TEST_SUITE(UhfUntoldCountTest, Models, ModelName);

// Connection after connection ends at full speed with tag reports waiting behind a held tag
// callback: each end leaves reports untold, and each one's record reaches the sink.
TYPED_TEST(UhfUntoldCountTest, EveryConnectionEndsRecordReachesTheSinkWithItsNumber) {
    auto& f = this->f;
    const SpentLimit spent;
    constexpr int kEnds = 30;
    for (int end = 0; end < kEnds; ++end) {
        SCOPED_TRACE("end " + std::to_string(end));
        this->app->hold();
        ASSERT_EQ(this->inventory(), kOk);
        // One tag callback held, at least one more report waiting: the end leaves it untold.
        ASSERT_TRUE(
            waitUntil([&] { return this->app->atGate() == 1 && this->line().waitingTags() >= 2; },
                      kHangGuard));
        ASSERT_TRUE(f.reader->disconnect());
        this->app->release();
        ASSERT_TRUE(f.connected());
    }
    this->expectTheSumOfTheRecords();
}

// Short inventories one after another while the tag callback is held and the line full: each
// drops reports, starts dropping with one record and reports its drops when it stops. The line is
// filled by one round of more tags than it holds, sent as fast as the host reads them; the
// inventories stopped after it stream at the top rate of a link.
TYPED_TEST(UhfUntoldCountTest, EveryOperationEndsRecordReachesTheSinkWithItsNumber) {
    auto& f = this->f;
    const SpentLimit spent;
    const std::size_t filling = EventSequence::kTagCapacity + 1000;
    f.sim->setTags(makeSimTags(filling));
    f.sim->setInventoryOnce(true);
    this->app->hold();
    ASSERT_EQ(this->inventory(), kOk);
    ASSERT_TRUE(waitUntil(
        [&] {
            return this->app->atGate() == 1 &&
                   f.reader->baseProtocol()->tagReportsParsed() >= filling &&
                   this->line().waitingTags() >= EventSequence::kTagCapacity;
        },
        kHangGuard));
    f.sim->setTags(makeSimTags(1000));
    f.sim->setInventoryOnce(false);
    f.sim->setInventoryRate(3000);
    constexpr int kInventories = 30;
    for (int run = 0; run < kInventories; ++run) {
        SCOPED_TRACE("inventory " + std::to_string(run));
        ASSERT_EQ(this->stop(), kOk);
        ASSERT_TRUE(
            waitUntil([&] { return f.reader->actionState() == ActionState::stop; }, kHangGuard));
        const uint64_t before = this->line().notTold();
        ASSERT_EQ(this->inventory(), kOk);
        ASSERT_TRUE(waitUntil([&] { return this->line().notTold() > before; }, kHangGuard));
    }
    ASSERT_EQ(this->stop(), kOk);
    ASSERT_TRUE(
        waitUntil([&] { return f.reader->actionState() == ActionState::stop; }, kHangGuard));
    EXPECT_EQ(this->records->slower.load(), kInventories + 1);
    this->app->release();
    this->expectTheSumOfTheRecords();
}

}  // namespace
}  // namespace orvane::test
