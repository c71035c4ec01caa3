// One argument rule for every driver, checked before anything is sent: an empty completion and
// an invalid bank or empty data are refused with 0x5002, a value outside the module's range
// with 0x4003.

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "orvanerfid/uhfmodules/UhfModuleQm5520.h"
#include "orvanerfid/uhfmodules/UhfModuleST25RU3993.h"
#include "uhfmodules/ModuleTestSupport.h"
#include "uhfmodules/STModuleFake.h"

namespace orvane::test {
namespace {

constexpr auto kBadBank = static_cast<BankType>(7);
constexpr auto kBadSession = static_cast<Session>(0xEE);
constexpr auto kBadTarget = static_cast<Target>(9);
const std::string kPassword = "00000000";

// A driver with nothing of its own: every row is the base's.
class PlainModule : public BaseUhfModule {
  public:
    explicit PlainModule(std::shared_ptr<BaseProtocol> protocol)
        : BaseUhfModule(std::move(protocol), "PlainModule") {}
};

// Each of the three drivers as its creator sets it up, with the count of what it sent.
struct Driver {
    std::string name;
    std::shared_ptr<BaseUhfModule> module;
    std::function<std::size_t()> sent;
};

std::vector<Driver> drivers() {
    auto qmProtocol = std::make_shared<RecordingProtocol>();
    auto qm = std::make_shared<UhfModuleQm5520>(qmProtocol);
    qm->setPowerMinOutput(5);
    qm->setPowerMaxOutput(33);
    auto stProtocol = std::make_shared<STModuleFake>();
    auto plainProtocol = std::make_shared<RecordingProtocol>();
    return {
        {"UhfModuleQm5520", qm, [qmProtocol] { return qmProtocol->sends().size(); }},
        {"UhfModuleST25RU3993", std::make_shared<UhfModuleST25RU3993>(stProtocol),
         [stProtocol] { return stProtocol->calls.size(); }},
        {"PlainModule", std::make_shared<PlainModule>(plainProtocol),
         [plainProtocol] { return plainProtocol->sends().size(); }},
    };
}

// Calls a row with default arguments, its completion empty.
template <typename... A>
void callEmpty(BaseUhfModule& module, void (BaseUhfModule::*row)(A...)) {
    (module.*row)(std::decay_t<A>{}...);
}

struct AsyncRow {
    const char* name;
    void (*call)(BaseUhfModule&);
};

#define ORV_TEST_SYNC_(name, params)
#define ORV_TEST_ASYNC_(name, params)                                                            \
    AsyncRow{#name, [](BaseUhfModule& m) {                                                       \
                 callEmpty(m, static_cast<void(BaseUhfModule::*) params>(&BaseUhfModule::name)); \
             }},
const AsyncRow kAsyncRows[] = {ORV_UHF_MODULE_OPERATIONS(ORV_TEST_SYNC_, ORV_TEST_ASYNC_)};
#undef ORV_TEST_SYNC_
#undef ORV_TEST_ASYNC_

TEST(ArgumentRule, AnEmptyCompletionIsRefusedOnEveryRowOfEveryDriver) {
    auto log = LogCapture::install();
    for (const Driver& driver : drivers()) {
        for (const AsyncRow& row : kAsyncRows) {
            log->clear();
            EXPECT_NO_THROW(row.call(*driver.module)) << driver.name << " " << row.name;
            EXPECT_EQ(driver.sent(), 0u) << driver.name << " " << row.name;
            EXPECT_EQ(
                log->count(std::string(row.name) + "(") + log->count(std::string(row.name) + " - "),
                1)
                << driver.name << " " << row.name;
            EXPECT_EQ(log->count("", LogLevel::error), 1) << driver.name << " " << row.name;
        }
    }
    EXPECT_GT(std::size(kAsyncRows), 60u);  // the table is not empty
}

// The code a row completes (or returns) with.
using Call = std::function<ResultCode(BaseUhfModule&)>;

Call completing(std::function<void(BaseUhfModule&, ResultCompletion)> op) {
    return [op](BaseUhfModule& m) {
        ResultCode code = ResultCode::undefined;
        op(m, [&](ResultCode c) { code = c; });
        return code;
    };
}

Call reading(std::function<void(BaseUhfModule&, ValueCompletion<Bytes>)> op) {
    return [op](BaseUhfModule& m) {
        ResultCode code = ResultCode::undefined;
        op(m, [&](ResultCode c, std::optional<Bytes>) { code = c; });
        return code;
    };
}

TEST(ArgumentRule, ValuesOutsideTheModuleAreRefusedBeforeAnythingIsSent) {
    enum class Only { none, qm, st };
    struct Case {
        const char* what;
        Call call;
        ResultCode code;
        Only only;
    };
    const std::vector<uint32_t> tooMany(256, 902750);
    const Case cases[] = {
        {"power INT_MAX", completing([](auto& m, auto c) { m.setPower(INT_MAX, c); }),
         ResultCode::outOfRange, Only::none},
        {"power above the maximum", completing([](auto& m, auto c) { m.setPower(34, c); }),
         ResultCode::outOfRange, Only::qm},
        {"power below the minimum", completing([](auto& m, auto c) { m.setPower(4, c); }),
         ResultCode::outOfRange, Only::qm},
        {"session 0xEE", completing([](auto& m, auto c) { m.setSession(kBadSession, c); }),
         ResultCode::outOfRange, Only::none},
        {"target 9", completing([](auto& m, auto c) { m.setTarget(kBadTarget, c); }),
         ResultCode::outOfRange, Only::none},
        {"no frequencies", completing([](auto& m, auto c) { m.setFixedFrequency({}, c); }),
         ResultCode::outOfRange, Only::qm},
        {"frequency out of band", completing([](auto& m, auto c) {
             m.setFixedFrequency({902750, 1000}, c);
         }),
         ResultCode::outOfRange, Only::qm},
        {"256 frequencies", completing([&](auto& m, auto c) { m.setFixedFrequency(tooMany, c); }),
         ResultCode::outOfRange, Only::qm},
        {"read of bank 7",
         reading([](auto& m, auto c) { m.readMemory(kBadBank, 0, 2, kPassword, c); }),
         ResultCode::invalidParameter, Only::st},
        {"read of bank 7 (started)",
         [](BaseUhfModule& m) { return m.readMemory(kBadBank, 0, 2, kPassword); },
         ResultCode::invalidParameter, Only::qm},
        {"write to bank 7",
         [](BaseUhfModule& m) { return m.writeMemory(kBadBank, 0, "1234", kPassword); },
         ResultCode::invalidParameter, Only::none},
        {"write of no data",
         [](BaseUhfModule& m) { return m.writeMemory(BankType::epc, 0, "", kPassword); },
         ResultCode::invalidParameter, Only::none},
        {"block write to bank 7",
         [](BaseUhfModule& m) { return m.blockWriteMemory(kBadBank, 0, "1234", kPassword); },
         ResultCode::invalidParameter, Only::qm},
        {"block write of no data",
         [](BaseUhfModule& m) { return m.blockWriteMemory(BankType::user, 0, "", kPassword); },
         ResultCode::invalidParameter, Only::qm},
        {"block permalock of bank 7", completing([](auto& m, auto c) {
             m.blockPermaLock(kPassword, ReadLock::read, kBadBank, 0, 1, {0xFF}, c);
         }),
         ResultCode::invalidParameter, Only::qm},
    };
    auto log = LogCapture::install();
    for (const Driver& driver : drivers()) {
        if (driver.name == "PlainModule") continue;
        const bool st = driver.name == "UhfModuleST25RU3993";
        for (const Case& c : cases) {
            if (c.only == (st ? Only::qm : Only::st)) continue;
            EXPECT_EQ(c.call(*driver.module), c.code) << driver.name << ": " << c.what;
            EXPECT_EQ(driver.sent(), 0u) << driver.name << ": " << c.what;
        }
    }
}

}  // namespace
}  // namespace orvane::test
