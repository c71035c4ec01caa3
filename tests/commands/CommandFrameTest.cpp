#include <gtest/gtest.h>

#include <set>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

class LastLog : public orvLoggerDelegate {
  public:
    void logEvent(const LogEventArg& e) override { records.push_back(e); }
    std::vector<LogEventArg> records;
};

// Captures the library's log records for the duration of a test.
class CommandFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        orvLogger::setShowNSLog(false);
        log = std::make_shared<LastLog>();
        orvLogger::registerDelegateIfNone(log);
    }
    void TearDown() override { orvLogger::setShowNSLog(true); }
    std::vector<std::string> texts(LogLevel level) const {
        std::vector<std::string> out;
        for (const auto& r : log->records) {
            if (r.level() == level) out.push_back(r.log());
        }
        return out;
    }
    std::shared_ptr<LastLog> log;
};

// A frame for a raw command code and data area (codes need not be in the table).
Bytes rawFrame(uint16_t code, const Bytes& area) {
    Bytes f = {0x02};
    appendBe16(f, static_cast<uint16_t>(area.size() + 4));
    appendBe16(f, code);
    f.insert(f.end(), area.begin(), area.end());
    appendBe16(f, Utilities::checkSum16(ByteView(f).subspan(1)));
    f.push_back(0x03);
    return f;
}

TEST_F(CommandFrameTest, EmptyRequestFramesAsEightBytes) {
    OrvaneRfidCommand cmd;
    cmd.setId(OrvRfidCmdId::firmware);
    const Bytes bytes = cmd.toBytes();
    EXPECT_EQ(bytes, (Bytes{0x02, 0x00, 0x04, 0x00, 0x21, 0xFF, 0xDB, 0x03}));
    EXPECT_EQ(OrvaneRfidCommand::checkFormat(bytes), 8);
    EXPECT_EQ(cmd.description(), "ID:firmware, Data:");
    cmd.setData({0x01, 0xAB});
    EXPECT_EQ(cmd.description(), "ID:firmware, Data:0x01 0xAB ");
}

TEST_F(CommandFrameTest, EveryCodeRoundTripsAndNeighboursAreRefused) {
    std::set<uint16_t> codes;
    for (auto id : allCases<OrvRfidCmdId>()) {
        codes.insert(rawValue(id));
        EXPECT_EQ(fromRaw<OrvRfidCmdId>(rawValue(id)), id) << caseName(id);
    }
    EXPECT_EQ(codes.size(), 176u);
    EXPECT_EQ(fromRaw<OrvRfidCmdId>(0xFFFF), OrvRfidCmdId::unknown);
    for (uint16_t code : {0x0023, 0x0089, 0x00C3, 0x0F03, 0x6100, 0x0302, 0xF000}) {
        EXPECT_FALSE(fromRaw<OrvRfidCmdId>(code).has_value()) << std::hex << code;
    }
    // Case order is not code order: the stored case is never written as the code.
    EXPECT_EQ(rawValue(OrvRfidCmdId::blockWrite), 0x0086);
    EXPECT_EQ(allCases<OrvRfidCmdId>()[18], OrvRfidCmdId::blockWrite);
    for (uint8_t status : {0x04, 0x80, 0xFE}) {
        EXPECT_FALSE(fromRaw<OrvRfidCmdStatus>(status).has_value()) << int(status);
    }
    EXPECT_EQ(fromRaw<OrvRfidCmdStatus>(0xFF), OrvRfidCmdStatus::unknown);
}

TEST_F(CommandFrameTest, CheckFormatRejectsWithReasons) {
    const Bytes good = rawFrame(0x0021, {0x00, 0x31});
    struct Case {
        const char* what;
        Bytes bytes;
        std::string message;
    };
    Bytes badStx = good;
    badStx[0] = 0x05;
    Bytes badSum = good;
    badSum[5] ^= 0x01;
    Bytes badSumAndEtx = badSum;
    badSumAndEtx.back() = 0x04;
    Bytes badEtx = good;
    badEtx.back() = 0x04;
    const Case cases[] = {
        {"seven bytes", Bytes(good.begin(), good.begin() + 7), "Invalid data length(7)"},
        {"stx", badStx, "Invalid STX(5)"},
        {"short", Bytes(good.begin(), good.end() - 1),
         "Data length(9) is less than the packet length(10)"},
        {"checksum before etx", badSumAndEtx, "Checksum error, checksum:0xFF 0xAA "},
        {"etx", badEtx, "Invalid ETX(4)"},
        {"length below four", Bytes{0x02, 0x00, 0x03, 0x00, 0x21, 0xFF, 0xDC, 0x03},
         "Invalid packet length(3)"},
    };
    for (const auto& c : cases) {
        log->records.clear();
        EXPECT_EQ(OrvaneRfidCommand::checkFormat(c.bytes), 0) << c.what;
        const auto errors = texts(LogLevel::error);
        ASSERT_EQ(errors.size(), 1u) << c.what;
        if (std::string(c.what) == "checksum before etx") {
            EXPECT_EQ(errors[0].rfind("checkFormat(bytes:) Checksum error, checksum:", 0), 0u);
        } else {
            EXPECT_EQ(errors[0], "checkFormat(bytes:) " + c.message) << c.what;
        }
    }
    Bytes twoFrames = good;
    twoFrames.insert(twoFrames.end(), good.begin(), good.begin() + 4);
    EXPECT_EQ(OrvaneRfidCommand::checkFormat(twoFrames), 10);
}

TEST_F(CommandFrameTest, CheckFormatAndCutterAgreeOnTheLargestFrame) {
    // 8192 bytes is the largest frame; one of 9008 bytes has a valid checksum but is refused by
    // both, so nothing the cutter would skip can be taken by the constructors.
    for (const std::size_t size : {std::size_t{8192}, std::size_t{8193}, std::size_t{9008}}) {
        const Bytes f = rawFrame(0x0021, Bytes(size - 8, 0x41));
        const FrameCut cut = OrvaneRfidCommand::cutFrame(f);
        const int expected = size <= 8192 ? static_cast<int>(size) : 0;
        EXPECT_EQ(OrvaneRfidCommand::checkFormat(f), expected) << size;
        EXPECT_EQ(cut.status == FrameCutStatus::complete ? static_cast<int>(cut.length) : 0,
                  expected)
            << size;
    }
}

TEST(FrameCutter, TellsIncompleteFromInvalid) {
    const Bytes good = rawFrame(0x00C0, {0x30, 0x00, 0xE2, 0x00});
    struct Case {
        const char* what;
        Bytes bytes;
        FrameCutStatus status;
        std::size_t length;
    };
    Bytes corrupt = good;
    corrupt[6] ^= 0xFF;
    Bytes hugeLen = {0x02, 0xFF, 0xF0, 0x00, 0x21};
    const Case cases[] = {
        {"empty", {}, FrameCutStatus::incomplete, 0},
        {"stx only", {0x02}, FrameCutStatus::incomplete, 0},
        {"header", Bytes(good.begin(), good.begin() + 5), FrameCutStatus::incomplete, 0},
        {"all but etx", Bytes(good.begin(), good.end() - 1), FrameCutStatus::incomplete, 0},
        {"whole", good, FrameCutStatus::complete, good.size()},
        {"not stx", {0x03, 0x02}, FrameCutStatus::invalid, 0},
        {"len below four", {0x02, 0x00, 0x02, 0x00}, FrameCutStatus::invalid, 0},
        {"len beyond any frame", hugeLen, FrameCutStatus::invalid, 0},
        {"bad checksum", corrupt, FrameCutStatus::invalid, 0},
    };
    for (const auto& c : cases) {
        const auto cut = OrvaneRfidCommand::cutFrame(c.bytes);
        EXPECT_EQ(cut.status, c.status) << c.what;
        EXPECT_EQ(cut.length, c.length) << c.what;
    }
}

TEST(FrameCutter, OneCorruptByteCostsOnlyItself) {
    // Garbage, then two frames: dropping a byte at a time on "invalid" finds both frames.
    const Bytes f1 = rawFrame(0x00C0, {0x30, 0x00, 0x11});
    const Bytes f2 = rawFrame(0x00E4, {0x01, 0x01});
    Bytes stream = {0x02, 0x00};  // a false start whose length reaches into the real frames
    stream.push_back(0x07);
    stream.insert(stream.end(), f1.begin(), f1.end());
    stream.insert(stream.end(), f2.begin(), f2.end());
    std::vector<Bytes> found;
    std::size_t at = 0;
    while (at < stream.size()) {
        const auto cut = OrvaneRfidCommand::cutFrame(ByteView(stream).subspan(at));
        if (cut.status == FrameCutStatus::complete) {
            found.emplace_back(stream.begin() + static_cast<long>(at),
                               stream.begin() + static_cast<long>(at + cut.length));
            at += cut.length;
        } else if (cut.status == FrameCutStatus::invalid) {
            ++at;
        } else {
            break;
        }
    }
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], f1);
    EXPECT_EQ(found[1], f2);
}

TEST_F(CommandFrameTest, ReceiveRebuildsStatusAndData) {
    struct Case {
        const char* what;
        Bytes bytes;
        OrvRfidCmdId id;
        OrvRfidCmdStatus status;
        Bytes data;
    };
    const Case cases[] = {
        {"nine-byte reply",
         rawFrame(0x0021, {0x00}),
         OrvRfidCmdId::firmware,
         OrvRfidCmdStatus::success,
         {}},
        {"reply with data",
         rawFrame(0x0021, {0x01, 0x31, 0x32}),
         OrvRfidCmdId::firmware,
         OrvRfidCmdStatus::busy,
         {0x31, 0x32}},
        {"unlisted status",
         rawFrame(0x0021, {0x80}),
         OrvRfidCmdId::firmware,
         OrvRfidCmdStatus::unknown,
         {}},
        {"status-less event",
         rawFrame(0x00E4, {0x01, 0x01}),
         OrvRfidCmdId::eventNotificationKeyEventStatus,
         OrvRfidCmdStatus::unknown,
         {0x01, 0x01}},
        {"status-less empty",
         rawFrame(0x00C7, {}),
         OrvRfidCmdId::inventoryStatus,
         OrvRfidCmdStatus::unknown,
         {}},
    };
    for (const auto& c : cases) {
        OrvaneRfidCommand cmd(OrvaneRfidCommand::ReceiveBytes{c.bytes});
        EXPECT_EQ(cmd.id(), c.id) << c.what;
        EXPECT_EQ(cmd.status(), c.status) << c.what;
        EXPECT_EQ(cmd.data(), c.data) << c.what;
        EXPECT_EQ(cmd.rawData(), c.bytes) << c.what;
        const auto view = OrvaneRfidCommand::parseFrame(c.bytes);
        ASSERT_TRUE(view.has_value()) << c.what;
        EXPECT_EQ(Bytes(view->data.begin(), view->data.end()), c.data) << c.what;
        EXPECT_EQ(view->status, c.status) << c.what;
    }
}

TEST_F(CommandFrameTest, MalformedFramesThrowInvalidParameter) {
    const Bytes eightByteReply = rawFrame(0x0021, {});
    const Bytes unknownCode = rawFrame(0x0023, {0x00});
    Bytes badSum = rawFrame(0x0021, {0x00});
    badSum[5] ^= 1;
    for (const Bytes* bytes : std::vector<const Bytes*>{&eightByteReply, &unknownCode, &badSum}) {
        try {
            OrvaneRfidCommand cmd(OrvaneRfidCommand::ReceiveBytes{*bytes});
            ADD_FAILURE() << "accepted " << toHexString(*bytes);
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::invalidParameter);
            EXPECT_EQ(e.message(), "");
        }
        EXPECT_FALSE(OrvaneRfidCommand::parseFrame(*bytes).has_value());
    }
    log->records.clear();
    EXPECT_THROW(OrvaneRfidCommand(OrvaneRfidCommand::ReceiveBytes{eightByteReply}),
                 ReaderException);
    const auto errors = texts(LogLevel::error);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back(), "init(receiveBytes:) The packet does not include status.");
    EXPECT_THROW(OrvaneRfidCommand(OrvaneRfidCommand::SendBytes{unknownCode}), ReaderException);
}

TEST_F(CommandFrameTest, TrailingBytesNeverJoinTheData) {
    Bytes bytes = rawFrame(0x0082, {0x01, 0x02, 0x03});
    bytes.insert(bytes.end(), {0xAA, 0xBB});
    OrvaneRfidCommand reply(OrvaneRfidCommand::ReceiveBytes{bytes});
    EXPECT_EQ(reply.data(), (Bytes{0x02, 0x03}));
    EXPECT_EQ(reply.rawData(), bytes);
    const auto warns = texts(LogLevel::warn);
    ASSERT_FALSE(warns.empty());
    EXPECT_EQ(warns.back(),
              "init(receiveBytes:) The full packet size is not match, packetLength=11, "
              "receiveBytes.count=13");
    OrvaneRfidCommand request(OrvaneRfidCommand::SendBytes{bytes});
    EXPECT_EQ(request.id(), OrvRfidCmdId::read);
    EXPECT_EQ(request.data(), (Bytes{0x01, 0x02, 0x03}));
    EXPECT_EQ(request.status(), OrvRfidCmdStatus::unknown);
}

TEST(CommandStatus, CodesAndMessages) {
    struct Case {
        uint8_t status;
        ResultCode code;
        const char* name;
    };
    const Case cases[] = {
        {0x01, ResultCode::busyDevice, "busy"},
        {0x02, ResultCode::parameterError, "invalidParameters"},
        {0x03, ResultCode::notSupported, "notSupport"},
        {0x81, ResultCode::invalidResponse, "incorrectLength"},
        {0x82, ResultCode::crcError, "incorrectCrc"},
        {0x83, ResultCode::invalidResponse, "incorrectEndOfPacket"},
        {0x84, ResultCode::undefined, "timeout"},
        {0xE0, ResultCode::undefined, "otherError"},
        {0xE1, ResultCode::undefined, "targetNotFound"},
        {0x80, ResultCode::undefined, "unknown"},
    };
    for (const auto& c : cases) {
        OrvaneRfidCommand reply(OrvaneRfidCommand::ReceiveBytes{rawFrame(0x0021, {c.status})});
        try {
            reply.checkStatus("x");
            ADD_FAILURE() << c.name;
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), c.code) << c.name;
            EXPECT_EQ(e.message(), std::string("x - The return code is not noError.(") + c.name);
        }
        try {
            reply.checkStatus("");
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.message(), std::string("The return code is not noError.(") + c.name);
        }
    }
    OrvaneRfidCommand ok(OrvaneRfidCommand::ReceiveBytes{rawFrame(0x0021, {0x00})});
    EXPECT_NO_THROW(ok.checkStatus("x"));
}

TEST(CommandFrame, OversizedDataIsRefused) {
    OrvaneRfidCommand cmd;
    cmd.setId(OrvRfidCmdId::firmware);
    cmd.setData(Bytes(OrvaneRfidCommand::kMaxFrameSize, 0));
    try {
        cmd.toBytes();
        FAIL();
    } catch (const ReaderException& e) {
        EXPECT_EQ(e.resultCode(), ResultCode::outOfRange);
    }
}

}  // namespace
}  // namespace orvane
