#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "orvanerfid/params/PowerRange.h"
#include "orvanerfid/params/RfidConfig.h"
#include "orvanerfid/params/SettingClasses.h"

namespace orvane {
namespace {

std::string zeros(std::size_t n) {
    return std::string(n, '0');
}

TEST(SettingClasses, DeviceTextsAndDescriptions) {
    struct Case {
        std::string text, expected;
    };
    const Case cases[] = {
        {FindDevice().toDeviceParameter(), "030A"},
        {FindDevice(FindDeviceMode::vibratorAndBeep, 30).toDeviceParameter(), "031E"},
        {FindDevice(FindDeviceMode::off, 255).toDeviceParameter(), "00FF"},
        {FindDevice().description(), "FindDeviceMode: Vibrator and Beep, Timeout: 10"},
        {TriggerKeyStatus().toDeviceParameter(), "0201"},
        {TriggerKeyStatus().description(), "Key ID: Upper Key, Key Function: Scanner Scan"},
        {FindReplace(0x0D, 0x0A).toDeviceParameter(), "0D0A"},
        {FindReplace(0x0D, 0x0A).description(), "Find: 0D, Replace: 0A"},
        {EventNotification().toDeviceParameter(), "E400"},
        {EventNotification(EventNotificationId::rfidLbtStatus, true).toDeviceParameter(), "E101"},
        {DisplayMessage("Hi", 2, 1, true).toDeviceParameter(), "624869" + zeros(28)},
        {DisplayMessage().toDeviceParameter(), "60" + zeros(32)},
        {DisplayMessage("", 15, 3, false).toDeviceParameter(), "CF" + zeros(32)},
        {DisplayMessage("ABCDEFGHIJKLMNOPQRST", 0, 0, false).toDeviceParameter(),
         "004142434445464748494A4B4C4D4E4F50"},
        {DisplayMessage().description(),
         "CharPosition: 0, LinePosition: 1, ClearScreen: true, Message: "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, c.expected);
}

TEST(RfidConfig, DescriptionListsTheSettingsInItsOwnOrder) {
    RfidConfig config;
    EXPECT_EQ(config.description(),
              "Continuous: true\n"
              "Target: A\n"
              "Session: Session 0\n"
              "Encoding: FM0 encoding\n"
              "TARI: 6.25 microseconds\n"
              "BLF: 640 kHz\n"
              "Algorithm: Dynamic Q\n"
              "Start Q: 4\n"
              "Max Q: 15\n"
              "Min Q: 0\n"
              "Power: 17\n"
              "Inventory Time: 200\n"
              "Idle Time: 0\n"
              "Toggle Target: true\n"
              "Fast Mode: false\n"
              "Select Mode: All\n"
              "LBT: false\n"
              "Fast ID: false\n"
              "Tag Focus: false\n"
              "Power Saving Mode: Power Saving Mode\n"
              "LBT Configure: -74\n"
              "Antenna Switching Mode: Stop\n"
              "Frequency Switching Mode: Stop\n"
              "RF Mode: rf_103\n"
              "Dwell Time: 1000\n");

    // Values are kept as given, without checks; one change leaves the other lines alone.
    config.power = -5;
    config.lbtConfigure = -80;
    config.minQ = 10;
    config.maxQ = 2;
    config.blfType = BlfType::blf213;
    config.selectMode = SelectMode::selected;
    config.asMode = AntennaSwitchingMode::nonStop;
    config.rfMode = static_cast<RfMode>(999);
    const std::string text = config.description();
    for (const char* line :
         {"\nPower: -5\n", "\nLBT Configure: -80\n", "\nMin Q: 10\n", "\nMax Q: 2\n",
          "\nBLF: 213 kHz\n", "\nSelect Mode: Selected\n", "\nAntenna Switching Mode: Non-Stop\n",
          "\nRF Mode: Unknown(999)\n", "\nFrequency Switching Mode: Stop\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 25);
}

TEST(PowerRange, KeepsBothNumbersAndDescribesThem) {
    EXPECT_EQ(PowerRange(11, 27).description(), "11 - 27");
    EXPECT_EQ(PowerRange(-3, 5).description(), "-3 - 5");
    const PowerRange reversed(30, 5);
    EXPECT_EQ(reversed.min, 30);
    EXPECT_EQ(reversed.max, 5);
}

}  // namespace
}  // namespace orvane
