#include "orvanerfid/uhf/UhfST25RU3993.h"

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/commands/ST25RU3993Packets.h"
#include "orvanerfid/commands/Vk640Packets.h"
#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/uhf/UhfPipeline.h"
#include "orvanerfid/uhfmodules/UhfModuleST25RU3993.h"

namespace orvane {

namespace {

constexpr std::string_view kInit = "initModule()";
constexpr int kInitTimeout = 3000;

std::vector<UhfParamId> firstIds(uint8_t count) {
    std::vector<UhfParamId> ids;
    for (uint8_t raw = 0; raw < count; ++raw)
        ids.push_back(*fromRaw<UhfParamId>(raw));
    return ids;
}

template <class Packet>
Packet exchangePacket(BaseProtocol& protocol, const Bytes& request) {
    const Bytes reply = checkResponse(kInit, protocol.send(request, kInitTimeout));
    Packet packet(reply);
    packet.checkStatus(kInit);
    return packet;
}

}  // namespace

UhfST25RU3993::UhfST25RU3993(std::weak_ptr<ReaderLink> reader, std::shared_ptr<BaseDevice> device,
                             std::shared_ptr<BaseProtocol> protocol)
    : BaseUhf(std::move(reader), std::move(device), std::move(protocol), "UhfST25RU3993") {
    uhfModule_ = std::make_shared<UhfModuleST25RU3993>(baseProtocol_);
    setSupportedIds(firstIds(29));
}

std::shared_ptr<UhfST25RU3993> UhfST25RU3993::create(std::weak_ptr<ReaderLink> reader,
                                                     std::shared_ptr<BaseDevice> device,
                                                     std::shared_ptr<BaseProtocol> protocol) {
    std::shared_ptr<UhfST25RU3993> uhf(
        new UhfST25RU3993(std::move(reader), std::move(device), std::move(protocol)));
    uhf->uhfModule_->setDelegate(std::static_pointer_cast<UhfDelegate>(uhf));
    return uhf;
}

bool UhfST25RU3993::initModule() {
    try {
        SkuType sku = exchangePacket<STUHFL_SKU>(*baseProtocol_, STUHFL_SKU().getPacketBytes()).sku;
        if (sku == SkuType::unknown) {
            orvLogger::trace(TAG(), "Get unknown sku, try to get global band to check");
            const auto info = exchangePacket<STUHFL_T_ST25RU3993_FreqProfileInfo>(
                *baseProtocol_, STUHFL_T_ST25RU3993_FreqProfileInfo().getPacketBytes());
            const auto band = fromRaw<GlobalBandType>(info.profile);
            if (!band) {
                logError("initModule() Unknown global band (" + std::to_string(info.profile) + ")");
                return false;
            }
            if (uhfModule_) uhfModule_->setSkuType(SkuType::unknown);
            sku = skuTypeFromBand(*band);
            if (sku == SkuType::unknown) {
                logError("initModule() Get unknown region");
                return false;
            }
        }
        if (uhfModule_) uhfModule_->setSkuType(sku);
        baseProtocol_->pumpEvent(ProtocolEventArgs(ProtocolEventId::skuType, sku));
        return true;
    } catch (const std::exception& e) {
        logError(std::string("initModule() error: ") + e.what());
        return false;
    }
}

// ---- Tag access: no supported-operation check, and an access result of its own --------------

ResultCode UhfST25RU3993::readMemory(BankType bank, unsigned offset, unsigned length,
                                     const std::string& password) {
    auto run = readRun(bank, offset, length, password);
    run.id = std::nullopt;
    run.call = [=](BaseUhfModule& driver, auto done) {
        driver.readMemory(bank, static_cast<uint16_t>(offset), static_cast<uint8_t>(length),
                          password,
                          [done](ResultCode code, std::optional<Bytes> data) { done(code, data); });
    };
    run.accessResult = [bank](ResultCode code, const std::optional<Bytes>& data) {
        Bytes read = code == ResultCode::noError && data ? *data : Bytes{};
        return AccessResultEventArgs({}, std::move(read), ActionState::readMemory, bank, code);
    };
    return runPipeline(std::move(run));
}

ResultCode UhfST25RU3993::writeMemory(BankType bank, unsigned offset, const std::string& data,
                                      const std::string& password) {
    auto run = writeRun("writeMemory(bank:offset:data:password:)", UhfParamId::writeMemory, bank,
                        offset, data, password);
    run.id = std::nullopt;
    run.call = [=](BaseUhfModule& driver, auto done) {
        done(driver.writeMemory(bank, offset, data, password), std::nullopt);
    };
    run.accessResult = [bank](ResultCode code, const std::optional<Bytes>&) {
        return AccessResultEventArgs({}, {}, ActionState::writeMemory, bank, code);
    };
    return runPipeline(std::move(run));
}

namespace {

// The access result of a lock, permanent lock or kill: no bank, no data.
std::function<AccessResultEventArgs(ResultCode, const std::optional<Bytes>&)> resultOf(
    ActionState state) {
    return [state](ResultCode code, const std::optional<Bytes>&) {
        return AccessResultEventArgs({}, {}, state, std::nullopt, code);
    };
}

}  // namespace

ResultCode UhfST25RU3993::lockTag(const LockParam& lockParam, const std::string& password) {
    auto run = lockRun("lockTag(lockParam:password:)", UhfParamId::lockTag, ActionState::lock,
                       "lock", "lock param: ", lockParam.description(), password);
    run.id = std::nullopt;
    run.call = [=](BaseUhfModule& driver, auto done) {
        done(driver.lockTag(lockParam, password), std::nullopt);
    };
    run.accessResult = resultOf(ActionState::lock);
    return runPipeline(std::move(run));
}

ResultCode UhfST25RU3993::permaLockTag(const PermaLockParam& permaLockParam,
                                       const std::string& password) {
    auto run = lockRun("permaLockTag(permaLockParam:password:)", UhfParamId::permaLockTag,
                       ActionState::permanentLock, "perma lock",
                       "perma lock param: ", permaLockParam.description(), password);
    run.id = std::nullopt;
    run.call = [=](BaseUhfModule& driver, auto done) {
        done(driver.permaLockTag(permaLockParam, password), std::nullopt);
    };
    run.accessResult = resultOf(ActionState::permanentLock);
    return runPipeline(std::move(run));
}

ResultCode UhfST25RU3993::killTag(const std::string& password) {
    auto run = lockRun("killTag(password:)", UhfParamId::killTag, ActionState::kill, "kill", "", "",
                       password);
    run.id = std::nullopt;
    run.failureText = [](ResultCode) {
        return "killTag(password:) - Failed to start kill (password: " +
               std::string(kMaskedPassword) + ")";
    };
    run.startedText = "killTag(password:) - password: " + std::string(kMaskedPassword);
    run.call = [=](BaseUhfModule& driver, auto done) {
        done(driver.killTag(password), std::nullopt);
    };
    run.accessResult = resultOf(ActionState::kill);
    return runPipeline(std::move(run));
}

}  // namespace orvane
