#pragma once

// Indicator settings: the reader's LED, vibrator and beep pattern (`DeviceIndicator`, one
// device byte) and the beeper and vibrator patterns of six scanner events (`ScannerIndicator`,
// two device bytes).
//
// Every enumeration's raw value is the bit pattern already in its place in the device byte, so
// a device byte is the bitwise OR of the raw values. Plain mutable values: no lock, no I/O.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

#define ORV_LED_INDICATOR(X) \
    X(off, 0x00, "None")     \
    X(red, 0x10, "Red")      \
    X(green, 0x20, "Green")  \
    X(blue, 0x30, "Blue")

// LED colour; bits 4-5 of the DeviceIndicator byte.
ORV_ENUM(LedIndicator, uint8_t, ORV_LED_INDICATOR);

#define ORV_BEEP_INDICATOR(X) \
    X(off, 0x00, "None")      \
    X(once, 0x01, "Once")     \
    X(twice, 0x02, "Twice")   \
    X(triple, 0x03, "Three Times")

// Beep pattern; bits 0-2 of the DeviceIndicator byte.
ORV_ENUM(BeepIndicator, uint8_t, ORV_BEEP_INDICATOR);

// The four choices of a scanner event, as a two-bit field `shift` bits up in its byte.
#define ORV_SCANNER_CHOICES_(X, shift)       \
    X(none, 0x00 << (shift), "None")         \
    X(beeper, 0x01 << (shift), "Beeper")     \
    X(vibrator, 0x02 << (shift), "Vibrator") \
    X(beeperVibrator, 0x03 << (shift), "Beeper and Vibrator")

#define ORV_GOOD_READ_INDICATOR(X) ORV_SCANNER_CHOICES_(X, 0)
#define ORV_CONNECTION_INDICATOR(X) ORV_SCANNER_CHOICES_(X, 2)
#define ORV_SETTING_INDICATOR(X) ORV_SCANNER_CHOICES_(X, 4)
#define ORV_ERROR_INDICATOR(X) ORV_SCANNER_CHOICES_(X, 6)
#define ORV_POWER_ON_INDICATOR(X) ORV_SCANNER_CHOICES_(X, 0)
#define ORV_POWER_OFF_INDICATOR(X) ORV_SCANNER_CHOICES_(X, 2)

// Scanner byte 1: bits 0-1, 2-3, 4-5, 6-7.
ORV_ENUM(GoodReadIndicator, uint8_t, ORV_GOOD_READ_INDICATOR);
ORV_ENUM(ConnectionIndicator, uint8_t, ORV_CONNECTION_INDICATOR);
ORV_ENUM(SettingIndicator, uint8_t, ORV_SETTING_INDICATOR);
ORV_ENUM(ErrorIndicator, uint8_t, ORV_ERROR_INDICATOR);
// Scanner byte 0: bits 0-1, 2-3.
ORV_ENUM(PowerOnIndicator, uint8_t, ORV_POWER_ON_INDICATOR);
ORV_ENUM(PowerOffIndicator, uint8_t, ORV_POWER_OFF_INDICATOR);

// The reader's indicator setting. Device byte: LED raw value OR 0x08 when vibrating OR beep raw
// value (bit 7 is written 0).
class ORVANE_API DeviceIndicator {
  public:
    DeviceIndicator() = default;
    DeviceIndicator(LedIndicator led, bool vibrating, BeepIndicator beep)
        : led_(led), vibrating_(vibrating), beep_(beep) {}

    LedIndicator led() const { return led_; }
    void setLed(LedIndicator led) { led_ = led; }
    bool vibrating() const { return vibrating_; }
    void setVibrating(bool vibrating) { vibrating_ = vibrating; }
    BeepIndicator beep() const { return beep_; }
    void setBeep(BeepIndicator beep) { beep_ = beep; }

    // The device byte as "%02X" ("1A" for red, vibrating, twice).
    std::string toDeviceParameter() const;

    // The setting written by a device text of exactly one byte; bit 7 is ignored. Throws
    // ReaderException 0x5003 for malformed text or an LED or beep code of 4-7.
    static DeviceIndicator fromDeviceParameter(std::string_view text);

  private:
    LedIndicator led_ = LedIndicator::off;
    bool vibrating_ = false;
    BeepIndicator beep_ = BeepIndicator::off;
};

// The scanner's event indicators. Device bytes: byte 0 = powerOn OR powerOff, byte 1 = goodRead
// OR connection OR setting OR error (raw values).
class ORVANE_API ScannerIndicator {
  public:
    // A keyed coded form: (key, raw value) pairs in the order written.
    using CodedForm = std::vector<std::pair<std::string, uint64_t>>;

    ScannerIndicator() = default;
    ScannerIndicator(GoodReadIndicator goodRead, ConnectionIndicator connection,
                     SettingIndicator setting, ErrorIndicator error, PowerOnIndicator powerOn,
                     PowerOffIndicator powerOff)
        : goodRead_(goodRead),
          connection_(connection),
          setting_(setting),
          error_(error),
          powerOn_(powerOn),
          powerOff_(powerOff) {}

    // Decodes the coded form: the keys "goodRead", "connection", "setting", "error", "powerOn"
    // and "powerOff" must each hold a raw value of their enumeration. Throws ReaderException
    // 0x5003 naming the first key that is missing or holds another number.
    explicit ScannerIndicator(const CodedForm& from);

    GoodReadIndicator goodRead() const { return goodRead_; }
    void setGoodRead(GoodReadIndicator value) { goodRead_ = value; }
    ConnectionIndicator connection() const { return connection_; }
    void setConnection(ConnectionIndicator value) { connection_ = value; }
    SettingIndicator setting() const { return setting_; }
    void setSetting(SettingIndicator value) { setting_ = value; }
    ErrorIndicator error() const { return error_; }
    void setError(ErrorIndicator value) { error_ = value; }
    PowerOnIndicator powerOn() const { return powerOn_; }
    void setPowerOn(PowerOnIndicator value) { powerOn_ = value; }
    PowerOffIndicator powerOff() const { return powerOff_; }
    void setPowerOff(PowerOffIndicator value) { powerOff_ = value; }

    // The two device bytes, byte 0 first.
    Bytes encode() const;
    // Appends the six keys with their raw values, in field order.
    void encode(CodedForm& to) const;
    // The two device bytes as hex text ("0FFF" with every field beeperVibrator).
    std::string toDeviceParameter() const;

    // The indicators held by the first two bytes of `data` (later bytes are ignored; every byte
    // pair decodes). With fewer than two bytes: an ERROR log record "Invalid data length for
    // ScannerIndicator" and no value.
    static std::optional<ScannerIndicator> decode(ByteView data);
    // The indicators written by a device text of at least two bytes. Throws ReaderException
    // 0x5003 for malformed or short text.
    static ScannerIndicator fromDeviceParameter(std::string_view text);

    // "GoodRead: None, Connection: Beeper, Setting: ..., PowerOff: None".
    std::string description() const;

  private:
    // Calls visit(key, label, byte index, field) for the six fields in field order.
    template <typename Self, typename Visit>
    ORVANE_INTERNAL static void visitFields(Self& self, Visit&& visit);

    GoodReadIndicator goodRead_ = GoodReadIndicator::none;
    ConnectionIndicator connection_ = ConnectionIndicator::none;
    SettingIndicator setting_ = SettingIndicator::none;
    ErrorIndicator error_ = ErrorIndicator::none;
    PowerOnIndicator powerOn_ = PowerOnIndicator::none;
    PowerOffIndicator powerOff_ = PowerOffIndicator::none;
};

}  // namespace orvane
