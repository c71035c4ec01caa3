#pragma once

// The verdict of a pure frame cutter on the head of a receive buffer, and the walk over the
// frames a buffer holds. Shared by the Vk210 command frames and the ST host packets.

#include <cstddef>
#include <cstdint>

#include "orvanerfid/core/Bytes.h"

namespace orvane {

// What the head of a receive buffer holds.
enum class FrameCutStatus : uint8_t {
    complete,    // a whole, valid frame of `length` bytes
    incomplete,  // a plausible frame start; wait for more bytes
    invalid,     // cannot start a frame here: drop one byte and look again
};

struct FrameCut {
    FrameCutStatus status;
    std::size_t length;  // the frame size when complete, else 0
};

// Walks the frames at the head of `stream` with a pure cutter (`cut(ByteView) -> FrameCut`):
// each complete frame goes to `onFrame(ByteView)`, an invalid start costs one byte, and the
// walk stops at an incomplete head, or before the next frame once `stop()` is true. Returns the
// number of bytes consumed (frames and dropped bytes); the rest waits for more input.
template <typename Cutter, typename OnFrame, typename Stop>
std::size_t forEachFrameUntil(ByteView stream, Cutter&& cut, OnFrame&& onFrame, Stop&& stop) {
    std::size_t at = 0;
    while (at < stream.size() && !stop()) {
        const ByteView head = stream.subspan(at);
        const FrameCut result = cut(head);
        if (result.status == FrameCutStatus::incomplete) break;
        if (result.status == FrameCutStatus::invalid) {
            ++at;
            continue;
        }
        onFrame(head.first(result.length));
        at += result.length;
    }
    return at;
}

}  // namespace orvane
