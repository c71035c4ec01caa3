#include "orvanerfid/core/SettingValues.h"

#include <gtest/gtest.h>

#include <functional>

#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

TEST(SettingValues, DeviceTextBothWays) {
    EXPECT_EQ(InventoryIndicator().toDeviceParameter(), "010101");
    EXPECT_EQ(InventoryIndicator(false, true, true).toDeviceParameter(), "000101");
    // Only 01 counts as true.
    for (auto [text, expected] : {std::pair{"010001", 0b101}, {"020202", 0}, {"FF01ff", 0b010}}) {
        const auto v = InventoryIndicator::fromDeviceParameter(text);
        EXPECT_EQ(v.readOnce() << 2 | v.beeper() << 1 | int(v.vibrator()), expected) << text;
    }

    EXPECT_EQ(DataRange(2, 0x20).toDeviceParameter(), "00020020");
    EXPECT_EQ(DataRange(2, 0x20).description(), "Offset: 2, Length: 32");
    const DataRange range = DataRange::fromDeviceParameter("FFFF0020");
    EXPECT_EQ(range.offset(), 0xFFFFu);
    EXPECT_EQ(range.length(), 0x20u);

    EXPECT_EQ(ScreenOffTime(1, 30).toDeviceParameter(), "011E");
    EXPECT_EQ(ScreenOffTime().toDeviceParameter(), "0000");
    const ScreenOffTime time = ScreenOffTime::fromDeviceParameter("FF1e");
    EXPECT_EQ(time.minutes(), 0xFFu);
    EXPECT_EQ(time.seconds(), 30u);
}

TEST(SettingValues, NumbersThatDoNotFitTheirFieldAreRefused) {
    // Each would lengthen the text and be misread; 0x4003 instead.
    const std::function<std::string()> cases[] = {
        [] { return DataRange(0x12345, 0).toDeviceParameter(); },
        [] { return DataRange(0, 0x10000).toDeviceParameter(); },
        [] { return ScreenOffTime(0x100, 0).toDeviceParameter(); },
        [] { return ScreenOffTime(0, 256).toDeviceParameter(); },
    };
    for (const auto& make : cases) {
        try {
            ADD_FAILURE() << "gave " << make();
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::outOfRange);
        }
    }
}

}  // namespace
}  // namespace orvane
