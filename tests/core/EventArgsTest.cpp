#include "orvanerfid/core/EventArgs.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using namespace std::chrono;

TEST(NotificationEventArgs, Texts) {
    const std::pair<std::any, const char*> cases[] = {
        {{}, "Notification Event: Low Battery, "},
        {std::string("battery at 5%"), "Notification Event: Low Battery, battery at 5%"},
        {int64_t{-5}, "Notification Event: Low Battery, -5"},
        {1.5, "Notification Event: Low Battery, "},
    };
    for (const auto& [data, text] : cases)
        EXPECT_EQ(NotificationEventArgs(nullptr, NotificationID::lowBattery, data).description(),
                  text);
}

TEST(ConnectStateEventArgs, TextIsTheSameWithAndWithoutReader) {
    // The records only store the reader, so any owned object stands in for one.
    auto owner = std::make_shared<int>(0);
    const std::shared_ptr<UhfReader> reader(owner, reinterpret_cast<UhfReader*>(owner.get()));
    const ConnectStateEventArgs withReader(reader, ConnectState::disconnecting);
    const ConnectStateEventArgs withoutReader(nullptr, ConnectState::disconnecting);
    EXPECT_EQ(withReader.description(), "Connect State: Disconnecting");
    EXPECT_EQ(withoutReader.description(), "Connect State: Disconnecting");
    EXPECT_EQ(withReader.reader(), reader);

    const NotificationEventArgs notification(reader, NotificationID::log, {});
    EXPECT_EQ(owner.use_count(), 4);  // the records keep the reader alive
}

TEST(BarcodeEventArgs, TextsInUniversalTime) {
    const auto may1 = sys_days{2024y / May / 1} + 10h + 20min + 30s;
    struct Case {
        BarcodeId id;
        Bytes data;
        system_clock::time_point time;
        const char* text;
    };
    const Case cases[] = {
        {BarcodeId::code128,
         {0x41, 0x0B},
         may1,
         "ID: Code 128, Data: 0x41 0x0B , Timestamp: 2024-05-01 10:20:30 +0000"},
        {BarcodeId::unknown,
         {},
         may1 + 999ms,  // fractions are cut, not rounded
         "ID: Unknown, Data: , Timestamp: 2024-05-01 10:20:30 +0000"},
        {BarcodeId::upcA,
         {0x00},
         system_clock::time_point{} - 500ms,
         "ID: UPC-A, Data: 0x00 , Timestamp: 1969-12-31 23:59:59 +0000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BarcodeEventArgs(c.id, c.data, c.time).description(), c.text);
}

TEST(AccessResultEventArgs, BankFallbackAndHexTexts) {
    const AccessResultEventArgs lock({}, {}, ActionState::lock, std::nullopt, ResultCode::noError);
    EXPECT_EQ(lock.bankType(), BankType::reserved);
    EXPECT_EQ(lock.strEPC(), "");
    EXPECT_EQ(lock.strData(), "");

    const AccessResultEventArgs read({0x30, 0x00, 0xAB}, {0x0F}, ActionState::readMemory,
                                     BankType::user, ResultCode::memoryOverrun);
    EXPECT_EQ(read.bankType(), BankType::user);
    EXPECT_EQ(read.strEPC(), "3000AB");
    EXPECT_EQ(read.strData(), "0F");
}

TEST(ProtocolBarcodeEventArgs, FreshRecord) {
    const auto before = system_clock::now();
    const ProtocolBarcodeEventArgs args;
    EXPECT_FALSE(args.hasBarcodeId);
    EXPECT_EQ(args.id, 0);
    EXPECT_TRUE(args.data.empty());
    EXPECT_GE(args.timeStamp, before);
    EXPECT_LE(args.timeStamp, system_clock::now());
}

}  // namespace
}  // namespace orvane
