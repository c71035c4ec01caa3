#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/RadioOperationStatus.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

// The raw values in [0, last] that construct a case; each must round-trip through rawValue.
template <TabledEnum E>
std::vector<long> acceptedRaws(long last) {
    std::vector<long> accepted;
    for (long raw = 0; raw <= last; ++raw) {
        if (auto value = fromRaw<E>(raw)) {
            EXPECT_EQ(rawValue(*value), raw);
            accepted.push_back(raw);
        }
    }
    return accepted;
}

std::vector<long> range(long first, long last) {
    std::vector<long> values;
    for (long v = first; v <= last; ++v)
        values.push_back(v);
    return values;
}

struct RawSetCase {
    const char* name;
    std::pair<std::vector<long>, std::size_t> found;  // accepted raw values, allCases size
    std::vector<long> expected;
};

// Every raw value in [0, last] that is a case, and the number of cases.
template <TabledEnum E>
std::pair<std::vector<long>, std::size_t> survey(long last = 255) {
    return {acceptedRaws<E>(last), allCases<E>().size()};
}

TEST(Enums, EachEnumerationAcceptsExactlyItsRawValues) {
    const RawSetCase cases[] = {
        {"AccessMode", survey<AccessMode>(), range(0, 3)},
        {"DeviceParamId", survey<DeviceParamId>(), range(0, 63)},
        {"UhfParamId", survey<UhfParamId>(), range(0, 47)},
        {"NotificationID", survey<NotificationID>(), range(0, 5)},
        {"ConnectionMode", survey<ConnectionMode>(), range(0, 6)},
        {"HidInterCharacterDelay", survey<HidInterCharacterDelay>(), range(0, 5)},
        {"FindDeviceMode", survey<FindDeviceMode>(), range(0, 3)},
        {"DataInfo", survey<DataInfo>(), range(0, 2)},
        {"TariType", survey<TariType>(), range(0, 2)},
        {"MaskTarget", survey<MaskTarget>(), range(0, 4)},
        {"SelectMode", survey<SelectMode>(), {1, 2, 3}},
        {"GlobalBandType",
         survey<GlobalBandType>(),
         {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 13, 14, 20, 22}},
        {"BlfType", survey<BlfType>(), {0, 6, 8, 9, 12, 15}},
        {"RfMode", survey<RfMode>(65535), {1,   3,   5,   7,   11,  12,  13,  15,  102, 103,
                                           120, 123, 124, 125, 141, 146, 147, 148, 185, 202,
                                           203, 222, 223, 225, 226, 241, 244, 285, 302, 323,
                                           324, 325, 342, 343, 344, 345, 382}},
        {"MaskAction", survey<MaskAction>(), range(0, 7)},
        {"InventoryDataFormat", survey<InventoryDataFormat>(), range(0, 8)},
        {"HidKeyboardLanguage", survey<HidKeyboardLanguage>(), range(0, 13)},
        {"DataSendingInterBlockDelay", survey<DataSendingInterBlockDelay>(), range(0, 5)},
        {"OperatingMode", survey<OperatingMode>(), {0, 1, 3}},
        {"SkuType", survey<SkuType>(), range(0, 4)},
        {"FirmwareUpdateState", survey<FirmwareUpdateState>(), range(0, 5)},
        {"ParamDataType", survey<ParamDataType>(), {0x00, 0xF3, 0xF4, 0xF6, 0xF7}},
        {"ChangeType", survey<ChangeType>(), {0, 8}},
        {"UhfModuleType", survey<UhfModuleType>(), range(0, 2)},
        {"ControlCharacterFilter", survey<ControlCharacterFilter>(), range(0, 2)},
        {"Session", survey<Session>(), range(0, 4)},
        {"DataTerminator", survey<DataTerminator>(), range(0, 4)},
        {"Gs1Ai", survey<Gs1Ai>(), range(0, 2)},
        {"EventNotificationId", survey<EventNotificationId>(), {0xE1, 0xE4, 0xE5}},
        {"ConnectType", survey<ConnectType>(), {0, 1}},
        {"RadioOperationStatus",
         survey<RadioOperationStatus>(),
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 255}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.found.first, c.expected) << c.name;
        EXPECT_EQ(c.found.second, c.expected.size()) << c.name;
    }
}

TEST(Enums, ActionStateIsSignedAndSparse) {
    for (long raw : {-1L, 1L, 2L, 4L, 6L, 8L, 16L, 0x10000L, 0x10002L, 0x30000L}) {
        EXPECT_FALSE(fromRaw<ActionState>(raw)) << raw;
    }
    // A wide number is compared whole, never truncated to 32 bits.
    EXPECT_FALSE(fromRaw<ActionState>(int64_t{0x100000003}));
    EXPECT_EQ(fromRaw<ActionState>(0x10001), ActionState::decoding);
    EXPECT_EQ(fromRaw<ActionState>(0x20004), ActionState::defaultParameter);
    EXPECT_EQ(description(ActionState::inventoryAndDecode), "Inventory and Decode");
    EXPECT_EQ(fromRaw<ActionState>(15), ActionState::authenticate);
    EXPECT_EQ(allCases<ActionState>().size(), 14u);
}

TEST(Enums, RfModeKeepsDeclarationOrderAndNamesItsRawValue) {
    const auto cases = allCases<RfMode>();
    EXPECT_EQ(rawValue(cases.front()), 103);
    EXPECT_EQ(rawValue(cases[1]), 11);
    EXPECT_EQ(rawValue(cases.back()), 382);
    for (RfMode mode : cases) {
        const std::string expected = "rf_" + std::to_string(rawValue(mode));
        EXPECT_EQ(description(mode), expected);
        EXPECT_EQ(caseName(mode), expected);
    }
    EXPECT_FALSE(fromRaw<RfMode>(65536 + 103));
}

// Declaration order is what allCases gives, for the tables that list cases out of raw order too.
TEST(Enums, AllCasesFollowDeclarationOrder) {
    const auto notifications = allCases<EventNotificationId>();
    EXPECT_EQ(notifications[0], EventNotificationId::rfidLbtStatus);
    EXPECT_EQ(notifications[1], EventNotificationId::keyEvent);
    EXPECT_EQ(notifications[2], EventNotificationId::batchDataBeginEnd);
    EXPECT_EQ(allCases<DeviceParamId>().back(), DeviceParamId::scannerDataWithCustomizedFormat);
    EXPECT_EQ(allCases<UhfParamId>().back(), UhfParamId::authenticate);
    EXPECT_EQ(allCases<Target>()[1], Target::b);
}

TEST(Enums, DisplayTexts) {
    const std::pair<std::string_view, std::string_view> texts[] = {
        {description(*fromRaw<SelectMode>(1)), "All"},
        {description(*fromRaw<GlobalBandType>(22)), "Russia"},
        {description(*fromRaw<BlfType>(15)), "640 kHz"},
        {description(*fromRaw<MaskTarget>(4)), "SL"},
        {description(*fromRaw<OperatingMode>(3)), "Buffer"},
        {description(*fromRaw<DataSendingInterBlockDelay>(4)), "Delay 1sec"},
        {description(HidKeyboardLanguage::belgium), "Belgium"},
        {description(SkuType::us), "U.S."},
        {description(SkuType::usAndJapanese), "U.S. and Japanese"},
        {description(PowerSavingMode::powerOn), "Power On Mode. Always Power On."},
        {description(HidKeyboardCase::auto_), "Auto"},
        {description(*fromRaw<ControlCharacterFilter>(2)), "Partial Send"},
        {description(*fromRaw<Session>(4)), "Session 4"},
        {description(EventNotificationId::rfidLbtStatus), "RFID LBT Status."},
        {description(DataTerminator::crlf), "CRLF (Carriage Return, Line Feed)"},
        {description(DeviceParamId::hidInterCharacterDelay), "HID Inter-Character Delay"},
        {description(*fromRaw<TariType>(0)), "6.25 microseconds"},
        {description(*fromRaw<MaskAction>(4)),
         "Matching is Inventoried B or Deassert SL, Not-Matching is Inventoried A or Assert SL."},
        {description(Truncate::partialEpc), "Partial EPC"},
        {description(InventoryDataFormat::userSpecifiedMemory), "User Specified Memory"},
        {description(*fromRaw<CfgStorageMode>(0)), "Save-to RAM/Flash Mode."},
        {description(CfgStorageMode::ramOnly), "Save-to RAM only Mode."},
        {description(ConnectType::accessory), ""},
    };
    for (const auto& [actual, expected] : texts)
        EXPECT_EQ(actual, expected);
    EXPECT_EQ(description(PowerSavingMode::powerOn).size(), 31u);
    EXPECT_EQ(fromRaw<ChangeType>(8), ChangeType::permanent);
    EXPECT_EQ(fromRaw<ParamDataType>(0xF7), ParamDataType::multiPacket);
}

// The access modes, stated as the lists of read-only and executable ids; all others read/write.
template <TabledEnum E>
void expectAccessModes(const std::vector<long>& readOnly, const std::vector<long>& executable) {
    for (E id : allCases<E>()) {
        const long raw = rawValue(id);
        AccessMode expected = AccessMode::readWrite;
        if (std::ranges::count(readOnly, raw)) expected = AccessMode::readOnly;
        if (std::ranges::count(executable, raw)) expected = AccessMode::executable;
        EXPECT_EQ(accessMode(id), expected) << description(id);
    }
}

TEST(Enums, AccessModesMatchTheIdLists) {
    expectAccessModes<DeviceParamId>({0, 1, 2, 3, 4, 5, 6, 27, 28, 29, 30, 31, 32, 52, 54, 55, 61},
                                     {12, 19, 24, 25, 46, 47, 48, 49, 50, 51, 59, 60});
    expectAccessModes<UhfParamId>({7, 10, 20}, {0, 1, 2, 3, 4, 5, 6, 29, 30, 43, 44, 45, 46, 47});
    EXPECT_EQ(accessMode(DeviceParamId::findDevice), AccessMode::executable);
    EXPECT_EQ(accessMode(DeviceParamId::skuType), AccessMode::readOnly);
    EXPECT_EQ(accessMode(DeviceParamId::connectionMode), AccessMode::readWrite);
    EXPECT_EQ(accessMode(UhfParamId::powerRange), AccessMode::readOnly);
    // An id forged by a cast is treated as read-only, never as something to write or run.
    EXPECT_EQ(accessMode(static_cast<DeviceParamId>(64)), AccessMode::readOnly);
    EXPECT_EQ(accessMode(static_cast<UhfParamId>(200)), AccessMode::readOnly);
}

TEST(Enums, ModelTextsMatchIgnoringCaseOnly) {
    const std::pair<std::string_view, UhfModuleType> modules[] = {
        {"ST25RU3993", UhfModuleType::st25ru3993},
        {"st25Ru3993", UhfModuleType::st25ru3993},
        {"qm5520", UhfModuleType::qm5520},
        {"UNKNOWN", UhfModuleType::unknown},
        {"", UhfModuleType::unknown},
        {"QM5520 ", UhfModuleType::unknown},
        {"ST25RU3993v2", UhfModuleType::unknown},
        {"QM552", UhfModuleType::unknown},
    };
    for (const auto& [text, expected] : modules) {
        EXPECT_EQ(uhfModuleTypeFromModelText(text), expected) << '"' << text << '"';
    }
    const std::pair<std::string_view, DeviceType> devices[] = {
        {"vk210", DeviceType::vk210}, {"Vk640", DeviceType::vk640},
        {"VK210", DeviceType::vk210}, {"VK 210", DeviceType::unknown},
        {"", DeviceType::unknown},    {"unknown", DeviceType::unknown},
    };
    for (const auto& [text, expected] : devices) {
        EXPECT_EQ(Utilities::getDeviceType(text), expected) << '"' << text << '"';
    }
}

// Every lookup gives its enumeration's own text for every case.
template <TabledEnum E>
void expectLookupGivesDescriptions(std::string (*lookup)(E)) {
    for (E value : allCases<E>())
        EXPECT_EQ(lookup(value), description(value));
}

TEST(Utilities, DescriptionLookups) {
    expectLookupGivesDescriptions(&Utilities::getActionStateDescription);
    expectLookupGivesDescriptions(&Utilities::getKeyIDDescription);
    expectLookupGivesDescriptions(&Utilities::getResultCodeDescription);
    expectLookupGivesDescriptions(&Utilities::getDeviceTypeDescription);
    expectLookupGivesDescriptions(&Utilities::getUhfModuleTypeDescription);
    expectLookupGivesDescriptions(&Utilities::getConnectStateDescription);
    expectLookupGivesDescriptions(&Utilities::getNotificationIDDescription);
    expectLookupGivesDescriptions(&Utilities::getBeeperVolumeDescription);
    expectLookupGivesDescriptions(&Utilities::getSkuTypeDescription);
    expectLookupGivesDescriptions(&Utilities::getReadModeDescription);
    expectLookupGivesDescriptions(&Utilities::getFindDeviceModeDescription);
    expectLookupGivesDescriptions(&Utilities::getOperatingModeDescription);
    expectLookupGivesDescriptions(&Utilities::getDataFormatDescription);
    expectLookupGivesDescriptions(&Utilities::getDataInfoDescription);
    expectLookupGivesDescriptions(&Utilities::getDataTerminatorDescription);
    expectLookupGivesDescriptions(&Utilities::getTagUniqueDescription);
    expectLookupGivesDescriptions(&Utilities::getBankTypeDescription);
    expectLookupGivesDescriptions(&Utilities::getLockStateDescription);
    expectLookupGivesDescriptions(&Utilities::getGlobalBandTypeDescription);
    expectLookupGivesDescriptions(&Utilities::getAlgorithmTypeDescription);
    expectLookupGivesDescriptions(&Utilities::getTargetDescription);
    expectLookupGivesDescriptions(&Utilities::getSessionDescription);
    expectLookupGivesDescriptions(&Utilities::getMaskTargetDescription);
    expectLookupGivesDescriptions(&Utilities::getMaskActionDescription);
    expectLookupGivesDescriptions(&Utilities::getEncodingDescription);
    expectLookupGivesDescriptions(&Utilities::getTariTypeDescription);
    expectLookupGivesDescriptions(&Utilities::getBlfTypeDescription);

    EXPECT_EQ(Utilities::getResultCodeDescription(ResultCode::timeout), "Timeout");
    EXPECT_EQ(Utilities::getDeviceTypeDescription(DeviceType::vk640), "VK640");
    EXPECT_EQ(Utilities::getUhfModuleTypeDescription(UhfModuleType::qm5520), "QM5520");
}

// A bare number that is no case is refused with no value, for every enumeration alike.
TEST(Utilities, RawNumberLookupsRefuseUnknownNumbers) {
    EXPECT_EQ(Utilities::descriptionOfRaw<ResultCode>(0x7000), "Timeout");
    EXPECT_EQ(Utilities::descriptionOfRaw<ActionState>(0x30001), "Inventory and Decode");
    EXPECT_EQ(Utilities::descriptionOfRaw<BlfType>(uint8_t{6}), "160 kHz");
    EXPECT_EQ(Utilities::descriptionOfRaw<ResultCode>(0x7001), std::nullopt);
    EXPECT_EQ(Utilities::descriptionOfRaw<KeyID>(4), std::nullopt);
    EXPECT_EQ(Utilities::descriptionOfRaw<Session>(-1), std::nullopt);
    EXPECT_EQ(Utilities::descriptionOfRaw<Session>(256 + 4), std::nullopt);
    EXPECT_EQ(Utilities::descriptionOfRaw<SelectMode>(0), std::nullopt);
    EXPECT_EQ(Utilities::descriptionOfRaw<ActionState>(std::numeric_limits<int64_t>::max()),
              std::nullopt);
}

}  // namespace
}  // namespace orvane
