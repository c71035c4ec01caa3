#include "orvanerfid/devices/Vk640Device.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "DeviceTestSupport.h"
#include "commands/STTestSupport.h"
#include "orvanerfid/commands/Vk640Packets.h"

namespace orvane {
namespace {

using sttest::packet;
using sttest::tlvReply;
using test::expectCode;
using test::RecordingProtocol;
using test::Sent;

constexpr uint8_t kDevice = 0x10;
constexpr uint8_t kGet = 0x11;
constexpr uint8_t kSet = 0x12;

// The hooks of the multi-setting exchange, opened for the tests.
class OpenVk640 : public Vk640Device {
  public:
    using Vk640Device::getBytePackage;
    using Vk640Device::getResponseCount;
    using Vk640Device::responseDataToDeviceParam;
    using Vk640Device::setBytePackage;
    using Vk640Device::verifySetResult;
    using Vk640Device::Vk640Device;
};

// A reader in memory: keeps every setting written and answers every request of a write the
// way the reader does (no reply to Find Device or the display).
class MemoryReader {
  public:
    std::map<uint8_t, Bytes> settings{{0x02, {0x02}}, {0x0B, {0x00}}, {0x20, {0x01}}};
    std::map<uint8_t, Bytes> identity{{0x01, Bytes(16, 0)}, {0x05, {77}}, {0x07, {0xFB}}};

    Response answer(const Sent& sent) {
        Bytes replies;
        ByteView rest(sent.data);
        while (!rest.empty()) {
            const auto view = STPacket::parsePacket(rest);
            if (!view) break;
            rest = rest.subspan(view->length);
            const Bytes payload(view->payload.begin(), view->payload.end());
            Bytes reply;
            if (view->cmdSubcode == kGet) {
                reply = tlvReply(kDevice, kGet, payload.at(0), settings[payload.at(0)]);
            } else if (view->cmdSubcode == kSet) {
                const uint8_t tag = payload.at(0);
                settings[tag] = Bytes(payload.begin() + 2, payload.end());
                if (tag == 0x06 || tag == 0x0D) continue;
                reply = packet(kDevice, kSet, payload);
            } else {
                reply = tlvReply(kDevice, view->cmdSubcode, view->cmdSubcode,
                                 identity[view->cmdSubcode]);
            }
            replies.insert(replies.end(), reply.begin(), reply.end());
        }
        return Response(ResultCode::noError, replies);
    }
};

class Vk640Test : public ::testing::Test {
  protected:
    void SetUp() override {
        protocol->responder = [this](const Sent& s) { return reader.answer(s); };
        log->clear();
    }

    // The group, subcode and payload of every request sent or written, in order.
    std::vector<Bytes> requests() const {
        std::vector<Bytes> out;
        for (const auto& s : protocol->sent()) {
            ByteView rest(s.data);
            while (const auto view = STPacket::parsePacket(rest)) {
                Bytes r{view->cmdGroup, view->cmdSubcode};
                r.insert(r.end(), view->payload.begin(), view->payload.end());
                out.push_back(r);
                rest = rest.subspan(view->length);
            }
        }
        return out;
    }

    std::shared_ptr<test::LogCapture> log = test::LogCapture::install();
    std::shared_ptr<test::FirmwareTransport> transport =
        std::make_shared<test::FirmwareTransport>();
    std::shared_ptr<RecordingProtocol> protocol = std::make_shared<RecordingProtocol>(transport);
    MemoryReader reader;
    std::shared_ptr<Vk640Device> device = Vk640Device::create(protocol);
};

std::string textOf(DeviceParamId id, const DeviceValue& value) {
    return DeviceParam(id).valueToString(value);
}

TEST_F(Vk640Test, ConstructionListsTheModelsSettings) {
    using Id = DeviceParamId;
    const std::vector<Id> expected{Id::firmwareVersion,
                                   Id::deviceType,
                                   Id::serialNumber,
                                   Id::bluetoothAddress,
                                   Id::batteryStatus,
                                   Id::skuType,
                                   Id::temperature,
                                   Id::vibrator,
                                   Id::beeperVolume,
                                   Id::systemTime,
                                   Id::autoOffTime,
                                   Id::autoOffTimeList,
                                   Id::readMode,
                                   Id::findDevice,
                                   Id::dataFormat,
                                   Id::dataInfo,
                                   Id::dataRange,
                                   Id::dataTerminator,
                                   Id::tagUnique,
                                   Id::displayMessage,
                                   Id::screenOffTime,
                                   Id::userData,
                                   Id::connectionMode,
                                   Id::appBundleId,
                                   Id::bluetoothSecuritySimplePairing,
                                   Id::factoryReset,
                                   Id::shutdown};
    EXPECT_EQ(device->_supportedIds(), expected);
    for (const char* firmware : {"", "0.0.1", "9.99.99"}) {
        transport->setFirmware(firmware);
        for (const Id id : expected)
            EXPECT_TRUE(device->isSupported(id)) << description(id) << " " << firmware;
    }
    EXPECT_FALSE(device->isSupported(Id::bluetoothName));
    EXPECT_FALSE(device->isSupported(Id::inventoryIndicator));
    EXPECT_EQ(device->deviceType(), DeviceType::vk640);
    EXPECT_TRUE(device->supportMultipleSetting());
    EXPECT_TRUE(device->hasRfid());
    EXPECT_FALSE(device->hasEngine());
    EXPECT_FALSE(device->supportFirmwareUpdate());
    EXPECT_TRUE(device->supportedTriggerKeys().empty());
    EXPECT_EQ(protocol->delegate(), device);

    const auto autoOff = device->getSupportedParameter(Id::autoOffTime);
    EXPECT_EQ(autoOff._value(), "0002");
    EXPECT_EQ(autoOff._default(), "0002");
    const std::string listText = "00000001000200030005000A";
    EXPECT_EQ(device->getSupportedParameter(Id::autoOffTimeList)._value(), listText);
    EXPECT_EQ(device->getSupportedParameter(Id::connectionMode)._default(), "01");
    // Built afresh at every call.
    auto list = Vk640Device::makeSupportedParameters();
    list[0].set_value("changed");
    EXPECT_NE(Vk640Device::makeSupportedParameters()[0]._value(), "changed");
}

TEST_F(Vk640Test, StartUpModuleAndKeepAlive) {
    reader.identity[0x03] = {0x01, 0x02, 0x03, 0x04, 0x05, 0xA6};
    device->initDevice();
    EXPECT_EQ(requests(), (std::vector<Bytes>{Bytes{kDevice, 0x03}}));

    auto delegate = std::make_shared<test::RecordingDeviceDelegate>();
    device->setDelegate(delegate);
    device->initDevice();
    EXPECT_EQ(delegate->calls(), std::vector<std::string>{"mac A60504030201"});

    protocol->script(Response(ResultCode::timeout, std::nullopt));
    EXPECT_EQ(expectCode(ResultCode::timeout, [&] { device->initDevice(); }), "");
    EXPECT_EQ(log->count("initDevice error: Result Code: Timeout", LogLevel::error), 1);

    protocol->clear();
    EXPECT_EQ(device->getModuleInfo(2), 1);
    expectCode(ResultCode::notSupported, [&] { device->getModuleInfo(0); });
    EXPECT_TRUE(protocol->sent().empty());

    device->triggerAlive();
    ASSERT_EQ(protocol->sent().size(), 1u);
    const Sent alive = protocol->sent()[0];
    EXPECT_EQ(alive.kind, "sendN");
    EXPECT_EQ(alive.number, 2);
    EXPECT_EQ(alive.timeout, 3000);
    ASSERT_EQ(alive.data.size(), 20u);
    const uint16_t first = readBe16(alive.data, 2);
    EXPECT_EQ(
        alive.data,
        (Bytes{0x80, 0x00, uint8_t(first >> 8),       uint8_t(first),     0, 0, 0x10, 0x07, 0, 0,
               0x80, 0x00, uint8_t((first + 1) >> 8), uint8_t(first + 1), 0, 0, 0x10, 0x05, 0, 0}));
    protocol->script(Response(ResultCode::timeout, std::nullopt));
    EXPECT_EQ(expectCode(ResultCode::timeout, [&] { device->triggerAlive(); }), "");
}

// Every read, by id: the request, and the value decoded from the reply (as its device text).
TEST_F(Vk640Test, EveryReadSendsItsRequestAndDecodesTheReply) {
    using Id = DeviceParamId;
    struct Case {
        Id id;
        Bytes request;  // group, subcode, payload
        Bytes value;    // of the reply's TLV
        std::string expected;
    };
    const auto text16 = [](std::string s) {
        Bytes b(s.begin(), s.end());
        b.resize(16, 0);
        return b;
    };
    Bytes user(64, 0);
    user[0] = 0xAB;
    Bytes bundle = text16("com.a");
    bundle.resize(32, 0);
    const Case cases[] = {
        {Id::firmwareVersion, {kDevice, 0x01}, text16("1.1.11"), "312E312E3131"},
        {Id::deviceType,
         {kDevice, 0x04},
         text16("VK640"),
         textOf(Id::deviceType, DeviceType::vk640)},
        {Id::deviceType,
         {kDevice, 0x04},
         text16("vk640"),
         textOf(Id::deviceType, DeviceType::unknown)},
        {Id::serialNumber, {kDevice, 0x02}, text16("SN01"), "534E3031"},
        {Id::bluetoothAddress, {kDevice, 0x03}, {1, 2, 3, 4, 5, 6}, "303630353034303330323031"},
        {Id::batteryStatus, {kDevice, 0x05}, {80}, "0050"},
        {Id::temperature, {kDevice, 0x07}, {25}, "25.0"},
        {Id::temperature, {kDevice, 0x07}, {0xFB}, "-5.0"},
        {Id::skuType, {kDevice, 0x06}, {2}, "02"},
        {Id::vibrator, {kDevice, kGet, 0x01, 0x00}, {1}, "01"},
        {Id::beeperVolume, {kDevice, kGet, 0x02, 0x00}, {3}, "03"},
        {Id::beeperVolume, {kDevice, kGet, 0x02, 0x00}, {9}, "02"},
        {Id::systemTime, {kDevice, kGet, 0x03, 0x00}, {24, 5, 1, 10, 20, 30}, "1805010A141E"},
        {Id::autoOffTime, {kDevice, kGet, 0x04, 0x00}, {5}, "0005"},
        {Id::readMode, {kDevice, kGet, 0x05, 0x00}, {1}, "01"},
        {Id::dataFormat, {kDevice, kGet, 0x07, 0x00}, {1}, "01"},
        {Id::dataInfo, {kDevice, kGet, 0x08, 0x00}, {2}, "02"},
        {Id::dataRange, {kDevice, kGet, 0x09, 0x00}, {0x02, 0x01, 0x20, 0x00}, "01020020"},
        {Id::dataTerminator, {kDevice, kGet, 0x0A, 0x00}, {2}, "04"},
        {Id::tagUnique, {kDevice, kGet, 0x0B, 0x00}, {1}, "01"},
        {Id::screenOffTime, {kDevice, kGet, 0x0E, 0x00}, {2, 30}, "021E"},
        {Id::userData, {kDevice, kGet, 0x0F, 0x00}, user, textOf(Id::userData, user)},
        {Id::appBundleId, {kDevice, kGet, 0x21, 0x00}, bundle, "636F6D2E61"},
        {Id::bluetoothSecuritySimplePairing, {kDevice, kGet, 0x22, 0x00}, {0}, "00"},
        {Id::connectionMode, {kDevice, kGet, 0x20, 0x00}, {0}, "03"},
        {Id::connectionMode, {kDevice, kGet, 0x20, 0x00}, {3}, "06"},
        {Id::connectionMode, {kDevice, kGet, 0x20, 0x00}, {7}, "01"},
    };
    for (const auto& c : cases) {
        protocol->clear();
        const uint8_t tag = c.request.size() > 2 ? c.request[2] : c.request[1];
        protocol->reply(tlvReply(c.request[0], c.request[1], tag, c.value));
        const std::string name = std::string(description(c.id)) + " " + toHexString(c.value);
        EXPECT_EQ(device->getParameter(c.id)._value(), c.expected) << name;
        EXPECT_EQ(requests(), std::vector<Bytes>{c.request}) << name;
        EXPECT_EQ(protocol->sent().at(0).timeout, 3000) << name;
    }
    protocol->reply(tlvReply(kDevice, kGet, 0x20, {3}));
    EXPECT_EQ(device->getOperationMode(), OperatingMode::buffer);
    EXPECT_EQ(device->getParameter(Id::autoOffTimeList)._value(), "00000001000200030005000A");
}

TEST_F(Vk640Test, MalformedRepliesFail) {
    struct Case {
        const char* name;
        Response response;
        std::optional<ResultCode> code;
        std::string messageStart;
    };
    const Case cases[] = {
        {"timeout", Response(ResultCode::timeout, std::nullopt), ResultCode::timeout, ""},
        {"no data", Response(ResultCode::noError, std::nullopt), ResultCode::invalidResponse, ""},
        {"two bytes", Response(ResultCode::noError, tlvReply(kDevice, kGet, 0x02, {1, 2})),
         ResultCode::invalidParameter, "Invalid parameter length"},
        {"header only", Response(ResultCode::noError, packet(kDevice, kGet, {})),
         ResultCode::invalidParameter, ""},
        {"error status", Response(ResultCode::noError, tlvReply(kDevice, kGet, 0x02, {1}, 0xFFFF)),
         std::nullopt, "getBeeperVolume() - The return code is not noError.("},
    };
    for (const auto& c : cases) {
        protocol->script(c.response);
        try {
            device->getBeeperVolume();
            ADD_FAILURE() << c.name;
        } catch (const CodedError& error) {
            if (c.code) {
                EXPECT_EQ(error.resultCode(), *c.code) << c.name;
            }
            EXPECT_EQ(error.message().substr(0, c.messageStart.size()), c.messageStart) << c.name;
        }
    }
    // An operating-mode byte that names no mode is no answer.
    protocol->reply(tlvReply(kDevice, kGet, 0x20, {2}));
    expectCode(ResultCode::invalidResponse, [&] { device->getConnectionMode(); });
}

TEST_F(Vk640Test, EveryWriteSendsItsRecord) {
    using Id = DeviceParamId;
    struct Case {
        DeviceParam param;
        Bytes request;  // group, subcode, payload
        bool writeOnly;
    };
    Bytes user(10, 0x11);
    Bytes userRecord{kDevice, kSet, 0x0F, 64};
    userRecord.insert(userRecord.end(), user.begin(), user.end());
    userRecord.resize(4 + 64, 0);
    Bytes bundleRecord{kDevice, kSet, 0x21, 32, 'c', 'o', 'm', '.', 'x'};
    bundleRecord.resize(4 + 32, 0);
    const Case cases[] = {
        {DeviceParam(Id::vibrator, false), {kDevice, kSet, 0x01, 1, 0}, false},
        {DeviceParam(Id::beeperVolume, BeeperVolume::low), {kDevice, kSet, 0x02, 1, 1}, false},
        {DeviceParam(Id::autoOffTime, 10u), {kDevice, kSet, 0x04, 1, 10}, false},
        {DeviceParam(Id::readMode, ReadMode::rapidRead), {kDevice, kSet, 0x05, 1, 3}, false},
        {DeviceParam(Id::findDevice, FindDevice(FindDeviceMode::beep, 30)),
         {kDevice, kSet, 0x06, 2, 2, 30},
         true},
        {DeviceParam(Id::dataFormat, DataFormat::ascii), {kDevice, kSet, 0x07, 1, 1}, false},
        {DeviceParam(Id::dataInfo, DataInfo::tid), {kDevice, kSet, 0x08, 1, 2}, false},
        {DeviceParam(Id::dataRange, DataRange(0x102, 3)),
         {kDevice, kSet, 0x09, 4, 0x02, 0x01, 0x03, 0x00},
         false},
        {DeviceParam(Id::dataTerminator, DataTerminator::none), {kDevice, kSet, 0x0A, 1, 0}, false},
        {DeviceParam(Id::dataTerminator, DataTerminator::crlf), {kDevice, kSet, 0x0A, 1, 1}, false},
        {DeviceParam(Id::dataTerminator, DataTerminator::tab), {kDevice, kSet, 0x0A, 1, 2}, false},
        {DeviceParam(Id::tagUnique, TagUnique::tagInfo), {kDevice, kSet, 0x0B, 1, 1}, false},
        {DeviceParam(Id::displayMessage, DisplayMessage("HELLO", 2, 1, true)),
         {kDevice, kSet, 0x0D, 6, 0x62, 'H', 'E', 'L', 'L', 'O'},
         true},
        {DeviceParam(Id::screenOffTime, ScreenOffTime(1, 59)),
         {kDevice, kSet, 0x0E, 2, 1, 59},
         false},
        {DeviceParam(Id::userData, user), userRecord, false},
        {DeviceParam(Id::appBundleId, std::string("com.x")), bundleRecord, true},
        {DeviceParam(Id::bluetoothSecuritySimplePairing, true), {kDevice, kSet, 0x22, 1, 1}, true},
        {DeviceParam(Id::factoryReset), {kDevice, kSet, 0x40, 0}, true},
        {DeviceParam(Id::shutdown), {kDevice, kSet, 0x41, 0}, true},
        {DeviceParam(Id::connectionMode, ConnectionMode::bufferMode),
         {kDevice, kSet, 0x20, 1, 3},
         true},
        {DeviceParam(Id::connectionMode, ConnectionMode::usbSpp),
         {kDevice, kSet, 0x20, 1, 0},
         true},
        {DeviceParam(Id::connectionMode, ConnectionMode::bluetoothSpp),
         {kDevice, kSet, 0x20, 1, 1},
         true},
    };
    for (const auto& c : cases) {
        protocol->clear();
        device->setParameter(c.param);
        const std::string name = std::string(description(c.param.id())) + " " + c.param._value();
        EXPECT_EQ(requests(), std::vector<Bytes>{c.request}) << name;
        EXPECT_EQ(protocol->sent().at(0).kind, c.writeOnly ? "write" : "send") << name;
    }
    protocol->clear();
    device->setOperationMode(OperatingMode::buffer);
    EXPECT_EQ(requests(), (std::vector<Bytes>{{kDevice, kSet, 0x20, 1, 3}}));

    // The system time in the local calendar.
    protocol->clear();
    device->setSystemTime(test::localTime(2024, 5, 1, 10, 20, 30));
    EXPECT_EQ(requests(), (std::vector<Bytes>{{kDevice, kSet, 0x03, 6, 24, 5, 1, 10, 20, 30}}));

    // A write-only command reports only the write.
    protocol->writeResult = ResultCode::connectFailed;
    EXPECT_EQ(expectCode(ResultCode::connectFailed, [&] { device->shutdown(); }), "");
}

TEST_F(Vk640Test, RefusalsAndFirmwareGatesSendNothing) {
    struct Case {
        const char* name;
        const char* firmware;
        std::function<void(Vk640Device&)> call;
        ResultCode code;  // noError: accepted and sent
        std::string message;
    };
    const Case cases[] = {
        {"auto off 4", "1.1.11", [](auto& d) { d.setAutoOffTime(4); }, ResultCode::invalidParameter,
         ""},
        {"multi-read old", "1.1.6", [](auto& d) { d.setReadMode(ReadMode::multiRead); },
         ResultCode::notSupported, ""},
        {"multi-read", "1.1.7", [](auto& d) { d.setReadMode(ReadMode::multiRead); },
         ResultCode::noError, ""},
        {"single read old", "1.1.6", [](auto& d) { d.setReadMode(ReadMode::singleRead); },
         ResultCode::noError, ""},
        {"find timeout", "1.1.11",
         [](auto& d) { d.setFindDevice(FindDevice(FindDeviceMode::beep, 256)); },
         ResultCode::outOfRange, "The range of timeout is 0 to 255"},
        {"range", "1.1.11", [](auto& d) { d.setDataRange(DataRange(0x10000, 0)); },
         ResultCode::outOfRange, "The range of offset and length is 0 to 65535"},
        {"terminator cr", "1.1.11", [](auto& d) { d.setDataTerminator(DataTerminator::cr); },
         ResultCode::notSupported, ""},
        {"terminator lf", "1.1.11", [](auto& d) { d.setDataTerminator(DataTerminator::lf); },
         ResultCode::notSupported, ""},
        {"get unique old", "1.1.6", [](auto& d) { d.getTagUnique(); }, ResultCode::notSupported,
         ""},
        {"set unique old", "1.1.6", [](auto& d) { d.setTagUnique(TagUnique::epc); },
         ResultCode::notSupported, ""},
        {"get unique", "1.1.7", [](auto& d) { d.getTagUnique(); }, ResultCode::noError, ""},
        {"display old", "1.1.8", [](auto& d) { d.setDisplayOutput("A", 16, true, 0); },
         ResultCode::notSupported, ""},
        {"display column", "1.1.9", [](auto& d) { d.setDisplayOutput("A", 16, true, 0); },
         ResultCode::outOfRange, "The range of charPosition is 0 to 15"},
        {"display line 0", "1.1.9", [](auto& d) { d.setDisplayOutput("A", 15, true, 0); },
         ResultCode::outOfRange, "The range of linePosition is 1 to 3"},
        {"display line 4", "1.1.9", [](auto& d) { d.setDisplayOutput("A", 0, true, 4); },
         ResultCode::outOfRange, "The range of linePosition is 1 to 3"},
        {"display", "1.1.9", [](auto& d) { d.setDisplayOutput("A", 15, false, 3); },
         ResultCode::noError, ""},
        {"screen off old", "1.1.8", [](auto& d) { d.setScreenOffTime(ScreenOffTime(0, 60)); },
         ResultCode::notSupported, ""},
        {"get screen off old", "1.1.8", [](auto& d) { d.getScreenOffTime(); },
         ResultCode::notSupported, ""},
        {"screen off seconds", "1.1.9", [](auto& d) { d.setScreenOffTime(ScreenOffTime(0, 60)); },
         ResultCode::outOfRange, "The range of seconds is 0 to 59"},
        {"screen off minutes", "1.1.9", [](auto& d) { d.setScreenOffTime(ScreenOffTime(256, 0)); },
         ResultCode::outOfRange, "The range of minutes is 0 to 255"},
        {"user data old", "1.1.10", [](auto& d) { d.getUserData(); }, ResultCode::notSupported, ""},
        {"set user data old", "1.1.10", [](auto& d) { d.setUserData(Bytes(1)); },
         ResultCode::notSupported, ""},
        {"user data too long", "1.1.11", [](auto& d) { d.setUserData(Bytes(70)); },
         ResultCode::outOfRange, "The user data is longer than 64 bytes"},
        {"bundle too long", "1.1.11", [](auto& d) { d.setAppBundleId(std::string(33, 'a')); },
         ResultCode::outOfRange, "The bundle ID is longer than 32 bytes"},
    };
    for (const auto& c : cases) {
        protocol->clear();
        transport->setFirmware(c.firmware);
        if (c.code == ResultCode::noError) {
            c.call(*device);
            EXPECT_EQ(protocol->sent().size(), 1u) << c.name;
        } else {
            EXPECT_EQ(expectCode(c.code, [&] { c.call(*device); }), c.message) << c.name;
            EXPECT_TRUE(protocol->sent().empty()) << c.name;
        }
    }
    for (const auto mode : {ConnectionMode::bluetoothHid, ConnectionMode::usbHid,
                            ConnectionMode::bleHid, ConnectionMode::bleSpp}) {
        expectCode(ResultCode::notSupported, [&] { device->setConnectionMode(mode); });
    }
    EXPECT_TRUE(protocol->sent().empty());
}

TEST_F(Vk640Test, UnknownSkuFallsBackToTheModulesBand) {
    const auto band = [](uint8_t profile) {
        return tlvReply(0x01, 0x00, 0x08, {profile, 0, 0, 0, 0, 0, 0, 0, 0, 1});
    };
    struct Case {
        uint8_t band;
        SkuType expected;
    };
    const Case cases[] = {{22, SkuType::european}, {1, SkuType::european}, {20, SkuType::us},
                          {11, SkuType::us},       {7, SkuType::japanese}, {0, SkuType::unknown}};
    for (const auto& c : cases) {
        protocol->clear();
        protocol->reply(tlvReply(kDevice, 0x06, 0x06, {0}));
        protocol->reply(band(c.band));
        EXPECT_EQ(device->getSkuType(), c.expected) << int(c.band);
        EXPECT_EQ(requests(), (std::vector<Bytes>{{kDevice, 0x06}, {0x01, 0x00, 0x08, 0x00}}));
    }
    EXPECT_EQ(log->count("getSkuType() Get unknown region", LogLevel::error), 1);
    EXPECT_EQ(log->count("Get unknown sku, try to get global band to check", LogLevel::trace),
              static_cast<int>(std::size(cases)));

    // A band that has no name is no answer.
    protocol->reply(tlvReply(kDevice, 0x06, 0x06, {0}));
    protocol->reply(band(4));
    expectCode(ResultCode::invalidResponse, [&] { device->getSkuType(); });
}

TEST_F(Vk640Test, InventoryIndicatorStaysInTheProtocol) {
    device->setInventoryIndicator(InventoryIndicator(false, true, false));
    ASSERT_EQ(protocol->pumped(), std::vector<ProtocolEventId>{ProtocolEventId::tagsIndicator});
    const auto event = protocol->lastPumped();
    ASSERT_TRUE(event);
    const auto* pumped = event->get<InventoryIndicator>();
    ASSERT_NE(pumped, nullptr);
    EXPECT_EQ(pumped->toDeviceParameter(), "000100");
    // A protocol without indicator flags answers the reader's defaults.
    EXPECT_EQ(device->getInventoryIndicator().toDeviceParameter(), "010101");
    EXPECT_TRUE(protocol->sent().empty());
}

TEST_F(Vk640Test, OperationsTheModelLacksAnswerNotSupported) {
    const std::set<std::string> supplied{"getFirmwareVersion",
                                         "getBatteryState",
                                         "getDataTerminator",
                                         "setDataTerminator",
                                         "getOperationMode",
                                         "setOperationMode",
                                         "getAutoOffTime",
                                         "setAutoOffTime",
                                         "getBeeperVolume",
                                         "setBeeperVolume",
                                         "getVibrator",
                                         "setVibrator",
                                         "getAppBundleId",
                                         "setAppBundleId",
                                         "factoryReset",
                                         "getTemperature",
                                         "getSystemTime",
                                         "setSystemTime",
                                         "getReadMode",
                                         "setReadMode",
                                         "setFindDevice",
                                         "getDataFormat",
                                         "setDataFormat",
                                         "getDataInfo",
                                         "setDataInfo",
                                         "getDataRange",
                                         "setDataRange",
                                         "getTagUnique",
                                         "setTagUnique",
                                         "setDisplayOutput",
                                         "getScreenOffTime",
                                         "setScreenOffTime",
                                         "getUserData",
                                         "setUserData",
                                         "getBluetoothSecuritySimplePairing",
                                         "setBluetoothSecuritySimplePairing",
                                         "shutdown",
                                         "getInventoryIndicator",
                                         "setInventoryIndicator",
                                         "getAutoOffTimeList",
                                         "getBluetoothAddress",
                                         "getSkuType",
                                         "getSerialNumber",
                                         "getDeviceType",
                                         "getConnectionMode",
                                         "setConnectionMode"};
    protocol->responder = nullptr;
    std::size_t rows = 0;
    std::size_t lacking = 0;
    test::forEachOperation(*device, [&](const char* name, auto call) {
        ++rows;
        if (supplied.count(name) != 0) return;
        ++lacking;
        EXPECT_EQ(expectCode(ResultCode::notSupported, call), "") << name;
    });
    EXPECT_EQ(lacking, rows - supplied.size());
    EXPECT_TRUE(protocol->sent().empty());
}

TEST_F(Vk640Test, SettingsWithoutARequestPackNothing) {
    using Id = DeviceParamId;
    OpenVk640 open(protocol);
    log->clear();
    for (const Id id : {Id::bluetoothName, Id::findDevice, Id::displayMessage, Id::autoOffTimeList,
                        Id::factoryReset}) {
        EXPECT_TRUE(open.getBytePackage(DeviceParam(id)).empty());
    }
    EXPECT_EQ(log->count("getBytePackage(_:) The deviceParam id Auto Off Time List is not "
                         "supported.",
                         LogLevel::warn),
              1);
    EXPECT_EQ(log->count("getBytePackage(_:)", LogLevel::warn), 5);
    // No reply reaches a waiting request for these.
    for (const Id id :
         {Id::findDevice, Id::displayMessage, Id::inventoryIndicator, Id::autoOffTimeList}) {
        EXPECT_EQ(open.getResponseCount(id), 0) << description(id);
    }
    EXPECT_EQ(open.getResponseCount(Id::beeperVolume), 1);
}

TEST_F(Vk640Test, SetPackagesWriteWhatWasAskedOrNothing) {
    using Id = DeviceParamId;
    OpenVk640 open(protocol);
    struct Case {
        DeviceParam param;
        Bytes payload;  // empty: refused with a WARN line
    };
    const Case cases[] = {
        {DeviceParam(Id::vibrator, true), {0x01, 1, 1}},
        {DeviceParam(Id::beeperVolume, BeeperVolume::mute), {0x02, 1, 0}},
        {DeviceParam(Id::autoOffTime, 5u), {0x04, 1, 5}},
        {DeviceParam(Id::autoOffTime, 4u), {}},
        {DeviceParam(Id::autoOffTime, 300u), {}},
        {DeviceParam(Id::readMode, ReadMode::multiRead), {0x05, 1, 1}},
        {DeviceParam(Id::findDevice, FindDevice(FindDeviceMode::vibrator, 5)), {0x06, 2, 1, 5}},
        {DeviceParam(Id::dataFormat, DataFormat::ascii), {0x07, 1, 1}},
        {DeviceParam(Id::dataInfo, DataInfo::user), {0x08, 1, 1}},
        {DeviceParam(Id::dataRange, DataRange(1, 0x203)), {0x09, 4, 1, 0, 3, 2}},
        {DeviceParam(Id::dataTerminator, DataTerminator::tab), {0x0A, 1, 2}},
        {DeviceParam(Id::dataTerminator, DataTerminator::cr), {}},
        {DeviceParam(Id::dataTerminator, DataTerminator::lf), {}},
        {DeviceParam(Id::tagUnique, TagUnique::tagInfo), {0x0B, 1, 1}},
        {DeviceParam(Id::screenOffTime, ScreenOffTime(3, 59)), {0x0E, 2, 3, 59}},
        {DeviceParam(Id::screenOffTime, ScreenOffTime(3, 90)), {}},
        {DeviceParam(Id::bluetoothSecuritySimplePairing, false), {0x22, 1, 0}},
        {DeviceParam(Id::factoryReset), {0x40, 0}},
        {DeviceParam(Id::shutdown), {0x41, 0}},
        {DeviceParam(Id::connectionMode, ConnectionMode::bluetoothSpp), {0x20, 1, 1}},
        {DeviceParam(Id::connectionMode, ConnectionMode::usbSpp), {0x20, 1, 0}},
        {DeviceParam(Id::connectionMode, ConnectionMode::bufferMode), {0x20, 1, 3}},
        {DeviceParam(Id::connectionMode, ConnectionMode::bluetoothHid), {}},
        {DeviceParam(Id::connectionMode, ConnectionMode::usbHid), {}},
        {DeviceParam(Id::connectionMode, ConnectionMode::bleHid), {}},
        {DeviceParam(Id::connectionMode, ConnectionMode::bleSpp), {}},
        {DeviceParam(Id::displayMessage, DisplayMessage("A", 0, 1, true)), {}},
        {DeviceParam(Id::firmwareVersion), {}},
    };
    int refused = 0;
    for (const auto& c : cases) {
        const Bytes bytes = open.setBytePackage(c.param);
        const std::string name = std::string(description(c.param.id())) + " " + c.param._value();
        if (c.payload.empty()) {
            ++refused;
            EXPECT_TRUE(bytes.empty()) << name;
            continue;
        }
        const auto view = STPacket::parsePacket(bytes);
        ASSERT_TRUE(view) << name;
        EXPECT_EQ(view->cmdGroup, kDevice);
        EXPECT_EQ(view->cmdSubcode, kSet);
        EXPECT_EQ(Bytes(view->payload.begin(), view->payload.end()), c.payload) << name;
    }
    EXPECT_EQ(log->count("setBytePackage(_:)", LogLevel::warn), refused);
    EXPECT_EQ(log->count("setBytePackage(_:) The deviceParam id Display Message is not supported.",
                         LogLevel::warn),
              1);

    // A value text that is no device text of the id.
    DeviceParam bad(Id::beeperVolume);
    bad.set_value("zz");
    EXPECT_TRUE(open.setBytePackage(bad).empty());
}

// One table serves both paths: a value the single operation refuses is skipped by the
// multi-setting packing, and one it accepts is packed into the same record.
TEST_F(Vk640Test, SingleAndMultiSettingPathsApplyOneRule) {
    using Id = DeviceParamId;
    OpenVk640 open(protocol);
    struct Case {
        const char* firmware;
        DeviceParam param;
    };
    const Case cases[] = {
        {"1.1.11", DeviceParam(Id::autoOffTime, 4u)},
        {"1.1.11", DeviceParam(Id::autoOffTime, 10u)},
        {"1.1.11", DeviceParam(Id::autoOffTime, 255u)},
        {"1.1.6", DeviceParam(Id::readMode, ReadMode::multiRead)},
        {"1.1.7", DeviceParam(Id::readMode, ReadMode::multiRead)},
        {"1.1.6", DeviceParam(Id::readMode, ReadMode::singleRead)},
        {"1.1.6", DeviceParam(Id::tagUnique, TagUnique::tagInfo)},
        {"1.1.8", DeviceParam(Id::screenOffTime, ScreenOffTime(1, 0))},
        {"1.1.9", DeviceParam(Id::screenOffTime, ScreenOffTime(1, 60))},
        {"1.1.9", DeviceParam(Id::screenOffTime, ScreenOffTime(255, 59))},
        {"1.1.10", DeviceParam(Id::userData, Bytes(4, 1))},
        {"1.1.11", DeviceParam(Id::dataTerminator, DataTerminator::cr)},
        {"1.1.11", DeviceParam(Id::findDevice, FindDevice(FindDeviceMode::beep, 255))},
        {"1.1.11", DeviceParam(Id::connectionMode, ConnectionMode::bleSpp)},
        {"1.1.11", DeviceParam(Id::connectionMode, ConnectionMode::usbSpp)},
        {"1.1.11", DeviceParam(Id::appBundleId, std::string(33, 'a'))},
    };
    for (const auto& c : cases) {
        const std::string name =
            std::string(description(c.param.id())) + " " + c.param._value() + " @" + c.firmware;
        transport->setFirmware(c.firmware);
        protocol->clear();
        bool single = true;
        try {
            device->setParameter(c.param);
        } catch (const CodedError&) {
            single = false;
        }
        const Bytes packed = open.setBytePackage(c.param);
        EXPECT_EQ(single, !packed.empty()) << name;
        if (!single) {
            EXPECT_TRUE(protocol->sent().empty()) << name;
            continue;
        }
        const auto view = STPacket::parsePacket(packed);
        ASSERT_TRUE(view) << name;
        Bytes record{view->cmdGroup, view->cmdSubcode};
        record.insert(record.end(), view->payload.begin(), view->payload.end());
        EXPECT_EQ(requests(), std::vector<Bytes>{record}) << name;
    }
    // A read the firmware lacks is left out of a multi-read as the single read refuses it.
    transport->setFirmware("1.1.6");
    EXPECT_TRUE(open.getBytePackage(DeviceParam(Id::tagUnique)).empty());
    expectCode(ResultCode::notSupported, [&] { device->getTagUnique(); });

    // A bundle id text with bytes above 0x7F is no app bundle id: refused, nothing written.
    transport->setFirmware("1.1.11");
    protocol->clear();
    DeviceParam bundle(Id::appBundleId);
    bundle.set_value("636F6DC3A9");
    expectCode(ResultCode::invalidParameter, [&] { device->setParameter(bundle); });
    EXPECT_TRUE(protocol->sent().empty());
    EXPECT_TRUE(open.setBytePackage(bundle).empty());
}

TEST_F(Vk640Test, RepliesBecomeParameters) {
    using Id = DeviceParamId;
    OpenVk640 open(protocol);
    Bytes firmware{'2', '.', '0', '1'};
    firmware.resize(16, 0);
    Bytes data;
    const auto add = [&](const Bytes& reply) {
        data.insert(data.end(), reply.begin(), reply.end());
    };
    add(tlvReply(kDevice, 0x01, 0x01, firmware));
    add(tlvReply(kDevice, 0x05, 0x05, {50, 1}));  // battery: wrong length, skipped
    add(tlvReply(kDevice, 0x07, 0x07, {0xF6}));   // -10 degrees
    add(tlvReply(kDevice, kGet, 0x20, {0}));      // operating mode 0: USB SPP
    add(tlvReply(kDevice, kGet, 0x06, {3, 10}));  // Find Device cannot be read
    add(tlvReply(kDevice, kGet, 0x20, {2}));      // no such operating mode
    add(tlvReply(kDevice, 0x06, 0x06, {9}));      // SKU above 4 reads as unknown
    add(tlvReply(kDevice, kGet, 0x09, {4, 0, 8, 0}));
    add(Bytes{0x80, 0x00, 0x00});  // the start of a packet: ends the walk
    const auto params =
        open.responseDataToDeviceParam(data, {Id::firmwareVersion, Id::autoOffTimeList});
    std::vector<std::pair<Id, std::string>> seen;
    for (const auto& p : params) {
        EXPECT_EQ(p._default(), p._value());
        seen.emplace_back(p.id(), p._value());
    }
    EXPECT_EQ(seen, (std::vector<std::pair<Id, std::string>>{
                        {Id::firmwareVersion, "322E3031"},
                        {Id::temperature, "-10.0"},
                        {Id::connectionMode, "03"},
                        {Id::skuType, "00"},
                        {Id::dataRange, "00040008"},
                        {Id::autoOffTimeList, "00000001000200030005000A"}}));
    EXPECT_EQ(log->count("responseDataToDeviceParam(_:_:) Result Code: Invalid Parameter, "
                         "Message: Invalid parameter length",
                         LogLevel::error),
              1);
    EXPECT_EQ(log->count("deviceParamId The combination of cmdGroup(orvane), "
                         "cmdSubcode(getConfigure), and tlvID(findDevice) is not supported.",
                         LogLevel::error),
              1);

    // Only the list, with no reply at all.
    const auto list = open.responseDataToDeviceParam({}, {Id::autoOffTimeList});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].id(), Id::autoOffTimeList);
}

TEST_F(Vk640Test, ReplyPacketsNameTheSettingTheyAnswer) {
    struct Case {
        Bytes packet;
        uint16_t id;
        std::string log;
    };
    const Case cases[] = {
        {packet(kDevice, 0x04, {}), 1, ""},
        {packet(kDevice, 0x06, {}), 52, ""},
        {tlvReply(kDevice, kGet, 0x22, {1}), 23, ""},
        {tlvReply(kDevice, kGet, 0x0F, {}), 21, ""},
        {packet(0x05, kGet, {0x01, 0}), 256,
         "deviceParamId The cmdGroup(5) or cmdSubcode(17) is not supported."},
        {packet(kDevice, 0x10, {0x01, 0}), 256,
         "deviceParamId The cmdGroup(16) or cmdSubcode(16) is not supported."},
        {packet(kDevice, kGet, {}), 256,
         "deviceParamId Result Code: Invalid Parameter, Message: The payload length is less than "
         "1"},
        {packet(kDevice, kGet, {0x99, 0}), 256, "deviceParamId The tlvID(153) is not supported."},
        {tlvReply(kDevice, kSet, 0x01, {1}), 256,
         "deviceParamId The combination of cmdGroup(orvane), cmdSubcode(setConfigure), and "
         "tlvID(vibrator) is not supported."},
        {tlvReply(0x01, 0x01, 0x02, {1}), 256,
         "deviceParamId The combination of cmdGroup(dl), cmdSubcode(firmwareVersion), and "
         "tlvID(beeper) is not supported."},
    };
    for (const auto& c : cases) {
        log->clear();
        EXPECT_EQ(STPacket(c.packet).deviceParamId(), c.id) << c.log;
        if (c.log.empty()) {
            EXPECT_TRUE(log->texts("STPacket").empty());
        } else {
            EXPECT_EQ(log->texts("STPacket"), std::vector<std::string>{c.log});
        }
    }
}

TEST_F(Vk640Test, SetRepliesAreVerifiedUpToTheFirstFailure) {
    OpenVk640 open(protocol);
    open.verifySetResult({});
    Bytes data;
    for (const uint16_t status : {0x0000, 0xFFFF, 0x0000}) {
        const Bytes reply = tlvReply(kDevice, kSet, 0x02, {1}, status);
        data.insert(data.end(), reply.begin(), reply.end());
    }
    try {
        open.verifySetResult(data);
        ADD_FAILURE() << "accepted an error status";
    } catch (const CodedError& error) {
        EXPECT_EQ(
            error.message().rfind("verifySetResult(_:) - The return code is not noError.(", 0), 0u);
    }
    // Trailing bytes that form no packet are not an error.
    Bytes good = tlvReply(kDevice, kSet, 0x02, {1});
    good.push_back(0x80);
    open.verifySetResult(good);
}

TEST_F(Vk640Test, SettingsRoundTripThroughOneExchange) {
    using Id = DeviceParamId;
    // Write several settings in one exchange, then read them back in one exchange.
    device->setParameters({DeviceParam(Id::beeperVolume, BeeperVolume::high),
                           DeviceParam(Id::findDevice, FindDevice(FindDeviceMode::beep, 3)),
                           DeviceParam(Id::connectionMode, ConnectionMode::usbHid),
                           DeviceParam(Id::connectionMode, ConnectionMode::bufferMode),
                           DeviceParam(Id::dataRange, DataRange(2, 6)),
                           DeviceParam(Id::firmwareVersion)});
    ASSERT_EQ(protocol->sent().size(), 1u);
    // Find Device brings no reply; the later Connection Mode record replaces the refused one.
    EXPECT_EQ(protocol->sent()[0].number, 3);
    EXPECT_EQ(requests().size(), 4u);
    EXPECT_EQ(reader.settings[0x20], Bytes{3});

    protocol->clear();
    const auto params = device->getParameters(std::vector{
        Id::beeperVolume, Id::connectionMode, Id::dataRange, Id::autoOffTimeList, Id::findDevice});
    ASSERT_EQ(protocol->sent().size(), 1u);
    EXPECT_EQ(protocol->sent()[0].number, 3);
    std::vector<std::pair<Id, std::string>> seen;
    for (const auto& p : params)
        seen.emplace_back(p.id(), p._value());
    EXPECT_EQ(seen, (std::vector<std::pair<Id, std::string>>{
                        {Id::beeperVolume, "03"},
                        {Id::connectionMode, "06"},
                        {Id::dataRange, "00020006"},
                        {Id::autoOffTimeList, "00000001000200030005000A"}}));

    // Single access refuses what the model cannot read singly.
    expectCode(ResultCode::notSupported, [&] { device->getParameter(Id::triggerKeyStatus); });
    expectCode(ResultCode::invalidParameter, [&] { device->getParameter(Id::shutdown); });
}

}  // namespace
}  // namespace orvane
