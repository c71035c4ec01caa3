#include "orvanerfid/uhf/UhfQm5520.h"

#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/commands/RadioSettingCommands.h"
#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/uhfmodules/UhfModuleQm5520.h"

namespace orvane {

namespace {

constexpr std::string_view kInit = "initModule()";
constexpr int kInitTimeout = 3000;

std::vector<UhfParamId> qm5520Ids() {
    std::vector<UhfParamId> ids;
    for (UhfParamId id : allCases<UhfParamId>()) {
        if (id != UhfParamId::encoding && id != UhfParamId::tari && id != UhfParamId::blf &&
            id != UhfParamId::fastMode) {
            ids.push_back(id);
        }
    }
    return ids;
}

template <class Command>
Command exchangeCommand(BaseProtocol& protocol) {
    Command request;
    const Bytes reply = checkResponse(kInit, protocol.send(request.toBytes(), kInitTimeout));
    Command parsed(OrvaneRfidCommand::ReceiveBytes{reply});
    parsed.checkStatus(kInit);
    return parsed;
}

std::optional<SkuType> skuOfSkuId(const Bytes& data) {
    if (data.empty()) return std::nullopt;
    const auto id = fromRaw<OrvRfidCmdSkuId>(data[0]);
    if (!id) return std::nullopt;
    switch (*id) {
        case OrvRfidCmdSkuId::fcc:
            return SkuType::us;
        case OrvRfidCmdSkuId::etsi:
            return SkuType::european;
        case OrvRfidCmdSkuId::jpn:
            return SkuType::japanese;
        case OrvRfidCmdSkuId::unknown:
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<SkuType> skuOfRegion(const Bytes& data) {
    if (data.empty()) return std::nullopt;
    const auto region = fromRaw<OrvRfidCmdRegion>(data[0]);
    if (!region) return std::nullopt;
    switch (*region) {
        case OrvRfidCmdRegion::etsi:
            return SkuType::european;
        case OrvRfidCmdRegion::fcc:
        case OrvRfidCmdRegion::taiwan:
        case OrvRfidCmdRegion::china:
        case OrvRfidCmdRegion::hongKong:
        case OrvRfidCmdRegion::brazil:
        case OrvRfidCmdRegion::israel:
            return SkuType::us;
        case OrvRfidCmdRegion::japan:
        case OrvRfidCmdRegion::japan6Channels:
            return SkuType::japanese;
        case OrvRfidCmdRegion::unknown:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

UhfQm5520::UhfQm5520(std::weak_ptr<ReaderLink> reader, std::shared_ptr<BaseDevice> device,
                     std::shared_ptr<BaseProtocol> protocol)
    : BaseUhf(std::move(reader), std::move(device), std::move(protocol), "UhfQm5520") {
    auto driver = std::make_shared<UhfModuleQm5520>(baseProtocol_, 150, 0, true);
    driver->setModuleType(UhfModuleType::qm5520);
    driver->setPowerMaxOutput(33);
    driver->setPowerMinOutput(5);
    driver->setSelectMaskMaxSize(2);
    uhfModule_ = std::move(driver);
    setSupportedIds(qm5520Ids());
    const auto modes = allCases<RfMode>();
    setSupportedRfModes(std::vector<RfMode>(modes.begin(), modes.end()));
}

std::shared_ptr<UhfQm5520> UhfQm5520::create(std::weak_ptr<ReaderLink> reader,
                                             std::shared_ptr<BaseDevice> device,
                                             std::shared_ptr<BaseProtocol> protocol) {
    std::shared_ptr<UhfQm5520> uhf(
        new UhfQm5520(std::move(reader), std::move(device), std::move(protocol)));
    uhf->uhfModule_->setDelegate(std::static_pointer_cast<UhfDelegate>(uhf));
    return uhf;
}

bool UhfQm5520::initModule() {
    try {
        std::optional<SkuType> sku =
            skuOfSkuId(exchangeCommand<OrvRfidCmd_Sku>(*baseProtocol_).data());
        if (!sku) {
            orvLogger::trace(TAG(), "Get unknown sku, try to get global band to check");
            sku = skuOfRegion(exchangeCommand<OrvRfidCmd_GetRegion>(*baseProtocol_).data());
            if (!sku) {
                orvLogger::error(TAG(), "initModule() Get unknown region");
                return false;
            }
        }
        if (uhfModule_) uhfModule_->setSkuType(*sku);
        // The Vk210 protocol hands this event to its delegate, the device, which tells the reader.
        baseProtocol_->pumpEvent(ProtocolEventArgs(ProtocolEventId::skuType, *sku));
        return true;
    } catch (const std::exception& e) {
        orvLogger::error(TAG(), std::string("initModule() error: ") + e.what());
        return false;
    }
}

}  // namespace orvane
