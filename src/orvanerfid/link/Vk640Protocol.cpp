#include "orvanerfid/link/Vk640Protocol.h"

#include <chrono>
#include <deque>
#include <exception>
#include <type_traits>
#include <vector>

#include "orvanerfid/commands/FrameSecrets.h"
#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/link/Vk640Rules.h"
#include "orvanerfid/platform/TimeoutControl.h"

namespace orvane {
namespace {

constexpr std::string_view kTag = "Vk640Protocol";
constexpr std::string_view kSend = "send(data:timeout:)";
constexpr std::string_view kSendNumber = "send(data:timeout:number:)";
// A packet incomplete for this long with no byte arriving was cut at the wrong place.
constexpr auto kStall = std::chrono::milliseconds(1000);

bool tracing() {
    return orvLogger::isEnabled(LogLevel::trace);
}

void trace(std::string_view text) {
    orvLogger::trace(kTag, text);
}

std::string str(std::string_view a, std::string_view b) {
    std::string s(a);
    s += b;
    return s;
}

// A packet's dump with its password and Reserved-bank data shown as "0x**".
std::string packetDump(const STPacket& packet) {
    return maskedHexDump(packet.rawData(), stPacketSecrets(packet.rawData()));
}

// The examination lines of a send; built only when they are logged.
void traceExamined(const STPacket& request, const STPacket& reply, Vk640Match match) {
    if (!tracing()) return;
    trace(str("送出的packet: ", packetDump(request)));
    trace(str("收到的packet: ", packetDump(reply)));
    if (match == Vk640Match::tlvDiffers) {
        orvLogger::debug(kTag, vk640MatchText(match));
    } else {
        trace(vk640MatchText(match));
    }
}

}  // namespace

std::mutex& Vk640Protocol::sendLock() {
    static std::mutex lock;
    return lock;
}

Vk640Protocol::Vk640Protocol(std::shared_ptr<BaseTransport> transport)
    : BaseProtocol(
          std::string(kTag), std::move(transport),
          DispatchQueue::make("com.orvane.vk640Protocol", DispatchQoS::userInitiated,
                              DispatchQueueAttributes::concurrent, DispatchWork::library)) {}

Vk640Protocol::~Vk640Protocol() = default;

// ---- Sends ----

Response Vk640Protocol::send(ByteView data, int timeout) {
    if (onAnyLinkThread()) return refusedOnLinkThread(kSend);
    const orvLogger::Hold hold;
    std::lock_guard guard(sendLock());
    const SendTurnMark mark;
    const uint64_t ends = linkEnds();
    trace(str("+++ ", kSend));
    STPacket request;
    try {
        request = STPacket(data);
    } catch (const CodedError& e) {
        orvLogger::error(kTag, str(kSend, " ") + e.what());
        return Response(e.resultCode(), std::nullopt);
    }
    const std::size_t stale =
        replies_.purge([&](const STPacket& r) { return isMatch(vk640Match(request, r)); });
    if (stale > 0) {
        orvLogger::debug(kTag, str(kSend, " - dropped stale replies: ") + std::to_string(stale));
    }
    const ResultCode written = write(data);
    if (written != ResultCode::noError) return Response(written, std::nullopt);

    const TimeoutControl control(timeout);
    std::optional<Bytes> reply;
    const bool answered = replies_.serve(
        control,
        [&](STPacket& received) {
            if (tracing()) {
                trace("目前receivedPacket.count = " + std::to_string(replies_.count() + 1));
            }
            const Vk640Match match = vk640Match(request, received);
            traceExamined(request, received, match);
            if (!isMatch(match)) return ReplyVerdict::putBack;
            reply = received.toBytes();
            return ReplyVerdict::done;
        },
        [this, ends] { return linkDropped(ends); });
    if (!answered && linkDropped(ends)) {
        trace(str("--- ", kSend) + " Disconnected");
        return Response(ResultCode::connectFailed, std::nullopt);
    }
    if (!answered) {
        trace(str("--- ", kSend) + " Timeout");
        return Response(ResultCode::timeout, std::nullopt);
    }
    trace(str("--- ", kSend));
    return Response(ResultCode::noError, std::move(reply));
}

Response Vk640Protocol::send(ByteView data, int timeout, int number) {
    if (onAnyLinkThread()) return refusedOnLinkThread(kSendNumber);
    const orvLogger::Hold hold;
    std::lock_guard guard(sendLock());
    const SendTurnMark mark;
    const uint64_t ends = linkEnds();
    trace(str("+++ ", kSendNumber));
    if (number < 0 || number > 0xFF) {
        orvLogger::error(kTag,
                         str(kSendNumber, " number is out of range: ") + std::to_string(number));
        return Response(ResultCode::invalidParameter, std::nullopt);
    }
    // The requests, in writing order; each answered one leaves the list.
    std::deque<STPacket> sent;
    for (ByteView rest = data; !rest.empty();) {
        const int length = STPacket::checkFormat(rest);
        if (length < 1) break;
        const ByteView piece = rest.first(static_cast<std::size_t>(length));
        rest = rest.subspan(piece.size());
        try {
            sent.emplace_back(piece);
        } catch (const CodedError& e) {
            orvLogger::error(kTag, str(kSendNumber, " ") + e.what());
        }
    }
    trace("送出的packet數量: " + std::to_string(sent.size()) +
          ", 需要收到的回應數量: " + std::to_string(number));
    const std::size_t stale = replies_.purge([&](const STPacket& r) {
        for (const STPacket& request : sent) {
            if (isMatch(vk640Match(request, r))) return true;
        }
        return false;
    });
    if (stale > 0) {
        orvLogger::debug(kTag,
                         str(kSendNumber, " - dropped stale replies: ") + std::to_string(stale));
    }
    const ResultCode written = write(data);
    if (written != ResultCode::noError) return Response(written, std::nullopt);
    if (number == 0) {
        trace(str("--- ", kSendNumber));
        return Response(ResultCode::noError, std::nullopt);
    }

    const TimeoutControl control(timeout);
    std::vector<STPacket> collected;
    const bool complete = replies_.serve(
        control,
        [&](STPacket& received) {
            if (tracing()) {
                trace("receivedPacket.count = " + std::to_string(collected.size()) +
                      ", need: " + std::to_string(number));
                trace("目前sendPacketQueue的數量 = " + std::to_string(sent.size()));
            }
            // Try each unanswered request once, in order; one that does not accept goes to the
            // back of the list.
            bool accepted = false;
            for (std::size_t tries = sent.size(); tries > 0 && !accepted; --tries) {
                STPacket request = std::move(sent.front());
                sent.pop_front();
                const Vk640Match match = vk640Match(request, received);
                traceExamined(request, received, match);
                if (isMatch(match)) {
                    accepted = true;
                } else {
                    sent.push_back(std::move(request));
                }
            }
            if (!accepted) {
                orvLogger::debug(
                    kTag,
                    str(kSendNumber, " - Does not find match send packet, enqueue retPacket"));
                return ReplyVerdict::putBack;
            }
            collected.push_back(std::move(received));
            if (collected.size() < static_cast<std::size_t>(number)) return ReplyVerdict::taken;
            trace("已經收到的receivedPacket數量: " + std::to_string(collected.size()) +
                  ", 需要收到的回應數量: " + std::to_string(number));
            return ReplyVerdict::done;
        },
        [this, ends] { return linkDropped(ends); });
    if (!complete && linkDropped(ends)) {
        trace(str("--- ", kSendNumber) + " Disconnected");
        return Response(ResultCode::connectFailed, std::nullopt);
    }
    if (!complete) {
        trace(str("--- ", kSendNumber) + " Timeout");
        return Response(ResultCode::timeout, std::nullopt);
    }
    Bytes joined;
    for (const STPacket& reply : collected) {
        const Bytes bytes = reply.toBytes();
        joined.insert(joined.end(), bytes.begin(), bytes.end());
    }
    trace(str("--- ", kSendNumber));
    return Response(ResultCode::noError, std::move(joined));
}

void Vk640Protocol::enqueueReceivedPacket(STPacket packet) {
    if (tracing()) trace(str("Add packet to _recPacketQueue: ", packetDump(packet)));
    replies_.push(std::move(packet));
}

// ---- Events pumped in ----

void Vk640Protocol::pumpEvent(const ProtocolEventArgs& event) {
    // Applies the event's value when it is of kind T; an event without one changes nothing.
    const auto withValue = [&event]<typename T>(std::type_identity<T>, auto&& apply) {
        if (const T* value = event.get<T>()) {
            apply(*value);
        } else {
            orvLogger::error(kTag, "pumpEvent(_:) " + std::string(caseName(event.id())) +
                                       " without a value of its kind");
        }
    };
    switch (event.id()) {
        case ProtocolEventId::skuType:
        case ProtocolEventId::macAddress:
            notify(delegate(), event);
            break;
        case ProtocolEventId::gValue:
            withValue(std::type_identity<double>{}, [this](double gain) { gValue_.store(gain); });
            break;
        case ProtocolEventId::tagsIndicator:
            withValue(std::type_identity<InventoryIndicator>{},
                      [this](const InventoryIndicator& value) { indicator_.setIndicator(value); });
            break;
        case ProtocolEventId::resetIndicator:
            indicator_.reset();
            break;
        case ProtocolEventId::initialFinished:
            initialFinished_.store(true);
            break;
        default:
            break;
    }
}

bool Vk640Protocol::indicatorVibrator() const {
    return indicator_.indicator().vibrator();
}

bool Vk640Protocol::indicatorBeeper() const {
    return indicator_.indicator().beeper();
}

bool Vk640Protocol::indicatorReadOnce() const {
    return indicator_.indicator().readOnce();
}

double Vk640Protocol::gValue() const {
    return gValue_.load();
}

bool Vk640Protocol::initialFinished() const {
    return initialFinished_.load();
}

// ---- Receive loop ----

bool Vk640Protocol::start() {
    orvLogger::info(kTag, "*** start()");
    resetBuffer_.store(true);
    replies_.clear();
    // A new connection runs its start-up again before inventory data is taken.
    initialFinished_.store(false);
    trace("+++ keepReadThread()");
    launchReceiveLoop();
    return true;
}

bool Vk640Protocol::receiveTurn(const DispatchWorkItem& self) {
    switch (transport()->connectState()) {
        case ConnectState::disconnected:
            orvLogger::error(kTag, "keepReadThread() transport is disconnected, exit thread");
            return false;
        case ConnectState::connected:
            break;
        default:
            return true;
    }
    if (resetBuffer_.exchange(false)) {
        buffer_.clear();
        lastReceive_ = Clock::now();
    }
    takeReceived(self);
    cutPackets(self);
    return true;
}

void Vk640Protocol::receiveEnded(bool current) {
    if (current) {
        buffer_.clear();
        replies_.clear();
    }
    trace("--- keepReadThread()");
}

bool Vk640Protocol::takeReceived(const DispatchWorkItem& self) {
    // A stopped loop takes nothing more: what the queue holds from now on may be the next
    // connection's.
    if (self.isCancelled()) return false;
    ByteQueue& received = transport()->byteQueue();
    const int available = received.count();
    if (available < 1) return false;
    const std::size_t had = buffer_.size();
    buffer_.resize(had + static_cast<std::size_t>(available));
    // What is queued now and no more: a turn that waited for the count it saw (the queue emptied
    // meanwhile by a link that ended and came up again) would take the next connection's bytes,
    // keep the loop that replaces it from turning, and drop them with its own buffer.
    const int taken = received.dequeue(buffer_, static_cast<int>(had), available);
    buffer_.resize(had + static_cast<std::size_t>(std::max(taken, 0)));
    if (taken < 1) return false;
    lastReceive_ = Clock::now();
    return true;
}

void Vk640Protocol::cutBuffered(const DispatchWorkItem& self) {
    std::size_t packetBytes = 0;
    const std::size_t consumed = forEachFrameUntil(
        buffer_, STPacket::cutPacket,
        [&](ByteView bytes) {
            packetBytes += bytes.size();
            packetsCut_.fetch_add(1, std::memory_order_relaxed);
            try {
                sortPacket(STPacket(bytes));
            } catch (const std::exception& e) {
                orvLogger::error(kTag, str("keepReadThread() ************ ", e.what()));
            }
        },
        [&self] { return self.isCancelled(); });
    // A stopped loop cuts no further: its connection has ended, and what it holds goes.
    if (self.isCancelled()) {
        buffer_.clear();
        return;
    }
    if (consumed > packetBytes) {
        orvLogger::error(kTag, "keepReadThread() skipped " +
                                   std::to_string(consumed - packetBytes) +
                                   " bytes that start no packet");
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(consumed));
}

void Vk640Protocol::cutPackets(const DispatchWorkItem& self) {
    cutBuffered(self);
    // What is left is an incomplete packet. Less than a header is never a wrong cut; a header
    // with no byte after it for a second was a false start: its first byte goes and the rest
    // is cut again, so a packet that arrived behind it is not lost. Bytes the transport holds
    // arrived after the last take: a turn that cut for longer than that second has not waited
    // for them.
    if (buffer_.size() >= STPacket::kHeaderSize && transport()->byteQueue().count() == 0 &&
        Clock::now() - lastReceive_ > kStall) {
        orvLogger::error(kTag, "keepReadThread() There is no data in 1 second, clear buffer");
        while (buffer_.size() >= STPacket::kHeaderSize) {
            buffer_.erase(buffer_.begin());
            cutBuffered(self);
        }
    }
}

void Vk640Protocol::handlePacket(STPacket packet) {
    try {
        sortPacket(std::move(packet));
    } catch (...) {
        deliverQueued();
        throw;
    }
    deliverQueued();
}

void Vk640Protocol::sortPacket(STPacket packet) {
    if (STInventoryData::isInventoryData(packet.cmdGroup(), packet.cmdSubcode())) {
        if (!initialFinished_.load()) {
            orvLogger::error(kTag,
                             "keepReadThread() Initial not finished but receive inventory data, "
                             "packet dropped");
            return;
        }
        decodeInventory(packet);
        return;
    }
    if (packet.cmdGroup() == rawValue(STUHFL_CG::orvane)) {
        Vk640DeviceGroupRole role = vk640DeviceGroupRole(packet);
        if (role.unknownEvent) orvLogger::error(kTag, "keepReadThread() Unknown event packet");
        if (role.event) {
            if (auto target = delegate()) {
                deliverLater(
                    [this, target, event = std::move(*role.event)] { notify(target, event); });
            }
        }
        if (!role.isReply) return;
    }
    // The reply follows the events before it, and is queued even when they throw; a reply of a
    // connection that has ended answers nothing.
    deliverWhileLive([this, reply = std::make_shared<STPacket>(
                                std::move(packet))] { enqueueReceivedPacket(std::move(*reply)); },
                     false);
}

void Vk640Protocol::decodeInventory(const STPacket& packet) {
    const double gain = gValue_.load();
    const auto target = delegate();
    const STInventoryWalkResult walk = STInventoryData::forEachTag(
        packet.payload(),
        [&](const STInventoryTag& tag) {
            auto info = std::make_shared<TagInfo>(STInventoryData::toTagInfo(tag, gain));
            std::optional<Vk640IndicatorOutput> signal;
            const bool deliver = indicator_.onTag(info->strEPC(), Clock::now(), signal);
            if (signal) writeIndicator(*signal);
            if (deliver && target) {
                deliverTagLater([this, target, info = std::move(info)] {
                    notify(target, ProtocolEventArgs(ProtocolEventId::tagInfo, info));
                });
            }
        },
        [](uint8_t tag) {
            orvLogger::error(kTag, "keepReadThread() - Unknown tag: " + std::to_string(tag));
        });
    if (walk.malformed) {
        throw STPacketError(ResultCode::invalidParameter,
                            "An inventory record is shorter than its fields");
    }
    if (const auto output = indicator_.onPacketEnd(Clock::now())) writeIndicator(*output);
    // Tells the inventory of this connection that its data flows; never one of the next.
    if (target) {
        deliverWhileLive([this, target] {
            notify(target, ProtocolEventArgs(ProtocolEventId::receivedInventoryData));
        });
    }
}

// ---- Indicator and display ----

void Vk640Protocol::writeIndicator(const Vk640IndicatorOutput& output) {
    const bool display = vk640DisplaySupported(transport()->firmwareRevision());
    const std::optional<Bytes> bytes = vk640IndicatorBytes(output, display);
    if (!bytes) return;
    const ResultCode code = write(*bytes);
    if (code == ResultCode::noError) return;
    orvLogger::error(
        kTag, std::string(output.signal ? "triggerIndicator(_:_:)" : "displayOutput(_:_:_:)") +
                  " ************ resultCode: " + std::string(description(code)));
}

void Vk640Protocol::triggerIndicator(const std::string& text, uint8_t position) {
    writeIndicator(
        Vk640IndicatorOutput{true, indicator_.mode(), text, position, Vk640Indicator::kLine});
}

void Vk640Protocol::displayOutput(const std::string& text, uint8_t position, uint8_t line) {
    writeIndicator(Vk640IndicatorOutput{false, FindDeviceMode::off, text, position, line});
}

}  // namespace orvane
