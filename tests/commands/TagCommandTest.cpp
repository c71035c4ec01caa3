#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "Vk210FrameSupport.h"
#include "orvanerfid/commands/TagCommands.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

using vk210test::requestData;

const Bytes kPassword = {0x6B, 0x1F, 0x0D, 0x94};

Bytes withPassword(Bytes rest) {
    Bytes out = kPassword;
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

TEST(TagCommands, DefaultRequestsFrameTheirFieldsInOrder) {
    EXPECT_EQ(requestData(OrvRfidCmd_Read()), withPassword({0x01, 0x00, 0x02, 0x06}));
    EXPECT_EQ(requestData(OrvRfidCmd_Write()), withPassword({0x01, 0x00, 0x02, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_Lock()), withPassword({0x00, 0x00, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_Kill()), kPassword);
    EXPECT_EQ(requestData(OrvRfidCmd_BlockPermaLock()),
              withPassword({0x00, 0x01, 0x00, 0x02, 0x06}));
    EXPECT_EQ(requestData(OrvRfidCmd_Authenticate()),
              withPassword({0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_Select()),
              (Bytes{0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_InventoryWithUserSpecifiedData()),
              withPassword({0x01, 0x00, 0x02, 0x00}));
    for (Bytes frame : {OrvRfidCmd_Inventory().toBytes(), OrvRfidCmd_Cancel().toBytes()}) {
        EXPECT_EQ(frame.size(), 8u);
    }
    EXPECT_EQ(rawValue(OrvRfidCmd_BlockWrite().id()), 0x0086);
}

TEST(TagCommands, SetFieldsTravelBigEndianAndAsRawBytes) {
    OrvRfidCmd_Select select(OrvRfidCmdSelectMode::clearAndAdd);
    select.selTarget = MaskTarget::sl;
    select.action = MaskAction::elseNegate;
    select.trunc = true;
    select.bank = BankType::tid;
    select.address = 0x1234;
    select.length = 16;
    select.selectData = {0xE2, 0x00};
    EXPECT_EQ(requestData(select),
              (Bytes{0x02, 0x04, 0x07, 0x01, 0x02, 0x12, 0x34, 0x10, 0xE2, 0x00}));

    OrvRfidCmd_Lock lock({0x0C, 0x30, 0x08}, {1, 2, 3, 4});
    EXPECT_EQ(requestData(lock), (Bytes{1, 2, 3, 4, 0x0C, 0x30, 0x08}));

    OrvRfidCmd_Authenticate auth;
    auth.sedRep = OrvRfidCmdAuthenticationResponse::store;
    auth.incRepLen = OrvRfidCmdIncludeReplyLength::omitLength;
    auth.csi = 0;
    auth.mlen = 0x0030;
    auth.msg = {0xAA, 0xBB};
    auth.expRepLen = 0x0102;
    EXPECT_EQ(requestData(auth),
              withPassword({0x00, 0x00, 0x00, 0x00, 0x30, 0xAA, 0xBB, 0x01, 0x02}));
}

template <typename Command>
Bytes writeFrame(const Bytes& payload) {
    Command command;
    command.writeData = payload;
    return command.toBytes();
}

TEST(TagCommands, WriteDataIsWholeWordsAndFitsItsCount) {
    const struct {
        std::size_t bytes;
        int words;  // -1: refused
        ResultCode refusal;
    } cases[] = {
        {0, 0, ResultCode::noError},           {4, 2, ResultCode::noError},
        {510, 255, ResultCode::noError},       {5, -1, ResultCode::invalidParameter},
        {1, -1, ResultCode::invalidParameter}, {511, -1, ResultCode::invalidParameter},
        {512, -1, ResultCode::outOfRange},     {1000, -1, ResultCode::outOfRange},
    };
    for (const auto& c : cases) {
        Bytes payload(c.bytes);
        for (std::size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<uint8_t>(i);
        for (auto frame : {&writeFrame<OrvRfidCmd_Write>, &writeFrame<OrvRfidCmd_BlockWrite>}) {
            if (c.words < 0) {
                try {
                    frame(payload);
                    ADD_FAILURE() << c.bytes << " bytes were framed";
                } catch (const ReaderException& e) {
                    EXPECT_EQ(e.resultCode(), c.refusal) << c.bytes;
                }
                continue;
            }
            const Bytes bytes = frame(payload);
            const Bytes data(bytes.begin() + 5, bytes.end() - 3);
            ASSERT_EQ(data.size(), 8 + c.bytes);
            EXPECT_EQ(data[7], c.words) << c.bytes;
            EXPECT_TRUE(std::equal(payload.begin(), payload.end(), data.begin() + 8));
        }
    }
}

TEST(TagCommands, PasswordAndMaskMustHaveTheirLength) {
    const std::function<void()> bad[] = {
        [] {
            OrvRfidCmd_Read c;
            c.password = {1, 2, 3};
            c.toBytes();
        },
        [] {
            OrvRfidCmd_Kill c;
            c.killPassword = {};
            c.toBytes();
        },
        [] {
            OrvRfidCmd_Authenticate c;
            c.password = {1, 2, 3, 4, 5};
            c.toBytes();
        },
        [] {
            OrvRfidCmd_Lock({0x00, 0x00}, {1, 2, 3, 4}).toBytes();
        },
    };
    for (const auto& frame : bad) {
        try {
            frame();
            ADD_FAILURE() << "a misaligned request was framed";
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::invalidParameter);
        }
    }
}

class TagCommandLogTest : public vk210test::CapturedLogTest {};

TEST_F(TagCommandLogTest, PasswordsNeverReachTheLog) {
    OrvRfidCmd_Kill kill;
    kill.killPassword = {0xDE, 0xAD, 0xBE, 0xEF};
    const Bytes frame = kill.toBytes();
    EXPECT_EQ(kill.description(), "ID:kill, Data:******** ");
    OrvRfidCmd_Read read;
    read.password = {0xDE, 0xAD, 0xBE, 0xEF};
    read.toBytes();
    EXPECT_EQ(read.description(), "ID:read, Data:******** 0x01 0x00 0x02 0x06 ");

    // The link layer rebuilds requests from their bytes to learn the code; that TRACE line too.
    OrvaneRfidCommand rebuilt(OrvaneRfidCommand::SendBytes{frame});
    EXPECT_EQ(rebuilt.id(), OrvRfidCmdId::kill);
    ASSERT_FALSE(log->texts(LogLevel::trace).empty());
    EXPECT_NE(log->all().find("********"), std::string::npos);
    EXPECT_EQ(log->all().find("0xDE"), std::string::npos) << log->all();
    EXPECT_EQ(log->all().find("0xEF"), std::string::npos) << log->all();

    // Commands without a password show their data whole.
    OrvRfidCmd_Select select;
    select.toBytes();
    EXPECT_EQ(select.description(), "ID:select, Data:0x01 0x00 0x00 0x00 0x01 0x00 0x00 0x00 ");
}

}  // namespace
}  // namespace orvane
