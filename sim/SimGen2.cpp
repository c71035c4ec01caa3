#include "sim/SimGen2.h"

namespace orvane {
namespace {

Bytes reservedRange(const SimTag& tag, std::size_t from) {
    if (tag.reserved.size() < from + 4) return Bytes(4, 0);
    const auto start = tag.reserved.begin() + static_cast<std::ptrdiff_t>(from);
    return Bytes(start, start + 4);
}

}  // namespace

std::optional<Bytes> simBankBytes(const SimTag& tag, uint8_t bank) {
    switch (bank) {
        case 0:
            return tag.reserved;
        case 1: {
            Bytes memory{0x00, 0x00};  // CRC word
            const Bytes pc = tag.pcWord();
            memory.insert(memory.end(), pc.begin(), pc.end());
            memory.insert(memory.end(), tag.epc.begin(), tag.epc.end());
            return memory;
        }
        case 2:
            return tag.tid;
        case 3:
            return tag.user;
        default:
            return std::nullopt;
    }
}

Bytes simKillPassword(const SimTag& tag) {
    return reservedRange(tag, 0);
}

Bytes simAccessPassword(const SimTag& tag) {
    return reservedRange(tag, 4);
}

int simLockArea(uint8_t bank, std::size_t word) {
    if (bank == 0) return word < 2 ? 0 : 1;
    return bank + 1;
}

bool simBitAt(ByteView bytes, std::size_t bit) {
    return (bytes[bit / 8] >> (7 - bit % 8)) & 1;
}

bool simMaskMatches(ByteView memory, std::size_t bitAddress, std::size_t bitLength, ByteView mask) {
    if (bitAddress + bitLength > memory.size() * 8 || mask.size() * 8 < bitLength) return false;
    for (std::size_t i = 0; i < bitLength; ++i) {
        if (simBitAt(memory, bitAddress + i) != simBitAt(mask, i)) return false;
    }
    return true;
}

bool simSelectFlag(uint8_t action, bool flag, bool match) {
    switch (action & 7) {
        case 0:
            return match;
        case 1:
            return match ? true : flag;
        case 2:
            return match ? flag : false;
        case 3:
            return match ? !flag : flag;
        case 4:
            return !match;
        case 5:
            return match ? false : flag;
        case 6:
            return match ? flag : true;
        default:
            return match ? flag : !flag;
    }
}

}  // namespace orvane
