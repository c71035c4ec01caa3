#pragma once

// The feedback a Vk640 reader gives of its own while an inventory runs, driven by the protocol
// object: a beep and, or vibration and the EPC on the display at the first tag, then the number
// of distinct tags read; a "Scan." spinner while no tag has been read.
//
// Threads: the receive loop calls `onTag` and `onPacketEnd`; `setIndicator` and `reset` come
// from the device's or the radio-module driver's thread. All state sits behind one mutex, held
// only while the state changes; the caller builds and writes the packets afterwards, outside it.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/SettingValues.h"
#include "orvanerfid/platform/Clock.h"

namespace orvane {

// One write the indicator asks for: the signal (beep and, or vibration) with the text on line
// 2, or the text alone.
struct Vk640IndicatorOutput {
    bool signal = false;
    FindDeviceMode mode = FindDeviceMode::off;  // of a signal; taken when the step ran
    std::string text;
    uint8_t position = 0;
    uint8_t line = 2;
};

class Vk640Indicator {
  public:
    static constexpr uint8_t kLine = 2;
    static constexpr uint8_t kSpinnerPosition = 5;
    // The display's width in characters.
    static constexpr std::size_t kWidth = 16;

    explicit Vk640Indicator(Clock::time_point now = Clock::now()) : displayOutputTime_(now) {}

    // Beeper, vibrator and read-once mode.
    void setIndicator(const InventoryIndicator& indicator);
    InventoryIndicator indicator() const;
    // The signal the settings ask for.
    FindDeviceMode mode() const;

    // Back to "no tag read": empty list, spinner at its first step.
    void reset();

    // One tag report built by the receive loop, with its EPC text. True when the report goes to
    // the device (false for every tag after the first in read-once mode). The first tag since
    // the reset fills `output` with its signal.
    bool onTag(const std::string& epc, Clock::time_point now,
               std::optional<Vk640IndicatorOutput>& output);
    // The end of one inventory data packet: the spinner step, the count of tags, or nothing.
    std::optional<Vk640IndicatorOutput> onPacketEnd(Clock::time_point now);

    bool getTag() const;
    int preShowTags() const;
    std::size_t tagCount() const;

    // The text shown for a first tag's EPC: the EPC when it fits the display, else its first 13
    // characters, "~" and its last 2, which fill the line exactly.
    static std::string firstTagText(std::string_view epc);
    // (width - length) / 2 in signed arithmetic: a text as wide as the display starts at 0.
    static uint8_t centredPosition(std::size_t length);
    // "N TAGs" and where it goes: 11 - length for a text under 12 characters, else 0.
    static std::string countText(std::size_t count);
    static uint8_t countPosition(std::size_t length);

  private:
    FindDeviceMode modeLocked() const;

    mutable std::mutex lock_;
    bool indicatorVibrator_ = true;
    bool indicatorBeeper_ = true;
    bool indicatorReadOnce_ = false;
    bool getTag_ = false;
    int preShowTags_ = 0;
    // The EPC texts of the distinct tags since the reset; only their number is shown.
    std::unordered_set<std::string> indicatorTagList_;
    unsigned scaningIndex_ = 0;
    Clock::time_point displayOutputTime_;
};

// The reader shows display packets from firmware 1.01.09 on; a revision that is no version
// counts as older.
bool vk640DisplaySupported(std::string_view firmwareRevision);

// The bytes of one indicator write: for a signal, the find-device packet (unless the mode is
// off) followed by the display packet (when supported), possibly nothing at all; for a text
// alone, the display packet, or no value when the display is not supported.
std::optional<Bytes> vk640IndicatorBytes(const Vk640IndicatorOutput& output, bool displaySupported);

}  // namespace orvane
