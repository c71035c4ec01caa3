#include "orvanerfid/commands/OrvaneRfidCommand.h"

#include <algorithm>
#include <string>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

constexpr std::string_view kTag = "OrvaneRfidCommand";

ResultCode statusCode(OrvRfidCmdStatus status) {
    switch (status) {
        case OrvRfidCmdStatus::success:
            return ResultCode::noError;
        case OrvRfidCmdStatus::busy:
            return ResultCode::busyDevice;
        case OrvRfidCmdStatus::invalidParameters:
            return ResultCode::parameterError;
        case OrvRfidCmdStatus::notSupport:
            return ResultCode::notSupported;
        case OrvRfidCmdStatus::incorrectLength:
        case OrvRfidCmdStatus::incorrectEndOfPacket:
            return ResultCode::invalidResponse;
        case OrvRfidCmdStatus::incorrectCrc:
            return ResultCode::crcError;
        case OrvRfidCmdStatus::timeout:
        case OrvRfidCmdStatus::otherError:
        case OrvRfidCmdStatus::targetNotFound:
        case OrvRfidCmdStatus::unknown:
            return ResultCode::undefined;
    }
    return ResultCode::undefined;
}

// Checksum of the frame's LEN, CMD and data area (offsets 1 .. size-4).
uint16_t frameChecksum(ByteView frameBytes) {
    return Utilities::checkSum16(frameBytes.subspan(1, frameBytes.size() - 4));
}

constexpr std::string_view kHiddenSecret = "********";

// The hex dump of `bytes` with each run of secret bytes shown as "********".
std::string maskedDump(ByteView bytes, const SecretSpans& spans) {
    std::string text;
    std::size_t at = 0;
    for (const SecretSpan& span : spans) {
        if (span.begin < at || span.begin >= bytes.size()) continue;
        text += toHexDumpString(bytes.subspan(at, span.begin - at));
        text += kHiddenSecret;
        text += ' ';
        at = std::min(bytes.size(), span.end);
    }
    text += toHexDumpString(bytes.subspan(at));
    return text;
}

void logTrace(std::string_view className, std::string_view what, ByteView bytes,
              FrameDirection direction) {
    if (!orvLogger::isEnabled(LogLevel::trace)) return;
    std::string text(what);
    text += maskedDump(bytes, vk210FrameSecrets(bytes, direction));
    orvLogger::triggerLogEvent(LogLevel::trace, className, text);
}

// The frame at the head of `bytes` on its own, without looking for a frame inside it.
FrameCut cutOneFrame(ByteView bytes) noexcept {
    constexpr uint8_t kStx = OrvaneRfidCommand::kStx;
    if (bytes.empty()) return {FrameCutStatus::incomplete, 0};
    if (bytes[0] != kStx) return {FrameCutStatus::invalid, 0};
    if (bytes.size() < 3) return {FrameCutStatus::incomplete, 0};
    const std::size_t size = std::size_t{readBe16(bytes, 1)} + 4;
    if (size < OrvaneRfidCommand::kMinFrameSize || size > OrvaneRfidCommand::kMaxFrameSize) {
        return {FrameCutStatus::invalid, 0};
    }
    if (bytes.size() < size) return {FrameCutStatus::incomplete, 0};
    const ByteView whole = bytes.first(size);
    if (frameChecksum(whole) != readBe16(whole, size - 3) ||
        whole[size - 1] != OrvaneRfidCommand::kEtx) {
        return {FrameCutStatus::invalid, 0};
    }
    return {FrameCutStatus::complete, size};
}

}  // namespace

FrameCut OrvaneRfidCommand::cutFrame(ByteView bytes) noexcept {
    const FrameCut head = cutOneFrame(bytes);
    if (head.status != FrameCutStatus::incomplete || bytes.size() < kMinFrameSize + 1) return head;
    // Resynchronisation: a head still waiting for bytes is a false start when a whole valid
    // frame already begins inside its own header (STX, LEN, CMD), as after a stray byte or
    // three in front of a frame. Only the header is searched, so data bytes of a frame still
    // arriving can never end it early.
    const std::size_t last = std::min<std::size_t>(kHeaderSize - 1, bytes.size() - 1);
    for (std::size_t at = 1; at <= last; ++at) {
        if (bytes[at] == kStx &&
            cutOneFrame(bytes.subspan(at)).status == FrameCutStatus::complete) {
            return {FrameCutStatus::invalid, 0};
        }
    }
    return head;
}

int OrvaneRfidCommand::checkFormat(ByteView bytes) {
    const auto fail = [](const std::string& why) {
        orvLogger::triggerLogEvent(LogLevel::error, kTag, "checkFormat(bytes:) " + why);
        return 0;
    };
    if (bytes.size() <= 7) {
        return fail("Invalid data length(" + std::to_string(bytes.size()) + ")");
    }
    if (bytes[0] != kStx) return fail("Invalid STX(" + std::to_string(bytes[0]) + ")");
    const std::size_t len = readBe16(bytes, 1);
    // A length below the LEN+CMD fields would put CMD outside the frame; one above the largest
    // frame is refused here as the cutter refuses it.
    if (len < 4 || len + 4 > kMaxFrameSize) {
        return fail("Invalid packet length(" + std::to_string(len) + ")");
    }
    if (bytes.size() < len + 4) {
        return fail("Data length(" + std::to_string(bytes.size()) +
                    ") is less than the packet length(" + std::to_string(len + 4) + ")");
    }
    const uint16_t sum = Utilities::checkSum16(bytes.subspan(1, len));
    if (sum != readBe16(bytes, len + 1)) {
        const uint8_t sumBytes[] = {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)};
        return fail("Checksum error, checksum:" + toHexDumpString(sumBytes));
    }
    if (bytes[len + 3] != kEtx) return fail("Invalid ETX(" + std::to_string(bytes[len + 3]) + ")");
    return static_cast<int>(len + 4);
}

std::optional<CommandFrame> OrvaneRfidCommand::parseFrame(ByteView bytes) noexcept {
    const FrameCut cut = cutFrame(bytes);
    if (cut.status != FrameCutStatus::complete) return std::nullopt;
    const auto id = fromRaw<OrvRfidCmdId>(readBe16(bytes, 3));
    if (!id) return std::nullopt;
    const std::size_t n = cut.length;
    if (isStatusLess(*id)) {
        return CommandFrame{*id, OrvRfidCmdStatus::unknown, bytes.subspan(5, n - 8), n};
    }
    if (n <= kMinFrameSize) return std::nullopt;
    const auto status = fromRaw<OrvRfidCmdStatus>(bytes[5]).value_or(OrvRfidCmdStatus::unknown);
    return CommandFrame{*id, status, bytes.subspan(6, n - 9), n};
}

// Validates a frame given to a constructor and gives its length; `operation` names the
// constructor in the log lines ("receiveBytes" or "sendBytes").
std::size_t OrvaneRfidCommand::adoptFrame(ByteView bytes, std::string_view className,
                                          std::string_view operation, FrameDirection direction) {
    if (orvLogger::isEnabled(LogLevel::trace)) {
        std::string what = "init(";
        what += operation;
        what += ":) ";
        what += operation;
        what += '=';
        logTrace(className, what, bytes, direction);
    }
    const int n = checkFormat(bytes);
    if (n == 0) throw ReaderException(ResultCode::invalidParameter, "");
    if (static_cast<std::size_t>(n) != bytes.size()) {
        std::string text = "init(";
        text += operation;
        text += ":) The full packet size is not match, packetLength=" + std::to_string(n) + ", ";
        text += operation;
        text += ".count=" + std::to_string(bytes.size());
        orvLogger::triggerLogEvent(LogLevel::warn, className, text);
    }
    const auto id = fromRaw<OrvRfidCmdId>(readBe16(bytes, 3));
    if (!id) throw ReaderException(ResultCode::invalidParameter, "");
    id_ = *id;
    return static_cast<std::size_t>(n);
}

OrvaneRfidCommand::OrvaneRfidCommand(ReceiveBytes receive, std::string_view className)
    : rawData_(receive.bytes.begin(), receive.bytes.end()) {
    const ByteView bytes = receive.bytes;
    const std::size_t size =
        adoptFrame(bytes, className, "receiveBytes", FrameDirection::fromReader);
    if (isStatusLess(id_)) {
        data_.assign(bytes.begin() + 5, bytes.begin() + static_cast<std::ptrdiff_t>(size - 3));
        return;
    }
    if (size <= kMinFrameSize) {
        orvLogger::triggerLogEvent(LogLevel::error, className,
                                   "init(receiveBytes:) The packet does not include status.");
        throw ReaderException(ResultCode::invalidParameter, "");
    }
    status_ = fromRaw<OrvRfidCmdStatus>(bytes[5]).value_or(OrvRfidCmdStatus::unknown);
    data_.assign(bytes.begin() + 6, bytes.begin() + static_cast<std::ptrdiff_t>(size - 3));
}

OrvaneRfidCommand::OrvaneRfidCommand(SendBytes send, std::string_view className)
    : rawData_(send.bytes.begin(), send.bytes.end()) {
    const ByteView bytes = send.bytes;
    const std::size_t size = adoptFrame(bytes, className, "sendBytes", FrameDirection::toReader);
    // The data area ends at the frame's own checksum, not at the end of the array: trailing
    // bytes after the frame never leak into the request data.
    data_.assign(bytes.begin() + 5, bytes.begin() + static_cast<std::ptrdiff_t>(size - 3));
}

Bytes OrvaneRfidCommand::frame(OrvRfidCmdId id, ByteView data) {
    if (data.size() > kMaxFrameSize - kMinFrameSize) {
        throw ReaderException(ResultCode::outOfRange, "Command data too long to frame");
    }
    Bytes out;
    out.reserve(data.size() + kMinFrameSize);
    out.push_back(kStx);
    appendBe16(out, static_cast<uint16_t>(data.size() + 4));
    appendBe16(out, rawValue(id));
    out.insert(out.end(), data.begin(), data.end());
    appendBe16(out, Utilities::checkSum16(ByteView(out).subspan(1)));
    out.push_back(kEtx);
    return out;
}

Bytes OrvaneRfidCommand::toBytes() {
    buildData();
    return frame(id_, data_);
}

void OrvaneRfidCommand::checkStatus(std::string_view prefix) const {
    if (status_ == OrvRfidCmdStatus::success) return;
    std::string message;
    if (!prefix.empty()) {
        message += prefix;
        message += " - ";
    }
    message += "The return code is not noError.(";
    message += caseName(status_);
    throw ReaderException(statusCode(status_), message);
}

std::string OrvaneRfidCommand::description() const {
    std::string text = "ID:";
    text += caseName(id_);
    text += ", Data:";
    text += maskedDump(data_, vk210DataSecrets(id_, data_));
    return text;
}

std::optional<uint8_t> OrvaneRfidCommand::byteAt(std::size_t at) const {
    if (at >= data_.size()) return std::nullopt;
    return data_[at];
}

std::optional<uint16_t> OrvaneRfidCommand::be16At(std::size_t at) const {
    if (data_.size() < 2 || at > data_.size() - 2) return std::nullopt;
    return readBe16(data_, at);
}

std::optional<uint32_t> OrvaneRfidCommand::be32At(std::size_t at) const {
    if (data_.size() < 4 || at > data_.size() - 4) return std::nullopt;
    return readBe32(data_, at);
}

}  // namespace orvane
