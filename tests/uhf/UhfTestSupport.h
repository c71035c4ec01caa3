#pragma once

// A connected simulated reader as the UHF object sees it: a small reader (the ReaderLink and
// the device's delegate) that owns a real accessory transport, the model's device and protocol,
// and the UHF object made for the model's radio module; and an application delegate that
// records what reaches it.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/devices/BaseDeviceDelegate.h"
#include "orvanerfid/devices/Vk210Device.h"
#include "orvanerfid/devices/Vk640Device.h"
#include "orvanerfid/engines/ReaderLink.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/OrvaneDevice.h"
#include "orvanerfid/uhf/UhfFactory.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"
#include "sim/SimVk210.h"
#include "sim/SimVk210Module.h"
#include "sim/SimVk640.h"
#include "support/TestSupport.h"
#include "uhf/UhfAppDelegate.h"

namespace orvane::test {

// The reader's part: keeps the action state and the failure count, hands tag reports and
// access results to the driver, records the order of actions and access results.
class StandInReader : public ReaderLink, public BaseDeviceDelegate {
  public:
    std::shared_ptr<EATransport> transport = EATransport::create();
    std::shared_ptr<BaseDevice> device;
    std::atomic<ActionState> state{ActionState::stop};
    std::atomic<int> failures{0};
    std::atomic<int> aliveMarks{0};
    std::atomic<SkuType> sku{SkuType::unknown};
    // Called with every action change, on the thread that posts it.
    void setOnAction(std::function<void(ActionState)> hook) {
        std::lock_guard guard(lock_);
        onAction_ = std::move(hook);
    }

    std::shared_ptr<BaseUhf> uhf() const {
        std::lock_guard guard(lock_);
        return uhf_;
    }
    void setUhf(std::shared_ptr<BaseUhf> uhf) {
        std::lock_guard guard(lock_);
        uhf_ = std::move(uhf);
    }
    std::vector<std::string> journal() const {
        std::lock_guard guard(lock_);
        return journal_;
    }
    void clearJournal() {
        std::lock_guard guard(lock_);
        journal_.clear();
    }

    // ReaderLink
    std::shared_ptr<BaseDevice> linkDevice() const override { return device; }
    std::shared_ptr<BaseTransport> linkTransport() const override { return transport; }
    std::string linkDescription() const override { return "StandInReader"; }
    std::shared_ptr<UhfReader> linkUhfReader() override { return nullptr; }
    ActionState linkActionState() const override { return state.load(); }
    int addFailure() override { return ++failures; }
    void resetFailures() override { failures = 0; }
    int failCount() const override { return failures.load(); }
    void markAlive() override { ++aliveMarks; }
    bool transportDisconnect() override {
        const bool result = transport->disconnect();
        orvLogger::trace("StandInReader", std::string("transportDisconnect() - Result: ") +
                                              (result ? "true" : "false"));
        return result;
    }
    void closeConnection(uint64_t link) override {
        const bool result = transport->disconnectLink(link);
        orvLogger::trace("StandInReader", std::string("transportDisconnect() - Result: ") +
                                              (result ? "true" : "false"));
    }
    void skuType(SkuType value) override { sku = value; }

    // BaseDeviceDelegate
    void actionStateEvent(ActionState actionState) override {
        state = actionState;
        note("action " + std::string(description(actionState)));
        std::function<void(ActionState)> hook;
        {
            std::lock_guard guard(lock_);
            hook = onAction_;
        }
        if (hook) hook(actionState);
    }
    void readTag(const std::shared_ptr<TagInfo>& tagInfo) override {
        if (const auto module = driver()) module->pumpEvent(ProtocolEventId::tagInfo, tagInfo);
    }
    void accessResult(const AccessResultEventArgs& result) override {
        note("access " + std::string(description(result.resultCode())));
        if (const auto module = driver()) module->pumpEvent(ProtocolEventId::accessResult, result);
    }
    void batteryPercentageEvent(uint8_t) override {}
    void batteryInfoEvent(uint8_t, bool) override {}
    void temperatureEvent(double) override {}
    void barcodeEvent(const BarcodeEventArgs&) override {}
    void notificationEvent(const NotificationEventArgs&) override {}
    void firmwareUpdateEvent(FirmwareUpdateState, uint8_t) override {}
    void triggerKeyEvent(const KeyEventArgs&) override {}
    void receivedInventoryData() override {}
    void macAddress(const std::string&) override {}
    void lbtStatusEvent(const LbtStatusEventArgs&) override {}
    void antennaStatusEvent(const AntennaStatusEventArgs&) override {}
    void batchDataStatusEvent(BatchDataStatus) override {}
    void engineReadyEvent(bool) override {}

  private:
    std::shared_ptr<BaseUhfModule> driver() const {
        std::lock_guard guard(lock_);
        return uhf_ ? uhf_->uhfModule() : nullptr;
    }
    void note(std::string line) {
        std::lock_guard guard(lock_);
        journal_.push_back(std::move(line));
    }
    mutable std::mutex lock_;
    std::shared_ptr<BaseUhf> uhf_;
    std::function<void(ActionState)> onAction_;
    std::vector<std::string> journal_;
};

struct Vk640StandIn {
    using Sim = SimVk640;
    static constexpr UhfModuleType kModule = UhfModuleType::st25ru3993;
    static std::shared_ptr<SimAccessory> attach(const std::shared_ptr<Sim>& sim) {
        // Receiver gain registers for a receive gain of 75 dB.
        sim->setSetting("register.09", {0x24});
        sim->setSetting("register.0A", {0x62});
        return SimVk640::makeAccessory(sim);
    }
    static std::shared_ptr<BaseDevice> device(const std::shared_ptr<EATransport>& transport) {
        return Vk640Device::create(transport);
    }
    static void started(BaseDevice& device, BaseUhf& uhf) {
        device.baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished));
        uhf.uhfModule()->pumpEvent(ProtocolEventId::firmwareVersion, std::string("1.1.13"));
    }
};

struct Vk210StandIn {
    using Sim = SimVk210;
    static constexpr UhfModuleType kModule = UhfModuleType::qm5520;
    static std::shared_ptr<SimAccessory> attach(const std::shared_ptr<Sim>& sim) {
        addVk210ModuleRows(*sim);
        return SimVk210::makeAccessory(sim);
    }
    static std::shared_ptr<BaseDevice> device(const std::shared_ptr<EATransport>& transport) {
        return Vk210Device::create(transport);
    }
    static void started(BaseDevice&, BaseUhf&) {}
};

// Attaches `sim` to `manager`, connects `reader`'s transport, starts the device of `StandIn`'s
// model and makes its UHF object (with `app` as its delegate, when given); false at the first
// step that fails.
template <typename StandIn>
bool connectStandIn(AccessoryManager& manager, const std::shared_ptr<typename StandIn::Sim>& sim,
                    std::shared_ptr<SimAccessory>& accessory,
                    const std::shared_ptr<StandInReader>& reader,
                    const std::shared_ptr<UhfDelegate>& app = nullptr) {
    accessory = StandIn::attach(sim);
    manager.attach(accessory);
    reader->transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(accessory));
    if (!reader->transport->connect()) return false;
    reader->device = StandIn::device(reader->transport);
    reader->device->setDelegate(reader);
    if (!reader->device->start()) return false;
    reader->setUhf(makeUhf(StandIn::kModule, reader, reader->device));
    if (app) reader->uhf()->setDelegate(app);
    StandIn::started(*reader->device, *reader->uhf());
    return true;
}

// Stops what `connectStandIn` started and waits for its loops to end.
inline void disconnectStandIn(StandInReader& reader) {
    reader.device->baseProtocol()->stop();
    reader.transport->disconnect();
    EXPECT_TRUE(
        waitUntil([&] { return reader.device->baseProtocol()->receiveLoopsRunning() == 0; }));
    EXPECT_TRUE(waitUntil([&] { return reader.transport->readLoopsRunning() == 0; }));
    // The reader owns the UHF object, which holds it weakly.
    reader.setUhf(nullptr);
}

// One simulated reader of `Model`, connected, with its UHF object and the application delegate.
template <typename Model>
class UhfRig : public ::testing::Test {
  protected:
    void SetUp() override {
        // The rig's tests count TRACE records; a test run before them may have raised the level.
        orvLogger::setLevel(LogLevel::trace);
        log = LogCapture::install();
        sim->setTags(makeSimTags(tags));
        ASSERT_TRUE(connectStandIn<Model>(manager, sim, accessory, reader, app));
    }
    void TearDown() override { disconnectStandIn(*reader); }

    BaseUhf& uhf() { return *reader->uhf(); }

    // Runs an operation with a completion and waits for its one answer.
    ResultCode await(const std::function<void(UhfResultCompletion)>& operation) {
        auto answers = std::make_shared<std::atomic<int>>(0);
        auto code = std::make_shared<std::atomic<ResultCode>>(ResultCode::noError);
        operation([answers, code](ResultCode c) {
            code->store(c);
            ++*answers;
        });
        EXPECT_TRUE(waitUntil([&] { return answers->load() >= 1; }));
        return code->load();
    }
    // The next access result after `before` results.
    std::optional<AccessResultEventArgs> nextResult(std::size_t before) {
        if (!waitUntil([&] { return app->results().size() > before; })) return std::nullopt;
        return app->results()[before];
    }
    // Waits for the reader to be back in Stop and the lock to be free (a stop completes).
    void settle() {
        EXPECT_TRUE(waitUntil([&] { return reader->state.load() == ActionState::stop; }));
        EXPECT_EQ(await([&](auto done) { uhf().stop(done); }), ResultCode::noError);
    }

    std::size_t tags = 8;
    AccessoryManager manager;
    std::shared_ptr<LogCapture> log;
    std::shared_ptr<typename Model::Sim> sim = std::make_shared<typename Model::Sim>();
    std::shared_ptr<SimAccessory> accessory;
    std::shared_ptr<StandInReader> reader = std::make_shared<StandInReader>();
    std::shared_ptr<AppDelegate> app = std::make_shared<AppDelegate>();
};

}  // namespace orvane::test
