// Starting again from where the last thing ended: a connection restarted from the reader's own
// link thread, an operation called right after a stop was answered, a tag-memory read whose
// receive buffer is reset while its answer is on its way.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/ReceiveLoop.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/EventSequence.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"
#include "uhf/UhfAppDelegate.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;

// Holds the first report of `state` the reader tells once armed, on the reporting thread, until
// `release`; `inside` is ready once it is held. Records each state as the report of it ends.
class HeldState {
  public:
    explicit HeldState(ConnectState state) : state_(state) {}
    void operator()(const ConnectStateEventArgs& args) {
        if (args.connectState() == state_ && armed_.exchange(false)) {
            inside.set_value();
            gate_.wait();
        }
        std::lock_guard guard(lock_);
        ended_.push_back(args.connectState());
    }
    void release() { open_.set_value(); }
    std::vector<ConnectState> ended() const {
        std::lock_guard guard(lock_);
        return ended_;
    }
    std::promise<void> inside;

  private:
    const ConnectState state_;
    std::atomic<bool> armed_{true};
    std::promise<void> open_;
    std::shared_future<void> gate_ = open_.get_future().share();
    mutable std::mutex lock_;
    std::vector<ConnectState> ended_;
};

// The frame in which a Vk210 reports an inventory's end, after the stop's reply.
bool endsInventory(ByteView frame) {
    return frame.size() > 4 && readBe16(frame, 3) == rawValue(OrvRfidCmdId::inventoryStatus);
}

// Whether the reader's connection stands with no connect() or disconnect() handed off left to
// run, as connect() answers it on a link thread of no reader (a loop of the test's own), where it
// neither waits nor hands anything off.
bool standsWithNothingHandedOff(const std::shared_ptr<BaseReader>& reader) {
    static const int noReader = 0;
    // The loop's owner is the loop itself, so it outlives its last turn.
    const auto loop = std::make_shared<ReceiveLoop>(
        DispatchQueue::make("com.orvane.test.otherLink", DispatchQoS::default_,
                            DispatchQueueAttributes::concurrent, DispatchWork::library),
        &noReader);
    auto answer = std::make_shared<std::promise<bool>>();
    auto heard = answer->get_future();
    ReceiveLoop::Hooks hooks;
    hooks.turn = [runner = loop.get(), reader, answer](const DispatchWorkItem&) {
        runner->defer([reader, answer] { answer->set_value(reader->connect()); });
        return false;
    };
    hooks.rest = [](const DispatchWorkItem&) {};
    hooks.ended = [](bool) {};
    loop->start(loop, std::move(hooks));
    // A hang guard only.
    return heard.wait_for(std::chrono::seconds(60)) == std::future_status::ready && heard.get();
}

// The model's unsolicited frame, which the receive thread logs.
struct Vk210Restart : Vk210UhfModel {
    static constexpr bool kEndAfterStop = true;
    static bool sendNotice(Sim& sim) { return sim.sendBatteryNotice(50, false); }
};
struct Vk640Restart : Vk640Model {
    static constexpr bool kEndAfterStop = false;
    static bool sendNotice(Sim& sim) { return sim.sendBatteryNotice(50); }
};

template <class Model>
class UhfRestartTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }
    void SetUp() override {
        f.reader->setReaderDelegate(sink);
        // Only the test's operations reach the reader: the keep-alive is off.
        f.reader->setCheckInterval(0);
        ASSERT_TRUE(f.connected());
        ASSERT_TRUE(f.reader->uhf());
        f.reader->uhf()->setDelegate(app);
    }
    void TearDown() override {
        sink->arm(nullptr, nullptr);
        f.reader->setReaderDelegate(f.sink);
    }

    // The index of the first `line` of the delegate calls at or after `from`; -1 when none.
    int indexOf(const std::string& line, int from) const {
        const auto lines = f.calls->lines();
        for (auto i = static_cast<std::size_t>(from); i < lines.size(); ++i) {
            if (lines[i] == line) return static_cast<int>(i);
        }
        return -1;
    }

    // The sink calls `disconnect(); connect();` on the receive thread, on the record of a call
    // made here; the connection states go to `held`.
    void restartFromTheSink(const std::shared_ptr<HeldState>& held) {
        const auto reader = f.reader;
        sink->onConnectState = [held](const ConnectStateEventArgs& args) { (*held)(args); };
        sink->arm(
            [p = reader->baseProtocol()](const std::string&) { return p->receivesOnThisThread(); },
            [reader] {
                EXPECT_TRUE(reader->disconnect());
                EXPECT_TRUE(reader->connect());
            });
        answerOf<int>([&](auto done) { reader->uhf()->getPower(done); });
    }

    // The records written so far that start with `head`.
    int recordsStarting(const std::string& head) const {
        std::lock_guard guard(sink->logLock);
        return static_cast<int>(
            std::count_if(sink->logs.begin(), sink->logs.end(),
                          [&](const std::string& l) { return l.rfind(head, 0) == 0; }));
    }

    bool logged(const std::string& text) const {
        std::lock_guard guard(sink->logLock);
        return std::find(sink->logs.begin(), sink->logs.end(), text) != sink->logs.end();
    }

    ModelReader<Model> f{[] {
        auto sim = Model::makeSim();
        sim->setTags(makeSimTags(4));
        return sim;
    }()};
    std::shared_ptr<ArmedSink> sink = std::make_shared<ArmedSink>(f.calls);
    std::shared_ptr<AppDelegate> app = std::make_shared<AppDelegate>();
};

using Models = ::testing::Types<Vk210Restart, Vk640Restart>;
TYPED_TEST_SUITE(UhfRestartTest, Models, ModelName);

// connect() called on the reader's receive thread right after a disconnect() there, and while a
// connection ends under it (a disconnect() from the application's thread, the link lost): it
// answers true, and the application hears Disconnected, then Connected, and the reader stays
// connected.
TYPED_TEST(UhfRestartTest, AConnectOnTheReceiveThreadReconnectsAfterTheEndBeforeIt) {
    auto& f = this->f;
    const auto reader = f.reader;
    const auto transport = reader->baseTransport();
    struct Row {
        const char* name;
        // Whether the sink acts on a record of the receive thread.
        std::function<bool()> when;
        // What the sink calls there; gives connect()'s answer.
        std::function<bool()> calls;
        // What the test's thread does once the sink is armed.
        std::function<void()> brings;
    };
    // Traffic on the receive thread; the sink's disconnect may end its exchange.
    const auto getPower = [reader] {
        answerOf<int>([&](auto done) { reader->uhf()->getPower(done); });
    };
    // Once the end has begun (the receive loop writes its last records after that).
    const auto ending = [reader, transport] {
        return reader->triggerDisconnect() || reader->connectState() != ConnectState::connected ||
               transport->connectState() != ConnectState::connected;
    };
    const std::vector<Row> rows = {
        {"disconnect(); connect(); on a standing connection", [] { return true; },
         [reader] {
             EXPECT_TRUE(reader->disconnect());
             return reader->connect();
         },
         getPower},
        // The hand-off's thread has taken the end and is held in it before the sink's connect()
        // is made: that connect() still comes after the end, not in place of it.
        {"disconnect(); connect(); with the end handed off already at work", [] { return true; },
         [this, reader] {
             auto gate = std::make_shared<Gate>();
             gate->close();
             const std::shared_ptr<void> opens(nullptr, [gate](void*) { gate->open(); });
             this->sink->arm(
                 [p = reader->baseProtocol()](const std::string& text) {
                     return text == "+++ disconnect() " && !p->receivesOnThisThread();
                 },
                 [gate] { gate->pass(); });
             EXPECT_TRUE(reader->disconnect());
             // A hang guard only.
             EXPECT_TRUE(waitUntil([&] { return gate->waiting() == 1; }));
             return reader->connect();
         },
         getPower},
        {"connect() during a disconnect() of another thread", ending,
         [reader] { return reader->connect(); }, [reader] { EXPECT_TRUE(reader->disconnect()); }},
        {"connect() while the link is lost", ending, [reader] { return reader->connect(); },
         [transport] { transport->disconnect(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Each row starts from a standing connection, whatever the row before left.
        if (reader->connectState() != ConnectState::connected) {
            ASSERT_TRUE(f.connected());
        }
        const std::size_t mark = f.calls->lines().size();
        auto answer = std::make_shared<std::atomic<int>>(-1);
        this->sink->arm([p = reader->baseProtocol(), &row](
                            const std::string&) { return p->receivesOnThisThread() && row.when(); },
                        [&row, answer] { *answer = row.calls() ? 1 : 0; });
        row.brings();
        EXPECT_TRUE(waitUntil([&] { return answer->load() >= 0; }));
        EXPECT_EQ(answer->load(), 1);
        // Disconnected, then Connected after it; thirty seconds only guard against a hang.
        const auto after = [&](const std::string& line, int from) {
            return waitUntil([&] { return from >= 0 && this->indexOf(line, from) >= 0; },
                             std::chrono::seconds(30))
                       ? this->indexOf(line, from)
                       : -1;
        };
        EXPECT_GE(after("r state Connected", after("r state Disconnected", int(mark))), 0);
        if (reader->connectState() != ConnectState::connected) continue;
        EXPECT_EQ(answerOf<int>([&](auto done) { reader->uhf()->getPower(done); }).first, kOk);
    }
}

// A disconnect() the log sink makes, on the reader's receive thread (handed off) and on the
// thread of a record of the application's: the application's Disconnected report runs outside
// the sink, so what it writes reaches the sink, and so do the records of the end handed off.
TYPED_TEST(UhfRestartTest, TheReportOfADisconnectTheSinkMadeRunsOutsideTheSink) {
    auto& f = this->f;
    const auto reader = f.reader;
    struct Row {
        const char* name;
        bool onReceiveThread;
    };
    // Whether the last Disconnected report ran inside the sink (-1: none yet); it writes `heard`.
    // Set once, while no report runs; each row starts it again.
    auto inside = std::make_shared<std::atomic<int>>(-1);
    const std::string heard = "The delegate heard Disconnected";
    this->sink->onConnectState = [inside, heard](const ConnectStateEventArgs& args) {
        if (args.connectState() != ConnectState::disconnected) return;
        orvLogger::error("UhfRestartTest", heard);
        *inside = orvLogger::insideSink() ? 1 : 0;
    };
    for (const Row row : {Row{"on the receive thread", true}, Row{"on a plain thread", false}}) {
        SCOPED_TRACE(row.name);
        if (reader->connectState() != ConnectState::connected) {
            ASSERT_TRUE(f.connected());
        }
        *inside = -1;
        {
            std::lock_guard guard(this->sink->logLock);
            this->sink->logs.clear();
        }
        const std::string start = std::string("Disconnect from the sink ") + row.name;
        this->sink->arm(
            [p = reader->baseProtocol(), &row, start](const std::string& text) {
                return row.onReceiveThread ? p->receivesOnThisThread() : text == start;
            },
            [reader] { EXPECT_TRUE(reader->disconnect()); });
        if (row.onReceiveThread) {
            answerOf<int>([&](auto done) { reader->uhf()->getPower(done); });
        } else {
            orvLogger::error("UhfRestartTest", start);
        }
        ASSERT_TRUE(waitUntil([&] { return inside->load() >= 0; }, std::chrono::seconds(60)));
        EXPECT_EQ(inside->load(), 0);
        // Written inside the report, which the sink got at once.
        EXPECT_TRUE(this->logged(heard));
        if (row.onReceiveThread) {
            EXPECT_TRUE(this->logged("disconnect() Trigger transport disconnect"));
        }
    }
}

// The sink calls disconnect() on the receive thread (handed off), and the application hands its
// Disconnected report to another thread and waits for it there, as a user interface that runs
// its callbacks on its own thread does; that thread calls connect(). The report runs on no
// thread of the library's own work and connect() waits for no thread that runs it: it answers
// true while the report still waits for it, and the reader connects. (A connect() that waited
// for the report would answer only once its guard for the hand-off, about 7 s of clock time,
// ran out: the clock runs slow here, so that guard, 28 s, is past the test's own, 20 s.)
TYPED_TEST(UhfRestartTest, AConnectFromTheThreadTheDisconnectedReportWaitsForAnswers) {
    auto& f = this->f;
    const auto reader = f.reader;
    auto answer = std::make_shared<std::promise<bool>>();
    auto armed = std::make_shared<std::atomic<bool>>(true);
    this->sink->onConnectState = [reader, answer, armed](const ConnectStateEventArgs& args) {
        if (args.connectState() != ConnectState::disconnected || !armed->exchange(false)) return;
        // The interface thread's connect(), waited for inside the report (a hang guard only).
        auto ui = std::async(std::launch::async, [reader] { return reader->connect(); });
        if (ui.wait_for(std::chrono::seconds(20)) == std::future_status::ready) {
            answer->set_value(ui.get());
        }
    };
    const struct Speed {
        Speed() { Clock::setSpeed(0.25); }
        ~Speed() { Clock::setSpeed(1.0); }
    } slow;
    this->sink->arm(
        [p = reader->baseProtocol()](const std::string&) { return p->receivesOnThisThread(); },
        [reader] { EXPECT_TRUE(reader->disconnect()); });
    answerOf<int>([&](auto done) { reader->uhf()->getPower(done); });
    auto answered = answer->get_future();
    ASSERT_EQ(answered.wait_for(std::chrono::seconds(90)), std::future_status::ready)
        << "connect() waited for the report that waits for it";
    EXPECT_TRUE(answered.get());
    // The reconnect's initialisation runs to its end on the slow clock: the speed goes back once
    // the reader is Connected and that state was told.
    EXPECT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; },
                          std::chrono::seconds(60)));
    EXPECT_TRUE(waitUntil([&] { return reader->eventLine().statesTold(); }));
}

// The sink calls `disconnect(); connect();` on the receive thread, and the reconnect handed off
// cannot be made (the accessory's streams no longer open): connect() answered true, the reader
// ends disconnected, and the ERROR records that say why reach the sink.
TYPED_TEST(UhfRestartTest, TheErrorsOfAReconnectTheSinkHandedOffReachTheSink) {
    auto& f = this->f;
    const auto reader = f.reader;
    auto held = std::make_shared<HeldState>(ConnectState::disconnected);
    held->release();
    // The reconnect handed off is held by the sink in its open's record, in the step of the
    // reader's connection sequence that makes it, until the accessory's streams no longer open.
    auto gate = std::make_shared<Gate>();
    gate->close();
    const std::shared_ptr<void> opens(nullptr, [gate](void*) { gate->open(); });
    const auto protocol = reader->baseProtocol();
    this->sink->onConnectState = [held](const ConnectStateEventArgs& args) { (*held)(args); };
    this->sink->arm([protocol](const std::string&) { return protocol->receivesOnThisThread(); },
                    [this, reader, gate] {
                        // Armed first: the sequence takes the calls at once.
                        this->sink->arm(
                            // The open's step (no longer a connect() on the hand-off's thread).
                            [reader](const std::string& text) {
                                return text == "connect() Trigger transport connect" &&
                                       reader->onOwnSequence();
                            },
                            [gate] { gate->pass(); });
                        EXPECT_TRUE(reader->disconnect());
                        EXPECT_TRUE(reader->connect());
                    });
    answerOf<int>([&](auto done) { reader->uhf()->getPower(done); });
    ASSERT_TRUE(waitUntil([&] { return gate->waiting() == 1; }, std::chrono::seconds(60)));
    SimFaults faults = f.accessory_->faults();
    faults.inputOpenFails = true;
    f.accessory_->setFaults(faults);
    gate->open();
    // Disconnected, then Connecting and Disconnected of the reconnect that failed.
    const auto disconnects = [&] {
        const auto states = held->ended();
        return std::count(states.begin(), states.end(), ConnectState::disconnected);
    };
    ASSERT_TRUE(waitUntil([&] { return disconnects() >= 2; }, std::chrono::seconds(60)));
    const auto states = held->ended();
    ASSERT_GE(states.size(), 2u);
    EXPECT_EQ(states[states.size() - 2], ConnectState::connecting);
    EXPECT_EQ(reader->connectState(), ConnectState::disconnected);
    EXPECT_TRUE(this->logged("connect() open session failed"));
    faults.inputOpenFails = false;
    f.accessory_->setFaults(faults);
    ASSERT_TRUE(f.connected());
}

// The sink hands off calls from the receive thread (`disconnect(); connect();`, or disconnect()),
// and the application's thread makes the other call while the step of the reader's connection
// sequence that carries out a call handed off is at work, held by the sink in its record: the
// application's call is the last and decides. It waits behind the held step (its own step comes
// after it) and answers once that step goes on; the reader ends as the application asked: a
// connect() handed off opens a connection that the later disconnect() ends, and an end handed off
// that has begun closing is followed by the later connect()'s new connection.
TYPED_TEST(UhfRestartTest, APlainCallMadeWhileACallHandedOffIsAtWorkDecidesAtOnce) {
    auto& f = this->f;
    const auto reader = f.reader;
    struct Row {
        const char* name;
        bool sinkReconnects;  // the sink calls `disconnect(); connect();`, else disconnect()
        const char* held;     // the record of the step of the call handed off held
        const char* end;      // the record that ends that step's work (none: the application's
                              // answer, which a later step gives, shows the step's end)
        ConnectState last;    // the application's call: disconnect() or connect()
        // The states the reader delegate hears; none: any.
        std::optional<std::vector<std::string>> heard;
    };
    // The steps hold at the sequence's own records (no longer at the hand-off thread's).
    const Row rows[] = {
        {"disconnect() while the connect() handed off is at work", true,
         "connect() Trigger transport connect", nullptr, ConnectState::disconnected, std::nullopt},
        {"disconnect() while the end handed off is at work, its connect() not begun", true,
         "+++ disconnect() ", "--- disconnect() ", ConnectState::disconnected,
         std::vector<std::string>{"Disconnecting", "Disconnected", "Connecting", "Disconnecting",
                                  "Disconnected"}},
        {"connect() while the disconnect() handed off is at work", false, "+++ disconnect() ",
         "--- disconnect() ", ConnectState::connected,
         std::vector<std::string>{"Disconnecting", "Disconnected", "Connecting", "Connected"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (reader->connectState() != ConnectState::connected) {
            ASSERT_TRUE(f.connected());
        }
        f.calls->clear();
        auto gate = std::make_shared<Gate>();
        gate->close();
        const std::shared_ptr<void> opens(nullptr, [gate](void*) { gate->open(); });
        const auto protocol = reader->baseProtocol();
        // Set before the hold: the thread of the held step.
        auto runner = std::make_shared<std::thread::id>();
        // Set once the sink has made its calls.
        auto handedOff = std::make_shared<std::atomic<bool>>(false);
        // The sink's calls on the receive thread, then the hold in a step of the sequence.
        this->sink->arm([protocol](const std::string&) { return protocol->receivesOnThisThread(); },
                        [this, reader, gate, runner, handedOff, &row] {
                            // Armed first: the sequence takes the calls at once.
                            this->sink->arm(
                                [reader, &row](const std::string& text) {
                                    return text == row.held && reader->onOwnSequence();
                                },
                                [gate, runner] {
                                    *runner = std::this_thread::get_id();
                                    gate->pass();
                                });
                            EXPECT_TRUE(reader->disconnect());
                            if (row.sinkReconnects) {
                                EXPECT_TRUE(reader->connect());
                            }
                            *handedOff = true;
                        });
        answerOf<int>([&](auto done) { reader->uhf()->getPower(done); });
        ASSERT_TRUE(waitUntil([&] { return gate->waiting() == 1; }, std::chrono::seconds(60)));
        // Every call of the sink's comes before the application's.
        ASSERT_TRUE(waitUntil([&] { return handedOff->load(); }));
        const std::string waiting = row.last == ConnectState::connected
                                        ? "connect() - Connect state is"
                                        : "disconnect() - Connect state is";
        const int waits = this->recordsStarting(waiting);
        auto last = std::async(std::launch::async, [reader, &row] {
            return row.last == ConnectState::connected ? reader->connect() : reader->disconnect();
        });
        // It waits behind the held step, and has not answered while that step is held.
        ASSERT_TRUE(waitUntil([&] { return this->recordsStarting(waiting) > waits; }));
        EXPECT_NE(last.wait_for(std::chrono::seconds(0)), std::future_status::ready);
        EXPECT_EQ(gate->waiting(), 1);
        // The end of the held step's work, on its thread.
        auto ended = std::make_shared<std::atomic<bool>>(row.end == nullptr);
        if (row.end) {
            this->sink->arm(
                [end = std::string(row.end), runner](const std::string& text) {
                    return text == end && std::this_thread::get_id() == *runner;
                },
                [ended] { *ended = true; });
        }
        gate->open();
        // A hang guard only.
        ASSERT_EQ(last.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_TRUE(last.get());
        ASSERT_TRUE(waitUntil([&] { return ended->load(); }, std::chrono::seconds(60)));
        EXPECT_TRUE(waitUntil([&] { return reader->connectState() == row.last; },
                              std::chrono::seconds(60)));
        // Nothing handed off is left to undo it.
        if (row.last == ConnectState::connected) {
            EXPECT_TRUE(standsWithNothingHandedOff(reader));
        } else {
            EXPECT_EQ(reader->baseTransport()->connectState(), ConnectState::disconnected);
        }
        if (row.heard) {
            ASSERT_TRUE(waitUntil([&] { return reader->eventLine().isIdle(); }));
            std::vector<std::string> states;
            for (const auto& line : f.calls->lines()) {
                if (line.rfind("r state ", 0) == 0) states.push_back(line.substr(8));
            }
            EXPECT_EQ(states, *row.heard);
        }
        this->sink->arm(nullptr, nullptr);
    }
}

// The sink calls disconnect() on the receive thread while blocked blocks fill the global pool,
// whose watcher may not grow it: the end handed off is the reader's own work, so it runs at once
// and the application hears Disconnected while every block still waits. A connect() of the
// application's thread then leaves the reader connected.
TYPED_TEST(UhfRestartTest, ADisconnectHandedOffRunsWhileBlockedBlocksFillThePool) {
    auto& f = this->f;
    const auto reader = f.reader;
    // The blocks and the pool's watcher wait asleep at the gate: hundreds of threads that polled
    // would take the cores from the reader's own on a loaded machine.
    auto open = std::make_shared<Gate>();
    open->close();
    auto started = std::make_shared<std::atomic<int>>(0);
    // Whatever fails: the blocks end and the pool grows again.
    const struct Release {
        std::shared_ptr<Gate> open;
        ~Release() {
            DispatchQueue::setGlobalPoolPause(nullptr);
            open->open();
        }
    } release{open};
    DispatchQueue::setGlobalPoolPause([open] { open->pass(std::chrono::seconds(60)); });
    // Taken in the order queued, each holding its thread: the bound's worth, one for each thread
    // the process has (an idle one takes a block), and more for the library's threads that free
    // meanwhile.
    const int queued = static_cast<int>(DispatchQueue::kPoolThreads + processThreads() + 64);
    for (int i = 0; i < queued; ++i) {
        DispatchQueue::global()->async([open, started] {
            ++*started;
            open->pass(std::chrono::seconds(60));
        });
    }
    auto handedOff = std::make_shared<std::atomic<int>>(-1);
    this->sink->arm(
        [p = reader->baseProtocol()](const std::string&) { return p->receivesOnThisThread(); },
        [reader, handedOff] { *handedOff = reader->disconnect() ? 1 : 0; });
    ASSERT_TRUE(TypeParam::sendNotice(*f.sim));
    ASSERT_TRUE(waitUntil([&] { return handedOff->load() >= 0; }));
    EXPECT_EQ(handedOff->load(), 1);

    ASSERT_TRUE(waitUntil([&] { return f.calls->count("r state Disconnected") == 1; },
                          std::chrono::seconds(60)));
    EXPECT_EQ(reader->connectState(), ConnectState::disconnected);
    EXPECT_LT(started->load(), queued) << "no block was left waiting";

    EXPECT_TRUE(reader->connect());
    ASSERT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; },
                          std::chrono::seconds(60)));
    EXPECT_TRUE(standsWithNothingHandedOff(reader));
    DispatchQueue::setGlobalPoolPause(nullptr);
    open->open();
}

// stop() answered while the reader has not reported its inventory's end yet (the Vk210 reports
// it after the stop's reply; the simulator holds that frame until the next inventory() waits for
// it): that inventory() is accepted, and heard once the end is.
TYPED_TEST(UhfRestartTest, AnOperationRightAfterAStopIsAnsweredWaitsForTheInventorysEnd) {
    auto& f = this->f;
    const auto uhf = f.reader->uhf();
    f.sim->holdFrames(endsInventory);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(codeOf([&](auto done) { uhf->inventory(done); }), kOk);
        this->sink->arm(
            [](const std::string& text) {
                return text.find("Waiting for the end of the stopped inventory") !=
                       std::string::npos;
            },
            // The end, held once the simulator has written it, then let go.
            [sim = f.sim] {
                waitUntil([&] { return sim->heldFrames() == 1; });
                sim->releaseHeldFrames();
            });
        EXPECT_EQ(codeOf([&](auto done) { uhf->stop(done); }), kOk);
        // The end is still to come when the stop has answered (for the model that reports it):
        // held, or not yet written.
        EXPECT_EQ(f.reader->actionState() == ActionState::stop, !TypeParam::kEndAfterStop);
        EXPECT_EQ(codeOf([&](auto done) { uhf->inventory(done); }), kOk);
        this->sink->arm(nullptr, nullptr);
        EXPECT_EQ(codeOf([&](auto done) { uhf->stop(done); }), kOk);
        // The second end, held once the simulator writes it, then let go.
        if (TypeParam::kEndAfterStop) {
            EXPECT_TRUE(waitUntil([&] { return f.sim->heldFrames() == 1; }));
        }
        f.sim->releaseHeldFrames();
        EXPECT_TRUE(waitUntil([&] { return f.reader->actionState() == ActionState::stop; }));
    }
    f.sim->holdFrames(nullptr);
}

// A Vk210 tag-memory read whose receive buffer is reset (as each connection's initialisation
// does) on the receive thread right where its reply, or its outcome, has been cut from the bytes
// and not yet handed on: the read is answered once, with what it read.
using Vk210RestartTest = UhfRestartTest<Vk210Restart>;
TEST_F(Vk210RestartTest, AReadIsAnsweredOnceWhereverItsBufferIsReset) {
    const auto uhf = f.reader->uhf();
    const auto protocol = f.reader->baseProtocol();
    const Bytes tid = makeSimTags(4).front().tid;
    const struct {
        const char* where;
        const char* record;
    } rows[] = {
        {"its reply cut", "Packet ID: read"},
        {"its outcome cut", "Packet ID: tagAccessData"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.where);
        app->clear();
        auto resets = std::make_shared<std::atomic<int>>(0);
        this->sink->arm(
            [protocol, record = std::string(row.record)](const std::string& text) {
                return protocol->receivesOnThisThread() && text.find(record) != std::string::npos;
            },
            [protocol, resets] {
                protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::resetBuffer));
                ++*resets;
            });
        const int stops = f.calls->count("r action Stop");
        ASSERT_EQ(uhf->readMemory(BankType::tid, 0, 4, "00000000"), kOk);
        EXPECT_TRUE(waitUntil([&] { return !app->results().empty(); }, std::chrono::seconds(30)));
        EXPECT_EQ(resets->load(), 1);
        // The read is over once the reader is back in Stop and a stop has had its lock: a failure
        // result follows that lock's release at once.
        ASSERT_TRUE(waitUntil([&] { return f.calls->count("r action Stop") > stops; },
                              std::chrono::seconds(30)));
        EXPECT_EQ(codeOf([&](auto done) { uhf->stop(done); }), kOk);
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().isIdle(); }));
        const auto results = app->results();
        EXPECT_EQ(results.size(), 1u);
        if (results.empty()) continue;
        EXPECT_EQ(results[0].resultCode(), kOk);
        EXPECT_EQ(results[0].actionState(), ActionState::readMemory);
        EXPECT_EQ(results[0].data(), tid);
    }
}

}  // namespace
}  // namespace orvane::test
