#pragma once

// Identity, temperature and reset commands of the Vk210 reader and of the Qm5520 radio module
// behind the same frame. Requests carry no data except the reset; a reply holds the status byte
// and the value. Accessors read the reply data and give no value when they are too short.

#include <cstdint>
#include <optional>
#include <string>

#include "orvanerfid/commands/CommandFields.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

// What a reset does. No display text.
#define ORV_RFID_CMD_RFID_RESET(X) \
    X(rebootOnly, 0x00, "")        \
    X(factoryReset, 0x01, "")

ORV_ENUM(OrvRfidCmdRfidReset, uint8_t, ORV_RFID_CMD_RFID_RESET);

// The radio module's SKU byte. There is no 0x03: 0x04 is `jpn`. No display text.
#define ORV_RFID_CMD_SKU_ID(X) \
    X(unknown, 0x00, "")       \
    X(fcc, 0x01, "")           \
    X(etsi, 0x02, "")          \
    X(jpn, 0x04, "")

ORV_ENUM(OrvRfidCmdSkuId, uint8_t, ORV_RFID_CMD_SKU_ID);

// `version()`: every reply byte in decimal, joined by "." (1, 2, 10 give "1.2.10").
ORV_GET_VALUE_COMMAND(OrvRfidCmd_FirmwareVersion, firmware, version, fields::VersionText);
ORV_GET_VALUE_COMMAND(OrvRfidCmd_RfidModuleFirmware, rfidModuleFirmware, version,
                      fields::VersionText);

// `name()`: the reply as UTF-8 text; bytes that are not valid UTF-8 give the empty text.
ORV_GET_VALUE_COMMAND(OrvRfidCmd_ModelName, modelName, name, fields::Utf8Text);
ORV_GET_VALUE_COMMAND(OrvRfidCmd_RfidModuleModel, rfidModuleModel, name, fields::Utf8Text);

// The device layer reads the serial number from `data()`.
ORV_PLAIN_COMMAND(OrvRfidCmd_SerialNumber, serialNumber);

// `skuId()`: the reply's first byte; a byte that is no SKU gives no value.
ORV_GET_VALUE_COMMAND(OrvRfidCmd_Sku, skuId, skuId, fields::EnumByte<OrvRfidCmdSkuId>);
ORV_GET_VALUE_COMMAND(OrvRfidCmd_RfidModuleSkuId, rfidModuleSkuId, skuId,
                      fields::EnumByte<OrvRfidCmdSkuId>);

// Replies: two bytes, big-endian, tenths of a degree Celsius. The link layer raises the
// temperature event from the PA reply.
ORV_PLAIN_COMMAND(OrvRfidCmd_AmbientTemperature, ambientTemperature);
ORV_PLAIN_COMMAND(OrvRfidCmd_PaTemperature, paTemperature);

// Request data: one byte, the reset kind ([0x00] reboot, [0x01] factory reset).
ORV_SET_VALUE_COMMAND(OrvRfidCmd_ResetDevice, resetDevice, resetDevice,
                      OrvRfidCmdRfidReset::rebootOnly, fields::EnumByte<OrvRfidCmdRfidReset>);

}  // namespace orvane
