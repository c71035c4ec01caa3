// The device's events and the log records, handed to the application's delegates. The events
// of tags, actions and the reader's own reports reach the application through the reader's
// event line (see EventSequence); firmware-update progress and log records go straight to it on
// the thread that raised them. Each delegate is loaded from its weak reference at the moment of
// the call; the reader's own stores happen at once, whether or not a delegate is set.

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/link/ReceiveLoop.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/BaseReader.h"
#include "orvanerfid/reader/EventLine.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"

namespace orvane {

void BaseReader::batteryPercentageEvent(uint8_t percentage) {
    inOrder([percentage](BaseReader& r) { r.tellBatteryPercentage(percentage); });
}

void BaseReader::tellBatteryPercentage(uint8_t percentage) {
    deliver(readerDelegate(), "batteryPercentageEvent",
            [&](ReaderDelegate& d) { d.batteryPercentageEvent(percentage); });
}

void BaseReader::batteryInfoEvent(uint8_t percentage, bool charging) {
    inOrder([percentage, charging](BaseReader& r) {
        r.deliver(r.readerDelegate(), "batteryInfoEvent",
                  [&](ReaderDelegate& d) { d.batteryInfoEvent(percentage, charging); });
    });
}

void BaseReader::temperatureEvent(double temperature) {
    inOrder([temperature](BaseReader& r) { r.tellTemperature(temperature); });
}

void BaseReader::tellTemperature(double temperature) {
    deliver(readerDelegate(), "temperatureEvent",
            [&](ReaderDelegate& d) { d.temperatureEvent(temperature); });
}

void BaseReader::barcodeEvent(const BarcodeEventArgs& barcodeEventArgs) {
    inOrder([barcodeEventArgs](BaseReader& r) {
        auto delegate = r.barcodeDelegate();
        if (!delegate) return;
        const std::shared_ptr<BaseReader> self = r.weak_from_this().lock();
        r.deliver(delegate, "barcodeEvent",
                  [&](BarcodeDelegate& d) { d.barcodeEvent(self, barcodeEventArgs); });
    });
}

void BaseReader::notificationEvent(const NotificationEventArgs& notificationEventArgs) {
    inOrder([notificationEventArgs](BaseReader& r) {
        r.deliver(r.readerDelegate(), "notificationEvent",
                  [&](ReaderDelegate& d) { d.notificationEvent(notificationEventArgs); });
    });
}

void BaseReader::firmwareUpdateEvent(FirmwareUpdateState state, uint8_t percentage) {
    orvLogger::trace("_updateFirmwareStatus: " + std::string(description(state)));
    updateFirmwareStatus_.store(state);
    keepAliveWake_->notify();
    auto delegate = readerDelegate();
    if (!delegate) return;
    const FirmwareUpdateEventArgs args(state, percentage);
    deliver(delegate, "firmwareUpdateEvent",
            [&](ReaderDelegate& d) { d.firmwareUpdateEvent(args); });
}

void BaseReader::triggerKeyEvent(const KeyEventArgs& keyEventArgs) {
    inOrder([keyEventArgs](BaseReader& r) { r.tellTriggerKey(keyEventArgs); });
}

void BaseReader::tellTriggerKey(const KeyEventArgs& keyEventArgs) {
    deliver(readerDelegate(), "triggerKeyEvent",
            [&](ReaderDelegate& d) { d.triggerKeyEvent(keyEventArgs); });
}

// The state changes at once (an operation checks it right after), where the report takes its
// place in the line, so the application hears the states in the order they were set.
void BaseReader::actionStateEvent(ActionState actionState) {
    events_->postState(
        [weak = weak_from_this(), actionState] {
            if (const auto self = weak.lock()) self->tellActionState(actionState);
        },
        [&] { setActionState(actionState); }, actionState != ActionState::stop);
}

void BaseReader::tellActionState(ActionState actionState) {
    deliver(readerDelegate(), "actionStateEvent",
            [&](ReaderDelegate& d) { d.actionStateEvent(actionState); });
}

void BaseReader::inOrderTag(std::shared_ptr<TagInfo> tagInfo) {
    // The receive loop drops the tag reports of a loop stopped or replaced before their delivery;
    // this catches one stopped while its delivery runs. Its connection has ended: never told, on
    // it or on the next, and counted with that loop's drops in its connection's record.
    if (ReceiveLoop::dropOnEndedLoop()) return;
    events_->postTag(std::move(tagInfo));
}

void BaseReader::tellReadTag(const std::shared_ptr<TagInfo>&) {}

void BaseReader::receivedInventoryData() {
    auto uhf = this->uhf();
    auto module = uhf ? uhf->uhfModule() : nullptr;
    if (!module) return;
    try {
        module->pumpEvent(ProtocolEventId::receivedInventoryData);
    } catch (const std::exception& e) {
        reportCallbackError("receivedInventoryData", e.what());
    }
}

void BaseReader::skuType(SkuType skuType) {
    setSku(skuType);
}

void BaseReader::macAddress(const std::string& macAddress) {
    setMacAddress(macAddress);
}

void BaseReader::lbtStatusEvent(const LbtStatusEventArgs& lbtStatusEventArgs) {
    inOrder([lbtStatusEventArgs](BaseReader& r) {
        r.deliver(r.readerDelegate(), "lbtStatusEvent",
                  [&](ReaderDelegate& d) { d.lbtStatusEvent(lbtStatusEventArgs); });
    });
}

void BaseReader::antennaStatusEvent(const AntennaStatusEventArgs&) {
    // Not passed on to the application.
}

void BaseReader::batchDataStatusEvent(BatchDataStatus batchDataStatus) {
    inOrder([batchDataStatus](BaseReader& r) {
        r.deliver(r.readerDelegate(), "batchDataStatusEvent",
                  [&](ReaderDelegate& d) { d.batchDataStatusEvent(batchDataStatus); });
    });
}

void BaseReader::engineReadyEvent(bool status) {
    orvLogger::trace(tag_, std::string("Engine ready event: ") + (status ? "true" : "false"));
    if (!status) return;
    if (initEngine()) {
        orvLogger::trace(tag_, "Engine already initialized");
        return;
    }
    initEngineInfo();
}

void BaseReader::logEvent(const LogEventArg& logEventArgs) {
    auto delegate = readerDelegate();
    if (!delegate) return;
    // Not logged when it throws: that record would come straight back here.
    try {
        delegate->logEvent(logEventArgs);
    } catch (...) {
    }
}

}  // namespace orvane
