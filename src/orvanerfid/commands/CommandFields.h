#pragma once

// Field codecs and declarations for the many Vk210 commands that differ only in their code and
// in one value written or read. A codec says how one value travels in the data area:
//
//     struct Codec {
//         using value_type = ...;
//         static void write(Bytes& out, value_type v);               // appends the value
//         static std::optional<value_type> read(ByteView, size_t at);  // no value when short
//     };
//
// Multi-byte numbers are big-endian. Reads never go past the data: a reply too short for the
// value gives no value (the caller completes with 0x5000). A byte that is not a raw value of its
// enumeration gives the command's documented fallback where it has one, else no value.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane::fields {

// A flag byte: written 1 (on) or 0 (off); read on only for the byte 1.
struct Flag {
    using value_type = bool;
    static void write(Bytes& out, bool on) { out.push_back(on ? 1 : 0); }
    static std::optional<bool> read(ByteView d, std::size_t at) {
        if (at >= d.size()) return std::nullopt;
        return d[at] == 1;
    }
};

struct U8 {
    using value_type = uint8_t;
    static void write(Bytes& out, uint8_t v) { out.push_back(v); }
    static std::optional<uint8_t> read(ByteView d, std::size_t at) {
        if (at >= d.size()) return std::nullopt;
        return d[at];
    }
};

struct U16 {
    using value_type = uint16_t;
    static void write(Bytes& out, uint16_t v) { appendBe16(out, v); }
    static std::optional<uint16_t> read(ByteView d, std::size_t at) {
        if (d.size() < 2 || at > d.size() - 2) return std::nullopt;
        return readBe16(d, at);
    }
};

// 16-bit two's complement.
struct S16 {
    using value_type = int16_t;
    static void write(Bytes& out, int16_t v) { appendBe16(out, static_cast<uint16_t>(v)); }
    static std::optional<int16_t> read(ByteView d, std::size_t at) {
        const auto raw = U16::read(d, at);
        if (!raw) return std::nullopt;
        return static_cast<int16_t>(*raw);
    }
};

struct U32 {
    using value_type = uint32_t;
    static void write(Bytes& out, uint32_t v) { appendBe32(out, v); }
    static std::optional<uint32_t> read(ByteView d, std::size_t at) {
        if (d.size() < 4 || at > d.size() - 4) return std::nullopt;
        return readBe32(d, at);
    }
};

// An 8-bit enumeration as its raw value. An unlisted byte reads as no value.
template <TabledEnum E>
struct EnumByte {
    using value_type = E;
    static void write(Bytes& out, E v) { out.push_back(static_cast<uint8_t>(rawValue(v))); }
    static std::optional<E> read(ByteView d, std::size_t at) {
        if (at >= d.size()) return std::nullopt;
        return fromRaw<E>(d[at]);
    }
};

// An 8-bit enumeration whose unlisted bytes read as the documented fallback `Fallback`.
template <TabledEnum E, E Fallback>
struct EnumByteOr {
    using value_type = E;
    static void write(Bytes& out, E v) { EnumByte<E>::write(out, v); }
    static std::optional<E> read(ByteView d, std::size_t at) {
        if (at >= d.size()) return std::nullopt;
        return fromRaw<E>(d[at]).value_or(Fallback);
    }
};

}  // namespace orvane::fields

// A command with no request fields and no reply value beyond its status.
#define ORV_PLAIN_COMMAND(Class, Id)                         \
    class Class : public ::orvane::OrvaneRfidCommand {       \
        ORV_COMMAND_CLASS(Class, ::orvane::OrvRfidCmdId::Id) \
    }

// The codec is the last argument, so a template codec with commas needs no parentheses.

// A get command whose reply holds one value at offset 0, read through `accessor()`.
#define ORV_GET_VALUE_COMMAND(Class, Id, accessor, ...)                    \
    class Class : public ::orvane::OrvaneRfidCommand {                     \
        ORV_COMMAND_CLASS(Class, ::orvane::OrvRfidCmdId::Id)               \
        std::optional<typename __VA_ARGS__::value_type> accessor() const { \
            return __VA_ARGS__::read(data_, 0);                            \
        }                                                                  \
    }

// A set command that writes one value, held in the public field `field`.
#define ORV_SET_VALUE_COMMAND(Class, Id, field, defaultValue, ...) \
    class Class : public ::orvane::OrvaneRfidCommand {             \
        ORV_COMMAND_CLASS(Class, ::orvane::OrvRfidCmdId::Id)       \
        typename __VA_ARGS__::value_type field = defaultValue;     \
                                                                   \
      protected:                                                   \
        void buildData() override {                                \
            data_.clear();                                         \
            __VA_ARGS__::write(data_, field);                      \
        }                                                          \
    }

// ---------------------------------------------------------------------------------------------
// Codecs and declarations shared by the setting command families (groups 0x01, 0x0F and 0xF0).

namespace orvane::fields {

// The rest of the data from `at` on, as it stands.
struct Raw {
    using value_type = Bytes;
    static void write(Bytes& out, const Bytes& v) { out.insert(out.end(), v.begin(), v.end()); }
    static std::optional<Bytes> read(ByteView d, std::size_t at) {
        if (at > d.size()) return std::nullopt;
        return Bytes(d.begin() + static_cast<std::ptrdiff_t>(at), d.end());
    }
};

// One byte per entry, its raw value, in list order. Reading takes every byte from `at` on and
// skips bytes that are no raw value; no bytes is the empty list (a list of nothing, not short).
template <TabledEnum E>
struct EnumList {
    using value_type = std::vector<E>;
    static void write(Bytes& out, const std::vector<E>& v) {
        for (E e : v)
            EnumByte<E>::write(out, e);
    }
    static std::optional<std::vector<E>> read(ByteView d, std::size_t at) {
        if (at > d.size()) return std::nullopt;
        std::vector<E> out;
        for (std::size_t i = at; i < d.size(); ++i) {
            if (const auto e = fromRaw<E>(d[i])) out.push_back(*e);
        }
        return out;
    }
};

// The bit field `Mask` of one byte, whose enumeration carries its values in place.
template <TabledEnum E, uint8_t Mask>
struct Bits {
    using value_type = E;
    static std::optional<E> read(ByteView d, std::size_t at) {
        if (at >= d.size()) return std::nullopt;
        return fromRaw<E>(static_cast<uint8_t>(d[at] & Mask));
    }
};

// Whether `bytes` are well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
constexpr bool isValidUtf8(ByteView bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const uint8_t b = bytes[i];
        std::size_t extra = 0;
        uint32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            cp = b & 0x1Fu;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            cp = b & 0x0Fu;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            cp = b & 0x07u;
        } else {
            return false;
        }
        if (bytes.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (bytes[i + k] & 0x3Fu);
        }
        constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// The rest of the data as UTF-8 text; no value for bytes that are not UTF-8.
struct Utf8Text {
    using value_type = std::string;
    static std::optional<std::string> read(ByteView d, std::size_t at) {
        if (at > d.size() || !isValidUtf8(d.subspan(at))) return std::nullopt;
        return std::string(d.begin() + static_cast<std::ptrdiff_t>(at), d.end());
    }
};

// The rest of the data as ASCII text; no value for a byte above 0x7F.
struct AsciiText {
    using value_type = std::string;
    static std::optional<std::string> read(ByteView d, std::size_t at) {
        if (at > d.size()) return std::nullopt;
        return asciiText(d.subspan(at));
    }
};

// A date and time of the reader's clock in the host's local time zone: six bytes, year - 2000,
// month (1-12), day, hour, minute, second. Reading gives no value for fewer than six bytes or for
// fields that name no date and time (month 13, Feb 30, hour 24); writing a year outside
// 2000-2255 throws ReaderException 0x4003.
struct LocalDateTime {
    using value_type = std::chrono::system_clock::time_point;

    static void write(Bytes& out, value_type v) {
        const std::time_t seconds = std::chrono::system_clock::to_time_t(v);
        std::tm local{};
        localtime_r(&seconds, &local);
        const int year = local.tm_year + 1900;
        if (year < 2000 || year > 2255) {
            throw ReaderException(
                ResultCode::outOfRange,
                "The year must be between 2000 and 2255.(" + std::to_string(year) + ")");
        }
        for (int field : {year - 2000, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec}) {
            out.push_back(static_cast<uint8_t>(field));
        }
    }

    static std::optional<value_type> read(ByteView d, std::size_t at) {
        if (d.size() < 6 || at > d.size() - 6) return std::nullopt;
        const int year = 2000 + d[at];
        const int month = d[at + 1];
        const int day = d[at + 2];
        if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) ||
            d[at + 3] > 23 || d[at + 4] > 59 || d[at + 5] > 59) {
            return std::nullopt;
        }
        std::tm local{};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = d[at + 3];
        local.tm_min = d[at + 4];
        local.tm_sec = d[at + 5];
        local.tm_isdst = -1;
        const std::time_t seconds = std::mktime(&local);
        if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
        return std::chrono::system_clock::from_time_t(seconds);
    }

    static constexpr int daysInMonth(int year, int month) {
        constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return month == 2 && leap ? 29 : kDays[month - 1];
    }
};

// The first of `Codecs` whose value type is T.
template <typename T, typename... Codecs>
struct CodecAmong;
template <typename T, typename C, typename... Rest>
struct CodecAmong<T, C, Rest...>
    : std::conditional_t<std::is_same_v<T, typename C::value_type>, std::type_identity<C>,
                         CodecAmong<T, Rest...>> {};

// The codec of a request field by its C++ type, for commands that write several fields.
template <typename T>
struct CodecOf : CodecAmong<T, Flag, U8, U16, S16, U32, Raw> {};
template <TabledEnum E>
requires(sizeof(E) == 1) struct CodecOf<E> {
    using type = EnumByte<E>;
};

// Appends the values in order, each by the codec of its type.
template <typename... T>
void pack(Bytes& out, const T&... values) {
    (CodecOf<T>::type::write(out, values), ...);
}

// The bitwise OR of enumeration values that carry their bits in place: one request byte.
template <TabledEnum... E>
constexpr uint8_t orBits(E... values) {
    return static_cast<uint8_t>((0u | ... | static_cast<unsigned>(rawValue(values))));
}

}  // namespace orvane::fields

// Writes the listed request fields, in order, by the codecs of their types, as the data area.
// Place it last in the class body: it leaves the class in protected access.
#define ORV_REQUEST_FIELDS(...)                     \
  protected:                                        \
    void buildData() override {                     \
        data_.clear();                              \
        ::orvane::fields::pack(data_, __VA_ARGS__); \
    }

// A request parameter held behind a property: `setter` stores the value and at once makes it
// the one-byte data area; `name()` reads it. The command's framing is the base class's.
#define ORV_REQUEST_PARAMETER(Type, name, setter, defaultValue) \
  public:                                                       \
    Type name() const {                                         \
        return name##_;                                         \
    }                                                           \
    void setter(Type value) {                                   \
        name##_ = value;                                        \
        data_.clear();                                          \
        ::orvane::fields::pack(data_, value);                   \
    }                                                           \
                                                                \
  private:                                                      \
    Type name##_ = defaultValue;                                \
                                                                \
  public:

// A get command with one parameter byte whose reply echoes the parameter in byte 0 and holds the
// value in byte 1, read through `accessor()` by the codec given last.
#define ORV_PARAMETER_GET_COMMAND(Class, Id, ParamType, param, setter, paramDefault, accessor, \
                                  ...)                                                         \
    class Class : public ::orvane::OrvaneRfidCommand {                                         \
        ORV_COMMAND_CLASS(Class, ::orvane::OrvRfidCmdId::Id)                                   \
        ORV_REQUEST_PARAMETER(ParamType, param, setter, paramDefault)                          \
        std::optional<typename __VA_ARGS__::value_type> accessor() const {                     \
            return __VA_ARGS__::read(data_, 1);                                                \
        }                                                                                      \
    }

// As ORV_COMMAND_CLASS, for a class that takes its received frame further apart after the base
// has rebuilt it: the class defines `void parseReceived();`, which the receive constructor runs.
#define ORV_PARSED_COMMAND_CLASS(Class, Id)                                               \
  public:                                                                                 \
    Class() : ::orvane::OrvaneRfidCommand(Id) {}                                          \
    explicit Class(ReceiveBytes receive) : ::orvane::OrvaneRfidCommand(receive, #Class) { \
        parseReceived();                                                                  \
    }                                                                                     \
    explicit Class(SendBytes send) : ::orvane::OrvaneRfidCommand(send, #Class) {}         \
    std::string_view className() const override {                                         \
        return #Class;                                                                    \
    }                                                                                     \
                                                                                          \
  private:                                                                                \
    void parseReceived();                                                                 \
                                                                                          \
  public:

// The code rule of a get/set pair: the get code is even and the set code the next one.
#define ORV_PAIR_CODES_(GetClass, GetId, SetId)                                  \
    static_assert(::orvane::rawValue(::orvane::OrvRfidCmdId::GetId) % 2 == 0 &&  \
                      ::orvane::rawValue(::orvane::OrvRfidCmdId::SetId) ==       \
                          ::orvane::rawValue(::orvane::OrvRfidCmdId::GetId) + 1, \
                  #GetClass ": a get code is even and its set code the next one");

// A get/set pair of the setting pattern: the get reply holds the value at offset 0, read through
// `name()`, and the set request writes the public field `name` (default `defaultValue`), both
// by the codec given last.
#define ORV_SETTING_PAIR(GetClass, SetClass, GetId, SetId, name, defaultValue, ...) \
    ORV_GET_VALUE_COMMAND(GetClass, GetId, name, __VA_ARGS__);                      \
    ORV_SET_VALUE_COMMAND(SetClass, SetId, name, defaultValue, __VA_ARGS__);        \
    ORV_PAIR_CODES_(GetClass, GetId, SetId)

// A spare pair: complete classes that no part of the system sends. The get reply is not read;
// the set request writes its field as ORV_SETTING_PAIR's does.
#define ORV_SPARE_SETTING_PAIR(GetClass, SetClass, GetId, SetId, name, defaultValue, ...) \
    ORV_PLAIN_COMMAND(GetClass, GetId);                                                   \
    ORV_SET_VALUE_COMMAND(SetClass, SetId, name, defaultValue, __VA_ARGS__);              \
    ORV_PAIR_CODES_(GetClass, GetId, SetId)
