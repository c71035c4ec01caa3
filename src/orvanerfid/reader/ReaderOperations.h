#pragma once

// The reader's device-setting operations, derived from the device's operation list
// (DeviceOperations.h): each row of the list becomes one asynchronous reader operation with the
// same name that completes with a ResultCode (and, for a reading, the value), plus an "_OC" twin
// whose value is always present. BaseReader expands ORV_READER_OPERATION_DECLARATIONS inside its
// class; ReaderOperations.cpp defines the members from the same rows.
//
// A row keeps its plain reader form unless ORV_READER_FORM_<device operation> names another:
// the actions without a completion or with an optional one, the action the reader names
// differently, and the readings whose twin is spelled or converted differently (or is missing).
// The rows with extra arguments (CALL) are declared one by one below.
//
// Threads: everything here is called on the application's thread and only queues work; the
// work and its completion run on the global queue (see BaseReader's thread map).

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/devices/DeviceOperations.h"
#include "orvanerfid/params/DeviceValue.h"

namespace orvane {

// Completion of a writing operation or an action.
using ResultCompletion = std::function<void(ResultCode)>;
// Completion of a reading operation: the value is present exactly when the code is 0x0000.
template <class T>
using ValueCompletion = std::function<void(ResultCode, std::optional<T>)>;

namespace detail {
template <class T>
struct IsVector : std::false_type {};
template <class E>
struct IsVector<std::vector<E>> : std::true_type {};
}  // namespace detail

// The value a twin delivers for a reading's optional value: an enumeration as its raw value
// (-1 when absent), a number as a 64-bit integer or a double (-1), a Boolean (false), a text, a
// byte array or a list (empty; a list of enumerations as raw bytes, of numbers as 64-bit
// numbers), a date (now), a value class (a default object).
template <class T>
auto twinValue(const std::optional<T>& value) {
    if constexpr (std::is_same_v<T, bool>) {
        return value.value_or(false);
    } else if constexpr (std::is_enum_v<T>) {
        return value ? static_cast<int64_t>(static_cast<std::underlying_type_t<T>>(*value))
                     : int64_t{-1};
    } else if constexpr (std::is_integral_v<T>) {
        return value ? static_cast<int64_t>(*value) : int64_t{-1};
    } else if constexpr (std::is_floating_point_v<T>) {
        return value ? static_cast<double>(*value) : -1.0;
    } else if constexpr (std::is_same_v<T, DeviceDate>) {
        return value ? *value : DeviceDate(std::chrono::system_clock::now());
    } else if constexpr (detail::IsVector<T>::value && !std::is_same_v<T, Bytes>) {
        using Element = typename T::value_type;
        using Number = std::conditional_t<std::is_enum_v<Element>, uint8_t, uint64_t>;
        std::vector<Number> numbers;
        if (value) {
            numbers.reserve(value->size());
            for (const Element& element : *value)
                numbers.push_back(static_cast<Number>(element));
        }
        return numbers;
    } else {
        return value ? *value : T{};
    }
}

template <class T>
using TwinValue = decltype(twinValue(std::declval<const std::optional<T>&>()));
template <class T>
using TwinCompletion = std::function<void(ResultCode, TwinValue<T>)>;

// Turns a twin's completion into its operation's completion.
template <class T>
ValueCompletion<T> twinOf(TwinCompletion<T> completion) {
    return [completion = std::move(completion)](ResultCode code, std::optional<T> value) {
        if (completion) completion(code, twinValue(value));
    };
}

// The device operations after which the reader ends the link (on success only).
constexpr bool endsLink(std::string_view deviceOperation) {
    for (std::string_view name : {"factoryReset", "shutdown", "unpairBluetooth", "reboot",
                                  "stagingReset", "setConnectionMode"}) {
        if (name == deviceOperation) return true;
    }
    return false;
}

}  // namespace orvane

#define ORV_READER_CAT_(a, b) a##b
#define ORV_READER_CAT(a, b) ORV_READER_CAT_(a, b)
#define ORV_READER_SECOND_(a, b, ...) b
#define ORV_READER_SECOND(...) ORV_READER_SECOND_(__VA_ARGS__, )
// The reader form of the device operation `name`: `plain` unless ORV_READER_FORM_<name> exists.
#define ORV_READER_FORM(name, plain) \
    ORV_READER_SECOND(ORV_READER_CAT(ORV_READER_FORM_, name), plain)

#define ORV_READER_FORM_factoryReset ~, noCompletion
#define ORV_READER_FORM_shutdown ~, optionalCompletion
#define ORV_READER_FORM_unpairBluetooth ~, unpairDevice
#define ORV_READER_FORM_getAmbientTemperature ~, noTwin
#define ORV_READER_FORM_getAutoOffTimeList ~, autoOfftimeTwin
#define ORV_READER_FORM_getHidCharacterDelay ~, optionalTwin

// Declarations inside BaseReader.
#define ORV_READER_DECLARE_TWIN_twin(name, Value) void name##_OC(TwinCompletion<Value> completion);
#define ORV_READER_DECLARE_TWIN_noTwin(name, Value)
#define ORV_READER_DECLARE_TWIN_autoOfftimeTwin(name, Value) \
    void getAutoOfftimeList_OC(TwinCompletion<Value> completion);
#define ORV_READER_DECLARE_TWIN_optionalTwin(name, Value) \
    void name##_OC(ValueCompletion<uint64_t> completion);
#define ORV_READER_DECLARE_GET_(setting, Value, name) \
    void name(ValueCompletion<Value> completion);     \
    ORV_READER_CAT(ORV_READER_DECLARE_TWIN_, ORV_READER_FORM(name, twin))(name, Value)
#define ORV_READER_DECLARE_SET_(setting, Value, name) \
    void name(Value value, ResultCompletion completion);
#define ORV_READER_DECLARE_ACTION_plain(name) void name(ResultCompletion completion);
#define ORV_READER_DECLARE_ACTION_noCompletion(name) void name();
#define ORV_READER_DECLARE_ACTION_optionalCompletion(name) \
    void name(ResultCompletion completion = nullptr);
#define ORV_READER_DECLARE_ACTION_unpairDevice(name) \
    void unpairBluetoothDevice(ResultCompletion completion);
#define ORV_READER_DECLARE_ACTION_(setting, name) \
    ORV_READER_CAT(ORV_READER_DECLARE_ACTION_, ORV_READER_FORM(name, plain))(name)
#define ORV_READER_DECLARE_CALL_(Result, name, ...)

#define ORV_READER_OPERATION_DECLARATIONS                                             \
    ORV_DEVICE_OPERATIONS(ORV_READER_DECLARE_GET_, ORV_READER_DECLARE_SET_,           \
                          ORV_READER_DECLARE_ACTION_, ORV_READER_DECLARE_CALL_)       \
    void getOperationMode(ValueCompletion<OperatingMode> completion);                 \
    void getOperationMode_OC(TwinCompletion<OperatingMode> completion);               \
    void setOperationMode(OperatingMode value, ResultCompletion completion);          \
    void setDisplayOutput(std::string text, uint8_t charPosition, bool clearScreen,   \
                          uint8_t linePosition, ResultCompletion completion);         \
    void getKeyFunction(KeyID keyId, ValueCompletion<KeyFunction> completion);        \
    void getKeyFunction_OC(KeyID keyId, TwinCompletion<KeyFunction> completion);      \
    void getBatteryStatusExtended(std::vector<BatteryStatusExtendedType> types,       \
                                  ValueCompletion<BatteryStatusExtended> completion); \
    void getBatteryStatusExtended_OC(std::vector<BatteryStatusExtendedType> types,    \
                                     ValueCompletion<BatteryStatusExtended> completion);
