#include "orvanerfid/link/BaseProtocol.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>

#include "LinkTestSupport.h"
#include "orvanerfid/link/EmulatorTransport.h"

namespace orvane {
namespace {

// A transport whose write does what the test says and records its arguments.
class ScriptedTransport : public EmulatorTransport {
  public:
    std::function<int(int length)> onWrite;
    int lastOffset = -1;
    int lastLength = -1;
    int lastTimeout = -1;

    int write(ByteView, int offset, int length, int timeout) override {
        lastOffset = offset;
        lastLength = length;
        lastTimeout = timeout;
        return onWrite(length);
    }
};

// The smallest protocol: a receive loop that only tests its own work item.
class LoopProtocol : public BaseProtocol {
  public:
    explicit LoopProtocol(std::shared_ptr<BaseTransport> transport)
        : BaseProtocol("LoopProtocol", std::move(transport)) {}

    Response send(ByteView data, int) override { return {write(data), std::nullopt}; }
    Response send(ByteView data, int, int) override { return {write(data), std::nullopt}; }
    bool start() override {
        std::lock_guard guard(lock_);
        auto item = std::make_shared<DispatchWorkItem>([this](const DispatchWorkItem& self) {
            ++loops;
            while (!self.isCancelled())
                Clock::sleepForMs(1);
            --loops;
        });
        workItemLocked() = item;
        DispatchQueue::global(DispatchQoS::userInitiated)->async(item);
        return true;
    }

    std::atomic<int> loops{0};
};

TEST(BaseProtocol, WriteMapsEveryOutcomeToAResultCode) {
    struct Case {
        const char* name;
        std::function<int(int)> write;
        std::size_t size;
        ResultCode expected;
    };
    const Case cases[] = {
        {"all bytes", [](int n) { return n; }, 8, ResultCode::noError},
        {"fewer bytes", [](int n) { return n - 1; }, 8, ResultCode::otherError},
        {"empty array", [](int) { return 0; }, 0, ResultCode::noError},
        {"not connected", [](int) -> int { throw ReaderException(ResultCode::connectFailed, ""); },
         8, ResultCode::connectFailed},
        {"timeout", [](int) -> int { throw ReaderException(ResultCode::timeout, ""); }, 8,
         ResultCode::timeout},
        {"foreign error", [](int) -> int { throw std::runtime_error("cable"); }, 8,
         ResultCode::otherError},
    };
    auto log = test::LogCapture::install();
    auto transport = std::make_shared<ScriptedTransport>();
    LoopProtocol protocol(transport);
    for (const auto& c : cases) {
        transport->onWrite = c.write;
        EXPECT_EQ(protocol.write(Bytes(c.size, 0x55)), c.expected) << c.name;
        EXPECT_EQ(transport->lastOffset, 0);
        EXPECT_EQ(transport->lastLength, static_cast<int>(c.size));
        EXPECT_EQ(transport->lastTimeout, 3000);
    }
    EXPECT_EQ(log->texts("LoopProtocol"), (std::vector<std::string>{"post error: cable"}));

    // Over the emulator nothing is written, so only an empty request succeeds.
    LoopProtocol overEmulator(std::make_shared<EmulatorTransport>());
    EXPECT_EQ(overEmulator.send(Bytes{1, 2}, 3000).resultCode(), ResultCode::otherError);
    EXPECT_EQ(overEmulator.write(Bytes{}), ResultCode::noError);
}

TEST(BaseProtocol, StopEndsTheReceiveLoopAndStartLaunchesANewOne) {
    auto log = test::LogCapture::install();
    LoopProtocol protocol(std::make_shared<EmulatorTransport>());
    protocol.stop();  // nothing running: only the line
    EXPECT_EQ(log->count("*** stop()", LogLevel::info), 1);

    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(protocol.start());
        ASSERT_TRUE(test::waitUntil([&] { return protocol.loops.load() == 1; }));
        protocol.stop();
        protocol.stop();
        EXPECT_TRUE(test::waitUntil([&] { return protocol.loops.load() == 0; }));
    }
    EXPECT_EQ(log->count("*** stop()"), 7);
}

}  // namespace
}  // namespace orvane
