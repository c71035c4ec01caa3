#pragma once

// A protocol object that answers a driver's requests from a script and records what the driver
// hands it, and a recorder for what the driver hands the UHF object.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/Vk210TestSupport.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/commands/ProtocolEvent.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/params/RfidConfig.h"
#include "orvanerfid/uhfmodules/UhfDelegate.h"
#include "support/TestSupport.h"

namespace orvane::test {

// The data area of a request frame (after STX, LEN and CMD).
inline Bytes requestData(const Bytes& frame) {
    return Bytes(frame.begin() + 5, frame.end() - 3);
}

// Answers every request frame it is sent: by default with status success and no data; a
// scripted command id with its scripted frame. A send of several requests (`number` > 1)
// answers each and returns the replies back to back. Everything is recorded in order, the
// events pumped into it included, so tests can check what went out before what.
class RecordingProtocol : public BaseProtocol {
  public:
    RecordingProtocol() : BaseProtocol("RecordingProtocol", nullptr, nullptr) {}

    void answer(OrvRfidCmdId id, const Bytes& data,
                OrvRfidCmdStatus status = OrvRfidCmdStatus::success) {
        answerFrame(id, replyFrame(id, rawValue(status), data));
    }
    void answerStatus(OrvRfidCmdId id, OrvRfidCmdStatus status) { answer(id, {}, status); }
    // The exact bytes that answer `id` (another command's frame, a malformed one).
    void answerFrame(OrvRfidCmdId id, Bytes frame) {
        std::lock_guard guard(lock_);
        script_[id] = std::move(frame);
    }
    // Every later send completes with `code` and no data.
    void failSends(ResultCode code) {
        std::lock_guard guard(lock_);
        failure_ = code;
    }
    // Replies to a send of several requests come back last request first.
    void reverseReplies(bool reversed) {
        std::lock_guard guard(lock_);
        reversed_ = reversed;
    }
    // Every later send completes with `response` as it stands.
    void respondWith(std::optional<Response> response) {
        std::lock_guard guard(lock_);
        fixed_ = std::move(response);
    }

    Response send(ByteView data, int timeout) override { return exchange(data, timeout, 1); }
    Response send(ByteView data, int timeout, int number) override {
        return exchange(data, timeout, number);
    }
    bool start() override { return true; }
    bool receiveTurn(const DispatchWorkItem&) override { return false; }
    void receiveEnded(bool) override {}
    void pumpEvent(const ProtocolEventArgs& event) override {
        std::lock_guard guard(lock_);
        journal_.push_back("event:" + std::string(caseName(event.id())));
        events_.push_back(event);
    }

    struct Send {
        int timeout;
        int number;
        std::vector<Bytes> frames;
    };
    std::vector<Send> sends() const {
        std::lock_guard guard(lock_);
        return sends_;
    }
    // Every request frame in order, across sends.
    std::vector<Bytes> requests() const {
        std::lock_guard guard(lock_);
        std::vector<Bytes> out;
        for (const auto& s : sends_)
            out.insert(out.end(), s.frames.begin(), s.frames.end());
        return out;
    }
    std::vector<OrvRfidCmdId> requestIds() const {
        std::vector<OrvRfidCmdId> out;
        for (const auto& frame : requests())
            out.push_back(*fromRaw<OrvRfidCmdId>(readBe16(frame, 3)));
        return out;
    }
    // The request frames of one command, in order.
    std::vector<Bytes> requestsOf(OrvRfidCmdId id) const {
        std::vector<Bytes> out;
        for (const auto& frame : requests()) {
            if (readBe16(frame, 3) == rawValue(id)) out.push_back(frame);
        }
        return out;
    }
    std::vector<ProtocolEventArgs> events() const {
        std::lock_guard guard(lock_);
        return events_;
    }
    // "send:<command>" and "event:<id>" in the order they happened.
    std::vector<std::string> journal() const {
        std::lock_guard guard(lock_);
        return journal_;
    }
    void clearRecords() {
        std::lock_guard guard(lock_);
        sends_.clear();
        events_.clear();
        journal_.clear();
    }

  private:
    Response exchange(ByteView data, int timeout, int number) {
        std::lock_guard guard(lock_);
        Send send{timeout, number, {}};
        std::vector<Bytes> replies;
        forEachFrame(data, OrvaneRfidCommand::cutFrame, [&](ByteView frame) {
            send.frames.emplace_back(frame.begin(), frame.end());
            const auto id = *fromRaw<OrvRfidCmdId>(readBe16(frame, 3));
            journal_.push_back("send:" + std::string(caseName(id)));
            const auto scripted = script_.find(id);
            const Bytes reply = scripted != script_.end() ? scripted->second : replyFrame(id, 0);
            replies.push_back(reply);
        });
        if (reversed_) std::reverse(replies.begin(), replies.end());
        Bytes joined;
        for (const auto& reply : replies)
            joined.insert(joined.end(), reply.begin(), reply.end());
        sends_.push_back(std::move(send));
        if (fixed_) return *fixed_;
        if (failure_) return Response(*failure_, std::nullopt);
        return Response(ResultCode::noError, std::move(joined));
    }

    mutable std::mutex lock_;
    std::map<OrvRfidCmdId, Bytes> script_;
    std::optional<ResultCode> failure_;
    bool reversed_ = false;
    std::optional<Response> fixed_;
    std::vector<Send> sends_;
    std::vector<ProtocolEventArgs> events_;
    std::vector<std::string> journal_;
};

// The UHF object's side of a driver: keeps the tag reports and access results.
class RecordingUhf : public UhfDelegate {
  public:
    void readTag(std::shared_ptr<UhfReader> reader, std::shared_ptr<TagInfo> tagInfo) override {
        EXPECT_EQ(reader, nullptr);
        std::lock_guard guard(lock_);
        tags_.push_back(std::move(tagInfo));
    }
    void accessResult(std::shared_ptr<UhfReader> reader,
                      const AccessResultEventArgs& result) override {
        EXPECT_EQ(reader, nullptr);
        std::lock_guard guard(lock_);
        results_.push_back(result);
    }
    std::vector<std::shared_ptr<TagInfo>> tags() const {
        std::lock_guard guard(lock_);
        return tags_;
    }
    std::vector<AccessResultEventArgs> results() const {
        std::lock_guard guard(lock_);
        return results_;
    }

  private:
    mutable std::mutex lock_;
    std::vector<std::shared_ptr<TagInfo>> tags_;
    std::vector<AccessResultEventArgs> results_;
};

// A settings record far from the defaults in every field the Qm5520 module keeps.
inline RfidConfig unusualConfig() {
    RfidConfig c;
    c.selectMode = SelectMode::selected;
    c.session = Session::s2;
    c.target = Target::b;
    c.algorithm = AlgorithmType::fixedQ;
    c.startQ = 5;
    c.maxQ = 15;
    c.minQ = 2;
    c.toggleTarget = true;
    c.power = 27;
    c.dwellTime = 500;
    c.inventoryTime = 300;
    c.idleTime = 100;
    c.continuousMode = false;
    c.rfMode = RfMode::rf_15;
    c.lbt = true;
    c.fastId = true;
    c.powerSavingMode = PowerSavingMode::powerOn;
    c.lbtConfigure = -73;
    c.asMode = AntennaSwitchingMode::nonStop;
    c.fsMode = FrequencySwitchingMode::nonStop;
    return c;
}

// Collects what a completion was called with.
template <typename T>
struct Outcome {
    int calls = 0;
    ResultCode code = ResultCode::noError;
    std::optional<T> value;

    std::function<void(ResultCode, std::optional<T>)> completion() {
        return [this](ResultCode c, std::optional<T> v) {
            ++calls;
            code = c;
            value = std::move(v);
        };
    }
};

struct ResultOutcome {
    int calls = 0;
    ResultCode code = ResultCode::noError;

    std::function<void(ResultCode)> completion() {
        return [this](ResultCode c) {
            ++calls;
            code = c;
        };
    }
};

}  // namespace orvane::test
