#include "orvanerfid/commands/STPacket.h"
#include "sim/SimVk640.h"

namespace orvane {
namespace {

constexpr uint8_t kSetConfig = 0x12;
constexpr uint8_t kFindDeviceTag = 0x06;
constexpr uint8_t kDisplayTag = 0x0D;

}  // namespace

void addVk640IndicatorRows(SimVk640& reader) {
    reader.addRow(SimVk640::rowKey(SimVk640::kDeviceGroup, kSetConfig, kFindDeviceTag),
                  [&reader](const SimRequest& r) {
                      const ByteView value = r.frame.subspan(STPacket::kHeaderSize + 2);
                      if (!value.empty()) reader.recordSignal(value[0]);
                      reader.replyTlv(r, kFindDeviceTag, {});
                  });
    reader.addRow(SimVk640::rowKey(SimVk640::kDeviceGroup, kSetConfig, kDisplayTag),
                  [&reader](const SimRequest& r) {
                      reader.recordDisplay(r.frame.subspan(STPacket::kHeaderSize + 2));
                      reader.replyTlv(r, kDisplayTag, {});
                  });
}

}  // namespace orvane
