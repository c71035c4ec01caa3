#pragma once

// The application's receiver of parameter operations: the scan engine's parameter reads and
// writes, and the reader's own parameter operations.

#include "orvanerfid/Export.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/params/BaseParam.h"

namespace orvane {

// Every call carries the request id the caller chose, unchanged. A request makes zero or more
// didReceive and didFail calls, then exactly one didFinish, last. The calls of one request come
// one after another on a library pool thread (never the caller's thread), holding no library
// lock; the calls of overlapping requests may interleave. Whatever a method throws is caught
// and logged by the library.
class ORVANE_API ParameterDelegate {
  public:
    virtual ~ParameterDelegate() = default;

    // One value read back. The parameter is borrowed for the call: copy it to keep it.
    virtual void didReceive(int id, const BaseParam& param) = 0;
    // One failure, with its result code and message.
    virtual void didFail(int id, const CodedError& error) = 0;
    // The request is over.
    virtual void didFinish(int id) = 0;
};

}  // namespace orvane
