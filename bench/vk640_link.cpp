// The Vk640 protocol over the accessory transport and the simulated reader, against baselines
// measured in the same run:
// - the round trip of `send` (reply at once) against the raw round trip of the same bytes
//   through the accessory pipe; both report the median in microseconds;
// - tag reports per second delivered to a protocol delegate, the simulator streaming inventory
//   data packets of several tags as fast as the link takes them, against sorting the same
//   packets into the same events (inventory feedback included) with no link or thread.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "LinkBenchSupport.h"
#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/commands/Vk640Packets.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/EmulatorTransport.h"
#include "orvanerfid/link/Vk640Protocol.h"
#include "sim/SimVk640.h"

namespace {

using namespace orvane;
using bench::Clk;
using bench::LinkRig;
using bench::medianMicros;

constexpr std::size_t kInventoryTags = 50000;

class CountingDelegate : public BaseProtocolDelegate {
  public:
    std::atomic<std::size_t> tags{0};
    void protocolEvent(const ProtocolEventArgs& event) override {
        if (event.id() == ProtocolEventId::tagInfo) tags.fetch_add(1, std::memory_order_relaxed);
    }
};

// A connected simulated reader past its start-up.
struct Rig : LinkRig<SimVk640, Vk640Protocol, CountingDelegate> {
    Rig() { protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished)); }
};

const Bytes& macRequest() {
    static const Bytes request = STUHFL_BluetoothMacAddress().getPacketBytes();
    return request;
}

void BM_Vk640SendRoundTrip(benchmark::State& state) {
    Rig rig;
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = Clk::now();
        const Response response = rig.protocol->send(macRequest(), 3000);
        samples.push_back(std::chrono::duration<double, std::micro>(Clk::now() - start).count());
        if (response.resultCode() != ResultCode::noError) state.SkipWithError("send failed");
    }
    state.counters["median_us"] = medianMicros(samples);
}
BENCHMARK(BM_Vk640SendRoundTrip)->Iterations(2000);

// The same request and reply through the accessory's streams, with no transport or protocol.
void BM_Vk640RawPipeRoundTrip(benchmark::State& state) {
    auto sim = std::make_shared<SimVk640>();
    const std::size_t replySize = STPacket::kHeaderSize + 2 + sim->setting("mac").size();
    bench::rawPipeRoundTrip(state, SimVk640::makeAccessory(sim), macRequest(), replySize);
}
BENCHMARK(BM_Vk640RawPipeRoundTrip)->Iterations(2000);

void BM_Vk640TagReportsToDelegate(benchmark::State& state) {
    Rig rig;
    rig.sim->setTags(makeSimTags(kInventoryTags));
    rig.sim->setTagsPerPacket(static_cast<std::size_t>(state.range(0)));
    STUHFL_T_Gen2_Inventory inventory;
    const Bytes start = inventory.commandPacketBytes();
    const Bytes stop = inventory.stopPacketBytes();
    for (auto _ : state) {
        rig.delegate->tags = 0;
        rig.protocol->send(start, 3000);
        while (rig.delegate->tags.load() < kInventoryTags)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        state.PauseTiming();
        rig.protocol->send(stop, 3000);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInventoryTags));
}
BENCHMARK(BM_Vk640TagReportsToDelegate)
    ->Arg(8)
    ->Arg(32)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Cutting the same packets and sorting them into the same events, feedback steps included, on
// the calling thread with no link.
void BM_Vk640TagReportsParseOnly(benchmark::State& state) {
    orvLogger::setLevel(LogLevel::fatal);
    const std::vector<SimTag> tags = makeSimTags(kInventoryTags);
    const auto perPacket = static_cast<std::size_t>(state.range(0));
    Bytes stream;
    for (std::size_t i = 0; i < tags.size(); i += perPacket) {
        SimVk640::appendInventoryPacket(
            stream, std::span<const SimTag>(tags).subspan(i, std::min(perPacket, tags.size() - i)),
            i);
    }
    auto protocol = std::make_shared<Vk640Protocol>(std::make_shared<EmulatorTransport>());
    auto delegate = std::make_shared<CountingDelegate>();
    protocol->setDelegate(delegate);
    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished));
    for (auto _ : state) {
        forEachFrameUntil(
            stream, STPacket::cutPacket,
            [&](ByteView packet) { protocol->handlePacket(STPacket(packet)); },
            [] { return false; });
    }
    benchmark::DoNotOptimize(delegate->tags.load());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInventoryTags));
}
BENCHMARK(BM_Vk640TagReportsParseOnly)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
