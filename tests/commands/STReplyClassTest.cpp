#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "STTestSupport.h"
#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/ST25RU3993Packets.h"
#include "orvanerfid/commands/Vk640Packets.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

using sttest::expectCoded;
using sttest::tlvReply;

// Parses `bytes` as packet class P.
template <class P>
std::function<void(const Bytes&)> as() {
    return [](const Bytes& bytes) { P packet(bytes); };
}

TEST(STReplyClassTest, ReplyOfAnotherClassIsRefused) {
    struct Case {
        const char* what;
        Bytes reply;
        std::function<void(const Bytes&)> parse;
    };
    const Case cases[] = {
        {"beeper reply as vibrator", *hexTextToData("80000000000010120003020103"),
         as<STUHFL_Vibrator>()},
        {"temperature reply as battery", tlvReply(0x10, 0x07, 0x07, {0x20}),
         as<STUHFL_BatteryInfo>()},
        {"setting under an information subcode", tlvReply(0x10, 0x05, 0x01, {0x01}),
         as<STUHFL_Vibrator>()},
        {"setting of another group", tlvReply(0x01, 0x11, 0x01, {0x01}), as<STUHFL_Vibrator>()},
        {"configuration of another tag", tlvReply(0x01, 0x00, 0x0A, {0, 0, 0, 0, 0, 0}),
         as<STUHFL_T_ST25RU3993_FreqHop>()},
        {"configuration under an unknown subcode", tlvReply(0x01, 0x02, 0x09, {0, 0, 0, 0, 0, 0}),
         as<STUHFL_T_ST25RU3993_FreqHop>()},
        {"bare header of another group", sttest::packet(0x02, 0x00, {}),
         as<STUHFL_T_ST25RU3993_FreqHop>()},
        {"kill echo as lock", tlvReply(0x02, 0x08, 0x08, Bytes(8, 0)), as<STUHFL_T_Gen2_Lock>()},
        {"lock echo under the kill subcode", tlvReply(0x02, 0x08, 0x07, Bytes(8, 0)),
         as<STUHFL_T_Gen2_Lock>()},
        {"inventory data as inventory reply", tlvReply(0x03, 0x02, 0x01, Bytes(8, 0)),
         as<STUHFL_T_Gen2_Inventory>()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expectCoded([&] { c.parse(c.reply); }, ResultCode::invalidParameter);
    }
}

TEST(STReplyClassTest, RepliesUnderEitherSubcodeOfTheirClassParse) {
    EXPECT_TRUE(STUHFL_Vibrator(tlvReply(0x10, 0x12, 0x01, {0x00})).enabled == false);
    EXPECT_EQ(STUHFL_Beeper(*hexTextToData("80000000000010120003020103")).volume,
              BeeperVolume::high);
    EXPECT_EQ(
        STUHFL_T_ST25RU3993_FreqHop(tlvReply(0x01, 0x01, 0x09, {1, 0, 2, 0, 3, 0})).minSendingTime,
        2);
    // The stop reply of an inventory is a bare header under the stop subcode.
    EXPECT_EQ(STUHFL_T_Gen2_Inventory(sttest::packet(0x03, 0x01, {})).roundCnt, 1u);
}

}  // namespace
}  // namespace orvane
