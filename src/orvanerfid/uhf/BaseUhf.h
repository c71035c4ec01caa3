#pragma once

// The UHF object of one connected reader: the object an application drives the radio through.
//
// Every operation runs one pipeline. On the caller's thread: the supported-operation check, the
// module lock, the module and action-state check, the operation's argument checks, the driver
// check, then a hop to the global queue. On a pool thread: the action change, one driver call,
// the release of the lock, the failure count on the reader (four failed exchanges in a row
// disconnect its transport; a success resets the count; a refusal made with nothing sent to the
// reader leaves it as it is), logging and the answer. The object is also the
// driver's delegate: tag reports and access results pass through it to the application's
// UhfDelegate, with the reader as the event's reader.
//
// Threads:
// - An operation's checks run on its caller's thread, which waits there only for the module
//   lock while another operation of the same object holds it. A failure found there is answered
//   on the caller's thread, after the lock was released.
// - The work runs on the global queue; the lock is released there. A UHF call made meanwhile on
//   another thread waits for the release, then runs its own checks; one made on a thread that
//   works under the lock is refused with 0x4002, also after that thread took part in an
//   operation of another UHF object (a thread keeps its mark of each lock). The action change
//   that starts an operation is made before the driver call (the reader must be in the new
//   state before the driver is asked), a tag access's return to Stop before the release; the
//   application hears of both through the reader's event order, never from the thread that
//   works under the lock, so the release never waits for application code. Completions, access
//   results and the transport's disconnect run after the release. A completion is called on the
//   thread that ends the operation (a pool thread, as a rule), not in the reader's event order:
//   it may come before the application hears the start.
// - A call made on the receive thread or the transport's read thread of any reader, this one's
//   or another's of either model (the log sink runs there too), is refused at once with 0x4002,
//   its completion called inside the call, whether the lock is held or not: the operation
//   holding it may wait for a reply only this reader's thread brings, or for a reader whose
//   link thread waits meanwhile for this very call.
// - Records logged on a thread while it works under the lock (the pipeline's, the driver's, the
//   link's) reach the log sink on that same thread once it lets the lock go: the caller's thread
//   after the hop, the work item's after its driver call, the thread that ends the operation
//   after the release. The sink, like every application callback, never runs under the lock.
// - A stop the reader took may leave its inventory's end to a report of its own (the Vk210's
//   inventory-status frame, after the stop's reply; a Vk640 reports Stop before its stop
//   answers, so nothing is left to wait for there): the stop answers at its reply, and the
//   operations after it wait for that end (the reader back in Stop), at most the driver's
//   timeout after the stop's answer, before their action-state check. They wait in the object's
//   after-stop queue (serial), one at a time in the order called, with no lock held (INFO record
//   "<signature> - Waiting for the end of the stopped inventory"): a call answered through a
//   completion returns at once; a tag access (answered by its return code) holds its caller until
//   its turn has come there, and returns the code it got. While any call of the object waits
//   there, every call of the object joins the queue behind it, whatever its family (a stop and a
//   tag access too) and thread (the queue's own: a completion called there, a log sink), so the
//   calls run in the order made and a stop made last leaves the reader in Stop. A run whose turn
//   has come is marked so on itself, not by its thread, and is not queued again; it stops
//   counting as waiting once it holds the lock (or is refused), and a call made after that waits
//   for the lock behind it. A stop made while no call waits runs at once: a stop never waits for
//   the end. A tag access that would join a queue, made on a thread that runs an after-stop
//   queue's call (this object's or another's), is refused 0x4002 (logged): it would wait for its
//   own thread, or for a queue that may wait for it. A call that got the lock from the stop
//   itself (it was waiting for the lock when the stop was answered) waits for the end under it.
//   When the end does not come in time, one WARN record says so (once per stop, however many
//   calls give up at once) and the operations are refused 0x4002 as long as the reader stays in
//   its inventory.
// - A driver that answers through a completion and never calls it does not hold the lock for
//   ever: once the driver's own timeout has passed the operation ends with 0x7000 and a late
//   answer is dropped.
// - Tag reports and access results are forwarded on the thread the reader tells them on (see
//   the reader's event line), with no lock held.
// - No exception leaves an operation; what a completion or a delegate throws is logged and
//   dropped.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/engines/ReaderLink.h"
#include "orvanerfid/uhf/UhfOperations.h"
#include "orvanerfid/uhfmodules/UhfCompletions.h"
#include "orvanerfid/uhfmodules/UhfDelegate.h"

namespace orvane {

class BaseDevice;
class BaseProtocol;
class BaseUhfModule;
class DispatchQueue;
class ModuleLock;
class ModuleLockHold;
class ProtocolEventArgs;

class ORVANE_API BaseUhf : public UhfDelegate, public std::enable_shared_from_this<BaseUhf> {
  public:
    // Shown in log lines in place of an access or kill password.
    static constexpr std::string_view kMaskedPassword = "********";

    // A refusal found by an operation's argument checks: its code and the ERROR text.
    struct Refusal {
        ResultCode code;
        std::string text;
    };

    ~BaseUhf() override;
    BaseUhf(const BaseUhf&) = delete;
    BaseUhf& operator=(const BaseUhf&) = delete;

    // The log tag of the object's records ("UhfST25RU3993").
    const std::string& TAG() const { return className_; }

    // The radio-module driver; null when there is none.
    std::shared_ptr<BaseUhfModule> uhfModule() const { return uhfModule_; }
    // The driver's module type; unknown without a driver.
    UhfModuleType uhfModuleType() const;
    // The operations this module supports, and the RF modes it offers (in the module's order).
    const std::vector<UhfParamId>& supportedIds() const { return supportedIds_; }
    const std::vector<RfMode>& supportedRfModes() const { return supportedRfModes_; }

    // The application's delegate, held weakly.
    std::shared_ptr<UhfDelegate> delegate() const {
        std::lock_guard lock(delegateLock_);
        return delegate_.lock();
    }
    void setDelegate(std::weak_ptr<UhfDelegate> delegate) {
        std::lock_guard lock(delegateLock_);
        delegate_ = std::move(delegate);
    }

    // The module's start-up exchange (SKU, with the module's band or region as the fallback),
    // run once by the reader's initialisation on its own thread, without the module lock; false
    // on any failure (logged). Never throws.
    virtual bool initModule() = 0;

    // ---- The operations (see UhfOperations.h). Tag accesses return 0x0000 when the access was
    // started and report the outcome as action changes and access results; every other
    // operation calls its completion exactly once: on the caller's thread for a failure found
    // before the hop (on the after-stop queue's thread for a call deferred there), else on a
    // pool thread. Codes of the pipeline: 0x4001 not supported, 0x4000 no driver or unknown
    // module type, 0x4002 the reader is not in Stop (or a re-entrant call, one made on any
    // reader's receive or read thread, or a tag access that would wait behind a stopped
    // inventory's end, made on a thread that runs the calls deferred there), 0x0001 the reader
    // is gone; the operations add their argument codes (0xF004 bad password, 0x5002 bad length,
    // offset or data) and the driver its own.
#define ORV_UHF_DECLARE_ACCESS_(state, name, id, signature, params) virtual ResultCode name params;
#define ORV_UHF_DECLARE_CALL_(state, name, id, signature, params) virtual void name params;
    ORV_UHF_OPERATIONS(ORV_UHF_DECLARE_ACCESS_, ORV_UHF_DECLARE_CALL_)
#undef ORV_UHF_DECLARE_ACCESS_
#undef ORV_UHF_DECLARE_CALL_

    // 0x0000 when there is a driver of a known module type (else 0x4000, logged without a tag).
    ResultCode assertModule() const;
    // assertModule(), then 0x4002 (logged "actionState is not Stop(<state>)") unless the reader
    // is in Stop; 0x0001 when the reader is gone.
    ResultCode assertAction() const;
    // Whether the module supports `id`; no lock, no effect.
    bool isSupport(UhfParamId id) const;

    // ---- The driver's delegate: forwards to the application's delegate (dropped without one),
    // naming the reader as the event's reader whatever the driver passed.
    void readTag(std::shared_ptr<UhfReader> uhfReader, std::shared_ptr<TagInfo> tagInfo) override;
    void accessResult(std::shared_ptr<UhfReader> uhfReader,
                      const AccessResultEventArgs& accessResultEventArgs) override;

  protected:
    BaseUhf(std::weak_ptr<ReaderLink> reader, std::shared_ptr<BaseDevice> device,
            std::shared_ptr<BaseProtocol> protocol, std::string className);

    // Construction-time settings of the module objects.
    void setSupportedIds(std::vector<UhfParamId> ids) {
        supportedIds_ = std::move(ids);
    }
    void setSupportedRfModes(std::vector<RfMode> modes) {
        supportedRfModes_ = std::move(modes);
    }

    // The families of operations, which differ in where steps stand.
    enum class Family { tagAccess, inventory, stop, setting };

    // One run of the pipeline. `Value` is what the driver answers beside its code (NoValue for
    // a code alone).
    struct NoValue {};
    template <typename Value>
    struct Run {
        Family family = Family::setting;
        std::string_view signature;
        std::optional<UhfParamId> id;  // the support check; none skips it
        bool driverCheck = true;  // the "UHF Module is nil" check (tag access, inventory, stop)
        ActionState actionState = ActionState::stop;  // posted first (tag access, inventory)
        std::function<std::optional<Refusal>()> checks;
        // The driver call; it answers through `done` exactly once.
        std::function<void(BaseUhfModule& driver,
                           std::function<void(ResultCode, std::optional<Value>)> done)>
            call;
        // The failure's ERROR text (given the code); the settings log "<signature> - <code>".
        std::function<std::string(ResultCode)> failureText;
        // INFO after the hop of a tag access ("" for none).
        std::string startedText;
        // Tag access: the access result posted last, built from the driver's answer; none when
        // the operation posts none, or when it gives none for this answer.
        std::function<std::optional<AccessResultEventArgs>(ResultCode, const std::optional<Value>&)>
            accessResult;
        // Completion families: the answer, called once after the lock was released.
        std::function<void(ResultCode, std::optional<Value>)> answer;
    };

    // Runs the pipeline; gives the code answered on the caller's thread (0x0000 once the work
    // was queued). For the completion families a failure before the hop has also been answered.
    template <typename Value>
    ResultCode runPipeline(Run<Value> run);

    // The checks of a password: 8 hex characters; with `refuseDefault` the modules' default
    // access password is refused too (in any letter case).
    static std::optional<Refusal> checkPassword(std::string_view signature,
                                                std::string_view password, bool refuseDefault);
    // Write data: not empty, whole words (4 characters each), hex.
    static std::optional<Refusal> checkWriteData(std::string_view signature, std::string_view data);
    // A read of `length` words from word `offset`: at most half the driver's maximum read
    // length, and an offset the driver's 16-bit field carries.
    std::optional<Refusal> checkRead(std::string_view signature, unsigned offset,
                                     unsigned length) const;

    // The pipeline runs of the tag accesses, without their driver call (and, for the read, with
    // the driver's immediate read); a module object adapts them. A started access ends with the
    // module's own access result; one the driver did not start ends with an access result of
    // the driver's code, posted by the run, so that the application learns of it.
    Run<Bytes> readRun(BankType bank, unsigned offset, unsigned length,
                       const std::string& password) const;
    Run<Bytes> writeRun(std::string_view signature, UhfParamId id, BankType bank, unsigned offset,
                        const std::string& data, const std::string& password) const;
    // Lock, permanent lock and kill: `what` names the access in the failure text, `argumentName`
    // and `argument` the lock selection (both empty for a kill, which logs no start).
    Run<Bytes> lockRun(std::string_view signature, UhfParamId id, ActionState state,
                       std::string_view what, std::string_view argumentName,
                       std::string_view argument, const std::string& password) const;
    // The access result of an access the driver did not start: none for a success.
    ORVANE_INTERNAL static std::function<
        std::optional<AccessResultEventArgs>(ResultCode, const std::optional<Bytes>&)>
    failedStartResult(ActionState state, std::optional<BankType> bank);

    // The rows of the radio settings (UhfSettings.cpp): one driver getter or setter through the
    // pipeline. A getter's success record is "<signature><prefix>" and the value in its optional
    // form; a success without a value answers 0x5000. A setter's success record is `info`.
    template <typename Value>
    void getSetting(std::string_view signature, std::optional<UhfParamId> id,
                    void (BaseUhfModule::*get)(ValueCompletion<Value>),
                    std::function<std::string(const Value&)> text,
                    UhfValueCompletion<Value> completion, std::string_view prefix = " - ");
    void setSetting(std::string_view signature, std::optional<UhfParamId> id,
                    std::function<void(BaseUhfModule&, ResultCompletion)> set, std::string info,
                    UhfResultCompletion completion,
                    std::function<std::optional<Refusal>()> checks = {});

    // The select-mask rows (UhfSelectMasks.cpp): the list's index check (0x4003) and, for a
    // read, its entry check (0x5006), made under the lock before the driver is called.
    std::optional<Refusal> checkSelectMask(std::string_view signature, std::size_t index,
                                           bool entryRequired) const;
    // One select-mask row: `checks` add to the index and entry checks; `call` runs the driver's
    // list operations synchronously and gives the code (a write gives that of the list's one
    // application to the module). No success record.
    template <typename Value>
    void runSelectMask(std::string_view signature, std::optional<UhfParamId> id, std::size_t index,
                       bool entryRequired, std::function<std::optional<Refusal>()> checks,
                       std::function<ResultCode(BaseUhfModule&, std::optional<Value>&)> call,
                       std::function<void(ResultCode, std::optional<Value>)> answer);

    // The pieces of the tag-access log texts.
    static std::string bankOffset(BankType bank, unsigned offset);

    // Posts an action change or an access result to the protocol's delegate (the device).
    void postActionState(ActionState state) const;
    void postAccessResult(const AccessResultEventArgs& result) const;

    std::shared_ptr<ReaderLink> reader() const {
        return reader_.lock();
    }
    void logError(std::string_view text) const;
    void logInfo(std::string_view text) const;

    std::weak_ptr<ReaderLink> reader_;
    std::shared_ptr<BaseDevice> baseDevice_;
    std::shared_ptr<BaseProtocol> baseProtocol_;
    std::shared_ptr<BaseUhfModule> uhfModule_;

  private:
    struct Check {
        ResultCode code;
        std::vector<std::string> lines;  // ERROR lines without a tag
    };
    ORVANE_INTERNAL Check checkModule(bool action) const;
    ORVANE_INTERNAL void post(const ProtocolEventArgs& event) const;
    // Whether a driver's failure counts toward the failures that disconnect: any failure once
    // the driver tried to write to the reader, else any but a refusal of the caller's input or
    // of a value the module does not take (0x4000-0x4003, 0x5002, 0x5006, 0xF004).
    ORVANE_INTERNAL static bool isLinkFailure(ResultCode code, bool wrote);
    // Adds a failure on the reader and marks it alive; true when the transport is to be
    // disconnected, which the caller does once the lock is released.
    ORVANE_INTERNAL bool countFailure() const;
    ORVANE_INTERNAL void countSuccess() const;
    // Ends connection number `link` of the reader's transport, not a later one.
    ORVANE_INTERNAL void disconnectTransport(uint64_t link) const;
    // The number of the reader's current connection (see BaseTransport::linkNumber).
    ORVANE_INTERNAL uint64_t currentLink() const;
    // After a stop the driver took: notes that the inventory's end is still to come when the
    // reader is not in Stop yet.
    ORVANE_INTERNAL void noteStopAnswered();
    // Whether the end of an inventory a stop left to come is still awaited (not reported, not
    // yet given up).
    ORVANE_INTERNAL bool stoppedInventoryPending() const;
    // Waits for the end of an inventory a stop left to come (see the thread notes); no wait
    // when none is due. The call that gives up writes the WARN record of the missing end.
    ORVANE_INTERNAL void awaitStoppedInventory(std::string_view signature);
    // The pipeline itself; `fromQueue` marks a run whose turn has come in the after-stop queue
    // (it is not deferred again).
    template <typename Value>
    ORVANE_INTERNAL ResultCode pipeline(Run<Value> run, bool fromQueue);
    // Queues a run on the after-stop queue, behind the calls waiting there: a completion family
    // returns 0x0000 at once, a tag access the code it gets when its turn comes (0x4002 at once
    // on a thread that runs an after-stop queue's call).
    template <typename Value>
    ORVANE_INTERNAL ResultCode defer(Run<Value> run);
    template <typename Value>
    ORVANE_INTERNAL void work(const Run<Value>& run, const std::shared_ptr<ModuleLockHold>& hold);
    template <typename Value>
    ORVANE_INTERNAL void finish(const Run<Value>& run, const std::shared_ptr<ModuleLockHold>& hold,
                                ResultCode code, std::type_identity_t<std::optional<Value>> value,
                                bool wrote, uint64_t link);
    template <typename Value>
    ORVANE_INTERNAL void refuse(const Run<Value>& run, ResultCode code);

    const std::string className_;
    const std::shared_ptr<ModuleLock> lockModule_;
    // When the end of an inventory a stop was answered for stops being waited for (steady clock
    // ticks); 0 when no end is due.
    std::atomic<int64_t> stopEndDue_{0};
    // The calls deferred behind that end, one at a time and in the order called, and how many of
    // them have not yet taken their turn (the module lock, or a refusal before it): a call made
    // while any waits joins them, whatever its family and thread, so it never overtakes one
    // called before it.
    const std::shared_ptr<DispatchQueue> afterStopQueue_;
    std::atomic<int> deferredRuns_{0};
    std::vector<UhfParamId> supportedIds_;
    std::vector<RfMode> supportedRfModes_;
    // Guards the delegate, which the application sets while the reader's event line reads it.
    mutable std::mutex delegateLock_;
    std::weak_ptr<UhfDelegate> delegate_;
};

}  // namespace orvane
