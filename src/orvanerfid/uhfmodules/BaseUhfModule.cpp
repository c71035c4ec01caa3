#include "orvanerfid/uhfmodules/BaseUhfModule.h"

#include <string>

#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/uhfmodules/ModuleChecks.h"

namespace orvane {

BaseUhfModule::BaseUhfModule(std::shared_ptr<BaseProtocol> protocol, std::string className)
    : className_(std::move(className)), baseProtocol_(std::move(protocol)) {}

std::shared_ptr<UhfDelegate> BaseUhfModule::delegate() const {
    std::lock_guard guard(delegateLock_);
    return delegate_.lock();
}

void BaseUhfModule::setDelegate(std::weak_ptr<UhfDelegate> delegate) {
    std::lock_guard guard(delegateLock_);
    delegate_ = std::move(delegate);
}

// ---- Select-mask list ------------------------------------------------------------------------

void BaseUhfModule::checkSelectMaskIndex(std::size_t index) const {
    if (selectMaskMaxSize_ < 0 || index > static_cast<std::size_t>(selectMaskMaxSize_)) {
        throw ReaderException(ResultCode::outOfRange, "");
    }
}

const SelectMaskParam& BaseUhfModule::selectMaskEntry(std::size_t index) const {
    checkSelectMaskIndex(index);
    const auto found = selectMaskList_.find(index);
    if (found == selectMaskList_.end()) throw ReaderException(ResultCode::notFoundParameter, "");
    return found->second;
}

template <typename Apply>
ResultCode BaseUhfModule::updateSelectMask(std::size_t index, Apply&& apply) {
    std::optional<SelectMaskParam> earlier;
    {
        std::lock_guard guard(selectMaskLock_);
        checkSelectMaskIndex(index);
        const auto found = selectMaskList_.find(index);
        if (found != selectMaskList_.end()) earlier = found->second;
        // The entry is checked whole before it is stored: a value the module cannot carry never
        // reaches the list, where it would fail every later send.
        SelectMaskParam entry = earlier.value_or(SelectMaskParam());
        apply(entry);
        checkSelectMaskEntry(entry);
        selectMaskList_[index] = std::move(entry);
    }
    // Sent outside the lock: the exchanges take seconds at worst.
    const ResultCode code = setSelectMask();
    if (code != ResultCode::noError) {
        // The module did not take the list: the entry goes back to what it was.
        std::lock_guard guard(selectMaskLock_);
        if (earlier) {
            selectMaskList_[index] = std::move(*earlier);
        } else {
            selectMaskList_.erase(index);
        }
    }
    return code;
}

void BaseUhfModule::checkSelectMaskEntry(const SelectMaskParam& entry) const {
    module::requireCase(entry.target(), "mask target");
    module::requireCase(entry.action(), "mask action");
    module::requireCase(entry.bank(), "mask bank");
    const MaskPattern pattern = entry.maskPattern();
    const std::optional<Bytes> bytes = hexTextToData(pattern.pattern());
    if (!bytes) {
        throw ReaderException(ResultCode::invalidParameter, "The mask pattern is not hex text.");
    }
    const std::string length = "The mask length " + std::to_string(pattern.length());
    module::requireRange(pattern.length() <= kMaxMaskBits, length + " is above 255 bits.");
    module::requireRange(pattern.length() <= 8 * bytes->size(),
                         length + " does not fit the pattern.");
}

void BaseUhfModule::checkWriteMemory(unsigned, std::size_t) const {}

#define ORV_SELECT_MASK_FIELD_(Type, getName, setName, getter, setter)                        \
    Type BaseUhfModule::getName(std::size_t index) const {                                    \
        std::lock_guard guard(selectMaskLock_);                                               \
        return selectMaskEntry(index).getter();                                               \
    }                                                                                         \
    ResultCode BaseUhfModule::setName(std::size_t index, Type value) {                        \
        return updateSelectMask(index, [&](SelectMaskParam& entry) { entry.setter(value); }); \
    }

ORV_SELECT_MASK_FIELD_(bool, getSelectMaskEnabled, setSelectMaskEnabled, isUsed, setIsUsed)
ORV_SELECT_MASK_FIELD_(MaskTarget, getSelectMaskTarget, setSelectMaskTarget, target, setTarget)
ORV_SELECT_MASK_FIELD_(MaskAction, getSelectMaskAction, setSelectMaskAction, action, setAction)
ORV_SELECT_MASK_FIELD_(BankType, getSelectMaskBank, setSelectMaskBank, bank, setBank)
ORV_SELECT_MASK_FIELD_(uint64_t, getSelectMaskOffset, setSelectMaskOffset, offset, setOffset)
#undef ORV_SELECT_MASK_FIELD_

MaskPattern BaseUhfModule::getSelectMaskPattern(std::size_t index) const {
    std::lock_guard guard(selectMaskLock_);
    return selectMaskEntry(index).maskPattern();
}

ResultCode BaseUhfModule::setSelectMaskPattern(std::size_t index, const MaskPattern& maskPattern) {
    return updateSelectMask(index,
                            [&](SelectMaskParam& entry) { entry.setMaskPattern(maskPattern); });
}

SelectMaskParam BaseUhfModule::getSelectMaskEntry(std::size_t index) const {
    std::lock_guard guard(selectMaskLock_);
    return selectMaskEntry(index);
}

ResultCode BaseUhfModule::setSelectMaskEntry(std::size_t index, const SelectMaskParam& param) {
    return updateSelectMask(index, [&](SelectMaskParam& entry) { entry = param; });
}

void BaseUhfModule::storeSelectMaskPattern(std::size_t index, const MaskPattern& maskPattern) {
    std::lock_guard guard(selectMaskLock_);
    const auto found = selectMaskList_.find(index);
    if (found != selectMaskList_.end()) found->second.setMaskPattern(maskPattern);
}

std::map<std::size_t, SelectMaskParam> BaseUhfModule::selectMaskList() const {
    std::lock_guard guard(selectMaskLock_);
    return selectMaskList_;
}

// ---- Events ----------------------------------------------------------------------------------

void BaseUhfModule::notifyInventoryStopped() {
    if (const auto device = baseProtocol_->delegate()) {
        device->protocolEvent(ProtocolEventArgs(ProtocolEventId::actionChanged, ActionState::stop));
    }
}

void BaseUhfModule::pumpEvent(ProtocolEventId id, const ProtocolEventValue& data) {
    constexpr std::string_view kName = "pumpEvent(_:_:)";
    const auto wrongKind = [&] {
        logError(std::string(kName) + " - Missing or unexpected value (" +
                 std::string(caseName(id)) + ")");
    };
    switch (id) {
        case ProtocolEventId::tagInfo: {
            const auto* info = std::get_if<TagInfoPtr>(&data);
            if (!info || !*info) return wrongKind();
            if (const auto target = delegate()) target->readTag(nullptr, *info);
            return;
        }
        case ProtocolEventId::accessResult: {
            const auto* result = std::get_if<AccessResultEventArgs>(&data);
            if (!result) return wrongKind();
            if (const auto target = delegate()) target->accessResult(nullptr, *result);
            return;
        }
        case ProtocolEventId::receivedInventoryData:
            if (!continuousMode()) notifyInventoryStopped();
            return;
        case ProtocolEventId::firmwareVersion: {
            const auto* text = std::get_if<std::string>(&data);
            if (!text) return wrongKind();
            const uint32_t number = Utilities::versionToUInt32(*text);
            firmwareVersion_.store(number);
            orvLogger::trace(className_,
                             "Firmware Version - " + *text + ", " + std::to_string(number));
            return;
        }
        default:
            logError(std::string(kName) + " - Not supported (" + std::string(caseName(id)) + ")");
            return;
    }
}

// ---- The base's answers ----------------------------------------------------------------------

std::vector<GlobalBandType> BaseUhfModule::supportedGlobalBandList() {
    return {};
}

void BaseUhfModule::changeSelectEPC(unsigned, const std::string&) {}

namespace {

void answerNotSupported(const ResultCompletion& completion) {
    completion(ResultCode::notSupported);
}

template <typename T>
void answerNotSupported(const ValueCompletion<T>& completion) {
    completion(ResultCode::notSupported, std::nullopt);
}

}  // namespace

// The rows' parameters are named for the drivers that override them; the base reads none.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define ORV_UHF_DEFINE_SYNC_(name, params)  \
    ResultCode BaseUhfModule::name params { \
        return ResultCode::notSupported;    \
    }
#define ORV_UHF_DEFINE_ASYNC_(name, params)                                       \
    void BaseUhfModule::name params {                                             \
        if (acceptsCompletion(#name, completion)) answerNotSupported(completion); \
    }
ORV_UHF_MODULE_OPERATIONS(ORV_UHF_DEFINE_SYNC_, ORV_UHF_DEFINE_ASYNC_)
#undef ORV_UHF_DEFINE_SYNC_
#undef ORV_UHF_DEFINE_ASYNC_
#pragma GCC diagnostic pop

// ---- Exchange helpers ------------------------------------------------------------------------

ResultCode BaseUhfModule::failed(std::string_view name, ResultCode code,
                                 std::string_view what) const noexcept {
    try {
        std::string text(name);
        text += " - ";
        text += what;
        logError(text);
    } catch (...) {
        // Logging is best effort; the code still reaches the caller.
    }
    return code;
}

}  // namespace orvane
