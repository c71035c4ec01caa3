#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "orvanerfid/commands/FrameSecrets.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/platform/Clock.h"

namespace orvane {

// A memory bank announced for a tag access that is about to start.
struct TimedBankTypeItem {
    BankType bankType;
    Clock::time_point timestamp;
};

// The banks announced for the Vk210's tag accesses, as the transport's dumps see them: an access
// outcome frame does not name its bank, so it is paired with the oldest announcement still
// waiting. Only the outcomes of the accesses that are announced (read, write, block write, block
// permanent lock) take one.
//
// A bank is named for an outcome only when the pairing is sure to keep Reserved words out of the
// log: the announcement it takes and every one waiting behind it name a bank other than
// Reserved, and none has been dropped unanswered since the previous outcome. An access whose
// outcome never comes shifts the pairing by one; with this rule the shift can only mask more,
// never show Reserved words. Announcements older than `lifetime` are dropped, as are the oldest
// beyond `capacity`.
//
// Threads: announced on the driver's thread, asked on the transport's read thread; one lock,
// held for no call out.
class AnnouncedBanks final : public AccessOutcomeBanks {
  public:
    static constexpr Clock::duration lifetime = std::chrono::seconds(10);
    static constexpr std::size_t capacity = 32;

    // Announces `bank` for an access starting at `at`.
    void announce(BankType bank, Clock::time_point at);
    std::optional<BankType> outcomeBank(uint16_t access, bool take) override;

  private:
    void dropStale(Clock::time_point now);

    std::mutex lock_;
    std::deque<TimedBankTypeItem> items_;
    // An announcement went unanswered: the next outcome may belong to it.
    bool lost_ = false;
};

}  // namespace orvane
