#include "orvanerfid/core/SettingValues.h"

#include <cstdint>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceText.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

// Refuses a number that does not fit the reader's field instead of lengthening the text.
void requireFits(unsigned value, unsigned max, const char* owner, const char* field) {
    if (value <= max) return;
    throw ReaderException(ResultCode::outOfRange,
                          std::string(owner) + ".toDeviceParameter: " + field + " " +
                              std::to_string(value) + " above " + std::to_string(max));
}

}  // namespace

std::string InventoryIndicator::toDeviceParameter() const {
    return toHexString(Bytes{uint8_t{readOnce_}, uint8_t{beeper_}, uint8_t{vibrator_}});
}

InventoryIndicator InventoryIndicator::fromDeviceParameter(std::string_view text) {
    const Bytes flags = detail::deviceTextBytes("InventoryIndicator", text, 3);
    return InventoryIndicator(flags[0] == 1, flags[1] == 1, flags[2] == 1);
}

std::string DataRange::toDeviceParameter() const {
    requireFits(offset_, 0xFFFF, "DataRange", "offset");
    requireFits(length_, 0xFFFF, "DataRange", "length");
    Bytes bytes;
    appendBe16(bytes, static_cast<uint16_t>(offset_));
    appendBe16(bytes, static_cast<uint16_t>(length_));
    return toHexString(bytes);
}

DataRange DataRange::fromDeviceParameter(std::string_view text) {
    const Bytes bytes = detail::deviceTextBytes("DataRange", text, 4);
    return DataRange(readBe16(bytes, 0), readBe16(bytes, 2));
}

std::string DataRange::description() const {
    return "Offset: " + std::to_string(offset_) + ", Length: " + std::to_string(length_);
}

std::string ScreenOffTime::toDeviceParameter() const {
    requireFits(minutes_, 0xFF, "ScreenOffTime", "minutes");
    requireFits(seconds_, 0xFF, "ScreenOffTime", "seconds");
    return toHexString(Bytes{static_cast<uint8_t>(minutes_), static_cast<uint8_t>(seconds_)});
}

ScreenOffTime ScreenOffTime::fromDeviceParameter(std::string_view text) {
    const Bytes bytes = detail::deviceTextBytes("ScreenOffTime", text, 2);
    return ScreenOffTime(bytes[0], bytes[1]);
}

}  // namespace orvane
