#include "orvanerfid/engines/ZebraPacket.h"

#include <cstdio>
#include <string>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {

namespace {

constexpr std::size_t kMinPacket = 6;    // length, opcode, source, status, checksum
constexpr std::size_t kMaxPacket = 257;  // the length byte counts at most 255
constexpr uint8_t kRetransmitBit = 0x01;
constexpr uint8_t kContinuationBit = 0x02;
constexpr uint8_t kChangeTypeBit = 0x08;

}  // namespace

ZebraPacket::ZebraPacket(Opcode opcode, Bytes data) : opcode(opcode) {
    if (opcode == Opcode::PARAM_SEND && !data.empty()) {
        beepCode = fromRaw<BeepCode>(data.front()).value_or(BeepCode::NoThing);
        data.erase(data.begin());
    }
    this->data = std::move(data);
}

void ZebraPacket::setStatus(uint8_t status) {
    retransmit = (status & kRetransmitBit) ? Retransmit::subsequent : Retransmit::first;
    continuation =
        (status & kContinuationBit) ? Continuation::intermediatePacket : Continuation::lastPacket;
    changeType = (status & kChangeTypeBit) ? ChangeType::permanent : ChangeType::temporary;
}

std::string ZebraPacket::description() const {
    std::string text = "ZebraPacket {";
    text += "opcode = " + std::string(caseName(opcode)) + ", ";
    text += "messageSource = " + std::string(caseName(messageSource)) + ", ";
    text += "retransmit = " + std::string(caseName(retransmit)) + ", ";
    text += "continuation = " + std::string(caseName(continuation)) + ", ";
    text += "changeType = " + std::string(caseName(changeType)) + ", ";
    text += "beepCode = " + std::string(caseName(beepCode)) + ", ";
    text += "data = " + decimalListText(data) + "}";
    return text;
}

Bytes ZebraCodec::encode(const ZebraPacket& packet) {
    const bool paramSend = packet.opcode == Opcode::PARAM_SEND;
    const std::size_t size = packet.data.size() + kMinPacket + (paramSend ? 1 : 0);
    if (size > kMaxPacket) throw ReaderException(ResultCode::outOfRange, "Packet too long");
    Bytes out;
    out.reserve(size);
    out.push_back(static_cast<uint8_t>(size - 2));
    out.push_back(rawValue(packet.opcode));
    out.push_back(packet.messageSource == MessageSource::host ? rawValue(MessageSource::host)
                                                              : rawValue(MessageSource::decoder));
    uint8_t status = 0;
    if (packet.retransmit == Retransmit::subsequent) status |= kRetransmitBit;
    if (packet.continuation == Continuation::intermediatePacket) status |= kContinuationBit;
    if (packet.changeType == ChangeType::permanent) status |= kChangeTypeBit;
    out.push_back(status);
    if (paramSend) out.push_back(rawValue(packet.beepCode));
    out.insert(out.end(), packet.data.begin(), packet.data.end());
    appendBe16(out, Utilities::checkSum16(out));
    return out;
}

void ZebraCodec::validate(ByteView bytes) {
    if (bytes.empty()) throw ZebraCodecError("Data is null");
    if (bytes.size() < kMinPacket) {
        throw ZebraCodecError("Input data length is less than " + std::to_string(kMinPacket));
    }
    if (std::size_t{bytes[0]} + 2 != bytes.size()) {
        throw ZebraCodecError("Input data length does not match");
    }
    if (!fromRaw<Opcode>(bytes[1])) {
        throw ZebraCodecError("Unknown Opcode(" + std::to_string(bytes[1]) + ")");
    }
    const std::size_t body = bytes.size() - 2;
    const uint16_t expected = Utilities::checkSum16(bytes.first(body));
    if (readBe16(bytes, body) != expected) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "%04X", expected);
        throw ZebraCodecError(std::string("Checksum error: ") + hex);
    }
}

ZebraPacket ZebraCodec::decode(ByteView bytes) {
    validate(bytes);
    const auto opcode = fromRaw<Opcode>(bytes[1]);
    const auto source = fromRaw<MessageSource>(bytes[2]);
    if (!opcode || !source) throw ZebraCodecError("Invalid Opcode or MessageSource");
    if (orvLogger::isEnabled(LogLevel::trace)) {
        orvLogger::trace("ZebraCodec", "decode() - data: " + toHexString(bytes) +
                                           ", opcode: " + std::string(caseName(*opcode)) +
                                           ", source: " + std::string(caseName(*source)) +
                                           ", status: " + std::to_string(bytes[3]));
    }
    const ByteView payload = bytes.subspan(4, bytes.size() - kMinPacket);
    ZebraPacket packet(*opcode, Bytes(payload.begin(), payload.end()));
    packet.messageSource = *source;
    packet.setStatus(bytes[3]);
    return packet;
}

}  // namespace orvane
