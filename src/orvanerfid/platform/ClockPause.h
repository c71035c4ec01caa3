#pragma once

// Internal to the library and its tests, not part of the API.

#include "orvanerfid/Export.h"

namespace orvane {

// Test hook: `pause` (nullptr: none) runs inside every Clock::now(), on the reading thread,
// between its read of the real time and its read of the clock's course, so that a test can change
// the speed right there. It must not throw.
ORVANE_INTERNAL void setClockReadPause(void (*pause)());

}  // namespace orvane
