#include "orvanerfid/core/ByteQueue.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>

namespace orvane {
namespace {

std::vector<uint8_t> sequence(int n, int start = 0) {
    std::vector<uint8_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<uint8_t>(start + i);
    return v;
}

std::vector<uint8_t> drain(ByteQueue& q, int n) {
    std::vector<uint8_t> out(static_cast<std::size_t>(n));
    out.resize(static_cast<std::size_t>(q.dequeue(out, 0, n)));
    return out;
}

TEST(ByteQueue, HoldsCapacityMinusOneThenGrowsKeepingOrder) {
    ByteQueue q;
    const auto first = sequence(ByteQueue::DEFAULT_QUEUE_SIZE - 1);
    EXPECT_EQ(q.enqueue(first, 0, static_cast<int>(first.size())), 10239);
    EXPECT_EQ(q.capacity(), 10240);
    const uint8_t one[] = {0xEE};
    EXPECT_EQ(q.enqueue(one, 0, 1), 10240);
    EXPECT_EQ(q.capacity(), 20480);  // doubled, not multiplied by the free-space ratio
    auto out = drain(q, 20000);
    ASSERT_EQ(out.size(), 10240u);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), out.begin()));
    EXPECT_EQ(out.back(), 0xEE);
}

TEST(ByteQueue, GrowthCoversLargeBurstsAndWrappedContent) {
    ByteQueue q;
    const auto pad = sequence(10000);
    q.enqueue(pad, 0, 10000);
    drain(q, 9990);  // front near the end: the next bytes wrap
    const auto wrapped = sequence(200, 7);
    q.enqueue(wrapped, 0, 200);
    const auto burst = sequence(50000, 3);
    q.enqueue(burst, 0, 50000);  // growth must keep the wrapped bytes in order
    EXPECT_GE(q.capacity(), 10 + 200 + 50000 + 1);
    auto out = drain(q, 60000);
    ASSERT_EQ(out.size(), 10u + 200u + 50000u);
    EXPECT_TRUE(std::equal(pad.end() - 10, pad.end(), out.begin()));
    EXPECT_TRUE(std::equal(wrapped.begin(), wrapped.end(), out.begin() + 10));
    EXPECT_TRUE(std::equal(burst.begin(), burst.end(), out.begin() + 210));
}

TEST(ByteQueue, DequeueEdgeCases) {
    ByteQueue q;
    std::vector<uint8_t> dst(8, 0xAA);
    EXPECT_EQ(q.dequeue(dst, 0, 8), 0);
    EXPECT_EQ(dst, std::vector<uint8_t>(8, 0xAA));
    const auto src = sequence(5, 1);
    q.enqueue(src, 0, 5);
    EXPECT_EQ(q.dequeue(dst, 2, 100), 5);  // moves only the count, limited by the room
    EXPECT_EQ(dst, (std::vector<uint8_t>{0xAA, 0xAA, 1, 2, 3, 4, 5, 0xAA}));
}

TEST(ByteQueue, ArgumentsOutsideTheArraysMoveNothing) {
    ByteQueue q;
    const auto src = sequence(4);
    EXPECT_EQ(q.enqueue(src, 2, 3), 0);
    EXPECT_EQ(q.enqueue(src, -1, 2), 0);
    EXPECT_EQ(q.enqueue(src, 5, 0), 0);
    EXPECT_EQ(q.enqueue(src, 1, 3), 3);
    std::vector<uint8_t> dst(2);
    EXPECT_EQ(q.dequeue(dst, 3, 1), 0);
    EXPECT_EQ(q.dequeue(dst, 1, 5), 1);  // only one byte of room
    EXPECT_EQ(q.count(), 2);
}

TEST(ByteQueue, OneWriterOneReaderAcrossGrowth) {
    ByteQueue q;
    constexpr int kTotal = 400000;
    std::thread writer([&] {
        std::vector<uint8_t> chunk(997);
        for (int sent = 0; sent < kTotal;) {
            const int n = std::min<int>(static_cast<int>(chunk.size()), kTotal - sent);
            for (int i = 0; i < n; ++i)
                chunk[static_cast<std::size_t>(i)] = static_cast<uint8_t>(sent + i);
            q.enqueue(chunk, 0, n);
            sent += n;
        }
    });
    std::vector<uint8_t> buf(4096);
    int received = 0;
    bool inOrder = true;
    while (received < kTotal) {
        const int n = q.dequeue(buf, 0, static_cast<int>(buf.size()));
        for (int i = 0; i < n; ++i)
            inOrder &= buf[static_cast<std::size_t>(i)] == static_cast<uint8_t>(received + i);
        received += n;
        if (n == 0) std::this_thread::yield();
    }
    writer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(q.count(), 0);
}

}  // namespace
}  // namespace orvane
