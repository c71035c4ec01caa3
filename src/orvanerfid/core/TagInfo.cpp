#include "orvanerfid/core/TagInfo.h"

#include <charconv>
#include <type_traits>

#include "orvanerfid/core/Utilities.h"

namespace orvane {
namespace {

// The shortest text that reads back to the same float, with ".0" added to a whole number
// ("12.0", "-45.5", "0.0"). Exponent forms and "inf"/"nan" stay as std::to_chars writes them.
std::string floatText(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_not_of("-0123456789") == std::string::npos) text += ".0";
    return text;
}

}  // namespace

TagInfo::TagInfo() : timestamp_(std::chrono::system_clock::now()) {}

std::string TagInfo::strEPC() const {
    return toHexString(epc_);
}

std::string TagInfo::strTID() const {
    return toHexString(tid_);
}

void TagInfo::appendTagInfoId(TagInfoId id) {
    if (rawValue(id) >= kIdCount || isMarked(id)) return;
    marked_ = static_cast<uint16_t>(marked_ | (1U << rawValue(id)));
    ids_[idCount_++] = id;
}

template <typename Field, typename Value>
void TagInfo::store(Field& field, const Value& value, TagInfoId id) {
    if constexpr (std::is_same_v<Value, ByteView>) {
        field.assign(value.begin(), value.end());
    } else {
        field = value;
    }
    appendTagInfoId(id);
}

void TagInfo::setAntenna(uint8_t antenna) {
    store(antenna_, antenna, TagInfoId::antenna);
}

void TagInfo::setFrequency(uint32_t frequency) {
    store(frequency_, frequency, TagInfoId::frequency);
}

void TagInfo::setRSSI(float rssi) {
    store(rssi_, rssi, TagInfoId::rssi);
}

void TagInfo::setPC(ByteView pc) {
    store(pc_, pc, TagInfoId::pc);
}

void TagInfo::setEPC(ByteView epc) {
    store(epc_, epc, TagInfoId::epc);
}

void TagInfo::setTID(ByteView tid) {
    store(tid_, tid, TagInfoId::tid);
}

void TagInfo::setRoundCount(uint64_t roundCount) {
    store(roundCnt_, roundCount, TagInfoId::roundCount);
}

void TagInfo::setQ(uint8_t q) {
    store(q_, q, TagInfoId::q);
}

void TagInfo::setTagCount(uint64_t tagCount) {
    store(tagCount_, tagCount, TagInfoId::tagCount);
}

void TagInfo::setXPC(ByteView xpc) {
    store(xpc_, xpc, TagInfoId::xpc);
}

void TagInfo::setUserData(ByteView userData) {
    store(userData_, userData, TagInfoId::userData);
}

void TagInfo::setPhaseBegin(float phaseBegin) {
    store(phaseBegin_, phaseBegin, TagInfoId::phaseData);
}

void TagInfo::setPhaseEnd(float phaseEnd) {
    store(phaseEnd_, phaseEnd, TagInfoId::phaseData);
}

void TagInfo::setTimestamp(TimePoint timestamp) {
    store(timestamp_, timestamp, TagInfoId::timestamp);
}

std::string TagInfo::description() const {
    if (idCount_ == 0) return "No Tag Info";

    using Segment = std::string (*)(const TagInfo&);
    struct Entry {
        TagInfoId id;
        Segment segment;
    };
    // The text's own order, which is not the raw-value order.
    static constexpr Entry kSegments[] = {
        {TagInfoId::antenna,
         [](const TagInfo& t) { return "Antenna: " + std::to_string(t.antenna_); }},
        {TagInfoId::rssi, [](const TagInfo& t) { return "RSSI: " + floatText(t.rssi_); }},
        {TagInfoId::phaseData,
         [](const TagInfo& t) {
             return "Phase Begin: " + floatText(t.phaseBegin_) +
                    ", Phase End: " + floatText(t.phaseEnd_);
         }},
        {TagInfoId::frequency,
         [](const TagInfo& t) { return "Frequency: " + std::to_string(t.frequency_); }},
        {TagInfoId::pc, [](const TagInfo& t) { return "PC: " + toHexString(t.pc_); }},
        {TagInfoId::epc, [](const TagInfo& t) { return "EPC: " + t.strEPC(); }},
        {TagInfoId::tid, [](const TagInfo& t) { return "TID: " + t.strTID(); }},
        {TagInfoId::userData,
         [](const TagInfo& t) { return "User Data: " + toHexString(t.userData_); }},
        {TagInfoId::timestamp,
         [](const TagInfo& t) { return "Timestamp: " + toDateTimeString(t.timestamp_); }},
        {TagInfoId::roundCount,
         [](const TagInfo& t) { return "Round Count: " + std::to_string(t.roundCnt_); }},
        {TagInfoId::q, [](const TagInfo& t) { return "Q: " + std::to_string(t.q_); }},
        {TagInfoId::tagCount,
         [](const TagInfo& t) { return "Tag Count: " + std::to_string(t.tagCount_); }},
        {TagInfoId::xpc, [](const TagInfo& t) { return "XPC: " + toHexString(t.xpc_); }},
    };
    static_assert(std::size(kSegments) == kIdCount);

    std::string text;
    for (const Entry& entry : kSegments) {
        if (!isMarked(entry.id)) continue;
        if (!text.empty()) text += ", ";
        text += entry.segment(*this);
    }
    return text;
}

}  // namespace orvane
