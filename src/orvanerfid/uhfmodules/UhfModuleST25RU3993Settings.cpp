// The radio settings of the ST25RU3993 driver: the module's configuration records, each
// setting read from its record and written back with one field changed, and the whole settings
// record in one exchange.

#include <algorithm>
#include <string>
#include <type_traits>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/uhfmodules/ModuleChecks.h"
#include "orvanerfid/uhfmodules/ST25RU3993Support.h"
#include "orvanerfid/uhfmodules/UhfModuleST25RU3993.h"

namespace orvane {
namespace {

using namespace st;

constexpr std::string_view kTag = UhfModuleST25RU3993::kClassName;

std::string packetSizes(const std::vector<Bytes>& pieces) {
    std::string text = "[";
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(pieces[i].size());
    }
    return text + "]";
}

// The select mode of a module `sel` value, none for a value the module should not hold.
std::optional<SelectMode> selectModeOf(uint8_t sel) {
    if (sel > 2) return std::nullopt;
    return fromRaw<SelectMode>(static_cast<uint8_t>(sel + 1));
}

}  // namespace

struct UhfModuleST25RU3993::Records {
    std::optional<InventoryCfg> inventory;
    std::optional<ProtocolCfg> protocol;
    std::optional<TxRxCfg> txRx;
    std::optional<FreqHop> freqHop;
};

// ---- Configuration records

template <class R>
R UhfModuleST25RU3993::readRecord(std::string_view name) {
    R request;
    const R record(exchange(request.getPacketBytes(), name));
    record.checkStatus(name);
    return record;
}

template <class R>
void UhfModuleST25RU3993::writeRecord(R& record, std::string_view name) {
    const R echoed(exchange(record.setPacketBytes(), name));
    echoed.checkStatus(name);
}

STUHFL_T_ST25RU3993_Gen2_InventoryCfg UhfModuleST25RU3993::getInventoryCfg() {
    static constexpr std::string_view name = "getInventoryCfg()";
    const Bytes reply = exchange(InventoryCfg().getPacketBytes(), name);
    std::optional<InventoryCfg> record;
    try {
        record.emplace(reply);
    } catch (const STPacketError&) {
        logConvertError(name, "STUHFL_T_ST25RU3993_Gen2_InventoryCfg", reply);
        throw;
    }
    record->checkStatus(name);
    return *record;
}

STUHFL_T_ST25RU3993_Gen2_ProtocolCfg UhfModuleST25RU3993::getProtocolCfg() {
    static constexpr std::string_view name = "getProtocolCfg()";
    const Bytes reply = exchange(ProtocolCfg().getPacketBytes(), name);
    std::optional<ProtocolCfg> record;
    try {
        record.emplace(reply);
    } catch (const STPacketError&) {
        logConvertError(name, "STUHFL_T_ST25RU3993_Gen2_ProtocolCfg", reply);
        throw;
    }
    record->checkStatus(name);
    return *record;
}

void UhfModuleST25RU3993::assertRfidConfig(const RfidConfig& config) {
    const auto refuse = [](const std::string& text) {
        throw ReaderException(ResultCode::outOfRange, text);
    };
    if (config.power < powerMinOutput() || config.power > powerMaxOutput()) {
        refuse("The power value is out of range.");
    }
    if (config.inventoryTime < inventoryTimeMinValue ||
        config.inventoryTime > inventoryTimeMaxValue) {
        refuse("The inventory time is out of range.");
    }
    if (config.idleTime < idleTimeMinValue || config.idleTime > idleTimeMaxValue) {
        refuse("The idle time is out of range.");
    }
    if (config.startQ < 0 || config.startQ > 15) refuse("The start Q is out of range (0 - 15).");
    if (config.startQ < config.minQ || config.startQ > config.maxQ) {
        refuse("The start Q is out of range (" + std::to_string(config.minQ) + " - " +
               std::to_string(config.maxQ) + ").");
    }
    if (config.maxQ >= 16) refuse("The max Q is out of range.");
    if (config.minQ < 0) refuse("The min Q is out of range.");
    module::requireCase(config.target, "target");
    module::requireCase(config.session, "session");
    module::requireCase(config.selectMode, "select mode");
    module::requireCase(config.algorithm, "algorithm type");
    module::requireCase(config.encoding, "encoding");
    module::requireCase(config.tariType, "TARI");
    module::requireCase(config.blfType, "BLF");
}

// ---- Radio settings

template <class Record>
Record UhfModuleST25RU3993::readConfig() {
    if constexpr (std::is_same_v<Record, InventoryCfg>) {
        return getInventoryCfg();
    } else {
        return getProtocolCfg();
    }
}

template <class Record, class T>
void UhfModuleST25RU3993::getField(std::string_view name, const ConfigField<Record, T>& field,
                                   const ValueCompletion<T>& completion) {
    completeValue(name, completion, [&] { return field.get(readConfig<Record>()); });
}

template <class Record, class T, class Check>
void UhfModuleST25RU3993::setField(std::string_view name, const ConfigField<Record, T>& field,
                                   T value, const ResultCompletion& completion, Check&& check) {
    completeResult(name, completion, [&] {
        if constexpr (requires { value.has_value(); }) {
            if (value) module::requireCase(*value, "value");
        } else {
            module::requireCase(value, "value");
        }
        Record record = readConfig<Record>();
        if (field.get(record) == value) return ResultCode::noError;
        check(record);
        field.set(record, value);
        writeRecord(record, name);
        return ResultCode::noError;
    });
}

void UhfModuleST25RU3993::getPower(ValueCompletion<int> completion) {
    static constexpr std::string_view name = "getPower(completion:)";
    completeValue(name, completion,
                  [&] { return int{readRecord<TxRxCfg>(name).txOutputLevel} + 30; });
}

void UhfModuleST25RU3993::setPower(int power, ResultCompletion completion) {
    static constexpr std::string_view name = "setPower(power:completion:)";
    completeResult(name, completion, [&] {
        // Refused without a log line, as the module has always done.
        refuseUnless(power >= powerMinOutput() && power <= powerMaxOutput(), "");
        TxRxCfg record = readRecord<TxRxCfg>(name);
        record.txOutputLevel = static_cast<int8_t>(power - 30);
        writeRecord(record, name);
        return ResultCode::noError;
    });
}

void UhfModuleST25RU3993::getContinuousMode(ValueCompletion<bool> completion) {
    completeValue("getContinuousMode(completion:)", completion, [&] { return continuousMode(); });
}

void UhfModuleST25RU3993::setContinuousMode(bool continuousMode, ResultCompletion completion) {
    completeResult("setContinuousMode(continuousMode:completion:)", completion, [&] {
        storeContinuousMode(continuousMode);
        return ResultCode::noError;
    });
}

void UhfModuleST25RU3993::supportedGlobalBand(
    ValueCompletion<std::vector<GlobalBandType>> completion) {
    if (!acceptsCompletion("supportedGlobalBand(completion:)", completion)) return;
    std::vector<GlobalBandType> bands = supportedGlobalBandList();
    if (bands.empty()) {
        completion(ResultCode::otherError, std::nullopt);
    } else {
        completion(ResultCode::noError, std::move(bands));
    }
}

void UhfModuleST25RU3993::applyLbtRule(GlobalBandType band, std::string_view name) {
    STUHFL_T_ST25RU3993_FreqLBT lbt = readRecord<STUHFL_T_ST25RU3993_FreqLBT>(name);
    const bool lbtBand = band == GlobalBandType::japan250mW;
    if (lbt.skipLBTcheck && lbtBand) {
        lbt.listeningTime = 5;
        lbt.idleTime = 0;
        lbt.rssiLongThreshold = 4;
        lbt.skipLBTcheck = false;
        writeRecord(lbt, name);
    } else if (!lbt.skipLBTcheck && !lbtBand) {
        lbt.skipLBTcheck = true;
        writeRecord(lbt, name);
    }
}

void UhfModuleST25RU3993::getGlobalBand(ValueCompletion<GlobalBandType> completion) {
    static constexpr std::string_view name = "getGlobalBand(completion:)";
    completeValue(name, completion, [&] {
        const auto info = readRecord<STUHFL_T_ST25RU3993_FreqProfileInfo>(name);
        const std::optional<GlobalBandType> band = fromRaw<GlobalBandType>(info.profile);
        if (!band) {
            throw ModuleRefusal(ResultCode::invalidResponse,
                                "Unknown frequency profile " + std::to_string(info.profile));
        }
        applyLbtRule(*band, name);
        return *band;
    });
}

void UhfModuleST25RU3993::setGlobalBand(GlobalBandType band, ResultCompletion completion) {
    static constexpr std::string_view name = "setGlobalBand(band:completion:)";
    completeResult(name, completion, [&] {
        module::requireCase(band, "band");
        const std::vector<GlobalBandType> supported = supportedGlobalBandList();
        if (std::find(supported.begin(), supported.end(), band) == supported.end()) {
            throw ModuleRefusal(ResultCode::notSupported,
                                "Does not support " + std::string(description(band)));
        }
        STUHFL_T_ST25RU3993_FreqProfile profile(rawValue(band));
        // The module never runs the listen-before-talk band without the check: the check is
        // switched on before the band, and off only after leaving it.
        if (band == GlobalBandType::japan250mW) {
            applyLbtRule(band, name);
            writeRecord(profile, name);
        } else {
            writeRecord(profile, name);
            applyLbtRule(band, name);
        }
        return ResultCode::noError;
    });
}

void UhfModuleST25RU3993::getInventoryTime(ValueCompletion<unsigned> completion) {
    static constexpr std::string_view name = "getInventoryTime(completion:)";
    completeValue(name, completion,
                  [&] { return unsigned{readRecord<FreqHop>(name).maxSendingTime}; });
}

void UhfModuleST25RU3993::setInventoryTime(unsigned inventoryTime, ResultCompletion completion) {
    static constexpr std::string_view name = "setInventoryTime(inventoryTime:completion:)";
    completeResult(name, completion, [&] {
        refuseUnless(
            inventoryTime >= inventoryTimeMinValue && inventoryTime <= inventoryTimeMaxValue,
            "Inventory time is out of range (" + std::to_string(inventoryTimeMinValue) + " - " +
                std::to_string(inventoryTimeMaxValue) + ")");
        FreqHop record = readRecord<FreqHop>(name);
        if (record.maxSendingTime == inventoryTime) return ResultCode::noError;
        record.maxSendingTime = static_cast<uint16_t>(inventoryTime);
        writeRecord(record, name);
        return ResultCode::noError;
    });
}

void UhfModuleST25RU3993::getIdleTime(ValueCompletion<unsigned> completion) {
    completeValue("getIdleTime(completion:)", completion, [&] { return inventoryIdleTime(); });
}

void UhfModuleST25RU3993::setIdleTime(unsigned idleTime, ResultCompletion completion) {
    static constexpr std::string_view name = "setIdleTime(idleTime:completion:)";
    completeResult(name, completion, [&] {
        refuseUnless(idleTime >= idleTimeMinValue && idleTime <= idleTimeMaxValue,
                     "Idle time is out of range (" + std::to_string(idleTimeMinValue) + " - " +
                         std::to_string(idleTimeMaxValue) + ")");
        inventoryIdleTime_.store(idleTime);
        return ResultCode::noError;
    });
}

namespace {

AlgorithmType algorithmOf(const InventoryCfg& record) {
    return record.antiCollision.adaptiveQ ? AlgorithmType::dynamicQ : AlgorithmType::fixedQ;
}

// The fields of the inventory and protocol configurations behind the single-value settings,
// each read and written as its public type.
template <class Record, class T>
using Field = UhfModuleST25RU3993::ConfigField<Record, T>;

const Field<InventoryCfg, AlgorithmType> kAlgorithm{
    algorithmOf, [](InventoryCfg& r, AlgorithmType v) {
        r.antiCollision.adaptiveQ = v == AlgorithmType::dynamicQ;
    }};
const Field<InventoryCfg, int> kStartQ{
    [](const InventoryCfg& r) { return int{r.antiCollision.startQ}; },
    [](InventoryCfg& r, int v) { r.antiCollision.startQ = static_cast<uint8_t>(v); }};
const Field<InventoryCfg, int> kMaxQ{
    [](const InventoryCfg& r) { return int{r.antiCollision.maxQ}; },
    [](InventoryCfg& r, int v) { r.antiCollision.maxQ = static_cast<uint8_t>(v); }};
const Field<InventoryCfg, int> kMinQ{
    [](const InventoryCfg& r) { return int{r.antiCollision.minQ}; },
    [](InventoryCfg& r, int v) { r.antiCollision.minQ = static_cast<uint8_t>(v); }};
const Field<InventoryCfg, Target> kTarget{
    [](const InventoryCfg& r) { return convert<Target>(r.queryParams.target); },
    [](InventoryCfg& r, Target v) { r.queryParams.target = convert<STUHFL_D_GEN2_TARGET>(v); }};
const Field<InventoryCfg, Session> kSession{
    [](const InventoryCfg& r) { return convert<Session>(r.queryParams.session); },
    [](InventoryCfg& r, Session v) { r.queryParams.session = convert<STUHFL_D_GEN2_SESSION>(v); }};
// A module sel above 2 is no select mode: it never equals a request, so it is rewritten.
const Field<InventoryCfg, std::optional<SelectMode>> kSelectMode{
    [](const InventoryCfg& r) { return selectModeOf(r.queryParams.sel); },
    [](InventoryCfg& r, std::optional<SelectMode> v) {
        r.queryParams.sel = static_cast<uint8_t>(rawValue(*v) - 1);
    }};
const Field<InventoryCfg, bool> kToggleTarget{
    [](const InventoryCfg& r) { return r.queryParams.toggleTarget; },
    [](InventoryCfg& r, bool v) { r.queryParams.toggleTarget = v; }};
const Field<InventoryCfg, bool> kFastMode{
    [](const InventoryCfg& r) { return r.inventoryOption.fast; },
    [](InventoryCfg& r, bool v) { r.inventoryOption.fast = v; }};
const Field<ProtocolCfg, Encoding> kEncoding{
    [](const ProtocolCfg& r) { return convert<Encoding>(r.coding); },
    [](ProtocolCfg& r, Encoding v) { r.coding = convert<STUHFL_D_GEN2_CODING>(v); }};
const Field<ProtocolCfg, TariType> kTari{
    [](const ProtocolCfg& r) { return convert<TariType>(r.tari); },
    [](ProtocolCfg& r, TariType v) { r.tari = convert<STUHFL_D_GEN2_TARI>(v); }};
const Field<ProtocolCfg, BlfType> kBlf{
    [](const ProtocolCfg& r) { return convert<BlfType>(r.blf); },
    [](ProtocolCfg& r, BlfType v) { r.blf = convert<STUHFL_D_GEN2_BLF>(v); }};

// Sets `field` of `record` to `value`; true when the field held it already.
template <class Record, class T, class V>
bool assign(const Field<Record, T>& field, Record& record, const V& value) {
    const bool same = field.get(record) == value;
    field.set(record, static_cast<T>(value));
    return same;
}

// Refuses (0x4003, with `message`) a Q outside `min`..`max`.
void checkQ(int q, int min, int max, const std::string& message) {
    refuseUnless(q >= min && q <= max, message);
}

}  // namespace

void UhfModuleST25RU3993::getAlgorithmType(ValueCompletion<AlgorithmType> completion) {
    getField("getAlgorithmType(completion:)", kAlgorithm, completion);
}

void UhfModuleST25RU3993::setAlgorithmType(AlgorithmType algorithmType,
                                           ResultCompletion completion) {
    setField("setAlgorithmType(algorithmType:completion:)", kAlgorithm, algorithmType, completion);
}

void UhfModuleST25RU3993::getStartQ(ValueCompletion<int> completion) {
    getField("getStartQ(completion:)", kStartQ, completion);
}

void UhfModuleST25RU3993::setStartQ(int startQ, ResultCompletion completion) {
    static constexpr std::string_view name = "setStartQ(startQ:completion:)";
    setField(name, kStartQ, startQ, completion, [&](const InventoryCfg& r) {
        const int minQ = r.antiCollision.minQ;
        const int maxQ = r.antiCollision.maxQ;
        checkQ(startQ, minQ, maxQ,
               "The start Q is out of range (" + std::to_string(minQ) + " - " +
                   std::to_string(maxQ) + ").");
    });
}

void UhfModuleST25RU3993::getMaxQ(ValueCompletion<int> completion) {
    getField("getMaxQ(completion:)", kMaxQ, completion);
}

void UhfModuleST25RU3993::setMaxQ(int maxQ, ResultCompletion completion) {
    static constexpr std::string_view name = "setMaxQ(maxQ:completion:)";
    setField(name, kMaxQ, maxQ, completion, [&](const InventoryCfg& r) {
        const int startQ = r.antiCollision.startQ;
        checkQ(maxQ, startQ, 15,
               "The max Q is out of range (15 - " + std::to_string(startQ) + ").");
    });
}

void UhfModuleST25RU3993::getMinQ(ValueCompletion<int> completion) {
    getField("getMinQ(completion:)", kMinQ, completion);
}

void UhfModuleST25RU3993::setMinQ(int minQ, ResultCompletion completion) {
    static constexpr std::string_view name = "setMinQ(minQ:completion:)";
    // A negative Q has no module value: refused like one above start Q.
    setField(name, kMinQ, minQ, completion, [&](const InventoryCfg& r) {
        const int startQ = r.antiCollision.startQ;
        checkQ(minQ, 0, startQ, "The min Q is out of range (" + std::to_string(startQ) + " - 0).");
    });
}

void UhfModuleST25RU3993::getTarget(ValueCompletion<Target> completion) {
    getField("getTarget(completion:)", kTarget, completion);
}

void UhfModuleST25RU3993::setTarget(Target target, ResultCompletion completion) {
    setField("setTarget(target:completion:)", kTarget, target, completion);
}

void UhfModuleST25RU3993::getSession(ValueCompletion<Session> completion) {
    getField("getSession(completion:)", kSession, completion);
}

void UhfModuleST25RU3993::setSession(Session session, ResultCompletion completion) {
    static constexpr std::string_view name = "setSession(session:completion:)";
    // A session the enumeration has and the module lacks is not supported; nothing is sent.
    if (fromRaw<Session>(rawValue(session)) && !fromRaw<STUHFL_D_GEN2_SESSION>(rawValue(session))) {
        completeResult(name, completion, [&]() -> ResultCode {
            throw ModuleRefusal(ResultCode::notSupported,
                                "The module has no " + std::string(description(session)));
        });
        return;
    }
    setField(name, kSession, session, completion);
}

void UhfModuleST25RU3993::getSelectMode(ValueCompletion<SelectMode> completion) {
    static constexpr std::string_view name = "getSelectMode(completion:)";
    completeValue(name, completion, [&] {
        const uint8_t sel = getInventoryCfg().queryParams.sel;
        const std::optional<SelectMode> mode = selectModeOf(sel);
        if (!mode) {
            throw ModuleRefusal(ResultCode::invalidResponse,
                                "sel value " + std::to_string(sel) + " is invalid");
        }
        return *mode;
    });
}

void UhfModuleST25RU3993::setSelectMode(SelectMode selectMode, ResultCompletion completion) {
    setField("setSelectMode(selectMode:completion:)", kSelectMode,
             std::optional<SelectMode>(selectMode), completion);
}

void UhfModuleST25RU3993::getEncoding(ValueCompletion<Encoding> completion) {
    getField("getEncoding(completion:)", kEncoding, completion);
}

void UhfModuleST25RU3993::setEncoding(Encoding encoding, ResultCompletion completion) {
    setField("setEncoding(encoding:completion:)", kEncoding, encoding, completion);
}

void UhfModuleST25RU3993::getTari(ValueCompletion<TariType> completion) {
    getField("getTari(completion:)", kTari, completion);
}

void UhfModuleST25RU3993::setTari(TariType tari, ResultCompletion completion) {
    setField("setTari(tari:completion:)", kTari, tari, completion);
}

void UhfModuleST25RU3993::getBlf(ValueCompletion<BlfType> completion) {
    getField("getBlf(completion:)", kBlf, completion);
}

void UhfModuleST25RU3993::setBlf(BlfType blf, ResultCompletion completion) {
    setField("setBlf(blf:completion:)", kBlf, blf, completion);
}

void UhfModuleST25RU3993::getToggleTarget(ValueCompletion<bool> completion) {
    getField("getToggleTarget(completion:)", kToggleTarget, completion);
}

void UhfModuleST25RU3993::setToggleTarget(bool toggleTarget, ResultCompletion completion) {
    setField("setToggleTarget(toggleTarget:completion:)", kToggleTarget, toggleTarget, completion);
}

void UhfModuleST25RU3993::getFastMode(ValueCompletion<bool> completion) {
    getField("getFastMode(completion:)", kFastMode, completion);
}

void UhfModuleST25RU3993::setFastMode(bool fastMode, ResultCompletion completion) {
    setField("setFastMode(fastMode:completion:)", kFastMode, fastMode, completion);
}

UhfModuleST25RU3993::Records UhfModuleST25RU3993::readRecords(std::string_view name, bool setting) {
    Bytes requests = InventoryCfg().getPacketBytes();
    append(requests, ProtocolCfg().getPacketBytes());
    append(requests, TxRxCfg().getPacketBytes());
    append(requests, FreqHop().getPacketBytes());
    const std::vector<Bytes> pieces = exchange(requests, 4, name);
    if (pieces.size() != 4) {
        throw ModuleRefusal(ResultCode::invalidResponse,
                            "Invalid number of packets received: " + packetSizes(pieces));
    }
    Records records;
    for (const Bytes& piece : pieces) {
        const STPacket packet(piece);
        packet.checkStatus(name);
        if (!isPacket(packet, STUHFL_CG::dl, InventoryCfg::kGetSubcode)) {
            throw ModuleRefusal(ResultCode::invalidResponse,
                                "Invalid packet received: " + std::to_string(piece.size()));
        }
        if (packet.payload().empty()) {
            throw STPacketError(ResultCode::invalidParameter, "The payload length is less than 1");
        }
        switch (packet.payload()[0]) {
            case InventoryCfg::kTag:
                records.inventory.emplace(piece);
                break;
            case ProtocolCfg::kTag:
                records.protocol.emplace(piece);
                break;
            case TxRxCfg::kTag:
                records.txRx.emplace(piece);
                break;
            case FreqHop::kTag:
                records.freqHop.emplace(piece);
                break;
            default:
                throw ModuleRefusal(ResultCode::invalidResponse,
                                    "Invalid packet received: " + std::to_string(piece.size()));
        }
    }
    if (!records.inventory || !records.protocol || !records.txRx || !records.freqHop) {
        if (setting) {
            throw ModuleRefusal(ResultCode::invalidResponse,
                                "Invalid packet received: " + packetSizes(pieces));
        }
        const auto word = [](bool arrived) { return arrived ? "true" : "false"; };
        throw ModuleRefusal(ResultCode::invalidResponse,
                            std::string("Lost packet : ") + word(records.inventory.has_value()) +
                                " " + word(records.protocol.has_value()) + " " +
                                word(records.txRx.has_value()) + " " +
                                word(records.freqHop.has_value()));
    }
    return records;
}

void UhfModuleST25RU3993::getRfidConfig(ValueCompletion<RfidConfig> completion) {
    static constexpr std::string_view name = "getRfidConfig(completion:)";
    completeValue(name, completion, [&] {
        const Records records = readRecords(name, false);
        const InventoryCfg& inventory = *records.inventory;
        const ProtocolCfg& protocol = *records.protocol;
        RfidConfig config;
        config.continuousMode = continuousMode();
        config.target = kTarget.get(inventory);
        config.session = kSession.get(inventory);
        if (const std::optional<SelectMode> mode = kSelectMode.get(inventory)) {
            config.selectMode = *mode;
        } else {
            logError(std::string(name) + " - sel value " +
                     std::to_string(inventory.queryParams.sel) + " is invalid");
        }
        config.encoding = kEncoding.get(protocol);
        config.tariType = kTari.get(protocol);
        config.blfType = kBlf.get(protocol);
        config.algorithm = kAlgorithm.get(inventory);
        config.fastMode = kFastMode.get(inventory);
        config.toggleTarget = kToggleTarget.get(inventory);
        config.power = int64_t{records.txRx->txOutputLevel} + 30;
        config.inventoryTime = records.freqHop->maxSendingTime;
        config.idleTime = inventoryIdleTime();
        config.startQ = kStartQ.get(inventory);
        config.maxQ = kMaxQ.get(inventory);
        config.minQ = kMinQ.get(inventory);
        return config;
    });
}

void UhfModuleST25RU3993::setRfidConfig(const RfidConfig& config, ResultCompletion completion) {
    static constexpr std::string_view name = "setRfidConfig(rfidConfig:completion:)";
    completeResult(name, completion, [&] {
        assertRfidConfig(config);
        Records records = readRecords(name, true);
        if (!fromRaw<STUHFL_D_GEN2_SESSION>(rawValue(config.session))) {
            throw ModuleRefusal(ResultCode::notSupported,
                                "The module has no " + std::string(description(config.session)));
        }
        InventoryCfg& inventory = *records.inventory;
        ProtocolCfg& protocol = *records.protocol;
        TxRxCfg& txRx = *records.txRx;
        FreqHop& freqHop = *records.freqHop;

        // Every field is set from the record; a record is written when any of its fields changed.
        bool inventoryUnchanged = assign(kTarget, inventory, config.target);
        inventoryUnchanged &= assign(kSession, inventory, config.session);
        inventoryUnchanged &= assign(kSelectMode, inventory, config.selectMode);
        inventoryUnchanged &= assign(kAlgorithm, inventory, config.algorithm);
        inventoryUnchanged &= assign(kFastMode, inventory, config.fastMode);
        inventoryUnchanged &= assign(kToggleTarget, inventory, config.toggleTarget);
        inventoryUnchanged &= assign(kStartQ, inventory, config.startQ);
        inventoryUnchanged &= assign(kMaxQ, inventory, config.maxQ);
        inventoryUnchanged &= assign(kMinQ, inventory, config.minQ);
        bool protocolUnchanged = assign(kEncoding, protocol, config.encoding);
        protocolUnchanged &= assign(kTari, protocol, config.tariType);
        protocolUnchanged &= assign(kBlf, protocol, config.blfType);

        const bool powerUnchanged = txRx.txOutputLevel == config.power - 30;
        txRx.txOutputLevel = static_cast<int8_t>(config.power - 30);
        const bool timeUnchanged = freqHop.maxSendingTime == config.inventoryTime;
        freqHop.maxSendingTime = static_cast<uint16_t>(config.inventoryTime);

        Bytes requests;
        int count = 0;
        const auto add = [&](bool unchanged, STPacket& record, std::string_view skipped) {
            if (unchanged) {
                orvLogger::debug(kTag, std::string(name) + " - Skip set " + std::string(skipped) +
                                           ", the setting does not change");
                return;
            }
            append(requests, record.setPacketBytes());
            ++count;
        };
        add(inventoryUnchanged, inventory, "invGen2Cfg");
        add(protocolUnchanged, protocol, "protocolCfg");
        add(powerUnchanged, txRx, "power");
        add(timeUnchanged, freqHop, "inventory time");

        if (count > 0) {
            const std::vector<Bytes> pieces = exchange(requests, count, name);
            // Every written record must be confirmed.
            if (pieces.size() != static_cast<std::size_t>(count)) {
                throw ModuleRefusal(ResultCode::invalidResponse,
                                    "Invalid number of packets received: " + packetSizes(pieces));
            }
            for (const Bytes& piece : pieces) {
                STPacket(piece).checkStatus(name);
            }
        }
        // The driver's own settings change only with the module's.
        storeContinuousMode(config.continuousMode);
        inventoryIdleTime_.store(static_cast<unsigned>(config.idleTime));
        return ResultCode::noError;
    });
}

}  // namespace orvane
