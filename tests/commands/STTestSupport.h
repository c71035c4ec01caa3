#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "orvanerfid/commands/STPacket.h"
#include "orvanerfid/core/Bytes.h"

namespace orvane::sttest {

// A packet as a reader sends it: mode 0x8000, sequence 7, the given status, group, subcode and
// payload.
inline Bytes packet(uint8_t group, uint8_t subcode, const Bytes& payload, uint16_t status = 0) {
    Bytes out;
    appendBe16(out, STPacket::kMode);
    appendBe16(out, 7);
    appendBe16(out, status);
    out.push_back(group);
    out.push_back(subcode);
    appendBe16(out, static_cast<uint16_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// A reply whose payload is one TLV [tag][value size][value].
inline Bytes tlvReply(uint8_t group, uint8_t subcode, uint8_t tag, const Bytes& value,
                      uint16_t status = 0) {
    Bytes payload{tag, static_cast<uint8_t>(value.size())};
    payload.insert(payload.end(), value.begin(), value.end());
    return packet(group, subcode, payload, status);
}

// The payload of framed request bytes (everything after the 10-byte header).
inline Bytes payloadOf(const Bytes& framed) {
    return Bytes(framed.begin() + STPacket::kHeaderSize, framed.end());
}

// Runs `body`, which must throw a CodedError with `code`; a non-empty `message` must match.
inline void expectCoded(const std::function<void()>& body, ResultCode code,
                        const std::string& message = {}) {
    try {
        body();
        ADD_FAILURE() << "no error thrown, expected " << caseName(code);
    } catch (const CodedError& e) {
        EXPECT_EQ(e.resultCode(), code) << e.description();
        if (!message.empty()) {
            EXPECT_EQ(e.message(), message);
        }
    }
}

}  // namespace orvane::sttest
