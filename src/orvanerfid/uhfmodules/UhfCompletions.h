#pragma once

// The completion forms of the radio operations, shared by the UHF object and its driver.

#include <functional>
#include <optional>

#include "orvanerfid/core/ResultCode.h"

namespace orvane {

using ResultCompletion = std::function<void(ResultCode)>;
// A getter's completion: the value is present exactly when the code is 0x0000.
template <typename T>
using ValueCompletion = std::function<void(ResultCode, std::optional<T>)>;

}  // namespace orvane
