#include "orvanerfid/reader/EventSequence.h"

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/platform/Dispatch.h"

namespace orvane {

namespace {

void tell(const EventSequence::Task& task) noexcept {
    try {
        task();
    } catch (...) {
        try {
            orvLogger::error("EventSequence", "An event receiver threw");
        } catch (...) {
        }
    }
}

}  // namespace

void EventSequence::open(Task task, bool mayRunHere) {
    // Busy before anyone can post to it, so nothing overtakes the opening task.
    auto lane = std::make_shared<Lane>(true);
    {
        std::lock_guard guard(mutex_);
        current_ = lane;
    }
    lane->first(std::move(task), mayRunHere);
}

void EventSequence::Lane::post(Task task, bool mayRunHere) {
    {
        std::lock_guard guard(mutex_);
        if (busy_) {
            pending_.push_back(std::move(task));
            return;
        }
        busy_ = true;
    }
    first(std::move(task), mayRunHere);
}

void EventSequence::Lane::first(Task task, bool mayRunHere) {
    if (!mayRunHere) {
        {
            std::lock_guard guard(mutex_);
            pending_.push_front(std::move(task));
        }
        schedule();
        return;
    }
    tell(task);
    release();
}

void EventSequence::Lane::release() {
    {
        std::lock_guard guard(mutex_);
        if (pending_.empty()) {
            busy_ = false;
            return;
        }
    }
    schedule();
}

void EventSequence::Lane::schedule() {
    DispatchQueue::global()->async([self = shared_from_this()] { self->drain(); });
}

void EventSequence::Lane::drain() {
    for (;;) {
        Task task;
        {
            std::lock_guard guard(mutex_);
            if (pending_.empty()) {
                busy_ = false;
                return;
            }
            task = std::move(pending_.front());
            pending_.pop_front();
        }
        tell(task);
    }
}

}  // namespace orvane
