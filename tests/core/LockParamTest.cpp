#include "orvanerfid/core/LockParam.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

constexpr LockState N = LockState::noChange;
constexpr LockState U = LockState::unlock;
constexpr LockState L = LockState::lock;

// {toMask(), toMaskEx()} of a selection of either class.
std::pair<Bytes, Bytes> masks(bool permanent, const std::array<LockState, 5>& s) {
    if (permanent) {
        const PermaLockParam p(s[0], s[1], s[2], s[3], s[4]);
        return {p.toMask(), p.toMaskEx()};
    }
    const LockParam p(s[0], s[1], s[2], s[3], s[4]);
    return {p.toMask(), p.toMaskEx()};
}

TEST(LockParam, MaskVectors) {
    struct Case {
        bool permanent;
        std::array<LockState, 5> states;  // kill, access, EPC, TID, user
        Bytes mask, maskEx;
    };
    const Case cases[] = {
        {false, {N, N, L, N, N}, {0x08, 0x02, 0x00}, {0x00, 0x80, 0x20}},
        {true, {N, N, L, N, N}, {0x0C, 0x03, 0x00}, {0x00, 0xC0, 0x30}},
        {false, {N, N, N, N, U}, {0x00, 0x80, 0x00}, {0x00, 0x08, 0x00}},
        {true, {N, N, N, N, U}, {0x00, 0xC0, 0x10}, {0x00, 0x0C, 0x01}},
        {false, {L, U, N, N, N}, {0xA0, 0x20, 0x00}, {0x0A, 0x02, 0x00}},
        {true, {L, U, N, N, N}, {0xF0, 0x34, 0x00}, {0x0F, 0x03, 0x40}},
        {false, {L, L, L, L, L}, {0xAA, 0xAA, 0xA0}, {0x0A, 0xAA, 0xAA}},
        {true, {L, L, L, L, L}, {0xFF, 0xFF, 0xF0}, {0x0F, 0xFF, 0xFF}},
        {false, {N, N, N, N, N}, {0x00, 0x00, 0x00}, {0x00, 0x00, 0x00}},
        {true, {N, N, N, N, N}, {0x00, 0x00, 0x00}, {0x00, 0x00, 0x00}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(masks(c.permanent, c.states), std::make_pair(c.mask, c.maskEx)) << &c - cases;
}

TEST(LockParam, BothFormsHoldTheSameBitsForEveryCombination) {
    for (int n = 0; n < 243; ++n) {
        std::array<LockState, 5> s;
        for (int k = n, i = 0; i < 5; ++i, k /= 3)
            s[i] = std::array{N, U, L}[k % 3];
        for (bool permanent : {false, true}) {
            const auto [mask, maskEx] = masks(permanent, s);
            ASSERT_EQ(mask.size(), 3u);
            ASSERT_EQ(maskEx.size(), 3u);
            const uint32_t plain = mask[0] << 16 | mask[1] << 8 | mask[2];
            EXPECT_EQ(plain & 0x0F, 0u);
            EXPECT_EQ(plain >> 4, uint32_t(maskEx[0] << 16 | maskEx[1] << 8 | maskEx[2])) << n;
        }
    }
}

TEST(LockParam, StatesAreReadAtEachCallAndDescribed) {
    PermaLockParam p;
    EXPECT_EQ(p.description(), "No Change, No Change, No Change, No Change, No Change");
    p.setEpc(L);
    EXPECT_EQ(p.toMask(), (Bytes{0x0C, 0x03, 0x00}));
    p.setEpc(N);
    p.setTid(U);
    // Permanent unlock: mask pair 1 1, action pair 0 1.
    EXPECT_EQ(p.toMask(), (Bytes{0x03, 0x00, 0x40}));
    EXPECT_EQ(p.description(), "No Change, No Change, No Change, Unlock, No Change");
    EXPECT_EQ(LockParam(L, U, N, L, U).description(), PermaLockParam(L, U, N, L, U).description());
}

}  // namespace
}  // namespace orvane
