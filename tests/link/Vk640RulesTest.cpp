#include "orvanerfid/link/Vk640Rules.h"

#include <gtest/gtest.h>

#include "commands/STTestSupport.h"

namespace orvane {
namespace {

using sttest::expectCoded;
using sttest::packet;

STPacket parsed(uint8_t group, uint8_t subcode, const Bytes& payload) {
    return STPacket(packet(group, subcode, payload));
}

TEST(Vk640RulesTest, MatchRule) {
    struct Case {
        uint8_t requestGroup;
        Bytes requestPayload;
        uint8_t replyGroup, replySubcode;
        Bytes replyPayload;
        Vk640Match expected;
    };
    const Case cases[] = {
        // An empty request takes whatever its group and subcode carry.
        {0x10, {}, 0x10, 0x03, {0x03, 0x06, 1, 2, 3, 4, 5, 6}, Vk640Match::requestWithoutTlv},
        {0x01, {}, 0x01, 0x03, {}, Vk640Match::requestWithoutTlv},
        // A request with a tag: the device group insists on the tag, other groups do not.
        {0x10, {0x02, 0x00}, 0x10, 0x03, {}, Vk640Match::deviceReplyNoTlv},
        {0x01, {0x02, 0x00}, 0x01, 0x03, {}, Vk640Match::replyWithoutTlv},
        {0x10, {0x02, 0x00}, 0x10, 0x03, {0x02, 0x01, 0x01}, Vk640Match::tlvMatches},
        {0x10, {0x02, 0x00}, 0x10, 0x03, {0x01, 0x01, 0x01}, Vk640Match::tlvDiffers},
        {0x10, {}, 0x10, 0x04, {}, Vk640Match::groupDiffers},
        {0x10, {}, 0x01, 0x03, {}, Vk640Match::groupDiffers},
    };
    for (const Case& c : cases) {
        const Vk640Match match = vk640Match(parsed(c.requestGroup, 0x03, c.requestPayload),
                                            parsed(c.replyGroup, c.replySubcode, c.replyPayload));
        EXPECT_EQ(match, c.expected) << vk640MatchText(c.expected);
    }
    EXPECT_TRUE(isMatch(Vk640Match::replyWithoutTlv));
    EXPECT_FALSE(isMatch(Vk640Match::deviceReplyNoTlv));
}

TEST(Vk640RulesTest, ShortNotificationsAreRefused) {
    expectCoded([] { (void)vk640DeviceGroupRole(parsed(0x10, 0x12, {})); },
                ResultCode::invalidParameter, "The payload length is less than 1");
    expectCoded([] { (void)vk640DeviceGroupRole(parsed(0x10, 0x21, {})); },
                ResultCode::invalidParameter, "The payload length is less than 1");
    expectCoded(
        [] {
            (void)vk640DeviceGroupRole(parsed(0x10, 0x05, {0x05, 0x00}));
        },
        ResultCode::outOfRange);
    expectCoded([] { (void)vk640DeviceGroupRole(parsed(0x10, 0x21, {0x21})); },
                ResultCode::outOfRange);
}

TEST(Vk640RulesTest, TemperatureNotificationsAreSignedAsTheDeviceReadsThem) {
    const std::pair<uint8_t, double> cases[] = {{0x19, 25.0}, {0xF6, -10.0}, {0x80, -128.0}};
    for (const auto& [byte, degrees] : cases) {
        const auto role = vk640DeviceGroupRole(parsed(0x10, 0x07, {0x07, 0x01, byte}));
        ASSERT_TRUE(role.event) << int{byte};
        EXPECT_EQ(std::get<double>(role.event->data()), degrees) << int{byte};
    }
}

}  // namespace
}  // namespace orvane
