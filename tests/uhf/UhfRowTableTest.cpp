// Every completion row of the UHF object's operation list, driven from the list itself against a
// scripted driver: refusals before the lock, refusals during an inventory, driver failures and
// their `_OC` substitutes, a success without a value, and the success records.

#include <gtest/gtest.h>

#include <condition_variable>
#include <tuple>

#include "orvanerfid/uhf/BaseUhf.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"
#include "uhf/UhfRowCalls.h"
#include "uhf/UhfTestSupport.h"

namespace orvane::test {
namespace {

// A driver whose every operation answers `code`, with a default value when `withValue` is set.
// `gate`, while closed, holds an operation inside the driver (and so the module lock).
class ScriptedModule : public BaseUhfModule {
  public:
    ScriptedModule() : BaseUhfModule(nullptr, "ScriptedModule") {
        setModuleType(UhfModuleType::qm5520);
    }
    std::atomic<ResultCode> code{ResultCode::noError};
    std::atomic<bool> withValue{true};
    std::atomic<int> calls{0};

    void closeGate() {
        std::lock_guard guard(lock_);
        open_ = false;
    }
    void openGate() {
        {
            std::lock_guard guard(lock_);
            open_ = true;
        }
        changed_.notify_all();
    }

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define ORV_SCRIPT_SYNC_(name, params) \
    ResultCode name params override {  \
        ++calls;                       \
        return code.load();            \
    }
#define ORV_SCRIPT_ASYNC_(name, params) \
    void name params override {         \
        answer(completion);             \
    }
    ORV_UHF_MODULE_OPERATIONS(ORV_SCRIPT_SYNC_, ORV_SCRIPT_ASYNC_)
#undef ORV_SCRIPT_SYNC_
#undef ORV_SCRIPT_ASYNC_
#pragma GCC diagnostic pop

  private:
    void pass() {
        ++calls;
        std::unique_lock guard(lock_);
        changed_.wait(guard, [&] { return open_; });
    }
    void answer(const ResultCompletion& completion) {
        pass();
        completion(code.load());
    }
    template <typename T>
    void answer(const ValueCompletion<T>& completion) {
        pass();
        completion(code.load(), withValue ? std::optional<T>(T{}) : std::nullopt);
    }

    std::mutex lock_;
    std::condition_variable changed_;
    bool open_ = true;
};

class TableUhf : public BaseUhf {
  public:
    TableUhf(std::weak_ptr<ReaderLink> reader, std::shared_ptr<BaseUhfModule> module,
             std::vector<UhfParamId> ids)
        : BaseUhf(std::move(reader), nullptr, nullptr, "TableUhf") {
        uhfModule_ = std::move(module);
        setSupportedIds(std::move(ids));
    }
    bool initModule() override { return true; }
};

// Rows answered from the driver's fixed limits, without the lock and without module traffic.
bool answeredFromLimits(const std::string& name) {
    return name == "powerRange" || name.rfind("getSelectMaskMaxSize", 0) == 0;
}
bool isSelectMaskRow(const std::string& name) {
    return name.find("SelectMask") != std::string::npos;
}
// Rows that are no setting: inventories and stop.
bool isAction(const std::string& name) {
    return name.rfind("inventory", 0) == 0 || name == "stop";
}

class UhfRowTableTest : public ::testing::Test {
  protected:
    void SetUp() override { log = LogCapture::install(); }

    std::shared_ptr<BaseUhf> makeUhf(std::vector<UhfParamId> ids) {
        return std::make_shared<TableUhf>(reader, module, std::move(ids));
    }
    static std::vector<UhfParamId> everyId() {
        const auto all = allCases<UhfParamId>();
        return {all.begin(), all.end()};
    }
    static bool answered(const Outcome& o) {
        return waitUntil([&] { return o.answers.load() >= 1; });
    }

    std::shared_ptr<LogCapture> log;
    std::shared_ptr<StandInReader> reader = std::make_shared<StandInReader>();
    std::shared_ptr<ScriptedModule> module = std::make_shared<ScriptedModule>();
};

TEST_F(UhfRowTableTest, UnsupportedRowsAnswerAtOnceWhileTheLockIsHeld) {
    auto uhf = makeUhf({});
    // An operation without a support check holds the lock inside the driver.
    module->closeGate();
    auto holder = callRow(*uhf, &BaseUhf::version, "version");
    ASSERT_TRUE(waitUntil([&] { return module->calls.load() == 1; }));
    for (const Row& row : completionRows()) {
        if (!row.id) continue;
        SCOPED_TRACE(row.name);
        log->clear();
        const auto o = row.call(*uhf);
        EXPECT_EQ(o->answers.load(), 1);  // answered before the call returned
        EXPECT_EQ(o->code.load(), ResultCode::notSupported);
        EXPECT_FALSE(o->hasValue.load());
        EXPECT_EQ(log->count(row.signature + " - Not supported", LogLevel::error), 1);
    }
    EXPECT_EQ(module->calls.load(), 1);
    module->openGate();
    ASSERT_TRUE(answered(*holder));
    EXPECT_EQ(holder->code.load(), ResultCode::noError);
}

TEST_F(UhfRowTableTest, DuringAnInventoryEveryRowButTheLimitsAnswersInOperation) {
    auto uhf = makeUhf(everyId());
    reader->state = ActionState::inventory;
    // The stop goes last: the operations after a stop the driver answered wait for the
    // inventory's end, which this reader never reports.
    const std::vector<Row> rows = completionRows();
    const Row* stop = nullptr;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        log->clear();
        if (row.name == "stop") {
            stop = &row;
            continue;
        }
        const auto o = row.call(*uhf);
        EXPECT_EQ(o->answers.load(), 1);
        if (answeredFromLimits(row.name)) {
            EXPECT_EQ(o->code.load(), ResultCode::noError);
            EXPECT_TRUE(o->hasValue.load());
        } else {
            EXPECT_EQ(o->code.load(), ResultCode::inOperation);
            EXPECT_FALSE(o->hasValue.load());
            EXPECT_EQ(log->count(row.signature + " - Assert action failed - In Operation"), 1);
        }
    }
    // The stop needs only a module.
    ASSERT_NE(stop, nullptr);
    EXPECT_TRUE(answered(*stop->call(*uhf)));
    EXPECT_EQ(reader->failures.load(), 0);
}

TEST_F(UhfRowTableTest, ADriverFailureGivesNoValueAndTheTwinsSubstitute) {
    auto uhf = makeUhf(everyId());
    module->code = ResultCode::invalidResponseData;  // answered with a value all the same
    // The select-mask reads of the empty list are refused locally first: their own code, and no
    // link failure.
    for (const Row& row : completionRows()) {
        if (row.name.rfind("getSelectMask", 0) != 0 || answeredFromLimits(row.name)) continue;
        SCOPED_TRACE(row.name);
        log->clear();
        const auto o = row.call(*uhf);
        EXPECT_EQ(o->answers.load(), 1);
        EXPECT_EQ(o->code.load(), ResultCode::notFoundParameter);
        EXPECT_FALSE(o->hasValue.load());
        EXPECT_EQ(log->count(row.signature + " - Result Code: Not Found Parameter"), 1);
    }
    EXPECT_EQ(reader->failures.load(), 0);
    for (const Row& row : completionRows()) {
        if (row.name.rfind("getSelectMask", 0) == 0 && !answeredFromLimits(row.name)) continue;
        SCOPED_TRACE(row.name);
        const auto o = row.call(*uhf);
        ASSERT_TRUE(answered(*o));
        if (answeredFromLimits(row.name)) {
            EXPECT_EQ(o->code.load(), ResultCode::noError);
            continue;
        }
        EXPECT_FALSE(o->hasValue.load());
        // (The user-data inventory refuses its empty password first; a select-mask write
        // reports the failed application of the list.)
        if (row.name != "inventoryWithUserSpecifiedDataOperation") {
            EXPECT_EQ(o->code.load(), ResultCode::invalidResponseData);
        }
    }
    EXPECT_GE(reader->failures.load(), 4);
}

TEST_F(UhfRowTableTest, SuccessRecordsAndASuccessWithoutAValue) {
    auto uhf = makeUhf(everyId());
    for (const Row& row : completionRows()) {
        if (answeredFromLimits(row.name) || isSelectMaskRow(row.name) || isAction(row.name)) {
            continue;
        }
        SCOPED_TRACE(row.name);
        log->clear();
        const auto o = row.call(*uhf);
        ASSERT_TRUE(answered(*o));
        EXPECT_EQ(o->code.load(), ResultCode::noError);
        if (o->isGetter) {
            EXPECT_TRUE(o->hasValue.load());
            const std::string prefix = row.name == "getRfidConfig" ? " - RFIDConfig: " : " - ";
            EXPECT_EQ(log->count(row.signature + prefix + "Optional(", LogLevel::info), 1);
        } else if (!o->isTwin) {
            EXPECT_EQ(log->count(row.signature, LogLevel::info), 1);
        }
    }
    const std::vector<std::pair<std::function<void()>, std::string>> records = {
        {[&] { uhf->getPower(nullptr); }, "getPower(completion:) - Optional(0)"},
        {[&] { uhf->getGlobalBand(nullptr); },
         "getGlobalBand(completion:) - Optional(\"Unknown\")"},
        {[&] { uhf->version(nullptr); }, "version(completion:) - Optional(\"\")"},
        {[&] { uhf->setTari(TariType::tari12_5, nullptr); },
         "setTari(tari:completion:) - 12.5 microseconds"},
        {[&] {
             uhf->setFixedFrequency({902750, 915250}, nullptr);
         },
         "setFixedFrequency(fixedFrequency:completion:) - [902750, 915250]"},
        {[&] { uhf->setDwellTime(1000, nullptr); }, "setDwellTime(dwellTime:completion:) - 1000"},
        {[&] { uhf->setLbtConfigure(-60, nullptr); },
         "setLbtConfigure(lbtRssiThreshold:completion:) - -60"},
        {[&] { uhf->cwOff(nullptr); }, "cwOff(completion:)"},
        {[&] { uhf->cwOn(1, 30, 915250, nullptr); },
         "cwOn(antennaId:power:frequency:completion:) - 1, 30, 915250"},
    };
    for (const auto& [call, text] : records) {
        log->clear();
        call();
        EXPECT_TRUE(waitUntil([&] { return log->texts("TableUhf").size() == 1; })) << text;
        EXPECT_EQ(log->texts("TableUhf"), std::vector<std::string>{text});
    }

    // A module that reports success without a value: every value getter answers 0x5000.
    module->withValue = false;
    for (const Row& row : completionRows()) {
        if (answeredFromLimits(row.name) || isSelectMaskRow(row.name)) continue;
        const auto o = row.call(*uhf);
        ASSERT_TRUE(answered(*o));
        if (!o->isGetter && !o->isTwin) continue;
        SCOPED_TRACE(row.name);
        EXPECT_EQ(o->code.load(), ResultCode::invalidResponse);
        EXPECT_FALSE(o->hasValue.load());
    }
}

TEST_F(UhfRowTableTest, ArgumentsCheckedBeforeAnythingIsSent) {
    auto uhf = makeUhf(everyId());
    module->closeGate();
    auto holder = callRow(*uhf, &BaseUhf::version, "version");
    ASSERT_TRUE(waitUntil([&] { return module->calls.load() == 1; }));
    // The LBT threshold is refused before the lock, so the held lock does not delay the answer.
    for (const int16_t threshold : {int16_t{1}, int16_t{80}, int16_t{-81}}) {
        auto code = std::make_shared<std::atomic<int>>(-1);
        uhf->setLbtConfigure(threshold, [code](ResultCode c) { *code = static_cast<int>(c); });
        EXPECT_EQ(*code, static_cast<int>(ResultCode::outOfRange)) << threshold;
        EXPECT_EQ(log->count("setLbtConfigure(lbtRssiThreshold:completion:) - Invalid LBT RSSI "
                             "threshold value(0-80): " +
                             std::to_string(threshold)),
                  1);
    }
    module->openGate();
    ASSERT_TRUE(answered(*holder));

    const auto refused = [&](const std::function<void(UhfResultCompletion)>& call) {
        auto code = std::make_shared<std::atomic<int>>(-1);
        call([code](ResultCode c) { *code = static_cast<int>(c); });
        return static_cast<ResultCode>(code->load());
    };
    const int sent = module->calls.load();
    const std::vector<uint8_t> mask{0xFF};
    log->clear();
    EXPECT_EQ(refused([&](auto done) {
                  uhf->blockPermaLock("XYZ12345", ReadLock::lock, BankType::user, 0, 1, mask, done);
              }),
              ResultCode::invalidPassword);
    EXPECT_EQ(refused([&](auto done) {
                  uhf->blockPermaLock("123", ReadLock::lock, BankType::user, 0, 1, mask, done);
              }),
              ResultCode::invalidPassword);
    EXPECT_EQ(refused([&](auto done) {
                  uhf->blockPermaLock("", static_cast<ReadLock>(7), BankType::user, 0, 1, mask,
                                      done);
              }),
              ResultCode::invalidParameter);
    EXPECT_EQ(refused([&](auto done) {
                  uhf->authenticate("00000000", AuthenticationResponse::send,
                                    static_cast<IncludeReplyLength>(2), 0, 0, {}, 0, done);
              }),
              ResultCode::invalidParameter);
    EXPECT_EQ(
        refused([&](auto done) { uhf->setCfgStorageMode(static_cast<CfgStorageMode>(5), done); }),
        ResultCode::outOfRange);
    EXPECT_EQ(module->calls.load(), sent);
    EXPECT_EQ(log->count("blockPermaLock(password:readLock:bankType:offset:length:mask:"
                         "completion:) - Invalid password(********)"),
              2);

    // The default and the empty password reach the module; neither is logged.
    log->clear();
    auto ok = std::make_shared<std::atomic<int>>(0);
    uhf->blockPermaLock("6B1F0D94", ReadLock::read, BankType::user, 0, 1, mask,
                        [ok](ResultCode c) { *ok += c == ResultCode::noError; });
    uhf->authenticate("", AuthenticationResponse::store, IncludeReplyLength::omit, 0, 0, {}, 0,
                      [ok](ResultCode c) { *ok += c == ResultCode::noError; });
    EXPECT_TRUE(waitUntil([&] { return ok->load() == 2; }));
    for (const auto& text : log->texts("TableUhf")) {
        EXPECT_EQ(text.find("6B1F0D94"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace orvane::test
