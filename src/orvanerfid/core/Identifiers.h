#pragma once

// Identifiers of reader settings, UHF operations, reader actions and notifications, and the
// values of a few device settings.

#include <cstdint>

#include "orvanerfid/core/Enum.h"

namespace orvane {

// Whether a setting is read, read and written, or run as an action.
#define ORV_ACCESS_MODE(X)         \
    X(readOnly, 0, "Read Only")    \
    X(readWrite, 1, "Read/Write")  \
    X(executable, 2, "Executable") \
    X(feature, 3, "Feature")

ORV_ENUM(AccessMode, uint8_t, ORV_ACCESS_MODE);

// Reader settings; the fourth column is the setting's AccessMode.
#define ORV_DEVICE_PARAM_ID(X)                                                                   \
    X(firmwareVersion, 0, "Firmware Version", readOnly)                                          \
    X(deviceType, 1, "Device Type", readOnly)                                                    \
    X(serialNumber, 2, "Serial Number", readOnly)                                                \
    X(bluetoothAddress, 3, "Bluetooth Address", readOnly)                                        \
    X(bluetoothName, 4, "Bluetooth Name", readOnly)                                              \
    X(batteryStatus, 5, "Battery Status", readOnly)                                              \
    X(temperature, 6, "Temperature", readOnly)                                                   \
    X(vibrator, 7, "Vibrator", readWrite)                                                        \
    X(beeperVolume, 8, "Beeper Volume", readWrite)                                               \
    X(systemTime, 9, "System Time", readWrite)                                                   \
    X(autoOffTime, 10, "Auto Off Time", readWrite)                                               \
    X(readMode, 11, "Read Mode", readWrite)                                                      \
    X(findDevice, 12, "Find Device", executable)                                                 \
    X(dataFormat, 13, "Data Format", readWrite)                                                  \
    X(dataInfo, 14, "Data Info", readWrite)                                                      \
    X(dataRange, 15, "Data Range", readWrite)                                                    \
    X(dataTerminator, 16, "Data Terminator", readWrite)                                          \
    X(tagUnique, 17, "Tag Unique", readWrite)                                                    \
    X(hidCharacterDelay, 18, "HID Character Delay", readWrite)                                   \
    X(displayMessage, 19, "Display Message", executable)                                         \
    X(screenOffTime, 20, "Screen Off Time", readWrite)                                           \
    X(userData, 21, "User Data", readWrite)                                                      \
    X(appBundleId, 22, "App Bundle ID", readWrite)                                               \
    X(bluetoothSecuritySimplePairing, 23, "Bluetooth Security Simple Pairing", readWrite)        \
    X(factoryReset, 24, "Factory Reset", executable)                                             \
    X(shutdown, 25, "Shutdown", executable)                                                      \
    X(inventoryIndicator, 26, "Inventory Indicator", readWrite)                                  \
    X(autoOffTimeList, 27, "Auto Off Time List", readOnly)                                       \
    X(rfidModuleFirmware, 28, "RFID Module Firmware", readOnly)                                  \
    X(rfidModuleModel, 29, "RFID Module Model", readOnly)                                        \
    X(rfidModuleSkuType, 30, "RFID Module SKU Type", readOnly)                                   \
    X(engineModel, 31, "Engine Model", readOnly)                                                 \
    X(engineVersion, 32, "Engine Version", readOnly)                                             \
    X(findReplace, 33, "Find Replace", readWrite)                                                \
    X(triggerKeyStatus, 34, "Trigger Key Status", readWrite)                                     \
    X(autoConnection, 35, "Auto Connection", readWrite)                                          \
    X(settingByLabel, 36, "Setting By Label", readWrite)                                         \
    X(dataCollectionMode, 37, "Data Collection Mode", readWrite)                                 \
    X(gs1Ai, 38, "GS1 AI", readWrite)                                                            \
    X(dataSendingInterBlockDelay, 39, "Data Sending Inter-Block Delay", readWrite)               \
    X(hidInterCharacterDelay, 40, "HID Inter-Character Delay", readWrite)                        \
    X(hidKeyboardLanguage, 41, "HID Keyboard Language", readWrite)                               \
    X(hidKeyboardCase, 42, "HID Keyboard Case", readWrite)                                       \
    X(controlCharacterFilter, 43, "Control Character Filter", readWrite)                         \
    X(ledControl, 44, "LED Control", readWrite)                                                  \
    X(scannerIndicator, 45, "Scanner Indicator", readWrite)                                      \
    X(unpairBluetooth, 46, "Unpair Bluetooth", executable)                                       \
    X(deviceIndicator, 47, "Device Indicator", executable)                                       \
    X(startDecode, 48, "Start Decode", executable)                                               \
    X(stopDecode, 49, "Stop Decode", executable)                                                 \
    X(reboot, 50, "Reboot", executable)                                                          \
    X(stagingReset, 51, "Staging Reset", executable)                                             \
    X(skuType, 52, "SKU Type", readOnly)                                                         \
    X(connectionMode, 53, "Connection Mode", readWrite)                                          \
    X(ambientTemperature, 54, "Ambient Temperature", readOnly)                                   \
    X(paTemperature, 55, "PA Temperature", readOnly)                                             \
    X(ambientTemperatureProtection, 56, "Ambient Temperature Protection", readWrite)             \
    X(paTemperatureProtection, 57, "PA Temperature Protection", readWrite)                       \
    X(temperatureProtectionMode, 58, "Temperature Protection Mode", readWrite)                   \
    X(eventNotification, 59, "Event Notification", executable)                                   \
    X(retrieveBatchedData, 60, "Retrieve Batched Data", executable)                              \
    X(batteryStatusExtended, 61, "Battery Status Extended", readOnly)                            \
    X(inventoryDataWithCustomizedFormat, 62, "Inventory Data With Customized Format", readWrite) \
    X(scannerDataWithCustomizedFormat, 63, "Scanner Data With Customized Format", readWrite)

ORV_ENUM(DeviceParamId, uint8_t, ORV_DEVICE_PARAM_ID);

// UHF operations and radio settings; the fourth column is the id's AccessMode.
#define ORV_UHF_PARAM_ID(X)                                                                 \
    X(inventory, 0, "Inventory", executable)                                                \
    X(readMemory, 1, "Read Memory", executable)                                             \
    X(writeMemory, 2, "Write Memory", executable)                                           \
    X(lockTag, 3, "Lock Tag", executable)                                                   \
    X(permaLockTag, 4, "Perma Lock Tag", executable)                                        \
    X(killTag, 5, "Kill Tag", executable)                                                   \
    X(stop, 6, "Stop", executable)                                                          \
    X(powerRange, 7, "Power Range", readOnly)                                               \
    X(power, 8, "Power", readWrite)                                                         \
    X(continuousMode, 9, "Continuous Mode", readWrite)                                      \
    X(supportedGlobalBand, 10, "Supported Global Band", readOnly)                           \
    X(globalBand, 11, "Global Band", readWrite)                                             \
    X(inventoryTime, 12, "Inventory Time", readWrite)                                       \
    X(idleTime, 13, "Idle Time", readWrite)                                                 \
    X(algorithmType, 14, "Algorithm Type", readWrite)                                       \
    X(startQ, 15, "Start Q", readWrite)                                                     \
    X(maxQ, 16, "Max Q", readWrite)                                                         \
    X(minQ, 17, "Min Q", readWrite)                                                         \
    X(target, 18, "Target", readWrite)                                                      \
    X(session, 19, "Session", readWrite)                                                    \
    X(selectMaskMaxSize, 20, "Select Mask Max Size", readOnly)                              \
    X(selectMask, 21, "Select Mask", readWrite)                                             \
    X(selectMode, 22, "Select Mode", readWrite)                                             \
    X(encoding, 23, "Encoding", readWrite)                                                  \
    X(tari, 24, "TARI", readWrite)                                                          \
    X(blf, 25, "BLF", readWrite)                                                            \
    X(toggleTarget, 26, "Toggle Target", readWrite)                                         \
    X(fastMode, 27, "Fast Mode", readWrite)                                                 \
    X(rfidConfig, 28, "RFID Config", readWrite)                                             \
    X(inventoryWithUserSpecifiedData, 29, "Inventory With User Specified Data", executable) \
    X(blockWriteMemory, 30, "Block Write Memory", executable)                               \
    X(dwellTime, 31, "Dwell Time", readWrite)                                               \
    X(rfMode, 32, "RF Mode", readWrite)                                                     \
    X(lbt, 33, "LBT", readWrite)                                                            \
    X(fastId, 34, "Fast ID", readWrite)                                                     \
    X(tagFocus, 35, "Tag Focus", readWrite)                                                 \
    X(fixedFrequency, 36, "Fixed Frequency", readWrite)                                     \
    X(phaseData, 37, "Phase Data", readWrite)                                               \
    X(powerSavingMode, 38, "Power Saving Mode", readWrite)                                  \
    X(lbtConfigure, 39, "LBT Configure", readWrite)                                         \
    X(antennaSwitchingMode, 40, "Antenna Switching Mode", readWrite)                        \
    X(frequencySwitchingMode, 41, "Frequency Switching Mode", readWrite)                    \
    X(configurationStorageMode, 42, "Configuration Storage Mode", readWrite)                \
    X(cwOn, 43, "CW On", executable)                                                        \
    X(cwOff, 44, "CW Off", executable)                                                      \
    X(txRandomData, 45, "TX Random Data", executable)                                       \
    X(blockPermaLock, 46, "Block Perma Lock", executable)                                   \
    X(authenticate, 47, "Authenticate", executable)

ORV_ENUM(UhfParamId, uint8_t, ORV_UHF_PARAM_ID);

namespace detail {

#define ORV_ACCESS_COLUMN_(name, raw, text, access) AccessMode::access,

// Access modes in declaration order; the ids run 0, 1, 2... so an id's raw value indexes them.
template <TabledEnum E, std::size_t N>
constexpr AccessMode accessModeAt(E id, const AccessMode (&modes)[N]) {
    static_assert(N == enumCount<E>);
    const auto index = rawValue(id);
    // An id outside the table (only reachable through a cast) is never written nor run.
    return index < N ? modes[index] : AccessMode::readOnly;
}

template <TabledEnum E>
constexpr bool rawValuesAreIndexes() {
    for (std::size_t i = 0; i < enumCount<E>; ++i) {
        if (rawValue(EnumTable<E>::entries[i].value) != i) return false;
    }
    return true;
}

inline constexpr AccessMode kDeviceParamAccess[] = {ORV_DEVICE_PARAM_ID(ORV_ACCESS_COLUMN_)};
inline constexpr AccessMode kUhfParamAccess[] = {ORV_UHF_PARAM_ID(ORV_ACCESS_COLUMN_)};

#undef ORV_ACCESS_COLUMN_

static_assert(rawValuesAreIndexes<DeviceParamId>() && rawValuesAreIndexes<UhfParamId>());

}  // namespace detail

// The AccessMode of a reader setting.
constexpr AccessMode accessMode(DeviceParamId id) {
    return detail::accessModeAt(id, detail::kDeviceParamAccess);
}

// The AccessMode of a UHF operation or radio setting.
constexpr AccessMode accessMode(UhfParamId id) {
    return detail::accessModeAt(id, detail::kUhfParamAccess);
}

// What the reader is doing, as the action-changed event reports it. Signed raw values; the
// set is sparse (0, 3, 5, 7, 9-15, 0x10001, 0x20004, 0x30001).
#define ORV_ACTION_STATE(X)                           \
    X(stop, 0, "Stop")                                \
    X(inventory, 3, "Inventory")                      \
    X(readMemory, 5, "Read Memory")                   \
    X(writeMemory, 7, "Write Memory")                 \
    X(lock, 9, "Lock")                                \
    X(permanentLock, 10, "Permanent Lock")            \
    X(kill, 11, "Kill")                               \
    X(blockErase, 12, "Block Erase")                  \
    X(blockWrite, 13, "Block Write")                  \
    X(blockPermanentLock, 14, "Block Permanent Lock") \
    X(authenticate, 15, "Authenticate")               \
    X(decoding, 0x10001, "Decoding")                  \
    X(defaultParameter, 0x20004, "Default Parameter") \
    X(inventoryAndDecode, 0x30001, "Inventory and Decode")

ORV_ENUM(ActionState, int32_t, ORV_ACTION_STATE);

// The kind of a notification event.
#define ORV_NOTIFICATION_ID(X)                            \
    X(unknown, 0, "Unknown")                              \
    X(lowBattery, 1, "Low Battery")                       \
    X(log, 2, "Log")                                      \
    X(temperatureTooHigh, 3, "Temperature Too High")      \
    X(paTemperatureTooHigh, 4, "PA Temperature Too High") \
    X(ambientTemperatureTooHigh, 5, "Ambient Temperature Too High")

ORV_ENUM(NotificationID, uint8_t, ORV_NOTIFICATION_ID);

#define ORV_SCANNER_DATA_FORMAT(X)    \
    X(barcodeData, 0, "Barcode Data") \
    X(codeId, 1, "Code ID")           \
    X(timestamp, 2, "Timestamp")

ORV_ENUM(ScannerDataFormat, uint8_t, ORV_SCANNER_DATA_FORMAT);

#define ORV_CONNECTION_MODE(X)                                   \
    X(bluetoothHid, 0, "Bluetooth HID (Human Interface Device)") \
    X(bluetoothSpp, 1, "Bluetooth SPP (Serial Port Profile)")    \
    X(usbHid, 2, "USB HID (Human Interface Device)")             \
    X(usbSpp, 3, "USB SPP (Serial Port Profile)")                \
    X(bleHid, 4, "Bluetooth Low Energy (BLE) HID")               \
    X(bleSpp, 5, "Bluetooth Low Energy (BLE) SPP")               \
    X(bufferMode, 6, "Buffer Mode")

ORV_ENUM(ConnectionMode, uint8_t, ORV_CONNECTION_MODE);

#define ORV_HID_INTER_CHARACTER_DELAY(X) \
    X(delay1ms, 0, "Delay 1ms")          \
    X(delay5ms, 1, "Delay 5ms")          \
    X(delay10ms, 2, "Delay 10ms")        \
    X(delay20ms, 3, "Delay 20ms")        \
    X(delay50ms, 4, "Delay 50ms")        \
    X(delay100ms, 5, "Delay 100ms")

ORV_ENUM(HidInterCharacterDelay, uint8_t, ORV_HID_INTER_CHARACTER_DELAY);

#define ORV_FIND_DEVICE_MODE(X) \
    X(off, 0, "Off")            \
    X(vibrator, 1, "Vibrator")  \
    X(beep, 2, "Beep")          \
    X(vibratorAndBeep, 3, "Vibrator and Beep")

ORV_ENUM(FindDeviceMode, uint8_t, ORV_FIND_DEVICE_MODE);

#define ORV_DATA_FORMAT(X) \
    X(hex, 0, "HEX")       \
    X(ascii, 1, "ASCII")

ORV_ENUM(DataFormat, uint8_t, ORV_DATA_FORMAT);

#define ORV_DATA_INFO(X) \
    X(epc, 0, "EPC")     \
    X(user, 1, "User")   \
    X(tid, 2, "TID")

ORV_ENUM(DataInfo, uint8_t, ORV_DATA_INFO);

#define ORV_TAG_UNIQUE(X) \
    X(epc, 0, "EPC")      \
    X(tagInfo, 1, "Tag Info")

ORV_ENUM(TagUnique, uint8_t, ORV_TAG_UNIQUE);

// The transport kind a reader reports; every transport reports `accessory`. No display text.
#define ORV_CONNECT_TYPE(X) \
    X(unspecified, 0, "")   \
    X(accessory, 1, "")

ORV_ENUM(ConnectType, uint8_t, ORV_CONNECT_TYPE);

}  // namespace orvane
