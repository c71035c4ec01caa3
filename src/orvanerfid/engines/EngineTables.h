#pragma once

// The supported-parameter tables of the two Zebra engine models: one row per parameter the SDK
// reads and writes on that engine, with its default and its range or its offered choices.
// The tables are constant; each call builds new parameter objects. Any thread.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/EngineParamId.h"
#include "orvanerfid/params/EngineParam.h"

namespace orvane {

// One row: a range row (options empty) or an option row (range 0..0, the options offered to
// the application and not checked against).
struct EngineTableRow {
    EngineParamId id;
    int64_t defaultValue;
    int64_t min;
    int64_t max;
    std::array<uint8_t, 5> options{};
    std::size_t optionCount = 0;

    static constexpr EngineTableRow range(EngineParamId id, int64_t defaultValue, int64_t min,
                                          int64_t max) {
        return {id, defaultValue, min, max};
    }
    static constexpr EngineTableRow choice(EngineParamId id, int64_t defaultValue,
                                           std::initializer_list<uint8_t> options) {
        EngineTableRow row{id, defaultValue, 0, 0};
        for (uint8_t option : options)
            row.options[row.optionCount++] = option;
        return row;
    }
};

// Every id a Zebra parameter and listed once; every range row's default within its range.
constexpr bool rowsAreSound(std::span<const EngineTableRow> rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const EngineTableRow& row = rows[i];
        bool zebra = false;
        for (EngineParamId id : zebraSubset)
            zebra = zebra || id == row.id;
        if (!zebra) return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (rows[j].id == row.id) return false;
        }
        if (row.optionCount == 0 && (row.defaultValue < row.min || row.defaultValue > row.max)) {
            return false;
        }
        if (row.optionCount > 0 && (row.min != 0 || row.max != 0)) return false;
    }
    return true;
}

// The rows of each model, in table order (which is not always id order).
std::span<const EngineTableRow> se4107Rows();
std::span<const EngineTableRow> se2707Rows();

// The table as new parameters: value and default the row's default as decimal text, then the
// range, or the options in order; version window 0..0xFFFFFFFF.
ORVANE_API std::vector<EngineParam> makeSE4107SupportedParameters();
ORVANE_API std::vector<EngineParam> makeSE2707SupportedParameters();

// New parameters for any rows.
std::vector<EngineParam> makeSupportedParameters(std::span<const EngineTableRow> rows);

}  // namespace orvane
