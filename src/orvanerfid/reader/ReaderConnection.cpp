// Connecting, disconnecting and following the transport's state reports.

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/BaseReader.h"
#include "orvanerfid/reader/EventSequence.h"

namespace orvane {
namespace {

// How long connect() and disconnect() wait for a stable state, and their poll period.
constexpr int kStableStateBudget = 3000;
constexpr int kStatePoll = 100;
// Pauses after stopping a running inventory and after cancelling the keep-alive loop.
constexpr int kAfterStopPause = 100;

std::string stateName(ConnectState state) {
    return Utilities::getConnectStateDescription(state);
}

}  // namespace

bool BaseReader::connect() {
    // The application may drop its last reference inside a report this call delivers.
    const auto self = weak_from_this().lock();
    orvLogger::trace(tag_, "+++ connect() ");
    if (onOwnLinkThread()) {
        // A connected reader answers at once; anything else would wait for a stable state that
        // only this very thread can bring.
        const bool connected = connectState() == ConnectState::connected;
        if (connected) {
            orvLogger::trace(tag_, "connect() - Already connected");
        } else {
            orvLogger::error(tag_, "connect() - Called on the reader's own receive or read thread");
        }
        orvLogger::trace(tag_, "--- connect() ");
        return connected;
    }
    if (!automaticConnect_.exchange(false)) applicationConnects_.fetch_add(1);
    setInitEngine(false);
    if (!baseDevice_) {
        orvLogger::error(tag_, "connect() baseDevice is nil");
        orvLogger::trace(tag_, "--- connect() ");
        return false;
    }
    // The shared accessory transport belongs to the last reader made for it: an earlier reader
    // connecting it again would take the link from under the newer one.
    if (baseTransport_->delegate().get() != static_cast<TransportDelegate*>(this)) {
        orvLogger::error(tag_, "connect() - Transport is used by another reader");
        orvLogger::trace(tag_, "--- connect() ");
        return false;
    }
    const TimeoutControl timeout(kStableStateBudget);
    while (true) {
        const ConnectState state = connectState();
        // A transport that has begun to close before its report reached this reader: the
        // connection is ending, and the wait below lasts until the reader has heard its end.
        const bool ending = state == ConnectState::connected &&
                            baseTransport_->connectState() != ConnectState::connected;
        if (state == ConnectState::connected && !ending) {
            orvLogger::trace(tag_, "connect() - Already connected");
            orvLogger::trace(tag_, "--- connect() ");
            return true;
        }
        if (state == ConnectState::disconnected) break;
        if (state == ConnectState::listen) {
            orvLogger::error(tag_, "connect() - Invalid connect state - " + stateName(state));
            orvLogger::trace(tag_, "--- connect() ");
            return false;
        }
        if (timeout.isTimeout()) {
            orvLogger::error(tag_, "connect() - Waiting connect state valid Timeout");
            orvLogger::trace(tag_, "--- connect() ");
            return false;
        }
        orvLogger::trace(tag_, "connect() - Connect state is " + stateName(state) + ", waiting...");
        Clock::sleepForMs(kStatePoll);
    }
    orvLogger::trace(tag_, "connect() Trigger transport connect");
    // Refused when another reader has taken the transport since the test above.
    const bool result = baseTransport_->connectFor(self);
    if (!result && !baseTransport_->isDelegate(self)) {
        orvLogger::error(tag_, "connect() - Transport is used by another reader");
    }
    orvLogger::trace(tag_, "--- connect() ");
    return result;
}

bool BaseReader::disconnect() {
    const auto self = weak_from_this().lock();
    orvLogger::trace(tag_, "+++ disconnect() ");
    if (onOwnLinkThread()) {
        // Closing the link waits for this very thread to end: a pool thread does it, for the
        // connection of this call only (not one made again meanwhile).
        orvLogger::debug(tag_,
                         "disconnect() - On the reader's own receive or read thread, handed "
                         "to another thread");
        DispatchQueue::global()->async([weak = weak_from_this(), generation = generation_.load()] {
            const auto reader = weak.lock();
            if (reader && reader->isCurrentConnection(generation)) reader->disconnect();
        });
        orvLogger::trace(tag_, "--- disconnect() ");
        return true;
    }
    triggerDisconnect_.store(true);
    const auto finish = [this](bool result) {
        triggerDisconnect_.store(false);
        orvLogger::trace(tag_, "--- disconnect() ");
        return result;
    };
    if (!baseDevice_) {
        orvLogger::error(tag_, "disconnect() BaseDevice is null");
        return finish(false);
    }
    const TimeoutControl timeout(kStableStateBudget);
    while (true) {
        const ConnectState state = connectState();
        // A connection of this reader whose reports have not reached it yet (the transport is
        // still settling, or a report delivery is under way) takes the stop path too.
        if (state == ConnectState::disconnected && !transportOpenFor(self)) {
            orvLogger::trace(tag_, "disconnect() - Already disconnected");
            return finish(true);
        }
        if (state == ConnectState::disconnected) break;
        if (state == ConnectState::connected) break;
        if (state == ConnectState::listen) {
            orvLogger::error(tag_, "disconnect() - Invalid connect state - " + stateName(state));
            return finish(false);
        }
        if (timeout.isTimeout()) {
            orvLogger::error(tag_, "disconnect() - Waiting connect state valid Timeout");
            return finish(false);
        }
        orvLogger::trace(tag_,
                         "disconnect() - Connect state is " + stateName(state) + ", waiting...");
        Clock::sleepForMs(kStatePoll);
    }
    // The application no longer waits for the tags of this connection, and nothing here waits
    // for it to catch up with them.
    events_->close();
    const ActionState action = actionState();
    orvLogger::trace(
        tag_, "disconnect() Action state is " + Utilities::getActionStateDescription(action));
    if (action == ActionState::inventory) {
        orvLogger::trace(tag_, "disconnect() Stop inventory");
        if (auto uhf = this->uhf()) {
            uhf->stop([tag = tag_](ResultCode code) {
                orvLogger::trace(tag, "disconnect() Stop inventory result: " +
                                          Utilities::getResultCodeDescription(code));
            });
        }
        Clock::sleepForMs(kAfterStopPause);
    }
    orvLogger::trace(tag_, "disconnect() Trigger transport disconnect");
    const bool result = baseTransport_->disconnect();
    // A connection that stays up keeps telling its tags.
    if (!result && connectState() == ConnectState::connected) events_->open();
    return finish(result);
}

bool BaseReader::onOwnLinkThread() const {
    const auto protocol = baseProtocol();
    return protocol ? protocol->onLinkThread() : baseTransport_->readsOnThisThread();
}

bool BaseReader::transportOpenFor(const std::shared_ptr<BaseReader>& self) const {
    return baseTransport_->connectState() != ConnectState::disconnected &&
           baseTransport_->isDelegate(self);
}

bool BaseReader::transportDisconnect() {
    const auto self = weak_from_this().lock();
    const bool result = baseTransport_->disconnect();
    orvLogger::trace(tag_,
                     std::string("transportDisconnect() - Result: ") + (result ? "true" : "false"));
    return result;
}

void BaseReader::connectStateEvent(const ConnectStateEventArgs& connectStateEventArgs) {
    const ConnectState state = connectStateEventArgs.connectState();
    orvLogger::debug(tag_, "*** Transport connect state event: " + stateName(state));
    if (state == ConnectState::connected) {
        // The reader stays Connecting until its initialisation sets Connected.
        onTransportConnected();
        return;
    }
    if (state == ConnectState::disconnected) onTransportDisconnected();
    storeState(state);
}

void BaseReader::onTransportConnected() {
    events_->open();
    if (!baseDevice_) {
        orvLogger::error(tag_, " - Device is nil");
        transportDisconnect();
        return;
    }
    if (!baseDevice_->start()) {
        orvLogger::error(tag_, " - Failed to start device");
        transportDisconnect();
        return;
    }
    const uint64_t generation = generation_.fetch_add(1) + 1;
    std::weak_ptr<BaseReader> weak = weak_from_this();
    auto item =
        std::make_shared<DispatchWorkItem>([weak, generation](const DispatchWorkItem& self) {
            auto reader = weak.lock();
            if (!reader || self.isCancelled() || !reader->isCurrentConnection(generation)) return;
            reader->asyncInitReader(generation);
        });
    std::shared_ptr<DispatchWorkItem> previous;
    {
        std::lock_guard guard(fieldsLock_);
        previous = std::exchange(initReaderWorkItem_, item);
    }
    if (previous) previous->cancel();
    initReaderQueue_->async(item);
}

void BaseReader::onTransportDisconnected() {
    // The tag reports of the connection that ended are no longer told (they are counted).
    events_->close();
    // Work queued for the connection that ended no longer acts.
    generation_.fetch_add(1);
    cancelKeepAlive();
    std::shared_ptr<DispatchWorkItem> init;
    {
        std::lock_guard guard(fieldsLock_);
        init = initReaderWorkItem_;
    }
    if (init) init->cancel();
    if (baseDevice_) {
        orvLogger::debug(baseDevice_->className(), " *** Stop protocol");
        baseDevice_->baseProtocol()->stop();
    }
    // What the reader was doing ends with its connection (an inventory whose link dropped
    // reports no end): a new connection starts in Stop, so its operations are not refused.
    if (actionState() != ActionState::stop) actionStateEvent(ActionState::stop);
    if (autoReconnect_.exchange(false)) queueReconnect();
}

void BaseReader::cancelKeepAlive() {
    std::shared_ptr<DispatchWorkItem> item;
    {
        std::lock_guard guard(fieldsLock_);
        item = keepAliveWorkItem_;
    }
    if (!item || item->isCancelled()) return;
    item->cancel();
    keepAliveWake_->notify();
    Clock::sleepForMs(kAfterStopPause);
    std::lock_guard guard(fieldsLock_);
    if (keepAliveWorkItem_ == item) keepAliveWorkItem_.reset();
}

void BaseReader::queueReconnect() {
    std::weak_ptr<BaseReader> weak = weak_from_this();
    DispatchQueue::main()->async([weak] {
        if (auto reader = weak.lock()) {
            reader->automaticConnect_.store(true);
            reader->connect();
        }
    });
}

void BaseReader::setConnectState(ConnectState state) {
    const auto self = weak_from_this().lock();
    storeState(state);
}

void BaseReader::storeState(ConnectState state) {
    if (connectState_.exchange(state) == state) return;
    keepAliveWake_->notify();
    triggerConnectStateEvent();
}

void BaseReader::triggerConnectStateEvent() {
    const auto self = weak_from_this().lock();
    const ConnectStateEventArgs args(linkUhfReader(), connectState());
    deliver(readerDelegate(), "connectStateEvent",
            [&](ReaderDelegate& delegate) { delegate.connectStateEvent(args); });
}

void BaseReader::asyncInitReader(uint64_t) {
    orvLogger::trace(tag_, "asyncInitReader() - No initialisation for this reader");
}

bool BaseReader::finishInitialisation(uint64_t generation) {
    if (!isCurrentConnection(generation)) return false;
    alive();
    if (baseDevice_) {
        baseDevice_->baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished));
    }
    // Connected before the loop starts, so its first turn finds the connection up; a connection
    // that has meanwhile dropped stays Disconnected.
    ConnectState expected = ConnectState::connecting;
    if (connectState_.compare_exchange_strong(expected, ConnectState::connected)) {
        keepAliveWake_->notify();
        triggerConnectStateEvent();
    } else if (expected != ConnectState::connected) {
        return false;
    }
    startKeepAlive(generation);
    return isCurrentConnection(generation);
}

}  // namespace orvane
