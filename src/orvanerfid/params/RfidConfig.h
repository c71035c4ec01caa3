#pragma once

// The whole configuration of a reader's UHF radio module in one record, so that every radio
// setting can be read or written in one operation.

#include <cstdint>
#include <string>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/RadioEnums.h"

namespace orvane {

// A plain record with public fields: it validates nothing and converts nothing. The radio-module
// driver that applies it checks the values against the module's limits (0x4003 when one is out
// of range). Used by one thread at a time.
class ORVANE_API RfidConfig {
  public:
    bool continuousMode = true;
    Target target = Target::a;
    Session session = Session::s0;
    Encoding encoding = Encoding::fm0;
    TariType tariType = TariType::tari6_25;
    BlfType blfType = BlfType::blf640;
    AlgorithmType algorithm = AlgorithmType::dynamicQ;
    bool fastMode = false;
    bool toggleTarget = true;
    int64_t power = 17;
    int64_t inventoryTime = 200;
    int64_t idleTime = 0;
    int64_t startQ = 4;
    int64_t maxQ = 15;
    int64_t minQ = 0;
    uint16_t dwellTime = 1000;
    RfMode rfMode = RfMode::rf_103;
    SelectMode selectMode = SelectMode::all;
    bool lbt = false;
    bool fastId = false;
    bool tagFocus = false;
    PowerSavingMode powerSavingMode = PowerSavingMode::powerSaving;
    int16_t lbtConfigure = -74;
    AntennaSwitchingMode asMode = AntennaSwitchingMode::stop;
    FrequencySwitchingMode fsMode = FrequencySwitchingMode::stop;

    // 25 lines "<label>: <value>\n", in the order Continuous, Target, Session, Encoding, TARI,
    // BLF, Algorithm, Start Q, Max Q, Min Q, Power, Inventory Time, Idle Time, Toggle Target,
    // Fast Mode, Select Mode, LBT, Fast ID, Tag Focus, Power Saving Mode, LBT Configure, Antenna
    // Switching Mode, Frequency Switching Mode, RF Mode, Dwell Time. Enumerations show their
    // display texts; a value outside its enumeration shows "Unknown(<raw value>)".
    std::string description() const;

    bool operator==(const RfidConfig&) const = default;
};

}  // namespace orvane
