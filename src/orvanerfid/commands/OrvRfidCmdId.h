#pragma once

// The command vocabulary of the Vk210 command frame: command codes and reply status bytes.

#include <cstdint>

#include "orvanerfid/core/Enum.h"

namespace orvane {

// Commands of the Vk210 frame with their 16-bit codes (the CMD field). The high byte names a
// group; in group 0x01 a setting's get code is even and its set code the next odd value. There
// is no display text: messages print the case name. Declaration order is not code order.
#define ORV_RFID_CMD_ID(X)                                 \
    X(firmware, 0x0021, "")                                \
    X(modelName, 0x0022, "")                               \
    X(serialNumber, 0x0024, "")                            \
    X(skuId, 0x0025, "")                                   \
    X(ambientTemperature, 0x0028, "")                      \
    X(paTemperature, 0x0029, "")                           \
    X(resetDevice, 0x002F, "")                             \
    X(rfidModuleFirmware, 0x0031, "")                      \
    X(rfidModuleModel, 0x0032, "")                         \
    X(rfidModuleSkuId, 0x0035, "")                         \
    X(inventory, 0x0080, "")                               \
    X(cancel, 0x0081, "")                                  \
    X(read, 0x0082, "")                                    \
    X(write, 0x0083, "")                                   \
    X(lock, 0x0084, "")                                    \
    X(kill, 0x0085, "")                                    \
    X(blockPermaLock, 0x0087, "")                          \
    X(authenticate, 0x0088, "")                            \
    X(blockWrite, 0x0086, "")                              \
    X(select, 0x008A, "")                                  \
    X(inventoryWithUserSpecifiedData, 0x008B, "")          \
    X(inventoryData, 0x00C0, "")                           \
    X(inventoryDataWithTid, 0x00C1, "")                    \
    X(inventoryDataWithUserSpecifiedData, 0x00C2, "")      \
    X(inventoryDataPhase, 0x00B0, "")                      \
    X(inventoryDataPhaseWithTid, 0x00B1, "")               \
    X(inventoryDataPhaseWithUserSpecifiedData, 0x00B2, "") \
    X(inventoryDataWithCustomizedFormat, 0x00A0, "")       \
    X(inventoryStatus, 0x00C7, "")                         \
    X(tagAccessData, 0x00C8, "")                           \
    X(operationError, 0x00D0, "")                          \
    X(systemError, 0x00D1, "")                             \
    X(getRegion, 0x0100, "")                               \
    X(setRegion, 0x0101, "")                               \
    X(getAntennaSettings, 0x0102, "")                      \
    X(setAntennaSettings, 0x0103, "")                      \
    X(getAntennaState, 0x0104, "")                         \
    X(setAntennaState, 0x0105, "")                         \
    X(getRfMode, 0x0106, "")                               \
    X(setRfMode, 0x0107, "")                               \
    X(getGen2Algorithm, 0x0108, "")                        \
    X(setGen2Algorithm, 0x0109, "")                        \
    X(getGen2QueryGroup, 0x010A, "")                       \
    X(setGen2QueryGroup, 0x010B, "")                       \
    X(getBiStaticAntennaSetting, 0x010C, "")               \
    X(setBiStaticAntennaSetting, 0x010D, "")               \
    X(getLbt, 0x0110, "")                                  \
    X(setLbt, 0x0111, "")                                  \
    X(getFastId, 0x0112, "")                               \
    X(setFastId, 0x0113, "")                               \
    X(getTagFocus, 0x0114, "")                             \
    X(setTagFocus, 0x0115, "")                             \
    X(getRfidOperationMode, 0x0116, "")                    \
    X(setRfidOperationMode, 0x0117, "")                    \
    X(getFixedFrequency, 0x0118, "")                       \
    X(setFixedFrequency, 0x0119, "")                       \
    X(getTxOnOffTime, 0x011A, "")                          \
    X(setTxOnOffTime, 0x011B, "")                          \
    X(getPhaseData, 0x011C, "")                            \
    X(setPhaseData, 0x011D, "")                            \
    X(getAmbientTemperatureProtection, 0x0120, "")         \
    X(setAmbientTemperatureProtection, 0x0121, "")         \
    X(getPaTemperatureProtection, 0x0122, "")              \
    X(setPaTemperatureProtection, 0x0123, "")              \
    X(getTemperatureProtectionMode, 0x0124, "")            \
    X(setTemperatureProtectionMode, 0x0125, "")            \
    X(getInventoryDataWithCustomizedFormat, 0x0128, "")    \
    X(setInventoryDataWithCustomizedFormat, 0x0129, "")    \
    X(getSystemTime, 0x012A, "")                           \
    X(setSystemTime, 0x012B, "")                           \
    X(getPowerSavingMode, 0x0130, "")                      \
    X(setPowerSavingMode, 0x0131, "")                      \
    X(getUartDefaultBaudRate, 0x0150, "")                  \
    X(setUartDefaultBaudRate, 0x0151, "")                  \
    X(getGpioPinsConfiguration, 0x0180, "")                \
    X(setGpioPinsConfiguration, 0x0181, "")                \
    X(getGpioPinsState, 0x0182, "")                        \
    X(setGpioPinsState, 0x0183, "")                        \
    X(getLbtConfigure, 0x0190, "")                         \
    X(setLbtConfigure, 0x0191, "")                         \
    X(getAntennaSwitchingMode, 0x01A0, "")                 \
    X(setAntennaSwitchingMode, 0x01A1, "")                 \
    X(getFrequencySwitchingMode, 0x01A2, "")               \
    X(setFrequencySwitchingMode, 0x01A3, "")               \
    X(getConfigurationStorageMode, 0x01F0, "")             \
    X(setConfigurationStorageMode, 0x01F1, "")             \
    X(cwOn, 0x0F00, "")                                    \
    X(cwOff, 0x0F01, "")                                   \
    X(txRandomData, 0x0F02, "")                            \
    X(eventNotificationSetting, 0x0090, "")                \
    X(eventNotificationAntennaStatus, 0x00E0, "")          \
    X(eventNotificationLbtStatus, 0x00E1, "")              \
    X(eventNotificationBackupBatteryStatus, 0x00E2, "")    \
    X(eventNotificationEngineReadyStatus, 0x00E3, "")      \
    X(eventNotificationKeyEventStatus, 0x00E4, "")         \
    X(eventNotificationBatchDataStatus, 0x00E5, "")        \
    X(startFileTransfer, 0x6101, "")                       \
    X(sendFileData, 0x6102, "")                            \
    X(performFirmwareUdpate, 0x6103, "")                   \
    X(writeSerialNumber, 0x0300, "")                       \
    X(writeSkuId, 0x0301, "")                              \
    X(btAddress, 0xF051, "")                               \
    X(btName, 0xF052, "")                                  \
    X(btUnpair, 0xF053, "")                                \
    X(scannerData, 0xF080, "")                             \
    X(indicator, 0xF081, "")                               \
    X(batteryStatus, 0xF082, "")                           \
    X(startDecode, 0xF083, "")                             \
    X(stopDecode, 0xF084, "")                              \
    X(retrieveBatchedData, 0xF085, "")                     \
    X(getTriggerButtonStatus, 0xF090, "")                  \
    X(setTriggerButtonStatus, 0xF091, "")                  \
    X(scannerEngineParameter, 0xF094, "")                  \
    X(getDataAckSetting, 0xF096, "")                       \
    X(setDataAckSetting, 0xF097, "")                       \
    X(getAutoConnection, 0xF098, "")                       \
    X(setAutoConnection, 0xF099, "")                       \
    X(getBluetoothSignalCheckingLevelSetting, 0xF09A, "")  \
    X(setBluetoothSignalCheckingLevelSetting, 0xF09B, "")  \
    X(getDataTerminatorSetting, 0xF09C, "")                \
    X(setDataTerminatorSetting, 0xF09D, "")                \
    X(engineModel, 0xF025, "")                             \
    X(engineVersion, 0xF026, "")                           \
    X(getScannerDataSendMode, 0xF0A8, "")                  \
    X(setScannerDataSendMode, 0xF0A9, "")                  \
    X(getFindReplace, 0xF038, "")                          \
    X(setFindReplace, 0xF039, "")                          \
    X(getPreambleString, 0xF03A, "")                       \
    X(setPreambleString, 0xF03B, "")                       \
    X(getPostambleString, 0xF03C, "")                      \
    X(setPostambleString, 0xF03D, "")                      \
    X(getSettingByLabel, 0xF0A2, "")                       \
    X(setSettingByLabel, 0xF0A3, "")                       \
    X(getConnectionMode, 0xF0A4, "")                       \
    X(setConnectionMode, 0xF0A5, "")                       \
    X(getDataCollectionMode, 0xF0A6, "")                   \
    X(setDataCollectionMode, 0xF0A7, "")                   \
    X(getGs1AiSetting, 0xF0AA, "")                         \
    X(setGs1AiSetting, 0xF0AB, "")                         \
    X(getAutoPowerOffSetting, 0xF0AC, "")                  \
    X(setAutoPowerOffSetting, 0xF0AD, "")                  \
    X(getSaveBufferWhenPowerOffSetting, 0xF0AE, "")        \
    X(setSaveBufferWhenPowerOffSetting, 0xF0AF, "")        \
    X(getDataSendingInterBlockDelay, 0xF0B0, "")           \
    X(setDataSendingInterBlockDelay, 0xF0B1, "")           \
    X(getHidInterCharacterDelay, 0xF0B2, "")               \
    X(setHidInterCharacterDelay, 0xF0B3, "")               \
    X(getHidKeyboardLanguage, 0xF0B4, "")                  \
    X(setHidKeyboardLanguage, 0xF0B5, "")                  \
    X(getHidKeyboardCase, 0xF0B6, "")                      \
    X(setHidKeyboardCase, 0xF0B7, "")                      \
    X(getHidEncoding, 0xF0B8, "")                          \
    X(setHidEncoding, 0xF0B9, "")                          \
    X(getHidOutputTypeForUtf8Big5, 0xF0BA, "")             \
    X(setHidOutputTypeForUtf8Big5, 0xF0BB, "")             \
    X(getControlCharacterFilter, 0xF0BC, "")               \
    X(setControlCharacterFilter, 0xF0BD, "")               \
    X(getEndOfBatchSendingMessage, 0xF0BE, "")             \
    X(setEndOfBatchSendingMessage, 0xF0BF, "")             \
    X(getBeeperVolume, 0xF0C0, "")                         \
    X(setBeeperVolume, 0xF0C1, "")                         \
    X(getVibratorSetting, 0xF0C2, "")                      \
    X(setVibratorSetting, 0xF0C3, "")                      \
    X(getLedSetting, 0xF0C4, "")                           \
    X(setLedSetting, 0xF0C5, "")                           \
    X(getScannerIndicator, 0xF0C6, "")                     \
    X(setScannerIndicator, 0xF0C7, "")                     \
    X(getMfiSetting, 0xF0CE, "")                           \
    X(setMfiSetting, 0xF0CF, "")                           \
    X(batteryStatusExtended, 0xF08E, "")                   \
    X(getScannerDataWithCustomizedFormat, 0xF060, "")      \
    X(setScannerDataWithCustomizedFormat, 0xF061, "")      \
    X(scannerDataWithCustomizedFormat, 0xF0A0, "")         \
    X(executeMultipleSetting, 0xF08F, "")                  \
    X(executeResetDevice, 0xF02F, "")                      \
    X(unknown, 0xFFFF, "")

ORV_ENUM(OrvRfidCmdId, uint16_t, ORV_RFID_CMD_ID);

// The status byte that opens the data area of most replies.
#define ORV_RFID_CMD_STATUS(X)        \
    X(success, 0x00, "")              \
    X(busy, 0x01, "")                 \
    X(invalidParameters, 0x02, "")    \
    X(notSupport, 0x03, "")           \
    X(incorrectLength, 0x81, "")      \
    X(incorrectCrc, 0x82, "")         \
    X(incorrectEndOfPacket, 0x83, "") \
    X(timeout, 0x84, "")              \
    X(otherError, 0xE0, "")           \
    X(targetNotFound, 0xE1, "")       \
    X(unknown, 0xFF, "")

ORV_ENUM(OrvRfidCmdStatus, uint8_t, ORV_RFID_CMD_STATUS);

// Received frames of these commands carry no status byte: inventory data, event and error frames.
constexpr bool isStatusLess(OrvRfidCmdId id) {
    switch (id) {
        case OrvRfidCmdId::inventoryData:
        case OrvRfidCmdId::inventoryDataWithTid:
        case OrvRfidCmdId::inventoryDataWithUserSpecifiedData:
        case OrvRfidCmdId::inventoryDataPhase:
        case OrvRfidCmdId::inventoryDataPhaseWithTid:
        case OrvRfidCmdId::inventoryDataPhaseWithUserSpecifiedData:
        case OrvRfidCmdId::inventoryDataWithCustomizedFormat:
        case OrvRfidCmdId::inventoryStatus:
        case OrvRfidCmdId::tagAccessData:
        case OrvRfidCmdId::operationError:
        case OrvRfidCmdId::systemError:
        case OrvRfidCmdId::eventNotificationAntennaStatus:
        case OrvRfidCmdId::eventNotificationLbtStatus:
        case OrvRfidCmdId::eventNotificationBackupBatteryStatus:
        case OrvRfidCmdId::eventNotificationEngineReadyStatus:
        case OrvRfidCmdId::eventNotificationKeyEventStatus:
        case OrvRfidCmdId::eventNotificationBatchDataStatus:
        case OrvRfidCmdId::scannerData:
        case OrvRfidCmdId::scannerDataWithCustomizedFormat:
        case OrvRfidCmdId::executeMultipleSetting:
            return true;
        default:
            return false;
    }
}

}  // namespace orvane
