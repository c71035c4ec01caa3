// The reader's event line on its own: what a closing connection keeps, and who waits for room.

#include "orvanerfid/reader/EventSequence.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ReaderTestSupport.h"
#include "orvanerfid/uhf/ModuleLock.h"

namespace orvane::test {
namespace {

using Kind = EventSequence::Kind;

class EventSequenceTest : public ::testing::Test {
  protected:
    // Queues an event that records `name` (never told on this thread).
    void post(Kind kind, const std::string& name) {
        line->post(
            kind, false, [] {},
            [this, name] { return EventSequence::Task([this, name] { told.add(name); }); });
    }
    // Holds the line with an event that waits for `unblock`.
    void block() {
        post(Kind::other, "block");
        line->post(
            Kind::other, false, [] {},
            [this] {
                return EventSequence::Task([future = gate.get_future().share()] { future.wait(); });
            });
    }
    void unblock() { gate.set_value(); }

    std::shared_ptr<EventSequence> line = std::make_shared<EventSequence>();
    std::promise<void> gate;
    CallLog told;
};

TEST_F(EventSequenceTest, AClosedLineDropsItsTagsAndTellsEverythingElseInOrder) {
    block();
    post(Kind::tag, "tag 1");
    post(Kind::other, "stop");
    post(Kind::tag, "tag 2");
    line->close();
    post(Kind::tag, "tag 3");
    post(Kind::other, "battery");
    unblock();
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    EXPECT_EQ(told.lines(), (std::vector<std::string>{"block", "stop", "battery"}));

    line->open();
    post(Kind::tag, "tag 4");
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
    EXPECT_EQ(told.lines().back(), "tag 4");
}

TEST_F(EventSequenceTest, AFullLineHoldsBackOnlyThreadsThatMayWaitUntilItCloses) {
    block();
    for (std::size_t i = 0; i < EventSequence::kCapacity; ++i)
        post(Kind::tag, "tag");
    ASSERT_TRUE(waitUntil([&] { return line->waiting() == EventSequence::kCapacity; }));

    auto waiter = std::async(std::launch::async, [&] { line->awaitRoom(); });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    // The thread that works under a UHF lock never waits.
    ModuleLock lock;
    ASSERT_EQ(lock.acquire(), ModuleLock::Take::taken);
    line->awaitRoom();
    lock.release();

    line->close();
    EXPECT_EQ(waiter.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    unblock();
    ASSERT_TRUE(waitUntil([&] { return line->isIdle(); }));
}

}  // namespace
}  // namespace orvane::test
