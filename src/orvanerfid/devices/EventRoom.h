#pragma once

// Room for a device's events at their receiver. The device asks before each event it delivers
// on its protocol's receive thread, holding the room but not the receiver, so that a receiver
// whose application has let it go can end while the device waits.

namespace orvane {

class EventRoom {
  public:
    virtual ~EventRoom() = default;
    // Returns once the receiver has room for one more event, or at once where the receiver
    // holds that the calling thread must not wait.
    virtual void awaitRoom() = 0;
};

}  // namespace orvane
