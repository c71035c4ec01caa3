#include "orvanerfid/core/Barcode.h"

#include <algorithm>
#include <array>
#include <span>

namespace orvane {
namespace {

// The class column of the symbology rows.
namespace symbologyClass {
constexpr std::optional<BarcodeType> oneD = BarcodeType::oneD;
constexpr std::optional<BarcodeType> twoD = BarcodeType::twoD;
constexpr std::optional<BarcodeType> postal = BarcodeType::postal;
constexpr std::optional<BarcodeType> none = std::nullopt;
}  // namespace symbologyClass

#define ORV_BARCODE_CLASS_ROW_(X, name, raw, text, type) symbologyClass::type,
constexpr std::optional<BarcodeType> kClassByRow[] = {
    ORV_BARCODE_ID_ROWS(ORV_BARCODE_CLASS_ROW_, )};
#undef ORV_BARCODE_CLASS_ROW_
static_assert(std::size(kClassByRow) == allCases<BarcodeId>().size());

constexpr std::size_t kMaxBarcodeRaw = rawValue(allCases<BarcodeId>().back());

// Class by raw value, so that `type` is one index.
constexpr auto kClassByRaw = [] {
    std::array<std::optional<BarcodeType>, kMaxBarcodeRaw + 1> table{};
    auto cases = allCases<BarcodeId>();
    for (std::size_t row = 0; row < cases.size(); ++row)
        table[rawValue(cases[row])] = kClassByRow[row];
    return table;
}();

struct CodeRow {
    uint8_t code;
    BarcodeId id;
};

using CodeTable = std::array<std::optional<BarcodeId>, 256>;

constexpr CodeTable withRows(CodeTable table, std::span<const CodeRow> rows) {
    for (const auto& row : rows)
        table[row.code] = row.id;
    return table;
}

// Zebra code bytes name the symbology of the same raw value, except these.
constexpr CodeRow kZebraRemaps[] = {
    {0x39, BarcodeId::matrix2Of5}, {0xC2, BarcodeId::gs1QrCode},  {0xC3, BarcodeId::mailmark},
    {0xC4, BarcodeId::dotcode},    {0xC8, BarcodeId::gridMatrix},
};

constexpr CodeTable kZebraCodes = [] {
    CodeTable identity{};
    for (auto id : allCases<BarcodeId>()) {
        if (rawValue(id) < identity.size()) identity[rawValue(id)] = id;
    }
    return withRows(identity, kZebraRemaps);
}();

constexpr std::size_t acceptedCodes(const CodeTable& table) {
    return static_cast<std::size_t>(
        std::count_if(table.begin(), table.end(), [](const auto& id) { return id.has_value(); }));
}

// 91 codes below 256 plus 5 remaps: a remap must not shadow a symbology's own code.
static_assert(acceptedCodes(kZebraCodes) == 96);

// Honeywell code-identifier characters: each case names the symbology of the same name.
#define ORV_HONEYWELL_CODE_ROW_(name, character, text) {character, BarcodeId::name},
constexpr CodeRow kHoneywellRows[] = {ORV_HONEYWELL_CODE_ID(ORV_HONEYWELL_CODE_ROW_)};
#undef ORV_HONEYWELL_CODE_ROW_

constexpr CodeTable kHoneywellCodes = withRows(CodeTable{}, kHoneywellRows);
static_assert(acceptedCodes(kHoneywellCodes) == std::size(kHoneywellRows));

constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<BarcodeType> type(BarcodeId id) {
    auto raw = rawValue(id);
    return raw < kClassByRaw.size() ? kClassByRaw[raw] : std::nullopt;
}

Bytes stagingBarcode(EngineModel model) {
    return {0x00, rawValue(model)};
}

EngineModel engineModelFromName(std::string_view name) {
    for (auto model : allCases<EngineModel>()) {
        if (equalIgnoringCase(description(model), name)) return model;
    }
    return EngineModel::unknown;
}

std::optional<BarcodeId> barcodeIdFromZebraCode(uint8_t code) {
    return kZebraCodes[code];
}

std::optional<BarcodeId> barcodeIdFromHoneywellCode(uint8_t code) {
    return kHoneywellCodes[code];
}

BarcodeId toBarcodeId(HoneywellCodeId code) {
    return kHoneywellCodes[rawValue(code)].value_or(BarcodeId::unknown);
}

}  // namespace orvane
