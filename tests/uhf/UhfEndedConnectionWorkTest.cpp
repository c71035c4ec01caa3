// Work of a connection that has ended (an operation whose exchange the end cut off) never ends
// the connection made after it.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"

namespace orvane::test {
namespace {

// The reader's delegate and log sink: once armed, keeps the thread that writes the first record
// for which the armed test holds until the gate opens.
class HoldingSink : public ReaderSink {
  public:
    explicit HoldingSink(std::shared_ptr<CallLog> log) : ReaderSink(std::move(log)) {}
    void arm(std::function<bool(const LogEventArg&)> when) {
        std::lock_guard guard(lock_);
        gate.close();
        when_ = std::move(when);
    }
    void logEvent(const LogEventArg& record) override {
        ReaderSink::logEvent(record);
        {
            std::lock_guard guard(lock_);
            if (!when_ || !when_(record)) return;
            when_ = nullptr;
        }
        gate.pass();
    }
    Gate gate;

  private:
    std::mutex lock_;
    std::function<bool(const LogEventArg&)> when_;
};

template <class Model>
class UhfEndedConnectionWorkTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }
    void TearDown() override {
        sink->gate.open();
        f.sim->holdFrames(nullptr);
        f.reader->setReaderDelegate(f.sink);
    }

    ModelReader<Model> f{Model::makeSim()};
    std::shared_ptr<HoldingSink> sink = std::make_shared<HoldingSink>(f.calls);
};

using Models = ::testing::Types<Vk210UhfModel, Vk640Model>;
TYPED_TEST_SUITE(UhfEndedConnectionWorkTest, Models, ModelName);

// getPower() waits for its reply (held by the simulator) when disconnect() ends the connection;
// its failure is the one that reaches the reader's failure limit, which would end the link. The
// operation's thread is kept inside its failure record until the reader has connected again:
// then the failure ends nothing, and the new connection stands.
TYPED_TEST(UhfEndedConnectionWorkTest, AFailureOfAnEndedConnectionLeavesTheNextStanding) {
    auto& f = this->f;
    f.reader->setReaderDelegate(this->sink);
    // Only the test's operations reach the reader: the keep-alive is off.
    f.reader->setCheckInterval(0);
    ASSERT_TRUE(f.connected());
    const auto uhf = f.reader->uhf();
    ASSERT_TRUE(uhf);
    // The next failure counted reaches the limit.
    while (f.reader->failCount() < BaseReader::kFailureLimit - 1)
        f.reader->addFailure();
    this->sink->arm([](const LogEventArg& record) {
        return record.level() == LogLevel::error &&
               record.log().find("getPower") != std::string::npos;
    });
    f.sim->holdFrames([](ByteView) { return true; });
    auto code = std::make_shared<std::atomic<int>>(-1);
    uhf->getPower([code](ResultCode c, std::optional<int>) { *code = rawValue(c); });
    ASSERT_TRUE(waitUntil([&] { return f.sim->heldFrames() == 1; }));
    f.sim->holdFrames(nullptr);
    ASSERT_TRUE(f.reader->disconnect());
    ASSERT_TRUE(waitUntil([&] { return this->sink->gate.waiting() == 1; }));
    ASSERT_TRUE(f.connected());
    const auto link = f.reader->baseTransport()->linkNumber();
    this->sink->gate.open();
    // The answer comes after the failure has been dealt with.
    ASSERT_TRUE(waitUntil([&] { return code->load() >= 0; }));
    EXPECT_EQ(code->load(), rawValue(ResultCode::connectFailed));
    EXPECT_EQ(f.reader->baseTransport()->connectState(), ConnectState::connected);
    EXPECT_EQ(f.reader->baseTransport()->linkNumber(), link);
    EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
    EXPECT_EQ(answerOf<int>([&](auto done) { uhf->getPower(done); }).first, ResultCode::noError);
}

// The same for the keep-alive: its alive exchange waits for the reply (held by the simulator)
// when disconnect() ends the connection, and its thread is kept inside the exchange's last
// record until the reader has connected again and failed three exchanges there; the stale
// failure, the fourth, ends nothing.
TEST(UhfEndedKeepAliveTest, AnAliveFailureOfAnEndedConnectionLeavesTheNextStanding) {
    const ConsoleOff console;
    ModelReader<Vk210UhfModel> f{Vk210UhfModel::makeSim()};
    auto sink = std::make_shared<HoldingSink>(f.calls);
    f.reader->setReaderDelegate(sink);
    ASSERT_TRUE(f.connected());
    sink->arm([](const LogEventArg& record) {
        return record.log().find("--- send(data:timeout:number:) Disconnected") !=
               std::string::npos;
    });
    f.sim->holdFrames([](ByteView) { return true; });
    ASSERT_TRUE(waitUntil([&] { return f.sim->heldFrames() >= 1; }));
    f.sim->holdFrames(nullptr);
    ASSERT_TRUE(f.reader->disconnect());
    ASSERT_TRUE(waitUntil([&] { return sink->gate.waiting() == 1; }));
    // The next connection asks no alive exchange of its own, and has failed three.
    f.reader->setCheckInterval(0);
    ASSERT_TRUE(f.connected());
    while (f.reader->failCount() < BaseReader::kFailureLimit - 1)
        f.reader->addFailure();
    const auto link = f.reader->baseTransport()->linkNumber();
    const auto failures = [&] {
        std::lock_guard guard(sink->logLock);
        return std::count_if(sink->logs.begin(), sink->logs.end(), [](const std::string& log) {
            return log.find("Failed to trigger alive") != std::string::npos;
        });
    };
    const auto failed = failures();
    sink->gate.open();
    ASSERT_TRUE(waitUntil([&] { return failures() > failed; })) << failed;
    EXPECT_EQ(f.reader->baseTransport()->connectState(), ConnectState::connected);
    EXPECT_EQ(f.reader->baseTransport()->linkNumber(), link);
    EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
    f.reader->setReaderDelegate(f.sink);
}

}  // namespace
}  // namespace orvane::test
