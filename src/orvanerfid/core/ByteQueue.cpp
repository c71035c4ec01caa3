#include "orvanerfid/core/ByteQueue.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace orvane {
namespace {

// The count is reported as an int, so the ring never holds more than INT_MAX - 1 bytes.
constexpr std::size_t kMaxCapacity = INT_MAX;

}  // namespace

ByteQueue::ByteQueue() : data_(DEFAULT_QUEUE_SIZE, 0) {}

int ByteQueue::count() const {
    std::lock_guard guard(lock_);
    return static_cast<int>(countLocked());
}

int ByteQueue::capacity() const {
    std::lock_guard guard(lock_);
    return static_cast<int>(data_.size());
}

std::size_t ByteQueue::countLocked() const {
    return tail_ >= front_ ? tail_ - front_ : data_.size() + tail_ - front_;
}

void ByteQueue::clear() {
    std::lock_guard guard(lock_);
    front_ = tail_ = 0;
}

std::optional<uint8_t> ByteQueue::peek(int k) const {
    std::lock_guard guard(lock_);
    if (k < 0 || static_cast<std::size_t>(k) >= countLocked()) return std::nullopt;
    return data_[(front_ + static_cast<std::size_t>(k)) % data_.size()];
}

int ByteQueue::enqueue(std::span<const uint8_t> source, int offset, int length) {
    std::lock_guard guard(lock_);
    if (offset < 0 || length <= 0 || static_cast<std::size_t>(offset) > source.size() ||
        static_cast<std::size_t>(length) > source.size() - static_cast<std::size_t>(offset)) {
        return static_cast<int>(countLocked());
    }
    const std::size_t n = static_cast<std::size_t>(length);
    // Both terms are below INT_MAX, so the sum cannot wrap in size_t.
    const std::size_t needed = countLocked() + n + 1;
    if (needed > kMaxCapacity) return static_cast<int>(countLocked());
    if (needed > data_.size()) growLocked(needed);

    const std::size_t cap = data_.size();
    const uint8_t* from = source.data() + offset;
    const std::size_t firstPart = std::min(n, cap - tail_);
    std::memcpy(data_.data() + tail_, from, firstPart);
    if (firstPart < n) std::memcpy(data_.data(), from + firstPart, n - firstPart);
    tail_ = (tail_ + n) % cap;
    return static_cast<int>(countLocked());
}

int ByteQueue::dequeue(std::span<uint8_t> destination, int offset, int length) {
    std::lock_guard guard(lock_);
    if (offset < 0 || length <= 0 || static_cast<std::size_t>(offset) > destination.size()) {
        return 0;
    }
    const std::size_t room = destination.size() - static_cast<std::size_t>(offset);
    const std::size_t n = std::min({static_cast<std::size_t>(length), countLocked(), room});
    if (n == 0) return 0;

    const std::size_t cap = data_.size();
    uint8_t* to = destination.data() + offset;
    const std::size_t firstPart = std::min(n, cap - front_);
    std::memcpy(to, data_.data() + front_, firstPart);
    if (firstPart < n) std::memcpy(to + firstPart, data_.data(), n - firstPart);
    front_ = (front_ + n) % cap;
    return static_cast<int>(n);
}

int ByteQueue::makeRoom(int incoming, int maxCount) {
    std::lock_guard guard(lock_);
    if (incoming < 0 || maxCount < 0) return 0;
    const std::size_t held = countLocked();
    const std::size_t wanted = held + static_cast<std::size_t>(incoming);
    if (wanted <= static_cast<std::size_t>(maxCount)) return 0;
    const std::size_t drop = std::min(held, wanted - static_cast<std::size_t>(maxCount));
    front_ = (front_ + drop) % data_.size();
    return static_cast<int>(drop);
}

void ByteQueue::growLocked(std::size_t needed) {
    // At least double (up to the largest ring), and always enough for `needed` slots.
    const std::size_t held = countLocked();
    const std::size_t cap = data_.size();
    const std::size_t newCap = std::max(std::min(2 * cap, kMaxCapacity), needed);
    std::vector<uint8_t> ring(newCap, 0);
    const std::size_t firstPart = std::min(held, cap - front_);
    std::memcpy(ring.data(), data_.data() + front_, firstPart);
    if (firstPart < held) std::memcpy(ring.data() + firstPart, data_.data(), held - firstPart);
    data_ = std::move(ring);
    front_ = 0;
    tail_ = held;
}

}  // namespace orvane
