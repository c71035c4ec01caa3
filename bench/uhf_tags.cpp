// Tag reports per second from a simulated reader to the application's UhfDelegate, through a
// reader made from discovery as an application makes one (connected by its own initialisation),
// its device, its event path, the radio-module driver and the UHF object; against the rate at
// which the same inventory, started by the same driver on the same link, reaches a delegate put
// in place of the device on the protocol. Both are measured in this run, for both models.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/DetectReader.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/reader/UhfReader.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"
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

class Found : public DetectReaderDelegate {
  public:
    void didConnectReader(const std::shared_ptr<OrvaneDevice>& device) override {
        std::lock_guard guard(lock);
        devices.push_back(device);
    }
    void didDisconnectReader(const std::shared_ptr<OrvaneDevice>&) override {}
    std::mutex lock;
    std::vector<std::shared_ptr<OrvaneDevice>> devices;
};

// Each sim as a reader is found: the Vk210 with its radio module and already in the connection
// mode the library wants.
struct Vk210Model {
    using Sim = SimVk210;
    static std::shared_ptr<Sim> makeSim() {
        auto sim = std::make_shared<Sim>();
        sim->setSetting("connectionMode", {0x03});
        addVk210ModuleRows(*sim);
        return sim;
    }
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim) {
        return Sim::makeAccessory(sim);
    }
};

struct Vk640Model {
    using Sim = SimVk640;
    static std::shared_ptr<Sim> makeSim() { return std::make_shared<Sim>(); }
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim) {
        return Sim::makeAccessory(sim, "SIM640-0001", "1.01.11");
    }
};

template <typename Condition>
bool waitFor(Condition condition, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

// One simulated reader attached and discovered, and a UhfReader for it, connected.
template <typename Model>
struct ReaderRig {
    std::shared_ptr<typename Model::Sim> sim = Model::makeSim();
    std::shared_ptr<SimAccessory> accessory = Model::accessory(sim);
    std::shared_ptr<DetectReader> detector = DetectReader::create();
    std::shared_ptr<Found> found = std::make_shared<Found>();
    std::shared_ptr<UhfReader> reader;
    std::shared_ptr<CountingApp> app = std::make_shared<CountingApp>();
    bool ready = false;

    ReaderRig() {
        orvLogger::setLevel(LogLevel::fatal);
        sim->setTags(makeSimTags(kInventoryTags));
        AccessoryManager::shared().attach(accessory);
        detector->setDelegate(found);
        detector->startDetect();
        if (found->devices.empty()) return;
        reader = UhfReader::create(found->devices.front());
        ready = reader->connect() &&
                waitFor([&] { return reader->connectState() == ConnectState::connected; }) &&
                reader->uhf();
        if (ready) reader->uhf()->setDelegate(app);
    }
    ~ReaderRig() {
        auto transport = EATransport::shared();
        if (reader) {
            reader->disconnect();
            std::weak_ptr<UhfReader> weak = reader;
            reader.reset();
            waitFor([&] { return weak.expired(); });
        }
        waitFor([&] { return transport->readLoopsRunning() == 0; });
        detector->stopDetect();
        AccessoryManager::shared().detach(accessory);
        transport->setOrvaneDevice(nullptr);
    }
};

// One inventory through the reader's UHF object per iteration, timed until the application's
// delegate has every tag.
template <typename Model>
void tagsToUhfDelegate(benchmark::State& state) {
    ReaderRig<Model> rig;
    if (!rig.ready) {
        state.SkipWithError("the reader did not connect");
        return;
    }
    const auto uhf = rig.reader->uhf();
    for (auto _ : state) {
        rig.app->tags = 0;
        uhf->inventory([](ResultCode) {});
        if (!waitFor([&] { return rig.app->tags.load() >= kInventoryTags; })) {
            state.SkipWithError("tags missing");
            break;
        }
        state.PauseTiming();
        std::atomic<bool> stopped{false};
        uhf->stop([&](ResultCode) { stopped = true; });
        waitFor([&] { return stopped.load() && rig.reader->actionState() == ActionState::stop; });
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInventoryTags));
}

// The same inventory started by the same driver on the same kind of connected reader, counted
// at a delegate that takes the device's place on the protocol: the link's own rate.
template <typename Model>
void tagsToProtocolDelegate(benchmark::State& state) {
    ReaderRig<Model> rig;
    if (!rig.ready) {
        state.SkipWithError("the reader did not connect");
        return;
    }
    auto counter = std::make_shared<CountingProtocolDelegate>();
    rig.reader->baseProtocol()->setDelegate(counter);
    const auto driver = rig.reader->uhf()->uhfModule();
    for (auto _ : state) {
        counter->tags = 0;
        driver->inventory();
        if (!waitFor([&] { return counter->tags.load() >= kInventoryTags; })) {
            state.SkipWithError("tags missing");
            break;
        }
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
