#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "orvanerfid/platform/Clock.h"

namespace orvane {

// A counted wake-up: waiters remember the count they last saw and sleep until it moves or a
// clock-scaled time has passed, so a notification between the look and the wait is never lost.
// Thread-safe.
class Signal {
  public:
    uint64_t count() const {
        std::lock_guard guard(lock_);
        return count_;
    }
    void notify() {
        {
            std::lock_guard guard(lock_);
            ++count_;
        }
        changed_.notify_all();
    }
    // Waits until the count differs from `seen` or `maxWait` has passed; true when it moved.
    bool waitFor(uint64_t seen, Clock::duration maxWait) {
        std::unique_lock lock(lock_);
        return Clock::waitFor(changed_, lock, maxWait, [&] { return count_ != seen; });
    }

  private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    uint64_t count_ = 0;
};

}  // namespace orvane
