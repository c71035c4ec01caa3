// Starting again from where the last thing ended: a connection restarted from the reader's own
// link thread, an operation called right after a stop was answered, a tag-memory read whose
// receive buffer is reset while its answer is on its way.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/reader/EventSequence.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"
#include "sim/SimVk210Module.h"
#include "uhf/UhfAppDelegate.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;
const std::string kNoPassword = "00000000";

// The reader's delegate and log sink: records the delegate calls and, once armed, runs an action
// inside the first log record for which the armed test holds, on that record's thread.
class ArmedSink : public ReaderSink {
  public:
    explicit ArmedSink(std::shared_ptr<CallLog> log) : ReaderSink(std::move(log)) {}
    using Test = std::function<bool(const std::string& text)>;
    void arm(Test when, std::function<void()> action) {
        std::lock_guard guard(lock_);
        when_ = std::move(when);
        action_ = std::move(action);
    }
    void logEvent(const LogEventArg& record) override {
        std::function<void()> action;
        {
            std::lock_guard guard(lock_);
            if (!action_ || !when_(record.log())) return;
            action = std::exchange(action_, nullptr);
            when_ = nullptr;
        }
        action();
    }

  private:
    std::mutex lock_;
    Test when_;
    std::function<void()> action_;
};

struct Vk210Restart : Vk210Model {
    static std::shared_ptr<Sim> makeSim() {
        auto sim = Vk210Model::makeSim();
        addVk210ModuleRows(*sim);
        sim->setTags(makeSimTags(4));
        return sim;
    }
    // Whether the reader reports an inventory's end in a frame after the stop's reply, and that
    // frame.
    static constexpr bool kEndAfterStop = true;
    static bool endsInventory(ByteView frame) {
        return frame.size() > 4 && readBe16(frame, 3) == rawValue(OrvRfidCmdId::inventoryStatus);
    }
};
struct Vk640Restart : Vk640Model {
    static std::shared_ptr<Sim> makeSim() {
        auto sim = Vk640Model::makeSim();
        sim->setTags(makeSimTags(4));
        return sim;
    }
    static constexpr bool kEndAfterStop = false;
    static bool endsInventory(ByteView) { return false; }
};

template <class Model>
class UhfRestartTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }
    void SetUp() override {
        f.reader->setReaderDelegate(sink);
        // Only the test's operations reach the reader: the keep-alive is off.
        f.reader->setCheckInterval(0);
        ASSERT_TRUE(f.connected());
        ASSERT_TRUE(f.reader->uhf());
        f.reader->uhf()->setDelegate(app);
    }
    void TearDown() override {
        sink->arm(nullptr, nullptr);
        f.reader->setReaderDelegate(f.sink);
    }

    std::function<bool()> onReceiveThread() const {
        return [p = f.reader->baseProtocol()] { return p->receivesOnThisThread(); };
    }
    // The index of the first `line` of the delegate calls at or after `from`; -1 when none.
    int indexOf(const std::string& line, std::size_t from) const {
        const auto lines = f.calls->lines();
        for (std::size_t i = from; i < lines.size(); ++i) {
            if (lines[i] == line) return static_cast<int>(i);
        }
        return -1;
    }

    ModelReader<Model> f{Model::makeSim()};
    std::shared_ptr<ArmedSink> sink = std::make_shared<ArmedSink>(f.calls);
    std::shared_ptr<AppDelegate> app = std::make_shared<AppDelegate>();
};

using Models = ::testing::Types<Vk210Restart, Vk640Restart>;
TYPED_TEST_SUITE(UhfRestartTest, Models, ModelName);

// connect() called on the reader's receive thread right after a disconnect() there, and while a
// connection ends under it (a disconnect() from the application's thread, the link lost): it
// answers true, and the application hears Disconnected, then Connected, and the reader stays
// connected.
TYPED_TEST(UhfRestartTest, AConnectOnTheReceiveThreadReconnectsAfterTheEndBeforeIt) {
    auto& f = this->f;
    const auto reader = f.reader;
    const auto transport = reader->baseTransport();
    struct Row {
        const char* name;
        // Whether the sink acts on a record of the receive thread.
        std::function<bool()> when;
        // What the sink calls there; gives connect()'s answer.
        std::function<bool()> calls;
        // What the test's thread does once the sink is armed.
        std::function<void()> brings;
    };
    // Traffic on the receive thread; the sink's disconnect may end its exchange.
    const auto getPower = [reader] {
        answerOf<int>([&](auto done) { reader->uhf()->getPower(done); });
    };
    // Once the end has begun (the receive loop writes its last records after that).
    const auto ending = [reader, transport] {
        return reader->triggerDisconnect() || reader->connectState() != ConnectState::connected ||
               transport->connectState() != ConnectState::connected;
    };
    const std::vector<Row> rows = {
        {"disconnect(); connect(); on a standing connection", [] { return true; },
         [reader] {
             EXPECT_TRUE(reader->disconnect());
             return reader->connect();
         },
         getPower},
        {"connect() during a disconnect() of another thread", ending,
         [reader] { return reader->connect(); }, [reader] { EXPECT_TRUE(reader->disconnect()); }},
        {"connect() while the link is lost", ending, [reader] { return reader->connect(); },
         [transport] { transport->disconnect(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // Each row starts from a standing connection, whatever the row before left.
        if (reader->connectState() != ConnectState::connected) {
            ASSERT_TRUE(f.connected());
        }
        const std::size_t mark = f.calls->lines().size();
        auto answer = std::make_shared<std::atomic<int>>(-1);
        this->sink->arm(
            [on = this->onReceiveThread(), &row](const std::string&) { return on() && row.when(); },
            [&row, answer] { *answer = row.calls() ? 1 : 0; });
        row.brings();
        if (!waitUntil([&] { return answer->load() >= 0; })) {
            ADD_FAILURE() << "the sink did not act";
            this->sink->arm(nullptr, nullptr);
            continue;
        }
        EXPECT_EQ(answer->load(), 1);
        // Ten times what a loaded machine needs for a connection; only a guard against a hang.
        if (!waitUntil([&] { return this->indexOf("r state Disconnected", mark) >= 0; },
                       std::chrono::seconds(30))) {
            ADD_FAILURE() << "no Disconnected heard";
            continue;
        }
        const int ended = this->indexOf("r state Disconnected", mark);
        EXPECT_TRUE(waitUntil(
            [&] {
                return this->indexOf("r state Connected", static_cast<std::size_t>(ended)) >= 0;
            },
            std::chrono::seconds(30)));
        if (!waitUntil([&] { return reader->connectState() == ConnectState::connected; })) {
            ADD_FAILURE() << "the reader did not connect again";
            continue;
        }
        EXPECT_EQ(answerOf<int>([&](auto done) { reader->uhf()->getPower(done); }).first, kOk);
    }
}

// stop() answered while the reader has not reported its inventory's end yet (the Vk210 reports
// it after the stop's reply; the simulator holds that frame until the next inventory() waits for
// it): that inventory() is accepted, and heard once the end is.
TYPED_TEST(UhfRestartTest, AnOperationRightAfterAStopIsAnsweredWaitsForTheInventorysEnd) {
    auto& f = this->f;
    const auto uhf = f.reader->uhf();
    f.sim->holdFrames(TypeParam::endsInventory);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(codeOf([&](auto done) { uhf->inventory(done); }), kOk);
        this->sink->arm(
            [](const std::string& text) {
                return text.find("Waiting for the end of the stopped inventory") !=
                       std::string::npos;
            },
            [sim = f.sim] { sim->releaseHeldFrames(); });
        EXPECT_EQ(codeOf([&](auto done) { uhf->stop(done); }), kOk);
        // The end is still to come when the stop has answered (for the model that reports it).
        EXPECT_EQ(f.sim->heldFrames(), TypeParam::kEndAfterStop ? 1u : 0u);
        EXPECT_EQ(codeOf([&](auto done) { uhf->inventory(done); }), kOk);
        this->sink->arm(nullptr, nullptr);
        f.sim->releaseHeldFrames();
        EXPECT_EQ(codeOf([&](auto done) { uhf->stop(done); }), kOk);
        f.sim->releaseHeldFrames();
        EXPECT_TRUE(waitUntil([&] { return f.reader->actionState() == ActionState::stop; }));
    }
    f.sim->holdFrames(nullptr);
}

// A Vk210 tag-memory read whose receive buffer is reset (as each connection's initialisation
// does) on the receive thread right where its reply, or its outcome, has been cut from the bytes
// and not yet handed on: the read is answered once, with what it read.
TEST(Vk210ResetDuringReadTest, AReadIsAnsweredOnceWhereverItsBufferIsReset) {
    ModelReader<Vk210Restart> f{Vk210Restart::makeSim()};
    auto sink = std::make_shared<ArmedSink>(f.calls);
    f.reader->setReaderDelegate(sink);
    f.reader->setCheckInterval(0);
    ASSERT_TRUE(f.connected());
    const auto uhf = f.reader->uhf();
    ASSERT_TRUE(uhf);
    auto app = std::make_shared<AppDelegate>();
    uhf->setDelegate(app);
    const auto protocol = f.reader->baseProtocol();
    const Bytes tid = makeSimTags(4).front().tid;
    const struct {
        const char* where;
        const char* record;
    } rows[] = {
        {"its reply cut", "Packet ID: read"},
        {"its outcome cut", "Packet ID: tagAccessData"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.where);
        app->clear();
        auto resets = std::make_shared<std::atomic<int>>(0);
        sink->arm(
            [protocol, record = std::string(row.record)](const std::string& text) {
                return protocol->receivesOnThisThread() && text.find(record) != std::string::npos;
            },
            [protocol, resets] {
                protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::resetBuffer));
                ++*resets;
            });
        const int stops = f.calls->count("r action Stop");
        ASSERT_EQ(
            uhf->readMemory(BankType::tid, 0, static_cast<unsigned>(tid.size() / 2), kNoPassword),
            kOk);
        EXPECT_TRUE(waitUntil([&] { return !app->results().empty(); }, std::chrono::seconds(30)));
        EXPECT_EQ(resets->load(), 1);
        // The read is over once the reader is back in Stop and its lock is free; its answer, had
        // it failed, was posted before a stop could take that lock.
        ASSERT_TRUE(waitUntil([&] { return f.calls->count("r action Stop") > stops; },
                              std::chrono::seconds(30)));
        EXPECT_EQ(codeOf([&](auto done) { uhf->stop(done); }), kOk);
        ASSERT_TRUE(waitUntil([&] { return f.reader->eventLine().isIdle(); }));
        const auto results = app->results();
        EXPECT_EQ(results.size(), 1u);
        if (results.empty()) continue;
        EXPECT_EQ(results[0].resultCode(), kOk);
        EXPECT_EQ(results[0].actionState(), ActionState::readMemory);
        EXPECT_EQ(results[0].data(), tid);
    }
    sink->arm(nullptr, nullptr);
    f.reader->setReaderDelegate(f.sink);
}

}  // namespace
}  // namespace orvane::test
