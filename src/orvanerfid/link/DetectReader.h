#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "orvanerfid/Export.h"
#include "orvanerfid/link/OrvaneDevice.h"
#include "orvanerfid/platform/Accessory.h"

namespace orvane {

// The application's listener for attached readers.
class ORVANE_API DetectReaderDelegate {
  public:
    virtual ~DetectReaderDelegate() = default;
    virtual void didConnectReader(const std::shared_ptr<OrvaneDevice>& device) = 0;
    // `device` is a new descriptor of the departing accessory: match it by its properties
    // (serial number, connection identifier), not by identity.
    virtual void didDisconnectReader(const std::shared_ptr<OrvaneDevice>& device) = 0;
};

// Finds the attached accessories whose manufacturer contains "orvane" (any letter case) and
// follows their connect and disconnect notifications.
//
// Made only by `create()`, inside a shared_ptr: the notification handlers hold the detector
// weakly, so notifications after it is gone are dropped. Threads: `startDetect` reports the
// accessories already attached on the caller's thread before it returns; later reports run on the
// thread that attaches or detaches the accessory. The delegate is held weakly and called with no
// lock held; it may call `startDetect` or `stopDetect`.
class ORVANE_API DetectReader : public std::enable_shared_from_this<DetectReader> {
    struct Token {
        explicit Token() = default;
    };

  public:
    static std::shared_ptr<DetectReader> create() {
        return std::make_shared<DetectReader>(Token{});
    }
    // Reachable only through create(): the token type is private.
    explicit DetectReader(Token) {}
    DetectReader(const DetectReader&) = delete;
    DetectReader& operator=(const DetectReader&) = delete;
    ~DetectReader();

    std::shared_ptr<DetectReaderDelegate> delegate() const;
    void setDelegate(std::weak_ptr<DetectReaderDelegate> delegate);
    bool isDetecting() const { return isDetecting_.load(); }

    void startDetect();
    void stopDetect();

    // Handlers of the accessory notifications; a notification without an accessory is ignored.
    // Called by the accessory manager's observers; not part of the exported surface.
    ORVANE_INTERNAL void accessoryDidConnect(const AccessoryNotification& notification);
    ORVANE_INTERNAL void accessoryDidDisconnect(const AccessoryNotification& notification);

  private:
    ORVANE_INTERNAL void reportAccessory(const std::shared_ptr<Accessory>& accessory,
                                         std::string_view heading, bool connected);
    ORVANE_INTERNAL void removeObservers();

    mutable std::mutex lock_;
    std::weak_ptr<DetectReaderDelegate> delegate_;
    std::atomic<bool> isDetecting_{false};
    AccessoryManager::ObserverId connectObserver_ = 0;
    AccessoryManager::ObserverId disconnectObserver_ = 0;
};

}  // namespace orvane
