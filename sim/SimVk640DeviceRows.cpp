#include <string_view>

#include "sim/SimVk640.h"

namespace orvane {
namespace {

// The reader sends its identity texts in 16-byte fields padded with NULs.
Bytes text16(std::string_view value) {
    Bytes bytes(value.begin(), value.end());
    bytes.resize(16, 0);
    return bytes;
}

}  // namespace

void addVk640DeviceRows(SimVk640& reader) {
    reader.setSetting("firmware", text16("1.01.11"));
    reader.setSetting("serialNumber", text16("SIM640-0001"));
    reader.setSetting("mac", {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    reader.setSetting("modelName", text16("VK640"));
    reader.setSetting("battery", {80});
    reader.setSetting("sku", {1});
    reader.setSetting("temperature", {31});

    // Each information item answers with its setting's bytes, under the item as tag.
    const std::pair<uint8_t, const char*> items[] = {
        {0x01, "firmware"}, {0x02, "serialNumber"}, {0x03, "mac"},         {0x04, "modelName"},
        {0x05, "battery"},  {0x06, "sku"},          {0x07, "temperature"},
    };
    for (const auto& [item, name] : items) {
        reader.addRow(SimVk640::rowKey(SimVk640::kDeviceGroup, item),
                      [&reader, item = item, name = std::string(name)](const SimRequest& r) {
                          reader.replyTlv(r, item, reader.setting(name));
                      });
    }
}

}  // namespace orvane
