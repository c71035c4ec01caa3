#include <gtest/gtest.h>

#include <memory>

#include "ModuleTestSupport.h"
#include "STModuleFake.h"
#include "link/Vk210TestSupport.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

using test::codeOf;
using test::LogCapture;
using test::STModuleFake;

constexpr ResultCode kOk = ResultCode::noError;

class RadioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        orvLogger::setLevel(LogLevel::trace);
        log = LogCapture::install();
        log->clear();
        fake->setDelegate(device);
    }
    void firmware(const std::string& version) {
        driver.pumpEvent(ProtocolEventId::firmwareVersion, version);
    }

    template <class T>
    std::pair<ResultCode, std::optional<T>> get(
        void (UhfModuleST25RU3993::*op)(ValueCompletion<T>)) {
        std::pair<ResultCode, std::optional<T>> out{ResultCode::undefined, std::nullopt};
        int calls = 0;
        (driver.*op)([&](ResultCode code, std::optional<T> value) {
            out = {code, std::move(value)};
            ++calls;
        });
        EXPECT_EQ(calls, 1);
        return out;
    }
    template <class F>
    ResultCode set(F&& op) {
        ResultCode out = ResultCode::undefined;
        int calls = 0;
        op([&](ResultCode code) {
            out = code;
            ++calls;
        });
        EXPECT_EQ(calls, 1);
        return out;
    }
    STUHFL_T_ST25RU3993_Gen2_InventoryCfg moduleInventoryCfg() {
        return STUHFL_T_ST25RU3993_Gen2_InventoryCfg(
            sttest::tlvReply(1, 0, 0x10, fake->records[0x10]));
    }
    void setModuleInventoryCfg(const STUHFL_T_ST25RU3993_Gen2_InventoryCfg& cfg) {
        fake->records[0x10] = cfg.valueBytes();
    }

    std::shared_ptr<LogCapture> log;
    std::shared_ptr<STModuleFake> fake = std::make_shared<STModuleFake>();
    std::shared_ptr<test::EventRecorder> device = std::make_shared<test::EventRecorder>();
    UhfModuleST25RU3993 driver{fake};
};

// ---- Wire rules

TEST(ST25RU3993Rules, GainFromRegisters) {
    EXPECT_EQ(gainFromRegisters(0x24, 0x62), 75.0);  // 62 + 3 + 10
    EXPECT_EQ(gainFromRegisters(0x24, 0x03), 0.0);
    EXPECT_EQ(gainFromRegisters(0x07, 0xC1), 64.0 - 9 - 8);  // bit 5 clear: negative
    EXPECT_EQ(gainFromRegisters(0x90, 0x00), 61.0);
    EXPECT_EQ(gainFromRegisters(0x55, 0x20), 60.0);
}

TEST(ST25RU3993Rules, ModuleStatusAndTagReply) {
    // The two halves of the rule have their own tests; these are the composition's vectors.
    const std::pair<int16_t, ResultCode> table[] = {
        {0, kOk},
        {-72, ResultCode::memoryOverrun},
        {-73, ResultCode::memoryLocked},
        {-1, ResultCode::notSupported},
        {1, ResultCode::undefined},
        {-80, ResultCode::otherError},
        {5, ResultCode::otherError},
    };
    for (const auto& [status, code] : table) {
        EXPECT_EQ(moduleStatusResult(static_cast<uint16_t>(status)), code) << status;
    }
    EXPECT_EQ(tagAccessResult(static_cast<uint16_t>(-1), 4), ResultCode::memoryLocked);
    EXPECT_EQ(tagAccessResult(static_cast<uint16_t>(-1), 3), ResultCode::memoryOverrun);
    EXPECT_EQ(tagAccessResult(static_cast<uint16_t>(-1), 0), ResultCode::notSupported);
    EXPECT_EQ(tagAccessResult(0, 4), kOk);
}

TEST_F(RadioTest, ToSTPacketsKeepsWholePackets) {
    Bytes bytes = sttest::packet(1, 0, {1, 2, 3, 4, 5});
    const Bytes next = sttest::packet(1, 0, {1, 2, 3, 4});
    bytes.insert(bytes.end(), next.begin(), next.begin() + 12);
    const auto pieces = toSTPackets(bytes);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].size(), 15u);
    EXPECT_EQ(log->count("toSTPackets error: byteQueue.count < packetSize", LogLevel::error), 1);

    EXPECT_TRUE(toSTPackets(Bytes(7, 0x80)).empty());
    EXPECT_EQ(log->count("toSTPackets error: byteQueue.count < STPacket.minLength"), 1);
}

TEST(ST25RU3993Rules, BandListBySkuAndFirmware) {
    using G = GlobalBandType;
    EXPECT_EQ(st25ru3993BandList(SkuType::us, 10111),
              (std::vector<G>{G::usa, G::china, G::taiwan, G::australia, G::singapore}));
    EXPECT_EQ(st25ru3993BandList(SkuType::us, 10108),
              (std::vector<G>{G::usa, G::china, G::taiwan}));
    EXPECT_EQ(st25ru3993BandList(SkuType::us, 10113).back(), G::brazil);
    EXPECT_EQ(st25ru3993BandList(SkuType::japanese, 10106), (std::vector<G>{G::japan}));
    EXPECT_EQ(st25ru3993BandList(SkuType::japanese, 10107),
              (std::vector<G>{G::japan, G::japan250mW}));
    EXPECT_TRUE(st25ru3993BandList(SkuType::unknown, 10113).empty());
    EXPECT_TRUE(st25ru3993BandList(SkuType::usAndJapanese, 10113).empty());
}

TEST(ST25RU3993Rules, EpcPatternRewrite) {
    SelectMaskParam entry(true, MaskTarget::sl, MaskAction::matchAssertElseDeassert, BankType::epc,
                          0, MaskPattern("111122223333444455556666", 96));
    EXPECT_EQ(rewriteSelectPattern(entry, 3, "ABCD"), "1111ABCD3333444455556666");
    EXPECT_EQ(rewriteSelectPattern(entry, 8, "ABCD"), std::nullopt);  // beyond the pattern
    EXPECT_EQ(rewriteSelectPattern(entry, 1, "ABCD"), std::nullopt);  // PC word
    // A mask that starts one word into the EPC: word 3 is its first word.
    entry.setOffset(16);
    EXPECT_EQ(rewriteSelectPattern(entry, 3, "ABCD"), "ABCD22223333444455556666");
    // Not on a nibble: the bits are overlaid one by one.
    entry.setOffset(2);
    entry.setMaskPattern(MaskPattern("0000", 16));
    EXPECT_EQ(rewriteSelectPattern(entry, 2, "FFFF"), "FFFC");
    entry.setBank(BankType::user);
    EXPECT_EQ(rewriteSelectPattern(entry, 2, "FFFF"), std::nullopt);
}

// ---- Exchanges

TEST_F(RadioTest, GainReadAndItsFailures) {
    EXPECT_EQ(driver.getG_rssi(), 75.0);
    ASSERT_EQ(fake->calls.size(), 1u);
    EXPECT_EQ(fake->calls[0].number, 2);
    fake->next(sttest::tlvReply(1, 0, 1, {0x0A, 0x62}));
    EXPECT_EQ(driver.getG_rssi(), 0.0);
    EXPECT_EQ(log->count("getG_rssi() - Response packet number is invalid(1)."), 1);
}

TEST_F(RadioTest, InventoryPumpsGainThenStarts) {
    EXPECT_EQ(driver.inventory(), kOk);
    EXPECT_EQ(fake->pumped,
              (std::vector{ProtocolEventId::resetIndicator, ProtocolEventId::gValue}));
    EXPECT_EQ(fake->gValue, 75.0);
    EXPECT_EQ(fake->kinds(),
              (std::vector<std::pair<int, int>>{{2, 4}, {1, 0}, {1, 0}, {1, 1}, {3, 0}}));
    const STUHFL_T_Gen2_Inventory start(sttest::packet(3, 0, fake->sent()[4].payload()));
    EXPECT_EQ(start.roundCnt, 0u);  // continuous
    EXPECT_EQ(start.options, STUHFL_D_INVENTORYREPORT_OPTION::EACHROUND);

    // A failed gain read keeps the last good gain and says so.
    fake->pumped.clear();
    fake->registers[0x0A] = 0x00;
    fake->nextFromModel();
    fake->nextFailure(ResultCode::timeout);
    driver.setContinuousMode(false, [](ResultCode) {});
    EXPECT_EQ(driver.inventory(), kOk);
    EXPECT_EQ(fake->gValue, 75.0);
    EXPECT_EQ(log->count("inventory() - Failed to read the receiver gain, keeping the last good "
                         "value 75.0",
                         LogLevel::warn),
              1);
}

TEST_F(RadioTest, InventoryWithoutAnyGainDoesNotStart) {
    fake->nextFromModel();
    fake->nextFailure(ResultCode::timeout);
    EXPECT_EQ(driver.inventory(), ResultCode::invalidResponse);
    EXPECT_TRUE(fake->pumped.empty());
    EXPECT_EQ(fake->calls.size(), 2u);
    fake->failures[{2, 4}] = {static_cast<uint16_t>(-2), 0};
    EXPECT_EQ(driver.inventory(), ResultCode::busyDevice);
    EXPECT_EQ(log->count("inventory() - Failed to set select mask"), 1);
}

TEST_F(RadioTest, ReadLimitsAndStatus) {
    std::vector<ResultCode> codes;
    const auto done = [&](ResultCode c, std::optional<Bytes>) { codes.push_back(c); };
    firmware("1.1.13");
    driver.readMemory(BankType::user, 0, 65, "00000000", done);
    firmware("1.1.10");
    EXPECT_EQ(driver.firmwareVersion(), 10110u);
    driver.readMemory(BankType::user, 0, 33, "00000000", done);
    EXPECT_TRUE(fake->calls.empty());
    fake->memory = Bytes(66, 0xA5);
    std::optional<Bytes> data;
    firmware("1.1.11");
    driver.readMemory(BankType::user, 0, 33, "00000000", [&](ResultCode c, std::optional<Bytes> d) {
        codes.push_back(c);
        data = d;
    });
    EXPECT_EQ(fake->calls.back().number, 3);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->size(), 66u);
    fake->failures[{2, 5}] = {5, 0};
    driver.readMemory(BankType::user, 0, 2, "00000000", done);
    driver.readMemory(BankType::user, 0, 2, "0000", done);
    EXPECT_EQ(codes, (std::vector{ResultCode::outOfRange, ResultCode::outOfRange, kOk,
                                  ResultCode::otherError, ResultCode::invalidParameter}));
}

TEST_F(RadioTest, WriteGoesWordByWord) {
    EXPECT_EQ(driver.writeMemory(BankType::user, 4, "ABCD1234", "00000000"), kOk);
    const auto sent = fake->sent();
    ASSERT_EQ(sent.size(), 5u);  // select, normal, two words, standby
    EXPECT_EQ(STUHFL_T_Gen2_Write(sttest::packet(2, 6, sent[2].payload())).wordPtr, 4u);
    EXPECT_EQ(STUHFL_T_Gen2_Write(sttest::packet(2, 6, sent[3].payload())).wordPtr, 5u);
    EXPECT_EQ(sent[4].payload(), (Bytes{0x02, 0x02, 0x00, 0x03}));
    EXPECT_EQ(driver.writeMemory(BankType::user, 4, "ABC", "00000000"),
              ResultCode::invalidParameter);
}

// The words after the access password are written with the password the tag now holds.
TEST_F(RadioTest, WriteTracksTheAccessPassword) {
    const auto passwords = [&] {
        std::vector<std::string> out;
        for (const STPacket& p : fake->sent()) {
            if (p.cmdGroup() == 2 && p.cmdSubcode() == 6) {
                out.push_back(
                    toHexString(STUHFL_T_Gen2_Write(sttest::packet(2, 6, p.payload())).pwd()));
            }
        }
        fake->calls.clear();
        return out;
    };
    EXPECT_EQ(driver.writeMemory(BankType::reserved, 0, "00000000AAAABBBB", "11112222"), kOk);
    EXPECT_EQ(passwords(),
              (std::vector<std::string>{"11112222", "11112222", "11112222", "AAAA2222"}));
    // The access password alone, from word 2: the second half goes with the new first half.
    EXPECT_EQ(driver.writeMemory(BankType::reserved, 2, "AAAABBBB", "11112222"), kOk);
    EXPECT_EQ(passwords(), (std::vector<std::string>{"11112222", "AAAA2222"}));
    EXPECT_EQ(log->count("writeMemory(bank:offset:data:password:) - Going to write ****"), 6);
    EXPECT_EQ(log->count("writeMemory(bank:offset:data:password:) - Going to write AAAA"), 0);
}

TEST_F(RadioTest, WriteStopsAtTagErrorsAndReselectsEpc) {
    driver.setSelectMaskPattern(0, MaskPattern("FFFFFFFF", 32));
    driver.setSelectMaskEnabled(0, true);
    fake->calls.clear();
    EXPECT_EQ(driver.writeMemory(BankType::epc, 2, "ABCDEFAB", "00000000"), kOk);
    EXPECT_EQ(driver.getSelectMaskPattern(0).pattern(), "ABCDEFAB");
    EXPECT_EQ(log->count("changeSelectEPC(offset:data:) - Old EPC: FFFFFFFF, New EPC: ABCDFFFF"),
              1);
    // The list goes out before the write and again after each word.
    const auto kinds = fake->kinds();
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), std::pair<int, int>{2, 4}), 3);

    fake->failures[{2, 6}] = {static_cast<uint16_t>(-1), 3};
    EXPECT_EQ(driver.writeMemory(BankType::user, 0, "ABCDEFAB", "00000000"),
              ResultCode::memoryOverrun);
    fake->failures[{2, 4}] = {static_cast<uint16_t>(-2), 0};
    EXPECT_EQ(driver.writeMemory(BankType::user, 0, "ABCD", "00000000"), ResultCode::busyDevice);
    EXPECT_EQ(log->count("writeMemory(bank:offset:data:password:) - Failed to set select mask"), 1);
}

TEST_F(RadioTest, LockAndKillResults) {
    const LockParam lock(LockState::noChange, LockState::lock, LockState::noChange,
                         LockState::noChange, LockState::noChange);
    fake->failures[{2, 7}] = {static_cast<uint16_t>(-1), 4};
    EXPECT_EQ(driver.lockTag(lock, "00000000"), ResultCode::memoryLocked);
    EXPECT_EQ(fake->kinds().back(), (std::pair<int, int>{1, 1}));  // standby after a failure
    EXPECT_EQ(STUHFL_T_Gen2_Lock(sttest::packet(2, 7, fake->sent()[2].payload())).mask(),
              lock.toMask());
    EXPECT_EQ(driver.permaLockTag(PermaLockParam(), "0000000G"), ResultCode::invalidParameter);

    fake->failures[{2, 8}] = {static_cast<uint16_t>(-72), 0};
    EXPECT_EQ(driver.killTag("12345678"), ResultCode::memoryOverrun);
    EXPECT_EQ(fake->calls.back().number, 3);
    // No kill reply among the pieces: nothing says the tag is gone.
    fake->nextFromModel();
    fake->next(sttest::tlvReply(1, 1, 2, {0x00, 0x01}));
    EXPECT_EQ(driver.killTag("12345678"), ResultCode::invalidResponse);
    EXPECT_EQ(log->count("killTag(password:) - No kill reply"), 1);
}

TEST_F(RadioTest, StopRetriesThenGivesUp) {
    const auto stopped = [&] { return device->events().size(); };
    firmware("1.1.8");
    EXPECT_EQ(driver.stop(), kOk);
    EXPECT_EQ(stopped(), 1u);
    EXPECT_EQ(device->events()[0].id(), ProtocolEventId::actionChanged);
    EXPECT_EQ(fake->kinds(), (std::vector<std::pair<int, int>>{{3, 1}, {1, 1}}));
    fake->calls.clear();
    for (int i = 0; i < 3; ++i)
        fake->nextFailure(ResultCode::timeout);
    firmware("1.1.9");
    EXPECT_EQ(driver.stop(), ResultCode::operationFailed);
    EXPECT_EQ(stopped(), 1u);
    ASSERT_EQ(fake->calls.size(), 3u);
    EXPECT_EQ(fake->calls[0].packets.size(), 3u);  // with the display clear
    for (const char* n : {"1", "2", "3"})
        EXPECT_EQ(log->count(std::string("stop() Retry: ") + n, LogLevel::trace), 1);
    EXPECT_EQ(log->count("Stop command failed after 3 retries", LogLevel::error), 1);
}

// A stop whose first try fails while its link ends and the next link comes up: it is not tried
// again on that next link (whose reader would then report the ended link's Stop), and reports
// no Stop; a stop whose link stays is retried as before.
TEST(STStopLinkTest, AStopIsNotRetriedOnALaterLink) {
    orvLogger::setLevel(LogLevel::trace);
    for (const bool linkEnds : {true, false}) {
        SCOPED_TRACE(linkEnds ? "the link ends" : "the link stays");
        auto transport = std::make_shared<test::FeedTransport>();
        auto fake = std::make_shared<STModuleFake>(transport);
        auto device = std::make_shared<test::EventRecorder>();
        fake->setDelegate(device);
        UhfModuleST25RU3993 driver{fake};
        fake->nextFailure(ResultCode::timeout);
        // The first try's link ends, and the next one is up, before its failure is answered.
        fake->onSend = [transport, linkEnds, sends = 0]() mutable {
            if (++sends > 1 || !linkEnds) return;
            transport->disconnect();
            transport->connect();
        };
        EXPECT_EQ(driver.stop(), linkEnds ? ResultCode::connectFailed : kOk);
        EXPECT_EQ(fake->calls.size(), linkEnds ? 1u : 2u);
        EXPECT_EQ(device->events().size(), linkEnds ? 0u : 1u);
    }
}

TEST_F(RadioTest, SelectListAndClear) {
    EXPECT_EQ(driver.setSelectMask(), kOk);
    ASSERT_EQ(fake->sent().size(), 1u);
    EXPECT_EQ(fake->sent()[0].payload()[2], 0);  // CLEAR_LIST
    driver.setSelectMaskPattern(0, MaskPattern("ABCD", 16));
    driver.setSelectMaskOffset(0, 8);
    driver.setSelectMaskEnabled(0, true);
    driver.setSelectMaskPattern(2, MaskPattern("ABCD", 16));
    driver.setSelectMaskBank(2, BankType::tid);
    driver.setSelectMaskOffset(2, 8);
    driver.setSelectMaskEnabled(2, true);
    fake->calls.clear();
    EXPECT_EQ(driver.setSelectMask(), kOk);
    const auto sent = fake->sent();
    ASSERT_EQ(sent.size(), 2u);
    const STUHFL_T_Gen2_Select first(sttest::packet(2, 4, sent[0].payload()));
    const STUHFL_T_Gen2_Select second(sttest::packet(2, 4, sent[1].payload()));
    EXPECT_EQ(first.mode, STUHFL_D_GEN2_SELECT_MODE::CLEAR_AND_ADD);
    EXPECT_EQ(first.maskBitPointer, 40u);
    EXPECT_EQ(second.mode, STUHFL_D_GEN2_SELECT_MODE::ADD2LIST);
    EXPECT_EQ(second.maskBitPointer, 8u);
    // Patterns are checked before anything is stored or sent.
    fake->calls.clear();
    EXPECT_EQ(codeOf([&] { driver.setSelectMaskPattern(0, MaskPattern("ABCD", 17)); }),
              ResultCode::outOfRange);
    EXPECT_EQ(codeOf([&] { driver.setSelectMaskPattern(0, MaskPattern("XYZ1", 16)); }),
              ResultCode::invalidParameter);
    EXPECT_EQ(codeOf([&] { driver.setSelectMaskPattern(0, MaskPattern(std::string(66, 'A'), 8)); }),
              ResultCode::invalidParameter);
    EXPECT_TRUE(fake->calls.empty());
    EXPECT_EQ(driver.getSelectMaskPattern(0).length(), 16u);
}

// ---- Radio settings

TEST_F(RadioTest, PowerAlwaysWritesWithinRange) {
    EXPECT_EQ(set([&](auto done) { driver.setPower(11, done); }), kOk);
    EXPECT_EQ(static_cast<int8_t>(fake->records[0x0E][0]), -19);
    EXPECT_EQ(set([&](auto done) { driver.setPower(27, done); }), kOk);
    EXPECT_EQ(static_cast<int8_t>(fake->records[0x0E][0]), -3);
    EXPECT_EQ(set([&](auto done) { driver.setPower(27, done); }), kOk);
    EXPECT_EQ(fake->setsOf(0x0E), 3u);
    const std::size_t calls = fake->calls.size();
    log->clear();
    EXPECT_EQ(set([&](auto done) { driver.setPower(10, done); }), ResultCode::outOfRange);
    EXPECT_EQ(set([&](auto done) { driver.setPower(28, done); }), ResultCode::outOfRange);
    EXPECT_EQ(fake->calls.size(), calls);
    EXPECT_TRUE(log->texts("UhfModuleST25RU3993").empty());
    EXPECT_EQ(set([&](auto done) { driver.setPower(17, done); }), kOk);
    EXPECT_EQ(get(&UhfModuleST25RU3993::getPower).second, 17);
}

TEST_F(RadioTest, SettersSkipUnchangedWrites) {
    EXPECT_EQ(set([&](auto done) { driver.setInventoryTime(400, done); }), kOk);  // in force
    EXPECT_EQ(fake->calls.size(), 1u);
    EXPECT_EQ(set([&](auto done) { driver.setInventoryTime(40, done); }), kOk);
    EXPECT_EQ(set([&](auto done) { driver.setInventoryTime(501, done); }), ResultCode::outOfRange);
    EXPECT_EQ(log->count("setInventoryTime(inventoryTime:completion:) - Inventory time is out of "
                         "range (40 - 500)"),
              1);
    EXPECT_EQ(fake->setsOf(0x09), 1u);
    EXPECT_EQ(get(&UhfModuleST25RU3993::getInventoryTime).second, 40);

    EXPECT_EQ(set([&](auto done) { driver.setTari(TariType::tari6_25, done); }), kOk);
    EXPECT_EQ(set([&](auto done) { driver.setBlf(BlfType::blf320, done); }), kOk);
    EXPECT_EQ(fake->setsOf(0x0C), 1u);
    EXPECT_EQ(get(&UhfModuleST25RU3993::getBlf).second, BlfType::blf320);

    EXPECT_EQ(set([&](auto done) { driver.setIdleTime(500, done); }), kOk);
    EXPECT_EQ(set([&](auto done) { driver.setIdleTime(501, done); }), ResultCode::outOfRange);
    EXPECT_EQ(get(&UhfModuleST25RU3993::getIdleTime).second, 500);
    EXPECT_EQ(set([&](auto done) { driver.setSession(Session::s4, done); }),
              ResultCode::notSupported);
}

TEST_F(RadioTest, QChecksUseTheModuleValues) {
    auto cfg = moduleInventoryCfg();
    cfg.antiCollision.minQ = 2;
    cfg.antiCollision.startQ = 4;
    cfg.antiCollision.maxQ = 10;
    setModuleInventoryCfg(cfg);
    const auto setQ = [&](void (UhfModuleST25RU3993::*op)(int, ResultCompletion), int q) {
        return set([&](auto done) { (driver.*op)(q, done); });
    };
    EXPECT_EQ(setQ(&UhfModuleST25RU3993::setStartQ, 11), ResultCode::outOfRange);
    EXPECT_EQ(log->count("setStartQ(startQ:completion:) - The start Q is out of range (2 - 10)."),
              1);
    EXPECT_EQ(setQ(&UhfModuleST25RU3993::setMaxQ, 16), ResultCode::outOfRange);
    EXPECT_EQ(log->count("setMaxQ(maxQ:completion:) - The max Q is out of range (15 - 4)."), 1);
    EXPECT_EQ(setQ(&UhfModuleST25RU3993::setMinQ, -1), ResultCode::outOfRange);
    EXPECT_EQ(setQ(&UhfModuleST25RU3993::setMinQ, 5), ResultCode::outOfRange);
    EXPECT_EQ(log->count("setMinQ(minQ:completion:) - The min Q is out of range (4 - 0)."), 2);
    EXPECT_EQ(fake->setsOf(0x10), 0u);
    EXPECT_EQ(setQ(&UhfModuleST25RU3993::setStartQ, 10), kOk);
    EXPECT_EQ(setQ(&UhfModuleST25RU3993::setMinQ, 10), kOk);
    EXPECT_EQ(fake->setsOf(0x10), 2u);
    EXPECT_EQ(get(&UhfModuleST25RU3993::getMinQ).second, 10);
}

TEST_F(RadioTest, SelectModeOfAnInvalidSel) {
    auto cfg = moduleInventoryCfg();
    cfg.queryParams.sel = 3;
    setModuleInventoryCfg(cfg);
    EXPECT_EQ(get(&UhfModuleST25RU3993::getSelectMode).first, ResultCode::invalidResponse);
    EXPECT_EQ(log->count("getSelectMode(completion:) - sel value 3 is invalid"), 1);
    const auto config = get(&UhfModuleST25RU3993::getRfidConfig);
    EXPECT_EQ(config.first, kOk);
    EXPECT_EQ(config.second->selectMode, SelectMode::all);
    // "All" is not in force while sel is 3: the valid value is written.
    EXPECT_EQ(set([&](auto done) { driver.setSelectMode(SelectMode::all, done); }), kOk);
    EXPECT_EQ(moduleInventoryCfg().queryParams.sel, 0);
    EXPECT_EQ(set([&](auto done) { driver.setSelectMode(SelectMode::all, done); }), kOk);
    EXPECT_EQ(fake->setsOf(0x10), 1u);
}

TEST_F(RadioTest, BandAndListenBeforeTalk) {
    const auto lbt = [&] {
        return STUHFL_T_ST25RU3993_FreqLBT(sttest::tlvReply(1, 0, 0x0A, fake->records[0x0A]));
    };
    fake->records[0x08][0] = 7;  // skip check on (the default)
    EXPECT_EQ(get(&UhfModuleST25RU3993::getGlobalBand).second, GlobalBandType::japan250mW);
    EXPECT_EQ(lbt().listeningTime, 5);
    EXPECT_EQ(lbt().rssiLongThreshold, 4);
    EXPECT_FALSE(lbt().skipLBTcheck);
    EXPECT_EQ(get(&UhfModuleST25RU3993::getGlobalBand).second, GlobalBandType::japan250mW);
    EXPECT_EQ(fake->setsOf(0x0A), 1u);
    fake->records[0x08][0] = 2;
    EXPECT_EQ(get(&UhfModuleST25RU3993::getGlobalBand).second, GlobalBandType::usa);
    EXPECT_TRUE(lbt().skipLBTcheck);
    fake->records[0x08][0] = 4;  // no band
    EXPECT_EQ(get(&UhfModuleST25RU3993::getGlobalBand).first, ResultCode::invalidResponse);

    driver.setSkuType(SkuType::japanese);
    firmware("1.1.7");
    EXPECT_EQ(set([&](auto d) { driver.setGlobalBand(GlobalBandType::usa, d); }),
              ResultCode::notSupported);
    EXPECT_EQ(log->count("setGlobalBand(band:completion:) - Does not support USA"), 1);
    // Band 7 is never in force without the check: a failed check write leaves the band as it was.
    fake->failures[{1, 1}] = {static_cast<uint16_t>(-2), 0};
    EXPECT_EQ(set([&](auto d) { driver.setGlobalBand(GlobalBandType::japan250mW, d); }),
              ResultCode::busyDevice);
    EXPECT_EQ(fake->setsOf(0x06), 0u);
    fake->failures.clear();
    EXPECT_EQ(set([&](auto d) { driver.setGlobalBand(GlobalBandType::japan250mW, d); }), kOk);
    EXPECT_EQ(fake->records[0x08][0], 7);
    EXPECT_FALSE(lbt().skipLBTcheck);
}

TEST_F(RadioTest, RfidConfigReadsFourRecordsInOneExchange) {
    auto [code, config] = get(&UhfModuleST25RU3993::getRfidConfig);
    ASSERT_EQ(code, kOk);
    EXPECT_EQ(fake->calls.back().number, 4);
    EXPECT_EQ(config->power, 28);  // the record's default level -2
    EXPECT_EQ(config->inventoryTime, 400);
    EXPECT_EQ(config->encoding, Encoding::m8);

    fake->next(sttest::tlvReply(1, 0, 0x0E, fake->records[0x0E]));
    EXPECT_EQ(get(&UhfModuleST25RU3993::getRfidConfig).first, ResultCode::invalidResponse);
    EXPECT_EQ(log->count("getRfidConfig(completion:) - Invalid number of packets received: [18]"),
              1);

    Bytes twice;
    for (uint8_t tag : {0x10, 0x10, 0x0C, 0x0E}) {
        const Bytes p = sttest::tlvReply(1, 0, tag, fake->records[tag]);
        twice.insert(twice.end(), p.begin(), p.end());
    }
    fake->next(twice);
    EXPECT_EQ(get(&UhfModuleST25RU3993::getRfidConfig).first, ResultCode::invalidResponse);
    EXPECT_EQ(log->count("getRfidConfig(completion:) - Lost packet : true true true false"), 1);
}

TEST_F(RadioTest, SetRfidConfigWritesOnlyChangedRecords) {
    RfidConfig config = *get(&UhfModuleST25RU3993::getRfidConfig).second;
    config.power = 20;  // module power 28 is above the range the driver allows
    EXPECT_EQ(set([&](auto d) { driver.setRfidConfig(config, d); }), kOk);
    EXPECT_EQ(fake->calls.back().number, 1);
    EXPECT_EQ(fake->setsOf(0x0E), 1u);

    fake->calls.clear();
    log->clear();
    EXPECT_EQ(set([&](auto d) { driver.setRfidConfig(config, d); }), kOk);
    EXPECT_EQ(fake->calls.size(), 1u);
    EXPECT_EQ(log->count("setRfidConfig(rfidConfig:completion:) - Skip set", LogLevel::debug), 4);

    config.selectMode = SelectMode::selected;
    config.power = 21;
    config.continuousMode = false;
    config.idleTime = 100;
    EXPECT_EQ(set([&](auto d) { driver.setRfidConfig(config, d); }), kOk);
    EXPECT_EQ(fake->calls.back().number, 2);
    EXPECT_EQ(fake->calls.back().packets[0][10], 0x10);
    EXPECT_EQ(moduleInventoryCfg().queryParams.sel, 2);
    EXPECT_EQ(*get(&UhfModuleST25RU3993::getRfidConfig).second, config);
}

// A failed call leaves the driver's continuous mode and idle time as they were.
TEST_F(RadioTest, SetRfidConfigFailuresChangeNothing) {
    RfidConfig config;
    config.continuousMode = false;
    config.idleTime = 300;
    config.power = 10;
    EXPECT_EQ(set([&](auto d) { driver.setRfidConfig(config, d); }), ResultCode::outOfRange);
    EXPECT_TRUE(fake->calls.empty());
    EXPECT_EQ(log->count("setRfidConfig(rfidConfig:completion:) - Result Code: Out of Range, "
                         "Message: The power value is out of range."),
              1);
    config.power = 20;
    config.session = Session::s4;
    EXPECT_EQ(set([&](auto d) { driver.setRfidConfig(config, d); }), ResultCode::notSupported);
    config.session = Session::s1;
    fake->failures[{1, 1}] = {static_cast<uint16_t>(-2), 0};
    EXPECT_EQ(set([&](auto d) { driver.setRfidConfig(config, d); }), ResultCode::busyDevice);
    // Fewer confirmations than records written.
    fake->failures.clear();
    fake->next([&] {
        Bytes all;
        for (uint8_t tag : {0x10, 0x0C, 0x0E, 0x09}) {
            const Bytes p = sttest::tlvReply(1, 0, tag, fake->records[tag]);
            all.insert(all.end(), p.begin(), p.end());
        }
        return all;
    }());
    fake->next(sttest::tlvReply(1, 1, 0x10, fake->records[0x10]));
    EXPECT_EQ(set([&](auto d) { driver.setRfidConfig(config, d); }), ResultCode::invalidResponse);
    EXPECT_TRUE(driver.continuousMode());
    EXPECT_EQ(driver.inventoryIdleTime(), 0u);
}

TEST_F(RadioTest, AssertRfidConfigOrder) {
    RfidConfig config;
    config.power = 10;
    config.minQ = 6;
    config.startQ = 5;
    sttest::expectCoded([&] { driver.assertRfidConfig(config); }, ResultCode::outOfRange,
                        "The power value is out of range.");
    config.power = 17;
    sttest::expectCoded([&] { driver.assertRfidConfig(config); }, ResultCode::outOfRange,
                        "The start Q is out of range (6 - 15).");
    config.minQ = 0;
    config.inventoryTime = 39;
    sttest::expectCoded([&] { driver.assertRfidConfig(config); }, ResultCode::outOfRange,
                        "The inventory time is out of range.");
}

}  // namespace
}  // namespace orvane
