// Feeds arbitrary bytes to the scan-engine parameter item decoder, walking the items of a reply
// as the engine layer does: decode one, advance by the length of its own encoded form.
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
        try {
            const ParamData item = ParamDataCodec::decode(reply.subspan(at));
            // A decoded value never holds more bytes than the input had.
            if (item.data.size() > reply.size() - at) __builtin_trap();
            (void)item.description();
            const Bytes encoded = ParamDataCodec::encode(item);
            at += encoded.empty() ? 1 : encoded.size();
        } catch (const ReaderException&) {
            ++at;
        }
    }
    return 0;
}
