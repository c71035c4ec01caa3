#include "orvanerfid/link/EATransport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <thread>
#include <utility>

#include "LinkTestSupport.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

using test::kReply;
using test::kRequest;
using test::waitUntil;
using S = ConnectState;

ResultCode codeOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ReaderException& e) {
        return e.resultCode();
    }
    return ResultCode::noError;
}

class EATransportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        log = test::LogCapture::install();
        reader = test::makeSimReader();
        manager.attach(reader);
        transport = EATransport::create();
        transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(reader));
        delegate = std::make_shared<test::RecordingDelegate>();
        transport->setDelegate(delegate);
    }
    void TearDown() override {
        transport->setDelegate({});
        transport->disconnect();
        EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 0; }));
    }

    // One request and its reply through the transport.
    Bytes exchange() {
        EXPECT_EQ(transport->write(kRequest, 0, static_cast<int>(kRequest.size()), 3000),
                  static_cast<int>(kRequest.size()));
        Bytes reply(kReply.size());
        transport->read(reply, 0, static_cast<int>(reply.size()), 3000);
        return reply;
    }

    AccessoryManager manager;
    std::shared_ptr<test::LogCapture> log;
    std::shared_ptr<SimAccessory> reader;
    std::shared_ptr<EATransport> transport;
    std::shared_ptr<test::RecordingDelegate> delegate;
};

TEST_F(EATransportTest, ConnectExchangeDisconnectWalksEveryState) {
    ASSERT_TRUE(transport->connect());
    EXPECT_EQ(delegate->states(), (std::vector{S::connecting, S::connected}));
    EXPECT_EQ(exchange(), kReply);
    EXPECT_EQ(transport->readLoopsRunning(), 1);

    EXPECT_TRUE(transport->disconnect());
    EXPECT_EQ(delegate->states(),
              (std::vector{S::connecting, S::connected, S::disconnecting, S::disconnected}));
    EXPECT_FALSE(transport->assertConnection());
    EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 0; }));
    // The loop's last line is written before it counts itself out.
    EXPECT_EQ(log->count("--- keepReadThread()"), 1);
}

TEST_F(EATransportTest, RefusalsAndNoOps) {
    // Already disconnected: true, nothing reported.
    EXPECT_TRUE(transport->disconnect());
    EXPECT_EQ(log->count("disconnect() Already disconnected"), 1);

    transport->setOrvaneDevice(nullptr);
    EXPECT_FALSE(transport->connect());
    EXPECT_EQ(log->count("connect() orvaneDevice is nil", LogLevel::error), 1);
    EXPECT_TRUE(delegate->states().empty());

    // Connecting again while connected keeps the session and the bytes awaiting a reader.
    transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(reader));
    ASSERT_TRUE(transport->connect());
    delegate->clear();
    transport->byteQueue().enqueue(kReply, 0, static_cast<int>(kReply.size()));
    EXPECT_TRUE(transport->connect());
    EXPECT_EQ(log->count("connect() Already connected"), 1);
    EXPECT_EQ(transport->byteQueue().count(), static_cast<int>(kReply.size()));
    EXPECT_EQ(reader->sessionsOpened(), 1);
    EXPECT_TRUE(delegate->states().empty());
}

TEST_F(EATransportTest, FailedSessionsReturnToDisconnected) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* errorLine;
    };
    const Case cases[] = {
        {"emulator descriptor",
         [&] { transport->setOrvaneDevice(std::make_shared<OrvaneDevice>()); },
         "openSession() failed, eaaccessory is nil"},
        {"no protocol strings",
         [&] {
             auto bare = test::makeSimReader("Orvane", "VK210", {});
             manager.attach(bare);
             transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(bare));
         },
         "openSession() initialize session failed"},
        {"no input stream",
         [&] { reader->setFaults(test::faults([](SimFaults& f) { f.noInputStream = true; })); },
         "openSession() inputStream is nil"},
        {"input does not open",
         [&] { reader->setFaults(test::faults([](SimFaults& f) { f.inputOpenFails = true; })); },
         "openSession() inputStream status: Error, protocolString: com.orvane.dcbridge"},
        {"no output stream",
         [&] { reader->setFaults(test::faults([](SimFaults& f) { f.noOutputStream = true; })); },
         "openSession() outputStream is nil"},
        {"output does not open",
         [&] { reader->setFaults(test::faults([](SimFaults& f) { f.outputOpenFails = true; })); },
         "openSession() outputStream status: Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        delegate->clear();
        log->clear();
        transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(reader));
        reader->setFaults({});
        c.arrange();
        EXPECT_FALSE(transport->connect());
        EXPECT_EQ(delegate->states(), (std::vector{S::connecting, S::disconnected}));
        EXPECT_EQ(log->count(c.errorLine, LogLevel::error), 1);
        EXPECT_EQ(log->count("connect() open session failed"), 1);
        EXPECT_EQ(transport->connectState(), S::disconnected);
        EXPECT_EQ(transport->readLoopsRunning(), 0);
    }
}

TEST_F(EATransportTest, ReadChecksBufferThenConnectionThenTime) {
    Bytes four(4);
    EXPECT_EQ(codeOf([&] { transport->read(four, 2, 3, 100); }), ResultCode::invalidParameter);
    EXPECT_EQ(log->count("read(data:offset:length:timeout:) data size(4) is not enough 5."), 1);
    EXPECT_EQ(codeOf([&] { transport->read(four, -1, 1, 100); }), ResultCode::invalidParameter);
    EXPECT_EQ(transport->read(four, 0, 0, 100), 0);
    EXPECT_EQ(codeOf([&] { transport->read(four, 0, 1, 100); }), ResultCode::connectFailed);

    ASSERT_TRUE(transport->connect());
    EXPECT_EQ(codeOf([&] { transport->read(four, 0, 4, 200); }), ResultCode::timeout);
    EXPECT_EQ(log->count("read(data:offset:length:timeout:) timeout", LogLevel::error), 1);

    // Bytes already queued are returned without waiting for the stream.
    transport->byteQueue().enqueue(kReply, 0, 4);
    EXPECT_EQ(transport->read(four, 0, 4, 60000), 4);
    EXPECT_EQ(four, Bytes(kReply.begin(), kReply.begin() + 4));
    // Every read logs its entry and exit lines, throws included.
    EXPECT_EQ(log->count("+++ read(data:offset:length:timeout:)"),
              log->count("--- read(data:offset:length:timeout:)"));
}

TEST_F(EATransportTest, ReplySplitAcrossReadsAndGarbageAreDelivered) {
    reader->setFaults(test::faults([](SimFaults& f) {
        f.garbageBeforeReply = {0xEE, 0xEE};
        f.splitReplyAt = 5;
    }));
    ASSERT_TRUE(transport->connect());
    ASSERT_EQ(transport->write(kRequest, 0, static_cast<int>(kRequest.size()), 3000), 8);
    Bytes received(2 + kReply.size());
    EXPECT_EQ(transport->read(received, 0, static_cast<int>(received.size()), 3000),
              static_cast<int>(received.size()));
    Bytes expected{0xEE, 0xEE};
    expected.insert(expected.end(), kReply.begin(), kReply.end());
    EXPECT_EQ(received, expected);
    EXPECT_GE(log->count("keepReadThread() bytesRead: "), 2);
}

TEST_F(EATransportTest, ReceivedBytesNobodyReadsAreCappedOldestFirst) {
    // 4 MiB are kept; the oldest 8 KiB of a stream nobody reads are dropped, with one ERROR line
    // a second at most giving the bytes dropped since the last; the read loop's end gives the
    // rest.
    constexpr std::size_t kCap = 4 * 1024 * 1024;
    constexpr std::size_t kExcess = 8192;
    Bytes stream(kCap + kExcess);
    for (std::size_t i = 0; i < stream.size(); ++i)
        stream[i] = static_cast<uint8_t>(i % 251);
    // Without the byte dumps of 4 MiB.
    const LogLevel savedLevel = orvLogger::level();
    orvLogger::setLevel(LogLevel::error);
    ASSERT_TRUE(transport->connect());
    ASSERT_TRUE(reader->sendToHost(stream));
    ByteQueue& queue = transport->byteQueue();
    ASSERT_TRUE(waitUntil(
        [&] { return queue.count() == static_cast<int>(kCap) && queue.peek(0) == stream[kExcess]; },
        std::chrono::seconds(20)));
    EXPECT_EQ(queue.peek(static_cast<int>(kCap) - 1), stream.back());
    ASSERT_TRUE(transport->disconnect());
    const std::string full = "keepReadThread() Receive queue full, dropped the oldest ";
    const auto drops = [&] {
        std::vector<std::size_t> dropped;
        for (const std::string& text : log->texts("EATransport")) {
            if (text.rfind(full, 0) == 0) dropped.push_back(std::stoul(text.substr(full.size())));
        }
        return dropped;
    };
    const auto total = [](const std::vector<std::size_t>& records) {
        return std::reduce(records.begin(), records.end(), std::size_t{0});
    };
    ASSERT_TRUE(waitUntil([&] { return total(drops()) >= kExcess; }, std::chrono::seconds(20)));
    const auto records = drops();
    EXPECT_EQ(total(records), kExcess);
    EXPECT_LE(records.size(), 2u);
    orvLogger::setLevel(savedLevel);
}

TEST_F(EATransportTest, WriteRefusalsAndFailures) {
    EXPECT_EQ(codeOf([&] { transport->write(kRequest, 0, 8, 100); }), ResultCode::connectFailed);
    ASSERT_TRUE(transport->connect());
    const std::pair<int, int> outside[] = {{-1, 1}, {0, -1}, {9, 0}, {4, 5}, {0, 9}};
    for (auto [offset, length] : outside) {
        EXPECT_EQ(codeOf([&] { transport->write(kRequest, offset, length, 100); }),
                  ResultCode::outOfRange)
            << offset << "," << length;
    }
    EXPECT_EQ(transport->write(kRequest, 8, 0, 100), 0);

    reader->setFaults(test::faults([](SimFaults& f) { f.outputStalled = true; }));
    EXPECT_EQ(codeOf([&] { transport->write(kRequest, 0, 8, 100); }), ResultCode::timeout);
    EXPECT_EQ(log->count("write(data:offset:length:timeout:) Timeout", LogLevel::error), 1);

    reader->setFaults(test::faults([](SimFaults& f) { f.writeFails = true; }));
    EXPECT_EQ(transport->write(kRequest, 0, 8, 100), 0);
    EXPECT_EQ(log->count("write(data:offset:length:timeout:) Write fail - -1"), 1);

    // A dropped link leaves the state Connected; writes fail without throwing.
    reader->setFaults({});
    reader->dropLink();
    EXPECT_EQ(transport->connectState(), S::connected);
    EXPECT_EQ(transport->write(kRequest, 0, 8, 100), 0);
    EXPECT_TRUE(reader->received().empty());
}

TEST_F(EATransportTest, PartialWritesSendTheRestAndReportTheFullCount) {
    reader->setFaults(test::faults([](SimFaults& f) { f.maxWriteChunk = 3; }));
    ASSERT_TRUE(transport->connect());
    EXPECT_EQ(transport->write(kRequest, 2, 6, 3000), 6);
    EXPECT_EQ(reader->received(), Bytes(kRequest.begin() + 2, kRequest.end()));
}

TEST_F(EATransportTest, ConcurrentWritersNeverInterleave) {
    reader->setFaults(test::faults([](SimFaults& f) { f.maxWriteChunk = 2; }));
    ASSERT_TRUE(transport->connect());
    constexpr int kPackets = 20;
    const auto writer = [&](uint8_t fill) {
        const Bytes packet(10, fill);
        for (int i = 0; i < kPackets; ++i)
            transport->write(packet, 0, 10, 3000);
    };
    std::thread a(writer, 0xAA);
    std::thread b(writer, 0xBB);
    a.join();
    b.join();
    const Bytes received = reader->received();
    ASSERT_EQ(received.size(), 2u * kPackets * 10);
    for (std::size_t at = 0; at < received.size(); at += 10) {
        EXPECT_TRUE(std::all_of(received.begin() + static_cast<long>(at),
                                received.begin() + static_cast<long>(at + 10),
                                [&](uint8_t v) { return v == received[at]; }))
            << "packet at " << at;
    }
}

TEST_F(EATransportTest, AStreamThatFailsToReadIsAskedAgainOnlyAfterTheLoopRests) {
    reader->setFaults(test::faults([](SimFaults& f) { f.readFails = true; }));
    ASSERT_TRUE(transport->connect());
    reader->sendToHost(kReply);
    ASSERT_TRUE(waitUntil([&] { return log->count("Read size: 0") > 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    // About one turn per 100 ms of library time; a spinning loop logs thousands.
    EXPECT_LT(log->count("Read size: 0", LogLevel::error), 40);
    reader->setFaults({});
    Bytes reply(kReply.size());
    EXPECT_EQ(transport->read(reply, 0, static_cast<int>(reply.size()), 3000), 12);
    EXPECT_EQ(reply, kReply);
}

TEST_F(EATransportTest, ReconnectCyclesNeverLeaveASecondReadLoop) {
    for (int cycle = 0; cycle < 6; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_TRUE(transport->connect());
        EXPECT_EQ(exchange(), kReply);
        EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 1; }));
        ASSERT_TRUE(transport->disconnect());
        EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 0; }));
    }
    // Back to back, without letting the old loop end first: the old loop ends by itself and
    // never reads the new session's bytes.
    for (int cycle = 0; cycle < 4; ++cycle) {
        ASSERT_TRUE(transport->connect());
        ASSERT_TRUE(transport->disconnect());
    }
    ASSERT_TRUE(transport->connect());
    EXPECT_EQ(exchange(), kReply);
    EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 1; }));
    EXPECT_EQ(reader->sessionsOpened(), 11);
}

TEST_F(EATransportTest, DelegatesMayConnectAndDisconnectFromTheirReports) {
    std::atomic<int> reconnects{0};
    delegate->onReport = [&](ConnectState state) {
        if (state == S::disconnected && reconnects++ == 0) {
            EXPECT_TRUE(transport->connect());
        }
    };
    ASSERT_TRUE(transport->connect());
    ASSERT_TRUE(transport->disconnect());
    EXPECT_EQ(transport->connectState(), S::connected);
    EXPECT_EQ(delegate->states(), (std::vector{S::connecting, S::connected, S::disconnecting,
                                               S::disconnected, S::connecting, S::connected}));
    EXPECT_EQ(exchange(), kReply);

    delegate->onReport = [&](ConnectState state) {
        if (state == S::connected) transport->disconnect();
    };
    ASSERT_TRUE(transport->disconnect());
    delegate->clear();
    EXPECT_TRUE(transport->connect());
    EXPECT_EQ(transport->connectState(), S::disconnected);
    EXPECT_EQ(delegate->states(),
              (std::vector{S::connecting, S::connected, S::disconnecting, S::disconnected}));
}

// Every state report names the connection it is about. A connect raises the number before its
// Connecting, so all its reports name the new connection; a report delivered after a later
// connect (made from inside an earlier report, whose delivery the later reports wait for) still
// names the connection whose state it reports.
TEST_F(EATransportTest, EachStateReportNamesTheConnectionItIsAbout) {
    const uint64_t before = transport->linkNumber();
    bool nested = false;
    delegate->onReport = [&](ConnectState state) {
        if (state == S::disconnecting && !std::exchange(nested, true)) {
            EXPECT_TRUE(transport->connect());
        }
    };
    ASSERT_TRUE(transport->connect());
    ASSERT_TRUE(transport->disconnect());
    EXPECT_EQ(delegate->states(), (std::vector{S::connecting, S::connected, S::disconnecting,
                                               S::disconnected, S::connecting, S::connected}));
    const uint64_t first = before + 1;
    const uint64_t second = before + 2;
    EXPECT_EQ(delegate->links(), (std::vector{first, first, first, first, second, second}));
    EXPECT_EQ(transport->linkNumber(), second);
}

TEST_F(EATransportTest, ANewReaderTakingTheTransportDisconnectsThePreviousOneFirst) {
    ASSERT_TRUE(transport->connect());
    auto second = test::makeSimReader();
    manager.attach(second);
    auto secondDevice = std::make_shared<OrvaneDevice>(second);
    transport->takeOver(secondDevice);
    EXPECT_EQ(delegate->states(),
              (std::vector{S::connecting, S::connected, S::disconnecting, S::disconnected}));
    EXPECT_EQ(transport->delegate(), nullptr);
    EXPECT_EQ(transport->orvaneDevice(), secondDevice);

    auto next = std::make_shared<test::RecordingDelegate>();
    transport->setDelegate(next);
    ASSERT_TRUE(transport->connect());
    EXPECT_EQ(exchange(), kReply);
    EXPECT_EQ(next->states(), (std::vector{S::connecting, S::connected}));
    EXPECT_EQ(delegate->states().size(), 4u);
    EXPECT_EQ(second->received(), kRequest);
}

TEST_F(EATransportTest, ADelegateThrowingAnythingNeverWedgesTheReports) {
    delegate->onReport = [](ConnectState state) {
        if (state == S::connecting) throw 7;  // not a std::exception
        if (state == S::connected) throw std::runtime_error("delegate failed");
    };
    ASSERT_TRUE(transport->connect());
    EXPECT_TRUE(transport->disconnect());
    EXPECT_EQ(delegate->states(),
              (std::vector{S::connecting, S::connected, S::disconnecting, S::disconnected}));
    EXPECT_EQ(log->count("connectStateEvent threw", LogLevel::error), 2);
}

TEST(EATransportSink, ASinkThatWaitsOnTheTransportRunsAfterItsLockIsReleased) {
    AccessoryManager manager;
    auto reader = test::makeSimReader();
    manager.attach(reader);
    auto transport = EATransport::create();
    transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(reader));
    test::expectASinkMayCallBack(
        "+++ connect()", [&] { EXPECT_TRUE(transport->connect()); },
        [&] { EXPECT_TRUE(transport->disconnect()); });
    EXPECT_EQ(transport->connectState(), S::disconnected);
    EXPECT_TRUE(waitUntil([&] { return transport->readLoopsRunning() == 0; }));
}

TEST_F(EATransportTest, DescriptorProperties) {
    struct Case {
        const char* model;
        DeviceType type;
    };
    for (const Case& c : {Case{"VK640", DeviceType::vk640}, Case{"vk640", DeviceType::vk640},
                          Case{"VK210", DeviceType::vk210}, Case{"VK640 ", DeviceType::unknown},
                          Case{"Unknown", DeviceType::unknown}}) {
        auto accessory = test::makeSimReader("Orvane", c.model);
        transport->setOrvaneDevice(std::make_shared<OrvaneDevice>(accessory));
        EXPECT_EQ(transport->deviceType(), c.type) << c.model;
        EXPECT_EQ(transport->deviceName(), c.model);
        EXPECT_EQ(transport->firmwareRevision(), "1.01.11");
    }
    transport->setDeviceNameField("Named");
    EXPECT_EQ(transport->deviceName(), "Named");
    transport->setOrvaneDevice(nullptr);
    EXPECT_EQ(transport->deviceType(), DeviceType::unknown);
    EXPECT_EQ(transport->serialNumber(), "");
}

}  // namespace
}  // namespace orvane
