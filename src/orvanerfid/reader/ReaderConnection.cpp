// Connecting, disconnecting and following the transport's state reports.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
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
// How long a connect() waits for a link being opened for it: a hang guard only.
constexpr int kOpenGuard = 2 * BaseTransport::defaultTimeout;
// How long the close of such a connection may take once asked.
constexpr int kOverdueCloseBudget = 1000;
// Pauses after stopping a running inventory and after cancelling the keep-alive loop.
constexpr int kAfterStopPause = 100;

std::string stateName(ConnectState state) {
    return Utilities::getConnectStateDescription(state);
}

}  // namespace

// The meeting point of a call that waits and the sequence that answers it. Its mutex is held
// only to read or change the state: the caller never writes a record under it, and the
// sequence never waits on it.
struct BaseReader::Answer {
    enum class State { waiting, claimed, settled, abandoned };
    std::mutex lock;
    std::condition_variable changed;
    State state = State::waiting;
    bool value = false;
    // disconnect(): the connection being made whose end it asked (0: none), so the caller waits
    // for its initialisation's stop path and then asks the sequence to close it.
    uint64_t stopping = 0;

    // The sequence acts for the call: false when its caller gave up.
    bool claim() {
        std::lock_guard guard(lock);
        if (state == State::abandoned) return false;
        if (state == State::waiting) state = State::claimed;
        return true;
    }
    void give(bool result) {
        {
            std::lock_guard guard(lock);
            if (state == State::abandoned || state == State::settled) return;
            state = State::settled;
            value = result;
        }
        changed.notify_all();
    }
};

namespace {
// The reader whose sequence step runs on this thread, if any (only compared).
thread_local const BaseReader* tSequenceOf = nullptr;
}  // namespace

// The steps posted and not yet run, and whether a thread runs them. Shared with the pool thread
// that runs them and with work that posts without holding the reader. The lock only orders the
// posts: no step runs under it.
struct BaseReader::Steps {
    std::mutex lock;
    std::deque<Step> queue;
    bool running = false;
};

std::shared_ptr<BaseReader::Steps> BaseReader::makeSteps() {
    return std::make_shared<Steps>();
}

void BaseReader::post(Step step, bool here) {
    if (!here) {
        postStep(weak_from_this(), steps_, std::move(step));
        return;
    }
    {
        std::lock_guard guard(steps_->lock);
        if (steps_->running) {
            steps_->queue.push_back(std::move(step));
            return;
        }
        steps_->running = true;
    }
    runStep(step);
    {
        // Steps posted meanwhile (by other threads, or from inside this one) go on without it.
        std::lock_guard guard(steps_->lock);
        if (steps_->queue.empty()) {
            steps_->running = false;
            return;
        }
    }
    startDrain(weak_from_this(), steps_);
}

void BaseReader::postStep(const std::weak_ptr<BaseReader>& weak,
                          const std::shared_ptr<Steps>& steps, Step step) {
    {
        std::lock_guard guard(steps->lock);
        steps->queue.push_back(std::move(step));
        if (std::exchange(steps->running, true)) return;
    }
    startDrain(weak, steps);
}

void BaseReader::startDrain(const std::weak_ptr<BaseReader>& weak,
                            const std::shared_ptr<Steps>& steps) {
    // A work item: the steps are the reader's, never the log sink's work, even when a sink's
    // call posted them, so their records and states reach the application as any others.
    auto item = std::make_shared<DispatchWorkItem>(
        [weak, steps](const DispatchWorkItem&) { drainSteps(weak, steps); });
    DispatchQueue::global()->async(item, DispatchWork::library);
}

void BaseReader::drainSteps(const std::weak_ptr<BaseReader>& weak,
                            const std::shared_ptr<Steps>& steps) {
    for (;;) {
        Step step;
        {
            std::lock_guard guard(steps->lock);
            if (steps->queue.empty()) {
                steps->running = false;
                return;
            }
            step = std::move(steps->queue.front());
            steps->queue.pop_front();
        }
        // Held for one step only: a reader let go of runs none of its later steps.
        const auto self = weak.lock();
        if (self) self->runStep(step);
    }
}

void BaseReader::runStep(const Step& step) {
    const BaseReader* outer = std::exchange(tSequenceOf, this);
    try {
        step(*this);
    } catch (const std::exception& e) {
        orvLogger::error(tag_, std::string("connection step threw: ") + e.what());
    } catch (...) {
        orvLogger::error(tag_, "connection step threw");
    }
    tSequenceOf = outer;
}

void BaseReader::afterSteps(std::function<void()> block) {
    post([block = std::move(block)](BaseReader&) { block(); });
}

bool BaseReader::onOwnSequence() const {
    return tSequenceOf == this;
}

bool BaseReader::onAnySequence() {
    return tSequenceOf != nullptr;
}

void BaseReader::settle(std::vector<std::shared_ptr<Answer>>& answers, bool value) {
    for (const auto& answer : std::exchange(answers, {}))
        answer->give(value);
}

bool BaseReader::askEnd(uint64_t link) {
    uint64_t none = link << 2 | kEndNone;
    return endMark_.compare_exchange_strong(none, link << 2 | kEndAsked) ||
           none == (link << 2 | kEndAsked);
}

bool BaseReader::withdrawEnd(uint64_t link) {
    uint64_t asked = link << 2 | kEndAsked;
    return endMark_.compare_exchange_strong(asked, link << 2 | kEndNone);
}

bool BaseReader::endAsked(uint64_t link) {
    uint64_t mark = endMark_.load();
    while ((mark >> 2) == link) {
        if ((mark & 3) == kEndNone) return false;
        if ((mark & 3) == kEndTaken) return true;
        if (endMark_.compare_exchange_weak(mark, link << 2 | kEndTaken)) return true;
    }
    return false;
}

bool BaseReader::connect() {
    // The application may drop its last reference inside a report this call delivers.
    const auto self = weak_from_this().lock();
    orvLogger::trace(tag_, "+++ connect() ");
    const auto done = [&](bool result) {
        orvLogger::trace(tag_, "--- connect() ");
        return result;
    };
    // A thread the sequence may wait for, or a step of it: the call is posted and answered at
    // once.
    const bool linkThread = BaseProtocol::onAnyLinkThread() || onAnySequence();
    if (!linkThread) applicationConnects_.fetch_add(1);
    if (!baseDevice_) {
        orvLogger::error(tag_, "connect() baseDevice is nil");
        return done(false);
    }
    // The shared accessory transport belongs to the last reader made for it: an earlier reader
    // connecting it again would take the link from under the newer one.
    if (baseTransport_->delegate().get() != static_cast<TransportDelegate*>(this)) {
        orvLogger::error(tag_, "connect() - Transport is used by another reader");
        return done(false);
    }
    const bool stands = connectState() == ConnectState::connected &&
                        baseTransport_->connectState() == ConnectState::connected;
    if (linkThread && !onOwnLinkThread() && !onOwnSequence()) {
        // Another reader's link thread or step: nothing is asked of this reader from there. A
        // standing connection answers true, anything else false.
        if (stands) {
            orvLogger::trace(tag_, "connect() - Already connected");
        } else {
            orvLogger::error(tag_,
                             "connect() - " + std::string(BaseProtocol::linkThreadRefusal(false)));
        }
        return done(stands);
    }
    if (linkThread) {
        // Waiting here would wait for this very thread: the sequence connects, after whatever was
        // asked before.
        if (stands) {
            orvLogger::trace(tag_, "connect() - Already connected");
        } else {
            orvLogger::debug(tag_,
                             "connect() - On the reader's own receive or read thread, handed "
                             "to another thread");
        }
        post([](BaseReader& reader) { reader.askConnect(nullptr); });
        return done(true);
    }
    setInitEngine(false);
    const auto answer = std::make_shared<Answer>();
    post([answer](BaseReader& reader) { reader.askConnect(answer); }, true);
    return done(awaitConnect(answer));
}

bool BaseReader::awaitConnect(const std::shared_ptr<Answer>& answer) {
    const TimeoutControl timeout(kStableStateBudget);
    const TimeoutControl guard(kOpenGuard);
    std::unique_lock lock(answer->lock);
    for (;;) {
        Clock::waitFor(answer->changed, lock, std::chrono::milliseconds(kStatePoll),
                       [&] { return answer->state == Answer::State::settled; });
        if (answer->state == Answer::State::settled) return answer->value;
        // A connection being opened for the call is waited for, within a hang guard.
        const bool claimed = answer->state == Answer::State::claimed;
        if (claimed ? guard.isTimeout() : timeout.isTimeout()) {
            answer->state = Answer::State::abandoned;
            lock.unlock();
            orvLogger::error(tag_, "connect() - Waiting connect state valid Timeout");
            return false;
        }
        lock.unlock();
        orvLogger::trace(
            tag_, "connect() - Connect state is " + stateName(connectState()) + ", waiting...");
        lock.lock();
    }
}

bool BaseReader::linkGoing() const {
    return baseTransport_->connectState() != ConnectState::connected ||
           baseTransport_->linkNumber() != link_;
}

void BaseReader::askConnect(const std::shared_ptr<Answer>& answer) {
    wanted_ = true;
    // A disconnect() whose end the initialisation has not taken yet ends nothing now.
    if (phase_ == Phase::making && withdrawEnd(link_)) {
        orvLogger::debug(tag_,
                         "disconnect() - The application asked to connect, not disconnecting");
        settle(disconnectWaiters_, true);
    }
    if (connectState() == ConnectState::listen) {
        orvLogger::error(tag_, "connect() - Invalid connect state - " + stateName(connectState()));
        if (answer) answer->give(false);
        return;
    }
    // A standing connection whose link is going (closed by a failure rule or an operation, or
    // dropped) is not answered for: its end is waited for.
    const bool going = phase_ == Phase::standing && linkGoing();
    // A call handed off writes records only where it acts, so a log sink that calls connect()
    // on every record is not fed by its own calls.
    switch (going ? Phase::closing : phase_) {
        case Phase::standing:
            if (answer) {
                orvLogger::trace(tag_, "connect() - Already connected");
                answer->give(true);
            }
            return;
        case Phase::none:
        case Phase::opening:
            if (answer) connectWaiters_.push_back(answer);
            if (!answer) connectOwed_ = true;
            // An open already owed once the ended connection's initialisation work lets go
            // covers a connect() handed off meanwhile; the application's own call opens now.
            if (answer || !openAfterInit_) openOwed();
            return;
        case Phase::making:
        case Phase::closing:
            // Answered once this connection stands, or connected again once it has ended.
            if (answer) {
                orvLogger::trace(tag_, "connect() - Connect state is " + stateName(connectState()) +
                                           ", waiting for its end");
                connectWaiters_.push_back(answer);
            } else if (!std::exchange(connectOwed_, true)) {
                orvLogger::trace(tag_, "connect() - Connect state is " + stateName(connectState()) +
                                           ", waiting for its end");
            }
            return;
    }
}

void BaseReader::openOwed() {
    openAfterInit_ = false;
    if (phase_ != Phase::none) return;
    const auto self = shared_from_this();
    // The calls whose callers still wait are answered by this open; those that gave up are not
    // owed one.
    std::vector<std::shared_ptr<Answer>> claimed;
    for (const auto& waiter : std::exchange(connectWaiters_, {})) {
        if (waiter->claim()) claimed.push_back(waiter);
    }
    // A disconnect() clears what is owed and answers the waiting calls, so nothing is owed once
    // the last call is a disconnect().
    if (!std::exchange(connectOwed_, false) && claimed.empty()) return;
    orvLogger::trace(tag_, "connect() Trigger transport connect");
    // The open's state reports reach the reader inside it, on this thread (see linkStateEvent):
    // its Connecting names the connection being made.
    phase_ = Phase::opening;
    // Refused when another reader has taken the transport.
    const bool result = baseTransport_->connectFor(self);
    if (phase_ == Phase::opening) {
        // Its reports are delivered by another thread (one delivering the transport's reports
        // already), and follow as steps.
        phase_ = result ? Phase::making : Phase::none;
        link_ = result ? baseTransport_->linkNumber() : 0;
        if (result) endMark_.store(link_ << 2 | kEndNone);
    }
    if (!result && !baseTransport_->isDelegate(self)) {
        orvLogger::error(tag_, "connect() - Transport is used by another reader");
    }
    settle(claimed, result);
}

bool BaseReader::disconnect() {
    const auto self = weak_from_this().lock();
    orvLogger::trace(tag_, "+++ disconnect() ");
    if (BaseProtocol::onAnyLinkThread() || onAnySequence()) {
        // Closing the link waits for this reader's link threads (this very one, or ones that may
        // wait for it): the sequence does it, as asked here.
        orvLogger::debug(tag_,
                         "disconnect() - On a receive or read thread, handed to "
                         "another thread");
        post([](BaseReader& reader) { reader.askDisconnect(nullptr); });
        orvLogger::trace(tag_, "--- disconnect() ");
        return true;
    }
    bool result = false;
    if (!baseDevice_) {
        orvLogger::error(tag_, "disconnect() BaseDevice is null");
    } else {
        const auto answer = std::make_shared<Answer>();
        post([answer](BaseReader& reader) { reader.askDisconnect(answer); }, true);
        result = awaitDisconnect(answer);
    }
    orvLogger::trace(tag_, "--- disconnect() ");
    return result;
}

bool BaseReader::awaitDisconnect(const std::shared_ptr<Answer>& answer) {
    // A connection being made ends by its initialisation's stop path; one whose initialisation
    // has not stopped in time (a reader that does not answer) is closed by the sequence, asked
    // once the stop budget is spent. Any other wait is bounded by the stable-state budget.
    const TimeoutControl timeout(kStableStateBudget);
    const TimeoutControl initStop(kInitStopBudget);
    std::optional<TimeoutControl> overdue;
    std::unique_lock lock(answer->lock);
    for (;;) {
        Clock::waitFor(answer->changed, lock, std::chrono::milliseconds(kStatePoll),
                       [&] { return answer->state == Answer::State::settled; });
        if (answer->state == Answer::State::settled) return answer->value;
        const bool stopping = answer->stopping != 0;
        if (stopping ? overdue && overdue->isTimeout() : timeout.isTimeout()) {
            answer->state = Answer::State::abandoned;
            lock.unlock();
            orvLogger::error(tag_, "disconnect() - Waiting connect state valid Timeout");
            return false;
        }
        lock.unlock();
        if (stopping && !overdue && initStop.isTimeout()) {
            overdue.emplace(kOverdueCloseBudget);
            post([answer](BaseReader& reader) { reader.closeOverdue(answer); });
        }
        orvLogger::trace(
            tag_, "disconnect() - Connect state is " + stateName(connectState()) + ", waiting...");
        lock.lock();
    }
}

void BaseReader::askDisconnect(const std::shared_ptr<Answer>& answer) {
    wanted_ = false;
    // The connects still waiting are not wanted any more.
    connectOwed_ = false;
    openAfterInit_ = false;
    if (!connectWaiters_.empty()) {
        orvLogger::debug(tag_, "connect() - The application asked to disconnect, not connecting");
        settle(connectWaiters_, false);
    }
    if (connectState() == ConnectState::listen) {
        orvLogger::error(tag_,
                         "disconnect() - Invalid connect state - " + stateName(connectState()));
        if (answer) answer->give(false);
        return;
    }
    // A call handed off writes records only where it acts (see askConnect): on a standing
    // connection.
    const bool handed = !answer && phase_ == Phase::standing;
    if (handed) orvLogger::trace(tag_, "+++ disconnect() ");
    // A connection whose link has already gone: its reports are on their way.
    const bool gone = phase_ == Phase::standing && linkGoing();
    if (phase_ == Phase::none || phase_ == Phase::opening || gone) {
        if (answer || handed) orvLogger::trace(tag_, "disconnect() - Already disconnected");
        if (answer) answer->give(true);
        if (gone) phase_ = Phase::closing;
        if (handed) orvLogger::trace(tag_, "--- disconnect() ");
        return;
    }
    // A caller that gave up is not answered; its call still decides.
    const bool waits = answer && answer->claim();
    if (waits) disconnectWaiters_.push_back(answer);
    switch (phase_) {
        case Phase::none:
        case Phase::opening:
        case Phase::closing:
            // Answered by this connection's end.
            break;
        case Phase::standing:
            closeStanding();
            if (handed) orvLogger::trace(tag_, "--- disconnect() ");
            break;
        case Phase::making:
            // Its initialisation ends it at its next look; one that does not (a reader that does
            // not answer) is closed once the caller's wait for that is over.
            askEnd(link_);
            if (waits) {
                std::lock_guard guard(answer->lock);
                answer->stopping = link_;
            }
            break;
    }
}

void BaseReader::closeOverdue(const std::shared_ptr<Answer>& answer) {
    if (phase_ != Phase::making || link_ != answer->stopping) return;
    endAsked(link_);
    phase_ = Phase::closing;
    transportDisconnectLink(link_);
}

void BaseReader::closeStanding() {
    phase_ = Phase::closing;
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
    const uint64_t link = link_;
    if (baseTransport_->disconnectLink(link)) return;
    // A connection that stays up keeps telling its tags.
    phase_ = Phase::standing;
    if (connectState() == ConnectState::connected) events_->resume();
    settle(disconnectWaiters_, false);
}

void BaseReader::closeAsked(uint64_t link) {
    // A connection that has ended, or a later one, is not this close's to end.
    if (link == 0 || link != link_ || phase_ == Phase::none) return;
    phase_ = Phase::closing;
    transportDisconnectLink(link);
}

void BaseReader::initialisationFinished(uint64_t link) {
    if (link != link_ || phase_ != Phase::making) return;
    // A disconnect() asked while the last steps ran: the connection ends instead of standing.
    if (endAsked(link) || !wanted_) {
        orvLogger::debug(tag_, "The application asked to disconnect, the connection ends");
        phase_ = Phase::closing;
        transportDisconnectLink(link);
        return;
    }
    alive();
    if (baseDevice_) {
        baseDevice_->baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished));
    }
    // Connected before the loop starts, so its first turn finds the connection up.
    phase_ = Phase::standing;
    connectOwed_ = false;
    storeState(ConnectState::connected);
    startKeepAlive(link);
    settle(connectWaiters_, true);
}

void BaseReader::reportArrived(ConnectState state, uint64_t link) {
    // The connection the sequence is opening, or one the transport opened for the reader
    // without it: the reader follows it.
    const bool adopt = phase_ == Phase::opening || phase_ == Phase::none;
    if (adopt && (state == ConnectState::connecting || state == ConnectState::connected)) {
        link_ = link;
        phase_ = Phase::making;
        endMark_.store(link << 2 | kEndNone);
    }
    if (state == ConnectState::connected) {
        // The reader stays Connecting until its initialisation sets Connected. A link the
        // sequence did not open for this reader (or one whose end was asked meanwhile) ends.
        if (link != link_ || phase_ != Phase::making) return;
        if (endAsked(link) || !wanted_) {
            if (!wanted_) {
                orvLogger::debug(tag_, "The application asked to disconnect, the connection ends");
            }
            phase_ = Phase::closing;
            transportDisconnectLink(link);
            return;
        }
        onTransportConnected(link);
        return;
    }
    if (state != ConnectState::disconnected) {
        storeState(state);
        return;
    }
    // A report of a connection the sequence has already left behind changes nothing.
    if (link_ != 0 && link != link_) return;
    // The automatic reconnect (after a mode switch) is taken with the end it follows.
    const bool reconnect = autoReconnect_.exchange(false);
    onTransportDisconnected();
    link_ = 0;
    phase_ = Phase::none;
    storeState(state);
    settle(disconnectWaiters_, true);
    if (!wanted_) {
        settle(connectWaiters_, false);
        connectOwed_ = false;
        return;
    }
    // The reconnect carries out what the application asked: the connection is owed unless a
    // later disconnect() comes first.
    if (reconnect) connectOwed_ = true;
    if (!connectOwed_ && connectWaiters_.empty()) return;
    // Owed by a step of its own, after whatever was asked before it (a disconnect() made inside
    // this very step comes first).
    post([](BaseReader& reader) { reader.oweOpen(); });
}

void BaseReader::oweOpen() {
    if (!wanted_ || phase_ != Phase::none || (!connectOwed_ && connectWaiters_.empty())) return;
    // The ended connection's initialisation may still hold the reader: the open waits for it to
    // let go, so a reader the application let go of opens nothing.
    openAfterInit_ = true;
    initWorkEnded();
}

void BaseReader::initWorkEnded() {
    if (!openAfterInit_ || initWork_->load() > 0) return;
    openAfterInit_ = false;
    if (phase_ == Phase::none) openOwed();
}

std::shared_ptr<DispatchWorkItem> BaseReader::queueInitWork(
    const std::shared_ptr<DispatchQueue>& queue, std::function<void(BaseReader&)> work) {
    auto item = std::make_shared<DispatchWorkItem>(
        [weak = weak_from_this(), count = initWork_, steps = steps_,
         work = std::move(work)](const DispatchWorkItem& self) {
            // Counted while it runs (an item cancelled before it started never runs), and
            // counted down on every way out once the reader is let go here, then told without
            // holding it: a step that finds the reader gone does nothing.
            struct Running {
                const std::weak_ptr<BaseReader>& weak;
                const std::shared_ptr<std::atomic<int>>& count;
                const std::shared_ptr<Steps>& steps;
                ~Running() {
                    count->fetch_sub(1);
                    postStep(weak, steps, [](BaseReader& r) { r.initWorkEnded(); });
                }
            };
            count->fetch_add(1);
            const Running running{weak, count, steps};
            const auto reader = weak.lock();
            if (reader && !self.isCancelled()) work(*reader);
        });
    queue->async(item, DispatchWork::library);
    return item;
}

bool BaseReader::onOwnLinkThread() const {
    const auto protocol = baseProtocol();
    return protocol ? protocol->onLinkThread() : baseTransport_->readsOnThisThread();
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
    post([link](BaseReader& reader) { reader.closeAsked(link); });
}

void BaseReader::connectStateEvent(const ConnectStateEventArgs& connectStateEventArgs) {
    linkStateEvent(connectStateEventArgs, baseTransport_->linkNumber());
}

void BaseReader::linkStateEvent(const ConnectStateEventArgs& connectStateEventArgs, uint64_t link) {
    const ConnectState state = connectStateEventArgs.connectState();
    orvLogger::debug(tag_, "*** Transport connect state event: " + stateName(state));
    // A report of a close or open the sequence's own step made is part of that step.
    if (onOwnSequence()) {
        reportArrived(state, link);
    } else {
        post([state, link](BaseReader& reader) { reader.reportArrived(state, link); });
    }
}

void BaseReader::onTransportConnected(uint64_t link) {
    events_->open();
    if (!baseDevice_) {
        orvLogger::error(tag_, " - Device is nil");
        phase_ = Phase::closing;
        transportDisconnectLink(link);
        return;
    }
    if (!baseDevice_->start()) {
        orvLogger::error(tag_, " - Failed to start device");
        phase_ = Phase::closing;
        transportDisconnectLink(link);
        return;
    }
    currentLink_.store(link);
    auto item = queueInitWork(initReaderQueue_, [link](BaseReader& reader) {
        if (reader.isCurrentConnection(link)) reader.asyncInitReader(link);
    });
    std::shared_ptr<DispatchWorkItem> previous;
    {
        std::lock_guard guard(fieldsLock_);
        previous = std::exchange(initReaderWorkItem_, item);
    }
    if (previous) previous->cancel();
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
        // Taken now: the reader may be gone when the end is told.
        std::vector<EndListener> end;
        if (*state == ConnectState::disconnected) end = endListeners();
        return [weak = weak_from_this(), state = *state, end = std::move(end), told = toldState_,
                tag = tag_] {
            if (const auto self = weak.lock()) {
                told->store(state);
                self->triggerConnectStateEvent(state);
                return;
            }
            // Let go of before its turn: only the end is told, with no reader, unless it was the
            // state heard last.
            if (state != ConnectState::disconnected ||
                told->exchange(ConnectState::disconnected) == ConnectState::disconnected) {
                return;
            }
            const ConnectStateEventArgs args(nullptr, ConnectState::disconnected);
            // Each listener on its own: what one throws never keeps the end from the other.
            for (const auto& listener : end) {
                try {
                    listener(args);
                } catch (const std::exception& e) {
                    orvLogger::error(
                        tag,
                        std::string("connectStateEvent - Application callback threw: ") + e.what());
                } catch (...) {
                    orvLogger::error(tag,
                                     "connectStateEvent - Application callback threw: unknown "
                                     "exception");
                }
            }
        };
    });
}

std::vector<BaseReader::EndListener> BaseReader::endListeners() const {
    std::weak_ptr<ReaderDelegate> reader;
    {
        std::lock_guard guard(delegateLock_);
        reader = readerDelegate_;
    }
    return {[reader](const ConnectStateEventArgs& args) {
        if (const auto live = reader.lock()) live->connectStateEvent(args);
    }};
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
    post([link](BaseReader& reader) { reader.initialisationFinished(link); });
    return true;
}

}  // namespace orvane
