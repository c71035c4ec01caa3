// The initialisation of a connection against the simulated readers: the sequence each model
// walks, its failure table with the exact records, and the engine budget on the fast clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>

#include "ReaderFixture.h"
#include "orvanerfid/commands/OrvRfidCmdId.h"
#include "orvanerfid/link/DetectReader.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/uhf/UhfST25RU3993.h"
#include "sim/SimVk210.h"
#include "sim/SimVk640.h"

namespace orvane {

void setSimVk210Engine(SimVk210& reader, std::optional<std::string> model);

namespace {

using test::CallLog;
using test::waitUntil;

using InitFixture = test::SimReaderFixture;
using test::TagCounter;

uint32_t key(OrvRfidCmdId id) {
    return rawValue(id);
}

TEST(ReaderInit, Vk640WalksTheSequenceToConnectedWithoutEngine) {
    auto sim = std::make_shared<SimVk640>();
    InitFixture f(SimVk640::makeAccessory(sim, "SIM640-0001", "1.01.11"));
    ASSERT_TRUE(f.connected());
    EXPECT_EQ(f.logCount("Initializing reader via MultipleSetting command"), 1);
    ASSERT_TRUE(f.reader->uhf());
    EXPECT_EQ(f.reader->uhf()->uhfModuleType(), UhfModuleType::st25ru3993);
    EXPECT_EQ(f.reader->uhf()->uhfModule()->firmwareVersion(), 10111u);
    EXPECT_FALSE(f.reader->engine());
    EXPECT_TRUE(waitUntil([&] { return f.reader->keepAliveLoopsRunning() == 1; }));
    // Connecting, then Connected once: the transport's own Connected report does not count.
    EXPECT_EQ(f.calls->lines(),
              (std::vector<std::string>{"r state Connecting", "r state Connected"}));
}

TEST(ReaderInit, Vk210SwitchesItsConnectionModeOnceThenConnectsWithItsEngine) {
    auto sim = std::make_shared<SimVk210>();
    InitFixture f(SimVk210::makeAccessory(sim));
    ASSERT_TRUE(f.connected());
    EXPECT_EQ(sim->requestCount(key(OrvRfidCmdId::setConnectionMode)), 1);
    EXPECT_EQ(sim->setting("connectionMode"), Bytes{0x03});
    EXPECT_EQ(f.calls->lines(),
              (std::vector<std::string>{"r state Connecting", "r state Disconnecting",
                                        "r state Disconnected", "r state Connecting",
                                        "r state Connected"}));
    EXPECT_EQ(f.reader->uhf()->uhfModuleType(), UhfModuleType::qm5520);
    ASSERT_TRUE(f.reader->engine());
    EXPECT_EQ(f.reader->engine()->engineModel(), EngineModel::SE4107);
    EXPECT_EQ(f.reader->engine()->strVersion(), "PAABLS00-005-R05");
    EXPECT_TRUE(f.logged("Engine Version: PAABLS00-005-R05"));
    EXPECT_TRUE(waitUntil([&] { return !f.reader->initEngine(); }));
}

TEST(ReaderInit, ModeThatNeverChangesIsSwitchedOnlyOncePerConnect) {
    auto sim = std::make_shared<SimVk210>();
    // The reader accepts the write but keeps its mode.
    sim->addRow(key(OrvRfidCmdId::setConnectionMode),
                [&sim = *sim](const SimRequest& r) { sim.replyOk(r); });
    InitFixture f(SimVk210::makeAccessory(sim));
    f.reader->connect();
    ASSERT_TRUE(f.logged("initReaderViaMultiSetting() - Failed to usbSPP Mode"));
    ASSERT_TRUE(waitUntil([&] { return f.calls->count("r state Disconnected") == 2; }));
    Clock::sleepForMs(1000);
    EXPECT_EQ(sim->requestCount(key(OrvRfidCmdId::setConnectionMode)), 1);
    EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
    EXPECT_FALSE(f.reader->autoReconnect());
    // A new connect() of the application may switch again.
    f.reader->connect();
    ASSERT_TRUE(waitUntil([&] { return f.calls->count("r state Disconnected") == 4; }));
    EXPECT_EQ(sim->requestCount(key(OrvRfidCmdId::setConnectionMode)), 2);
}

// The Vk210's connection-mode switch ends the link and queues the library's reconnect before the
// application hears Disconnected. A disconnect() the application makes from that report is the
// last call: the reconnect queued before it either gives way or is ended by it, and the reader
// stays disconnected.
TEST(ReaderInit, ADisconnectFromTheModeSwitchsDisconnectedReportOutranksTheQueuedReconnect) {
    auto sim = std::make_shared<SimVk210>();
    InitFixture f(SimVk210::makeAccessory(sim));
    auto answered = std::make_shared<std::atomic<int>>(-1);
    std::weak_ptr<UhfReader> weak = f.reader;
    f.sink->onConnectState = [answered, weak](const ConnectStateEventArgs& args) {
        if (args.connectState() != ConnectState::disconnected || answered->load() >= 0) return;
        if (auto reader = weak.lock()) answered->store(reader->disconnect() ? 1 : 0);
    };
    ASSERT_TRUE(f.reader->connect());
    ASSERT_TRUE(waitUntil([&] { return answered->load() >= 0; }));
    EXPECT_EQ(answered->load(), 1);
    // Every step posted before has had its turn: a reconnect still owed would have opened.
    std::promise<void> turn;
    f.reader->afterSteps([&turn] { turn.set_value(); });
    ASSERT_EQ(turn.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().statesTold(); }));
    EXPECT_EQ(sim->requestCount(key(OrvRfidCmdId::setConnectionMode)), 1);
    EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
    EXPECT_EQ(f.reader->baseTransport()->connectState(), ConnectState::disconnected);
    const auto lines = f.calls->lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "r state Connected"), 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "r state Disconnected");
}

// The engine's answers and what the application sees.
struct EngineCase {
    const char* name;
    std::optional<std::string> model;  // none: the reader has no engine
    bool connected;
    std::optional<EngineModel> engine;
    const char* record;
};

void PrintTo(const EngineCase& c, std::ostream* out) {
    *out << c.name;
}

class EngineTable : public ::testing::TestWithParam<EngineCase> {};

TEST_P(EngineTable, EndsAsTheTableSays) {
    const EngineCase& c = GetParam();
    auto sim = std::make_shared<SimVk210>();
    sim->setSetting("connectionMode", {0x03});
    setSimVk210Engine(*sim, c.model);
    InitFixture f(SimVk210::makeAccessory(sim));
    const auto start = Clock::now();
    if (c.connected) {
        ASSERT_TRUE(f.connected());
    } else {
        ASSERT_TRUE(f.disconnectedAfterAttempt());
        // The budget runs out 7000 ms after the start of the initialisation.
        EXPECT_GE(Clock::elapsedMs(start), 7000.0);
        EXPECT_EQ(f.calls->count("r state Connected"), 0);
    }
    EXPECT_TRUE(f.logged(c.record)) << c.record;
    if (c.engine) {
        ASSERT_TRUE(f.reader->engine());
        EXPECT_EQ(f.reader->engine()->engineModel(), *c.engine);
    } else {
        EXPECT_FALSE(f.reader->engine());
    }
    EXPECT_TRUE(waitUntil([&] { return !f.reader->initEngine(); }));
}

INSTANTIATE_TEST_SUITE_P(
    ReaderInit, EngineTable,
    ::testing::Values(EngineCase{"NoEngine", std::nullopt, true, std::nullopt,
                                 "Initializing reader via MultipleSetting command"},
                      EngineCase{"SE2707", "SE2707", true, EngineModel::SE2707,
                                 "Engine Version: PAABLS00-005-R05"},
                      EngineCase{"UnknownToTheLibrary", "SE4770", true, std::nullopt,
                                 "allocateEngine(engineModel:) SE4770 not supported"},
                      EngineCase{"ModelNeverComes", "XX0000", false, std::nullopt,
                                 "initEngineInfo() - Engine model is unknown"},
                      EngineCase{"ModelNeverComesBudget", "XX0000", false, std::nullopt,
                                 " - Failed to initial reader"}),
    [](const auto& info) { return std::string(info.param.name); });

// Both models' devices take the multiple-setting sequence; clearing the flag on the real device
// before connect() makes the reader walk the single-attempt sequence over the same exchanges.
struct SingleAttempt : BaseDevice {
    static void select(BaseDevice& device) {
        (device.*&SingleAttempt::setSupportMultipleSetting)(false);
    }
};

struct SingleAttemptCase {
    const char* name;
    DeviceType model;
    bool silent;  // the reader answers nothing
    bool connected;
    std::vector<std::string> records;  // each logged exactly once
    std::optional<EngineModel> engine;
};

void PrintTo(const SingleAttemptCase& c, std::ostream* out) {
    *out << c.name;
}

class SingleAttemptTable : public ::testing::TestWithParam<SingleAttemptCase> {};

TEST_P(SingleAttemptTable, EndsAsTheTableSays) {
    const SingleAttemptCase& c = GetParam();
    auto vk210 = std::make_shared<SimVk210>();
    auto vk640 = std::make_shared<SimVk640>();
    InitFixture f(c.model == DeviceType::vk210 ? SimVk210::makeAccessory(vk210)
                                               : SimVk640::makeAccessory(vk640));
    SingleAttempt::select(*f.reader->baseDevice());
    SimFaults faults;
    faults.noReply = c.silent;
    f.accessory_->setFaults(faults);
    if (c.connected) {
        ASSERT_TRUE(f.connected());
        EXPECT_TRUE(waitUntil([&] { return f.reader->keepAliveLoopsRunning() == 1; }));
        // No connection-mode switch in this sequence.
        EXPECT_EQ(vk210->requestCount(key(OrvRfidCmdId::setConnectionMode)), 0);
        EXPECT_EQ(f.calls->count("r state Disconnected"), 0);
        ASSERT_TRUE(f.reader->uhf());
    } else {
        f.reader->connect();
        ASSERT_TRUE(waitUntil([&] { return f.calls->count("r state Disconnected") > 0; },
                              std::chrono::milliseconds(20000)));
        EXPECT_EQ(f.logCount("asyncInitReader() Initial reader fail, retry : 3"), 0);
        EXPECT_EQ(f.calls->count("r state Connected"), 0);
    }
    for (const std::string& record : c.records)
        EXPECT_TRUE(f.logged(record) && f.logCount(record) == 1) << record;
    EXPECT_EQ(f.logCount("Initializing reader via MultipleSetting command"), 0);
    if (c.engine) {
        ASSERT_TRUE(f.reader->engine());
        EXPECT_EQ(f.reader->engine()->engineModel(), *c.engine);
    } else {
        EXPECT_FALSE(f.reader->engine());
    }
}

INSTANTIATE_TEST_SUITE_P(
    ReaderInit, SingleAttemptTable,
    ::testing::Values(SingleAttemptCase{"Vk640",
                                        DeviceType::vk640,
                                        false,
                                        true,
                                        {"+++ InitReader", "--- InitReader"},
                                        std::nullopt},
                      SingleAttemptCase{"Vk210WithEngine",
                                        DeviceType::vk210,
                                        false,
                                        true,
                                        {"+++ InitReader", "Engine Model: [SE4107]",
                                         "Engine Version: [PAABLS00-005-R05]", "--- InitReader"},
                                        EngineModel::SE4107},
                      SingleAttemptCase{"SilentReaderAfterFourAttempts",
                                        DeviceType::vk640,
                                        true,
                                        false,
                                        {"asyncInitReader() Initial reader fail, retry : 0",
                                         "asyncInitReader() Initial reader fail, retry : 1",
                                         "asyncInitReader() Initial reader fail, retry : 2",
                                         " - Failed to initialize reader"},
                                        std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderInit, LateEngineReadyGetsAFreshBudgetAndKeepsTheReader) {
    auto sim = std::make_shared<SimVk210>();
    sim->setSetting("connectionMode", {0x03});
    InitFixture f(SimVk210::makeAccessory(sim));
    ASSERT_TRUE(f.connected());
    Clock::sleepForMs(7500);
    // The engine vanishes for a while: the re-run times out on its own budget and only logs.
    setSimVk210Engine(*sim, "XX0000");
    f.reader->engineReadyEvent(true);
    ASSERT_TRUE(f.logged(" - Failed to initial reader"));
    EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
    EXPECT_EQ(f.calls->count("r state Disconnected"), 0);
    // Back again: a re-run finishes and the reader stays connected with one keep-alive loop.
    setSimVk210Engine(*sim, "SE2707");
    f.reader->engineReadyEvent(true);
    ASSERT_TRUE(waitUntil([&] {
        auto engine = f.reader->engine();
        return engine && engine->engineModel() == EngineModel::SE2707 && !f.reader->initEngine();
    }));
    EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
    EXPECT_TRUE(waitUntil([&] { return f.reader->keepAliveLoopsRunning() == 1; }));
    // A status false changes nothing.
    f.reader->engineReadyEvent(false);
    EXPECT_TRUE(f.logged("Engine ready event: false"));
}

TEST(ReaderInit, EachConnectionMakesANewUhfObjectThatKeepsTheApplicationsDelegate) {
    auto sim = std::make_shared<SimVk640>();
    InitFixture f(SimVk640::makeAccessory(sim, "SIM640-0001", "1.01.11"));
    ASSERT_TRUE(f.connected());
    auto counter = std::make_shared<TagCounter>();
    auto first = f.reader->uhf();
    first->setDelegate(counter);
    ASSERT_TRUE(f.reader->disconnect());
    ASSERT_TRUE(f.connected());
    auto second = f.reader->uhf();
    EXPECT_NE(first, second);
    EXPECT_EQ(second->delegate(), counter);
}

TEST(ReaderInit, DisconnectDuringTheEnginePollsTakesTheStopPath) {
    auto sim = std::make_shared<SimVk210>();
    sim->setSetting("connectionMode", {0x03});
    setSimVk210Engine(*sim, "XX0000");
    InitFixture f(SimVk210::makeAccessory(sim));
    {
        // The engine's budget cannot run out before the disconnect() is made.
        const test::ClockSpeed slow(0.25);
        f.reader->connect();
        ASSERT_TRUE(f.logged("initEngineInfo() - Engine model is unknown"));
        EXPECT_TRUE(f.reader->disconnect());
        EXPECT_TRUE(f.logged("initEngineInfo() - triggerDisconnect is true, stop init reader"));
    }
    EXPECT_TRUE(waitUntil([&] { return !f.reader->initEngine(); }));
    EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
    EXPECT_EQ(f.calls->count("r state Connected"), 0);
    // A new connection is not touched by what is left of the old one.
    setSimVk210Engine(*sim, "SE4107");
    ASSERT_TRUE(f.connected());
    Clock::sleepForMs(2000);
    EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
}

}  // namespace
}  // namespace orvane
