// The simulated reader of the C program, attached through the accessory manager as a real one is.

#include "SimAttach.h"

#include <memory>
#include <string>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/platform/Accessory.h"
#include "sim/SimVk210.h"
#include "sim/SimVk210Module.h"
#include "sim/SimVk640.h"

namespace {

std::shared_ptr<orvane::SimReader> simReader;
std::shared_ptr<orvane::SimAccessory> accessory;

}  // namespace

extern "C" int sim_attach(const char* model) {
    // The program reports its own checks; the library's console lines would bury them.
    orvane::orvLogger::setShowNSLog(false);
    const std::string name = model;
    if (name == "vk210") {
        auto sim = std::make_shared<orvane::SimVk210>();
        // Already in the connection mode the library wants, as a reader is found.
        sim->setSetting("connectionMode", {0x03});
        addVk210ModuleRows(*sim);
        sim->setInventoryOnce(true);
        accessory = orvane::SimVk210::makeAccessory(sim);
        simReader = sim;
    } else if (name == "vk640") {
        auto sim = std::make_shared<orvane::SimVk640>();
        sim->setInventoryOnce(true);
        accessory = orvane::SimVk640::makeAccessory(sim);
        simReader = sim;
    } else {
        return 0;
    }
    simReader->setTags(orvane::makeSimTags(4));
    orvane::AccessoryManager::shared().attach(accessory);
    return 1;
}

extern "C" void sim_detach(void) {
    orvane::AccessoryManager::shared().detach(accessory);
    accessory.reset();
    simReader.reset();
}
