#pragma once

// The reader an application makes for one attached UHF reader: a BaseReader with a second
// delegate (UhfReaderDelegate), the UHF object for the detected radio module, and tag reports
// and access results passed to the RfidDelegate and then into the radio-module driver, which
// hands them to the UHF object and the application's UhfDelegate.
//
// Threads: as BaseReader (see its thread map). Tag reports, access results and the reader's
// events reach the delegates through the reader's event line, one at a time in the order raised,
// with no library lock held; connection states and log records go straight through. The
// initialisation runs on the init queue; its scan-engine steps run on the global queue (an
// engine-ready event starts them from the protocol's receive thread). The budget sits behind
// `initLock_`, the connection-mode mark is an atomic.

#include <memory>
#include <mutex>

#include "orvanerfid/Export.h"
#include "orvanerfid/reader/BaseReader.h"

namespace orvane {

class ORVANE_API UhfReader : public BaseReader {
  public:
    // A reader for a discovered device (or the emulator descriptor). Nothing is sent until
    // connect().
    static std::shared_ptr<UhfReader> create(std::shared_ptr<OrvaneDevice> device) {
        return make<UhfReader>(std::move(device));
    }

    UhfReader(Key key, std::shared_ptr<OrvaneDevice> device)
        : BaseReader(key, std::move(device), "UhfReader") {}
    // A reader let go of while its delegates last heard it other than Disconnected tells both of
    // them Disconnected (with no reader), after the states told before (see storeReleasedEnd).
    ~UhfReader() override;

    std::shared_ptr<UhfReaderDelegate> uhfReaderDelegate() const;
    void setUhfReaderDelegate(std::weak_ptr<UhfReaderDelegate> delegate);

    // One ConnectStateEventArgs with this reader and its state: readerDelegate, then
    // uhfReaderDelegate.
    void triggerConnectStateEvent(ConnectState state) override;
    std::vector<EndListener> endListeners() const override;

    // Tag reports and access results: rfidDelegate, then the radio-module driver's event pump.
    void readTag(const std::shared_ptr<TagInfo>& tagInfo) override;
    void accessResult(const AccessResultEventArgs& accessResultEventArgs) override;

    // The base behaviour, then the same record to uhfReaderDelegate.
    void logEvent(const LogEventArg& logEventArgs) override;

    std::shared_ptr<UhfReader> linkUhfReader() override;

    // Makes the scan-engine object of `engineModel` (SE4107, SE2707) and installs it; any other
    // model is logged and refused with ReaderException 0x4001, the engine object kept.
    void allocateEngine(EngineModel engineModel);

  protected:
    // The base's delegate, then uhfReaderDelegate, told in order.
    void tellBatteryPercentage(uint8_t percentage) override;
    void tellTemperature(double temperature) override;
    void tellTriggerKey(const KeyEventArgs& keyEventArgs) override;
    void tellActionState(ActionState actionState) override;
    // rfidDelegate, then the radio-module driver's event pump.
    void tellReadTag(const std::shared_ptr<TagInfo>& tagInfo) override;

    // The initialisation of connection `link` (ReaderInit.cpp): the multiple-setting
    // sequence for a device that supports it, else up to four attempts of initReader(). Work
    // left over from an earlier connection stops without touching the newer one.
    void asyncInitReader(uint64_t link) override;
    virtual void initReaderViaMultiSetting(uint64_t link);
    virtual bool initReader(uint64_t link);
    // The engine task on an engine-ready event: a fresh 7000 ms budget, and a failure there
    // never ends the connection.
    void initEngineInfo() override;
    // Starts the engine task of connection `link` on the global queue.
    void initEngineInfo(uint64_t link, bool rerun);

    // Makes the UHF object for the radio module `type` and installs it. Throws ReaderException
    // 0x0001 "Device is nil" for a known module type without a device, and 0x4001 "Unknown UHF
    // module type" for any other type. A new object takes over the application's UhfDelegate
    // from the one it replaces.
    virtual void allocateUhf(UhfModuleType type);

  private:
    ORVANE_INTERNAL void tellAccessResult(const AccessResultEventArgs& accessResultEventArgs);
    ORVANE_INTERNAL void engineTask(uint64_t link, bool rerun);
    // The failure path: logs `text` at ERROR and disconnects the transport, when connection
    // `link` is still current. While a disconnect() is at work, the stop path instead, with
    // `opening`: the step failed because the connection is being ended.
    ORVANE_INTERNAL void failInit(uint64_t link, const std::string& text,
                                  const std::string& opening);
    // The stop path: "<opening>true<closing>" at TRACE, then the disconnect as above.
    ORVANE_INTERNAL void stopInit(uint64_t link, const std::string& opening,
                                  const std::string& closing);
    ORVANE_INTERNAL std::shared_ptr<TimeoutControl> initReaderTimeoutCtrl() const;

    mutable std::mutex initLock_;
    // Budget of the running initialisation, replaced by each one.
    std::shared_ptr<TimeoutControl> initReaderTimeoutCtrl_;
    // The application connect() whose initialisation switched the connection mode: one switch
    // per application connect().
    std::atomic<uint64_t> modeSwitchedFor_{0};

    mutable std::mutex uhfDelegateLock_;
    std::weak_ptr<UhfReaderDelegate> uhfReaderDelegate_;
};

}  // namespace orvane
