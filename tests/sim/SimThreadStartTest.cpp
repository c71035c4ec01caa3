// The simulators' own threads at the process's thread limit: a start that fails throws nothing
// out of the simulator or the library.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "reader/ReaderFixture.h"
#include "sim/SimAccessory.h"

namespace orvane {
namespace {

using test::waitUntil;

// For its scope, every thread start of the simulators fails as at the process's thread limit.
class ThreadLimit {
  public:
    ThreadLimit() {
        setSimThreadStart([this](std::function<void()>) -> std::thread {
            ++failed;
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        });
    }
    ~ThreadLimit() { setSimThreadStart(nullptr); }
    ThreadLimit(const ThreadLimit&) = delete;
    ThreadLimit& operator=(const ThreadLimit&) = delete;

    std::atomic<int> failed{0};
};

template <class Model>
class SimThreadLimit : public ::testing::Test {
  protected:
    // Whether the reader's log sink got a record that starts with `prefix`.
    bool logged(const std::string& prefix) {
        std::lock_guard guard(f.sink->logLock);
        return std::any_of(f.sink->logs.begin(), f.sink->logs.end(),
                           [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    }

    test::ModelReader<Model> f;
};

using Models = ::testing::Types<test::Vk210UhfModel, test::Vk640Model>;
TYPED_TEST_SUITE(SimThreadLimit, Models, test::ModelName);

// The accessory cannot start its link's peer: it opens no session, as an accessory that cannot
// open a link, so connect() answers false, the transport's record says so and the reader stays
// disconnected; nothing is thrown. Once threads start again, the reader connects.
TYPED_TEST(SimThreadLimit, AnAccessoryWhosePeerCannotStartOpensNoSession) {
    auto& f = this->f;
    {
        ThreadLimit limit;
        bool answer = true;
        EXPECT_NO_THROW(answer = f.reader->connect());
        EXPECT_FALSE(answer);
        EXPECT_GE(limit.failed.load(), 1);
        EXPECT_TRUE(
            waitUntil([&] { return this->logged("openSession() initialize session failed"); }));
        EXPECT_EQ(f.reader->connectState(), ConnectState::disconnected);
    }
    EXPECT_TRUE(f.connected());
}

// The inventory's stream cannot start: the reader takes the inventory and reports no tag (a
// reader that finds none) and nothing is thrown; its stop ends the inventory as usual (the next
// call is not refused), and the next inventory, with threads starting again, reports the tags.
TYPED_TEST(SimThreadLimit, AnInventoryWhoseStreamCannotStartReportsNoTag) {
    auto& f = this->f;
    constexpr std::size_t kTags = 5;
    f.sim->setTags(makeSimTags(kTags));
    ASSERT_TRUE(f.connected());
    auto tags = std::make_shared<test::TagCounter>();
    f.reader->uhf()->setDelegate(tags);
    const auto inventory = [&] {
        return test::codeOf([&](std::function<void(ResultCode)> done) {
            f.reader->uhf()->inventory(std::move(done));
        });
    };
    const auto stop = [&] {
        return test::codeOf(
            [&](std::function<void(ResultCode)> done) { f.reader->uhf()->stop(std::move(done)); });
    };
    {
        ThreadLimit limit;
        EXPECT_EQ(inventory(), ResultCode::noError);
        // The stream starts once the inventory is answered.
        EXPECT_TRUE(waitUntil([&] { return limit.failed.load() >= 1; }));
    }
    EXPECT_FALSE(f.sim->isStreaming());
    EXPECT_EQ(stop(), ResultCode::noError);
    EXPECT_EQ(tags->tags.load(), 0);

    EXPECT_EQ(inventory(), ResultCode::noError);
    EXPECT_TRUE(waitUntil([&] { return tags->tags.load() >= static_cast<int>(kTags); }));
    EXPECT_EQ(stop(), ResultCode::noError);
}

}  // namespace
}  // namespace orvane
