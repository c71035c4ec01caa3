#pragma once

#include "orvanerfid/Export.h"
#include "orvanerfid/platform/Clock.h"

namespace orvane {

// A millisecond deadline polled by waiting loops, on steady time. Used by one thread at a time.
class ORVANE_API TimeoutControl {
  public:
    explicit TimeoutControl(int timeout) : startTime_(Clock::now()), timeout_(timeout) {}

    int timeout() const { return timeout_; }
    void setTimeout(int timeout) { timeout_ = timeout; }
    void resetTime() { startTime_ = Clock::now(); }
    // True once strictly more than `timeout` milliseconds have passed since the start.
    bool isTimeout() const { return Clock::elapsedMs(startTime_) > timeout_; }
    double elapsedMs() const { return Clock::elapsedMs(startTime_); }
    // The last time at which `isTimeout` is still false.
    Clock::time_point deadline() const { return startTime_ + std::chrono::milliseconds(timeout_); }

  private:
    Clock::time_point startTime_;
    int timeout_;
};

}  // namespace orvane
