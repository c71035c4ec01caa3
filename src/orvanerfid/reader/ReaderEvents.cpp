// The device's events and the log records, handed to the application's delegates on the thread
// that raised them. Each delegate is loaded from its weak reference at the moment of the call;
// the reader's own stores happen whether or not a delegate is set.

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/BaseReader.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"

namespace orvane {

void BaseReader::batteryPercentageEvent(uint8_t percentage) {
    deliver(readerDelegate(), "batteryPercentageEvent",
            [&](ReaderDelegate& d) { d.batteryPercentageEvent(percentage); });
}

void BaseReader::batteryInfoEvent(uint8_t percentage, bool charging) {
    deliver(readerDelegate(), "batteryInfoEvent",
            [&](ReaderDelegate& d) { d.batteryInfoEvent(percentage, charging); });
}

void BaseReader::temperatureEvent(double temperature) {
    deliver(readerDelegate(), "temperatureEvent",
            [&](ReaderDelegate& d) { d.temperatureEvent(temperature); });
}

void BaseReader::barcodeEvent(const BarcodeEventArgs& barcodeEventArgs) {
    auto delegate = barcodeDelegate();
    if (!delegate) return;
    const std::shared_ptr<BaseReader> self = weak_from_this().lock();
    deliver(delegate, "barcodeEvent",
            [&](BarcodeDelegate& d) { d.barcodeEvent(self, barcodeEventArgs); });
}

void BaseReader::notificationEvent(const NotificationEventArgs& notificationEventArgs) {
    deliver(readerDelegate(), "notificationEvent",
            [&](ReaderDelegate& d) { d.notificationEvent(notificationEventArgs); });
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
    deliver(readerDelegate(), "triggerKeyEvent",
            [&](ReaderDelegate& d) { d.triggerKeyEvent(keyEventArgs); });
}

void BaseReader::actionStateEvent(ActionState actionState) {
    setActionState(actionState);
    deliver(readerDelegate(), "actionStateEvent",
            [&](ReaderDelegate& d) { d.actionStateEvent(actionState); });
}

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
    deliver(readerDelegate(), "lbtStatusEvent",
            [&](ReaderDelegate& d) { d.lbtStatusEvent(lbtStatusEventArgs); });
}

void BaseReader::antennaStatusEvent(const AntennaStatusEventArgs&) {
    // Not passed on to the application.
}

void BaseReader::batchDataStatusEvent(BatchDataStatus batchDataStatus) {
    deliver(readerDelegate(), "batchDataStatusEvent",
            [&](ReaderDelegate& d) { d.batchDataStatusEvent(batchDataStatus); });
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
