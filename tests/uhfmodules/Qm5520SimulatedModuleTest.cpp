// The Qm5520 driver against the simulated module inside a simulated Vk210, linked directly.

#include <gtest/gtest.h>

#include "orvanerfid/uhfmodules/UhfModuleQm5520.h"
#include "uhfmodules/SimLoopback.h"

namespace orvane::test {
namespace {

const std::string kNoPassword = "00000000";

struct Rig {
    std::shared_ptr<SimVk210> reader = std::make_shared<SimVk210>();
    std::shared_ptr<SimQm5520Module> module = addVk210ModuleRows(*reader);
    std::shared_ptr<LoopbackProtocol> protocol = std::make_shared<LoopbackProtocol>(reader);
    std::shared_ptr<RecordingDevice> device = std::make_shared<RecordingDevice>();
    UhfModuleQm5520 driver{protocol};

    explicit Rig(std::size_t tags = 4) {
        protocol->setDelegate(device);
        driver.setPowerMaxOutput(33);
        driver.setPowerMinOutput(5);
        reader->setTags(makeSimTags(tags));
    }

    // The last digit of each EPC an inventory reports, in report order.
    std::vector<int> inventory() {
        const std::size_t before = device->events().size();
        EXPECT_EQ(driver.inventory(), ResultCode::noError);
        const std::size_t population = reader->tags().size();
        EXPECT_TRUE(waitUntil([&] { return reader->reportsStreamed() >= population; }));
        EXPECT_EQ(driver.stop(), ResultCode::noError);
        std::vector<int> found;
        const auto events = device->events();
        for (std::size_t i = before; i < events.size(); ++i) {
            if (const auto* tag = events[i].get<TagInfoPtr>())
                found.push_back((*tag)->epc().back());
        }
        EXPECT_EQ(*events.back().get<ActionState>(), ActionState::stop);
        return found;
    }

    // The access result the last tag access reported.
    AccessResultEventArgs lastAccess() const {
        const auto events = device->events();
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (const auto* result = it->get<AccessResultEventArgs>()) return *result;
        }
        ADD_FAILURE() << "no access result";
        return AccessResultEventArgs({}, {}, ActionState::stop, std::nullopt,
                                     ResultCode::otherError);
    }

    Bytes read(BankType bank, uint16_t word, uint8_t words, const std::string& pw = kNoPassword) {
        EXPECT_EQ(driver.readMemory(bank, word, words, pw), ResultCode::noError);
        const auto result = lastAccess();
        EXPECT_EQ(result.resultCode(), ResultCode::noError);
        EXPECT_EQ(result.bankType(), bank);
        return result.data();
    }
};

TEST(Qm5520SimulatedModule, InventoriesReturnExactlyTheTagsTheMasksLetThrough) {
    Rig rig(6);
    EXPECT_EQ(rig.inventory(), (std::vector<int>{0, 1, 2, 3, 4, 5}));

    // EPC ...00000003: the last byte 03 at EPC bits 88-95.
    rig.driver.setSelectMaskOffset(0, 88);
    rig.driver.setSelectMaskPattern(0, MaskPattern("03", 8));
    rig.driver.setSelectMaskEnabled(0, true);
    EXPECT_EQ(rig.inventory(), (std::vector<int>{3}));

    // TID bits 60-61 (the low byte of word 3 is the tag's index) as 0 then 1: indexes 4 and 5.
    rig.driver.setSelectMaskEnabled(0, false);
    rig.driver.setSelectMaskBank(1, BankType::tid);
    rig.driver.setSelectMaskOffset(1, 60);
    rig.driver.setSelectMaskPattern(1, MaskPattern("40", 2));
    rig.driver.setSelectMaskEnabled(1, true);
    EXPECT_EQ(rig.inventory(), (std::vector<int>{4, 5}));
    EXPECT_EQ(rig.module->selectRecords().size(), 1u);

    // A Select the module refuses ends the inventory before it starts.
    rig.module->setBusy(true);
    EXPECT_EQ(rig.driver.inventory(), ResultCode::busyDevice);
    rig.module->setBusy(false);
}

TEST(Qm5520SimulatedModule, ReadWriteAndBlockWriteWorkOnTheTagMemory) {
    Rig rig(1);
    EXPECT_EQ(rig.read(BankType::tid, 0, 2), (Bytes{0xE2, 0x80, 0x11, 0x05}));
    EXPECT_EQ(rig.driver.writeMemory(BankType::user, 1, "BEEF", kNoPassword), ResultCode::noError);
    EXPECT_EQ(rig.lastAccess().actionState(), ActionState::writeMemory);
    EXPECT_EQ(rig.read(BankType::user, 0, 2), (Bytes{0, 0, 0xBE, 0xEF}));

    // EPC word 2 is the first EPC word: the new EPC shows in the next inventory.
    EXPECT_EQ(rig.driver.blockWriteMemory(BankType::epc, 7, "0009", kNoPassword),
              ResultCode::noError);
    EXPECT_EQ(rig.lastAccess().actionState(), ActionState::blockWrite);
    EXPECT_EQ(rig.inventory(), (std::vector<int>{9}));

    EXPECT_EQ(rig.driver.readMemory(BankType::user, 3, 2, kNoPassword), ResultCode::noError);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::memoryOverrun);
    rig.module->setAccessError(0x82);
    EXPECT_EQ(rig.driver.readMemory(BankType::user, 0, 1, kNoPassword), ResultCode::noError);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::insufficientPrivilege);
}

TEST(Qm5520SimulatedModule, LocksGuardMemoryUntilTheAccessPasswordIsGiven) {
    Rig rig(1);
    const std::string password = "11223344";
    EXPECT_EQ(rig.driver.writeMemory(BankType::reserved, 2, password, kNoPassword),
              ResultCode::noError);
    LockParam lockUser;
    lockUser.setUser(LockState::lock);
    lockUser.setAccessPassword(LockState::lock);
    EXPECT_EQ(rig.driver.lockTag(lockUser, kNoPassword), ResultCode::noError);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::invalidPassword);
    EXPECT_EQ(rig.driver.lockTag(lockUser, password), ResultCode::noError);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::noError);
    EXPECT_TRUE(rig.module->locksOf(rig.reader->tags()[0].tid).locked[4]);

    rig.driver.writeMemory(BankType::user, 0, "AAAA", kNoPassword);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::memoryLocked);
    rig.driver.readMemory(BankType::reserved, 2, 2, kNoPassword);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::memoryLocked);
    rig.driver.writeMemory(BankType::user, 0, "AAAA", password);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::noError);

    // A permanent lock cannot be undone.
    PermaLockParam forever;
    forever.setEpc(LockState::lock);
    EXPECT_EQ(rig.driver.permaLockTag(forever, password), ResultCode::noError);
    LockParam unlockEpc;
    unlockEpc.setEpc(LockState::unlock);
    rig.driver.lockTag(unlockEpc, password);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::memoryLocked);
    rig.driver.writeMemory(BankType::epc, 2, "1234", password);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::memoryLocked);
}

TEST(Qm5520SimulatedModule, AKilledTagIsGoneFromTheNextInventory) {
    Rig rig(3);
    rig.driver.killTag("00000000");
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::zeroKillPassword);
    // Tag 1 gets a kill password and is singled out by a mask on its EPC.
    rig.driver.setSelectMaskOffset(0, 88);
    rig.driver.setSelectMaskPattern(0, MaskPattern("01", 8));
    rig.driver.setSelectMaskEnabled(0, true);
    rig.driver.writeMemory(BankType::reserved, 0, "CAFE0001", kNoPassword);
    rig.driver.killTag("CAFE0002");
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::invalidPassword);
    EXPECT_EQ(rig.driver.killTag("CAFE0001"), ResultCode::noError);
    EXPECT_EQ(rig.lastAccess().actionState(), ActionState::kill);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::noError);
    rig.driver.setSelectMaskEnabled(0, false);
    EXPECT_EQ(rig.inventory(), (std::vector<int>{0, 2}));
}

TEST(Qm5520SimulatedModule, BlockPermanentLockReportsAndGuardsItsBlocks) {
    Rig rig(1);
    rig.reader->updateTags([](std::vector<SimTag>& tags) { tags[0].user.resize(64); });
    ResultOutcome done;
    // Blocks 0 and 2 of the first 16 of user memory.
    rig.driver.blockPermaLock(kNoPassword, ReadLock::lock, BankType::user, 0, 1, {0xA0, 0x00},
                              done.completion());
    EXPECT_EQ(done.code, ResultCode::noError);
    EXPECT_EQ(rig.lastAccess().actionState(), ActionState::blockPermanentLock);
    rig.driver.blockPermaLock(kNoPassword, ReadLock::read, BankType::user, 0, 1, {},
                              done.completion());
    EXPECT_EQ(rig.lastAccess().data(), (Bytes{0xA0, 0x00}));

    rig.driver.writeMemory(BankType::user, 1, "1234", kNoPassword);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::noError);
    rig.driver.blockWriteMemory(BankType::user, 1, "12345678", kNoPassword);
    EXPECT_EQ(rig.lastAccess().resultCode(), ResultCode::memoryLocked);
}

TEST(Qm5520SimulatedModule, TheSettingsRecordRoundTrips) {
    Rig rig;
    rig.driver.setSkuType(SkuType::us);
    RfidConfig config;
    config.continuousMode = false;
    config.target = Target::b;
    config.session = Session::s1;
    config.algorithm = AlgorithmType::fixedQ;
    config.startQ = 6;
    config.minQ = 2;
    config.maxQ = 9;
    config.toggleTarget = false;
    config.power = 30;
    config.inventoryTime = 400;
    config.idleTime = 20;
    config.dwellTime = 250;
    config.rfMode = RfMode::rf_241;
    config.selectMode = SelectMode::deselected;
    config.lbt = true;
    config.tagFocus = true;
    config.powerSavingMode = PowerSavingMode::powerOn;
    config.lbtConfigure = -65;
    config.asMode = AntennaSwitchingMode::nonStop;
    ResultOutcome set;
    rig.driver.setRfidConfig(config, set.completion());
    ASSERT_EQ(set.code, ResultCode::noError);
    Outcome<RfidConfig> got;
    rig.driver.getRfidConfig(got.completion());
    ASSERT_EQ(got.code, ResultCode::noError);
    EXPECT_EQ(*got.value, config);

    // Single settings land in the same module state.
    ResultOutcome one;
    rig.driver.setPower(21, one.completion());
    rig.driver.setGlobalBand(GlobalBandType::taiwan, one.completion());
    Outcome<int> power;
    rig.driver.getPower(power.completion());
    EXPECT_EQ(power.value, 21);
    Outcome<GlobalBandType> band;
    rig.driver.getGlobalBand(band.completion());
    EXPECT_EQ(band.value, GlobalBandType::taiwan);
    Outcome<uint16_t> dwell;
    rig.driver.getDwellTime(dwell.completion());
    EXPECT_EQ(dwell.value, 250);

    rig.module->setBusy(true);
    rig.driver.getRfidConfig(got.completion());
    EXPECT_EQ(got.code, ResultCode::busyDevice);
    rig.module->setBusy(false);
    rig.driver.setFixedFrequency({902750, 915250}, one.completion());
    Outcome<std::vector<uint32_t>> fixed;
    rig.driver.getFixedFrequency(fixed.completion());
    EXPECT_EQ(fixed.value, (std::vector<uint32_t>{902750, 915250}));
}

}  // namespace
}  // namespace orvane::test
