#include "orvanerfid/platform/Dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace orvane {
namespace {

using test::processThreads;
using test::waitUntil;

// Blocks held on one gate, asleep; each counts its start and end.
struct GatedBlocks {
    GatedBlocks() { gate.close(); }
    // The held blocks end, and blocks that reach the gate from now on pass.
    void open() { gate.open(); }

    test::Gate gate;
    std::atomic<int> started{0};
    std::atomic<int> finished{0};

    static std::function<void()> block(const std::shared_ptr<GatedBlocks>& blocks) {
        return [blocks] {
            ++blocks->started;
            blocks->gate.pass(std::chrono::milliseconds(120000));
            ++blocks->finished;
        };
    }
};

TEST(Dispatch, ConcurrentQueuesNeverStarveBlockingBlocks) {
    // Every block waits until all of them have started: only a pool that grows finishes.
    constexpr int kBlocks = 24;
    for (auto queue : {DispatchQueue::global(),
                       DispatchQueue::make("com.orvane.test.concurrent", DispatchQoS::background,
                                           DispatchQueueAttributes::concurrent)}) {
        auto started = std::make_shared<test::Count>();
        auto finished = std::make_shared<std::atomic<int>>(0);
        for (int i = 0; i < kBlocks; ++i) {
            queue->async([started, finished] {
                started->add();
                started->waitFor(kBlocks, std::chrono::milliseconds(60000));
                ++*finished;
            });
        }
        EXPECT_TRUE(waitUntil([&] { return finished->load() == kBlocks; })) << queue->label();
    }
}

TEST(Dispatch, ABurstOfBlockingBlocksRunsAtOnceAndItsIdleThreadsEnd) {
    // Clock time runs 20 times faster: the pool's five idle seconds last a quarter of a second.
    Clock::setSpeed(20.0);
    const std::size_t before = processThreads();
    constexpr int kBlocks = 150;
    auto started = std::make_shared<test::Count>();
    auto finished = std::make_shared<std::atomic<int>>(0);
    for (int i = 0; i < kBlocks; ++i) {
        DispatchQueue::global()->async([started, finished] {
            started->add();
            // Each block waits for a reply that only the last one to start brings.
            started->waitFor(kBlocks, std::chrono::milliseconds(60000));
            ++*finished;
        });
    }
    EXPECT_TRUE(waitUntil([&] { return finished->load() == kBlocks; }));
    EXPECT_GE(processThreads(), before + kBlocks / 2);
    // The pool's watcher stays, and a sanitizer's runtime may start a helper thread of its own.
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
    const test::ConsoleOff console;
    auto sink = std::make_shared<QueuingSink>();
    ASSERT_TRUE(orvLogger::registerDelegateIfNone(sink));
    orvLogger::info("Blocks", "start");
    ASSERT_TRUE(waitUntil([&] { return sink->ran.load() == 6; }));
    DispatchQueue::global()->async([] { orvLogger::info("Blocks", "after"); });
    EXPECT_TRUE(waitUntil([&] { return sink->seen().size() >= 3; }));
    auto seen = sink->seen();
    std::sort(seen.begin() + 1, seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"start", "after", "work item"}));
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
        auto started = std::make_shared<test::Count>();
        auto finished = std::make_shared<std::atomic<int>>(0);
        for (int i = 0; i < kBlocks; ++i) {
            DispatchQueue::global()->async([started, finished] {
                started->add();
                started->waitFor(kBlocks, std::chrono::milliseconds(120000));
                ++*finished;
            });
        }
        EXPECT_TRUE(waitUntil([&] { return finished->load() == kBlocks; },
                              std::chrono::milliseconds(120000)))
            << started->value() << " started";
        // Its threads end after five idle seconds of clock time, a quarter of a second here (but
        // its watcher, and a sanitizer's helper).
        EXPECT_TRUE(waitUntil([&] { return processThreads() <= baseline + 2; }));
    }
    {
        Clock::setSpeed(0.001);
        const std::size_t before = processThreads();
        constexpr int kBlocks = kBound + 40;
        auto held = std::make_shared<GatedBlocks>();
        // Whatever fails: the blocks end.
        struct Release {
            std::shared_ptr<GatedBlocks> held;
            ~Release() { held->open(); }
        } release{held};
        for (int i = 0; i < kBlocks; ++i) {
            DispatchQueue::global()->async(GatedBlocks::block(held));
        }
        ASSERT_TRUE(waitUntil([&] { return held->started.load() >= kBound; },
                              std::chrono::milliseconds(120000)));
        EXPECT_EQ(held->started.load(), kBound);
        // The pool's threads, its watcher, and a sanitizer's helper.
        EXPECT_LE(processThreads(), before + kBound + 2);
        held->open();
        EXPECT_TRUE(waitUntil([&] { return held->finished.load() == kBlocks; },
                              std::chrono::milliseconds(120000)));
        Clock::setSpeed(1.0);
    }
}

// A pause for a pool's watcher that the test steps: the watcher's n-th look waits until n looks
// are granted (or the pause runs free), and `entered` tells the test that the look before it
// has ended.
struct SteppedPause {
    std::atomic<int> granted{0};
    std::atomic<int> entered{0};
    std::atomic<bool> freeRun{false};

    static std::function<void()> hook(const std::shared_ptr<SteppedPause>& pause) {
        return [pause] {
            const int look = ++pause->entered;
            waitUntil([&] { return pause->freeRun.load() || pause->granted.load() >= look; },
                      std::chrono::milliseconds(120000));
        };
    }
};

// The bound's worth of pooled blocks held on a gate, one more waiting behind them, and the
// global pool kept from growing (its watcher's pause held): the library's own work, in every
// form it is queued, still starts at once, the first ahead of the waiting pooled block.
TEST(Dispatch, LibraryWorkStartsAtOnceWhilePooledWorkFillsTheBound) {
    constexpr int kBound = static_cast<int>(DispatchQueue::kPoolThreads);
    auto pause = std::make_shared<SteppedPause>();
    DispatchQueue::setGlobalPoolPause(SteppedPause::hook(pause));
    auto pooled = std::make_shared<GatedBlocks>();
    for (int i = 0; i < kBound + 1; ++i) {
        DispatchQueue::global()->async(GatedBlocks::block(pooled));
    }
    // Whatever fails: the pool grows again and the blocks end.
    struct Release {
        std::shared_ptr<SteppedPause> pause;
        std::shared_ptr<GatedBlocks> pooled;
        ~Release() {
            pause->freeRun = true;
            pooled->open();
            EXPECT_TRUE(waitUntil([&] { return pooled->finished.load() == pooled->started.load(); },
                                  std::chrono::milliseconds(120000)));
            DispatchQueue::setGlobalPoolPause(nullptr);
        }
    } release{pause, pooled};
    ASSERT_TRUE(waitUntil([&] { return pooled->started.load() >= kBound; },
                          std::chrono::milliseconds(120000)));

    const auto libraryQueue =
        DispatchQueue::make("com.orvane.test.library", DispatchQoS::background,
                            DispatchQueueAttributes::concurrent, DispatchWork::library);
    using Queuing = std::function<void(std::function<void()>)>;
    const std::vector<std::pair<std::string, Queuing>> forms = {
        {"a work item queued as library work on the global queue",
         [](std::function<void()> body) {
             DispatchQueue::global()->async(
                 std::make_shared<DispatchWorkItem>([body](const DispatchWorkItem&) { body(); }),
                 DispatchWork::library);
         }},
        {"a block queued as library work",
         [](std::function<void()> body) {
             DispatchQueue::global(DispatchQoS::background)
                 ->async(std::move(body), DispatchWork::library);
         }},
        {"a work item on a queue made for library work",
         [libraryQueue](std::function<void()> body) {
             libraryQueue->async(
                 std::make_shared<DispatchWorkItem>([body](const DispatchWorkItem&) { body(); }));
         }},
    };
    for (const auto& [form, queue] : forms) {
        // 1: ran while the gate held the bound. (The thread of a form's work, once idle, does
        // not take the waiting pooled block: the bound's worth runs.)
        auto verdict = std::make_shared<std::atomic<int>>(0);
        const bool first = &form == &forms.front().first;
        queue([verdict, pooled, first] {
            const bool held = pooled->gate.closed() && (!first || pooled->started.load() == kBound);
            verdict->store(held ? 1 : 2);
        });
        ASSERT_TRUE(
            waitUntil([&] { return verdict->load() != 0; }, std::chrono::milliseconds(60000)))
            << form << " never ran";
        EXPECT_EQ(verdict->load(), 1) << form;
    }
    EXPECT_EQ(pooled->started.load(), kBound);
}

// Past its bound, the pool's watcher starts one thread in each look in which no waiting block
// was taken; the thread it started taking a block is no such take, while a block that a freed
// thread takes is. Looks are stepped one at a time; the starts are counted as they are made.
TEST(Dispatch, PastTheBoundEachLookWithoutATakenBlockStartsOneThread) {
    constexpr int kBound = 3;
    auto pause = std::make_shared<SteppedPause>();
    auto starts = std::make_shared<std::atomic<int>>(0);
    DispatchQueue::Hooks hooks;
    hooks.startThread = [starts](std::function<void()> body) {
        std::thread(std::move(body)).detach();
        ++*starts;
    };
    hooks.pause = SteppedPause::hook(pause);
    const auto queue = DispatchQueue::makeOnOwnPool(kBound, hooks);

    // Each block ends once `freed` reaches the order in which it started.
    auto freed = std::make_shared<std::atomic<int>>(0);
    auto started = std::make_shared<std::atomic<int>>(0);
    auto finished = std::make_shared<std::atomic<int>>(0);
    constexpr int kBlocks = kBound + 8;
    for (int i = 0; i < kBlocks; ++i) {
        queue->async([freed, started, finished] {
            const int order = ++*started;
            waitUntil([&] { return freed->load() >= order; }, std::chrono::milliseconds(120000));
            ++*finished;
        });
    }
    // The bound's threads and the watcher started; the watcher pauses before its first look.
    ASSERT_TRUE(waitUntil([&] { return started->load() == kBound && pause->entered.load() == 1; },
                          std::chrono::milliseconds(120000)));
    ASSERT_EQ(starts->load(), kBound + 1);
    // A first look: the bound's threads may have taken their blocks after the watcher started
    // (a take: no thread), or before (a thread).
    ++pause->granted;
    ASSERT_TRUE(
        waitUntil([&] { return pause->entered.load() == 2; }, std::chrono::milliseconds(120000)));
    int expectedStarts = starts->load();
    int expectedStarted = expectedStarts - 1;
    ASSERT_TRUE(waitUntil([&] { return started->load() == expectedStarted; },
                          std::chrono::milliseconds(120000)));

    struct Look {
        const char* what;
        bool freeOne;  // a block ends first, and its thread takes a waiting one
        int grown;     // threads the look starts
    };
    const Look looks[] = {
        {"a look without a taken block", false, 1},
        {"the next, the thread started having taken a block", false, 1},
        {"a look after a freed thread took a block", true, 0},
        {"the next look, nothing taken", false, 1},
        {"and the next", false, 1},
    };
    for (const auto& look : looks) {
        if (look.freeOne) {
            ++*freed;
            ++expectedStarted;
            ASSERT_TRUE(waitUntil([&] { return started->load() == expectedStarted; },
                                  std::chrono::milliseconds(120000)))
                << look.what;
        }
        const int entered = pause->entered.load();
        ++pause->granted;
        // The look has ended once the watcher pauses again.
        ASSERT_TRUE(waitUntil([&] { return pause->entered.load() == entered + 1; },
                              std::chrono::milliseconds(120000)))
            << look.what;
        expectedStarts += look.grown;
        ASSERT_EQ(starts->load(), expectedStarts) << look.what;
        expectedStarted += look.grown;
        ASSERT_TRUE(waitUntil([&] { return started->load() == expectedStarted; },
                              std::chrono::milliseconds(120000)))
            << look.what;
    }

    pause->freeRun = true;
    freed->store(kBlocks);
    EXPECT_TRUE(
        waitUntil([&] { return finished->load() == kBlocks; }, std::chrono::milliseconds(120000)));
}

// A burst of 150 blocks whose threads cannot start (every thread of the pool held, its watcher
// kept in its pause, so only the posts try): one ERROR record, however many starts fail, and the
// first start that succeeds after it says how many more failed. Every block runs once threads
// start again.
TEST(Dispatch, ABurstOfFailedThreadStartsWritesOneError) {
    auto failing = std::make_shared<std::atomic<bool>>(false);
    auto failures = std::make_shared<std::atomic<int>>(0);
    DispatchQueue::Hooks hooks;
    hooks.startThread = [failing, failures](std::function<void()> body) {
        if (failing->load()) {
            ++*failures;
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        std::thread(std::move(body)).detach();
    };
    auto pause = std::make_shared<SteppedPause>();
    hooks.pause = SteppedPause::hook(pause);
    constexpr int kHeld = 2;
    constexpr int kBurst = 150;
    // Below the bound: each block of the burst is owed a thread of its own.
    const auto queue = DispatchQueue::makeOnOwnPool(kHeld + kBurst + 1, hooks);
    auto capture = test::LogCapture::install();

    auto held = std::make_shared<GatedBlocks>();
    // Whatever fails: the watcher runs free and the held blocks end.
    struct Release {
        std::shared_ptr<SteppedPause> pause;
        std::shared_ptr<GatedBlocks> held;
        ~Release() {
            pause->freeRun = true;
            held->open();
        }
    } release{pause, held};
    for (int i = 0; i < kHeld; ++i) {
        queue->async(GatedBlocks::block(held));
    }
    ASSERT_TRUE(waitUntil([&] { return held->started.load() == kHeld; }));
    failing->store(true);
    auto ran = std::make_shared<std::atomic<int>>(0);
    for (int i = 0; i < kBurst; ++i) {
        queue->async([ran] { ++*ran; });
    }
    const int failed = failures->load();
    ASSERT_GE(failed, kBurst);
    EXPECT_EQ(capture->count("Could not start a thread", LogLevel::error), 1);
    // It names the queue of the block left waiting.
    EXPECT_EQ(capture->count("Could not start a thread for pooled work of com.orvane.test.ownPool",
                             LogLevel::error),
              1);
    EXPECT_EQ(capture->count("Threads start again"), 0);

    failing->store(false);
    queue->async([ran] { ++*ran; });
    held->open();
    EXPECT_TRUE(waitUntil([&] { return ran->load() == kBurst + 1; }));
    EXPECT_EQ(capture->count("Could not start a thread"), 1);
    EXPECT_EQ(capture->count("Threads start again", LogLevel::info), 1);
    EXPECT_EQ(capture->count("Threads start again; " + std::to_string(failed - 1) + " more"), 1)
        << failed << " starts failed";
}

// Library work gets threads past the pool's bound, but those threads run no pooled work past it.
// The bound's pooled blocks are held on a gate with more waiting behind them, and the watcher's
// looks are stepped one at a time. Rounds of library blocks run, one round before any look and
// one after each look; after each round every thread has ended but those holding a pooled block
// and the watcher (a thread that ran library work idled and ended instead of taking a waiting
// pooled block), and the pooled blocks that ran at once never outnumbered the bound plus the
// looks so far (a look starts one thread at most).
TEST(Dispatch, ThreadsThatRanLibraryWorkRunNoPooledWorkPastTheBound) {
    // Clock time runs 20 times faster: an idle thread ends after a quarter of a second.
    Clock::setSpeed(20.0);
    constexpr int kBound = 3;
    auto pause = std::make_shared<SteppedPause>();
    auto starts = std::make_shared<std::atomic<int>>(0);
    auto ends = std::make_shared<std::atomic<int>>(0);
    DispatchQueue::Hooks hooks;
    hooks.startThread = [starts, ends](std::function<void()> body) {
        ++*starts;
        std::thread([body = std::move(body), ends] {
            body();
            ++*ends;
        }).detach();
    };
    hooks.pause = SteppedPause::hook(pause);
    const auto queue = DispatchQueue::makeOnOwnPool(kBound, hooks);

    struct Pooled {
        Pooled() { gate.close(); }
        test::Gate gate;
        std::atomic<int> started{0};
        std::atomic<int> running{0};
        std::atomic<int> most{0};
        std::atomic<int> finished{0};
    };
    auto pooled = std::make_shared<Pooled>();
    constexpr int kPooled = kBound + 20;
    for (int i = 0; i < kPooled; ++i) {
        queue->async([pooled] {
            ++pooled->started;
            const int now = ++pooled->running;
            int most = pooled->most.load();
            while (now > most && !pooled->most.compare_exchange_weak(most, now)) {
            }
            pooled->gate.pass(std::chrono::milliseconds(120000));
            --pooled->running;
            ++pooled->finished;
        });
    }
    // Whatever fails: the watcher runs free, the blocks end, clock time runs as before.
    struct Release {
        std::shared_ptr<SteppedPause> pause;
        std::shared_ptr<Pooled> pooled;
        ~Release() {
            pause->freeRun = true;
            pooled->gate.open();
            EXPECT_TRUE(waitUntil([&] { return pooled->finished.load() == kPooled; },
                                  std::chrono::milliseconds(120000)));
            Clock::setSpeed(1.0);
        }
    } release{pause, pooled};
    ASSERT_TRUE(waitUntil([&] { return pooled->started.load() == kBound && pause->entered == 1; },
                          std::chrono::milliseconds(120000)));

    // The threads alive are those holding a pooled block and the watcher.
    const auto onlyHoldersLeft = [&] {
        const int holders = pooled->started.load();
        return starts->load() - ends->load() == holders + 1;
    };
    auto libraryRan = std::make_shared<std::atomic<int>>(0);
    int libraryQueued = 0;
    int looks = 0;
    for (int round = 0; round < 4; ++round) {
        if (round > 0) {
            const int entered = pause->entered.load();
            ++looks;
            ++pause->granted;
            // The look has ended once the watcher pauses again.
            ASSERT_TRUE(waitUntil([&] { return pause->entered.load() == entered + 1; },
                                  std::chrono::milliseconds(120000)));
        }
        for (int i = 0; i < 30; ++i, ++libraryQueued) {
            queue->async([libraryRan] { ++*libraryRan; }, DispatchWork::library);
        }
        ASSERT_TRUE(waitUntil([&] { return libraryRan->load() == libraryQueued; },
                              std::chrono::milliseconds(120000)))
            << "round " << round;
        EXPECT_TRUE(waitUntil(onlyHoldersLeft, std::chrono::milliseconds(30000)))
            << "round " << round << ": " << starts->load() - ends->load() << " threads, "
            << pooled->started.load() << " pooled blocks started";
        ASSERT_LE(pooled->started.load(), kBound + looks) << "round " << round;
        ASSERT_LE(pooled->most.load(), kBound + looks) << "round " << round;
    }
    // The looks without a taken block did grow the pool.
    EXPECT_GT(pooled->started.load(), kBound);
}

// A sink that keeps every record and, on a record of a thread that cannot start, queues a block
// on the pool from another thread and waits for that call to return: a call that does not return
// while the sink waits means the record was written under the pool's lock.
class QueuingCapture : public test::LogCapture {
  public:
    void logEvent(const LogEventArg& record) override {
        LogCapture::logEvent(record);
        std::shared_ptr<DispatchQueue> queue;
        {
            std::lock_guard guard(queueLock_);
            queue = queue_;
        }
        if (!queue || record.log().rfind("Could not start a thread", 0) != 0) return;
        auto returned = std::make_shared<std::atomic<bool>>(false);
        auto ran = ran_;
        std::thread([queue, returned, ran] {
            queue->async([ran] { ++*ran; });
            returned->store(true);
        }).detach();
        if (!waitUntil([&] { return returned->load(); }, std::chrono::milliseconds(20000))) {
            ++underLock_;
        }
    }
    // Blocks queued from now on go to `queue` (none: no block is queued).
    void queueOn(std::shared_ptr<DispatchQueue> queue) {
        std::lock_guard guard(queueLock_);
        queue_ = std::move(queue);
    }
    int ran() const { return ran_->load(); }
    int underLock() const { return underLock_.load(); }

  private:
    std::mutex queueLock_;
    std::shared_ptr<DispatchQueue> queue_;
    std::shared_ptr<std::atomic<int>> ran_ = std::make_shared<std::atomic<int>>(0);
    std::atomic<int> underLock_{0};
};

// Library work (a connection's read loop, say) whose thread cannot start: each such block is
// said in a record naming its queue (the first of a burst an ERROR, the others WARN), written
// with no lock of the pool held; the block waits (no thread exists: it cannot run) and runs once
// the watcher's retry starts a thread, or once a thread starts for a later block.
TEST(Dispatch, LibraryWorkWhoseThreadCannotStartIsSaidAndRunsOnceAThreadStarts) {
    // The next `failing` thread starts fail.
    auto failing = std::make_shared<std::atomic<int>>(0);
    DispatchQueue::Hooks hooks;
    hooks.startThread = [failing](std::function<void()> body) {
        int left = failing->load();
        while (left > 0 && !failing->compare_exchange_weak(left, left - 1)) {
        }
        if (left > 0) {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        std::thread(std::move(body)).detach();
    };
    // A pool of the same kind, with no thread yet and its watcher pausing as the global one.
    const auto freshQueue = DispatchQueue::makeOnOwnPool(2, hooks);
    auto pause = std::make_shared<SteppedPause>();
    hooks.pause = SteppedPause::hook(pause);
    const auto queue = DispatchQueue::makeOnOwnPool(2, hooks);
    orvLogger::setShowNSLog(false);
    auto capture = std::make_shared<QueuingCapture>();
    ASSERT_TRUE(orvLogger::registerDelegateIfNone(capture));
    struct Release {
        std::shared_ptr<SteppedPause> pause;
        ~Release() {
            pause->freeRun = true;
            orvLogger::setShowNSLog(true);
        }
    } release{pause};
    const std::string waits =
        "Could not start a thread for library work of com.orvane.test.ownPool";
    auto ran = std::make_shared<std::atomic<int>>(0);
    const auto library = [&](const std::shared_ptr<DispatchQueue>& on) {
        on->async([ran] { ++*ran; }, DispatchWork::library);
    };

    // The first library block's thread does not start (the watcher's does): an ERROR.
    failing->store(1);
    library(queue);
    EXPECT_EQ(capture->count(waits, LogLevel::error), 1);
    // Two more in one burst (the watcher is started): an ERROR, then a WARN.
    failing->store(2);
    library(queue);
    library(queue);
    EXPECT_EQ(capture->count(waits, LogLevel::error), 2);
    EXPECT_EQ(capture->count(waits, LogLevel::warn), 1);
    ASSERT_TRUE(
        waitUntil([&] { return pause->entered.load() == 1; }, std::chrono::milliseconds(120000)));
    // No thread of the pool exists but the watcher, held in its pause: nothing ran.
    EXPECT_EQ(ran->load(), 0);
    // The watcher's look starts a thread, which runs all three.
    ++pause->granted;
    EXPECT_TRUE(waitUntil([&] { return ran->load() == 3; }, std::chrono::milliseconds(120000)));
    EXPECT_EQ(capture->count("Threads start again; 1 more", LogLevel::info), 1);

    // On the pool with no thread yet, the sink queues a block when it hears of a block left
    // waiting: the call returns (no lock of the pool is held while the record is written), and
    // the library block runs, on that block's thread or on the one the watcher starts.
    capture->queueOn(freshQueue);
    failing->store(1);
    library(freshQueue);
    EXPECT_TRUE(waitUntil([&] { return ran->load() == 4 && capture->ran() >= 1; },
                          std::chrono::milliseconds(120000)));
    EXPECT_EQ(capture->underLock(), 0);
    EXPECT_EQ(capture->count(waits), 4);
    capture->queueOn(nullptr);
}

// Thread starts that fail while `failing` is set; `failed` counts them.
struct FailingStarts {
    std::atomic<bool> failing{false};
    std::atomic<int> failed{0};

    static std::function<void(std::function<void()>)> hook(
        const std::shared_ptr<FailingStarts>& starts) {
        return [starts](std::function<void()> body) {
            if (starts->failing.load()) {
                ++starts->failed;
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            std::thread(std::move(body)).detach();
        };
    }
};

// A library block holding its pool's only thread posts library work (two readers' state tellers,
// say) while no thread can start. Once threads start again the work runs with nothing else posted
// and the holder still held: the pool tries again by itself.
TEST(Dispatch, LibraryWorkLeftWithoutAThreadRunsOnceThreadsStartWithNoOtherPost) {
    auto starts = std::make_shared<FailingStarts>();
    DispatchQueue::Hooks hooks;
    hooks.startThread = FailingStarts::hook(starts);
    const auto queue = DispatchQueue::makeOnOwnPool(2, hooks);
    const test::ConsoleOff console;
    auto holder = std::make_shared<GatedBlocks>();
    auto post = std::make_shared<std::atomic<bool>>(false);
    auto posted = std::make_shared<std::atomic<bool>>(false);
    auto ran = std::make_shared<std::atomic<int>>(0);
    // Whatever fails: threads start again and the holder ends.
    struct Release {
        std::shared_ptr<FailingStarts> starts;
        std::shared_ptr<GatedBlocks> holder;
        std::shared_ptr<std::atomic<bool>> post;
        ~Release() {
            starts->failing = false;
            post->store(true);
            holder->open();
            EXPECT_TRUE(waitUntil([&] { return holder->finished.load() == 1; },
                                  std::chrono::milliseconds(20000)));
        }
    } release{starts, holder, post};
    constexpr int kPosted = 2;
    queue->async(
        [queue, holder, post, posted, ran] {
            ++holder->started;
            waitUntil([&] { return post->load(); }, std::chrono::milliseconds(120000));
            for (int i = 0; i < kPosted; ++i) {
                queue->async([ran] { ++*ran; }, DispatchWork::library);
            }
            posted->store(true);
            holder->gate.pass(std::chrono::milliseconds(120000));
            ++holder->finished;
        },
        DispatchWork::library);
    ASSERT_TRUE(
        waitUntil([&] { return holder->started.load() == 1; }, std::chrono::milliseconds(20000)));
    starts->failing = true;
    post->store(true);
    ASSERT_TRUE(waitUntil([&] { return posted->load(); }, std::chrono::milliseconds(20000)));
    ASSERT_GE(starts->failed.load(), 1);
    // The pool's one thread is held and none can start: nothing ran.
    EXPECT_EQ(ran->load(), 0);

    starts->failing = false;
    EXPECT_TRUE(waitUntil([&] { return ran->load() == kPosted; }, std::chrono::milliseconds(20000)))
        << ran->load() << " of " << kPosted << " ran";
    EXPECT_EQ(holder->finished.load(), 0);
}

// Library blocks, each holding the thread it gets, owed threads on a pool with none (every start
// failed, the watcher's too). Once threads start again, the next post gives each of them a thread
// at once, with the watcher kept in its pause. The watcher that post started then tries again for
// a later block whose thread cannot start, with nothing else posted.
TEST(Dispatch, EveryOwedLibraryBlockGetsAThreadOnceThreadsStartAgain) {
    auto starts = std::make_shared<FailingStarts>();
    auto pause = std::make_shared<SteppedPause>();
    DispatchQueue::Hooks hooks;
    hooks.startThread = FailingStarts::hook(starts);
    hooks.pause = SteppedPause::hook(pause);
    const auto queue = DispatchQueue::makeOnOwnPool(2, hooks);
    const test::ConsoleOff console;
    auto held = std::make_shared<GatedBlocks>();
    // Whatever fails: threads start again, the watcher runs free and the held blocks end.
    struct Release {
        std::shared_ptr<FailingStarts> starts;
        std::shared_ptr<SteppedPause> pause;
        std::shared_ptr<GatedBlocks> held;
        ~Release() {
            starts->failing = false;
            pause->freeRun = true;
            held->open();
            EXPECT_TRUE(waitUntil([&] { return held->finished.load() == held->started.load(); },
                                  std::chrono::milliseconds(20000)));
        }
    } release{starts, pause, held};

    starts->failing = true;
    constexpr int kOwed = 3;
    for (int i = 0; i < kOwed; ++i) {
        queue->async(GatedBlocks::block(held), DispatchWork::library);
    }
    ASSERT_GE(starts->failed.load(), kOwed);
    EXPECT_EQ(held->started.load(), 0);
    starts->failing = false;
    queue->async(GatedBlocks::block(held), DispatchWork::library);
    ASSERT_TRUE(waitUntil([&] { return held->started.load() == kOwed + 1; },
                          std::chrono::milliseconds(20000)))
        << held->started.load() << " of " << kOwed + 1 << " started";

    // Every thread of the pool is held.
    starts->failing = true;
    const int failedBefore = starts->failed.load();
    auto ran = std::make_shared<std::atomic<int>>(0);
    queue->async([ran] { ++*ran; }, DispatchWork::library);
    ASSERT_GT(starts->failed.load(), failedBefore);
    EXPECT_EQ(ran->load(), 0);
    starts->failing = false;
    pause->freeRun = true;
    EXPECT_TRUE(waitUntil([&] { return ran->load() == 1; }, std::chrono::milliseconds(20000)));
    EXPECT_EQ(held->finished.load(), 0);
}

// One library block posted while no thread can start, on a pool whose watcher already sleeps
// (every thread held, nothing owed). The post wakes the watcher: its next look, once threads
// start again, gives the block a thread, with nothing else posted.
//
// The watcher is put to sleep by cause, with no post waking it: with a bound of one, two held
// pooled blocks are posted while the threads started for them (the watcher's too) are held
// before they run, so the watcher finds the second block waiting past the bound by itself. A
// look in which no block was taken starts a grown thread under the watcher's lock, and the
// watcher goes to sleep in the same hold of the lock (no start failed: it writes no record in
// between). That thread takes its block only once the watcher lets the lock go: the block
// started means the watcher sleeps.
TEST(Dispatch, ALoneLibraryBlockLeftWithoutAThreadWakesASleepingWatcher) {
    auto starts = std::make_shared<FailingStarts>();
    auto startsHeld = std::make_shared<std::atomic<bool>>(true);
    auto pause = std::make_shared<SteppedPause>();
    DispatchQueue::Hooks hooks;
    hooks.startThread = [failing = FailingStarts::hook(starts),
                         startsHeld](std::function<void()> body) {
        failing([body = std::move(body), startsHeld] {
            waitUntil([&] { return !startsHeld->load(); }, std::chrono::milliseconds(120000));
            body();
        });
    };
    hooks.pause = SteppedPause::hook(pause);
    const auto queue = DispatchQueue::makeOnOwnPool(1, hooks);
    const test::ConsoleOff console;
    auto held = std::make_shared<GatedBlocks>();
    // Whatever fails: threads start again, the watcher runs free and the held blocks end.
    struct Release {
        std::shared_ptr<FailingStarts> starts;
        std::shared_ptr<std::atomic<bool>> startsHeld;
        std::shared_ptr<SteppedPause> pause;
        std::shared_ptr<GatedBlocks> held;
        ~Release() {
            starts->failing = false;
            startsHeld->store(false);
            pause->freeRun = true;
            held->open();
            EXPECT_TRUE(waitUntil([&] { return held->finished.load() == held->started.load(); },
                                  std::chrono::milliseconds(20000)));
        }
    } release{starts, startsHeld, pause, held};

    queue->async(GatedBlocks::block(held));
    queue->async(GatedBlocks::block(held));
    startsHeld->store(false);
    // Looks are granted one at a time until the second block has a thread: a look that finds a
    // block taken since the watcher's first test starts none.
    ASSERT_TRUE(waitUntil(
        [&] {
            if (held->started.load() == 2) return true;
            if (pause->entered.load() > pause->granted.load()) ++pause->granted;
            return false;
        },
        std::chrono::milliseconds(20000)));
    ASSERT_EQ(starts->failed.load(), 0);
    const int looks = pause->entered.load();

    starts->failing = true;
    auto ran = std::make_shared<std::atomic<int>>(0);
    queue->async([ran] { ++*ran; }, DispatchWork::library);
    ASSERT_EQ(starts->failed.load(), 1);
    // Both threads of the pool are held and none can start: nothing ran.
    EXPECT_EQ(ran->load(), 0);
    starts->failing = false;
    ++pause->granted;
    EXPECT_TRUE(waitUntil([&] { return ran->load() == 1; }, std::chrono::milliseconds(20000)));
    // The watcher's next look gave it its thread.
    EXPECT_EQ(pause->entered.load(), looks + 1);
    EXPECT_EQ(held->finished.load(), 0);
}

// A thread the watcher starts past the bound raises the limit for the block that runs in the slot
// it made, whichever thread took that block. Bound one, a held pooled block on it, and one more
// posted past it; the watcher's look starts a grown thread, held before it runs, and the thread of
// a library block that ends meanwhile takes the waiting block in the grown thread's slot. The
// grown thread then finds nothing, idles and ends, the block taken in its place still held. A
// pooled block posted next runs after one look of the watcher, as past any bound: the look
// starts one thread and the watcher, nothing waiting past the limit, sleeps (a limit that fell
// with the grown thread would leave the block waiting and the watcher looking again). Once every
// block has ended and every idle thread too, the bound holds again: a second held block posted
// past it starts no thread.
TEST(Dispatch, AGrownThreadsSlotTakenByAnotherThreadStaysRaisedForThatBlock) {
    // Clock time runs 20 times faster: an idle thread ends after a quarter of a second.
    Clock::setSpeed(20.0);
    static constexpr auto kGuard = std::chrono::milliseconds(120000);
    struct Threads {
        // The next thread started waits at `held` before it runs.
        std::atomic<bool> holdNext{false};
        test::Gate held;
        std::atomic<bool> heldEnded{false};
        std::atomic<int> started{0};
        std::atomic<int> ended{0};
    };
    auto threads = std::make_shared<Threads>();
    threads->held.close();
    DispatchQueue::Hooks hooks;
    hooks.startThread = [threads](std::function<void()> body) {
        const bool hold = threads->holdNext.exchange(false);
        std::thread([body = std::move(body), threads, hold] {
            if (hold) threads->held.pass(kGuard);
            body();
            if (hold) threads->heldEnded = true;
            ++threads->ended;
        }).detach();
        ++threads->started;
    };
    auto pause = std::make_shared<SteppedPause>();
    hooks.pause = SteppedPause::hook(pause);
    const auto queue = DispatchQueue::makeOnOwnPool(1, hooks);

    // Blocks held at `gate`; `started` counts those that began.
    struct Held {
        test::Gate gate;
        std::atomic<int> started{0};
        std::atomic<int> finished{0};
    };
    auto pooled = std::make_shared<Held>();
    pooled->gate.close();
    auto library = std::make_shared<Held>();
    library->gate.close();
    const auto block = [](const std::shared_ptr<Held>& held) {
        return [held] {
            ++held->started;
            held->gate.pass(kGuard);
            ++held->finished;
        };
    };
    // Whatever fails: the watcher runs free, every block ends, clock time runs as before.
    struct Release {
        std::shared_ptr<Threads> threads;
        std::shared_ptr<SteppedPause> pause;
        std::shared_ptr<Held> pooled;
        std::shared_ptr<Held> library;
        ~Release() {
            pause->freeRun = true;
            threads->held.open();
            library->gate.open();
            pooled->gate.open();
            EXPECT_TRUE(waitUntil(
                [&] {
                    return pooled->finished.load() == pooled->started.load() &&
                           library->finished.load() == library->started.load();
                },
                std::chrono::milliseconds(120000)));
            Clock::setSpeed(1.0);
        }
    } release{threads, pause, pooled, library};

    queue->async(block(pooled));
    queue->async(block(library), DispatchWork::library);
    ASSERT_TRUE(waitUntil(
        [&] { return pooled->started.load() == 1 && library->started.load() == 1; }, kGuard));
    // Past the bound: the watcher pauses before its look.
    queue->async(block(pooled));
    ASSERT_TRUE(waitUntil([&] { return pause->entered.load() == 1; }, kGuard));
    threads->holdNext = true;
    ++pause->granted;
    // The look started the grown thread, held before it runs.
    ASSERT_TRUE(waitUntil([&] { return !threads->holdNext.load(); }, kGuard));
    // The library block ends; its thread takes the waiting block in the grown thread's slot.
    library->gate.open();
    ASSERT_TRUE(waitUntil([&] { return pooled->started.load() == 2; }, kGuard));
    // The grown thread runs, finds nothing to take, and ends.
    threads->held.open();
    ASSERT_TRUE(waitUntil([&] { return threads->heldEnded.load(); }, kGuard));
    ASSERT_EQ(pause->entered.load(), 1);

    auto ran = std::make_shared<std::atomic<bool>>(false);
    queue->async([ran] { ran->store(true); });
    ASSERT_TRUE(waitUntil([&] { return pause->entered.load() == 2; }, kGuard));
    ++pause->granted;
    // Either the block runs, or the watcher, still finding it waiting past the limit, pauses for
    // a look more.
    ASSERT_TRUE(waitUntil([&] { return ran->load() || pause->entered.load() == 3; }, kGuard));
    ASSERT_TRUE(ran->load()) << "the block waits for a look more";
    EXPECT_EQ(pause->entered.load(), 2);

    // Every block ends; the threads end but the watcher.
    pooled->gate.open();
    ASSERT_TRUE(waitUntil(
        [&] {
            return pooled->finished.load() == 2 &&
                   threads->started.load() - threads->ended.load() == 1;
        },
        kGuard));
    // The bound holds again: a held block takes it, and the one posted behind it starts no
    // thread (a start is made inside the post).
    pooled->gate.close();
    queue->async(block(pooled));
    ASSERT_TRUE(waitUntil([&] { return pooled->started.load() == 3; }, kGuard));
    const int before = threads->started.load();
    queue->async(block(pooled));
    EXPECT_EQ(threads->started.load(), before);
}

}  // namespace
}  // namespace orvane
