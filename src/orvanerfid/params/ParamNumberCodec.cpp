#include "orvanerfid/params/ParamNumberCodec.h"

#include <string>

#include "orvanerfid/core/EngineParamId.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {

namespace {

// Prefix bytes of the two- and three-byte forms.
constexpr uint8_t kNumber256 = 0xF0;
constexpr uint8_t kNumber512 = 0xF1;
constexpr uint8_t kNumber768 = 0xF2;
constexpr uint8_t kNumber16Bit = 0xF8;

constexpr bool hasWireForm(int64_t number) {
    return (number >= 0 && number <= 239) ||
           (number >= 256 && number <= 1007 && number % 256 <= 239) ||
           (number >= 1024 && number <= 0xFFFF);
}

constexpr bool everyZebraNumberHasWireForm() {
    for (ZebraParamId id : allCases<ZebraParamId>()) {
        if (!hasWireForm(rawValue(id))) return false;
    }
    return true;
}
static_assert(everyZebraNumberHasWireForm());

}  // namespace

void ParamNumberCodec::append(Bytes& out, int64_t number) {
    if (!hasWireForm(number)) {
        throw ReaderException(ResultCode::invalidParameter,
                              "Unknown parameter number - " + std::to_string(number));
    }
    if (number <= 239) {
        out.push_back(static_cast<uint8_t>(number));
    } else if (number <= 1007) {
        out.push_back(static_cast<uint8_t>(kNumber256 + number / 256 - 1));
        out.push_back(static_cast<uint8_t>(number % 256));
    } else {
        out.push_back(kNumber16Bit);
        appendBe16(out, static_cast<uint16_t>(number));
    }
}

Bytes ParamNumberCodec::encode(int64_t number) {
    Bytes out;
    append(out, number);
    return out;
}

std::size_t ParamNumberCodec::length(uint8_t first) noexcept {
    switch (first) {
        case kNumber256:
        case kNumber512:
        case kNumber768:
            return 2;
        case kNumber16Bit:
            return 3;
        default:
            return 1;
    }
}

int64_t ParamNumberCodec::decode(ByteView bytes, std::size_t at) {
    if (at >= bytes.size() || bytes.size() - at < length(bytes[at])) {
        throw ReaderException(ResultCode::invalidResponseData, "Invalid data length");
    }
    const uint8_t first = bytes[at];
    switch (first) {
        case kNumber256:
        case kNumber512:
        case kNumber768:
            return 256 * (first - kNumber256 + 1) + bytes[at + 1];
        case kNumber16Bit:
            return readBe16(bytes, at + 1);
        default:
            return first;
    }
}

}  // namespace orvane
