#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace orvane {

// Growable circular byte FIFO between a transport's read loop (the writer) and a protocol's
// receive loop (the reader).
//
// Threads: every operation, growth included, runs under the queue's own mutex, so one writer
// and one reader on different threads never see a half-copied ring. One slot always stays
// free: a ring of capacity C holds at most C - 1 bytes.
class ByteQueue {
  public:
    static constexpr int DEFAULT_QUEUE_SIZE = 10240;

    ByteQueue();

    // Bytes held.
    int count() const;
    // Appends `length` bytes of `source` from `offset`, growing the ring when needed; returns
    // the count afterwards. Arguments outside `source` append nothing, and so does a push that
    // would make the count exceed what an int holds.
    int enqueue(std::span<const uint8_t> source, int offset, int length);
    // Moves up to `length` of the oldest bytes into `destination` from `offset`; returns the
    // number moved (0 when empty). Arguments outside `destination` move nothing.
    int dequeue(std::span<uint8_t> destination, int offset, int length);
    // Drops every byte held.
    void clear();
    // Drops the oldest bytes so that `incoming` more leave at most `maxCount` held; returns the
    // number dropped (never more than are held).
    int makeRoom(int incoming, int maxCount);
    // The byte at position `k` from the front without removing it; no value when fewer than
    // k + 1 bytes are held.
    std::optional<uint8_t> peek(int k) const;
    int capacity() const;

  private:
    std::size_t countLocked() const;
    void growLocked(std::size_t needed);

    mutable std::mutex lock_;
    std::size_t front_ = 0;
    std::size_t tail_ = 0;
    std::vector<uint8_t> data_;
};

}  // namespace orvane
