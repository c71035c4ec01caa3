#pragma once

// Reader settings whose value is more than one number. Each knows its device text: the
// upper-case hex text in which DeviceParam carries the setting.
//
// Plain values with public fields; no locks. `fromDeviceParameter()` reads a device text back
// and throws ReaderException 0x5003 "Invalid Response Data" for text that no value of the class
// writes (wrong length, not hex, a number outside its enumeration). `toDeviceParameter()` refuses,
// with ReaderException 0x4003 "Out of Range", a field that its place in the device text cannot hold
// (a timeout above 255, a character position above 15, a line position above 3, or an
// enumeration value outside its cases), instead of writing a text that reads back differently.

#include <cstdint>
#include <string>
#include <string_view>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Identifiers.h"

namespace orvane {

// Makes the reader beep or vibrate so that it can be found (setting "Find Device").
class ORVANE_API FindDevice {
  public:
    FindDevice() = default;
    FindDevice(FindDeviceMode mode, unsigned timeout) : mode(mode), timeout(timeout) {}

    FindDeviceMode mode = FindDeviceMode::vibratorAndBeep;
    unsigned timeout = 10;

    // "%02X%02X" of the mode's raw value and the timeout ("030A").
    std::string toDeviceParameter() const;
    // "FindDeviceMode: Vibrator and Beep, Timeout: 10".
    std::string description() const;

    // Mode from the first byte, timeout from the second.
    static FindDevice fromDeviceParameter(std::string_view text);

    bool operator==(const FindDevice&) const = default;
};

// What a trigger key does (setting "Trigger Key Status").
class ORVANE_API TriggerKeyStatus {
  public:
    TriggerKeyStatus() = default;
    TriggerKeyStatus(KeyID keyId, KeyFunction keyFunction)
        : keyId(keyId), keyFunction(keyFunction) {}

    KeyID keyId = KeyID::upperKey;
    KeyFunction keyFunction = KeyFunction::scannerScan;

    // "%02X%02X" of the two raw values ("0201").
    std::string toDeviceParameter() const;
    // "Key ID: Upper Key, Key Function: Scanner Scan".
    std::string description() const;

    // Key from the first byte, function from the second.
    static TriggerKeyStatus fromDeviceParameter(std::string_view text);

    bool operator==(const TriggerKeyStatus&) const = default;
};

// A text for the reader's display (setting "Display Message").
class ORVANE_API DisplayMessage {
  public:
    DisplayMessage() = default;
    DisplayMessage(std::string message, uint8_t charPosition, uint8_t linePosition,
                   bool clearScreen)
        : message(std::move(message)),
          charPosition(charPosition),
          linePosition(linePosition),
          clearScreen(clearScreen) {}

    std::string message;
    uint8_t charPosition = 0;  // 0-15
    uint8_t linePosition = 1;  // 0-3
    bool clearScreen = true;

    // 34 characters: the flag byte "%02X" (charPosition in bits 0-3, 0x20 when clearScreen,
    // linePosition in bits 6-7), then the message's UTF-8 bytes as hex, padded with "0" or cut
    // to 32 characters (the display line holds 16 bytes).
    std::string toDeviceParameter() const;
    // "CharPosition: 0, LinePosition: 1, ClearScreen: true, Message: ".
    std::string description() const;

    // Flag byte, then 16 message bytes read as ASCII (a byte above 0x7F: ReaderException
    // 0x5002); the zero bytes that pad the message stay in it.
    static DisplayMessage fromDeviceParameter(std::string_view text);

    bool operator==(const DisplayMessage&) const = default;
};

// A byte of scanned data to find and the byte that replaces it (setting "Find Replace").
class ORVANE_API FindReplace {
  public:
    FindReplace() = default;
    FindReplace(uint8_t find, uint8_t replace) : find(find), replace(replace) {}

    uint8_t find = 0;
    uint8_t replace = 0;

    // "%02X%02X" of find and replace ("0D0A").
    std::string toDeviceParameter() const;
    // "Find: 0D, Replace: 0A".
    std::string description() const;

    static FindReplace fromDeviceParameter(std::string_view text);

    bool operator==(const FindReplace&) const = default;
};

// Switches one kind of unsolicited reader notification on or off (setting "Event Notification").
class ORVANE_API EventNotification {
  public:
    EventNotification() = default;
    EventNotification(EventNotificationId id, bool enabled) : id(id), enabled(enabled) {}

    EventNotificationId id = EventNotificationId::keyEvent;
    bool enabled = false;

    // "%02X%02X" of the id's raw value and 1 or 0 ("E400").
    std::string toDeviceParameter() const;

    // Id from the first byte; enabled exactly when the second byte is 01.
    static EventNotification fromDeviceParameter(std::string_view text);

    bool operator==(const EventNotification&) const = default;
};

}  // namespace orvane
