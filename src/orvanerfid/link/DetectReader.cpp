#include "orvanerfid/link/DetectReader.h"

#include "orvanerfid/core/Logger.h"

namespace orvane {
namespace {

constexpr std::string_view kTag = "DetectReader";

bool isOrvaneAccessory(const Accessory& accessory) {
    return containsIgnoringCase(accessory.manufacturer(), "orvane");
}

}  // namespace

DetectReader::~DetectReader() {
    if (isDetecting_.exchange(false)) {
        AccessoryManager::shared().unregisterForLocalNotifications();
        removeObservers();
    }
}

std::shared_ptr<DetectReaderDelegate> DetectReader::delegate() const {
    std::lock_guard guard(lock_);
    return delegate_.lock();
}

void DetectReader::setDelegate(std::weak_ptr<DetectReaderDelegate> delegate) {
    std::lock_guard guard(lock_);
    delegate_ = std::move(delegate);
}

void DetectReader::startDetect() {
    orvLogger::trace(kTag, "*** startDetect()");
    if (isDetecting_.load()) {
        orvLogger::debug(kTag, "Already detecting");
        return;
    }
    auto& manager = AccessoryManager::shared();
    for (const auto& accessory : manager.connectedAccessories()) {
        reportAccessory(accessory, "Detect Accessory: ------------", true);
    }

    manager.registerForLocalNotifications();
    std::weak_ptr<DetectReader> weak = weak_from_this();
    auto connectId = manager.addObserver(AccessoryNotificationName::didConnect,
                                         [weak](const AccessoryNotification& notification) {
                                             if (auto self = weak.lock())
                                                 self->accessoryDidConnect(notification);
                                         });
    auto disconnectId = manager.addObserver(AccessoryNotificationName::didDisconnect,
                                            [weak](const AccessoryNotification& notification) {
                                                if (auto self = weak.lock())
                                                    self->accessoryDidDisconnect(notification);
                                            });
    {
        std::lock_guard guard(lock_);
        connectObserver_ = connectId;
        disconnectObserver_ = disconnectId;
    }
    isDetecting_.store(true);
}

void DetectReader::stopDetect() {
    orvLogger::trace(kTag, "*** stopDetect()");
    if (!isDetecting_.load()) {
        orvLogger::debug(kTag, "Not detecting");
        return;
    }
    AccessoryManager::shared().unregisterForLocalNotifications();
    removeObservers();
    isDetecting_.store(false);
}

void DetectReader::removeObservers() {
    AccessoryManager::ObserverId connectId = 0;
    AccessoryManager::ObserverId disconnectId = 0;
    {
        std::lock_guard guard(lock_);
        std::swap(connectId, connectObserver_);
        std::swap(disconnectId, disconnectObserver_);
    }
    AccessoryManager::shared().removeObserver(connectId);
    AccessoryManager::shared().removeObserver(disconnectId);
}

void DetectReader::accessoryDidConnect(const AccessoryNotification& notification) {
    if (!notification.accessory) return;
    reportAccessory(notification.accessory, "Accessory Connected: ------------", true);
    orvLogger::info("Accessory connected: " + notification.accessory->name());
}

void DetectReader::accessoryDidDisconnect(const AccessoryNotification& notification) {
    if (!notification.accessory) return;
    reportAccessory(notification.accessory, "Accessory Disconnected: ------------", false);
    orvLogger::info("Accessory disconnected: " + notification.accessory->name());
}

void DetectReader::reportAccessory(const std::shared_ptr<Accessory>& accessory,
                                   std::string_view heading, bool connected) {
    if (!isOrvaneAccessory(*accessory)) return;
    auto device = std::make_shared<OrvaneDevice>(accessory);
    orvLogger::debug(heading);
    orvLogger::debug(accessory->description());
    orvLogger::debug("--------------------------");
    auto target = delegate();
    if (!target) return;
    if (connected) {
        target->didConnectReader(device);
    } else {
        target->didDisconnectReader(device);
    }
}

}  // namespace orvane
