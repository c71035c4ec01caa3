#include "orvanerfid/core/Logger.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <deque>
#include <mutex>

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

void callSink(orvLoggerDelegate& sink, const LogEventArg& record) {
    // Records are written from library calls and destructors alike: whatever the sink throws
    // ends here.
    tInSink = true;
    try {
        sink.logEvent(record);
        tInSink = false;
    } catch (...) {
        tInSink = false;
        if (orvLogger::showNSLog())
            consoleWriteLine(
                orvLogger::consoleLine(LogLevel::error, "orvLogger", "The log sink threw"));
    }
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

}  // namespace

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

void orvLogger::triggerLogEvent(LogLevel level, Tag tag, std::string_view log) {
    if (!isEnabled(level)) return;
    if (showNSLog()) consoleWriteLine(consoleLine(level, tag, log));
    // What the sink's own calls write goes to the console only: a sink that reacts to a record
    // by calling the library would otherwise be fed by its own reaction, for ever.
    if (tInSink) return;
    const auto sink = delegate();
    if (!sink) return;
    LogEventArg record(level, tag ? std::optional<std::string>(*tag) : std::nullopt,
                       std::string(log));
    if (tHolds > 0 || tHanding) {
        heldRecords().push_back(std::move(record));
        return;
    }
    tHanding = true;
    callSink(*sink, record);
    handHeld();
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
