#pragma once

// Inventory and tag-access requests of the Qm5520 radio module over the Vk210 frame. Each
// command's request fields are listed once, in wire order, and written by toBytes(); replies
// carry only the status byte. Tags found arrive as inventory-data frames and access outcomes as
// tagAccessData frames (InventoryCommands.h).
//
// Field rules, checked when the request is framed (toBytes() throws ReaderException):
//   - a password is exactly 4 bytes and a lock mask exactly 3, else 0x5002;
//   - write data is whole words: an odd byte count gives 0x5002, more than 255 words (510
//     bytes) 0x4003.
// description() and the request log lines show the password as "********".

#include <cstdint>

#include "orvanerfid/commands/CommandFields.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/RadioEnums.h"

namespace orvane {

// Request enumerations of the tag commands; no display texts.
#define ORV_RFID_CMD_READ_LOCK(X) \
    X(read, 0, "")                \
    X(lock, 1, "")

ORV_ENUM(OrvRfidCmdReadLock, uint8_t, ORV_RFID_CMD_READ_LOCK);

#define ORV_RFID_CMD_AUTHENTICATION_RESPONSE(X) \
    X(store, 0, "")                             \
    X(send, 1, "")

ORV_ENUM(OrvRfidCmdAuthenticationResponse, uint8_t, ORV_RFID_CMD_AUTHENTICATION_RESPONSE);

#define ORV_RFID_CMD_INCLUDE_REPLY_LENGTH(X) \
    X(omitLength, 0, "")                     \
    X(includeLength, 1, "")

ORV_ENUM(OrvRfidCmdIncludeReplyLength, uint8_t, ORV_RFID_CMD_INCLUDE_REPLY_LENGTH);

#define ORV_RFID_CMD_SELECT_MODE(X) \
    X(clear, 0, "")                 \
    X(add, 1, "")                   \
    X(clearAndAdd, 2, "")

ORV_ENUM(OrvRfidCmdSelectMode, uint8_t, ORV_RFID_CMD_SELECT_MODE);

// The access password every command starts with (6B 1F 0D 94) until the driver sets the
// caller's.
inline Bytes defaultAccessPassword() {
    return {0x6B, 0x1F, 0x0D, 0x94};
}
inline Bytes emptyLockMask() {
    return Bytes(3);
}

namespace fields {
using Password = FixedBytes<4>;
using LockMask = FixedBytes<3>;
}  // namespace fields

ORV_PLAIN_COMMAND(OrvRfidCmd_Inventory, inventory);
ORV_PLAIN_COMMAND(OrvRfidCmd_Cancel, cancel);

// Each request's fields: X(name, codec, default), in wire order.

#define ORV_READ_FIELDS(X)                                 \
    X(password, fields::Password, defaultAccessPassword()) \
    X(bank, fields::EnumByte<BankType>, BankType::epc)     \
    X(address, fields::U16, 2)                             \
    X(length, fields::U8, 6)
ORV_FIELDS_COMMAND(OrvRfidCmd_Read, read, ORV_READ_FIELDS);

// The word count is half the byte count of writeData, then the bytes.
#define ORV_WRITE_FIELDS(X)                                \
    X(password, fields::Password, defaultAccessPassword()) \
    X(bank, fields::EnumByte<BankType>, BankType::epc)     \
    X(address, fields::U16, 2)                             \
    X(writeData, fields::WordData, Bytes())
ORV_FIELDS_COMMAND(OrvRfidCmd_Write, write, ORV_WRITE_FIELDS);
ORV_FIELDS_COMMAND(OrvRfidCmd_BlockWrite, blockWrite, ORV_WRITE_FIELDS);

// `mask` is the 3-byte payload of a LockParam or PermaLockParam (toMaskEx()).
#define ORV_LOCK_FIELDS(X)                                 \
    X(password, fields::Password, defaultAccessPassword()) \
    X(mask, fields::LockMask, emptyLockMask())
class OrvRfidCmd_Lock : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_Lock, OrvRfidCmdId::lock)
    ORV_FIELD_LIST(ORV_LOCK_FIELDS)

    OrvRfidCmd_Lock(Bytes mask, Bytes password) : OrvRfidCmd_Lock() {
        this->mask = std::move(mask);
        this->password = std::move(password);
    }
};

#define ORV_KILL_FIELDS(X) X(killPassword, fields::Password, defaultAccessPassword())
ORV_FIELDS_COMMAND(OrvRfidCmd_Kill, kill, ORV_KILL_FIELDS);

#define ORV_BLOCK_PERMA_LOCK_FIELDS(X)                                          \
    X(password, fields::Password, defaultAccessPassword())                      \
    X(readLock, fields::EnumByte<OrvRfidCmdReadLock>, OrvRfidCmdReadLock::read) \
    X(bank, fields::EnumByte<BankType>, BankType::epc)                          \
    X(address, fields::U16, 2)                                                  \
    X(length, fields::U8, 6)                                                    \
    X(mask, fields::RawBytes, Bytes())
ORV_FIELDS_COMMAND(OrvRfidCmd_BlockPermaLock, blockPermaLock, ORV_BLOCK_PERMA_LOCK_FIELDS);

#define ORV_AUTHENTICATE_FIELDS(X)                                \
    X(password, fields::Password, defaultAccessPassword())        \
    X(sedRep, fields::EnumByte<OrvRfidCmdAuthenticationResponse>, \
      OrvRfidCmdAuthenticationResponse::send)                     \
    X(incRepLen, fields::EnumByte<OrvRfidCmdIncludeReplyLength>,  \
      OrvRfidCmdIncludeReplyLength::includeLength)                \
    X(csi, fields::U8, 1)                                         \
    X(mlen, fields::U16, 0)                                       \
    X(msg, fields::RawBytes, Bytes())                             \
    X(expRepLen, fields::U16, 0)
ORV_FIELDS_COMMAND(OrvRfidCmd_Authenticate, authenticate, ORV_AUTHENTICATE_FIELDS);

#define ORV_SELECT_FIELDS(X)                                                     \
    X(mode, fields::EnumByte<OrvRfidCmdSelectMode>, OrvRfidCmdSelectMode::add)   \
    X(selTarget, fields::EnumByte<MaskTarget>, MaskTarget::s0)                   \
    X(action, fields::EnumByte<MaskAction>, MaskAction::matchAssertElseDeassert) \
    X(trunc, fields::Flag, false)                                                \
    X(bank, fields::EnumByte<BankType>, BankType::epc)                           \
    X(address, fields::U16, 0)                                                   \
    X(length, fields::U8, 0)                                                     \
    X(selectData, fields::RawBytes, Bytes())
class OrvRfidCmd_Select : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_Select, OrvRfidCmdId::select)
    ORV_FIELD_LIST(ORV_SELECT_FIELDS)

    explicit OrvRfidCmd_Select(OrvRfidCmdSelectMode mode) : OrvRfidCmd_Select() {
        this->mode = mode;
    }
};

#define ORV_INVENTORY_WITH_USER_DATA_FIELDS(X)             \
    X(password, fields::Password, defaultAccessPassword()) \
    X(bank, fields::EnumByte<BankType>, BankType::epc)     \
    X(address, fields::U16, 2)                             \
    X(length, fields::U8, 0)
ORV_FIELDS_COMMAND(OrvRfidCmd_InventoryWithUserSpecifiedData, inventoryWithUserSpecifiedData,
                   ORV_INVENTORY_WITH_USER_DATA_FIELDS);

#undef ORV_READ_FIELDS
#undef ORV_WRITE_FIELDS
#undef ORV_LOCK_FIELDS
#undef ORV_KILL_FIELDS
#undef ORV_BLOCK_PERMA_LOCK_FIELDS
#undef ORV_AUTHENTICATE_FIELDS
#undef ORV_SELECT_FIELDS
#undef ORV_INVENTORY_WITH_USER_DATA_FIELDS

}  // namespace orvane
