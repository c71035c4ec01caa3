#include "orvanerfid/params/DeviceParam.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "orvanerfid/core/ResultCode.h"
#include "support/TestSupport.h"

namespace orvane {
namespace {

using Id = DeviceParamId;

std::string zeros(std::size_t n) {
    return std::string(n, '0');
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

Id idOf(int raw) {
    return *fromRaw<Id>(raw);
}

// Expands "0-6, 27" style lists of the access classes.
std::set<int> ids(std::initializer_list<std::pair<int, int>> spans) {
    std::set<int> out;
    for (auto [from, to] : spans)
        for (int i = from; i <= to; ++i)
            out.insert(i);
    return out;
}

template <typename F>
ResultCode codeOf(F&& f) {
    try {
        f();
    } catch (const ReaderException& e) {
        return e.resultCode();
    }
    return ResultCode::noError;
}

TEST(DeviceParam, EveryIdStartsFromItsDefault) {
    const std::string unknown = "556E6B6E6F776E", z8 = zeros(8);
    // clang-format off
    const std::string defaults[64] = {  // by id; 9, the System Time, is checked apart
        "", unknown, "", "", "", "", "0.0", "01",                           // 0-7
        "02", "", "0000", "01", "020A", "00", "00", z8,                      // 8-15
        "00", "00", "05", "20" + zeros(32), "0100", zeros(128), "", "01",    // 16-23
        "", "", zeros(6), "", "", unknown, "00", unknown,                   // 24-31
        "", "FFFF", "0100", "01", "01", "01", "00", "00",                   // 32-39
        "01", "00", "00", "01", "00", "0555", "", "20",                     // 40-47
        "", "", "", "", "00", "01", "0.0", "0.0",                           // 48-55
        "0050", "0050", "01", "E401", "", z8, "", "",                       // 56-63
    };
    // clang-format on
    for (int raw = 0; raw < 64; ++raw) {
        if (raw == 9) continue;
        const std::string& text = defaults[raw];
        DeviceParam param(idOf(raw));
        EXPECT_EQ(param._value(), text) << raw;
        EXPECT_EQ(param._default(), text) << raw;
        EXPECT_EQ(param.toDeviceParam(), &param);
        // Every default reads back as a value that writes the same text.
        const auto value = param.getValue();
        ASSERT_TRUE(value) << raw;
        EXPECT_EQ(param.valueToString(*value), text) << raw;
    }

    const auto before = std::chrono::system_clock::now() - std::chrono::seconds(1);
    DeviceParam clock(Id::systemTime);
    const auto after = std::chrono::system_clock::now();
    ASSERT_EQ(clock._value().size(), 12u);
    const auto now = clock.getValue();
    ASSERT_TRUE(now);
    EXPECT_GE(std::get<DeviceDate>(*now), before);
    EXPECT_LE(std::get<DeviceDate>(*now), after);

    const auto findReplace = DeviceParam(Id::findReplace).getValue();
    ASSERT_TRUE(findReplace);
    EXPECT_EQ(std::get<FindReplace>(*findReplace), FindReplace(0xFF, 0xFF));
}

TEST(DeviceParam, AccessSetsMatchTheAccessClasses) {
    const auto readOnly = ids({{0, 6}, {27, 32}, {52, 52}, {54, 55}, {61, 61}});
    const auto readWrite =
        ids({{7, 11}, {13, 18}, {20, 23}, {26, 26}, {33, 45}, {53, 53}, {56, 58}, {62, 63}});
    const auto action = ids({{12, 12}, {19, 19}, {24, 25}, {46, 51}, {59, 60}});
    for (Id id : allCases<Id>()) {
        const int raw = rawValue(id);
        const int classes = readOnly.count(raw) + readWrite.count(raw) + action.count(raw);
        ASSERT_EQ(classes, 1) << raw;
        EXPECT_EQ(DeviceParam::isReadable(id), !action.count(raw)) << raw;
        EXPECT_EQ(DeviceParam::isWritable(id), readWrite.count(raw) == 1) << raw;
        EXPECT_EQ(DeviceParam::isExecutableOrWritable(id), !readOnly.count(raw)) << raw;
    }
}

TEST(DeviceParam, SetValueAcceptsOnlyWritableIdsAndSetRawValueAny) {
    DeviceParam volume(Id::beeperVolume);
    volume.setValue(BeeperVolume::high);
    EXPECT_EQ(volume._value() + volume._default(), "0302");
    for (Id id : {Id::firmwareVersion, Id::findDevice, Id::temperature}) {
        DeviceParam param(id);
        const std::string before = param._value();
        try {
            param.setValue(DeviceValue(FindDevice()));
            ADD_FAILURE() << rawValue(id);
        } catch (const ReaderException& e) {
            EXPECT_EQ(e.resultCode(), ResultCode::invalidParameter);
            EXPECT_EQ(e.message(), "Not a writable parameter");
        }
        EXPECT_EQ(param._value(), before);
    }
    // An action's value is given at creation; the default stays the id's.
    DeviceParam find(Id::findDevice, FindDevice(FindDeviceMode::vibrator, 5));
    EXPECT_EQ(find._value() + find._default(), "0105020A");
    DeviceParam temperature(Id::temperature);
    temperature.setRawValue(36.5);
    EXPECT_EQ(temperature._value(), "36.5");
    EXPECT_FALSE(temperature.rawValue());  // not hex

    DeviceParam asDefault(Id::ambientTemperatureProtection, DeviceParam::defaultValueTag, 850u);
    EXPECT_EQ(asDefault._value() + asDefault._default(), "03520352");
    EXPECT_EQ(asDefault.rawValue(), (Bytes{0x03, 0x52}));
    DeviceParam windowed(Id::displayMessage, 10107, 10200);
    EXPECT_EQ(windowed.minVersion(), 10107u);
    EXPECT_EQ(windowed.maxVersion(), 10200u);
}

TEST(DeviceParam, TextFormsBothWays) {
    struct Case {
        Id id;
        DeviceValue value;
        std::string text;
    };
    const Case cases[] = {
        {Id::serialNumber, std::string("AB12"), "41423132"},
        {Id::deviceType, DeviceType::vk640, "564B363430"},
        {Id::rfidModuleModel, UhfModuleType::qm5520, "514D35353230"},
        {Id::engineModel, EngineModel::SE4107, "534534313037"},
        {Id::temperature, 36.5, "36.5"},
        {Id::ambientTemperature, 1e21, "1e+21"},
        {Id::vibrator, false, "00"},
        {Id::systemTime, test::localTime(2024, 3, 5, 14, 7, 9), "1803050E0709"},
        {Id::systemTime, test::localTime(2024, 2, 29, 23, 59, 59), "18021D173B3B"},
        {Id::autoOffTime, 300u, "012C"},
        {Id::findDevice, FindDevice(FindDeviceMode::vibratorAndBeep, 30), "031E"},
        {Id::dataRange, DataRange(2, 0x20), "00020020"},
        {Id::displayMessage, DisplayMessage("Hi", 2, 1, true), "624869" + zeros(28)},
        {Id::screenOffTime, ScreenOffTime(1, 30), "011E"},
        {Id::userData, Bytes{1, 2, 3}, "010203" + zeros(122)},
        {Id::userData, Bytes(64, 0xAB), repeated("AB", 64)},
        {Id::inventoryIndicator, InventoryIndicator(true, false, true), "010001"},
        {Id::autoOffTimeList, std::vector<unsigned>{300, 5}, "012C0005"},
        {Id::findReplace, FindReplace(0x0D, 0x0A), "0D0A"},
        {Id::triggerKeyStatus, TriggerKeyStatus(KeyID::lowerKey, KeyFunction::rfidInventory),
         "0302"},
        {Id::scannerIndicator,
         ScannerIndicator(GoodReadIndicator::beeperVibrator, ConnectionIndicator::none,
                          SettingIndicator::vibrator, ErrorIndicator::beeper,
                          PowerOnIndicator::vibrator, PowerOffIndicator::beeper),
         "0663"},
        {Id::deviceIndicator, DeviceIndicator(LedIndicator::green, true, BeepIndicator::once),
         "29"},
        {Id::eventNotification, EventNotification(EventNotificationId::batchDataBeginEnd, true),
         "E501"},
        {Id::batteryStatus, BatteryStatus::fromDeviceParameter("005002030101"), "005002030101"},
        {Id::batteryStatusExtended,
         BatteryStatusExtended({BatteryStatusExtendedType::voltage}, {0, 0, 0x0F, 0xA0}),
         "4000000000000FA0"},
        {Id::inventoryDataWithCustomizedFormat,
         std::vector<InventoryDataFormat>{InventoryDataFormat::epc, InventoryDataFormat::timestamp},
         "0008"},
    };
    for (const auto& c : cases) {
        DeviceParam param(c.id);
        EXPECT_EQ(param.valueToString(c.value), c.text) << rawValue(c.id);
        const auto back = param.valueToAny(c.text);
        ASSERT_TRUE(back) << rawValue(c.id) << " " << c.text;
        EXPECT_EQ(back->index(), c.value.index()) << rawValue(c.id);
        EXPECT_EQ(param.valueToString(*back), c.text) << rawValue(c.id);
    }
}

TEST(DeviceParam, ReadsWithStatedFallbacks) {
    // A text that cannot be ASCII has no value: no placeholder stands in for it.
    DeviceParam serial(Id::serialNumber);
    EXPECT_EQ(serial.valueToString(std::string("\xC3\xA9")), "C3A9");
    EXPECT_FALSE(serial.valueToAny("C3A9"));
    EXPECT_FALSE(DeviceParam(Id::displayMessage).valueToAny("20" + std::string(30, '0') + "C3"));
    EXPECT_EQ(std::get<std::string>(*serial.valueToAny("6162")), "ab");

    DeviceParam type(Id::deviceType);
    for (const char* text : {"766B363430", "564b363430"})  // "vk640" and "VK640"
        EXPECT_EQ(std::get<DeviceType>(*type.valueToAny(text)), DeviceType::vk640);
    for (const char* text : {"4F74686572", "556E6B6E6F776E", ""})
        EXPECT_EQ(std::get<DeviceType>(*type.valueToAny(text)), DeviceType::unknown);

    DeviceParam flag(Id::autoConnection);
    for (const char* text : {"1", "001", "FF", ""})
        EXPECT_FALSE(std::get<bool>(*flag.valueToAny(text))) << text;

    const auto bytes = std::get<Bytes>(*DeviceParam(Id::userData).getValue());
    EXPECT_EQ(bytes, Bytes(64, 0));  // the padding zeros are kept
    const auto message =
        std::get<DisplayMessage>(*DeviceParam(Id::displayMessage).valueToAny("624869" + zeros(28)));
    EXPECT_EQ(message, DisplayMessage(std::string("Hi") + std::string(14, '\0'), 2, 1, true));

    DeviceParam action(Id::reboot);
    EXPECT_EQ(action.valueToString(true) + action.valueToString(std::string("x")), "");
    EXPECT_EQ(std::get<std::string>(*action.valueToAny("ABC")), "ABC");
}

TEST(DeviceParam, MalformedTextGivesNoValueForEveryId) {
    // Ids whose reading has a documented answer for any text: the flags and the plain actions.
    const auto anyText = ids({{7, 7}, {23, 25}, {35, 36}, {44, 44}, {46, 46}, {48, 51}, {60, 60}});
    const std::vector<std::string> hexTextBad = {"4", "ZZ", "414"};
    const std::vector<std::string> modelBad = {"4", "XY"};
    const std::vector<std::string> temperatureBad = {"", "abc", "36.5x", " 1", "nan", "inf"};
    // Fixed-width numbers take their own width or the two-digit short form, nothing else.
    const std::vector<std::string> u16Bad = {"",  "GG",  "10000", "-1",   "0x10",
                                             "1", "12C", "00500", "0012C"};
    std::map<int, std::vector<std::string>> bad = {
        {5, {"000", "0350", "02AA", "ZZZZ"}},
        {9,
         {"", "1803050E070", "180D050E0709", "1800050E0709", "18021E0E0709", "1702290E0709",
          "180305180709", "1803050E3C09", "1803050E073C", "1803050E07ZZ"}},
        {10, u16Bad},
        {12, {"040A", "02", "020A0B", "02GG"}},
        {15, {"0002002", "000200200", "XXXX0000"}},
        {18, {"", "100", "G", "050", "5"}},
        {19, {zeros(32), zeros(36), "ZZ" + zeros(32)}},
        {20, {"01", "011E00", "01GG"}},
        {21, {"123", "ZZ"}},
        {26, {"0101", "01010101", "ZZ0101"}},
        {27, {"012C00", "ZZZZ"}},
        {33, {"0D0", "0D0A0B"}},
        {34, {"0400", "0103", "01"}},
        {45, {"05", "", "ZZZZ", "055"}},
        {47, {"40", "04", "029", "ZZ", ""}},
        {56, u16Bad},
        {57, u16Bad},
        {59, {"E201", "E4", "E40101"}},
        {61, {"C000000", "C00000001", "ZZZZZZZZ"}},
        {62, {"09", "000", "0G"}},
        {63, {"03", "0"}},
    };
    for (int raw : {0, 2, 3, 4, 22, 28, 32})
        bad[raw] = hexTextBad;
    for (int raw : {1, 29, 31})
        bad[raw] = modelBad;
    for (int raw : {6, 54, 55})
        bad[raw] = temperatureBad;
    // Enumeration ids: the first raw value after the enumeration's range, and text that is not
    // a byte.
    const std::pair<int, const char*> firstOutside[] = {
        {8, "04"},  {11, "04"}, {13, "02"}, {14, "03"}, {16, "05"}, {17, "02"},
        {30, "05"}, {37, "04"}, {38, "03"}, {39, "06"}, {40, "06"}, {41, "0E"},
        {42, "03"}, {43, "03"}, {52, "05"}, {53, "07"}, {58, "02"},
    };
    for (const auto& [raw, text] : firstOutside)
        bad[raw] = {text, "", "ZZ", "100", "001", "1"};

    for (Id id : allCases<Id>()) {
        const int raw = rawValue(id);
        if (anyText.count(raw)) {
            EXPECT_FALSE(bad.count(raw)) << raw;
            continue;
        }
        ASSERT_TRUE(bad.count(raw)) << "no malformed texts for id " << raw;
        DeviceParam param(id);
        for (const std::string& text : bad[raw])
            EXPECT_FALSE(param.valueToAny(text)) << raw << " '" << text << "'";
    }
}

TEST(DeviceParam, ValuesTheTextCannotHoldAndWrongTypesAreRefused) {
    struct Case {
        Id id;
        DeviceValue value;
        ResultCode code;
    };
    const Case cases[] = {
        {Id::autoOffTime, 0x10000u, ResultCode::outOfRange},
        {Id::hidCharacterDelay, 256u, ResultCode::outOfRange},
        {Id::userData, Bytes(65, 1), ResultCode::outOfRange},
        {Id::systemTime, test::localTime(1999, 12, 31, 23, 0, 0), ResultCode::outOfRange},
        {Id::autoOffTimeList, std::vector<unsigned>{5, 70000}, ResultCode::outOfRange},
        {Id::findDevice, FindDevice(FindDeviceMode::beep, 256), ResultCode::outOfRange},
        {Id::dataRange, DataRange(0x10000, 0), ResultCode::outOfRange},
        {Id::screenOffTime, ScreenOffTime(0, 256), ResultCode::outOfRange},
        {Id::displayMessage, DisplayMessage("x", 16, 0, true), ResultCode::outOfRange},
        {Id::displayMessage, DisplayMessage("x", 0, 4, true), ResultCode::outOfRange},
        {Id::triggerKeyStatus, TriggerKeyStatus(KeyID::upperKey, static_cast<KeyFunction>(3)),
         ResultCode::outOfRange},
        {Id::eventNotification, EventNotification(static_cast<EventNotificationId>(0xE2), true),
         ResultCode::outOfRange},
        {Id::temperature, std::nan(""), ResultCode::outOfRange},
        {Id::beeperVolume, static_cast<BeeperVolume>(9), ResultCode::outOfRange},
        {Id::inventoryDataWithCustomizedFormat,
         std::vector<InventoryDataFormat>{static_cast<InventoryDataFormat>(9)},
         ResultCode::outOfRange},
        {Id::vibrator, std::string("01"), ResultCode::invalidParameter},
        {Id::findDevice, std::string("020A"), ResultCode::invalidParameter},
        {Id::skuType, BeeperVolume::low, ResultCode::invalidParameter},
    };
    for (const auto& c : cases) {
        DeviceParam param(c.id);
        const std::string before = param._value();
        EXPECT_EQ(codeOf([&] { param.setRawValue(c.value); }), c.code) << rawValue(c.id);
        EXPECT_EQ(param._value(), before);
        EXPECT_EQ(codeOf([&] { DeviceParam(c.id, c.value); }), c.code) << rawValue(c.id);
    }
}

TEST(DeviceParam, OptionsListTheRangeOnceOrTheBundleIdPair) {
    DeviceParam bundle(Id::appBundleId);
    bundle.initOption(1, 5);
    bundle.set_options({"41"});
    const auto pair = bundle.options();
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(std::get<std::string>(pair[0]), " ");
    EXPECT_EQ(std::get<std::string>(pair[1]), "");

    DeviceParam delay(Id::autoOffTime);
    delay.initOption(250, 257);
    const auto values = delay.options();
    const std::vector<std::string> texts = {"FA", "FB", "FC", "FD", "FE", "FF", "0100", "0101"};
    EXPECT_EQ(delay._options(), texts);
    ASSERT_EQ(values.size(), 8u);
    for (unsigned i = 0; i < 8; ++i)
        EXPECT_EQ(std::get<unsigned>(values[i]), 250 + i);
    delay.initOption(0, 1);
    EXPECT_EQ(delay.options().size(), 8u);  // kept, not listed again

    DeviceParam reversed(Id::beeperVolume);
    reversed.initOption(3, 1);
    EXPECT_TRUE(reversed.options().empty());
    DeviceParam tooMany(Id::beeperVolume);
    tooMany.initOption(0, 4);  // "04" is no volume
    EXPECT_EQ(codeOf([&] { tooMany.options(); }), ResultCode::invalidParameter);
    DeviceParam negative(Id::autoOffTime);
    negative.initOption(-1, 3);
    EXPECT_EQ(codeOf([&] { negative.options(); }), ResultCode::outOfRange);
}

}  // namespace
}  // namespace orvane
