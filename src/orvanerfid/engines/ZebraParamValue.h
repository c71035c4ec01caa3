#pragma once

// A Zebra engine parameter's value between its text form (an EngineParam value) and the bytes
// carried in parameter packets. Stateless: any thread.

#include <string>
#include <string_view>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/EngineParamId.h"

namespace orvane {

class ZebraParamValue {
  public:
    // The value bytes of `text`: two bytes, high byte first, for the two word parameters, whose
    // text is a decimal number in 0..65535 (one optional leading "+" or "-"); one byte for every
    // other parameter, whose text is a decimal number in 0..255 (one optional leading "+"). Any
    // other text would be written as a wrong value, so it is refused before anything is sent:
    // ReaderException 0x5002 "The value[<text>] is not a number in 0 - <255 or 65535>".
    static Bytes toBytes(ZebraParamId id, std::string_view text);

    // The decimal text of the value bytes read back: data[0] x 256 + data[1] for the word
    // parameters, data[0] for the others. Fewer bytes than the value needs throws
    // ReaderException 0x5000 "Invalid data length"; bytes beyond it are ignored.
    static std::string toText(ZebraParamId id, ByteView data);
};

}  // namespace orvane
