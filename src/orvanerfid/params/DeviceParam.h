#pragma once

// One reader setting keyed by DeviceParamId, its current and default value held in the reader's
// device text (upper-case hex of the setting's payload for almost every id).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/params/BaseParam.h"
#include "orvanerfid/params/DeviceValue.h"

namespace orvane {

// Value types and device texts, by id (the default is what a new parameter holds):
//
//   0, 2, 3, 4, 22, 28, 32  std::string           UTF-8 bytes as hex; read back as ASCII ("error
//                                                  when encode to ascii" when not ASCII); default
//                                                  ""
//   1, 29, 31  DeviceType, UhfModuleType, EngineModel: the display text as hex; read back by
//                                                  name, ignoring case, "Unknown" when none matches
//   5   BatteryStatus            its own device text; default no items ("")
//   6, 54, 55  double            decimal text, shortest round trip ("0.0", "36.5"); default 0.0
//   7, 23, 35, 36, 44  bool      "01" / "00"; reads true only for "01"; default true ("01"),
//                                44 false
//   8, 11, 13, 14, 16, 17, 30, 37-43, 52, 53, 58  enumeration: raw value "%02X"
//   9   DeviceDate               "%02X" x 6: year - 2000, month, day, hour, minute, second, local
//                                time; default now
//   10, 56, 57  unsigned         "%04X" (0-0xFFFF); defaults 0, 80, 80
//   18  unsigned                 "%02X" (0-0xFF); default 5
//   12 FindDevice, 15 DataRange ("%04X%04X"), 19 DisplayMessage, 20 ScreenOffTime ("%02X%02X"),
//   26 InventoryIndicator, 33 FindReplace, 34 TriggerKeyStatus, 45 ScannerIndicator (two bytes),
//   47 DeviceIndicator (one byte), 59 EventNotification, 61 BatteryStatusExtended
//   21  Bytes                    hex padded with "0" to 128 characters (64 bytes at most)
//   27  std::vector<unsigned>    "%04X" per element
//   62, 63  std::vector<InventoryDataFormat>, std::vector<ScannerDataFormat>: "%02X" per element
//   24, 25, 46, 48-51, 60  plain actions: always empty text, whatever the value (std::monostate)
//
// Not thread-safe: a parameter is changed by one thread at a time.
class ORVANE_API DeviceParam : public BaseParam {
  public:
    // Access classes as sets in which bit n stands for id n.
    static constexpr uint64_t readableSet = 0xE7F03FFFFCF7EFFF;
    static constexpr uint64_t writableSet = 0xC7203FFE04F7EF80;
    static constexpr uint64_t executableOrWritableSet = 0xDF2FFFFE07FFFF80;

    // Read from the reader (every id but the actions).
    static constexpr bool isReadable(DeviceParamId id) { return inSet(readableSet, id); }
    // Read and written: the only ids setValue accepts.
    static constexpr bool isWritable(DeviceParamId id) { return inSet(writableSet, id); }
    // Written or executed (read-and-write ids and actions).
    static constexpr bool isExecutableOrWritable(DeviceParamId id) {
        return inSet(executableOrWritableSet, id);
    }

    // Every constructor starts from the id's default value (also the default text). Those that
    // take a value refuse it as valueToString does.
    explicit DeviceParam(DeviceParamId id);
    DeviceParam(DeviceParamId id, uint32_t minVersion, uint32_t maxVersion);
    // Current value `value`; the default stays the id's default.
    DeviceParam(DeviceParamId id, const DeviceValue& value);
    // Current and default value `defaultValue`.
    struct DefaultValueTag {};
    static constexpr DefaultValueTag defaultValueTag{};
    DeviceParam(DeviceParamId id, DefaultValueTag, const DeviceValue& defaultValue);

    DeviceParamId id() const { return id_; }

    // The current and default value as the id's value type; no value when the text is not a
    // device text of the id (malformed text from a reader, say).
    std::optional<DeviceValue> getValue() const { return valueToAny(_value()); }
    std::optional<DeviceValue> defaultValue() const { return valueToAny(_default()); }

    // Stores the device text of `value`. Ids outside the writable set are refused with
    // ReaderException 0x5002 and the message "Not a writable parameter"; conversion failures as
    // valueToString. The stored value is unchanged on every refusal.
    void setValue(const DeviceValue& value);
    // Stores the device text of `value` for any id, without the writable check.
    void setRawValue(const DeviceValue& value);
    // The current text as bytes; no value when it is not hex (a temperature, say).
    std::optional<Bytes> rawValue() const;

    // The allowed values as the id's value type. Id 22 answers " " and "" always. Otherwise,
    // when a range is set and no options are held, the range is listed once into the options
    // ("%02X" below 256, else "%04X"). An option text that is no device text of the id throws
    // ReaderException 0x5002; a range below 0 or of more than 65536 values throws 0x4003.
    std::vector<DeviceValue> options();

    // Assigns the id's default (see the table above) to the value and the default.
    void setDefaultValue();

    // The device text of `value`. A value of another type than the id's throws ReaderException
    // 0x5002 "Invalid Parameter"; a value that the text cannot hold (a number wider than its
    // field, User Data above 64 bytes, a year outside 2000-2255, an enumeration value outside
    // its cases) throws 0x4003 "Out of Range". Plain actions give "" for any value.
    std::string valueToString(const DeviceValue& value) const;
    // The value that a device text stands for; no value for text that is not a device text of
    // the id (wrong length, not hex, a number outside its enumeration or field).
    std::optional<DeviceValue> valueToAny(std::string_view text) const;

    DeviceParam* toDeviceParam() override { return this; }
    const DeviceParam* toDeviceParam() const override { return this; }

  private:
    ORVANE_INTERNAL static constexpr bool inSet(uint64_t set, DeviceParamId id) {
        return orvane::rawValue(id) < 64 && ((set >> orvane::rawValue(id)) & 1) != 0;
    }

    DeviceParamId id_;
};

}  // namespace orvane
