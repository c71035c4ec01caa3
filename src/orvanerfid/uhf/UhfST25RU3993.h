#pragma once

// The UHF object of a reader whose radio module is the ST25RU3993 reader chip (the Vk640).
//
// It supports the first 29 operations (inventory to the RFID configuration) and offers no RF
// modes. Its tag accesses are always allowed (no supported-operation check) and each ends with
// an access result of its own, posted after the return to Stop; its read answers through the
// driver's completion, in which the module lock is released.
//
// Threads: as BaseUhf. initModule() runs on the reader's initialisation thread, without the
// module lock, and blocks for its exchanges (3000 ms each).

#include <memory>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/uhf/BaseUhf.h"

namespace orvane {

class ORVANE_API UhfST25RU3993 : public BaseUhf {
  public:
    // The object with its driver (which it becomes the delegate of) on `protocol`.
    static std::shared_ptr<UhfST25RU3993> create(std::weak_ptr<ReaderLink> reader,
                                                 std::shared_ptr<BaseDevice> device,
                                                 std::shared_ptr<BaseProtocol> protocol);

    // Reads the module's SKU; when the module reports none, the SKU of its frequency profile.
    // Stores it in the driver and announces it to the protocol (skuType event). False after an
    // exchange error ("initModule() error: ..."), an unknown region or a profile that is no band.
    bool initModule() override;

    ResultCode readMemory(BankType bank, unsigned offset, unsigned length,
                          const std::string& password) override;
    ResultCode writeMemory(BankType bank, unsigned offset, const std::string& data,
                           const std::string& password) override;
    ResultCode lockTag(const LockParam& lockParam, const std::string& password) override;
    ResultCode permaLockTag(const PermaLockParam& permaLockParam,
                            const std::string& password) override;
    ResultCode killTag(const std::string& password) override;

  private:
    ORVANE_INTERNAL UhfST25RU3993(std::weak_ptr<ReaderLink> reader,
                                  std::shared_ptr<BaseDevice> device,
                                  std::shared_ptr<BaseProtocol> protocol);
};

}  // namespace orvane
