// Faults of the link and of the reader, injected at one phase of a session (connect, inventory,
// tag access) with a simulated reader of each model, through the reader and its UHF object over
// the accessory transport. Each row names what the operation in flight answers and whether the
// connection survives; every row also checks that each tag report reaches the application once,
// that a lost connection is reported Disconnected once, and that a clean connect works after it.

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "ReaderFixture.h"
#include "orvanerfid/commands/OrvRfidCmdId.h"
#include "sim/SimVk210Settings.h"
#include "uhf/UhfAppDelegate.h"

namespace orvane {

// Codes in failure messages by their text.
static void PrintTo(ResultCode code, std::ostream* out) {
    *out << description(code);
}

namespace {

using test::waitUntil;

constexpr std::size_t kTags = 300;
// Tags reported before a link drops mid-inventory (a whole number of Vk640 packets).
constexpr std::size_t kDropAfter = 96;
// Noise between frames: no valid frame start of either model.
const Bytes kGarbage{0x00, 0xFF, 0x02, 0x7E, 0x80, 0x01, 0x03};
const std::string kPassword = "00000000";
// Well within the 3000 ms reply timeout (a late reply is held until the operation has ended).
constexpr auto kSlow = std::chrono::milliseconds(1000);
// Wall-clock bound against a hang: a lost link is noticed after four 3000 ms timeouts.
constexpr auto kLossLimit = std::chrono::milliseconds(60000);
// The clock's speed while only timeouts that fail by cause run (see runExplained).
constexpr double kFastClock = 4.0;

uint32_t key(OrvRfidCmdId id) {
    return rawValue(id);
}

// The model's parts of a row: the request keys faults aim at, and its busy status.
struct Vk210Faults : test::Vk210UhfModel {
    static constexpr uint16_t kBusy = 0x01;
    static uint32_t skuKey() { return key(OrvRfidCmdId::skuId); }
    static uint32_t inventoryKey() { return key(OrvRfidCmdId::inventory); }
    static uint32_t writeKey() { return key(OrvRfidCmdId::write); }
    static void dropAfter(Sim& sim, std::size_t tags) { sim.setDropLinkAfterReports(tags); }
    // The module's access results come from the reader; a start it refuses posts none.
    static constexpr bool ownAccessResult = false;
    static constexpr bool hasEngine = true;
    // The keep-alive runs whatever the reader is doing.
    static constexpr bool checksDuringInventory = true;
};

struct Vk640Faults : test::Vk640Model {
    static std::shared_ptr<Sim> makeSim() { return Vk640Model::makeSim(); }
    static constexpr uint16_t kBusy = 0xFFFE;
    static uint32_t skuKey() { return SimVk640::rowKey(SimVk640::kDeviceGroup, 0x06); }
    static uint32_t inventoryKey() { return SimVk640::rowKey(SimVk640::kInventoryGroup, 0x00); }
    static uint32_t writeKey() { return SimVk640::rowKey(0x02, 0x06); }
    static void dropAfter(Sim& sim, std::size_t tags) { sim.setDropLinkAfterTags(tags); }
    static constexpr bool ownAccessResult = true;
    static constexpr bool hasEngine = false;
    static constexpr bool checksDuringInventory = false;
};

enum class Phase { connect, inventory, access };
enum class Fault { split, garbage, drop, silent, busy, late, slow, noEngine };

struct FaultCase {
    const char* name;
    Phase phase;
    Fault fault;
    // What the operation in flight answers: the inventory's completion, the access's result
    // (a connect has none: it ends Connected or Disconnected).
    ResultCode code;
    // Whether the connection survives the fault.
    bool survives;
    // The start of the record that ends the connection, where the row names one.
    const char* record;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

const char* const kModuleFailed =
    "initReaderViaMultiSetting() - Failed to initialize RFID UHF module";
const char* const kDeviceFailed = " - Failed to init device ";
const char* const kDropped = "transportDisconnect() - Result: true";
const char* const kBudgetSpent = " - Failed to initial reader";

const FaultCase kCases[] = {
    // Faults the link absorbs: the whole session runs under them.
    {"SplitFrames", Phase::connect, Fault::split, ResultCode::noError, true, nullptr},
    {"GarbageBetweenFrames", Phase::connect, Fault::garbage, ResultCode::noError, true, nullptr},
    {"SlowRepliesInTime", Phase::inventory, Fault::slow, ResultCode::noError, true, nullptr},
    // A busy module refuses the operation; the reader stays, but not through its initialisation.
    {"BusyModuleAtConnect", Phase::connect, Fault::busy, {}, false, kModuleFailed},
    {"BusyModuleAtInventory", Phase::inventory, Fault::busy, ResultCode::busyDevice, true, nullptr},
    {"BusyModuleAtAccess", Phase::access, Fault::busy, ResultCode::busyDevice, true, nullptr},
    // A late reply times out the operation; the stale reply answers nothing later.
    {"LateReplyAtConnect", Phase::connect, Fault::late, {}, false, kModuleFailed},
    {"LateReplyAtAccess", Phase::access, Fault::late, ResultCode::timeout, true, nullptr},
    // The link drops or the reader falls silent: the connection ends.
    {"DroppedLinkDuringInitialisation", Phase::connect, Fault::drop, {}, false, kModuleFailed},
    {"DroppedLinkDuringInventory", Phase::inventory, Fault::drop, ResultCode::noError, false,
     nullptr},
    {"DroppedLinkDuringAccess", Phase::access, Fault::drop, ResultCode::timeout, false, kDropped},
    {"SilentReaderAtConnect", Phase::connect, Fault::silent, {}, false, kDeviceFailed},
    {"SilentReaderAtInventory", Phase::inventory, Fault::silent, ResultCode::timeout, false,
     kDropped},
    {"SilentReaderAtAccess", Phase::access, Fault::silent, ResultCode::timeout, false, kDropped},
    // The scan engine's model never comes: the initialisation's budget runs out.
    {"EngineNeverAnswers", Phase::connect, Fault::noEngine, {}, false, kBudgetSpent},
};

// One row against one model, on a fresh simulated reader.
template <class Model>
class FaultRun {
  public:
    void run(const FaultCase& c) {
        auto& f = fixture;
        f.sim->setTags(makeSimTags(kTags));

        if (c.phase == Phase::connect) inject(c);
        if (!c.survives && c.phase == Phase::connect) {
            ASSERT_TRUE(f.disconnectedAfterAttempt());
            fast_.reset();
            EXPECT_EQ(f.calls->count("r state Connected"), 0);
            EXPECT_EQ(f.calls->count("r state Disconnected"), 1);
            EXPECT_TRUE(loggedStart(c.record)) << c.record;
            return recovers();
        }
        ASSERT_TRUE(f.connected());
        f.reader->uhf()->setDelegate(app);

        if (c.phase == Phase::inventory) inject(c);
        const ResultCode started = await([&](auto done) { f.reader->uhf()->inventory(done); });
        EXPECT_EQ(started, c.phase == Phase::inventory ? c.code : ResultCode::noError);
        if (c.phase == Phase::inventory && c.fault == Fault::drop) {
            // Every tag reported before the link went reaches the application once.
            EXPECT_TRUE(waitUntil([&] { return app->reads().size() >= kDropAfter; }));
            readsOnce(kDropAfter);
            return lost(c);
        }
        if (started != ResultCode::noError) {
            EXPECT_TRUE(waitUntil([&] { return f.reader->actionState() == ActionState::stop; }));
            if (!c.survives) {
                readsOnce(0);
                return lost(c);
            }
            clearFaults();
            ASSERT_EQ(await([&](auto done) { f.reader->uhf()->inventory(done); }),
                      ResultCode::noError);
        }
        EXPECT_TRUE(waitUntil([&] {
            if (noise_) f.accessory_->sendToHost(kGarbage);
            return app->reads().size() >= kTags;
        }));
        stop();
        readsOnce(kTags);

        if (c.phase == Phase::access) inject(c);
        access(
            [&] { return f.reader->uhf()->writeMemory(BankType::user, 0, "CAFEBABE", kPassword); });
        const ResultCode accessed = c.phase == Phase::access ? c.code : ResultCode::noError;
        if (accessed == ResultCode::noError || Model::ownAccessResult) {
            ASSERT_TRUE(waitUntil([&] { return app->results().size() == 1; }));
            EXPECT_EQ(app->results().front().resultCode(), accessed);
        } else {
            EXPECT_TRUE(
                f.logged("writeMemory(bank:offset:data:password:) - Failed to write memory [" +
                         std::string(description(accessed)) +
                         "] (bank: User Memory Bank, offset: 0, data: CAFEBABE, "
                         "password: ********)"));
        }
        if (!c.survives) return lost(c);
        clearFaults();
        // The link is sound: what is written reads back, whatever a stale reply still brings.
        access(
            [&] { return f.reader->uhf()->writeMemory(BankType::user, 0, "0102ABCD", kPassword); });
        app->clear();
        access([&] { return f.reader->uhf()->readMemory(BankType::user, 0, 2, kPassword); });
        const auto read = [&]() -> std::optional<AccessResultEventArgs> {
            for (const auto& result : app->results()) {
                if (result.actionState() == ActionState::readMemory) return result;
            }
            return std::nullopt;
        };
        ASSERT_TRUE(waitUntil([&] { return read().has_value(); }));
        EXPECT_EQ(read()->data(), (Bytes{0x01, 0x02, 0xAB, 0xCD}));
        EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
        EXPECT_EQ(f.calls->count("r state Disconnected"), 0);
    }

    void inject(const FaultCase& c) {
        auto& f = fixture;
        const uint32_t target = c.phase == Phase::connect     ? Model::skuKey()
                                : c.phase == Phase::inventory ? Model::inventoryKey()
                                                              : Model::writeKey();
        SimFaults link;
        switch (c.fault) {
            case Fault::split:
                link.splitReplyAt = 5;
                break;
            case Fault::garbage:
                link.garbageBeforeReply = kGarbage;
                // Between tag reports too: one report at a time, noise among them.
                f.sim->setInventoryRate(3000);
                noise_ = true;
                break;
            case Fault::drop:
                if (c.phase == Phase::inventory) {
                    Model::dropAfter(*f.sim, kDropAfter);
                } else {
                    // At the request itself (halfway through the initialisation, when the module
                    // is asked for its SKU; the write), never at whichever comes first: a
                    // keep-alive may be asked meanwhile.
                    droppedKey_ = target;
                    droppedRow_ = f.sim->row(target);
                    f.sim->addRow(target, [](const SimRequest& r) { r.peer.dropLink(); });
                }
                break;
            case Fault::silent:
                link.noReply = true;
                // From now on every exchange fails by cause: the clock may run fast.
                fast_.emplace(kFastClock);
                break;
            case Fault::busy:
                f.sim->setReplyFaults(SimReplyFaults{{}, Model::kBusy, 1}, target);
                break;
            case Fault::late:
                f.sim->setReplyFaults(SimReplyFaults{{}, std::nullopt, 1, true}, target);
                break;
            case Fault::slow:
                f.sim->setReplyFaults(SimReplyFaults{kSlow, std::nullopt, -1}, target);
                break;
            case Fault::noEngine:
                if constexpr (Model::hasEngine) setSimVk210Engine(*f.sim, "XX0000");
                break;
        }
        f.accessory_->setFaults(link);
    }

    void clearFaults() {
        // A late reply leaves now, once its operation has timed out.
        fixture.sim->releaseHeldFrames();
        fixture.accessory_->setFaults({});
        fixture.sim->setReplyFaults(SimReplyFaults{{}, std::nullopt, 0});
        Model::dropAfter(*fixture.sim, 0);
        if (droppedRow_) fixture.sim->addRow(droppedKey_, std::exchange(droppedRow_, {}));
        if constexpr (Model::hasEngine) setSimVk210Engine(*fixture.sim, "SE4107");
    }

    // The connection ends once, by itself where the reader can notice; an application that
    // disconnects a reader stuck in an inventory gets it back at once.
    void lost(const FaultCase& c) {
        auto& f = fixture;
        // The reader is silent or its link gone: every exchange until the loss fails by cause,
        // so the clock may run fast through the timeouts that notice it.
        if (!fast_) fast_.emplace(kFastClock);
        if (c.phase == Phase::inventory && c.fault == Fault::drop &&
            !Model::checksDuringInventory) {
            EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
            EXPECT_TRUE(f.reader->disconnect());
        }
        EXPECT_TRUE(waitUntil(
            [&] { return f.reader->connectState() == ConnectState::disconnected; }, kLossLimit));
        EXPECT_TRUE(waitUntil([&] { return f.calls->count("r state Disconnected") == 1; }));
        EXPECT_TRUE(waitUntil([&] { return f.reader->keepAliveLoopsRunning() == 0; }));
        fast_.reset();
        // Nothing the reader was doing outlives the connection.
        EXPECT_EQ(f.reader->actionState(), ActionState::stop);
        if (c.record) {
            EXPECT_TRUE(loggedStart(c.record)) << c.record;
        }
        recovers();
    }

    // With the faults gone a new connect walks the initialisation again.
    void recovers() {
        auto& f = fixture;
        clearFaults();
        const int before = f.calls->count("r state Disconnected");
        ASSERT_TRUE(f.connected());
        f.reader->uhf()->setDelegate(app);
        app->clear();
        ASSERT_EQ(await([&](auto done) { f.reader->uhf()->inventory(done); }), ResultCode::noError);
        EXPECT_TRUE(waitUntil([&] { return app->reads().size() >= kTags; }));
        stop();
        readsOnce(kTags);
        EXPECT_EQ(f.calls->count("r state Disconnected"), before);
    }

    bool loggedStart(const std::string& start) {
        auto& sink = *fixture.sink;
        return waitUntil([&] {
            std::lock_guard guard(sink.logLock);
            return std::any_of(sink.logs.begin(), sink.logs.end(),
                               [&](const std::string& log) { return log.starts_with(start); });
        });
    }

    // Exactly the first `count` tags of the population reached the application, each once.
    void readsOnce(std::size_t count) {
        const auto reads = app->reads();
        const auto& tags = *fixture.sim->tags();
        bool once = reads.size() == count;
        for (std::size_t i = 0; i < count && once; ++i) {
            const auto found = reads.find(toHexString(tags[i].epc));
            once = found != reads.end() && found->second == 1;
        }
        EXPECT_TRUE(once) << reads.size() << " tags read";
    }

    // Stops the inventory and waits for the reader to be back in Stop.
    void stop() {
        EXPECT_EQ(await([&](auto done) { fixture.reader->uhf()->stop(done); }),
                  ResultCode::noError);
        EXPECT_TRUE(waitUntil([&] { return fixture.reader->actionState() == ActionState::stop; }));
    }

    // Starts a tag access and waits for the reader to be back in Stop.
    void access(const std::function<ResultCode()>& start) {
        const int stops = fixture.calls->count("r action Stop");
        EXPECT_EQ(start(), ResultCode::noError);
        EXPECT_TRUE(
            waitUntil([&] { return fixture.calls->count("r action Stop") > stops; }, kLossLimit));
    }

    ResultCode await(const std::function<void(UhfResultCompletion)>& operation) {
        auto answers = std::make_shared<std::atomic<int>>(0);
        auto code = std::make_shared<std::atomic<ResultCode>>(ResultCode::noError);
        operation([answers, code](ResultCode c) {
            code->store(c);
            ++*answers;
        });
        EXPECT_TRUE(waitUntil([&] { return answers->load() >= 1; }, kLossLimit));
        // One answer, never a second one.
        Clock::sleepForMs(50);
        EXPECT_EQ(answers->load(), 1);
        return code->load();
    }

    test::ModelReader<Model> fixture{Model::makeSim()};
    std::shared_ptr<test::AppDelegate> app = std::make_shared<test::AppDelegate>();
    bool noise_ = false;
    // The fast clock, while only exchanges that fail by cause run (see runExplained).
    std::optional<test::ClockSpeed> fast_;
    // The row a dropping one took the place of, and its key.
    uint32_t droppedKey_ = 0;
    SimReader::Row droppedRow_;
};

enum class ReaderModel { vk210, vk640 };

class FaultsEndToEnd : public ::testing::TestWithParam<std::tuple<ReaderModel, FaultCase>> {};

// A run that failed prints the reader's records and delegate calls, so it explains itself.
//
// The rows run on the normal clock, not the suite's fast one: every exchange a row expects to
// succeed then has the reply budget of the field (3000 ms of real time), not a quarter of it, so
// a loaded machine that delays a reply by a few hundred milliseconds never turns a row red. The
// rows whose verdict is a timeout get it by cause (the reader never answers, or holds its reply
// until the operation has ended), at any speed; the clock runs fast only where every exchange
// fails by cause (from a silent reader's fault on, and while a lost link is being noticed).
template <class Model>
void runExplained(const FaultCase& c) {
    const test::ClockSpeed normal(1.0);
    FaultRun<Model> run;
    run.run(c);
    if (!::testing::Test::HasFailure()) return;
    std::string history;
    for (const auto& line : run.fixture.sink->history()) {
        history += line + "\n";
    }
    ADD_FAILURE() << "The reader's records and calls (ms, thread):\n" << history;
}

TEST_P(FaultsEndToEnd, EndsAsTheTableSays) {
    const auto& [model, c] = GetParam();
    if (model == ReaderModel::vk210) {
        runExplained<Vk210Faults>(c);
    } else {
        runExplained<Vk640Faults>(c);
    }
}

// Every row against each model; the Vk640 has no scan engine.
std::vector<std::tuple<ReaderModel, FaultCase>> rows() {
    std::vector<std::tuple<ReaderModel, FaultCase>> all;
    for (const ReaderModel model : {ReaderModel::vk210, ReaderModel::vk640}) {
        for (const FaultCase& c : kCases) {
            if (model == ReaderModel::vk640 && c.fault == Fault::noEngine) continue;
            all.emplace_back(model, c);
        }
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(Reader, FaultsEndToEnd, ::testing::ValuesIn(rows()), [](const auto& info) {
    return std::string(std::get<0>(info.param) == ReaderModel::vk210 ? "Vk210_" : "Vk640_") +
           std::get<1>(info.param).name;
});

}  // namespace
}  // namespace orvane
