#include "orvanerfid/core/EngineParamId.h"

#include <algorithm>
#include <string>

#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

constexpr auto kZebraCases = allCases<ZebraParamId>();

// A binary search over the subset finds a position only when the ids ascend.
constexpr bool zebraSubsetAscends() {
    for (std::size_t k = 1; k < zebraSubset.size(); ++k) {
        if (!(zebraSubset[k - 1] < zebraSubset[k])) return false;
    }
    return kZebraCases.size() == zebraSubset.size();
}
static_assert(zebraSubsetAscends());

}  // namespace

std::optional<std::size_t> zebraPosition(EngineParamId id) {
    auto it = std::lower_bound(zebraSubset.begin(), zebraSubset.end(), id);
    if (it == zebraSubset.end() || *it != id) return std::nullopt;
    return static_cast<std::size_t>(it - zebraSubset.begin());
}

std::optional<ZebraParamId> toZebraParamId(EngineParamId id) {
    auto position = zebraPosition(id);
    if (!position) return std::nullopt;
    return kZebraCases[*position];
}

EngineParamId toEngineParamId(ZebraParamId zebraId) {
    // The table's entry index is the case's position, and so the position in the subset.
    const int position = detail::findEntry<ZebraParamId>(rawValue(zebraId));
    if (position < 0) {
        throw ReaderException(ResultCode::invalidParameter,
                              "Unknown Zebra parameter - " + std::to_string(rawValue(zebraId)));
    }
    return zebraSubset[static_cast<std::size_t>(position)];
}

}  // namespace orvane
