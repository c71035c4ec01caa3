#include "orvanerfid/core/TagInfo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Clock = std::chrono::system_clock;

std::vector<TagInfoId> presence(const TagInfo& tag) {
    return {tag.tagInfoId().begin(), tag.tagInfoId().end()};
}

TEST(TagInfo, FreshReportHoldsInitialValuesAndNoPresence) {
    const auto before = Clock::now();
    const TagInfo tag;
    const auto after = Clock::now();

    EXPECT_EQ(tag.tagCount(), 1u);
    EXPECT_EQ(tag.antenna(), 0);
    EXPECT_EQ(tag.frequency(), 0u);
    EXPECT_EQ(tag.rssi(), 0.0f);
    EXPECT_TRUE(tag.epc().empty());
    EXPECT_TRUE(tag.tid().empty());
    EXPECT_TRUE(tag.userData().empty());
    EXPECT_EQ(tag.strEPC(), "");
    EXPECT_EQ(tag.strTID(), "");
    EXPECT_GE(tag.timestamp(), before);
    EXPECT_LE(tag.timestamp(), after);
    EXPECT_TRUE(tag.tagInfoId().empty());
    EXPECT_EQ(tag.description(), "No Tag Info");
}

TEST(TagInfo, PresenceListKeepsFillOrderAndEachIdOnce) {
    TagInfo tag;
    tag.setEPC(Bytes{0x01});
    tag.setPhaseEnd(2.0f);
    tag.setAntenna(3);
    tag.setPhaseBegin(1.0f);  // phaseData is already present
    tag.setEPC(Bytes{0x3A, 0x0F});
    tag.setRSSI(-50.0f);
    tag.appendTagInfoId(TagInfoId::antenna);

    EXPECT_THAT(presence(tag), ElementsAre(TagInfoId::epc, TagInfoId::phaseData, TagInfoId::antenna,
                                           TagInfoId::rssi));
    // A second store overwrites the value.
    EXPECT_EQ(tag.strEPC(), "3A0F");
    EXPECT_EQ(tag.phaseBegin(), 1.0f);
    EXPECT_EQ(tag.phaseEnd(), 2.0f);
}

TEST(TagInfo, EveryMarkingSetterMarksItsOwnId) {
    struct Case {
        std::function<void(TagInfo&)> fill;
        TagInfoId id;
    };
    const Case cases[] = {
        {[](TagInfo& t) { t.setAntenna(1); }, TagInfoId::antenna},
        {[](TagInfo& t) { t.setFrequency(1); }, TagInfoId::frequency},
        {[](TagInfo& t) { t.setRSSI(1); }, TagInfoId::rssi},
        {[](TagInfo& t) { t.setPC(Bytes{1}); }, TagInfoId::pc},
        {[](TagInfo& t) { t.setEPC(Bytes{1}); }, TagInfoId::epc},
        {[](TagInfo& t) { t.setTID(Bytes{1}); }, TagInfoId::tid},
        {[](TagInfo& t) { t.setRoundCount(1); }, TagInfoId::roundCount},
        {[](TagInfo& t) { t.setQ(1); }, TagInfoId::q},
        {[](TagInfo& t) { t.setTagCount(1); }, TagInfoId::tagCount},
        {[](TagInfo& t) { t.setXPC(Bytes{1}); }, TagInfoId::xpc},
        {[](TagInfo& t) { t.setUserData(Bytes{1}); }, TagInfoId::userData},
        {[](TagInfo& t) { t.setPhaseBegin(1); }, TagInfoId::phaseData},
        {[](TagInfo& t) { t.setPhaseEnd(1); }, TagInfoId::phaseData},
        {[](TagInfo& t) { t.setTimestamp(Clock::time_point{}); }, TagInfoId::timestamp},
    };
    for (const auto& c : cases) {
        TagInfo tag;
        c.fill(tag);
        EXPECT_THAT(presence(tag), ElementsAre(c.id)) << caseName(c.id);
    }
}

TEST(TagInfo, AppendOnlyMarksAndIgnoresIdsOutsideTheEnumeration) {
    TagInfo tag;
    tag.appendTagInfoId(static_cast<TagInfoId>(13));
    tag.appendTagInfoId(static_cast<TagInfoId>(255));
    EXPECT_TRUE(tag.tagInfoId().empty());

    tag.appendTagInfoId(TagInfoId::q);
    EXPECT_THAT(presence(tag), ElementsAre(TagInfoId::q));
    EXPECT_EQ(tag.description(), "Q: 0");  // the initial value, now reported

    // All thirteen ids fit; a repeated round adds nothing.
    for (int round = 0; round < 2; ++round) {
        for (TagInfoId id : allCases<TagInfoId>())
            tag.appendTagInfoId(id);
    }
    EXPECT_EQ(tag.tagInfoId().size(), 13u);
}

TEST(TagInfo, DescriptionWalksAFixedOrder) {
    struct Case {
        const char* name;
        std::function<void(TagInfo&)> fill;
        std::string text;
    };
    const Case cases[] = {
        {"example",
         [](TagInfo& t) {
             t.setAntenna(1);
             t.setRSSI(-45.5f);
             t.setEPC(Bytes{0x3A, 0x0F});
             t.setTagCount(1);
         },
         "Antenna: 1, RSSI: -45.5, EPC: 3A0F, Tag Count: 1"},
        {"epc filled before antenna",
         [](TagInfo& t) {
             t.setEPC(Bytes{0xE2, 0x00});
             t.setAntenna(4);
         },
         "Antenna: 4, EPC: E200"},
        {"phase begin alone shows both phases", [](TagInfo& t) { t.setPhaseBegin(1.5f); },
         "Phase Begin: 1.5, Phase End: 0.0"},
        {"empty PC before another segment",
         [](TagInfo& t) {
             t.setEPC(Bytes{0x01});
             t.setPC({});
         },
         "PC: , EPC: 01"},
        {"empty PC as the last segment",
         [](TagInfo& t) {
             t.setPC({});
             t.setAntenna(0);
         },
         "Antenna: 0, PC: "},
        {"every field but the timestamp, filled in reverse",
         [](TagInfo& t) {
             t.setXPC(Bytes{0x80, 0x01});
             t.setTagCount(1);
             t.setQ(4);
             t.setRoundCount(18446744073709551615ULL);
             t.setPhaseEnd(3.0f);
             t.setUserData(Bytes{0x01, 0x02});
             t.setTID(Bytes{0xE2, 0x00, 0x34, 0x12});
             t.setEPC(Bytes{0xAB, 0xCD});
             t.setPC(Bytes{0x30, 0x00});
             t.setRSSI(-60.25f);
             t.setFrequency(4294967295U);
             t.setAntenna(255);
             t.setPhaseBegin(1.5f);
         },
         "Antenna: 255, RSSI: -60.25, Phase Begin: 1.5, Phase End: 3.0, Frequency: 4294967295, "
         "PC: 3000, EPC: ABCD, TID: E2003412, User Data: 0102, Round Count: "
         "18446744073709551615, Q: 4, Tag Count: 1, XPC: 8001"},
    };
    for (const auto& c : cases) {
        TagInfo tag;
        c.fill(tag);
        const std::string text = tag.description();
        EXPECT_EQ(text, c.text) << c.name;
        EXPECT_FALSE(text.ends_with(", ")) << c.name;
    }
}

TEST(TagInfo, TimestampSegmentSitsBetweenUserDataAndRoundCount) {
    TagInfo tag;
    const auto seen = Clock::time_point{} + std::chrono::seconds(1714558830);
    tag.setRoundCount(2);
    tag.setTimestamp(seen);
    tag.setUserData(Bytes{0xFF});
    EXPECT_EQ(tag.timestamp(), seen);
    EXPECT_EQ(tag.description(),
              "User Data: FF, Timestamp: " + toDateTimeString(seen) + ", Round Count: 2");
}

TEST(TagInfo, FloatsAreShortestRoundTripTexts) {
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {
        {0.0f, "0.0"},
        {-0.0f, "-0.0"},
        {12.0f, "12.0"},
        {-45.5f, "-45.5"},
        {0.1f, "0.1"},
        {-67.3f, "-67.3"},
        {1.0f / 3.0f, "0.33333334"},
        {16777216.0f, "16777216.0"},
        {1e10f, "1e+10"},
        {std::numeric_limits<float>::infinity(), "inf"},
        {-std::numeric_limits<float>::infinity(), "-inf"},
    };
    for (const auto& c : cases) {
        TagInfo tag;
        tag.setRSSI(c.value);
        EXPECT_EQ(tag.description(), std::string("RSSI: ") + c.text) << c.text;
    }
    TagInfo tag;
    tag.setRSSI(std::nanf(""));
    EXPECT_EQ(tag.description(), "RSSI: nan");
}

TEST(TagInfoId, RawValuesAndTexts) {
    EXPECT_THAT(
        allCases<TagInfoId>(),
        ElementsAreArray({TagInfoId::antenna, TagInfoId::frequency, TagInfoId::rssi, TagInfoId::pc,
                          TagInfoId::epc, TagInfoId::tid, TagInfoId::roundCount, TagInfoId::q,
                          TagInfoId::tagCount, TagInfoId::xpc, TagInfoId::userData,
                          TagInfoId::phaseData, TagInfoId::timestamp}));
    for (int raw = 0; raw <= 12; ++raw)
        EXPECT_EQ(rawValue(*fromRaw<TagInfoId>(raw)), raw);
    EXPECT_FALSE(fromRaw<TagInfoId>(13));
    EXPECT_FALSE(fromRaw<TagInfoId>(255));
    EXPECT_EQ(description(TagInfoId::roundCount), "Round Count");
    EXPECT_EQ(description(TagInfoId::phaseData), "Phase Data");
}

}  // namespace
}  // namespace orvane
