#include "orvanerfid/params/ParamData.h"

#include <optional>

#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/EngineParamId.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/params/ParamNumberCodec.h"

namespace orvane {

namespace {

[[noreturn]] void unknownNumber(int64_t number) {
    throw ReaderException(ResultCode::invalidParameter,
                          "Unknown parameter number - " + std::to_string(number));
}

[[noreturn]] void tooShort() {
    throw ReaderException(ResultCode::invalidResponseData, "Invalid data length");
}

void trace(const std::string& text) {
    orvLogger::trace(text);
}

// The marker byte of a form that has one; the byte form has none.
std::optional<ParamDataType> markerAt(ByteView data) {
    if (data.empty() || data[0] == rawValue(ParamDataType::byte)) return std::nullopt;
    return fromRaw<ParamDataType>(data[0]);
}

}  // namespace

std::string ParamData::description() const {
    return "ParamData { number = " + std::to_string(number) + ", data = " + decimalListText(data) +
           " }";
}

Bytes ParamDataCodec::encode(const ParamData& paramData) {
    const Bytes number = ParamNumberCodec::encode(paramData.number);
    const auto zebraId = fromRaw<ZebraParamId>(paramData.number);
    if (!zebraId) unknownNumber(paramData.number);
    Bytes out;
    out.reserve(1 + number.size() + paramData.data.size());
    if (carriesWord(*zebraId)) out.push_back(rawValue(ParamDataType::word));
    out.insert(out.end(), number.begin(), number.end());
    out.insert(out.end(), paramData.data.begin(), paramData.data.end());
    return out;
}

ParamData ParamDataCodec::decode(ByteView data) {
    std::size_t length = 0;
    return decode(data, length);
}

ParamData ParamDataCodec::decode(ByteView data, std::size_t& length) {
    const bool tracing = orvLogger::isEnabled(LogLevel::trace);
    if (tracing) trace("decode() - data: " + decimalListText(data));

    const ParamDataType type = markerAt(data).value_or(ParamDataType::byte);
    const std::size_t numberIndex = type == ParamDataType::byte ? 0 : 1;
    if (tracing) {
        trace("decode() - dataType: " + std::string(caseName(type)) +
              ", paramNumberIndex: " + std::to_string(numberIndex));
    }

    const int64_t number = ParamNumberCodec::decode(data, numberIndex);
    const std::size_t numberLen = ParamNumberCodec::length(data[numberIndex]);
    if (tracing) {
        trace("decode() - paramNumber: " + std::to_string(number) +
              ", paramNumberLength: " + std::to_string(numberLen));
    }

    // Every read below is checked against the bytes left after `at`.
    std::size_t at = numberIndex + numberLen;
    const auto take = [&](std::size_t count) {
        if (data.size() - at < count) tooShort();
        const ByteView bytes = data.subspan(at, count);
        at += count;
        return bytes;
    };
    std::size_t valueLength = 0;
    int64_t offset = 0;
    switch (type) {
        case ParamDataType::byte:
            valueLength = 1;
            break;
        case ParamDataType::word:
            valueLength = 2;
            break;
        case ParamDataType::string:
        case ParamDataType::array:
            valueLength = take(1)[0];
            break;
        case ParamDataType::multiPacket:
            valueLength = take(1)[0];
            offset = readBe16(take(2), 0);
            break;
    }
    const ByteView value = take(valueLength);
    ParamData result(number, Bytes(value.begin(), value.end()), offset);
    length = at;
    if (tracing) trace("decode() - ret: " + result.description());
    return result;
}

Bytes ParamDataCodec::joinBytes(const std::vector<Bytes>& lists) {
    Bytes out;
    for (const Bytes& list : lists)
        out.insert(out.end(), list.begin(), list.end());
    return out;
}

}  // namespace orvane
