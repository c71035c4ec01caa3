#pragma once

// Internal: the Vk210 firmware update exchange. The file goes to the reader as a start request
// (name and size), blocks of 1000 bytes and an install request, each answered before the next;
// progress goes to a report function and an abort flag is tested between the steps.
//
// Runs on the caller's thread (the reader's global queue); every request goes through the
// protocol's send lock on its own, so other exchanges may run between blocks. `report` is called
// on that thread (whatever it throws is logged at ERROR and the update goes on); `aborted` may be
// set from any thread and is read at the test points.

#include <cstddef>
#include <functional>
#include <string>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/link/BaseProtocol.h"

namespace orvane::vk210 {

inline constexpr std::size_t kFirmwareBlockSize = 1000;
inline constexpr int kFileTransferTimeout = 5000;
inline constexpr int kInstallTimeout = 30000;

using FirmwareProgress = std::function<void(FirmwareUpdateState state, uint8_t percentage)>;

// Start, Erasing Memory 0 and 100, Uploading 0 and one report per block (the last 100),
// Updating 0 and 100, Stop. An abort seen after the start request, after a block or before the
// install request ends it with Abort 100 and no error. A failed exchange reports Stop 100 and
// throws its ReaderException. A name holding a 0x00 byte (0x5002) or a file of 4 GiB or more
// (0x4003) is refused before anything is reported or sent.
void runFirmwareUpdate(BaseProtocol& protocol, const std::string& fileName, ByteView file,
                       const FirmwareProgress& report, const std::function<bool()>& aborted);

}  // namespace orvane::vk210
