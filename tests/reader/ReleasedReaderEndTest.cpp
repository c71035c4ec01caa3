// A reader of each model let go by the application: its last report, Disconnected with no
// reader, reaches its UHF delegate also when its reader delegate throws from that report; and the
// close of its link never ends the connection of a reader made for the transport after it.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ReaderFixture.h"
#include "orvanerfid/reader/EventSequence.h"

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

// The application lets the reader go while its reader delegate is held in a report; the states
// stored meanwhile are not told (the reader is gone by their turn), and the end is told once:
// Disconnected with no reader when the state heard last was another, nothing when it was
// Disconnected.
TYPED_TEST(ReleasedReaderEnd, TheEndOfAReaderLetGoOfIsToldOnceAfterTheStateHeardLast) {
    const struct {
        const char* name;
        // The report the delegate is held in, and what the application does while it is held.
        const char* held;
        bool disconnectFirst;
        std::function<void(UhfReader&)> meanwhile;
        std::vector<std::string> heard;
    } cases[] = {
        {"a Disconnected stored, untold",
         "Connected",
         false,
         [](UhfReader& reader) { EXPECT_TRUE(reader.disconnect()); },
         {"Connecting", "Connected"}},
        {"a Connecting stored after a Disconnected heard",
         "Disconnected",
         true,
         [](UhfReader& reader) { reader.setConnectState(ConnectState::connecting); },
         {"Connecting", "Connected", "Disconnecting", "Disconnected"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Exchanges' budgets only guard against a hang.
        const ClockSpeed slow(0.25);
        ModelReader<TypeParam> f;
        f.reader->setCheckInterval(0);
        auto uhf = std::make_shared<StateRecorder>();
        f.reader->setUhfReaderDelegate(uhf);
        auto gate = std::make_shared<Gate>();
        auto armed = std::make_shared<std::atomic<bool>>(!c.disconnectFirst);
        f.sink->onConnectState = [gate, armed,
                                  held = std::string(c.held)](const ConnectStateEventArgs& args) {
            if (args.reader() && description(args.connectState()) == held && armed->exchange(false))
                gate->pass();
        };
        gate->close();
        // Opened however the case ends, so a held teller never outlives it.
        struct Open {
            Gate& gate;
            ~Open() { gate.open(); }
        } open{*gate};
        ASSERT_TRUE(f.reader->connect());
        if (c.disconnectFirst) {
            ASSERT_TRUE(waitUntil([&] { return uhf->heard.count("Connected") == 1; }));
            armed->store(true);
            ASSERT_TRUE(f.reader->disconnect());
        }
        ASSERT_TRUE(waitUntil([&] { return gate->waiting() == 1; }));
        c.meanwhile(*f.reader);
        const auto line =
            std::const_pointer_cast<EventSequence>(f.reader->eventLine().shared_from_this());
        std::weak_ptr<UhfReader> weak = f.reader;
        // Let go of once the library's work holds it no more: only the application and the held
        // report (its task and its arguments) do.
        ASSERT_TRUE(waitUntil([&] { return weak.use_count() == 3; }));
        f.reader.reset();
        gate->open();
        ASSERT_TRUE(waitUntil([&] { return weak.expired(); }));
        // A state stored after the reader's end is told after it: once it is, every report of
        // the reader has been told.
        std::promise<void> told;
        line->tellState([&]() -> EventSequence::Task { return [&] { told.set_value(); }; });
        told.get_future().wait();
        // Heard up to the held report as expected; after it, a state the library's own work told
        // while it still held the reader, if any, then the end once, and never an end after an
        // end.
        const auto lines = uhf->heard.lines();
        ASSERT_GE(lines.size(), c.heard.size());
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + c.heard.size()), c.heard);
        const auto isEnd = [](const std::string& line) {
            return line.rfind("Disconnected", 0) == 0;
        };
        EXPECT_TRUE(isEnd(lines.back()));
        for (std::size_t i = 1; i < lines.size(); ++i)
            EXPECT_FALSE(isEnd(lines[i - 1]) && isEnd(lines[i])) << i;
        EXPECT_LE(uhf->heard.count("Disconnected (no reader)"), 1);
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
