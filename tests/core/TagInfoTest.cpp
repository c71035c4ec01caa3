#include "orvanerfid/core/TagInfo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

using ::testing::ElementsAre;
using Clock = std::chrono::system_clock;

std::vector<TagInfoId> presence(const TagInfo& tag) {
    return {tag.tagInfoId().begin(), tag.tagInfoId().end()};
}

TEST(TagInfo, FreshReport) {
    const auto before = Clock::now();
    const TagInfo tag;
    EXPECT_EQ(tag.tagCount(), 1u);
    EXPECT_EQ(tag.antenna(), 0);
    EXPECT_TRUE(tag.epc().empty());
    EXPECT_EQ(tag.strEPC(), "");
    EXPECT_EQ(tag.strTID(), "");
    EXPECT_GE(tag.timestamp(), before);
    EXPECT_LE(tag.timestamp(), Clock::now());
    EXPECT_TRUE(tag.tagInfoId().empty());
    EXPECT_EQ(tag.description(), "No Tag Info");
}

TEST(TagInfo, PresenceListKeepsFillOrderAndEachIdOnce) {
    TagInfo tag;
    tag.setEPC(Bytes{0x01});
    tag.setPhaseEnd(2.0f);
    tag.setAntenna(3);
    tag.setPhaseBegin(1.0f);  // phaseData is present already
    tag.setEPC(Bytes{0x3A, 0x0F});
    tag.appendTagInfoId(TagInfoId::antenna);
    tag.appendTagInfoId(static_cast<TagInfoId>(13));  // outside the enumeration: ignored
    tag.appendTagInfoId(TagInfoId::q);                // marks without storing

    EXPECT_THAT(presence(tag), ElementsAre(TagInfoId::epc, TagInfoId::phaseData, TagInfoId::antenna,
                                           TagInfoId::q));
    EXPECT_EQ(tag.strEPC(), "3A0F");  // the second store wins
    EXPECT_EQ(tag.description(), "Antenna: 3, Phase Begin: 1.0, Phase End: 2.0, EPC: 3A0F, Q: 0");
}

TEST(TagInfo, DescriptionWalksAFixedOrder) {
    struct Case {
        std::function<void(TagInfo&)> fill;
        std::string text;
    };
    const Case cases[] = {
        {[](TagInfo& t) {
             t.setTagCount(1);
             t.setEPC(Bytes{0x3A, 0x0F});
             t.setRSSI(-45.5f);
             t.setAntenna(1);
         },
         "Antenna: 1, RSSI: -45.5, EPC: 3A0F, Tag Count: 1"},
        {[](TagInfo& t) { t.setPhaseBegin(1.5f); }, "Phase Begin: 1.5, Phase End: 0.0"},
        {[](TagInfo& t) {
             t.setEPC(Bytes{0x01});
             t.setPC({});
         },
         "PC: , EPC: 01"},
        {[](TagInfo& t) {
             t.setPC({});
             t.setAntenna(0);
         },
         "Antenna: 0, PC: "},
    };
    for (const auto& c : cases) {
        TagInfo tag;
        c.fill(tag);
        EXPECT_EQ(tag.description(), c.text);
    }
}

TEST(TagInfo, EveryFieldFilledInReverseOrder) {
    TagInfo tag;
    const auto seen = Clock::time_point{} + std::chrono::seconds(1714558830);
    tag.setXPC(Bytes{0x80, 0x01});
    tag.setTagCount(1);
    tag.setQ(4);
    tag.setRoundCount(std::numeric_limits<uint64_t>::max());
    tag.setPhaseEnd(3.0f);
    tag.setTimestamp(seen);
    tag.setUserData(Bytes{0x01, 0x02});
    tag.setTID(Bytes{0xE2, 0x00, 0x34, 0x12});
    tag.setEPC(Bytes{0xAB, 0xCD});
    tag.setPC(Bytes{0x30, 0x00});
    tag.setRSSI(-60.25f);
    tag.setFrequency(std::numeric_limits<uint32_t>::max());
    tag.setAntenna(255);

    using enum TagInfoId;
    EXPECT_THAT(presence(tag), ElementsAre(xpc, tagCount, q, roundCount, phaseData, timestamp,
                                           userData, tid, epc, pc, rssi, frequency, antenna));
    EXPECT_EQ(tag.description(),
              "Antenna: 255, RSSI: -60.25, Phase Begin: 0.0, Phase End: 3.0, Frequency: "
              "4294967295, PC: 3000, EPC: ABCD, TID: E2003412, User Data: 0102, Timestamp: " +
                  toDateTimeString(seen) +
                  ", Round Count: 18446744073709551615, Q: 4, Tag Count: 1, XPC: 8001");
}

TEST(TagInfo, FloatsAreShortestRoundTripTexts) {
    const std::pair<float, const char*> cases[] = {
        {-0.0f, "-0.0"},
        {12.0f, "12.0"},
        {0.1f, "0.1"},
        {1.0f / 3, "0.33333334"},
        {16777216.0f, "16777216.0"},
        {1e10f, "1e+10"},
        {-std::numeric_limits<float>::infinity(), "-inf"},
    };
    for (const auto& [value, text] : cases) {
        TagInfo tag;
        tag.setRSSI(value);
        EXPECT_EQ(tag.description(), std::string("RSSI: ") + text);
    }
}

}  // namespace
}  // namespace orvane
