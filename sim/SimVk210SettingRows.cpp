#include <string_view>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "sim/SimVk210Settings.h"

namespace orvane {
namespace {

using Cmd = OrvRfidCmdId;

constexpr uint8_t kTargetNotFound = 0xE1;

Bytes text(std::string_view value) {
    return Bytes(value.begin(), value.end());
}

Bytes requestData(const SimRequest& r) {
    return Bytes(r.frame.begin() + 5, r.frame.end() - 3);
}

void addPair(SimVk210& reader, Cmd get, Cmd set, const std::string& name, Bytes initial) {
    reader.setSetting(name, std::move(initial));
    reader.addRow(rawValue(get), [&reader, name](const SimRequest& r) {
        reader.replyOk(r, reader.setting(name));
    });
    reader.addRow(rawValue(set), [&reader, name](const SimRequest& r) {
        reader.setSetting(name, requestData(r));
        reader.replyOk(r);
    });
}

void addReadOnly(SimVk210& reader, Cmd get, const std::string& name, Bytes initial) {
    reader.setSetting(name, std::move(initial));
    reader.addRow(rawValue(get), [&reader, name](const SimRequest& r) {
        reader.replyOk(r, reader.setting(name));
    });
}

// A request that only needs to be acknowledged; its data are kept under `name` when given.
void addAction(SimVk210& reader, Cmd command, const std::string& name = {}) {
    reader.addRow(rawValue(command), [&reader, name](const SimRequest& r) {
        if (!name.empty()) reader.setSetting(name, requestData(r));
        reader.replyOk(r);
    });
}

// The extended battery items: charging status 1, 4000 mV, -100 mA, 80 %, health 95 %, 300 K,
// model "BT-1", date "2024-01-02", 3000 mAh full, 12 cycles, serial "SN42", 2400 mAh left,
// 3200 mAh design.
Bytes batteryItems() {
    Bytes items;
    const auto number = [&items](uint32_t v) { appendBe32(items, v); };
    const auto textItem = [&items](std::string_view v) {
        items.insert(items.end(), v.begin(), v.end());
        items.push_back(0x00);
    };
    number(1);
    number(4000);
    number(static_cast<uint32_t>(-100));
    number(80);
    number(95);
    number(300);
    textItem("BT-1");
    textItem("2024-01-02");
    number(3000);
    number(12);
    textItem("SN42");
    number(2400);
    number(3200);
    return items;
}

// The reply to an extended battery request: the mask of the items asked for, then those items.
Bytes batteryReply(ByteView request) {
    uint32_t mask = 0;
    for (std::size_t i = 0; i < 4 && i < request.size(); ++i)
        mask |= uint32_t{request[i]} << (24 - 8 * i);
    mask &= 0xFFF80000u;
    Bytes reply;
    appendBe32(reply, mask);
    const Bytes items = batteryItems();
    std::size_t at = 0;
    for (int item = 0; item < 13; ++item) {
        const bool isText = item == 6 || item == 7 || item == 10;
        std::size_t length = 4;
        if (isText) {
            length = 0;
            while (items[at + length] != 0x00)
                ++length;
            ++length;
        }
        if (mask & (0x80000000u >> item)) {
            reply.insert(reply.end(), items.begin() + static_cast<std::ptrdiff_t>(at),
                         items.begin() + static_cast<std::ptrdiff_t>(at + length));
        }
        at += length;
    }
    return reply;
}

}  // namespace

void setSimVk210Engine(SimVk210& reader, std::optional<std::string> model) {
    reader.setSetting("engineAbsent", model ? Bytes{} : Bytes{1});
    if (model) reader.setSetting("engineModel", text(*model));
}

void addVk210SettingRows(SimVk210& reader) {
    // The reader's own settings, at this reader's defaults.
    addPair(reader, Cmd::getBeeperVolume, Cmd::setBeeperVolume, "beeperVolume", {0x01});
    addPair(reader, Cmd::getSystemTime, Cmd::setSystemTime, "systemTime",
            {0x18, 0x03, 0x05, 0x0E, 0x07, 0x09});
    addPair(reader, Cmd::getAutoPowerOffSetting, Cmd::setAutoPowerOffSetting, "autoOffTime",
            {0x00, 0x01});
    addPair(reader, Cmd::getDataTerminatorSetting, Cmd::setDataTerminatorSetting, "dataTerminator",
            {0x00});
    addPair(reader, Cmd::getFindReplace, Cmd::setFindReplace, "findReplace", {0xFF, 0xFF});
    addPair(reader, Cmd::getAutoConnection, Cmd::setAutoConnection, "autoConnection", {0x01});
    addPair(reader, Cmd::getSettingByLabel, Cmd::setSettingByLabel, "settingByLabel", {0x01});
    addPair(reader, Cmd::getConnectionMode, Cmd::setConnectionMode, "connectionMode", {0x01});
    addPair(reader, Cmd::getDataCollectionMode, Cmd::setDataCollectionMode, "dataCollectionMode",
            {0x01});
    addPair(reader, Cmd::getGs1AiSetting, Cmd::setGs1AiSetting, "gs1Ai", {0x00});
    addPair(reader, Cmd::getDataSendingInterBlockDelay, Cmd::setDataSendingInterBlockDelay,
            "interBlockDelay", {0x00});
    addPair(reader, Cmd::getHidInterCharacterDelay, Cmd::setHidInterCharacterDelay,
            "interCharacterDelay", {0x01});
    addPair(reader, Cmd::getHidKeyboardLanguage, Cmd::setHidKeyboardLanguage, "keyboardLanguage",
            {0x00});
    addPair(reader, Cmd::getHidKeyboardCase, Cmd::setHidKeyboardCase, "keyboardCase", {0x00});
    addPair(reader, Cmd::getControlCharacterFilter, Cmd::setControlCharacterFilter,
            "controlCharacterFilter", {0x01});
    addPair(reader, Cmd::getLedSetting, Cmd::setLedSetting, "ledControl", {0x01});
    addPair(reader, Cmd::getScannerIndicator, Cmd::setScannerIndicator, "scannerIndicator",
            {0x00, 0x55});
    addPair(reader, Cmd::getAmbientTemperatureProtection, Cmd::setAmbientTemperatureProtection,
            "ambientTemperatureProtection", {0x03, 0x20});
    addPair(reader, Cmd::getPaTemperatureProtection, Cmd::setPaTemperatureProtection,
            "paTemperatureProtection", {0x03, 0x20});
    addPair(reader, Cmd::getTemperatureProtectionMode, Cmd::setTemperatureProtectionMode,
            "temperatureProtectionMode", {0x01});
    addPair(reader, Cmd::getInventoryDataWithCustomizedFormat,
            Cmd::setInventoryDataWithCustomizedFormat, "inventoryDataFormat", {0x00, 0x02});
    addPair(reader, Cmd::getScannerDataWithCustomizedFormat,
            Cmd::setScannerDataWithCustomizedFormat, "scannerDataFormat", {0x00});

    addReadOnly(reader, Cmd::btAddress, "bluetoothAddress", text("00:11:22:33:44:55"));
    addReadOnly(reader, Cmd::btName, "bluetoothName", text("VK210-SIM"));
    addReadOnly(reader, Cmd::rfidModuleFirmware, "moduleFirmware", {2, 0, 3});
    addReadOnly(reader, Cmd::rfidModuleModel, "moduleModel", text("QM5520"));
    addReadOnly(reader, Cmd::rfidModuleSkuId, "moduleSku", {0x01});
    addReadOnly(reader, Cmd::skuId, "sku", {0x01});

    for (Cmd action : {Cmd::btUnpair, Cmd::indicator, Cmd::resetDevice, Cmd::executeResetDevice,
                       Cmd::retrieveBatchedData, Cmd::startDecode, Cmd::stopDecode}) {
        addAction(reader, action, std::string("last:") + std::string(caseName(action)));
    }
    addAction(reader, Cmd::setScannerDataSendMode, "scannerDataSendMode");
    reader.addRow(rawValue(Cmd::eventNotificationSetting), [&reader](const SimRequest& r) {
        const Bytes data = requestData(r);
        if (data.size() == 2) reader.setSetting("event" + std::to_string(data[0]), {data[1]});
        reader.replyOk(r);
    });

    // Keys: the request names the key, the reply echoes it with its function.
    reader.setSetting("key0", {0x01});
    reader.setSetting("key1", {0x02});
    reader.addRow(rawValue(Cmd::getTriggerButtonStatus), [&reader](const SimRequest& r) {
        const Bytes data = requestData(r);
        const uint8_t key = data.empty() ? 0 : data[0];
        Bytes reply{key};
        const Bytes function = reader.setting("key" + std::to_string(key));
        reply.insert(reply.end(), function.begin(), function.end());
        reader.replyOk(r, reply);
    });
    reader.addRow(rawValue(Cmd::setTriggerButtonStatus), [&reader](const SimRequest& r) {
        const Bytes data = requestData(r);
        if (data.size() == 2) reader.setSetting("key" + std::to_string(data[0]), {data[1]});
        reader.replyOk(r);
    });

    // The app bundle id travels behind its id byte (0x0B) and before an end byte.
    reader.setSetting("appBundleId", text("com.orvane.demo"));
    reader.addRow(rawValue(Cmd::getMfiSetting), [&reader](const SimRequest& r) {
        Bytes reply{0x0B};
        const Bytes id = reader.setting("appBundleId");
        reply.insert(reply.end(), id.begin(), id.end());
        reply.push_back(0x00);
        reader.replyOk(r, reply);
    });
    reader.addRow(rawValue(Cmd::setMfiSetting), [&reader](const SimRequest& r) {
        const Bytes data = requestData(r);
        if (data.size() >= 2)
            reader.setSetting("appBundleId", Bytes(data.begin() + 1, data.end() - 1));
        reader.replyOk(r);
    });

    reader.addRow(rawValue(Cmd::batteryStatusExtended), [&reader](const SimRequest& r) {
        reader.replyOk(r, batteryReply(requestData(r)));
    });

    // The scan engine answers "target not found" when the reader has none.
    setSimVk210Engine(reader, "SE4107");
    reader.setSetting("engineVersion", text("PAABLS00-005-R05"));
    for (const auto& [command, name] : {std::pair{Cmd::engineModel, "engineModel"},
                                        std::pair{Cmd::engineVersion, "engineVersion"}}) {
        reader.addRow(rawValue(command), [&reader, name = std::string(name)](const SimRequest& r) {
            if (!reader.setting("engineAbsent").empty()) {
                reader.replyStatus(r, kTargetNotFound);
            } else {
                reader.replyOk(r, reader.setting(name));
            }
        });
    }
}

}  // namespace orvane
