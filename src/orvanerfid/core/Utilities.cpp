#include "orvanerfid/core/Utilities.h"

#include <cstdio>
#include <ctime>

#include "orvanerfid/core/ResultCode.h"

#ifndef ORVANE_VERSION_TEXT
#define ORVANE_VERSION_TEXT ""
#endif

namespace orvane {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<Bytes> parseHexDigits(std::string_view text, bool skipBlanks) {
    Bytes out;
    out.reserve(text.size() / 2);
    int high = -1;
    for (char c : text) {
        if (skipBlanks && c == ' ') continue;
        const int value = hexValue(c);
        if (value < 0) return std::nullopt;
        if (high < 0) {
            high = value;
        } else {
            out.push_back(static_cast<uint8_t>((high << 4) | value));
            high = -1;
        }
    }
    if (high >= 0) return std::nullopt;
    return out;
}

}  // namespace

std::string toHexString(ByteView bytes) {
    std::string text(bytes.size() * 2, '0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[2 * i] = kHexDigits[bytes[i] >> 4];
        text[2 * i + 1] = kHexDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::string decimalListText(ByteView bytes) {
    std::string text = "[";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(bytes[i]);
    }
    return text + "]";
}

std::string toHexDumpString(ByteView bytes) {
    std::string text;
    text.reserve(bytes.size() * 5);
    for (uint8_t b : bytes) {
        text += "0x";
        text += kHexDigits[b >> 4];
        text += kHexDigits[b & 0x0F];
        text += ' ';
    }
    return text;
}

std::vector<std::string> hexByteStrings(ByteView bytes) {
    std::vector<std::string> parts;
    parts.reserve(bytes.size());
    for (uint8_t b : bytes)
        parts.push_back({kHexDigits[b >> 4], kHexDigits[b & 0x0F]});
    return parts;
}

std::optional<Bytes> dataFromHexString(std::string_view hexString) {
    return parseHexDigits(hexString, true);
}

std::optional<Bytes> hexTextToData(std::string_view text) {
    return parseHexDigits(text, false);
}

Bytes requireHexText(std::string_view text) {
    auto bytes = hexTextToData(text);
    if (!bytes) throw ReaderException(ResultCode::invalidParameter, "Invalid hex text");
    return std::move(*bytes);
}

std::optional<std::string> asciiText(ByteView bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (uint8_t b : bytes) {
        if (b > 0x7F) return std::nullopt;
        text.push_back(static_cast<char>(b));
    }
    return text;
}

std::string asciiString(ByteView bytes) {
    auto text = asciiText(bytes);
    return text ? std::move(*text) : std::string("error when encode to ascii");
}

bool isValidUtf8(ByteView bytes) noexcept {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const uint8_t lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra = 0;
        uint32_t cp = 0;
        uint32_t min = 0;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1Fu, min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0Fu, min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07u, min = 0x10000;
        } else {
            return false;
        }
        if (bytes.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (bytes[i + k] & 0x3Fu);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

std::size_t utf8PrefixLength(std::string_view text, std::size_t maxBytes) noexcept {
    if (text.size() <= maxBytes) return text.size();
    std::size_t n = maxBytes;
    // Step back over continuation bytes so that the cut falls before a character's first byte.
    while (n > 0 && (static_cast<uint8_t>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

std::string toDateTimeString(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string Utilities::getFrameworkVersion() {
    const std::string version = ORVANE_VERSION_TEXT;
    if (version.empty()) {
        std::printf("Could not get xcframework version\n");
        return {};
    }
    std::printf("XCFramework Version: %s\n", version.c_str());
    return version;
}

uint32_t Utilities::versionToUInt32(std::string_view version) {
    // Parts and their weights wrap on overflow (unsigned arithmetic): an oversized version has
    // no meaningful number, but it must not crash.
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = version.find('.', start);
        if (dot == std::string_view::npos) {
            parts.push_back(version.substr(start));
            break;
        }
        parts.push_back(version.substr(start, dot - start));
        start = dot + 1;
    }
    uint64_t total = 0;
    uint64_t weight = 1;
    for (auto part = parts.rbegin(); part != parts.rend(); ++part, weight *= 100) {
        uint64_t value = 0;
        for (char c : *part) {
            if (c < '0' || c > '9') continue;
            const uint64_t digit = static_cast<uint64_t>(c - '0');
            if (value > (UINT64_MAX - digit) / 10) {
                value = 0;  // too long to be a number: counts 0
                break;
            }
            value = value * 10 + digit;
        }
        total += value * weight;
    }
    return static_cast<uint32_t>(total);
}

std::vector<uint8_t> Utilities::getCheckSum(ByteView data) {
    const uint16_t sum = checkSum16(data);
    return {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)};
}

}  // namespace orvane
