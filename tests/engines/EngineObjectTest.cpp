// The engine object without a reader: selection by model, the support rule and the version.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/engines/EngineSE2707.h"
#include "orvanerfid/engines/EngineSE4107.h"

namespace orvane::test {
namespace {

std::set<uint64_t> supportedRawIds(const BaseEngine& engine) {
    std::set<uint64_t> ids;
    for (EngineParamId id : allCases<EngineParamId>()) {
        if (engine.isSupport(id)) ids.insert(rawValue(id));
    }
    return ids;
}

TEST(EngineObject, OnlyTheTwoZebraModelsHaveAnEngineEachWithItsOwnTable) {
    for (EngineModel model : allCases<EngineModel>()) {
        SCOPED_TRACE(description(model));
        const auto engine = BaseEngine::create(model, {});
        const bool zebra = model == EngineModel::SE4107 || model == EngineModel::SE2707;
        ASSERT_EQ(engine != nullptr, zebra);
        if (!zebra) continue;
        EXPECT_EQ(engine->engineModel(), model);
        EXPECT_EQ(engine->className(), "Engine" + std::string(description(model)));
        EXPECT_EQ(engine->strVersion(), "");
        EXPECT_EQ(engine->version(), 0);
        const auto table = model == EngineModel::SE4107 ? EngineSE4107::makeSupportedParameters()
                                                        : EngineSE2707::makeSupportedParameters();
        std::vector<EngineParamId> tableIds;
        for (const EngineParam& row : table)
            tableIds.push_back(row.id());
        EXPECT_EQ(engine->supportedIds(), tableIds);
        EXPECT_EQ(engine->supportedParameters().size(), table.size());
    }

    // The ids only one of the two supports.
    const auto se4107 = supportedRawIds(*BaseEngine::create(EngineModel::SE4107, {}));
    const auto se2707 = supportedRawIds(*BaseEngine::create(EngineModel::SE2707, {}));
    std::vector<uint64_t> only4107, only2707;
    std::ranges::set_difference(se4107, se2707, std::back_inserter(only4107));
    std::ranges::set_difference(se2707, se4107, std::back_inserter(only2707));
    EXPECT_EQ(only4107, (std::vector<uint64_t>{4, 6, 135, 158, 185, 202, 206, 207, 212, 213, 214,
                                               300, 301, 302, 303, 304, 305}));
    EXPECT_EQ(only2707, (std::vector<uint64_t>{174}));
}

TEST(EngineObject, TheVersionEventSetsTheTextAndEveryRowStaysSupported) {
    auto log = LogCapture::install();
    orvLogger::setLevel(LogLevel::debug);
    const auto engine = BaseEngine::create(EngineModel::SE2707, {});
    engine->protocolEvent(ProtocolEventArgs(ProtocolEventId::firmwareVersion));
    engine->protocolEvent(ProtocolEventArgs(ProtocolEventId::engineModel, EngineModel::SE4107));
    EXPECT_EQ(engine->strVersion(), "");
    engine->protocolEvent(ProtocolEventArgs(ProtocolEventId::engineVersion, std::string("1.2.3")));
    EXPECT_EQ(engine->strVersion(), "1.2.3");
    EXPECT_EQ(engine->version(), 0);
    EXPECT_EQ(engine->engineModel(), EngineModel::SE2707);
    EXPECT_EQ(log->count("convertVersion(_:) Engine Version: 1.2.3", LogLevel::debug), 1);
    for (EngineParamId id : engine->supportedIds())
        EXPECT_NO_THROW(engine->checkSupport(id)) << description(id);

    EXPECT_EQ(codeOf([&] { engine->checkSupport(EngineParamId::febrabanOnOff); }),
              ResultCode::notSupported);
    EXPECT_EQ(log->texts("EngineSE2707").back(), "Febraban On/Off is not supported!");
    orvLogger::setLevel(LogLevel::info);
}

// A Zebra engine with a table of the test's own.
class WindowEngine : public ZebraEngine {
  public:
    WindowEngine(std::vector<EngineParam> rows, bool withIds)
        : ZebraEngine({}, EngineModel::SE4107, "WindowEngine", std::move(rows)) {
        if (!withIds) supportedIds_.clear();
    }
};

TEST(EngineObject, TheFirstRowDecidesOnAnInclusiveVersionWindow) {
    EngineParam windowed(EngineParamId::upcAOnOff, true);
    windowed.set_minVersion(5);
    windowed.set_maxVersion(9);
    const std::vector<EngineParam> rows = {windowed, EngineParam(EngineParamId::upcAOnOff, true),
                                           EngineParam(EngineParamId::upcE0OnOff, true)};
    WindowEngine engine(rows, true);
    for (const auto& [version, supported] :
         std::vector<std::pair<uint16_t, bool>>{{4, false}, {5, true}, {9, true}, {10, false}}) {
        engine.setVersion(version);
        EXPECT_EQ(engine.isSupport(EngineParamId::upcAOnOff), supported) << version;
        EXPECT_TRUE(engine.isSupport(EngineParamId::upcE0OnOff));
        EXPECT_FALSE(engine.isSupport(EngineParamId::upcE1OnOff));
    }
    WindowEngine withoutIds(rows, false);
    EXPECT_FALSE(withoutIds.isSupport(EngineParamId::upcE0OnOff));
}

TEST(EngineObject, AnEngineNotOwnedByASharedPtrRefusesOnThePool) {
    const ConsoleOff console;
    EngineSE2707 engine(std::weak_ptr<ReaderLink>{});
    auto delegate = std::make_shared<RecordingDelegate>();
    struct Threads {
        std::mutex lock;
        std::set<std::thread::id> ids;
    };
    auto threads = std::make_shared<Threads>();
    delegate->onCall = [threads](const auto&) {
        std::lock_guard guard(threads->lock);
        threads->ids.insert(std::this_thread::get_id());
    };
    engine.getParameter(1, EngineParamId::upcAOnOff, delegate);
    ASSERT_TRUE(delegate->waitFinished());
    EXPECT_EQ(delegate->kinds(), "FE");
    EXPECT_EQ(delegate->calls().front().code, ResultCode::invalidModuleObject);
    std::lock_guard guard(threads->lock);
    EXPECT_FALSE(threads->ids.contains(std::this_thread::get_id()));
}

}  // namespace
}  // namespace orvane::test
