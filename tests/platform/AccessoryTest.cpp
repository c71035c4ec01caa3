#include "orvanerfid/platform/Accessory.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

std::shared_ptr<Accessory> plainAccessory(std::vector<std::string> protocols = {"com.x"}) {
    return std::make_shared<Accessory>(
        AccessoryInfo{"Orvane", "VK640", "VK640", "S1", "1.0", std::move(protocols)});
}

TEST(AccessoryManager, NotifiesObserversOnlyWhileRegistered) {
    AccessoryManager manager;
    std::vector<std::pair<AccessoryNotificationName, int64_t>> seen;
    const auto note = [&](const AccessoryNotification& n) {
        seen.emplace_back(n.name, n.accessory->connectionID());
    };
    auto connectId = manager.addObserver(AccessoryNotificationName::didConnect, note);
    manager.addObserver(AccessoryNotificationName::didDisconnect, note);

    auto first = plainAccessory();
    EXPECT_TRUE(manager.attach(first));  // nobody registered: no notification
    EXPECT_TRUE(seen.empty());

    manager.registerForLocalNotifications();
    auto second = plainAccessory();
    EXPECT_TRUE(manager.attach(second));
    EXPECT_FALSE(manager.attach(second));
    EXPECT_TRUE(manager.detach(first));
    EXPECT_FALSE(manager.detach(first));
    EXPECT_FALSE(first->isConnected());
    manager.removeObserver(connectId);
    manager.attach(first);

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, AccessoryNotificationName::didConnect);
    EXPECT_EQ(seen[0].second, second->connectionID());
    EXPECT_EQ(seen[1].first, AccessoryNotificationName::didDisconnect);
    // A new connection identifier at every attachment, in attachment order.
    EXPECT_GT(first->connectionID(), second->connectionID());
    auto listed = manager.connectedAccessories();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0], second);
    EXPECT_EQ(listed[1], first);

    manager.unregisterForLocalNotifications();
    manager.detach(second);
    EXPECT_EQ(seen.size(), 2u);
}

TEST(AccessorySession, OpensOnlyForAConnectedAccessoryAndAListedProtocol) {
    AccessoryManager manager;
    auto accessory = plainAccessory();
    EXPECT_EQ(AccessorySession::open(nullptr, "com.x"), nullptr);
    EXPECT_EQ(AccessorySession::open(accessory, "com.x"), nullptr);  // not attached
    manager.attach(accessory);
    EXPECT_EQ(AccessorySession::open(accessory, "com.y"), nullptr);
    EXPECT_EQ(AccessorySession::open(accessory, ""), nullptr);
    // An accessory without a link of its own opens nothing even for its protocol.
    EXPECT_EQ(AccessorySession::open(accessory, "com.x"), nullptr);
    EXPECT_NE(accessory->description().find("protocolStrings: [com.x]"), std::string::npos);
}

}  // namespace
}  // namespace orvane
