#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "orvanerfid/core/ByteQueue.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/EventArgs.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/link/AnnouncedBanks.h"
#include "orvanerfid/link/TransportDelegate.h"
#include "orvanerfid/platform/Clock.h"

namespace orvane {

// The byte pipe between one reader's protocol object and the reader: the received-byte queue,
// the connection state, and blocking reads and writes with a timeout in milliseconds.
//
// Threads: the state is an atomic. Every assignment is reported to the delegate (held weakly;
// during a hand-over, to the delegate being replaced), with the number of the connection it is
// about (`linkNumber()` then), on the assigning thread, in assignment order, and never while a
// transport lock is held, so a delegate may call `connect()` or `disconnect()` from inside the
// report; reports raised by such a nested call are delivered after the current one returns.
// `byteQueue()` and `announcedBanks()` have their own locks.
class BaseTransport {
  public:
    static constexpr int defaultTimeout = 3000;

    BaseTransport(const BaseTransport&) = delete;
    BaseTransport& operator=(const BaseTransport&) = delete;
    virtual ~BaseTransport() = default;

    // Transports constructed in this process.
    static int64_t instanceCount() { return instanceCount_.load(); }

    const std::string& className() const { return className_; }

    std::shared_ptr<TransportDelegate> delegate() const;
    void setDelegate(std::weak_ptr<TransportDelegate> delegate);
    // Whether `candidate` is the delegate. Compares ownership only: no delegate is held (and
    // perhaps released) by the test, so it may run under a transport lock.
    bool isDelegate(const std::shared_ptr<TransportDelegate>& candidate) const;

    // Received bytes not yet read.
    ByteQueue& byteQueue() { return byteQueue_; }
    // The banks announced for the reader's tag accesses, by which the dumps of received bytes
    // tell what an access outcome may show. Guards itself.
    const std::shared_ptr<AnnouncedBanks>& announcedBanks() const { return announcedBanks_; }

    // Waits until received bytes are queued, the connection state changes, `wakeReceivers()` is
    // called, or `maxWait` of clock time has passed; `stop()` is tested under the signal's lock
    // first, so a waker that sets what it tests before calling `wakeReceivers()` is never
    // missed. Returns true when bytes are queued. Used by blocking reads and receive loops in
    // place of fixed sleeps; a transport that never signals only makes them wait `maxWait`.
    template <typename Stop>
    bool waitForReceived(Clock::duration maxWait, Stop stop) {
        std::unique_lock lock(signalLock_);
        const uint64_t seen = signals_;
        Clock::waitFor(received_, lock, maxWait,
                       [&] { return stop() || signals_ != seen || byteQueue_.count() > 0; });
        return byteQueue_.count() > 0;
    }
    bool waitForReceived(Clock::duration maxWait) {
        return waitForReceived(maxWait, [] { return false; });
    }
    // Wakes every waiter of `waitForReceived`.
    void wakeReceivers();

    ConnectType connectType() const { return connectType_; }
    ConnectState connectState() const { return connectState_.load(); }
    // How many times the state has turned Disconnected: work bound to one link tests it to
    // know that its link has ended, whatever link came up since.
    uint64_t linkEnds() const { return linkEnds_.load(); }
    // Logs, stores (also an unchanged state) and reports the state to the delegate.
    void setConnectState(ConnectState state);

    // The reader model behind the transport; the base knows none.
    virtual DeviceType deviceType() const { return DeviceType::unknown; }
    virtual std::string deviceName() const { return deviceNameField(); }
    virtual std::string serialNumber() const { return {}; }
    virtual std::string firmwareRevision() const { return {}; }

    // Whether the calling thread is this transport's read thread (one that moves received bytes
    // into the byte queue). A call there that waits for a reply waits for itself.
    bool readsOnThisThread() const { return readingOnThisThread() == this; }
    // The transport whose read loop runs on the calling thread, if any (a thread-local).
    static const BaseTransport* readingOnThisThread();

    // Connects; true when connected afterwards. Blocks the caller; never throws.
    virtual bool connect() = 0;
    // Connects for `owner`: false, doing nothing, when `owner` is not the delegate. A transport
    // that changes hands makes the test and the connect one step.
    virtual bool connectFor(const std::shared_ptr<TransportDelegate>& owner);
    // Disconnects; true when disconnected afterwards. Blocks the caller; never throws.
    virtual bool disconnect() = 0;
    // The number of the current (or last) connection: raised by every connect that tries to open
    // one, before its Connecting, 0 before the first. Work that may end a connection notes it
    // when it starts.
    uint64_t linkNumber() const { return links_.load(); }
    // Disconnects connection number `link` only: true, doing nothing, when that connection has
    // already ended, so work of an ended connection never ends the next one. The base tests and
    // disconnects in two steps; a transport whose connect may run meanwhile makes them one.
    virtual bool disconnectLink(uint64_t link) { return link != linkNumber() || disconnect(); }
    // Moves `length` received bytes into `data` from `offset`, waiting up to `timeout` ms.
    virtual int read(std::span<uint8_t> data, int offset, int length, int timeout) = 0;
    // Writes `length` bytes of `data` from `offset`, waiting up to `timeout` ms; returns the
    // number written.
    virtual int write(ByteView data, int offset, int length, int timeout) = 0;

    std::string deviceNameField() const;
    void setDeviceNameField(std::string name);
    std::string macAddress() const;
    void setMacAddress(std::string address);
    std::string bluetoothName() const;
    void setBluetoothName(std::string name);

  protected:
    explicit BaseTransport(std::string className);

    // Marks the calling thread as the read thread of `transport` while it lives.
    class ReadThreadMark {
      public:
        explicit ReadThreadMark(const BaseTransport* transport);
        ~ReadThreadMark();
        ReadThreadMark(const ReadThreadMark&) = delete;
        ReadThreadMark& operator=(const ReadThreadMark&) = delete;

      private:
        const BaseTransport* outer_;
    };

    // Logs and stores the state and queues its report; the caller delivers the queued reports
    // with `deliverStateReports()` once it holds no lock.
    void assignConnectState(ConnectState state);
    // The same, reporting to `reportTo` instead of the delegate.
    void assignConnectState(ConnectState state, std::weak_ptr<TransportDelegate> reportTo);
    // Clears the delegate and returns the one it held.
    std::weak_ptr<TransportDelegate> releaseDelegate();
    void deliverStateReports();
    // Queues received bytes and wakes the waiters.
    void receive(ByteView bytes);
    // A connection is being opened: raises `linkNumber()`.
    void noteLinkOpened() { links_.fetch_add(1); }

    // Refuses (0x5002, with the ERROR line of `operation`) a buffer that cannot hold `length`
    // bytes from `offset`, and a negative offset.
    void checkReadBuffer(std::span<uint8_t> data, int offset, int length,
                         std::string_view operation) const;

  private:
    struct StateReport {
        std::weak_ptr<TransportDelegate> delegate;
        ConnectState state;
        // The connection the state is about: a connect raises the number before it assigns
        // Connecting, and every state up to the next connect is about that connection.
        uint64_t link;
    };

    static std::atomic<int64_t> instanceCount_;

    const std::string className_;
    mutable std::mutex fieldsLock_;
    std::weak_ptr<TransportDelegate> delegate_;
    std::string deviceName_;
    std::string macAddress_;
    std::string bluetoothName_;
    ByteQueue byteQueue_;
    const std::shared_ptr<AnnouncedBanks> announcedBanks_ = std::make_shared<AnnouncedBanks>();
    const ConnectType connectType_;
    std::atomic<ConnectState> connectState_{ConnectState::disconnected};
    std::atomic<uint64_t> links_{0};
    std::atomic<uint64_t> linkEnds_{0};

    // Signals arrivals and state changes to `waitForReceived`.
    std::mutex signalLock_;
    std::condition_variable received_;
    uint64_t signals_ = 0;

    std::mutex reportsLock_;
    std::deque<StateReport> pendingReports_;
    bool delivering_ = false;
};

}  // namespace orvane
