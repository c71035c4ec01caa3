// Feeds arbitrary device texts and reply bytes to the readers of the value records. The first
// byte picks the reader; the rest is the text or the bytes. A text that is accepted must write
// back to a text that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "orvanerfid/core/Battery.h"
#include "orvanerfid/core/Indicators.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/SettingValues.h"

#include "FuzzSupport.h"

namespace {

// Reads `text`, writes the value back and reads that again: both reads must agree.
template <typename Record>
void roundTrip(std::string_view text) {
    std::string written;
    try {
        written = Record::fromDeviceParameter(text).toDeviceParameter();
    } catch (const orvane::ReaderException&) {
        return;
    }
    if (Record::fromDeviceParameter(written).toDeviceParameter() != written) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvane;
    if (size == 0) return 0;
    const ByteView rest(data + 1, size - 1);
    const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
    switch (data[0] % 9) {
        case 0:
            roundTrip<DeviceIndicator>(text);
            break;
        case 1:
            roundTrip<ScannerIndicator>(text);
            break;
        case 2:
            roundTrip<BatteryStatus>(text);
            break;
        case 3:
            roundTrip<BatteryStatusExtended>(text);
            break;
        case 4:
            roundTrip<InventoryIndicator>(text);
            break;
        case 5:
            roundTrip<DataRange>(text);
            break;
        case 6:
            roundTrip<ScreenOffTime>(text);
            break;
        case 7:
            (void)ScannerIndicator::decode(rest);
            break;
        default: {
            // The low bits of the second byte select the types of an extended record.
            std::vector<BatteryStatusExtendedType> types;
            const uint32_t pick = rest.empty() ? 0 : rest[0] | uint32_t{rest[0]} << 5;
            for (BatteryStatusExtendedType type : allCases<BatteryStatusExtendedType>()) {
                if (pick & (rawValue(type) >> 19)) types.push_back(type);
            }
            const BatteryStatusExtended record(types, Bytes(rest.begin(), rest.end()));
            (void)record.description();
        }
    }
    return 0;
}
