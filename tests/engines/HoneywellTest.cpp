#include <gtest/gtest.h>

#include <string>

#include "orvanerfid/core/Barcode.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/engines/Honeywell.h"

namespace orvane {
namespace {

TEST(Honeywell, ResponsesAndCodeIds) {
    EXPECT_EQ(fromRaw<HoneywellResponse>(0x15), HoneywellResponse::nak);
    EXPECT_FALSE(fromRaw<HoneywellResponse>(0x07).has_value());

    EXPECT_EQ(allCases<HoneywellCodeId>().size(), 48u);
    for (HoneywellCodeId code : allCases<HoneywellCodeId>())
        EXPECT_EQ(barcodeIdFromHoneywellCode(rawValue(code)), toBarcodeId(code));
    const std::pair<char, unsigned> known[] = {{'a', 2}, {'b', 1}, {'j', 3}, {'\0', 0}};
    for (auto [character, barcode] : known) {
        auto code = fromRaw<HoneywellCodeId>(static_cast<uint8_t>(character));
        ASSERT_TRUE(code.has_value()) << character;
        EXPECT_EQ(rawValue(toBarcodeId(*code)), barcode);
    }
    EXPECT_FALSE(fromRaw<HoneywellCodeId>(uint8_t{'~'}).has_value());
    EXPECT_FALSE(fromRaw<HoneywellCodeId>(uint8_t{'Z'}).has_value());
}

TEST(Honeywell, TagAndPacketTextForms) {
    EXPECT_EQ(HoneywellPacket().text(), "{}");
    HoneywellTag empty("T");
    EXPECT_EQ(empty.text(), "\n{\"tag\":\"T\",\"subTags\":{}}\n");

    HoneywellTag tag("T");
    tag.subTags.emplace("S", "D");
    tag.subTagsResponse["S"] = HoneywellResponse::ack;
    EXPECT_EQ(tag.description(),
              "\n{\"tag\":\"T\",\"subTags\":{\"S\":{\"data\":\"D\",\"response\":\"ACK\"}}}\n");
    tag.subTags.emplace("U", "E");
    tag.subTagsResponse["U"] = HoneywellResponse::enq;
    EXPECT_EQ(tag.text(),
              "\n{\"tag\":\"T\",\"subTags\":{\"S\":{\"data\":\"D\",\"response\":"
              "\"ACK\"},\"U\":{\"data\":\"E\",\"response\":\"ENQ\"}}}\n");

    HoneywellPacket packet;
    packet.tags.emplace("T", empty);
    packet.tags.emplace("A", HoneywellTag("A"));
    EXPECT_EQ(packet.text(),
              "{\"A\":\n{\"tag\":\"A\",\"subTags\":{}}\n,\"T\":\n{\"tag\":\"T\","
              "\"subTags\":{}}\n}");
}

TEST(Honeywell, TextsAreEscapedSoTheFormStaysWellFormed) {
    HoneywellTag tag("a\"b");
    tag.subTags["k\\"] = "x\"}\n\x01y";
    tag.subTagsResponse["k\\"] = HoneywellResponse::nak;
    EXPECT_EQ(tag.text(),
              "\n{\"tag\":\"a\\\"b\",\"subTags\":{\"k\\\\\":{\"data\":"
              "\"x\\\"}\\n\\u0001y\",\"response\":\"NAK\"}}}\n");
}

TEST(Honeywell, BytesThatAreNoUtf8AreEscapedSoTheTextStaysValidJson) {
    HoneywellTag tag("T");
    // A stray continuation byte, a lead byte without its tail, 0xFF, then a valid "é".
    tag.subTags.emplace("S", std::string("\x80"
                                         "a\xC3\xFF\xC3\xA9"));
    tag.subTagsResponse["S"] = HoneywellResponse::ack;
    const std::string text = tag.text();
    EXPECT_NE(text.find("\"data\":\"\\u0080a\\u00C3\\u00FF\xC3\xA9\""), std::string::npos) << text;
    EXPECT_TRUE(isValidUtf8(ByteView(reinterpret_cast<const uint8_t*>(text.data()), text.size())));
}

TEST(Honeywell, ASubTagWithoutAnAnswerHasNoTextForm) {
    HoneywellTag tag("T");
    tag.subTags.emplace("S", "D");
    tag.subTagsResponse["S"] = static_cast<HoneywellResponse>(0x07);
    EXPECT_THROW(tag.text(), ReaderException);
    tag.subTagsResponse.clear();
    HoneywellPacket packet;
    packet.tags.emplace("T", tag);
    try {
        packet.text();
        ADD_FAILURE() << "no exception";
    } catch (const ReaderException& e) {
        EXPECT_EQ(e.resultCode(), ResultCode::notFoundParameter);
    }
}

}  // namespace
}  // namespace orvane
