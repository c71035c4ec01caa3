#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "orvanerfid/platform/Dispatch.h"

namespace orvane {

// The runner of a protocol's receive loop: one work item per start, its owner held weakly.
//
// The loop repeats: lock the owner (the loop ends when it is gone), test its *own* work item,
// run one turn (take the transport's bytes, cut every complete frame buffered, in arrival order,
// queue the replies and `defer` the deliveries to the application), release the turn lock,
// deliver what the turn deferred, release the owner, then rest (wait for the transport's next
// bytes). When it ends (cancelled, or the turn says so) it runs `ended`; a loop whose owner is
// gone just ends. Whatever a turn, a hook or a delivery throws is logged at ERROR and the loop
// goes on.
//
// Threads: `start`, `stop` and the queries are safe from any thread. Turns and the `ended` hook
// of all loops of one runner run under one turn lock, so two loops never drain the same buffers,
// even while a replaced loop finishes the turn it began. Deliveries run on a loop's thread with
// no lock of the runner held, one at a time and in the order they were deferred, also across a
// replaced loop and its successor. `start` cancels the earlier loop and, unless called from
// that loop's own thread (a delegate inside a delivery), waits for it to end. The `ended` hook
// learns whether its loop is still the current one: a replaced loop must leave the buffers to
// its successor. Every loop started finishes once (`finished`) while its owner lives, also one
// stopped or replaced before it ran, after everything it deferred and the count of what it
// dropped.
class ReceiveLoop {
  public:
    struct Hooks {
        // One turn; false ends the loop.
        std::function<bool(const DispatchWorkItem& self)> turn;
        // The rest between turns, run without the owner held (it must not touch the owner);
        // returns early when the item is cancelled and the owner wakes it.
        std::function<void(const DispatchWorkItem& self)> rest;
        // Runs once when the loop ends while its owner is alive; `current` is false when a newer
        // loop replaced it.
        std::function<void(bool current)> ended;
        // Optional: runs on the caller of `start`, after the earlier loop ended (or, from that
        // loop's own thread, was cancelled) and before the new one is queued.
        std::function<void()> prepare;
        // Optional: runs once the loop has ended, while its owner is alive: delivered after every
        // delivery the loop deferred and after `endedTags` has counted what it dropped, on the
        // thread that delivers them (the loop's own, as a rule); at once on the queue's thread
        // for a loop stopped or replaced before it ran.
        std::function<void()> finished;
        // Optional: `count` tag reports dropped because the loop whose turn deferred them (named
        // by its `mark`) was stopped or replaced (see `defer`), or void (`dropTagReport`); runs
        // on the delivering thread, before the next delivery.
        std::function<void(uint64_t mark, std::size_t count)> endedTags;
        // What the owner names this loop by, handed back with its dropped tag reports.
        uint64_t mark = 0;
    };

    // How long `start` waits for a replaced loop (a turn may be blocked in a slow delegate).
    static constexpr Clock::duration kReplaceWait = std::chrono::seconds(5);

    // `context` is what the loops work for (their protocol), told by `contextOnThisThread`.
    ReceiveLoop(std::shared_ptr<DispatchQueue> queue, const void* context)
        : queue_(std::move(queue)), context_(context) {}
    ReceiveLoop(const ReceiveLoop&) = delete;
    ReceiveLoop& operator=(const ReceiveLoop&) = delete;
    ~ReceiveLoop();

    // Launches a new loop for `owner`, whose hooks run only while the owner can be locked.
    void start(std::weak_ptr<void> owner, Hooks hooks);
    // Cancels the current loop; it ends at its next test of its own item. The caller then wakes
    // the loop's rest (the owner knows what it waits on).
    void stop();
    bool isRunning() const;
    // Loops that have started and not yet ended, replaced ones included.
    int loopsRunning() const { return running_.load(); }

    // What becomes of a delivery whose loop has been stopped or replaced by the time its turn
    // comes: it runs (`run`), or, when it only means something to the connection that has ended
    // (a reply, the state of that connection's inventory), it is dropped (`drop`), or dropped and
    // counted (`count`, a tag report, through the `endedTags` hook). A stopped loop thus ends at
    // once instead of working through the backlog it had parsed, and none of it reaches the next
    // connection.
    enum class IfEnded : uint8_t { run, drop, count };
    // From a turn: queues `delivery`, run after the turn lock is released, in the order queued.
    // `application` is false for library work that must keep its place behind the deliveries
    // (a reply that follows its event) but may go ahead of them while a delivery blocks.
    void defer(std::function<void()> delivery, bool application = true,
               IfEnded ifEnded = IfEnded::run);
    // From a tag report's delivery that finds its report void after all (its buffers were reset,
    // or its loop stopped, since the turn that deferred it): the report is counted with those
    // of stopped loops, through the `endedTags` hook at the end of the delivery pass.
    void dropTagReport();
    // Runs the queued deliveries on the calling thread, unless a thread is delivering for this
    // runner already (it takes them, in order). The loop calls it after each turn.
    void deliver();
    // Whether the calling thread is delivering for this runner (a delegate on the receive
    // thread).
    bool inDelivery() const;
    // Whether the calling thread runs a loop of this runner (its turns, deliveries, rest and
    // hooks, and the log records they write).
    bool runsOnThisThread() const;
    // The context of the runner whose loop runs on the calling thread, if any.
    static const void* contextOnThisThread();
    // Whether the calling thread works for a loop (of any runner) that has been stopped or
    // replaced: in a delivery, the loop whose turn deferred it; elsewhere on a loop's thread, that
    // loop. What such a loop still delivers belongs to a connection that has ended. A
    // thread-local and one atomic load, for the tag path.
    static bool onEndedLoop();
    // From a tag report's delivery: when `onEndedLoop`, counts the report as dropped (see
    // `dropTagReport`) and answers true.
    static bool dropOnEndedLoop();
    // From a delivery: runs one turn of the current loop at once and then the library work
    // queued (not the deliveries to the application, which keep their order), so a delegate
    // that waits for what only the loop can bring (the reply of a send it waits behind) keeps
    // it coming. Does nothing elsewhere or when the current loop is cancelled.
    void turnFromDelivery();

  private:
    static void run(const std::shared_ptr<ReceiveLoop::Hooks>& hooks,
                    const std::weak_ptr<void>& owner, const DispatchWorkItem& self,
                    ReceiveLoop* runner, uint64_t loop);
    bool isCurrent(const DispatchWorkItem& self) const;
    // Runs the turn hook, containing what it throws (which does not end the loop).
    bool guardedTurn(const Hooks& hooks, const DispatchWorkItem& self);
    // Under `deferredLock_`: counts `count` dropped tag reports of the loop marked `mark`.
    void noteDropped(uint64_t mark, std::size_t count);
    // Hands the counts of dropped tag reports to `endedTags`, with no lock held.
    void passDropped(const std::vector<std::pair<uint64_t, std::size_t>>& dropped);

    const std::shared_ptr<DispatchQueue> queue_;
    const void* const context_;
    mutable std::mutex itemLock_;
    std::shared_ptr<DispatchWorkItem> item_;
    // Each loop's number, the current loop's, and the number of the loop that is current and not
    // stopped (0: none), read without `itemLock_` by `onEndedLoop`.
    std::atomic<uint64_t> loops_{0};
    uint64_t itemLoop_ = 0;
    uint64_t itemMark_ = 0;
    std::atomic<uint64_t> live_{0};
    std::shared_ptr<Hooks> hooks_;
    // Held for each turn and for `ended`, by every loop of this runner.
    std::mutex turnLock_;
    std::atomic<int> running_{0};

    std::mutex deferredLock_;
    struct Deferred {
        std::function<void()> call;
        bool application;
        IfEnded ifEnded;
        // The loop whose turn deferred it (0: none), and that loop's mark.
        uint64_t loop;
        uint64_t mark;
    };
    std::deque<Deferred> deferred_;
    bool delivering_ = false;
    // Tag reports dropped, per loop mark in the order dropped, not yet passed to `endedTags`.
    std::vector<std::pair<uint64_t, std::size_t>> droppedTags_;
};

}  // namespace orvane
