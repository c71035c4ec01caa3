#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

#define ORV_RESULT_CODE(X)                                                         \
    X(noError, 0x0000, "No Error")                                                 \
    X(otherError, 0x0001, "Other Error")                                           \
    X(undefined, 0x0002, "Undefined")                                              \
    X(memoryOverrun, 0x0003, "Memory Overrun")                                     \
    X(memoryLocked, 0x0004, "Memory Locked")                                       \
    X(responseBufferOverflow, 0x0005, "Response Buffer Overflow")                  \
    X(commandNotEncapsulated, 0x0006, "Command Not Encapsulated")                  \
    X(insufficientPower, 0x000B, "Insufficient Power")                             \
    X(insufficientPrivilege, 0x000C, "Insufficient Privilege")                     \
    X(cryptoSuiteError, 0x000D, "Crypto Suite Error")                              \
    X(nonSpecificError, 0x000F, "Non-Specific Error")                              \
    X(invalidModuleObject, 0x4000, "Invalid Module Object")                        \
    X(notSupported, 0x4001, "Not Supported")                                       \
    X(inOperation, 0x4002, "In Operation")                                         \
    X(outOfRange, 0x4003, "Out of Range")                                          \
    X(notSupportedBeepFunction, 0x4010, "Not Supported Beep Function")             \
    X(notSupportedVibrationFunction, 0x4011, "Not Supported Vibration Function")   \
    X(notSupportedLightFunction, 0x4012, "Not Supported Light Function")           \
    X(notSupportedNormalMode, 0x4013, "Not Supported Normal Mode")                 \
    X(notSupportedBarcodeMode, 0x4014, "Not Supported Barcode Mode")               \
    X(notSupportedKeyMode, 0x4015, "Not Supported Key Mode")                       \
    X(invalidResponse, 0x5000, "Invalid Response")                                 \
    X(invalidResponseIndex, 0x5001, "Invalid Response Index")                      \
    X(invalidParameter, 0x5002, "Invalid Parameter")                               \
    X(invalidResponseData, 0x5003, "Invalid Response Data")                        \
    X(invalidResponseExtendParameter, 0x5004, "Invalid Response Extend Parameter") \
    X(failedToProcessParameter, 0x5005, "Failed to process Parameter")             \
    X(notFoundParameter, 0x5006, "Not Found Parameter")                            \
    X(sendFailed, 0x6000, "Send Failed")                                           \
    X(receiveFailed, 0x6001, "Receive Failed")                                     \
    X(sendTimeout, 0x6002, "Send Timeout")                                         \
    X(receiveTimeout, 0x6003, "Receive Timeout")                                   \
    X(invalidSendPacket, 0x6004, "Invalid Send Packet")                            \
    X(invalidReceivePacket, 0x6005, "Invalid Receive Packet")                      \
    X(connectFailed, 0x6006, "Connect Failed")                                     \
    X(timeout, 0x7000, "Timeout")                                                  \
    X(systemError, 0x7FFF, "System Error")                                         \
    X(handleMismatch, 0xF001, "Handle Mismatch")                                   \
    X(crcError, 0xF002, "CRC error on tag response")                               \
    X(noTagReply, 0xF003, "No tag reply")                                          \
    X(invalidPassword, 0xF004, "Invalid password")                                 \
    X(zeroKillPassword, 0xF005, "Zero kill password")                              \
    X(tagLost, 0xF006, "Tag lost")                                                 \
    X(commandFormatError, 0xF007, "Command format error")                          \
    X(readCountInvalid, 0xF008, "Read count invalid")                              \
    X(outOfRetries, 0xF009, "Out of retries")                                      \
    X(accessError, 0xF00A, "Access error")                                         \
    X(parameterError, 0xFFFB, "Parameter error")                                   \
    X(busyDevice, 0xFFFC, "Busy Device")                                           \
    X(invalidCommand, 0xFFFD, "Invalid command")                                   \
    X(lowBattery, 0xFFFE, "Low battery")                                           \
    X(operationFailed, 0xFFFF, "Operation failed")

// Outcome of every operation; 0x0000 is success.
ORV_ENUM(ResultCode, uint16_t, ORV_RESULT_CODE);

// Result code of an ST module status ordinal (1 is success; 42, the ordinal of an unknown
// status, counts as 22; ordinals outside 1..32 are Undefined).
ORVANE_API ResultCode resultCodeFromModuleStatus(int ordinal);

// Ordinal of a tag-access error byte of the Vk210 device: 0-5 keep their value, the Gen2 error
// codes with the top bit set become 6-16, 255 becomes 17 and anything else 18.
ORVANE_API int accessErrorOrdinal(uint8_t errorByte);

// Result code of a tag-access error ordinal; 0 is success, 18 counts as 17 (Undefined).
ORVANE_API ResultCode resultCodeFromAccessError(int ordinal);

// Base of every error the library throws internally: a result code and a free message.
class ORVANE_API CodedError : public std::exception {
  public:
    CodedError(ResultCode resultCode, std::string msg);

    ResultCode resultCode() const noexcept { return resultCode_; }
    const std::string& message() const noexcept { return msg_; }

    // "Result Code: <code text>" and, for a non-empty message, ", Message: <message>".
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

  private:
    ResultCode resultCode_;
    std::string msg_;
    std::string description_;
};

// The error thrown by the library's own layers; caught at the public boundary and turned into
// the completion's result code.
class ORVANE_API ReaderException : public CodedError {
  public:
    ReaderException(ResultCode resultCode, std::string msg)
        : CodedError(resultCode, std::move(msg)) {}
};

}  // namespace orvane
