#pragma once

#include <memory>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/DeviceEnums.h"

namespace orvane {

class UhfReader;

// A change of connection state. A transport reports its own changes without a reader; the
// public reader fills itself in when it forwards the change to the application.
class ORVANE_API ConnectStateEventArgs {
  public:
    ConnectStateEventArgs(std::shared_ptr<UhfReader> reader, ConnectState connectState)
        : reader_(std::move(reader)), connectState_(connectState) {}

    const std::shared_ptr<UhfReader>& reader() const { return reader_; }
    ConnectState connectState() const { return connectState_; }

    // "Connect State: " and the state's text; the reader is not shown.
    std::string description() const {
        return "Connect State: " + std::string(orvane::description(connectState_));
    }

  private:
    std::shared_ptr<UhfReader> reader_;
    ConnectState connectState_;
};

}  // namespace orvane
