// The ST25RU3993 driver: exchanges, inventory and stop, tag access and select masks. The radio
// settings are in UhfModuleST25RU3993Settings.cpp.

#include "orvanerfid/uhfmodules/UhfModuleST25RU3993.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/commands/Vk640Packets.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/uhfmodules/ModuleChecks.h"
#include "orvanerfid/uhfmodules/ST25RU3993Support.h"

namespace orvane {
namespace {

using namespace st;

constexpr std::string_view kTag = UhfModuleST25RU3993::kClassName;

constexpr uint8_t kStatusTagReplyOverrun = 3;
constexpr uint8_t kStatusTagReplyLocked = 4;
constexpr uint32_t kDisplayClearFirmware = 10109;
constexpr uint32_t kLongReadFirmware = 10110;  // reads above 32 words need a later firmware
constexpr uint64_t kMaxReadWords = 64;
constexpr uint64_t kMaxShortReadWords = 32;
constexpr uint64_t kMaxWordPointer = 0xFFFFFFFF;

bool isHexText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
}

// A Gen2 password: exactly 8 hex characters, else 0x5002 before anything is sent.
Bytes passwordBytes(std::string_view password) {
    if (password.size() != 8 || !isHexText(password)) {
        throw ModuleRefusal(ResultCode::invalidParameter,
                            "The password must be 8 hexadecimal characters");
    }
    return *hexTextToData(password);
}

// The select list goes to the module before every tag access; its failure ends the access.
void requireSelected(ResultCode selected) {
    if (selected != ResultCode::noError) {
        throw ModuleRefusal(selected, "Failed to set select mask");
    }
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

Bytes powerModeRequest(STUHFL_D_POWER_DOWN_MODE mode) {
    RwdConfig request(STUHFL_D_RWD_CFG_ID::POWER_DOWN_MODE, mode);
    return request.setPacketBytes();
}

// Parses and tests a power-mode reply of a multi exchange.
void checkPowerModeReply(ByteView piece, std::string_view name) {
    const RwdConfig reply(piece);
    reply.checkStatus(name);
}

std::string gainText(double gain) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", gain);
    return buffer;
}

}  // namespace

// ---- Free functions

std::vector<Bytes> toSTPackets(ByteView bytes) {
    std::vector<Bytes> pieces;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t left = bytes.size() - at;
        if (left < STPacket::kHeaderSize) {
            orvLogger::error("toSTPackets error: byteQueue.count < STPacket.minLength");
            break;
        }
        const std::size_t size = std::size_t{readBe16(bytes, at + 8)} + STPacket::kHeaderSize;
        if (left < size) {
            orvLogger::error("toSTPackets error: byteQueue.count < packetSize");
            break;
        }
        pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    return pieces;
}

ResultCode moduleStatusResult(uint16_t status) noexcept {
    return resultCodeFromModuleStatus(STPacket::stErrorCode(static_cast<int16_t>(status)));
}

ResultCode tagAccessResult(uint16_t status, uint8_t tagReply) noexcept {
    if (status == 0) return ResultCode::noError;
    if (tagReply == kStatusTagReplyOverrun) return ResultCode::memoryOverrun;
    if (tagReply == kStatusTagReplyLocked) return ResultCode::memoryLocked;
    return moduleStatusResult(status);
}

double gainFromRegisters(uint8_t r9, uint8_t r10) noexcept {
    const int adjust = r10 & 0x03;
    if (adjust == 3) return 0.0;
    int gain = 3 * ((r10 >> 6) & 0x03);
    if ((r10 & 0x20) == 0) gain = -gain;
    if (adjust == 1) gain -= 8;
    if (adjust == 2) gain += 10;
    int base = 60;
    switch (r9) {
        case 0x04:
        case 0x07:
            base = 64;
            break;
        case 0x24:
        case 0x27:
            base = 62;
            break;
        case 0x34:
        case 0x37:
            base = 63;
            break;
        case 0x3F:
        case 0xBF:
        case 0x90:
            base = 61;
            break;
        default:
            break;
    }
    return static_cast<double>(base + gain);
}

std::vector<GlobalBandType> st25ru3993BandList(SkuType sku, uint32_t firmwareVersion) {
    // Each later band needs the firmware of the ones before it.
    struct Step {
        uint32_t firmware;
        GlobalBandType band;
    };
    std::vector<GlobalBandType> bands;
    const auto addFrom = [&](std::initializer_list<Step> steps) {
        for (const Step& step : steps) {
            if (firmwareVersion < step.firmware) break;
            bands.push_back(step.band);
        }
    };
    switch (sku) {
        case SkuType::european:
            bands = {GlobalBandType::europe};
            break;
        case SkuType::us:
            bands = {GlobalBandType::usa, GlobalBandType::china, GlobalBandType::taiwan};
            addFrom({{10109, GlobalBandType::australia},
                     {10111, GlobalBandType::singapore},
                     {10113, GlobalBandType::brazil}});
            break;
        case SkuType::japanese:
            bands = {GlobalBandType::japan};
            addFrom({{10107, GlobalBandType::japan250mW}});
            break;
        case SkuType::unknown:
            orvLogger::error(kTag, "Unknown SKU, can't get supported global band");
            break;
        case SkuType::usAndJapanese:
            orvLogger::error(kTag, "Does not supoort usjp SKU");
            break;
        default:
            orvLogger::error(kTag, "Does not check the SKU type - " +
                                       std::to_string(static_cast<unsigned>(rawValue(sku))));
            break;
    }
    return bands;
}

std::optional<std::string> rewriteSelectPattern(const SelectMaskParam& entry, uint64_t wordAddress,
                                                std::string_view word) {
    if (entry.bank() != BankType::epc || wordAddress < 2) return std::nullopt;
    const std::string old = entry.maskPattern().pattern();
    if (!isHexText(old) || !isHexText(word)) return std::nullopt;
    // Bit positions in the EPC bank: the mask starts `offset` bits behind the PC word (bit 32);
    // the written word covers 16 bits from wordAddress x 16. Work on nibbles (4 bits each) when
    // both start on a nibble, and bit by bit otherwise.
    const int64_t maskStart =
        32 + static_cast<int64_t>(std::min<uint64_t>(entry.offset(), 1u << 20));
    const int64_t wordStart = static_cast<int64_t>(std::min<uint64_t>(wordAddress, 1u << 20)) * 16;
    const int64_t patternBits = static_cast<int64_t>(old.size()) * 4;
    const int64_t wordBits = static_cast<int64_t>(word.size()) * 4;
    const int64_t from = std::max(maskStart, wordStart);
    const int64_t to = std::min(maskStart + patternBits, wordStart + wordBits);
    if (from >= to) return std::nullopt;

    const auto nibble = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        return (std::toupper(static_cast<unsigned char>(c)) - 'A') + 10;
    };
    const auto bitOf = [&](std::string_view text, int64_t bit) {
        const int value = nibble(text[static_cast<std::size_t>(bit / 4)]);
        return (value >> (3 - bit % 4)) & 1;
    };
    std::string updated = old;
    for (int64_t bit = from; bit < to; ++bit) {
        const int64_t inPattern = bit - maskStart;
        const std::size_t at = static_cast<std::size_t>(inPattern / 4);
        const int shift = 3 - static_cast<int>(inPattern % 4);
        int value = nibble(updated[at]);
        value = (value & ~(1 << shift)) | (bitOf(word, bit - wordStart) << shift);
        // Characters that change are written upper-case; untouched ones keep their case.
        updated[at] = "0123456789ABCDEF"[value];
    }
    return updated;
}

// ---- The radio

UhfModuleST25RU3993::UhfModuleST25RU3993(std::shared_ptr<BaseProtocol> protocol)
    : BaseUhfModule(std::move(protocol), std::string(kClassName)) {
    setModuleType(UhfModuleType::st25ru3993);
    setPowerMaxOutput(27);
    setPowerMinOutput(11);
    setSelectMaskMaxSize(2);
    setMaxReadLength(128);
}

Bytes UhfModuleST25RU3993::exchange(const Bytes& request, std::string_view name) {
    return checkResponse(name, baseProtocol()->send(request, defaultTimeout));
}

std::vector<Bytes> UhfModuleST25RU3993::exchange(const Bytes& requests, int number,
                                                 std::string_view name, int timeout) {
    return toSTPackets(checkResponse(name, baseProtocol()->send(requests, timeout, number)));
}

void UhfModuleST25RU3993::powerMode(STUHFL_D_POWER_DOWN_MODE mode, std::string_view name) {
    const STPacket reply(exchange(powerModeRequest(mode), name));
    reply.checkStatus(name);
}

void UhfModuleST25RU3993::setPowerNormalMode() {
    powerMode(STUHFL_D_POWER_DOWN_MODE::NORMAL, "setPowerNormalMode()");
}

void UhfModuleST25RU3993::setPowerStandbyMode() {
    powerMode(STUHFL_D_POWER_DOWN_MODE::STANDBY, "setPowerStandbyMode()");
}

void UhfModuleST25RU3993::standbyAfterAccess(std::string_view name) {
    try {
        setPowerStandbyMode();
    } catch (const std::exception& e) {
        logError(std::string(name) + " - Failed to set power standby mode - " + e.what());
    }
}

void UhfModuleST25RU3993::logConvertError(std::string_view name, std::string_view target,
                                          ByteView data) {
    orvLogger::error(kTag, std::string(name) + " - Convert to " + std::string(target) +
                               " error - " + toHexString(data));
}

// ---- Inventory and stop

std::optional<double> UhfModuleST25RU3993::readGain() {
    static constexpr std::string_view name = "getG_rssi()";
    std::optional<double> gain;
    (void)guarded(name, [&] {
        STUHFL_T_ST25RU3993_Register r10;
        r10.addr = 0x0A;
        STUHFL_T_ST25RU3993_Register r9;
        r9.addr = 0x09;
        Bytes requests = r10.getPacketBytes();
        append(requests, r9.getPacketBytes());
        const std::vector<Bytes> pieces = exchange(requests, 2, name);
        if (pieces.size() != 2) {
            throw ModuleRefusal(
                ResultCode::invalidResponse,
                "Response packet number is invalid(" + std::to_string(pieces.size()) + ").");
        }
        uint8_t valueR9 = 0;
        uint8_t valueR10 = 0;
        for (const Bytes& piece : pieces) {
            std::optional<STUHFL_T_ST25RU3993_Register> reg;
            try {
                reg.emplace(piece);
            } catch (const STPacketError&) {
                logConvertError(name, "STUHFL_T_ST25RU3993_Register", piece);
                return ResultCode::invalidResponse;
            }
            reg->checkStatus(name);
            if (reg->addr == 0x09) valueR9 = reg->data;
            if (reg->addr == 0x0A) valueR10 = reg->data;
        }
        gain = gainFromRegisters(valueR9, valueR10);
        return ResultCode::noError;
    });
    return gain;
}

double UhfModuleST25RU3993::getG_rssi() {
    return readGain().value_or(0.0);
}

ResultCode UhfModuleST25RU3993::inventory() {
    static constexpr std::string_view name = "inventory()";
    const ResultCode selected = setSelectMask();
    if (selected != ResultCode::noError) {
        logError(std::string(name) + " - Failed to set select mask");
        return selected;
    }
    // A failed gain read would skew every RSSI of the inventory by the whole gain: keep the
    // last good figure, and start no inventory before one was read.
    double gain = 0.0;
    if (const std::optional<double> read = readGain()) {
        gain = *read;
        lastGoodGain_ = gain;
    } else if (lastGoodGain_) {
        gain = *lastGoodGain_;
        orvLogger::warn(kTag, std::string(name) +
                                  " - Failed to read the receiver gain, keeping the last "
                                  "good value " +
                                  gainText(gain));
    } else {
        logError(std::string(name) + " - Failed to read the receiver gain");
        return ResultCode::invalidResponse;
    }
    baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::resetIndicator));
    baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::gValue, gain));

    return guarded(name, [&] {
        STUHFL_T_Gen2_Inventory start;
        start.rssiMode = STUHFL_D_RSSI_MODE::SECOND_BYTE;
        start.roundCnt = continuousMode() ? 0 : 1;
        start.inventoryDelay = static_cast<uint16_t>(std::min(inventoryIdleTime(), 0xFFFFu));
        start.options = STUHFL_D_INVENTORYREPORT_OPTION::EACHROUND;
        Bytes requests = powerModeRequest(STUHFL_D_POWER_DOWN_MODE::NORMAL);
        append(requests, start.commandPacketBytes());
        bool started = false;
        for (const Bytes& piece : exchange(requests, 2, name)) {
            const STPacket packet(piece);
            if (isPacket(packet, STUHFL_CG::al, STUHFL_T_Gen2_Inventory::kCommandSubcode)) {
                STUHFL_T_Gen2_Inventory(piece).checkStatus(name);
                started = true;
            } else if (isPacket(packet, STUHFL_CG::dl, kSetSubcode)) {
                checkPowerModeReply(piece, name);
            }
        }
        if (!started) throw ModuleRefusal(ResultCode::invalidResponse, "No inventory start reply");
        return ResultCode::noError;
    });
}

ResultCode UhfModuleST25RU3993::stop() {
    static constexpr std::string_view name = "stop()";
    orvLogger::trace(kTag, "+++ stop()");
    Bytes requests = STUHFL_T_Gen2_Inventory().stopPacketBytes();
    if (firmwareVersion() >= kDisplayClearFirmware) {
        STUHFL_DisplayOutput clear;
        clear.charaterPosition = 0;
        clear.clearScreen = true;
        clear.linePosition = 2;
        append(requests, clear.commandPacketBytes());
    }
    append(requests, powerModeRequest(STUHFL_D_POWER_DOWN_MODE::STANDBY));

    // A stop belongs to the link it was sent on: once that link has ended (its inventory ended
    // with it), a retry would stop the next link's reader and report its Stop there.
    const std::shared_ptr<BaseTransport> transport = baseProtocol()->transport();
    const uint64_t link = transport ? transport->linkEnds() : 0;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        bool stopped = false;
        try {
            for (const Bytes& piece : exchange(requests, 2, name, timeout())) {
                const STPacket packet(piece);
                if (isPacket(packet, STUHFL_CG::al, STUHFL_T_Gen2_Inventory::kStopSubcode)) {
                    STUHFL_T_Gen2_Inventory(piece).checkStatus(name);
                    stopped = true;
                } else if (isPacket(packet, STUHFL_CG::dl, kSetSubcode)) {
                    checkPowerModeReply(piece, name);
                }
            }
        } catch (const std::exception&) {
            stopped = false;
        }
        if (stopped) {
            notifyInventoryStopped();
            orvLogger::trace(kTag, "--- stop()");
            return ResultCode::noError;
        }
        if (transport && transport->linkEnds() != link) {
            orvLogger::debug(kTag, "stop() - The link ended, not retried");
            orvLogger::trace(kTag, "--- stop()");
            return ResultCode::connectFailed;
        }
        orvLogger::trace(kTag, "stop() Retry: " + std::to_string(attempt));
    }
    orvLogger::error(kTag, "Stop command failed after 3 retries");
    orvLogger::trace(kTag, "--- stop()");
    return ResultCode::operationFailed;
}

// ---- Tag access

void UhfModuleST25RU3993::readMemory(BankType bank, uint16_t offset, uint8_t length,
                                     const std::string& password,
                                     ValueCompletion<Bytes> completion) {
    static constexpr std::string_view name = "readMemory(bank:offset:length:password:completion:)";
    completeValue(name, completion, [&] {
        module::requireBank(bank);
        refuseUnless(length <= kMaxReadWords &&
                         (length <= kMaxShortReadWords || firmwareVersion() > kLongReadFirmware),
                     "");
        const Bytes pwd = passwordBytes(password);
        requireSelected(setSelectMask());
        STUHFL_T_Gen2_Read read;
        read.memoryBank = convert<STUHFL_D_GEN2_MEMORY_BANK>(bank);
        read.setPwd(pwd);
        read.wordPtr = static_cast<uint32_t>(offset);
        read.setNumBytesToRead(static_cast<std::size_t>(length * 2));
        Bytes requests = powerModeRequest(STUHFL_D_POWER_DOWN_MODE::NORMAL);
        append(requests, read.commandPacketBytes());
        append(requests, powerModeRequest(STUHFL_D_POWER_DOWN_MODE::STANDBY));
        const std::vector<Bytes> pieces = exchange(requests, 3, name);

        // The first outcome decides; a later power-mode failure is only logged.
        std::optional<ResultCode> outcome;
        Bytes data;
        for (const Bytes& piece : pieces) {
            try {
                const STPacket packet(piece);
                if (isPacket(packet, STUHFL_CG::sl, STUHFL_T_Gen2_Read::kTag)) {
                    const STUHFL_T_Gen2_Read reply(piece);
                    if (outcome) continue;
                    if (reply.status() != 0) {
                        outcome = moduleStatusResult(reply.status());
                    } else if (reply.data.size() != length * 2) {
                        logError(std::string(name) + " - The reply holds " +
                                 std::to_string(reply.data.size()) + " bytes, not " +
                                 std::to_string(length * 2));
                        outcome = ResultCode::invalidResponse;
                    } else {
                        outcome = ResultCode::noError;
                        data = reply.data;
                    }
                } else if (isPacket(packet, STUHFL_CG::dl, kSetSubcode)) {
                    checkPowerModeReply(piece, name);
                }
            } catch (const std::exception& e) {
                logError(std::string(name) + " - " + e.what());
                if (!outcome) outcome = ResultCode::invalidResponse;
            }
        }
        if (!outcome) throw ModuleRefusal(ResultCode::invalidResponse, "No read reply");
        if (*outcome != ResultCode::noError) throw ModuleRefusal(*outcome, "");
        return data;
    });
}

ResultCode UhfModuleST25RU3993::writeMemory(BankType bank, unsigned offset, const std::string& data,
                                            const std::string& password) {
    static constexpr std::string_view name = "writeMemory(bank:offset:data:password:)";
    // Reserved-bank words are the kill and access passwords: never logged.
    const bool secret = bank == BankType::reserved;
    return guarded(name, [&] {
        module::requireBank(bank);
        module::requireData(data);
        if (data.size() % 4 != 0 || !isHexText(data)) {
            throw ModuleRefusal(ResultCode::invalidParameter,
                                "The data must be hexadecimal text of 4 characters per word");
        }
        const uint64_t words = data.size() / 4;
        checkWriteMemory(offset, words);
        std::string current(password);
        passwordBytes(current);
        requireSelected(setSelectMask());
        setPowerNormalMode();
        orvLogger::trace(kTag, std::string(name) + " - The data to write " +
                                   (secret ? std::string("********") : std::string(data)) +
                                   "........");
        // Every failure after the module left standby puts it back first.
        const auto fail = [&](ResultCode code, const std::string& text) {
            standbyAfterAccess(name);
            throw ModuleRefusal(code, text);
        };
        for (uint64_t i = 0; i < words; ++i) {
            const uint64_t address = offset + i;
            const std::string word(data.substr(static_cast<std::size_t>(i * 4), 4));
            STUHFL_T_Gen2_Write write;
            write.memoryBank = convert<STUHFL_D_GEN2_MEMORY_BANK>(bank);
            write.setPwd(*hexTextToData(current));
            write.wordPtr = static_cast<uint32_t>(address);
            orvLogger::trace(kTag, std::string(name) + " - Going to write " +
                                       (secret ? std::string("****") : word));
            write.setData(*hexTextToData(word));

            Bytes reply;
            try {
                reply = exchange(write.commandPacketBytes(), name);
            } catch (const CodedError& e) {
                fail(e.resultCode(), "");
            }
            std::optional<STUHFL_T_Gen2_Write> echoed;
            try {
                echoed.emplace(reply);
            } catch (const std::exception& e) {
                fail(ResultCode::invalidResponse, e.what());
            }
            const ResultCode result = tagAccessResult(echoed->status(), echoed->tagReply);
            if (result != ResultCode::noError) fail(result, "");

            // The access password lives at Reserved words 2 (high half) and 3 (low half): the
            // words after it are written with the password the tag now holds.
            if (bank == BankType::reserved && !equalsIgnoringCase(current, defaultPassword)) {
                if (address == 2) current = word + current.substr(4, 4);
                if (address == 3) current = current.substr(0, 4) + word;
            }
            if (bank == BankType::epc) {
                changeSelectEPC(static_cast<unsigned>(address), word);
                const ResultCode reselected = setSelectMask();
                if (reselected != ResultCode::noError) {
                    fail(reselected, "Failed to set select mask");
                }
            }
        }
        orvLogger::trace(kTag, std::string(name) + " - Success");
        standbyAfterAccess(name);
        return ResultCode::noError;
    });
}

ResultCode UhfModuleST25RU3993::lockTag(const LockParam& lockParam, const std::string& password) {
    return lock(lockParam.toMask(), password, false);
}

ResultCode UhfModuleST25RU3993::permaLockTag(const PermaLockParam& permaLockParam,
                                             const std::string& password) {
    return lock(permaLockParam.toMask(), password, true);
}

ResultCode UhfModuleST25RU3993::lock(ByteView mask, const std::string& password, bool perma) {
    const std::string_view name =
        perma ? "permaLockTag(permaLockParam:password:)" : "lockTag(lockParam:password:)";
    return guarded(name, [&] {
        const Bytes pwd = passwordBytes(password);
        requireSelected(setSelectMask());
        STUHFL_T_Gen2_Lock lock;
        lock.setPwd(pwd);
        lock.tagReply = 0;
        try {
            lock.setMask(mask);
        } catch (const STPacketError&) {
            throw ModuleRefusal(ResultCode::invalidParameter,
                                perma ? "Fail to set perma lock mask" : "Fail to set lock mask");
        }
        setPowerNormalMode();
        // The module goes back to standby whatever became of the lock.
        ResultCode result = ResultCode::noError;
        std::string text;
        std::optional<Bytes> reply;
        try {
            reply = exchange(lock.commandPacketBytes(), name);
        } catch (const CodedError& e) {
            result = e.resultCode();
        }
        if (reply) {
            try {
                const STUHFL_T_Gen2_Lock parsed(*reply);
                result = tagAccessResult(parsed.status(), parsed.tagReply);
            } catch (const std::exception& e) {
                result = ResultCode::invalidResponse;
                text = e.what();
            }
        }
        standbyAfterAccess(name);
        if (result != ResultCode::noError) throw ModuleRefusal(result, text);
        return ResultCode::noError;
    });
}

ResultCode UhfModuleST25RU3993::killTag(const std::string& password) {
    static constexpr std::string_view name = "killTag(password:)";
    return guarded(name, [&] {
        const Bytes pwd = passwordBytes(password);
        requireSelected(setSelectMask());
        STUHFL_T_Gen2_Kill kill;
        kill.setPwd(pwd);
        kill.recommission = 0;
        kill.tagReply = 0;
        Bytes requests = powerModeRequest(STUHFL_D_POWER_DOWN_MODE::NORMAL);
        append(requests, kill.commandPacketBytes());
        append(requests, powerModeRequest(STUHFL_D_POWER_DOWN_MODE::STANDBY));
        std::optional<ResultCode> result;
        for (const Bytes& piece : exchange(requests, 3, name)) {
            const STPacket packet(piece);
            if (isPacket(packet, STUHFL_CG::sl, STUHFL_T_Gen2_Kill::kTag)) {
                const STUHFL_T_Gen2_Kill reply(piece);
                result = tagAccessResult(reply.status(), reply.tagReply);
            } else if (isPacket(packet, STUHFL_CG::dl, kSetSubcode)) {
                checkPowerModeReply(piece, name);
            }
        }
        // Without the module's kill reply nothing says the tag is gone.
        if (!result) throw ModuleRefusal(ResultCode::invalidResponse, "No kill reply");
        if (*result != ResultCode::noError) throw ModuleRefusal(*result, "");
        return ResultCode::noError;
    });
}

void UhfModuleST25RU3993::version(ValueCompletion<std::string> completion) {
    static constexpr std::string_view name = "version(completion:)";
    completeValue(name, completion, [&] {
        const STUHFL_FirmwareVersion reply(
            exchange(STUHFL_FirmwareVersion().getPacketBytes(), name));
        reply.checkStatus(name);
        return reply.firmwareVersion;
    });
}

// ---- Select masks

// The module's echo of a Select request, its status checked.
void UhfModuleST25RU3993::checkSelectReply(const Bytes& reply, std::string_view name) {
    std::optional<STUHFL_T_Gen2_Select> echoed;
    try {
        echoed.emplace(reply);
    } catch (const STPacketError&) {
        logConvertError(name, "STUHFL_T_Gen2_Select", reply);
        throw ModuleRefusal(ResultCode::invalidResponse, "");
    }
    echoed->checkStatus(name);
}

ResultCode UhfModuleST25RU3993::setSelectMask() {
    static constexpr std::string_view name = "setSelectMask()";
    std::vector<SelectMaskParam> used;
    for (const auto& [index, entry] : selectMaskList()) {
        if (entry.isUsed()) used.push_back(entry);
    }
    if (used.empty()) return clearSelectMask();
    return guarded(name, [&] {
        bool first = true;
        for (const SelectMaskParam& entry : used) {
            checkSelectMaskEntry(entry);
            const MaskPattern pattern = entry.maskPattern();
            const std::optional<Bytes> mask = hexTextToData(pattern.pattern());
            const uint64_t pointer = entry.offset() + (entry.bank() == BankType::epc ? 32 : 0);
            STUHFL_T_Gen2_Select select;
            select.mode = first ? STUHFL_D_GEN2_SELECT_MODE::CLEAR_AND_ADD
                                : STUHFL_D_GEN2_SELECT_MODE::ADD2LIST;
            select.target = convert<STUHFL_D_GEN2_SELECT_TARGET>(entry.target());
            select.action = rawValue(entry.action());
            select.memoryBank = convert<STUHFL_D_GEN2_MEMORY_BANK>(entry.bank());
            select.setMask(*mask);
            select.maskBitLength = static_cast<uint8_t>(pattern.length());
            select.maskBitPointer = static_cast<uint32_t>(pointer);
            select.truncation = 0;
            checkSelectReply(exchange(select.commandPacketBytes(), name), name);
            first = false;
        }
        return ResultCode::noError;
    });
}

// The EPC bank's first 32 bits are the stored CRC and PC words: its bit pointer counts from the
// first EPC bit.
void UhfModuleST25RU3993::checkSelectMaskEntry(const SelectMaskParam& entry) const {
    BaseUhfModule::checkSelectMaskEntry(entry);
    const std::optional<Bytes> mask = hexTextToData(entry.maskPattern().pattern());
    if (mask && mask->size() > STUHFL_T_Gen2_Select::kMaskSize) {
        throw ReaderException(ResultCode::invalidParameter,
                              "The mask pattern is longer than " +
                                  std::to_string(STUHFL_T_Gen2_Select::kMaskSize) + " bytes.");
    }
    const uint64_t pointer = entry.offset() + (entry.bank() == BankType::epc ? 32 : 0);
    if (entry.offset() > kMaxWordPointer || pointer > kMaxWordPointer) {
        throw ReaderException(ResultCode::outOfRange,
                              "The mask offset does not fit the bit pointer.");
    }
}

// The last word's address must fit the 32-bit word pointer.
void UhfModuleST25RU3993::checkWriteMemory(unsigned offset, std::size_t words) const {
    if (words > 0 && words - 1 > kMaxWordPointer - offset) {
        throw ReaderException(ResultCode::outOfRange, "The offset does not fit the word pointer.");
    }
}

void UhfModuleST25RU3993::changeSelectEPC(unsigned offset, const std::string& data) {
    static constexpr std::string_view name = "changeSelectEPC(offset:data:)";
    for (const auto& [index, entry] : selectMaskList()) {
        if (!entry.isUsed()) continue;
        const std::optional<std::string> updated = rewriteSelectPattern(entry, offset, data);
        if (!updated) return;
        const std::string old = entry.maskPattern().pattern();
        storeSelectMaskPattern(index, MaskPattern(*updated, entry.maskPattern().length()));
        orvLogger::trace(kTag, std::string(name) + " - Old EPC: " + old + ", New EPC: " + *updated);
        return;
    }
    orvLogger::trace(kTag, std::string(name) + " - No select mask is used");
}

std::vector<GlobalBandType> UhfModuleST25RU3993::supportedGlobalBandList() {
    return st25ru3993BandList(skuType(), firmwareVersion());
}

ResultCode UhfModuleST25RU3993::clearSelectMask() {
    static constexpr std::string_view name = "clearSelectMask()";
    return guarded(name, [&] {
        STUHFL_T_Gen2_Select select;
        select.mode = STUHFL_D_GEN2_SELECT_MODE::CLEAR_LIST;
        select.target = STUHFL_D_GEN2_SELECT_TARGET::S0;
        select.action = 0;
        select.memoryBank = STUHFL_D_GEN2_MEMORY_BANK::EPC;
        select.maskBitPointer = 0;
        select.maskBitLength = 0;
        select.truncation = 0;
        checkSelectReply(exchange(select.commandPacketBytes(), name), name);
        return ResultCode::noError;
    });
}

}  // namespace orvane
