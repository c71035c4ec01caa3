#include "orvanerfid/link/BaseTransport.h"

#include <utility>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {

std::atomic<int64_t> BaseTransport::instanceCount_{0};

namespace {
// The transport whose read loop runs on this thread, if any (only compared).
thread_local const BaseTransport* tReadingFor = nullptr;
}  // namespace

const BaseTransport* BaseTransport::readingOnThisThread() {
    return tReadingFor;
}

BaseTransport::ReadThreadMark::ReadThreadMark(const BaseTransport* transport)
    : outer_(std::exchange(tReadingFor, transport)) {}

BaseTransport::ReadThreadMark::~ReadThreadMark() {
    tReadingFor = outer_;
}

BaseTransport::BaseTransport(std::string className)
    : className_(std::move(className)), connectType_(ConnectType::accessory) {
    const int64_t count = ++instanceCount_;
    orvLogger::trace(className_, "init() - " + std::to_string(count));
}

std::shared_ptr<TransportDelegate> BaseTransport::delegate() const {
    std::lock_guard guard(fieldsLock_);
    return delegate_.lock();
}

void BaseTransport::setDelegate(std::weak_ptr<TransportDelegate> delegate) {
    std::lock_guard guard(fieldsLock_);
    delegate_ = std::move(delegate);
}

bool BaseTransport::isDelegate(const std::shared_ptr<TransportDelegate>& candidate) const {
    if (!candidate) return false;
    std::lock_guard guard(fieldsLock_);
    return !delegate_.owner_before(candidate) && !candidate.owner_before(delegate_);
}

std::weak_ptr<TransportDelegate> BaseTransport::releaseDelegate() {
    std::lock_guard guard(fieldsLock_);
    return std::exchange(delegate_, {});
}

bool BaseTransport::connectFor(const std::shared_ptr<TransportDelegate>& owner) {
    return isDelegate(owner) && connect();
}

std::string BaseTransport::deviceNameField() const {
    std::lock_guard guard(fieldsLock_);
    return deviceName_;
}

void BaseTransport::setDeviceNameField(std::string name) {
    std::lock_guard guard(fieldsLock_);
    deviceName_ = std::move(name);
}

std::string BaseTransport::macAddress() const {
    std::lock_guard guard(fieldsLock_);
    return macAddress_;
}

void BaseTransport::setMacAddress(std::string address) {
    std::lock_guard guard(fieldsLock_);
    macAddress_ = std::move(address);
}

std::string BaseTransport::bluetoothName() const {
    std::lock_guard guard(fieldsLock_);
    return bluetoothName_;
}

void BaseTransport::setBluetoothName(std::string name) {
    std::lock_guard guard(fieldsLock_);
    bluetoothName_ = std::move(name);
}

void BaseTransport::setConnectState(ConnectState state) {
    assignConnectState(state);
    deliverStateReports();
}

void BaseTransport::wakeReceivers() {
    {
        std::lock_guard guard(signalLock_);
        ++signals_;
    }
    received_.notify_all();
}

void BaseTransport::receive(ByteView bytes) {
    byteQueue_.enqueue(bytes, 0, static_cast<int>(bytes.size()));
    wakeReceivers();
}

void BaseTransport::assignConnectState(ConnectState state) {
    std::weak_ptr<TransportDelegate> target;
    {
        std::lock_guard guard(fieldsLock_);
        target = delegate_;
    }
    assignConnectState(state, std::move(target));
}

void BaseTransport::assignConnectState(ConnectState state,
                                       std::weak_ptr<TransportDelegate> reportTo) {
    const ConnectState old = connectState_.exchange(state);
    if (state == ConnectState::disconnected && old != ConnectState::disconnected) {
        linkEnds_.fetch_add(1);
    }
    wakeReceivers();
    orvLogger::trace(className_, "ConnectState: New - " + std::string(description(state)) +
                                     ", Old - " + std::string(description(old)));
    if (reportTo.expired()) return;
    std::lock_guard guard(reportsLock_);
    pendingReports_.push_back({std::move(reportTo), state, links_.load()});
}

void BaseTransport::deliverStateReports() {
    std::unique_lock lock(reportsLock_);
    // A delivery already under way (on this thread, one level up, or on another) takes these.
    if (delivering_) return;
    delivering_ = true;
    while (!pendingReports_.empty()) {
        StateReport report = std::move(pendingReports_.front());
        pendingReports_.pop_front();
        lock.unlock();
        if (auto delegate = report.delegate.lock()) {
            orvLogger::trace(className_, "Trigger change connect state event to " +
                                             std::string(description(report.state)));
            try {
                delegate->linkStateEvent(ConnectStateEventArgs(nullptr, report.state), report.link);
            } catch (const std::exception& e) {
                orvLogger::error(className_, std::string("connectStateEvent threw: ") + e.what());
            } catch (...) {
                // Not a std::exception: still never leaves `delivering_` set.
                orvLogger::error(className_, "connectStateEvent threw");
            }
        }
        lock.lock();
    }
    delivering_ = false;
}

void BaseTransport::checkReadBuffer(std::span<uint8_t> data, int offset, int length,
                                    std::string_view operation) const {
    const long long needed = static_cast<long long>(offset) + length;
    if (offset >= 0 && static_cast<long long>(data.size()) >= needed) return;
    orvLogger::error(className_, std::string(operation) + " data size(" +
                                     std::to_string(data.size()) + ") is not enough " +
                                     std::to_string(needed) + ".");
    throw ReaderException(ResultCode::invalidParameter, "");
}

}  // namespace orvane
