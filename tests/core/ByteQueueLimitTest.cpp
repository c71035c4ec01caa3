#include <gtest/gtest.h>
#include <sys/mman.h>

#include <climits>
#include <span>
#include <vector>

#include "orvanerfid/core/ByteQueue.h"

namespace orvane {
namespace {

TEST(ByteQueueLimits, APushTheCountCannotHoldIsRefusedUntouched) {
    // INT_MAX bytes of address space, never touched: the push must be refused before any copy
    // (the growth arithmetic used to overflow and corrupt the ring here).
    void* area =
        mmap(nullptr, INT_MAX, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(area, MAP_FAILED);
    const std::span<const uint8_t> huge(static_cast<const uint8_t*>(area), INT_MAX);
    ByteQueue q;
    const std::vector<uint8_t> some = {1, 2, 3};
    q.enqueue(some, 0, 3);
    EXPECT_EQ(q.enqueue(huge, 0, INT_MAX), 3);
    EXPECT_EQ(q.enqueue(huge, 0, INT_MAX - 3), 3);
    EXPECT_EQ(q.capacity(), ByteQueue::DEFAULT_QUEUE_SIZE);
    std::vector<uint8_t> out(8);
    EXPECT_EQ(q.dequeue(out, 0, 8), 3);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 3), some);
    munmap(area, INT_MAX);
}

TEST(ByteQueueLimits, MakeRoomDropsOnlyTheOldestExcessAcrossTheWrap) {
    ByteQueue q;
    std::vector<uint8_t> filler(static_cast<std::size_t>(q.capacity() - 4), 0);
    q.enqueue(filler, 0, static_cast<int>(filler.size()));
    q.dequeue(filler, 0, static_cast<int>(filler.size()));
    std::vector<uint8_t> held(10);
    for (std::size_t i = 0; i < held.size(); ++i)
        held[i] = static_cast<uint8_t>(i);
    q.enqueue(held, 0, 10);  // wraps past the end of the storage

    EXPECT_EQ(q.makeRoom(2, 12), 0);
    EXPECT_EQ(q.makeRoom(5, 12), 3);
    EXPECT_EQ(q.count(), 7);
    EXPECT_EQ(q.peek(0), 3);
    EXPECT_EQ(q.makeRoom(100, 12), 7);  // never more than is held
    EXPECT_EQ(q.count(), 0);
    EXPECT_EQ(q.makeRoom(-1, 12), 0);
}

}  // namespace
}  // namespace orvane
