#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "orvanerfid/engines/EngineTables.h"

namespace orvane {
namespace {

struct Kinds {
    std::size_t rows = 0, rangeRows = 0, zeroOneRows = 0, optionRows = 0;
};

Kinds kindsOf(const std::vector<EngineParam>& table) {
    Kinds kinds;
    for (const EngineParam& p : table) {
        ++kinds.rows;
        if (!p._options().empty()) {
            ++kinds.optionRows;
            EXPECT_EQ(p._min(), 0);
            EXPECT_EQ(p._max(), 0);
            continue;
        }
        ++kinds.rangeRows;
        if (p._min() == 0 && p._max() == 1) ++kinds.zeroOneRows;
        EXPECT_TRUE(p.isValid(p.defaultValue())) << description(p.id());
        EXPECT_EQ(p.getValue(), p.defaultValue());
        EXPECT_EQ(p._minVersion(), 0u);
        EXPECT_EQ(p._maxVersion(), 0xFFFFFFFFu);
    }
    return kinds;
}

std::vector<unsigned> idsOf(const std::vector<EngineParam>& table) {
    std::vector<unsigned> ids;
    for (const EngineParam& p : table)
        ids.push_back(static_cast<unsigned>(rawValue(p.id())));
    return ids;
}

const EngineParam& row(const std::vector<EngineParam>& table, unsigned id) {
    auto it =
        std::ranges::find_if(table, [id](const EngineParam& p) { return rawValue(p.id()) == id; });
    if (it == table.end()) throw std::out_of_range(std::to_string(id));
    return *it;
}

TEST(EngineTables, RowCountsByKind) {
    const Kinds se4107 = kindsOf(makeSE4107SupportedParameters());
    EXPECT_EQ(se4107.rows, 154u);
    EXPECT_EQ(se4107.rangeRows, 148u);
    EXPECT_EQ(se4107.zeroOneRows, 93u);
    EXPECT_EQ(se4107.optionRows, 6u);
    const Kinds se2707 = kindsOf(makeSE2707SupportedParameters());
    EXPECT_EQ(se2707.rows, 138u);
    EXPECT_EQ(se2707.rangeRows, 134u);
    EXPECT_EQ(se2707.zeroOneRows, 83u);
    EXPECT_EQ(se2707.optionRows, 4u);
}

TEST(EngineTables, SE4107RowsInTableOrder) {
    const auto table = makeSE4107SupportedParameters();
    const auto ids = idsOf(table);
    EXPECT_EQ(ids.front(), 0u);
    EXPECT_EQ(table.front().defaultValue(), "1");
    EXPECT_EQ(ids.back(), 1008u);
    // Table order is not id order.
    EXPECT_EQ(std::ranges::find(ids, 300u) - std::ranges::find(ids, 121u), 1);
    EXPECT_EQ(std::ranges::find(ids, 134u) - std::ranges::find(ids, 135u), 1);

    const EngineParam& timeout = row(table, 1005);
    EXPECT_EQ(timeout.defaultValue(), "49");
    EXPECT_TRUE(timeout.isValid("5"));
    EXPECT_TRUE(timeout.isValid("99"));
    EXPECT_FALSE(timeout.isValid("4"));
    EXPECT_FALSE(timeout.isValid("100"));
    EXPECT_FALSE(row(table, 12).isValid("1000"));

    const EngineParam& trigger = row(table, 1004);
    EXPECT_EQ(trigger._options(), (std::vector<std::string>{"0", "7", "8", "9", "10"}));
    EXPECT_TRUE(trigger.isValid("42"));  // options are offered, not checked against

    for (unsigned absent : {15u, 16u, 162u, 174u, 215u, 216u, 217u, 218u, 1003u})
        EXPECT_EQ(std::ranges::count(ids, absent), 0) << absent;
}

TEST(EngineTables, SE2707DiffersFromSE4107AsListed) {
    const auto se4107 = makeSE4107SupportedParameters();
    const auto se2707 = makeSE2707SupportedParameters();
    const auto ids4107 = idsOf(se4107);
    const auto ids2707 = idsOf(se2707);
    const std::set<unsigned> set4107(ids4107.begin(), ids4107.end());
    const std::set<unsigned> set2707(ids2707.begin(), ids2707.end());

    std::vector<unsigned> only4107, only2707, shared4107, shared2707;
    for (unsigned id : ids4107)
        (set2707.count(id) ? shared4107 : only4107).push_back(id);
    for (unsigned id : ids2707)
        (set4107.count(id) ? shared2707 : only2707).push_back(id);
    std::ranges::sort(only4107);
    EXPECT_EQ(only4107, (std::vector<unsigned>{4, 6, 135, 158, 185, 202, 206, 207, 212, 213, 214,
                                               300, 301, 302, 303, 304, 305}));
    EXPECT_EQ(only2707, std::vector<unsigned>{174});
    EXPECT_EQ(shared4107, shared2707);  // the same relative order

    std::vector<unsigned> differing;
    for (unsigned id : shared4107) {
        const EngineParam& a = row(se4107, id);
        const EngineParam& b = row(se2707, id);
        if (a.defaultValue() != b.defaultValue() || a._min() != b._min() || a._max() != b._max() ||
            a._options() != b._options()) {
            differing.push_back(id);
        }
    }
    EXPECT_EQ(differing, (std::vector<unsigned>{13, 87, 88, 102, 103, 116, 117, 118, 127, 128, 130,
                                                131, 150, 160, 161, 189, 190, 200, 1002}));
    EXPECT_EQ(row(se2707, 1002)._options(), (std::vector<std::string>{"0", "2"}));
    EXPECT_EQ(row(se2707, 117).defaultValue(), "14");
}

TEST(EngineTables, EachCallBuildsItsOwnParameters) {
    auto first = makeSE2707SupportedParameters();
    const auto second = makeSE2707SupportedParameters();
    first.front().setValue("0");
    EXPECT_EQ(first.front().getValue(), "0");
    EXPECT_EQ(second.front().getValue(), "1");
    EXPECT_EQ(se2707Rows().size(), second.size());
}

}  // namespace
}  // namespace orvane
