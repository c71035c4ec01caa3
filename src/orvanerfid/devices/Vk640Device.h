#pragma once

// The device of the Vk640 reader: ST25RU3993 host packets through the reader's Vk640 protocol,
// no scan engine. Settings travel as TLV records under the reader's own command group; the
// identity items have subcodes of their own.

#include <memory>
#include <string>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/devices/BaseDevice.h"

namespace orvane {

// Threads: as BaseDevice. Operations block the caller for one exchange (3000 ms) under the
// protocol's send lock; the write-only commands (Find Device, the display, App Bundle ID,
// Bluetooth simple pairing, operating mode, factory reset, shutdown) only write and return. No
// lock of its own; the supported list is fixed at construction.
class ORVANE_API Vk640Device : public BaseDevice {
  public:
    // The oldest firmware with the Multi-Read mode and Tag Unique, with the display and the
    // screen-off time, and with the user data.
    static constexpr uint32_t kFirmwareTagUnique = 10107;
    static constexpr uint32_t kFirmwareDisplay = 10109;
    static constexpr uint32_t kFirmwareUserData = 10111;

    // A device on `protocol`, which runs on the reader's transport; the factory also makes the
    // device the protocol's delegate.
    static std::shared_ptr<Vk640Device> create(std::shared_ptr<BaseProtocol> protocol);
    // A device with a new Vk640Protocol on the reader's transport.
    static std::shared_ptr<Vk640Device> create(std::shared_ptr<BaseTransport> transport);
    explicit Vk640Device(std::shared_ptr<BaseProtocol> protocol);

    // The model's 27 supported settings with its defaults, built afresh at every call.
    static std::vector<DeviceParam> makeSupportedParameters();
    // The auto-off times (minutes) the reader accepts.
    static std::vector<unsigned> autoOffTimeList();

    // Reads the Bluetooth address and hands it to the delegate's macAddress; a failure is
    // logged ("initDevice error: ...") and thrown on.
    void initDevice() override;
    // Kind 2 (the radio module): 1, the ST25RU3993 module; nothing is sent. Other kinds: 0x4001.
    uint8_t getModuleInfo(uint8_t kind) override;
    // The temperature and battery requests in one write, both replies within 3000 ms; a
    // failure throws its result code.
    void triggerAlive() override;

    // The setting operations of the list (DeviceOperations.h), each routed to its row of the
    // model's one settings table, which the multi-setting hooks share. The rules a row applies
    // on every path, before anything is sent:
    //   Auto Off Time: one of autoOffTimeList() (others 0x5002).
    //   Read Mode: Multi-Read needs firmware 1.1.7 (0x4001 before).
    //   Find Device: a timeout above 255 seconds 0x4003.
    //   Data Range: offset and length up to 0xFFFF (0x4003 above).
    //   Data Terminator: None, CRLF and Tab only (others 0x4001).
    //   Tag Unique: firmware 1.1.7 or later (0x4001 before), read and write.
    //   Screen Off Time: firmware 1.1.9 or later (0x4001); minutes up to 255 and seconds up to
    //     59 (0x4003).
    //   User Data: firmware 1.1.11 or later (0x4001); at most 64 bytes (0x4003), padded with
    //     zero bytes.
    //   App Bundle ID: at most 32 bytes of UTF-8 (longer 0x4003).
    //   Connection Mode: Bluetooth SPP, USB SPP and Buffer Mode only (others 0x4001).
    // Temperature is in degrees Celsius; the reader's byte is signed, so cold readings are
    // negative. The SKU type of an unknown SKU is derived from the module's band; the model name
    // is compared exactly (letter case included) with "VK640" and "VK210"; the Auto Off Time List
    // and the Inventory Indicator (the protocol's feedback flags) send nothing.
    ORV_DEVICE_DECLARE_ROW_OPERATIONS()

    // An operating-mode byte without a mode (2) answers 0x5000.
    OperatingMode getOperationMode() override;
    void setOperationMode(OperatingMode value) override;
    // Firmware 1.1.9 or later (0x4001), charPosition 0-15 and linePosition 1-3 (0x4003).
    void setDisplayOutput(std::string text, uint8_t charPosition, bool clearScreen,
                          uint8_t linePosition) override;

  protected:
    Bytes getBytePackage(const DeviceParam& deviceParam) override;
    Bytes setBytePackage(const DeviceParam& deviceParam) override;
    uint8_t getResponseCount(DeviceParamId id) override;
    std::vector<DeviceParam> responseDataToDeviceParam(
        ByteView data, const std::vector<DeviceParamId>& ids) override;
    void verifySetResult(ByteView data) override;

  private:
    // The single read and write of a setting through its row; 0x4001 without a row.
    DeviceValue readRow(DeviceParamId id);
    void writeRow(DeviceParamId id, const DeviceValue& value);
    // Writes a request that has no reply to wait for.
    void writeOnly(const Bytes& request);
    // 0x4001 unless the transport's firmware is at least `minimum`.
    void requireFirmware(uint32_t minimum) const;
    // The SKU, or for an unknown SKU the one of the module's band.
    SkuType readSkuType();
};

}  // namespace orvane
