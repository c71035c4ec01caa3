#include "orvanerfid/core/Enum.h"

#include <gtest/gtest.h>

namespace orvane {

#define ORV_TEST_SPARSE(X)      \
    X(late, 300, "Late")        \
    X(first, 7, "First")        \
    X(negative, -2, "Negative") \
    X(auto_, 0, "Auto")

ORV_ENUM(TestSparse, int16_t, ORV_TEST_SPARSE);

namespace {

TEST(EnumMechanism, DeclarationOrderLookupAndTexts) {
    constexpr auto cases = allCases<TestSparse>();
    static_assert(cases.size() == 4);
    EXPECT_EQ(cases[0], TestSparse::late);  // declaration order, not raw order
    EXPECT_EQ(cases[3], TestSparse::auto_);
    EXPECT_EQ(fromRaw<TestSparse>(-2), TestSparse::negative);
    EXPECT_EQ(fromRaw<TestSparse>(300), TestSparse::late);
    for (int raw : {-3, 1, 6, 8, 299, 301, 40000, -40000}) {
        EXPECT_FALSE(fromRaw<TestSparse>(raw).has_value()) << raw;
    }
    EXPECT_FALSE(fromRaw<TestSparse>(uint64_t{1} << 40).has_value());
    EXPECT_EQ(description(TestSparse::auto_), "Auto");
    EXPECT_EQ(caseName(TestSparse::auto_), "auto_");
    EXPECT_EQ(description(static_cast<TestSparse>(5)), "");
    EXPECT_FALSE(isKnown(static_cast<TestSparse>(5)));
    static_assert(fromRaw<TestSparse>(7) == TestSparse::first);
}

}  // namespace
}  // namespace orvane
