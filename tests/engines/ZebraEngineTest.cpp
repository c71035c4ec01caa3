// The Zebra engines' parameter operations end to end: an engine object on a Vk210 device whose
// accessory transport is connected to a simulated Vk210 with that engine model.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/engines/EngineSE2707.h"
#include "orvanerfid/engines/EngineSE4107.h"
#include "orvanerfid/engines/ZebraPacket.h"

namespace orvane::test {
namespace {

// Replies are awaited 5000 ms of library time, real time but where a reply never comes or comes
// after the timeout by cause: there the clock runs ten times faster, whatever the machine's pace
// does not change the outcome.
class FastClock {
  public:
    FastClock() : was_(Clock::speed()) { Clock::setSpeed(10.0); }
    ~FastClock() { Clock::setSpeed(was_); }
    FastClock(const FastClock&) = delete;
    FastClock& operator=(const FastClock&) = delete;

  private:
    const double was_;
};

constexpr auto kEngineCommand = rawValue(OrvRfidCmdId::scannerEngineParameter);

// One engine packet the simulated reader received: its opcode and how many numbers (read) or
// entries (write) it carried.
struct Sent {
    Opcode opcode;
    std::size_t items;
    bool operator==(const Sent&) const = default;
};

SimScanEngineFaults engineFault(const std::function<void(SimScanEngineFaults&)>& set) {
    SimScanEngineFaults faults;
    set(faults);
    return faults;
}
SimReplyFaults replyFault(const std::function<void(SimReplyFaults&)>& set) {
    SimReplyFaults faults;
    set(faults);
    return faults;
}

class ZebraEngineTest : public ::testing::TestWithParam<EngineModel> {
  public:
    void SetUp() override {
        // Records each packet the engine receives, then lets `answer` (when set) or the engine
        // reply.
        const auto engineRow = link->sim.reader->row(kEngineCommand);
        link->sim.reader->addRow(kEngineCommand, [this, engineRow](const SimRequest& r) {
            const OrvRfidCmd_ScannerEngineParameter request(OrvaneRfidCommand::SendBytes{r.frame});
            const ZebraPacket packet = ZebraCodec::decode(request.data());
            std::function<void(const SimRequest&, const ZebraPacket&)> override;
            {
                std::lock_guard guard(lock_);
                sent_.push_back({packet.opcode, zebraItems(packet)});
                frames_.emplace_back(r.frame.begin(), r.frame.end());
                override = answer;
            }
            if (override) {
                override(r, packet);
            } else {
                engineRow(r);
            }
        });
    }

    std::vector<Bytes> frames() const {
        std::lock_guard guard(lock_);
        return frames_;
    }
    std::vector<Sent> sent() const {
        std::lock_guard guard(lock_);
        return sent_;
    }
    void answerWith(std::function<void(const SimRequest&, const ZebraPacket&)> a) {
        std::lock_guard guard(lock_);
        answer = std::move(a);
    }
    SimScanEngine& simEngine() { return link->sim.reader->scanEngine(); }

    // Runs one request to its end and returns its calls; with `settle`, after a pause in which
    // no further call may come.
    template <typename Start>
    std::vector<RecordingDelegate::Call> run(Start start, bool settle = false) {
        auto delegate = std::make_shared<RecordingDelegate>();
        start(delegate);
        EXPECT_TRUE(delegate->waitFinished());
        if (settle) Clock::sleepForMs(100);
        return delegate->calls();
    }

    EngineModel model() const { return GetParam(); }

    std::shared_ptr<SimReaderLink> link = std::make_shared<SimReaderLink>(model());
    std::shared_ptr<BaseEngine> engine = BaseEngine::create(model(), link);
    mutable std::mutex lock_;
    std::vector<Sent> sent_;
    std::vector<Bytes> frames_;
    std::function<void(const SimRequest&, const ZebraPacket&)> answer;
};

TEST_P(ZebraEngineTest, EverySupportedParameterRoundTripsSinglyAndInBatches) {
    const std::vector<EngineParam> rows = engine->supportedParameters();
    std::map<EngineParamId, std::string> expected;
    for (const EngineParam& row : rows) {
        EngineParam param(row.id(), otherValue(row));
        const auto set = run([&](auto d) { engine->setParameter(1, param, d); });
        ASSERT_EQ(set.size(), 1U) << description(row.id());
        EXPECT_EQ(set[0].kind, 'E') << description(row.id());

        link->failures = 2;
        const auto got = run([&](auto d) { engine->getParameter(2, row.id(), d); });
        ASSERT_EQ(got.size(), 2U) << description(row.id());
        EXPECT_EQ(got[0].param, row.id());
        EXPECT_EQ(got[0].value, param.getValue()) << description(row.id());
        EXPECT_EQ(link->failures.load(), 0) << "a good single read resets the failure count";
        expected[row.id()] = row.defaultValue();
    }

    // Back to the defaults in one request, read back in one.
    std::vector<EngineParam> defaults;
    for (const EngineParam& row : rows)
        defaults.emplace_back(row.id(), row.defaultValue());
    EXPECT_EQ(run([&](auto d) { engine->setParameters(3, defaults, d); }).size(), 1U);
    link->failures = 2;
    std::map<EngineParamId, std::string> read;
    for (const auto& call : run([&](auto d) { engine->getParameters(4, std::nullopt, d); })) {
        EXPECT_EQ(call.id, 4);
        if (call.kind == 'R') read[call.param] = call.value;
    }
    EXPECT_EQ(read, expected);
    EXPECT_EQ(link->failures.load(), 2) << "only the single read resets the failure count";

    // The batches: 40 numbers per read, 30 entries per write.
    const std::size_t n = rows.size();
    std::vector<Sent> want;
    for (std::size_t at = 0; at < n; at += 30)
        want.push_back({Opcode::PARAM_SEND, std::min<std::size_t>(30, n - at)});
    for (std::size_t at = 0; at < n; at += 40)
        want.push_back({Opcode::PARAM_REQUEST, std::min<std::size_t>(40, n - at)});
    const std::vector<Sent> all = sent();
    ASSERT_GE(all.size(), want.size());
    EXPECT_EQ(std::vector<Sent>(all.end() - static_cast<long>(want.size()), all.end()), want);
}

INSTANTIATE_TEST_SUITE_P(Models, ZebraEngineTest,
                         ::testing::Values(EngineModel::SE4107, EngineModel::SE2707),
                         [](const auto& info) { return std::string(description(info.param)); });

// Failures on the SE4107.
class ZebraEngineFailureTest : public ZebraEngineTest {};

enum class Op { get, set, getMany, setMany };

struct FailureCase {
    const char* name;
    std::function<void(ZebraEngineFailureTest&)> arrange;
    Op op;
    std::string value;  // what a write writes
    std::string kinds;  // the delegate calls, in order
    ResultCode code;    // of the didFail call
    std::size_t sent;   // packets that reached the engine
};

const std::vector<FailureCase>& failureCases() {
    static const std::vector<FailureCase> cases = {
        {"NakToAWrite",
         [](auto& t) {
             t.simEngine().setFaults(
                 engineFault([](auto& f) { f.nakNextWrite = NakCause::hostDirectiveDenied; }));
         },
         Op::set, "1", "FE", ResultCode::invalidResponse, 1},
        {"NakToARead",
         [](auto& t) {
             t.answerWith([&t](const SimRequest& r, const ZebraPacket&) {
                 // Cause 1 equals UPC-A's number: it must not read as UPC-A's value.
                 t.link->sim.reader->replyOk(r, Bytes{0x05, 0xD1, 0x00, 0x00, 0x01, 0xFF, 0x29});
             });
         },
         Op::get, "", "FE", ResultCode::invalidResponse, 1},
        {"NakToABatchRead",
         [](auto& t) {
             t.answerWith([&t](const SimRequest& r, const ZebraPacket&) {
                 t.link->sim.reader->replyOk(r, Bytes{0x05, 0xD1, 0x00, 0x00, 0x01, 0xFF, 0x29});
             });
         },
         Op::getMany, "", "FE", ResultCode::invalidResponse, 1},
        {"OtherAnswerToAWrite",
         [](auto& t) {
             t.answerWith([&t](const SimRequest& r, const ZebraPacket&) {
                 t.link->sim.reader->replyOk(r,
                                             ZebraCodec::encode(ZebraPacket(Opcode::EVENT, {1})));
             });
         },
         Op::setMany, "1", "FE", ResultCode::invalidResponse, 1},
        {"Timeout",
         [](auto& t) { t.simEngine().setFaults(engineFault([](auto& f) { f.noReply = true; })); },
         Op::get, "", "FE", ResultCode::timeout, 1},
        {"TimeoutOfAWrite",
         [](auto& t) { t.simEngine().setFaults(engineFault([](auto& f) { f.noReply = true; })); },
         Op::set, "1", "FE", ResultCode::timeout, 1},
        {"BadChecksum",
         [](auto& t) {
             t.simEngine().setFaults(engineFault([](auto& f) { f.badChecksum = true; }));
         },
         Op::get, "", "FE", ResultCode::invalidResponse, 1},
        {"BadChecksumOfAWrite",
         [](auto& t) {
             t.simEngine().setFaults(engineFault([](auto& f) { f.badChecksum = true; }));
         },
         Op::setMany, "1", "FE", ResultCode::invalidResponse, 1},
        {"ReaderStatusOfAWrite",
         [](auto& t) {
             t.link->sim.reader->setReplyFaults(replyFault([](auto& f) {
                 f.wrongStatus = 0x01;
                 f.count = 1;
             }));
         },
         Op::set, "1", "FE", ResultCode::noError /* any status code */, 1},
        {"NoDevice", [](auto& t) { t.link->hasDevice = false; }, Op::get, "", "FE",
         ResultCode::invalidResponse, 0},
        {"NoDeviceForABatchRead", [](auto& t) { t.link->hasDevice = false; }, Op::getMany, "", "FE",
         ResultCode::invalidResponse, 0},
        {"ValueItCannotCarry", [](auto&) {}, Op::set, "abc", "FE", ResultCode::invalidParameter, 0},
        {"ValueItCannotCarryInABatch", [](auto&) {}, Op::setMany, "256", "FE",
         ResultCode::invalidParameter, 0},
    };
    return cases;
}

TEST_P(ZebraEngineFailureTest, EachFailureIsReportedAndTheRequestFinishesOnce) {
    for (const FailureCase& c : failureCases()) {
        SCOPED_TRACE(c.name);
        // A fresh reader per case.
        link = std::make_shared<SimReaderLink>(model());
        engine = BaseEngine::create(model(), link);
        {
            std::lock_guard guard(lock_);
            sent_.clear();
            answer = nullptr;
        }
        SetUp();
        c.arrange(*this);
        std::optional<FastClock> fast;
        if (c.code == ResultCode::timeout) fast.emplace();
        const EngineParam upcA(EngineParamId::upcAOnOff, c.value);
        const auto calls = run(
            [&](auto d) {
                switch (c.op) {
                    case Op::get:
                        return engine->getParameter(5, EngineParamId::upcAOnOff, d);
                    case Op::set:
                        return engine->setParameter(5, upcA, d);
                    case Op::getMany:
                        return engine->getParameters(5, std::vector{EngineParamId::upcAOnOff}, d);
                    case Op::setMany:
                        return engine->setParameters(5, {upcA}, d);
                }
            },
            true);
        std::string kinds;
        for (const auto& call : calls) {
            kinds += call.kind;
            EXPECT_EQ(call.id, 5);
            if (call.kind != 'F') continue;
            if (c.code == ResultCode::noError) {
                EXPECT_NE(call.code, ResultCode::noError);
            } else {
                EXPECT_EQ(call.code, c.code) << call.value;
            }
        }
        EXPECT_EQ(kinds, c.kinds);
        EXPECT_EQ(sent().size(), c.sent);
    }
}

TEST_P(ZebraEngineFailureTest, RefusalsBeforeSendingAndARefusedBatchThatDoesNotStopTheNext) {
    auto log = LogCapture::install();
    // Not in the table, in a single and in a batch operation; empty lists.
    EXPECT_EQ(run([&](auto d) {
                  engine->getParameter(1, EngineParamId::gs1DatabarExpandedSecurityLevel, d);
              })
                  .front()
                  .code,
              ResultCode::notSupported);
    EXPECT_EQ(run([&](auto d) {
                  engine->getParameters(2,
                                        std::vector{EngineParamId::upcAOnOff,
                                                    EngineParamId::gs1DatabarExpandedSecurityLevel},
                                        d);
              })
                  .front()
                  .code,
              ResultCode::notSupported);
    const auto emptyWrite = run([&](auto d) { engine->setParameters(3, {}, d); });
    EXPECT_EQ(emptyWrite.front().code, ResultCode::invalidParameter);
    EXPECT_EQ(emptyWrite.size(), 2U);
    const auto emptyRead =
        run([&](auto d) { engine->getParameters(4, std::vector<EngineParamId>{}, d); });
    EXPECT_EQ(emptyRead.size(), 1U);
    EXPECT_EQ(emptyRead.front().kind, 'E');
    EXPECT_TRUE(sent().empty());
    const std::string name(description(EngineParamId::gs1DatabarExpandedSecurityLevel));
    EXPECT_EQ(log->count(name + " is not supported!", LogLevel::error), 2);
    EXPECT_EQ(log->count("getParameter(id:engineParamId:delegate:) - id: 1, exception: "), 1);
    EXPECT_EQ(log->count("setParameters(id:engineParams:delegate:) - id: 3, engineParams is empty"),
              1);

    // 31 writes, the first packet refused: a failure, and the second packet still goes.
    simEngine().setFaults(
        engineFault([](auto& f) { f.nakNextWrite = NakCause::hostDirectiveDenied; }));
    std::vector<EngineParam> writes;
    for (std::size_t i = 0; i < 31; ++i)
        writes.push_back(engine->supportedParameters()[i]);
    std::string kinds;
    for (const auto& call : run([&](auto d) { engine->setParameters(6, writes, d); }))
        kinds += call.kind;
    EXPECT_EQ(kinds, "FE");
    EXPECT_EQ(sent().size(), 2U);
    EXPECT_EQ(log->count("setParameters(id:engineParams:delegate:) - id: 6, set parameter failed, "
                         "Host Directive Denied"),
              1);
    EXPECT_EQ(log->count("setParameters(id:engineParams:delegate:) - id: 6, set parameter success",
                         LogLevel::trace),
              orvLogger::isEnabled(LogLevel::trace) ? 1 : 0);
}

TEST_P(ZebraEngineFailureTest, TheWireFormsOfReadsAndWritesAndAWorkWithoutDelegate) {
    const auto timeout =
        run([&](auto d) { engine->getParameter(1, EngineParamId::decodeSessionTimeout, d); });
    ASSERT_EQ(timeout.size(), 2U);
    EXPECT_EQ(timeout[0].value, "49");
    engine->setParameter(2, EngineParam(EngineParamId::upcAOnOff, "1"), nullptr);
    ASSERT_TRUE(waitUntil([&] { return frames().size() == 2; }));
    EXPECT_EQ(run([&](auto d) {
                  engine->setParameter(
                      3, EngineParam(EngineParamId::userProgrammableSupplementals1, "999"), d);
              }).size(),
              1U);
    const auto word = run(
        [&](auto d) { engine->getParameter(4, EngineParamId::userProgrammableSupplementals1, d); });
    ASSERT_EQ(word.size(), 2U);
    EXPECT_EQ(word[0].value, "999");

    const std::vector<Bytes> frames = this->frames();
    ASSERT_EQ(frames.size(), 4U);
    EXPECT_EQ(frames[0], (Bytes{0x02, 0x00, 0x0B, 0xF0, 0x94, 0x05, 0xC7, 0x04, 0x00, 0x88, 0xFE,
                                0xA8, 0xFB, 0x73, 0x03}));
    EXPECT_EQ(frames[1], (Bytes{0x02, 0x00, 0x0D, 0xF0, 0x94, 0x07, 0xC6, 0x04, 0x08, 0xFF, 0x01,
                                0x01, 0xFE, 0x26, 0xFB, 0x71, 0x03}));
    EXPECT_EQ(Bytes(frames[2].begin() + 5, frames[2].end() - 3),
              (Bytes{0x0A, 0xC6, 0x04, 0x08, 0xFF, 0xF4, 0xF1, 0x43, 0x03, 0xE7, 0xFB, 0x13}));
}

TEST_P(ZebraEngineFailureTest, ALateReplyNeverAnswersTheNextRequest) {
    // The late reply comes after the timeout on the library's own clock, at any pace.
    const FastClock fast;
    simEngine().setValue(ZebraParamId::UPCA, {0x00});
    simEngine().setValue(ZebraParamId::UPCE, {0x01});
    link->sim.reader->setReplyFaults(replyFault([](auto& f) {
        f.lateBy = std::chrono::milliseconds(5500);
        f.count = 1;
    }));
    const auto late = run([&](auto d) { engine->getParameter(1, EngineParamId::upcAOnOff, d); });
    ASSERT_FALSE(late.empty());
    EXPECT_EQ(late.front().code, ResultCode::timeout);

    // The late reply (UPC-A 0) arrives while or before these run; neither takes it.
    for (int i = 0; i < 3; ++i) {
        const auto got =
            run([&](auto d) { engine->getParameter(2, EngineParamId::upcE0OnOff, d); });
        ASSERT_EQ(got.size(), 2U);
        EXPECT_EQ(got[0].param, EngineParamId::upcE0OnOff);
        EXPECT_EQ(got[0].value, "1");
    }
}

TEST_P(ZebraEngineFailureTest, TheWorkInFlightHoldsTheEngineTheReaderDropped) {
    link->sim.reader->setReplyFaults(replyFault([](auto& f) {
        f.lateBy = std::chrono::milliseconds(1000);
        f.count = 1;
    }));
    auto delegate = std::make_shared<RecordingDelegate>();
    engine->getParameter(1, EngineParamId::upcAOnOff, delegate);
    std::weak_ptr<BaseEngine> held = engine;
    engine.reset();  // the reader replaces its engine
    ASSERT_TRUE(delegate->waitFinished());
    EXPECT_EQ(delegate->kinds(), "RE");
    EXPECT_TRUE(waitUntil([&] { return held.expired(); }));
}

INSTANTIATE_TEST_SUITE_P(SE4107, ZebraEngineFailureTest, ::testing::Values(EngineModel::SE4107),
                         [](const auto& info) { return std::string(description(info.param)); });

}  // namespace
}  // namespace orvane::test
