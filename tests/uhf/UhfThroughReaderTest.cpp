// The UHF object as an application reaches it: a reader made from discovery and connected to
// each simulated reader through the real initialisation, driven through reader->uhf(), with the
// application's UhfDelegate set on that object.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"
#include "sim/SimVk210Module.h"
#include "uhf/UhfAppDelegate.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;

// A log text in lower case without "0x" prefixes and separators, so that bytes show as plain
// hex however a line spells them.
std::string flatHex(const std::string& text) {
    std::string flat;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        if (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            ++i;
        } else if (std::string_view(" \t:-,_").find(c) == std::string_view::npos) {
            flat += c;
        }
    }
    return flat;
}

// What differs between the two readers here: the Vk210 carries its radio module; how each sim
// drops its link mid-inventory; the RSSI each reports for a tag; how a permanent lock's result
// is named.
struct Vk210Uhf : Vk210Model {
    static std::shared_ptr<Sim> makeSim() {
        auto sim = Vk210Model::makeSim();
        addVk210ModuleRows(*sim);
        return sim;
    }
    static void dropAfter(Sim& sim, std::size_t tags) { sim.setDropLinkAfterReports(tags); }
    static float rssi(std::size_t, const SimTag& tag) { return tag.rssi / 100.0f; }
    // The module runs a permanent lock as its lock command and reports it as one.
    static constexpr ActionState kPermaLockResult = ActionState::lock;
};

struct Vk640Uhf : Vk640Model {
    static std::shared_ptr<Sim> makeSim() {
        auto sim = Vk640Model::makeSim();
        // Receiver gain registers for a gain of 0 dB.
        sim->setSetting("register.09", {0x24});
        sim->setSetting("register.0A", {0x62});
        return sim;
    }
    static void dropAfter(Sim& sim, std::size_t tags) { sim.setDropLinkAfterTags(tags); }
    static float rssi(std::size_t index, const SimTag&) {
        const int sum = SimVk640::logI(index) + SimVk640::logQ(index);
        return static_cast<float>(std::trunc((sum / 2.0 * 2.1 - 75.0) * 10.0)) / 10.0f;
    }
    static constexpr ActionState kPermaLockResult = ActionState::permanentLock;
};

template <class Model>
class UhfThroughReaderTest : public ::testing::Test {
  protected:
    // The fixture logs at TRACE; the records stay off the console.
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }
    void SetUp() override {
        f.sim->setTags(makeSimTags(1000));
        ASSERT_TRUE(f.connected());
        uhf = f.reader->uhf();
        ASSERT_TRUE(uhf);
        uhf->setDelegate(app);
    }

    // Runs an operation with a completion and waits for its one answer.
    ResultCode await(const std::function<void(UhfResultCompletion)>& operation) {
        auto answers = std::make_shared<std::atomic<int>>(0);
        auto code = std::make_shared<std::atomic<ResultCode>>(ResultCode::otherError);
        operation([answers, code](ResultCode c) {
            code->store(c);
            ++*answers;
        });
        EXPECT_TRUE(waitUntil([&] { return answers->load() >= 1; }));
        return code->load();
    }
    // The access result an access started with 0x0000 ends with; the reader is in Stop again.
    AccessResultEventArgs access(const std::function<ResultCode()>& operation) {
        const std::size_t before = app->results().size();
        EXPECT_EQ(operation(), kOk);
        EXPECT_TRUE(waitUntil([&] { return app->results().size() > before; }));
        EXPECT_TRUE(waitUntil([&] { return f.reader->actionState() == ActionState::stop; }));
        const auto results = app->results();
        if (results.size() > before) return results[before];
        return AccessResultEventArgs({}, {}, ActionState::stop, std::nullopt,
                                     ResultCode::otherError);
    }

    ModelReader<Model> f{Model::makeSim()};
    std::shared_ptr<BaseUhf> uhf;
    std::shared_ptr<AppDelegate> app = std::make_shared<AppDelegate>(f.reader);
};

using Models = ::testing::Types<Vk210Uhf, Vk640Uhf>;
TYPED_TEST_SUITE(UhfThroughReaderTest, Models, ModelName);

TYPED_TEST(UhfThroughReaderTest, AThousandTagsReachTheApplicationOnceEachThenStop) {
    auto& f = this->f;
    f.sim->setInventoryOnce(true);
    EXPECT_EQ(this->await([&](auto done) { this->uhf->inventory(done); }), kOk);
    ASSERT_TRUE(waitUntil([&] { return this->app->reads().size() == 1000; }));
    EXPECT_EQ(f.reader->actionState(), ActionState::inventory);
    EXPECT_EQ(this->await([&](auto done) { this->uhf->stop(done); }), kOk);
    EXPECT_TRUE(waitUntil([&] { return f.reader->actionState() == ActionState::stop; }));

    const auto tags = *f.sim->tags();
    const auto reads = this->app->reads();
    const auto rssi = this->app->rssi();
    ASSERT_EQ(reads.size(), tags.size());
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const std::string epc = toHexString(tags[i].epc);
        ASSERT_EQ(reads.count(epc), 1u) << i;
        EXPECT_EQ(reads.at(epc), 1) << i;
        EXPECT_FLOAT_EQ(static_cast<float>(rssi.at(epc)), TypeParam::rssi(i, tags[i])) << i;
    }
    EXPECT_EQ(this->app->strangers(), 0);
    EXPECT_EQ(f.calls->count("r action Inventory"), 1);
    EXPECT_EQ(f.calls->count("r action Stop"), 1);
    EXPECT_EQ(f.reader->_failCount(), 0);
}

TYPED_TEST(UhfThroughReaderTest, UserMemoryReadsBackThenLockPermanentLockAndKill) {
    auto& uhf = *this->uhf;
    const std::string none = "00000000";
    EXPECT_EQ(this->access([&] { return uhf.writeMemory(BankType::user, 1, "CAFEBABE", none); })
                  .resultCode(),
              kOk);
    const auto read = this->access([&] { return uhf.readMemory(BankType::user, 1, 2, none); });
    EXPECT_EQ(read.resultCode(), kOk);
    EXPECT_EQ(read.actionState(), ActionState::readMemory);
    EXPECT_EQ(read.bankType(), BankType::user);
    EXPECT_EQ(read.data(), (Bytes{0xCA, 0xFE, 0xBA, 0xBE}));

    // Kill password 0xCAFE0001 and access password 0xCAFE0002, then the three accesses.
    ASSERT_EQ(this->access([&] {
                      return uhf.writeMemory(BankType::reserved, 0, "CAFE0001CAFE0002", none);
                  })
                  .resultCode(),
              kOk);
    LockParam lockUser;
    lockUser.setUser(LockState::lock);
    const auto locked = this->access([&] { return uhf.lockTag(lockUser, "CAFE0002"); });
    EXPECT_EQ(locked.resultCode(), kOk);
    EXPECT_EQ(locked.actionState(), ActionState::lock);
    PermaLockParam forever;
    forever.setUser(LockState::lock);
    const auto perma = this->access([&] { return uhf.permaLockTag(forever, "cafe0002"); });
    EXPECT_EQ(perma.resultCode(), kOk);
    EXPECT_EQ(perma.actionState(), TypeParam::kPermaLockResult);
    // User memory is now locked for ever: a write fails.
    EXPECT_NE(
        this->access([&] { return uhf.writeMemory(BankType::user, 1, "0000", none); }).resultCode(),
        kOk);
    const auto killed = this->access([&] { return uhf.killTag("CAFE0001"); });
    EXPECT_EQ(killed.resultCode(), kOk);
    EXPECT_EQ(killed.actionState(), ActionState::kill);

    EXPECT_EQ(this->app->strangers(), 0);
    EXPECT_EQ(this->f.reader->_failCount(), 0) << "the kill's success resets the count";
    EXPECT_EQ(this->f.reader->connectState(), ConnectState::connected);
}

TYPED_TEST(UhfThroughReaderTest, AnAccessTheDriverRefusesIsReportedAsRefused) {
    auto& uhf = *this->uhf;
    const std::string none = "00000000";
    const bool vk210 = std::is_same_v<TypeParam, Vk210Uhf>;
    // Refused on the caller's thread with nothing sent: no access result follows.
    const struct {
        const char* name;
        bool vk210;
        unsigned offset;
        std::string data;
    } early[] = {
        {"256 words", true, 0, std::string(256 * 4, 'A')},
        {"offset 70000", true, 70000, "CAFE"},
        {"last word past the 32-bit pointer", false, 0xFFFFFFFF, "CAFEBABE"},
    };
    for (const auto& c : early) {
        if (c.vk210 != vk210) continue;
        SCOPED_TRACE(c.name);
        const std::size_t before = this->app->results().size();
        EXPECT_EQ(uhf.writeMemory(BankType::user, c.offset, c.data, none), ResultCode::outOfRange);
        EXPECT_EQ(this->app->results().size(), before);
        EXPECT_EQ(this->f.reader->actionState(), ActionState::stop);
    }
    // Not started by the driver after the hop (a value it refuses, a reader that does not
    // answer): exactly one access result carries the driver's code.
    LockParam lockUser;
    lockUser.setUser(LockState::lock);
    const auto bad = static_cast<BankType>(9);
    const struct {
        const char* name;
        std::function<ResultCode()> call;
        ActionState state;
        bool silent;
    } late[] = {
        {"write to no bank", [&] { return uhf.writeMemory(bad, 1, "CAFE", none); },
         ActionState::writeMemory, false},
        {"read of no bank", [&] { return uhf.readMemory(bad, 0, 2, none); },
         ActionState::readMemory, false},
        {"lock unanswered", [&] { return uhf.lockTag(lockUser, none); }, ActionState::lock, true},
    };
    const std::size_t first = this->app->results().size();
    for (const auto& c : late) {
        SCOPED_TRACE(c.name);
        SimFaults faults;
        faults.noReply = c.silent;
        this->f.accessory_->setFaults(faults);
        const auto result = this->access(c.call);
        this->f.accessory_->setFaults({});
        if (c.silent) {
            EXPECT_NE(result.resultCode(), kOk);
        } else {
            EXPECT_EQ(result.resultCode(), ResultCode::invalidParameter);
        }
        EXPECT_EQ(result.actionState(), c.state);
    }
    EXPECT_EQ(this->app->results().size(), first + std::size(late));
    // The reader stays usable.
    EXPECT_EQ(
        this->access([&] { return uhf.writeMemory(BankType::user, 1, "CAFE", none); }).resultCode(),
        kOk);
    EXPECT_EQ(this->f.reader->connectState(), ConnectState::connected);
}

// A full run at TRACE, every sink record scanned: the password never shows, whether as plain hex,
// spaced bytes or 0x-prefixed bytes, in any letter case.
TYPED_TEST(UhfThroughReaderTest, PasswordsAndReservedDataNeverReachTheLog) {
    auto& uhf = *this->uhf;
    const std::string password = "1A2B3C4D";
    ASSERT_EQ(this->access([&] {
                      return uhf.writeMemory(BankType::reserved, 0, password + password,
                                             "00000000");
                  })
                  .resultCode(),
              kOk);
    const auto read =
        this->access([&] { return uhf.readMemory(BankType::reserved, 0, 4, password); });
    EXPECT_EQ(read.resultCode(), kOk);
    EXPECT_EQ(read.data(), (Bytes{0x1A, 0x2B, 0x3C, 0x4D, 0x1A, 0x2B, 0x3C, 0x4D}));
    LockParam lockUser;
    lockUser.setUser(LockState::lock);
    EXPECT_EQ(this->access([&] { return uhf.lockTag(lockUser, password); }).resultCode(), kOk);
    EXPECT_EQ(this->access([&] { return uhf.killTag(password); }).resultCode(), kOk);

    std::lock_guard guard(this->f.sink->logLock);
    const auto& logs = this->f.sink->logs;
    // The frame dumps were logged, so the scan covers them.
    EXPECT_TRUE(std::any_of(logs.begin(), logs.end(), [](const std::string& text) {
        return text.find("Write: 0x") != std::string::npos;
    }));
    for (const std::string& text : logs)
        EXPECT_EQ(flatHex(text).find("1a2b3c4d"), std::string::npos) << text;
}

// The words of a read outside the Reserved bank are ordinary data: the frame that carries them
// back is logged as it is, on both models (the run logs at TRACE).
TYPED_TEST(UhfThroughReaderTest, ReadDataOfTheOtherBanksReachesTheLog) {
    auto& uhf = *this->uhf;
    const std::string none = "00000000";
    ASSERT_EQ(this->access([&] { return uhf.writeMemory(BankType::user, 2, "5EC7A91D", none); })
                  .resultCode(),
              kOk);
    // Only what the read logs is scanned: the write's request carried the words too.
    {
        std::lock_guard guard(this->f.sink->logLock);
        this->f.sink->logs.clear();
    }
    const auto read = this->access([&] { return uhf.readMemory(BankType::user, 2, 2, none); });
    EXPECT_EQ(read.resultCode(), kOk);
    EXPECT_EQ(read.data(), (Bytes{0x5E, 0xC7, 0xA9, 0x1D}));

    std::lock_guard guard(this->f.sink->logLock);
    const auto& logs = this->f.sink->logs;
    EXPECT_TRUE(std::any_of(logs.begin(), logs.end(), [](const std::string& text) {
        return flatHex(text).find("5ec7a91d") != std::string::npos;
    }));
}

TYPED_TEST(UhfThroughReaderTest, ALinkDroppedMidInventoryEndsDisconnectedWithTheLockFree) {
    auto& f = this->f;
    TypeParam::dropAfter(*f.sim, 100);
    EXPECT_EQ(this->await([&](auto done) { this->uhf->inventory(done); }), kOk);
    ASSERT_TRUE(waitUntil([&] { return f.sim->reportsStreamed() >= 100; }));
    // Reports streamed before the drop reach the application; a stop that ends the connection
    // before the receive loop has read them would drop them with it.
    ASSERT_TRUE(waitUntil([&] { return !this->app->reads().empty(); }));
    // The Vk210's keep-alive finds the link gone on its own; the Vk640 is not asked while an
    // action runs, so the application's stops fail instead and the fourth disconnects. Every
    // stop answers: none waits for the lost inventory.
    for (int i = 0; i < 4 && f.reader->connectState() != ConnectState::disconnected; ++i)
        EXPECT_NE(this->await([&](auto done) { this->uhf->stop(done); }), kOk);
    ASSERT_TRUE(waitUntil([&] { return f.calls->count("r state Disconnected") == 1; },
                          std::chrono::seconds(30)));
    EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
    EXPECT_LT(this->app->reads().size(), 1000u);

    // The lock is free: calls after the drop answer at once.
    EXPECT_NE(this->await([&](auto done) { this->uhf->stop(done); }), kOk);
    EXPECT_NE(this->await([&](auto done) { this->uhf->inventory(done); }), kOk);
}

// An application that hands the action change starting an access to another thread and waits
// there for a UHF call gets its answer, and the change still comes before the access result.
TYPED_TEST(UhfThroughReaderTest, AStartingActionHandedToAnotherThreadIsNoDeadlock) {
    class Handing : public UhfReaderDelegate {
      public:
        Handing(std::shared_ptr<BaseUhf> uhf, std::shared_ptr<AppDelegate> app)
            : uhf_(std::move(uhf)), app_(std::move(app)) {}
        ~Handing() override {
            if (helper_.joinable()) helper_.join();
        }
        void actionStateEvent(ActionState state) override {
            if (state != ActionState::readMemory || helper_.joinable()) return;
            resultsAtStart = static_cast<int>(app_->results().size());
            auto answer = std::make_shared<std::promise<ResultCode>>();
            auto answered = answer->get_future();
            helper_ = std::thread([uhf = uhf_, answer] {
                uhf->getPower([answer](ResultCode code, auto) { answer->set_value(code); });
            });
            if (answered.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
                code = static_cast<int>(rawValue(answered.get()));
            }
        }
        void batteryPercentageEvent(uint8_t) override {}
        void temperatureEvent(double) override {}
        void connectStateEvent(const ConnectStateEventArgs&) override {}
        void triggerKeyEvent(const KeyEventArgs&) override {}
        void notificationEvent(const NotificationEventArgs&) override {}
        void logEvent(const LogEventArg&) override {}

        std::atomic<int> resultsAtStart{-1};
        std::atomic<int> code{-1};  // the helper's answer; -1 for none within the wait

      private:
        std::shared_ptr<BaseUhf> uhf_;
        std::shared_ptr<AppDelegate> app_;
        std::thread helper_;
    };
    auto handing = std::make_shared<Handing>(this->uhf, this->app);
    this->f.reader->setUhfReaderDelegate(handing);
    const std::size_t before = this->app->results().size();
    const auto read =
        this->access([&] { return this->uhf->readMemory(BankType::user, 0, 1, "00000000"); });
    EXPECT_EQ(read.resultCode(), kOk);
    EXPECT_EQ(handing->resultsAtStart.load(), static_cast<int>(before));
    EXPECT_EQ(handing->code.load(), static_cast<int>(rawValue(ResultCode::inOperation)));
}

}  // namespace
}  // namespace orvane::test
