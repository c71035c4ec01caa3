#pragma once

// The per-setting operations of a device, declared once. BaseDevice turns the list into its
// virtual operations (each answering "Not Supported" with nothing sent), into the routing of
// a DeviceParamId to its operation, and the tests walk it to check every row. A model overrides
// the operations it supplies, as ordinary virtual functions.
//
// Row kinds, in the order of the device's table of operations:
//   GET(setting, Value, name)      Value name()          routed for reading `setting`
//   SET(setting, Value, name)      void name(Value)      routed for writing `setting`
//   ACTION(setting, name)          void name()           routed for executing `setting`
//   CALL(Result, name, Args...)    Result name(Args...)  not routed by its row (see BaseDevice)
// `setting` is the DeviceParamId case the operation belongs to.

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "orvanerfid/core/Battery.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/params/DeviceValue.h"

// clang-format off
#define ORV_DEVICE_OPERATIONS(GET, SET, ACTION, CALL)                                        \
    GET(firmwareVersion, std::string, getFirmwareVersion)                                    \
    GET(batteryStatus, BatteryStatus, getBatteryState)                                       \
    GET(dataTerminator, DataTerminator, getDataTerminator)                                   \
    SET(dataTerminator, DataTerminator, setDataTerminator)                                   \
    CALL(OperatingMode, getOperationMode)                                                    \
    CALL(void, setOperationMode, OperatingMode)                                              \
    GET(autoOffTime, unsigned, getAutoOffTime)                                               \
    SET(autoOffTime, unsigned, setAutoOffTime)                                               \
    GET(beeperVolume, BeeperVolume, getBeeperVolume)                                         \
    SET(beeperVolume, BeeperVolume, setBeeperVolume)                                         \
    GET(vibrator, bool, getVibrator)                                                         \
    SET(vibrator, bool, setVibrator)                                                         \
    GET(appBundleId, std::string, getAppBundleId)                                            \
    SET(appBundleId, std::string, setAppBundleId)                                            \
    ACTION(factoryReset, factoryReset)                                                       \
    GET(temperature, double, getTemperature)                                                 \
    GET(systemTime, DeviceDate, getSystemTime)                                               \
    SET(systemTime, DeviceDate, setSystemTime)                                               \
    GET(readMode, ReadMode, getReadMode)                                                     \
    SET(readMode, ReadMode, setReadMode)                                                     \
    SET(findDevice, FindDevice, setFindDevice)                                               \
    GET(dataFormat, DataFormat, getDataFormat)                                               \
    SET(dataFormat, DataFormat, setDataFormat)                                               \
    GET(dataInfo, DataInfo, getDataInfo)                                                     \
    SET(dataInfo, DataInfo, setDataInfo)                                                     \
    GET(dataRange, DataRange, getDataRange)                                                  \
    SET(dataRange, DataRange, setDataRange)                                                  \
    GET(tagUnique, TagUnique, getTagUnique)                                                  \
    SET(tagUnique, TagUnique, setTagUnique)                                                  \
    GET(hidCharacterDelay, unsigned, getHidCharacterDelay)                                   \
    SET(hidCharacterDelay, unsigned, setHidCharacterDelay)                                   \
    CALL(void, setDisplayOutput, std::string, uint8_t, bool, uint8_t)                        \
    GET(screenOffTime, ScreenOffTime, getScreenOffTime)                                      \
    SET(screenOffTime, ScreenOffTime, setScreenOffTime)                                      \
    GET(userData, Bytes, getUserData)                                                        \
    SET(userData, Bytes, setUserData)                                                        \
    GET(bluetoothSecuritySimplePairing, bool, getBluetoothSecuritySimplePairing)             \
    SET(bluetoothSecuritySimplePairing, bool, setBluetoothSecuritySimplePairing)             \
    ACTION(shutdown, shutdown)                                                               \
    GET(inventoryIndicator, InventoryIndicator, getInventoryIndicator)                       \
    SET(inventoryIndicator, InventoryIndicator, setInventoryIndicator)                       \
    GET(autoOffTimeList, std::vector<unsigned>, getAutoOffTimeList)                          \
    GET(rfidModuleFirmware, std::string, getRfidModuleFirmware)                              \
    GET(rfidModuleModel, UhfModuleType, getRfidModuleModel)                                  \
    GET(rfidModuleSkuType, SkuType, getRfidModuleSkuType)                                    \
    GET(engineModel, EngineModel, getEngineModel)                                            \
    GET(engineVersion, std::string, getEngineVersion)                                        \
    GET(bluetoothAddress, std::string, getBluetoothAddress)                                  \
    GET(bluetoothName, std::string, getBluetoothName)                                        \
    GET(findReplace, FindReplace, getFindReplace)                                            \
    SET(findReplace, FindReplace, setFindReplace)                                            \
    CALL(KeyFunction, getKeyFunction, KeyID)                                                 \
    SET(triggerKeyStatus, TriggerKeyStatus, setKeyFunction)                                  \
    GET(autoConnection, bool, getAutoConnection)                                             \
    SET(autoConnection, bool, setAutoConnection)                                             \
    GET(settingByLabel, bool, getSettingByLabel)                                             \
    SET(settingByLabel, bool, setSettingByLabel)                                             \
    GET(dataCollectionMode, DataCollectionMode, getDataCollectionMode)                       \
    SET(dataCollectionMode, DataCollectionMode, setDataCollectionMode)                       \
    GET(gs1Ai, Gs1Ai, getGs1Ai)                                                              \
    SET(gs1Ai, Gs1Ai, setGs1Ai)                                                              \
    GET(dataSendingInterBlockDelay, DataSendingInterBlockDelay, getDataSendingInterBlockDelay) \
    SET(dataSendingInterBlockDelay, DataSendingInterBlockDelay, setDataSendingInterBlockDelay) \
    GET(hidInterCharacterDelay, HidInterCharacterDelay, getHidInterCharacterDelay)           \
    SET(hidInterCharacterDelay, HidInterCharacterDelay, setHidInterCharacterDelay)           \
    GET(hidKeyboardLanguage, HidKeyboardLanguage, getHidKeyboardLanguage)                    \
    SET(hidKeyboardLanguage, HidKeyboardLanguage, setHidKeyboardLanguage)                    \
    GET(hidKeyboardCase, HidKeyboardCase, getHidKeyboardCase)                                \
    SET(hidKeyboardCase, HidKeyboardCase, setHidKeyboardCase)                                \
    GET(controlCharacterFilter, ControlCharacterFilter, getControlCharacterFilter)           \
    SET(controlCharacterFilter, ControlCharacterFilter, setControlCharacterFilter)           \
    GET(ledControl, bool, getLedControl)                                                     \
    SET(ledControl, bool, setLedControl)                                                     \
    GET(scannerIndicator, ScannerIndicator, getScannerIndicator)                             \
    SET(scannerIndicator, ScannerIndicator, setScannerIndicator)                             \
    ACTION(unpairBluetooth, unpairBluetooth)                                                 \
    SET(deviceIndicator, DeviceIndicator, setDeviceIndicator)                                \
    ACTION(startDecode, startDecode)                                                         \
    ACTION(stopDecode, stopDecode)                                                           \
    ACTION(reboot, reboot)                                                                   \
    ACTION(stagingReset, stagingReset)                                                       \
    GET(skuType, SkuType, getSkuType)                                                        \
    GET(serialNumber, std::string, getSerialNumber)                                          \
    GET(deviceType, DeviceType, getDeviceType)                                               \
    GET(connectionMode, ConnectionMode, getConnectionMode)                                   \
    SET(connectionMode, ConnectionMode, setConnectionMode)                                   \
    GET(ambientTemperature, double, getAmbientTemperature)                                   \
    GET(paTemperature, double, getPaTemperature)                                             \
    GET(ambientTemperatureProtection, uint16_t, getAmbientTemperatureProtection)             \
    SET(ambientTemperatureProtection, uint16_t, setAmbientTemperatureProtection)             \
    GET(paTemperatureProtection, uint16_t, getPaTemperatureProtection)                       \
    SET(paTemperatureProtection, uint16_t, setPaTemperatureProtection)                       \
    GET(temperatureProtectionMode, TemperatureProtectionMode, getTemperatureProtectionMode)  \
    SET(temperatureProtectionMode, TemperatureProtectionMode, setTemperatureProtectionMode)  \
    SET(eventNotification, EventNotification, setEventNotification)                          \
    ACTION(retrieveBatchedData, retrieveBatchedData)                                         \
    CALL(void, firmwareUpdate, std::string, Bytes)                                           \
    CALL(BatteryStatusExtended, getBatteryStatusExtended, std::vector<BatteryStatusExtendedType>) \
    GET(inventoryDataWithCustomizedFormat, std::vector<InventoryDataFormat>, getInventoryDataFormat) \
    SET(inventoryDataWithCustomizedFormat, std::vector<InventoryDataFormat>, setInventoryDataFormat) \
    GET(scannerDataWithCustomizedFormat, std::vector<ScannerDataFormat>, getScannerDataFormat) \
    SET(scannerDataWithCustomizedFormat, std::vector<ScannerDataFormat>, setScannerDataFormat) \
    CALL(void, setEngineReadyEvent)
// clang-format on

// A model whose settings are rows of a table overrides every GET, SET and ACTION operation of
// the list at once: each routes its setting to the model's `DeviceValue readRow(DeviceParamId)`
// and `void writeRow(DeviceParamId, const DeviceValue&)` (declared private), which answer
// "Not Supported" (0x4001, nothing sent) for a setting without a row. The rows alone decide what
// the model supports; the list of operations is never restated. The CALL operations stay
// hand-written.
#define ORV_DEVICE_ROW_DECLARE_GET_(setting, Value, name) Value name() override;
#define ORV_DEVICE_ROW_DECLARE_SET_(setting, Value, name) void name(Value value) override;
#define ORV_DEVICE_ROW_DECLARE_ACTION_(setting, name) void name() override;
#define ORV_DEVICE_ROW_SKIP_(...)
#define ORV_DEVICE_DECLARE_ROW_OPERATIONS()                                         \
    ORV_DEVICE_OPERATIONS(ORV_DEVICE_ROW_DECLARE_GET_, ORV_DEVICE_ROW_DECLARE_SET_, \
                          ORV_DEVICE_ROW_DECLARE_ACTION_, ORV_DEVICE_ROW_SKIP_)

// The definitions, in the model's source after `#define ORV_DEVICE_ROW_CLASS <Model>`.
#define ORV_DEVICE_ROW_DEFINE_GET_(setting, Value, name)                     \
    Value ORV_DEVICE_ROW_CLASS::name() {                                     \
        return ::orvane::rowValueAs<Value>(readRow(DeviceParamId::setting)); \
    }
#define ORV_DEVICE_ROW_DEFINE_SET_(setting, Value, name)                          \
    void ORV_DEVICE_ROW_CLASS::name(Value value) {                                \
        writeRow(DeviceParamId::setting, ::orvane::rowValueOf(std::move(value))); \
    }
#define ORV_DEVICE_ROW_DEFINE_ACTION_(setting, name)        \
    void ORV_DEVICE_ROW_CLASS::name() {                     \
        writeRow(DeviceParamId::setting, std::monostate{}); \
    }
#define ORV_DEVICE_DEFINE_ROW_OPERATIONS()                                        \
    ORV_DEVICE_OPERATIONS(ORV_DEVICE_ROW_DEFINE_GET_, ORV_DEVICE_ROW_DEFINE_SET_, \
                          ORV_DEVICE_ROW_DEFINE_ACTION_, ORV_DEVICE_ROW_SKIP_)

namespace orvane {

// An operation's value as the setting's DeviceValue and back; the two temperature protections
// travel as unsigned numbers.
template <class T>
T rowValueAs(DeviceValue value) {
    if constexpr (std::is_same_v<T, uint16_t>) {
        return static_cast<uint16_t>(std::get<unsigned>(value));
    } else {
        return std::get<T>(std::move(value));
    }
}
template <class T>
DeviceValue rowValueOf(T value) {
    if constexpr (std::is_same_v<T, uint16_t>) {
        return unsigned{value};
    } else {
        return DeviceValue(std::move(value));
    }
}

}  // namespace orvane
