#include "orvanerfid/core/Battery.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using Id = BatteryStatusId;
using T = BatteryStatusExtendedType;

TEST(BatteryStatus, DeviceTextAndDescription) {
    EXPECT_EQ(BatteryStatus().description(), "BatteryStatus: Unknown");
    EXPECT_EQ(BatteryStatus().toDeviceParameter(), "");

    BatteryStatus status;
    status.set_percentage(0x50);
    status.set_state(BatteryState::normal);
    status.set_charging(true);
    status.set_batteryStatusId({Id::charging, Id::state, Id::percentage, Id::charging});
    // Groups in the order 0, 2, 1, each once; the description has no separators after "%, ".
    EXPECT_EQ(status.toDeviceParameter(), "005002030101");
    EXPECT_EQ(status.description(), "80%, ChargingNormal");

    const BatteryStatus back = BatteryStatus::fromDeviceParameter("005002030101");
    EXPECT_EQ(back.description(), "80%, ChargingNormal");
    EXPECT_EQ(back.batteryStatusId(), (std::vector<Id>{Id::percentage, Id::state, Id::charging}));

    BatteryStatus notCharging;
    notCharging.set_batteryStatusId({Id::charging});
    EXPECT_EQ(notCharging.description(), "Not Charging");
    EXPECT_EQ(notCharging.toDeviceParameter(), "0100");
    EXPECT_EQ(BatteryStatus::fromDeviceParameter("02FF").state(), BatteryState::unknown);
}

TEST(BatteryStatusExtended, ParseVectors) {
    // Fields come in the type table's order, whatever the order of `types`; a charging status
    // above 1 reads as a charging error.
    const BatteryStatusExtended e({T::voltage, T::chargingStatus},
                                  {0x10, 0x00, 0x00, 0x07, 0x00, 0x00, 0x0F, 0xA0});
    EXPECT_EQ(e.toDeviceParameter(), "C00000001000000700000FA0");
    EXPECT_EQ(e.description(), "Charging Status: Charging Error\nVoltage: 4000 mV\n");

    EXPECT_EQ(BatteryStatusExtended({T::current}, {0xFF, 0xFF, 0xFF, 0x38}).description(),
              "Current: -200 mA\n");

    const BatteryStatusExtended texts({T::cycleCount, T::modelNumber},
                                      {0x41, 0x42, 0x00, 0x00, 0x00, 0x01, 0x2C});
    EXPECT_EQ(texts.modelNumber(), "AB");
    EXPECT_EQ(texts.cycleCount(), 300u);

    // The zero byte ends an empty text; three bytes cannot fill a number.
    const BatteryStatusExtended shortData({T::modelNumber, T::cycleCount}, {0, 0, 0, 5});
    EXPECT_EQ(shortData.modelNumber(), "");
    EXPECT_EQ(shortData.cycleCount(), 0u);
    const BatteryStatusExtended three({T::voltage, T::percentage}, {0x01, 0x02, 0x03});
    EXPECT_EQ(three.voltage() + three.percentage(), 0u);
    // A truncated number ends the walk: its bytes are not the next field's.
    const BatteryStatusExtended truncated({T::voltage, T::modelNumber}, {0x41, 0x42, 0x00});
    EXPECT_EQ(truncated.voltage(), 0u);
    EXPECT_EQ(truncated.modelNumber(), "");

    const BatteryStatusExtended none({}, {0xAB});
    EXPECT_EQ(none.toDeviceParameter(), "00000000AB");
    EXPECT_EQ(none.description(), "");
}

TEST(BatteryStatusExtended, TextFields) {
    // A text without its zero byte takes the rest; text that is not UTF-8 reads as empty and
    // still consumes its bytes.
    const BatteryStatusExtended unterminated({T::serialNumber, T::designCapacity}, {'S', 'N', '1'});
    EXPECT_EQ(unterminated.serialNumber(), "SN1");
    EXPECT_EQ(unterminated.designCapacity(), 0u);

    const BatteryStatusExtended bad({T::modelNumber, T::manufactureDate, T::temperature},
                                    {0x00, 0x00, 0x01, 0x29, 0xC3, 0x28, 0x00, 0xC3, 0xA9, 0x00});
    EXPECT_EQ(bad.description(),
              "Temperature: 297\u00B0K\nModel Number: \nManufacture Date: \u00E9\n");
}

TEST(BatteryStatusExtended, DeviceTextReadBack) {
    // Types come back in declaration order; bits 0-18 select nothing.
    const auto e = BatteryStatusExtended::fromDeviceParameter("4008FFFF00000FA0000007D0");
    EXPECT_EQ(e.types(), (std::vector<T>{T::voltage, T::designCapacity}));
    EXPECT_EQ(e.voltage(), 4000u);
    EXPECT_EQ(e.designCapacity(), 2000u);
    EXPECT_EQ(e.toDeviceParameter(), "4008000000000FA0000007D0");
}

}  // namespace
}  // namespace orvane
