// Feeds arbitrary bytes as the joined replies of a Vk210 multi-setting exchange: every frame is
// decoded into a record for the ids asked, and the same bytes are verified as write replies.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/devices/Vk210MultiSetting.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvane;
    const ByteView replies(data, size);
    static const std::vector<DeviceParamId> everyId = [] {
        const auto all = allCases<DeviceParamId>();
        return std::vector<DeviceParamId>(all.begin(), all.end());
    }();
    for (const DeviceParam& record : vk210::responseDataToDeviceParam(replies, everyId)) {
        // A record holds a device text of its own id.
        if (!record.getValue()) __builtin_trap();
    }
    try {
        vk210::verifySetResult(replies);
    } catch (const ReaderException&) {
        // A reply that does not parse or reports a failure.
    }
    return 0;
}
