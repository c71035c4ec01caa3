#include <algorithm>
#include <functional>
#include <string>

#include "orvanerfid/core/RadioEnums.h"
#include "sim/SimGen2.h"
#include "sim/SimVk210Module.h"

namespace orvane {
namespace {

using Id = OrvRfidCmdId;

constexpr uint8_t kBusy = 0x01;
constexpr uint8_t kInvalidParameters = 0x02;
// Tag access outcomes.
constexpr uint8_t kNoTag = 0x01;
constexpr uint8_t kWrongPassword = 0x04;
constexpr uint8_t kZeroKillPassword = 0x05;
constexpr uint8_t kMemoryOverrun = 0x83;
constexpr uint8_t kMemoryLocked = 0x84;
// The outcome follows the command's own reply by this much.
constexpr auto kAccessDelay = std::chrono::milliseconds(5);

ByteView requestData(const SimRequest& r) {
    return r.frame.subspan(5, r.frame.size() - 8);
}

bool oneByteUpTo(ByteView d, uint8_t highest) {
    return d.size() == 1 && d[0] <= highest;
}

// ---- Settings: X(get, set, setting name, value at power-on, accepts the set data) ----------

struct SettingRow {
    Id get;
    Id set;
    const char* name;
    Bytes initial;
    std::function<bool(ByteView)> accepts;
};

std::vector<SettingRow> settingRows() {
    const auto flag = [](ByteView d) { return oneByteUpTo(d, 1); };
    return {
        {Id::getRegion,
         Id::setRegion,
         "region",
         {0x00},
         [](ByteView d) { return oneByteUpTo(d, 8); }},
        {Id::getRfMode,
         Id::setRfMode,
         "rfMode",
         {0x00, 103},
         [](ByteView d) { return d.size() == 2 && fromRaw<RfMode>(readBe16(d, 0)).has_value(); }},
        {Id::getGen2Algorithm,
         Id::setGen2Algorithm,
         "gen2Algorithm",
         {1, 4, 0xF0, 1},
         [](ByteView d) { return d.size() == 4 && d[0] <= 1 && d[3] <= 1; }},
        {Id::getGen2QueryGroup,
         Id::setGen2QueryGroup,
         "gen2QueryGroup",
         {1, 0, 0},
         [](ByteView d) {
             return d.size() == 3 && d[0] >= 1 && d[0] <= 3 && d[1] <= 3 && d[2] <= 1;
         }},
        {Id::getLbt, Id::setLbt, "lbt", {0}, flag},
        {Id::getFastId, Id::setFastId, "fastId", {0}, flag},
        {Id::getTagFocus, Id::setTagFocus, "tagFocus", {0}, flag},
        {Id::getPhaseData, Id::setPhaseData, "phaseData", {0}, flag},
        {Id::getRfidOperationMode, Id::setRfidOperationMode, "operationMode", {0}, flag},
        {Id::getPowerSavingMode, Id::setPowerSavingMode, "powerSavingMode", {0}, flag},
        {Id::getAntennaSwitchingMode,
         Id::setAntennaSwitchingMode,
         "antennaSwitchingMode",
         {0},
         flag},
        {Id::getFrequencySwitchingMode,
         Id::setFrequencySwitchingMode,
         "frequencySwitchingMode",
         {0},
         flag},
        {Id::getConfigurationStorageMode,
         Id::setConfigurationStorageMode,
         "cfgStorageMode",
         {0},
         flag},
        {Id::getFixedFrequency,
         Id::setFixedFrequency,
         "fixedFrequency",
         {0},
         [](ByteView d) { return !d.empty() && d.size() == 1 + 4 * std::size_t{d[0]}; }},
        {Id::getTxOnOffTime,
         Id::setTxOnOffTime,
         "txOnOffTime",
         {0x00, 0xC8, 0x00, 0x00},
         [](ByteView d) { return d.size() == 4; }},
        {Id::getLbtConfigure,
         Id::setLbtConfigure,
         "lbtConfigure",
         {0xE3, 0x18},
         [](ByteView d) { return d.size() == 2; }},
    };
}

// ---- Tag memory ------------------------------------------------------------------------------

void storeBank(SimTag& tag, uint8_t bank, const Bytes& memory, bool pcWritten) {
    switch (bank) {
        case 0:
            tag.reserved = memory;
            break;
        case 1:
            if (pcWritten) tag.pc.assign(memory.begin() + 2, memory.begin() + 4);
            tag.epc.assign(memory.begin() + 4, memory.end());
            break;
        case 2:
            tag.tid = memory;
            break;
        default:
            tag.user = memory;
            break;
    }
}

bool isZero(ByteView bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

// Access with this password puts the tag in the secured state: a tag whose access password is
// zero is secured without one.
bool secured(const SimTag& tag, ByteView password) {
    const Bytes required = simAccessPassword(tag);
    return isZero(required) ||
           std::equal(required.begin(), required.end(), password.begin(), password.end());
}

bool matches(const SimTag& tag, const SimQm5520Module::SelectRecord& record) {
    const auto memory = simBankBytes(tag, record.bank);
    return memory && simMaskMatches(*memory, record.bitAddress, record.bitLength, record.mask);
}

// The tag-access-data frame: the access command's code, the status, the data.
Bytes accessFrame(uint32_t code, uint8_t status, ByteView data = {}) {
    Bytes area;
    appendBe16(area, static_cast<uint16_t>(code));
    area.push_back(status);
    area.insert(area.end(), data.begin(), data.end());
    return SimVk210::eventFrame(Id::tagAccessData, area);
}

}  // namespace

// ---- State -----------------------------------------------------------------------------------

void SimQm5520Module::setBusy(bool busy) {
    std::lock_guard guard(lock_);
    busy_ = busy;
}

bool SimQm5520Module::busy() const {
    std::lock_guard guard(lock_);
    return busy_;
}

void SimQm5520Module::setAccessError(std::optional<uint8_t> status) {
    std::lock_guard guard(lock_);
    accessError_ = status;
}

std::optional<uint8_t> SimQm5520Module::accessError() const {
    std::lock_guard guard(lock_);
    return accessError_;
}

std::vector<SimQm5520Module::SelectRecord> SimQm5520Module::selectRecords() const {
    std::lock_guard guard(lock_);
    return selects_;
}

SimQm5520Module::TagLocks SimQm5520Module::locksOf(const Bytes& tid) const {
    std::lock_guard guard(lock_);
    const auto found = locks_.find(tid);
    return found != locks_.end() ? found->second : TagLocks{};
}

std::vector<bool> SimQm5520Module::selected(const std::vector<SimTag>& tags) const {
    const auto records = selectRecords();
    if (records.empty()) return std::vector<bool>(tags.size(), true);
    // Each Select sets or clears the tag's SL flag by its action (Gen2 action table); the
    // inventory then takes the tags whose flag is set. Inventoried-flag targets are treated as SL.
    std::vector<bool> flags(tags.size(), false);
    for (const auto& record : records) {
        for (std::size_t i = 0; i < tags.size(); ++i) {
            const bool match = matches(tags[i], record);
            flags[i] = simSelectFlag(record.action, flags[i], match);
        }
    }
    return flags;
}

// ---- Rows ------------------------------------------------------------------------------------

std::shared_ptr<SimQm5520Module> addVk210ModuleRows(SimVk210& reader) {
    auto module = std::make_shared<SimQm5520Module>();
    reader.setSetting("antenna1", {1, 0x03, 0xE8, 0x0B, 0xB8});

    // Rows answer "busy" first while the switch is on.
    const auto addModuleRow = [&reader, module](Id id, std::function<void(const SimRequest&)> row) {
        reader.addRow(rawValue(id), [&reader, module, row = std::move(row)](const SimRequest& r) {
            if (module->busy()) return reader.replyStatus(r, kBusy);
            row(r);
        });
    };

    for (auto& setting : settingRows()) {
        reader.setSetting(setting.name, setting.initial);
        addModuleRow(setting.get, [&reader, name = std::string(setting.name)](const SimRequest& r) {
            reader.replyOk(r, reader.setting(name));
        });
        addModuleRow(setting.set, [&reader, name = std::string(setting.name),
                                   accepts = setting.accepts](const SimRequest& r) {
            const ByteView d = requestData(r);
            if (!accepts(d)) return reader.replyStatus(r, kInvalidParameters);
            reader.setSetting(name, Bytes(d.begin(), d.end()));
            reader.replyOk(r);
        });
    }
    // One antenna: the get names it, the set carries it first.
    addModuleRow(Id::getAntennaSettings, [&reader](const SimRequest& r) {
        const ByteView d = requestData(r);
        if (d.size() != 1 || d[0] != 1) return reader.replyStatus(r, kInvalidParameters);
        reader.replyOk(r, reader.setting("antenna1"));
    });
    addModuleRow(Id::setAntennaSettings, [&reader](const SimRequest& r) {
        const ByteView d = requestData(r);
        if (d.size() != 5 || d[0] != 1) return reader.replyStatus(r, kInvalidParameters);
        reader.setSetting("antenna1", Bytes(d.begin(), d.end()));
        reader.replyOk(r);
    });

    // mode (0 clear, 1 add, 2 clear and add), target, action, truncate, bank, bit address (2),
    // bit length, mask
    addModuleRow(Id::select, [&reader, module](const SimRequest& r) {
        const ByteView d = requestData(r);
        if (d.size() < 8 || d[0] > 2 || d[4] > 3 || (d.size() - 8) * 8 < d[7]) {
            return reader.replyStatus(r, kInvalidParameters);
        }
        {
            std::lock_guard guard(module->lock_);
            if (d[0] != 1) module->selects_.clear();
            if (d[0] != 0) {
                module->selects_.push_back({d[1], d[2], d[3] == 1, d[4], readBe16(d, 5), d[7],
                                            Bytes(d.begin() + 8, d.end())});
            }
        }
        reader.replyOk(r);
    });

    const auto inventory = [&reader, module](const SimRequest& r) {
        const std::vector<bool> pass = module->selected(*reader.tags());
        SimStreamPlan plan = reader.inventoryPlan();
        plan.report = [inner = plan.report, pass](Bytes& out, const SimTag& tag, std::size_t i) {
            if (i < pass.size() && pass[i]) inner(out, tag, i);
        };
        if (reader.replyOkThen(r)) reader.startStream(r.peer, std::move(plan));
    };
    addModuleRow(Id::inventory, inventory);
    // password (4), bank, word address (2), word count. The simulated module reports the tags
    // as a plain inventory does, without the bank data.
    addModuleRow(Id::inventoryWithUserSpecifiedData, [&reader, inventory](const SimRequest& r) {
        const ByteView d = requestData(r);
        if (d.size() < 8 || d[4] > 3) return reader.replyStatus(r, kInvalidParameters);
        inventory(r);
    });

    // A tag access: the command is answered at once, its outcome follows in a tag-access-data
    // frame. `access` works on the first selected tag under the reader's lock and gives the
    // status and data; it is not run while the access-error switch is on.
    using Access = std::function<uint8_t(ByteView data, std::vector<SimTag> & tags, std::size_t at,
                                         Bytes & out)>;
    const auto addAccessRow = [&reader, module, addModuleRow](
                                  Id id, std::function<bool(ByteView)> wellFormed, Access access) {
        addModuleRow(id, [&reader, module, wellFormed, access](const SimRequest& r) {
            const ByteView d = requestData(r);
            if (!wellFormed(d)) return reader.replyStatus(r, kInvalidParameters);
            uint8_t status = kNoTag;
            Bytes out;
            const auto error = module->accessError();
            reader.updateTags([&](std::vector<SimTag>& tags) {
                const std::vector<bool> pass = module->selected(tags);
                const auto first = std::find(pass.begin(), pass.end(), true);
                if (first == pass.end()) return;
                if (error) {
                    status = *error;
                    return;
                }
                std::lock_guard guard(module->lock_);
                status = access(d, tags, static_cast<std::size_t>(first - pass.begin()), out);
            });
            reader.replyOkThen(r,
                               accessFrame(r.key, status, status == SimVk210::kOk ? out : Bytes{}),
                               kAccessDelay);
        });
    };

    // Locks of a tag, under module->lock_.
    const auto locksOf = [module](const SimTag& tag) -> SimQm5520Module::TagLocks& {
        return module->locks_[tag.tid];
    };
    // Whether the words [from, from + count) of a bank may be written.
    const auto writable = [locksOf](const SimTag& tag, uint8_t bank, std::size_t from,
                                    std::size_t count, ByteView password) -> uint8_t {
        auto& locks = locksOf(tag);
        const auto& blocks = locks.lockedBlocks[bank];
        for (std::size_t word = from; word < from + count; ++word) {
            const int area = simLockArea(bank, word);
            const bool never = locks.locked[area] && locks.permanent[area];
            if (never || (locks.locked[area] && !secured(tag, password)) || blocks.count(word)) {
                return kMemoryLocked;
            }
        }
        return SimVk210::kOk;
    };

    // password (4), bank, word address (2), word count
    addAccessRow(
        Id::read, [](ByteView d) { return d.size() == 8; },
        [locksOf](ByteView d, std::vector<SimTag>& tags, std::size_t at, Bytes& out) {
            const SimTag& tag = tags[at];
            const auto memory = simBankBytes(tag, d[4]);
            const std::size_t from = std::size_t{readBe16(d, 5)};
            const std::size_t count = d[7];
            if (!memory || (from + count) * 2 > memory->size()) return kMemoryOverrun;
            if (d[4] == 0) {
                auto& locks = locksOf(tag);
                for (std::size_t word = from; word < from + count; ++word) {
                    if (locks.locked[simLockArea(0, word)] && !secured(tag, d.first(4))) {
                        return kMemoryLocked;
                    }
                }
            }
            out.assign(memory->begin() + static_cast<long>(from * 2),
                       memory->begin() + static_cast<long>((from + count) * 2));
            return SimVk210::kOk;
        });

    // password (4), bank, word address (2), word count, data; the same for a block write
    const Access write = [writable](ByteView d, std::vector<SimTag>& tags, std::size_t at,
                                    Bytes&) -> uint8_t {
        SimTag& tag = tags[at];
        const std::size_t from = readBe16(d, 5);
        const std::size_t count = d[7];
        auto memory = simBankBytes(tag, d[4]);
        if (!memory || (from + count) * 2 > memory->size()) return kMemoryOverrun;
        if (const uint8_t locked = writable(tag, d[4], from, count, d.first(4));
            locked != SimVk210::kOk) {
            return locked;
        }
        std::copy(d.begin() + 8, d.begin() + 8 + static_cast<long>(count * 2),
                  memory->begin() + static_cast<long>(from * 2));
        storeBank(tag, d[4], *memory, d[4] == 1 && from <= 1 && from + count > 1);
        return SimVk210::kOk;
    };
    const auto wholeWords = [](ByteView d) {
        return d.size() >= 8 && d.size() == 8 + std::size_t{d[7]} * 2;
    };
    addAccessRow(Id::write, wholeWords, write);
    addAccessRow(Id::blockWrite, wholeWords, write);

    // password (4), then the 20 mask and action bits of the Gen2 Lock behind four zero bits:
    // mask pairs (write lock, permanent) per area at bits 19-10, action pairs at 9-0.
    addAccessRow(
        Id::lock, [](ByteView d) { return d.size() == 7; },
        [locksOf](ByteView d, std::vector<SimTag>& tags, std::size_t at, Bytes&) -> uint8_t {
            const SimTag& tag = tags[at];
            if (!secured(tag, d.first(4))) return kWrongPassword;
            const uint32_t bits = (uint32_t{d[4]} << 16 | uint32_t{d[5]} << 8 | d[6]) & 0xFFFFF;
            const auto bit = [&](int at) { return ((bits >> at) & 1) != 0; };
            auto& locks = locksOf(tag);
            for (int area = 0; area < 5; ++area) {
                const bool maskLock = bit(19 - 2 * area);
                const bool maskPerma = bit(18 - 2 * area);
                const bool changes = (maskLock && locks.locked[area] != bit(9 - 2 * area)) ||
                                     (maskPerma && locks.permanent[area] != bit(8 - 2 * area));
                if (changes && locks.permanent[area]) return kMemoryLocked;
            }
            for (int area = 0; area < 5; ++area) {
                if (bit(19 - 2 * area)) locks.locked[area] = bit(9 - 2 * area);
                if (bit(18 - 2 * area)) locks.permanent[area] = bit(8 - 2 * area);
            }
            return SimVk210::kOk;
        });

    // kill password (4): the tag leaves the population
    addAccessRow(
        Id::kill, [](ByteView d) { return d.size() == 4; },
        [](ByteView d, std::vector<SimTag>& tags, std::size_t at, Bytes&) -> uint8_t {
            const Bytes required = simKillPassword(tags[at]);
            if (isZero(required)) return kZeroKillPassword;
            if (!std::equal(required.begin(), required.end(), d.begin(), d.begin() + 4)) {
                return kWrongPassword;
            }
            tags.erase(tags.begin() + static_cast<long>(at));
            return SimVk210::kOk;
        });

    // password (4), read (0) or lock (1), bank, block pointer (2), block range, mask (2 per
    // range unit): reading gives the lock bits of the blocks, locking sets those of the mask.
    const auto permaLockForm = [](ByteView d) {
        return d.size() >= 9 && d[4] <= 1 && (d[4] == 0 || d.size() == 9 + std::size_t{d[8]} * 2);
    };
    addAccessRow(
        Id::blockPermaLock, permaLockForm,
        [locksOf](ByteView d, std::vector<SimTag>& tags, std::size_t at, Bytes& out) -> uint8_t {
            const SimTag& tag = tags[at];
            const bool lock = d[4] == 1;
            const uint8_t bank = d[5];
            const std::size_t first = std::size_t{readBe16(d, 6)} * 16;
            const std::size_t blocks = std::size_t{d[8]} * 16;
            const auto memory = simBankBytes(tag, bank);
            if (!memory || bank == 0 || (first + blocks) * 2 > memory->size())
                return kMemoryOverrun;
            if (lock && !secured(tag, d.first(4))) return kWrongPassword;
            auto& locked = locksOf(tag).lockedBlocks[bank];
            out.assign(blocks / 8, 0);
            for (std::size_t i = 0; i < blocks; ++i) {
                if (lock && simBitAt(d.subspan(9), i))
                    locked.insert(static_cast<unsigned>(first + i));
                if (locked.count(static_cast<unsigned>(first + i))) {
                    out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
                }
            }
            if (lock) out.clear();
            return SimVk210::kOk;
        });

    return module;
}

}  // namespace orvane
