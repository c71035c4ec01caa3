#include "orvanerfid/engines/Honeywell.h"

#include <cstdio>

#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {

namespace {

// The length of the UTF-8 sequence that starts at `at`; 0 when the bytes there form none.
std::size_t utf8SequenceAt(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || text.size() - at < length) return 0;
    const ByteView bytes(reinterpret_cast<const uint8_t*>(text.data()) + at, length);
    return isValidUtf8(bytes) ? length : 0;
}

void escapeByte(std::string& out, unsigned char byte) {
    char escape[7];
    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(byte));
    out += escape;
}

// `text` as a JSON string: quotes around it; quote, backslash and control characters escaped.
// UTF-8 sequences stand as they are; any other byte is escaped as the code point of its value,
// so the JSON stays valid UTF-8 whatever the engine sent.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    escapeByte(out, c);
                } else if (c >= 0x80) {
                    const std::size_t length = utf8SequenceAt(text, at);
                    if (length == 0) {
                        escapeByte(out, c);
                    } else {
                        out.append(text, at, length);
                        at += length;
                        continue;
                    }
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++at;
    }
    return out + "\"";
}

}  // namespace

std::string HoneywellTag::text() const {
    std::string out = "\n{\"tag\":" + quoted(tag) + ",\"subTags\":{";
    bool first = true;
    for (const auto& [name, data] : subTags) {
        const auto response = subTagsResponse.find(name);
        if (response == subTagsResponse.end() || !isKnown(response->second)) {
            throw ReaderException(ResultCode::notFoundParameter, "No response for sub-tag " + name);
        }
        if (!first) out += ",";
        first = false;
        out += quoted(name) + ":{\"data\":" + quoted(data) + ",\"response\":\"" +
               std::string(orvane::description(response->second)) + "\"}";
    }
    return out + "}}\n";
}

std::string HoneywellPacket::text() const {
    std::string out = "{";
    bool first = true;
    for (const auto& [name, tag] : tags) {
        if (!first) out += ",";
        first = false;
        out += quoted(tag.tag) + ":" + tag.text();
    }
    return out + "}";
}

}  // namespace orvane
