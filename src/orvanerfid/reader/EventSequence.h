#pragma once

// The line in which a reader's events reach the application: one event at a time, in the order
// they were raised, across operations. An event raised while the line is empty is told at once
// on the raising thread (the protocol's receive thread, for most); one raised while an earlier
// event is still being told or waits, or by a thread that must not run application code (one
// that works under the UHF object's lock), waits in the line and is told by one global-queue
// thread, which tells the line out in order.
//
// The line is bounded. The device asks for room (`awaitRoom`) on its receive thread before each
// event, without holding the reader: while `kCapacity` events wait, the receive thread waits
// too, so a slow application slows the reader's link instead of filling memory. A thread that
// must not wait (one under the UHF lock, one holding a send turn, the one telling this line)
// adds its few events past the bound.
//
// `close` ends the waits for room at once and drops the tag reports still waiting and those
// raised until `open`: the connection is ending and nobody waits for the application to catch
// up. Every other event is kept and told, so the application hears the last action state.
//
// Threads: every member is safe from any thread. `awaitRoom` is the only one that blocks, and
// only on the receive thread; posts never block. Events are told with no lock of this class
// held; what they throw is caught and logged. `mutex_` guards the waiting events, their order
// against the action state a post sets (`post` with `underOrder`) and the room waits; the fast
// path (an empty line) takes no lock and allocates nothing: one compare-exchange claims the line
// and one gives it back.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

#include "orvanerfid/devices/EventRoom.h"

namespace orvane {

class EventSequence : public EventRoom, public std::enable_shared_from_this<EventSequence> {
  public:
    using Task = std::function<void()>;
    // Tag reports are the flood of an inventory; only they are dropped when the line closes.
    enum class Kind : uint8_t { tag, other };

    // Events that may wait in the line: about three seconds of a reader streaming at the top
    // rate of its link (a few thousand tag reports a second).
    static constexpr std::size_t kCapacity = 8192;

    // Tells an event in order: `now()` here and now when `mayRunHere` and the line is empty;
    // else the task `make()` returns waits its turn. `make` runs only then, so an event told
    // at once costs no allocation.
    template <class Now, class Make>
    void post(Kind kind, bool mayRunHere, Now now, Make make) {
        if (mayRunHere && claimEmpty()) {
            tellHere(&invoke<Now>, &now);
            giveBack();
            return;
        }
        enqueue(kind, mayRunHere, make(), nullptr);
    }
    // Runs `underOrder` (no application code) where the event takes its place in the line, so
    // that what it stores changes in the order the application hears of it; `startsOperation`
    // lets a full line warn again.
    void post(Task task, bool mayRunHere, const std::function<void()>& underOrder,
              bool startsOperation);

    void awaitRoom() override;
    // A connection begins: the line takes tag reports again.
    void open();
    // The connection ends (see above).
    void close();

    // Events waiting to be told, and whether nothing is being told or waits.
    std::size_t waiting() const { return static_cast<std::size_t>(state_.load() >> kCountShift); }
    bool isIdle() const { return (state_.load() & ~kClosed) == 0; }

  private:
    struct Entry {
        Task task;
        bool tag;
    };
    // The state word: a teller is at work (telling at once, or a drain scheduled), the line is
    // closed, and how many events wait.
    static constexpr uint64_t kBusy = 1;
    static constexpr uint64_t kClosed = 2;
    static constexpr int kCountShift = 2;
    static constexpr uint64_t kOne = uint64_t{1} << kCountShift;

    template <class F>
    static void invoke(void* f) {
        (*static_cast<F*>(f))();
    }
    bool claimEmpty() {
        uint64_t empty = 0;
        return state_.compare_exchange_strong(empty, kBusy, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }
    // Tells one event on this thread, marked as this line's teller.
    void tellHere(void (*call)(void*), void* context) noexcept;
    // The teller is done: the line is free again, or a drain takes over what waits.
    void giveBack();
    void enqueue(Kind kind, bool mayRunHere, Task task, const std::function<void()>* underOrder);
    void drain();
    // Whether the calling thread may wait for room (see above).
    bool mayWait() const;

    std::atomic<uint64_t> state_{0};
    mutable std::mutex mutex_;
    std::condition_variable room_;
    std::deque<Entry> pending_;
    int roomWaiters_ = 0;
    // Whether a full line has been reported since the last operation started.
    bool warned_ = false;
};

}  // namespace orvane
