// The keep-alive loop and failure counting.
//
// The loop rests between checks on the reader's wake signal until the next check falls due, so
// an idle connected reader costs its alive exchanges and nothing between them. Anything the
// loop tests (connection state, action state, check interval, firmware-update state, its own
// cancellation) notifies the signal, and the loop looks again at once.

#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/link/EmulatorTransport.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/BaseReader.h"

namespace orvane {
namespace {

using std::chrono::milliseconds;

// One turn while an action runs on a reader that is not asked during actions.
constexpr Clock::duration kIdleTurn = milliseconds(200);
// One turn while a firmware update runs.
constexpr Clock::duration kFirmwareTurn = milliseconds(500);
// With checks turned off the loop only waits to be woken; this bounds each wait.
constexpr Clock::duration kCheckingOffRest = milliseconds(60000);

}  // namespace

Clock::time_point BaseReader::_lastTime() const {
    return Clock::time_point(Clock::duration(lastTime_.load()));
}

void BaseReader::markAlive() {
    lastTime_.store(Clock::now().time_since_epoch().count());
}

int BaseReader::addFailure() {
    return failCount_.fetch_add(1) + 1;
}

void BaseReader::alive() {
    failCount_.store(0);
    markAlive();
}

void BaseReader::resetError() {
    alive();
}

void BaseReader::checkError(bool refresh) {
    // The connection whose failure this is, and no later one, ends at the limit.
    const uint64_t link = baseTransport_->linkNumber();
    const int count = addFailure();
    if (refresh) markAlive();
    if (count >= kFailureLimit) closeConnection(link);
}

void BaseReader::startKeepAlive(uint64_t link) {
    alive();
    if (checkInterval() == 0) {
        orvLogger::debug(tag_, "check interval is 0, would not run keepAliveThread");
        return;
    }
    std::weak_ptr<BaseReader> weak = weak_from_this();
    auto wake = keepAliveWake_;
    auto loops = keepAliveLoops_;
    auto item =
        std::make_shared<DispatchWorkItem>([weak, link, wake, loops](const DispatchWorkItem& self) {
            keepAliveThread(weak, self, link, wake, loops);
        });
    std::shared_ptr<DispatchWorkItem> previous;
    {
        std::lock_guard guard(fieldsLock_);
        // A Disconnected report after the connection ended cancels under this lock too.
        if (!isCurrentConnection(link)) return;
        previous = std::exchange(keepAliveWorkItem_, item);
    }
    if (previous) previous->cancel();
    wake->notify();
    keepAliveQueue_->async(item);
}

void BaseReader::keepAliveThread(const std::weak_ptr<BaseReader>& weak,
                                 const DispatchWorkItem& self, uint64_t link,
                                 const std::shared_ptr<Signal>& wake,
                                 const std::shared_ptr<std::atomic<int>>& loops) {
    loops->fetch_add(1);
    std::string tag;
    if (auto reader = weak.lock()) tag = reader->tag_;
    orvLogger::trace(tag, "+++ keepAliveThread()");
    while (true) {
        const uint64_t seen = wake->count();
        Clock::duration rest{};
        {
            // Held for one turn only: a reader the application lets go is never kept alive
            // by its loop between turns.
            auto reader = weak.lock();
            if (!reader || !reader->keepAliveTurn(self, link, rest)) break;
        }
        if (rest > Clock::duration::zero()) wake->waitFor(seen, rest);
    }
    orvLogger::trace(tag, "--- keepAliveThread()");
    loops->fetch_sub(1);
}

bool BaseReader::keepAliveTurn(const DispatchWorkItem& self, uint64_t link, Clock::duration& rest) {
    if (self.isCancelled() || !isCurrentConnection(link)) return false;

    const FirmwareUpdateState firmware = _updateFirmwareStatus();
    if (firmware != FirmwareUpdateState::stop && firmware != FirmwareUpdateState::abort) {
        // An update is running: nothing is sent, and the first check after it comes one full
        // interval later.
        markAlive();
        rest = kFirmwareTurn;
        return true;
    }

    const bool connected = connectState() == ConnectState::connected;
    const uint64_t interval = checkInterval();
    const auto elapsed =
        std::chrono::duration_cast<milliseconds>(Clock::now() - _lastTime()).count();
    const bool due = interval != 0 && elapsed >= 1 && static_cast<uint64_t>(elapsed) > interval;
    if (!connected) {
        orvLogger::error(tag_, "keepAliveThread() - Connect state is not connected");
        return false;
    }
    if (!due) {
        // Checks turned off (interval 0) or not yet due: rest until they are.
        rest = interval == 0 ? kCheckingOffRest
                             : milliseconds(static_cast<int64_t>(interval) - elapsed + 1);
        return true;
    }

    const bool askedDuringActions = deviceType() == DeviceType::vk210;
    if (!askedDuringActions && actionState() != ActionState::stop) {
        // Not asked while an action runs; look again one turn later.
        rest = kIdleTurn;
        return true;
    }
    if (baseDevice_) {
        try {
            baseDevice_->triggerAlive();
            // A successful exchange ends a run of failures.
            alive();
        } catch (const CodedError& e) {
            if (aliveFailed(Utilities::getResultCodeDescription(e.resultCode()),
                            e.resultCode() == ResultCode::timeout, link)) {
                return false;
            }
        } catch (const std::exception& e) {
            if (aliveFailed(e.what(), false, link)) return false;
        }
    } else {
        markAlive();
    }
    // The emulator never answers: it is asked once per full interval, failure or not.
    if (!askedDuringActions && dynamic_cast<EmulatorTransport*>(baseTransport_.get())) {
        markAlive();
    }
    return true;
}

bool BaseReader::aliveFailed(const std::string& reason, bool timeout, uint64_t link) {
    // A timed-out exchange keeps the last sign of life, so it is repeated at once.
    const int count = addFailure();
    if (!timeout) markAlive();
    const bool limit = count >= kFailureLimit;
    if (limit) closeConnection(link);
    orvLogger::error(tag_, "keepAliveThread() - Failed to trigger alive (" + reason + ")");
    return limit;
}

}  // namespace orvane
