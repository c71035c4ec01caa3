// The multi-field readings of the setting commands: the reader's clock in local time, the
// extended battery walk and the customized barcode records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "SettingTestSupport.h"
#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/commands/SledCommands.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

using Clock = std::chrono::system_clock;
using Type = OrvRfidCmdBatteryStatusExtendedType;

// Runs the clock tests in a fixed zone nine hours east of UTC, so that local time differs from
// UTC, and restores the process's zone afterwards.
class ReaderClock : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) saved_ = tz;
        setenv("TZ", "JST-9", 1);
        tzset();
    }
    void TearDown() override {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    static Clock::time_point local(int year, int month, int day, int hour, int minute, int second) {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        tm.tm_isdst = -1;
        return Clock::from_time_t(std::mktime(&tm));
    }

  private:
    std::optional<std::string> saved_;
};

TEST_F(ReaderClock, WritesLocalTimeAndRefusesYearsOutsideTheByte) {
    OrvRfidCmd_SetSystemTime set;
    set.systemTime = local(2024, 2, 29, 13, 45, 30);
    EXPECT_EQ(test::requestData(set), (Bytes{0x18, 0x02, 0x1D, 0x0D, 0x2D, 0x1E}));
    // 2024-02-29 04:45:30 UTC is 13:45:30 in the fixed zone.
    set.systemTime = Clock::from_time_t(1709181930);
    EXPECT_EQ(test::requestData(set), (Bytes{0x18, 0x02, 0x1D, 0x0D, 0x2D, 0x1E}));
    set.systemTime = local(2255, 12, 31, 23, 59, 59);
    EXPECT_EQ(test::requestData(set)[0], 0xFF);
    for (int year : {1999, 2256}) {
        set.systemTime = local(year, 6, 1, 0, 0, 0);
        try {
            set.toBytes();
            ADD_FAILURE() << year << " was framed";
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::outOfRange) << year;
        }
    }
    const auto before = Clock::now();
    const OrvRfidCmd_SetSystemTime fresh;
    EXPECT_GE(fresh.systemTime, before - std::chrono::seconds(1));
    EXPECT_LE(fresh.systemTime, Clock::now());
}

TEST_F(ReaderClock, ReadsOnlyDatesThatExist) {
    const struct {
        Bytes data;
        std::optional<Clock::time_point> time;
    } cases[] = {
        {{0x18, 0x02, 0x1D, 0x0D, 0x2D, 0x1E}, local(2024, 2, 29, 13, 45, 30)},
        {{0x18, 0x05, 0x1F, 0x0D, 0x2A, 0x00, 0x99}, local(2024, 5, 31, 13, 42, 0)},
        {{0x00, 0x01, 0x01, 0x00, 0x00, 0x00}, local(2000, 1, 1, 0, 0, 0)},
        {{0x19, 0x0D, 0x00, 0x18, 0x3C, 0x3C}, std::nullopt},  // month 13, day 0, hour 24
        {{0x17, 0x02, 0x1D, 0x0D, 0x2D, 0x1E}, std::nullopt},  // 2023-02-29
        {{0x18, 0x04, 0x1F, 0x00, 0x00, 0x00}, std::nullopt},  // April 31
        {{0x18, 0x01, 0x01, 0x00, 0x3C, 0x00}, std::nullopt},  // minute 60
        {{0x18, 0x01, 0x01, 0x00, 0x00, 0x3C}, std::nullopt},  // second 60
        {{0x18, 0x02, 0x1D, 0x0D, 0x2D}, std::nullopt},        // five bytes
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(test::received<OrvRfidCmd_GetSystemTime>(c.data).systemTime(), c.time)
            << toHexString(c.data);
    }
}

TEST_F(ReaderClock, ClockRoundTrips) {
    OrvRfidCmd_SetSystemTime set;
    set.systemTime = local(2031, 12, 31, 23, 59, 59);
    const auto back = test::received<OrvRfidCmd_GetSystemTime>(test::requestData(set));
    EXPECT_EQ(back.systemTime(), set.systemTime);
}

class ErrorLines : public orvLoggerDelegate {
  public:
    void logEvent(const LogEventArg& e) override {
        if (e.level() == LogLevel::error) lines.push_back(e.log());
    }
    std::vector<std::string> lines;
};

TEST_F(ReaderClock, BarcodeEventsOfPlainFrames) {
    const auto coded = test::received<OrvRfidCmd_ScannerData>({0x81, 0x03, 0x41, 0x42});
    const auto event = coded.barcodeEvent();
    ASSERT_TRUE(event);
    EXPECT_TRUE(event->hasBarcodeId);
    EXPECT_EQ(event->id, 0x03);
    EXPECT_EQ(event->data, (Bytes{0x41, 0x42}));
    const auto before = Clock::now();
    const auto plain = test::received<OrvRfidCmd_ScannerData>({0x01, 0x41, 0x42}).barcodeEvent();
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->hasBarcodeId);
    EXPECT_EQ(plain->id, 0);
    EXPECT_EQ(plain->data, (Bytes{0x41, 0x42}));
    EXPECT_GE(plain->timeStamp, before);
    EXPECT_FALSE(test::received<OrvRfidCmd_ScannerData>({}).barcodeEvent());
    EXPECT_FALSE(test::received<OrvRfidCmd_ScannerData>({0x80}).barcodeEvent());
}

TEST_F(ReaderClock, BarcodeEventsOfCustomizedFrames) {
    using Frame = OrvRfidCmd_ScannerDataWithCustomizedFormat;
    const Bytes barcode = {0x00, 0x06, 0x00, 0x41, 0x42, 0x43};
    const Bytes code = {0x00, 0x04, 0x01, 0x11};
    const Bytes stamp = {0x00, 0x09, 0x02, 0x18, 0x05, 0x1F, 0x0D, 0x2A, 0x00};
    auto frame = [](std::initializer_list<Bytes> records) {
        Bytes data;
        for (const auto& r : records)
            data.insert(data.end(), r.begin(), r.end());
        return test::received<Frame>(data);
    };
    const auto full = frame({stamp, code, barcode}).barcodeEvent();
    ASSERT_TRUE(full);
    EXPECT_TRUE(full->hasBarcodeId);
    EXPECT_EQ(full->id, 0x11);
    EXPECT_EQ(full->data, (Bytes{0x41, 0x42, 0x43}));
    EXPECT_EQ(full->timeStamp, local(2024, 5, 31, 13, 42, 0));

    const auto later = frame({barcode, {0x00, 0x05, 0x00, 0x44, 0x45}}).barcodeEvent();
    ASSERT_TRUE(later);
    EXPECT_EQ(later->data, (Bytes{0x44, 0x45}));
    EXPECT_FALSE(later->hasBarcodeId);

    auto errors = std::make_shared<ErrorLines>();
    ASSERT_TRUE(orvLogger::registerDelegateIfNone(errors));
    const auto before = Clock::now();
    const auto skipped = frame({barcode,
                                {0x00, 0x03, 0x01},
                                {0x00, 0x08, 0x02, 0x18, 0x05, 0x1F, 0x0D, 0x2A},
                                {0x00, 0x09, 0x02, 0x18, 0x02, 0x1E, 0x0D, 0x2A, 0x00}})
                             .barcodeEvent();
    ASSERT_TRUE(skipped);
    EXPECT_FALSE(skipped->hasBarcodeId);
    EXPECT_GE(skipped->timeStamp, before);
    EXPECT_EQ(skipped->data, (Bytes{0x41, 0x42, 0x43}));
    ASSERT_EQ(errors->lines.size(), 3u);
    EXPECT_EQ(errors->lines[2],
              "barcodeEvent() Skipped an invalid timestamp record: 0x18 0x02 0x1E 0x0D 0x2A 0x00 ");
    EXPECT_FALSE(frame({}).barcodeEvent());
}

TEST(ExtendedBattery, WalksTheItemsOfTheReplyMask) {
    const auto reply = test::received<OrvRfidCmd_BatteryStatusExtended>(
        {0x42, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0F, 0xA0, 0x41, 0x31, 0x00});
    EXPECT_EQ(reply.types, (std::vector<Type>{Type::voltage, Type::modelNumber}));
    EXPECT_EQ(reply.voltage(), 4000u);
    EXPECT_EQ(reply.modelNumber(), "A1");
    EXPECT_EQ(reply.data(), (Bytes{0x00, 0x00, 0x0F, 0xA0, 0x41, 0x31, 0x00}));
    EXPECT_FALSE(reply.current());
    EXPECT_FALSE(reply.chargingStatus());

    const auto current = test::received<OrvRfidCmd_BatteryStatusExtended>(
        {0xA0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0xFF, 0xFF, 0xFF, 0x9C});
    EXPECT_EQ(current.chargingStatus(), OrvRfidCmdChargingStatus::chargingError);
    EXPECT_EQ(current.current(), -100);
}

TEST(ExtendedBattery, ShortAndMalformedItemsGiveNoValue) {
    // Mask: voltage, model number, cycle count, serial number, design capacity; bits below
    // 0x00080000 name no item.
    const Bytes mask = {0x42, 0x68, 0x00, 0x01};
    auto reply = [&mask](const Bytes& items) {
        Bytes data = mask;
        data.insert(data.end(), items.begin(), items.end());
        return test::received<OrvRfidCmd_BatteryStatusExtended>(data);
    };
    const auto mixed = reply(
        {0x00, 0x00, 0x10, 0x00, 0x41, 0x00, 0x00, 0x00, 0x01, 0x2C, 0xC3, 0x28, 0x00, 0x00, 0x00});
    EXPECT_EQ(mixed.types.size(), 5u);
    EXPECT_EQ(mixed.voltage(), 4096u);
    EXPECT_EQ(mixed.modelNumber(), "A");
    EXPECT_EQ(mixed.cycleCount(), 300u);
    EXPECT_FALSE(mixed.serialNumber());    // not UTF-8; its bytes are still consumed
    EXPECT_FALSE(mixed.designCapacity());  // two bytes left
    // A number with fewer than 4 bytes left ends the walk: its bytes are no text.
    const auto truncated = reply({0x00, 0x00, 0x10});
    EXPECT_FALSE(truncated.voltage());
    EXPECT_FALSE(truncated.modelNumber());
    EXPECT_FALSE(truncated.cycleCount());
    // A text without its end byte ends the walk.
    const auto unended = reply({0x00, 0x00, 0x10, 0x00, 0x41, 0x42});
    EXPECT_EQ(unended.voltage(), 4096u);
    EXPECT_FALSE(unended.modelNumber());
    EXPECT_FALSE(unended.cycleCount());
    // An empty text is a value.
    const auto empty = reply({0x00, 0x00, 0x10, 0x00, 0x00});
    EXPECT_EQ(empty.modelNumber(), "");
    // Fewer than 4 bytes: no mask, no items.
    const auto bare = test::received<OrvRfidCmd_BatteryStatusExtended>({0x40, 0x00, 0x00});
    EXPECT_TRUE(bare.types.empty());
    EXPECT_FALSE(bare.voltage());
    EXPECT_EQ(bare.data(), (Bytes{0x40, 0x00, 0x00}));
}

TEST(BarcodeRecords, CutsWholeRecordsAndStopsOnMalformedOnes) {
    using Format = OrvRfidCmdScannerDataFormat;
    struct Record {
        uint16_t length;
        Format id;
        Bytes value;
    };
    const Bytes two = {0x00, 0x06, 0x00, 0x41, 0x42, 0x43, 0x00, 0x04, 0x01, 0x11};
    auto with = [&two](const Bytes& tail) {
        Bytes data = two;
        data.insert(data.end(), tail.begin(), tail.end());
        return data;
    };
    const std::vector<Record> both = {{6, Format::barcodeData, {0x41, 0x42, 0x43}},
                                      {4, Format::codeId, {0x11}}};
    const struct {
        const char* what;
        Bytes data;
        std::vector<Record> records;
    } cases[] = {
        {"two records", two, both},
        {"one trailing byte", with({0x00}), both},
        {"three trailing bytes", with({0x00, 0x09, 0x02}), both},
        {"zero length", with({0x00, 0x00, 0x00, 0x41}), both},
        {"length below three", with({0x00, 0x02, 0x00, 0x41}), both},
        {"length beyond the data", with({0x00, 0x09, 0x00, 0x41, 0x42}), both},
        {"unknown kind", with({0x00, 0x04, 0x03, 0x41}), both},
        {"empty value",
         {0x00, 0x03, 0x00, 0x00, 0x04, 0x01, 0x11},
         {{3, Format::barcodeData, {}}, {4, Format::codeId, {0x11}}}},
        {"three-byte record at the end",
         {0x00, 0x04, 0x01, 0x11, 0x00, 0x03, 0x00},
         {{4, Format::codeId, {0x11}}}},
        {"nothing", {}, {}},
    };
    for (const auto& c : cases) {
        const auto frame = test::received<OrvRfidCmd_ScannerDataWithCustomizedFormat>(c.data);
        EXPECT_EQ(frame.data(), c.data) << c.what;
        const auto& records = frame.parameters();
        ASSERT_EQ(records.size(), c.records.size()) << c.what;
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].length(), c.records[i].length) << c.what << " #" << i;
            EXPECT_EQ(records[i].id(), c.records[i].id) << c.what << " #" << i;
            EXPECT_EQ(records[i].data(), c.records[i].value) << c.what << " #" << i;
        }
    }
}

}  // namespace
}  // namespace orvane
