#pragma once

// The lowest and highest output power that a reader's radio module accepts.

#include <cstdint>
#include <string>

#include "orvanerfid/Export.h"

namespace orvane {

// A plain value: both numbers are stored as given, min above max included.
class ORVANE_API PowerRange {
  public:
    PowerRange(int64_t min, int64_t max) : min(min), max(max) {}

    int64_t min;
    int64_t max;

    // "<min> - <max>", for example "11 - 27".
    std::string description() const { return std::to_string(min) + " - " + std::to_string(max); }

    bool operator==(const PowerRange&) const = default;
};

}  // namespace orvane
