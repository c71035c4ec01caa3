#include "orvanerfid/core/Logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "orvanerfid/platform/Dispatch.h"

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

// A counting record the sink's own call writes (on its thread, under a hold, or in a block it
// queued) reaches the sink once that call has returned, or the block has run: never inside the
// sink's call, never lost; the fault record written beside it never reaches the sink.
TEST_F(LoggerTest, ACountingRecordWrittenInsideTheSinkReachesItOnceTheMarkEnds) {
    const auto writeBoth = [] {
        orvLogger::error("reaction");
        orvLogger::tally(LogLevel::warn, std::string_view("Line"), "counted 5");
    };
    struct Row {
        const char* name;
        std::function<void()> react;
    };
    const std::vector<Row> rows = {
        {"on the sink's thread", writeBoth},
        {"under a hold",
         [writeBoth] {
             const orvLogger::Hold hold;
             writeBoth();
         }},
        {"in a block the sink queued", [writeBoth] { DispatchQueue::global()->async(writeBoth); }},
    };
    class ReactingSink : public orvLoggerDelegate {
      public:
        // Nested: called again on a thread inside its own call. A block the sink queued may
        // deliver its record on its own thread while the call that queued it still runs.
        void logEvent(const LogEventArg& e) override {
            thread_local int depth = 0;
            if (depth++ > 0) nested = true;
            {
                std::lock_guard guard(lock);
                texts.push_back(e.log());
            }
            if (e.log() == "go") react();
            --depth;
        }
        std::vector<std::string> taken() {
            std::lock_guard guard(lock);
            return texts;
        }
        std::function<void()> react;
        std::atomic<bool> nested{false};
        std::mutex lock;
        std::vector<std::string> texts;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sink.reset();
        auto reacting = std::make_shared<ReactingSink>();
        reacting->react = row.react;
        ASSERT_TRUE(orvLogger::registerDelegateIfNone(reacting));
        orvLogger::info("go");
        const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (reacting->taken().size() < 2 && std::chrono::steady_clock::now() < guard)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(reacting->taken(), (std::vector<std::string>{"go", "counted 5"}));
        EXPECT_FALSE(reacting->nested.load());
    }
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
                orvLogger::info("T", "e");
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

// Set on a thread while it writes a record under a hold, as the library logs under its locks.
thread_local bool tWritingHeld = false;

// The application lets go of the sink while another thread writes a record under a hold: the
// sink never ends on that thread there, where its destructor would run under the library's lock
// (a reader that is the sink closes its link as it goes, and that link's lock may be the one
// held). Each write spends nearly all its time copying a long text, so most releases fall inside
// one; only those count as rounds.
TEST_F(LoggerTest, ASinkLetGoDuringAHeldRecordNeverEndsOnTheWritingThread) {
    class EndingSink : public orvLoggerDelegate {
      public:
        explicit EndingSink(std::atomic<int>& endedInside) : endedInside_(endedInside) {}
        ~EndingSink() override {
            if (tWritingHeld) ++endedInside_;
        }
        void logEvent(const LogEventArg&) override {}

      private:
        std::atomic<int>& endedInside_;
    };
    sink.reset();
    std::atomic<int> endedInside{0};
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> started{0};
    std::atomic<bool> writing{false};
    const std::string text(256 * 1024, 'x');
    std::thread writer([&] {
        while (!stop.load()) {
            const orvLogger::Hold hold;
            tWritingHeld = true;
            writing = true;
            ++started;
            orvLogger::trace("Writer", text);
            writing = false;
            tWritingHeld = false;
        }
    });
    // Stopped and joined on every way out.
    const std::shared_ptr<void> joins(nullptr, [&](void*) {
        stop = true;
        writer.join();
    });
    constexpr int kRounds = 100;
    int inside = 0;
    // A hang guard only.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (inside < kRounds && std::chrono::steady_clock::now() < end) {
        auto ending = std::make_shared<EndingSink>(endedInside);
        ASSERT_TRUE(orvLogger::registerDelegateIfNone(ending));
        // A write begun once the sink was there.
        const uint64_t before = started.load();
        while (started.load() == before)
            std::this_thread::yield();
        const uint64_t write = started.load();
        const bool during = writing.load();
        const std::weak_ptr<EndingSink> gone = ending;
        ending.reset();
        if (during && writing.load() && started.load() == write) ++inside;
        // The writer may still be handing it a record; the next sink comes once it has ended.
        while (!gone.expired())
            std::this_thread::yield();
    }
    EXPECT_EQ(inside, kRounds);
    EXPECT_EQ(endedInside.load(), 0);
}

// The number a record passed with a count says ("... (N like it left out)", or "... (N other
// faults left out)" for the kinds a full table shares), and its text without it.
std::pair<std::string, long> splitCount(const std::string& text) {
    for (const std::string end : {" like it left out)", " other faults left out)"}) {
        const auto open = text.rfind(" (");
        if (open == std::string::npos || text.size() < end.size() ||
            text.compare(text.size() - end.size(), end.size(), end) != 0) {
            continue;
        }
        return {text.substr(0, open), std::stol(text.substr(open + 2))};
    }
    return {text, 0};
}

// A word of letters only for `n` (texts that differ in their numbers are alike).
std::string word(std::size_t n) {
    std::string letters;
    do {
        letters += static_cast<char>('a' + n % 26);
        n /= 26;
    } while (n != 0);
    return letters;
}

// Identical and alike fault records written in a burst: each kind reaches the sink at most
// `kFaultsPerSecond` times for every second the burst lasted begun, and every record left out is
// counted by a later one of its kind; lower levels are never left out. The texts carry the burst's
// own word, so records of another test in the same process are never alike.
TEST_F(LoggerTest, ARepeatingFaultReachesTheSinkOnceASecondAndNothingGoesUncounted) {
    struct Row {
        const char* name;
        LogLevel level;
        std::function<std::string(int)> text;
        bool limited;
    };
    const std::vector<Row> rows = {
        {"identical errors", LogLevel::error, [](int) { return std::string("alpha failed"); },
         true},
        {"warnings alike save their numbers", LogLevel::warn,
         [](int i) { return "beta skipped " + std::to_string(i % 7 + 1) + " bytes"; }, true},
        {"fatal records", LogLevel::fatal, [](int) { return std::string("gamma"); }, true},
        {"info records", LogLevel::info, [](int) { return std::string("delta"); }, false},
    };
    constexpr int kWritten = 500;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sink->records.clear();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kWritten; ++i)
            orvLogger::triggerLogEvent(row.level, std::string_view("Burst"), row.text(i));
        const auto lasted = std::chrono::steady_clock::now() - start;
        if (!row.limited) {
            EXPECT_EQ(sink->records.size(), std::size_t{kWritten});
            continue;
        }
        const auto seconds = 1 + std::chrono::duration_cast<std::chrono::seconds>(lasted).count();
        EXPECT_LE(static_cast<long>(sink->records.size()), orvLogger::kFaultsPerSecond * seconds);
        // The burst's second ends; the next record of its kind says what was left out.
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        orvLogger::triggerLogEvent(row.level, std::string_view("Burst"), row.text(kWritten));
        long told = 0;
        for (const auto& record : sink->records) {
            EXPECT_EQ(record.level(), row.level);
            const auto [text, leftOut] = splitCount(record.log());
            EXPECT_EQ(text.substr(0, 4), row.text(0).substr(0, 4));
            told += 1 + leftOut;
        }
        EXPECT_EQ(told, kWritten + 1);
        EXPECT_GT(splitCount(sink->records.back().log()).second, 0);
    }
}

// A kind left out with no later record of its kind: its last record is handed on, with the
// count of the others, before the first record of any kind that reaches the sink after its
// second; a kind that left nothing out owes nothing.
TEST_F(LoggerTest, ACountWithNoLaterRecordOfItsKindComesWithTheNextRecord) {
    const int written = static_cast<int>(orvLogger::kFaultsPerSecond) + 2;
    std::vector<std::string> expected;
    for (int i = 0; i < written; ++i) {
        orvLogger::error("Late", "epsilon " + std::to_string(i));
        if (i < written - 2) expected.push_back("epsilon " + std::to_string(i));
    }
    orvLogger::error("Late", "zeta");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    orvLogger::info("eta");
    expected.insert(
        expected.end(),
        {"zeta", "epsilon " + std::to_string(written - 1) + " (1 like it left out)", "eta"});
    std::vector<std::string> texts;
    for (const auto& r : sink->records)
        texts.push_back(r.log());
    EXPECT_EQ(texts, expected);
}

// A record of one text written past the limit's count for its second, then one of another text:
// the other reaches the sink only when it is a different fault. Decimal numbers fold, so counts
// of bytes stay one fault; a hex code is part of the text, so a result code among others of
// another code is never taken for them. A burst that outlasts the limit's second proves nothing
// about it and is written again under a new word.
TEST_F(LoggerTest, RecordsOfDifferentCodesAreDifferentFaultsWhileDecimalNumbersFold) {
    struct Row {
        const char* name;
        std::string flood;
        std::string other;
        bool alike;
    };
    const std::vector<Row> rows = {
        {"result codes", "failed: 0x7000", "failed: 0x4002", false},
        {"frame bytes", "dropped frame: 0xA5 0x5A", "dropped frame: 0xA5 0x5B", false},
        {"one code in either case", "code 0x4A02", "code 0x4a02", true},
        {"byte counts", "skipped 9 bytes", "skipped 12 bytes", true},
        {"a count after a code", "0x7000 after 3 tries", "0x7000 after 25 tries", true},
        {"sizes", "a 10x20 grid", "a 30x40 grid", true},
    };
    std::size_t attempt = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (;;) {
            const std::string stem = "iota " + word(attempt++) + " ";
            sink->records.clear();
            const auto start = std::chrono::steady_clock::now();
            for (unsigned i = 0; i < orvLogger::kFaultsPerSecond + 5; ++i)
                orvLogger::error("Codes", stem + row.flood);
            orvLogger::error("Codes", stem + row.other);
            if (std::chrono::steady_clock::now() - start >= std::chrono::seconds(1)) continue;
            EXPECT_EQ(sink->records.size(), orvLogger::kFaultsPerSecond + (row.alike ? 0 : 1));
            const bool otherPassed = std::any_of(
                sink->records.begin(), sink->records.end(),
                [&](const LogEventArg& record) { return record.log() == stem + row.other; });
            EXPECT_EQ(otherPassed, !row.alike);
            break;
        }
    }
}

// The records whose numbers the application sums (written with `tally`) reach the sink each with
// its own number, at any pace and from any number of threads, alike as they are; nor do they
// take the place of alike fault records in the limit's second.
TEST_F(LoggerTest, ARecordTheApplicationCountsOnIsNeverLeftOutNorMerged) {
    class LockedSink : public orvLoggerDelegate {
      public:
        void logEvent(const LogEventArg& e) override {
            std::lock_guard guard(lock);
            records.push_back(e);
        }
        std::mutex lock;
        std::vector<LogEventArg> records;
    };
    sink.reset();
    auto locked = std::make_shared<LockedSink>();
    ASSERT_TRUE(orvLogger::registerDelegateIfNone(locked));
    constexpr int kThreads = 4;
    constexpr int kEach = 300;
    const auto text = [](int n) {
        return "kappa ended: " + std::to_string(n) + " tag reports were not told";
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&text, t] {
            for (int i = 0; i < kEach; ++i)
                orvLogger::tally(LogLevel::warn, std::string_view("Line"), text(t * kEach + i));
        });
    }
    for (auto& thread : threads)
        thread.join();
    // Every writer has ended: the records are read without the sink's lock.
    ASSERT_EQ(locked->records.size(), std::size_t{kThreads * kEach});
    long sum = 0;
    for (const auto& record : locked->records) {
        EXPECT_EQ(record.level(), LogLevel::warn);
        const auto [plain, leftOut] = splitCount(record.log());
        EXPECT_EQ(leftOut, 0) << record.log();
        sum += std::stol(plain.substr(std::string_view("kappa ended: ").size()));
    }
    const long written = kThreads * kEach;
    EXPECT_EQ(sum, written * (written - 1) / 2);
    // A fault alike those records, written as a fault, is the first of its kind.
    locked->records.clear();
    orvLogger::warn("Line", text(0));
    ASSERT_EQ(locked->records.size(), 1u);
    EXPECT_EQ(locked->records[0].log(), text(0));
}

// The limit's table filled with kinds within their second (more than it keeps), then one new
// text written hundreds of times: the new text reaches the sink no more than a kind's share for
// every second begun, and every record left out is counted by one that reaches the sink.
TEST_F(LoggerTest, TheLimitHoldsWithItsTableOfKindsFull) {
    constexpr int kKinds = 2000;
    constexpr int kRepeated = 300;
    const std::string repeated = "lambda repeated fault";
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kKinds; ++i)
        orvLogger::error("Full", "lambda kind " + word(static_cast<std::size_t>(i)));
    for (int i = 0; i < kRepeated; ++i)
        orvLogger::error("Full", repeated);
    const auto lasted = std::chrono::steady_clock::now() - start;
    const auto seconds = 1 + std::chrono::duration_cast<std::chrono::seconds>(lasted).count();
    long repeatedPassed = 0;
    for (const auto& record : sink->records)
        repeatedPassed += splitCount(record.log()).first == repeated ? 1 : 0;
    EXPECT_LE(repeatedPassed, orvLogger::kFaultsPerSecond * seconds);
    // The second ends; the next record that reaches the sink brings the counts still owed.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    orvLogger::info("Full", "lambda done");
    long told = 0;
    for (const auto& record : sink->records) {
        const auto [text, leftOut] = splitCount(record.log());
        if (text.starts_with("lambda ")) told += 1 + leftOut;
    }
    EXPECT_EQ(told, kKinds + kRepeated + 1);
}

}  // namespace
}  // namespace orvane
