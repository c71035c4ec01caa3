#include "sim/SimulatedReader.h"

#include <atomic>

#include "sim/SimVk210.h"
#include "sim/SimVk210Module.h"
#include "sim/SimVk640.h"

namespace orvane::sim {

struct SimulatedReader::State {
    DeviceType model = DeviceType::unknown;
    std::shared_ptr<SimVk210> vk210;
    // The Vk210's radio module: settings, select list and tag access.
    std::shared_ptr<SimQm5520Module> module;
    std::shared_ptr<SimVk640> vk640;
    std::shared_ptr<SimAccessory> accessory;
    std::atomic<bool> attached{false};

    SimReader& reader() const {
        if (vk210) return *vk210;
        return *vk640;
    }
};

std::shared_ptr<SimulatedReader> SimulatedReader::create(DeviceType model, std::size_t tagCount,
                                                         const std::string& serialNumber) {
    auto state = std::make_unique<State>();
    state->model = model;
    if (model == DeviceType::vk210) {
        state->vk210 = std::make_shared<SimVk210>();
        state->module = addVk210ModuleRows(*state->vk210);
        state->accessory = serialNumber.empty()
                               ? SimVk210::makeAccessory(state->vk210)
                               : SimVk210::makeAccessory(state->vk210, serialNumber);
    } else if (model == DeviceType::vk640) {
        state->vk640 = std::make_shared<SimVk640>();
        state->accessory = serialNumber.empty()
                               ? SimVk640::makeAccessory(state->vk640)
                               : SimVk640::makeAccessory(state->vk640, serialNumber);
    } else {
        return nullptr;
    }
    state->reader().setTags(makeSimTags(tagCount));
    return std::shared_ptr<SimulatedReader>(new SimulatedReader(std::move(state)));
}

SimulatedReader::SimulatedReader(std::unique_ptr<State> state) : state_(std::move(state)) {}

SimulatedReader::~SimulatedReader() {
    detach();
}

DeviceType SimulatedReader::model() const {
    return state_->model;
}

std::shared_ptr<Accessory> SimulatedReader::accessory() const {
    return state_->accessory;
}

void SimulatedReader::attach() {
    if (!state_->attached.exchange(true)) AccessoryManager::shared().attach(state_->accessory);
}

void SimulatedReader::detach() {
    if (state_->attached.exchange(false)) AccessoryManager::shared().detach(state_->accessory);
}

void SimulatedReader::setTagCount(std::size_t count) {
    state_->reader().setTags(makeSimTags(count));
}

std::size_t SimulatedReader::tagCount() const {
    return state_->reader().tags()->size();
}

Bytes SimulatedReader::userMemory(std::size_t index) const {
    const auto tags = state_->reader().tags();
    return index < tags->size() ? (*tags)[index].user : Bytes{};
}

void SimulatedReader::setInventoryRate(double perSecond) {
    if (state_->vk210) state_->vk210->setInventoryRate(perSecond);
    if (state_->vk640) state_->vk640->setInventoryRate(perSecond);
}

void SimulatedReader::setInventoryRepeats(bool repeats) {
    if (state_->vk210) state_->vk210->setInventoryOnce(!repeats);
    if (state_->vk640) state_->vk640->setInventoryOnce(!repeats);
}

void SimulatedReader::setSilent(bool silent) {
    SimFaults faults = state_->accessory->faults();
    faults.noReply = silent;
    state_->accessory->setFaults(faults);
}

void SimulatedReader::dropLink() {
    state_->accessory->dropLink();
}

}  // namespace orvane::sim
