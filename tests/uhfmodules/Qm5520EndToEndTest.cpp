// The Qm5520 driver over the accessory transport and the Vk210 protocol, talking to the
// simulated module of a simulated Vk210 reader.

#include <gtest/gtest.h>

#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/Vk210Protocol.h"
#include "orvanerfid/uhfmodules/UhfModuleQm5520.h"
#include "sim/SimVk210Module.h"
#include "uhfmodules/ModuleTestSupport.h"

namespace orvane::test {
namespace {

const std::string kNoPassword = "00000000";

struct Rig {
    std::shared_ptr<LogCapture> log = LogCapture::install();
    AccessoryManager manager;
    std::shared_ptr<SimVk210> reader = std::make_shared<SimVk210>();
    std::shared_ptr<SimQm5520Module> module = addVk210ModuleRows(*reader);
    std::shared_ptr<SimAccessory> accessory = SimVk210::makeAccessory(reader);
    std::shared_ptr<EATransport> transport = EATransport::create();
    std::shared_ptr<Vk210Protocol> protocol = std::make_shared<Vk210Protocol>(transport);
    std::shared_ptr<EventRecorder> device = std::make_shared<EventRecorder>();
    UhfModuleQm5520 driver{protocol};

    explicit Rig(std::size_t tags = 4) {
        reader->setTags(makeSimTags(tags));
        manager.registerForLocalNotifications();
        manager.attach(accessory);
        transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(accessory));
        EXPECT_TRUE(transport->connect());
        protocol->setDelegate(device);
        protocol->start();
        driver.setPowerMaxOutput(33);
        driver.setPowerMinOutput(5);
    }
    ~Rig() {
        protocol->stop();
        transport->disconnect();
        EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    }

    // The last byte of each EPC an inventory reports, in report order.
    std::vector<int> inventory() {
        const std::size_t before = device->count();
        EXPECT_EQ(driver.inventory(), ResultCode::noError);
        const std::size_t population = reader->tags()->size();
        // The previous inventory's stream has ended: a running stream is this one.
        EXPECT_TRUE(waitUntil(
            [&] { return reader->isStreaming() && reader->reportsStreamed() >= population; }));
        EXPECT_EQ(driver.stop(), ResultCode::noError);
        // The end of the inventory follows every report.
        std::vector<ProtocolEventArgs> events;
        EXPECT_TRUE(waitUntil([&] {
            events = device->events();
            return events.size() > before && events.back().get<ActionState>();
        }));
        std::vector<int> found;
        for (std::size_t i = before; i < events.size(); ++i) {
            if (const auto* tag = events[i].get<TagInfoPtr>())
                found.push_back((*tag)->epc().back());
        }
        return found;
    }

    // Runs a tag access and gives the access result that follows it.
    AccessResultEventArgs access(const std::function<ResultCode()>& operation) {
        const std::size_t before = results();
        EXPECT_EQ(operation(), ResultCode::noError);
        EXPECT_TRUE(waitUntil([&] { return results() > before; }));
        const auto events = device->events();
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (const auto* result = it->get<AccessResultEventArgs>()) return *result;
        }
        return AccessResultEventArgs({}, {}, ActionState::stop, std::nullopt,
                                     ResultCode::otherError);
    }
    std::size_t results() const {
        std::size_t n = 0;
        for (const auto& e : device->events())
            n += e.get<AccessResultEventArgs>() != nullptr;
        return n;
    }
    ResultCode outcome(const std::function<ResultCode()>& operation) {
        return access(operation).resultCode();
    }
    Bytes read(BankType bank, uint16_t word, uint8_t words, const std::string& pw = kNoPassword) {
        const auto result = access([&] { return driver.readMemory(bank, word, words, pw); });
        EXPECT_EQ(result.resultCode(), ResultCode::noError);
        EXPECT_EQ(result.bankType(), bank);
        return result.data();
    }
    ResultCode write(BankType bank, uint16_t word, const std::string& data,
                     const std::string& pw = kNoPassword) {
        return outcome([&] { return driver.writeMemory(bank, word, data, pw); });
    }
};

TEST(Qm5520EndToEnd, InventoriesReturnExactlyTheTagsTheMasksLetThrough) {
    Rig rig(6);
    EXPECT_EQ(rig.inventory(), (std::vector<int>{0, 1, 2, 3, 4, 5}));

    // EPC ...00000003: the last byte 03 at EPC bits 88-95, written as one entry and sent once,
    // its truncation with it.
    const int selects = rig.reader->requestCount(rawValue(OrvRfidCmdId::select));
    EXPECT_EQ(
        rig.driver.setSelectMaskEntry(
            0, SelectMaskParam(true, MaskTarget::sl, MaskAction::matchAssertElseDeassert,
                               BankType::epc, 88, MaskPattern("03", 8), Truncate::partialEpc)),
        ResultCode::noError);
    EXPECT_EQ(rig.reader->requestCount(rawValue(OrvRfidCmdId::select)), selects + 1);
    ASSERT_EQ(rig.module->selectRecords().size(), 1u);
    EXPECT_TRUE(rig.module->selectRecords()[0].truncate);
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

TEST(Qm5520EndToEnd, ReadWriteAndBlockWriteWorkOnTheTagMemory) {
    Rig rig(1);
    auto& d = rig.driver;
    EXPECT_EQ(rig.read(BankType::tid, 0, 2), (Bytes{0xE2, 0x80, 0x11, 0x05}));
    const auto written =
        rig.access([&] { return d.writeMemory(BankType::user, 1, "BEEF", kNoPassword); });
    EXPECT_EQ(written.actionState(), ActionState::writeMemory);
    EXPECT_EQ(written.resultCode(), ResultCode::noError);
    EXPECT_EQ(rig.read(BankType::user, 0, 2), (Bytes{0, 0, 0xBE, 0xEF}));

    // EPC word 2 is the first EPC word: the new EPC shows in the next inventory.
    const auto blockWritten =
        rig.access([&] { return d.blockWriteMemory(BankType::epc, 7, "0009", kNoPassword); });
    EXPECT_EQ(blockWritten.actionState(), ActionState::blockWrite);
    EXPECT_EQ(rig.inventory(), (std::vector<int>{9}));

    EXPECT_EQ(rig.outcome([&] { return d.readMemory(BankType::user, 3, 2, kNoPassword); }),
              ResultCode::memoryOverrun);
    rig.module->setAccessError(0x82);
    EXPECT_EQ(rig.outcome([&] { return d.readMemory(BankType::user, 0, 1, kNoPassword); }),
              ResultCode::insufficientPrivilege);
}

TEST(Qm5520EndToEnd, LocksGuardMemoryUntilTheAccessPasswordIsGiven) {
    Rig rig(1);
    auto& d = rig.driver;
    const std::string password = "11223344";
    EXPECT_EQ(rig.write(BankType::reserved, 2, password), ResultCode::noError);
    LockParam lockUser;
    lockUser.setUser(LockState::lock);
    lockUser.setAccessPassword(LockState::lock);
    EXPECT_EQ(rig.outcome([&] { return d.lockTag(lockUser, kNoPassword); }),
              ResultCode::invalidPassword);
    EXPECT_EQ(rig.outcome([&] { return d.lockTag(lockUser, password); }), ResultCode::noError);
    EXPECT_TRUE(rig.module->locksOf(rig.reader->tags()->at(0).tid).locked[4]);

    EXPECT_EQ(rig.write(BankType::user, 0, "AAAA"), ResultCode::memoryLocked);
    EXPECT_EQ(rig.outcome([&] { return d.readMemory(BankType::reserved, 2, 2, kNoPassword); }),
              ResultCode::memoryLocked);
    EXPECT_EQ(rig.write(BankType::user, 0, "AAAA", password), ResultCode::noError);

    // A permanent lock cannot be undone.
    PermaLockParam forever;
    forever.setEpc(LockState::lock);
    EXPECT_EQ(rig.outcome([&] { return d.permaLockTag(forever, password); }), ResultCode::noError);
    LockParam unlockEpc;
    unlockEpc.setEpc(LockState::unlock);
    EXPECT_EQ(rig.outcome([&] { return d.lockTag(unlockEpc, password); }),
              ResultCode::memoryLocked);
    EXPECT_EQ(rig.write(BankType::epc, 2, "1234", password), ResultCode::memoryLocked);
}

TEST(Qm5520EndToEnd, AKilledTagIsGoneFromTheNextInventory) {
    Rig rig(3);
    auto& d = rig.driver;
    EXPECT_EQ(rig.outcome([&] { return d.killTag("00000000"); }), ResultCode::zeroKillPassword);
    // Tag 1 gets a kill password and is singled out by a mask on its EPC.
    d.setSelectMaskOffset(0, 88);
    d.setSelectMaskPattern(0, MaskPattern("01", 8));
    d.setSelectMaskEnabled(0, true);
    EXPECT_EQ(rig.write(BankType::reserved, 0, "CAFE0001"), ResultCode::noError);
    EXPECT_EQ(rig.outcome([&] { return d.killTag("CAFE0002"); }), ResultCode::invalidPassword);
    const auto killed = rig.access([&] { return d.killTag("CAFE0001"); });
    EXPECT_EQ(killed.actionState(), ActionState::kill);
    EXPECT_EQ(killed.resultCode(), ResultCode::noError);
    d.setSelectMaskEnabled(0, false);
    EXPECT_EQ(rig.inventory(), (std::vector<int>{0, 2}));
}

TEST(Qm5520EndToEnd, BlockPermanentLockReportsAndGuardsItsBlocks) {
    Rig rig(1);
    auto& d = rig.driver;
    rig.reader->updateTags([](std::vector<SimTag>& tags) { tags[0].user.resize(64); });
    const auto permaLock = [&](ReadLock mode, std::vector<uint8_t> mask) {
        return rig.access([&] {
            ResultOutcome done;
            d.blockPermaLock(kNoPassword, mode, BankType::user, 0, 1, mask, done.completion());
            return done.code;
        });
    };
    // Blocks 0 and 2 of the first 16 of user memory.
    const auto locked = permaLock(ReadLock::lock, {0xA0, 0x00});
    EXPECT_EQ(locked.actionState(), ActionState::blockPermanentLock);
    EXPECT_EQ(locked.resultCode(), ResultCode::noError);
    EXPECT_EQ(permaLock(ReadLock::read, {}).data(), (Bytes{0xA0, 0x00}));

    EXPECT_EQ(rig.write(BankType::user, 1, "1234"), ResultCode::noError);
    EXPECT_EQ(
        rig.outcome([&] { return d.blockWriteMemory(BankType::user, 1, "12345678", kNoPassword); }),
        ResultCode::memoryLocked);
}

TEST(Qm5520EndToEnd, TheSettingsRecordRoundTrips) {
    Rig rig;
    rig.driver.setSkuType(SkuType::us);
    const RfidConfig config = unusualConfig();
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
    EXPECT_EQ(dwell.value, 500);

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
