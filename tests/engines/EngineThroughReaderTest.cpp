// The scan engine as an application reaches it: a reader made from discovery and connected to
// the simulated Vk210 through the real initialisation, which makes the engine object of the
// model the reader reports; the parameter operations run through reader->engine().

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "orvanerfid/commands/ScannerCommands.h"
#include "reader/ReaderFixture.h"
#include "sim/SimVk210Settings.h"

namespace orvane::test {
namespace {

// One engine packet the simulated reader received: its opcode and how many numbers (a read) or
// entries (a write) it carried.
struct Packet {
    Opcode opcode;
    std::size_t items;
    bool operator==(const Packet&) const = default;
};

// The engine packets a simulated reader receives from the moment it is installed.
class PacketLog {
  public:
    static std::shared_ptr<PacketLog> install(SimVk210& sim) {
        constexpr auto kEngine = rawValue(OrvRfidCmdId::scannerEngineParameter);
        auto log = std::make_shared<PacketLog>();
        sim.addRow(kEngine, [log, row = sim.row(kEngine)](const SimRequest& r) {
            const OrvRfidCmd_ScannerEngineParameter request(OrvaneRfidCommand::SendBytes{r.frame});
            const ZebraPacket packet = ZebraCodec::decode(request.data());
            {
                std::lock_guard guard(log->lock_);
                log->packets_.push_back({packet.opcode, zebraItems(packet)});
            }
            row(r);
            ++log->handled;
        });
        return log;
    }
    std::vector<Packet> packets() const {
        std::lock_guard guard(lock_);
        return packets_;
    }

    // Packets the reader's rows have finished with (their records logged, their replies sent).
    std::atomic<int> handled{0};

  private:
    mutable std::mutex lock_;
    std::vector<Packet> packets_;
};

// A simulated Vk210 fitted with an engine of `model`.
std::shared_ptr<SimVk210> makeSim(EngineModel model) {
    auto sim = Vk210Model::makeSim();
    setSimVk210Engine(*sim, std::string(description(model)));
    sim->scanEngine().loadDefaults(model);
    return sim;
}

class EngineThroughReaderTest : public ::testing::TestWithParam<EngineModel> {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }

    void SetUp() override {
        ASSERT_TRUE(f.connected());
        // No alive exchange resets the failure count behind the test's back.
        f.reader->setCheckInterval(0);
        engine = f.reader->engine();
        ASSERT_TRUE(engine);
        ASSERT_EQ(engine->engineModel(), GetParam());
        packets = PacketLog::install(*f.sim);
    }

    // Runs one request to its end and returns its calls.
    template <typename Start>
    std::vector<RecordingDelegate::Call> run(Start start) {
        auto delegate = std::make_shared<RecordingDelegate>();
        start(delegate);
        EXPECT_TRUE(delegate->waitFinished());
        return delegate->calls();
    }

    ModelReader<Vk210Model> f{makeSim(GetParam())};
    std::shared_ptr<BaseEngine> engine;
    std::shared_ptr<PacketLog> packets;
};

TEST_P(EngineThroughReaderTest, EverySupportedParameterRoundTripsInBatches) {
    const std::vector<EngineParam> rows = engine->supportedParameters();
    std::vector<EngineParam> changed;
    std::map<EngineParamId, std::string> expected;
    for (const EngineParam& row : rows) {
        changed.emplace_back(row.id(), otherValue(row));
        expected[row.id()] = changed.back().getValue();
    }
    const auto set = run([&](auto d) { engine->setParameters(1, changed, d); });
    ASSERT_EQ(set.size(), 1U);
    EXPECT_EQ(set[0].kind, 'E');

    f.reader->checkError(true);
    f.reader->checkError(true);
    std::map<EngineParamId, std::string> read;
    for (const auto& call : run([&](auto d) { engine->getParameters(2, std::nullopt, d); })) {
        EXPECT_EQ(call.id, 2);
        EXPECT_NE(call.kind, 'F') << call.value;
        if (call.kind == 'R') read[call.param] = call.value;
    }
    EXPECT_EQ(read, expected);
    EXPECT_EQ(f.reader->_failCount(), 2) << "a batch read leaves the reader's failure count";

    // One parameter back to its default, read back singly: the single read resets the count.
    const EngineParam& first = rows.front();
    EXPECT_EQ(run([&](auto d) {
                  engine->setParameter(3, EngineParam(first.id(), first.defaultValue()), d);
              }).size(),
              1U);
    const auto single = run([&](auto d) { engine->getParameter(4, first.id(), d); });
    ASSERT_EQ(single.size(), 2U);
    EXPECT_EQ(single[0].value, first.defaultValue());
    EXPECT_EQ(f.reader->_failCount(), 0);

    // 30 entries per write, 40 numbers per read.
    std::vector<Packet> want;
    for (std::size_t at = 0; at < rows.size(); at += 30)
        want.push_back({Opcode::PARAM_SEND, std::min<std::size_t>(30, rows.size() - at)});
    for (std::size_t at = 0; at < rows.size(); at += 40)
        want.push_back({Opcode::PARAM_REQUEST, std::min<std::size_t>(40, rows.size() - at)});
    want.push_back({Opcode::PARAM_SEND, 1});
    want.push_back({Opcode::PARAM_REQUEST, 1});
    EXPECT_EQ(packets->packets(), want);
    EXPECT_EQ(f.reader->connectState(), ConnectState::connected);
}

TEST_P(EngineThroughReaderTest, EightyFiveReadsGoAsFortyFortyFiveAndThirtyOneWritesAsThirtyOne) {
    const std::vector<EngineParamId>& ids = engine->supportedIds();
    ASSERT_GE(ids.size(), 85U);
    const std::vector<EngineParamId> reads(ids.begin(), ids.begin() + 85);
    const std::vector<EngineParam> all = engine->supportedParameters();
    const std::vector<EngineParam> writes(all.begin(), all.begin() + 31);

    const auto got = run([&](auto d) { engine->getParameters(7, reads, d); });
    ASSERT_EQ(got.size(), 86U);
    // Every id read once, in the order the engine answers.
    std::multiset<EngineParamId> answered;
    for (std::size_t i = 0; i + 1 < got.size(); ++i) {
        EXPECT_EQ(got[i].kind, 'R');
        answered.insert(got[i].param);
    }
    EXPECT_EQ(answered, std::multiset<EngineParamId>(reads.begin(), reads.end()));
    EXPECT_EQ(got.back().kind, 'E');
    EXPECT_EQ(run([&](auto d) { engine->setParameters(8, writes, d); }).size(), 1U);
    EXPECT_EQ(packets->packets(), (std::vector<Packet>{{Opcode::PARAM_REQUEST, 40},
                                                       {Opcode::PARAM_REQUEST, 40},
                                                       {Opcode::PARAM_REQUEST, 5},
                                                       {Opcode::PARAM_SEND, 30},
                                                       {Opcode::PARAM_SEND, 1}}));
}

INSTANTIATE_TEST_SUITE_P(Models, EngineThroughReaderTest,
                         ::testing::Values(EngineModel::SE4107, EngineModel::SE2707),
                         [](const auto& info) { return std::string(description(info.param)); });

// When the application lets go of the reader (which owns the engine) during a read of 85 ids.
enum class LetGo { beforeTheRequest, beforeTheFirstReply, betweenBatches };

struct LetGoCase {
    const char* name;
    LetGo when;
    std::size_t received;  // values reported before the failure
    std::size_t sent;      // packets that reached the reader
};

void PrintTo(const LetGoCase& c, std::ostream* out) {
    *out << c.name;
}

class EngineOfAReaderLetGo : public ::testing::TestWithParam<LetGoCase> {
  protected:
    static void SetUpTestSuite() { orvLogger::setShowNSLog(false); }
    static void TearDownTestSuite() { orvLogger::setShowNSLog(true); }

    ModelReader<Vk210Model> f{makeSim(EngineModel::SE4107)};
};

TEST_P(EngineOfAReaderLetGo, TheRequestEndsWithOneFailureThenOneFinish) {
    const LetGoCase c = GetParam();
    ASSERT_TRUE(f.connected());
    f.reader->setCheckInterval(0);
    std::shared_ptr<BaseEngine> engine = f.reader->engine();
    ASSERT_TRUE(engine);
    const std::vector<EngineParamId> ids(engine->supportedIds().begin(),
                                         engine->supportedIds().begin() + 85);
    const auto packets = PacketLog::install(*f.sim);
    std::weak_ptr<UhfReader> heldReader = f.reader;
    const auto letGo = [&] {
        f.reader.reset();
        EXPECT_TRUE(waitUntil([&] { return heldReader.expired(); }));
    };
    auto delegate = std::make_shared<RecordingDelegate>();
    switch (c.when) {
        case LetGo::beforeTheRequest:
            letGo();
            break;
        case LetGo::beforeTheFirstReply: {
            SimScanEngineFaults silent;
            silent.noReply = true;
            f.sim->scanEngine().setFaults(silent);
            break;
        }
        case LetGo::betweenBatches:
            // On the request's own thread, after the first batch's last value.
            delegate->onCall = [&letGo,
                                count = std::make_shared<std::size_t>(0)](const auto& call) {
                if (call.kind == 'R' && ++*count == 40) letGo();
            };
            break;
    }
    engine->getParameters(1, ids, delegate);
    if (c.when == LetGo::beforeTheFirstReply) {
        // Once the reader's row is done with the packet: a record logged to the reader on the
        // simulated reader's thread could otherwise end the reader there.
        ASSERT_TRUE(waitUntil([&] { return packets->handled.load() == 1; }));
        letGo();
    }
    ASSERT_TRUE(delegate->waitFinished());
    const auto calls = delegate->calls();
    EXPECT_EQ(delegate->kinds(), std::string(c.received, 'R') + "FE");
    ASSERT_GE(calls.size(), 2U);
    EXPECT_EQ(calls[calls.size() - 2].code, ResultCode::invalidResponse);
    EXPECT_EQ(packets->packets().size(), c.sent);
    std::weak_ptr<BaseEngine> heldEngine = engine;
    engine.reset();
    EXPECT_TRUE(waitUntil([&] { return heldEngine.expired(); }, std::chrono::seconds(10)));
}

const LetGoCase kLetGoCases[] = {
    {"BeforeTheRequest", LetGo::beforeTheRequest, 0, 0},
    {"BeforeTheFirstReply", LetGo::beforeTheFirstReply, 0, 1},
    {"BetweenBatches", LetGo::betweenBatches, 40, 1},
};

INSTANTIATE_TEST_SUITE_P(Moments, EngineOfAReaderLetGo, ::testing::ValuesIn(kLetGoCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvane::test
