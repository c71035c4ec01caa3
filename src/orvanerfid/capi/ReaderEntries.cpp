// The C entry points a program needs before it has a UHF object: discovery, the device
// descriptors it reports, and the reader with its connection-state callback.

#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "orvanerfid/capi/CApi.h"
#include "orvanerfid/link/DetectReader.h"

#pragma GCC diagnostic error "-Wmissing-declarations"

// A device descriptor with its texts read once, so that the pointers handed out stay valid.
struct orv_device {
    explicit orv_device(std::shared_ptr<orvane::OrvaneDevice> descriptor)
        : device(std::move(descriptor)),
          serialNumber(device->serialNumber()),
          name(device->deviceName()),
          type(rawValue(device->deviceType())) {}
    const std::shared_ptr<orvane::OrvaneDevice> device;
    const std::string serialNumber;
    const std::string name;
    const uint8_t type;
};

namespace orvane::capi {
namespace {

// The discovery callbacks as a DetectReaderDelegate.
class CDetectDelegate : public DetectReaderDelegate {
  public:
    explicit CDetectDelegate(const orv_discovery_callbacks& callbacks) : callbacks_(callbacks) {}
    void didConnectReader(const std::shared_ptr<OrvaneDevice>& device) override {
        report(callbacks_.found, device);
    }
    void didDisconnectReader(const std::shared_ptr<OrvaneDevice>& device) override {
        report(callbacks_.lost, device);
    }
    CallbackGate& gate() { return gate_; }

  private:
    void report(void (*callback)(void*, const orv_device*),
                const std::shared_ptr<OrvaneDevice>& device) {
        if (callback == nullptr || !device) return;
        gate_.run([&] {
            const orv_device handle(device);
            callback(callbacks_.context, &handle);
        });
    }
    const orv_discovery_callbacks callbacks_;
    CallbackGate gate_;
};

// The connection-state callback as a ReaderDelegate; the reader's other events are not part of
// the C surface.
class CReaderDelegate : public ReaderDelegate {
  public:
    CReaderDelegate(orv_connect_state_cb callback, void* context)
        : callback_(callback), context_(context) {}
    void connectStateEvent(const ConnectStateEventArgs& connectStateEventArgs) override {
        gate_.run([&] { callback_(context_, rawValue(connectStateEventArgs.connectState())); });
    }
    void batteryPercentageEvent(uint8_t) override {}
    void batteryInfoEvent(uint8_t, bool) override {}
    void temperatureEvent(double) override {}
    void actionStateEvent(ActionState) override {}
    void triggerKeyEvent(const KeyEventArgs&) override {}
    void notificationEvent(const NotificationEventArgs&) override {}
    void logEvent(const LogEventArg&) override {}
    void firmwareUpdateEvent(const FirmwareUpdateEventArgs&) override {}
    void lbtStatusEvent(const LbtStatusEventArgs&) override {}
    void batchDataStatusEvent(BatchDataStatus) override {}
    CallbackGate& gate() { return gate_; }

  private:
    const orv_connect_state_cb callback_;
    void* const context_;
    CallbackGate gate_;
};

}  // namespace
}  // namespace orvane::capi

struct orv_discovery {
    std::shared_ptr<orvane::DetectReader> detector;
    std::shared_ptr<orvane::capi::CDetectDelegate> delegate;
};

struct orv_reader {
    std::shared_ptr<orvane::UhfReader> object;
    std::mutex lock;  // guards delegate
    std::shared_ptr<orvane::capi::CReaderDelegate> delegate;
};

using orvane::capi::kFailed;
using orvane::capi::kRefused;

extern "C" {

orv_discovery* orv_discovery_start(const orv_discovery_callbacks* callbacks) {
    if (callbacks == nullptr || callbacks->found == nullptr) return nullptr;
    try {
        auto discovery = std::make_unique<orv_discovery>();
        discovery->detector = orvane::DetectReader::create();
        discovery->delegate = std::make_shared<orvane::capi::CDetectDelegate>(*callbacks);
        discovery->detector->setDelegate(discovery->delegate);
        discovery->detector->startDetect();
        return discovery.release();
    } catch (...) {
        return nullptr;
    }
}

void orv_discovery_stop(orv_discovery* discovery) {
    if (discovery == nullptr) return;
    try {
        discovery->detector->stopDetect();
        discovery->detector->setDelegate({});
    } catch (...) {
        // Stopping goes on: the gate below keeps the callbacks out.
    }
    discovery->delegate->gate().close();
    delete discovery;
}

orv_device* orv_device_copy(const orv_device* device) {
    if (device == nullptr) return nullptr;
    try {
        return new orv_device(device->device);
    } catch (...) {
        return nullptr;
    }
}

void orv_device_release(orv_device* device) {
    delete device;
}

const char* orv_device_serial_number(const orv_device* device) {
    return device == nullptr ? "" : device->serialNumber.c_str();
}

const char* orv_device_name(const orv_device* device) {
    return device == nullptr ? "" : device->name.c_str();
}

uint8_t orv_device_type(const orv_device* device) {
    return device == nullptr ? 0 : device->type;
}

orv_reader* orv_reader_create(const orv_device* device) {
    if (device == nullptr) return nullptr;
    try {
        auto reader = std::make_unique<orv_reader>();
        reader->object = orvane::UhfReader::create(device->device);
        return reader.release();
    } catch (...) {
        return nullptr;
    }
}

void orv_reader_destroy(orv_reader* reader) {
    if (reader == nullptr) return;
    orv_reader_set_connect_state_callback(reader, nullptr, nullptr);
    try {
        reader->object.reset();
    } catch (...) {
        // The reader's teardown catches its own failures; nothing more to undo here.
    }
    delete reader;
}

bool orv_reader_connect(orv_reader* reader) {
    if (reader == nullptr) return false;
    try {
        return reader->object->connect();
    } catch (...) {
        return false;
    }
}

bool orv_reader_disconnect(orv_reader* reader) {
    if (reader == nullptr) return false;
    try {
        return reader->object->disconnect();
    } catch (...) {
        return false;
    }
}

uint8_t orv_reader_connect_state(const orv_reader* reader) {
    return reader == nullptr ? 0 : rawValue(reader->object->connectState());
}

uint16_t orv_reader_set_connect_state_callback(orv_reader* reader, orv_connect_state_cb callback,
                                               void* context) {
    if (reader == nullptr) return kRefused;
    try {
        std::shared_ptr<orvane::capi::CReaderDelegate> adapter;
        if (callback != nullptr) {
            adapter = std::make_shared<orvane::capi::CReaderDelegate>(callback, context);
        }
        std::shared_ptr<orvane::capi::CReaderDelegate> earlier;
        {
            std::lock_guard guard(reader->lock);
            earlier = std::exchange(reader->delegate, adapter);
            reader->object->setReaderDelegate(adapter);
        }
        if (earlier) earlier->gate().close();
        return rawValue(orvane::ResultCode::noError);
    } catch (...) {
        return kFailed;
    }
}

orv_uhf* orv_reader_uhf(orv_reader* reader) {
    if (reader == nullptr) return nullptr;
    try {
        return orvane::capi::wrapUhf(reader->object->uhf());
    } catch (...) {
        return nullptr;
    }
}

}  // extern "C"
