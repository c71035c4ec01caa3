#pragma once

// Frames the Vk210 reader sends on its own while it works (no status byte): one per tag read,
// the end of an inventory, the outcome of a tag access, operation and system errors and the six
// event notifications; and the request that switches an event notification on or off.
//
// Byte positions count from the start of the data area (the byte after CMD). Accessors never
// read past the data: a field the data are too short for gives no value. The link layer turns
// these frames into protocol events (ProtocolEvent.h); the zero-copy decoders below serve its
// receive loop without allocating.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "orvanerfid/commands/CommandFields.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/Identifiers.h"

namespace orvane {

// One item of a customized-format inventory report. No display text.
#define ORV_RFID_CMD_INVENTORY_DATA_FORMAT(X) \
    X(epc, 0, "")                             \
    X(pc, 1, "")                              \
    X(rssi, 2, "")                            \
    X(antennaId, 3, "")                       \
    X(tid, 4, "")                             \
    X(userSpecifiedMemory, 5, "")             \
    X(phase, 6, "")                           \
    X(frequency, 7, "")                       \
    X(timestamp, 8, "")

ORV_ENUM(OrvRfidCmdInventoryDataFormat, uint8_t, ORV_RFID_CMD_INVENTORY_DATA_FORMAT);

// An event notification, named by the low byte of its frame's command code. No display text.
#define ORV_RFID_CMD_EVENT_NOTIFICATION_ID(X) \
    X(rfidAntennaBeginEnd, 0xE0, "")          \
    X(rfidLbtStatus, 0xE1, "")                \
    X(backupBatteryInUse, 0xE2, "")           \
    X(scanEngineReady, 0xE3, "")              \
    X(keyEvent, 0xE4, "")                     \
    X(batchDataBeginEnd, 0xE5, "")

ORV_ENUM(OrvRfidCmdEventNotificationId, uint8_t, ORV_RFID_CMD_EVENT_NOTIFICATION_ID);

// The tag access a tagAccessData frame reports, by the access command's code, with the action
// state of its access result. Any other code is `none` (Stop).
#define ORV_RFID_CMD_TAG_ACCESS_OPERATION(X)          \
    X(none, 0x0000, "", stop)                         \
    X(read, 0x0082, "", readMemory)                   \
    X(write, 0x0083, "", writeMemory)                 \
    X(lock, 0x0084, "", lock)                         \
    X(kill, 0x0085, "", kill)                         \
    X(blockWrite, 0x0086, "", blockWrite)             \
    X(blockPermaLock, 0x0087, "", blockPermanentLock) \
    X(authenticate, 0x0088, "", authenticate)

ORV_ENUM(OrvRfidCmdTagAccessOperation, uint16_t, ORV_RFID_CMD_TAG_ACCESS_OPERATION);

constexpr ActionState actionState(OrvRfidCmdTagAccessOperation operation) {
#define ORV_ACCESS_ACTION_(name, raw, text, state) \
    if (operation == OrvRfidCmdTagAccessOperation::name) return ActionState::state;
    ORV_RFID_CMD_TAG_ACCESS_OPERATION(ORV_ACCESS_ACTION_)
#undef ORV_ACCESS_ACTION_
    return ActionState::stop;
}

// The kind of a systemError frame; the texts are the log texts.
#define ORV_RFID_CMD_SYSTEM_ERROR(X)                                \
    X(unknown, 0, "Unknown")                                        \
    X(ambientTemperatureTooHigh, 1, "Ambient Temperature Too High") \
    X(paTemperatureTooHigh, 2, "PA Temperature Too High")

ORV_ENUM(OrvRfidCmdSystemError, uint8_t, ORV_RFID_CMD_SYSTEM_ERROR);

// ---- Fixed-layout inventory records -------------------------------------------------------
//
//   plain:  antenna (1), RSSI (2), PC (2), EPC ...
//   phase:  antenna (1), RSSI (2), phase begin (2), phase end (2), frequency (4), PC (2), EPC ...
//
// RSSI is signed, 100 times dBm; phases are raw; multi-byte fields big-endian. In the TID and
// user-data records the EPC length comes from the PC and the TID or user data are the rest.

// The field after the EPC; the values are the low digit of the record's command code.
enum class TagRecordTail : uint8_t { none = 0, tid = 1, userData = 2 };

struct TagRecordLayout {
    bool phase;
    TagRecordTail tail;
    // Offset of the EPC: the fixed fields end here.
    constexpr std::size_t epcOffset() const { return phase ? 13 : 5; }
};

// The layout of an inventory-data command, or no value for any other command. The codes are
// 0x00B0-0x00B2 (phase) and 0x00C0-0x00C2 (plain), the low digit naming the tail; read off the
// code rather than through a jump, as the receive loop asks once per tag.
constexpr std::optional<TagRecordLayout> tagRecordLayout(OrvRfidCmdId id) noexcept {
    const uint16_t code = rawValue(id);
    const uint16_t group = code & 0xFFF0;
    const uint16_t tail = code & 0x000F;
    if ((group != 0x00B0 && group != 0x00C0) || tail > 2) return std::nullopt;
    return TagRecordLayout{group == 0x00B0, static_cast<TagRecordTail>(tail)};
}

// The longest EPC of a Gen2 tag: 31 words. A record with a longer one is corrupt.
inline constexpr std::size_t kMaxEpcBytes = 62;

// EPC length in bytes from the first PC byte: the PC's length field (words) times 2.
constexpr std::size_t epcLengthFromPc(uint8_t firstPcByte) {
    return (firstPcByte >> 2) & 0x3E;
}
// The tag report's RSSI from the record's raw value.
constexpr float rssiFromRaw(int16_t raw) {
    return static_cast<float>(raw) / 100.0f;
}
// The tag report's phase from a raw phase value: raw x 87 / 1000.
constexpr float phaseFromRaw(uint16_t raw) {
    return static_cast<float>(uint32_t{raw} * 87u) / 1000.0f;
}

// One fixed-layout record seen in place; the views point into the decoded data.
struct TagRecord {
    TagRecordLayout layout{};
    uint8_t antenna = 0;
    int16_t rssi = 0;
    ByteView pc;
    ByteView epc;
    ByteView tid;             // TID records
    ByteView userData;        // user-data records
    uint16_t phaseBegin = 0;  // phase records
    uint16_t phaseEnd = 0;
    uint32_t frequency = 0;
};

// Decodes the data area of an inventory-data frame without copying. No value when `id` is no
// inventory-data command, when the data end inside the fixed fields, or when the EPC length the
// PC gives runs past the end of a TID or user-data record, or when the EPC is longer than
// kMaxEpcBytes.
std::optional<TagRecord> decodeTagRecord(OrvRfidCmdId id, ByteView data) noexcept;

// Base of the six fixed-layout record commands. Accessors follow each field's own bounds.
class InventoryDataRecord : public OrvaneRfidCommand {
  public:
    // Bytes 1-2, signed (data of at least 3 bytes).
    std::optional<int16_t> rssi() const { return fields::S16::read(data_, 1); }
    // The EPC (data of at least 6, or 14 in phase records); no value when the PC's EPC length
    // runs past the end.
    std::optional<Bytes> epc() const;

  protected:
    explicit InventoryDataRecord(OrvRfidCmdId id) : OrvaneRfidCommand(id) {}
    InventoryDataRecord(ReceiveBytes receive, std::string_view className)
        : OrvaneRfidCommand(receive, className) {}
    InventoryDataRecord(SendBytes send, std::string_view className)
        : OrvaneRfidCommand(send, className) {}
    TagRecordLayout layout() const;
    // The bytes after the EPC (data of at least 7, or 15 in phase records).
    std::optional<Bytes> tail() const;
    std::optional<uint16_t> phaseBegin() const { return fields::U16::read(data_, 3); }
    std::optional<uint16_t> phaseEnd() const { return fields::U16::read(data_, 5); }
    std::optional<uint32_t> frequency() const { return fields::U32::read(data_, 7); }
};

class OrvRfidCmd_InventoryData : public InventoryDataRecord {
    ORV_COMMAND_CLASS_OF(OrvRfidCmd_InventoryData, InventoryDataRecord, OrvRfidCmdId::inventoryData)
};

class OrvRfidCmd_InventoryDataWithTid : public InventoryDataRecord {
    ORV_COMMAND_CLASS_OF(OrvRfidCmd_InventoryDataWithTid, InventoryDataRecord,
                         OrvRfidCmdId::inventoryDataWithTid)
    std::optional<Bytes> tid() const { return tail(); }
};

class OrvRfidCmd_InventoryDataWithUserSpecifiedData : public InventoryDataRecord {
    ORV_COMMAND_CLASS_OF(OrvRfidCmd_InventoryDataWithUserSpecifiedData, InventoryDataRecord,
                         OrvRfidCmdId::inventoryDataWithUserSpecifiedData)
    std::optional<Bytes> userData() const { return tail(); }
};

class OrvRfidCmd_InventoryDataPhase : public InventoryDataRecord {
    ORV_COMMAND_CLASS_OF(OrvRfidCmd_InventoryDataPhase, InventoryDataRecord,
                         OrvRfidCmdId::inventoryDataPhase)
    using InventoryDataRecord::frequency;
    using InventoryDataRecord::phaseBegin;
    using InventoryDataRecord::phaseEnd;
};

class OrvRfidCmd_InventoryDataPhaseWithTid : public InventoryDataRecord {
    ORV_COMMAND_CLASS_OF(OrvRfidCmd_InventoryDataPhaseWithTid, InventoryDataRecord,
                         OrvRfidCmdId::inventoryDataPhaseWithTid)
    using InventoryDataRecord::frequency;
    using InventoryDataRecord::phaseBegin;
    using InventoryDataRecord::phaseEnd;
    std::optional<Bytes> tid() const { return tail(); }
};

class OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData : public InventoryDataRecord {
    ORV_COMMAND_CLASS_OF(OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData, InventoryDataRecord,
                         OrvRfidCmdId::inventoryDataPhaseWithUserSpecifiedData)
    using InventoryDataRecord::frequency;
    using InventoryDataRecord::phaseBegin;
    using InventoryDataRecord::phaseEnd;
    std::optional<Bytes> userData() const { return tail(); }
};

// ---- Customized-format inventory report ---------------------------------------------------
//
// A sequence of items: length (2, counting the whole item), id (1), value (length - 3).

// One item seen in place.
using CustomizedItemView = CustomizedRecordView<OrvRfidCmdInventoryDataFormat>;

// Visits the items of `data` in order without copying (see walkCustomizedRecords).
template <typename Visit>
CustomizedWalk walkCustomizedItems(ByteView data, Visit&& visit) {
    return walkCustomizedRecords<OrvRfidCmdInventoryDataFormat>(data, std::forward<Visit>(visit));
}

// One item of a customized-format report, copied out of its frame.
class OrvRfidCmd_InventoryDataCustomizedParameter {
  public:
    explicit OrvRfidCmd_InventoryDataCustomizedParameter(const CustomizedItemView& item)
        : length_(item.length), id_(item.id), data_(item.data.begin(), item.data.end()) {}

    uint16_t length() const { return length_; }
    OrvRfidCmdInventoryDataFormat id() const { return id_; }
    const Bytes& data() const { return data_; }

  private:
    uint16_t length_;
    OrvRfidCmdInventoryDataFormat id_;
    Bytes data_;
};

// Splits its data into `parameters` when rebuilt from a frame; a malformed item ends the list
// (logged at ERROR) and the items before it stand. `data()` keeps the whole data area.
class CustomizedInventoryRecord : public OrvaneRfidCommand {
  public:
    const std::vector<OrvRfidCmd_InventoryDataCustomizedParameter>& parameters() const {
        return parameters_;
    }

  protected:
    explicit CustomizedInventoryRecord(OrvRfidCmdId id) : OrvaneRfidCommand(id) {}
    CustomizedInventoryRecord(ReceiveBytes receive, std::string_view className);
    CustomizedInventoryRecord(SendBytes send, std::string_view className)
        : OrvaneRfidCommand(send, className) {}

  private:
    std::vector<OrvRfidCmd_InventoryDataCustomizedParameter> parameters_;
};

class OrvRfidCmd_InventoryDataWithCustomizedFormat : public CustomizedInventoryRecord {
    ORV_COMMAND_CLASS_OF(OrvRfidCmd_InventoryDataWithCustomizedFormat, CustomizedInventoryRecord,
                         OrvRfidCmdId::inventoryDataWithCustomizedFormat)
};

// ---- Other status-less frames -------------------------------------------------------------

// The data are not read: the frame means the inventory has ended.
ORV_PLAIN_COMMAND(OrvRfidCmd_InventoryStatus, inventoryStatus);

// access command code (2), result (1: 0 success, else the module's status code), data (rest).
class OrvRfidCmd_TagAccessData : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_TagAccessData, OrvRfidCmdId::tagAccessData)
    // The access by its code; `none` for any other code or data shorter than 2 bytes.
    OrvRfidCmdTagAccessOperation operation() const;
    // Bytes 3 to the end (empty for 3 bytes); no value for data shorter than 3 bytes.
    std::optional<Bytes> accessData() const { return fields::RawBytes::read(data_, 3); }
};

// Byte 1: the operation error code.
ORV_PLAIN_COMMAND(OrvRfidCmd_OperationError, operationError);

// `systemError()`: byte 0; any other byte, or no data, is `unknown`.
ORV_GET_VALUE_COMMAND(OrvRfidCmd_SystemError, systemError, systemError,
                      fields::EnumByteOr<OrvRfidCmdSystemError, OrvRfidCmdSystemError::unknown>);

// antenna (1), status (1: 0 begin, other end).
ORV_PLAIN_COMMAND(OrvRfidCmd_AntennaStatus, eventNotificationAntennaStatus);

// interferer (1, 1 = yes), RSSI (2, signed), frequency (4).
class OrvRfidCmd_LbtStatus : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_LbtStatus, OrvRfidCmdId::eventNotificationLbtStatus)
    // Bytes 3-6 (data of at least 7 bytes).
    std::optional<uint32_t> frequency() const { return fields::U32::read(data_, 3); }
};

// in use (1, 1 = yes).
ORV_PLAIN_COMMAND(OrvRfidCmd_BackupBatteryStatus, eventNotificationBackupBatteryStatus);
// ready (1, 1 = yes).
ORV_PLAIN_COMMAND(OrvRfidCmd_EngineReady, eventNotificationEngineReadyStatus);
// key (1: 1 lowerKey, other upperKey), pressed (1, 1 = yes).
ORV_PLAIN_COMMAND(OrvRfidCmd_KeyEventStatus, eventNotificationKeyEventStatus);
// status (1: 0 begin, other end).
ORV_PLAIN_COMMAND(OrvRfidCmd_BatchDataStatus, eventNotificationBatchDataStatus);

// Switches one event notification on or off. Request data: the id's raw value, 1 or 0.
#define ORV_EVENT_NOTIFICATION_FIELDS(X)                        \
    X(eventId, fields::EnumByte<OrvRfidCmdEventNotificationId>, \
      OrvRfidCmdEventNotificationId::rfidAntennaBeginEnd)       \
    X(enable, fields::Flag, false)

ORV_FIELDS_COMMAND(OrvRfidCmd_EventNotification, eventNotificationSetting,
                   ORV_EVENT_NOTIFICATION_FIELDS);

#undef ORV_EVENT_NOTIFICATION_FIELDS

}  // namespace orvane
