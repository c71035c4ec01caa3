// The simulated accessory's link: what the peer sends reaches the host in the order a reader's
// serial line gives it, whatever the faults it injects.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "orvanerfid/platform/Accessory.h"
#include "sim/SimAccessory.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

using test::waitUntil;

const std::string kProtocol = "com.orvane.test";
const Bytes kReply{0x80, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x10, 0x12, 0x00, 0x02, 0x06, 0x00};

// Answers every byte the host writes with kReply, and keeps its link for a stream.
class ReplyingPeer : public SimResponder {
  public:
    std::size_t respond(ByteView pending, SimPeer& peer) override {
        if (pending.empty()) return 0;
        peer.send(kReply);
        return 1;
    }
    void linkOpened(SimPeer& peer) override {
        std::lock_guard guard(lock_);
        link_ = peer.weakPeer();
    }
    std::shared_ptr<SimPeer> link() const {
        std::lock_guard guard(lock_);
        return link_.lock();
    }

  private:
    mutable std::mutex lock_;
    std::weak_ptr<SimPeer> link_;
};

// Reads what the host has now, appended to `into`.
void readAvailable(InputStream& input, Bytes& into) {
    uint8_t buffer[256];
    while (input.hasBytesAvailable()) {
        const long count = input.read(buffer, sizeof buffer);
        if (count > 0) into.insert(into.end(), buffer, buffer + count);
    }
}

// A session with an accessory whose replies leave split after their fifth byte.
class SimSplitReply : public ::testing::Test {
  protected:
    void SetUp() override {
        manager.attach(accessory);
        SimFaults faults;
        faults.splitReplyAt = 5;
        accessory->setFaults(faults);
        session = AccessorySession::open(accessory, kProtocol);
        ASSERT_TRUE(session);
        input = session->inputStream();
        session->inputStream()->open();
        session->outputStream()->open();
    }
    void request() {
        const uint8_t byte = 0x01;
        ASSERT_EQ(session->outputStream()->write(&byte, 1), 1);
    }

    std::shared_ptr<ReplyingPeer> responder = std::make_shared<ReplyingPeer>();
    std::shared_ptr<SimAccessory> accessory = std::make_shared<SimAccessory>(
        AccessoryInfo{"Orvane Technology", "SIM", "SIM", "SIM-0001", "1.0", {kProtocol}},
        responder);
    AccessoryManager manager;
    std::shared_ptr<AccessorySession> session;
    std::shared_ptr<InputStream> input;
};

// The reply leaves in two pieces, cut where the fault says: the host's handler, on the peer's
// thread, takes what each delivery brought.
TEST_F(SimSplitReply, AReplyLeavesInTwoPieces) {
    auto lock = std::make_shared<std::mutex>();
    auto pieces = std::make_shared<std::vector<Bytes>>();
    input->setBytesAvailableHandler([stream = std::weak_ptr<InputStream>(input), lock, pieces] {
        const auto live = stream.lock();
        if (!live) return;
        Bytes piece;
        readAvailable(*live, piece);
        std::lock_guard guard(*lock);
        if (!piece.empty()) pieces->push_back(std::move(piece));
    });
    request();
    const auto received = [&] {
        std::lock_guard guard(*lock);
        std::size_t size = 0;
        for (const auto& piece : *pieces)
            size += piece.size();
        return size;
    };
    ASSERT_TRUE(waitUntil([&] { return received() >= kReply.size(); }));
    std::lock_guard guard(*lock);
    EXPECT_EQ(*pieces, (std::vector<Bytes>{Bytes(kReply.begin(), kReply.begin() + 5),
                                           Bytes(kReply.begin() + 5, kReply.end())}));
}

// A reply in pieces is whole on the host's side before a stream's bytes: the host's handler
// holds the peer's thread as the first piece arrives (the peer sends the last one), and a stream
// offered meanwhile is not taken.
TEST_F(SimSplitReply, AStreamNeverLandsBetweenThePieces) {
    auto held = std::make_shared<test::Gate>();
    auto first = std::make_shared<std::atomic<bool>>(true);
    held->close();
    input->setBytesAvailableHandler([held, first] {
        if (first->exchange(false)) held->pass();
    });
    std::thread streamer;
    // Opened and joined on every way out.
    const std::shared_ptr<void> opens(nullptr, [&](void*) {
        held->open();
        if (streamer.joinable()) streamer.join();
    });

    request();
    ASSERT_TRUE(waitUntil([&] { return held->waiting() == 1; }));
    Bytes received;
    readAvailable(*input, received);
    EXPECT_EQ(received, Bytes(kReply.begin(), kReply.begin() + 5));
    const auto link = responder->link();
    ASSERT_TRUE(link);
    const Bytes stream(64, 0xA5);
    // Offered while the peer is held: it waits its full time and is not taken, or the host sees
    // its bytes.
    std::atomic<int> taken{-1};
    streamer = std::thread(
        [&] { taken = link->stream(stream, 1 << 20, std::chrono::milliseconds(100)) ? 1 : 0; });
    ASSERT_TRUE(waitUntil([&] { return taken.load() >= 0 || input->hasBytesAvailable(); }));
    EXPECT_FALSE(input->hasBytesAvailable());
    held->open();
    streamer.join();
    if (taken.load() == 0) {
        ASSERT_TRUE(waitUntil(
            [&] { return link->stream(stream, 1 << 20, std::chrono::milliseconds(100)); }));
    }

    Bytes expected = kReply;
    expected.insert(expected.end(), stream.begin(), stream.end());
    ASSERT_TRUE(waitUntil([&] {
        readAvailable(*input, received);
        return received.size() >= expected.size();
    }));
    EXPECT_EQ(received, expected);
}

}  // namespace
}  // namespace orvane
