// Calls a log sink makes on a reader's receive thread or read thread: those that would wait
// for that very thread, or for another reader's reply or lock, are refused at once, and the
// operations the readers have under way go on.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/OrvaneDevice.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"
#include "uhf/UhfTestSupport.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;
// Only guards against a hang: what the tests wait for comes by cause.
constexpr std::chrono::seconds kHangGuard{120};

std::string hex(ResultCode code) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(rawValue(code)));
    return text;
}

// The models as the application's reader finds them, and the stand-in of a second reader of the
// same model on a transport of its own.
struct Vk210Own : Vk210UhfModel {
    using StandIn = Vk210StandIn;
};
struct Vk640Own : Vk640Model {
    using StandIn = Vk640StandIn;
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

// A second connected reader of `StandIn`'s model, on its own accessory transport and simulated
// reader.
template <class StandIn>
struct OtherReader {
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
    // A getPower from the test's thread; its answer, or 0x7000 when none comes before the hang
    // guard (the answer comes by cause: the reader's reply, or a refusal).
    std::shared_future<ResultCode> startGetPower() { return startGetPowerOn(uhf); }
    static std::shared_future<ResultCode> startGetPowerOn(const std::shared_ptr<BaseUhf>& target) {
        auto answer = std::make_shared<std::promise<ResultCode>>();
        std::shared_future<ResultCode> future = answer->get_future().share();
        target->getPower([answer](ResultCode code, auto) { answer->set_value(code); });
        return future;
    }
    static ResultCode answerOf(const std::shared_future<ResultCode>& future) {
        return future.wait_for(kHangGuard) == std::future_status::ready ? future.get()
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
// read): its call is refused inside the call, and the getPower holding the lock gets its answer.
TYPED_TEST(UhfOwnThreadTest, ASinkCallOnTheReceiveThreadIsRefusedAndTheHolderAnswered) {
    auto& f = this->f;
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        struct Outcome {
            std::atomic<int> code{-1};
            std::atomic<bool> insideTheCall{false};
        };
        auto outcome = std::make_shared<Outcome>();
        const std::size_t written = f.accessory_->received().size();
        this->sink->arm([receive = this->onThread(true), accessory = f.accessory_,
                         written] { return receive() && accessory->received().size() > written; },
                        [uhf = this->uhf, outcome] {
                            auto returned = std::make_shared<std::atomic<bool>>(false);
                            uhf->getPower([outcome, returned](ResultCode code, auto) {
                                outcome->insideTheCall = !returned->load();
                                outcome->code = static_cast<int>(rawValue(code));
                            });
                            *returned = true;
                        });
        const auto holder = this->startGetPower();
        EXPECT_EQ(hex(TestFixture::answerOf(holder)), hex(kOk));
        ASSERT_TRUE(waitUntil([&] { return outcome->code.load() >= 0; }));
        this->sink->arm(nullptr, nullptr);
        EXPECT_EQ(hex(static_cast<ResultCode>(outcome->code.load())), hex(ResultCode::inOperation));
        EXPECT_TRUE(outcome->insideTheCall.load());
    }
}

// The blocking calls of the reader, its device and its UHF object, and of other readers, made by
// the sink on the reader's receive thread and on its read thread while a getPower of the test's
// thread is under way. A UHF refusal must come inside the call ("later" when it did not).
TYPED_TEST(UhfOwnThreadTest, BlockingCallsOnTheReadersLinkThreadsAnswerAtOnce) {
    auto& f = this->f;
    OtherReader<typename TypeParam::StandIn> other;
    // A reader of its own link, not connected: connecting it there would wait for its link.
    const auto idle = UhfReader::create(std::make_shared<OrvaneDevice>());
    using Report = std::function<void(std::string)>;
    struct Row {
        const char* call;
        std::string expected;
        std::function<void(const Report&)> make;
    };
    const auto reader = f.reader;
    const auto otherUhf = other.reader->uhf();
    const auto uhfAnswer = [](const std::shared_ptr<BaseUhf>& target, const Report& report) {
        auto returned = std::make_shared<std::atomic<bool>>(false);
        target->getPower([report, returned](ResultCode code, auto) {
            report(hex(code) + (returned->load() ? " later" : ""));
        });
        *returned = true;
    };
    const std::vector<Row> rows = {
        {"UHF getPower", "0x4002", [&](const Report& r) { uhfAnswer(reader->uhf(), r); }},
        {"device getBatteryState", "0x4002",
         [&](const Report& r) {
             r(hex(codeOf([&] { reader->baseDevice()->getBatteryState(); })));
         }},
        {"device triggerAlive", "0x4002",
         [&](const Report& r) { r(hex(codeOf([&] { reader->baseDevice()->triggerAlive(); }))); }},
        {"connect()", "true", [&](const Report& r) { r(reader->connect() ? "true" : "false"); }},
        {"another reader's getPower", "0x4002", [&](const Report& r) { uhfAnswer(otherUhf, r); }},
        {"another reader's connect()", "false",
         [&](const Report& r) { r(idle->connect() ? "true" : "false"); }},
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
            EXPECT_EQ(idle->connectState(), ConnectState::disconnected);
        }
    }
}

// A sink that calls stop() or disconnect() on every ERROR record of the reader's link threads,
// started by bytes that begin no frame: its calls' own refusals never reach it, so it runs a few
// times for the records that started it (its calls' records would reach it on its own thread,
// inside the call, and feed it at once); the reader keeps answering, and a disconnect ends the
// connection from a pool thread: Disconnected is told off the reader's link threads.
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
        // Whether a Disconnected report was told on one of the reader's link threads.
        auto disconnectedOnLinkThread = std::make_shared<std::atomic<bool>>(false);
        sink->onConnectState = [disconnectedOnLinkThread,
                                onLinkThread](const ConnectStateEventArgs& args) {
            if (args.connectState() == ConnectState::disconnected && onLinkThread()) {
                *disconnectedOnLinkThread = true;
            }
        };
        f.reader->setReaderDelegate(sink);
        ASSERT_TRUE(f.accessory_->sendToHost({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
        ASSERT_TRUE(waitUntil([&] { return sink->calls.load() > 0; }));
        if (disconnects) {
            EXPECT_TRUE(
                waitUntil([&] { return f.reader->connectState() == ConnectState::disconnected; }));
            EXPECT_TRUE(waitUntil([&] { return calls->count("r state Disconnected") > 0; }));
            EXPECT_FALSE(disconnectedOnLinkThread->load());
        } else {
            // The reply of a getPower sent after the bytes comes after them on the link: once it
            // is answered, the link threads have written every record of the bytes, and the sink
            // has made every call they set off.
            EXPECT_EQ(hex(TestFixture::answerOf(this->startGetPower())), hex(kOk));
            EXPECT_LT(sink->calls.load(), 10);
        }
        f.reader->setReaderDelegate(this->sink);
    }
    BaseReader::setLogLevel(LogLevel::trace);
}

// The one log sink of two readers (the logger has one sink), armed with a call for each. The
// first record of each reader's armed thread makes that thread wait there until the other
// reader's thread has come too, then make its call on the other reader: both calls are under
// way at once, each on a thread that the other reader's operation needs.
class RendezvousSink : public ReaderSink {
  public:
    struct Side {
        std::function<bool()> when;
        std::function<std::string()> call;
    };
    RendezvousSink() : ReaderSink(std::make_shared<CallLog>()) {}
    void arm(Side first, Side second) {
        std::lock_guard guard(lock_);
        sides_ = {std::move(first), std::move(second)};
        outcomes_ = {};
        arrived_ = 0;
    }
    void logEvent(const LogEventArg&) override {
        std::function<std::string()> call;
        std::size_t side = 0;
        bool met = false;
        {
            std::unique_lock guard(lock_);
            while (side < sides_.size() && !(sides_[side].call && sides_[side].when()))
                ++side;
            if (side == sides_.size()) return;
            call = std::exchange(sides_[side].call, nullptr);
            sides_[side].when = nullptr;
            ++arrived_;
            met_.notify_all();
            // Only a hang guard: the other thread comes at its next record.
            met = met_.wait_for(guard, std::chrono::seconds(30), [&] { return arrived_ == 2; });
        }
        std::string outcome = met ? call() : "no rendezvous";
        std::lock_guard guard(lock_);
        outcomes_[side] = std::move(outcome);
    }
    // What each call answered, once both have.
    std::optional<std::array<std::string, 2>> outcomes() const {
        std::lock_guard guard(lock_);
        if (outcomes_[0].empty() || outcomes_[1].empty()) return std::nullopt;
        return outcomes_;
    }

  private:
    mutable std::mutex lock_;
    std::condition_variable met_;
    std::array<Side, 2> sides_;
    std::array<std::string, 2> outcomes_;
    int arrived_ = 0;
};

// The application's reader of `Host` and a second reader of `Guest`'s model, each with a link
// of its own.
template <class Host, class Guest>
struct ReaderPair {
    using HostModel = Host;
    using GuestStandIn = Guest;
    static std::string name() {
        return std::string(Host::name) + "With" +
               (std::is_same_v<typename Guest::Sim, SimVk210> ? "Vk210" : "Vk640");
    }
};
struct PairName {
    template <class Pair>
    static std::string GetName(int) {
        return Pair::name();
    }
};

template <class Pair>
class CrossReaderTest : public UhfOwnThreadTest<typename Pair::HostModel> {
  protected:
    void SetUp() override {
        UhfOwnThreadTest<typename Pair::HostModel>::SetUp();
        this->f.reader->setReaderDelegate(meeting);
    }

    // What a call on one reader needs of it.
    struct Target {
        std::shared_ptr<BaseDevice> device;
        std::shared_ptr<BaseUhf> uhf;
        std::shared_ptr<SimAccessory> accessory;
    };
    Target host() const { return {this->f.reader->baseDevice(), this->uhf, this->f.accessory_}; }
    Target guest() const { return {other.reader->device, other.reader->uhf(), other.accessory}; }

    OtherReader<typename Pair::GuestStandIn> other;
    std::shared_ptr<RendezvousSink> meeting = std::make_shared<RendezvousSink>();
};

using Pairs =
    ::testing::Types<ReaderPair<Vk210Own, Vk210StandIn>, ReaderPair<Vk640Own, Vk640StandIn>,
                     ReaderPair<Vk210Own, Vk640StandIn>, ReaderPair<Vk640Own, Vk210StandIn>>;
TYPED_TEST_SUITE(CrossReaderTest, Pairs, PairName);

// Each reader has a getPower under way when its sink, on its receive thread (or its read
// thread), meets the other reader's there and makes a blocking call on the other reader.
// Waiting would hold each thread until the other's operation gives up: each call is refused at
// once with nothing sent, each getPower is answered, and both readers answer afterwards.
TYPED_TEST(CrossReaderTest, BlockingCallsTheReadersMakeOnEachOtherFromLinkThreadsAreRefused) {
    using Target = typename TestFixture::Target;
    struct Call {
        const char* name;
        // Makes the call on `target`; what it answered.
        std::function<std::string(const Target&)> make;
    };
    const std::vector<Call> calls = {
        {"device triggerAlive",
         [](const Target& target) {
             // Whether the call tried to write (the other reader's own request may go meanwhile).
             std::atomic<bool> wrote{false};
             const BaseProtocol::WriteWatch watch(wrote);
             const std::string code = hex(codeOf([&] { target.device->triggerAlive(); }));
             return code + (wrote.load() ? " written" : "");
         }},
        {"UHF getPower",
         [](const Target& target) {
             auto answer = std::make_shared<std::atomic<int>>(-1);
             target.uhf->getPower(
                 [answer](ResultCode code, auto) { *answer = static_cast<int>(rawValue(code)); });
             const int code = answer->load();
             return code < 0 ? std::string("not answered inside the call")
                             : hex(static_cast<ResultCode>(code));
         }},
    };
    const auto host = this->host();
    const auto guest = this->guest();
    for (const bool receive : {true, false}) {
        for (const Call& call : calls) {
            SCOPED_TRACE(std::string(call.name) +
                         (receive ? " on the receive threads" : " on the read threads"));
            // Armed for the first record of each reader's thread once its request is written, so
            // before its reply reaches its getPower, or once the guest is poked (see below).
            auto poked = std::make_shared<std::atomic<bool>>(false);
            const auto side = [receive, &call, poked](const Target& self, const Target& peer,
                                                      bool pokable) {
                const auto protocol = self.device->baseProtocol();
                const auto transport = protocol->transport();
                const std::size_t written = self.accessory->received().size();
                return RendezvousSink::Side{
                    [=] {
                        const bool on = receive ? protocol->receivesOnThisThread()
                                                : transport->readsOnThisThread();
                        return on && (self.accessory->received().size() > written ||
                                      (pokable && poked->load()));
                    },
                    [&call, peer] { return call.make(peer); }};
            };
            this->meeting->arm(side(host, guest, false), side(guest, host, true));
            const std::size_t hostWritten = host.accessory->received().size();
            const auto hostPower = TestFixture::startGetPowerOn(host.uhf);
            // The guest's operation starts once the host's request is out: two Vk640 readers'
            // sends take turns (one lock for the process), and the host's holds it until its
            // reply. The guest's request then waits for that reply: bytes that start no frame
            // bring the guest's threads to their records meanwhile.
            ASSERT_TRUE(waitUntil([&] { return host.accessory->received().size() > hostWritten; }));
            const auto guestPower = TestFixture::startGetPowerOn(guest.uhf);
            *poked = true;
            ASSERT_TRUE(guest.accessory->sendToHost({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
            EXPECT_EQ(hex(TestFixture::answerOf(hostPower)), hex(kOk));
            EXPECT_EQ(hex(TestFixture::answerOf(guestPower)), hex(kOk));
            std::optional<std::array<std::string, 2>> outcomes;
            EXPECT_TRUE(
                waitUntil([&] { return (outcomes = this->meeting->outcomes()).has_value(); },
                          std::chrono::seconds(60)));
            this->meeting->arm({}, {});
            ASSERT_TRUE(outcomes);
            EXPECT_EQ((*outcomes)[0], "0x4002") << "the host's call on the guest";
            EXPECT_EQ((*outcomes)[1], "0x4002") << "the guest's call on the host";
            EXPECT_EQ(hex(TestFixture::answerOf(TestFixture::startGetPowerOn(host.uhf))), hex(kOk));
            EXPECT_EQ(hex(TestFixture::answerOf(TestFixture::startGetPowerOn(guest.uhf))),
                      hex(kOk));
            EXPECT_EQ(this->f.reader->connectState(), ConnectState::connected);
        }
    }
}

}  // namespace
}  // namespace orvane::test
