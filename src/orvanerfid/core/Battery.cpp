#include "orvanerfid/core/Battery.h"

#include <algorithm>
#include <optional>
#include <type_traits>

#include "orvanerfid/core/DeviceText.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

// Reads the front of `rest` into one field and drops what it read. A number needs four
// big-endian bytes; with fewer, the field keeps its default and the walk ends there, so the
// truncated number's bytes are never read as the next field.
std::optional<uint32_t> takeBe32(ByteView& rest) {
    if (rest.size() < 4) {
        rest = {};
        return std::nullopt;
    }
    const uint32_t value = readBe32(rest, 0);
    rest = rest.subspan(4);
    return value;
}

// Each take reads one field and tells whether the reader sent a value for it.
bool take(ByteView& rest, uint32_t& field) {
    const auto value = takeBe32(rest);
    if (value) field = *value;
    return value.has_value();
}

bool take(ByteView& rest, int32_t& field) {
    const auto value = takeBe32(rest);
    if (value) field = static_cast<int32_t>(*value);
    return value.has_value();
}

bool take(ByteView& rest, ChargingStatus& field) {
    // 0 and 1 name their case; every larger number reads as a charging error.
    const auto value = takeBe32(rest);
    if (value) field = fromRaw<ChargingStatus>(*value).value_or(ChargingStatus::chargingError);
    return value.has_value();
}

// A text ends at its zero byte, which is dropped with it; a text without one takes the rest.
// Text that is not UTF-8 reads as empty and is no value.
bool take(ByteView& rest, std::string& field) {
    if (rest.empty()) return false;
    const auto end = std::ranges::find(rest, uint8_t{0});
    const ByteView text(rest.begin(), end);
    const bool valid = isValidUtf8(text);
    field = valid ? std::string(text.begin(), text.end()) : std::string();
    rest = rest.subspan(end == rest.end() ? rest.size() : text.size() + 1);
    return valid;
}

template <typename T>
std::string valueText(const T& field) {
    if constexpr (std::is_same_v<T, std::string>) {
        return field;
    } else if constexpr (std::is_same_v<T, ChargingStatus>) {
        return std::string(orvane::description(field));
    } else {
        return std::to_string(field);
    }
}

}  // namespace

// ---- BatteryStatus

bool BatteryStatus::reported(BatteryStatusId id) const {
    return std::ranges::find(batteryStatusId_, id) != batteryStatusId_.end();
}

std::string BatteryStatus::toDeviceParameter() const {
    Bytes groups;
    if (reported(BatteryStatusId::percentage)) groups.insert(groups.end(), {0x00, percentage_});
    if (reported(BatteryStatusId::state)) groups.insert(groups.end(), {0x02, rawValue(state_)});
    if (reported(BatteryStatusId::charging))
        groups.insert(groups.end(), {0x01, uint8_t{charging_}});
    return toHexString(groups);
}

BatteryStatus BatteryStatus::fromDeviceParameter(std::string_view text) {
    constexpr std::string_view owner = "BatteryStatus";
    const Bytes bytes = detail::deviceTextBytes(owner, text, 0, SIZE_MAX);
    if (bytes.size() % 2 != 0) detail::refuseDeviceText(owner, text, "length not a multiple of 4");
    BatteryStatus status;
    for (std::size_t at = 0; at < bytes.size(); at += 2) {
        const std::optional<BatteryStatusId> id = fromRaw<BatteryStatusId>(bytes[at]);
        if (!id) detail::refuseDeviceText(owner, text, "id above 2");
        const uint8_t value = bytes[at + 1];
        switch (*id) {
            case BatteryStatusId::percentage:
                status.percentage_ = value;
                break;
            case BatteryStatusId::charging:
                status.charging_ = value == 1;
                break;
            case BatteryStatusId::state: {
                const std::optional<BatteryState> state = fromRaw<BatteryState>(value);
                if (!state) detail::refuseDeviceText(owner, text, "unknown battery state");
                status.state_ = *state;
                break;
            }
        }
        status.batteryStatusId_.push_back(*id);
    }
    return status;
}

std::string BatteryStatus::description() const {
    if (batteryStatusId_.empty()) return "BatteryStatus: Unknown";
    std::string text;
    if (reported(BatteryStatusId::percentage)) text += std::to_string(percentage_) + "%, ";
    if (reported(BatteryStatusId::charging)) text += charging_ ? "Charging" : "Not Charging";
    if (reported(BatteryStatusId::state)) text += orvane::description(state_);
    return text;
}

// ---- BatteryStatusExtended

BatteryStatusExtended::BatteryStatusExtended(std::vector<BatteryStatusExtendedType> types)
    : types_(std::move(types)) {}

BatteryStatusExtended::BatteryStatusExtended(std::vector<BatteryStatusExtendedType> types,
                                             Bytes rawData)
    : types_(std::move(types)), rawData_(std::move(rawData)) {
    parseData(rawData_);
}

template <typename Self, typename Visit>
void BatteryStatusExtended::visitFields(Self& self, Visit&& visit) {
    using T = BatteryStatusExtendedType;
    visit(T::chargingStatus, "", self.chargingStatus_);
    visit(T::voltage, " mV", self.voltage_);
    visit(T::current, " mA", self.current_);
    visit(T::percentage, "%", self.percentage_);
    visit(T::health, "%", self.health_);
    visit(T::temperature, "\u00B0K", self.temperature_);
    visit(T::modelNumber, "", self.modelNumber_);
    visit(T::manufactureDate, "", self.manufactureDate_);
    visit(T::fullChargeCapacity, " mAh", self.fullChargeCapacity_);
    visit(T::cycleCount, "", self.cycleCount_);
    visit(T::serialNumber, "", self.serialNumber_);
    visit(T::remainingCapacity, " mAh", self.remainingCapacity_);
    visit(T::designCapacity, " mAh", self.designCapacity_);
}

bool BatteryStatusExtended::selected(BatteryStatusExtendedType type) const {
    return std::ranges::find(types_, type) != types_.end();
}

void BatteryStatusExtended::parseData(ByteView data) {
    ByteView rest = data;
    filled_ = 0;
    visitFields(*this,
                [this, &rest](BatteryStatusExtendedType type, std::string_view, auto& field) {
                    if (selected(type) && take(rest, field)) filled_ |= rawValue(type);
                });
}

std::string BatteryStatusExtended::toDeviceParameter() const {
    uint32_t flags = 0;
    for (BatteryStatusExtendedType type : types_)
        flags |= rawValue(type);
    Bytes bytes;
    bytes.reserve(4 + rawData_.size());
    appendBe32(bytes, flags);
    bytes.insert(bytes.end(), rawData_.begin(), rawData_.end());
    return toHexString(bytes);
}

BatteryStatusExtended BatteryStatusExtended::fromDeviceParameter(std::string_view text) {
    Bytes bytes = detail::deviceTextBytes("BatteryStatusExtended", text, 4, SIZE_MAX);
    const uint32_t flags = readBe32(bytes, 0);
    std::vector<BatteryStatusExtendedType> types;
    for (BatteryStatusExtendedType type : allCases<BatteryStatusExtendedType>()) {
        if (flags & rawValue(type)) types.push_back(type);
    }
    bytes.erase(bytes.begin(), bytes.begin() + 4);
    return BatteryStatusExtended(std::move(types), std::move(bytes));
}

std::string BatteryStatusExtended::description() const {
    std::string text;
    visitFields(*this, [this, &text](BatteryStatusExtendedType type, std::string_view unit,
                                     const auto& field) {
        if (!selected(type)) return;
        text += orvane::description(type);
        text += ": ";
        text += valueText(field);
        text += unit;
        text += '\n';
    });
    return text;
}

}  // namespace orvane
