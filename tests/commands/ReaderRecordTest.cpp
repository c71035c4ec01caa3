// The multi-field readings of the setting commands: the reader's clock in local time, barcode
// records and events, and the extended battery walk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "SettingTestSupport.h"
#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/commands/SledCommands.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

using Clock = std::chrono::system_clock;

// Runs in a fixed zone nine hours east of UTC (local time differs from UTC) and restores the
// process's zone afterwards.
class ReaderClock : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) saved_ = tz;
        setenv("TZ", "JST-9", 1);
        tzset();
    }
    void TearDown() override {
        saved_ ? setenv("TZ", saved_->c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    static Clock::time_point local(int year, int month, int day, int hour, int min, int sec) {
        std::tm tm{};
        tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
        tm.tm_hour = hour, tm.tm_min = min, tm.tm_sec = sec, tm.tm_isdst = -1;
        return Clock::from_time_t(std::mktime(&tm));
    }

  private:
    std::optional<std::string> saved_;
};

TEST_F(ReaderClock, WritesLocalTimeAndRefusesYearsOutsideTheByte) {
    OrvRfidCmd_SetSystemTime set;
    set.systemTime = Clock::from_time_t(1709181930);  // 2024-02-29 04:45:30 UTC
    EXPECT_EQ(test::requestData(set), (Bytes{0x18, 0x02, 0x1D, 0x0D, 0x2D, 0x1E}));
    set.systemTime = local(2255, 12, 31, 23, 59, 59);
    const Bytes last = test::requestData(set);
    EXPECT_EQ(last[0], 0xFF);
    EXPECT_EQ(test::received<OrvRfidCmd_GetSystemTime>(last).systemTime(), set.systemTime);
    for (int year : {1999, 2256}) {
        set.systemTime = local(year, 6, 1, 0, 0, 0);
        try {
            set.toBytes();
            ADD_FAILURE() << year << " was framed";
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::outOfRange) << year;
        }
    }
}

TEST_F(ReaderClock, ReadsOnlyDatesThatExist) {
    const std::pair<Bytes, std::optional<Clock::time_point>> cases[] = {
        {{0x18, 0x02, 0x1D, 0x0D, 0x2D, 0x1E}, local(2024, 2, 29, 13, 45, 30)},
        {{0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x99}, local(2000, 1, 1, 0, 0, 0)},
        {{0x19, 0x0D, 0x00, 0x18, 0x3C, 0x3C}, std::nullopt},  // month 13, day 0, hour 24
        {{0x17, 0x02, 0x1D, 0x0D, 0x2D, 0x1E}, std::nullopt},  // 2023-02-29
        {{0x18, 0x04, 0x1F, 0x00, 0x00, 0x00}, std::nullopt},  // April 31
        {{0x18, 0x01, 0x01, 0x00, 0x00, 0x3C}, std::nullopt},  // second 60
        {{0x18, 0x02, 0x1D, 0x0D, 0x2D}, std::nullopt},        // five bytes
    };
    for (const auto& [data, time] : cases) {
        EXPECT_EQ(test::received<OrvRfidCmd_GetSystemTime>(data).systemTime(), time)
            << toHexString(data);
    }
}

// "length:kind:value" per record.
std::string records(const Bytes& data) {
    std::string out;
    for (const auto& r : OrvRfidCmd_ScannerDataWithCustomizedFormat::cutRecords(data))
        out += std::to_string(r.length()) + ":" + test::show(r.id()) + ":" + toHexString(r.data()) +
               " ";
    return out;
}

TEST(BarcodeRecords, CutsWholeRecordsAndStopsOnMalformedOnes) {
    const Bytes two = {0x00, 0x06, 0x00, 0x41, 0x42, 0x43, 0x00, 0x04, 0x01, 0x11};
    const std::string both = "6:barcodeData:414243 4:codeId:11 ";
    const std::pair<Bytes, std::string> tails[] = {
        {{}, both},
        {{0x00, 0x09, 0x02}, both},              // 1-3 trailing bytes
        {{0x00, 0x00, 0x00, 0x41}, both},        // zero length
        {{0x00, 0x02, 0x00, 0x41}, both},        // length below three
        {{0x00, 0x09, 0x00, 0x41, 0x42}, both},  // length beyond the data
        {{0x00, 0x04, 0x03, 0x41}, both},        // unknown kind
        {{0x00, 0x03, 0x02, 0x00}, both + "3:timestamp: "},
    };
    for (const auto& [tail, expected] : tails) {
        Bytes data = two;
        data.insert(data.end(), tail.begin(), tail.end());
        EXPECT_EQ(records(data), expected) << toHexString(tail);
        const auto frame = test::received<OrvRfidCmd_ScannerDataWithCustomizedFormat>(data);
        EXPECT_EQ(frame.data(), data);
        EXPECT_EQ(frame.parameters().size(), expected == both ? 2u : 3u);
    }
}

TEST_F(ReaderClock, BarcodeEvents) {
    const auto coded = test::received<OrvRfidCmd_ScannerData>({0x81, 0x03, 0x41}).barcodeEvent();
    ASSERT_TRUE(coded);
    EXPECT_TRUE(coded->hasBarcodeId);
    EXPECT_EQ(coded->id, 0x03);
    EXPECT_EQ(coded->data, (Bytes{0x41}));
    const auto plain = test::received<OrvRfidCmd_ScannerData>({0x01, 0x41}).barcodeEvent();
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->hasBarcodeId);
    EXPECT_FALSE(test::received<OrvRfidCmd_ScannerData>({0x80}).barcodeEvent());

    using Frame = OrvRfidCmd_ScannerDataWithCustomizedFormat;
    const Bytes stamp = {0x00, 0x09, 0x02, 0x18, 0x05, 0x1F, 0x0D, 0x2A, 0x00};
    const Bytes code = {0x00, 0x04, 0x01, 0x11, 0x00, 0x04, 0x01, 0x12};
    Bytes all = stamp;
    all.insert(all.end(), code.begin(), code.end());
    all.insert(all.end(), {0x00, 0x04, 0x00, 0x41});
    const auto full = test::received<Frame>(all).barcodeEvent();
    ASSERT_TRUE(full);
    EXPECT_EQ(full->id, 0x12);  // the later record of a kind wins
    EXPECT_EQ(full->data, (Bytes{0x41}));
    EXPECT_EQ(full->timeStamp, local(2024, 5, 31, 13, 42, 0));
    EXPECT_FALSE(test::received<Frame>({}).barcodeEvent());

    const auto log = test::LogCapture::install();
    const auto before = Clock::now();
    const auto skipped =
        test::received<Frame>({0x00, 0x03, 0x01, 0x00, 0x08, 0x02, 0x18, 0x05, 0x1F, 0x0D,
                               0x2A, 0x00, 0x09, 0x02, 0x18, 0x02, 0x1E, 0x0D, 0x2A, 0x00})
            .barcodeEvent();
    ASSERT_TRUE(skipped);
    EXPECT_FALSE(skipped->hasBarcodeId);
    EXPECT_GE(skipped->timeStamp, before);
    EXPECT_EQ(log->count("barcodeEvent() Skipped an invalid", LogLevel::error), 3);
    EXPECT_EQ(log->texts("OrvRfidCmd_ScannerDataWithCustomizedFormat").back(),
              "barcodeEvent() Skipped an invalid timestamp record: 0x18 0x02 0x1E 0x0D 0x2A 0x00 ");
}

TEST(ExtendedBattery, WalksTheItemsOfTheReplyMask) {
    using Type = OrvRfidCmdBatteryStatusExtendedType;
    const auto reply = test::received<OrvRfidCmd_BatteryStatusExtended>(
        {0x42, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0F, 0xA0, 0x41, 0x31, 0x00});
    EXPECT_EQ(reply.types, (std::vector<Type>{Type::voltage, Type::modelNumber}));
    EXPECT_EQ(reply.voltage(), 4000u);
    EXPECT_EQ(reply.modelNumber(), "A1");
    EXPECT_EQ(reply.data(), (Bytes{0x00, 0x00, 0x0F, 0xA0, 0x41, 0x31, 0x00}));
    EXPECT_FALSE(reply.current());

    const auto signedItems = test::received<OrvRfidCmd_BatteryStatusExtended>(
        {0xA0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0xFF, 0xFF, 0xFF, 0x9C});
    EXPECT_EQ(signedItems.chargingStatus(), OrvRfidCmdChargingStatus::chargingError);
    EXPECT_EQ(signedItems.current(), -100);

    // Voltage, model number, cycle count, serial number, design capacity (and bit 0, no item).
    auto items = [](const Bytes& tail) {
        Bytes data = {0x42, 0x68, 0x00, 0x01};
        data.insert(data.end(), tail.begin(), tail.end());
        return test::received<OrvRfidCmd_BatteryStatusExtended>(data);
    };
    const auto mixed = items(
        {0x00, 0x00, 0x10, 0x00, 0x41, 0x00, 0x00, 0x00, 0x01, 0x2C, 0xC3, 0x28, 0x00, 0x00, 0x00});
    EXPECT_EQ(mixed.types.size(), 5u);
    EXPECT_EQ(mixed.modelNumber(), "A");
    EXPECT_EQ(mixed.cycleCount(), 300u);
    EXPECT_FALSE(mixed.serialNumber());    // not UTF-8; its bytes are still consumed
    EXPECT_FALSE(mixed.designCapacity());  // two bytes left
    // A truncated number or an unended text ends the walk.
    EXPECT_FALSE(items({0x00, 0x00, 0x10}).modelNumber());
    EXPECT_FALSE(items({0x00, 0x00, 0x10, 0x00, 0x41, 0x42}).cycleCount());
    EXPECT_TRUE(test::received<OrvRfidCmd_BatteryStatusExtended>({0x40, 0x00, 0x00}).types.empty());
}

}  // namespace
}  // namespace orvane
