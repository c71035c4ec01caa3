#pragma once

// Battery records: the short form (`BatteryStatus`: percentage, state, charging flag, with the
// list of the values the reader reported) and the long form (`BatteryStatusExtended`: any
// selection of thirteen values, decoded from the reader's big-endian reply bytes).
//
// Plain mutable values: no lock, no I/O. The underscored setters are for the library's own use
// (the device layer fills a record from a reply); the application reads the public getters.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

#define ORV_BATTERY_STATUS_ID(X)   \
    X(percentage, 0, "Percentage") \
    X(charging, 1, "Charging")     \
    X(state, 2, "State")

// Which value of a BatteryStatus the reader reported.
ORV_ENUM(BatteryStatusId, uint8_t, ORV_BATTERY_STATUS_ID);

#define ORV_BATTERY_STATE(X)    \
    X(unknown, 0xFF, "Unknown") \
    X(charging, 0, "Charging")  \
    X(veryLow, 1, "Very Low")   \
    X(low, 2, "Low")            \
    X(normal, 3, "Normal")      \
    X(fullCharged, 4, "Full Charged")

ORV_ENUM(BatteryState, uint8_t, ORV_BATTERY_STATE);

#define ORV_CHARGING_STATUS(X)     \
    X(discharge, 0, "Discharging") \
    X(charging, 1, "Charging")     \
    X(chargingError, 2, "Charging Error")

ORV_ENUM(ChargingStatus, uint32_t, ORV_CHARGING_STATUS);

// One flag bit per value of the extended record. The declaration order is the order of the
// values in the reply bytes and in the description.
#define ORV_BATTERY_STATUS_EXTENDED_TYPE(X)                    \
    X(chargingStatus, 0x80000000u, "Charging Status")          \
    X(voltage, 0x40000000u, "Voltage")                         \
    X(current, 0x20000000u, "Current")                         \
    X(percentage, 0x10000000u, "Percentage")                   \
    X(health, 0x08000000u, "Health")                           \
    X(temperature, 0x04000000u, "Temperature")                 \
    X(modelNumber, 0x02000000u, "Model Number")                \
    X(manufactureDate, 0x01000000u, "Manufacture Date")        \
    X(fullChargeCapacity, 0x00800000u, "Full Charge Capacity") \
    X(cycleCount, 0x00400000u, "Cycle Count")                  \
    X(serialNumber, 0x00200000u, "Serial Number")              \
    X(remainingCapacity, 0x00100000u, "Remaining Capacity")    \
    X(designCapacity, 0x00080000u, "Design Capacity")

ORV_ENUM(BatteryStatusExtendedType, uint32_t, ORV_BATTERY_STATUS_EXTENDED_TYPE);

// The short battery record.
class ORVANE_API BatteryStatus {
  public:
    BatteryStatus() = default;

    uint8_t percentage() const { return percentage_; }
    void set_percentage(uint8_t percentage) { percentage_ = percentage; }
    BatteryState state() const { return state_; }
    void set_state(BatteryState state) { state_ = state; }
    bool charging() const { return charging_; }
    void set_charging(bool charging) { charging_ = charging; }
    // The values the reader reported; whoever fills the record appends one id per value set.
    const std::vector<BatteryStatusId>& batteryStatusId() const { return batteryStatusId_; }
    void set_batteryStatusId(std::vector<BatteryStatusId> ids) {
        batteryStatusId_ = std::move(ids);
    }

    // "%02X%02X" of id and value for each reported id, in the order percentage (00), state (02),
    // charging (01); each id once. Empty when nothing was reported.
    std::string toDeviceParameter() const;

    // Reads a device text of four-digit groups (id, value), starting from the defaults; the ids
    // are listed in text order. Empty text gives the default record. Throws ReaderException
    // 0x5003 for non-hex text, a length that is not a multiple of four, an id above 2 or a state
    // value that is no BatteryState.
    static BatteryStatus fromDeviceParameter(std::string_view text);

    // "BatteryStatus: Unknown" when nothing was reported; otherwise, without separators between
    // the parts: "<percentage>%, ", "Charging" or "Not Charging", the state text ("80%,
    // ChargingNormal"), each part only when its id is listed.
    std::string description() const;

  private:
    ORVANE_INTERNAL bool reported(BatteryStatusId id) const;

    uint8_t percentage_ = 0;
    BatteryState state_ = BatteryState::unknown;
    bool charging_ = false;
    std::vector<BatteryStatusId> batteryStatusId_;
};

// The long battery record.
class ORVANE_API BatteryStatusExtended {
  public:
    BatteryStatusExtended() = default;
    // Stores the types; nothing is parsed.
    explicit BatteryStatusExtended(std::vector<BatteryStatusExtendedType> types);
    // Stores both, then decodes `rawData` with parseData().
    BatteryStatusExtended(std::vector<BatteryStatusExtendedType> types, Bytes rawData);

    // Setting either only stores it; nothing is parsed again.
    const std::vector<BatteryStatusExtendedType>& types() const { return types_; }
    void setTypes(std::vector<BatteryStatusExtendedType> types) { types_ = std::move(types); }
    const Bytes& rawData() const { return rawData_; }
    void setRawData(Bytes rawData) { rawData_ = std::move(rawData); }

    ChargingStatus chargingStatus() const { return chargingStatus_; }
    void set_chargingStatus(ChargingStatus value) { chargingStatus_ = value; }
    uint32_t voltage() const { return voltage_; }
    void set_voltage(uint32_t value) { voltage_ = value; }
    int32_t current() const { return current_; }
    void set_current(int32_t value) { current_ = value; }
    uint32_t percentage() const { return percentage_; }
    void set_percentage(uint32_t value) { percentage_ = value; }
    uint32_t health() const { return health_; }
    void set_health(uint32_t value) { health_ = value; }
    uint32_t temperature() const { return temperature_; }
    void set_temperature(uint32_t value) { temperature_ = value; }
    const std::string& modelNumber() const { return modelNumber_; }
    void set_modelNumber(std::string value) { modelNumber_ = std::move(value); }
    const std::string& manufactureDate() const { return manufactureDate_; }
    void set_manufactureDate(std::string value) { manufactureDate_ = std::move(value); }
    uint32_t fullChargeCapacity() const { return fullChargeCapacity_; }
    void set_fullChargeCapacity(uint32_t value) { fullChargeCapacity_ = value; }
    uint32_t cycleCount() const { return cycleCount_; }
    void set_cycleCount(uint32_t value) { cycleCount_ = value; }
    const std::string& serialNumber() const { return serialNumber_; }
    void set_serialNumber(std::string value) { serialNumber_ = std::move(value); }
    uint32_t remainingCapacity() const { return remainingCapacity_; }
    void set_remainingCapacity(uint32_t value) { remainingCapacity_ = value; }
    uint32_t designCapacity() const { return designCapacity_; }
    void set_designCapacity(uint32_t value) { designCapacity_ = value; }

    // Decodes `data` into the fields selected by `types`, visiting the types in declaration
    // order: a number takes four big-endian bytes, a text the bytes up to a zero byte (the rest
    // when there is none; empty when not UTF-8). A number the remaining bytes cannot fill keeps
    // its value and ends the walk, so the fields after it keep theirs too; bytes left over are
    // ignored. `data` is not stored in rawData.
    void parseData(ByteView data);
    // Whether the last parseData() read a value the reader sent for `type` (a text must be
    // UTF-8); false for a field set otherwise or never decoded.
    bool hasValue(BatteryStatusExtendedType type) const { return (filled_ & rawValue(type)) != 0; }

    // "%08X" of the OR of the flags of `types`, then "%02X" per byte of rawData.
    std::string toDeviceParameter() const;

    // Reads a device text: eight hex digits of flags, then the raw bytes as hex; the types are
    // the flags set, in declaration order, and the raw bytes are decoded. Throws ReaderException
    // 0x5003 for text shorter than eight digits, non-hex text or an odd digit count.
    static BatteryStatusExtended fromDeviceParameter(std::string_view text);

    // One line per selected type, in declaration order, each ended by "\n": "Voltage: 4000 mV".
    std::string description() const;

  private:
    ORVANE_INTERNAL bool selected(BatteryStatusExtendedType type) const;
    // Calls visit(type, unit, field) for the thirteen fields in declaration order; `unit`
    // follows the number in the description.
    template <typename Self, typename Visit>
    ORVANE_INTERNAL static void visitFields(Self& self, Visit&& visit);

    std::vector<BatteryStatusExtendedType> types_;
    Bytes rawData_;
    ChargingStatus chargingStatus_ = ChargingStatus::chargingError;
    uint32_t voltage_ = 0;
    int32_t current_ = 0;
    uint32_t percentage_ = 0;
    uint32_t health_ = 0;
    uint32_t temperature_ = 0;
    std::string modelNumber_;
    std::string manufactureDate_;
    uint32_t fullChargeCapacity_ = 0;
    uint32_t cycleCount_ = 0;
    std::string serialNumber_;
    uint32_t remainingCapacity_ = 0;
    uint32_t designCapacity_ = 0;
    uint32_t filled_ = 0;
};

}  // namespace orvane
