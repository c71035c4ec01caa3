// Connecting and initialising a reader, for both reader models: the time from connect() to the
// Connected state, with a simulated reader that answers at once, against the 7000 ms budget of
// the initialisation (a ratio within this run). The Vk210 is measured twice: already in its USB
// serial mode (one initialisation) and in another mode, which costs the mode switch, a
// disconnect, the automatic reconnect and a second initialisation.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/OrvaneDevice.h"
#include "orvanerfid/reader/UhfReader.h"
#include "sim/SimVk210.h"
#include "sim/SimVk640.h"

namespace {

using namespace orvane;
using Clk = std::chrono::steady_clock;

constexpr double kBudgetMs = 7000;

struct Vk210Model {
    static std::shared_ptr<SimAccessory> accessory() {
        auto sim = std::make_shared<SimVk210>();
        sim->setSetting("connectionMode", {0x03});
        return SimVk210::makeAccessory(sim);
    }
};

struct Vk210ModeSwitch {
    static std::shared_ptr<SimAccessory> accessory() {
        return SimVk210::makeAccessory(std::make_shared<SimVk210>());
    }
};

struct Vk640Model {
    static std::shared_ptr<SimAccessory> accessory() {
        return SimVk640::makeAccessory(std::make_shared<SimVk640>());
    }
};

// One connect: milliseconds from connect() to Connected; below 0 when it never came.
template <class Model>
double connectOnce() {
    auto accessory = Model::accessory();
    AccessoryManager::shared().attach(accessory);
    double ms = -1;
    {
        auto reader = UhfReader::create(std::make_shared<OrvaneDevice>(accessory));
        const auto start = Clk::now();
        reader->connect();
        const auto end = start + std::chrono::seconds(30);
        while (reader->connectState() != ConnectState::connected && Clk::now() < end)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        if (reader->connectState() == ConnectState::connected)
            ms = std::chrono::duration<double, std::milli>(Clk::now() - start).count();
        reader->disconnect();
    }
    auto transport = EATransport::shared();
    while (transport->readLoopsRunning() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    AccessoryManager::shared().detach(accessory);
    transport->setOrvaneDevice(nullptr);
    return ms;
}

template <class Model>
void BM_ConnectAndInitialise(benchmark::State& state) {
    orvLogger::setShowNSLog(false);
    double total = 0;
    double worst = 0;
    int failed = 0;
    for (auto _ : state) {
        const double ms = connectOnce<Model>();
        if (ms < 0) {
            ++failed;
            state.SetIterationTime(0);
            continue;
        }
        total += ms;
        worst = std::max(worst, ms);
        state.SetIterationTime(ms / 1000.0);
    }
    const double mean = total / static_cast<double>(state.iterations() - failed);
    state.counters["mean_ms"] = mean;
    state.counters["worst_ms"] = worst;
    state.counters["percent_of_budget"] = mean / kBudgetMs * 100.0;
    state.counters["worst_percent_of_budget"] = worst / kBudgetMs * 100.0;
    state.counters["never_connected"] = failed;
}
BENCHMARK(BM_ConnectAndInitialise<Vk210Model>)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectAndInitialise<Vk210ModeSwitch>)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConnectAndInitialise<Vk640Model>)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
