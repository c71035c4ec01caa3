#pragma once

// Gen2 tag rules shared by the simulated radio modules: how a module addresses a tag's memory,
// where its passwords live, which lock area a word belongs to, and how Select commands set a
// tag's selected flag. Pure functions of their arguments.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "orvanerfid/core/Bytes.h"
#include "sim/SimReader.h"

namespace orvane {

// The bytes of a bank as a module addresses it: 0 the passwords, 1 a CRC word (zero here), the
// PC word and the EPC, 2 the TID, 3 the user memory; none for another bank.
std::optional<Bytes> simBankBytes(const SimTag& tag, uint8_t bank);
// The kill password (reserved words 0-1) and the access password (words 2-3); zero when the
// reserved bank is shorter.
Bytes simKillPassword(const SimTag& tag);
Bytes simAccessPassword(const SimTag& tag);
// The lock area of a word of a bank: 0 kill password, 1 access password, 2 EPC, 3 TID, 4 user.
int simLockArea(uint8_t bank, std::size_t word);
// Bit `bit` of `bytes`, most significant bit of each byte first; the caller checks the length.
bool simBitAt(ByteView bytes, std::size_t bit);
// Whether `memory` holds the first `bitLength` bits of `mask` from bit `bitAddress`; false when
// either is too short.
bool simMaskMatches(ByteView memory, std::size_t bitAddress, std::size_t bitLength, ByteView mask);
// The tag's selected flag after a Select with `action` (0-7, the Gen2 action table), given its
// flag before and whether it matched the mask.
bool simSelectFlag(uint8_t action, bool flag, bool match);

}  // namespace orvane
