// Hands arbitrary bytes to the ST25RU3993 driver as the module's reply to every request: the
// reply splitting, the record parsers, the module status rule and every reply check of the tag
// accesses and radio settings run on them, as they would on a corrupt or hostile module.
#include <cstddef>
#include <cstdint>

#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/uhfmodules/UhfModuleST25RU3993.h"

#include "FuzzSupport.h"

namespace {

using namespace orvane;

class ReplayProtocol : public BaseProtocol {
  public:
    explicit ReplayProtocol(Bytes reply)
        : BaseProtocol("ReplayProtocol", nullptr, nullptr), reply_(std::move(reply)) {}
    Response send(ByteView, int) override { return Response(ResultCode::noError, reply_); }
    Response send(ByteView, int, int) override { return Response(ResultCode::noError, reply_); }
    bool start() override { return true; }
    bool receiveTurn(const DispatchWorkItem&) override { return false; }
    void receiveEnded(bool) override {}

  private:
    const Bytes reply_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    auto protocol = std::make_shared<ReplayProtocol>(Bytes(data, data + size));
    UhfModuleST25RU3993 driver(protocol);
    driver.pumpEvent(ProtocolEventId::firmwareVersion, std::string("1.1.13"));
    driver.setSkuType(SkuType::japanese);
    const auto value = [](ResultCode, auto) {};
    const auto result = [](ResultCode) {};
    (void)driver.inventory();
    (void)driver.stop();
    (void)driver.killTag("00000001");
    (void)driver.lockTag(LockParam(), "00000000");
    (void)driver.writeMemory(BankType::reserved, 0, "0000000111223344", "11112222");
    driver.readMemory(BankType::user, 0, 4, "00000000", value);
    driver.version(value);
    driver.getGlobalBand(value);
    driver.setGlobalBand(GlobalBandType::japan250mW, result);
    driver.getSelectMode(value);
    driver.setStartQ(3, result);
    driver.getRfidConfig(value);
    driver.setRfidConfig(RfidConfig(), result);
    return 0;
}
