#include "orvanerfid/commands/InventoryCommands.h"

#include <string>

#include "orvanerfid/core/Logger.h"

namespace orvane {
namespace {

// The EPC and the bytes after it of a record whose fixed fields are present: the EPC is the rest
// of a plain record, or as long as the PC says in a TID or user-data record. No value when that
// length runs past the end.
struct EpcSplit {
    ByteView epc;
    ByteView tail;
};

std::optional<EpcSplit> splitEpc(TagRecordLayout layout, ByteView data) {
    const std::size_t at = layout.epcOffset();
    const ByteView rest = data.subspan(at);
    if (layout.tail == TagRecordTail::none) return EpcSplit{rest, {}};
    const std::size_t epcLength = epcLengthFromPc(data[at - 2]);
    if (epcLength > rest.size()) return std::nullopt;
    return EpcSplit{rest.first(epcLength), rest.subspan(epcLength)};
}

Bytes copy(ByteView bytes) {
    return Bytes(bytes.begin(), bytes.end());
}

}  // namespace

std::optional<TagRecord> decodeTagRecord(OrvRfidCmdId id, ByteView data) noexcept {
    const auto layout = tagRecordLayout(id);
    if (!layout || data.size() < layout->epcOffset()) return std::nullopt;
    const auto split = splitEpc(*layout, data);
    if (!split || split->epc.size() > kMaxEpcBytes) return std::nullopt;
    TagRecord record;
    record.layout = *layout;
    record.antenna = data[0];
    record.rssi = static_cast<int16_t>(readBe16(data, 1));
    record.pc = data.subspan(layout->epcOffset() - 2, 2);
    record.epc = split->epc;
    (layout->tail == TagRecordTail::tid ? record.tid : record.userData) = split->tail;
    if (layout->phase) {
        record.phaseBegin = readBe16(data, 3);
        record.phaseEnd = readBe16(data, 5);
        record.frequency = readBe32(data, 7);
    }
    return record;
}

TagRecordLayout InventoryDataRecord::layout() const {
    return tagRecordLayout(id_).value_or(TagRecordLayout{false, TagRecordTail::none});
}

std::optional<Bytes> InventoryDataRecord::epc() const {
    const TagRecordLayout l = layout();
    if (data_.size() < l.epcOffset() + 1) return std::nullopt;
    const auto split = splitEpc(l, data_);
    if (!split) return std::nullopt;
    return copy(split->epc);
}

std::optional<Bytes> InventoryDataRecord::tail() const {
    const TagRecordLayout l = layout();
    if (l.tail == TagRecordTail::none || data_.size() < l.epcOffset() + 2) return std::nullopt;
    const auto split = splitEpc(l, data_);
    if (!split) return std::nullopt;
    return copy(split->tail);
}

CustomizedInventoryRecord::CustomizedInventoryRecord(ReceiveBytes receive,
                                                     std::string_view className)
    : OrvaneRfidCommand(receive, className) {
    const CustomizedWalk walk = walkCustomizedItems(
        data_, [this](const CustomizedItemView& item) { parameters_.emplace_back(item); });
    if (walk.malformed && orvLogger::isEnabled(LogLevel::error)) {
        orvLogger::triggerLogEvent(LogLevel::error, className,
                                   "init(receiveBytes:) Malformed item at offset " +
                                       std::to_string(walk.stoppedAt) + ", kept " +
                                       std::to_string(walk.items) + " item(s)");
    }
}

OrvRfidCmdTagAccessOperation OrvRfidCmd_TagAccessData::operation() const {
    const auto code = fields::U16::read(data_, 0);
    if (!code) return OrvRfidCmdTagAccessOperation::none;
    return fromRaw<OrvRfidCmdTagAccessOperation>(*code).value_or(
        OrvRfidCmdTagAccessOperation::none);
}

}  // namespace orvane
