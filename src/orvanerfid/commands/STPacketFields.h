#pragma once

// The value layouts of the STUHFL_ packet classes, declared once per class and served by one
// encoder and one decoder.
//
// A class lists its fields in value order:
//
//     template <class Self, class Visit>
//     static void fields(Self& self, Visit&& visit) {
//         visit(st::U16{}, self.maxSendingTime);
//         visit(st::Flag{}, self.skipLBTcheck);
//     }
//
// and a codec says how one field travels:
//
//     struct Codec {
//         using type = ...;
//         static constexpr std::size_t size = N;       // its bytes in the value
//         static type get(const uint8_t* p);           // `p` holds `size` bytes
//         static void put(Bytes& out, const type& v);  // appends exactly `size` bytes
//     };
//
// Numbers inside values are little-endian. Codecs that cannot encode a value throw
// STPacketError; nothing is silently cut, padded (unless the layout says so) or wrapped.

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "orvanerfid/commands/STPacket.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {
namespace st {

struct U8 {
    using type = uint8_t;
    static constexpr std::size_t size = 1;
    static type get(const uint8_t* p) { return p[0]; }
    static void put(Bytes& out, type v) { out.push_back(v); }
};

// A signed byte as its two's complement.
struct I8 {
    using type = int8_t;
    static constexpr std::size_t size = 1;
    static type get(const uint8_t* p) { return static_cast<int8_t>(p[0]); }
    static void put(Bytes& out, type v) { out.push_back(static_cast<uint8_t>(v)); }
};

// Written 0x01 / 0x00; read true only for exactly 0x01.
struct Flag {
    using type = bool;
    static constexpr std::size_t size = 1;
    static type get(const uint8_t* p) { return p[0] == 1; }
    static void put(Bytes& out, type v) { out.push_back(v ? 1 : 0); }
};

struct U16 {
    using type = uint16_t;
    static constexpr std::size_t size = 2;
    static type get(const uint8_t* p) { return readLe16(ByteView(p, size), 0); }
    static void put(Bytes& out, type v) { appendLe16(out, v); }
};

struct U32 {
    using type = uint32_t;
    static constexpr std::size_t size = 4;
    static type get(const uint8_t* p) { return readLe32(ByteView(p, size), 0); }
    static void put(Bytes& out, type v) { appendLe32(out, v); }
};

// Exactly N bytes; encoding any other count is refused with 0x5002.
template <std::size_t N>
struct Exact {
    using type = Bytes;
    static constexpr std::size_t size = N;
    static type get(const uint8_t* p) { return Bytes(p, p + N); }
    static void put(Bytes& out, const type& v) {
        if (v.size() != N) {
            throw STPacketError(ResultCode::invalidParameter,
                                "The length of the field should be " + std::to_string(N));
        }
        out.insert(out.end(), v.begin(), v.end());
    }
};

// Up to N bytes, followed by zero bytes up to N; more than N is refused with 0x4003.
template <std::size_t N>
struct ZeroPadded {
    using type = Bytes;
    static constexpr std::size_t size = N;
    static type get(const uint8_t* p) { return Bytes(p, p + N); }
    static void put(Bytes& out, const type& v) {
        if (v.size() > N) {
            throw STPacketError(ResultCode::outOfRange,
                                "The length of the field should be at most " + std::to_string(N));
        }
        out.insert(out.end(), v.begin(), v.end());
        out.insert(out.end(), N - v.size(), uint8_t{0});
    }
};

// An 8-bit enumeration as its raw value; a byte outside the table reads as `Fallback`. While the
// field still holds that fallback, the encoder writes the byte that was received, so a
// read-modify-write never rewrites a setting this library does not know.
template <TabledEnum E, E Fallback>
struct EnumOr {
    using type = E;
    static constexpr std::size_t size = 1;
    static type get(const uint8_t* p) { return fromRaw<E>(p[0]).value_or(Fallback); }
    static void put(Bytes& out, type v, const uint8_t* received) {
        if (received != nullptr && v == Fallback && !fromRaw<E>(*received)) {
            out.push_back(*received);
            return;
        }
        out.push_back(static_cast<uint8_t>(rawValue(v)));
    }
};

// A fixed-size sub-record (a class with kSize, a byte constructor and toBytes()).
template <class R>
struct Record {
    using type = R;
    static constexpr std::size_t size = R::kSize;
    static type get(const uint8_t* p) { return R(ByteView(p, size)); }
    static void put(Bytes& out, const type& v) {
        const Bytes bytes = v.toBytes();
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
};

// Appends one field; codecs that take the received byte get it when the record was parsed.
template <class Codec, class T>
void putField(Bytes& out, const T& value, const uint8_t* received) {
    if constexpr (requires { Codec::put(out, value, received); }) {
        Codec::put(out, value, received);
    } else {
        Codec::put(out, value);
    }
}

// The fields of `record` in value order; `received` is the value the record was parsed from
// (empty for a record built here).
template <class R>
std::size_t fixedSize(const R& record);

template <class R>
Bytes encode(const R& record, ByteView received) {
    Bytes out;
    out.reserve(fixedSize(record));
    std::size_t at = 0;
    R::fields(record, [&]<class Codec>(Codec, const auto& field) {
        const uint8_t* old = received.size() >= at + Codec::size ? received.data() + at : nullptr;
        putField<Codec>(out, field, old);
        at += Codec::size;
    });
    return out;
}

// The bytes the fixed fields of R take.
template <class R>
std::size_t fixedSize(const R& record) {
    std::size_t size = 0;
    R::fields(record, [&]<class Codec>(Codec, const auto&) { size += Codec::size; });
    return size;
}

// Reads the fields of `record` from `value`, which the caller has checked holds fixedSize bytes.
template <class R>
void decode(R& record, ByteView value) {
    std::size_t at = 0;
    R::fields(record, [&]<class Codec>(Codec, auto& field) {
        field = Codec::get(value.data() + at);
        at += Codec::size;
    });
}

}  // namespace st

// A fixed-size record inside a packet value (the parts of the inventory configuration).
template <class Derived, std::size_t Size>
class STFieldRecord {
  public:
    static constexpr std::size_t kSize = Size;

    // The record's bytes in field order.
    Bytes toBytes() const { return st::encode(derived(), received_); }

  protected:
    // Throws STPacketError 0x5002 "Invalid parameter length" unless `bytes` holds exactly kSize.
    void parseRecord(ByteView bytes) {
        if (bytes.size() != Size) {
            throw STPacketError(ResultCode::invalidParameter, "Invalid parameter length");
        }
        st::decode(derived(), bytes);
        received_.assign(bytes.begin(), bytes.end());
    }

  private:
    const Derived& derived() const { return static_cast<const Derived&>(*this); }
    Derived& derived() { return static_cast<Derived&>(*this); }

    Bytes received_;
};

#define ORV_ST_RECORD_CLASS(Class)             \
  public:                                      \
    Class() = default;                         \
    explicit Class(::orvane::ByteView bytes) { \
        parseRecord(bytes);                    \
    }

// How a reply without a value (a bare 10-byte header) is taken.
enum class STShortReply : uint8_t {
    fail,           // the value is required
    keepDefaults,   // the fields keep their defaults
    failOnSuccess,  // keeps the defaults under a failure status (checkStatus reports it), but a
                    // successful reply must carry the value: 0x5003
};

// How the length of a reply's value is checked against `dataSize`.
enum class STLengthRule : uint8_t { exact, atLeast, exactOrEmpty };

// The common body of every STUHFL_ packet class whose value is one TLV with a field layout.
//
// Derived supplies: kGroup (STUHFL_CG), kTag, dataSize, fields(), isReplySubcode(subcode);
// optionally kShortReply, kLengthRule, kReplyTagged (false when the reply's TLV tag is not kTag),
// lengthError(), encodeTail()/decodeTail() for a variable part after the fixed fields, and
// afterParse().
template <class Derived>
class STValuePacket : public STPacket {
  public:
    // The TLV value of a set or command request.
    Bytes valueBytes() const {
        Bytes value = st::encode(self(), received_);
        if constexpr (requires { self().encodeTail(value); }) self().encodeTail(value);
        return value;
    }

  protected:
    STValuePacket() : STPacket(Derived::kGroup) {}

    // Runs the base parser, then reads the TLV value into the fields. A packet of another group
    // or subcode, or whose TLV carries another tag, is no reply of this class: 0x5002.
    void parseReply(ByteView bytes) {
        parse(bytes);
        if (cmdGroup_ != rawValue(Derived::kGroup) || !Derived::isReplySubcode(cmdSubcode_)) {
            throw STPacketError(ResultCode::invalidParameter,
                                "The packet is not a reply of " + std::string(self().className()));
        }
        if (rawData_.size() <= kHeaderSize && shortReply() != STShortReply::fail) {
            if (shortReply() == STShortReply::failOnSuccess &&
                stErrorCode(static_cast<int16_t>(status_)) == kNoErrorOrdinal) {
                throw STPacketError(ResultCode::invalidResponseData, "The reply carries no value");
            }
            return;
        }
        const ByteView value = tlvValue();
        if (replyTagged() && payload_[0] != Derived::kTag) {
            throw STPacketError(ResultCode::invalidParameter,
                                "The value is not a value of " + std::string(self().className()));
        }
        if (lengthRule() == STLengthRule::exactOrEmpty && value.empty()) return;
        const std::size_t expected = static_cast<std::size_t>(Derived::dataSize);
        const bool fits = lengthRule() == STLengthRule::atLeast ? value.size() >= expected
                                                                : value.size() == expected;
        if (!fits) throw STPacketError(ResultCode::invalidParameter, self().lengthError());
        Derived& me = static_cast<Derived&>(*this);
        st::decode(me, value);
        if constexpr (requires { me.decodeTail(value); }) me.decodeTail(value);
        received_.assign(value.begin(), value.end());
        if constexpr (requires { me.afterParse(); }) me.afterParse();
    }

    // Frames [tag][value length][value] under `subcode`.
    Bytes frameValue(uint8_t subcode) {
        const Bytes value = valueBytes();
        if (value.size() > 0xFF) {
            throw STPacketError(ResultCode::outOfRange, "The value is longer than 255 bytes");
        }
        Bytes tlv{Derived::kTag, static_cast<uint8_t>(value.size())};
        tlv.insert(tlv.end(), value.begin(), value.end());
        return frame(subcode, std::move(tlv));
    }

    // Frames the get request [tag][0x00] under `subcode`.
    Bytes frameGet(uint8_t subcode) { return frame(subcode, Bytes{Derived::kTag, 0x00}); }

    // "The length of bytes should be <dataSize>"; classes with another text hide it.
    std::string lengthError() const {
        return "The length of bytes should be " + std::to_string(Derived::dataSize);
    }

  private:
    const Derived& self() const { return static_cast<const Derived&>(*this); }

    static constexpr STShortReply shortReply() {
        if constexpr (requires { Derived::kShortReply; }) {
            return Derived::kShortReply;
        } else {
            return STShortReply::fail;
        }
    }
    // Whether the reply's TLV tag is the class's own (the information replies carry another).
    static constexpr bool replyTagged() {
        if constexpr (requires { Derived::kReplyTagged; }) {
            return Derived::kReplyTagged;
        } else {
            return true;
        }
    }
    static constexpr STLengthRule lengthRule() {
        if constexpr (requires { Derived::kLengthRule; }) {
            return Derived::kLengthRule;
        } else {
            return STLengthRule::exact;
        }
    }

    // The value as received, for the round-trip of bytes that read as a fallback.
    Bytes received_;
};

// Declares the constructors and class name of an STUHFL_ packet class: the default constructor
// gives the class's defaults; the byte constructor parses a reply (throws STPacketError).
#define ORV_ST_PACKET_CLASS(Class)                \
    friend class ::orvane::STValuePacket<Class>;  \
                                                  \
  public:                                         \
    Class() = default;                            \
    explicit Class(::orvane::ByteView bytes) {    \
        this->parseReply(bytes);                  \
    }                                             \
    std::string_view className() const override { \
        return #Class;                            \
    }

}  // namespace orvane
