#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/devices/Vk210Device.h"

namespace orvane {
namespace {

using Cmd = OrvRfidCmdId;

class Vk210FirmwareUpdateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        device->setDelegate(events);
        // Every request succeeds, unless `failAt` names the request (counted from 0) to time out.
        protocol->responder = [this](const test::Sent& s) {
            const auto index = protocol->sent().size() - 1;
            if (index == failAt) return Response(ResultCode::timeout, std::nullopt);
            return Response(ResultCode::noError,
                            OrvaneRfidCommand::frame(Cmd{readBe16(s.data, 3)}, Bytes{0x00}));
        };
    }
    std::vector<std::string> reports() const {
        std::vector<std::string> out;
        for (const auto& call : events->calls())
            out.push_back(call.substr(std::string("firmwareUpdate ").size()));
        return out;
    }
    // The request codes and data sizes sent.
    std::vector<std::pair<Cmd, std::size_t>> requests() const {
        std::vector<std::pair<Cmd, std::size_t>> out;
        for (const auto& s : protocol->sent())
            out.emplace_back(Cmd{readBe16(s.data, 3)}, s.data.size() - 8);
        return out;
    }

    std::shared_ptr<test::RecordingProtocol> protocol =
        std::make_shared<test::RecordingProtocol>(std::make_shared<test::FirmwareTransport>());
    std::shared_ptr<Vk210Device> device = Vk210Device::create(protocol);
    std::shared_ptr<test::RecordingDeviceDelegate> events =
        std::make_shared<test::RecordingDeviceDelegate>();
    std::size_t failAt = SIZE_MAX;
};

// Records each report, then throws.
class ThrowingProgress : public test::RecordingDeviceDelegate {
  public:
    void firmwareUpdateEvent(FirmwareUpdateState state, uint8_t percentage) override {
        RecordingDeviceDelegate::firmwareUpdateEvent(state, percentage);
        throw 7;
    }
};

TEST_F(Vk210FirmwareUpdateTest, AThrowingProgressReportNeverStopsTheUpdate) {
    auto throwing = std::make_shared<ThrowingProgress>();
    device->setDelegate(throwing);
    device->firmwareUpdate("fw.bin", Bytes(2500, 0xA5));
    const auto calls = throwing->calls();
    ASSERT_EQ(calls.size(), 10u);
    EXPECT_EQ(calls.back(), "firmwareUpdate 1 100");
    EXPECT_EQ(requests().size(), 5u);
}

TEST_F(Vk210FirmwareUpdateTest, BlocksAndProgress) {
    device->firmwareUpdate("fw.bin", Bytes(2500, 0xA5));
    // State numbers: 0 Start, 1 Stop, 2 Erasing Memory, 3 Uploading, 4 Updating.
    EXPECT_EQ(reports(), (std::vector<std::string>{"0 100", "2 0", "2 100", "3 0", "3 40", "3 80",
                                                   "3 100", "4 0", "4 100", "1 100"}));
    const std::string name = "fw.bin";
    EXPECT_EQ(requests(), (std::vector<std::pair<Cmd, std::size_t>>{
                              {Cmd::startFileTransfer, name.size() + 1 + 4 + 1},
                              {Cmd::sendFileData, 1000},
                              {Cmd::sendFileData, 1000},
                              {Cmd::sendFileData, 500},
                              {Cmd::performFirmwareUdpate, 1}}));
    const auto sent = protocol->sent();
    EXPECT_EQ(sent[0].timeout, 5000);
    EXPECT_EQ(sent[3].timeout, 5000);
    EXPECT_EQ(sent[4].timeout, 30000);
    EXPECT_EQ(sent[4].data[5], 0x01);
}

TEST_F(Vk210FirmwareUpdateTest, FailingBlockStopsWithItsError) {
    failAt = 2;
    test::expectCode(ResultCode::timeout,
                     [&] { device->firmwareUpdate("fw.bin", Bytes(2500, 0x01)); });
    EXPECT_EQ(reports(),
              (std::vector<std::string>{"0 100", "2 0", "2 100", "3 0", "3 40", "1 100"}));
    EXPECT_EQ(protocol->sent().size(), 3u);

    // A block answered with a failure status fails alike, without an operation name.
    protocol->clear();
    failAt = SIZE_MAX;
    protocol->responder = [](const test::Sent& s) {
        const uint8_t status = readBe16(s.data, 3) == rawValue(Cmd::sendFileData) ? 0x02 : 0x00;
        return Response(ResultCode::noError,
                        OrvaneRfidCommand::frame(Cmd{readBe16(s.data, 3)}, Bytes{status}));
    };
    const std::string message = test::expectCode(
        ResultCode::parameterError, [&] { device->firmwareUpdate("fw.bin", Bytes(10, 0x01)); });
    EXPECT_EQ(message.rfind("The return code is not noError.", 0), 0u);
}

TEST_F(Vk210FirmwareUpdateTest, NameWithAZeroByteIsRefusedBeforeAnyReport) {
    test::expectCode(ResultCode::invalidParameter,
                     [&] { device->firmwareUpdate(std::string("a\0b", 3), Bytes(3, 0)); });
    EXPECT_TRUE(events->calls().empty());
    EXPECT_TRUE(protocol->sent().empty());
}

}  // namespace
}  // namespace orvane
