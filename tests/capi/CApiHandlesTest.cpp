// The C surface against each simulated reader, found and connected through the C entry points:
// several handles of one UHF object and its delegate, across a reconnect; list arguments bounded
// by their wire fields.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <vector>

#include "orvanerfid/link/EATransport.h"
#include "orvanerfid/orvanerfid_c.h"
#include "reader/ReaderFixture.h"

namespace orvane::test {
namespace {

using CModels = ::testing::Types<Vk210UhfModel, Vk640Model>;

struct Counter {
    std::atomic<int> count{0};
    std::atomic<int> code{-1};
    static void tag(void* context, const orv_tag_info*) { ++static_cast<Counter*>(context)->count; }
    static void result(void* context, uint16_t code) {
        auto* self = static_cast<Counter*>(context);
        self->code = code;
        ++self->count;
    }
};

template <class Model>
class CApiHandles : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }
    void SetUp() override {
        sim->setTags(makeSimTags(20));
        AccessoryManager::shared().attach(accessory);
        discovery = orv_discovery_start(&callbacks);
        ASSERT_NE(found, nullptr);
        reader = orv_reader_create(found);
        ASSERT_EQ(orv_reader_set_connect_state_callback(reader, &CApiHandles::onState, this), 0);
        ASSERT_TRUE(connect());
    }
    void TearDown() override {
        orv_reader_destroy(reader);
        orv_device_release(found);
        orv_discovery_stop(discovery);
        EXPECT_TRUE(waitUntil([] { return EATransport::shared()->readLoopsRunning() == 0; }));
        AccessoryManager::shared().detach(accessory);
        EATransport::shared()->setOrvaneDevice(nullptr);
    }

    bool connect() {
        const int before = connectedReports.load();
        return orv_reader_connect(reader) && waitUntil([&] { return connectedReports > before; });
    }
    // Runs an inventory through `uhf` until `reports` grows, then stops it.
    bool inventoryReaches(orv_uhf* uhf, const Counter& reports) {
        const int before = reports.count.load();
        Counter started;
        Counter stopped;
        const bool ran = orv_inventoryWithCompletion(uhf, &Counter::result, &started) == 0 &&
                         waitUntil([&] { return started.count == 1; }) && started.code == 0 &&
                         waitUntil([&] { return reports.count > before; });
        EXPECT_EQ(orv_stopWithCompletion(uhf, &Counter::result, &stopped), 0);
        EXPECT_TRUE(waitUntil([&] { return stopped.count == 1; }));
        return ran;
    }

    static void onFound(void* context, const orv_device* device) {
        auto* self = static_cast<CApiHandles*>(context);
        if (self->found == nullptr) self->found = orv_device_copy(device);
    }
    static void onState(void* context, uint8_t state) {
        if (state == 3) ++static_cast<CApiHandles*>(context)->connectedReports;
    }

    std::shared_ptr<typename Model::Sim> sim = Model::makeSim();
    std::shared_ptr<SimAccessory> accessory = Model::accessory(sim);
    const orv_discovery_callbacks callbacks{this, &CApiHandles::onFound, nullptr};
    orv_discovery* discovery = nullptr;
    orv_device* found = nullptr;
    orv_reader* reader = nullptr;
    std::atomic<int> connectedReports{0};
};

TYPED_TEST_SUITE(CApiHandles, CModels, ModelName);

TYPED_TEST(CApiHandles, ReleasingAHandleKeepsTheDelegateAnotherHandleSet) {
    Counter reports;
    const orv_uhf_delegate delegate{&reports, &Counter::tag, nullptr};
    orv_uhf* owner = orv_reader_uhf(this->reader);
    ASSERT_NE(owner, nullptr);
    ASSERT_EQ(orv_uhf_set_delegate(owner, &delegate), 0);
    orv_uhf_release(orv_reader_uhf(this->reader));
    EXPECT_TRUE(this->inventoryReaches(owner, reports));

    // A reconnect makes a new UHF object that carries the delegate over; a handle of the new
    // object, released, leaves it there too.
    ASSERT_TRUE(orv_reader_disconnect(this->reader));
    ASSERT_TRUE(this->connect());
    orv_uhf_release(orv_reader_uhf(this->reader));
    orv_uhf* current = orv_reader_uhf(this->reader);
    ASSERT_NE(current, nullptr);
    EXPECT_TRUE(this->inventoryReaches(current, reports));
    orv_uhf_release(current);
    orv_uhf_release(owner);
}

TYPED_TEST(CApiHandles, AListLongerThanItsWireFieldIsRefusedUnread) {
    orv_uhf* uhf = orv_reader_uhf(this->reader);
    ASSERT_NE(uhf, nullptr);
    // Buffers as long as the longest list each field carries; a longer count is never read.
    const std::vector<uint32_t> frequencies(255, 920000);
    const std::vector<uint8_t> bytes(8192, 0);
    const auto setFrequencies = [&](std::size_t count, Counter& answer) {
        return orv_setFixedFrequencyWithFixedFrequency_completion(uhf, frequencies.data(), count,
                                                                  &Counter::result, &answer);
    };
    const auto permaLock = [&](std::size_t count, Counter& answer) {
        return orv_blockPermaLockWithPassword_readLock_bankType_offset_length_mask_completion(
            uhf, "00000000", 0, 3, 0, 1, bytes.data(), count, &Counter::result, &answer);
    };
    const auto authenticate = [&](std::size_t count, Counter& answer) {
        return orv_authenticateWithPassword_sendResponse_incRepLen_csi_msgLen_msg_expectedReplyLen_completion(
            uhf, "00000000", 1, 1, 1, 16, bytes.data(), count, 0, &Counter::result, &answer);
    };
    struct Row {
        const char* what;
        std::function<uint16_t(std::size_t, Counter&)> call;
        std::size_t count;
        uint16_t entry;
    };
    const std::vector<Row> rows = {
        {"frequencies 256", setFrequencies, 256, 0x4003},
        {"frequencies 2^62", setFrequencies, std::size_t{1} << 62, 0x4003},
        {"frequencies 255", setFrequencies, 255, 0},
        {"mask 511 bytes", permaLock, 511, 0x4003},
        {"mask 510 bytes", permaLock, 510, 0},
        {"message 8193 bytes", authenticate, 8193, 0x4003},
        {"message 8192 bytes", authenticate, 8192, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Counter answer;
        EXPECT_EQ(row.call(row.count, answer), row.entry);
        // An accepted call answers once; a refused one never.
        if (row.entry == 0) {
            EXPECT_TRUE(waitUntil([&] { return answer.count == 1; }));
        }
        EXPECT_EQ(answer.count.load(), row.entry == 0 ? 1 : 0);
    }
    orv_uhf_release(uhf);
}

}  // namespace
}  // namespace orvane::test
