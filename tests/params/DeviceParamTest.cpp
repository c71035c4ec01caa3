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

DeviceDate localDate(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
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
    // id -> default text; the System Time (9) is checked apart.
    const std::pair<int, std::string> defaults[] = {
        {0, ""},
        {1, "556E6B6E6F776E"},
        {2, ""},
        {3, ""},
        {4, ""},
        {5, ""},
        {6, "0.0"},
        {7, "01"},
        {8, "02"},
        {10, "0000"},
        {11, "01"},
        {12, "020A"},
        {13, "00"},
        {14, "00"},
        {15, zeros(8)},
        {16, "00"},
        {17, "00"},
        {18, "05"},
        {19, "20" + zeros(32)},
        {20, "0100"},
        {21, zeros(128)},
        {22, ""},
        {23, "01"},
        {24, ""},
        {25, ""},
        {26, zeros(6)},
        {27, ""},
        {28, ""},
        {29, "556E6B6E6F776E"},
        {30, "00"},
        {31, "556E6B6E6F776E"},
        {32, ""},
        {33, "FFFF"},
        {34, "0100"},
        {35, "01"},
        {36, "01"},
        {37, "01"},
        {38, "00"},
        {39, "00"},
        {40, "01"},
        {41, "00"},
        {42, "00"},
        {43, "01"},
        {44, "00"},
        {45, "0555"},
        {46, ""},
        {47, "20"},
        {48, ""},
        {49, ""},
        {50, ""},
        {51, ""},
        {52, "00"},
        {53, "01"},
        {54, "0.0"},
        {55, "0.0"},
        {56, "0050"},
        {57, "0050"},
        {58, "01"},
        {59, "E401"},
        {60, ""},
        {61, zeros(8)},
        {62, ""},
        {63, ""},
    };
    ASSERT_EQ(std::size(defaults), 63u);
    for (const auto& [raw, text] : defaults) {
        DeviceParam param(idOf(raw));
        EXPECT_EQ(param._value(), text) << raw;
        EXPECT_EQ(param._default(), text) << raw;
        EXPECT_EQ(param.type(), ParamType::device);
        EXPECT_EQ(param.toDeviceParam(), &param);
        EXPECT_EQ(param.toEngineParam(), nullptr);
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
    EXPECT_EQ(volume._value(), "03");
    EXPECT_EQ(volume._default(), "02");

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
    DeviceParam find(Id::findDevice, FindDevice(FindDeviceMode::vibrator, 5));
    EXPECT_EQ(find._value(), "0105");
    EXPECT_EQ(find._default(), "020A");
    DeviceParam temperature(Id::temperature);
    temperature.setRawValue(36.5);
    EXPECT_EQ(temperature._value(), "36.5");
    EXPECT_FALSE(temperature.rawValue());

    DeviceParam asDefault(Id::ambientTemperatureProtection, DeviceParam::defaultValueTag, 850u);
    EXPECT_EQ(asDefault._value(), "0352");
    EXPECT_EQ(asDefault._default(), "0352");
    EXPECT_EQ(asDefault.rawValue(), (Bytes{0x03, 0x52}));

    DeviceParam windowed(Id::displayMessage, 10107, 10200);
    EXPECT_EQ(windowed.minVersion(), 10107u);
    EXPECT_EQ(windowed.maxVersion(), 10200u);
    EXPECT_EQ(windowed._value(), "20" + zeros(32));
}

TEST(DeviceParam, TextFormsBothWays) {
    struct Case {
        Id id;
        DeviceValue value;
        std::string text;
    };
    const Case cases[] = {
        {Id::serialNumber, std::string("AB12"), "41423132"},
        {Id::appBundleId, std::string(), ""},
        {Id::deviceType, DeviceType::vk640, "564B363430"},
        {Id::rfidModuleModel, UhfModuleType::qm5520, "514D35353230"},
        {Id::engineModel, EngineModel::SE4107, "534534313037"},
        {Id::temperature, 36.5, "36.5"},
        {Id::paTemperature, -3.0, "-3.0"},
        {Id::ambientTemperature, 1e21, "1e+21"},
        {Id::vibrator, false, "00"},
        {Id::beeperVolume, BeeperVolume::high, "03"},
        {Id::hidKeyboardLanguage, HidKeyboardLanguage::belgium, "0D"},
        {Id::connectionMode, ConnectionMode::bufferMode, "06"},
        {Id::systemTime, localDate(2024, 3, 5, 14, 7, 9), "1803050E0709"},
        {Id::systemTime, localDate(2024, 2, 29, 23, 59, 59), "18021D173B3B"},
        {Id::autoOffTime, 300u, "012C"},
        {Id::hidCharacterDelay, 255u, "FF"},
        {Id::paTemperatureProtection, 80u, "0050"},
        {Id::findDevice, FindDevice(FindDeviceMode::vibratorAndBeep, 30), "031E"},
        {Id::dataRange, DataRange(2, 0x20), "00020020"},
        {Id::displayMessage, DisplayMessage("Hi", 2, 1, true), "624869" + zeros(28)},
        {Id::screenOffTime, ScreenOffTime(1, 30), "011E"},
        {Id::userData, Bytes{1, 2, 3}, "010203" + zeros(122)},
        {Id::userData, Bytes(64, 0xAB), repeated("AB", 64)},
        {Id::inventoryIndicator, InventoryIndicator(true, false, true), "010001"},
        {Id::autoOffTimeList, std::vector<unsigned>{300, 5}, "012C0005"},
        {Id::autoOffTimeList, std::vector<unsigned>{}, ""},
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
        {Id::inventoryDataWithCustomizedFormat,
         std::vector<InventoryDataFormat>{InventoryDataFormat::epc, InventoryDataFormat::timestamp},
         "0008"},
        {Id::scannerDataWithCustomizedFormat,
         std::vector<ScannerDataFormat>{ScannerDataFormat::codeId, ScannerDataFormat::timestamp},
         "0102"},
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

TEST(DeviceParam, ReadsWithDocumentedFallbacks) {
    DeviceParam serial(Id::serialNumber);
    EXPECT_EQ(serial.valueToString(std::string("\xC3\xA9")), "C3A9");
    EXPECT_EQ(std::get<std::string>(*serial.valueToAny("C3A9")), "error when encode to ascii");
    EXPECT_EQ(std::get<std::string>(*serial.valueToAny("6162")), "ab");  // lower-case hex too

    DeviceParam type(Id::deviceType);
    EXPECT_EQ(std::get<DeviceType>(*type.valueToAny("766B363430")), DeviceType::vk640);
    EXPECT_EQ(std::get<DeviceType>(*type.valueToAny("564b363430")), DeviceType::vk640);
    EXPECT_EQ(std::get<DeviceType>(*type.valueToAny("4F74686572")), DeviceType::unknown);
    EXPECT_EQ(std::get<DeviceType>(*type.valueToAny("")), DeviceType::unknown);

    DeviceParam flag(Id::autoConnection);
    for (const char* text : {"1", "001", "FF", "00", ""})
        EXPECT_FALSE(std::get<bool>(*flag.valueToAny(text))) << text;

    DeviceParam userData(Id::userData);
    const auto bytes = std::get<Bytes>(*userData.valueToAny("010203" + zeros(122)));
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(bytes[2], 3);
    EXPECT_EQ(bytes[63], 0);

    DeviceParam display(Id::displayMessage);
    const auto message = std::get<DisplayMessage>(*display.valueToAny("624869" + zeros(28)));
    EXPECT_EQ(message.message, std::string("Hi") + std::string(14, '\0'));
    EXPECT_EQ(message.charPosition, 2);
    EXPECT_EQ(message.linePosition, 1);
    EXPECT_TRUE(message.clearScreen);

    DeviceParam battery(Id::batteryStatus);
    const auto status = std::get<BatteryStatus>(*battery.valueToAny("005002030101"));
    EXPECT_EQ(status.percentage(), 0x50);
    EXPECT_EQ(status.state(), BatteryState::normal);
    EXPECT_TRUE(status.charging());

    DeviceParam extended(Id::batteryStatusExtended);
    const auto record =
        std::get<BatteryStatusExtended>(*extended.valueToAny("C00000001000000700000FA0"));
    EXPECT_EQ(record.voltage(), 4000u);
    EXPECT_EQ(record.types().size(), 2u);

    DeviceParam action(Id::reboot);
    EXPECT_EQ(action.valueToString(true), "");
    EXPECT_EQ(action.valueToString(std::string("x")), "");
    EXPECT_EQ(std::get<std::string>(*action.valueToAny("ABC")), "ABC");
}

TEST(DeviceParam, MalformedTextGivesNoValueForEveryId) {
    // Ids whose reading has a documented answer for any text: the flags and the plain actions.
    const auto anyText = ids({{7, 7}, {23, 25}, {35, 36}, {44, 44}, {46, 46}, {48, 51}, {60, 60}});
    const std::vector<std::string> hexTextBad = {"4", "ZZ", "414"};
    const std::vector<std::string> modelBad = {"4", "XY"};
    const std::vector<std::string> temperatureBad = {"", "abc", "36.5x", " 1", "nan", "inf"};
    const std::vector<std::string> u16Bad = {"", "GG", "10000", "-1", "0x10"};
    std::map<int, std::vector<std::string>> bad = {
        {5, {"000", "0350", "02AA", "ZZZZ"}},
        {9,
         {"", "1803050E070", "180D050E0709", "1800050E0709", "18021E0E0709", "1702290E0709",
          "180305180709", "1803050E3C09", "1803050E073C", "1803050E07ZZ"}},
        {10, u16Bad},
        {12, {"040A", "02", "020A0B", "02GG"}},
        {15, {"0002002", "000200200", "XXXX0000"}},
        {18, {"", "100", "G"}},
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
        bad[raw] = {text, "", "ZZ", "100"};

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
        {Id::systemTime, localDate(1999, 12, 31, 23, 0, 0), ResultCode::outOfRange},
        {Id::autoOffTimeList, std::vector<unsigned>{5, 70000}, ResultCode::outOfRange},
        {Id::findDevice, FindDevice(FindDeviceMode::beep, 256), ResultCode::outOfRange},
        {Id::dataRange, DataRange(0x10000, 0), ResultCode::outOfRange},
        {Id::screenOffTime, ScreenOffTime(0, 256), ResultCode::outOfRange},
        {Id::displayMessage, DisplayMessage("x", 16, 0, true), ResultCode::outOfRange},
        {Id::temperature, std::nan(""), ResultCode::outOfRange},
        {Id::beeperVolume, static_cast<BeeperVolume>(9), ResultCode::outOfRange},
        {Id::deviceType, static_cast<DeviceType>(7), ResultCode::outOfRange},
        {Id::inventoryDataWithCustomizedFormat,
         std::vector<InventoryDataFormat>{static_cast<InventoryDataFormat>(9)},
         ResultCode::outOfRange},
        {Id::vibrator, std::string("01"), ResultCode::invalidParameter},
        {Id::vibrator, 1u, ResultCode::invalidParameter},
        {Id::findDevice, std::string("020A"), ResultCode::invalidParameter},
        {Id::serialNumber, true, ResultCode::invalidParameter},
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

    DeviceParam volume(Id::beeperVolume);
    volume.initOption(0, 3);
    EXPECT_EQ(std::get<BeeperVolume>(volume.options()[3]), BeeperVolume::high);
    DeviceParam tooMany(Id::beeperVolume);
    tooMany.initOption(0, 4);  // "04" is no volume
    EXPECT_EQ(codeOf([&] { tooMany.options(); }), ResultCode::invalidParameter);
    DeviceParam negative(Id::autoOffTime);
    negative.initOption(-1, 3);
    EXPECT_EQ(codeOf([&] { negative.options(); }), ResultCode::outOfRange);
}

}  // namespace
}  // namespace orvane
