#pragma once

// Small checks the radio-module drivers share: a reply value that must be there, the argument
// rule for caller values, and the command layer's twin of an API enumeration.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/RadioEnums.h"
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

// ---- The argument rule of every driver, applied before anything is sent: a number or a case
// outside what the module takes is 0x4003, a memory bank that is none or data that is empty is
// 0x5002.

// 0x4003 unless `value` is a case of its enumeration (a cast can make any raw value); a flag
// is always valid.
template <typename T>
void requireCase(const T& value, std::string_view what) {
    if constexpr (TabledEnum<T>) {
        requireRange(fromRaw<T>(rawValue(value)).has_value(),
                     "The " + std::string(what) + " is out of range.");
    } else {
        (void)value;
        (void)what;
    }
}

// 0x4003 unless `power` (dBm) lies in `min`..`max`; checked before any arithmetic on it.
inline void requirePower(int power, int min, int max) {
    requireRange(power >= min && power <= max, "The power is out of range (" + std::to_string(min) +
                                                   " - " + std::to_string(max) + ").");
}

// 0x5002 unless `bank` is one of the four Gen2 memory banks.
inline void requireBank(BankType bank) {
    if (!fromRaw<BankType>(rawValue(bank))) {
        throw ReaderException(ResultCode::invalidParameter, "The memory bank is invalid.");
    }
}

// 0x5002 for empty write data.
inline void requireData(std::string_view data) {
    if (data.empty()) throw ReaderException(ResultCode::invalidParameter, "The data is empty.");
}

// The UHF RFID band in kHz, and the most frequencies one request carries (a count byte).
inline constexpr uint32_t kLowestFrequency = 840000;
inline constexpr uint32_t kHighestFrequency = 960000;
inline constexpr std::size_t kMaxFrequencies = 255;

// 0x4003 for an empty list, one longer than a request carries, or a frequency outside the band.
inline void requireFrequencies(const std::vector<uint32_t>& frequencies) {
    requireRange(!frequencies.empty() && frequencies.size() <= kMaxFrequencies,
                 "The number of frequencies is out of range (1 - 255).");
    for (const uint32_t frequency : frequencies) {
        requireRange(frequency >= kLowestFrequency && frequency <= kHighestFrequency,
                     "The frequency " + std::to_string(frequency) +
                         " is out of range (840000 - 960000 kHz).");
    }
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
