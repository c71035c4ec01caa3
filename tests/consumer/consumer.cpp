// Uses one thing of each exported area through the installed headers and shared library; a
// symbol the library does not export fails the link, a wrong answer fails the run.

#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>

#include "orvanerfid/orvanerfid.h"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "consumer check failed: %s\n", what);
        ++failures;
    }
}

class Listener : public orvane::DetectReaderDelegate {
  public:
    void didConnectReader(const std::shared_ptr<orvane::OrvaneDevice>& device) override {
        serial = device->serialNumber();
    }
    void didDisconnectReader(const std::shared_ptr<orvane::OrvaneDevice>&) override {}
    std::string serial;
};

}  // namespace

// Classes that live only in a shared_ptr cannot be built any other way.
static_assert(!std::is_default_constructible_v<orvane::DetectReader>);

int main() {
    orvane::orvLogger::setShowNSLog(false);
    orvane::orvLogger::setLevel(orvane::LogLevel::warn);
    check(!orvane::orvLogger::isEnabled(orvane::LogLevel::info), "logger threshold");

    check(std::string(orvane::description(orvane::ResultCode::timeout)) == "Timeout",
          "result code text");
    try {
        throw orvane::ReaderException(orvane::ResultCode::outOfRange, "x");
    } catch (const orvane::CodedError& e) {
        check(e.resultCode() == orvane::ResultCode::outOfRange, "exception code");
    }
    check(orvane::toHexString(orvane::Bytes{0x0A, 0xFF}) == "0AFF", "hex text");

    auto accessory = std::make_shared<orvane::Accessory>(orvane::AccessoryInfo{
        "Orvane Technology", "VK210", "VK210", "CONSUMER-1", "1.0", {"com.orvane.dcbridge"}});
    auto listener = std::make_shared<Listener>();
    auto detector = orvane::DetectReader::create();
    detector->setDelegate(listener);
    detector->startDetect();
    orvane::AccessoryManager::shared().attach(accessory);
    check(listener->serial == "CONSUMER-1", "discovery");
    orvane::AccessoryManager::shared().detach(accessory);
    detector->stopDetect();

    const orvane::DeviceParam volume(orvane::DeviceParamId::beeperVolume);
    check(volume.valueToAny("02").has_value() && !volume.valueToAny("002").has_value(),
          "device text");
    check(orvane::BatteryStatusExtended::fromDeviceParameter("40000000000007D0").voltage() == 2000,
          "battery record");
    orvane::RfidConfig config;
    (void)config;

    orvane::STUHFL_Beeper beeper;
    check(beeper.setPacketBytes().size() == 13, "packet request");
    check(orvane::TimeoutControl(1000).timeout() == 1000, "timeout control");
    check(orvane::Clock::speed() == 1.0, "clock");

    orvane::ZebraPacket request(orvane::Opcode::PARAM_REQUEST, {0x01, 0x02});
    request.messageSource = orvane::MessageSource::host;
    check(orvane::ZebraCodec::decode(orvane::ZebraCodec::encode(request)).data.size() == 2,
          "engine packet");
    check(orvane::makeSE2707SupportedParameters().size() == 138, "engine table");
    check(orvane::HoneywellPacket().text() == "{}", "engine record");

    auto reader = orvane::UhfReader::create(std::make_shared<orvane::OrvaneDevice>());
    check(reader->deviceType() == orvane::DeviceType::vk640, "reader");
    check(orvane::BaseReader::uhfSupportedParameterIds(orvane::UhfModuleType::qm5520).size() == 44,
          "reader table");
    // No accessory behind this descriptor: the attempt is accepted and may already have ended,
    // but it never reports Connected. Dropping the reader closes the link.
    check(reader->connect() && reader->connectState() != orvane::ConnectState::connected,
          "reader connection");
    reader.reset();

    if (failures == 0) std::printf("consumer: all checks passed\n");
    // The scan-engine object of a reader's SE2707 engine, without a reader.
    const auto engine = std::make_shared<orvane::EngineSE2707>(std::weak_ptr<orvane::ReaderLink>{});
    check(engine->engineModel() == orvane::EngineModel::SE2707, "engine model");
    check(engine->supportedIds().size() == orvane::EngineSE2707::makeSupportedParameters().size(),
          "engine table");
    check(engine->isSupport(engine->supportedIds().front()), "engine support");

    return failures == 0 ? 0 : 1;
}
