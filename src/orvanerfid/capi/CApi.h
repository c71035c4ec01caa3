#pragma once

// The machinery behind the C entry points (orvanerfid_c.h): the handles, the gate that lets a
// callback's removal wait for the calls in flight, and the conversions between the C forms and
// the C++ operations.
//
// Threads: an entry runs on its caller's thread; the completion it hands to the operation runs
// wherever the operation completes (caller's thread or pool thread) and reaches the C callback at
// most once. Delegate adapters run on the thread that delivers the event, through their gate,
// with no library lock held. Delegate changes through any handle take one process-wide lock, so a
// handle's check that the UHF object's delegate is its own and its removal are one step; no
// application code runs under it.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "orvanerfid/core/LockParam.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/SettingValues.h"
#include "orvanerfid/orvanerfid_c.h"
#include "orvanerfid/params/PowerRange.h"
#include "orvanerfid/params/RfidConfig.h"
#include "orvanerfid/params/SelectMaskParam.h"
#include "orvanerfid/reader/UhfReader.h"
#include "orvanerfid/uhf/BaseUhf.h"

namespace orvane::capi {

// Lets application callbacks run until it is closed; closing waits for the calls running on
// other threads (a call on the closing thread itself, which is inside one, is not waited for).
class CallbackGate {
  public:
    // Runs `call` unless the gate is closed.
    template <typename Call>
    void run(Call&& call) {
        {
            std::lock_guard guard(lock_);
            if (closed_) return;
            ++running_;
        }
        active().push_back(this);
        try {
            call();
        } catch (...) {
            // Application code: nothing of it crosses back into the library.
        }
        auto& mine = active();
        mine.erase(std::find(mine.begin(), mine.end(), this));
        {
            std::lock_guard guard(lock_);
            --running_;
        }
        idle_.notify_all();
    }
    void close() {
        const auto own = std::count(active().begin(), active().end(), this);
        std::unique_lock guard(lock_);
        closed_ = true;
        idle_.wait(guard, [&] { return running_ <= own; });
    }

  private:
    static std::vector<const CallbackGate*>& active() {
        thread_local std::vector<const CallbackGate*> gates;
        return gates;
    }
    std::mutex lock_;
    std::condition_variable idle_;
    bool closed_ = false;
    long running_ = 0;
};

// The application's UhfDelegate as function pointers.
class CUhfDelegate : public UhfDelegate {
  public:
    explicit CUhfDelegate(const orv_uhf_delegate& functions) : functions_(functions) {}
    void readTag(std::shared_ptr<UhfReader> uhfReader, std::shared_ptr<TagInfo> tagInfo) override;
    void accessResult(std::shared_ptr<UhfReader> uhfReader,
                      const AccessResultEventArgs& accessResultEventArgs) override;
    CallbackGate& gate() { return gate_; }

  private:
    const orv_uhf_delegate functions_;
    CallbackGate gate_;
};

// Converts the C forms of the operations' arguments and values.
orv_tag_info toC(const TagInfo& tagInfo, std::vector<uint8_t>& ids);
orv_access_result toC(const AccessResultEventArgs& result);
orv_rfid_config toC(const RfidConfig& config);
RfidConfig fromC(const orv_rfid_config& config);

// A list given as pointer and count, and the most entries its wire field can carry.
template <typename T>
struct List {
    const T* data;
    std::size_t count;
    std::size_t max;
};
template <typename T>
List<T> list(const T* data, std::size_t count, std::size_t max) {
    return {data, count, max};
}

// Whether a C argument is usable: texts and records not NULL, a list NULL only when empty.
template <typename C>
bool present(const C& value) {
    if constexpr (std::is_pointer_v<C>) return value != nullptr;
    return true;
}
template <typename T>
bool present(const List<T>& value) {
    return value.data != nullptr || value.count == 0;
}
inline bool present(const orv_mask_pattern* value) {
    return value != nullptr && value->pattern != nullptr;
}
inline bool present(const orv_select_mask* value) {
    return value != nullptr && value->maskPattern.pattern != nullptr;
}

// Whether a C argument fits its wire field: a list's count is checked before anything is copied.
template <typename C>
bool bounded(const C&) {
    return true;
}
template <typename T>
bool bounded(const List<T>& value) {
    return value.count <= value.max;
}

// C argument to C++ parameter. Numbers keep their exact type; enumerations take their raw values.
template <typename P>
struct In {
    template <typename C>
    static P from(C value) {
        if constexpr (std::is_enum_v<P>) {
            static_assert(std::is_same_v<C, std::underlying_type_t<P>>);
            return static_cast<P>(value);
        } else {
            static_assert(std::is_same_v<C, P>, "a C parameter has the C++ parameter's type");
            return value;
        }
    }
};
template <>
struct In<std::string> {
    static std::string from(const char* text) { return text; }
};
template <typename T>
struct In<std::vector<T>> {
    static std::vector<T> from(List<T> values) {
        return values.count == 0 ? std::vector<T>{}
                                 : std::vector<T>(values.data, values.data + values.count);
    }
};
template <>
struct In<MaskPattern> {
    static MaskPattern from(const orv_mask_pattern* pattern) {
        return MaskPattern(pattern->pattern, pattern->length);
    }
};
template <>
struct In<SelectMaskParam> {
    static SelectMaskParam from(const orv_select_mask* mask) {
        return SelectMaskParam(
            mask->isUsed, static_cast<MaskTarget>(mask->target),
            static_cast<MaskAction>(mask->action), static_cast<BankType>(mask->bank), mask->offset,
            In<MaskPattern>::from(&mask->maskPattern), static_cast<Truncate>(mask->turncation));
    }
};
template <>
struct In<RfidConfig> {
    static RfidConfig from(const orv_rfid_config* config) { return fromC(*config); }
};
template <typename Selection>
requires std::is_base_of_v<LockSelection, Selection>
struct In<Selection> {
    static Selection from(const orv_lock_param* lock) {
        return Selection(static_cast<LockState>(lock->killPassword),
                         static_cast<LockState>(lock->accessPassword),
                         static_cast<LockState>(lock->epc), static_cast<LockState>(lock->tid),
                         static_cast<LockState>(lock->user));
    }
};

// C++ value to C callback.
void give(orv_int64_cb callback, void* context, uint16_t code, int64_t value);
void give(orv_bool_cb callback, void* context, uint16_t code, bool value);
void give(orv_uint8_cb callback, void* context, uint16_t code, GlobalBandType value);
void give(orv_text_cb callback, void* context, uint16_t code,
          const std::optional<std::string>& value);
void give(orv_uint8_list_cb callback, void* context, uint16_t code,
          const std::vector<int64_t>& value);
void give(orv_uint32_list_cb callback, void* context, uint16_t code,
          const std::vector<int64_t>& value);
void give(orv_uint32_list_cb callback, void* context, uint16_t code,
          const std::optional<std::vector<uint32_t>>& value);
void give(orv_power_range_cb callback, void* context, uint16_t code, const PowerRange& value);
void give(orv_mask_pattern_cb callback, void* context, uint16_t code, const MaskPattern& value);
void give(orv_select_mask_cb callback, void* context, uint16_t code, const SelectMaskParam& value);
void give(orv_rfid_config_cb callback, void* context, uint16_t code, const RfidConfig& value);
// A record that may be absent: NULL when there is none.
template <typename Callback, typename T>
void give(Callback callback, void* context, uint16_t code, const std::optional<T>& value) {
    if (value) {
        give(callback, context, code, *value);
    } else {
        callback(context, code, nullptr);
    }
}

// The one call of an entry's callback: claimed by the completion, or abandoned by an entry that
// failed before the operation took the completion over.
class Once {
  public:
    bool claim() { return take(kCalled); }
    bool abandon() { return take(kAbandoned); }

  private:
    static constexpr int kCalled = 1;
    static constexpr int kAbandoned = 2;
    bool take(int state) {
        int open = 0;
        return state_.compare_exchange_strong(open, state);
    }
    std::atomic<int> state_{0};
};

// The operation's completion that reaches the C callback.
template <typename Completion>
struct Completions;
template <>
struct Completions<UhfResultCompletion> {
    static UhfResultCompletion make(orv_result_cb callback, void* context,
                                    std::shared_ptr<Once> once) {
        return [callback, context, once](ResultCode code) {
            if (once->claim()) callback(context, rawValue(code));
        };
    }
};
template <typename T>
struct Completions<std::function<void(ResultCode, T)>> {
    template <typename Callback>
    static std::function<void(ResultCode, T)> make(Callback callback, void* context,
                                                   std::shared_ptr<Once> once) {
        return [callback, context, once](ResultCode code, T value) {
            if (once->claim()) give(callback, context, rawValue(code), value);
        };
    }
};

template <typename Member>
struct Operation;
template <typename R, typename... P>
struct Operation<R (BaseUhf::*)(P...)> {
    using Params = std::tuple<std::decay_t<P>...>;
};

template <auto Op, typename Completion, typename Args, std::size_t... I>
void invoke(BaseUhf& uhf, Completion&& completion, const Args& args, std::index_sequence<I...>) {
    using Params = typename Operation<decltype(Op)>::Params;
    (uhf.*Op)(In<std::tuple_element_t<I, Params>>::from(std::get<I>(args))...,
              std::forward<Completion>(completion));
}

template <auto Op, typename... C, std::size_t... I>
ResultCode invokeAccess(BaseUhf& uhf, const std::tuple<C...>& args, std::index_sequence<I...>) {
    using Params = typename Operation<decltype(Op)>::Params;
    return (uhf.*Op)(In<std::tuple_element_t<I, Params>>::from(std::get<I>(args))...);
}

}  // namespace orvane::capi

// The handles: plain holders of the C++ objects.
struct orv_uhf {
    std::shared_ptr<orvane::BaseUhf> object;
    std::mutex lock;  // guards delegate
    std::shared_ptr<orvane::capi::CUhfDelegate> delegate;
};

namespace orvane::capi {

inline constexpr uint16_t kRefused = rawValue(ResultCode::invalidParameter);
inline constexpr uint16_t kFailed = rawValue(ResultCode::otherError);
inline constexpr uint16_t kTooLong = rawValue(ResultCode::outOfRange);

// A completion entry: checks, the operation called with the converted arguments and a completion
// that reaches `callback` exactly once, every exception caught.
template <auto Op, typename Callback, typename... C>
uint16_t enter(orv_uhf* handle, Callback callback, void* context, C... args) noexcept {
    if (handle == nullptr || callback == nullptr || !(present(args) && ...)) return kRefused;
    if (!(bounded(args) && ...)) return kTooLong;
    std::shared_ptr<Once> once;
    try {
        once = std::make_shared<Once>();
        using Params = typename Operation<decltype(Op)>::Params;
        constexpr std::size_t count = std::tuple_size_v<Params> - 1;
        static_assert(count == sizeof...(C), "one C argument per parameter");
        using Completion = std::tuple_element_t<count, Params>;
        const std::shared_ptr<BaseUhf> uhf = handle->object;
        invoke<Op>(*uhf, Completions<Completion>::make(callback, context, once),
                   std::tuple<C...>(args...), std::make_index_sequence<count>{});
        return rawValue(ResultCode::noError);
    } catch (...) {
        return !once || once->abandon() ? kFailed : rawValue(ResultCode::noError);
    }
}

// A tag-access entry: the operation's code, returned.
template <auto Op, typename... C>
uint16_t access(orv_uhf* handle, C... args) noexcept {
    if (handle == nullptr || !(present(args) && ...)) return kRefused;
    try {
        const std::shared_ptr<BaseUhf> uhf = handle->object;
        return rawValue(
            invokeAccess<Op>(*uhf, std::tuple<C...>(args...), std::index_sequence_for<C...>{}));
    } catch (...) {
        return kFailed;
    }
}

// A handle for a UHF object the library did not make through a reader (tests, doubles).
orv_uhf* wrapUhf(std::shared_ptr<BaseUhf> uhf);

}  // namespace orvane::capi
