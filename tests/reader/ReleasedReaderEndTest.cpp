// A reader of each model let go by the application: its last report, Disconnected with no
// reader, reaches its UHF delegate also when its reader delegate throws from that report; and the
// close of its link never ends the connection of a reader made for the transport after it.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

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

// The logger's sink: holds the first record of `text` written once armed, on the thread that
// writes it (kept in `heldOn`), until the gate opens.
class HoldingSink : public orvLoggerDelegate {
  public:
    explicit HoldingSink(std::string text) : text_(std::move(text)) {}
    void logEvent(const LogEventArg& record) override {
        if (record.log() != text_ || !armed.exchange(false)) return;
        heldOn = std::this_thread::get_id();
        gate.pass();
    }
    std::atomic<bool> armed{false};
    std::atomic<std::thread::id> heldOn{};
    Gate gate;

  private:
    const std::string text_;
};

TYPED_TEST(ReleasedReaderEnd, TheCloseOfAReleasedReaderLeavesTheConnectionOfTheNextReader) {
    // A released reader whose transport no other reader holds closes the link: it stops its
    // protocol, whose first record ("*** stop()") the sink holds, and then closes. Meanwhile the
    // application makes the next reader for the same descriptor and connects it.
    auto sink = std::make_shared<HoldingSink>("*** stop()");
    ASSERT_TRUE(orvLogger::registerDelegateIfNone(sink));
    // A clock at which an exchange's budget lasts a minute: it only guards against a hang.
    const ClockSpeed slow(0.05);
    ModelReader<TypeParam> f;
    f.reader->setCheckInterval(0);
    sink->gate.close();
    sink->armed = true;
    std::thread release([released = std::move(f.reader)]() mutable { released.reset(); });
    // However the test ends, the held close runs to its end before the test returns.
    struct LetGo {
        HoldingSink& sink;
        std::thread& thread;
        ~LetGo() {
            sink.gate.open();
            if (thread.joinable()) thread.join();
        }
    } letGo{*sink, release};
    ASSERT_TRUE(waitUntil([&] { return sink->gate.waiting() == 1; }));
    // Held on the releasing thread: once it is joined, the close has run to its end.
    EXPECT_EQ(sink->heldOn.load(), release.get_id());

    f.calls = std::make_shared<CallLog>();
    f.sink = std::make_shared<ReaderSink>(f.calls);
    f.reader = UhfReader::create(f.found->devices.front());
    f.reader->setReaderDelegate(f.sink);
    f.reader->setCheckInterval(0);
    const bool connected = f.connected();
    // The released reader's close goes on now, on its own thread, and ends there.
    sink->gate.open();
    release.join();
    ASSERT_TRUE(connected);
    // The close has ended what it ends: the new connection stands.
    EXPECT_EQ(EATransport::shared()->connectState(), ConnectState::connected);
    EXPECT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
    EXPECT_EQ(f.calls->count("r state Disconnected"), 0);
}

}  // namespace
}  // namespace orvane::test
