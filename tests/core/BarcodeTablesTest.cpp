#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "orvanerfid/core/Barcode.h"
#include "orvanerfid/core/EngineParamId.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {
namespace {

using Ranges = std::vector<std::pair<unsigned, unsigned>>;

bool inRanges(const Ranges& ranges, unsigned value) {
    for (auto [lo, hi] : ranges) {
        if (value >= lo && value <= hi) return true;
    }
    return false;
}

// Words split at every character that is not an ASCII letter or digit, "+" read as "Plus";
// the first word lower case, every later word capitalised.
std::string lowerCamel(std::string_view text) {
    std::vector<std::string> words(1);
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            words.back() += c;
        } else {
            words.emplace_back(c == '+' ? "Plus" : "");
            words.emplace_back();
        }
    }
    std::string name;
    for (auto& word : words) {
        if (word.empty()) continue;
        for (auto& c : word)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!name.empty()) word[0] = static_cast<char>(std::toupper(word[0]));
        name += word;
    }
    return name;
}

template <typename E>
void expectNamesFollowTexts(std::size_t count) {
    auto cases = allCases<E>();
    ASSERT_EQ(cases.size(), count);
    std::set<std::string_view> names;
    std::set<std::string_view> texts;
    for (auto value : cases) {
        EXPECT_EQ(caseName(value), lowerCamel(description(value))) << description(value);
        EXPECT_FALSE(std::isdigit(static_cast<unsigned char>(caseName(value)[0])));
        names.insert(caseName(value));
        texts.insert(description(value));
    }
    EXPECT_EQ(names.size(), count);
    EXPECT_EQ(texts.size(), count);
}

TEST(BarcodeTables, CaseNamesAreTheTextsInLowerCamelCase) {
    expectNamesFollowTexts<BarcodeId>(108);
    expectNamesFollowTexts<EngineParamId>(319);
    EXPECT_EQ(caseName(BarcodeId::compositeCcAPlusGs1128), "compositeCcAPlusGs1128");
    EXPECT_EQ(caseName(EngineParamId::code32PharmaceuticalParafOnOff),
              "code32PharmaceuticalParafOnOff");
}

TEST(BarcodeTables, BarcodeIdRawValuesHaveTheDocumentedGaps) {
    const Ranges gaps = {{42, 43},   {51, 51},   {57, 71},   {76, 79},   {91, 96},
                         {105, 112}, {116, 135}, {140, 143}, {145, 152}, {155, 159},
                         {161, 179}, {181, 182}, {184, 192}, {194, 255}};
    for (unsigned raw = 0; raw <= 300; ++raw) {
        bool expected = raw <= 272 && !inRanges(gaps, raw);
        auto id = fromRaw<BarcodeId>(raw);
        EXPECT_EQ(id.has_value(), expected) << raw;
        if (id) {
            EXPECT_EQ(rawValue(*id), raw);
        }
    }
    EXPECT_FALSE(fromRaw<BarcodeId>(uint64_t{1} << 40).has_value());
    EXPECT_FALSE(fromRaw<BarcodeId>(-1).has_value());
    EXPECT_EQ(description(*fromRaw<BarcodeId>(256)), "Telepen");
    EXPECT_EQ(fromRaw<BarcodeId>(272), BarcodeId::mailmark);
}

TEST(BarcodeTables, SymbologyClasses) {
    std::size_t oneD = 0, twoD = 0, postal = 0;
    std::vector<BarcodeId> classless;
    for (auto id : allCases<BarcodeId>()) {
        auto t = type(id);
        if (!t) {
            classless.push_back(id);
        } else {
            oneD += *t == BarcodeType::oneD;
            twoD += *t == BarcodeType::twoD;
            postal += *t == BarcodeType::postal;
        }
    }
    EXPECT_EQ(oneD, 68u);
    EXPECT_EQ(twoD, 25u);
    EXPECT_EQ(postal, 13u);
    EXPECT_EQ(classless, (std::vector{BarcodeId::unknown, BarcodeId::multipacketFormat}));

    const std::pair<unsigned, BarcodeType> cases[] = {
        {30, BarcodeType::postal}, {114, BarcodeType::postal}, {115, BarcodeType::postal},
        {13, BarcodeType::twoD},   {268, BarcodeType::oneD},   {269, BarcodeType::oneD},
        {267, BarcodeType::twoD},  {270, BarcodeType::twoD},   {272, BarcodeType::postal},
    };
    for (auto [raw, expected] : cases)
        EXPECT_EQ(type(*fromRaw<BarcodeId>(raw)), expected) << raw;
    EXPECT_EQ(type(static_cast<BarcodeId>(42)), std::nullopt);
    EXPECT_EQ(type(static_cast<BarcodeId>(5000)), std::nullopt);

    EXPECT_FALSE(fromRaw<BarcodeType>(3).has_value());
    EXPECT_EQ(description(BarcodeType::oneD), "1D Symbology");
}

TEST(BarcodeTables, EngineModels) {
    auto models = allCases<EngineModel>();
    ASSERT_EQ(models.size(), 12u);
    for (auto model : models) {
        EXPECT_EQ(stagingBarcode(model), (Bytes{0x00, rawValue(model)}));
        EXPECT_EQ(engineModelFromName(description(model)), model);
    }
    EXPECT_FALSE(fromRaw<EngineModel>(12).has_value());
    EXPECT_EQ(stagingBarcode(EngineModel::N5703), (Bytes{0x00, 0x0B}));

    const std::pair<const char*, EngineModel> names[] = {
        {"SE4107", EngineModel::SE4107},
        {"se4107", EngineModel::SE4107},
        {"sE4107", EngineModel::SE4107},
        {"SE4107 ", EngineModel::unknown},
        {"SE-4107", EngineModel::unknown},
        {"", EngineModel::unknown},
        {"Unknown", EngineModel::unknown},
        {"n5703", EngineModel::N5703},
        {"xl3030", EngineModel::XL3030},
        {"SE4107\n", EngineModel::unknown},
        {"error when encode to ascii", EngineModel::unknown},
    };
    for (auto [name, model] : names)
        EXPECT_EQ(engineModelFromName(name), model) << name;
}

TEST(BarcodeTables, ZebraCodeOfEveryByte) {
    const Ranges sameRaw = {{0, 41},    {44, 50},   {52, 56},   {72, 75},   {80, 90},
                            {97, 104},  {113, 115}, {136, 139}, {144, 144}, {153, 154},
                            {160, 160}, {180, 180}, {183, 183}, {193, 193}};
    const std::pair<unsigned, BarcodeId> remaps[] = {
        {0x39, BarcodeId::matrix2Of5}, {0xC2, BarcodeId::gs1QrCode},  {0xC3, BarcodeId::mailmark},
        {0xC4, BarcodeId::dotcode},    {0xC8, BarcodeId::gridMatrix},
    };
    std::size_t accepted = 0;
    for (unsigned code = 0; code <= 255; ++code) {
        std::optional<BarcodeId> expected;
        if (inRanges(sameRaw, code)) expected = static_cast<BarcodeId>(code);
        for (auto [from, to] : remaps) {
            if (from == code) expected = to;
        }
        auto actual = barcodeIdFromZebraCode(static_cast<uint8_t>(code));
        EXPECT_EQ(actual, expected) << code;
        if (actual) {
            EXPECT_TRUE(isKnown(*actual)) << code;
        }
        accepted += actual.has_value();
    }
    EXPECT_EQ(accepted, 96u);
    EXPECT_EQ(barcodeIdFromZebraCode(0x03), BarcodeId::code128);
    EXPECT_EQ(barcodeIdFromZebraCode(0xC1), BarcodeId::gs1Datamatrix);
    EXPECT_EQ(barcodeIdFromZebraCode(0x71), BarcodeId::matrix2Of5);
}

TEST(BarcodeTables, HoneywellCodeOfEveryByte) {
    const std::pair<char, std::string_view> table[] = {
        {0x00, "unknown"},
        {',', "infoMail"},
        {'.', "dotcode"},
        {'<', "code32"},
        {'=', "triopticCode39"},
        {'>', "labelCode"},
        {'?', "koreaPost"},
        {'A', "postalAustralia"},
        {'B', "britishPost"},
        {'C', "postbarCanada"},
        {'D', "ean8"},
        {'E', "upcE"},
        {'H', "hanXin"},
        {'I', "gs1128"},
        {'J', "postalJapan"},
        {'K', "kixPost"},
        {'L', "planetUs"},
        {'M', "intelligentMail"},
        {'N', "postal4i"},
        {'P', "postnetUs"},
        {'Q', "chinaPost"},
        {'R', "microPdf"},
        {'T', "tlc39"},
        {'V', "codablockA"},
        {'X', "gridMatrix"},
        {'Y', "nec2Of5"},
        {'a', "codabar"},
        {'b', "code39"},
        {'c', "upcA"},
        {'d', "ean13"},
        {'e', "interleaved2Of5"},
        {'f', "straight2Of5"},
        {'g', "msi"},
        {'h', "code11"},
        {'i', "code93"},
        {'j', "code128"},
        {'l', "code49"},
        {'m', "matrix2Of5"},
        {'q', "codablockF"},
        {'r', "pdf417"},
        {'s', "qrCode"},
        {'t', "telepen"},
        {'w', "dataMatrix"},
        {'x', "maxicode"},
        {'y', "gs1Databar14"},
        {'z', "aztecCode"},
        {'{', "gs1DatabarLimited"},
        {'}', "gs1DatabarExpanded"},
    };
    ASSERT_EQ(std::size(table), 48u);
    for (unsigned code = 0; code <= 255; ++code) {
        std::string_view expected;
        for (auto [c, name] : table) {
            if (static_cast<unsigned char>(c) == code) expected = name;
        }
        auto actual = barcodeIdFromHoneywellCode(static_cast<uint8_t>(code));
        EXPECT_EQ(actual.has_value(), !expected.empty()) << code;
        if (actual) {
            EXPECT_EQ(caseName(*actual), expected) << code;
        }
    }
    EXPECT_EQ(barcodeIdFromHoneywellCode(0x6A), BarcodeId::code128);
    EXPECT_EQ(barcodeIdFromHoneywellCode(0x74), BarcodeId::telepen);
}

TEST(EngineParamIdTable, RawIdsAndTexts) {
    for (unsigned raw = 0; raw <= 1100; ++raw) {
        bool expected = raw <= 305 || (raw >= 1000 && raw <= 1012);
        EXPECT_EQ(fromRaw<EngineParamId>(raw).has_value(), expected) << raw;
    }
    EXPECT_FALSE(fromRaw<EngineParamId>(uint64_t{1} << 32).has_value());
    EXPECT_EQ(fromRaw<EngineParamId>(305), EngineParamId::mailmarkOnOff);
    EXPECT_EQ(description(EngineParamId::mailmarkOnOff), "Mailmark On/Off");
    EXPECT_EQ(fromRaw<EngineParamId>(1000), EngineParamId::picklistMode);
    EXPECT_EQ(description(*fromRaw<EngineParamId>(1012)), "Picklist Right");
    EXPECT_EQ(caseName(EngineParamId::picklistRight), "picklistRight");

    auto cases = allCases<EngineParamId>();
    for (std::size_t i = 1; i < cases.size(); ++i)
        EXPECT_LT(cases[i - 1], cases[i]);
    EXPECT_EQ(rawValue(cases[306]), 1000u);
    EXPECT_EQ(description(EngineParamId::upcAAddendaRequiredOnOff),
              "UPC-A Addenda Required  On/Off");
    EXPECT_EQ(description(EngineParamId::isbtConcatenationOnOff), "ISBT Concatenation  On/Off");
    EXPECT_EQ(rawValue(EngineParamId::isbtConcatenation), 70u);
}

TEST(EngineParamIdTable, ZebraSubsetAndPositions) {
    const Ranges subset = {{0, 28},    {65, 75},   {83, 93},   {101, 103}, {108, 112},
                           {116, 123}, {126, 135}, {147, 153}, {157, 164}, {167, 174},
                           {181, 192}, {196, 220}, {246, 256}, {300, 305}, {1000, 1008}};
    std::size_t position = 0;
    for (auto id : allCases<EngineParamId>()) {
        auto zebra = toZebraParamId(id);
        if (!inRanges(subset, static_cast<unsigned>(rawValue(id)))) {
            EXPECT_FALSE(zebraPosition(id).has_value()) << rawValue(id);
            EXPECT_FALSE(zebra.has_value()) << rawValue(id);
            continue;
        }
        EXPECT_EQ(zebraPosition(id), position) << rawValue(id);
        ASSERT_TRUE(zebra.has_value()) << rawValue(id);
        EXPECT_EQ(*zebra, allCases<ZebraParamId>()[position]);
        EXPECT_EQ(toEngineParamId(*zebra), id);
        EXPECT_EQ(zebraSubset[position], id);
        ++position;
    }
    EXPECT_EQ(position, 163u);
    EXPECT_EQ(allCases<ZebraParamId>().size(), 163u);

    const std::pair<unsigned, std::size_t> positions[] = {
        {0, 0},     {28, 28},   {65, 29},   {83, 40},    {101, 51},   {108, 54},  {116, 59},
        {126, 67},  {147, 77},  {157, 84},  {167, 92},   {181, 100},  {196, 112}, {246, 137},
        {256, 147}, {300, 148}, {305, 153}, {1000, 154}, {1008, 162},
    };
    for (auto [raw, pos] : positions) {
        EXPECT_EQ(zebraPosition(*fromRaw<EngineParamId>(raw)), pos) << raw;
        EXPECT_EQ(rawValue(toEngineParamId(allCases<ZebraParamId>()[pos])), raw) << pos;
    }
    for (unsigned raw : {29u, 64u, 221u, 257u, 1009u, 1012u}) {
        EXPECT_FALSE(zebraPosition(*fromRaw<EngineParamId>(raw)).has_value()) << raw;
    }
    EXPECT_FALSE(zebraPosition(static_cast<EngineParamId>(5000)).has_value());

    try {
        toEngineParamId(static_cast<ZebraParamId>(240));
        ADD_FAILURE() << "no exception";
    } catch (const ReaderException& e) {
        EXPECT_EQ(e.resultCode(), ResultCode::invalidParameter);
    }
}

}  // namespace
}  // namespace orvane
