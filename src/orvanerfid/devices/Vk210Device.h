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

    // The setting operations of the list (DeviceOperations.h), each routed to its row of the
    // model's settings table (Vk210Settings.h), one exchange each (3000 ms); a setting without a
    // row answers 0x4001. Beyond the rows:
    //   getRfidModuleSkuType: the SKU byte (1 U.S., 2 European, 4 Japanese); another byte is
    //     logged and gives unknown.
    //   getSkuType: the SKU byte, or, when it names none, the SKU of the region's band.
    //   getAmbientTemperatureProtection, getPaTemperatureProtection: whole degrees (the reader
    //     keeps tenths). A threshold above 85 degrees is reset to 85 on the reader and read as 85.
    //   getAutoOffTimeList: 0 to 480, without an exchange.
    ORV_DEVICE_DECLARE_ROW_OPERATIONS()

    // Upper Key and Lower Key only (0x4001 for another key).
    KeyFunction getKeyFunction(KeyID keyId) override;
    // The items asked for; a type that is none of the thirteen is refused with 0x4003.
    BatteryStatusExtended getBatteryStatusExtended(
        std::vector<BatteryStatusExtendedType> types) override;
    // Re-arms the scan engine's ready notification; 0x4001 without an engine.
    void setEngineReadyEvent() override;
    // Sends the file in blocks of 1000 bytes and installs it; see Vk210FirmwareUpdate.h for the
    // progress reports, abort and failures. The abort flag is not cleared here: the caller clears
    // it (set_abortUpdate(false)) as it accepts the update, before any abort may be asked for.
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
    // The single read and write of a setting through its row; 0x4001 without a row.
    DeviceValue readRow(DeviceParamId id);
    void writeRow(DeviceParamId id, const DeviceValue& value);
    // The SKU byte, or the SKU of the region's band when it names none.
    SkuType readSkuType();
    // A temperature threshold in whole degrees; above 85 it is reset to 85 on the reader.
    uint16_t getProtection(DeviceParamId id, std::string_view debugText);
};

}  // namespace orvane
