// A reader made from discovery against the simulated Vk210: one firmware update at a time, and the
// supported settings as raw values.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ReaderFixture.h"
#include "orvanerfid/platform/Dispatch.h"

namespace orvane::test {
namespace {

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The firmware progress reports the application received, "<state> <percentage>" each.
std::vector<std::string> firmwareReports(const CallLog& calls) {
    std::vector<std::string> reports;
    for (const auto& line : calls.lines())
        if (line.starts_with("r firmware ")) reports.push_back(line.substr(11));
    return reports;
}

// Once armed, aborts the running update and asks for a second one from the first one's progress
// report, as an application that does not wait might.
class HastySink : public ReaderSink {
  public:
    using ReaderSink::ReaderSink;
    void firmwareUpdateEvent(const FirmwareUpdateEventArgs& args) override {
        ReaderSink::firmwareUpdateEvent(args);
        if (args.state() != FirmwareUpdateState::uploading || args.percentage() < 5 ||
            !armed.exchange(false)) {
            return;
        }
        if (const auto target = reader.lock()) {
            target->abortFirmwareUpdate();
            target->firmwareUpdate("second.bin", Bytes(4000, 0x22),
                                   [this](ResultCode code) { second = rawValue(code); });
        }
    }
    std::weak_ptr<BaseReader> reader;
    std::atomic<bool> armed{false};
    std::atomic<int> second{-1};
};

TEST(FirmwareUpdateEndToEnd, ASecondUpdateIsRefusedAndLeavesTheRunningOneAlone) {
    ModelReader<Vk210Model> f;
    auto sink = std::make_shared<HastySink>(f.calls);
    sink->reader = f.reader;
    f.reader->setReaderDelegate(sink);
    ASSERT_TRUE(f.connected());

    // Two calls back to back: the first loads its whole image, the second is refused at once and
    // reports no progress.
    f.calls->clear();
    const Bytes first(20000, 0x11);
    std::atomic<int> firstCode{-1};
    std::atomic<int> secondCode{-1};
    f.reader->firmwareUpdate("first.bin", first, [&](ResultCode c) { firstCode = rawValue(c); });
    f.reader->firmwareUpdate("second.bin", Bytes(20000, 0x22),
                             [&](ResultCode c) { secondCode = rawValue(c); });
    ASSERT_TRUE(
        waitUntil([&] { return firstCode >= 0 && secondCode >= 0; }, std::chrono::seconds(20)));
    EXPECT_EQ(secondCode.load(), rawValue(ResultCode::inOperation));
    EXPECT_EQ(firstCode.load(), rawValue(ResultCode::noError));
    EXPECT_EQ(f.sim->setting("firmwareName"), bytesOf("first.bin"));
    EXPECT_EQ(f.sim->setting("firmwareFile"), first);
    const auto reports = firmwareReports(*f.calls);
    EXPECT_EQ(std::count(reports.begin(), reports.end(), "Start 100"), 1);
    EXPECT_EQ(reports.back(), "Stop 100");

    // An abort, then a second update, asked for while the first uploads: the first ends on the
    // abort, the second is refused.
    f.calls->clear();
    std::atomic<int> abortedCode{-1};
    sink->armed = true;
    f.reader->firmwareUpdate("first.bin", Bytes(400000, 0x33),
                             [&](ResultCode c) { abortedCode = rawValue(c); });
    ASSERT_TRUE(
        waitUntil([&] { return abortedCode >= 0 && sink->second >= 0; }, std::chrono::seconds(20)));
    EXPECT_EQ(sink->second.load(), rawValue(ResultCode::inOperation));
    EXPECT_EQ(abortedCode.load(), rawValue(ResultCode::noError));
    EXPECT_EQ(firmwareReports(*f.calls).back(), "Abort 100");
    EXPECT_EQ(f.sim->setting("firmwareName"), bytesOf("first.bin"));
    const Bytes loaded = f.sim->setting("firmwareFile");
    EXPECT_LT(loaded.size(), 400000U);
    EXPECT_TRUE(std::all_of(loaded.begin(), loaded.end(), [](uint8_t b) { return b == 0x33; }));
}

// Fills the global pool's bound but one place with blocks held until it goes, and holds the
// pool's watcher, so the pool grows no further: the next pooled block runs, and every pooled
// block queued after it waits until that one ends.
class PoolFullButOne {
  public:
    PoolFullButOne() {
        held_->close();
        open_->close();
        DispatchQueue::setGlobalPoolPause([held = held_] { held->pass(); });
        for (int i = 0; i < kHeld; ++i) {
            DispatchQueue::global()->async(
                [open = open_, started = started_, finished = finished_] {
                    ++*started;
                    open->pass();
                    ++*finished;
                });
        }
    }
    ~PoolFullButOne() {
        DispatchQueue::setGlobalPoolPause(nullptr);
        held_->open();
        open_->open();
        EXPECT_TRUE(waitUntil([&] { return finished_->load() == kHeld; }, kHangGuard));
    }
    PoolFullButOne(const PoolFullButOne&) = delete;
    PoolFullButOne& operator=(const PoolFullButOne&) = delete;

    // Every held block runs: one place is left.
    bool full() const {
        return waitUntil([&] { return started_->load() == kHeld; }, kHangGuard);
    }

  private:
    static constexpr int kHeld = static_cast<int>(DispatchQueue::kPoolThreads) - 1;
    static constexpr auto kHangGuard = std::chrono::seconds(120);
    std::shared_ptr<Gate> held_ = std::make_shared<Gate>();
    std::shared_ptr<Gate> open_ = std::make_shared<Gate>();
    std::shared_ptr<std::atomic<int>> started_ = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<int>> finished_ = std::make_shared<std::atomic<int>>(0);
};

// An abort reaches the update running when it is asked for, however the two meet on the global
// queue: asked as soon as the update call returns, it ends that update, without error, before
// the install, also when the update takes the pool's last place, so that no pooled block can run
// until the update has ended; asked while no update runs, it applies to nothing and the update
// asked for right after it installs its whole image.
TEST(FirmwareUpdateEndToEnd, AnAbortReachesTheUpdateRunningWhenItIsAskedFor) {
    const struct {
        const char* name;
        bool abortFirst;
        bool poolFullButOne;
        int runs;
        std::size_t imageSize;
        const char* lastReport;
        bool installed;
    } cases[] = {{"abort right after the call", false, false, 20, 100000, "Abort 100", false},
                 {"abort right after the call, the update in the pool's last place", false, true, 1,
                  100000, "Abort 100", false},
                 {"abort while no update runs", true, false, 20, 4000, "Stop 100", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ModelReader<Vk210Model> f;
        ASSERT_TRUE(f.connected());
        const Bytes image(c.imageSize, 0x44);
        for (int run = 0; run < c.runs; ++run) {
            SCOPED_TRACE("run " + std::to_string(run));
            f.calls->clear();
            f.sim->setSetting("firmwareInstalled", {});
            std::optional<PoolFullButOne> pool;
            if (c.poolFullButOne) {
                ASSERT_TRUE(pool.emplace().full());
            }
            std::atomic<int> code{-1};
            if (c.abortFirst) f.reader->abortFirmwareUpdate();
            f.reader->firmwareUpdate("fw.bin", image, [&](ResultCode r) { code = rawValue(r); });
            if (!c.abortFirst) f.reader->abortFirmwareUpdate();
            ASSERT_TRUE(waitUntil([&] { return code >= 0; }, std::chrono::seconds(20)));
            EXPECT_EQ(code.load(), rawValue(ResultCode::noError));
            const auto reports = firmwareReports(*f.calls);
            ASSERT_FALSE(reports.empty());
            EXPECT_EQ(reports.back(), c.lastReport);
            EXPECT_EQ(!f.sim->setting("firmwareInstalled").empty(), c.installed);
        }
    }
}

TEST(ReaderTwinEndToEnd, TheSupportedSettingsTwinListsTheSameIdsAsRawValues) {
    ModelReader<Vk210Model> f;
    std::vector<uint8_t> raw;
    for (const DeviceParamId id : f.reader->supportedParameterIds())
        raw.push_back(rawValue(id));
    EXPECT_GE(raw.size(), 10U);
    EXPECT_EQ(f.reader->supportedParameterIds_OC(), raw);
}

}  // namespace
}  // namespace orvane::test
