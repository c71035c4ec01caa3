#pragma once

// The scan-engine object of a reader that carries a barcode engine. This header fixes what the
// reader relies on (construction with the reader, the model, the events it is handed); the
// parameter table and operations are declared beside them.

#include <memory>

#include "orvanerfid/Export.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/engines/ReaderLink.h"

namespace orvane {

class ORVANE_API BaseEngine : public std::enable_shared_from_this<BaseEngine> {
  public:
    virtual ~BaseEngine() = default;
    BaseEngine(const BaseEngine&) = delete;
    BaseEngine& operator=(const BaseEngine&) = delete;

    // Hands the engine an event of its reader (the engine version text among them).
    virtual void protocolEvent(const ProtocolEventArgs& protocolEventArgs) = 0;

  protected:
    explicit BaseEngine(std::weak_ptr<ReaderLink> reader) : reader_(std::move(reader)) {}

    std::weak_ptr<ReaderLink> reader_;
};

}  // namespace orvane
