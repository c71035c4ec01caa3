#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/link/ReceiveLoop.h"
#include "orvanerfid/platform/Dispatch.h"

namespace orvane {

// An event from a protocol object or from the layers that pump events into one; defined with
// the command vocabulary.
class ProtocolEventArgs;

// What a send returns: 0x0000 with the reply bytes, or the failure and no bytes.
class Response {
  public:
    Response(ResultCode resultCode, std::optional<Bytes> data)
        : resultCode_(resultCode), data_(std::move(data)) {}

    ResultCode resultCode() const { return resultCode_; }
    const std::optional<Bytes>& data() const { return data_; }

  private:
    ResultCode resultCode_;
    std::optional<Bytes> data_;
};

// Receives the unsolicited events of a protocol object (the device adopts it).
class BaseProtocolDelegate {
  public:
    virtual ~BaseProtocolDelegate() = default;
    virtual void protocolEvent(const ProtocolEventArgs& protocolEventArgs) = 0;
    // A receive loop is starting (on the thread that starts it): what this answers names the loop
    // to the two calls below.
    virtual uint64_t receiveStarting() { return 0; }
    // The receive loop named `loop` ended and has delivered its last events (on the delivering
    // thread, the receive thread as a rule); every loop started finishes once while the protocol
    // lives.
    virtual void receiveFinished(uint64_t /*loop*/) {}
    // `count` tag reports were parsed by the receive loop named `loop`, which has since been
    // stopped or replaced, and are dropped without reaching `protocolEvent` (on the delivering
    // thread, before that loop's `receiveFinished`).
    virtual void endedTagReports(uint64_t /*loop*/, std::size_t /*count*/) {}
};

// The per-reader protocol object between a device and its transport: one write path with its
// mapping of outcomes to result codes, the receive loop's runner, and what every reader model
// supplies (the two sends, start, pumped events).
//
// Threads: sends run on the caller's thread; each model keeps its sends apart with its own send
// lock for the whole exchange, reply wait included. The receive loop runs on the model's own
// queue through `ReceiveLoop` (one work item per start, testing its own item, the protocol held
// weakly, so create protocols with std::make_shared), rests on the transport's arrival signal,
// and calls the delegate (held weakly) on the receive thread after each turn, in arrival order,
// with no lock of the library held; whatever the delegate throws is logged and dropped. A
// delegate must not wait there for a reply. Neither send nor `write` throws. A send waiting for
// its reply ends with 0x6006 soon after the transport disconnects.
//
// The replies of a send pass through two threads: the transport's read thread and this
// protocol's receive thread. A send made on either of them (a log sink runs there, a delegate
// too) would wait for itself, for its reply or for the send ahead of it. One made on another
// reader's would hold that reader's link while it waits, and two readers whose link threads
// call each other at once would each wait for the other (a send lock shared across readers
// adds a third way). So the send of every model, made on the receive or read thread of any
// reader, refuses at once with 0x4002 (`refusedOnLinkThread`), sending nothing and taking no
// lock, so no send there waits for a reply or a send lock (a model's `start` and `stop` may
// still wait for the send in flight of their own protocol). `onAnyLinkThread` is the one test
// of it, for the layers above as well.
class BaseProtocol : public std::enable_shared_from_this<BaseProtocol> {
  public:
    static constexpr int defaultTimeout = 3000;
    // Whether the calling thread holds a protocol's send turn: work that waits for sends to end
    // (closing a link) must not run on it.
    static bool holdsSendTurn();
    // Whether the caller is a delegate on this protocol's receive thread.
    bool inReceiveDelivery() const { return receiveLoop_.inDelivery(); }
    // Whether the calling thread runs this protocol's receive loop (its turns, its deliveries,
    // and the log records they write).
    bool receivesOnThisThread() const { return receiveLoop_.runsOnThisThread(); }
    // Whether the calling thread is this protocol's receive thread or its transport's read
    // thread: a call there that waits for a reply would wait for itself. Thread-local compares.
    bool onLinkThread() const {
        return receivesOnThisThread() || (transport_ && transport_->readsOnThisThread());
    }
    // Whether the calling thread is the receive thread of any protocol or the read thread of any
    // transport, whatever the reader or its model: a call there that would wait for a reply, or
    // for a lock held across one, is refused. Thread-local reads.
    static bool onAnyLinkThread();
    // The reason given for such a refusal: "Called on the reader's own receive or read thread"
    // (`own`, or on this protocol's link threads), or "Called on another reader's receive or read
    // thread".
    std::string_view linkThreadRefusal() const { return linkThreadRefusal(onLinkThread()); }
    static std::string_view linkThreadRefusal(bool own);
    // Notes, while it lives, whether the thread that made it tries to write to a reader: the
    // flag turns true at the first write. Lets an operation tell a refusal made before anything
    // was sent from a failed exchange.
    class WriteWatch {
      public:
        explicit WriteWatch(std::atomic<bool>& wrote);
        ~WriteWatch();
        WriteWatch(const WriteWatch&) = delete;
        WriteWatch& operator=(const WriteWatch&) = delete;

      private:
        std::atomic<bool>* previous_;
    };
    // The fixed timeout of every write, whatever the send's own timeout.
    static constexpr int writeTimeout = 3000;
    // The longest rest of a receive loop between turns when no byte arrives (it also bounds how
    // late a stalled partial frame is noticed).
    static constexpr Clock::duration receiveRest = std::chrono::milliseconds(100);

    BaseProtocol(const BaseProtocol&) = delete;
    BaseProtocol& operator=(const BaseProtocol&) = delete;
    virtual ~BaseProtocol();

    const std::string& className() const { return className_; }
    const std::shared_ptr<BaseTransport>& transport() const { return transport_; }
    std::shared_ptr<BaseProtocolDelegate> delegate() const;
    void setDelegate(std::weak_ptr<BaseProtocolDelegate> delegate);

    // Writes all of `data` through the transport: 0x0000 when every byte was written, 0x0001
    // when fewer were, the transport's code when it throws a ReaderException (0x6006, 0x4003,
    // 0x7000), 0x0001 after the ERROR line "post error: ..." for any other error.
    virtual ResultCode write(ByteView data);

    // Writes one request and waits up to `timeout` ms for its reply: 0x0000 with the reply,
    // the write's non-zero code, 0x6006 when the link drops during the wait, or 0x7000; 0x4002,
    // nothing sent, when called on any reader's link thread (`onAnyLinkThread`).
    virtual Response send(ByteView data, int timeout) = 0;
    // Writes one or more requests together and collects `number` replies within `timeout` ms.
    virtual Response send(ByteView data, int timeout, int number) = 0;
    // Clears the receive buffers and launches a new receive loop; true.
    virtual bool start() = 0;
    // Asks the receive loop to end (it ends at its next test of its own work item) and wakes it.
    virtual void stop();
    // Handles an event pumped in from outside; the base ignores every event.
    virtual void pumpEvent(const ProtocolEventArgs& event);

    // Receive loops started and not yet ended.
    int receiveLoopsRunning() const { return receiveLoop_.loopsRunning(); }
    // Tag reports the receive loops have parsed for the delegate since this object was made. Each
    // is counted once through `endedTagReports`, or else reaches `protocolEvent`: one whose loop
    // was stopped or replaced before its delivery, or that a model drops as void there (a Vk210
    // buffer reset), is counted and never reaches it; one delivered while its loop is stopped
    // reaches it and, when the delegate drops it there as an ended loop's
    // (`ReceiveLoop::dropOnEndedLoop`), is counted as well. So the reports parsed are those
    // counted plus those that reached `protocolEvent` and were not dropped there.
    uint64_t tagReportsParsed() const { return tagReports_.load(std::memory_order_relaxed); }
    bool isReceiving() const { return receiveLoop_.isRunning(); }

  protected:
    // The answer of a send refused on the calling thread (`onAnyLinkThread`): the ERROR record
    // "<operation> - Called on the reader's own receive or read thread" (on another reader's:
    // "... - Called on another reader's receive or read thread") and 0x4002, no data.
    Response refusedOnLinkThread(std::string_view operation) const;

    // Marks the calling thread as holding a send turn while it lives.
    class SendTurnMark {
      public:
        SendTurnMark();
        ~SendTurnMark();
        SendTurnMark(const SendTurnMark&) = delete;
        SendTurnMark& operator=(const SendTurnMark&) = delete;
    };

    // A lock granted in the order it was asked for, so a `start` waiting for it is never passed
    // by sends asked for later. A taker that is a delegate on the receive thread keeps the loop
    // turning while it waits (`whileWaiting`), so the send it waits behind gets its reply.
    class FairLock {
      public:
        void lock(const std::function<void()>& whileWaiting);
        void unlock();

      private:
        std::mutex lock_;
        std::condition_variable turn_;
        uint64_t next_ = 0;
        uint64_t serving_ = 0;
    };

    BaseProtocol(std::string className, std::shared_ptr<BaseTransport> transport,
                 std::shared_ptr<DispatchQueue> receiveQueue);

    // Replaces any earlier receive loop (waiting for it to end) with a new one on the receive
    // queue. Its turns call `receiveTurn` and its end `receiveEnded`, both under the runner's
    // turn lock; it rests on the transport's arrival signal for at most `receiveRest`. An ERROR
    // line and no loop when the protocol is not held by a std::shared_ptr. `prepare` runs after
    // the earlier loop ended and before the new one starts (clearing the buffers there leaves
    // none for a replaced loop to refill).
    void launchReceiveLoop(std::function<void()> prepare = {});
    // One turn of the receive loop; false ends it.
    virtual bool receiveTurn(const DispatchWorkItem& self) = 0;
    // The loop ended; `current` is false when a newer loop replaced it.
    virtual void receiveEnded(bool current) = 0;

    // From a turn: queues a call into the application (`application`) or library work that
    // keeps its place behind the calls (see ReceiveLoop::defer).
    void deliverLater(std::function<void()> call, bool application = true) {
        receiveLoop_.defer(std::move(call), application);
    }
    // The same for the call that raises one tag report: dropped and counted when its loop has
    // been stopped or replaced before its turn (see ReceiveLoop::defer).
    void deliverTagLater(std::function<void()> call) {
        tagReports_.fetch_add(1, std::memory_order_relaxed);
        receiveLoop_.defer(std::move(call), true, ReceiveLoop::IfEnded::count);
    }
    // The same for a call that only means something to the connection of its loop (a reply,
    // the state of that connection's inventory): dropped when its loop has been stopped or
    // replaced before its turn.
    void deliverWhileLive(std::function<void()> call, bool application = true) {
        receiveLoop_.defer(std::move(call), application, ReceiveLoop::IfEnded::drop);
    }
    // From such a call that does not raise its tag report after all: counted with those of
    // stopped loops (see ReceiveLoop::dropTagReport).
    void dropTagReport() { receiveLoop_.dropTagReport(); }
    // Runs the queued calls now, outside any turn (see ReceiveLoop::deliver).
    void deliverQueued() { receiveLoop_.deliver(); }
    // The wait of a `FairLock` taker: keeps the receive loop turning when called from a delegate.
    void keepReceiving() { receiveLoop_.turnFromDelivery(); }
    // The transport's count of ended links, which a send notes before it writes.
    uint64_t linkEnds() const;
    // Whether the link on which `linkEnds()` was `ends` has ended (a waiting send gives up), also
    // when the next link has come up since.
    bool linkDropped(uint64_t ends) const;
    // Calls the delegate with `event`, logging at ERROR whatever it throws.
    void notify(const std::shared_ptr<BaseProtocolDelegate>& target,
                const ProtocolEventArgs& event) const;

  private:
    const std::string className_;
    const std::shared_ptr<BaseTransport> transport_;
    mutable std::mutex delegateLock_;
    std::weak_ptr<BaseProtocolDelegate> delegate_;
    std::atomic<uint64_t> tagReports_{0};
    ReceiveLoop receiveLoop_;
};

}  // namespace orvane
