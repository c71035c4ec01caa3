// The device-setting operations of the reader: one path (performAsync) and one definition per
// row of the device's operation list.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/BaseReader.h"

namespace orvane {

void BaseReader::performAsync(const char* signature,
                              std::function<std::function<void()>(BaseDevice&)> work,
                              std::function<void(ResultCode)> failed) {
    // The work holds the reader, so a reader released right after the call still completes it.
    DispatchQueue::global(DispatchQoS::default_)
        ->async([self = shared_from_this(), signature, work = std::move(work),
                 failed = std::move(failed)] {
            std::function<void()> done;
            ResultCode code = ResultCode::noError;
            try {
                done = work(*self->assertDevice());
            } catch (const CodedError& e) {
                orvLogger::error(self->TAG(),
                                 std::string(signature) + " Error: " + e.description());
                code = e.resultCode();
            } catch (const std::exception& e) {
                orvLogger::error(self->TAG(), std::string(signature) + " Other error: " + e.what());
                code = ResultCode::otherError;
            } catch (...) {
                orvLogger::error(self->TAG(),
                                 std::string(signature) + " Other error: unknown exception");
                code = ResultCode::otherError;
            }
            try {
                if (code == ResultCode::noError) {
                    if (done) done();
                } else if (failed) {
                    failed(code);
                }
            } catch (const std::exception& e) {
                self->reportCallbackError(signature, e.what());
            } catch (...) {
                self->reportCallbackError(signature, "unknown exception");
            }
        });
}

// The shapes of the operations on performAsync.
struct ReaderOperations {
    // A reading: the value reaches the completion with 0x0000.
    template <class T, class Call>
    static void read(BaseReader& reader, const char* signature, Call call,
                     ValueCompletion<T> completion) {
        reader.performAsync(
            signature,
            [call = std::move(call), completion](BaseDevice& device) -> std::function<void()> {
                std::optional<T> value(call(device));
                return [completion, value = std::move(value)] {
                    if (completion) completion(ResultCode::noError, value);
                };
            },
            [completion](ResultCode code) {
                if (completion) completion(code, std::nullopt);
            });
    }

    // A writing or an action; `endLink` ends the connection it ran on after success.
    template <class Call>
    static void run(BaseReader& reader, const char* signature, bool endLink, Call call,
                    ResultCompletion completion) {
        std::weak_ptr<BaseReader> weak = reader.weak_from_this();
        reader.performAsync(
            signature,
            [call = std::move(call), completion, endLink,
             weak](BaseDevice& device) -> std::function<void()> {
                // The connection the call ran on is the one it ends, never a later one.
                const auto self = weak.lock();
                const uint64_t link = self ? self->baseTransport()->linkNumber() : 0;
                call(device);
                if (endLink && self) self->closeConnection(link);
                return [completion] {
                    if (completion) completion(ResultCode::noError);
                };
            },
            [completion](ResultCode code) {
                if (completion) completion(code);
            });
    }
};

// --- One definition per row of the device's operation list ---

#define ORV_READER_DEFINE_TWIN_twin(name, Value)                   \
    void BaseReader::name##_OC(TwinCompletion<Value> completion) { \
        name(twinOf<Value>(std::move(completion)));                \
    }
#define ORV_READER_DEFINE_TWIN_noTwin(name, Value)
#define ORV_READER_DEFINE_TWIN_autoOfftimeTwin(name, Value)                    \
    void BaseReader::getAutoOfftimeList_OC(TwinCompletion<Value> completion) { \
        name(twinOf<Value>(std::move(completion)));                            \
    }
// An absent number stays absent.
#define ORV_READER_DEFINE_TWIN_optionalTwin(name, Value)                                     \
    void BaseReader::name##_OC(ValueCompletion<uint64_t> completion) {                       \
        name([completion = std::move(completion)](ResultCode code, std::optional<Value> v) { \
            if (completion) {                                                                \
                completion(code, v ? std::optional<uint64_t>(*v) : std::nullopt);            \
            }                                                                                \
        });                                                                                  \
    }
#define ORV_READER_DEFINE_GET_(setting, Value, name)                                        \
    void BaseReader::name(ValueCompletion<Value> completion) {                              \
        ReaderOperations::read<Value>(                                                      \
            *this, #name "(completion:)", [](BaseDevice& device) { return device.name(); }, \
            std::move(completion));                                                         \
    }                                                                                       \
    ORV_READER_CAT(ORV_READER_DEFINE_TWIN_, ORV_READER_FORM(name, twin))(name, Value)
#define ORV_READER_DEFINE_SET_(setting, Value, name)                                \
    void BaseReader::name(Value value, ResultCompletion completion) {               \
        ReaderOperations::run(                                                      \
            *this, #name "(_:completion:)", endsLink(#name),                        \
            [value = std::move(value)](BaseDevice& device) { device.name(value); }, \
            std::move(completion));                                                 \
    }
#define ORV_READER_DEFINE_ACTION_plain(name)                                   \
    void BaseReader::name(ResultCompletion completion) {                       \
        ReaderOperations::run(                                                 \
            *this, #name "(completion:)", endsLink(#name),                     \
            [](BaseDevice& device) { device.name(); }, std::move(completion)); \
    }
#define ORV_READER_DEFINE_ACTION_optionalCompletion(name) ORV_READER_DEFINE_ACTION_plain(name)
#define ORV_READER_DEFINE_ACTION_noCompletion(name)                                        \
    void BaseReader::name() {                                                              \
        ReaderOperations::run(                                                             \
            *this, #name "()", endsLink(#name), [](BaseDevice& device) { device.name(); }, \
            nullptr);                                                                      \
    }
#define ORV_READER_DEFINE_ACTION_unpairDevice(name)                            \
    void BaseReader::unpairBluetoothDevice(ResultCompletion completion) {      \
        ReaderOperations::run(                                                 \
            *this, "unpairBluetoothDevice(completion:)", endsLink(#name),      \
            [](BaseDevice& device) { device.name(); }, std::move(completion)); \
    }
#define ORV_READER_DEFINE_ACTION_(setting, name) \
    ORV_READER_CAT(ORV_READER_DEFINE_ACTION_, ORV_READER_FORM(name, plain))(name)
#define ORV_READER_DEFINE_CALL_(Result, name, ...)

ORV_DEVICE_OPERATIONS(ORV_READER_DEFINE_GET_, ORV_READER_DEFINE_SET_, ORV_READER_DEFINE_ACTION_,
                      ORV_READER_DEFINE_CALL_)

// --- The rows with arguments of their own ---

void BaseReader::getOperationMode(ValueCompletion<OperatingMode> completion) {
    ReaderOperations::read<OperatingMode>(
        *this, "getOperationMode(completion:)",
        [](BaseDevice& device) { return device.getOperationMode(); }, std::move(completion));
}
void BaseReader::getOperationMode_OC(TwinCompletion<OperatingMode> completion) {
    getOperationMode(twinOf<OperatingMode>(std::move(completion)));
}
void BaseReader::setOperationMode(OperatingMode value, ResultCompletion completion) {
    ReaderOperations::run(
        *this, "setOperationMode(_:completion:)", false,
        [value](BaseDevice& device) { device.setOperationMode(value); }, std::move(completion));
}
void BaseReader::setDisplayOutput(std::string text, uint8_t charPosition, bool clearScreen,
                                  uint8_t linePosition, ResultCompletion completion) {
    ReaderOperations::run(
        *this, "setDisplayOutput(_:charPosition:clearScreen:linePosition:completion:)", false,
        [text = std::move(text), charPosition, clearScreen, linePosition](BaseDevice& device) {
            device.setDisplayOutput(text, charPosition, clearScreen, linePosition);
        },
        std::move(completion));
}
void BaseReader::getKeyFunction(KeyID keyId, ValueCompletion<KeyFunction> completion) {
    ReaderOperations::read<KeyFunction>(
        *this, "getKeyFunction(keyId:completion:)",
        [keyId](BaseDevice& device) { return device.getKeyFunction(keyId); },
        std::move(completion));
}
void BaseReader::getKeyFunction_OC(KeyID keyId, TwinCompletion<KeyFunction> completion) {
    getKeyFunction(keyId, twinOf<KeyFunction>(std::move(completion)));
}
void BaseReader::getBatteryStatusExtended(std::vector<BatteryStatusExtendedType> types,
                                          ValueCompletion<BatteryStatusExtended> completion) {
    ReaderOperations::read<BatteryStatusExtended>(
        *this, "getBatteryStatusExtended(_:completion:)",
        [types = std::move(types)](BaseDevice& device) {
            return device.getBatteryStatusExtended(types);
        },
        std::move(completion));
}
// The value is handed on as it is, absent included.
void BaseReader::getBatteryStatusExtended_OC(std::vector<BatteryStatusExtendedType> types,
                                             ValueCompletion<BatteryStatusExtended> completion) {
    getBatteryStatusExtended(std::move(types), std::move(completion));
}

// --- Firmware update ---

void BaseReader::firmwareUpdate(std::string fileName, Bytes firmware, ResultCompletion completion) {
    // One update at a time. The claim is taken here, on the caller's thread, so that of two calls
    // the first one runs; the other is refused without touching the running update (its blocks,
    // its abort flag) and without a progress report. The running update gives the claim back as
    // its work ends, before its completion runs. Without a device the work never runs, and every
    // call fails before it would look at the claim.
    // The accepted update starts with a clear abort flag, cleared here rather than when its work
    // starts: an abort asked for once this call returns sets the flag at once, possibly before the
    // work begins, and must not be undone.
    bool claimed = false;
    {
        std::lock_guard lock(firmwareUpdateLock_);
        if (!firmwareUpdateRunning_) {
            claimed = firmwareUpdateRunning_ = true;
            if (baseDevice_) baseDevice_->set_abortUpdate(false);
        }
    }
    ReaderOperations::run(
        *this, "firmwareUpdate(_:_:completion:)", false,
        [this, claimed, fileName = std::move(fileName),
         firmware = std::move(firmware)](BaseDevice& device) {
            if (!claimed) {
                throw ReaderException(ResultCode::inOperation,
                                      "A firmware update is already running");
            }
            // performAsync holds the reader while the work runs.
            struct Release {
                BaseReader& reader;
                ~Release() {
                    std::lock_guard lock(reader.firmwareUpdateLock_);
                    reader.firmwareUpdateRunning_ = false;
                }
            } release{*this};
            device.firmwareUpdate(fileName, firmware);
        },
        std::move(completion));
}

void BaseReader::abortFirmwareUpdate() {
    // Without a device no update runs: the call fails as every operation does without one (its
    // record comes from the global queue).
    if (!baseDevice_) {
        ReaderOperations::run(
            *this, "abortFirmwareUpdate()", false, [](BaseDevice&) {}, nullptr);
        return;
    }
    // Only the flag, set here on the caller's thread, whatever the pace of the update's work:
    // the running update tests it between its steps. Under the claim's lock, so that it is set
    // only while an update runs and a later update, which clears it as it takes the claim,
    // never inherits it.
    std::lock_guard lock(firmwareUpdateLock_);
    if (firmwareUpdateRunning_) baseDevice_->set_abortUpdate(true);
}

}  // namespace orvane
