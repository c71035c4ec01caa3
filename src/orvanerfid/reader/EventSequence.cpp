#include "orvanerfid/reader/EventSequence.h"

#include <algorithm>
#include <string>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/platform/Dispatch.h"

namespace orvane {

namespace {

constexpr std::string_view kTag = "EventSequence";

template <class Task>
void tell(const Task& task) noexcept {
    try {
        task();
    } catch (...) {
        try {
            orvLogger::error(kTag, "An event receiver threw");
        } catch (...) {
        }
    }
}

}  // namespace

void EventSequence::countNotTold(std::size_t count) {
    notTold_.fetch_add(count, std::memory_order_relaxed);
    unreported_ += count;
}

std::optional<std::string> EventSequence::takeReport(std::string_view when) {
    if (unreported_ == 0) return std::nullopt;
    const uint64_t count = std::exchange(unreported_, 0);
    return std::string(when) + ": " + std::to_string(count) + " tag reports were not told";
}

bool EventSequence::claimTeller() {
    return !std::exchange(telling_, true);
}

bool EventSequence::admit(const Entry& entry, bool& warn) {
    if (!entry.tag) return true;
    if (closed_) {
        countNotTold(1);
        return false;
    }
    // Only posts (under this mutex) add to the count, so the test and the add agree.
    if ((word_.load(std::memory_order_relaxed) & kCountMask) >= kTagCapacity) {
        countNotTold(1);
        warn = !std::exchange(warned_, true);
        return false;
    }
    word_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void EventSequence::put(Entry entry) {
    bool warn = false;
    bool teller = false;
    {
        std::lock_guard guard(mutex_);
        if (admit(entry, warn)) {
            pending_.push_back(std::move(entry));
            teller = claimTeller();
        }
    }
    if (warn) {
        orvLogger::warn(kTag,
                        "The application's callbacks are slower than the reader: tag reports "
                        "past " +
                            std::to_string(kTagCapacity) + " waiting are not told");
    }
    if (teller) DispatchQueue::global()->async([self = shared_from_this()] { self->drain(); });
    releaseTold();
}

void EventSequence::post(Task task) {
    put({std::move(task), nullptr});
}

void EventSequence::postTag(std::shared_ptr<TagInfo> tag) {
    put({nullptr, std::move(tag)});
}

void EventSequence::releaseTold() {
    if (!toldWaiting_.load(std::memory_order_acquire)) return;
    std::vector<Entry> told;
    {
        std::lock_guard guard(mutex_);
        told.swap(told_);
        toldWaiting_.store(false, std::memory_order_relaxed);
    }
    told.clear();
    std::lock_guard guard(mutex_);
    if (spare_.capacity() < told.capacity()) spare_.swap(told);
}

void EventSequence::postState(Task task, const std::function<void()>& underOrder,
                              bool startsOperation) {
    std::optional<std::string> report;
    bool teller = false;
    {
        std::lock_guard guard(mutex_);
        underOrder();
        if (startsOperation) {
            warned_ = false;
        } else {
            report = takeReport("The operation ended");
        }
        pending_.push_back({std::move(task), nullptr});
        teller = claimTeller();
    }
    if (report) orvLogger::warn(kTag, *report);
    if (teller) DispatchQueue::global()->async([self = shared_from_this()] { self->drain(); });
}

bool EventSequence::takeTag(uint64_t generation) {
    uint64_t word = word_.load(std::memory_order_acquire);
    do {
        if (generationOf(word) != generation) return false;
    } while (!word_.compare_exchange_weak(word, word - 1, std::memory_order_acq_rel,
                                          std::memory_order_acquire));
    return true;
}

void EventSequence::drain() {
    std::vector<Entry> batch;
    {
        std::lock_guard guard(mutex_);
        batch.swap(spare_);
    }
    for (;;) {
        uint64_t generation = 0;
        {
            std::lock_guard guard(mutex_);
            if (pending_.empty()) {
                spare_.swap(batch);
                telling_ = false;
                return;
            }
            // Every tag report waiting was put in the line since the last close.
            batch.swap(pending_);
            generation = generationOf(word_.load(std::memory_order_relaxed));
        }
        for (Entry& entry : batch) {
            if (!entry.tag) {
                tell(entry.task);
            } else if (takeTag(generation)) {
                tell([&] { tellTag_(entry.tag); });
            }
        }
        {
            std::lock_guard guard(mutex_);
            if (told_.empty()) {
                told_.swap(batch);
                toldWaiting_.store(true, std::memory_order_release);
            }
        }
        batch.clear();
    }
}

bool EventSequence::isIdle() const {
    std::lock_guard guard(mutex_);
    return pending_.empty() && !telling_;
}

void EventSequence::open() {
    std::optional<std::string> report;
    {
        std::lock_guard guard(mutex_);
        closed_ = false;
        report = takeReport("While the connection was closed");
    }
    if (report) orvLogger::warn(kTag, *report);
}

void EventSequence::close() {
    std::optional<std::string> report;
    {
        std::lock_guard guard(mutex_);
        closed_ = true;
        std::erase_if(pending_, [](const Entry& entry) { return entry.tag != nullptr; });
        // A new generation: the tag reports the teller has taken and not yet told are dropped
        // as it reaches them, and counted here with those still waiting.
        uint64_t word = word_.load(std::memory_order_acquire);
        while (!word_.compare_exchange_weak(word, (generationOf(word) + 1) << kGenerationShift,
                                            std::memory_order_acq_rel, std::memory_order_acquire)) {
        }
        countNotTold(static_cast<std::size_t>(word & kCountMask));
        report = takeReport("The connection ended");
    }
    if (report) orvLogger::warn(kTag, *report);
}

void EventSequence::receiveFinished() {
    std::optional<std::string> report;
    {
        std::lock_guard guard(mutex_);
        if (closed_) report = takeReport("The connection ended");
    }
    if (report) orvLogger::warn(kTag, *report);
}

}  // namespace orvane
