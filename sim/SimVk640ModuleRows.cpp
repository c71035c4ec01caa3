// The ST25RU3993 module of the simulated Vk640: its configuration records, power mode, Gen2
// select list and tag accesses on the reader's tag population, and a switch that makes stop fail.
//
// State lives in the reader's settings, so tests can read and preset it:
//   "record.XX"  the value of configuration record XX (hex TLV tag: 10, 0C, 0E, 09, 0A)
//   "powerMode"  the last power-down mode set (1 byte)
//   "select"     the select list, one 42-byte select value per entry
//   "failStop"   how many of the next stop requests fail with status -2 (1 byte)
//   "lock.<TID>" the lock bits of the tag with that TID (hex), 2 bytes: per area (kill password,
//                access password, EPC, TID, user) a password-write bit and a permanent bit
//
// Tag accesses take the first tag the select list leaves selected (the first tag when the list
// is empty); inventories stream only the tags the list and the inventory configuration's select
// mode leave in. Statuses: -65 no tag, -66 wrong password, -72 memory overrun (tag reply 3),
// -73 memory locked (tag reply 4), -7 a malformed request.

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/ST25RU3993Packets.h"
#include "orvanerfid/core/Utilities.h"
#include "sim/SimGen2.h"
#include "sim/SimVk640.h"

namespace orvane {
namespace {

constexpr uint8_t kGet = 0x00;
constexpr uint8_t kSet = 0x01;
constexpr uint8_t kGen2Group = 0x02;
constexpr std::size_t kValueAt = STPacket::kHeaderSize + 2;  // after [tag][length]

constexpr uint16_t kNoTag = static_cast<uint16_t>(-65);
constexpr uint16_t kWrongPassword = static_cast<uint16_t>(-66);
constexpr uint16_t kOverrun = static_cast<uint16_t>(-72);
constexpr uint16_t kLocked = static_cast<uint16_t>(-73);
constexpr uint16_t kMalformed = static_cast<uint16_t>(-7);
constexpr uint16_t kBusy = static_cast<uint16_t>(-2);
constexpr uint8_t kReplyOverrun = 3;
constexpr uint8_t kReplyLocked = 4;

constexpr std::size_t kSelectSize = 42;
// The sel byte of the inventory configuration value: after the inventory options (3), the
// anticollision (37) and the auto-tuning (5) records.
constexpr std::size_t kSelAt = 45;

enum LockArea { killArea = 0, accessArea = 1, epcArea = 2, tidArea = 3, userArea = 4 };

std::string recordName(uint8_t tag) {
    char name[16];
    std::snprintf(name, sizeof name, "record.%02X", tag);
    return name;
}

// The request's TLV value; empty when the frame holds none.
ByteView valueOf(const SimRequest& r) {
    const ByteView frame = r.frame;
    if (frame.size() < kValueAt) return {};
    const std::size_t length = frame[kValueAt - 1];
    if (frame.size() - kValueAt < length) return {};
    return frame.subspan(kValueAt, length);
}

Bytes reservedOf(const SimTag& tag) {
    Bytes reserved = tag.reserved;
    reserved.resize(std::max<std::size_t>(reserved.size(), 8), 0);
    return reserved;
}

// Whether the tag's memory holds the entry's mask at its bit pointer.
bool matches(const SimTag& tag, ByteView entry) {
    const std::optional<Bytes> memory = simBankBytes(tag, entry[3]);
    return memory && simMaskMatches(*memory, readLe32(entry, 36), entry[40], entry.subspan(4, 32));
}

// The tag's selected flag after the select list.
bool selectedBy(const SimTag& tag, ByteView list) {
    bool flag = false;
    for (std::size_t at = 0; at + kSelectSize <= list.size(); at += kSelectSize) {
        const ByteView entry = list.subspan(at, kSelectSize);
        flag = simSelectFlag(entry[2], flag, matches(tag, entry));
    }
    return flag;
}

std::string lockName(const SimTag& tag) {
    return "lock." + toHexString(tag.tid);
}

uint16_t lockBitsOf(const SimReader& reader, const SimTag& tag) {
    const Bytes bits = reader.setting(lockName(tag));
    return bits.size() == 2 ? readLe16(bits, 0) : 0;
}

bool passwordLocked(uint16_t bits, int area) {
    return (bits >> (2 * area)) & 1;
}
bool permanent(uint16_t bits, int area) {
    return (bits >> (2 * area + 1)) & 1;
}

class ModuleRows {
  public:
    explicit ModuleRows(SimVk640& reader) : reader_(reader) {}

    void add() const {
        reader_.setSetting(recordName(0x10), STUHFL_T_ST25RU3993_Gen2_InventoryCfg().valueBytes());
        reader_.setSetting(recordName(0x0C), STUHFL_T_ST25RU3993_Gen2_ProtocolCfg().valueBytes());
        reader_.setSetting(recordName(0x0E), STUHFL_T_ST25RU3993_TxRxCfg().valueBytes());
        reader_.setSetting(recordName(0x09), STUHFL_T_ST25RU3993_FreqHop().valueBytes());
        reader_.setSetting(recordName(0x0A), STUHFL_T_ST25RU3993_FreqLBT().valueBytes());
        reader_.setSetting("powerMode", {3});
        reader_.setSetting("failStop", {0});
        SimVk640& reader = reader_;
        for (const uint8_t tag : {0x10, 0x0C, 0x0E, 0x09, 0x0A}) {
            reader_.addRow(SimVk640::rowKey(SimVk640::kRadioGroup, kGet, tag),
                           [&reader, tag](const SimRequest& r) {
                               reader.replyTlv(r, tag, reader.setting(recordName(tag)));
                           });
            reader_.addRow(SimVk640::rowKey(SimVk640::kRadioGroup, kSet, tag),
                           [self = *this, tag](const SimRequest& r) { self.setRecord(r, tag); });
        }
        reader_.addRow(SimVk640::rowKey(SimVk640::kRadioGroup, kSet, 0x06),
                       [self = *this](const SimRequest& r) { self.setProfile(r); });
        reader_.addRow(SimVk640::rowKey(SimVk640::kRadioGroup, kSet, 0x02),
                       [self = *this](const SimRequest& r) { self.setPowerMode(r); });
        reader_.addRow(SimVk640::rowKey(kGen2Group, 0x04),
                       [self = *this](const SimRequest& r) { self.select(r); });
        reader_.addRow(SimVk640::rowKey(kGen2Group, 0x05),
                       [self = *this](const SimRequest& r) { self.read(r); });
        reader_.addRow(SimVk640::rowKey(kGen2Group, 0x06),
                       [self = *this](const SimRequest& r) { self.write(r); });
        reader_.addRow(SimVk640::rowKey(kGen2Group, 0x07),
                       [self = *this](const SimRequest& r) { self.lock(r); });
        reader_.addRow(SimVk640::rowKey(kGen2Group, 0x08),
                       [self = *this](const SimRequest& r) { self.kill(r); });

        const SimReader::Key stopKey = SimVk640::rowKey(SimVk640::kInventoryGroup, 0x01);
        reader_.addRow(stopKey, [&reader, stop = reader_.row(stopKey)](const SimRequest& r) {
            const Bytes failing = reader.setting("failStop");
            if (!failing.empty() && failing[0] > 0) {
                reader.setSetting("failStop", {static_cast<uint8_t>(failing[0] - 1)});
                reader.replyPacket(r, {}, kBusy);
                return;
            }
            if (stop) stop(r);
        });
        reader_.setStreamFilter(
            [self = *this](const SimTag& tag) { return self.inInventory(tag); });
    }

  private:
    bool inInventory(const SimTag& tag) const {
        const Bytes list = reader_.setting("select");
        if (list.empty()) return true;
        const Bytes inventory = reader_.setting(recordName(0x10));
        const uint8_t sel = inventory.size() > kSelAt ? inventory[kSelAt] : 0;
        if (sel == 2) return selectedBy(tag, list);
        if (sel == 1) return !selectedBy(tag, list);
        return true;
    }

    // The index of the tag an access goes to. Reads no setting: callable inside updateTags.
    static std::optional<std::size_t> target(const std::vector<SimTag>& tags, ByteView list) {
        for (std::size_t i = 0; i < tags.size(); ++i) {
            if (list.empty() || selectedBy(tags[i], list)) return i;
        }
        return std::nullopt;
    }

    static bool isZero(ByteView bytes) {
        return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
    }
    static bool samePassword(ByteView a, ByteView b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    // An access password that is set must be given; a zero one lets every password in.
    static bool accessGranted(const SimTag& tag, ByteView password) {
        const Bytes access = simAccessPassword(tag);
        return isZero(access) || samePassword(access, password);
    }
    // Secured with a password: a password-locked area may be written.
    static bool secured(const SimTag& tag, ByteView password) {
        const Bytes access = simAccessPassword(tag);
        return !isZero(access) && samePassword(access, password);
    }

    void setRecord(const SimRequest& r, uint8_t tag) const {
        const ByteView value = valueOf(r);
        const Bytes stored = reader_.setting(recordName(tag));
        if (value.size() != stored.size()) {
            reader_.replyPacket(r, {}, kMalformed);
            return;
        }
        reader_.setSetting(recordName(tag), Bytes(value.begin(), value.end()));
        reader_.replyTlv(r, tag, value);
    }

    void setProfile(const SimRequest& r) const {
        const ByteView value = valueOf(r);
        Bytes info = reader_.setting("freqProfileInfo");
        if (value.size() != 1 || info.empty()) {
            reader_.replyPacket(r, {}, kMalformed);
            return;
        }
        info[0] = value[0];
        reader_.setSetting("freqProfileInfo", info);
        reader_.replyTlv(r, 0x06, value);
    }

    void setPowerMode(const SimRequest& r) const {
        const ByteView value = valueOf(r);
        if (value.size() != 2) {
            reader_.replyPacket(r, {}, kMalformed);
            return;
        }
        reader_.setSetting("powerMode", {value[1]});
        reader_.replyTlv(r, 0x02, value);
    }

    void select(const SimRequest& r) const {
        const ByteView value = valueOf(r);
        if (value.size() != kSelectSize) {
            reader_.replyPacket(r, {}, kMalformed);
            return;
        }
        Bytes list = reader_.setting("select");
        switch (value[0]) {
            case 0:
                list.clear();
                break;
            case 2:
                list.assign(value.begin(), value.end());
                break;
            default:
                list.insert(list.end(), value.begin(), value.end());
                break;
        }
        reader_.setSetting("select", list);
        reader_.replyTlv(r, 0x04, value);
    }

    void read(const SimRequest& r) const {
        const ByteView value = valueOf(r);
        if (value.size() < 11) {
            reader_.replyPacket(r, {}, kMalformed);
            return;
        }
        const uint32_t word = readLe32(value, 0);
        const uint8_t bank = value[4];
        const std::size_t count = value[5];
        const ByteView password = value.subspan(6, 4);
        Bytes reply(value.begin(), value.begin() + 11);
        uint16_t status = 0;
        const auto snapshot = reader_.tags();
        const std::vector<SimTag>& tags = *snapshot;
        const std::optional<std::size_t> at = target(tags, reader_.setting("select"));
        Bytes data;
        if (!at) {
            status = kNoTag;
        } else if (!accessGranted(tags[*at], password)) {
            status = kWrongPassword;
        } else {
            const Bytes memory = simBankBytes(tags[*at], bank).value_or(Bytes{});
            const std::size_t from = std::size_t{word} * 2;
            if (from + count > memory.size()) {
                status = kOverrun;
            } else {
                data.assign(memory.begin() + static_cast<std::ptrdiff_t>(from),
                            memory.begin() + static_cast<std::ptrdiff_t>(from + count));
            }
        }
        reply[10] = static_cast<uint8_t>(data.size());
        reply.insert(reply.end(), data.begin(), data.end());
        reply.resize(std::max<std::size_t>(reply.size(), 75), 0);
        reader_.replyPacket(r, SimVk640::tlv(0x05, reply), status);
    }

    void write(const SimRequest& r) const {
        const ByteView value = valueOf(r);
        if (value.size() != 12) {
            reader_.replyPacket(r, {}, kMalformed);
            return;
        }
        const uint32_t word = readLe32(value, 0);
        const uint8_t bank = value[4];
        const ByteView password = value.subspan(5, 4);
        const ByteView data = value.subspan(9, 2);
        uint16_t status = 0;
        uint8_t tagReply = 0;
        const auto fail = [&](uint16_t s, uint8_t reply) {
            status = s;
            tagReply = reply;
        };
        const Bytes list = reader_.setting("select");
        const auto before = *reader_.tags();
        const std::optional<std::size_t> found = target(before, list);
        const uint16_t bits = found ? lockBitsOf(reader_, before[*found]) : 0;
        reader_.updateTags([&](std::vector<SimTag>& tags) {
            const std::optional<std::size_t> at = target(tags, list);
            if (!at) return fail(kNoTag, 0);
            SimTag& tag = tags[*at];
            if (!accessGranted(tag, password)) return fail(kWrongPassword, 0);
            const int area = simLockArea(bank, word);
            if (bank == 2 || (passwordLocked(bits, area) &&
                              (permanent(bits, area) || !secured(tag, password)))) {
                return fail(kLocked, kReplyLocked);
            }
            const std::size_t from = std::size_t{word} * 2;
            Bytes* memory = nullptr;
            std::size_t offset = from;
            if (bank == 0) {
                tag.reserved = reservedOf(tag);
                memory = &tag.reserved;
            } else if (bank == 1 && word == 1) {
                tag.pc.assign(data.begin(), data.end());
                return;
            } else if (bank == 1 && word >= 2) {
                memory = &tag.epc;
                offset = from - 4;
            } else if (bank == 3) {
                memory = &tag.user;
            }
            if (!memory || offset + 2 > memory->size()) return fail(kOverrun, kReplyOverrun);
            std::copy(data.begin(), data.end(),
                      memory->begin() + static_cast<std::ptrdiff_t>(offset));
        });
        Bytes reply(value.begin(), value.end());
        reply[11] = tagReply;
        reader_.replyPacket(r, SimVk640::tlv(0x06, reply), status);
    }

    void lock(const SimRequest& r) const {
        const ByteView value = valueOf(r);
        if (value.size() != 8) {
            reader_.replyPacket(r, {}, kMalformed);
            return;
        }
        const uint32_t payload = (uint32_t{value[0]} << 16) | (uint32_t{value[1]} << 8) | value[2];
        const ByteView password = value.subspan(3, 4);
        uint16_t status = 0;
        uint8_t tagReply = 0;
        const auto snapshot = reader_.tags();
        const std::vector<SimTag>& tags = *snapshot;
        const std::optional<std::size_t> at = target(tags, reader_.setting("select"));
        if (!at) {
            status = kNoTag;
        } else if (!accessGranted(tags[*at], password)) {
            status = kWrongPassword;
        } else {
            uint16_t bits = lockBitsOf(reader_, tags[*at]);
            for (int area = 0; area < 5; ++area) {
                const auto bit = [&](int at) { return (payload >> at) & 1; };
                const bool maskWrite = bit(23 - 2 * area);
                const bool maskPermanent = bit(22 - 2 * area);
                if ((maskWrite || maskPermanent) && permanent(bits, area)) {
                    status = kLocked;
                    tagReply = kReplyLocked;
                    break;
                }
                if (maskWrite) {
                    bits = static_cast<uint16_t>((bits & ~(1u << (2 * area))) |
                                                 (bit(13 - 2 * area) << (2 * area)));
                }
                if (maskPermanent) {
                    bits = static_cast<uint16_t>((bits & ~(1u << (2 * area + 1))) |
                                                 (bit(12 - 2 * area) << (2 * area + 1)));
                }
            }
            if (status == 0) {
                Bytes stored;
                appendLe16(stored, bits);
                reader_.setSetting(lockName(tags[*at]), stored);
            }
        }
        Bytes reply(value.begin(), value.end());
        reply[7] = tagReply;
        reader_.replyPacket(r, SimVk640::tlv(0x07, reply), status);
    }

    void kill(const SimRequest& r) const {
        const ByteView value = valueOf(r);
        if (value.size() != 6) {
            reader_.replyPacket(r, {}, kMalformed);
            return;
        }
        const ByteView password = value.subspan(0, 4);
        uint16_t status = 0;
        const Bytes list = reader_.setting("select");
        reader_.updateTags([&](std::vector<SimTag>& tags) {
            const std::optional<std::size_t> at = target(tags, list);
            if (!at) {
                status = kNoTag;
                return;
            }
            // A tag with a zero kill password cannot be killed.
            const Bytes killPassword = simKillPassword(tags[*at]);
            if (isZero(killPassword) || !samePassword(killPassword, password)) {
                status = kWrongPassword;
                return;
            }
            tags.erase(tags.begin() + static_cast<std::ptrdiff_t>(*at));
        });
        reader_.replyPacket(r, SimVk640::tlv(0x08, value), status);
    }

    SimVk640& reader_;
};

}  // namespace

void addVk640ModuleRows(SimVk640& reader) {
    ModuleRows(reader).add();
}

}  // namespace orvane
