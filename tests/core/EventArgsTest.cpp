#include "orvanerfid/core/EventArgs.h"

#include <gtest/gtest.h>

#include <limits>

namespace orvane {
namespace {

using namespace std::chrono;

// The records only store and return the reader, so any owned object stands in for one.
std::shared_ptr<UhfReader> standInReader(const std::shared_ptr<int>& owner) {
    return {owner, reinterpret_cast<UhfReader*>(owner.get())};
}

system_clock::time_point utc(int y, unsigned mo, unsigned d, int h, int mi, int s) {
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

TEST(NotificationEventArgs, Texts) {
    struct Case {
        NotificationID id;
        std::any data;
        const char* text;
    };
    const Case cases[] = {
        {NotificationID::unknown, {}, "Notification Event: Unknown, "},
        {NotificationID::lowBattery, {}, "Notification Event: Low Battery, "},
        {NotificationID::ambientTemperatureTooHigh,
         {},
         "Notification Event: Ambient Temperature Too High, "},
        {NotificationID::log, std::string("battery at 5%"),
         "Notification Event: Log, battery at 5%"},
        {NotificationID::log, "plain text", "Notification Event: Log, plain text"},
        {NotificationID::temperatureTooHigh, 71, "Notification Event: Temperature Too High, 71"},
        {NotificationID::temperatureTooHigh, int64_t{-5},
         "Notification Event: Temperature Too High, -5"},
        {NotificationID::log, 1.5, "Notification Event: Log, "},
    };
    for (const auto& c : cases) {
        const NotificationEventArgs args(nullptr, c.id, c.data);
        EXPECT_EQ(args.description(), c.text);
        EXPECT_EQ(args.notificationID(), c.id);
        EXPECT_EQ(args.data().has_value(), c.data.has_value());
    }
}

TEST(NotificationEventArgs, HoldsItsReader) {
    auto owner = std::make_shared<int>(7);
    const NotificationEventArgs args(standInReader(owner), NotificationID::lowBattery, {});
    EXPECT_EQ(static_cast<void*>(args.reader().get()), owner.get());
    EXPECT_EQ(owner.use_count(), 2);  // the record keeps the reader alive
    EXPECT_EQ(args.description(), "Notification Event: Low Battery, ");
}

TEST(ConnectStateEventArgs, TextIsTheSameWithAndWithoutReader) {
    const std::pair<ConnectState, const char*> cases[] = {
        {ConnectState::disconnected, "Connect State: Disconnected"},
        {ConnectState::listen, "Connect State: Listen"},
        {ConnectState::connecting, "Connect State: Connecting"},
        {ConnectState::connected, "Connect State: Connected"},
        {ConnectState::disconnecting, "Connect State: Disconnecting"},
    };
    auto owner = std::make_shared<int>(0);
    for (const auto& [state, text] : cases) {
        const ConnectStateEventArgs withReader(standInReader(owner), state);
        const ConnectStateEventArgs withoutReader(nullptr, state);
        EXPECT_EQ(withReader.description(), text);
        EXPECT_EQ(withoutReader.description(), text);
        EXPECT_NE(withReader.reader(), nullptr);
        EXPECT_EQ(withoutReader.reader(), nullptr);
    }
}

TEST(BarcodeEventArgs, TextsInUniversalTime) {
    struct Case {
        const char* name;
        BarcodeId id;
        Bytes data;
        system_clock::time_point time;
        const char* text;
    };
    const Case cases[] = {
        {"two bytes",
         BarcodeId::code128,
         {0x41, 0x0B},
         utc(2024, 5, 1, 10, 20, 30),
         "ID: Code 128, Data: 0x41 0x0B , Timestamp: 2024-05-01 10:20:30 +0000"},
        {"no data",
         BarcodeId::unknown,
         {},
         utc(2024, 12, 31, 23, 59, 59),
         "ID: Unknown, Data: , Timestamp: 2024-12-31 23:59:59 +0000"},
        {"fractions are cut, not rounded",
         BarcodeId::ean13,
         {0xFF},
         utc(2000, 2, 29, 0, 0, 0) + milliseconds(999),
         "ID: EAN-13, Data: 0xFF , Timestamp: 2000-02-29 00:00:00 +0000"},
        {"before 1970",
         BarcodeId::upcA,
         {0x00},
         system_clock::time_point{} - milliseconds(500),
         "ID: UPC-A, Data: 0x00 , Timestamp: 1969-12-31 23:59:59 +0000"},
    };
    for (const auto& c : cases) {
        const BarcodeEventArgs args(c.id, c.data, c.time);
        EXPECT_EQ(args.description(), c.text) << c.name;
        EXPECT_EQ(args.data(), c.data) << c.name;
        EXPECT_EQ(args.timeStamp(), c.time) << c.name;
    }
}

TEST(AccessResultEventArgs, BankFallbackAndHexTexts) {
    const AccessResultEventArgs lock({}, {}, ActionState::lock, std::nullopt, ResultCode::noError);
    EXPECT_EQ(lock.bankType(), BankType::reserved);
    EXPECT_EQ(lock.strEPC(), "");
    EXPECT_EQ(lock.strData(), "");
    EXPECT_EQ(lock.actionState(), ActionState::lock);

    const AccessResultEventArgs read({0x30, 0x00, 0xAB}, {0x0F}, ActionState::readMemory,
                                     BankType::user, ResultCode::memoryOverrun);
    EXPECT_EQ(read.bankType(), BankType::user);
    EXPECT_EQ(read.strEPC(), "3000AB");
    EXPECT_EQ(read.strData(), "0F");
    EXPECT_EQ(read.resultCode(), ResultCode::memoryOverrun);
}

TEST(LbtStatusEventArgs, KeepsSignedAndFullRangeValues) {
    const LbtStatusEventArgs lowest(true, std::numeric_limits<int16_t>::min(), 0xFFFFFFFFu);
    EXPECT_EQ(lowest.rssi(), -32768);
    EXPECT_EQ(lowest.frequency(), 0xFFFFFFFFu);
    const LbtStatusEventArgs typical(false, -70, 865700);
    EXPECT_EQ(typical.rssi(), -70);
    EXPECT_FALSE(typical.interferer());
}

TEST(ProtocolBarcodeEventArgs, FreshRecord) {
    const auto before = system_clock::now();
    const ProtocolBarcodeEventArgs args;
    const auto after = system_clock::now();
    EXPECT_FALSE(args.hasBarcodeId);
    EXPECT_EQ(args.id, 0);
    EXPECT_TRUE(args.data.empty());
    EXPECT_GE(args.timeStamp, before);
    EXPECT_LE(args.timeStamp, after);
}

}  // namespace
}  // namespace orvane
