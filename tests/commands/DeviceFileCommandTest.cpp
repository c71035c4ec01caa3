#include <gtest/gtest.h>

#include "Vk210FrameSupport.h"
#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/commands/FileCommands.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

using vk210test::received;
using vk210test::requestData;

TEST(DeviceInfoCommands, VersionAndNameTexts) {
    const struct {
        Bytes reply;
        std::string version;
        std::string name;
    } cases[] = {
        {{}, "", ""},
        {{0x00}, "0", std::string(1, '\0')},
        {{'1', 2, 10}, "49.2.10", "1\x02\n"},
        {{0xC3, 0xA9}, "195.169", "\xC3\xA9"},
        {{0xFF}, "255", ""},                      // not UTF-8
        {{'A', 0xC3}, "65.195", ""},              // cut sequence
        {{0xED, 0xA0, 0x80}, "237.160.128", ""},  // surrogate
    };
    for (const auto& c : cases) {
        EXPECT_EQ(received<OrvRfidCmd_FirmwareVersion>(c.reply).version(), c.version);
        EXPECT_EQ(received<OrvRfidCmd_RfidModuleFirmware>(c.reply).version(), c.version);
        EXPECT_EQ(received<OrvRfidCmd_ModelName>(c.reply).name(), c.name);
        EXPECT_EQ(received<OrvRfidCmd_RfidModuleModel>(c.reply).name(), c.name);
    }
}

TEST(DeviceInfoCommands, SkuAndReset) {
    EXPECT_FALSE(fromRaw<OrvRfidCmdSkuId>(0x03).has_value());
    EXPECT_EQ(received<OrvRfidCmd_RfidModuleSkuId>({0x04}).skuId(), OrvRfidCmdSkuId::jpn);
    EXPECT_FALSE(received<OrvRfidCmd_Sku>({0x03}).skuId().has_value());
    EXPECT_FALSE(received<OrvRfidCmd_Sku>({}).skuId().has_value());
    OrvRfidCmd_ResetDevice reset;
    EXPECT_EQ(requestData(reset), Bytes{0x00});
    reset.resetDevice = OrvRfidCmdRfidReset::factoryReset;
    EXPECT_EQ(requestData(reset), Bytes{0x01});
}

TEST(FileCommands, RequestData) {
    EXPECT_EQ(requestData(OrvRfidCmd_StartFileTransfer("a.bin", 1024)),
              (Bytes{0x61, 0x2E, 0x62, 0x69, 0x6E, 0x00, 0x31, 0x30, 0x32, 0x34, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_StartFileTransfer("", 0)), (Bytes{0x00, 0x30, 0x00}));
    EXPECT_EQ(requestData(OrvRfidCmd_StartFileTransfer("\xFF", 7)), (Bytes{0x00, 0x37, 0x00}));
    // A 0x00 inside the name would end the field early on the wire.
    EXPECT_THROW(OrvRfidCmd_StartFileTransfer(std::string("a\0b", 3), 1).toBytes(),
                 ReaderException);

    OrvRfidCmd_FirmwareUpdate update;
    update.updateMode = OrvRfidCmdUpdateMode::yModemUpdateMode;
    EXPECT_EQ(requestData(update), Bytes{0x02});
    OrvRfidCmd_SendFile block;
    block.fileData = Bytes(1000, 0xA5);
    EXPECT_EQ(OrvaneRfidCommand::checkFormat(block.toBytes()), 1008);
    OrvRfidCmd_WriteSerialNumber serial;
    serial.serialNumber = "SN01";
    EXPECT_EQ(requestData(serial), (Bytes{'S', 'N', '0', '1'}));
    OrvRfidCmd_WriteSkuId sku;
    sku.skuId = OrvRfidCmdSkuId::jpn;
    EXPECT_EQ(requestData(sku), Bytes{0x04});
}

}  // namespace
}  // namespace orvane
