// The C entry points of the UHF object, defined from their list (UhfEntryList.h), and the
// conversions of their values.

#include <chrono>

#include "orvanerfid/capi/CApi.h"
#include "orvanerfid/capi/UhfEntryList.h"

// Every entry defined here is declared in the public header first.
#pragma GCC diagnostic error "-Wmissing-declarations"

namespace orvane::capi {

void give(orv_int64_cb callback, void* context, uint16_t code, int64_t value) {
    callback(context, code, value);
}
void give(orv_bool_cb callback, void* context, uint16_t code, bool value) {
    callback(context, code, value);
}
void give(orv_uint8_cb callback, void* context, uint16_t code, GlobalBandType value) {
    callback(context, code, rawValue(value));
}
void give(orv_text_cb callback, void* context, uint16_t code,
          const std::optional<std::string>& value) {
    callback(context, code, value ? value->c_str() : nullptr);
}
// The `_OC` lists hold 8-bit band raw values and 32-bit frequencies.
void give(orv_uint8_list_cb callback, void* context, uint16_t code,
          const std::vector<int64_t>& value) {
    std::vector<uint8_t> values(value.begin(), value.end());
    static const uint8_t none = 0;
    callback(context, code, values.empty() ? &none : values.data(), values.size());
}
void give(orv_uint32_list_cb callback, void* context, uint16_t code,
          const std::vector<int64_t>& value) {
    give(callback, context, code, std::optional(std::vector<uint32_t>(value.begin(), value.end())));
}
void give(orv_uint32_list_cb callback, void* context, uint16_t code,
          const std::optional<std::vector<uint32_t>>& value) {
    static const uint32_t none = 0;
    if (!value) {
        callback(context, code, nullptr, 0);
    } else {
        callback(context, code, value->empty() ? &none : value->data(), value->size());
    }
}
void give(orv_power_range_cb callback, void* context, uint16_t code, const PowerRange& value) {
    const orv_power_range range{value.min, value.max};
    callback(context, code, &range);
}
void give(orv_mask_pattern_cb callback, void* context, uint16_t code, const MaskPattern& value) {
    const orv_mask_pattern pattern{value.pattern().c_str(), value.length()};
    callback(context, code, &pattern);
}
void give(orv_select_mask_cb callback, void* context, uint16_t code, const SelectMaskParam& value) {
    const MaskPattern pattern = value.maskPattern();
    const orv_select_mask mask{value.isUsed(),
                               rawValue(value.target()),
                               rawValue(value.action()),
                               rawValue(value.bank()),
                               value.offset(),
                               {pattern.pattern().c_str(), pattern.length()},
                               rawValue(value.turncation())};
    callback(context, code, &mask);
}
void give(orv_rfid_config_cb callback, void* context, uint16_t code, const RfidConfig& value) {
    const orv_rfid_config config = toC(value);
    callback(context, code, &config);
}

orv_rfid_config toC(const RfidConfig& c) {
    return {c.continuousMode,
            rawValue(c.target),
            rawValue(c.session),
            rawValue(c.encoding),
            rawValue(c.tariType),
            rawValue(c.blfType),
            rawValue(c.algorithm),
            c.fastMode,
            c.toggleTarget,
            c.power,
            c.inventoryTime,
            c.idleTime,
            c.startQ,
            c.maxQ,
            c.minQ,
            c.dwellTime,
            rawValue(c.rfMode),
            rawValue(c.selectMode),
            c.lbt,
            c.fastId,
            c.tagFocus,
            rawValue(c.powerSavingMode),
            c.lbtConfigure,
            rawValue(c.asMode),
            rawValue(c.fsMode)};
}

RfidConfig fromC(const orv_rfid_config& c) {
    RfidConfig config;
    config.continuousMode = c.continuousMode;
    config.target = static_cast<Target>(c.target);
    config.session = static_cast<Session>(c.session);
    config.encoding = static_cast<Encoding>(c.encoding);
    config.tariType = static_cast<TariType>(c.tariType);
    config.blfType = static_cast<BlfType>(c.blfType);
    config.algorithm = static_cast<AlgorithmType>(c.algorithm);
    config.fastMode = c.fastMode;
    config.toggleTarget = c.toggleTarget;
    config.power = c.power;
    config.inventoryTime = c.inventoryTime;
    config.idleTime = c.idleTime;
    config.startQ = c.startQ;
    config.maxQ = c.maxQ;
    config.minQ = c.minQ;
    config.dwellTime = c.dwellTime;
    config.rfMode = static_cast<RfMode>(c.rfMode);
    config.selectMode = static_cast<SelectMode>(c.selectMode);
    config.lbt = c.lbt;
    config.fastId = c.fastId;
    config.tagFocus = c.tagFocus;
    config.powerSavingMode = static_cast<PowerSavingMode>(c.powerSavingMode);
    config.lbtConfigure = c.lbtConfigure;
    config.asMode = static_cast<AntennaSwitchingMode>(c.asMode);
    config.fsMode = static_cast<FrequencySwitchingMode>(c.fsMode);
    return config;
}

orv_tag_info toC(const TagInfo& t, std::vector<uint8_t>& ids) {
    for (const TagInfoId id : t.tagInfoId())
        ids.push_back(rawValue(id));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(t.timestamp().time_since_epoch());
    return {t.antenna(),
            t.frequency(),
            t.rssi(),
            t.pc().data(),
            t.pc().size(),
            t.epc().data(),
            t.epc().size(),
            t.tid().data(),
            t.tid().size(),
            t.roundCount(),
            t.q(),
            t.tagCount(),
            t.xpc().data(),
            t.xpc().size(),
            t.userData().data(),
            t.userData().size(),
            t.phaseBegin(),
            t.phaseEnd(),
            static_cast<int64_t>(ms.count()),
            ids.data(),
            ids.size()};
}

orv_access_result toC(const AccessResultEventArgs& r) {
    return {r.epc().data(),
            r.epc().size(),
            r.data().data(),
            r.data().size(),
            rawValue(r.actionState()),
            rawValue(r.bankType()),
            rawValue(r.resultCode())};
}

void CUhfDelegate::readTag(std::shared_ptr<UhfReader>, std::shared_ptr<TagInfo> tagInfo) {
    if (functions_.readTag == nullptr || !tagInfo) return;
    gate_.run([&] {
        std::vector<uint8_t> ids;
        const orv_tag_info info = toC(*tagInfo, ids);
        functions_.readTag(functions_.context, &info);
    });
}

void CUhfDelegate::accessResult(std::shared_ptr<UhfReader>,
                                const AccessResultEventArgs& accessResultEventArgs) {
    if (functions_.accessResult == nullptr) return;
    gate_.run([&] {
        const orv_access_result result = toC(accessResultEventArgs);
        functions_.accessResult(functions_.context, &result);
    });
}

orv_uhf* wrapUhf(std::shared_ptr<BaseUhf> uhf) {
    if (!uhf) return nullptr;
    auto* handle = new orv_uhf;
    handle->object = std::move(uhf);
    return handle;
}

}  // namespace orvane::capi

using orvane::BaseUhf;
using orvane::capi::list;

#define ORV_C_PARAMS_(...) __VA_OPT__(__VA_ARGS__, )
#define ORV_C_ARGS_(...) __VA_OPT__(, __VA_ARGS__)
#define ORV_C_DEFINE_CALL_(function, operation, Callback, params, args)                        \
    uint16_t function(orv_uhf* uhf, ORV_C_PARAMS_ params Callback completion, void* context) { \
        return orvane::capi::enter<&BaseUhf::operation>(uhf, completion,                       \
                                                        context ORV_C_ARGS_ args);             \
    }
#define ORV_C_DEFINE_ACCESS_(function, operation, params, args)                 \
    uint16_t function(orv_uhf* uhf ORV_C_ARGS_ params) {                        \
        return orvane::capi::access<&BaseUhf::operation>(uhf ORV_C_ARGS_ args); \
    }

extern "C" {

ORV_C_UHF_ENTRIES(ORV_C_DEFINE_ACCESS_, ORV_C_DEFINE_CALL_)

void orv_uhf_release(orv_uhf* uhf) {
    if (uhf == nullptr) return;
    orv_uhf_set_delegate(uhf, nullptr);
    delete uhf;
}

uint16_t orv_uhf_set_delegate(orv_uhf* uhf, const orv_uhf_delegate* delegate) {
    if (uhf == nullptr) return orvane::capi::kRefused;
    try {
        std::shared_ptr<orvane::capi::CUhfDelegate> adapter;
        if (delegate != nullptr) adapter = std::make_shared<orvane::capi::CUhfDelegate>(*delegate);
        std::shared_ptr<orvane::capi::CUhfDelegate> earlier;
        // Released after the locks: it may be the application's last reference to its delegate.
        std::shared_ptr<orvane::UhfDelegate> installed;
        {
            // One change at a time across handles, so that a handle's check that the installed
            // delegate is its own and the removal are one step.
            static std::mutex changes;
            std::lock_guard changing(changes);
            std::lock_guard guard(uhf->lock);
            earlier = std::exchange(uhf->delegate, adapter);
            installed = uhf->object->delegate();
            // A handle removes only the delegate it installed, while it is still installed:
            // another handle's (also one carried over to a new UHF object) stays.
            if (adapter || (earlier && installed.get() == earlier.get())) {
                uhf->object->setDelegate(adapter);
            }
        }
        if (earlier) earlier->gate().close();
        return rawValue(orvane::ResultCode::noError);
    } catch (...) {
        return orvane::capi::kFailed;
    }
}

uint16_t orv_assertModule(orv_uhf* uhf) {
    if (uhf == nullptr) return orvane::capi::kRefused;
    try {
        return rawValue(uhf->object->assertModule());
    } catch (...) {
        return orvane::capi::kFailed;
    }
}

uint16_t orv_assertAction(orv_uhf* uhf) {
    if (uhf == nullptr) return orvane::capi::kRefused;
    try {
        return rawValue(uhf->object->assertAction());
    } catch (...) {
        return orvane::capi::kFailed;
    }
}

bool orv_isSupport(orv_uhf* uhf, uint8_t paramId) {
    if (uhf == nullptr) return false;
    try {
        return uhf->object->isSupport(static_cast<orvane::UhfParamId>(paramId));
    } catch (...) {
        return false;
    }
}

const char* orv_TAG(orv_uhf* uhf) {
    if (uhf == nullptr) return "";
    return uhf->object->TAG().c_str();
}

uint8_t orv_uhfModuleType(orv_uhf* uhf) {
    if (uhf == nullptr) return rawValue(orvane::UhfModuleType::unknown);
    return rawValue(uhf->object->uhfModuleType());
}

}  // extern "C"
