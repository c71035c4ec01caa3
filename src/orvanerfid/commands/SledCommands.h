#pragma once

// The reader's own (sled) and system settings of the Vk210 command frame, code group 0xF0:
// indicator, battery reports, multiple setting, trigger keys, auto power-off, batch buffer at
// power-off, beeper, vibrator, LED control, scanner indicator patterns and the MFi app bundle id.
//
// Group 0xF0 pattern (also ScannerCommands.h and OutputCommands.h): a set command writes its
// public fields when framed (flags one byte, 1 on and 0 off; enumerations their raw value;
// numbers big-endian); a get command with a parameter keeps it behind a property whose setter
// makes it the one-byte request. Reply accessors read the data after a success status and give no
// value when the reply is too short for what they read (the caller completes with 0x5000); a
// byte that is no raw value reads as the fallback its field names (the second argument of
// fields::EnumByteOr: key function disabled, beeper volume medium). Pure codecs: no threads,
// no I/O; one object serves one exchange on one thread.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "orvanerfid/commands/CommandFields.h"
#include "orvanerfid/core/Battery.h"
#include "orvanerfid/core/Indicators.h"

namespace orvane {

#define ORV_RFID_CMD_BEEPER_VOLUME(X) \
    X(mute, 0x00, "")                 \
    X(low, 0x01, "")                  \
    X(medium, 0x02, "")               \
    X(high, 0x03, "")

ORV_ENUM(OrvRfidCmdBeeperVolume, uint8_t, ORV_RFID_CMD_BEEPER_VOLUME);

// The indicator enumerations carry their values in place: a request byte is the OR of them.
// Indicator byte: LED colour in bits 5-4, vibrator in bit 3, beep count in bits 1-0.
#define ORV_RFID_CMD_LED_INDICATOR(X) \
    X(off, 0x00, "")                  \
    X(red, 0x10, "")                  \
    X(green, 0x20, "")                \
    X(blue, 0x30, "")

ORV_ENUM(OrvRfidCmdLedIndicator, uint8_t, ORV_RFID_CMD_LED_INDICATOR);

#define ORV_RFID_CMD_VIBRAOR_INDICATOR(X) \
    X(off, 0x00, "")                      \
    X(on, 0x08, "")

ORV_ENUM(OrvRfidCmdVibraorIndicator, uint8_t, ORV_RFID_CMD_VIBRAOR_INDICATOR);

#define ORV_RFID_CMD_BEEP_INDICATOR(X) \
    X(off, 0x00, "")                   \
    X(once, 0x01, "")                  \
    X(twice, 0x02, "")                 \
    X(triple, 0x03, "")

ORV_ENUM(OrvRfidCmdBeepIndicator, uint8_t, ORV_RFID_CMD_BEEP_INDICATOR);

// Scanner indicator patterns: byte 1 holds good read (bits 1-0), connection (3-2), setting (5-4)
// and error (7-6); byte 0 holds power on (1-0) and power off (3-2).
// The scanner event choices share the public enumerations' lists (same names and bits).
ORV_ENUM(OrvRfidCmdGoodReadIndicator, uint8_t, ORV_GOOD_READ_INDICATOR);
ORV_ENUM(OrvRfidCmdConnectionIndicator, uint8_t, ORV_CONNECTION_INDICATOR);
ORV_ENUM(OrvRfidCmdSettingIndicator, uint8_t, ORV_SETTING_INDICATOR);
ORV_ENUM(OrvRfidCmdErrorIndicator, uint8_t, ORV_ERROR_INDICATOR);
ORV_ENUM(OrvRfidCmdPowerOnIndicator, uint8_t, ORV_POWER_ON_INDICATOR);
ORV_ENUM(OrvRfidCmdPowerOffIndicator, uint8_t, ORV_POWER_OFF_INDICATOR);

// The reader's keys (not the public KeyID numbers: the device layer converts).
#define ORV_RFID_CMD_KEY_ID(X) \
    X(upperKey, 0x00, "")      \
    X(lowerKey, 0x01, "")

ORV_ENUM(OrvRfidCmdKeyId, uint8_t, ORV_RFID_CMD_KEY_ID);

#define ORV_RFID_CMD_KEY_FUNCTION(X) \
    X(disabled, 0x00, "")            \
    X(scanEngine, 0x01, "")          \
    X(rfid, 0x02, "")

ORV_ENUM(OrvRfidCmdKeyFunction, uint8_t, ORV_RFID_CMD_KEY_FUNCTION);

#define ORV_RFID_CMD_MFI_ID(X) X(appBundleId, 0x0B, "")

ORV_ENUM(OrvRfidCmdMfiId, uint8_t, ORV_RFID_CMD_MFI_ID);

// Same values as the public ChargingStatus.
ORV_ENUM(OrvRfidCmdChargingStatus, uint32_t, ORV_CHARGING_STATUS);

// One flag bit per battery item, as the public BatteryStatusExtendedType; the declaration order
// is the order of the items in a reply.
ORV_ENUM(OrvRfidCmdBatteryStatusExtendedType, uint32_t, ORV_BATTERY_STATUS_EXTENDED_TYPE);

class OrvRfidCmd_SetIndicator : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_SetIndicator, OrvRfidCmdId::indicator)
    OrvRfidCmdLedIndicator led = OrvRfidCmdLedIndicator::off;
    OrvRfidCmdVibraorIndicator vibrator = OrvRfidCmdVibraorIndicator::off;
    OrvRfidCmdBeepIndicator beep = OrvRfidCmdBeepIndicator::off;

  protected:
    void buildData() override { data_ = {fields::orBits(led, vibrator, beep)}; }
};

// The battery report: a reply to the request, and a frame the link layer also raises as an
// event. One data byte is the battery state; two bytes are flags (bit 0 charging) and the charge
// percentage; any other length holds no report.
class OrvRfidCmd_BatteryStatus : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_BatteryStatus, OrvRfidCmdId::batteryStatus)
    // The one-byte form; a byte that is no state reads as unknown.
    std::optional<BatteryState> state() const;
    // The two-byte form.
    std::optional<bool> charging() const;
    std::optional<uint8_t> percentage() const;
    // "BatteryStatus: " and "Charging 85%" / "Not Charging 85%" (two bytes), the state's text
    // (one byte) or "Unknown". Hides the base class's frame text.
    std::string description() const;
};

// The extended battery report. The request asks for the items in `types`; a received reply
// replaces `types` with the items its mask lists and decodes them with the public record's walk
// (`record()`). `data` keeps every byte after the mask. An item accessor gives no value when the
// reply does not list the item, when the walk ended before it (a number of fewer than 4 bytes
// ends it), or for a text that is not UTF-8; a text without its 0x00 end byte takes the rest; a
// charging status above 2 reads as chargingError.
class OrvRfidCmd_BatteryStatusExtended : public OrvaneRfidCommand {
    ORV_PARSED_COMMAND_CLASS(OrvRfidCmd_BatteryStatusExtended, OrvRfidCmdId::batteryStatusExtended)
    using Type = OrvRfidCmdBatteryStatusExtendedType;

    std::vector<Type> types;

    // The reply as the public record: its types and the bytes after the mask, decoded.
    const BatteryStatusExtended& record() const { return record_; }

    std::optional<OrvRfidCmdChargingStatus> chargingStatus() const;
    std::optional<uint32_t> voltage() const { return item(Type::voltage, record_.voltage()); }
    std::optional<int32_t> current() const { return item(Type::current, record_.current()); }
    std::optional<uint32_t> percentage() const {
        return item(Type::percentage, record_.percentage());
    }
    std::optional<uint32_t> health() const { return item(Type::health, record_.health()); }
    std::optional<uint32_t> temperature() const {
        return item(Type::temperature, record_.temperature());
    }
    std::optional<std::string> modelNumber() const {
        return item(Type::modelNumber, record_.modelNumber());
    }
    std::optional<std::string> manufactureDate() const {
        return item(Type::manufactureDate, record_.manufactureDate());
    }
    std::optional<uint32_t> fullChargeCapacity() const {
        return item(Type::fullChargeCapacity, record_.fullChargeCapacity());
    }
    std::optional<uint32_t> cycleCount() const {
        return item(Type::cycleCount, record_.cycleCount());
    }
    std::optional<std::string> serialNumber() const {
        return item(Type::serialNumber, record_.serialNumber());
    }
    std::optional<uint32_t> remainingCapacity() const {
        return item(Type::remainingCapacity, record_.remainingCapacity());
    }
    std::optional<uint32_t> designCapacity() const {
        return item(Type::designCapacity, record_.designCapacity());
    }

  protected:
    // Four bytes: the OR of the flags of `types`, big-endian.
    void buildData() override;

  private:
    template <typename T>
    std::optional<T> item(Type type, const T& value) const {
        if (!record_.hasValue(BatteryStatusExtendedType{rawValue(type)})) return std::nullopt;
        return value;
    }

    BatteryStatusExtended record_;
};

// Spare: a status-less command whose request data is the `setting` bytes as they stand.
class OrvRfidCmd_MultipleSetting : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_MultipleSetting, OrvRfidCmdId::executeMultipleSetting)
    const Bytes& setting() const { return setting_; }
    void setSetting(Bytes setting) { setting_ = std::move(setting); }

  protected:
    void buildData() override { data_ = setting_; }

  private:
    Bytes setting_;
};

// Reply: byte 0 the key (not read), byte 1 its function; an unknown function reads as disabled.
ORV_PARAMETER_GET_COMMAND(
    OrvRfidCmd_GetTriggerButtonStatus, getTriggerButtonStatus,
    ::orvane::fields::EnumByte<OrvRfidCmdKeyId>, keyId, setKeyId, OrvRfidCmdKeyId::upperKey,
    keyFunction,
    ::orvane::fields::EnumByteOr<OrvRfidCmdKeyFunction, OrvRfidCmdKeyFunction::disabled>);
#define ORV_TRIGGER_BUTTON_STATUS_FIELDS(X)                                          \
    X(keyId, ::orvane::fields::EnumByte<OrvRfidCmdKeyId>, OrvRfidCmdKeyId::upperKey) \
    X(keyFunction, ::orvane::fields::EnumByte<OrvRfidCmdKeyFunction>,                \
      OrvRfidCmdKeyFunction::disabled)
ORV_FIELDS_COMMAND(OrvRfidCmd_SetTriggerButtonStatus, setTriggerButtonStatus,
                   ORV_TRIGGER_BUTTON_STATUS_FIELDS);

// The one-value pairs of this group:
//   X(get class, set class, get code, set code, value name, set default, codec)
#define ORV_SLED_SETTING_PAIRS(X)                                                               \
    X(OrvRfidCmd_GetAutoPowerOffSetting, OrvRfidCmd_SetAutoPowerOffSetting,                     \
      getAutoPowerOffSetting, setAutoPowerOffSetting, autoPowerOff, 0, ::orvane::fields::U16)   \
    X(OrvRfidCmd_GetBeeperVolume, OrvRfidCmd_SetBeeperVolume, getBeeperVolume, setBeeperVolume, \
      volume, OrvRfidCmdBeeperVolume::medium,                                                   \
      ::orvane::fields::EnumByteOr<OrvRfidCmdBeeperVolume, OrvRfidCmdBeeperVolume::medium>)     \
    X(OrvRfidCmd_GetLedControl, OrvRfidCmd_SetLedControl, getLedSetting, setLedSetting, enable, \
      false, ::orvane::fields::Flag)

ORV_SLED_SETTING_PAIRS(ORV_SETTING_PAIR)

ORV_SPARE_SETTING_PAIR(OrvRfidCmd_GetSaveBufferWhenPowerOffSetting,
                       OrvRfidCmd_SetSaveBufferWhenPowerOffSetting,
                       getSaveBufferWhenPowerOffSetting, setSaveBufferWhenPowerOffSetting,
                       saveBufferWhenPowerOff, false, ::orvane::fields::Flag)
ORV_SPARE_SETTING_PAIR(OrvRfidCmd_GetVibratorSetting, OvrRfidCmd_SetVibratorSetting,
                       getVibratorSetting, setVibratorSetting, enable, false,
                       ::orvane::fields::Flag)

class OrvRfidCmd_GetScannerIndicator : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_GetScannerIndicator, OrvRfidCmdId::getScannerIndicator)
    // Byte 1 fields: no value for a reply of fewer than 2 bytes.
    auto goodRead() const {
        return fields::Bits<OrvRfidCmdGoodReadIndicator, 0x03>::read(data_, 1);
    }
    auto connection() const {
        return fields::Bits<OrvRfidCmdConnectionIndicator, 0x0C>::read(data_, 1);
    }
    auto setting() const { return fields::Bits<OrvRfidCmdSettingIndicator, 0x30>::read(data_, 1); }
    auto error() const { return fields::Bits<OrvRfidCmdErrorIndicator, 0xC0>::read(data_, 1); }
    // Byte 0 fields: no value for an empty reply.
    auto powerOn() const { return fields::Bits<OrvRfidCmdPowerOnIndicator, 0x03>::read(data_, 0); }
    auto powerOff() const {
        return fields::Bits<OrvRfidCmdPowerOffIndicator, 0x0C>::read(data_, 0);
    }
};

class OrvRfidCmd_SetScannerIndicator : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_SetScannerIndicator, OrvRfidCmdId::setScannerIndicator)
    OrvRfidCmdGoodReadIndicator goodRead = OrvRfidCmdGoodReadIndicator::none;
    OrvRfidCmdConnectionIndicator connection = OrvRfidCmdConnectionIndicator::none;
    OrvRfidCmdSettingIndicator setting = OrvRfidCmdSettingIndicator::none;
    OrvRfidCmdErrorIndicator error = OrvRfidCmdErrorIndicator::none;
    OrvRfidCmdPowerOnIndicator powerOn = OrvRfidCmdPowerOnIndicator::none;
    OrvRfidCmdPowerOffIndicator powerOff = OrvRfidCmdPowerOffIndicator::none;

  protected:
    void buildData() override {
        data_ = {fields::orBits(powerOn, powerOff),
                 fields::orBits(goodRead, connection, setting, error)};
    }
};

// A received reply loses one trailing 0x00 byte (the text's end byte) from `data`.
class OrvRfidCmd_GetMfiSetting : public OrvaneRfidCommand {
    ORV_PARSED_COMMAND_CLASS(OrvRfidCmd_GetMfiSetting, OrvRfidCmdId::getMfiSetting)
    ORV_REQUEST_PARAMETER(mfiId, setMfiId, OrvRfidCmdMfiId::appBundleId,
                          ::orvane::fields::EnumByte<OrvRfidCmdMfiId>)
    // The bytes after byte 0 (the id, not read); no value for an empty reply.
    std::optional<Bytes> setting() const { return fields::RawBytes::read(data_, 1); }
};

// Request: the id, the `setting` bytes (the app bundle id in UTF-8, not checked), one 0x00.
class OrvRfidCmd_SetMfiSetting : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_SetMfiSetting, OrvRfidCmdId::setMfiSetting)
    OrvRfidCmdMfiId mfiId = OrvRfidCmdMfiId::appBundleId;
    Bytes setting;

  protected:
    void buildData() override {
        data_ = {rawValue(mfiId)};
        data_.insert(data_.end(), setting.begin(), setting.end());
        data_.push_back(0x00);
    }
};

}  // namespace orvane
