#include "orvanerfid/core/Logger.h"
#include "orvanerfid/engines/EngineSE2707.h"
#include "orvanerfid/engines/EngineSE4107.h"
#include "orvanerfid/engines/EngineTables.h"

namespace orvane {

EngineSE4107::EngineSE4107(std::weak_ptr<ReaderLink> reader)
    : ZebraEngine(std::move(reader), EngineModel::SE4107, "EngineSE4107",
                  makeSupportedParameters()) {}

std::vector<EngineParam> EngineSE4107::makeSupportedParameters() {
    return makeSE4107SupportedParameters();
}

EngineSE2707::EngineSE2707(std::weak_ptr<ReaderLink> reader)
    : ZebraEngine(std::move(reader), EngineModel::SE2707, "EngineSE2707",
                  makeSupportedParameters()) {}

std::vector<EngineParam> EngineSE2707::makeSupportedParameters() {
    return makeSE2707SupportedParameters();
}

}  // namespace orvane
