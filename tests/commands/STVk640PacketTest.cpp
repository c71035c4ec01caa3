#include <gtest/gtest.h>

#include <ctime>

#include "STTestSupport.h"
#include "orvanerfid/commands/Vk640Packets.h"
#include "orvanerfid/core/Utilities.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

using sttest::expectCoded;
using sttest::payloadOf;

constexpr uint8_t kOrvane = 0x10;

Bytes setting(uint8_t tag, const Bytes& value) {
    return sttest::tlvReply(kOrvane, 0x11, tag, value);
}
Bytes info(uint8_t subcode, const Bytes& value) {
    return sttest::tlvReply(kOrvane, subcode, subcode, value);
}
Bytes withZeros(std::string_view text, std::size_t size) {
    Bytes out(text.begin(), text.end());
    out.resize(size, 0x00);
    return out;
}

TEST(STVk640PacketTest, RequestShapes) {
    struct Case {
        Bytes framed;
        uint8_t subcode;
        Bytes payload;
    };
    STUHFL_FirmwareVersion firmware;
    STUHFL_Beeper beeper;
    beeper.volume = BeeperVolume::high;
    STUHFL_Shutdown shutdown;
    STUHFL_FindDevice find(FindDeviceMode::vibratorAndBeep, 5);
    STUHFL_DataRange range(0x0102, 400);
    const Case cases[] = {
        {firmware.getPacketBytes(), 0x01, {}},
        {beeper.getPacketBytes(), 0x11, {0x02, 0x00}},
        {beeper.setPacketBytes(), 0x12, {0x02, 0x01, 0x03}},
        {shutdown.setPacketBytes(), 0x12, {0x41, 0x00}},
        {find.setPacketBytes(), 0x12, {0x06, 0x02, 0x03, 0x05}},
        {range.setPacketBytes(), 0x12, {0x09, 0x04, 0x02, 0x01, 0x90, 0x01}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readBe16(c.framed, 0), 0x8000);
        EXPECT_EQ(c.framed[6], kOrvane);
        EXPECT_EQ(c.framed[7], c.subcode);
        EXPECT_EQ(payloadOf(c.framed), c.payload);
    }
    expectCoded([&] { (void)firmware.setPacketBytes(); }, ResultCode::notSupported);
}

TEST(STVk640PacketTest, InformationReplies) {
    const STUHFL_BluetoothMacAddress mac(info(0x03, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
    EXPECT_EQ(mac.bluetoothMacAddress, "665544332211");

    const STUHFL_ModelName model(info(0x04, withZeros("VK640", 16)));
    EXPECT_EQ(model.modelName, "VK640");
    const STUHFL_FirmwareVersion firmware(info(0x01, withZeros("VK640", 16)));
    EXPECT_EQ(firmware.firmwareVersion, std::string("VK640") + std::string(11, '\0'));
    const STUHFL_SerialNumber serial(info(0x02, withZeros("\xFF\xFE", 16)));
    EXPECT_EQ(serial.serialNumber, "") << "bytes that are not UTF-8 give the empty text";

    EXPECT_EQ(STUHFL_BatteryInfo(info(0x05, {0x50})).percentage, 0x50);
    EXPECT_EQ(STUHFL_SKU(info(0x06, {0x02})).sku, SkuType::us);
    EXPECT_EQ(STUHFL_SKU(info(0x06, {0x09})).sku, SkuType::unknown);

    expectCoded([] { STUHFL_ModelName m(info(0x04, withZeros("VK640", 15))); },
                ResultCode::invalidParameter, "Invalid parameter length");
    expectCoded([] { STUHFL_BatteryInfo b(info(0x05, {})); }, ResultCode::invalidParameter,
                "Invalid parameter length");
    expectCoded([] { STUHFL_BluetoothMacAddress m(sttest::packet(kOrvane, 0x03, {})); },
                ResultCode::invalidParameter, "The payload length is less than 2");
}

TEST(STVk640PacketTest, OneByteSettingsAndTheirFallbacks) {
    EXPECT_EQ(STUHFL_Beeper(setting(0x02, {0x07})).volume, BeeperVolume::medium);
    EXPECT_EQ(STUHFL_Beeper(setting(0x02, {0x00})).volume, BeeperVolume::mute);
    EXPECT_EQ(STUHFL_OperatingMode(setting(0x20, {0x02})).mode, OperatingMode::bluetoothSpp);
    EXPECT_EQ(STUHFL_OperatingMode(setting(0x20, {0x03})).mode, OperatingMode::buffer);
    EXPECT_EQ(STUHFL_DataInfo(setting(0x08, {0x02})).info, DataInfo::tid);
    EXPECT_EQ(STUHFL_DataInfo(setting(0x08, {0x01})).info, DataInfo::user);
    EXPECT_EQ(STUHFL_DataInfo(setting(0x08, {0x07})).info, DataInfo::epc);
    const STUHFL_DataRange range(setting(0x09, {0x02, 0x01, 0x90, 0x01}));
    EXPECT_EQ(range.offset, 0x0102);
    EXPECT_EQ(range.length, 400);
    expectCoded(
        [] {
            STUHFL_Beeper b(setting(0x02, {0x01, 0x02}));
        },
        ResultCode::invalidParameter, "Invalid parameter length");
}

TEST(STVk640PacketTest, DataTerminatorWireCodes) {
    STUHFL_DataTerminator packet;
    packet.terminator = DataTerminator::tab;
    EXPECT_EQ(payloadOf(packet.setPacketBytes()), (Bytes{0x0A, 0x01, 0x02}));
    EXPECT_EQ(STUHFL_DataTerminator(setting(0x0A, {0x02})).terminator, DataTerminator::tab);
    EXPECT_EQ(STUHFL_DataTerminator(setting(0x0A, {0x01})).terminator, DataTerminator::crlf);
    EXPECT_EQ(STUHFL_DataTerminator(setting(0x0A, {0x09})).terminator, DataTerminator::none);
    // The reader has no code for cr and lf: refused rather than sent as none.
    for (const DataTerminator t : {DataTerminator::cr, DataTerminator::lf}) {
        packet.terminator = t;
        expectCoded([&] { (void)packet.setPacketBytes(); }, ResultCode::notSupported);
    }
}

TEST(STVk640PacketTest, SystemTimeInTheLocalCalendar) {
    const STUHFL_SystemTime reply(setting(0x03, {0x18, 0x0C, 0x1F, 0x17, 0x3B, 0x3B}));
    EXPECT_EQ(toDateTimeString(reply.date), "2024-12-31 23:59:59");
    STUHFL_SystemTime request(test::localTime(2025, 2, 28, 8, 5, 9));
    EXPECT_EQ(payloadOf(request.setPacketBytes()), (Bytes{0x03, 0x06, 25, 2, 28, 8, 5, 9}));
    EXPECT_EQ(STUHFL_SystemTime(setting(0x03, {0x18, 0x02, 0x1D, 0, 0, 0})).date,
              test::localTime(2024, 2, 29, 0, 0, 0));

    // Clock bytes that form no date are refused, not replaced by the current time.
    for (const Bytes& bad : {Bytes{0x19, 0x02, 0x1D, 0, 0, 0}, Bytes{0x18, 0x0D, 0x01, 0, 0, 0},
                             Bytes{0x18, 0x00, 0x01, 0, 0, 0}, Bytes{0x18, 0x01, 0x00, 0, 0, 0},
                             Bytes{0x18, 0x01, 0x01, 24, 0, 0}, Bytes{0x18, 0x01, 0x01, 0, 60, 0},
                             Bytes{0x18, 0x01, 0x01, 0, 0, 60}}) {
        expectCoded([&] { STUHFL_SystemTime t(setting(0x03, bad)); },
                    ResultCode::invalidResponseData);
    }
    STUHFL_SystemTime early(test::localTime(1999, 12, 31, 12, 0, 0));
    expectCoded([&] { (void)early.setPacketBytes(); }, ResultCode::outOfRange);
}

TEST(STVk640PacketTest, UserDataIsSixtyFourBytes) {
    STUHFL_UserData data = STUHFL_UserData::withUserData(Bytes{1, 2, 3});
    Bytes expected = {0x0F, 0x40, 1, 2, 3};
    expected.resize(66, 0x00);
    EXPECT_EQ(payloadOf(data.setPacketBytes()), expected);
    data.userData = Bytes(65, 0xAB);
    expectCoded([&] { (void)data.setPacketBytes(); }, ResultCode::outOfRange);

    EXPECT_TRUE(STUHFL_UserData(setting(0x0F, {})).userData.empty());
    EXPECT_EQ(STUHFL_UserData(setting(0x0F, Bytes(64, 0x5A))).userData, Bytes(64, 0x5A));
    expectCoded([] { STUHFL_UserData d(setting(0x0F, Bytes(63, 0))); },
                ResultCode::invalidParameter, "Invalid parameter length");
}

TEST(STVk640PacketTest, BundleIdIsCutOnACharacterBoundaryAndPadded) {
    STUHFL_AppBundleId ascii("com.orvane.demo");
    Bytes expected = {0x21, 0x20};
    const Bytes text = withZeros("com.orvane.demo", 32);
    expected.insert(expected.end(), text.begin(), text.end());
    EXPECT_EQ(payloadOf(ascii.setPacketBytes()), expected);
    // 31 ASCII bytes and a two-byte character: the character does not fit and is left out.
    STUHFL_AppBundleId wide(std::string(31, 'a') + "\xC3\xA9");
    const Bytes payload = payloadOf(wide.setPacketBytes());
    ASSERT_EQ(payload.size(), 34u);
    EXPECT_EQ(payload.back(), 0x00);
    EXPECT_EQ(STUHFL_AppBundleId(setting(0x21, withZeros("com.orvane.demo", 32))).bundleId,
              "com.orvane.demo");
}

TEST(STVk640PacketTest, DisplayLineFitsSixteenCharacters) {
    struct Case {
        uint8_t position;
        uint8_t line;
        bool clear;
        std::string text;
        uint8_t control;
        std::string sent;
    };
    const Case cases[] = {
        {10, 0, true, "ABCDEFGHIJKL", 0x2A, "ABCDEF"},
        {0, 2, true, "Scan.", 0xA0, "Scan."},
        {3, 1, false, "12", 0x43, "12"},
        {20, 0, true, "XYZ", 0x2F, "X"},
        {14, 3, false, "a\xC3\xA9", 0xCE, "a\xC3\xA9"},
        {15, 0, false, "a\xC3\xA9", 0x0F, "a"},
        {14, 0, false, "\xC3\xA9\xC3\xA9", 0x0E, "\xC3\xA9\xC3\xA9"},
        {14, 0, false, "\xC3\xA9\xC3\xA9\xC3\xA9", 0x0E, "\xC3\xA9"},
    };
    for (const Case& c : cases) {
        STUHFL_DisplayOutput display(c.text);
        display.charaterPosition = c.position;
        display.linePosition = c.line;
        display.clearScreen = c.clear;
        const Bytes framed = display.commandPacketBytes();
        EXPECT_EQ(framed[6], kOrvane);
        EXPECT_EQ(framed[7], 0x12);
        Bytes expected = {0x0D, static_cast<uint8_t>(c.sent.size() + 1), c.control};
        expected.insert(expected.end(), c.sent.begin(), c.sent.end());
        EXPECT_EQ(payloadOf(framed), expected) << c.text;
    }
    STUHFL_DisplayOutput display("x");
    display.linePosition = 4;
    expectCoded([&] { (void)display.commandPacketBytes(); }, ResultCode::outOfRange);
}

}  // namespace
}  // namespace orvane
