// The cost of one log record that reaches a sink (console off): an INFO record, which the
// repeating-fault rule never looks at, against ERROR records that pass it (a new text each time,
// so each is a kind of its own and the table is pruned as it fills) and ERROR records alike that
// it leaves out and counts. Reports nanoseconds per record.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "orvanerfid/core/Logger.h"

namespace {

using namespace orvane;

class CountingSink : public orvLoggerDelegate {
  public:
    void logEvent(const LogEventArg&) override { ++records; }
    long records = 0;
};

std::shared_ptr<CountingSink> installSink() {
    static const auto sink = [] {
        orvLogger::setShowNSLog(false);
        auto made = std::make_shared<CountingSink>();
        orvLogger::registerDelegateIfNone(made);
        return made;
    }();
    return sink;
}

void BM_InfoRecord(benchmark::State& state) {
    installSink();
    for (auto _ : state)
        orvLogger::info("Bench", "keepReadThread() a receive turn of the link");
}
BENCHMARK(BM_InfoRecord);

void BM_ErrorRecordsOfNewKinds(benchmark::State& state) {
    installSink();
    std::string text = "keepReadThread() a fault of kind ";
    const std::size_t stem = text.size();
    unsigned long n = 0;
    for (auto _ : state) {
        text.resize(stem);
        // Letters, not digits: texts that differ only in their numbers are one kind.
        for (unsigned long k = ++n; k != 0; k /= 26)
            text += static_cast<char>('a' + k % 26);
        orvLogger::error("Bench", text);
    }
}
BENCHMARK(BM_ErrorRecordsOfNewKinds);

void BM_ErrorRecordsAlikeLeftOut(benchmark::State& state) {
    installSink();
    for (auto _ : state)
        orvLogger::error("Bench", "keepReadThread() skipped 9 bytes that start no packet");
}
BENCHMARK(BM_ErrorRecordsAlikeLeftOut);

}  // namespace

BENCHMARK_MAIN();
