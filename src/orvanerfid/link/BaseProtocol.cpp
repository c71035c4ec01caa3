#include "orvanerfid/link/BaseProtocol.h"

#include <exception>

#include "orvanerfid/core/Logger.h"

namespace orvane {

BaseProtocol::BaseProtocol(std::string className, std::shared_ptr<BaseTransport> transport,
                           std::shared_ptr<DispatchQueue> receiveQueue)
    : className_(std::move(className)),
      transport_(std::move(transport)),
      receiveLoop_(std::move(receiveQueue), this) {}

BaseProtocol::~BaseProtocol() {
    receiveLoop_.stop();
    if (transport_) transport_->wakeReceivers();
}

void BaseProtocol::launchReceiveLoop(std::function<void()> prepare) {
    auto owner = weak_from_this();
    if (owner.expired()) {
        orvLogger::error(className_, "start() needs the protocol held by a shared_ptr");
        return;
    }
    std::shared_ptr<BaseTransport> transport = transport_;
    const auto target = delegate();
    const uint64_t mark = target ? target->receiveStarting() : 0;
    ReceiveLoop::Hooks hooks{
        [this](const DispatchWorkItem& self) { return receiveTurn(self); },
        [transport](const DispatchWorkItem& self) {
            transport->waitForReceived(receiveRest, [&self] { return self.isCancelled(); });
        },
        [this](bool current) { receiveEnded(current); },
        std::move(prepare),
        [this, mark] {
            if (const auto target = delegate()) target->receiveFinished(mark);
        },
        [this](uint64_t loop, std::size_t count) {
            if (const auto target = delegate()) target->endedTagReports(loop, count);
        },
        mark,
    };
    receiveLoop_.start(std::move(owner), std::move(hooks));
}

std::shared_ptr<BaseProtocolDelegate> BaseProtocol::delegate() const {
    std::lock_guard guard(delegateLock_);
    return delegate_.lock();
}

void BaseProtocol::setDelegate(std::weak_ptr<BaseProtocolDelegate> delegate) {
    std::lock_guard guard(delegateLock_);
    delegate_ = std::move(delegate);
}

namespace {
// The flag of the WriteWatch of the calling thread, if any.
thread_local std::atomic<bool>* watchedWrites = nullptr;
}  // namespace

BaseProtocol::WriteWatch::WriteWatch(std::atomic<bool>& wrote) : previous_(watchedWrites) {
    watchedWrites = &wrote;
}

BaseProtocol::WriteWatch::~WriteWatch() {
    watchedWrites = previous_;
}

ResultCode BaseProtocol::write(ByteView data) {
    if (watchedWrites) watchedWrites->store(true);
    try {
        const int size = static_cast<int>(data.size());
        const int written = transport_->write(data, 0, size, writeTimeout);
        return written == size ? ResultCode::noError : ResultCode::otherError;
    } catch (const ReaderException& e) {
        return e.resultCode();
    } catch (const std::exception& e) {
        orvLogger::error(className_, std::string("post error: ") + e.what());
        return ResultCode::otherError;
    }
}

void BaseProtocol::stop() {
    orvLogger::info(className_, "*** stop()");
    receiveLoop_.stop();
    transport_->wakeReceivers();
}

void BaseProtocol::pumpEvent(const ProtocolEventArgs&) {}

Response BaseProtocol::refusedOnLinkThread(std::string_view operation) const {
    orvLogger::error(className_, std::string(operation) + " - " + std::string(linkThreadRefusal()));
    return {ResultCode::inOperation, std::nullopt};
}

std::string_view BaseProtocol::linkThreadRefusal(bool own) {
    return own ? "Called on the reader's own receive or read thread"
               : "Called on another reader's receive or read thread";
}

bool BaseProtocol::onAnyLinkThread() {
    return ReceiveLoop::contextOnThisThread() != nullptr ||
           BaseTransport::readingOnThisThread() != nullptr;
}

uint64_t BaseProtocol::linkEnds() const {
    return transport_->linkEnds();
}

bool BaseProtocol::linkDropped(uint64_t ends) const {
    return transport_->connectState() == ConnectState::disconnected ||
           transport_->linkEnds() != ends;
}

void BaseProtocol::notify(const std::shared_ptr<BaseProtocolDelegate>& target,
                          const ProtocolEventArgs& event) const {
    if (!target) return;
    try {
        target->protocolEvent(event);
    } catch (const std::exception& e) {
        orvLogger::error(className_, std::string("protocolEvent threw: ") + e.what());
    } catch (...) {
        orvLogger::error(className_, "protocolEvent threw");
    }
}

namespace {
// The send turns each thread holds (per thread, so no lock).
thread_local int sendTurnsHeld = 0;
}  // namespace

bool BaseProtocol::holdsSendTurn() {
    return sendTurnsHeld > 0;
}

BaseProtocol::SendTurnMark::SendTurnMark() {
    ++sendTurnsHeld;
}

BaseProtocol::SendTurnMark::~SendTurnMark() {
    --sendTurnsHeld;
}

void BaseProtocol::FairLock::lock(const std::function<void()>& whileWaiting) {
    std::unique_lock guard(lock_);
    const uint64_t ticket = next_++;
    while (serving_ != ticket) {
        if (!whileWaiting) {
            turn_.wait(guard, [&] { return serving_ == ticket; });
            continue;
        }
        turn_.wait_for(guard, std::chrono::milliseconds(5), [&] { return serving_ == ticket; });
        if (serving_ == ticket) break;
        guard.unlock();
        try {
            whileWaiting();
        } catch (...) {
            // The ticket is kept whatever happens: a lost one would stop every later taker.
        }
        guard.lock();
    }
    ++sendTurnsHeld;
}

void BaseProtocol::FairLock::unlock() {
    --sendTurnsHeld;
    {
        std::lock_guard guard(lock_);
        ++serving_;
    }
    turn_.notify_all();
}

}  // namespace orvane
