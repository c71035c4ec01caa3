#include "orvanerfid/link/EmulatorTransport.h"

#include <gtest/gtest.h>

#include "LinkTestSupport.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

using S = ConnectState;

TEST(EmulatorTransport, ConnectAndDisconnectWalkTheStatesWhateverTheCurrentOne) {
    EmulatorTransport emulator;
    auto delegate = std::make_shared<test::RecordingDelegate>();
    emulator.setDelegate(delegate);
    EXPECT_TRUE(emulator.disconnect());
    EXPECT_TRUE(emulator.connect());
    EXPECT_TRUE(emulator.connect());
    EXPECT_EQ(delegate->states(), (std::vector{S::disconnecting, S::disconnected, S::connecting,
                                               S::connected, S::connecting, S::connected}));
    EXPECT_EQ(emulator.connectState(), S::connected);
}

TEST(EmulatorTransport, ReadsAndWrites) {
    auto log = test::LogCapture::install();
    EmulatorTransport emulator;
    Bytes buffer(4);
    EXPECT_EQ(emulator.read(buffer, 0, 4, 100000), 0);  // not connected: at once
    emulator.connect();
    EXPECT_EQ(emulator.read(buffer, 0, 0, 100000), 0);
    EXPECT_EQ(emulator.read(buffer, 0, 4, 50), -2);
    EXPECT_EQ(log->count("Read data timeout", LogLevel::error), 1);

    const Bytes queued{1, 2, 3, 4, 5};
    emulator.byteQueue().enqueue(queued, 0, 5);
    EXPECT_EQ(emulator.read(buffer, 1, 3, 1000), 3);
    EXPECT_EQ(buffer, (Bytes{0, 1, 2, 3}));
    EXPECT_EQ(log->count("Read: 0x01 0x02 0x03 "), 1);
    // A buffer that cannot hold the bytes asked for is refused rather than overrun.
    try {
        emulator.read(buffer, 3, 2, 1000);
        ADD_FAILURE() << "no exception";
    } catch (const ReaderException& e) {
        EXPECT_EQ(e.resultCode(), ResultCode::invalidParameter);
    }

    EXPECT_EQ(emulator.write(Bytes{}, 0, 0, 3000), 0);
    EXPECT_EQ(emulator.write(queued, 0, 5, 3000), 0);
}

TEST(BaseTransport, EveryAssignmentIsLoggedAndReportedEvenUnchanged) {
    auto log = test::LogCapture::install();
    const int64_t before = BaseTransport::instanceCount();
    EmulatorTransport transport;
    EXPECT_EQ(BaseTransport::instanceCount(), before + 1);
    EXPECT_EQ(log->count("init() - " + std::to_string(before + 1)), 1);

    transport.setConnectState(S::connected);  // no delegate: only the state line
    EXPECT_EQ(log->count("ConnectState: New - Connected, Old - Disconnected"), 1);
    EXPECT_EQ(log->count("Trigger change connect state event to "), 0);

    auto delegate = std::make_shared<test::RecordingDelegate>();
    transport.setDelegate(delegate);
    transport.setConnectState(S::connected);
    transport.setConnectState(S::connected);
    EXPECT_EQ(delegate->states(), (std::vector{S::connected, S::connected}));
    EXPECT_EQ(log->count("ConnectState: New - Connected, Old - Connected"), 2);
    EXPECT_EQ(log->count("Trigger change connect state event to Connected"), 2);

    // The delegate is held weakly: once released it is no longer called.
    delegate.reset();
    transport.setConnectState(S::listen);
    EXPECT_EQ(log->count("Trigger change connect state event to "), 2);
}

}  // namespace
}  // namespace orvane
