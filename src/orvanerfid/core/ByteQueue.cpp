#include "orvanerfid/core/ByteQueue.h"

#include <algorithm>
#include <cstring>

namespace orvane {

ByteQueue::ByteQueue() : data_(DEFAULT_QUEUE_SIZE, 0) {}

int ByteQueue::count() const {
    std::lock_guard guard(lock_);
    return countLocked();
}

int ByteQueue::capacity() const {
    std::lock_guard guard(lock_);
    return static_cast<int>(data_.size());
}

int ByteQueue::countLocked() const {
    const int cap = static_cast<int>(data_.size());
    return tail_ >= front_ ? tail_ - front_ : cap + tail_ - front_;
}

void ByteQueue::clear() {
    std::lock_guard guard(lock_);
    front_ = tail_ = 0;
}

std::optional<uint8_t> ByteQueue::peek(int k) const {
    std::lock_guard guard(lock_);
    if (k < 0 || k >= countLocked()) return std::nullopt;
    return data_[static_cast<std::size_t>((front_ + k) % static_cast<int>(data_.size()))];
}

int ByteQueue::enqueue(std::span<const uint8_t> source, int offset, int length) {
    std::lock_guard guard(lock_);
    if (offset < 0 || length <= 0 || static_cast<std::size_t>(offset) > source.size() ||
        static_cast<std::size_t>(length) > source.size() - static_cast<std::size_t>(offset)) {
        return countLocked();
    }
    const int free = static_cast<int>(data_.size()) - countLocked() - 1;
    if (free < length) growLocked(length);

    const int cap = static_cast<int>(data_.size());
    const uint8_t* from = source.data() + offset;
    const int firstPart = std::min(length, cap - tail_);
    std::memcpy(data_.data() + tail_, from, static_cast<std::size_t>(firstPart));
    if (firstPart < length) {
        std::memcpy(data_.data(), from + firstPart, static_cast<std::size_t>(length - firstPart));
    }
    tail_ = (tail_ + length) % cap;
    return countLocked();
}

int ByteQueue::dequeue(std::span<uint8_t> destination, int offset, int length) {
    std::lock_guard guard(lock_);
    if (offset < 0 || length <= 0 || static_cast<std::size_t>(offset) > destination.size()) {
        return 0;
    }
    const int room = static_cast<int>(destination.size()) - offset;
    const int n = std::min({length, countLocked(), room});
    if (n <= 0) return 0;

    const int cap = static_cast<int>(data_.size());
    uint8_t* to = destination.data() + offset;
    const int firstPart = std::min(n, cap - front_);
    std::memcpy(to, data_.data() + front_, static_cast<std::size_t>(firstPart));
    if (firstPart < n) {
        std::memcpy(to + firstPart, data_.data(), static_cast<std::size_t>(n - firstPart));
    }
    front_ = (front_ + n) % cap;
    return n;
}

void ByteQueue::growLocked(int length) {
    // At least double, and always enough for the bytes held, the new bytes and the free slot.
    const int held = countLocked();
    const int cap = static_cast<int>(data_.size());
    const int newCap = std::max(2 * cap, held + length + 1);
    std::vector<uint8_t> ring(static_cast<std::size_t>(newCap), 0);
    const int firstPart = std::min(held, cap - front_);
    std::memcpy(ring.data(), data_.data() + front_, static_cast<std::size_t>(firstPart));
    if (firstPart < held) {
        std::memcpy(ring.data() + firstPart, data_.data(),
                    static_cast<std::size_t>(held - firstPart));
    }
    data_ = std::move(ring);
    front_ = 0;
    tail_ = held;
}

}  // namespace orvane
