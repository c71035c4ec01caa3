#pragma once

// A Vk210 device wired to a simulated Vk210 through a protocol that hands each request straight
// to the simulator on the caller's thread and returns what it answers.

#include <functional>
#include <memory>
#include <mutex>

#include "DeviceTestSupport.h"
#include "orvanerfid/devices/Vk210Device.h"
#include "sim/SimVk210.h"

namespace orvane::test {

class DirectSimProtocol : public BaseProtocol {
  public:
    DirectSimProtocol(std::shared_ptr<SimVk210> reader, std::function<void(uint32_t)>& onRequest)
        : BaseProtocol("DirectSimProtocol", std::make_shared<FirmwareTransport>(),
                       DispatchQueue::make("test.direct", DispatchQoS::userInitiated,
                                           DispatchQueueAttributes::concurrent)),
          reader_(std::move(reader)),
          onRequest_(onRequest) {}

    Response send(ByteView data, int timeout) override { return send(data, timeout, 1); }
    Response send(ByteView data, int timeout, int) override {
        std::lock_guard guard(sendLock_);
        if (onRequest_) {
            forEachFrame(data, OrvaneRfidCommand::cutFrame,
                         [this](ByteView frame) { onRequest_(readBe16(frame, 3)); });
        }
        Peer peer;
        ByteView rest = data;
        while (!rest.empty()) {
            const std::size_t used = reader_->respond(rest, peer);
            if (used == 0) break;
            rest = rest.subspan(used);
        }
        if (peer.late >= std::chrono::milliseconds(timeout) || peer.replies.empty()) {
            return Response(ResultCode::timeout, std::nullopt);
        }
        return Response(ResultCode::noError, peer.replies);
    }
    bool start() override { return true; }

  protected:
    bool receiveTurn(const DispatchWorkItem&) override { return false; }
    void receiveEnded(bool) override {}

  private:
    struct Peer : SimPeer {
        Bytes replies;
        Clock::duration late{};
        void send(Bytes bytes, Clock::duration delay, std::size_t, Clock::duration) override {
            late = std::max(late, delay);
            replies.insert(replies.end(), bytes.begin(), bytes.end());
        }
        bool stream(ByteView, std::size_t, Clock::duration) override { return false; }
        void dropLink() override {}
        bool isDropped() const override { return false; }
        std::weak_ptr<SimPeer> weakPeer() override { return {}; }
    };

    std::mutex sendLock_;
    const std::shared_ptr<SimVk210> reader_;
    std::function<void(uint32_t)>& onRequest_;
};

struct SimulatedVk210Link {
    // Called with the command code of each request before the simulator sees it.
    std::function<void(uint32_t)> onRequest;
    std::shared_ptr<SimVk210> reader = std::make_shared<SimVk210>();
    std::shared_ptr<Vk210Device> device =
        Vk210Device::create(std::make_shared<DirectSimProtocol>(reader, onRequest));
};

}  // namespace orvane::test
