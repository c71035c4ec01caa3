#include "orvanerfid/link/ReplyQueue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "LinkTestSupport.h"

namespace orvane {
namespace {

std::vector<int> drain(ReplyQueue<int>& queue) {
    std::vector<int> out;
    while (auto reply = queue.take())
        out.push_back(*reply);
    return out;
}

TEST(ReplyQueue, UnclaimedRepliesGoBackToTheTailInTheOrderSeen) {
    ReplyQueue<int> queue;
    for (int v : {1, 2, 3, 4})
        queue.push(v);
    std::vector<int> seen;
    const bool done = queue.serve(TimeoutControl(1000), [&](int& reply) {
        seen.push_back(reply);
        return reply == 3 ? ReplyVerdict::done : ReplyVerdict::putBack;
    });
    EXPECT_TRUE(done);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    // 4 was never taken; 1 and 2 went behind it.
    EXPECT_EQ(drain(queue), (std::vector<int>{4, 1, 2}));
}

TEST(ReplyQueue, AWaitingServeWakesForALaterArrivalAndEndsAtItsTimeout) {
    ReplyQueue<int> queue;
    std::thread producer([&] {
        Clock::sleepForMs(20);
        queue.push(7);
        queue.push(8);
    });
    std::vector<int> taken;
    EXPECT_TRUE(queue.serve(TimeoutControl(5000), [&](int& reply) {
        taken.push_back(reply);
        return taken.size() == 2 ? ReplyVerdict::done : ReplyVerdict::taken;
    }));
    producer.join();
    EXPECT_EQ(taken, (std::vector<int>{7, 8}));

    queue.push(1);
    const TimeoutControl timeout(40);
    EXPECT_FALSE(queue.serve(timeout, [](int&) { return ReplyVerdict::putBack; }));
    EXPECT_GE(timeout.elapsedMs(), 40.0);
    EXPECT_EQ(queue.count(), 1u);

    // A timeout of 0 has passed by the first test, even with a reply waiting.
    int examined = 0;
    EXPECT_FALSE(queue.serve(TimeoutControl(0), [&](int&) {
        ++examined;
        return ReplyVerdict::done;
    }));
    EXPECT_EQ(examined, 0);
}

TEST(ReplyQueue, PurgeDropsOnlyMatchingReplies) {
    ReplyQueue<int> queue;
    for (int v : {5, 6, 5, 7})
        queue.push(v);
    EXPECT_EQ(queue.purge([](int v) { return v == 5; }), 2u);
    EXPECT_EQ(drain(queue), (std::vector<int>{6, 7}));
    queue.push(1);
    queue.clear();
    EXPECT_EQ(queue.count(), 0u);
}

TEST(ReplyQueue, AFloodOfUnclaimedRepliesKeepsTheNewestUpToItsCapacity) {
    auto log = test::LogCapture::install();
    ReplyQueue<int> queue(100);
    for (int v = 0; v < 2100; ++v)
        queue.push(v);
    EXPECT_EQ(queue.count(), 100u);
    EXPECT_EQ(queue.take(), 2000);
    // The first drop and every thousandth.
    EXPECT_EQ(log->count("Dropped the oldest unclaimed reply", LogLevel::error), 3);
    EXPECT_GT(ReplyQueue<int>::kCapacity, 255u * 4);
}

}  // namespace
}  // namespace orvane
