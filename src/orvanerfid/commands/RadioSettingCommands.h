#pragma once

// Radio settings of the Vk210 command frame, code group 0x01 (region, RF mode, listen before
// talk, operation mode, fixed frequencies, transmit on/off time, power saving, frequency
// switching), and the radio test commands of group 0x0F.
//
// Every setting is a get/set pair (get code even, set code the next one). A set command writes
// its public fields when framed; a get reply is read through accessors that give no value when
// the reply is too short for what they read (the caller completes with 0x5000 "Invalid
// Response"). A byte that is no known value reads as the fallback its field names (the second
// argument of fields::EnumByteOr: region unknown, power saving mode powerSaving, frequency
// switching stop). Pure codecs: no threads, no I/O; one object serves one exchange on one thread.

#include <cstdint>
#include <optional>
#include <vector>

#include "orvanerfid/commands/CommandFields.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/RadioEnums.h"

namespace orvane {

// The radio module's region code, with the band (GlobalBandType) of each region as last column.
#define ORV_RFID_CMD_REGION(X)                  \
    X(fcc, 0x00, "", usa)                       \
    X(etsi, 0x01, "", europe)                   \
    X(japan, 0x02, "", japan)                   \
    X(taiwan, 0x03, "", taiwan)                 \
    X(china, 0x04, "", china)                   \
    X(hongKong, 0x05, "", hongKong)             \
    X(brazil, 0x06, "", brazil)                 \
    X(israel, 0x07, "", israel)                 \
    X(japan6Channels, 0x08, "", japan6Channels) \
    X(unknown, 0xFF, "", unknown)

ORV_ENUM(OrvRfidCmdRegion, uint8_t, ORV_RFID_CMD_REGION);

// The band of a region; `unknown` gives the band `unknown` (raw value 0).
GlobalBandType toGlobalBandType(OrvRfidCmdRegion region);
// The region of a band, the table above read backwards; no value for the bands without a region
// (unknown, Japan 250 mW, Australia, Singapore, Vietnam, Russia), which the caller refuses.
std::optional<OrvRfidCmdRegion> regionForBand(GlobalBandType band);

#define ORV_RFID_CMD_RFID_OPERATION_MODE(X) \
    X(continuous, 0x00, "")                 \
    X(nonContinuous, 0x01, "")

ORV_ENUM(OrvRfidCmdRfidOperationMode, uint8_t, ORV_RFID_CMD_RFID_OPERATION_MODE);

namespace fields {

// A count byte n followed by n big-endian 32-bit values. Writing more than 255 values throws
// ReaderException 0x4003; reading gives no value when the reply is shorter than 1 + 4n bytes.
struct CountedU32List {
    using value_type = std::vector<uint32_t>;
    static void write(Bytes& out, const std::vector<uint32_t>& values);
    static std::optional<std::vector<uint32_t>> read(ByteView d, std::size_t at);
};

}  // namespace fields

// Transmit on and off times, as the get command reads them and the set command writes them.
struct OrvRfidCmd_TxOnOffTime {
    OrvRfidCmd_TxOnOffTime(uint16_t onTime, uint16_t offTime) : onTime(onTime), offTime(offTime) {}
    uint16_t onTime;
    uint16_t offTime;
    bool operator==(const OrvRfidCmd_TxOnOffTime&) const = default;
};

// The one-value pairs of this group:
//   X(get class, set class, get code, set code, value name, set default, codec)
// `rfMode` is the RfMode raw value and `rssiThsd` the LBT threshold in hundredths of a dBm; the
// radio-module layer converts both.
#define ORV_RADIO_SETTING_PAIRS(X)                                                                 \
    X(OrvRfidCmd_GetRegion, OrvRfidCmd_SetRegion, getRegion, setRegion, region,                    \
      OrvRfidCmdRegion::unknown,                                                                   \
      ::orvane::fields::EnumByteOr<OrvRfidCmdRegion, OrvRfidCmdRegion::unknown>)                   \
    X(OrvRfidCmd_GetRfMode, OrvRfidCmd_SetRfMode, getRfMode, setRfMode, rfMode, 0,                 \
      ::orvane::fields::U16)                                                                       \
    X(OrvRfidCmd_GetLbt, OrvRfidCmd_SetLbt, getLbt, setLbt, enable, false, ::orvane::fields::Flag) \
    X(OrvRfidCmd_GetRfidOperationMode, OrvRfidCmd_SetRfidOperationMode, getRfidOperationMode,      \
      setRfidOperationMode, operationMode, OrvRfidCmdRfidOperationMode::continuous,                \
      ::orvane::fields::EnumByteOr<OrvRfidCmdRfidOperationMode,                                    \
                                   OrvRfidCmdRfidOperationMode::continuous>)                       \
    X(OrvRfidCmd_GetFixedFrequency, OrvRfidCmd_SetFixedFrequency, getFixedFrequency,               \
      setFixedFrequency, frequencies, {}, ::orvane::fields::CountedU32List)                        \
    X(OrvRfidCmd_GetPowerSavingMode, OrvRfidCmd_SetPowerSavingMode, getPowerSavingMode,            \
      setPowerSavingMode, mode, PowerSavingMode::powerSaving,                                      \
      ::orvane::fields::EnumByteOr<PowerSavingMode, PowerSavingMode::powerSaving>)                 \
    X(OrvRfidCmd_GetLbtConfigure, OrvRfidCmd_SetLbtConfigure, getLbtConfigure, setLbtConfigure,    \
      rssiThsd, 0, ::orvane::fields::S16)                                                          \
    X(OrvRfidCmd_GetFrequencySwitchingMode, OrvRfidCmd_SetFrequencySwitchingMode,                  \
      getFrequencySwitchingMode, setFrequencySwitchingMode, fsMode, FrequencySwitchingMode::stop,  \
      ::orvane::fields::EnumByteOr<FrequencySwitchingMode, FrequencySwitchingMode::stop>)

ORV_RADIO_SETTING_PAIRS(ORV_SETTING_PAIR)

class OrvRfidCmd_GetTxOnOffTime : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_GetTxOnOffTime, OrvRfidCmdId::getTxOnOffTime)
    // Bytes 0-1 on time, 2-3 off time; no value for fewer than 4 bytes.
    std::optional<OrvRfidCmd_TxOnOffTime> txOnOffTime() const;
};

#define ORV_TX_ON_OFF_TIME_FIELDS(X) \
    X(onTime, ::orvane::fields::U16, 0) X(offTime, ::orvane::fields::U16, 0)
ORV_FIELDS_COMMAND(OrvRfidCmd_SetTxOnOffTime, setTxOnOffTime, ORV_TX_ON_OFF_TIME_FIELDS);

// Radio tests of group 0x0F. Replies carry only the status byte; values pass unscaled.

#define ORV_CW_ON_FIELDS(X)               \
    X(antennaId, ::orvane::fields::U8, 0) \
    X(power, ::orvane::fields::U16, 0)    \
    X(frequency, ::orvane::fields::U32, 0)
#define ORV_TX_RANDOM_DATA_FIELDS(X) ORV_CW_ON_FIELDS(X) X(duration, ::orvane::fields::U32, 0)

ORV_FIELDS_COMMAND(OrvRfidCmd_CwOn, cwOn, ORV_CW_ON_FIELDS);
ORV_PLAIN_COMMAND(OrvRfidCmd_CwOff, cwOff);
ORV_FIELDS_COMMAND(OrvRfidCmd_TxRandomData, txRandomData, ORV_TX_RANDOM_DATA_FIELDS);

}  // namespace orvane
