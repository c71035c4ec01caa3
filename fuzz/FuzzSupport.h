#pragma once

// Shared set-up of the fuzz targets: the library's log lines are silenced once, before the
// first input, so that malformed input does not flood the output.

#include "orvanerfid/core/Logger.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    orvane::orvLogger::setLevel(orvane::LogLevel::fatal);
    return 0;
}
