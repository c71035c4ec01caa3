// The Vk210 receive loop's turns over arbitrary bytes: frames cut (with resynchronisation),
// dispatched into events and replies, with no crash and no read outside the input. The first
// input byte sets how the rest is split into transport reads, so partial frames and frames
// across reads are reached too.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/link/Vk210Protocol.h"

namespace {

using namespace orvane;

class FedTransport : public BaseTransport {
  public:
    FedTransport() : BaseTransport("FedTransport") { setConnectState(ConnectState::connected); }
    void feed(ByteView bytes) { receive(bytes); }
    bool connect() override { return true; }
    bool disconnect() override { return true; }
    int read(std::span<uint8_t> data, int offset, int length, int) override {
        return byteQueue().dequeue(data, offset, length);
    }
    int write(ByteView, int, int length, int) override { return length; }
};

// Runs the loop's turns on the fuzzer's thread.
class TurnedProtocol : public Vk210Protocol {
  public:
    using Vk210Protocol::Vk210Protocol;
    bool turn(const DispatchWorkItem& self) { return receiveTurn(self); }
};

class Sink : public BaseProtocolDelegate {
  public:
    std::size_t events = 0;
    void protocolEvent(const ProtocolEventArgs& event) override {
        if (!event.hasExpectedKind()) __builtin_trap();
        ++events;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = std::size_t{data[0]} + 1;
    const ByteView stream(data + 1, size - 1);

    auto transport = std::make_shared<FedTransport>();
    auto protocol = std::make_shared<TurnedProtocol>(transport);
    auto sink = std::make_shared<Sink>();
    protocol->setDelegate(sink);
    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::accessBankType, BankType::user));
    const DispatchWorkItem self([](const DispatchWorkItem&) {});

    for (std::size_t at = 0; at < stream.size(); at += piece) {
        transport->feed(stream.subspan(at, std::min(piece, stream.size() - at)));
        protocol->turn(self);
    }
    protocol->turn(self);
    // Every reply is a whole frame of at least the minimum size.
    if (protocol->queuedReplies() * OrvaneRfidCommand::kMinFrameSize > stream.size()) {
        __builtin_trap();
    }
    protocol->pumpEvent(ProtocolEventArgs(ProtocolEventId::resetBuffer));
    return 0;
}
