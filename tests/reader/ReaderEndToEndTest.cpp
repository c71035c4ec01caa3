// Readers made from discovery, talking to the simulated readers over the accessory transport.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ReaderFixture.h"
#include "orvanerfid/commands/OrvRfidCmdId.h"
#include "orvanerfid/link/DetectReader.h"
#include "orvanerfid/link/EATransport.h"
#include "sim/SimVk210.h"
#include "sim/SimVk210Settings.h"
#include "sim/SimVk640.h"

namespace orvane {
namespace {

using test::CallLog;
using test::TestReader;
using test::waitUntil;

struct Vk210Model {
    using Sim = SimVk210;
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim,
                                                   const std::string&) {
        return Sim::makeAccessory(sim);
    }
    static int alives(const Sim& sim) {
        return sim.requestCount(rawValue(OrvRfidCmdId::paTemperature));
    }
    // The reply to an alive exchange's first request.
    static bool isAliveReply(ByteView frame) {
        return frame.size() > 4 && readBe16(frame, 3) == rawValue(OrvRfidCmdId::paTemperature);
    }
    static constexpr bool checkedDuringActions = true;
};

struct Vk640Model {
    using Sim = SimVk640;
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim,
                                                   const std::string& firmware) {
        return Sim::makeAccessory(sim, "SIM640-0001", firmware);
    }
    static int alives(const Sim& sim) { return sim.requestCount(SimVk640::rowKey(0x10, 0x07)); }
    static bool isAliveReply(ByteView frame) {
        return frame.size() > 7 && frame[6] == 0x10 && frame[7] == 0x07;
    }
    static constexpr bool checkedDuringActions = false;
};

using Found = test::FoundReaders;

// A clock speed at which an exchange's budget (up to 3000 ms of clock time) lasts up to a minute.
constexpr double kHangGuardSpeed = 0.05;
// A check interval that, at that speed, still asks the reader every 200 ms.
constexpr int kSlowClockInterval = 10;

// One simulated reader of the model, attached and discovered; the reader under test is made for
// the discovered descriptor, checks every 300 ms and finishes its initialisation at once.
template <class Model>
class ReaderEndToEnd : public ::testing::Test {
  protected:
    static constexpr uint64_t kInterval = 300;

    void SetUp() override { discover("1.01.11"); }
    void discover(const std::string& firmware) {
        accessory = Model::accessory(sim, firmware);
        AccessoryManager::shared().attach(accessory);
        detector->setDelegate(found);
        detector->startDetect();
        ASSERT_EQ(found->devices.size(), 1u);
        reader = makeReader();
    }
    std::shared_ptr<TestReader> makeReader() {
        auto made = BaseReader::make<TestReader>(found->devices.front());
        made->setReaderDelegate(sink);
        made->setUhfReaderDelegate(uhfSink);
        made->setCheckInterval(kInterval);
        return made;
    }
    // Connects and waits until the application has heard Connected: the state is stored before
    // its report is delivered, which a disconnect right after the store would overtake.
    void connect() {
        const bool already = reader->connectState() == ConnectState::connected;
        const int before = calls->count("r state Connected");
        ASSERT_TRUE(reader->connect());
        ASSERT_TRUE(waitUntil([&] {
            return reader->connectState() == ConnectState::connected &&
                   (already || calls->count("r state Connected") > before);
        }));
        // Told to every delegate, so a state stored next is told on the thread that stores it.
        ASSERT_TRUE(waitUntil([&] { return reader->eventLine().statesTold(); }));
    }
    void TearDown() override {
        releaseAliveReplies();
        auto transport = EATransport::shared();
        if (reader) {
            reader->disconnect();
            std::weak_ptr<TestReader> weak = reader;
            auto protocol = reader->baseProtocol();
            reader.reset();
            EXPECT_TRUE(waitUntil([&] { return weak.expired(); }));
            if (protocol) {
                EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
            }
        }
        EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 0; }));
        detector->stopDetect();
        AccessoryManager::shared().detach(accessory);
        // The shared transport lets go of the simulated accessory and its link threads.
        transport->setOrvaneDevice(nullptr);
    }
    // Waits `ms` of clock time.
    static void pause(int ms) { Clock::sleepForMs(ms); }
    // The reader delegate makes `call` on the reader from inside its first report of `state`;
    // its answer lands in the cell returned (1 true, 0 false; -1 until then).
    std::shared_ptr<std::atomic<int>> callInsideFirst(ConnectState state,
                                                      std::function<bool(TestReader&)> call) {
        auto answer = std::make_shared<std::atomic<int>>(-1);
        std::weak_ptr<TestReader> weak = reader;
        sink->onConnectState = [answer, weak, state, call](const ConnectStateEventArgs& args) {
            if (args.connectState() != state || answer->load() >= 0) return;
            if (auto self = weak.lock()) answer->store(call(*self) ? 1 : 0);
        };
        return answer;
    }
    // The states the reader delegate ("r") or the UHF delegate ("u") heard, in order.
    std::vector<std::string> statesOf(const std::string& who) const {
        std::vector<std::string> states;
        for (const auto& line : calls->lines()) {
            if (line.rfind(who + " state ", 0) == 0) states.push_back(line.substr(who.size() + 7));
        }
        return states;
    }
    int alives() const { return Model::alives(*sim); }
    // From now on the simulated reader holds its replies to alive exchanges: the exchange under
    // way waits for its reply, and no other starts meanwhile.
    void holdAliveReplies() { sim->holdFrames(Model::isAliveReply); }
    // Waits until an alive exchange waits for its held reply (its request has been counted).
    bool aliveHeld() {
        return waitUntil([&] { return sim->heldFrames() > 0; });
    }
    // Lets the held replies go; nothing more is held.
    void releaseAliveReplies() {
        sim->holdFrames(nullptr);
        sim->releaseHeldFrames();
    }
    // The alive exchanges that failed, by the keep-alive loop's records of them (the reader is the
    // logger's sink and hands every record to its delegate).
    int failedAlives() const {
        std::lock_guard guard(sink->logLock);
        return static_cast<int>(
            std::count_if(sink->logs.begin(), sink->logs.end(), [](const auto& text) {
                return text.find("keepAliveThread() - Failed to trigger alive") !=
                       std::string::npos;
            }));
    }

    std::shared_ptr<typename Model::Sim> sim = std::make_shared<typename Model::Sim>();
    std::shared_ptr<SimAccessory> accessory;
    std::shared_ptr<DetectReader> detector = DetectReader::create();
    std::shared_ptr<Found> found = std::make_shared<Found>();
    std::shared_ptr<CallLog> calls = std::make_shared<CallLog>();
    std::shared_ptr<test::ReaderSink> sink = std::make_shared<test::ReaderSink>(calls);
    std::shared_ptr<test::UhfSink> uhfSink = std::make_shared<test::UhfSink>(calls);
    std::shared_ptr<TestReader> reader;
};

using Models = ::testing::Types<Vk210Model, Vk640Model>;
TYPED_TEST_SUITE(ReaderEndToEnd, Models);

TYPED_TEST(ReaderEndToEnd, ConnectStartsTheDeviceAndKeepsTheLinkAlive) {
    // connect() connects the transport and starts the device; the reader itself stays Connecting
    // until its initialisation finishes, held here until the test lets it go.
    auto& reader = this->reader;
    reader->hold = true;
    ASSERT_TRUE(reader->connect());
    EXPECT_EQ(reader->baseTransport()->connectState(), ConnectState::connected);
    EXPECT_TRUE(reader->baseProtocol()->isReceiving());
    ASSERT_TRUE(waitUntil([&] { return reader->inits.load() == 1; }));
    EXPECT_EQ(reader->connectState(), ConnectState::connecting);
    ASSERT_TRUE(waitUntil([&] { return reader->eventLine().statesTold(); }));
    EXPECT_EQ(this->statesOf("r"), std::vector<std::string>{"Connecting"});
    reader->release();
    ASSERT_TRUE(waitUntil([&] {
        return reader->connectState() == ConnectState::connected &&
               reader->eventLine().statesTold();
    }));
    EXPECT_EQ(this->statesOf("r"), (std::vector<std::string>{"Connecting", "Connected"}));

    // Kept alive, at any pace of the machine: the clock runs so slowly that an alive exchange's
    // budget only guards against a hang.
    constexpr int kInterval = kSlowClockInterval;
    int sent = 0;
    double elapsed = 0;
    {
        const test::ClockSpeed slow(kHangGuardSpeed);
        reader->setCheckInterval(kInterval);
        const int before = this->alives();
        const auto start = Clock::now();
        this->pause(5 * kInterval);
        ASSERT_TRUE(waitUntil([&] { return this->alives() >= before + 2; }));
        sent = this->alives() - before;
        elapsed = Clock::elapsedMs(start);
        EXPECT_EQ(reader->keepAliveLoopsRunning(), 1);
        reader->setCheckInterval(0);
    }
    // With the loop ended, each exchange that failed is on record.
    reader->disconnect();
    ASSERT_TRUE(waitUntil([&] { return reader->keepAliveLoopsRunning() == 0; }));
    // An exchange answered is followed by a full interval of rest, one that failed is repeated at
    // once, and one waits for the one before: the span holds at most one answered exchange per
    // interval and one more, the one under way when it began, and each failed one.
    const int answeredAtMost = static_cast<int>(elapsed / kInterval) + 2;
    EXPECT_LE(sent, answeredAtMost + this->failedAlives());
}

TYPED_TEST(ReaderEndToEnd, LinkThatWillNotOpenIsReportedDuringConnect) {
    SimFaults faults;
    faults.inputOpenFails = true;
    this->accessory->setFaults(faults);
    EXPECT_FALSE(this->reader->connect());
    EXPECT_TRUE(waitUntil([&] { return this->reader->eventLine().statesTold(); }));
    EXPECT_EQ(this->calls->lines(),
              (std::vector<std::string>{"r state Connecting", "u state Connecting",
                                        "r state Disconnected", "u state Disconnected"}));
    EXPECT_EQ(this->reader->baseProtocol()->receiveLoopsRunning(), 0);
    // The next attempt, with the link working again, connects.
    this->accessory->setFaults({});
    this->connect();
}

TYPED_TEST(ReaderEndToEnd, SilentReaderIsDroppedAfterTheFourthFailedAlive) {
    // Silent from the start: every alive exchange fails. (A reader that falls silent later may
    // still deliver, late, a reply it sent before, which rightly ends a run of failures.)
    SimFaults silent;
    silent.noReply = true;
    this->accessory->setFaults(silent);
    ASSERT_TRUE(this->reader->connect());
    ASSERT_TRUE(
        waitUntil([&] { return this->reader->connectState() == ConnectState::disconnected; }));
    ASSERT_TRUE(waitUntil([&] { return this->reader->keepAliveLoopsRunning() == 0; }));
    // Dropped at the fourth failure in a row, and asked nothing after it.
    EXPECT_EQ(this->reader->_failCount(), BaseReader::kFailureLimit);
    EXPECT_EQ(this->failedAlives(), BaseReader::kFailureLimit);
    EXPECT_LE(this->alives(), BaseReader::kFailureLimit);
    // Told by the library's state teller, possibly after the state was stored.
    EXPECT_TRUE(waitUntil([&] { return this->reader->eventLine().statesTold(); }));
    EXPECT_EQ(this->statesOf("r"), (std::vector<std::string>{"Connecting", "Connected",
                                                             "Disconnecting", "Disconnected"}));
    EXPECT_EQ(this->statesOf("u"), (std::vector<std::string>{"Connecting", "Connected",
                                                             "Disconnecting", "Disconnected"}));
    this->accessory->setFaults({});
}

TYPED_TEST(ReaderEndToEnd, SuccessfulAliveEndsARunOfFailures) {
    this->connect();
    // The failures are counted while an alive exchange waits for its held reply, so no other
    // exchange ends the run or adds to it meanwhile; the clock runs so slowly that the held
    // exchange's budget only guards against a hang.
    const test::ClockSpeed slow(kHangGuardSpeed);
    this->reader->setCheckInterval(kSlowClockInterval);
    this->holdAliveReplies();
    ASSERT_TRUE(this->aliveHeld());
    for (int i = 0; i < 3; ++i)
        this->reader->checkError(true);
    EXPECT_EQ(this->reader->_failCount(), 3);
    // Answered, the exchange ends the run.
    this->releaseAliveReplies();
    ASSERT_TRUE(waitUntil([&] { return this->reader->_failCount() == 0; }));
    this->holdAliveReplies();
    ASSERT_TRUE(this->aliveHeld());
    for (int i = 0; i < 3; ++i)
        this->reader->checkError(true);
    EXPECT_EQ(this->reader->connectState(), ConnectState::connected);
    this->reader->checkError(true);
    // The reader follows the transport's report in its connection sequence.
    EXPECT_TRUE(
        waitUntil([&] { return this->reader->connectState() == ConnectState::disconnected; }));
}

TYPED_TEST(ReaderEndToEnd, ChecksPauseForZeroIntervalActionsAndFirmwareUpdates) {
    this->connect();
    // The clock runs so slowly that an alive exchange's budget only guards against a hang.
    const test::ClockSpeed slow(kHangGuardSpeed);
    this->reader->setCheckInterval(kSlowClockInterval);
    // The change is made while an alive exchange waits for its held reply, so the loop's next
    // turn, after that exchange, sees it; the exchanges are counted from then on. (The test looks
    // for a while; a loop that pauses sends nothing however long it looks.)
    const auto quiet = [&](const std::function<void()>& set, const std::function<void()>& reset) {
        this->holdAliveReplies();
        EXPECT_TRUE(this->aliveHeld());
        set();
        const int before = this->alives();
        this->releaseAliveReplies();
        this->pause(5 * kSlowClockInterval);
        const int during = this->alives() - before;
        reset();
        const int after = this->alives();
        EXPECT_TRUE(waitUntil([&] { return this->alives() > after; }));
        return during;
    };
    EXPECT_EQ(quiet([&] { this->reader->setCheckInterval(0); },
                    [&] { this->reader->setCheckInterval(kSlowClockInterval); }),
              0);
    EXPECT_EQ(quiet([&] { this->reader->firmwareUpdateEvent(FirmwareUpdateState::uploading, 0); },
                    [&] { this->reader->firmwareUpdateEvent(FirmwareUpdateState::stop, 100); }),
              0);
    if (TypeParam::checkedDuringActions) {
        // Asked during actions: the exchanges go on.
        this->reader->actionStateEvent(ActionState::inventory);
        const int before = this->alives();
        EXPECT_TRUE(waitUntil([&] { return this->alives() >= before + 2; }));
        this->reader->actionStateEvent(ActionState::stop);
    } else {
        EXPECT_EQ(quiet([&] { this->reader->actionStateEvent(ActionState::inventory); },
                        [&] { this->reader->actionStateEvent(ActionState::stop); }),
                  0);
    }
    EXPECT_EQ(this->reader->keepAliveLoopsRunning(), 1);
}

TYPED_TEST(ReaderEndToEnd, ConnectDisconnectCyclesLeaveOneLoopOfEachKind) {
    auto transport = EATransport::shared();
    for (int cycle = 0; cycle < 20; ++cycle) {
        this->connect();
        EXPECT_LE(this->reader->keepAliveLoopsRunning(), 1);
        EXPECT_LE(this->reader->baseProtocol()->receiveLoopsRunning(), 1);
        EXPECT_LE(transport->readLoopsRunning(), 1);
        ASSERT_TRUE(this->reader->disconnect());
        // The loops of the ended connection end on their own threads, each in its own time.
        EXPECT_TRUE(waitUntil([&] {
            return this->reader->keepAliveLoopsRunning() == 0 &&
                   this->reader->baseProtocol()->receiveLoopsRunning() == 0 &&
                   transport->readLoopsRunning() == 0;
        }));
    }
    EXPECT_TRUE(waitUntil([&] { return this->reader->keepAliveLoopsRunning() == 0; }));
    EXPECT_TRUE(
        waitUntil([&] { return this->reader->baseProtocol()->receiveLoopsRunning() == 0; }));
    EXPECT_TRUE(waitUntil([&] { return this->reader->eventLine().statesTold(); }));
    EXPECT_EQ(this->calls->count("r state Connected"), 20);
    EXPECT_EQ(this->calls->count("u state Disconnected"), 20);
}

TYPED_TEST(ReaderEndToEnd, ApplicationReconnectsFromItsDisconnectedReport) {
    // Armed once: the first Disconnected report calls connect() from inside the report.
    auto armed = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<TestReader> weak = this->reader;
    this->sink->onConnectState = [armed, weak](const ConnectStateEventArgs& args) {
        if (args.connectState() != ConnectState::disconnected || !armed->exchange(false)) return;
        if (auto reader = weak.lock()) reader->connect();
    };
    this->connect();
    armed->store(true);
    EXPECT_TRUE(this->reader->disconnect());
    EXPECT_TRUE(waitUntil([&] { return !armed->load(); }));
    EXPECT_TRUE(waitUntil([&] { return this->reader->connectState() == ConnectState::connected; }));
}

// The application disconnects from inside its reader delegate's Connected report: the states that
// call stores are heard after Connected, by the UHF delegate too, so each delegate hears every
// state once, in the order stored.
TYPED_TEST(ReaderEndToEnd, StatesStoredInsideAReportAreHeardAfterItByEveryDelegate) {
    const auto disconnected = this->callInsideFirst(
        ConnectState::connected, [](TestReader& reader) { return reader.disconnect(); });
    // The initialisation waits for connect() to return, so the states the report's disconnect()
    // stores are handed over on its thread, not by the connecting thread.
    this->reader->hold = true;
    ASSERT_TRUE(this->reader->connect());
    this->reader->release();
    const std::vector<std::string> heard{"Connecting", "Connected", "Disconnecting",
                                         "Disconnected"};
    ASSERT_TRUE(waitUntil([&] {
        return this->calls->count("r state Disconnected") == 1 &&
               this->calls->count("u state Disconnected") == 1;
    }));
    EXPECT_EQ(disconnected->load(), 1);
    EXPECT_EQ(this->statesOf("r"), heard);
    EXPECT_EQ(this->statesOf("u"), heard);
    EXPECT_EQ(this->reader->connectState(), ConnectState::disconnected);
}

TYPED_TEST(ReaderEndToEnd, DroppingTheReaderClosesTheLinkAndEndsItsLoops) {
    this->connect();
    auto protocol = this->reader->baseProtocol();
    std::weak_ptr<TestReader> weak = this->reader;
    this->reader.reset();
    EXPECT_TRUE(waitUntil([&] { return weak.expired(); }));
    // The last reference may go on one of the reader's own threads, which then closes the link.
    EXPECT_TRUE(waitUntil(
        [] { return EATransport::shared()->connectState() == ConnectState::disconnected; }));
    EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    // No report reached the application after the reader went.
    EXPECT_EQ(this->calls->count("r state Disconnecting"), 0);
}

TYPED_TEST(ReaderEndToEnd, SecondReaderOnTheSharedTransportDisconnectsTheFirst) {
    // The first reader tries to reconnect from inside the Disconnected report of the take-over.
    const auto inReport = this->callInsideFirst(
        ConnectState::disconnected, [](TestReader& reader) { return reader.connect(); });
    this->connect();
    this->calls->clear();
    auto second = this->makeReader();
    second->setReaderDelegate({});
    second->setUhfReaderDelegate({});
    // The take-over's Disconnected is stored by the reader's connection sequence and told in
    // order with the reader's other states, possibly after the take-over returned.
    EXPECT_TRUE(
        waitUntil([&] { return this->reader->connectState() == ConnectState::disconnected; }));
    ASSERT_TRUE(waitUntil([&] { return inReport->load() >= 0; }));
    EXPECT_EQ(inReport->load(), 0);
    EXPECT_EQ(this->calls->count("r state Disconnected"), 1);
    EXPECT_TRUE(waitUntil([&] { return this->reader->keepAliveLoopsRunning() == 0; }));
    // The first reader no longer owns the link.
    EXPECT_FALSE(this->reader->connect());
    {
        std::lock_guard guard(this->sink->logLock);
        EXPECT_EQ(std::count(this->sink->logs.begin(), this->sink->logs.end(),
                             "connect() - Transport is used by another reader"),
                  2);
    }
    ASSERT_TRUE(second->connect());
    EXPECT_TRUE(waitUntil([&] { return second->connectState() == ConnectState::connected; }));
    EXPECT_EQ(this->reader->connectState(), ConnectState::disconnected);
    EXPECT_TRUE(second->disconnect());
    second.reset();
    this->reader.reset();
}

// A reader whose transport reports reach it late acts only on the connection they name. The first
// reader's connect() is held inside its Connected report (its log sink holds the record of the
// report), so every later report of the shared transport waits behind it; meanwhile a second
// reader takes the transport over and connects. The first reader's disconnect(), made then, finds
// no initialisation of its own under way (the transport is connected for the other reader): it
// waits for its own connection's end, held in that wait, and never ends the other reader's
// connection. Let go, the first reader follows the connection its late Connected report names,
// not the other reader's, until that connection's end is told; its disconnect() then answers true.
TYPED_TEST(ReaderEndToEnd, LateReportsMakeAReaderActOnlyOnTheConnectionTheyName) {
    constexpr const char* kConnectedReport = "*** Transport connect state event: Connected";
    constexpr const char* kEndReport = "*** Transport connect state event: Disconnecting";
    constexpr const char* kWaits = "disconnect() - Connect state is Connecting, waiting";
    constexpr const char* kCloses = "disconnect() Trigger transport disconnect";
    const auto startsWith = [](const std::string& text, const char* head) {
        return text.rfind(head, 0) == 0;
    };
    // The records the test holds and reads are DEBUG and TRACE ones.
    const LogLevel level = BaseReader::logLevel();
    BaseReader::setLogLevel(LogLevel::trace);
    const std::shared_ptr<void> restoresLevel(nullptr,
                                              [level](void*) { BaseReader::setLogLevel(level); });
    auto& reader = this->reader;
    const auto transport = reader->baseTransport();
    auto sink = std::make_shared<test::ArmedSink>(this->calls);
    reader->setReaderDelegate(sink);
    auto inReport = std::make_shared<test::Gate>();
    auto inWait = std::make_shared<test::Gate>();
    inReport->close();
    inWait->close();
    // The thread of the first reader's disconnect(), where it is held and what it followed.
    std::atomic<std::thread::id> ending{};
    std::string heldAt;
    std::atomic<uint64_t> followed{0};

    // The first reader's connect(), held inside its Connected report (on the reader's
    // connection sequence, which opens the link for the call).
    sink->arm(
        [&](const std::string& text) {
            return text == kConnectedReport && reader->onOwnSequence();
        },
        [inReport] { inReport->pass(); });
    auto connected = std::async(std::launch::async, [&] { return reader->connect(); });
    std::shared_ptr<TestReader> second;
    std::future<bool> disconnected;
    // On every way out the sink acts no more and the held calls go on, before they are waited
    // for.
    const std::shared_ptr<void> opens(nullptr, [&](void*) {
        sink->arm(nullptr, nullptr);
        inReport->open();
        inWait->open();
    });
    ASSERT_TRUE(waitUntil([&] { return inReport->waiting() == 1; }));
    const uint64_t first = transport->linkNumber();
    ASSERT_EQ(reader->connectState(), ConnectState::connecting);

    // Another reader takes the transport over and connects; its reports wait behind too.
    second = this->makeReader();
    second->setReaderDelegate({});
    second->setUhfReaderDelegate({});
    ASSERT_TRUE(second->connect());
    const uint64_t other = transport->linkNumber();
    ASSERT_EQ(other, first + 1);
    ASSERT_EQ(reader->connectState(), ConnectState::connecting);

    // The first reader's disconnect() waits for its own connection's end (held in that wait), or
    // takes the other reader's connection for its own initialisation's and closes it (held right
    // before it closes).
    sink->arm(
        [&](const std::string& text) {
            if (std::this_thread::get_id() != ending.load()) return false;
            if (!startsWith(text, kWaits) && !startsWith(text, kCloses)) return false;
            heldAt = text;
            return true;
        },
        [inWait] { inWait->pass(); });
    disconnected = std::async(std::launch::async, [&] {
        ending = std::this_thread::get_id();
        return reader->disconnect();
    });
    ASSERT_TRUE(waitUntil([&] { return inWait->waiting() == 1; }));
    ASSERT_TRUE(startsWith(heldAt, kWaits)) << heldAt;
    EXPECT_EQ(transport->connectState(), ConnectState::connected);
    EXPECT_EQ(transport->linkNumber(), other);

    // The late reports go: the first reader follows the connection its Connected report named
    // until the report of that connection's end.
    sink->arm(
        [&](const std::string& text) { return text == kEndReport && reader->onOwnSequence(); },
        [&] { followed = reader->generation(); });
    inReport->open();
    ASSERT_EQ(connected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(connected.get());
    EXPECT_EQ(followed.load(), first);
    EXPECT_EQ(reader->connectState(), ConnectState::disconnected);

    // Its disconnect() finds its connection ended and answers true; the other reader's stands.
    inWait->open();
    ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    EXPECT_TRUE(waitUntil([&] { return second->connectState() == ConnectState::connected; }));
    EXPECT_EQ(transport->connectState(), ConnectState::connected);
    EXPECT_EQ(transport->linkNumber(), other);
    EXPECT_EQ(reader->connectState(), ConnectState::disconnected);
    EXPECT_TRUE(second->disconnect());
    reader->setReaderDelegate(this->sink);
}

// A state overtaken on its way to the application by one or more newer states is told all the
// same, in the order stored, to both delegates, and the last state each hears is the reader's.
// The state is held after it was stored and before it is told, or inside the reader delegate's
// report (the UHF delegate is told after it); meanwhile the reader stores the newer ones: two by
// a disconnect(), or exactly one when the held state is a lost link's Disconnecting.
TYPED_TEST(ReaderEndToEnd, AStateOvertakenOnItsWayIsToldInTheOrderStored) {
    using States = std::vector<std::string>;
    struct Row {
        const char* name;
        ConnectState held;
        bool beforeTelling;
        States heard;
    };
    const States connectedOvertaken{"Connecting", "Connected", "Disconnecting", "Disconnected"};
    const States disconnectingOvertaken{"Disconnecting", "Disconnected"};
    const Row rows[] = {
        {"Connected, stored, not yet told", ConnectState::connected, true, connectedOvertaken},
        {"Connected, inside the reader delegate's report", ConnectState::connected, false,
         connectedOvertaken},
        {"Disconnecting, stored, not yet told", ConnectState::disconnecting, true,
         disconnectingOvertaken},
        {"Disconnecting, inside the reader delegate's report", ConnectState::disconnecting, false,
         disconnectingOvertaken},
    };
    auto reader = this->reader;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const bool linkLost = row.held == ConnectState::disconnecting;
        if (linkLost) this->connect();
        this->calls->clear();
        auto gate = std::make_shared<test::Gate>();
        gate->close();
        // Opens the gates on every way out, so a failed check holds no report for ever.
        const std::shared_ptr<void> opens(nullptr, [gate, reader](void*) {
            gate->open();
            reader->tellGate.open();
        });
        test::Gate& held = row.beforeTelling ? reader->tellGate : *gate;
        if (row.beforeTelling) {
            reader->tellGate.close();
            reader->holdTelling = rawValue(row.held);
        } else {
            this->sink->onConnectState = [gate,
                                          state = row.held](const ConnectStateEventArgs& args) {
                if (args.connectState() == state) gate->pass();
            };
        }
        if (linkLost) {
            this->accessory->dropLink();
        } else {
            ASSERT_TRUE(reader->connect());
        }
        ASSERT_TRUE(waitUntil([&] { return held.waiting() == 1; }));
        // The newer states are stored while the held one waits: nothing the reader does waits
        // for the application's report.
        if (!linkLost) {
            EXPECT_TRUE(reader->disconnect());
        }
        ASSERT_TRUE(
            waitUntil([&] { return reader->connectState() == ConnectState::disconnected; }));
        EXPECT_EQ(this->calls->count("u state Disconnected"), 0);
        reader->holdTelling = -1;
        held.open();
        ASSERT_TRUE(waitUntil([&] {
            return this->calls->count("r state Disconnected") == 1 &&
                   this->calls->count("u state Disconnected") == 1;
        }));
        EXPECT_EQ(this->statesOf("r"), row.heard);
        EXPECT_EQ(this->statesOf("u"), row.heard);
        EXPECT_EQ(reader->connectState(), ConnectState::disconnected);
        this->sink->onConnectState = nullptr;
    }
}

TYPED_TEST(ReaderEndToEnd, ReaderReleasedInsideItsOwnReportOutlivesTheCall) {
    // The fixture's reader stays alive as the log sink, so every record is formatted.
    BaseReader::setLogLevel(LogLevel::trace);
    struct Row {
        bool connects;
        ConnectState releaseAt;
    };
    for (const Row row :
         {Row{true, ConnectState::connecting}, Row{false, ConnectState::disconnected}}) {
        auto app = std::make_shared<std::shared_ptr<TestReader>>(this->makeReader());
        auto own = std::make_shared<test::ReaderSink>(std::make_shared<CallLog>());
        TestReader& reader = **app;
        reader.setReaderDelegate(own);
        reader.setUhfReaderDelegate({});
        std::weak_ptr<TestReader> weak = *app;
        own->onConnectState = [app, row](const ConnectStateEventArgs& args) {
            if (args.connectState() == row.releaseAt) app->reset();
        };
        if (!row.connects) {
            ASSERT_TRUE(reader.connect());
            ASSERT_TRUE(
                waitUntil([&] { return reader.connectState() == ConnectState::connected; }));
        }
        EXPECT_TRUE(row.connects ? reader.connect() : reader.disconnect());
        EXPECT_TRUE(waitUntil([&] { return weak.expired(); }));
        EXPECT_TRUE(waitUntil(
            [] { return EATransport::shared()->connectState() == ConnectState::disconnected; }));
    }
    BaseReader::setLogLevel(LogLevel::info);
}

// The application lets its reader go while the initialisation still holds it: the reader's
// delegates hear its end, Disconnected, last.
TYPED_TEST(ReaderEndToEnd, AReaderLetGoWhileItsInitialisationHoldsItTellsItsEnd) {
    auto app = this->makeReader();
    auto heard = std::make_shared<CallLog>();
    auto own = std::make_shared<test::ReaderSink>(heard);
    auto ownUhf = std::make_shared<test::UhfSink>(heard);
    app->setReaderDelegate(own);
    app->setUhfReaderDelegate(ownUhf);
    app->hold = true;
    ASSERT_TRUE(app->connect());
    ASSERT_TRUE(waitUntil([&] { return app->inits.load() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return heard->count("u state Connecting") == 1; }));
    // Alive while its initialisation runs; let go of by the application.
    TestReader& held = *app;
    std::weak_ptr<TestReader> weak = app;
    app.reset();
    ASSERT_FALSE(weak.expired());
    held.release();
    EXPECT_TRUE(waitUntil([&] { return weak.expired(); }));
    const auto last = [&](const std::string& prefix) {
        std::string found;
        for (const std::string& line : heard->lines()) {
            if (line.rfind(prefix, 0) == 0) found = line;
        }
        return found;
    };
    EXPECT_TRUE(waitUntil([&] {
        return last("r state") == "r state Disconnected" &&
               last("u state") == "u state Disconnected";
    }));
    EXPECT_EQ(heard->count("r state Disconnected"), 1);
}

// A disconnect() after a connect() that returned true ends Disconnected, also while the
// connection's reports have not reached the reader yet.
TYPED_TEST(ReaderEndToEnd, DisconnectWhileTheConnectionIsUnderWayEndsDisconnected) {
    auto& reader = this->reader;
    // Both calls from inside the Disconnected report, whose delivery holds the next reports.
    {
        auto results = std::make_shared<std::vector<bool>>();
        auto armed = std::make_shared<std::atomic<bool>>(false);
        std::weak_ptr<TestReader> weak = reader;
        this->sink->onConnectState = [results, armed, weak](const ConnectStateEventArgs& args) {
            if (args.connectState() != ConnectState::disconnected || !armed->exchange(false))
                return;
            if (auto self = weak.lock()) results->assign({self->connect(), self->disconnect()});
        };
        this->connect();
        armed->store(true);
        ASSERT_TRUE(reader->disconnect());
        // The report is told by the reader's state teller, after disconnect() returned.
        EXPECT_TRUE(waitUntil([&] { return reader->eventLine().statesTold() && !armed->load(); }));
        EXPECT_EQ(*results, (std::vector<bool>{true, true}));
    }
    // From another thread as soon as the transport starts connecting: in the settle after the
    // link opened, unless this thread comes too late for it.
    {
        std::atomic<int> connected{-1};
        std::thread connecting([&] { connected = reader->connect() ? 1 : 0; });
        const auto transport = EATransport::shared();
        while (transport->connectState() == ConnectState::disconnected && connected.load() < 0) {
            std::this_thread::yield();
        }
        EXPECT_TRUE(reader->disconnect());
        connecting.join();
        EXPECT_EQ(connected.load(), 1);
    }
    const auto settled = [&] {
        return reader->connectState() == ConnectState::disconnected &&
               EATransport::shared()->connectState() == ConnectState::disconnected &&
               reader->keepAliveLoopsRunning() == 0;
    };
    EXPECT_TRUE(waitUntil(settled));
    // And stays so: no initialisation left over brings it back.
    this->pause(600);
    EXPECT_TRUE(settled());
    this->connect();
}

// --- Settings and firmware through the reader's operations ---

// Records every parameter delegate call as a line and keeps the records received.
class ParameterRecorder : public ParameterDelegate {
  public:
    void didReceive(int id, const BaseParam& param) override {
        std::lock_guard guard(lock);
        if (const DeviceParam* record = param.toDeviceParam()) received.push_back(*record);
        lines.push_back(std::to_string(id) + " receive");
    }
    void didFail(int id, const CodedError& error) override {
        std::lock_guard guard(lock);
        lines.push_back(std::to_string(id) + " fail " + error.description());
    }
    void didFinish(int id) override {
        std::lock_guard guard(lock);
        lines.push_back(std::to_string(id) + " finish");
        ++finished;
    }
    // Waits for the request to finish and returns its lines; the records it received stay.
    std::vector<std::string> take() {
        EXPECT_TRUE(waitUntil([&] { return finished.load() > 0; }));
        std::lock_guard guard(lock);
        --finished;
        return std::exchange(lines, {});
    }
    std::vector<DeviceParam> records() {
        std::lock_guard guard(lock);
        return std::exchange(received, {});
    }

    std::mutex lock;
    std::vector<std::string> lines;
    std::vector<DeviceParam> received;
    std::atomic<int> finished{0};
};

std::string textOf(const DeviceParam& record) {
    const auto value = record.getValue();
    return value ? record.valueToString(*value) : "(none)";
}

// A value the setting can be written with that differs from `value` where that is easy.
DeviceValue changed(const DeviceValue& value) {
    if (const bool* flag = std::get_if<bool>(&value)) return !*flag;
    return value;
}

bool roundTrips(DeviceParamId id) {
    // The clock moves on between the write and the read.
    return accessMode(id) == AccessMode::readWrite && id != DeviceParamId::systemTime &&
           id != DeviceParamId::triggerKeyStatus;
}

TYPED_TEST(ReaderEndToEnd, EverySettingRoundTripsThroughTheParameterOperations) {
    this->connect();
    // Each exchange must end in its reply, at any pace of the machine: the clock runs so slowly
    // that an exchange's budget only guards against a hang, and no alive exchange runs beside.
    this->reader->setCheckInterval(0);
    const test::ClockSpeed slow(kHangGuardSpeed);
    auto delegate = std::make_shared<ParameterRecorder>();
    std::vector<DeviceParam> written;
    int request = 0;
    for (const DeviceParamId id : this->reader->supportedParameterIds()) {
        if (!roundTrips(id)) continue;
        SCOPED_TRACE(std::string(description(id)));
        this->reader->getParameter(++request, id, delegate);
        ASSERT_EQ(delegate->take(),
                  (std::vector<std::string>{std::to_string(request) + " receive",
                                            std::to_string(request) + " finish"}));
        const DeviceParam before = delegate->records().at(0);
        ASSERT_TRUE(before.getValue());
        const DeviceParam wanted(id, changed(*before.getValue()));
        this->reader->setParameter(++request, wanted, delegate);
        EXPECT_EQ(delegate->take(), std::vector<std::string>{std::to_string(request) + " finish"});
        this->reader->getParameter(++request, id, delegate);
        delegate->take();
        const auto after = delegate->records();
        ASSERT_EQ(after.size(), 1u);
        EXPECT_EQ(textOf(after[0]), textOf(wanted));
        written.push_back(DeviceParam(id, changed(*after[0].getValue())));
    }
    ASSERT_GE(written.size(), 5u);

    // Many at once: one write, then one read of the same ids.
    this->reader->setParameters(++request, written, delegate);
    EXPECT_EQ(delegate->take(), std::vector<std::string>{std::to_string(request) + " finish"});
    std::vector<DeviceParamId> ids;
    for (const auto& record : written)
        ids.push_back(record.id());
    this->reader->getParameters(++request, ids, delegate);
    const auto lines = delegate->take();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), std::to_string(request) + " finish");
    const auto read = delegate->records();
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(std::string(description(read[i].id())));
        const auto match = std::find_if(written.begin(), written.end(), [&](const DeviceParam& w) {
            return w.id() == read[i].id();
        });
        ASSERT_NE(match, written.end());
        EXPECT_EQ(textOf(read[i]), textOf(*match));
    }

    // Trigger Key Status: one record per key of the reader.
    const auto keys = this->reader->baseDevice()->supportedTriggerKeys().size();
    if (this->reader->baseDevice()->isSupported(DeviceParamId::triggerKeyStatus)) {
        this->reader->getParameter(++request, DeviceParamId::triggerKeyStatus, delegate);
        const auto keyLines = delegate->take();
        EXPECT_EQ(keyLines.size(), keys + 1);
        EXPECT_EQ(delegate->records().size(), keys);
    }
}

TYPED_TEST(ReaderEndToEnd, TypedOperationsReachTheReader) {
    // No alive exchange, and the operations' exchanges run on a clock so slow that their budgets
    // only guard against a hang: the answers do not depend on the machine's pace.
    this->reader->setCheckInterval(0);
    this->connect();
    const test::ClockSpeed slow(kHangGuardSpeed);
    std::atomic<int> done{0};
    std::optional<std::string> firmware;
    std::atomic<uint16_t> code{0xFFFF};
    this->reader->getFirmwareVersion([&](ResultCode c, std::optional<std::string> value) {
        firmware = value;
        code = rawValue(c);
        ++done;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load() == 1; }));
    EXPECT_EQ(code.load(), 0);
    EXPECT_TRUE(firmware && !firmware->empty());
    // A model without a vibrator answers "Not Supported" for it.
    std::atomic<bool> twin{true};
    this->reader->getVibrator_OC([&](ResultCode c, bool value) {
        code = rawValue(c);
        twin = value;
        ++done;
    });
    ASSERT_TRUE(waitUntil([&] { return done.load() == 2; }));
    if (std::is_same_v<TypeParam, Vk210Model>) {
        EXPECT_EQ(code.load(), rawValue(ResultCode::notSupported));
        EXPECT_FALSE(twin.load());
    } else {
        EXPECT_EQ(code.load(), 0);
    }
}

// Aborts the update when the upload passes `abortAt` percent.
class FirmwareSink : public test::ReaderSink {
  public:
    using ReaderSink::ReaderSink;
    void firmwareUpdateEvent(const FirmwareUpdateEventArgs& args) override {
        ReaderSink::firmwareUpdateEvent(args);
        auto target = reader.lock();
        if (target && args.state() == FirmwareUpdateState::uploading &&
            args.percentage() >= abortAt.load() && !aborted.exchange(true)) {
            target->abortFirmwareUpdate();
        }
    }
    std::weak_ptr<BaseReader> reader;
    std::atomic<int> abortAt{1000};
    std::atomic<bool> aborted{false};
};

TYPED_TEST(ReaderEndToEnd, FirmwareUpdateReportsProgress) {
    auto sink = std::make_shared<FirmwareSink>(this->calls);
    this->reader->setReaderDelegate(sink);
    sink->reader = this->reader;
    this->connect();
    const auto update = [&](std::size_t size) {
        this->calls->clear();
        std::atomic<int> done{0};
        std::atomic<uint16_t> code{0xFFFF};
        this->reader->firmwareUpdate("fw.bin", Bytes(size, 0x5A), [&](ResultCode c) {
            code = rawValue(c);
            ++done;
        });
        EXPECT_TRUE(waitUntil([&] { return done.load() == 1; }, std::chrono::milliseconds(20000)));
        std::vector<std::string> uploads;
        std::vector<std::string> firmware;
        for (const auto& line : this->calls->lines()) {
            if (line.starts_with("r firmware ")) firmware.push_back(line.substr(11));
            if (line.starts_with("r firmware Uploading ")) uploads.push_back(line.substr(21));
        }
        return std::make_tuple(ResultCode(code.load()), uploads, firmware);
    };
    if constexpr (!std::is_same_v<TypeParam, Vk210Model>) {
        // The Vk640 has no firmware update: nothing is reported.
        auto [code, uploads, firmware] = update(2500);
        EXPECT_EQ(code, ResultCode::notSupported);
        EXPECT_TRUE(firmware.empty());
        return;
    } else {
        using Lines = std::vector<std::string>;
        struct Case {
            std::size_t size;
            Lines uploads;
        };
        for (const Case& c : {Case{2500, {"0", "40", "80", "100"}}, Case{300, {"0", "100"}},
                              Case{0, {"0", "100"}}}) {
            SCOPED_TRACE(c.size);
            auto [code, uploads, firmware] = update(c.size);
            EXPECT_EQ(code, ResultCode::noError);
            EXPECT_EQ(uploads, c.uploads);
            Lines expected{"Start 100", "Erasing Memory 0", "Erasing Memory 100"};
            for (const auto& upload : c.uploads)
                expected.push_back("Uploading " + upload);
            expected.insert(expected.end(), {"Updating 0", "Updating 100", "Stop 100"});
            EXPECT_EQ(firmware, expected);
            EXPECT_EQ(this->reader->_updateFirmwareStatus(), FirmwareUpdateState::stop);
        }
        EXPECT_EQ(this->sim->setting("firmwareName"), (Bytes{'f', 'w', '.', 'b', 'i', 'n'}));
        EXPECT_EQ(this->sim->setting("firmwareInstalled"), Bytes{1});

        // Aborted during the upload: Abort 100 ends the reports and the update completes 0x0000.
        sink->abortAt = 2;
        auto [abortCode, abortUploads, abortFirmware] = update(100000);
        EXPECT_EQ(abortCode, ResultCode::noError);
        EXPECT_EQ(abortFirmware.back(), "Abort 100");
        EXPECT_EQ(std::count(abortFirmware.begin(), abortFirmware.end(), "Updating 0"), 0);
        EXPECT_EQ(this->reader->_updateFirmwareStatus(), FirmwareUpdateState::abort);

        // A block the reader refuses: Stop 100 and the failure's code.
        setSimVk210FailingBlock(*this->sim, 2);
        auto [failCode, failUploads, failFirmware] = update(2500);
        EXPECT_NE(failCode, ResultCode::noError);
        EXPECT_EQ(failUploads, (Lines{"0", "40"}));
        EXPECT_EQ(failFirmware.back(), "Stop 100");
        setSimVk210FailingBlock(*this->sim, 0);
        EXPECT_EQ(this->reader->connectState(), ConnectState::connected);
    }
}

}  // namespace
}  // namespace orvane
