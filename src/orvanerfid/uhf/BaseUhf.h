#pragma once

// The UHF object of one connected reader: the object an application drives the radio through.
// This header fixes what the reader relies on (construction, the driver, the delegate, the
// module start-up and stop); the operations and their pipeline are declared beside them.

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/engines/ReaderLink.h"
#include "orvanerfid/uhfmodules/BaseUhfModule.h"
#include "orvanerfid/uhfmodules/UhfDelegate.h"

namespace orvane {

class BaseDevice;
class BaseProtocol;

class ORVANE_API BaseUhf : public UhfDelegate, public std::enable_shared_from_this<BaseUhf> {
  public:
    ~BaseUhf() override = default;
    BaseUhf(const BaseUhf&) = delete;
    BaseUhf& operator=(const BaseUhf&) = delete;

    // The log tag of the object's records ("UhfST25RU3993").
    const std::string& TAG() const { return className_; }

    // The radio-module driver; null when there is none.
    std::shared_ptr<BaseUhfModule> uhfModule() const { return uhfModule_; }
    // The driver's module type; unknown without a driver.
    UhfModuleType uhfModuleType() const {
        return uhfModule_ ? uhfModule_->moduleType() : UhfModuleType::unknown;
    }

    // The application's delegate, held weakly.
    std::shared_ptr<UhfDelegate> delegate() const {
        std::lock_guard lock(delegateLock_);
        return delegate_.lock();
    }
    void setDelegate(std::weak_ptr<UhfDelegate> delegate) {
        std::lock_guard lock(delegateLock_);
        delegate_ = std::move(delegate);
    }

    // The module's start-up exchange, run once by the reader's initialisation; false on any
    // failure (logged).
    virtual bool initModule() = 0;
    // Stops a running inventory; the completion runs once, on a pool thread.
    virtual void stop(std::function<void(ResultCode)> completion) = 0;

  protected:
    BaseUhf(std::weak_ptr<ReaderLink> reader, std::shared_ptr<BaseDevice> device,
            std::shared_ptr<BaseProtocol> protocol, std::string className)
        : reader_(std::move(reader)),
          baseDevice_(std::move(device)),
          baseProtocol_(std::move(protocol)),
          className_(std::move(className)) {}

    std::weak_ptr<ReaderLink> reader_;
    std::shared_ptr<BaseDevice> baseDevice_;
    std::shared_ptr<BaseProtocol> baseProtocol_;
    std::shared_ptr<BaseUhfModule> uhfModule_;

  private:
    const std::string className_;
    // Guards the delegate, which the application sets while the receive thread reads it.
    mutable std::mutex delegateLock_;
    std::weak_ptr<UhfDelegate> delegate_;
};

}  // namespace orvane
