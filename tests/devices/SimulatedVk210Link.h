#pragma once

// A Vk210 device on the accessory transport, connected to a simulated Vk210 reader attached as
// an accessory, with its protocol's receive loop running.

#include <gtest/gtest.h>

#include <memory>

#include "DeviceTestSupport.h"
#include "orvanerfid/devices/Vk210Device.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/OrvaneDevice.h"
#include "sim/SimVk210.h"

namespace orvane::test {

class SimulatedVk210Link {
  public:
    SimulatedVk210Link() {
        manager.attach(accessory);
        transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(accessory));
        EXPECT_TRUE(transport->connect());
        EXPECT_TRUE(device->start());
    }
    ~SimulatedVk210Link() {
        device->baseProtocol()->stop();
        transport->disconnect();
        EXPECT_TRUE(waitUntil([&] { return device->baseProtocol()->receiveLoopsRunning() == 0; }));
        EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 0; }));
        manager.detach(accessory);
    }
    SimulatedVk210Link(const SimulatedVk210Link&) = delete;
    SimulatedVk210Link& operator=(const SimulatedVk210Link&) = delete;

    AccessoryManager manager;
    std::shared_ptr<SimVk210> reader = std::make_shared<SimVk210>();
    std::shared_ptr<SimAccessory> accessory = SimVk210::makeAccessory(reader);
    std::shared_ptr<EATransport> transport = EATransport::create();
    std::shared_ptr<Vk210Device> device = Vk210Device::create(transport);
};

}  // namespace orvane::test
