// The ST25RU3993 UHF object on a simulated Vk640, and the pipeline behaviours that do not depend
// on the module (the list's pending rows, re-entry, the completion watchdog, the module lock's
// marks and the records held under it).

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <thread>
#include <tuple>
#include <utility>

#include "orvanerfid/uhf/ModuleLock.h"
#include "orvanerfid/uhf/UhfPipeline.h"
#include "orvanerfid/uhf/UhfST25RU3993.h"
#include "uhf/UhfTestSupport.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;
constexpr uint8_t kRadioGetConfig = 0x00;
constexpr uint8_t kFreqProfileTag = 0x08;

class UhfST25RU3993Test : public UhfRig<Vk640StandIn> {
  protected:
    // Waits for the access result a started access ends with.
    AccessResultEventArgs access(const std::function<ResultCode()>& operation) {
        const std::size_t before = app->results().size();
        EXPECT_EQ(operation(), kOk);
        const auto result = nextResult(before);
        EXPECT_TRUE(result.has_value());
        return result.value_or(
            AccessResultEventArgs({}, {}, ActionState::stop, std::nullopt, ResultCode::otherError));
    }
    int bandRequests() const {
        return sim->requestCount(
            SimVk640::rowKey(SimVk640::kRadioGroup, kRadioGetConfig, kFreqProfileTag));
    }
};

TEST_F(UhfST25RU3993Test, InitModuleLearnsTheSkuOrTheSkuOfTheBand) {
    struct Case {
        uint8_t sku;
        uint8_t profile;
        bool learnt;
        SkuType expected;  // in the driver
        int bandRequests;
        const char* error;
    };
    const Case cases[] = {
        {3, 1, true, SkuType::japanese, 0, nullptr},
        {0, 22, true, SkuType::european, 1, nullptr},
        {0, 7, true, SkuType::japanese, 1, nullptr},
        {0, 20, true, SkuType::us, 1, nullptr},
        {0, 0, false, SkuType::unknown, 1, "initModule() Get unknown region"},
        {0, 4, false, SkuType::us, 1, "initModule() Unknown global band (4)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.profile});
        sim->setSetting("sku", {c.sku});
        Bytes profile = sim->setting("freqProfileInfo");
        profile[0] = c.profile;
        sim->setSetting("freqProfileInfo", profile);
        uhf().uhfModule()->setSkuType(SkuType::us);
        reader->sku = SkuType::unknown;
        log->clear();
        const int before = bandRequests();
        EXPECT_EQ(uhf().initModule(), c.learnt);
        EXPECT_EQ(uhf().uhfModule()->skuType(), c.expected);
        // The reader learns a learnt SKU through the protocol and the device.
        EXPECT_EQ(reader->sku.load(), c.learnt ? c.expected : SkuType::unknown);
        EXPECT_EQ(bandRequests() - before, c.bandRequests);
        if (c.error) {
            EXPECT_EQ(log->count(c.error, LogLevel::error), 1);
        }
    }

    // A status error in the SKU reply ends at once, with no band request and nothing stored.
    sim->setReplyFaults(SimReplyFaults{{}, 0xFFFF, 1});
    const int before = bandRequests();
    EXPECT_FALSE(uhf().initModule());
    EXPECT_EQ(log->count("initModule() error: ", LogLevel::error), 1);
    EXPECT_EQ(bandRequests(), before);
    EXPECT_EQ(uhf().uhfModule()->skuType(), SkuType::us);

    // No reply within the send's 3000 ms (it is held): false, with no band request.
    sim->setReplyFaults(SimReplyFaults{{}, std::nullopt, 1, true});
    log->clear();
    EXPECT_FALSE(uhf().initModule());
    EXPECT_EQ(log->count("initModule() error: Result Code: Timeout", LogLevel::error), 1);
    EXPECT_EQ(bandRequests(), before);
}

TEST_F(UhfST25RU3993Test, InventoryDeliversEveryTagOnceWithItsRssiThenStops) {
    sim->setTags(makeSimTags(1000));
    sim->setInventoryOnce(true);
    EXPECT_EQ(await([&](auto done) { uhf().inventory(done); }), kOk);
    ASSERT_TRUE(waitUntil([&] { return app->reads().size() == 1000; }));
    EXPECT_EQ(reader->state.load(), ActionState::inventory);
    // A started inventory writes no INFO or ERROR record of its own.
    EXPECT_TRUE(log->texts("UhfST25RU3993").empty());

    // Another inventory is refused while this one runs; stop is accepted.
    EXPECT_EQ(await([&](auto done) { uhf().inventory(done); }), ResultCode::inOperation);
    EXPECT_EQ(log->count("actionState is not Stop(Inventory)", LogLevel::error), 1);
    EXPECT_EQ(log->count("inventory(completion:) - Assert action failed - In Operation"), 1);
    EXPECT_EQ(await([&](auto done) { uhf().stop(done); }), kOk);
    EXPECT_TRUE(waitUntil([&] { return reader->state.load() == ActionState::stop; }));

    const auto tags = *sim->tags();
    const auto reads = app->reads();
    const auto rssi = app->rssi();
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const std::string epc = toHexString(tags[i].epc);
        ASSERT_EQ(reads.count(epc), 1u) << i;
        EXPECT_EQ(reads.at(epc), 1) << i;
        const int sum = SimVk640::logI(i) + SimVk640::logQ(i);
        EXPECT_FLOAT_EQ(rssi.at(epc),
                        static_cast<float>(std::trunc((sum / 2.0 * 2.1 - 75.0) * 10.0)) / 10.0f);
    }
    EXPECT_EQ(reader->failures.load(), 0);
}

TEST_F(UhfST25RU3993Test, TagAccessPostsStopBeforeItsOwnAccessResult) {
    const auto written =
        access([&] { return uhf().writeMemory(BankType::user, 1, "CAFEBABE", "00000000"); });
    EXPECT_EQ(written.resultCode(), kOk);
    EXPECT_EQ(written.actionState(), ActionState::writeMemory);
    EXPECT_EQ(written.bankType(), BankType::user);
    EXPECT_EQ(reader->journal(),
              (std::vector<std::string>{"action Write Memory", "action Stop", "access No Error"}));
    const auto read = access([&] { return uhf().readMemory(BankType::user, 0, 4, "00000000"); });
    EXPECT_EQ(read.data(), (Bytes{0x00, 0x00, 0xCA, 0xFE, 0xBA, 0xBE, 0x00, 0x00}));
    EXPECT_EQ(read.actionState(), ActionState::readMemory);
    EXPECT_EQ(log->count("readMemory(bank:offset:length:password:) - (bank: User Memory Bank, "
                         "offset: 0, length: 4, password: ********)",
                         LogLevel::info),
              1);

    // Kill and access passwords, then a lock, a permanent lock and a kill.
    ASSERT_EQ(access([&] {
                  return uhf().writeMemory(BankType::reserved, 0, "0000000111223344", "00000000");
              }).resultCode(),
              kOk);
    LockParam lockUser;
    lockUser.setUser(LockState::lock);
    EXPECT_EQ(access([&] { return uhf().lockTag(lockUser, "11223344"); }).resultCode(), kOk);
    PermaLockParam forever;
    forever.setUser(LockState::lock);
    const auto perma = access([&] { return uhf().permaLockTag(forever, "11223344"); });
    EXPECT_EQ(perma.resultCode(), kOk);
    EXPECT_EQ(perma.actionState(), ActionState::permanentLock);
    reader->clearJournal();
    // A lock the tag refuses: Stop, then the access result with the driver's code and no bank.
    const auto refused = access([&] { return uhf().lockTag(lockUser, "11223344"); });
    EXPECT_EQ(refused.resultCode(), ResultCode::memoryLocked);
    EXPECT_EQ(refused.bankType(), BankType::reserved);
    EXPECT_EQ(reader->journal(),
              (std::vector<std::string>{"action Lock", "action Stop", "access Memory Locked"}));
    EXPECT_EQ(log->count("lockTag(lockParam:password:) - Failed to start lock (lock param: " +
                             lockUser.description() + ", password: ********)",
                         LogLevel::error),
              1);
    EXPECT_EQ(reader->failures.load(), 1);
    const auto killed = access([&] { return uhf().killTag("00000001"); });
    EXPECT_EQ(killed.resultCode(), kOk);
    EXPECT_EQ(killed.actionState(), ActionState::kill);
    EXPECT_EQ(reader->failures.load(), 0);
    EXPECT_EQ(log->count("killTag(password:) - password: ********", LogLevel::info), 1);
}

TEST_F(UhfST25RU3993Test, ArgumentChecksRefuseAndReleaseTheLock) {
    const std::string sigRead = "readMemory(bank:offset:length:password:)";
    const std::string sigWrite = "writeMemory(bank:offset:data:password:)";
    BaseUhf& u = uhf();
    const LockParam lock;
    const PermaLockParam perma;
    struct Case {
        const char* name;
        std::function<ResultCode()> call;
        ResultCode code;
        std::string error;  // "" when started
    };
    const Case cases[] = {
        {"short password", [&] { return u.readMemory(BankType::user, 0, 1, "1234567"); },
         ResultCode::invalidPassword, sigRead + " - Invalid password(********)"},
        {"non-hex password", [&] { return u.readMemory(BankType::user, 0, 1, "1234567G"); },
         ResultCode::invalidPassword, sigRead + " - Invalid password(********)"},
        {"64 words", [&] { return u.readMemory(BankType::user, 0, 64, "6B1F0D94"); }, kOk, ""},
        {"65 words", [&] { return u.readMemory(BankType::user, 0, 65, "00000000"); },
         ResultCode::invalidParameter,
         sigRead + " - length is out of range, should be less than 64"},
        {"huge length", [&] { return u.readMemory(BankType::user, 0, 0xFFFFFFFFu, "00000000"); },
         ResultCode::invalidParameter,
         sigRead + " - length is out of range, should be less than 64"},
        {"offset past 16 bits",
         [&] { return u.readMemory(BankType::user, 0x10000, 1, "00000000"); },
         ResultCode::invalidParameter,
         sigRead + " - offset is out of range, should be at most 65535"},
        {"empty data", [&] { return u.writeMemory(BankType::user, 0, "", "00000000"); },
         ResultCode::invalidParameter, sigWrite + " - Invalid data()"},
        {"odd data", [&] { return u.writeMemory(BankType::user, 0, "ABC", "00000000"); },
         ResultCode::invalidParameter, sigWrite + " - Invalid data length(3)"},
        {"non-hex data", [&] { return u.writeMemory(BankType::user, 0, "ABCG", "00000000"); },
         ResultCode::invalidParameter, sigWrite + " - Invalid data (ABCG)"},
        {"kill default", [&] { return u.killTag("6B1F0D94"); }, ResultCode::invalidPassword,
         "killTag(password:) - Invalid password(********)"},
        {"kill default lower case", [&] { return u.killTag("6b1f0d94"); },
         ResultCode::invalidPassword, "killTag(password:) - Invalid password(********)"},
        {"lock default", [&] { return u.lockTag(lock, "6B1F0D94"); }, ResultCode::invalidPassword,
         "lockTag(lockParam:password:) - Invalid password(********)"},
        {"perma lock default", [&] { return u.permaLockTag(perma, "6b1F0d94"); },
         ResultCode::invalidPassword,
         "permaLockTag(permaLockParam:password:) - Invalid password(********)"},
        {"block write", [&] { return u.blockWriteMemory(BankType::user, 0, "0000", "00000000"); },
         ResultCode::notSupported, "blockWriteMemory(bank:offset:data:password:) - Not supported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log->clear();
        const std::size_t before = app->results().size();
        EXPECT_EQ(c.call(), c.code);
        if (c.code == kOk) {
            EXPECT_TRUE(nextResult(before).has_value());
        } else {
            EXPECT_EQ(log->count(c.error, LogLevel::error), 1);
        }
        // The lock is free again: a stop completes.
        settle();
    }
    EXPECT_EQ(reader->failures.load(), 0);
    // No password reached a log line.
    for (const auto& text : log->texts("UhfST25RU3993")) {
        EXPECT_EQ(text.find("1234567"), std::string::npos) << text;
        EXPECT_EQ(text.find("6B1F0D94"), std::string::npos) << text;
    }
}

TEST_F(UhfST25RU3993Test, TheFourthFailureInARowDisconnectsTheTransport) {
    const auto fail = [&] {
        // Past the end of user memory.
        return access([&] { return uhf().writeMemory(BankType::user, 200, "0102", "00000000"); })
            .resultCode();
    };
    for (int i = 1; i <= 3; ++i) {
        EXPECT_NE(fail(), kOk);
        EXPECT_EQ(reader->failures.load(), i);
    }
    EXPECT_EQ(reader->transport->connectState(), ConnectState::connected);
    // A success resets the count.
    EXPECT_EQ(access([&] {
                  return uhf().writeMemory(BankType::user, 0, "0102", "00000000");
              }).resultCode(),
              kOk);
    EXPECT_EQ(reader->failures.load(), 0);
    for (int i = 1; i <= 3; ++i)
        fail();
    EXPECT_EQ(reader->transport->connectState(), ConnectState::connected);
    EXPECT_EQ(log->count("transportDisconnect() - Result: "), 0);
    const int marks = reader->aliveMarks.load();
    fail();
    EXPECT_EQ(reader->failures.load(), 4);
    EXPECT_EQ(reader->aliveMarks.load(), marks + 1);
    EXPECT_EQ(reader->transport->connectState(), ConnectState::disconnected);
    EXPECT_EQ(log->count("transportDisconnect() - Result: true", LogLevel::trace), 1);
}

TEST_F(UhfST25RU3993Test, ADroppedLinkMidInventoryEndsDisconnectedWithoutAHang) {
    sim->setTags(makeSimTags(1000));
    sim->setDropLinkAfterTags(100);
    EXPECT_EQ(await([&](auto done) { uhf().inventory(done); }), kOk);
    ASSERT_TRUE(waitUntil([&] { return sim->reportsStreamed() >= 100; }));
    // The application hears tags of the inventory before the link goes: the line tells them on
    // its own thread, and drops what still waits once the connection ends.
    ASSERT_TRUE(waitUntil([&] { return !app->reads().empty(); }));
    // Every stop answers (the lock is free again each time) with the failed exchange's code;
    // the fourth failure in a row disconnects the transport.
    for (int i = 1; i <= 4; ++i) {
        EXPECT_NE(await([&](auto done) { uhf().stop(done); }), kOk);
        EXPECT_EQ(reader->failures.load(), i);
    }
    EXPECT_EQ(reader->transport->connectState(), ConnectState::disconnected);
    EXPECT_EQ(log->count("transportDisconnect() - Result: ", LogLevel::trace), 1);
}

// ---- Pipeline behaviours ----------------------------------------------------------------------

template <typename Result, typename... Args>
void callPending(BaseUhf& uhf, void (BaseUhf::*operation)(Args...), int& calls, ResultCode& code) {
    std::tuple<std::decay_t<Args>...> arguments{};
    std::get<sizeof...(Args) - 1>(arguments) = [&](ResultCode c, auto&&...) {
        ++calls;
        code = c;
    };
    std::apply([&](auto&... a) { (uhf.*operation)(a...); }, arguments);
}

TEST_F(UhfST25RU3993Test, EveryRowNotBuiltYetAnswersNotSupported) {
    int pending = 0;
#define ORV_TEST_ROW_built(name, signature)
#define ORV_TEST_ROW_pending(name, signature)                                  \
    {                                                                          \
        SCOPED_TRACE(#name);                                                   \
        int calls = 0;                                                         \
        ResultCode code = kOk;                                                 \
        log->clear();                                                          \
        callPending<void>(uhf(), &BaseUhf::name, calls, code);                 \
        EXPECT_EQ(calls, 1);                                                   \
        EXPECT_EQ(code, ResultCode::notSupported);                             \
        EXPECT_EQ(log->count(std::string(signature) + " - Not supported"), 1); \
        ++pending;                                                             \
    }
#define ORV_TEST_CALL_(state, name, id, signature, params) ORV_TEST_ROW_##state(name, signature)
#define ORV_TEST_ACCESS_(state, name, id, signature, params)
    ORV_UHF_OPERATIONS(ORV_TEST_ACCESS_, ORV_TEST_CALL_)
#undef ORV_TEST_CALL_
#undef ORV_TEST_ACCESS_
#undef ORV_TEST_ROW_built
#undef ORV_TEST_ROW_pending
    std::size_t listed = 0;
    for (const auto& row : uhfOperations())
        listed += row.built ? 0 : 1;
    EXPECT_EQ(static_cast<std::size_t>(pending), listed);
    EXPECT_EQ(uhfOperations().size(), 131u);
}

TEST_F(UhfST25RU3993Test, ACallFromInsideTheStartingCallbackIsRefusedNotDeadlocked) {
    std::atomic<int> calls{0};
    std::atomic<ResultCode> fromStop{kOk};
    std::atomic<ResultCode> fromRead{kOk};
    reader->setOnAction([&](ActionState state) {
        if (state != ActionState::inventory || calls++ > 0) return;
        uhf().stop([&](ResultCode code) { fromStop = code; });
        fromRead = uhf().readMemory(BankType::user, 0, 1, "00000000");
    });
    EXPECT_EQ(await([&](auto done) { uhf().inventory(done); }), kOk);
    EXPECT_EQ(fromStop.load(), ResultCode::inOperation);
    EXPECT_EQ(fromRead.load(), ResultCode::inOperation);
    reader->setOnAction(nullptr);
    EXPECT_EQ(await([&](auto done) { uhf().stop(done); }), kOk);
}

TEST_F(UhfST25RU3993Test, OperationsStartedTogetherRunOneAfterAnother) {
    constexpr int kThreads = 6;
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            if (await([&](auto done) { uhf().stop(done); }) == kOk) ++ok;
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(ok.load(), kThreads);
}

// A driver that never answers its read, so the watchdog must end the read.
class SilentModule : public BaseUhfModule {
  public:
    explicit SilentModule(std::shared_ptr<BaseProtocol> protocol)
        : BaseUhfModule(std::move(protocol), "SilentModule") {
        setModuleType(UhfModuleType::st25ru3993);
        setTimeout(200);
    }
    using BaseUhfModule::readMemory;
    void readMemory(BankType, uint16_t, uint8_t, const std::string&,
                    ValueCompletion<Bytes> completion) override {
        std::lock_guard guard(lock_);
        pending_ = std::move(completion);
    }
    bool hasPending() {
        std::lock_guard guard(lock_);
        return pending_ != nullptr;
    }
    // The kept completion, which the module then forgets (it holds the operation's object).
    ValueCompletion<Bytes> takePending() {
        std::lock_guard guard(lock_);
        return std::exchange(pending_, nullptr);
    }

  private:
    std::mutex lock_;
    ValueCompletion<Bytes> pending_;
};

class SilentUhf : public BaseUhf {
  public:
    SilentUhf(std::weak_ptr<ReaderLink> reader, std::shared_ptr<BaseDevice> device)
        : BaseUhf(std::move(reader), device, device->baseProtocol(), "SilentUhf") {
        uhfModule_ = std::make_shared<SilentModule>(baseProtocol_);
        setSupportedIds({UhfParamId::readMemory});
    }
    bool initModule() override { return true; }
    ResultCode readMemory(BankType bank, unsigned offset, unsigned length,
                          const std::string& password) override {
        auto run = readRun(bank, offset, length, password);
        run.call = [=](BaseUhfModule& driver, auto done) {
            driver.readMemory(bank, static_cast<uint16_t>(offset), static_cast<uint8_t>(length),
                              password,
                              [done](ResultCode c, std::optional<Bytes> d) { done(c, d); });
        };
        run.accessResult = [bank](ResultCode code, const std::optional<Bytes>&) {
            return AccessResultEventArgs({}, {}, ActionState::readMemory, bank, code);
        };
        return runPipeline(std::move(run));
    }
};

TEST_F(UhfST25RU3993Test, ALostDriverAnswerEndsInTimeoutAndFreesTheLock) {
    auto silent = std::make_shared<SilentUhf>(reader, reader->device);
    silent->uhfModule()->setDelegate(std::static_pointer_cast<UhfDelegate>(silent));
    silent->setDelegate(app);
    reader->setUhf(silent);
    const auto driver = std::static_pointer_cast<SilentModule>(silent->uhfModule());
    EXPECT_EQ(silent->readMemory(BankType::user, 0, 1, "00000000"), kOk);
    ASSERT_TRUE(waitUntil([&] { return driver->hasPending(); }));
    // While the read holds the lock, an unsupported operation answers at once.
    ResultCode unsupported = kOk;
    silent->stop([&](ResultCode code) { unsupported = code; });
    EXPECT_EQ(unsupported, ResultCode::notSupported);

    const auto result = nextResult(0);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->resultCode(), ResultCode::timeout);
    EXPECT_EQ(log->count("readMemory(bank:offset:length:password:) - No answer from the module "
                         "within 200 ms"),
              1);
    EXPECT_EQ(reader->state.load(), ActionState::stop);
    // The answer that comes after all is dropped; the lock is free for the next read.
    driver->takePending()(kOk, Bytes{1, 2});
    EXPECT_EQ(log->count("readMemory(bank:offset:length:password:) - Late answer dropped"), 1);
    EXPECT_EQ(silent->readMemory(BankType::user, 0, 1, "00000000"), kOk);
    EXPECT_TRUE(nextResult(1).has_value());
    EXPECT_EQ(app->results().size(), 2u);
    driver->takePending();
}

// ---- The module lock on its own ----------------------------------------------------------------

// A thread that works under lock A and takes part in an operation of lock B (taken and handed
// off here, released here or elsewhere) still works under A: its next call to A is refused at
// once instead of waiting for a release only it can make.
TEST(ModuleLockTest, AnotherLocksOperationLeavesTheThreadsMarkOfTheFirst) {
    for (const bool releasedHere : {true, false}) {
        SCOPED_TRACE(releasedHere ? "B released here" : "B released elsewhere");
        ModuleLock a;
        ModuleLock b;
        std::promise<ModuleLock::Take> again;
        std::thread worker([&] {
            EXPECT_EQ(a.acquire(), ModuleLock::Take::taken);
            a.handOff();
            a.adopt();
            EXPECT_EQ(b.acquire(), ModuleLock::Take::taken);
            b.handOff();
            if (releasedHere) {
                b.release();
            } else {
                std::thread([&] { b.release(); }).join();
            }
            again.set_value(a.acquire());
            EXPECT_TRUE(ModuleLock::worksOnThisThread());
            a.release();
            EXPECT_FALSE(ModuleLock::worksOnThisThread());
        });
        auto future = again.get_future();
        const bool answered =
            future.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
        // A thread left waiting for itself is let go, so that a failure ends; the limit only
        // guards against that hang.
        if (!answered) a.release();
        worker.join();
        ASSERT_TRUE(answered);
        EXPECT_EQ(future.get(), ModuleLock::Take::reentrant);
        EXPECT_FALSE(b.isHeld());
    }
}

// Keeps the texts it gets and counts those that reach it on another thread than the one that
// made it, or on a thread that works under a module lock; logs one record of its own.
class MarkSink : public orvLoggerDelegate {
  public:
    void logEvent(const LogEventArg& record) override {
        if (ModuleLock::worksOnThisThread() || std::this_thread::get_id() != thread_) ++wrong;
        {
            std::lock_guard guard(lock_);
            texts_.push_back(record.log());
        }
        if (record.log() == "first") orvLogger::info("Test", "from the sink");
    }
    std::vector<std::string> texts() const {
        std::lock_guard guard(lock_);
        return texts_;
    }
    std::atomic<int> wrong{0};

  private:
    const std::thread::id thread_ = std::this_thread::get_id();
    mutable std::mutex lock_;
    std::vector<std::string> texts_;
};

// What a thread logs while it works under a module lock reaches the sink on that thread, in order,
// once it lets that lock go and works under none; what the sink logs meanwhile never reaches it.
TEST(ModuleLockTest, RecordsLoggedUnderTheLockReachTheSinkOnceTheThreadLetsItGo) {
    for (const bool release : {true, false}) {
        SCOPED_TRACE(release ? "released" : "handed off");
        const ConsoleOff console;
        const auto sink = std::make_shared<MarkSink>();
        ASSERT_TRUE(orvLogger::registerDelegateIfNone(sink));
        ModuleLock a;
        ModuleLock b;
        ASSERT_EQ(a.acquire(), ModuleLock::Take::taken);
        orvLogger::info("Test", "first");
        // An operation of another lock, started and handed off on this thread.
        ASSERT_EQ(b.acquire(), ModuleLock::Take::taken);
        b.handOff();
        orvLogger::info("Test", "second");
        EXPECT_TRUE(sink->texts().empty());
        if (release) {
            a.release();
        } else {
            a.handOff();
        }
        EXPECT_EQ(sink->texts(), (std::vector<std::string>{"first", "second"}));
        EXPECT_EQ(sink->wrong.load(), 0);
        b.release();
        if (!release) a.release();
    }
}

}  // namespace
}  // namespace orvane::test
