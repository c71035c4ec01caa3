#pragma once

// Internal helpers for the parameter texts: fixed-width hex fields written with a range check,
// and strict reads that give no value for text that is not what the field holds.

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane::hexfield {

// ReaderException 0x4003 naming `what` when `value` is above `maxValue`.
inline void requireAtMost(uint64_t value, uint64_t maxValue, std::string_view what) {
    if (value > maxValue) {
        throw ReaderException(
            ResultCode::outOfRange,
            std::string(what) + " " + std::to_string(value) + " does not fit its field");
    }
}

// `value` as exactly `digits` (1 to 15) upper-case hex digits; 0x4003 when it needs more.
inline std::string write(uint64_t value, int digits, std::string_view what) {
    requireAtMost(value, (uint64_t{1} << (4 * digits)) - 1, what);
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = "0123456789ABCDEF"[value & 0xF];
    return text;
}

inline std::string byte(uint64_t value, std::string_view what) {
    return write(value, 2, what);
}

// The raw value of an enumeration case as two hex digits; a value outside its cases (reachable
// only through a cast) throws 0x4003.
template <TabledEnum E>
std::string enumByte(E value) {
    if (!isKnown(value)) {
        throw ReaderException(ResultCode::outOfRange, std::string(EnumTable<E>::typeName) + " " +
                                                          std::to_string(rawValue(value)) +
                                                          " is not a known value");
    }
    return write(static_cast<uint64_t>(rawValue(value)), 2, EnumTable<E>::typeName);
}

// The whole text as one hex number: one or more hex digits of either case, at most `maxValue`.
inline std::optional<uint64_t> read(std::string_view text, uint64_t maxValue) {
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size() || value > maxValue) {
        return std::nullopt;
    }
    return value;
}

// A fixed-width field of `digits` hex digits. Besides its own width, the two-digit form is read
// (the form the options of a range are listed in, for values below 256); any other width is
// refused, so "050" never reads as 0x50 nor "00500" as 0x500.
inline std::optional<uint64_t> readField(std::string_view text, int digits) {
    if (text.size() != static_cast<std::size_t>(digits) && text.size() != 2) return std::nullopt;
    return read(text, (uint64_t{1} << (4 * digits)) - 1);
}

// The case of E whose raw value is the text read as a two-digit field.
template <TabledEnum E>
std::optional<E> readEnum(std::string_view text) {
    const auto raw = readField(text, 2);
    if (!raw) return std::nullopt;
    return fromRaw<E>(*raw);
}

}  // namespace orvane::hexfield
