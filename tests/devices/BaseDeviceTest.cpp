#include "orvanerfid/devices/BaseDevice.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "DeviceTestSupport.h"

namespace orvane {
namespace {

using test::expectCode;
using test::RecordingProtocol;

// Supplies no operation of the table: every row keeps the base answer.
class BareDevice : public BaseDevice {
  public:
    explicit BareDevice(std::shared_ptr<BaseProtocol> protocol)
        : BaseDevice("BareDevice", std::move(protocol)) {}
    void initDevice() override {}
    uint8_t getModuleInfo(uint8_t) override { return 0; }

  protected:
    Bytes getBytePackage(const DeviceParam&) override { return {}; }
    Bytes setBytePackage(const DeviceParam&) override { return {}; }
    std::vector<DeviceParam> responseDataToDeviceParam(ByteView,
                                                       const std::vector<DeviceParamId>&) override {
        return {};
    }
    void verifySetResult(ByteView) override {}
};

// A model with a handful of operations whose packing hooks write one byte per setting: the
// id to read, 0x80 | id followed by the device text's bytes to write.
class TestDevice : public BaseDevice {
  public:
    explicit TestDevice(std::shared_ptr<BaseProtocol> protocol, bool multiple = true)
        : BaseDevice("TestDevice", std::move(protocol)) {
        setSupportMultipleSetting(multiple);
        setSupportedTriggerKeys({KeyID::lowerKey, KeyID::upperKey});
        std::vector<DeviceParam> params;
        for (const auto id :
             {DeviceParamId::firmwareVersion, DeviceParamId::beeperVolume,
              DeviceParamId::autoOffTime, DeviceParamId::findDevice, DeviceParamId::displayMessage,
              DeviceParamId::factoryReset, DeviceParamId::triggerKeyStatus,
              DeviceParamId::autoOffTimeList, DeviceParamId::batteryStatusExtended,
              DeviceParamId::ambientTemperatureProtection, DeviceParamId::connectionMode}) {
            params.emplace_back(id);
        }
        params.emplace_back(DeviceParamId::tagUnique, 10107, 10109);
        setSupportedParameters(std::move(params));
    }

    static std::shared_ptr<TestDevice> create(std::shared_ptr<BaseProtocol> protocol) {
        auto device = std::make_shared<TestDevice>(std::move(protocol));
        device->attachToProtocol();
        return device;
    }

    void initDevice() override {}
    uint8_t getModuleInfo(uint8_t) override { return 0; }

    std::string getFirmwareVersion() override {
        const Bytes data = exchange("getFirmwareVersion()", Bytes{0x00});
        return std::string(data.begin(), data.end());
    }
    BeeperVolume getBeeperVolume() override {
        const Bytes data = exchange("getBeeperVolume()", Bytes{0x08});
        return fromRaw<BeeperVolume>(data.at(0)).value();
    }
    void setBeeperVolume(BeeperVolume value) override {
        calls.push_back("setBeeperVolume " + std::to_string(rawValue(value)));
    }
    void setAmbientTemperatureProtection(uint16_t value) override {
        calls.push_back("setAmbientTemperatureProtection " + std::to_string(value));
    }
    void factoryReset() override { calls.push_back("factoryReset"); }
    void setDisplayOutput(std::string text, uint8_t charPosition, bool clearScreen,
                          uint8_t linePosition) override {
        calls.push_back("display " + text + " " + std::to_string(charPosition) + " " +
                        std::to_string(clearScreen) + " " + std::to_string(linePosition));
    }
    BatteryStatusExtended getBatteryStatusExtended(
        std::vector<BatteryStatusExtendedType> types) override {
        calls.push_back("extended " + std::to_string(types.size()));
        return BatteryStatusExtended(types);
    }

    std::vector<std::string> calls;
    std::map<DeviceParamId, int> replyCounts;
    std::vector<DeviceParamId> askedIds;
    Bytes receivedData;

  protected:
    Bytes getBytePackage(const DeviceParam& param) override {
        if (param.id() == DeviceParamId::autoOffTimeList) return {};
        if (param.id() == DeviceParamId::triggerKeyStatus) {
            return {rawValue(param.id()), param.rawValue().value().at(0)};
        }
        return {rawValue(param.id())};
    }
    Bytes setBytePackage(const DeviceParam& param) override {
        if (param.id() == DeviceParamId::connectionMode) return {};  // a value it will not write
        Bytes out{static_cast<uint8_t>(0x80 | rawValue(param.id()))};
        const auto raw = param.rawValue().value_or(Bytes{});
        out.insert(out.end(), raw.begin(), raw.end());
        return out;
    }
    uint8_t getResponseCount(DeviceParamId id) override {
        const auto it = replyCounts.find(id);
        return it != replyCounts.end() ? static_cast<uint8_t>(it->second)
                                       : BaseDevice::getResponseCount(id);
    }
    std::vector<DeviceParam> responseDataToDeviceParam(
        ByteView data, const std::vector<DeviceParamId>& ids) override {
        askedIds = ids;
        receivedData.assign(data.begin(), data.end());
        std::vector<DeviceParam> out;
        for (const auto id : ids)
            out.emplace_back(id);
        return out;
    }
    void verifySetResult(ByteView data) override {
        receivedData.assign(data.begin(), data.end());
        for (const uint8_t b : data) {
            if (b == 0xEE) throw ReaderException(ResultCode::invalidResponse, "verify");
        }
    }
};

class DeviceBase : public ::testing::Test {
  protected:
    void SetUp() override { log->clear(); }

    std::shared_ptr<test::LogCapture> log = test::LogCapture::install();
    std::shared_ptr<test::FirmwareTransport> transport =
        std::make_shared<test::FirmwareTransport>();
    std::shared_ptr<RecordingProtocol> protocol = std::make_shared<RecordingProtocol>(transport);
};

TEST_F(DeviceBase, EveryRowOfTheTableAnswersNotSupportedWithNothingSent) {
    BareDevice device(protocol);
    int rows = 0;
    test::forEachOperation(device, [&](const char* name, auto call) {
        ++rows;
        EXPECT_EQ(expectCode(ResultCode::notSupported, call), "") << name;
    });
    EXPECT_GE(rows, 95);
    EXPECT_TRUE(protocol->sent().empty());
    EXPECT_TRUE(log->texts("BareDevice").empty());
}

TEST_F(DeviceBase, CheckResponseLogsTheTagAndPassesTheCodeOn) {
    EXPECT_EQ(checkResponse("getBeeperVolume()", Response(ResultCode::noError, Bytes{1, 2})),
              (Bytes{1, 2}));
    EXPECT_EQ(checkResponse("t", Response(ResultCode::noError, Bytes{})), Bytes{});

    struct Case {
        std::string tag;
        Response response;
        ResultCode code;
        std::string line;
    };
    const Case cases[] = {
        {"getBeeperVolume()", Response(ResultCode::timeout, std::nullopt), ResultCode::timeout,
         "getBeeperVolume() - Send error [Timeout]"},
        {"", Response(ResultCode::connectFailed, Bytes{1}), ResultCode::connectFailed,
         "Send error [Connect Failed]"},
        {"", Response(ResultCode::noError, std::nullopt), ResultCode::invalidResponse,
         "Response data is nil"},
        {"getVibrator()", Response(ResultCode::noError, std::nullopt), ResultCode::invalidResponse,
         "getVibrator() Response data is nil"},
    };
    for (const auto& c : cases) {
        log->clear();
        EXPECT_EQ(expectCode(c.code, [&] { checkResponse(c.tag, c.response); }), "");
        EXPECT_EQ(log->texts(""), std::vector<std::string>{c.line});
    }
}

TEST_F(DeviceBase, StartAttachesTheDeviceAndReportsAFailedProtocolStart) {
    auto device = std::make_shared<BareDevice>(protocol);
    protocol->startResult = false;
    EXPECT_FALSE(device->start());
    EXPECT_EQ(log->texts("BareDevice"),
              (std::vector<std::string>{" *** Start protocol", "Start protocol failed"}));
    EXPECT_EQ(protocol->delegate(), device);

    protocol->startResult = true;
    log->clear();
    EXPECT_TRUE(device->start());
    EXPECT_EQ(log->texts("BareDevice"), std::vector<std::string>{" *** Start protocol"});
}

TEST_F(DeviceBase, BaseKeepAliveOnlyLogs) {
    BareDevice device(protocol);
    device.triggerAlive();
    EXPECT_EQ(log->count("Trigger alive is not implemented!", LogLevel::error), 1);
    EXPECT_TRUE(protocol->sent().empty());
}

TEST_F(DeviceBase, VersionWindowIsInclusiveAndReadAtEveryTest) {
    TestDevice device(protocol);
    struct Case {
        const char* firmware;
        bool supported;
    };
    const Case cases[] = {{"1.1.6", false}, {"1.1.7", true},   {"1.01.08", true},
                          {"1.1.9", true},  {"1.1.10", false}, {"", false}};
    for (const auto& c : cases) {
        transport->setFirmware(c.firmware);
        EXPECT_EQ(device.isSupported(DeviceParamId::tagUnique), c.supported) << c.firmware;
        // Settings without a window pass on any firmware, an empty one included.
        EXPECT_TRUE(device.isSupported(DeviceParamId::beeperVolume));
    }
    EXPECT_FALSE(device.isSupported(DeviceParamId::vibrator));
    log->clear();
    EXPECT_EQ(expectCode(ResultCode::notSupported,
                         [&] { device.checkSupported(DeviceParamId::tagUnique); }),
              "");
    EXPECT_EQ(log->texts("TestDevice"), std::vector<std::string>{"Tag Unique does not support!"});
    expectCode(ResultCode::notSupported,
               [&] { device.getSupportedParameter(DeviceParamId::vibrator); });
}

TEST_F(DeviceBase, GetParameterRefusesWhatCannotBeReadSingly) {
    TestDevice device(protocol);
    struct Case {
        DeviceParamId id;
        ResultCode code;
        std::string message;
        std::string line;
    };
    const Case cases[] = {
        {DeviceParamId::vibrator, ResultCode::notSupported, "", "Vibrator does not support!"},
        {DeviceParamId::factoryReset, ResultCode::invalidParameter, "",
         "Factory Reset is not readable!"},
        {DeviceParamId::triggerKeyStatus, ResultCode::invalidCommand,
         "Please call getParameters for triggerKeyStatus instead.",
         "Please call getParameters instead."},
    };
    for (const auto& c : cases) {
        log->clear();
        EXPECT_EQ(expectCode(c.code, [&] { device.getParameter(c.id); }), c.message);
        EXPECT_EQ(log->texts("TestDevice"), std::vector<std::string>{c.line});
    }
    EXPECT_TRUE(protocol->sent().empty());
}

TEST_F(DeviceBase, GetParameterStoresTheValueReadInTheSupportedRecord) {
    TestDevice device(protocol);
    protocol->reply(Bytes{0x03});
    const DeviceParam read = device.getParameter(DeviceParamId::beeperVolume);
    EXPECT_EQ(read._value(), "03");
    EXPECT_EQ(device.getSupportedParameter(DeviceParamId::beeperVolume)._value(), "03");
    ASSERT_EQ(protocol->sent().size(), 1u);
    EXPECT_EQ(protocol->sent()[0].timeout, 3000);

    // A failed read leaves the record as it was.
    expectCode(ResultCode::timeout, [&] { device.getParameter(DeviceParamId::beeperVolume); });
    EXPECT_EQ(device.getSupportedParameter(DeviceParamId::beeperVolume)._value(), "03");

    // Battery Status Extended asks for all thirteen items.
    EXPECT_FALSE(device.getParameter(DeviceParamId::batteryStatusExtended)._value().empty());
    EXPECT_EQ(device.calls, std::vector<std::string>{"extended 13"});
    // A model that lacks the routed operation answers 0x4001.
    expectCode(ResultCode::notSupported, [&] { device.getParameter(DeviceParamId::autoOffTime); });
}

TEST_F(DeviceBase, SetParameterRoutesTypedValuesAndRefusesBadOnes) {
    TestDevice device(protocol);
    device.setParameter(DeviceParam(DeviceParamId::beeperVolume, BeeperVolume::high));
    device.setParameter(DeviceParam(DeviceParamId::ambientTemperatureProtection, 650u));
    device.setParameter(DeviceParam(DeviceParamId::factoryReset));
    device.setParameter(
        DeviceParam(DeviceParamId::displayMessage, DisplayMessage("HI", 3, 2, false)));
    EXPECT_EQ(device.calls,
              (std::vector<std::string>{"setBeeperVolume 3", "setAmbientTemperatureProtection 650",
                                        "factoryReset", "display HI 3 0 2"}));

    log->clear();
    EXPECT_EQ(expectCode(ResultCode::invalidParameter,
                         [&] { device.setParameter(DeviceParam(DeviceParamId::firmwareVersion)); }),
              "");
    EXPECT_EQ(log->texts("TestDevice"),
              std::vector<std::string>{"Firmware Version is not executable or writable!"});

    DeviceParam bad(DeviceParamId::beeperVolume);
    bad.set_value("7");
    expectCode(ResultCode::invalidParameter, [&] { device.setParameter(bad); });
    bad.set_value("09");
    expectCode(ResultCode::invalidParameter, [&] { device.setParameter(bad); });
    expectCode(ResultCode::notSupported,
               [&] { device.setParameter(DeviceParam(DeviceParamId::vibrator, true)); });
    EXPECT_EQ(device.calls.size(), 4u);
    EXPECT_TRUE(protocol->sent().empty());
}

TEST_F(DeviceBase, GetParametersBuildsOneExchange) {
    TestDevice device(protocol);
    protocol->reply(Bytes{0xAA, 0xBB, 0xCC});
    const auto result = device.getParameters(std::vector{
        DeviceParamId::triggerKeyStatus, DeviceParamId::beeperVolume, DeviceParamId::vibrator,
        DeviceParamId::factoryReset, DeviceParamId::beeperVolume});
    ASSERT_EQ(protocol->sent().size(), 1u);
    const auto sent = protocol->sent()[0];
    EXPECT_EQ(sent.kind, "sendN");
    EXPECT_EQ(sent.timeout, 3000);
    EXPECT_EQ(sent.number, 3);
    // Lower key, upper key, then Beeper Volume; the repeated id is asked once.
    EXPECT_EQ(sent.data, (Bytes{34, 3, 34, 2, 8}));
    EXPECT_EQ(device.askedIds,
              (std::vector{DeviceParamId::triggerKeyStatus, DeviceParamId::beeperVolume}));
    EXPECT_EQ(device.receivedData, (Bytes{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(result.size(), 2u);
    EXPECT_EQ(log->count("deviceParameterIds count: 2, sendCommandCount count: 3, "
                         "receivePacketCount: 3",
                         LogLevel::debug),
              1);
    EXPECT_EQ(log->count("Vibrator does not support!", LogLevel::error), 1);
    EXPECT_EQ(log->count("Factory Reset is not readable!", LogLevel::warn), 1);
}

TEST_F(DeviceBase, GetParametersOfEverySupportedIdSkipsTheActions) {
    TestDevice device(protocol);
    transport->setFirmware("1.1.8");
    protocol->reply(Bytes{0x01});
    device.getParameters(std::nullopt);
    // Three actions skipped; Auto Off Time List packs nothing and is not counted.
    EXPECT_EQ(log->count("", LogLevel::warn), 3);
    ASSERT_EQ(protocol->sent().size(), 1u);
    EXPECT_EQ(protocol->sent()[0].number, 9);
    EXPECT_EQ(device.askedIds.size(), 9u);
}

TEST_F(DeviceBase, GetParametersWithNothingToSend) {
    TestDevice device(protocol);
    EXPECT_TRUE(device.getParameters(std::vector<DeviceParamId>{}).empty());
    EXPECT_EQ(log->count("deviceParameterIds"), 0);

    // Only a setting that needs no exchange: the model still answers it.
    const auto result = device.getParameters(std::vector{DeviceParamId::autoOffTimeList});
    EXPECT_TRUE(protocol->sent().empty());
    EXPECT_EQ(result.size(), 1u);
    EXPECT_TRUE(device.receivedData.empty());
}

TEST_F(DeviceBase, MultipleAccessFailuresReachTheCaller) {
    TestDevice device(protocol);
    TestDevice single(protocol, false);
    expectCode(ResultCode::notSupported, [&] { single.getParameters(std::nullopt); });
    expectCode(ResultCode::notSupported, [&] { single.setParameters({}); });

    // The exchange's error is thrown, not an empty success.
    expectCode(ResultCode::timeout,
               [&] { device.getParameters(std::vector{DeviceParamId::beeperVolume}); });
    expectCode(ResultCode::timeout, [&] {
        device.setParameters({DeviceParam(DeviceParamId::beeperVolume, BeeperVolume::low)});
    });
    EXPECT_EQ(log->count("getParameters(deviceParamIds:) - Send error [Timeout]"), 1);

    // More replies than one exchange can count are refused before anything is sent.
    protocol->clear();
    device.replyCounts[DeviceParamId::beeperVolume] = 200;
    device.replyCounts[DeviceParamId::firmwareVersion] = 56;
    expectCode(ResultCode::invalidParameter, [&] {
        device.getParameters(
            std::vector{DeviceParamId::beeperVolume, DeviceParamId::firmwareVersion});
    });
    EXPECT_TRUE(protocol->sent().empty());
}

TEST_F(DeviceBase, SetParametersSkipsWhatItCannotWrite) {
    TestDevice device(protocol);
    // Read-only, unsupported and refused values only: nothing is sent and nothing fails.
    device.setParameters({DeviceParam(DeviceParamId::firmwareVersion),
                          DeviceParam(DeviceParamId::vibrator, true),
                          DeviceParam(DeviceParamId::connectionMode, ConnectionMode::usbSpp)});
    EXPECT_TRUE(protocol->sent().empty());
    EXPECT_EQ(log->count("Firmware Version is not executable or writable!", LogLevel::warn), 1);
    EXPECT_EQ(log->count("Vibrator does not support!", LogLevel::warn), 1);

    // For a repeated id the last record counts.
    protocol->reply(Bytes{0x01, 0x02});
    device.setParameters({DeviceParam(DeviceParamId::beeperVolume, BeeperVolume::low),
                          DeviceParam(DeviceParamId::factoryReset),
                          DeviceParam(DeviceParamId::beeperVolume, BeeperVolume::high)});
    ASSERT_EQ(protocol->sent().size(), 1u);
    EXPECT_EQ(protocol->sent()[0].data, (Bytes{0x88, 0x03, 0x98}));
    EXPECT_EQ(protocol->sent()[0].number, 2);
    EXPECT_EQ(device.receivedData, (Bytes{0x01, 0x02}));

    // A request that brings no reply is written without a wait.
    protocol->clear();
    device.replyCounts[DeviceParamId::findDevice] = 0;
    device.setParameters({DeviceParam(DeviceParamId::findDevice, FindDevice())});
    ASSERT_EQ(protocol->sent().size(), 1u);
    EXPECT_EQ(protocol->sent()[0].kind, "write");
    protocol->writeResult = ResultCode::connectFailed;
    expectCode(ResultCode::connectFailed, [&] {
        device.setParameters({DeviceParam(DeviceParamId::findDevice, FindDevice())});
    });

    // A reply that fails verification is thrown.
    protocol->reply(Bytes{0x01, 0xEE});
    expectCode(ResultCode::invalidResponse, [&] {
        device.setParameters({DeviceParam(DeviceParamId::beeperVolume, BeeperVolume::low)});
    });
}

TEST_F(DeviceBase, EventsReachTheDelegate) {
    auto device = TestDevice::create(protocol);
    auto delegate = std::make_shared<test::RecordingDeviceDelegate>();
    device->setDelegate(delegate);

    auto tag = std::make_shared<TagInfo>();
    tag->setEPC(Bytes{0xE2, 0x00});
    struct Case {
        ProtocolEventArgs event;
        std::string call;
    };
    const Case cases[] = {
        {ProtocolEventArgs(ProtocolEventId::temperature, 36.5), "temperature 36.500000"},
        {ProtocolEventArgs(ProtocolEventId::batteryPercentage, uint8_t{80}),
         "batteryPercentage 80"},
        {ProtocolEventArgs(ProtocolEventId::batteryInfo, BatteryInfoEventArgs(55, true)),
         "batteryInfo 55 charging"},
        {ProtocolEventArgs(ProtocolEventId::actionChanged, ActionState::inventory), "action 3"},
        {ProtocolEventArgs(ProtocolEventId::tagInfo, tag), "readTag E200"},
        {ProtocolEventArgs(ProtocolEventId::accessResult,
                           AccessResultEventArgs({}, {}, ActionState::readMemory, std::nullopt,
                                                 ResultCode::noTagReply)),
         "access 61443"},
        {ProtocolEventArgs(ProtocolEventId::keyEvent, KeyEventArgs(KeyID::triggerKey, true)),
         "key 1 pressed"},
        {ProtocolEventArgs(ProtocolEventId::receivedInventoryData), "receivedInventoryData"},
        {ProtocolEventArgs(ProtocolEventId::skuType, SkuType::japanese), "sku 3"},
        {ProtocolEventArgs(ProtocolEventId::macAddress, std::string("A1B2")), "mac A1B2"},
        {ProtocolEventArgs(ProtocolEventId::notification, NotificationID::lowBattery),
         "notification 1 empty"},
        {ProtocolEventArgs(ProtocolEventId::engineReady, true), "engineReady 1"},
        {ProtocolEventArgs(ProtocolEventId::lbtStatus, LbtStatusEventArgs(true, -60, 920250)),
         "lbt 920250"},
        {ProtocolEventArgs(ProtocolEventId::antennaBeginEnd,
                           AntennaStatusEventArgs(2, AntennaBeginEnd::begin)),
         "antenna 2"},
        {ProtocolEventArgs(ProtocolEventId::batchDataStatus, BatchDataStatus::end), "batch 1"},
    };
    for (const auto& c : cases) {
        protocol->delegate()->protocolEvent(c.event);
    }
    std::vector<std::string> expected;
    for (const auto& c : cases)
        expected.push_back(c.call);
    EXPECT_EQ(delegate->calls(), expected);
}

// Throws from its events: an int from the key event, a std::exception from the others.
class ThrowingDelegate : public test::RecordingDeviceDelegate {
  public:
    void triggerKeyEvent(const KeyEventArgs&) override { throw 7; }
    void temperatureEvent(double) override { throw std::runtime_error("hot"); }
};

TEST_F(DeviceBase, WhateverTheDelegateThrowsStaysInTheDevice) {
    auto device = TestDevice::create(protocol);
    auto delegate = std::make_shared<ThrowingDelegate>();
    device->setDelegate(delegate);
    EXPECT_NO_THROW(device->protocolEvent(
        ProtocolEventArgs(ProtocolEventId::keyEvent, KeyEventArgs(KeyID::triggerKey, true))));
    EXPECT_NO_THROW(device->protocolEvent(ProtocolEventArgs(ProtocolEventId::temperature, 36.5)));
    EXPECT_EQ(log->count("protocolEvent failed", LogLevel::error), 2);
}

TEST_F(DeviceBase, EventsTheDelegateNeverSees) {
    auto device = TestDevice::create(protocol);
    auto delegate = std::make_shared<test::RecordingDeviceDelegate>();
    device->setDelegate(delegate);
    for (const auto id : allCases<ProtocolEventId>()) {
        // Without data, or with data of another kind: nothing is delivered.
        device->protocolEvent(ProtocolEventArgs(id, std::string("x")));
        if (id != ProtocolEventId::receivedInventoryData) {
            device->protocolEvent(ProtocolEventArgs(id));
        }
    }
    EXPECT_EQ(delegate->calls(), std::vector<std::string>{"mac x"});

    // No delegate: nothing happens and nothing fails; the engine model is still kept.
    device->setDelegate({});
    device->protocolEvent(ProtocolEventArgs(ProtocolEventId::tagInfo, std::make_shared<TagInfo>()));
    device->protocolEvent(ProtocolEventArgs(ProtocolEventId::engineModel, EngineModel::N6703));
    EXPECT_EQ(device->engineModel(), EngineModel::N6703);
}

TEST_F(DeviceBase, EngineReadyRequestWithoutAnEngineIsLogged) {
    BareDevice device(protocol);
    device.protocolEvent(ProtocolEventArgs(ProtocolEventId::setEngineReadyEvent));
    EXPECT_EQ(
        log->texts("BareDevice"),
        std::vector<std::string>{"Failed to set engine ready event: Result Code: Not Supported"});
}

TEST_F(DeviceBase, BarcodeIdentifierFollowsTheEngineModel) {
    auto device = TestDevice::create(protocol);
    auto delegate = std::make_shared<test::RecordingDeviceDelegate>();
    device->setDelegate(delegate);

    // A code that both tables know, as different symbologies.
    uint8_t code = 0;
    for (int c = 0; c < 126; ++c) {
        const auto zebra = barcodeIdFromZebraCode(static_cast<uint8_t>(c));
        const auto honeywell = barcodeIdFromHoneywellCode(static_cast<uint8_t>(c));
        if (zebra && honeywell && *zebra != *honeywell) {
            code = static_cast<uint8_t>(c);
            break;
        }
    }
    ASSERT_NE(code, 0);
    ProtocolBarcodeEventArgs record;
    record.hasBarcodeId = true;
    record.id = code;
    record.data = Bytes{'4', '2'};

    struct Case {
        EngineModel model;
        bool hasId;
        BarcodeId expected;
    };
    const Case cases[] = {
        {EngineModel::SE2707, true, *barcodeIdFromZebraCode(code)},
        {EngineModel::SE4850, true, *barcodeIdFromZebraCode(code)},
        {EngineModel::N6703, true, *barcodeIdFromHoneywellCode(code)},
        {EngineModel::N5703, true, *barcodeIdFromHoneywellCode(code)},
        {EngineModel::XL3030, true, BarcodeId{}},
        {EngineModel::unknown, true, BarcodeId{}},
        {EngineModel::SE2707, false, BarcodeId{}},
        {EngineModel::N6703, false, BarcodeId{}},
    };
    for (const auto& c : cases) {
        device->protocolEvent(ProtocolEventArgs(ProtocolEventId::engineModel, c.model));
        record.hasBarcodeId = c.hasId;
        device->protocolEvent(ProtocolEventArgs(ProtocolEventId::barcodeData, record));
        const auto barcode = delegate->lastBarcode();
        ASSERT_TRUE(barcode);
        EXPECT_EQ(barcode->barcodeId(), c.expected) << description(c.model);
        EXPECT_EQ(barcode->data(), record.data);
        EXPECT_EQ(barcode->timeStamp(), record.timeStamp);
    }
    // A code the chosen table does not know leaves raw value 0.
    record.hasBarcodeId = true;
    record.id = 0xFF;
    device->protocolEvent(ProtocolEventArgs(ProtocolEventId::engineModel, EngineModel::N4603));
    device->protocolEvent(ProtocolEventArgs(ProtocolEventId::barcodeData, record));
    EXPECT_EQ(delegate->lastBarcode()->barcodeId(), BarcodeId{});
}

}  // namespace
}  // namespace orvane
