#include "orvanerfid/params/DeviceTextForms.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "orvanerfid/core/LocalDateTime.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/params/HexFields.h"

namespace orvane::detail {

namespace {

using std::nullopt;
using std::optional;
using std::string;
using std::string_view;

// Each form below says how one kind of setting travels as device text:
//
//     struct Form {
//         using Value = ...;                           // the id's value type
//         static string write(const Value&);           // throws 0x4003 when unrepresentable
//         static optional<Value> read(string_view);    // no value for malformed text
//     };
//
// Fixed-layout texts must have exactly their length; hex is read with digits of either case.

ByteView bytesOf(string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Hex text to bytes, then the bytes as ASCII text; no value for bytes above 0x7F, which no
// text setting can hold (a placeholder in their place would be written to the reader).
optional<string> asciiOfHex(string_view text) {
    const auto bytes = hexTextToData(text);
    if (!bytes) return nullopt;
    return asciiText(*bytes);
}

struct Text {
    using Value = string;
    static string write(const string& value) { return toHexString(bytesOf(value)); }
    static optional<string> read(string_view text) { return asciiOfHex(text); }
};

// A model enumeration travels as its display text.
template <TabledEnum E>
struct ModelName {
    using Value = E;
    static string write(E value) {
        hexfield::enumByte(value);  // refuses a value outside the cases
        return toHexString(bytesOf(description(value)));
    }
    static optional<E> read(string_view text) {
        if (!hexTextToData(text)) return nullopt;
        // A name that is no case, ASCII or not, reads as the first case (unknown).
        const auto name = asciiOfHex(text);
        if (!name) return E{};
        return fromDescriptionIgnoringCase<E>(*name).value_or(E{});
    }
};

struct Temperature {
    using Value = double;
    static string write(double value) {
        if (!std::isfinite(value)) {
            throw ReaderException(ResultCode::outOfRange, "A temperature must be a finite number");
        }
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
        string text(buffer, end);
        if (text.find_first_of(".e") == string::npos) text += ".0";
        return text;
    }
    static optional<double> read(string_view text) {
        double value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
            !std::isfinite(value)) {
            return nullopt;
        }
        return value;
    }
};

struct Flag {
    using Value = bool;
    static string write(bool on) { return on ? "01" : "00"; }
    static optional<bool> read(string_view text) { return text == "01"; }
};

template <TabledEnum E>
struct EnumRaw {
    using Value = E;
    static string write(E value) { return hexfield::enumByte(value); }
    static optional<E> read(string_view text) { return hexfield::readEnum<E>(text); }
};

// An unsigned number of `Digits` hex digits (or two, the short form of the options).
template <int Digits>
struct Number {
    using Value = unsigned;
    static string write(unsigned value) { return hexfield::write(value, Digits, "The value"); }
    static optional<unsigned> read(string_view text) {
        const auto value = hexfield::readField(text, Digits);
        if (!value) return nullopt;
        return static_cast<unsigned>(*value);
    }
};

struct SystemTime {
    using Value = DeviceDate;
    static string write(DeviceDate date) {
        int year = 0;
        const auto fields = localdatetime::encode(date, year);
        if (!fields) {
            throw ReaderException(ResultCode::outOfRange,
                                  "The year " + std::to_string(year) + " is outside 2000-2255");
        }
        return toHexString(*fields);
    }
    static optional<DeviceDate> read(string_view text) {
        if (text.size() != 12) return nullopt;
        const auto bytes = hexTextToData(text);
        if (!bytes) return nullopt;
        localdatetime::Fields f{};
        std::copy_n(bytes->begin(), f.size(), f.begin());
        return localdatetime::decode(f);
    }
};

// A value class that knows its own device text both ways; its reader throws ReaderException
// for malformed text.
template <typename T>
struct ObjectText {
    using Value = T;
    static string write(const T& value) { return value.toDeviceParameter(); }
    static optional<T> read(string_view text) {
        try {
            return T::fromDeviceParameter(text);
        } catch (const ReaderException&) {
            return nullopt;
        }
    }
};

// User Data fills the reader's 64-byte field.
struct UserData {
    using Value = Bytes;
    static constexpr std::size_t kFieldBytes = 64;
    static string write(const Bytes& value) {
        hexfield::requireAtMost(value.size(), kFieldBytes, "User Data length");
        string text = toHexString(value);
        text.resize(2 * kFieldBytes, '0');
        return text;
    }
    static optional<Bytes> read(string_view text) { return hexTextToData(text); }
};

// A list of fixed-width groups, each written and read by the form `Element`.
template <typename Element, std::size_t Digits>
struct ListOf {
    using Value = std::vector<typename Element::Value>;
    static string write(const Value& values) {
        string text;
        for (const auto& value : values)
            text += Element::write(value);
        return text;
    }
    static optional<Value> read(string_view text) {
        if (text.size() % Digits != 0) return nullopt;
        Value values;
        for (std::size_t at = 0; at < text.size(); at += Digits) {
            auto value = Element::read(text.substr(at, Digits));
            if (!value) return nullopt;
            values.push_back(std::move(*value));
        }
        return values;
    }
};

using AutoOffTimes = ListOf<Number<4>, 4>;
template <TabledEnum E>
using EnumList = ListOf<EnumRaw<E>, 2>;

// A plain action carries no payload: its text is empty whatever the value, and a text reads
// back as itself.
struct PlainAction {
    using Value = std::monostate;
};

template <typename Form>
optional<string> writeValue(const DeviceValue& value) {
    if constexpr (std::is_same_v<Form, PlainAction>) {
        return string();
    } else {
        const auto* typed = std::get_if<typename Form::Value>(&value);
        if (typed == nullptr) return nullopt;
        return Form::write(*typed);
    }
}

template <typename Form>
optional<DeviceValue> readValue(string_view text) {
    if constexpr (std::is_same_v<Form, PlainAction>) {
        return DeviceValue(std::in_place_type<string>, text);
    } else {
        auto value = Form::read(text);
        if (!value) return nullopt;
        return DeviceValue(std::in_place_type<typename Form::Value>, std::move(*value));
    }
}

struct Row {
    DeviceParamId id;
    DeviceTextForm form;
};

#define ORV_ROW_(id, Form, ...)                                                                 \
    Row {                                                                                       \
        DeviceParamId::id, {                                                                    \
            writeValue<Form>, readValue<Form>, [] {                                             \
                return DeviceValue(std::in_place_type<Form::Value> __VA_OPT__(, ) __VA_ARGS__); \
            }                                                                                   \
        }                                                                                       \
    }

// One row per id, in id order: the form and the default value.
constexpr Row kRows[] = {
    ORV_ROW_(firmwareVersion, Text),
    ORV_ROW_(deviceType, ModelName<DeviceType>, DeviceType::unknown),
    ORV_ROW_(serialNumber, Text),
    ORV_ROW_(bluetoothAddress, Text),
    ORV_ROW_(bluetoothName, Text),
    ORV_ROW_(batteryStatus, ObjectText<BatteryStatus>),
    ORV_ROW_(temperature, Temperature, 0.0),
    ORV_ROW_(vibrator, Flag, true),
    ORV_ROW_(beeperVolume, EnumRaw<BeeperVolume>, BeeperVolume::medium),
    ORV_ROW_(systemTime, SystemTime, std::chrono::system_clock::now()),
    ORV_ROW_(autoOffTime, Number<4>, 0u),
    ORV_ROW_(readMode, EnumRaw<ReadMode>, ReadMode::multiRead),
    ORV_ROW_(findDevice, ObjectText<FindDevice>, FindDeviceMode::beep, 10u),
    ORV_ROW_(dataFormat, EnumRaw<DataFormat>, DataFormat::hex),
    ORV_ROW_(dataInfo, EnumRaw<DataInfo>, DataInfo::epc),
    ORV_ROW_(dataRange, ObjectText<DataRange>, 0u, 0u),
    ORV_ROW_(dataTerminator, EnumRaw<DataTerminator>, DataTerminator::none),
    ORV_ROW_(tagUnique, EnumRaw<TagUnique>, TagUnique::epc),
    ORV_ROW_(hidCharacterDelay, Number<2>, 5u),
    ORV_ROW_(displayMessage, ObjectText<DisplayMessage>, "", uint8_t{0}, uint8_t{0}, true),
    ORV_ROW_(screenOffTime, ObjectText<ScreenOffTime>, 1u, 0u),
    ORV_ROW_(userData, UserData),
    ORV_ROW_(appBundleId, Text),
    ORV_ROW_(bluetoothSecuritySimplePairing, Flag, true),
    ORV_ROW_(factoryReset, PlainAction),
    ORV_ROW_(shutdown, PlainAction),
    ORV_ROW_(inventoryIndicator, ObjectText<InventoryIndicator>, false, false, false),
    ORV_ROW_(autoOffTimeList, AutoOffTimes),
    ORV_ROW_(rfidModuleFirmware, Text),
    ORV_ROW_(rfidModuleModel, ModelName<UhfModuleType>, UhfModuleType::unknown),
    ORV_ROW_(rfidModuleSkuType, EnumRaw<SkuType>, SkuType::unknown),
    ORV_ROW_(engineModel, ModelName<EngineModel>, EngineModel::unknown),
    ORV_ROW_(engineVersion, Text),
    ORV_ROW_(findReplace, ObjectText<FindReplace>, uint8_t{0xFF}, uint8_t{0xFF}),
    ORV_ROW_(triggerKeyStatus, ObjectText<TriggerKeyStatus>, KeyID::triggerKey,
             KeyFunction::disabled),
    ORV_ROW_(autoConnection, Flag, true),
    ORV_ROW_(settingByLabel, Flag, true),
    ORV_ROW_(dataCollectionMode, EnumRaw<DataCollectionMode>, DataCollectionMode::auto_),
    ORV_ROW_(gs1Ai, EnumRaw<Gs1Ai>, Gs1Ai::noApply),
    ORV_ROW_(dataSendingInterBlockDelay, EnumRaw<DataSendingInterBlockDelay>,
             DataSendingInterBlockDelay::delay10ms),
    ORV_ROW_(hidInterCharacterDelay, EnumRaw<HidInterCharacterDelay>,
             HidInterCharacterDelay::delay5ms),
    ORV_ROW_(hidKeyboardLanguage, EnumRaw<HidKeyboardLanguage>, HidKeyboardLanguage::us),
    ORV_ROW_(hidKeyboardCase, EnumRaw<HidKeyboardCase>, HidKeyboardCase::auto_),
    ORV_ROW_(controlCharacterFilter, EnumRaw<ControlCharacterFilter>, ControlCharacterFilter::send),
    ORV_ROW_(ledControl, Flag, false),
    ORV_ROW_(scannerIndicator, ObjectText<ScannerIndicator>, GoodReadIndicator::beeper,
             ConnectionIndicator::beeper, SettingIndicator::beeper, ErrorIndicator::beeper,
             PowerOnIndicator::beeper, PowerOffIndicator::beeper),
    ORV_ROW_(unpairBluetooth, PlainAction),
    ORV_ROW_(deviceIndicator, ObjectText<DeviceIndicator>, LedIndicator::green, false,
             BeepIndicator::off),
    ORV_ROW_(startDecode, PlainAction),
    ORV_ROW_(stopDecode, PlainAction),
    ORV_ROW_(reboot, PlainAction),
    ORV_ROW_(stagingReset, PlainAction),
    ORV_ROW_(skuType, EnumRaw<SkuType>, SkuType::unknown),
    ORV_ROW_(connectionMode, EnumRaw<ConnectionMode>, ConnectionMode::bluetoothSpp),
    ORV_ROW_(ambientTemperature, Temperature, 0.0),
    ORV_ROW_(paTemperature, Temperature, 0.0),
    ORV_ROW_(ambientTemperatureProtection, Number<4>, 80u),
    ORV_ROW_(paTemperatureProtection, Number<4>, 80u),
    ORV_ROW_(temperatureProtectionMode, EnumRaw<TemperatureProtectionMode>,
             TemperatureProtectionMode::nonStop),
    ORV_ROW_(eventNotification, ObjectText<EventNotification>, EventNotificationId::keyEvent, true),
    ORV_ROW_(retrieveBatchedData, PlainAction),
    ORV_ROW_(batteryStatusExtended, ObjectText<BatteryStatusExtended>),
    ORV_ROW_(inventoryDataWithCustomizedFormat, EnumList<InventoryDataFormat>),
    ORV_ROW_(scannerDataWithCustomizedFormat, EnumList<ScannerDataFormat>),
};

#undef ORV_ROW_

constexpr bool rowsFollowIds() {
    if (std::size(kRows) != allCases<DeviceParamId>().size()) return false;
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        if (rawValue(kRows[i].id) != i) return false;
    }
    return true;
}

static_assert(rowsFollowIds(), "one row per DeviceParamId, in id order");

}  // namespace

const DeviceTextForm& deviceTextForm(DeviceParamId id) {
    if (rawValue(id) >= std::size(kRows)) {
        throw ReaderException(ResultCode::invalidParameter,
                              "Unknown device parameter id " + std::to_string(rawValue(id)));
    }
    return kRows[rawValue(id)].form;
}

}  // namespace orvane::detail
