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

std::string notToldText(std::string_view when, uint64_t count) {
    return std::string(when) + ": " + std::to_string(count) + " tag reports were not told";
}

}  // namespace

EventSequence::~EventSequence() {
    // The line goes with its reader: what no record has counted yet is counted here.
    const uint64_t count = ended_ + unreported_;
    if (count == 0) return;
    try {
        orvLogger::warn(kTag, notToldText("The connection ended", count));
    } catch (...) {
    }
}

void EventSequence::setTagTeller(TagTeller teller) {
    auto shared = std::make_shared<const TagTeller>(std::move(teller));
    std::lock_guard guard(mutex_);
    tellTag_.swap(shared);
}

void EventSequence::countNotTold(uint64_t count) {
    notTold_.fetch_add(count, std::memory_order_relaxed);
    unreported_ += count;
}

void EventSequence::countEnded(uint64_t count) {
    notTold_.fetch_add(count, std::memory_order_relaxed);
    ended_ += count;
}

std::optional<std::string> EventSequence::takeReport(std::string_view when) {
    if (unreported_ == 0) return std::nullopt;
    return notToldText(when, std::exchange(unreported_, 0));
}

std::optional<std::string> EventSequence::takeEndReport() {
    if (ended_ == 0) return std::nullopt;
    // The teller still drops (and counts) the rest of a batch of the ended connection.
    if (inBatch_ && batchGeneration_ != generation_.load(std::memory_order_relaxed)) {
        return std::nullopt;
    }
    // A receive loop of the ended connection may still deliver (and count) its last reports.
    if (closed_ && !loopFinished_) return std::nullopt;
    return notToldText("The connection ended", std::exchange(ended_, 0));
}

bool EventSequence::admit(const Entry& entry, bool& warn) {
    if (!entry.tag) return true;
    if (closed_) {
        countEnded(1);
        return false;
    }
    if (waiting_ >= kTagCapacity) {
        countNotTold(1);
        warn = !std::exchange(warned_, true);
        return false;
    }
    ++waiting_;
    return true;
}

bool EventSequence::wakeTeller(bool tag) {
    if (!telling_) {
        telling_ = true;
        hurried_ = !tag;
        return true;
    }
    // An event other than a tag report, or enough tag reports to be worth the wake, ends the
    // gathering.
    if (!tag || pending_.size() == kGatherEnough) {
        hurried_ = true;
        if (gathering_) hurry_.notify_one();
    }
    return false;
}

void EventSequence::startTeller() {
    DispatchQueue::global()->async([self = shared_from_this()] { self->drain(); });
}

void EventSequence::put(Entry entry) {
    bool warn = false;
    bool teller = false;
    {
        std::lock_guard guard(mutex_);
        if (admit(entry, warn)) {
            const bool tag = entry.tag != nullptr;
            pending_.push_back(std::move(entry));
            teller = wakeTeller(tag);
        }
    }
    // A tag report the line did not take ends here, on the thread that made it.
    entry = {};
    if (warn) {
        orvLogger::warn(kTag,
                        "The application's callbacks are slower than the reader: tag reports "
                        "past " +
                            std::to_string(kTagCapacity) + " waiting are not told");
    }
    if (teller) startTeller();
}

void EventSequence::post(Task task) {
    put({std::move(task), nullptr});
}

void EventSequence::postTag(std::shared_ptr<TagInfo> tag) {
    put({nullptr, std::move(tag)});
}

void EventSequence::dropEnded(std::size_t count) {
    std::optional<std::string> report;
    {
        std::lock_guard guard(mutex_);
        countEnded(count);
        // Dropped by a thread that delivered for a loop that has finished: no later turn of it
        // brings its record.
        if (loopFinished_) report = takeEndReport();
    }
    if (report) orvLogger::warn(kTag, *report);
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
        teller = wakeTeller(false);
    }
    if (report) orvLogger::warn(kTag, *report);
    if (teller) startTeller();
}

void EventSequence::drain() {
    std::vector<Entry> batch;
    std::unique_lock lock(mutex_);
    batch.swap(spare_);
    // Gathers the tag reports of the next few receive turns, unless an event other than a tag
    // report, or a close, is waiting.
    if (!hurried_ && pending_.size() < kGatherEnough) {
        gathering_ = true;
        hurry_.wait_for(lock, kGather, [&] { return hurried_; });
        gathering_ = false;
    }
    for (;;) {
        if (pending_.empty()) {
            spare_.swap(batch);
            telling_ = false;
            return;
        }
        batch.swap(pending_);
        // Every tag report waiting was put in the line since the last close.
        const uint64_t generation = generation_.load(std::memory_order_relaxed);
        batchGeneration_ = generation;
        inBatch_ = true;
        const std::shared_ptr<const TagTeller> tellTag = tellTag_;
        lock.unlock();
        std::size_t tags = 0;
        uint64_t dropped = 0;
        for (Entry& entry : batch) {
            if (!entry.tag) {
                tell(entry.task);
                entry.task = nullptr;
                continue;
            }
            ++tags;
            if (generation_.load(std::memory_order_acquire) != generation) {
                ++dropped;
            } else if (tellTag) {
                tell([&] { (*tellTag)(entry.tag); });
            }
            // Told or dropped, the report goes here, before the next event is told: once an
            // action state is heard, no earlier tag report is held by the line.
            entry.tag.reset();
        }
        batch.clear();
        lock.lock();
        waiting_ -= tags;
        inBatch_ = false;
        // A batch of a connection that has ended: the record of that end may have waited for it.
        if (generation_.load(std::memory_order_relaxed) != generation) {
            countEnded(dropped);
            if (auto report = takeEndReport()) {
                lock.unlock();
                orvLogger::warn(kTag, *report);
                lock.lock();
            }
        }
    }
}

std::size_t EventSequence::waitingTags() const {
    std::lock_guard guard(mutex_);
    return waiting_;
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
        loopFinished_ = false;
        report = takeEndReport();
    }
    if (report) orvLogger::warn(kTag, *report);
}

void EventSequence::close() {
    std::optional<std::string> report;
    {
        std::lock_guard guard(mutex_);
        closed_ = true;
        const auto dropped =
            std::erase_if(pending_, [](const Entry& entry) { return entry.tag != nullptr; });
        waiting_ -= dropped;
        countEnded(dropped);
        // The tag reports of the batch being told are dropped by the teller as it reaches them.
        generation_.fetch_add(1, std::memory_order_release);
        if (telling_) {
            hurried_ = true;
            if (gathering_) hurry_.notify_one();
        }
        report = takeEndReport();
    }
    if (report) orvLogger::warn(kTag, *report);
}

void EventSequence::receiveFinished() {
    std::optional<std::string> report;
    {
        std::lock_guard guard(mutex_);
        loopFinished_ = true;
        report = takeEndReport();
    }
    if (report) orvLogger::warn(kTag, *report);
}

}  // namespace orvane
