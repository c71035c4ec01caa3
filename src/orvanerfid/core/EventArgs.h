#pragma once

// The records of the events the library reports to the application, other than tag reads
// (TagInfo) and log lines (LogEventArg).
//
// Every record is complete when its constructor returns and is never changed afterwards; the
// application only reads it. Records are created and delivered synchronously on the thread that
// raised the event (a protocol's receive thread, the transport's thread, or the thread of the
// operation that produced an access result) and may then be read from any thread. The library
// keeps no reference to a record after delivering it. Constructors marked ORVANE_INTERNAL are
// the library's own: those records cannot be made by an application.

#include <any>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Barcode.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {

class UhfReader;

// A notification from a reader (low battery, temperature too high, ...).
class ORVANE_API NotificationEventArgs {
  public:
    // `data` holds the details, or nothing when the raiser has none.
    ORVANE_INTERNAL NotificationEventArgs(std::shared_ptr<UhfReader> reader,
                                          NotificationID notificationID, std::any data);

    // The reader that raised the notification, when known.
    const std::shared_ptr<UhfReader>& reader() const { return reader_; }
    NotificationID notificationID() const { return notificationID_; }
    const std::any& data() const { return data_; }

    // "Notification Event: <notification text>, <data text>"; with no data the text ends in
    // ", ". A text value of `data` is shown unchanged, a number in decimal; a value of any other
    // kind shows nothing.
    std::string description() const;

  private:
    std::shared_ptr<UhfReader> reader_;
    NotificationID notificationID_;
    std::any data_;
};

// The outcome of one tag-access operation (read, write, lock, permanent lock, kill, ...).
class ORVANE_API AccessResultEventArgs {
  public:
    // An operation without an EPC, data or bank passes an empty array or no bank.
    ORVANE_INTERNAL AccessResultEventArgs(Bytes epc, Bytes data, ActionState actionState,
                                          std::optional<BankType> bankType, ResultCode resultCode);

    const Bytes& epc() const { return epc_; }
    const Bytes& data() const { return data_; }
    ActionState actionState() const { return actionState_; }
    // The operation's memory bank; `reserved` (raw value 0) when none was recorded.
    BankType bankType() const { return bankType_.value_or(BankType::reserved); }
    ResultCode resultCode() const { return resultCode_; }

    // The EPC and the data as upper-case hex text, two digits per byte ("" when empty).
    std::string strEPC() const;
    std::string strData() const;

  private:
    Bytes epc_;
    Bytes data_;
    ActionState actionState_;
    std::optional<BankType> bankType_;
    ResultCode resultCode_;
};

class ORVANE_API BatteryInfoEventArgs {
  public:
    BatteryInfoEventArgs(uint8_t percentage, bool charging)
        : percentage_(percentage), charging_(charging) {}

    uint8_t percentage() const { return percentage_; }
    bool charging() const { return charging_; }

  private:
    uint8_t percentage_;
    bool charging_;
};

class ORVANE_API FirmwareUpdateEventArgs {
  public:
    FirmwareUpdateEventArgs(FirmwareUpdateState state, uint8_t percentage)
        : state_(state), percentage_(percentage) {}

    FirmwareUpdateState state() const { return state_; }
    uint8_t percentage() const { return percentage_; }

  private:
    FirmwareUpdateState state_;
    uint8_t percentage_;
};

// A listen-before-talk status: whether the channel was occupied, and what was measured there
// (both as the reader reports them).
class ORVANE_API LbtStatusEventArgs {
  public:
    LbtStatusEventArgs(bool interferer, int16_t rssi, uint32_t frequency)
        : interferer_(interferer), rssi_(rssi), frequency_(frequency) {}

    bool interferer() const { return interferer_; }
    int16_t rssi() const { return rssi_; }
    uint32_t frequency() const { return frequency_; }

  private:
    bool interferer_;
    int16_t rssi_;
    uint32_t frequency_;
};

// An antenna port's use begins or ends.
class ORVANE_API AntennaStatusEventArgs {
  public:
    AntennaStatusEventArgs(uint8_t antenna, AntennaBeginEnd status)
        : antenna_(antenna), status_(status) {}

    uint8_t antenna() const { return antenna_; }
    AntennaBeginEnd status() const { return status_; }

  private:
    uint8_t antenna_;
    AntennaBeginEnd status_;
};

// A connection-state change. The reader is absent when a transport reports its own change.
class ORVANE_API ConnectStateEventArgs {
  public:
    ConnectStateEventArgs(std::shared_ptr<UhfReader> reader, ConnectState connectState)
        : reader_(std::move(reader)), connectState_(connectState) {}

    const std::shared_ptr<UhfReader>& reader() const { return reader_; }
    ConnectState connectState() const { return connectState_; }

    // "Connect State: <state text>"; the reader is not shown.
    std::string description() const;

  private:
    std::shared_ptr<UhfReader> reader_;
    ConnectState connectState_;
};

// A key pressed (true) or released (false).
class ORVANE_API KeyEventArgs {
  public:
    KeyEventArgs(KeyID id, bool pressed) : id_(id), pressed_(pressed) {}

    KeyID id() const { return id_; }
    bool pressed() const { return pressed_; }

  private:
    KeyID id_;
    bool pressed_;
};

// A scanned barcode.
class ORVANE_API BarcodeEventArgs {
  public:
    using TimePoint = std::chrono::system_clock::time_point;

    ORVANE_INTERNAL BarcodeEventArgs(BarcodeId barcodeId, Bytes data, TimePoint timeStamp);

    BarcodeId barcodeId() const { return barcodeId_; }
    // The scanned data as received.
    const Bytes& data() const { return data_; }
    TimePoint timeStamp() const { return timeStamp_; }

    // "ID: <symbology>, Data: 0x41 0x42 , Timestamp: 2024-05-01 10:20:30 +0000": the data as a
    // hex dump, the time in universal time.
    std::string description() const;

  private:
    BarcodeId barcodeId_;
    Bytes data_;
    TimePoint timeStamp_;
};

// A barcode as the link layer cuts it from a reader's frame, filled field by field; the device
// layer turns it into a BarcodeEventArgs. Internal.
struct ProtocolBarcodeEventArgs {
    // Whether the frame carried a symbology code; `id` is the scan engine's own code.
    bool hasBarcodeId = false;
    uint8_t id = 0;
    Bytes data;
    // The reader's time when the frame carries one, else the moment of creation.
    std::chrono::system_clock::time_point timeStamp = std::chrono::system_clock::now();
};

}  // namespace orvane
