// The pairing of Vk210 access outcomes with the banks announced for their accesses, as the
// transport's dumps use it: a bank is named only when no Reserved words can be behind it.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "orvanerfid/link/AnnouncedBanks.h"

namespace orvane {
namespace {

constexpr uint16_t kRead = rawValue(OrvRfidCmdId::read);
constexpr uint16_t kWrite = rawValue(OrvRfidCmdId::write);
constexpr uint16_t kBlockWrite = rawValue(OrvRfidCmdId::blockWrite);
constexpr uint16_t kLock = rawValue(OrvRfidCmdId::lock);
constexpr uint16_t kKill = rawValue(OrvRfidCmdId::kill);

// One step: an announcement (`access` 0, made `age` ago), or an outcome of `access` asked for
// its bank (`take` false: the head of a frame still arriving).
struct Step {
    uint16_t access;
    std::optional<BankType> bank;
    bool take = true;
    Clock::duration age{};
};

Step announce(BankType bank, Clock::duration age = {}) {
    return {0, bank, true, age};
}
Step outcome(uint16_t access, std::optional<BankType> expected) {
    return {access, expected};
}
Step head(uint16_t access, std::optional<BankType> expected) {
    return {access, expected, false};
}

TEST(AnnouncedBanks, AnOutcomeIsNamedOnlyWhenNoReservedWordsCanBeBehindIt) {
    using B = BankType;
    const auto none = std::nullopt;
    const auto stale = AnnouncedBanks::lifetime + std::chrono::seconds(1);
    struct Row {
        const char* what;
        std::vector<Step> steps;
    };
    const std::vector<Row> rows = {
        {"each read takes its own announcement",
         {announce(B::user), outcome(kRead, B::user), announce(B::reserved), outcome(kRead, none),
          announce(B::tid), outcome(kRead, B::tid)}},
        {"an outcome without announcement", {outcome(kRead, none)}},
        {"a bank of no known case counts as Reserved",
         {announce(static_cast<B>(9)), outcome(kRead, none)}},
        {"a Reserved access waiting behind masks the one in front",
         {announce(B::epc), announce(B::reserved), outcome(kRead, none), outcome(kRead, none),
          outcome(kRead, none)}},
        {"the outcomes of unannounced accesses take nothing",
         {announce(B::user), outcome(kLock, none), outcome(kKill, none), outcome(kRead, B::user),
          outcome(kRead, none)}},
        {"writes take their announcements",
         {announce(B::user), announce(B::reserved), announce(B::epc), outcome(kWrite, none),
          outcome(kBlockWrite, none), outcome(kRead, B::epc)}},
        {"the head of a frame takes nothing",
         {announce(B::user), head(kRead, B::user), head(kRead, B::user), outcome(kRead, B::user),
          head(kRead, none)}},
        {"an unanswered Reserved access shifts the pairing into masking",
         {announce(B::reserved), announce(B::user), outcome(kRead, none), announce(B::user),
          outcome(kRead, B::user)}},
        {"a stale announcement is dropped and the next outcome masked",
         {announce(B::reserved, stale), announce(B::user), outcome(kRead, none), announce(B::user),
          outcome(kRead, B::user)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        AnnouncedBanks banks;
        for (std::size_t i = 0; i < row.steps.size(); ++i) {
            const Step& step = row.steps[i];
            if (step.access == 0) {
                banks.announce(*step.bank, Clock::now() - step.age);
            } else {
                EXPECT_EQ(banks.outcomeBank(step.access, step.take), step.bank) << "step " << i;
            }
        }
    }
}

TEST(AnnouncedBanks, AnnouncementsBeyondTheCapacityDropTheOldestAndMaskTheNextOutcome) {
    AnnouncedBanks banks;
    for (std::size_t i = 0; i <= AnnouncedBanks::capacity; ++i)
        banks.announce(BankType::user, Clock::now());
    EXPECT_EQ(banks.outcomeBank(kRead, true), std::nullopt);
    EXPECT_EQ(banks.outcomeBank(kRead, true), BankType::user);
}

}  // namespace
}  // namespace orvane
