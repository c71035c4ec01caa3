#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "orvanerfid/commands/FrameCut.h"
#include "orvanerfid/commands/FrameSecrets.h"
#include "orvanerfid/commands/OrvRfidCmdId.h"
#include "orvanerfid/core/Bytes.h"

namespace orvane {

// A validated frame seen in place: no copy, no allocation. `data` is the data area after the
// status byte (or the whole data area for status-less commands); it points into the buffer
// that was parsed.
struct CommandFrame {
    OrvRfidCmdId id;
    OrvRfidCmdStatus status;
    ByteView data;
    std::size_t length;
};

// One frame of the Vk210 command protocol:
//   0x02, LEN (2, = data area + 4), CMD (2), data area, checksum (2, over LEN..data), 0x03.
// Multi-byte fields are big-endian. A request is filled and framed with `toBytes()`; a reply
// or unsolicited frame is rebuilt with the `ReceiveBytes` constructor and read through the
// subclass's accessors. No threads and no I/O: one object is used by one thread at a time.
class OrvaneRfidCommand {
  public:
    static constexpr std::size_t kMinFrameSize = 8;
    // STX, LEN and CMD.
    static constexpr std::size_t kHeaderSize = 5;
    // Larger than any frame a reader sends (the longest are 2D barcode reports); a length field
    // above it marks a corrupt frame start rather than a frame to wait for.
    static constexpr std::size_t kMaxFrameSize = 8192;
    static constexpr uint8_t kStx = 0x02;
    static constexpr uint8_t kEtx = 0x03;

    struct ReceiveBytes {
        ByteView bytes;
    };
    struct SendBytes {
        ByteView bytes;
    };

    OrvaneRfidCommand() = default;
    // Rebuilds a reply or unsolicited frame. Throws ReaderException 0x5002 for a malformed
    // frame, an unknown command code, or a status-bearing reply without its status byte.
    explicit OrvaneRfidCommand(ReceiveBytes receive)
        : OrvaneRfidCommand(receive, "OrvaneRfidCommand") {}
    // Rebuilds a request from the bytes about to be written (to learn its command code).
    explicit OrvaneRfidCommand(SendBytes send) : OrvaneRfidCommand(send, "OrvaneRfidCommand") {}
    virtual ~OrvaneRfidCommand() = default;
    OrvaneRfidCommand(const OrvaneRfidCommand&) = default;
    OrvaneRfidCommand& operator=(const OrvaneRfidCommand&) = default;
    OrvaneRfidCommand(OrvaneRfidCommand&&) = default;
    OrvaneRfidCommand& operator=(OrvaneRfidCommand&&) = default;

    OrvRfidCmdId id() const { return id_; }
    void setId(OrvRfidCmdId id) { id_ = id; }
    const Bytes& data() const { return data_; }
    void setData(Bytes data) { data_ = std::move(data); }
    OrvRfidCmdStatus status() const { return status_; }
    void setStatus(OrvRfidCmdStatus status) { status_ = status; }
    const Bytes& rawData() const { return rawData_; }
    void setRawData(Bytes rawData) { rawData_ = std::move(rawData); }

    // The frame for `id` and `data`; a command with request fields first rewrites `data` from
    // them. Throws ReaderException 0x4003 when the data cannot fit the 16-bit length field.
    Bytes toBytes();

    // Returns when `status` is success, else throws ReaderException with the status's code and
    // "<prefix> - The return code is not noError.(<status name>".
    void checkStatus(std::string_view prefix) const;

    // "ID:<case name>, Data:<hex dump of data>". The access or kill password that opens the
    // request data of a tag command, and Reserved-bank or read data (vk210DataSecrets), are
    // shown as "********".
    std::string description() const;
    virtual std::string_view className() const { return "OrvaneRfidCommand"; }

    // The length of the frame at the head of `bytes`, or 0 (the reason is logged at ERROR). A
    // frame is valid here exactly when cutFrame would cut it, up to kMaxFrameSize.
    static int checkFormat(ByteView bytes);
    // Classifies the head of a receive buffer; pure and allocation-free. Invalid: no STX, a
    // length outside kMinFrameSize..kMaxFrameSize, a wrong checksum or ETX, or an incomplete
    // head inside whose first kHeaderSize bytes a complete valid frame already starts (stray
    // bytes in front of a frame). Bytes after the header never make a head invalid.
    static FrameCut cutFrame(ByteView bytes) noexcept;
    // Validates and splits the frame at the head of `bytes` without copying; no value when the
    // head is not a complete valid frame with a known code (and its status byte, if it needs one).
    static std::optional<CommandFrame> parseFrame(ByteView bytes) noexcept;
    // The whole frame for a command code and data area.
    static Bytes frame(OrvRfidCmdId id, ByteView data);
    // How many leading request-data bytes of command `id` are a password (never logged).
    static constexpr std::size_t secretPrefixLength(OrvRfidCmdId id) noexcept {
        switch (id) {
            case OrvRfidCmdId::read:
            case OrvRfidCmdId::write:
            case OrvRfidCmdId::blockWrite:
            case OrvRfidCmdId::lock:
            case OrvRfidCmdId::kill:
            case OrvRfidCmdId::blockPermaLock:
            case OrvRfidCmdId::authenticate:
            case OrvRfidCmdId::inventoryWithUserSpecifiedData:
                return 4;
            default:
                return 0;
        }
    }

  protected:
    explicit OrvaneRfidCommand(OrvRfidCmdId id) : id_(id) {}
    OrvaneRfidCommand(ReceiveBytes receive, std::string_view className);
    OrvaneRfidCommand(SendBytes send, std::string_view className);

    std::size_t adoptFrame(ByteView bytes, std::string_view className, std::string_view operation,
                           FrameDirection direction);

    // Rewrites `data_` from the request fields; commands without fields keep `data_` as set.
    virtual void buildData() {}

    // Bounded reads of the reply data for accessors: no value when the reply is too short.
    std::optional<uint8_t> byteAt(std::size_t at) const;
    std::optional<uint16_t> be16At(std::size_t at) const;
    std::optional<uint32_t> be32At(std::size_t at) const;

    OrvRfidCmdId id_ = OrvRfidCmdId::unknown;
    Bytes data_;
    OrvRfidCmdStatus status_ = OrvRfidCmdStatus::unknown;
    Bytes rawData_;
};

// Declares the constructors and class name of a command subclass with command code `Id`:
// the default constructor sets `Id`; the byte constructors rebuild frames as the base does and
// log under the subclass's own name. `Base` is OrvaneRfidCommand or a class between it and the
// command that has the same three protected constructors.
#define ORV_COMMAND_CLASS_OF(Class, Base, Id)                       \
  public:                                                           \
    Class() : Base(Id) {}                                           \
    explicit Class(ReceiveBytes receive) : Base(receive, #Class) {} \
    explicit Class(SendBytes send) : Base(send, #Class) {}          \
    std::string_view className() const override {                   \
        return #Class;                                              \
    }

#define ORV_COMMAND_CLASS(Class, Id) ORV_COMMAND_CLASS_OF(Class, ::orvane::OrvaneRfidCommand, Id)

}  // namespace orvane
