// Feeds arbitrary bytes to the Vk640 device as the joined replies of a multi-setting exchange:
// the read path decodes every packet it can into a parameter, the write path verifies them.
// The first byte picks the ids asked for (with or without the Auto Off Time List).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "orvanerfid/devices/Vk640Device.h"
#include "orvanerfid/link/EmulatorTransport.h"
#include "orvanerfid/link/Vk640Protocol.h"

namespace {

using namespace orvane;

class OpenDevice : public Vk640Device {
  public:
    using Vk640Device::responseDataToDeviceParam;
    using Vk640Device::verifySetResult;
    using Vk640Device::Vk640Device;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const auto device = std::make_shared<OpenDevice>(
        std::make_shared<Vk640Protocol>(std::make_shared<EmulatorTransport>()));
    std::vector<DeviceParamId> ids{DeviceParamId::beeperVolume};
    if (data[0] & 1) ids.push_back(DeviceParamId::autoOffTimeList);
    const ByteView replies(data + 1, size - 1);
    for (const auto& param : device->responseDataToDeviceParam(replies, ids)) {
        (void)param.getValue();
    }
    try {
        device->verifySetResult(replies);
    } catch (const CodedError&) {
    }
    return 0;
}
