#include "orvanerfid/core/ResultCode.h"

#include <gtest/gtest.h>

#include <set>

namespace orvane {
namespace {

TEST(ResultCode, TableHasFiftyTwoDistinctCodesAndTexts) {
    auto cases = allCases<ResultCode>();
    EXPECT_EQ(cases.size(), 52u);
    std::set<std::string_view> texts;
    for (auto code : cases)
        texts.insert(description(code));
    EXPECT_EQ(texts.size(), 52u);
    EXPECT_EQ(description(ResultCode::failedToProcessParameter), "Failed to process Parameter");
    EXPECT_EQ(description(ResultCode::crcError), "CRC error on tag response");
}

TEST(ResultCode, RawNumbersOutsideTheTableYieldNoValue) {
    for (uint16_t raw : {0x0007, 0x000E, 0x4004, 0x5007, 0x6007, 0x7001, 0xF000, 0xF00B, 0xFFFA}) {
        EXPECT_FALSE(fromRaw<ResultCode>(raw).has_value()) << std::hex << raw;
    }
    EXPECT_EQ(fromRaw<ResultCode>(0x7FFF), ResultCode::systemError);
    EXPECT_EQ(fromRaw<ResultCode>(0xFFFF), ResultCode::operationFailed);
    EXPECT_FALSE(fromRaw<ResultCode>(0x10000).has_value());
    EXPECT_FALSE(fromRaw<ResultCode>(-1).has_value());
}

TEST(ResultCode, ModuleStatusOrdinals) {
    struct Case {
        int ordinal;
        ResultCode code;
    };
    const Case cases[] = {
        {0, ResultCode::undefined},
        {1, ResultCode::noError},
        {2, ResultCode::notSupported},
        {3, ResultCode::busyDevice},
        {5, ResultCode::timeout},
        {8, ResultCode::parameterError},
        {18, ResultCode::noTagReply},
        {19, ResultCode::accessError},
        {22, ResultCode::otherError},
        {23, ResultCode::notSupported},
        {25, ResultCode::memoryOverrun},
        {26, ResultCode::memoryLocked},
        {31, ResultCode::insufficientPower},
        {32, ResultCode::nonSpecificError},
        {33, ResultCode::undefined},
        {41, ResultCode::undefined},
        {42, ResultCode::otherError},
        {-1, ResultCode::undefined},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resultCodeFromModuleStatus(c.ordinal), c.code) << c.ordinal;
    }
}

TEST(ResultCode, AccessErrorBytesEndToEnd) {
    struct Case {
        uint8_t byte;
        int ordinal;
        ResultCode code;
    };
    const Case cases[] = {
        {0, 0, ResultCode::noError},
        {1, 1, ResultCode::noTagReply},
        {2, 2, ResultCode::tagLost},
        {3, 3, ResultCode::noTagReply},
        {4, 4, ResultCode::invalidPassword},
        {5, 5, ResultCode::zeroKillPassword},
        {0x80, 6, ResultCode::otherError},
        {0x81, 7, ResultCode::notSupported},
        {0x82, 8, ResultCode::insufficientPrivilege},
        {0x83, 9, ResultCode::memoryOverrun},
        {0x84, 10, ResultCode::memoryLocked},
        {0x85, 11, ResultCode::cryptoSuiteError},
        {0x86, 12, ResultCode::commandNotEncapsulated},
        {0x87, 13, ResultCode::responseBufferOverflow},
        {0x88, 14, ResultCode::timeout},
        {0x8B, 15, ResultCode::insufficientPower},
        {0x8F, 16, ResultCode::nonSpecificError},
        {0xFF, 17, ResultCode::undefined},
        {0x06, 18, ResultCode::undefined},
        {0x89, 18, ResultCode::undefined},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(accessErrorOrdinal(c.byte), c.ordinal) << int(c.byte);
        EXPECT_EQ(resultCodeFromAccessError(accessErrorOrdinal(c.byte)), c.code) << int(c.byte);
    }
}

TEST(ReaderException, DescriptionText) {
    EXPECT_EQ(ReaderException(ResultCode::connectFailed, "Device is nil").description(),
              "Result Code: Connect Failed, Message: Device is nil");
    EXPECT_EQ(ReaderException(ResultCode::notSupported, "").description(),
              "Result Code: Not Supported");
    EXPECT_EQ(ReaderException(ResultCode::notSupported, " ").description(),
              "Result Code: Not Supported, Message:  ");
    ReaderException e(ResultCode::outOfRange, "q");
    const CodedError& base = e;
    EXPECT_EQ(base.resultCode(), ResultCode::outOfRange);
    EXPECT_EQ(base.message(), "q");
}

}  // namespace
}  // namespace orvane
