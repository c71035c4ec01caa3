#include "orvanerfid/link/Vk640Rules.h"

#include "orvanerfid/commands/Vk640Packets.h"

namespace orvane {
namespace {

constexpr uint8_t kDeviceGroup = rawValue(STUHFL_CG::orvane);
// The first payload byte of a key event.
constexpr uint8_t kKeyEventTag = 0x21;

void requirePayload(const STPacket& packet) {
    if (packet.payload().empty()) {
        throw STPacketError(ResultCode::invalidParameter, "The payload length is less than 1");
    }
}

}  // namespace

Vk640Match vk640Match(const STPacket& request, const STPacket& reply) noexcept {
    if (request.cmdGroup() != reply.cmdGroup() || request.cmdSubcode() != reply.cmdSubcode()) {
        return Vk640Match::groupDiffers;
    }
    if (request.payload().empty()) return Vk640Match::requestWithoutTlv;
    if (reply.payload().empty()) {
        return request.cmdGroup() == kDeviceGroup ? Vk640Match::deviceReplyNoTlv
                                                  : Vk640Match::replyWithoutTlv;
    }
    return request.payload()[0] == reply.payload()[0] ? Vk640Match::tlvMatches
                                                      : Vk640Match::tlvDiffers;
}

std::string_view vk640MatchText(Vk640Match match) noexcept {
    switch (match) {
        case Vk640Match::groupDiffers:
            return "cmdGroup or cmdSubcode does not match, enqueue it";
        case Vk640Match::requestWithoutTlv:
            return "收到相符的Packet - 無TLV ID";
        case Vk640Match::replyWithoutTlv:
            return "收到相符的Packet - 非orvane指令";
        case Vk640Match::deviceReplyNoTlv:
            return "TLV ID 不相符 - retPacket沒有TLV ID";
        case Vk640Match::tlvMatches:
            return "收到相符的Packet - TLV ID也相符";
        case Vk640Match::tlvDiffers:
            return "TLV ID不相符";
    }
    return {};
}

Vk640DeviceGroupRole vk640DeviceGroupRole(const STPacket& packet) {
    Vk640DeviceGroupRole role;
    const auto subcode = fromRaw<STUHFL_CC_Orvane>(packet.cmdSubcode());
    if (!subcode) {
        role.isReply = true;
        return role;
    }
    switch (*subcode) {
        case STUHFL_CC_Orvane::getBatteryInfo:
            role.event.emplace(ProtocolEventId::batteryPercentage, packet.getByte(0));
            role.isReply = true;
            break;
        case STUHFL_CC_Orvane::getTemperature:
            // A signed byte, as the device reads it: cold readings are negative.
            role.event.emplace(ProtocolEventId::temperature,
                               static_cast<double>(static_cast<int8_t>(packet.getByte(0))));
            role.isReply = true;
            break;
        case STUHFL_CC_Orvane::setConfigure: {
            requirePayload(packet);
            // Replies to the write-only settings (find device, display) are not waited for;
            // neither is a reply that names no setting.
            const auto tag = fromRaw<STUHFL_TAG_Orvane>(packet.payload()[0]);
            role.isReply = tag && *tag != STUHFL_TAG_Orvane::findDevice &&
                           *tag != STUHFL_TAG_Orvane::displayOutput;
            break;
        }
        case STUHFL_CC_Orvane::event:
            requirePayload(packet);
            if (packet.payload()[0] == kKeyEventTag) {
                role.event.emplace(ProtocolEventId::keyEvent,
                                   KeyEventArgs(KeyID::triggerKey, packet.getByte(0) == 1));
            } else {
                role.unknownEvent = true;
                role.isReply = true;
            }
            break;
        default:
            role.isReply = true;
            break;
    }
    return role;
}

}  // namespace orvane
