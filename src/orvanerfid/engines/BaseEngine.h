#pragma once

// The scan-engine object of a reader that carries a barcode engine: the engine's model, its
// version, the table of parameters it supports, and the parameter operations through which an
// application reads and writes the engine's settings.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Barcode.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/EngineParamId.h"
#include "orvanerfid/engines/ParameterDelegate.h"
#include "orvanerfid/engines/ReaderLink.h"
#include "orvanerfid/params/EngineParam.h"

namespace orvane {

class ProtocolEventArgs;

// Threads: every member may be called from any thread. The table (supportedIds,
// supportedParameters) is fixed at construction; engineModel and version are atomics and the
// version text sits behind its own mutex, so the parameter operations may read them on pool
// threads while the reader's initialisation hands over the version. The engine holds its reader
// weakly; the reader owns the engine. Create engines with std::make_shared: an operation in
// flight holds the engine, so the reader may replace or drop it at any time.
class ORVANE_API BaseEngine : public std::enable_shared_from_this<BaseEngine> {
  public:
    virtual ~BaseEngine() = default;
    BaseEngine(const BaseEngine&) = delete;
    BaseEngine& operator=(const BaseEngine&) = delete;

    // The engine object of `model` for `reader`: EngineSE4107 for SE4107, EngineSE2707 for
    // SE2707; null for every other model (no other engine has an engine object).
    ORVANE_INTERNAL static std::shared_ptr<BaseEngine> create(EngineModel model,
                                                              std::weak_ptr<ReaderLink> reader);

    // The log tag of the engine's records ("EngineSE4107").
    const std::string& className() const { return className_; }

    // The ids of supportedParameters(), in table order.
    const std::vector<EngineParamId>& supportedIds() const { return supportedIds_; }
    // A copy of the engine's parameter table: one row per supported parameter with its default,
    // range or choices and version window.
    std::vector<EngineParam> supportedParameters() const { return supportedParameters_; }

    EngineModel engineModel() const { return engineModel_.load(); }
    void setEngineModel(EngineModel engineModel) { engineModel_.store(engineModel); }
    // The engine's version text as the reader reported it; empty until known.
    std::string strVersion() const;
    ORVANE_INTERNAL void setStrVersion(std::string strVersion);
    // The version number each row's version window is compared with; 0 until set.
    uint16_t version() const { return version_.load(); }
    ORVANE_INTERNAL void setVersion(uint16_t version) { version_.store(version); }

    // True when the first row of the table with this id has version() within its version window
    // (both ends included); false for an id without a row, and for every id when supportedIds()
    // is empty.
    bool isSupport(EngineParamId id) const;
    // Returns when isSupport(id); otherwise logs "<id description> is not supported!" at ERROR
    // (tag className()) and throws ReaderException 0x4001 with an empty message.
    void checkSupport(EngineParamId id) const;

    // Hands the engine an event of its reader. Only engineVersion is taken: its text becomes
    // strVersion() and is converted by convertVersion(). An engineVersion event without a text
    // is dropped with an ERROR line; every other event is ignored.
    virtual void protocolEvent(const ProtocolEventArgs& protocolEventArgs);

    // The parameter operations. Each returns at once and never throws; its work runs on a
    // library pool thread and reports to `delegate` (none when null; the work still runs) with
    // the request id `id`: didReceive per value read back, didFail per failure, then didFinish
    // exactly once, last. The delegate is kept alive until the request is over. Each reply is
    // awaited up to 5000 ms. A reader that is gone when the request needs it (before the request
    // runs, while a reply is awaited, between two packets) counts as a reader without a device:
    // one didFail 0x5000, nothing more sent, then didFinish.
    //
    // Result codes reaching didFail: 0x4001 for an id the engine does not support (nothing is
    // sent), 0x5002 for a value the parameter cannot carry or an empty write list (nothing is
    // sent), 0x5000 when the reader has no device or is gone, or the engine refused or answered
    // wrongly (Invalid Response), the link's own codes (0x7000 Timeout...) when the exchange
    // failed, 0x4000 for an engine not owned by a shared_ptr.
    //
    // Reads one parameter.
    virtual void getParameter(int id, EngineParamId engineParamId,
                              std::shared_ptr<ParameterDelegate> delegate) = 0;
    // Writes one parameter (its id and value text).
    virtual void setParameter(int id, EngineParam engineParam,
                              std::shared_ptr<ParameterDelegate> delegate) = 0;
    // Reads many parameters; no list reads every id of supportedIds(), an empty list reads none
    // (only didFinish). An unsupported id in the list ends the request before anything is sent.
    virtual void getParameters(int id, std::optional<std::vector<EngineParamId>> engineParamIds,
                               std::shared_ptr<ParameterDelegate> delegate) = 0;
    // Writes many parameters. An unsupported id or a value its parameter cannot carry ends the
    // request before anything is sent.
    virtual void setParameters(int id, std::vector<EngineParam> engineParams,
                               std::shared_ptr<ParameterDelegate> delegate) = 0;

  protected:
    explicit BaseEngine(std::weak_ptr<ReaderLink> reader)
        : BaseEngine(std::move(reader), EngineModel::unknown, "BaseEngine") {}
    BaseEngine(std::weak_ptr<ReaderLink> reader, EngineModel engineModel, std::string className)
        : reader_(std::move(reader)), engineModel_(engineModel), className_(std::move(className)) {}

    // Turns the version text into version().
    virtual void convertVersion(const std::string& strVersion) = 0;

    std::weak_ptr<ReaderLink> reader_;
    // Filled by the concrete engine's constructor and never changed afterwards.
    std::vector<EngineParamId> supportedIds_;
    std::vector<EngineParam> supportedParameters_;

  private:
    std::atomic<EngineModel> engineModel_;
    std::atomic<uint16_t> version_{0};
    mutable std::mutex strVersionLock_;
    std::string strVersion_;
    const std::string className_;
};

}  // namespace orvane
