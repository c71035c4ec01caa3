#pragma once

// Umbrella header of the orvaneRFID SDK.

#include "orvanerfid/Export.h"
#include "orvanerfid/commands/DeviceInfoCommands.h"
#include "orvanerfid/commands/FileCommands.h"
#include "orvanerfid/commands/TagCommands.h"
#include "orvanerfid/core/Barcode.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/EngineParamId.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/EventArgs.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/TagInfo.h"
#include "orvanerfid/core/TimeoutControl.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/platform/Clock.h"
