// Cutting and parsing a long stream of ST inventory data packets down to the tag fields the
// receive loop uses, against memcpy of the same stream. Both report bytes per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>

#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/STPacket.h"

namespace {

using namespace orvane;

// A stream of inventory data packets, each with a statistics record and 1 to 4 tags (header,
// 12-byte EPC, TID on every other tag, finished marker).
Bytes makeInventoryStream(int packets) {
    Bytes out;
    {
        for (int n = 0; n < packets; ++n) {
            Bytes payload = {0x02, 16};
            payload.insert(payload.end(), 11, 0x00);
            payload.push_back(static_cast<uint8_t>(n % 16));
            appendLe32(payload, 865700 + 200 * static_cast<uint32_t>(n % 4));
            for (int t = 0; t <= n % 4; ++t) {
                payload.insert(payload.end(), {0x03, 12, 0, 0, 0, 0, static_cast<uint8_t>(t), 0,
                                               static_cast<uint8_t>(20 + t), 30, 0, 0, 0x30, 0x00});
                payload.insert(payload.end(), {0x04, 12});
                for (int i = 0; i < 12; ++i)
                    payload.push_back(static_cast<uint8_t>(n + t + i));
                if (t % 2 == 0) payload.insert(payload.end(), {0x05, 4, 0xE2, 0x80, 0x11, 0x05});
                payload.insert(payload.end(), {0xFF, 0x00});
            }
            appendBe16(out, STPacket::kMode);
            appendBe16(out, static_cast<uint16_t>(n));
            appendBe16(out, 0);
            out.insert(out.end(), {0x03, 0x02});
            appendBe16(out, static_cast<uint16_t>(payload.size()));
            out.insert(out.end(), payload.begin(), payload.end());
        }
    }
    return out;
}

// The streams, by packet count: one that stays in the processor's caches and a long one (about
// 70 MB) that does not, as a long inventory's bytes do not.
const Bytes& inventoryStream(int packets) {
    static std::map<int, Bytes> streams;
    auto it = streams.find(packets);
    if (it == streams.end()) it = streams.emplace(packets, makeInventoryStream(packets)).first;
    return it->second;
}

void BM_CutAndParseInventory(benchmark::State& state) {
    const Bytes& stream = inventoryStream(static_cast<int>(state.range(0)));
    const double gValue = 1.5;
    for (auto _ : state) {
        std::size_t tags = 0;
        float rssiSum = 0;
        std::size_t epcBytes = 0;
        uint64_t fields = 0;
        ByteView rest(stream);
        while (!rest.empty()) {
            const auto packet = STPacket::parsePacket(rest);
            if (!packet) {
                if (STPacket::cutPacket(rest).status == FrameCutStatus::incomplete) break;
                rest = rest.subspan(1);
                continue;
            }
            if (STInventoryData::isInventoryData(packet->cmdGroup, packet->cmdSubcode)) {
                STInventoryData::forEachTag(packet->payload, [&](const STInventoryTag& tag) {
                    ++tags;
                    rssiSum += tag.rssi(gValue);
                    epcBytes += tag.epc ? tag.epc->size() : 0;
                    fields += tag.antenna + tag.pc[0] + tag.frequency + tag.q;
                });
            }
            rest = rest.subspan(packet->length);
        }
        benchmark::DoNotOptimize(tags);
        benchmark::DoNotOptimize(rssiSum);
        benchmark::DoNotOptimize(epcBytes);
        benchmark::DoNotOptimize(fields);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_CutAndParseInventory)->Arg(20000)->Arg(600000);

void BM_MemcpyBaseline(benchmark::State& state) {
    const Bytes& stream = inventoryStream(static_cast<int>(state.range(0)));
    Bytes copy(stream.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), stream.data(), stream.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_MemcpyBaseline)->Arg(20000)->Arg(600000);

}  // namespace

BENCHMARK_MAIN();
