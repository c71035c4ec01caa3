// A log sink that calls the library on every ERROR record it gets, on whatever thread: the work
// its calls start never feeds it, whether the reader answers with bad statuses or its link is
// gone, and the reader answers afterwards.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"

namespace orvane::test {
namespace {

// The models with a bad status their reader can answer every request with, and a word for the
// model in the record that starts the sink (records alike save their numbers count as one fault).
struct Vk210Sink : Vk210UhfModel {
    static constexpr uint16_t kBadStatus = 0x01;
    static constexpr const char* kWord = "small";
};
struct Vk640Sink : Vk640Model {
    static constexpr uint16_t kBadStatus = 0xFFFF;
    static constexpr const char* kWord = "large";
};

// Reacts to every ERROR record with a UHF call, and counts the calls and their answers. It stops
// reacting after `kRunaway` calls, so that a sink that feeds itself ends and is seen.
class FeedingSink : public ReaderSink {
  public:
    static constexpr int kRunaway = 60;
    using Reaction = std::function<void(BaseUhf&, std::function<void()> answered)>;

    FeedingSink(std::weak_ptr<UhfReader> reader, Reaction reaction)
        : ReaderSink(std::make_shared<CallLog>()),
          reader_(std::move(reader)),
          reaction_(std::move(reaction)) {}

    void logEvent(const LogEventArg& record) override {
        if (record.level() != LogLevel::error) return;
        if (calls.load() >= kRunaway) return;
        const auto reader = reader_.lock();
        const auto uhf = reader ? reader->uhf() : nullptr;
        if (!uhf) return;
        ++calls;
        reaction_(*uhf, [answers = answers_] { ++*answers; });
    }
    int answers() const { return answers_->load(); }
    // Every call the sink made has been answered.
    bool settled() const { return calls.load() > 0 && answers() == calls.load(); }

    std::atomic<int> calls{0};

  private:
    const std::weak_ptr<UhfReader> reader_;
    const Reaction reaction_;
    // Shared with the completions, which may run after the sink is gone.
    const std::shared_ptr<std::atomic<int>> answers_ = std::make_shared<std::atomic<int>>(0);
};

template <class Model>
class UhfSinkTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }
    void SetUp() override {
        ASSERT_TRUE(f.connected());
        // Only the test's operations reach the reader: the keep-alive is off.
        f.reader->setCheckInterval(0);
        BaseReader::setLogLevel(LogLevel::info);
    }
    void TearDown() override { f.reader->setReaderDelegate(f.sink); }

    ResultCode getPower() {
        return answerOf<int>([&](auto done) { f.reader->uhf()->getPower(done); }).first;
    }

    ModelReader<Model> f{Model::makeSim()};
};

using Models = ::testing::Types<Vk210Sink, Vk640Sink>;
TYPED_TEST_SUITE(UhfSinkTest, Models, ModelName);

// The sink is started by one ERROR record of the application's own and reacts with stop() or
// getPower(): first while the reader answers every request with a bad status, then once its link
// is gone (every call fails at once). Once every call the sink made has been answered, it was
// called a few times, and the reader answers a getPower (after the faults end, or a reconnect).
TYPED_TEST(UhfSinkTest, ASinkThatCallsTheReaderOnEveryErrorIsCalledAFewTimes) {
    auto& f = this->f;
    struct Row {
        const char* name;
        bool linkGone;
        FeedingSink::Reaction reaction;
    };
    const FeedingSink::Reaction stops = [](BaseUhf& uhf, std::function<void()> answered) {
        uhf.stop([answered](ResultCode) { answered(); });
    };
    const FeedingSink::Reaction getsPower = [](BaseUhf& uhf, std::function<void()> answered) {
        uhf.getPower([answered](ResultCode, std::optional<int>) { answered(); });
    };
    const std::vector<Row> rows = {
        {"stop, bad statuses", false, stops},
        {"getPower, bad statuses", false, getsPower},
        {"stop, link gone", true, stops},
        {"getPower, link gone", true, getsPower},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.linkGone) {
            f.reader->disconnect();
            ASSERT_TRUE(
                waitUntil([&] { return f.reader->connectState() == ConnectState::disconnected; }));
        } else {
            f.sim->setReplyFaults(SimReplyFaults{{}, TypeParam::kBadStatus, -1});
        }
        auto sink = std::make_shared<FeedingSink>(f.reader, row.reaction);
        f.reader->setReaderDelegate(sink);
        orvLogger::error("UhfSinkTest", std::string("Starting the sink of the ") +
                                            TypeParam::kWord + " model: " + row.name);
        // A sink fed by its own calls makes `kRunaway` calls, then ends too.
        EXPECT_TRUE(waitUntil([&] { return sink->settled(); }, std::chrono::seconds(60)))
            << sink->calls.load() << " calls, " << sink->answers() << " answered";
        f.reader->setReaderDelegate(f.sink);
        EXPECT_LE(sink->calls.load(), 3);

        if (row.linkGone) {
            ASSERT_TRUE(f.connected());
            f.reader->setCheckInterval(0);
        } else {
            f.sim->setReplyFaults(SimReplyFaults{{}, std::nullopt, 0});
        }
        EXPECT_EQ(this->getPower(), ResultCode::noError);
    }
}

// Starts an inventory from inside the sink, once; writes an ERROR of its own when the delegate
// hears the inventory's start. That start is told by the reader's event line, which the sink's
// call woke: the record of the delegate's must reach the sink as any other.
class InventoryFromTheSink : public ReaderSink {
  public:
    explicit InventoryFromTheSink(std::weak_ptr<UhfReader> reader)
        : ReaderSink(std::make_shared<CallLog>()), reader_(std::move(reader)) {}

    void logEvent(const LogEventArg& record) override {
        if (record.log().find(kHeard) != std::string::npos) heard = true;
        if (record.log().find(kStart) == std::string::npos || started.exchange(true)) return;
        if (const auto reader = reader_.lock()) reader->uhf()->inventory([](ResultCode) {});
    }
    void actionStateEvent(ActionState state) override {
        if (state == ActionState::inventory) {
            orvLogger::error("UhfSinkTest", kHeard);
            told = true;
        }
    }

    static constexpr const char* kStart = "Start the inventory from the sink";
    static constexpr const char* kHeard = "The delegate heard the inventory start";
    std::atomic<bool> started{false};
    std::atomic<bool> told{false};
    std::atomic<bool> heard{false};

  private:
    const std::weak_ptr<UhfReader> reader_;
};

// The inventory a sink's call starts is told to the delegate outside the sink: the delegate's
// records reach the sink.
TYPED_TEST(UhfSinkTest, ARecordOfADelegateTheSinksCallWokeReachesTheSink) {
    auto& f = this->f;
    auto sink = std::make_shared<InventoryFromTheSink>(f.reader);
    f.reader->setReaderDelegate(sink);
    orvLogger::error("UhfSinkTest", InventoryFromTheSink::kStart);
    ASSERT_TRUE(waitUntil([&] { return sink->told.load(); }, std::chrono::seconds(60)));
    // The delegate's record was handed to the sink inside its call, on the teller's thread.
    EXPECT_TRUE(sink->heard.load());
    EXPECT_EQ(codeOf([&](auto done) { f.reader->uhf()->stop(done); }), ResultCode::noError);
    f.reader->setReaderDelegate(f.sink);
}

}  // namespace
}  // namespace orvane::test
