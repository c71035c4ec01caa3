#pragma once

#include <memory>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/engines/ZebraEngine.h"

namespace orvane {

// The Zebra SE4107 scan engine (EngineModel SE4107) with its own parameter table. Threads as
// ZebraEngine. Create with std::make_shared.
class ORVANE_API EngineSE4107 : public ZebraEngine {
  public:
    explicit EngineSE4107(std::weak_ptr<ReaderLink> reader);

    // A newly built parameter table of the SE4107.
    static std::vector<EngineParam> makeSupportedParameters();
};

}  // namespace orvane
