#pragma once

// Helpers shared by the test suites: bounded waits, a gate, a capturing log sink and a walk over
// the frames of a byte stream.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/commands/FrameCut.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/platform/Clock.h"

namespace orvane::test {

// Polls `condition` every millisecond of real time until it holds or `limit` (real time)
// passes; returns the last result. The limit only guards against a hang: what a test waits for
// comes by cause, and on a loaded machine may take many times longer than on an idle one.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Walks every frame at the head of `stream` with a pure cutter, to the end of what it holds
// (see forEachFrameUntil); the bytes consumed.
template <typename Cutter, typename OnFrame>
std::size_t forEachFrame(ByteView stream, Cutter&& cut, OnFrame&& onFrame) {
    return forEachFrameUntil(stream, cut, onFrame, [] { return false; });
}

// The threads of this process, from /proc (the pool exposes no count of its own).
inline std::size_t processThreads() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

// A gate that threads wait at while it is closed: a test holds a thread (an application callback,
// a log sink) for as long as it wants, so what it proves never depends on the machine's speed.
class Gate {
  public:
    // The threads that reach `pass()` from now on wait there until `open()`.
    void close() {
        std::lock_guard guard(lock_);
        closed_ = true;
    }
    void open() {
        {
            std::lock_guard guard(lock_);
            closed_ = false;
        }
        opened_.notify_all();
    }
    // Waits while the gate is closed.
    void pass() {
        std::unique_lock guard(lock_);
        if (!closed_) return;
        ++waiting_;
        opened_.wait(guard, [&] { return !closed_; });
        --waiting_;
    }
    // Waits while the gate is closed, asleep, for at most `limit` (real time: a guard against a
    // hang, never a verdict); whether the gate was open.
    bool pass(std::chrono::milliseconds limit) {
        std::unique_lock guard(lock_);
        if (!closed_) return true;
        ++waiting_;
        const bool opened = opened_.wait_for(guard, limit, [&] { return !closed_; });
        --waiting_;
        return opened;
    }
    // The threads waiting at the gate.
    int waiting() const { return waiting_.load(); }
    bool closed() const {
        std::lock_guard guard(lock_);
        return closed_;
    }

  private:
    mutable std::mutex lock_;
    std::condition_variable opened_;
    bool closed_ = false;
    std::atomic<int> waiting_{0};
};

// A number that threads wait on, asleep, until it reaches a target: blocks that each wait for the
// last of them to start, with no thread polling (hundreds that polled would take the cores from
// whatever else runs on a loaded machine).
class Count {
  public:
    // One more; the new value.
    int add() {
        int now = 0;
        {
            std::lock_guard guard(lock_);
            now = ++value_;
        }
        changed_.notify_all();
        return now;
    }
    int value() const {
        std::lock_guard guard(lock_);
        return value_;
    }
    // Waits until the value reaches `target`, for at most `limit` (a guard against a hang);
    // whether it did.
    bool waitFor(int target, std::chrono::milliseconds limit) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, limit, [&] { return value_ >= target; });
    }

  private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    int value_ = 0;
};

// The code of the ReaderException `call` throws; 0x0000 when it throws none.
inline ResultCode codeOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ReaderException& e) {
        return e.resultCode();
    }
    return ResultCode::noError;
}

// The moment of a date and time in the local calendar.
inline std::chrono::system_clock::time_point localTime(int year, int month, int day, int hour,
                                                       int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

// Turns the logger's console off for its lifetime. Once the last guard alive goes, the console is
// as it was before the first: a test makes one in place of a bare setShowNSLog(false), so an
// ASSERT that returns early or an exception that unwinds never leaves the console off for the
// tests after it. Guards may go in any order.
class ConsoleOff {
  public:
    ConsoleOff() {
        std::lock_guard guard(shared().lock);
        if (shared().alive++ == 0) shared().was = orvLogger::showNSLog();
        orvLogger::setShowNSLog(false);
    }
    ~ConsoleOff() {
        std::lock_guard guard(shared().lock);
        if (--shared().alive == 0) orvLogger::setShowNSLog(shared().was);
    }
    ConsoleOff(const ConsoleOff&) = delete;
    ConsoleOff& operator=(const ConsoleOff&) = delete;

  private:
    struct Shared {
        std::mutex lock;
        int alive = 0;
        bool was = true;
    };
    static Shared& shared() {
        static Shared state;
        return state;
    }
};

// Becomes the logger's sink for its lifetime and keeps every record; the console is off while it
// lives.
class LogCapture : public orvLoggerDelegate {
  public:
    static std::shared_ptr<LogCapture> install() {
        auto capture = std::make_shared<LogCapture>();
        // A capture that did not become the sink would see nothing and let log checks pass
        // vacuously.
        EXPECT_TRUE(orvLogger::registerDelegateIfNone(capture))
            << "another log sink is still alive; this capture would record nothing";
        return capture;
    }

    void logEvent(const LogEventArg& record) override {
        std::lock_guard guard(lock_);
        records_.push_back({record.level(), record.tag().value_or(""), record.log()});
    }

    // Records whose text starts with `prefix` (and, when given, have that level).
    int count(const std::string& prefix, std::optional<LogLevel> level = std::nullopt) const {
        std::lock_guard guard(lock_);
        int n = 0;
        for (const auto& r : records_) {
            if (r.text.rfind(prefix, 0) == 0 && (!level || r.level == *level)) ++n;
        }
        return n;
    }
    std::vector<std::string> texts(const std::string& tag) const {
        std::lock_guard guard(lock_);
        std::vector<std::string> out;
        for (const auto& r : records_) {
            if (r.tag == tag) out.push_back(r.text);
        }
        return out;
    }
    void clear() {
        std::lock_guard guard(lock_);
        records_.clear();
    }

  private:
    struct Record {
        LogLevel level;
        std::string tag;
        std::string text;
    };
    const ConsoleOff console_;
    mutable std::mutex lock_;
    std::vector<Record> records_;
};

}  // namespace orvane::test
