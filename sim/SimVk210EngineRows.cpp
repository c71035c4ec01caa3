#include "orvanerfid/commands/ScannerCommands.h"
#include "sim/SimScanEngine.h"
#include "sim/SimVk210.h"

namespace orvane {

void addVk210EngineRows(SimVk210& reader) {
    reader.addRow(rawValue(OrvRfidCmdId::scannerEngineParameter), [&reader](const SimRequest& r) {
        const OrvRfidCmd_ScannerEngineParameter request(OrvaneRfidCommand::SendBytes{r.frame});
        if (auto packet = reader.scanEngine().answer(request.data())) reader.replyOk(r, *packet);
    });
}

}  // namespace orvane
