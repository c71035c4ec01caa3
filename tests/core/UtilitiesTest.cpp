#include "orvanerfid/core/Utilities.h"

#include <gtest/gtest.h>

#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

TEST(Utilities, CheckSumVectors) {
    struct Case {
        Bytes data;
        Bytes sum;
    };
    const Case cases[] = {
        {{}, {0x00, 0x00}},
        {{0xFF, 0x01}, {0xFF, 0x00}},
        {{0x01}, {0xFF, 0xFF}},
        {{0x61, 0x62, 0x63}, {0xFE, 0xDA}},
        {Bytes(257, 0xFF), {0x00, 0x01}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utilities::getCheckSum(c.data), c.sum) << toHexString(c.data);
        // The data plus its checksum sums to zero modulo 65536.
        uint32_t total = 0;
        for (uint8_t b : c.data)
            total += b;
        total += static_cast<uint32_t>((c.sum[0] << 8) | c.sum[1]);
        EXPECT_EQ(total % 65536, 0u);
    }
}

TEST(Utilities, VersionNumbers) {
    struct Case {
        const char* text;
        uint32_t value;
    };
    const Case cases[] = {
        {"1.2.3", 10203}, {"1.2", 102},
        {"V1.0", 100},    {"1.2.3.4", 1020304},
        {"2", 2},         {"1.10.0", 11000},
        {"", 0},          {"1.100", 200},
        {"1..2", 10002},  {"99999999999999999999999.1", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utilities::versionToUInt32(c.text), c.value) << c.text;
    // Far too many parts: no defined number, but no crash and no quadratic blow-up.
    std::string many(200000, '.');
    EXPECT_NO_THROW(Utilities::versionToUInt32(many));
}

TEST(Utilities, HexTextOut) {
    const Bytes bytes = {0x01, 0xAB, 0x00, 0xFF};
    EXPECT_EQ(toHexString(bytes), "01AB00FF");
    EXPECT_EQ(toHexString({}), "");
    EXPECT_EQ(toHexDumpString(Bytes{0x01, 0xAB}), "0x01 0xAB ");
    EXPECT_EQ(toHexDumpString({}), "");
    EXPECT_EQ(hexByteStrings(bytes), (std::vector<std::string>{"01", "AB", "00", "FF"}));
}

TEST(Utilities, HexTextInRefusesMalformedText) {
    EXPECT_EQ(dataFromHexString("0a 1B"), (Bytes{0x0A, 0x1B}));
    EXPECT_EQ(dataFromHexString(""), Bytes{});
    EXPECT_EQ(hexTextToData("6B1F0d94"), (Bytes{0x6B, 0x1F, 0x0D, 0x94}));
    // Odd length, non-hex characters and (for the strict parser) blanks give no value rather
    // than zero bytes that would become a wrong password or mask.
    for (const char* bad : {"ABC", "G1", "1G", "0x12", "12 34", "-1"}) {
        EXPECT_FALSE(hexTextToData(bad).has_value()) << bad;
    }
    for (const char* bad : {"ABC", "G1", "1G", "0 1 2"}) {
        EXPECT_FALSE(dataFromHexString(bad).has_value()) << bad;
    }
    try {
        requireHexText("ZZ");
        FAIL() << "no exception";
    } catch (const ReaderException& e) {
        EXPECT_EQ(e.resultCode(), ResultCode::invalidParameter);
    }
}

TEST(Utilities, AsciiText) {
    EXPECT_EQ(asciiString(Bytes{'V', 'K', '2'}), "VK2");
    EXPECT_EQ(asciiString(Bytes{'A', 0x80}), "error when encode to ascii");
    EXPECT_FALSE(asciiText(Bytes{0xC3, 0xA9}).has_value());
}

TEST(Utilities, DateTimeTextIsLocalTime) {
    setenv("TZ", "UTC", 1);
    tzset();
    const auto t = std::chrono::system_clock::from_time_t(1700000000);  // 2023-11-14 22:13:20 UTC
    EXPECT_EQ(toDateTimeString(t), "2023-11-14 22:13:20");
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

TEST(Utilities, Utf8Validation) {
    struct Case {
        Bytes bytes;
        bool valid;
    };
    const Case cases[] = {
        {{}, true},
        {{'a', 'b'}, true},
        {{0xC3, 0xA9}, true},                // é
        {{0xE2, 0x82, 0xAC}, true},          // €
        {{0xF0, 0x9F, 0x98, 0x80}, true},    // U+1F600
        {{0xC3}, false},                     // cut short
        {{0xC0, 0xAF}, false},               // overlong '/'
        {{0xED, 0xA0, 0x80}, false},         // surrogate
        {{0xF4, 0x90, 0x80, 0x80}, false},   // above U+10FFFF
        {{0x80}, false},                     // lone continuation
        {{0xE2, 0x28, 0xA1}, false},         // bad continuation
    };
    for (const auto& c : cases) EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << toHexString(c.bytes);
    const std::string text = "ab\xC3\xA9" "c";  // 'é' spans bytes 2-3
    EXPECT_EQ(utf8PrefixLength(text, 10), 5u);
    EXPECT_EQ(utf8PrefixLength(text, 3), 2u);  // never splits the character
    EXPECT_EQ(utf8PrefixLength(text, 4), 4u);
    EXPECT_EQ(utf8PrefixLength(text, 0), 0u);
}

}  // namespace
}  // namespace orvane
