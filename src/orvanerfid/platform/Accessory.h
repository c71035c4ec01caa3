#pragma once

// Attached accessories and their byte streams: the stand-in for the platform's external
// accessory framework. A real link (or the simulated readers of the tests) derives from
// `Accessory` and supplies the streams of its sessions; the library only uses what it reads
// here.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

#define ORV_STREAM_STATUS(X) \
    X(notOpen, 0, "NotOpen") \
    X(opening, 1, "Opening") \
    X(open, 2, "Open")       \
    X(reading, 3, "Reading") \
    X(writing, 4, "Writing") \
    X(atEnd, 5, "AtEnd")     \
    X(closed, 6, "Closed")   \
    X(error, 7, "Error")

ORV_ENUM(StreamStatus, uint8_t, ORV_STREAM_STATUS);

// Bytes from the accessory. Implementations are safe to call from any thread.
class ORVANE_API InputStream {
  public:
    virtual ~InputStream() = default;
    virtual void open() = 0;
    virtual void close() = 0;
    virtual StreamStatus status() const = 0;
    virtual bool hasBytesAvailable() const = 0;
    // Reads up to `maxLength` bytes into `buffer`; returns the count read, 0 at the end of the
    // stream, or a negative number on error. Never blocks.
    virtual long read(uint8_t* buffer, std::size_t maxLength) = 0;
    // Asks the stream to call `handler` whenever new bytes become available or its status
    // changes (from any thread, never under a lock of the caller's); an empty handler clears
    // it. False when the stream cannot signal: its reader then polls.
    virtual bool setBytesAvailableHandler(std::function<void()> handler) {
        (void)handler;
        return false;
    }
};

// Bytes to the accessory. Implementations are safe to call from any thread.
class ORVANE_API OutputStream {
  public:
    virtual ~OutputStream() = default;
    virtual void open() = 0;
    virtual void close() = 0;
    virtual StreamStatus status() const = 0;
    virtual bool hasSpaceAvailable() const = 0;
    // Writes up to `length` bytes; returns the count taken (possibly fewer than asked), or a
    // negative number on error. Never blocks.
    virtual long write(const uint8_t* buffer, std::size_t length) = 0;
};

// What an accessory says about itself when it attaches.
struct AccessoryInfo {
    std::string manufacturer;
    std::string name;
    std::string modelNumber;
    std::string serialNumber;
    std::string firmwareRevision;
    std::vector<std::string> protocolStrings;
};

class AccessorySession;

// One attached (or formerly attached) accessory. Its properties never change; the manager
// gives it a connection identifier when it attaches. Thread-safe.
class ORVANE_API Accessory : public std::enable_shared_from_this<Accessory> {
  public:
    explicit Accessory(AccessoryInfo info) : info_(std::move(info)) {}
    Accessory(const Accessory&) = delete;
    Accessory& operator=(const Accessory&) = delete;
    virtual ~Accessory() = default;

    const std::string& manufacturer() const { return info_.manufacturer; }
    const std::string& name() const { return info_.name; }
    const std::string& modelNumber() const { return info_.modelNumber; }
    const std::string& serialNumber() const { return info_.serialNumber; }
    const std::string& firmwareRevision() const { return info_.firmwareRevision; }
    const std::vector<std::string>& protocolStrings() const { return info_.protocolStrings; }
    // Non-zero from the first attachment on; a new value at every attachment.
    int64_t connectionID() const { return connectionID_.load(); }
    bool isConnected() const { return connected_.load(); }
    // One-line text of every property, for log lines.
    std::string description() const;

  protected:
    // The streams of a new session for `protocolString` (already checked against the list), or
    // none when the accessory cannot open one. The base has no link and opens none.
    virtual std::shared_ptr<AccessorySession> makeSession(const std::string& protocolString);
    // Called by the manager after the accessory was detached (the cable is gone).
    virtual void didDetach() {}

  private:
    friend class AccessoryManager;
    friend class AccessorySession;

    const AccessoryInfo info_;
    std::atomic<int64_t> connectionID_{0};
    std::atomic<bool> connected_{false};
};

// A session with one accessory for one protocol string, holding the session's two streams.
class ORVANE_API AccessorySession {
  public:
    // A new session, or none when the accessory is missing or not connected, does not list
    // `protocolString`, or cannot open a link for it.
    static std::shared_ptr<AccessorySession> open(const std::shared_ptr<Accessory>& accessory,
                                                  const std::string& protocolString);

    AccessorySession(std::shared_ptr<Accessory> accessory, std::string protocolString,
                     std::shared_ptr<InputStream> inputStream,
                     std::shared_ptr<OutputStream> outputStream)
        : accessory_(std::move(accessory)),
          protocolString_(std::move(protocolString)),
          inputStream_(std::move(inputStream)),
          outputStream_(std::move(outputStream)) {}

    const std::shared_ptr<Accessory>& accessory() const { return accessory_; }
    const std::string& protocolString() const { return protocolString_; }
    // Either stream may be missing.
    const std::shared_ptr<InputStream>& inputStream() const { return inputStream_; }
    const std::shared_ptr<OutputStream>& outputStream() const { return outputStream_; }

  private:
    std::shared_ptr<Accessory> accessory_;
    std::string protocolString_;
    std::shared_ptr<InputStream> inputStream_;
    std::shared_ptr<OutputStream> outputStream_;
};

#define ORV_ACCESSORY_NOTIFICATION(X)                   \
    X(didConnect, 0, "AccessoryDidConnectNotification") \
    X(didDisconnect, 1, "AccessoryDidDisconnectNotification")

ORV_ENUM(AccessoryNotificationName, uint8_t, ORV_ACCESSORY_NOTIFICATION);

// A connect or disconnect notification; `accessory` may be missing.
struct AccessoryNotification {
    AccessoryNotificationName name = AccessoryNotificationName::didConnect;
    std::shared_ptr<Accessory> accessory;
};

// The process-wide list of attached accessories and their notifications.
//
// Threads: every operation is safe from any thread. `attach` and `detach` post their
// notification synchronously on the calling thread, after the manager's lock is released (an
// observer may call back into the manager), to the observers added for it, in the order they
// were added, and only while at least one caller is registered for local notifications.
// An observer removed on one thread may still be running a delivery begun on another.
class ORVANE_API AccessoryManager {
  public:
    using Observer = std::function<void(const AccessoryNotification&)>;
    using ObserverId = uint64_t;

    static AccessoryManager& shared();

    AccessoryManager() = default;
    AccessoryManager(const AccessoryManager&) = delete;
    AccessoryManager& operator=(const AccessoryManager&) = delete;

    // Attached accessories in the order they attached.
    std::vector<std::shared_ptr<Accessory>> connectedAccessories() const;

    // Registrations are counted: notifications flow while more registrations than
    // unregistrations were made.
    void registerForLocalNotifications();
    void unregisterForLocalNotifications();

    ObserverId addObserver(AccessoryNotificationName name, Observer observer);
    void removeObserver(ObserverId id);

    // Attaches an accessory (a new connection identifier, then the connect notification).
    // False, and nothing posted, when it is attached already or missing.
    bool attach(const std::shared_ptr<Accessory>& accessory);
    // Detaches an accessory (its links drop, then the disconnect notification). False when it
    // is not attached.
    bool detach(const std::shared_ptr<Accessory>& accessory);

  private:
    ORVANE_INTERNAL void post(const AccessoryNotification& notification);

    mutable std::mutex lock_;
    std::vector<std::shared_ptr<Accessory>> accessories_;
    int registrations_ = 0;
    std::map<ObserverId, std::pair<AccessoryNotificationName, Observer>> observers_;
    ObserverId nextObserverId_ = 1;
    int64_t nextConnectionId_ = 1;
};

}  // namespace orvane
