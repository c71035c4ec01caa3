#include "orvanerfid/core/Logger.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <deque>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "orvanerfid/core/Console.h"

namespace orvane {

std::atomic<LogLevel> orvLogger::level_{LogLevel::trace};
std::atomic<bool> orvLogger::showNSLog_{true};

namespace {

// The sink is process-wide by design; the mutex only guards the weak reference itself. Both
// are created once and never destroyed: library threads may still log while the process runs
// its exit handlers.
std::mutex& sinkMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::weak_ptr<orvLoggerDelegate>& sinkSlot() {
    static auto* sink = new std::weak_ptr<orvLoggerDelegate>;
    return *sink;
}

// Whether a live sink is registered, without a reference to it.
bool sinkLive() {
    std::lock_guard lock(sinkMutex());
    return !sinkSlot().expired();
}

// Per thread: the depth of holds (scoped `Hold`s and module-lock marks alike), whether records
// are being handed to the sink, whether the sink runs (its own calls into the library write
// records that must not reach it again), and the records waiting for it.
thread_local int tHolds = 0;
thread_local bool tHanding = false;
thread_local bool tInSink = false;

std::deque<LogEventArg>& heldRecords() {
    thread_local std::deque<LogEventArg> held;
    return held;
}

// The counting records (`orvLogger::tally`) written while the thread runs inside the sink: they
// reach the sink once the mark ends on that thread, after the sink's call has returned, so that
// no count is lost and the sink is never called inside itself.
std::deque<LogEventArg>& talliedInSink() {
    thread_local std::deque<LogEventArg> tallied;
    return tallied;
}

// Where the mark has just ended on this thread: moves the counting records written inside it to
// the held records, which the running hand-over (or this call) hands to the sink.
void afterMark() noexcept {
    auto& tallied = talliedInSink();
    if (tInSink || tallied.empty()) return;
    try {
        auto& held = heldRecords();
        while (!tallied.empty()) {
            held.push_back(std::move(tallied.front()));
            tallied.pop_front();
        }
    } catch (...) {
        tallied.clear();
    }
}

void callSink(orvLoggerDelegate& sink, const LogEventArg& record) {
    // Records are written from library calls and destructors alike: whatever the sink throws
    // ends here. The mark is put back as it was: the thread may already run inside the sink (a
    // block queued inside it may hand on records held before it began).
    const bool wasInSink = std::exchange(tInSink, true);
    try {
        sink.logEvent(record);
        tInSink = wasInSink;
    } catch (...) {
        tInSink = wasInSink;
        if (orvLogger::showNSLog())
            consoleWriteLine(
                orvLogger::consoleLine(LogLevel::error, "orvLogger", "The log sink threw"));
    }
    // Every caller hands the held records on after this call.
    afterMark();
}

// Hands the waiting records to the sink in order.
void handHeld() noexcept {
    tHanding = true;
    try {
        auto& held = heldRecords();
        while (!held.empty()) {
            const LogEventArg record = std::move(held.front());
            held.pop_front();
            if (auto sink = orvLogger::delegate()) callSink(*sink, record);
        }
    } catch (...) {
        heldRecords().clear();
    }
    tHanding = false;
}

// ---- Repeating faults
//
// Of WARN, ERROR and FATAL records alike (the same level, tag and text, save the decimal numbers
// in it), the first `orvLogger::kFaultsPerSecond` of each second reach the sink; the others of
// that second are left out and counted. The count is said in the next alike record that passes
// ("... (N like it left out)"); when none comes, the last one left out is handed on with the
// count of the others, late, with the first record of any kind that reaches the sink once its
// second has passed. While the table of kinds is full, the new kinds share one entry, limited and
// counted as one kind ("... (N other faults left out)"). Only what goes to the sink is left out:
// every console line is written. The counting records (`orvLogger::tally`) never come here.

using SteadyClock = std::chrono::steady_clock;
constexpr auto kRepeatWindow = std::chrono::seconds(1);
// The kinds the table tracks; when full, it forgets those that owe no count and whose second has
// passed, and the kinds it cannot take share `RepeatTable::others`.
constexpr std::size_t kRepeatKinds = 1024;

struct RepeatEntry {
    // The start of the entry's second, and the records that passed in it.
    SteadyClock::time_point passed;
    unsigned inWindow = 0;
    uint64_t leftOut = 0;
    // The last record left out, handed on with the count when no alike record passes later.
    LogLevel level = LogLevel::warn;
    std::optional<std::string> tag;
    std::string text;
};

// The table is shared by every writing thread; its mutex is held for the lookup only, never
// while the sink or the console runs.
struct RepeatTable {
    std::mutex mutex;
    std::unordered_map<uint64_t, RepeatEntry> entries;
    // The kinds the full table could not take, limited as one kind: a flood of new texts is
    // limited too, and a new text repeated then is not passed unlimited.
    RepeatEntry others;
    SteadyClock::time_point pruned;
    // The earliest moment a left-out count is due without an alike record (ticks of the steady
    // clock; max: none due): one relaxed load per record when nothing is owed.
    std::atomic<SteadyClock::rep> due{std::numeric_limits<SteadyClock::rep>::max()};
};

RepeatTable& repeatTable() {
    static auto* table = new RepeatTable;
    return *table;
}

bool isFault(LogLevel level) {
    return rawValue(level) >= rawValue(LogLevel::warn);
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// FNV-1a over the level, the tag and the text with each run of decimal digits taken as one
// mark, so that "skipped 9 bytes" and "skipped 12 bytes" are alike. A hex code ("0x" and its hex
// digits, in either case) is taken as it is: records that differ in a result code, "0x4002"
// among "0x7000"s, are different faults.
uint64_t kindOf(LogLevel level, orvLogger::Tag tag, std::string_view text) {
    uint64_t hash = 14695981039346656037ull;
    const auto add = [&hash](unsigned char c) {
        hash ^= c;
        hash *= 1099511628211ull;
    };
    add(static_cast<unsigned char>(rawValue(level)));
    add(tag ? 1 : 0);
    if (tag) {
        for (const char c : *tag)
            add(static_cast<unsigned char>(c));
    }
    add(0);
    bool inNumber = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        if (digit && !inNumber && c == '0' && i + 2 < text.size() &&
            (text[i + 1] == 'x' || text[i + 1] == 'X') && isHexDigit(text[i + 2])) {
            add('0');
            add('x');
            // Setting bit 5 turns 'A'-'F' to lower case and leaves the digits as they are.
            for (i += 2; i < text.size() && isHexDigit(text[i]); ++i)
                add(static_cast<unsigned char>(text[i] | 0x20));
            --i;
            continue;
        }
        if (digit && inNumber) continue;
        inNumber = digit;
        add(digit ? '#' : static_cast<unsigned char>(c));
    }
    return hash;
}

std::string withCount(std::string text, uint64_t leftOut, bool alike) {
    if (leftOut == 0) return text;
    return text + " (" + std::to_string(leftOut) +
           (alike ? " like it left out)" : " other faults left out)");
}

void updateDue(RepeatTable& table) {
    SteadyClock::time_point earliest = SteadyClock::time_point::max();
    const auto consider = [&earliest](const RepeatEntry& entry) {
        if (entry.leftOut > 0 && entry.passed + kRepeatWindow < earliest)
            earliest = entry.passed + kRepeatWindow;
    };
    for (const auto& [kind, entry] : table.entries)
        consider(entry);
    consider(table.others);
    table.due.store(earliest.time_since_epoch().count(), std::memory_order_relaxed);
}

// Whether a fault record goes to the sink, and with what text; counts it when it does not.
std::optional<std::string> admitFault(LogLevel level, orvLogger::Tag tag, std::string_view text) {
    auto& table = repeatTable();
    const uint64_t kind = kindOf(level, tag, text);
    const auto now = SteadyClock::now();
    std::lock_guard guard(table.mutex);
    auto it = table.entries.find(kind);
    const bool added = it == table.entries.end();
    if (added) {
        // A full table is pruned once a second at most; while it stays full, a new kind is
        // limited and counted with the others it could not take.
        if (table.entries.size() >= kRepeatKinds && now - table.pruned >= kRepeatWindow) {
            table.pruned = now;
            std::erase_if(table.entries, [now](const auto& item) {
                return item.second.leftOut == 0 && now - item.second.passed >= kRepeatWindow;
            });
        }
        if (table.entries.size() < kRepeatKinds) it = table.entries.try_emplace(kind).first;
    }
    const bool others = it == table.entries.end();
    RepeatEntry& entry = others ? table.others : it->second;
    if ((added && !others) || now - entry.passed >= kRepeatWindow) {
        entry.passed = now;
        entry.inWindow = 0;
    }
    if (entry.inWindow >= orvLogger::kFaultsPerSecond) {
        if (entry.leftOut++ == 0) updateDue(table);
        entry.level = level;
        entry.tag = tag ? std::optional<std::string>(*tag) : std::nullopt;
        entry.text.assign(text);
        return std::nullopt;
    }
    ++entry.inWindow;
    const uint64_t leftOut = std::exchange(entry.leftOut, 0);
    if (leftOut > 0) updateDue(table);
    return withCount(std::string(text), leftOut, !others);
}

// The left-out records whose second has passed with no alike record after them: the last of
// each, with the count of the others.
std::vector<LogEventArg> takeOverdue() {
    auto& table = repeatTable();
    if (table.due.load(std::memory_order_relaxed) == std::numeric_limits<SteadyClock::rep>::max())
        return {};
    const auto now = SteadyClock::now();
    if (now.time_since_epoch().count() < table.due.load(std::memory_order_relaxed)) return {};
    std::vector<LogEventArg> overdue;
    const auto handOn = [&overdue, now](RepeatEntry& entry, bool alike) {
        if (entry.leftOut == 0 || now - entry.passed < kRepeatWindow) return;
        overdue.emplace_back(entry.level, std::move(entry.tag),
                             withCount(std::move(entry.text), entry.leftOut - 1, alike));
        entry.leftOut = 0;
        entry.passed = now;
        entry.inWindow = 1;
    };
    std::lock_guard guard(table.mutex);
    for (auto& [kind, entry] : table.entries)
        handOn(entry, true);
    handOn(table.others, false);
    updateDue(table);
    return overdue;
}

}  // namespace

bool orvLogger::insideSink() noexcept {
    return tInSink;
}

orvLogger::InsideSink::InsideSink(bool inside) noexcept : was_(tInSink) {
    tInSink = tInSink || inside;
}

namespace {

// A scope's mark has been put back: the counting records written inside a mark that has ended
// reach the sink now, unless a hold or a hand-over of this thread hands them on later.
void markRestored() noexcept {
    afterMark();
    if (tHolds == 0 && !tHanding && !heldRecords().empty()) handHeld();
}

}  // namespace

orvLogger::InsideSink::~InsideSink() {
    tInSink = was_;
    markRestored();
}

orvLogger::OutsideSink::OutsideSink() noexcept : was_(std::exchange(tInSink, false)) {}

orvLogger::OutsideSink::~OutsideSink() {
    tInSink = was_;
    markRestored();
}

void orvLogger::beginHold() noexcept {
    ++tHolds;
}

void orvLogger::endHold() noexcept {
    if (--tHolds == 0 && !tHanding) handHeld();
}

std::string orvLogger::consoleLine(LogLevel level, Tag tag, std::string_view log) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis.count()));

    std::string line;
    line.reserve(40 + (tag ? tag->size() : 0) + log.size());
    line += stamp;
    line += " [";
    line += description(level);
    if (tag) {
        line += "] [";
        line += *tag;
    }
    line += "] ";
    line += log;
    return line;
}

namespace {

// Writes a record; `limited`: a fault record passes the repeating-fault limit.
void writeRecord(LogLevel level, orvLogger::Tag tag, std::string_view log, bool limited) {
    if (!orvLogger::isEnabled(level)) return;
    if (orvLogger::showNSLog()) consoleWriteLine(orvLogger::consoleLine(level, tag, log));
    // What the sink's own calls write goes to the console only: a sink that reacts to a record
    // by calling the library would otherwise be fed by its own reaction, for ever. A counting
    // record is data, not a reaction: it waits for the mark's end.
    if (tInSink) {
        if (!limited && sinkLive()) {
            talliedInSink().emplace_back(
                level, tag ? std::optional<std::string>(*tag) : std::nullopt, std::string(log));
        }
        return;
    }
    // A record that waits takes no reference to the sink: the thread may hold a library lock,
    // and the application's last reference to the sink, let go meanwhile, would end there (a
    // reader that is the sink closes its link as it goes, under that very lock).
    const bool waits = tHolds > 0 || tHanding;
    std::shared_ptr<orvLoggerDelegate> sink;
    if (waits) {
        if (!sinkLive()) return;
    } else {
        sink = orvLogger::delegate();
        if (!sink) return;
    }
    std::optional<std::string> text;
    if (limited && isFault(level)) {
        text = admitFault(level, tag, log);
        if (!text) return;
    }
    auto overdue = takeOverdue();
    LogEventArg record(level, tag ? std::optional<std::string>(*tag) : std::nullopt,
                       text ? std::move(*text) : std::string(log));
    if (waits) {
        auto& held = heldRecords();
        for (auto& late : overdue)
            held.push_back(std::move(late));
        held.push_back(std::move(record));
        return;
    }
    tHanding = true;
    for (const auto& late : overdue)
        callSink(*sink, late);
    callSink(*sink, record);
    handHeld();
}

}  // namespace

void orvLogger::triggerLogEvent(LogLevel level, Tag tag, std::string_view log) {
    writeRecord(level, tag, log, true);
}

void orvLogger::tally(LogLevel level, Tag tag, std::string_view log) {
    writeRecord(level, tag, log, false);
}

bool orvLogger::registerDelegateIfNone(const std::shared_ptr<orvLoggerDelegate>& sink) {
    std::lock_guard lock(sinkMutex());
    if (!sinkSlot().expired()) return false;
    sinkSlot() = sink;
    return true;
}

std::shared_ptr<orvLoggerDelegate> orvLogger::delegate() {
    std::lock_guard lock(sinkMutex());
    return sinkSlot().lock();
}

}  // namespace orvane
