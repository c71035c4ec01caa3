// The order in which an application hears one connection's events and the next one's: a reader
// made from discovery and connected to each simulated reader through the real initialisation.

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "orvanerfid/reader/EventSequence.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "reader/ReaderFixture.h"

namespace orvane::test {
namespace {

// Holds the application's first inventory start report until `release`; `inside` is ready once
// the report is held.
class HeldStart : public ActionListener {
  public:
    void actionStateEvent(ActionState state) override {
        if (state != ActionState::inventory || !armed_.exchange(false)) return;
        inside.set_value();
        gate_.wait();
    }

    void release() { open_.set_value(); }
    std::promise<void> inside;

  private:
    std::atomic<bool> armed_{true};
    std::promise<void> open_;
    std::shared_future<void> gate_ = open_.get_future().share();
};

template <class Model>
class UhfConnectionOrderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }

    ModelReader<Model> f{Model::makeSim()};
};

using Models = ::testing::Types<Vk210UhfModel, Vk640Model>;
TYPED_TEST_SUITE(UhfConnectionOrderTest, Models, ModelName);

// A reconnect while the application still holds the inventory's start report: the old
// connection's Stop waits behind it, and the new connection's Connected waits behind that Stop,
// while Disconnected is heard at once.
TYPED_TEST(UhfConnectionOrderTest, TheOldInventorysStopIsHeardBeforeTheNextConnected) {
    auto& f = this->f;
    f.sim->setTags(makeSimTags(100));
    ASSERT_TRUE(f.connected());
    auto held = std::make_shared<HeldStart>();
    f.reader->setUhfReaderDelegate(held);
    f.sim->setInventoryOnce(false);
    f.sim->setInventoryRate(3000);
    const auto uhf = f.reader->uhf();
    ASSERT_TRUE(uhf);
    uhf->inventory([](ResultCode) {});
    // A hang guard only: the report comes at once.
    ASSERT_EQ(held->inside.get_future().wait_for(std::chrono::seconds(60)),
              std::future_status::ready);
    f.calls->clear();

    ASSERT_TRUE(f.reader->disconnect());
    EXPECT_TRUE(waitUntil([&] { return f.calls->count("r state Disconnected") == 1; }));
    ASSERT_TRUE(f.reader->connect());
    ASSERT_TRUE(waitUntil([&] { return f.reader->connectState() == ConnectState::connected; },
                          std::chrono::seconds(60)));
    EXPECT_EQ(f.calls->count("r state Connected"), 0);
    EXPECT_EQ(f.calls->count("r action Stop"), 0);

    held->release();
    ASSERT_TRUE(waitUntil(
        [&] { return f.calls->count("r state Connected") == 1 && f.reader->eventLine().isIdle(); },
        std::chrono::seconds(60)));
    const auto heard = f.calls->lines();
    const auto connected = std::find(heard.begin(), heard.end(), "r state Connected");
    const auto stop = std::find(heard.begin(), heard.end(), "r action Stop");
    EXPECT_LT(stop, connected);
    EXPECT_EQ(std::count(connected, heard.end(), "r action Stop"), 0);
    EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
}

}  // namespace
}  // namespace orvane::test
