// Tag reports per second from a simulated reader to the application's UhfDelegate, through the
// device, the reader's event path, the radio-module driver and the UHF object, against the rate
// at which the same inventory reaches a protocol delegate directly, both measured in this run.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "LinkBenchSupport.h"
#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/devices/BaseDeviceDelegate.h"
#include "orvanerfid/devices/Vk210Device.h"
#include "orvanerfid/devices/Vk640Device.h"
#include "orvanerfid/engines/ReaderLink.h"
#include "orvanerfid/link/Vk210Protocol.h"
#include "orvanerfid/link/Vk640Protocol.h"
#include "orvanerfid/uhf/UhfFactory.h"
#include "sim/SimVk210.h"
#include "sim/SimVk210Module.h"
#include "sim/SimVk640.h"

namespace {

using namespace orvane;

constexpr std::size_t kInventoryTags = 50000;

class CountingProtocolDelegate : public BaseProtocolDelegate {
  public:
    std::atomic<std::size_t> tags{0};
    void protocolEvent(const ProtocolEventArgs& event) override {
        if (event.id() == ProtocolEventId::tagInfo) tags.fetch_add(1, std::memory_order_relaxed);
    }
};

class CountingApp : public UhfDelegate {
  public:
    std::atomic<std::size_t> tags{0};
    void readTag(std::shared_ptr<UhfReader>, std::shared_ptr<TagInfo>) override {
        tags.fetch_add(1, std::memory_order_relaxed);
    }
    void accessResult(std::shared_ptr<UhfReader>, const AccessResultEventArgs&) override {}
};

// The reader's part of the event path: action state, failure count, and tag reports handed to
// the radio-module driver, as the reader object does.
class BenchReader : public ReaderLink, public BaseDeviceDelegate {
  public:
    std::shared_ptr<EATransport> transport = EATransport::create();
    std::shared_ptr<BaseDevice> device;
    std::shared_ptr<BaseUhf> uhf;
    std::atomic<ActionState> state{ActionState::stop};
    std::atomic<int> failures{0};

    std::shared_ptr<BaseDevice> linkDevice() const override { return device; }
    std::shared_ptr<BaseTransport> linkTransport() const override { return transport; }
    std::string linkDescription() const override { return "BenchReader"; }
    std::shared_ptr<UhfReader> linkUhfReader() override { return nullptr; }
    ActionState linkActionState() const override { return state.load(); }
    int addFailure() override { return ++failures; }
    void resetFailures() override { failures = 0; }
    int failCount() const override { return failures.load(); }
    void markAlive() override {}
    bool transportDisconnect() override { return transport->disconnect(); }
    void skuType(SkuType) override {}

    void actionStateEvent(ActionState actionState) override { state = actionState; }
    void readTag(const std::shared_ptr<TagInfo>& tagInfo) override {
        driver_->pumpEvent(ProtocolEventId::tagInfo, tagInfo);
    }
    void accessResult(const AccessResultEventArgs& result) override {
        driver_->pumpEvent(ProtocolEventId::accessResult, result);
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

    // Set before any event flows; read on the receive thread afterwards.
    void setUhf(std::shared_ptr<BaseUhf> object) {
        uhf = std::move(object);
        driver_ = uhf->uhfModule();
    }

  private:
    std::shared_ptr<BaseUhfModule> driver_;
};

struct Vk640Model {
    using Sim = SimVk640;
    using Protocol = Vk640Protocol;
    static constexpr UhfModuleType kModule = UhfModuleType::st25ru3993;
    static void prepare(Sim& sim) {
        sim.setTagsPerPacket(32);
        sim.setSetting("register.09", {0x24});
        sim.setSetting("register.0A", {0x62});
    }
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim) {
        return SimVk640::makeAccessory(sim);
    }
    static std::shared_ptr<BaseDevice> device(const std::shared_ptr<EATransport>& transport) {
        return Vk640Device::create(transport);
    }
    static void started(BaseProtocol& protocol) {
        protocol.pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished));
    }
};

struct Vk210Model {
    using Sim = SimVk210;
    using Protocol = Vk210Protocol;
    static constexpr UhfModuleType kModule = UhfModuleType::qm5520;
    static void prepare(Sim& sim) { addVk210ModuleRows(sim); }
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim) {
        return SimVk210::makeAccessory(sim);
    }
    static std::shared_ptr<BaseDevice> device(const std::shared_ptr<EATransport>& transport) {
        return Vk210Device::create(transport);
    }
    static void started(BaseProtocol&) {}
};

template <typename Model>
struct UhfBenchRig {
    AccessoryManager manager;
    std::shared_ptr<typename Model::Sim> sim = std::make_shared<typename Model::Sim>();
    std::shared_ptr<BenchReader> reader = std::make_shared<BenchReader>();
    std::shared_ptr<CountingApp> app = std::make_shared<CountingApp>();

    UhfBenchRig() {
        orvLogger::setLevel(LogLevel::fatal);
        sim->setTags(makeSimTags(kInventoryTags));
        Model::prepare(*sim);
        auto accessory = Model::accessory(sim);
        manager.attach(accessory);
        reader->transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(accessory));
        reader->transport->connect();
        reader->device = Model::device(reader->transport);
        reader->device->setDelegate(reader);
        reader->device->start();
        reader->setUhf(makeUhf(Model::kModule, reader, reader->device));
        reader->uhf->setDelegate(app);
        Model::started(*reader->device->baseProtocol());
        reader->uhf->uhfModule()->pumpEvent(ProtocolEventId::firmwareVersion,
                                            std::string("1.1.13"));
    }
    ~UhfBenchRig() {
        reader->device->baseProtocol()->stop();
        reader->transport->disconnect();
        while (reader->device->baseProtocol()->receiveLoopsRunning() > 0 ||
               reader->transport->readLoopsRunning() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

// Runs one inventory through the UHF object per iteration and waits for the application's
// delegate to have every tag.
template <typename Model>
void tagsToUhfDelegate(benchmark::State& state) {
    UhfBenchRig<Model> rig;
    for (auto _ : state) {
        rig.app->tags = 0;
        std::atomic<bool> started{false};
        rig.reader->uhf->inventory([&](ResultCode) { started = true; });
        while (rig.app->tags.load() < kInventoryTags)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        state.PauseTiming();
        std::atomic<bool> stopped{false};
        rig.reader->uhf->stop([&](ResultCode) { stopped = true; });
        while (!stopped || !started || rig.reader->state.load() != ActionState::stop)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInventoryTags));
}

// The same inventory started with the same driver, counted at a protocol delegate that stands in
// for the device: the link's own rate.
template <typename Model>
void tagsToProtocolDelegate(benchmark::State& state) {
    UhfBenchRig<Model> rig;
    auto counter = std::make_shared<CountingProtocolDelegate>();
    const auto protocol = rig.reader->device->baseProtocol();
    protocol->setDelegate(counter);
    const auto driver = rig.reader->uhf->uhfModule();
    for (auto _ : state) {
        counter->tags = 0;
        driver->inventory();
        while (counter->tags.load() < kInventoryTags)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        state.PauseTiming();
        driver->stop();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInventoryTags));
}

void BM_Vk640TagsToProtocolDelegate(benchmark::State& state) {
    tagsToProtocolDelegate<Vk640Model>(state);
}
void BM_Vk640TagsToUhfDelegate(benchmark::State& state) {
    tagsToUhfDelegate<Vk640Model>(state);
}
void BM_Vk210TagsToProtocolDelegate(benchmark::State& state) {
    tagsToProtocolDelegate<Vk210Model>(state);
}
void BM_Vk210TagsToUhfDelegate(benchmark::State& state) {
    tagsToUhfDelegate<Vk210Model>(state);
}

BENCHMARK(BM_Vk640TagsToProtocolDelegate)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Vk640TagsToUhfDelegate)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Vk210TagsToProtocolDelegate)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Vk210TagsToUhfDelegate)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
