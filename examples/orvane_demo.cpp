// A first tour of the SDK: attach a simulated VK210 reader as an accessory, discover it,
// connect the accessory transport, ask the reader for its firmware version and disconnect.

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/link/DetectReader.h"
#include "orvanerfid/link/EATransport.h"
#include "sim/SimAccessory.h"

namespace {

using orvane::Bytes;
using orvane::ByteView;

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

    // The simulated reader answers a firmware-version request with status 0 and version 1.1.11.
    orvane::OrvRfidCmd_FirmwareVersion versionRequest;
    const Bytes request = versionRequest.toBytes();
    const Bytes versionReply =
        orvane::OrvaneRfidCommand::frame(orvane::OrvRfidCmdId::firmware, Bytes{0x00, 1, 1, 11});
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
        // Read byte by byte until the frame cutter sees a whole frame (or a corrupt start).
        Bytes received;
        orvane::FrameCut cut{orvane::FrameCutStatus::incomplete, 0};
        while (cut.status == orvane::FrameCutStatus::incomplete) {
            uint8_t byte = 0;
            transport->read(std::span<uint8_t>(&byte, 1), 0, 1, 3000);
            received.push_back(byte);
            cut = orvane::OrvaneRfidCommand::cutFrame(received);
        }
        if (cut.status != orvane::FrameCutStatus::complete) {
            std::printf("No valid reply\n");
            status = 1;
        } else {
            const ByteView frame = ByteView(received).first(cut.length);
            std::printf("Reply:    %s\n", orvane::toHexDumpString(frame).c_str());
            orvane::OrvRfidCmd_FirmwareVersion reply(
                orvane::OrvaneRfidCommand::ReceiveBytes{frame});
            reply.checkStatus("firmwareVersion");
            std::printf("Firmware version: %s\n", reply.version().value_or("?").c_str());
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
