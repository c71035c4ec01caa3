#include "orvanerfid/engines/BaseEngine.h"

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/engines/EngineSE2707.h"
#include "orvanerfid/engines/EngineSE4107.h"

namespace orvane {

std::shared_ptr<BaseEngine> BaseEngine::create(EngineModel model,
                                               std::weak_ptr<ReaderLink> reader) {
    switch (model) {
        case EngineModel::SE4107:
            return std::make_shared<EngineSE4107>(std::move(reader));
        case EngineModel::SE2707:
            return std::make_shared<EngineSE2707>(std::move(reader));
        default:
            return nullptr;
    }
}

std::string BaseEngine::strVersion() const {
    std::lock_guard guard(strVersionLock_);
    return strVersion_;
}

void BaseEngine::setStrVersion(std::string strVersion) {
    std::lock_guard guard(strVersionLock_);
    strVersion_ = std::move(strVersion);
}

bool BaseEngine::isSupport(EngineParamId id) const {
    if (supportedIds_.empty()) return false;
    const uint32_t current = version();
    for (const EngineParam& row : supportedParameters_) {
        if (row.id() != id) continue;
        return row.minVersion() <= current && current <= row.maxVersion();
    }
    return false;
}

void BaseEngine::checkSupport(EngineParamId id) const {
    if (isSupport(id)) return;
    orvLogger::error(className_, std::string(description(id)) + " is not supported!");
    throw ReaderException(ResultCode::notSupported, "");
}

void BaseEngine::protocolEvent(const ProtocolEventArgs& protocolEventArgs) {
    if (protocolEventArgs.id() != ProtocolEventId::engineVersion) return;
    const std::string* text = protocolEventArgs.get<std::string>();
    if (text == nullptr) {
        orvLogger::error(className_, "protocolEvent(_:) engineVersion without a version text");
        return;
    }
    setStrVersion(*text);
    convertVersion(*text);
}

}  // namespace orvane
