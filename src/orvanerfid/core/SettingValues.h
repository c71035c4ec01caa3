#pragma once

// Small setting values of the reader and the radio: the inventory feedback
// (`InventoryIndicator`), an offset and length (`DataRange`), the screen-off delay
// (`ScreenOffTime`) and a select mask (`MaskPattern`; its action is `MaskAction` in
// RadioEnums.h). Plain mutable values: no lock, no I/O, no checks when set.

#include <string>
#include <string_view>

#include "orvanerfid/Export.h"

namespace orvane {

// Feedback for tags read during an inventory.
class ORVANE_API InventoryIndicator {
  public:
    InventoryIndicator() = default;
    InventoryIndicator(bool readOnce, bool beeper, bool vibrator)
        : readOnce_(readOnce), beeper_(beeper), vibrator_(vibrator) {}

    // Feedback only the first time a tag is read.
    bool readOnce() const { return readOnce_; }
    void setReadOnce(bool readOnce) { readOnce_ = readOnce; }
    bool beeper() const { return beeper_; }
    void setBeeper(bool beeper) { beeper_ = beeper; }
    bool vibrator() const { return vibrator_; }
    void setVibrator(bool vibrator) { vibrator_ = vibrator; }

    // "01" or "00" for readOnce, beeper and vibrator, in that order ("010101" by default).
    std::string toDeviceParameter() const;

    // Reads a device text of three hex bytes; a flag is set exactly when its byte is 01.
    // Throws ReaderException 0x5003 for any other text.
    static InventoryIndicator fromDeviceParameter(std::string_view text);

  private:
    bool readOnce_ = true;
    bool beeper_ = true;
    bool vibrator_ = true;
};

// An offset and a length, carried by the reader in two 16-bit fields.
class ORVANE_API DataRange {
  public:
    DataRange() = default;
    DataRange(unsigned offset, unsigned length) : offset_(offset), length_(length) {}

    unsigned offset() const { return offset_; }
    void setOffset(unsigned offset) { offset_ = offset; }
    unsigned length() const { return length_; }
    void setLength(unsigned length) { length_ = length; }

    // "%04X%04X" of offset and length. Throws ReaderException 0x4003 "Out of Range" when either
    // is above 0xFFFF (it would not fit the reader's field).
    std::string toDeviceParameter() const;

    // Reads a device text of exactly eight hex digits (offset, then length). Throws
    // ReaderException 0x5003 for any other text.
    static DataRange fromDeviceParameter(std::string_view text);

    // "Offset: 2, Length: 32".
    std::string description() const;

  private:
    unsigned offset_ = 0;
    unsigned length_ = 0;
};

// Time until the screen turns off, carried by the reader in two 8-bit fields.
class ORVANE_API ScreenOffTime {
  public:
    ScreenOffTime() = default;
    ScreenOffTime(unsigned minutes, unsigned seconds) : minutes_(minutes), seconds_(seconds) {}

    unsigned minutes() const { return minutes_; }
    void setMinutes(unsigned minutes) { minutes_ = minutes; }
    unsigned seconds() const { return seconds_; }
    void setSeconds(unsigned seconds) { seconds_ = seconds; }

    // "%02X%02X" of minutes and seconds. Throws ReaderException 0x4003 "Out of Range" when
    // either is above 0xFF.
    std::string toDeviceParameter() const;

    // Reads a device text of exactly four hex digits (minutes, then seconds). Throws
    // ReaderException 0x5003 for any other text.
    static ScreenOffTime fromDeviceParameter(std::string_view text);

  private:
    unsigned minutes_ = 0;
    unsigned seconds_ = 0;
};

// A select mask: the mask bits as hex text and the mask length in bits. The radio-module
// drivers check and convert the text when they build their select command.
class ORVANE_API MaskPattern {
  public:
    MaskPattern() = default;
    MaskPattern(std::string pattern, unsigned length)
        : pattern_(std::move(pattern)), length_(length) {}

    const std::string& pattern() const { return pattern_; }
    void setPattern(std::string pattern) { pattern_ = std::move(pattern); }
    unsigned length() const { return length_; }
    void setLength(unsigned length) { length_ = length; }

  private:
    std::string pattern_;
    unsigned length_ = 0;
};

}  // namespace orvane
