#include <cstdio>

#include "sim/SimVk640.h"

namespace orvane {
namespace {

constexpr uint8_t kGetConfig = 0x00;
constexpr uint8_t kRegisterTag = 0x01;
constexpr uint8_t kFreqProfileInfoTag = 0x08;

}  // namespace

void addVk640RadioRows(SimVk640& reader) {
    // Profile 1 (Europe), 865.7-867.5 MHz, 4 channels; numbers little-endian.
    reader.setSetting("freqProfileInfo",
                      {0x01, 0xA4, 0x35, 0x0D, 0x00, 0xAC, 0x3C, 0x0D, 0x00, 0x04});

    // [0x01][0x01][address] -> [0x01][0x02][address][value]
    reader.addRow(SimVk640::rowKey(SimVk640::kRadioGroup, kGetConfig, kRegisterTag),
                  [&reader](const SimRequest& r) {
                      const ByteView frame = r.frame;
                      if (frame.size() < 13) {
                          reader.replyPacket(r, {}, 0xFFFF);
                          return;
                      }
                      const uint8_t address = frame[12];
                      char name[16];
                      std::snprintf(name, sizeof name, "register.%02X", address);
                      const Bytes stored = reader.setting(name);
                      const uint8_t value[] = {address, stored.empty() ? uint8_t{0} : stored[0]};
                      reader.replyTlv(r, kRegisterTag, value);
                  });
    reader.addRow(SimVk640::rowKey(SimVk640::kRadioGroup, kGetConfig, kFreqProfileInfoTag),
                  [&reader](const SimRequest& r) {
                      reader.replyTlv(r, kFreqProfileInfoTag, reader.setting("freqProfileInfo"));
                  });
}

}  // namespace orvane
