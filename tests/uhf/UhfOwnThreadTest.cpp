// Calls a log sink makes on its reader's own receive thread or read thread: those that would wait
// for that very thread are refused at once, the operation that holds the reader goes on, and a
// call on another reader runs as from anywhere else.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"
#include "sim/SimVk210Module.h"
#include "uhf/UhfTestSupport.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;

std::string hex(ResultCode code) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(rawValue(code)));
    return text;
}

// The models as the application's reader finds them, and the stand-in of a second reader of the
// same model on a transport of its own.
struct Vk210Own : Vk210Model {
    using StandIn = Vk210StandIn;
    // What a blocking call on another reader of the model answers on a link thread: the Vk210's
    // send lock is the reader's own.
    static constexpr const char* kOtherReaderCall = "0x0000";
    static std::shared_ptr<Sim> makeSim() {
        auto sim = Vk210Model::makeSim();
        addVk210ModuleRows(*sim);
        return sim;
    }
};
struct Vk640Own : Vk640Model {
    using StandIn = Vk640StandIn;
    // Every Vk640 send holds one lock for the process, which a send waiting for this very thread
    // may hold.
    static constexpr const char* kOtherReaderCall = "0x4002";
};

// The reader's log sink: once armed, it runs an action inside the first record it gets for which
// the armed test holds (on that record's thread).
class ThreadSink : public ReaderSink {
  public:
    ThreadSink() : ReaderSink(std::make_shared<CallLog>()) {}
    void arm(std::function<bool()> when, std::function<void()> action) {
        std::lock_guard guard(lock_);
        when_ = std::move(when);
        action_ = std::move(action);
    }
    void logEvent(const LogEventArg&) override {
        std::function<void()> action;
        {
            std::lock_guard guard(lock_);
            if (!action_ || !when_()) return;
            action = std::exchange(action_, nullptr);
            when_ = nullptr;
        }
        action();
    }

  private:
    std::mutex lock_;
    std::function<bool()> when_;
    std::function<void()> action_;
};

// The reader's log sink reacting to every ERROR record written on the reader's receive or read
// thread, as an application that ends its work on errors does.
class ReactingSink : public ReaderSink {
  public:
    ReactingSink(std::shared_ptr<CallLog> log, std::function<bool()> onLinkThread,
                 std::function<void()> reaction)
        : ReaderSink(std::move(log)),
          onLinkThread_(std::move(onLinkThread)),
          reaction_(std::move(reaction)) {}
    void logEvent(const LogEventArg& record) override {
        if (record.level() != LogLevel::error || !onLinkThread_()) return;
        ++calls;
        reaction_();
    }
    std::atomic<int> calls{0};

  private:
    const std::function<bool()> onLinkThread_;
    const std::function<void()> reaction_;
};

// A second connected reader of `Model`, on its own accessory transport and simulated reader.
template <class Model>
struct OtherReader {
    using StandIn = typename Model::StandIn;
    OtherReader() { EXPECT_TRUE(connectStandIn<StandIn>(manager, sim, accessory, reader)); }
    ~OtherReader() { disconnectStandIn(*reader); }
    OtherReader(const OtherReader&) = delete;
    OtherReader& operator=(const OtherReader&) = delete;

    AccessoryManager manager;
    std::shared_ptr<typename StandIn::Sim> sim = std::make_shared<typename StandIn::Sim>();
    std::shared_ptr<SimAccessory> accessory;
    std::shared_ptr<StandInReader> reader = std::make_shared<StandInReader>();
};

template <class Model>
class UhfOwnThreadTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }
    void SetUp() override {
        ASSERT_TRUE(f.connected());
        uhf = f.reader->uhf();
        ASSERT_TRUE(uhf);
        // Only the test's operations reach the reader: the keep-alive is off.
        f.reader->setCheckInterval(0);
        f.reader->setReaderDelegate(sink);
    }
    void TearDown() override { f.reader->setReaderDelegate(f.sink); }

    // On the reader's receive thread, or on its transport's read thread.
    std::function<bool()> onThread(bool receive) const {
        if (receive) return [p = f.reader->baseProtocol()] { return p->receivesOnThisThread(); };
        return [t = f.reader->baseTransport()] { return t->readsOnThisThread(); };
    }
    // A getPower from the test's thread; its answer, or 0x7000 when none comes in ten seconds.
    std::shared_future<ResultCode> startGetPower() {
        auto answer = std::make_shared<std::promise<ResultCode>>();
        std::shared_future<ResultCode> future = answer->get_future().share();
        uhf->getPower([answer](ResultCode code, auto) { answer->set_value(code); });
        return future;
    }
    static ResultCode answerOf(const std::shared_future<ResultCode>& future) {
        return future.wait_for(std::chrono::seconds(10)) == std::future_status::ready
                   ? future.get()
                   : ResultCode::timeout;
    }

    ModelReader<Model> f{Model::makeSim()};
    std::shared_ptr<BaseUhf> uhf;
    std::shared_ptr<ThreadSink> sink = std::make_shared<ThreadSink>();
};

using Models = ::testing::Types<Vk210Own, Vk640Own>;
TYPED_TEST_SUITE(UhfOwnThreadTest, Models, ModelName);

// A getPower holds the UHF lock until its reply, which only the receive thread reads. The sink
// calls getPower on the receive thread once the request is written (so before that reply is
// read): its call is refused at once, and the getPower holding the lock gets its answer.
TYPED_TEST(UhfOwnThreadTest, ASinkCallOnTheReceiveThreadIsRefusedAndTheHolderAnswered) {
    auto& f = this->f;
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        struct Outcome {
            std::atomic<int> code{-1};
            std::atomic<bool> inTime{false};
        };
        auto outcome = std::make_shared<Outcome>();
        const std::size_t written = f.accessory_->received().size();
        this->sink->arm([receive = this->onThread(true), accessory = f.accessory_,
                         written] { return receive() && accessory->received().size() > written; },
                        [uhf = this->uhf, outcome] {
                            const auto start = std::chrono::steady_clock::now();
                            uhf->getPower([outcome, start](ResultCode code, auto) {
                                outcome->inTime = std::chrono::steady_clock::now() - start <
                                                  std::chrono::milliseconds(100);
                                outcome->code = static_cast<int>(rawValue(code));
                            });
                        });
        const auto holder = this->startGetPower();
        EXPECT_EQ(hex(TestFixture::answerOf(holder)), hex(kOk));
        ASSERT_TRUE(waitUntil([&] { return outcome->code.load() >= 0; }));
        this->sink->arm(nullptr, nullptr);
        EXPECT_EQ(hex(static_cast<ResultCode>(outcome->code.load())), hex(ResultCode::inOperation));
        EXPECT_TRUE(outcome->inTime.load());
    }
}

// The blocking calls of the reader, its device and its UHF object, made by the sink on the
// reader's receive thread and on its read thread while a getPower of the test's thread is under
// way. A UHF refusal must come inside the call ("later" when it did not).
TYPED_TEST(UhfOwnThreadTest, BlockingCallsOnTheReadersOwnThreadsAnswerAtOnce) {
    auto& f = this->f;
    OtherReader<TypeParam> other;
    using Report = std::function<void(std::string)>;
    struct Row {
        const char* call;
        std::string expected;
        std::function<void(const Report&)> make;
    };
    const auto reader = f.reader;
    const auto otherUhf = other.reader->uhf();
    // The reader's own refusal comes inside the call; another reader's answer comes from a pool
    // thread, at a moment the test does not pin.
    const auto uhfAnswer = [](const std::shared_ptr<BaseUhf>& target, const Report& report,
                              bool notePlace) {
        auto returned = std::make_shared<std::atomic<bool>>(false);
        target->getPower([report, returned, notePlace](ResultCode code, auto) {
            report(hex(code) + (notePlace && returned->load() ? " later" : ""));
        });
        *returned = true;
    };
    const std::vector<Row> rows = {
        {"UHF getPower", "0x4002", [&](const Report& r) { uhfAnswer(reader->uhf(), r, true); }},
        {"device getBatteryState", "0x4002",
         [&](const Report& r) {
             r(hex(codeOf([&] { reader->baseDevice()->getBatteryState(); })));
         }},
        {"device triggerAlive", "0x4002",
         [&](const Report& r) { r(hex(codeOf([&] { reader->baseDevice()->triggerAlive(); }))); }},
        {"connect()", "true", [&](const Report& r) { r(reader->connect() ? "true" : "false"); }},
        {"another reader's getPower", TypeParam::kOtherReaderCall,
         [&](const Report& r) { uhfAnswer(otherUhf, r, false); }},
    };
    for (const bool receive : {true, false}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.call) +
                         (receive ? " on the receive thread" : " on the read thread"));
            auto lock = std::make_shared<std::mutex>();
            auto outcome = std::make_shared<std::string>();
            this->sink->arm(this->onThread(receive), [&row, lock, outcome] {
                row.make([lock, outcome](std::string text) {
                    std::lock_guard guard(*lock);
                    *outcome = std::move(text);
                });
            });
            const auto traffic = this->startGetPower();
            EXPECT_EQ(hex(TestFixture::answerOf(traffic)), hex(kOk));
            EXPECT_TRUE(waitUntil([&] {
                std::lock_guard guard(*lock);
                return !outcome->empty();
            }));
            this->sink->arm(nullptr, nullptr);
            std::lock_guard guard(*lock);
            EXPECT_EQ(*outcome, row.expected);
            EXPECT_EQ(reader->connectState(), ConnectState::connected);
        }
    }
}

// A sink that calls stop() or disconnect() on every ERROR record of the reader's link threads,
// started by bytes that begin no frame: its calls' own refusals never reach it, so it runs once
// for the record that started it; the reader keeps answering, and a disconnect ends the
// connection from a pool thread.
TYPED_TEST(UhfOwnThreadTest, ASinkThatReactsToErrorsNeverFeedsItselfAndItsDisconnectEnds) {
    auto& f = this->f;
    const auto protocol = f.reader->baseProtocol();
    const auto transport = f.reader->baseTransport();
    const auto onLinkThread = [protocol, transport] {
        return protocol->receivesOnThisThread() || transport->readsOnThisThread();
    };
    BaseReader::setLogLevel(LogLevel::info);
    for (const bool disconnects : {false, true}) {
        SCOPED_TRACE(disconnects ? "disconnect()" : "stop()");
        auto calls = std::make_shared<CallLog>();
        const std::weak_ptr<UhfReader> weak = f.reader;
        auto sink = std::make_shared<ReactingSink>(calls, onLinkThread, [weak, disconnects] {
            const auto reader = weak.lock();
            if (!reader) return;
            if (disconnects) {
                reader->disconnect();
            } else if (const auto uhf = reader->uhf()) {
                uhf->stop([](ResultCode) {});
            }
        });
        f.reader->setReaderDelegate(sink);
        ASSERT_TRUE(f.accessory_->sendToHost({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
        ASSERT_TRUE(waitUntil([&] { return sink->calls.load() > 0; }));
        if (disconnects) {
            EXPECT_TRUE(
                waitUntil([&] { return f.reader->connectState() == ConnectState::disconnected; },
                          std::chrono::milliseconds(3000)));
            EXPECT_TRUE(waitUntil([&] { return calls->count("r state Disconnected") > 0; }));
        } else {
            std::this_thread::sleep_for(std::chrono::seconds(2));
            EXPECT_LT(sink->calls.load(), 10);
            EXPECT_EQ(hex(TestFixture::answerOf(this->startGetPower())), hex(kOk));
        }
        f.reader->setReaderDelegate(this->sink);
    }
    BaseReader::setLogLevel(LogLevel::trace);
}

// While the reader's getPower waits for its reply, its log sink, on the receive thread and then
// on the read thread, makes a blocking call on another reader of the same model. A Vk640 call is
// refused at once (the send lock it would wait for is held by the very send this thread serves);
// a Vk210 call is answered. Either way the reader's own getPower is answered.
TYPED_TEST(UhfOwnThreadTest, ABlockingCallOnAnotherReaderFromALinkThreadNeverStalls) {
    auto& f = this->f;
    OtherReader<TypeParam> other;
    const auto device = other.reader->device;
    for (const bool receive : {true, false}) {
        SCOPED_TRACE(receive ? "on the receive thread" : "on the read thread");
        struct Outcome {
            std::mutex lock;
            std::string code;
            std::chrono::steady_clock::duration took{};
        };
        auto outcome = std::make_shared<Outcome>();
        const std::size_t written = f.accessory_->received().size();
        this->sink->arm([on = this->onThread(receive), accessory = f.accessory_,
                         written] { return on() && accessory->received().size() > written; },
                        [device, outcome] {
                            const auto start = std::chrono::steady_clock::now();
                            const std::string code = hex(codeOf([&] { device->triggerAlive(); }));
                            std::lock_guard guard(outcome->lock);
                            outcome->took = std::chrono::steady_clock::now() - start;
                            outcome->code = code;
                        });
        const auto holder = this->startGetPower();
        EXPECT_EQ(hex(TestFixture::answerOf(holder)), hex(kOk));
        ASSERT_TRUE(waitUntil([&] {
            std::lock_guard guard(outcome->lock);
            return !outcome->code.empty();
        }));
        this->sink->arm(nullptr, nullptr);
        std::lock_guard guard(outcome->lock);
        EXPECT_EQ(outcome->code, TypeParam::kOtherReaderCall);
        EXPECT_LT(outcome->took, std::chrono::milliseconds(500));
    }
}

}  // namespace
}  // namespace orvane::test
