#pragma once

// The device object of the Vk210 reader (device type 2): a UHF radio module and, usually, a
// barcode scan engine, spoken to through the Vk210 command frame.
//
// Threads: as BaseDevice. initDevice() runs on the reader's initialisation queue, triggerAlive()
// on its keep-alive queue, every other operation on the caller's thread; they may overlap and
// meet only in the protocol's send, which keeps exchanges apart on the wire. firmwareUpdate()
// blocks for the whole transfer (each block up to 5 s, the install up to 30 s) and reports its
// progress to the delegate on its own thread; set_abortUpdate(true) from any thread ends it at
// the next test point. The device takes no lock of its own beyond BaseDevice's.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/devices/BaseDevice.h"

namespace orvane {

// The settings of this reader that the device reaches through its table of setting rows, one
// exchange each (3000 ms): GET(setting, Value, name), SET(setting, Value, name),
// ACTION(setting, name), as in DeviceOperations.h.
// clang-format off
#define ORV_VK210_ROW_OPERATIONS(GET, SET, ACTION)                                            \
    GET(firmwareVersion, std::string, getFirmwareVersion)                                     \
    GET(batteryStatus, BatteryStatus, getBatteryState)                                        \
    GET(dataTerminator, DataTerminator, getDataTerminator)                                    \
    SET(dataTerminator, DataTerminator, setDataTerminator)                                    \
    GET(autoOffTime, unsigned, getAutoOffTime)                                                \
    SET(autoOffTime, unsigned, setAutoOffTime)                                                \
    GET(beeperVolume, BeeperVolume, getBeeperVolume)                                          \
    SET(beeperVolume, BeeperVolume, setBeeperVolume)                                          \
    GET(appBundleId, std::string, getAppBundleId)                                             \
    SET(appBundleId, std::string, setAppBundleId)                                             \
    ACTION(factoryReset, factoryReset)                                                        \
    GET(temperature, double, getTemperature)                                                  \
    GET(systemTime, DeviceDate, getSystemTime)                                                \
    SET(systemTime, DeviceDate, setSystemTime)                                                \
    GET(rfidModuleFirmware, std::string, getRfidModuleFirmware)                               \
    GET(rfidModuleModel, UhfModuleType, getRfidModuleModel)                                   \
    GET(engineModel, EngineModel, getEngineModel)                                             \
    GET(engineVersion, std::string, getEngineVersion)                                         \
    GET(bluetoothAddress, std::string, getBluetoothAddress)                                   \
    GET(bluetoothName, std::string, getBluetoothName)                                         \
    GET(findReplace, FindReplace, getFindReplace)                                             \
    SET(findReplace, FindReplace, setFindReplace)                                             \
    SET(triggerKeyStatus, TriggerKeyStatus, setKeyFunction)                                   \
    GET(autoConnection, bool, getAutoConnection)                                              \
    SET(autoConnection, bool, setAutoConnection)                                              \
    GET(settingByLabel, bool, getSettingByLabel)                                              \
    SET(settingByLabel, bool, setSettingByLabel)                                              \
    GET(dataCollectionMode, DataCollectionMode, getDataCollectionMode)                        \
    SET(dataCollectionMode, DataCollectionMode, setDataCollectionMode)                        \
    GET(gs1Ai, Gs1Ai, getGs1Ai)                                                               \
    SET(gs1Ai, Gs1Ai, setGs1Ai)                                                               \
    GET(dataSendingInterBlockDelay, DataSendingInterBlockDelay, getDataSendingInterBlockDelay) \
    SET(dataSendingInterBlockDelay, DataSendingInterBlockDelay, setDataSendingInterBlockDelay) \
    GET(hidInterCharacterDelay, HidInterCharacterDelay, getHidInterCharacterDelay)            \
    SET(hidInterCharacterDelay, HidInterCharacterDelay, setHidInterCharacterDelay)            \
    GET(hidKeyboardLanguage, HidKeyboardLanguage, getHidKeyboardLanguage)                     \
    SET(hidKeyboardLanguage, HidKeyboardLanguage, setHidKeyboardLanguage)                     \
    GET(hidKeyboardCase, HidKeyboardCase, getHidKeyboardCase)                                 \
    SET(hidKeyboardCase, HidKeyboardCase, setHidKeyboardCase)                                 \
    GET(controlCharacterFilter, ControlCharacterFilter, getControlCharacterFilter)            \
    SET(controlCharacterFilter, ControlCharacterFilter, setControlCharacterFilter)            \
    GET(ledControl, bool, getLedControl)                                                      \
    SET(ledControl, bool, setLedControl)                                                      \
    GET(scannerIndicator, ScannerIndicator, getScannerIndicator)                              \
    SET(scannerIndicator, ScannerIndicator, setScannerIndicator)                              \
    ACTION(unpairBluetooth, unpairBluetooth)                                                  \
    SET(deviceIndicator, DeviceIndicator, setDeviceIndicator)                                 \
    ACTION(startDecode, startDecode)                                                          \
    ACTION(stopDecode, stopDecode)                                                            \
    ACTION(reboot, reboot)                                                                    \
    ACTION(stagingReset, stagingReset)                                                        \
    GET(serialNumber, std::string, getSerialNumber)                                           \
    GET(deviceType, DeviceType, getDeviceType)                                                \
    GET(connectionMode, ConnectionMode, getConnectionMode)                                    \
    SET(connectionMode, ConnectionMode, setConnectionMode)                                    \
    GET(ambientTemperature, double, getAmbientTemperature)                                    \
    GET(paTemperature, double, getPaTemperature)                                              \
    SET(ambientTemperatureProtection, uint16_t, setAmbientTemperatureProtection)              \
    SET(paTemperatureProtection, uint16_t, setPaTemperatureProtection)                        \
    GET(temperatureProtectionMode, TemperatureProtectionMode, getTemperatureProtectionMode)   \
    SET(temperatureProtectionMode, TemperatureProtectionMode, setTemperatureProtectionMode)   \
    SET(eventNotification, EventNotification, setEventNotification)                           \
    ACTION(retrieveBatchedData, retrieveBatchedData)                                          \
    GET(inventoryDataWithCustomizedFormat, std::vector<InventoryDataFormat>, getInventoryDataFormat) \
    SET(inventoryDataWithCustomizedFormat, std::vector<InventoryDataFormat>, setInventoryDataFormat) \
    GET(scannerDataWithCustomizedFormat, std::vector<ScannerDataFormat>, getScannerDataFormat) \
    SET(scannerDataWithCustomizedFormat, std::vector<ScannerDataFormat>, setScannerDataFormat)
// clang-format on

class Vk210Device : public BaseDevice {
  public:
    // The exchange timeout of the keep-alive, in milliseconds.
    static constexpr int kAliveTimeout = 800;

    // A device on the reader's transport, with a new Vk210 protocol whose delegate it is.
    static std::shared_ptr<Vk210Device> create(std::shared_ptr<BaseTransport> transport);
    // A device speaking through `protocol` (a Vk210 protocol on the reader's transport), made
    // that protocol's delegate.
    static std::shared_ptr<Vk210Device> create(std::shared_ptr<BaseProtocol> protocol);

    // The 48 settings this reader supports, in id order, with this reader's defaults; every
    // entry for every firmware version. Needs no device.
    static std::vector<DeviceParam> makeSupportedParameters();

    // Switches on the batch-data and key notifications, asks for the scan engine (a reply with
    // status 0xE1 means there is none: hasEngine() becomes false and the exchange ends there)
    // and has barcodes sent with their code id. Throws the first failure.
    void initDevice() override;
    // Kind 1: the engine model's raw value; kind 0: 0x4001; any other kind: the radio module
    // type's raw value.
    uint8_t getModuleInfo(uint8_t kind) override;
    // The PA temperature and battery requests in one write; both replies within 800 ms, else
    // ReaderException with the send's code.
    void triggerAlive() override;

#define ORV_VK210_DECLARE_GET_(setting, Value, name) Value name() override;
#define ORV_VK210_DECLARE_SET_(setting, Value, name) void name(Value value) override;
#define ORV_VK210_DECLARE_ACTION_(setting, name) void name() override;
    ORV_VK210_ROW_OPERATIONS(ORV_VK210_DECLARE_GET_, ORV_VK210_DECLARE_SET_,
                             ORV_VK210_DECLARE_ACTION_)
#undef ORV_VK210_DECLARE_GET_
#undef ORV_VK210_DECLARE_SET_
#undef ORV_VK210_DECLARE_ACTION_

    // The SKU byte (1 U.S., 2 European, 4 Japanese); another byte is logged and gives unknown.
    SkuType getRfidModuleSkuType() override;
    // The SKU byte, or, when it names none, the SKU of the region's band.
    SkuType getSkuType() override;
    // Whole degrees (the reader keeps tenths). A threshold above 85 degrees is reset to 85 on
    // the reader and read as 85.
    uint16_t getAmbientTemperatureProtection() override;
    uint16_t getPaTemperatureProtection() override;
    // Upper Key and Lower Key only (0x4001 for another key).
    KeyFunction getKeyFunction(KeyID keyId) override;
    // The items asked for; a type that is none of the thirteen is refused with 0x4003.
    BatteryStatusExtended getBatteryStatusExtended(
        std::vector<BatteryStatusExtendedType> types) override;
    // 0 to 480, without an exchange.
    std::vector<unsigned> getAutoOffTimeList() override;
    // Re-arms the scan engine's ready notification; 0x4001 without an engine.
    void setEngineReadyEvent() override;
    // Sends the file in blocks of 1000 bytes and installs it; see Vk210FirmwareUpdate.h for the
    // progress reports, abort and failures.
    void firmwareUpdate(std::string fileName, Bytes file) override;

  protected:
    explicit Vk210Device(std::shared_ptr<BaseProtocol> protocol);

    Bytes getBytePackage(const DeviceParam& deviceParam) override;
    // A value the single operation would refuse is skipped with a WARN line.
    Bytes setBytePackage(const DeviceParam& deviceParam) override;
    std::vector<DeviceParam> responseDataToDeviceParam(
        ByteView data, const std::vector<DeviceParamId>& ids) override;
    void verifySetResult(ByteView data) override;

  private:
    DeviceValue read(DeviceParamId id);
    void write(DeviceParamId id, const DeviceValue& value);
    uint16_t getProtection(DeviceParamId id, std::string_view debugText);
};

}  // namespace orvane
