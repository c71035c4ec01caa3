#pragma once

// Records of a Honeywell scan engine's settings: a command tag with its sub-tags, each holding
// a data text and the engine's answer to it, and a packet of such tags. They are written out as
// JSON text. Plain values, used by one thread at a time.

#include <cstdint>
#include <map>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

#define ORV_HONEYWELL_RESPONSE(X) \
    X(ack, 0x06, "ACK")           \
    X(enq, 0x05, "ENQ")           \
    X(nak, 0x15, "NAK")

// The engine's answer to one sub-tag.
ORV_ENUM(HoneywellResponse, uint8_t, ORV_HONEYWELL_RESPONSE);

// No fields and no operations of its own.
class ORVANE_API HoneywellCodec {};

class ORVANE_API HoneywellTag {
  public:
    explicit HoneywellTag(std::string tag) : tag(std::move(tag)) {}

    std::string tag;
    std::map<std::string, std::string> subTags;                // sub-tag name -> data text
    std::map<std::string, HoneywellResponse> subTagsResponse;  // sub-tag name -> answer

    // A line feed, {"tag":"<tag>","subTags":{"<name>":{"data":"<data>","response":"ACK"},...}},
    // a line feed. Sub-tags in name order. Texts are escaped so that the JSON stays well-formed
    // whatever they hold. A sub-tag without an answer (or with a value outside
    // HoneywellResponse) has no text form: ReaderException 0x5006 "No response for sub-tag
    // <name>".
    std::string text() const;
    std::string description() const { return text(); }
};

class ORVANE_API HoneywellPacket {
  public:
    std::map<std::string, HoneywellTag> tags;  // tag name -> tag

    // "{" then, per tag in name order, "<tag text as a JSON string>:" and the tag's text form,
    // separated by ","; then "}". Throws as HoneywellTag::text().
    std::string text() const;
    std::string description() const { return text(); }
};

}  // namespace orvane
