#pragma once

// Vk210 frames for the device suites: requests as the device writes them, replies as the reader
// sends them.

#include <initializer_list>
#include <string_view>

#include "orvanerfid/commands/OrvaneRfidCommand.h"

namespace orvane::test {

inline Bytes vk210Reply(OrvRfidCmdId id, const Bytes& data, uint8_t status = 0x00) {
    Bytes area{status};
    area.insert(area.end(), data.begin(), data.end());
    return OrvaneRfidCommand::frame(id, area);
}

inline Bytes vk210Request(OrvRfidCmdId id, const Bytes& data = {}) {
    return OrvaneRfidCommand::frame(id, data);
}

inline Bytes asBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes joinFrames(std::initializer_list<Bytes> frames) {
    Bytes out;
    for (const auto& frame : frames)
        out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

}  // namespace orvane::test
