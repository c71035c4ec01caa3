#include "orvanerfid/link/CheckResponse.h"

#include <string>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {

Bytes checkResponse(std::string_view tag, const Response& response) {
    const std::string prefix = tag.empty() ? std::string() : std::string(tag) + " ";
    if (response.resultCode() == ResultCode::noError) {
        if (response.data()) return *response.data();
        orvLogger::error(prefix + "Response data is nil");
        throw ReaderException(ResultCode::invalidResponse, "");
    }
    const std::string head = tag.empty() ? std::string() : std::string(tag) + " - ";
    orvLogger::error(head + "Send error [" + std::string(description(response.resultCode())) + "]");
    throw ReaderException(response.resultCode(), "");
}

}  // namespace orvane
