// The radio settings and select masks through a reader connected to each simulated reader: every
// setting the model supports read back as it was written, select masks that decide which tags an
// inventory sees, and the select-mask list's edges.

#include <gtest/gtest.h>

#include <any>
#include <map>
#include <set>

#include "orvanerfid/reader/EventSequence.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"
#include "sim/SimVk210Module.h"
#include "uhf/UhfAppDelegate.h"
#include "uhf/UhfRowCalls.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;

// ---- A value other than the one read, chosen by the setting's type ---------------------------

template <typename T>
T another(const T& now, BaseUhf& uhf) {
    const auto next = [&now](const auto& cases) {
        if (cases.empty()) {
            ADD_FAILURE() << "No value to choose from";
            return now;
        }
        const auto at = std::find(cases.begin(), cases.end(), now);
        return at == cases.end() || at + 1 == cases.end() ? *cases.begin() : *(at + 1);
    };
    if constexpr (std::is_same_v<T, bool>) {
        return !now;
    } else if constexpr (std::is_same_v<T, GlobalBandType>) {
        const auto bands = answerOf<std::vector<GlobalBandType>>(
            [&](auto done) { uhf.supportedGlobalBand(std::move(done)); });
        return next(bands.second.value_or(std::vector{now}));
    } else if constexpr (std::is_same_v<T, RfMode>) {
        return next(uhf.supportedRfModes());
    } else if constexpr (std::is_enum_v<T>) {
        return next(allCases<T>());
    } else if constexpr (std::is_same_v<T, std::vector<uint32_t>>) {
        const T pair{902750, 915250};
        return now == pair ? T{915250} : pair;
    } else if constexpr (std::is_same_v<T, RfidConfig>) {
        RfidConfig changed = now;
        changed.power = another(static_cast<int>(now.power), uhf);
        return changed;
    } else {
        // Numbers in the range of every module: power and Q, times, dwell time, LBT threshold.
        const auto either = [&now](T first, T second) { return now == first ? second : first; };
        if constexpr (std::is_same_v<T, int>) {
            return either(12, 11);
        } else if constexpr (std::is_same_v<T, unsigned>) {
            return either(300, 200);
        } else if constexpr (std::is_same_v<T, uint16_t>) {
            return either(500, 400);
        } else {
            static_assert(std::is_same_v<T, int16_t>, "a setting of a new value type");
            return either(-60, -50);
        }
    }
}

// One setting of the operation list: its getter and setter paired by name and value type.
struct Setting {
    std::string name;
    UhfParamId id;
    // Reads the setting, writes another value and reads it back.
    std::function<void(BaseUhf&)> roundTrip;
    std::function<ResultCode(BaseUhf&)> writeAny;
};

class SettingList {
  public:
    SettingList() {
#define ORV_TEST_SETTING_(state, name, id, signature, params) add(#name, id, &BaseUhf::name);
#define ORV_TEST_SKIP_(state, name, id, signature, params)
        ORV_UHF_OPERATIONS(ORV_TEST_SKIP_, ORV_TEST_SETTING_)
#undef ORV_TEST_SETTING_
#undef ORV_TEST_SKIP_
    }
    const std::vector<Setting>& settings() const {
        return settings_;
    }

  private:
    template <typename T>
    void add(std::string name, std::optional<UhfParamId>,
             void (BaseUhf::*get)(UhfValueCompletion<T>)) {
        getters_[name] = get;
    }
    template <typename P>
    void add(std::string name, std::optional<UhfParamId> id,
             void (BaseUhf::*set)(P, UhfResultCompletion)) {
        using T = std::remove_cvref_t<P>;
        using Getter = void (BaseUhf::*)(UhfValueCompletion<T>);
        const auto found = getters_.find("get" + name.substr(3));
        if (!id || name.rfind("set", 0) != 0 || found == getters_.end()) return;
        const Getter* get = std::any_cast<Getter>(&found->second);
        if (!get) return;
        const auto read = [get = *get](BaseUhf& uhf) {
            return answerOf<T>([&](auto done) { (uhf.*get)(std::move(done)); });
        };
        const auto write = [set](BaseUhf& uhf, const T& value) {
            return codeOf([&](auto done) { (uhf.*set)(value, std::move(done)); });
        };
        settings_.push_back({name.substr(3), *id,
                             [read, write](BaseUhf& uhf) {
                                 const auto now = read(uhf);
                                 ASSERT_EQ(now.first, kOk);
                                 ASSERT_TRUE(now.second);
                                 const T value = another(*now.second, uhf);
                                 EXPECT_EQ(write(uhf, value), kOk);
                                 const auto back = read(uhf);
                                 EXPECT_EQ(back.first, kOk);
                                 EXPECT_TRUE(back.second == std::optional<T>(value));
                             },
                             [write](BaseUhf& uhf) { return write(uhf, T{}); }});
    }
    template <typename... A>
    void add(std::string, std::optional<UhfParamId>, void (BaseUhf::*)(A...)) {}

    std::map<std::string, std::any> getters_;
    std::vector<Setting> settings_;
};

// ---- The fixture -----------------------------------------------------------------------------

// The EPCs an inventory reports.
class EpcRecorder : public UhfDelegate {
  public:
    void readTag(std::shared_ptr<UhfReader>, std::shared_ptr<TagInfo> tagInfo) override {
        std::lock_guard guard(lock_);
        epcs_.insert(tagInfo->strEPC());
        ++reports_;
    }
    void accessResult(std::shared_ptr<UhfReader>, const AccessResultEventArgs&) override {}
    std::set<std::string> epcs() const {
        std::lock_guard guard(lock_);
        return epcs_;
    }
    int reports() const {
        std::lock_guard guard(lock_);
        return reports_;
    }

  private:
    mutable std::mutex lock_;
    std::set<std::string> epcs_;
    int reports_ = 0;
};

// The model's simulated reader with its radio module's commands (the Vk210's Qm5520 rows).
template <typename Model>
std::shared_ptr<typename Model::Sim> radioSim() {
    auto sim = Model::makeSim();
    if constexpr (std::is_same_v<Model, Vk210Model>) addVk210ModuleRows(*sim);
    sim->setTags(makeSimTags(8));
    return sim;
}

template <typename Model>
class UhfSettingsEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(f.connected()); }

    BaseUhf& uhf() { return *f.reader->uhf(); }
    std::string epcOf(std::size_t index) { return toHexString((*f.sim->tags())[index].epc); }

    // The EPCs one inventory reports: each simulated tag is reported once, then nothing more.
    // The simulator hands its round of these few tags to the link in one piece; the stop's reply
    // follows it on the link, and the reader's Stop follows its tags in the line.
    // The tags an inventory sees, stopped once `expected` tags have been heard: the stream of
    // each tag once takes its own time, and a stop made before it ends would cut it.
    std::set<std::string> inventoryEpcs(std::size_t expected) {
        auto recorder = std::make_shared<EpcRecorder>();
        uhf().setDelegate(recorder);
        EXPECT_EQ(codeOf([&](auto done) { uhf().inventory(done); }), kOk);
        EXPECT_TRUE(waitUntil([&] { return recorder->epcs().size() >= expected; }));
        EXPECT_EQ(codeOf([&](auto done) { uhf().stop(done); }), kOk);
        EXPECT_TRUE(waitUntil([&] {
            return f.reader->actionState() == ActionState::stop && f.reader->eventLine().isIdle();
        }));
        return recorder->epcs();
    }
    std::optional<SelectMaskParam> entry(std::size_t index) {
        return answerOf<SelectMaskParam>(
                   [&](auto done) { uhf().getSelectMask(index, std::move(done)); })
            .second;
    }
    void expectHealthy() {
        EXPECT_EQ(f.reader->_failCount(), 0);
        EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
    }

    ModelReader<Model> f{radioSim<Model>()};
};

TYPED_TEST_SUITE(UhfSettingsEndToEndTest, ReaderModels, ModelName);

TYPED_TEST(UhfSettingsEndToEndTest, EverySupportedSettingReadsBackAsWritten) {
    BaseUhf& uhf = this->uhf();
    const SettingList list;
    int supported = 0;
    for (const Setting& setting : list.settings()) {
        SCOPED_TRACE(setting.name);
        if (!uhf.isSupport(setting.id)) {
            EXPECT_EQ(setting.writeAny(uhf), ResultCode::notSupported);
            continue;
        }
        ++supported;
        setting.roundTrip(uhf);
    }
    EXPECT_GE(supported, 15);  // the pairing found the settings of the list
    this->expectHealthy();
}

TYPED_TEST(UhfSettingsEndToEndTest, ASelectMaskDecidesWhichTagsAnInventorySees) {
    BaseUhf& uhf = this->uhf();
    ASSERT_EQ(codeOf([&](auto done) { uhf.setSelectMode(SelectMode::selected, done); }), kOk);
    // TID byte 7 holds the tag's index: 000001xx matches the tags 4 to 7 of 8.
    const SelectMaskParam mask(true, MaskTarget::sl, MaskAction::matchAssertElseDeassert,
                               BankType::tid, 56, MaskPattern("04", 6));
    ASSERT_EQ(codeOf([&](auto done) { uhf.setSelectMask(0, mask, done); }), kOk);
    EXPECT_EQ(this->inventoryEpcs(4), (std::set<std::string>{this->epcOf(4), this->epcOf(5),
                                                             this->epcOf(6), this->epcOf(7)}));

    ASSERT_EQ(codeOf([&](auto done) { uhf.setSelectMaskEnabled(0, false, done); }), kOk);
    std::set<std::string> all;
    for (std::size_t i = 0; i < 8; ++i)
        all.insert(this->epcOf(i));
    EXPECT_EQ(this->inventoryEpcs(all.size()), all);
    this->expectHealthy();
}

TYPED_TEST(UhfSettingsEndToEndTest, ARefusedSelectMaskLeavesTheListAsItWas) {
    BaseUhf& uhf = this->uhf();
    ASSERT_EQ(codeOf([&](auto done) { uhf.setSelectMode(SelectMode::selected, done); }), kOk);
    // TID byte 7 holds the tag's index: 000001xx matches the tags 4 to 7 of 8.
    const SelectMaskParam good(true, MaskTarget::sl, MaskAction::matchAssertElseDeassert,
                               BankType::tid, 56, MaskPattern("04", 6));
    ASSERT_EQ(codeOf([&](auto done) { uhf.setSelectMask(0, good, done); }), kOk);
    const auto with = [&good](auto change) {
        SelectMaskParam entry = good;
        change(entry);
        return entry;
    };
    const MaskPattern bits320(std::string(80, 'A'), 320);
    const MaskPattern hex66(std::string(66, 'A'), 8);  // 33 bytes: one more than a Vk640 mask
    const uint64_t far = uint64_t{1} << 40;
    const bool vk640 = std::is_same_v<TypeParam, Vk640Model>;
    const struct {
        const char* name;
        std::function<void(UhfResultCompletion)> write;
        ResultCode code;
        bool vk640Only;
    } cases[] = {
        {"320 bits, whole",
         [&](auto done) {
             uhf.setSelectMask(0, with([&](auto& e) { e.setMaskPattern(bits320); }), done);
         },
         ResultCode::outOfRange, false},
        {"320 bits, field", [&](auto done) { uhf.setSelectMaskPattern(0, bits320, done); },
         ResultCode::outOfRange, false},
        {"offset 2^40, whole",
         [&](auto done) { uhf.setSelectMask(0, with([&](auto& e) { e.setOffset(far); }), done); },
         ResultCode::outOfRange, false},
        {"offset 2^40, field", [&](auto done) { uhf.setSelectMaskOffset(0, far, done); },
         ResultCode::outOfRange, false},
        {"66 hex characters, whole",
         [&](auto done) {
             uhf.setSelectMask(0, with([&](auto& e) { e.setMaskPattern(hex66); }), done);
         },
         ResultCode::invalidParameter, true},
        {"66 hex characters, field", [&](auto done) { uhf.setSelectMaskPattern(0, hex66, done); },
         ResultCode::invalidParameter, true},
    };
    for (const auto& c : cases) {
        if (c.vk640Only && !vk640) continue;
        SCOPED_TRACE(c.name);
        EXPECT_EQ(codeOf(c.write), c.code);
        const auto kept = this->entry(0);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->offset(), 56u);
        EXPECT_EQ(kept->maskPattern().pattern(), "04");
        EXPECT_EQ(kept->maskPattern().length(), 6u);
        this->expectHealthy();
    }
    // The list still works: an inventory selects by it and the next write is taken.
    EXPECT_EQ(this->inventoryEpcs(4), (std::set<std::string>{this->epcOf(4), this->epcOf(5),
                                                             this->epcOf(6), this->epcOf(7)}));
    EXPECT_EQ(codeOf([&](auto done) { uhf.setSelectMaskEnabled(0, false, done); }), kOk);
    this->expectHealthy();
}

TYPED_TEST(UhfSettingsEndToEndTest, SelectMaskListEdges) {
    BaseUhf& uhf = this->uhf();
    const auto maskRows = [] {
        std::vector<Row> rows;
        for (Row& row : completionRows()) {
            if (row.name.find("SelectMask") != std::string::npos) rows.push_back(std::move(row));
        }
        return rows;
    }();
    const auto isRead = [](const Row& row) {
        return row.name.rfind("get", 0) == 0 && row.name.find("MaxSize") == std::string::npos;
    };
    // A fresh list: every read is refused with the driver's own code and its substitute, and
    // none of them counts as a link failure.
    for (const Row& row : maskRows) {
        if (!isRead(row)) continue;
        SCOPED_TRACE(row.name);
        const auto o = row.call(uhf);
        ASSERT_TRUE(waitUntil([&] { return o->answers.load() == 1; }));
        EXPECT_EQ(o->code.load(), ResultCode::notFoundParameter);
        EXPECT_FALSE(o->hasValue.load());
        EXPECT_TRUE(this->f.logged(row.signature + " - Result Code: Not Found Parameter"));
    }
    this->expectHealthy();

    // A field write creates the entry with the other fields new.
    EXPECT_EQ(codeOf([&](auto done) { uhf.setSelectMaskTarget(1, MaskTarget::s2, done); }), kOk);
    const auto created = this->entry(1);
    ASSERT_TRUE(created);
    EXPECT_FALSE(created->isUsed());
    EXPECT_EQ(created->target(), MaskTarget::s2);
    EXPECT_EQ(created->bank(), BankType::epc);
    EXPECT_EQ(created->offset(), 0u);

    // Indices 0 to 2 exist; 3 is out of range.
    EXPECT_EQ(codeOf([&](auto done) { uhf.setSelectMaskOffset(2, 16, done); }), kOk);
    EXPECT_EQ(codeOf([&](auto done) { uhf.setSelectMaskOffset(3, 16, done); }),
              ResultCode::outOfRange);
    EXPECT_TRUE(this->f.logged(
        "setSelectMaskOffset(index:offset:completion:) - Result Code: Out of Range"));

    // A Reserved bank: stored by its field, refused whole with nothing stored; so is a pattern
    // that is no hex text.
    EXPECT_EQ(codeOf([&](auto done) { uhf.setSelectMaskBank(2, BankType::reserved, done); }), kOk);
    SelectMaskParam whole(true, MaskTarget::sl, MaskAction::matchAssert, BankType::reserved, 32,
                          MaskPattern("E2", 8), Truncate::partialEpc);
    EXPECT_EQ(codeOf([&](auto done) { uhf.setSelectMask(0, whole, done); }),
              ResultCode::invalidParameter);
    whole.setBank(BankType::epc);
    whole.setMaskPattern(MaskPattern("E2G", 8));
    EXPECT_EQ(codeOf([&](auto done) { uhf.setSelectMask(0, whole, done); }),
              ResultCode::invalidParameter);
    EXPECT_FALSE(this->entry(0));

    // A whole entry reads back whole, its truncation included; patterns are copies.
    MaskPattern pattern("E2", 8);
    whole.setMaskPattern(pattern);
    whole.setIsUsed(false);
    EXPECT_EQ(codeOf([&](auto done) { uhf.setSelectMask(0, whole, done); }), kOk);
    pattern.setPattern("FF");
    const auto stored = this->entry(0);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->turncation(), Truncate::partialEpc);
    EXPECT_EQ(stored->action(), MaskAction::matchAssert);
    EXPECT_EQ(stored->offset(), 32u);
    auto readPattern =
        answerOf<MaskPattern>([&](auto done) { uhf.getSelectMaskPattern(0, std::move(done)); });
    ASSERT_TRUE(readPattern.second);
    readPattern.second->setPattern("FF");
    EXPECT_EQ(this->entry(0)->maskPattern().pattern(), "E2");
    this->expectHealthy();

    // During an inventory every list operation is refused before the driver is asked; the
    // highest index is still answered.
    ASSERT_EQ(codeOf([&](auto done) { uhf.inventory(done); }), kOk);
    ASSERT_TRUE(waitUntil([&] { return this->f.reader->actionState() == ActionState::inventory; }));
    for (const Row& row : maskRows) {
        SCOPED_TRACE(row.name);
        const auto o = row.call(uhf);
        EXPECT_EQ(o->answers.load(), 1);
        const bool limit = row.name.find("MaxSize") != std::string::npos;
        EXPECT_EQ(o->code.load(), limit ? kOk : ResultCode::inOperation);
        EXPECT_EQ(o->hasValue.load(), limit);
    }
    EXPECT_EQ(codeOf([&](auto done) { uhf.stop(done); }), kOk);
    EXPECT_TRUE(waitUntil([&] { return this->f.reader->actionState() == ActionState::stop; }));
    EXPECT_EQ(this->entry(0)->maskPattern().pattern(), "E2");
    this->expectHealthy();
}

// A refusal of the caller's input or of a value the module does not take, made with nothing sent
// to the reader, keeps its own code and is no failed exchange: ten in a row of each kind leave
// the reader connected, and the next valid call succeeds.
TYPED_TEST(UhfSettingsEndToEndTest, RefusalsInARowKeepTheReaderConnected) {
    BaseUhf& uhf = this->uhf();
    constexpr bool vk210 = std::is_same_v<TypeParam, Vk210Model>;
    // A tag access the driver refuses once started: its failure record, Stop again, and the code
    // of the access result the application receives (timeout when none comes).
    const auto app = std::make_shared<AppDelegate>(this->f.reader);
    uhf.setDelegate(app);
    const auto access = [&](const std::function<ResultCode()>& start, const std::string& failed) {
        const int before = this->f.logCount(failed);
        const std::size_t results = app->results().size();
        const ResultCode code = start();
        if (code != kOk) return code;
        EXPECT_TRUE(waitUntil([&] {
            return this->f.logCount(failed) > before && app->results().size() > results &&
                   this->f.reader->actionState() == ActionState::stop;
        }));
        const auto received = app->results();
        EXPECT_EQ(received.size(), results + 1);
        return received.size() > results ? received[results].resultCode() : ResultCode::timeout;
    };
    struct Refusal {
        std::string name;
        bool applies;
        std::function<ResultCode()> call;
    };
    const std::vector<Refusal> refusals = {
        {"power above the range", uhf.isSupport(UhfParamId::power),
         [&] { return codeOf([&](auto done) { uhf.setPower(99, done); }); }},
        {"select mode 0", uhf.isSupport(UhfParamId::selectMode),
         [&] {
             return codeOf([&](auto done) { uhf.setSelectMode(static_cast<SelectMode>(0), done); });
         }},
        {"link frequency code 7", uhf.isSupport(UhfParamId::blf),
         [&] { return codeOf([&](auto done) { uhf.setBlf(static_cast<BlfType>(7), done); }); }},
        {"a frequency outside the band", uhf.isSupport(UhfParamId::fixedFrequency),
         [&] { return codeOf([&](auto done) {
                   uhf.setFixedFrequency({902750, 1000}, done);
               }); }},
        // The Vk210 module's offset field has 16 bits.
        {"a write at word 70000", vk210,
         [&] {
             return access(
                 [&] { return uhf.writeMemory(BankType::user, 70000, "0102", "00000000"); },
                 "writeMemory(bank:offset:data:password:) - Failed to write memory [Out of Range] "
                 "(bank: User Memory Bank, offset: 70000, data: 0102, password: ********)");
         }},
        // Older Vk640 firmware reads at most 32 words at a time.
        {"a read of 40 words on older firmware", !vk210, [&] {
             uhf.uhfModule()->pumpEvent(ProtocolEventId::firmwareVersion, std::string("1.01.10"));
             return access(
                 [&] { return uhf.readMemory(BankType::user, 0, 40, "00000000"); },
                 "readMemory(bank:offset:length:password:) - Failed to start read memory (bank: "
                 "User Memory Bank, offset: 0, length: 40, password: ********)");
         }}};
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        if (!refusal.applies) continue;
        for (int i = 0; i < 10; ++i)
            ASSERT_EQ(refusal.call(), ResultCode::outOfRange) << i;
        this->expectHealthy();
        EXPECT_EQ(answerOf<int>([&](auto done) { uhf.getPower(std::move(done)); }).first, kOk);
    }
}

// A fixed-frequency reply too short for its own count, or an empty one, is no empty list.
TYPED_TEST(UhfSettingsEndToEndTest, AShortFixedFrequencyReplyIsAnInvalidResponse) {
    if (!this->uhf().isSupport(UhfParamId::fixedFrequency)) GTEST_SKIP();
    for (const Bytes& reply : {Bytes{0x02, 0x00, 0x0E, 0x1A, 0x3C}, Bytes{}}) {
        this->f.sim->setSetting("fixedFrequency", reply);
        const auto answer = answerOf<std::vector<uint32_t>>(
            [&](auto done) { this->uhf().getFixedFrequency(std::move(done)); });
        EXPECT_EQ(answer.first, ResultCode::invalidResponse);
        EXPECT_FALSE(answer.second);
    }
}

}  // namespace
}  // namespace orvane::test
