#include <gtest/gtest.h>

#include <string>

#include "orvanerfid/core/EngineParamId.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/params/ParamData.h"
#include "orvanerfid/params/ParamNumberCodec.h"

namespace orvane {
namespace {

TEST(ParamNumberCodec, WritesEachRangeEdgeAndReadsItBack) {
    struct Case {
        int64_t number;
        Bytes wire;
    };
    const Case cases[] = {
        {0, {0x00}},
        {239, {0xEF}},
        {256, {0xF0, 0x00}},
        {495, {0xF0, 0xEF}},
        {512, {0xF1, 0x00}},
        {751, {0xF1, 0xEF}},
        {768, {0xF2, 0x00}},
        {1007, {0xF2, 0xEF}},
        {1024, {0xF8, 0x04, 0x00}},
        {1937, {0xF8, 0x07, 0x91}},
        {65535, {0xF8, 0xFF, 0xFF}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParamNumberCodec::encode(c.number), c.wire) << c.number;
        EXPECT_EQ(ParamNumberCodec::decode(c.wire, 0), c.number) << c.number;
        EXPECT_EQ(ParamNumberCodec::length(c.wire[0]), c.wire.size()) << c.number;
    }
    // Read at an index inside a longer list, and never past its end.
    EXPECT_EQ(ParamNumberCodec::decode(Bytes{0x99, 0xF1, 0x43, 0x07}, 1), 579);
    EXPECT_THROW(ParamNumberCodec::decode(Bytes{0x01, 0xF2}, 1), ReaderException);
    EXPECT_THROW(ParamNumberCodec::decode(Bytes{0x01}, 1), ReaderException);

    for (int64_t number : {-1, 240, 255, 496, 511, 752, 767, 1008, 1023, 65536}) {
        try {
            ParamNumberCodec::encode(number);
            ADD_FAILURE() << number;
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::invalidParameter);
            EXPECT_EQ(e.message(), "Unknown parameter number - " + std::to_string(number));
        }
    }
}

TEST(ZebraParamId, EveryNumberIsWrittenAndReadAsItselfAndMapsBothWays) {
    EXPECT_EQ(allCases<ZebraParamId>().size(), 163u);
    for (ZebraParamId id : allCases<ZebraParamId>()) {
        EXPECT_EQ(ParamNumberCodec::decode(ParamNumberCodec::encode(rawValue(id)), 0),
                  rawValue(id));
        EXPECT_EQ(toZebraParamId(toEngineParamId(id)), id) << caseName(id);
    }
    const std::pair<unsigned, int> numbers[] = {{0, 1}, {5, 3}, {83, 0}, {1005, 136}};
    for (auto [engineId, number] : numbers)
        EXPECT_EQ(rawValue(*toZebraParamId(*fromRaw<EngineParamId>(engineId))), number);
    EXPECT_EQ(toEngineParamId(*fromRaw<ZebraParamId>(136)), EngineParamId::decodeSessionTimeout);
    EXPECT_FALSE(fromRaw<ZebraParamId>(240).has_value());
}

TEST(ParamDataCodec, ReportsTheBytesEachItemTakes) {
    // Every form, with a trailing byte that belongs to the next item.
    const std::pair<Bytes, std::size_t> cases[] = {
        {{0x01, 0x01, 0x99}, 2},
        {{0xF4, 0xF1, 0x43, 0x03, 0xE7, 0x99}, 5},
        {{0xF3, 0x05, 0x03, 0x41, 0x42, 0x43, 0x99}, 6},
        {{0xF6, 0xF8, 0x07, 0x91, 0x00, 0x99}, 5},
        {{0xF7, 0x05, 0x02, 0x01, 0x00, 0xAA, 0xBB, 0x99}, 7},
    };
    for (const auto& [wire, expected] : cases) {
        std::size_t length = 0;
        ParamDataCodec::decode(wire, length);
        EXPECT_EQ(length, expected) << toHexString(wire);
    }

    // A reply of a string item and a byte item: re-encoding the string item would give 4 bytes
    // and land inside it; the reported length walks to the byte item.
    const Bytes reply = {0xF3, 0x05, 0x03, 0x41, 0x42, 0x43, 0x88, 0x31};
    std::size_t at = 0;
    std::vector<ParamData> items;
    while (at < reply.size()) {
        std::size_t length = 0;
        items.push_back(ParamDataCodec::decode(ByteView(reply).subspan(at), length));
        at += length;
    }
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], ParamData(5, {0x41, 0x42, 0x43}));
    EXPECT_EQ(items[1], ParamData(136, {0x31}));
}

}  // namespace
}  // namespace orvane
