#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "orvanerfid/platform/Dispatch.h"

namespace orvane {

// The runner of a protocol's receive loop: one work item per start, its owner held weakly.
//
// The loop repeats: lock the owner (the loop ends when it is gone), test its *own* work item,
// run one turn (take the transport's bytes, cut and dispatch every complete frame buffered, in
// arrival order), release the owner, then rest (wait for the transport's next bytes). When it
// ends (cancelled, or the turn says so) it runs `ended`; a loop whose owner is gone just ends.
//
// Threads: `start`, `stop` and the queries are safe from any thread. Turns and the `ended` hook
// of all loops of one runner run under one turn lock, so two loops never drain the same buffers,
// even while a replaced loop finishes the turn it began. `start` cancels the earlier loop and,
// unless called from that loop's own thread (a delegate inside a turn), waits for it to end. The
// `ended` hook learns whether its loop is still the current one: a replaced loop must leave the
// buffers to its successor.
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
    };

    // How long `start` waits for a replaced loop (a turn may be blocked in a slow delegate).
    static constexpr Clock::duration kReplaceWait = std::chrono::seconds(5);

    explicit ReceiveLoop(std::shared_ptr<DispatchQueue> queue) : queue_(std::move(queue)) {}
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

  private:
    static void run(const std::shared_ptr<ReceiveLoop::Hooks>& hooks,
                    const std::weak_ptr<void>& owner, const DispatchWorkItem& self,
                    ReceiveLoop* runner);
    bool isCurrent(const DispatchWorkItem& self) const;

    const std::shared_ptr<DispatchQueue> queue_;
    mutable std::mutex itemLock_;
    std::shared_ptr<DispatchWorkItem> item_;
    // Held for each turn and for `ended`, by every loop of this runner.
    std::mutex turnLock_;
    std::atomic<int> running_{0};
};

}  // namespace orvane
