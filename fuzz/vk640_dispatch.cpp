// Feeds arbitrary bytes to the Vk640 protocol object's packet dispatch as its receive loop
// would: every packet cut from the stream is sorted into inventory reports (with the indicator
// steps), device notifications and replies; then the same bytes go through the multi-request
// split of a send. The first byte picks the object's state.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/link/EmulatorTransport.h"
#include "orvanerfid/link/Vk640Protocol.h"

#include "FuzzSupport.h"

namespace {

using namespace orvane;

// Reads every value an event carries, as a device would.
class Reader : public BaseProtocolDelegate {
  public:
    void protocolEvent(const ProtocolEventArgs& event) override {
        if (const auto* tag = event.get<TagInfoPtr>()) (void)(*tag)->description();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const auto transport = std::make_shared<EmulatorTransport>();
    static const auto reader = std::make_shared<Reader>();
    const uint8_t state = data[0];
    const ByteView stream(data + 1, size - 1);

    const auto protocol = std::make_shared<Vk640Protocol>(transport);
    protocol->setDelegate(reader);
    if (state & 1) protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::initialFinished));
    protocol->pumpEvent(ProtocolEventArgs(
        ProtocolEventId::tagsIndicator,
        InventoryIndicator((state & 2) != 0, (state & 4) != 0, (state & 8) != 0)));
    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::gValue, (state >> 4) * 0.5));
    forEachFrameUntil(
        stream, STPacket::cutPacket,
        [&](ByteView bytes) {
            try {
                protocol->handlePacket(STPacket(bytes));
            } catch (const CodedError&) {
            }
        },
        [] { return false; });
    (void)protocol->send(stream, 0, state);
    return 0;
}
