// Drives the receive path: the input is a run of chunks [length][bytes...] pushed through the
// byte queue as a transport's read loop does, drained in pieces of varying size and cut with the
// Vk210 frame cutter and the ST packet cutter as receive loops do.
//
// Checked: the queue hands the bytes on unchanged and in order, every frame cut is one the
// whole-frame checks accept, and each cutter accounts for every byte it consumed.
#include <cstddef>
#include <cstdint>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/commands/STPacket.h"
#include "orvanerfid/core/ByteQueue.h"

#include "FuzzSupport.h"

namespace {

using namespace orvane;

// One receive loop's buffer: cuts what it holds and keeps the incomplete rest.
template <typename Cutter, typename Check>
struct Loop {
    Cutter cut;
    Check check;
    Bytes buffer;

    void take(ByteView bytes) {
        buffer.insert(buffer.end(), bytes.begin(), bytes.end());
        std::size_t framed = 0;
        std::size_t frames = 0;
        const std::size_t used = forEachFrameUntil(
            buffer, cut,
            [&](ByteView frame) {
                if (!check(frame)) __builtin_trap();
                framed += frame.size();
                ++frames;
            },
            [] { return false; });
        if (used > buffer.size() || framed > used) __builtin_trap();
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(used));
    }
};

bool vk210Frame(ByteView frame) {
    return OrvaneRfidCommand::checkFormat(frame) == static_cast<int>(frame.size());
}

bool stPacket(ByteView frame) {
    return STPacket::checkFormat(frame) == static_cast<int>(frame.size()) &&
           STPacket::parsePacket(frame).has_value();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteQueue queue;
    Loop<decltype(&OrvaneRfidCommand::cutFrame), decltype(&vk210Frame)> vk210{
        &OrvaneRfidCommand::cutFrame, &vk210Frame, {}};
    Loop<decltype(&STPacket::cutPacket), decltype(&stPacket)> st{
        &STPacket::cutPacket, &stPacket, {}};
    Bytes pushed;
    Bytes drained;
    Bytes piece;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        const ByteView chunk(data + at + 1, length);
        at += 1 + length;
        queue.enqueue(chunk, 0, static_cast<int>(chunk.size()));
        pushed.insert(pushed.end(), chunk.begin(), chunk.end());
        // Drain in a piece size taken from the chunk, so reads and writes interleave unevenly.
        piece.resize(1 + (length * 7) % 97);
        while (queue.count() > 0) {
            const int n = queue.dequeue(piece, 0, static_cast<int>(piece.size()));
            if (n <= 0) __builtin_trap();
            const ByteView got(piece.data(), static_cast<std::size_t>(n));
            drained.insert(drained.end(), got.begin(), got.end());
            vk210.take(got);
            st.take(got);
        }
    }
    if (drained != pushed) __builtin_trap();
    return 0;
}
