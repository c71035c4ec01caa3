#include "orvanerfid/commands/SledCommands.h"

namespace orvane {
namespace {

enum class ItemForm { number, text };

#define ORV_ITEM_FORM_(name, raw, text, form) ItemForm::form,
constexpr ItemForm kItemForms[] = {ORV_RFID_CMD_BATTERY_STATUS_EXTENDED_TYPE(ORV_ITEM_FORM_)};
#undef ORV_ITEM_FORM_

constexpr std::size_t itemIndex(OrvRfidCmdBatteryStatusExtendedType type) {
    return static_cast<std::size_t>(
        detail::findEntry<OrvRfidCmdBatteryStatusExtendedType>(rawValue(type)));
}

}  // namespace

std::optional<BatteryState> OrvRfidCmd_BatteryStatus::state() const {
    if (data_.size() != 1) return std::nullopt;
    return fields::EnumByteOr<BatteryState, BatteryState::unknown>::read(data_, 0);
}

std::optional<bool> OrvRfidCmd_BatteryStatus::charging() const {
    if (data_.size() != 2) return std::nullopt;
    return (data_[0] & 0x01) != 0;
}

std::optional<uint8_t> OrvRfidCmd_BatteryStatus::percentage() const {
    if (data_.size() != 2) return std::nullopt;
    return data_[1];
}

std::string OrvRfidCmd_BatteryStatus::description() const {
    std::string text = "BatteryStatus: ";
    if (const auto state = this->state()) {
        text += orvane::description(*state);
    } else if (const auto charging = this->charging()) {
        text += *charging ? "Charging " : "Not Charging ";
        text += std::to_string(*percentage()) + "%";
    } else {
        text += "Unknown";
    }
    return text;
}

void OrvRfidCmd_BatteryStatusExtended::buildData() {
    uint32_t mask = 0;
    for (Type t : types)
        mask |= rawValue(t);
    data_.clear();
    appendBe32(data_, mask);
}

void OrvRfidCmd_BatteryStatusExtended::parseReceived() {
    if (data_.size() < 4) return;
    const uint32_t mask = readBe32(data_, 0);
    data_.erase(data_.begin(), data_.begin() + 4);
    types.clear();
    ByteView rest(data_);
    for (std::size_t i = 0; i < kItems; ++i) {
        const Type type = EnumTable<Type>::entries[i].value;
        if ((mask & rawValue(type)) == 0) continue;
        types.push_back(type);
        if (kItemForms[i] == ItemForm::text) {
            std::size_t end = 0;
            while (end < rest.size() && rest[end] != 0x00)
                ++end;
            // A text without its end byte leaves nothing sound to read after it.
            if (end == rest.size()) {
                rest = {};
                continue;
            }
            if (auto value = fields::CheckedUtf8Text::read(rest.first(end), 0)) texts_[i] = *value;
            rest = rest.subspan(end + 1);
        } else if (rest.size() >= 4) {
            numbers_[i] = readBe32(rest, 0);
            rest = rest.subspan(4);
        } else {
            // A truncated number: its bytes must not be read as the next item.
            rest = {};
        }
    }
}

std::optional<uint32_t> OrvRfidCmd_BatteryStatusExtended::number(Type type) const {
    return numbers_[itemIndex(type)];
}

std::optional<std::string> OrvRfidCmd_BatteryStatusExtended::text(Type type) const {
    return texts_[itemIndex(type)];
}

std::optional<OrvRfidCmdChargingStatus> OrvRfidCmd_BatteryStatusExtended::chargingStatus() const {
    const auto raw = number(Type::chargingStatus);
    if (!raw) return std::nullopt;
    return fromRaw<OrvRfidCmdChargingStatus>(*raw).value_or(
        OrvRfidCmdChargingStatus::chargingError);
}

std::optional<int32_t> OrvRfidCmd_BatteryStatusExtended::current() const {
    const auto raw = number(Type::current);
    if (!raw) return std::nullopt;
    return static_cast<int32_t>(*raw);
}

void OrvRfidCmd_GetMfiSetting::parseReceived() {
    if (!data_.empty() && data_.back() == 0x00) data_.pop_back();
}

}  // namespace orvane
