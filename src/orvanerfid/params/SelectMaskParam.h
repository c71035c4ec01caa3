#pragma once

// One entry of a radio module's select-mask list: whether it is used, the Gen2 Select target,
// action and memory bank, where the mask starts, the mask pattern and the EPC truncation.

#include <cstdint>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/SettingValues.h"

namespace orvane {

// A plain value that checks nothing; the radio-module layer enforces its own limits. It holds
// its own copy of the mask pattern: `setMaskPattern` copies the pattern in and `maskPattern`
// copies it out, so a caller's pattern never changes an entry held elsewhere (a driver's list),
// nor the other way round. Not thread-safe.
class ORVANE_API SelectMaskParam {
  public:
    SelectMaskParam() = default;
    SelectMaskParam(bool isUsed, MaskTarget target, MaskAction action, BankType bank,
                    uint64_t offset, MaskPattern maskPattern,
                    Truncate turncation = Truncate::entireEpc)
        : isUsed_(isUsed),
          target_(target),
          action_(action),
          bank_(bank),
          offset_(offset),
          maskPattern_(std::move(maskPattern)),
          turncation_(turncation) {}

    bool isUsed() const { return isUsed_; }
    void setIsUsed(bool isUsed) { isUsed_ = isUsed; }
    MaskTarget target() const { return target_; }
    void setTarget(MaskTarget target) { target_ = target; }
    MaskAction action() const { return action_; }
    void setAction(MaskAction action) { action_ = action; }
    BankType bank() const { return bank_; }
    void setBank(BankType bank) { bank_ = bank; }
    uint64_t offset() const { return offset_; }
    void setOffset(uint64_t offset) { offset_ = offset; }
    MaskPattern maskPattern() const { return maskPattern_; }
    void setMaskPattern(MaskPattern maskPattern) { maskPattern_ = std::move(maskPattern); }
    Truncate turncation() const { return turncation_; }
    void setTurncation(Truncate turncation) { turncation_ = turncation; }

  private:
    bool isUsed_ = false;
    MaskTarget target_ = MaskTarget::sl;
    MaskAction action_ = MaskAction::matchAssertElseDeassert;
    BankType bank_ = BankType::epc;
    uint64_t offset_ = 0;
    MaskPattern maskPattern_;
    Truncate turncation_ = Truncate::entireEpc;
};

}  // namespace orvane
