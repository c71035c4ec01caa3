#include "orvanerfid/core/DeviceText.h"

#include <optional>
#include <string>

#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane::detail {

void refuseDeviceText(std::string_view owner, std::string_view text, std::string_view why) {
    std::string message(owner);
    message += ".fromDeviceParameter: invalid text \"";
    message += text;
    message += "\" (";
    message += why;
    message += ')';
    throw ReaderException(ResultCode::invalidResponseData, std::move(message));
}

Bytes deviceTextBytes(std::string_view owner, std::string_view text, std::size_t minBytes,
                      std::size_t maxBytes) {
    std::optional<Bytes> bytes = hexTextToData(text);
    if (!bytes) refuseDeviceText(owner, text, "not an even number of hex digits");
    if (bytes->size() < minBytes) refuseDeviceText(owner, text, "too short");
    if (bytes->size() > maxBytes) refuseDeviceText(owner, text, "too long");
    return std::move(*bytes);
}

}  // namespace orvane::detail
