#pragma once

// The queue between a protocol's receive loop and its waiting sends: replies in arrival order,
// served to a waiting send one at a time, with a timed wait for the next arrival instead of a
// fixed poll. Each reply carries the clock time it was queued at.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/platform/Clock.h"
#include "orvanerfid/platform/TimeoutControl.h"

namespace orvane {

// What a send does with the reply it was shown.
enum class ReplyVerdict : uint8_t {
    putBack,  // not its reply: it goes back to the tail of the queue
    taken,    // consumed; the send keeps waiting for more
    done,     // consumed; the send is complete
};

// Received replies awaiting a send, oldest first.
//
// A waiting send examines the replies one at a time from the front; one it does not claim goes
// back to the tail, so replies that belong to nobody circulate until a later send takes them or
// the queue is cleared. When it has seen every reply held at the start of a turn without
// finishing, it waits until the receive loop queues a new one, at most `kTurn` of clock time,
// then looks at the clock and goes on. The order of matching is the one of a send that takes one
// reply per turn and sleeps between turns; only the sleep is replaced by the wait.
//
// A turn that begins after the send's deadline is its last, and it examines only the replies
// queued by the deadline: a send whose thread woke late still gets a reply that came in time,
// and never one that came after its timeout.
//
// The queue holds at most `capacity` replies (by default far more than any exchange leaves
// unclaimed): a push beyond it drops the oldest, with an ERROR line.
//
// Threads: every operation is safe from any thread; `push` is called by the receive loop, the
// rest by sends and by the loop's buffer resets. The examine function of `serve` runs on the
// send's thread without the queue's lock held, so it may log or build values freely; nothing
// is logged under the lock.
template <typename Reply>
class ReplyQueue {
  public:
    // The upper bound of one turn of a waiting send (the polling step it replaces).
    static constexpr Clock::duration kTurn = std::chrono::milliseconds(10);
    // The default bound of replies held.
    static constexpr std::size_t kCapacity = 4096;

    explicit ReplyQueue(std::size_t capacity = kCapacity) : capacity_(capacity) {}

    // Appends a reply received from the reader, stamped with the time now, and wakes the waiting
    // send; drops the oldest when the queue is full.
    void push(Reply reply) {
        uint64_t dropped = 0;
        {
            std::lock_guard guard(lock_);
            if (replies_.size() >= capacity_) {
                replies_.pop_front();
                dropped = ++dropped_;
            }
            replies_.push_back({std::move(reply), Clock::now()});
            ++arrivals_;
        }
        arrived_.notify_all();
        // One line for the first drop and one for every thousandth after it.
        if (dropped == 1 || (dropped > 0 && dropped % 1000 == 0)) {
            orvLogger::error("ReplyQueue",
                             "Dropped the oldest unclaimed reply: " + std::to_string(capacity_) +
                                 " replies wait unclaimed (" + std::to_string(dropped) +
                                 " dropped)");
        }
    }

    // The front reply, removed, or none.
    std::optional<Reply> take() {
        std::lock_guard guard(lock_);
        if (replies_.empty()) return std::nullopt;
        Reply reply = std::move(replies_.front().reply);
        replies_.pop_front();
        return reply;
    }

    std::size_t count() const {
        std::lock_guard guard(lock_);
        return replies_.size();
    }

    // Test seam, not for the library's own use: the purges that found an examination under way
    // when they began. Counted under the lock just before such a purge waits (releasing it), so
    // once a caller has seen the count go up, that purge is waiting for the examination to end.
    uint64_t heldPurges() const {
        std::lock_guard guard(lock_);
        return heldPurges_;
    }

    // Empties the queue; a reply a send is examining at this moment is not put back.
    void clear() {
        std::lock_guard guard(lock_);
        replies_.clear();
        ++clears_;
    }

    // Removes every queued reply that `matches` accepts (a request about to be written drops the
    // stale replies of its own key, so a late reply never answers it); returns how many. A reply
    // a send is examining at this moment is out of the queue: the purge waits for it to be put
    // back or taken (examining runs no application code, only the send's comparisons), so one
    // put back is judged too. Not to be called from inside `examine`.
    template <typename Matches>
    std::size_t purge(Matches&& matches) {
        std::unique_lock guard(lock_);
        if (examining_ > 0) ++heldPurges_;
        examined_.wait(guard, [&] { return examining_ == 0; });
        const std::size_t before = replies_.size();
        std::erase_if(replies_, [&](const Queued& queued) { return matches(queued.reply); });
        return before - replies_.size();
    }

    // Shows queued replies to `examine(Reply&) -> ReplyVerdict` in the order described above
    // until it answers `done` (true) or `timeout` has passed (false). The clock is read before
    // every turn; the first turn after the deadline is the last and shows only the replies
    // queued by the deadline (so a timeout of 0 takes a reply already queued, and none later).
    template <typename Examine>
    bool serve(const TimeoutControl& timeout, Examine&& examine) {
        return serve(timeout, std::forward<Examine>(examine), [] { return false; });
    }
    // The same, also ending (false) after a turn at whose end `abandon()` holds (the link
    // dropped): a reply already queued is still served.
    template <typename Examine, typename Abandon>
    bool serve(const TimeoutControl& timeout, Examine&& examine, Abandon&& abandon) {
        for (;;) {
            const Clock::time_point deadline = timeout.deadline();
            const bool last = Clock::now() > deadline;
            uint64_t seen;
            std::size_t held;
            {
                std::lock_guard guard(lock_);
                seen = arrivals_;
                held = replies_.size();
            }
            for (std::size_t i = 0; i < held; ++i) {
                std::optional<Queued> queued;
                uint64_t clears;
                {
                    std::lock_guard guard(lock_);
                    if (replies_.empty()) break;
                    // A reply queued after the deadline goes round unexamined, in its place.
                    if (last && replies_.front().arrived > deadline) {
                        replies_.push_back(std::move(replies_.front()));
                        replies_.pop_front();
                        continue;
                    }
                    queued.emplace(std::move(replies_.front()));
                    replies_.pop_front();
                    clears = clears_;
                    ++examining_;
                }
                // The examiner may move a reply it takes; one it puts back is left intact. The
                // examination ends (a purge waits for it) also when the examiner throws.
                ReplyVerdict verdict = ReplyVerdict::taken;
                auto settle = [&] {
                    if (verdict == ReplyVerdict::putBack && clears_ == clears) {
                        replies_.push_back(std::move(*queued));
                    }
                };
                // Named, not deduced: clang 14 deduces no arguments of a nested class template.
                const Examination<decltype(settle)> examination(*this, std::move(settle));
                verdict = examine(queued->reply);
                if (verdict == ReplyVerdict::done) return true;
            }
            if (last || abandon()) return false;
            std::unique_lock lock(lock_);
            Clock::waitFor(arrived_, lock, kTurn, [&] { return arrivals_ != seen; });
        }
    }

  private:
    // A reply and the time it was queued at.
    struct Queued {
        Reply reply;
        Clock::time_point arrived;
    };

    // Ends the examination of one reply when it goes: runs `settle` under the lock (puts the
    // reply back, if it goes back) and wakes a waiting purge.
    template <typename Settle>
    class Examination {
      public:
        Examination(ReplyQueue& queue, Settle settle) : queue_(queue), settle_(std::move(settle)) {}
        ~Examination() {
            {
                std::lock_guard guard(queue_.lock_);
                settle_();
                --queue_.examining_;
            }
            queue_.examined_.notify_all();
        }
        Examination(const Examination&) = delete;
        Examination& operator=(const Examination&) = delete;

      private:
        ReplyQueue& queue_;
        Settle settle_;
    };

    mutable std::mutex lock_;
    std::condition_variable arrived_;
    // Replies taken out by a serving send for its examination, and the wake of a purge waiting
    // for them.
    std::size_t examining_ = 0;
    std::condition_variable examined_;
    // The purges that found an examination under way (see heldPurges).
    uint64_t heldPurges_ = 0;
    std::deque<Queued> replies_;
    uint64_t arrivals_ = 0;
    uint64_t clears_ = 0;
    const std::size_t capacity_;
    uint64_t dropped_ = 0;
};

}  // namespace orvane
