// Readers made from discovery, talking to the simulated readers over the accessory transport.

#include <gtest/gtest.h>

#include "ReaderTestSupport.h"
#include "orvanerfid/commands/OrvRfidCmdId.h"
#include "orvanerfid/link/DetectReader.h"
#include "orvanerfid/link/EATransport.h"
#include "sim/SimVk210.h"
#include "sim/SimVk640.h"

namespace orvane {
namespace {

using test::CallLog;
using test::TestReader;
using test::waitUntil;

struct Vk210Model {
    using Sim = SimVk210;
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim,
                                                   const std::string&) {
        return Sim::makeAccessory(sim);
    }
    static int alives(const Sim& sim) {
        return sim.requestCount(rawValue(OrvRfidCmdId::paTemperature));
    }
    static constexpr bool checkedDuringActions = true;
};

struct Vk640Model {
    using Sim = SimVk640;
    static std::shared_ptr<SimAccessory> accessory(const std::shared_ptr<Sim>& sim,
                                                   const std::string& firmware) {
        return Sim::makeAccessory(sim, "SIM640-0001", firmware);
    }
    static int alives(const Sim& sim) { return sim.requestCount(SimVk640::rowKey(0x10, 0x07)); }
    static constexpr bool checkedDuringActions = false;
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

// One simulated reader of the model, attached and discovered; the reader under test is made for
// the discovered descriptor, checks every 300 ms and finishes its initialisation at once.
template <class Model>
class ReaderEndToEnd : public ::testing::Test {
  protected:
    static constexpr uint64_t kInterval = 300;

    void SetUp() override { discover("1.01.11"); }
    void discover(const std::string& firmware) {
        accessory = Model::accessory(sim, firmware);
        AccessoryManager::shared().attach(accessory);
        detector->setDelegate(found);
        detector->startDetect();
        ASSERT_EQ(found->devices.size(), 1u);
        reader = makeReader();
    }
    std::shared_ptr<TestReader> makeReader() {
        auto made = BaseReader::make<TestReader>(found->devices.front());
        made->setReaderDelegate(sink);
        made->setUhfReaderDelegate(uhfSink);
        made->setCheckInterval(kInterval);
        return made;
    }
    void connect() {
        ASSERT_TRUE(reader->connect());
        ASSERT_TRUE(waitUntil([&] { return reader->connectState() == ConnectState::connected; }));
    }
    void TearDown() override {
        auto transport = EATransport::shared();
        if (reader) {
            reader->disconnect();
            std::weak_ptr<TestReader> weak = reader;
            auto protocol = reader->baseProtocol();
            reader.reset();
            EXPECT_TRUE(waitUntil([&] { return weak.expired(); }));
            if (protocol) {
                EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
            }
        }
        EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 0; }));
        detector->stopDetect();
        AccessoryManager::shared().detach(accessory);
        // The shared transport lets go of the simulated accessory and its link threads.
        transport->setOrvaneDevice(nullptr);
    }
    // Waits `ms` of clock time.
    static void pause(int ms) { Clock::sleepForMs(ms); }
    int alives() const { return Model::alives(*sim); }

    std::shared_ptr<typename Model::Sim> sim = std::make_shared<typename Model::Sim>();
    std::shared_ptr<SimAccessory> accessory;
    std::shared_ptr<DetectReader> detector = DetectReader::create();
    std::shared_ptr<Found> found = std::make_shared<Found>();
    std::shared_ptr<CallLog> calls = std::make_shared<CallLog>();
    std::shared_ptr<test::ReaderSink> sink = std::make_shared<test::ReaderSink>(calls);
    std::shared_ptr<test::UhfSink> uhfSink = std::make_shared<test::UhfSink>(calls);
    std::shared_ptr<TestReader> reader;
};

using Models = ::testing::Types<Vk210Model, Vk640Model>;
TYPED_TEST_SUITE(ReaderEndToEnd, Models);

TYPED_TEST(ReaderEndToEnd, ConnectStartsTheDeviceAndKeepsTheLinkAlive) {
    // A plain UHF reader: the transport connects and the device starts; the reader itself stays
    // Connecting until an initialisation finishes.
    auto plain = UhfReader::create(this->found->devices.front());
    ASSERT_TRUE(plain->connect());
    EXPECT_EQ(plain->baseTransport()->connectState(), ConnectState::connected);
    EXPECT_TRUE(plain->baseProtocol()->isReceiving());
    EXPECT_EQ(plain->connectState(), ConnectState::connecting);
    plain.reset();

    this->reader = this->makeReader();
    this->connect();
    const int before = this->alives();
    const auto start = Clock::now();
    this->pause(10 * static_cast<int>(this->kInterval));
    const int sent = this->alives() - before;
    const double intervals = Clock::elapsedMs(start) / static_cast<double>(this->kInterval);
    EXPECT_GE(sent, 2);
    EXPECT_LE(sent, static_cast<int>(intervals) + 1);
    EXPECT_EQ(this->reader->_failCount(), 0);
    EXPECT_EQ(this->reader->keepAliveLoopsRunning(), 1);
}

TYPED_TEST(ReaderEndToEnd, SilentReaderIsDroppedAfterTheFourthFailedAlive) {
    this->connect();
    ASSERT_TRUE(waitUntil([&] { return this->alives() >= 1; }));
    this->calls->clear();
    SimFaults silent;
    silent.noReply = true;
    this->accessory->setFaults(silent);
    const int before = this->alives();
    ASSERT_TRUE(
        waitUntil([&] { return this->reader->connectState() == ConnectState::disconnected; },
                  std::chrono::milliseconds(10000)));
    // The exchange under way when the reader fell silent may be the first of the four.
    EXPECT_GE(this->alives() - before, 3);
    EXPECT_LE(this->alives() - before, 4);
    EXPECT_EQ(this->reader->_failCount(), BaseReader::kFailureLimit);
    EXPECT_TRUE(waitUntil([&] { return this->reader->keepAliveLoopsRunning() == 0; }));
    EXPECT_EQ(this->calls->count("r state Disconnected"), 1);
    EXPECT_EQ(this->calls->count("u state Disconnected"), 1);
    this->accessory->setFaults({});
}

TYPED_TEST(ReaderEndToEnd, SuccessfulAliveEndsARunOfFailures) {
    this->connect();
    for (int i = 0; i < 3; ++i)
        this->reader->checkError(true);
    EXPECT_EQ(this->reader->_failCount(), 3);
    ASSERT_TRUE(waitUntil([&] { return this->reader->_failCount() == 0; }));
    for (int i = 0; i < 3; ++i)
        this->reader->checkError(true);
    EXPECT_EQ(this->reader->connectState(), ConnectState::connected);
    this->reader->checkError(true);
    EXPECT_EQ(this->reader->connectState(), ConnectState::disconnected);
}

TYPED_TEST(ReaderEndToEnd, ChecksPauseForZeroIntervalActionsAndFirmwareUpdates) {
    this->connect();
    ASSERT_TRUE(waitUntil([&] { return this->alives() >= 1; }));
    const int quietTime = 5 * static_cast<int>(this->kInterval);
    const auto quiet = [&](const std::function<void()>& set, const std::function<void()>& reset) {
        set();
        // An exchange already under way may still finish.
        this->pause(static_cast<int>(this->kInterval) / 2);
        const int before = this->alives();
        this->pause(quietTime);
        const int during = this->alives() - before;
        reset();
        const int after = this->alives();
        EXPECT_TRUE(waitUntil([&] { return this->alives() > after; }));
        return during;
    };
    EXPECT_EQ(quiet([&] { this->reader->setCheckInterval(0); },
                    [&] { this->reader->setCheckInterval(this->kInterval); }),
              0);
    EXPECT_EQ(quiet([&] { this->reader->firmwareUpdateEvent(FirmwareUpdateState::uploading, 0); },
                    [&] { this->reader->firmwareUpdateEvent(FirmwareUpdateState::stop, 100); }),
              0);
    const int duringAction = quiet([&] { this->reader->actionStateEvent(ActionState::inventory); },
                                   [&] { this->reader->actionStateEvent(ActionState::stop); });
    if (TypeParam::checkedDuringActions) {
        EXPECT_GE(duringAction, 2);
    } else {
        EXPECT_EQ(duringAction, 0);
    }
    EXPECT_EQ(this->reader->keepAliveLoopsRunning(), 1);
}

TYPED_TEST(ReaderEndToEnd, ConnectDisconnectCyclesLeaveOneLoopOfEachKind) {
    auto transport = EATransport::shared();
    for (int cycle = 0; cycle < 20; ++cycle) {
        this->connect();
        EXPECT_LE(this->reader->keepAliveLoopsRunning(), 1);
        EXPECT_LE(this->reader->baseProtocol()->receiveLoopsRunning(), 1);
        EXPECT_LE(transport->readLoopsRunning(), 1);
        ASSERT_TRUE(this->reader->disconnect());
    }
    EXPECT_TRUE(waitUntil([&] { return this->reader->keepAliveLoopsRunning() == 0; }));
    EXPECT_TRUE(
        waitUntil([&] { return this->reader->baseProtocol()->receiveLoopsRunning() == 0; }));
    EXPECT_EQ(this->calls->count("r state Connected"), 20);
    EXPECT_EQ(this->calls->count("u state Disconnected"), 20);
}

TYPED_TEST(ReaderEndToEnd, ApplicationReconnectsFromItsDisconnectedReport) {
    // Armed once: the first Disconnected report calls connect() from inside the report.
    auto armed = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<TestReader> weak = this->reader;
    this->sink->onConnectState = [armed, weak](const ConnectStateEventArgs& args) {
        if (args.connectState() != ConnectState::disconnected || !armed->exchange(false)) return;
        if (auto reader = weak.lock()) reader->connect();
    };
    this->connect();
    armed->store(true);
    EXPECT_TRUE(this->reader->disconnect());
    EXPECT_FALSE(armed->load());
    EXPECT_TRUE(waitUntil([&] { return this->reader->connectState() == ConnectState::connected; }));
}

TYPED_TEST(ReaderEndToEnd, DroppingTheReaderClosesTheLinkAndEndsItsLoops) {
    this->connect();
    auto protocol = this->reader->baseProtocol();
    std::weak_ptr<TestReader> weak = this->reader;
    this->reader.reset();
    EXPECT_TRUE(waitUntil([&] { return weak.expired(); }));
    // The last reference may go on one of the reader's own threads, which then closes the link.
    EXPECT_TRUE(waitUntil(
        [] { return EATransport::shared()->connectState() == ConnectState::disconnected; }));
    EXPECT_TRUE(waitUntil([&] { return protocol->receiveLoopsRunning() == 0; }));
    // No report reached the application after the reader went.
    EXPECT_EQ(this->calls->count("r state Disconnecting"), 0);
}

TYPED_TEST(ReaderEndToEnd, SecondReaderOnTheSharedTransportDisconnectsTheFirst) {
    this->connect();
    this->calls->clear();
    auto second = this->makeReader();
    EXPECT_EQ(this->reader->connectState(), ConnectState::disconnected);
    EXPECT_EQ(this->calls->count("r state Disconnected"), 1);
    EXPECT_TRUE(waitUntil([&] { return this->reader->keepAliveLoopsRunning() == 0; }));
    // The first reader no longer owns the link.
    EXPECT_FALSE(this->reader->connect());
    second->setReaderDelegate({});
    second->setUhfReaderDelegate({});
    ASSERT_TRUE(second->connect());
    EXPECT_TRUE(waitUntil([&] { return second->connectState() == ConnectState::connected; }));
    EXPECT_TRUE(second->disconnect());
    second.reset();
    this->reader.reset();
}

}  // namespace
}  // namespace orvane
