#include "sim/SimVk640.h"

#include <algorithm>

#include "orvanerfid/commands/STPacket.h"

namespace orvane {
namespace {

constexpr std::size_t kHeader = STPacket::kHeaderSize;
constexpr uint8_t kEventSubcode = 0x21;
constexpr uint8_t kKeyEventTag = 0x21;
// The bit of a row key that says it names a TLV tag.
constexpr SimReader::Key kTagged = 1U << 24;

}  // namespace

SimVk640::SimVk640()
    : SimReader(Format{[](ByteView bytes) { return STPacket::cutPacket(bytes); },
                       [this](ByteView frame) -> Key {
                           const Key untagged = rowKey(frame[6], frame[7]);
                           if (frame.size() == kHeader) return untagged;
                           const Key tagged = rowKey(frame[6], frame[7], frame[kHeader]);
                           return hasRow(tagged) ? tagged : untagged;
                       }}) {
    addVk640DeviceRows(*this);
    addVk640RadioRows(*this);
    addVk640InventoryRows(*this);
    addVk640IndicatorRows(*this);
    addVk640SettingRows(*this);
    addVk640ModuleRows(*this);
}

AccessoryInfo SimVk640::accessoryInfo(std::string serialNumber, std::string firmware) {
    return AccessoryInfo{"Orvane Technology",
                         "VK640",
                         "VK640",
                         std::move(serialNumber),
                         std::move(firmware),
                         {"com.orvane.lumora.dcbridge"}};
}

std::shared_ptr<SimAccessory> SimVk640::makeAccessory(const std::shared_ptr<SimVk640>& reader,
                                                      std::string serialNumber,
                                                      std::string firmware) {
    return std::make_shared<SimAccessory>(
        accessoryInfo(std::move(serialNumber), std::move(firmware)), reader);
}

SimReader::Key SimVk640::rowKey(uint8_t group, uint8_t subcode, std::optional<uint8_t> tag) {
    Key key = (Key{group} << 16) | (Key{subcode} << 8);
    if (tag) key |= kTagged | *tag;
    return key;
}

Bytes SimVk640::packet(uint8_t group, uint8_t subcode, ByteView payload, uint16_t sequence,
                       uint16_t status) {
    Bytes out;
    out.reserve(kHeader + payload.size());
    appendBe16(out, STPacket::kMode);
    appendBe16(out, sequence);
    appendBe16(out, status);
    out.push_back(group);
    out.push_back(subcode);
    appendBe16(out, static_cast<uint16_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes SimVk640::tlv(uint8_t tag, ByteView value) {
    Bytes out(2 + value.size());
    out[0] = tag;
    out[1] = static_cast<uint8_t>(value.size());
    std::copy(value.begin(), value.end(), out.begin() + 2);
    return out;
}

Bytes SimVk640::inventoryPacket(std::span<const SimTag> tags, std::size_t firstIndex, uint8_t q,
                                uint32_t frequency) {
    Bytes out;
    appendInventoryPacket(out, tags, firstIndex, q, frequency);
    return out;
}

void SimVk640::appendInventoryPacket(Bytes& out, std::span<const SimTag> tags,
                                     std::size_t firstIndex, uint8_t q, uint32_t frequency) {
    const std::size_t start = out.size();
    const Bytes header = packet(kInventoryGroup, 0x02, {});
    out.insert(out.end(), header.begin(), header.end());
    // Statistics: Q at 11, the frequency at 12 (little-endian); the rest is not read.
    out.insert(out.end(), {0x02, 16});
    out.insert(out.end(), 11, uint8_t{0});
    out.push_back(q);
    appendLe32(out, frequency);
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const SimTag& tag = tags[i];
        const Bytes pc = tag.pcWord();
        // Header: antenna at 4, log I at 6, log Q at 7, PC at 10.
        out.insert(out.end(), {0x03, 12, 0, 0, 0, 0, tag.antenna, 0, logI(firstIndex + i),
                               logQ(firstIndex + i), 0, 0, pc[0], pc[1]});
        out.push_back(0x04);
        out.push_back(static_cast<uint8_t>(tag.epc.size()));
        out.insert(out.end(), tag.epc.begin(), tag.epc.end());
        if (!tag.tid.empty()) {
            out.push_back(0x05);
            out.push_back(static_cast<uint8_t>(tag.tid.size()));
            out.insert(out.end(), tag.tid.begin(), tag.tid.end());
        }
        out.insert(out.end(), {0xFF, 0x00});
    }
    const std::size_t length = out.size() - start - kHeader;
    out[start + 8] = static_cast<uint8_t>(length >> 8);
    out[start + 9] = static_cast<uint8_t>(length);
}

uint16_t SimVk640::replyPacket(const SimRequest& request, ByteView payload, uint16_t status) {
    const Clock::duration lateBy = applyReplyFault(status, request.key);
    const ByteView frame = request.frame;
    reply(request, packet(frame[6], frame[7], payload, readBe16(frame, 2), status), lateBy);
    return status;
}

void SimVk640::setTagsPerPacket(std::size_t tags) {
    std::lock_guard guard(planLock_);
    tagsPerPacket_ = std::max<std::size_t>(tags, 1);
}

void SimVk640::setInventoryRate(double perSecond) {
    std::lock_guard guard(planLock_);
    inventoryRate_ = perSecond;
}

void SimVk640::setInventoryOnce(bool once) {
    std::lock_guard guard(planLock_);
    inventoryOnce_ = once;
}

void SimVk640::setDropLinkAfterTags(std::size_t tags) {
    std::lock_guard guard(planLock_);
    dropAfter_ = tags;
}

SimStreamPlan SimVk640::inventoryPlan() const {
    std::lock_guard guard(planLock_);
    SimStreamPlan plan;
    plan.reportMany = [](Bytes& out, std::span<const SimTag> tags, std::size_t first) {
        appendInventoryPacket(out, tags, first);
    };
    plan.tagsPerReport = tagsPerPacket_;
    plan.perSecond = inventoryRate_;
    plan.once = inventoryOnce_;
    plan.dropAfter = dropAfter_;
    return plan;
}

std::vector<SimVk640::Shown> SimVk640::shown() const {
    std::lock_guard guard(shownLock_);
    return shown_;
}

int SimVk640::signalsAlone() const {
    std::lock_guard guard(shownLock_);
    return signalsAlone_ + (pendingSignal_ ? 1 : 0);
}

void SimVk640::recordSignal(uint8_t mode) {
    std::lock_guard guard(shownLock_);
    if (pendingSignal_) ++signalsAlone_;
    pendingSignal_ = mode;
}

void SimVk640::recordDisplay(ByteView value) {
    if (value.empty()) return;
    const uint8_t control = value[0];
    Shown shown{std::nullopt, std::string(value.begin() + 1, value.end()),
                static_cast<uint8_t>(control & 0x0F), static_cast<uint8_t>(control >> 6),
                (control & 0x20) != 0};
    std::lock_guard guard(shownLock_);
    shown.signal = std::exchange(pendingSignal_, std::nullopt);
    shown_.push_back(std::move(shown));
}

bool SimVk640::sendBatteryNotice(uint8_t percentage) {
    const uint8_t value[] = {percentage};
    return sendEvent(packet(kDeviceGroup, 0x05, tlv(0x05, value)));
}

bool SimVk640::sendTemperatureNotice(uint8_t degrees) {
    const uint8_t value[] = {degrees};
    return sendEvent(packet(kDeviceGroup, 0x07, tlv(0x07, value)));
}

bool SimVk640::sendTriggerKey(bool pressed) {
    const uint8_t value[] = {static_cast<uint8_t>(pressed ? 1 : 0)};
    return sendEvent(packet(kDeviceGroup, kEventSubcode, tlv(kKeyEventTag, value)));
}

}  // namespace orvane
