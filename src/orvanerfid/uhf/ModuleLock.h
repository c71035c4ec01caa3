#pragma once

// The UHF object's module lock: a binary semaphore that one thread takes and another releases
// (an operation takes it on its caller's thread and its work item releases it on a pool
// thread). It also knows which thread works under it, so that a call made from inside a
// callback on that very thread is refused instead of waiting for a release that cannot come.
// While its operation tells the application that it starts (`suspend` to `resume`), the
// holder keeps the lock but runs application code: a new caller, on any thread, is refused at
// once instead of waiting for an operation that may wait for it.
//
// Threads: every member is safe from any thread. `acquire` blocks while another operation holds
// the lock (outside a suspension); nothing else blocks.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace orvane {

class ModuleLock {
  public:
    enum class Take { taken, reentrant, suspended };
    // Takes the lock, waiting for it as long as it takes. Without taking it, at once: `reentrant`
    // when the calling thread is the one working under the lock, `suspended` while the holder
    // runs application code.
    Take acquire() {
        const auto self = std::this_thread::get_id();
        if (worker_.load() == self) return Take::reentrant;
        std::unique_lock guard(mutex_);
        if (suspended_) return Take::suspended;
        released_.wait(guard, [&] { return !held_; });
        held_ = true;
        worker_.store(self);
        return Take::taken;
    }
    // The holder is about to run application code, and then carries on under the lock: new
    // callers are refused until `resume`. Callers already waiting keep waiting.
    void suspend() {
        std::lock_guard guard(mutex_);
        suspended_ = true;
    }
    void resume() {
        std::lock_guard guard(mutex_);
        suspended_ = false;
    }
    // The calling thread stops being the lock's worker: the operation hops to its work item.
    void handOff() { worker_.store(std::thread::id{}); }
    // The calling thread (the work item's) becomes the lock's worker.
    void adopt() { worker_.store(std::this_thread::get_id()); }
    void release() {
        worker_.store(std::thread::id{});
        {
            std::lock_guard guard(mutex_);
            held_ = false;
        }
        released_.notify_one();
    }
    bool isHeld() const {
        std::lock_guard guard(mutex_);
        return held_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = false;
    bool suspended_ = false;
    std::atomic<std::thread::id> worker_{};
};

// One operation's hold of the lock: released once, by release() or at the latest when the last
// copy of the work item that carries it is destroyed, so no path leaves the lock taken.
class ModuleLockHold {
  public:
    explicit ModuleLockHold(std::shared_ptr<ModuleLock> lock) : lock_(std::move(lock)) {}
    ModuleLockHold(const ModuleLockHold&) = delete;
    ModuleLockHold& operator=(const ModuleLockHold&) = delete;
    ~ModuleLockHold() { release(); }

    void release() {
        if (!released_.exchange(true)) lock_->release();
    }

  private:
    std::shared_ptr<ModuleLock> lock_;
    std::atomic<bool> released_{false};
};

}  // namespace orvane
