#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/link/BaseTransport.h"
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
};

// The per-reader protocol object between a device and its transport: one write path with its
// mapping of outcomes to result codes, the receive loop's work item, and what every reader
// model supplies (the two sends, start, pumped events).
//
// Threads: `start` and `stop` take `lock_`; sends run on the caller's thread and never
// overlap (each model keeps them apart for the whole exchange, reply wait included); the
// receive loop runs on the model's own queue, tests its own work item, and calls the delegate
// (held weakly) synchronously on the receive thread without holding `lock_`. Neither send nor
// `write` throws.
class BaseProtocol {
  public:
    static constexpr int defaultTimeout = 3000;
    // The fixed timeout of every write, whatever the send's own timeout.
    static constexpr int writeTimeout = 3000;

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
    // the write's non-zero code, or 0x7000.
    virtual Response send(ByteView data, int timeout) = 0;
    // Writes one or more requests together and collects `number` replies within `timeout` ms.
    virtual Response send(ByteView data, int timeout, int number) = 0;
    // Clears the receive buffers and launches a new receive loop; true.
    virtual bool start() = 0;
    // Asks the receive loop to end (it ends at its next test of its own work item).
    virtual void stop();
    // Handles an event pumped in from outside; the base ignores every event.
    virtual void pumpEvent(const ProtocolEventArgs& event);

  protected:
    BaseProtocol(std::string className, std::shared_ptr<BaseTransport> transport);

    // The receive loop's work item; read and replaced under `lock_`.
    std::shared_ptr<DispatchWorkItem>& workItemLocked() { return workItem_; }

    std::mutex lock_;

  private:
    const std::string className_;
    const std::shared_ptr<BaseTransport> transport_;
    std::shared_ptr<DispatchWorkItem> workItem_;
    mutable std::mutex delegateLock_;
    std::weak_ptr<BaseProtocolDelegate> delegate_;
};

}  // namespace orvane
