// A Vk210 reports its inventory's end in a frame after the stop's reply. The operations called
// after the stop wait for that end: an asynchronous call never on its caller's thread, and an end
// that never comes is said once in the log, at WARN. While calls wait for it, every call of the
// same UHF object (a stop, a tag access, a call made on the waiting calls' own thread) waits
// behind them, so the calls run in the order they were made and a stop made last leaves the
// reader in Stop. A Vk640 reports Stop before its stop answers: nothing is left to wait for.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orvanerfid/uhf/BaseUhf.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"
#include "reader/ReaderFixture.h"
#include "uhf/UhfAppDelegate.h"
#include "uhf/UhfTestSupport.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;
constexpr auto kHangGuard = std::chrono::seconds(60);
// A select-mask index past every module's list: refused (0x4003) under the module lock, before
// the hop, so the completion of a deferred call is called on the deferred calls' own thread.
constexpr std::size_t kNoSuchMask = 1000;
// How long a test gives a call to run ahead where it must not; the verdict never depends on it
// (a call that must wait cannot have answered, however long the test looks).
constexpr auto kOvertakeLook = std::chrono::milliseconds(300);
// The driver's timeout of the tests in which the end never comes, for the wait for that end
// only: short, so the wait is given up soon; the verdicts count records and codes once every call
// has answered, whatever the pace. Every exchange with the reader has the patient one.
constexpr int kShortTimeoutMs = 1000;
constexpr int kPatientTimeoutMs = 60000;
const std::string kMissingEnd = "did not report the end of the stopped inventory";
const std::string kNoPassword = "00000000";

// The frame in which a Vk210 reports an inventory's end.
bool endsInventory(ByteView frame) {
    return frame.size() > 4 && readBe16(frame, 3) == rawValue(OrvRfidCmdId::inventoryStatus);
}

std::string codeText(ResultCode code) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(rawValue(code)));
    return text;
}

// The answer of one asynchronous call, taken on whichever thread gives it.
struct Answer {
    std::atomic<int> code{-1};
    auto completion() {
        return [this](ResultCode c, std::optional<int>) { code = static_cast<int>(rawValue(c)); };
    }
    bool given() const { return code.load() >= 0; }
    ResultCode value() const { return static_cast<ResultCode>(code.load()); }
};

// What the calls' answers said, in the order they came, on whichever threads they came.
class Journal {
  public:
    void add(std::string line) {
        std::lock_guard guard(lock_);
        lines_.push_back(std::move(line));
    }
    // A completion that notes "<what> <code>".
    UhfResultCompletion note(std::string what) {
        return
            [this, what = std::move(what)](ResultCode code) { add(what + " " + codeText(code)); };
    }
    std::vector<std::string> lines() const {
        std::lock_guard guard(lock_);
        return lines_;
    }
    std::size_t size() const {
        std::lock_guard guard(lock_);
        return lines_.size();
    }
    bool has(const std::string& line) const {
        std::lock_guard guard(lock_);
        return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
    }

  private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

// The lines from the `from`th on, sorted. Completions are called on the threads that end their
// operations, after the module lock is let go: two operations run one after the other may be
// answered in either order. Their run order is checked by its effect (the simulator's requests,
// the setting that stands, the state the reader ends in).
std::vector<std::string> answersFrom(std::vector<std::string> lines, std::size_t from) {
    lines.erase(lines.begin(),
                lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())));
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The codes several calls answered, on whichever threads.
class Codes {
  public:
    void keep(ResultCode code) {
        std::lock_guard guard(lock_);
        codes_.push_back(code);
    }
    std::size_t size() const {
        std::lock_guard guard(lock_);
        return codes_.size();
    }
    int count(ResultCode code) const {
        std::lock_guard guard(lock_);
        return static_cast<int>(std::count(codes_.begin(), codes_.end(), code));
    }

  private:
    mutable std::mutex lock_;
    std::vector<ResultCode> codes_;
};

// The reader's sink, keeping each record's level beside its text.
class LeveledSink : public ReaderSink {
  public:
    using ReaderSink::ReaderSink;
    void logEvent(const LogEventArg& record) override {
        ReaderSink::logEvent(record);
        std::lock_guard guard(levelLock_);
        records_.emplace_back(record.level(), record.log());
    }
    // The records whose text holds `part`: all of them, or those of `level`.
    int count(const std::string& part, std::optional<LogLevel> level = std::nullopt) const {
        std::lock_guard guard(levelLock_);
        return static_cast<int>(std::count_if(records_.begin(), records_.end(), [&](const auto& r) {
            return r.second.find(part) != std::string::npos && (!level || r.first == *level);
        }));
    }

  private:
    mutable std::mutex levelLock_;
    std::vector<std::pair<LogLevel, std::string>> records_;
};

// The models: whether the reader reports its inventory's end after the stop's answer.
struct Vk210Case : Vk210UhfModel {
    static constexpr bool kEndAfterStop = true;
};
struct Vk640Case : Vk640Model {
    static constexpr bool kEndAfterStop = false;
};

template <class Case>
class StoppedEndRig : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }
    void SetUp() override {
        f.sink = sink;
        f.reader->setReaderDelegate(sink);
        // Only the test's operations reach the reader: the keep-alive is off.
        f.reader->setCheckInterval(0);
        ASSERT_TRUE(f.connected());
        uhf = f.reader->uhf();
        ASSERT_TRUE(uhf);
        uhf->setDelegate(app);
    }
    void TearDown() override {
        // Nothing the test held stays held, so every call still waiting gets its turn.
        gate->open();
        f.sim->holdFrames(nullptr);
        f.sim->releaseHeldFrames();
        callers.clear();
    }
    // An inventory stopped and the stop answered; on a model that reports the end later, that
    // end held by the simulator.
    void stopWithTheEndHeld() {
        if (Case::kEndAfterStop) f.sim->holdFrames(endsInventory);
        EXPECT_EQ(codeOf([&](auto done) { uhf->inventory(done); }), kOk);
        EXPECT_EQ(codeOf([&](auto done) { uhf->stop(done); }), kOk);
        if (!Case::kEndAfterStop) return;
        ASSERT_TRUE(waitUntil([&] { return f.sim->heldFrames() == 1; }, kHangGuard));
        ASSERT_EQ(f.reader->actionState(), ActionState::inventory);
    }
    // The driver's timeout becomes `milliseconds` as the simulator takes the next stop request:
    // that stop's own exchange keeps the timeout it was sent with, and the wait for the end of the
    // stopped inventory, which counts from the stop's answer, gets the new one.
    void setTimeoutAtTheNextStop(int milliseconds) {
        const auto key = rawValue(OrvRfidCmdId::cancel);
        const auto row = f.sim->row(key);
        const auto armed = std::make_shared<std::atomic<bool>>(true);
        f.sim->addRow(key, [row, armed, milliseconds,
                            driver = std::weak_ptr<BaseUhfModule>(uhf->uhfModule())](
                               const SimRequest& request) {
            if (armed->exchange(false)) {
                if (const auto target = driver.lock()) target->setTimeout(milliseconds);
            }
            row(request);
        });
    }
    // Lets the held end go; nothing more is held.
    void releaseTheEnd() {
        f.sim->holdFrames(nullptr);
        f.sim->releaseHeldFrames();
    }
    // The outcome of a tag access that was started. The reader's link is shared by the tests of
    // this process, and the banks it pairs with access outcomes are kept with it: a test never
    // ends with an access whose outcome has yet to come.
    void awaitAccessResults(std::size_t count) {
        EXPECT_TRUE(waitUntil([&] { return app->results().size() >= count; }, kHangGuard));
    }
    // The reader and the simulator both in Stop.
    void expectStopped() {
        EXPECT_TRUE(
            waitUntil([&] { return f.reader->actionState() == ActionState::stop; }, kHangGuard));
        EXPECT_FALSE(f.sim->isStreaming());
    }
    int recordsWith(const std::string& part) { return sink->count(part); }
    // The records of calls that wait for the end of the stopped inventory.
    int waitingRecords() { return recordsWith("Waiting for the end of the stopped inventory"); }
    // Waits until the first call deferred behind the held end has had its turn on the after-stop
    // queue's thread: it says it waits for the end (a record past `waitingBefore`), or, had it not
    // waited, `answered` holds. The calls behind it wait in that queue, behind it.
    void awaitFirstDeferredTurn(int waitingBefore, const std::function<bool()>& answered) {
        EXPECT_TRUE(
            waitUntil([&] { return waitingRecords() > waitingBefore || answered(); }, kHangGuard));
    }
    // The requests the reader sent from the `from`th on, of the kinds in `kinds`.
    std::vector<SimReader::Key> requestsSince(std::size_t from,
                                              const std::vector<SimReader::Key>& kinds) const {
        const auto all = f.sim->requests();
        std::vector<SimReader::Key> out;
        for (std::size_t i = from; i < all.size(); ++i) {
            if (std::find(kinds.begin(), kinds.end(), all[i]) != kinds.end()) out.push_back(all[i]);
        }
        return out;
    }

    // Declared before the reader: a completion the reader still calls while it goes finds them.
    std::shared_ptr<Journal> journal = std::make_shared<Journal>();
    // Closed: the thread that passes it waits until the test opens it.
    std::shared_ptr<Gate> gate = [] {
        auto closed = std::make_shared<Gate>();
        closed->close();
        return closed;
    }();
    ModelReader<Case> f{[] {
        auto sim = Case::makeSim();
        sim->setTags(makeSimTags(4));
        return sim;
    }()};
    std::shared_ptr<LeveledSink> sink = std::make_shared<LeveledSink>(f.calls);
    std::shared_ptr<BaseUhf> uhf;
    std::shared_ptr<AppDelegate> app = std::make_shared<AppDelegate>();
    // Threads that make blocking calls; joined in TearDown, once nothing is held.
    std::vector<std::jthread> callers;
};

// ---- Both models ---------------------------------------------------------------------------

template <class Case>
class UhfStopMadeLastTest : public StoppedEndRig<Case> {};
using StopCases = ::testing::Types<Vk210Case, Vk640Case>;
TYPED_TEST_SUITE(UhfStopMadeLastTest, StopCases, ModelName);

// inventory(); stop(); then inventory(A); stop(B) at once. On the Vk210 both wait for the first
// inventory's end (held): the stop waits behind the inventory, though a stop never waits for an
// end itself. On the Vk640 the stop leaves no end to wait for: both run at once, one after the
// other. Either way both are answered, the reader runs the inventory before the stop (the stop
// run first would leave the inventory running) and ends in Stop, as the application's last call
// says.
TYPED_TEST(UhfStopMadeLastTest, AStopMadeLastLeavesTheReaderInStop) {
    auto& uhf = this->uhf;
    uhf->uhfModule()->setTimeout(60000);
    this->stopWithTheEndHeld();
    const int waiting = this->waitingRecords();
    uhf->inventory(this->journal->note("inventory"));
    uhf->stop(this->journal->note("stop"));
    if (TypeParam::kEndAfterStop) {
        this->awaitFirstDeferredTurn(waiting, [&] { return this->journal->size() > 0; });
        EXPECT_EQ(this->f.sim->heldFrames(), 1U);
        EXPECT_EQ(this->journal->size(), 0U);
        this->releaseTheEnd();
    }
    ASSERT_TRUE(waitUntil([&] { return this->journal->size() == 2; }, kHangGuard));
    EXPECT_EQ(answersFrom(this->journal->lines(), 0),
              (std::vector<std::string>{"inventory 0x0000", "stop 0x0000"}));
    // The stop ran after the inventory: neither the reader nor the simulator inventories.
    this->expectStopped();
    // A stop that leaves no end to come makes no call wait.
    if (!TypeParam::kEndAfterStop) {
        EXPECT_EQ(this->recordsWith("Waiting for the end of the stopped inventory"), 0);
    }
}

// ---- The Vk210 -------------------------------------------------------------------------------

class UhfStoppedInventoryEndTest : public StoppedEndRig<Vk210Case> {};

// getPower() called while the end is held returns before the end comes (the simulator still
// holds it, so nothing has answered the call yet), and is answered once the end is let go.
// The driver's timeout is far above the test's pace, so the wait is never given up here.
TEST_F(UhfStoppedInventoryEndTest, AnAsynchronousCallAfterTheStopReturnsBeforeTheEnd) {
    uhf->uhfModule()->setTimeout(60000);
    stopWithTheEndHeld();
    const int waiting = waitingRecords();
    Answer answer;
    uhf->getPower(answer.completion());
    awaitFirstDeferredTurn(waiting, [&] { return answer.given(); });
    EXPECT_EQ(f.sim->heldFrames(), 1U);
    EXPECT_FALSE(answer.given());
    releaseTheEnd();
    ASSERT_TRUE(waitUntil([&] { return answer.given(); }, kHangGuard));
    EXPECT_EQ(answer.value(), kOk);
    EXPECT_EQ(f.reader->actionState(), ActionState::stop);
}

// Settings made one after another while the end is held take effect in the order they were
// made: each waits behind the one called before it, not on a thread of its own, so the last one
// made is the one that stands.
TEST_F(UhfStoppedInventoryEndTest, CallsAfterTheStopKeepTheirOrder) {
    uhf->uhfModule()->setTimeout(60000);
    stopWithTheEndHeld();
    constexpr int kCalls = 12;
    constexpr int kFirstPower = 10;
    std::atomic<int> answered{0};
    std::atomic<int> failed{0};
    const int waiting = waitingRecords();
    for (int call = 0; call < kCalls; ++call) {
        uhf->setPower(kFirstPower + call, [&](ResultCode code) {
            if (code != kOk) ++failed;
            ++answered;
        });
    }
    awaitFirstDeferredTurn(waiting, [&] { return answered.load() > 0; });
    EXPECT_EQ(f.sim->heldFrames(), 1U);
    EXPECT_EQ(answered.load(), 0);
    releaseTheEnd();
    ASSERT_TRUE(waitUntil([&] { return answered.load() == kCalls; }, kHangGuard));
    EXPECT_EQ(failed.load(), 0);
    const auto power = answerOf<int>([&](auto done) { uhf->getPower(done); });
    EXPECT_EQ(power.first, kOk);
    EXPECT_EQ(power.second, kFirstPower + kCalls - 1);
}

// A stop made while the end is awaited and no call waits runs at once: a stop never waits for
// an end. It is answered while the simulator still holds the end.
TEST_F(UhfStoppedInventoryEndTest, AStopMadeWhileNoCallWaitsRunsAtOnce) {
    uhf->uhfModule()->setTimeout(60000);
    stopWithTheEndHeld();
    EXPECT_EQ(codeOf([&](auto done) { uhf->stop(done); }), kOk);
    EXPECT_EQ(f.sim->heldFrames(), 1U);
    EXPECT_EQ(recordsWith("stop(completion:) - Waiting for the end of the stopped inventory"), 0);
    releaseTheEnd();
    expectStopped();
}

// A deferred call checks the arguments it was made with, not what the caller's variables hold
// when its turn comes: the caller changes its password string after the call.
TEST_F(UhfStoppedInventoryEndTest, ADeferredCallChecksTheArgumentsItWasMadeWith) {
    uhf->uhfModule()->setTimeout(60000);
    stopWithTheEndHeld();
    std::string password = kNoPassword;
    uhf->inventoryWithUserSpecifiedDataOperation(BankType::user, 0, 2, password,
                                                 journal->note("inventory"));
    password = "not a password";
    releaseTheEnd();
    ASSERT_TRUE(waitUntil([&] { return journal->size() == 1; }, kHangGuard));
    EXPECT_EQ(journal->lines(), (std::vector<std::string>{"inventory 0x0000"}));
    EXPECT_EQ(codeOf([&](auto done) { uhf->stop(done); }), kOk);
    expectStopped();
}

// The end has come, but the deferred calls have not all run: the first one's completion (a
// refusal, called on the deferred calls' own thread) holds them on a gate, an inventory waits
// behind it. A stop made now, and a tag access made after it on another thread, wait behind the
// inventory: the stop runs after it and the reader ends in Stop; the read runs after the stop,
// and its caller waits for the code it gets then.
TEST_F(UhfStoppedInventoryEndTest, ACallMadeAfterTheEndWaitsBehindTheDeferredCalls) {
    uhf->uhfModule()->setTimeout(60000);
    stopWithTheEndHeld();
    const std::size_t mark = f.sim->requests().size();
    const auto gate = this->gate;
    const int waiting = waitingRecords();
    uhf->getSelectMaskEnabled(kNoSuchMask, [journal = journal, gate](ResultCode code, auto) {
        journal->add("mask " + codeText(code));
        gate->pass();
    });
    uhf->inventory(journal->note("inventory"));
    awaitFirstDeferredTurn(waiting, [&] { return journal->size() > 0; });
    EXPECT_EQ(journal->size(), 0U);
    releaseTheEnd();
    ASSERT_TRUE(waitUntil([&] { return gate->waiting() == 1; }, kHangGuard));
    // The end came: the first deferred call waited for it.
    EXPECT_EQ(f.reader->actionState(), ActionState::stop);

    uhf->stop(journal->note("stop"));
    const auto readCode = std::make_shared<std::atomic<int>>(-1);
    callers.emplace_back([uhf = uhf, readCode] {
        *readCode = static_cast<int>(rawValue(uhf->readMemory(BankType::user, 0, 2, kNoPassword)));
    });
    // Nothing may run while the gate holds the deferred calls; a stop or read run at once would
    // have answered or returned by now.
    waitUntil([&] { return journal->size() > 1 || readCode->load() >= 0; }, kOvertakeLook);
    EXPECT_EQ(journal->lines(), (std::vector<std::string>{"mask 0x4003"}));
    EXPECT_EQ(readCode->load(), -1);

    gate->open();
    ASSERT_TRUE(
        waitUntil([&] { return journal->size() == 3 && readCode->load() >= 0; }, kHangGuard));
    EXPECT_EQ(journal->lines().front(), "mask 0x4003");
    EXPECT_EQ(answersFrom(journal->lines(), 1),
              (std::vector<std::string>{"inventory 0x0000", "stop 0x0000"}));
    EXPECT_EQ(readCode->load(), static_cast<int>(rawValue(kOk)));
    awaitAccessResults(1);
    // The reader ran them in that order (the read's request leaves after its caller got 0x0000).
    const std::vector<SimReader::Key> kinds{rawValue(OrvRfidCmdId::inventory),
                                            rawValue(OrvRfidCmdId::cancel),
                                            rawValue(OrvRfidCmdId::read)};
    ASSERT_TRUE(waitUntil([&] { return requestsSince(mark, kinds).size() == 3; }, kHangGuard));
    EXPECT_EQ(requestsSince(mark, kinds), kinds);
    expectStopped();
}

// Calls deferred behind the held end on one thread and a stop made on another, once they have
// been made: the stop waits behind them whichever thread makes it, as one made on the deferring
// thread does. Nothing is answered while the end is held; once it comes, the reader runs the
// inventory before the stop (by the order of the requests it sends) and ends in Stop.
TEST_F(UhfStoppedInventoryEndTest, AStopMadeOnAnotherThreadWaitsBehindTheDeferredCalls) {
    constexpr int kPower = 20;
    const struct {
        const char* name;
        bool deferOnTestThread;
    } rows[] = {{"deferred on another thread, stop on the test's", false},
                {"deferred on the test's thread, stop on another", true}};
    // Runs `call` on the test's thread or on a thread of its own, and returns once it has.
    const auto runOn = [](bool testThread, const std::function<void()>& call) {
        if (testThread) {
            call();
        } else {
            std::jthread(call).join();
        }
    };
    const std::vector<SimReader::Key> kinds{rawValue(OrvRfidCmdId::inventory),
                                            rawValue(OrvRfidCmdId::cancel)};
    uhf->uhfModule()->setTimeout(kPatientTimeoutMs);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        stopWithTheEndHeld();
        const std::size_t mark = f.sim->requests().size();
        const std::size_t answered = journal->size();
        const int waiting = waitingRecords();
        runOn(row.deferOnTestThread, [&] {
            uhf->setPower(kPower, journal->note("power"));
            uhf->inventory(journal->note("inventory"));
        });
        runOn(!row.deferOnTestThread, [&] { uhf->stop(journal->note("stop")); });
        awaitFirstDeferredTurn(waiting, [&] { return journal->size() > answered; });
        EXPECT_EQ(f.sim->heldFrames(), 1U);
        EXPECT_EQ(journal->size(), answered);
        releaseTheEnd();
        ASSERT_TRUE(waitUntil([&] { return journal->size() == answered + 3; }, kHangGuard));
        EXPECT_EQ(answersFrom(journal->lines(), answered),
                  (std::vector<std::string>{"inventory 0x0000", "power 0x0000", "stop 0x0000"}));
        ASSERT_TRUE(waitUntil([&] { return requestsSince(mark, kinds).size() == 2; }, kHangGuard));
        ASSERT_EQ(requestsSince(mark, kinds), kinds);
        expectStopped();
    }
}

// A deferred call's completion called on the deferred calls' own thread (its refusal, before the
// hop) calls the same object while another deferred call waits behind it: the setting it makes
// waits behind that call, so the last setting made stands; a tag access it makes would wait for
// its own thread, and is refused with 0x4002 and a record.
TEST_F(UhfStoppedInventoryEndTest, ACallMadeOnTheDeferredCallsThreadWaitsBehindThem) {
    constexpr int kFirstPower = 21;
    constexpr int kLastPower = 27;
    uhf->uhfModule()->setTimeout(60000);
    stopWithTheEndHeld();
    const auto readCode = std::make_shared<std::atomic<int>>(-1);
    uhf->getSelectMaskEnabled(kNoSuchMask, [uhf = uhf, journal = journal, readCode](ResultCode code,
                                                                                    auto) {
        journal->add("mask " + codeText(code));
        *readCode = static_cast<int>(rawValue(uhf->readMemory(BankType::user, 0, 2, kNoPassword)));
        uhf->setPower(kLastPower, journal->note("last power"));
        journal->add("mask done");
    });
    uhf->setPower(kFirstPower, journal->note("first power"));
    releaseTheEnd();
    ASSERT_TRUE(waitUntil([&] { return journal->size() == 4; }, kHangGuard));
    const auto lines = journal->lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2),
              (std::vector<std::string>{"mask 0x4003", "mask done"}));
    EXPECT_EQ(answersFrom(lines, 2),
              (std::vector<std::string>{"first power 0x0000", "last power 0x0000"}));
    EXPECT_EQ(readCode->load(), static_cast<int>(rawValue(ResultCode::inOperation)));
    EXPECT_EQ(recordsWith("readMemory(bank:offset:length:password:) - Called on a thread that "
                          "runs the calls deferred"),
              1);
    const auto power = answerOf<int>([&](auto done) { uhf->getPower(done); });
    EXPECT_EQ(power.first, kOk);
    EXPECT_EQ(power.second, kLastPower);
}

// The same completion with no deferred call behind it: nothing waits, so a tag access made there
// runs, and its caller gets its code.
TEST_F(UhfStoppedInventoryEndTest, ATagAccessOnTheDeferredCallsThreadRunsWhenNoneWaitsBehind) {
    uhf->uhfModule()->setTimeout(60000);
    stopWithTheEndHeld();
    const auto readCode = std::make_shared<std::atomic<int>>(-1);
    uhf->getSelectMaskEnabled(kNoSuchMask, [uhf = uhf, journal = journal, readCode](ResultCode code,
                                                                                    auto) {
        *readCode = static_cast<int>(rawValue(uhf->readMemory(BankType::user, 0, 2, kNoPassword)));
        journal->add("mask " + codeText(code));
    });
    releaseTheEnd();
    ASSERT_TRUE(waitUntil([&] { return journal->size() == 1; }, kHangGuard));
    EXPECT_EQ(journal->lines(), (std::vector<std::string>{"mask 0x4003"}));
    EXPECT_EQ(readCode->load(), static_cast<int>(rawValue(kOk)));
    awaitAccessResults(1);
    expectStopped();
}

// A second reader whose deferred calls wait (the first held on a gate by its completion, a
// setting behind it). A completion called on this reader's deferred calls' thread calls that
// reader: the setting it makes waits there behind the other reader's own, so it runs only once the
// gate opens, after that one, and it is the one that stands. A tag access it makes
// there is refused with 0x4002: its caller would wait on this reader's deferred calls' thread
// for the other reader's, which may be waiting for this one.
TEST_F(UhfStoppedInventoryEndTest, ACallOnTheDeferredCallsThreadToAnotherReaderWaitsThere) {
    constexpr int kFirstPower = 22;
    constexpr int kLastPower = 26;
    struct OtherReader {
        AccessoryManager manager;
        std::shared_ptr<SimVk210> sim = std::make_shared<SimVk210>();
        std::shared_ptr<SimAccessory> accessory;
        std::shared_ptr<StandInReader> reader = std::make_shared<StandInReader>();
        ~OtherReader() {
            sim->holdFrames(nullptr);
            sim->releaseHeldFrames();
            if (reader->device) disconnectStandIn(*reader);
        }
    };
    auto other = std::make_unique<OtherReader>();
    // Opened before the other reader goes, whatever the test found.
    struct OpenAtEnd {
        std::shared_ptr<Gate> gate;
        ~OpenAtEnd() { gate->open(); }
    } openAtEnd{gate};
    other->sim->setTags(makeSimTags(4));
    ASSERT_TRUE(
        connectStandIn<Vk210StandIn>(other->manager, other->sim, other->accessory, other->reader));
    const std::shared_ptr<BaseUhf> otherUhf = other->reader->uhf();
    ASSERT_TRUE(otherUhf);
    otherUhf->uhfModule()->setTimeout(60000);

    // The other reader: its end held, then its deferred calls.
    other->sim->holdFrames(endsInventory);
    ASSERT_EQ(codeOf([&](auto done) { otherUhf->inventory(done); }), kOk);
    ASSERT_EQ(codeOf([&](auto done) { otherUhf->stop(done); }), kOk);
    ASSERT_TRUE(waitUntil([&] { return other->sim->heldFrames() == 1; }, kHangGuard));
    otherUhf->getSelectMaskEnabled(kNoSuchMask,
                                   [journal = journal, gate = gate](ResultCode code, auto) {
                                       journal->add("other mask " + codeText(code));
                                       gate->pass();
                                   });
    otherUhf->setPower(kFirstPower, journal->note("other first power"));
    other->sim->holdFrames(nullptr);
    other->sim->releaseHeldFrames();
    ASSERT_TRUE(waitUntil([&] { return gate->waiting() == 1; }, kHangGuard));

    // This reader: a deferred call whose completion calls the other reader.
    uhf->uhfModule()->setTimeout(60000);
    stopWithTheEndHeld();
    const auto readCode = std::make_shared<std::atomic<int>>(-1);
    uhf->getSelectMaskEnabled(
        kNoSuchMask, [otherUhf, journal = journal, readCode](ResultCode code, auto) {
            journal->add("mask " + codeText(code));
            *readCode =
                static_cast<int>(rawValue(otherUhf->readMemory(BankType::user, 0, 2, kNoPassword)));
            otherUhf->setPower(kLastPower, journal->note("other last power"));
            journal->add("mask done");
        });
    releaseTheEnd();
    ASSERT_TRUE(waitUntil([&] { return journal->has("mask done"); }, kHangGuard));
    waitUntil([&] { return journal->size() > 3; }, kOvertakeLook);
    EXPECT_EQ(journal->lines(),
              (std::vector<std::string>{"other mask 0x4003", "mask 0x4003", "mask done"}));
    // Its turn would come only once this reader's deferred calls' thread let the other reader's
    // queue go on, which may wait for this one: refused.
    EXPECT_EQ(readCode->load(), static_cast<int>(rawValue(ResultCode::inOperation)));

    gate->open();
    ASSERT_TRUE(waitUntil([&] { return journal->size() == 5; }, kHangGuard));
    const auto lines = journal->lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              (std::vector<std::string>{"other mask 0x4003", "mask 0x4003", "mask done"}));
    EXPECT_EQ(answersFrom(lines, 3),
              (std::vector<std::string>{"other first power 0x0000", "other last power 0x0000"}));
    const auto power = answerOf<int>([&](auto done) { otherUhf->getPower(done); });
    EXPECT_EQ(power.first, kOk);
    EXPECT_EQ(power.second, kLastPower);
    expectStopped();
}

// An end that never comes: the first operation after the stop gives up after the driver's
// timeout and one record, at WARN, says so (counted at every level: the same text at another
// level is another record); the operations are refused (0x4002) while the reader stays in its
// inventory, without another record, and work again once the end comes.
TEST_F(UhfStoppedInventoryEndTest, AnEndThatNeverComesIsSaidOnceAtWarn) {
    uhf->uhfModule()->setTimeout(kPatientTimeoutMs);
    setTimeoutAtTheNextStop(kShortTimeoutMs);
    stopWithTheEndHeld();
    for (int call = 0; call < 3; ++call) {
        SCOPED_TRACE(call);
        const auto answered = answerOf<int>([&](auto done) { uhf->getPower(done); });
        EXPECT_EQ(answered.first, ResultCode::inOperation);
        EXPECT_EQ(sink->count(kMissingEnd), 1);
        EXPECT_EQ(sink->count(kMissingEnd, LogLevel::warn), 1);
    }
    EXPECT_EQ(f.sim->heldFrames(), 1U);
    // The exchanges from here on have the patient timeout again.
    uhf->uhfModule()->setTimeout(kPatientTimeoutMs);
    releaseTheEnd();
    ASSERT_TRUE(
        waitUntil([&] { return f.reader->actionState() == ActionState::stop; }, kHangGuard));
    EXPECT_EQ(answerOf<int>([&](auto done) { uhf->getPower(done); }).first, kOk);
    EXPECT_EQ(sink->count(kMissingEnd), 1);
    EXPECT_EQ(sink->count(kMissingEnd, LogLevel::warn), 1);
}

// Several callers wait for an end that never comes and give up at the same moment: calls made
// while the stop's reply was on its way (they waited for the module lock, and the first to get
// it waits for the end under it), and calls made after the stop's answer (deferred calls with
// completions, and tag accesses whose callers wait for their codes), on several threads. The
// end not coming is said once, at WARN, and every call is refused with 0x4002.
TEST_F(UhfStoppedInventoryEndTest, SeveralCallersGivingUpAtOnceSayItOnce) {
    constexpr int kEach = 3;
    uhf->uhfModule()->setTimeout(kPatientTimeoutMs);
    f.sim->holdFrames(endsInventory);
    ASSERT_EQ(codeOf([&](auto done) { uhf->inventory(done); }), kOk);
    setTimeoutAtTheNextStop(kShortTimeoutMs);
    // The stop's reply comes late (its exchange has the patient timeout): meanwhile the calls
    // made wait for the lock the stop holds. A call that reaches the lock only after the stop's
    // answer waits with the deferred calls instead: fewer wait at once, the verdict stays.
    SimReplyFaults late;
    late.lateBy = std::chrono::milliseconds(500);
    late.count = 1;
    f.sim->setReplyFaults(late, rawValue(OrvRfidCmdId::cancel));
    const auto stopCode = std::make_shared<std::atomic<int>>(-1);
    uhf->stop([stopCode](ResultCode code) { *stopCode = static_cast<int>(rawValue(code)); });

    const auto codes = std::make_shared<Codes>();
    const auto makeCalls = [&] {
        for (int call = 0; call < kEach; ++call) {
            callers.emplace_back([uhf = uhf, codes] {
                uhf->getPower([codes](ResultCode code, auto) { codes->keep(code); });
            });
            callers.emplace_back([uhf = uhf, codes] {
                codes->keep(uhf->readMemory(BankType::user, 0, 2, kNoPassword));
            });
        }
    };
    makeCalls();
    ASSERT_TRUE(waitUntil([&] { return stopCode->load() >= 0; }, kHangGuard));
    EXPECT_EQ(stopCode->load(), static_cast<int>(rawValue(kOk)));
    ASSERT_EQ(f.sim->heldFrames(), 1U);
    makeCalls();
    ASSERT_TRUE(waitUntil([&] { return codes->size() == 4U * kEach; }, kHangGuard));
    EXPECT_EQ(codes->count(ResultCode::inOperation), 4 * kEach);
    EXPECT_EQ(sink->count(kMissingEnd), 1);
    EXPECT_EQ(sink->count(kMissingEnd, LogLevel::warn), 1);
    releaseTheEnd();
    expectStopped();
    EXPECT_EQ(sink->count(kMissingEnd), 1);
}

}  // namespace
}  // namespace orvane::test
