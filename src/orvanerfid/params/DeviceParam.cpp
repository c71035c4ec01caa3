#include "orvanerfid/params/DeviceParam.h"

#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/params/DeviceTextForms.h"
#include "orvanerfid/params/HexFields.h"

namespace orvane {

namespace {

// The access sets must agree with the access mode of each id.
constexpr uint64_t setOf(bool (*member)(AccessMode)) {
    uint64_t set = 0;
    for (DeviceParamId id : allCases<DeviceParamId>()) {
        if (member(accessMode(id))) set |= uint64_t{1} << rawValue(id);
    }
    return set;
}

static_assert(DeviceParam::writableSet ==
              setOf([](AccessMode mode) { return mode == AccessMode::readWrite; }));
static_assert(DeviceParam::readableSet ==
              setOf([](AccessMode mode) { return mode != AccessMode::executable; }));
static_assert(DeviceParam::executableOrWritableSet ==
              setOf([](AccessMode mode) { return mode != AccessMode::readOnly; }));

// The option texts of a range: "%02X" below 256, else "%04X".
std::string optionText(int64_t value) {
    if (value < 0) {
        throw ReaderException(ResultCode::outOfRange,
                              "A device option cannot be " + std::to_string(value));
    }
    return hexfield::write(static_cast<uint64_t>(value), value < 256 ? 2 : 4, "A device option");
}

}  // namespace

DeviceParam::DeviceParam(DeviceParamId id) : BaseParam(ParamType::device), id_(id) {
    setDefaultValue();
}

DeviceParam::DeviceParam(DeviceParamId id, uint32_t minVersion, uint32_t maxVersion)
    : BaseParam(ParamType::device), id_(id) {
    set_minVersion(minVersion);
    set_maxVersion(maxVersion);
    setDefaultValue();
}

DeviceParam::DeviceParam(DeviceParamId id, const DeviceValue& value) : DeviceParam(id) {
    set_value(valueToString(value));
}

DeviceParam::DeviceParam(DeviceParamId id, DefaultValueTag, const DeviceValue& defaultValue)
    : DeviceParam(id) {
    std::string text = valueToString(defaultValue);
    set_default(text);
    set_value(std::move(text));
}

void DeviceParam::setValue(const DeviceValue& value) {
    if (!isWritable(id_)) {
        throw ReaderException(ResultCode::invalidParameter, "Not a writable parameter");
    }
    set_value(valueToString(value));
}

void DeviceParam::setRawValue(const DeviceValue& value) {
    set_value(valueToString(value));
}

std::optional<Bytes> DeviceParam::rawValue() const {
    return hexTextToData(_value());
}

std::vector<DeviceValue> DeviceParam::options() {
    if (id_ == DeviceParamId::appBundleId) {
        return {DeviceValue(std::string(" ")), DeviceValue(std::string())};
    }
    fillOptionsFromRange(optionText);
    std::vector<DeviceValue> values;
    values.reserve(_options().size());
    for (const std::string& text : _options()) {
        auto value = valueToAny(text);
        if (!value) {
            throw ReaderException(
                ResultCode::invalidParameter,
                "The option[" + text + "] is not a value of " + std::string(description(id_)));
        }
        values.push_back(std::move(*value));
    }
    return values;
}

void DeviceParam::setDefaultValue() {
    std::string text = valueToString(detail::deviceTextForm(id_).makeDefault());
    set_value(text);
    set_default(std::move(text));
}

std::string DeviceParam::valueToString(const DeviceValue& value) const {
    auto text = detail::deviceTextForm(id_).write(value);
    if (!text) {
        throw ReaderException(ResultCode::invalidParameter,
                              "The value is not of the type of " + std::string(description(id_)));
    }
    return std::move(*text);
}

std::optional<DeviceValue> DeviceParam::valueToAny(std::string_view text) const {
    return detail::deviceTextForm(id_).read(text);
}

}  // namespace orvane
