#pragma once

// A transport the test feeds by hand and a delegate that records protocol events, for the
// protocol suites of both reader models.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/platform/TimeoutControl.h"
#include "support/TestSupport.h"

namespace orvane::test {

// Connected from the start; bytes reach the protocol through `feed`, writes are recorded and
// handed to `onWrite` (which may feed replies).
class FeedTransport : public BaseTransport {
  public:
    FeedTransport() : BaseTransport("FeedTransport") { setConnectState(ConnectState::connected); }

    std::function<void(ByteView written)> onWrite;
    // Above 0: `write` throws this code.
    ResultCode writeError = ResultCode::noError;
    // The reader's firmware revision; set before the protocol starts.
    std::string firmware;

    std::string firmwareRevision() const override { return firmware; }

    void feed(ByteView bytes) { receive(bytes); }

    bool connect() override {
        setConnectState(ConnectState::connected);
        return true;
    }
    bool disconnect() override {
        setConnectState(ConnectState::disconnected);
        return true;
    }
    int read(std::span<uint8_t> data, int offset, int length, int) override {
        return byteQueue().dequeue(data, offset, length);
    }
    int write(ByteView data, int offset, int length, int) override {
        if (writeError != ResultCode::noError) throw ReaderException(writeError, "");
        const ByteView bytes =
            data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
        {
            std::lock_guard guard(lock_);
            written_.insert(written_.end(), bytes.begin(), bytes.end());
            ++writes_;
        }
        if (onWrite) onWrite(bytes);
        return length;
    }
    Bytes written() const {
        std::lock_guard guard(lock_);
        return written_;
    }
    // Calls of `write`, empty ones included.
    int writeCount() const {
        std::lock_guard guard(lock_);
        return writes_;
    }

  private:
    mutable std::mutex lock_;
    Bytes written_;
    int writes_ = 0;
};

// A send waiting for its reply answers 0x6006 soon after its link ends, not at its 60 s budget;
// also when the next link is up before the send looks (it comes up inside the write): the reply
// of the ended link never comes. `send(number)` sends one request (number < 0) or two, awaiting
// `number` replies; `restart` starts the protocol again on the next link.
inline void expectADroppedLinkEndsAWaitingSend(FeedTransport& transport,
                                               const std::function<Response(int)>& send,
                                               const std::function<void()>& restart) {
    for (const bool nextLinkUp : {false, true}) {
        for (const int number : {-1, 2}) {
            SCOPED_TRACE(std::to_string(number) + (nextLinkUp ? ", next link up" : ""));
            std::atomic<bool> written{false};
            transport.onWrite = [&](ByteView) {
                if (nextLinkUp) {
                    transport.disconnect();
                    transport.connect();
                }
                written = true;
            };
            Response response(ResultCode::undefined, std::nullopt);
            std::thread sender([&] { response = send(number); });
            ASSERT_TRUE(waitUntil([&] { return written.load(); }));
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const Clock::time_point dropped = Clock::now();
            if (!nextLinkUp) transport.disconnect();
            sender.join();
            EXPECT_EQ(response.resultCode(), ResultCode::connectFailed);
            // Soon after the drop, not at the send's timeout.
            EXPECT_LT(Clock::now() - dropped, std::chrono::seconds(30));
            transport.connect();
            restart();
        }
    }
}

// A FeedTransport whose reads wait for their bytes as the accessory transport's do: up to their
// timeout for the whole length asked, taking what arrives meanwhile. A read held by `gate` waits
// there first, as a receive thread stalled between counting the bytes and reading them.
class WaitingTransport : public FeedTransport {
  public:
    Gate gate;

    int read(std::span<uint8_t> data, int offset, int length, int timeout) override {
        gate.pass();
        const TimeoutControl control(timeout);
        int total = 0;
        while (total < length) {
            if (connectState() != ConnectState::connected) {
                throw ReaderException(ResultCode::connectFailed, "");
            }
            if (byteQueue().count() == 0) {
                if (control.isTimeout()) throw ReaderException(ResultCode::timeout, "");
                waitForReceived(std::chrono::milliseconds(10));
                continue;
            }
            total += byteQueue().dequeue(data, offset + total, length - total);
        }
        return total;
    }
};

// The first exchange of a new link is answered although a turn of the loop it replaced was still
// under way: held (`transport.gate`) after it saw `leftover` queued, while the link ended and the
// next came up (which empties the queue). That turn takes none of the next link's bytes, and the
// replacing loop is not kept from turning. `start` starts the protocol on the next link;
// `exchange` makes the first exchange, whose reply `reply` is fed when it is written.
inline void expectAStalledTurnTakesNothingOfTheNextLink(WaitingTransport& transport,
                                                        BaseProtocol& protocol,
                                                        const Bytes& leftover, const Bytes& reply,
                                                        const std::function<bool()>& start,
                                                        const std::function<Response()>& exchange) {
    transport.gate.close();
    transport.feed(leftover);
    // Held at its read, or (reading only what is queued) past it with the bytes taken.
    ASSERT_TRUE(waitUntil(
        [&] { return transport.gate.waiting() == 1 || transport.byteQueue().count() == 0; }));
    // The link ends and the next comes up, its queue emptied, and the protocol starts on it; the
    // start stops waiting for a loop that does not end.
    transport.disconnect();
    protocol.stop();
    transport.byteQueue().clear();
    transport.connect();
    ASSERT_TRUE(start());
    transport.gate.open();
    transport.onWrite = [&](ByteView) { transport.feed(reply); };
    const Response response = exchange();
    transport.onWrite = nullptr;
    EXPECT_EQ(response.resultCode(), ResultCode::noError);
}

// A protocol whose receive turns wait at `turnStart` while it is closed: a turn held there has
// begun (its loop has tested its own item) and has taken nothing from the transport yet.
template <class Protocol>
class HeldTurns : public Protocol {
  public:
    using Protocol::Protocol;
    Gate turnStart;

  protected:
    bool receiveTurn(const DispatchWorkItem& self) override {
        turnStart.pass();
        return Protocol::receiveTurn(self);
    }
};

// A loop stopped while its turn is under way (held at the turn's start, past the loop's test of
// its own item) takes nothing from the transport's queue: what arrives there from now on may be
// the next connection's, here `next`.
template <class Protocol>
void expectAStoppedTurnTakesNothing(FeedTransport& transport, HeldTurns<Protocol>& protocol,
                                    const Bytes& next) {
    protocol.turnStart.close();
    // Opened on every way out, so the loop ends.
    const std::shared_ptr<void> opens(nullptr, [&](void*) {
        protocol.turnStart.open();
        EXPECT_TRUE(waitUntil([&] { return protocol.receiveLoopsRunning() == 0; }));
    });
    ASSERT_TRUE(protocol.start());
    ASSERT_TRUE(waitUntil([&] { return protocol.turnStart.waiting() == 1; }));
    protocol.stop();
    transport.feed(next);
    protocol.turnStart.open();
    ASSERT_TRUE(waitUntil([&] { return protocol.receiveLoopsRunning() == 0; }));
    EXPECT_EQ(transport.byteQueue().count(), static_cast<int>(next.size()));
}

// Records every event; `onEvent` runs inside the delivery, on the receive thread.
class EventRecorder : public BaseProtocolDelegate {
  public:
    std::function<void(const ProtocolEventArgs&)> onEvent;

    void protocolEvent(const ProtocolEventArgs& event) override {
        {
            std::lock_guard guard(lock_);
            events_.push_back(event);
        }
        if (onEvent) onEvent(event);
    }
    std::vector<ProtocolEventArgs> events() const {
        std::lock_guard guard(lock_);
        return events_;
    }
    std::size_t count() const {
        std::lock_guard guard(lock_);
        return events_.size();
    }
    int count(ProtocolEventId id) const {
        std::lock_guard guard(lock_);
        return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                              [id](const auto& e) { return e.id() == id; }));
    }
    // The tag reports, in delivery order.
    std::vector<TagInfoPtr> tags() const {
        std::lock_guard guard(lock_);
        std::vector<TagInfoPtr> out;
        for (const auto& e : events_) {
            if (const auto* tag = e.get<TagInfoPtr>()) out.push_back(*tag);
        }
        return out;
    }
    void clear() {
        std::lock_guard guard(lock_);
        events_.clear();
    }

  private:
    mutable std::mutex lock_;
    std::vector<ProtocolEventArgs> events_;
};

// A reply frame: status byte, then data.
inline Bytes replyFrame(OrvRfidCmdId id, uint8_t status, const Bytes& data = {}) {
    Bytes area{status};
    area.insert(area.end(), data.begin(), data.end());
    return OrvaneRfidCommand::frame(id, area);
}

inline Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

}  // namespace orvane::test
