// Feeds arbitrary bytes to the ST packet cutter, the packet parser, the TLV accessors, every
// reply class and the inventory record walk, as the Vk640 receive loop and the device would.
#include <cstddef>
#include <cstdint>

#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/ST25RU3993Packets.h"
#include "orvanerfid/commands/STPacket.h"
#include "orvanerfid/commands/Vk640Packets.h"
#include "orvanerfid/core/Logger.h"

#include "FuzzSupport.h"

namespace {

using namespace orvane;

// Parses `bytes` as reply class P and, when it parses, frames it again as a set request.
template <class P>
void reply(ByteView bytes) {
    try {
        P packet(bytes);
        (void)packet.setPacketBytes();
        packet.checkStatus("fuzz");
    } catch (const CodedError&) {
    }
}

template <class... P>
void replies(ByteView bytes) {
    (reply<P>(bytes), ...);
}

void packet(ByteView bytes) {
    if (const auto view = STPacket::parsePacket(bytes);
        view && STInventoryData::isInventoryData(view->cmdGroup, view->cmdSubcode)) {
        STInventoryData::forEachTag(view->payload, [](const STInventoryTag& tag) {
            (void)STInventoryData::toTagInfo(tag, 1.5).description();
        });
    }
    try {
        const STPacket p(bytes);
        (void)p.getTlvValue();
        (void)p.getByte(0);
    } catch (const CodedError&) {
    }
    replies<STUHFL_T_ST25RU3993_Register, STUHFL_T_ST25RU3993_RwdConfig,
            STUHFL_T_ST25RU3993_FreqProfile, STUHFL_T_ST25RU3993_FreqHop,
            STUHFL_T_ST25RU3993_FreqLBT, STUHFL_T_ST25RU3993_FreqProfileInfo,
            STUHFL_T_ST25RU3993_Gen2_ProtocolCfg, STUHFL_T_ST25RU3993_TxRxCfg,
            STUHFL_T_ST25RU3993_Gen2_InventoryCfg, STUHFL_T_Gen2_Inventory, STUHFL_T_Gen2_Select,
            STUHFL_T_Gen2_Read, STUHFL_T_Gen2_Write, STUHFL_T_Gen2_Lock, STUHFL_T_Gen2_Kill,
            STUHFL_FirmwareVersion, STUHFL_SerialNumber, STUHFL_BluetoothMacAddress,
            STUHFL_ModelName, STUHFL_BatteryInfo, STUHFL_SKU, STUHFL_Temperature, STUHFL_Vibrator,
            STUHFL_Beeper, STUHFL_SystemTime, STUHFL_AutoOffTime, STUHFL_ReadMode,
            STUHFL_FindDevice, STUHFL_DataFormat, STUHFL_DataInfo, STUHFL_DataRange,
            STUHFL_DataTerminator, STUHFL_TagUnique, STUHFL_ScreenOffTime, STUHFL_UserData,
            STUHFL_OperatingMode, STUHFL_AppBundleId, STUHFL_BluetoothSecuritySimplePairing>(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteView stream(data, size);
    (void)STPacket::checkFormat(stream);
    forEachFrameUntil(stream, STPacket::cutPacket, packet, [] { return false; });
    // The walk also runs on raw bytes, framing or not.
    (void)STInventoryData::forEachTag(stream, [](const STInventoryTag& tag) { (void)tag.rssi(0); });
    return 0;
}
