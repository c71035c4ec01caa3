// What a connected, idle reader costs with its keep-alive running, for both reader models:
// processor time in percent of one core over a 10 s window with the default 3000 ms check
// interval, against the same reader with the checks turned off (interval 0), in the same run.
// The reader walks the real initialisation (the simulated Vk210 is already in its USB serial
// mode, so it connects once); the window opens once it is Connected.
// The difference, divided by the alive exchanges sent in the window, is the cost of one alive
// exchange; a loop that polled between exchanges would show here as extra cost per exchange.
// Wakeups (the process's voluntary context switches) are counted the same way: per second with the
// checks on and off, and the difference per alive exchange.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <memory>
#include <thread>

#include "orvanerfid/commands/OrvRfidCmdId.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/OrvaneDevice.h"
#include "orvanerfid/reader/UhfReader.h"
#include "sim/SimVk210.h"
#include "sim/SimVk640.h"

namespace {

using namespace orvane;

struct Usage {
    double processorSeconds = 0;
    long wakeups = 0;
};

Usage usage() {
    rusage raw{};
    getrusage(RUSAGE_SELF, &raw);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return {seconds(raw.ru_utime) + seconds(raw.ru_stime), raw.ru_nvcsw};
}

struct Vk210Model {
    using Sim = SimVk210;
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim) {
        sim->setSetting("connectionMode", {0x03});
        return Sim::makeAccessory(sim);
    }
    static int alives(const Sim& sim) {
        return sim.requestCount(rawValue(OrvRfidCmdId::paTemperature));
    }
};

struct Vk640Model {
    using Sim = SimVk640;
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim) {
        return Sim::makeAccessory(sim);
    }
    static int alives(const Sim& sim) { return sim.requestCount(SimVk640::rowKey(0x10, 0x07)); }
};

struct Window {
    double percent = 0;
    double cpuMs = 0;
    double wakeupsPerSecond = 0;
    long wakeups = 0;
    int alives = 0;
};

template <class Model>
Window idleWindow(uint64_t checkInterval) {
    orvLogger::setLevel(LogLevel::fatal);
    auto sim = std::make_shared<typename Model::Sim>();
    auto accessory = Model::accessory(sim);
    AccessoryManager::shared().attach(accessory);
    Window window;
    {
        auto reader = UhfReader::create(std::make_shared<OrvaneDevice>(accessory));
        reader->setCheckInterval(checkInterval);
        reader->connect();
        while (reader->connectState() != ConnectState::connected)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const int alivesBefore = Model::alives(*sim);
        const Usage before = usage();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(10000));
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const Usage after = usage();
        window.cpuMs = (after.processorSeconds - before.processorSeconds) * 1000.0;
        window.percent = window.cpuMs / 10.0 / wall;
        window.wakeups = after.wakeups - before.wakeups;
        window.wakeupsPerSecond = static_cast<double>(window.wakeups) / wall;
        window.alives = Model::alives(*sim) - alivesBefore;
        reader->disconnect();
    }
    auto transport = EATransport::shared();
    while (transport->readLoopsRunning() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    AccessoryManager::shared().detach(accessory);
    transport->setOrvaneDevice(nullptr);
    return window;
}

template <class Model>
void BM_IdleReaderKeepAlive(benchmark::State& state) {
    Window on;
    Window off;
    for (auto _ : state) {
        off = idleWindow<Model>(0);
        on = idleWindow<Model>(3000);
    }
    state.counters["cpu_percent_checks_on"] = on.percent;
    state.counters["cpu_percent_checks_off"] = off.percent;
    state.counters["alive_exchanges"] = on.alives;
    state.counters["cpu_ms_per_alive"] = on.alives > 0 ? (on.cpuMs - off.cpuMs) / on.alives : 0;
    state.counters["wakeups_per_s_checks_on"] = on.wakeupsPerSecond;
    state.counters["wakeups_per_s_checks_off"] = off.wakeupsPerSecond;
    state.counters["wakeups_per_alive"] =
        on.alives > 0 ? static_cast<double>(on.wakeups - off.wakeups) / on.alives : 0;
}
BENCHMARK(BM_IdleReaderKeepAlive<Vk210Model>)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(BM_IdleReaderKeepAlive<Vk640Model>)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
