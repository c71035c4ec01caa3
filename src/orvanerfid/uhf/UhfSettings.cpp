// The radio settings of the UHF object: module information and power, the Gen2 inventory
// settings, the air link, the extended inventory, frequency and switching settings, and the radio
// tests and special tag operations. Each is one row on the pipeline: the driver operation of the
// same name, the value's text for the success record and, for an `_OC` twin, its conversion.

#include <algorithm>

#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "orvanerfid/uhf/UhfConversions.h"
#include "orvanerfid/uhf/UhfPipeline.h"

namespace orvane {

using uhf_detail::callSafely;
using uhf_detail::valueText;
namespace row = uhf_detail::row;

// ---- The two row shapes ----------------------------------------------------------------------

template <typename Value>
void BaseUhf::getSetting(std::string_view signature, std::optional<UhfParamId> id,
                         void (BaseUhfModule::*get)(ValueCompletion<Value>),
                         std::function<std::string(const Value&)> text,
                         UhfValueCompletion<Value> completion, std::string_view prefix) {
    Run<Value> run;
    run.signature = signature;
    run.id = id;
    run.call = [get](BaseUhfModule& driver,
                     std::function<void(ResultCode, std::optional<Value>)> done) {
        (driver.*get)([done](ResultCode code, std::optional<Value> value) {
            // A success must carry its value; without one the module's answer is unusable.
            if (code == ResultCode::noError && !value) code = ResultCode::invalidResponse;
            done(code, std::move(value));
        });
    };
    run.answer = [tag = TAG(), info = std::string(signature) + std::string(prefix),
                  text = std::move(text),
                  completion = std::move(completion)](ResultCode code, std::optional<Value> value) {
        if (code == ResultCode::noError) {
            orvLogger::info(tag, info + uhf_detail::optionalText(value, text));
        }
        callSafely(tag, completion, code, std::move(value));
    };
    runPipeline(std::move(run));
}

void BaseUhf::setSetting(std::string_view signature, std::optional<UhfParamId> id,
                         std::function<void(BaseUhfModule&, ResultCompletion)> set,
                         std::string info, UhfResultCompletion completion,
                         std::function<std::optional<Refusal>()> checks) {
    Run<NoValue> run;
    run.signature = signature;
    run.id = id;
    run.checks = std::move(checks);
    run.call = [set = std::move(set)](
                   BaseUhfModule& driver,
                   std::function<void(ResultCode, std::optional<NoValue>)> done) {
        set(driver, [done](ResultCode code) { done(code, std::nullopt); });
    };
    run.answer = [tag = TAG(), info = std::move(info), completion = std::move(completion)](
                     ResultCode code, std::optional<NoValue>) {
        if (code == ResultCode::noError) orvLogger::info(tag, info);
        callSafely(tag, completion, code);
    };
    runPipeline(std::move(run));
}

namespace {

template <typename T>
std::string textOf(const T& value) {
    return valueText(value);
}

// A raw value outside its enumeration's cases, refused with `code` before anything is sent.
template <typename E>
std::optional<BaseUhf::Refusal> knownCase(std::string_view signature, std::string_view what,
                                          E value, ResultCode code) {
    if (isKnown(value)) return std::nullopt;
    return BaseUhf::Refusal{code, std::string(signature) + " - Invalid " + std::string(what) + "(" +
                                      std::to_string(rawValue(value)) + ")"};
}

}  // namespace

// A getter, its `_OC` twin through the virtual getter, and its setter.
#define ORV_GETTER_(name, Value, text)                                                     \
    void BaseUhf::name(UhfValueCompletion<Value> completion) {                             \
        getSetting<Value>(row::name::signature, row::name::id, &BaseUhfModule::name, text, \
                          std::move(completion));                                          \
    }
#define ORV_TWIN_(twin, getter, Out, convert)                                                   \
    void BaseUhf::twin(UhfOcCompletion<Out> completion) {                                       \
        getter([completion = std::move(completion)](ResultCode code, auto value) { convert; }); \
    }
#define ORV_SETTER_(name, Param, argument, text, checks)                                        \
    void BaseUhf::name(Param argument, UhfResultCompletion completion) {                        \
        setSetting(                                                                             \
            row::name::signature, row::name::id,                                                \
            [argument](BaseUhfModule& driver, ResultCompletion done) {                          \
                driver.name(argument, std::move(done));                                         \
            },                                                                                  \
            std::string(row::name::signature) + " - " + (text), std::move(completion), checks); \
    }

#define ORV_NUMBER_(fallback) uhf_detail::completeWithNumber(completion, code, value, fallback)
#define ORV_BYTE_(fallback) uhf_detail::completeWithByte(completion, code, value, fallback)
#define ORV_NUMBER16_ uhf_detail::completeWithNumberOrMinusOne16(completion, code, value)
#define ORV_BOOL_ uhf_detail::completeWithBool(completion, code, value)
#define ORV_ARRAY_ uhf_detail::completeWithNSNumberArray(completion, code, value)
#define ORV_OBJECT_ uhf_detail::completeWithObjectOrNew(completion, code, std::move(value))

// A setting of a plain value: getter, twin and setter, the value's text in both records.
#define ORV_SETTING_(getter, twin, setter, Value, Out, convert, Param, argument) \
    ORV_GETTER_(getter, Value, textOf<Value>)                                    \
    ORV_TWIN_(twin, getter, Out, convert)                                        \
    ORV_SETTER_(setter, Param, argument, valueText(argument), {})

// ---- Module information and power ------------------------------------------------------------

ORV_GETTER_(version, std::string, textOf<std::string>)

void BaseUhf::powerRange(UhfValueCompletion<PowerRange> completion) {
    // Answered on the caller's thread from the driver's fixed limits: no lock, no module traffic.
    if (!isSupport(UhfParamId::powerRange)) {
        logError(std::string(row::powerRange::signature) + " - Not supported");
        callSafely(TAG(), completion, ResultCode::notSupported, std::nullopt);
        return;
    }
    const auto driver = uhfModule_;
    if (!driver) {
        callSafely(TAG(), completion, ResultCode::invalidModuleObject, std::nullopt);
        return;
    }
    callSafely(TAG(), completion, ResultCode::noError,
               std::optional(PowerRange(driver->powerMinOutput(), driver->powerMaxOutput())));
}

ORV_SETTING_(getPower, getPower_OC, setPower, int, int64_t, ORV_NUMBER_(0), int, power)
ORV_SETTING_(getContinuousMode, getContinuousMode_OC, setContinuousMode, bool, bool, ORV_BOOL_,
             bool, continuousMode)
ORV_GETTER_(supportedGlobalBand, std::vector<GlobalBandType>, textOf<std::vector<GlobalBandType>>)
ORV_TWIN_(supportedGlobalBand_OC, supportedGlobalBand, std::vector<int64_t>, ORV_ARRAY_)
// The band in use is shown by its display text.
ORV_GETTER_(getGlobalBand, GlobalBandType,
            [](GlobalBandType band) { return valueText(std::string(description(band))); })
ORV_TWIN_(getGlobalBand_OC, getGlobalBand, GlobalBandType,
          callSafely("BaseUhf", completion, code, value.value_or(GlobalBandType::unknown)))
ORV_SETTER_(setGlobalBand, GlobalBandType, band, valueText(band), {})

// ---- Gen2 inventory settings -----------------------------------------------------------------

ORV_SETTING_(getInventoryTime, getInventoryTime_OC, setInventoryTime, unsigned, int64_t,
             ORV_NUMBER_(-1), unsigned, inventoryTime)
ORV_SETTING_(getIdleTime, getIdleTime_OC, setIdleTime, unsigned, int64_t, ORV_NUMBER_(-1), unsigned,
             idleTime)
ORV_SETTING_(getAlgorithmType, getAlgorithmType_OC, setAlgorithmType, AlgorithmType, int64_t,
             ORV_BYTE_(-1), AlgorithmType, algorithmType)
ORV_SETTING_(getStartQ, getStartQ_OC, setStartQ, int, int64_t, ORV_NUMBER_(-1), int, startQ)
ORV_SETTING_(getMaxQ, getMaxQ_OC, setMaxQ, int, int64_t, ORV_NUMBER_(-1), int, maxQ)
ORV_SETTING_(getMinQ, getMinQ_OC, setMinQ, int, int64_t, ORV_NUMBER_(-1), int, minQ)
ORV_SETTING_(getTarget, getTarget_OC, setTarget, Target, int64_t, ORV_BYTE_(-1), Target, target)
ORV_SETTING_(getSession, getSession_OC, setSession, Session, int64_t, ORV_BYTE_(-1), Session,
             session)

// ---- Air-link settings: the setters of an enumeration show its display text ------------------

#define ORV_AIR_LINK_(getter, twin, setter, Value, argument) \
    ORV_GETTER_(getter, Value, textOf<Value>)                \
    ORV_TWIN_(twin, getter, int64_t, ORV_BYTE_(-1))          \
    ORV_SETTER_(setter, Value, argument, std::string(description(argument)), {})

ORV_AIR_LINK_(getSelectMode, getSelectMode_OC, setSelectMode, SelectMode, selectMode)
ORV_AIR_LINK_(getEncoding, getEncoding_OC, setEncoding, Encoding, encoding)
ORV_AIR_LINK_(getTari, getTari_OC, setTari, TariType, tari)
ORV_AIR_LINK_(getBlf, getBlf_OC, setBlf, BlfType, blf)
#undef ORV_AIR_LINK_
ORV_SETTING_(getToggleTarget, getToggleTarget_OC, setToggleTarget, bool, bool, ORV_BOOL_, bool,
             toggleTarget)
ORV_SETTING_(getFastMode, getFastMode_OC, setFastMode, bool, bool, ORV_BOOL_, bool, fastMode)

void BaseUhf::getRfidConfig(UhfValueCompletion<RfidConfig> completion) {
    getSetting<RfidConfig>(
        row::getRfidConfig::signature, row::getRfidConfig::id, &BaseUhfModule::getRfidConfig,
        [](const RfidConfig& config) { return config.description(); }, std::move(completion),
        " - RFIDConfig: ");
}
ORV_TWIN_(getRfidConfig_OC, getRfidConfig, RfidConfig, ORV_OBJECT_)
void BaseUhf::setRfidConfig(const RfidConfig& rfidConfig, UhfResultCompletion completion) {
    setSetting(
        row::setRfidConfig::signature, row::setRfidConfig::id,
        [rfidConfig](BaseUhfModule& driver, ResultCompletion done) {
            driver.setRfidConfig(rfidConfig, std::move(done));
        },
        std::string(row::setRfidConfig::signature) + " - RFIDConfig set to " +
            rfidConfig.description(),
        std::move(completion));
}

// ---- Extended inventory settings -------------------------------------------------------------

ORV_SETTING_(getDwellTime, getDwellTime_OC, setDwellTime, uint16_t, int64_t, ORV_NUMBER16_,
             uint16_t, dwellTime)
ORV_SETTING_(getRfMode, getRfMode_OC, setRfMode, RfMode, int64_t, ORV_NUMBER16_, RfMode, rfMode)
ORV_SETTING_(getLbt, getLbt_OC, setLbt, bool, bool, ORV_BOOL_, bool, enable)
ORV_SETTING_(getFastId, getFastId_OC, setFastId, bool, bool, ORV_BOOL_, bool, enable)
ORV_SETTING_(getTagFocus, getTagFocus_OC, setTagFocus, bool, bool, ORV_BOOL_, bool, enable)

// ---- Frequency, phase, power-saving and switching settings -----------------------------------

ORV_GETTER_(getFixedFrequency, std::vector<uint32_t>, textOf<std::vector<uint32_t>>)
ORV_TWIN_(getFixedFrequency_OC, getFixedFrequency, std::vector<int64_t>, ORV_ARRAY_)
ORV_SETTER_(setFixedFrequency, const std::vector<uint32_t>&, fixedFrequency,
            valueText(fixedFrequency), {})
ORV_SETTING_(getPhaseData, getPhaseData_OC, setPhaseData, bool, bool, ORV_BOOL_, bool, enable)

// The modes of this family refuse a raw value outside their cases before the module is asked.
#define ORV_MODE_(getter, twin, setter, Value, argument)                          \
    ORV_GETTER_(getter, Value, textOf<Value>)                                     \
    ORV_TWIN_(twin, getter, int64_t, ORV_BYTE_(-1))                               \
    ORV_SETTER_(setter, Value, argument, valueText(argument), ([argument] {       \
                    return knownCase(row::setter::signature, #argument, argument, \
                                     ResultCode::outOfRange);                     \
                }))

ORV_MODE_(getPowerSavingMode, getPowerSavingMode_OC, setPowerSavingMode, PowerSavingMode,
          powerSavingMode)
ORV_MODE_(getAntennaSwitchingMode, getAntennaSwitchingMode_OC, setAntennaSwitchingMode,
          AntennaSwitchingMode, antennaSwitchingMode)
ORV_MODE_(getFrequencySwitchingMode, getFrequencySwitchingMode_OC, setFrequencySwitchingMode,
          FrequencySwitchingMode, frequencySwitchingMode)
ORV_MODE_(getCfgStorageMode, getCfgStorageMode_OC, setCfgStorageMode, CfgStorageMode,
          cfgStorageMode)
#undef ORV_MODE_

ORV_GETTER_(getLbtConfigure, int16_t, textOf<int16_t>)
ORV_TWIN_(getLbtConfigure_OC, getLbtConfigure, int64_t, ORV_NUMBER16_)

void BaseUhf::setLbtConfigure(int16_t lbtRssiThreshold, UhfResultCompletion completion) {
    // The threshold is 0 (off) or -80 to -1 dBm; checked before the lock, so a refused call
    // never waits for a running operation.
    const bool valid = lbtRssiThreshold == 0 || (lbtRssiThreshold >= -80 && lbtRssiThreshold <= -1);
    if (!valid && isSupport(UhfParamId::lbtConfigure)) {
        logError(std::string(row::setLbtConfigure::signature) +
                 " - Invalid LBT RSSI threshold value(0-80): " + std::to_string(lbtRssiThreshold));
        callSafely(TAG(), completion, ResultCode::outOfRange);
        return;
    }
    setSetting(
        row::setLbtConfigure::signature, row::setLbtConfigure::id,
        [lbtRssiThreshold](BaseUhfModule& driver, ResultCompletion done) {
            driver.setLbtConfigure(lbtRssiThreshold, std::move(done));
        },
        std::string(row::setLbtConfigure::signature) + " - " + valueText(lbtRssiThreshold),
        std::move(completion));
}

// ---- Radio tests and special tag operations --------------------------------------------------

namespace {

// The special tag operations' password: hex text of even length (blanks allowed), the form the
// driver turns into bytes; it is never written to a log record.
std::optional<BaseUhf::Refusal> hexPassword(std::string_view signature,
                                            const std::string& password) {
    if (dataFromHexString(password)) return std::nullopt;
    return BaseUhf::Refusal{ResultCode::invalidPassword,
                            std::string(signature) + " - Invalid password(" +
                                std::string(BaseUhf::kMaskedPassword) + ")"};
}

std::string joined(std::initializer_list<std::string> parts) {
    std::string text;
    for (const auto& part : parts) {
        if (!text.empty()) text += ", ";
        text += part;
    }
    return text;
}

}  // namespace

void BaseUhf::cwOn(uint8_t antennaId, uint16_t power, uint32_t frequency,
                   UhfResultCompletion completion) {
    setSetting(
        row::cwOn::signature, row::cwOn::id,
        [=](BaseUhfModule& driver, ResultCompletion done) {
            driver.cwOn(antennaId, power, frequency, std::move(done));
        },
        std::string(row::cwOn::signature) + " - " +
            joined({valueText(antennaId), valueText(power), valueText(frequency)}),
        std::move(completion));
}

void BaseUhf::cwOff(UhfResultCompletion completion) {
    setSetting(
        row::cwOff::signature, row::cwOff::id,
        [](BaseUhfModule& driver, ResultCompletion done) { driver.cwOff(std::move(done)); },
        std::string(row::cwOff::signature), std::move(completion));
}

void BaseUhf::txRandomData(uint8_t antennaId, uint16_t power, uint32_t frequency, uint32_t duration,
                           UhfResultCompletion completion) {
    setSetting(
        row::txRandomData::signature, row::txRandomData::id,
        [=](BaseUhfModule& driver, ResultCompletion done) {
            driver.txRandomData(antennaId, power, frequency, duration, std::move(done));
        },
        std::string(row::txRandomData::signature) + " - " +
            joined({valueText(antennaId), valueText(power), valueText(frequency),
                    valueText(duration)}),
        std::move(completion));
}

void BaseUhf::blockPermaLock(const std::string& password, ReadLock readLock, BankType bankType,
                             uint16_t offset, uint8_t length, const std::vector<uint8_t>& mask,
                             UhfResultCompletion completion) {
    constexpr std::string_view sig = row::blockPermaLock::signature;
    setSetting(
        sig, row::blockPermaLock::id,
        [=](BaseUhfModule& driver, ResultCompletion done) {
            driver.blockPermaLock(password, readLock, bankType, offset, length, mask,
                                  std::move(done));
        },
        std::string(sig) + " - " +
            joined({valueText(readLock), valueText(bankType), valueText(offset), valueText(length),
                    valueText(mask)}),
        std::move(completion),
        [=]() -> std::optional<Refusal> {
            if (auto refusal = hexPassword(sig, password)) return refusal;
            if (auto refusal = knownCase(sig, "readLock", readLock, ResultCode::invalidParameter))
                return refusal;
            return knownCase(sig, "bankType", bankType, ResultCode::invalidParameter);
        });
}

void BaseUhf::authenticate(const std::string& password, AuthenticationResponse sendResponse,
                           IncludeReplyLength incRepLen, uint8_t csi, uint16_t msgLen,
                           const std::vector<uint8_t>& msg, uint16_t expectedReplyLen,
                           UhfResultCompletion completion) {
    constexpr std::string_view sig = row::authenticate::signature;
    setSetting(
        sig, row::authenticate::id,
        [=](BaseUhfModule& driver, ResultCompletion done) {
            driver.authenticate(password, sendResponse, incRepLen, csi, msgLen, msg,
                                expectedReplyLen, std::move(done));
        },
        std::string(sig) + " - " +
            joined({valueText(sendResponse), valueText(incRepLen), valueText(csi),
                    valueText(msgLen), valueText(msg), valueText(expectedReplyLen)}),
        std::move(completion),
        [=]() -> std::optional<Refusal> {
            if (auto refusal = hexPassword(sig, password)) return refusal;
            if (auto refusal =
                    knownCase(sig, "sendResponse", sendResponse, ResultCode::invalidParameter))
                return refusal;
            return knownCase(sig, "incRepLen", incRepLen, ResultCode::invalidParameter);
        });
}

}  // namespace orvane
