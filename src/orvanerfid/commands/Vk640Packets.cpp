#include "orvanerfid/commands/Vk640Packets.h"

#include <algorithm>

#include "orvanerfid/core/LocalDateTime.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {}  // namespace

namespace st {

std::string ReversedHex6::get(const uint8_t* p) {
    const uint8_t reversed[size] = {p[5], p[4], p[3], p[2], p[1], p[0]};
    return toHexString(reversed);
}

LocalDateTime6::type LocalDateTime6::get(const uint8_t* p) {
    localdatetime::Fields f{};
    std::copy_n(p, f.size(), f.begin());
    const auto t = localdatetime::decode(f);
    if (!t) throw STPacketError(ResultCode::invalidResponseData, "Invalid date and time");
    return *t;
}

void LocalDateTime6::put(Bytes& out, type v) {
    int year = 0;
    const auto fields = localdatetime::encode(v, year);
    if (!fields)
        throw STPacketError(ResultCode::outOfRange, "The year should be from 2000 to 2255");
    out.insert(out.end(), fields->begin(), fields->end());
}

DataTerminator TerminatorCode::get(const uint8_t* p) {
    switch (p[0]) {
        case 0x01:
            return DataTerminator::crlf;
        case 0x02:
            return DataTerminator::tab;
        default:
            return DataTerminator::none;
    }
}

void TerminatorCode::put(Bytes& out, DataTerminator v) {
    switch (v) {
        case DataTerminator::none:
            out.push_back(0x00);
            return;
        case DataTerminator::crlf:
            out.push_back(0x01);
            return;
        case DataTerminator::tab:
            out.push_back(0x02);
            return;
        case DataTerminator::cr:
        case DataTerminator::lf:
            throw STPacketError(ResultCode::notSupported,
                                "The reader has no terminator " + std::string(caseName(v)));
    }
    throw STPacketError(ResultCode::invalidParameter, "Unknown data terminator");
}

}  // namespace st

Bytes STUHFL_DisplayOutput::commandPacketBytes() {
    if (linePosition > 3) {
        throw STPacketError(ResultCode::outOfRange, "The line position should be from 0 to 3");
    }
    const uint8_t position = std::min<uint8_t>(charaterPosition, kLineWidth - 1);
    const uint8_t control =
        static_cast<uint8_t>((clearScreen ? 0x20 : 0x00) | position | (linePosition << 6));
    // The line holds 16 characters: a text that does not fit from the position is cut to the
    // bytes left, on a character boundary.
    std::size_t characters = 0;
    for (const char c : display)
        characters += (static_cast<uint8_t>(c) & 0xC0) != 0x80 ? 1 : 0;
    const std::size_t textBytes = position + characters > kLineWidth
                                      ? utf8PrefixLength(display, kLineWidth - position)
                                      : display.size();
    Bytes tlv{rawValue(STUHFL_TAG_Orvane::displayOutput), static_cast<uint8_t>(textBytes + 1),
              control};
    tlv.insert(tlv.end(), display.begin(),
               display.begin() + static_cast<std::ptrdiff_t>(textBytes));
    return frame(rawValue(STUHFL_CC_Orvane::setConfigure), std::move(tlv));
}

}  // namespace orvane
