#include "orvanerfid/params/EngineParam.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

using Texts = std::vector<std::string>;
constexpr EngineParamId kId = EngineParamId::upcAOnOff;

TEST(BaseParam, NewParameterHoldsInitialValuesAndRangeSetterTouchesOnlyTheRange) {
    BaseParam param(ParamType::engine);
    EXPECT_EQ(param._value() + param._default(), "");
    EXPECT_TRUE(param._options().empty());
    EXPECT_EQ(param.minVersion(), 0u);
    EXPECT_EQ(param.maxVersion(), 0xFFFFFFFFu);
    EXPECT_EQ(param.toDeviceParam(), nullptr);
    EXPECT_EQ(param.toEngineParam(), nullptr);
    param.set_value("v");
    param.set_options({"a"});
    param.initOption(5, 9);
    EXPECT_EQ(param._min(), 5);
    EXPECT_EQ(param._max(), 9);
    EXPECT_EQ(param._value(), "v");
    EXPECT_EQ(param._options(), Texts{"a"});
    EXPECT_EQ(description(*fromRaw<ParamType>(1)), "Engine");
}

TEST(EngineParam, ConstructorsFillValueDefaultOptionsAndRange) {
    EngineParam enabled(kId, true);
    EXPECT_EQ(enabled.getValue() + enabled.defaultValue(), "11");
    EXPECT_EQ(enabled.options(), (Texts{"0", "1"}));
    EXPECT_EQ(EngineParam(kId, false).getValue(), "0");
    // A text literal is a value, never the Boolean form.
    EngineParam text(kId, "abc");
    EXPECT_EQ(text.getValue(), "abc");
    EXPECT_EQ(text._max(), 0);
    // The default is not checked against the range.
    EXPECT_EQ(EngineParam(kId, 49, 5, 40).getValue(), "49");
    EngineParam listed(kId, "a", {"a", "b"});
    EXPECT_EQ(listed.options(), (Texts{"a", "b"}));
    BaseParam& base = listed;
    EXPECT_EQ(base.toEngineParam(), &listed);
    EXPECT_EQ(base.toDeviceParam(), nullptr);
    EXPECT_EQ(base.type(), ParamType::engine);
}

TEST(EngineParam, IsValidFollowsTheRange) {
    struct Case {
        int64_t min, max;
        const char* text;
        bool valid;
    };
    // clang-format off
    const Case cases[] = {
        {0, 0, "", true}, {0, 0, "abc", true}, {0, 0, "-5", true},
        {5, 99, "5", true}, {5, 99, "+7", true}, {5, 99, "99", true}, {5, 99, "007", true},
        {5, 99, "", false}, {5, 99, "4", false}, {5, 99, "100", false}, {5, 99, " 7", false},
        {5, 99, "7 ", false}, {5, 99, "+", false}, {5, 99, "-", false}, {5, 99, "+-7", false},
        {5, 99, "1.0", false}, {5, 99, "0x10", false},
        {5, 99, "1234567890123456789012345", false},
        {-10, 10, "-10", true}, {-10, 10, "-0", true}, {-10, 10, "-11", false},
        {INT64_MIN, INT64_MAX, "-9223372036854775808", true},
        {INT64_MIN, INT64_MAX, "9223372036854775808", false},
        {INT64_MIN, INT64_MAX, "-9223372036854775809", false},
    };
    // clang-format on
    for (const auto& c : cases) {
        EngineParam param(kId, 0, c.min, c.max);
        EXPECT_EQ(param.isValid(c.text), c.valid) << c.min << ".." << c.max << " '" << c.text;
    }
}

TEST(EngineParam, SetValueStoresAcceptedTextAndRefusesOthersUnchanged) {
    EngineParam param(kId, 10, 0, 255);
    param.setValue("+20");
    EXPECT_EQ(param.getValue() + param.defaultValue(), "+2010");
    try {
        param.setValue("300");
        FAIL() << "no refusal";
    } catch (const ReaderException& e) {
        EXPECT_EQ(e.resultCode(), ResultCode::outOfRange);
        EXPECT_EQ(e.message(), "The value[300] is out of range [0 - 255]");
    }
    EXPECT_EQ(param.getValue(), "+20");
}

TEST(EngineParam, OptionsAreGeneratedOnceAndKept) {
    EngineParam param(kId, 1, 1, 3);
    EXPECT_TRUE(param._options().empty());  // the accessor generates nothing
    EXPECT_EQ(param.options(), (Texts{"1", "2", "3"}));
    param.addOption("7");
    param.addOption("7");
    param.set_max(10);
    EXPECT_EQ(param.options(), (Texts{"1", "2", "3", "7", "7"}));
    EXPECT_TRUE(EngineParam(kId, 0, 3, 1).options().empty());
    EXPECT_EQ(EngineParam(kId, 0, -2, 0).options(), (Texts{"-2", "-1", "0"}));
    EXPECT_EQ(EngineParam(kId, 0, 0, 999).options().size(), 1000u);

    // A range that cannot be listed is refused rather than exhausting memory.
    EngineParam huge(kId, 0, INT64_MIN, INT64_MAX);
    EXPECT_THROW(huge.options(), ReaderException);
    EXPECT_TRUE(huge._options().empty());
}

}  // namespace
}  // namespace orvane
