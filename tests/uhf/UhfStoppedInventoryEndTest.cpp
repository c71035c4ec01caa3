// A Vk210 reports its inventory's end in a frame after the stop's reply. The operations called
// after the stop wait for that end: an asynchronous call never on its caller's thread, and an end
// that never comes is said once in the log.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "orvanerfid/uhf/BaseUhf.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"
#include "reader/ReaderFixture.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;
constexpr auto kHangGuard = std::chrono::seconds(60);

// The frame in which a Vk210 reports an inventory's end.
bool endsInventory(ByteView frame) {
    return frame.size() > 4 && readBe16(frame, 3) == rawValue(OrvRfidCmdId::inventoryStatus);
}

// The answer of one asynchronous call, taken on whichever thread gives it.
struct Answer {
    std::atomic<int> code{-1};
    auto completion() {
        return [this](ResultCode c, std::optional<int>) { code = static_cast<int>(rawValue(c)); };
    }
    bool given() const { return code.load() >= 0; }
    ResultCode value() const { return static_cast<ResultCode>(code.load()); }
};

class UhfStoppedInventoryEndTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }
    void SetUp() override {
        // Only the test's operations reach the reader: the keep-alive is off.
        f.reader->setCheckInterval(0);
        ASSERT_TRUE(f.connected());
        uhf = f.reader->uhf();
        ASSERT_TRUE(uhf);
    }
    void TearDown() override {
        f.sim->holdFrames(nullptr);
        f.sim->releaseHeldFrames();
    }
    // An inventory stopped, the stop answered and the reader's end of it held by the simulator.
    void stopWithTheEndHeld() {
        f.sim->holdFrames(endsInventory);
        EXPECT_EQ(codeOf([&](auto done) { uhf->inventory(done); }), kOk);
        EXPECT_EQ(codeOf([&](auto done) { uhf->stop(done); }), kOk);
        ASSERT_TRUE(waitUntil([&] { return f.sim->heldFrames() == 1; }, kHangGuard));
        ASSERT_EQ(f.reader->actionState(), ActionState::inventory);
    }
    int recordsWith(const std::string& part) {
        std::lock_guard guard(f.sink->logLock);
        return static_cast<int>(std::count_if(
            f.sink->logs.begin(), f.sink->logs.end(),
            [&](const std::string& log) { return log.find(part) != std::string::npos; }));
    }

    ModelReader<Vk210UhfModel> f{[] {
        auto sim = Vk210UhfModel::makeSim();
        sim->setTags(makeSimTags(4));
        return sim;
    }()};
    std::shared_ptr<BaseUhf> uhf;
};

// getPower() called while the end is held returns before the end comes (the simulator still
// holds it, so nothing has answered the call yet), and is answered once the end is let go.
// The driver's timeout is far above the test's pace, so the wait is never given up here.
TEST_F(UhfStoppedInventoryEndTest, AnAsynchronousCallAfterTheStopReturnsBeforeTheEnd) {
    uhf->uhfModule()->setTimeout(60000);
    stopWithTheEndHeld();
    Answer answer;
    uhf->getPower(answer.completion());
    EXPECT_EQ(f.sim->heldFrames(), 1U);
    EXPECT_FALSE(answer.given());
    f.sim->holdFrames(nullptr);
    f.sim->releaseHeldFrames();
    ASSERT_TRUE(waitUntil([&] { return answer.given(); }, kHangGuard));
    EXPECT_EQ(answer.value(), kOk);
    EXPECT_EQ(f.reader->actionState(), ActionState::stop);
}

// Settings made one after another while the end is held take effect in the order they were
// made: each waits behind the one called before it, not on a thread of its own, so the last one
// made is the one that stands.
TEST_F(UhfStoppedInventoryEndTest, CallsAfterTheStopKeepTheirOrder) {
    uhf->uhfModule()->setTimeout(60000);
    stopWithTheEndHeld();
    constexpr int kCalls = 12;
    constexpr int kFirstPower = 10;
    std::atomic<int> answered{0};
    std::atomic<int> failed{0};
    for (int call = 0; call < kCalls; ++call) {
        uhf->setPower(kFirstPower + call, [&](ResultCode code) {
            if (code != kOk) ++failed;
            ++answered;
        });
    }
    EXPECT_EQ(f.sim->heldFrames(), 1U);
    EXPECT_EQ(answered.load(), 0);
    f.sim->holdFrames(nullptr);
    f.sim->releaseHeldFrames();
    ASSERT_TRUE(waitUntil([&] { return answered.load() == kCalls; }, kHangGuard));
    EXPECT_EQ(failed.load(), 0);
    const auto power = answerOf<int>([&](auto done) { uhf->getPower(done); });
    EXPECT_EQ(power.first, kOk);
    EXPECT_EQ(power.second, kFirstPower + kCalls - 1);
}

// An end that never comes: the first operation after the stop gives up after the driver's
// timeout and one WARN record says so; the operations are refused (0x4002) while the reader
// stays in its inventory, without another record, and work again once the end comes.
TEST_F(UhfStoppedInventoryEndTest, AnEndThatNeverComesIsSaidOnce) {
    const std::string missing = "did not report the end of the stopped inventory";
    stopWithTheEndHeld();
    for (int call = 0; call < 3; ++call) {
        SCOPED_TRACE(call);
        const auto answered = answerOf<int>([&](auto done) { uhf->getPower(done); });
        EXPECT_EQ(answered.first, ResultCode::inOperation);
        EXPECT_EQ(recordsWith(missing), 1);
    }
    EXPECT_EQ(f.sim->heldFrames(), 1U);
    f.sim->holdFrames(nullptr);
    f.sim->releaseHeldFrames();
    ASSERT_TRUE(
        waitUntil([&] { return f.reader->actionState() == ActionState::stop; }, kHangGuard));
    EXPECT_EQ(answerOf<int>([&](auto done) { uhf->getPower(done); }).first, kOk);
    EXPECT_EQ(recordsWith(missing), 1);
}

}  // namespace
}  // namespace orvane::test
