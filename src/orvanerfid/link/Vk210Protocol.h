#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Queue.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/link/AnnouncedBanks.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/ReplyQueue.h"

namespace orvane {

// The protocol object of the Vk210 reader, whose link carries command frames
// (0x02, length, command code, data, checksum, 0x03). A reply answers the request with the same
// 16-bit command code.
//
// Threads and locks:
// - `send` (both forms), `start` and `stop` take the send lock for their whole run, a send for
//   its whole wait: one exchange of one reader is in flight at a time, and `stop` waits for it.
//   The lock is granted in the order asked for. Sends block their caller and wait on the reply
//   queue, woken when the receive loop queues a frame. On the receive or read thread of any
//   reader, of either model, a send is refused at once, the lock not taken (see BaseProtocol):
//   a delegate or log sink there hands sending work to a queue.
// - The receive loop runs on "com.orvane.vk210Protocol" (one loop per start, see BaseProtocol),
//   never takes the send lock in its turns, and calls the delegate on its thread after each
//   turn, without any lock of this object held, so a delegate may call `pumpEvent`, `start` or
//   `stop`; one that waits there for the send lock keeps the loop turning, so the send in
//   flight still gets its reply.
// - `pumpEvent` runs on the caller's thread. The received-bytes buffer is behind `recLock_`,
//   the codes the exchange in flight awaits behind `awaitedLock_`; the reply and bank queues
//   have their own locks.
// Create with std::make_shared: the receive loop holds the protocol weakly.
class Vk210Protocol : public BaseProtocol {
  public:
    // An announced bank is usable while younger than this.
    static constexpr Clock::duration bankItemLifetime = AnnouncedBanks::lifetime;
    // A partial frame waits this long for its next byte before it is taken for a false start:
    // its first byte is dropped and the rest cut again.
    static constexpr Clock::duration stallLimit = std::chrono::milliseconds(1000);

    explicit Vk210Protocol(std::shared_ptr<BaseTransport> transport);
    ~Vk210Protocol() override;

    // Writes one request frame and waits up to `timeout` ms for the reply with its command code:
    // 0x0000 with the whole reply frame, the write's non-zero code, 0x0001 when the bytes are no
    // frame, 0x6006 when the link drops during the wait, or 0x7000. Queued replies with the
    // request's code are dropped first, so a reply that came late for an earlier request never
    // answers this one. 0x4002, nothing sent, on any reader's link thread (`onAnyLinkThread`).
    Response send(ByteView data, int timeout) override;
    // Writes several request frames at once and collects `number` replies, each answering one
    // request of its code, within `timeout` ms: 0x0000 with the reply frames joined in the order
    // they were matched (no data for `number` 0), 0x4003 for `number` outside 0-255, the write's
    // code, 0x0001, 0x6006 when the link drops during the wait, or 0x7000; 0x4002, nothing
    // sent, on any reader's link thread.
    Response send(ByteView data, int timeout, int number) override;
    // Clears the received bytes and replies and launches a new receive loop (after the earlier
    // one, if any, has ended); true.
    bool start() override;
    void stop() override;
    // resetBuffer drops what the reader sent that nobody waits for: the tag reports parsed and
    // not yet raised (counted as a stopped loop's) and the queued replies the exchange in flight
    // does not wait for. The bytes not yet cut, the reply of the exchange in flight, the outcome
    // of a tag access and the reader's other reports are kept, so an operation under way still
    // gets its answer, once. accessBankType announces the bank of a coming tag access, here and
    // to the transport's dumps; setEngineReadyEvent and skuType go to the delegate unchanged;
    // anything else is ignored.
    void pumpEvent(const ProtocolEventArgs& event) override;

    // Replies queued for the sends.
    std::size_t queuedReplies() const { return replies_.count(); }
    // Announces a bank as of `at` (pumpEvent announces as of now), also to the transport's
    // AnnouncedBanks, which a reset leaves as they are: an outcome still on its way must not
    // take the bank of a later access there.
    void announceBank(BankType bank, Clock::time_point at);

  protected:
    bool receiveTurn(const DispatchWorkItem& self) override;
    void receiveEnded(bool current) override;
    // Moves the bytes the transport holds now into the buffer, without waiting for more; none
    // once `self`, the loop's own item, is stopped. Virtual so that a test can act between a
    // turn's take and its cut, where nothing else of the turn calls out.
    virtual void readTransport(const DispatchWorkItem& self);

  private:
    struct FrameSpan {
        std::size_t offset;
        std::size_t length;
    };

    // Cuts every complete frame buffered into `work_`/`frames_`, none once `self` (the loop's
    // own item) is stopped; returns the reset epoch seen.
    uint64_t cutFrames(const DispatchWorkItem& self);
    // Queues the frame's events and then its reply, as of reset epoch `epoch`.
    void dispatch(ByteView frame, const std::shared_ptr<BaseProtocolDelegate>& delegate,
                  uint64_t epoch);
    std::optional<BankType> takeBank();
    void clearBuffers();
    void purgeStale(uint16_t code, std::string_view operation);

    // The command codes whose replies the exchange in flight waits for, while it lives.
    struct AwaitedReplies {
        AwaitedReplies(Vk210Protocol& protocol, std::vector<uint16_t> codes);
        ~AwaitedReplies();
        AwaitedReplies(const AwaitedReplies&) = delete;
        AwaitedReplies& operator=(const AwaitedReplies&) = delete;
        Vk210Protocol& protocol;
    };

    // Holds the send lock for one exchange (or a start or stop).
    struct SendTurn {
        explicit SendTurn(Vk210Protocol& protocol);
        ~SendTurn();
        SendTurn(const SendTurn&) = delete;
        SendTurn& operator=(const SendTurn&) = delete;
        Vk210Protocol& protocol;
    };

    FairLock sendLock_;
    ReplyQueue<OrvaneRfidCommand> replies_;
    Queue<TimedBankTypeItem> bankItems_;

    // Received bytes not yet cut, with the time the last of them arrived.
    std::mutex recLock_;
    Bytes recBuffer_;
    Clock::time_point lastData_;
    // Raised by every start and stop and the end of a loop, so frames cut before it are not
    // dispatched after it.
    std::atomic<uint64_t> resetEpoch_{0};
    // Raised by every buffer reset: a tag report dispatched before it and not yet raised is
    // dropped.
    std::atomic<uint64_t> tagResets_{0};
    // The codes of `AwaitedReplies`, behind their own lock.
    std::mutex awaitedLock_;
    std::vector<uint16_t> awaited_;

    // Used by the receive loop only (its turns never overlap).
    Bytes readBuffer_;
    Bytes work_;
    std::vector<FrameSpan> frames_;
};

}  // namespace orvane
