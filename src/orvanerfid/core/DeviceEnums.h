#pragma once

// Public enumerations of reader-level settings and states, the radio module type, and the
// setting values that the command layer carries.

#include <cstdint>
#include <string_view>

#include "orvanerfid/core/Enum.h"

namespace orvane {

#define ORV_CONNECT_STATE(X)           \
    X(disconnected, 0, "Disconnected") \
    X(listen, 1, "Listen")             \
    X(connecting, 2, "Connecting")     \
    X(connected, 3, "Connected")       \
    X(disconnecting, 4, "Disconnecting")

ORV_ENUM(ConnectState, uint8_t, ORV_CONNECT_STATE);

#define ORV_DEVICE_TYPE(X)   \
    X(unknown, 0, "Unknown") \
    X(vk640, 1, "VK640")     \
    X(vk210, 2, "VK210")

ORV_ENUM(DeviceType, uint8_t, ORV_DEVICE_TYPE);

// Reader-level settings and states.

#define ORV_BEEPER_VOLUME(X) \
    X(mute, 0, "Mute")       \
    X(low, 1, "Low")         \
    X(medium, 2, "Medium")   \
    X(high, 3, "High")

ORV_ENUM(BeeperVolume, uint8_t, ORV_BEEPER_VOLUME);

#define ORV_HID_ENCODING(X) \
    X(ascii, 0, "ASCII")    \
    X(utf8, 1, "UTF8")      \
    X(big5, 2, "Big5")

ORV_ENUM(HidEncoding, uint8_t, ORV_HID_ENCODING);

#define ORV_HID_UTF8_BIG5_OUTPUT_TYPE(X) \
    X(normal, 0, "Normal")               \
    X(special, 1, "Special")

ORV_ENUM(HidUtf8Big5OutputType, uint8_t, ORV_HID_UTF8_BIG5_OUTPUT_TYPE);

#define ORV_HID_KEYBOARD_LANGUAGE(X) \
    X(us, 0, "US")                   \
    X(uk, 1, "UK")                   \
    X(swiss, 2, "Swiss")             \
    X(swedish, 3, "Swedish")         \
    X(spanish, 4, "Spanish")         \
    X(norwegian, 5, "Norwegian")     \
    X(italian, 6, "Italian")         \
    X(german, 7, "German")           \
    X(french, 8, "French")           \
    X(altMode, 9, "ALTMode")         \
    X(danish, 10, "Danish")          \
    X(partialAlt, 11, "PartialALT")  \
    X(japanese, 12, "Japanese")      \
    X(belgium, 13, "Belgium")

ORV_ENUM(HidKeyboardLanguage, uint8_t, ORV_HID_KEYBOARD_LANGUAGE);

#define ORV_HID_KEYBOARD_CASE(X) \
    X(auto_, 0, "Auto")          \
    X(lower, 1, "Lower")         \
    X(upper, 2, "Upper")

ORV_ENUM(HidKeyboardCase, uint8_t, ORV_HID_KEYBOARD_CASE);

#define ORV_DATA_SENDING_INTER_BLOCK_DELAY(X) \
    X(delay10ms, 0, "Delay 10ms")             \
    X(delay50ms, 1, "Delay 50ms")             \
    X(delay100ms, 2, "Delay 100ms")           \
    X(delay500ms, 3, "Delay 500ms")           \
    X(delay1sec, 4, "Delay 1sec")             \
    X(delay3sec, 5, "Delay 3sec")

ORV_ENUM(DataSendingInterBlockDelay, uint8_t, ORV_DATA_SENDING_INTER_BLOCK_DELAY);

#define ORV_KEY_ID(X)               \
    X(undefined, 0, "Undefined")    \
    X(triggerKey, 1, "Trigger Key") \
    X(upperKey, 2, "Upper Key")     \
    X(lowerKey, 3, "Lower Key")

ORV_ENUM(KeyID, uint8_t, ORV_KEY_ID);

#define ORV_KEY_FUNCTION(X)           \
    X(disabled, 0, "Disabled")        \
    X(scannerScan, 1, "Scanner Scan") \
    X(rfidInventory, 2, "RFID Inventory")

ORV_ENUM(KeyFunction, uint8_t, ORV_KEY_FUNCTION);

// Raw values 0, 1 and 3; no case for 2.
#define ORV_OPERATING_MODE(X)                                 \
    X(usbSpp, 0, "USB SPP (Serial Port Profile)")             \
    X(bluetoothSpp, 1, "Bluetooth SPP (Serial Port Profile)") \
    X(buffer, 3, "Buffer")

ORV_ENUM(OperatingMode, uint8_t, ORV_OPERATING_MODE);

#define ORV_POWER_SAVING_MODE(X)           \
    X(powerSaving, 0, "Power Saving Mode") \
    X(powerOn, 1, "Power On Mode. Always Power On.")

ORV_ENUM(PowerSavingMode, uint8_t, ORV_POWER_SAVING_MODE);

#define ORV_BLUETOOTH_SIGNAL_CHECKING_LEVEL(X) \
    X(normal, 0, "Normal Level")               \
    X(higher, 1, "Higher Level")

ORV_ENUM(BluetoothSignalCheckingLevel, uint8_t, ORV_BLUETOOTH_SIGNAL_CHECKING_LEVEL);

#define ORV_DATA_COLLECTION_MODE(X) \
    X(wedge, 0, "Wedge")            \
    X(auto_, 1, "Auto")             \
    X(batch, 2, "Batch")            \
    X(semiAuto, 3, "Semi-Auto")

ORV_ENUM(DataCollectionMode, uint8_t, ORV_DATA_COLLECTION_MODE);

#define ORV_BATCH_DATA_STATUS(X) \
    X(begin, 0, "Begin")         \
    X(end, 1, "End")

ORV_ENUM(BatchDataStatus, uint8_t, ORV_BATCH_DATA_STATUS);

// The radio module's region edition.
#define ORV_SKU_TYPE(X)        \
    X(unknown, 0, "Unknown")   \
    X(european, 1, "European") \
    X(us, 2, "U.S.")           \
    X(japanese, 3, "Japanese") \
    X(usAndJapanese, 4, "U.S. and Japanese")

ORV_ENUM(SkuType, uint8_t, ORV_SKU_TYPE);

#define ORV_FIRMWARE_UPDATE_STATE(X)      \
    X(start, 0, "Start")                  \
    X(stop, 1, "Stop")                    \
    X(erasingMemory, 2, "Erasing Memory") \
    X(uploading, 3, "Uploading")          \
    X(updating, 4, "Updating")            \
    X(abort, 5, "Abort")

ORV_ENUM(FirmwareUpdateState, uint8_t, ORV_FIRMWARE_UPDATE_STATE);

// The kind of an engine parameter's value (internal to the parameter codec). No display text.
#define ORV_PARAM_DATA_TYPE(X) \
    X(byte, 0x00, "")          \
    X(string, 0xF3, "")        \
    X(word, 0xF4, "")          \
    X(array, 0xF6, "")         \
    X(multiPacket, 0xF7, "")

ORV_ENUM(ParamDataType, uint8_t, ORV_PARAM_DATA_TYPE);

// Whether a scan-engine parameter change is kept (internal). Raw values 0 and 8; no display text.
#define ORV_CHANGE_TYPE(X) \
    X(temporary, 0, "")    \
    X(permanent, 8, "")

ORV_ENUM(ChangeType, uint8_t, ORV_CHANGE_TYPE);

// The UHF radio module fitted in a reader.
#define ORV_UHF_MODULE_TYPE(X)     \
    X(unknown, 0, "Unknown")       \
    X(st25ru3993, 1, "ST25RU3993") \
    X(qm5520, 2, "QM5520")

ORV_ENUM(UhfModuleType, uint8_t, ORV_UHF_MODULE_TYPE);

// The module type whose display text equals `modelText` ignoring case (whole text); `unknown`
// when none does.
constexpr UhfModuleType uhfModuleTypeFromModelText(std::string_view modelText) {
    return fromDescriptionIgnoringCase<UhfModuleType>(modelText).value_or(UhfModuleType::unknown);
}

// Whether control characters in scanned data are sent on.
#define ORV_CONTROL_CHARACTER_FILTER(X) \
    X(noSend, 0, "No Send")             \
    X(send, 1, "Send")                  \
    X(partialSend, 2, "Partial Send")

ORV_ENUM(ControlCharacterFilter, uint8_t, ORV_CONTROL_CHARACTER_FILTER);

// The Gen2 session; s4 is a case like the others.
#define ORV_SESSION(X)    \
    X(s0, 0, "Session 0") \
    X(s1, 1, "Session 1") \
    X(s2, 2, "Session 2") \
    X(s3, 3, "Session 3") \
    X(s4, 4, "Session 4")

ORV_ENUM(Session, uint8_t, ORV_SESSION);

// Block permalock: read the lock state or lock.
#define ORV_READ_LOCK(X) \
    X(read, 0, "Read")   \
    X(lock, 1, "Lock")

ORV_ENUM(ReadLock, uint8_t, ORV_READ_LOCK);

// Authenticate: keep the tag's response or send it back.
#define ORV_AUTHENTICATION_RESPONSE(X) \
    X(store, 0, "Store")               \
    X(send, 1, "Send")

ORV_ENUM(AuthenticationResponse, uint8_t, ORV_AUTHENTICATION_RESPONSE);

#define ORV_ANTENNA_SWITCHING_MODE(X) \
    X(stop, 0, "Stop")                \
    X(nonStop, 1, "Non-Stop")

ORV_ENUM(AntennaSwitchingMode, uint8_t, ORV_ANTENNA_SWITCHING_MODE);

// The terminator appended to scanned data.
#define ORV_DATA_TERMINATOR(X)                      \
    X(none, 0, "None")                              \
    X(cr, 1, "CR (Carriage Return)")                \
    X(lf, 2, "LF (Line Feed)")                      \
    X(crlf, 3, "CRLF (Carriage Return, Line Feed)") \
    X(tab, 4, "Tab")

ORV_ENUM(DataTerminator, uint8_t, ORV_DATA_TERMINATOR);

// GS1 application-identifier handling of scanned data.
#define ORV_GS1_AI(X)         \
    X(noApply, 0, "No Apply") \
    X(apply, 1, "Apply")      \
    X(applyWithSeparator, 2, "Apply With Separator")

ORV_ENUM(Gs1Ai, uint8_t, ORV_GS1_AI);

// The event notifications that can be switched: the low byte of their frames' command codes.
#define ORV_EVENT_NOTIFICATION_ID(X)           \
    X(rfidLbtStatus, 0xE1, "RFID LBT Status.") \
    X(keyEvent, 0xE4, "Key Event")             \
    X(batchDataBeginEnd, 0xE5, "Batch Data Begin/End")

ORV_ENUM(EventNotificationId, uint8_t, ORV_EVENT_NOTIFICATION_ID);

}  // namespace orvane
