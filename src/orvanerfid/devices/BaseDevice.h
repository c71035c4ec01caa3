#pragma once

// The device object of one connected reader: it owns the model's protocol object, answers the
// per-setting operations (those its model lacks with "Not Supported"), reads and writes
// settings by DeviceParamId singly or many in one exchange, and turns protocol events into the
// events its reader delivers.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/devices/BaseDeviceDelegate.h"
#include "orvanerfid/devices/DeviceOperations.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/link/CheckResponse.h"
#include "orvanerfid/params/DeviceParam.h"

namespace orvane {

// Threads: the operations run on the caller's thread (the reader's operation, initialisation
// and keep-alive queues) and may overlap; every exchange goes through the protocol's send,
// which keeps exchanges apart on the wire. Each operation blocks for its exchange (3000 ms
// unless stated) and throws ReaderException (or STPacketError, both CodedError) on failure.
// `protocolEvent` runs on the protocol's receive thread or on the thread that pumps an event,
// and calls the delegate there, holding no lock; the delegate (the reader) only queues what it
// tells the application, so the receive thread never waits for the application's delegates.
//
// The device takes one lock of its own, `paramsLock_`, around the values of its supported
// parameter records: single reads store their value there while other threads read the
// records. It is never held across an exchange or a delegate call. Flags written after
// construction (hasEngine, engine model, abort) are atomics; everything else is set in the
// model's constructor and only read afterwards.
//
// The reader back reference is narrowed to what the device reads of it: the reader's transport,
// which is the transport the device's protocol runs on (its firmware revision gates settings).
class BaseDevice : public BaseProtocolDelegate, public std::enable_shared_from_this<BaseDevice> {
  public:
    // The timeout of every exchange unless an operation says otherwise.
    static constexpr int kTimeout = 3000;

    BaseDevice(const BaseDevice&) = delete;
    BaseDevice& operator=(const BaseDevice&) = delete;
    ~BaseDevice() override = default;

    // The log tag of the device's records ("Vk640Device").
    const std::string& className() const { return className_; }

    const std::shared_ptr<BaseProtocol>& baseProtocol() const { return baseProtocol_; }
    // The reader's transport: the one the protocol runs on.
    const std::shared_ptr<BaseTransport>& baseTransport() const {
        return baseProtocol_->transport();
    }
    // Utilities::versionToUInt32 of the transport's firmware revision, read afresh (0 when the
    // transport has none).
    uint32_t firmwareVersionNumber() const;

    DeviceType deviceType() const { return deviceType_; }
    std::shared_ptr<BaseDeviceDelegate> delegate() const;
    void setDelegate(std::weak_ptr<BaseDeviceDelegate> delegate);

    const std::vector<KeyID>& supportedTriggerKeys() const { return supportedTriggerKeys_; }
    bool supportFirmwareUpdate() const { return supportFirmwareUpdate_; }
    bool supportMultipleSetting() const { return supportMultipleSetting_; }
    bool hasRfid() const { return hasRfid_; }
    bool hasEngine() const { return hasEngine_.load(); }
    EngineModel engineModel() const { return engineModel_.load(); }
    bool _abortUpdate() const { return abortUpdate_.load(); }
    void set_abortUpdate(bool abort) { abortUpdate_.store(abort); }

    // The model's supported settings, in its order.
    const std::vector<DeviceParamId>& _supportedIds() const { return supportedIds_; }
    // Copies of the supported records with their last values read.
    std::vector<DeviceParam> _supportedParameters() const;

    // Makes this device its protocol's delegate (weakly) and starts the protocol's receive
    // loop; false (after an ERROR line) when the protocol does not start.
    bool start();

    // The model's start-up exchange, run once by the reader's initialisation.
    virtual void initDevice() = 0;
    // The model's answer about one of its modules (2: the radio module's UhfModuleType).
    virtual uint8_t getModuleInfo(uint8_t kind) = 0;

    // The per-setting operations (see DeviceOperations.h). Each answers ReaderException 0x4001
    // with an empty message, sending and logging nothing, unless the model overrides it.
#define ORV_DEVICE_DECLARE_GET_(setting, Value, name) virtual Value name();
#define ORV_DEVICE_DECLARE_SET_(setting, Value, name) virtual void name(Value value);
#define ORV_DEVICE_DECLARE_ACTION_(setting, name) virtual void name();
#define ORV_DEVICE_DECLARE_CALL_(Result, name, ...) virtual Result name(__VA_ARGS__);
    ORV_DEVICE_OPERATIONS(ORV_DEVICE_DECLARE_GET_, ORV_DEVICE_DECLARE_SET_,
                          ORV_DEVICE_DECLARE_ACTION_, ORV_DEVICE_DECLARE_CALL_)
#undef ORV_DEVICE_DECLARE_GET_
#undef ORV_DEVICE_DECLARE_SET_
#undef ORV_DEVICE_DECLARE_ACTION_
#undef ORV_DEVICE_DECLARE_CALL_

    // The keep-alive exchange. The base logs "Trigger alive is not implemented!" at ERROR and
    // returns.
    virtual void triggerAlive();

    // True when the model lists `id` and the transport's firmware version lies within the
    // record's version window (both ends included).
    bool isSupported(DeviceParamId id) const;
    // Throws ReaderException 0x4001 (after the ERROR line "<desc> does not support!") when
    // `id` is not supported.
    void checkSupported(DeviceParamId id) const;
    // A copy of the supported record of `id`; ReaderException 0x4001 when the model lists none.
    DeviceParam getSupportedParameter(DeviceParamId id) const;

    // Reads one setting through its operation and stores the value in the supported record;
    // returns that record. Refuses an unsupported id (0x4001), an action (0x5002) and Trigger
    // Key Status (0xFFFD: it has one value per key, read it with getParameters). A failed read
    // leaves the record as it was.
    DeviceParam getParameter(DeviceParamId id);
    // Writes one setting (or runs one action) through its operation. Refuses an unsupported id
    // (0x4001), a read-only id or a value that is no device text of the id (0x5002), sending
    // nothing.
    void setParameter(const DeviceParam& deviceParam);

    // Reads many settings in one exchange (all supported ones for no list). Unsupported ids
    // (ERROR) and actions (WARN) are skipped, a repeated id is asked once; the result holds the
    // records that decoded, in reply order. An empty list sends nothing. Throws 0x4001 for a
    // model without multiple setting, 0x5002 when the replies would pass 255, and the
    // exchange's error.
    std::vector<DeviceParam> getParameters(
        std::optional<std::vector<DeviceParamId>> deviceParamIds);
    // Writes many settings in one exchange. Unsupported and read-only records, and values the
    // model will not write, are skipped with a WARN line; for a repeated id the last record
    // counts. Nothing to write returns at once with nothing sent. Throws 0x4001 for a model
    // without multiple setting, 0x5002 when the replies would pass 255, the exchange's error and
    // the first reply that fails verification.
    void setParameters(const std::vector<DeviceParam>& deviceParams);

    // Turns one protocol event into the delegate's event (see the .cpp for the table). Never
    // throws.
    void protocolEvent(const ProtocolEventArgs& protocolEventArgs) override;
    // What the reader keeps of its protocol's receive loops (see BaseProtocolDelegate): each
    // call runs what `setLoopRecords` gave, if anything.
    struct LoopRecords {
        std::function<uint64_t()> starting;
        std::function<void(uint64_t loop)> finished;
        std::function<void(uint64_t loop, std::size_t count)> endedTags;
    };
    uint64_t receiveStarting() override;
    void receiveFinished(uint64_t loop) override;
    void endedTagReports(uint64_t loop, std::size_t count) override;
    // Set once, before the reader connects.
    void setLoopRecords(LoopRecords records) {
        loopRecords_ = std::move(records);
    }

  protected:
    BaseDevice(std::string className, std::shared_ptr<BaseProtocol> baseProtocol);

    // Makes this device its protocol's delegate (held weakly). The models' factories call it
    // once the device is owned by a shared_ptr; until then no event reaches the device.
    void attachToProtocol();

    // Construction-time settings of the model.
    void setDeviceType(DeviceType type) {
        deviceType_ = type;
    }
    void setSupportedTriggerKeys(std::vector<KeyID> keys) {
        supportedTriggerKeys_ = std::move(keys);
    }
    void setSupportFirmwareUpdate(bool support) {
        supportFirmwareUpdate_ = support;
    }
    void setSupportMultipleSetting(bool support) {
        supportMultipleSetting_ = support;
    }
    void setHasRfid(bool has) {
        hasRfid_ = has;
    }
    void setHasEngine(bool has) {
        hasEngine_.store(has);
    }
    // Stores the records and their ids in the same order.
    void setSupportedParameters(std::vector<DeviceParam> parameters);

    // Hooks of the multi-setting exchange, supplied by every model. The packing hooks give no
    // bytes (after a WARN line) for a setting they cannot pack or a value they will not write;
    // they never throw.
    virtual Bytes getBytePackage(const DeviceParam& deviceParam) = 0;
    virtual Bytes setBytePackage(const DeviceParam& deviceParam) = 0;
    // How many replies the request of `id` brings back: 1, except 0 for the settings that
    // need no exchange (Inventory Indicator, Auto Off Time List). A model whose reader sends
    // no reply for a request (or whose protocol drops it) answers 0 for it.
    virtual uint8_t getResponseCount(DeviceParamId id);
    // The records the concatenated replies hold, for the list of ids asked. Never throws.
    virtual std::vector<DeviceParam> responseDataToDeviceParam(
        ByteView data, const std::vector<DeviceParamId>& ids) = 0;
    // Checks the concatenated replies of a multi-set; throws the first failure.
    virtual void verifySetResult(ByteView data) = 0;

    // Sends `data` and passes the Response through checkResponse with `tag`.
    Bytes exchange(std::string_view tag, ByteView data, int timeout = kTimeout);

    void logTrace(std::string_view text) const;
    void logDebug(std::string_view text) const;
    void logWarn(std::string_view text) const;
    void logError(std::string_view text) const;

  private:
    DeviceValue readSetting(DeviceParamId id);
    void writeSetting(const DeviceParam& deviceParam);
    void deliverEvent(const ProtocolEventArgs& event, BaseDeviceDelegate& delegate);
    BarcodeEventArgs barcodeEvent(const ProtocolBarcodeEventArgs& barcode) const;
    // One exchange for a multi-setting request expecting `replies` replies.
    Response multiExchange(const Bytes& request, int replies);

    const std::string className_;
    const std::shared_ptr<BaseProtocol> baseProtocol_;
    DeviceType deviceType_ = DeviceType::unknown;
    mutable std::mutex delegateLock_;
    std::weak_ptr<BaseDeviceDelegate> delegate_;
    LoopRecords loopRecords_;
    std::vector<KeyID> supportedTriggerKeys_;
    bool supportFirmwareUpdate_ = false;
    bool supportMultipleSetting_ = false;
    std::vector<DeviceParamId> supportedIds_;
    mutable std::mutex paramsLock_;
    std::vector<DeviceParam> supportedParameters_;
    std::atomic<bool> abortUpdate_{false};
    std::atomic<EngineModel> engineModel_{EngineModel::unknown};
    std::atomic<bool> hasEngine_{false};
    bool hasRfid_ = false;
};

}  // namespace orvane
