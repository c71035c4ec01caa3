// Cutting and parsing a long stream of Vk210 inventory-data frames down to the tag fields, against
// memcpy of the same stream in the same run. Both report bytes per second; the parse path is
// expected to reach at least a quarter of memcpy's rate, with no allocation per frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>

#include "orvanerfid/commands/InventoryCommands.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/core/Logger.h"

namespace {

using namespace orvane;

// A stream of `frames` inventory reports: plain, TID and phase records with 12-byte EPCs.
Bytes inventoryStream(std::size_t frames) {
    const Bytes pc = {0x30, 0x00};
    Bytes stream;
    for (std::size_t i = 0; i < frames; ++i) {
        Bytes area = {static_cast<uint8_t>(1 + i % 4), 0xF8, static_cast<uint8_t>(i)};
        OrvRfidCmdId id = OrvRfidCmdId::inventoryData;
        if (i % 3 == 1) {
            id = OrvRfidCmdId::inventoryDataPhaseWithTid;
            const Bytes phase = {0x03, 0xE8, 0x01, 0x00, 0x00, 0x0E, 0x1A, 0x3C};
            area.insert(area.end(), phase.begin(), phase.end());
        } else if (i % 3 == 2) {
            id = OrvRfidCmdId::inventoryDataWithTid;
        }
        area.insert(area.end(), pc.begin(), pc.end());
        for (int b = 0; b < 12; ++b)
            area.push_back(static_cast<uint8_t>(i * 7 + b));
        if (id != OrvRfidCmdId::inventoryData) {
            for (int b = 0; b < 12; ++b)
                area.push_back(static_cast<uint8_t>(0xE2 + b));
        }
        const Bytes frame = OrvaneRfidCommand::frame(id, area);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    return stream;
}

// The streams, by frame count: one that stays in the processor's caches and a long one (about
// 70 MB) that does not, as a long inventory's bytes do not.
const Bytes& stream(std::size_t frames) {
    static std::map<std::size_t, Bytes> streams;
    auto it = streams.find(frames);
    if (it == streams.end()) it = streams.emplace(frames, inventoryStream(frames)).first;
    return it->second;
}

void BM_Vk210ParseInventoryStream(benchmark::State& state) {
    orvLogger::setLevel(LogLevel::fatal);
    const ByteView bytes = stream(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        uint64_t tags = 0;
        uint64_t fields = 0;
        std::size_t at = 0;
        while (at < bytes.size()) {
            const ByteView head = bytes.subspan(at);
            const auto frame = OrvaneRfidCommand::parseFrame(head);
            if (!frame) {
                const FrameCut cut = OrvaneRfidCommand::cutFrame(head);
                if (cut.status == FrameCutStatus::incomplete) break;
                at += cut.status == FrameCutStatus::complete ? cut.length : 1;
                continue;
            }
            at += frame->length;
            const auto record = decodeTagRecord(frame->id, frame->data);
            if (!record) continue;
            ++tags;
            fields += record->antenna + static_cast<uint16_t>(record->rssi) + record->pc[0] +
                      record->epc.size() + record->epc.back() + record->tid.size() +
                      record->phaseBegin + record->frequency;
        }
        benchmark::DoNotOptimize(tags);
        benchmark::DoNotOptimize(fields);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Vk210ParseInventoryStream)->Arg(20000)->Arg(2000000);

void BM_MemcpyInventoryStream(benchmark::State& state) {
    const Bytes& bytes = stream(static_cast<std::size_t>(state.range(0)));
    Bytes copy(bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_MemcpyInventoryStream)->Arg(20000)->Arg(2000000);

}  // namespace

BENCHMARK_MAIN();
