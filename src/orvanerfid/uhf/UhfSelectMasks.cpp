// The select masks of the UHF object: one getter and setter per field of an entry, the whole
// entry, and the highest index. The driver keeps the list; these rows check the index, the entry
// and the values under the module lock before the driver is called (a write's entry as it would
// be stored, against the driver's own limits), so a refusal keeps its own code, changes nothing
// and is not a link failure. A write then reports the outcome of applying the list to the
// module; when that fails, the driver puts the list back as it was.

#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/uhf/BaseUhf.h"
#include "orvanerfid/uhf/UhfConversions.h"
#include "orvanerfid/uhf/UhfPipeline.h"

namespace orvane {

using uhf_detail::callSafely;
namespace row = uhf_detail::row;

std::optional<BaseUhf::Refusal> BaseUhf::checkSelectMask(std::string_view signature,
                                                         std::size_t index,
                                                         bool entryRequired) const {
    const auto driver = uhfModule_;
    if (!driver) return std::nullopt;  // found by the driver check after the hop
    const int highest = driver->selectMaskMaxSize();
    if (highest < 0 || index > static_cast<std::size_t>(highest)) {
        return Refusal{ResultCode::outOfRange,
                       std::string(signature) +
                           " - Result Code: " + std::string(description(ResultCode::outOfRange))};
    }
    if (entryRequired && driver->selectMaskList().count(index) == 0) {
        return Refusal{ResultCode::notFoundParameter,
                       std::string(signature) + " - Result Code: " +
                           std::string(description(ResultCode::notFoundParameter))};
    }
    return std::nullopt;
}

template <typename Value>
void BaseUhf::runSelectMask(std::string_view signature, std::optional<UhfParamId> id,
                            std::size_t index, bool entryRequired,
                            std::function<std::optional<Refusal>()> checks,
                            std::function<ResultCode(BaseUhfModule&, std::optional<Value>&)> call,
                            std::function<void(ResultCode, std::optional<Value>)> answer) {
    Run<Value> run;
    run.signature = signature;
    run.id = id;
    run.checks = [this, signature, index, entryRequired, checks = std::move(checks)] {
        if (auto refusal = checkSelectMask(signature, index, entryRequired)) return refusal;
        return checks ? checks() : std::nullopt;
    };
    run.call = [call = std::move(call)](
                   BaseUhfModule& driver,
                   std::function<void(ResultCode, std::optional<Value>)> done) {
        std::optional<Value> value;
        const ResultCode code = call(driver, value);
        done(code, std::move(value));
    };
    run.answer = std::move(answer);
    runPipeline(std::move(run));
}

namespace {

// A pattern the driver can send: hex text of whole bytes (0x5002), and a length in bits that the
// text holds (0x4003).
std::optional<BaseUhf::Refusal> checkPattern(std::string_view signature,
                                             const MaskPattern& pattern) {
    const auto bytes = hexTextToData(pattern.pattern());
    if (!bytes) {
        return BaseUhf::Refusal{
            ResultCode::invalidParameter,
            std::string(signature) + " - Invalid mask pattern(" + pattern.pattern() + ")"};
    }
    if (pattern.length() > bytes->size() * 8) {
        return BaseUhf::Refusal{ResultCode::outOfRange, std::string(signature) +
                                                            " - Invalid mask length(" +
                                                            std::to_string(pattern.length()) + ")"};
    }
    return std::nullopt;
}

// The entry at `index` as `change` leaves it, checked by the driver before anything is stored or
// sent: a value the module cannot carry is refused with the driver's code, the list unchanged.
std::optional<BaseUhf::Refusal> checkEntry(const std::shared_ptr<BaseUhfModule>& driver,
                                           std::string_view signature, std::size_t index,
                                           const std::function<void(SelectMaskParam&)>& change) {
    if (!driver) return std::nullopt;  // found by the driver check after the hop
    const auto list = driver->selectMaskList();
    const auto found = list.find(index);
    SelectMaskParam entry = found != list.end() ? found->second : SelectMaskParam();
    change(entry);
    try {
        driver->checkSelectMaskEntry(entry);
    } catch (const ReaderException& e) {
        return BaseUhf::Refusal{e.resultCode(), std::string(signature) + " - " + e.message()};
    }
    return std::nullopt;
}

template <typename Completion>
auto answerWith(std::string tag, Completion completion) {
    return [tag = std::move(tag), completion = std::move(completion)](ResultCode code, auto value) {
        if constexpr (std::is_invocable_v<Completion, ResultCode>) {
            callSafely(tag, completion, code);
        } else {
            callSafely(tag, completion, code, std::move(value));
        }
    };
}

}  // namespace

// A field's getter, its `_OC` twin through the virtual getter, and its setter. The setter's
// `checks` (or nullptr) come first, then the driver's check of the entry with `store` applied.
#define ORV_MASK_FIELD_(getter, twin, setter, Value, Param, argument, Out, convert, store, checks) \
    void BaseUhf::getter(std::size_t index, UhfValueCompletion<Value> completion) {                \
        runSelectMask<Value>(                                                                      \
            row::getter::signature, row::getter::id, index, true, {},                              \
            [index](BaseUhfModule& driver, std::optional<Value>& value) {                          \
                value = driver.getter(index);                                                      \
                return ResultCode::noError;                                                        \
            },                                                                                     \
            answerWith(TAG(), std::move(completion)));                                             \
    }                                                                                              \
    void BaseUhf::twin(std::size_t index, UhfOcCompletion<Out> completion) {                       \
        getter(index,                                                                              \
               [completion = std::move(completion)](ResultCode code, auto value) { convert; });    \
    }                                                                                              \
    void BaseUhf::setter(std::size_t index, Param argument, UhfResultCompletion completion) {      \
        runSelectMask<NoValue>(                                                                    \
            row::setter::signature, row::setter::id, index, false,                                 \
            [this, index, argument, first = std::function<std::optional<Refusal>()>(checks)]()     \
                -> std::optional<Refusal> {                                                        \
                if (first) {                                                                       \
                    if (auto refusal = first()) return refusal;                                    \
                }                                                                                  \
                return checkEntry(uhfModule_, row::setter::signature, index,                       \
                                  [&](SelectMaskParam& entry) { entry.store(argument); });         \
            },                                                                                     \
            [index, argument](BaseUhfModule& driver, std::optional<NoValue>&) {                    \
                return driver.setter(index, argument);                                             \
            },                                                                                     \
            answerWith(TAG(), std::move(completion)));                                             \
    }

ORV_MASK_FIELD_(getSelectMaskEnabled, getSelectMaskEnabled_OC, setSelectMaskEnabled, bool, bool,
                enabled, bool, uhf_detail::completeWithBool(completion, code, value), setIsUsed,
                nullptr)
ORV_MASK_FIELD_(getSelectMaskTarget, getSelectMaskTarget_OC, setSelectMaskTarget, MaskTarget,
                MaskTarget, target, int64_t,
                uhf_detail::completeWithByte(completion, code, value, -1), setTarget, nullptr)
ORV_MASK_FIELD_(getSelectMaskAction, getSelectMaskAction_OC, setSelectMaskAction, MaskAction,
                MaskAction, action, int64_t,
                uhf_detail::completeWithByte(completion, code, value, -1), setAction, nullptr)
ORV_MASK_FIELD_(getSelectMaskBank, getSelectMaskBank_OC, setSelectMaskBank, BankType, BankType,
                bank, int64_t, uhf_detail::completeWithByte(completion, code, value, -1), setBank,
                nullptr)
ORV_MASK_FIELD_(getSelectMaskOffset, getSelectMaskOffset_OC, setSelectMaskOffset, uint64_t,
                uint64_t, offset, int64_t,
                uhf_detail::completeWithNumber(completion, code, value, -1), setOffset, nullptr)
// The pattern is copied into the entry and out of it: the caller's object never shares state
// with the driver's list.
ORV_MASK_FIELD_(getSelectMaskPattern, getSelectMaskPattern_OC, setSelectMaskPattern, MaskPattern,
                const MaskPattern&, maskPattern, MaskPattern,
                uhf_detail::completeWithObjectOrNew(completion, code, std::move(value)),
                setMaskPattern, ([maskPattern] {
                    return checkPattern(row::setSelectMaskPattern::signature, maskPattern);
                }))
#undef ORV_MASK_FIELD_

// ---- The whole entry -------------------------------------------------------------------------

void BaseUhf::getSelectMask(std::size_t index, UhfValueCompletion<SelectMaskParam> completion) {
    // The entry is read in one step, its truncation included.
    runSelectMask<SelectMaskParam>(
        row::getSelectMask::signature, row::getSelectMask::id, index, true, {},
        [index](BaseUhfModule& driver, std::optional<SelectMaskParam>& value) {
            value = driver.getSelectMaskEntry(index);
            return ResultCode::noError;
        },
        answerWith(TAG(), std::move(completion)));
}

void BaseUhf::getSelectMask_OC(std::size_t index, UhfOcCompletion<SelectMaskParam> completion) {
    getSelectMask(index, [completion = std::move(completion)](ResultCode code, auto value) {
        uhf_detail::completeWithObjectOrNew(completion, code, std::move(value));
    });
}

void BaseUhf::setSelectMask(std::size_t index, const SelectMaskParam& param,
                            UhfResultCompletion completion) {
    static constexpr std::string_view sig = row::setSelectMask::signature;
    // Every value is checked before the entry changes; the driver then stores the entry whole
    // and applies the list once with it, and that application's outcome is the answer.
    runSelectMask<NoValue>(
        sig, row::setSelectMask::id, index, false,
        [this, index, param]() -> std::optional<Refusal> {
            if (param.bank() == BankType::reserved) {
                return Refusal{ResultCode::invalidParameter, std::string(sig) + " - Invalid bank"};
            }
            if (auto refusal = checkPattern(sig, param.maskPattern())) return refusal;
            return checkEntry(uhfModule_, sig, index,
                              [&](SelectMaskParam& entry) { entry = param; });
        },
        [index, param](BaseUhfModule& driver, std::optional<NoValue>&) {
            return driver.setSelectMaskEntry(index, param);
        },
        answerWith(TAG(), std::move(completion)));
}

// ---- The highest index -----------------------------------------------------------------------

void BaseUhf::getSelectMaskMaxSize(UhfValueCompletion<uint8_t> completion) {
    // Answered on the caller's thread from the driver's fixed limit: no lock, no module traffic.
    constexpr std::string_view sig = row::getSelectMaskMaxSize::signature;
    if (!isSupport(UhfParamId::selectMaskMaxSize)) {
        logError(std::string(sig) + " - Not supported");
        callSafely(TAG(), completion, ResultCode::notSupported, std::nullopt);
        return;
    }
    const auto driver = uhfModule_;
    if (!driver) {
        logError(std::string(sig) + " - UHF Module is nil");
        callSafely(TAG(), completion, ResultCode::invalidModuleObject, std::nullopt);
        return;
    }
    const auto size = static_cast<uint8_t>(driver->selectMaskMaxSize());
    logInfo(std::string(sig) + " - Optional(" + std::to_string(size) + ")");
    callSafely(TAG(), completion, ResultCode::noError, std::optional(size));
}

void BaseUhf::getSelectMaskMaxSize_OC(UhfOcCompletion<int64_t> completion) {
    getSelectMaskMaxSize([completion = std::move(completion)](ResultCode code, auto value) {
        uhf_detail::completeWithByte(completion, code, value, 0);
    });
}

}  // namespace orvane
