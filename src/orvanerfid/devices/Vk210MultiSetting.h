#pragma once

// Internal: the Vk210 side of the multi-setting exchange. The device base joins the request
// frames of many settings into one write and hands the joined replies back; these functions pack
// one setting into its request frame and turn the replies into parameter records, through the
// same setting rows as the single operations (Vk210Settings.h).
//
// Pure functions of their arguments (they log under the tag "Vk210Device"); any thread.

#include <string_view>
#include <vector>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/params/DeviceParam.h"

namespace orvane::vk210 {

// The read request frame of a setting; empty, after a WARN line, for an id without one. Id 34
// asks for the key of the record's TriggerKeyStatus (Upper Key is key 0, any other key 1); id
// 61 for the types of its BatteryStatusExtended.
Bytes getBytePackage(const DeviceParam& param);

// The write request frame of a setting, after the single operation's checks, which throw their
// ReaderException as the single operation does; empty, after a WARN line, for a read-only id. A
// record whose text is no value of its id is refused with 0x5002.
Bytes setBytePackage(const DeviceParam& param);

// Cuts the joined replies into frames and decodes each into a record: a reply answers the id
// asked for (`ids`; ids 6 and 55 share one request, as do repeated ids), and a reply no id asked
// for answers its own setting. Frames that do not parse, carry a failure status or have no
// decoding are skipped with a log line. Id 27 asked adds the auto-off time list. Never throws.
std::vector<DeviceParam> responseDataToDeviceParam(ByteView data,
                                                   const std::vector<DeviceParamId>& ids);

// Throws the ReaderException of the first reply frame that does not parse or does not report
// success; passes when every frame does, or when there is none.
void verifySetResult(ByteView data);

// The auto-off times the reader accepts: 0 to 480, ascending.
std::vector<unsigned> autoOffTimeList();

}  // namespace orvane::vk210
