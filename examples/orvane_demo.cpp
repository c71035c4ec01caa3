// A first tour of the SDK, with a simulated reader of each model standing in for the hardware:
// find the reader, connect, read its firmware, battery and radio module, run an inventory,
// write and read back a tag's user memory, change a radio setting, disconnect.
//
// Built against the installed package, as an application is:
//   find_package(OrvaneRFID REQUIRED COMPONENTS sim)
//   target_link_libraries(app PRIVATE OrvaneRFID::orvanerfid OrvaneRFID::sim)
// With a real reader plugged in, leave out the SimulatedReader: DetectReader reports the reader
// and everything after that is the same.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/orvanerfid.h"
#include "orvanerfid/sim/SimulatedReader.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kTagsInField = 300;
constexpr const char* kPassword = "00000000";

// Waits for a completion (or any other callback) that hands over one value.
template <class T>
class Awaited {
  public:
    void set(T value) {
        std::lock_guard guard(lock_);
        value_ = std::move(value);
        ready_.notify_all();
    }
    std::optional<T> wait(std::chrono::milliseconds timeout = 5s) {
        std::unique_lock guard(lock_);
        ready_.wait_for(guard, timeout, [&] { return value_.has_value(); });
        return value_;
    }

  private:
    std::mutex lock_;
    std::condition_variable ready_;
    std::optional<T> value_;
};

template <class T>
using Reading = std::pair<orvane::ResultCode, std::optional<T>>;

// Runs a reading operation and waits for its completion (which owns its share of the wait, so a
// completion after the timeout writes to nothing freed).
template <class T, class Operation>
Reading<T> read(Operation&& operation) {
    auto done = std::make_shared<Awaited<Reading<T>>>();
    operation([done](orvane::ResultCode code, std::optional<T> value) {
        done->set({code, std::move(value)});
    });
    return done->wait().value_or(Reading<T>{orvane::ResultCode::timeout, std::nullopt});
}

// Runs an operation that completes with a code alone and waits for it.
template <class Operation>
orvane::ResultCode run(Operation&& operation) {
    auto done = std::make_shared<Awaited<orvane::ResultCode>>();
    operation([done](orvane::ResultCode code) { done->set(code); });
    return done->wait().value_or(orvane::ResultCode::timeout);
}

std::string text(orvane::ResultCode code) {
    return std::string(orvane::description(code));
}

// Hands over the discovered reader, and disconnects the reader made for it when its accessory
// goes away: the library itself notices a lost reader only after four failed keep-alive
// exchanges, and a Vk640 makes none while it inventories.
class Discovery : public orvane::DetectReaderDelegate {
  public:
    void didConnectReader(const std::shared_ptr<orvane::OrvaneDevice>& device) override {
        found.set(device);
    }
    // Runs on the thread that detaches the accessory, with no library lock held, so it may call
    // disconnect() (which waits at most about 3 s). `device` is a new descriptor of the
    // accessory: it is matched by the attachment's connection identifier.
    void didDisconnectReader(const std::shared_ptr<orvane::OrvaneDevice>& device) override {
        std::shared_ptr<orvane::UhfReader> reader;
        {
            std::lock_guard guard(lock_);
            if (device->connectionID() == connectionID_) reader = reader_.lock();
        }
        if (reader) reader->disconnect();
    }
    // The reader made for `device`; held weakly, the tour owns it.
    void follow(const orvane::OrvaneDevice& device, std::weak_ptr<orvane::UhfReader> reader) {
        std::lock_guard guard(lock_);
        connectionID_ = device.connectionID();
        reader_ = std::move(reader);
    }
    Awaited<std::shared_ptr<orvane::OrvaneDevice>> found;

  private:
    std::mutex lock_;
    int64_t connectionID_ = 0;
    std::weak_ptr<orvane::UhfReader> reader_;
};

// Prints every connection state the reader reports; the other reader events are not needed here.
class States : public orvane::ReaderDelegate {
  public:
    void connectStateEvent(const orvane::ConnectStateEventArgs& args) override {
        std::printf("  state: %s\n", std::string(orvane::description(args.connectState())).c_str());
    }
    void batteryPercentageEvent(uint8_t) override {}
    void batteryInfoEvent(uint8_t, bool) override {}
    void temperatureEvent(double) override {}
    void actionStateEvent(orvane::ActionState) override {}
    void triggerKeyEvent(const orvane::KeyEventArgs&) override {}
    void notificationEvent(const orvane::NotificationEventArgs&) override {}
    void logEvent(const orvane::LogEventArg&) override {}
    void firmwareUpdateEvent(const orvane::FirmwareUpdateEventArgs&) override {}
    void lbtStatusEvent(const orvane::LbtStatusEventArgs&) override {}
    void batchDataStatusEvent(orvane::BatchDataStatus) override {}
};

// Counts tag reads and collects tag-access results.
class Field : public orvane::UhfDelegate {
  public:
    void readTag(std::shared_ptr<orvane::UhfReader>,
                 std::shared_ptr<orvane::TagInfo> tag) override {
        std::lock_guard guard(lock_);
        ++reads_[tag->strEPC()];
        ++total_;
        minRssi_ = std::min(minRssi_, tag->rssi());
        maxRssi_ = std::max(maxRssi_, tag->rssi());
    }
    void accessResult(std::shared_ptr<orvane::UhfReader>,
                      const orvane::AccessResultEventArgs& result) override {
        std::lock_guard guard(lock_);
        if (access_) access_(result);
    }

    // Calls `onResult` with every access result until the next call.
    void onAccess(std::function<void(const orvane::AccessResultEventArgs&)> onResult) {
        std::lock_guard guard(lock_);
        access_ = std::move(onResult);
    }
    std::size_t unique() const {
        std::lock_guard guard(lock_);
        return reads_.size();
    }
    std::size_t total() const {
        std::lock_guard guard(lock_);
        return total_;
    }
    std::pair<float, float> rssiRange() const {
        std::lock_guard guard(lock_);
        return {minRssi_, maxRssi_};
    }
    std::string firstEpc() const {
        std::lock_guard guard(lock_);
        return reads_.empty() ? std::string() : reads_.begin()->first;
    }

  private:
    mutable std::mutex lock_;
    std::map<std::string, int> reads_;
    std::size_t total_ = 0;
    float minRssi_ = 0;
    float maxRssi_ = -1000;
    std::function<void(const orvane::AccessResultEventArgs&)> access_;
};

// Starts a tag access and waits for its access result.
template <class Start>
std::optional<orvane::AccessResultEventArgs> access(Field& field, Start&& start) {
    Awaited<orvane::AccessResultEventArgs> result;
    field.onAccess([&result](const orvane::AccessResultEventArgs& r) { result.set(r); });
    const orvane::ResultCode started = start();
    std::optional<orvane::AccessResultEventArgs> outcome;
    if (started == orvane::ResultCode::noError) {
        outcome = result.wait();
    } else {
        std::printf("  tag access refused: %s\n", text(started).c_str());
    }
    field.onAccess(nullptr);
    return outcome;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

bool inventory(orvane::BaseUhf& uhf, Field& field) {
    const auto start = Clock::now();
    const orvane::ResultCode started = run([&](auto done) { uhf.inventory(done); });
    if (started != orvane::ResultCode::noError) {
        std::printf("  inventory refused: %s\n", text(started).c_str());
        return false;
    }
    // Two seconds, or longer until every tag was seen (at most ten), with a progress line twice
    // a second.
    while (Clock::now() < start + 10s &&
           (Clock::now() < start + 2s || field.unique() < kTagsInField)) {
        std::this_thread::sleep_for(500ms);
        std::printf("  inventory: %zu unique tags, %zu reads\n", field.unique(), field.total());
    }
    const orvane::ResultCode stopped = run([&](auto done) { uhf.stop(done); });
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const auto [low, high] = field.rssiRange();
    std::printf(
        "  inventory: %zu unique tags, %zu reads in %.1f s (%.0f reads/s), RSSI %.1f to %.1f "
        "dBm; stop: %s\n",
        field.unique(), field.total(), seconds, field.total() / seconds, low, high,
        text(stopped).c_str());
    return field.unique() == kTagsInField && stopped == orvane::ResultCode::noError;
}

bool memoryRoundTrip(orvane::BaseUhf& uhf, Field& field, const orvane::sim::SimulatedReader& sim) {
    const std::string data = "CAFEBABE";
    const auto written =
        access(field, [&] { return uhf.writeMemory(orvane::BankType::user, 0, data, kPassword); });
    const auto read =
        access(field, [&] { return uhf.readMemory(orvane::BankType::user, 0, 2, kPassword); });
    if (!written || !read) {
        std::printf("  user memory: no access result\n");
        return false;
    }
    std::printf("  user memory of the first tag: write %s (%s), read back %s (%s)\n", data.c_str(),
                text(written->resultCode()).c_str(), read->strData().c_str(),
                text(read->resultCode()).c_str());
    // The simulated tag itself now holds the bytes.
    const orvane::Bytes held = sim.userMemory(0);
    return written->resultCode() == orvane::ResultCode::noError &&
           read->resultCode() == orvane::ResultCode::noError && read->strData() == data &&
           orvane::toHexString(
               orvane::ByteView(held).first(std::min<std::size_t>(held.size(), 4))) == data;
}

bool radioSetting(orvane::BaseUhf& uhf) {
    const auto before = read<int>([&](auto done) { uhf.getPower(done); });
    if (!before.second) {
        std::printf("  power: %s\n", text(before.first).c_str());
        return false;
    }
    const int wanted = *before.second == 20 ? 25 : 20;
    const orvane::ResultCode set = run([&](auto done) { uhf.setPower(wanted, done); });
    const auto after = read<int>([&](auto done) { uhf.getPower(done); });
    std::printf("  power: %d dBm, set %d dBm (%s), read back %s\n", *before.second, wanted,
                text(set).c_str(),
                after.second ? (std::to_string(*after.second) + " dBm").c_str()
                             : text(after.first).c_str());
    return set == orvane::ResultCode::noError && after.second == wanted;
}

bool tour(orvane::DeviceType model) {
    std::printf("== %s\n", std::string(orvane::description(model)).c_str());
    // The simulated reader, with a few hundred tags in its field, plugged in.
    auto sim = orvane::sim::SimulatedReader::create(model, kTagsInField);
    sim->setInventoryRate(400);
    sim->setInventoryRepeats(true);
    auto discovery = std::make_shared<Discovery>();
    auto detector = orvane::DetectReader::create();
    detector->setDelegate(discovery);
    detector->startDetect();
    sim->attach();
    const auto device = discovery->found.wait();
    if (!device || !*device) {
        std::printf("  no reader discovered\n");
        return false;
    }
    std::printf("  discovered: %s %s, serial number %s\n", (*device)->manufacturer().c_str(),
                (*device)->deviceName().c_str(), (*device)->serialNumber().c_str());

    bool ok = true;
    {
        auto reader = orvane::UhfReader::create(*device);
        discovery->follow(**device, reader);
        auto states = std::make_shared<States>();
        reader->setReaderDelegate(states);
        reader->connect();
        if (!waitFor([&] { return reader->connectState() == orvane::ConnectState::connected; },
                     20s)) {
            std::printf("  did not connect\n");
            detector->stopDetect();
            return false;
        }
        const auto firmware =
            read<std::string>([&](auto done) { reader->getFirmwareVersion(done); });
        const auto battery =
            read<orvane::BatteryStatus>([&](auto done) { reader->getBatteryState(done); });
        auto uhf = reader->uhf();
        std::printf("  firmware: %s\n", firmware.second ? firmware.second->c_str() : "?");
        if (battery.second) {
            std::printf("  battery: %u%%%s\n", battery.second->percentage(),
                        battery.second->charging() ? ", charging" : "");
        } else {
            std::printf("  battery: %s\n", text(battery.first).c_str());
        }
        std::printf("  radio module: %s\n",
                    uhf ? std::string(orvane::description(uhf->uhfModuleType())).c_str() : "none");
        ok = firmware.second && battery.second && uhf;
        if (uhf) {
            auto field = std::make_shared<Field>();
            uhf->setDelegate(field);
            ok = inventory(*uhf, *field) && ok;
            // The reader is back in Stop before the next operation.
            waitFor([&] { return reader->actionState() == orvane::ActionState::stop; }, 3s);
            ok = memoryRoundTrip(*uhf, *field, *sim) && ok;
            ok = radioSetting(*uhf) && ok;
        }
        reader->disconnect();
        ok = ok && reader->connectState() == orvane::ConnectState::disconnected;
    }
    detector->stopDetect();
    sim->detach();
    std::printf("  %s\n", ok ? "done" : "FAILED");
    return ok;
}

}  // namespace

int main() {
    // The SDK's own log lines stay out of the tour.
    orvane::orvLogger::setShowNSLog(getenv("DEMO_LOG") != nullptr);
    bool ok = true;
    for (const orvane::DeviceType model : {orvane::DeviceType::vk210, orvane::DeviceType::vk640})
        ok = tour(model) && ok;
    return ok ? 0 : 1;
}
