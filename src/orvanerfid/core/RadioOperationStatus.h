#pragma once

// Why the Qm5520 module's radio chip ended an operation in error, as its operation-error frames
// report it. The protocol layer writes the text into the log; nothing reaches the application.

#include <cstdint>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

// The raw values are not contiguous: 10 is no status, and `unknown` is 0xFF.
#define ORV_RADIO_OPERATION_STATUS(X)                                                              \
    X(success, 0, "Success")                                                                       \
    X(invalidOpId, 1, "An invalid Opid was specified.")                                            \
    X(internalError, 2, "An internal error has occurred.")                                         \
    X(invalidRegisterValue, 3,                                                                     \
      "A register was set to an invalid value when the operation was attempted.")                  \
    X(pllLockFailed, 4, "The PLL failed to lock when setting the LO frequency.")                   \
    X(powerControlTargetFailed, 5,                                                                 \
      "The PowerControlLoopOp did not reach the desired power within the maximum iterations.")     \
    X(unexpectedTransmitterState, 6,                                                               \
      "The transmitter was in an unexpected state when the operation was attempted.")              \
    X(radioPowerNotEnabled, 7,                                                                     \
      "The radio power has not been turned on via the radio power control Op.")                    \
    X(aggregateBufferOverflow, 8, "In parsing the aggregate Op buffer, an overflow occurred.")     \
    X(aggregateInnerOpError, 9, "In running an Op within the aggregate Op, an error occurred.")    \
    X(sjcCdacRangeLimitOccurred, 11,                                                               \
      "When running the RxRunSjcOp a solution was found outside the CDAC range allowed for the "   \
      "SKU. The resulting SJC CDAC I, Q values have been limited to the valid range of the "       \
      "reader SKU.")                                                                               \
    X(sjcResidueThresholdExceeded, 12,                                                             \
      "When running the RxRunSjcOp the resulting measured SJC residue voltage magnitude at the "   \
      "receiver exceeds the value specified in the SjcResidueThreshold magnitude register field.") \
    X(droopCompensationTooManyAdcChannels, 13,                                                     \
      "Tx power droop compensation only allows one power detector ADC channel. If more than one "  \
      "channel is set in the channel enable bits, there is insufficient time to measure Tx power " \
      "across several channels when inventory is active.")                                         \
    X(eventFifoFull, 14,                                                                           \
      "An EventFifo Packet, which is essential to proper operation of the Op being executed, "     \
      "failed to send due to the EventFifo being full.")                                           \
    X(invalidTxState, 15,                                                                          \
      "An error occurred while running an Ex10 command during the aggregate Op.")                  \
    X(unsupportedGen2Command, 16,                                                                  \
      "The user attempted to send a Gen2 Command which is unsupported by LMAC.")                   \
    X(berReceiverHang, 17, "The BER Op was cancelled after detecting a hang in the receiver.")     \
    X(unknown, 0xFF, "Unknown")

ORV_ENUM(RadioOperationStatus, uint8_t, ORV_RADIO_OPERATION_STATUS);

// The status of an operation-error frame's data: the second byte when there is one and it is a
// listed status, else `unknown`.
constexpr RadioOperationStatus radioOperationStatusOf(ByteView data) {
    if (data.size() < 2) return RadioOperationStatus::unknown;
    return fromRaw<RadioOperationStatus>(data[1]).value_or(RadioOperationStatus::unknown);
}

}  // namespace orvane
