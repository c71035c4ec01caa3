#include "orvanerfid/platform/Dispatch.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

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

// Threads that run posted tasks. With no limit it starts a thread whenever more tasks wait
// than threads are idle, so a blocking task never delays another. A thread that finds no task
// for `kIdleLifetime` of clock time ends, so a burst leaves no crowd of idle threads behind; the
// next post starts a new one. Executors live for the whole process (their threads are detached
// and never joined; a thread touches its executor only under the lock, before it ends).
struct DispatchQueue::Executor {
    static constexpr auto kIdleLifetime = std::chrono::seconds(5);

    explicit Executor(std::size_t maxThreads) : maxThreads_(maxThreads) {}

    void post(std::function<void()> task) {
        std::lock_guard guard(mutex_);
        tasks_.push_back(std::move(task));
        if (tasks_.size() > idle_ && (maxThreads_ == 0 || threads_ < maxThreads_)) {
            ++threads_;
            std::thread([this] { work(); }).detach();
        }
        ready_.notify_one();
    }

  private:
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
            lock.unlock();
            runGuarded(task);
            task = nullptr;
            lock.lock();
        }
    }

    const std::size_t maxThreads_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
    std::size_t threads_ = 0;
    std::size_t idle_ = 0;
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

void DispatchQueue::async(const std::shared_ptr<DispatchWorkItem>& item) {
    if (item) async([item] { item->perform(); });
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
