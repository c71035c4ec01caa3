// Feeds arbitrary bytes to the customized-format inventory item walk, both as a bare data area
// and framed as an inventoryDataWithCustomizedFormat frame, rebuilds the items and the tag report.
#include <cstddef>
#include <cstdint>

#include "orvanerfid/commands/InventoryCommands.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvane;
    const ByteView area(data, size);
    std::size_t bytes = 0;
    const CustomizedWalk walk = walkCustomizedItems(area, [&](const CustomizedItemView& item) {
        bytes += item.length;
        if (item.data.size() + 3 != item.length) __builtin_trap();
    });
    if (walk.stoppedAt != bytes || walk.stoppedAt > size) __builtin_trap();
    const TagInfoPtr info = tagInfoFromCustomizedItems(area);
    if (info && info->tagInfoId().empty()) __builtin_trap();  // no report without a field
    if (info) (void)info->description();
    if (size > OrvaneRfidCommand::kMaxFrameSize - OrvaneRfidCommand::kMinFrameSize) return 0;
    const Bytes frame =
        OrvaneRfidCommand::frame(OrvRfidCmdId::inventoryDataWithCustomizedFormat, area);
    try {
        const OrvRfidCmd_InventoryDataWithCustomizedFormat record{
            OrvaneRfidCommand::ReceiveBytes{frame}};
        if (record.parameters().size() != walk.items) __builtin_trap();
        for (const auto& item : record.parameters()) {
            if (item.data().size() + 3 != item.length()) __builtin_trap();
        }
    } catch (const ReaderException&) {
    }
    return 0;
}
