#include "orvanerfid/core/Indicators.h"

#include <gtest/gtest.h>

#include <tuple>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

TEST(DeviceIndicator, DeviceTextBothWays) {
    using Led = LedIndicator;
    using Beep = BeepIndicator;
    // The text written, and a text with bit 7 set, which reads back the same.
    const std::tuple<Led, bool, Beep, const char*, const char*> cases[] = {
        {Led::off, false, Beep::off, "00", "80"},
        {Led::red, true, Beep::twice, "1A", "9a"},
        {Led::blue, false, Beep::off, "30", "B0"},
        {Led::green, true, Beep::triple, "2B", "AB"},
    };
    for (const auto& [led, vibrating, beep, text, high] : cases) {
        EXPECT_EQ(DeviceIndicator(led, vibrating, beep).toDeviceParameter(), text);
        for (const char* t : {text, high}) {
            const DeviceIndicator back = DeviceIndicator::fromDeviceParameter(t);
            EXPECT_EQ(std::tuple(back.led(), back.vibrating(), back.beep()),
                      std::tuple(led, vibrating, beep))
                << t;
        }
    }
}

TEST(ScannerIndicator, EncodeAndDecode) {
    const ScannerIndicator all(GoodReadIndicator::beeperVibrator,
                               ConnectionIndicator::beeperVibrator,
                               SettingIndicator::beeperVibrator, ErrorIndicator::beeperVibrator,
                               PowerOnIndicator::beeperVibrator, PowerOffIndicator::beeperVibrator);
    EXPECT_EQ(all.encode(), (Bytes{0x0F, 0xFF}));
    EXPECT_EQ(all.toDeviceParameter(), "0FFF");
    EXPECT_EQ(ScannerIndicator().toDeviceParameter(), "0000");

    // The upper nibble of byte 0 and a third byte are ignored.
    const auto d = ScannerIndicator::decode(Bytes{0xF5, 0x94, 0x77});
    ASSERT_TRUE(d);
    EXPECT_EQ(d->description(),
              "GoodRead: None, Connection: Beeper, Setting: Beeper, Error: Vibrator, PowerOn: "
              "Beeper, PowerOff: Beeper");

    // Every byte pair with a clear upper nibble in byte 0 survives decode then encode.
    for (int pair = 0; pair < 0x1000; ++pair) {
        const Bytes bytes{uint8_t(pair >> 8), uint8_t(pair)};
        EXPECT_EQ(ScannerIndicator::decode(bytes)->encode(), bytes);
    }
}

TEST(ScannerIndicator, ShortDataLogsOnceAndGivesNoValue) {
    struct Sink : orvLoggerDelegate {
        void logEvent(const LogEventArg& e) override { records.push_back(e); }
        std::vector<LogEventArg> records;
    };
    const auto sink = std::make_shared<Sink>();
    const test::ConsoleOff console;
    ASSERT_TRUE(orvLogger::registerDelegateIfNone(sink));
    for (const Bytes& data : {Bytes{}, Bytes{0x0F}}) {
        sink->records.clear();
        EXPECT_FALSE(ScannerIndicator::decode(data));
        ASSERT_EQ(sink->records.size(), 1u);
        EXPECT_EQ(sink->records[0].level(), LogLevel::error);
        EXPECT_FALSE(sink->records[0].tag());
        EXPECT_EQ(sink->records[0].log(), "Invalid data length for ScannerIndicator");
    }
}

TEST(ScannerIndicator, CodedForm) {
    const ScannerIndicator original(GoodReadIndicator::vibrator, ConnectionIndicator::beeper,
                                    SettingIndicator::none, ErrorIndicator::beeperVibrator,
                                    PowerOnIndicator::beeper, PowerOffIndicator::vibrator);
    ScannerIndicator::CodedForm form;
    original.encode(form);
    EXPECT_EQ(form, (ScannerIndicator::CodedForm{{"goodRead", 0x02},
                                                 {"connection", 0x04},
                                                 {"setting", 0x00},
                                                 {"error", 0xC0},
                                                 {"powerOn", 0x01},
                                                 {"powerOff", 0x08}}));
    EXPECT_EQ(ScannerIndicator(form).encode(), original.encode());

    // A missing key, an unlisted number, a number wider than the enumeration (never truncated).
    auto missing = form, corrupt = form, wide = form;
    missing.pop_back();
    corrupt[1].second = 0x05;
    wide[3].second = 0x1C0;
    for (const auto& bad : {missing, corrupt, wide})
        EXPECT_THROW(ScannerIndicator{bad}, ReaderException);
}

}  // namespace
}  // namespace orvane
