#pragma once

// Makes the UHF object for a reader's radio module; the reader's allocateUhf calls it.

#include <memory>

#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/uhf/BaseUhf.h"

namespace orvane {

// UhfST25RU3993 for module type 1, UhfQm5520 for 2, on the device's protocol. The new object
// takes over the application's delegate of `previous` (the object it replaces), if any. Throws
// ReaderException 0x0001 "Device is nil" without a device and 0x4001 "Unknown UHF module type"
// for any other type.
std::shared_ptr<BaseUhf> makeUhf(UhfModuleType type, std::weak_ptr<ReaderLink> reader,
                                 std::shared_ptr<BaseDevice> device,
                                 const std::shared_ptr<BaseUhf>& previous = nullptr);

}  // namespace orvane
