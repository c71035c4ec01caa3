// The radio settings and select masks through each simulated reader: every setting the model
// supports read back as it was written, select masks that decide which tags an inventory sees,
// and the select-mask list's edges.

#include <gtest/gtest.h>

#include "uhf/UhfTestSupport.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;

template <typename Model>
class UhfSettingsEndToEndTest : public UhfRig<Model> {
  protected:
    using UhfRig<Model>::uhf;
    using UhfRig<Model>::await;

    // Runs a getter and waits for its one answer.
    template <typename T>
    std::pair<ResultCode, std::optional<T>> get(
        const std::function<void(UhfValueCompletion<T>)>& getter) {
        auto answer = std::make_shared<std::optional<std::pair<ResultCode, std::optional<T>>>>();
        auto lock = std::make_shared<std::mutex>();
        getter([answer, lock](ResultCode code, std::optional<T> value) {
            std::lock_guard guard(*lock);
            answer->emplace(code, std::move(value));
        });
        EXPECT_TRUE(waitUntil([&] {
            std::lock_guard guard(*lock);
            return answer->has_value();
        }));
        std::lock_guard guard(*lock);
        return answer->value_or(std::pair{ResultCode::timeout, std::nullopt});
    }

    // The EPCs of the tags one inventory reports.
    std::set<std::string> inventoryEpcs() {
        this->app = std::make_shared<AppDelegate>();
        uhf().setDelegate(this->app);
        this->sim->setInventoryOnce(true);
        EXPECT_EQ(await([&](auto done) { uhf().inventory(done); }), kOk);
        // The simulated module reports each tag once, then nothing more.
        std::size_t seen = 0;
        for (int still = 0; still < 5;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            const std::size_t now = this->app->reads().size();
            still = now == seen ? still + 1 : 0;
            seen = now;
        }
        EXPECT_EQ(await([&](auto done) { uhf().stop(done); }), kOk);
        EXPECT_TRUE(waitUntil([&] { return this->reader->state.load() == ActionState::stop; }));
        std::set<std::string> epcs;
        for (const auto& [epc, count] : this->app->reads())
            epcs.insert(epc);
        return epcs;
    }
    std::string epcOf(std::size_t index) { return toHexString((*this->sim->tags())[index].epc); }
};

using Models = ::testing::Types<Vk640StandIn, Vk210StandIn>;
TYPED_TEST_SUITE(UhfSettingsEndToEndTest, Models);

// One setting: its id, a write of a test value, and whether a read gives that value back.
struct RoundTrip {
    UhfParamId id;
    std::function<void(BaseUhf&, UhfResultCompletion)> set;
    std::function<bool(BaseUhf&)> readsBack;
};

#define ORV_ROUND_TRIP_(paramId, setter, getter, Type, value)                                      \
    RoundTrip {                                                                                    \
        UhfParamId::paramId, [=](BaseUhf& u, UhfResultCompletion done) { u.setter(value, done); }, \
            [=, this](BaseUhf& u) {                                                                \
                const auto [code, read] = this->template get<Type>(                                \
                    [&u](UhfValueCompletion<Type> done) { u.getter(std::move(done)); });           \
                EXPECT_EQ(code, kOk) << #getter;                                                   \
                return read == std::optional<Type>(value);                                         \
            }                                                                                      \
    }

TYPED_TEST(UhfSettingsEndToEndTest, EverySupportedSettingReadsBackAsWritten) {
    BaseUhf& uhf = this->uhf();
    ASSERT_TRUE(uhf.initModule());  // the bands follow the module's SKU
    const auto bands = this->template get<std::vector<GlobalBandType>>(
        [&](auto done) { uhf.supportedGlobalBand(std::move(done)); });
    ASSERT_EQ(bands.first, kOk);
    ASSERT_FALSE(bands.second->empty());
    const GlobalBandType band = bands.second->back();
    const RfMode rfMode =
        uhf.supportedRfModes().empty() ? RfMode::rf_103 : uhf.supportedRfModes().back();
    const std::vector<uint32_t> frequencies{902750, 915250};

    const std::vector<RoundTrip> settings = {
        ORV_ROUND_TRIP_(power, setPower, getPower, int, 20),
        ORV_ROUND_TRIP_(continuousMode, setContinuousMode, getContinuousMode, bool, false),
        ORV_ROUND_TRIP_(continuousMode, setContinuousMode, getContinuousMode, bool, true),
        ORV_ROUND_TRIP_(globalBand, setGlobalBand, getGlobalBand, GlobalBandType, band),
        ORV_ROUND_TRIP_(inventoryTime, setInventoryTime, getInventoryTime, unsigned, 300u),
        ORV_ROUND_TRIP_(idleTime, setIdleTime, getIdleTime, unsigned, 100u),
        ORV_ROUND_TRIP_(algorithmType, setAlgorithmType, getAlgorithmType, AlgorithmType,
                        AlgorithmType::fixedQ),
        ORV_ROUND_TRIP_(maxQ, setMaxQ, getMaxQ, int, 12),
        ORV_ROUND_TRIP_(minQ, setMinQ, getMinQ, int, 2),
        ORV_ROUND_TRIP_(startQ, setStartQ, getStartQ, int, 5),
        ORV_ROUND_TRIP_(target, setTarget, getTarget, Target, Target::b),
        ORV_ROUND_TRIP_(session, setSession, getSession, Session, Session::s2),
        ORV_ROUND_TRIP_(selectMode, setSelectMode, getSelectMode, SelectMode,
                        SelectMode::deselected),
        ORV_ROUND_TRIP_(selectMode, setSelectMode, getSelectMode, SelectMode, SelectMode::all),
        ORV_ROUND_TRIP_(encoding, setEncoding, getEncoding, Encoding, Encoding::m4),
        ORV_ROUND_TRIP_(tari, setTari, getTari, TariType, TariType::tari12_5),
        ORV_ROUND_TRIP_(blf, setBlf, getBlf, BlfType, BlfType::blf320),
        ORV_ROUND_TRIP_(toggleTarget, setToggleTarget, getToggleTarget, bool, false),
        ORV_ROUND_TRIP_(fastMode, setFastMode, getFastMode, bool, true),
        ORV_ROUND_TRIP_(dwellTime, setDwellTime, getDwellTime, uint16_t, uint16_t{500}),
        ORV_ROUND_TRIP_(rfMode, setRfMode, getRfMode, RfMode, rfMode),
        ORV_ROUND_TRIP_(lbt, setLbt, getLbt, bool, true),
        ORV_ROUND_TRIP_(fastId, setFastId, getFastId, bool, true),
        ORV_ROUND_TRIP_(tagFocus, setTagFocus, getTagFocus, bool, true),
        ORV_ROUND_TRIP_(fixedFrequency, setFixedFrequency, getFixedFrequency, std::vector<uint32_t>,
                        frequencies),
        ORV_ROUND_TRIP_(phaseData, setPhaseData, getPhaseData, bool, true),
        ORV_ROUND_TRIP_(powerSavingMode, setPowerSavingMode, getPowerSavingMode, PowerSavingMode,
                        PowerSavingMode::powerOn),
        ORV_ROUND_TRIP_(lbtConfigure, setLbtConfigure, getLbtConfigure, int16_t, int16_t{-60}),
        ORV_ROUND_TRIP_(antennaSwitchingMode, setAntennaSwitchingMode, getAntennaSwitchingMode,
                        AntennaSwitchingMode, AntennaSwitchingMode::nonStop),
        ORV_ROUND_TRIP_(frequencySwitchingMode, setFrequencySwitchingMode,
                        getFrequencySwitchingMode, FrequencySwitchingMode,
                        FrequencySwitchingMode::nonStop),
        ORV_ROUND_TRIP_(configurationStorageMode, setCfgStorageMode, getCfgStorageMode,
                        CfgStorageMode, CfgStorageMode::ramOnly),
    };
    for (const RoundTrip& setting : settings) {
        SCOPED_TRACE(std::string(caseName(setting.id)));
        const ResultCode written = this->await([&](auto done) { setting.set(uhf, done); });
        if (!uhf.isSupport(setting.id)) {
            EXPECT_EQ(written, ResultCode::notSupported);
            continue;
        }
        EXPECT_EQ(written, kOk);
        EXPECT_TRUE(setting.readsBack(uhf));
    }

    // The whole record: one field changed through it reads back, the rest as they were.
    auto config = this->template get<RfidConfig>([&](auto done) { uhf.getRfidConfig(done); });
    ASSERT_EQ(config.first, kOk);
    RfidConfig changed = *config.second;
    changed.power = 21;
    EXPECT_EQ(this->await([&](auto done) { uhf.setRfidConfig(changed, done); }), kOk);
    const auto reread = this->template get<int>([&](auto done) { uhf.getPower(done); });
    EXPECT_EQ(reread.second, std::optional<int>(21));
    EXPECT_EQ(this->reader->failures.load(), 0);
}

TYPED_TEST(UhfSettingsEndToEndTest, ASelectMaskDecidesWhichTagsAnInventorySees) {
    BaseUhf& uhf = this->uhf();
    ASSERT_EQ(this->await([&](auto done) { uhf.setSelectMode(SelectMode::selected, done); }), kOk);
    // TID byte 7 holds the tag's index: 000001xx matches the tags 4 to 7 of 8.
    const SelectMaskParam mask(true, MaskTarget::sl, MaskAction::matchAssertElseDeassert,
                               BankType::tid, 56, MaskPattern("04", 6));
    ASSERT_EQ(this->await([&](auto done) { uhf.setSelectMask(0, mask, done); }), kOk);
    EXPECT_EQ(this->inventoryEpcs(), (std::set<std::string>{this->epcOf(4), this->epcOf(5),
                                                            this->epcOf(6), this->epcOf(7)}));

    ASSERT_EQ(this->await([&](auto done) { uhf.setSelectMaskEnabled(0, false, done); }), kOk);
    std::set<std::string> all;
    for (std::size_t i = 0; i < 8; ++i)
        all.insert(this->epcOf(i));
    EXPECT_EQ(this->inventoryEpcs(), all);
}

TYPED_TEST(UhfSettingsEndToEndTest, SelectMaskListEdges) {
    BaseUhf& uhf = this->uhf();
    using Param = std::optional<SelectMaskParam>;
    const auto entry = [&](std::size_t index) {
        return this->template get<SelectMaskParam>(
            [&](auto done) { uhf.getSelectMask(index, std::move(done)); });
    };
    // A fresh list: refused with the driver's own code, four times without a disconnect.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(
            this->template get<bool>([&](auto done) { uhf.getSelectMaskEnabled(1, done); }).first,
            ResultCode::notFoundParameter);
    }
    EXPECT_EQ(this->reader->failures.load(), 0);
    EXPECT_EQ(this->reader->transport->connectState(), ConnectState::connected);

    // A field write creates the entry with the other fields new.
    EXPECT_EQ(this->await([&](auto done) { uhf.setSelectMaskTarget(1, MaskTarget::s2, done); }),
              kOk);
    const auto created = entry(1);
    ASSERT_EQ(created.first, kOk);
    EXPECT_FALSE(created.second->isUsed());
    EXPECT_EQ(created.second->target(), MaskTarget::s2);
    EXPECT_EQ(created.second->bank(), BankType::epc);
    EXPECT_EQ(created.second->offset(), 0u);

    // Indices 0 to 2 exist; 3 is out of range. The highest index is answered during an
    // inventory, which refuses the list operations.
    EXPECT_EQ(this->await([&](auto done) { uhf.setSelectMaskOffset(2, 16, done); }), kOk);
    EXPECT_EQ(this->await([&](auto done) { uhf.setSelectMaskOffset(3, 16, done); }),
              ResultCode::outOfRange);
    EXPECT_EQ(this->log->count("setSelectMaskOffset(index:offset:completion:) - Result Code: Out "
                               "of Range"),
              1);

    // A Reserved bank: stored by its field, refused whole with nothing stored.
    EXPECT_EQ(this->await([&](auto done) { uhf.setSelectMaskBank(2, BankType::reserved, done); }),
              kOk);
    SelectMaskParam whole(true, MaskTarget::sl, MaskAction::matchAssert, BankType::reserved, 32,
                          MaskPattern("E2", 8), Truncate::partialEpc);
    EXPECT_EQ(this->await([&](auto done) { uhf.setSelectMask(0, whole, done); }),
              ResultCode::invalidParameter);
    EXPECT_EQ(entry(0).first, ResultCode::notFoundParameter);
    // A pattern that is no hex text is refused before the entry changes.
    whole.setBank(BankType::epc);
    whole.setMaskPattern(MaskPattern("E2G", 8));
    EXPECT_EQ(this->await([&](auto done) { uhf.setSelectMask(0, whole, done); }),
              ResultCode::invalidParameter);
    EXPECT_EQ(entry(0).first, ResultCode::notFoundParameter);

    // A whole entry reads back whole, its truncation included; its pattern is a copy.
    whole.setMaskPattern(MaskPattern("E2", 8));
    whole.setIsUsed(false);
    EXPECT_EQ(this->await([&](auto done) { uhf.setSelectMask(0, whole, done); }), kOk);
    const Param stored = entry(0).second;
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->turncation(), Truncate::partialEpc);
    EXPECT_EQ(stored->action(), MaskAction::matchAssert);
    EXPECT_EQ(stored->offset(), 32u);
    auto pattern = this->template get<MaskPattern>(
        [&](auto done) { uhf.getSelectMaskPattern(0, std::move(done)); });
    ASSERT_TRUE(pattern.second);
    pattern.second->setPattern("FF");
    EXPECT_EQ(entry(0).second->maskPattern().pattern(), "E2");

    this->reader->state = ActionState::inventory;
    EXPECT_EQ(this->await([&](auto done) { uhf.setSelectMaskEnabled(0, true, done); }),
              ResultCode::inOperation);
    const auto size =
        this->template get<uint8_t>([&](auto done) { uhf.getSelectMaskMaxSize(std::move(done)); });
    EXPECT_EQ(size.first, kOk);
    EXPECT_EQ(size.second, std::optional<uint8_t>(2));
    this->reader->state = ActionState::stop;
    EXPECT_EQ(this->reader->failures.load(), 0);
}

}  // namespace
}  // namespace orvane::test
