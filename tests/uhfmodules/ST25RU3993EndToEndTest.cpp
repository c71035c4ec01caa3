#include <gtest/gtest.h>

#include <cmath>

#include "ModuleTestSupport.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/Vk640Protocol.h"
#include "orvanerfid/uhfmodules/UhfModuleST25RU3993.h"
#include "sim/SimVk640.h"

namespace orvane {
namespace {

using test::waitUntil;
constexpr ResultCode kOk = ResultCode::noError;

// The ST25RU3993 driver over a Vk640 protocol object, the accessory transport and a simulated
// Vk640.
class ST25RU3993EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        log = test::LogCapture::install();
        reader->setTags(makeSimTags(20));
        reader->setSetting("register.09", {0x24});
        reader->setSetting("register.0A", {0x62});
        accessory = SimVk640::makeAccessory(reader);
        manager.attach(accessory);
        transport = EATransport::create();
        transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(accessory));
        ASSERT_TRUE(transport->connect());
        protocol = std::make_shared<Vk640Protocol>(transport);
        protocol->setDelegate(recorder);
        protocol->start();
        protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished));
        driver = std::make_shared<UhfModuleST25RU3993>(protocol);
        driver->pumpEvent(ProtocolEventId::firmwareVersion, std::string("1.1.13"));
    }
    void TearDown() override {
        protocol->stop();
        transport->disconnect();
        EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    }

    // The EPCs of one whole inventory, after it was stopped.
    std::vector<Bytes> inventory(std::size_t expected) {
        const std::size_t before = recorder->tags().size();
        EXPECT_EQ(driver->inventory(), kOk);
        EXPECT_TRUE(waitUntil([&] { return recorder->tags().size() >= before + expected; }));
        EXPECT_EQ(driver->stop(), kOk);
        std::vector<Bytes> epcs;
        const auto tags = recorder->tags();
        for (std::size_t i = before; i < tags.size(); ++i)
            epcs.push_back(tags[i]->epc());
        return epcs;
    }
    std::optional<Bytes> read(BankType bank, uint16_t offset, uint8_t words,
                              const std::string& password, ResultCode expected = kOk) {
        test::Outcome<Bytes> outcome;
        driver->readMemory(bank, offset, words, password, outcome.completion());
        EXPECT_EQ(outcome.calls, 1);
        EXPECT_EQ(outcome.code, expected);
        return outcome.value;
    }
    SimTag firstTag() const { return reader->tags()->at(0); }

    AccessoryManager manager;
    std::shared_ptr<test::LogCapture> log;
    std::shared_ptr<SimVk640> reader = std::make_shared<SimVk640>();
    std::shared_ptr<SimAccessory> accessory;
    std::shared_ptr<EATransport> transport;
    std::shared_ptr<Vk640Protocol> protocol;
    std::shared_ptr<test::EventRecorder> recorder = std::make_shared<test::EventRecorder>();
    std::shared_ptr<UhfModuleST25RU3993> driver;
};

TEST_F(ST25RU3993EndToEndTest, InventoryWithGainAndSelect) {
    const std::vector<SimTag> population = *reader->tags();
    EXPECT_EQ(inventory(20).size(), 20u);
    const auto tags = recorder->tags();
    for (std::size_t i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tags[i]->epc(), population[i].epc);
        const int sum = SimVk640::logI(i) + SimVk640::logQ(i);
        EXPECT_FLOAT_EQ(tags[i]->rssi(),
                        static_cast<float>(std::trunc((sum / 2.0 * 2.1 - 75.0) * 10.0)) / 10.0f);
    }
    EXPECT_EQ(reader->setting("powerMode"), Bytes{3});  // standby after the stop
    EXPECT_GE(recorder->count(ProtocolEventId::actionChanged), 1);

    // Only the tag whose EPC the mask names, once the module inventories selected tags.
    driver->setSelectMaskPattern(0, MaskPattern(toHexString(population[5].epc), 96));
    driver->setSelectMaskEnabled(0, true);
    test::ResultOutcome mode;
    driver->setSelectMode(SelectMode::selected, mode.completion());
    ASSERT_EQ(mode.code, kOk);
    EXPECT_EQ(inventory(1), std::vector<Bytes>{population[5].epc});
    EXPECT_EQ(read(BankType::tid, 0, 4, "00000000"), population[5].tid);
}

TEST_F(ST25RU3993EndToEndTest, WriteThenReadBackIncludingTheAccessPassword) {
    EXPECT_EQ(driver->writeMemory(BankType::user, 1, "CAFEBABE", "00000000"), kOk);
    EXPECT_EQ(read(BankType::user, 0, 4, "00000000"),
              (Bytes{0x00, 0x00, 0xCA, 0xFE, 0xBA, 0xBE, 0x00, 0x00}));

    // The access password at words 2 and 3: the second word already needs the new first half.
    EXPECT_EQ(driver->writeMemory(BankType::reserved, 2, "11223344", "00000000"), kOk);
    EXPECT_EQ(read(BankType::reserved, 0, 4, "11223344"),
              (Bytes{0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44}));
    read(BankType::user, 0, 1, "00000000", ResultCode::accessError);
    EXPECT_EQ(driver->writeMemory(BankType::user, 0, "0102", "00000000"), ResultCode::accessError);
    EXPECT_EQ(driver->writeMemory(BankType::user, 0, "0102", "11223344"), kOk);

    // An EPC write moves the select mask with it, so the tag stays selected.
    const Bytes epc = firstTag().epc;
    driver->setSelectMaskPattern(0, MaskPattern(toHexString(epc), 96));
    driver->setSelectMaskEnabled(0, true);
    EXPECT_EQ(driver->writeMemory(BankType::epc, 2, "AAAABBBB", "11223344"), kOk);
    EXPECT_EQ(firstTag().epc[0], 0xAA);
    EXPECT_EQ(driver->getSelectMaskPattern(0).pattern().substr(0, 8), "AAAABBBB");
    EXPECT_EQ(read(BankType::epc, 2, 2, "11223344"), (Bytes{0xAA, 0xAA, 0xBB, 0xBB}));
}

TEST_F(ST25RU3993EndToEndTest, LockAndKill) {
    ASSERT_EQ(driver->writeMemory(BankType::reserved, 0, "0000000111223344", "00000000"), kOk);
    const LockParam lockUser(LockState::noChange, LockState::noChange, LockState::noChange,
                             LockState::noChange, LockState::lock);
    EXPECT_EQ(driver->lockTag(lockUser, "11223344"), kOk);
    EXPECT_EQ(driver->writeMemory(BankType::user, 0, "0102", "11223344"), kOk);
    PermaLockParam forever;
    forever.setUser(LockState::lock);
    EXPECT_EQ(driver->permaLockTag(forever, "11223344"), kOk);
    EXPECT_EQ(driver->writeMemory(BankType::user, 0, "0102", "11223344"), ResultCode::memoryLocked);
    EXPECT_EQ(driver->lockTag(lockUser, "11223344"), ResultCode::memoryLocked);

    const Bytes killed = firstTag().epc;
    EXPECT_EQ(driver->killTag("00000002"), ResultCode::accessError);
    EXPECT_EQ(driver->killTag("00000001"), kOk);
    const auto left = inventory(19);
    EXPECT_EQ(left.size(), 19u);
    EXPECT_EQ(std::count(left.begin(), left.end(), killed), 0);
}

TEST_F(ST25RU3993EndToEndTest, RfidConfigRoundTrip) {
    RfidConfig config;
    config.power = 21;
    config.inventoryTime = 250;
    config.idleTime = 20;
    config.continuousMode = false;
    config.session = Session::s2;
    config.target = Target::b;
    config.selectMode = SelectMode::deselected;
    config.encoding = Encoding::m4;
    config.tariType = TariType::tari25;
    config.blfType = BlfType::blf256;
    config.algorithm = AlgorithmType::fixedQ;
    config.startQ = 6;
    config.minQ = 2;
    config.maxQ = 9;
    config.fastMode = true;
    config.toggleTarget = false;
    test::ResultOutcome set;
    driver->setRfidConfig(config, set.completion());
    ASSERT_EQ(set.code, kOk);
    test::Outcome<RfidConfig> got;
    driver->getRfidConfig(got.completion());
    ASSERT_EQ(got.code, kOk);
    EXPECT_EQ(*got.value, config) << got.value->description();
    test::Outcome<int> power;
    driver->getPower(power.completion());
    EXPECT_EQ(power.value, 21);
}

TEST_F(ST25RU3993EndToEndTest, StopRetriesUntilTheModuleStops) {
    ASSERT_EQ(driver->inventory(), kOk);
    reader->setSetting("failStop", {2});
    EXPECT_EQ(driver->stop(), kOk);
    EXPECT_EQ(log->count("stop() Retry: 2"), 1);
    ASSERT_EQ(driver->inventory(), kOk);
    reader->setSetting("failStop", {3});
    EXPECT_EQ(driver->stop(), ResultCode::operationFailed);
    EXPECT_EQ(log->count("Stop command failed after 3 retries"), 1);
    EXPECT_EQ(driver->stop(), kOk);
}

}  // namespace
}  // namespace orvane
