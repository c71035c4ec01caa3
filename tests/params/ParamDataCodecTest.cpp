#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/params/ParamData.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

TEST(ParamDataCodec, EncodesNumberThenValueWithTheWordMarkerOnlyFor579And580) {
    struct Case {
        int64_t number;
        Bytes data, wire;
    };
    const Case cases[] = {
        {1, {0x01}, {0x01, 0x01}},
        {397, {0x07}, {0xF0, 0x8D, 0x07}},
        {579, {0x03, 0xE7}, {0xF4, 0xF1, 0x43, 0x03, 0xE7}},
        {580, {}, {0xF4, 0xF1, 0x44}},
        {1113, {0x01}, {0xF8, 0x04, 0x59, 0x01}},
        {810, {0x02}, {0xF2, 0x2A, 0x02}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParamDataCodec::encode(ParamData(c.number, c.data)), c.wire) << c.number;

    // 240, 496 and 1010 have no wire form; 100 and 70000 are no Zebra parameter.
    for (int64_t number : {-1, 100, 240, 496, 1010, 70000}) {
        try {
            ParamDataCodec::encode(ParamData(number, {1}));
            ADD_FAILURE() << number;
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::invalidParameter);
            EXPECT_EQ(e.message(), "Unknown parameter number - " + std::to_string(number));
        }
    }
}

TEST(ParamDataCodec, DecodesEveryForm) {
    struct Case {
        Bytes wire;
        ParamData item;
    };
    const Case cases[] = {
        {{0x01, 0x01}, ParamData(1, {1})},
        {{0x00, 0x02}, ParamData(0, {2})},  // 0x00 is no marker
        {{0xF4, 0xF1, 0x43, 0x03, 0xE7}, ParamData(579, {3, 231})},
        {{0xF3, 0x05, 0x03, 0x41, 0x42, 0x43}, ParamData(5, {65, 66, 67})},
        {{0xF6, 0xF8, 0x07, 0x91, 0x00}, ParamData(1937, {})},
        {{0xF7, 0x05, 0x02, 0x01, 0x00, 0xAA, 0xBB}, ParamData(5, {0xAA, 0xBB}, 256)},
        {{0xF0, 0x8D, 0x07, 0x99}, ParamData(397, {7})},  // trailing byte ignored
        {{0xF5, 0x09}, ParamData(245, {9})},              // not a marker: a number
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParamDataCodec::decode(c.wire), c.item) << c.item.description();

    // Encoding a decoded item gives the item's own form only for the byte and word forms.
    const Bytes string = {0xF3, 0x05, 0x03, 0x41, 0x42, 0x43};
    EXPECT_EQ(ParamDataCodec::encode(ParamDataCodec::decode(string)),
              (Bytes{0x05, 0x41, 0x42, 0x43}));
    EXPECT_EQ(ParamDataCodec::encode(ParamDataCodec::decode(Bytes{0xF1, 0x43, 0x07})),
              (Bytes{0xF4, 0xF1, 0x43, 0x07}));
}

TEST(ParamDataCodec, RefusesItemsThatEndEarly) {
    // Empty; marker only; value, numbers, word, length, value and offset cut.
    const Bytes cases[] = {{},
                           {0xF3},
                           {0x05},
                           {0xF0},
                           {0xF8, 0x07},
                           {0xF4, 0xF1, 0x43, 0x03},
                           {0xF3, 0x05},
                           {0xF3, 0x05, 0x04, 0x41},
                           {0xF7, 0x05, 0x02, 0x01}};
    for (const Bytes& wire : cases) {
        try {
            ParamDataCodec::decode(wire);
            ADD_FAILURE() << toHexString(wire);
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::invalidResponseData) << toHexString(wire);
            EXPECT_EQ(e.message(), "Invalid data length");
        }
    }
}

TEST(ParamDataCodec, TracesEachDecodingStepWithoutTag) {
    class Sink : public orvLoggerDelegate {
      public:
        void logEvent(const LogEventArg& e) override {
            if (!e.tag()) lines.push_back(e.log());
        }
        std::vector<std::string> lines;
    };
    auto sink = std::make_shared<Sink>();
    ASSERT_TRUE(orvLogger::registerDelegateIfNone(sink));
    const test::ConsoleOff console;
    ParamDataCodec::decode(Bytes{0xF7, 0x05, 0x01, 0x00, 0x02, 0xAA});
    EXPECT_THROW(ParamDataCodec::decode(Bytes{0xF3, 0xF0}), ReaderException);
    const std::vector<std::string> expected = {
        "decode() - data: [247, 5, 1, 0, 2, 170]",
        "decode() - dataType: multiPacket, paramNumberIndex: 1",
        "decode() - paramNumber: 5, paramNumberLength: 1",
        "decode() - ret: ParamData { number = 5, data = [170] }",
        "decode() - data: [243, 240]",  // the steps passed before a failure stay written
        "decode() - dataType: string, paramNumberIndex: 1",
    };
    EXPECT_EQ(sink->lines, expected);
}

TEST(ParamDataCodec, JoinsListsAndCollectionsIterate) {
    EXPECT_EQ(ParamDataCodec::joinBytes({{1, 2}, {}, {3}}), (Bytes{1, 2, 3}));
    ParamDataCollection items;
    items.paramDataMap.emplace(579, ParamData(579, {3, 231}));
    items.paramDataMap.emplace(1, ParamData(1, {1}));
    int64_t sum = 0;
    for (const ParamData& item : items)
        sum += item.number;
    EXPECT_EQ(sum, 580);
    ParamNumberCollection numbers{{5, 3, 9}};
    EXPECT_EQ(std::vector<int64_t>(numbers.begin(), numbers.end()),
              (std::vector<int64_t>{5, 3, 9}));
}

}  // namespace
}  // namespace orvane
