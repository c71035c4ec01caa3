#include "orvanerfid/reader/UhfReader.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/EventLine.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/uhf/UhfFactory.h"

namespace orvane {

std::shared_ptr<UhfReaderDelegate> UhfReader::uhfReaderDelegate() const {
    std::lock_guard guard(uhfDelegateLock_);
    return uhfReaderDelegate_.lock();
}

void UhfReader::setUhfReaderDelegate(std::weak_ptr<UhfReaderDelegate> delegate) {
    std::lock_guard guard(uhfDelegateLock_);
    uhfReaderDelegate_ = std::move(delegate);
}

std::shared_ptr<UhfReader> UhfReader::linkUhfReader() {
    // Empty while the reader is being destroyed.
    return std::static_pointer_cast<UhfReader>(weak_from_this().lock());
}

UhfReader::~UhfReader() {
    storeReleasedEnd();
}

std::vector<BaseReader::EndListener> UhfReader::endListeners() const {
    auto listeners = BaseReader::endListeners();
    std::weak_ptr<UhfReaderDelegate> delegate;
    {
        std::lock_guard guard(uhfDelegateLock_);
        delegate = uhfReaderDelegate_;
    }
    listeners.emplace_back([delegate](const ConnectStateEventArgs& args) {
        if (const auto live = delegate.lock()) live->connectStateEvent(args);
    });
    return listeners;
}

void UhfReader::triggerConnectStateEvent(ConnectState state) {
    const ConnectStateEventArgs args(linkUhfReader(), state);
    deliver(readerDelegate(), "connectStateEvent",
            [&](ReaderDelegate& d) { d.connectStateEvent(args); });
    deliver(uhfReaderDelegate(), "connectStateEvent",
            [&](UhfReaderDelegate& d) { d.connectStateEvent(args); });
}

void UhfReader::readTag(const std::shared_ptr<TagInfo>& tagInfo) {
    inOrderTag(tagInfo);
}

void UhfReader::tellReadTag(const std::shared_ptr<TagInfo>& tagInfo) {
    if (auto delegate = rfidDelegate()) {
        const std::shared_ptr<BaseReader> self = weak_from_this().lock();
        deliver(delegate, "readTag", [&](RfidDelegate& d) { d.readTag(self, tagInfo); });
    }
    auto uhf = this->uhf();
    auto module = uhf ? uhf->uhfModule() : nullptr;
    if (!module) return;
    try {
        module->pumpEvent(ProtocolEventId::tagInfo, tagInfo);
    } catch (const std::exception& e) {
        reportCallbackError("readTag", e.what());
    }
}

void UhfReader::accessResult(const AccessResultEventArgs& accessResultEventArgs) {
    inOrder([accessResultEventArgs](BaseReader& r) {
        static_cast<UhfReader&>(r).tellAccessResult(accessResultEventArgs);
    });
}

void UhfReader::tellAccessResult(const AccessResultEventArgs& accessResultEventArgs) {
    if (auto delegate = rfidDelegate()) {
        const std::shared_ptr<BaseReader> self = weak_from_this().lock();
        deliver(delegate, "accessResult",
                [&](RfidDelegate& d) { d.accessResult(self, accessResultEventArgs); });
    }
    auto uhf = this->uhf();
    auto module = uhf ? uhf->uhfModule() : nullptr;
    if (!module) return;
    try {
        module->pumpEvent(ProtocolEventId::accessResult, accessResultEventArgs);
    } catch (const std::exception& e) {
        reportCallbackError("accessResult", e.what());
    }
}

void UhfReader::tellBatteryPercentage(uint8_t percentage) {
    BaseReader::tellBatteryPercentage(percentage);
    deliver(uhfReaderDelegate(), "batteryPercentageEvent",
            [&](UhfReaderDelegate& d) { d.batteryPercentageEvent(percentage); });
}

void UhfReader::tellTemperature(double temperature) {
    BaseReader::tellTemperature(temperature);
    deliver(uhfReaderDelegate(), "temperatureEvent",
            [&](UhfReaderDelegate& d) { d.temperatureEvent(temperature); });
}

void UhfReader::tellActionState(ActionState actionState) {
    BaseReader::tellActionState(actionState);
    deliver(uhfReaderDelegate(), "actionStateEvent",
            [&](UhfReaderDelegate& d) { d.actionStateEvent(actionState); });
}

void UhfReader::tellTriggerKey(const KeyEventArgs& keyEventArgs) {
    BaseReader::tellTriggerKey(keyEventArgs);
    deliver(uhfReaderDelegate(), "triggerKeyEvent",
            [&](UhfReaderDelegate& d) { d.triggerKeyEvent(keyEventArgs); });
}

void UhfReader::logEvent(const LogEventArg& logEventArgs) {
    BaseReader::logEvent(logEventArgs);
    auto delegate = uhfReaderDelegate();
    if (!delegate) return;
    // Not logged when it throws: that record would come straight back here.
    try {
        delegate->logEvent(logEventArgs);
    } catch (...) {
    }
}

}  // namespace orvane
