#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "STTestSupport.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/commands/STPacket.h"
#include "orvanerfid/core/Utilities.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

// A receive buffer fed in chunks and walked with a cutter after each chunk, as a receive loop
// does; the frames come out in order.
template <typename Cutter>
std::vector<Bytes> feed(const Bytes& stream, std::size_t chunk, Cutter cut) {
    std::vector<Bytes> frames;
    Bytes buffer;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        const auto end =
            stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), at + chunk));
        buffer.insert(buffer.end(), stream.begin() + static_cast<std::ptrdiff_t>(at), end);
        const std::size_t used = test::forEachFrame(
            buffer, cut, [&](ByteView f) { frames.emplace_back(f.begin(), f.end()); });
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(used));
    }
    return frames;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kGoodFrame = *hexTextToData("02000800210001010BFFCA03");
const Bytes kSecondFrame = OrvaneRfidCommand::frame(OrvRfidCmdId::firmware, Bytes{0x00, 0x31});

TEST(StreamResync, FrameBehindOneToThreeStrayBytesIsCutAtOnce) {
    // The case that waited for 503 more bytes: a stray STX makes the real STX and LEN read as a
    // length of 0x0200.
    EXPECT_EQ(feed(concat({{0x02}, kGoodFrame}), 64, OrvaneRfidCommand::cutFrame),
              std::vector<Bytes>{kGoodFrame});
    const uint8_t values[] = {0x00, 0x01, 0x02, 0x03, 0x08, 0x80, 0xFF};
    std::vector<Bytes> strays;
    for (uint8_t a : values) {
        strays.push_back({a});
        for (uint8_t b : values) {
            strays.push_back({a, b});
            for (uint8_t c : values)
                strays.push_back({a, b, c});
        }
    }
    for (const Bytes& stray : strays) {
        const Bytes stream = concat({stray, kGoodFrame, kSecondFrame});
        EXPECT_EQ(feed(stream, stream.size(), OrvaneRfidCommand::cutFrame),
                  (std::vector<Bytes>{kGoodFrame, kSecondFrame}))
            << toHexString(stray);
    }
}

TEST(StreamResync, FrameInsideADataAreaNeverCutsItsCarrier) {
    // A long report whose data (a barcode, chosen by whoever prints it) holds whole frames,
    // arriving a few bytes at a time: only the carrier comes out.
    const Bytes inner = concat({kGoodFrame, kSecondFrame, kGoodFrame});
    Bytes data = concat({{0x00, 0x02, 0x02, 0x00}, inner, Bytes(300, 0x41), inner});
    const Bytes carrier = OrvaneRfidCommand::frame(OrvRfidCmdId::scannerData, data);
    for (std::size_t chunk : {1u, 2u, 3u, 7u, 64u}) {
        EXPECT_EQ(feed(concat({carrier, kSecondFrame}), chunk, OrvaneRfidCommand::cutFrame),
                  (std::vector<Bytes>{carrier, kSecondFrame}))
            << chunk;
    }
}

const Bytes kPacket = sttest::packet(0x10, 0x05, {0x05, 0x01, 0x50});
const Bytes kSecondPacket = sttest::packet(0x03, 0x02, {0xFF, 0x00});

TEST(StreamResync, PacketBehindOneOrTwoStrayBytesIsCutAtOnce) {
    // "80 00" in front made the real mode and sequence read as a sequence and status, and the
    // group and subcode as a length of 4107.
    EXPECT_EQ(feed(concat({{0x80, 0x00}, kPacket}), 64, STPacket::cutPacket),
              std::vector<Bytes>{kPacket});
    for (int a = 0; a < 256; ++a) {
        for (int b : {-1, 0x00, 0x01, 0x80, 0xFF}) {
            Bytes stray{static_cast<uint8_t>(a)};
            if (b >= 0) stray.push_back(static_cast<uint8_t>(b));
            const Bytes stream = concat({stray, kPacket, kSecondPacket});
            EXPECT_EQ(feed(stream, stream.size(), STPacket::cutPacket),
                      (std::vector<Bytes>{kPacket, kSecondPacket}))
                << toHexString(stray);
        }
    }
}

TEST(StreamResync, PacketInsideAPayloadOrHeaderNeverCutsAReaderPacket) {
    // Packets inside the payload, and one that starts at the sequence field of a header a
    // reader sends (sequence 0x8000, success, group al): the carrier waits and comes through.
    const Bytes inner = concat({kPacket, kSecondPacket});
    Bytes payload = concat({{0x00, 0x00}, inner, Bytes(200, 0x33), inner});
    Bytes carrier = sttest::packet(0x03, 0x02, payload);
    carrier[2] = 0x80;
    carrier[3] = 0x00;
    for (std::size_t chunk : {1u, 2u, 5u, 64u}) {
        EXPECT_EQ(feed(concat({carrier, kPacket}), chunk, STPacket::cutPacket),
                  (std::vector<Bytes>{carrier, kPacket}))
            << chunk;
    }
}

}  // namespace
}  // namespace orvane
