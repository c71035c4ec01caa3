#include "sim/SimVk210.h"

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Utilities.h"
#include "sim/SimVk210Settings.h"

namespace orvane {

SimVk210::SimVk210()
    : SimReader(Format{[](ByteView bytes) { return OrvaneRfidCommand::cutFrame(bytes); },
                       [](ByteView frame) -> Key { return readBe16(frame, 3); }}) {
    addVk210DeviceRows(*this);
    addVk210InventoryRows(*this);
    addVk210TagAccessRows(*this);
    addVk210SettingRows(*this);
    addVk210FirmwareRows(*this);
    addVk210EngineRows(*this);
}

AccessoryInfo SimVk210::accessoryInfo(std::string serialNumber) {
    return AccessoryInfo{"Orvane Technology",     "VK210",   "VK210",
                         std::move(serialNumber), "1.01.11", {"com.orvane.lumora.dcbridge"}};
}

std::shared_ptr<SimAccessory> SimVk210::makeAccessory(const std::shared_ptr<SimVk210>& reader,
                                                      std::string serialNumber) {
    return std::make_shared<SimAccessory>(accessoryInfo(std::move(serialNumber)), reader);
}

Bytes SimVk210::replyFrame(OrvRfidCmdId id, uint8_t status, ByteView data) {
    Bytes area;
    area.reserve(data.size() + 1);
    area.push_back(status);
    area.insert(area.end(), data.begin(), data.end());
    return OrvaneRfidCommand::frame(id, area);
}

Bytes SimVk210::eventFrame(OrvRfidCmdId id, ByteView data) {
    return isStatusLess(id) ? OrvaneRfidCommand::frame(id, data) : replyFrame(id, kOk, data);
}

Bytes SimVk210::tagReportFrame(const SimTag& tag) {
    Bytes frame;
    appendTagReport(frame, tag);
    return frame;
}

void SimVk210::appendTagReport(Bytes& out, const SimTag& tag) {
    // Framed in place: STX, LEN, CMD, antenna, RSSI, PC, EPC, checksum, ETX.
    const std::size_t start = out.size();
    const std::size_t area = 5 + tag.epc.size();
    out.push_back(OrvaneRfidCommand::kStx);
    appendBe16(out, static_cast<uint16_t>(area + 4));
    appendBe16(out, rawValue(OrvRfidCmdId::inventoryData));
    out.push_back(tag.antenna);
    appendBe16(out, static_cast<uint16_t>(tag.rssi));
    if (tag.pc.size() >= 2) {
        out.insert(out.end(), tag.pc.begin(), tag.pc.begin() + 2);
    } else {
        out.push_back(static_cast<uint8_t>(((tag.epc.size() / 2) & 0x1F) << 3));
        out.push_back(0x00);
    }
    out.insert(out.end(), tag.epc.begin(), tag.epc.end());
    appendBe16(out, Utilities::checkSum16(ByteView(out).subspan(start + 1)));
    out.push_back(OrvaneRfidCommand::kEtx);
}

void SimVk210::replyStatus(const SimRequest& request, uint8_t status, ByteView data) {
    const Clock::duration lateBy = applyReplyFault(status, request.key);
    const auto id = fromRaw<OrvRfidCmdId>(static_cast<uint16_t>(request.key));
    if (!id) return;
    reply(request, replyFrame(*id, status, data), lateBy);
}

bool SimVk210::replyOkThen(const SimRequest& request, Bytes followUp, Clock::duration gap) {
    uint8_t status = kOk;
    const Clock::duration lateBy = applyReplyFault(status, request.key);
    const auto id = fromRaw<OrvRfidCmdId>(static_cast<uint16_t>(request.key));
    if (!id) return false;
    reply(request, replyFrame(*id, status), lateBy);
    if (status != kOk) return false;
    if (!followUp.empty()) reply(request, std::move(followUp), lateBy + gap);
    return true;
}

void SimVk210::setInventoryRate(double perSecond) {
    std::lock_guard guard(planLock_);
    inventoryRate_ = perSecond;
}

void SimVk210::setDropLinkAfterReports(std::size_t reports) {
    std::lock_guard guard(planLock_);
    dropAfter_ = reports;
}

void SimVk210::setInventoryOnce(bool once) {
    std::lock_guard guard(planLock_);
    inventoryOnce_ = once;
}

SimStreamPlan SimVk210::inventoryPlan() const {
    std::lock_guard guard(planLock_);
    SimStreamPlan plan;
    plan.report = [](Bytes& out, const SimTag& tag, std::size_t) { appendTagReport(out, tag); };
    plan.perSecond = inventoryRate_;
    plan.once = inventoryOnce_;
    plan.dropAfter = dropAfter_;
    return plan;
}

bool SimVk210::sendKey(bool lowerKey, bool pressed) {
    const uint8_t data[] = {static_cast<uint8_t>(lowerKey ? 1 : 0),
                            static_cast<uint8_t>(pressed ? 1 : 0)};
    return sendEvent(eventFrame(OrvRfidCmdId::eventNotificationKeyEventStatus, data));
}

bool SimVk210::sendBatteryNotice(uint8_t percentage, bool charging) {
    const uint8_t data[] = {static_cast<uint8_t>(charging ? 1 : 0), percentage};
    return sendEvent(eventFrame(OrvRfidCmdId::batteryStatus, data));
}

bool SimVk210::sendTemperatureNotice(uint16_t tenthsOfDegree) {
    Bytes data;
    appendBe16(data, tenthsOfDegree);
    return sendEvent(eventFrame(OrvRfidCmdId::paTemperature, data));
}

bool SimVk210::sendBarcode(ByteView data, std::optional<uint8_t> barcodeId) {
    Bytes area;
    if (barcodeId) {
        area = {0x80, *barcodeId};
    } else {
        area = {0x00};
    }
    area.insert(area.end(), data.begin(), data.end());
    return sendEvent(eventFrame(OrvRfidCmdId::scannerData, area));
}

bool SimVk210::sendSystemError(uint8_t kind) {
    const uint8_t data[] = {kind};
    return sendEvent(eventFrame(OrvRfidCmdId::systemError, data));
}

}  // namespace orvane
