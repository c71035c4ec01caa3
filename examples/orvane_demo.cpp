// A first tour of the SDK: attach a simulated VK210 reader as an accessory, discover it,
// connect the accessory transport, ask the reader for its firmware version and disconnect.

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/link/DetectReader.h"
#include "orvanerfid/link/EATransport.h"
#include "sim/SimAccessory.h"

namespace {

using orvane::Bytes;
using orvane::ByteView;

constexpr uint16_t kFirmwareVersion = 0x0021;

// A VK210 command frame: 0x02, LEN (command code + data + checksum), command code, data,
// checksum over LEN, command code and data, 0x03.
Bytes vk210Frame(uint16_t command, ByteView data) {
    Bytes frame{0x02};
    orvane::appendBe16(frame, static_cast<uint16_t>(data.size() + 4));
    orvane::appendBe16(frame, command);
    frame.insert(frame.end(), data.begin(), data.end());
    const Bytes sum = orvane::Utilities::getCheckSum(ByteView(frame).subspan(1));
    frame.insert(frame.end(), sum.begin(), sum.end());
    frame.push_back(0x03);
    return frame;
}

// The data area of a whole, valid VK210 frame; empty when the frame is not valid.
Bytes vk210Data(ByteView frame) {
    if (frame.size() < 8 || frame[0] != 0x02 || frame.back() != 0x03) return {};
    const std::size_t length = orvane::readBe16(frame, 1);
    if (length + 4 != frame.size()) return {};
    const Bytes sum = orvane::Utilities::getCheckSum(frame.subspan(1, length));
    if (sum[0] != frame[length + 1] || sum[1] != frame[length + 2]) return {};
    return Bytes(frame.begin() + 5, frame.begin() + static_cast<long>(length) + 1);
}

class Discovery : public orvane::DetectReaderDelegate {
  public:
    void didConnectReader(const std::shared_ptr<orvane::OrvaneDevice>& device) override {
        std::printf(
            "Discovered a reader:\n  manufacturer:  %s\n  name:          %s\n"
            "  model type:    %s\n  serial number: %s\n  firmware:      %s\n"
            "  connection:    %lld\n  protocol:      %s\n",
            device->manufacturer().c_str(), device->deviceName().c_str(),
            std::string(orvane::description(device->deviceType())).c_str(),
            device->serialNumber().c_str(), device->firmwareVersion().c_str(),
            static_cast<long long>(device->connectionID()), device->protocolString().c_str());
        std::lock_guard guard(lock_);
        found_ = device;
    }
    void didDisconnectReader(const std::shared_ptr<orvane::OrvaneDevice>& device) override {
        std::printf("Reader detached: %s\n", device->serialNumber().c_str());
    }
    std::shared_ptr<orvane::OrvaneDevice> found() const {
        std::lock_guard guard(lock_);
        return found_;
    }

  private:
    mutable std::mutex lock_;
    std::shared_ptr<orvane::OrvaneDevice> found_;
};

class StateLog : public orvane::TransportDelegate {
  public:
    void connectStateEvent(const orvane::ConnectStateEventArgs& args) override {
        std::printf("  %s\n", args.description().c_str());
    }
};

}  // namespace

int main() {
    orvane::orvLogger::setShowNSLog(false);

    const Bytes request = vk210Frame(kFirmwareVersion, {});
    const Bytes versionReply = vk210Frame(kFirmwareVersion, Bytes{0x00, 1, 1, 11});
    auto responder = std::make_shared<orvane::ScriptedResponder>();
    responder->on(request, versionReply);
    auto reader = std::make_shared<orvane::SimAccessory>(
        orvane::AccessoryInfo{
            "Orvane Technology", "VK210", "VK210", "SIM-0001", "1.01.11", {"com.orvane.dcbridge"}},
        responder);

    auto discovery = std::make_shared<Discovery>();
    auto detector = std::make_shared<orvane::DetectReader>();
    detector->setDelegate(discovery);
    detector->startDetect();
    orvane::AccessoryManager::shared().attach(reader);
    auto device = discovery->found();
    if (!device) {
        std::printf("No reader found\n");
        return 1;
    }

    auto transport = orvane::EATransport::shared();
    auto states = std::make_shared<StateLog>();
    transport->takeOver(device);
    transport->setDelegate(states);
    std::printf("Connecting:\n");
    if (!transport->connect()) {
        std::printf("Connect failed\n");
        return 1;
    }

    int status = 0;
    try {
        std::printf("Request:  %s\n", orvane::toHexDumpString(request).c_str());
        transport->write(request, 0, static_cast<int>(request.size()), 3000);
        Bytes reply(3);
        transport->read(reply, 0, 3, 3000);
        const int rest = orvane::readBe16(reply, 1) + 1;
        reply.resize(3 + static_cast<std::size_t>(rest));
        transport->read(reply, 3, rest, 3000);
        std::printf("Reply:    %s\n", orvane::toHexDumpString(reply).c_str());
        const Bytes data = vk210Data(reply);
        if (data.empty() || data[0] != 0x00) {
            std::printf("Invalid reply\n");
            status = 1;
        } else {
            std::string version;
            for (std::size_t i = 1; i < data.size(); ++i) {
                if (i > 1) version += '.';
                version += std::to_string(data[i]);
            }
            std::printf("Firmware version: %s\n", version.c_str());
        }
    } catch (const orvane::ReaderException& e) {
        std::printf("Exchange failed: %s\n", e.what());
        status = 1;
    }

    std::printf("Disconnecting:\n");
    transport->disconnect();
    detector->stopDetect();
    orvane::AccessoryManager::shared().detach(reader);
    return status;
}
