// The Vk640 protocol object over the simulated reader: the round trip of one request through
// the accessory transport, against the same request and reply moved through the raw transport
// (median of each, in microseconds), and tag reports delivered to the delegate per second, from
// bytes already received and through the whole simulated stack.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/commands/Vk640Packets.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/Vk640Protocol.h"
#include "sim/SimVk640.h"

namespace {

using namespace orvane;
using SteadyClock = std::chrono::steady_clock;

class CountingDelegate : public BaseProtocolDelegate {
  public:
    std::atomic<std::size_t> tags{0};
    void protocolEvent(const ProtocolEventArgs& event) override {
        if (event.id() == ProtocolEventId::tagInfo) tags.fetch_add(1, std::memory_order_relaxed);
    }
};

void waitFor(const std::atomic<std::size_t>& count, std::size_t target) {
    while (count.load(std::memory_order_relaxed) < target)
        std::this_thread::yield();
}

// A simulated Vk640 attached and connected through the accessory transport.
struct SimLinkSetUp {
    AccessoryManager manager;
    std::shared_ptr<SimVk640> reader = std::make_shared<SimVk640>();
    std::shared_ptr<SimAccessory> accessory = SimVk640::makeAccessory(reader);
    std::shared_ptr<EATransport> transport = std::make_shared<EATransport>();
    std::shared_ptr<Vk640Protocol> protocol = std::make_shared<Vk640Protocol>(transport);
    std::shared_ptr<CountingDelegate> delegate = std::make_shared<CountingDelegate>();

    explicit SimLinkSetUp(bool startProtocol) {
        // The connect's own ERROR line while it waits for the link is no news here.
        orvLogger::setShowNSLog(false);
        orvLogger::setLevel(LogLevel::warn);
        manager.attach(accessory);
        transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(accessory));
        transport->connect();
        protocol->setDelegate(delegate);
        if (startProtocol) {
            protocol->start();
            protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished));
        }
    }
    ~SimLinkSetUp() {
        protocol->stop();
        transport->disconnect();
    }
};

void reportMedian(benchmark::State& state, std::vector<double>& micros) {
    if (micros.empty()) return;
    std::nth_element(micros.begin(), micros.begin() + static_cast<long>(micros.size() / 2),
                     micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
}

void BM_Vk640RoundTrip(benchmark::State& state) {
    SimLinkSetUp link(true);
    STUHFL_BluetoothMacAddress request;
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = SteadyClock::now();
        const Response response = link.protocol->send(request.getPacketBytes(), 3000);
        micros.push_back(
            std::chrono::duration<double, std::micro>(SteadyClock::now() - start).count());
        if (response.resultCode() != ResultCode::noError) state.SkipWithError("send failed");
    }
    reportMedian(state, micros);
}
BENCHMARK(BM_Vk640RoundTrip)->Iterations(2000)->UseRealTime();

// The same exchange without the protocol: write the request, read the reply's bytes.
void BM_Vk640RawPipeRoundTrip(benchmark::State& state) {
    SimLinkSetUp link(false);
    STUHFL_BluetoothMacAddress request;
    Bytes reply(STPacket::kHeaderSize + 8);
    std::vector<double> micros;
    for (auto _ : state) {
        const Bytes bytes = request.getPacketBytes();
        const auto start = SteadyClock::now();
        link.transport->write(bytes, 0, static_cast<int>(bytes.size()), 3000);
        const int read = link.transport->read(reply, 0, static_cast<int>(reply.size()), 3000);
        micros.push_back(
            std::chrono::duration<double, std::micro>(SteadyClock::now() - start).count());
        if (read != static_cast<int>(reply.size())) state.SkipWithError("read failed");
    }
    reportMedian(state, micros);
}
BENCHMARK(BM_Vk640RawPipeRoundTrip)->Iterations(2000)->UseRealTime();

// A transport whose received bytes the benchmark puts there itself.
class MemoryTransport : public BaseTransport {
  public:
    MemoryTransport() : BaseTransport("MemoryTransport") {}
    std::string firmwareRevision() const override { return "1.01.11"; }
    bool connect() override {
        assignConnectState(ConnectState::connected);
        deliverStateReports();
        return true;
    }
    bool disconnect() override {
        assignConnectState(ConnectState::disconnected);
        deliverStateReports();
        return true;
    }
    int read(std::span<uint8_t> data, int offset, int length, int) override {
        return byteQueue().dequeue(data, offset, length);
    }
    int write(ByteView, int, int length, int) override { return length; }
    void feed(ByteView bytes) { receive(bytes); }
};

// Tag reports from inventory data packets already received: cutting, parsing, the records,
// the indicator steps and the delegate call, on the receive loop's thread.
void BM_Vk640TagRate(benchmark::State& state) {
    orvLogger::setLevel(LogLevel::warn);
    const std::size_t perPacket = static_cast<std::size_t>(state.range(0));
    const std::vector<SimTag> population = makeSimTags(16000);
    Bytes stream;
    for (std::size_t i = 0; i < population.size(); i += perPacket) {
        const Bytes packet =
            SimVk640::inventoryPacket(std::span<const SimTag>(population).subspan(i, perPacket), i);
        stream.insert(stream.end(), packet.begin(), packet.end());
    }
    auto transport = std::make_shared<MemoryTransport>();
    transport->connect();
    auto protocol = std::make_shared<Vk640Protocol>(transport);
    auto delegate = std::make_shared<CountingDelegate>();
    protocol->setDelegate(delegate);
    protocol->start();
    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished));
    std::size_t target = 0;
    for (auto _ : state) {
        target += population.size();
        transport->feed(stream);
        waitFor(delegate->tags, target);
    }
    state.SetItemsProcessed(static_cast<int64_t>(target));
    protocol->stop();
    transport->disconnect();
}
BENCHMARK(BM_Vk640TagRate)->Arg(1)->Arg(8)->Arg(32)->UseRealTime()->Unit(benchmark::kMillisecond);

// The same through the whole simulated stack: the reader streams, the accessory transport reads.
void BM_Vk640TagRateOverSim(benchmark::State& state) {
    SimLinkSetUp link(true);
    link.reader->setTags(makeSimTags(16000));
    link.reader->setTagsPerPacket(static_cast<std::size_t>(state.range(0)));
    STUHFL_T_Gen2_Inventory inventory;
    std::size_t target = 0;
    for (auto _ : state) {
        target += 16000;
        link.protocol->send(inventory.commandPacketBytes(), 3000);
        waitFor(link.delegate->tags, target);
        state.PauseTiming();
        link.protocol->send(inventory.stopPacketBytes(), 3000);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(target));
}
BENCHMARK(BM_Vk640TagRateOverSim)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
