// The radio settings of the Qm5520 driver: single settings, read-modify-write groups and the
// whole settings record.

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <type_traits>

#include "orvanerfid/commands/Gen2Commands.h"
#include "orvanerfid/commands/RadioSettingCommands.h"
#include "orvanerfid/uhfmodules/ModuleChecks.h"
#include "orvanerfid/uhfmodules/UhfModuleQm5520.h"

namespace orvane {
namespace {

using module::need;
using module::requireRange;
using module::sameRaw;

constexpr uint8_t kAntenna = 1;
constexpr int kRecordCommands = 13;

// Gen2 Q values travel in 4 bits.
void requireQ(int q, std::string_view which) {
    requireRange(q >= 0 && q <= 15, "The " + std::string(which) + " is out of range (0 - 15).");
}

void requireU16(int64_t value, std::string_view which) {
    requireRange(value >= 0 && value <= 0xFFFF,
                 "The " + std::string(which) + " is out of range ( <= 65535.");
}

// A set request with its one field set.
template <typename Command, typename Field, typename Value>
Command withField(Field Command::*field, Value value) {
    Command request;
    request.*field = static_cast<Field>(value);
    return request;
}

// The API's dBm as hundredths on the wire, and back (truncated toward zero).
int16_t lbtWire(int lbt) {
    requireRange(lbt * 100 >= INT16_MIN && lbt * 100 <= INT16_MAX,
                 "The LBT RSSI threshold is out of range (-327 - 327).");
    return static_cast<int16_t>(lbt * 100);
}

}  // namespace

// ---- Groups ----------------------------------------------------------------------------------

// Runs `check` (which refuses a value by throwing, before anything is sent), reads the group,
// lets `change` set its field and writes the group back; completes with the write's code.
template <typename Group, typename Check, typename Change>
void UhfModuleQm5520::changeGroup(std::string_view name, const ResultCompletion& completion,
                                  Check&& check, Change&& change) {
    if (!acceptsCompletion(name, completion)) return;
    std::optional<Group> group;
    const ResultCode read = guarded(name, [&] {
        check();
        if constexpr (std::is_same_v<Group, OrvRfidCmd_AntennaSettings>) {
            group.emplace(getAntennaSettings(kAntenna, name));
        } else if constexpr (std::is_same_v<Group, OrvRfidCmd_Gen2Algorithm>) {
            group.emplace(getGen2Algorithm(name));
        } else if constexpr (std::is_same_v<Group, OrvRfidCmd_Gen2QueryGroup>) {
            group.emplace(getGen2QueryGroup(name));
        } else {
            group.emplace(getTxOnOffTime(name));
        }
        change(*group);
        return ResultCode::noError;
    });
    if (read != ResultCode::noError) return completion(read);
    if constexpr (std::is_same_v<Group, OrvRfidCmd_AntennaSettings>) {
        completion(setAntennaSettings(*group, name));
    } else if constexpr (std::is_same_v<Group, OrvRfidCmd_Gen2Algorithm>) {
        completion(setGen2Algorithm(*group, name));
    } else if constexpr (std::is_same_v<Group, OrvRfidCmd_Gen2QueryGroup>) {
        completion(setGen2QueryGroup(*group, name));
    } else {
        completion(setTxOnOffTime(*group, name));
    }
}

// ---- Antenna settings: power and dwell time --------------------------------------------------

void UhfModuleQm5520::getPower(ValueCompletion<int> completion) {
    constexpr std::string_view kName = "getPower(completion:)";
    completeValue(kName, completion, [&] {
        return static_cast<int>(getAntennaSettings(kAntenna, kName).power / 100);
    });
}

void UhfModuleQm5520::setPower(int power, ResultCompletion completion) {
    changeGroup<OrvRfidCmd_AntennaSettings>(
        "setPower(power:completion:)", completion,
        [&] {
            module::requirePower(power, powerMinOutput(), powerMaxOutput());
            requireRange(int64_t{power} * 100 <= 0xFFFF, "The power is out of range.");
        },
        [&](OrvRfidCmd_AntennaSettings& s) { s.power = static_cast<uint16_t>(power * 100); });
}

void UhfModuleQm5520::getDwellTime(ValueCompletion<uint16_t> completion) {
    constexpr std::string_view kName = "getDwellTime(completion:)";
    completeValue(kName, completion, [&] { return getAntennaSettings(kAntenna, kName).dwellTime; });
}

void UhfModuleQm5520::setDwellTime(uint16_t dwellTime, ResultCompletion completion) {
    changeGroup<OrvRfidCmd_AntennaSettings>(
        "setDwellTime(dwellTime:completion:)", completion, [] {},
        [&](OrvRfidCmd_AntennaSettings& s) { s.dwellTime = dwellTime; });
}

// ---- Continuous mode and band ----------------------------------------------------------------

void UhfModuleQm5520::getContinuousMode(ValueCompletion<bool> completion) {
    constexpr std::string_view kName = "getContinuousMode(completion:)";
    completeValue(kName, completion, [&] {
        OrvRfidCmd_GetRfidOperationMode request;
        const auto reply = exchange<OrvRfidCmd_GetRfidOperationMode>(request, kName);
        const bool continuous =
            need(reply.operationMode()) != OrvRfidCmdRfidOperationMode::nonContinuous;
        storeContinuousMode(continuous);
        return continuous;
    });
}

void UhfModuleQm5520::setContinuousMode(bool continuousMode, ResultCompletion completion) {
    if (!acceptsCompletion("setContinuousMode(continuousMode:completion:)", completion)) return;
    OrvRfidCmd_SetRfidOperationMode request;
    request.operationMode = continuousMode ? OrvRfidCmdRfidOperationMode::continuous
                                           : OrvRfidCmdRfidOperationMode::nonContinuous;
    const ResultCode code = sendRequest(request, "setContinuousMode(continuousMode:completion:)");
    if (code == ResultCode::noError) storeContinuousMode(continuousMode);
    completion(code);
}

void UhfModuleQm5520::supportedGlobalBand(ValueCompletion<std::vector<GlobalBandType>> completion) {
    if (!acceptsCompletion("supportedGlobalBand(completion:)", completion)) return;
    auto bands = supportedGlobalBandList();
    if (bands.empty()) return completion(ResultCode::otherError, std::nullopt);
    completion(ResultCode::noError, std::move(bands));
}

void UhfModuleQm5520::getGlobalBand(ValueCompletion<GlobalBandType> completion) {
    constexpr std::string_view kName = "getGlobalBand(completion:)";
    completeValue(kName, completion, [&] {
        OrvRfidCmd_GetRegion request;
        return toGlobalBandType(need(exchange<OrvRfidCmd_GetRegion>(request, kName).region()));
    });
}

void UhfModuleQm5520::setGlobalBand(GlobalBandType band, ResultCompletion completion) {
    constexpr std::string_view kName = "setGlobalBand(band:completion:)";
    if (!acceptsCompletion(kName, completion)) return;
    if (const ResultCode refused = guarded(kName,
                                           [&] {
                                               module::requireCase(band, "band");
                                               return ResultCode::noError;
                                           });
        refused != ResultCode::noError) {
        return completion(refused);
    }
    const auto bands = supportedGlobalBandList();
    const auto region = regionForBand(band);
    if (std::find(bands.begin(), bands.end(), band) == bands.end() || !region) {
        logError(std::string(kName) + " - Does not support " + std::string(description(band)));
        return completion(ResultCode::notSupported);
    }
    OrvRfidCmd_SetRegion request;
    request.region = *region;
    completion(sendRequest(request, kName));
}

// ---- Transmit on/off time: inventory and idle time --------------------------------------------

void UhfModuleQm5520::getInventoryTime(ValueCompletion<unsigned> completion) {
    constexpr std::string_view kName = "getInventoryTime(completion:)";
    completeValue(kName, completion, [&] { return unsigned{getTxOnOffTime(kName).onTime}; });
}

void UhfModuleQm5520::setInventoryTime(unsigned inventoryTime, ResultCompletion completion) {
    changeGroup<OrvRfidCmd_TxOnOffTime>(
        "setInventoryTime(inventoryTime:completion:)", completion,
        [&] {
            assertInventoryTime(inventoryTime);
            requireU16(inventoryTime, "inventory time");
        },
        [&](OrvRfidCmd_TxOnOffTime& t) { t.onTime = static_cast<uint16_t>(inventoryTime); });
}

void UhfModuleQm5520::getIdleTime(ValueCompletion<unsigned> completion) {
    constexpr std::string_view kName = "getIdleTime(completion:)";
    completeValue(kName, completion, [&] { return unsigned{getTxOnOffTime(kName).offTime}; });
}

void UhfModuleQm5520::setIdleTime(unsigned idleTime, ResultCompletion completion) {
    changeGroup<OrvRfidCmd_TxOnOffTime>(
        "setIdleTime(idleTime:completion:)", completion,
        [&] {
            assertIdleTime(idleTime);
            requireU16(idleTime, "idle time");
        },
        [&](OrvRfidCmd_TxOnOffTime& t) { t.offTime = static_cast<uint16_t>(idleTime); });
}

// ---- Gen2 algorithm: algorithm, Q values, toggle target --------------------------------------

#define ORV_QM_ALGORITHM_GET_(method, Type, name, expr)                 \
    void UhfModuleQm5520::method(ValueCompletion<Type> completion) {    \
        constexpr std::string_view kName = name;                        \
        completeValue(kName, completion, [&] {                          \
            const OrvRfidCmd_Gen2Algorithm a = getGen2Algorithm(kName); \
            return static_cast<Type>(expr);                             \
        });                                                             \
    }

// `check` runs before anything is sent.
#define ORV_QM_ALGORITHM_SET_(method, Type, param, name, check, field, value) \
    void UhfModuleQm5520::method(Type param, ResultCompletion completion) {   \
        changeGroup<OrvRfidCmd_Gen2Algorithm>(                                \
            name, completion, [&] { check; },                                 \
            [&](OrvRfidCmd_Gen2Algorithm& a) { a.field = value; });           \
    }

ORV_QM_ALGORITHM_GET_(getAlgorithmType, AlgorithmType, "getAlgorithmType(completion:)", a.algorithm)
ORV_QM_ALGORITHM_SET_(setAlgorithmType, AlgorithmType, algorithmType,
                      "setAlgorithmType(algorithmType:completion:)",
                      module::requireCase(algorithmType, "algorithm type"), algorithm,
                      algorithmType)
ORV_QM_ALGORITHM_GET_(getStartQ, int, "getStartQ(completion:)", a.initQ)
ORV_QM_ALGORITHM_SET_(setStartQ, int, startQ, "setStartQ(startQ:completion:)",
                      requireQ(startQ, "start Q"), initQ, static_cast<uint8_t>(startQ))
ORV_QM_ALGORITHM_GET_(getMaxQ, int, "getMaxQ(completion:)", a.maxQ)
ORV_QM_ALGORITHM_SET_(setMaxQ, int, maxQ, "setMaxQ(maxQ:completion:)", requireQ(maxQ, "max Q"),
                      maxQ, static_cast<uint8_t>(maxQ))
ORV_QM_ALGORITHM_GET_(getMinQ, int, "getMinQ(completion:)", a.minQ)
ORV_QM_ALGORITHM_SET_(setMinQ, int, minQ, "setMinQ(minQ:completion:)", requireQ(minQ, "min Q"),
                      minQ, static_cast<uint8_t>(minQ))
ORV_QM_ALGORITHM_GET_(getToggleTarget, bool, "getToggleTarget(completion:)", a.dualTarget)
ORV_QM_ALGORITHM_SET_(setToggleTarget, bool, toggleTarget,
                      "setToggleTarget(toggleTarget:completion:)", (void)0, dualTarget,
                      toggleTarget)
#undef ORV_QM_ALGORITHM_GET_
#undef ORV_QM_ALGORITHM_SET_

// ---- Query group: target, session, select mode -----------------------------------------------

#define ORV_QM_QUERY_GROUP_(getter, setter, Type, param, getName, setName, field)         \
    void UhfModuleQm5520::getter(ValueCompletion<Type> completion) {                      \
        constexpr std::string_view kName = getName;                                       \
        completeValue(kName, completion, [&] { return getGen2QueryGroup(kName).field; }); \
    }                                                                                     \
    void UhfModuleQm5520::setter(Type param, ResultCompletion completion) {               \
        changeGroup<OrvRfidCmd_Gen2QueryGroup>(                                           \
            setName, completion, [&] { module::requireCase(param, #param); },             \
            [&](OrvRfidCmd_Gen2QueryGroup& g) { g.field = param; });                      \
    }

ORV_QM_QUERY_GROUP_(getTarget, setTarget, Target, target, "getTarget(completion:)",
                    "setTarget(target:completion:)", target)
ORV_QM_QUERY_GROUP_(getSession, setSession, Session, session, "getSession(completion:)",
                    "setSession(session:completion:)", session)
ORV_QM_QUERY_GROUP_(getSelectMode, setSelectMode, SelectMode, selectMode,
                    "getSelectMode(completion:)", "setSelectMode(selectMode:completion:)",
                    selectMode)
#undef ORV_QM_QUERY_GROUP_

// ---- Single settings -------------------------------------------------------------------------
//
// X(getter, setter, Value, param, Get class, Set class, reply accessor, Set field, wire value,
//   decoded value). A reply too short for the value completes with 0x5000. A byte that is no
// known value still answers with a case, so a reply that came whole never fails for its value:
// a flag reads every byte but 1 as off, and a mode reads as its case with raw value 0 (power
// saving, antenna and frequency switching stop, RAM/Flash storage), the fallback each field
// names in the command codec.

#define ORV_QM_SINGLE_SETTINGS(X)                                                                 \
    X(getLbt, setLbt, bool, enable, OrvRfidCmd_GetLbt, OrvRfidCmd_SetLbt, enable, enable, enable, \
      v)                                                                                          \
    X(getFastId, setFastId, bool, enable, OrvRfidCmd_GetFastId, OrvRfidCmd_SetFastId, enable,     \
      enable, enable, v)                                                                          \
    X(getTagFocus, setTagFocus, bool, enable, OrvRfidCmd_GetTagFocus, OrvRfidCmd_SetTagFocus,     \
      enable, enable, enable, v)                                                                  \
    X(getPhaseData, setPhaseData, bool, enable, OrvRfidCmd_GetPhaseData, OrvRfidCmd_SetPhaseData, \
      enable, enable, enable, v)                                                                  \
    X(getPowerSavingMode, setPowerSavingMode, PowerSavingMode, powerSavingMode,                   \
      OrvRfidCmd_GetPowerSavingMode, OrvRfidCmd_SetPowerSavingMode, mode, mode, powerSavingMode,  \
      v)                                                                                          \
    X(getAntennaSwitchingMode, setAntennaSwitchingMode, AntennaSwitchingMode,                     \
      antennaSwitchingMode, OrvRfidCmd_GetAntennaSwitchingMode,                                   \
      OrvRfidCmd_SetAntennaSwitchingMode, asMode, asMode, antennaSwitchingMode, v)                \
    X(getFrequencySwitchingMode, setFrequencySwitchingMode, FrequencySwitchingMode,               \
      frequencySwitchingMode, OrvRfidCmd_GetFrequencySwitchingMode,                               \
      OrvRfidCmd_SetFrequencySwitchingMode, fsMode, fsMode, frequencySwitchingMode, v)            \
    X(getCfgStorageMode, setCfgStorageMode, CfgStorageMode, cfgStorageMode,                       \
      OrvRfidCmd_GetConfigurationStorageMode, OrvRfidCmd_SetConfigurationStorageMode, stMode,     \
      stMode, (sameRaw<OrvRfidCmdConfigurationStorageMode>(cfgStorageMode)),                      \
      (sameRaw<CfgStorageMode>(v)))

#define ORV_QM_SINGLE_(getter, setter, Value, param, Get, Set, accessor, field, wire, decoded) \
    void UhfModuleQm5520::getter(ValueCompletion<Value> completion) {                          \
        constexpr std::string_view kName = #getter "(completion:)";                            \
        completeValue(kName, completion, [&] {                                                 \
            Get request;                                                                       \
            const auto v = need(exchange<Get>(request, kName).accessor());                     \
            return Value(decoded);                                                             \
        });                                                                                    \
    }                                                                                          \
    void UhfModuleQm5520::setter(Value param, ResultCompletion completion) {                   \
        constexpr std::string_view kName = #setter "(" #param ":completion:)";                 \
        completeResult(kName, completion, [&] {                                                \
            module::requireCase(param, #param);                                                \
            Set request;                                                                       \
            request.field = wire;                                                              \
            return sendRequest(request, kName);                                                \
        });                                                                                    \
    }

ORV_QM_SINGLE_SETTINGS(ORV_QM_SINGLE_)
#undef ORV_QM_SINGLE_

void UhfModuleQm5520::getRfMode(ValueCompletion<RfMode> completion) {
    constexpr std::string_view kName = "getRfMode(completion:)";
    completeValue(kName, completion, [&] {
        OrvRfidCmd_GetRfMode request;
        const uint16_t raw = need(exchange<OrvRfidCmd_GetRfMode>(request, kName).rfMode());
        const auto mode = fromRaw<RfMode>(raw);
        if (!mode) {
            throw ReaderException(ResultCode::invalidResponse,
                                  "Unknown RF mode " + std::to_string(raw) + ".");
        }
        return *mode;
    });
}

void UhfModuleQm5520::setRfMode(RfMode rfMode, ResultCompletion completion) {
    constexpr std::string_view kName = "setRfMode(rfMode:completion:)";
    completeResult(kName, completion, [&] {
        module::requireCase(rfMode, "RF mode");
        OrvRfidCmd_SetRfMode request;
        request.rfMode = rawValue(rfMode);
        return sendRequest(request, kName);
    });
}

void UhfModuleQm5520::getFixedFrequency(ValueCompletion<std::vector<uint32_t>> completion) {
    constexpr std::string_view kName = "getFixedFrequency(completion:)";
    completeValue(kName, completion, [&] {
        OrvRfidCmd_GetFixedFrequency request;
        // An empty reply, or a count the data cannot hold, is 0x5000.
        return need(exchange<OrvRfidCmd_GetFixedFrequency>(request, kName).frequencies());
    });
}

void UhfModuleQm5520::setFixedFrequency(const std::vector<uint32_t>& fixedFrequency,
                                        ResultCompletion completion) {
    constexpr std::string_view kName = "setFixedFrequency(fixedFrequency:completion:)";
    if (!acceptsCompletion(kName, completion)) return;
    completion(sendBuilt(kName, [&] {
        module::requireFrequencies(fixedFrequency);
        OrvRfidCmd_SetFixedFrequency request;
        request.frequencies = fixedFrequency;
        return request.toBytes();
    }));
}

void UhfModuleQm5520::getLbtConfigure(ValueCompletion<int16_t> completion) {
    constexpr std::string_view kName = "getLbtConfigure(completion:)";
    completeValue(kName, completion, [&] {
        OrvRfidCmd_GetLbtConfigure request;
        return static_cast<int16_t>(
            need(exchange<OrvRfidCmd_GetLbtConfigure>(request, kName).rssiThsd()) / 100);
    });
}

void UhfModuleQm5520::setLbtConfigure(int16_t lbtRssiThreshold, ResultCompletion completion) {
    constexpr std::string_view kName = "setLbtConfigure(lbtRssiThreshold:completion:)";
    if (!acceptsCompletion(kName, completion)) return;
    completion(sendBuilt(kName, [&] {
        OrvRfidCmd_SetLbtConfigure request;
        request.rssiThsd = lbtWire(lbtRssiThreshold);
        return request.toBytes();
    }));
}

// ---- Range checks ----------------------------------------------------------------------------

void UhfModuleQm5520::assertInventoryTime(int64_t inventoryTime) const {
    requireRange(
        inventoryTime >= inventoryTimeMinValue_,
        "The inventory time is out of range ( > " + std::to_string(inventoryTimeMinValue_) + ".");
}

void UhfModuleQm5520::assertIdleTime(int64_t idleTime) const {
    requireRange(idleTime >= idleTimeMinValue_,
                 "The idle time is out of range ( > " + std::to_string(idleTimeMinValue_) + ".");
}

void UhfModuleQm5520::assertRfidConfig(const RfidConfig& c) const {
    requireRange(c.power >= powerMinOutput() && c.power <= powerMaxOutput(),
                 "The power value is out of range (" + std::to_string(powerMinOutput()) + " - " +
                     std::to_string(powerMaxOutput()) + ").");
    assertInventoryTime(c.inventoryTime);
    assertIdleTime(c.idleTime);
    requireRange(c.startQ >= 0 && c.startQ <= 15, "The start Q is out of range (0 - 15).");
    requireRange(c.maxQ >= c.startQ && c.startQ >= c.minQ, "The start Q is out of range (" +
                                                               std::to_string(c.minQ) + " - " +
                                                               std::to_string(c.maxQ) + ").");
    requireRange(c.maxQ <= 15, "The max Q is out of range.");
    requireRange(c.minQ >= 0, "The min Q is out of range.");
    module::requireCase(c.selectMode, "select mode");
    module::requireCase(c.session, "session");
    module::requireCase(c.target, "target");
    module::requireCase(c.algorithm, "algorithm type");
    module::requireCase(c.rfMode, "RF mode");
    module::requireCase(c.powerSavingMode, "power saving mode");
    module::requireCase(c.asMode, "antenna switching mode");
    module::requireCase(c.fsMode, "frequency switching mode");
    requireRange(c.lbtConfigure == 0 || (c.lbtConfigure >= -80 && c.lbtConfigure <= -1),
                 "The LBT RSSI threshold is out of range (-80 - 0).");
    // The times travel in 16 bits.
    requireU16(c.inventoryTime, "inventory time");
    requireU16(c.idleTime, "idle time");
}

// ---- The settings record ---------------------------------------------------------------------

void UhfModuleQm5520::getRfidConfig(ValueCompletion<RfidConfig> completion) {
    constexpr std::string_view kName = "getRfidConfig(completion:)";
    completeValue(kName, completion, [&] {
        RfidConfig config;
        Bytes run;
        const auto add = [&](OrvaneRfidCommand&& request) {
            const Bytes frame = request.toBytes();
            run.insert(run.end(), frame.begin(), frame.end());
        };
        add(OrvRfidCmd_GetGen2QueryGroup());
        add(OrvRfidCmd_GetGen2Algorithm());
        add(OrvRfidCmd_GetAntennaSettings(kAntenna));
        add(OrvRfidCmd_GetTxOnOffTime());
        add(OrvRfidCmd_GetRfidOperationMode());
        add(OrvRfidCmd_GetRfMode());
        add(OrvRfidCmd_GetLbt());
        add(OrvRfidCmd_GetFastId());
        add(OrvRfidCmd_GetTagFocus());
        add(OrvRfidCmd_GetPowerSavingMode());
        add(OrvRfidCmd_GetLbtConfigure());
        add(OrvRfidCmd_GetAntennaSwitchingMode());
        add(OrvRfidCmd_GetFrequencySwitchingMode());

        const Bytes replies =
            checkResponse("", baseProtocol()->send(run, timeout(), kRecordCommands));
        std::set<OrvRfidCmdId> filled;
        std::optional<bool> continuous;
        ByteView rest(replies);
        for (int n = rest.empty() ? 0 : OrvaneRfidCommand::checkFormat(rest); n >= 1;
             n = rest.empty() ? 0 : OrvaneRfidCommand::checkFormat(rest)) {
            const Bytes frame(rest.begin(), rest.begin() + n);
            rest = rest.subspan(static_cast<std::size_t>(n));
            const OrvaneRfidCommand::ReceiveBytes bytes{frame};
            const OrvaneRfidCommand reply(bytes);
            reply.checkStatus(kName);
            switch (reply.id()) {
                case OrvRfidCmdId::getGen2QueryGroup: {
                    const auto g = need(OrvRfidCmd_GetGen2QueryGroup(bytes).gen2QueryGroup());
                    config.target = g.target;
                    config.session = g.session;
                    config.selectMode = g.selectMode;
                    break;
                }
                case OrvRfidCmdId::getGen2Algorithm: {
                    const auto a = need(OrvRfidCmd_GetGen2Algorithm(bytes).gen2Algorithm());
                    config.algorithm = a.algorithm;
                    config.startQ = a.initQ;
                    config.minQ = a.minQ;
                    config.maxQ = a.maxQ;
                    config.toggleTarget = a.dualTarget;
                    break;
                }
                case OrvRfidCmdId::getAntennaSettings: {
                    const auto s = need(OrvRfidCmd_GetAntennaSettings(bytes).antennaSettings());
                    config.power = s.power / 100;
                    config.dwellTime = s.dwellTime;
                    break;
                }
                case OrvRfidCmdId::getTxOnOffTime: {
                    const auto t = need(OrvRfidCmd_GetTxOnOffTime(bytes).txOnOffTime());
                    config.inventoryTime = t.onTime;
                    config.idleTime = t.offTime;
                    break;
                }
                case OrvRfidCmdId::getRfidOperationMode:
                    config.continuousMode =
                        need(OrvRfidCmd_GetRfidOperationMode(bytes).operationMode()) !=
                        OrvRfidCmdRfidOperationMode::nonContinuous;
                    continuous = config.continuousMode;
                    break;
                case OrvRfidCmdId::getRfMode: {
                    const uint16_t raw = need(OrvRfidCmd_GetRfMode(bytes).rfMode());
                    const auto mode = fromRaw<RfMode>(raw);
                    if (!mode) {
                        throw ReaderException(ResultCode::invalidResponse,
                                              "Unknown RF mode " + std::to_string(raw) + ".");
                    }
                    config.rfMode = *mode;
                    break;
                }
                case OrvRfidCmdId::getLbt:
                    config.lbt = need(OrvRfidCmd_GetLbt(bytes).enable());
                    break;
                case OrvRfidCmdId::getFastId:
                    config.fastId = need(OrvRfidCmd_GetFastId(bytes).enable());
                    break;
                case OrvRfidCmdId::getTagFocus:
                    config.tagFocus = need(OrvRfidCmd_GetTagFocus(bytes).enable());
                    break;
                case OrvRfidCmdId::getPowerSavingMode:
                    config.powerSavingMode = need(OrvRfidCmd_GetPowerSavingMode(bytes).mode());
                    break;
                case OrvRfidCmdId::getLbtConfigure:
                    config.lbtConfigure = static_cast<int16_t>(
                        need(OrvRfidCmd_GetLbtConfigure(bytes).rssiThsd()) / 100);
                    break;
                case OrvRfidCmdId::getAntennaSwitchingMode:
                    config.asMode = need(OrvRfidCmd_GetAntennaSwitchingMode(bytes).asMode());
                    break;
                case OrvRfidCmdId::getFrequencySwitchingMode:
                    config.fsMode = need(OrvRfidCmd_GetFrequencySwitchingMode(bytes).fsMode());
                    break;
                default:
                    logError(std::string(kName) +
                             " - Unexpected command ID: " + std::string(caseName(reply.id())));
                    continue;
            }
            filled.insert(reply.id());
        }
        // A record with settings the module did not report would show defaults as its values.
        if (filled.size() != kRecordCommands) {
            throw ReaderException(ResultCode::invalidResponse,
                                  std::to_string(filled.size()) + " of " +
                                      std::to_string(kRecordCommands) + " settings answered.");
        }
        if (continuous) storeContinuousMode(*continuous);
        return config;
    });
}

void UhfModuleQm5520::setRfidConfig(const RfidConfig& rfidConfig, ResultCompletion completion) {
    constexpr std::string_view kName = "setRfidConfig(rfidConfig:completion:)";
    const RfidConfig& c = rfidConfig;
    completeResult(kName, completion, [&] {
        assertRfidConfig(c);
        Bytes run;
        std::set<OrvRfidCmdId> sent;
        const auto add = [&](OrvaneRfidCommand&& request) {
            const Bytes frame = request.toBytes();
            run.insert(run.end(), frame.begin(), frame.end());
            sent.insert(request.id());
        };
        add(withField(&OrvRfidCmd_SetRfidOperationMode::operationMode,
                      c.continuousMode ? OrvRfidCmdRfidOperationMode::continuous
                                       : OrvRfidCmdRfidOperationMode::nonContinuous));
        {
            OrvRfidCmd_SetGen2QueryGroup r;
            r.selectMode = c.selectMode;
            r.session = c.session;
            r.target = c.target;
            add(std::move(r));
        }
        add(OrvRfidCmd_SetGen2Algorithm(OrvRfidCmd_Gen2Algorithm(
            c.algorithm, static_cast<uint8_t>(c.startQ), static_cast<uint8_t>(c.minQ),
            static_cast<uint8_t>(c.maxQ), c.toggleTarget)));
        add(OrvRfidCmd_SetAntennaSettings(OrvRfidCmd_AntennaSettings(
            kAntenna, c.dwellTime, static_cast<uint16_t>(c.power * 100))));
        {
            OrvRfidCmd_SetTxOnOffTime r;
            r.onTime = static_cast<uint16_t>(c.inventoryTime);
            r.offTime = static_cast<uint16_t>(c.idleTime);
            add(std::move(r));
        }
        add(withField(&OrvRfidCmd_SetRfMode::rfMode, rawValue(c.rfMode)));
        add(withField(&OrvRfidCmd_SetLbt::enable, c.lbt));
        add(withField(&OrvRfidCmd_SetFastId::enable, c.fastId));
        add(withField(&OrvRfidCmd_SetTagFocus::enable, c.tagFocus));
        add(withField(&OrvRfidCmd_SetPowerSavingMode::mode, c.powerSavingMode));
        add(withField(&OrvRfidCmd_SetLbtConfigure::rssiThsd, lbtWire(c.lbtConfigure)));
        add(withField(&OrvRfidCmd_SetAntennaSwitchingMode::asMode, c.asMode));
        add(withField(&OrvRfidCmd_SetFrequencySwitchingMode::fsMode, c.fsMode));

        const Bytes replies =
            checkResponse("", baseProtocol()->send(run, timeout(), kRecordCommands));
        std::set<OrvRfidCmdId> accepted;
        ByteView rest(replies);
        for (int n = rest.empty() ? 0 : OrvaneRfidCommand::checkFormat(rest); n >= 1;
             n = rest.empty() ? 0 : OrvaneRfidCommand::checkFormat(rest)) {
            const OrvaneRfidCommand reply(OrvaneRfidCommand::ReceiveBytes{rest.first(n)});
            rest = rest.subspan(static_cast<std::size_t>(n));
            reply.checkStatus(kName);
            if (sent.count(reply.id())) accepted.insert(reply.id());
        }
        // Success only when every write was answered: a lost or garbled reply leaves it unknown
        // whether the module took the setting.
        if (accepted.size() != sent.size()) {
            throw ReaderException(ResultCode::invalidResponse,
                                  std::to_string(accepted.size()) + " of " +
                                      std::to_string(sent.size()) + " settings acknowledged.");
        }
        return ResultCode::noError;
    });
}

}  // namespace orvane
