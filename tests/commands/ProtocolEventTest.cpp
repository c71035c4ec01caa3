#include <gtest/gtest.h>

#include <ctime>

#include "Vk210FrameSupport.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

using Id = OrvRfidCmdId;
using Ev = ProtocolEventId;

// Events of a frame as the receive loop cuts it: status byte 00 first for status-bearing codes.
std::vector<ProtocolEventArgs> eventsOf(Id id, const Bytes& data,
                                        std::optional<BankType> bank = std::nullopt) {
    Bytes area;
    if (!isStatusLess(id)) area.push_back(0x00);
    area.insert(area.end(), data.begin(), data.end());
    static Bytes frame;  // the CommandFrame views it
    frame = OrvaneRfidCommand::frame(id, area);
    const auto parsed = OrvaneRfidCommand::parseFrame(frame);
    EXPECT_TRUE(parsed);
    return vk210FrameEvents(*parsed, bank);
}

std::vector<Ev> idsOf(const std::vector<ProtocolEventArgs>& events) {
    std::vector<Ev> ids;
    for (const auto& e : events) {
        ids.push_back(e.id());
        EXPECT_TRUE(e.hasExpectedKind()) << caseName(e.id());
    }
    return ids;
}

TEST(ProtocolEvents, IdsAndTheKindEachCarries) {
    EXPECT_EQ(allCases<ProtocolEventId>().size(), 29u);
    EXPECT_EQ(fromRaw<ProtocolEventId>(28), Ev::accessBankType);
    EXPECT_FALSE(fromRaw<ProtocolEventId>(29).has_value());
    const struct {
        ProtocolEventArgs event;
        bool expected;
    } cases[] = {
        {ProtocolEventArgs(Ev::temperature, 30.0), true},
        {ProtocolEventArgs(Ev::temperature, uint8_t{30}), false},
        {ProtocolEventArgs(Ev::temperature), false},
        {ProtocolEventArgs(Ev::initialFinished), true},
        {ProtocolEventArgs(Ev::resetBuffer, true), false},
        {ProtocolEventArgs(Ev::accessBankType, BankType::user), true},
        {ProtocolEventArgs(Ev::tagsIndicator, InventoryIndicator()), true},
        {ProtocolEventArgs(Ev::macAddress, std::string("00:11")), true},
        {ProtocolEventArgs(Ev::tagInfo, std::make_shared<TagInfo>()), true},
        {ProtocolEventArgs(Ev::skuType, BankType::epc), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.event.hasExpectedKind(), c.expected) << caseName(c.event.id());
    }
    const ProtocolEventArgs bank(Ev::accessBankType, BankType::tid);
    ASSERT_NE(bank.get<BankType>(), nullptr);
    EXPECT_EQ(*bank.get<BankType>(), BankType::tid);
    EXPECT_EQ(bank.get<bool>(), nullptr);
}

TEST(ProtocolEvents, WhichFramesAreEventsAndWhichReplies) {
    const struct {
        Id id;
        bool event;
        bool reply;
    } cases[] = {
        {Id::inventoryData, true, false},
        {Id::inventoryStatus, true, false},
        {Id::tagAccessData, true, false},
        {Id::eventNotificationKeyEventStatus, true, false},
        {Id::paTemperature, true, true},
        {Id::batteryStatus, true, true},
        {Id::engineModel, true, true},
        {Id::ambientTemperature, false, true},
        {Id::executeMultipleSetting, false, true},
        {Id::firmware, false, true},
    };
    for (const auto& c : cases) {
        const Vk210FrameRole role = vk210FrameRole(c.id);
        EXPECT_EQ(role.raisesEvent, c.event) << caseName(c.id);
        EXPECT_EQ(role.isReply, c.reply) << caseName(c.id);
    }
    EXPECT_TRUE(eventsOf(Id::ambientTemperature, {0x01, 0x2C}).empty());
}

class EventMapTest : public vk210test::CapturedLogTest {};

TEST_F(EventMapTest, EventFramesRaiseTheirEvents) {
    const struct {
        Id id;
        Bytes data;
        std::vector<Ev> events;
    } cases[] = {
        {Id::inventoryStatus, {}, {Ev::actionChanged}},
        {Id::inventoryStatus, {1, 2, 3, 4, 5}, {Ev::actionChanged}},
        {Id::systemError, {1}, {Ev::notification, Ev::actionChanged}},
        {Id::systemError, {2}, {Ev::notification, Ev::actionChanged}},
        {Id::systemError, {3}, {Ev::actionChanged}},
        {Id::systemError, {}, {Ev::actionChanged}},
        {Id::operationError, {0, 0x83}, {Ev::actionChanged}},
        {Id::eventNotificationAntennaStatus, {2, 0}, {Ev::antennaBeginEnd}},
        {Id::eventNotificationLbtStatus, {1, 0, 0, 0, 0, 0, 0}, {Ev::lbtStatus}},
        {Id::eventNotificationBackupBatteryStatus, {1}, {Ev::backupBatteryInUse}},
        {Id::eventNotificationEngineReadyStatus, {0}, {Ev::engineReady}},
        {Id::eventNotificationKeyEventStatus, {1, 1}, {Ev::keyEvent}},
        {Id::eventNotificationBatchDataStatus, {0}, {Ev::batchDataStatus}},
        {Id::paTemperature, {0x01, 0x2C}, {Ev::temperature}},
        {Id::batteryStatus, {0x01, 80}, {Ev::batteryInfo}},
        {Id::engineModel, {'S', 'E', '4', '1', '0', '7'}, {Ev::engineModel}},
        {Id::tagAccessData, {0x00, 0x82, 0x00}, {Ev::accessResult}},
        {Id::inventoryData, {1, 0xFF, 0x38, 0x08, 0x00, 0xE2, 0x80}, {Ev::tagInfo}},
        {Id::inventoryDataWithCustomizedFormat, {0, 4, 3, 1}, {Ev::tagInfo}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(idsOf(eventsOf(c.id, c.data)), c.events)
            << caseName(c.id) << " " << toHexString(c.data);
    }
    EXPECT_EQ(log->texts(LogLevel::error).size(), 5u) << log->all();  // the error frames
}

TEST_F(EventMapTest, EventValuesFollowTheFrameBytes) {
    auto one = [](Id id, const Bytes& data) {
        auto events = eventsOf(id, data);
        EXPECT_EQ(events.size(), 1u) << caseName(id);
        return events.empty() ? ProtocolEventArgs(Ev::gValue) : events.front();
    };
    EXPECT_EQ(*one(Id::paTemperature, {0x01, 0x2C}).get<double>(), 30.0);
    EXPECT_EQ(*one(Id::eventNotificationBatchDataStatus, {5}).get<BatchDataStatus>(),
              BatchDataStatus::end);
    EXPECT_FALSE(*one(Id::eventNotificationBackupBatteryStatus, {2}).get<bool>());
    EXPECT_EQ(*one(Id::engineModel, {}).get<EngineModel>(), EngineModel::unknown);

    const auto key = *one(Id::eventNotificationKeyEventStatus, {0x00, 0x00}).get<KeyEventArgs>();
    EXPECT_EQ(key.id(), KeyID::upperKey);
    EXPECT_FALSE(key.pressed());
    const auto lower = *one(Id::eventNotificationKeyEventStatus, {1, 1}).get<KeyEventArgs>();
    EXPECT_EQ(lower.id(), KeyID::lowerKey);
    EXPECT_TRUE(lower.pressed());

    const auto antenna =
        *one(Id::eventNotificationAntennaStatus, {3, 7}).get<AntennaStatusEventArgs>();
    EXPECT_EQ(antenna.antenna(), 3);
    EXPECT_EQ(antenna.status(), AntennaBeginEnd::end);

    const auto lbt = *one(Id::eventNotificationLbtStatus, {1, 0xFF, 0xF0, 0, 0x0E, 0x1A, 0x3C})
                          .get<LbtStatusEventArgs>();
    EXPECT_TRUE(lbt.interferer());
    EXPECT_EQ(lbt.rssi(), -16);
    EXPECT_EQ(lbt.frequency(), 924220u);

    const auto battery = *one(Id::batteryStatus, {0x01, 80}).get<BatteryInfoEventArgs>();
    EXPECT_EQ(battery.percentage(), 80);
    EXPECT_TRUE(battery.charging());

    const auto events = eventsOf(Id::systemError, {2});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(*events[0].get<NotificationID>(), NotificationID::paTemperatureTooHigh);
    EXPECT_EQ(*events[1].get<ActionState>(), ActionState::stop);
    eventsOf(Id::operationError, {0, 0x83});
    eventsOf(Id::systemError, {9});
    const auto errors = log->texts(LogLevel::error);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0], "keepReadThread() System Error: PA Temperature Too High");
    EXPECT_EQ(errors[1], "keepReadThread() Operation Error: Memory Overrun");
    EXPECT_EQ(errors[2], "keepReadThread() System Error: Unknown");
}

TEST_F(EventMapTest, AccessResultsCarryActionResultAndBank) {
    auto result = [](const Bytes& data, std::optional<BankType> bank) {
        const auto events = eventsOf(Id::tagAccessData, data, bank);
        EXPECT_EQ(events.size(), 1u);
        return *events.at(0).get<AccessResultEventArgs>();
    };
    const auto read = result({0x00, 0x82, 0x00, 1, 2, 3, 4}, BankType::user);
    EXPECT_EQ(read.actionState(), ActionState::readMemory);
    EXPECT_EQ(read.resultCode(), ResultCode::noError);
    EXPECT_EQ(read.data(), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(read.bankType(), BankType::user);
    EXPECT_TRUE(read.epc().empty());

    const auto timedOut = result({0x00, 0x83, 0x88, 9, 9}, std::nullopt);
    EXPECT_EQ(timedOut.actionState(), ActionState::writeMemory);
    EXPECT_EQ(timedOut.resultCode(), ResultCode::timeout);
    EXPECT_TRUE(timedOut.data().empty());

    const auto other = result({0x00, 0xFF, 0x42}, std::nullopt);
    EXPECT_EQ(other.actionState(), ActionState::stop);
    EXPECT_EQ(other.resultCode(), ResultCode::undefined);
}

TEST_F(EventMapTest, ShortEventFramesAreDroppedWithAnErrorLine) {
    const struct {
        Id id;
        Bytes data;
    } cases[] = {
        {Id::eventNotificationKeyEventStatus, {}},
        {Id::eventNotificationKeyEventStatus, {1}},
        {Id::eventNotificationAntennaStatus, {}},
        {Id::eventNotificationAntennaStatus, {1}},
        {Id::eventNotificationLbtStatus, {1, 0, 0, 0, 0, 0}},
        {Id::eventNotificationBackupBatteryStatus, {}},
        {Id::eventNotificationEngineReadyStatus, {}},
        {Id::eventNotificationBatchDataStatus, {}},
        {Id::paTemperature, {0x01}},
        {Id::paTemperature, {0x01, 0x2C, 0x00}},
        {Id::batteryStatus, {0x03}},
        {Id::tagAccessData, {0x00, 0x82}},
        {Id::inventoryData, {1, 0xFF, 0x38, 0x08}},
        {Id::inventoryDataWithTid, {1, 0xFF, 0x38, 0x10, 0x00, 0xE2}},  // EPC past the end
        {Id::inventoryDataPhase, Bytes(12, 0x01)},
        {Id::inventoryDataWithCustomizedFormat, {}},
        {Id::inventoryDataWithCustomizedFormat, {0, 0, 3, 1, 0, 4, 3, 1}},        // first length 0
        {Id::inventoryDataWithCustomizedFormat, {0, 4, 2, 1, 0, 6, 6, 0, 1, 2}},  // all short
    };
    for (const auto& c : cases) {
        log->records.clear();
        EXPECT_TRUE(eventsOf(c.id, c.data).empty()) << caseName(c.id) << " " << toHexString(c.data);
        const auto errors = log->texts(LogLevel::error);
        ASSERT_EQ(errors.size(), 1u) << caseName(c.id);
        EXPECT_EQ(errors[0].rfind("keepReadThread() Dropped " + std::string(caseName(c.id)), 0), 0u)
            << errors[0];
    }
}

TEST(TagReports, FixedRecordsFillTheirFieldsInMarkingOrder) {
    const Bytes plain = {2, 0xFF, 0x38, 0x08, 0x00, 0xE2, 0x80};
    const auto info = *eventsOf(Id::inventoryData, plain).at(0).get<TagInfoPtr>();
    EXPECT_EQ(info->antenna(), 2);
    EXPECT_FLOAT_EQ(info->rssi(), -2.0f);
    EXPECT_EQ(info->pc(), (Bytes{0x08, 0x00}));
    EXPECT_EQ(info->strEPC(), "E280");
    const std::vector<TagInfoId> order(info->tagInfoId().begin(), info->tagInfoId().end());
    EXPECT_EQ(order, (std::vector<TagInfoId>{TagInfoId::epc, TagInfoId::rssi, TagInfoId::antenna,
                                             TagInfoId::pc}));

    const Bytes phase = {1,    0x00, 0x64, 0x03, 0xE8, 0x00, 0x01, 0x00,
                         0x0E, 0x1A, 0x3C, 0x08, 0x00, 0xAB, 0xCD, 0x11};
    const auto withTid = *eventsOf(Id::inventoryDataPhaseWithTid, phase).at(0).get<TagInfoPtr>();
    EXPECT_FLOAT_EQ(withTid->rssi(), 1.0f);
    EXPECT_FLOAT_EQ(withTid->phaseBegin(), 87.0f);  // 1000 x 87 / 1000
    EXPECT_FLOAT_EQ(withTid->phaseEnd(), 0.087f);
    EXPECT_EQ(withTid->frequency(), 924220u);
    EXPECT_EQ(withTid->strEPC(), "ABCD");
    EXPECT_EQ(withTid->strTID(), "11");
    const auto user =
        *eventsOf(Id::inventoryDataWithUserSpecifiedData, {1, 0, 0, 0x00, 0x00, 0x55, 0x66})
             .at(0)
             .get<TagInfoPtr>();
    EXPECT_TRUE(user->epc().empty());
    EXPECT_EQ(user->userData(), (Bytes{0x55, 0x66}));
}

TEST(TagReports, CustomizedItemsApplyInOrderAndShortOnesAreSkipped) {
    const auto info = tagInfoFromCustomizedItems(Bytes{0, 4, 3, 1, 0, 5, 2, 0xFF, 0x38});
    ASSERT_TRUE(info);
    EXPECT_EQ(info->antenna(), 1);
    EXPECT_FLOAT_EQ(info->rssi(), -2.0f);
    EXPECT_EQ(info->description(), "Antenna: 1, RSSI: -2.0");

    const Bytes mixed = {
        0, 4, 2, 0x01,                       // RSSI of one byte: skipped
        0, 5, 0, 0xE2, 0x80,                 // EPC
        0, 3, 4,                             // empty TID: skipped
        0, 6, 6, 0x03, 0xE8, 0x00,           // phase of three bytes: skipped
        0, 7, 7, 0,    0x0E, 0x1A, 0x3C,     // frequency
        0, 8, 8, 24,   2,    31,   0,    0,  // timestamp of five bytes: skipped
        0, 4, 1, 0x30,                       // PC
    };
    const auto partial = tagInfoFromCustomizedItems(mixed);
    ASSERT_TRUE(partial);
    const std::vector<TagInfoId> order(partial->tagInfoId().begin(), partial->tagInfoId().end());
    EXPECT_EQ(order, (std::vector<TagInfoId>{TagInfoId::epc, TagInfoId::frequency, TagInfoId::pc}));
    EXPECT_EQ(partial->frequency(), 924220u);
    EXPECT_EQ(partial->pc(), Bytes{0x30});
}

TEST(TagReports, CustomizedTimestampIsTheReadersLocalTime) {
    const auto info = tagInfoFromCustomizedItems(Bytes{0, 9, 8, 24, 5, 1, 10, 20, 30});
    ASSERT_TRUE(info);
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 4;
    tm.tm_mday = 1;
    tm.tm_hour = 10;
    tm.tm_min = 20;
    tm.tm_sec = 30;
    tm.tm_isdst = -1;
    EXPECT_EQ(info->timestamp(), std::chrono::system_clock::from_time_t(std::mktime(&tm)));

    // 31 February names no moment: the report keeps the time of reception.
    const auto before = std::chrono::system_clock::now();
    const auto invalid = tagInfoFromCustomizedItems(Bytes{0, 9, 8, 24, 2, 31, 10, 20, 30});
    ASSERT_TRUE(invalid);
    EXPECT_GE(invalid->timestamp(), before);
    EXPECT_EQ(invalid->tagInfoId().size(), 1u);
}

}  // namespace
}  // namespace orvane
