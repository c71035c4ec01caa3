#pragma once

// One setting of the reader's barcode scan engine, with its value, default, allowed values and
// range held as decimal text in the BaseParam fields.

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/EngineParamId.h"
#include "orvanerfid/params/BaseParam.h"

namespace orvane {

// Not thread-safe: used by one thread at a time (the application's, or the engine operation
// that creates and fills it). None of the constructors checks the default against the range.
class ORVANE_API EngineParam : public BaseParam {
  public:
    // No value, no options, no range.
    explicit EngineParam(EngineParamId id);
    // Value and default both `value`.
    EngineParam(EngineParamId id, std::string value);
    // Value and default both `value`, then `options` appended in order.
    EngineParam(EngineParamId id, std::string value, std::vector<std::string> options);
    // Value and default the decimal text of `defaultValue`; range min..max.
    EngineParam(EngineParamId id, int64_t defaultValue, int64_t min, int64_t max);
    // Value and default "1" (true) or "0" (false); range 0..1. Takes exactly a bool, so that a
    // text literal never lands here.
    template <std::same_as<bool> Bool>
    EngineParam(EngineParamId id, Bool enable) : EngineParam(id, enable ? 1 : 0, 0, 1) {}

    EngineParamId id() const { return id_; }

    const std::string& getValue() const { return _value(); }
    const std::string& defaultValue() const { return _default(); }

    // Stores `value` when isValid accepts it. Otherwise the value is unchanged and
    // ReaderException 0x4003 is thrown with the message
    // "The value[<value>] is out of range [<min> - <max>]".
    void setValue(std::string value);

    // True for every text when the range is 0..0; otherwise the text must be a decimal signed
    // 64-bit integer (one optional leading "+" or "-", then digits only) within min..max.
    bool isValid(std::string_view value) const;

    // The allowed values. When a range is set and no options are held, the decimal texts of the
    // range are generated once and kept (ReaderException 0x4003 for a range of more than
    // 65536 values).
    const std::vector<std::string>& options();

    // Appends `option` to the options; no check, duplicates allowed.
    void addOption(std::string option);

    EngineParam* toEngineParam() override { return this; }
    const EngineParam* toEngineParam() const override { return this; }

  private:
    EngineParamId id_;
};

}  // namespace orvane
