#include "orvanerfid/uhfmodules/UhfModuleQm5520.h"

#include <gtest/gtest.h>

#include "uhfmodules/ModuleTestSupport.h"

namespace orvane::test {
namespace {

using Id = OrvRfidCmdId;
using St = OrvRfidCmdStatus;

// A driver as the UHF object makes it, on a scripted protocol.
struct Qm {
    std::shared_ptr<RecordingProtocol> protocol = std::make_shared<RecordingProtocol>();
    UhfModuleQm5520 module{protocol};
    std::shared_ptr<LogCapture> log = LogCapture::install();

    Qm() {
        module.setModuleType(UhfModuleType::qm5520);
        module.setPowerMaxOutput(33);
        module.setPowerMinOutput(5);
        module.setSelectMaskMaxSize(2);
        log->clear();
    }
    std::vector<std::string> logs() const { return log->texts("UhfModuleQm5520"); }
};

// The data of each Select request: mode, target, action, trunc, bank, address (2), length, mask.
std::vector<Bytes> selects(const RecordingProtocol& protocol) {
    std::vector<Bytes> out;
    for (const auto& frame : protocol.requestsOf(Id::select))
        out.push_back(requestData(frame));
    return out;
}

TEST(Qm5520Select, AnEmptyListClearsTheModulesListBeforeEachInventory) {
    Qm q;
    EXPECT_EQ(q.module.inventory(), ResultCode::noError);
    EXPECT_EQ(q.protocol->requestIds(), (std::vector<Id>{Id::select, Id::inventory}));
    EXPECT_EQ(selects(*q.protocol), (std::vector<Bytes>{{0, 0, 0, 0, 1, 0, 0, 0}}));
    EXPECT_TRUE(q.logs().empty());
    EXPECT_EQ(q.protocol->sends()[0].timeout, 3000);
}

TEST(Qm5520Select, UsedEntriesGoInIndexOrderFirstClearingTheList) {
    Qm q;
    auto& m = q.module;
    m.setSelectMaskPattern(0, MaskPattern("E280", 12));
    m.setSelectMaskEnabled(0, true);
    m.setSelectMaskOffset(1, 8);  // never used
    m.setSelectMaskBank(2, BankType::tid);
    m.setSelectMaskTarget(2, MaskTarget::s1);
    m.setSelectMaskAction(2, MaskAction::matchDeassert);
    m.setSelectMaskPattern(2, MaskPattern("AB", 8));
    m.setSelectMaskEnabled(2, true);
    q.protocol->clearRecords();

    EXPECT_EQ(m.inventory(), ResultCode::noError);
    EXPECT_EQ(selects(*q.protocol), (std::vector<Bytes>{{2, 4, 0, 0, 1, 0x00, 32, 12, 0xE2, 0x80},
                                                        {1, 1, 5, 0, 2, 0x00, 0, 8, 0xAB}}));
    EXPECT_EQ(q.protocol->requestIds().back(), Id::inventory);

    m.setSelectMaskEnabled(0, false);
    m.setSelectMaskEnabled(2, false);
    q.protocol->clearRecords();
    EXPECT_EQ(m.setSelectMask(), ResultCode::noError);
    EXPECT_EQ(selects(*q.protocol), (std::vector<Bytes>{{0, 0, 0, 0, 1, 0, 0, 0}}));
}

TEST(Qm5520Select, PatternsAndLengthsAreCheckedBeforeAnySelectGoesOut) {
    struct Case {
        MaskPattern pattern;
        uint64_t offset;
        ResultCode code;
    } cases[] = {
        {MaskPattern("E2Z0", 16), 0, ResultCode::invalidParameter},
        {MaskPattern("E28", 12), 0, ResultCode::invalidParameter},
        {MaskPattern("E280", 17), 0, ResultCode::outOfRange},
        {MaskPattern(std::string(66, 'A'), 256), 0, ResultCode::outOfRange},
        {MaskPattern("E280", 16), 65504, ResultCode::outOfRange},
    };
    // Refused before the entry is stored: the list keeps its good entry alone.
    for (const auto& c : cases) {
        Qm q;
        q.module.setSelectMaskEnabled(0, true);
        q.protocol->clearRecords();
        const SelectMaskParam entry(true, MaskTarget::sl, MaskAction::matchAssert, BankType::epc,
                                    c.offset, c.pattern);
        EXPECT_EQ(codeOf([&] { q.module.setSelectMaskEntry(1, entry); }), c.code)
            << c.pattern.pattern();
        EXPECT_TRUE(q.protocol->requests().empty()) << c.pattern.pattern();
        EXPECT_EQ(q.module.selectMaskList().count(1), 0u);
    }
}

TEST(Qm5520Select, ABusySelectStopsTheInventory) {
    Qm q;
    q.protocol->answerStatus(Id::select, St::busy);
    EXPECT_EQ(q.module.inventory(), ResultCode::busyDevice);
    EXPECT_EQ(q.protocol->requestIds(), (std::vector<Id>{Id::select}));
    EXPECT_EQ(q.logs(),
              (std::vector<std::string>{"clearSelectMask() - Result Code: Busy Device, Message: "
                                        "clearSelectMask() - The return code is not noError.(busy",
                                        "inventory() - Failed to set select mask"}));
}

TEST(Qm5520Exchange, EveryFailureMapsToItsCode) {
    const struct {
        St status;
        ResultCode code;
    } statuses[] = {
        {St::busy, ResultCode::busyDevice},
        {St::invalidParameters, ResultCode::parameterError},
        {St::notSupport, ResultCode::notSupported},
        {St::incorrectLength, ResultCode::invalidResponse},
        {St::incorrectEndOfPacket, ResultCode::invalidResponse},
        {St::incorrectCrc, ResultCode::crcError},
        {St::timeout, ResultCode::undefined},
        {St::otherError, ResultCode::undefined},
    };
    for (const auto& s : statuses) {
        Qm q;
        q.protocol->answerStatus(Id::cancel, s.status);
        EXPECT_EQ(q.module.stop(), s.code) << caseName(s.status);
    }
    Qm q;
    q.protocol->failSends(ResultCode::timeout);
    EXPECT_EQ(q.module.stop(), ResultCode::timeout);
    q.protocol->respondWith(Response(ResultCode::noError, std::nullopt));
    EXPECT_EQ(q.module.stop(), ResultCode::invalidResponse);
    q.protocol->respondWith(Response(ResultCode::noError, Bytes{0x02, 0x00, 0x04}));
    EXPECT_EQ(q.module.stop(), ResultCode::invalidParameter);
}

TEST(Qm5520TagAccess, TheBankIsAnnouncedJustBeforeReadsWritesAndBlockOperations) {
    Qm q;
    const std::string pw = "00000000";
    auto& m = q.module;
    EXPECT_EQ(m.readMemory(BankType::tid, 0, 6, pw), ResultCode::noError);
    EXPECT_EQ(m.writeMemory(BankType::user, 2, "1234", pw), ResultCode::noError);
    EXPECT_EQ(m.blockWriteMemory(BankType::epc, 2, "ABCD", pw), ResultCode::noError);
    ResultOutcome perma;
    m.blockPermaLock(pw, ReadLock::lock, BankType::user, 0, 1, {0x80, 0x00}, perma.completion());
    EXPECT_EQ(perma.calls, 1);
    EXPECT_EQ(q.protocol->journal(),
              (std::vector<std::string>{"send:select", "event:accessBankType", "send:read",
                                        "send:select", "event:accessBankType", "send:write",
                                        "event:accessBankType", "send:blockWrite",
                                        "event:accessBankType", "send:blockPermaLock"}));
    std::vector<BankType> banks;
    for (const auto& e : q.protocol->events())
        banks.push_back(*e.get<BankType>());
    EXPECT_EQ(banks, (std::vector<BankType>{BankType::tid, BankType::user, BankType::epc,
                                            BankType::user}));
    EXPECT_EQ(requestData(q.protocol->requestsOf(Id::write)[0]),
              (Bytes{0, 0, 0, 0, 3, 0, 2, 1, 0x12, 0x34}));

    q.protocol->clearRecords();
    m.lockTag(LockParam(), pw);
    m.permaLockTag(PermaLockParam(), pw);
    m.killTag("12345678");
    m.inventoryWithUserSpecifiedDataOperation(BankType::tid, 0, 2, pw);
    ResultOutcome auth;
    m.authenticate(pw, AuthenticationResponse::send, IncludeReplyLength::include, 0, 8, {1}, 0,
                   auth.completion());
    EXPECT_TRUE(q.protocol->events().empty());
    EXPECT_EQ(q.protocol->requestIds(),
              (std::vector<Id>{Id::select, Id::lock, Id::select, Id::lock, Id::select, Id::kill,
                               Id::inventoryWithUserSpecifiedData, Id::authenticate}));
    EXPECT_EQ(requestData(q.protocol->requestsOf(Id::kill)[0]), (Bytes{0x12, 0x34, 0x56, 0x78}));
}

TEST(Qm5520TagAccess, TextThatIsNotHexIsRefusedBeforeAnythingIsSent) {
    Qm q;
    auto& m = q.module;
    EXPECT_EQ(m.readMemory(BankType::epc, 2, 6, "0000000G"), ResultCode::invalidParameter);
    EXPECT_EQ(m.writeMemory(BankType::user, 0, "123", "00000000"), ResultCode::invalidParameter);
    EXPECT_EQ(m.writeMemory(BankType::user, 65536, "1234", "00000000"), ResultCode::outOfRange);
    ResultOutcome perma;
    m.blockPermaLock("XYZ", ReadLock::read, BankType::user, 0, 1, {}, perma.completion());
    EXPECT_EQ(perma.code, ResultCode::invalidParameter);
    ResultOutcome auth;
    m.authenticate("123", AuthenticationResponse::store, IncludeReplyLength::omit, 0, 0, {}, 0,
                   auth.completion());
    EXPECT_EQ(auth.code, ResultCode::invalidParameter);
    EXPECT_TRUE(q.protocol->requests().empty());
    EXPECT_TRUE(q.protocol->events().empty());
}

TEST(Qm5520Settings, ReplyVectors) {
    Qm q;
    q.protocol->answer(Id::firmware, {2, 10, 0});
    Outcome<std::string> version;
    q.module.version(version.completion());
    EXPECT_EQ(version.value, "2.10.0");

    q.protocol->answer(Id::getLbtConfigure, {0xE3, 0x18});
    Outcome<int16_t> lbt;
    q.module.getLbtConfigure(lbt.completion());
    EXPECT_EQ(lbt.value, -74);
    q.protocol->answer(Id::getLbtConfigure, {0xE3, 0x1C});
    q.module.getLbtConfigure(lbt.completion());
    EXPECT_EQ(lbt.value, -73);
    ResultOutcome set;
    q.module.setLbtConfigure(-74, set.completion());
    EXPECT_EQ(requestData(q.protocol->requestsOf(Id::setLbtConfigure)[0]), (Bytes{0xE3, 0x18}));
    q.module.setLbtConfigure(-328, set.completion());
    EXPECT_EQ(set.code, ResultCode::outOfRange);

    q.protocol->answer(Id::getFastId, {0x02});
    Outcome<bool> fastId;
    q.module.getFastId(fastId.completion());
    EXPECT_EQ(fastId.value, false);
    q.protocol->answer(Id::getFastId, {});
    q.module.getFastId(fastId.completion());
    EXPECT_EQ(fastId.code, ResultCode::invalidResponse);

    q.protocol->answer(Id::getFixedFrequency, {0x02, 0x00, 0x0E, 0x1A, 0x3C});
    Outcome<std::vector<uint32_t>> fixed;
    q.module.getFixedFrequency(fixed.completion());
    EXPECT_EQ(fixed.code, ResultCode::invalidResponse);
    EXPECT_FALSE(fixed.value);

    q.protocol->answer(Id::getRfMode, {0x00, 0x00});
    Outcome<RfMode> rfMode;
    q.module.getRfMode(rfMode.completion());
    EXPECT_EQ(rfMode.code, ResultCode::invalidResponse);
    EXPECT_EQ(rfMode.calls, 1);
}

TEST(Qm5520Settings, BandsFollowTheSku) {
    Qm q;
    q.module.setSkuType(SkuType::us);
    using G = GlobalBandType;
    EXPECT_EQ(q.module.supportedGlobalBandList(),
              (std::vector<G>{G::usa, G::taiwan, G::brazil, G::china, G::hongKong, G::israel}));

    ResultOutcome set;
    q.module.setGlobalBand(G::australia, set.completion());
    EXPECT_EQ(set.code, ResultCode::notSupported);
    q.module.setSkuType(SkuType::european);
    q.module.setGlobalBand(G::europe, set.completion());
    EXPECT_EQ(set.code, ResultCode::noError);
    EXPECT_EQ(q.protocol->requestIds(), (std::vector<Id>{Id::setRegion}));
    EXPECT_EQ(requestData(q.protocol->requests()[0]), (Bytes{0x01}));

    q.protocol->answer(Id::getRegion, {0xFF});
    Outcome<G> band;
    q.module.getGlobalBand(band.completion());
    EXPECT_EQ(band.value, G::unknown);

    q.module.setSkuType(SkuType::usAndJapanese);
    Outcome<std::vector<G>> none;
    q.module.supportedGlobalBand(none.completion());
    EXPECT_EQ(none.code, ResultCode::otherError);
    EXPECT_FALSE(none.value);
    EXPECT_EQ(q.logs(), (std::vector<std::string>{
                            "setGlobalBand(band:completion:) - Does not support Australia",
                            "Does not supoort usjp SKU"}));
}

TEST(Qm5520Settings, GroupSettersReadThenWriteTheWholeGroup) {
    Qm q;
    q.protocol->answer(Id::getAntennaSettings, {1, 0x03, 0xE8, 0x0A, 0xBE});
    Outcome<int> power;
    q.module.getPower(power.completion());
    EXPECT_EQ(power.value, 27);
    ResultOutcome set;
    q.module.setPower(27, set.completion());
    EXPECT_EQ(set.code, ResultCode::noError);
    EXPECT_EQ(requestData(q.protocol->requestsOf(Id::setAntennaSettings)[0]),
              (Bytes{1, 0x03, 0xE8, 0x0A, 0x8C}));

    q.protocol->answerStatus(Id::setAntennaSettings, St::invalidParameters);
    q.module.setDwellTime(500, set.completion());
    EXPECT_EQ(set.code, ResultCode::parameterError);

    q.protocol->clearRecords();
    q.protocol->answerStatus(Id::getGen2Algorithm, St::busy);
    q.module.setStartQ(4, set.completion());
    EXPECT_EQ(set.code, ResultCode::busyDevice);
    EXPECT_EQ(q.protocol->requestIds(), (std::vector<Id>{Id::getGen2Algorithm}));

    // Q values travel in 4 bits; times in 16; nothing is sent for a value that does not fit.
    q.protocol->clearRecords();
    q.module.setMaxQ(16, set.completion());
    EXPECT_EQ(set.code, ResultCode::outOfRange);
    q.module.setInventoryTime(149, set.completion());
    EXPECT_EQ(set.code, ResultCode::outOfRange);
    q.module.setIdleTime(70000, set.completion());
    EXPECT_EQ(set.code, ResultCode::outOfRange);
    EXPECT_TRUE(q.protocol->requests().empty());
    EXPECT_EQ(q.logs().at(q.logs().size() - 2),
              "setInventoryTime(inventoryTime:completion:) - Result Code: Out of Range, Message: "
              "The inventory time is out of range ( > 150.");

    q.protocol->answer(Id::getGen2Algorithm, {1, 4, 0xF0, 1});
    q.module.setMinQ(2, set.completion());
    EXPECT_EQ(requestData(q.protocol->requestsOf(Id::setGen2Algorithm)[0]), (Bytes{1, 4, 0xF2, 1}));
}

TEST(Qm5520Settings, ContinuousModeFlagFollowsTheModule) {
    Qm q;
    ResultOutcome set;
    q.protocol->answerStatus(Id::setRfidOperationMode, St::busy);
    q.module.setContinuousMode(false, set.completion());
    EXPECT_TRUE(q.module.continuousMode());
    q.protocol->answerStatus(Id::setRfidOperationMode, St::success);
    q.module.setContinuousMode(false, set.completion());
    EXPECT_FALSE(q.module.continuousMode());
    EXPECT_EQ(requestData(q.protocol->requestsOf(Id::setRfidOperationMode)[1]), (Bytes{1}));

    Outcome<bool> mode;
    for (uint8_t byte : {0, 2, 1}) {
        q.protocol->answer(Id::getRfidOperationMode, {byte});
        q.module.getContinuousMode(mode.completion());
        EXPECT_EQ(mode.value, byte != 1);
        EXPECT_EQ(q.module.continuousMode(), byte != 1);
    }
}

TEST(Qm5520Record, TheChecksRunInOrderAndStopAtTheFirst) {
    const struct {
        int64_t power, inventoryTime, idleTime, startQ, maxQ, minQ;
        int16_t lbt;
        const char* message;  // none: the record passes
    } cases[] = {
        {34, 200, 0, 4, 15, 0, -74, "The power value is out of range (5 - 33)."},
        {4, 200, 0, 16, 15, 0, -74, "The power value is out of range (5 - 33)."},
        {17, 149, 0, 4, 15, 0, -74, "The inventory time is out of range ( > 150."},
        {17, 200, -1, 4, 15, 0, -74, "The idle time is out of range ( > 0."},
        {17, 200, 0, 16, 15, 0, -74, "The start Q is out of range (0 - 15)."},
        {17, 200, 0, 4, 15, 5, -74, "The start Q is out of range (5 - 15)."},
        {17, 200, 0, 4, 16, 0, -74, "The max Q is out of range."},
        {17, 200, 0, 0, 15, -1, -74, "The min Q is out of range."},
        {17, 200, 0, 4, 15, 0, -81, "The LBT RSSI threshold is out of range (-80 - 0)."},
        {17, 200, 0, 4, 15, 0, 5, "The LBT RSSI threshold is out of range (-80 - 0)."},
        {17, 70000, 0, 4, 15, 0, -74, "The inventory time is out of range ( <= 65535."},
        {5, 150, 0, 0, 0, 0, 0, nullptr},
        {33, 200, 0, 15, 15, 15, -80, nullptr},
    };
    Qm q;
    for (const auto& c : cases) {
        RfidConfig config;
        config.power = c.power;
        config.inventoryTime = c.inventoryTime;
        config.idleTime = c.idleTime;
        config.startQ = c.startQ;
        config.maxQ = c.maxQ;
        config.minQ = c.minQ;
        config.lbtConfigure = c.lbt;
        try {
            q.module.assertRfidConfig(config);
            EXPECT_EQ(c.message, nullptr);
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::outOfRange);
            EXPECT_EQ(e.message(), c.message ? c.message : "");
        }
        if (c.message) {
            ResultOutcome set;
            q.module.setRfidConfig(config, set.completion());
            EXPECT_EQ(set.code, ResultCode::outOfRange);
        }
    }
    EXPECT_TRUE(q.protocol->requests().empty());
}

// Replies of a module holding unusualConfig().
void scriptModule(RecordingProtocol& p) {
    p.answer(Id::getGen2QueryGroup, {3, 2, 1});
    p.answer(Id::getGen2Algorithm, {0, 5, 0xF2, 1});
    p.answer(Id::getAntennaSettings, {1, 0x01, 0xF4, 0x0A, 0xBE});
    p.answer(Id::getTxOnOffTime, {0x01, 0x2C, 0x00, 0x64});
    p.answer(Id::getRfidOperationMode, {1});
    p.answer(Id::getRfMode, {0x00, 0x0F});
    p.answer(Id::getLbt, {1});
    p.answer(Id::getFastId, {1});
    p.answer(Id::getTagFocus, {0});
    p.answer(Id::getPowerSavingMode, {1});
    p.answer(Id::getLbtConfigure, {0xE3, 0x1C});
    p.answer(Id::getAntennaSwitchingMode, {1});
    p.answer(Id::getFrequencySwitchingMode, {1});
}

TEST(Qm5520Record, ThirteenReadsInOneExchangeMatchedByCommand) {
    Qm q;
    scriptModule(*q.protocol);
    q.protocol->reverseReplies(true);
    Outcome<RfidConfig> got;
    q.module.getRfidConfig(got.completion());
    ASSERT_EQ(got.code, ResultCode::noError);
    ASSERT_EQ(q.protocol->sends().size(), 1u);
    EXPECT_EQ(q.protocol->sends()[0].number, 13);
    EXPECT_EQ(q.protocol->requestIds(),
              (std::vector<Id>{Id::getGen2QueryGroup, Id::getGen2Algorithm, Id::getAntennaSettings,
                               Id::getTxOnOffTime, Id::getRfidOperationMode, Id::getRfMode,
                               Id::getLbt, Id::getFastId, Id::getTagFocus, Id::getPowerSavingMode,
                               Id::getLbtConfigure, Id::getAntennaSwitchingMode,
                               Id::getFrequencySwitchingMode}));
    const RfidConfig expected = unusualConfig();
    EXPECT_EQ(*got.value, expected);
    EXPECT_FALSE(q.module.continuousMode());

    // A refusal discards the record; a frame of another command is logged and skipped, and the
    // setting it left unread fails the record.
    q.protocol->answerStatus(Id::getTagFocus, St::busy);
    q.module.getRfidConfig(got.completion());
    EXPECT_EQ(got.code, ResultCode::busyDevice);
    EXPECT_FALSE(got.value);
    q.protocol->answer(Id::getTagFocus, {0});
    q.protocol->answerFrame(Id::getLbt, replyFrame(Id::getRegion, 0, {1}));
    q.log->clear();
    q.module.getRfidConfig(got.completion());
    EXPECT_EQ(got.code, ResultCode::invalidResponse);
    EXPECT_EQ(q.logs().at(0), "getRfidConfig(completion:) - Unexpected command ID: getRegion");
}

TEST(Qm5520Record, ThirteenWritesInOneExchangeEachAcknowledged) {
    Qm q;
    RfidConfig config;
    config.continuousMode = false;
    config.power = 30;
    config.dwellTime = 0x0102;
    config.lbtConfigure = -73;
    ResultOutcome set;
    q.module.setRfidConfig(config, set.completion());
    EXPECT_EQ(set.code, ResultCode::noError);
    ASSERT_EQ(q.protocol->sends().size(), 1u);
    EXPECT_EQ(q.protocol->sends()[0].number, 13);
    EXPECT_EQ(q.protocol->requestIds(),
              (std::vector<Id>{Id::setRfidOperationMode, Id::setGen2QueryGroup,
                               Id::setGen2Algorithm, Id::setAntennaSettings, Id::setTxOnOffTime,
                               Id::setRfMode, Id::setLbt, Id::setFastId, Id::setTagFocus,
                               Id::setPowerSavingMode, Id::setLbtConfigure,
                               Id::setAntennaSwitchingMode, Id::setFrequencySwitchingMode}));
    const auto data = [&](Id id) { return requestData(q.protocol->requestsOf(id).at(0)); };
    EXPECT_EQ(data(Id::setRfidOperationMode), (Bytes{1}));
    EXPECT_EQ(data(Id::setGen2QueryGroup), (Bytes{1, 0, 0}));
    EXPECT_EQ(data(Id::setGen2Algorithm), (Bytes{1, 4, 0xF0, 1}));
    EXPECT_EQ(data(Id::setAntennaSettings), (Bytes{1, 0x01, 0x02, 0x0B, 0xB8}));
    EXPECT_EQ(data(Id::setTxOnOffTime), (Bytes{0x00, 0xC8, 0x00, 0x00}));
    EXPECT_EQ(data(Id::setRfMode), (Bytes{0x00, 103}));
    EXPECT_EQ(data(Id::setLbtConfigure), (Bytes{0xE3, 0x7C}));
    // The module's mode flag changes only through the mode operations.
    EXPECT_TRUE(q.module.continuousMode());

    q.protocol->answerStatus(Id::setLbt, St::invalidParameters);
    q.module.setRfidConfig(config, set.completion());
    EXPECT_EQ(set.code, ResultCode::parameterError);
    // A reply that is no frame ends the walk: the writes after it are unconfirmed.
    q.protocol->answerFrame(Id::setLbt, {0x02, 0x00, 0x01});
    q.module.setRfidConfig(config, set.completion());
    EXPECT_EQ(set.code, ResultCode::invalidResponse);
}

}  // namespace
}  // namespace orvane::test
