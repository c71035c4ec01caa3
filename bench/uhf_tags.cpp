// What an application gets from the tag path, per model: the path to the application's
// UhfDelegate (through a reader made from discovery as an application makes one, connected by
// its own initialisation: its device, the reader's event line and its teller on a global-queue
// thread, the radio-module driver and the UHF object) against the link alone (the same inventory,
// started by the same driver on the same link, reaching a counting delegate put in place of the
// device on the protocol). Three measurements, each in pairs (one inventory per side):
//
// 1. Library CPU per tag at a steady pace: 3,000 tags a second, one tag report per write (a
//    Bluetooth link: one tag per read), and 20,000 a second, eight reports per write. CPU is the
//    process's CPU time (CLOCK_PROCESS_CPUTIME_ID) over the measured stretch less that of the
//    feeding thread (CLOCK_THREAD_CPUTIME_ID), divided by the tags that reached the delegate in
//    it: `uhf_us/tag`, `link_us/tag`, and `ratio` (uhf / link, median of the pairs' ratios, with
//    `ratio_q1` and `ratio_q3`).
// 2. Latency from parse to callback at those two paces: the library stamps a tag report
//    (`TagInfo::timestamp()`, system_clock) when it makes it from the frame; the delegate takes
//    system_clock::now() minus the stamp. `*_p50_us` and `*_p99_us` over every measured tag of
//    every pair of a side.
// 3. The top rate: tags fed as fast as they go, the ratio of the rates at the two delegates, and
//    the tag reports the event line did not tell (`dropped`, its `notTold()` over the runs).
// 4. An application that never returns: its tag callback held while the fed reports fill the
//    event line and twice as many more are parsed and dropped. `stop_us` is the time from stop()
//    to its answer, which comes while the callback is still held (median and largest of the
//    runs); `grown_MB` the growth of the process's resident memory from before the inventory to
//    the full line (largest of the runs: the first, before the allocator keeps what it freed).
//
// A Vk210 tag report is one frame; a Vk640 one is a tag record in an inventory data packet, so
// "one report per write" is a packet of one tag and "eight per write" a packet of eight (the
// sim's own packet size).
//
// How it is kept repeatable:
// - Both sides run on one connected reader, in pairs (the counting delegate swapped in and out
//   on the protocol between them), the side that goes first alternating; each pair gives one
//   ratio, and the figures are the median of the pairs (latencies: of all measured tags).
// - The inventory is started on the sim as usual, but its tag reports (the sim's own frames)
//   are fed to the link by this program (`accessory->sendToHost`), prepared before it starts.
//   Left to itself the sim writes as fast as the transport's read thread takes the bytes, so the
//   size of the batches the receive thread parses in one turn, which sets its cost per tag,
//   would depend on thread scheduling.
// - At a steady pace the feeder (the benchmark's thread) writes on a fixed schedule: it sleeps
//   until the k-th write's time, start + k periods, so a late wake is made up by the next writes
//   instead of shifting all the rest, and every pair sees the same rate and the same writes;
//   `fed_tags/s` is the rate the schedule kept over the measured stretch. The stretch starts
//   `warmupSeconds` into the inventory and ends when the last tag fed has been told. The writes
//   are built before the rig connects, and the feeder's own CPU (its sleeps, its copies into the
//   link) is taken out; what the process does while idle (keep-alive, the loops' rests) stays in,
//   alike on both sides. The delegate only counts and stores one latency sample in an array
//   sized beforehand: it neither allocates nor locks.
// - At the top rate the feeder hands the reports over `kChunkTags` at a time, keeping
//   `kChunksAhead` chunks ahead of the delegate: the receive thread always has work and finds
//   batches of about the same size. The lead (8,192 tags, half the event line's bound of 16,384)
//   covers the time the line's teller takes to wake, which a lead of a few chunks turned into
//   lost rate. A rate is counted by the delegate itself, from its `kTopWarmupTags`-th tag to its
//   last, so the start and stop of the inventory stay out of it. The feed completes when the
//   tags told and the tags not told add up to those fed (within a time limit), so a drop ends
//   the run instead of stalling it; with the lead below the line's bound, `dropped` stays 0
//   unless the line drops for another reason.
// - The field holds `kPopulation` distinct tags, read in rounds as a handheld reads the tags
//   around it. With every report a new tag, per-tag state kept on the path (the Vk640's list of
//   the tags seen since the inventory started) grew by tens of thousands of entries in each
//   inventory and was freed at the next start, and that allocation work moved the rate by up to
//   a factor of two from one inventory to the next.
// - The reader keeps its keep-alive at the default; it runs on both sides alike.
// - The figures still move with what else the machine runs (other processes' load shows in the
//   wake-up latencies and in CPU time through shared caches): compare runs made on one machine
//   at one time, several of them (see bench/summarise).
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/TagInfo.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/DetectReader.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/reader/EventSequence.h"
#include "orvanerfid/reader/UhfReader.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"
#include "sim/SimVk210.h"
#include "sim/SimVk210Module.h"
#include "sim/SimVk640.h"

namespace {

using namespace orvane;
using Clk = std::chrono::steady_clock;
using SysClk = std::chrono::system_clock;

// ---- What is measured, and how long --------------------------------------------------------

// Distinct tags in the field, reported in rounds.
constexpr std::size_t kPopulation = 1024;

// A steady pace: tags a second, tag reports per write to the link, the seconds of each inventory
// left out at its start and measured after them, and the pairs measured.
struct Pace {
    const char* name;
    double tagsPerSecond;
    std::size_t reportsPerWrite;
    double warmupSeconds;
    double measuredSeconds;
    int pairs;

    constexpr std::size_t writes(double seconds) const {
        return static_cast<std::size_t>(seconds * tagsPerSecond / double(reportsPerWrite));
    }
    constexpr std::size_t warmupWrites() const { return writes(warmupSeconds); }
    constexpr std::size_t totalWrites() const { return warmupWrites() + writes(measuredSeconds); }
    constexpr std::size_t totalTags() const { return totalWrites() * reportsPerWrite; }
};
constexpr Pace kBluetoothPace{"3000/s, 1 report per write", 3000, 1, 0.5, 3.0, 9};
constexpr Pace kBurstPace{"20000/s, 8 reports per write", 20000, 8, 0.25, 1.5, 9};

// The top rate: tags per inventory, those left out at its start, tags per write, the writes
// that may wait ahead of the delegate, the pairs measured and those run first unmeasured.
constexpr std::size_t kTopInventoryTags = 60 * kPopulation;
constexpr std::size_t kTopWarmupTags = 10 * kPopulation;
constexpr std::size_t kChunkTags = 256;
constexpr std::size_t kChunksAhead = 32;
constexpr int kTopPairs = 31;
constexpr int kTopWarmupPairs = 2;

// Inventories to a held application.
constexpr int kHeldRuns = 7;

// How long a feed may wait for its last tags to be told or counted as not told.
constexpr auto kCompletionLimit = std::chrono::seconds(10);

static_assert(kTopInventoryTags % kChunkTags == 0 && kPopulation % kChunkTags == 0);
static_assert(kPopulation % kBluetoothPace.reportsPerWrite == 0 &&
              kPopulation % kBurstPace.reportsPerWrite == 0);
static_assert(kChunksAhead * kChunkTags < EventSequence::kTagCapacity);

// ---- Counting at the delegate --------------------------------------------------------------

double cpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Counts the tags one delegate gets. Paced, it stores each tag's latency (parse to callback,
// nanoseconds) at its index; at the top rate it times the stretch from the warm-up tag to the
// last one and wakes the feeder at each chunk's end. The work per tag is the same whichever side
// it counts for. Tags are told one at a time on either side (the line's teller is one thread at
// a time, handed over under the line's lock), so one writer at a time updates the count.
class TagCounter {
  public:
    static constexpr std::size_t kSampleCapacity =
        std::max(kBluetoothPace.totalTags(), kBurstPace.totalTags());

    TagCounter() : latencies_(kSampleCapacity) {}

    void reset(bool paced) {
        std::lock_guard guard(lock_);
        paced_ = paced;
        count_.store(0, std::memory_order_relaxed);
        chunks_ = 0;
        first_ = last_ = Clk::time_point{};
    }

    void tag(const TagInfo& info) {
        const std::size_t at = count_.load(std::memory_order_relaxed);
        if (paced_) {
            if (at < latencies_.size()) latencies_[at] = (SysClk::now() - info.timestamp()).count();
            count_.store(at + 1, std::memory_order_release);
            return;
        }
        const std::size_t n = at + 1;
        if (n == kTopWarmupTags) first_ = Clk::now();
        if (n == kTopInventoryTags) last_ = Clk::now();
        count_.store(n, std::memory_order_release);
        if (n % kChunkTags == 0) {
            {
                std::lock_guard guard(lock_);
                chunks_ = n / kChunkTags;
            }
            wake_.notify_one();
        }
    }

    std::size_t count() const { return count_.load(std::memory_order_acquire); }

    // Waits (at the top rate) until the tags told plus `notTold()` reach `tags`; false past the
    // limit. The chunk's wake ends the wait; short slices catch the tags not told.
    bool waitTags(std::size_t tags, const std::function<uint64_t()>& notTold) {
        const auto end = Clk::now() + kCompletionLimit;
        std::unique_lock guard(lock_);
        while (count() + notTold() < tags) {
            if (Clk::now() > end) return false;
            wake_.wait_for(guard, std::chrono::milliseconds(2),
                           [&] { return chunks_ * kChunkTags >= tags; });
        }
        return true;
    }

    // Tags per second over the timed stretch (top rate); `end` stands for the last tag when
    // some were not told.
    double rate(Clk::time_point end) const {
        const std::size_t n = count();
        const Clk::time_point last = n == kTopInventoryTags ? last_ : end;
        if (n <= kTopWarmupTags || first_ == Clk::time_point{}) return 0;
        const double seconds = std::chrono::duration<double>(last - first_).count();
        return static_cast<double>(n - kTopWarmupTags) / seconds;
    }

    // The latencies of tags [from, to), nanoseconds, appended to `out`.
    void takeLatencies(std::size_t from, std::size_t to, std::vector<int64_t>& out) const {
        to = std::min(to, latencies_.size());
        if (from < to)
            out.insert(out.end(), latencies_.begin() + long(from), latencies_.begin() + long(to));
    }

  private:
    std::atomic<std::size_t> count_{0};
    bool paced_ = false;
    std::vector<int64_t> latencies_;
    Clk::time_point first_;
    Clk::time_point last_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::size_t chunks_ = 0;
};

class CountingProtocolDelegate : public BaseProtocolDelegate {
  public:
    TagCounter counter;
    void protocolEvent(const ProtocolEventArgs& event) override {
        if (event.id() != ProtocolEventId::tagInfo) return;
        if (const auto* info = event.get<TagInfoPtr>(); info && *info) counter.tag(**info);
    }
};

class CountingApp : public UhfDelegate {
  public:
    TagCounter counter;
    void readTag(std::shared_ptr<UhfReader>, std::shared_ptr<TagInfo> info) override {
        if (info) counter.tag(*info);
    }
    void accessResult(std::shared_ptr<UhfReader>, const AccessResultEventArgs&) override {}
};

// An application whose tag callbacks wait until it is released.
class HeldApp : public UhfDelegate {
  public:
    void readTag(std::shared_ptr<UhfReader>, std::shared_ptr<TagInfo>) override {
        std::unique_lock guard(lock_);
        open_.wait(guard, [&] { return released_; });
    }
    void accessResult(std::shared_ptr<UhfReader>, const AccessResultEventArgs&) override {}
    void hold() {
        std::lock_guard guard(lock_);
        released_ = false;
    }
    void release() {
        {
            std::lock_guard guard(lock_);
            released_ = true;
        }
        open_.notify_all();
    }

  private:
    std::mutex lock_;
    std::condition_variable open_;
    bool released_ = true;
};

// The resident memory of this process, in bytes.
long residentBytes() {
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

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

// ---- The models ----------------------------------------------------------------------------

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

// For set-up, stop and tear-down only.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto end = Clk::now() + limit;
    while (!condition()) {
        if (Clk::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// ---- One side's inventory ------------------------------------------------------------------

// One paced inventory on one side.
struct PacedRun {
    bool complete = false;
    double cpuPerTagUs = 0;
    double fedRate = 0;
    uint64_t dropped = 0;
};

// One inventory at the top rate on one side.
struct TopRun {
    bool complete = false;
    double rate = 0;
    uint64_t dropped = 0;
};

// The writes of the field's round, `perWrite` tag reports each.
template <typename Model>
std::vector<Bytes> fieldWrites(const std::vector<SimTag>& tags, std::size_t perWrite) {
    std::vector<Bytes> writes;
    for (std::size_t first = 0; first < kPopulation; first += perWrite) {
        Bytes write;
        Model::appendReports(write, std::span<const SimTag>(tags).subspan(first, perWrite), first);
        writes.push_back(std::move(write));
    }
    return writes;
}

// One simulated reader attached and discovered, and a UhfReader for it, connected. The sim
// holds no tags: its inventory starts and stops as usual and the reports come from this program.
template <typename Model>
struct ReaderRig {
    std::shared_ptr<typename Model::Sim> sim = Model::makeSim();
    std::shared_ptr<SimAccessory> accessory = Model::accessory(sim);
    std::shared_ptr<DetectReader> detector = DetectReader::create();
    std::shared_ptr<Found> found = std::make_shared<Found>();
    std::shared_ptr<UhfReader> reader;
    std::shared_ptr<CountingApp> app = std::make_shared<CountingApp>();
    std::shared_ptr<CountingProtocolDelegate> link = std::make_shared<CountingProtocolDelegate>();
    // The field's round, in writes of the reports a write holds (keyed by their number).
    std::map<std::size_t, std::vector<Bytes>> writes;
    bool ready = false;

    explicit ReaderRig(std::size_t reportsPerWrite) {
        orvLogger::setLevel(LogLevel::fatal);
        writes[reportsPerWrite] = fieldWrites<Model>(makeSimTags(kPopulation), reportsPerWrite);
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

    bool connected() const { return reader->connectState() == ConnectState::connected; }

    // Feeds the pace's writes on their schedule and measures the stretch after the warm-up, up
    // to the moment the last tag fed is told (or counted as not told).
    PacedRun feedPaced(const Pace& pace, TagCounter& counter,
                       const std::function<uint64_t()>& notTold) {
        const std::vector<Bytes>& round = writes.at(pace.reportsPerWrite);
        const auto period = std::chrono::duration_cast<Clk::duration>(
            std::chrono::duration<double>(double(pace.reportsPerWrite) / pace.tagsPerSecond));
        const std::size_t total = pace.totalWrites();
        const std::size_t fed = pace.totalTags();
        double process0 = 0;
        double feeder0 = 0;
        std::size_t told0 = 0;
        uint64_t dropped0 = 0;
        Clk::time_point measured0;
        const Clk::time_point start = Clk::now() + std::chrono::milliseconds(1);
        for (std::size_t k = 0; k < total; ++k) {
            std::this_thread::sleep_until(start + period * long(k));
            if (k == pace.warmupWrites()) {
                measured0 = Clk::now();
                told0 = counter.count();
                dropped0 = notTold();
                feeder0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
                process0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
            }
            if (!accessory->sendToHost(round[k % round.size()])) return {};
        }
        const Clk::time_point lastWrite = Clk::now();
        const auto end = lastWrite + kCompletionLimit;
        while (counter.count() + notTold() < fed) {
            if (Clk::now() > end) return {};
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const double process1 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double feeder1 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const std::size_t told = counter.count() - told0;
        PacedRun run;
        run.complete = told > 0;
        run.cpuPerTagUs = ((process1 - process0) - (feeder1 - feeder0)) * 1e6 / double(told);
        // From the first measured write to the last: one period fewer than the writes.
        run.fedRate = double((total - pace.warmupWrites() - 1) * pace.reportsPerWrite) /
                      std::chrono::duration<double>(lastWrite - measured0).count();
        run.dropped = notTold() - dropped0;
        return run;
    }

    // Feeds the top-rate inventory, each chunk once the delegate has all but `kChunksAhead` of
    // those before it (told or not told).
    TopRun feedTop(TagCounter& counter, const std::function<uint64_t()>& notTold) {
        const std::vector<Bytes>& chunks = writes.at(kChunkTags);
        const std::size_t total = kTopInventoryTags / kChunkTags;
        for (std::size_t i = 0; i < total; ++i) {
            if (i >= kChunksAhead &&
                !counter.waitTags((i - kChunksAhead + 1) * kChunkTags, notTold))
                return {};
            if (!accessory->sendToHost(chunks[i % chunks.size()])) return {};
        }
        if (!counter.waitTags(kTopInventoryTags, notTold)) return {};
        TopRun run;
        run.rate = counter.rate(Clk::now());
        run.complete = run.rate > 0;
        run.dropped = notTold();
        return run;
    }

    // One inventory through the reader's UHF object, measured by `feed` at the application's
    // delegate; the tags the event line did not tell are counted from its start.
    template <typename Run>
    Run throughUhf(bool paced,
                   const std::function<Run(TagCounter&, const std::function<uint64_t()>&)>& feed) {
        const auto uhf = reader->uhf();
        const EventSequence& line = reader->eventLine();
        app->counter.reset(paced);
        const uint64_t notTold0 = line.notTold();
        std::atomic<bool> started{false};
        uhf->inventory([&](ResultCode) { started = true; });
        waitFor([&] { return started.load(); });
        const Run run = feed(app->counter, [&] { return line.notTold() - notTold0; });
        std::atomic<bool> stopped{false};
        uhf->stop([&](ResultCode) { stopped = true; });
        waitFor([&] { return stopped.load() && reader->actionState() == ActionState::stop; });
        return run;
    }

    // The same inventory started by the driver with the counting delegate in the device's place
    // on the protocol: the link alone. The device takes its place back afterwards.
    template <typename Run>
    Run throughLink(bool paced,
                    const std::function<Run(TagCounter&, const std::function<uint64_t()>&)>& feed) {
        const auto protocol = reader->baseProtocol();
        const auto device = protocol->delegate();
        const auto driver = reader->uhf()->uhfModule();
        link->counter.reset(paced);
        protocol->setDelegate(link);
        driver->inventory();
        const Run run = feed(link->counter, [] { return uint64_t{0}; });
        driver->stop();
        // The end-of-inventory frame that follows the stop's reply is the counter's too.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        protocol->setDelegate(device);
        return run;
    }
};

// ---- Figures -------------------------------------------------------------------------------

double quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const auto low = static_cast<std::size_t>(at);
    const std::size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

// The `q` quantile of latencies in nanoseconds, in microseconds.
double latencyUs(std::vector<int64_t>& samples, double q) {
    if (samples.empty()) return 0;
    const auto at = static_cast<std::size_t>(q * static_cast<double>(samples.size() - 1));
    std::nth_element(samples.begin(), samples.begin() + long(at), samples.end());
    return std::chrono::duration<double, std::micro>(SysClk::duration(samples[at])).count();
}

struct PacedFigures {
    double uhfUs = 0, linkUs = 0, ratio = 0, ratioQ1 = 0, ratioQ3 = 0;
    double uhfP50 = 0, uhfP99 = 0, linkP50 = 0, linkP99 = 0;
    double fedRate = 0;
    uint64_t dropped = 0;
    bool done = false;
};
struct TopFigures {
    double ratio = 0, ratioQ1 = 0, ratioQ3 = 0, uhfRate = 0, linkRate = 0;
    uint64_t dropped = 0;
    bool done = false;
};
struct HeldFigures {
    double stopP50Us = 0, stopMaxUs = 0, grownMb = 0;
    int runs = 0;
    bool done = false;
};
struct ModelFigures {
    HeldFigures held;
    PacedFigures bluetooth;
    PacedFigures burst;
    TopFigures top;
};

// The figures per model, printed after the table.
std::map<std::string, ModelFigures>& summary() {
    static std::map<std::string, ModelFigures> figures;
    return figures;
}

// Each iteration is one pair at `pace`: both sides once on the same reader, the first side
// alternating. The table's time is the UhfDelegate side's library CPU per tag (mean of the pairs).
template <typename Model>
void pacedPairs(benchmark::State& state, const Pace& pace) {
    ReaderRig<Model> rig(pace.reportsPerWrite);
    if (!rig.ready) {
        state.SkipWithError("the reader did not connect");
        return;
    }
    using Feed = std::function<PacedRun(TagCounter&, const std::function<uint64_t()>&)>;
    std::vector<int64_t> uhfLatencies;
    std::vector<int64_t> linkLatencies;
    uhfLatencies.reserve(std::size_t(pace.pairs) * pace.totalTags());
    linkLatencies.reserve(std::size_t(pace.pairs) * pace.totalTags());
    std::vector<double> uhfCpu, linkCpu, ratios, fedRates;
    uint64_t dropped = 0;
    // The measured tags' latencies, once the side's inventory is over.
    const auto keep = [&](const TagCounter& counter, std::vector<int64_t>& out) {
        const std::size_t all = counter.count();
        const std::size_t warm = pace.warmupWrites() * pace.reportsPerWrite;
        counter.takeLatencies(std::min(warm, all), all, out);
    };
    bool uhfFirst = false;
    for (auto _ : state) {
        const Feed feed = [&](TagCounter& counter, const std::function<uint64_t()>& notTold) {
            return rig.feedPaced(pace, counter, notTold);
        };
        PacedRun uhf;
        PacedRun link;
        if (uhfFirst) {
            uhf = rig.template throughUhf<PacedRun>(true, feed);
            link = rig.template throughLink<PacedRun>(true, feed);
        } else {
            link = rig.template throughLink<PacedRun>(true, feed);
            uhf = rig.template throughUhf<PacedRun>(true, feed);
        }
        uhfFirst = !uhfFirst;
        if (!uhf.complete || !link.complete || !rig.connected()) {
            state.SkipWithError("tags missing, or the reader disconnected");
            return;
        }
        keep(rig.app->counter, uhfLatencies);
        keep(rig.link->counter, linkLatencies);
        state.SetIterationTime(uhf.cpuPerTagUs * 1e-6);
        uhfCpu.push_back(uhf.cpuPerTagUs);
        linkCpu.push_back(link.cpuPerTagUs);
        ratios.push_back(uhf.cpuPerTagUs / link.cpuPerTagUs);
        fedRates.push_back(uhf.fedRate);
        fedRates.push_back(link.fedRate);
        dropped += uhf.dropped;
    }
    PacedFigures f;
    f.uhfUs = quantile(uhfCpu, 0.5);
    f.linkUs = quantile(linkCpu, 0.5);
    f.ratio = quantile(ratios, 0.5);
    f.ratioQ1 = quantile(ratios, 0.25);
    f.ratioQ3 = quantile(ratios, 0.75);
    f.uhfP50 = latencyUs(uhfLatencies, 0.5);
    f.uhfP99 = latencyUs(uhfLatencies, 0.99);
    f.linkP50 = latencyUs(linkLatencies, 0.5);
    f.linkP99 = latencyUs(linkLatencies, 0.99);
    f.fedRate = quantile(fedRates, 0.5);
    f.dropped = dropped;
    f.done = true;
    state.counters["uhf_us/tag"] = f.uhfUs;
    state.counters["link_us/tag"] = f.linkUs;
    state.counters["ratio"] = f.ratio;
    state.counters["ratio_q1"] = f.ratioQ1;
    state.counters["ratio_q3"] = f.ratioQ3;
    state.counters["uhf_p50_us"] = f.uhfP50;
    state.counters["uhf_p99_us"] = f.uhfP99;
    state.counters["link_p50_us"] = f.linkP50;
    state.counters["link_p99_us"] = f.linkP99;
    state.counters["fed_tags/s"] = f.fedRate;
    state.counters["dropped"] = double(f.dropped);
    auto& figures = summary()[Model::kName];
    (&pace == &kBluetoothPace ? figures.bluetooth : figures.burst) = f;
}

// Each iteration is one pair at the top rate. The table's time is that of the timed stretch on
// both sides.
template <typename Model>
void topPairs(benchmark::State& state) {
    ReaderRig<Model> rig(kChunkTags);
    if (!rig.ready) {
        state.SkipWithError("the reader did not connect");
        return;
    }
    using Feed = std::function<TopRun(TagCounter&, const std::function<uint64_t()>&)>;
    const Feed feed = [&](TagCounter& counter, const std::function<uint64_t()>& notTold) {
        return rig.feedTop(counter, notTold);
    };
    for (int i = 0; i < kTopWarmupPairs; ++i) {
        rig.template throughLink<TopRun>(false, feed);
        rig.template throughUhf<TopRun>(false, feed);
    }
    std::vector<double> ratios, uhfRates, linkRates;
    uint64_t dropped = 0;
    bool uhfFirst = false;
    for (auto _ : state) {
        TopRun uhf;
        TopRun link;
        if (uhfFirst) {
            uhf = rig.template throughUhf<TopRun>(false, feed);
            link = rig.template throughLink<TopRun>(false, feed);
        } else {
            link = rig.template throughLink<TopRun>(false, feed);
            uhf = rig.template throughUhf<TopRun>(false, feed);
        }
        uhfFirst = !uhfFirst;
        if (!uhf.complete || !link.complete) {
            state.SkipWithError("tags missing");
            return;
        }
        const double timed = double(kTopInventoryTags - kTopWarmupTags);
        state.SetIterationTime(timed / uhf.rate + timed / link.rate);
        uhfRates.push_back(uhf.rate);
        linkRates.push_back(link.rate);
        ratios.push_back(uhf.rate / link.rate);
        dropped += uhf.dropped;
    }
    TopFigures f;
    f.ratio = quantile(ratios, 0.5);
    f.ratioQ1 = quantile(ratios, 0.25);
    f.ratioQ3 = quantile(ratios, 0.75);
    f.uhfRate = quantile(uhfRates, 0.5);
    f.linkRate = quantile(linkRates, 0.5);
    f.dropped = dropped;
    f.done = true;
    state.counters["ratio"] = f.ratio;
    state.counters["ratio_q1"] = f.ratioQ1;
    state.counters["ratio_q3"] = f.ratioQ3;
    state.counters["uhf_tags/s"] = f.uhfRate;
    state.counters["link_tags/s"] = f.linkRate;
    state.counters["dropped"] = double(f.dropped);
    summary()[Model::kName].top = f;
}

// Each iteration is one inventory to a held application: the line fills, then stop().
template <typename Model>
void heldRuns(benchmark::State& state) {
    ReaderRig<Model> rig(kChunkTags);
    if (!rig.ready) {
        state.SkipWithError("the reader did not connect");
        return;
    }
    const auto uhf = rig.reader->uhf();
    const auto protocol = rig.reader->baseProtocol();
    const EventSequence& line = rig.reader->eventLine();
    const std::vector<Bytes>& chunks = rig.writes.at(kChunkTags);
    auto app = std::make_shared<HeldApp>();
    uhf->setDelegate(app);
    std::vector<double> stops;
    double grown = 0;
    for (auto _ : state) {
        app->hold();
        const long before = residentBytes();
        std::atomic<bool> started{false};
        uhf->inventory([&](ResultCode) { started = true; });
        waitFor([&] { return started.load(); });
        // The line's worth and twice as many more, each chunk parsed before the next is fed.
        const uint64_t parsed0 = protocol->tagReportsParsed();
        for (std::size_t i = 0; i * kChunkTags < 3 * EventSequence::kTagCapacity; ++i) {
            const uint64_t target = parsed0 + (i + 1) * kChunkTags;
            if (!rig.accessory->sendToHost(chunks[i % chunks.size()]) ||
                !waitFor([&] { return protocol->tagReportsParsed() >= target; })) {
                app->release();
                state.SkipWithError("tags missing");
                return;
            }
        }
        if (!waitFor([&] { return line.waitingTags() >= EventSequence::kTagCapacity; })) {
            app->release();
            state.SkipWithError("the line did not fill");
            return;
        }
        grown = std::max(grown, double(residentBytes() - before) / double(1 << 20));
        std::atomic<int64_t> tookNs{-1};
        const Clk::time_point asked = Clk::now();
        uhf->stop([&](ResultCode) { tookNs = (Clk::now() - asked).count(); });
        const bool answered = waitFor([&] { return tookNs.load() >= 0; });
        app->release();
        waitFor([&] {
            return tookNs.load() >= 0 && rig.reader->actionState() == ActionState::stop &&
                   line.isIdle();
        });
        if (!answered) {
            state.SkipWithError("stop() did not answer");
            return;
        }
        const double us = double(tookNs.load()) / 1e3;
        state.SetIterationTime(us / 1e6);
        stops.push_back(us);
    }
    HeldFigures f;
    f.stopP50Us = quantile(stops, 0.5);
    f.stopMaxUs = quantile(stops, 1.0);
    f.grownMb = grown;
    f.runs = int(stops.size());
    f.done = true;
    state.counters["stop_us"] = f.stopP50Us;
    state.counters["stop_max_us"] = f.stopMaxUs;
    state.counters["grown_MB"] = f.grownMb;
    summary()[Model::kName].held = f;
}

void BM_Vk640HeldApplication(benchmark::State& state) {
    heldRuns<Vk640Model>(state);
}
void BM_Vk210HeldApplication(benchmark::State& state) {
    heldRuns<Vk210Model>(state);
}

void BM_Vk640Paced3000(benchmark::State& state) {
    pacedPairs<Vk640Model>(state, kBluetoothPace);
}
void BM_Vk640Paced20000(benchmark::State& state) {
    pacedPairs<Vk640Model>(state, kBurstPace);
}
void BM_Vk640TopRate(benchmark::State& state) {
    topPairs<Vk640Model>(state);
}
void BM_Vk210Paced3000(benchmark::State& state) {
    pacedPairs<Vk210Model>(state, kBluetoothPace);
}
void BM_Vk210Paced20000(benchmark::State& state) {
    pacedPairs<Vk210Model>(state, kBurstPace);
}
void BM_Vk210TopRate(benchmark::State& state) {
    topPairs<Vk210Model>(state);
}

BENCHMARK(BM_Vk640Paced3000)
    ->Iterations(kBluetoothPace.pairs)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime();
BENCHMARK(BM_Vk640Paced20000)
    ->Iterations(kBurstPace.pairs)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime();
BENCHMARK(BM_Vk640TopRate)->Iterations(kTopPairs)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Vk210Paced3000)
    ->Iterations(kBluetoothPace.pairs)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime();
BENCHMARK(BM_Vk210Paced20000)
    ->Iterations(kBurstPace.pairs)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime();
BENCHMARK(BM_Vk210TopRate)->Iterations(kTopPairs)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Vk640HeldApplication)
    ->Iterations(kHeldRuns)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime();
BENCHMARK(BM_Vk210HeldApplication)
    ->Iterations(kHeldRuns)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime();

void printPaced(const Pace& pace, const PacedFigures& f) {
    if (!f.done) return;
    std::printf("  %s, %d pairs (fed %.0f tags/s):\n", pace.name, pace.pairs, f.fedRate);
    std::printf("    library CPU us/tag: uhf %.3f, link %.3f, uhf/link %.3f (q1 %.3f, q3 %.3f)\n",
                f.uhfUs, f.linkUs, f.ratio, f.ratioQ1, f.ratioQ3);
    std::printf("    parse->callback us: uhf p50 %.1f p99 %.1f, link p50 %.1f p99 %.1f\n", f.uhfP50,
                f.uhfP99, f.linkP50, f.linkP99);
    std::printf("    dropped at the line: %llu\n", static_cast<unsigned long long>(f.dropped));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [model, f] : summary()) {
        std::printf("%s:\n", model.c_str());
        printPaced(kBluetoothPace, f.bluetooth);
        printPaced(kBurstPace, f.burst);
        if (f.top.done) {
            std::printf(
                "  top rate, %d pairs, lead %zu tags: uhf/link rate %.3f (q1 %.3f, q3 %.3f), "
                "uhf %.0f tags/s, link %.0f tags/s, dropped %llu\n",
                kTopPairs, kChunksAhead * kChunkTags, f.top.ratio, f.top.ratioQ1, f.top.ratioQ3,
                f.top.uhfRate, f.top.linkRate, static_cast<unsigned long long>(f.top.dropped));
        }
        if (f.held.done) {
            std::printf(
                "  held application, %d runs: stop() answered in %.0f us (largest %.0f), "
                "memory grew %.1f MB to the full line\n",
                f.held.runs, f.held.stopP50Us, f.held.stopMaxUs, f.held.grownMb);
        }
    }
    return 0;
}
