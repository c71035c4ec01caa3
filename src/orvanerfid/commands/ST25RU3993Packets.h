#pragma once

// Configuration packets of the ST25RU3993 radio module (command group dl, 0x01): get requests
// use subcode 0x00 with [tag][0x00], set requests subcode 0x01 with [tag][dataSize][value], and
// the reply to either carries the TLV. Numbers inside values are little-endian.
//
// The module driver changes settings read-modify-write: it parses the reply into a packet,
// changes one field and sends that object's set request. A byte the library does not know reads
// as the fallback its field names (the second argument of st::EnumOr: POWER_DOWN_MODE NORMAL,
// TARI_6_25, S0, ...), and is written back unchanged while the field still holds that fallback,
// so the round-trip never rewrites a module setting by accident.
//
// Threads: plain data, one thread at a time.

#include <cstdint>

#include "orvanerfid/commands/STPacket.h"
#include "orvanerfid/commands/STPacketFields.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

#define ORV_STUHFL_D_RWD_CFG_ID(X) \
    X(POWER_DOWN_MODE, 0, "")      \
    X(EXTVCO, 1, "")               \
    X(POWER_AMPLIFIER, 2, "")      \
    X(INPUT, 3, "")                \
    X(ANTENNA_SWITCH, 4, "")       \
    X(TUNER, 5, "")                \
    X(HARDWARE_ID_NUM, 6, "")
ORV_ENUM(STUHFL_D_RWD_CFG_ID, uint8_t, ORV_STUHFL_D_RWD_CFG_ID);

#define ORV_STUHFL_D_POWER_DOWN_MODE(X) \
    X(POWER_DOWN, 0, "")                \
    X(NORMAL, 1, "")                    \
    X(NORMAL_RF, 2, "")                 \
    X(STANDBY, 3, "")
ORV_ENUM(STUHFL_D_POWER_DOWN_MODE, uint8_t, ORV_STUHFL_D_POWER_DOWN_MODE);

#define ORV_STUHFL_D_FREQUENCY_HOP_MODE(X) \
    X(IGNORE_MIN, 0, "")                   \
    X(POWER_SAFE, 1, "")                   \
    X(FAST, 2, "")                         \
    X(FAIR, 3, "")
ORV_ENUM(STUHFL_D_FREQUENCY_HOP_MODE, uint8_t, ORV_STUHFL_D_FREQUENCY_HOP_MODE);

#define ORV_STUHFL_D_GEN2_TARI(X) \
    X(TARI_6_25, 0, "")           \
    X(TARI_12_50, 1, "")          \
    X(TARI_25_00, 2, "")
ORV_ENUM(STUHFL_D_GEN2_TARI, uint8_t, ORV_STUHFL_D_GEN2_TARI);

#define ORV_STUHFL_D_GEN2_BLF(X) \
    X(BLF_40, 0, "")             \
    X(BLF_160, 6, "")            \
    X(BLF_213, 8, "")            \
    X(BLF_256, 9, "")            \
    X(BLF_320, 12, "")           \
    X(BLF_640, 15, "")
ORV_ENUM(STUHFL_D_GEN2_BLF, uint8_t, ORV_STUHFL_D_GEN2_BLF);

#define ORV_STUHFL_D_GEN2_CODING(X) \
    X(FM0, 0, "")                   \
    X(MILLER2, 1, "")               \
    X(MILLER4, 2, "")               \
    X(MILLER8, 3, "")
ORV_ENUM(STUHFL_D_GEN2_CODING, uint8_t, ORV_STUHFL_D_GEN2_CODING);

#define ORV_STUHFL_D_ANTENNA(X) \
    X(ANTENNA_1, 0, "")         \
    X(ANTENNA_2, 1, "")         \
    X(ANTENNA_3, 2, "")         \
    X(ANTENNA_4, 3, "")         \
    X(ANTENNA_ALT, 0xFF, "")
ORV_ENUM(STUHFL_D_ANTENNA, uint8_t, ORV_STUHFL_D_ANTENNA);

#define ORV_STUHFL_D_TUNING_ALGO(X) \
    X(NONE, 0, "")                  \
    X(FAST, 1, "")                  \
    X(SLOW, 2, "")                  \
    X(MEDIUM, 3, "")                \
    X(ENABLE_FPD, 0x80, "")
ORV_ENUM(STUHFL_D_TUNING_ALGO, uint8_t, ORV_STUHFL_D_TUNING_ALGO);

#define ORV_STUHFL_D_GEN2_SESSION(X) \
    X(S0, 0, "")                     \
    X(S1, 1, "")                     \
    X(S2, 2, "")                     \
    X(S3, 3, "")
ORV_ENUM(STUHFL_D_GEN2_SESSION, uint8_t, ORV_STUHFL_D_GEN2_SESSION);

#define ORV_STUHFL_D_GEN2_TARGET(X) \
    X(A, 0, "")                     \
    X(B, 1, "")
ORV_ENUM(STUHFL_D_GEN2_TARGET, uint8_t, ORV_STUHFL_D_GEN2_TARGET);

// A configuration packet: group dl, get subcode 0x00, set subcode 0x01. Replies must carry a
// value of exactly `dataSize` bytes ("The length of bytes should be <dataSize>").
template <class Derived>
class STConfigPacket : public STValuePacket<Derived> {
  public:
    static constexpr STUHFL_CG kGroup = STUHFL_CG::dl;
    static constexpr uint8_t kGetSubcode = 0x00;
    static constexpr uint8_t kSetSubcode = 0x01;
    static constexpr bool isReplySubcode(uint8_t subcode) {
        return subcode == kGetSubcode || subcode == kSetSubcode;
    }

    Bytes getPacketBytes() override { return this->frameGet(kGetSubcode); }
    Bytes setPacketBytes() override { return this->frameValue(kSetSubcode); }
};

class ORVANE_API STUHFL_T_ST25RU3993_Register
    : public STConfigPacket<STUHFL_T_ST25RU3993_Register> {
    ORV_ST_PACKET_CLASS(STUHFL_T_ST25RU3993_Register)
    static constexpr uint8_t kTag = 0x01;
    static constexpr int dataSize = 2;

    uint8_t addr = 0;
    uint8_t data = 0;

    // The register address travels as the get request's value: [0x01][0x01][addr].
    Bytes getPacketBytes() override { return frame(kGetSubcode, Bytes{kTag, 0x01, addr}); }

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::U8{}, self.addr);
        visit(st::U8{}, self.data);
    }
};

class ORVANE_API STUHFL_T_ST25RU3993_RwdConfig
    : public STConfigPacket<STUHFL_T_ST25RU3993_RwdConfig> {
    ORV_ST_PACKET_CLASS(STUHFL_T_ST25RU3993_RwdConfig)
    static constexpr uint8_t kTag = 0x02;
    static constexpr int dataSize = 2;

    STUHFL_T_ST25RU3993_RwdConfig(STUHFL_D_RWD_CFG_ID cfgID, STUHFL_D_POWER_DOWN_MODE value)
        : cfgID(cfgID), value(value) {}

    STUHFL_D_RWD_CFG_ID cfgID = STUHFL_D_RWD_CFG_ID::POWER_DOWN_MODE;
    STUHFL_D_POWER_DOWN_MODE value = STUHFL_D_POWER_DOWN_MODE::NORMAL;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::EnumOr<STUHFL_D_RWD_CFG_ID, STUHFL_D_RWD_CFG_ID::POWER_DOWN_MODE>{}, self.cfgID);
        visit(st::EnumOr<STUHFL_D_POWER_DOWN_MODE, STUHFL_D_POWER_DOWN_MODE::NORMAL>{}, self.value);
    }
};

class ORVANE_API STUHFL_T_ST25RU3993_FreqProfile
    : public STConfigPacket<STUHFL_T_ST25RU3993_FreqProfile> {
    ORV_ST_PACKET_CLASS(STUHFL_T_ST25RU3993_FreqProfile)
    static constexpr uint8_t kTag = 0x06;
    static constexpr int dataSize = 1;
    static constexpr STShortReply kShortReply = STShortReply::failOnSuccess;

    explicit STUHFL_T_ST25RU3993_FreqProfile(uint8_t profile) : profile(profile) {}

    uint8_t profile = 1;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::U8{}, self.profile);
    }
};

class ORVANE_API STUHFL_T_ST25RU3993_FreqHop : public STConfigPacket<STUHFL_T_ST25RU3993_FreqHop> {
    ORV_ST_PACKET_CLASS(STUHFL_T_ST25RU3993_FreqHop)
    static constexpr uint8_t kTag = 0x09;
    static constexpr int dataSize = 6;
    static constexpr STShortReply kShortReply = STShortReply::failOnSuccess;

    STUHFL_T_ST25RU3993_FreqHop(uint16_t maxSendingTime, uint16_t minSendingTime,
                                STUHFL_D_FREQUENCY_HOP_MODE mode, uint8_t rfu)
        : maxSendingTime(maxSendingTime), minSendingTime(minSendingTime), mode(mode), rfu(rfu) {}

    uint16_t maxSendingTime = 400;  // ms
    uint16_t minSendingTime = 400;  // ms
    STUHFL_D_FREQUENCY_HOP_MODE mode = STUHFL_D_FREQUENCY_HOP_MODE::IGNORE_MIN;
    uint8_t rfu = 0;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::U16{}, self.maxSendingTime);
        visit(st::U16{}, self.minSendingTime);
        visit(st::EnumOr<STUHFL_D_FREQUENCY_HOP_MODE, STUHFL_D_FREQUENCY_HOP_MODE::IGNORE_MIN>{},
              self.mode);
        visit(st::U8{}, self.rfu);
    }
};

class ORVANE_API STUHFL_T_ST25RU3993_FreqLBT : public STConfigPacket<STUHFL_T_ST25RU3993_FreqLBT> {
    ORV_ST_PACKET_CLASS(STUHFL_T_ST25RU3993_FreqLBT)
    static constexpr uint8_t kTag = 0x0A;
    static constexpr int dataSize = 6;

    uint16_t listeningTime = 1;
    uint16_t idleTime = 0;
    uint8_t rssiLongThreshold = 31;
    bool skipLBTcheck = true;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::U16{}, self.listeningTime);
        visit(st::U16{}, self.idleTime);
        visit(st::U8{}, self.rssiLongThreshold);
        visit(st::Flag{}, self.skipLBTcheck);
    }
};

// Read only: the module's frequency profile (its band) and range.
class ORVANE_API STUHFL_T_ST25RU3993_FreqProfileInfo
    : public STConfigPacket<STUHFL_T_ST25RU3993_FreqProfileInfo> {
    ORV_ST_PACKET_CLASS(STUHFL_T_ST25RU3993_FreqProfileInfo)
    static constexpr uint8_t kTag = 0x08;
    static constexpr int dataSize = 10;
    static constexpr STShortReply kShortReply = STShortReply::failOnSuccess;

    // No set request: the profile information cannot be written (STPacketError 0x4001).
    Bytes setPacketBytes() override { return STPacket::setPacketBytes(); }

    uint8_t profile = 1;
    uint32_t minFrequency = 865700;  // kHz
    uint32_t maxFrequency = 865700;  // kHz
    uint8_t numFrequencies = 4;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::U8{}, self.profile);
        visit(st::U32{}, self.minFrequency);
        visit(st::U32{}, self.maxFrequency);
        visit(st::U8{}, self.numFrequencies);
    }
};

class ORVANE_API STUHFL_T_ST25RU3993_Gen2_ProtocolCfg
    : public STConfigPacket<STUHFL_T_ST25RU3993_Gen2_ProtocolCfg> {
    ORV_ST_PACKET_CLASS(STUHFL_T_ST25RU3993_Gen2_ProtocolCfg)
    static constexpr uint8_t kTag = 0x0C;
    static constexpr int dataSize = 4;

    STUHFL_D_GEN2_TARI tari = STUHFL_D_GEN2_TARI::TARI_6_25;
    STUHFL_D_GEN2_BLF blf = STUHFL_D_GEN2_BLF::BLF_40;
    STUHFL_D_GEN2_CODING coding = STUHFL_D_GEN2_CODING::MILLER8;
    bool trext = true;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::EnumOr<STUHFL_D_GEN2_TARI, STUHFL_D_GEN2_TARI::TARI_6_25>{}, self.tari);
        visit(st::EnumOr<STUHFL_D_GEN2_BLF, STUHFL_D_GEN2_BLF::BLF_40>{}, self.blf);
        visit(st::EnumOr<STUHFL_D_GEN2_CODING, STUHFL_D_GEN2_CODING::MILLER8>{}, self.coding);
        visit(st::Flag{}, self.trext);
    }
};

// Transmit and receive settings; the transmit power in dBm is txOutputLevel + 30.
class ORVANE_API STUHFL_T_ST25RU3993_TxRxCfg : public STConfigPacket<STUHFL_T_ST25RU3993_TxRxCfg> {
    ORV_ST_PACKET_CLASS(STUHFL_T_ST25RU3993_TxRxCfg)
    static constexpr uint8_t kTag = 0x0E;
    static constexpr int dataSize = 6;

    int8_t txOutputLevel = -2;
    int8_t rxSensitivity = 3;
    STUHFL_D_ANTENNA usedAntenna = STUHFL_D_ANTENNA::ANTENNA_1;
    uint16_t alternateAntennaInterval = 1;
    uint8_t rfu = 3;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::I8{}, self.txOutputLevel);
        visit(st::I8{}, self.rxSensitivity);
        visit(st::EnumOr<STUHFL_D_ANTENNA, STUHFL_D_ANTENNA::ANTENNA_1>{}, self.usedAntenna);
        visit(st::U16{}, self.alternateAntennaInterval);
        visit(st::U8{}, self.rfu);
    }
};

// The parts of the Gen2 inventory configuration (plain records, not packets). Each parses
// exactly its own length (else STPacketError 0x5002 "Invalid parameter length").

class ORVANE_API STUHFL_T_ST25RU3993_Gen2_InventoryOption
    : public STFieldRecord<STUHFL_T_ST25RU3993_Gen2_InventoryOption, 3> {
    ORV_ST_RECORD_CLASS(STUHFL_T_ST25RU3993_Gen2_InventoryOption)
    bool fast = true;
    bool autoAck = false;
    bool readTID = false;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::Flag{}, self.fast);
        visit(st::Flag{}, self.autoAck);
        visit(st::Flag{}, self.readTID);
    }
};

class ORVANE_API STUHFL_T_ST25RU3993_Gen2_Anticollision
    : public STFieldRecord<STUHFL_T_ST25RU3993_Gen2_Anticollision, 37> {
    ORV_ST_RECORD_CLASS(STUHFL_T_ST25RU3993_Gen2_Anticollision)
    bool adaptiveQ = true;
    uint8_t startQ = 4;
    uint8_t minQ = 0;
    uint8_t maxQ = 15;
    uint8_t options = 0;
    Bytes C1 = Bytes(16, 0x0F);  // exactly 16 bytes when encoded
    Bytes C2 = Bytes(16, 0x23);  // exactly 16 bytes when encoded

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::Flag{}, self.adaptiveQ);
        visit(st::U8{}, self.startQ);
        visit(st::U8{}, self.minQ);
        visit(st::U8{}, self.maxQ);
        visit(st::U8{}, self.options);
        visit(st::Exact<16>{}, self.C1);
        visit(st::Exact<16>{}, self.C2);
    }
};

class ORVANE_API STUHFL_T_ST25RU3993_AutoTuning
    : public STFieldRecord<STUHFL_T_ST25RU3993_AutoTuning, 5> {
    ORV_ST_RECORD_CLASS(STUHFL_T_ST25RU3993_AutoTuning)
    uint16_t interval = 7;
    uint8_t level = 20;
    STUHFL_D_TUNING_ALGO algorithm = STUHFL_D_TUNING_ALGO::FAST;
    bool falsePositiveDetection = true;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::U16{}, self.interval);
        visit(st::U8{}, self.level);
        visit(st::EnumOr<STUHFL_D_TUNING_ALGO, STUHFL_D_TUNING_ALGO::FAST>{}, self.algorithm);
        visit(st::Flag{}, self.falsePositiveDetection);
    }
};

class ORVANE_API STUHFL_T_ST25RU3993_Gen2_QueryParams
    : public STFieldRecord<STUHFL_T_ST25RU3993_Gen2_QueryParams, 5> {
    ORV_ST_RECORD_CLASS(STUHFL_T_ST25RU3993_Gen2_QueryParams)
    uint8_t sel = 0;
    STUHFL_D_GEN2_SESSION session = STUHFL_D_GEN2_SESSION::S0;
    STUHFL_D_GEN2_TARGET target = STUHFL_D_GEN2_TARGET::A;
    bool toggleTarget = false;
    bool targetDepletionMode = false;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::U8{}, self.sel);
        visit(st::EnumOr<STUHFL_D_GEN2_SESSION, STUHFL_D_GEN2_SESSION::S0>{}, self.session);
        visit(st::EnumOr<STUHFL_D_GEN2_TARGET, STUHFL_D_GEN2_TARGET::A>{}, self.target);
        visit(st::Flag{}, self.toggleTarget);
        visit(st::Flag{}, self.targetDepletionMode);
    }
};

class ORVANE_API STUHFL_T_ST25RU3993_AdaptiveSensitivity
    : public STFieldRecord<STUHFL_T_ST25RU3993_AdaptiveSensitivity, 3> {
    ORV_ST_RECORD_CLASS(STUHFL_T_ST25RU3993_AdaptiveSensitivity)
    uint16_t interval = 5;
    bool enable = false;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::U16{}, self.interval);
        visit(st::Flag{}, self.enable);
    }
};

// Gen2 inventory settings: the five records above, 3 + 37 + 5 + 5 + 3 = 53 bytes.
class ORVANE_API STUHFL_T_ST25RU3993_Gen2_InventoryCfg
    : public STConfigPacket<STUHFL_T_ST25RU3993_Gen2_InventoryCfg> {
    ORV_ST_PACKET_CLASS(STUHFL_T_ST25RU3993_Gen2_InventoryCfg)
    static constexpr uint8_t kTag = 0x10;
    static constexpr int dataSize = 53;

    STUHFL_T_ST25RU3993_Gen2_InventoryOption inventoryOption;
    STUHFL_T_ST25RU3993_Gen2_Anticollision antiCollision;
    STUHFL_T_ST25RU3993_AutoTuning autoTuning;
    STUHFL_T_ST25RU3993_Gen2_QueryParams queryParams;
    STUHFL_T_ST25RU3993_AdaptiveSensitivity adaptiveSensitivity;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::Record<STUHFL_T_ST25RU3993_Gen2_InventoryOption>{}, self.inventoryOption);
        visit(st::Record<STUHFL_T_ST25RU3993_Gen2_Anticollision>{}, self.antiCollision);
        visit(st::Record<STUHFL_T_ST25RU3993_AutoTuning>{}, self.autoTuning);
        visit(st::Record<STUHFL_T_ST25RU3993_Gen2_QueryParams>{}, self.queryParams);
        visit(st::Record<STUHFL_T_ST25RU3993_AdaptiveSensitivity>{}, self.adaptiveSensitivity);
    }
};

}  // namespace orvane
