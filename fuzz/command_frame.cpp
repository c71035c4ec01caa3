// Feeds arbitrary bytes to the Vk210 frame cutter and frame parsers, as a receive loop would,
// reads every reply accessor of each cut frame's own command class and runs the event map.
#include <cstddef>
#include <cstdint>

#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/commands/FileCommands.h"
#include "orvanerfid/commands/InventoryCommands.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/commands/TagCommands.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"

#include "FuzzSupport.h"

namespace {

using namespace orvane;

// Rebuilds `frame` as Command and calls each accessor.
template <typename Command, auto... Accessors>
void readAll(ByteView frame) {
    const Command command{OrvaneRfidCommand::ReceiveBytes{frame}};
    ((void)(command.*Accessors)(), ...);
    (void)command.description();
}

struct Reader {
    OrvRfidCmdId id;
    void (*read)(ByteView frame);
};

using Id = OrvRfidCmdId;
constexpr Reader kReaders[] = {
    {Id::firmware, readAll<OrvRfidCmd_FirmwareVersion, &OrvRfidCmd_FirmwareVersion::version>},
    {Id::rfidModuleFirmware,
     readAll<OrvRfidCmd_RfidModuleFirmware, &OrvRfidCmd_RfidModuleFirmware::version>},
    {Id::modelName, readAll<OrvRfidCmd_ModelName, &OrvRfidCmd_ModelName::name>},
    {Id::rfidModuleModel, readAll<OrvRfidCmd_RfidModuleModel, &OrvRfidCmd_RfidModuleModel::name>},
    {Id::skuId, readAll<OrvRfidCmd_Sku, &OrvRfidCmd_Sku::skuId>},
    {Id::rfidModuleSkuId, readAll<OrvRfidCmd_RfidModuleSkuId, &OrvRfidCmd_RfidModuleSkuId::skuId>},
    {Id::inventoryData, readAll<OrvRfidCmd_InventoryData, &OrvRfidCmd_InventoryData::rssi,
                                &OrvRfidCmd_InventoryData::epc>},
    {Id::inventoryDataWithTid,
     readAll<OrvRfidCmd_InventoryDataWithTid, &OrvRfidCmd_InventoryDataWithTid::rssi,
             &OrvRfidCmd_InventoryDataWithTid::epc, &OrvRfidCmd_InventoryDataWithTid::tid>},
    {Id::inventoryDataWithUserSpecifiedData,
     readAll<OrvRfidCmd_InventoryDataWithUserSpecifiedData,
             &OrvRfidCmd_InventoryDataWithUserSpecifiedData::rssi,
             &OrvRfidCmd_InventoryDataWithUserSpecifiedData::epc,
             &OrvRfidCmd_InventoryDataWithUserSpecifiedData::userData>},
    {Id::inventoryDataPhase,
     readAll<OrvRfidCmd_InventoryDataPhase, &OrvRfidCmd_InventoryDataPhase::rssi,
             &OrvRfidCmd_InventoryDataPhase::epc, &OrvRfidCmd_InventoryDataPhase::phaseBegin,
             &OrvRfidCmd_InventoryDataPhase::phaseEnd, &OrvRfidCmd_InventoryDataPhase::frequency>},
    {Id::inventoryDataPhaseWithTid,
     readAll<OrvRfidCmd_InventoryDataPhaseWithTid, &OrvRfidCmd_InventoryDataPhaseWithTid::rssi,
             &OrvRfidCmd_InventoryDataPhaseWithTid::epc, &OrvRfidCmd_InventoryDataPhaseWithTid::tid,
             &OrvRfidCmd_InventoryDataPhaseWithTid::phaseBegin,
             &OrvRfidCmd_InventoryDataPhaseWithTid::phaseEnd,
             &OrvRfidCmd_InventoryDataPhaseWithTid::frequency>},
    {Id::inventoryDataPhaseWithUserSpecifiedData,
     readAll<OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData,
             &OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData::rssi,
             &OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData::epc,
             &OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData::userData,
             &OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData::phaseBegin,
             &OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData::phaseEnd,
             &OrvRfidCmd_InventoryDataPhaseWithUserSpecifiedData::frequency>},
    {Id::inventoryDataWithCustomizedFormat,
     readAll<OrvRfidCmd_InventoryDataWithCustomizedFormat,
             &OrvRfidCmd_InventoryDataWithCustomizedFormat::parameters>},
    {Id::tagAccessData, readAll<OrvRfidCmd_TagAccessData, &OrvRfidCmd_TagAccessData::operation,
                                &OrvRfidCmd_TagAccessData::accessData>},
    {Id::systemError, readAll<OrvRfidCmd_SystemError, &OrvRfidCmd_SystemError::systemError>},
    {Id::eventNotificationLbtStatus,
     readAll<OrvRfidCmd_LbtStatus, &OrvRfidCmd_LbtStatus::frequency>},
};

void readAccessors(ByteView frame, OrvRfidCmdId id) {
    for (const Reader& reader : kReaders) {
        if (reader.id == id) {
            reader.read(frame);
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    forEachFrameUntil(
        ByteView(data, size), OrvaneRfidCommand::cutFrame,
        [](ByteView frame) {
            const auto parsed = OrvaneRfidCommand::parseFrame(frame);
            if (parsed) {
                (void)decodeTagRecord(parsed->id, parsed->data);
                for (const ProtocolEventArgs& event : vk210FrameEvents(*parsed, BankType::epc)) {
                    if (!event.hasExpectedKind()) __builtin_trap();
                }
            }
            try {
                OrvaneRfidCommand reply(OrvaneRfidCommand::ReceiveBytes{frame});
                (void)reply.description();
                try {
                    reply.checkStatus("fuzz");
                } catch (const ReaderException&) {
                }
                readAccessors(frame, reply.id());
            } catch (const ReaderException&) {
            }
        },
        [] { return false; });
    return 0;
}
