#pragma once

// The shared end-to-end fixture: one simulated reader attached through the accessory transport
// and discovered, and a UhfReader made for the discovered descriptor as an application makes one.
// connect() walks the real initialisation, which makes the UHF object (and the Vk210's engine).
//
//     test::ModelReader<test::Vk640Model> f;
//     ASSERT_TRUE(f.connected());
//     f.reader->uhf()->inventory(...);   f.sim->setTags(...);

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ReaderTestSupport.h"
#include "orvanerfid/link/DetectReader.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/reader/EventSequence.h"
#include "orvanerfid/reader/UhfReader.h"
#include "sim/SimVk210.h"
#include "sim/SimVk210Module.h"
#include "sim/SimVk640.h"

namespace orvane::test {

// Waits for the one answer of an asynchronous getter; a timeout when none comes.
template <typename T>
std::pair<ResultCode, std::optional<T>> answerOf(
    const std::function<void(std::function<void(ResultCode, std::optional<T>)>)>& call) {
    auto lock = std::make_shared<std::mutex>();
    auto answer = std::make_shared<std::optional<std::pair<ResultCode, std::optional<T>>>>();
    call([lock, answer](ResultCode code, std::optional<T> value) {
        std::lock_guard guard(*lock);
        answer->emplace(code, std::move(value));
    });
    EXPECT_TRUE(waitUntil([&] {
        std::lock_guard guard(*lock);
        return answer->has_value();
    }));
    std::lock_guard guard(*lock);
    return answer->value_or(std::pair{ResultCode::timeout, std::nullopt});
}

// Waits for the code of an asynchronous operation without a value.
inline ResultCode codeOf(const std::function<void(std::function<void(ResultCode)>)>& call) {
    auto code = std::make_shared<std::atomic<int>>(-1);
    call([code](ResultCode c) { *code = static_cast<int>(rawValue(c)); });
    EXPECT_TRUE(waitUntil([&] { return code->load() >= 0; }));
    return static_cast<ResultCode>(code->load());
}

class FoundReaders : public DetectReaderDelegate {
  public:
    void didConnectReader(const std::shared_ptr<OrvaneDevice>& device) override {
        std::lock_guard guard(lock);
        devices.push_back(device);
    }
    void didDisconnectReader(const std::shared_ptr<OrvaneDevice>&) override {}
    std::mutex lock;
    std::vector<std::shared_ptr<OrvaneDevice>> devices;
};

class TagCounter : public UhfDelegate {
  public:
    void readTag(std::shared_ptr<UhfReader>, std::shared_ptr<TagInfo>) override { ++tags; }
    void accessResult(std::shared_ptr<UhfReader>, const AccessResultEventArgs&) override {}
    std::atomic<int> tags{0};
};

// One simulated reader attached and discovered, and a UhfReader made for it that records its
// delegate calls and log records. Checks every 300 ms.
class SimReaderFixture {
  public:
    explicit SimReaderFixture(std::shared_ptr<SimAccessory> accessory)
        : accessory_(std::move(accessory)) {
        BaseReader::setLogLevel(LogLevel::trace);
        AccessoryManager::shared().attach(accessory_);
        detector->setDelegate(found);
        detector->startDetect();
        reader = UhfReader::create(found->devices.front());
        reader->setReaderDelegate(sink);
        reader->setCheckInterval(300);
    }
    ~SimReaderFixture() {
        auto transport = EATransport::shared();
        // A test may have let the reader go as an application does; it closed its link then.
        if (reader) {
            reader->disconnect();
            std::weak_ptr<UhfReader> weak = reader;
            reader.reset();
            EXPECT_TRUE(waitUntil([&] { return weak.expired(); }));
        }
        EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 0; }));
        detector->stopDetect();
        AccessoryManager::shared().detach(accessory_);
        transport->setOrvaneDevice(nullptr);
        BaseReader::setLogLevel(LogLevel::info);
    }
    SimReaderFixture(const SimReaderFixture&) = delete;
    SimReaderFixture& operator=(const SimReaderFixture&) = delete;

    // Connects and waits for the application's Connected report (the initialisation's end) to
    // have reached every delegate.
    bool connected() {
        // States of an earlier connection still being told would be counted as this one's.
        if (!waitUntil([&] { return reader->eventLine().statesTold(); })) return false;
        const int before = calls->count("r state Connected");
        return reader->connect() &&
               waitUntil([&] { return calls->count("r state Connected") > before; }) &&
               waitUntil([&] { return reader->eventLine().statesTold(); }) &&
               reader->connectState() == ConnectState::connected;
    }
    bool disconnectedAfterAttempt() {
        reader->connect();
        return waitUntil([&] { return calls->count("r state Disconnected") > 0; }) &&
               waitUntil([&] { return reader->connectState() == ConnectState::disconnected; });
    }
    int logCount(const std::string& line) {
        std::lock_guard guard(sink->logLock);
        return static_cast<int>(std::count(sink->logs.begin(), sink->logs.end(), line));
    }
    bool logged(const std::string& line) {
        return waitUntil([&] { return logCount(line) > 0; });
    }

    std::shared_ptr<SimAccessory> accessory_;
    std::shared_ptr<DetectReader> detector = DetectReader::create();
    std::shared_ptr<FoundReaders> found = std::make_shared<FoundReaders>();
    std::shared_ptr<CallLog> calls = std::make_shared<CallLog>();
    std::shared_ptr<ReaderSink> sink = std::make_shared<ReaderSink>(calls);
    std::shared_ptr<UhfReader> reader;
};

// A UhfReaderDelegate that hears only action changes.
class ActionListener : public UhfReaderDelegate {
  public:
    void batteryPercentageEvent(uint8_t) override {}
    void temperatureEvent(double) override {}
    void connectStateEvent(const ConnectStateEventArgs&) override {}
    void triggerKeyEvent(const KeyEventArgs&) override {}
    void notificationEvent(const NotificationEventArgs&) override {}
    void logEvent(const LogEventArg&) override {}
};

// The two models, for typed suites. Each sim starts in the state a reader is found in: the
// Vk210 already in the connection mode the library wants, so a connect walks no mode switch.
struct Vk210Model {
    using Sim = SimVk210;
    static constexpr const char* name = "Vk210";
    static std::shared_ptr<Sim> makeSim() {
        auto sim = std::make_shared<Sim>();
        sim->setSetting("connectionMode", {0x03});
        return sim;
    }
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim) {
        return Sim::makeAccessory(sim);
    }
};

struct Vk640Model {
    using Sim = SimVk640;
    static constexpr const char* name = "Vk640";
    static std::shared_ptr<Sim> makeSim() { return std::make_shared<Sim>(); }
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim) {
        return Sim::makeAccessory(sim, "SIM640-0001", "1.01.11");
    }
};

// A Vk210 whose radio module answers the UHF operations.
struct Vk210UhfModel : Vk210Model {
    static std::shared_ptr<Sim> makeSim() {
        auto sim = Vk210Model::makeSim();
        addVk210ModuleRows(*sim);
        return sim;
    }
};

using ReaderModels = ::testing::Types<Vk210Model, Vk640Model>;

struct ModelName {
    template <class Model>
    static std::string GetName(int) {
        return Model::name;
    }
};

// The fixture for one model, with its simulated reader at hand.
template <class Model>
class ModelReader : public SimReaderFixture {
  public:
    explicit ModelReader(std::shared_ptr<typename Model::Sim> simReader = Model::makeSim())
        : SimReaderFixture(Model::accessory(simReader)), sim(std::move(simReader)) {}
    std::shared_ptr<typename Model::Sim> sim;
};

}  // namespace orvane::test
