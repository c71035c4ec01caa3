#include "orvanerfid/link/OrvaneDevice.h"

#include "orvanerfid/core/Utilities.h"

#include <algorithm>
#include <cctype>

namespace orvane {
namespace {

char lowered(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

bool containsIgnoringCase(std::string_view text, std::string_view word) {
    return std::search(text.begin(), text.end(), word.begin(), word.end(),
                       [](char x, char y) { return lowered(x) == lowered(y); }) != text.end();
}

std::shared_ptr<Accessory> OrvaneDevice::eaaccessory() const {
    std::lock_guard guard(lock_);
    return eaaccessory_;
}

void OrvaneDevice::setEaaccessory(std::shared_ptr<Accessory> accessory) {
    std::lock_guard guard(lock_);
    eaaccessory_ = std::move(accessory);
}

std::string OrvaneDevice::manufacturer() const {
    if (emulator_) return "orvane emulator";
    auto accessory = eaaccessory();
    return accessory ? accessory->manufacturer() : std::string();
}

std::string OrvaneDevice::deviceName() const {
    if (emulator_) return "VK640";
    auto accessory = eaaccessory();
    return accessory ? accessory->name() : std::string();
}

std::string OrvaneDevice::firmwareVersion() const {
    if (emulator_) return "V1.0";
    auto accessory = eaaccessory();
    return accessory ? accessory->firmwareRevision() : std::string();
}

int64_t OrvaneDevice::connectionID() const {
    if (emulator_) return 1;
    auto accessory = eaaccessory();
    return accessory ? accessory->connectionID() : 0;
}

std::vector<std::string> OrvaneDevice::protocolStrings() const {
    if (emulator_) return {std::string(emulatorProtocolString)};
    auto accessory = eaaccessory();
    return accessory ? accessory->protocolStrings() : std::vector<std::string>();
}

DeviceType OrvaneDevice::deviceType() const {
    if (emulator_) return DeviceType::vk640;
    auto accessory = eaaccessory();
    return Utilities::getDeviceType(accessory ? accessory->modelNumber() : "Unknown");
}

std::string OrvaneDevice::serialNumber() const {
    if (emulator_) return "Emulator";
    auto accessory = eaaccessory();
    return accessory ? accessory->serialNumber() : std::string();
}

std::string OrvaneDevice::protocolString() const {
    auto strings = protocolStrings();
    return strings.empty() ? std::string() : strings.front();
}

}  // namespace orvane
