#include "orvanerfid/uhf/UhfFactory.h"

#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/uhf/UhfQm5520.h"
#include "orvanerfid/uhf/UhfST25RU3993.h"

namespace orvane {

std::shared_ptr<BaseUhf> makeUhf(UhfModuleType type, std::weak_ptr<ReaderLink> reader,
                                 std::shared_ptr<BaseDevice> device,
                                 const std::shared_ptr<BaseUhf>& previous) {
    if (!device) throw ReaderException(ResultCode::otherError, "Device is nil");
    std::shared_ptr<BaseProtocol> protocol = device->baseProtocol();
    std::shared_ptr<BaseUhf> uhf;
    switch (type) {
        case UhfModuleType::st25ru3993:
            uhf = UhfST25RU3993::create(std::move(reader), std::move(device), std::move(protocol));
            break;
        case UhfModuleType::qm5520:
            uhf = UhfQm5520::create(std::move(reader), std::move(device), std::move(protocol));
            break;
        case UhfModuleType::unknown:
            break;
    }
    if (!uhf) throw ReaderException(ResultCode::notSupported, "Unknown UHF module type");
    if (previous) uhf->setDelegate(previous->delegate());
    return uhf;
}

}  // namespace orvane
