#pragma once

// Gen2, antenna, tag-feature, pin and storage settings of the Vk210 command frame (code group
// 0x01), and the reader housekeeping pairs of the same group: temperature protection, the
// customized inventory report layout, the reader's clock and the serial port's baud rate.
//
// The pattern is that of RadioSettingCommands.h: set commands write their public fields when
// framed; get accessors give no value for a reply too short for what they read (0x5000) and the
// fallback its field names for a byte that is no known value (the second argument of
// fields::EnumByteOr: antenna switching stop, temperature protection stop). Pure codecs: no
// threads, no I/O.

#include <chrono>
#include <cstdint>
#include <optional>

#include "orvanerfid/commands/CommandFields.h"
#include "orvanerfid/commands/InventoryCommands.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/RadioEnums.h"

namespace orvane {

#define ORV_RFID_CMD_GPIO_PIN_DIRECTION(X) \
    X(input, 0, "")                        \
    X(output, 1, "")

ORV_ENUM(OrvRfidCmdGpioPinDirection, uint8_t, ORV_RFID_CMD_GPIO_PIN_DIRECTION);

// Same raw values as the public CfgStorageMode.
#define ORV_RFID_CMD_CONFIGURATION_STORAGE_MODE(X) \
    X(ramFlash, 0, "")                             \
    X(ramOnly, 1, "")

ORV_ENUM(OrvRfidCmdConfigurationStorageMode, uint8_t, ORV_RFID_CMD_CONFIGURATION_STORAGE_MODE);

// The Gen2 inventory algorithm. Q values travel in 4 bits each (maxQ high, minQ low nibble).
struct OrvRfidCmd_Gen2Algorithm {
    OrvRfidCmd_Gen2Algorithm(AlgorithmType algorithm, uint8_t initQ, uint8_t minQ, uint8_t maxQ,
                             bool dualTarget)
        : algorithm(algorithm), initQ(initQ), minQ(minQ), maxQ(maxQ), dualTarget(dualTarget) {}
    AlgorithmType algorithm;
    uint8_t initQ;
    uint8_t minQ;
    uint8_t maxQ;
    bool dualTarget;
    bool operator==(const OrvRfidCmd_Gen2Algorithm&) const = default;
};

struct OrvRfidCmd_Gen2QueryGroup {
    OrvRfidCmd_Gen2QueryGroup(SelectMode selectMode, Session session, Target target)
        : selectMode(selectMode), session(session), target(target) {}
    SelectMode selectMode;
    Session session;
    Target target;
    bool operator==(const OrvRfidCmd_Gen2QueryGroup&) const = default;
};

// `power` in hundredths of a dBm; the radio-module layer converts it.
struct OrvRfidCmd_AntennaSettings {
    OrvRfidCmd_AntennaSettings(uint8_t antennaId, uint16_t dwellTime, uint16_t power)
        : antennaId(antennaId), dwellTime(dwellTime), power(power) {}
    uint8_t antennaId;
    uint16_t dwellTime;
    uint16_t power;
    bool operator==(const OrvRfidCmd_AntennaSettings&) const = default;
};

class OrvRfidCmd_GetAntennaSettings : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_GetAntennaSettings, OrvRfidCmdId::getAntennaSettings)
    ORV_REQUEST_PARAMETER(antennaId, setAntennaId, 1, ::orvane::fields::U8)
    // For one antenna: the request data is its number.
    explicit OrvRfidCmd_GetAntennaSettings(uint8_t antennaId) : OrvRfidCmd_GetAntennaSettings() {
        setAntennaId(antennaId);
    }
    // Byte 0 antenna, 1-2 dwell time, 3-4 power; no value for fewer than 5 bytes.
    std::optional<OrvRfidCmd_AntennaSettings> antennaSettings() const;
};

#define ORV_ANTENNA_SETTINGS_FIELDS(X)    \
    X(antennaId, ::orvane::fields::U8, 0) \
    X(dwell, ::orvane::fields::U16, 0)    \
    X(power, ::orvane::fields::U16, 0)

class OrvRfidCmd_SetAntennaSettings : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_SetAntennaSettings, OrvRfidCmdId::setAntennaSettings)
    ORV_FIELD_LIST(ORV_ANTENNA_SETTINGS_FIELDS)
    explicit OrvRfidCmd_SetAntennaSettings(const OrvRfidCmd_AntennaSettings& settings)
        : OrvRfidCmd_SetAntennaSettings() {
        antennaId = settings.antennaId;
        dwell = settings.dwellTime;
        power = settings.power;
    }
};

// The antenna and pin commands below are sent by no part of the system; their layouts follow
// the group's: request fields in declared order, the parameterised replies echo the parameter in
// byte 0 and carry the value in byte 1.

ORV_PARAMETER_GET_COMMAND(OrvRfidCmd_GetAntennaState, getAntennaState, ::orvane::fields::U8,
                          antennaId, setAntennaId, 0, antennaState, ::orvane::fields::Flag);
#define ORV_ANTENNA_STATE_FIELDS(X) \
    X(antennaId, ::orvane::fields::U8, 0) X(antennaState, ::orvane::fields::Flag, false)
ORV_FIELDS_COMMAND(OrvRfidCmd_SetAntennaState, setAntennaState, ORV_ANTENNA_STATE_FIELDS);

ORV_PARAMETER_GET_COMMAND(OrvRfidCmd_GetGpioPinsConfiguration, getGpioPinsConfiguration,
                          ::orvane::fields::U8, pinNum, setPinNum, 0, pinDir,
                          ::orvane::fields::EnumByte<OrvRfidCmdGpioPinDirection>);
#define ORV_GPIO_PINS_CONFIGURATION_FIELDS(X)                         \
    X(pinNum, ::orvane::fields::U8, 0)                                \
    X(pinDir, ::orvane::fields::EnumByte<OrvRfidCmdGpioPinDirection>, \
      OrvRfidCmdGpioPinDirection::input)
ORV_FIELDS_COMMAND(OrvRfidCmd_SetGpioPinsConfiguration, setGpioPinsConfiguration,
                   ORV_GPIO_PINS_CONFIGURATION_FIELDS);

ORV_PARAMETER_GET_COMMAND(OrvRfidCmd_GetGpioPinsState, getGpioPinsState, ::orvane::fields::U8,
                          pinNum, setPinNum, 0, pinState, ::orvane::fields::U8);
#define ORV_GPIO_PINS_STATE_FIELDS(X) \
    X(pinNum, ::orvane::fields::U8, 0) X(pinState, ::orvane::fields::U8, 0)
ORV_FIELDS_COMMAND(OrvRfidCmd_SetGpioPinsState, setGpioPinsState, ORV_GPIO_PINS_STATE_FIELDS);

class OrvRfidCmd_GetGen2Algorithm : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_GetGen2Algorithm, OrvRfidCmdId::getGen2Algorithm)
    // Byte 0 algorithm (0 fixed Q, any other dynamic Q), 1 initQ, 2 maxQ and minQ nibbles, 3 dual
    // target flag; no value for fewer than 4 bytes.
    std::optional<OrvRfidCmd_Gen2Algorithm> gen2Algorithm() const;
};

class OrvRfidCmd_SetGen2Algorithm : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_SetGen2Algorithm, OrvRfidCmdId::setGen2Algorithm)
    explicit OrvRfidCmd_SetGen2Algorithm(const OrvRfidCmd_Gen2Algorithm& value)
        : OrvRfidCmd_SetGen2Algorithm() {
        algorithm = value.algorithm;
        initQ = value.initQ;
        minQ = value.minQ;
        maxQ = value.maxQ;
        dualTarget = value.dualTarget;
    }
    AlgorithmType algorithm = AlgorithmType::dynamicQ;
    uint8_t initQ = 0;
    uint8_t minQ = 0;
    uint8_t maxQ = 0;
    bool dualTarget = false;

  protected:
    // Throws ReaderException 0x4003 when minQ or maxQ is above 15 (they travel in 4 bits).
    void buildData() override;
};

class OrvRfidCmd_GetGen2QueryGroup : public OrvaneRfidCommand {
    ORV_COMMAND_CLASS(OrvRfidCmd_GetGen2QueryGroup, OrvRfidCmdId::getGen2QueryGroup)
    // Byte 0 select mode (2 and 3 as they are, any other byte All), 1 session (below 5, else
    // S0), 2 target (1 B, any other A); no value for fewer than 3 bytes.
    std::optional<OrvRfidCmd_Gen2QueryGroup> gen2QueryGroup() const;
};

#define ORV_GEN2_QUERY_GROUP_FIELDS(X)                                     \
    X(selectMode, ::orvane::fields::EnumByte<SelectMode>, SelectMode::all) \
    X(session, ::orvane::fields::EnumByte<Session>, Session::s0)           \
    X(target, ::orvane::fields::EnumByte<Target>, Target::a)
ORV_FIELDS_COMMAND(OrvRfidCmd_SetGen2QueryGroup, setGen2QueryGroup, ORV_GEN2_QUERY_GROUP_FIELDS);

// The one-value pairs of this group:
//   X(get class, set class, get code, set code, value name, set default, codec)
// Temperatures are in tenths of a degree Celsius; the device layer converts them. The customized
// inventory format lists its items in report order, skipping bytes that are no item.
#define ORV_GEN2_SETTING_PAIRS(X)                                                                  \
    X(OrvRfidCmd_GetBiStaticAntennaSetting, OrvRfidCmd_SetBiStaticAntennaSetting,                  \
      getBiStaticAntennaSetting, setBiStaticAntennaSetting, biStaticAntennaSetting, false,         \
      ::orvane::fields::Flag)                                                                      \
    X(OrvRfidCmd_GetFastId, OrvRfidCmd_SetFastId, getFastId, setFastId, enable, false,             \
      ::orvane::fields::Flag)                                                                      \
    X(OrvRfidCmd_GetTagFocus, OrvRfidCmd_SetTagFocus, getTagFocus, setTagFocus, enable, false,     \
      ::orvane::fields::Flag)                                                                      \
    X(OrvRfidCmd_GetPhaseData, OrvRfidCmd_SetPhaseData, getPhaseData, setPhaseData, enable, false, \
      ::orvane::fields::Flag)                                                                      \
    X(OrvRfidCmd_GetAntennaSwitchingMode, OrvRfidCmd_SetAntennaSwitchingMode,                      \
      getAntennaSwitchingMode, setAntennaSwitchingMode, asMode, AntennaSwitchingMode::stop,        \
      ::orvane::fields::EnumByteOr<AntennaSwitchingMode, AntennaSwitchingMode::stop>)              \
    X(OrvRfidCmd_GetConfigurationStorageMode, OrvRfidCmd_SetConfigurationStorageMode,              \
      getConfigurationStorageMode, setConfigurationStorageMode, stMode,                            \
      OrvRfidCmdConfigurationStorageMode::ramFlash,                                                \
      ::orvane::fields::EnumByteOr<OrvRfidCmdConfigurationStorageMode,                             \
                                   OrvRfidCmdConfigurationStorageMode::ramFlash>)                  \
    X(OrvRfidCmd_GetAmbientTemperatureProtection, OrvRfidCmd_SetAmbientTemperatureProtection,      \
      getAmbientTemperatureProtection, setAmbientTemperatureProtection, temperature, 0,            \
      ::orvane::fields::U16)                                                                       \
    X(OrvRfidCmd_GetPaTemperatureProtection, OrvRfidCmd_SetPaTemperatureProtection,                \
      getPaTemperatureProtection, setPaTemperatureProtection, temperature, 0,                      \
      ::orvane::fields::U16)                                                                       \
    X(OrvRfidCmd_GetTemperatureProtectionMode, OrvRfidCmd_SetTemperatureProtectionMode,            \
      getTemperatureProtectionMode, setTemperatureProtectionMode, mode,                            \
      TemperatureProtectionMode::stop,                                                             \
      ::orvane::fields::EnumByteOr<TemperatureProtectionMode, TemperatureProtectionMode::stop>)    \
    X(OrvRfidCmd_GetInventoryDataWithCustomizedFormat,                                             \
      OrvRfidCmd_SetInventoryDataWithCustomizedFormat, getInventoryDataWithCustomizedFormat,       \
      setInventoryDataWithCustomizedFormat, pids, {},                                              \
      ::orvane::fields::EnumList<OrvRfidCmdInventoryDataFormat>)                                   \
    X(OrvRfidCmd_GetSystemTime, OrvRfidCmd_SetSystemTime, getSystemTime, setSystemTime,            \
      systemTime, std::chrono::system_clock::now(), ::orvane::fields::LocalDateTime)               \
    X(OrvRfidCmd_GetUartDefaultBaudRate, OrvRfidCmd_SetUartDefaultBaudRate,                        \
      getUartDefaultBaudRate, setUartDefaultBaudRate, baudRate, 0, ::orvane::fields::U32)

ORV_GEN2_SETTING_PAIRS(ORV_SETTING_PAIR)

}  // namespace orvane
