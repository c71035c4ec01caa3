// Feeds arbitrary bytes to the Vk210 frame cutter and frame parsers, as a receive loop would.
#include <cstddef>
#include <cstdint>

#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvane;
    static const bool quiet = [] {
        orvLogger::setLevel(LogLevel::fatal);
        return true;
    }();
    (void)quiet;
    ByteView stream(data, size);
    std::size_t at = 0;
    while (at < stream.size()) {
        const ByteView head = stream.subspan(at);
        const FrameCut cut = OrvaneRfidCommand::cutFrame(head);
        if (cut.status == FrameCutStatus::incomplete) break;
        if (cut.status == FrameCutStatus::invalid) {
            ++at;
            continue;
        }
        const ByteView frame = head.first(cut.length);
        (void)OrvaneRfidCommand::parseFrame(frame);
        try {
            OrvaneRfidCommand reply(OrvaneRfidCommand::ReceiveBytes{frame});
            (void)reply.description();
            try {
                reply.checkStatus("fuzz");
            } catch (const ReaderException&) {
            }
        } catch (const ReaderException&) {
        }
        at += cut.length;
    }
    return 0;
}
