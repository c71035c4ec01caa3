#pragma once

// Dispatch queues and cancellable work items: the library's only source of threads.
//
// Blocks on the queues may block for seconds (3000 ms sends, 7000 ms initialisation budgets),
// and some wait for a block queued after them (a call waiting for the UHF lock, whose holder's
// work is queued; a send waiting for the receive loop's reply). So the threads behind the
// concurrent queues grow with demand: a block posted while every thread is busy gets a new
// thread, and no block waits for another to finish first.
//
// Two kinds of work share the global pool (`DispatchWork`). Pooled work (operations,
// completions, the application's calls handed on, any block queued without a kind) runs on at
// most `kPoolThreads` threads at once (the bound is for a burst of blocked work, such as
// completions that wait), whichever threads they are: a thread that ran library work takes a
// pooled block only while fewer than that run, so library work never adds to the pooled blocks
// running. Past the bound a block waits for a running one to end. A hard bound could leave the
// library's own waits waiting for ever (every thread blocked on work still queued), so while
// pooled blocks wait past it, a watcher looks every 100 ms (clock time) and starts one more
// thread when none was taken since its last look (the thread it started last taking one is not
// counted); that thread raises the bound by one for as long as it lives, or, when another thread
// took a block in its place, until a slot frees. So past the bound the
// pool grows by ten threads a second at most, and every wait ends. The library's own work (a
// connection's receive loops, its initialisation and keep-alive, the event line's teller) is
// taken before any waiting pooled block, gets a new thread at once when none is idle and one can
// start, and is not counted against the bound, since the readers bound its number (a few threads
// each). So no connection waits for an application's blocked blocks.
//
// A thread that cannot start (the process is out of threads or memory) never ends the process;
// its block waits for a thread that frees or starts later. Once the pool's watcher runs, no other
// post is needed: the watcher tries again after each look while a block is owed a thread, and a
// thread that starts, on taking its block, starts one more while more are owed, so once threads
// start again every block left waiting gets one. The watcher is started by the pool's first post,
// or, when its own thread cannot start then, by the first later post or block taken that starts
// it, and is kept for the life of the process (asleep while it has nothing to do). Until it has
// started, a block left waiting while no thread of the pool is idle waits for the next post or
// for a thread that frees. The first failed start of a burst (the failures up to the next start
// that succeeds) is one ERROR record; each later failure of a post's start for its own library
// block is a WARN record, so a connection left waiting for its thread is always said. Only a
// post's record of its own block's start names a queue: the queue of the block it posted (its
// label, such as "com.orvane.EATransport"). The records of the watcher's own start, of the
// watcher's retries and of the starts a thread of the pool makes for other blocks name none.
// Every failure after the first of a burst is counted, said in a WARN record or not, and the next
// start that succeeds says the count in one INFO record.
// Each record is written with no lock of the queues held, on the thread that tried the start: the
// posting thread (a caller that posts under a lock of its own holds its records with
// `orvLogger::Hold`), a thread of the pool, or its watcher. Threads are never joined; an idle one
// waits for the next block and ends after five seconds (clock time) without one.
//
// A block queued on a thread that runs inside the log sink (see orvLogger) runs inside it too;
// a work item does not.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "orvanerfid/core/Enum.h"
#include "orvanerfid/platform/Clock.h"

namespace orvane {

#define ORV_DISPATCH_QOS(X)               \
    X(unspecified, 0, "Unspecified")      \
    X(background, 1, "Background")        \
    X(utility, 2, "Utility")              \
    X(default_, 3, "Default")             \
    X(userInitiated, 4, "User Initiated") \
    X(userInteractive, 5, "User Interactive")

// Quality of service of a queue. Recorded for the queue's description; every thread of the
// library runs at the same priority.
ORV_ENUM(DispatchQoS, uint8_t, ORV_DISPATCH_QOS);

#define ORV_DISPATCH_ATTRIBUTES(X) \
    X(serial, 0, "Serial")         \
    X(concurrent, 1, "Concurrent")

ORV_ENUM(DispatchQueueAttributes, uint8_t, ORV_DISPATCH_ATTRIBUTES);

#define ORV_DISPATCH_WORK(X) \
    X(pooled, 0, "Pooled")   \
    X(library, 1, "Library")

// What a block on a concurrent queue is. `pooled`: work that the pool's bound holds back (an
// operation, a completion, anything an application may queue or block in by the hundred).
// `library`: a connection's or a reader's own standing work, a few blocks per reader, that
// nothing else may delay (a receive loop, the initialisation, the keep-alive, the event line's
// teller). A serial queue runs every block as pooled work.
ORV_ENUM(DispatchWork, uint8_t, ORV_DISPATCH_WORK);

// A block that can be cancelled before or while it runs.
//
// Threads: `cancel` and `isCancelled` are safe from any thread. Cancelling is a request: a block
// that has not started never starts; a running block goes on until it tests its own item (the
// `self` argument it receives, never a field shared with other items) and returns. `perform`
// runs the block at most once, on the calling thread. `wait` blocks its caller, polling every
// millisecond through `Clock`; it never waits on the item's own thread.
class DispatchWorkItem {
  public:
    using Block = std::function<void(const DispatchWorkItem& self)>;

    explicit DispatchWorkItem(Block block) : block_(std::move(block)) {}
    DispatchWorkItem(const DispatchWorkItem&) = delete;
    DispatchWorkItem& operator=(const DispatchWorkItem&) = delete;

    // Runs the block unless the item was cancelled first or has run already.
    void perform();
    void cancel() noexcept { cancelled_.store(true); }
    bool isCancelled() const noexcept { return cancelled_.load(); }
    // True once the block has returned, or when it will never run (cancelled before it started).
    bool isFinished() const noexcept;
    // Waits up to `timeout` for `isFinished`. Returns false on timeout, and at once when called
    // from the thread that runs the block (waiting there could never end).
    bool wait(Clock::duration timeout) const;

  private:
    Block block_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::thread::id> runner_{};
};

// A queue of blocks run on the library's threads.
//
// A serial queue runs its blocks one at a time in the order they were queued; a concurrent
// queue starts each block at once on a thread of its own (pooled work up to the pool's bound,
// and a thread that cannot start is tried again, see above). `global(qos)` gives the process-wide
// concurrent queues, `main()` the serial queue served by one dedicated library thread. Blocks
// must not throw: an escaping exception is logged at ERROR level and dropped. Safe from any
// thread; `async` never blocks and never runs the block on the caller's thread.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
  public:
    struct Executor;

    // The pooled blocks the global pool runs at once (a burst of blocking ones each gets a
    // thread at once); past it, one more thread each 100 ms (clock time) in which no waiting
    // block was taken. Library work is not counted.
    static constexpr std::size_t kPoolThreads = 256;

    // Test seam, not for the library's own use: how an executor starts a thread and pauses
    // between its watcher's looks.
    struct Hooks {
        // Starts a detached thread that runs `body`; throws std::system_error when it cannot.
        std::function<void(std::function<void()> body)> startThread;
        // Called without the executor's lock: the watcher's pause before each look.
        std::function<void()> pause;
    };
    // Test seam: a concurrent queue on a pool of its own that behaves as the global pool with
    // the bound `bound`, starting its threads and pausing its watcher through `hooks` (an empty
    // hook: a std::thread, 100 ms of clock time). The pool lives for the whole process.
    static std::shared_ptr<DispatchQueue> makeOnOwnPool(std::size_t bound, Hooks hooks);
    // Test seam: the global pool's watcher pauses through `pause` before each look (an empty
    // function: 100 ms of clock time again).
    static void setGlobalPoolPause(std::function<void()> pause);
    // Test seam: the global pool starts its threads through `startThread`, as `Hooks` says (an
    // empty function: a std::thread again).
    static void setGlobalPoolStartThread(
        std::function<void(std::function<void()> body)> startThread);

    static std::shared_ptr<DispatchQueue> global(DispatchQoS qos = DispatchQoS::default_);
    static std::shared_ptr<DispatchQueue> main();
    // A queue on the global pool. `work`: what its blocks are, unless `async` says otherwise.
    static std::shared_ptr<DispatchQueue> make(std::string label, DispatchQoS qos,
                                               DispatchQueueAttributes attributes,
                                               DispatchWork work = DispatchWork::pooled);

    DispatchQueue(std::string label, DispatchQoS qos, DispatchQueueAttributes attributes,
                  Executor& executor, DispatchWork work = DispatchWork::pooled);
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;
    ~DispatchQueue();

    const std::string& label() const { return label_; }
    DispatchQoS qos() const { return qos_; }
    DispatchQueueAttributes attributes() const { return attributes_; }

    // Queues `block` as the queue's kind of work, or as `work`.
    void async(std::function<void()> block) { async(std::move(block), work_); }
    void async(std::function<void()> block, DispatchWork work);
    // Queues `item->perform()`; the queue holds the item until it has run.
    void async(const std::shared_ptr<DispatchWorkItem>& item) { async(item, work_); }
    void async(const std::shared_ptr<DispatchWorkItem>& item, DispatchWork work);

  private:
    struct SerialState;
    void enqueue(std::function<void()> block, DispatchWork work);
    void drain();

    std::string label_;
    DispatchQoS qos_;
    DispatchQueueAttributes attributes_;
    Executor& executor_;
    DispatchWork work_;
    std::unique_ptr<SerialState> serial_;
};

}  // namespace orvane
