#include "sim/SimVk210.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

// A peer that records what the simulated reader sends.
class RecordingPeer : public SimPeer, public std::enable_shared_from_this<RecordingPeer> {
  public:
    struct Sent {
        Bytes bytes;
        Clock::duration delay;
    };
    std::vector<Sent> sent;
    Bytes streamed;
    bool dropped = false;

    void send(Bytes bytes, Clock::duration delay, std::size_t, Clock::duration) override {
        sent.push_back({std::move(bytes), delay});
    }
    bool stream(ByteView bytes, std::size_t, Clock::duration) override {
        streamed.insert(streamed.end(), bytes.begin(), bytes.end());
        return !dropped;
    }
    void dropLink() override { dropped = true; }
    bool isDropped() const override { return dropped; }
    std::weak_ptr<SimPeer> weakPeer() override { return weak_from_this(); }
};

// A link that takes every byte a stream sends, from the stream's thread.
class StreamLink : public SimPeer, public std::enable_shared_from_this<StreamLink> {
  public:
    void send(Bytes, Clock::duration, std::size_t, Clock::duration) override {}
    bool stream(ByteView bytes, std::size_t, Clock::duration) override {
        streamed += bytes.size();
        return true;
    }
    void dropLink() override {}
    bool isDropped() const override { return false; }
    std::weak_ptr<SimPeer> weakPeer() override { return weak_from_this(); }

    std::atomic<std::size_t> streamed{0};
};

Bytes request(OrvRfidCmdId id, const Bytes& data = {}) {
    return OrvaneRfidCommand::frame(id, data);
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class SimVk210Test : public ::testing::Test {
  protected:
    std::shared_ptr<SimVk210> reader = std::make_shared<SimVk210>();
    std::shared_ptr<RecordingPeer> peer = std::make_shared<RecordingPeer>();
};

TEST_F(SimVk210Test, AnswersTheFirmwareRequestWithTheReaderBytes) {
    const Bytes firmwareRequest{0x02, 0x00, 0x04, 0x00, 0x21, 0xFF, 0xDB, 0x03};
    EXPECT_EQ(request(OrvRfidCmdId::firmware), firmwareRequest);
    EXPECT_EQ(reader->respond(firmwareRequest, *peer), firmwareRequest.size());
    ASSERT_EQ(peer->sent.size(), 1u);
    EXPECT_EQ(peer->sent[0].bytes,
              (Bytes{0x02, 0x00, 0x08, 0x00, 0x21, 0x00, 0x01, 0x01, 0x0B, 0xFF, 0xCA, 0x03}));
    // PA temperature 01 2C: 30.0 degrees.
    reader->respond(request(OrvRfidCmdId::paTemperature), *peer);
    EXPECT_EQ(peer->sent.back().bytes,
              SimVk210::replyFrame(OrvRfidCmdId::paTemperature, 0x00, Bytes{0x01, 0x2C}));
}

TEST_F(SimVk210Test, CutsSplitAndNoisyInputAndRecordsUnknownCommands) {
    const Bytes battery = request(OrvRfidCmdId::batteryStatus);
    // Half a frame waits for the rest.
    EXPECT_EQ(reader->respond(ByteView(battery).first(4), *peer), 0u);
    EXPECT_TRUE(peer->sent.empty());
    // Garbage ahead of two frames is skipped; a command without a row gets no answer.
    const Bytes stream = concat({{0x55, 0x03}, battery, request(OrvRfidCmdId::getRegion)});
    EXPECT_EQ(reader->respond(stream, *peer), stream.size());
    ASSERT_EQ(peer->sent.size(), 1u);
    EXPECT_EQ(peer->sent[0].bytes,
              SimVk210::replyFrame(OrvRfidCmdId::batteryStatus, 0x00, Bytes{0x00, 80}));
    EXPECT_EQ(reader->requests(), (std::vector<SimReader::Key>{0xF082, 0x0100}));
    EXPECT_EQ(reader->requestCount(0x0100), 1);
}

TEST_F(SimVk210Test, ReplyFaultsMakeRepliesLateOrWrongForTheirCount) {
    reader->setReplyFaults({std::chrono::milliseconds(900), 0x81, 1});
    reader->respond(request(OrvRfidCmdId::serialNumber), *peer);
    reader->respond(request(OrvRfidCmdId::serialNumber), *peer);
    ASSERT_EQ(peer->sent.size(), 2u);
    const Bytes serial{'S', 'I', 'M', '2', '1', '0', '-', '0', '0', '0', '1'};
    EXPECT_EQ(peer->sent[0].bytes, SimVk210::replyFrame(OrvRfidCmdId::serialNumber, 0x81, serial));
    EXPECT_EQ(peer->sent[0].delay, std::chrono::milliseconds(900));
    EXPECT_EQ(peer->sent[1].bytes, SimVk210::replyFrame(OrvRfidCmdId::serialNumber, 0x00, serial));
    EXPECT_EQ(peer->sent[1].delay, Clock::duration::zero());
}

TEST_F(SimVk210Test, TagAccessAnswersAtOnceAndReportsTheOutcomeLater) {
    reader->setTags(makeSimTags(2));
    // Read 2 words of the TID from word 1, then write 1 word of user memory at word 0.
    const Bytes password{0, 0, 0, 0};
    reader->respond(request(OrvRfidCmdId::read, concat({password, {0x02, 0x00, 0x01, 0x02}})),
                    *peer);
    reader->respond(
        request(OrvRfidCmdId::write, concat({password, {0x03, 0x00, 0x00, 0x01, 0xBE, 0xEF}})),
        *peer);
    // Past the end of the bank.
    reader->respond(request(OrvRfidCmdId::read, concat({password, {0x02, 0x00, 0x04, 0x02}})),
                    *peer);
    ASSERT_EQ(peer->sent.size(), 6u);
    EXPECT_EQ(peer->sent[0].bytes, SimVk210::replyFrame(OrvRfidCmdId::read, 0x00));
    EXPECT_EQ(peer->sent[1].bytes,
              SimVk210::eventFrame(OrvRfidCmdId::tagAccessData,
                                   Bytes{0x00, 0x82, 0x00, 0x11, 0x05, 0x20, 0x00}));
    EXPECT_GT(peer->sent[1].delay, Clock::duration::zero());
    EXPECT_EQ(peer->sent[3].bytes,
              SimVk210::eventFrame(OrvRfidCmdId::tagAccessData, Bytes{0x00, 0x83, 0x00}));
    EXPECT_EQ((*reader->tags())[0].user[0], 0xBE);
    EXPECT_EQ((*reader->tags())[0].user[1], 0xEF);
    EXPECT_EQ(peer->sent[5].bytes,
              SimVk210::eventFrame(OrvRfidCmdId::tagAccessData, Bytes{0x00, 0x82, 0x83}));
}

TEST_F(SimVk210Test, EventsOnDemandGoThroughTheNewestLink) {
    EXPECT_FALSE(reader->sendKey(true, true));
    reader->linkOpened(*peer);
    EXPECT_TRUE(reader->sendKey(true, true));
    EXPECT_TRUE(reader->sendSystemError(2));
    EXPECT_EQ(peer->streamed,
              concat({SimVk210::eventFrame(OrvRfidCmdId::eventNotificationKeyEventStatus,
                                           Bytes{0x01, 0x01}),
                      Bytes{0x02, 0x00, 0x05, 0x00, 0xD1, 0x02, 0xFF, 0x28, 0x03}}));
}

// Two links ask for an inventory at once: the stream one of them starts while the other is
// between its stop of the stream before and its own start (held there in the stream filter,
// which runs outside the reader's lock) ends before the other's takes its place. A running
// stream thread is never replaced.
TEST_F(SimVk210Test, TwoLinksStartingStreamsAtOnceNeverReplaceARunningStream) {
    reader->setTags(makeSimTags(1));
    test::Gate filter;
    filter.close();
    std::atomic<bool> first{true};
    reader->setStreamFilter([&](const SimTag&) {
        if (first.exchange(false)) filter.pass();
        return true;
    });
    SimStreamPlan plan;
    plan.report = [](Bytes& out, const SimTag&, std::size_t) { out.push_back(0x5A); };
    auto heldLink = std::make_shared<StreamLink>();
    auto otherLink = std::make_shared<StreamLink>();
    std::thread held([&] { reader->startStream(*heldLink, plan); });
    // On every way out the held start goes on and is joined.
    const std::shared_ptr<void> joins(nullptr, [&](void*) {
        filter.open();
        if (held.joinable()) held.join();
    });
    ASSERT_TRUE(test::waitUntil([&] { return filter.waiting() == 1; }));
    reader->startStream(*otherLink, plan);
    EXPECT_TRUE(reader->isStreaming());
    filter.open();
    held.join();
    // The held link's stream runs in the other's place: it streams, and one stop ends it.
    EXPECT_TRUE(reader->isStreaming());
    EXPECT_TRUE(test::waitUntil([&] { return heldLink->streamed.load() > 0; }));
    EXPECT_TRUE(reader->stopStream());
    EXPECT_FALSE(reader->isStreaming());
    EXPECT_FALSE(reader->stopStream());
}

}  // namespace
}  // namespace orvane
