// The reader's own setting operations against each simulated reader: every readable and writable
// setting of the model read, written with another value and read back, the settings paired from
// the device's operation list.

#include <gtest/gtest.h>

#include <algorithm>
#include <any>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>

#include "ReaderFixture.h"
#include "orvanerfid/devices/BaseDevice.h"

namespace orvane::test {
namespace {

constexpr ResultCode kOk = ResultCode::noError;

template <class T>
using Read = std::function<void(BaseReader&, ValueCompletion<T>)>;
template <class T>
using Write = std::function<void(BaseReader&, const T&, ResultCompletion)>;

// The one answer of a reading, and the code of a writing.
template <class T>
std::pair<ResultCode, std::optional<T>> answerOf(BaseReader& reader, const Read<T>& read) {
    return test::answerOf<T>([&](ValueCompletion<T> done) { read(reader, std::move(done)); });
}
template <class T>
ResultCode codeOf(BaseReader& reader, const Write<T>& write, const T& value) {
    return test::codeOf([&](ResultCompletion done) { write(reader, value, std::move(done)); });
}

// Reads the value, writes the first of `others(value)` the reader accepts and reads it back;
// values compare by `text`. Gives the text of the value read first.
template <class T>
std::optional<std::string> roundTrip(BaseReader& reader, const Read<T>& read, const Write<T>& write,
                                     const std::function<std::vector<T>(const T&)>& others,
                                     const std::function<std::string(const T&)>& text) {
    const auto now = answerOf(reader, read);
    EXPECT_EQ(now.first, kOk);
    if (!now.second) return std::nullopt;
    for (const T& value : others(*now.second)) {
        if (text(value) == text(*now.second) || codeOf(reader, write, value) != kOk) continue;
        const auto back = answerOf(reader, read);
        EXPECT_EQ(back.first, kOk);
        EXPECT_EQ(back.second ? text(*back.second) : "(none)", text(value));
        return text(*now.second);
    }
    ADD_FAILURE() << "The reader took no other value";
    return std::nullopt;
}

// The other values of a setting whose device text is `now`: the text with its last byte stepped
// through every other byte (a one-byte text for an empty one), where that is a text of the
// setting.
std::vector<DeviceValue> otherValues(DeviceParamId id, const std::string& now) {
    const DeviceParam param(id);
    const bool hex = now.size() % 2 == 0 && std::all_of(now.begin(), now.end(), [](char c) {
                         return std::isxdigit(static_cast<unsigned char>(c)) != 0;
                     });
    if (!hex) return {};
    const std::string head = now.empty() ? "" : now.substr(0, now.size() - 2);
    const int last = now.empty() ? 0x40 : std::stoi(now.substr(now.size() - 2), nullptr, 16);
    std::vector<DeviceValue> values;
    for (int step = 1; step < 256; ++step) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02X", (last + step) & 0xFF);
        if (auto value = param.valueToAny(head + byte)) values.push_back(std::move(*value));
    }
    return values;
}

// One readable and writable setting, its reading and writing operations paired by the setting
// of their rows in the device's operation list.
struct Setting {
    DeviceParamId id;
    // Gives the device text of the value read first.
    std::function<std::optional<std::string>(BaseReader&)> roundTrip;
};

class SettingList {
  public:
    SettingList() {
#define ORV_TEST_GETTER_(setting, Value, name)      \
    getters_[DeviceParamId::setting] = Read<Value>( \
        [](BaseReader& reader, ValueCompletion<Value> done) { reader.name(std::move(done)); });
#define ORV_TEST_SETTER_(setting, Value, name)                                     \
    add<Value>(DeviceParamId::setting, #name,                                      \
               [](BaseReader& reader, const Value& value, ResultCompletion done) { \
                   reader.name(value, std::move(done));                            \
               });
#define ORV_TEST_SKIP_(...)
        ORV_DEVICE_OPERATIONS(ORV_TEST_GETTER_, ORV_TEST_SKIP_, ORV_TEST_SKIP_, ORV_TEST_SKIP_)
        ORV_DEVICE_OPERATIONS(ORV_TEST_SKIP_, ORV_TEST_SETTER_, ORV_TEST_SKIP_, ORV_TEST_SKIP_)
#undef ORV_TEST_GETTER_
#undef ORV_TEST_SETTER_
#undef ORV_TEST_SKIP_
    }
    const std::vector<Setting>& settings() const {
        return settings_;
    }

  private:
    template <class T>
    void add(DeviceParamId id, std::string_view name, Write<T> write) {
        const auto found = getters_.find(id);
        // A setter that ends the link is walked by the operation table on a stand-in device.
        if (found == getters_.end() || endsLink(name)) return;
        const Read<T> read = std::any_cast<Read<T>>(found->second);
        const auto text = [id](const T& value) {
            return DeviceParam(id, rowValueOf(value))._value();
        };
        const auto others = [id, text](const T& value) {
            std::vector<T> values;
            for (const DeviceValue& other : otherValues(id, text(value)))
                values.push_back(rowValueAs<T>(other));
            return values;
        };
        settings_.push_back({id, [=](BaseReader& reader) {
                                 return roundTrip<T>(reader, read, write, others, text);
                             }});
    }

    std::map<DeviceParamId, std::any> getters_;
    std::vector<Setting> settings_;
};

template <class E>
std::vector<E> casesOf(const E&) {
    const auto cases = allCases<E>();
    return {cases.begin(), cases.end()};
}
template <class E>
std::string rawText(const E& value) {
    return std::to_string(rawValue(value));
}

// Each parameter delegate call as a line, and the records received.
class ParameterRecorder : public ParameterDelegate {
  public:
    void didReceive(int id, const BaseParam& param) override {
        std::lock_guard guard(lock_);
        if (const DeviceParam* record = param.toDeviceParam()) records_.push_back(*record);
        lines_.push_back(std::to_string(id) + " receive");
    }
    void didFail(int id, const CodedError& error) override {
        std::lock_guard guard(lock_);
        lines_.push_back(std::to_string(id) + " fail " + error.description());
    }
    void didFinish(int id) override {
        std::lock_guard guard(lock_);
        lines_.push_back(std::to_string(id) + " finish");
        ++finished_;
    }
    // Waits for the request's didFinish and gives its lines.
    std::vector<std::string> take() {
        EXPECT_TRUE(waitUntil([&] { return finished_.load() > 0; }));
        --finished_;
        std::lock_guard guard(lock_);
        return std::exchange(lines_, {});
    }
    std::vector<DeviceParam> records() {
        std::lock_guard guard(lock_);
        return std::exchange(records_, {});
    }

  private:
    std::mutex lock_;
    std::vector<std::string> lines_;
    std::vector<DeviceParam> records_;
    std::atomic<int> finished_{0};
};

template <class Model>
class ReaderSettingsEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(f.connected()); }
    ModelReader<Model> f;
};

TYPED_TEST_SUITE(ReaderSettingsEndToEnd, ReaderModels, ModelName);

TYPED_TEST(ReaderSettingsEndToEnd, EveryReadableAndWritableSettingRoundTrips) {
    BaseReader& reader = *this->f.reader;
    const BaseDevice& device = *reader.baseDevice();
    const SettingList list;
    std::set<DeviceParamId> walked;
    std::vector<DeviceParam> first;
    for (const Setting& setting : list.settings()) {
        if (!device.isSupported(setting.id)) continue;
        SCOPED_TRACE(std::string(description(setting.id)));
        if (const auto text = setting.roundTrip(reader)) {
            first.emplace_back(setting.id);
            first.back().set_value(*text);
        }
        walked.insert(setting.id);
    }
    // Every such setting of the model but the link-ending connection mode and the trigger keys,
    // whose operations take a key (below).
    std::set<DeviceParamId> expected;
    for (const DeviceParamId id : reader.supportedParameterIds()) {
        if (DeviceParam::isReadable(id) && DeviceParam::isWritable(id) &&
            id != DeviceParamId::connectionMode && id != DeviceParamId::triggerKeyStatus) {
            expected.insert(id);
        }
    }
    EXPECT_EQ(walked, expected);
    EXPECT_GE(walked.size(), 10u);

    for (const KeyID key : device.supportedTriggerKeys()) {
        SCOPED_TRACE(std::string(description(key)));
        roundTrip<KeyFunction>(
            reader,
            [key](BaseReader& r, ValueCompletion<KeyFunction> done) {
                r.getKeyFunction(key, std::move(done));
            },
            [key](BaseReader& r, const KeyFunction& function, ResultCompletion done) {
                r.setKeyFunction(TriggerKeyStatus(key, function), std::move(done));
            },
            casesOf<KeyFunction>, rawText<KeyFunction>);
    }
    if (reader.deviceType() == DeviceType::vk640) {
        SCOPED_TRACE("operation mode");
        roundTrip<OperatingMode>(
            reader,
            [](BaseReader& r, ValueCompletion<OperatingMode> done) {
                r.getOperationMode(std::move(done));
            },
            [](BaseReader& r, const OperatingMode& mode, ResultCompletion done) {
                r.setOperationMode(mode, std::move(done));
            },
            casesOf<OperatingMode>, rawText<OperatingMode>);
    }
    ASSERT_EQ(first.size(), walked.size());

    // The values read first, written back at once and read back at once through the parameter
    // delegate: every one differs from what the reader holds now.
    auto delegate = std::make_shared<ParameterRecorder>();
    reader.setParameters(7, first, delegate);
    EXPECT_EQ(delegate->take(), std::vector<std::string>{"7 finish"});
    std::vector<DeviceParamId> ids;
    for (const DeviceParam& record : first)
        ids.push_back(record.id());
    reader.getParameters(-8, ids, delegate);
    std::vector<std::string> lines(first.size(), "-8 receive");
    lines.push_back("-8 finish");
    EXPECT_EQ(delegate->take(), lines);
    std::map<DeviceParamId, std::string> read;
    for (const DeviceParam& record : delegate->records())
        read[record.id()] = record._value();
    for (const DeviceParam& record : first)
        EXPECT_EQ(read[record.id()], record._value()) << description(record.id());

    EXPECT_EQ(reader.connectState(), ConnectState::connected);
    EXPECT_EQ(reader._failCount(), 0);
}

}  // namespace
}  // namespace orvane::test
