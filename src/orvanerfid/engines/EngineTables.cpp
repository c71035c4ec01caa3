#include "orvanerfid/engines/EngineTables.h"

#include <string>

namespace orvane {

std::vector<EngineParam> makeSupportedParameters(std::span<const EngineTableRow> rows) {
    std::vector<EngineParam> params;
    params.reserve(rows.size());
    for (const EngineTableRow& row : rows) {
        if (row.optionCount == 0) {
            params.emplace_back(row.id, row.defaultValue, row.min, row.max);
            continue;
        }
        std::vector<std::string> options;
        for (std::size_t i = 0; i < row.optionCount; ++i)
            options.push_back(std::to_string(row.options[i]));
        params.emplace_back(row.id, std::to_string(row.defaultValue), std::move(options));
    }
    return params;
}

}  // namespace orvane
