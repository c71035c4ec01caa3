#pragma once

// The UHF object's module lock: a binary semaphore that one thread takes and another releases
// (an operation takes it on its caller's thread and its work item releases it on a pool
// thread). Each thread that works under it marks so in a thread-local, so that a call made from
// inside a callback on that very thread is refused instead of waiting for a release that cannot
// come, and so that the reader tells no event to the application from that thread, without a
// lock and without the UHF object.
//
// Threads: every member is safe from any thread. `acquire` blocks while another operation holds
// the lock; nothing else blocks. The marks are per thread: each thread sets and clears its own.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace orvane {

namespace module_lock_detail {
// The lock the calling thread works under, if any (only compared, never dereferenced).
inline thread_local const void* tWorksUnder = nullptr;
}  // namespace module_lock_detail

class ModuleLock {
  public:
    enum class Take { taken, reentrant };
    // Takes the lock, waiting for it as long as it takes; without taking it, at once,
    // `reentrant` when the calling thread works under the lock.
    Take acquire() {
        if (module_lock_detail::tWorksUnder == this) return Take::reentrant;
        std::unique_lock guard(mutex_);
        released_.wait(guard, [&] { return !held_; });
        held_ = true;
        module_lock_detail::tWorksUnder = this;
        return Take::taken;
    }
    // The calling thread stops working under the lock (the operation hops to its work item, or
    // waits for its driver's answer elsewhere); another thread's mark is left in place.
    void handOff() const { unmark(); }
    // The calling thread (the work item's, or the one that ends the operation) works under it.
    void adopt() { module_lock_detail::tWorksUnder = this; }
    void release() {
        unmark();
        {
            std::lock_guard guard(mutex_);
            held_ = false;
        }
        released_.notify_one();
    }
    // Whether the calling thread works under any module lock.
    static bool worksOnThisThread() { return module_lock_detail::tWorksUnder != nullptr; }
    bool isHeld() const {
        std::lock_guard guard(mutex_);
        return held_;
    }

  private:
    void unmark() const {
        if (module_lock_detail::tWorksUnder == this) module_lock_detail::tWorksUnder = nullptr;
    }

    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = false;
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
