#include "orvanerfid/core/Indicators.h"

#include <algorithm>
#include <type_traits>

#include "orvanerfid/core/DeviceText.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

constexpr uint8_t kVibratingBit = 0x08;

// The bits a bit-in-place enumeration occupies: the OR of its raw values.
template <TabledEnum E>
constexpr uint8_t fieldMask() {
    uint8_t mask = 0;
    for (E value : allCases<E>())
        mask |= rawValue(value);
    return mask;
}

}  // namespace

std::string DeviceIndicator::toDeviceParameter() const {
    const uint8_t byte = rawValue(led_) | (vibrating_ ? kVibratingBit : 0) | rawValue(beep_);
    return toHexString(Bytes{byte});
}

DeviceIndicator DeviceIndicator::fromDeviceParameter(std::string_view text) {
    const uint8_t byte = detail::deviceTextBytes("DeviceIndicator", text, 1)[0];
    // Three-bit codes: 4-7 name no LED colour or beep pattern.
    const auto led = fromRaw<LedIndicator>(byte & 0x70);
    const auto beep = fromRaw<BeepIndicator>(byte & 0x07);
    if (!led) detail::refuseDeviceText("DeviceIndicator", text, "LED code above 3");
    if (!beep) detail::refuseDeviceText("DeviceIndicator", text, "beep code above 3");
    return DeviceIndicator(*led, (byte & kVibratingBit) != 0, *beep);
}

template <typename Self, typename Visit>
void ScannerIndicator::visitFields(Self& self, Visit&& visit) {
    visit("goodRead", "GoodRead", 1, self.goodRead_);
    visit("connection", "Connection", 1, self.connection_);
    visit("setting", "Setting", 1, self.setting_);
    visit("error", "Error", 1, self.error_);
    visit("powerOn", "PowerOn", 0, self.powerOn_);
    visit("powerOff", "PowerOff", 0, self.powerOff_);
}

ScannerIndicator::ScannerIndicator(const CodedForm& from) {
    visitFields(*this, [&from](std::string_view key, std::string_view, int, auto& field) {
        using E = std::remove_reference_t<decltype(field)>;
        const auto entry = std::ranges::find(from, key, &CodedForm::value_type::first);
        if (entry == from.end()) {
            throw ReaderException(
                ResultCode::invalidResponseData,
                "ScannerIndicator: no value for key \"" + std::string(key) + "\"");
        }
        const std::optional<E> value = fromRaw<E>(entry->second);
        if (!value) {
            throw ReaderException(ResultCode::invalidResponseData,
                                  "ScannerIndicator: data corrupted at key \"" + std::string(key) +
                                      "\": " + std::to_string(entry->second));
        }
        field = *value;
    });
}

Bytes ScannerIndicator::encode() const {
    Bytes bytes(2, 0);
    visitFields(*this, [&bytes](std::string_view, std::string_view, int byte, auto field) {
        bytes[byte] |= rawValue(field);
    });
    return bytes;
}

void ScannerIndicator::encode(CodedForm& to) const {
    visitFields(*this, [&to](std::string_view key, std::string_view, int, auto field) {
        to.emplace_back(std::string(key), rawValue(field));
    });
}

std::string ScannerIndicator::toDeviceParameter() const {
    return toHexString(encode());
}

std::optional<ScannerIndicator> ScannerIndicator::decode(ByteView data) {
    if (data.size() < 2) {
        orvLogger::error("Invalid data length for ScannerIndicator");
        return std::nullopt;
    }
    ScannerIndicator indicator;
    visitFields(indicator, [data](std::string_view, std::string_view, int byte, auto& field) {
        using E = std::remove_reference_t<decltype(field)>;
        // Every masked two-bit field is a listed raw value.
        field = *fromRaw<E>(data[byte] & fieldMask<E>());
    });
    return indicator;
}

ScannerIndicator ScannerIndicator::fromDeviceParameter(std::string_view text) {
    const Bytes bytes = detail::deviceTextBytes("ScannerIndicator", text, 2, SIZE_MAX);
    return *decode(bytes);
}

std::string ScannerIndicator::description() const {
    std::string text;
    visitFields(*this, [&text](std::string_view, std::string_view label, int, auto field) {
        if (!text.empty()) text += ", ";
        text += label;
        text += ": ";
        text += orvane::description(field);
    });
    return text;
}

}  // namespace orvane
