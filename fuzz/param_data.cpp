// Feeds arbitrary bytes to the scan-engine parameter item decoder, walking the items of a reply
// as the engine layer does: decode one, advance by the byte count the decoder reports.
#include <cstddef>
#include <cstdint>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/params/ParamData.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvane;
    ByteView reply(data, size);
    std::size_t at = 0;
    while (at < reply.size()) {
        std::size_t length = 0;
        try {
            const ParamData item = ParamDataCodec::decode(reply.subspan(at), length);
            // An item takes at least its number and never more than the bytes left, and its
            // value is part of those bytes.
            if (length == 0 || length > reply.size() - at) __builtin_trap();
            if (item.data.size() >= length) __builtin_trap();
            (void)item.description();
            try {
                (void)ParamDataCodec::encode(item);
            } catch (const ReaderException&) {
                // A number the engines do not have is refused, never written.
            }
        } catch (const ReaderException&) {
            break;  // the rest of the reply cannot be cut into items
        }
        at += length;
    }
    return 0;
}
