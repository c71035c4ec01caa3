#include "orvanerfid/reader/EventSequence.h"

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/platform/Dispatch.h"

namespace orvane {

void EventSequence::logDropped() noexcept {
    try {
        orvLogger::error("EventSequence", "An event receiver threw");
    } catch (...) {
    }
}

void EventSequence::release() {
    {
        std::lock_guard guard(mutex_);
        if (pending_.empty()) {
            busy_ = false;
            return;
        }
    }
    schedule();
}

void EventSequence::schedule() {
    DispatchQueue::global()->async([self = shared_from_this()] { self->drain(); });
}

void EventSequence::drain() {
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard guard(mutex_);
            if (pending_.empty()) {
                busy_ = false;
                return;
            }
            task = std::move(pending_.front());
            pending_.pop_front();
        }
        try {
            task();
        } catch (...) {
            logDropped();
        }
    }
}

}  // namespace orvane
