#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Bytes.h"

namespace orvane {

// Hex and text forms of bytes. Stateless; safe on any thread.

// "%02X" per byte, no separator ("01AB"); empty for no bytes.
ORVANE_API std::string toHexString(ByteView bytes);
// "0x%02X " per byte: every byte, the last too, is followed by one blank.
ORVANE_API std::string toHexDumpString(ByteView bytes);
// The "%02X" text of each byte.
ORVANE_API std::vector<std::string> hexByteStrings(ByteView bytes);

// Bytes from hex text after removing blanks. Upper- and lower-case digits are accepted; text
// with a non-hex character or an odd digit count gives no value (never zero bytes).
ORVANE_API std::optional<Bytes> dataFromHexString(std::string_view hexString);
// Bytes from hex text taken as it is (no blank removal): an even count of hex digits, or no value.
ORVANE_API std::optional<Bytes> hexTextToData(std::string_view text);
// Either parser's result, or a ReaderException with 0x5002 "Invalid Parameter".
ORVANE_API Bytes requireHexText(std::string_view text);

// The bytes as ASCII text; no value when a byte is above 0x7F.
ORVANE_API std::optional<std::string> asciiText(ByteView bytes);
// The bytes as ASCII text, or "error when encode to ascii" when they are not ASCII.
ORVANE_API std::string asciiString(ByteView bytes);

// "yyyy-MM-dd HH:mm:ss" in the local time zone.
ORVANE_API std::string toDateTimeString(std::chrono::system_clock::time_point time);

class ORVANE_API Utilities {
  public:
    // The library's version text; prints "XCFramework Version: <version>" to standard output.
    static std::string getFrameworkVersion();
    // "1.2.3" -> 10203: each dot-separated part, stripped to its digits, times a power of 100.
    static uint32_t versionToUInt32(std::string_view version);
    // The 16-bit two's complement of the byte sum, high byte first; sum + checksum == 0 mod 65536.
    static std::vector<uint8_t> getCheckSum(ByteView data);
    static uint16_t checkSum16(ByteView data);
};

}  // namespace orvane
