#pragma once

// Calling the UHF object's completion rows generically, from the operation list itself: each
// row with new arguments and a completion that records what it answered.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "orvanerfid/uhf/BaseUhf.h"

namespace orvane::test {

// What one call of a row answered.
struct Outcome {
    std::atomic<int> answers{0};
    std::atomic<ResultCode> code{ResultCode::noError};
    std::atomic<bool> hasValue{
        false};  // a getter's value, or an `_OC` value other than the new one
    bool isGetter = false;
    bool isTwin = false;
};

template <typename T>
bool isNew(const T& value) {
    if constexpr (std::is_same_v<T, MaskPattern>) {
        return value.pattern().empty() && value.length() == 0;
    } else if constexpr (std::is_same_v<T, SelectMaskParam>) {
        const SelectMaskParam fresh;
        return value.isUsed() == fresh.isUsed() && value.target() == fresh.target() &&
               value.action() == fresh.action() && value.bank() == fresh.bank() &&
               value.offset() == fresh.offset() && isNew(value.maskPattern()) &&
               value.turncation() == fresh.turncation();
    } else {
        return value == T{};
    }
}

// The recording completion of each completion kind.
template <typename C>
struct Recorder;
template <>
struct Recorder<UhfResultCompletion> {
    static UhfResultCompletion make(std::shared_ptr<Outcome> o, std::string_view) {
        return [o](ResultCode code) {
            o->code = code;
            ++o->answers;
        };
    }
};
template <typename T>
struct Recorder<std::function<void(ResultCode, std::optional<T>)>> {
    static auto make(std::shared_ptr<Outcome> o, std::string_view) {
        o->isGetter = true;
        return [o](ResultCode code, std::optional<T> value) {
            o->code = code;
            o->hasValue = value.has_value();
            ++o->answers;
        };
    }
};
template <typename T>
struct Recorder<std::function<void(ResultCode, T)>> {
    static auto make(std::shared_ptr<Outcome> o, std::string_view name) {
        o->isTwin = true;
        // The twins' substitute: 0 for the power and the highest index, -1 for the other
        // numbers, and otherwise the type's new value (false, [], Unknown, a new object).
        const bool zero = name == "getPower_OC" || name == "getSelectMaskMaxSize_OC";
        return [o, zero](ResultCode code, T value) {
            o->code = code;
            if constexpr (std::is_same_v<T, int64_t>) {
                o->hasValue = value != (zero ? 0 : -1);
            } else {
                o->hasValue = !isNew(value);
            }
            ++o->answers;
        };
    }
};

// Calls a row with new arguments and a recording completion.
template <typename... Args>
std::shared_ptr<Outcome> callRow(BaseUhf& uhf, void (BaseUhf::*operation)(Args...),
                                 std::string_view name) {
    auto outcome = std::make_shared<Outcome>();
    std::tuple<std::decay_t<Args>...> args{};
    using Completion = std::tuple_element_t<sizeof...(Args) - 1, decltype(args)>;
    std::get<sizeof...(Args) - 1>(args) = Recorder<Completion>::make(outcome, name);
    std::apply([&](auto&... a) { (uhf.*operation)(a...); }, args);
    return outcome;
}

struct Row {
    std::string name;
    std::string signature;
    std::optional<UhfParamId> id;
    std::function<std::shared_ptr<Outcome>(BaseUhf&)> call;
};

inline std::vector<Row> completionRows() {
    std::vector<Row> rows;
#define ORV_TEST_CALL_(state, name, id, signature, params)           \
    rows.push_back({#name, signature, std::optional<UhfParamId>(id), \
                    [](BaseUhf& uhf) { return callRow(uhf, &BaseUhf::name, #name); }});
#define ORV_TEST_ACCESS_(state, name, id, signature, params)
    ORV_UHF_OPERATIONS(ORV_TEST_ACCESS_, ORV_TEST_CALL_)
#undef ORV_TEST_CALL_
#undef ORV_TEST_ACCESS_
    return rows;
}

}  // namespace orvane::test
