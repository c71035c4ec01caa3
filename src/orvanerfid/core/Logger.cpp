#include "orvanerfid/core/Logger.h"

#include <chrono>
#include <cstdio>
#include <ctime>
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

}  // namespace

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
    if (auto sink = delegate()) {
        // Records are written from library calls and destructors alike: whatever the sink
        // throws ends here.
        try {
            sink->logEvent(LogEventArg(level, tag ? std::optional<std::string>(*tag) : std::nullopt,
                                       std::string(log)));
        } catch (...) {
            if (showNSLog())
                consoleWriteLine(consoleLine(LogLevel::error, "orvLogger", "The log sink threw"));
        }
    }
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
