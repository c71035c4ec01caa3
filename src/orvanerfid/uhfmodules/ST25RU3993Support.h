#pragma once

// Small pieces the two source files of the ST25RU3993 driver share: the record names, the
// building of multi-packet requests and the reading of module values. Internal to the driver.

#include <cstdint>
#include <optional>
#include <string>

#include "orvanerfid/commands/ST25RU3993Packets.h"
#include "orvanerfid/commands/STPacket.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"

namespace orvane::st {

using InventoryCfg = STUHFL_T_ST25RU3993_Gen2_InventoryCfg;
using ProtocolCfg = STUHFL_T_ST25RU3993_Gen2_ProtocolCfg;
using TxRxCfg = STUHFL_T_ST25RU3993_TxRxCfg;
using FreqHop = STUHFL_T_ST25RU3993_FreqHop;
using RwdConfig = STUHFL_T_ST25RU3993_RwdConfig;

// The subcode of a configuration set request and of its reply.
inline constexpr uint8_t kSetSubcode = 0x01;

inline void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// The raw value of `from` as a case of `To`; 0x5000 when it is none (the two lists disagree).
template <TabledEnum To, TabledEnum From>
To convert(From from) {
    const std::optional<To> to = fromRaw<To>(rawValue(from));
    if (!to) throw ReaderException(ResultCode::invalidResponse, "Unexpected module value");
    return *to;
}

// 0x4003 unless `inRange`; `message` is the ERROR line's detail (none when empty).
inline void refuseUnless(bool inRange, const std::string& message) {
    if (!inRange) throw ModuleRefusal(ResultCode::outOfRange, message);
}

inline bool isPacket(const STPacket& packet, STUHFL_CG group, uint8_t subcode) {
    return packet.cmdGroup() == rawValue(group) && packet.cmdSubcode() == subcode;
}

}  // namespace orvane::st
