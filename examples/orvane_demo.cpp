// A first tour of the SDK through what the shared library exports: discover an attached reader,
// read settings from their device text, and build and read a Vk640 packet.
//
// Built against the installed package (find_package(OrvaneRFID)), as an application would be.

#include <cstdio>
#include <memory>
#include <string>

#include "orvanerfid/orvanerfid.h"

namespace {

class Discovery : public orvane::DetectReaderDelegate {
  public:
    void didConnectReader(const std::shared_ptr<orvane::OrvaneDevice>& device) override {
        std::printf(
            "Discovered a reader:\n  manufacturer:  %s\n  name:          %s\n"
            "  model type:    %s\n  serial number: %s\n  firmware:      %s\n",
            device->manufacturer().c_str(), device->deviceName().c_str(),
            std::string(orvane::description(device->deviceType())).c_str(),
            device->serialNumber().c_str(), device->firmwareVersion().c_str());
        ++found;
    }
    void didDisconnectReader(const std::shared_ptr<orvane::OrvaneDevice>& device) override {
        std::printf("Reader detached: %s\n", device->serialNumber().c_str());
    }
    int found = 0;
};

}  // namespace

int main() {
    orvane::orvLogger::setShowNSLog(false);

    // An accessory as the platform would announce it (no session: this tour does not connect).
    auto accessory = std::make_shared<orvane::Accessory>(orvane::AccessoryInfo{
        "Orvane Technology", "VK640", "VK640", "DEMO-0001", "1.2.0", {"com.orvane.dcbridge"}});
    auto discovery = std::make_shared<Discovery>();
    auto detector = orvane::DetectReader::create();
    detector->setDelegate(discovery);
    detector->startDetect();
    orvane::AccessoryManager::shared().attach(accessory);

    // Reader settings travel as hex device text; each parameter reads its own form.
    const orvane::DeviceParam volume(orvane::DeviceParamId::beeperVolume);
    const auto high = volume.valueToAny("03");
    std::printf(
        "Beeper volume \"03\": %s\n",
        high ? std::string(orvane::description(std::get<orvane::BeeperVolume>(*high))).c_str()
             : "refused");
    std::printf("Beeper volume \"003\": %s\n", volume.valueToAny("003") ? "read" : "refused");
    const auto battery =
        orvane::BatteryStatusExtended::fromDeviceParameter("4008000000000FA0000007D0");
    std::printf("Battery:\n%s", battery.description().c_str());

    // A Vk640 setting packet: the request bytes, then the reader's reply read back.
    orvane::STUHFL_Beeper beeper;
    beeper.volume = orvane::BeeperVolume::high;
    std::printf("Beeper set request: %s\n", orvane::toHexString(beeper.setPacketBytes()).c_str());
    int status = discovery->found == 1 ? 0 : 1;
    try {
        const orvane::STUHFL_Beeper reply(*orvane::hexTextToData("80000000000010120003020103"));
        reply.checkStatus("setBeeper");
        std::printf("Beeper reply: %s\n", std::string(orvane::description(reply.volume)).c_str());
    } catch (const orvane::CodedError& e) {
        std::printf("Reply refused: %s\n", e.what());
        status = 1;
    }

    orvane::AccessoryManager::shared().detach(accessory);
    detector->stopDetect();
    return status;
}
