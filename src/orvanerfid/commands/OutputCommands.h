#pragma once

// Keyboard output, batch data and Bluetooth commands of the Vk210 command frame, code group
// 0xF0: HID keyboard output, inter-block delay, data collection mode, end-of-batch message, data
// acknowledgement, batch release, connection mode, automatic reconnection, and the Bluetooth
// address, name, unpairing and signal checking level. The group pattern is told in
// SledCommands.h. Pure codecs: no threads, no I/O.

#include <cstdint>
#include <optional>

#include "orvanerfid/commands/CommandFields.h"
#include "orvanerfid/core/Identifiers.h"

namespace orvane {

#define ORV_RFID_CMD_DATA_ACK(X) \
    X(disable, 0x00, "")         \
    X(enable, 0x01, "")          \
    X(withoutRetry, 0x02, "")

ORV_ENUM(OrvRfidCmdDataAck, uint8_t, ORV_RFID_CMD_DATA_ACK);

#define ORV_RFID_CMD_BLUETOOTH_SIGNAL_CHECKING_LEVEL(X) \
    X(normal, 0x00, "")                                 \
    X(higher, 0x01, "")

ORV_ENUM(OrvRfidCmdBluetoothSignalCheckingLevel, uint8_t,
         ORV_RFID_CMD_BLUETOOTH_SIGNAL_CHECKING_LEVEL);

// The public ConnectionMode's buffer mode (6) has no value here: fromRaw gives none for it, and
// the device layer refuses to set it (0x4001).
#define ORV_RFID_CMD_CONNECTION_MODE(X) \
    X(btHid, 0x00, "")                  \
    X(btSpp, 0x01, "")                  \
    X(usbHid, 0x02, "")                 \
    X(usbSpp, 0x03, "")                 \
    X(bleHid, 0x04, "")                 \
    X(bleSpp, 0x05, "")

ORV_ENUM(OrvRfidCmdConnectionMode, uint8_t, ORV_RFID_CMD_CONNECTION_MODE);

#define ORV_RFID_CMD_DATA_COLLECTION_MODE(X) \
    X(wedge, 0x00, "")                       \
    X(auto_, 0x01, "")                       \
    X(batch, 0x02, "")                       \
    X(semiAuto, 0x03, "")

ORV_ENUM(OrvRfidCmdDataCollectionMode, uint8_t, ORV_RFID_CMD_DATA_COLLECTION_MODE);

#define ORV_RFID_CMD_DATA_SENDING_INTER_BLOCK_DELAY(X) \
    X(delay10ms, 0x00, "")                             \
    X(delay50ms, 0x01, "")                             \
    X(delay100ms, 0x02, "")                            \
    X(delay500ms, 0x03, "")                            \
    X(delay1sec, 0x04, "")                             \
    X(delay3sec, 0x05, "")

ORV_ENUM(OrvRfidCmdDataSendingInterBlockDelay, uint8_t,
         ORV_RFID_CMD_DATA_SENDING_INTER_BLOCK_DELAY);

#define ORV_RFID_CMD_HID_INTER_CHARACTER_DELAY(X) \
    X(delay1ms, 0x00, "")                         \
    X(delay5ms, 0x01, "")                         \
    X(delay10ms, 0x02, "")                        \
    X(delay20ms, 0x03, "")                        \
    X(delay50ms, 0x04, "")                        \
    X(delay100ms, 0x05, "")

ORV_ENUM(OrvRfidCmdHidInterCharacterDelay, uint8_t, ORV_RFID_CMD_HID_INTER_CHARACTER_DELAY);

#define ORV_RFID_CMD_HID_KEYBOARD_LANGUAGE(X) \
    X(us, 0x00, "")                           \
    X(uk, 0x01, "")                           \
    X(swiss, 0x02, "")                        \
    X(swedish, 0x03, "")                      \
    X(spanish, 0x04, "")                      \
    X(norwegian, 0x05, "")                    \
    X(italian, 0x06, "")                      \
    X(german, 0x07, "")                       \
    X(french, 0x08, "")                       \
    X(altMode, 0x09, "")                      \
    X(danish, 0x0A, "")                       \
    X(partialAlt, 0x0B, "")                   \
    X(japanese, 0x0C, "")                     \
    X(belgium, 0x0D, "")

ORV_ENUM(OrvRfidCmdHidKeyboardLanguage, uint8_t, ORV_RFID_CMD_HID_KEYBOARD_LANGUAGE);

#define ORV_RFID_CMD_HID_KEYBOARD_CASE(X) \
    X(auto_, 0x00, "")                    \
    X(lower, 0x01, "")                    \
    X(upper, 0x02, "")

ORV_ENUM(OrvRfidCmdHidKeyboardCase, uint8_t, ORV_RFID_CMD_HID_KEYBOARD_CASE);

#define ORV_RFID_CMD_HID_ENCODING(X) \
    X(ascii, 0x00, "")               \
    X(utf8, 0x01, "")                \
    X(big5, 0x02, "")

ORV_ENUM(OrvRfidCmdHidEncoding, uint8_t, ORV_RFID_CMD_HID_ENCODING);

#define ORV_RFID_CMD_HID_OUTPUT_TYPE_FOR_UTF8_BIG5(X) \
    X(normal, 0x00, "")                               \
    X(special, 0x01, "")

ORV_ENUM(OrvRfidCmdHidOutputTypeForUtf8Big5, uint8_t, ORV_RFID_CMD_HID_OUTPUT_TYPE_FOR_UTF8_BIG5);

namespace fields {

// The connection mode byte: an unknown byte reads as btSpp, but the buffer mode's byte, which the
// reader may report and which has no command value, gives no value rather than a wrong mode.
struct ConnectionModeByte {
    using value_type = OrvRfidCmdConnectionMode;
    static void write(Bytes& out, OrvRfidCmdConnectionMode v) {
        EnumByte<value_type>::write(out, v);
    }
    static std::optional<OrvRfidCmdConnectionMode> read(ByteView d, std::size_t at) {
        if (at >= d.size() || d[at] == rawValue(ConnectionMode::bufferMode)) return std::nullopt;
        return EnumByteOr<value_type, OrvRfidCmdConnectionMode::btSpp>::read(d, at);
    }
};

}  // namespace fields

// The address and name replies are the whole data as ASCII text (no length, no end byte); bytes
// above 0x7F give no value. Empty data is the empty text.
class OrvRfidCmd_BluetoothAddress : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_BluetoothAddress, OrvRfidCmdId::btAddress)
    std::optional<std::string> bluetoothAddress() const {
        return fields::AsciiText::read(data_, 0);
    }
};

class OrvRfidCmd_BluetoothName : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_BluetoothName, OrvRfidCmdId::btName)
    std::optional<std::string> bluetoothName() const { return fields::AsciiText::read(data_, 0); }
};

ORV_PLAIN_COMMAND(OrvRfidCmd_UnpairBluetooth, btUnpair);
ORV_PLAIN_COMMAND(OrvRfidCmd_RetrieveBatchedData, retrieveBatchedData);

// The one-value pairs of this group:
//   X(get class, set class, get code, set code, value name, set default, codec)
// The inter-character delay starts from delay1ms but reads an unknown byte as delay10ms.
#define ORV_OUTPUT_SETTING_PAIRS(X)                                                              \
    X(OrvRfidCmd_GetAutoConnection, OrvRfidCmd_SetAutoConnection, getAutoConnection,             \
      setAutoConnection, autoConnection, false, ::orvane::fields::Flag)                          \
    X(OrvRfidCmd_GetConnectionMode, OrvRfidCmd_SetConnectionMode, getConnectionMode,             \
      setConnectionMode, connectionMode, OrvRfidCmdConnectionMode::btSpp,                        \
      ::orvane::fields::ConnectionModeByte)                                                      \
    X(OrvRfidCmd_GetDataCollectionMode, OrvRfidCmd_SetDataCollectionMode, getDataCollectionMode, \
      setDataCollectionMode, dataCollectionMode, OrvRfidCmdDataCollectionMode::wedge,            \
      ::orvane::fields::EnumByteOr<OrvRfidCmdDataCollectionMode,                                 \
                                   OrvRfidCmdDataCollectionMode::wedge>)                         \
    X(OrvRfidCmd_GetDataSendingInterBlockDelay, OrvRfidCmd_SetDataSendingInterBlockDelay,        \
      getDataSendingInterBlockDelay, setDataSendingInterBlockDelay, interBlockDelay,             \
      OrvRfidCmdDataSendingInterBlockDelay::delay10ms,                                           \
      ::orvane::fields::EnumByteOr<OrvRfidCmdDataSendingInterBlockDelay,                         \
                                   OrvRfidCmdDataSendingInterBlockDelay::delay10ms>)             \
    X(OrvRfidCmd_GetHidInterCharacterDelay, OrvRfidCmd_SetHidInterCharacterDelay,                \
      getHidInterCharacterDelay, setHidInterCharacterDelay, interCharacterDelay,                 \
      OrvRfidCmdHidInterCharacterDelay::delay1ms,                                                \
      ::orvane::fields::EnumByteOr<OrvRfidCmdHidInterCharacterDelay,                             \
                                   OrvRfidCmdHidInterCharacterDelay::delay10ms>)                 \
    X(OrvRfidCmd_GetHidKeyboardLanguage, OrvRfidCmd_SetHidKeyboardLanguage,                      \
      getHidKeyboardLanguage, setHidKeyboardLanguage, keyboardLanguage,                          \
      OrvRfidCmdHidKeyboardLanguage::us,                                                         \
      ::orvane::fields::EnumByteOr<OrvRfidCmdHidKeyboardLanguage,                                \
                                   OrvRfidCmdHidKeyboardLanguage::us>)                           \
    X(OrvRfidCmd_GetHidKeyboardCase, OrvRfidCmd_SetHidKeyboardCase, getHidKeyboardCase,          \
      setHidKeyboardCase, keyboardCase, OrvRfidCmdHidKeyboardCase::auto_,                        \
      ::orvane::fields::EnumByteOr<OrvRfidCmdHidKeyboardCase, OrvRfidCmdHidKeyboardCase::auto_>)

ORV_OUTPUT_SETTING_PAIRS(ORV_SETTING_PAIR)

// Spare pairs: the get replies are not read; the set requests write their one byte.
#define ORV_OUTPUT_SPARE_PAIRS(X)                                                               \
    X(OrvRfidCmd_GetDataAckSetting, OrvRfidCmd_SetDataAckSetting, getDataAckSetting,            \
      setDataAckSetting, dataAck, OrvRfidCmdDataAck::disable,                                   \
      ::orvane::fields::EnumByte<OrvRfidCmdDataAck>)                                            \
    X(OrvRfidCmd_GetBluetoothSignalCheckingLevel, OrvRfidCmd_SetBluetoothSignalCheckingLevel,   \
      getBluetoothSignalCheckingLevelSetting, setBluetoothSignalCheckingLevelSetting,           \
      signalCheckingLevel, OrvRfidCmdBluetoothSignalCheckingLevel::normal,                      \
      ::orvane::fields::EnumByte<OrvRfidCmdBluetoothSignalCheckingLevel>)                       \
    X(OrvRfidCmd_GetHidEncoding, OrvRfidCmd_SetHidEncoding, getHidEncoding, setHidEncoding,     \
      encoding, OrvRfidCmdHidEncoding::utf8, ::orvane::fields::EnumByte<OrvRfidCmdHidEncoding>) \
    X(OrvRfidCmd_GetHidOutputTypeForUtf8Big5, OrvRfidCmd_SetHidOutputTypeForUtf8Big5,           \
      getHidOutputTypeForUtf8Big5, setHidOutputTypeForUtf8Big5, outputType,                     \
      OrvRfidCmdHidOutputTypeForUtf8Big5::normal,                                               \
      ::orvane::fields::EnumByte<OrvRfidCmdHidOutputTypeForUtf8Big5>)                           \
    X(OrvRfidCmd_GetEndOfBatchSendingMessage, OrvRfidCmd_SetEndOfBatchSendingMessage,           \
      getEndOfBatchSendingMessage, setEndOfBatchSendingMessage, enable, false,                  \
      ::orvane::fields::Flag)

ORV_OUTPUT_SPARE_PAIRS(ORV_SPARE_SETTING_PAIR)

}  // namespace orvane
