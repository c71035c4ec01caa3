#pragma once

#include <memory>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/engines/ZebraEngine.h"

namespace orvane {

// The Zebra SE2707 scan engine (EngineModel SE2707) with its own parameter table. Threads as
// ZebraEngine. Create with std::make_shared.
class ORVANE_API EngineSE2707 : public ZebraEngine {
  public:
    explicit EngineSE2707(std::weak_ptr<ReaderLink> reader);

    // A newly built parameter table of the SE2707.
    static std::vector<EngineParam> makeSupportedParameters();
};

}  // namespace orvane
