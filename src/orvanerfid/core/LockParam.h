#pragma once

// Lock selections: what a Gen2 Lock command changes in each of the five lock areas of a tag
// (kill password, access password, EPC, TID and user memory), for an ordinary lock or unlock
// (`LockParam`) or a permanent one (`PermaLockParam`).
//
// Plain mutable values without a lock: the radio-module driver reads the selection on the lock
// operation's background thread when it builds its command, so a change the application makes
// meanwhile is not guarded.

#include <array>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/RadioEnums.h"

namespace orvane {

// The five wanted changes, one per lock area; shared shape of the two selection classes.
class ORVANE_API LockSelection {
  public:
    LockState killPassword() const { return lockState_[KILL_PASSWORD]; }
    void setKillPassword(LockState state) { lockState_[KILL_PASSWORD] = state; }
    LockState accessPassword() const { return lockState_[ACCESS_PASSWORD]; }
    void setAccessPassword(LockState state) { lockState_[ACCESS_PASSWORD] = state; }
    LockState epc() const { return lockState_[EPC]; }
    void setEpc(LockState state) { lockState_[EPC] = state; }
    LockState tid() const { return lockState_[TID]; }
    void setTid(LockState state) { lockState_[TID] = state; }
    LockState user() const { return lockState_[USER]; }
    void setUser(LockState state) { lockState_[USER] = state; }

    // The texts of the five states in area order, joined by ", " ("No Change, No Change, Lock,
    // No Change, No Change").
    std::string description() const;

  protected:
    LockSelection() = default;
    LockSelection(LockState killPassword, LockState accessPassword, LockState epc, LockState tid,
                  LockState user)
        : lockState_{killPassword, accessPassword, epc, tid, user} {}

    // The 20 mask-and-action bits of the Gen2 Lock command: per area, the mask pair then (after
    // all mask pairs) the action pair, each pair being the password-protection bit and the
    // permanent-lock bit. `extended` puts four zero bits in front instead of behind. 3 bytes.
    Bytes payload(bool permanent, bool extended) const;

    static constexpr int KILL_PASSWORD = 0;
    static constexpr int ACCESS_PASSWORD = 1;
    static constexpr int EPC = 2;
    static constexpr int TID = 3;
    static constexpr int USER = 4;
    static constexpr int MAX_LOCK = 5;

  private:
    std::array<LockState, MAX_LOCK> lockState_{LockState::noChange, LockState::noChange,
                                               LockState::noChange, LockState::noChange,
                                               LockState::noChange};
};

// An ordinary lock or unlock: sets or clears the password protection of each chosen area.
class ORVANE_API LockParam : public LockSelection {
  public:
    LockParam() = default;
    LockParam(LockState killPassword, LockState accessPassword, LockState epc, LockState tid,
              LockState user)
        : LockSelection(killPassword, accessPassword, epc, tid, user) {}

    // Internal (radio-module drivers): the three payload bytes, computed from the current
    // states. toMask(): the 20 bits then four zero bits (ST25RU3993 lock packet); toMaskEx():
    // four zero bits then the 20 bits (Qm5520 lock command).
    ORVANE_INTERNAL Bytes toMask() const { return payload(false, false); }
    ORVANE_INTERNAL Bytes toMaskEx() const { return payload(false, true); }
};

// A permanent lock or unlock: like LockParam, and also sets the permanent-lock bit of every
// chosen area.
class ORVANE_API PermaLockParam : public LockSelection {
  public:
    PermaLockParam() = default;
    PermaLockParam(LockState killPassword, LockState accessPassword, LockState epc, LockState tid,
                   LockState user)
        : LockSelection(killPassword, accessPassword, epc, tid, user) {}

    // Internal (radio-module drivers): as LockParam::toMask() and LockParam::toMaskEx().
    ORVANE_INTERNAL Bytes toMask() const { return payload(true, false); }
    ORVANE_INTERNAL Bytes toMaskEx() const { return payload(true, true); }
};

}  // namespace orvane
