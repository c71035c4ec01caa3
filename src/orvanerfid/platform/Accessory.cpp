#include "orvanerfid/platform/Accessory.h"

#include <algorithm>

namespace orvane {

std::string Accessory::description() const {
    std::string text = "Accessory(manufacturer: " + info_.manufacturer + ", name: " + info_.name +
                       ", modelNumber: " + info_.modelNumber +
                       ", serialNumber: " + info_.serialNumber +
                       ", firmwareRevision: " + info_.firmwareRevision +
                       ", connectionID: " + std::to_string(connectionID()) + ", protocolStrings: [";
    for (std::size_t i = 0; i < info_.protocolStrings.size(); ++i) {
        if (i > 0) text += ", ";
        text += info_.protocolStrings[i];
    }
    return text + "])";
}

std::shared_ptr<AccessorySession> Accessory::makeSession(const std::string&) {
    return nullptr;
}

std::shared_ptr<AccessorySession> AccessorySession::open(
    const std::shared_ptr<Accessory>& accessory, const std::string& protocolString) {
    if (!accessory || !accessory->isConnected()) return nullptr;
    const auto& strings = accessory->protocolStrings();
    if (std::find(strings.begin(), strings.end(), protocolString) == strings.end()) {
        return nullptr;
    }
    return accessory->makeSession(protocolString);
}

AccessoryManager& AccessoryManager::shared() {
    static auto* manager = new AccessoryManager;
    return *manager;
}

std::vector<std::shared_ptr<Accessory>> AccessoryManager::connectedAccessories() const {
    std::lock_guard guard(lock_);
    return accessories_;
}

void AccessoryManager::registerForLocalNotifications() {
    std::lock_guard guard(lock_);
    ++registrations_;
}

void AccessoryManager::unregisterForLocalNotifications() {
    std::lock_guard guard(lock_);
    if (registrations_ > 0) --registrations_;
}

AccessoryManager::ObserverId AccessoryManager::addObserver(AccessoryNotificationName name,
                                                           Observer observer) {
    std::lock_guard guard(lock_);
    const ObserverId id = nextObserverId_++;
    observers_.emplace(id, std::make_pair(name, std::move(observer)));
    return id;
}

void AccessoryManager::removeObserver(ObserverId id) {
    std::lock_guard guard(lock_);
    observers_.erase(id);
}

bool AccessoryManager::attach(const std::shared_ptr<Accessory>& accessory) {
    if (!accessory) return false;
    {
        std::lock_guard guard(lock_);
        if (std::find(accessories_.begin(), accessories_.end(), accessory) != accessories_.end()) {
            return false;
        }
        accessory->connectionID_.store(nextConnectionId_++);
        accessory->connected_.store(true);
        accessories_.push_back(accessory);
    }
    post({AccessoryNotificationName::didConnect, accessory});
    return true;
}

bool AccessoryManager::detach(const std::shared_ptr<Accessory>& accessory) {
    {
        std::lock_guard guard(lock_);
        auto found = std::find(accessories_.begin(), accessories_.end(), accessory);
        if (found == accessories_.end()) return false;
        accessories_.erase(found);
        accessory->connected_.store(false);
    }
    accessory->didDetach();
    post({AccessoryNotificationName::didDisconnect, accessory});
    return true;
}

void AccessoryManager::post(const AccessoryNotification& notification) {
    std::vector<Observer> targets;
    {
        std::lock_guard guard(lock_);
        if (registrations_ == 0) return;
        for (const auto& [id, entry] : observers_) {
            if (entry.first == notification.name) targets.push_back(entry.second);
        }
    }
    for (const auto& observer : targets)
        observer(notification);
}

}  // namespace orvane
