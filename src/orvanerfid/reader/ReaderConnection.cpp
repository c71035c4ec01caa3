// Connecting, disconnecting and following the transport's state reports.

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/BaseReader.h"
#include "orvanerfid/reader/EventSequence.h"

namespace orvane {
namespace {

// How long connect() and disconnect() wait for a stable state, and their poll period.
constexpr int kStableStateBudget = 3000;
constexpr int kStatePoll = 100;
// How long disconnect() waits for a connection being made to end by its initialisation's stop
// path: the exchange in flight, and a little more. A connection whose initialisation has not
// stopped by then (a reader that does not answer) is ended by the call itself.
constexpr int kInitStopBudget = BaseTransport::defaultTimeout + 1000;
// Pauses after stopping a running inventory and after cancelling the keep-alive loop.
constexpr int kAfterStopPause = 100;

std::string stateName(ConnectState state) {
    return Utilities::getConnectStateDescription(state);
}

}  // namespace

bool BaseReader::connect() {
    return connectAs(CallBy::application);
}

bool BaseReader::connectAs(CallBy caller) {
    // The application may drop its last reference inside a report this call delivers.
    const auto self = weak_from_this().lock();
    orvLogger::trace(tag_, "+++ connect() ");
    const bool linkThread = BaseProtocol::onAnyLinkThread();
    if (caller == CallBy::application && !linkThread) applicationConnects_.fetch_add(1);
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
    if (linkThread && !onOwnLinkThread()) {
        // Another reader's link thread, which this reader's own may wait for: nothing waits or
        // is left to run here. A standing connection answers true, anything else false.
        const bool stands = connectionStands();
        if (stands) {
            orvLogger::trace(tag_, "connect() - Already connected");
        } else {
            orvLogger::error(tag_,
                             "connect() - " + std::string(BaseProtocol::linkThreadRefusal(false)));
        }
        orvLogger::trace(tag_, "--- connect() ");
        return stands;
    }
    if (linkThread) {
        // Waiting for a stable state here would wait for this very thread. A standing connection
        // answers at once; anything else (an end handed off or under way, a connection being
        // made) is left to another thread, which connects once that end is over.
        if (handOff(HandOff::connect)) {
            orvLogger::debug(tag_,
                             "connect() - On the reader's own receive or read thread, handed "
                             "to another thread");
        } else {
            orvLogger::trace(tag_, "connect() - Already connected");
        }
        orvLogger::trace(tag_, "--- connect() ");
        return true;
    }
    if (caller == CallBy::handOff) {
        // The library's own connect() obeys the application's last call up to its open, and
        // waits for nothing: a connection being made or ended leaves it to that end.
        if (!connectionWanted_.load()) {
            orvLogger::debug(tag_,
                             "connect() - The application asked to disconnect, not connecting");
            orvLogger::trace(tag_, "--- connect() ");
            return false;
        }
    } else {
        // Decided now: a disconnect() made before and not yet closing ends nothing after this.
        record(true);
    }
    setInitEngine(false);
    const TimeoutControl timeout(kStableStateBudget);
    while (true) {
        const ConnectState state = connectState();
        // A connection whose end is under way is not answered for: its end is waited for.
        if (state == ConnectState::connected && !endUnderWay()) {
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
        if (caller == CallBy::handOff) {
            // Left queued for this connection's end (see runHandOffs).
            // Its thread's next turn says so, once.
            {
                std::lock_guard guard(handOffLock_);
                connectQueued_ = true;
            }
            orvLogger::trace(tag_, "--- connect() ");
            return true;
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
    return disconnectAs(CallBy::application);
}

bool BaseReader::disconnectAs(CallBy caller, std::optional<Call> handed) {
    const auto self = weak_from_this().lock();
    orvLogger::trace(tag_, "+++ disconnect() ");
    if (BaseProtocol::onAnyLinkThread()) {
        // Closing the link waits for this reader's link threads (this very one, or ones that may
        // wait for it): a pool thread does it, for the connection of this call only (not one
        // made again meanwhile).
        orvLogger::debug(tag_,
                         "disconnect() - On a receive or read thread, handed to "
                         "another thread");
        handOff(HandOff::disconnect);
        orvLogger::trace(tag_, "--- disconnect() ");
        return true;
    }
    // The call decides as it is made: the connection it ends is the one the transport holds or
    // is opening now, and a later call supersedes it.
    const Call call = caller == CallBy::handOff && handed ? *handed : record(false);
    const bool result = endConnection(self, call);
    orvLogger::trace(tag_, "--- disconnect() ");
    return result;
}

BaseReader::Call BaseReader::record(bool connect) {
    std::lock_guard guard(handOffLock_);
    return recordLocked(connect);
}

BaseReader::Call BaseReader::recordLocked(bool connect, bool continuing) {
    if (!continuing) ++lastCall_;
    const Call call{lastCall_, baseTransport_->linkNumber()};
    connectionWanted_.store(connect);
    triggerDisconnect_.store(!connect);
    // A connect() left for the end of a connection being made is not wanted any more.
    if (!connect && !handOffQueued_) connectQueued_ = false;
    return call;
}

bool BaseReader::endConnection(const std::shared_ptr<BaseReader>& self, const Call& call) {
    bool closing = false;
    const auto finish = [&](bool result) {
        std::lock_guard guard(handOffLock_);
        if (closing) closing_.fetch_sub(1);
        // The stop mark stays for a later disconnect() still at work.
        if (lastCall_ == call.number) triggerDisconnect_.store(false);
        return result;
    };
    // Whether a later call has come: this one then ends nothing. Otherwise, with `close`, it
    // starts closing, so that a connect() made from here on waits for its end.
    const auto superseded = [&](bool close) {
        {
            std::lock_guard guard(handOffLock_);
            if (lastCall_ == call.number) {
                if (close) {
                    closing = true;
                    closing_.fetch_add(1);
                }
                return false;
            }
        }
        orvLogger::debug(tag_,
                         "disconnect() - The application asked to connect, not disconnecting");
        return true;
    };
    if (!baseDevice_) {
        orvLogger::error(tag_, "disconnect() BaseDevice is null");
        return finish(false);
    }
    // The wait for a stable state counts from the last look that found the initialisation
    // running: the time its stop path took is not taken from the settling of its close.
    TimeoutControl timeout(kStableStateBudget);
    const TimeoutControl initStop(kInitStopBudget);
    // Whether the transport holds the connection of this call Connected now.
    const auto found = [&] { return linkOpenFor(self) == call.link; };
    while (true) {
        if (superseded(false)) return finish(true);
        const ConnectState state = connectState();
        // The connection of this call has ended; one opened since (by a later call) is not its
        // to end. A connection of this reader whose reports have not reached it yet (the
        // transport is still settling, or a report delivery is under way) takes the stop path.
        if (baseTransport_->linkNumber() != call.link ||
            (state == ConnectState::disconnected && !transportOpenFor(self))) {
            orvLogger::trace(tag_, "disconnect() - Already disconnected");
            return finish(true);
        }
        if ((state == ConnectState::disconnected || state == ConnectState::connected) && found()) {
            break;
        }
        // A connection being made ends by its initialisation's stop path, which the mark takes
        // at its next step; one whose initialisation does not stop in time (a reader that does
        // not answer) is ended here.
        if (state == ConnectState::connecting && initUnderWay(self)) {
            if (initStop.isTimeout() && found()) break;
            timeout.resetTime();
            Clock::sleepForMs(kStatePoll);
            continue;
        }
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
    if (superseded(true)) return finish(true);
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
    const bool result = baseTransport_->disconnectLink(call.link);
    // A connection that stays up keeps telling its tags.
    if (!result && connectState() == ConnectState::connected) events_->resume();
    return finish(result);
}

bool BaseReader::handOff(HandOff what) {
    {
        std::lock_guard guard(handOffLock_);
        if (what == HandOff::disconnect) {
            // A later handed-off disconnect() takes the place of one not begun.
            endCall_ = recordLocked(false);
            handedEnd_ = endCall_->number;
        } else {
            // Handed off right after an end handed off (no call between), queued or already at
            // work, it connects after that end, as the same calls on another thread would: it
            // continues that call, so the end is not superseded by it.
            if (what == HandOff::connect) recordLocked(true, lastCall_ == handedEnd_);
            if (standsLocked()) return false;
            // One connect() left for the end of the connection being made covers every later
            // one: no thread is started for each.
            const bool left = connectQueued_ && !handOffQueued_;
            connectQueued_ = true;
            if (left && settling()) return true;
        }
        if (std::exchange(handOffQueued_, true)) return true;
    }
    startHandOffs(what == HandOff::reconnect);
    return true;
}

void BaseReader::resumeHandOffs() {
    {
        std::lock_guard guard(handOffLock_);
        if (!connectQueued_ || std::exchange(handOffQueued_, true)) return;
    }
    startHandOffs(false);
}

void BaseReader::startHandOffs(bool onMain) {
    // A work item: the calls handed off belong to the reader, not to the log sink that may have
    // made them, so the records of the connection they end or make, the states they store and
    // the reconnect they may queue all reach the application as any others.
    auto item =
        std::make_shared<DispatchWorkItem>([weak = weak_from_this()](const DispatchWorkItem&) {
            if (const auto reader = weak.lock()) reader->runHandOffs();
        });
    // The automatic reconnect connects from the main queue; what a link thread hands off is the
    // library's work.
    if (onMain) {
        DispatchQueue::main()->async(std::move(item));
    } else {
        DispatchQueue::global()->async(std::move(item), DispatchWork::library);
    }
}

void BaseReader::runHandOffs() {
    for (;;) {
        std::optional<Call> end;
        bool connect = false;
        bool left = false;
        {
            std::lock_guard guard(handOffLock_);
            // One call at a time, the end first.
            end = std::exchange(endCall_, std::nullopt);
            if (!end && connectQueued_) {
                // A connection being made or ended decides: its Disconnected report starts this
                // thread again, its Connected makes the connect() needless.
                left = settling();
                connect = !left;
                if (connect) connectQueued_ = false;
            }
            if (!end && !connect) handOffQueued_ = false;
        }
        if (left) {
            orvLogger::trace(tag_, "connect() - Connect state is " + stateName(connectState()) +
                                       ", waiting for its end");
        }
        if (end) disconnectAs(CallBy::handOff, *end);
        if (connect) connectAs(CallBy::handOff);
        if (!end && !connect) return;
    }
}

bool BaseReader::settling() const {
    const ConnectState state = connectState();
    return state != ConnectState::disconnected &&
           (state != ConnectState::connected || endUnderWay());
}

bool BaseReader::connectionStands() const {
    std::lock_guard guard(handOffLock_);
    return standsLocked();
}

bool BaseReader::standsLocked() const {
    return !handOffQueued_ && connectState() == ConnectState::connected && !endUnderWay();
}

bool BaseReader::onOwnLinkThread() const {
    const auto protocol = baseProtocol();
    return protocol ? protocol->onLinkThread() : baseTransport_->readsOnThisThread();
}

bool BaseReader::endUnderWay() const {
    return closing_.load() > 0 || baseTransport_->connectState() != ConnectState::connected;
}

bool BaseReader::transportOpenFor(const std::shared_ptr<BaseReader>& self) const {
    return baseTransport_->connectState() != ConnectState::disconnected &&
           baseTransport_->isDelegate(self);
}

bool BaseReader::initUnderWay(const std::shared_ptr<BaseReader>& self) const {
    return baseTransport_->connectState() == ConnectState::connected &&
           baseTransport_->isDelegate(self);
}

std::optional<uint64_t> BaseReader::linkOpenFor(const std::shared_ptr<BaseReader>& self) const {
    // The number read on both sides of the state: a connection opened between the two reads is
    // not taken for the one found Connected.
    const uint64_t link = baseTransport_->linkNumber();
    if (!initUnderWay(self) || baseTransport_->linkNumber() != link) return std::nullopt;
    return link;
}

bool BaseReader::transportDisconnect() {
    return transportDisconnectLink(baseTransport_->linkNumber());
}

bool BaseReader::transportDisconnectLink(uint64_t link) {
    const auto self = weak_from_this().lock();
    const bool result = baseTransport_->disconnectLink(link);
    orvLogger::trace(tag_,
                     std::string("transportDisconnect() - Result: ") + (result ? "true" : "false"));
    return result;
}

void BaseReader::closeConnection(uint64_t link) {
    // A connection that is no longer current has ended: its Disconnected, or the next
    // connection's Connected, has been reported.
    if (isCurrentConnection(link)) transportDisconnectLink(link);
}

void BaseReader::connectStateEvent(const ConnectStateEventArgs& connectStateEventArgs) {
    linkStateEvent(connectStateEventArgs, baseTransport_->linkNumber());
}

void BaseReader::linkStateEvent(const ConnectStateEventArgs& connectStateEventArgs, uint64_t link) {
    const ConnectState state = connectStateEventArgs.connectState();
    orvLogger::debug(tag_, "*** Transport connect state event: " + stateName(state));
    if (state == ConnectState::connected) {
        // The reader stays Connecting until its initialisation sets Connected.
        onTransportConnected(link);
        return;
    }
    if (state == ConnectState::disconnected) onTransportDisconnected();
    storeState(state);
    if (state != ConnectState::disconnected) return;
    // Queued once the state is stored, so that it finds this end over. A connect() handed off
    // during this connection's making or end runs now, with the reconnect if there is one.
    if (autoReconnect_.exchange(false)) {
        queueReconnect();
    } else {
        resumeHandOffs();
    }
}

void BaseReader::onTransportConnected(uint64_t link) {
    events_->open();
    if (!baseDevice_) {
        orvLogger::error(tag_, " - Device is nil");
        transportDisconnectLink(link);
        return;
    }
    if (!baseDevice_->start()) {
        orvLogger::error(tag_, " - Failed to start device");
        transportDisconnectLink(link);
        return;
    }
    currentLink_.store(link);
    std::weak_ptr<BaseReader> weak = weak_from_this();
    auto item = std::make_shared<DispatchWorkItem>([weak, link](const DispatchWorkItem& self) {
        auto reader = weak.lock();
        if (!reader || self.isCancelled() || !reader->isCurrentConnection(link)) return;
        reader->asyncInitReader(link);
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
    currentLink_.store(0);
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
    // A connect() handed off like any other: it connects only while the application's last
    // call is a connect(), and a disconnect() made while it runs waits for it and ends it.
    handOff(HandOff::reconnect);
}

void BaseReader::setConnectState(ConnectState state) {
    storeState(state);
}

void BaseReader::storeState(ConnectState state) {
    storeStateIf([state](ConnectState) { return state; });
}

void BaseReader::storeStateIf(
    const std::function<std::optional<ConnectState>(ConnectState)>& next) {
    events_->tellState([&]() -> EventSequence::Task {
        const ConnectState current = connectState_.load();
        const std::optional<ConnectState> state = next(current);
        if (!state || *state == current) return nullptr;
        connectState_.store(*state);
        // Wakes a resting keep-alive loop (a leaf lock).
        keepAliveWake_->notify();
        return [weak = weak_from_this(), state = *state] {
            const auto self = weak.lock();
            if (!self) return;
            self->toldState_.store(state);
            self->triggerConnectStateEvent(state);
        };
    });
}

void BaseReader::tellReleasedEnd(std::function<void(const ConnectStateEventArgs&)> others) {
    // No teller tells a state of this reader any more (each holds the reader while it tells), so
    // the state heard last is settled.
    if (toldState_.load() == ConnectState::disconnected) return;
    std::weak_ptr<ReaderDelegate> reader;
    {
        std::lock_guard guard(delegateLock_);
        reader = readerDelegate_;
    }
    events_->tellState([&]() -> EventSequence::Task {
        return [tag = tag_, reader, others = std::move(others)] {
            const ConnectStateEventArgs args(nullptr, ConnectState::disconnected);
            // Each delegate on its own: what one throws never keeps the end from the other.
            const auto guarded = [&](const auto& call) {
                try {
                    call();
                } catch (const std::exception& e) {
                    orvLogger::error(tag, std::string("connectStateEvent - Application callback "
                                                      "threw: ") +
                                              e.what());
                } catch (...) {
                    orvLogger::error(tag,
                                     "connectStateEvent - Application callback threw: "
                                     "unknown exception");
                }
            };
            guarded([&] {
                if (const auto live = reader.lock()) live->connectStateEvent(args);
            });
            guarded([&] { others(args); });
        };
    });
}

void BaseReader::triggerConnectStateEvent(ConnectState state) {
    const auto self = weak_from_this().lock();
    const ConnectStateEventArgs args(linkUhfReader(), state);
    deliver(readerDelegate(), "connectStateEvent",
            [&](ReaderDelegate& delegate) { delegate.connectStateEvent(args); });
}

void BaseReader::asyncInitReader(uint64_t) {
    orvLogger::trace(tag_, "asyncInitReader() - No initialisation for this reader");
}

bool BaseReader::finishInitialisation(uint64_t link) {
    if (!isCurrentConnection(link)) return false;
    alive();
    if (baseDevice_) {
        baseDevice_->baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished));
    }
    // Connected before the loop starts, so its first turn finds the connection up; a connection
    // that has meanwhile dropped stays Disconnected, and one the application's last call no
    // longer wants ends.
    bool up = false;
    bool wanted = true;
    storeStateIf([&](ConnectState current) -> std::optional<ConnectState> {
        up = current == ConnectState::connected || current == ConnectState::connecting;
        wanted = connectionWanted_.load();
        if (!up || !wanted) return std::nullopt;
        return ConnectState::connected;
    });
    if (up && !wanted) {
        orvLogger::debug(tag_, "The application asked to disconnect, the connection ends");
        closeConnection(link);
        return false;
    }
    if (!up) return false;
    {
        // A connect() handed off while this connection was being made is needless now.
        std::lock_guard guard(handOffLock_);
        if (!handOffQueued_) connectQueued_ = false;
    }
    startKeepAlive(link);
    return isCurrentConnection(link);
}

}  // namespace orvane
