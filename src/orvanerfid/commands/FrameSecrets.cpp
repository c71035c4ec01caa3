#include "orvanerfid/commands/FrameSecrets.h"

#include <algorithm>

#include "orvanerfid/commands/FrameCut.h"
#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/RadioEnums.h"

namespace orvane {
namespace {

constexpr uint8_t kReservedBank = rawValue(BankType::reserved);
constexpr uint8_t kStReservedBank = rawValue(STUHFL_D_GEN2_MEMORY_BANK::RESERVED);

// Adds [begin, end) shifted by `offset`, clipped to `size` bytes; empty spans are left out.
void add(SecretSpans& spans, std::size_t offset, std::size_t begin, std::size_t end,
         std::size_t size) {
    begin = std::min(begin + offset, size);
    end = std::min(end + offset, size);
    if (begin < end) spans.push_back({begin, end});
}

FrameCut cutFor(DeviceType model, ByteView head) {
    return model == DeviceType::vk210 ? OrvaneRfidCommand::cutFrame(head)
                                      : STPacket::cutPacket(head);
}

// The end of the data area of a Vk210 frame or of its head: before the checksum (2) and ETX
// (1) of the length the frame declares, at most the bytes there are.
std::size_t vk210DataEnd(ByteView frame) {
    if (frame.size() < 3) return 0;
    const std::size_t declared = std::size_t{readBe16(frame, 1)} + 4;
    return std::min(frame.size(), declared > 3 ? declared - 3 : 0);
}

// The access code of a Vk210 access outcome frame or of its head, once its data area shows it.
std::optional<uint16_t> outcomeAccess(ByteView frame) {
    constexpr std::size_t kDataAt = OrvaneRfidCommand::kHeaderSize;
    if (vk210DataEnd(frame) < kDataAt + 2 ||
        readBe16(frame, 3) != rawValue(OrvRfidCmdId::tagAccessData)) {
        return std::nullopt;
    }
    return readBe16(frame, kDataAt);
}

SecretSpans secretsFor(DeviceType model, ByteView frame, FrameDirection direction,
                       std::optional<BankType> readBank) {
    return model == DeviceType::vk210 ? vk210FrameSecrets(frame, direction, readBank)
                                      : stPacketSecrets(frame);
}

// Marks the secrets of every frame in `bytes` (a cut head is judged as far as it goes) and
// returns where the unfinished head starts (`bytes.size()` when none is left). `banks` is
// asked for the bank of every Vk210 access outcome received, also when nothing is marked, and
// told once per whole outcome frame.
std::size_t markFrames(ByteView bytes, DeviceType model, FrameDirection direction,
                       std::vector<bool>* secret, AccessOutcomeBanks* banks = nullptr) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ByteView head = bytes.subspan(at);
        const FrameCut cut = cutFor(model, head);
        if (cut.status == FrameCutStatus::invalid) {
            ++at;
            continue;
        }
        const bool whole = cut.status == FrameCutStatus::complete;
        const ByteView frame = whole ? head.first(cut.length) : head;
        std::optional<BankType> readBank;
        if (banks != nullptr && model == DeviceType::vk210 &&
            direction == FrameDirection::fromReader && (whole || secret != nullptr)) {
            if (const auto access = outcomeAccess(frame)) {
                readBank = banks->outcomeBank(*access, whole);
            }
        }
        if (secret != nullptr) {
            for (const SecretSpan& span : secretsFor(model, frame, direction, readBank)) {
                std::fill(secret->begin() + static_cast<std::ptrdiff_t>(at + span.begin),
                          secret->begin() + static_cast<std::ptrdiff_t>(at + span.end), true);
            }
        }
        if (!whole) return at;
        at += cut.length;
    }
    return bytes.size();
}

std::string dumpMarked(ByteView bytes, const std::vector<bool>& secret, std::size_t from) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve((bytes.size() - from) * 5);
    for (std::size_t i = from; i < bytes.size(); ++i) {
        text += "0x";
        if (secret[i]) {
            text += "**";
        } else {
            text += kDigits[bytes[i] >> 4];
            text += kDigits[bytes[i] & 0x0F];
        }
        text += ' ';
    }
    return text;
}

bool knownModel(DeviceType model) {
    return model == DeviceType::vk210 || model == DeviceType::vk640;
}

}  // namespace

SecretSpans vk210DataSecrets(OrvRfidCmdId id, ByteView data, std::optional<BankType> readBank) {
    SecretSpans spans;
    const std::size_t size = data.size();
    add(spans, 0, 0, OrvaneRfidCommand::secretPrefixLength(id), size);
    // A write: password (4), bank (1), address (2), word count (1), words.
    if ((id == OrvRfidCmdId::write || id == OrvRfidCmdId::blockWrite) && size > 4 &&
        data[4] == kReservedBank) {
        add(spans, 0, 8, size, size);
    }
    // An access outcome: the access's command code (2), result (1), data. A read's words are
    // shown only for a bank known not to be Reserved.
    const bool shownBank = readBank && *readBank != BankType::reserved && isKnown(*readBank);
    if (id == OrvRfidCmdId::tagAccessData && size >= 2 &&
        readBe16(data, 0) == rawValue(OrvRfidCmdId::read) && !shownBank) {
        add(spans, 0, 3, size, size);
    }
    return spans;
}

SecretSpans vk210FrameSecrets(ByteView frame, FrameDirection direction,
                              std::optional<BankType> readBank) {
    constexpr std::size_t kDataAt = OrvaneRfidCommand::kHeaderSize;
    if (frame.size() <= kDataAt) return {};
    const auto id = fromRaw<OrvRfidCmdId>(readBe16(frame, 3));
    if (!id) return {};
    // Replies of the reader open their data with a status byte and carry no secret; its
    // unprompted frames (status-less) do.
    if (direction == FrameDirection::fromReader && !isStatusLess(*id)) return {};
    const std::size_t dataEnd = vk210DataEnd(frame);
    if (dataEnd <= kDataAt) return {};
    SecretSpans spans;
    for (const SecretSpan& span :
         vk210DataSecrets(*id, frame.subspan(kDataAt, dataEnd - kDataAt), readBank)) {
        add(spans, kDataAt, span.begin, span.end, frame.size());
    }
    return spans;
}

SecretSpans stPacketSecrets(ByteView packet) {
    // Header (10), then one TLV: tag (1), length (1), value.
    constexpr std::size_t kValueAt = STPacket::kHeaderSize + 2;
    if (packet.size() <= kValueAt || packet[6] != rawValue(STUHFL_CG::sl)) return {};
    const std::size_t size =
        std::min(packet.size(), std::size_t{readBe16(packet, 8)} + STPacket::kHeaderSize);
    const auto bankAt = [&](std::size_t at) {
        return kValueAt + at < size && packet[kValueAt + at] == kStReservedBank;
    };
    SecretSpans spans;
    const std::size_t end = size - kValueAt;
    switch (packet[7]) {
        case STUHFL_T_Gen2_Read::kTag:
            // word pointer (4), bank (1), byte count (1), password (4), bytes read (1), data
            add(spans, kValueAt, 6, 10, size);
            if (bankAt(4)) add(spans, kValueAt, 11, end, size);
            break;
        case STUHFL_T_Gen2_Write::kTag:
            // word pointer (4), bank (1), password (4), data (2), tag reply (1)
            add(spans, kValueAt, 5, 9, size);
            if (bankAt(4)) add(spans, kValueAt, 9, 11, size);
            break;
        case STUHFL_T_Gen2_Lock::kTag:
            // mask (3), password (4), tag reply (1)
            add(spans, kValueAt, 3, 7, size);
            break;
        case STUHFL_T_Gen2_Kill::kTag:
            // password (4), recommission (1), tag reply (1)
            add(spans, kValueAt, 0, 4, size);
            break;
        default:
            break;
    }
    return spans;
}

std::string maskedHexDump(ByteView bytes, const SecretSpans& spans) {
    std::vector<bool> secret(bytes.size(), false);
    for (const SecretSpan& span : spans) {
        const std::size_t end = std::min(span.end, bytes.size());
        for (std::size_t i = span.begin; i < end; ++i)
            secret[i] = true;
    }
    return dumpMarked(bytes, secret, 0);
}

std::string maskedFrameDump(ByteView bytes, DeviceType model, FrameDirection direction) {
    std::vector<bool> secret(bytes.size(), false);
    if (knownModel(model)) markFrames(bytes, model, direction, &secret);
    return dumpMarked(bytes, secret, 0);
}

std::string FrameDumpMasker::dump(ByteView chunk, DeviceType model, bool wanted) {
    if (model != model_ || !knownModel(model)) pending_.clear();
    model_ = model;
    const std::size_t carried = pending_.size();
    Bytes bytes = std::move(pending_);
    bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    std::vector<bool> secret(wanted ? bytes.size() : 0, false);
    std::size_t rest = bytes.size();
    if (knownModel(model)) {
        rest = markFrames(bytes, model, FrameDirection::fromReader, wanted ? &secret : nullptr,
                          banks_.get());
    }
    pending_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(rest), bytes.end());
    return wanted ? dumpMarked(bytes, secret, carried) : std::string();
}

}  // namespace orvane
