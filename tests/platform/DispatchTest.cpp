#include "orvanerfid/platform/Dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace orvane {
namespace {

using test::waitUntil;

TEST(Dispatch, ConcurrentQueuesNeverStarveBlockingBlocks) {
    // Every block waits until all of them have started: only a pool that grows finishes.
    constexpr int kBlocks = 24;
    for (auto queue : {DispatchQueue::global(),
                       DispatchQueue::make("com.orvane.test.concurrent", DispatchQoS::background,
                                           DispatchQueueAttributes::concurrent)}) {
        std::atomic<int> started{0};
        std::atomic<int> finished{0};
        for (int i = 0; i < kBlocks; ++i) {
            queue->async([&] {
                ++started;
                waitUntil([&] { return started.load() == kBlocks; });
                ++finished;
            });
        }
        EXPECT_TRUE(waitUntil([&] { return finished.load() == kBlocks; })) << queue->label();
    }
}

// The threads of this process, from /proc (the pool exposes no count of its own).
std::size_t processThreads() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

TEST(Dispatch, ABurstOfBlockingBlocksRunsAtOnceAndItsIdleThreadsEnd) {
    // Clock time runs 20 times faster: the pool's five idle seconds last a quarter of a second.
    Clock::setSpeed(20.0);
    const std::size_t before = processThreads();
    constexpr int kBlocks = 150;
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    for (int i = 0; i < kBlocks; ++i) {
        DispatchQueue::global()->async([&] {
            ++started;
            // Each block waits for a reply that only the last one to start brings.
            waitUntil([&] { return started.load() == kBlocks; });
            ++finished;
        });
    }
    EXPECT_TRUE(waitUntil([&] { return finished.load() == kBlocks; }));
    EXPECT_GE(processThreads(), before + kBlocks / 2);
    // A sanitizer's runtime may start a helper thread of its own on the way.
    EXPECT_TRUE(waitUntil([&] { return processThreads() <= before + 2; }))
        << processThreads() << " threads, " << before << " before the burst";
    // An ended pool starts again on the next block.
    std::atomic<bool> ran{false};
    DispatchQueue::global()->async([&] { ran = true; });
    EXPECT_TRUE(waitUntil([&] { return ran.load(); }));
    Clock::setSpeed(1.0);
}

TEST(Dispatch, SerialAndMainQueuesRunOneBlockAtATimeInOrder) {
    for (auto queue : {DispatchQueue::make("com.orvane.test.serial", DispatchQoS::utility,
                                           DispatchQueueAttributes::serial),
                       DispatchQueue::main()}) {
        std::mutex lock;
        std::vector<int> order;
        std::set<std::thread::id> threads;
        std::atomic<int> running{0};
        std::atomic<int> overlaps{0};
        for (int i = 0; i < 50; ++i) {
            queue->async([&, i] {
                if (++running > 1) ++overlaps;
                {
                    std::lock_guard guard(lock);
                    order.push_back(i);
                    threads.insert(std::this_thread::get_id());
                }
                --running;
            });
        }
        ASSERT_TRUE(waitUntil([&] {
            std::lock_guard guard(lock);
            return order.size() == 50;
        }));
        EXPECT_EQ(overlaps.load(), 0);
        for (int i = 0; i < 50; ++i) {
            EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
        }
        EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
        if (queue == DispatchQueue::main()) {
            EXPECT_EQ(threads.size(), 1u);
        }
    }
}

TEST(Dispatch, AThrowingBlockDoesNotStopTheQueue) {
    auto queue = DispatchQueue::make("com.orvane.test.throwing", DispatchQoS::default_,
                                     DispatchQueueAttributes::serial);
    auto capture = test::LogCapture::install();
    std::atomic<bool> ran{false};
    queue->async([] { throw std::runtime_error("boom"); });
    queue->async([&] { ran = true; });
    EXPECT_TRUE(waitUntil([&] { return ran.load(); }));
}

// The log sink, on a record that starts it, queues blocks on every kind of queue (and one of
// them queues another block in turn) and a work item; each writes a record. What the blocks
// write reaches the console only, on whichever thread they run; the work item's record, and a
// block queued after the sink has returned, reach the sink.
TEST(Dispatch, BlocksQueuedInsideTheLogSinkWriteToTheConsoleOnly) {
    class QueuingSink : public orvLoggerDelegate {
      public:
        void logEvent(const LogEventArg& record) override {
            {
                std::lock_guard guard(lock);
                texts.push_back(record.log());
            }
            if (record.log() != "start") return;
            const auto write = [this](std::string text) {
                return [this, text] {
                    orvLogger::info("Blocks", text);
                    ++ran;
                };
            };
            DispatchQueue::global()->async(write("global"));
            serial->async(write("serial"));
            DispatchQueue::main()->async(write("main"));
            DispatchQueue::global(DispatchQoS::background)->async([this, write] {
                DispatchQueue::global()->async(write("nested"));
                ++ran;
            });
            DispatchQueue::global()->async(std::make_shared<DispatchWorkItem>(
                [write](const DispatchWorkItem&) { write("work item")(); }));
        }
        std::vector<std::string> seen() {
            std::lock_guard guard(lock);
            return texts;
        }
        std::shared_ptr<DispatchQueue> serial = DispatchQueue::make(
            "com.orvane.test.sinkSerial", DispatchQoS::utility, DispatchQueueAttributes::serial);
        std::atomic<int> ran{0};
        std::mutex lock;
        std::vector<std::string> texts;
    };
    orvLogger::setShowNSLog(false);
    auto sink = std::make_shared<QueuingSink>();
    ASSERT_TRUE(orvLogger::registerDelegateIfNone(sink));
    orvLogger::info("Blocks", "start");
    ASSERT_TRUE(waitUntil([&] { return sink->ran.load() == 6; }));
    DispatchQueue::global()->async([] { orvLogger::info("Blocks", "after"); });
    EXPECT_TRUE(waitUntil([&] { return sink->seen().size() >= 3; }));
    auto seen = sink->seen();
    std::sort(seen.begin() + 1, seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"start", "after", "work item"}));
    orvLogger::setShowNSLog(true);
}

TEST(DispatchWorkItem, CancelledBeforeItStartsNeverRuns) {
    std::atomic<int> runs{0};
    auto item = std::make_shared<DispatchWorkItem>([&](const DispatchWorkItem&) { ++runs; });
    item->cancel();
    EXPECT_TRUE(item->isFinished());
    EXPECT_TRUE(item->wait(std::chrono::milliseconds(0)));
    DispatchQueue::global()->async(item);
    item->perform();
    EXPECT_EQ(runs.load(), 0);
}

TEST(DispatchWorkItem, RunsOnceAndEndsALoopThatTestsItsOwnItem) {
    std::atomic<int> starts{0};
    std::atomic<int> turns{0};
    auto item = std::make_shared<DispatchWorkItem>([&](const DispatchWorkItem& self) {
        ++starts;
        while (!self.isCancelled()) {
            ++turns;
            Clock::sleepForMs(1);
        }
    });
    auto queue = DispatchQueue::global(DispatchQoS::background);
    queue->async(item);
    queue->async(item);
    ASSERT_TRUE(waitUntil([&] { return turns.load() > 0; }));
    EXPECT_FALSE(item->wait(std::chrono::milliseconds(5)));
    item->cancel();
    EXPECT_TRUE(item->wait(std::chrono::seconds(5)));
    EXPECT_EQ(starts.load(), 1);
}

TEST(DispatchWorkItem, WaitFromItsOwnThreadReturnsAtOnce) {
    std::atomic<int> result{-1};
    auto item = std::make_shared<DispatchWorkItem>([&](const DispatchWorkItem& self) {
        result = self.wait(std::chrono::seconds(30)) ? 1 : 0;
    });
    DispatchQueue::global()->async(item);
    ASSERT_TRUE(item->wait(std::chrono::seconds(5)));
    EXPECT_EQ(result.load(), 0);
}

// A burst of blocks that each wait for the last of them to start, more than the pool's bound:
// the pool grows past the bound (slowly), so every one of them ends. Then, with clock time
// nearly stopped (so the pool cannot grow past its bound meanwhile), blocks held by a gate:
// the pool starts no more threads than its bound, the rest wait, and all of them end once the
// gate opens.
TEST(Dispatch, TheGlobalPoolIsBoundedAndItsWaitsStillEnd) {
    constexpr int kBound = static_cast<int>(DispatchQueue::kPoolThreads);
    const std::size_t baseline = processThreads();
    {
        Clock::setSpeed(20.0);
        constexpr int kBlocks = kBound + 10;
        std::atomic<int> started{0};
        std::atomic<int> finished{0};
        for (int i = 0; i < kBlocks; ++i) {
            DispatchQueue::global()->async([&] {
                ++started;
                waitUntil([&] { return started.load() == kBlocks; },
                          std::chrono::milliseconds(120000));
                ++finished;
            });
        }
        EXPECT_TRUE(waitUntil([&] { return finished.load() == kBlocks; },
                              std::chrono::milliseconds(120000)))
            << started.load() << " started";
        // Its threads end after five idle seconds of clock time, a quarter of a second here.
        EXPECT_TRUE(waitUntil([&] { return processThreads() <= baseline + 2; }));
    }
    {
        Clock::setSpeed(0.001);
        const std::size_t before = processThreads();
        constexpr int kBlocks = kBound + 40;
        std::atomic<int> started{0};
        std::atomic<int> finished{0};
        std::atomic<bool> open{false};
        for (int i = 0; i < kBlocks; ++i) {
            DispatchQueue::global()->async([&] {
                ++started;
                waitUntil([&] { return open.load(); }, std::chrono::milliseconds(120000));
                ++finished;
            });
        }
        ASSERT_TRUE(
            waitUntil([&] { return started.load() >= kBound; }, std::chrono::milliseconds(120000)));
        EXPECT_EQ(started.load(), kBound);
        // The pool's threads, its watcher, and a sanitizer's helper.
        EXPECT_LE(processThreads(), before + kBound + 2);
        open = true;
        EXPECT_TRUE(waitUntil([&] { return finished.load() == kBlocks; },
                              std::chrono::milliseconds(120000)));
        Clock::setSpeed(1.0);
    }
}

}  // namespace
}  // namespace orvane
