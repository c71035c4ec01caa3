#pragma once

// The Zebra scan engine of a simulated Vk210: it answers the engine packets that the host sends
// through the reader's pass-through command from a parameter store that starts with the model's
// defaults. The reader's row for that command (addVk210EngineRows) hands it each request; the
// reader's sendBarcode() sends what it decodes.
//
// Threads: answer() runs on the simulated reader's peer thread; the store and the faults may be
// read and set from a test's thread at the same time. One mutex guards both; nothing is called
// out while it is held.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>

#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/core/Barcode.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/EngineParamId.h"

namespace orvane {

struct SimScanEngineFaults {
    // The next parameter write is refused with this cause (the switch then clears).
    std::optional<NakCause> nakNextWrite;
    // Every reply packet leaves with its checksum's last byte changed.
    bool badChecksum = false;
    // Requests are taken, no reply is made.
    bool noReply = false;
};

class SimScanEngine {
  public:
    // Model SE4107 or SE2707 starts with that table's defaults; any other model has no
    // parameters (every request is answered, every write refused).
    explicit SimScanEngine(EngineModel model);

    // Drops every stored value and takes the defaults of `model`, as the constructor does.
    void loadDefaults(EngineModel model);

    // The engine's reply packet to the packet `engineData`; no value when no reply is to be
    // sent.
    //  - a packet that fails its checks: NAK "Checksum Failure";
    //  - a parameter request: a parameter packet with one item per requested number the engine
    //    has (the others are left out);
    //  - a parameter write: ACK when every item names a parameter of the engine and its value
    //    lies in the parameter's range, and then the values are stored; otherwise NAK
    //    "Host Directive Denied" and nothing is stored;
    //  - any other packet: NAK "Unknown Message".
    std::optional<Bytes> answer(ByteView engineData);

    // The stored value bytes of a parameter; no value for one the engine lacks.
    std::optional<Bytes> value(ZebraParamId id) const;
    void setValue(ZebraParamId id, Bytes value);

    void setFaults(const SimScanEngineFaults& faults);

  private:
    struct Range {
        int64_t min, max;  // 0, 0: any value
    };

    Bytes reply(Bytes packet) const;
    Bytes nak(NakCause cause);
    Bytes paramReply(ByteView numbers);
    Bytes paramWrite(ByteView items);

    mutable std::mutex lock_;
    std::map<int64_t, Bytes> values_;  // by parameter number
    std::map<int64_t, Range> ranges_;
    SimScanEngineFaults faults_;
};

}  // namespace orvane
