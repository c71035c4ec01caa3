#pragma once

// What the UHF object and the engine objects need of the reader that owns them. The reader
// implements it; they hold it weakly (through a std::weak_ptr<ReaderLink>), so a call on a
// reader that is gone is never made: the holder locks the pointer first and, when the reader
// has gone, answers as it does without a device.

#include <cstdint>
#include <memory>
#include <string>

#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Identifiers.h"

namespace orvane {

class BaseDevice;
class BaseTransport;
class UhfReader;

// Threads: every member may be called from any thread (the caller's thread, pool threads, the
// protocol's receive thread); the reader keeps each field behind an atomic or its own mutex.
class ReaderLink {
  public:
    virtual ~ReaderLink() = default;

    // The reader's device; null when the reader is not connected.
    virtual std::shared_ptr<BaseDevice> linkDevice() const = 0;
    // The reader's transport (never null while the reader lives).
    virtual std::shared_ptr<BaseTransport> linkTransport() const = 0;
    // The reader's description text (class name and address), the tag of its log records.
    virtual std::string linkDescription() const = 0;
    // The reader as the UhfReader an application's UhfDelegate receives; null when the reader
    // is no UHF reader.
    virtual std::shared_ptr<UhfReader> linkUhfReader() = 0;

    // The reader's action state, written only through actionStateEvent.
    virtual ActionState linkActionState() const = 0;
    // Failure counting: adds one failure and returns the new count.
    virtual int addFailure() = 0;
    // Sets the failure count to 0.
    virtual void resetFailures() = 0;
    // The current failure count.
    virtual int failCount() const = 0;
    // Records a sign of life now (the reader's last time, on the steady clock).
    virtual void markAlive() = 0;

    // Disconnects the reader's transport on the library's own initiative and logs the TRACE
    // record "transportDisconnect() - Result: true|false" with the reader's tag; returns the
    // transport's answer. Never call it holding a library lock: it reports Disconnected
    // synchronously.
    virtual bool transportDisconnect() = 0;
    // Ends connection number `link` (as the transport numbered it) and no later one, on the
    // library's own initiative (a failure limit reached, an operation that ends the link). The
    // reader does it in turn with the calls and reports it was given before; returns at once.
    virtual void closeConnection(uint64_t link) = 0;

    // Stores the radio module's SKU type as the reader's SKU.
    virtual void skuType(SkuType skuType) = 0;
};

}  // namespace orvane
