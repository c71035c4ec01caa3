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

    // A timeout of 0 has passed by the first look, which still takes a reply queued by then.
    int examined = 0;
    EXPECT_TRUE(queue.serve(TimeoutControl(0), [&](int&) {
        ++examined;
        return ReplyVerdict::done;
    }));
    EXPECT_EQ(examined, 1);
    // With none queued it ends at that look.
    EXPECT_FALSE(queue.serve(TimeoutControl(0), [](int&) { return ReplyVerdict::done; }));
}

// A send that looks only after its deadline (its thread woke late) still takes a reply queued by
// the deadline, and never one queued after it. The send is held inside the examination of reply
// 1 while reply 2 is queued and its deadline passes (the test moves the deadline to that moment:
// a restart with timeout 0), and reply 3 is queued after it. Then its one last turn examines 2
// and 1, never 3, which stays queued.
TEST(ReplyQueue, TheTurnAfterTheDeadlineTakesOnlyTheRepliesQueuedByIt) {
    const struct {
        const char* name;
        int wanted;
        bool done;
        std::vector<int> seen;
        std::vector<int> left;
    } rows[] = {
        {"the reply queued before the deadline", 2, true, {1, 2}, {3, 1}},
        {"the reply queued after the deadline", 3, false, {1, 2, 1}, {2, 3, 1}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ReplyQueue<int> queue;
        queue.push(1);
        test::Gate gate;
        gate.close();
        TimeoutControl timeout(120000);
        std::vector<int> seen;
        bool done = false;
        std::thread server([&] {
            done = queue.serve(timeout, [&](int& reply) {
                seen.push_back(reply);
                if (seen.size() == 1) gate.pass();
                return reply == row.wanted ? ReplyVerdict::done : ReplyVerdict::putBack;
            });
        });
        // Whatever fails, the send is let go, finds the reply it wants and is joined.
        struct Release {
            test::Gate& gate;
            ReplyQueue<int>& queue;
            int wanted;
            std::thread& server;
            ~Release() {
                if (!server.joinable()) return;
                queue.push(wanted);
                gate.open();
                server.join();
            }
        } release{gate, queue, row.wanted, server};
        ASSERT_TRUE(test::waitUntil([&] { return gate.waiting() == 1; }));
        queue.push(2);
        // The send's thread is held, so it reads its timeout only after the gate opens.
        timeout.resetTime();
        timeout.setTimeout(0);
        ASSERT_TRUE(test::waitUntil([&] { return timeout.isTimeout(); }));
        queue.push(3);
        gate.open();
        server.join();
        EXPECT_EQ(done, row.done);
        EXPECT_EQ(seen, row.seen);
        EXPECT_EQ(drain(queue), row.left);
    }
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

// A purge or a clear made while a send examines a reply (out of the queue meanwhile) judges that
// reply too: one the purge matches, or any after a clear, is not put back; one it does not match
// goes back. The send is held inside its examination until the purge is waiting for it (the
// queue's count of held purges has gone up) or the clear has returned, so the verdict never
// depends on which thread the scheduler runs first: a purge that judged the queue without the
// examined reply, or a clear that let it go back, leaves 5 in the queue every run.
TEST(ReplyQueue, APurgeJudgesTheReplyASendIsExamining) {
    const struct {
        const char* name;
        bool clears;
        int purged;
        std::vector<int> left;
    } rows[] = {
        {"a purge that matches it", false, 5, {6}},
        {"a purge that does not match it", false, 7, {5, 6}},
        {"a clear", true, 0, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ReplyQueue<int> queue;
        queue.push(5);
        queue.push(6);
        test::Gate gate;
        gate.close();
        std::thread server([&] {
            // One turn: each reply is examined and put back (the first held at the gate); then
            // the serve ends.
            queue.serve(
                TimeoutControl(120000),
                [&](int&) {
                    gate.pass();
                    return ReplyVerdict::putBack;
                },
                [] { return true; });
        });
        // Whatever fails, the examiner is let go and both threads are joined.
        std::thread purger;
        struct Release {
            test::Gate& gate;
            std::thread& server;
            std::thread& purger;
            ~Release() {
                gate.open();
                if (server.joinable()) server.join();
                if (purger.joinable()) purger.join();
            }
        } release{gate, server, purger};
        ASSERT_TRUE(test::waitUntil([&] { return gate.waiting() == 1; }));
        purger = std::thread([&] {
            if (row.clears) {
                queue.clear();
            } else {
                queue.purge([&](int v) { return v == row.purged; });
            }
        });
        if (row.clears) {
            // A clear does not wait for the examination: it has been made once it returns.
            purger.join();
        } else {
            ASSERT_TRUE(test::waitUntil([&] { return queue.heldPurges() == 1; }));
        }
        gate.open();
        server.join();
        if (purger.joinable()) purger.join();
        EXPECT_EQ(drain(queue), row.left);
        EXPECT_EQ(queue.heldPurges(), row.clears ? 0u : 1u);
    }
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
