#pragma once

// The packet of the Zebra scan engines' serial interface, which the Vk210 reader carries inside
// its engine pass-through command, and the codec that writes, checks and reads it.
// Packets are plain values used by one thread at a time; the codec is stateless and may be
// called from any thread.

#include <cstdint>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {

#define ORV_ZEBRA_OPCODE(X)             \
    X(FLUSH_MACRO_PDF, 0x10, "")        \
    X(ABORT_MACRO_PDF, 0x11, "")        \
    X(CUSTOM_DEFAULTS, 0x12, "")        \
    X(SSI_MGMT_COMMAND, 0x80, "")       \
    X(REQUEST_REVISION, 0xA3, "")       \
    X(REPLY_REVISION, 0xA4, "")         \
    X(Reserved, 0xB0, "")               \
    X(IMAGE_DATA, 0xB1, "")             \
    X(VIDEO_DATA, 0xB4, "")             \
    X(ILLUMINATION_OFF, 0xC0, "")       \
    X(ILLUMINATION_ON, 0xC1, "")        \
    X(AIM_OFF, 0xC4, "")                \
    X(AIM_ON, 0xC5, "")                 \
    X(PARAM_SEND, 0xC6, "")             \
    X(PARAM_REQUEST, 0xC7, "")          \
    X(PARAM_DEFAULTS, 0xC8, "")         \
    X(CHANGE_ALL_CODE_TYPES, 0xC9, "")  \
    X(PAGER_MOTOR_ACTIVATION, 0xCA, "") \
    X(CMD_ACK, 0xD0, "")                \
    X(CMD_NAK, 0xD1, "")                \
    X(FLUSH_QUEUE, 0xD2, "")            \
    X(CAPABILITIES_REQUEST, 0xD3, "")   \
    X(CAPABILITIES_REPLY, 0xD4, "")     \
    X(BATCH_REQUEST, 0xD5, "")          \
    X(BATCH_DATA, 0xD6, "")             \
    X(CMD_ACK_ACTION, 0xD8, "")         \
    X(START_SESSION, 0xE4, "")          \
    X(STOP_SESSION, 0xE5, "")           \
    X(BEEP, 0xE6, "")                   \
    X(LED_ON, 0xE7, "")                 \
    X(LED_OFF, 0xE8, "")                \
    X(SCAN_ENABLE, 0xE9, "")            \
    X(SCAN_DISABLE, 0xEA, "")           \
    X(SLEEP, 0xEB, "")                  \
    X(DECODE_DATA, 0xF3, "")            \
    X(EVENT, 0xF6, "")                  \
    X(IMAGER_MODE, 0xF7, "")

// What a packet asks or answers: its second byte.
ORV_ENUM(Opcode, uint8_t, ORV_ZEBRA_OPCODE);

#define ORV_ZEBRA_BEEP_CODE(X)       \
    X(Short_High_1, 0x00, "")        \
    X(Short_High_2, 0x01, "")        \
    X(Short_High_3, 0x02, "")        \
    X(Short_High_4, 0x03, "")        \
    X(Short_High_5, 0x04, "")        \
    X(Short_Low_1, 0x05, "")         \
    X(Short_Low_2, 0x06, "")         \
    X(Short_Low_3, 0x07, "")         \
    X(Short_Low_4, 0x08, "")         \
    X(Short_Low_5, 0x09, "")         \
    X(Long_High_1, 0x0A, "")         \
    X(Long_High_2, 0x0B, "")         \
    X(Long_High_3, 0x0C, "")         \
    X(Long_High_4, 0x0D, "")         \
    X(Long_High_5, 0x0E, "")         \
    X(Long_Low_1, 0x0F, "")          \
    X(Long_Low_2, 0x10, "")          \
    X(Long_Low_3, 0x11, "")          \
    X(Long_Low_4, 0x12, "")          \
    X(Long_Low_5, 0x13, "")          \
    X(Fast_HLHL_4, 0x14, "")         \
    X(Slow_HLHL_4, 0x15, "")         \
    X(Mix1_HL_2, 0x16, "")           \
    X(Mix2_LH_2, 0x17, "")           \
    X(Mix3_HLH_3, 0x18, "")          \
    X(Mix4_LHL_3, 0x19, "")          \
    X(Long_HHLL_4, 0x1A, "")         \
    X(Short_HHH_13, 0x1B, "")        \
    X(HighClick_H_1, 0x1C, "")       \
    X(LowClick_LowClick_1, 0x1D, "") \
    X(NoThing, 0xFF, "")

// The beep a parameter-write packet asks the engine to sound; NoThing for none.
ORV_ENUM(BeepCode, uint8_t, ORV_ZEBRA_BEEP_CODE);

#define ORV_ZEBRA_MESSAGE_SOURCE(X) \
    X(decoder, 0x00, "")            \
    X(host, 0x04, "")

// Who sent a packet: the engine (decoder) or the host.
ORV_ENUM(MessageSource, uint8_t, ORV_ZEBRA_MESSAGE_SOURCE);

#define ORV_ZEBRA_RETRANSMIT(X) \
    X(first, 0x00, "")          \
    X(subsequent, 0x01, "")

// Status bit 0: whether the packet is sent again.
ORV_ENUM(Retransmit, uint8_t, ORV_ZEBRA_RETRANSMIT);

#define ORV_ZEBRA_CONTINUATION(X) \
    X(lastPacket, 0x00, "")       \
    X(intermediatePacket, 0x02, "")

// Status bit 1: whether more packets of the same message follow.
ORV_ENUM(Continuation, uint8_t, ORV_ZEBRA_CONTINUATION);

// Status bit 3 is the ChangeType (temporary, permanent 0x08) of the core enumerations.

// A failed check or read of received engine bytes. Its result code is 0x5000 Invalid Response;
// the message says what was wrong.
class ORVANE_API ZebraCodecError : public CodedError {
  public:
    explicit ZebraCodecError(std::string msg)
        : CodedError(ResultCode::invalidResponse, std::move(msg)) {}
    // The error's domain, "ZebraCodecError", and code, -1.
    static constexpr const char* domain = "ZebraCodecError";
    static constexpr int code = -1;
};

class ORVANE_API ZebraPacket {
  public:
    // Defaults: decoder, first, intermediatePacket, permanent, NoThing. For PARAM_SEND the first
    // byte of `data`, when there is one, is the beep code (NoThing for a byte that is none) and
    // the rest is the data; for every other opcode `data` is kept whole.
    explicit ZebraPacket(Opcode opcode, Bytes data = {});

    Opcode opcode;
    MessageSource messageSource = MessageSource::decoder;
    Retransmit retransmit = Retransmit::first;
    Continuation continuation = Continuation::intermediatePacket;
    static constexpr bool reserved = false;
    ChangeType changeType = ChangeType::permanent;
    BeepCode beepCode = BeepCode::NoThing;
    Bytes data;  // without the beep byte

    // Takes the status byte: bit 0 retransmit, bit 1 continuation, bit 3 change type; the other
    // bits are ignored.
    void setStatus(uint8_t status);

    // "ZebraPacket {opcode = PARAM_REQUEST, messageSource = host, retransmit = first,
    // continuation = lastPacket, changeType = temporary, beepCode = NoThing, data = [1, 2]}".
    std::string description() const;
};

class ORVANE_API ZebraCodec {
  public:
    // The packet's bytes: length, opcode, source, status, the beep byte (PARAM_SEND only), the
    // data and the two-byte checksum. A packet of more than 257 bytes has no wire form:
    // ReaderException 0x4003 "Packet too long".
    static Bytes encode(const ZebraPacket& packet);

    // Checks received bytes, in this order, and throws ZebraCodecError at the first failure:
    // "Data is null", "Input data length is less than 6", "Input data length does not match",
    // "Unknown Opcode(<byte>)", "Checksum error: <expected checksum, 4 hex digits>".
    static void validate(ByteView bytes);

    // validate(), then the packet. A message source other than decoder or host throws
    // ZebraCodecError "Invalid Opcode or MessageSource". Logs the packet at TRACE, tag
    // "ZebraCodec".
    static ZebraPacket decode(ByteView bytes);
};

}  // namespace orvane
