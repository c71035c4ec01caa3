// The reader object on the emulator descriptor (a transport that walks the connection states
// but carries no bytes): construction, tables, the connection state table, delivery.

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "orvanerfid/reader/EventSequence.h"

#include "ReaderTestSupport.h"
#include "orvanerfid/devices/Vk210Device.h"
#include "orvanerfid/devices/Vk640Device.h"
#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/link/EmulatorTransport.h"
#include "sim/SimVk640.h"

namespace orvane {
namespace {

using test::CallLog;
using test::TestReader;
using test::waitUntil;
using Lines = std::vector<std::string>;

[[maybe_unused]] auto* const kClock = ::testing::AddGlobalTestEnvironment(new test::ReaderClock);

class ReaderTest : public ::testing::Test {
  protected:
    void make(std::shared_ptr<OrvaneDevice> device = std::make_shared<OrvaneDevice>()) {
        reader = BaseReader::make<TestReader>(std::move(device));
        reader->setReaderDelegate(sink);
        reader->setUhfReaderDelegate(uhfSink);
        reader->setRfidDelegate(tags);
        reader->setBarcodeDelegate(tags);
    }
    void TearDown() override {
        if (!reader) return;
        reader->release();
        reader->disconnect();
        std::weak_ptr<TestReader> weak = reader;
        reader.reset();
        // Nothing the reader started keeps it alive.
        EXPECT_TRUE(waitUntil([&] { return weak.expired(); }));
    }
    // The reader's event line has told everything raised so far.
    bool toldAll() const {
        return waitUntil([&] { return reader->eventLine().isIdle(); });
    }
    // Every connection state stored so far has been told (by the reader's state teller).
    bool statesTold() const {
        return waitUntil([&] { return reader->eventLine().statesTold(); });
    }

    std::shared_ptr<CallLog> calls = std::make_shared<CallLog>();
    std::shared_ptr<test::ReaderSink> sink = std::make_shared<test::ReaderSink>(calls);
    std::shared_ptr<test::UhfSink> uhfSink = std::make_shared<test::UhfSink>(calls);
    std::shared_ptr<test::TagSink> tags = std::make_shared<test::TagSink>(calls);
    std::shared_ptr<TestReader> reader;
};

std::shared_ptr<OrvaneDevice> accessoryDevice(std::string manufacturer) {
    AccessoryInfo info = SimVk640::accessoryInfo();
    info.manufacturer = std::move(manufacturer);
    return std::make_shared<OrvaneDevice>(
        std::make_shared<SimAccessory>(info, std::make_shared<SimVk640>()));
}

TEST_F(ReaderTest, ConstructionPicksTransportAndDevice) {
    struct Case {
        std::shared_ptr<OrvaneDevice> device;
        std::string transport;
        std::string device_;
    };
    const std::vector<Case> cases{
        {std::make_shared<OrvaneDevice>(), "EmulatorTransport", "Vk640Device"},
        {accessoryDevice("Orvane EmuLATOR"), "EmulatorTransport", "Vk640Device"},
        {accessoryDevice("Orvane"), "EATransport", "Vk640Device"},
        {std::make_shared<OrvaneDevice>(nullptr), "EATransport", ""},
    };
    for (const Case& c : cases) {
        make(c.device);
        EXPECT_EQ(reader->baseTransport()->className(), c.transport);
        EXPECT_EQ(reader->baseDevice() ? reader->baseDevice()->className() : "", c.device_);
        EXPECT_EQ(reader->connectState(), ConnectState::disconnected);
        if (c.transport == "EATransport") {
            EXPECT_EQ(reader->baseTransport(), EATransport::shared());
        }
    }
    // Without a device object the reader can do nothing.
    EXPECT_FALSE(reader->connect());
    EXPECT_FALSE(reader->disconnect());
    EXPECT_FALSE(reader->triggerDisconnect());
    EXPECT_EQ(test::codeOf([&] { reader->assertDevice(); }), ResultCode::connectFailed);
    EXPECT_EQ(test::codeOf([&] { reader->getSafeDevice(); }), ResultCode::invalidModuleObject);
    EXPECT_TRUE(reader->supportedParameterIds().empty());
    EXPECT_EQ(calls->lines(), Lines{});
}

TEST(ReaderTables, StaticSupportedParameterTables) {
    const auto uhf = [](UhfModuleType type) { return BaseReader::uhfSupportedParameterIds(type); };
    EXPECT_EQ(uhf(UhfModuleType::st25ru3993).size(), 29u);
    EXPECT_EQ(uhf(UhfModuleType::st25ru3993).back(), static_cast<UhfParamId>(28));
    const auto qm = uhf(UhfModuleType::qm5520);
    EXPECT_EQ(qm.size(), 44u);
    for (int missing : {23, 24, 25, 27}) {
        EXPECT_EQ(std::count(qm.begin(), qm.end(), static_cast<UhfParamId>(missing)), 0);
    }
    EXPECT_TRUE(std::is_sorted(qm.begin(), qm.end()));
    EXPECT_TRUE(uhf(UhfModuleType::unknown).empty());

    EXPECT_EQ(BaseReader::deviceSupportedParameters(DeviceType::vk640).size(),
              Vk640Device::makeSupportedParameters().size());
    EXPECT_EQ(BaseReader::deviceSupportedParameters(DeviceType::vk210).size(),
              Vk210Device::makeSupportedParameters().size());
    EXPECT_TRUE(BaseReader::deviceSupportedParameters(DeviceType::unknown).empty());

    for (uint8_t raw = 0; raw <= 11; ++raw) {
        const auto model = static_cast<EngineModel>(raw);
        const bool known = model == EngineModel::SE4107 || model == EngineModel::SE2707;
        EXPECT_EQ(BaseReader::engineSupportedParameters(model).empty(), !known) << int(raw);
    }
}

TEST_F(ReaderTest, ConnectStateReportsOnlyChanges) {
    make();
    reader->setConnectState(ConnectState::disconnected);
    reader->setConnectState(ConnectState::listen);
    reader->setConnectState(ConnectState::listen);
    ASSERT_TRUE(statesTold());
    EXPECT_EQ(calls->lines(), (Lines{"r state Listen", "u state Listen"}));
    // Both delegates receive the same object, naming the reader.
    EXPECT_EQ(sink->lastArgs.load(), uhfSink->lastArgs.load());
    // Listen is no state to connect or disconnect from.
    EXPECT_FALSE(reader->connect());
    EXPECT_FALSE(reader->disconnect());
    reader->setConnectState(ConnectState::disconnected);
}

TEST_F(ReaderTest, ConnectAndDisconnectFollowTheStateTable) {
    make();
    ASSERT_TRUE(reader->connect());
    // The transport's Connected report has reached the reader inside the call: the reader follows
    // the connection it names.
    ASSERT_NE(reader->generation(), 0u);
    ASSERT_EQ(reader->generation(), reader->baseTransport()->linkNumber());
    EXPECT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; }));
    EXPECT_EQ(reader->inits.load(), 1);
    EXPECT_TRUE(waitUntil([&] { return reader->keepAliveLoopsRunning() == 1; }));
    EXPECT_TRUE(reader->baseProtocol()->isReceiving());
    // The states are told by the reader's state teller, after the calls that stored them.
    EXPECT_TRUE(statesTold());
    EXPECT_EQ(calls->lines(), (Lines{"r state Connecting", "u state Connecting",
                                     "r state Connected", "u state Connected"}));
    calls->clear();

    // Already connected: nothing happens.
    EXPECT_TRUE(reader->connect());
    EXPECT_EQ(reader->inits.load(), 1);

    EXPECT_TRUE(reader->disconnect());
    EXPECT_FALSE(reader->triggerDisconnect());
    EXPECT_TRUE(statesTold());
    EXPECT_EQ(calls->lines(), (Lines{"r state Disconnecting", "u state Disconnecting",
                                     "r state Disconnected", "u state Disconnected"}));
    EXPECT_TRUE(waitUntil([&] { return reader->keepAliveLoopsRunning() == 0; }));
    EXPECT_TRUE(waitUntil([&] { return !reader->baseProtocol()->isReceiving(); }));
    // Its Disconnected report too: the reader follows no connection.
    EXPECT_EQ(reader->generation(), 0u);

    calls->clear();
    EXPECT_TRUE(reader->disconnect());
    EXPECT_TRUE(statesTold());
    EXPECT_EQ(calls->lines(), Lines{});
}

// A device whose protocol will not start.
class NoStartProtocol : public BaseProtocol {
  public:
    explicit NoStartProtocol(std::shared_ptr<BaseTransport> transport)
        : BaseProtocol("NoStartProtocol", std::move(transport), nullptr) {}
    Response send(ByteView, int) override { return {ResultCode::timeout, std::nullopt}; }
    Response send(ByteView, int, int) override { return {ResultCode::timeout, std::nullopt}; }
    bool start() override { return false; }

  protected:
    bool receiveTurn(const DispatchWorkItem&) override { return false; }
    void receiveEnded(bool) override {}
};

class NoStartDevice : public BaseDevice {
  public:
    explicit NoStartDevice(std::shared_ptr<BaseTransport> transport)
        : BaseDevice("NoStartDevice", std::make_shared<NoStartProtocol>(std::move(transport))) {}
    void initDevice() override {}
    uint8_t getModuleInfo(uint8_t) override { return 0; }
    void triggerAlive() override {}

  protected:
    Bytes getBytePackage(const DeviceParam&) override { return {}; }
    Bytes setBytePackage(const DeviceParam&) override { return {}; }
    std::vector<DeviceParam> responseDataToDeviceParam(ByteView,
                                                       const std::vector<DeviceParamId>&) override {
        return {};
    }
    void verifySetResult(ByteView) override {}
};

TEST_F(ReaderTest, DeviceThatWillNotStartLetsTheTransportGo) {
    make();
    reader->useDevice(std::make_shared<NoStartDevice>(reader->baseTransport()));
    // The transport did connect; the reader lets it go again and never initialises.
    EXPECT_TRUE(reader->connect());
    EXPECT_EQ(reader->baseTransport()->connectState(), ConnectState::disconnected);
    EXPECT_EQ(reader->connectState(), ConnectState::disconnected);
    EXPECT_EQ(reader->inits.load(), 0);
    EXPECT_TRUE(statesTold());
    EXPECT_EQ(calls->lines(),
              (Lines{"r state Connecting", "u state Connecting", "r state Disconnecting",
                     "u state Disconnecting", "r state Disconnected", "u state Disconnected"}));
}

TEST_F(ReaderTest, ConnectWaitsForAStableStateThenGivesUp) {
    make();
    reader->finish = false;
    ASSERT_TRUE(reader->connect());
    // The transport is connected; the reader stays Connecting until its initialisation ends.
    EXPECT_EQ(reader->baseTransport()->connectState(), ConnectState::connected);
    EXPECT_EQ(reader->connectState(), ConnectState::connecting);
    const auto start = Clock::now();
    EXPECT_FALSE(reader->connect());
    EXPECT_GE(Clock::elapsedMs(start), 3000.0);
    EXPECT_EQ(reader->inits.load(), 1);
    // disconnect() lets a connection being made end by its initialisation's stop path; this one
    // ended without Connected and never takes it, so the call closes the link itself once it has
    // not stopped about 4 s after the call.
    const auto called = Clock::now();
    auto disconnected = std::async(std::launch::async, [r = reader] { return r->disconnect(); });
    // On every way out a call that has not answered is let go: its link is closed under it.
    const std::shared_ptr<void> letsGo(nullptr, [&](void*) {
        if (disconnected.valid() &&
            disconnected.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            reader->baseTransport()->disconnect();
        }
    });
    // A hang guard only.
    ASSERT_EQ(disconnected.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(disconnected.get());
    EXPECT_GE(Clock::elapsedMs(called), 4000.0);
    EXPECT_EQ(reader->connectState(), ConnectState::disconnected);
    EXPECT_EQ(reader->baseTransport()->connectState(), ConnectState::disconnected);
}

// checkError() counts a failure of the connection current at its call: at the limit it ends that
// connection and never a later one. The link ends and the reader connects again while the failure
// is being counted (inside the count): the new connection stands. A failure at the limit on the
// connection current at its call ends it. No initialisation finishes here, so nothing else resets
// or adds to the count (no keep-alive runs).
TEST_F(ReaderTest, CheckErrorEndsOnlyTheConnectionOfItsCall) {
    make();
    reader->finish = false;
    ASSERT_TRUE(reader->connect());
    const auto transport = reader->baseTransport();
    const uint64_t first = transport->linkNumber();
    while (reader->failCount() < BaseReader::kFailureLimit - 1)
        reader->addFailure();
    std::weak_ptr<TestReader> weak = reader;
    reader->onFailure = [weak] {
        const auto self = weak.lock();
        if (!self) return;
        self->onFailure = nullptr;
        EXPECT_TRUE(self->transportDisconnect());
        EXPECT_TRUE(self->connect());
    };
    // The close is a step of the reader's connection sequence: looked at once it has run.
    const auto stepsRan = [&] {
        std::promise<void> ran;
        reader->afterSteps([&] { ran.set_value(); });
        ran.get_future().wait();
    };
    reader->checkError(false);
    stepsRan();
    EXPECT_EQ(transport->linkNumber(), first + 1);
    EXPECT_EQ(transport->connectState(), ConnectState::connected);
    EXPECT_EQ(reader->failCount(), BaseReader::kFailureLimit);

    // A failure at the limit of the current connection ends it. The reader follows the
    // transport's report in its connection sequence.
    reader->checkError(false);
    stepsRan();
    EXPECT_EQ(transport->linkNumber(), first + 1);
    EXPECT_EQ(transport->connectState(), ConnectState::disconnected);
    EXPECT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::disconnected; }));
}

TEST_F(ReaderTest, DisconnectStopsARunningInventoryFirst) {
    make();
    ASSERT_TRUE(reader->connect());
    ASSERT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; }));
    reader->installUhf(std::make_shared<test::FakeUhf>(reader, reader->baseDevice(), calls));
    reader->actionStateEvent(ActionState::inventory);
    ASSERT_TRUE(toldAll());
    calls->clear();
    EXPECT_TRUE(reader->disconnect());
    // The Stop the application hears comes through the event line, beside the connection states.
    ASSERT_TRUE(statesTold());
    const Lines lines = calls->lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "uhf stop");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "u state Disconnected"), lines.end());
}

// The automatic reconnect follows a link the library ended, once per setting; a disconnect() of
// the application made while it is set is the last word: the reader stays disconnected.
TEST_F(ReaderTest, AutomaticReconnectHappensOnce) {
    make();
    ASSERT_TRUE(reader->connect());
    ASSERT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; }));
    reader->setAutoReconnect(true);
    EXPECT_TRUE(reader->transportDisconnect());
    EXPECT_TRUE(waitUntil([&] { return !reader->autoReconnect(); }));
    EXPECT_TRUE(waitUntil([&] { return reader->inits.load() == 2; }));
    EXPECT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; }));
    EXPECT_TRUE(reader->transportDisconnect());
    EXPECT_TRUE(reader->disconnect());
    EXPECT_EQ(reader->connectState(), ConnectState::disconnected);

    ASSERT_TRUE(reader->connect());
    ASSERT_TRUE(waitUntil([&] { return reader->inits.load() == 3; }));
    ASSERT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; }));
    reader->setAutoReconnect(true);
    EXPECT_TRUE(reader->disconnect());
    EXPECT_FALSE(reader->autoReconnect());
    // The reconnect the end queued was dropped, or ended by that disconnect() had it begun.
    const int inits = reader->inits.load();
    EXPECT_LE(inits, 4);
    EXPECT_EQ(reader->connectState(), ConnectState::disconnected);
    // Nothing posted to the reader's connection sequence before this connects it again.
    std::promise<void> stepsRan;
    reader->afterSteps([&] { stepsRan.set_value(); });
    stepsRan.get_future().wait();
    EXPECT_EQ(reader->inits.load(), inits);
    EXPECT_EQ(reader->connectState(), ConnectState::disconnected);
}

// An initialisation left over from a dropped connection never acts on the next one.
TEST_F(ReaderTest, StaleInitialisationLeavesANewerConnectionAlone) {
    make();
    reader->hold = true;
    ASSERT_TRUE(reader->connect());
    ASSERT_TRUE(waitUntil([&] { return reader->inits.load() == 1; }));
    reader->transportDisconnect();
    reader->hold = false;
    ASSERT_TRUE(reader->connect());
    ASSERT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; }));
    // The state is stored before the delegates hear of it: let the report pass first.
    ASSERT_TRUE(waitUntil([&] {
        const Lines lines = calls->lines();
        return !lines.empty() && lines.back() == "u state Connected";
    }));
    calls->clear();
    reader->release();
    ASSERT_TRUE(waitUntil([&] { return reader->staleFinishes.load() == 1; }));
    EXPECT_TRUE(waitUntil([&] { return reader->keepAliveLoopsRunning() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(reader->keepAliveLoopsRunning(), 1);
    EXPECT_EQ(reader->connectState(), ConnectState::connected);
    EXPECT_EQ(calls->lines(), Lines{});
}

// The reader's sink: once armed, the record that starts with `prefix` keeps the thread writing
// it until `letGo()`. It notes whether connect() has looked at the states (its first record after
// that look starts with "connect() - ").
class HoldingSink : public test::ReaderSink {
  public:
    using test::ReaderSink::ReaderSink;
    void logEvent(const LogEventArg& record) override {
        test::ReaderSink::logEvent(record);
        if (record.log().rfind("connect() - ", 0) == 0) connectLooked = true;
        std::unique_lock gate(lock_);
        if (prefix_.empty() || record.log().rfind(prefix_, 0) != 0) return;
        prefix_.clear();
        holding = true;
        letGo_.wait(gate, [&] { return !holding.load(); });
    }
    void holdAt(std::string prefix) {
        std::lock_guard gate(lock_);
        prefix_ = std::move(prefix);
    }
    void letGo() {
        {
            std::lock_guard gate(lock_);
            prefix_.clear();
            holding = false;
        }
        letGo_.notify_all();
    }
    std::atomic<bool> holding{false};
    std::atomic<bool> connectLooked{false};

  private:
    std::mutex lock_;
    std::condition_variable letGo_;
    std::string prefix_;
};

// The link closes under a connected reader (as after a factory reset) and connect() is called
// before the reader has heard of it: the closing thread is held between the transport's new
// state and its report. connect() does not answer for the connection that is ending: once the
// end has reached the reader, it connects again.
TEST_F(ReaderTest, AConnectWhileTheLinkClosesConnectsAgainAfterTheEnd) {
    // connect() waits for a stable state on its own budget: in real time here, far above what
    // the end takes once it is let go. connect() is followed through its TRACE records.
    struct RealTimeTrace {
        RealTimeTrace() {
            Clock::setSpeed(1.0);
            BaseReader::setLogLevel(LogLevel::trace);
        }
        ~RealTimeTrace() {
            BaseReader::setLogLevel(LogLevel::info);
            Clock::setSpeed(4.0);
        }
    } realTimeTrace;
    make();
    auto holding = std::make_shared<HoldingSink>(calls);
    reader->setReaderDelegate(holding);
    ASSERT_TRUE(reader->connect());
    ASSERT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; }));
    holding->holdAt("ConnectState: New - Disconnecting");
    std::thread closing([r = reader] { r->transportDisconnect(); });
    EXPECT_TRUE(waitUntil([&] { return holding->holding.load(); }, std::chrono::seconds(60)));
    EXPECT_EQ(reader->connectState(), ConnectState::connected);
    auto connecting = std::async(std::launch::async, [r = reader] { return r->connect(); });
    EXPECT_TRUE(waitUntil([&] { return holding->connectLooked.load(); }, std::chrono::seconds(60)));
    holding->letGo();
    closing.join();
    ASSERT_EQ(connecting.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(connecting.get());
    EXPECT_EQ(reader->baseTransport()->connectState(), ConnectState::connected);
    EXPECT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; },
                          std::chrono::seconds(60)));
    EXPECT_EQ(reader->inits.load(), 2);
    reader->setReaderDelegate(sink);
}

TEST_F(ReaderTest, DeviceEventsReachTheirDelegatesInOrder) {
    make();
    reader->installUhf(std::make_shared<test::FakeUhf>(reader, reader->baseDevice(), calls));
    auto tag = std::make_shared<TagInfo>();
    const AccessResultEventArgs access({}, {}, ActionState::readMemory, std::nullopt,
                                       ResultCode::noError);
    struct Row {
        std::function<void(BaseReader&)> raise;
        Lines delivered;
    };
    const std::vector<Row> rows{
        {[](BaseReader& r) { r.batteryPercentageEvent(50); }, {"r battery 50", "u battery 50"}},
        {[](BaseReader& r) { r.batteryInfoEvent(40, true); }, {"r batteryInfo 40 charging"}},
        {[](BaseReader& r) { r.temperatureEvent(21.0); }, {"r temperature 21", "u temperature 21"}},
        {[](BaseReader& r) { r.barcodeEvent(BarcodeEventArgs(static_cast<BarcodeId>(0), {}, {})); },
         {"b barcode"}},
        {[](BaseReader& r) {
             r.notificationEvent(NotificationEventArgs(nullptr, NotificationID::log, {}));
         },
         {"r notification"}},
        {[](BaseReader& r) { r.firmwareUpdateEvent(FirmwareUpdateState::uploading, 40); },
         {"r firmware Uploading 40"}},
        {[](BaseReader& r) { r.triggerKeyEvent(KeyEventArgs(static_cast<KeyID>(0), true)); },
         {"r key", "u key"}},
        {[](BaseReader& r) { r.actionStateEvent(ActionState::inventory); },
         {"r action Inventory", "u action Inventory"}},
        {[&](BaseReader& r) { r.readTag(tag); }, {"t readTag", "m pump 5"}},
        {[&](BaseReader& r) { r.accessResult(access); }, {"t accessResult", "m pump 6"}},
        {[](BaseReader& r) { r.receivedInventoryData(); }, {"m pump 8"}},
        {[](BaseReader& r) { r.skuType(SkuType::us); }, {}},
        {[](BaseReader& r) { r.macAddress("A1B2"); }, {}},
        {[](BaseReader& r) { r.lbtStatusEvent(LbtStatusEventArgs(true, -70, 915000)); }, {"r lbt"}},
        {[](BaseReader& r) {
             r.antennaStatusEvent(AntennaStatusEventArgs(1, static_cast<AntennaBeginEnd>(0)));
         },
         {}},
        {[](BaseReader& r) { r.batchDataStatusEvent(static_cast<BatchDataStatus>(1)); },
         {"r batch"}},
        {[](BaseReader& r) { r.engineReadyEvent(false); }, {}},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        calls->clear();
        rows[i].raise(*reader);
        ASSERT_TRUE(toldAll());
        EXPECT_EQ(calls->lines(), rows[i].delivered) << "row " << i;
    }
    // Without delegates only the driver hears the tag reports; the stores happen all the same.
    reader->setReaderDelegate({});
    reader->setUhfReaderDelegate({});
    reader->setRfidDelegate({});
    reader->setBarcodeDelegate({});
    reader->actionStateEvent(ActionState::stop);
    reader->firmwareUpdateEvent(FirmwareUpdateState::stop, 100);
    calls->clear();
    for (const Row& row : rows) {
        row.raise(*reader);
        ASSERT_TRUE(toldAll());
    }
    EXPECT_EQ(calls->lines(), (Lines{"m pump 5", "m pump 6", "m pump 8"}));
    EXPECT_EQ(reader->actionState(), ActionState::inventory);
    EXPECT_EQ(reader->_updateFirmwareStatus(), FirmwareUpdateState::uploading);
    EXPECT_EQ(reader->sku(), SkuType::us);
    EXPECT_EQ(reader->macAddress(), "A1B2");
}

TEST_F(ReaderTest, TagReportBeforeTheUhfObjectReachesOnlyTheRfidDelegate) {
    make();
    reader->readTag(std::make_shared<TagInfo>());
    ASSERT_TRUE(toldAll());
    EXPECT_EQ(calls->lines(), Lines{"t readTag"});
    // A UHF object without a driver pumps nothing either.
    reader->installUhf(std::make_shared<test::FakeUhf>(reader, reader->baseDevice(), calls, false));
    reader->readTag(std::make_shared<TagInfo>());
    ASSERT_TRUE(toldAll());
    EXPECT_EQ(calls->lines(), (Lines{"t readTag", "t readTag"}));
}

TEST_F(ReaderTest, ApplicationExceptionsStayInTheLibrary) {
    struct Throwing : test::ReaderSink {
        using ReaderSink::ReaderSink;
        void batteryPercentageEvent(uint8_t) override { throw std::runtime_error("app"); }
        void connectStateEvent(const ConnectStateEventArgs&) override { throw 42; }
    };
    make();
    auto throwing = std::make_shared<Throwing>(calls);
    reader->setReaderDelegate(throwing);
    reader->batteryPercentageEvent(7);
    ASSERT_TRUE(toldAll());
    ASSERT_TRUE(reader->connect());
    // The state is stored before the delegates hear of it: wait for the last report.
    const Lines expected{"u battery 7", "u state Connecting", "u state Connected"};
    EXPECT_TRUE(waitUntil([&] { return calls->lines() == expected; }));
    EXPECT_EQ(calls->lines(), expected);
}

TEST_F(ReaderTest, AllocateUhfRefusesWhatItCannotMake) {
    make(std::make_shared<OrvaneDevice>(nullptr));
    const auto code = [&](UhfModuleType type) {
        return test::codeOf([&] { reader->callAllocateUhf(type); });
    };
    EXPECT_EQ(code(UhfModuleType::unknown), ResultCode::notSupported);
    EXPECT_EQ(code(UhfModuleType::qm5520), ResultCode::otherError);
    EXPECT_EQ(code(UhfModuleType::st25ru3993), ResultCode::otherError);
    EXPECT_EQ(reader->uhf(), nullptr);
}

// A new UHF object (each initialisation makes one) keeps the application's tag sink.
TEST_F(ReaderTest, NewUhfObjectKeepsTheApplicationsUhfDelegate) {
    struct Tags : UhfDelegate {
        void readTag(std::shared_ptr<UhfReader>, std::shared_ptr<TagInfo>) override {}
        void accessResult(std::shared_ptr<UhfReader>, const AccessResultEventArgs&) override {}
    };
    make();
    auto appTags = std::make_shared<Tags>();
    auto first = std::make_shared<test::FakeUhf>(reader, reader->baseDevice(), calls);
    first->setDelegate(appTags);
    reader->installUhf(first);
    auto second = std::make_shared<test::FakeUhf>(reader, reader->baseDevice(), calls);
    reader->installUhf(second);
    EXPECT_EQ(reader->uhf(), second);
    EXPECT_EQ(second->delegate(), appTags);
}

// The first live reader is the logger's sink; the next reader made after it goes takes over.
TEST(ReaderLogSink, FirstLiveReaderReceivesTheLog) {
    auto firstSink = std::make_shared<test::ReaderSink>(std::make_shared<CallLog>());
    auto secondSink = std::make_shared<test::ReaderSink>(std::make_shared<CallLog>());
    auto first = UhfReader::create(std::make_shared<OrvaneDevice>());
    first->setReaderDelegate(firstSink);
    auto second = UhfReader::create(std::make_shared<OrvaneDevice>());
    second->setReaderDelegate(secondSink);
    orvLogger::error("sink check 1");
    EXPECT_EQ(std::count(firstSink->logs.begin(), firstSink->logs.end(), "sink check 1"), 1);
    EXPECT_TRUE(secondSink->logs.empty());

    first.reset();
    auto third = UhfReader::create(std::make_shared<OrvaneDevice>());
    third->setReaderDelegate(secondSink);
    orvLogger::error("sink check 2");
    EXPECT_EQ(std::count(secondSink->logs.begin(), secondSink->logs.end(), "sink check 2"), 1);
}

}  // namespace
}  // namespace orvane
