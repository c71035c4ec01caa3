#pragma once

// The conversions shared by the UHF object's operation rows: each row's signature and id taken
// from the one operation list, the `_OC` value forms (a number, a list of numbers, an object or a
// flag, with the fixed substitute for a missing value) and the texts of the success records.
// Included by the UHF object's sources only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "orvanerfid/core/Enum.h"
#include "orvanerfid/uhf/UhfOperations.h"
#include "orvanerfid/uhf/UhfPipeline.h"

namespace orvane::uhf_detail {

// ---- One type per row of the operation list, holding the row's signature and id.

#define ORV_UHF_ROW_(state, rowName, rowId, rowSignature, rowParams)          \
    struct rowName {                                                          \
        static constexpr std::string_view signature = rowSignature;           \
        static constexpr std::optional<UhfParamId> id = std::optional(rowId); \
    };
namespace row {
ORV_UHF_OPERATIONS(ORV_UHF_ROW_, ORV_UHF_ROW_)
}  // namespace row
#undef ORV_UHF_ROW_

// ---- `_OC` conversions: the code is passed unchanged; a missing value becomes the substitute.

// A word-size integer as a number; `fallback` when there is none.
template <typename T>
void completeWithNumber(const UhfOcCompletion<int64_t>& completion, ResultCode code,
                        const std::optional<T>& value, int64_t fallback) {
    callSafely("BaseUhf", completion, code, value ? static_cast<int64_t>(*value) : fallback);
}

// An 8-bit value or an enumeration's 8-bit raw value as an unsigned number; `fallback` when
// there is none.
template <typename T>
void completeWithByte(const UhfOcCompletion<int64_t>& completion, ResultCode code,
                      const std::optional<T>& value, int64_t fallback) {
    if constexpr (std::is_enum_v<T>) {
        static_assert(sizeof(std::underlying_type_t<T>) == 1);
        callSafely("BaseUhf", completion, code,
                   value ? static_cast<int64_t>(static_cast<uint8_t>(rawValue(*value))) : fallback);
    } else {
        static_assert(sizeof(T) == 1);
        callSafely("BaseUhf", completion, code,
                   value ? static_cast<int64_t>(static_cast<uint8_t>(*value)) : fallback);
    }
}

// A 16-bit value (or a 16-bit raw value) as a number, signed or unsigned as the value's type;
// -1 when there is none.
template <typename T>
void completeWithNumberOrMinusOne16(const UhfOcCompletion<int64_t>& completion, ResultCode code,
                                    const std::optional<T>& value) {
    int64_t number = -1;
    if constexpr (std::is_enum_v<T>) {
        static_assert(sizeof(std::underlying_type_t<T>) == 2);
        if (value) number = rawValue(*value);
    } else {
        static_assert(sizeof(T) == 2);
        if (value) number = *value;
    }
    callSafely("BaseUhf", completion, code, number);
}

// A list as one number per element, in list order (an enumeration gives its 8-bit raw value);
// an empty list when there is none.
template <typename T>
void completeWithNSNumberArray(const UhfOcCompletion<std::vector<int64_t>>& completion,
                               ResultCode code, const std::optional<std::vector<T>>& values) {
    std::vector<int64_t> numbers;
    if (values) {
        numbers.reserve(values->size());
        for (const T& element : *values) {
            if constexpr (std::is_enum_v<T>) {
                numbers.push_back(static_cast<uint8_t>(rawValue(element)));
            } else {
                numbers.push_back(static_cast<int64_t>(element));
            }
        }
    }
    callSafely("BaseUhf", completion, code, std::move(numbers));
}

// The object; a new one made by its parameterless constructor when there is none.
template <typename T>
void completeWithObjectOrNew(const UhfOcCompletion<T>& completion, ResultCode code,
                             std::optional<T> value) {
    callSafely("BaseUhf", completion, code, value ? std::move(*value) : T{});
}

// A flag; false when there is none.
inline void completeWithBool(const UhfOcCompletion<bool>& completion, ResultCode code,
                             const std::optional<bool>& value) {
    callSafely("BaseUhf", completion, code, value.value_or(false));
}

// ---- Texts of the success records.

inline std::string valueText(bool value) {
    return value ? "true" : "false";
}
inline std::string valueText(const std::string& value) {
    return "\"" + value + "\"";
}
template <typename T>
requires std::is_integral_v<T> std::string valueText(T value) {
    return std::to_string(value);
}
// An enumeration stands as its case name (its display text is kept for the setters that name
// it).
template <TabledEnum E>
std::string valueText(E value) {
    const std::string_view name = caseName(value);
    return name.empty() ? std::to_string(rawValue(value)) : std::string(name);
}
template <typename T>
std::string valueText(const std::vector<T>& values) {
    std::string text = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) text += ", ";
        if constexpr (std::is_same_v<T, uint8_t>) {
            text += std::to_string(values[i]);
        } else {
            text += valueText(values[i]);
        }
    }
    return text + "]";
}

// "Optional(<text>)", or "nil" without a value.
template <typename T, typename Text>
std::string optionalText(const std::optional<T>& value, const Text& text) {
    return value ? "Optional(" + text(*value) + ")" : std::string("nil");
}

}  // namespace orvane::uhf_detail
