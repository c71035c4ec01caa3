#include "orvanerfid/commands/STPacket.h"

#include <array>
#include <string>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

constexpr std::string_view kTag = "STPacket";

// Ordinals of the statuses -89..1, indexed by status + 89; 42 marks a status of no ordinal.
constexpr std::array<uint8_t, 91> makeStatusOrdinals() {
    std::array<uint8_t, 91> table{};
    for (auto& entry : table)
        entry = 42;
    const auto set = [&table](int status, int ordinal) {
        table[static_cast<std::size_t>(status + 89)] = static_cast<uint8_t>(ordinal);
    };
    set(1, 0);
    set(0, 1);
    for (int i = 0; i < 8; ++i)
        set(-1 - i, 2 + i);
    for (int i = 0; i < 7; ++i)
        set(-33 - i, 10 + i);
    set(-49, 17);
    for (int i = 0; i < 15; ++i)
        set(-65 - i, 18 + i);
    for (int i = 0; i < 9; ++i)
        set(-81 - i, 33 + i);
    return table;
}

constexpr auto kStatusOrdinals = makeStatusOrdinals();

}  // namespace

std::atomic<uint16_t> STPacket::sequence_{0};

void STPacket::parse(ByteView bytes) {
    *this = STPacket();
    if (bytes.size() < kHeaderSize) {
        throw STPacketError(ResultCode::invalidParameter,
                            "The bytes length is less than " + std::to_string(kHeaderSize));
    }
    rawData_.assign(bytes.begin(), bytes.end());
    stMode_ = readBe16(bytes, 0);
    id_ = readBe16(bytes, 2);
    status_ = readBe16(bytes, 4);
    cmdGroup_ = bytes[6];
    cmdSubcode_ = bytes[7];
    const std::size_t length = readBe16(bytes, 8);
    if (length != bytes.size() - kHeaderSize) {
        throw STPacketError(ResultCode::invalidParameter,
                            "The bytes length is not equal to the length in the packet");
    }
    payload_.assign(bytes.begin() + kHeaderSize, bytes.end());
}

Bytes STPacket::getPacketBytes() {
    throw STPacketError(ResultCode::notSupported,
                        "Need to implement getPacketBytes in " + std::string(className()));
}

Bytes STPacket::setPacketBytes() {
    throw STPacketError(ResultCode::notSupported,
                        "Need to implement setPacketBytes in " + std::string(className()));
}

Bytes STPacket::commandPacketBytes() {
    throw STPacketError(ResultCode::notSupported,
                        "Need to implement commandPacketBytes in " + std::string(className()));
}

Bytes STPacket::frame(uint8_t subcode, Bytes payload) {
    cmdSubcode_ = subcode;
    payload_ = std::move(payload);
    return toBytes();
}

Bytes STPacket::toBytes() const {
    if (payload_.size() > 0xFFFF) {
        throw STPacketError(ResultCode::outOfRange, "The payload is longer than 65535 bytes");
    }
    Bytes out;
    out.reserve(kHeaderSize + payload_.size());
    appendBe16(out, stMode_);
    appendBe16(out, sequence_.fetch_add(1, std::memory_order_relaxed));
    appendBe16(out, status_);
    out.push_back(cmdGroup_);
    out.push_back(cmdSubcode_);
    appendBe16(out, static_cast<uint16_t>(payload_.size()));
    out.insert(out.end(), payload_.begin(), payload_.end());
    return out;
}

ByteView STPacket::tlvValue() const {
    if (payload_.size() < 2) {
        throw STPacketError(ResultCode::invalidParameter, "The payload length is less than 2");
    }
    const std::size_t length = payload_[1];
    // The value ends at its length byte: a short value is an error, and bytes after it are
    // never taken into it.
    if (payload_.size() - 2 < length) {
        throw STPacketError(ResultCode::invalidParameter,
                            "The payload length is less than " + std::to_string(length + 2));
    }
    return ByteView(payload_).subspan(2, length);
}

Bytes STPacket::getTlvValue() const {
    const ByteView value = tlvValue();
    return Bytes(value.begin(), value.end());
}

uint8_t STPacket::getByte(std::size_t position) const {
    if (payload_.size() < 2 || position >= payload_.size() - 2) {
        throw STPacketError(ResultCode::outOfRange, "The position is out of range");
    }
    return payload_[position + 2];
}

void STPacket::checkStatus(std::string_view prefix) const {
    const int ordinal = stErrorCode(static_cast<int16_t>(status_));
    if (ordinal == kNoErrorOrdinal) return;
    const ResultCode code = resultCodeFromModuleStatus(ordinal);
    std::string message;
    if (!prefix.empty()) {
        message += prefix;
        message += " - ";
    }
    message += "The return code is not noError.(";
    message += orvane::description(code);
    throw ReaderException(code, message);
}

int STPacket::checkFormat(ByteView bytes) {
    if (bytes.size() < kHeaderSize) {
        orvLogger::triggerLogEvent(LogLevel::error, kTag,
                                   "checkFormat(bytes:) The bytes length is less than minLength: " +
                                       std::to_string(kHeaderSize));
        return 0;
    }
    // The mode word and the size bound are the cutter's: both agree on what a packet is.
    if (readBe16(bytes, 0) != kMode) {
        orvLogger::triggerLogEvent(
            LogLevel::error, kTag,
            "checkFormat(bytes:) Invalid mode: " + toHexString(bytes.first(2)));
        return 0;
    }
    const std::size_t length = readBe16(bytes, 8);
    if (length + kHeaderSize > kMaxPacketSize) {
        orvLogger::triggerLogEvent(
            LogLevel::error, kTag,
            "checkFormat(bytes:) The packet length is more than maxLength: " +
                std::to_string(kMaxPacketSize));
        return 0;
    }
    if (bytes.size() - kHeaderSize >= length) return static_cast<int>(length + kHeaderSize);
    orvLogger::triggerLogEvent(LogLevel::error, kTag,
                               "checkFormat(bytes:) The bytes length is less then the packet");
    return 0;
}

int STPacket::stErrorCode(int16_t fromStatus) noexcept {
    if (fromStatus < -89 || fromStatus > 1) return 42;
    return kStatusOrdinals[static_cast<std::size_t>(fromStatus + 89)];
}

}  // namespace orvane
