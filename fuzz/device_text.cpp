// Feeds arbitrary text to the device-text reader of every reader setting: the first byte picks
// the setting, the rest is the text. A value that reads back is written again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/params/DeviceParam.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvane;
    if (size == 0) return 0;
    const auto id = fromRaw<DeviceParamId>(data[0] % 64);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    DeviceParam param(*id);
    const auto value = param.valueToAny(text);
    if (!value) return 0;
    try {
        (void)param.valueToString(*value);
    } catch (const ReaderException&) {
        // A value can be readable and still too wide to write back (User Data above 64 bytes).
    }
    return 0;
}
