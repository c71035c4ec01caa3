#pragma once

// A driver wired straight to a simulated Vk210, without a transport: each send hands the request
// frames to the simulator and takes its replies; the frames it sends on its own (tag reports,
// access results, the end of an inventory) become protocol events for a recording device, as the
// receive loop would raise them.

#include <memory>
#include <mutex>
#include <optional>

#include "orvanerfid/commands/ProtocolEvent.h"
#include "sim/SimVk210.h"
#include "sim/SimVk210Module.h"
#include "uhfmodules/ModuleTestSupport.h"

namespace orvane::test {

class LoopbackProtocol;

// The link's peer end: replies go back to the waiting send, other frames become events.
class LoopbackPeer : public SimPeer, public std::enable_shared_from_this<LoopbackPeer> {
  public:
    explicit LoopbackPeer(LoopbackProtocol& protocol) : protocol_(protocol) {}
    void send(Bytes bytes, Clock::duration, std::size_t, Clock::duration) override;
    bool stream(ByteView bytes, std::size_t, Clock::duration) override;
    void dropLink() override {}
    bool isDropped() const override { return false; }
    std::weak_ptr<SimPeer> weakPeer() override { return weak_from_this(); }

  private:
    LoopbackProtocol& protocol_;
};

class LoopbackProtocol : public BaseProtocol {
  public:
    explicit LoopbackProtocol(std::shared_ptr<SimVk210> reader)
        : BaseProtocol("LoopbackProtocol", nullptr, nullptr), reader_(std::move(reader)) {}
    ~LoopbackProtocol() override { reader_->stopStream(); }

    Response send(ByteView data, int timeout, int number) override {
        std::lock_guard sendGuard(sendLock_);
        {
            std::lock_guard guard(lock_);
            replies_.clear();
        }
        reader_->respond(data, *peer_);
        std::lock_guard guard(lock_);
        if (static_cast<int>(replyCount_) < number) {
            replyCount_ = 0;
            return Response(ResultCode::timeout, std::nullopt);
        }
        replyCount_ = 0;
        (void)timeout;
        return Response(ResultCode::noError, replies_);
    }
    Response send(ByteView data, int timeout) override { return send(data, timeout, 1); }
    bool start() override { return true; }
    bool receiveTurn(const DispatchWorkItem&) override { return false; }
    void receiveEnded(bool) override {}
    void pumpEvent(const ProtocolEventArgs& event) override {
        if (const auto* bank = event.get<BankType>()) {
            std::lock_guard guard(lock_);
            bank_ = *bank;
        }
    }

    // A frame from the simulator.
    void fromReader(ByteView bytes) {
        forEachFrame(bytes, OrvaneRfidCommand::cutFrame, [&](ByteView frame) {
            const auto parsed = OrvaneRfidCommand::parseFrame(frame);
            if (!parsed) return;
            if (vk210FrameRole(parsed->id).isReply) {
                std::lock_guard guard(lock_);
                replies_.insert(replies_.end(), frame.begin(), frame.end());
                ++replyCount_;
                return;
            }
            std::optional<BankType> bank;
            {
                std::lock_guard guard(lock_);
                bank = bank_;
            }
            for (const auto& event : vk210FrameEvents(*parsed, bank)) {
                if (const auto device = delegate()) device->protocolEvent(event);
            }
        });
    }

  private:
    const std::shared_ptr<SimVk210> reader_;
    const std::shared_ptr<LoopbackPeer> peer_ = std::make_shared<LoopbackPeer>(*this);
    std::mutex sendLock_;
    std::mutex lock_;
    Bytes replies_;
    std::size_t replyCount_ = 0;
    std::optional<BankType> bank_;
};

inline void LoopbackPeer::send(Bytes bytes, Clock::duration, std::size_t, Clock::duration) {
    protocol_.fromReader(bytes);
}

inline bool LoopbackPeer::stream(ByteView bytes, std::size_t, Clock::duration) {
    protocol_.fromReader(bytes);
    return true;
}

}  // namespace orvane::test
