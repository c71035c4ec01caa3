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

#include <cstdint>
#include <optional>
#include <type_traits>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"

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
