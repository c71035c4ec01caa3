#pragma once

// Small checks the radio-module drivers share: a reply value that must be there, a caller value
// that must fit its field, and the command layer's twin of an API enumeration.

#include <optional>
#include <string>
#include <utility>

#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane::module {

// The value of a reply accessor; 0x5000 when the reply was too short to hold it.
template <typename T>
T need(std::optional<T> value) {
    if (!value) throw ReaderException(ResultCode::invalidResponse, "The reply is too short.");
    return std::move(*value);
}

// 0x4003 with `message` unless `inRange`.
inline void requireRange(bool inRange, const std::string& message) {
    if (!inRange) throw ReaderException(ResultCode::outOfRange, message);
}

// The enumeration `To` with the raw value of `value`; a value outside it (reachable only through
// a cast) is refused with 0x5002.
template <TabledEnum To, TabledEnum From>
To sameRaw(From value) {
    const auto converted = fromRaw<To>(rawValue(value));
    if (!converted) throw ReaderException(ResultCode::invalidParameter, "Unknown option value.");
    return *converted;
}

}  // namespace orvane::module
