#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/link/OrvaneDevice.h"
#include "orvanerfid/platform/Accessory.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/platform/Signal.h"

namespace orvane {

class FrameDumpMasker;

// The transport over an accessory session: a read loop moves every received byte into the
// byte queue, reads are served from that queue, writes go to the session's output stream. The
// queue keeps at most 4 MB that no reader takes; past that its oldest bytes are dropped, with
// one ERROR record a second at most giving the bytes dropped since the last.
//
// Threads and locks:
// - `connect` and `disconnect` block their caller and are serialised by `lock_`; the state
//   walk happens under it, and the state reports reach the delegate after it is released (a
//   delegate may call `connect` or `disconnect` from inside a report). `takeOver` clears the
//   delegate under `lock_` too, so `connectFor` never connects for a reader that has lost the
//   transport.
// - The read loop runs on "com.orvane.EATransport", one work item per successful connect. Each
//   loop tests its own work item and reads only the session it was started with, so a loop
//   left over from an earlier connection never reads beside the current one; it never takes
//   `lock_`.
// - The read loop rests until the input stream signals new bytes (at most 100 ms, the rest of a
//   stream that cannot signal), and drains the stream without pauses while bytes wait.
// - The read loop marks its thread (`readsOnThisThread`, a thread-local compare), so that a call
//   made there (by the log sink) that would wait for a reply, of this reader or any other, is
//   refused instead of waiting (see BaseProtocol).
// - `read` blocks the receive thread of a protocol object, waiting for the byte queue to fill.
// - `write` blocks its caller and holds `writeLock_` for the whole write, so two writers never
//   interleave their bytes on the stream.
// - The DEBUG dumps of written and read bytes show passwords and Reserved-bank data as "0x**";
//   each read loop keeps its own record of a frame cut between two reads. A Vk210 read
//   outcome's words show only when `announcedBanks()` names a bank other than Reserved for it.
// Made only inside a shared_ptr (`shared()`, or `create()` for a private instance): the read
// loop holds the transport weakly.
class EATransport : public BaseTransport, public std::enable_shared_from_this<EATransport> {
    struct Token {
        explicit Token() = default;
    };

  public:
    // The process-wide instance, created on first use and never released.
    static std::shared_ptr<EATransport> shared();
    // A transport of its own, beside the shared one.
    static std::shared_ptr<EATransport> create() { return std::make_shared<EATransport>(Token{}); }

    // Reachable only through shared() and create(): the token type is private.
    explicit EATransport(Token);
    ~EATransport() override;

    std::shared_ptr<OrvaneDevice> orvaneDevice() const;
    void setOrvaneDevice(std::shared_ptr<OrvaneDevice> device);
    // Points the transport at a new reader's descriptor: clears the delegate, then disconnects,
    // telling the previous delegate Disconnecting and Disconnected. From the moment the
    // delegate is cleared, a `connectFor` of the previous reader is refused, also from inside
    // those reports. The new reader then sets itself as delegate.
    void takeOver(std::shared_ptr<OrvaneDevice> device);

    DeviceType deviceType() const override;
    std::string deviceName() const override;
    std::string serialNumber() const override;
    std::string firmwareRevision() const override;

    // Opens a session on the descriptor's first protocol string and starts the read loop:
    // Connecting, then Connected 100 ms after the loop started. True when already connected
    // (the received bytes are kept); false without descriptor, in Connecting or Disconnecting,
    // or when the session does not open (the state returns to Disconnected).
    bool connect() override;
    // The same, refused at once (nothing logged) when `owner` is not the delegate; tested under
    // the lock that serialises connect and disconnect, so a take-over is seen by the test.
    bool connectFor(const std::shared_ptr<TransportDelegate>& owner) override;
    // Cancels the read loop and closes the session: Disconnecting, then Disconnected. True when
    // already disconnected; false in Connecting, Listen or Disconnecting.
    bool disconnect() override;
    // The same for connection number `link` only, tested under the lock that serialises connect
    // and disconnect: true, doing nothing, once that connection has ended.
    bool disconnectLink(uint64_t link) override;
    // Throws ReaderException: 0x5002 for a buffer that cannot hold `length` bytes from
    // `offset`, 0x6006 when not connected, 0x7000 when the bytes do not arrive in time (the
    // bytes moved so far stay in `data`).
    int read(std::span<uint8_t> data, int offset, int length, int timeout) override;
    // Throws ReaderException: 0x6006 when not connected or without output stream, 0x4003 for
    // a range outside `data`, 0x7000 when the stream takes no or not all bytes in time.
    // Returns 0 when the stream reports an error.
    int write(ByteView data, int offset, int length, int timeout) override;

    // True with a session and the state Connected.
    bool assertConnection() const;
    // Read loops that have started and not yet ended.
    int readLoopsRunning() const { return readLoopsRunning_.load(); }

  private:
    static void keepReadThread(const std::weak_ptr<EATransport>& weak, const DispatchWorkItem& self,
                               const std::shared_ptr<AccessorySession>& session,
                               const std::shared_ptr<Signal>& input);
    bool readPass(const DispatchWorkItem& self, const AccessorySession& session, Bytes& buffer,
                  FrameDumpMasker& dumps);
    void endReadLoop(const DispatchWorkItem& self);

    // `owner` null: no owner test.
    bool connect(const std::shared_ptr<TransportDelegate>* owner);
    // `handOver`: the delegate is cleared first and the reports go to the one it held. With
    // `link`, only that connection is ended.
    bool disconnect(bool handOver, std::optional<uint64_t> link = std::nullopt);

    bool openSession();
    void closeSession();
    std::shared_ptr<AccessorySession> session() const;
    void setSession(std::shared_ptr<AccessorySession> session);
    void clearReceived();
    void clearReceivedIfCurrent(const DispatchWorkItem& self);
    void appendReceivedIfCurrent(const DispatchWorkItem& self, ByteView bytes);
    // Under `stateLock_`: the bytes dropped since the last record, when a record is due (at most
    // one a second, or `now`).
    std::optional<int64_t> takeDropReport(bool now);
    void reportDropped(std::optional<int64_t> dropped);

    // Records of bytes dropped from a full byte queue: at most one this often.
    static constexpr Clock::duration kDropReportInterval = std::chrono::seconds(1);

    std::mutex lock_;
    std::mutex writeLock_;
    // Guards the fields below and orders the loop's appends against the clears of connect.
    mutable std::mutex stateLock_;
    std::shared_ptr<AccessorySession> session_;
    std::shared_ptr<OrvaneDevice> orvaneDevice_;
    std::shared_ptr<DispatchWorkItem> workItem_;
    // Bytes dropped from the full byte queue and not yet logged, and when they last were.
    int64_t droppedBytes_ = 0;
    std::optional<Clock::time_point> lastDropReport_;
    const std::shared_ptr<DispatchQueue> queue_;
    // Raised by the input stream when bytes arrive, and by disconnect; the read loop rests on it.
    // Shared with the stream's handler, which never holds the transport itself.
    const std::shared_ptr<Signal> inputSignal_ = std::make_shared<Signal>();
    std::atomic<int> readLoopsRunning_{0};
};

}  // namespace orvane
