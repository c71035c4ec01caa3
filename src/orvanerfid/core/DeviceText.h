#pragma once

// Reading side of the device-parameter texts of the value classes: the upper-case hex text in
// which a reader setting travels. Internal; stateless, safe on any thread.

#include <cstddef>
#include <string_view>

#include "orvanerfid/core/Bytes.h"

namespace orvane::detail {

// Throws ReaderException 0x5003 "Invalid Response Data" naming the value class, the text and
// what is wrong with it.
[[noreturn]] void refuseDeviceText(std::string_view owner, std::string_view text,
                                   std::string_view why);

// The bytes written by `text`: an even number of hex digits (either letter case) giving at
// least `minBytes` and at most `maxBytes` bytes. Anything else is refused as above.
Bytes deviceTextBytes(std::string_view owner, std::string_view text, std::size_t minBytes,
                      std::size_t maxBytes);

// Text of exactly `size` bytes.
inline Bytes deviceTextBytes(std::string_view owner, std::string_view text, std::size_t size) {
    return deviceTextBytes(owner, text, size, size);
}

}  // namespace orvane::detail
