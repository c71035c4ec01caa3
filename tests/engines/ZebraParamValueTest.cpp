#include <gtest/gtest.h>

#include <string>

#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/engines/ZebraParamValue.h"

namespace orvane {
namespace {

constexpr auto kByte = ZebraParamId::UPCA;
constexpr auto kWord = ZebraParamId::UserProgrammableSupplementals1;

TEST(ZebraParamValue, TextToBytes) {
    struct Case {
        ZebraParamId id;
        std::string text;
        Bytes bytes;
    };
    const Case cases[] = {
        {kByte, "1", {0x01}},
        {kByte, "+255", {0xFF}},
        {kByte, "0", {0x00}},
        {kWord, "999", {0x03, 0xE7}},
        {kWord, "+65535", {0xFF, 0xFF}},
        {kWord, "-0", {0x00, 0x00}},
        {ZebraParamId::UserProgrammableSupplementals2, "0", {0x00, 0x00}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZebraParamValue::toBytes(c.id, c.text), c.bytes) << c.text;
}

TEST(ZebraParamValue, RefusesTextThatIsNoValueOfTheParameterInsteadOfWritingZero) {
    struct Case {
        ZebraParamId id;
        std::string text;
    };
    const Case cases[] = {
        {kByte, ""},      {kByte, "abc"}, {kByte, "300"},
        {kByte, "256"},   {kByte, "-1"},  {kByte, "-0"},
        {kByte, "1a"},    {kByte, " 1"},  {kByte, "+"},
        {kByte, "++1"},   {kWord, ""},    {kWord, "-5"},
        {kWord, "65536"}, {kWord, "x"},   {kWord, "99999999999999999999"},
    };
    for (const auto& c : cases) {
        try {
            ZebraParamValue::toBytes(c.id, c.text);
            ADD_FAILURE() << caseName(c.id) << " '" << c.text << "'";
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::invalidParameter) << c.text;
        }
    }
    try {
        ZebraParamValue::toBytes(kByte, "abc");
    } catch (const ReaderException& e) {
        EXPECT_EQ(e.message(), "The value[abc] is not a number in 0 - 255");
    }
}

TEST(ZebraParamValue, BytesToText) {
    EXPECT_EQ(ZebraParamValue::toText(kWord, Bytes{0x03, 0xE7}), "999");
    EXPECT_EQ(ZebraParamValue::toText(kByte, Bytes{0x31}), "49");
    EXPECT_EQ(ZebraParamValue::toText(kByte, Bytes{0xFF, 0x01}), "255");
    // A value shorter than the parameter's width is a malformed reply.
    for (const auto& [id, bytes] : {std::pair{kByte, Bytes{}}, std::pair{kWord, Bytes{0x03}}}) {
        try {
            ZebraParamValue::toText(id, bytes);
            ADD_FAILURE() << caseName(id) << " " << toHexString(bytes);
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::invalidResponse);
        }
    }
}

}  // namespace
}  // namespace orvane
