#include "orvanerfid/link/BaseProtocol.h"

#include <exception>

#include "orvanerfid/core/Logger.h"

namespace orvane {

BaseProtocol::BaseProtocol(std::string className, std::shared_ptr<BaseTransport> transport)
    : className_(std::move(className)), transport_(std::move(transport)) {}

BaseProtocol::~BaseProtocol() {
    std::lock_guard guard(lock_);
    if (workItem_) workItem_->cancel();
}

std::shared_ptr<BaseProtocolDelegate> BaseProtocol::delegate() const {
    std::lock_guard guard(delegateLock_);
    return delegate_.lock();
}

void BaseProtocol::setDelegate(std::weak_ptr<BaseProtocolDelegate> delegate) {
    std::lock_guard guard(delegateLock_);
    delegate_ = std::move(delegate);
}

ResultCode BaseProtocol::write(ByteView data) {
    try {
        const int size = static_cast<int>(data.size());
        const int written = transport_->write(data, 0, size, writeTimeout);
        return written == size ? ResultCode::noError : ResultCode::otherError;
    } catch (const ReaderException& e) {
        return e.resultCode();
    } catch (const std::exception& e) {
        orvLogger::error(className_, std::string("post error: ") + e.what());
        return ResultCode::otherError;
    }
}

void BaseProtocol::stop() {
    std::lock_guard guard(lock_);
    orvLogger::info(className_, "*** stop()");
    if (workItem_ && !workItem_->isCancelled()) workItem_->cancel();
}

void BaseProtocol::pumpEvent(const ProtocolEventArgs&) {}

}  // namespace orvane
