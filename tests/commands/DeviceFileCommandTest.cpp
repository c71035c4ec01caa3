#include <gtest/gtest.h>

#include "Vk210FrameSupport.h"
#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/commands/FileCommands.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

using vk210test::received;
using vk210test::requestData;

TEST(DeviceInfoCommands, VersionTextJoinsEveryByteInDecimal) {
    const struct {
        Bytes reply;
        std::string version;
    } cases[] = {{{}, ""}, {{0x00}, "0"}, {{1, 2, 10}, "1.2.10"}, {{255, 0, 7, 99}, "255.0.7.99"}};
    for (const auto& c : cases) {
        EXPECT_EQ(received<OrvRfidCmd_FirmwareVersion>(c.reply).version(), c.version);
        EXPECT_EQ(received<OrvRfidCmd_RfidModuleFirmware>(c.reply).version(), c.version);
    }
}

TEST(DeviceInfoCommands, NameIsUtf8OrEmpty) {
    const struct {
        Bytes reply;
        std::string name;
    } cases[] = {
        {{'V', 'K', '2', '1', '0'}, "VK210"},
        {{0xC3, 0xA9}, "\xC3\xA9"},  // é
        {{0xFF}, ""},
        {{'A', 0xC3}, ""},         // truncated sequence
        {{0xC0, 0x80}, ""},        // overlong NUL
        {{0xED, 0xA0, 0x80}, ""},  // surrogate
        {{}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(received<OrvRfidCmd_ModelName>(c.reply).name(), c.name);
        EXPECT_EQ(received<OrvRfidCmd_RfidModuleModel>(c.reply).name(), c.name);
    }
}

TEST(DeviceInfoCommands, SkuBytesHaveNoThree) {
    EXPECT_FALSE(fromRaw<OrvRfidCmdSkuId>(0x03).has_value());
    EXPECT_EQ(fromRaw<OrvRfidCmdSkuId>(0x04), OrvRfidCmdSkuId::jpn);
    EXPECT_EQ(received<OrvRfidCmd_Sku>({0x02}).skuId(), OrvRfidCmdSkuId::etsi);
    EXPECT_EQ(received<OrvRfidCmd_RfidModuleSkuId>({0x04}).skuId(), OrvRfidCmdSkuId::jpn);
    EXPECT_FALSE(received<OrvRfidCmd_Sku>({0x03}).skuId().has_value());
    EXPECT_FALSE(received<OrvRfidCmd_Sku>({}).skuId().has_value());
    EXPECT_FALSE(fromRaw<OrvRfidCmdRfidReset>(0x02).has_value());
}

TEST(DeviceInfoCommands, OnlyTheResetCarriesRequestData) {
    EXPECT_EQ(requestData(OrvRfidCmd_ResetDevice()), Bytes{0x00});
    OrvRfidCmd_ResetDevice factory;
    factory.resetDevice = OrvRfidCmdRfidReset::factoryReset;
    EXPECT_EQ(requestData(factory), Bytes{0x01});
    EXPECT_EQ(OrvRfidCmd_PaTemperature().toBytes().size(), 8u);
    EXPECT_EQ(OrvRfidCmd_SerialNumber().toBytes().size(), 8u);
    EXPECT_EQ(rawValue(OrvRfidCmd_RfidModuleSkuId().id()), 0x0035);
}

TEST(FileCommands, StartFileTransferWritesNameAndSizeAsText) {
    EXPECT_EQ(requestData(OrvRfidCmd_StartFileTransfer("a.bin", 1024)),
              (Bytes{0x61, 0x2E, 0x62, 0x69, 0x6E, 0x00, 0x31, 0x30, 0x32, 0x34, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_StartFileTransfer("", 7)), (Bytes{0x00, 0x37, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_StartFileTransfer("x", 0)), (Bytes{0x78, 0x00, 0x30, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_StartFileTransfer("", 4294967295u)),
              (Bytes{0x00, '4', '2', '9', '4', '9', '6', '7', '2', '9', '5', 0x00}));
    // A name that is not UTF-8 contributes no bytes.
    EXPECT_EQ(requestData(OrvRfidCmd_StartFileTransfer("\xFF", 1)), (Bytes{0x00, 0x31, 0x00}));
}

TEST(FileCommands, NameHoldingZeroByteIsRefused) {
    OrvRfidCmd_StartFileTransfer cmd(std::string("a\0b", 3), 1);
    try {
        cmd.toBytes();
        FAIL() << "framed a name that ends early on the wire";
    } catch (const ReaderException& e) {
        EXPECT_EQ(e.resultCode(), ResultCode::invalidParameter);
    }
}

TEST(FileCommands, BlocksModesAndFactoryWrites) {
    OrvRfidCmd_FirmwareUpdate update;
    EXPECT_EQ(requestData(update), Bytes{0x01});
    update.updateMode = OrvRfidCmdUpdateMode::yModemUpdateMode;
    EXPECT_EQ(requestData(update), Bytes{0x02});
    EXPECT_FALSE(fromRaw<OrvRfidCmdUpdateMode>(0).has_value());

    OrvRfidCmd_SendFile block;
    EXPECT_EQ(block.toBytes().size(), 8u);
    block.fileData = Bytes(1000, 0xA5);
    const Bytes frame = block.toBytes();
    EXPECT_EQ(frame.size(), 1008u);
    EXPECT_EQ(OrvaneRfidCommand::checkFormat(frame), 1008);

    OrvRfidCmd_WriteSerialNumber serial;
    serial.serialNumber = "SN01";
    EXPECT_EQ(requestData(serial), (Bytes{'S', 'N', '0', '1'}));
    OrvRfidCmd_WriteSkuId sku;
    EXPECT_EQ(requestData(sku), Bytes{0x00});
    sku.skuId = OrvRfidCmdSkuId::jpn;
    EXPECT_EQ(requestData(sku), Bytes{0x04});
    EXPECT_EQ(rawValue(sku.id()), 0x0301);
}

}  // namespace
}  // namespace orvane
