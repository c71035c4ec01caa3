#pragma once

// Internal: the device text form of each DeviceParamId, one table row per id.

#include <optional>
#include <string>
#include <string_view>

#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/params/DeviceValue.h"

namespace orvane::detail {

struct DeviceTextForm {
    // The device text of `value`; no value when `value` is not of the id's type. Throws
    // ReaderException 0x4003 for a value that the text cannot hold.
    std::optional<std::string> (*write)(const DeviceValue& value);
    // The value of a device text; no value for malformed text.
    std::optional<DeviceValue> (*read)(std::string_view text);
    // The id's default value.
    DeviceValue (*makeDefault)();
};

const DeviceTextForm& deviceTextForm(DeviceParamId id);

}  // namespace orvane::detail
