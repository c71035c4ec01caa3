#pragma once

// The Qm5520 radio module inside a simulated Vk210: its settings, its select list, inventories
// filtered by that list, and tag access on the simulated population with Gen2 memory, lock
// state, kill and block permanent lock, with switches for a busy module and tag access errors.
//
// `addVk210ModuleRows(reader)` registers the module's commands on a simulated Vk210 (replacing
// the reader's plainer inventory and tag-access rows) and returns the module's state. The rows
// run on the link's peer thread; the state's accessors take its lock and may be called from any
// thread.
//
// Settings are the module's raw reply bytes under these names: "region" (1), "antenna1" (antenna,
// dwell time (2), power in hundredths of dBm (2)), "rfMode" (2), "gen2Algorithm" (algorithm,
// start Q, max Q << 4 | min Q, dual target), "gen2QueryGroup" (select mode, session, target),
// "lbt", "fastId", "tagFocus", "phaseData", "operationMode", "powerSavingMode",
// "antennaSwitchingMode", "frequencySwitchingMode", "cfgStorageMode" (1 each), "fixedFrequency"
// (count, then 4 bytes each), "txOnOffTime" (on, off: 2 each), "lbtConfigure" (2, signed,
// hundredths of dBm). A set request whose data do not fit answers "invalid parameters".
//
// Tag memory as the module sees it: bank 0 is the kill password (words 0-1) and the access
// password (words 2-3); bank 1 is a CRC word, the PC word and the EPC; banks 2 and 3 the TID and
// user memory. Accesses outside a bank report "memory overrun" (0x83), writes to a locked area
// without the access password or to a permanently locked block "memory locked" (0x84), a wrong
// password 0x04, a kill with a zero kill password 0x05, no selected tag 0x01. Access works on the
// first tag the select list lets through. Block permanent lock counts one word per block and 16
// blocks per unit of the block pointer and range.

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "orvanerfid/core/Bytes.h"
#include "sim/SimVk210.h"

namespace orvane {

class SimQm5520Module {
  public:
    // One Select command as the module keeps it.
    struct SelectRecord {
        uint8_t target = 0;
        uint8_t action = 0;
        bool truncate = false;
        uint8_t bank = 1;
        uint16_t bitAddress = 0;
        uint8_t bitLength = 0;
        Bytes mask;
    };
    // The lock state of a tag's five lock areas (kill password, access password, EPC, TID,
    // user) and its permanently locked blocks per bank.
    struct TagLocks {
        std::array<bool, 5> locked{};
        std::array<bool, 5> permanent{};
        std::map<uint8_t, std::set<unsigned>> lockedBlocks;
    };

    // Every module command answers "busy" (status 0x01) while this is on.
    void setBusy(bool busy);
    bool busy() const;
    // Every tag access reports this status instead of its outcome, and changes nothing.
    void setAccessError(std::optional<uint8_t> status);
    std::optional<uint8_t> accessError() const;

    std::vector<SelectRecord> selectRecords() const;
    // The lock state of the tag with this TID (all clear for a tag never locked).
    TagLocks locksOf(const Bytes& tid) const;

    // Whether the tags pass the select list, in population order (all pass an empty list).
    std::vector<bool> selected(const std::vector<SimTag>& tags) const;

  private:
    friend std::shared_ptr<SimQm5520Module> addVk210ModuleRows(SimVk210& reader);

    mutable std::mutex lock_;
    bool busy_ = false;
    std::optional<uint8_t> accessError_;
    std::vector<SelectRecord> selects_;
    // Byte order through explicit sizes (the same order as std::less<Bytes>).
    struct TidLess {
        bool operator()(const Bytes& a, const Bytes& b) const {
            const std::size_t n = std::min(a.size(), b.size());
            for (std::size_t i = 0; i < n; ++i) {
                if (a[i] != b[i]) return a[i] < b[i];
            }
            return a.size() < b.size();
        }
    };
    std::map<Bytes, TagLocks, TidLess> locks_;  // by TID
};

std::shared_ptr<SimQm5520Module> addVk210ModuleRows(SimVk210& reader);

}  // namespace orvane
