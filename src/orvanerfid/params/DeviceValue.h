#pragma once

// The typed value of a reader setting, as DeviceParam converts it to and from device text.

#include <chrono>
#include <string>
#include <variant>
#include <vector>

#include "orvanerfid/core/Barcode.h"
#include "orvanerfid/core/Battery.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/Indicators.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/SettingValues.h"
#include "orvanerfid/params/SettingClasses.h"

namespace orvane {

// A moment of the reader's clock (whole seconds in the local calendar).
using DeviceDate = std::chrono::system_clock::time_point;

// One alternative per value type of the 64 settings (see DeviceParam): `std::monostate` for
// the plain actions, `std::string` for texts, `unsigned` for the numbers (Auto Off Time, HID
// Character Delay, the two temperature protections), `double` for temperatures, `Bytes` for
// User Data, `std::vector<unsigned>` for the Auto Off Time List, and the enumerations and value
// classes of the others.
using DeviceValue =
    std::variant<std::monostate, std::string, bool, double, unsigned, DeviceDate, Bytes,
                 std::vector<unsigned>, std::vector<InventoryDataFormat>,
                 std::vector<ScannerDataFormat>, DeviceType, UhfModuleType, EngineModel,
                 BeeperVolume, ReadMode, DataFormat, DataInfo, DataTerminator, TagUnique, SkuType,
                 DataCollectionMode, Gs1Ai, DataSendingInterBlockDelay, HidInterCharacterDelay,
                 HidKeyboardLanguage, HidKeyboardCase, ControlCharacterFilter, ConnectionMode,
                 TemperatureProtectionMode, BatteryStatus, BatteryStatusExtended, FindDevice,
                 DataRange, DisplayMessage, ScreenOffTime, InventoryIndicator, FindReplace,
                 TriggerKeyStatus, ScannerIndicator, DeviceIndicator, EventNotification>;

}  // namespace orvane
