#include "sim/SimScanEngine.h"

#include <string>

#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/engines/EngineTables.h"
#include "orvanerfid/engines/ZebraPacket.h"
#include "orvanerfid/engines/ZebraParamValue.h"
#include "orvanerfid/params/ParamData.h"
#include "orvanerfid/params/ParamNumberCodec.h"

namespace orvane {

namespace {

ZebraPacket fromEngine(Opcode opcode, Bytes data = {}) {
    ZebraPacket packet(opcode, std::move(data));
    packet.messageSource = MessageSource::decoder;
    packet.continuation = Continuation::lastPacket;
    packet.changeType = ChangeType::temporary;
    return packet;
}

}  // namespace

SimScanEngine::SimScanEngine(EngineModel model) {
    loadDefaults(model);
}

void SimScanEngine::loadDefaults(EngineModel model) {
    std::lock_guard guard(lock_);
    values_.clear();
    ranges_.clear();
    std::span<const EngineTableRow> rows;
    if (model == EngineModel::SE4107) rows = se4107Rows();
    if (model == EngineModel::SE2707) rows = se2707Rows();
    for (const EngineTableRow& row : rows) {
        const ZebraParamId id = *toZebraParamId(row.id);
        values_[rawValue(id)] = ZebraParamValue::toBytes(id, std::to_string(row.defaultValue));
        ranges_[rawValue(id)] = {row.min, row.max};
    }
}

std::optional<Bytes> SimScanEngine::answer(ByteView engineData) {
    std::lock_guard guard(lock_);
    if (faults_.noReply) return std::nullopt;
    ZebraPacket request(Opcode::CMD_ACK);
    try {
        request = ZebraCodec::decode(engineData);
    } catch (const CodedError&) {
        return nak(NakCause::checksumFailure);
    }
    switch (request.opcode) {
        case Opcode::PARAM_REQUEST:
            return paramReply(request.data);
        case Opcode::PARAM_SEND:
            return paramWrite(request.data);
        default:
            return nak(NakCause::unknownMessage);
    }
}

Bytes SimScanEngine::reply(Bytes packet) const {
    if (faults_.badChecksum) packet.back() ^= 0x5A;
    return packet;
}

Bytes SimScanEngine::nak(NakCause cause) {
    return reply(ZebraCodec::encode(fromEngine(Opcode::CMD_NAK, {rawValue(cause)})));
}

Bytes SimScanEngine::paramReply(ByteView numbers) {
    Bytes items = {rawValue(BeepCode::NoThing)};
    for (std::size_t at = 0; at < numbers.size();) {
        int64_t number = 0;
        try {
            number = ParamNumberCodec::decode(numbers, at);
        } catch (const ReaderException&) {
            return nak(NakCause::unknownMessage);
        }
        at += ParamNumberCodec::length(numbers[at]);
        const auto stored = values_.find(number);
        if (stored == values_.end()) continue;
        const Bytes item = ParamDataCodec::encode(ParamData(number, stored->second));
        items.insert(items.end(), item.begin(), item.end());
    }
    return reply(ZebraCodec::encode(fromEngine(Opcode::PARAM_SEND, std::move(items))));
}

Bytes SimScanEngine::paramWrite(ByteView items) {
    if (faults_.nakNextWrite) {
        const NakCause cause = *faults_.nakNextWrite;
        faults_.nakNextWrite.reset();
        return nak(cause);
    }
    std::map<int64_t, Bytes> writes;
    for (std::size_t at = 0; at < items.size();) {
        std::size_t length = 0;
        try {
            ParamData item = ParamDataCodec::decode(items.subspan(at), length);
            const auto id = fromRaw<ZebraParamId>(item.number);
            const auto range = ranges_.find(item.number);
            if (!id || range == ranges_.end()) return nak(NakCause::hostDirectiveDenied);
            const int64_t value = std::stoll(ZebraParamValue::toText(*id, item.data));
            const Range r = range->second;
            if ((r.min != 0 || r.max != 0) && (value < r.min || value > r.max)) {
                return nak(NakCause::hostDirectiveDenied);
            }
            writes[item.number] = std::move(item.data);
        } catch (const ReaderException&) {
            return nak(NakCause::hostDirectiveDenied);
        }
        at += length;
    }
    for (auto& [number, value] : writes)
        values_[number] = std::move(value);
    return reply(ZebraCodec::encode(fromEngine(Opcode::CMD_ACK)));
}

std::optional<Bytes> SimScanEngine::value(ZebraParamId id) const {
    std::lock_guard guard(lock_);
    const auto stored = values_.find(rawValue(id));
    if (stored == values_.end()) return std::nullopt;
    return stored->second;
}

void SimScanEngine::setValue(ZebraParamId id, Bytes value) {
    std::lock_guard guard(lock_);
    values_[rawValue(id)] = std::move(value);
    ranges_.try_emplace(rawValue(id), Range{0, 0});
}

void SimScanEngine::setFaults(const SimScanEngineFaults& faults) {
    std::lock_guard guard(lock_);
    faults_ = faults;
}

}  // namespace orvane
