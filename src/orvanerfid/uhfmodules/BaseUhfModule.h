#pragma once

// The radio-module driver interface: what the UHF object asks of the module behind it, whichever
// module the reader carries. Internal to the library.
//
// A driver reaches the reader through its protocol object only: `send` (one request, or several
// collecting their replies together), `pumpEvent` (hints for the receive loop, such as the memory
// bank of the next tag access) and the protocol's delegate, the device object, to which it posts
// the end of an inventory. Each reply passes the link layer's `checkResponse`; the driver holds
// no device and no reader.
//
// Threads: the UHF object runs one operation of the table at a time on a background thread,
// holding its module lock, and calls the select-mask list operations synchronously on that
// thread too. `pumpEvent` runs on the protocol's receive thread (tag reports, access
// results, end of inventory data) or on the reader's initialisation queue (firmware version),
// concurrently with an operation. So the fields that the pump and the operations share are
// atomics, the delegate sits behind `delegateLock_`, and the select-mask list behind
// `selectMaskLock_`, which is never held while the list is sent to the module. Completions run
// on the thread that runs the operation, never under a lock of the driver.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/LockParam.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/SettingValues.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/CheckResponse.h"
#include "orvanerfid/params/RfidConfig.h"
#include "orvanerfid/params/SelectMaskParam.h"
#include "orvanerfid/uhfmodules/UhfCompletions.h"
#include "orvanerfid/uhfmodules/UhfDelegate.h"

namespace orvane {

// A failure a driver words itself: its ERROR line is the operation's signature, " - " and the
// message as it stands (not the error's description); an empty message logs nothing (the
// failure was logged where it happened). Thrown inside `guarded` and the completion helpers.
class ModuleRefusal : public ReaderException {
  public:
    using ReaderException::ReaderException;
};

// The overridable operations of a driver, declared once. SYNC rows return a ResultCode at once
// (a tag operation's data arrive later as events); ASYNC rows end with `completion`, which runs
// exactly once. In the base every row answers 0x4001 "Not Supported" with nothing sent and
// nothing logged; a driver overrides the rows its module has.
//
//   SYNC(name, (parameters))      ASYNC(name, (parameters..., completion))
#define ORV_UHF_MODULE_OPERATIONS(SYNC, ASYNC)                                                     \
    SYNC(setSelectMask, ())                                                                        \
    SYNC(clearSelectMask, ())                                                                      \
    SYNC(inventory, ())                                                                            \
    ASYNC(readMemory, (BankType bank, uint16_t offset, uint8_t length,                             \
                       const std::string& password, ValueCompletion<Bytes> completion))            \
    SYNC(readMemory,                                                                               \
         (BankType bank, uint16_t offset, uint8_t length, const std::string& password))            \
    SYNC(writeMemory,                                                                              \
         (BankType bank, unsigned offset, const std::string& data, const std::string& password))   \
    SYNC(lockTag, (const LockParam& lockParam, const std::string& password))                       \
    SYNC(permaLockTag, (const PermaLockParam& permaLockParam, const std::string& password))        \
    SYNC(killTag, (const std::string& password))                                                   \
    SYNC(stop, ())                                                                                 \
    ASYNC(version, (ValueCompletion<std::string> completion))                                      \
    ASYNC(getPower, (ValueCompletion<int> completion))                                             \
    ASYNC(setPower, (int power, ResultCompletion completion))                                      \
    ASYNC(getContinuousMode, (ValueCompletion<bool> completion))                                   \
    ASYNC(setContinuousMode, (bool continuousMode, ResultCompletion completion))                   \
    ASYNC(supportedGlobalBand, (ValueCompletion<std::vector<GlobalBandType>> completion))          \
    ASYNC(getGlobalBand, (ValueCompletion<GlobalBandType> completion))                             \
    ASYNC(setGlobalBand, (GlobalBandType band, ResultCompletion completion))                       \
    ASYNC(getInventoryTime, (ValueCompletion<unsigned> completion))                                \
    ASYNC(setInventoryTime, (unsigned inventoryTime, ResultCompletion completion))                 \
    ASYNC(getIdleTime, (ValueCompletion<unsigned> completion))                                     \
    ASYNC(setIdleTime, (unsigned idleTime, ResultCompletion completion))                           \
    ASYNC(getAlgorithmType, (ValueCompletion<AlgorithmType> completion))                           \
    ASYNC(setAlgorithmType, (AlgorithmType algorithmType, ResultCompletion completion))            \
    ASYNC(getStartQ, (ValueCompletion<int> completion))                                            \
    ASYNC(setStartQ, (int startQ, ResultCompletion completion))                                    \
    ASYNC(getMaxQ, (ValueCompletion<int> completion))                                              \
    ASYNC(setMaxQ, (int maxQ, ResultCompletion completion))                                        \
    ASYNC(getMinQ, (ValueCompletion<int> completion))                                              \
    ASYNC(setMinQ, (int minQ, ResultCompletion completion))                                        \
    ASYNC(getTarget, (ValueCompletion<Target> completion))                                         \
    ASYNC(setTarget, (Target target, ResultCompletion completion))                                 \
    ASYNC(getSession, (ValueCompletion<Session> completion))                                       \
    ASYNC(setSession, (Session session, ResultCompletion completion))                              \
    ASYNC(getSelectMode, (ValueCompletion<SelectMode> completion))                                 \
    ASYNC(setSelectMode, (SelectMode selectMode, ResultCompletion completion))                     \
    ASYNC(getEncoding, (ValueCompletion<Encoding> completion))                                     \
    ASYNC(setEncoding, (Encoding encoding, ResultCompletion completion))                           \
    ASYNC(getTari, (ValueCompletion<TariType> completion))                                         \
    ASYNC(setTari, (TariType tari, ResultCompletion completion))                                   \
    ASYNC(getBlf, (ValueCompletion<BlfType> completion))                                           \
    ASYNC(setBlf, (BlfType blf, ResultCompletion completion))                                      \
    ASYNC(getToggleTarget, (ValueCompletion<bool> completion))                                     \
    ASYNC(setToggleTarget, (bool toggleTarget, ResultCompletion completion))                       \
    ASYNC(getFastMode, (ValueCompletion<bool> completion))                                         \
    ASYNC(setFastMode, (bool fastMode, ResultCompletion completion))                               \
    ASYNC(getRfidConfig, (ValueCompletion<RfidConfig> completion))                                 \
    ASYNC(setRfidConfig, (const RfidConfig& rfidConfig, ResultCompletion completion))              \
    SYNC(inventoryWithUserSpecifiedDataOperation,                                                  \
         (BankType bank, uint16_t offset, uint8_t length, const std::string& password))            \
    SYNC(blockWriteMemory,                                                                         \
         (BankType bank, uint16_t offset, const std::string& data, const std::string& password))   \
    ASYNC(getDwellTime, (ValueCompletion<uint16_t> completion))                                    \
    ASYNC(setDwellTime, (uint16_t dwellTime, ResultCompletion completion))                         \
    ASYNC(getRfMode, (ValueCompletion<RfMode> completion))                                         \
    ASYNC(setRfMode, (RfMode rfMode, ResultCompletion completion))                                 \
    ASYNC(getLbt, (ValueCompletion<bool> completion))                                              \
    ASYNC(setLbt, (bool enable, ResultCompletion completion))                                      \
    ASYNC(getFastId, (ValueCompletion<bool> completion))                                           \
    ASYNC(setFastId, (bool enable, ResultCompletion completion))                                   \
    ASYNC(getTagFocus, (ValueCompletion<bool> completion))                                         \
    ASYNC(setTagFocus, (bool enable, ResultCompletion completion))                                 \
    ASYNC(getFixedFrequency, (ValueCompletion<std::vector<uint32_t>> completion))                  \
    ASYNC(setFixedFrequency,                                                                       \
          (const std::vector<uint32_t>& fixedFrequency, ResultCompletion completion))              \
    ASYNC(getPhaseData, (ValueCompletion<bool> completion))                                        \
    ASYNC(setPhaseData, (bool enable, ResultCompletion completion))                                \
    ASYNC(getPowerSavingMode, (ValueCompletion<PowerSavingMode> completion))                       \
    ASYNC(setPowerSavingMode, (PowerSavingMode powerSavingMode, ResultCompletion completion))      \
    ASYNC(getLbtConfigure, (ValueCompletion<int16_t> completion))                                  \
    ASYNC(setLbtConfigure, (int16_t lbtRssiThreshold, ResultCompletion completion))                \
    ASYNC(getAntennaSwitchingMode, (ValueCompletion<AntennaSwitchingMode> completion))             \
    ASYNC(setAntennaSwitchingMode,                                                                 \
          (AntennaSwitchingMode antennaSwitchingMode, ResultCompletion completion))                \
    ASYNC(getFrequencySwitchingMode, (ValueCompletion<FrequencySwitchingMode> completion))         \
    ASYNC(setFrequencySwitchingMode,                                                               \
          (FrequencySwitchingMode frequencySwitchingMode, ResultCompletion completion))            \
    ASYNC(getCfgStorageMode, (ValueCompletion<CfgStorageMode> completion))                         \
    ASYNC(setCfgStorageMode, (CfgStorageMode cfgStorageMode, ResultCompletion completion))         \
    ASYNC(cwOn,                                                                                    \
          (uint8_t antennaId, uint16_t power, uint32_t frequency, ResultCompletion completion))    \
    ASYNC(cwOff, (ResultCompletion completion))                                                    \
    ASYNC(txRandomData, (uint8_t antennaId, uint16_t power, uint32_t frequency, uint32_t duration, \
                         ResultCompletion completion))                                             \
    ASYNC(blockPermaLock,                                                                          \
          (const std::string& password, ReadLock readLock, BankType bankType, uint16_t offset,     \
           uint8_t length, const std::vector<uint8_t>& mask, ResultCompletion completion))         \
    ASYNC(authenticate, (const std::string& password, AuthenticationResponse sendResponse,         \
                         IncludeReplyLength incRepLen, uint8_t csi, uint16_t msgLen,               \
                         const std::vector<uint8_t>& msg, uint16_t expectedReplyLen,               \
                         ResultCompletion completion))

// The base of the radio-module drivers. It holds what every driver shares (limits, module and
// SKU type, the select-mask list, the delegate, the firmware version and the continuous-mode
// flag), pumps events to the delegate, and answers 0x4001 for every row of the operation table.
// A driver declares `using BaseUhfModule::readMemory;` beside its override of one of the two
// read rows, so that the other stays reachable.
class BaseUhfModule {
  public:
    static constexpr int defaultTimeout = 3000;
    // Hex characters of a Gen2 access password text.
    static constexpr uint8_t passwordLength = 8;
    static constexpr std::string_view defaultPassword = "6B1F0D94";
    // The most bits of a select mask (the length byte of a Select request).
    static constexpr std::size_t kMaxMaskBits = 255;

    BaseUhfModule(const BaseUhfModule&) = delete;
    BaseUhfModule& operator=(const BaseUhfModule&) = delete;
    virtual ~BaseUhfModule() = default;

    // The tag of the driver's log records.
    const std::string& className() const { return className_; }

    // ---- Fields. The limits and the module type are set by the creator before the driver is
    // shared and only read afterwards.

    int selectMaskMaxSize() const { return selectMaskMaxSize_; }
    void setSelectMaskMaxSize(int highestIndex) { selectMaskMaxSize_ = highestIndex; }
    unsigned maxReadLength() const { return maxReadLength_; }
    void setMaxReadLength(unsigned bytes) { maxReadLength_ = bytes; }
    int powerMaxOutput() const { return powerMaxOutput_; }
    void setPowerMaxOutput(int dBm) { powerMaxOutput_ = dBm; }
    int powerMinOutput() const { return powerMinOutput_; }
    void setPowerMinOutput(int dBm) { powerMinOutput_ = dBm; }
    UhfModuleType moduleType() const { return moduleType_; }
    void setModuleType(UhfModuleType type) { moduleType_ = type; }
    int timeout() const { return timeout_; }
    void setTimeout(int milliseconds) { timeout_ = milliseconds; }

    SkuType skuType() const { return skuType_.load(); }
    void setSkuType(SkuType sku) { skuType_.store(sku); }
    // The reader's firmware revision as a number (see `pumpEvent`); 0 until it is known.
    uint32_t firmwareVersion() const { return firmwareVersion_.load(); }
    // Whether an inventory runs until it is stopped; true until the module says otherwise.
    bool continuousMode() const { return continuousMode_.load(); }

    const std::shared_ptr<BaseProtocol>& baseProtocol() const { return baseProtocol_; }
    // The UHF object; held weakly, so that the object and its driver do not keep each other.
    std::shared_ptr<UhfDelegate> delegate() const;
    void setDelegate(std::weak_ptr<UhfDelegate> delegate);

    // ---- The select-mask list: at most one entry per index from 0 to selectMaskMaxSize()
    // inclusive. Every call throws ReaderException 0x4003 (empty message) for an index above that
    // (or any index while it is negative), changing nothing; a getter throws 0x5006 for an index
    // never set. A field setter creates a missing entry with the SelectMaskParam defaults and
    // stores its one field; setSelectMaskEntry stores a whole entry (its truncation included) in
    // one step. A write whose resulting entry checkSelectMaskEntry() refuses throws that refusal
    // and changes nothing. Each write then sends the whole list to the module once with
    // setSelectMask() and gives that send's code; when the send fails, the list is put back as
    // it was before the write. Patterns are copied in and out.

    bool getSelectMaskEnabled(std::size_t index) const;
    MaskTarget getSelectMaskTarget(std::size_t index) const;
    MaskAction getSelectMaskAction(std::size_t index) const;
    BankType getSelectMaskBank(std::size_t index) const;
    uint64_t getSelectMaskOffset(std::size_t index) const;
    MaskPattern getSelectMaskPattern(std::size_t index) const;
    SelectMaskParam getSelectMaskEntry(std::size_t index) const;
    ResultCode setSelectMaskEnabled(std::size_t index, bool enabled);
    ResultCode setSelectMaskTarget(std::size_t index, MaskTarget target);
    ResultCode setSelectMaskAction(std::size_t index, MaskAction action);
    ResultCode setSelectMaskBank(std::size_t index, BankType bank);
    ResultCode setSelectMaskOffset(std::size_t index, uint64_t offset);
    ResultCode setSelectMaskPattern(std::size_t index, const MaskPattern& maskPattern);
    ResultCode setSelectMaskEntry(std::size_t index, const SelectMaskParam& param);

    // A copy of the list, in ascending index order (the order in which drivers send it).
    std::map<std::size_t, SelectMaskParam> selectMaskList() const;

    // ---- Checks of a caller's values against what the module's requests carry, made before
    // anything is stored or sent. Each throws ReaderException with the code (0x4003 for a number
    // or a case the request cannot carry, 0x5002 for a pattern it cannot carry) and the reason,
    // worded for an ERROR line; it returns when the module takes the values. The driver applies
    // the same checks to what it sends.

    // A select-mask entry: its target, action and bank are cases of their enumerations, its
    // pattern is hex text of whole bytes, and its length in bits is at most 255 and at most what
    // the pattern holds; a driver adds the limits of its module.
    virtual void checkSelectMaskEntry(const SelectMaskParam& entry) const;
    // A write of `words` words from word `offset`; the base takes any.
    virtual void checkWriteMemory(unsigned offset, std::size_t words) const;

    // ---- Events.

    // Posts actionChanged Stop to the protocol's delegate (the device), synchronously on the
    // calling thread; nothing when the protocol has no delegate.
    void notifyInventoryStopped();

    // An event the reader hands on: a tag report (tagInfo) or an access result (accessResult)
    // goes to the delegate with no reader (dropped without one); receivedInventoryData posts the
    // end of the inventory when continuous mode is off; firmwareVersion (the version text) sets
    // firmwareVersion(). Any other id, or a value of the wrong kind, is logged at ERROR and
    // dropped.
    virtual void pumpEvent(ProtocolEventId id, const ProtocolEventValue& data = NoEventValue{});

    // ---- Operations that are not rows of the ResultCode table.

    // The bands the module's SKU allows, in the module's order; empty in the base.
    virtual std::vector<GlobalBandType> supportedGlobalBandList();
    // Rewrites the select-mask patterns after an EPC write (word offset, data as hex text); only
    // a driver that needs it does anything.
    virtual void changeSelectEPC(unsigned offset, const std::string& data);

#define ORV_UHF_DECLARE_SYNC_(name, params) virtual ResultCode name params;
#define ORV_UHF_DECLARE_ASYNC_(name, params) virtual void name params;
    ORV_UHF_MODULE_OPERATIONS(ORV_UHF_DECLARE_SYNC_, ORV_UHF_DECLARE_ASYNC_)
#undef ORV_UHF_DECLARE_SYNC_
#undef ORV_UHF_DECLARE_ASYNC_

  protected:
    BaseUhfModule(std::shared_ptr<BaseProtocol> protocol, std::string className);

    // Replaces the pattern of the entry at `index`, if there is one, without sending the list (a
    // driver that rewrites its masks after a tag write sends them itself).
    void storeSelectMaskPattern(std::size_t index, const MaskPattern& maskPattern);

    void storeContinuousMode(bool continuous) {
        continuousMode_.store(continuous);
    }

    // The reply bytes of a send's response, as every exchange checks them: 0x5000 without
    // data, the send's code for a failed send (logged at ERROR without a tag).
    static Bytes checkResponse(std::string_view prefix, const Response& response) {
        return orvane::checkResponse(prefix, response);
    }

    // Runs `body` (returning a ResultCode) and gives its result; what it throws is logged at
    // ERROR as "<name> - <description>" (a ModuleRefusal: "<name> - <message>") and gives the
    // error's code, or 0x0001 for an error that carries none. Nothing escapes.
    template <typename Body>
    ResultCode guarded(std::string_view name, Body&& body) noexcept;
    // Completes with what `body` returns and 0x0000, or with guarded()'s code and no value.
    template <typename T, typename Body>
    void completeValue(std::string_view name, const ValueCompletion<T>& completion, Body&& body);
    // Completes with guarded()'s result of `body`.
    template <typename Body>
    void completeResult(std::string_view name, const ResultCompletion& completion, Body&& body);
    // Both helpers, and every row of the base, first refuse an empty completion: nothing runs,
    // nothing is sent, and the refusal is logged at ERROR as "<name> - The completion is
    // empty." (0x5002); this gives that check.
    template <typename Completion>
    bool acceptsCompletion(std::string_view name, const Completion& completion) const noexcept {
        if (completion) return true;
        (void)failed(name, ResultCode::invalidParameter, "The completion is empty.");
        return false;
    }

    void logError(std::string_view text) const {
        orvLogger::error(className_, text);
    }

  private:
    template <typename Apply>
    ResultCode updateSelectMask(std::size_t index, Apply&& apply);
    const SelectMaskParam& selectMaskEntry(std::size_t index) const;  // under selectMaskLock_
    void checkSelectMaskIndex(std::size_t index) const;
    ResultCode failed(std::string_view name, ResultCode code, std::string_view what) const noexcept;

    const std::string className_;
    const std::shared_ptr<BaseProtocol> baseProtocol_;

    int selectMaskMaxSize_ = 2;
    unsigned maxReadLength_ = 128;
    int powerMaxOutput_ = 27;
    int powerMinOutput_ = 11;
    UhfModuleType moduleType_ = UhfModuleType::unknown;
    int timeout_ = defaultTimeout;

    std::atomic<SkuType> skuType_{SkuType::unknown};
    std::atomic<uint32_t> firmwareVersion_{0};
    std::atomic<bool> continuousMode_{true};

    mutable std::mutex delegateLock_;
    std::weak_ptr<UhfDelegate> delegate_;

    mutable std::mutex selectMaskLock_;
    std::map<std::size_t, SelectMaskParam> selectMaskList_;
};

// ---- Template members ------------------------------------------------------------------------

template <typename Body>
ResultCode BaseUhfModule::guarded(std::string_view name, Body&& body) noexcept {
    try {
        return body();
    } catch (const ModuleRefusal& e) {
        return e.message().empty() ? e.resultCode() : failed(name, e.resultCode(), e.message());
    } catch (const CodedError& e) {
        return failed(name, e.resultCode(), e.description());
    } catch (const std::exception& e) {
        return failed(name, ResultCode::otherError, e.what());
    } catch (...) {
        return failed(name, ResultCode::otherError, "unknown error");
    }
}

template <typename T, typename Body>
void BaseUhfModule::completeValue(std::string_view name, const ValueCompletion<T>& completion,
                                  Body&& body) {
    if (!acceptsCompletion(name, completion)) return;
    std::optional<T> value;
    const ResultCode code = guarded(name, [&] {
        value.emplace(body());
        return ResultCode::noError;
    });
    if (code != ResultCode::noError) value.reset();
    completion(code, std::move(value));
}

template <typename Body>
void BaseUhfModule::completeResult(std::string_view name, const ResultCompletion& completion,
                                   Body&& body) {
    if (!acceptsCompletion(name, completion)) return;
    completion(guarded(name, std::forward<Body>(body)));
}

}  // namespace orvane
