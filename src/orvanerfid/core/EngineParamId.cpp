#include "orvanerfid/core/EngineParamId.h"

#include <algorithm>
#include <string>

#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

constexpr bool zebraTablesAgree() {
    auto cases = allCases<ZebraParamId>();
    if (cases.size() != zebraSubset.size()) return false;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        if (rawValue(cases[k]) != k) return false;
        if (k > 0 && !(zebraSubset[k - 1] < zebraSubset[k])) return false;
    }
    return true;
}

// Positions are raw values and the subset is ascending, so a binary search finds a position.
static_assert(zebraTablesAgree());

}  // namespace

std::optional<std::size_t> zebraPosition(EngineParamId id) {
    auto it = std::lower_bound(zebraSubset.begin(), zebraSubset.end(), id);
    if (it == zebraSubset.end() || *it != id) return std::nullopt;
    return static_cast<std::size_t>(it - zebraSubset.begin());
}

std::optional<ZebraParamId> toZebraParamId(EngineParamId id) {
    auto position = zebraPosition(id);
    if (!position) return std::nullopt;
    return static_cast<ZebraParamId>(*position);
}

EngineParamId toEngineParamId(ZebraParamId zebraId) {
    auto position = rawValue(zebraId);
    if (position >= zebraSubset.size()) {
        throw ReaderException(ResultCode::invalidParameter,
                              "Unknown Zebra parameter - " + std::to_string(position));
    }
    return zebraSubset[position];
}

}  // namespace orvane
