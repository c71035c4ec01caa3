#include <gtest/gtest.h>

#include "STTestSupport.h"
#include "orvanerfid/commands/ST25RU3993Packets.h"

namespace orvane {
namespace {

using sttest::expectCoded;
using sttest::payloadOf;

constexpr uint8_t kDl = 0x01;

Bytes reply(uint8_t tag, const Bytes& value, uint16_t status = 0) {
    return sttest::tlvReply(kDl, 0x00, tag, value, status);
}

TEST(STConfigPacketTest, RequestVectors) {
    STUHFL_T_ST25RU3993_FreqHop hop;
    const Bytes set = hop.setPacketBytes();
    EXPECT_EQ(payloadOf(set), (Bytes{0x09, 0x06, 0x90, 0x01, 0x90, 0x01, 0x00, 0x00}));
    EXPECT_EQ(readBe16(set, 6), 0x0101) << "group dl, set subcode";

    STUHFL_T_ST25RU3993_RwdConfig standby(STUHFL_D_RWD_CFG_ID::POWER_DOWN_MODE,
                                          STUHFL_D_POWER_DOWN_MODE::STANDBY);
    EXPECT_EQ(payloadOf(standby.setPacketBytes()), (Bytes{0x02, 0x02, 0x00, 0x03}));

    STUHFL_T_ST25RU3993_TxRxCfg txrx;
    EXPECT_EQ(payloadOf(txrx.getPacketBytes()), (Bytes{0x0E, 0x00}));
    STUHFL_T_ST25RU3993_Register reg;
    reg.addr = 0x29;
    EXPECT_EQ(payloadOf(reg.getPacketBytes()), (Bytes{0x01, 0x01, 0x29}));

    STUHFL_T_ST25RU3993_FreqProfileInfo info;
    expectCoded([&] { (void)info.setPacketBytes(); }, ResultCode::notSupported);
}

// The value a fresh object sends is dataSize bytes long and parses back to itself.
template <class P>
void expectRoundTrip() {
    P fresh;
    const Bytes set = fresh.setPacketBytes();
    const Bytes payload = payloadOf(set);
    ASSERT_EQ(payload.size(), static_cast<std::size_t>(P::dataSize) + 2) << fresh.className();
    EXPECT_EQ(payload[0], P::kTag);
    EXPECT_EQ(payload[1], P::dataSize);
    const P parsed(sttest::packet(kDl, 0x01, payload));
    EXPECT_EQ(parsed.valueBytes(), fresh.valueBytes()) << fresh.className();
}

TEST(STConfigPacketTest, EveryWritableClassRoundTripsItsDefaults) {
    expectRoundTrip<STUHFL_T_ST25RU3993_Register>();
    expectRoundTrip<STUHFL_T_ST25RU3993_RwdConfig>();
    expectRoundTrip<STUHFL_T_ST25RU3993_FreqProfile>();
    expectRoundTrip<STUHFL_T_ST25RU3993_FreqHop>();
    expectRoundTrip<STUHFL_T_ST25RU3993_FreqLBT>();
    expectRoundTrip<STUHFL_T_ST25RU3993_Gen2_ProtocolCfg>();
    expectRoundTrip<STUHFL_T_ST25RU3993_TxRxCfg>();
    expectRoundTrip<STUHFL_T_ST25RU3993_Gen2_InventoryCfg>();
}

TEST(STConfigPacketTest, ReadsFieldsLittleEndianAndSigned) {
    const STUHFL_T_ST25RU3993_TxRxCfg txrx(reply(0x0E, {0xF6, 0x03, 0xFF, 0x0A, 0x00, 0x03}));
    EXPECT_EQ(txrx.txOutputLevel, -10);
    EXPECT_EQ(txrx.rxSensitivity, 3);
    EXPECT_EQ(txrx.usedAntenna, STUHFL_D_ANTENNA::ANTENNA_ALT);
    EXPECT_EQ(txrx.alternateAntennaInterval, 10);

    const STUHFL_T_ST25RU3993_FreqProfileInfo info(
        reply(0x08, {0x02, 0x20, 0x35, 0x0E, 0x00, 0x60, 0x9C, 0x0E, 0x00, 0x32}));
    EXPECT_EQ(info.profile, 2);
    EXPECT_EQ(info.minFrequency, 931104u);
    EXPECT_EQ(info.maxFrequency, 957536u);
    EXPECT_EQ(info.numFrequencies, 50);

    const STUHFL_T_ST25RU3993_FreqLBT lbt(reply(0x0A, {0x01, 0x00, 0x00, 0x00, 0x1F, 0x02}));
    EXPECT_FALSE(lbt.skipLBTcheck) << "only 0x01 is true";
}

TEST(STConfigPacketTest, NegativeReceiveSensitivityEncodesAsTwosComplement) {
    STUHFL_T_ST25RU3993_TxRxCfg txrx(reply(0x0E, {0xF6, 0xF0, 0x00, 0x01, 0x00, 0x03}));
    EXPECT_EQ(txrx.rxSensitivity, -16);
    txrx.txOutputLevel = -5;
    EXPECT_EQ(payloadOf(txrx.setPacketBytes()),
              (Bytes{0x0E, 0x06, 0xFB, 0xF0, 0x00, 0x01, 0x00, 0x03}));
}

TEST(STConfigPacketTest, UnknownEnumerationBytesReadAsFallbackButRoundTripUnchanged) {
    STUHFL_T_ST25RU3993_Gen2_ProtocolCfg protocol(reply(0x0C, {0x05, 0x07, 0x09, 0x01}));
    EXPECT_EQ(protocol.tari, STUHFL_D_GEN2_TARI::TARI_6_25);
    EXPECT_EQ(protocol.blf, STUHFL_D_GEN2_BLF::BLF_40);
    EXPECT_EQ(protocol.coding, STUHFL_D_GEN2_CODING::MILLER8);
    // Changing one field keeps the module's unknown bytes in the others.
    protocol.trext = false;
    EXPECT_EQ(payloadOf(protocol.setPacketBytes()), (Bytes{0x0C, 0x04, 0x05, 0x07, 0x09, 0x00}));
    protocol.blf = STUHFL_D_GEN2_BLF::BLF_160;
    protocol.coding = STUHFL_D_GEN2_CODING::FM0;
    EXPECT_EQ(payloadOf(protocol.setPacketBytes()), (Bytes{0x0C, 0x04, 0x05, 0x06, 0x00, 0x00}));

    STUHFL_T_ST25RU3993_TxRxCfg txrx(reply(0x0E, {0x00, 0x00, 0x05, 0x01, 0x00, 0x00}));
    EXPECT_EQ(txrx.usedAntenna, STUHFL_D_ANTENNA::ANTENNA_1);
    EXPECT_EQ(payloadOf(txrx.setPacketBytes())[4], 0x05);
}

TEST(STConfigPacketTest, InventoryConfigurationSplitsIntoItsRecords) {
    Bytes value = {0x00, 0x01, 0x01};                           // option
    value.insert(value.end(), {0x00, 0x05, 0x02, 0x0A, 0x03});  // anticollision
    value.insert(value.end(), 16, 0x11);
    value.insert(value.end(), 16, 0x22);
    value.insert(value.end(), {0x10, 0x00, 0x05, 0x02, 0x00});  // auto tuning
    value.insert(value.end(), {0x01, 0x07, 0x01, 0x01, 0x01});  // query: session byte 7
    value.insert(value.end(), {0x03, 0x01, 0x01});              // adaptive sensitivity
    ASSERT_EQ(value.size(), 53u);
    STUHFL_T_ST25RU3993_Gen2_InventoryCfg cfg(reply(0x10, value));
    EXPECT_FALSE(cfg.inventoryOption.fast);
    EXPECT_TRUE(cfg.inventoryOption.readTID);
    EXPECT_FALSE(cfg.antiCollision.adaptiveQ);
    EXPECT_EQ(cfg.antiCollision.startQ, 5);
    EXPECT_EQ(cfg.antiCollision.maxQ, 10);
    EXPECT_EQ(cfg.antiCollision.C2, Bytes(16, 0x22));
    EXPECT_EQ(cfg.autoTuning.interval, 16);
    EXPECT_EQ(cfg.autoTuning.algorithm, STUHFL_D_TUNING_ALGO::SLOW);
    EXPECT_EQ(cfg.queryParams.session, STUHFL_D_GEN2_SESSION::S0);
    EXPECT_EQ(cfg.queryParams.target, STUHFL_D_GEN2_TARGET::B);
    EXPECT_EQ(cfg.adaptiveSensitivity.interval, 259);
    EXPECT_TRUE(cfg.adaptiveSensitivity.enable);

    cfg.antiCollision.maxQ = 12;
    Bytes expected = value;
    expected[6] = 12;
    EXPECT_EQ(cfg.valueBytes(), expected) << "session byte 7 is written back as it came";

    cfg.antiCollision.C1.pop_back();
    expectCoded([&] { (void)cfg.setPacketBytes(); }, ResultCode::invalidParameter);

    value.pop_back();
    expectCoded([&] { STUHFL_T_ST25RU3993_Gen2_InventoryCfg c(reply(0x10, value)); },
                ResultCode::invalidParameter, "The length of bytes should be 53");
    expectCoded([] { STUHFL_T_ST25RU3993_AutoTuning t(Bytes(4, 0)); }, ResultCode::invalidParameter,
                "Invalid parameter length");
}

TEST(STConfigPacketTest, RepliesWithoutValue) {
    const Bytes bare = sttest::packet(kDl, 0x00, {});
    // Strict classes need the TLV.
    expectCoded([&] { STUHFL_T_ST25RU3993_TxRxCfg c(bare); }, ResultCode::invalidParameter,
                "The payload length is less than 2");
    // A successful frequency reply without its value cannot be taken as read.
    expectCoded([&] { STUHFL_T_ST25RU3993_FreqHop c(bare); }, ResultCode::invalidResponseData);
    expectCoded([&] { STUHFL_T_ST25RU3993_FreqProfile c(bare); }, ResultCode::invalidResponseData);
    expectCoded([&] { STUHFL_T_ST25RU3993_FreqProfileInfo c(bare); },
                ResultCode::invalidResponseData);
    // Under a failure status the packet parses, so that checkStatus reports the status.
    const STUHFL_T_ST25RU3993_FreqHop failed(sttest::packet(kDl, 0x00, {}, 0xFFFE));
    EXPECT_EQ(failed.maxSendingTime, 400);
    expectCoded([&] { failed.checkStatus("getInventoryTime"); }, ResultCode::busyDevice);

    expectCoded(
        [] {
            STUHFL_T_ST25RU3993_FreqHop c(reply(0x09, {0x90, 0x01}));
        },
        ResultCode::invalidParameter, "The length of bytes should be 6");
}

}  // namespace
}  // namespace orvane
