#include "orvanerfid/commands/Vk640Packets.h"

#include <algorithm>

#include "orvanerfid/core/LocalDateTime.h"
#include "orvanerfid/core/Logger.h"
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

uint16_t STPacket::deviceParamId() const {
    constexpr std::string_view kTag = "STPacket";
    const auto group = fromRaw<STUHFL_CG>(cmdGroup_);
    const auto subcode = fromRaw<STUHFL_CC_Orvane>(cmdSubcode_);
    if (!group || !subcode) {
        orvLogger::error(kTag, "deviceParamId The cmdGroup(" + std::to_string(cmdGroup_) +
                                   ") or cmdSubcode(" + std::to_string(cmdSubcode_) +
                                   ") is not supported.");
        return kNoDeviceParam;
    }
    // Device information items answer by their subcode alone.
    if (*group == STUHFL_CG::orvane) {
        switch (*subcode) {
            case STUHFL_CC_Orvane::firmwareVersion:
                return 0;
            case STUHFL_CC_Orvane::getSerialNumber:
                return 2;
            case STUHFL_CC_Orvane::getBluetoothMAC:
                return 3;
            case STUHFL_CC_Orvane::getModelName:
                return 1;
            case STUHFL_CC_Orvane::getBatteryInfo:
                return 5;
            case STUHFL_CC_Orvane::getSKU:
                return 52;
            case STUHFL_CC_Orvane::getTemperature:
                return 6;
            default:
                break;
        }
    }
    if (payload_.empty()) {
        const STPacketError error(ResultCode::invalidParameter,
                                  "The payload length is less than 1");
        orvLogger::error(kTag, "deviceParamId " + error.description());
        return kNoDeviceParam;
    }
    const auto tag = fromRaw<STUHFL_TAG_Orvane>(payload_[0]);
    if (!tag) {
        orvLogger::error(
            kTag, "deviceParamId The tlvID(" + std::to_string(payload_[0]) + ") is not supported.");
        return kNoDeviceParam;
    }
    if (*group == STUHFL_CG::orvane && *subcode == STUHFL_CC_Orvane::getConfigure) {
        switch (*tag) {
            case STUHFL_TAG_Orvane::vibrator:
                return 7;
            case STUHFL_TAG_Orvane::beeper:
                return 8;
            case STUHFL_TAG_Orvane::systemTime:
                return 9;
            case STUHFL_TAG_Orvane::autoOffTime:
                return 10;
            case STUHFL_TAG_Orvane::readMode:
                return 11;
            case STUHFL_TAG_Orvane::dataFormat:
                return 13;
            case STUHFL_TAG_Orvane::dataInfo:
                return 14;
            case STUHFL_TAG_Orvane::dataRange:
                return 15;
            case STUHFL_TAG_Orvane::dataTerminator:
                return 16;
            case STUHFL_TAG_Orvane::tagUnique:
                return 17;
            case STUHFL_TAG_Orvane::screenOffTime:
                return 20;
            case STUHFL_TAG_Orvane::userData:
                return 21;
            case STUHFL_TAG_Orvane::operatingMode:
                return 53;
            case STUHFL_TAG_Orvane::appBundleID:
                return 22;
            case STUHFL_TAG_Orvane::bluetoothSecuritySimplePairing:
                return 23;
            default:
                break;
        }
    }
    orvLogger::error(kTag, "deviceParamId The combination of cmdGroup(" +
                               std::string(caseName(*group)) + "), cmdSubcode(" +
                               std::string(caseName(*subcode)) + "), and tlvID(" +
                               std::string(caseName(*tag)) + ") is not supported.");
    return kNoDeviceParam;
}

}  // namespace orvane
