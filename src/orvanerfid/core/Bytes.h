#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvane {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

// Fixed-width reads and writes. Callers check the length first; these never bounds-check.
constexpr uint16_t readBe16(ByteView b, std::size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}
constexpr uint32_t readBe32(ByteView b, std::size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           uint32_t{b[at + 3]};
}
constexpr uint16_t readLe16(ByteView b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
constexpr uint32_t readLe32(ByteView b, std::size_t at) {
    return uint32_t{b[at]} | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) |
           (uint32_t{b[at + 3]} << 24);
}

inline void appendBe16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
inline void appendBe32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}
inline void appendLe16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void appendLe32(Bytes& out, uint32_t v) {
    for (int shift = 0; shift <= 24; shift += 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

}  // namespace orvane
