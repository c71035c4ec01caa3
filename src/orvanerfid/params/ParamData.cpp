#include "orvanerfid/params/ParamData.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/EngineParamId.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {

namespace {

// The Zebra engines' parameter number of each id of the Zebra subset, in subset order.
constexpr std::pair<EngineParamId, int64_t> kZebraNumbers[] = {
    {EngineParamId::upcAOnOff, 1},
    {EngineParamId::upcE0OnOff, 2},
    {EngineParamId::upcE1OnOff, 12},
    {EngineParamId::eanJan8OnOff, 4},
    {EngineParamId::eanJan8CheckDigitOnOff, 1881},
    {EngineParamId::eanJan13OnOff, 3},
    {EngineParamId::eanJan13CheckDigitOnOff, 1882},
    {EngineParamId::booklandEanOnOff, 83},
    {EngineParamId::booklandIsbnFormat, 576},
    {EngineParamId::issnEanOnOff, 617},
    {EngineParamId::decodeUpcEanJanSupplementals, 16},
    {EngineParamId::userProgrammableSupplementals1, 579},
    {EngineParamId::userProgrammableSupplementals2, 580},
    {EngineParamId::upcEanJanSupplementalsRedundancy, 80},
    {EngineParamId::upcEanJanSupplementalsAimIdFormat, 672},
    {EngineParamId::eanSupplementals2OnOff, 207},
    {EngineParamId::eanSupplementals5OnOff, 208},
    {EngineParamId::upcACheckDigitOnOff, 40},
    {EngineParamId::upcE0CheckDigitOnOff, 41},
    {EngineParamId::upcE1CheckDigitOnOff, 42},
    {EngineParamId::upcAPreamble, 34},
    {EngineParamId::upcEPreamble, 35},
    {EngineParamId::upcE1Preamble, 36},
    {EngineParamId::convertUpcEToUpcA, 37},
    {EngineParamId::convertUpcE1ToUpcA, 38},
    {EngineParamId::eanJanZeroExtendOnOff, 39},
    {EngineParamId::uccCouponExtendedCodeOnOff, 85},
    {EngineParamId::couponReport, 730},
    {EngineParamId::upcReducedQuietZoneOnOff, 1289},
    {EngineParamId::code128OnOff, 8},
    {EngineParamId::code128Length1, 209},
    {EngineParamId::code128Length2, 210},
    {EngineParamId::gs1128OnOff, 14},
    {EngineParamId::isbtConcatenationOnOff, 84},
    {EngineParamId::isbtConcatenation, 577},
    {EngineParamId::checkIsbtTableOnOff, 578},
    {EngineParamId::isbtConcatenationRedundancy, 223},
    {EngineParamId::code128Fnc4OnOff, 1254},
    {EngineParamId::code128SecurityLevel, 751},
    {EngineParamId::code128ReducedQuietZoneOnOff, 1208},
    {EngineParamId::code39OnOff, 0},
    {EngineParamId::triopticCodeOnOff, 13},
    {EngineParamId::code32PharmaceuticalParafOnOff, 86},
    {EngineParamId::code32PrefixOnOff, 231},
    {EngineParamId::code39Length1, 18},
    {EngineParamId::code39Length2, 19},
    {EngineParamId::code39CheckChar, 48},
    {EngineParamId::transmitCode39CheckDigitOnOff, 43},
    {EngineParamId::code39FullAsciiOnOff, 17},
    {EngineParamId::code39SecurityLevel, 750},
    {EngineParamId::code39ReducedQuietZoneOnOff, 1209},
    {EngineParamId::code93OnOff, 9},
    {EngineParamId::code93Length1, 26},
    {EngineParamId::code93Length2, 27},
    {EngineParamId::code11OnOff, 10},
    {EngineParamId::code11Length1, 28},
    {EngineParamId::code11Length2, 29},
    {EngineParamId::code11CheckDigit, 52},
    {EngineParamId::transmitCode11CheckDigitOnOff, 47},
    {EngineParamId::interleaved2Of5OnOff, 6},
    {EngineParamId::interleaved2Of5Length1, 22},
    {EngineParamId::interleaved2Of5Length2, 23},
    {EngineParamId::interleaved2Of5CheckDigit, 49},
    {EngineParamId::transmitInterleaved2Of5CheckDigitOnOff, 44},
    {EngineParamId::convertInterleaved2Of5ToEan13OnOff, 82},
    {EngineParamId::interleaved2Of5SecurityLevel, 1121},
    {EngineParamId::interleaved2Of5ReducedQuietZoneOnOff, 1210},
    {EngineParamId::discrete2Of5OnOff, 5},
    {EngineParamId::discrete2Of5Length1, 20},
    {EngineParamId::discrete2Of5Length2, 21},
    {EngineParamId::codabarOnOff, 7},
    {EngineParamId::codabarLength1, 24},
    {EngineParamId::codabarLength2, 25},
    {EngineParamId::clsiEditingOnOff, 54},
    {EngineParamId::notisEditingOnOff, 55},
    {EngineParamId::codabarStartStopCharacterCase, 855},
    {EngineParamId::codabarSecurityLevel, 1776},
    {EngineParamId::msiOnOff, 11},
    {EngineParamId::msiLength1, 30},
    {EngineParamId::msiLength2, 31},
    {EngineParamId::msiCheckChar, 50},
    {EngineParamId::transmitMsiCheckDigitOnOff, 46},
    {EngineParamId::msiCheckDigitAlgorithmOnOff, 51},
    {EngineParamId::msiReducedQuietZoneOnOff, 1392},
    {EngineParamId::chinese2Of5OnOff, 408},
    {EngineParamId::korean3Of5OnOff, 581},
    {EngineParamId::matrix2Of5OnOff, 618},
    {EngineParamId::matrix2Of5Length1, 619},
    {EngineParamId::matrix2Of5Length2, 620},
    {EngineParamId::matrix2Of5Redundancy, 621},
    {EngineParamId::matrix2Of5CheckDigitOnOff, 622},
    {EngineParamId::transmitMatrix2Of5CheckDigitOnOff, 623},
    {EngineParamId::inverse1d, 586},
    {EngineParamId::gs1Databar14OnOff, 338},
    {EngineParamId::gs1DatabarLimitedOnOff, 339},
    {EngineParamId::gs1DatabarExpandedOnOff, 340},
    {EngineParamId::convertGs1DatabarToUpcEanJanOnOff, 397},
    {EngineParamId::gs1DatabarSecurityLevel, 1706},
    {EngineParamId::gs1DatabarLimitedMarginCheck, 728},
    {EngineParamId::gs1DatabarExpandedSecurityLevel, 1707},
    {EngineParamId::redundancyLevel, 78},
    {EngineParamId::securityLevel, 77},
    {EngineParamId::quietZoneLevel1d, 1288},
    {EngineParamId::intercharacterGapSize, 381},
    {EngineParamId::escapeCharacters, 233},
    {EngineParamId::compositeCcCOnOff, 341},
    {EngineParamId::compositeCcABOnOff, 342},
    {EngineParamId::tlc39OnOff, 371},
    {EngineParamId::compositeInverseOnOff, 1113},
    {EngineParamId::upcCompositeMode, 344},
    {EngineParamId::compositeBeepMode, 398},
    {EngineParamId::gs1Emulation, 427},
    {EngineParamId::pdf417OnOff, 15},
    {EngineParamId::microPdf417OnOff, 227},
    {EngineParamId::code128EmulationOnOff, 123},
    {EngineParamId::dataMatrixOnOff, 292},
    {EngineParamId::dataMatrixInverse, 588},
    {EngineParamId::decodeDataMatrixMirrorImages, 537},
    {EngineParamId::gs1DataMatrixOnOff, 1336},
    {EngineParamId::maxicodeOnOff, 294},
    {EngineParamId::qrCodeOnOff, 293},
    {EngineParamId::microQrCodeOnOff, 573},
    {EngineParamId::gs1QrCodeOnOff, 1343},
    {EngineParamId::linkedQrMode, 1847},
    {EngineParamId::aztecCodeOnOff, 574},
    {EngineParamId::aztecInverse, 589},
    {EngineParamId::hanXinCodeOnOff, 1167},
    {EngineParamId::hanXinInverse, 1168},
    {EngineParamId::gridMatrixOnOff, 1718},
    {EngineParamId::gridMatrixInverse, 1719},
    {EngineParamId::gridMatrixMirror, 1736},
    {EngineParamId::dotcodeOnOff, 1906},
    {EngineParamId::dotCodeInverse, 1907},
    {EngineParamId::dotCodeMirror, 1908},
    {EngineParamId::dotCodePrioritizeOnOff, 1937},
    {EngineParamId::engineOrientationOnOff, 624},
    {EngineParamId::continuousBarCodeReadOnOff, 649},
    {EngineParamId::usPostnetOnOff, 89},
    {EngineParamId::usPlanetOnOff, 90},
    {EngineParamId::transmitUsPostalCheckDigitOnOff, 95},
    {EngineParamId::ukPostalOnOff, 91},
    {EngineParamId::transmitUkPostalCheckDigitOnOff, 96},
    {EngineParamId::japanPostalOnOff, 290},
    {EngineParamId::australiaPostOnOff, 291},
    {EngineParamId::australiaPostFormat, 718},
    {EngineParamId::netherlandsKixCodeOnOff, 326},
    {EngineParamId::usps4cbOneCodeIntelligentMailOnOff, 592},
    {EngineParamId::upuFicsPostalOnOff, 611},
    {EngineParamId::febrabanOnOff, 1750},
    {EngineParamId::codabarMod16CheckDigitOnOff, 1784},
    {EngineParamId::transmitCodabarCheckDigitOnOff, 704},
    {EngineParamId::macroPdfSymbols, 188},
    {EngineParamId::transmitMacroPdfControlHeaderOnOff, 184},
    {EngineParamId::mailmarkOnOff, 1337},
    {EngineParamId::picklistMode, 402},
    {EngineParamId::decodingIllumination, 298},
    {EngineParamId::decodeAimingPattern, 306},
    {EngineParamId::multipleDecodeMode, 900},
    {EngineParamId::triggerMode, 138},
    {EngineParamId::decodeSessionTimeout, 136},
    {EngineParamId::lowLightMotionDetection, 810},
    {EngineParamId::transmitCodeIdCharacter, 45},
    {EngineParamId::transmitNoReadMessageOnOff, 94},
};

constexpr bool zebraNumbersFollowSubset() {
    if (std::size(kZebraNumbers) != zebraSubset.size()) return false;
    for (std::size_t k = 0; k < zebraSubset.size(); ++k) {
        if (kZebraNumbers[k].first != zebraSubset[k]) return false;
    }
    return true;
}
static_assert(zebraNumbersFollowSubset());

constexpr int64_t kUserProgrammableSupplementals1 = 579;
constexpr int64_t kUserProgrammableSupplementals2 = 580;

bool isZebraNumber(int64_t number) {
    return std::ranges::any_of(kZebraNumbers,
                               [number](const auto& row) { return row.second == number; });
}

[[noreturn]] void unknownNumber(int64_t number) {
    throw ReaderException(ResultCode::invalidParameter,
                          "Unknown parameter number - " + std::to_string(number));
}

[[noreturn]] void tooShort() {
    throw ReaderException(ResultCode::invalidResponseData, "Invalid data length");
}

// Prefix bytes of the two- and three-byte number forms: 256 + b, 512 + b, 768 + b, and the
// big-endian 16-bit number that follows 0xF8.
constexpr uint8_t kNumber256 = 0xF0;
constexpr uint8_t kNumber512 = 0xF1;
constexpr uint8_t kNumber768 = 0xF2;
constexpr uint8_t kNumber16Bit = 0xF8;

// The wire form of a parameter number: 0-239 one byte; 256-495, 512-751 and 768-1007 a prefix
// and the offset from 256, 512 or 768; 1024-65535 0xF8 and the number big-endian.
void appendNumber(Bytes& out, int64_t number) {
    if (number >= 0 && number <= 239) {
        out.push_back(static_cast<uint8_t>(number));
    } else if (number >= 256 && number <= 1007 && number % 256 <= 239) {
        out.push_back(static_cast<uint8_t>(kNumber256 + number / 256 - 1));
        out.push_back(static_cast<uint8_t>(number % 256));
    } else if (number >= 1024 && number <= 0xFFFF) {
        out.push_back(kNumber16Bit);
        appendBe16(out, static_cast<uint16_t>(number));
    } else {
        unknownNumber(number);
    }
}

// The byte count of the number whose first byte is `first`.
std::size_t numberLength(uint8_t first) {
    switch (first) {
        case kNumber256:
        case kNumber512:
        case kNumber768:
            return 2;
        case kNumber16Bit:
            return 3;
        default:
            return 1;
    }
}

// The number at `at`, which the caller has checked to hold numberLength bytes.
int64_t readNumber(ByteView data, std::size_t at) {
    const uint8_t first = data[at];
    switch (first) {
        case kNumber256:
        case kNumber512:
        case kNumber768:
            return 256 * (first - kNumber256 + 1) + data[at + 1];
        case kNumber16Bit:
            return readBe16(data, at + 1);
        default:
            return first;
    }
}

// "[1, 2, 3]"; "[]" when empty.
std::string listText(ByteView bytes) {
    std::string text = "[";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(bytes[i]);
    }
    return text + "]";
}

void trace(const std::string& text) {
    orvLogger::trace(text);
}

// The marker byte of a form that has one; the byte form has none.
std::optional<ParamDataType> markerAt(ByteView data) {
    if (data.empty() || data[0] == rawValue(ParamDataType::byte)) return std::nullopt;
    return fromRaw<ParamDataType>(data[0]);
}

}  // namespace

std::string ParamData::description() const {
    return "ParamData { number = " + std::to_string(number) + ", data = " + listText(data) + " }";
}

Bytes ParamDataCodec::encode(const ParamData& paramData) {
    Bytes number;
    appendNumber(number, paramData.number);
    if (!isZebraNumber(paramData.number)) unknownNumber(paramData.number);
    Bytes out;
    out.reserve(1 + number.size() + paramData.data.size());
    if (paramData.number == kUserProgrammableSupplementals1 ||
        paramData.number == kUserProgrammableSupplementals2) {
        out.push_back(rawValue(ParamDataType::word));
    }
    out.insert(out.end(), number.begin(), number.end());
    out.insert(out.end(), paramData.data.begin(), paramData.data.end());
    return out;
}

ParamData ParamDataCodec::decode(ByteView data) {
    const bool tracing = orvLogger::isEnabled(LogLevel::trace);
    if (tracing) trace("decode() - data: " + listText(data));

    const ParamDataType type = markerAt(data).value_or(ParamDataType::byte);
    const std::size_t numberIndex = type == ParamDataType::byte ? 0 : 1;
    if (tracing) {
        trace("decode() - dataType: " + std::string(caseName(type)) +
              ", paramNumberIndex: " + std::to_string(numberIndex));
    }

    if (numberIndex >= data.size()) tooShort();
    const std::size_t numberLen = numberLength(data[numberIndex]);
    if (data.size() - numberIndex < numberLen) tooShort();
    const int64_t number = readNumber(data, numberIndex);
    if (tracing) {
        trace("decode() - paramNumber: " + std::to_string(number) +
              ", paramNumberLength: " + std::to_string(numberLen));
    }

    // Every read below is checked against the bytes left after `at`.
    std::size_t at = numberIndex + numberLen;
    const auto take = [&](std::size_t count) {
        if (data.size() - at < count) tooShort();
        const ByteView bytes = data.subspan(at, count);
        at += count;
        return bytes;
    };
    std::size_t valueLength = 0;
    int64_t offset = 0;
    switch (type) {
        case ParamDataType::byte:
            valueLength = 1;
            break;
        case ParamDataType::word:
            valueLength = 2;
            break;
        case ParamDataType::string:
        case ParamDataType::array:
            valueLength = take(1)[0];
            break;
        case ParamDataType::multiPacket:
            valueLength = take(1)[0];
            offset = readBe16(take(2), 0);
            break;
    }
    const ByteView value = take(valueLength);
    ParamData result(number, Bytes(value.begin(), value.end()), offset);
    if (tracing) trace("decode() - ret: " + result.description());
    return result;
}

Bytes ParamDataCodec::joinBytes(const std::vector<Bytes>& lists) {
    Bytes out;
    for (const Bytes& list : lists)
        out.insert(out.end(), list.begin(), list.end());
    return out;
}

}  // namespace orvane
