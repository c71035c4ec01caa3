#pragma once

// What a device object reports to its reader: tag reports, access results and the reader's
// unsolicited events, each already turned into the public event records.

#include <cstdint>
#include <memory>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/EventArgs.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/TagInfo.h"

namespace orvane {

// Implemented by the reader. The device holds it weakly and calls it synchronously on the
// thread that raised the event: the protocol's receive thread for reader events, the caller's
// thread for pumped events and firmware-update progress. An implementation must not wait there
// for a reply of the same reader (hand such work to a queue), and should return quickly: the
// next frame is cut only after it returns. The reader only queues what it tells the application.
class ORVANE_API BaseDeviceDelegate {
  public:
    virtual ~BaseDeviceDelegate() = default;

    virtual void batteryPercentageEvent(uint8_t percentage) = 0;
    virtual void batteryInfoEvent(uint8_t percentage, bool charging) = 0;
    virtual void temperatureEvent(double temperature) = 0;
    virtual void barcodeEvent(const BarcodeEventArgs& barcodeEventArgs) = 0;
    virtual void notificationEvent(const NotificationEventArgs& notificationEventArgs) = 0;
    virtual void firmwareUpdateEvent(FirmwareUpdateState state, uint8_t percentage) = 0;
    virtual void triggerKeyEvent(const KeyEventArgs& keyEventArgs) = 0;
    virtual void actionStateEvent(ActionState actionState) = 0;
    // The report is shared: the reader hands the same object on to its other receivers.
    virtual void readTag(const std::shared_ptr<TagInfo>& tagInfo) = 0;
    virtual void accessResult(const AccessResultEventArgs& accessResultEventArgs) = 0;
    virtual void receivedInventoryData() = 0;
    virtual void skuType(SkuType skuType) = 0;
    virtual void macAddress(const std::string& macAddress) = 0;
    virtual void lbtStatusEvent(const LbtStatusEventArgs& lbtStatusEventArgs) = 0;
    virtual void antennaStatusEvent(const AntennaStatusEventArgs& antennaStatusEventArgs) = 0;
    virtual void batchDataStatusEvent(BatchDataStatus batchDataStatus) = 0;
    virtual void engineReadyEvent(bool status) = 0;
};

}  // namespace orvane
