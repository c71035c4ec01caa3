#include "orvanerfid/reader/EventSequence.h"

#include <algorithm>
#include <string>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/uhf/ModuleLock.h"

namespace orvane {

namespace {

constexpr std::string_view kTag = "EventSequence";

// The line whose event this thread is telling.
thread_local const EventSequence* tTelling = nullptr;

}  // namespace

void EventSequence::tellHere(void (*call)(void*), void* context) noexcept {
    const EventSequence* const outer = std::exchange(tTelling, this);
    try {
        call(context);
    } catch (...) {
        try {
            orvLogger::error(kTag, "An event receiver threw");
        } catch (...) {
        }
    }
    tTelling = outer;
}

void EventSequence::giveBack() {
    uint64_t state = state_.load(std::memory_order_relaxed);
    for (;;) {
        if ((state >> kCountShift) != 0) {
            // Events came meanwhile: the line stays claimed for the drain that tells them.
            DispatchQueue::global()->async([self = shared_from_this()] { self->drain(); });
            return;
        }
        if (state_.compare_exchange_weak(state, state & ~kBusy, std::memory_order_release,
                                         std::memory_order_relaxed)) {
            return;
        }
    }
}

void EventSequence::post(Task task, bool mayRunHere, const std::function<void()>& underOrder,
                         bool startsOperation) {
    const std::function<void()> inOrder = [&] {
        if (startsOperation) warned_ = false;
        underOrder();
    };
    enqueue(Kind::other, mayRunHere, std::move(task), &inOrder);
}

void EventSequence::enqueue(Kind kind, bool mayRunHere, Task task,
                            const std::function<void()>* underOrder) {
    std::unique_lock guard(mutex_);
    if (underOrder) (*underOrder)();
    uint64_t state = state_.load(std::memory_order_relaxed);
    if (kind == Kind::tag && (state & kClosed)) return;
    // An empty line, closed or not, is told at once where the thread may tell.
    if (mayRunHere && (state & ~kClosed) == 0 &&
        state_.compare_exchange_strong(state, state | kBusy, std::memory_order_acquire,
                                       std::memory_order_relaxed)) {
        guard.unlock();
        tellHere(&invoke<Task>, &task);
        giveBack();
        return;
    }
    pending_.push_back({std::move(task), kind == Kind::tag});
    // Other posts wait for the mutex, and no claim is taken once the count is up: the busy bit
    // read back says whether a teller will find this event when it gives the line back.
    const uint64_t before = state_.fetch_add(kOne, std::memory_order_acq_rel);
    if (before & kBusy) return;
    state_.fetch_or(kBusy, std::memory_order_acq_rel);
    guard.unlock();
    DispatchQueue::global()->async([self = shared_from_this()] { self->drain(); });
}

void EventSequence::drain() {
    for (;;) {
        Task task;
        bool wake = false;
        {
            std::lock_guard guard(mutex_);
            if (pending_.empty()) {
                state_.fetch_and(~kBusy, std::memory_order_release);
                return;
            }
            task = std::move(pending_.front().task);
            pending_.pop_front();
            state_.fetch_sub(kOne, std::memory_order_acq_rel);
            wake = roomWaiters_ > 0;
        }
        if (wake) room_.notify_all();
        tellHere(&invoke<Task>, &task);
    }
}

bool EventSequence::mayWait() const {
    return tTelling != this && !ModuleLock::worksOnThisThread() && !BaseProtocol::holdsSendTurn();
}

void EventSequence::awaitRoom() {
    const auto hasRoom = [this] {
        const uint64_t state = state_.load(std::memory_order_acquire);
        return (state >> kCountShift) < kCapacity || (state & kClosed) != 0;
    };
    if (hasRoom() || !mayWait()) return;
    std::unique_lock guard(mutex_);
    if (hasRoom()) return;
    if (!warned_) {
        warned_ = true;
        guard.unlock();
        orvLogger::warn(kTag,
                        "The application's callbacks are slower than the reader: its events wait "
                        "for them and the reader is held back");
        guard.lock();
    }
    ++roomWaiters_;
    room_.wait(guard, hasRoom);
    --roomWaiters_;
}

void EventSequence::open() {
    state_.fetch_and(~kClosed, std::memory_order_acq_rel);
}

void EventSequence::close() {
    std::size_t dropped = 0;
    {
        std::lock_guard guard(mutex_);
        state_.fetch_or(kClosed, std::memory_order_acq_rel);
        const auto tags = std::remove_if(pending_.begin(), pending_.end(),
                                         [](const Entry& entry) { return entry.tag; });
        dropped = static_cast<std::size_t>(pending_.end() - tags);
        pending_.erase(tags, pending_.end());
        state_.fetch_sub(kOne * dropped, std::memory_order_acq_rel);
    }
    room_.notify_all();
    if (dropped > 0) {
        orvLogger::info(kTag, "The connection ended: " + std::to_string(dropped) +
                                  " tag reports were not told");
    }
}

}  // namespace orvane
