#include "orvanerfid/platform/Dispatch.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>

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

// Threads that run posted tasks. Up to `maxThreads` (0: the pool's bound, `kPoolThreads`) it
// starts a thread whenever more tasks wait than threads are idle, so a blocking task never
// delays another. Past the pool's bound a task waits for a thread that frees; while tasks wait
// and none was taken for `kGrowDelay` of clock time, a watcher thread starts one more, so a
// wait of the library that only a waiting task can end (a lock whose holder's work is queued)
// ends all the same, late, and a burst of blocked work grows the pool by a few threads a second
// instead of thousands. A thread that cannot start (the process is out of threads or memory)
// is not an error: the task waits for the next thread that frees or starts. A thread that finds
// no task for `kIdleLifetime` of clock time ends, so a burst leaves no crowd of idle threads
// behind; the next post starts a new one. Executors live for the whole process (their threads
// are detached and never joined; a thread touches its executor only under the lock, before it
// ends).
struct DispatchQueue::Executor {
    static constexpr auto kIdleLifetime = std::chrono::seconds(5);
    static constexpr auto kGrowDelay = std::chrono::milliseconds(100);

    explicit Executor(std::size_t maxThreads) : maxThreads_(maxThreads) {}

    void post(std::function<void()> task) {
        bool failed = false;
        {
            std::lock_guard guard(mutex_);
            tasks_.push_back(std::move(task));
            if (tasks_.size() > idle_) {
                if (threads_ < bound()) {
                    failed = !startWorker();
                    // A thread that could not start is tried again by the watcher.
                    if (failed) startWatcher();
                } else if (maxThreads_ == 0) {
                    failed = !startWatcher();
                }
            }
        }
        ready_.notify_one();
        if (failed) noteFailedStart();
    }

  private:
    std::size_t bound() const { return maxThreads_ == 0 ? kPoolThreads : maxThreads_; }

    // Under the lock. False when the thread could not start (the task stays queued).
    bool startWorker() {
        try {
            std::thread([this] { work(); }).detach();
        } catch (const std::system_error&) {
            return false;
        }
        ++threads_;
        return true;
    }

    // Under the lock: the one watcher of the tasks waiting past the bound.
    bool startWatcher() {
        if (watching_) return true;
        try {
            std::thread([this] { watch(); }).detach();
        } catch (const std::system_error&) {
            return false;
        }
        watching_ = true;
        return true;
    }

    // Outside the lock: the record may reach the log sink, which may post.
    static void noteFailedStart() {
        orvLogger::error(kTag, "Could not start a thread; the block waits for one that frees");
    }

    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            const bool found =
                Clock::waitFor(ready_, lock, kIdleLifetime, [this] { return !tasks_.empty(); });
            --idle_;
            if (!found) {
                --threads_;
                return;
            }
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            ++taken_;
            lock.unlock();
            runGuarded(task);
            task = nullptr;
            lock.lock();
        }
    }

    // While tasks wait with no idle thread, one more thread each `kGrowDelay` in which none was
    // taken; ends once no task waits.
    void watch() {
        std::unique_lock lock(mutex_);
        uint64_t seen = taken_;
        while (tasks_.size() > idle_) {
            Clock::waitFor(watched_, lock, kGrowDelay, [] { return false; });
            // A bounded executor (the main queue's one thread) never grows past its bound.
            const bool mayGrow = maxThreads_ == 0 || threads_ < maxThreads_;
            if (mayGrow && tasks_.size() > idle_ && taken_ == seen) {
                if (!startWorker()) {
                    lock.unlock();
                    noteFailedStart();
                    lock.lock();
                }
            }
            seen = taken_;
        }
        watching_ = false;
    }

    const std::size_t maxThreads_;
    std::mutex mutex_;
    std::condition_variable ready_;
    // Never notified: the watcher's pause between looks.
    std::condition_variable watched_;
    std::deque<std::function<void()>> tasks_;
    std::size_t threads_ = 0;
    std::size_t idle_ = 0;
    // Tasks taken so far: the watcher starts a thread only when none was taken meanwhile.
    uint64_t taken_ = 0;
    bool watching_ = false;
};

struct DispatchQueue::SerialState {
    std::mutex mutex;
    std::deque<std::function<void()>> blocks;
    bool draining = false;
};

namespace {

DispatchQueue::Executor& sharedPool() {
    static auto* pool = new DispatchQueue::Executor(0);
    return *pool;
}

DispatchQueue::Executor& mainThread() {
    static auto* thread = new DispatchQueue::Executor(1);
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
                                                   DispatchQueueAttributes attributes) {
    return std::make_shared<DispatchQueue>(std::move(label), qos, attributes, sharedPool());
}

DispatchQueue::DispatchQueue(std::string label, DispatchQoS qos, DispatchQueueAttributes attributes,
                             Executor& executor)
    : label_(std::move(label)), qos_(qos), attributes_(attributes), executor_(executor) {
    if (attributes_ == DispatchQueueAttributes::serial) serial_ = std::make_unique<SerialState>();
}

DispatchQueue::~DispatchQueue() = default;

void DispatchQueue::async(std::function<void()> block) {
    // A block queued inside the log sink (by a library call the sink makes, or by work such a
    // call queued) runs inside it too: what it writes reaches the console only.
    if (orvLogger::insideSink()) {
        block = [inner = std::move(block)] {
            const orvLogger::InsideSink inside(true);
            inner();
        };
    }
    enqueue(std::move(block));
}

void DispatchQueue::async(const std::shared_ptr<DispatchWorkItem>& item) {
    // A work item (a connection's loop, its initialisation, its keep-alive) belongs to the
    // connection, not to the call that queued it: it carries no mark.
    if (item) enqueue([item] { item->perform(); });
}

void DispatchQueue::enqueue(std::function<void()> block) {
    if (!serial_) {
        executor_.post(std::move(block));
        return;
    }
    std::lock_guard guard(serial_->mutex);
    serial_->blocks.push_back(std::move(block));
    if (serial_->draining) return;
    serial_->draining = true;
    // The drain holds the queue, so queued blocks run even when the last owner lets go.
    executor_.post([self = shared_from_this()] { self->drain(); });
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
