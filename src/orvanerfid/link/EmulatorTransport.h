#pragma once

#include <atomic>
#include <memory>

#include "orvanerfid/link/BaseTransport.h"

namespace orvane {

// Stands in for a reader when the descriptor is the emulator: it walks the connection states
// but carries no bytes (every write reports 0 bytes written, reads time out).
//
// Threads: no lock; `connect` and `disconnect` report each state on the calling thread before
// they return. `read` blocks its caller up to the timeout.
class EmulatorTransport : public BaseTransport {
  public:
    EmulatorTransport();

    DeviceType deviceType() const override { return DeviceType::vk640; }
    std::string deviceName() const override { return "VK640"; }

    // Connecting, then Connected, whatever the current state; true.
    bool connect() override;
    // Disconnecting, then Disconnected, whatever the current state; true.
    bool disconnect() override;
    // 0 at once when not connected or for a length below 1; -2 after the ERROR line
    // "Read data timeout" when the bytes do not arrive in time; 0x5002 for a buffer too small.
    int read(std::span<uint8_t> data, int offset, int length, int timeout) override;
    // Writes nothing: 0.
    int write(ByteView data, int offset, int length, int timeout) override;

  private:
    std::atomic<bool> connected_{false};
};

}  // namespace orvane
