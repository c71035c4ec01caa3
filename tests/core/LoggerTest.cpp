#include "orvanerfid/core/Logger.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace orvane {
namespace {

class RecordingSink : public orvLoggerDelegate {
  public:
    void logEvent(const LogEventArg& e) override { records.push_back(e); }
    std::vector<LogEventArg> records;
};

// Restores the process-wide logger settings after each test.
class LoggerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        orvLogger::setLevel(LogLevel::trace);
        orvLogger::setShowNSLog(false);
        sink = std::make_shared<RecordingSink>();
        ASSERT_TRUE(orvLogger::registerDelegateIfNone(sink));
    }
    void TearDown() override {
        sink.reset();
        orvLogger::setLevel(LogLevel::trace);
        orvLogger::setShowNSLog(true);
    }
    std::shared_ptr<RecordingSink> sink;
};

TEST_F(LoggerTest, HeldRecordsReachTheSinkInOrderWhenTheOutermostHoldEnds) {
    {
        const orvLogger::Hold outer;
        orvLogger::info("a");
        {
            const orvLogger::Hold inner;
            orvLogger::info("b");
        }
        EXPECT_TRUE(sink->records.empty());
        orvLogger::info("c");
    }
    std::vector<std::string> texts;
    for (const auto& r : sink->records)
        texts.push_back(r.log());
    EXPECT_EQ(texts, (std::vector<std::string>{"a", "b", "c"}));
}

// A sink that answers every record by logging (plainly and under a hold, as the library's calls
// do) gets each record written outside it once, and never its own; whether the records it gets
// were held or not.
TEST_F(LoggerTest, RecordsWrittenInsideTheSinkNeverReachIt) {
    class EchoingSink : public orvLoggerDelegate {
      public:
        void logEvent(const LogEventArg& e) override {
            texts.push_back(e.log());
            orvLogger::error("echo of " + e.log());
            const orvLogger::Hold hold;
            orvLogger::error("held echo of " + e.log());
        }
        std::vector<std::string> texts;
    };
    sink.reset();
    auto echoing = std::make_shared<EchoingSink>();
    ASSERT_TRUE(orvLogger::registerDelegateIfNone(echoing));
    orvLogger::error("a");
    {
        const orvLogger::Hold hold;
        orvLogger::error("b");
        orvLogger::error("c");
    }
    orvLogger::error("d");
    EXPECT_EQ(echoing->texts, (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST_F(LoggerTest, ThresholdFiltersBothConsoleAndSink) {
    orvLogger::setLevel(LogLevel::warn);
    orvLogger::debug("t", "d");
    orvLogger::info("t", "i");
    orvLogger::warn("t", "w");
    orvLogger::error("e");
    orvLogger::fatal("t", "f");
    ASSERT_EQ(sink->records.size(), 3u);
    EXPECT_EQ(sink->records[0].level(), LogLevel::warn);
    EXPECT_EQ(sink->records[1].tag(), std::nullopt);
    EXPECT_EQ(sink->records[2].log(), "f");
    EXPECT_FALSE(orvLogger::isEnabled(LogLevel::info));
    EXPECT_TRUE(orvLogger::isEnabled(LogLevel::fatal));
}

TEST_F(LoggerTest, SinkGetsWritersTextEvenWithConsoleOff) {
    orvLogger::triggerLogEvent(LogLevel::info, std::string_view("Tag"), "value %d %s");
    ASSERT_EQ(sink->records.size(), 1u);
    EXPECT_EQ(sink->records[0].tag(), std::optional<std::string>("Tag"));
    EXPECT_EQ(sink->records[0].log(), "value %d %s");
}

TEST_F(LoggerTest, ConsoleLineFormat) {
    // "yyyy-MM-dd HH:mm:ss.SSS": digits everywhere but the separators.
    const auto isStamp = [](const std::string& s) {
        const std::string shape = "dddd-dd-dd dd:dd:dd.ddd";
        for (std::size_t i = 0; i < shape.size(); ++i) {
            if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(s[i]))
                                : s[i] != shape[i]) {
                return false;
            }
        }
        return true;
    };
    const auto withTag = orvLogger::consoleLine(LogLevel::warn, std::string_view("Cls"), "x %d");
    ASSERT_GT(withTag.size(), 23u);
    EXPECT_TRUE(isStamp(withTag)) << withTag;
    EXPECT_EQ(withTag.substr(23), " [WARN] [Cls] x %d");
    EXPECT_EQ(orvLogger::consoleLine(LogLevel::trace, std::nullopt, "t").substr(23), " [TRACE] t");
    EXPECT_EQ(orvLogger::consoleLine(LogLevel::info, std::string_view(""), "t").substr(23),
              " [INFO] [] t");
}

TEST_F(LoggerTest, FirstLiveSinkStaysUntilItDies) {
    auto second = std::make_shared<RecordingSink>();
    EXPECT_FALSE(orvLogger::registerDelegateIfNone(second));
    orvLogger::info("x");
    EXPECT_EQ(sink->records.size(), 1u);
    EXPECT_TRUE(second->records.empty());

    sink.reset();  // the first sink is held weakly: once gone, the next one may register
    EXPECT_EQ(orvLogger::delegate(), nullptr);
    EXPECT_TRUE(orvLogger::registerDelegateIfNone(second));
    orvLogger::info("y");
    EXPECT_EQ(second->records.size(), 1u);
}

TEST_F(LoggerTest, ConcurrentWritersAndSettingChanges) {
    class CountingSink : public orvLoggerDelegate {
      public:
        void logEvent(const LogEventArg&) override { ++count; }
        std::atomic<int> count{0};
    };
    sink.reset();
    auto counting = std::make_shared<CountingSink>();
    ASSERT_TRUE(orvLogger::registerDelegateIfNone(counting));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i)
                orvLogger::error("T", "e");
        });
    }
    threads.emplace_back([] {
        for (int i = 0; i < 500; ++i)
            orvLogger::setShowNSLog(false);
    });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counting->count.load(), 2000);
}

}  // namespace
}  // namespace orvane
