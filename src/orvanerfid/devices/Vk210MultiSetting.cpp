#include "orvanerfid/devices/Vk210MultiSetting.h"

#include <algorithm>
#include <numeric>
#include <optional>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/devices/Vk210Settings.h"

namespace orvane::vk210 {
namespace {

constexpr std::string_view kTag = "Vk210Device";
constexpr std::string_view kResponseTag = "responseDataToDeviceParam(_:_:)";

// Calls onFrame(frame) for each whole frame at the front of `data`; the first bytes that start
// no valid frame end the walk.
template <typename OnFrame>
void forEachReplyFrame(ByteView data, OnFrame&& onFrame) {
    while (!data.empty()) {
        const int length = OrvaneRfidCommand::checkFormat(data);
        if (length <= 0) return;
        onFrame(data.first(static_cast<std::size_t>(length)));
        data = data.subspan(static_cast<std::size_t>(length));
    }
}

void logResponseError(const ReaderException& e) {
    orvLogger::error(kTag, std::string(kResponseTag) + " " + e.description());
}

// The row a reply answers: among the rows of its command, the first whose id was asked and not
// yet answered, else the first asked, else the last (the one the reply names by itself).
const SettingRow* answeredRow(OrvRfidCmdId command, const std::vector<DeviceParamId>& ids,
                              std::vector<bool>& answered) {
    const SettingRow* asked = nullptr;
    const SettingRow* last = nullptr;
    for (const SettingRow& row : settingRows()) {
        if (row.getCommand != command || !row.decode) continue;
        last = &row;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (ids[i] != row.id) continue;
            if (!answered[i]) {
                answered[i] = true;
                return &row;
            }
            if (!asked) asked = &row;
        }
    }
    return asked ? asked : last;
}

}  // namespace

std::vector<unsigned> autoOffTimeList() {
    std::vector<unsigned> list(481);
    std::iota(list.begin(), list.end(), 0u);
    return list;
}

Bytes getBytePackage(const DeviceParam& param) {
    const SettingRow* row = settingRow(param.id());
    if (!row || row->getCommand == OrvRfidCmdId::unknown) {
        orvLogger::warn(kTag, "getBytePackage(_:) The deviceParam id " +
                                  std::string(description(param.id())) + " is not supported.");
        return {};
    }
    const std::optional<DeviceValue> value = param.getValue();
    if (param.id() == DeviceParamId::triggerKeyStatus) {
        const auto* status = value ? std::get_if<TriggerKeyStatus>(&*value) : nullptr;
        const bool upper = !status || status->keyId == KeyID::upperKey;
        return readRequest(*row, upper ? OrvRfidCmdKeyId::upperKey : OrvRfidCmdKeyId::lowerKey);
    }
    if (param.id() == DeviceParamId::batteryStatusExtended) {
        const auto* record = value ? std::get_if<BatteryStatusExtended>(&*value) : nullptr;
        return readRequest(*row, OrvRfidCmdKeyId::upperKey,
                           record ? record->types() : std::vector<BatteryStatusExtendedType>{});
    }
    return readRequest(*row);
}

Bytes setBytePackage(const DeviceParam& param) {
    const SettingRow* row = settingRow(param.id());
    if (!row || !row->build) {
        orvLogger::warn(kTag, "setBytePackage(_:) The deviceParam id " +
                                  std::string(caseName(param.id())) + " is not supported.");
        return {};
    }
    const std::optional<DeviceValue> value = param.getValue();
    if (!value) throw ReaderException(ResultCode::invalidParameter, "");
    return row->build(*value);
}

std::vector<DeviceParam> responseDataToDeviceParam(ByteView data,
                                                   const std::vector<DeviceParamId>& ids) {
    orvLogger::trace(kTag, "*** responseDataToDeviceParam(_:_:)");
    std::vector<DeviceParam> records;
    std::vector<bool> answered(ids.size(), false);
    forEachReplyFrame(data, [&](ByteView frame) {
        try {
            const OrvaneRfidCommand reply(OrvaneRfidCommand::ReceiveBytes{frame});
            // A failed request has no value to report; a default in its place would read as one.
            reply.checkStatus(kResponseTag);
            const SettingRow* row = answeredRow(reply.id(), ids, answered);
            if (!row) {
                orvLogger::warn(kTag, std::string(kResponseTag) + " The command id " +
                                          std::string(caseName(reply.id())) + " is not supported.");
                return;
            }
            records.emplace_back(row->id, row->decode(reply));
        } catch (const ReaderException& e) {
            logResponseError(e);
        }
    });
    if (std::ranges::find(ids, DeviceParamId::autoOffTimeList) != ids.end()) {
        records.emplace_back(DeviceParamId::autoOffTimeList, autoOffTimeList());
    }
    return records;
}

void verifySetResult(ByteView data) {
    forEachReplyFrame(data, [](ByteView frame) {
        OrvaneRfidCommand(OrvaneRfidCommand::ReceiveBytes{frame})
            .checkStatus("verifySetResult(_:)");
    });
}

}  // namespace orvane::vk210
