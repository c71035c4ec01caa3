// Tag reports per second from a simulated reader to the application's UhfDelegate, through a
// reader made from discovery as an application makes one (connected by its own initialisation),
// its device, its event path, the radio-module driver and the UHF object; against the rate at
// which the same inventory, started by the same driver on the same link, reaches a delegate put
// in place of the device on the protocol. The figure is the ratio of the two rates, per model.
//
// How it is kept repeatable:
// - Both sides run on one connected reader, in pairs (the counting delegate swapped in and out
//   on the protocol between them), the side that goes first alternating; each pair gives one
//   ratio, and the counter `ratio` is their median.
// - The inventory is started on the sim as usual, but its tag reports (the sim's own frames)
//   are fed to the link by this program, `kChunkTags` at a time, keeping `kChunksAhead` chunks
//   ahead of the delegate. Left to itself the sim writes as fast as the transport's read thread
//   takes the bytes, and that thread queues whatever the receive thread has not taken yet, so how
//   far the receive thread falls behind (and with it the size of the batches it parses and
//   delivers in one turn, which sets its cost per tag) depended on thread scheduling: the same
//   inventory ran anywhere between 0.4 and 4 million tags a second. With a bounded lead the
//   receive thread always has work and always finds batches of about the same size.
// - The field holds `kPopulation` distinct tags, read in rounds as a handheld reads the tags
//   around it. With every report a new tag, per-tag state kept on the path (the Vk640's list of
//   the tags seen since the inventory started) grew by tens of thousands of entries in each
//   inventory and was freed at the next start, and that allocation work moved the rate by up to
//   a factor of two from one inventory to the next.
// - A rate is counted by the delegate itself, from its `kWarmupTags`-th tag to its last, so the
//   start and stop of the inventory stay out of it; nothing polls while tags flow.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
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
using Clk = std::chrono::steady_clock;

// Distinct tags in the field; an inventory reports them in rounds, `kInventoryTags` in all, and
// the count starts after `kWarmupTags`.
constexpr std::size_t kPopulation = 1024;
constexpr std::size_t kInventoryTags = 60 * kPopulation;
constexpr std::size_t kWarmupTags = 10 * kPopulation;
// Tags handed to the link at once, and how many such chunks may wait ahead of the delegate.
constexpr std::size_t kChunkTags = 256;
constexpr std::size_t kChunksAhead = 4;
// Pairs of measurements per model (each pair: one inventory per side), after unmeasured ones.
constexpr int kPairs = 51;
constexpr int kWarmupPairs = 2;

static_assert(kInventoryTags % kChunkTags == 0 && kPopulation % kChunkTags == 0);

// Counts tags and times the stretch from the warm-up tag to the last one. Wakes the feeder at
// each chunk's end; the work per tag is the same whichever side it counts for.
class TagClock {
  public:
    void reset() {
        std::lock_guard guard(lock_);
        count_.store(0, std::memory_order_relaxed);
        chunks_ = 0;
    }
    void tag() {
        const std::size_t n = count_.fetch_add(1, std::memory_order_acq_rel) + 1;
        if (n == kWarmupTags) first_ = Clk::now();
        if (n == kInventoryTags) last_ = Clk::now();
        if (n % kChunkTags == 0) {
            {
                std::lock_guard guard(lock_);
                chunks_ = n / kChunkTags;
            }
            wake_.notify_one();
        }
    }
    // False when fewer than `chunks` chunks came within the limit.
    bool waitChunks(std::size_t chunks) {
        std::unique_lock guard(lock_);
        return wake_.wait_for(guard, std::chrono::seconds(10), [&] { return chunks_ >= chunks; });
    }
    // Tags per second over the timed stretch.
    double rate() const {
        const double seconds = std::chrono::duration<double>(last_ - first_).count();
        return static_cast<double>(kInventoryTags - kWarmupTags) / seconds;
    }

  private:
    std::atomic<std::size_t> count_{0};
    Clk::time_point first_;
    Clk::time_point last_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::size_t chunks_ = 0;
};

class CountingProtocolDelegate : public BaseProtocolDelegate {
  public:
    TagClock clock;
    void protocolEvent(const ProtocolEventArgs& event) override {
        if (event.id() == ProtocolEventId::tagInfo) clock.tag();
    }
};

class CountingApp : public UhfDelegate {
  public:
    TagClock clock;
    void readTag(std::shared_ptr<UhfReader>, std::shared_ptr<TagInfo>) override { clock.tag(); }
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

// Each sim as a reader is found (the Vk210 with its radio module and already in the connection
// mode the library wants), and the inventory's reports as that sim streams them.
struct Vk210Model {
    using Sim = SimVk210;
    static constexpr const char* kName = "Vk210";
    static std::shared_ptr<Sim> makeSim() {
        auto sim = std::make_shared<Sim>();
        sim->setSetting("connectionMode", {0x03});
        addVk210ModuleRows(*sim);
        return sim;
    }
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim) {
        return Sim::makeAccessory(sim);
    }
    static void appendReports(Bytes& out, std::span<const SimTag> tags, std::size_t) {
        for (const SimTag& tag : tags)
            Sim::appendTagReport(out, tag);
    }
};

struct Vk640Model {
    using Sim = SimVk640;
    static constexpr const char* kName = "Vk640";
    static std::shared_ptr<Sim> makeSim() { return std::make_shared<Sim>(); }
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim) {
        return Sim::makeAccessory(sim, "SIM640-0001", "1.01.11");
    }
    static void appendReports(Bytes& out, std::span<const SimTag> tags, std::size_t first) {
        for (std::size_t at = 0; at < tags.size(); at += Sim::kTagsPerPacket) {
            const std::size_t n = std::min(Sim::kTagsPerPacket, tags.size() - at);
            Sim::appendInventoryPacket(out, tags.subspan(at, n), first + at);
        }
    }
};

// For set-up, stop and tear-down only; nothing polls while tags flow.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto end = Clk::now() + limit;
    while (!condition()) {
        if (Clk::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// One simulated reader attached and discovered, and a UhfReader for it, connected. The sim
// holds no tags: its inventory starts and stops as usual and the reports come from `chunks`.
template <typename Model>
struct ReaderRig {
    std::shared_ptr<typename Model::Sim> sim = Model::makeSim();
    std::shared_ptr<SimAccessory> accessory = Model::accessory(sim);
    std::shared_ptr<DetectReader> detector = DetectReader::create();
    std::shared_ptr<Found> found = std::make_shared<Found>();
    std::shared_ptr<UhfReader> reader;
    std::shared_ptr<CountingApp> app = std::make_shared<CountingApp>();
    std::shared_ptr<CountingProtocolDelegate> counter =
        std::make_shared<CountingProtocolDelegate>();
    std::vector<Bytes> chunks;
    bool ready = false;

    ReaderRig() {
        orvLogger::setLevel(LogLevel::fatal);
        const std::vector<SimTag> tags = makeSimTags(kPopulation);
        for (std::size_t at = 0; at < kInventoryTags; at += kChunkTags) {
            const std::size_t first = at % kPopulation;
            Bytes chunk;
            Model::appendReports(chunk, std::span<const SimTag>(tags).subspan(first, kChunkTags),
                                 first);
            chunks.push_back(std::move(chunk));
        }
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
    ReaderRig(const ReaderRig&) = delete;
    ReaderRig& operator=(const ReaderRig&) = delete;

    // Hands the reports to the link, each chunk once the delegate has all but `kChunksAhead`
    // of those before it. False when the delegate stopped getting them.
    bool feed(TagClock& clock) {
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            if (i >= kChunksAhead && !clock.waitChunks(i - kChunksAhead + 1)) return false;
            if (!accessory->sendToHost(chunks[i])) return false;
        }
        return clock.waitChunks(chunks.size());
    }
};

// One inventory through the reader's UHF object: the rate at the application's delegate.
template <typename Model>
double throughUhf(ReaderRig<Model>& rig) {
    const auto uhf = rig.reader->uhf();
    rig.app->clock.reset();
    std::atomic<bool> started{false};
    uhf->inventory([&](ResultCode) { started = true; });
    waitFor([&] { return started.load(); });
    const bool complete = rig.feed(rig.app->clock);
    std::atomic<bool> stopped{false};
    uhf->stop([&](ResultCode) { stopped = true; });
    waitFor([&] { return stopped.load() && rig.reader->actionState() == ActionState::stop; });
    return complete ? rig.app->clock.rate() : 0;
}

// The same inventory started by the driver with the counting delegate in the device's place on
// the protocol: the link's own rate. The device takes its place back afterwards.
template <typename Model>
double throughProtocol(ReaderRig<Model>& rig) {
    const auto protocol = rig.reader->baseProtocol();
    const auto device = protocol->delegate();
    const auto driver = rig.reader->uhf()->uhfModule();
    rig.counter->clock.reset();
    protocol->setDelegate(rig.counter);
    driver->inventory();
    const bool complete = rig.feed(rig.counter->clock);
    driver->stop();
    // The end-of-inventory frame that follows the stop's reply is the counter's too.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    protocol->setDelegate(device);
    return complete ? rig.counter->clock.rate() : 0;
}

double quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const auto low = static_cast<std::size_t>(at);
    const std::size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

// The median ratio per model, printed after the table.
std::map<std::string, double>& summary() {
    static std::map<std::string, double> ratios;
    return ratios;
}

// Each iteration is one pair: both sides once on the same reader, the first side alternating.
template <typename Model>
void tagRatio(benchmark::State& state) {
    ReaderRig<Model> rig;
    if (!rig.ready) {
        state.SkipWithError("the reader did not connect");
        return;
    }
    for (int i = 0; i < kWarmupPairs; ++i) {
        throughProtocol(rig);
        throughUhf(rig);
    }
    std::vector<double> ratios;
    std::vector<double> uhfRates;
    std::vector<double> protocolRates;
    bool uhfFirst = false;
    for (auto _ : state) {
        double uhfRate = 0;
        double protocolRate = 0;
        if (uhfFirst) {
            uhfRate = throughUhf(rig);
            protocolRate = throughProtocol(rig);
        } else {
            protocolRate = throughProtocol(rig);
            uhfRate = throughUhf(rig);
        }
        uhfFirst = !uhfFirst;
        if (uhfRate <= 0 || protocolRate <= 0) {
            state.SkipWithError("tags missing");
            return;
        }
        // The time a tag takes on each side, so the table's time column stays meaningful.
        state.SetIterationTime(static_cast<double>(kInventoryTags - kWarmupTags) / uhfRate +
                               static_cast<double>(kInventoryTags - kWarmupTags) / protocolRate);
        uhfRates.push_back(uhfRate);
        protocolRates.push_back(protocolRate);
        ratios.push_back(uhfRate / protocolRate);
    }
    const double ratio = quantile(ratios, 0.5);
    state.counters["ratio"] = ratio;
    state.counters["ratio_q1"] = quantile(ratios, 0.25);
    state.counters["ratio_q3"] = quantile(ratios, 0.75);
    state.counters["uhf_tags/s"] = quantile(uhfRates, 0.5);
    state.counters["protocol_tags/s"] = quantile(protocolRates, 0.5);
    summary()[Model::kName] = ratio;
}

void BM_Vk640TagRatio(benchmark::State& state) {
    tagRatio<Vk640Model>(state);
}
void BM_Vk210TagRatio(benchmark::State& state) {
    tagRatio<Vk210Model>(state);
}

BENCHMARK(BM_Vk640TagRatio)->Iterations(kPairs)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Vk210TagRatio)->Iterations(kPairs)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [model, ratio] : summary())
        std::printf("%s: UhfDelegate rate / protocol-delegate rate = %.3f (median of %d pairs)\n",
                    model.c_str(), ratio, kPairs);
    return 0;
}
