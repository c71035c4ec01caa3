#pragma once

#include <cstdint>

#include "orvanerfid/core/EventArgs.h"

namespace orvane {

// Receives every assignment of a transport's connection state (the reader adopts it).
class TransportDelegate {
  public:
    virtual ~TransportDelegate() = default;
    virtual void connectStateEvent(const ConnectStateEventArgs& connectStateEventArgs) = 0;
    // The same report with the number of the connection it is about (the transport's
    // `linkNumber()` when the state was assigned), so that a delegate can end that connection and
    // no later one. The transport calls this one; the default drops the number.
    virtual void linkStateEvent(const ConnectStateEventArgs& connectStateEventArgs, uint64_t link) {
        (void)link;
        connectStateEvent(connectStateEventArgs);
    }
};

}  // namespace orvane
