#pragma once

// Helpers for the setting command tests: reply frames, data areas and value texts.

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "Vk210FrameSupport.h"
#include "orvanerfid/commands/Gen2Commands.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/commands/RadioSettingCommands.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane::test {

// Keeps the per-frame TRACE lines of the codecs off the console of this binary.
class QuietCodecLogs : public ::testing::Environment {
  public:
    void SetUp() override { orvLogger::setLevel(LogLevel::info); }
};
inline ::testing::Environment* const kQuietCodecLogs =
    ::testing::AddGlobalTestEnvironment(new QuietCodecLogs);

using vk210test::received;
using vk210test::requestData;

// Texts of accessor values, so that one table can hold accessors of every type.
inline std::string show(bool v) {
    return v ? "on" : "off";
}
inline std::string show(const std::string& v) {
    return "\"" + v + "\"";
}
inline std::string show(const Bytes& v) {
    return toHexString(v);
}
template <typename T>
requires std::is_integral_v<T> std::string show(T v) {
    return std::to_string(v);
}
template <TabledEnum E>
std::string show(E v) {
    return std::string(caseName(v));
}
inline std::string show(const OrvRfidCmd_TxOnOffTime& v) {
    return std::to_string(v.onTime) + "/" + std::to_string(v.offTime);
}
inline std::string show(const OrvRfidCmd_AntennaSettings& v) {
    return std::to_string(v.antennaId) + "/" + std::to_string(v.dwellTime) + "/" +
           std::to_string(v.power);
}
inline std::string show(const OrvRfidCmd_Gen2Algorithm& v) {
    return show(v.algorithm) + "/" + std::to_string(v.initQ) + "/" + std::to_string(v.minQ) + "/" +
           std::to_string(v.maxQ) + "/" + show(v.dualTarget);
}
inline std::string show(const OrvRfidCmd_Gen2QueryGroup& v) {
    return show(v.selectMode) + "/" + show(v.session) + "/" + show(v.target);
}
template <typename T>
std::string show(const std::vector<T>& v) {
    std::string out;
    for (const auto& e : v) {
        if (!out.empty()) out += ',';
        out += show(e);
    }
    return out;
}

template <typename T>
std::optional<std::string> showOptional(const std::optional<T>& v) {
    if (!v) return std::nullopt;
    return show(*v);
}

// One row of an accessor table: a reply's data and what the accessor gives for it.
struct ReplyCase {
    Bytes data;
    std::optional<std::string> expected;  // no value: the accessor gives none
};

}  // namespace orvane::test
