#include <gtest/gtest.h>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/engines/ZebraPacket.h"
#include "sim/SimScanEngine.h"

namespace orvane {
namespace {

// The reply frame of the simulated engine to a pass-through request carrying `ssi`.
Bytes replyFrame(SimScanEngine& engine, const Bytes& ssi) {
    auto answer = engine.answer(ssi);
    if (!answer) return {};
    return OrvaneRfidCommand::frame(OrvRfidCmdId::scannerEngineParameter, *answer);
}

TEST(SimScanEngine, AnswersAGetAndASetWithTheReadersFrames) {
    SimScanEngine engine(EngineModel::SE4107);
    // Decode session timeout (136) holds its default, 49.
    const Bytes get = {0x05, 0xC7, 0x04, 0x00, 0x88, 0xFE, 0xA8};
    EXPECT_EQ(OrvaneRfidCommand::frame(OrvRfidCmdId::scannerEngineParameter, get),
              (Bytes{0x02, 0x00, 0x0B, 0xF0, 0x94, 0x05, 0xC7, 0x04, 0x00, 0x88, 0xFE, 0xA8, 0xFB,
                     0x73, 0x03}));
    EXPECT_EQ(replyFrame(engine, get),
              (Bytes{0x02, 0x00, 0x0E, 0xF0, 0x94, 0x00, 0x07, 0xC6, 0x00, 0x00, 0xFF, 0x88, 0x31,
                     0xFD, 0x7B, 0xFA, 0x71, 0x03}));

    // UPC-A (1) set to 1 is acknowledged and kept; the word parameter 579 set to 999 too.
    engine.setValue(ZebraParamId::UPCA, {0x00});
    const Bytes ack = {0x00, 0x04, 0xD0, 0x00, 0x00, 0xFF, 0x2C};
    EXPECT_EQ(engine.answer(Bytes{0x07, 0xC6, 0x04, 0x08, 0xFF, 0x01, 0x01, 0xFE, 0x26}), ack);
    EXPECT_EQ(engine.value(ZebraParamId::UPCA), Bytes{0x01});
    EXPECT_EQ(engine.answer(
                  Bytes{0x0A, 0xC6, 0x04, 0x08, 0xFF, 0xF4, 0xF1, 0x43, 0x03, 0xE7, 0xFB, 0x13}),
              ack);
    EXPECT_EQ(engine.value(ZebraParamId::UserProgrammableSupplementals1), (Bytes{0x03, 0xE7}));

    // A read of both comes back as items the item codec walks.
    const ZebraPacket both =
        ZebraCodec::decode(ByteView(*engine.answer(ZebraCodec::encode([] {
                               ZebraPacket p(Opcode::PARAM_REQUEST, {0x01, 0xF1, 0x43});
                               p.messageSource = MessageSource::host;
                               return p;
                           }())))
                               .subspan(1));
    EXPECT_EQ(both.data, (Bytes{0x01, 0x01, 0xF4, 0xF1, 0x43, 0x03, 0xE7}));
}

TEST(SimScanEngine, RefusesWithACauseAndDamagesChecksumsOnDemand) {
    SimScanEngine engine(EngineModel::SE2707);
    const Bytes setUpca = {0x07, 0xC6, 0x04, 0x08, 0xFF, 0x01, 0x01, 0xFE, 0x26};
    const Bytes denied = {0x00, 0x05, 0xD1, 0x00, 0x00, 0x06, 0xFF, 0x24};

    engine.setFaults({.nakNextWrite = NakCause::hostDirectiveDenied});
    EXPECT_EQ(engine.answer(setUpca), denied);
    EXPECT_EQ(engine.answer(setUpca)->at(2), 0xD0);  // the switch cleared

    // Out of its range (UPC-A is 0..1), or no parameter of this model (EAN-8 check digit, 1881):
    // denied, nothing stored.
    ZebraPacket write(Opcode::PARAM_SEND, {0xFF, 0x01, 0x05});
    write.messageSource = MessageSource::host;
    EXPECT_EQ(engine.answer(ZebraCodec::encode(write)), denied);
    EXPECT_EQ(engine.value(ZebraParamId::UPCA), Bytes{0x01});
    write.data = {0xF8, 0x07, 0x59, 0x01};
    EXPECT_EQ(engine.answer(ZebraCodec::encode(write)), denied);
    EXPECT_FALSE(engine.value(ZebraParamId::TransmitEAN8CheckDigit).has_value());

    // A damaged request, and a packet the engine does not take.
    EXPECT_EQ(engine.answer(Bytes{0x07, 0xC6, 0x04, 0x08, 0xFF, 0x01, 0x01, 0xFE, 0x27}),
              (Bytes{0x00, 0x05, 0xD1, 0x00, 0x00, 0x01, 0xFF, 0x29}));
    EXPECT_EQ(engine.answer(ZebraCodec::encode(ZebraPacket(Opcode::BEEP)))->at(5),
              rawValue(NakCause::unknownMessage));

    engine.setFaults({.nakNextWrite = std::nullopt, .badChecksum = true});
    const Bytes bad = *engine.answer(setUpca);
    EXPECT_THROW(ZebraCodec::validate(ByteView(bad).subspan(1)), ZebraCodecError);
    engine.setFaults({.nakNextWrite = std::nullopt, .badChecksum = false, .noReply = true});
    EXPECT_FALSE(engine.answer(setUpca).has_value());
}

TEST(SimScanEngine, MakesTheReadersBarcodeFrames) {
    const Bytes text = {'1', '2'};
    const Bytes plainFrame = SimScanEngine::barcodeFrame(text);
    const OrvRfidCmd_ScannerData plain(OrvaneRfidCommand::ReceiveBytes{plainFrame});
    EXPECT_EQ(plain.barcodeData(), text);
    EXPECT_EQ(plain.barcodeId(), 0);
    const Bytes codedFrame = SimScanEngine::barcodeFrame(text, 0x03);
    const OrvRfidCmd_ScannerData coded(OrvaneRfidCommand::ReceiveBytes{codedFrame});
    EXPECT_EQ(coded.barcodeData(), text);
    EXPECT_EQ(coded.barcodeId(), 0x03);
}

}  // namespace
}  // namespace orvane
