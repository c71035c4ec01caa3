#pragma once

// The engine suites' reader stand-in and delegate: a ReaderLink that owns a Vk210 device on the
// accessory transport, connected to a simulated Vk210, and a ParameterDelegate that records
// every call.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devices/SimulatedVk210Link.h"
#include "orvanerfid/engines/ParameterDelegate.h"
#include "orvanerfid/engines/ReaderLink.h"
#include "orvanerfid/engines/ZebraPacket.h"
#include "orvanerfid/params/EngineParam.h"
#include "orvanerfid/params/ParamData.h"
#include "orvanerfid/params/ParamNumberCodec.h"
#include "support/TestSupport.h"

namespace orvane::test {

// How many numbers (a read) or entries (a write) an engine packet carries.
inline std::size_t zebraItems(const ZebraPacket& packet) {
    std::size_t items = 0;
    for (std::size_t at = 0, length = 0; at < packet.data.size(); at += length, ++items) {
        if (packet.opcode == Opcode::PARAM_REQUEST) {
            length = ParamNumberCodec::length(packet.data[at]);
        } else {
            ParamDataCodec::decode(ByteView(packet.data).subspan(at), length);
        }
    }
    return items;
}

// A value other than the row's default: another option, or the other end of its range.
inline std::string otherValue(const EngineParam& row) {
    for (const std::string& option : row._options()) {
        if (option != row.defaultValue()) return option;
    }
    return std::to_string(std::to_string(row._max()) == row.defaultValue() ? row._min()
                                                                           : row._max());
}

class SimReaderLink : public ReaderLink {
  public:
    explicit SimReaderLink(EngineModel model) { sim.reader->scanEngine().loadDefaults(model); }

    std::shared_ptr<BaseDevice> linkDevice() const override {
        return hasDevice.load() ? sim.device : nullptr;
    }
    std::shared_ptr<BaseTransport> linkTransport() const override { return sim.transport; }
    std::string linkDescription() const override { return "SimReaderLink"; }
    std::shared_ptr<UhfReader> linkUhfReader() override { return nullptr; }
    ActionState linkActionState() const override { return ActionState::stop; }
    int addFailure() override { return ++failures; }
    void resetFailures() override { failures = 0; }
    int failCount() const override { return failures.load(); }
    void markAlive() override { ++signsOfLife; }
    bool transportDisconnect() override { return sim.transport->disconnect(); }
    void closeConnection(uint64_t link) override { sim.transport->disconnectLink(link); }
    void skuType(SkuType) override {}

    SimulatedVk210Link sim;
    std::atomic<bool> hasDevice{true};
    std::atomic<int> failures{0};
    std::atomic<int> signsOfLife{0};
};

// Every delegate call of every request, in arrival order.
class RecordingDelegate : public ParameterDelegate {
  public:
    struct Call {
        char kind;  // 'R' didReceive, 'F' didFail, 'E' didFinish
        int id;
        EngineParamId param = EngineParamId{};
        std::string value;
        ResultCode code = ResultCode::noError;
    };

    void didReceive(int id, const BaseParam& param) override {
        const EngineParam* engineParam = param.toEngineParam();
        ASSERT_NE(engineParam, nullptr);
        add({'R', id, engineParam->id(), engineParam->getValue(), ResultCode::noError});
    }
    void didFail(int id, const CodedError& error) override {
        add({'F', id, EngineParamId{}, error.message(), error.resultCode()});
    }
    void didFinish(int id) override { add({'E', id, EngineParamId{}, {}, ResultCode::noError}); }

    // Called after each call is recorded, on the thread that made it.
    std::function<void(const Call&)> onCall;

    // Waits until `count` requests have finished.
    bool waitFinished(int count = 1) {
        std::unique_lock guard(lock_);
        return done_.wait_for(guard, std::chrono::seconds(20), [&] { return finished_ >= count; });
    }
    std::vector<Call> calls() const {
        std::lock_guard guard(lock_);
        return calls_;
    }
    // The kinds in order ("RRE").
    std::string kinds() const {
        std::string out;
        for (const Call& call : calls())
            out += call.kind;
        return out;
    }

  private:
    void add(const Call& call) {
        {
            std::lock_guard guard(lock_);
            calls_.push_back(call);
            if (calls_.back().kind == 'E') ++finished_;
        }
        if (onCall) onCall(call);
        done_.notify_all();
    }

    mutable std::mutex lock_;
    std::condition_variable done_;
    std::vector<Call> calls_;
    int finished_ = 0;
};

}  // namespace orvane::test
