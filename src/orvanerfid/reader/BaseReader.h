#pragma once

// The reader object: what an application holds for one attached reader. Made for a discovered
// OrvaneDevice, it picks and owns the transport and the device object of the reader's model,
// connects and disconnects, follows every state the transport reports, keeps the link alive and
// hands every device event to the application's delegates.
//
// Thread map of the SDK (one map for every layer):
// - Caller's thread: connect() and disconnect() (they put their step in the reader's connection
//   sequence, below, and wait for its answer: connect() at most about 3.1 s, disconnect() about
//   3 s, or about 5 s for a connection being made: 4 s for its initialisation to end by its stop
//   path, then at most 1 s for the close the sequence makes itself), the step itself when no
//   other runs, and every check an operation makes before it hops to the global queue.
// - Global queue (the elastic pool): the operations' work and their completions; a completion
//   runs once, after the operation's own lock is released. Past DispatchQueue::kPoolThreads such
//   blocks running a block waits for one to end (the pool then grows by ten threads a second at
//   most). The connection's own work below (the transport's read loop, the protocol's receive
//   loop, the initialisation with its engine step, the keep-alive, the line's tellers, the
//   connection steps) is the library's work: whatever the operations and completions hold, it gets
//   a thread at once when one is idle or can start, and its threads never run those past the bound.
//   When none can start (the process's thread limit), it waits, said in a record (naming its
//   queue only when the post's own start failed), and runs once a thread frees or can start:
//   with nothing more posted once the pool's watcher runs (started by the pool's first post, or
//   by the first later post or block taken that can start it), before that at the next post or
//   when a thread frees; meanwhile a connection whose initialisation waits stays Connecting (see
//   Dispatch.h).
// - "com.orvane.initReaderQueue": the initialisation of each connection (one work item per
//   transport Connected report).
// - "com.orvane.keepAliveQueue": the keep-alive loop (one work item per connection).
// - The connection sequence: one per reader. Every decision about the reader's connection is a
//   step, run one at a time in the order the steps were posted: the application's connect() and
//   disconnect() on any thread (posted as they are made), the transport's state reports (each
//   with its connection's number; the reports of an open or close a step makes are part of that
//   step), the initialisation's end and closes, the automatic reconnect. A step runs on the
//   thread of the call that posted it when no step runs, else on one global-queue thread at a
//   time (a work item, library work, carrying no log sink's mark), holding the reader only while
//   it runs. Steps never wait for the application, a link thread or the initialisation; a log
//   sink called for a step's record runs inside it. The initialisation's stop looks read the mark
//   of their own connection (`endAsked`), which a later connect() withdraws only until it is
//   taken. A connection owed to the library (a sink's connect() left for a connection's end, the
//   reconnect) opens only once the ended connection's initialisation work has let the reader go,
//   so a reader the application let go of opens nothing.
// - The protocol's receive thread: device events, tag reports and access results, which it puts
//   in the reader's event line (EventSequence) and never tells itself: it runs no delegate or
//   completion and never waits for one, so answers, keep-alive exchanges and status reports are
//   handled as they arrive. The one application code it runs is the log sink, for the records it
//   writes (after every turn at TRACE). The ordered events (tags, access results, action changes,
//   battery, temperature, trigger key, notification, LBT, batch, barcode) reach the application's
//   delegates from the line's teller, one global-queue thread at a time per reader: one at a
//   time, in the order raised, across operations. The line holds at most
//   EventSequence::kTagCapacity waiting tag reports: past that a tag report is dropped and
//   counted (WARN records), every other event is kept. The teller is woken once for many tag
//   reports (it gathers EventSequence::kGather first). disconnect(), a dropped link and the
//   reader's release drop the tag reports still waiting, and count them; a tag report delivered
//   by a receive loop that was stopped or replaced is never told, and is counted; every count
//   lands in a WARN record of the connection it belongs to. Tag reports the device parsed after
//   the reader was released never reach the line and are not counted.
// - Straight through, beside an ordered callback: connection states (from the reader's state
//   teller, a global-queue thread, library work, one at a time per reader: in the order stored,
//   each once, to the reader delegate then the UHF delegate, never on the thread that stored
//   them; see EventSequence::tellState), firmware-update progress (the update's thread), log
//   records (the logging thread; one logged under a library lock, the UHF lock included, waits for
//   its release) and completions (a global-queue thread; an inventory's may come before its start
//   is heard).
// - The transport's read thread moves bytes; the one application code it runs is the log sink,
//   for the records it writes.
// - Calls made on the receive thread or read thread of any reader (the log sink runs there), on
//   that reader or on any other of either model, never wait for a reader's reply or lock: a UHF
//   operation is refused at once with 0x4002 (its completion called inside the call, on that
//   thread); a device or radio-driver operation throws ReaderException 0x4002 with nothing sent
//   (every protocol send there answers 0x4002); connect() and disconnect() post their step and
//   answer at once, as they do inside a connection step (connect() of another reader only
//   answers whether its connection stands). The reader's device-setting and parameter operations,
//   the engine's parameter operations and the firmware update only queue their work there, and run
//   as from any thread.
// - The records written by the calls a log sink makes, on its thread while it runs and by the
//   blocks those calls queue (an operation's work, timeout and completion) on whatever thread
//   they run, reach the console only, never the sink; a connection its connect() starts, a
//   connect() or disconnect() it hands off, the automatic reconnect and the line's teller its
//   call may wake are not such work, and no delegate runs inside the sink's mark. Alike fault
//   records reach the sink ten a second at most, the rest counted (see orvLogger): a sink that
//   reacts to records is called a few times, never fed by its own calls.
// State reports of the transport reach the reader on the thread that changed the state, after
// the transport's own lock is released, and are put in its connection sequence. No application
// callback (delegate, completion, log sink) runs while a library lock is held; what it throws is
// caught and logged here.
//
// Fields two threads touch are atomics (failure count, last sign of life on the steady clock,
// connection state (stored under the event line's lock) and the state told last, disconnect and
// reconnect marks, action state, SKU, check interval,
// firmware-update state, current connection) or sit behind `fieldsLock_` (the UHF and engine
// objects, work items, texts) or `delegateLock_` (the weak delegates); `lockInitEngine_` guards
// the engine-initialisation mark, `firmwareUpdateLock_` the firmware update's claim and its abort,
// and the steps' own lock the order of the connection steps posted (the sequence's own fields are
// read and written by its steps only). The device and the transport are fixed at construction.
//
// Ownership: the application holds the reader in a shared_ptr made by `create`; the reader owns
// its transport, device, UHF object and engine object. The device, the transport, the UHF and
// engine objects, the logger, the work items and the connection steps hold it weakly. Dropping
// the last reference to a connected reader disconnects its transport and ends its loops. A call
// that can deliver a connection report (connect, disconnect, transportDisconnect,
// setConnectState, triggerConnectStateEvent) holds the reader to its end, so the application
// may drop its last reference from inside the report. A reader let go whose delegates last heard
// a state other than Disconnected tells them Disconnected, with no reader, as its last report;
// states it stored and had not yet told are not told.
//
// The shared accessory transport belongs to the last reader made for it: once another reader
// has taken it, connect() answers false ("Transport is used by another reader"), also from
// inside the Disconnected report the take-over delivers.
//
// A connection is named by the transport's link number. The initialisation and keep-alive items
// carry the number of the connection they were made for and do nothing once the reader's
// current connection (`currentLink()`) is another, so work left over from an earlier connection
// never acts on a newer one.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Barcode.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/devices/BaseDeviceDelegate.h"
#include "orvanerfid/engines/BaseEngine.h"
#include "orvanerfid/engines/ParameterDelegate.h"
#include "orvanerfid/engines/ReaderLink.h"
#include "orvanerfid/link/OrvaneDevice.h"
#include "orvanerfid/link/TransportDelegate.h"
#include "orvanerfid/params/DeviceParam.h"
#include "orvanerfid/params/EngineParam.h"
#include "orvanerfid/platform/Clock.h"
#include "orvanerfid/platform/Signal.h"
#include "orvanerfid/platform/TimeoutControl.h"
#include "orvanerfid/reader/ReaderDelegates.h"
#include "orvanerfid/reader/ReaderOperations.h"
#include "orvanerfid/uhf/BaseUhf.h"

namespace orvane {

class BaseDevice;
class BaseProtocol;
class BaseTransport;
class DispatchQueue;
class DispatchWorkItem;
class EventSequence;

class ORVANE_API BaseReader : public ReaderLink,
                              public TransportDelegate,
                              public BaseDeviceDelegate,
                              public orvLoggerDelegate,
                              public std::enable_shared_from_this<BaseReader> {
  protected:
    // Passed by `make` to the constructors, so readers exist only inside a shared_ptr.
    struct Key {
        explicit Key() = default;
    };

  public:
    static constexpr int64_t retryCount = 3;
    static constexpr int _initRetryCount = 3;
    static constexpr int64_t batteryCheckInterval = 3000;
    // Failed exchanges in a row that end the connection.
    static constexpr int kFailureLimit = 4;
    static constexpr uint64_t kDefaultCheckInterval = 3000;

    // `className` names the concrete class in the reader's log tag.
    BaseReader(Key, std::shared_ptr<OrvaneDevice> device, std::string_view className);
    BaseReader(const BaseReader&) = delete;
    BaseReader& operator=(const BaseReader&) = delete;
    ~BaseReader() override;

    // Makes a reader of class `Reader` (a BaseReader whose constructor takes (Key, device,
    // args...)) and attaches it to its transport, device and the logger.
    template <class Reader, class... Args>
    static std::shared_ptr<Reader> make(std::shared_ptr<OrvaneDevice> device, Args&&... args) {
        auto reader =
            std::make_shared<Reader>(Key{}, std::move(device), std::forward<Args>(args)...);
        reader->attach();
        return reader;
    }

    // The log tag of the reader's records: class name and address.
    const std::string& TAG() const { return tag_; }

    // Log threshold of the whole library.
    static LogLevel logLevel() { return orvLogger::level(); }
    static void setLogLevel(LogLevel level) { orvLogger::setLevel(level); }

    // --- Properties ---
    std::shared_ptr<BaseDevice> baseDevice() const { return baseDevice_; }
    const std::shared_ptr<BaseTransport>& baseTransport() const { return baseTransport_; }
    std::shared_ptr<BaseProtocol> baseProtocol() const;
    std::shared_ptr<BaseUhf> uhf() const;
    std::shared_ptr<BaseEngine> engine() const;

    ConnectState connectState() const { return connectState_.load(); }
    // Stores the state and reports it, only when it differs from the stored one.
    void setConnectState(ConnectState state);

    std::string serialNumber() const;
    std::string version() const;
    DeviceType deviceType() const;
    std::string deviceName() const;
    ConnectType connectType() const;
    bool isForceToUsb() const { return deviceType() == DeviceType::vk210; }
    bool supportFirmwareUpdate() const;

    std::string address() const;
    void setAddress(std::string address);
    std::string macAddress() const;
    void setMacAddress(std::string macAddress);
    ActionState actionState() const { return actionState_.load(); }
    void setActionState(ActionState state);
    SkuType sku() const { return sku_.load(); }
    void setSku(SkuType sku) { sku_.store(sku); }
    // Keep-alive interval in milliseconds; 0 turns the alive exchanges off.
    uint64_t checkInterval() const { return checkInterval_.load(); }
    void setCheckInterval(uint64_t milliseconds);

    bool initEngine() const;
    void setInitEngine(bool value);

    std::shared_ptr<ReaderDelegate> readerDelegate() const;
    void setReaderDelegate(std::weak_ptr<ReaderDelegate> delegate);
    std::shared_ptr<RfidDelegate> rfidDelegate() const;
    void setRfidDelegate(std::weak_ptr<RfidDelegate> delegate);
    std::shared_ptr<BarcodeDelegate> barcodeDelegate() const;
    void setBarcodeDelegate(std::weak_ptr<BarcodeDelegate> delegate);

    // The device's settings this reader's firmware supports, in the device's order; empty
    // without a device. The firmware revision is read afresh for each id.
    std::vector<DeviceParamId> supportedParameterIds() const;
    // The same ids as their raw values, in the same order.
    std::vector<uint8_t> supportedParameterIds_OC() const;
    std::vector<DeviceParam> supportedParameters() const;

    // --- Static supported-parameter tables (no reader or connection needed) ---
    static std::vector<DeviceParam> deviceSupportedParameters(DeviceType deviceType);
    static std::vector<UhfParamId> uhfSupportedParameterIds(UhfModuleType uhfModel);
    static std::vector<EngineParam> engineSupportedParameters(EngineModel engineModel);

    // --- Device checks of the operations ---
    // The device, or ReaderException 0x6006 "Device is nil".
    std::shared_ptr<BaseDevice> assertDevice() const;
    // The device, or ReaderException 0x4000 "Device is nil".
    std::shared_ptr<BaseDevice> getSafeDevice() const;

    // --- Connection ---
    // A step of the connection sequence (see the thread map), answered by it: true when the
    // connection stands, or the transport connected for the call (readiness is the later
    // Connected report); a connection being made or ended is waited for (about 3.1 s at most for
    // a stable state), then answered for or made again. False when a later disconnect() comes
    // first, for the Listen state, without a device or with the transport taken by another
    // reader. On the reader's own receive or read thread, or inside a connection step, it answers
    // true at once and its step connects in turn (a sink's `disconnect(); connect();` there
    // restarts the connection; a connection being made is left to end and made again once if it
    // ends without Connected). On another reader's receive or read thread it only answers whether
    // the connection stands.
    bool connect();
    // A step of the connection sequence, answered by it: true once the connection it found is
    // ended, or when there is none. A connection being made is ended by its initialisation's stop
    // path at its next step (past its last step it ends instead of being reported Connected),
    // or, not stopped about 4 s after the call, by the sequence itself; a connect() made after
    // it before the initialisation took the stop makes it end nothing (it answers true). It
    // blocks the caller about 3 s at most, or about 5 s while a connection is being made (that
    // close has 1 s at most). Once it has answered true, no link of the reader is open until the
    // application's next connect().
    // On any reader's receive or read thread, or inside a connection step, it answers true at
    // once and its step ends the connection in turn.
    bool disconnect();
    // Whether the end of the connection being made or standing was asked (by a disconnect()
    // that no later connect() came before the initialisation took it).
    bool triggerDisconnect() const { return (endMark_.load() & 3) != kEndNone; }
    bool autoReconnect() const { return autoReconnect_.load(); }
    void setAutoReconnect(bool value) { autoReconnect_.store(value); }
    // The transport's state reports: without a connection number, the transport's current one.
    void connectStateEvent(const ConnectStateEventArgs& connectStateEventArgs) override;
    void linkStateEvent(const ConnectStateEventArgs& connectStateEventArgs, uint64_t link) override;
    // Tells the application connection state `state`: the reader's delegates hear the states one
    // at a time, in the order stored, each once (see EventSequence::tellState).
    virtual void triggerConnectStateEvent(ConnectState state);

    // --- Keep-alive and failure counting ---
    int _failCount() const { return failCount_.load(); }
    Clock::time_point _lastTime() const;
    FirmwareUpdateState _updateFirmwareStatus() const { return updateFirmwareStatus_.load(); }
    // Counts one failure (refreshing the last sign of life when `refresh`); the fourth ends the
    // connection the failure happened on (see closeConnection).
    void checkError(bool refresh);
    // Failure count 0, last sign of life now.
    void alive();
    void resetError();
    // Keep-alive loops of this reader that have started and not yet ended.
    int keepAliveLoopsRunning() const { return keepAliveLoops_->load(); }
    // The line of the events still to be told to the application.
    ORVANE_INTERNAL const EventSequence& eventLine() const;
    // Test seam: runs `block` on the connection sequence after every step posted so far, and
    // holds the sequence while it runs.
    ORVANE_INTERNAL void afterSteps(std::function<void()> block);
    // Whether the calling thread runs a step of this reader's connection sequence (which opens
    // and closes its links, and follows the reports they make on that thread).
    ORVANE_INTERNAL bool onOwnSequence() const;

    // --- Device events (BaseDeviceDelegate) ---
    void batteryPercentageEvent(uint8_t percentage) override;
    void batteryInfoEvent(uint8_t percentage, bool charging) override;
    void temperatureEvent(double temperature) override;
    void barcodeEvent(const BarcodeEventArgs& barcodeEventArgs) override;
    void notificationEvent(const NotificationEventArgs& notificationEventArgs) override;
    void firmwareUpdateEvent(FirmwareUpdateState state, uint8_t percentage) override;
    void triggerKeyEvent(const KeyEventArgs& keyEventArgs) override;
    void actionStateEvent(ActionState actionState) override;
    void receivedInventoryData() override;
    void skuType(SkuType skuType) override;
    void macAddress(const std::string& macAddress) override;
    void lbtStatusEvent(const LbtStatusEventArgs& lbtStatusEventArgs) override;
    void antennaStatusEvent(const AntennaStatusEventArgs& antennaStatusEventArgs) override;
    void batchDataStatusEvent(BatchDataStatus batchDataStatus) override;
    void engineReadyEvent(bool status) override;
    // Log records, when this reader is the logger's sink.
    void logEvent(const LogEventArg& logEventArgs) override;

    // --- Device-setting operations (ReaderOperations.h) ---
    // Each returns at once; the device's answer reaches the completion exactly once, on a
    // global-queue thread (0x6006 "Device is nil" without a device).
    ORV_READER_OPERATION_DECLARATIONS

    // --- Parameter operations ---
    // The delegate is told on a global-queue thread: didReceive per record read, didFail on a
    // failure (0x4000 "Device is nil" without a device, and for a reader released before the
    // work runs), then didFinish once, last.
    void getParameter(int id, DeviceParamId deviceParamId,
                      std::shared_ptr<ParameterDelegate> delegate);
    void setParameter(int id, DeviceParam deviceParam, std::shared_ptr<ParameterDelegate> delegate);
    // No list: every id the device supports.
    void getParameters(int id, std::optional<std::vector<DeviceParamId>> deviceParamIds,
                       std::shared_ptr<ParameterDelegate> delegate);
    void setParameters(int id, std::vector<DeviceParam> deviceParams,
                       std::shared_ptr<ParameterDelegate> delegate);

    // --- Firmware update ---
    // Loads `firmware` into the reader under `fileName`; progress reaches the reader delegate's
    // firmwareUpdateEvent and the keep-alive rests meanwhile. An aborted update completes 0x0000.
    // While an update runs, another is refused with 0x4002 "In Operation": nothing is sent or
    // reported for it, and the running update goes on.
    void firmwareUpdate(std::string fileName, Bytes firmware, ResultCompletion completion);
    // Asks the update running at the call to stop at its next test; an abort asked for once
    // firmwareUpdate() has returned always reaches the update it started. An abort asked for while
    // no update runs does nothing, and never stops an update started after it.
    void abortFirmwareUpdate();

    // --- ReaderLink ---
    std::shared_ptr<BaseDevice> linkDevice() const override { return baseDevice_; }
    std::shared_ptr<BaseTransport> linkTransport() const override { return baseTransport_; }
    std::string linkDescription() const override { return tag_; }
    std::shared_ptr<UhfReader> linkUhfReader() override;
    ActionState linkActionState() const override { return actionState(); }
    int addFailure() override;
    void resetFailures() override { failCount_.store(0); }
    int failCount() const override { return failCount_.load(); }
    void markAlive() override;
    // Ends the connection the transport holds now and logs "transportDisconnect() - Result:
    // true|false".
    bool transportDisconnect() override;
    // Ends connection `link` and no later one (nothing once it has ended), logging
    // "transportDisconnect() - Result: true|false" when it was still current: a step of the
    // connection sequence. The one close of the initialisation's paths, the failure limits and
    // the operations that end the link.
    ORVANE_INTERNAL void closeConnection(uint64_t link) override;

  protected:
    // The model-specific initialisation of a connection, run on the init queue after the
    // transport reported Connected and the device started. `link` is the connection it was
    // queued for: it stops acting (and must not disconnect) once `isCurrentConnection` turns
    // false. The base does nothing: the reader stays Connecting.
    virtual void asyncInitReader(uint64_t link);
    // Starts the scan-engine initialisation on an engine-ready event; the base does nothing.
    virtual void initEngineInfo() {}

    // The connection the reader follows: the transport's number of its last Connected report,
    // 0 once its Disconnected report came. Work made for a connection (the initialisation, the
    // keep-alive) carries its number and stops acting once it is no longer this one.
    uint64_t currentLink() const { return currentLink_.load(); }
    bool isCurrentConnection(uint64_t link) const {
        return link != 0 && currentLink_.load() == link;
    }
    // The initialisation's stop look: whether the end of connection `link` was asked. Once it
    // answers true the end is taken: no later connect() withdraws it.
    bool endAsked(uint64_t link);
    // Queues library work bound to the initialisation (its steps on the init queue and the
    // engine step); the sequence opens no next connection while such work holds the reader.
    ORVANE_INTERNAL std::shared_ptr<DispatchWorkItem> queueInitWork(
        const std::shared_ptr<DispatchQueue>& queue, std::function<void(BaseReader&)> work);
    // How many times the application called connect(); the automatic reconnect does not count.
    uint64_t applicationConnects() const { return applicationConnects_.load(); }

    // The end of a successful initialisation of connection `link`: failure count reset,
    // Connected set, the keep-alive loop started (unless the check interval is 0) and the
    // protocol told that the initialisation finished. False, doing nothing, for a connection
    // that is no longer current.
    bool finishInitialisation(uint64_t link);
    // Resets the failure count and, with a non-zero check interval, starts the keep-alive loop
    // of connection `link` (cancelling an earlier loop first).
    void startKeepAlive(uint64_t link);

    // Installs a new UHF or engine object (the initialisation does); the application's UHF
    // delegate moves from the earlier UHF object to the new one.
    void setUhf(std::shared_ptr<BaseUhf> uhf);
    void setEngine(std::shared_ptr<BaseEngine> engine);

    // Calls `call` with the live delegate, catching and logging what it throws. The delegate is
    // the application's, never the log sink's work: it runs outside the sink's mark.
    template <class Delegate, class Call>
    void deliver(const std::shared_ptr<Delegate>& delegate, const char* event, Call&& call) {
        if (!delegate) return;
        const orvLogger::OutsideSink outside;
        try {
            call(*delegate);
        } catch (const std::exception& e) {
            reportCallbackError(event, e.what());
        } catch (...) {
            reportCallbackError(event, "unknown exception");
        }
    }
    void reportCallbackError(const char* event, const char* what) const;
    // Puts an event in the reader's event line (defined in reader/EventLine.h): its teller calls
    // `tell(reader)` in turn, unless the reader is gone by then.
    template <class Tell>
    void inOrder(Tell tell);
    // Puts a tag report in the reader's event line; its teller hands it to `tellReadTag`.
    void inOrderTag(std::shared_ptr<TagInfo> tagInfo);
    // The application's part of a tag report told in order; the base tells nobody.
    virtual void tellReadTag(const std::shared_ptr<TagInfo>& tagInfo);
    // The application's part of the events the reader tells in order; UhfReader adds its own
    // delegate to each.
    virtual void tellBatteryPercentage(uint8_t percentage);
    virtual void tellTemperature(double temperature);
    virtual void tellTriggerKey(const KeyEventArgs& keyEventArgs);
    virtual void tellActionState(ActionState actionState);

    // Who hears the reader's end once the application has let the reader go (Disconnected with
    // no reader): the reader delegate; UhfReader adds its own. Each holds its delegate weakly.
    using EndListener = std::function<void(const ConnectStateEventArgs&)>;
    virtual std::vector<EndListener> endListeners() const;
    // For the most derived destructor: stores Disconnected unless it is the state stored. A
    // state whose reader is gone by its turn is not told, but Disconnected, told with no reader
    // to the end listeners taken when it was stored, unless the state heard last was
    // Disconnected. So an application that lets a reader go hears nothing more from it, or its
    // end, once.
    void storeReleasedEnd() { storeState(ConnectState::disconnected); }

    // Puts a stand-in in place of the device object. Only for doubles, before the reader is
    // shared with another thread.
    void replaceBaseDevice(std::shared_ptr<BaseDevice> device) { baseDevice_ = std::move(device); }

  private:
    friend struct ReaderOperations;
    // The one path of the device-setting operations: on the global queue, holding the reader,
    // `work` runs with the device and gives the success completion; a failure is logged at
    // ERROR as "<signature> Error: <description>" (a CodedError, its code) or "<signature>
    // Other error: <text>" (0x0001) and goes to `failed`. Whichever completion runs, runs once,
    // and what it throws is caught and logged.
    ORVANE_INTERNAL void performAsync(const char* signature,
                                      std::function<std::function<void()>(BaseDevice&)> work,
                                      std::function<void(ResultCode)> failed);

    // Construction steps that need the reader's shared_ptr. `attach` stays exported: the inline
    // `make` calls it.
    ORVANE_API void attach();
    ORVANE_INTERNAL void setFailCountAndLastTime(int count, Clock::time_point now);
    ORVANE_INTERNAL void storeState(ConnectState state);
    // Stores the state `next` answers for the current one (none, or the same: nothing) and tells
    // it in the order stored (see EventSequence::tellState).
    ORVANE_INTERNAL void storeStateIf(
        const std::function<std::optional<ConnectState>(ConnectState)>& next);
    // --- The connection sequence ---
    // Every decision about the reader's connection is taken on `sequence_`, a serial queue of the
    // reader's own, one step at a time, in the order the events that call for it were posted: the
    // application's connect() and disconnect() (posted as they are made), the transport's state
    // reports (with their connection's number), the initialisation's end, the closes asked by the
    // initialisation, the keep-alive, checkError() and operations. The fields below marked
    // "sequence" are read and written by its steps only. A step holds the reader only while it
    // runs, and a reader let go of finds its later steps doing nothing.
    //
    // A call waiting for its answer: the caller's wait and the sequence's answer meet here.
    struct Answer;
    enum class Phase { none, opening, making, standing, closing };
    using Step = std::function<void(BaseReader&)>;
    // Posts `step` to the sequence; it runs only while the reader lives, after every step posted
    // before it. `here`: a call that waits for its answer runs its step on its own thread when
    // no step runs (so a call needs no thread of the pool); otherwise a pool thread runs the
    // steps in turn.
    ORVANE_INTERNAL void post(Step step, bool here = false);
    struct Steps;
    ORVANE_INTERNAL static std::shared_ptr<Steps> makeSteps();
    // Posts without holding the reader.
    ORVANE_INTERNAL static void postStep(const std::weak_ptr<BaseReader>& weak,
                                         const std::shared_ptr<Steps>& steps, Step step);
    // Runs `step` on this thread as a step of the sequence.
    ORVANE_INTERNAL void runStep(const Step& step);
    // The pool thread's turn: runs the steps posted until none is left.
    ORVANE_INTERNAL static void drainSteps(const std::weak_ptr<BaseReader>& weak,
                                           const std::shared_ptr<Steps>& steps);
    ORVANE_INTERNAL static void startDrain(const std::weak_ptr<BaseReader>& weak,
                                           const std::shared_ptr<Steps>& steps);
    // Whether the calling thread runs a step of any reader's sequence.
    ORVANE_INTERNAL static bool onAnySequence();
    // The caller's side of connect() and disconnect(): waits for the sequence's answer.
    ORVANE_INTERNAL bool awaitConnect(const std::shared_ptr<Answer>& answer);
    ORVANE_INTERNAL bool awaitDisconnect(const std::shared_ptr<Answer>& answer);
    // Steps. `answer` null: a call made on a thread that does not wait (a link thread, a step).
    ORVANE_INTERNAL void askConnect(const std::shared_ptr<Answer>& answer);
    // Whether the transport no longer holds the connection `link_` open.
    ORVANE_INTERNAL bool linkGoing() const;
    ORVANE_INTERNAL void askDisconnect(const std::shared_ptr<Answer>& answer);
    ORVANE_INTERNAL void reportArrived(ConnectState state, uint64_t link);
    ORVANE_INTERNAL void initialisationFinished(uint64_t link);
    ORVANE_INTERNAL void closeAsked(uint64_t link);
    ORVANE_INTERNAL void closeOverdue(const std::shared_ptr<Answer>& answer);
    ORVANE_INTERNAL void oweOpen();
    ORVANE_INTERNAL void initWorkEnded();
    // Opens a connection for the connects waiting (claimed first), unless none is owed one.
    ORVANE_INTERNAL void openOwed();
    // Ends the standing connection: the event line closed, a running inventory stopped, the link
    // closed.
    ORVANE_INTERNAL void closeStanding();
    // Answers each call in `answers` with `value` (those whose caller gave up are skipped).
    ORVANE_INTERNAL static void settle(std::vector<std::shared_ptr<Answer>>& answers, bool value);
    // The initialisation's stop mark of each connection: one word, the connection's number and
    // its state, so a mark always belongs to one connection.
    enum : uint64_t { kEndNone = 0, kEndAsked = 1, kEndTaken = 2 };
    // Asks the end of connection `link` being made; false when it is not the one marked.
    ORVANE_INTERNAL bool askEnd(uint64_t link);
    // Withdraws an end asked and not yet taken; true when withdrawn.
    ORVANE_INTERNAL bool withdrawEnd(uint64_t link);
    // Whether the calling thread is the reader's own receive or read thread.
    ORVANE_INTERNAL bool onOwnLinkThread() const;
    // Ends connection number `link` only, logging "transportDisconnect() - Result: true|false".
    ORVANE_INTERNAL bool transportDisconnectLink(uint64_t link);
    ORVANE_INTERNAL void onTransportConnected(uint64_t link);
    ORVANE_INTERNAL void onTransportDisconnected();
    ORVANE_INTERNAL void cancelKeepAlive();
    ORVANE_INTERNAL static void keepAliveThread(const std::weak_ptr<BaseReader>& weak,
                                                const DispatchWorkItem& self, uint64_t link,
                                                const std::shared_ptr<Signal>& wake,
                                                const std::shared_ptr<std::atomic<int>>& loops);
    // One turn of the loop; false ends it. `rest` receives how long to rest before the next
    // turn (the rest ends early when something the loop tests changes).
    ORVANE_INTERNAL bool keepAliveTurn(const DispatchWorkItem& self, uint64_t link,
                                       Clock::duration& rest);
    // The loop's failure rule: one failure counted, the last sign of life moved unless the
    // exchange timed out, the ERROR line. At the limit it ends connection `link` (the one the
    // exchange ran on), never a later one, and answers true: the loop of that connection ends.
    ORVANE_INTERNAL bool aliveFailed(const std::string& reason, bool timeout, uint64_t link);

    const std::string tag_;
    std::shared_ptr<BaseTransport> baseTransport_;
    // Set once by `attach`, before the reader is shared.
    std::shared_ptr<BaseDevice> baseDevice_;
    std::shared_ptr<OrvaneDevice> orvaneDevice_;

    std::atomic<int> failCount_{0};
    std::atomic<Clock::duration::rep> lastTime_;
    std::atomic<FirmwareUpdateState> updateFirmwareStatus_{FirmwareUpdateState::stop};
    // Guards the update's claim, so that an abort's test of "is an update running" and its
    // setting of the device's abort flag cannot interleave with a new update taking the claim and
    // clearing the flag (a stale abort would stop the new update). Held only around those few
    // steps; nothing is called out under it.
    std::mutex firmwareUpdateLock_;
    // Taken by firmwareUpdate() on the caller's thread while an update runs.
    bool firmwareUpdateRunning_ = false;
    // Stored only under the event line's order (storeStateIf), so the states are told in the
    // order stored.
    std::atomic<ConnectState> connectState_{ConnectState::disconnected};
    // The state the delegates heard last: read and written by the state teller's tasks only, also
    // once the reader is gone.
    std::shared_ptr<std::atomic<ConnectState>> toldState_ =
        std::make_shared<std::atomic<ConnectState>>(ConnectState::disconnected);
    std::atomic<bool> autoReconnect_{false};
    std::atomic<ActionState> actionState_{ActionState::stop};
    std::atomic<SkuType> sku_{SkuType::unknown};
    std::atomic<uint64_t> checkInterval_{kDefaultCheckInterval};
    std::atomic<uint64_t> currentLink_{0};
    std::atomic<uint64_t> applicationConnects_{0};

    // The steps posted and not yet run (see Steps).
    const std::shared_ptr<Steps> steps_ = makeSteps();
    // The sequence's own fields.
    // Whether the application's last call leaves a connection wanted: false from a disconnect()
    // to the next connect().
    bool wanted_ = true;
    // The connection being made, standing or closing, and its number (0: none).
    Phase phase_ = Phase::none;
    uint64_t link_ = 0;
    // Calls waiting for a connection (answered once it stands, or by the next one opened), and
    // whether a connect() that waits for nobody is owed one.
    std::vector<std::shared_ptr<Answer>> connectWaiters_;
    bool connectOwed_ = false;
    // disconnect() calls waiting for the end of the connection.
    std::vector<std::shared_ptr<Answer>> disconnectWaiters_;
    // A connection owed is opened once the ended connection's initialisation work let go.
    bool openAfterInit_ = false;
    // The stop mark (see askEnd), read by the initialisation's looks on any thread.
    std::atomic<uint64_t> endMark_{0};
    // Initialisation work queued and not yet ended; shared with that work, which counts itself
    // down after letting the reader go.
    const std::shared_ptr<std::atomic<int>> initWork_ = std::make_shared<std::atomic<int>>(0);

    // The order of the events told to the application.
    const std::shared_ptr<EventSequence> events_;
    const std::shared_ptr<DispatchQueue> keepAliveQueue_;
    const std::shared_ptr<DispatchQueue> initReaderQueue_;
    // Wakes a resting keep-alive loop when something it tests changes.
    const std::shared_ptr<Signal> keepAliveWake_ = std::make_shared<Signal>();
    const std::shared_ptr<std::atomic<int>> keepAliveLoops_ = std::make_shared<std::atomic<int>>(0);

    mutable std::mutex fieldsLock_;
    std::shared_ptr<BaseUhf> uhf_;
    std::shared_ptr<BaseEngine> engine_;
    std::shared_ptr<DispatchWorkItem> keepAliveWorkItem_;
    std::shared_ptr<DispatchWorkItem> initReaderWorkItem_;
    std::string address_;
    std::string macAddress_;

    mutable std::mutex lockInitEngine_;
    bool initEngine_ = false;

    mutable std::mutex delegateLock_;
    std::weak_ptr<ReaderDelegate> readerDelegate_;
    std::weak_ptr<RfidDelegate> rfidDelegate_;
    std::weak_ptr<BarcodeDelegate> barcodeDelegate_;
};

}  // namespace orvane
