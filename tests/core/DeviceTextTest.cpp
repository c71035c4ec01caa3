#include "orvanerfid/core/DeviceText.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "orvanerfid/core/Battery.h"
#include "orvanerfid/core/Indicators.h"
#include "orvanerfid/core/ResultCode.h"
#include "orvanerfid/core/SettingValues.h"

namespace orvane {
namespace {

// Every device-text reader refuses malformed text with 0x5003 and never returns a default:
// empty, odd, non-hex, short and long texts, and numbers outside their enumeration.
TEST(DeviceText, MalformedTextIsRefusedByEveryReader) {
    struct Reader {
        const char* name;
        std::function<void(std::string_view)> read;
        std::vector<std::string> malformed;
    };
    const Reader readers[] = {
        {"DeviceIndicator",
         [](auto t) { DeviceIndicator::fromDeviceParameter(t); },
         {"", "1", "1G", "1A00", "40", "70", "04", "1F"}},
        {"ScannerIndicator",
         [](auto t) { ScannerIndicator::fromDeviceParameter(t); },
         {"", "055", "05", "05X5", " 0555"}},
        // Empty text is the valid text of a record that reports nothing.
        {"BatteryStatus",
         [](auto t) { BatteryStatus::fromDeviceParameter(t); },
         {"005", "00", "0050 0101", "0350", "0205", "00500"}},
        {"BatteryStatusExtended",
         [](auto t) { BatteryStatusExtended::fromDeviceParameter(t); },
         {"", "4000000", "400000001", "4000000G", "40000000ZZ"}},
        {"InventoryIndicator",
         [](auto t) { InventoryIndicator::fromDeviceParameter(t); },
         {"", "01010", "0101", "01010101", "0101 1", "0x0101"}},
        {"DataRange",
         [](auto t) { DataRange::fromDeviceParameter(t); },
         {"", "0002002", "000200", "000200200", "0002002G", "00020020 "}},
        {"ScreenOffTime",
         [](auto t) { ScreenOffTime::fromDeviceParameter(t); },
         {"", "011", "01", "011E00", "01-E"}},
    };
    for (const auto& reader : readers) {
        for (const auto& text : reader.malformed) {
            try {
                reader.read(text);
                ADD_FAILURE() << reader.name << " accepted \"" << text << "\"";
            } catch (const ReaderException& e) {
                EXPECT_EQ(e.resultCode(), ResultCode::invalidResponseData)
                    << reader.name << " \"" << text << "\"";
                EXPECT_NE(e.message().find(reader.name), std::string::npos) << e.message();
            }
        }
    }
}

}  // namespace
}  // namespace orvane
