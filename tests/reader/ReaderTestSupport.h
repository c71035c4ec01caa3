#pragma once

// Doubles for the reader suites: delegates that record every call as a line of text, a reader
// whose initialisation the test controls, and a UHF object whose driver records pumped events.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/reader/UhfReader.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"
#include "support/TestSupport.h"

namespace orvane::test {

// The clock runs four times faster in these suites.
class ReaderClock : public ::testing::Environment {
  public:
    void SetUp() override {
        Clock::setSpeed(4.0);
        orvLogger::setShowNSLog(false);
    }
};

// Runs the clock at another speed for its lifetime, then at the speed it found.
class ClockSpeed {
  public:
    explicit ClockSpeed(double speed) : was_(Clock::speed()) { Clock::setSpeed(speed); }
    ~ClockSpeed() { Clock::setSpeed(was_); }
    ClockSpeed(const ClockSpeed&) = delete;
    ClockSpeed& operator=(const ClockSpeed&) = delete;

  private:
    const double was_;
};

// One ordered log of every delegate call, shared by the sinks below.
class CallLog {
  public:
    void add(std::string line) {
        std::lock_guard guard(lock_);
        lines_.push_back(std::move(line));
    }
    std::vector<std::string> lines() const {
        std::lock_guard guard(lock_);
        return lines_;
    }
    int count(const std::string& line) const {
        std::lock_guard guard(lock_);
        return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
    }
    void clear() {
        std::lock_guard guard(lock_);
        lines_.clear();
    }

  private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

inline std::string state(ConnectState s) {
    return std::string(description(s));
}

// The number of tag reports a counting record of the event line says were not told; 0 for any
// other record.
inline uint64_t notToldIn(const std::string& text) {
    const auto at = text.find(" tag reports were not told");
    if (at == std::string::npos || at == 0) return 0;
    const auto from = text.rfind(' ', at - 1) + 1;
    return std::stoull(text.substr(from, at - from));
}

// A callback a test sets while the reader may be telling a report on another thread.
template <class... Args>
class GuardedCallback {
  public:
    GuardedCallback& operator=(std::function<void(Args...)> call) {
        std::lock_guard guard(lock_);
        call_ = std::move(call);
        return *this;
    }
    // Calls what is set at the call, outside the lock.
    void operator()(Args... args) const {
        std::function<void(Args...)> call;
        {
            std::lock_guard guard(lock_);
            call = call_;
        }
        if (call) call(args...);
    }

  private:
    mutable std::mutex lock_;
    std::function<void(Args...)> call_;
};

class ReaderSink : public ReaderDelegate {
  public:
    explicit ReaderSink(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
    GuardedCallback<const ConnectStateEventArgs&> onConnectState;
    std::atomic<uintptr_t> lastArgs{0};

    void batteryPercentageEvent(uint8_t p) override { add("battery " + std::to_string(p)); }
    void batteryInfoEvent(uint8_t p, bool c) override {
        add("batteryInfo " + std::to_string(p) + (c ? " charging" : ""));
    }
    void temperatureEvent(double t) override { add("temperature " + std::to_string(int(t))); }
    void connectStateEvent(const ConnectStateEventArgs& args) override {
        lastArgs = reinterpret_cast<uintptr_t>(&args);
        add("state " + state(args.connectState()));
        onConnectState(args);
    }
    void actionStateEvent(ActionState a) override { add("action " + std::string(description(a))); }
    void triggerKeyEvent(const KeyEventArgs&) override { add("key"); }
    void notificationEvent(const NotificationEventArgs&) override { add("notification"); }
    void logEvent(const LogEventArg& record) override {
        {
            std::lock_guard guard(logLock);
            logs.push_back(record.log());
        }
        note(std::string("[") + std::string(description(record.level())) + "] [" +
             record.tag().value_or("") + "] " + record.log());
    }
    void firmwareUpdateEvent(const FirmwareUpdateEventArgs& args) override {
        add("firmware " + std::string(description(args.state())) + " " +
            std::to_string(args.percentage()));
    }
    void lbtStatusEvent(const LbtStatusEventArgs&) override { add("lbt"); }
    void batchDataStatusEvent(BatchDataStatus) override { add("batch"); }

    std::mutex logLock;
    std::vector<std::string> logs;

    // Every record and delegate call in the order they came, each with the real milliseconds
    // since the sink was made and a short name of its thread: what a failing test prints to
    // explain itself.
    std::vector<std::string> history() const {
        std::lock_guard guard(historyLock_);
        return history_;
    }

  private:
    void add(const std::string& line) {
        log_->add("r " + line);
        note("call " + line);
    }
    void note(const std::string& line) {
        const auto ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - made_)
                .count();
        char stamp[48];
        std::snprintf(stamp, sizeof stamp, "%10.3f t%04zu ", ms,
                      std::hash<std::thread::id>{}(std::this_thread::get_id()) % 10000);
        std::lock_guard guard(historyLock_);
        history_.push_back(stamp + line);
    }
    std::shared_ptr<CallLog> log_;
    const std::chrono::steady_clock::time_point made_ = std::chrono::steady_clock::now();
    mutable std::mutex historyLock_;
    std::vector<std::string> history_;
};

class UhfSink : public UhfReaderDelegate {
  public:
    explicit UhfSink(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
    std::atomic<uintptr_t> lastArgs{0};

    void batteryPercentageEvent(uint8_t p) override { add("battery " + std::to_string(p)); }
    void temperatureEvent(double t) override { add("temperature " + std::to_string(int(t))); }
    void connectStateEvent(const ConnectStateEventArgs& args) override {
        lastArgs = reinterpret_cast<uintptr_t>(&args);
        add("state " + state(args.connectState()));
    }
    void actionStateEvent(ActionState a) override { add("action " + std::string(description(a))); }
    void triggerKeyEvent(const KeyEventArgs&) override { add("key"); }
    void notificationEvent(const NotificationEventArgs&) override { add("notification"); }
    void logEvent(const LogEventArg&) override {}

  private:
    void add(const std::string& line) { log_->add("u " + line); }
    std::shared_ptr<CallLog> log_;
};

class TagSink : public RfidDelegate, public BarcodeDelegate {
  public:
    explicit TagSink(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
    void readTag(const std::shared_ptr<BaseReader>& reader,
                 const std::shared_ptr<TagInfo>&) override {
        log_->add(std::string("t readTag") + (reader ? "" : " (no reader)"));
    }
    void accessResult(const std::shared_ptr<BaseReader>&, const AccessResultEventArgs&) override {
        log_->add("t accessResult");
    }
    void barcodeEvent(const std::shared_ptr<BaseReader>& reader, const BarcodeEventArgs&) override {
        log_->add(std::string("b barcode") + (reader ? "" : " (no reader)"));
    }

  private:
    std::shared_ptr<CallLog> log_;
};

// A driver that records the events pumped into it.
class RecordingModule : public BaseUhfModule {
  public:
    RecordingModule(std::shared_ptr<BaseProtocol> protocol, std::shared_ptr<CallLog> log)
        : BaseUhfModule(std::move(protocol), "RecordingModule"), log_(std::move(log)) {}
    void pumpEvent(ProtocolEventId id, const ProtocolEventValue&) override {
        log_->add("m pump " + std::to_string(rawValue(id)));
    }

  private:
    std::shared_ptr<CallLog> log_;
};

// A UHF object with a recording driver; stop() records and completes at once.
class FakeUhf : public BaseUhf {
  public:
    FakeUhf(std::weak_ptr<ReaderLink> reader, std::shared_ptr<BaseDevice> device,
            std::shared_ptr<CallLog> log, bool withModule = true)
        : BaseUhf(std::move(reader), device, device ? device->baseProtocol() : nullptr, "FakeUhf"),
          log_(std::move(log)) {
        if (withModule) uhfModule_ = std::make_shared<RecordingModule>(baseProtocol_, log_);
    }
    bool initModule() override { return true; }
    void stop(std::function<void(ResultCode)> completion) override {
        log_->add("uhf stop");
        completion(ResultCode::noError);
    }
    void readTag(std::shared_ptr<UhfReader>, std::shared_ptr<TagInfo>) override {}
    void accessResult(std::shared_ptr<UhfReader>, const AccessResultEventArgs&) override {}

  private:
    std::shared_ptr<CallLog> log_;
};

// The reader's delegate and log sink: records the delegate calls and, once armed, runs an action
// inside the first log record for which the armed test holds, on that record's thread.
class ArmedSink : public ReaderSink {
  public:
    explicit ArmedSink(std::shared_ptr<CallLog> log) : ReaderSink(std::move(log)) {}
    using Test = std::function<bool(const std::string& text)>;
    void arm(Test when, std::function<void()> action) {
        std::lock_guard guard(lock_);
        when_ = std::move(when);
        action_ = std::move(action);
    }
    void logEvent(const LogEventArg& record) override {
        ReaderSink::logEvent(record);
        std::function<void()> action;
        {
            std::lock_guard guard(lock_);
            if (!action_ || !when_(record.log())) return;
            action = std::exchange(action_, nullptr);
            when_ = nullptr;
        }
        action();
    }

  private:
    std::mutex lock_;
    Test when_;
    std::function<void()> action_;
};

// A UHF reader whose initialisation the test drives: each Connected report is counted; with
// `finish` set the initialisation ends at once as a successful one does; with `hold` set it waits
// until `release()`.
class TestReader : public UhfReader {
  public:
    TestReader(Key key, std::shared_ptr<OrvaneDevice> device) : UhfReader(key, std::move(device)) {}

    std::atomic<int> inits{0};
    std::atomic<bool> finish{true};
    std::atomic<bool> hold{false};
    std::atomic<int> staleFinishes{0};

    void release() {
        // Notified under the lock: the initialisation it frees may let the last reference go,
        // and the reader with it, as soon as it can return.
        std::lock_guard guard(holdLock_);
        released_ = true;
        holdDone_.notify_all();
    }
    // With `holdTelling` set to a state, a report of that state waits at `tellGate` after the
    // state was stored and before it is told, as a thread that stored it and was not yet run.
    std::atomic<int> holdTelling{-1};
    Gate tellGate;
    void triggerConnectStateEvent(ConnectState state) override {
        if (holdTelling.load() == rawValue(state)) tellGate.pass();
        UhfReader::triggerConnectStateEvent(state);
    }

    // Runs inside each failure counted, before it is counted (on the counting thread).
    GuardedCallback<> onFailure;
    int addFailure() override {
        onFailure();
        return UhfReader::addFailure();
    }

    void installUhf(std::shared_ptr<BaseUhf> uhf) { setUhf(std::move(uhf)); }
    // Only before the reader's first connect().
    void useDevice(std::shared_ptr<BaseDevice> device) { replaceBaseDevice(std::move(device)); }
    void callAllocateUhf(UhfModuleType type) { allocateUhf(type); }
    uint64_t generation() const { return currentLink(); }

  protected:
    void asyncInitReader(uint64_t generation) override {
        ++inits;
        if (hold.load()) {
            std::unique_lock guard(holdLock_);
            holdDone_.wait(guard, [&] { return released_; });
        }
        if (finish.load() && !finishInitialisation(generation)) ++staleFinishes;
    }

  private:
    std::mutex holdLock_;
    std::condition_variable holdDone_;
    bool released_ = false;
};

}  // namespace orvane::test
