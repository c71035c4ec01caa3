#pragma once

// The one mechanism behind every enumeration of the library.
//
// Each enumeration is declared once, as a list of {case, raw value, display text}:
//
//     #define ORV_LOG_LEVEL(X) X(trace, 0, "TRACE") X(debug, 1, "DEBUG") ...
//     ORV_ENUM(LogLevel, uint8_t, ORV_LOG_LEVEL)
//
// which yields `enum class LogLevel : uint8_t` and a constexpr table from which
// `description`, `caseName`, `allCases` (declaration order), `rawValue` and
// `fromRaw` (an empty optional for a number outside the table) are derived.
// Enumerations without display texts give "" as the text. A list may carry further columns
// after the text (an id's access mode, say); ORV_ENUM ignores them.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

namespace orvane {

template <typename E>
struct EnumEntry {
    E value;
    std::string_view name;
    std::string_view text;
};

// Specialised by ORV_ENUM for each enumeration.
template <typename E>
struct EnumTable;

template <typename E>
concept TabledEnum = std::is_enum_v<E> && requires {
    EnumTable<E>::entries;
};

template <TabledEnum E>
constexpr auto rawValue(E value) {
    return static_cast<std::underlying_type_t<E>>(value);
}

namespace detail {

template <TabledEnum E>
constexpr std::size_t enumCount = std::size(EnumTable<E>::entries);

// Indices of the table's entries in ascending raw-value order, for binary search.
template <TabledEnum E>
constexpr auto makeSortedIndex() {
    std::array<uint16_t, enumCount<E>> index{};
    for (std::size_t i = 0; i < index.size(); ++i)
        index[i] = static_cast<uint16_t>(i);
    std::sort(index.begin(), index.end(), [](uint16_t a, uint16_t b) {
        return rawValue(EnumTable<E>::entries[a].value) < rawValue(EnumTable<E>::entries[b].value);
    });
    return index;
}

template <TabledEnum E>
constexpr auto sortedIndex = makeSortedIndex<E>();

template <TabledEnum E>
constexpr bool rawValuesUnique() {
    const auto& index = sortedIndex<E>;
    for (std::size_t i = 1; i < index.size(); ++i) {
        if (rawValue(EnumTable<E>::entries[index[i - 1]].value) ==
            rawValue(EnumTable<E>::entries[index[i]].value)) {
            return false;
        }
    }
    return true;
}

// Open-addressing hash of the raw values, built at compile time: fromRaw() costs one multiply
// and usually one probe, whatever the table's size (frame parsers call it once per frame).
template <TabledEnum E>
struct RawHash {
    using U = std::underlying_type_t<E>;
    static constexpr std::size_t size = std::bit_ceil(enumCount<E> * 2 + 2);
    static constexpr int shift = 64 - std::countr_zero(size);

    static constexpr std::size_t slotOf(U raw) {
        // Signed raw values are widened by value first; the multiply then wraps as intended.
        return static_cast<std::size_t>((static_cast<uint64_t>(raw) * 0x9E3779B97F4A7C15ULL) >>
                                        shift);
    }

    std::array<U, size> raw{};
    std::array<int16_t, size> index{};
};

template <TabledEnum E>
constexpr RawHash<E> makeRawHash() {
    RawHash<E> hash;
    hash.index.fill(-1);
    for (std::size_t i = 0; i < enumCount<E>; ++i) {
        const auto raw = rawValue(EnumTable<E>::entries[i].value);
        std::size_t slot = RawHash<E>::slotOf(raw);
        while (hash.index[slot] >= 0)
            slot = (slot + 1) & (RawHash<E>::size - 1);
        hash.raw[slot] = raw;
        hash.index[slot] = static_cast<int16_t>(i);
    }
    return hash;
}

template <TabledEnum E>
constexpr RawHash<E> rawHash = makeRawHash<E>();

// Position of the entry with raw value `raw` in the table, or -1.
template <TabledEnum E>
constexpr int findEntry(std::underlying_type_t<E> raw) {
    const auto& hash = rawHash<E>;
    std::size_t slot = RawHash<E>::slotOf(raw);
    while (hash.index[slot] >= 0) {
        if (hash.raw[slot] == raw) return hash.index[slot];
        slot = (slot + 1) & (RawHash<E>::size - 1);
    }
    return -1;
}

}  // namespace detail

// All cases in declaration order.
template <TabledEnum E>
constexpr auto allCases() {
    std::array<E, detail::enumCount<E>> cases{};
    for (std::size_t i = 0; i < cases.size(); ++i)
        cases[i] = EnumTable<E>::entries[i].value;
    return cases;
}

// The case whose raw value is `raw`, or no value for a number outside the table. A raw value
// of a wider or signed type is compared by value, never truncated to the enum's width.
template <TabledEnum E, typename Raw>
requires std::is_integral_v<Raw>
constexpr std::optional<E> fromRaw(Raw raw) {
    using U = std::underlying_type_t<E>;
    if (!std::in_range<U>(raw)) return std::nullopt;
    if (detail::findEntry<E>(static_cast<U>(raw)) < 0) return std::nullopt;
    return static_cast<E>(static_cast<U>(raw));  // a listed raw value is its case
}

// The display text; "" for a value outside the table (only reachable through a cast).
template <TabledEnum E>
constexpr std::string_view description(E value) {
    const int at = detail::findEntry<E>(rawValue(value));
    return at >= 0 ? EnumTable<E>::entries[at].text : std::string_view{};
}

// The case name as declared ("upperKey"), for messages that print case names.
template <TabledEnum E>
constexpr std::string_view caseName(E value) {
    const int at = detail::findEntry<E>(rawValue(value));
    return at >= 0 ? EnumTable<E>::entries[at].name : std::string_view{};
}

template <TabledEnum E>
constexpr bool isKnown(E value) {
    return detail::findEntry<E>(rawValue(value)) >= 0;
}

// The first case, in declaration order, whose display text equals `text` when both are
// compared without regard to ASCII letter case (whole text, no trimming); no value when none does.
template <TabledEnum E>
constexpr std::optional<E> fromDescriptionIgnoringCase(std::string_view text) {
    constexpr auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (const auto& entry : EnumTable<E>::entries) {
        if (std::ranges::equal(entry.text, text, {}, lower, lower)) return entry.value;
    }
    return std::nullopt;
}

}  // namespace orvane

#define ORV_ENUM_CASE_(name, raw, text, ...) name = (raw),
#define ORV_ENUM_ENTRY_(name, raw, text, ...) {Enum::name, #name, text},

// Declares `enum class Name : Underlying` and its table from the list macro LIST. Use it inside
// namespace orvane.
#define ORV_ENUM(Name, Underlying, LIST)                                      \
    enum class Name : Underlying { LIST(ORV_ENUM_CASE_) };                    \
    template <>                                                               \
    struct EnumTable<Name> {                                                  \
        using Enum = Name;                                                    \
        static constexpr std::string_view typeName = #Name;                   \
        static constexpr EnumEntry<Name> entries[] = {LIST(ORV_ENUM_ENTRY_)}; \
    };                                                                        \
    static_assert(::orvane::detail::rawValuesUnique<Name>(), #Name ": duplicate raw value")
