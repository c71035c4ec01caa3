#include <gtest/gtest.h>

#include "Vk210FrameSupport.h"
#include "orvanerfid/commands/InventoryCommands.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

using vk210test::received;
using vk210test::requestData;

// PC whose length field gives `words` EPC words.
Bytes pcFor(int words) {
    return {static_cast<uint8_t>(words << 3), 0x00};
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kHead = {0x02, 0xFF, 0x38};                                 // antenna 2, RSSI -200
const Bytes kPhase = {0x03, 0xE8, 0x00, 0x0A, 0x00, 0x0E, 0x1A, 0x3C};  // 1000, 10, 924220

TEST(InventoryRecords, PlainRecordAccessors) {
    const auto rec = received<OrvRfidCmd_InventoryData>(concat({kHead, pcFor(1), {0xE2, 0x80}}));
    EXPECT_EQ(rec.rssi(), -200);
    EXPECT_EQ(rec.epc(), (Bytes{0xE2, 0x80}));
    // Too short for a field: no value, never a read past the data.
    EXPECT_FALSE(received<OrvRfidCmd_InventoryData>({0x01, 0xFF}).rssi().has_value());
    EXPECT_FALSE(received<OrvRfidCmd_InventoryData>(concat({kHead, pcFor(1)})).epc());
    EXPECT_FALSE(received<OrvRfidCmd_InventoryData>({}).epc());
}

TEST(InventoryRecords, EpcLengthComesFromThePcInTidAndUserRecords) {
    const Bytes tail = {0xAA, 0xBB, 0xCC};
    const auto tid =
        received<OrvRfidCmd_InventoryDataWithTid>(concat({kHead, pcFor(1), {0x11, 0x22}, tail}));
    EXPECT_EQ(tid.epc(), (Bytes{0x11, 0x22}));
    EXPECT_EQ(tid.tid(), tail);

    // PC length 0: no EPC, the rest is the TID / user data.
    const auto zero =
        received<OrvRfidCmd_InventoryDataWithUserSpecifiedData>(concat({kHead, pcFor(0), tail}));
    EXPECT_EQ(zero.epc(), Bytes{});
    EXPECT_EQ(zero.userData(), tail);

    // An EPC length past the end: neither field has a value.
    const auto over = received<OrvRfidCmd_InventoryDataWithTid>(concat({kHead, pcFor(4), tail}));
    EXPECT_FALSE(over.epc());
    EXPECT_FALSE(over.tid());
    EXPECT_FALSE(decodeTagRecord(OrvRfidCmdId::inventoryDataWithTid, over.data()));
}

TEST(InventoryRecords, PhaseRecordAccessorsAndBounds) {
    const Bytes whole = concat({kHead, kPhase, pcFor(1), {0x30, 0x31}, {0x77}});
    const auto rec = received<OrvRfidCmd_InventoryDataPhaseWithTid>(whole);
    EXPECT_EQ(rec.phaseBegin(), 1000);
    EXPECT_EQ(rec.phaseEnd(), 10);
    EXPECT_EQ(rec.frequency(), 924220u);
    EXPECT_EQ(rec.epc(), (Bytes{0x30, 0x31}));
    EXPECT_EQ(rec.tid(), Bytes{0x77});

    // Each phase field needs its own bytes: 5, 7 and 11.
    const auto five =
        received<OrvRfidCmd_InventoryDataPhase>(Bytes(whole.begin(), whole.begin() + 5));
    EXPECT_TRUE(five.phaseBegin());
    EXPECT_FALSE(five.phaseEnd());
    EXPECT_FALSE(five.frequency());
    const auto ten =
        received<OrvRfidCmd_InventoryDataPhase>(Bytes(whole.begin(), whole.begin() + 10));
    EXPECT_TRUE(ten.phaseEnd());
    EXPECT_FALSE(ten.frequency());

    // 13 bytes: the PC and an empty EPC; 12 bytes: the fixed fields are cut, no record.
    const Bytes thirteen(whole.begin(), whole.begin() + 13);
    const auto rec13 = decodeTagRecord(OrvRfidCmdId::inventoryDataPhase, thirteen);
    ASSERT_TRUE(rec13);
    EXPECT_EQ(rec13->pc.size(), 2u);
    EXPECT_TRUE(rec13->epc.empty());
    EXPECT_FALSE(decodeTagRecord(OrvRfidCmdId::inventoryDataPhase, ByteView(thirteen).first(12)));
}

TEST(InventoryRecords, DecodeGivesEveryFieldInPlace) {
    const Bytes data = concat({kHead, kPhase, pcFor(2), {1, 2, 3, 4}, {9, 8}});
    const auto rec = decodeTagRecord(OrvRfidCmdId::inventoryDataPhaseWithUserSpecifiedData, data);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->antenna, 2);
    EXPECT_EQ(rec->rssi, -200);
    EXPECT_EQ(Bytes(rec->pc.begin(), rec->pc.end()), pcFor(2));
    EXPECT_EQ(Bytes(rec->epc.begin(), rec->epc.end()), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(Bytes(rec->userData.begin(), rec->userData.end()), (Bytes{9, 8}));
    EXPECT_TRUE(rec->tid.empty());
    EXPECT_EQ(rec->epc.data(), data.data() + 13);  // a view, not a copy
    EXPECT_EQ(rec->frequency, 924220u);
    EXPECT_FALSE(decodeTagRecord(OrvRfidCmdId::tagAccessData, data));
    EXPECT_FLOAT_EQ(rssiFromRaw(rec->rssi), -2.0f);
    // Phase: float(raw x 87) / 1000.
    EXPECT_FLOAT_EQ(phaseFromRaw(1000), 87.0f);
    EXPECT_FLOAT_EQ(phaseFromRaw(65535), static_cast<float>(65535 * 87) / 1000.0f);
    EXPECT_EQ(epcLengthFromPc(0x30), 12u);
    EXPECT_EQ(epcLengthFromPc(0xFF), 0x3Eu);
}

struct ItemCase {
    const char* what;
    Bytes data;
    std::vector<OrvRfidCmdInventoryDataFormat> ids;
    bool malformed;
};

TEST(InventoryRecords, CustomizedItemWalkStopsOnBadItemsAndKeepsEarlierOnes) {
    using F = OrvRfidCmdInventoryDataFormat;
    const ItemCase cases[] = {
        {"antenna and RSSI", {0, 4, 3, 1, 0, 5, 2, 0xFF, 0x38}, {F::antennaId, F::rssi}, false},
        {"first length 0", {0, 0, 3, 1, 0, 4, 3, 1}, {}, true},
        {"length 2", {0, 4, 3, 1, 0, 2, 3, 1}, {F::antennaId}, true},
        {"length past the end", {0, 4, 3, 1, 0, 9, 0, 1, 2}, {F::antennaId}, true},
        {"id 9", {0, 4, 9, 1, 0, 4, 3, 1}, {}, true},
        {"empty value", {0, 3, 0, 0, 4, 3, 7}, {F::epc, F::antennaId}, false},
        {"three bytes left are ignored", {0, 4, 3, 1, 0, 3, 0}, {F::antennaId}, false},
        {"nothing", {}, {}, false},
    };
    for (const auto& c : cases) {
        const auto rec = received<OrvRfidCmd_InventoryDataWithCustomizedFormat>(c.data);
        std::vector<F> ids;
        for (const auto& p : rec.parameters())
            ids.push_back(p.id());
        EXPECT_EQ(ids, c.ids) << c.what;
        EXPECT_EQ(rec.data(), c.data) << c.what;
        EXPECT_EQ(walkCustomizedItems(c.data, [](const CustomizedItemView&) {}).malformed,
                  c.malformed)
            << c.what;
    }
    const auto rec = received<OrvRfidCmd_InventoryDataWithCustomizedFormat>(cases[0].data);
    EXPECT_EQ(rec.parameters()[1].length(), 5);
    EXPECT_EQ(rec.parameters()[1].data(), (Bytes{0xFF, 0x38}));
}

TEST(InventoryRecords, TagAccessOperationAndData) {
    using Op = OrvRfidCmdTagAccessOperation;
    const struct {
        Bytes data;
        Op operation;
        ActionState state;
    } cases[] = {
        {{0x00, 0x82, 0x00}, Op::read, ActionState::readMemory},
        {{0x00, 0x83, 0x00}, Op::write, ActionState::writeMemory},
        {{0x00, 0x84, 0x00}, Op::lock, ActionState::lock},
        {{0x00, 0x85, 0x00}, Op::kill, ActionState::kill},
        {{0x00, 0x86, 0x00}, Op::blockWrite, ActionState::blockWrite},
        {{0x00, 0x87, 0x00}, Op::blockPermaLock, ActionState::blockPermanentLock},
        {{0x00, 0x88, 0x00}, Op::authenticate, ActionState::authenticate},
        {{0x00, 0xFF, 0x00}, Op::none, ActionState::stop},
        {{0x00}, Op::none, ActionState::stop},
    };
    for (const auto& c : cases) {
        const auto rec = received<OrvRfidCmd_TagAccessData>(c.data);
        EXPECT_EQ(rec.operation(), c.operation);
        EXPECT_EQ(actionState(rec.operation()), c.state);
    }
    EXPECT_EQ(received<OrvRfidCmd_TagAccessData>({0, 0x82, 0, 1, 2}).accessData(), (Bytes{1, 2}));
    EXPECT_EQ(received<OrvRfidCmd_TagAccessData>({0, 0x82, 0}).accessData(), Bytes{});
    EXPECT_FALSE(received<OrvRfidCmd_TagAccessData>({0, 0x82}).accessData());
}

TEST(InventoryRecords, ErrorAndNotificationFrames) {
    using SE = OrvRfidCmdSystemError;
    EXPECT_EQ(received<OrvRfidCmd_SystemError>({1}).systemError(), SE::ambientTemperatureTooHigh);
    EXPECT_EQ(received<OrvRfidCmd_SystemError>({2}).systemError(), SE::paTemperatureTooHigh);
    EXPECT_EQ(received<OrvRfidCmd_SystemError>({3}).systemError(), SE::unknown);
    EXPECT_FALSE(received<OrvRfidCmd_SystemError>({}).systemError());
    EXPECT_EQ(received<OrvRfidCmd_LbtStatus>({1, 0xFF, 0xF0, 0x00, 0x0E, 0x1A, 0x3C}).frequency(),
              924220u);
    EXPECT_FALSE(received<OrvRfidCmd_LbtStatus>({1, 0, 0, 0, 0, 0}).frequency());

    OrvRfidCmd_EventNotification notify;
    EXPECT_EQ(requestData(notify), (Bytes{0xE0, 0x00}));
    notify.eventId = OrvRfidCmdEventNotificationId::keyEvent;
    notify.enable = true;
    EXPECT_EQ(requestData(notify), (Bytes{0xE4, 0x01}));
    EXPECT_FALSE(fromRaw<OrvRfidCmdEventNotificationId>(0xE6).has_value());
    EXPECT_FALSE(fromRaw<OrvRfidCmdInventoryDataFormat>(9).has_value());
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// The frame checksum folds eight bytes a turn; it must equal the plain byte sum for every length
// and for the worst case of all-0xFF bytes, where its lanes come closest to overflowing.
TEST(InventoryRecords, ChecksumMatchesThePlainByteSum) {
    for (uint8_t fill : {uint8_t{0xFF}, uint8_t{0x5A}}) {
        Bytes bytes;
        for (std::size_t n = 0; n <= 8200; n += (n < 300 ? 1 : 97)) {
            bytes.resize(n, fill);
            if (n % 7 == 3 && n > 0) bytes[n / 2] = static_cast<uint8_t>(n);
            uint16_t sum = 0;
            for (uint8_t b : bytes)
                sum = static_cast<uint16_t>(sum + b);
            EXPECT_EQ(Utilities::checkSum16(bytes), static_cast<uint16_t>(0x10000 - sum)) << n;
        }
    }
}

}  // namespace
}  // namespace orvane
