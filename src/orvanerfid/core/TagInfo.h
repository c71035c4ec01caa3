#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Enum.h"

namespace orvane {

// The fields a tag report can carry.
#define ORV_TAG_INFO_ID(X)          \
    X(antenna, 0, "Antenna")        \
    X(frequency, 1, "Frequency")    \
    X(rssi, 2, "RSSI")              \
    X(pc, 3, "PC")                  \
    X(epc, 4, "EPC")                \
    X(tid, 5, "TID")                \
    X(roundCount, 6, "Round Count") \
    X(q, 7, "Q")                    \
    X(tagCount, 8, "Tag Count")     \
    X(xpc, 9, "XPC")                \
    X(userData, 10, "User Data")    \
    X(phaseData, 11, "Phase Data")  \
    X(timestamp, 12, "Timestamp")

ORV_ENUM(TagInfoId, uint8_t, ORV_TAG_INFO_ID);

// One tag observation, as handed to the application.
//
// Beside the values, the report keeps a presence list: the ids of the fields that the reader
// actually reported, in the order in which they were first filled, each at most once. A field
// whose id is absent still holds its initial value but counts as not reported.
//
// Threads: a decoder creates and fills the report on its receive thread before handing it out;
// from then on nothing changes it, and it may be read from any thread. The same object goes to
// every receiver. Applications only read it; the constructor and the setters are the library's.
class ORVANE_API TagInfo {
  public:
    using TimePoint = std::chrono::system_clock::time_point;

    // Every field at its initial value: zero, empty, `tagCount` 1, `timestamp` now, and an empty
    // presence list.
    ORVANE_INTERNAL TagInfo();

    uint32_t frequency() const { return frequency_; }
    float rssi() const { return rssi_; }
    uint8_t antenna() const { return antenna_; }
    const Bytes& pc() const { return pc_; }
    const Bytes& epc() const { return epc_; }
    const Bytes& tid() const { return tid_; }
    uint64_t roundCount() const { return roundCnt_; }
    uint8_t q() const { return q_; }
    uint64_t tagCount() const { return tagCount_; }
    const Bytes& xpc() const { return xpc_; }
    const Bytes& userData() const { return userData_; }
    float phaseBegin() const { return phaseBegin_; }
    float phaseEnd() const { return phaseEnd_; }
    TimePoint timestamp() const { return timestamp_; }

    // The presence list, in fill order.
    std::span<const TagInfoId> tagInfoId() const { return {ids_.data(), idCount_}; }

    // The EPC and the TID as upper-case hex text, two digits per byte ("" when empty).
    std::string strEPC() const;
    std::string strTID() const;

    // "No Tag Info" when nothing was reported; otherwise one "Label: value" segment per reported
    // field, joined by ", ", in a fixed order that does not depend on the fill order: antenna,
    // RSSI, phases, frequency, PC, EPC, TID, user data, timestamp (local time), round count, Q,
    // tag count, XPC.
    std::string description() const;

    // Marking setters, for the decoders: each stores its value (also when the field was set
    // before) and appends the field's id to the presence list unless it is there already.
    // `setPhaseBegin` and `setPhaseEnd` both mark `phaseData`.
    ORVANE_INTERNAL void setAntenna(uint8_t antenna);
    ORVANE_INTERNAL void setFrequency(uint32_t frequency);
    ORVANE_INTERNAL void setRSSI(float rssi);
    ORVANE_INTERNAL void setPC(ByteView pc);
    ORVANE_INTERNAL void setEPC(ByteView epc);
    ORVANE_INTERNAL void setTID(ByteView tid);
    ORVANE_INTERNAL void setRoundCount(uint64_t roundCount);
    ORVANE_INTERNAL void setQ(uint8_t q);
    ORVANE_INTERNAL void setTagCount(uint64_t tagCount);
    ORVANE_INTERNAL void setXPC(ByteView xpc);
    ORVANE_INTERNAL void setUserData(ByteView userData);
    ORVANE_INTERNAL void setPhaseBegin(float phaseBegin);
    ORVANE_INTERNAL void setPhaseEnd(float phaseEnd);
    ORVANE_INTERNAL void setTimestamp(TimePoint timestamp);

    // Appends `id` to the presence list unless it is there already; stores nothing. An id
    // outside the enumeration is ignored.
    ORVANE_INTERNAL void appendTagInfoId(TagInfoId id);

  private:
    // Stores `value` into `field` and marks `id`.
    template <typename Field, typename Value>
    ORVANE_INTERNAL void store(Field& field, const Value& value, TagInfoId id);

    static constexpr std::size_t kIdCount = allCases<TagInfoId>().size();

    ORVANE_INTERNAL bool isMarked(TagInfoId id) const {
        return rawValue(id) < kIdCount && ((marked_ >> rawValue(id)) & 1U) != 0;
    }

    uint32_t frequency_ = 0;
    float rssi_ = 0;
    uint8_t antenna_ = 0;
    Bytes pc_;
    Bytes epc_;
    Bytes tid_;
    uint64_t roundCnt_ = 0;
    uint8_t q_ = 0;
    uint64_t tagCount_ = 1;
    Bytes xpc_;
    Bytes userData_;
    float phaseBegin_ = 0;
    float phaseEnd_ = 0;
    TimePoint timestamp_;

    // The presence list, and the same ids as a bit set (bit = raw value) for the membership test.
    std::array<TagInfoId, kIdCount> ids_{};
    std::size_t idCount_ = 0;
    uint16_t marked_ = 0;
};

}  // namespace orvane
