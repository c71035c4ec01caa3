// The Qm5520 UHF object on a simulated Vk210 with its simulated module.

#include <gtest/gtest.h>

#include "orvanerfid/commands/OrvRfidCmdId.h"
#include "orvanerfid/uhf/UhfQm5520.h"
#include "orvanerfid/uhfmodules/UhfModuleQm5520.h"
#include "uhf/UhfTestSupport.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;
const std::string kNoPassword = "00000000";

class UhfQm5520Test : public UhfRig<Vk210StandIn> {
  protected:
    int regionRequests() const { return sim->requestCount(rawValue(OrvRfidCmdId::getRegion)); }
    // The access result the driver reports for an access started with 0x0000.
    AccessResultEventArgs access(const std::function<ResultCode()>& operation) {
        const std::size_t before = app->results().size();
        EXPECT_EQ(operation(), kOk);
        const auto result = nextResult(before);
        EXPECT_TRUE(result.has_value());
        // The reader is back in Stop once the driver has started the access.
        EXPECT_TRUE(waitUntil([&] { return reader->state.load() == ActionState::stop; }));
        return result.value_or(
            AccessResultEventArgs({}, {}, ActionState::stop, std::nullopt, ResultCode::otherError));
    }
};

TEST_F(UhfQm5520Test, InitModuleLearnsTheSkuOrTheSkuOfTheRegion) {
    struct Case {
        Bytes sku;
        Bytes region;
        bool learnt;
        SkuType expected;
        int regionRequests;
    };
    const Case cases[] = {
        {{0x02}, {0x00}, true, SkuType::european, 0}, {{0x01}, {0x01}, true, SkuType::us, 0},
        {{0x04}, {0x01}, true, SkuType::japanese, 0}, {{0x03}, {0x06}, true, SkuType::us, 1},
        {{0x00}, {0x08}, true, SkuType::japanese, 1}, {{0x00}, {0x01}, true, SkuType::european, 1},
        {{0x00}, {0xFF}, false, SkuType::us, 1},      {{0x00}, {0x09}, false, SkuType::us, 1},
        {{0x00}, {}, false, SkuType::us, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.sku) + " " + testing::PrintToString(c.region));
        sim->setSetting("sku", c.sku);
        sim->setSetting("region", c.region);
        uhf().uhfModule()->setSkuType(SkuType::us);
        reader->sku = SkuType::unknown;
        log->clear();
        const int before = regionRequests();
        EXPECT_EQ(uhf().initModule(), c.learnt);
        EXPECT_EQ(uhf().uhfModule()->skuType(), c.expected);
        // The reader learns the SKU through the protocol and the device.
        EXPECT_EQ(reader->sku.load(), c.learnt ? c.expected : SkuType::unknown);
        EXPECT_EQ(regionRequests() - before, c.regionRequests);
        EXPECT_EQ(log->count("initModule() Get unknown region", LogLevel::error), c.learnt ? 0 : 1);
    }
    // A refusing status on the SKU reply: false at once, no region request.
    sim->setSetting("sku", {0x00});
    sim->setReplyFaults(SimReplyFaults{{}, 0x01, 1});
    const int before = regionRequests();
    EXPECT_FALSE(uhf().initModule());
    EXPECT_EQ(log->count("initModule() error: ", LogLevel::error), 1);
    EXPECT_EQ(regionRequests(), before);
}

TEST_F(UhfQm5520Test, SupportedOperationsRfModesAndDriverLimits) {
    const auto& ids = uhf().supportedIds();
    EXPECT_EQ(ids.size(), 44u);
    for (UhfParamId id : allCases<UhfParamId>()) {
        const bool refused = id == UhfParamId::encoding || id == UhfParamId::tari ||
                             id == UhfParamId::blf || id == UhfParamId::fastMode;
        EXPECT_EQ(uhf().isSupport(id), !refused) << description(id);
    }
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    const auto& modes = uhf().supportedRfModes();
    ASSERT_EQ(modes.size(), 37u);
    EXPECT_EQ(rawValue(modes[0]), 103);
    EXPECT_EQ(rawValue(modes[1]), 11);
    EXPECT_EQ(rawValue(modes[2]), 102);
    EXPECT_EQ(rawValue(modes[34]), 185);
    EXPECT_EQ(rawValue(modes[35]), 285);
    EXPECT_EQ(rawValue(modes[36]), 382);
    const auto driver = uhf().uhfModule();
    EXPECT_EQ(uhf().uhfModuleType(), UhfModuleType::qm5520);
    EXPECT_EQ(driver->powerMaxOutput(), 33);
    EXPECT_EQ(driver->powerMinOutput(), 5);
    EXPECT_EQ(driver->selectMaskMaxSize(), 2);
    EXPECT_EQ(std::static_pointer_cast<UhfModuleQm5520>(driver)->inventoryTimeMinValue(), 150);
}

TEST_F(UhfQm5520Test, InventoryDeliversEveryTagOnceAndAFailedStartReturnsToStop) {
    sim->setTags(makeSimTags(1000));
    sim->setInventoryOnce(true);
    EXPECT_EQ(await([&](auto done) { uhf().inventory(done); }), kOk);
    ASSERT_TRUE(waitUntil([&] { return app->reads().size() == 1000; }));
    EXPECT_EQ(await([&](auto done) { uhf().stop(done); }), kOk);
    EXPECT_TRUE(waitUntil([&] { return reader->state.load() == ActionState::stop; }));
    const auto reads = app->reads();
    const auto rssi = app->rssi();
    for (const auto& tag : *sim->tags()) {
        const std::string epc = toHexString(tag.epc);
        ASSERT_EQ(reads.count(epc), 1u);
        EXPECT_EQ(reads.at(epc), 1);
        EXPECT_FLOAT_EQ(rssi.at(epc), tag.rssi / 100.0f);
    }

    // A busy module refuses the start: Inventory then Stop, the driver's code, one failure.
    reader->clearJournal();
    sim->setReplyFaults(SimReplyFaults{{}, 0x01, 1});
    const ResultCode refused = await([&](auto done) { uhf().inventory(done); });
    EXPECT_NE(refused, kOk);
    EXPECT_EQ(reader->journal(), (std::vector<std::string>{"action Inventory", "action Stop"}));
    EXPECT_EQ(log->count("inventory(completion:) - Failed to start inventory", LogLevel::error), 1);
    EXPECT_EQ(reader->failures.load(), 1);
}

TEST_F(UhfQm5520Test, TagMemoryAccessThroughTheObject) {
    EXPECT_EQ(access([&] {
                  return uhf().writeMemory(BankType::user, 0, "CAFEBABE", kNoPassword);
              }).resultCode(),
              kOk);
    const auto read = access([&] { return uhf().readMemory(BankType::user, 0, 2, kNoPassword); });
    EXPECT_EQ(read.resultCode(), kOk);
    EXPECT_EQ(read.data(), (Bytes{0xCA, 0xFE, 0xBA, 0xBE}));
    EXPECT_EQ(read.bankType(), BankType::user);

    // A block write posts its own access result (Write Memory, the driver's start code) besides
    // the driver's.
    const std::size_t before = app->results().size();
    EXPECT_EQ(uhf().blockWriteMemory(BankType::user, 2, "12345678", kNoPassword), kOk);
    ASSERT_TRUE(waitUntil([&] { return app->results().size() >= before + 2; }));
    const auto results = app->results();
    const auto own =
        std::find_if(results.begin() + static_cast<long>(before), results.end(),
                     [](const auto& r) { return r.actionState() == ActionState::writeMemory; });
    ASSERT_NE(own, results.end());
    EXPECT_EQ(own->resultCode(), kOk);
    EXPECT_EQ(own->bankType(), BankType::user);
    EXPECT_EQ(access([&] { return uhf().readMemory(BankType::user, 2, 2, kNoPassword); }).data(),
              (Bytes{0x12, 0x34, 0x56, 0x78}));

    // Lock and permanent lock with an access password, then a kill.
    ASSERT_EQ(access([&] {
                  return uhf().writeMemory(BankType::reserved, 0, "CAFE0001CAFE0002", kNoPassword);
              }).resultCode(),
              kOk);
    LockParam lockUser;
    lockUser.setUser(LockState::lock);
    EXPECT_EQ(access([&] { return uhf().lockTag(lockUser, "cafe0002"); }).resultCode(), kOk);
    EXPECT_TRUE(sim->tags()->at(0).tid.size() > 0);
    PermaLockParam forever;
    forever.setEpc(LockState::lock);
    EXPECT_EQ(access([&] { return uhf().permaLockTag(forever, "CAFE0002"); }).resultCode(), kOk);
    const auto killed = access([&] { return uhf().killTag("CAFE0001"); });
    EXPECT_EQ(killed.actionState(), ActionState::kill);
    EXPECT_EQ(killed.resultCode(), kOk);
    EXPECT_EQ(reader->failures.load(), 0);

    // A block write the busy module refuses still ends with its own access result, carrying the
    // driver's code.
    sim->setReplyFaults(SimReplyFaults{{}, 0x01, -1});
    const std::size_t atBusy = app->results().size();
    EXPECT_EQ(uhf().blockWriteMemory(BankType::user, 2, "0000", kNoPassword), kOk);
    const auto busy = nextResult(atBusy);
    ASSERT_TRUE(busy.has_value());
    EXPECT_EQ(busy->actionState(), ActionState::writeMemory);
    EXPECT_EQ(busy->resultCode(), ResultCode::busyDevice);
    sim->setReplyFaults(SimReplyFaults{{}, std::nullopt, 0});
    EXPECT_EQ(reader->failures.load(), 1);
}

TEST_F(UhfQm5520Test, UserDataInventoryChecksItsPassword) {
    const std::string sig =
        "inventoryWithUserSpecifiedDataOperation(bank:offset:length:password:completion:)";
    for (const std::string password : {"1234567", "1234567G"}) {
        log->clear();
        EXPECT_EQ(await([&](auto done) {
                      uhf().inventoryWithUserSpecifiedDataOperation(BankType::tid, 0, 2, password,
                                                                    done);
                  }),
                  ResultCode::invalidPassword);
        EXPECT_EQ(log->count(sig + " - Invalid password(********)", LogLevel::error), 1);
    }
    EXPECT_EQ(await([&](auto done) {
                  uhf().inventoryWithUserSpecifiedDataOperation(BankType::tid, 0, 2, "abcdef01",
                                                                done);
              }),
              kOk);
    EXPECT_EQ(reader->state.load(), ActionState::inventory);
    EXPECT_EQ(await([&](auto done) { uhf().stop(done); }), kOk);
}

}  // namespace
}  // namespace orvane::test

namespace orvane::test {
namespace {

TEST_F(UhfQm5520Test, TheFactoryMakesTheModuleObjectAndKeepsTheApplicationsDelegate) {
    const auto replaced = makeUhf(UhfModuleType::qm5520, reader, reader->device, reader->uhf());
    EXPECT_NE(replaced, reader->uhf());
    EXPECT_EQ(replaced->delegate(), app);
    EXPECT_EQ(replaced->TAG(), "UhfQm5520");
    const auto st = makeUhf(UhfModuleType::st25ru3993, reader, reader->device);
    EXPECT_EQ(st->uhfModuleType(), UhfModuleType::st25ru3993);
    EXPECT_EQ(st->supportedIds().size(), 29u);
    EXPECT_TRUE(st->supportedRfModes().empty());
    EXPECT_EQ(st->delegate(), nullptr);

    const auto failure = [&](UhfModuleType type, std::shared_ptr<BaseDevice> device) {
        try {
            makeUhf(type, reader, std::move(device));
        } catch (const ReaderException& e) {
            return std::make_pair(e.resultCode(), e.message());
        }
        return std::make_pair(ResultCode::noError, std::string());
    };
    EXPECT_EQ(failure(UhfModuleType::unknown, reader->device),
              std::make_pair(ResultCode::notSupported, std::string("Unknown UHF module type")));
    EXPECT_EQ(failure(UhfModuleType::qm5520, nullptr),
              std::make_pair(ResultCode::otherError, std::string("Device is nil")));
}

}  // namespace
}  // namespace orvane::test
