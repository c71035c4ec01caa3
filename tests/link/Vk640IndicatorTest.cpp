#include "orvanerfid/link/Vk640Indicator.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using namespace std::chrono_literals;

const Clock::time_point t0{};

std::optional<Vk640IndicatorOutput> firstTag(Vk640Indicator& indicator, const std::string& epc,
                                             Clock::time_point now = t0 + 5s) {
    std::optional<Vk640IndicatorOutput> output;
    EXPECT_TRUE(indicator.onTag(epc, now, output));
    return output;
}

TEST(Vk640IndicatorTest, FirstTagTextAndPosition) {
    struct Case {
        std::string epc;
        std::string text;
        uint8_t position;
    };
    const Case cases[] = {
        {"E28011700000020A", "E28011700000020A", 0},
        {"E2801170000A", "E2801170000A", 2},
        // Longer EPCs keep their head and their last two characters, filling the line.
        {"E2801170000002AB12345678", "E280117000000~78", 0},
        {"E28011700000020AB", "E280117000000~AB", 0},
        {"E2", "E2", 7},
    };
    for (const Case& c : cases) {
        Vk640Indicator indicator(t0);
        const auto output = firstTag(indicator, c.epc);
        ASSERT_TRUE(output);
        EXPECT_TRUE(output->signal);
        EXPECT_EQ(output->mode, FindDeviceMode::vibratorAndBeep);
        EXPECT_EQ(output->text, c.text);
        EXPECT_LE(output->text.size(), Vk640Indicator::kWidth);
        EXPECT_EQ(output->position, c.position);
        EXPECT_EQ(output->line, 2);
        EXPECT_EQ(indicator.preShowTags(), 1);
    }
    // Signed arithmetic: a text wider than the display starts at 0, not at a wrapped position.
    EXPECT_EQ(Vk640Indicator::centredPosition(17), 0);
}

TEST(Vk640IndicatorTest, CountTextAndPosition) {
    const std::pair<std::size_t, uint8_t> cases[] = {
        {2, 5}, {10, 4}, {100, 3}, {1000000, 0}, {12345678, 0}};
    for (const auto& [count, position] : cases) {
        const std::string text = Vk640Indicator::countText(count);
        EXPECT_EQ(text, std::to_string(count) + " TAGs");
        EXPECT_EQ(Vk640Indicator::countPosition(text.size()), position) << text;
    }
}

TEST(Vk640IndicatorTest, CountShownOnceChangedAndDue) {
    Vk640Indicator indicator(t0);
    const Clock::time_point first = t0 + 5s;
    ASSERT_TRUE(firstTag(indicator, "AA", first));
    EXPECT_FALSE(indicator.onPacketEnd(first + 10ms));  // the count is still 1

    std::optional<Vk640IndicatorOutput> none;
    EXPECT_TRUE(indicator.onTag("BB", first + 20ms, none));
    EXPECT_TRUE(indicator.onTag("CC", first + 20ms, none));
    EXPECT_TRUE(indicator.onTag("BB", first + 20ms, none));
    EXPECT_FALSE(none);
    EXPECT_EQ(indicator.tagCount(), 3u);
    // Not before 100 ms have passed since the last display write.
    EXPECT_FALSE(indicator.onPacketEnd(first + 60ms));
    const auto count = indicator.onPacketEnd(first + 150ms);
    ASSERT_TRUE(count);
    EXPECT_TRUE(count->signal);
    EXPECT_EQ(count->text, "3 TAGs");
    EXPECT_EQ(count->position, 5);
    EXPECT_EQ(indicator.preShowTags(), 3);
    EXPECT_FALSE(indicator.onPacketEnd(first + 400ms));
}

TEST(Vk640IndicatorTest, ReadOnceReportsAndSignalsOnlyTheFirstTag) {
    Vk640Indicator indicator(t0);
    indicator.setIndicator(InventoryIndicator(true, false, true));
    const auto output = firstTag(indicator, "AA");
    ASSERT_TRUE(output);
    EXPECT_EQ(output->mode, FindDeviceMode::vibrator);
    std::optional<Vk640IndicatorOutput> none;
    EXPECT_FALSE(indicator.onTag("BB", t0 + 6s, none));
    EXPECT_FALSE(none);
    EXPECT_FALSE(indicator.onPacketEnd(t0 + 10s));
    EXPECT_EQ(indicator.tagCount(), 1u);

    indicator.reset();
    EXPECT_FALSE(indicator.getTag());
    EXPECT_EQ(indicator.preShowTags(), 0);
    EXPECT_TRUE(firstTag(indicator, "BB", t0 + 11s));
}

TEST(Vk640IndicatorTest, SpinnerAdvancesAtMostOnceASecond) {
    Vk640Indicator indicator(t0);
    std::vector<std::string> shown;
    for (auto now = t0; now <= t0 + 4900ms; now += 200ms) {
        if (const auto output = indicator.onPacketEnd(now)) {
            EXPECT_FALSE(output->signal);
            EXPECT_EQ(output->position, 5);
            EXPECT_EQ(output->line, 2);
            shown.push_back(output->text);
        }
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"Scan.", "Scan..", "Scan...", "Scan."}));
}

}  // namespace
}  // namespace orvane
