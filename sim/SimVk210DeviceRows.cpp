#include <string_view>

#include "sim/SimVk210.h"

namespace orvane {
namespace {

Bytes text(std::string_view value) {
    return Bytes(value.begin(), value.end());
}

}  // namespace

void addVk210DeviceRows(SimVk210& reader) {
    reader.setSetting("firmware", {1, 1, 11});
    reader.setSetting("modelName", text("VK210"));
    reader.setSetting("serialNumber", text("SIM210-0001"));
    reader.setSetting("ambientTemperature", {0x00, 0xFD});
    reader.setSetting("paTemperature", {0x01, 0x2C});
    reader.setSetting("battery", {0x00, 80});

    // Each of these commands answers with its setting's bytes.
    const std::pair<OrvRfidCmdId, const char*> readOnly[] = {
        {OrvRfidCmdId::firmware, "firmware"},
        {OrvRfidCmdId::modelName, "modelName"},
        {OrvRfidCmdId::serialNumber, "serialNumber"},
        {OrvRfidCmdId::ambientTemperature, "ambientTemperature"},
        {OrvRfidCmdId::paTemperature, "paTemperature"},
        {OrvRfidCmdId::batteryStatus, "battery"},
    };
    for (const auto& [id, name] : readOnly) {
        reader.addRow(rawValue(id), [&reader, name = std::string(name)](const SimRequest& r) {
            reader.replyOk(r, reader.setting(name));
        });
    }
}

}  // namespace orvane
