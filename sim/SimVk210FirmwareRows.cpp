#include <algorithm>
#include <string>

#include "sim/SimVk210Settings.h"

namespace orvane {
namespace {

using Cmd = OrvRfidCmdId;

constexpr uint8_t kOtherError = 0xE0;

Bytes requestData(const SimRequest& r) {
    return Bytes(r.frame.begin() + 5, r.frame.end() - 3);
}

}  // namespace

void setSimVk210FailingBlock(SimVk210& reader, uint8_t block) {
    reader.setSetting("failBlock", block == 0 ? Bytes{} : Bytes{block});
}

void addVk210FirmwareRows(SimVk210& reader) {
    // Start: the name and the decimal size, each ended by 0x00.
    reader.addRow(rawValue(Cmd::startFileTransfer), [&reader](const SimRequest& r) {
        const Bytes data = requestData(r);
        const auto end = std::find(data.begin(), data.end(), uint8_t{0});
        reader.setSetting("firmwareName", Bytes(data.begin(), end));
        reader.setSetting("firmwareSize",
                          end == data.end() ? Bytes{} : Bytes(end + 1, data.end() - 1));
        reader.setSetting("firmwareFile", {});
        reader.setSetting("firmwareBlocks", {0});
        reader.setSetting("firmwareInstalled", {});
        reader.replyOk(r);
    });
    reader.addRow(rawValue(Cmd::sendFileData), [&reader](const SimRequest& r) {
        const Bytes counted = reader.setting("firmwareBlocks");
        const uint8_t block = static_cast<uint8_t>((counted.empty() ? 0 : counted[0]) + 1);
        reader.setSetting("firmwareBlocks", {block});
        const Bytes fail = reader.setting("failBlock");
        if (!fail.empty() && fail[0] == block) {
            reader.replyStatus(r, kOtherError);
            return;
        }
        Bytes file = reader.setting("firmwareFile");
        const Bytes data = requestData(r);
        file.insert(file.end(), data.begin(), data.end());
        reader.setSetting("firmwareFile", std::move(file));
        reader.replyOk(r);
    });
    reader.addRow(rawValue(Cmd::performFirmwareUdpate), [&reader](const SimRequest& r) {
        reader.setSetting("firmwareInstalled", {1});
        reader.replyOk(r);
    });
}

}  // namespace orvane
