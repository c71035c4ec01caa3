#include <gtest/gtest.h>

#include "Vk210FrameSupport.h"
#include "orvanerfid/commands/InventoryCommands.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

using vk210test::received;
using vk210test::requestData;

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kHead = {0x02, 0xFF, 0x38};                                 // antenna 2, RSSI -200
const Bytes kPhase = {0x03, 0xE8, 0x00, 0x0A, 0x00, 0x0E, 0x1A, 0x3C};  // 1000, 10, 924220
const Bytes kPc1 = {0x08, 0x00};                                        // one EPC word
const Bytes kPc0 = {0x00, 0x00};

TEST(InventoryRecords, AccessorsReadTheirFieldsOrGiveNoValue) {
    const auto plain = received<OrvRfidCmd_InventoryData>(concat({kHead, kPc1, {0xE2, 0x80}}));
    EXPECT_EQ(plain.rssi(), -200);
    EXPECT_EQ(plain.epc(), (Bytes{0xE2, 0x80}));
    EXPECT_FALSE(received<OrvRfidCmd_InventoryData>({0x01, 0xFF}).rssi());
    EXPECT_FALSE(received<OrvRfidCmd_InventoryData>(concat({kHead, kPc1})).epc());

    const auto tid = received<OrvRfidCmd_InventoryDataWithTid>(concat({kHead, kPc1, {1, 2, 3}}));
    EXPECT_EQ(tid.epc(), (Bytes{1, 2}));
    EXPECT_EQ(tid.tid(), Bytes{3});
    // PC length 0: no EPC, the rest is the user data.
    const auto zero =
        received<OrvRfidCmd_InventoryDataWithUserSpecifiedData>(concat({kHead, kPc0, {7, 8}}));
    EXPECT_EQ(zero.epc(), Bytes{});
    EXPECT_EQ(zero.userData(), (Bytes{7, 8}));
    // An EPC length past the end: neither field, and no record.
    const Bytes over = concat({kHead, {0x20, 0x00}, {1, 2, 3}});
    EXPECT_FALSE(received<OrvRfidCmd_InventoryDataWithTid>(over).epc());
    EXPECT_FALSE(received<OrvRfidCmd_InventoryDataWithTid>(over).tid());
    EXPECT_FALSE(decodeTagRecord(OrvRfidCmdId::inventoryDataWithTid, over));

    const Bytes whole = concat({kHead, kPhase, kPc1, {0x30, 0x31}, {0x77}});
    const auto phase = received<OrvRfidCmd_InventoryDataPhaseWithTid>(whole);
    EXPECT_EQ(phase.phaseBegin(), 1000);
    EXPECT_EQ(phase.phaseEnd(), 10);
    EXPECT_EQ(phase.frequency(), 924220u);
    EXPECT_EQ(phase.epc(), (Bytes{0x30, 0x31}));
    EXPECT_EQ(phase.tid(), Bytes{0x77});
    // Each phase field needs its own bytes: 5, 7 and 11.
    const auto ten =
        received<OrvRfidCmd_InventoryDataPhase>(Bytes(whole.begin(), whole.begin() + 10));
    EXPECT_TRUE(ten.phaseEnd());
    EXPECT_FALSE(ten.frequency());
}

TEST(InventoryRecords, DecodeViewsEveryFieldInPlace) {
    const Bytes data = concat({kHead, kPhase, {0x10, 0x00}, {1, 2, 3, 4}, {9, 8}});
    const auto rec = decodeTagRecord(OrvRfidCmdId::inventoryDataPhaseWithUserSpecifiedData, data);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->antenna, 2);
    EXPECT_EQ(rec->rssi, -200);
    EXPECT_EQ(rec->pc.data(), data.data() + 11);
    EXPECT_EQ(rec->epc.data(), data.data() + 13);  // a view, not a copy
    EXPECT_EQ(rec->epc.size(), 4u);
    EXPECT_EQ(Bytes(rec->userData.begin(), rec->userData.end()), (Bytes{9, 8}));
    EXPECT_EQ(rec->frequency, 924220u);
    // 13 bytes: the PC and an empty EPC; 12 bytes: the fixed fields are cut, no record.
    const ByteView thirteen = ByteView(data).first(13);
    EXPECT_TRUE(decodeTagRecord(OrvRfidCmdId::inventoryDataPhase, thirteen)->epc.empty());
    EXPECT_FALSE(decodeTagRecord(OrvRfidCmdId::inventoryDataPhase, thirteen.first(12)));
    EXPECT_FALSE(decodeTagRecord(OrvRfidCmdId::tagAccessData, data));
    EXPECT_FLOAT_EQ(phaseFromRaw(65535), static_cast<float>(65535 * 87) / 1000.0f);
}

TEST(InventoryRecords, CustomizedItemWalkStopsOnBadItemsAndKeepsEarlierOnes) {
    using F = OrvRfidCmdInventoryDataFormat;
    const struct {
        const char* what;
        Bytes data;
        std::vector<F> ids;
        bool malformed;
    } cases[] = {
        {"antenna and RSSI", {0, 4, 3, 1, 0, 5, 2, 0xFF, 0x38}, {F::antennaId, F::rssi}, false},
        {"first length 0", {0, 0, 3, 1, 0, 4, 3, 1}, {}, true},
        {"length 2", {0, 4, 3, 1, 0, 2, 3, 1}, {F::antennaId}, true},
        {"length past the end", {0, 4, 3, 1, 0, 9, 0, 1, 2}, {F::antennaId}, true},
        {"id 9", {0, 4, 9, 1, 0, 4, 3, 1}, {}, true},
        {"empty value", {0, 3, 0, 0, 4, 3, 7}, {F::epc, F::antennaId}, false},
        {"three bytes left are ignored", {0, 4, 3, 1, 0, 3, 0}, {F::antennaId}, false},
    };
    for (const auto& c : cases) {
        const auto rec = received<OrvRfidCmd_InventoryDataWithCustomizedFormat>(c.data);
        std::vector<F> ids;
        for (const auto& p : rec.parameters())
            ids.push_back(p.id());
        EXPECT_EQ(ids, c.ids) << c.what;
        EXPECT_EQ(rec.data(), c.data) << c.what;
        EXPECT_EQ(walkCustomizedItems(c.data, [](const auto&) {}).malformed, c.malformed) << c.what;
    }
    const auto rec = received<OrvRfidCmd_InventoryDataWithCustomizedFormat>(cases[0].data);
    EXPECT_EQ(rec.parameters()[1].length(), 5);
    EXPECT_EQ(rec.parameters()[1].data(), (Bytes{0xFF, 0x38}));
}

TEST(InventoryRecords, AccessErrorAndNotificationFrames) {
    using Op = OrvRfidCmdTagAccessOperation;
    EXPECT_EQ(received<OrvRfidCmd_TagAccessData>({0, 0x87, 0}).operation(), Op::blockPermaLock);
    EXPECT_EQ(actionState(Op::blockPermaLock), ActionState::blockPermanentLock);
    EXPECT_EQ(received<OrvRfidCmd_TagAccessData>({0, 0xFF, 0}).operation(), Op::none);
    EXPECT_EQ(received<OrvRfidCmd_TagAccessData>({0}).operation(), Op::none);
    EXPECT_EQ(received<OrvRfidCmd_TagAccessData>({0, 0x82, 0, 1, 2}).accessData(), (Bytes{1, 2}));
    EXPECT_EQ(received<OrvRfidCmd_TagAccessData>({0, 0x82, 0}).accessData(), Bytes{});
    EXPECT_FALSE(received<OrvRfidCmd_TagAccessData>({0, 0x82}).accessData());

    using SE = OrvRfidCmdSystemError;
    EXPECT_EQ(received<OrvRfidCmd_SystemError>({1}).systemError(), SE::ambientTemperatureTooHigh);
    EXPECT_EQ(received<OrvRfidCmd_SystemError>({3}).systemError(), SE::unknown);
    EXPECT_FALSE(received<OrvRfidCmd_SystemError>({}).systemError());
    EXPECT_EQ(received<OrvRfidCmd_LbtStatus>({1, 0xFF, 0xF0, 0, 14, 26, 60}).frequency(), 924220u);
    EXPECT_FALSE(received<OrvRfidCmd_LbtStatus>({1, 0, 0, 0, 0, 0}).frequency());

    OrvRfidCmd_EventNotification notify;
    EXPECT_EQ(requestData(notify), (Bytes{0xE0, 0x00}));
    notify.eventId = OrvRfidCmdEventNotificationId::keyEvent;
    notify.enable = true;
    EXPECT_EQ(requestData(notify), (Bytes{0xE4, 0x01}));
}

// The frame checksum folds eight bytes a turn; it must equal the plain byte sum for every length
// and for all-0xFF bytes, where its lanes come closest to overflowing.
TEST(InventoryRecords, ChecksumMatchesThePlainByteSum) {
    for (uint8_t fill : {uint8_t{0xFF}, uint8_t{0x5A}}) {
        Bytes bytes;
        for (std::size_t n = 0; n <= 8200; n += (n < 300 ? 1 : 97)) {
            bytes.resize(n, fill);
            uint16_t sum = 0;
            for (uint8_t b : bytes)
                sum = static_cast<uint16_t>(sum + b);
            EXPECT_EQ(Utilities::checkSum16(bytes), static_cast<uint16_t>(0x10000 - sum)) << n;
        }
    }
}

}  // namespace
}  // namespace orvane
