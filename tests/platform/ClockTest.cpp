#include "orvanerfid/platform/Clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>

#include "orvanerfid/platform/ClockPause.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

using Real = std::chrono::steady_clock;

// Puts the speed back to 1 whatever the test found.
struct FullSpeedAtEnd {
    ~FullSpeedAtEnd() { Clock::setSpeed(1.0); }
};

// A speed change keeps the clock where it was: read right before and right after the change, the
// clock moves on by no more than the real time between the two reads at the faster of the two
// speeds, and never back. Each change comes after real time has passed at the first speed, so a
// clock that rescaled all the time since the process started would jump by much more.
TEST(Clock, ASpeedChangeKeepsTheTimeWhereItWas) {
    const FullSpeedAtEnd restore;
    const struct {
        double from;
        double to;
    } cases[] = {{1.0, 0.25}, {0.25, 1.0}, {1.0, 20.0}, {20.0, 0.001}, {0.001, 1.0}, {4.0, 4.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        Clock::setSpeed(c.from);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto realBefore = Real::now();
        const auto before = Clock::now();
        Clock::setSpeed(c.to);
        const auto after = Clock::now();
        const auto realAfter = Real::now();
        EXPECT_EQ(Clock::speed(), c.to);
        // In clock ticks; one microsecond of slack for the rounding of scaled time.
        const auto moved = (after - before).count();
        const auto bound =
            static_cast<double>((realAfter - realBefore).count()) * std::max(c.from, c.to) +
            static_cast<double>(Clock::duration(std::chrono::microseconds(1)).count());
        EXPECT_GE(moved, 0);
        EXPECT_LE(static_cast<double>(moved), bound);
    }
}

// A thread that reads the clock while the speed changes again and again never sees it go back.
TEST(Clock, ReadersNeverSeeTheTimeGoBackAcrossSpeedChanges) {
    const FullSpeedAtEnd restore;
    std::atomic<bool> done{false};
    std::atomic<long> backwards{0};
    std::atomic<long> reads{0};
    std::thread reader([&] {
        auto last = Clock::now();
        while (!done.load()) {
            const auto now = Clock::now();
            if (now < last) ++backwards;
            last = now;
            ++reads;
        }
    });
    const double speeds[] = {0.25, 1.0, 20.0, 0.001, 4.0};
    for (int round = 0; round < 200; ++round) {
        Clock::setSpeed(speeds[round % std::size(speeds)]);
        // Lets the reader read at this speed before the next change.
        const long seen = reads.load();
        while (reads.load() < seen + 10)
            std::this_thread::yield();
    }
    done = true;
    reader.join();
    EXPECT_EQ(backwards.load(), 0);
}

// The read of the clock held at its pause, once, on the thread that sets this, and the gate that
// holds it.
thread_local bool tHoldThisRead = false;
test::Gate* gHeldReads = nullptr;
void holdOneRead() {
    if (std::exchange(tHoldThisRead, false)) gHeldReads->pass();
}

// A read of the clock that a speed change overtakes (held between its read of the real time and
// its read of the clock's course while the speed changes) reads both again: it never measures
// the real time it took under the old course on the new one, which would put it before a read
// that ended before it.
TEST(Clock, AReadOvertakenByASpeedChangeIsNeverEarlierThanOneThatEndedBeforeIt) {
    const FullSpeedAtEnd restore;
    Clock::setSpeed(1.0);
    test::Gate gate;
    gate.close();
    gHeldReads = &gate;
    setClockReadPause(&holdOneRead);
    Clock::time_point heldRead;
    std::thread reader([&] {
        tHoldThisRead = true;
        heldRead = Clock::now();
    });
    // On every way out the held read goes on and no read is held any more.
    const std::shared_ptr<void> ends(nullptr, [&](void*) {
        gate.open();
        if (reader.joinable()) reader.join();
        setClockReadPause(nullptr);
    });
    ASSERT_TRUE(test::waitUntil([&] { return gate.waiting() == 1; }));
    // Real time passes between the held read's real time and the change (which, at the new speed,
    // is worth a second of clock time).
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Clock::setSpeed(1000.0);
    const auto endedFirst = Clock::now();
    gate.open();
    reader.join();
    EXPECT_GE(heldRead, endedFirst);
}

}  // namespace
}  // namespace orvane
