#include "orvanerfid/params/RfidConfig.h"

#include <string_view>

namespace orvane {

namespace {

std::string text(bool value) {
    return value ? "true" : "false";
}

template <std::integral T>
std::string text(T value) {
    return std::to_string(value);
}

template <TabledEnum E>
std::string text(E value) {
    if (!isKnown(value)) return "Unknown(" + std::to_string(rawValue(value)) + ")";
    return std::string(description(value));
}

struct Line {
    std::string_view label;
    std::string (*value)(const RfidConfig&);
};

#define ORV_LINE_(label, field)                                  \
    Line {                                                       \
        label, [](const RfidConfig& c) { return text(c.field); } \
    }

// The description's lines, which are not in field order.
const Line kLines[] = {
    ORV_LINE_("Continuous: ", continuousMode),
    ORV_LINE_("Target: ", target),
    ORV_LINE_("Session: ", session),
    ORV_LINE_("Encoding: ", encoding),
    ORV_LINE_("TARI: ", tariType),
    ORV_LINE_("BLF: ", blfType),
    ORV_LINE_("Algorithm: ", algorithm),
    ORV_LINE_("Start Q: ", startQ),
    ORV_LINE_("Max Q: ", maxQ),
    ORV_LINE_("Min Q: ", minQ),
    ORV_LINE_("Power: ", power),
    ORV_LINE_("Inventory Time: ", inventoryTime),
    ORV_LINE_("Idle Time: ", idleTime),
    ORV_LINE_("Toggle Target: ", toggleTarget),
    ORV_LINE_("Fast Mode: ", fastMode),
    ORV_LINE_("Select Mode: ", selectMode),
    ORV_LINE_("LBT: ", lbt),
    ORV_LINE_("Fast ID: ", fastId),
    ORV_LINE_("Tag Focus: ", tagFocus),
    ORV_LINE_("Power Saving Mode: ", powerSavingMode),
    ORV_LINE_("LBT Configure: ", lbtConfigure),
    ORV_LINE_("Antenna Switching Mode: ", asMode),
    ORV_LINE_("Frequency Switching Mode: ", fsMode),
    ORV_LINE_("RF Mode: ", rfMode),
    ORV_LINE_("Dwell Time: ", dwellTime),
};

#undef ORV_LINE_

}  // namespace

std::string RfidConfig::description() const {
    std::string out;
    for (const Line& line : kLines) {
        out += line.label;
        out += line.value(*this);
        out += '\n';
    }
    return out;
}

}  // namespace orvane
