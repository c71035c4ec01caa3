#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "orvanerfid/Export.h"

namespace orvane {

// The library's one source of elapsed time: every timeout, poll and sleep goes through it.
//
// Time is steady (never moved by wall-clock changes). Tests may run it faster with
// `setSpeed`: at speed k, `now()` advances k milliseconds per real millisecond and
// `sleepFor(d)` returns after d / k of real time, so the library's budgets (3000 ms sends,
// 7000 ms initialisation) are exercised with the same logic in a fraction of the time. A speed
// change applies from that moment on: `now()` goes on from the time it read right before, never
// jumps and never goes back. A wait already started keeps the real length it was given. At the
// default speed 1 the behaviour is exactly real time. Thread-safe; `now()` takes no lock.
class ORVANE_API Clock {
  public:
    using duration = std::chrono::steady_clock::duration;
    using time_point = std::chrono::time_point<Clock, duration>;
    static constexpr bool is_steady = true;

    static time_point now() noexcept;
    static void sleepFor(duration d);
    static void sleepForMs(long long milliseconds) {
        sleepFor(std::chrono::milliseconds(milliseconds));
    }
    // Milliseconds elapsed since `start`, as a double with fractions.
    static double elapsedMs(time_point start) noexcept;

    // The real time that `d` of clock time lasts at the current speed.
    static std::chrono::steady_clock::duration realDuration(duration d) noexcept;

    // Waits on `cv` until `ready()` holds or `d` of clock time has passed; returns `ready()`.
    // `lock` must hold the mutex that guards what `ready` reads.
    template <typename Ready>
    static bool waitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, duration d,
                        Ready ready) {
        if (d <= duration::zero()) return ready();
        return cv.wait_for(lock, realDuration(d), ready);
    }

    // Test hook, not exported: the speed factor.
    ORVANE_INTERNAL static void setSpeed(double factor);
    static double speed() noexcept;
};

}  // namespace orvane
