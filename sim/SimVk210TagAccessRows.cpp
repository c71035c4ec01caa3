#include <algorithm>

#include "sim/SimVk210.h"

namespace orvane {
namespace {

// Status of a tag access the reader reports for a missing tag or a range outside the bank.
constexpr uint8_t kMemoryOverrun = 0x83;
constexpr uint8_t kNoTag = 0x01;
// The outcome follows the command's own reply by this much.
constexpr auto kAccessDelay = std::chrono::milliseconds(5);

Bytes* bankOf(SimTag& tag, uint8_t bank) {
    switch (bank) {
        case 0:
            return &tag.reserved;
        case 1:
            return &tag.epc;
        case 2:
            return &tag.tid;
        case 3:
            return &tag.user;
        default:
            return nullptr;
    }
}

// The data area of a request frame.
ByteView requestData(const SimRequest& r) {
    return r.frame.subspan(5, r.frame.size() - 8);
}

// The tag-access-data frame: the access command's code, the status, the bytes read.
Bytes accessFrame(uint32_t code, uint8_t status, ByteView data = {}) {
    Bytes area;
    appendBe16(area, static_cast<uint16_t>(code));
    area.push_back(status);
    area.insert(area.end(), data.begin(), data.end());
    return SimVk210::eventFrame(OrvRfidCmdId::tagAccessData, area);
}

void report(SimVk210& reader, const SimRequest& r, uint8_t status, ByteView data = {}) {
    reader.replyOkThen(r, accessFrame(r.key, status, data), kAccessDelay);
}

}  // namespace

void addVk210TagAccessRows(SimVk210& reader) {
    // password (4), bank (1), word address (2), word count (1)
    reader.addRow(rawValue(OrvRfidCmdId::read), [&reader](const SimRequest& r) {
        const ByteView d = requestData(r);
        if (d.size() < 8) return reader.replyStatus(r, 0x02);
        const std::size_t from = std::size_t{readBe16(d, 5)} * 2;
        const std::size_t count = std::size_t{d[7]} * 2;
        uint8_t status = kNoTag;
        Bytes read;
        reader.updateTags([&](std::vector<SimTag>& tags) {
            if (tags.empty()) return;
            const Bytes* bank = bankOf(tags.front(), d[4]);
            status = kMemoryOverrun;
            if (!bank || from + count > bank->size()) return;
            status = SimVk210::kOk;
            read.assign(bank->begin() + static_cast<long>(from),
                        bank->begin() + static_cast<long>(from + count));
        });
        report(reader, r, status, read);
    });
    // password (4), bank (1), word address (2), word count (1), data
    reader.addRow(rawValue(OrvRfidCmdId::write), [&reader](const SimRequest& r) {
        const ByteView d = requestData(r);
        if (d.size() < 8 || d.size() < 8 + std::size_t{d[7]} * 2) {
            return reader.replyStatus(r, 0x02);
        }
        const std::size_t from = std::size_t{readBe16(d, 5)} * 2;
        const ByteView data = d.subspan(8, std::size_t{d[7]} * 2);
        uint8_t status = kNoTag;
        reader.updateTags([&](std::vector<SimTag>& tags) {
            if (tags.empty()) return;
            Bytes* bank = bankOf(tags.front(), d[4]);
            status = kMemoryOverrun;
            if (!bank) return;
            if (bank->size() < from + data.size()) bank->resize(from + data.size());
            std::copy(data.begin(), data.end(), bank->begin() + static_cast<long>(from));
            status = SimVk210::kOk;
        });
        report(reader, r, status);
    });
    for (const OrvRfidCmdId id : {OrvRfidCmdId::lock, OrvRfidCmdId::kill}) {
        reader.addRow(rawValue(id), [&reader](const SimRequest& r) {
            report(reader, r, reader.tags()->empty() ? kNoTag : SimVk210::kOk);
        });
    }
}

}  // namespace orvane
