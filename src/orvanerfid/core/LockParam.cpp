#include "orvanerfid/core/LockParam.h"

#include <cstdint>

namespace orvane {

std::string LockSelection::description() const {
    std::string text;
    for (LockState state : lockState_) {
        if (!text.empty()) text += ", ";
        text += orvane::description(state);
    }
    return text;
}

Bytes LockSelection::payload(bool permanent, bool extended) const {
    // Built as a 24-bit number: mask pairs at bits 23-14, action pairs at 13-4, then shifted
    // down by four for the extended form.
    uint32_t bits = 0;
    for (int area = 0; area < MAX_LOCK; ++area) {
        const bool change = lockState_[area] != LockState::noChange;
        const bool lock = lockState_[area] == LockState::lock;
        const bool permanentBit = permanent && change;
        const int maskAt = 23 - 2 * area;
        const int actionAt = 13 - 2 * area;
        bits |= uint32_t{change} << maskAt | uint32_t{permanentBit} << (maskAt - 1);
        bits |= uint32_t{lock} << actionAt | uint32_t{permanentBit} << (actionAt - 1);
    }
    if (extended) bits >>= 4;
    return {static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 8),
            static_cast<uint8_t>(bits)};
}

}  // namespace orvane
