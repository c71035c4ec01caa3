#pragma once

// What the application (and the UHF object itself) receives from a reader's radio module: the
// tags an inventory finds and the outcome of each tag access.

#include <memory>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/EventArgs.h"
#include "orvanerfid/core/TagInfo.h"

namespace orvane {

class UhfReader;

// Threads: both methods are called synchronously on the thread that delivers the event (the
// protocol's receive thread); an implementation must not wait there for a reply of the same
// reader. `uhfReader` is null when the caller has no reader to name (the radio-module driver
// reporting to its UHF object).
class ORVANE_API UhfDelegate {
  public:
    virtual ~UhfDelegate() = default;
    virtual void readTag(std::shared_ptr<UhfReader> uhfReader,
                         std::shared_ptr<TagInfo> tagInfo) = 0;
    virtual void accessResult(std::shared_ptr<UhfReader> uhfReader,
                              const AccessResultEventArgs& accessResultEventArgs) = 0;
};

}  // namespace orvane
