#pragma once

// The UHF object of a reader whose radio module is the QM5520 module (the Vk210): every operation
// but Encoding, TARI, BLF and Fast Mode (44 ids), the module's 37 RF modes, and the driver's
// limits (power 5 to 33 dBm, inventory time from 150 ms, select masks 0 to 2).
//
// Threads: as BaseUhf. initModule() runs on the reader's initialisation thread, without the
// module lock, and blocks for its exchanges (3000 ms each).

#include <memory>

#include "orvanerfid/Export.h"
#include "orvanerfid/uhf/BaseUhf.h"

namespace orvane {

class ORVANE_API UhfQm5520 : public BaseUhf {
  public:
    // The object with its driver (which it becomes the delegate of) on `protocol`.
    static std::shared_ptr<UhfQm5520> create(std::weak_ptr<ReaderLink> reader,
                                             std::shared_ptr<BaseDevice> device,
                                             std::shared_ptr<BaseProtocol> protocol);

    // Reads the module's SKU; when the module reports none, the SKU of its region. Stores it in
    // the driver and announces it to the protocol (skuType event, which the reader receives).
    // False after an exchange error ("initModule() error: ...") or an unknown region.
    bool initModule() override;

  private:
    ORVANE_INTERNAL UhfQm5520(std::weak_ptr<ReaderLink> reader, std::shared_ptr<BaseDevice> device,
                              std::shared_ptr<BaseProtocol> protocol);
};

}  // namespace orvane
