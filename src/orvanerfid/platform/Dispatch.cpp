#include "orvanerfid/platform/Dispatch.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <utility>

#include "orvanerfid/core/Logger.h"

namespace orvane {
namespace {

constexpr std::string_view kTag = "DispatchQueue";

void runGuarded(const std::function<void()>& block) {
    try {
        block();
    } catch (const std::exception& e) {
        orvLogger::error(kTag, std::string("A dispatched block threw: ") + e.what());
    } catch (...) {
        orvLogger::error(kTag, "A dispatched block threw an unknown exception");
    }
}

}  // namespace

// Threads that run posted tasks. Library tasks wait in a line of their own, taken before the
// pooled line, and get a thread at once when one can start: a post, and a thread taking a task,
// start one whenever more tasks could run than threads are idle or starting. Pooled tasks run on at
// most `limit()` threads at a time: the bound, plus one for each thread the watcher started past it
// that is still alive. Any thread takes a library task; a thread takes a pooled task only while
// fewer than `limit()` run, so a thread that ran library work (a receive loop that ended, an
// initialisation, a keep-alive tick, a teller) never adds a pooled task past the bound: once its
// own is done it idles when the pooled ones are at the limit. A pooled task posted at the limit
// waits for a running one to end; in a pool that grows (`grows_`), while such tasks wait and none
// was taken during a pause of `kGrowDelay` of clock time (but by the thread the watcher started
// last), a watcher thread starts one more thread and raises the limit by one for that thread's
// life, so a wait of the library that only a waiting task can end (a lock whose holder's work is
// queued) ends all the same, late, and a burst of blocked work grows the pool by ten threads a
// second instead of thousands. A thread that cannot start (the process is out of threads or memory)
// leaves its task waiting for the next thread that frees or starts. The watcher is started by the
// first post, or, when its own thread cannot start then, by the first later post or task taken
// that starts it; it never ends, asleep while it has nothing to do, so once it runs a start that
// fails while every thread is busy is tried again after each pause with no post; the first thread
// that starts then hands on to the other tasks owed one. Until the watcher runs, a task left
// waiting while no thread is idle waits for the next post or for a thread that frees. The first
// failure of a burst is an ERROR record, and each later failure of a post's start for its own
// library task (a connection's own) a WARN record; only a post's record of its own task's start
// names the task's queue, the others (the watcher's own start, its retries, a thread's handing on)
// name none; every failure after the first of a burst is counted, WARN records included, and the
// count is said once a thread starts again. A thread that finds no task for `kIdleLifetime` of
// clock time ends, so a burst leaves no crowd of idle threads behind; the next post starts a new
// one. Executors live for the whole process (their threads are detached and never joined; a
// thread touches its executor only under the lock, before it ends). One lock, `mutex_`, guards
// every field; threads start under it, but no record is written and no pause made under it (a
// record may reach the log sink, which may post). A grown thread's raise is for the task run in
// its slot: when another thread (one that ran library work, say) takes that task first and the
// grown thread ends idle while it still runs, the raise stays until a slot frees, so the pool is
// never left short by the task taken in its place.
struct DispatchQueue::Executor {
    static constexpr auto kIdleLifetime = std::chrono::seconds(5);
    static constexpr auto kGrowDelay = std::chrono::milliseconds(100);

    Executor(std::size_t bound, bool grows, Hooks hooks)
        : bound_(bound), grows_(grows), hooks_(std::move(hooks)) {}

    // `queue`: the label of the queue the task was posted on, for the record of a thread that
    // cannot start.
    void post(std::function<void()> task, DispatchWork work, const std::string& queue) {
        Note note;
        {
            std::lock_guard guard(mutex_);
            (work == DispatchWork::library ? own_ : pooled_).push_back(std::move(task));
            if (unserved()) note = startWorker(false);
            // The record names the queue when this block's own thread could not start.
            if (note.failed) {
                note.queue = queue;
                note.work = work;
            }
            note.merge(watchOver());
        }
        ready_.notify_one();
        note.write();
    }

    void setPause(std::function<void()> pause) {
        std::lock_guard guard(mutex_);
        hooks_.pause = std::move(pause);
    }

    void setStartThread(std::function<void(std::function<void()>)> startThread) {
        std::lock_guard guard(mutex_);
        hooks_.startThread = std::move(startThread);
    }

  private:
    // What a thread start leaves to write once the lock is let go.
    struct Note {
        bool failed = false;
        // The first failure of a burst: the ERROR record.
        bool firstFailure = false;
        // A start that ended a burst: the failures after the first one.
        std::optional<uint64_t> recovered;
        // The queue of the posted block whose thread could not start (empty for any other start:
        // the watcher's own, its looks', a thread's handing on), and the block's kind.
        std::string queue;
        DispatchWork work = DispatchWork::pooled;

        void merge(const Note& other) {
            failed = failed || other.failed;
            firstFailure = firstFailure || other.firstFailure;
            if (other.recovered) recovered = other.recovered;
        }
        void write() const {
            // A connection's own work that waits is said each time; pooled work once a burst.
            const bool named = failed && !queue.empty();
            if (firstFailure || (named && work == DispatchWork::library)) {
                const std::string text =
                    named ? "Could not start a thread for " +
                                std::string(work == DispatchWork::library ? "library" : "pooled") +
                                " work of " + queue + "; it waits for a thread that frees or starts"
                          : "Could not start a thread; a block left waiting for one waits for a "
                            "thread that frees or starts";
                if (firstFailure) {
                    orvLogger::error(kTag, text);
                } else {
                    orvLogger::warn(kTag, text);
                }
            }
            if (recovered) {
                orvLogger::info(kTag, "Threads start again; " + std::to_string(*recovered) +
                                          " more thread starts failed meanwhile");
            }
        }
    };

    // How many pooled tasks may run at once.
    std::size_t limit() const { return bound_ + grown_ + lent_; }
    std::size_t freeSlots() const { return pooledBusy_ < limit() ? limit() - pooledBusy_ : 0; }
    // The waiting tasks a thread may take now.
    std::size_t runnable() const { return own_.size() + std::min(pooled_.size(), freeSlots()); }
    // More tasks could run than threads are idle or starting: a thread is owed.
    bool unserved() const { return runnable() > idle_ + starting_; }
    // Pooled tasks wait past the limit.
    bool held() const { return pooled_.size() > freeSlots(); }
    // The watcher has work: a thread is owed, or the pool grows and pooled tasks wait past the
    // limit.
    bool needed() const { return unserved() || (grows_ && held()); }
    bool takeable() const { return !own_.empty() || (!pooled_.empty() && freeSlots() > 0); }

    // Under the lock: starts `body` through the hook and keeps the count of a burst of failures.
    Note start(std::function<void()> body) {
        Note note;
        try {
            if (hooks_.startThread) {
                hooks_.startThread(std::move(body));
            } else {
                std::thread(std::move(body)).detach();
            }
        } catch (const std::system_error&) {
            note.failed = true;
            note.firstFailure = failedStarts_++ == 0;
            return note;
        } catch (const std::bad_alloc&) {
            note.failed = true;
            note.firstFailure = failedStarts_++ == 0;
            return note;
        }
        if (failedStarts_ > 0) note.recovered = std::exchange(failedStarts_, 0) - 1;
        return note;
    }

    // Under the lock. A worker the watcher starts past the limit (`grown`) raises the limit by one
    // for its life, or, when it ends while a task another thread took in its slot still runs, for
    // as long as that task; it takes its first task without counting it as taken. On failure the
    // task stays queued.
    Note startWorker(bool grown) {
        Note note = start([this, grown] { work(grown); });
        if (!note.failed) {
            ++starting_;
            if (grown) ++grown_;
        }
        return note;
    }

    // Under the lock, after each post (its task already in line, so that a sleeping watcher owed
    // work for it is woken) and each task taken: starts the watcher when it has not started yet,
    // and wakes it when it has work. Started by the first post or task taken whose start of it
    // succeeds and kept for the pool's life, it is there to try again when a start fails while
    // every thread is busy.
    Note watchOver() {
        Note note;
        if (!watching_) {
            note = start([this] { watch(); });
            watching_ = !note.failed;
        }
        if (watching_ && needed()) watched_.notify_one();
        return note;
    }

    void work(bool grown) {
        std::unique_lock lock(mutex_);
        --starting_;
        bool first = true;
        for (;;) {
            ++idle_;
            const bool found =
                Clock::waitFor(ready_, lock, kIdleLifetime, [this] { return takeable(); });
            --idle_;
            if (!found) {
                if (grown) {
                    --grown_;
                    // Another thread took a task in the slot this one raised and still runs it:
                    // the raise stays for that task.
                    if (pooledBusy_ > limit()) ++lent_;
                }
                return;
            }
            const bool library = !own_.empty();
            auto& line = library ? own_ : pooled_;
            auto task = std::move(line.front());
            line.pop_front();
            if (!library) {
                ++pooledBusy_;
                // A grown thread taking its first task is not a sign that the pool moves.
                if (!(grown && first)) ++taken_;
            }
            first = false;
            // Other tasks that may run now are handed on: to an idle thread, and to one started
            // here when more are owed a thread, so tasks left without one after failed starts
            // each get theirs once one starts.
            if (idle_ > 0 && takeable()) ready_.notify_one();
            Note note;
            if (unserved()) note = startWorker(false);
            note.merge(watchOver());
            lock.unlock();
            note.write();
            runGuarded(task);
            task = nullptr;
            lock.lock();
            if (!library) {
                --pooledBusy_;
                // A raise kept for a task past the limit goes back once a slot frees.
                if (lent_ > 0 && pooledBusy_ < limit()) --lent_;
            }
        }
    }

    // Never ends. Sleeps until it has work; then, while a thread is owed (its start failed), or,
    // in a pool that grows, pooled tasks wait past the limit: after each pause, one more thread
    // for the tasks that are owed one (which hands on to the others), or else, past the limit, a
    // grown one when no pooled task was taken since the last look or the wake.
    void watch() {
        std::unique_lock lock(mutex_);
        uint64_t seen = taken_;
        for (;;) {
            if (!needed()) {
                watched_.wait(lock, [this] { return needed(); });
                seen = taken_;
            }
            const auto pause = hooks_.pause;
            lock.unlock();
            if (pause) {
                pause();
            } else {
                Clock::sleepFor(kGrowDelay);
            }
            lock.lock();
            if (!needed()) continue;
            Note note;
            if (unserved()) {
                note = startWorker(false);
            } else if (taken_ == seen) {
                note = startWorker(true);
            }
            seen = taken_;
            if (note.firstFailure || note.recovered) {
                lock.unlock();
                note.write();
                lock.lock();
            }
        }
    }

    const std::size_t bound_;
    const bool grows_;
    Hooks hooks_;
    std::mutex mutex_;
    std::condition_variable ready_;
    // Wakes the watcher.
    std::condition_variable watched_;
    std::deque<std::function<void()>> own_;
    std::deque<std::function<void()>> pooled_;
    // Threads started that have not yet reached their loop.
    std::size_t starting_ = 0;
    std::size_t idle_ = 0;
    // Threads running a pooled task.
    std::size_t pooledBusy_ = 0;
    // Threads the watcher started past the bound that are still alive.
    std::size_t grown_ = 0;
    // Raises of grown threads that ended while a task another thread took in their slot still
    // runs.
    std::size_t lent_ = 0;
    // Pooled tasks taken so far: the watcher starts a thread only when none was taken meanwhile.
    uint64_t taken_ = 0;
    // Thread starts failed since the last that succeeded.
    uint64_t failedStarts_ = 0;
    // The watcher has started (it never ends).
    bool watching_ = false;
};

struct DispatchQueue::SerialState {
    std::mutex mutex;
    std::deque<std::function<void()>> blocks;
    bool draining = false;
};

namespace {

DispatchQueue::Executor& sharedPool() {
    static auto* pool = new DispatchQueue::Executor(DispatchQueue::kPoolThreads, true, {});
    return *pool;
}

DispatchQueue::Executor& mainThread() {
    static auto* thread = new DispatchQueue::Executor(1, false, {});
    return *thread;
}

}  // namespace

void DispatchWorkItem::perform() {
    if (started_.exchange(true)) return;
    // Marks the item finished even when the block throws.
    struct Finish {
        DispatchWorkItem& item;
        ~Finish() {
            item.runner_.store(std::thread::id{});
            item.finished_.store(true);
        }
    } finish{*this};
    if (isCancelled() || !block_) return;
    runner_.store(std::this_thread::get_id());
    block_(*this);
}

bool DispatchWorkItem::isFinished() const noexcept {
    return finished_.load() || (isCancelled() && !started_.load());
}

bool DispatchWorkItem::wait(Clock::duration timeout) const {
    if (runner_.load() == std::this_thread::get_id()) return false;
    const auto start = Clock::now();
    while (!isFinished()) {
        if (Clock::now() - start > timeout) return false;
        Clock::sleepFor(std::chrono::milliseconds(1));
    }
    return true;
}

std::shared_ptr<DispatchQueue> DispatchQueue::global(DispatchQoS qos) {
    // One queue per quality of service, alive for the whole process.
    static auto* queues = [] {
        auto* all = new std::array<std::shared_ptr<DispatchQueue>, allCases<DispatchQoS>().size()>;
        for (auto level : allCases<DispatchQoS>()) {
            (*all)[rawValue(level)] = std::make_shared<DispatchQueue>(
                "com.orvane.global." + std::string(caseName(level)), level,
                DispatchQueueAttributes::concurrent, sharedPool());
        }
        return all;
    }();
    return (*queues)[rawValue(qos) < queues->size() ? rawValue(qos) : 0];
}

std::shared_ptr<DispatchQueue> DispatchQueue::main() {
    static auto* queue = new std::shared_ptr<DispatchQueue>(
        std::make_shared<DispatchQueue>("com.orvane.main", DispatchQoS::userInteractive,
                                        DispatchQueueAttributes::serial, mainThread()));
    return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::make(std::string label, DispatchQoS qos,
                                                   DispatchQueueAttributes attributes,
                                                   DispatchWork work) {
    return std::make_shared<DispatchQueue>(std::move(label), qos, attributes, sharedPool(), work);
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeOnOwnPool(std::size_t bound, Hooks hooks) {
    // Never deleted, as the process's own executors: its threads may outlive the queue.
    auto* pool = new Executor(bound, true, std::move(hooks));
    return std::make_shared<DispatchQueue>("com.orvane.test.ownPool", DispatchQoS::default_,
                                           DispatchQueueAttributes::concurrent, *pool);
}

void DispatchQueue::setGlobalPoolPause(std::function<void()> pause) {
    sharedPool().setPause(std::move(pause));
}

void DispatchQueue::setGlobalPoolStartThread(
    std::function<void(std::function<void()> body)> startThread) {
    sharedPool().setStartThread(std::move(startThread));
}

DispatchQueue::DispatchQueue(std::string label, DispatchQoS qos, DispatchQueueAttributes attributes,
                             Executor& executor, DispatchWork work)
    : label_(std::move(label)),
      qos_(qos),
      attributes_(attributes),
      executor_(executor),
      work_(work) {
    if (attributes_ == DispatchQueueAttributes::serial) serial_ = std::make_unique<SerialState>();
}

DispatchQueue::~DispatchQueue() = default;

void DispatchQueue::async(std::function<void()> block, DispatchWork work) {
    // A block queued inside the log sink (by a library call the sink makes, or by work such a
    // call queued) runs inside it too: what it writes reaches the console only.
    if (orvLogger::insideSink()) {
        block = [inner = std::move(block)] {
            const orvLogger::InsideSink inside(true);
            inner();
        };
    }
    enqueue(std::move(block), work);
}

void DispatchQueue::async(const std::shared_ptr<DispatchWorkItem>& item, DispatchWork work) {
    // A work item (a connection's loop, its initialisation, its keep-alive) belongs to the
    // connection, not to the call that queued it: it carries no mark.
    if (item) enqueue([item] { item->perform(); }, work);
}

void DispatchQueue::enqueue(std::function<void()> block, DispatchWork work) {
    if (!serial_) {
        executor_.post(std::move(block), work, label_);
        return;
    }
    {
        std::lock_guard guard(serial_->mutex);
        serial_->blocks.push_back(std::move(block));
        if (serial_->draining) return;
        serial_->draining = true;
    }
    // Posted once the queue's lock is let go: a record of a thread that cannot start may reach
    // the log sink, which may queue a block here. The drain holds the queue, so queued blocks run
    // even when the last owner lets go.
    executor_.post([self = shared_from_this()] { self->drain(); }, DispatchWork::pooled, label_);
}

void DispatchQueue::drain() {
    for (;;) {
        std::function<void()> block;
        {
            std::lock_guard guard(serial_->mutex);
            if (serial_->blocks.empty()) {
                serial_->draining = false;
                return;
            }
            block = std::move(serial_->blocks.front());
            serial_->blocks.pop_front();
        }
        runGuarded(block);
    }
}

}  // namespace orvane
