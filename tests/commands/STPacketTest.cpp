#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "STTestSupport.h"
#include "orvanerfid/commands/STPacket.h"
#include "orvanerfid/core/Logger.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

using sttest::expectCoded;
using sttest::packet;

class Records : public orvLoggerDelegate {
  public:
    void logEvent(const LogEventArg& e) override { texts.push_back(e.log()); }
    std::vector<std::string> texts;
};

uint16_t sequenceOf(const Bytes& framed) {
    return readBe16(framed, 2);
}

TEST(STPacketTest, FramesTheHeaderExampleWithTheSharedCounter) {
    STPacket p;
    p.setStMode(0x8000);
    p.setCmdGroup(0x10);
    p.setCmdSubcode(0x11);
    p.setPayload({0x02, 0x00});
    // Advance the process-wide counter until the next packet carries 5.
    while (sequenceOf(p.toBytes()) != 4) {
    }
    EXPECT_EQ(p.toBytes(),
              (Bytes{0x80, 0x00, 0x00, 0x05, 0x00, 0x00, 0x10, 0x11, 0x00, 0x02, 0x02, 0x00}));
    EXPECT_EQ(p.id(), 0) << "the packet's own id is not written";
}

TEST(STPacketTest, SequenceNumbersAreConsecutiveAndWrapAfter65536Packets) {
    const STPacket p;
    const uint16_t first = sequenceOf(p.toBytes());
    EXPECT_EQ(sequenceOf(p.toBytes()), static_cast<uint16_t>(first + 1));
    for (int i = 0; i < 65534; ++i)
        (void)p.toBytes();
    EXPECT_EQ(sequenceOf(p.toBytes()), first);
}

TEST(STPacketTest, MalformedPacketsThrowInvalidParameterAsCodedErrors) {
    expectCoded([] { STPacket p(Bytes(9, 0x00)); }, ResultCode::invalidParameter,
                "The bytes length is less than 10");
    Bytes twelve = packet(0x01, 0x00, {0x01, 0x02});
    twelve[9] = 1;
    expectCoded([&] { STPacket p(twelve); }, ResultCode::invalidParameter,
                "The bytes length is not equal to the length in the packet");
}

TEST(STPacketTest, TlvValueIsCutAtItsLengthByte) {
    const STPacket empty(packet(0x01, 0x00, {}));
    EXPECT_TRUE(empty.payload().empty());
    expectCoded([&] { (void)empty.getTlvValue(); }, ResultCode::invalidParameter,
                "The payload length is less than 2");

    struct Case {
        Bytes payload;
        std::optional<Bytes> value;  // none: the value is short of its length byte
    };
    const Case cases[] = {
        {{0x05, 0x00}, Bytes{}},
        {{0x05, 0x01}, std::nullopt},
        {{0x05, 0x03, 0xAA, 0xBB}, std::nullopt},
        {{0x05, 0x02, 0xAA, 0xBB}, Bytes{0xAA, 0xBB}},
        {{0x05, 0x01, 0xAA, 0xBB}, Bytes{0xAA}},
    };
    for (const Case& c : cases) {
        const STPacket p(packet(0x01, 0x00, c.payload));
        if (c.value) {
            EXPECT_EQ(p.getTlvValue(), *c.value);
        } else {
            expectCoded([&] { (void)p.getTlvValue(); }, ResultCode::invalidParameter);
        }
    }
}

TEST(STPacketTest, GetByteReadsTheValueBytesOnly) {
    const STPacket p(packet(0x10, 0x05, {0x01, 0x01, 0x07}));
    EXPECT_EQ(p.getByte(0), 0x07);
    expectCoded([&] { (void)p.getByte(1); }, ResultCode::outOfRange,
                "The position is out of range");
    const STPacket q(packet(0x10, 0x05, {0x01}));
    expectCoded([&] { (void)q.getByte(0); }, ResultCode::outOfRange);
}

TEST(STPacketTest, StatusOrdinalsFollowTheModuleErrorList) {
    const std::pair<int, int> cases[] = {
        {1, 0},    {0, 1},    {-1, 2},   {-8, 9},   {-9, 42},    {-32, 42},    {-33, 10},
        {-39, 16}, {-40, 42}, {-49, 17}, {-65, 18}, {-69, 22},   {-79, 32},    {-80, 42},
        {-81, 33}, {-89, 41}, {-90, 42}, {2, 42},   {32767, 42}, {-32768, 42},
    };
    for (const auto& [status, ordinal] : cases) {
        EXPECT_EQ(STPacket::stErrorCode(static_cast<int16_t>(status)), ordinal) << status;
    }
}

TEST(STPacketTest, CheckStatusThrowsTheModuleStatusCode) {
    STPacket ok(packet(0x02, 0x05, {}, 0x0000));
    EXPECT_NO_THROW(ok.checkStatus("readMemory"));

    struct Case {
        uint16_t status;
        ResultCode code;
    };
    const Case cases[] = {
        {0xFFBB, ResultCode::otherError},    // -69
        {0x0001, ResultCode::undefined},     // ordinal 0
        {0xFFFE, ResultCode::busyDevice},    // -2
        {0xFFBF, ResultCode::noTagReply},    // -65
        {0xFFB7, ResultCode::memoryLocked},  // -73
        {0xFFB0, ResultCode::otherError},    // -80: unknown, counted as -69
    };
    for (const Case& c : cases) {
        const STPacket p(packet(0x02, 0x05, {}, c.status));
        try {
            p.checkStatus("readMemory");
            ADD_FAILURE() << c.status;
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), c.code) << c.status;
            EXPECT_EQ(e.message(), "readMemory - The return code is not noError.(" +
                                       std::string(description(c.code)));
        }
    }
    const STPacket p(packet(0x02, 0x05, {}, 0xFFBB));
    expectCoded([&] { p.checkStatus(""); }, ResultCode::otherError,
                "The return code is not noError.(Other Error");
}

TEST(STPacketTest, CheckFormatGivesTheWholeLengthOrLogs) {
    const test::ConsoleOff console;
    auto sink = std::make_shared<Records>();
    orvLogger::registerDelegateIfNone(sink);
    Bytes bytes = packet(0x01, 0x00, {1, 2, 3});
    bytes.insert(bytes.end(), {9, 9});  // 15 bytes, length field 3
    EXPECT_EQ(STPacket::checkFormat(bytes), 13);
    bytes[9] = 6;
    EXPECT_EQ(STPacket::checkFormat(bytes), 0);
    EXPECT_EQ(STPacket::checkFormat(Bytes(9, 0x80)), 0);
    EXPECT_EQ(sink->texts, (std::vector<std::string>{
                               "checkFormat(bytes:) The bytes length is less then the packet",
                               "checkFormat(bytes:) The bytes length is less than minLength: 10"}));
}

TEST(STPacketTest, CheckFormatAndCutterAgreeOnWhatAPacketIs) {
    const test::ConsoleOff console;
    auto sink = std::make_shared<Records>();
    orvLogger::registerDelegateIfNone(sink);
    Bytes wrongMode = packet(0x01, 0x00, {1, 2, 3});
    wrongMode[1] = 0x01;
    const Bytes cases[] = {packet(0x03, 0x02, Bytes(8182, 0x55)),
                           packet(0x03, 0x02, Bytes(8183, 0x55)), wrongMode};
    for (const Bytes& bytes : cases) {
        const FrameCut cut = STPacket::cutPacket(bytes);
        EXPECT_EQ(STPacket::checkFormat(bytes),
                  cut.status == FrameCutStatus::complete ? static_cast<int>(cut.length) : 0)
            << bytes.size();
    }
    EXPECT_EQ(STPacket::checkFormat(cases[0]), 8192);
    EXPECT_EQ(sink->texts.size(), 2u);
}

TEST(STPacketTest, CutterTellsIncompleteFromInvalid) {
    const Bytes whole = packet(0x03, 0x02, {1, 2, 3, 4, 5});
    struct Case {
        Bytes head;
        FrameCutStatus status;
        std::size_t length;
    };
    Bytes hugeLength = packet(0x03, 0x02, {});
    hugeLength[8] = 0xFF;
    hugeLength[9] = 0xFF;
    const Case cases[] = {
        {{}, FrameCutStatus::incomplete, 0},
        {{0x80}, FrameCutStatus::incomplete, 0},
        {{0x81}, FrameCutStatus::invalid, 0},
        {{0x80, 0x01}, FrameCutStatus::invalid, 0},
        {Bytes(whole.begin(), whole.begin() + 10), FrameCutStatus::incomplete, 0},
        {Bytes(whole.begin(), whole.end() - 1), FrameCutStatus::incomplete, 0},
        {whole, FrameCutStatus::complete, 15},
        {hugeLength, FrameCutStatus::invalid, 0},
    };
    for (const Case& c : cases) {
        const FrameCut cut = STPacket::cutPacket(c.head);
        EXPECT_EQ(cut.status, c.status) << c.head.size();
        EXPECT_EQ(cut.length, c.length) << c.head.size();
    }
}

TEST(STPacketTest, CorruptStartIsSkippedAndPacketsBehindItSurvive) {
    const Bytes first = packet(0x10, 0x05, {0x05, 0x01, 0x50});
    const Bytes second = packet(0x03, 0x02, {0xFF, 0x00});
    // A garbage length of 65535 in front of two good packets.
    Bytes stream = {0x80, 0x00, 0x12, 0x34, 0x00, 0x00, 0x03, 0x02, 0xFF, 0xFF, 0x80};
    stream.insert(stream.end(), first.begin(), first.end());
    stream.insert(stream.end(), second.begin(), second.end());
    std::vector<STPacketView> found;
    std::size_t at = 0;
    while (at < stream.size()) {
        const ByteView head = ByteView(stream).subspan(at);
        const FrameCut cut = STPacket::cutPacket(head);
        if (cut.status == FrameCutStatus::incomplete) break;
        if (cut.status == FrameCutStatus::invalid) {
            ++at;
            continue;
        }
        found.push_back(*STPacket::parsePacket(head));
        at += cut.length;
    }
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].cmdGroup, 0x10);
    EXPECT_EQ(found[0].cmdSubcode, 0x05);
    EXPECT_EQ(Bytes(found[0].payload.begin(), found[0].payload.end()), (Bytes{0x05, 0x01, 0x50}));
    EXPECT_EQ(found[0].length, 13u);
    EXPECT_EQ(found[1].cmdGroup, 0x03);
    EXPECT_EQ(found[1].id, 7);
}

TEST(STPacketTest, RequestsThatCannotBeFramedAreRefused) {
    STPacket p;
    p.setPayload(Bytes(0x10000, 0x00));
    expectCoded([&] { (void)p.toBytes(); }, ResultCode::outOfRange);
    expectCoded([&] { (void)p.setPacketBytes(); }, ResultCode::notSupported);
}

}  // namespace
}  // namespace orvane
