#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace orvane::localdatetime {

// The reader's clock as six bytes in the host's local time zone: year - 2000, month (1-12), day,
// hour, minute, second. Shared by the binary command fields, the ST packets and the device text
// form (which writes the same six bytes as hex).
using Fields = std::array<uint8_t, 6>;
using TimePoint = std::chrono::system_clock::time_point;

// The six fields of `t`, or nothing when its local year lies outside 2000-2255; `year` receives
// the local year either way, for the caller's message.
std::optional<Fields> encode(TimePoint t, int& year);

// The moment the six fields name, or nothing when they name no date and time (month 13, Feb 30,
// hour 24). The fields are checked before mktime, which would otherwise normalise them.
std::optional<TimePoint> decode(const Fields& f);

}  // namespace orvane::localdatetime
