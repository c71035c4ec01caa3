#include "orvanerfid/platform/TimeoutControl.h"

#include <gtest/gtest.h>

#include <thread>

namespace orvane {
namespace {

TEST(TimeoutControl, StrictlyAfterTheTimeoutAndResettable) {
    TimeoutControl t(20);
    EXPECT_FALSE(t.isTimeout());
    while (!t.isTimeout())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GT(t.elapsedMs(), 20.0);
    t.resetTime();
    EXPECT_FALSE(t.isTimeout());
    TimeoutControl zero(0);
    while (zero.elapsedMs() <= 0.0) {
    }
    EXPECT_TRUE(zero.isTimeout());
}

}  // namespace
}  // namespace orvane
