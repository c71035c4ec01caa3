#pragma once

// The ST25RU3993 host packet, the unit of the Vk640 reader's wire vocabulary:
//
//   offset 0  stMode (2)      0x8000 in every request
//          2  sequence (2)    process-wide counter in requests; as received in replies
//          4  status (2)      0 in requests; the module's status in replies (signed)
//          6  cmdGroup (1)    STUHFL_CG
//          7  cmdSubcode (1)
//          8  payload length (2)
//         10  payload         normally one TLV: tag (1), length (1), value
//
// Header fields are big-endian; numbers inside TLV values are little-endian.
//
// Threads: packets are plain data, used by one thread at a time. The only shared state is the
// sequence counter, an atomic advanced by every `toBytes()`. Nothing here does I/O or waits.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "orvanerfid/Export.h"
#include "orvanerfid/commands/FrameCut.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {

#define ORV_STUHFL_CG(X) \
    X(generic, 0x00, "") \
    X(dl, 0x01, "")      \
    X(sl, 0x02, "")      \
    X(al, 0x03, "")      \
    X(ts, 0x04, "")      \
    X(orvane, 0x10, "")

// Command groups: dl = radio configuration, sl = Gen2 tag commands, al = inventory,
// orvane = the Vk640 reader's own settings and events.
ORV_ENUM(STUHFL_CG, uint8_t, ORV_STUHFL_CG);

// The error the packet codecs throw: 0x5002 for a malformed packet or value, 0x4003 for a
// position or field value out of range, 0x5003 for a reply whose value cannot be used, 0x4001
// for a value the reader cannot take. Shares its base with ReaderException, so the layers above
// complete with its code.
class ORVANE_API STPacketError : public CodedError {
  public:
    using CodedError::CodedError;
};

// A complete packet seen in place, without copying: `payload` points into the parsed buffer.
struct STPacketView {
    uint16_t stMode;
    uint16_t id;
    uint16_t status;
    uint8_t cmdGroup;
    uint8_t cmdSubcode;
    ByteView payload;
    std::size_t length;  // header + payload
};

class ORVANE_API STPacket {
  public:
    static constexpr std::size_t kHeaderSize = 10;
    // The mode word of every request, and of every packet a reader sends.
    static constexpr uint16_t kMode = 0x8000;
    // Larger than any packet a reader sends; a length field above it marks a corrupt packet
    // start rather than a packet to wait for.
    static constexpr std::size_t kMaxPacketSize = 8192;
    // The status word of success.
    static constexpr int kNoErrorOrdinal = 1;

    // An empty packet: every number 0, payload and raw data empty.
    STPacket() = default;
    // Parses one whole packet (exactly; trailing bytes are an error). Throws STPacketError
    // 0x5002 "The bytes length is less than 10" or "The bytes length is not equal to the
    // length in the packet".
    explicit STPacket(ByteView bytes) { parse(bytes); }
    virtual ~STPacket() = default;
    STPacket(const STPacket&) = default;
    STPacket& operator=(const STPacket&) = default;
    STPacket(STPacket&&) = default;
    STPacket& operator=(STPacket&&) = default;

    uint16_t stMode() const { return stMode_; }
    void setStMode(uint16_t stMode) { stMode_ = stMode; }
    uint16_t id() const { return id_; }
    void setId(uint16_t id) { id_ = id; }
    uint16_t status() const { return status_; }
    void setStatus(uint16_t status) { status_ = status; }
    uint8_t cmdGroup() const { return cmdGroup_; }
    void setCmdGroup(uint8_t cmdGroup) { cmdGroup_ = cmdGroup; }
    uint8_t cmdSubcode() const { return cmdSubcode_; }
    void setCmdSubcode(uint8_t cmdSubcode) { cmdSubcode_ = cmdSubcode; }
    const Bytes& payload() const { return payload_; }
    void setPayload(Bytes payload) { payload_ = std::move(payload); }
    const Bytes& rawData() const { return rawData_; }
    void setRawData(Bytes rawData) { rawData_ = std::move(rawData); }

    // Request builders: each sets payload, group and subcode and returns `toBytes()`. A packet
    // class supplies those its kind has; the others throw STPacketError 0x4001.
    virtual Bytes getPacketBytes();
    virtual Bytes setPacketBytes();
    virtual Bytes commandPacketBytes();

    // The framed packet; the sequence field takes the process-wide counter, which advances by
    // one (wrapping after 0xFFFF). Throws STPacketError 0x4003 for a payload above 65535 bytes.
    Bytes toBytes() const;

    // The value of the payload's TLV, cut at its length byte. Throws STPacketError 0x5002
    // "The payload length is less than 2", or when fewer value bytes follow than it declares.
    Bytes getTlvValue() const;
    ByteView tlvValue() const;
    // The byte at `position` of the TLV value (payload byte position + 2); STPacketError 0x4003
    // "The position is out of range" past the payload.
    uint8_t getByte(std::size_t position) const;

    // Returns when the status is success (0); else throws ReaderException with the result code
    // of the module status and "<prefix> - The return code is not noError.(<code text>".
    void checkStatus(std::string_view prefix) const;

    // The length of the whole packet at the head of `bytes`, or 0 (logged at ERROR) when it is
    // not all there yet or is no packet by the cutter's rule (wrong mode word, above
    // kMaxPacketSize).
    static int checkFormat(ByteView bytes);
    // Classifies the head of a receive buffer: complete (N bytes), incomplete (wait), or invalid
    // (drop one byte and look again): a wrong mode word, a length above kMaxPacketSize, or an
    // incomplete head whose header is implausible (isPlausibleHeader) and inside whose header a
    // complete packet already starts. Pure and allocation-free.
    ORVANE_INTERNAL static FrameCut cutPacket(ByteView bytes) noexcept;
    // Whether a header of kHeaderSize bytes could come from a reader: a known group other than
    // generic, and a status from the module's error list.
    ORVANE_INTERNAL static bool isPlausibleHeader(ByteView header) noexcept;
    // The complete valid packet at the head of `bytes`, in place; no value otherwise.
    ORVANE_INTERNAL static std::optional<STPacketView> parsePacket(ByteView bytes) noexcept;

    // Ordinal of a module status in the module's error list: 1 -> 0, 0 -> 1, -1..-8 -> 2..9,
    // -33..-39 -> 10..16, -49 -> 17, -65..-79 -> 18..32, -81..-89 -> 33..41, others 42.
    static int stErrorCode(int16_t fromStatus) noexcept;
    static constexpr int kUnknownStatusOrdinal = 42;

    // The reader setting that a received packet answers, as a DeviceParamId raw value: the
    // information items by subcode, the settings by the TLV tag of a getConfigure reply.
    // kNoDeviceParam (after an ERROR line under "STPacket") for any other packet.
    static constexpr uint16_t kNoDeviceParam = 256;
    uint16_t deviceParamId() const;

    virtual std::string_view className() const { return "STPacket"; }

  protected:
    // A request packet of `group` with the request mode word.
    explicit STPacket(STUHFL_CG group) : stMode_(kMode), cmdGroup_(rawValue(group)) {}

    // The base parser: fills the header, payload and raw data from one whole packet.
    void parse(ByteView bytes);
    // Sets subcode and payload and frames the packet.
    Bytes frame(uint8_t subcode, Bytes payload);

    uint16_t stMode_ = 0;
    uint16_t id_ = 0;
    uint16_t status_ = 0;
    uint8_t cmdGroup_ = 0;
    uint8_t cmdSubcode_ = 0;
    Bytes payload_;
    Bytes rawData_;

  private:
    // The packet at the head of `bytes` on its own, without looking for one inside it.
    ORVANE_INTERNAL static FrameCut cutOnePacket(ByteView bytes) noexcept;

    ORVANE_INTERNAL static std::atomic<uint16_t> sequence_;
};

// Inline: the receive loop calls these once per packet.
inline FrameCut STPacket::cutOnePacket(ByteView bytes) noexcept {
    if (bytes.empty()) return {FrameCutStatus::incomplete, 0};
    if (bytes[0] != (kMode >> 8)) return {FrameCutStatus::invalid, 0};
    if (bytes.size() < 2) return {FrameCutStatus::incomplete, 0};
    if (bytes[1] != (kMode & 0xFF)) return {FrameCutStatus::invalid, 0};
    if (bytes.size() < kHeaderSize) return {FrameCutStatus::incomplete, 0};
    const std::size_t size = std::size_t{readBe16(bytes, 8)} + kHeaderSize;
    if (size > kMaxPacketSize) return {FrameCutStatus::invalid, 0};
    if (bytes.size() < size) return {FrameCutStatus::incomplete, 0};
    return {FrameCutStatus::complete, size};
}

inline bool STPacket::isPlausibleHeader(ByteView header) noexcept {
    const auto group = fromRaw<STUHFL_CG>(header[6]);
    return group && *group != STUHFL_CG::generic &&
           stErrorCode(static_cast<int16_t>(readBe16(header, 4))) != kUnknownStatusOrdinal;
}

inline FrameCut STPacket::cutPacket(ByteView bytes) noexcept {
    const FrameCut head = cutOnePacket(bytes);
    if (head.status != FrameCutStatus::incomplete || bytes.size() < kHeaderSize) return head;
    // Resynchronisation. The packet has no checksum, so a head still waiting for bytes is a
    // false start only when its header is implausible (a status the module never sends, or no
    // group a reader uses) and a complete packet already begins inside that header, as after
    // stray bytes in front of a packet. A header a reader sends is never given up this way, and
    // bytes after the header never make a head invalid.
    if (isPlausibleHeader(bytes)) return head;
    for (std::size_t at = 1; at < kHeaderSize; ++at) {
        if (bytes[at] == (kMode >> 8) &&
            cutOnePacket(bytes.subspan(at)).status == FrameCutStatus::complete) {
            return {FrameCutStatus::invalid, 0};
        }
    }
    return head;
}

inline std::optional<STPacketView> STPacket::parsePacket(ByteView bytes) noexcept {
    const FrameCut cut = cutPacket(bytes);
    if (cut.status != FrameCutStatus::complete) return std::nullopt;
    return STPacketView{readBe16(bytes, 0), readBe16(bytes, 2),
                        readBe16(bytes, 4), bytes[6],
                        bytes[7],           bytes.subspan(kHeaderSize, cut.length - kHeaderSize),
                        cut.length};
}

}  // namespace orvane
