#pragma once

// Gen2 tag commands (command group sl, 0x02; subcode = TLV tag), inventory start and stop
// (group al, 0x03), and the inventory data packets the module sends while an inventory runs.
// A command's request and the module's reply carry the same value layout: the reply echoes the
// command, with the tag's reply code where the layout has one. Numbers are little-endian.
//
// Threads: plain data, one thread at a time. The inventory walk is pure and allocation-free.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "orvanerfid/commands/STPacket.h"
#include "orvanerfid/commands/STPacketFields.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/TagInfo.h"

namespace orvane {

#define ORV_STUHFL_D_RSSI_MODE(X) \
    X(REALTIME, 0, "")            \
    X(PILOT, 4, "")               \
    X(SECOND_BYTE, 6, "")         \
    X(PEAK, 8, "")
ORV_ENUM(STUHFL_D_RSSI_MODE, uint8_t, ORV_STUHFL_D_RSSI_MODE);

#define ORV_STUHFL_D_INVENTORYREPORT_OPTION(X) \
    X(NONE, 0, "")                             \
    X(EACHROUND, 1, "")                        \
    X(HEARTBEAT, 2, "")
ORV_ENUM(STUHFL_D_INVENTORYREPORT_OPTION, uint8_t, ORV_STUHFL_D_INVENTORYREPORT_OPTION);

#define ORV_STUHFL_D_GEN2_SELECT_MODE(X) \
    X(CLEAR_LIST, 0, "")                 \
    X(ADD2LIST, 1, "")                   \
    X(CLEAR_AND_ADD, 2, "")
ORV_ENUM(STUHFL_D_GEN2_SELECT_MODE, uint8_t, ORV_STUHFL_D_GEN2_SELECT_MODE);

#define ORV_STUHFL_D_GEN2_SELECT_TARGET(X) \
    X(S0, 0, "")                           \
    X(S1, 1, "")                           \
    X(S2, 2, "")                           \
    X(S3, 3, "")                           \
    X(SL, 4, "")
ORV_ENUM(STUHFL_D_GEN2_SELECT_TARGET, uint8_t, ORV_STUHFL_D_GEN2_SELECT_TARGET);

#define ORV_STUHFL_D_GEN2_MEMORY_BANK(X) \
    X(RESERVED, 0, "")                   \
    X(EPC, 1, "")                        \
    X(TID, 2, "")                        \
    X(USER, 3, "")
ORV_ENUM(STUHFL_D_GEN2_MEMORY_BANK, uint8_t, ORV_STUHFL_D_GEN2_MEMORY_BANK);

// A Gen2 command packet: `commandPacketBytes` frames [tag][dataSize][value] under the command's
// subcode. A reply of the wrong length throws STPacketError 0x5002
// "Invalid length of bytes for <class>(<dataSize>)".
template <class Derived>
class STGen2Packet : public STValuePacket<Derived> {
  public:
    static constexpr STUHFL_CG kGroup = STUHFL_CG::sl;

    Bytes commandPacketBytes() override { return this->frameValue(commandSubcode()); }

    // The reply comes under the command's subcode (the inventory's under start or stop).
    static constexpr bool isReplySubcode(uint8_t subcode) {
        if constexpr (requires { Derived::kStopSubcode; }) {
            if (subcode == Derived::kStopSubcode) return true;
        }
        return subcode == commandSubcode();
    }

    std::string lengthError() const {
        return "Invalid length of bytes for " + std::string(this->className()) + "(" +
               std::to_string(Derived::dataSize) + ")";
    }

  private:
    static constexpr uint8_t commandSubcode() {
        if constexpr (requires { Derived::kCommandSubcode; }) {
            return Derived::kCommandSubcode;
        } else {
            return Derived::kTag;
        }
    }
};

// The 32-bit access or kill password of a Gen2 command, 4 bytes in the caller's order. A fresh
// packet holds the default access password 6B 1F 0D 94.
class ORVANE_API STGen2Password {
  public:
    static constexpr std::array<uint8_t, 4> kDefaultPassword = {0x6B, 0x1F, 0x0D, 0x94};

    const Bytes& pwd() const { return pwd_; }
    // Exactly 4 bytes, else STPacketError 0x5002: a wrong password is never sent.
    void setPwd(ByteView pwd);

  protected:
    Bytes pwd_{kDefaultPassword.begin(), kDefaultPassword.end()};
};

// Starts an inventory (group al, subcode 0x00); the stop request is a bare header under
// subcode 0x01.
class ORVANE_API STUHFL_T_Gen2_Inventory : public STGen2Packet<STUHFL_T_Gen2_Inventory> {
    ORV_ST_PACKET_CLASS(STUHFL_T_Gen2_Inventory)
    static constexpr STUHFL_CG kGroup = STUHFL_CG::al;
    static constexpr uint8_t kTag = 0x01;
    static constexpr uint8_t kCommandSubcode = 0x00;
    static constexpr uint8_t kStopSubcode = 0x01;
    static constexpr int dataSize = 8;
    static constexpr STShortReply kShortReply = STShortReply::keepDefaults;

    STUHFL_D_RSSI_MODE rssiMode = STUHFL_D_RSSI_MODE::SECOND_BYTE;
    uint32_t roundCnt = 1;
    uint16_t inventoryDelay = 0;
    STUHFL_D_INVENTORYREPORT_OPTION options = STUHFL_D_INVENTORYREPORT_OPTION::HEARTBEAT;

    // The stop request: empty payload under subcode 0x01.
    Bytes stopPacketBytes() { return frame(kStopSubcode, Bytes{}); }

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::EnumOr<STUHFL_D_RSSI_MODE, STUHFL_D_RSSI_MODE::SECOND_BYTE>{}, self.rssiMode);
        visit(st::U32{}, self.roundCnt);
        visit(st::U16{}, self.inventoryDelay);
        visit(st::EnumOr<STUHFL_D_INVENTORYREPORT_OPTION,
                         STUHFL_D_INVENTORYREPORT_OPTION::HEARTBEAT>{},
              self.options);
    }

  private:
    ORVANE_INTERNAL void afterParse() { cmdGroup_ = rawValue(STUHFL_CG::al); }
};

class ORVANE_API STUHFL_T_Gen2_Select : public STGen2Packet<STUHFL_T_Gen2_Select> {
    ORV_ST_PACKET_CLASS(STUHFL_T_Gen2_Select)
    static constexpr uint8_t kTag = 0x04;
    static constexpr int dataSize = 42;
    static constexpr std::size_t kMaskSize = 32;
    static constexpr STShortReply kShortReply = STShortReply::keepDefaults;

    STUHFL_D_GEN2_SELECT_MODE mode = STUHFL_D_GEN2_SELECT_MODE::CLEAR_LIST;
    STUHFL_D_GEN2_SELECT_TARGET target = STUHFL_D_GEN2_SELECT_TARGET::S0;
    uint8_t action = 0;  // the Gen2 select action
    STUHFL_D_GEN2_MEMORY_BANK memoryBank = STUHFL_D_GEN2_MEMORY_BANK::EPC;
    uint32_t maskBitPointer = 0;  // bit address
    uint8_t maskBitLength = 0;    // bits
    uint8_t truncation = 0;

    // The mask is sent as 32 bytes, followed by zero bytes when shorter.
    const Bytes& mask() const { return mask_; }
    // At most 32 bytes, else STPacketError 0x5002 "The length of mask should be less than 32".
    void setMask(ByteView mask);

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::EnumOr<STUHFL_D_GEN2_SELECT_MODE, STUHFL_D_GEN2_SELECT_MODE::CLEAR_LIST>{},
              self.mode);
        visit(st::EnumOr<STUHFL_D_GEN2_SELECT_TARGET, STUHFL_D_GEN2_SELECT_TARGET::S0>{},
              self.target);
        visit(st::U8{}, self.action);
        visit(st::EnumOr<STUHFL_D_GEN2_MEMORY_BANK, STUHFL_D_GEN2_MEMORY_BANK::EPC>{},
              self.memoryBank);
        visit(st::ZeroPadded<kMaskSize>{}, self.mask_);
        visit(st::U32{}, self.maskBitPointer);
        visit(st::U8{}, self.maskBitLength);
        visit(st::U8{}, self.truncation);
    }

  private:
    Bytes mask_;
};

// Reads up to 128 bytes of tag memory. The reply holds at least 75 value bytes; `data` is its
// `numReadBytes` bytes from offset 11.
class ORVANE_API STUHFL_T_Gen2_Read : public STGen2Packet<STUHFL_T_Gen2_Read>,
                                      public STGen2Password {
    ORV_ST_PACKET_CLASS(STUHFL_T_Gen2_Read)
    static constexpr uint8_t kTag = 0x05;
    static constexpr int dataSize = 75;
    static constexpr std::size_t kMaxBytes = 128;
    static constexpr STLengthRule kLengthRule = STLengthRule::atLeast;

    uint32_t wordPtr = 0;  // word address
    STUHFL_D_GEN2_MEMORY_BANK memoryBank = STUHFL_D_GEN2_MEMORY_BANK::USER;
    uint8_t numReadBytes = 0;
    Bytes data;  // sent after the fixed fields (at most 128 bytes); empty in requests

    uint8_t numBytesToRead() const { return numBytesToRead_; }
    // 0 to 128, else STPacketError 0x4003.
    void setNumBytesToRead(std::size_t count);

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::U32{}, self.wordPtr);
        visit(st::EnumOr<STUHFL_D_GEN2_MEMORY_BANK, STUHFL_D_GEN2_MEMORY_BANK::USER>{},
              self.memoryBank);
        visit(st::U8{}, self.numBytesToRead_);
        visit(st::Exact<4>{}, self.pwd_);
        visit(st::U8{}, self.numReadBytes);
    }

  private:
    static constexpr std::size_t kDataOffset = 11;
    // Exported: the inline packet template (STValuePacket) calls them in the application.
    ORVANE_API void encodeTail(Bytes& value) const;
    ORVANE_API void decodeTail(ByteView value);

    uint8_t numBytesToRead_ = 0;
};

// Writes one word of tag memory.
class ORVANE_API STUHFL_T_Gen2_Write : public STGen2Packet<STUHFL_T_Gen2_Write>,
                                       public STGen2Password {
    ORV_ST_PACKET_CLASS(STUHFL_T_Gen2_Write)
    static constexpr uint8_t kTag = 0x06;
    static constexpr int dataSize = 12;

    uint32_t wordPtr = 0;
    STUHFL_D_GEN2_MEMORY_BANK memoryBank = STUHFL_D_GEN2_MEMORY_BANK::USER;
    uint8_t tagReply = 0;  // the tag's reply code, in the module's echo

    // The word to write; a request cannot be framed until it is set.
    const Bytes& data() const { return data_; }
    // Exactly 2 bytes, else STPacketError 0x5002 "The length of data should be 2".
    void setData(ByteView data);

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::U32{}, self.wordPtr);
        visit(st::EnumOr<STUHFL_D_GEN2_MEMORY_BANK, STUHFL_D_GEN2_MEMORY_BANK::USER>{},
              self.memoryBank);
        visit(st::Exact<4>{}, self.pwd_);
        visit(st::Exact<2>{}, self.data_);
        visit(st::U8{}, self.tagReply);
    }

  private:
    Bytes data_;
};

// Locks or permanently locks memory; the mask is the 3-byte Gen2 lock payload that
// LockParam::toMask() or PermaLockParam::toMask() gives.
class ORVANE_API STUHFL_T_Gen2_Lock : public STGen2Packet<STUHFL_T_Gen2_Lock>,
                                      public STGen2Password {
    ORV_ST_PACKET_CLASS(STUHFL_T_Gen2_Lock)
    static constexpr uint8_t kTag = 0x07;
    static constexpr int dataSize = 8;
    static constexpr STShortReply kShortReply = STShortReply::keepDefaults;

    uint8_t tagReply = 0;

    const Bytes& mask() const { return mask_; }
    // Exactly 3 bytes, else STPacketError 0x5002 "The length of mask should be 3".
    void setMask(ByteView mask);

    std::string lengthError() const { return STValuePacket::lengthError(); }

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::Exact<3>{}, self.mask_);
        visit(st::Exact<4>{}, self.pwd_);
        visit(st::U8{}, self.tagReply);
    }

  private:
    Bytes mask_ = Bytes(3, 0x00);
};

// Kills a tag; the password is the kill password.
class ORVANE_API STUHFL_T_Gen2_Kill : public STGen2Packet<STUHFL_T_Gen2_Kill>,
                                      public STGen2Password {
    ORV_ST_PACKET_CLASS(STUHFL_T_Gen2_Kill)
    static constexpr uint8_t kTag = 0x08;
    static constexpr int dataSize = 6;
    static constexpr STShortReply kShortReply = STShortReply::keepDefaults;

    uint8_t recommission = 0;
    uint8_t tagReply = 0;

    std::string lengthError() const { return STValuePacket::lengthError(); }

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::Exact<4>{}, self.pwd_);
        visit(st::U8{}, self.recommission);
        visit(st::U8{}, self.tagReply);
    }
};

// One tag's record of an inventory data packet: views into the packet's payload, valid while
// the payload is. Fields whose record did not occur are marked absent.
struct STInventoryTag {
    bool hasStatistics = false;
    uint8_t q = 0;
    uint32_t frequency = 0;  // kHz

    bool hasHeader = false;
    uint8_t antenna = 0;
    int8_t logI = 0;  // received-signal values, 0-127 from a sound module
    int8_t logQ = 0;
    std::array<uint8_t, 2> pc{};  // as received

    std::optional<ByteView> epc;
    std::optional<ByteView> tid;
    std::optional<ByteView> xpc;

    // ((logI + logQ) / 2 x 2.1 - gValue) x 10, truncated toward zero, / 10; computed wide, so
    // no pair of bytes overflows. `gValue` is the reader's receive gain.
    float rssi(double gValue) const {
        const int sum = int{logI} + int{logQ};
        const double scaled = (sum / 2.0 * 2.1 - gValue) * 10.0;
        // A plain conversion truncates toward zero without a library call on the receive path;
        // std::trunc serves values beyond its range.
        const double tenths = std::fabs(scaled) < 1e15
                                  ? static_cast<double>(static_cast<int64_t>(scaled))
                                  : std::trunc(scaled);
        // Single precision: the report's RSSI is a float, and the quotient is the same.
        return static_cast<float>(tenths) / 10.0f;
    }
};

struct STInventoryWalkResult {
    std::size_t tags = 0;            // records closed by a finished marker
    std::size_t unknownRecords = 0;  // records of a tag this library does not know, skipped
    std::size_t droppedTags = 0;     // records closed with an EPC longer than 62 bytes
    // A record ran past the payload, a statistics or header record was too short for its
    // fields, or a header held a log I or log Q above 127: the walk stopped there; the tags
    // reported before it stand.
    bool malformed = false;
};

// The inventory data packets (group al, subcode 0x02): a run of TLV records. Statistics (0x02)
// and a tag header (0x03) hold fixed fields; EPC, TID and XPC hold their bytes; a finished
// marker (0xFF) closes one tag's record. Values persist from record to record within a packet.
class ORVANE_API STInventoryData {
  public:
    static constexpr uint8_t kSubcode = 0x02;
    // The longest EPC of a Gen2 tag: 31 words.
    static constexpr std::size_t kMaxEpcBytes = 62;

    static constexpr uint8_t STUHFL_TAG_INVENTORY_STATISTICS = 0x02;
    static constexpr uint8_t STUHFL_TAG_INVENTORY_TAG_INFO_HEADER = 0x03;
    static constexpr uint8_t STUHFL_TAG_INVENTORY_TAG_EPC = 0x04;
    static constexpr uint8_t STUHFL_TAG_INVENTORY_TAG_TID = 0x05;
    static constexpr uint8_t STUHFL_TAG_INVENTORY_TAG_XPC = 0x06;
    static constexpr uint8_t STUHFL_TAG_INVENTORY_TAG_FINISHED = 0xFF;

    static constexpr std::size_t INVENTORY_STATISTICS_INDEX_Q = 11;
    static constexpr std::size_t INVENTORY_STATISTICS_INDEX_FREQUENCY = 12;
    static constexpr std::size_t INVENTORY_TAG_INFO_HEADER_ANTENNA = 4;
    static constexpr std::size_t INVENTORY_TAG_INFO_HEADER_LOG_I = 6;
    static constexpr std::size_t INVENTORY_TAG_INFO_HEADER_LOG_Q = 7;
    static constexpr std::size_t INVENTORY_TAG_INFO_HEADER_PC = 10;

    static bool isInventoryData(uint8_t cmdGroup, uint8_t cmdSubcode) noexcept {
        return cmdGroup == rawValue(STUHFL_CG::al) && cmdSubcode == kSubcode;
    }

    // Walks the records of `payload` and calls `onTag(const STInventoryTag&)` at each finished
    // marker, in order, and `onUnknown(uint8_t tag)` for each record of an unknown tag; a record
    // whose EPC is longer than kMaxEpcBytes is dropped with an ERROR line. Never reads past the
    // payload; allocation-free but for that line.
    template <class OnTag, class OnUnknown>
    static STInventoryWalkResult forEachTag(ByteView payload, OnTag&& onTag, OnUnknown&& onUnknown);
    template <class OnTag>
    static STInventoryWalkResult forEachTag(ByteView payload, OnTag&& onTag) {
        return forEachTag(payload, std::forward<OnTag>(onTag), [](uint8_t) {});
    }

    // The tag report of one record, with the RSSI computed with the reader's receive gain:
    // header (RSSI, antenna), statistics (frequency, Q), header (PC), EPC, TID, XPC, then tag
    // count 1 and the time stamp now. Fields whose record did not occur stay unreported.
    static TagInfo toTagInfo(const STInventoryTag& tag, double gValue);
};

template <class OnTag, class OnUnknown>
STInventoryWalkResult STInventoryData::forEachTag(ByteView payload, OnTag&& onTag,
                                                  OnUnknown&& onUnknown) {
    STInventoryWalkResult result;
    STInventoryTag tag;
    std::size_t at = 0;
    while (at < payload.size()) {
        if (payload.size() - at < 2) {
            result.malformed = true;
            break;
        }
        const uint8_t type = payload[at];
        const std::size_t length = payload[at + 1];
        if (payload.size() - at - 2 < length) {
            result.malformed = true;
            break;
        }
        const ByteView value = payload.subspan(at + 2, length);
        at += 2 + length;
        switch (type) {
            case STUHFL_TAG_INVENTORY_STATISTICS:
                if (value.size() < INVENTORY_STATISTICS_INDEX_FREQUENCY + 4) {
                    result.malformed = true;
                    return result;
                }
                tag.hasStatistics = true;
                tag.q = value[INVENTORY_STATISTICS_INDEX_Q];
                tag.frequency = readLe32(value, INVENTORY_STATISTICS_INDEX_FREQUENCY);
                break;
            case STUHFL_TAG_INVENTORY_TAG_INFO_HEADER:
                if (value.size() < INVENTORY_TAG_INFO_HEADER_PC + 2) {
                    result.malformed = true;
                    return result;
                }
                // log I and log Q run 0 to 127: a byte with the top bit set is no reading.
                if (value[INVENTORY_TAG_INFO_HEADER_LOG_I] > 0x7F ||
                    value[INVENTORY_TAG_INFO_HEADER_LOG_Q] > 0x7F) {
                    result.malformed = true;
                    return result;
                }
                tag.hasHeader = true;
                tag.antenna = value[INVENTORY_TAG_INFO_HEADER_ANTENNA];
                tag.logI = static_cast<int8_t>(value[INVENTORY_TAG_INFO_HEADER_LOG_I]);
                tag.logQ = static_cast<int8_t>(value[INVENTORY_TAG_INFO_HEADER_LOG_Q]);
                tag.pc = {value[INVENTORY_TAG_INFO_HEADER_PC],
                          value[INVENTORY_TAG_INFO_HEADER_PC + 1]};
                break;
            // An empty value empties a field reported earlier in the packet but reports none.
            case STUHFL_TAG_INVENTORY_TAG_EPC:
                if (!value.empty() || tag.epc) tag.epc = value;
                break;
            case STUHFL_TAG_INVENTORY_TAG_TID:
                if (!value.empty() || tag.tid) tag.tid = value;
                break;
            case STUHFL_TAG_INVENTORY_TAG_XPC:
                if (!value.empty() || tag.xpc) tag.xpc = value;
                break;
            case STUHFL_TAG_INVENTORY_TAG_FINISHED:
                // No Gen2 tag has a longer EPC: the record is corrupt, its report dropped.
                if (tag.epc && tag.epc->size() > kMaxEpcBytes) {
                    ++result.droppedTags;
                    orvLogger::error("Vk640Protocol",
                                     "keepReadThread() Dropped a tag report: its EPC of " +
                                         std::to_string(tag.epc->size()) +
                                         " bytes is longer than 62 bytes");
                    break;
                }
                ++result.tags;
                onTag(static_cast<const STInventoryTag&>(tag));
                break;
            default:
                ++result.unknownRecords;
                onUnknown(type);
                break;
        }
    }
    return result;
}

}  // namespace orvane
