#include "orvanerfid/platform/Clock.h"

#include <atomic>
#include <thread>

namespace orvane {
namespace {

std::atomic<double> gSpeed{1.0};

// Real steady time when the process first asked for the time; scaled time counts from here.
const std::chrono::steady_clock::time_point& epoch() {
    static const auto start = std::chrono::steady_clock::now();
    return start;
}

}  // namespace

Clock::time_point Clock::now() noexcept {
    const auto real = std::chrono::steady_clock::now() - epoch();
    const double speed = gSpeed.load(std::memory_order_relaxed);
    if (speed == 1.0) return time_point(real);
    return time_point(
        std::chrono::duration_cast<duration>(std::chrono::duration<double, duration::period>(
            static_cast<double>(real.count()) * speed)));
}

std::chrono::steady_clock::duration Clock::realDuration(duration d) noexcept {
    const double speed = gSpeed.load(std::memory_order_relaxed);
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
    if (factor > 0.0) gSpeed.store(factor, std::memory_order_relaxed);
}

double Clock::speed() noexcept {
    return gSpeed.load(std::memory_order_relaxed);
}

}  // namespace orvane
