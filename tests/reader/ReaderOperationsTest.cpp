// The reader's device-setting, parameter and firmware operations on a stand-in device: every
// row of the device's operation list walked by one table.

#include <gtest/gtest.h>

#include <concepts>
#include <stdexcept>
#include <thread>

#include "ReaderTestSupport.h"
#include "orvanerfid/reader/BaseReader.h"

namespace orvane {
namespace {

using test::CallLog;
using test::LogCapture;
using test::waitUntil;

// A reader's form of the operations has no twin for the ambient temperature and spells the
// twin of the auto-off time list with a lower-case "t".
template <class R>
concept HasAmbientTemperatureTwin = requires(R& r) {
    r.getAmbientTemperature_OC(nullptr);
};
template <class R>
concept HasUpperCaseAutoOffTimeListTwin = requires(R& r) {
    r.getAutoOffTimeList_OC(nullptr);
};
static_assert(!HasAmbientTemperatureTwin<BaseReader>);
static_assert(!HasUpperCaseAutoOffTimeListTwin<BaseReader>);

enum class Answer { value, codedError, otherError, notSupported };

// Supplies every operation of the list: records its name and answers as `answer` says.
class StandInDevice : public BaseDevice {
  public:
    explicit StandInDevice(std::shared_ptr<BaseProtocol> protocol)
        : BaseDevice("StandInDevice", std::move(protocol)) {}
    void initDevice() override {}
    uint8_t getModuleInfo(uint8_t) override { return 0; }
    void triggerAlive() override {}

#define STAND_IN_GET(setting, Value, name) \
    Value name() override {                \
        hit(#name);                        \
        return Value{};                    \
    }
#define STAND_IN_SET(setting, Value, name) \
    void name(Value) override {            \
        hit(#name);                        \
    }
#define STAND_IN_ACTION(setting, name) \
    void name() override {             \
        hit(#name);                    \
    }
#define STAND_IN_CALL(Result, name, ...)
    ORV_DEVICE_OPERATIONS(STAND_IN_GET, STAND_IN_SET, STAND_IN_ACTION, STAND_IN_CALL)
#undef STAND_IN_GET
#undef STAND_IN_SET
#undef STAND_IN_ACTION
#undef STAND_IN_CALL
    OperatingMode getOperationMode() override {
        return hit("getOperationMode"), OperatingMode{};
    }
    void setOperationMode(OperatingMode) override {
        hit("setOperationMode");
    }
    void setDisplayOutput(std::string, uint8_t, bool, uint8_t) override {
        hit("setDisplayOutput");
    }
    KeyFunction getKeyFunction(KeyID) override {
        return hit("getKeyFunction"), KeyFunction{};
    }
    BatteryStatusExtended getBatteryStatusExtended(
        std::vector<BatteryStatusExtendedType>) override {
        return hit("getBatteryStatusExtended"), BatteryStatusExtended{};
    }

    std::atomic<Answer> answer{Answer::value};
    CallLog calls;

  protected:
    Bytes getBytePackage(const DeviceParam&) override {
        return {};
    }
    Bytes setBytePackage(const DeviceParam&) override {
        return {};
    }
    std::vector<DeviceParam> responseDataToDeviceParam(ByteView,
                                                       const std::vector<DeviceParamId>&) override {
        return {};
    }
    void verifySetResult(ByteView) override {}

  private:
    void hit(const char* name) {
        calls.add(name);
        switch (answer.load()) {
            case Answer::value:
                return;
            case Answer::codedError:
                throw ReaderException(ResultCode::timeout, "late");
            case Answer::otherError:
                throw std::runtime_error("boom");
            case Answer::notSupported:
                throw ReaderException(ResultCode::notSupported, "");
        }
    }
};

// A reader on the emulator descriptor whose device the test replaces.
class StandInReader : public UhfReader {
  public:
    StandInReader(Key key, std::shared_ptr<OrvaneDevice> device)
        : UhfReader(key, std::move(device)) {}
    void use(std::shared_ptr<BaseDevice> device) { replaceBaseDevice(std::move(device)); }

  protected:
    void asyncInitReader(uint64_t generation) override { finishInitialisation(generation); }
};

// What one completion saw.
struct Outcome {
    std::atomic<int> calls{0};
    std::atomic<uint16_t> code{0xFFFF};
    std::atomic<bool> hasValue{false};
    // The twin's value was the form of an absent value (-1, false, empty, now, absent).
    std::atomic<bool> absentForm{false};
    std::atomic<bool> offCaller{false};
    std::thread::id caller = std::this_thread::get_id();

    void record(ResultCode c, bool value) {
        code = rawValue(c);
        hasValue = value;
        offCaller = std::this_thread::get_id() != caller;
        ++calls;
    }
};

template <class W>
bool isAbsentForm(const W& value) {
    if constexpr (std::same_as<W, bool>) {
        return !value;
    } else if constexpr (std::same_as<W, int64_t> || std::same_as<W, double>) {
        return value == -1;
    } else if constexpr (std::same_as<W, DeviceDate>) {
        const auto age = std::chrono::system_clock::now() - value;
        return age >= std::chrono::seconds(0) && age < std::chrono::seconds(5);
    } else if constexpr (requires { value.empty(); }) {
        return value.empty();
    } else if constexpr (requires { value.has_value(); }) {
        return !value.has_value();
    } else {
        return true;  // a value class: a default object
    }
}

struct Row {
    std::string op;  // the device operation the row reaches
    std::string signature;
    bool reading = false;
    bool endsLink = false;
    // Calls the operation (with an empty completion when `outcome` is null).
    std::function<void(BaseReader&, Outcome*)> call;
    // Calls the twin, if the operation has one.
    std::function<void(BaseReader&, Outcome*)> twin;
};

template <class T>
ValueCompletion<T> recordValue(Outcome* outcome) {
    if (!outcome) return nullptr;
    return [outcome](ResultCode code, std::optional<T> value) {
        outcome->record(code, value.has_value());
    };
}
inline ResultCompletion recordCode(Outcome* outcome) {
    if (!outcome) return nullptr;
    return [outcome](ResultCode code) { outcome->record(code, false); };
}
template <class W>
std::function<void(ResultCode, W)> recordTwin(Outcome* outcome) {
    return [outcome](ResultCode code, W value) {
        outcome->absentForm = isAbsentForm(value);
        outcome->record(code, true);
    };
}

#define ROW_TWIN_twin(name, Value) \
    [](BaseReader& r, Outcome* o) { r.name##_OC(recordTwin<TwinValue<Value>>(o)); }
#define ROW_TWIN_noTwin(name, Value) nullptr
#define ROW_TWIN_autoOfftimeTwin(name, Value) \
    [](BaseReader& r, Outcome* o) { r.getAutoOfftimeList_OC(recordTwin<TwinValue<Value>>(o)); }
#define ROW_TWIN_optionalTwin(name, Value) \
    [](BaseReader& r, Outcome* o) { r.name##_OC(recordTwin<std::optional<uint64_t>>(o)); }
#define ROW_GET(setting, Value, name)                                                 \
    rows.push_back({#name, #name "(completion:)", true, endsLink(#name),              \
                    [](BaseReader& r, Outcome* o) { r.name(recordValue<Value>(o)); }, \
                    ORV_READER_CAT(ROW_TWIN_, ORV_READER_FORM(name, twin))(name, Value)});
#define ROW_SET(setting, Value, name)                                       \
    rows.push_back({#name, #name "(_:completion:)", false, endsLink(#name), \
                    [](BaseReader& r, Outcome* o) { r.name(Value{}, recordCode(o)); }, nullptr});
#define ROW_ACTION_plain(name)                                                  \
    {                                                                           \
#name, #name "(completion:)", false, endsLink(#name),                   \
            [](BaseReader & r, Outcome * o) { r.name(recordCode(o)); }, nullptr \
    }
#define ROW_ACTION_optionalCompletion(name) ROW_ACTION_plain(name)
#define ROW_ACTION_noCompletion(name)                           \
    {                                                           \
#name, #name "()", false, endsLink(#name),              \
            [](BaseReader & r, Outcome*) { r.name(); }, nullptr \
    }
#define ROW_ACTION_unpairDevice(name)                                                            \
    {                                                                                            \
#name, "unpairBluetoothDevice(completion:)", false, endsLink(#name),                     \
            [](BaseReader & r, Outcome * o) { r.unpairBluetoothDevice(recordCode(o)); }, nullptr \
    }
#define ROW_ACTION(setting, name) \
    rows.push_back(ORV_READER_CAT(ROW_ACTION_, ORV_READER_FORM(name, plain))(name));
// The rows with arguments of their own, by device operation; firmwareUpdate has its own tests
// and setEngineReadyEvent is no reader operation.
#define ROW_CALL(Result, name, ...) callRow(rows, #name);

void callRow(std::vector<Row>& rows, const std::string& op) {
    static const std::map<std::string, Row> rowsWithArguments{
        {"getOperationMode",
         {"getOperationMode", "getOperationMode(completion:)", true, false,
          [](BaseReader& r, Outcome* o) { r.getOperationMode(recordValue<OperatingMode>(o)); },
          [](BaseReader& r, Outcome* o) {
              r.getOperationMode_OC(recordTwin<TwinValue<OperatingMode>>(o));
          }}},
        {"setOperationMode",
         {"setOperationMode", "setOperationMode(_:completion:)", false, false,
          [](BaseReader& r, Outcome* o) { r.setOperationMode({}, recordCode(o)); }, nullptr}},
        {"setDisplayOutput",
         {"setDisplayOutput",
          "setDisplayOutput(_:charPosition:clearScreen:linePosition:completion:)", false, false,
          [](BaseReader& r, Outcome* o) { r.setDisplayOutput("hi", 1, true, 2, recordCode(o)); },
          nullptr}},
        {"getKeyFunction",
         {"getKeyFunction", "getKeyFunction(keyId:completion:)", true, false,
          [](BaseReader& r, Outcome* o) {
              r.getKeyFunction(KeyID::lowerKey, recordValue<KeyFunction>(o));
          },
          [](BaseReader& r, Outcome* o) {
              r.getKeyFunction_OC(KeyID::lowerKey, recordTwin<TwinValue<KeyFunction>>(o));
          }}},
        {"getBatteryStatusExtended",
         {"getBatteryStatusExtended", "getBatteryStatusExtended(_:completion:)", true, false,
          [](BaseReader& r, Outcome* o) {
              r.getBatteryStatusExtended({}, recordValue<BatteryStatusExtended>(o));
          },
          [](BaseReader& r, Outcome* o) {
              r.getBatteryStatusExtended_OC({},
                                            recordTwin<std::optional<BatteryStatusExtended>>(o));
          }}},
    };
    if (op == "firmwareUpdate" || op == "setEngineReadyEvent") return;
    const auto found = rowsWithArguments.find(op);
    ASSERT_NE(found, rowsWithArguments.end()) << op << " has no reader operation";
    rows.push_back(found->second);
}

std::vector<Row> operationRows() {
    std::vector<Row> rows;
    ORV_DEVICE_OPERATIONS(ROW_GET, ROW_SET, ROW_ACTION, ROW_CALL)
    return rows;
}

class ReaderOperations : public ::testing::Test {
  protected:
    void SetUp() override {
        logs = LogCapture::install();
        reader = BaseReader::make<StandInReader>(std::make_shared<OrvaneDevice>());
        reader->setCheckInterval(0);
        device = std::make_shared<StandInDevice>(reader->baseProtocol());
        reader->use(device);
        bare = BaseReader::make<StandInReader>(std::make_shared<OrvaneDevice>(nullptr));
    }
    void TearDown() override {
        reader->disconnect();
        reader.reset();
        bare.reset();
    }
    // Runs the row's operation (or twin) and waits for its completion; false when none came.
    static bool run(BaseReader& target, const std::function<void(BaseReader&, Outcome*)>& call,
                    Outcome& outcome) {
        call(target, &outcome);
        return waitUntil([&] { return outcome.calls.load() > 0; });
    }
    // The reader's own state, which follows its link once it has heard of it, as the
    // application's does.
    bool connected() const { return reader->connectState() == ConnectState::connected; }
    // Connected, connecting again once the reader has heard the end of its link.
    bool connectedAgain() {
        if (!waitUntil([&] {
                const ConnectState state = reader->connectState();
                return state == ConnectState::connected || state == ConnectState::disconnected;
            })) {
            return false;
        }
        if (!connected() && !reader->connect()) return false;
        return waitUntil([&] { return connected(); });
    }

    std::shared_ptr<LogCapture> logs;
    std::shared_ptr<StandInReader> reader;
    std::shared_ptr<StandInReader> bare;
    std::shared_ptr<StandInDevice> device;
};

TEST_F(ReaderOperations, EveryOperationReachesItsDeviceOperationAndMapsItsFailures) {
    const std::vector<Row> rows = operationRows();
    ASSERT_GT(rows.size(), 100u);
    std::vector<std::string> linkEnding;
    for (const Row& row : rows) {
        if (row.endsLink) linkEnding.push_back(row.signature);
    }
    EXPECT_EQ(linkEnding, (std::vector<std::string>{
                              "factoryReset()", "shutdown(completion:)",
                              "unpairBluetoothDevice(completion:)", "reboot(completion:)",
                              "stagingReset(completion:)", "setConnectionMode(_:completion:)"}));
    struct Case {
        Answer answer;
        ResultCode code;
        std::string log;  // the ERROR record after "<signature>"
    };
    const std::vector<Case> cases{
        {Answer::value, ResultCode::noError, ""},
        {Answer::codedError, ResultCode::timeout, " Error: Result Code: Timeout, Message: late"},
        {Answer::otherError, ResultCode::otherError, " Other error: boom"},
        {Answer::notSupported, ResultCode::notSupported, " Error: Result Code: Not Supported"},
    };
    ASSERT_TRUE(reader->connect());
    std::vector<std::unique_ptr<Outcome>> outcomes;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.signature);
        for (const Case& c : cases) {
            device->answer = c.answer;
            device->calls.clear();
            logs->clear();
            ASSERT_TRUE(connectedAgain());
            outcomes.push_back(std::make_unique<Outcome>());
            Outcome& outcome = *outcomes.back();
            if (row.signature.back() == ')' && row.signature.ends_with("()")) {
                // No completion: the device call and the ERROR record are what can be seen.
                row.call(*reader, nullptr);
                ASSERT_TRUE(waitUntil([&] { return device->calls.count(row.op) == 1; }));
                if (!c.log.empty()) {
                    EXPECT_TRUE(waitUntil([&] { return logs->count(row.signature + c.log) == 1; }));
                }
            } else {
                ASSERT_TRUE(run(*reader, row.call, outcome));
                EXPECT_EQ(device->calls.lines(), std::vector<std::string>{row.op});
                EXPECT_EQ(outcome.code.load(), rawValue(c.code));
                EXPECT_EQ(outcome.hasValue.load(), row.reading && c.code == ResultCode::noError);
                EXPECT_TRUE(outcome.offCaller.load());
                if (!c.log.empty()) {
                    EXPECT_EQ(logs->count(row.signature + c.log, LogLevel::error), 1);
                }
            }
            // The link ends after success only.
            if (row.endsLink && c.code == ResultCode::noError) {
                EXPECT_TRUE(waitUntil(
                    [&] { return reader->connectState() == ConnectState::disconnected; }));
            } else {
                EXPECT_TRUE(connected());
                EXPECT_EQ(reader->baseTransport()->connectState(), ConnectState::connected);
            }
            if (row.twin) {
                ASSERT_TRUE(connectedAgain());
                Outcome twin;
                ASSERT_TRUE(run(*reader, row.twin, twin));
                EXPECT_EQ(twin.code.load(), rawValue(c.code));
                if (c.code != ResultCode::noError) {
                    EXPECT_TRUE(twin.absentForm.load());
                }
            }
        }
        // Without a device: 0x6006 and the ERROR record naming the missing device.
        logs->clear();
        Outcome missing;
        if (row.signature.ends_with("()")) {
            row.call(*bare, nullptr);
            EXPECT_TRUE(waitUntil([&] {
                return logs->count(row.signature +
                                   " Error: Result Code: Connect Failed, Message: Device is nil") ==
                       1;
            }));
        } else {
            ASSERT_TRUE(run(*bare, row.call, missing));
            EXPECT_EQ(missing.code.load(), rawValue(ResultCode::connectFailed));
            EXPECT_FALSE(missing.hasValue.load());
        }
    }
    // No completion ran twice.
    Clock::sleepForMs(50);
    for (const auto& outcome : outcomes)
        EXPECT_LE(outcome->calls.load(), 1);
}

TEST_F(ReaderOperations, ThrowingCompletionStaysInsideAndRunsOnce) {
    std::atomic<int> calls{0};
    reader->getVibrator([&](ResultCode, std::optional<bool>) {
        ++calls;
        throw std::runtime_error("application fault");
    });
    ASSERT_TRUE(waitUntil([&] { return calls.load() == 1; }));
    EXPECT_TRUE(
        waitUntil([&] { return logs->count("getVibrator(completion:)", LogLevel::error) == 1; }));
    Clock::sleepForMs(50);
    EXPECT_EQ(calls.load(), 1);
}

// Records every delegate call as a line.
class ParameterSink : public ParameterDelegate {
  public:
    void didReceive(int id, const BaseParam& param) override {
        const DeviceParam* record = param.toDeviceParam();
        log.add(std::to_string(id) + " receive " +
                (record ? std::to_string(rawValue(record->id())) : "?"));
    }
    void didFail(int id, const CodedError& error) override {
        log.add(std::to_string(id) + " fail " + error.description());
    }
    void didFinish(int id) override { log.add(std::to_string(id) + " finish"); }
    bool finished(int id) const { return log.count(std::to_string(id) + " finish") > 0; }
    CallLog log;
};

TEST_F(ReaderOperations, ParameterOperationsWithoutADeviceFailWithInvalidModuleObject) {
    auto sink = std::make_shared<ParameterSink>();
    const std::string fail = " fail Result Code: Invalid Module Object, Message: Device is nil";
    bare->getParameter(-7, DeviceParamId::beeperVolume, sink);
    bare->setParameter(8, DeviceParam(DeviceParamId::beeperVolume), sink);
    bare->getParameters(9, std::nullopt, sink);
    bare->setParameters(10, {DeviceParam(DeviceParamId::beeperVolume)}, sink);
    // An empty write list ends at once, device or not.
    bare->setParameters(11, {}, sink);
    ASSERT_TRUE(waitUntil([&] {
        return sink->finished(-7) && sink->finished(8) && sink->finished(9) && sink->finished(10) &&
               sink->finished(11);
    }));
    Clock::sleepForMs(20);
    for (const int id : {-7, 8, 9, 10}) {
        std::vector<std::string> lines;
        for (const auto& line : sink->log.lines()) {
            if (line.starts_with(std::to_string(id) + " ")) lines.push_back(line);
        }
        EXPECT_EQ(lines, (std::vector<std::string>{std::to_string(id) + fail,
                                                   std::to_string(id) + " finish"}));
    }
    EXPECT_EQ(sink->log.count("11 finish"), 1);
    EXPECT_EQ(sink->log.lines().size(), 9u);
}

TEST_F(ReaderOperations, ParameterRequestOfAReleasedReaderStillFinishes) {
    auto sink = std::make_shared<ParameterSink>();
    for (int i = 0; i < 20; ++i) {
        auto gone = BaseReader::make<StandInReader>(std::make_shared<OrvaneDevice>(nullptr));
        gone->getParameters(i, std::nullopt, sink);
        gone.reset();
    }
    ASSERT_TRUE(waitUntil([&] {
        for (int i = 0; i < 20; ++i)
            if (!sink->finished(i)) return false;
        return true;
    }));
    Clock::sleepForMs(20);
    // Whether its work ran before or after its reader went, a request fails as one without a
    // device, then finishes once.
    for (int i = 0; i < 20; ++i) {
        std::vector<std::string> lines;
        for (const auto& line : sink->log.lines()) {
            if (line.starts_with(std::to_string(i) + " ")) lines.push_back(line);
        }
        EXPECT_EQ(lines, (std::vector<std::string>{
                             std::to_string(i) +
                                 " fail Result Code: Invalid Module Object, Message: Device is nil",
                             std::to_string(i) + " finish"}));
    }
}

TEST_F(ReaderOperations, FirmwareOperationsWithoutADevice) {
    Outcome outcome;
    bare->firmwareUpdate("fw.bin", Bytes(10), recordCode(&outcome));
    ASSERT_TRUE(waitUntil([&] { return outcome.calls.load() == 1; }));
    EXPECT_EQ(outcome.code.load(), rawValue(ResultCode::connectFailed));
    bare->abortFirmwareUpdate();
    EXPECT_TRUE(waitUntil([&] {
        return logs->count(
                   "abortFirmwareUpdate() Error: Result Code: Connect Failed, "
                   "Message: Device is nil",
                   LogLevel::error) == 1;
    }));
}

}  // namespace
}  // namespace orvane
