#include "orvanerfid/params/EngineParam.h"

#include <charconv>
#include <optional>

#include "orvanerfid/core/ResultCode.h"

namespace orvane {

namespace {

std::string decimal(int64_t value) {
    return std::to_string(value);
}

// A decimal signed 64-bit integer: one optional sign, then one or more digits, nothing else.
std::optional<int64_t> parseDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars takes no sign of its own here: the digits are read as a magnitude.
    if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    constexpr uint64_t kMaxPositive = static_cast<uint64_t>(INT64_MAX);
    if (negative) {
        if (magnitude > kMaxPositive + 1) return std::nullopt;
        return magnitude == kMaxPositive + 1 ? INT64_MIN : -static_cast<int64_t>(magnitude);
    }
    if (magnitude > kMaxPositive) return std::nullopt;
    return static_cast<int64_t>(magnitude);
}

}  // namespace

EngineParam::EngineParam(EngineParamId id) : BaseParam(ParamType::engine), id_(id) {}

EngineParam::EngineParam(EngineParamId id, std::string value) : EngineParam(id) {
    set_default(value);
    set_value(std::move(value));
}

EngineParam::EngineParam(EngineParamId id, std::string value, std::vector<std::string> options)
    : EngineParam(id, std::move(value)) {
    set_options(std::move(options));
}

EngineParam::EngineParam(EngineParamId id, int64_t defaultValue, int64_t min, int64_t max)
    : EngineParam(id, decimal(defaultValue)) {
    initOption(min, max);
}

void EngineParam::setValue(std::string value) {
    if (!isValid(value)) {
        throw ReaderException(ResultCode::outOfRange, "The value[" + value + "] is out of range [" +
                                                          decimal(_min()) + " - " +
                                                          decimal(_max()) + "]");
    }
    set_value(std::move(value));
}

bool EngineParam::isValid(std::string_view value) const {
    if (_min() == 0 && _max() == 0) return true;
    const auto number = parseDecimal(value);
    return number && _min() <= *number && *number <= _max();
}

const std::vector<std::string>& EngineParam::options() {
    fillOptionsFromRange(decimal);
    return _options();
}

void EngineParam::addOption(std::string option) {
    optionsRef().push_back(std::move(option));
}

}  // namespace orvane
