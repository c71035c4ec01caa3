#include "orvanerfid/commands/RadioSettingCommands.h"

#include <string>

namespace orvane {
namespace {

struct RegionBand {
    OrvRfidCmdRegion region;
    GlobalBandType band;
};

#define ORV_REGION_BAND_(name, raw, text, band) \
    RegionBand{OrvRfidCmdRegion::name, GlobalBandType::band},
constexpr RegionBand kRegionBands[] = {ORV_RFID_CMD_REGION(ORV_REGION_BAND_)};
#undef ORV_REGION_BAND_

}  // namespace

GlobalBandType toGlobalBandType(OrvRfidCmdRegion region) {
    for (const auto& row : kRegionBands) {
        if (row.region == region) return row.band;
    }
    return GlobalBandType::unknown;
}

std::optional<OrvRfidCmdRegion> regionForBand(GlobalBandType band) {
    if (band == GlobalBandType::unknown) return std::nullopt;
    for (const auto& row : kRegionBands) {
        if (row.band == band) return row.region;
    }
    return std::nullopt;
}

namespace fields {

void CountedU32List::write(Bytes& out, const std::vector<uint32_t>& values) {
    if (values.size() > 255) {
        throw ReaderException(ResultCode::outOfRange, "At most 255 frequencies can be set.(" +
                                                          std::to_string(values.size()) + ")");
    }
    out.push_back(static_cast<uint8_t>(values.size()));
    for (uint32_t v : values)
        appendBe32(out, v);
}

std::optional<std::vector<uint32_t>> CountedU32List::read(ByteView d, std::size_t at) {
    if (at >= d.size()) return std::nullopt;
    const std::size_t n = d[at];
    if (d.size() - at - 1 < 4 * n) return std::nullopt;
    std::vector<uint32_t> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(readBe32(d, at + 1 + 4 * i));
    return out;
}

}  // namespace fields

std::optional<OrvRfidCmd_TxOnOffTime> OrvRfidCmd_GetTxOnOffTime::txOnOffTime() const {
    const auto on = be16At(0);
    const auto off = be16At(2);
    if (!on || !off) return std::nullopt;
    return OrvRfidCmd_TxOnOffTime(*on, *off);
}

}  // namespace orvane
