// Feeds arbitrary bytes to the scan-engine packet decoder, then walks a decoded parameter
// reply's items as the engine does and turns each value into its text and back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "orvanerfid/core/EngineParamId.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/engines/ZebraPacket.h"
#include "orvanerfid/engines/ZebraParamValue.h"
#include "orvanerfid/params/ParamData.h"

#include "FuzzSupport.h"

namespace {

using namespace orvane;

void walkItems(ByteView payload) {
    std::size_t at = 0;
    while (at < payload.size()) {
        std::size_t length = 0;
        ParamData item(0);
        try {
            item = ParamDataCodec::decode(payload.subspan(at), length);
        } catch (const ReaderException&) {
            return;
        }
        if (length == 0 || length > payload.size() - at) __builtin_trap();
        at += length;
        const auto id = fromRaw<ZebraParamId>(item.number);
        if (!id) continue;
        try {
            const std::string text = ZebraParamValue::toText(*id, item.data);
            // A value read back is written as the same leading bytes.
            const Bytes again = ZebraParamValue::toBytes(*id, text);
            if (again.size() > item.data.size() ||
                !std::equal(again.begin(), again.end(), item.data.begin())) {
                __builtin_trap();
            }
        } catch (const ReaderException&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteView bytes(data, size);
    try {
        const ZebraPacket packet = ZebraCodec::decode(bytes);
        (void)packet.description();
        // What was read is written back as long, apart from a parameter write without even its
        // beep byte, which is written with one.
        const Bytes again = ZebraCodec::encode(packet);
        const bool beepAdded = packet.opcode == Opcode::PARAM_SEND && bytes.size() == 6;
        if (again.size() != bytes.size() + (beepAdded ? 1 : 0)) __builtin_trap();
        if (packet.opcode == Opcode::PARAM_SEND) walkItems(packet.data);
    } catch (const CodedError&) {
    }
    // The same bytes as a value text of a byte and of a word parameter.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (ZebraParamId id : {ZebraParamId::UPCA, ZebraParamId::UserProgrammableSupplementals1}) {
        try {
            const Bytes value = ZebraParamValue::toBytes(id, text);
            if (value.size() != (carriesWord(id) ? 2u : 1u)) __builtin_trap();
        } catch (const ReaderException&) {
        }
    }
    return 0;
}
