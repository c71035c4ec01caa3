#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/platform/Accessory.h"

namespace orvane {

// True when `text` contains `word` anywhere, ignoring ASCII letter case.
bool containsIgnoringCase(std::string_view text, std::string_view word);

// The descriptor of one reader: an attached accessory, or the emulator.
//
// A plain value holder: every property reads the accessory afresh. Thread-safe.
class ORVANE_API OrvaneDevice {
  public:
    static constexpr std::string_view emulatorProtocolString = "com.orvane.lumora.dcbridge";

    // The emulator descriptor.
    OrvaneDevice() : emulator_(true) {}
    // The descriptor of an attached accessory.
    explicit OrvaneDevice(std::shared_ptr<Accessory> accessory)
        : emulator_(false), eaaccessory_(std::move(accessory)) {}

    bool emulator() const { return emulator_; }
    std::shared_ptr<Accessory> eaaccessory() const;
    void setEaaccessory(std::shared_ptr<Accessory> accessory);

    std::string manufacturer() const;
    std::string deviceName() const;
    std::string firmwareVersion() const;
    int64_t connectionID() const;
    std::vector<std::string> protocolStrings() const;
    DeviceType deviceType() const;
    std::string serialNumber() const;
    // The first protocol string; empty when there is none.
    std::string protocolString() const;

  private:
    const bool emulator_;
    mutable std::mutex lock_;
    std::shared_ptr<Accessory> eaaccessory_;
};

}  // namespace orvane
