#include <gtest/gtest.h>

#include "orvanerfid/core/ByteQueue.h"

namespace orvane {
namespace {

TEST(ByteQueue, PeekReadsAcrossTheWrapAndNeverPastTheHeldBytes) {
    ByteQueue queue;
    const int capacity = queue.capacity();
    std::vector<uint8_t> filler(static_cast<std::size_t>(capacity - 3), 0);
    queue.enqueue(filler, 0, static_cast<int>(filler.size()));
    queue.dequeue(filler, 0, static_cast<int>(filler.size()));
    const std::vector<uint8_t> frame{0x02, 0x00, 0x08, 0x00, 0x21};
    queue.enqueue(frame, 0, 5);  // the front sits three bytes before the end of the storage

    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(queue.peek(k), frame[static_cast<std::size_t>(k)]);
    EXPECT_EQ(queue.peek(5), std::nullopt);
    EXPECT_EQ(queue.peek(-1), std::nullopt);
    EXPECT_EQ(queue.count(), 5);
    queue.clear();
    EXPECT_EQ(queue.peek(0), std::nullopt);
}

}  // namespace
}  // namespace orvane
