#include "orvanerfid/core/ResultCode.h"

#include <array>

namespace orvane {

ResultCode resultCodeFromModuleStatus(int ordinal) {
    using RC = ResultCode;
    static constexpr std::array<RC, 33> kByOrdinal = {
        RC::undefined,       // 0
        RC::noError,         // 1: status 0
        RC::notSupported,    // 2: -1
        RC::busyDevice,      // 3: -2
        RC::undefined,       // 4: -3
        RC::timeout,         // 5: -4
        RC::undefined,       // 6: -5
        RC::undefined,       // 7: -6
        RC::parameterError,  // 8: -7
        RC::undefined,       // 9: -8
        RC::undefined,       // 10-16: -33..-39
        RC::undefined,         RC::undefined, RC::undefined, RC::undefined, RC::undefined,
        RC::undefined,      // 16
        RC::undefined,      // 17: -49
        RC::noTagReply,     // 18: -65
        RC::accessError,    // 19: -66
        RC::undefined,      // 20: -67
        RC::undefined,      // 21: -68
        RC::otherError,     // 22: -69
        RC::notSupported,   // 23: -70
        RC::undefined,      // 24: -71
        RC::memoryOverrun,  // 25: -72
        RC::memoryLocked,   // 26: -73
        RC::undefined,      // 27-30: -74..-77
        RC::undefined,         RC::undefined, RC::undefined,
        RC::insufficientPower,  // 31: -78
        RC::nonSpecificError,   // 32: -79
    };
    if (ordinal == 42) ordinal = 22;
    if (ordinal < 1 || ordinal >= static_cast<int>(kByOrdinal.size())) return RC::undefined;
    return kByOrdinal[static_cast<std::size_t>(ordinal)];
}

int accessErrorOrdinal(uint8_t errorByte) {
    if (errorByte <= 5) return errorByte;
    static constexpr std::array<uint8_t, 11> kGen2Errors = {0x80, 0x81, 0x82, 0x83, 0x84, 0x85,
                                                            0x86, 0x87, 0x88, 0x8B, 0x8F};
    for (std::size_t i = 0; i < kGen2Errors.size(); ++i) {
        if (kGen2Errors[i] == errorByte) return static_cast<int>(6 + i);
    }
    return errorByte == 0xFF ? 17 : 18;
}

ResultCode resultCodeFromAccessError(int ordinal) {
    using RC = ResultCode;
    static constexpr std::array<RC, 18> kByOrdinal = {
        RC::noError,
        RC::noTagReply,
        RC::tagLost,
        RC::noTagReply,
        RC::invalidPassword,
        RC::zeroKillPassword,
        RC::otherError,
        RC::notSupported,
        RC::insufficientPrivilege,
        RC::memoryOverrun,
        RC::memoryLocked,
        RC::cryptoSuiteError,
        RC::commandNotEncapsulated,
        RC::responseBufferOverflow,
        RC::timeout,
        RC::insufficientPower,
        RC::nonSpecificError,
        RC::undefined,
    };
    if (ordinal < 0 || ordinal >= static_cast<int>(kByOrdinal.size())) return RC::undefined;
    return kByOrdinal[static_cast<std::size_t>(ordinal)];
}

CodedError::CodedError(ResultCode resultCode, std::string msg)
    : resultCode_(resultCode), msg_(std::move(msg)) {
    description_ = "Result Code: ";
    description_ += orvane::description(resultCode_);
    if (!msg_.empty()) {
        description_ += ", Message: ";
        description_ += msg_;
    }
}

}  // namespace orvane
