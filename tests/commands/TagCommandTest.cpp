#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "Vk210FrameSupport.h"
#include "orvanerfid/commands/TagCommands.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

using vk210test::requestData;

Bytes withPassword(const Bytes& rest) {
    Bytes out = defaultAccessPassword();
    for (uint8_t b : rest)
        out.push_back(b);
    return out;
}

ResultCode refusal(const std::function<void()>& frame) {
    try {
        frame();
    } catch (const ReaderException& e) {
        return e.resultCode();
    }
    return ResultCode::noError;
}

TEST(TagCommands, RequestsFrameTheirFieldsInOrder) {
    EXPECT_EQ(defaultAccessPassword(), (Bytes{0x6B, 0x1F, 0x0D, 0x94}));
    EXPECT_EQ(requestData(OrvRfidCmd_Read()), withPassword({0x01, 0x00, 0x02, 0x06}));
    EXPECT_EQ(requestData(OrvRfidCmd_Lock()), withPassword({0x00, 0x00, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_Kill()), withPassword({}));
    EXPECT_EQ(requestData(OrvRfidCmd_BlockPermaLock()),
              withPassword({0x00, 0x01, 0x00, 0x02, 0x06}));
    EXPECT_EQ(requestData(OrvRfidCmd_Authenticate()),
              withPassword({0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_Select()),
              (Bytes{0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_InventoryWithUserSpecifiedData()),
              withPassword({0x01, 0x00, 0x02, 0x00}));
    EXPECT_EQ(OrvRfidCmd_Cancel().toBytes().size(), 8u);

    OrvRfidCmd_Select select(OrvRfidCmdSelectMode::clearAndAdd);
    select.selTarget = MaskTarget::sl;
    select.action = MaskAction::elseNegate;
    select.trunc = true;
    select.address = 0x1234;
    select.length = 16;
    select.selectData = {0xE2, 0x00};
    EXPECT_EQ(requestData(select),
              (Bytes{0x02, 0x04, 0x07, 0x01, 0x01, 0x12, 0x34, 0x10, 0xE2, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_Lock({0x0C, 0x30, 0x08}, {1, 2, 3, 4})),
              (Bytes{1, 2, 3, 4, 0x0C, 0x30, 0x08}));
}

template <typename Command>
Bytes writeData(const Bytes& payload) {
    Command command;
    command.writeData = payload;
    return requestData(command);
}

TEST(TagCommands, WriteDataIsWholeWordsThatFitTheCountByte) {
    const struct {
        std::size_t bytes;
        ResultCode result;
    } cases[] = {
        {0, ResultCode::noError},
        {4, ResultCode::noError},
        {510, ResultCode::noError},
        {5, ResultCode::invalidParameter},
        {511, ResultCode::invalidParameter},
        {512, ResultCode::outOfRange},
    };
    for (const auto& c : cases) {
        Bytes payload(c.bytes);
        for (std::size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<uint8_t>(i);
        for (auto write : {&writeData<OrvRfidCmd_Write>, &writeData<OrvRfidCmd_BlockWrite>}) {
            EXPECT_EQ(refusal([&] { write(payload); }), c.result) << c.bytes;
            if (c.result != ResultCode::noError) continue;
            const Bytes data = write(payload);
            EXPECT_EQ(data[7], c.bytes / 2);
            EXPECT_TRUE(std::equal(payload.begin(), payload.end(), data.begin() + 8, data.end()));
        }
    }
}

TEST(TagCommands, PasswordsAndMasksMustHaveTheirLength) {
    OrvRfidCmd_Read read;
    read.password = {1, 2, 3};
    OrvRfidCmd_Kill kill;
    kill.killPassword = {};
    OrvRfidCmd_Lock lock({0x00, 0x00}, {1, 2, 3, 4});
    for (OrvaneRfidCommand* command :
         std::initializer_list<OrvaneRfidCommand*>{&read, &kill, &lock}) {
        EXPECT_EQ(refusal([&] { command->toBytes(); }), ResultCode::invalidParameter)
            << caseName(command->id());
    }
}

class TagCommandLogTest : public vk210test::CapturedLogTest {};

TEST_F(TagCommandLogTest, PasswordsNeverReachTheLog) {
    OrvRfidCmd_Kill kill;
    kill.killPassword = {0xDE, 0xAD, 0xBE, 0xEF};
    const Bytes frame = kill.toBytes();
    EXPECT_EQ(kill.description(), "ID:kill, Data:******** ");
    OrvRfidCmd_Read read;
    read.password = kill.killPassword;
    read.toBytes();
    EXPECT_EQ(read.description(), "ID:read, Data:******** 0x01 0x00 0x02 0x06 ");
    // The link layer rebuilds requests from their bytes to learn the code; that TRACE line too.
    EXPECT_EQ(OrvaneRfidCommand(OrvaneRfidCommand::SendBytes{frame}).id(), OrvRfidCmdId::kill);
    std::string lines;
    for (const auto& line : log->texts("OrvaneRfidCommand"))
        lines += line + "\n";
    EXPECT_NE(lines.find("sendBytes=0x02 0x00 0x08 0x00 0x85 ******** 0x"), std::string::npos)
        << lines;
    EXPECT_EQ(lines.find("0xDE"), std::string::npos) << lines;
}

}  // namespace
}  // namespace orvane
