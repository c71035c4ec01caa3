#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

#define ORV_LOG_LEVEL(X) \
    X(trace, 0, "TRACE") \
    X(debug, 1, "DEBUG") \
    X(info, 2, "INFO")   \
    X(warn, 3, "WARN")   \
    X(error, 4, "ERROR") \
    X(fatal, 5, "FATAL")

ORV_ENUM(LogLevel, int, ORV_LOG_LEVEL);

// One log record as handed to the sink: the writer's own tag and text, no time stamp.
class ORVANE_API LogEventArg {
  public:
    LogEventArg(LogLevel level, std::optional<std::string> tag, std::string log)
        : level_(level), tag_(std::move(tag)), log_(std::move(log)) {}

    LogLevel level() const { return level_; }
    const std::optional<std::string>& tag() const { return tag_; }
    const std::string& log() const { return log_; }

  private:
    LogLevel level_;
    std::optional<std::string> tag_;
    std::string log_;
};

// Receives every record that passes the threshold, on the writer's thread (any thread of the
// library), once that thread holds no library lock; it must not block for long. The records
// written while it runs, on its thread and by the work its library calls queue for other
// threads, reach the console only. A repeating fault reaches it a few times a second at most
// (see orvLogger).
class ORVANE_API orvLoggerDelegate {
  public:
    virtual ~orvLoggerDelegate() = default;
    virtual void logEvent(const LogEventArg& logEventArgs) = 0;
};

// The process-wide logger. Static members only.
//
// Threads: records are written on the caller's thread with no queue hop. The threshold and the
// console switch are atomics; the sink is held weakly behind a mutex that is released before
// the sink is called, so a sink may log. While the writing thread holds a `Hold` (library code
// that logs under one of its locks) or works under a UHF module lock (an unscoped hold, from the
// lock's first mark on that thread to its last), its records wait: their console lines are
// written at once, and the records reach the sink, in order, on that same thread when its last
// hold ends, after that lock is released or handed off: a sink never runs under a library lock.
// A record reaches the sink once.
//
// What the sink sets off never reaches it: the records written on the sink's thread while it
// runs (by the sink itself or by the library calls it makes), and those written by the blocks
// those calls queue on the dispatch queues (the work of a UHF or reader operation, its timeout,
// its completion), on whatever thread they run, reach the console only. The mark goes with each
// block queued inside it, and with the blocks those queue in turn; not with the reader's own
// work queued as work items (a connection's loops, its initialisation and keep-alive, the
// connect() and disconnect() a sink hands off from a link thread, the automatic reconnect, the
// line's tellers), whose records reach the sink as any others, and never with an application
// delegate: a delegate told by a block that carries the mark (the progress of a firmware update
// a sink started) runs outside it (`OutsideSink`). The counting records (`tally`) are data, not a
// reaction: one written inside the mark reaches the sink once the mark has ended on its thread
// (the sink's call has returned, the queued block has run), never inside the sink's own call.
//
// A repeating fault reaches the sink a few times a second at most: of WARN, ERROR and FATAL
// records alike (the same level, tag and text, save the decimal numbers in the text; a hex code
// such as 0x4002 is part of the text, so records of different result codes are different
// faults), the first `kFaultsPerSecond` of each second pass and the others are left out and
// counted. So a sink that calls the library on every record it gets stops being called once its
// calls' records repeat, and a reader that writes the same fault hundreds of times a second calls
// it a few times. No record is left out without a count: the next alike record that passes says
// it, as "<text> (N like it left out)"; when none comes, the last record left out is handed on
// with the count of the others, with the first record of any kind that reaches the sink once its
// second has passed. The limit keeps 1,024 kinds; while that many are in their second or owe a
// count, the new kinds are limited together as one ("<text> (N other faults left out)"). TRACE,
// DEBUG and INFO records, and the console, are never left out. Nor are the records whose numbers
// the application counts on (the event line's counts of tag reports not told, written with
// `tally`): they are no faults for the limit, reach the sink whatever their pace, each with its
// own number, and are not counted among alike records. A record below the threshold costs one
// atomic load; callers that build expensive texts test `isEnabled` first.
class ORVANE_API orvLogger {
  public:
    using Tag = std::optional<std::string_view>;
    // Alike fault records that reach the sink in one second; the others are counted.
    static constexpr unsigned kFaultsPerSecond = 10;

    static LogLevel level() noexcept { return level_.load(std::memory_order_relaxed); }
    static void setLevel(LogLevel level) noexcept {
        level_.store(level, std::memory_order_relaxed);
    }
    static bool showNSLog() noexcept { return showNSLog_.load(std::memory_order_relaxed); }
    static void setShowNSLog(bool show) noexcept {
        showNSLog_.store(show, std::memory_order_relaxed);
    }

    static bool isEnabled(LogLevel level) noexcept {
        return rawValue(level) >= rawValue(orvLogger::level());
    }

    static void trace(Tag tag, std::string_view log) { triggerLogEvent(LogLevel::trace, tag, log); }
    static void debug(Tag tag, std::string_view log) { triggerLogEvent(LogLevel::debug, tag, log); }
    static void info(Tag tag, std::string_view log) { triggerLogEvent(LogLevel::info, tag, log); }
    static void warn(Tag tag, std::string_view log) { triggerLogEvent(LogLevel::warn, tag, log); }
    static void error(Tag tag, std::string_view log) { triggerLogEvent(LogLevel::error, tag, log); }
    static void fatal(Tag tag, std::string_view log) { triggerLogEvent(LogLevel::fatal, tag, log); }

    static void trace(std::string_view log) { triggerLogEvent(LogLevel::trace, std::nullopt, log); }
    static void debug(std::string_view log) { triggerLogEvent(LogLevel::debug, std::nullopt, log); }
    static void info(std::string_view log) { triggerLogEvent(LogLevel::info, std::nullopt, log); }
    static void warn(std::string_view log) { triggerLogEvent(LogLevel::warn, std::nullopt, log); }
    static void error(std::string_view log) { triggerLogEvent(LogLevel::error, std::nullopt, log); }
    static void fatal(std::string_view log) { triggerLogEvent(LogLevel::fatal, std::nullopt, log); }

    // Writes the console line (when the switch is on) and calls the sink, if the level passes.
    // Whatever the sink throws is caught here (noted on the console when the switch is on).
    static void triggerLogEvent(LogLevel level, Tag tag, std::string_view log);

    // Internal: writes a record whose numbers are data the application counts on (how many tag
    // reports were not told), as `triggerLogEvent` does, but past the repeating-fault limit: it
    // is never left out nor merged, and is not counted among alike records. Only for records a
    // caller writes a bounded number of times (once per operation or connection).
    ORVANE_INTERNAL static void tally(LogLevel level, Tag tag, std::string_view log);

    // The console line of a record: "yyyy-MM-dd HH:mm:ss.SSS [LEVEL] [tag] text" in local time.
    static std::string consoleLine(LogLevel level, Tag tag, std::string_view log);

    // Internal: held by library code around a lock under which it may log; declare it before the
    // lock's guard so that it ends after the lock is released. The console line of a record is
    // written at once; the sink gets the held records when the outermost hold of the thread ends.
    class ORVANE_INTERNAL Hold {
      public:
        Hold() noexcept { beginHold(); }
        ~Hold() { endHold(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
    };
    // Internal: the unscoped form of a hold, for a hold that begins and ends in different calls
    // (a thread working under a UHF module lock). Each begin is matched by one end on the same
    // thread; the end of the thread's last hold hands the waiting records to the sink, so call it
    // with no library lock held.
    ORVANE_INTERNAL static void beginHold() noexcept;
    ORVANE_INTERNAL static void endHold() noexcept;

    // Internal: whether the calling thread runs inside the sink (the sink itself, a library call
    // it makes, or a block queued inside it): the records it writes reach the console only.
    ORVANE_INTERNAL static bool insideSink() noexcept;
    // Internal: puts the calling thread inside the sink for its scope when `inside` is true (the
    // dispatch queues re-establish the mark of the thread that queued a block); it ends as it
    // was.
    class ORVANE_INTERNAL InsideSink {
      public:
        explicit InsideSink(bool inside) noexcept;
        ~InsideSink();
        InsideSink(const InsideSink&) = delete;
        InsideSink& operator=(const InsideSink&) = delete;

      private:
        bool was_;
    };
    // Internal: takes the calling thread out of the sink for its scope (the library tells an
    // application callback there, which is not the sink's work); it ends as it was.
    class ORVANE_INTERNAL OutsideSink {
      public:
        OutsideSink() noexcept;
        ~OutsideSink();
        OutsideSink(const OutsideSink&) = delete;
        OutsideSink& operator=(const OutsideSink&) = delete;

      private:
        bool was_;
    };

    // Internal (the reader registers itself; not exported): makes `sink` the logger's sink unless
    // a live sink is registered already. Returns true when it became the sink.
    ORVANE_INTERNAL static bool registerDelegateIfNone(
        const std::shared_ptr<orvLoggerDelegate>& sink);
    ORVANE_INTERNAL static std::shared_ptr<orvLoggerDelegate> delegate();

  private:
    static std::atomic<LogLevel> level_;
    static std::atomic<bool> showNSLog_;
};

}  // namespace orvane
