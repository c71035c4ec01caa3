#include "orvanerfid/link/Vk210Protocol.h"

#include <algorithm>
#include <deque>
#include <exception>
#include <string>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/platform/TimeoutControl.h"

namespace orvane {
namespace {

constexpr std::string_view kTag = "Vk210Protocol";

std::string idName(OrvRfidCmdId id) {
    return std::string(caseName(id));
}

// The command code of the frame at the head of `bytes`, read without validating it.
std::optional<uint16_t> codeOf(ByteView bytes) {
    if (bytes.size() < 5) return std::nullopt;
    return readBe16(bytes, 3);
}

bool debugOn() {
    return orvLogger::isEnabled(LogLevel::debug);
}

// The decimal text of a temperature in tenths of a degree ("30.0", "25.3").
std::string tenths(uint16_t raw) {
    return std::to_string(raw / 10) + "." + std::to_string(raw % 10);
}

}  // namespace

Vk210Protocol::Vk210Protocol(std::shared_ptr<BaseTransport> transport)
    : BaseProtocol("Vk210Protocol", std::move(transport),
                   DispatchQueue::make("com.orvane.vk210Protocol", DispatchQoS::userInitiated,
                                       DispatchQueueAttributes::concurrent, DispatchWork::library)),
      lastData_(Clock::now()) {}

Vk210Protocol::~Vk210Protocol() = default;

Vk210Protocol::SendTurn::SendTurn(Vk210Protocol& owner) : protocol(owner) {
    std::function<void()> keepReceiving;
    if (protocol.inReceiveDelivery()) keepReceiving = [this] { protocol.keepReceiving(); };
    protocol.sendLock_.lock(keepReceiving);
}

Vk210Protocol::SendTurn::~SendTurn() {
    protocol.sendLock_.unlock();
}

Vk210Protocol::AwaitedReplies::AwaitedReplies(Vk210Protocol& owner, std::vector<uint16_t> codes)
    : protocol(owner) {
    std::lock_guard guard(protocol.awaitedLock_);
    protocol.awaited_ = std::move(codes);
}

Vk210Protocol::AwaitedReplies::~AwaitedReplies() {
    std::lock_guard guard(protocol.awaitedLock_);
    protocol.awaited_.clear();
}

void Vk210Protocol::purgeStale(uint16_t code, std::string_view operation) {
    const std::size_t dropped = replies_.purge(
        [code](const OrvaneRfidCommand& reply) { return rawValue(reply.id()) == code; });
    if (dropped > 0 && debugOn()) {
        const auto id = fromRaw<OrvRfidCmdId>(code);
        orvLogger::debug(kTag, std::string(operation) + " Dropped " + std::to_string(dropped) +
                                   " stale reply(s) of " +
                                   (id ? idName(*id) : std::to_string(code)));
    }
}

Response Vk210Protocol::send(ByteView data, int timeout) {
    if (onAnyLinkThread()) return refusedOnLinkThread("send(data:timeout:)");
    const orvLogger::Hold hold;
    const SendTurn turn(*this);
    const uint64_t ends = linkEnds();
    orvLogger::debug(kTag, "+++ send(data:timeout:)");
    const std::optional<uint16_t> code = codeOf(data);
    if (code) purgeStale(*code, "send(data:timeout:)");
    const AwaitedReplies awaiting(*this,
                                  code ? std::vector<uint16_t>{*code} : std::vector<uint16_t>{});
    if (const ResultCode written = write(data); written != ResultCode::noError) {
        return {written, std::nullopt};
    }
    std::optional<OrvaneRfidCommand> request;
    try {
        request.emplace(OrvaneRfidCommand::SendBytes{data});
    } catch (const std::exception& e) {
        orvLogger::error(kTag, std::string("Error creating OrvaneRfidCommand: ") + e.what());
        return {ResultCode::otherError, std::nullopt};
    }
    const OrvRfidCmdId expected = request->id();
    const TimeoutControl timeoutControl(timeout);
    Bytes reply;
    const bool matched = replies_.serve(
        timeoutControl,
        [&](OrvaneRfidCommand& packet) {
            if (packet.id() == expected) {
                reply = packet.rawData();
                return ReplyVerdict::done;
            }
            if (debugOn()) {
                orvLogger::debug(kTag, "Received packet ID: " + idName(packet.id()) +
                                           ", but expected ID: " + idName(expected));
            }
            return ReplyVerdict::putBack;
        },
        [this, ends] { return linkDropped(ends); });
    if (!matched && linkDropped(ends)) {
        orvLogger::debug(kTag, "--- send(data:timeout:) Disconnected");
        return {ResultCode::connectFailed, std::nullopt};
    }
    if (!matched) {
        orvLogger::debug(kTag, "--- send(data:timeout:) Timeout");
        return {ResultCode::timeout, std::nullopt};
    }
    orvLogger::debug(kTag, "--- send(data:timeout:)");
    return {ResultCode::noError, std::move(reply)};
}

Response Vk210Protocol::send(ByteView data, int timeout, int number) {
    if (onAnyLinkThread()) return refusedOnLinkThread("send(data:timeout:number:)");
    const orvLogger::Hold hold;
    const SendTurn turn(*this);
    const uint64_t ends = linkEnds();
    orvLogger::debug(kTag, "+++ send(data:timeout:number:)");
    if (number < 0 || number > 255) {
        orvLogger::error(
            kTag, "send(data:timeout:number:) number out of range: " + std::to_string(number));
        return {ResultCode::outOfRange, std::nullopt};
    }
    // The request frames, cut before writing so that their stale replies can be dropped; the
    // first bytes that form no frame end the list.
    std::vector<ByteView> pieces;
    for (ByteView rest = data; !rest.empty();) {
        const FrameCut cut = OrvaneRfidCommand::cutFrame(rest);
        if (cut.status != FrameCutStatus::complete) break;
        pieces.push_back(rest.first(cut.length));
        rest = rest.subspan(cut.length);
    }
    std::vector<uint16_t> codes;
    for (ByteView piece : pieces) {
        codes.push_back(readBe16(piece, 3));
        purgeStale(codes.back(), "send(data:timeout:number:)");
    }
    const AwaitedReplies awaiting(*this, std::move(codes));

    if (const ResultCode written = write(data); written != ResultCode::noError) {
        return {written, std::nullopt};
    }
    if (number == 0) {
        orvLogger::debug(kTag, "--- send(data:timeout:number:)");
        return {ResultCode::noError, std::nullopt};
    }
    std::deque<OrvRfidCmdId> sent;
    try {
        for (ByteView piece : pieces)
            sent.push_back(OrvaneRfidCommand(OrvaneRfidCommand::SendBytes{piece}).id());
    } catch (const std::exception& e) {
        orvLogger::error(kTag, std::string("Error creating OrvaneRfidCommand: ") + e.what());
        return {ResultCode::otherError, std::nullopt};
    }

    const TimeoutControl timeoutControl(timeout);
    const auto wanted = static_cast<std::size_t>(number);
    std::size_t received = 0;
    Bytes joined;
    const bool complete = replies_.serve(
        timeoutControl,
        [&](OrvaneRfidCommand& packet) {
            orvLogger::trace(kTag, "receivedPacket.count = " + std::to_string(received));
            const std::size_t turns = sent.size();
            if (turns == 0)
                orvLogger::trace(kTag, "send(data:timeout:number:) - Get send packet fail");
            for (std::size_t i = 0; i < turns; ++i) {
                const OrvRfidCmdId request = sent.front();
                sent.pop_front();
                if (request == packet.id()) {
                    if (debugOn()) {
                        orvLogger::debug(kTag, "send(data:timeout:number:) - Get correct packet: " +
                                                   idName(packet.id()));
                    }
                    const Bytes& raw = packet.rawData();
                    joined.insert(joined.end(), raw.begin(), raw.end());
                    if (++received == wanted) return ReplyVerdict::done;
                    if (debugOn()) {
                        orvLogger::debug(kTag,
                                         "Need response count: " + std::to_string(wanted) +
                                             ", but received count = " + std::to_string(received));
                    }
                    return ReplyVerdict::taken;
                }
                if (debugOn()) {
                    orvLogger::debug(kTag, "send(data:timeout:number:) - Received packet ID: " +
                                               idName(packet.id()) +
                                               ", but expected ID: " + idName(request));
                }
                sent.push_back(request);
            }
            if (debugOn()) {
                orvLogger::debug(kTag, "Received packet ID: " + idName(packet.id()) +
                                           ", but not in send packet queue");
            }
            return ReplyVerdict::putBack;
        },
        [this, ends] { return linkDropped(ends); });
    if (!complete && linkDropped(ends)) {
        orvLogger::debug(kTag, "--- send(data:timeout:number:) Disconnected");
        return {ResultCode::connectFailed, std::nullopt};
    }
    if (!complete) {
        orvLogger::debug(kTag, "--- send(data:timeout:number:) Timeout");
        return {ResultCode::timeout, std::nullopt};
    }
    orvLogger::debug(kTag, "--- send(data:timeout:number:)");
    return {ResultCode::noError, std::move(joined)};
}

bool Vk210Protocol::start() {
    const orvLogger::Hold hold;
    const SendTurn turn(*this);
    orvLogger::info(kTag, "*** start()");
    launchReceiveLoop([this] {
        {
            std::lock_guard rec(recLock_);
            recBuffer_.clear();
            lastData_ = Clock::now();
            ++resetEpoch_;
        }
        replies_.clear();
        orvLogger::trace(kTag, "+++ keepReadThread()");
    });
    return true;
}

void Vk210Protocol::stop() {
    const orvLogger::Hold hold;
    const SendTurn turn(*this);
    // Frames cut and not yet dispatched go with the loop.
    ++resetEpoch_;
    BaseProtocol::stop();
}

void Vk210Protocol::announceBank(BankType bank, Clock::time_point at) {
    // The dumps learn of it first: the transport logs the outcome before this object reads it.
    if (const auto& link = transport()) link->announcedBanks()->announce(bank, at);
    bankItems_.enqueue({bank, at});
}

void Vk210Protocol::pumpEvent(const ProtocolEventArgs& event) {
    switch (event.id()) {
        case ProtocolEventId::resetBuffer: {
            orvLogger::trace(kTag, "+++ pumpEvent(_:) Reset buffer");
            // Bytes and frames are not cleared: they may hold the reply an exchange waits for,
            // whole or in part, or a tag access's outcome, which would then never come.
            ++tagResets_;
            std::vector<uint16_t> awaited;
            {
                std::lock_guard guard(awaitedLock_);
                awaited = awaited_;
            }
            replies_.purge([&awaited](const OrvaneRfidCommand& reply) {
                return std::find(awaited.begin(), awaited.end(), rawValue(reply.id())) ==
                       awaited.end();
            });
            orvLogger::trace(kTag, "--- pumpEvent(_:) Reset buffer");
            break;
        }
        case ProtocolEventId::setEngineReadyEvent:
        case ProtocolEventId::skuType:
            notify(delegate(), event);
            break;
        case ProtocolEventId::accessBankType:
            if (const BankType* bank = event.get<BankType>()) {
                announceBank(*bank, Clock::now());
            } else {
                orvLogger::error(kTag, "pumpEvent(_:) accessBankType without a bank, dropped");
            }
            break;
        default:
            break;
    }
}

void Vk210Protocol::clearBuffers() {
    {
        std::lock_guard rec(recLock_);
        recBuffer_.clear();
        ++resetEpoch_;
    }
    replies_.clear();
    bankItems_.clear();
}

std::optional<BankType> Vk210Protocol::takeBank() {
    const std::size_t held = bankItems_.count();
    const auto now = Clock::now();
    for (std::size_t i = 0; i < held; ++i) {
        auto item = bankItems_.dequeue();
        if (!item) break;
        if (now - item->timestamp < bankItemLifetime) return item->bankType;
    }
    return std::nullopt;
}

void Vk210Protocol::readTransport(const DispatchWorkItem& self) {
    // A stopped loop takes nothing more: what the queue holds from now on may be the next
    // connection's.
    if (self.isCancelled()) return;
    ByteQueue& received = transport()->byteQueue();
    const int count = received.count();
    if (count <= 0) return;
    if (readBuffer_.size() < static_cast<std::size_t>(count)) {
        readBuffer_.resize(static_cast<std::size_t>(count));
    }
    // What is queued now and no more: a turn that waited for the count it saw (the queue emptied
    // meanwhile by a link that ended and came up again) would take the next connection's bytes,
    // keep the loop that replaces it from turning, and drop them.
    const int read = received.dequeue(readBuffer_, 0, count);
    if (read <= 0) return;
    std::lock_guard rec(recLock_);
    recBuffer_.insert(recBuffer_.end(), readBuffer_.begin(), readBuffer_.begin() + read);
    lastData_ = Clock::now();
}

uint64_t Vk210Protocol::cutFrames(const DispatchWorkItem& self) {
    frames_.clear();
    uint64_t epoch;
    {
        // The loop takes the whole buffer and cuts it outside the lock; only this thread
        // appends to the buffer, so nothing arrives in between, and a stop shows in the epoch.
        std::lock_guard rec(recLock_);
        epoch = resetEpoch_.load();
        work_.swap(recBuffer_);
        recBuffer_.clear();
    }
    const auto cutter = [](ByteView bytes) { return OrvaneRfidCommand::cutFrame(bytes); };
    std::size_t kept = 0;
    const auto keep = [&](ByteView frame) {
        frames_.push_back({static_cast<std::size_t>(frame.data() - work_.data()), frame.size()});
        kept += frame.size();
    };
    const auto stopped = [&self] { return self.isCancelled(); };
    std::size_t consumed = forEachFrameUntil(work_, cutter, keep, stopped);
    // A stopped loop cuts no further: its connection has ended, and what it holds goes.
    if (stopped()) {
        frames_.clear();
        return epoch;
    }
    const auto reportDropped = [&] {
        if (consumed <= kept) return;
        orvLogger::error(kTag, "keepReadThread() ************ Dropped " +
                                   std::to_string(consumed - kept) +
                                   " byte(s) that start no valid frame");
    };
    if (consumed == work_.size()) {
        reportDropped();
        return epoch;
    }

    // An incomplete frame waits for its next bytes, unless none came for a second. Bytes the
    // transport holds arrived after the last take: a turn that cut for longer than that second
    // has not waited for them.
    std::lock_guard rec(recLock_);
    if (resetEpoch_.load() != epoch) return epoch;
    if (transport()->byteQueue().count() == 0 && Clock::now() - lastData_ > stallLimit) {
        orvLogger::error(kTag, "keepReadThread() There is no data in 1 second, clear buffer");
        // The head was a false start: its first byte goes and the rest is cut again, so a
        // frame that arrived behind it is not lost. Nothing more is coming, so every head left
        // incomplete is a false start too.
        while (consumed < work_.size() && !stopped()) {
            ++consumed;
            consumed += forEachFrameUntil(ByteView(work_).subspan(consumed), cutter, keep, stopped);
        }
        reportDropped();
        return epoch;
    }
    reportDropped();
    recBuffer_.assign(work_.begin() + static_cast<long>(consumed), work_.end());
    if (orvLogger::isEnabled(LogLevel::trace)) {
        orvLogger::trace(kTag, "keepReadThread() packet size is not enough (" +
                                   std::to_string(recBuffer_.size()) + ")");
    }
    return epoch;
}

bool Vk210Protocol::receiveTurn(const DispatchWorkItem& self) {
    const ConnectState state = transport()->connectState();
    if (state == ConnectState::disconnected) {
        orvLogger::error(kTag, "keepReadThread() transport is disconnected, exit thread");
        return false;
    }
    if (state != ConnectState::connected) return true;
    readTransport(self);
    const uint64_t epoch = cutFrames(self);
    if (frames_.empty()) return true;
    const auto target = delegate();
    for (const FrameSpan& span : frames_) {
        // A stop since the cut drops the frames not yet dispatched.
        if (resetEpoch_.load() != epoch || self.isCancelled()) break;
        dispatch(ByteView(work_).subspan(span.offset, span.length), target, epoch);
    }
    return true;
}

void Vk210Protocol::receiveEnded(bool current) {
    if (current) clearBuffers();
    orvLogger::trace(kTag, "--- keepReadThread()");
}

void Vk210Protocol::dispatch(ByteView frame, const std::shared_ptr<BaseProtocolDelegate>& delegate,
                             uint64_t epoch) {
    const std::optional<CommandFrame> parsed = OrvaneRfidCommand::parseFrame(frame);
    if (!parsed) {
        // The frame is whole and its checksum right, but its code is unknown or a reply lacks
        // its status byte: only this frame is dropped.
        orvLogger::error(kTag,
                         "keepReadThread() ************ Dropped frame: " +
                             toHexDumpString(frame.first(std::min<std::size_t>(frame.size(), 8))));
        return;
    }
    const OrvRfidCmdId id = parsed->id;
    if (orvLogger::isEnabled(LogLevel::trace)) {
        orvLogger::trace(kTag, "keepReadThread() Packet ID: " + idName(id));
    }
    if (debugOn()) {
        const ByteView d = parsed->data;
        const uint16_t raw = d.size() == 2 ? readBe16(d, 0) : 0;
        if (id == OrvRfidCmdId::ambientTemperature || id == OrvRfidCmdId::paTemperature) {
            orvLogger::debug(kTag, std::string("keepReadThread() ") +
                                       (id == OrvRfidCmdId::paTemperature ? "PA" : "Ambient") +
                                       " Temperature: " + tenths(raw) +
                                       ", Raw: " + std::to_string(raw));
        } else if (id == OrvRfidCmdId::batteryStatus) {
            orvLogger::debug(
                kTag, "keepReadThread() Battery Status: packetData: " + toHexString(frame) +
                          ", batteryStatus: " +
                          OrvaneRfidCommand(OrvaneRfidCommand::ReceiveBytes{frame}).description());
        }
    }
    const Vk210FrameRole role = vk210FrameRole(id);
    if (role.raisesEvent) {
        const std::optional<BankType> bank =
            id == OrvRfidCmdId::tagAccessData ? takeBank() : std::nullopt;
        if (delegate) {
            for (ProtocolEventArgs& event : vk210FrameEvents(*parsed, bank)) {
                if (event.id() == ProtocolEventId::tagInfo) {
                    // A tag report cut before a reset or a stop is not raised, but counted.
                    deliverTagLater([this, delegate, epoch, resets = tagResets_.load(),
                                     event = std::move(event)] {
                        if (resetEpoch_.load() != epoch || tagResets_.load() != resets) {
                            return dropTagReport();
                        }
                        notify(delegate, event);
                    });
                } else {
                    deliverLater([this, delegate, epoch, event = std::move(event)] {
                        if (resetEpoch_.load() == epoch) notify(delegate, event);
                    });
                }
            }
        }
    }
    if (role.isReply) {
        try {
            // The reply follows its events, and is queued even when they throw.
            deliverLater(
                [this, epoch,
                 reply =
                     std::make_shared<OrvaneRfidCommand>(OrvaneRfidCommand::ReceiveBytes{frame})] {
                    if (resetEpoch_.load() == epoch) replies_.push(std::move(*reply));
                },
                false);
        } catch (const std::exception& e) {
            orvLogger::error(kTag, std::string("keepReadThread() ************ ") + e.what());
        }
    }
}

}  // namespace orvane
