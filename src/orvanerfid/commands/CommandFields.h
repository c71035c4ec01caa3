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
// enumeration gives the fallback its field names (EnumByteOr's `Fallback`) where it has one,
// else no value.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/LocalDateTime.h"
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

// An 8-bit enumeration whose unlisted bytes read as `Fallback`.
template <TabledEnum E, E Fallback>
struct EnumByteOr {
    using value_type = E;
    static void write(Bytes& out, E v) { EnumByte<E>::write(out, v); }
    static std::optional<E> read(ByteView d, std::size_t at) {
        if (at >= d.size()) return std::nullopt;
        return fromRaw<E>(d[at]).value_or(Fallback);
    }
};

// The rest of the data from `at`, as they are (an empty rest is a value).
struct RawBytes {
    using value_type = Bytes;
    static void write(Bytes& out, const Bytes& v) { out.insert(out.end(), v.begin(), v.end()); }
    static std::optional<Bytes> read(ByteView d, std::size_t at) {
        if (at > d.size()) return std::nullopt;
        return Bytes(d.begin() + static_cast<std::ptrdiff_t>(at), d.end());
    }
};

// Exactly N bytes (a password, a lock mask). Writing another length is refused with 0x5002:
// a shorter or longer field would shift every field behind it.
template <std::size_t N>
struct FixedBytes {
    using value_type = Bytes;
    static void write(Bytes& out, const Bytes& v) {
        if (v.size() != N) {
            throw ReaderException(
                ResultCode::invalidParameter,
                "Field must hold " + std::to_string(N) + " bytes, not " + std::to_string(v.size()));
        }
        RawBytes::write(out, v);
    }
    static std::optional<Bytes> read(ByteView d, std::size_t at) {
        if (d.size() < N || at > d.size() - N) return std::nullopt;
        return Bytes(d.begin() + static_cast<std::ptrdiff_t>(at),
                     d.begin() + static_cast<std::ptrdiff_t>(at + N));
    }
};

// Tag memory words: a count byte (words) and the bytes. An odd byte count is refused with 0x5002
// and more than 255 words (510 bytes) with 0x4003, before anything is framed.
struct WordData {
    using value_type = Bytes;
    static constexpr std::size_t kMaxWords = 255;
    static void write(Bytes& out, const Bytes& v) {
        if (v.size() % 2 != 0) {
            throw ReaderException(
                ResultCode::invalidParameter,
                "Word data must hold an even number of bytes, not " + std::to_string(v.size()));
        }
        if (v.size() / 2 > kMaxWords) {
            throw ReaderException(
                ResultCode::outOfRange,
                "Word data of " + std::to_string(v.size()) + " bytes exceed 255 words");
        }
        out.push_back(static_cast<uint8_t>(v.size() / 2));
        RawBytes::write(out, v);
    }
    static std::optional<Bytes> read(ByteView d, std::size_t at) {
        const auto words = U8::read(d, at);
        if (!words) return std::nullopt;
        const std::size_t n = std::size_t{*words} * 2;
        if (d.size() - at - 1 < n) return std::nullopt;
        return Bytes(d.begin() + static_cast<std::ptrdiff_t>(at + 1),
                     d.begin() + static_cast<std::ptrdiff_t>(at + 1 + n));
    }
};

// The rest of the data as UTF-8 text; bytes that are not valid UTF-8 read as the empty text.
struct Utf8Text {
    using value_type = std::string;
    static void write(Bytes& out, const std::string& v) {
        out.insert(out.end(), v.begin(), v.end());
    }
    static std::optional<std::string> read(ByteView d, std::size_t at) {
        if (at > d.size()) return std::nullopt;
        const ByteView rest = d.subspan(at);
        if (!isValidUtf8(rest)) return std::string();
        return std::string(rest.begin(), rest.end());
    }
};

// Text closed by one 0x00 byte. Text that is not valid UTF-8 contributes no bytes; text holding
// a 0x00 byte is refused with 0x5002, as the reader would end the field there.
struct ZeroTerminatedText {
    using value_type = std::string;
    static void write(Bytes& out, const std::string& v) {
        if (v.find('\0') != std::string::npos) {
            throw ReaderException(ResultCode::invalidParameter, "Text holds a 0x00 byte");
        }
        const ByteView bytes(reinterpret_cast<const uint8_t*>(v.data()), v.size());
        if (isValidUtf8(bytes)) Utf8Text::write(out, v);
        out.push_back(0x00);
    }
    static std::optional<std::string> read(ByteView d, std::size_t at) {
        for (std::size_t end = at; end < d.size(); ++end) {
            if (d[end] == 0x00) return Utf8Text::read(d.first(end), at);
        }
        return std::nullopt;
    }
};

// A number as its decimal digits (no leading zeros) and one 0x00 byte.
struct DecimalText {
    using value_type = uint32_t;
    static void write(Bytes& out, uint32_t v) { ZeroTerminatedText::write(out, std::to_string(v)); }
    static std::optional<uint32_t> read(ByteView d, std::size_t at) {
        const auto text = ZeroTerminatedText::read(d, at);
        if (!text || text->empty() || text->size() > 10) return std::nullopt;
        uint64_t v = 0;
        for (char c : *text) {
            if (c < '0' || c > '9') return std::nullopt;
            v = v * 10 + static_cast<uint64_t>(c - '0');
        }
        if (v > UINT32_MAX) return std::nullopt;
        return static_cast<uint32_t>(v);
    }
};

// Every byte from `at` in decimal, joined by "." ("1.2.10"); no bytes give the empty text.
struct VersionText {
    using value_type = std::string;
    static std::optional<std::string> read(ByteView d, std::size_t at) {
        if (at > d.size()) return std::nullopt;
        std::string text;
        for (std::size_t i = at; i < d.size(); ++i) {
            if (i > at) text += '.';
            text += std::to_string(d[i]);
        }
        return text;
    }
};

}  // namespace orvane::fields

namespace orvane {

// ---- Customized-format records ---------------------------------------------------------------
//
// Inventory and barcode reports of the customized formats are a sequence of records: length (2,
// big-endian, counting the whole record), id (1), value (length - 3).

template <typename Id>
struct CustomizedRecordView {
    uint16_t length;
    Id id;
    ByteView data;
};

struct CustomizedWalk {
    std::size_t items = 0;      // well-formed records visited
    std::size_t stoppedAt = 0;  // offset where the walk ended
    bool malformed = false;     // it ended on a bad length or id, not on the data's end
};

// Visits the records of `data` in order without copying. While at least 4 bytes are left it
// reads the record length L; L below 3, L past the end, or an id outside `Id` ends the walk
// (malformed) and the records already visited stand. Fewer than 4 bytes left end it normally.
template <TabledEnum Id, typename Visit>
CustomizedWalk walkCustomizedRecords(ByteView data, Visit&& visit) {
    CustomizedWalk walk;
    std::size_t at = 0;
    while (data.size() - at >= 4) {
        const uint16_t length = readBe16(data, at);
        const auto id = fromRaw<Id>(data[at + 2]);
        if (length < 3 || length > data.size() - at || !id) {
            walk.malformed = true;
            break;
        }
        visit(CustomizedRecordView<Id>{length, *id, data.subspan(at + 3, length - 3u)});
        ++walk.items;
        at += length;
    }
    walk.stoppedAt = at;
    return walk;
}

}  // namespace orvane

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

// The request fields of a command, from a list X(name, Codec, default) in wire order: declares
// one public field per row and a buildData() that writes them in that order. Use it inside the
// class body after ORV_COMMAND_CLASS. A default with commas goes through a function.
#define ORV_FIELD_DECL_(name, Codec, defaultValue) typename Codec::value_type name = defaultValue;
#define ORV_FIELD_WRITE_(name, Codec, defaultValue) Codec::write(data_, name);
#define ORV_FIELD_LIST(LIST)    \
  public:                       \
    LIST(ORV_FIELD_DECL_)       \
                                \
  protected:                    \
    void buildData() override { \
        data_.clear();          \
        LIST(ORV_FIELD_WRITE_)  \
    }                           \
                                \
  public:

// A command whose request is the fields of LIST (see ORV_FIELD_LIST) and whose reply carries
// only the status byte.
#define ORV_FIELDS_COMMAND(Class, Id, LIST)                  \
    class Class : public ::orvane::OrvaneRfidCommand {       \
        ORV_COMMAND_CLASS(Class, ::orvane::OrvRfidCmdId::Id) \
        ORV_FIELD_LIST(LIST)                                 \
    }

// ---------------------------------------------------------------------------------------------
// Codecs and declarations shared by the setting command families (groups 0x01, 0x0F and 0xF0).

namespace orvane::fields {

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

// The rest of the data as UTF-8 text; no value (where Utf8Text gives the empty text) for bytes
// that are not UTF-8.
struct CheckedUtf8Text {
    using value_type = std::string;
    static std::optional<std::string> read(ByteView d, std::size_t at) {
        if (at > d.size() || !isValidUtf8(d.subspan(at))) return std::nullopt;
        return Utf8Text::read(d, at);
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
        int year = 0;
        const auto fields = localdatetime::encode(v, year);
        if (!fields) {
            throw ReaderException(
                ResultCode::outOfRange,
                "The year must be between 2000 and 2255.(" + std::to_string(year) + ")");
        }
        out.insert(out.end(), fields->begin(), fields->end());
    }

    static std::optional<value_type> read(ByteView d, std::size_t at) {
        if (d.size() < 6 || at > d.size() - 6) return std::nullopt;
        localdatetime::Fields f{};
        std::copy_n(d.begin() + static_cast<std::ptrdiff_t>(at), f.size(), f.begin());
        return localdatetime::decode(f);
    }
};

// The bitwise OR of enumeration values that carry their bits in place: one request byte.
template <TabledEnum... E>
constexpr uint8_t orBits(E... values) {
    return static_cast<uint8_t>((0u | ... | static_cast<unsigned>(rawValue(values))));
}

}  // namespace orvane::fields

// A request parameter held behind a property: `setter` stores the value and at once makes it
// the data area, by the codec given last; `name()` reads it. The framing is the base class's.
#define ORV_REQUEST_PARAMETER(name, setter, defaultValue, ...) \
  public:                                                      \
    typename __VA_ARGS__::value_type name() const {            \
        return name##_;                                        \
    }                                                          \
    void setter(typename __VA_ARGS__::value_type value) {      \
        name##_ = value;                                       \
        data_.clear();                                         \
        __VA_ARGS__::write(data_, value);                      \
    }                                                          \
                                                               \
  private:                                                     \
    typename __VA_ARGS__::value_type name##_ = defaultValue;   \
                                                               \
  public:

// A get command with one parameter byte (by ParamCodec) whose reply echoes the parameter in
// byte 0 and holds the value in byte 1, read through `accessor()` by the codec given last.
#define ORV_PARAMETER_GET_COMMAND(Class, Id, ParamCodec, param, setter, paramDefault, accessor, \
                                  ...)                                                          \
    class Class : public ::orvane::OrvaneRfidCommand {                                          \
        ORV_COMMAND_CLASS(Class, ::orvane::OrvRfidCmdId::Id)                                    \
        ORV_REQUEST_PARAMETER(param, setter, paramDefault, ParamCodec)                          \
        std::optional<typename __VA_ARGS__::value_type> accessor() const {                      \
            return __VA_ARGS__::read(data_, 1);                                                 \
        }                                                                                       \
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
