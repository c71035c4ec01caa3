#include "orvanerfid/commands/STPacket.h"
#include "sim/SimVk640.h"

namespace orvane {
namespace {

constexpr uint8_t kStart = 0x00;
constexpr uint8_t kStop = 0x01;

}  // namespace

void addVk640InventoryRows(SimVk640& reader) {
    reader.addRow(SimVk640::rowKey(SimVk640::kInventoryGroup, kStart),
                  [&reader](const SimRequest& r) {
                      // A start the reply refuses (a reply fault) streams nothing.
                      if (reader.replyPacket(r, r.frame.subspan(STPacket::kHeaderSize)) != 0) {
                          return;
                      }
                      reader.startStream(r.peer, reader.inventoryPlan());
                  });
    // The stream ends before the stop's reply, so no data packet follows it.
    reader.addRow(SimVk640::rowKey(SimVk640::kInventoryGroup, kStop),
                  [&reader](const SimRequest& r) {
                      reader.stopStream();
                      reader.replyPacket(r, {});
                  });
}

}  // namespace orvane
