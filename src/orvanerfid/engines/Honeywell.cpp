#include "orvanerfid/engines/Honeywell.h"

#include <cstdio>

#include "orvanerfid/core/ResultCode.h"

namespace orvane {

namespace {

// `text` as a JSON string: quotes around it; quote, backslash and control characters escaped.
// Other bytes (UTF-8 sequences included) stand as they are.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
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
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[7];
                    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
                    out += escape;
                } else {
                    out += c;
                }
        }
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
