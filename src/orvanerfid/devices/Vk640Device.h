#pragma once

// The device of the Vk640 reader: ST25RU3993 host packets through the reader's Vk640 protocol,
// no scan engine. Settings travel as TLV records under the reader's own command group; the
// identity items have subcodes of their own.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/devices/BaseDevice.h"

namespace orvane {

class STPacket;

// Threads: as BaseDevice. Operations block the caller for one exchange (3000 ms) under the
// protocol's send lock; the write-only commands (Find Device, the display, App Bundle ID,
// Bluetooth simple pairing, operating mode, factory reset, shutdown) only write and return. No
// lock of its own; the supported list is fixed at construction.
class Vk640Device : public BaseDevice {
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

    std::string getFirmwareVersion() override;
    BatteryStatus getBatteryState() override;
    DataTerminator getDataTerminator() override;
    // None, CRLF and Tab only (others: 0x4001).
    void setDataTerminator(DataTerminator value) override;
    // An operating-mode byte without a mode (2) answers 0x5000.
    OperatingMode getOperationMode() override;
    void setOperationMode(OperatingMode value) override;
    unsigned getAutoOffTime() override;
    // One of autoOffTimeList() (others: 0x5002).
    void setAutoOffTime(unsigned value) override;
    BeeperVolume getBeeperVolume() override;
    void setBeeperVolume(BeeperVolume value) override;
    bool getVibrator() override;
    void setVibrator(bool value) override;
    std::string getAppBundleId() override;
    // At most 32 bytes of UTF-8 (longer: 0x4003).
    void setAppBundleId(std::string value) override;
    void factoryReset() override;
    // Degrees Celsius; the reader's byte is signed, so cold readings are negative.
    double getTemperature() override;
    DeviceDate getSystemTime() override;
    void setSystemTime(DeviceDate value) override;
    ReadMode getReadMode() override;
    // Multi-Read needs firmware 1.1.7 (0x4001 before).
    void setReadMode(ReadMode value) override;
    // A timeout above 255 seconds: 0x4003.
    void setFindDevice(FindDevice value) override;
    DataFormat getDataFormat() override;
    void setDataFormat(DataFormat value) override;
    DataInfo getDataInfo() override;
    void setDataInfo(DataInfo value) override;
    DataRange getDataRange() override;
    // Offset and length up to 0xFFFF (0x4003 above).
    void setDataRange(DataRange value) override;
    // Firmware 1.1.7 or later (0x4001 before).
    TagUnique getTagUnique() override;
    void setTagUnique(TagUnique value) override;
    // Firmware 1.1.9 or later (0x4001), charPosition 0-15 and linePosition 1-3 (0x4003).
    void setDisplayOutput(std::string text, uint8_t charPosition, bool clearScreen,
                          uint8_t linePosition) override;
    // Firmware 1.1.9 or later (0x4001); the setter takes minutes up to 255 and seconds up to
    // 59 (0x4003).
    ScreenOffTime getScreenOffTime() override;
    void setScreenOffTime(ScreenOffTime value) override;
    // Firmware 1.1.11 or later (0x4001); at most 64 bytes (0x4003), padded with zero bytes.
    Bytes getUserData() override;
    void setUserData(Bytes value) override;
    bool getBluetoothSecuritySimplePairing() override;
    void setBluetoothSecuritySimplePairing(bool value) override;
    void shutdown() override;
    // The protocol's inventory feedback flags; nothing is sent.
    InventoryIndicator getInventoryIndicator() override;
    void setInventoryIndicator(InventoryIndicator value) override;
    std::vector<unsigned> getAutoOffTimeList() override;
    std::string getBluetoothAddress() override;
    // The module's SKU; an unknown SKU is derived from the module's band.
    SkuType getSkuType() override;
    std::string getSerialNumber() override;
    // The model name compared exactly (letter case included) with "VK640" and "VK210".
    DeviceType getDeviceType() override;
    ConnectionMode getConnectionMode() override;
    // Bluetooth SPP, USB SPP and Buffer Mode only (others: 0x4001).
    void setConnectionMode(ConnectionMode value) override;

  protected:
    Bytes getBytePackage(const DeviceParam& deviceParam) override;
    Bytes setBytePackage(const DeviceParam& deviceParam) override;
    uint8_t getResponseCount(DeviceParamId id) override;
    std::vector<DeviceParam> responseDataToDeviceParam(
        ByteView data, const std::vector<DeviceParamId>& ids) override;
    void verifySetResult(ByteView data) override;

  private:
    // One get or set exchange: sends `request`, checks the reply and its status with `tag`,
    // and returns the reply parsed as Packet.
    template <class Packet>
    Packet exchangePacket(std::string_view tag, const Bytes& request);
    // Writes a request that has no reply to wait for.
    void writeOnly(const Bytes& request);
    // 0x4001 unless the transport's firmware is at least `minimum`.
    void requireFirmware(uint32_t minimum) const;
    // The operating-mode byte of a reply.
    OperatingMode readOperatingMode(std::string_view tag);
    // The value a reply packet of a multi-get carries for `id`; none for an id without a
    // decoder. Throws the packet's parse errors.
    std::optional<DeviceValue> decodeReply(DeviceParamId id, const STPacket& packet) const;
};

}  // namespace orvane
