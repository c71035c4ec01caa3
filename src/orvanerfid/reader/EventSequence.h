#pragma once

// The order in which a reader's events reach the application: each event is told after every
// event posted before it in its lane, and never at the same time as another of that lane. An
// event posted while nothing of the lane is pending is told at once on the posting thread (the
// protocol's receive thread, for most); one posted while an earlier event is still being told,
// or by a thread that must not run application code (one that works under the UHF object's
// lock), is queued and told on a global-queue thread, which tells the queue out in order.
//
// An operation's start opens a new lane: it is told at once, whatever earlier events are still
// being told (an application callback may be waiting for this very operation), and every event
// posted after it follows it. The events of the earlier lane go on being told in their order.
//
// No thread ever waits for another here: a slow application callback delays the events behind
// it, never the thread that raised them.
//
// Threads: `post` and `open` are safe from any thread and never block on an application callback
// other than the one they run themselves. Tasks run with no lock of this class held; what they
// throw is caught and logged.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace orvane {

class EventSequence {
  public:
    using Task = std::function<void()>;

    // Tells `task` in order: here and now when `mayRunHere` and nothing is pending, else queued.
    void post(Task task, bool mayRunHere) { lane()->post(std::move(task), mayRunHere); }
    // Opens a new lane with `task` first (here and now when `mayRunHere`, else queued).
    void open(Task task, bool mayRunHere);

  private:
    class Lane : public std::enable_shared_from_this<Lane> {
      public:
        explicit Lane(bool busy) : busy_(busy) {}
        void post(Task task, bool mayRunHere);
        // Runs `task` first in a lane made busy: here, or queued ahead of what came meanwhile.
        void first(Task task, bool mayRunHere);

      private:
        // The teller on the posting thread is done: a drain takes over what was queued.
        void release();
        void schedule();
        void drain();

        std::mutex mutex_;
        std::deque<Task> pending_;
        // An event is being told or a drain is scheduled; while it is false nothing is pending.
        bool busy_;
    };

    std::shared_ptr<Lane> lane() {
        std::lock_guard guard(mutex_);
        return current_;
    }

    std::mutex mutex_;
    std::shared_ptr<Lane> current_ = std::make_shared<Lane>(false);
};

}  // namespace orvane
