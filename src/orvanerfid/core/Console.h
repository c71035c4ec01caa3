#pragma once

#include <string_view>

namespace orvane {

// Writes one line to standard error. Lines from concurrent writers never interleave.
void consoleWriteLine(std::string_view line);

}  // namespace orvane
