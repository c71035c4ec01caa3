#include "orvanerfid/uhfmodules/UhfModuleQm5520.h"

#include <string>

#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/commands/TagCommands.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/uhfmodules/ModuleChecks.h"

namespace orvane {
namespace {

using module::need;
using module::requireRange;
using module::sameRaw;

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

ResultCode UhfModuleQm5520::sendRequest(OrvaneRfidCommand& request, std::string_view name) {
    return sendBuilt(name, [&] { return request.toBytes(); });
}

OrvRfidCmd_Gen2Algorithm UhfModuleQm5520::getGen2Algorithm(std::string_view functionName) {
    return readGroup(OrvRfidCmd_GetGen2Algorithm(), &OrvRfidCmd_GetGen2Algorithm::gen2Algorithm,
                     nameOr(functionName, "getGen2Algorithm(_:)"));
}

ResultCode UhfModuleQm5520::setGen2Algorithm(const OrvRfidCmd_Gen2Algorithm& value,
                                             std::string_view functionName) {
    OrvRfidCmd_SetGen2Algorithm request(value);
    return sendRequest(request, nameOr(functionName, "setGen2Algorithm(_:_:)"));
}

OrvRfidCmd_Gen2QueryGroup UhfModuleQm5520::getGen2QueryGroup(std::string_view functionName) {
    return readGroup(OrvRfidCmd_GetGen2QueryGroup(), &OrvRfidCmd_GetGen2QueryGroup::gen2QueryGroup,
                     nameOr(functionName, "getGen2QueryGroup(_:)"));
}

ResultCode UhfModuleQm5520::setGen2QueryGroup(const OrvRfidCmd_Gen2QueryGroup& value,
                                              std::string_view functionName) {
    OrvRfidCmd_SetGen2QueryGroup request;
    request.selectMode = value.selectMode;
    request.session = value.session;
    request.target = value.target;
    return sendRequest(request, nameOr(functionName, "setGen2QueryGroup(_:_:)"));
}

OrvRfidCmd_AntennaSettings UhfModuleQm5520::getAntennaSettings(uint8_t antennadId,
                                                               std::string_view functionName) {
    return readGroup(OrvRfidCmd_GetAntennaSettings(antennadId),
                     &OrvRfidCmd_GetAntennaSettings::antennaSettings,
                     nameOr(functionName, "getAntennaSettings(antennadId:_:)"));
}

ResultCode UhfModuleQm5520::setAntennaSettings(const OrvRfidCmd_AntennaSettings& value,
                                               std::string_view functionName) {
    OrvRfidCmd_SetAntennaSettings request(value);
    return sendRequest(request, nameOr(functionName, "setAntennaSettings(_:_:)"));
}

OrvRfidCmd_TxOnOffTime UhfModuleQm5520::getTxOnOffTime(std::string_view functionName) {
    return readGroup(OrvRfidCmd_GetTxOnOffTime(), &OrvRfidCmd_GetTxOnOffTime::txOnOffTime,
                     nameOr(functionName, "getTxOnOffTime(_:)"));
}

ResultCode UhfModuleQm5520::setTxOnOffTime(const OrvRfidCmd_TxOnOffTime& value,
                                           std::string_view functionName) {
    OrvRfidCmd_SetTxOnOffTime request;
    request.onTime = value.onTime;
    request.offTime = value.offTime;
    return sendRequest(request, nameOr(functionName, "setTxOnOffTime(_:_:)"));
}

// ---- Select masks and tag operations ---------------------------------------------------------

// The EPC bank's first 32 bits are the stored CRC and PC words: its mask address counts from
// the first EPC bit.
void UhfModuleQm5520::checkSelectMaskEntry(const SelectMaskParam& entry) const {
    BaseUhfModule::checkSelectMaskEntry(entry);
    const uint64_t address = entry.offset() + (entry.bank() == BankType::epc ? 32 : 0);
    requireRange(entry.offset() <= 0xFFFF && address <= 0xFFFF,
                 "The mask offset " + std::to_string(entry.offset()) + " is out of range.");
}

void UhfModuleQm5520::checkWriteMemory(unsigned offset, std::size_t words) const {
    requireRange(offset <= 0xFFFF, "The offset is out of range.");
    requireRange(words <= fields::WordData::kMaxWords,
                 "The data of " + std::to_string(words) + " words exceed 255 words.");
}

ResultCode UhfModuleQm5520::setSelectMask() {
    constexpr std::string_view kName = "setSelectMask()";
    std::vector<Bytes> frames;
    const ResultCode built = guarded(kName, [&] {
        for (const auto& [index, entry] : selectMaskList()) {
            if (!entry.isUsed()) continue;
            checkSelectMaskEntry(entry);
            OrvRfidCmd_Select select(frames.empty() ? OrvRfidCmdSelectMode::clearAndAdd
                                                    : OrvRfidCmdSelectMode::add);
            select.selTarget = entry.target();
            select.action = entry.action();
            select.trunc = entry.turncation() == Truncate::partialEpc;
            select.bank = entry.bank();
            select.address =
                static_cast<uint16_t>(entry.offset() + (entry.bank() == BankType::epc ? 32 : 0));
            const MaskPattern pattern = entry.maskPattern();
            select.length = static_cast<uint8_t>(pattern.length());
            select.selectData = *hexTextToData(pattern.pattern());
            frames.push_back(select.toBytes());
        }
        return ResultCode::noError;
    });
    if (built != ResultCode::noError) return built;
    if (frames.empty()) {
        OrvRfidCmd_Select clear(OrvRfidCmdSelectMode::clear);
        return sendRequest(clear, "clearSelectMask()");
    }
    for (const Bytes& frame : frames) {
        const ResultCode code = sendCommand(frame, kName);
        if (code != ResultCode::noError) return code;
    }
    return ResultCode::noError;
}

// Fills `command` with `prepare` (which refuses input it cannot carry by throwing), applies the
// select masks when asked, announces the access bank when given, and sends the command.
template <typename Command, typename Prepare>
ResultCode UhfModuleQm5520::tagOperation(std::string_view name, Command command,
                                         std::optional<BankType> accessBank, bool applySelectMask,
                                         Prepare&& prepare) {
    Bytes frame;
    const ResultCode built = guarded(name, [&] {
        prepare(command);
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
    return tagOperation("inventory()", OrvRfidCmd_Inventory(), std::nullopt, true,
                        [](OrvRfidCmd_Inventory&) {});
}

ResultCode UhfModuleQm5520::readMemory(BankType bank, uint16_t offset, uint8_t length,
                                       const std::string& password) {
    return tagOperation("readMemory(bank:offset:length:password:)", OrvRfidCmd_Read(), bank, true,
                        [&](OrvRfidCmd_Read& c) {
                            module::requireBank(bank);
                            c.password = hexBytes(password, "password");
                            c.bank = bank;
                            c.address = offset;
                            c.length = length;
                        });
}

ResultCode UhfModuleQm5520::writeMemory(BankType bank, unsigned offset, const std::string& data,
                                        const std::string& password) {
    return tagOperation("writeMemory(bank:offset:data:password:)", OrvRfidCmd_Write(), bank, true,
                        [&](OrvRfidCmd_Write& c) {
                            module::requireBank(bank);
                            module::requireData(data);
                            checkWriteMemory(offset, data.size() / 4);
                            c.password = hexBytes(password, "password");
                            c.bank = bank;
                            c.address = static_cast<uint16_t>(offset);
                            c.writeData = hexBytes(data, "data");
                        });
}

ResultCode UhfModuleQm5520::lockTag(const LockParam& lockParam, const std::string& password) {
    return tagOperation("lockTag(lockParam:password:)", OrvRfidCmd_Lock(), std::nullopt, true,
                        [&](OrvRfidCmd_Lock& c) {
                            c.password = hexBytes(password, "password");
                            c.mask = lockParam.toMaskEx();
                        });
}

ResultCode UhfModuleQm5520::permaLockTag(const PermaLockParam& permaLockParam,
                                         const std::string& password) {
    return tagOperation("permaLockTag(permaLockParam:password:)", OrvRfidCmd_Lock(), std::nullopt,
                        true, [&](OrvRfidCmd_Lock& c) {
                            c.password = hexBytes(password, "password");
                            c.mask = permaLockParam.toMaskEx();
                        });
}

ResultCode UhfModuleQm5520::killTag(const std::string& password) {
    return tagOperation(
        "killTag(password:)", OrvRfidCmd_Kill(), std::nullopt, true,
        [&](OrvRfidCmd_Kill& c) { c.killPassword = hexBytes(password, "kill password"); });
}

ResultCode UhfModuleQm5520::stop() {
    OrvRfidCmd_Cancel command;
    return sendRequest(command, "stop()");
}

ResultCode UhfModuleQm5520::inventoryWithUserSpecifiedDataOperation(BankType bank, uint16_t offset,
                                                                    uint8_t length,
                                                                    const std::string& password) {
    return tagOperation("inventoryWithUserSpecifiedDataOperation(bank:offset:length:password:)",
                        OrvRfidCmd_InventoryWithUserSpecifiedData(), std::nullopt, false,
                        [&](OrvRfidCmd_InventoryWithUserSpecifiedData& c) {
                            module::requireBank(bank);
                            c.password = hexBytes(password, "password");
                            c.bank = bank;
                            c.address = offset;
                            c.length = length;
                        });
}

ResultCode UhfModuleQm5520::blockWriteMemory(BankType bank, uint16_t offset,
                                             const std::string& data, const std::string& password) {
    return tagOperation("blockWriteMemory(bank:offset:data:password:)", OrvRfidCmd_BlockWrite(),
                        bank, false, [&](OrvRfidCmd_BlockWrite& c) {
                            module::requireBank(bank);
                            module::requireData(data);
                            c.password = hexBytes(password, "password");
                            c.bank = bank;
                            c.address = offset;
                            c.writeData = hexBytes(data, "data");
                        });
}

void UhfModuleQm5520::blockPermaLock(const std::string& password, ReadLock readLock,
                                     BankType bankType, uint16_t offset, uint8_t length,
                                     const std::vector<uint8_t>& mask,
                                     ResultCompletion completion) {
    constexpr std::string_view kName =
        "blockPermaLock(password:readLock:bankType:offset:length:mask:completion:)";
    if (!acceptsCompletion(kName, completion)) return;
    completion(tagOperation(kName, OrvRfidCmd_BlockPermaLock(), bankType, false,
                            [&](OrvRfidCmd_BlockPermaLock& c) {
                                module::requireBank(bankType);
                                c.password = hexBytes(password, "password");
                                c.readLock = sameRaw<OrvRfidCmdReadLock>(readLock);
                                c.bank = bankType;
                                c.address = offset;
                                c.length = length;
                                c.mask = mask;
                            }));
}

void UhfModuleQm5520::authenticate(const std::string& password, AuthenticationResponse sendResponse,
                                   IncludeReplyLength incRepLen, uint8_t csi, uint16_t msgLen,
                                   const std::vector<uint8_t>& msg, uint16_t expectedReplyLen,
                                   ResultCompletion completion) {
    constexpr std::string_view kName =
        "authenticate(password:sendResponse:incRepLen:csi:msgLen:msg:expectedReplyLen:"
        "completion:)";
    if (!acceptsCompletion(kName, completion)) return;
    completion(tagOperation(kName, OrvRfidCmd_Authenticate(), std::nullopt, false,
                            [&](OrvRfidCmd_Authenticate& c) {
                                c.password = hexBytes(password, "password");
                                c.sedRep = sameRaw<OrvRfidCmdAuthenticationResponse>(sendResponse);
                                c.incRepLen = sameRaw<OrvRfidCmdIncludeReplyLength>(incRepLen);
                                c.csi = csi;
                                c.mlen = msgLen;
                                c.msg = msg;
                                c.expRepLen = expectedReplyLen;
                            }));
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
    constexpr std::string_view kName = "cwOn(antennaId:power:frequency:completion:)";
    if (!acceptsCompletion(kName, completion)) return;
    OrvRfidCmd_CwOn command;
    command.antennaId = antennaId;
    command.power = power;
    command.frequency = frequency;
    completion(sendRequest(command, kName));
}

void UhfModuleQm5520::cwOff(ResultCompletion completion) {
    if (!acceptsCompletion("cwOff(completion:)", completion)) return;
    OrvRfidCmd_CwOff command;
    completion(sendRequest(command, "cwOff(completion:)"));
}

void UhfModuleQm5520::txRandomData(uint8_t antennaId, uint16_t power, uint32_t frequency,
                                   uint32_t duration, ResultCompletion completion) {
    constexpr std::string_view kName =
        "txRandomData(antennaId:power:frequency:duration:completion:)";
    if (!acceptsCompletion(kName, completion)) return;
    OrvRfidCmd_TxRandomData command;
    command.antennaId = antennaId;
    command.power = power;
    command.frequency = frequency;
    command.duration = duration;
    completion(sendRequest(command, kName));
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
