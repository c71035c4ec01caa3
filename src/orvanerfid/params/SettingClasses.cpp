#include "orvanerfid/params/SettingClasses.h"

#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/params/HexFields.h"

namespace orvane {

std::string FindDevice::toDeviceParameter() const {
    return hexfield::enumByte(mode) + hexfield::byte(timeout, "Find Device timeout");
}

std::string FindDevice::description() const {
    return "FindDeviceMode: " + std::string(orvane::description(mode)) +
           ", Timeout: " + std::to_string(timeout);
}

std::string TriggerKeyStatus::toDeviceParameter() const {
    return hexfield::enumByte(keyId) + hexfield::enumByte(keyFunction);
}

std::string TriggerKeyStatus::description() const {
    return "Key ID: " + std::string(orvane::description(keyId)) +
           ", Key Function: " + std::string(orvane::description(keyFunction));
}

std::string DisplayMessage::toDeviceParameter() const {
    constexpr std::size_t kMessageDigits = 32;
    hexfield::requireAtMost(charPosition, 15, "Display Message character position");
    hexfield::requireAtMost(linePosition, 3, "Display Message line position");
    const unsigned flag = charPosition | (clearScreen ? 0x20u : 0u) | (linePosition << 6u);
    std::string text =
        toHexString(ByteView(reinterpret_cast<const uint8_t*>(message.data()), message.size()));
    text.resize(kMessageDigits, '0');
    return hexfield::byte(flag, "Display Message flags") + text;
}

std::string DisplayMessage::description() const {
    return "CharPosition: " + std::to_string(charPosition) +
           ", LinePosition: " + std::to_string(linePosition) +
           ", ClearScreen: " + (clearScreen ? "true" : "false") + ", Message: " + message;
}

std::string FindReplace::toDeviceParameter() const {
    return hexfield::byte(find, "Find") + hexfield::byte(replace, "Replace");
}

std::string FindReplace::description() const {
    return "Find: " + hexfield::byte(find, "Find") +
           ", Replace: " + hexfield::byte(replace, "Replace");
}

std::string EventNotification::toDeviceParameter() const {
    return hexfield::enumByte(id) + (enabled ? "01" : "00");
}

}  // namespace orvane
