#include "orvanerfid/params/SelectMaskParam.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(SelectMaskParam, NewEntryHoldsTheDefaults) {
    const SelectMaskParam entry;
    EXPECT_FALSE(entry.isUsed());
    EXPECT_EQ(rawValue(entry.target()), 4);
    EXPECT_EQ(rawValue(entry.action()), 0);
    EXPECT_EQ(rawValue(entry.bank()), 1);
    EXPECT_EQ(entry.offset(), 0u);
    EXPECT_EQ(entry.maskPattern().pattern(), "");
    EXPECT_EQ(entry.maskPattern().length(), 0u);
    EXPECT_EQ(rawValue(entry.turncation()), 0);

    const SelectMaskParam six(true, MaskTarget::s2, MaskAction::elseNegate, BankType::tid, 32,
                              MaskPattern("E2", 8));
    EXPECT_EQ(six.turncation(), Truncate::entireEpc);
    EXPECT_EQ(six.target(), MaskTarget::s2);
    EXPECT_EQ(six.offset(), 32u);
    const SelectMaskParam seven(true, MaskTarget::s2, MaskAction::elseNegate, BankType::tid, 32,
                                MaskPattern("E2", 8), Truncate::partialEpc);
    EXPECT_EQ(seven.turncation(), Truncate::partialEpc);
}

TEST(SelectMaskParam, HoldsItsOwnCopyOfThePattern) {
    MaskPattern pattern("3000", 16);
    SelectMaskParam first;
    SelectMaskParam second;
    first.setMaskPattern(pattern);
    second.setMaskPattern(pattern);

    // Changing the caller's pattern, or a pattern handed out, changes no entry.
    pattern.setPattern("FFFF");
    MaskPattern handedOut = first.maskPattern();
    handedOut.setLength(4);
    EXPECT_EQ(first.maskPattern().pattern(), "3000");
    EXPECT_EQ(first.maskPattern().length(), 16u);
    EXPECT_EQ(second.maskPattern().pattern(), "3000");

    // Neither does a change of one entry reach a copy of it.
    SelectMaskParam copy = first;
    first.setMaskPattern(MaskPattern("AA", 8));
    EXPECT_EQ(copy.maskPattern().pattern(), "3000");
}

}  // namespace
}  // namespace orvane
