// Connecting and disconnecting a reader, for both reader models, with simulated readers.
//
// 1. BM_ConnectAndInitialise: the time from connect() to the Connected state, with a simulated
//    reader that answers at once, against the 7000 ms budget of the initialisation (a ratio
//    within this run). The Vk210 is measured twice: already in its USB serial mode (one
//    initialisation) and in another mode, which costs the mode switch, a disconnect, the
//    automatic reconnect and a second initialisation.
// 2. BM_Calls: how long the caller is blocked, the wall time from the call to its return, of
//    connect() and of disconnect(), each cycle on a new reader and accessory. Median, p99 and
//    worst in ms, and the worst disconnect() as a share of the bound the header gives it (about
//    3 s, or about 5 s while a connection is being made). When disconnect() is called:
//    - `connected`: by the thread that called connect(), once the reader is Connected;
//    - `connecting`: just after another thread called connect() (signalled right before its
//      call), at an offset that cycles through kConnectingOffsetsUs, so some calls land before
//      the connect()'s own step, most while the connection is being made. `connect_*` is then
//      the other thread's connect() call.
//    `late` runs have every reply of the simulated reader leave 150 ms late. The number of
//    cycles of each is ORVANE_BENCH_CALLS (default 200).
//    Run them pinned, and loaded as wanted (e.g. `taskset -c 6,7` with busy loops on the same
//    cores), to see the bound under load: the calls only wait, so what they show is the
//    library's scheduling, not its CPU.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

// Every reply of the simulated reader this much late, or at once.
void setLate(SimReader& sim, Clock::duration lateBy) {
    if (lateBy == Clock::duration{}) return;
    SimReplyFaults faults;
    faults.lateBy = lateBy;
    sim.setReplyFaults(faults);
}

struct Vk210Model {
    static constexpr const char* kName = "Vk210";
    static std::shared_ptr<SimAccessory> accessory(Clock::duration lateBy = {}) {
        auto sim = std::make_shared<SimVk210>();
        sim->setSetting("connectionMode", {0x03});
        setLate(*sim, lateBy);
        return SimVk210::makeAccessory(sim);
    }
};

struct Vk210ModeSwitch {
    static std::shared_ptr<SimAccessory> accessory() {
        return SimVk210::makeAccessory(std::make_shared<SimVk210>());
    }
};

struct Vk640Model {
    static constexpr const char* kName = "Vk640";
    static std::shared_ptr<SimAccessory> accessory(Clock::duration lateBy = {}) {
        auto sim = std::make_shared<SimVk640>();
        setLate(*sim, lateBy);
        return SimVk640::makeAccessory(sim);
    }
};

// Waits for the transport's read loops of the released reader to end, then detaches its
// accessory, so that the next cycle starts from nothing.
void release(const std::shared_ptr<SimAccessory>& accessory) {
    auto transport = EATransport::shared();
    while (transport->readLoopsRunning() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    AccessoryManager::shared().detach(accessory);
    transport->setOrvaneDevice(nullptr);
}

double msSince(Clk::time_point start) {
    return std::chrono::duration<double, std::milli>(Clk::now() - start).count();
}

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
    release(accessory);
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

// ---- The calls' own wall time ---------------------------------------------------------------

enum class When { connected, connecting };

// disconnect() called this long after the other thread's signal that it calls connect(), in
// turn: 0 (before or beside its step), then across a connection being made (about 100 ms with
// a reader that answers at once).
constexpr int kConnectingOffsetsUs[] = {0, 0, 500, 2000, 5000, 10000, 20000, 35000, 50000, 75000};

// The bounds the header gives disconnect().
constexpr double kDisconnectBoundMs = 3000;
constexpr double kDisconnectWhileConnectingBoundMs = 5000;

struct Cycle {
    double connectMs = -1;
    double disconnectMs = -1;
    bool connected = false;  // `connected`: Connected was reached before disconnect()
    ConnectState before = ConnectState::disconnected;  // state seen just before disconnect()
};

bool waitConnected(UhfReader& reader, std::chrono::seconds limit) {
    const auto end = Clk::now() + limit;
    while (reader.connectState() != ConnectState::connected && Clk::now() < end)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    return reader.connectState() == ConnectState::connected;
}

template <class Model>
Cycle callsOnce(When when, Clock::duration lateBy, int index) {
    auto accessory = Model::accessory(lateBy);
    AccessoryManager::shared().attach(accessory);
    Cycle cycle;
    {
        auto reader = UhfReader::create(std::make_shared<OrvaneDevice>(accessory));
        if (when == When::connected) {
            auto start = Clk::now();
            reader->connect();
            cycle.connectMs = msSince(start);
            cycle.connected = waitConnected(*reader, std::chrono::seconds(30));
            cycle.before = reader->connectState();
            start = Clk::now();
            reader->disconnect();
            cycle.disconnectMs = msSince(start);
        } else {
            std::atomic<bool> calling{false};
            std::thread other([&] {
                calling.store(true);
                const auto start = Clk::now();
                reader->connect();
                cycle.connectMs = msSince(start);
            });
            while (!calling.load())
                std::this_thread::yield();
            const int offset = kConnectingOffsetsUs[index % std::size(kConnectingOffsetsUs)];
            if (offset > 0) std::this_thread::sleep_for(std::chrono::microseconds(offset));
            cycle.before = reader->connectState();
            const auto start = Clk::now();
            reader->disconnect();
            cycle.disconnectMs = msSince(start);
            other.join();
            // A connect() whose step came after the disconnect() leaves a connection: end it
            // (untimed) once it is made.
            if (reader->connectState() != ConnectState::disconnected) {
                waitConnected(*reader, std::chrono::seconds(10));
                reader->disconnect();
            }
        }
    }
    release(accessory);
    return cycle;
}

double quantile(std::vector<double> values, double q) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

int callsWanted() {
    const char* env = std::getenv("ORVANE_BENCH_CALLS");
    return env ? std::max(1, std::atoi(env)) : 200;
}

template <class Model>
void BM_Calls(benchmark::State& state, When when, Clock::duration lateBy) {
    orvLogger::setShowNSLog(false);
    std::vector<double> connects;
    std::vector<double> disconnects;
    int neverConnected = 0;
    // The state each disconnect() found, as read just before the call.
    int foundDisconnected = 0;
    int foundConnecting = 0;
    int foundConnected = 0;
    int index = 0;
    for (auto _ : state) {
        const Cycle cycle = callsOnce<Model>(when, lateBy, index++);
        if (when == When::connected && !cycle.connected) ++neverConnected;
        if (cycle.before == ConnectState::connected)
            ++foundConnected;
        else if (cycle.before == ConnectState::disconnected)
            ++foundDisconnected;
        else
            ++foundConnecting;
        connects.push_back(cycle.connectMs);
        disconnects.push_back(cycle.disconnectMs);
        state.SetIterationTime(cycle.disconnectMs / 1000.0);
    }
    const double bound =
        when == When::connecting ? kDisconnectWhileConnectingBoundMs : kDisconnectBoundMs;
    state.counters["connect_p50_ms"] = quantile(connects, 0.5);
    state.counters["connect_p99_ms"] = quantile(connects, 0.99);
    state.counters["connect_max_ms"] = quantile(connects, 1.0);
    state.counters["disconnect_p50_ms"] = quantile(disconnects, 0.5);
    state.counters["disconnect_p99_ms"] = quantile(disconnects, 0.99);
    state.counters["disconnect_max_ms"] = quantile(disconnects, 1.0);
    state.counters["disconnect_max_percent_of_bound"] = quantile(disconnects, 1.0) / bound * 100;
    state.counters["never_connected"] = neverConnected;
    state.counters["found_disconnected"] = foundDisconnected;
    state.counters["found_connecting"] = foundConnecting;
    state.counters["found_connected"] = foundConnected;
}

template <class Model>
void registerCalls() {
    for (const When when : {When::connected, When::connecting}) {
        for (const bool late : {false, true}) {
            const Clock::duration lateBy =
                late ? std::chrono::milliseconds(150) : Clock::duration{};
            const std::string name = std::string("BM_Calls/") + Model::kName + "/" +
                                     (when == When::connected ? "connected" : "connecting") +
                                     (late ? "/late150ms" : "");
            benchmark::RegisterBenchmark(name.c_str(), BM_Calls<Model>, when, lateBy)
                ->Iterations(callsWanted())
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerCalls<Vk210Model>();
    registerCalls<Vk640Model>();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
