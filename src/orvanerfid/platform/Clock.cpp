#include "orvanerfid/platform/Clock.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "orvanerfid/platform/ClockPause.h"

namespace orvane {
namespace {

using Rep = Clock::duration::rep;

// Real steady time when the process first asked for the time; clock time counts from here.
const std::chrono::steady_clock::time_point& epoch() {
    static const auto start = std::chrono::steady_clock::now();
    return start;
}

// The clock's course since the last speed change: at real time `realBase` (since the epoch) it
// read `clockBase`, and it has run at `speed` since. A change writes the three under `version`,
// odd while it writes (a sequence lock): a reader takes a set whose version was even and did not
// move meanwhile, so it never mixes two changes and takes no lock. Changes are rare and take
// `gChangeLock` among themselves.
struct Course {
    std::atomic<uint64_t> version{0};
    std::atomic<double> speed{1.0};
    std::atomic<Rep> realBase{0};
    std::atomic<Rep> clockBase{0};
};

Course gCourse;
std::mutex gChangeLock;
// See setClockReadPause.
std::atomic<void (*)()> gReadPause{nullptr};

Rep realNow() noexcept {
    return (std::chrono::steady_clock::now() - epoch()).count();
}

// The clock time that `real` of real time lasts at `speed`.
Rep advance(Rep real, double speed) noexcept {
    return speed == 1.0 ? real : static_cast<Rep>(static_cast<double>(real) * speed);
}

}  // namespace

Clock::time_point Clock::now() noexcept {
    for (;;) {
        const uint64_t version = gCourse.version.load(std::memory_order_acquire);
        if (version % 2 != 0) {
            std::this_thread::yield();
            continue;
        }
        // Read after the version: a change published before it has a base no later than this.
        const Rep real = realNow();
        if (const auto pause = gReadPause.load(std::memory_order_acquire)) pause();
        // Acquire loads: a value a change under way stored brings that change's odd version with
        // it, so the version read again below has moved.
        const double speed = gCourse.speed.load(std::memory_order_acquire);
        const Rep realBase = gCourse.realBase.load(std::memory_order_acquire);
        const Rep clockBase = gCourse.clockBase.load(std::memory_order_acquire);
        if (gCourse.version.load(std::memory_order_relaxed) != version) continue;
        return time_point(duration(clockBase + advance(real - realBase, speed)));
    }
}

std::chrono::steady_clock::duration Clock::realDuration(duration d) noexcept {
    const double speed = gCourse.speed.load(std::memory_order_relaxed);
    if (speed == 1.0) return d;
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double, duration::period>(static_cast<double>(d.count()) / speed));
}

void Clock::sleepFor(duration d) {
    if (d <= duration::zero()) return;
    std::this_thread::sleep_for(realDuration(d));
}

double Clock::elapsedMs(time_point start) noexcept {
    return std::chrono::duration<double, std::milli>(now() - start).count();
}

void Clock::setSpeed(double factor) {
    if (!(factor > 0.0)) return;
    std::lock_guard guard(gChangeLock);
    // Odd while the course changes. A read-modify-write: every reader sees it before the real time
    // is read below, so none takes a later real time under the old course (the clock never goes
    // back).
    const uint64_t version = gCourse.version.fetch_add(1, std::memory_order_acq_rel);
    // The clock reads on from where it is now, at the new speed.
    const Rep real = realNow();
    const double speed = gCourse.speed.load(std::memory_order_relaxed);
    const Rep realBase = gCourse.realBase.load(std::memory_order_relaxed);
    const Rep clockBase = gCourse.clockBase.load(std::memory_order_relaxed);
    gCourse.clockBase.store(clockBase + advance(real - realBase, speed), std::memory_order_release);
    gCourse.realBase.store(real, std::memory_order_release);
    gCourse.speed.store(factor, std::memory_order_release);
    gCourse.version.store(version + 2, std::memory_order_release);
}

void setClockReadPause(void (*pause)()) {
    gReadPause.store(pause, std::memory_order_release);
}

double Clock::speed() noexcept {
    return gCourse.speed.load(std::memory_order_relaxed);
}

}  // namespace orvane
