#include "orvanerfid/link/AnnouncedBanks.h"

#include <algorithm>

#include "orvanerfid/commands/OrvRfidCmdId.h"

namespace orvane {
namespace {

// The accesses whose bank the driver announces before it starts them.
bool announcedAccess(uint16_t access) {
    for (const OrvRfidCmdId id : {OrvRfidCmdId::read, OrvRfidCmdId::write, OrvRfidCmdId::blockWrite,
                                  OrvRfidCmdId::blockPermaLock}) {
        if (access == rawValue(id)) return true;
    }
    return false;
}

bool shownBank(const TimedBankTypeItem& item) {
    return item.bankType != BankType::reserved && isKnown(item.bankType);
}

}  // namespace

void AnnouncedBanks::announce(BankType bank, Clock::time_point at) {
    std::lock_guard guard(lock_);
    dropStale(Clock::now());
    if (items_.size() >= capacity) {
        items_.pop_front();
        lost_ = true;
    }
    items_.push_back({bank, at});
}

std::optional<BankType> AnnouncedBanks::outcomeBank(uint16_t access, bool take) {
    if (!announcedAccess(access)) return std::nullopt;
    std::lock_guard guard(lock_);
    dropStale(Clock::now());
    std::optional<BankType> bank;
    if (!lost_ && !items_.empty() && std::all_of(items_.begin(), items_.end(), shownBank)) {
        bank = items_.front().bankType;
    }
    if (take) {
        if (!items_.empty()) items_.pop_front();
        lost_ = false;
    }
    return bank;
}

void AnnouncedBanks::dropStale(Clock::time_point now) {
    const auto stale = [now](const TimedBankTypeItem& item) {
        return now - item.timestamp >= lifetime;
    };
    const auto kept = std::remove_if(items_.begin(), items_.end(), stale);
    if (kept == items_.end()) return;
    items_.erase(kept, items_.end());
    lost_ = true;
}

}  // namespace orvane
