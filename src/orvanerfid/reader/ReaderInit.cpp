// The initialisation of a connection: from the transport's Connected report to the reader's
// Connected state. It runs on the init queue, except the scan-engine steps, which run on the
// global queue within 7000 ms of the start of the initialisation.
//
// Every step carries the connection generation it was queued for. Once a newer connection (or
// the end of this one) has moved the generation on, the sequence stops quietly: it never sets
// Connected for, starts a loop on, or disconnects a connection that is not its own.

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

const char* text(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::shared_ptr<TimeoutControl> UhfReader::initReaderTimeoutCtrl() const {
    std::lock_guard guard(initLock_);
    return initReaderTimeoutCtrl_;
}

void UhfReader::failInit(uint64_t generation, const std::string& message) {
    orvLogger::error(TAG(), message);
    closeConnection(generation);
}

void UhfReader::stopInit(uint64_t generation, const std::string& opening,
                         const std::string& closing) {
    orvLogger::trace(TAG(), opening + text(triggerDisconnect()) + closing);
    closeConnection(generation);
}

void UhfReader::asyncInitReader(uint64_t generation) {
    orvLogger::trace(TAG(), "+++ asyncInitReader()");
    const auto device = baseDevice();
    if (!device) {
        failInit(generation, "asyncInitReader() - baseDevice is nil");
        orvLogger::trace(TAG(), "--- asyncInitReader()");
        return;
    }
    if (device->supportMultipleSetting()) {
        {
            std::lock_guard guard(initLock_);
            initReaderTimeoutCtrl_ = std::make_shared<TimeoutControl>(kInitBudget);
        }
        initReaderViaMultiSetting(generation);
        orvLogger::trace(TAG(), "--- asyncInitReader()");
        return;
    }
    bool done = initReader(generation);
    for (int attempt = 0; !done; ++attempt) {
        if (!isCurrentConnection(generation)) break;
        if (triggerDisconnect()) {
            stopInit(generation, "asyncInitReader() - triggerDisconnect is ", ", stop init reader");
            break;
        }
        if (connectState() != ConnectState::connecting) {
            orvLogger::trace(TAG(),
                             "asyncInitReader() Connect state is not connecting, stop "
                             "init reader");
            closeConnection(generation);
            break;
        }
        orvLogger::debug(device->className(), " *** Stop protocol");
        device->baseProtocol()->stop();
        orvLogger::debug(device->className(), " *** Start protocol");
        if (!device->baseProtocol()->start()) {
            orvLogger::error(device->className(), "Start protocol failed");
        }
        if (attempt == kRetries) {
            failInit(generation, " - Failed to initialize reader");
            break;
        }
        orvLogger::debug(
            TAG(), "asyncInitReader() Initial reader fail, retry : " + std::to_string(attempt));
        Clock::sleepForMs(kRetryPause);
        if (!isCurrentConnection(generation)) break;
        done = initReader(generation);
    }
    if (done) finishInitialisation(generation);
    orvLogger::trace(TAG(), "--- asyncInitReader()");
}

void UhfReader::initReaderViaMultiSetting(uint64_t generation) {
    orvLogger::trace(TAG(), "Initializing reader via MultipleSetting command");
    const auto device = baseDevice();
    if (!device) {
        orvLogger::error(TAG(), "initReaderViaMultiSetting() - baseDevice is nil");
        return;
    }
    const std::string opening = "initReaderViaMultiSetting() - triggerDisconnect is ";
    const std::string closing = ", stop init reader";
    // True (after the stop path) when a disconnect was asked for or the connection moved on.
    const auto stopped = [&] {
        if (!isCurrentConnection(generation)) return true;
        if (!triggerDisconnect()) return false;
        stopInit(generation, opening, closing);
        return true;
    };
    device->baseProtocol()->pumpEvent(ProtocolEventArgs(ProtocolEventId::resetBuffer));
    if (stopped()) return;
    try {
        device->initDevice();
    } catch (const std::exception& e) {
        failInit(generation, std::string(" - Failed to init device ") + e.what());
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
                        failInit(generation, "initReaderViaMultiSetting() - Failed to usbSPP Mode");
                        return;
                    }
                    setAutoReconnect(true);
                    device->setConnectionMode(ConnectionMode::usbSpp);
                    if (isCurrentConnection(generation)) {
                        closeConnection(generation);
                    } else {
                        setAutoReconnect(false);
                    }
                    return;
                }
            } catch (const std::exception&) {
                setAutoReconnect(false);
                failInit(generation, "initReaderViaMultiSetting() - Failed to usbSPP Mode");
                return;
            }
        }
    }
    if (stopped()) return;
    try {
        const uint8_t type = device->getModuleInfo(kRadioModule);
        allocateUhf(static_cast<UhfModuleType>(type));
    } catch (const std::exception&) {
        failInit(generation, "initReaderViaMultiSetting() - Failed to get RFID UHF module");
        return;
    }
    const auto uhf = this->uhf();
    if (!uhf) {
        failInit(generation, "initReaderViaMultiSetting() - RFID UHF module is nil");
        return;
    }
    if (!uhf->initModule()) {
        failInit(generation, "initReaderViaMultiSetting() - Failed to initialize RFID UHF module");
        return;
    }
    if (const auto module = uhf->uhfModule()) {
        module->pumpEvent(ProtocolEventId::firmwareVersion, transport->firmwareRevision());
    }
    if (stopped()) return;
    alive();
    if (device->hasEngine()) {
        initEngineInfo(generation, false);
        return;
    }
    finishInitialisation(generation);
}

bool UhfReader::initReader(uint64_t generation) {
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
        if (!isCurrentConnection(generation)) return true;
        if (!triggerDisconnect()) return false;
        orvLogger::trace(TAG(), "initReader() - triggerDisconnect is true, stop init reader");
        return true;
    };
    if (stopped()) return failed();
    try {
        device->initDevice();
    } catch (const std::exception& e) {
        orvLogger::error(TAG(), std::string(" - Failed to init device ") + e.what());
        return failed();
    }
    if (stopped()) return failed();
    try {
        allocateUhf(static_cast<UhfModuleType>(device->getModuleInfo(kRadioModule)));
    } catch (const std::exception&) {
        orvLogger::error(TAG(), "initReader() - Failed to get RFID UHF module");
        return failed();
    }
    const auto uhf = this->uhf();
    if (!uhf) {
        orvLogger::error(TAG(), "initReader() - RFID UHF module is nil");
        return failed();
    }
    if (!uhf->initModule()) {
        orvLogger::error(TAG(), "initReader() - Failed to initialize RFID UHF module");
        return failed();
    }
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
    initEngineInfo(connectionGeneration(), true);
}

void UhfReader::initEngineInfo(uint64_t generation, bool rerun) {
    setInitEngine(true);
    if (rerun) {
        // An engine-ready event gets a budget of its own.
        std::lock_guard guard(initLock_);
        initReaderTimeoutCtrl_ = std::make_shared<TimeoutControl>(kInitBudget);
    }
    auto self = std::static_pointer_cast<UhfReader>(shared_from_this());
    DispatchQueue::global()->async(
        [self, generation, rerun] { self->engineTask(generation, rerun); }, DispatchWork::library);
}

void UhfReader::engineTask(uint64_t generation, bool rerun) {
    orvLogger::trace(TAG(), "*** initEngineInfo()");
    const auto endTask = [&] { setInitEngine(false); };
    const auto stop = [&](const std::string& opening, const std::string& closing) {
        endTask();
        stopInit(generation, opening, closing);
    };
    // A re-run on an engine-ready event never ends the connection: it only logs.
    const auto timeoutExit = [&] {
        endTask();
        if (rerun) {
            orvLogger::error(TAG(), " - Failed to initial reader");
        } else {
            failInit(generation, " - Failed to initial reader");
        }
    };
    const std::string opening = "initEngineInfo() - triggerDisconnect is ";
    const std::string closing = ", stop init reader";
    if (triggerDisconnect()) return stop(opening, closing);
    const auto timeout = initReaderTimeoutCtrl();
    if (!timeout) return timeoutExit();
    // Ends the task quietly once its connection is gone.
    const auto stale = [&] {
        if (isCurrentConnection(generation)) return false;
        endTask();
        return true;
    };

    while (true) {
        if (stale()) return;
        if (timeout->isTimeout()) return timeoutExit();
        orvLogger::trace(TAG(), "initEngineInfo() - Get engine model");
        if (triggerDisconnect()) return stop(opening, closing);
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
                if (triggerDisconnect()) return stop(opening, closing);
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
        if (triggerDisconnect()) return stop("triggerDisconnect is ", ", stop initial reader");
        Clock::sleepForMs(kEnginePoll);
    }

    orvLogger::info(TAG(), "Engine Version: " + version.value_or(""));
    if (version) {
        if (const auto engine = this->engine()) {
            engine->protocolEvent(ProtocolEventArgs(ProtocolEventId::engineVersion, *version));
        }
    }
    finishInitialisation(generation);
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
