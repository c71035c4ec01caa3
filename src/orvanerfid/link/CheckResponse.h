#pragma once

// The one check every exchange's reply goes through before it is parsed.

#include <string_view>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/link/BaseProtocol.h"

namespace orvane {

// The reply bytes of one send: the data when the result code is 0x0000 and data is present.
// Otherwise logs at ERROR (no tag) and throws ReaderException with an empty message: code
// 0x5000 after "<tag> Response data is nil" when there is no data, the send's own code after
// "<tag> - Send error [<code text>]" for a failure. `tag` names the calling operation
// ("getBeeperVolume()"); an empty tag drops it and its separator from the line.
Bytes checkResponse(std::string_view tag, const Response& response);

}  // namespace orvane
