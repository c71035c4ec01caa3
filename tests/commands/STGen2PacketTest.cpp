#include <gtest/gtest.h>

#include <vector>

#include "STTestSupport.h"
#include "orvanerfid/commands/Gen2Packets.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

using sttest::expectCoded;
using sttest::payloadOf;

constexpr uint8_t kSl = 0x02;
const Bytes kDefaultPwd = {0x6B, 0x1F, 0x0D, 0x94};

Bytes echo(uint8_t tag, const Bytes& value, uint16_t status = 0) {
    return sttest::tlvReply(kSl, tag, tag, value, status);
}

TEST(STGen2PacketTest, InventoryStartAndStop) {
    STUHFL_T_Gen2_Inventory inventory;
    const Bytes start = inventory.commandPacketBytes();
    EXPECT_EQ(start[6], 0x03);
    EXPECT_EQ(start[7], 0x00);
    EXPECT_EQ(payloadOf(start),
              (Bytes{0x01, 0x08, 0x06, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02}));
    const Bytes stop = inventory.stopPacketBytes();
    EXPECT_EQ(stop.size(), 10u);
    EXPECT_EQ(stop[6], 0x03);
    EXPECT_EQ(stop[7], 0x01);

    const STUHFL_T_Gen2_Inventory reply(
        sttest::tlvReply(0x03, 0x00, 0x01, {0x05, 0x10, 0x00, 0x00, 0x00, 0x64, 0x00, 0x07}));
    EXPECT_EQ(reply.rssiMode, STUHFL_D_RSSI_MODE::SECOND_BYTE);
    EXPECT_EQ(reply.roundCnt, 16u);
    EXPECT_EQ(reply.inventoryDelay, 100);
    EXPECT_EQ(reply.options, STUHFL_D_INVENTORYREPORT_OPTION::HEARTBEAT);
    EXPECT_EQ(reply.cmdGroup(), 0x03);
    expectCoded([] { STUHFL_T_Gen2_Inventory r(sttest::tlvReply(0x03, 0x00, 0x01, {0x06})); },
                ResultCode::invalidParameter,
                "Invalid length of bytes for STUHFL_T_Gen2_Inventory(8)");
}

TEST(STGen2PacketTest, SelectMaskIsPaddedToThirtyTwoBytes) {
    STUHFL_T_Gen2_Select select;
    select.mode = STUHFL_D_GEN2_SELECT_MODE::CLEAR_AND_ADD;
    select.setMask(Bytes{0xE2, 0x80});
    select.maskBitPointer = 0x20;
    Bytes expected = {0x04, 42, 0x02, 0x00, 0x00, 0x01, 0xE2, 0x80};
    expected.insert(expected.end(), 30, 0x00);
    expected.insert(expected.end(), {0x20, 0x00, 0x00, 0x00, 0x00, 0x00});
    const Bytes bytes = select.commandPacketBytes();
    EXPECT_EQ(bytes[7], 0x04);
    EXPECT_EQ(payloadOf(bytes), expected);

    Bytes full(32, 0xA5);
    select.setMask(full);
    const Bytes fullPayload = payloadOf(select.commandPacketBytes());
    EXPECT_EQ(Bytes(fullPayload.begin() + 6, fullPayload.begin() + 38), full);
    full.push_back(0x21);
    expectCoded([&] { select.setMask(full); }, ResultCode::invalidParameter,
                "The length of mask should be less than 32");
}

TEST(STGen2PacketTest, ReadLengthsAndReply) {
    STUHFL_T_Gen2_Read read;
    EXPECT_NO_THROW(read.setNumBytesToRead(128));
    expectCoded([&] { read.setNumBytesToRead(129); }, ResultCode::outOfRange);
    read.setNumBytesToRead(8);
    read.wordPtr = 2;
    EXPECT_EQ(payloadOf(read.commandPacketBytes()),
              (Bytes{0x05, 11, 0x02, 0, 0, 0, 0x03, 0x08, 0x6B, 0x1F, 0x0D, 0x94, 0x00}));

    Bytes value = {0x02, 0, 0, 0, 0x01, 0x04, 0x11, 0x22, 0x33, 0x44, 0x04, 0xA1, 0xA2, 0xA3, 0xA4};
    value.resize(75, 0xEE);
    const STUHFL_T_Gen2_Read reply(echo(0x05, value));
    EXPECT_EQ(reply.memoryBank, STUHFL_D_GEN2_MEMORY_BANK::EPC);
    EXPECT_EQ(reply.numBytesToRead(), 4);
    EXPECT_EQ(reply.pwd(), (Bytes{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(reply.data, (Bytes{0xA1, 0xA2, 0xA3, 0xA4}));

    value[10] = 65;  // more read bytes than the value holds
    expectCoded([&] { STUHFL_T_Gen2_Read r(echo(0x05, value)); }, ResultCode::invalidParameter,
                "Invalid length of bytes for STUHFL_T_Gen2_Read(75)");
    value.resize(74);
    expectCoded([&] { STUHFL_T_Gen2_Read r(echo(0x05, value)); }, ResultCode::invalidParameter,
                "Invalid length of bytes for STUHFL_T_Gen2_Read(75)");
}

TEST(STGen2PacketTest, WriteNeedsExactlyOneWord) {
    STUHFL_T_Gen2_Write write;
    expectCoded([&] { (void)write.commandPacketBytes(); }, ResultCode::invalidParameter);
    expectCoded(
        [&] {
            write.setData(Bytes{1, 2, 3});
        },
        ResultCode::invalidParameter, "The length of data should be 2");
    write.setData(Bytes{0xBE, 0xEF});
    EXPECT_EQ(payloadOf(write.commandPacketBytes()).size(), 14u);
    expectCoded([] { STUHFL_T_Gen2_Write w(echo(0x06, Bytes(11, 0))); },
                ResultCode::invalidParameter,
                "Invalid length of bytes for STUHFL_T_Gen2_Write(12)");
}

TEST(STGen2PacketTest, PasswordsMustBeFourBytes) {
    STUHFL_T_Gen2_Kill kill;
    STUHFL_T_Gen2_Lock lock;
    STUHFL_T_Gen2_Read read;
    STUHFL_T_Gen2_Write write;
    for (STGen2Password* p : std::vector<STGen2Password*>{&kill, &lock, &read, &write}) {
        EXPECT_EQ(p->pwd(), kDefaultPwd);
        for (const Bytes& wrong : {Bytes{1, 2}, Bytes{1, 2, 3, 4, 5, 6}, Bytes{}}) {
            expectCoded([&] { p->setPwd(wrong); }, ResultCode::invalidParameter,
                        "The length of password should be 4");
            EXPECT_EQ(p->pwd(), kDefaultPwd);
        }
        p->setPwd(Bytes{1, 2, 3, 4});
        EXPECT_EQ(p->pwd(), (Bytes{1, 2, 3, 4}));
    }
    kill.recommission = 1;
    EXPECT_EQ(payloadOf(kill.commandPacketBytes()), (Bytes{0x08, 6, 1, 2, 3, 4, 0x01, 0x00}));
}

TEST(STGen2PacketTest, LockMaskAndEchoes) {
    STUHFL_T_Gen2_Lock lock;
    expectCoded(
        [&] {
            lock.setMask(Bytes{1, 2});
        },
        ResultCode::invalidParameter, "The length of mask should be 3");
    lock.setMask(Bytes{0x0C, 0x00, 0x08});
    EXPECT_EQ(payloadOf(lock.commandPacketBytes()),
              (Bytes{0x07, 8, 0x0C, 0x00, 0x08, 0x6B, 0x1F, 0x0D, 0x94, 0x00}));

    const STUHFL_T_Gen2_Lock bare(sttest::packet(kSl, 0x07, {}, 0xFFFF));
    EXPECT_EQ(bare.mask(), Bytes(3, 0));
    EXPECT_EQ(bare.pwd(), kDefaultPwd);
    EXPECT_EQ(bare.tagReply, 0);
    const STUHFL_T_Gen2_Lock echoed(echo(0x07, {0x0C, 0x00, 0x08, 1, 2, 3, 4, 0x03}));
    EXPECT_EQ(echoed.tagReply, 3);
    expectCoded([] { STUHFL_T_Gen2_Lock l(echo(0x07, Bytes(7, 0))); }, ResultCode::invalidParameter,
                "The length of bytes should be 8");
    expectCoded([] { STUHFL_T_Gen2_Kill k(echo(0x08, Bytes(5, 0))); }, ResultCode::invalidParameter,
                "The length of bytes should be 6");
}

// Inventory records as a module sends them.
Bytes statistics(uint8_t q, uint32_t frequency) {
    Bytes r = {0x02, 16};
    r.insert(r.end(), 11, 0x00);
    r.push_back(q);
    appendLe32(r, frequency);
    return r;
}
Bytes header(uint8_t antenna, uint8_t logI, uint8_t logQ, uint8_t pc0, uint8_t pc1) {
    return {0x03, 12, 0, 0, 0, 0, antenna, 0, logI, logQ, 0, 0, pc0, pc1};
}
Bytes record(uint8_t tag, const Bytes& value) {
    Bytes r;
    r.reserve(2 + value.size());
    r.push_back(tag);
    r.push_back(static_cast<uint8_t>(value.size()));
    r.insert(r.end(), value.begin(), value.end());
    return r;
}
Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
const Bytes kFinished = {0xFF, 0x00};

std::vector<TagInfo> walk(const Bytes& payload, double g, STInventoryWalkResult* result = nullptr) {
    std::vector<TagInfo> tags;
    const STInventoryWalkResult r = STInventoryData::forEachTag(
        payload,
        [&](const STInventoryTag& t) { tags.push_back(STInventoryData::toTagInfo(t, g)); });
    EXPECT_EQ(r.tags, tags.size());
    if (result) *result = r;
    return tags;
}

TEST(STGen2PacketTest, InventoryRecordsBecomeTagReports) {
    const Bytes payload =
        join({statistics(5, 865700), header(1, 10, 12, 0x30, 0x00), record(0x04, {0xE2, 0x00}),
              record(0x05, {0xE2, 0x80, 0x11, 0x05}), record(0x06, {0x12, 0x34}), kFinished,
              header(2, 20, 20, 0x34, 0x00), record(0x04, {}), kFinished});
    const std::vector<TagInfo> tags = walk(payload, 0.0);
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].frequency(), 865700u);
    EXPECT_EQ(tags[0].q(), 5);
    EXPECT_EQ(tags[0].antenna(), 1);
    EXPECT_FLOAT_EQ(tags[0].rssi(), 23.1f);
    EXPECT_EQ(tags[0].pc(), (Bytes{0x30, 0x00}));
    EXPECT_EQ(tags[0].epc(), (Bytes{0xE2, 0x00}));
    EXPECT_EQ(tags[0].tid(), (Bytes{0xE2, 0x80, 0x11, 0x05}));
    EXPECT_EQ(tags[0].xpc(), (Bytes{0x12, 0x34}));
    EXPECT_EQ(tags[0].tagCount(), 1u);
    const std::vector<TagInfoId> order(tags[0].tagInfoId().begin(), tags[0].tagInfoId().end());
    EXPECT_EQ(order,
              (std::vector<TagInfoId>{TagInfoId::rssi, TagInfoId::antenna, TagInfoId::frequency,
                                      TagInfoId::q, TagInfoId::pc, TagInfoId::epc, TagInfoId::tid,
                                      TagInfoId::xpc, TagInfoId::tagCount, TagInfoId::timestamp}));
    // Statistics apply to every tag after them; an empty EPC record gives an empty EPC.
    EXPECT_EQ(tags[1].frequency(), 865700u);
    EXPECT_EQ(tags[1].antenna(), 2);
    EXPECT_TRUE(tags[1].epc().empty());
    EXPECT_EQ(tags[1].tagInfoId()[5], TagInfoId::epc);

    // An empty record before any value of its kind reports nothing; unknown tags are named.
    std::vector<uint8_t> unknown;
    std::vector<TagInfo> first;
    STInventoryData::forEachTag(
        join({record(0x05, {}), record(0x42, {1}), kFinished}),
        [&](const STInventoryTag& t) { first.push_back(STInventoryData::toTagInfo(t, 0)); },
        [&](uint8_t tag) { unknown.push_back(tag); });
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].tagInfoId().size(), 2u) << "tag count and time stamp only";
    EXPECT_EQ(unknown, std::vector<uint8_t>{0x42});
}

TEST(STGen2PacketTest, CorruptRecordsAreRefused) {
    // log I or log Q with the top bit set fails the packet; tags before it stand.
    for (const auto& [logI, logQ] : {std::pair<uint8_t, uint8_t>{0x80, 0}, {0, 0xFF}}) {
        STInventoryWalkResult result;
        const auto tags = walk(join({header(0, 1, 1, 0, 0), kFinished, header(0, logI, logQ, 0, 0),
                                     kFinished, header(0, 1, 1, 0, 0), kFinished}),
                               0, &result);
        EXPECT_TRUE(result.malformed) << int{logI} << "/" << int{logQ};
        EXPECT_EQ(tags.size(), 1u);
    }
    // An EPC longer than 62 bytes drops that tag's report with an ERROR line; the next stands.
    const auto log = test::LogCapture::install();
    STInventoryWalkResult result;
    const auto tags = walk(
        join({record(0x04, Bytes(63, 0xE2)), kFinished, record(0x04, Bytes(62, 0xE2)), kFinished}),
        0, &result);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0].epc().size(), 62u);
    EXPECT_EQ(result.droppedTags, 1u);
    EXPECT_FALSE(result.malformed);
    EXPECT_EQ(log->count("keepReadThread() Dropped a tag report", LogLevel::error), 1);
}

TEST(STGen2PacketTest, RssiUsesTheReceiveGainWithoutOverflow) {
    struct Case {
        uint8_t logI, logQ;
        double g;
        float rssi;
    };
    const Case cases[] = {
        {10, 12, 0.0, 23.1f},
        {10, 12, 1.5, 21.6f},
        {127, 127, 0.0, 266.7f},
        {0, 0, 75.0, -75.0f},
    };
    for (const Case& c : cases) {
        const auto tags = walk(join({header(0, c.logI, c.logQ, 0, 0), kFinished}), c.g);
        ASSERT_EQ(tags.size(), 1u);
        EXPECT_FLOAT_EQ(tags[0].rssi(), c.rssi) << int{c.logI} << "+" << int{c.logQ} << " g" << c.g;
    }
}

TEST(STGen2PacketTest, MalformedInventoryRecordsStopTheWalk) {
    STInventoryWalkResult result;
    // A tag without statistics or header, then a record that runs past the payload.
    Bytes payload = join({record(0x04, {0xAA}), kFinished, {0x04, 0x05, 0x01}});
    auto tags = walk(payload, 0, &result);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_TRUE(result.malformed);
    EXPECT_EQ(tags[0].tagInfoId().size(), 3u) << "EPC, tag count and time stamp only";

    // A header too short for its fixed fields.
    tags = walk(join({record(0x03, Bytes(11, 0)), kFinished}), 0, &result);
    EXPECT_TRUE(tags.empty());
    EXPECT_TRUE(result.malformed);

    // A lone tag byte and an unknown record.
    tags = walk(join({record(0x09, {1, 2}), kFinished, {0x04}}), 0, &result);
    EXPECT_EQ(tags.size(), 1u);
    EXPECT_EQ(result.unknownRecords, 1u);
    EXPECT_TRUE(result.malformed);

    tags = walk({}, 0, &result);
    EXPECT_TRUE(tags.empty());
    EXPECT_FALSE(result.malformed);
    EXPECT_TRUE(STInventoryData::isInventoryData(0x03, 0x02));
    EXPECT_FALSE(STInventoryData::isInventoryData(0x03, 0x00));
}

}  // namespace
}  // namespace orvane
