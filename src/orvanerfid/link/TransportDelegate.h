#pragma once

#include "orvanerfid/core/EventArgs.h"

namespace orvane {

// Receives every assignment of a transport's connection state (the reader adopts it).
class TransportDelegate {
  public:
    virtual ~TransportDelegate() = default;
    virtual void connectStateEvent(const ConnectStateEventArgs& connectStateEventArgs) = 0;
};

}  // namespace orvane
