#pragma once

// Protocol events: unsolicited happenings that travel from a protocol object (or the radio-module
// driver, the UHF object or the reader) to the device object, which turns them into tag reports
// and event arguments for the application.
//
// vk210FrameEvents() is the Vk210 event map: which received frames raise which events, with the
// value built from the frame. It is pure (no I/O, no threads, no state); the link layer's receive
// loop calls it for every frame it cuts and pairs access results with the bank it was told of.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "orvanerfid/commands/InventoryCommands.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Barcode.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/EventArgs.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/SettingValues.h"
#include "orvanerfid/core/TagInfo.h"

namespace orvane {

// A tag report is shared, not copied: every receiver gets the same object.
using TagInfoPtr = std::shared_ptr<TagInfo>;

// The value an event carries where it carries nothing.
using NoEventValue = std::monostate;

// Event ids with the kind of value each carries (the last column). No display text.
#define ORV_PROTOCOL_EVENT_ID(X)                       \
    X(temperature, 0, "", double)                      \
    X(batteryState, 1, "", NoEventValue)               \
    X(batteryPercentage, 2, "", uint8_t)               \
    X(batteryInfo, 3, "", BatteryInfoEventArgs)        \
    X(actionChanged, 4, "", ActionState)               \
    X(tagInfo, 5, "", TagInfoPtr)                      \
    X(accessResult, 6, "", AccessResultEventArgs)      \
    X(keyEvent, 7, "", KeyEventArgs)                   \
    X(receivedInventoryData, 8, "", NoEventValue)      \
    X(skuType, 9, "", SkuType)                         \
    X(macAddress, 10, "", std::string)                 \
    X(gValue, 11, "", double)                          \
    X(tagsIndicator, 12, "", InventoryIndicator)       \
    X(resetIndicator, 13, "", NoEventValue)            \
    X(initialFinished, 14, "", NoEventValue)           \
    X(backupBatteryInUse, 15, "", bool)                \
    X(barcodeData, 16, "", ProtocolBarcodeEventArgs)   \
    X(indicator, 17, "", NoEventValue)                 \
    X(engineModel, 18, "", EngineModel)                \
    X(notification, 19, "", NotificationID)            \
    X(firmwareVersion, 20, "", NoEventValue)           \
    X(engineVersion, 21, "", std::string)              \
    X(resetBuffer, 22, "", NoEventValue)               \
    X(engineReady, 23, "", bool)                       \
    X(lbtStatus, 24, "", LbtStatusEventArgs)           \
    X(antennaBeginEnd, 25, "", AntennaStatusEventArgs) \
    X(batchDataStatus, 26, "", BatchDataStatus)        \
    X(setEngineReadyEvent, 27, "", NoEventValue)       \
    X(accessBankType, 28, "", BankType)

ORV_ENUM(ProtocolEventId, uint8_t, ORV_PROTOCOL_EVENT_ID);

// Every kind of value an event can carry.
using ProtocolEventValue =
    std::variant<NoEventValue, double, uint8_t, bool, std::string, ActionState, SkuType,
                 EngineModel, NotificationID, BatchDataStatus, BankType, InventoryIndicator,
                 BatteryInfoEventArgs, TagInfoPtr, AccessResultEventArgs, KeyEventArgs,
                 ProtocolBarcodeEventArgs, LbtStatusEventArgs, AntennaStatusEventArgs>;

// One event: its id and its value. Set at creation, read-only afterwards; safe to read from any
// thread once handed out. A receiver reads the value with get<T>() and drops the event (with an
// ERROR line) when it is absent or of another kind.
class ProtocolEventArgs {
  public:
    explicit ProtocolEventArgs(ProtocolEventId id, ProtocolEventValue data = NoEventValue{})
        : id_(id), data_(std::move(data)) {}

    ProtocolEventId id() const { return id_; }
    const ProtocolEventValue& data() const { return data_; }

    // The value when it is of kind T, else null.
    template <typename T>
    const T* get() const noexcept {
        return std::get_if<T>(&data_);
    }

    // True when the value is of the kind the id carries (see ORV_PROTOCOL_EVENT_ID).
    bool hasExpectedKind() const noexcept;

  private:
    ProtocolEventId id_;
    ProtocolEventValue data_;
};

// What a received Vk210 frame is to the receive loop.
struct Vk210FrameRole {
    bool raisesEvent;  // goes through vk210FrameEvents()
    bool isReply;      // goes to the waiting request
};

// Event frames are not replies, except paTemperature, batteryStatus and engineModel, which are
// both; every other frame is a reply only (ambientTemperature replies included).
Vk210FrameRole vk210FrameRole(OrvRfidCmdId id) noexcept;

// The events a received frame raises, in order; empty for a reply-only frame. `accessBank` is
// the memory bank the link layer paired with a tagAccessData frame (absent when none).
//
// A frame too short for the fields its events carry raises nothing and is logged at ERROR
// (tag "Vk210Protocol"); so is a customized inventory report that holds no usable item.
// Operation and system errors log their own ERROR lines before their events.
std::vector<ProtocolEventArgs> vk210FrameEvents(const CommandFrame& frame,
                                                std::optional<BankType> accessBank = std::nullopt);

// The tag report of a fixed-layout inventory record: EPC, RSSI, antenna, PC, then the TID or
// user data, then phase begin, phase end and frequency (phase records), in that marking order.
TagInfoPtr tagInfoFromRecord(const TagRecord& record);

// The tag report of a customized-format report: items applied in order, each through its own
// field; an item too short for its field (RSSI 2 bytes, phase 4, frequency 4, timestamp 6, any
// other 1) is skipped. No value when no item was usable, or when the EPC item is longer than
// kMaxEpcBytes (the report is corrupt).
TagInfoPtr tagInfoFromCustomizedItems(ByteView data);

}  // namespace orvane
