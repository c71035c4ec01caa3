#include "sim/SimVk210.h"

namespace orvane {

void addVk210InventoryRows(SimVk210& reader) {
    reader.addRow(rawValue(OrvRfidCmdId::inventory), [&reader](const SimRequest& r) {
        if (reader.replyOkThen(r)) reader.startStream(r.peer, reader.inventoryPlan());
    });
    // The stop is answered first; the inventory-status frame then ends the inventory.
    reader.addRow(rawValue(OrvRfidCmdId::cancel), [&reader](const SimRequest& r) {
        const bool wasRunning = reader.stopStream();
        reader.replyOk(r);
        if (wasRunning) reader.reply(r, SimVk210::eventFrame(OrvRfidCmdId::inventoryStatus));
    });
}

}  // namespace orvane
