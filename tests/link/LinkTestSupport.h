#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/platform/Clock.h"
#include "sim/SimAccessory.h"
#include "support/TestSupport.h"

namespace orvane::test {

// Records every state report; `onReport` runs inside the report.
class RecordingDelegate : public TransportDelegate {
  public:
    std::function<void(ConnectState)> onReport;

    void connectStateEvent(const ConnectStateEventArgs& args) override {
        EXPECT_EQ(args.reader(), nullptr);
        {
            std::lock_guard guard(lock_);
            states_.push_back(args.connectState());
        }
        if (onReport) onReport(args.connectState());
    }
    // Notes the connection each report names, then records it as above.
    void linkStateEvent(const ConnectStateEventArgs& args, uint64_t link) override {
        {
            std::lock_guard guard(lock_);
            links_.push_back(link);
        }
        connectStateEvent(args);
    }
    std::vector<ConnectState> states() const {
        std::lock_guard guard(lock_);
        return states_;
    }
    // The connection each report named, in the order of `states()`.
    std::vector<uint64_t> links() const {
        std::lock_guard guard(lock_);
        return links_;
    }
    void clear() {
        std::lock_guard guard(lock_);
        states_.clear();
        links_.clear();
    }

  private:
    mutable std::mutex lock_;
    std::vector<ConnectState> states_;
    std::vector<uint64_t> links_;
};

inline const Bytes kRequest{0x02, 0x00, 0x04, 0x00, 0x21, 0xFF, 0xDB, 0x03};
inline const Bytes kReply{0x02, 0x00, 0x08, 0x00, 0x21, 0x00, 0x01, 0x01, 0x0B, 0xFF, 0xCA, 0x03};

inline std::shared_ptr<SimAccessory> makeSimReader(
    std::string manufacturer = "Orvane Technology", std::string model = "VK210",
    std::vector<std::string> protocols = {"com.orvane.dcbridge"},
    std::shared_ptr<SimResponder> responder = nullptr) {
    if (!responder) {
        auto scripted = std::make_shared<ScriptedResponder>();
        scripted->on(kRequest, kReply);
        responder = scripted;
    }
    static std::atomic<int> serial{0};
    return std::make_shared<SimAccessory>(
        AccessoryInfo{std::move(manufacturer), model, model, "SIM-" + std::to_string(++serial),
                      "1.01.11", std::move(protocols)},
        std::move(responder));
}

// Faults with the changes `set` makes to the defaults.
template <typename Set>
SimFaults faults(Set set) {
    SimFaults f;
    set(f);
    return f;
}

// The link suites run the library's clock four times faster than real time.
class FastClock : public ::testing::Environment {
  public:
    void SetUp() override { Clock::setSpeed(4.0); }
};

// A sink that hands each record to a test function.
class CallingSink : public orvLoggerDelegate {
  public:
    std::function<void(const LogEventArg&)> onRecord;
    void logEvent(const LogEventArg& record) override { onRecord(record); }
};

// Runs `call` with a sink that, on the first record starting with `prefix`, runs `callBack` on
// another thread and waits for it: that ends in time only when the sink runs after `call` has
// released its locks.
inline void expectASinkMayCallBack(std::string prefix, const std::function<void()>& call,
                                   std::function<void()> callBack) {
    const ConsoleOff console;
    const LogLevel saved = orvLogger::level();
    orvLogger::setLevel(LogLevel::trace);
    // Shared with the sink, which a late record of another thread may still be calling.
    struct State {
        std::atomic<bool> first{true};
        std::atomic<bool> done{false};
        // Kept past the sink's wait, so a call back that cannot end never holds the sink.
        std::future<void> callBack;
    };
    auto state = std::make_shared<State>();
    auto sink = std::make_shared<CallingSink>();
    sink->onRecord = [state, prefix, callBack](const LogEventArg& record) {
        if (record.log().rfind(prefix, 0) != 0 || !state->first.exchange(false)) return;
        state->callBack = std::async(std::launch::async, callBack);
        state->done =
            state->callBack.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    };
    EXPECT_TRUE(orvLogger::registerDelegateIfNone(sink));
    call();
    sink.reset();
    EXPECT_FALSE(state->first.load()) << "no record starts with " << prefix;
    EXPECT_TRUE(state->done.load());
    orvLogger::setLevel(saved);
}

}  // namespace orvane::test
