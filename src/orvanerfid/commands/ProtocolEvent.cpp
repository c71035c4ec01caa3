#include "orvanerfid/commands/ProtocolEvent.h"

#include <string>

#include "orvanerfid/commands/CommandFields.h"
#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/RadioOperationStatus.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {

bool ProtocolEventArgs::hasExpectedKind() const noexcept {
#define ORV_EVENT_KIND_(name, raw, text, Kind) \
    case ProtocolEventId::name:                \
        return std::holds_alternative<Kind>(data_);
    switch (id_) { ORV_PROTOCOL_EVENT_ID(ORV_EVENT_KIND_) }
#undef ORV_EVENT_KIND_
    return false;
}

namespace {

constexpr std::string_view kTag = "Vk210Protocol";
using Events = std::vector<ProtocolEventArgs>;

void logError(const std::string& text) {
    orvLogger::triggerLogEvent(LogLevel::error, kTag, text);
}

// Text of the radio module's operation status in an operationError frame.
std::string operationErrorText(ByteView data) {
    return std::string(description(radioOperationStatusOf(data)));
}

// ---- One builder per event frame ------------------------------------------------------------
// Each appends the frame's events and returns false when the data cannot hold them.

bool tagRecord(const CommandFrame& f, std::optional<BankType>, Events& out) {
    const auto record = decodeTagRecord(f.id, f.data);
    if (!record) return false;
    out.emplace_back(ProtocolEventId::tagInfo, tagInfoFromRecord(*record));
    return true;
}

bool customizedRecord(const CommandFrame& f, std::optional<BankType>, Events& out) {
    TagInfoPtr info = tagInfoFromCustomizedItems(f.data);
    if (!info) return false;
    out.emplace_back(ProtocolEventId::tagInfo, std::move(info));
    return true;
}

bool inventoryStatus(const CommandFrame&, std::optional<BankType>, Events& out) {
    out.emplace_back(ProtocolEventId::actionChanged, ActionState::stop);
    return true;
}

bool tagAccess(const CommandFrame& f, std::optional<BankType> bank, Events& out) {
    const auto code = fields::U16::read(f.data, 0);
    const auto status = fields::U8::read(f.data, 2);
    if (!code || !status) return false;
    const auto operation =
        fromRaw<OrvRfidCmdTagAccessOperation>(*code).value_or(OrvRfidCmdTagAccessOperation::none);
    const ResultCode result = resultCodeFromAccessError(accessErrorOrdinal(*status));
    Bytes accessData;
    if (result == ResultCode::noError) accessData.assign(f.data.begin() + 3, f.data.end());
    out.emplace_back(ProtocolEventId::accessResult,
                     AccessResultEventArgs(Bytes(), std::move(accessData), actionState(operation),
                                           bank, result));
    return true;
}

bool operationError(const CommandFrame& f, std::optional<BankType>, Events& out) {
    logError("keepReadThread() Operation Error: " + operationErrorText(f.data));
    out.emplace_back(ProtocolEventId::actionChanged, ActionState::stop);
    return true;
}

bool systemError(const CommandFrame& f, std::optional<BankType>, Events& out) {
    using SE = OrvRfidCmdSystemError;
    const SE kind = fields::EnumByteOr<SE, SE::unknown>::read(f.data, 0).value_or(SE::unknown);
    logError("keepReadThread() System Error: " + std::string(description(kind)));
    if (kind == SE::ambientTemperatureTooHigh) {
        out.emplace_back(ProtocolEventId::notification, NotificationID::ambientTemperatureTooHigh);
    } else if (kind == SE::paTemperatureTooHigh) {
        out.emplace_back(ProtocolEventId::notification, NotificationID::paTemperatureTooHigh);
    }
    out.emplace_back(ProtocolEventId::actionChanged, ActionState::stop);
    return true;
}

bool antennaStatus(const CommandFrame& f, std::optional<BankType>, Events& out) {
    const auto status = f.data[1] == 0 ? AntennaBeginEnd::begin : AntennaBeginEnd::end;
    out.emplace_back(ProtocolEventId::antennaBeginEnd, AntennaStatusEventArgs(f.data[0], status));
    return true;
}

bool lbtStatus(const CommandFrame& f, std::optional<BankType>, Events& out) {
    out.emplace_back(ProtocolEventId::lbtStatus,
                     LbtStatusEventArgs(f.data[0] == 1, static_cast<int16_t>(readBe16(f.data, 1)),
                                        readBe32(f.data, 3)));
    return true;
}

bool backupBattery(const CommandFrame& f, std::optional<BankType>, Events& out) {
    out.emplace_back(ProtocolEventId::backupBatteryInUse, f.data[0] == 1);
    return true;
}

bool engineReady(const CommandFrame& f, std::optional<BankType>, Events& out) {
    out.emplace_back(ProtocolEventId::engineReady, f.data[0] == 1);
    return true;
}

bool keyEvent(const CommandFrame& f, std::optional<BankType>, Events& out) {
    const KeyID key = f.data[0] == 1 ? KeyID::lowerKey : KeyID::upperKey;
    out.emplace_back(ProtocolEventId::keyEvent, KeyEventArgs(key, f.data[1] == 1));
    return true;
}

bool batchData(const CommandFrame& f, std::optional<BankType>, Events& out) {
    out.emplace_back(ProtocolEventId::batchDataStatus,
                     f.data[0] == 0 ? BatchDataStatus::begin : BatchDataStatus::end);
    return true;
}

bool paTemperature(const CommandFrame& f, std::optional<BankType>, Events& out) {
    out.emplace_back(ProtocolEventId::temperature, readBe16(f.data, 0) / 10.0);
    return true;
}

bool batteryStatus(const CommandFrame& f, std::optional<BankType>, Events& out) {
    out.emplace_back(ProtocolEventId::batteryInfo,
                     BatteryInfoEventArgs(f.data[1], (f.data[0] & 0x01) != 0));
    return true;
}

bool engineModel(const CommandFrame& f, std::optional<BankType>, Events& out) {
    const std::string name = fields::Utf8Text::read(f.data, 0).value_or(std::string());
    out.emplace_back(ProtocolEventId::engineModel, engineModelFromName(name));
    return true;
}

bool barcode(const CommandFrame& f, std::optional<BankType>, Events& out) {
    OrvRfidCmd_ScannerData record;
    record.setData(Bytes(f.data.begin(), f.data.end()));
    auto event = record.barcodeEvent();
    if (!event) return false;
    out.emplace_back(ProtocolEventId::barcodeData, std::move(*event));
    return true;
}

bool customizedBarcode(const CommandFrame& f, std::optional<BankType>, Events& out) {
    // The records are cut by the class's receive constructor, so it gets the frame.
    const OrvRfidCmd_ScannerDataWithCustomizedFormat record{
        OrvaneRfidCommand::ReceiveBytes{OrvaneRfidCommand::frame(f.id, f.data)}};
    auto event = record.barcodeEvent();
    if (!event) return false;
    out.emplace_back(ProtocolEventId::barcodeData, std::move(*event));
    return true;
}

using Builder = bool (*)(const CommandFrame&, std::optional<BankType>, Events&);

// The event map. `size` is the least data length the events need (`exact`: the only one).
struct EventRule {
    OrvRfidCmdId id;
    std::size_t size;
    bool exact;
    bool isReply;
    Builder build;
};

using Id = OrvRfidCmdId;
constexpr EventRule kRules[] = {
    {Id::inventoryData, 0, false, false, tagRecord},
    {Id::inventoryDataWithTid, 0, false, false, tagRecord},
    {Id::inventoryDataWithUserSpecifiedData, 0, false, false, tagRecord},
    {Id::inventoryDataPhase, 0, false, false, tagRecord},
    {Id::inventoryDataPhaseWithTid, 0, false, false, tagRecord},
    {Id::inventoryDataPhaseWithUserSpecifiedData, 0, false, false, tagRecord},
    {Id::inventoryDataWithCustomizedFormat, 0, false, false, customizedRecord},
    {Id::inventoryStatus, 0, false, false, inventoryStatus},
    {Id::tagAccessData, 3, false, false, tagAccess},
    {Id::operationError, 0, false, false, operationError},
    {Id::systemError, 0, false, false, systemError},
    {Id::eventNotificationAntennaStatus, 2, false, false, antennaStatus},
    {Id::eventNotificationLbtStatus, 7, false, false, lbtStatus},
    {Id::eventNotificationBackupBatteryStatus, 1, false, false, backupBattery},
    {Id::eventNotificationEngineReadyStatus, 1, false, false, engineReady},
    {Id::eventNotificationKeyEventStatus, 2, false, false, keyEvent},
    {Id::eventNotificationBatchDataStatus, 1, false, false, batchData},
    {Id::scannerData, 0, false, false, barcode},
    {Id::scannerDataWithCustomizedFormat, 0, false, false, customizedBarcode},
    {Id::paTemperature, 2, true, true, paTemperature},
    {Id::batteryStatus, 2, true, true, batteryStatus},
    {Id::engineModel, 0, false, true, engineModel},
};

const EventRule* findRule(OrvRfidCmdId id) {
    for (const EventRule& rule : kRules) {
        if (rule.id == id) return &rule;
    }
    return nullptr;
}

// How each customized item fills the tag report, indexed by the item id's raw value; `size` is
// the least value length the field needs (shorter items are skipped).
struct ItemRule {
    std::size_t size;
    void (*apply)(TagInfo&, ByteView);
};

constexpr ItemRule kItemRules[] = {
    {1, [](TagInfo& t, ByteView v) { t.setEPC(v); }},
    {1, [](TagInfo& t, ByteView v) { t.setPC(v); }},
    {2,
     [](TagInfo& t, ByteView v) { t.setRSSI(rssiFromRaw(static_cast<int16_t>(readBe16(v, 0)))); }},
    {1, [](TagInfo& t, ByteView v) { t.setAntenna(v[0]); }},
    {1, [](TagInfo& t, ByteView v) { t.setTID(v); }},
    {1, [](TagInfo& t, ByteView v) { t.setUserData(v); }},
    {4,
     [](TagInfo& t, ByteView v) {
         t.setPhaseBegin(phaseFromRaw(readBe16(v, 0)));
         t.setPhaseEnd(phaseFromRaw(readBe16(v, 2)));
     }},
    {4, [](TagInfo& t, ByteView v) { t.setFrequency(readBe32(v, 0)); }},
    {6,
     [](TagInfo& t, ByteView v) {
         t.setTimestamp(
             fields::LocalDateTime::read(v, 0).value_or(std::chrono::system_clock::now()));
     }},
};
static_assert(std::size(kItemRules) == allCases<OrvRfidCmdInventoryDataFormat>().size());

}  // namespace

Vk210FrameRole vk210FrameRole(OrvRfidCmdId id) noexcept {
    const EventRule* rule = findRule(id);
    if (!rule) return {false, true};
    return {true, rule->isReply};
}

std::vector<ProtocolEventArgs> vk210FrameEvents(const CommandFrame& frame,
                                                std::optional<BankType> accessBank) {
    Events events;
    const EventRule* rule = findRule(frame.id);
    if (!rule) return events;
    const std::size_t n = frame.data.size();
    const bool fits = rule->exact ? n == rule->size : n >= rule->size;
    if (!fits || !rule->build(frame, accessBank, events)) {
        events.clear();
        logError("keepReadThread() Dropped " + std::string(caseName(frame.id)) +
                 " frame: its data (" + std::to_string(n) + " bytes) cannot hold the event");
    }
    return events;
}

TagInfoPtr tagInfoFromRecord(const TagRecord& record) {
    auto info = std::make_shared<TagInfo>();
    info->setEPC(record.epc);
    info->setRSSI(rssiFromRaw(record.rssi));
    info->setAntenna(record.antenna);
    info->setPC(record.pc);
    if (record.layout.tail == TagRecordTail::tid) info->setTID(record.tid);
    if (record.layout.tail == TagRecordTail::userData) info->setUserData(record.userData);
    if (record.layout.phase) {
        info->setPhaseBegin(phaseFromRaw(record.phaseBegin));
        info->setPhaseEnd(phaseFromRaw(record.phaseEnd));
        info->setFrequency(record.frequency);
    }
    return info;
}

TagInfoPtr tagInfoFromCustomizedItems(ByteView data) {
    auto info = std::make_shared<TagInfo>();
    bool any = false;
    bool epcTooLong = false;
    walkCustomizedItems(data, [&](const CustomizedItemView& item) {
        const ItemRule& rule = kItemRules[rawValue(item.id)];
        if (item.data.size() < rule.size) return;
        if (item.id == OrvRfidCmdInventoryDataFormat::epc && item.data.size() > kMaxEpcBytes) {
            epcTooLong = true;
        }
        rule.apply(*info, item.data);
        any = true;
    });
    if (!any || epcTooLong) return nullptr;
    return info;
}

}  // namespace orvane
