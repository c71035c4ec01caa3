#include "orvanerfid/commands/Gen2Commands.h"

#include <string>

namespace orvane {

std::optional<OrvRfidCmd_AntennaSettings> OrvRfidCmd_GetAntennaSettings::antennaSettings() const {
    const auto antenna = byteAt(0);
    const auto dwell = be16At(1);
    const auto power = be16At(3);
    if (!antenna || !dwell || !power) return std::nullopt;
    return OrvRfidCmd_AntennaSettings(*antenna, *dwell, *power);
}

std::optional<OrvRfidCmd_Gen2Algorithm> OrvRfidCmd_GetGen2Algorithm::gen2Algorithm() const {
    if (data_.size() < 4) return std::nullopt;
    const auto algorithm = data_[0] == 0 ? AlgorithmType::fixedQ : AlgorithmType::dynamicQ;
    const uint8_t q = data_[2];
    return OrvRfidCmd_Gen2Algorithm(algorithm, data_[1], q & 0x0F, q >> 4, data_[3] == 1);
}

void OrvRfidCmd_SetGen2Algorithm::buildData() {
    if (minQ > 15 || maxQ > 15) {
        throw ReaderException(ResultCode::outOfRange,
                              "minQ and maxQ must be between 0 and 15.(minQ=" +
                                  std::to_string(minQ) + ", maxQ=" + std::to_string(maxQ) + ")");
    }
    data_ = {rawValue(algorithm), initQ, static_cast<uint8_t>((maxQ << 4) | minQ),
             static_cast<uint8_t>(dualTarget ? 1 : 0)};
}

std::optional<OrvRfidCmd_Gen2QueryGroup> OrvRfidCmd_GetGen2QueryGroup::gen2QueryGroup() const {
    if (data_.size() < 3) return std::nullopt;
    const auto select =
        data_[0] == 2 || data_[0] == 3 ? *fromRaw<SelectMode>(data_[0]) : SelectMode::all;
    const auto session = data_[1] < 5 ? *fromRaw<Session>(data_[1]) : Session::s0;
    const auto target = data_[2] == 1 ? Target::b : Target::a;
    return OrvRfidCmd_Gen2QueryGroup(select, session, target);
}

}  // namespace orvane
