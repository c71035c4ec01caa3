#pragma once

#include <deque>
#include <mutex>
#include <optional>

namespace orvane {

// A small thread-safe FIFO of values (one mutex stands in for a serial queue).
template <typename T>
class Queue {
  public:
    void enqueue(T value) {
        std::lock_guard guard(queueLock_);
        elements_.push_back(std::move(value));
    }
    std::optional<T> dequeue() {
        std::lock_guard guard(queueLock_);
        if (elements_.empty()) return std::nullopt;
        T value = std::move(elements_.front());
        elements_.pop_front();
        return value;
    }
    std::size_t count() const {
        std::lock_guard guard(queueLock_);
        return elements_.size();
    }
    void clear() {
        std::lock_guard guard(queueLock_);
        elements_.clear();
    }

  private:
    mutable std::mutex queueLock_;
    std::deque<T> elements_;
};

}  // namespace orvane
