// A connected reader of each model let go by the application: its last report, Disconnected
// with no reader, reaches its UHF delegate also when its reader delegate throws from that report.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "ReaderFixture.h"

namespace orvane::test {
namespace {

// Records each connection report as "<state>" or "<state> (no reader)".
class StateRecorder : public UhfReaderDelegate {
  public:
    void batteryPercentageEvent(uint8_t) override {}
    void temperatureEvent(double) override {}
    void connectStateEvent(const ConnectStateEventArgs& args) override {
        heard.add(std::string(description(args.connectState())) +
                  (args.reader() ? "" : " (no reader)"));
    }
    void actionStateEvent(ActionState) override {}
    void triggerKeyEvent(const KeyEventArgs&) override {}
    void notificationEvent(const NotificationEventArgs&) override {}
    void logEvent(const LogEventArg&) override {}
    CallLog heard;
};

// Connects, again when an attempt ends Disconnected (an exchange of the initialisation timed out
// on a loaded machine): the end needs a connected reader, not a first attempt that succeeds. Each
// attempt ends in the report `heard` records, Connected or Disconnected.
template <class F>
bool connectedAtLast(F& f, const CallLog& heard) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int ended = heard.count("Connected") + heard.count("Disconnected");
        if (!f.reader->connect() || !waitUntil([&] {
                return heard.count("Connected") + heard.count("Disconnected") > ended;
            })) {
            return false;
        }
        if (heard.count("Connected") == 1) {
            return waitUntil([&] { return f.reader->eventLine().statesTold(); }) &&
                   f.reader->connectState() == ConnectState::connected;
        }
    }
    return false;
}

template <class Model>
class ReleasedReaderEnd : public ::testing::Test {};
TYPED_TEST_SUITE(ReleasedReaderEnd, ReaderModels, ModelName);

TYPED_TEST(ReleasedReaderEnd, AThrowingReaderDelegateNeverKeepsTheEndFromTheUhfDelegate) {
    const struct {
        const char* name;
        std::function<void()> fault;
    } cases[] = {
        {"a standard exception", [] { throw std::runtime_error("application fault"); }},
        {"an unknown exception", [] { throw 7; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ModelReader<TypeParam> f;
        // No keep-alive: a late reply never ends the link before the reader is let go.
        f.reader->setCheckInterval(0);
        auto uhf = std::make_shared<StateRecorder>();
        f.reader->setUhfReaderDelegate(uhf);
        auto thrown = std::make_shared<std::atomic<int>>(0);
        f.sink->onConnectState = [thrown, fault = c.fault](const ConnectStateEventArgs& args) {
            if (args.reader() || args.connectState() != ConnectState::disconnected) return;
            ++*thrown;
            fault();
        };
        ASSERT_TRUE(connectedAtLast(f, uhf->heard));

        std::weak_ptr<UhfReader> weak = f.reader;
        f.reader.reset();
        ASSERT_TRUE(waitUntil([&] { return weak.expired(); }));
        EXPECT_TRUE(waitUntil([&] { return thrown->load() == 1; }));
        ASSERT_TRUE(waitUntil([&] { return uhf->heard.count("Disconnected (no reader)") == 1; }));
        EXPECT_EQ(uhf->heard.lines().back(), "Disconnected (no reader)");
        f.sink->onConnectState = nullptr;
    }
}

}  // namespace
}  // namespace orvane::test
