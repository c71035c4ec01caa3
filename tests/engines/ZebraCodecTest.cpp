#include <gtest/gtest.h>

#include <string>

#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/engines/ZebraPacket.h"

namespace orvane {
namespace {

ZebraPacket hostRequest(Bytes data) {
    ZebraPacket packet(Opcode::PARAM_REQUEST, std::move(data));
    packet.messageSource = MessageSource::host;
    return packet;
}

TEST(ZebraCodec, EncodesLengthOpcodeSourceStatusDataAndChecksum) {
    // The defaults set the intermediate-packet and permanent bits.
    EXPECT_EQ(ZebraCodec::encode(hostRequest({0x01, 0x02})),
              (Bytes{0x06, 0xC7, 0x04, 0x0A, 0x01, 0x02, 0xFF, 0x22}));
    // A byte sum of 0x0100 leaves a checksum whose low byte is 0.
    ZebraPacket last = hostRequest({0x01, 0x26});
    last.continuation = Continuation::lastPacket;
    EXPECT_EQ(ZebraCodec::encode(last), (Bytes{0x06, 0xC7, 0x04, 0x08, 0x01, 0x26, 0xFF, 0x00}));

    // A parameter write always carries its beep byte, also without data.
    ZebraPacket send(Opcode::PARAM_SEND);
    send.messageSource = MessageSource::host;
    send.continuation = Continuation::lastPacket;
    EXPECT_EQ(ZebraCodec::encode(send), (Bytes{0x05, 0xC6, 0x04, 0x08, 0xFF, 0xFE, 0x2A}));
    send.data = {0x01, 0x01};  // parameter 1 set to 1
    EXPECT_EQ(ZebraCodec::encode(send),
              (Bytes{0x07, 0xC6, 0x04, 0x08, 0xFF, 0x01, 0x01, 0xFE, 0x26}));
    send.data = {0x00, 0x01};
    send.beepCode = BeepCode::Short_High_2;
    EXPECT_EQ(ZebraCodec::encode(send),
              (Bytes{0x07, 0xC6, 0x04, 0x08, 0x01, 0x00, 0x01, 0xFF, 0x25}));
}

TEST(ZebraCodec, RefusesAPacketLongerThanTheLengthByteCanCount) {
    EXPECT_EQ(ZebraCodec::encode(hostRequest(Bytes(251, 0))).size(), 257u);
    EXPECT_THROW(ZebraCodec::encode(hostRequest(Bytes(252, 0))), ReaderException);
    // A parameter write counts its beep byte.
    EXPECT_THROW(ZebraCodec::encode(ZebraPacket(Opcode::PARAM_SEND, Bytes(252, 0xFF))),
                 ReaderException);
}

TEST(ZebraCodec, ValidatesInOrderWithTheFirstFailureMessage) {
    struct Case {
        Bytes bytes;
        std::string message;
    };
    const Case cases[] = {
        {{}, "Data is null"},
        {{0x03, 0xD0, 0x00, 0x00, 0xFF}, "Input data length is less than 6"},
        // Short and with an unknown opcode: the length is checked first.
        {{0x03, 0x13, 0x00}, "Input data length is less than 6"},
        {{0x05, 0xD0, 0x00, 0x00, 0xFF, 0x2C}, "Input data length does not match"},
        {{0x04, 0x13, 0x00, 0x00, 0x00, 0x00}, "Unknown Opcode(19)"},
        // A good length and opcode with a damaged checksum: the expected one is named.
        {{0x04, 0xD0, 0x00, 0x00, 0xFF, 0x2D}, "Checksum error: FF2C"},
        {{0x06, 0xC7, 0x04, 0x08, 0x01, 0x26, 0xFF, 0x01}, "Checksum error: FF00"},
    };
    for (const auto& c : cases) {
        try {
            ZebraCodec::validate(c.bytes);
            ADD_FAILURE() << toHexString(c.bytes);
        } catch (const ZebraCodecError& e) {
            EXPECT_EQ(e.message(), c.message) << toHexString(c.bytes);
            EXPECT_EQ(e.resultCode(), ResultCode::invalidResponse);
        }
    }
    EXPECT_NO_THROW(ZebraCodec::validate(Bytes{0x04, 0xD0, 0x00, 0x00, 0xFF, 0x2C}));
}

TEST(ZebraCodec, DecodesRepliesOfTheEngine) {
    // ACK, NAK with cause 6, and a parameter reply whose first payload byte is the beep byte.
    const ZebraPacket ack = ZebraCodec::decode(Bytes{0x04, 0xD0, 0x00, 0x00, 0xFF, 0x2C});
    EXPECT_EQ(ack.opcode, Opcode::CMD_ACK);
    EXPECT_TRUE(ack.data.empty());
    EXPECT_EQ(ack.messageSource, MessageSource::decoder);

    const ZebraPacket nak = ZebraCodec::decode(Bytes{0x05, 0xD1, 0x00, 0x00, 0x06, 0xFF, 0x24});
    EXPECT_EQ(nak.opcode, Opcode::CMD_NAK);
    EXPECT_EQ(nakCause(nak.data), NakCause::hostDirectiveDenied);

    const ZebraPacket reply =
        ZebraCodec::decode(Bytes{0x07, 0xC6, 0x00, 0x00, 0xFF, 0x88, 0x31, 0xFD, 0x7B});
    EXPECT_EQ(reply.opcode, Opcode::PARAM_SEND);
    EXPECT_EQ(reply.beepCode, BeepCode::NoThing);
    EXPECT_EQ(reply.data, (Bytes{0x88, 0x31}));
    EXPECT_EQ(reply.description(),
              "ZebraPacket {opcode = PARAM_SEND, messageSource = decoder, retransmit = first, "
              "continuation = lastPacket, changeType = temporary, beepCode = NoThing, "
              "data = [136, 49]}");

    // A message source that is neither decoder nor host.
    try {
        ZebraCodec::decode(Bytes{0x04, 0xD0, 0x01, 0x00, 0xFF, 0x2B});
        ADD_FAILURE() << "no exception";
    } catch (const ZebraCodecError& e) {
        EXPECT_EQ(e.message(), "Invalid Opcode or MessageSource");
    }
}

TEST(ZebraPacket, StatusBitsAndBeepByte) {
    ZebraPacket packet(Opcode::CMD_ACK);
    packet.setStatus(0x0B);
    EXPECT_EQ(packet.retransmit, Retransmit::subsequent);
    EXPECT_EQ(packet.continuation, Continuation::intermediatePacket);
    EXPECT_EQ(packet.changeType, ChangeType::permanent);
    packet.setStatus(0x04 | 0xF0);  // reserved and high bits are ignored
    EXPECT_EQ(packet.retransmit, Retransmit::first);
    EXPECT_EQ(packet.continuation, Continuation::lastPacket);
    EXPECT_EQ(packet.changeType, ChangeType::temporary);

    // A first byte that is no beep code still leaves the packet: no beep, the rest as data.
    const ZebraPacket odd(Opcode::PARAM_SEND, {0x1E, 0x05});
    EXPECT_EQ(odd.beepCode, BeepCode::NoThing);
    EXPECT_EQ(odd.data, Bytes{0x05});
    // Only a parameter write takes a beep byte off its data.
    EXPECT_EQ(ZebraPacket(Opcode::PARAM_REQUEST, {0x1D}).data, Bytes{0x1D});
}

}  // namespace
}  // namespace orvane
