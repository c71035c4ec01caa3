#pragma once

// The bytes of a frame that never reach the log: access and kill passwords, and the data
// written to or read from a tag's Reserved bank, which holds those passwords. Both wire forms
// are known here, the Vk210 command frame and the ST host packet of the Vk640. Every rule reads
// only bytes in front of those it marks, so it also applies to the head of a frame still
// arriving.
//
// Threads: the functions are pure; a FrameDumpMasker is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "orvanerfid/commands/OrvRfidCmdId.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"

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
// read outcome (the outcome does not name its bank, so every read's words count).
SecretSpans vk210DataSecrets(OrvRfidCmdId id, ByteView data);
// Secrets of a Vk210 frame or of its head, positions counted from the frame's STX.
SecretSpans vk210FrameSecrets(ByteView frame, FrameDirection direction);
// Secrets of an ST host packet or of its head: the password of a Gen2 read, write, lock or
// kill, and the data of a Reserved-bank read or write. Replies echo the request's layout.
SecretSpans stPacketSecrets(ByteView packet);

// The hex dump of `bytes` ("0xAB " per byte) with each byte inside `spans` shown as "0x** ".
std::string maskedHexDump(ByteView bytes, const SecretSpans& spans);

// The hex dump of the whole frames of one reader model in `bytes` (one write), secrets masked.
std::string maskedFrameDump(ByteView bytes, DeviceType model, FrameDirection direction);

// Dumps a received byte stream chunk by chunk with the secrets of its frames masked; the head of
// a frame that a chunk leaves unfinished is kept, so its rest is judged in the next chunk. Every
// chunk passes through it, also those not logged (`wanted` false: no text), so that it never
// loses its place in the stream.
class FrameDumpMasker {
  public:
    std::string dump(ByteView chunk, DeviceType model, bool wanted = true);

  private:
    Bytes pending_;
    DeviceType model_ = DeviceType::unknown;
};

}  // namespace orvane
