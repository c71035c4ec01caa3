#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/engines/ZebraPacket.h"
#include "sim/SimVk210.h"

namespace orvane {
namespace {

// Keeps the frames the reader answers with.
class FramePeer : public SimPeer, public std::enable_shared_from_this<FramePeer> {
  public:
    std::vector<Bytes> frames;

    void send(Bytes bytes, Clock::duration, std::size_t, Clock::duration) override {
        frames.push_back(std::move(bytes));
    }
    bool stream(ByteView, std::size_t, Clock::duration) override { return true; }
    void dropLink() override {}
    bool isDropped() const override { return false; }
    std::weak_ptr<SimPeer> weakPeer() override { return weak_from_this(); }
};

class SimVk210Engine : public ::testing::Test {
  protected:
    // The reply frame to a pass-through request carrying `packet`; empty when none came.
    Bytes exchange(const Bytes& packet) {
        const std::size_t before = peer->frames.size();
        reader->respond(OrvaneRfidCommand::frame(OrvRfidCmdId::scannerEngineParameter, packet),
                        *peer);
        return peer->frames.size() > before ? peer->frames.back() : Bytes{};
    }
    // The engine's packet inside a reply frame: after the header and the status byte.
    static Bytes packetOf(const Bytes& frame) { return Bytes(frame.begin() + 6, frame.end() - 3); }

    std::shared_ptr<SimVk210> reader = std::make_shared<SimVk210>();
    std::shared_ptr<FramePeer> peer = std::make_shared<FramePeer>();
    SimScanEngine& engine = reader->scanEngine();
};

const Bytes kSetUpcA = {0x07, 0xC6, 0x04, 0x08, 0xFF, 0x01, 0x01, 0xFE, 0x26};
const Bytes kAck = {0x04, 0xD0, 0x00, 0x00, 0xFF, 0x2C};
const Bytes kDenied = {0x05, 0xD1, 0x00, 0x00, 0x06, 0xFF, 0x24};

TEST_F(SimVk210Engine, AnswersAGetAndASetWithTheReadersFrames) {
    // Decode session timeout (136) holds the SE4107 default, 49.
    const Bytes get = {0x05, 0xC7, 0x04, 0x00, 0x88, 0xFE, 0xA8};
    EXPECT_EQ(OrvaneRfidCommand::frame(OrvRfidCmdId::scannerEngineParameter, get),
              (Bytes{0x02, 0x00, 0x0B, 0xF0, 0x94, 0x05, 0xC7, 0x04, 0x00, 0x88, 0xFE, 0xA8, 0xFB,
                     0x73, 0x03}));
    EXPECT_EQ(exchange(get), (Bytes{0x02, 0x00, 0x0E, 0xF0, 0x94, 0x00, 0x07, 0xC6, 0x00, 0x00,
                                    0xFF, 0x88, 0x31, 0xFD, 0x7B, 0xFA, 0x71, 0x03}));

    // UPC-A (1) set to 1 and the word parameter 579 set to 999 are acknowledged and kept.
    engine.setValue(ZebraParamId::UPCA, {0x00});
    EXPECT_EQ(OrvaneRfidCommand::frame(OrvRfidCmdId::scannerEngineParameter, kSetUpcA),
              (Bytes{0x02, 0x00, 0x0D, 0xF0, 0x94, 0x07, 0xC6, 0x04, 0x08, 0xFF, 0x01, 0x01, 0xFE,
                     0x26, 0xFB, 0x71, 0x03}));
    EXPECT_EQ(packetOf(exchange(kSetUpcA)), kAck);
    EXPECT_EQ(engine.value(ZebraParamId::UPCA), Bytes{0x01});
    EXPECT_EQ(packetOf(exchange(
                  {0x0A, 0xC6, 0x04, 0x08, 0xFF, 0xF4, 0xF1, 0x43, 0x03, 0xE7, 0xFB, 0x13})),
              kAck);
    EXPECT_EQ(engine.value(ZebraParamId::UserProgrammableSupplementals1), (Bytes{0x03, 0xE7}));

    // A read of both, and of a number the engine lacks (1003 has none), gives items for both.
    ZebraPacket read(Opcode::PARAM_REQUEST, {0x01, 0xF1, 0x43, 0xF2, 0x84});
    read.messageSource = MessageSource::host;
    const ZebraPacket reply = ZebraCodec::decode(packetOf(exchange(ZebraCodec::encode(read))));
    EXPECT_EQ(reply.data, (Bytes{0x01, 0x01, 0xF4, 0xF1, 0x43, 0x03, 0xE7}));
}

TEST_F(SimVk210Engine, RefusesWithACauseAndDamagesChecksumsOnDemand) {
    engine.loadDefaults(EngineModel::SE2707);
    engine.setFaults({.nakNextWrite = NakCause::hostDirectiveDenied});
    EXPECT_EQ(packetOf(exchange(kSetUpcA)), kDenied);
    EXPECT_EQ(packetOf(exchange(kSetUpcA)), kAck);  // the switch cleared

    // Out of its range (UPC-A is 0..1), or no parameter of this model (EAN-8 check digit, 1881):
    // denied, nothing stored.
    ZebraPacket write(Opcode::PARAM_SEND, {0xFF, 0x01, 0x05});
    write.messageSource = MessageSource::host;
    EXPECT_EQ(packetOf(exchange(ZebraCodec::encode(write))), kDenied);
    EXPECT_EQ(engine.value(ZebraParamId::UPCA), Bytes{0x01});
    write.data = {0xF8, 0x07, 0x59, 0x01};
    EXPECT_EQ(packetOf(exchange(ZebraCodec::encode(write))), kDenied);
    EXPECT_FALSE(engine.value(ZebraParamId::TransmitEAN8CheckDigit).has_value());

    // A damaged request, and a packet the engine does not take.
    EXPECT_EQ(packetOf(exchange({0x07, 0xC6, 0x04, 0x08, 0xFF, 0x01, 0x01, 0xFE, 0x27})),
              (Bytes{0x05, 0xD1, 0x00, 0x00, 0x01, 0xFF, 0x29}));
    EXPECT_EQ(packetOf(exchange(ZebraCodec::encode(ZebraPacket(Opcode::BEEP)))).at(4),
              rawValue(NakCause::unknownMessage));

    engine.setFaults({.nakNextWrite = std::nullopt, .badChecksum = true});
    EXPECT_THROW(ZebraCodec::validate(packetOf(exchange(kSetUpcA))), ZebraCodecError);
    engine.setFaults({.nakNextWrite = std::nullopt, .badChecksum = false, .noReply = true});
    EXPECT_TRUE(exchange(kSetUpcA).empty());
}

}  // namespace
}  // namespace orvane
