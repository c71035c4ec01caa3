#pragma once

// The order in which a reader's events reach the application: each event is told after every
// event posted before it, and never at the same time as another. An event posted while nothing
// is pending is told at once on the posting thread (the protocol's receive thread, for most);
// one posted while an earlier event is still being told, or by a thread that must not run
// application code (one that works under the UHF object's lock), is queued and told on a
// global-queue thread, which tells the queue out in order. No thread ever waits for another
// here: a slow application callback delays the events behind it, never the thread that raised
// them.
//
// Threads: `post` is safe from any thread and never blocks on an application callback other
// than the one it runs itself. Tasks run with no lock of this class held; what they throw is
// caught and logged.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace orvane {

class EventSequence : public std::enable_shared_from_this<EventSequence> {
  public:
    // Tells `task` in order: here and now when `mayRunHere` and nothing is pending, else queued.
    template <class Task>
    void post(Task&& task, bool mayRunHere) {
        {
            std::lock_guard guard(mutex_);
            if (busy_) {
                pending_.emplace_back(std::forward<Task>(task));
                return;
            }
            busy_ = true;
            if (!mayRunHere) pending_.emplace_back(std::forward<Task>(task));
        }
        if (!mayRunHere) return schedule();
        try {
            task();
        } catch (...) {
            logDropped();
        }
        release();
    }

  private:
    static void logDropped() noexcept;
    // The teller on the posting thread is done: a drain takes over what was queued meanwhile.
    void release();
    // Tells the queue out on a global-queue thread.
    void schedule();
    void drain();

    std::mutex mutex_;
    std::deque<std::function<void()>> pending_;
    // An event is being told or a drain is scheduled; while it is false nothing is pending.
    bool busy_ = false;
};

}  // namespace orvane
