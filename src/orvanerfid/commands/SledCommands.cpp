#include "orvanerfid/commands/SledCommands.h"

namespace orvane {

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
    std::vector<BatteryStatusExtendedType> recordTypes;
    for (Type type : allCases<Type>()) {
        if ((mask & rawValue(type)) == 0) continue;
        types.push_back(type);
        recordTypes.push_back(BatteryStatusExtendedType{rawValue(type)});
    }
    record_ = BatteryStatusExtended(std::move(recordTypes), data_);
}

std::optional<OrvRfidCmdChargingStatus> OrvRfidCmd_BatteryStatusExtended::chargingStatus() const {
    const auto status = item(Type::chargingStatus, record_.chargingStatus());
    if (!status) return std::nullopt;
    return fromRaw<OrvRfidCmdChargingStatus>(rawValue(*status))
        .value_or(OrvRfidCmdChargingStatus::chargingError);
}

void OrvRfidCmd_GetMfiSetting::parseReceived() {
    if (!data_.empty() && data_.back() == 0x00) data_.pop_back();
}

}  // namespace orvane
