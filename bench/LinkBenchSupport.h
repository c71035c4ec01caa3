#pragma once

// Measurements shared by the link benchmarks of both reader models.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/OrvaneDevice.h"
#include "orvanerfid/platform/Accessory.h"
#include "sim/SimAccessory.h"

namespace orvane::bench {

using Clk = std::chrono::steady_clock;

// A connected simulated reader of one model with its transport, a running protocol and a
// delegate; torn down when both loops have ended.
template <typename Sim, typename Protocol, typename Delegate>
struct LinkRig {
    AccessoryManager manager;
    std::shared_ptr<Sim> sim = std::make_shared<Sim>();
    std::shared_ptr<SimAccessory> accessory = Sim::makeAccessory(sim);
    std::shared_ptr<EATransport> transport = EATransport::create();
    std::shared_ptr<Protocol> protocol = std::make_shared<Protocol>(transport);
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();

    LinkRig() {
        orvLogger::setLevel(LogLevel::fatal);
        manager.attach(accessory);
        transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(accessory));
        transport->connect();
        protocol->setDelegate(delegate);
        protocol->start();
    }
    ~LinkRig() {
        protocol->stop();
        transport->disconnect();
        while (protocol->receiveLoopsRunning() > 0 || transport->readLoopsRunning() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

inline double medianMicros(std::vector<double>& samples) {
    if (samples.empty()) return 0;
    std::nth_element(samples.begin(), samples.begin() + static_cast<long>(samples.size() / 2),
                     samples.end());
    return samples[samples.size() / 2];
}

// The round trip of `request` and its reply of `replySize` bytes through the accessory's
// streams, with no transport or protocol: the baseline of a protocol's send. Reports the median
// in microseconds.
inline void rawPipeRoundTrip(benchmark::State& state,
                             const std::shared_ptr<SimAccessory>& accessory, const Bytes& request,
                             std::size_t replySize) {
    AccessoryManager manager;
    manager.attach(accessory);
    auto session = AccessorySession::open(accessory, accessory->protocolStrings().front());
    auto input = session->inputStream();
    auto output = session->outputStream();
    input->open();
    output->open();
    std::mutex lock;
    std::condition_variable arrived;
    uint64_t signals = 0;
    input->setBytesAvailableHandler([&] {
        {
            std::lock_guard guard(lock);
            ++signals;
        }
        arrived.notify_all();
    });
    uint8_t buffer[256];
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = Clk::now();
        output->write(request.data(), request.size());
        std::size_t got = 0;
        while (got < replySize) {
            std::unique_lock guard(lock);
            const uint64_t seen = signals;
            guard.unlock();
            const long n = input->read(buffer, sizeof buffer);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                continue;
            }
            guard.lock();
            arrived.wait_for(guard, std::chrono::milliseconds(10), [&] { return signals != seen; });
        }
        samples.push_back(std::chrono::duration<double, std::micro>(Clk::now() - start).count());
    }
    input->setBytesAvailableHandler({});
    input->close();
    output->close();
    state.counters["median_us"] = medianMicros(samples);
}

}  // namespace orvane::bench
