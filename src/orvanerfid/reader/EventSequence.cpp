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
    uint64_t count = unreported_;
    for (const Connection& connection : connections_)
        count += connection.untold;
    if (count == 0) return;
    try {
        orvLogger::tally(LogLevel::warn, kTag, notToldText("The connection ended", count));
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

void EventSequence::countEnded(Connection& connection, uint64_t count) {
    notTold_.fetch_add(count, std::memory_order_relaxed);
    connection.untold += count;
}

EventSequence::Connection* EventSequence::find(uint64_t number) {
    for (Connection& connection : connections_) {
        if (connection.number == number) return &connection;
    }
    return nullptr;
}

void EventSequence::writeAll(const std::vector<std::string>& records) {
    for (const std::string& record : records)
        orvLogger::tally(LogLevel::warn, kTag, record);
}

std::optional<std::string> EventSequence::takeReport(std::string_view when) {
    if (unreported_ == 0) return std::nullopt;
    return notToldText(when, std::exchange(unreported_, 0));
}

std::vector<std::string> EventSequence::takeEndReports() {
    std::vector<std::string> records;
    const bool batchEnded =
        inBatch_ && batchGeneration_ != generation_.load(std::memory_order_relaxed);
    for (auto it = connections_.begin(); it != connections_.end();) {
        Connection& connection = *it;
        const bool current = std::next(it) == connections_.end();
        // Its receive loops may still deliver (and count) their last reports, and the teller
        // still drops (and counts) the rest of a batch of it.
        if (!connection.closed || connection.loops > 0 ||
            (batchEnded && batchConnection_ == connection.number)) {
            ++it;
            continue;
        }
        if (current) connection.untold += std::exchange(unreported_, 0);
        if (connection.untold > 0) {
            records.push_back(
                notToldText("The connection ended", std::exchange(connection.untold, 0)));
        }
        it = current ? std::next(it) : connections_.erase(it);
    }
    return records;
}

bool EventSequence::admit(const Entry& entry, bool& warn) {
    if (!entry.tag) return true;
    if (Connection& current = connections_.back(); current.closed) {
        countEnded(current, 1);
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
    // A work item: the teller belongs to the line, not to the call that woke it, so it never
    // runs inside the log sink, even when a call the sink made put the event that wakes it.
    DispatchQueue::global()->async(
        std::make_shared<DispatchWorkItem>(
            [self = shared_from_this()](const DispatchWorkItem&) { self->drain(); }),
        DispatchWork::library);
}

void EventSequence::put(Entry entry) {
    bool warn = false;
    bool teller = false;
    {
        std::lock_guard guard(mutex_);
        if (admit(entry, warn)) {
            const bool tag = entry.tag != nullptr;
            if (!tag) ++eventsPut_;
            pending_.push_back(std::move(entry));
            teller = wakeTeller(tag);
        }
    }
    // A tag report the line did not take ends here, on the thread that made it.
    entry = {};
    if (warn) {
        orvLogger::tally(LogLevel::warn, kTag,
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

void EventSequence::dropEnded(uint64_t connection, std::size_t count) {
    std::optional<std::string> late;
    {
        std::lock_guard guard(mutex_);
        if (Connection* owner = connection == 0 ? &connections_.back() : find(connection)) {
            // Its loop has not finished (it counts its drops before its finish): the record of
            // that connection's end comes later.
            countEnded(*owner, count);
        } else {
            // A connection whose record is written: never carried into a later one.
            notTold_.fetch_add(count, std::memory_order_relaxed);
            late = notToldText("The connection ended", count);
        }
    }
    if (late) orvLogger::tally(LogLevel::warn, kTag, *late);
}

uint64_t EventSequence::loopStarts() {
    std::lock_guard guard(mutex_);
    Connection& current = connections_.back();
    ++current.loops;
    return current.number;
}

void EventSequence::receiveFinished(uint64_t connection) {
    std::vector<std::string> records;
    {
        std::lock_guard guard(mutex_);
        Connection* owner = find(connection);
        if (!owner || owner->loops == 0) return;
        --owner->loops;
        records = takeEndReports();
    }
    writeAll(records);
}

void EventSequence::tellState(const std::function<Task()>& store) {
    bool teller = false;
    {
        std::lock_guard guard(mutex_);
        Task task = store();
        if (!task) return;
        // Heard after every event put in the line before the connection it belongs to opened.
        states_.push_back({std::move(task), openedAt_});
        teller = claimStateTeller();
    }
    if (teller) startStateTeller();
}

bool EventSequence::claimStateTeller() {
    if (stateTelling_ || states_.empty() || eventsTold_ < states_.front().after) return false;
    stateTelling_ = true;
    return true;
}

void EventSequence::startStateTeller() {
    // A work item: the states belong to the reader, not to the thread that stored them, so no
    // call that stores a state runs the application's report, and no report holds that call.
    DispatchQueue::global()->async(
        std::make_shared<DispatchWorkItem>(
            [self = shared_from_this()](const DispatchWorkItem&) { self->tellStates(); }),
        DispatchWork::library);
}

void EventSequence::tellStates() {
    for (;;) {
        Task task;
        {
            std::lock_guard guard(mutex_);
            // None left, or the next waits for the events of an earlier connection: the line's
            // teller starts this one again once it has told them.
            if (states_.empty() || eventsTold_ < states_.front().after) {
                stateTelling_ = false;
                return;
            }
            task = std::move(states_.front().task);
            states_.pop_front();
        }
        tell(task);
    }
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
        ++eventsPut_;
        teller = wakeTeller(false);
    }
    if (report) orvLogger::tally(LogLevel::warn, kTag, *report);
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
        batchConnection_ = connections_.back().number;
        inBatch_ = true;
        const std::shared_ptr<const TagTeller> tellTag = tellTag_;
        lock.unlock();
        std::size_t tags = 0;
        uint64_t dropped = 0;
        for (Entry& entry : batch) {
            if (!entry.tag) {
                tell(entry.task);
                entry.task = nullptr;
                toldOne();
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
            if (Connection* owner = find(batchConnection_)) countEnded(*owner, dropped);
            const std::vector<std::string> records = takeEndReports();
            if (!records.empty()) {
                lock.unlock();
                writeAll(records);
                lock.lock();
            }
        }
    }
}

void EventSequence::toldOne() {
    bool teller = false;
    {
        std::lock_guard guard(mutex_);
        ++eventsTold_;
        teller = claimStateTeller();
    }
    // The states that waited for this event go on at once, not after the rest of the batch.
    if (teller) startStateTeller();
}

std::size_t EventSequence::waitingTags() const {
    std::lock_guard guard(mutex_);
    return waiting_;
}

bool EventSequence::statesTold() const {
    std::lock_guard guard(mutex_);
    return !stateTelling_ && states_.empty();
}

bool EventSequence::isIdle() const {
    std::lock_guard guard(mutex_);
    return pending_.empty() && !telling_ && !stateTelling_ && states_.empty();
}

void EventSequence::open() {
    std::vector<std::string> records;
    {
        std::lock_guard guard(mutex_);
        // What the full line dropped on the connection before and no Stop reported is that
        // connection's.
        Connection& previous = connections_.back();
        previous.closed = true;
        previous.untold += std::exchange(unreported_, 0);
        connections_.push_back({previous.number + 1});
        openedAt_ = eventsPut_;
        records = takeEndReports();
    }
    writeAll(records);
}

void EventSequence::resume() {
    std::lock_guard guard(mutex_);
    connections_.back().closed = false;
}

void EventSequence::close() {
    std::vector<std::string> records;
    {
        std::lock_guard guard(mutex_);
        Connection& current = connections_.back();
        current.closed = true;
        const auto dropped =
            std::erase_if(pending_, [](const Entry& entry) { return entry.tag != nullptr; });
        waiting_ -= dropped;
        countEnded(current, dropped);
        // The tag reports of the batch being told are dropped by the teller as it reaches them.
        generation_.fetch_add(1, std::memory_order_release);
        if (telling_) {
            hurried_ = true;
            if (gathering_) hurry_.notify_one();
        }
        records = takeEndReports();
    }
    writeAll(records);
}

}  // namespace orvane
