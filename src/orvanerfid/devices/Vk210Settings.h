#pragma once

// Internal: the reader settings of the Vk210 as one table of rows, shared by the single-setting
// operations of Vk210Device and by its multi-setting hooks, and the one request-and-reply
// exchange that every Vk210 operation runs.
//
// A row names the get command of a setting and the decoder of its reply, and the builder of its
// write request with the checks the reader's limits impose. Both paths use the same row, so a
// setting reads, writes and refuses alike whether it travels alone or with others.
//
// Pure functions and constant tables, except `request`/`exchange` and the row runners, which
// call the protocol's send on the caller's thread (the protocol serialises sends).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/commands/SledCommands.h"
#include "orvanerfid/core/Battery.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/Indicators.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/params/DeviceValue.h"

namespace orvane::vk210 {

// The timeout of an ordinary exchange, in milliseconds.
inline constexpr int kTimeout = 3000;

// ---- Exchanges --------------------------------------------------------------------------------

// Sends one request frame and parses its reply as `Cmd`, without looking at the reply status:
// a failed send throws ReaderException with the send's code (0x5000 when the reply has no
// bytes), a malformed reply 0x5002.
template <typename Cmd = OrvaneRfidCommand>
Cmd request(BaseProtocol& protocol, ByteView frame, std::string_view tag, int timeout = kTimeout);

// `request`, then a reply status other than success throws ReaderException with the status's
// code and "<tag> - The return code is not noError.(<status>".
template <typename Cmd = OrvaneRfidCommand>
Cmd exchange(BaseProtocol& protocol, ByteView frame, std::string_view tag, int timeout = kTimeout) {
    Cmd reply = request<Cmd>(protocol, frame, tag, timeout);
    reply.checkStatus(tag);
    return reply;
}

template <typename Cmd>
Cmd request(BaseProtocol& protocol, ByteView frame, std::string_view tag, int timeout) {
    const Bytes bytes = checkResponse(tag, protocol.send(frame, timeout));
    return Cmd(OrvaneRfidCommand::ReceiveBytes{bytes});
}

// ---- Value rules ------------------------------------------------------------------------------

// The SKU of the reader's SKU byte: 1 (FCC) gives U.S., 2 (ETSI) European, 4 (JPN) Japanese;
// anything else, and no byte, unknown.
SkuType skuTypeFromSkuByte(std::optional<uint8_t> byte);
// Exactly two bytes: their big-endian value in tenths of a degree; any other length 0.0.
double temperatureFromData(ByteView data);
// The first two bytes big-endian (tenths of a degree); 0 for fewer than two.
uint16_t protectionTenthsFromData(ByteView data);
// The short battery record by the reply's length (1: state, 2: flags and percentage).
BatteryStatus batteryStatusFromData(ByteView data);
// Byte 1: good read, connection, setting, error; byte 0: power on, power off (0 when missing).
ScannerIndicator scannerIndicatorFromData(ByteView data);
// The single request's three data bytes: bits 31-24 and 23-16 of the OR of the flags, then 0x00.
// A type that is none of the thirteen flags is refused with 0x4003.
Bytes batteryStatusExtendedRequestData(const std::vector<BatteryStatusExtendedType>& types);

// ---- Checks (each throws ReaderException before anything is sent) -----------------------------

// 0x4001 "The scan engine is not available." when there is no engine.
void checkEngine(bool hasEngine);
// The reader's key for a public key: Upper Key is key 0, Lower Key key 1; any other key 0x4001
// "The <key> is not supported for VK210.".
OrvRfidCmdKeyId readerKey(KeyID key);
// Only 0 (BT HID), 1 (BT SPP) and 3 (USB SPP); others 0x4001 "The <mode> is not supported...".
void checkConnectionMode(ConnectionMode mode);
// Swiss, Swedish, Norwegian, ALT mode, partial ALT and Belgium: 0x4001.
void checkHidKeyboardLanguage(HidKeyboardLanguage language);
// No vibrator and no blue LED (0x4001, in that order); an LED or beep outside its cases 0x4003.
void checkDeviceIndicator(const DeviceIndicator& indicator);
// Every scanner event beeper or nothing, power on and off nothing (0x4001, in field order); a
// field with bits outside its place 0x4003.
void checkScannerIndicator(const ScannerIndicator& indicator);

// ---- The setting rows -------------------------------------------------------------------------

struct SettingRow {
    DeviceParamId id;
    // The get command and the single get operation's tag; unknown for an action.
    OrvRfidCmdId getCommand;
    std::string_view getTag;
    // The typed value of a reply of `getCommand`; may throw ReaderException for a reply that
    // holds no value (a short date).
    DeviceValue (*decode)(const OrvaneRfidCommand& reply);
    // The write request of a typed value, after the checks; nullptr for a read-only setting.
    // A value of another type than the id's is refused with 0x5002, one outside its cases
    // with 0x4003.
    Bytes (*build)(const DeviceValue& value);
    std::string_view setTag;
    // A scan-engine setting: refused without an engine on the single path.
    bool needsEngine;
};

// Every row, in id order.
std::span<const SettingRow> settingRows();
// The row of an id; nullptr when this reader has none.
const SettingRow* settingRow(DeviceParamId id);

// The read request of a row. Id 22 asks for the app bundle id (0x0B); id 34 for `key`; id 61
// for `batteryTypes` as a four-byte mask.
Bytes readRequest(const SettingRow& row, OrvRfidCmdKeyId key = OrvRfidCmdKeyId::upperKey,
                  const std::vector<BatteryStatusExtendedType>& batteryTypes = {});

// The single read of a row: engine check, exchange, decode (before the status test, so that a
// short date is refused as such), status test.
DeviceValue readSetting(BaseProtocol& protocol, const SettingRow& row, bool hasEngine,
                        ByteView frame);
DeviceValue readSetting(BaseProtocol& protocol, const SettingRow& row, bool hasEngine);
// The single write of a row: engine check, build (with the checks), exchange.
void writeSetting(BaseProtocol& protocol, const SettingRow& row, bool hasEngine,
                  const DeviceValue& value);

}  // namespace orvane::vk210
