// The initialisation of a connection: from the transport's Connected report to the reader's
// Connected state. It runs on the init queue, except the scan-engine steps, which run on the
// global queue within 7000 ms of the start of the initialisation.
//
// Every step carries the number of the connection it was queued for. Once that connection is no
// longer the reader's current one (it ended, or a newer one was reported), the sequence stops
// quietly: it never sets Connected for, starts a loop on, or disconnects a connection that is
// not its own.

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/BaseTransport.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/UhfReader.h"
#include "orvanerfid/uhf/UhfFactory.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"

namespace orvane {
namespace {

constexpr int kInitBudget = 7000;
constexpr int kEnginePoll = 100;
constexpr int kRetryPause = 500;
constexpr int kRetries = 3;
constexpr uint8_t kRadioModule = 2;
constexpr uint8_t kScanEngine = 1;
constexpr std::string_view kVk210Name = "VK210";
constexpr const char* kStopClosing = ", stop init reader";
constexpr const char* kAsyncInitStop = "asyncInitReader() - triggerDisconnect is ";
constexpr const char* kMultiSettingStop = "initReaderViaMultiSetting() - triggerDisconnect is ";
constexpr const char* kEngineStop = "initEngineInfo() - triggerDisconnect is ";

const char* text(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::shared_ptr<TimeoutControl> UhfReader::initReaderTimeoutCtrl() const {
    std::lock_guard guard(initLock_);
    return initReaderTimeoutCtrl_;
}

void UhfReader::failInit(uint64_t link, const std::string& message, const std::string& opening) {
    // A step that failed because the application's disconnect() is ending the connection (an
    // exchange cut short, or one that never got its answer) takes the stop path, not the failure
    // path: the end was asked for.
    if (endAsked(link)) return stopInit(link, opening, kStopClosing);
    orvLogger::error(TAG(), message);
    closeConnection(link);
}

void UhfReader::stopInit(uint64_t link, const std::string& opening, const std::string& closing) {
    orvLogger::trace(TAG(), opening + text(endAsked(link)) + closing);
    closeConnection(link);
}

void UhfReader::asyncInitReader(uint64_t link) {
    orvLogger::trace(TAG(), "+++ asyncInitReader()");
    const auto device = baseDevice();
    if (!device) {
        failInit(link, "asyncInitReader() - baseDevice is nil", kAsyncInitStop);
        orvLogger::trace(TAG(), "--- asyncInitReader()");
        return;
    }
    if (device->supportMultipleSetting()) {
        {
            std::lock_guard guard(initLock_);
            initReaderTimeoutCtrl_ = std::make_shared<TimeoutControl>(kInitBudget);
        }
        initReaderViaMultiSetting(link);
        orvLogger::trace(TAG(), "--- asyncInitReader()");
        return;
    }
    bool done = initReader(link);
    for (int attempt = 0; !done; ++attempt) {
        if (!isCurrentConnection(link)) break;
        if (endAsked(link)) {
            stopInit(link, kAsyncInitStop, kStopClosing);
            break;
        }
        if (connectState() != ConnectState::connecting) {
            orvLogger::trace(TAG(),
                             "asyncInitReader() Connect state is not connecting, stop "
                             "init reader");
            closeConnection(link);
            break;
        }
        orvLogger::debug(device->className(), " *** Stop protocol");
        device->baseProtocol()->stop();
        orvLogger::debug(device->className(), " *** Start protocol");
        if (!device->baseProtocol()->start()) {
            orvLogger::error(device->className(), "Start protocol failed");
        }
        if (attempt == kRetries) {
            failInit(link, " - Failed to initialize reader", kAsyncInitStop);
            break;
        }
        orvLogger::debug(
            TAG(), "asyncInitReader() Initial reader fail, retry : " + std::to_string(attempt));
        Clock::sleepForMs(kRetryPause);
        if (!isCurrentConnection(link)) break;
        done = initReader(link);
    }
    if (done) finishInitialisation(link);
    orvLogger::trace(TAG(), "--- asyncInitReader()");
}

void UhfReader::initReaderViaMultiSetting(uint64_t link) {
    orvLogger::trace(TAG(), "Initializing reader via MultipleSetting command");
    const auto device = baseDevice();
    if (!device) {
        orvLogger::error(TAG(), "initReaderViaMultiSetting() - baseDevice is nil");
        return;
    }
    const std::string opening = kMultiSettingStop;
    const std::string closing = kStopClosing;
    // True (after the stop path) when a disconnect was asked for or the connection moved on.
    const auto stopped = [&] {
        if (!isCurrentConnection(link)) return true;
        if (!endAsked(link)) return false;
        stopInit(link, opening, closing);
        return true;
    };
    device->baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::resetBuffer));
    if (stopped()) return;
    try {
        device->initDevice();
    } catch (const std::exception& e) {
        failInit(link, std::string(" - Failed to init device ") + e.what(), opening);
        return;
    }
    const auto transport = baseTransport();
    if (transport->deviceType() == DeviceType::vk210) {
        if (stopped()) return;
        if (transport->deviceName() == kVk210Name) {
            try {
                const ConnectionMode mode = device->getConnectionMode();
                if (mode != ConnectionMode::usbSpp) {
                    // One switch per application connect(): a reader that still reports
                    // another mode after the switch and its reconnect is given up.
                    const uint64_t connects = applicationConnects();
                    if (modeSwitchedFor_.exchange(connects) == connects) {
                        setAutoReconnect(false);
                        failInit(link, "initReaderViaMultiSetting() - Failed to usbSPP Mode",
                                 opening);
                        return;
                    }
                    setAutoReconnect(true);
                    device->setConnectionMode(ConnectionMode::usbSpp);
                    if (isCurrentConnection(link)) {
                        closeConnection(link);
                    } else {
                        setAutoReconnect(false);
                    }
                    return;
                }
            } catch (const std::exception&) {
                setAutoReconnect(false);
                failInit(link, "initReaderViaMultiSetting() - Failed to usbSPP Mode", opening);
                return;
            }
        }
    }
    if (stopped()) return;
    try {
        const uint8_t type = device->getModuleInfo(kRadioModule);
        allocateUhf(static_cast<UhfModuleType>(type));
    } catch (const std::exception&) {
        failInit(link, "initReaderViaMultiSetting() - Failed to get RFID UHF module", opening);
        return;
    }
    const auto uhf = this->uhf();
    if (!uhf) {
        failInit(link, "initReaderViaMultiSetting() - RFID UHF module is nil", opening);
        return;
    }
    if (!uhf->initModule()) {
        failInit(link, "initReaderViaMultiSetting() - Failed to initialize RFID UHF module",
                 opening);
        return;
    }
    if (const auto module = uhf->uhfModule()) {
        module->pumpEvent(ProtocolEventId::firmwareVersion, transport->firmwareRevision());
    }
    if (stopped()) return;
    alive();
    if (device->hasEngine()) {
        initEngineInfo(link, false);
        return;
    }
    finishInitialisation(link);
}

bool UhfReader::initReader(uint64_t link) {
    orvLogger::trace(TAG(), "+++ InitReader");
    const auto failed = [&] {
        orvLogger::trace(TAG(), "--- InitReader");
        return false;
    };
    const auto device = baseDevice();
    if (!device) {
        orvLogger::error(TAG(), "initReader() - baseDevice is nil");
        return failed();
    }
    const auto stopped = [&] {
        if (!isCurrentConnection(link)) return true;
        if (!endAsked(link)) return false;
        orvLogger::trace(TAG(), "initReader() - triggerDisconnect is true, stop init reader");
        return true;
    };
    // A step that failed because a disconnect() is ending the connection stops instead.
    const auto fail = [&](const std::string& text) {
        if (!stopped()) orvLogger::error(TAG(), text);
        return failed();
    };
    if (stopped()) return failed();
    try {
        device->initDevice();
    } catch (const std::exception& e) {
        return fail(std::string(" - Failed to init device ") + e.what());
    }
    if (stopped()) return failed();
    try {
        allocateUhf(static_cast<UhfModuleType>(device->getModuleInfo(kRadioModule)));
    } catch (const std::exception&) {
        return fail("initReader() - Failed to get RFID UHF module");
    }
    const auto uhf = this->uhf();
    if (!uhf) {
        orvLogger::error(TAG(), "initReader() - RFID UHF module is nil");
        return failed();
    }
    if (!uhf->initModule()) return fail("initReader() - Failed to initialize RFID UHF module");
    if (const auto module = uhf->uhfModule()) {
        module->pumpEvent(ProtocolEventId::firmwareVersion, baseTransport()->firmwareRevision());
    }
    if (stopped()) return failed();
    if (device->hasEngine()) {
        EngineModel model = EngineModel::unknown;
        try {
            model = fromRaw<EngineModel>(device->getModuleInfo(kScanEngine))
                        .value_or(EngineModel::unknown);
        } catch (const std::exception& e) {
            orvLogger::warn(TAG(), std::string("initReader() - Scanner not found - ") + e.what());
        }
        orvLogger::trace(TAG(), "Engine Model: [" + std::string(description(model)) + "]");
        if (model != EngineModel::unknown) {
            if (stopped()) return failed();
            try {
                allocateEngine(device->getEngineModel());
            } catch (const std::exception&) {
                orvLogger::error(TAG(), "initReader() - Failed to get Engine module");
            }
            if (const auto engine = this->engine()) {
                if (stopped()) return failed();
                try {
                    const std::string version = device->getEngineVersion();
                    // The engine object learns its version here too.
                    engine->protocolEvent(
                        ProtocolEventArgs(ProtocolEventId::engineVersion, version));
                    orvLogger::info(TAG(), "Engine Version: [" + version + "]");
                } catch (const std::exception&) {
                    orvLogger::error(TAG(), "initReader() - Failed to get Engine Version");
                }
            }
        }
    }
    orvLogger::trace(TAG(), "--- InitReader");
    return true;
}

void UhfReader::initEngineInfo() {
    // Without a link there is no engine to ask.
    if (baseTransport()->connectState() != ConnectState::connected) return;
    initEngineInfo(currentLink(), true);
}

void UhfReader::initEngineInfo(uint64_t link, bool rerun) {
    setInitEngine(true);
    if (rerun) {
        // An engine-ready event gets a budget of its own.
        std::lock_guard guard(initLock_);
        initReaderTimeoutCtrl_ = std::make_shared<TimeoutControl>(kInitBudget);
    }
    queueInitWork(DispatchQueue::global(), [link, rerun](BaseReader& reader) {
        static_cast<UhfReader&>(reader).engineTask(link, rerun);
    });
}

void UhfReader::engineTask(uint64_t link, bool rerun) {
    orvLogger::trace(TAG(), "*** initEngineInfo()");
    const auto endTask = [&] { setInitEngine(false); };
    const auto stop = [&](const std::string& opening, const std::string& closing) {
        endTask();
        stopInit(link, opening, closing);
    };
    // A re-run on an engine-ready event never ends the connection: it only logs.
    const auto timeoutExit = [&] {
        endTask();
        if (rerun) {
            orvLogger::error(TAG(), " - Failed to initial reader");
        } else {
            failInit(link, " - Failed to initial reader", kEngineStop);
        }
    };
    const std::string opening = kEngineStop;
    const std::string closing = kStopClosing;
    if (endAsked(link)) return stop(opening, closing);
    const auto timeout = initReaderTimeoutCtrl();
    if (!timeout) return timeoutExit();
    // Ends the task quietly once its connection is gone.
    const auto stale = [&] {
        if (isCurrentConnection(link)) return false;
        endTask();
        return true;
    };

    while (true) {
        if (stale()) return;
        if (timeout->isTimeout()) return timeoutExit();
        orvLogger::trace(TAG(), "initEngineInfo() - Get engine model");
        if (endAsked(link)) return stop(opening, closing);
        const auto device = baseDevice();
        if (!device) {
            orvLogger::error(TAG(), "initEngineInfo() - Engine model is unknown");
        } else {
            EngineModel model = EngineModel::unknown;
            bool read = false;
            try {
                model = device->getEngineModel();
                read = true;
            } catch (const std::exception&) {
                orvLogger::error(TAG(), "initEngineInfo() - Failed to get Engine module");
                if (endAsked(link)) return stop(opening, closing);
            }
            if (read && model == EngineModel::unknown) {
                orvLogger::error(TAG(), "initEngineInfo() - Engine model is unknown");
            } else if (read) {
                try {
                    allocateEngine(model);
                } catch (const std::exception& e) {
                    orvLogger::error(TAG(), std::string("initEngineInfo() - Failed to allocate "
                                                        "engine - ") +
                                                e.what());
                }
                break;
            }
        }
        Clock::sleepForMs(kEnginePoll);
    }

    std::optional<std::string> version;
    while (true) {
        if (stale()) return;
        if (timeout->isTimeout()) return timeoutExit();
        orvLogger::trace(TAG(), "initEngineInfo() *** Get Engine Version");
        const auto device = baseDevice();
        if (!device) {
            version = std::string();
            break;
        }
        try {
            version = device->getEngineVersion();
            break;
        } catch (const CodedError& e) {
            if (e.resultCode() == ResultCode::notSupported) {
                orvLogger::warn(TAG(), "Get engine version not supported");
                break;
            }
            orvLogger::error(TAG(), "Get engine version exception: " + e.description());
        } catch (const std::exception& e) {
            orvLogger::error(TAG(), std::string("Get engine version exception: ") + e.what());
        }
        if (endAsked(link)) return stop("triggerDisconnect is ", ", stop initial reader");
        Clock::sleepForMs(kEnginePoll);
    }

    orvLogger::info(TAG(), "Engine Version: " + version.value_or(""));
    if (version) {
        if (const auto engine = this->engine()) {
            engine->protocolEvent(ProtocolEventArgs(ProtocolEventId::engineVersion, *version));
        }
    }
    finishInitialisation(link);
    endTask();
}

void UhfReader::allocateUhf(UhfModuleType type) {
    const bool known = type == UhfModuleType::st25ru3993 || type == UhfModuleType::qm5520;
    if (!known) throw ReaderException(ResultCode::notSupported, "Unknown UHF module type");
    const auto device = baseDevice();
    if (!device) throw ReaderException(ResultCode::otherError, "Device is nil");
    // A new object for each initialisation; the application's UhfDelegate moves to it.
    setUhf(makeUhf(type, weak_from_this(), device, uhf()));
}

void UhfReader::allocateEngine(EngineModel engineModel) {
    auto engine = BaseEngine::create(engineModel, weak_from_this());
    if (!engine) {
        orvLogger::error(TAG(), "allocateEngine(engineModel:) " +
                                    std::string(description(engineModel)) + " not supported");
        throw ReaderException(ResultCode::notSupported, "");
    }
    setEngine(std::move(engine));
}

}  // namespace orvane
