#include <gtest/gtest.h>

#include <ctime>

#include "Vk210FrameSupport.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

using Id = OrvRfidCmdId;
using Ev = ProtocolEventId;

// The events of a frame as the receive loop cuts it (status byte 00 for status-bearing codes).
std::vector<ProtocolEventArgs> eventsOf(Id id, const Bytes& data,
                                        std::optional<BankType> bank = std::nullopt) {
    Bytes area;
    if (!isStatusLess(id)) area.push_back(0x00);
    area.insert(area.end(), data.begin(), data.end());
    static Bytes frame;  // the parsed frame is a view of it
    frame = OrvaneRfidCommand::frame(id, area);
    return vk210FrameEvents(*OrvaneRfidCommand::parseFrame(frame), bank);
}

template <typename T>
T only(Id id, const Bytes& data, std::optional<BankType> bank = std::nullopt) {
    const auto events = eventsOf(id, data, bank);
    EXPECT_EQ(events.size(), 1u) << caseName(id);
    EXPECT_TRUE(events.at(0).hasExpectedKind()) << caseName(id);
    return *events.at(0).get<T>();
}

TEST(ProtocolEvents, IdsAndTheKindEachCarries) {
    EXPECT_EQ(allCases<ProtocolEventId>().size(), 29u);
    EXPECT_EQ(fromRaw<ProtocolEventId>(28), Ev::accessBankType);
    EXPECT_FALSE(fromRaw<ProtocolEventId>(29).has_value());
    EXPECT_TRUE(ProtocolEventArgs(Ev::temperature, 30.0).hasExpectedKind());
    EXPECT_FALSE(ProtocolEventArgs(Ev::temperature, uint8_t{30}).hasExpectedKind());
    EXPECT_FALSE(ProtocolEventArgs(Ev::temperature).hasExpectedKind());
    EXPECT_TRUE(ProtocolEventArgs(Ev::initialFinished).hasExpectedKind());
    EXPECT_TRUE(ProtocolEventArgs(Ev::tagsIndicator, InventoryIndicator()).hasExpectedKind());
    const ProtocolEventArgs bank(Ev::accessBankType, BankType::tid);
    EXPECT_EQ(*bank.get<BankType>(), BankType::tid);
    EXPECT_EQ(bank.get<bool>(), nullptr);
}

class EventMapTest : public vk210test::CapturedLogTest {};

// Each frame's events; a frame too short for its event raises none and logs one ERROR line.
TEST_F(EventMapTest, FramesRaiseTheirEventsOrAreDropped) {
    const struct {
        Id id;
        Bytes data;
        std::vector<Ev> events;
    } cases[] = {
        {Id::inventoryStatus, {1, 2, 3}, {Ev::actionChanged}},
        {Id::systemError, {2}, {Ev::notification, Ev::actionChanged}},
        {Id::systemError, {3}, {Ev::actionChanged}},
        {Id::operationError, {}, {Ev::actionChanged}},
        {Id::eventNotificationBackupBatteryStatus, {1}, {Ev::backupBatteryInUse}},
        {Id::eventNotificationEngineReadyStatus, {0}, {Ev::engineReady}},
        {Id::eventNotificationBatchDataStatus, {0}, {Ev::batchDataStatus}},
        {Id::engineModel, {'S', 'E', '4', '1', '0', '7'}, {Ev::engineModel}},
        {Id::scannerData, {0x80, 0x03, 'A'}, {Ev::barcodeData}},
        {Id::scannerDataWithCustomizedFormat, {0, 4, 0, 'A'}, {Ev::barcodeData}},
        {Id::ambientTemperature, {0x01, 0x2C}, {}},
        {Id::scannerData, {}, {}},
        {Id::scannerData, {0x80}, {}},
        {Id::scannerDataWithCustomizedFormat, {0, 0, 0, 'A'}, {}},
        {Id::eventNotificationKeyEventStatus, {}, {}},
        {Id::eventNotificationKeyEventStatus, {1}, {}},
        {Id::eventNotificationAntennaStatus, {1}, {}},
        {Id::eventNotificationLbtStatus, {1, 0, 0, 0, 0, 0}, {}},
        {Id::eventNotificationBackupBatteryStatus, {}, {}},
        {Id::eventNotificationEngineReadyStatus, {}, {}},
        {Id::eventNotificationBatchDataStatus, {}, {}},
        {Id::paTemperature, {0x01, 0x2C, 0x00}, {}},
        {Id::batteryStatus, {0x03}, {}},
        {Id::tagAccessData, {0x00, 0x82}, {}},
        {Id::inventoryData, {1, 0xFF, 0x38, 0x08}, {}},
        {Id::inventoryDataWithTid, {1, 0xFF, 0x38, 0x10, 0x00, 0xE2}, {}},  // EPC past the end
        {Id::inventoryDataPhase, Bytes(12, 0x01), {}},
        {Id::inventoryDataWithCustomizedFormat, {0, 0, 3, 1, 0, 4, 3, 1}, {}},        // length 0
        {Id::inventoryDataWithCustomizedFormat, {0, 4, 2, 1, 0, 6, 6, 0, 1, 2}, {}},  // all short
    };
    for (const auto& c : cases) {
        log->clear();
        std::vector<Ev> ids;
        for (const auto& e : eventsOf(c.id, c.data))
            ids.push_back(e.id());
        EXPECT_EQ(ids, c.events) << caseName(c.id) << " " << toHexString(c.data);
        const bool reply = c.id == Id::ambientTemperature;
        if (c.events.empty() && !reply) {
            EXPECT_EQ(log->count("keepReadThread() Dropped " + std::string(caseName(c.id)),
                                 LogLevel::error),
                      1)
                << caseName(c.id);
            EXPECT_EQ(log->texts("Vk210Protocol").size(), 1u) << caseName(c.id);
        }
        EXPECT_EQ(vk210FrameRole(c.id).raisesEvent, !reply) << caseName(c.id);
    }
    EXPECT_TRUE(vk210FrameRole(Id::paTemperature).isReply);
    EXPECT_FALSE(vk210FrameRole(Id::eventNotificationKeyEventStatus).isReply);
}

TEST_F(EventMapTest, EventValuesFollowTheFrameBytes) {
    EXPECT_EQ(only<double>(Id::paTemperature, {0x01, 0x2C}), 30.0);
    EXPECT_EQ(only<BatchDataStatus>(Id::eventNotificationBatchDataStatus, {5}),
              BatchDataStatus::end);
    const auto upper = only<KeyEventArgs>(Id::eventNotificationKeyEventStatus, {0, 0});
    EXPECT_EQ(upper.id(), KeyID::upperKey);
    EXPECT_FALSE(upper.pressed());
    const auto lower = only<KeyEventArgs>(Id::eventNotificationKeyEventStatus, {1, 1});
    EXPECT_EQ(lower.id(), KeyID::lowerKey);
    EXPECT_TRUE(lower.pressed());
    const auto antenna = only<AntennaStatusEventArgs>(Id::eventNotificationAntennaStatus, {3, 7});
    EXPECT_EQ(antenna.antenna(), 3);
    EXPECT_EQ(antenna.status(), AntennaBeginEnd::end);
    const auto lbt =
        only<LbtStatusEventArgs>(Id::eventNotificationLbtStatus, {1, 0xFF, 0xF0, 0, 14, 26, 60});
    EXPECT_TRUE(lbt.interferer());
    EXPECT_EQ(lbt.rssi(), -16);
    EXPECT_EQ(lbt.frequency(), 924220u);
    const auto code = only<ProtocolBarcodeEventArgs>(Id::scannerData, {0x80, 0x03, 'A', 'B'});
    EXPECT_TRUE(code.hasBarcodeId);
    EXPECT_EQ(code.id, 0x03);
    EXPECT_EQ(code.data, (Bytes{'A', 'B'}));
    const auto battery = only<BatteryInfoEventArgs>(Id::batteryStatus, {0x01, 80});
    EXPECT_EQ(battery.percentage(), 80);
    EXPECT_TRUE(battery.charging());

    const auto read =
        only<AccessResultEventArgs>(Id::tagAccessData, {0, 0x82, 0, 1, 2, 3, 4}, BankType::user);
    EXPECT_EQ(read.actionState(), ActionState::readMemory);
    EXPECT_EQ(read.resultCode(), ResultCode::noError);
    EXPECT_EQ(read.data(), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(read.bankType(), BankType::user);
    const auto timedOut = only<AccessResultEventArgs>(Id::tagAccessData, {0, 0x83, 0x88, 9});
    EXPECT_EQ(timedOut.actionState(), ActionState::writeMemory);
    EXPECT_EQ(timedOut.resultCode(), ResultCode::timeout);
    EXPECT_TRUE(timedOut.data().empty());

    const auto events = eventsOf(Id::systemError, {2});
    EXPECT_EQ(*events.at(0).get<NotificationID>(), NotificationID::paTemperatureTooHigh);
    EXPECT_EQ(*events.at(1).get<ActionState>(), ActionState::stop);
    eventsOf(Id::operationError, {0, 0x05});
    eventsOf(Id::operationError, {0, 10});
    eventsOf(Id::operationError, {7});
    EXPECT_EQ(log->texts("Vk210Protocol"),
              (std::vector<std::string>{
                  "keepReadThread() System Error: PA Temperature Too High",
                  "keepReadThread() Operation Error: The PowerControlLoopOp did not reach the "
                  "desired power within the maximum iterations.",
                  "keepReadThread() Operation Error: Unknown",
                  "keepReadThread() Operation Error: Unknown"}));
}

std::vector<TagInfoId> presence(const TagInfo& info) {
    return {info.tagInfoId().begin(), info.tagInfoId().end()};
}

TEST(TagReports, FixedRecordsFillTheirFieldsInMarkingOrder) {
    const auto info = only<TagInfoPtr>(Id::inventoryData, {2, 0xFF, 0x38, 0x08, 0x00, 0xE2, 0x80});
    EXPECT_EQ(info->description(), "Antenna: 2, RSSI: -2.0, PC: 0800, EPC: E280");
    EXPECT_EQ(presence(*info), (std::vector<TagInfoId>{TagInfoId::epc, TagInfoId::rssi,
                                                       TagInfoId::antenna, TagInfoId::pc}));
    const auto tid = only<TagInfoPtr>(
        Id::inventoryDataPhaseWithTid,
        {1, 0x00, 0x64, 0x03, 0xE8, 0x00, 0x01, 0x00, 14, 26, 60, 0x08, 0x00, 0xAB, 0xCD, 0x11});
    EXPECT_EQ(tid->description(),
              "Antenna: 1, RSSI: 1.0, Phase Begin: 87.0, Phase End: 0.087, Frequency: 924220, PC: "
              "0800, EPC: ABCD, TID: 11");
}

TEST(TagReports, CustomizedItemsApplyInOrderAndShortOnesAreSkipped) {
    EXPECT_EQ(tagInfoFromCustomizedItems(Bytes{0, 4, 3, 1, 0, 5, 2, 0xFF, 0x38})->description(),
              "Antenna: 1, RSSI: -2.0");
    const Bytes mixed = {
        0, 4, 2, 0x01,                     // RSSI of one byte: skipped
        0, 5, 0, 0xE2, 0x80,               // EPC
        0, 3, 4,                           // empty TID: skipped
        0, 6, 6, 0x03, 0xE8, 0x00,         // phase of three bytes: skipped
        0, 7, 7, 0,    14,   26,   60,     // frequency
        0, 8, 8, 24,   2,    3,    0,  0,  // timestamp of five bytes: skipped
        0, 4, 1, 0x30,                     // PC
    };
    const auto info = tagInfoFromCustomizedItems(mixed);
    EXPECT_EQ(presence(*info),
              (std::vector<TagInfoId>{TagInfoId::epc, TagInfoId::frequency, TagInfoId::pc}));
    EXPECT_EQ(info->description(), "Frequency: 924220, PC: 30, EPC: E280");
}

TEST(TagReports, AnEpcLongerThan62BytesDropsTheReport) {
    for (const std::size_t length : {std::size_t{62}, std::size_t{63}}) {
        const bool kept = length == 62;
        Bytes plain{1, 0xFF, 0x38, 0x30, 0x00};
        plain.insert(plain.end(), length, 0xE2);
        EXPECT_EQ(decodeTagRecord(OrvRfidCmdId::inventoryData, plain).has_value(), kept) << length;
        Bytes customized{0, static_cast<uint8_t>(length + 3), 0};
        customized.insert(customized.end(), length, 0xE2);
        EXPECT_EQ(tagInfoFromCustomizedItems(customized) != nullptr, kept) << length;
    }
}

TEST(TagReports, CustomizedTimestampIsTheReadersLocalTime) {
    std::tm tm{};
    tm.tm_year = 124, tm.tm_mon = 4, tm.tm_mday = 1, tm.tm_hour = 10, tm.tm_min = 20;
    tm.tm_sec = 30, tm.tm_isdst = -1;
    EXPECT_EQ(tagInfoFromCustomizedItems(Bytes{0, 9, 8, 24, 5, 1, 10, 20, 30})->timestamp(),
              std::chrono::system_clock::from_time_t(std::mktime(&tm)));
    // 31 February names no moment: the report keeps the time of reception.
    const auto before = std::chrono::system_clock::now();
    EXPECT_GE(tagInfoFromCustomizedItems(Bytes{0, 9, 8, 24, 2, 31, 10, 20, 30})->timestamp(),
              before);
}

}  // namespace
}  // namespace orvane
