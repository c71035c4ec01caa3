#pragma once

// Firmware file transfer and factory writes of the Vk210 reader. Replies carry only the status
// byte. The update exchange: StartFileTransfer (name and size), one SendFile per 1000-byte block
// (the last one shorter), then FirmwareUpdate, each checked before the next.

#include <cstdint>
#include <string>

#include "orvanerfid/commands/CommandFields.h"
#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

// How the reader applies the transferred file. No display text.
#define ORV_RFID_CMD_UPDATE_MODE(X) \
    X(fileUpdateMode, 1, "")        \
    X(yModemUpdateMode, 2, "")

ORV_ENUM(OrvRfidCmdUpdateMode, uint8_t, ORV_RFID_CMD_UPDATE_MODE);

// Request data: the UTF-8 file name, 0x00, the size in decimal digits, 0x00 ("a.bin", 1024 give
// 61 2E 62 69 6E 00 31 30 32 34 00). A name holding a 0x00 byte is refused with 0x5002.
#define ORV_START_FILE_TRANSFER_FIELDS(X)                  \
    X(fileName, fields::ZeroTerminatedText, std::string()) \
    X(fileSize, fields::DecimalText, 0)

class OrvRfidCmd_StartFileTransfer : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_StartFileTransfer, OrvRfidCmdId::startFileTransfer)
    ORV_FIELD_LIST(ORV_START_FILE_TRANSFER_FIELDS)

    OrvRfidCmd_StartFileTransfer(std::string fileName, uint32_t fileSize)
        : OrvRfidCmd_StartFileTransfer() {
        this->fileName = std::move(fileName);
        this->fileSize = fileSize;
    }
};

#undef ORV_START_FILE_TRANSFER_FIELDS

// Request data: one block of the file as it is.
ORV_SET_VALUE_COMMAND(OrvRfidCmd_SendFile, sendFileData, fileData, Bytes(), fields::RawBytes);

// Request data: the raw value of `updateMode`.
ORV_SET_VALUE_COMMAND(OrvRfidCmd_FirmwareUpdate, performFirmwareUdpate, updateMode,
                      OrvRfidCmdUpdateMode::fileUpdateMode, fields::EnumByte<OrvRfidCmdUpdateMode>);

// Factory writes. Request data: the serial number's UTF-8 bytes; the SKU's raw byte.
ORV_SET_VALUE_COMMAND(OrvRfidCmd_WriteSerialNumber, writeSerialNumber, serialNumber, std::string(),
                      fields::Utf8Text);
ORV_SET_VALUE_COMMAND(OrvRfidCmd_WriteSkuId, writeSkuId, skuId, OrvRfidCmdSkuId::unknown,
                      fields::EnumByte<OrvRfidCmdSkuId>);

}  // namespace orvane
