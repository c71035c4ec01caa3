#pragma once

// The UHF object's module lock: a binary semaphore that one thread takes and another releases
// (an operation takes it on its caller's thread and its work item releases it on a pool
// thread). Each thread that works under it marks so in a thread-local, so that a call made on
// that very thread is refused instead of waiting for a release that cannot come, without a lock
// and without the UHF object. A thread keeps one mark per lock: one that works under reader A's
// lock and takes part in an operation of another UHF object still works under A's when that
// operation hands off or ends.
//
// The lock knows nothing of the readers' receive and read threads: the pipeline refuses a call
// made on any of them before it would wait here, as the holder may be waiting for a reply only
// they bring.
//
// While a thread carries any mark, the records it logs wait for the log sink (an unscoped
// orvLogger hold, from its first mark to its last): they reach the sink on that thread when it
// drops its last mark, after the release or the hand-off, so the sink, like every application
// callback, never runs under a module lock.
//
// Threads: every member is safe from any thread. `acquire` blocks while another operation holds
// the lock; nothing else blocks, but `handOff`, `release` and the hold's `release` may call the
// log sink on the calling thread once the lock is let go: call them with no library lock held.
// The marks are per thread: each thread sets and clears its own.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "orvanerfid/core/Logger.h"

namespace orvane {

namespace module_lock_detail {
// How many locks the calling thread works under (the cheap test of the tag path), and which
// (only compared, never dereferenced).
inline thread_local std::size_t tMarkCount = 0;
inline thread_local std::vector<const void*> tMarks;

inline bool marked(const void* lock) {
    return tMarkCount != 0 && std::find(tMarks.begin(), tMarks.end(), lock) != tMarks.end();
}
inline void mark(const void* lock) {
    if (marked(lock)) return;
    tMarks.push_back(lock);
    if (tMarkCount++ == 0) orvLogger::beginHold();
}
// Hands the records held meanwhile to the sink when the thread drops its last mark.
inline void unmark(const void* lock) {
    if (tMarkCount == 0) return;
    const auto it = std::find(tMarks.begin(), tMarks.end(), lock);
    if (it == tMarks.end()) return;
    tMarks.erase(it);
    if (--tMarkCount == 0) orvLogger::endHold();
}
}  // namespace module_lock_detail

class ModuleLock {
  public:
    enum class Take { taken, reentrant };
    // Takes the lock, waiting for it as long as it takes; without taking it, at once,
    // `reentrant` when the calling thread works under the lock.
    Take acquire() {
        if (module_lock_detail::marked(this)) return Take::reentrant;
        std::unique_lock guard(mutex_);
        released_.wait(guard, [&] { return !held_; });
        module_lock_detail::mark(this);
        held_ = true;
        return Take::taken;
    }
    // The calling thread stops working under the lock (the operation hops to its work item, or
    // waits for its driver's answer elsewhere); another thread's mark is left in place.
    void handOff() const { module_lock_detail::unmark(this); }
    // The calling thread (the work item's, or the one that ends the operation) works under it.
    void adopt() const { module_lock_detail::mark(this); }
    void release() {
        {
            std::lock_guard guard(mutex_);
            held_ = false;
        }
        released_.notify_one();
        // The mark goes once the lock is free: a sink handed the held records may take it.
        module_lock_detail::unmark(this);
    }
    // Whether the calling thread works under any module lock.
    static bool worksOnThisThread() { return module_lock_detail::tMarkCount != 0; }
    bool isHeld() const {
        std::lock_guard guard(mutex_);
        return held_;
    }

  private:
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
