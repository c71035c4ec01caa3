// The reader's parameter operations: settings read and written as DeviceParam records through
// the device's generic parameter operations, answered through a ParameterDelegate.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "orvanerfid/devices/BaseDevice.h"
#include "orvanerfid/platform/Dispatch.h"
#include "orvanerfid/reader/BaseReader.h"

namespace orvane {
namespace {

// Reads the records of the request; an empty result means a write.
using ParameterWork = std::function<std::vector<DeviceParam>(BaseDevice&)>;

// Calls `call` on the delegate, keeping what it throws inside the library.
template <class Call>
void tell(const std::string& tag, const char* event, Call&& call) {
    try {
        call();
    } catch (const std::exception& e) {
        orvLogger::error(tag, std::string(event) + " - Application callback threw: " + e.what());
    } catch (...) {
        orvLogger::error(tag, std::string(event) + " - Application callback threw: unknown");
    }
}

// Queues one request. The work holds the reader weakly; a reader released before the work runs
// fails the request as a reader without a device does (0x4000 "Device is nil"). Every request ends
// with one didFinish, after its didReceive calls or its one didFail.
void queueRequest(const std::weak_ptr<BaseReader>& weak, std::string tag, int id,
                  std::shared_ptr<ParameterDelegate> delegate, ParameterWork work) {
    DispatchQueue::global(DispatchQoS::default_)
        ->async([weak, tag = std::move(tag), id, delegate = std::move(delegate),
                 work = std::move(work)] {
            std::vector<DeviceParam> records;
            std::optional<CodedError> failure;
            if (auto reader = weak.lock()) {
                try {
                    records = work(*reader->getSafeDevice());
                } catch (const CodedError& e) {
                    failure = e;
                } catch (const std::exception& e) {
                    failure = CodedError(ResultCode::otherError, e.what());
                } catch (...) {
                    failure = CodedError(ResultCode::otherError, "unknown exception");
                }
            } else {
                failure = CodedError(ResultCode::invalidModuleObject, "Device is nil");
            }
            if (!delegate) return;
            if (failure) {
                tell(tag, "didFail", [&] { delegate->didFail(id, *failure); });
            } else {
                for (const DeviceParam& record : records) {
                    tell(tag, "didReceive", [&] { delegate->didReceive(id, record); });
                }
            }
            tell(tag, "didFinish", [&] { delegate->didFinish(id); });
        });
}

}  // namespace

std::vector<uint8_t> BaseReader::supportedParameterIds_OC() const {
    return twinValue(std::optional(supportedParameterIds()));
}

void BaseReader::getParameter(int id, DeviceParamId deviceParamId,
                              std::shared_ptr<ParameterDelegate> delegate) {
    queueRequest(weak_from_this(), TAG(), id, std::move(delegate),
                 [deviceParamId](BaseDevice& device) -> std::vector<DeviceParam> {
                     // Trigger Key Status has one record per key.
                     if (deviceParamId == DeviceParamId::triggerKeyStatus) {
                         return device.getParameters(std::vector<DeviceParamId>{deviceParamId});
                     }
                     return {device.getParameter(deviceParamId)};
                 });
}

void BaseReader::setParameter(int id, DeviceParam deviceParam,
                              std::shared_ptr<ParameterDelegate> delegate) {
    queueRequest(weak_from_this(), TAG(), id, std::move(delegate),
                 [deviceParam = std::move(deviceParam)](BaseDevice& device) {
                     device.setParameter(deviceParam);
                     return std::vector<DeviceParam>{};
                 });
}

void BaseReader::getParameters(int id, std::optional<std::vector<DeviceParamId>> deviceParamIds,
                               std::shared_ptr<ParameterDelegate> delegate) {
    queueRequest(weak_from_this(), TAG(), id, std::move(delegate),
                 [ids = std::move(deviceParamIds)](BaseDevice& device) {
                     return device.getParameters(ids);
                 });
}

void BaseReader::setParameters(int id, std::vector<DeviceParam> deviceParams,
                               std::shared_ptr<ParameterDelegate> delegate) {
    if (deviceParams.empty()) {
        // Nothing to write: the request ends at once, device or not.
        DispatchQueue::global(DispatchQoS::default_)
            ->async([tag = TAG(), id, delegate = std::move(delegate)] {
                if (delegate) tell(tag, "didFinish", [&] { delegate->didFinish(id); });
            });
        return;
    }
    queueRequest(weak_from_this(), TAG(), id, std::move(delegate),
                 [params = std::move(deviceParams)](BaseDevice& device) {
                     device.setParameters(params);
                     return std::vector<DeviceParam>{};
                 });
}

}  // namespace orvane
