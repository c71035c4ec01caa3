#pragma once

// A scan engine driven with Zebra serial-interface packets, which the reader carries inside its
// engine pass-through command.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/engines/BaseEngine.h"

namespace orvane {

// Threads: each parameter operation queues one work item on the global pool and returns; the
// work item holds the engine (the reader may drop it meanwhile), locks the reader only to take
// its device, and waits for each reply inside the protocol's send, which keeps the exchanges of
// one reader apart on the wire. Requests may overlap; the engine takes no lock of its own for
// them. An engine not owned by a shared_ptr refuses every request with 0x4000, reported on the
// pool as well.
class ORVANE_API ZebraEngine : public BaseEngine {
  public:
    // Most parameter numbers in one read request.
    static constexpr int maxGetParam = 40;
    // Most parameter entries in one write packet.
    static constexpr int maxSetParam = 30;
    // How long each reply is awaited, in ms.
    static constexpr int replyTimeout = 5000;

    void getParameter(int id, EngineParamId engineParamId,
                      std::shared_ptr<ParameterDelegate> delegate) override;
    void setParameter(int id, EngineParam engineParam,
                      std::shared_ptr<ParameterDelegate> delegate) override;
    void getParameters(int id, std::optional<std::vector<EngineParamId>> engineParamIds,
                       std::shared_ptr<ParameterDelegate> delegate) override;
    void setParameters(int id, std::vector<EngineParam> engineParams,
                       std::shared_ptr<ParameterDelegate> delegate) override;

  protected:
    ZebraEngine(std::weak_ptr<ReaderLink> reader, EngineModel engineModel, std::string className,
                std::vector<EngineParam> supportedParameters);

    // Logs "convertVersion(_:) Engine Version: <text>" at DEBUG and sets version 0: the rows of
    // the Zebra tables hold for every version.
    void convertVersion(const std::string& strVersion) override;

  private:
    class Request;

    ORVANE_INTERNAL void runGetParameter(Request& request, EngineParamId engineParamId);
    ORVANE_INTERNAL void runSetParameter(Request& request, const EngineParam& engineParam);
    ORVANE_INTERNAL void runGetParameters(
        Request& request, const std::optional<std::vector<EngineParamId>>& engineParamIds);
    ORVANE_INTERNAL void runSetParameters(Request& request,
                                          const std::vector<EngineParam>& engineParams);
    // Queues `work` on the global pool with a request that holds this engine.
    template <typename Work>
    ORVANE_INTERNAL void queue(const char* signature, int id,
                               std::shared_ptr<ParameterDelegate> delegate, Work work);
};

}  // namespace orvane
