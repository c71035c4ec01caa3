#include "orvanerfid/engines/ZebraParamValue.h"

#include <charconv>
#include <cstdint>
#include <optional>

#include "orvanerfid/core/ResultCode.h"

namespace orvane {

namespace {

// A decimal number in 0..max: `signs` lists the leading signs allowed, then digits only.
std::optional<uint32_t> parseUnsigned(std::string_view text, std::string_view signs, uint32_t max) {
    bool negative = false;
    if (!text.empty() && signs.find(text.front()) != std::string_view::npos) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (negative && value != 0) return std::nullopt;  // "-0" is the only negative in range
    if (value > max) return std::nullopt;
    return value;
}

}  // namespace

Bytes ZebraParamValue::toBytes(ZebraParamId id, std::string_view text) {
    const bool word = carriesWord(id);
    const uint32_t max = word ? 0xFFFF : 0xFF;
    const auto value = parseUnsigned(text, word ? "+-" : "+", max);
    if (!value) {
        throw ReaderException(
            ResultCode::invalidParameter,
            "The value[" + std::string(text) + "] is not a number in 0 - " + std::to_string(max));
    }
    if (!word) return {static_cast<uint8_t>(*value)};
    Bytes bytes;
    appendBe16(bytes, static_cast<uint16_t>(*value));
    return bytes;
}

std::string ZebraParamValue::toText(ZebraParamId id, ByteView data) {
    const bool word = carriesWord(id);
    if (data.size() < (word ? 2u : 1u)) {
        throw ReaderException(ResultCode::invalidResponse, "Invalid data length");
    }
    return std::to_string(word ? readBe16(data, 0) : data[0]);
}

}  // namespace orvane
