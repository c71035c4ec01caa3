// Feeds arbitrary bytes to the barcode frame readers: as the data area of a customized-format
// frame (record cutting) and of a plain barcode frame, both directly and framed.
#include <cstddef>
#include <cstdint>

#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"

#include "FuzzSupport.h"

namespace {

template <typename Command>
void readFramed(orvane::OrvRfidCmdId id, orvane::ByteView area) {
    using namespace orvane;
    if (area.size() > OrvaneRfidCommand::kMaxFrameSize - OrvaneRfidCommand::kMinFrameSize) return;
    const Bytes frame = OrvaneRfidCommand::frame(id, area);
    try {
        Command command(OrvaneRfidCommand::ReceiveBytes{frame});
        const auto event = command.barcodeEvent();
        if constexpr (requires { command.parameters(); }) {
            std::size_t total = 0;
            for (const auto& p : command.parameters())
                total += p.length();
            if (total > area.size()) __builtin_trap();
            if (event.has_value() == command.parameters().empty()) __builtin_trap();
        } else {
            const auto id = command.barcodeId();
            const auto data = command.barcodeData();
            if (id.has_value() != data.has_value()) __builtin_trap();
            if (event.has_value() != data.has_value()) __builtin_trap();
        }
    } catch (const ReaderException&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvane;
    const ByteView area(data, size);
    std::size_t total = 0;
    for (const auto& p : OrvRfidCmd_ScannerDataWithCustomizedFormat::cutRecords(area)) {
        if (p.length() < 3 || p.data().size() != p.length() - 3u) __builtin_trap();
        total += p.length();
    }
    if (total > size) __builtin_trap();
    readFramed<OrvRfidCmd_ScannerDataWithCustomizedFormat>(
        OrvRfidCmdId::scannerDataWithCustomizedFormat, area);
    readFramed<OrvRfidCmd_ScannerData>(OrvRfidCmdId::scannerData, area);
    return 0;
}
