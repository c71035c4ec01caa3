// The Vk210 protocol over the accessory transport and the simulated reader, against baselines
// measured in the same run:
// - the round trip of `send` (reply at once) against the raw round trip of the same bytes
//   through the accessory pipe; both report the median in microseconds;
// - tag reports per second delivered to a protocol delegate, the simulator streaming as fast as
//   the link takes them, against cutting and parsing the same frames into the same events;
// - the processor time a connected reader costs while nothing is sent, in percent of one core.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "LinkBenchSupport.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/Vk210Protocol.h"
#include "sim/SimVk210.h"

namespace {

using namespace orvane;
using bench::Clk;
using bench::LinkRig;
using bench::medianMicros;

constexpr std::size_t kInventoryTags = 50000;

// Counts tag reports and the end of the inventory.
class CountingDelegate : public BaseProtocolDelegate {
  public:
    std::atomic<std::size_t> tags{0};
    std::atomic<bool> stopped{false};
    void protocolEvent(const ProtocolEventArgs& event) override {
        if (event.id() == ProtocolEventId::tagInfo) {
            tags.fetch_add(1, std::memory_order_relaxed);
        } else if (event.id() == ProtocolEventId::actionChanged) {
            stopped = true;
        }
    }
};

using Rig = LinkRig<SimVk210, Vk210Protocol, CountingDelegate>;

void BM_SendRoundTrip(benchmark::State& state) {
    Rig rig;
    const Bytes request = OrvaneRfidCommand::frame(OrvRfidCmdId::firmware, {});
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = Clk::now();
        const Response response = rig.protocol->send(request, 3000);
        samples.push_back(std::chrono::duration<double, std::micro>(Clk::now() - start).count());
        if (response.resultCode() != ResultCode::noError) state.SkipWithError("send failed");
    }
    state.counters["median_us"] = medianMicros(samples);
}
BENCHMARK(BM_SendRoundTrip)->Iterations(2000);

// The same request and reply through the accessory's streams, with no transport or protocol.
void BM_RawPipeRoundTrip(benchmark::State& state) {
    auto sim = std::make_shared<SimVk210>();
    const Bytes request = OrvaneRfidCommand::frame(OrvRfidCmdId::firmware, {});
    const std::size_t replySize =
        SimVk210::replyFrame(OrvRfidCmdId::firmware, 0, sim->setting("firmware")).size();
    bench::rawPipeRoundTrip(state, SimVk210::makeAccessory(sim), request, replySize);
}
BENCHMARK(BM_RawPipeRoundTrip)->Iterations(2000);

void BM_TagReportsToDelegate(benchmark::State& state) {
    Rig rig;
    rig.sim->setTags(makeSimTags(kInventoryTags));
    const Bytes start = OrvaneRfidCommand::frame(OrvRfidCmdId::inventory, {});
    const Bytes stop = OrvaneRfidCommand::frame(OrvRfidCmdId::cancel, {});
    for (auto _ : state) {
        rig.delegate->tags = 0;
        rig.delegate->stopped = false;
        rig.protocol->send(start, 3000);
        while (rig.delegate->tags.load() < kInventoryTags)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        state.PauseTiming();
        rig.protocol->send(stop, 3000);
        while (!rig.delegate->stopped.load())
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInventoryTags));
}
BENCHMARK(BM_TagReportsToDelegate)->Unit(benchmark::kMillisecond)->UseRealTime();

// Cutting, parsing and building the tag events of the same frames, with no link or thread.
void BM_TagReportsParseOnly(benchmark::State& state) {
    orvLogger::setLevel(LogLevel::fatal);
    Bytes stream;
    for (const SimTag& tag : makeSimTags(kInventoryTags)) {
        const Bytes frame = SimVk210::tagReportFrame(tag);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    CountingDelegate delegate;
    for (auto _ : state) {
        forEachFrameUntil(
            stream, [](ByteView bytes) { return OrvaneRfidCommand::cutFrame(bytes); },
            [&](ByteView frame) {
                const auto parsed = OrvaneRfidCommand::parseFrame(frame);
                if (!parsed) return;
                for (const auto& event : vk210FrameEvents(*parsed))
                    delegate.protocolEvent(event);
            },
            [] { return false; });
    }
    benchmark::DoNotOptimize(delegate.tags.load());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInventoryTags));
}
BENCHMARK(BM_TagReportsParseOnly)->Unit(benchmark::kMillisecond);

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A connected reader, its protocol's receive loop and the simulated accessory, all idle.
void BM_IdleConnectedReader(benchmark::State& state) {
    Rig rig;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    double percent = 0;
    for (auto _ : state) {
        const double before = processorSeconds();
        const auto start = Clk::now();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double wall = std::chrono::duration<double>(Clk::now() - start).count();
        percent = (processorSeconds() - before) / wall * 100.0;
    }
    state.counters["cpu_percent_of_one_core"] = percent;
}
BENCHMARK(BM_IdleConnectedReader)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
