#include "orvanerfid/params/SettingClasses.h"

#include "orvanerfid/core/DeviceText.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/params/HexFields.h"

namespace orvane {

namespace {

// The case of E whose raw value is `raw`; refuses `text` otherwise.
template <TabledEnum E>
E caseOf(uint8_t raw, std::string_view owner, std::string_view text) {
    const auto value = fromRaw<E>(raw);
    if (!value)
        detail::refuseDeviceText(owner, text, "unknown " + std::string(EnumTable<E>::typeName));
    return *value;
}

}  // namespace

std::string FindDevice::toDeviceParameter() const {
    return hexfield::enumByte(mode) + hexfield::byte(timeout, "Find Device timeout");
}

FindDevice FindDevice::fromDeviceParameter(std::string_view text) {
    const Bytes b = detail::deviceTextBytes("FindDevice", text, 2);
    return FindDevice(caseOf<FindDeviceMode>(b[0], "FindDevice", text), b[1]);
}

std::string FindDevice::description() const {
    return "FindDeviceMode: " + std::string(orvane::description(mode)) +
           ", Timeout: " + std::to_string(timeout);
}

std::string TriggerKeyStatus::toDeviceParameter() const {
    return hexfield::enumByte(keyId) + hexfield::enumByte(keyFunction);
}

TriggerKeyStatus TriggerKeyStatus::fromDeviceParameter(std::string_view text) {
    const Bytes b = detail::deviceTextBytes("TriggerKeyStatus", text, 2);
    return TriggerKeyStatus(caseOf<KeyID>(b[0], "TriggerKeyStatus", text),
                            caseOf<KeyFunction>(b[1], "TriggerKeyStatus", text));
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

DisplayMessage DisplayMessage::fromDeviceParameter(std::string_view text) {
    const Bytes b = detail::deviceTextBytes("DisplayMessage", text, 17);
    const uint8_t flag = b[0];
    auto message = asciiText(ByteView(b).subspan(1));
    if (!message) {
        throw ReaderException(ResultCode::invalidParameter, "The message is not ASCII text");
    }
    return DisplayMessage(std::move(*message), flag & 0x0F, flag >> 6, (flag & 0x20) != 0);
}

std::string DisplayMessage::description() const {
    return "CharPosition: " + std::to_string(charPosition) +
           ", LinePosition: " + std::to_string(linePosition) +
           ", ClearScreen: " + (clearScreen ? "true" : "false") + ", Message: " + message;
}

std::string FindReplace::toDeviceParameter() const {
    return hexfield::byte(find, "Find") + hexfield::byte(replace, "Replace");
}

FindReplace FindReplace::fromDeviceParameter(std::string_view text) {
    const Bytes b = detail::deviceTextBytes("FindReplace", text, 2);
    return FindReplace(b[0], b[1]);
}

std::string FindReplace::description() const {
    return "Find: " + hexfield::byte(find, "Find") +
           ", Replace: " + hexfield::byte(replace, "Replace");
}

std::string EventNotification::toDeviceParameter() const {
    return hexfield::enumByte(id) + (enabled ? "01" : "00");
}

EventNotification EventNotification::fromDeviceParameter(std::string_view text) {
    const Bytes b = detail::deviceTextBytes("EventNotification", text, 2);
    return EventNotification(caseOf<EventNotificationId>(b[0], "EventNotification", text),
                             b[1] == 1);
}

}  // namespace orvane
