#pragma once

// The template members of BaseUhf's pipeline; included by the UHF objects' sources only.

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/platform/Clock.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "orvanerfid/uhf/ModuleLock.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"

namespace orvane {

namespace uhf_detail {

// Calls application code (a completion, a delegate); what it throws is logged and dropped.
template <typename F, typename... Args>
void callSafely(std::string_view tag, const F& f, Args&&... args) noexcept {
    if (!f) return;
    try {
        f(std::forward<Args>(args)...);
    } catch (const std::exception& e) {
        orvLogger::error(tag, std::string("An application callback threw: ") + e.what());
    } catch (...) {
        orvLogger::error(tag, "An application callback threw");
    }
}

// Whether a driver's answer has been taken: the first answer wins, a later one is dropped.
struct AnswerWatch {
    std::mutex mutex;
    std::condition_variable answered;
    bool taken = false;
    // Whether the driver call tried to write to the reader.
    std::atomic<bool> wrote{false};
    // The connection the operation runs on: a failure counted against it ends that one only.
    uint64_t link = 0;

    bool take() {
        {
            std::lock_guard guard(mutex);
            if (taken) return false;
            taken = true;
        }
        answered.notify_all();
        return true;
    }
    bool isTaken() {
        std::lock_guard guard(mutex);
        return taken;
    }
};

// The UHF object whose after-stop queue runs a call on this thread; null on every other thread.
// Only compared, never dereferenced: a call that would wait in an after-stop queue, made on such
// a thread, would wait for that very thread (its own object's queue) or for a queue that may be
// waiting for it (another object's).
inline thread_local const void* tServesAfterStopQueue = nullptr;

// The code a tag access gets when its turn comes in the after-stop queue; its caller waits for it.
struct QueuedCode {
    std::mutex mutex;
    std::condition_variable given;
    std::optional<ResultCode> code;

    void give(ResultCode value) {
        {
            std::lock_guard guard(mutex);
            code = value;
        }
        given.notify_all();
    }
    ResultCode wait() {
        std::unique_lock guard(mutex);
        given.wait(guard, [&] { return code.has_value(); });
        return *code;
    }
};

}  // namespace uhf_detail

template <typename Value>
ResultCode BaseUhf::runPipeline(Run<Value> run) {
    return pipeline(std::move(run), false);
}

template <typename Value>
ResultCode BaseUhf::pipeline(Run<Value> run, bool fromQueue) {
    const std::string signature(run.signature);
    // A run from the after-stop queue has taken its turn once it holds the lock or is refused:
    // from then on a call made is no longer made while it waits (its own refusal's completion,
    // called on the queue's thread, included).
    bool turnOpen = fromQueue;
    const auto endTurn = [&] {
        if (!turnOpen) return;
        turnOpen = false;
        deferredRuns_.fetch_sub(1);
    };
    // The supported-operation check, without the lock.
    if (run.id && !isSupport(*run.id)) {
        endTurn();
        logError(signature + " - Not supported");
        refuse(run, ResultCode::notSupported);
        return ResultCode::notSupported;
    }
    // The receive and read threads bring the replies of every operation: a call made on this
    // reader's (a log sink's) would wait for the lock, or its driver for a reply, that only that
    // thread can free; one made on another reader's would hold that reader's link meanwhile,
    // which the operation holding this lock may be waiting for. Refused on the link threads of
    // every reader, whether the lock is held or not.
    if (BaseProtocol::onAnyLinkThread()) {
        endTurn();
        logError(signature + " - " +
                 std::string(baseProtocol_ ? baseProtocol_->linkThreadRefusal()
                                           : BaseProtocol::linkThreadRefusal(false)));
        refuse(run, ResultCode::inOperation);
        return ResultCode::inOperation;
    }
    // An inventory a stop was answered for ends in a report of its own: the operations after the
    // stop (but another stop) wait for it, as the stop's own reply came first. A thread that works
    // under a module lock never waits for it (nor queues): the lock decides below.
    const bool underLock = lockModule_->worksOnThisThread();
    const bool awaitsEnd = run.family != Family::stop && !underLock;
    // While calls of this object wait in the after-stop queue, every call joins them, a stop
    // included, from whatever thread (the queue's own too): none overtakes one made before it.
    // While the end is awaited, every call but a stop joins them too.
    if (!fromQueue && !underLock &&
        (deferredRuns_.load() > 0 || (awaitsEnd && stoppedInventoryPending()))) {
        return defer(std::move(run));
    }
    if (awaitsEnd) awaitStoppedInventory(signature);
    // The module lock: a caller waits for the operation that holds it. A call made on a thread
    // that works under it, even through an operation of another UHF object, would wait for
    // itself: refused.
    if (lockModule_->acquire() == ModuleLock::Take::reentrant) {
        endTurn();
        logError(signature + " - Called while this thread holds the module lock");
        refuse(run, ResultCode::inOperation);
        return ResultCode::inOperation;
    }
    // Holding the lock, this run's turn is taken: a call made from now on waits for the lock
    // behind it.
    endTurn();
    auto hold = std::make_shared<ModuleLockHold>(lockModule_);
    // The stop that held the lock may have been answered while this call waited for it.
    if (awaitsEnd) awaitStoppedInventory(signature);
    // The module and action-state check, the operation's argument checks and the driver check;
    // what they find is logged once the lock is released.
    std::optional<Refusal> refusal;
    const Check check = checkModule(run.family != Family::stop);
    if (check.code != ResultCode::noError) {
        refusal =
            Refusal{check.code, signature +
                                    (run.family == Family::stop ? " - Assert module failed - "
                                                                : " - Assert action failed - ") +
                                    std::string(description(check.code))};
    } else if (run.checks) {
        refusal = run.checks();
    }
    if (!refusal && run.driverCheck && run.family != Family::setting && !uhfModule_) {
        refusal = Refusal{ResultCode::invalidModuleObject, signature + " - UHF Module is nil"};
    }
    if (refusal) {
        hold->release();
        for (const auto& line : check.lines)
            orvLogger::error(line);
        logError(refusal->text);
        refuse(run, refusal->code);
        return refusal->code;
    }
    // The hop to the global queue; the lock stays held. This thread lets it go once the work is
    // queued: the records it held reach the sink then, and a sink that calls this object waits
    // for a release that will come.
    const std::string started = run.startedText;
    DispatchQueue::global()->async(
        [self = shared_from_this(), run = std::move(run), hold] { self->work(run, hold); });
    lockModule_->handOff();
    // The record of a started tag access.
    if (!started.empty()) logInfo(started);
    return ResultCode::noError;
}

template <typename Value>
ResultCode BaseUhf::defer(Run<Value> run) {
    // A tag access is answered by its return code: its caller waits for the code it gets when its
    // turn comes. On a thread that runs an after-stop queue's call, that wait could never end
    // (this object's queue runs on this very thread) or could wait for a queue that waits for
    // this thread (another object's): refused, as the module lock refuses a re-entrant call.
    const bool answered = static_cast<bool>(run.answer);
    if (!answered && uhf_detail::tServesAfterStopQueue != nullptr) {
        logError(std::string(run.signature) +
                 " - Called on a thread that runs the calls deferred behind a stopped "
                 "inventory's end, where its turn could not come");
        return ResultCode::inOperation;
    }
    const auto reply = answered ? nullptr : std::make_shared<uhf_detail::QueuedCode>();
    deferredRuns_.fetch_add(1);
    afterStopQueue_->async([self = shared_from_this(), run = std::move(run), reply]() mutable {
        const void* const served = uhf_detail::tServesAfterStopQueue;
        uhf_detail::tServesAfterStopQueue = self.get();
        const ResultCode code = self->pipeline(std::move(run), true);
        uhf_detail::tServesAfterStopQueue = served;
        if (reply) reply->give(code);
    });
    return reply ? reply->wait() : ResultCode::noError;
}

template <typename Value>
void BaseUhf::work(const Run<Value>& run, const std::shared_ptr<ModuleLockHold>& hold) {
    lockModule_->adopt();
    const std::shared_ptr<BaseUhfModule> driver = uhfModule_;
    if (!driver) {
        // The settings check for their driver here, first thing of the work.
        hold->release();
        logError(std::string(run.signature) + " - UHF Module is nil");
        uhf_detail::callSafely(TAG(), run.answer, ResultCode::invalidModuleObject, std::nullopt);
        return;
    }
    // The action change that starts a tag access or an inventory: the reader is in the new state
    // before the driver is asked. The application hears of it from the reader's event order,
    // never from this thread, so the operation goes on (and releases the lock) meanwhile.
    if (run.family == Family::tagAccess || run.family == Family::inventory) {
        postActionState(run.actionState);
    }
    // The driver call. The driver answers through `done`; a driver that returns without
    // answering is given its own timeout before the operation ends with 0x7000.
    auto watch = std::make_shared<uhf_detail::AnswerWatch>();
    watch->link = currentLink();
    const auto self = shared_from_this();
    const auto done = [self, run, hold, watch](ResultCode code,
                                               std::type_identity_t<std::optional<Value>> value) {
        if (!watch->take()) {
            self->logError(std::string(run.signature) + " - Late answer dropped (" +
                           std::string(description(code)) + ")");
            return;
        }
        self->finish(run, hold, code, std::move(value), watch->wrote.load(), watch->link);
    };
    const Clock::time_point start = Clock::now();
    try {
        const BaseProtocol::WriteWatch writes(watch->wrote);
        run.call(*driver, done);
    } catch (const CodedError& e) {
        done(e.resultCode(), std::nullopt);
    } catch (...) {
        done(ResultCode::otherError, std::nullopt);
    }
    // The operation ended here (and released the lock), or a driver answers from elsewhere,
    // watched by a timeout queued before this thread lets the lock go (the records it held reach
    // the sink then, and a sink that calls this object waits for that answer or that timeout).
    if (!watch->isTaken()) {
        const auto budget = std::chrono::milliseconds(driver->timeout());
        DispatchQueue::global()->async([self, run, hold, watch, start, budget] {
            {
                std::unique_lock guard(watch->mutex);
                Clock::waitFor(watch->answered, guard, budget - (Clock::now() - start),
                               [&] { return watch->taken; });
            }
            if (!watch->take()) return;
            self->logError(std::string(run.signature) + " - No answer from the module within " +
                           std::to_string(budget.count()) + " ms");
            self->finish(run, hold, ResultCode::timeout, std::nullopt, watch->wrote.load(),
                         watch->link);
        });
    }
    lockModule_->handOff();
}

template <typename Value>
void BaseUhf::finish(const Run<Value>& run, const std::shared_ptr<ModuleLockHold>& hold,
                     ResultCode code, std::type_identity_t<std::optional<Value>> value, bool wrote,
                     uint64_t link) {
    // The thread that ends the operation works under the lock until it releases it (a driver
    // may answer, or the timeout end it, on another thread than the work item's).
    lockModule_->adopt();
    const bool failed = code != ResultCode::noError;
    bool disconnect = false;
    const auto count = [&] {
        // The failure record and the reader's failure count (a refusal leaves the count as it
        // is), or the success that resets it.
        if (failed) {
            logError(run.failureText
                         ? run.failureText(code)
                         : std::string(run.signature) + " - " + std::string(description(code)));
            if (isLinkFailure(code, wrote)) disconnect = countFailure();
        } else {
            countSuccess();
        }
    };
    // A tag access always returns to Stop, an inventory only when it did not start: the reader
    // is in Stop before the lock is released, and the application hears of it after.
    if (run.family == Family::tagAccess || (run.family == Family::inventory && failed)) {
        postActionState(ActionState::stop);
    }
    count();
    if (run.family == Family::stop && !failed) noteStopAnswered();
    // The records this thread logged under the lock reach the sink here, once it is released.
    hold->release();
    // Once the lock is released: the disconnect reports to the application.
    if (disconnect) disconnectTransport(link);
    if (run.accessResult) {
        if (const auto result = run.accessResult(code, value)) postAccessResult(*result);
    }
    // The answer, on this thread: not ordered with the events, so it may come before the start
    // is heard. A failure carries no value.
    if (failed) value.reset();
    uhf_detail::callSafely(TAG(), run.answer, code, std::move(value));
}

template <typename Value>
void BaseUhf::refuse(const Run<Value>& run, ResultCode code) {
    uhf_detail::callSafely(TAG(), run.answer, code, std::optional<Value>{});
}

}  // namespace orvane
