#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/commands/STPacket.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/ReplyQueue.h"
#include "orvanerfid/link/Vk640Indicator.h"

namespace orvane {

// The protocol object of the Vk640 reader, which speaks ST25RU3993 host packets: requests are
// written and their replies matched by group, subcode and TLV tag; inventory data packets become
// tag reports; the reader's own notifications (battery, temperature, trigger key) become
// protocol events; and while an inventory runs it drives the reader's beeper, vibrator and
// display itself.
//
// Threads:
// - Sends run on the caller's thread. Every send of every Vk640Protocol in the process holds one
//   process-wide send lock for the whole exchange, its wait included, so one slow reader delays
//   the sends of the others. A send waits on the reply queue, woken when the receive loop queues
//   a packet. A send made on the receive or read thread of any reader, of either model, is
//   refused at once (0x4002, nothing sent, the lock not taken; see BaseProtocol): the lock may
//   be held by a send waiting for that very thread.
// - The receive loop runs on "com.orvane.vk640Protocol", one loop per `start()`. It calls the
//   delegate (held weakly) on its thread after each turn, in arrival order, with no lock of the
//   library held (whatever the delegate throws is logged and dropped), and writes the indicator
//   and display packets there without the send lock; the transport keeps writes whole. A reply
//   is queued for the sends after the events of the packets before it and of its own packet.
// - A send waiting for its reply ends with 0x6006 soon after the transport disconnects.
// - `pumpEvent` may come from any thread; the indicator state sits behind its own mutex, the
//   receive gain and the start-up flag are atomics.
// Create instances with std::make_shared (the receive loop holds the protocol weakly).
class Vk640Protocol : public BaseProtocol {
  public:
    explicit Vk640Protocol(std::shared_ptr<BaseTransport> transport);
    ~Vk640Protocol() override;

    // Writes one request packet and waits up to `timeout` ms for the first queued packet that
    // answers it: 0x0000 with that packet serialised again (a new sequence number), the write's
    // code, 0x5002 for bytes that are no packet (nothing written), 0x6006 when the link drops
    // during the wait, or 0x7000. Replies queued before the write that would answer it are dropped
    // first: they answered an earlier request. 0x4002, nothing sent, on any reader's link thread
    // (`onAnyLinkThread`).
    Response send(ByteView data, int timeout) override;
    // Writes several request packets laid end to end in one write and collects `number` replies,
    // each answering a different request, within `timeout` ms: 0x0000 with the replies' bytes
    // joined in arrival order, the write's code, 0x5002 for a `number` outside 0-255, 0x6006 when
    // the link drops, or 0x7000. `number` 0 succeeds right after the write, with no data. 0x4002,
    // nothing sent, on any reader's link thread (`onAnyLinkThread`).
    Response send(ByteView data, int timeout, int number) override;
    // Empties the receive buffers and the reply queue, forgets that the start-up had finished,
    // and launches a new receive loop; true.
    bool start() override;
    // skuType and macAddress go on to the delegate; gValue sets the receive gain; tagsIndicator
    // the indicator settings; resetIndicator restarts the inventory feedback; initialFinished
    // lets inventory data through. An event without a value of its kind changes nothing (ERROR).
    void pumpEvent(const ProtocolEventArgs& event) override;

    // Appends a packet to the reply queue.
    void enqueueReceivedPacket(STPacket packet);

    // Beeps and, or vibrates (as the indicator settings say) and shows `text` on display line 2
    // from `position`, in one write; the display part only on firmware 1.01.09 or later.
    void triggerIndicator(const std::string& text, uint8_t position);
    // Shows `text` alone, on firmware 1.01.09 or later.
    void displayOutput(const std::string& text, uint8_t position, uint8_t line);

    // The inventory feedback settings, as the device reports them.
    bool indicatorVibrator() const;
    bool indicatorBeeper() const;
    bool indicatorReadOnce() const;
    double gValue() const;
    bool initialFinished() const;

    // Sorts one whole packet as the receive loop does (inventory data, device-group
    // notifications, replies) and delivers its events on the calling thread. Throws
    // STPacketError for a packet that cannot be sorted.
    ORVANE_INTERNAL void handlePacket(STPacket packet);
    ORVANE_INTERNAL const Vk640Indicator& indicatorState() const { return indicator_; }
    ORVANE_INTERNAL std::size_t queuedReplies() const { return replies_.count(); }
    // Packets the receive loops have cut since this object was made.
    ORVANE_INTERNAL uint64_t packetsCut() const { return packetsCut_.load(); }

  protected:
    ORVANE_INTERNAL bool receiveTurn(const DispatchWorkItem& self) override;
    ORVANE_INTERNAL void receiveEnded(bool current) override;

  private:
    // The one lock of every send of every Vk640Protocol.
    ORVANE_INTERNAL static std::mutex& sendLock();

    // Sorts a packet, queuing its events and reply for delivery after the turn.
    ORVANE_INTERNAL void sortPacket(STPacket packet);
    ORVANE_INTERNAL void decodeInventory(const STPacket& packet);
    ORVANE_INTERNAL void writeIndicator(const Vk640IndicatorOutput& output);
    // Moves what the transport holds now into the receive buffer, without waiting for more;
    // false when nothing came or `self`, the loop's own item, is stopped.
    ORVANE_INTERNAL bool takeReceived(const DispatchWorkItem& self);
    // `self` is the receive loop's own item: once it is stopped, nothing more is cut and the
    // buffer is dropped.
    ORVANE_INTERNAL void cutPackets(const DispatchWorkItem& self);
    // Cuts the complete packets at the head of the buffer and drops the bytes that start none.
    ORVANE_INTERNAL void cutBuffered(const DispatchWorkItem& self);

    ReplyQueue<STPacket> replies_;
    Vk640Indicator indicator_;
    std::atomic<double> gValue_{0.0};
    std::atomic<bool> initialFinished_{false};

    // Bytes not yet cut into packets, and when the last byte arrived. Touched only by the turns
    // of the receive loop (one at a time); `start` asks for the buffer to be emptied.
    Bytes buffer_;
    Clock::time_point lastReceive_;
    std::atomic<bool> resetBuffer_{true};
    std::atomic<uint64_t> packetsCut_{0};
};

}  // namespace orvane
