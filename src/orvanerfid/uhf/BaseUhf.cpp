#include "orvanerfid/uhf/BaseUhf.h"

#include <algorithm>
#include <cctype>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/uhf/UhfPipeline.h"

namespace orvane {

UhfModuleType BaseUhf::uhfModuleType() const {
    return uhfModule_ ? uhfModule_->moduleType() : UhfModuleType::unknown;
}

namespace {

bool isHexText(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The base's answer for an operation it does not serve: 0x4001 and no value.
[[maybe_unused]] void answerNotSupported(const UhfResultCompletion& completion) {
    uhf_detail::callSafely("BaseUhf", completion, ResultCode::notSupported);
}
template <typename T>
[[maybe_unused]] void answerNotSupported(const UhfValueCompletion<T>& completion) {
    uhf_detail::callSafely("BaseUhf", completion, ResultCode::notSupported, std::nullopt);
}
template <typename T>
[[maybe_unused]] void answerNotSupported(const UhfOcCompletion<T>& completion) {
    uhf_detail::callSafely("BaseUhf", completion, ResultCode::notSupported, T{});
}

}  // namespace

BaseUhf::BaseUhf(std::weak_ptr<ReaderLink> reader, std::shared_ptr<BaseDevice> device,
                 std::shared_ptr<BaseProtocol> protocol, std::string className)
    : reader_(std::move(reader)),
      baseDevice_(std::move(device)),
      baseProtocol_(std::move(protocol)),
      className_(std::move(className)),
      lockModule_(std::make_shared<ModuleLock>()),
      afterStopQueue_(DispatchQueue::make("com.orvane.uhfAfterStop", DispatchQoS::userInitiated,
                                          DispatchQueueAttributes::serial)) {}

BaseUhf::~BaseUhf() = default;

// ---- Queries ---------------------------------------------------------------------------------

bool BaseUhf::isSupport(UhfParamId id) const {
    return std::find(supportedIds_.begin(), supportedIds_.end(), id) != supportedIds_.end();
}

BaseUhf::Check BaseUhf::checkModule(bool action) const {
    if (!uhfModule_) return {ResultCode::invalidModuleObject, {"uhfModule is nil"}};
    if (uhfModule_->moduleType() == UhfModuleType::unknown) {
        return {ResultCode::invalidModuleObject, {"uhfModuleType is unknown"}};
    }
    if (!action) return {ResultCode::noError, {}};
    const auto owner = reader();
    if (!owner) return {ResultCode::otherError, {"Device is nil"}};
    const ActionState state = owner->linkActionState();
    if (state != ActionState::stop) {
        return {ResultCode::inOperation,
                {"actionState is not Stop(" + std::string(description(state)) + ")"}};
    }
    return {ResultCode::noError, {}};
}

ResultCode BaseUhf::assertModule() const {
    const Check check = checkModule(false);
    for (const auto& line : check.lines)
        orvLogger::error(line);
    return check.code;
}

ResultCode BaseUhf::assertAction() const {
    const Check check = checkModule(true);
    for (const auto& line : check.lines)
        orvLogger::error(line);
    return check.code;
}

// ---- Events ----------------------------------------------------------------------------------

void BaseUhf::readTag(std::shared_ptr<UhfReader>, std::shared_ptr<TagInfo> tagInfo) {
    const auto target = delegate();
    if (!target) return;
    std::shared_ptr<UhfReader> uhfReader;
    if (const auto owner = reader()) uhfReader = owner->linkUhfReader();
    try {
        target->readTag(std::move(uhfReader), std::move(tagInfo));
    } catch (...) {
        logError("readTag(uhfReader:tagInfo:) - The delegate threw");
    }
}

void BaseUhf::accessResult(std::shared_ptr<UhfReader>,
                           const AccessResultEventArgs& accessResultEventArgs) {
    const auto target = delegate();
    if (!target) return;
    std::shared_ptr<UhfReader> uhfReader;
    if (const auto owner = reader()) uhfReader = owner->linkUhfReader();
    try {
        target->accessResult(std::move(uhfReader), accessResultEventArgs);
    } catch (...) {
        logError("accessResult(uhfReader:accessResultEventArgs:) - The delegate threw");
    }
}

void BaseUhf::post(const ProtocolEventArgs& event) const {
    const auto device = baseProtocol_ ? baseProtocol_->delegate() : nullptr;
    if (!device) return;
    try {
        device->protocolEvent(event);
    } catch (...) {
        logError("An event receiver threw");
    }
}

void BaseUhf::postActionState(ActionState state) const {
    post(ProtocolEventArgs(ProtocolEventId::actionChanged, state));
}

void BaseUhf::postAccessResult(const AccessResultEventArgs& result) const {
    post(ProtocolEventArgs(ProtocolEventId::accessResult, result));
}

// ---- Failure count ---------------------------------------------------------------------------

bool BaseUhf::isLinkFailure(ResultCode code, bool wrote) {
    if (wrote) return true;
    switch (code) {
        case ResultCode::invalidModuleObject:
        case ResultCode::notSupported:
        case ResultCode::inOperation:
        case ResultCode::outOfRange:
        case ResultCode::invalidParameter:
        case ResultCode::notFoundParameter:
        case ResultCode::invalidPassword:
            return false;
        default:
            return code != ResultCode::noError;
    }
}

bool BaseUhf::countFailure() const {
    const auto owner = reader();
    if (!owner) return false;
    const int count = owner->addFailure();
    owner->markAlive();
    return count >= 4;
}

void BaseUhf::countSuccess() const {
    if (const auto owner = reader()) {
        owner->resetFailures();
        owner->markAlive();
    }
}

void BaseUhf::disconnectTransport(uint64_t link) const {
    if (const auto owner = reader()) owner->closeConnection(link);
}

uint64_t BaseUhf::currentLink() const {
    const auto owner = reader();
    const auto transport = owner ? owner->linkTransport() : nullptr;
    return transport ? transport->linkNumber() : 0;
}

// ---- The end of a stopped inventory -----------------------------------------------------------

namespace {
// How often a call waiting for a stopped inventory's end looks at the reader's action state.
constexpr auto kStopEndPoll = std::chrono::milliseconds(2);
}  // namespace

void BaseUhf::noteStopAnswered() {
    const auto owner = reader();
    if (!owner || owner->linkActionState() == ActionState::stop || !uhfModule_) return;
    const auto due = Clock::now() + std::chrono::milliseconds(uhfModule_->timeout());
    stopEndDue_.store(due.time_since_epoch().count());
}

bool BaseUhf::stoppedInventoryPending() const {
    const int64_t due = stopEndDue_.load();
    if (due == 0) return false;
    const auto owner = reader();
    return owner && owner->linkActionState() != ActionState::stop &&
           Clock::now() < Clock::time_point{Clock::duration(due)};
}

void BaseUhf::awaitStoppedInventory(std::string_view signature) {
    const int64_t due = stopEndDue_.load();
    if (due == 0) return;
    const auto owner = reader();
    const auto ended = [&] { return !owner || owner->linkActionState() == ActionState::stop; };
    const Clock::time_point until{Clock::duration(due)};
    if (!ended() && Clock::now() < until) {
        logInfo(std::string(signature) + " - Waiting for the end of the stopped inventory");
        while (!ended() && Clock::now() < until)
            Clock::sleepFor(kStopEndPoll);
    }
    // Ended, or given up: the action-state check decides from here. The call that gives up says
    // so, once per stop: the operations after it are refused until the reader reports the end.
    int64_t expected = due;
    if (stopEndDue_.compare_exchange_strong(expected, 0) && !ended()) {
        orvLogger::warn(className_,
                        "The reader did not report the end of the stopped inventory "
                        "within " +
                            std::to_string(uhfModule_ ? uhfModule_->timeout() : 0) +
                            " ms of the stop's answer; operations are refused until "
                            "it does");
    }
}

void BaseUhf::logError(std::string_view text) const {
    orvLogger::error(className_, text);
}

void BaseUhf::logInfo(std::string_view text) const {
    orvLogger::info(className_, text);
}

// ---- Argument checks -------------------------------------------------------------------------

std::optional<BaseUhf::Refusal> BaseUhf::checkPassword(std::string_view signature,
                                                       std::string_view password,
                                                       bool refuseDefault) {
    const bool wellFormed = password.size() == BaseUhfModule::passwordLength && isHexText(password);
    if (wellFormed &&
        !(refuseDefault && equalsIgnoringCase(password, BaseUhfModule::defaultPassword))) {
        return std::nullopt;
    }
    return Refusal{ResultCode::invalidPassword, std::string(signature) + " - Invalid password(" +
                                                    std::string(kMaskedPassword) + ")"};
}

std::optional<BaseUhf::Refusal> BaseUhf::checkWriteData(std::string_view signature,
                                                        std::string_view data) {
    const std::string sig(signature);
    if (data.empty()) return Refusal{ResultCode::invalidParameter, sig + " - Invalid data()"};
    if (data.size() % 4 != 0) {
        return Refusal{ResultCode::invalidParameter,
                       sig + " - Invalid data length(" + std::to_string(data.size()) + ")"};
    }
    if (!isHexText(data)) {
        return Refusal{ResultCode::invalidParameter,
                       sig + " - Invalid data (" + std::string(data) + ")"};
    }
    return std::nullopt;
}

std::optional<BaseUhf::Refusal> BaseUhf::checkRead(std::string_view signature, unsigned offset,
                                                   unsigned length) const {
    const unsigned maxWords = uhfModule_ ? uhfModule_->maxReadLength() / 2 : 0;
    if (length > maxWords) {
        return Refusal{ResultCode::invalidParameter,
                       std::string(signature) + " - length is out of range, should be less than " +
                           std::to_string(maxWords)};
    }
    // The driver's offset field has 16 bits: a larger offset is refused, never wrapped.
    if (offset > 0xFFFF) {
        return Refusal{
            ResultCode::invalidParameter,
            std::string(signature) + " - offset is out of range, should be at most 65535"};
    }
    return std::nullopt;
}

namespace {

// A write the driver's request cannot carry (its offset or word count), refused with the driver's
// code before anything is sent.
std::optional<BaseUhf::Refusal> checkWriteRange(const std::shared_ptr<BaseUhfModule>& driver,
                                                std::string_view signature, unsigned offset,
                                                std::size_t words) {
    if (!driver) return std::nullopt;  // found by the module check
    try {
        driver->checkWriteMemory(offset, words);
    } catch (const ReaderException& e) {
        return BaseUhf::Refusal{e.resultCode(), std::string(signature) + " - " + e.message()};
    }
    return std::nullopt;
}

}  // namespace

std::string BaseUhf::bankOffset(BankType bank, unsigned offset) {
    return "bank: " + std::string(description(bank)) + ", offset: " + std::to_string(offset);
}

// ---- Inventory and stop ----------------------------------------------------------------------

void BaseUhf::inventory(UhfResultCompletion completion) {
    Run<NoValue> run;
    run.family = Family::inventory;
    run.signature = "inventory(completion:)";
    run.id = UhfParamId::inventory;
    run.actionState = ActionState::inventory;
    run.call = [](BaseUhfModule& driver, auto done) { done(driver.inventory(), std::nullopt); };
    run.failureText = [](ResultCode) {
        return std::string("inventory(completion:) - Failed to start inventory");
    };
    run.answer = [completion = std::move(completion)](ResultCode code, std::optional<NoValue>) {
        if (completion) completion(code);
    };
    runPipeline(std::move(run));
}

void BaseUhf::inventoryWithUserSpecifiedDataOperation(BankType bank, uint16_t offset,
                                                      uint8_t length, const std::string& password,
                                                      UhfResultCompletion completion) {
    static constexpr std::string_view sig =
        "inventoryWithUserSpecifiedDataOperation(bank:offset:length:password:completion:)";
    Run<NoValue> run;
    run.family = Family::inventory;
    run.signature = sig;
    run.id = UhfParamId::inventoryWithUserSpecifiedData;
    run.actionState = ActionState::inventory;
    run.checks = [password] { return checkPassword(sig, password, false); };
    run.call = [=](BaseUhfModule& driver, auto done) {
        done(driver.inventoryWithUserSpecifiedDataOperation(bank, offset, length, password),
             std::nullopt);
    };
    run.failureText = [](ResultCode) { return std::string(sig) + " - Failed to start inventory"; };
    run.answer = [completion = std::move(completion)](ResultCode code, std::optional<NoValue>) {
        if (completion) completion(code);
    };
    runPipeline(std::move(run));
}

void BaseUhf::stop(UhfResultCompletion completion) {
    Run<NoValue> run;
    run.family = Family::stop;
    run.signature = "stop(completion:)";
    run.id = UhfParamId::stop;
    run.call = [](BaseUhfModule& driver, auto done) { done(driver.stop(), std::nullopt); };
    run.failureText = [](ResultCode) {
        return std::string("stop(completion:) - Failed to stop action");
    };
    run.answer = [completion = std::move(completion)](ResultCode code, std::optional<NoValue>) {
        if (completion) completion(code);
    };
    runPipeline(std::move(run));
}

// ---- Tag memory access -----------------------------------------------------------------------

BaseUhf::Run<Bytes> BaseUhf::readRun(BankType bank, unsigned offset, unsigned length,
                                     const std::string& password) const {
    static constexpr std::string_view sig = "readMemory(bank:offset:length:password:)";
    const std::string arguments = bankOffset(bank, offset) + ", length: " + std::to_string(length) +
                                  ", password: " + std::string(kMaskedPassword) + ")";
    Run<Bytes> run;
    run.family = Family::tagAccess;
    run.signature = sig;
    run.id = UhfParamId::readMemory;
    // The module check under the lock has found the driver already.
    run.driverCheck = false;
    run.actionState = ActionState::readMemory;
    run.checks = [this, password, offset, length] {
        if (auto refusal = checkPassword(sig, password, false)) return refusal;
        return checkRead(sig, offset, length);
    };
    run.call = [=](BaseUhfModule& driver, auto done) {
        done(driver.readMemory(bank, static_cast<uint16_t>(offset), static_cast<uint8_t>(length),
                               password),
             std::nullopt);
    };
    run.failureText = [arguments](ResultCode) {
        return std::string(sig) + " - Failed to start read memory (" + arguments;
    };
    run.accessResult = failedStartResult(ActionState::readMemory, bank);
    run.startedText = std::string(sig) + " - (" + arguments;
    return run;
}

BaseUhf::Run<Bytes> BaseUhf::writeRun(std::string_view signature, UhfParamId id, BankType bank,
                                      unsigned offset, const std::string& data,
                                      const std::string& password) const {
    // The Reserved bank holds the kill and access passwords: its data is never logged.
    const std::string shownData = bank == BankType::reserved ? std::string(kMaskedPassword) : data;
    const std::string arguments = bankOffset(bank, offset) + ", data: " + shownData +
                                  ", password: " + std::string(kMaskedPassword) + ")";
    Run<Bytes> run;
    run.family = Family::tagAccess;
    run.signature = signature;
    run.id = id;
    run.actionState = ActionState::writeMemory;
    run.checks = [this, signature, password, data, offset] {
        if (auto refusal = checkPassword(signature, password, false)) return refusal;
        if (auto refusal = checkWriteData(signature, data)) return refusal;
        return checkWriteRange(uhfModule_, signature, offset, data.size() / 4);
    };
    const std::string what = id == UhfParamId::blockWriteMemory
                                 ? " - Failed to block write memory ["
                                 : " - Failed to write memory [";
    run.failureText = [signature, what, arguments](ResultCode code) {
        return std::string(signature) + what + std::string(description(code)) + "] (" + arguments;
    };
    run.startedText = std::string(signature) + " - (" + arguments;
    return run;
}

BaseUhf::Run<Bytes> BaseUhf::lockRun(std::string_view signature, UhfParamId id, ActionState state,
                                     std::string_view what, std::string_view argumentName,
                                     std::string_view argument, const std::string& password) const {
    const std::string arguments = std::string(argumentName) + std::string(argument) +
                                  ", password: " + std::string(kMaskedPassword) + ")";
    Run<Bytes> run;
    run.family = Family::tagAccess;
    run.signature = signature;
    run.id = id;
    run.actionState = state;
    run.checks = [signature, password] { return checkPassword(signature, password, true); };
    run.failureText = [signature, what = std::string(what), arguments](ResultCode) {
        return std::string(signature) + " - Failed to start " + what + " (" + arguments;
    };
    run.accessResult = failedStartResult(state, std::nullopt);
    run.startedText =
        argumentName.empty() ? std::string() : std::string(signature) + " - (" + arguments;
    return run;
}

std::function<std::optional<AccessResultEventArgs>(ResultCode, const std::optional<Bytes>&)>
BaseUhf::failedStartResult(ActionState state, std::optional<BankType> bank) {
    return [state, bank](ResultCode code,
                         const std::optional<Bytes>&) -> std::optional<AccessResultEventArgs> {
        if (code == ResultCode::noError) return std::nullopt;
        return AccessResultEventArgs({}, {}, state, bank, code);
    };
}

ResultCode BaseUhf::readMemory(BankType bank, unsigned offset, unsigned length,
                               const std::string& password) {
    return runPipeline(readRun(bank, offset, length, password));
}

ResultCode BaseUhf::writeMemory(BankType bank, unsigned offset, const std::string& data,
                                const std::string& password) {
    auto run = writeRun("writeMemory(bank:offset:data:password:)", UhfParamId::writeMemory, bank,
                        offset, data, password);
    run.call = [=](BaseUhfModule& driver, auto done) {
        done(driver.writeMemory(bank, offset, data, password), std::nullopt);
    };
    run.accessResult = failedStartResult(ActionState::writeMemory, bank);
    return runPipeline(std::move(run));
}

ResultCode BaseUhf::blockWriteMemory(BankType bank, uint16_t offset, const std::string& data,
                                     const std::string& password) {
    auto run = writeRun("blockWriteMemory(bank:offset:data:password:)",
                        UhfParamId::blockWriteMemory, bank, offset, data, password);
    run.call = [=](BaseUhfModule& driver, auto done) {
        done(driver.blockWriteMemory(bank, offset, data, password), std::nullopt);
    };
    run.accessResult = [bank](ResultCode code, const std::optional<Bytes>&) {
        return AccessResultEventArgs({}, {}, ActionState::writeMemory, bank, code);
    };
    return runPipeline(std::move(run));
}

ResultCode BaseUhf::lockTag(const LockParam& lockParam, const std::string& password) {
    auto run = lockRun("lockTag(lockParam:password:)", UhfParamId::lockTag, ActionState::lock,
                       "lock", "lock param: ", lockParam.description(), password);
    run.call = [=](BaseUhfModule& driver, auto done) {
        done(driver.lockTag(lockParam, password), std::nullopt);
    };
    return runPipeline(std::move(run));
}

ResultCode BaseUhf::permaLockTag(const PermaLockParam& permaLockParam,
                                 const std::string& password) {
    auto run = lockRun("permaLockTag(permaLockParam:password:)", UhfParamId::permaLockTag,
                       ActionState::permanentLock, "perma lock",
                       "perma lock param: ", permaLockParam.description(), password);
    run.call = [=](BaseUhfModule& driver, auto done) {
        done(driver.permaLockTag(permaLockParam, password), std::nullopt);
    };
    return runPipeline(std::move(run));
}

ResultCode BaseUhf::killTag(const std::string& password) {
    // A started kill writes no INFO record.
    auto run = lockRun("killTag(password:)", UhfParamId::killTag, ActionState::kill, "kill", "", "",
                       password);
    run.failureText = [](ResultCode) {
        return "killTag(password:) - Failed to start kill (password: " +
               std::string(kMaskedPassword) + ")";
    };
    run.call = [=](BaseUhfModule& driver, auto done) {
        done(driver.killTag(password), std::nullopt);
    };
    return runPipeline(std::move(run));
}

// ---- The rows not built yet ------------------------------------------------------------------

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define ORV_UHF_PENDING_built(name, signature, params)
#define ORV_UHF_PENDING_pending(name, signature, params)       \
    void BaseUhf::name params {                                \
        logError(std::string(signature) + " - Not supported"); \
        answerNotSupported(completion);                        \
    }
#define ORV_UHF_DEFINE_CALL_(state, name, id, signature, params) \
    ORV_UHF_PENDING_##state(name, signature, params)
#define ORV_UHF_DEFINE_ACCESS_(state, name, id, signature, params)
ORV_UHF_OPERATIONS(ORV_UHF_DEFINE_ACCESS_, ORV_UHF_DEFINE_CALL_)
#undef ORV_UHF_DEFINE_ACCESS_
#undef ORV_UHF_DEFINE_CALL_
#undef ORV_UHF_PENDING_built
#undef ORV_UHF_PENDING_pending
#pragma GCC diagnostic pop

}  // namespace orvane
