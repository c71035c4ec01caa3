#include "orvanerfid/core/EventArgs.h"

#include <cstdio>
#include <ctime>

#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

// The text of a notification's data: a text unchanged, an integer in decimal, "" otherwise.
std::string dataText(const std::any& data) {
    if (const auto* text = std::any_cast<std::string>(&data)) return *text;
    if (const auto* text = std::any_cast<const char*>(&data)) return *text ? *text : "";
    if (const auto* number = std::any_cast<int>(&data)) return std::to_string(*number);
    if (const auto* number = std::any_cast<unsigned>(&data)) return std::to_string(*number);
    if (const auto* number = std::any_cast<int64_t>(&data)) return std::to_string(*number);
    if (const auto* number = std::any_cast<uint64_t>(&data)) return std::to_string(*number);
    return {};
}

// "yyyy-MM-dd HH:mm:ss +0000" in universal time.
std::string utcDateTimeString(std::chrono::system_clock::time_point time) {
    // Whole seconds, rounded down also before 1970.
    const std::time_t seconds = static_cast<std::time_t>(
        std::chrono::floor<std::chrono::seconds>(time).time_since_epoch().count());
    std::tm utc{};
    if (gmtime_r(&seconds, &utc) == nullptr) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d +0000", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

}  // namespace

NotificationEventArgs::NotificationEventArgs(std::shared_ptr<UhfReader> reader,
                                             NotificationID notificationID, std::any data)
    : reader_(std::move(reader)), notificationID_(notificationID), data_(std::move(data)) {}

std::string NotificationEventArgs::description() const {
    std::string text = "Notification Event: ";
    text += orvane::description(notificationID_);
    text += ", ";
    text += dataText(data_);
    return text;
}

AccessResultEventArgs::AccessResultEventArgs(Bytes epc, Bytes data, ActionState actionState,
                                             std::optional<BankType> bankType,
                                             ResultCode resultCode)
    : epc_(std::move(epc)),
      data_(std::move(data)),
      actionState_(actionState),
      bankType_(bankType),
      resultCode_(resultCode) {}

std::string AccessResultEventArgs::strEPC() const {
    return toHexString(epc_);
}

std::string AccessResultEventArgs::strData() const {
    return toHexString(data_);
}

std::string ConnectStateEventArgs::description() const {
    return "Connect State: " + std::string(orvane::description(connectState_));
}

BarcodeEventArgs::BarcodeEventArgs(BarcodeId barcodeId, Bytes data, TimePoint timeStamp)
    : barcodeId_(barcodeId), data_(std::move(data)), timeStamp_(timeStamp) {}

std::string BarcodeEventArgs::description() const {
    std::string text = "ID: ";
    text += orvane::description(barcodeId_);
    text += ", Data: ";
    text += toHexDumpString(data_);
    text += ", Timestamp: ";
    text += utcDateTimeString(timeStamp_);
    return text;
}

}  // namespace orvane
