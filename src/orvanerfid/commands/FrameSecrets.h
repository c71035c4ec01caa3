#pragma once

// The bytes of a frame that never reach the log: access and kill passwords, and the data
// written to or read from a tag's Reserved bank, which holds those passwords. Both wire forms
// are known here, the Vk210 command frame and the ST host packet of the Vk640. Every rule reads
// only bytes in front of those it marks, so it also applies to the head of a frame still
// arriving.
//
// Threads: the functions are pure; a FrameDumpMasker is used by one thread at a time (its
// AccessOutcomeBanks may be shared, and guards itself).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvanerfid/commands/OrvRfidCmdId.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/RadioEnums.h"

namespace orvane {

// Byte positions [begin, end) to keep out of the log.
struct SecretSpan {
    std::size_t begin;
    std::size_t end;
};
using SecretSpans = std::vector<SecretSpan>;

enum class FrameDirection : uint8_t { toReader, fromReader };

// Secrets of the data area of a Vk210 frame with code `id` (request or access outcome): the
// password that opens a tag command, the words of a Reserved-bank write, and the words of a
// read outcome unless `readBank` names the bank read and it is not Reserved (the outcome does
// not name its bank, so the words of a read of unknown bank count as secret).
SecretSpans vk210DataSecrets(OrvRfidCmdId id, ByteView data,
                             std::optional<BankType> readBank = std::nullopt);
// Secrets of a Vk210 frame or of its head, positions counted from the frame's STX; `readBank`
// as for vk210DataSecrets.
SecretSpans vk210FrameSecrets(ByteView frame, FrameDirection direction,
                              std::optional<BankType> readBank = std::nullopt);
// Secrets of an ST host packet or of its head: the password of a Gen2 read, write, lock or
// kill, and the data of a Reserved-bank read or write. Replies echo the request's layout.
SecretSpans stPacketSecrets(ByteView packet);

// The hex dump of `bytes` ("0xAB " per byte) with each byte inside `spans` shown as "0x** ".
std::string maskedHexDump(ByteView bytes, const SecretSpans& spans);

// The hex dump of the whole frames of one reader model in `bytes` (one write), secrets masked.
std::string maskedFrameDump(ByteView bytes, DeviceType model, FrameDirection direction);

// Where the bank of each Vk210 access outcome in a received stream is learnt (the outcome
// frame does not name it).
class AccessOutcomeBanks {
  public:
    virtual ~AccessOutcomeBanks() = default;
    // The bank of the next access outcome of the stream, the outcome of the access with command
    // code `access`, when it is sure. `take`: the outcome's frame is whole and is asked for the
    // last time; otherwise the head of a frame still arriving is judged, and asked again later.
    virtual std::optional<BankType> outcomeBank(uint16_t access, bool take) = 0;
};

// Dumps a received byte stream chunk by chunk with the secrets of its frames masked; the head of
// a frame that a chunk leaves unfinished is kept, so its rest is judged in the next chunk. Every
// chunk passes through it, also those not logged (`wanted` false: no text), so that it never
// loses its place in the stream, nor the pairing of the Vk210 access outcomes with their banks.
class FrameDumpMasker {
  public:
    FrameDumpMasker() = default;
    // `banks` names the bank of each Vk210 access outcome; without it every read outcome's
    // words are masked.
    explicit FrameDumpMasker(std::shared_ptr<AccessOutcomeBanks> banks)
        : banks_(std::move(banks)) {}

    std::string dump(ByteView chunk, DeviceType model, bool wanted = true);

  private:
    Bytes pending_;
    DeviceType model_ = DeviceType::unknown;
    std::shared_ptr<AccessOutcomeBanks> banks_;
};

}  // namespace orvane
