#include "orvanerfid/link/Vk640Indicator.h"

#include <array>

#include "orvanerfid/commands/Vk640Packets.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

constexpr std::array<std::string_view, 3> kScaning{"Scan.", "Scan..", "Scan..."};
constexpr auto kSpinnerInterval = std::chrono::milliseconds(1000);
constexpr auto kCountInterval = std::chrono::milliseconds(100);
constexpr uint32_t kFirstDisplayVersion = 10109;
// How long the reader signals, in its own unit.
constexpr uint8_t kSignalTimeout = 5;

}  // namespace

void Vk640Indicator::setIndicator(const InventoryIndicator& indicator) {
    std::lock_guard guard(lock_);
    indicatorBeeper_ = indicator.beeper();
    indicatorVibrator_ = indicator.vibrator();
    indicatorReadOnce_ = indicator.readOnce();
}

InventoryIndicator Vk640Indicator::indicator() const {
    std::lock_guard guard(lock_);
    return InventoryIndicator(indicatorReadOnce_, indicatorBeeper_, indicatorVibrator_);
}

void Vk640Indicator::reset() {
    std::lock_guard guard(lock_);
    getTag_ = false;
    preShowTags_ = 0;
    scaningIndex_ = 0;
    indicatorTagList_.clear();
}

FindDeviceMode Vk640Indicator::mode() const {
    std::lock_guard guard(lock_);
    return modeLocked();
}

FindDeviceMode Vk640Indicator::modeLocked() const {
    const uint8_t mode = (indicatorBeeper_ ? 2 : 0) + (indicatorVibrator_ ? 1 : 0);
    return fromRaw<FindDeviceMode>(mode).value_or(FindDeviceMode::off);
}

bool Vk640Indicator::onTag(const std::string& epc, Clock::time_point now,
                           std::optional<Vk640IndicatorOutput>& output) {
    std::lock_guard guard(lock_);
    if (!getTag_) {
        getTag_ = true;
        indicatorTagList_.insert(epc);
        preShowTags_ = 1;
        std::string text = firstTagText(epc);
        const uint8_t position = centredPosition(text.size());
        displayOutputTime_ = now;
        output = Vk640IndicatorOutput{true, modeLocked(), std::move(text), position, kLine};
        return true;
    }
    if (indicatorReadOnce_) return false;
    indicatorTagList_.insert(epc);
    return true;
}

std::optional<Vk640IndicatorOutput> Vk640Indicator::onPacketEnd(Clock::time_point now) {
    std::lock_guard guard(lock_);
    if (!getTag_) {
        if (now - displayOutputTime_ <= kSpinnerInterval) return std::nullopt;
        displayOutputTime_ = now;
        Vk640IndicatorOutput output{false, FindDeviceMode::off,
                                    std::string(kScaning[scaningIndex_ % kScaning.size()]),
                                    kSpinnerPosition, kLine};
        ++scaningIndex_;
        return output;
    }
    const auto count = indicatorTagList_.size();
    if (indicatorReadOnce_ || static_cast<std::size_t>(preShowTags_) == count) return std::nullopt;
    if (now - displayOutputTime_ <= kCountInterval) return std::nullopt;
    preShowTags_ = static_cast<int>(count);
    displayOutputTime_ = now;
    std::string text = countText(count);
    const uint8_t position = countPosition(text.size());
    return Vk640IndicatorOutput{true, modeLocked(), std::move(text), position, kLine};
}

bool Vk640Indicator::getTag() const {
    std::lock_guard guard(lock_);
    return getTag_;
}

int Vk640Indicator::preShowTags() const {
    std::lock_guard guard(lock_);
    return preShowTags_;
}

std::size_t Vk640Indicator::tagCount() const {
    std::lock_guard guard(lock_);
    return indicatorTagList_.size();
}

std::string Vk640Indicator::firstTagText(std::string_view epc) {
    if (epc.size() <= kWidth) return std::string(epc);
    std::string text(epc.substr(0, kWidth - 3));
    text += '~';
    text += epc.substr(epc.size() - 2);
    return text;
}

uint8_t Vk640Indicator::centredPosition(std::size_t length) {
    const long position = (static_cast<long>(kWidth) - static_cast<long>(length)) / 2;
    return static_cast<uint8_t>(position > 0 ? position : 0);
}

std::string Vk640Indicator::countText(std::size_t count) {
    return std::to_string(count) + " TAGs";
}

uint8_t Vk640Indicator::countPosition(std::size_t length) {
    return length < 12 ? static_cast<uint8_t>(11 - length) : 0;
}

bool vk640DisplaySupported(std::string_view firmwareRevision) {
    return Utilities::versionToUInt32(firmwareRevision) >= kFirstDisplayVersion;
}

std::optional<Bytes> vk640IndicatorBytes(const Vk640IndicatorOutput& output,
                                         bool displaySupported) {
    if (!output.signal && !displaySupported) return std::nullopt;
    Bytes bytes;
    if (output.signal && output.mode != FindDeviceMode::off) {
        STUHFL_FindDevice find(output.mode, kSignalTimeout);
        bytes = find.setPacketBytes();
    }
    if (displaySupported) {
        STUHFL_DisplayOutput display(output.text);
        display.charaterPosition = output.position;
        display.clearScreen = true;
        display.linePosition = output.line;
        const Bytes packet = display.commandPacketBytes();
        bytes.insert(bytes.end(), packet.begin(), packet.end());
    }
    return bytes;
}

}  // namespace orvane
