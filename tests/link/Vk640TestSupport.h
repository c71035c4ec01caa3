#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "LinkTestSupport.h"
#include "commands/STTestSupport.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/link/BaseTransport.h"

namespace orvane::test {

// A transport with the reader played by the test: `answer` sees every write and may push bytes
// back with `fromReader`, which also serves unsolicited packets.
class PacketTransport : public BaseTransport {
  public:
    explicit PacketTransport(std::string firmware = "1.01.11")
        : BaseTransport("PacketTransport"), firmware_(std::move(firmware)) {}

    std::function<void(const Bytes& written)> answer;

    std::string firmwareRevision() const override { return firmware_; }
    bool connect() override {
        assignConnectState(ConnectState::connected);
        deliverStateReports();
        return true;
    }
    bool disconnect() override {
        assignConnectState(ConnectState::disconnected);
        deliverStateReports();
        return true;
    }
    int read(std::span<uint8_t> data, int offset, int length, int) override {
        return byteQueue().dequeue(data, offset, length);
    }
    int write(ByteView data, int offset, int length, int) override {
        const Bytes bytes(data.begin() + offset, data.begin() + offset + length);
        {
            std::lock_guard guard(lock_);
            writes_.push_back(bytes);
        }
        if (answer) answer(bytes);
        return length;
    }
    void fromReader(ByteView bytes) { receive(bytes); }

    std::vector<Bytes> writes() const {
        std::lock_guard guard(lock_);
        return writes_;
    }

  private:
    const std::string firmware_;
    mutable std::mutex lock_;
    std::vector<Bytes> writes_;
};

// Keeps every event the protocol raises.
class EventRecorder : public BaseProtocolDelegate {
  public:
    void protocolEvent(const ProtocolEventArgs& event) override {
        std::lock_guard guard(lock_);
        events_.push_back(event);
    }
    std::vector<ProtocolEventArgs> events() const {
        std::lock_guard guard(lock_);
        return events_;
    }
    std::vector<TagInfoPtr> tags() const {
        std::lock_guard guard(lock_);
        std::vector<TagInfoPtr> out;
        for (const auto& e : events_) {
            if (const auto* tag = e.get<TagInfoPtr>()) out.push_back(*tag);
        }
        return out;
    }
    int count(ProtocolEventId id) const {
        std::lock_guard guard(lock_);
        int n = 0;
        for (const auto& e : events_)
            n += e.id() == id ? 1 : 0;
        return n;
    }

  private:
    mutable std::mutex lock_;
    std::vector<ProtocolEventArgs> events_;
};

}  // namespace orvane::test
