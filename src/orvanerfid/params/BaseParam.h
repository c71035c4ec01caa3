#pragma once

// The common record of one configurable setting: current and default value as text, the allowed
// values, an integer range and the reader firmware versions that have the setting.

#include <cstdint>
#include <string>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

#define ORV_PARAM_TYPE(X)  \
    X(device, 0, "Device") \
    X(engine, 1, "Engine")

// The two kinds of parameter: reader settings and barcode-engine settings.
ORV_ENUM(ParamType, uint8_t, ORV_PARAM_TYPE);

class DeviceParam;
class EngineParam;

// A plain mutable record; it validates nothing (an engine parameter checks its own range). Not
// thread-safe: a parameter is changed by one thread at a time.
//
// The accessors keep the underscore names of the fields they expose (`_value()`,
// `set_value()`), because `options()` and `getValue()` of the subclasses mean something else.
class ORVANE_API BaseParam {
  public:
    explicit BaseParam(ParamType type) : type_(type) {}
    virtual ~BaseParam() = default;

    BaseParam(const BaseParam&) = default;
    BaseParam& operator=(const BaseParam&) = default;
    BaseParam(BaseParam&&) = default;
    BaseParam& operator=(BaseParam&&) = default;

    ParamType type() const { return type_; }

    // Current value in the parameter's text form.
    const std::string& _value() const { return value_; }
    void set_value(std::string value) { value_ = std::move(value); }
    // Default value in the same text form.
    const std::string& _default() const { return default_; }
    void set_default(std::string value) { default_ = std::move(value); }
    // Allowed values as texts; empty when the values are not enumerated.
    const std::vector<std::string>& _options() const { return options_; }
    void set_options(std::vector<std::string> options) { options_ = std::move(options); }
    // Allowed integer range, both ends included; 0 and 0 mean no range.
    int64_t _min() const { return min_; }
    void set_min(int64_t min) { min_ = min; }
    int64_t _max() const { return max_; }
    void set_max(int64_t max) { max_ = max; }
    // Window of reader firmware versions (Utilities::versionToUInt32 form) that have the setting,
    // both ends included.
    uint32_t _minVersion() const { return minVersion_; }
    void set_minVersion(uint32_t version) { minVersion_ = version; }
    uint32_t _maxVersion() const { return maxVersion_; }
    void set_maxVersion(uint32_t version) { maxVersion_ = version; }

    virtual uint32_t minVersion() const { return minVersion_; }
    virtual uint32_t maxVersion() const { return maxVersion_; }

    // Sets the range to min..max and changes nothing else.
    void initOption(int64_t min, int64_t max) {
        min_ = min;
        max_ = max;
    }

    // This parameter as the subclass it is, or null for the other kind (the parameter is
    // unchanged either way).
    virtual DeviceParam* toDeviceParam() { return nullptr; }
    virtual const DeviceParam* toDeviceParam() const { return nullptr; }
    virtual EngineParam* toEngineParam() { return nullptr; }
    virtual const EngineParam* toEngineParam() const { return nullptr; }

  protected:
    std::vector<std::string>& optionsRef() { return options_; }

    // Restores every field but the type to its initial value.
    void resetFields() { *this = BaseParam(type_); }

    // When a range is set and no options are held, fills the options with one text per integer
    // of the range, ascending, made by `format`; nothing when the range is empty (max < min).
    // A range of more than 65536 values throws ReaderException 0x4003.
    void fillOptionsFromRange(std::string (*format)(int64_t value));

  private:
    std::string value_;
    std::string default_;
    std::vector<std::string> options_;
    int64_t min_ = 0;
    int64_t max_ = 0;
    uint32_t minVersion_ = 0;
    uint32_t maxVersion_ = 0xFFFFFFFF;
    ParamType type_;
};

}  // namespace orvane
