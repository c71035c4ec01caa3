// The C entry points against the UHF object's operation list: one exported function per selector,
// exactly one callback per accepted call under a driver that throws, refusals without a callback,
// the record conversions, and a delegate whose removal waits for the event in flight.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <stdexcept>
#include <thread>

#include "orvanerfid/capi/CApi.h"
#include "orvanerfid/capi/UhfEntryList.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"
#include "uhf/UhfTestSupport.h"

namespace orvane::test {
namespace {

// ---- The list side: selectors and the rows that have no entry of their own.

// "setPower(power:completion:)" of row setPower gives "setPowerWithPower:completion:"; a name
// ending in "On" takes its first label directly ("cwOnAntennaId:...").
std::string selectorOf(const UhfOperationInfo& row) {
    const std::string signature = row.signature;
    const auto open = signature.find('(');
    std::string selector = row.name;
    std::string labels = signature.substr(open + 1, signature.size() - open - 2);
    bool first = true;
    for (std::size_t colon; (colon = labels.find(':')) != std::string::npos;) {
        std::string label = labels.substr(0, colon);
        labels.erase(0, colon + 1);
        if (first) {
            label[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(label[0])));
            if (!selector.ends_with("On")) selector += "With";
            first = false;
        }
        selector += label + ":";
    }
    return selector;
}

std::string functionOf(std::string selector) {
    if (selector.ends_with(":")) selector.pop_back();
    for (char& c : selector)
        if (c == ':') c = '_';
    return "orv_" + selector;
}

// A getter whose value is an optional number, flag, enumeration or list of enumerations is
// reached only through its `_OC` twin.
template <typename T>
constexpr bool isOptionalScalar = std::is_arithmetic_v<T> || std::is_enum_v<T>;
template <typename T>
constexpr bool isOptionalScalar<std::vector<T>> = std::is_enum_v<T>;
template <typename Member>
struct TwinOnly : std::false_type {};
template <typename... P>
struct TwinOnly<void (BaseUhf::*)(P...)> {
    using Completion = std::tuple_element_t<sizeof...(P) - 1, std::tuple<std::decay_t<P>...>>;
    template <typename C>
    struct Of : std::false_type {};
    template <typename T>
    struct Of<UhfValueCompletion<T>> : std::bool_constant<isOptionalScalar<T>> {};
    static constexpr bool value = Of<Completion>::value;
};

std::map<std::string, bool> twinOnlyRows() {
    std::map<std::string, bool> rows;
#define ORV_TEST_ROW_(state, name, id, signature, params) \
    rows[#name] = TwinOnly<decltype(&BaseUhf::name)>::value;
    ORV_UHF_OPERATIONS(ORV_TEST_ROW_, ORV_TEST_ROW_)
#undef ORV_TEST_ROW_
    return rows;
}

// ---- The entry side: calling any entry with sample arguments.

template <typename T>
T sample() {
    if constexpr (std::is_same_v<T, const char*>) {
        return "00000000";
    } else if constexpr (std::is_same_v<T, const orv_mask_pattern*>) {
        static const orv_mask_pattern pattern{"", 0};
        return &pattern;
    } else if constexpr (std::is_same_v<T, const orv_select_mask*>) {
        static const orv_select_mask mask{false, 0, 0, 1, 0, {"", 0}, 0};
        return &mask;
    } else if constexpr (std::is_pointer_v<T> && std::is_class_v<std::remove_pointer_t<T>>) {
        static const std::remove_const_t<std::remove_pointer_t<T>> record{};
        return &record;
    } else {
        return T{};  // numbers, lists (NULL with count 0), callbacks, the context
    }
}

// A C callback of any kind that counts its calls in the context.
template <typename... V>
void counted(void* context, uint16_t, V...) {
    ++*static_cast<std::atomic<int>*>(context);
}
template <typename Callback>
struct Counting;
template <typename... V>
struct Counting<void (*)(void*, uint16_t, V...)> {
    static constexpr void (*function)(void*, uint16_t, V...) = &counted<V...>;
};

// Calls a completion entry with sample arguments, `handle`, and a counting callback or NULL.
template <typename... A>
uint16_t callEntry(uint16_t (*entry)(orv_uhf*, A...), orv_uhf* handle, bool withCallback,
                   std::atomic<int>* calls) {
    std::tuple<A...> args{sample<A>()...};
    constexpr std::size_t n = sizeof...(A);
    using Callback = std::tuple_element_t<n - 2, std::tuple<A...>>;
    std::get<n - 2>(args) = withCallback ? Counting<Callback>::function : nullptr;
    std::get<n - 1>(args) = calls;
    return std::apply([&](auto... a) { return entry(handle, a...); }, args);
}
template <typename... A>
uint16_t callAccess(uint16_t (*entry)(orv_uhf*, A...), orv_uhf* handle) {
    return entry(handle, sample<A>()...);
}

struct Entry {
    std::string function;
    std::string operation;
    std::function<uint16_t(orv_uhf*, bool, std::atomic<int>*)> call;  // completion entries
    std::function<uint16_t(orv_uhf*)> access;                         // tag accesses
};

const std::vector<Entry>& entries() {
#define ORV_TEST_CALL_(function, operation, ...)                       \
    Entry{#function, #operation,                                       \
          [](orv_uhf* h, bool withCallback, std::atomic<int>* calls) { \
              return callEntry(&function, h, withCallback, calls);     \
          },                                                           \
          nullptr},
#define ORV_TEST_ACCESS_(function, operation, ...) \
    Entry{#function, #operation, nullptr, [](orv_uhf* h) { return callAccess(&function, h); }},
    static const std::vector<Entry> list = {ORV_C_UHF_ENTRIES(ORV_TEST_ACCESS_, ORV_TEST_CALL_)};
#undef ORV_TEST_CALL_
#undef ORV_TEST_ACCESS_
    return list;
}

TEST(CApiTable, EverySelectorHasOneExportedFunctionCallingItsOperation) {
    const auto twinOnly = twinOnlyRows();
    std::map<std::string, std::vector<std::string>> byOperation;
    for (const Entry& e : entries())
        byOperation[e.operation].push_back(e.function);
    std::size_t selectors = 0;
    for (const UhfOperationInfo& row : uhfOperations()) {
        SCOPED_TRACE(row.name);
        if (twinOnly.at(row.name)) {
            EXPECT_EQ(byOperation.count(row.name), 0u);
            EXPECT_TRUE(twinOnly.count(std::string(row.name) + "_OC"));
            continue;
        }
        ++selectors;
        EXPECT_EQ(byOperation[row.name], std::vector<std::string>{functionOf(selectorOf(row))});
    }
    EXPECT_EQ(entries().size(), selectors);

    void* library = dlopen(ORV_SHARED_LIBRARY, RTLD_LAZY | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const Entry& e : entries())
        EXPECT_NE(dlsym(library, e.function.c_str()), nullptr) << e.function;
    dlclose(library);
}

// ---- Against a UHF object whose driver throws in every operation.

class ThrowingModule : public BaseUhfModule {
  public:
    ThrowingModule() : BaseUhfModule(nullptr, "ThrowingModule") {
        setModuleType(UhfModuleType::qm5520);
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define ORV_THROW_SYNC_(name, params)               \
    ResultCode name params override {               \
        throw std::runtime_error("driver failure"); \
    }
#define ORV_THROW_ASYNC_(name, params)              \
    void name params override {                     \
        throw std::runtime_error("driver failure"); \
    }
    ORV_UHF_MODULE_OPERATIONS(ORV_THROW_SYNC_, ORV_THROW_ASYNC_)
#undef ORV_THROW_SYNC_
#undef ORV_THROW_ASYNC_
#pragma GCC diagnostic pop
};

class DriverUhf : public BaseUhf {
  public:
    DriverUhf(std::weak_ptr<ReaderLink> reader, std::shared_ptr<BaseUhfModule> module)
        : BaseUhf(std::move(reader), nullptr, nullptr, "DriverUhf") {
        uhfModule_ = std::move(module);
        const auto all = allCases<UhfParamId>();
        setSupportedIds({all.begin(), all.end()});
    }
    bool initModule() override { return true; }
};

class CApiUhf : public ::testing::Test {
  protected:
    const ConsoleOff console;
    void TearDown() override { orv_uhf_release(handle); }

    std::shared_ptr<StandInReader> reader = std::make_shared<StandInReader>();
    std::shared_ptr<DriverUhf> uhf =
        std::make_shared<DriverUhf>(reader, std::make_shared<ThrowingModule>());
    orv_uhf* handle = capi::wrapUhf(uhf);
};

TEST_F(CApiUhf, EachAcceptedCallAnswersOnceAndEachRefusalNever) {
    std::vector<std::pair<std::string, std::shared_ptr<std::atomic<int>>>> answers;
    for (const Entry& e : entries()) {
        SCOPED_TRACE(e.function);
        if (e.access) {
            EXPECT_EQ(e.access(nullptr), capi::kRefused);
            // Accepted or refused by the pipeline; the code comes back at once.
            EXPECT_NE(e.access(handle), capi::kFailed);
            continue;
        }
        auto calls = std::make_shared<std::atomic<int>>(0);
        EXPECT_EQ(e.call(nullptr, true, calls.get()), capi::kRefused);
        EXPECT_EQ(e.call(handle, false, calls.get()), capi::kRefused);
        EXPECT_EQ(calls->load(), 0);
        EXPECT_EQ(e.call(handle, true, calls.get()), 0);
        answers.emplace_back(e.function, calls);
    }
    // A NULL text, record or list is refused the same way.
    std::atomic<int> calls{0};
    EXPECT_EQ(orv_killTagWithPassword(handle, nullptr), capi::kRefused);
    EXPECT_EQ(orv_setSelectMaskPatternWithIndex_maskPattern_completion(
                  handle, 0, nullptr, Counting<orv_result_cb>::function, &calls),
              capi::kRefused);
    EXPECT_EQ(orv_setFixedFrequencyWithFixedFrequency_completion(
                  handle, nullptr, 2, Counting<orv_result_cb>::function, &calls),
              capi::kRefused);
    for (const auto& [function, count] : answers)
        EXPECT_TRUE(waitUntil([&] { return count->load() >= 1; })) << function;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (const auto& [function, count] : answers)
        EXPECT_EQ(count->load(), 1) << function;
    EXPECT_EQ(calls.load(), 0);
}

// A delegate that holds the first tag report until released.
struct HeldDelegate {
    std::atomic<int> entered{0};
    std::atomic<bool> release{false};
    std::atomic<int> reports{0};
    Bytes epc;
    static void readTag(void* context, const orv_tag_info* tag) {
        auto* self = static_cast<HeldDelegate*>(context);
        ++self->entered;
        while (!self->release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        self->epc.assign(tag->epc, tag->epc + tag->epcCount);
        ++self->reports;
    }
};

TEST_F(CApiUhf, RemovingTheDelegateWaitsForTheEventInFlight) {
    HeldDelegate held;
    const orv_uhf_delegate delegate{&held, &HeldDelegate::readTag, nullptr};
    ASSERT_EQ(orv_uhf_set_delegate(handle, &delegate), 0);
    auto tag = std::make_shared<TagInfo>();
    tag->setEPC(Bytes{0xE2, 0x00, 0x12, 0x34});
    std::thread event([&] { uhf->readTag(nullptr, tag); });
    ASSERT_TRUE(waitUntil([&] { return held.entered.load() == 1; }));
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        EXPECT_EQ(orv_uhf_set_delegate(handle, nullptr), 0);
        removed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(removed.load());
    held.release = true;
    event.join();
    remover.join();
    EXPECT_TRUE(removed.load());
    EXPECT_EQ(held.epc, tag->epc());
    uhf->readTag(nullptr, tag);  // after the removal: not delivered
    EXPECT_EQ(held.reports.load(), 1);
}

// ---- Records copied in and out keep every field in its place.

TEST(CApiRecords, RecordsCrossTheBoundaryFieldForField) {
    const orv_rfid_config config{false, 1, 2,   3,   4, 5,    6,    true, false, 21,  201, 7, 5,
                                 14,    2, 999, 300, 8, true, true, true, 9,     -60, 10,  11};
    RfidConfig expected;
    expected.continuousMode = false;
    expected.target = static_cast<Target>(1);
    expected.session = static_cast<Session>(2);
    expected.encoding = static_cast<Encoding>(3);
    expected.tariType = static_cast<TariType>(4);
    expected.blfType = static_cast<BlfType>(5);
    expected.algorithm = static_cast<AlgorithmType>(6);
    expected.fastMode = true;
    expected.toggleTarget = false;
    expected.power = 21;
    expected.inventoryTime = 201;
    expected.idleTime = 7;
    expected.startQ = 5;
    expected.maxQ = 14;
    expected.minQ = 2;
    expected.dwellTime = 999;
    expected.rfMode = static_cast<RfMode>(300);
    expected.selectMode = static_cast<SelectMode>(8);
    expected.lbt = expected.fastId = expected.tagFocus = true;
    expected.powerSavingMode = static_cast<PowerSavingMode>(9);
    expected.lbtConfigure = -60;
    expected.asMode = static_cast<AntennaSwitchingMode>(10);
    expected.fsMode = static_cast<FrequencySwitchingMode>(11);
    EXPECT_EQ(capi::In<RfidConfig>::from(&config), expected);
    EXPECT_EQ(capi::fromC(capi::toC(expected)), expected);

    const orv_select_mask mask{true, 2, 3, 1, 32, {"E200", 16}, 1};
    static SelectMaskParam given;
    capi::give([](void*, uint16_t,
                  const orv_select_mask* out) { given = capi::In<SelectMaskParam>::from(out); },
               nullptr, 0, capi::In<SelectMaskParam>::from(&mask));
    EXPECT_TRUE(given.isUsed());
    EXPECT_EQ(rawValue(given.target()), 2);
    EXPECT_EQ(rawValue(given.action()), 3);
    EXPECT_EQ(given.offset(), 32u);
    EXPECT_EQ(given.maskPattern().pattern(), "E200");
    EXPECT_EQ(given.maskPattern().length(), 16u);
    EXPECT_EQ(rawValue(given.turncation()), 1);
}

}  // namespace
}  // namespace orvane::test
