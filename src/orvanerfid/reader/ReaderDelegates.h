#pragma once

// The application's sinks for one reader's events. Each is held weakly by the reader and called
// with no library lock held. Tag reports, access results and the reader's events come one at a
// time, in the order they were raised, across operations; connection states, firmware-update
// progress and log records come straight from the thread that raised them and may run beside
// those (see the thread map in BaseReader.h), except that Connected is heard after every event
// of the connection before. Whatever an implementation throws is caught and logged by the
// reader. A slow implementation of the event callbacks never slows the reader: its answers,
// states and link go on, and tag reports past the line's bound are dropped, counted and logged.
// An implementation must not wait there for another event of the same reader: that one waits
// behind it. `logEvent` is different: it runs on the thread that wrote the record, the reader's
// receive and read threads included, so it must return quickly and wait for nothing.

#include <cstdint>
#include <memory>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/EventArgs.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/TagInfo.h"

namespace orvane {

class BaseReader;

// Reader events: battery, temperature, connection and action state, keys, notifications, log
// records (only on the logger's sink reader), firmware-update progress, LBT and batch data.
class ORVANE_API ReaderDelegate {
  public:
    virtual ~ReaderDelegate() = default;
    virtual void batteryPercentageEvent(uint8_t percentage) = 0;
    virtual void batteryInfoEvent(uint8_t percentage, bool charging) = 0;
    virtual void temperatureEvent(double temperature) = 0;
    virtual void connectStateEvent(const ConnectStateEventArgs& connectStateEventArgs) = 0;
    virtual void actionStateEvent(ActionState actionState) = 0;
    virtual void triggerKeyEvent(const KeyEventArgs& keyEventArgs) = 0;
    virtual void notificationEvent(const NotificationEventArgs& notificationEventArgs) = 0;
    virtual void logEvent(const LogEventArg& logEventArgs) = 0;
    virtual void firmwareUpdateEvent(const FirmwareUpdateEventArgs& firmwareUpdateEventArgs) = 0;
    virtual void lbtStatusEvent(const LbtStatusEventArgs& lbtStatusEventArgs) = 0;
    virtual void batchDataStatusEvent(BatchDataStatus batchDataStatus) = 0;
};

// Tag reports and tag-access results, with the reader that produced them.
class ORVANE_API RfidDelegate {
  public:
    virtual ~RfidDelegate() = default;
    virtual void readTag(const std::shared_ptr<BaseReader>& reader,
                         const std::shared_ptr<TagInfo>& tagInfo) = 0;
    virtual void accessResult(const std::shared_ptr<BaseReader>& reader,
                              const AccessResultEventArgs& accessResultEventArgs) = 0;
};

// Decoded barcodes, with the reader that read them.
class ORVANE_API BarcodeDelegate {
  public:
    virtual ~BarcodeDelegate() = default;
    virtual void barcodeEvent(const std::shared_ptr<BaseReader>& reader,
                              const BarcodeEventArgs& barcodeEventArgs) = 0;
};

// The UHF reader's second sink: it receives the connection, battery, temperature, action-state,
// trigger-key and log events after the ReaderDelegate. Notifications are part of the interface
// but the reader never sends them here.
class ORVANE_API UhfReaderDelegate {
  public:
    virtual ~UhfReaderDelegate() = default;
    virtual void batteryPercentageEvent(uint8_t percentage) = 0;
    virtual void temperatureEvent(double temperature) = 0;
    virtual void connectStateEvent(const ConnectStateEventArgs& connectStateEventArgs) = 0;
    virtual void actionStateEvent(ActionState actionState) = 0;
    virtual void triggerKeyEvent(const KeyEventArgs& keyEventArgs) = 0;
    virtual void notificationEvent(const NotificationEventArgs& notificationEventArgs) = 0;
    virtual void logEvent(const LogEventArg& logEventArgs) = 0;
};

}  // namespace orvane
