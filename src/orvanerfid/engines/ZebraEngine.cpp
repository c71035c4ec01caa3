#include "orvanerfid/engines/ZebraEngine.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>

#include "orvanerfid/commands/ScannerCommands.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/engines/ZebraPacket.h"
#include "orvanerfid/engines/ZebraParamValue.h"
#include "orvanerfid/link/BaseProtocol.h"
#include "orvanerfid/params/ParamData.h"
#include "orvanerfid/params/ParamNumberCodec.h"
#include "orvanerfid/platform/Dispatch.h"

namespace orvane {

namespace {

constexpr const char* kGetParameter = "getParameter(id:engineParamId:delegate:)";
constexpr const char* kSetParameter = "setParameter(id:engineParam:delegate:)";
constexpr const char* kGetParameters = "getParameters(id:engineParamIds:delegate:)";
constexpr const char* kSetParameters = "setParameters(id:engineParams:delegate:)";

// A request packet from the host, alone in its message; reads ask for the engine's current
// (temporary) values, writes store permanently. A write keeps no beep.
ZebraPacket hostPacket(Opcode opcode, Bytes payload) {
    ZebraPacket packet(opcode);
    packet.messageSource = MessageSource::host;
    packet.retransmit = Retransmit::first;
    packet.continuation = Continuation::lastPacket;
    packet.changeType =
        opcode == Opcode::PARAM_REQUEST ? ChangeType::temporary : ChangeType::permanent;
    packet.data = std::move(payload);
    return packet;
}

ZebraParamId zebraIdOf(EngineParamId id) {
    const std::optional<ZebraParamId> zebraId = toZebraParamId(id);
    if (!zebraId) throw ReaderException(ResultCode::notSupported, "");
    return *zebraId;
}

// One entry of a write packet. A value text the parameter cannot carry throws 0x5002 here,
// before anything is sent.
Bytes entryBytes(const EngineParam& param) {
    const ZebraParamId zebraId = zebraIdOf(param.id());
    return ParamDataCodec::encode(
        ParamData(rawValue(zebraId), ZebraParamValue::toBytes(zebraId, param.getValue())));
}

// The entries of a read reply by parameter number (a later one replaces an earlier one). Only a
// parameter packet answers a read: a refusal or any other packet is a failed read, never a
// value.
std::map<int64_t, ParamData> readEntries(const ZebraPacket& reply) {
    if (reply.opcode != Opcode::PARAM_SEND) {
        throw ReaderException(ResultCode::invalidResponse,
                              "Unexpected reply to a parameter request (opcode: " +
                                  std::to_string(rawValue(reply.opcode)) + ")");
    }
    std::map<int64_t, ParamData> entries;
    const ByteView data = reply.data;
    std::size_t at = 0;
    while (at < data.size()) {
        std::size_t length = 0;
        ParamData entry = ParamDataCodec::decode(data.subspan(at), length);
        if (length == 0) break;
        at += length;
        const int64_t number = entry.number;
        entries.insert_or_assign(number, std::move(entry));
    }
    return entries;
}

EngineParam paramOf(ZebraParamId zebraId, const ParamData& entry) {
    EngineParam param(toEngineParamId(zebraId));
    param.setValue(ZebraParamValue::toText(zebraId, entry.data));
    return param;
}

}  // namespace

// One request in flight: the engine it holds, the caller's id and delegate, the log prefix, the
// exchange and the delegate calls. Used by the one work item that runs the request.
class ZebraEngine::Request {
  public:
    enum class Outcome { replied, failed, readerGone };

    Request(std::shared_ptr<ZebraEngine> engine, const char* signature, int id,
            std::shared_ptr<ParameterDelegate> delegate)
        : engine_(std::move(engine)),
          signature_(signature),
          prefix_(std::string(signature) + " - id: " + std::to_string(id)),
          id_(id),
          delegate_(std::move(delegate)) {}

    ZebraEngine& engine() const { return *engine_; }
    const char* signature() const { return signature_; }

    void logError(const std::string& ending) const {
        orvLogger::error(engine_->className(), prefix_ + ending);
    }
    void logTrace(const std::string& ending) const {
        orvLogger::trace(engine_->className(), prefix_ + ending);
    }

    // The delegate calls.
    void receive(const EngineParam& param) {
        report([&](ParameterDelegate& d) { d.didReceive(id_, param); });
    }
    void fail(const CodedError& error) {
        report([&](ParameterDelegate& d) { d.didFail(id_, error); });
    }
    void fail(ResultCode code) { fail(ReaderException(code, "")); }
    // Logs the step that threw, then reports it.
    void failWith(const CodedError& error) {
        logError(", exception: " + error.description());
        fail(error);
    }
    // Called once, by the work item, after the request's last step.
    void finish() {
        report([&](ParameterDelegate& d) { d.didFinish(id_); });
    }

    // Sends `packet` through the reader's device and waits for the engine's reply. No device and
    // a failed send are logged and reported here (failed); a reader that is gone, before the send
    // or by the end of a failed wait, is reported once as no device (readerGone). A reply that
    // cannot be read throws.
    Outcome exchange(const ZebraPacket& packet, bool write, std::optional<ZebraPacket>& reply) {
        OrvRfidCmd_ScannerEngineParameter command;
        command.setEngineData(ZebraCodec::encode(packet));
        std::shared_ptr<BaseDevice> device;
        {
            // The reader is not held during the wait: it may go meanwhile.
            const std::shared_ptr<ReaderLink> reader = engine_->reader_.lock();
            if (reader) device = reader->linkDevice();
        }
        if (!device || !device->baseProtocol()) return noDevice();
        const Response response = device->baseProtocol()->send(command.toBytes(), replyTimeout);
        if (response.resultCode() != ResultCode::noError) {
            // A reader released during the wait took its link along: no device, not a link fault.
            if (engine_->reader_.expired()) return noDevice();
            logError(", resultCode: " + std::string(description(response.resultCode())));
            fail(response.resultCode());
            return Outcome::failed;
        }
        if (!response.data()) throw ReaderException(ResultCode::invalidResponse, "");
        const OrvRfidCmd_ScannerEngineParameter answer(
            OrvaneRfidCommand::ReceiveBytes{*response.data()});
        if (write) answer.checkStatus(signature_);
        reply.emplace(ZebraCodec::decode(answer.data()));
        return Outcome::replied;
    }

    // The engine's answer to a write: an acknowledgement, or a failure of this packet (the
    // caller goes on).
    void writeAnswered(const ZebraPacket& reply) {
        if (reply.opcode == Opcode::CMD_ACK) {
            logTrace(", set parameter success");
            return;
        }
        if (reply.opcode == Opcode::CMD_NAK) {
            const std::optional<NakCause> cause = nakCause(reply.data);
            std::string text;
            if (cause) {
                text = std::string(description(*cause));
            } else if (reply.data.empty()) {
                text = "no cause";
            } else {
                text = "cause " + std::to_string(reply.data[0]);
            }
            logError(", set parameter failed, " + text);
        } else {
            logError(", unknown response (opcode: " + std::to_string(rawValue(reply.opcode)) + ")");
        }
        fail(ResultCode::invalidResponse);
    }

  private:
    // The reader has no device, or is gone: the request ends with this one failure when the
    // reader is gone.
    Outcome noDevice() {
        const bool gone = engine_->reader_.expired();
        logError(", response is nil");
        fail(ResultCode::invalidResponse);
        return gone ? Outcome::readerGone : Outcome::failed;
    }

    template <typename Call>
    void report(Call call) {
        if (!delegate_) return;
        try {
            call(*delegate_);
        } catch (const std::exception& e) {
            orvLogger::error(engine_->className(), prefix_ + ", delegate threw: " + e.what());
        } catch (...) {
            orvLogger::error(engine_->className(), prefix_ + ", delegate threw");
        }
    }

    const std::shared_ptr<ZebraEngine> engine_;
    const char* const signature_;
    const std::string prefix_;
    const int id_;
    const std::shared_ptr<ParameterDelegate> delegate_;
};

ZebraEngine::ZebraEngine(std::weak_ptr<ReaderLink> reader, EngineModel engineModel,
                         std::string className, std::vector<EngineParam> supportedParameters)
    : BaseEngine(std::move(reader), engineModel, std::move(className)) {
    supportedParameters_ = std::move(supportedParameters);
    supportedIds_.reserve(supportedParameters_.size());
    for (const EngineParam& row : supportedParameters_)
        supportedIds_.push_back(row.id());
}

void ZebraEngine::convertVersion(const std::string& strVersion) {
    orvLogger::debug(className(), "convertVersion(_:) Engine Version: " + strVersion);
    setVersion(0);
}

template <typename Work>
void ZebraEngine::queue(const char* signature, int id, std::shared_ptr<ParameterDelegate> delegate,
                        Work work) {
    std::shared_ptr<ZebraEngine> self =
        std::static_pointer_cast<ZebraEngine>(weak_from_this().lock());
    if (!self) {
        // Not owned by a shared_ptr: nothing could keep the engine alive for the work. The
        // refusal still reaches the delegate on the pool, as every delegate call does.
        orvLogger::error(className(), std::string(signature) + " - id: " + std::to_string(id) +
                                          ", engine is not shared");
        if (delegate) {
            DispatchQueue::global()->async([id, delegate = std::move(delegate)] {
                try {
                    delegate->didFail(id, ReaderException(ResultCode::invalidModuleObject, ""));
                } catch (...) {
                }
                try {
                    delegate->didFinish(id);
                } catch (...) {
                }
            });
        }
        return;
    }
    auto request = std::make_shared<Request>(std::move(self), signature, id, std::move(delegate));
    DispatchQueue::global()->async([request, work = std::move(work)]() mutable {
        try {
            work(*request);
        } catch (const CodedError& error) {
            request->failWith(error);
        } catch (const std::exception& error) {
            request->failWith(ReaderException(ResultCode::otherError, error.what()));
        } catch (...) {
            request->failWith(ReaderException(ResultCode::otherError, ""));
        }
        request->finish();
    });
}

void ZebraEngine::getParameter(int id, EngineParamId engineParamId,
                               std::shared_ptr<ParameterDelegate> delegate) {
    queue(kGetParameter, id, std::move(delegate),
          [engineParamId](Request& r) { r.engine().runGetParameter(r, engineParamId); });
}

void ZebraEngine::setParameter(int id, EngineParam engineParam,
                               std::shared_ptr<ParameterDelegate> delegate) {
    queue(kSetParameter, id, std::move(delegate),
          [param = std::move(engineParam)](Request& r) { r.engine().runSetParameter(r, param); });
}

void ZebraEngine::getParameters(int id, std::optional<std::vector<EngineParamId>> engineParamIds,
                                std::shared_ptr<ParameterDelegate> delegate) {
    queue(kGetParameters, id, std::move(delegate),
          [ids = std::move(engineParamIds)](Request& r) { r.engine().runGetParameters(r, ids); });
}

void ZebraEngine::setParameters(int id, std::vector<EngineParam> engineParams,
                                std::shared_ptr<ParameterDelegate> delegate) {
    queue(kSetParameters, id, std::move(delegate), [params = std::move(engineParams)](Request& r) {
        r.engine().runSetParameters(r, params);
    });
}

void ZebraEngine::runGetParameter(Request& request, EngineParamId engineParamId) {
    checkSupport(engineParamId);
    const ZebraParamId zebraId = zebraIdOf(engineParamId);
    std::optional<ZebraPacket> reply;
    const auto outcome = request.exchange(
        hostPacket(Opcode::PARAM_REQUEST, ParamNumberCodec::encode(rawValue(zebraId))), false,
        reply);
    if (outcome != Request::Outcome::replied) return;
    const auto entries = readEntries(*reply);
    const auto entry = entries.find(rawValue(zebraId));
    if (entry == entries.end()) {
        throw ReaderException(ResultCode::invalidResponse,
                              "No value for parameter " + std::to_string(rawValue(zebraId)));
    }
    const EngineParam param = paramOf(zebraId, entry->second);
    if (const std::shared_ptr<ReaderLink> reader = reader_.lock()) {
        reader->resetFailures();
        reader->markAlive();
    }
    request.receive(param);
}

void ZebraEngine::runSetParameter(Request& request, const EngineParam& engineParam) {
    checkSupport(engineParam.id());
    std::optional<ZebraPacket> reply;
    const auto outcome =
        request.exchange(hostPacket(Opcode::PARAM_SEND, entryBytes(engineParam)), true, reply);
    if (outcome != Request::Outcome::replied) return;
    request.writeAnswered(*reply);
}

void ZebraEngine::runGetParameters(
    Request& request, const std::optional<std::vector<EngineParamId>>& engineParamIds) {
    std::deque<ZebraParamId> pending;
    const auto add = [&](EngineParamId id) {
        if (const std::optional<ZebraParamId> zebraId = toZebraParamId(id)) {
            pending.push_back(*zebraId);
        } else {
            orvLogger::error(className(), std::string(request.signature()) + " does not support " +
                                              std::string(description(id)));
        }
    };
    if (!engineParamIds) {
        for (EngineParamId id : supportedIds_)
            add(id);
    } else {
        for (EngineParamId id : *engineParamIds) {
            if (!isSupport(id)) {
                orvLogger::error(className(), std::string(description(id)) + " is not supported!");
                request.fail(ResultCode::notSupported);
                return;
            }
            add(id);
        }
    }

    while (!pending.empty()) {
        const std::size_t count = std::min<std::size_t>(pending.size(), maxGetParam);
        Bytes numbers;
        std::set<int64_t> asked;
        for (std::size_t i = 0; i < count; ++i) {
            const int64_t number = rawValue(pending.front());
            pending.pop_front();
            ParamNumberCodec::append(numbers, number);
            asked.insert(number);
        }
        std::optional<ZebraPacket> reply;
        const auto outcome =
            request.exchange(hostPacket(Opcode::PARAM_REQUEST, std::move(numbers)), false, reply);
        if (outcome == Request::Outcome::readerGone) return;
        if (outcome == Request::Outcome::failed) continue;
        for (const auto& [number, entry] : readEntries(*reply)) {
            // Only what this batch asked for: an entry of another request's reply is no answer.
            if (!asked.contains(number)) continue;
            const ZebraParamId zebraId = *fromRaw<ZebraParamId>(number);
            request.receive(paramOf(zebraId, entry));
        }
    }
}

void ZebraEngine::runSetParameters(Request& request, const std::vector<EngineParam>& engineParams) {
    if (engineParams.empty()) {
        request.logError(", engineParams is empty");
        request.fail(ResultCode::invalidParameter);
        return;
    }
    std::deque<Bytes> pending;
    for (const EngineParam& param : engineParams) {
        if (!isSupport(param.id())) {
            const std::string name(description(param.id()));
            orvLogger::error(className(), name + " is not supported!");
            orvLogger::error(className(),
                             std::string(request.signature()) + " does not support " + name);
            request.fail(ResultCode::notSupported);
            return;
        }
        pending.push_back(entryBytes(param));
    }

    while (!pending.empty()) {
        const std::size_t count = std::min<std::size_t>(pending.size(), maxSetParam);
        Bytes payload;
        for (std::size_t i = 0; i < count; ++i) {
            payload.insert(payload.end(), pending.front().begin(), pending.front().end());
            pending.pop_front();
        }
        std::optional<ZebraPacket> reply;
        const auto outcome =
            request.exchange(hostPacket(Opcode::PARAM_SEND, std::move(payload)), true, reply);
        if (outcome != Request::Outcome::replied) return;
        request.writeAnswered(*reply);
    }
}

}  // namespace orvane
