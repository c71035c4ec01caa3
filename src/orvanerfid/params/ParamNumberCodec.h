#pragma once

// The scan engines' parameter numbers on the wire: one to three bytes, told apart by the first.
// Internal to the library. Stateless: any thread, any number at once.

#include <cstddef>
#include <cstdint>

#include "orvanerfid/core/Bytes.h"

namespace orvane {

class ParamNumberCodec {
  public:
    // 0-239 as one byte; 256-495, 512-751 and 768-1007 as 0xF0, 0xF1 or 0xF2 and the offset from
    // 256, 512 or 768; 1024-65535 as 0xF8 and the number high byte first. Any other number has no
    // wire form: ReaderException 0x5002 "Unknown parameter number - <number>".
    static Bytes encode(int64_t number);
    static void append(Bytes& out, int64_t number);

    // The byte count (1, 2 or 3) of the number whose first byte is `first`.
    static std::size_t length(uint8_t first) noexcept;

    // The number written at `at`. An index outside `bytes`, or a number whose announced bytes run
    // past the end, throws ReaderException 0x5003 "Invalid data length".
    static int64_t decode(ByteView bytes, std::size_t at);
};

}  // namespace orvane
