#pragma once

// Radio, air-interface and tag enumerations: memory banks, Gen2 link settings, region bands,
// select masks, lock actions, RF modes and the radio module's operating modes.

#include <cstdint>

#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

// The Gen2 Tari; the raw value grows with the interval.
#define ORV_TARI_TYPE(X)                \
    X(tari6_25, 0, "6.25 microseconds") \
    X(tari12_5, 1, "12.5 microseconds") \
    X(tari25, 2, "25 microseconds")

ORV_ENUM(TariType, uint8_t, ORV_TARI_TYPE);

#define ORV_BANK_TYPE(X)                   \
    X(reserved, 0, "Reserved Memory Bank") \
    X(epc, 1, "EPC Memory Bank")           \
    X(tid, 2, "TID Memory Bank")           \
    X(user, 3, "User Memory Bank")

ORV_ENUM(BankType, uint8_t, ORV_BANK_TYPE);

#define ORV_ENCODING(X)       \
    X(fm0, 0, "FM0 encoding") \
    X(m2, 1, "M2 encoding")   \
    X(m4, 2, "M4 encoding")   \
    X(m8, 3, "M8 encoding")

ORV_ENUM(Encoding, uint8_t, ORV_ENCODING);

#define ORV_TARGET(X) \
    X(a, 0, "A")      \
    X(b, 1, "B")

ORV_ENUM(Target, uint8_t, ORV_TARGET);

#define ORV_MASK_TARGET(X) \
    X(s0, 0, "S0")         \
    X(s1, 1, "S1")         \
    X(s2, 2, "S2")         \
    X(s3, 3, "S3")         \
    X(sl, 4, "SL")

ORV_ENUM(MaskTarget, uint8_t, ORV_MASK_TARGET);

// Raw values 1 to 3; no case for 0.
#define ORV_SELECT_MODE(X)          \
    X(all, 1, "All")                \
    X(deselected, 2, "De-Selected") \
    X(selected, 3, "Selected")

ORV_ENUM(SelectMode, uint8_t, ORV_SELECT_MODE);

// Region bands: 0 to 22 without 4, 12, 15 to 19 and 21.
#define ORV_GLOBAL_BAND_TYPE(X)                 \
    X(unknown, 0, "Unknown")                    \
    X(europe, 1, "Europe")                      \
    X(usa, 2, "USA")                            \
    X(japan, 3, "Japan")                        \
    X(china, 5, "China")                        \
    X(taiwan, 6, "Taiwan")                      \
    X(japan250mW, 7, "Japan (250mW)")           \
    X(australia, 8, "Australia")                \
    X(singapore, 9, "Singapore")                \
    X(brazil, 10, "Brazil")                     \
    X(hongKong, 11, "Hong Kong")                \
    X(israel, 13, "Israel")                     \
    X(japan6Channels, 14, "Japan (6 Channels)") \
    X(vietnam, 20, "Vietnam")                   \
    X(russia, 22, "Russia")

ORV_ENUM(GlobalBandType, uint8_t, ORV_GLOBAL_BAND_TYPE);

// The SKU a radio module of this frequency band is sold as; unknown for the unknown band.
constexpr SkuType skuTypeFromBand(GlobalBandType band) {
    switch (band) {
        case GlobalBandType::europe:
        case GlobalBandType::russia:
            return SkuType::european;
        case GlobalBandType::usa:
        case GlobalBandType::china:
        case GlobalBandType::taiwan:
        case GlobalBandType::australia:
        case GlobalBandType::singapore:
        case GlobalBandType::brazil:
        case GlobalBandType::hongKong:
        case GlobalBandType::israel:
        case GlobalBandType::vietnam:
            return SkuType::us;
        case GlobalBandType::japan:
        case GlobalBandType::japan250mW:
        case GlobalBandType::japan6Channels:
            return SkuType::japanese;
        case GlobalBandType::unknown:
            break;
    }
    return SkuType::unknown;
}

// The radio module's link-frequency codes, not indexes.
#define ORV_BLF_TYPE(X)      \
    X(blf40, 0, "40 kHz")    \
    X(blf160, 6, "160 kHz")  \
    X(blf213, 8, "213 kHz")  \
    X(blf256, 9, "256 kHz")  \
    X(blf320, 12, "320 kHz") \
    X(blf640, 15, "640 kHz")

ORV_ENUM(BlfType, uint8_t, ORV_BLF_TYPE);

#define ORV_FREQUENCY_SWITCHING_MODE(X) \
    X(stop, 0, "Stop")                  \
    X(nonStop, 1, "Non-Stop")

ORV_ENUM(FrequencySwitchingMode, uint8_t, ORV_FREQUENCY_SWITCHING_MODE);

#define ORV_ANTENNA_BEGIN_END(X) \
    X(begin, 0, "Begin")         \
    X(end, 1, "End")

ORV_ENUM(AntennaBeginEnd, uint8_t, ORV_ANTENNA_BEGIN_END);

#define ORV_LOCK_STATE(X)       \
    X(noChange, 0, "No Change") \
    X(unlock, 1, "Unlock")      \
    X(lock, 2, "Lock")

ORV_ENUM(LockState, uint8_t, ORV_LOCK_STATE);

#define ORV_RFID_OPERATION_MODE(X) \
    X(continuous, 0, "Continuous") \
    X(nonContinuous, 1, "Non-Continuous")

ORV_ENUM(RfidOperationMode, uint8_t, ORV_RFID_OPERATION_MODE);

#define ORV_ALGORITHM_TYPE(X) \
    X(fixedQ, 0, "Fixed Q")   \
    X(dynamicQ, 1, "Dynamic Q")

ORV_ENUM(AlgorithmType, uint8_t, ORV_ALGORITHM_TYPE);

#define ORV_READ_MODE(X)              \
    X(singleRead, 0, "Single Read")   \
    X(multiRead, 1, "Multi-Read")     \
    X(counterRead, 2, "Counter Read") \
    X(rapidRead, 3, "Rapid Read")

ORV_ENUM(ReadMode, uint8_t, ORV_READ_MODE);

#define ORV_INCLUDE_REPLY_LENGTH(X) \
    X(omit, 0, "Omit Reply Length") \
    X(include, 1, "Include Reply Length")

ORV_ENUM(IncludeReplyLength, uint8_t, ORV_INCLUDE_REPLY_LENGTH);

#define ORV_TEMPERATURE_PROTECTION_MODE(X) \
    X(stop, 0, "Stop")                     \
    X(nonStop, 1, "Non-Stop")

ORV_ENUM(TemperatureProtectionMode, uint8_t, ORV_TEMPERATURE_PROTECTION_MODE);

// RF modes, in the declaration order the application lists them (not sorted by raw value). The
// first, rf_103, is the default of the radio settings.
#define ORV_RF_MODE(X)       \
    X(rf_103, 103, "rf_103") \
    X(rf_11, 11, "rf_11")    \
    X(rf_102, 102, "rf_102") \
    X(rf_302, 302, "rf_302") \
    X(rf_120, 120, "rf_120") \
    X(rf_203, 203, "rf_203") \
    X(rf_1, 1, "rf_1")       \
    X(rf_124, 124, "rf_124") \
    X(rf_323, 323, "rf_323") \
    X(rf_202, 202, "rf_202") \
    X(rf_226, 226, "rf_226") \
    X(rf_15, 15, "rf_15")    \
    X(rf_147, 147, "rf_147") \
    X(rf_344, 344, "rf_344") \
    X(rf_148, 148, "rf_148") \
    X(rf_345, 345, "rf_345") \
    X(rf_225, 225, "rf_225") \
    X(rf_12, 12, "rf_12")    \
    X(rf_125, 125, "rf_125") \
    X(rf_223, 223, "rf_223") \
    X(rf_325, 325, "rf_325") \
    X(rf_3, 3, "rf_3")       \
    X(rf_123, 123, "rf_123") \
    X(rf_222, 222, "rf_222") \
    X(rf_324, 324, "rf_324") \
    X(rf_5, 5, "rf_5")       \
    X(rf_141, 141, "rf_141") \
    X(rf_241, 241, "rf_241") \
    X(rf_342, 342, "rf_342") \
    X(rf_7, 7, "rf_7")       \
    X(rf_146, 146, "rf_146") \
    X(rf_244, 244, "rf_244") \
    X(rf_343, 343, "rf_343") \
    X(rf_13, 13, "rf_13")    \
    X(rf_185, 185, "rf_185") \
    X(rf_285, 285, "rf_285") \
    X(rf_382, 382, "rf_382")

ORV_ENUM(RfMode, uint16_t, ORV_RF_MODE);

// The Gen2 Select Action code (3 bits), carried unchanged into the select commands.
#define ORV_MASK_ACTION(X)                                                                       \
    X(matchAssertElseDeassert, 0,                                                                \
      "Matching is Inventoried A or Assert SL, Not-Matching is Inventoried B or Deassert SL.")   \
    X(matchAssert, 1, "Matching is Inventoried A or Assert SL, Not-Matching is Do Nothing.")     \
    X(elseDeassert, 2, "Matching is Do Nothing, Not-Matching is Inventoried B or Deassert SL.")  \
    X(matchNegate, 3, "Matching is Invert Session or Negate SL, Not-Matching is Do Nothing.")    \
    X(matchDeassertElseAssert, 4,                                                                \
      "Matching is Inventoried B or Deassert SL, Not-Matching is Inventoried A or Assert SL.")   \
    X(matchDeassert, 5, "Matching is Inventoried B or Deassert SL, Not-Matching is Do Nothing.") \
    X(elseAssert, 6, "Matching is Do Nothing, Not-Matching is Inventoried A or Assert SL.")      \
    X(elseNegate, 7, "Matching is Do Nothing, Not-Matching is Invert Session or Negate SL.")

ORV_ENUM(MaskAction, uint8_t, ORV_MASK_ACTION);

// The truncation choice of a select mask.
#define ORV_TRUNCATE(X)           \
    X(entireEpc, 0, "Entire EPC") \
    X(partialEpc, 1, "Partial EPC")

ORV_ENUM(Truncate, uint8_t, ORV_TRUNCATE);

// The items of an inventory report in the customized format.
#define ORV_INVENTORY_DATA_FORMAT(X)                   \
    X(epc, 0, "EPC")                                   \
    X(pc, 1, "PC")                                     \
    X(rssi, 2, "RSSI")                                 \
    X(antennaId, 3, "Antenna ID")                      \
    X(tid, 4, "TID")                                   \
    X(userSpecifiedMemory, 5, "User Specified Memory") \
    X(phase, 6, "Phase")                               \
    X(frequency, 7, "Frequency")                       \
    X(timestamp, 8, "Timestamp")

ORV_ENUM(InventoryDataFormat, uint8_t, ORV_INVENTORY_DATA_FORMAT);

// Where the radio module keeps a configuration change.
#define ORV_CFG_STORAGE_MODE(X)               \
    X(ramFlash, 0, "Save-to RAM/Flash Mode.") \
    X(ramOnly, 1, "Save-to RAM only Mode.")

ORV_ENUM(CfgStorageMode, uint8_t, ORV_CFG_STORAGE_MODE);

}  // namespace orvane
