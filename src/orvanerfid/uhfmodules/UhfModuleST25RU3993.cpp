#include "orvanerfid/uhfmodules/UhfModuleST25RU3993.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <type_traits>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/commands/Vk640Packets.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/link/BaseProtocol.h"

namespace orvane {
namespace {

constexpr std::string_view kTag = UhfModuleST25RU3993::kClassName;
using InventoryCfg = STUHFL_T_ST25RU3993_Gen2_InventoryCfg;
using ProtocolCfg = STUHFL_T_ST25RU3993_Gen2_ProtocolCfg;
using TxRxCfg = STUHFL_T_ST25RU3993_TxRxCfg;
using FreqHop = STUHFL_T_ST25RU3993_FreqHop;
using RwdConfig = STUHFL_T_ST25RU3993_RwdConfig;

constexpr uint8_t kStatusTagReplyOverrun = 3;
constexpr uint8_t kStatusTagReplyLocked = 4;
constexpr uint32_t kDisplayClearFirmware = 10109;
constexpr uint32_t kLongReadFirmware = 10110;  // reads above 32 words need a later firmware
constexpr uint64_t kMaxReadWords = 64;
constexpr uint64_t kMaxShortReadWords = 32;
constexpr uint64_t kMaxWordPointer = 0xFFFFFFFF;

// The send failed or its reply was missing; already logged by the reply check.
class ExchangeError : public ReaderException {
  public:
    using ReaderException::ReaderException;
};

// An operation refused after it logged its own line; completes with `code`.
struct Refusal {
    ResultCode code;
};

void logFailure(std::string_view name, std::string_view detail) {
    orvLogger::error(kTag, std::string(name) + " - " + std::string(detail));
}

// Runs an operation body and turns what it throws into its result code. Send failures were
// logged by the reply check; with `logExchange` they get the operation's own line as well
// (the radio settings report them so).
template <class Body>
ResultCode settle(std::string_view name, Body&& body, bool logExchange = false) {
    try {
        body();
        return ResultCode::noError;
    } catch (const Refusal& refusal) {
        return refusal.code;
    } catch (const ExchangeError& e) {
        if (logExchange) logFailure(name, e.description());
        return e.resultCode();
    } catch (const CodedError& e) {
        logFailure(name, e.description());
        return e.resultCode();
    } catch (const std::exception& e) {
        logFailure(name, e.what());
        return ResultCode::otherError;
    }
}

template <class Body>
ResultCode settleSetting(std::string_view name, Body&& body) {
    return settle(name, std::forward<Body>(body), true);
}

void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// The raw value of `from` as a case of `To`; 0x5000 when it is none (the two lists disagree).
template <TabledEnum To, TabledEnum From>
To convert(From from) {
    const std::optional<To> to = fromRaw<To>(rawValue(from));
    if (!to) throw ReaderException(ResultCode::invalidResponse, "Unexpected module value");
    return *to;
}

bool isHexText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
}

// A Gen2 password: exactly 8 hex characters, else 0x5002 before anything is sent.
Bytes passwordBytes(std::string_view name, std::string_view password) {
    if (password.size() != 8 || !isHexText(password)) {
        logFailure(name, "The password must be 8 hexadecimal characters");
        throw Refusal{ResultCode::invalidParameter};
    }
    return *hexTextToData(password);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

bool isPacket(const STPacket& packet, STUHFL_CG group, uint8_t subcode) {
    return packet.cmdGroup() == rawValue(group) && packet.cmdSubcode() == subcode;
}

constexpr uint8_t kSetSubcode = 0x01;

Bytes powerModeRequest(STUHFL_D_POWER_DOWN_MODE mode) {
    RwdConfig request(STUHFL_D_RWD_CFG_ID::POWER_DOWN_MODE, mode);
    return request.setPacketBytes();
}

// Parses and tests a power-mode reply of a multi exchange.
void checkPowerModeReply(ByteView piece, std::string_view name) {
    const RwdConfig reply(piece);
    reply.checkStatus(name);
}

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

struct UhfModuleST25RU3993::Records {
    std::optional<InventoryCfg> inventory;
    std::optional<ProtocolCfg> protocol;
    std::optional<TxRxCfg> txRx;
    std::optional<FreqHop> freqHop;
};

UhfModuleST25RU3993::UhfModuleST25RU3993(std::shared_ptr<BaseProtocol> protocol)
    : BaseUhfModule(std::move(protocol), std::string(kClassName)) {
    setModuleType(UhfModuleType::st25ru3993);
    setPowerMaxOutput(27);
    setPowerMinOutput(11);
    setSelectMaskMaxSize(2);
    setMaxReadLength(128);
}

// Send failures come back as ExchangeError: the reply check has logged them already.
Bytes UhfModuleST25RU3993::exchange(const Bytes& request, std::string_view name) {
    try {
        return checkResponse(name, baseProtocol()->send(request, defaultTimeout));
    } catch (const ReaderException& e) {
        throw ExchangeError(e.resultCode(), e.message());
    }
}

std::vector<Bytes> UhfModuleST25RU3993::exchange(const Bytes& requests, int number,
                                                 std::string_view name, int timeout) {
    try {
        return toSTPackets(checkResponse(name, baseProtocol()->send(requests, timeout, number)));
    } catch (const ReaderException& e) {
        throw ExchangeError(e.resultCode(), e.message());
    }
}

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
        logFailure(name, std::string("Failed to set power standby mode - ") + e.what());
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
    settle(name, [&] {
        STUHFL_T_ST25RU3993_Register r10;
        r10.addr = 0x0A;
        STUHFL_T_ST25RU3993_Register r9;
        r9.addr = 0x09;
        Bytes requests = r10.getPacketBytes();
        append(requests, r9.getPacketBytes());
        const std::vector<Bytes> pieces = exchange(requests, 2, name);
        if (pieces.size() != 2) {
            logFailure(name,
                       "Response packet number is invalid(" + std::to_string(pieces.size()) + ").");
            return;
        }
        uint8_t valueR9 = 0;
        uint8_t valueR10 = 0;
        for (const Bytes& piece : pieces) {
            std::optional<STUHFL_T_ST25RU3993_Register> reg;
            try {
                reg.emplace(piece);
            } catch (const STPacketError&) {
                logConvertError(name, "STUHFL_T_ST25RU3993_Register", piece);
                return;
            }
            reg->checkStatus(name);
            if (reg->addr == 0x09) valueR9 = reg->data;
            if (reg->addr == 0x0A) valueR10 = reg->data;
        }
        gain = gainFromRegisters(valueR9, valueR10);
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
        logFailure(name, "Failed to set select mask");
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
        logFailure(name, "Failed to read the receiver gain");
        return ResultCode::invalidResponse;
    }
    baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::resetIndicator));
    baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::gValue, gain));

    return settle(name, [&] {
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
        if (!started) {
            logFailure(name, "No inventory start reply");
            throw Refusal{ResultCode::invalidResponse};
        }
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
    if (length > kMaxReadWords ||
        (length > kMaxShortReadWords && firmwareVersion() <= kLongReadFirmware)) {
        completion(ResultCode::outOfRange, std::nullopt);
        return;
    }
    std::optional<Bytes> data;
    const ResultCode code = settle(name, [&] {
        const Bytes pwd = passwordBytes(name, password);
        const ResultCode selected = setSelectMask();
        if (selected != ResultCode::noError) {
            logFailure(name, "Failed to set select mask");
            throw Refusal{selected};
        }
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
        for (const Bytes& piece : pieces) {
            try {
                const STPacket packet(piece);
                if (isPacket(packet, STUHFL_CG::sl, STUHFL_T_Gen2_Read::kTag)) {
                    const STUHFL_T_Gen2_Read reply(piece);
                    if (outcome) continue;
                    if (reply.status() != 0) {
                        outcome = moduleStatusResult(reply.status());
                    } else if (reply.data.size() != length * 2) {
                        logFailure(name, "The reply holds " + std::to_string(reply.data.size()) +
                                             " bytes, not " + std::to_string(length * 2));
                        outcome = ResultCode::invalidResponse;
                    } else {
                        outcome = ResultCode::noError;
                        data = reply.data;
                    }
                } else if (isPacket(packet, STUHFL_CG::dl, kSetSubcode)) {
                    checkPowerModeReply(piece, name);
                }
            } catch (const std::exception& e) {
                logFailure(name, e.what());
                if (!outcome) outcome = ResultCode::invalidResponse;
            }
        }
        if (!outcome) {
            logFailure(name, "No read reply");
            outcome = ResultCode::invalidResponse;
        }
        if (*outcome != ResultCode::noError) throw Refusal{*outcome};
    });
    if (code == ResultCode::noError) {
        completion(code, std::move(data));
    } else {
        completion(code, std::nullopt);
    }
}

ResultCode UhfModuleST25RU3993::writeMemory(BankType bank, unsigned offset, const std::string& data,
                                            const std::string& password) {
    static constexpr std::string_view name = "writeMemory(bank:offset:data:password:)";
    if (data.empty() || data.size() % 4 != 0 || !isHexText(data)) {
        logFailure(name, "The data must be hexadecimal text of 4 characters per word");
        return ResultCode::invalidParameter;
    }
    const uint64_t words = data.size() / 4;
    // The last word's address must fit the 32-bit word pointer.
    if (words - 1 > kMaxWordPointer - offset) {
        logFailure(name, "The offset does not fit the word pointer");
        return ResultCode::outOfRange;
    }
    // Reserved-bank words are the kill and access passwords: never logged.
    const bool secret = bank == BankType::reserved;
    return settle(name, [&] {
        std::string current(password);
        passwordBytes(name, current);
        const ResultCode selected = setSelectMask();
        if (selected != ResultCode::noError) {
            logFailure(name, "Failed to set select mask");
            throw Refusal{selected};
        }
        setPowerNormalMode();
        orvLogger::trace(kTag, std::string(name) + " - The data to write " +
                                   (secret ? std::string("********") : std::string(data)) +
                                   "........");
        const auto fail = [&](ResultCode code) {
            standbyAfterAccess(name);
            throw Refusal{code};
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
            } catch (const ExchangeError& e) {
                fail(e.resultCode());
            }
            std::optional<STUHFL_T_Gen2_Write> echoed;
            try {
                echoed.emplace(reply);
            } catch (const std::exception& e) {
                logFailure(name, e.what());
                fail(ResultCode::invalidResponse);
            }
            const ResultCode result = tagAccessResult(echoed->status(), echoed->tagReply);
            if (result != ResultCode::noError) fail(result);

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
                    logFailure(name, "Failed to set select mask");
                    fail(reselected);
                }
            }
        }
        orvLogger::trace(kTag, std::string(name) + " - Success");
        standbyAfterAccess(name);
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
    return settle(name, [&] {
        const Bytes pwd = passwordBytes(name, password);
        const ResultCode selected = setSelectMask();
        if (selected != ResultCode::noError) {
            logFailure(name, "Failed to set select mask");
            throw Refusal{selected};
        }
        STUHFL_T_Gen2_Lock lock;
        lock.setPwd(pwd);
        lock.tagReply = 0;
        try {
            lock.setMask(mask);
        } catch (const STPacketError&) {
            logFailure(name, perma ? "Fail to set perma lock mask" : "Fail to set lock mask");
            throw Refusal{ResultCode::invalidParameter};
        }
        setPowerNormalMode();
        ResultCode result = ResultCode::noError;
        try {
            const STUHFL_T_Gen2_Lock reply(exchange(lock.commandPacketBytes(), name));
            result = tagAccessResult(reply.status(), reply.tagReply);
        } catch (const ExchangeError& e) {
            result = e.resultCode();
        } catch (const std::exception& e) {
            logFailure(name, e.what());
            result = ResultCode::invalidResponse;
        }
        standbyAfterAccess(name);
        if (result != ResultCode::noError) throw Refusal{result};
    });
}

ResultCode UhfModuleST25RU3993::killTag(const std::string& password) {
    static constexpr std::string_view name = "killTag(password:)";
    return settle(name, [&] {
        const Bytes pwd = passwordBytes(name, password);
        const ResultCode selected = setSelectMask();
        if (selected != ResultCode::noError) {
            logFailure(name, "Failed to set select mask");
            throw Refusal{selected};
        }
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
        if (!result) {
            logFailure(name, "No kill reply");
            throw Refusal{ResultCode::invalidResponse};
        }
        if (*result != ResultCode::noError) throw Refusal{*result};
    });
}

void UhfModuleST25RU3993::version(ValueCompletion<std::string> completion) {
    static constexpr std::string_view name = "version(completion:)";
    std::string text;
    const ResultCode code = settle(name, [&] {
        const STUHFL_FirmwareVersion reply(
            exchange(STUHFL_FirmwareVersion().getPacketBytes(), name));
        reply.checkStatus(name);
        text = reply.firmwareVersion;
    });
    if (code == ResultCode::noError) {
        completion(code, std::move(text));
    } else {
        completion(code, std::nullopt);
    }
}

// ---- Select masks

ResultCode UhfModuleST25RU3993::setSelectMask() {
    static constexpr std::string_view name = "setSelectMask()";
    std::vector<SelectMaskParam> used;
    for (const auto& [index, entry] : selectMaskList()) {
        if (entry.isUsed()) used.push_back(entry);
    }
    if (used.empty()) return clearSelectMask();
    return settle(name, [&] {
        bool first = true;
        for (const SelectMaskParam& entry : used) {
            const MaskPattern pattern = entry.maskPattern();
            const std::optional<Bytes> mask = hexTextToData(pattern.pattern());
            if (!mask) {
                logFailure(name, "The mask pattern is not hexadecimal text");
                throw Refusal{ResultCode::invalidParameter};
            }
            if (pattern.length() > 0xFF || pattern.length() > mask->size() * 8) {
                logFailure(name, "The mask length " + std::to_string(pattern.length()) +
                                     " does not fit the pattern");
                throw Refusal{ResultCode::outOfRange};
            }
            const uint64_t pointer = entry.offset() + (entry.bank() == BankType::epc ? 32 : 0);
            if (entry.offset() > kMaxWordPointer || pointer > kMaxWordPointer) {
                logFailure(name, "The mask offset does not fit the bit pointer");
                throw Refusal{ResultCode::outOfRange};
            }
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
            const Bytes reply = exchange(select.commandPacketBytes(), name);
            std::optional<STUHFL_T_Gen2_Select> echoed;
            try {
                echoed.emplace(reply);
            } catch (const STPacketError&) {
                logConvertError(name, "STUHFL_T_Gen2_Select", reply);
                throw Refusal{ResultCode::invalidResponse};
            }
            echoed->checkStatus(name);
            first = false;
        }
    });
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
    return settle(name, [&] {
        STUHFL_T_Gen2_Select select;
        select.mode = STUHFL_D_GEN2_SELECT_MODE::CLEAR_LIST;
        select.target = STUHFL_D_GEN2_SELECT_TARGET::S0;
        select.action = 0;
        select.memoryBank = STUHFL_D_GEN2_MEMORY_BANK::EPC;
        select.maskBitPointer = 0;
        select.maskBitLength = 0;
        select.truncation = 0;
        const Bytes reply = exchange(select.commandPacketBytes(), name);
        std::optional<STUHFL_T_Gen2_Select> echoed;
        try {
            echoed.emplace(reply);
        } catch (const STPacketError&) {
            logConvertError(name, "STUHFL_T_Gen2_Select", reply);
            throw Refusal{ResultCode::invalidResponse};
        }
        echoed->checkStatus(name);
    });
}

// ---- Configuration records

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
}

// ---- Radio settings

template <class T, class Read>
void UhfModuleST25RU3993::getValue(std::string_view name, const ValueCompletion<T>& completion,
                                   Read&& read) {
    std::optional<T> value;
    const ResultCode code = settleSetting(name, [&] { value = read(); });
    if (code == ResultCode::noError) {
        completion(code, std::move(value));
    } else {
        completion(code, std::nullopt);
    }
}

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
    getValue<T>(name, completion, [&] { return field.get(readConfig<Record>()); });
}

template <class Record, class T, class Check>
void UhfModuleST25RU3993::setField(std::string_view name, const ConfigField<Record, T>& field,
                                   T value, const ResultCompletion& completion, Check&& check) {
    completion(settleSetting(name, [&] {
        Record record = readConfig<Record>();
        if (field.get(record) == value) return;
        check(record);
        field.set(record, value);
        writeRecord(record, name);
    }));
}

void UhfModuleST25RU3993::getPower(ValueCompletion<int> completion) {
    static constexpr std::string_view name = "getPower(completion:)";
    getValue<int>(name, completion, [&] {
        try {
            return int{readRecord<TxRxCfg>(name).txOutputLevel} + 30;
        } catch (const ExchangeError& e) {
            throw Refusal{e.resultCode()};
        }
    });
}

void UhfModuleST25RU3993::setPower(int power, ResultCompletion completion) {
    static constexpr std::string_view name = "setPower(power:completion:)";
    if (power < powerMinOutput() || power > powerMaxOutput()) {
        completion(ResultCode::outOfRange);
        return;
    }
    completion(settleSetting(name, [&] {
        std::optional<TxRxCfg> record;
        try {
            record = readRecord<TxRxCfg>(name);
        } catch (const ExchangeError& e) {
            throw Refusal{e.resultCode()};
        }
        record->txOutputLevel = static_cast<int8_t>(power - 30);
        writeRecord(*record, name);
    }));
}

void UhfModuleST25RU3993::getContinuousMode(ValueCompletion<bool> completion) {
    completion(ResultCode::noError, continuousMode());
}

void UhfModuleST25RU3993::setContinuousMode(bool continuousMode, ResultCompletion completion) {
    storeContinuousMode(continuousMode);
    completion(ResultCode::noError);
}

void UhfModuleST25RU3993::supportedGlobalBand(
    ValueCompletion<std::vector<GlobalBandType>> completion) {
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
    getValue<GlobalBandType>(name, completion, [&] {
        const auto info = readRecord<STUHFL_T_ST25RU3993_FreqProfileInfo>(name);
        const std::optional<GlobalBandType> band = fromRaw<GlobalBandType>(info.profile);
        if (!band) {
            logFailure(name, "Unknown frequency profile " + std::to_string(info.profile));
            throw Refusal{ResultCode::invalidResponse};
        }
        applyLbtRule(*band, name);
        return *band;
    });
}

void UhfModuleST25RU3993::setGlobalBand(GlobalBandType band, ResultCompletion completion) {
    static constexpr std::string_view name = "setGlobalBand(band:completion:)";
    const std::vector<GlobalBandType> supported = supportedGlobalBandList();
    if (std::find(supported.begin(), supported.end(), band) == supported.end()) {
        logFailure(name, "Does not support " + std::string(description(band)));
        completion(ResultCode::notSupported);
        return;
    }
    completion(settleSetting(name, [&] {
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
    }));
}

void UhfModuleST25RU3993::getInventoryTime(ValueCompletion<unsigned> completion) {
    static constexpr std::string_view name = "getInventoryTime(completion:)";
    getValue<unsigned>(name, completion,
                       [&] { return unsigned{readRecord<FreqHop>(name).maxSendingTime}; });
}

void UhfModuleST25RU3993::setInventoryTime(unsigned inventoryTime, ResultCompletion completion) {
    static constexpr std::string_view name = "setInventoryTime(inventoryTime:completion:)";
    if (inventoryTime < inventoryTimeMinValue || inventoryTime > inventoryTimeMaxValue) {
        logFailure(name, "Inventory time is out of range (" +
                             std::to_string(inventoryTimeMinValue) + " - " +
                             std::to_string(inventoryTimeMaxValue) + ")");
        completion(ResultCode::outOfRange);
        return;
    }
    completion(settleSetting(name, [&] {
        FreqHop record = readRecord<FreqHop>(name);
        if (record.maxSendingTime == inventoryTime) return;
        record.maxSendingTime = static_cast<uint16_t>(inventoryTime);
        writeRecord(record, name);
    }));
}

void UhfModuleST25RU3993::getIdleTime(ValueCompletion<unsigned> completion) {
    completion(ResultCode::noError, inventoryIdleTime());
}

void UhfModuleST25RU3993::setIdleTime(unsigned idleTime, ResultCompletion completion) {
    static constexpr std::string_view name = "setIdleTime(idleTime:completion:)";
    if (idleTime < idleTimeMinValue || idleTime > idleTimeMaxValue) {
        logFailure(name, "Idle time is out of range (" + std::to_string(idleTimeMinValue) + " - " +
                             std::to_string(idleTimeMaxValue) + ")");
        completion(ResultCode::outOfRange);
        return;
    }
    inventoryIdleTime_.store(idleTime);
    completion(ResultCode::noError);
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

// Refuses (0x4003, with `message` logged) a Q outside `min`..`max`.
void checkQ(std::string_view name, int q, int min, int max, const std::string& message) {
    if (q < min || q > max) {
        logFailure(name, message);
        throw Refusal{ResultCode::outOfRange};
    }
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
        checkQ(name, startQ, minQ, maxQ,
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
        checkQ(name, maxQ, startQ, 15,
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
        checkQ(name, minQ, 0, startQ,
               "The min Q is out of range (" + std::to_string(startQ) + " - 0).");
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
    if (!fromRaw<STUHFL_D_GEN2_SESSION>(rawValue(session))) {
        logFailure(name, "The module has no " + std::string(description(session)));
        completion(ResultCode::notSupported);
        return;
    }
    setField(name, kSession, session, completion);
}

void UhfModuleST25RU3993::getSelectMode(ValueCompletion<SelectMode> completion) {
    static constexpr std::string_view name = "getSelectMode(completion:)";
    getValue<SelectMode>(name, completion, [&] {
        const uint8_t sel = getInventoryCfg().queryParams.sel;
        const std::optional<SelectMode> mode = selectModeOf(sel);
        if (!mode) {
            logFailure(name, "sel value " + std::to_string(sel) + " is invalid");
            throw Refusal{ResultCode::invalidResponse};
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
        logFailure(name, "Invalid number of packets received: " + packetSizes(pieces));
        throw Refusal{ResultCode::invalidResponse};
    }
    Records records;
    for (const Bytes& piece : pieces) {
        const STPacket packet(piece);
        packet.checkStatus(name);
        if (!isPacket(packet, STUHFL_CG::dl, InventoryCfg::kGetSubcode)) {
            logFailure(name, "Invalid packet received: " + std::to_string(piece.size()));
            throw Refusal{ResultCode::invalidResponse};
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
                logFailure(name, "Invalid packet received: " + std::to_string(piece.size()));
                throw Refusal{ResultCode::invalidResponse};
        }
    }
    if (!records.inventory || !records.protocol || !records.txRx || !records.freqHop) {
        if (setting) {
            logFailure(name, "Invalid packet received: " + packetSizes(pieces));
        } else {
            const auto word = [](bool arrived) { return arrived ? "true" : "false"; };
            logFailure(name, std::string("Lost packet : ") + word(records.inventory.has_value()) +
                                 " " + word(records.protocol.has_value()) + " " +
                                 word(records.txRx.has_value()) + " " +
                                 word(records.freqHop.has_value()));
        }
        throw Refusal{ResultCode::invalidResponse};
    }
    return records;
}

void UhfModuleST25RU3993::getRfidConfig(ValueCompletion<RfidConfig> completion) {
    static constexpr std::string_view name = "getRfidConfig(completion:)";
    getValue<RfidConfig>(name, completion, [&] {
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
            logFailure(name,
                       "sel value " + std::to_string(inventory.queryParams.sel) + " is invalid");
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
    completion(settleSetting(name, [&] {
        assertRfidConfig(config);
        Records records = readRecords(name, true);
        if (!fromRaw<STUHFL_D_GEN2_SESSION>(rawValue(config.session))) {
            logFailure(name, "The module has no " + std::string(description(config.session)));
            throw Refusal{ResultCode::notSupported};
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
                logFailure(name, "Invalid number of packets received: " + packetSizes(pieces));
                throw Refusal{ResultCode::invalidResponse};
            }
            for (const Bytes& piece : pieces) {
                STPacket(piece).checkStatus(name);
            }
        }
        // The driver's own settings change only with the module's.
        storeContinuousMode(config.continuousMode);
        inventoryIdleTime_.store(static_cast<unsigned>(config.idleTime));
    }));
}

}  // namespace orvane
