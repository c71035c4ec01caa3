#include "orvanerfid/link/EATransport.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "orvanerfid/commands/FrameSecrets.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/platform/TimeoutControl.h"

namespace orvane {
namespace {

constexpr std::string_view kTag = "EATransport";
constexpr std::size_t kReadBufferSize = 4096;
// Received bytes no reader is taking are kept up to this many; past it the oldest are dropped.
// Normal traffic (frames of at most 8 KiB, read as they come) never comes near it.
constexpr int kMaxReceivedBytes = 4 * 1024 * 1024;

// The "+++" line of an operation now and its "---" line on every exit, throws included.
class TraceScope {
  public:
    explicit TraceScope(std::string_view operation)
        : suffix_(std::string(operation) + " - " + std::to_string(BaseTransport::instanceCount())) {
        orvLogger::trace(kTag, "+++ " + suffix_);
    }
    ~TraceScope() { orvLogger::trace(kTag, "--- " + suffix_); }

  private:
    std::string suffix_;
};

// The dump of one written frame; passwords and Reserved-bank data show as "0x**".
void debugDump(std::string_view prefix, ByteView bytes, DeviceType model) {
    if (orvLogger::isEnabled(LogLevel::debug)) {
        orvLogger::debug(
            kTag, std::string(prefix) + maskedFrameDump(bytes, model, FrameDirection::toReader));
    }
}

// Opens one stream of a new session; false, after the ERROR line, when it is missing or does
// not open.
template <typename Stream>
bool openStream(const std::shared_ptr<Stream>& stream, std::string_view name,
                const std::string& protocolString) {
    const std::string prefix = "openSession() " + std::string(name);
    if (!stream) {
        orvLogger::error(kTag, prefix + " is nil");
        return false;
    }
    stream->open();
    if (stream->status() != StreamStatus::open) {
        orvLogger::error(kTag, prefix + " status: " + std::string(description(stream->status())) +
                                   ", protocolString: " + protocolString);
        return false;
    }
    return true;
}

template <typename Stream>
void closeStream(const std::shared_ptr<Stream>& stream, std::string_view name) {
    if (!stream) {
        orvLogger::trace(kTag, std::string(name) + " is nil");
        return;
    }
    stream->close();
    orvLogger::trace(
        kTag, std::string(name) + " closed, status: " + std::string(description(stream->status())));
}

}  // namespace

std::shared_ptr<EATransport> EATransport::shared() {
    static auto* instance = new std::shared_ptr<EATransport>(create());
    return *instance;
}

EATransport::EATransport(Token)
    : BaseTransport("EATransport"),
      queue_(DispatchQueue::make("com.orvane.EATransport", DispatchQoS::background,
                                 DispatchQueueAttributes::concurrent)) {}

EATransport::~EATransport() {
    std::lock_guard guard(stateLock_);
    if (workItem_) workItem_->cancel();
}

std::shared_ptr<OrvaneDevice> EATransport::orvaneDevice() const {
    std::lock_guard guard(stateLock_);
    return orvaneDevice_;
}

void EATransport::setOrvaneDevice(std::shared_ptr<OrvaneDevice> device) {
    std::lock_guard guard(stateLock_);
    orvaneDevice_ = std::move(device);
}

void EATransport::takeOver(std::shared_ptr<OrvaneDevice> device) {
    disconnect(true);
    setOrvaneDevice(std::move(device));
}

DeviceType EATransport::deviceType() const {
    auto device = orvaneDevice();
    return device ? device->deviceType() : DeviceType::unknown;
}

std::string EATransport::deviceName() const {
    std::string name = deviceNameField();
    if (!name.empty()) return name;
    auto device = orvaneDevice();
    return device ? device->deviceName() : name;
}

std::string EATransport::serialNumber() const {
    auto device = orvaneDevice();
    return device ? device->serialNumber() : std::string();
}

std::string EATransport::firmwareRevision() const {
    auto device = orvaneDevice();
    return device ? device->firmwareVersion() : std::string();
}

std::shared_ptr<AccessorySession> EATransport::session() const {
    std::lock_guard guard(stateLock_);
    return session_;
}

void EATransport::setSession(std::shared_ptr<AccessorySession> session) {
    std::lock_guard guard(stateLock_);
    session_ = std::move(session);
}

void EATransport::clearReceived() {
    std::lock_guard guard(stateLock_);
    byteQueue().clear();
}

void EATransport::clearReceivedIfCurrent(const DispatchWorkItem& self) {
    std::lock_guard guard(stateLock_);
    if (workItem_.get() == &self) byteQueue().clear();
}

void EATransport::appendReceivedIfCurrent(const DispatchWorkItem& self, ByteView bytes) {
    std::optional<int64_t> report;
    {
        std::lock_guard guard(stateLock_);
        if (workItem_.get() != &self || self.isCancelled()) return;
        droppedBytes_ += byteQueue().makeRoom(static_cast<int>(bytes.size()), kMaxReceivedBytes);
        byteQueue().enqueue(bytes, 0, static_cast<int>(bytes.size()));
        report = takeDropReport(false);
    }
    // Woken after the lock: the receive thread's first step after waking takes it.
    wakeReceivers();
    reportDropped(report);
}

std::optional<int64_t> EATransport::takeDropReport(bool now) {
    if (droppedBytes_ == 0) return std::nullopt;
    const auto at = Clock::now();
    if (!now && lastDropReport_ && at - *lastDropReport_ < kDropReportInterval) return std::nullopt;
    lastDropReport_ = at;
    return std::exchange(droppedBytes_, 0);
}

void EATransport::reportDropped(std::optional<int64_t> dropped) {
    // Logged after the lock: the log sink is the application's.
    if (!dropped) return;
    orvLogger::error(kTag, "keepReadThread() Receive queue full, dropped the oldest " +
                               std::to_string(*dropped) + " bytes");
}

bool EATransport::connect() {
    return connect(nullptr);
}

bool EATransport::connectFor(const std::shared_ptr<TransportDelegate>& owner) {
    return connect(&owner);
}

bool EATransport::connect(const std::shared_ptr<TransportDelegate>* owner) {
    // Records logged under the lock reach the sink once it is released.
    std::optional<orvLogger::Hold> hold(std::in_place);
    std::unique_lock guard(lock_);
    if (owner && !isDelegate(*owner)) return false;
    auto device = orvaneDevice();
    auto accessory = device ? device->eaaccessory() : nullptr;
    orvLogger::trace(kTag, "+++ connect() connect to Device - " +
                               (accessory ? accessory->description() : std::string("nil")));
    const ConnectState state = connectState();
    // Bytes of a standing connection are kept: they may be replies still awaited.
    if (state != ConnectState::connected) clearReceived();

    bool result = false;
    if (!device) {
        orvLogger::error(kTag, "connect() orvaneDevice is nil");
    } else if (state == ConnectState::connected) {
        orvLogger::debug(kTag, "connect() Already connected");
        result = true;
    } else if (state != ConnectState::disconnected) {
        orvLogger::error(
            kTag, "connect() Connect state is not disconnected, would not to do connect. - " +
                      std::string(description(state)));
    } else {
        // Numbered before Connecting: a call that notes the number while the link is being
        // opened names this link, and one opened later has another.
        noteLinkOpened();
        assignConnectState(ConnectState::connecting);
        if (openSession()) {
            auto session = this->session();
            std::weak_ptr<EATransport> weak = weak_from_this();
            auto signal = inputSignal_;
            session->inputStream()->setBytesAvailableHandler([signal] { signal->notify(); });
            auto item = std::make_shared<DispatchWorkItem>(
                [weak, session, signal](const DispatchWorkItem& self) {
                    keepReadThread(weak, self, session, signal);
                });
            {
                std::lock_guard items(stateLock_);
                workItem_ = item;
            }
            queue_->async(item, DispatchWork::library);
            Clock::sleepForMs(100);
            assignConnectState(ConnectState::connected);
            result = true;
        } else {
            orvLogger::error(kTag, "connect() open session failed");
            assignConnectState(ConnectState::disconnected);
        }
    }
    orvLogger::trace(kTag, "--- connect()");
    guard.unlock();
    hold.reset();
    deliverStateReports();
    return result;
}

bool EATransport::disconnect() {
    return disconnect(false);
}

bool EATransport::disconnectLink(uint64_t link) {
    return disconnect(false, link);
}

bool EATransport::disconnect(bool handOver, std::optional<uint64_t> link) {
    // Records logged under the lock reach the sink once it is released.
    std::optional<orvLogger::Hold> hold(std::in_place);
    std::unique_lock guard(lock_);
    orvLogger::trace(kTag, "+++ disconnect()");
    std::optional<std::weak_ptr<TransportDelegate>> reportTo;
    if (handOver) reportTo = releaseDelegate();
    const auto assign = [&](ConnectState next) {
        if (reportTo) {
            assignConnectState(next, *reportTo);
        } else {
            assignConnectState(next);
        }
    };
    const ConnectState state = connectState();
    bool result = false;
    if (link && *link != linkNumber()) {
        orvLogger::debug(kTag, "disconnect() The connection asked for has already ended");
        result = true;
    } else if (state == ConnectState::disconnected) {
        orvLogger::debug(kTag, "disconnect() Already disconnected");
        result = true;
    } else if (state != ConnectState::connected) {
        orvLogger::error(
            kTag, "disconnect() Connect state is not connected, would not to do disconnect - " +
                      std::string(description(state)));
    } else {
        assign(ConnectState::disconnecting);
        {
            std::lock_guard items(stateLock_);
            if (workItem_ && !workItem_->isCancelled()) workItem_->cancel();
            // Let go of the ended loop's session: the process-wide transport would otherwise
            // keep its streams (and the accessory's link) to the end of the process.
            workItem_.reset();
        }
        inputSignal_->notify();
        closeSession();
        assign(ConnectState::disconnected);
        result = true;
    }
    orvLogger::trace(kTag, "--- disconnect()");
    guard.unlock();
    hold.reset();
    deliverStateReports();
    return result;
}

bool EATransport::openSession() {
    orvLogger::trace(kTag, "+++ openSession()");
    bool result = false;
    auto device = orvaneDevice();
    auto accessory = device ? device->eaaccessory() : nullptr;
    if (!device) {
        orvLogger::error(kTag, "openSession() failed, orvaneDevice is nil");
    } else if (!accessory) {
        orvLogger::error(kTag, "openSession() failed, eaaccessory is nil");
    } else {
        const std::string protocolString = device->protocolString();
        auto session = AccessorySession::open(accessory, protocolString);
        setSession(session);
        if (!session) {
            orvLogger::error(kTag, "openSession() initialize session failed");
        } else if (openStream(session->inputStream(), "inputStream", protocolString) &&
                   openStream(session->outputStream(), "outputStream", protocolString)) {
            result = true;
        } else {
            setSession(nullptr);
        }
    }
    orvLogger::trace(kTag, "--- openSession()");
    return result;
}

void EATransport::closeSession() {
    orvLogger::trace(kTag, "+++ closeSession()");
    if (auto current = session()) {
        if (current->inputStream()) current->inputStream()->setBytesAvailableHandler({});
        closeStream(current->inputStream(), "inputStream");
        closeStream(current->outputStream(), "outputStream");
        setSession(nullptr);
    } else {
        orvLogger::trace(kTag, "closeSession() session is nil");
    }
    orvLogger::trace(kTag, "--- closeSession()");
}

bool EATransport::assertConnection() const {
    if (!session()) {
        orvLogger::debug(kTag, "assertConnection() session is nil");
        return false;
    }
    const ConnectState state = connectState();
    if (state != ConnectState::connected) {
        orvLogger::error(kTag, "assertConnection() connectState is not connected - " +
                                   std::string(description(state)));
        return false;
    }
    return true;
}

void EATransport::keepReadThread(const std::weak_ptr<EATransport>& weak,
                                 const DispatchWorkItem& self,
                                 const std::shared_ptr<AccessorySession>& session,
                                 const std::shared_ptr<Signal>& input) {
    Bytes buffer(kReadBufferSize, 0);
    FrameDumpMasker dumps;
    std::optional<ReadThreadMark> mark;
    if (auto transport = weak.lock()) {
        mark.emplace(transport.get());
        dumps = FrameDumpMasker(transport->announcedBanks());
        ++transport->readLoopsRunning_;
        orvLogger::trace(kTag, "+++ keepReadThread() - " + std::to_string(instanceCount()));
    } else {
        return;
    }
    for (;;) {
        // Taken before the pass, so bytes that arrive during it cut the rest short.
        const uint64_t seen = input->count();
        {
            // Held only for one pass, so a transport released by its owners ends the loop.
            auto transport = weak.lock();
            if (!transport) return;
            if (!transport->readPass(self, *session, buffer, dumps)) {
                transport->endReadLoop(self);
                return;
            }
        }
        input->waitFor(seen, std::chrono::milliseconds(100));
    }
}

bool EATransport::readPass(const DispatchWorkItem& self, const AccessorySession& session,
                           Bytes& buffer, FrameDumpMasker& dumps) {
    if (self.isCancelled()) return false;
    if (!assertConnection()) {
        clearReceivedIfCurrent(self);
        const ConnectState state = connectState();
        if (state == ConnectState::connecting || state == ConnectState::connected) return true;
        orvLogger::error(kTag, "keepReadThread() Connect state is not connected - " +
                                   std::string(description(state)));
        return false;
    }
    const auto& input = session.inputStream();
    while (input && input->hasBytesAvailable()) {
        if (self.isCancelled()) return false;
        if (!assertConnection()) {
            clearReceivedIfCurrent(self);
            return true;
        }
        const long count = input->read(buffer.data(), buffer.size());
        orvLogger::trace(kTag, "keepReadThread() bytesRead: " + std::to_string(count));
        if (count < 1) {
            // A stream that keeps failing is asked again after the loop's rest, not at once.
            orvLogger::error(kTag, "Read size: " + std::to_string(count));
            return true;
        }
        const ByteView bytes(buffer.data(), static_cast<std::size_t>(count));
        // Passwords and Reserved-bank data show as "0x**"; the masker keeps a frame cut
        // between two reads whole.
        const bool dumped = orvLogger::isEnabled(LogLevel::debug);
        std::string dump = dumps.dump(bytes, deviceType(), dumped);
        if (dumped) orvLogger::debug(kTag, "Read: " + dump);
        // No pause between reads: the stream is drained while it holds bytes, and the loop
        // rests on the stream's signal once it is empty.
        appendReceivedIfCurrent(self, bytes);
    }
    return true;
}

void EATransport::endReadLoop(const DispatchWorkItem& self) {
    clearReceivedIfCurrent(self);
    std::optional<int64_t> report;
    {
        std::lock_guard guard(stateLock_);
        report = takeDropReport(true);
    }
    reportDropped(report);
    // Counted out last: once the count reads 0, no loop touches the logger any more.
    orvLogger::trace(kTag, "--- keepReadThread() - " + std::to_string(instanceCount()));
    --readLoopsRunning_;
}

int EATransport::read(std::span<uint8_t> data, int offset, int length, int timeout) {
    const TraceScope scope("read(data:offset:length:timeout:)");
    checkReadBuffer(data, offset, length, "read(data:offset:length:timeout:)");
    const TimeoutControl timeoutControl(timeout);
    if (length < 1) return 0;

    int total = 0;
    while (total < length) {
        for (;;) {
            if (!assertConnection()) throw ReaderException(ResultCode::connectFailed, "");
            if (timeoutControl.isTimeout()) {
                orvLogger::error(kTag, "read(data:offset:length:timeout:) timeout");
                throw ReaderException(ResultCode::timeout, "");
            }
            if (byteQueue().count() > 0) break;
            // Arrivals and state changes wake the wait; the bound keeps the timeout test.
            const auto left = std::chrono::duration<double, std::milli>(
                timeoutControl.timeout() - timeoutControl.elapsedMs() + 1.0);
            waitForReceived(std::min<Clock::duration>(
                std::chrono::duration_cast<Clock::duration>(left), std::chrono::milliseconds(100)));
        }
        total += byteQueue().dequeue(data, offset + total, length - total);
    }
    return total;
}

int EATransport::write(ByteView data, int offset, int length, int timeout) {
    constexpr std::string_view op = "write(data:offset:length:timeout:)";
    const TraceScope scope(op);
    std::lock_guard writer(writeLock_);
    if (!assertConnection()) throw ReaderException(ResultCode::connectFailed, "");
    auto current = session();
    auto output = current ? current->outputStream() : nullptr;
    if (!output) {
        orvLogger::error(kTag, std::string(op) + " outputStream is nil");
        throw ReaderException(ResultCode::connectFailed, "");
    }
    if (offset < 0 || length < 0 || static_cast<std::size_t>(offset) > data.size() ||
        static_cast<std::size_t>(length) > data.size() - static_cast<std::size_t>(offset)) {
        orvLogger::error(kTag, std::string(op) + " offset is out of range");
        throw ReaderException(ResultCode::outOfRange, "");
    }
    const TimeoutControl timeoutControl(timeout);
    const ByteView bytes =
        data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    debugDump(std::string(op) + " Write: ", bytes, deviceType());

    // Checked before every attempt: the time left and the connection.
    const auto checkTurn = [&] {
        if (timeoutControl.isTimeout()) {
            orvLogger::error(kTag, std::string(op) + " Timeout");
            throw ReaderException(ResultCode::timeout, "");
        }
        if (!assertConnection()) throw ReaderException(ResultCode::connectFailed, "");
    };
    for (;;) {
        checkTurn();
        if (output->hasSpaceAvailable()) break;
        Clock::sleepForMs(10);
    }
    const auto writeFrom = [&](std::size_t from) -> long {
        const long count = output->write(bytes.data() + from, bytes.size() - from);
        if (count < 0)
            orvLogger::error(kTag, std::string(op) + " Write fail - " + std::to_string(count));
        return count;
    };
    long written = writeFrom(0);
    if (written < 0) return 0;
    orvLogger::trace(kTag, std::string(op) + " bytesWritten :" + std::to_string(written));
    if (written == length) return length;
    if (written > length) {
        orvLogger::error(kTag, std::string(op) + " Bytes written is more than data");
        return static_cast<int>(written);
    }
    while (written < length) {
        checkTurn();
        const long count = writeFrom(static_cast<std::size_t>(written));
        if (count < 0) return 0;
        written += count;
        Clock::sleepForMs(1);
    }
    return static_cast<int>(written);
}

}  // namespace orvane
