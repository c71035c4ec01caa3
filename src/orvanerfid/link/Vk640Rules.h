#pragma once

// The rules by which the Vk640 protocol object sorts the packets its reader sends: which reply
// answers which request, and what the reader's own notifications (the device group) raise.
// Pure: no I/O, no threads, no state.

#include <optional>
#include <string_view>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/commands/STPacket.h"

namespace orvane {

// How a received packet R relates to a request Q.
enum class Vk640Match {
    groupDiffers,       // group or subcode differ: no match
    requestWithoutTlv,  // Q's payload is empty: match whatever R holds
    replyWithoutTlv,    // R's payload is empty and Q is not of the device group: match
    deviceReplyNoTlv,   // R's payload is empty and Q is of the device group: no match
    tlvMatches,         // both carry a TLV and its tag is the same: match
    tlvDiffers,         // both carry a TLV with different tags: no match
};

// The match rule of both sends. Only the device group (0x10) insists on a TLV tag in the reply
// when the request names one.
Vk640Match vk640Match(const STPacket& request, const STPacket& reply) noexcept;

constexpr bool isMatch(Vk640Match match) noexcept {
    return match == Vk640Match::requestWithoutTlv || match == Vk640Match::replyWithoutTlv ||
           match == Vk640Match::tlvMatches;
}

// The TRACE or DEBUG text a send logs for a match outcome.
std::string_view vk640MatchText(Vk640Match match) noexcept;

// What a packet of the device group (0x10) is to the receive loop: the event it raises (before
// it is queued) and whether it also goes to the reply queue.
struct Vk640DeviceGroupRole {
    std::optional<ProtocolEventArgs> event;
    bool isReply = false;
    // The packet is an event of a kind this library does not know (logged at ERROR).
    bool unknownEvent = false;
};

// Sorts one device-group packet. Throws STPacketError for a set-configuration reply or an
// event with an empty payload (0x5002), and for a battery, temperature or key notification
// without its value byte (0x4003): the loop drops such a packet with an ERROR line.
Vk640DeviceGroupRole vk640DeviceGroupRole(const STPacket& packet);

}  // namespace orvane
