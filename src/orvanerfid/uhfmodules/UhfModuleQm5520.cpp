#include "orvanerfid/uhfmodules/UhfModuleQm5520.h"

#include <string>

#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/commands/TagCommands.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

constexpr unsigned kMaxMaskBits = 255;

// The value of a reply accessor, or 0x5000 when the reply was too short to hold it.
template <typename T>
T need(std::optional<T> value) {
    if (!value) throw ReaderException(ResultCode::invalidResponse, "The reply is too short.");
    return std::move(*value);
}

// A password or data text as bytes: blanks are dropped; anything but an even count of hex
// digits is refused with 0x5002 before a request is built.
Bytes hexBytes(std::string_view text, std::string_view what) {
    auto bytes = dataFromHexString(text);
    if (!bytes) {
        throw ReaderException(ResultCode::invalidParameter,
                              "The " + std::string(what) + " is not hex text.");
    }
    return std::move(*bytes);
}

void requireRange(bool inRange, const std::string& message) {
    if (!inRange) throw ReaderException(ResultCode::outOfRange, message);
}

// The command layer's twin of an API enumeration with the same raw values; a value outside them
// (only reachable through a cast) is refused with 0x5002.
template <TabledEnum To, TabledEnum From>
To sameRaw(From value) {
    const auto converted = fromRaw<To>(rawValue(value));
    if (!converted) throw ReaderException(ResultCode::invalidParameter, "Unknown option value.");
    return *converted;
}

std::string_view nameOr(std::string_view given, std::string_view own) {
    return given.empty() ? own : given;
}

}  // namespace

UhfModuleQm5520::UhfModuleQm5520(std::shared_ptr<BaseProtocol> protocol, int inventoryTimeMinValue,
                                 int idleTimeMinValue, bool continuousMode)
    : BaseUhfModule(std::move(protocol), "UhfModuleQm5520"),
      inventoryTimeMinValue_(inventoryTimeMinValue),
      idleTimeMinValue_(idleTimeMinValue) {
    storeContinuousMode(continuousMode);
}

// ---- Exchanges -------------------------------------------------------------------------------

ResultCode UhfModuleQm5520::sendCommand(ByteView frame, std::string_view functionName) {
    return guarded(functionName, [&] {
        const Bytes reply = checkResponse(functionName, baseProtocol()->send(frame, timeout()));
        const OrvaneRfidCommand parsed(OrvaneRfidCommand::ReceiveBytes{reply});
        parsed.checkStatus(functionName);
        return ResultCode::noError;
    });
}

OrvRfidCmd_Gen2Algorithm UhfModuleQm5520::getGen2Algorithm(std::string_view functionName) {
    OrvRfidCmd_GetGen2Algorithm request;
    return need(
        exchange<OrvRfidCmd_GetGen2Algorithm>(request, nameOr(functionName, "getGen2Algorithm(_:)"))
            .gen2Algorithm());
}

ResultCode UhfModuleQm5520::setGen2Algorithm(const OrvRfidCmd_Gen2Algorithm& value,
                                             std::string_view functionName) {
    const std::string_view name = nameOr(functionName, "setGen2Algorithm(_:_:)");
    Bytes frame;
    const ResultCode built = guarded(name, [&] {
        OrvRfidCmd_SetGen2Algorithm request(value);
        frame = request.toBytes();
        return ResultCode::noError;
    });
    return built != ResultCode::noError ? built : sendCommand(frame, name);
}

OrvRfidCmd_Gen2QueryGroup UhfModuleQm5520::getGen2QueryGroup(std::string_view functionName) {
    OrvRfidCmd_GetGen2QueryGroup request;
    return need(exchange<OrvRfidCmd_GetGen2QueryGroup>(
                    request, nameOr(functionName, "getGen2QueryGroup(_:)"))
                    .gen2QueryGroup());
}

ResultCode UhfModuleQm5520::setGen2QueryGroup(const OrvRfidCmd_Gen2QueryGroup& value,
                                              std::string_view functionName) {
    OrvRfidCmd_SetGen2QueryGroup request;
    request.selectMode = value.selectMode;
    request.session = value.session;
    request.target = value.target;
    return sendCommand(request.toBytes(), nameOr(functionName, "setGen2QueryGroup(_:_:)"));
}

OrvRfidCmd_AntennaSettings UhfModuleQm5520::getAntennaSettings(uint8_t antennadId,
                                                               std::string_view functionName) {
    OrvRfidCmd_GetAntennaSettings request(antennadId);
    return need(exchange<OrvRfidCmd_GetAntennaSettings>(
                    request, nameOr(functionName, "getAntennaSettings(antennadId:_:)"))
                    .antennaSettings());
}

ResultCode UhfModuleQm5520::setAntennaSettings(const OrvRfidCmd_AntennaSettings& value,
                                               std::string_view functionName) {
    OrvRfidCmd_SetAntennaSettings request(value);
    return sendCommand(request.toBytes(), nameOr(functionName, "setAntennaSettings(_:_:)"));
}

OrvRfidCmd_TxOnOffTime UhfModuleQm5520::getTxOnOffTime(std::string_view functionName) {
    OrvRfidCmd_GetTxOnOffTime request;
    return need(
        exchange<OrvRfidCmd_GetTxOnOffTime>(request, nameOr(functionName, "getTxOnOffTime(_:)"))
            .txOnOffTime());
}

ResultCode UhfModuleQm5520::setTxOnOffTime(const OrvRfidCmd_TxOnOffTime& value,
                                           std::string_view functionName) {
    OrvRfidCmd_SetTxOnOffTime request;
    request.onTime = value.onTime;
    request.offTime = value.offTime;
    return sendCommand(request.toBytes(), nameOr(functionName, "setTxOnOffTime(_:_:)"));
}

// ---- Select masks and tag operations ---------------------------------------------------------

ResultCode UhfModuleQm5520::sendSelect(OrvRfidCmd_Select& select, std::string_view name) {
    Bytes frame;
    const ResultCode built = guarded(name, [&] {
        frame = select.toBytes();
        return ResultCode::noError;
    });
    return built != ResultCode::noError ? built : sendCommand(frame, name);
}

ResultCode UhfModuleQm5520::setSelectMask() {
    constexpr std::string_view kName = "setSelectMask()";
    std::vector<Bytes> frames;
    const ResultCode built = guarded(kName, [&] {
        for (const auto& [index, entry] : selectMaskList()) {
            if (!entry.isUsed()) continue;
            OrvRfidCmd_Select select(frames.empty() ? OrvRfidCmdSelectMode::clearAndAdd
                                                    : OrvRfidCmdSelectMode::add);
            select.selTarget = entry.target();
            select.action = entry.action();
            select.trunc = entry.turncation() == Truncate::partialEpc;
            select.bank = entry.bank();
            // The EPC bank's first 32 bits are the stored CRC and PC words.
            const uint64_t address = entry.offset() + (entry.bank() == BankType::epc ? 32 : 0);
            requireRange(address <= 0xFFFF,
                         "The mask offset of entry " + std::to_string(index) + " is out of range.");
            select.address = static_cast<uint16_t>(address);
            const MaskPattern pattern = entry.maskPattern();
            auto data = hexTextToData(pattern.pattern());
            if (!data) {
                throw ReaderException(
                    ResultCode::invalidParameter,
                    "The mask pattern of entry " + std::to_string(index) + " is not hex text.");
            }
            requireRange(pattern.length() <= kMaxMaskBits && pattern.length() <= 8 * data->size(),
                         "The mask length of entry " + std::to_string(index) + " is out of range.");
            select.length = static_cast<uint8_t>(pattern.length());
            select.selectData = std::move(*data);
            frames.push_back(select.toBytes());
        }
        return ResultCode::noError;
    });
    if (built != ResultCode::noError) return built;
    if (frames.empty()) return clearSelectMaskCommand();
    for (const Bytes& frame : frames) {
        const ResultCode code = sendCommand(frame, kName);
        if (code != ResultCode::noError) return code;
    }
    return ResultCode::noError;
}

ResultCode UhfModuleQm5520::clearSelectMaskCommand() {
    OrvRfidCmd_Select select(OrvRfidCmdSelectMode::clear);
    return sendSelect(select, "clearSelectMask()");
}

ResultCode UhfModuleQm5520::tagOperation(std::string_view name, OrvaneRfidCommand& command,
                                         std::optional<BankType> accessBank, bool applySelectMask) {
    Bytes frame;
    const ResultCode built = guarded(name, [&] {
        frame = command.toBytes();
        return ResultCode::noError;
    });
    if (built != ResultCode::noError) return built;
    if (applySelectMask) {
        const ResultCode masks = setSelectMask();
        if (masks != ResultCode::noError) {
            logError(std::string(name) + " - Failed to set select mask");
            return masks;
        }
    }
    if (accessBank) {
        baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::accessBankType, *accessBank));
    }
    return sendCommand(frame, name);
}

ResultCode UhfModuleQm5520::inventory() {
    OrvRfidCmd_Inventory command;
    return tagOperation("inventory()", command, std::nullopt, true);
}

ResultCode UhfModuleQm5520::readMemory(BankType bank, uint16_t offset, uint8_t length,
                                       const std::string& password) {
    constexpr std::string_view kName = "readMemory(bank:offset:length:password:)";
    OrvRfidCmd_Read command;
    const ResultCode input = guarded(kName, [&] {
        command.password = hexBytes(password, "password");
        return ResultCode::noError;
    });
    if (input != ResultCode::noError) return input;
    command.bank = bank;
    command.address = offset;
    command.length = length;
    return tagOperation(kName, command, bank, true);
}

ResultCode UhfModuleQm5520::writeMemory(BankType bank, unsigned offset, const std::string& data,
                                        const std::string& password) {
    constexpr std::string_view kName = "writeMemory(bank:offset:data:password:)";
    OrvRfidCmd_Write command;
    const ResultCode input = guarded(kName, [&] {
        requireRange(offset <= 0xFFFF, "The offset is out of range.");
        command.password = hexBytes(password, "password");
        command.writeData = hexBytes(data, "data");
        return ResultCode::noError;
    });
    if (input != ResultCode::noError) return input;
    command.bank = bank;
    command.address = static_cast<uint16_t>(offset);
    return tagOperation(kName, command, bank, true);
}

ResultCode UhfModuleQm5520::lockTag(const LockParam& lockParam, const std::string& password) {
    constexpr std::string_view kName = "lockTag(lockParam:password:)";
    OrvRfidCmd_Lock command;
    const ResultCode input = guarded(kName, [&] {
        command.password = hexBytes(password, "password");
        return ResultCode::noError;
    });
    if (input != ResultCode::noError) return input;
    command.mask = lockParam.toMaskEx();
    return tagOperation(kName, command, std::nullopt, true);
}

ResultCode UhfModuleQm5520::permaLockTag(const PermaLockParam& permaLockParam,
                                         const std::string& password) {
    constexpr std::string_view kName = "permaLockTag(permaLockParam:password:)";
    OrvRfidCmd_Lock command;
    const ResultCode input = guarded(kName, [&] {
        command.password = hexBytes(password, "password");
        return ResultCode::noError;
    });
    if (input != ResultCode::noError) return input;
    command.mask = permaLockParam.toMaskEx();
    return tagOperation(kName, command, std::nullopt, true);
}

ResultCode UhfModuleQm5520::killTag(const std::string& password) {
    constexpr std::string_view kName = "killTag(password:)";
    OrvRfidCmd_Kill command;
    const ResultCode input = guarded(kName, [&] {
        command.killPassword = hexBytes(password, "kill password");
        return ResultCode::noError;
    });
    if (input != ResultCode::noError) return input;
    return tagOperation(kName, command, std::nullopt, true);
}

ResultCode UhfModuleQm5520::stop() {
    OrvRfidCmd_Cancel command;
    return sendCommand(command.toBytes(), "stop()");
}

ResultCode UhfModuleQm5520::inventoryWithUserSpecifiedDataOperation(BankType bank, uint16_t offset,
                                                                    uint8_t length,
                                                                    const std::string& password) {
    constexpr std::string_view kName =
        "inventoryWithUserSpecifiedDataOperation(bank:offset:length:password:)";
    OrvRfidCmd_InventoryWithUserSpecifiedData command;
    const ResultCode input = guarded(kName, [&] {
        command.password = hexBytes(password, "password");
        return ResultCode::noError;
    });
    if (input != ResultCode::noError) return input;
    command.bank = bank;
    command.address = offset;
    command.length = length;
    return tagOperation(kName, command, std::nullopt, false);
}

ResultCode UhfModuleQm5520::blockWriteMemory(BankType bank, uint16_t offset,
                                             const std::string& data, const std::string& password) {
    constexpr std::string_view kName = "blockWriteMemory(bank:offset:data:password:)";
    OrvRfidCmd_BlockWrite command;
    const ResultCode input = guarded(kName, [&] {
        command.password = hexBytes(password, "password");
        command.writeData = hexBytes(data, "data");
        return ResultCode::noError;
    });
    if (input != ResultCode::noError) return input;
    command.bank = bank;
    command.address = offset;
    return tagOperation(kName, command, bank, false);
}

void UhfModuleQm5520::blockPermaLock(const std::string& password, ReadLock readLock,
                                     BankType bankType, uint16_t offset, uint8_t length,
                                     const std::vector<uint8_t>& mask,
                                     ResultCompletion completion) {
    constexpr std::string_view kName =
        "blockPermaLock(password:readLock:bankType:offset:length:mask:completion:)";
    OrvRfidCmd_BlockPermaLock command;
    const ResultCode input = guarded(kName, [&] {
        command.password = hexBytes(password, "password");
        command.readLock = sameRaw<OrvRfidCmdReadLock>(readLock);
        return ResultCode::noError;
    });
    if (input != ResultCode::noError) return completion(input);
    command.bank = bankType;
    command.address = offset;
    command.length = length;
    command.mask = mask;
    completion(tagOperation(kName, command, bankType, false));
}

void UhfModuleQm5520::authenticate(const std::string& password, AuthenticationResponse sendResponse,
                                   IncludeReplyLength incRepLen, uint8_t csi, uint16_t msgLen,
                                   const std::vector<uint8_t>& msg, uint16_t expectedReplyLen,
                                   ResultCompletion completion) {
    constexpr std::string_view kName =
        "authenticate(password:sendResponse:incRepLen:csi:msgLen:msg:expectedReplyLen:"
        "completion:)";
    OrvRfidCmd_Authenticate command;
    const ResultCode input = guarded(kName, [&] {
        command.password = hexBytes(password, "password");
        command.sedRep = sameRaw<OrvRfidCmdAuthenticationResponse>(sendResponse);
        command.incRepLen = sameRaw<OrvRfidCmdIncludeReplyLength>(incRepLen);
        return ResultCode::noError;
    });
    if (input != ResultCode::noError) return completion(input);
    command.csi = csi;
    command.mlen = msgLen;
    command.msg = msg;
    command.expRepLen = expectedReplyLen;
    completion(tagOperation(kName, command, std::nullopt, false));
}

// ---- Module information and test transmissions ----------------------------------------------

void UhfModuleQm5520::version(ValueCompletion<std::string> completion) {
    constexpr std::string_view kName = "version(completion:)";
    completeValue(kName, completion, [&] {
        OrvRfidCmd_FirmwareVersion request;
        return need(exchange<OrvRfidCmd_FirmwareVersion>(request, kName).version());
    });
}

void UhfModuleQm5520::cwOn(uint8_t antennaId, uint16_t power, uint32_t frequency,
                           ResultCompletion completion) {
    OrvRfidCmd_CwOn command;
    command.antennaId = antennaId;
    command.power = power;
    command.frequency = frequency;
    completion(sendCommand(command.toBytes(), "cwOn(antennaId:power:frequency:completion:)"));
}

void UhfModuleQm5520::cwOff(ResultCompletion completion) {
    OrvRfidCmd_CwOff command;
    completion(sendCommand(command.toBytes(), "cwOff(completion:)"));
}

void UhfModuleQm5520::txRandomData(uint8_t antennaId, uint16_t power, uint32_t frequency,
                                   uint32_t duration, ResultCompletion completion) {
    OrvRfidCmd_TxRandomData command;
    command.antennaId = antennaId;
    command.power = power;
    command.frequency = frequency;
    command.duration = duration;
    completion(sendCommand(command.toBytes(),
                           "txRandomData(antennaId:power:frequency:duration:completion:)"));
}

// ---- Band list -------------------------------------------------------------------------------

std::vector<GlobalBandType> UhfModuleQm5520::supportedGlobalBandList() {
    using G = GlobalBandType;
    switch (skuType()) {
        case SkuType::european:
            return {G::europe};
        case SkuType::us:
            return {G::usa, G::taiwan, G::brazil, G::china, G::hongKong, G::israel};
        case SkuType::japanese:
            return {G::japan, G::japan6Channels};
        case SkuType::usAndJapanese:
            logError("Does not supoort usjp SKU");
            return {};
        case SkuType::unknown:
            break;
    }
    logError("Unknown SKU, can't get supported global band");
    return {};
}

}  // namespace orvane
