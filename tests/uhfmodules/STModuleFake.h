#pragma once

// A protocol object that plays an ST25RU3993 module in the unit tests: it records every send
// and answers each request packet from a small module state (configuration records by tag,
// registers, Gen2 statuses), unless a scripted response is queued first.

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "commands/STTestSupport.h"
#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/commands/ST25RU3993Packets.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/uhfmodules/UhfModuleST25RU3993.h"

namespace orvane::test {

class STModuleFake : public BaseProtocol {
  public:
    struct Call {
        std::vector<Bytes> packets;  // the request packets of one send
        int timeout;
        int number;  // 0 for a single send
    };

    // `transport`: the link the module's sends count as going through (none by default).
    explicit STModuleFake(std::shared_ptr<BaseTransport> transport = nullptr)
        : BaseProtocol("STModuleFake", std::move(transport), nullptr) {
        records[0x10] = STUHFL_T_ST25RU3993_Gen2_InventoryCfg().valueBytes();
        records[0x0C] = STUHFL_T_ST25RU3993_Gen2_ProtocolCfg().valueBytes();
        records[0x0E] = STUHFL_T_ST25RU3993_TxRxCfg().valueBytes();
        records[0x09] = STUHFL_T_ST25RU3993_FreqHop().valueBytes();
        records[0x0A] = STUHFL_T_ST25RU3993_FreqLBT().valueBytes();
        records[0x08] = STUHFL_T_ST25RU3993_FreqProfileInfo().valueBytes();
        registers[0x09] = 0x24;
        registers[0x0A] = 0x62;
    }

    // Configuration values by TLV tag; a set stores its value (tag 0x06 sets the profile).
    std::map<uint8_t, Bytes> records;
    std::map<uint8_t, uint8_t> registers;
    // Status and tag reply of the replies to (group, subcode).
    std::map<std::pair<uint8_t, uint8_t>, std::pair<uint16_t, uint8_t>> failures;
    // The words a read returns.
    Bytes memory;
    // Answers queued for the next sends, one per send, before the model answers again.
    void next(Bytes reply) { scripted_.push_back({false, ResultCode::noError, std::move(reply)}); }
    void nextFailure(ResultCode code) { scripted_.push_back({false, code, {}}); }
    void nextFromModel() { scripted_.push_back({true, ResultCode::noError, {}}); }

    std::vector<Call> calls;
    // Runs at each send, before it is answered.
    std::function<void()> onSend;
    std::vector<ProtocolEventId> pumped;
    double gValue = -1;

    Response send(ByteView data, int timeout) override { return handle(data, timeout, 0); }
    Response send(ByteView data, int timeout, int number) override {
        return handle(data, timeout, number);
    }
    bool start() override { return true; }
    bool receiveTurn(const DispatchWorkItem&) override { return false; }
    void receiveEnded(bool) override {}
    void pumpEvent(const ProtocolEventArgs& event) override {
        pumped.push_back(event.id());
        if (const double* gain = event.get<double>()) gValue = *gain;
    }

    // The request packets of all sends, in order.
    std::vector<STPacket> sent() const {
        std::vector<STPacket> out;
        for (const Call& call : calls) {
            for (const Bytes& p : call.packets)
                out.emplace_back(p);
        }
        return out;
    }
    // (group, subcode) of every request packet sent.
    std::vector<std::pair<int, int>> kinds() const {
        std::vector<std::pair<int, int>> out;
        for (const STPacket& p : sent())
            out.emplace_back(p.cmdGroup(), p.cmdSubcode());
        return out;
    }
    std::size_t setsOf(uint8_t tag) const {
        std::size_t n = 0;
        for (const STPacket& p : sent()) {
            if (p.cmdGroup() == 1 && p.cmdSubcode() == 1 && p.payload()[0] == tag) ++n;
        }
        return n;
    }

  private:
    struct Scripted {
        bool model;
        ResultCode code;
        Bytes reply;
    };

    Response handle(ByteView data, int timeout, int number) {
        calls.push_back({toSTPackets(data), timeout, number});
        if (onSend) onSend();
        if (!scripted_.empty()) {
            const Scripted next = scripted_.front();
            scripted_.pop_front();
            if (!next.model) {
                if (next.code != ResultCode::noError) return Response(next.code, std::nullopt);
                return Response(ResultCode::noError, next.reply);
            }
        }
        Bytes reply;
        for (const Bytes& packet : calls.back().packets) {
            const Bytes answer = answerOf(STPacket(packet));
            reply.insert(reply.end(), answer.begin(), answer.end());
        }
        return Response(ResultCode::noError, reply);
    }

    Bytes answerOf(const STPacket& request) {
        const uint8_t group = request.cmdGroup();
        const uint8_t subcode = request.cmdSubcode();
        Bytes payload = request.payload();
        uint16_t status = 0;
        if (const auto f = failures.find({group, subcode}); f != failures.end()) {
            status = f->second.first;
            if (!payload.empty() && group == 2) payload.back() = f->second.second;
        }
        if (group == 1 && subcode == 0) {
            const uint8_t tag = payload[0];
            Bytes value = tag == 0x01 ? Bytes{payload[2], registers[payload[2]]} : records[tag];
            payload = {tag, static_cast<uint8_t>(value.size())};
            payload.insert(payload.end(), value.begin(), value.end());
        } else if (group == 1 && subcode == 1 && status == 0 && payload[0] != 0x02) {
            const Bytes value(payload.begin() + 2, payload.end());
            if (payload[0] == 0x06) {
                records[0x08][0] = value[0];
            } else {
                records[payload[0]] = value;
            }
        } else if (group == 2 && subcode == 5) {
            const std::size_t count = payload[2 + 5];
            payload[2 + 10] = static_cast<uint8_t>(count);  // numReadBytes
            payload.resize(2 + 11);
            for (std::size_t i = 0; i < count; ++i)
                payload.push_back(i < memory.size() ? memory[i] : 0);
            payload.resize(std::max<std::size_t>(payload.size(), 2 + 75), 0);
            payload[1] = static_cast<uint8_t>(payload.size() - 2);
        } else if (group == 0x10 && subcode == 0x01) {
            Bytes text(16, 0);
            const std::string version = "1.1.10";
            std::copy(version.begin(), version.end(), text.begin());
            payload = {0x01, 16};
            payload.insert(payload.end(), text.begin(), text.end());
        }
        return sttest::packet(group, subcode, payload, status);
    }

    std::deque<Scripted> scripted_;
};

}  // namespace orvane::test
