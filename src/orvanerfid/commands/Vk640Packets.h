#pragma once

// Packets of the Vk640 reader's own command group (orvane, 0x10): device information, the
// reader's settings, factory reset, shutdown and the display.
//
//   information get   subcode = the item (0x01..0x07), empty payload; the reply's TLV holds it
//   setting get       subcode 0x11, [tag][0x00]
//   setting set       subcode 0x12, [tag][length][value]
//
// Replies must carry a value of exactly the item's length, else STPacketError 0x5002 "Invalid
// parameter length". Numbers inside values are little-endian.
//
// Threads: plain data, one thread at a time.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "orvanerfid/commands/STPacket.h"
#include "orvanerfid/commands/STPacketFields.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/Utilities.h"

namespace orvane {

#define ORV_STUHFL_CC_ORVANE(X)              \
    X(firmwareVersion, 0x01, "")             \
    X(getSerialNumber, 0x02, "")             \
    X(getBluetoothMAC, 0x03, "")             \
    X(getModelName, 0x04, "")                \
    X(getBatteryInfo, 0x05, "")              \
    X(getSKU, 0x06, "")                      \
    X(getTemperature, 0x07, "")              \
    X(getRFPowerCalibrationEnable, 0x08, "") \
    X(getRFPowerCalibrationData, 0x09, "")   \
    X(getConfigure, 0x11, "")                \
    X(setConfigure, 0x12, "")                \
    X(event, 0x21, "")                       \
    X(setSerialNumber, 0x31, "")             \
    X(setSKU, 0x32, "")                      \
    X(setRFPowerCalibrationEnable, 0x33, "") \
    X(setRFPowerCalibrationData, 0x34, "")

// Subcodes of the orvane group.
ORV_ENUM(STUHFL_CC_Orvane, uint8_t, ORV_STUHFL_CC_ORVANE);

#define ORV_STUHFL_TAG_ORVANE(X)                \
    X(vibrator, 0x01, "")                       \
    X(beeper, 0x02, "")                         \
    X(systemTime, 0x03, "")                     \
    X(autoOffTime, 0x04, "")                    \
    X(readMode, 0x05, "")                       \
    X(findDevice, 0x06, "")                     \
    X(dataFormat, 0x07, "")                     \
    X(dataInfo, 0x08, "")                       \
    X(dataRange, 0x09, "")                      \
    X(dataTerminator, 0x0A, "")                 \
    X(tagUnique, 0x0B, "")                      \
    X(hidCharacterDelay, 0x0C, "")              \
    X(displayOutput, 0x0D, "")                  \
    X(screenOffTime, 0x0E, "")                  \
    X(userData, 0x0F, "")                       \
    X(operatingMode, 0x20, "")                  \
    X(appBundleID, 0x21, "")                    \
    X(bluetoothSecuritySimplePairing, 0x22, "") \
    X(factoryReset, 0x40, "")                   \
    X(shutdown, 0x41, "")

// TLV tags of the settings under getConfigure and setConfigure.
ORV_ENUM(STUHFL_TAG_Orvane, uint8_t, ORV_STUHFL_TAG_ORVANE);

namespace st {

// N bytes of UTF-8 text; bytes that are not UTF-8 read as the empty text. With TrimZeros the
// trailing zero bytes are dropped first. Encoding writes the text cut to N bytes on a character
// boundary, followed by zero bytes up to N.
template <std::size_t N, bool TrimZeros>
struct Utf8Text {
    using type = std::string;
    static constexpr std::size_t size = N;
    static type get(const uint8_t* p) {
        std::size_t n = N;
        if constexpr (TrimZeros) {
            while (n > 0 && p[n - 1] == 0)
                --n;
        }
        if (!isValidUtf8(ByteView(p, n))) return {};
        return std::string(reinterpret_cast<const char*>(p), n);
    }
    static void put(Bytes& out, const type& v) {
        const std::size_t n = utf8PrefixLength(v, N);
        out.insert(out.end(), v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n));
        out.insert(out.end(), N - n, uint8_t{0});
    }
};

// Six address bytes, shown last byte first as upper-case hex without separators.
struct ReversedHex6 {
    using type = std::string;
    static constexpr std::size_t size = 6;
    static type get(const uint8_t* p);
};

// year - 2000, month, day, hour, minute, second in the local calendar. A reply that forms no
// valid date is refused (0x5003); a date outside the years 2000-2255 cannot be sent (0x4003).
struct LocalDateTime6 {
    using type = std::chrono::system_clock::time_point;
    static constexpr std::size_t size = 6;
    static type get(const uint8_t* p);
    static void put(Bytes& out, type v);
};

// DataTerminator as the reader's wire code: none 0x00, crlf 0x01, tab 0x02. The reader has no
// code for cr or lf (0x4001); a value outside the enumeration is refused with 0x5002.
struct TerminatorCode {
    using type = DataTerminator;
    static constexpr std::size_t size = 1;
    static type get(const uint8_t* p);
    static void put(Bytes& out, type v);
};

}  // namespace st

// An information item: the get request is the item's subcode with an empty payload.
template <class Derived>
class STDeviceInfoPacket : public STValuePacket<Derived> {
  public:
    static constexpr STUHFL_CG kGroup = STUHFL_CG::orvane;
    // The reply comes under the item's subcode; its TLV tag is not the item's.
    static constexpr bool kReplyTagged = false;
    static constexpr bool isReplySubcode(uint8_t subcode) { return subcode == Derived::kTag; }

    Bytes getPacketBytes() override { return this->frame(Derived::kTag, Bytes{}); }
    std::string lengthError() const { return "Invalid parameter length"; }
};

// A setting: get under getConfigure [tag][0x00], set under setConfigure [tag][length][value].
template <class Derived>
class STDeviceSettingPacket : public STValuePacket<Derived> {
  public:
    static constexpr STUHFL_CG kGroup = STUHFL_CG::orvane;
    static constexpr uint8_t kGetSubcode = rawValue(STUHFL_CC_Orvane::getConfigure);
    static constexpr uint8_t kSetSubcode = rawValue(STUHFL_CC_Orvane::setConfigure);
    static constexpr bool isReplySubcode(uint8_t subcode) {
        return subcode == kGetSubcode || subcode == kSetSubcode;
    }

    Bytes getPacketBytes() override { return this->frameGet(kGetSubcode); }
    Bytes setPacketBytes() override { return this->frameValue(kSetSubcode); }
    std::string lengthError() const { return "Invalid parameter length"; }
};

// Declares a packet of the family Base with one field, under the TLV tag or subcode `tag`.
#define ORV_ST_ONE_FIELD_PACKET_(Base, Class, tag, field, defaultValue, ...) \
    class ORVANE_API Class : public Base<Class> {                            \
        ORV_ST_PACKET_CLASS(Class)                                           \
        static constexpr uint8_t kTag = tag;                                 \
        static constexpr int dataSize = static_cast<int>(__VA_ARGS__::size); \
        typename __VA_ARGS__::type field = defaultValue;                     \
        template <class Self, class Visit>                                   \
        static void fields(Self& self, Visit&& visit) {                      \
            visit(__VA_ARGS__{}, self.field);                                \
        }                                                                    \
    }

// An information packet with one field, read with the codec given last.
#define ORV_ST_INFO_PACKET(Class, Item, field, defaultValue, ...)                                \
    ORV_ST_ONE_FIELD_PACKET_(STDeviceInfoPacket, Class, rawValue(STUHFL_CC_Orvane::Item), field, \
                             defaultValue, __VA_ARGS__)

// A setting packet with one field, written and read with the codec given last.
#define ORV_ST_SETTING_PACKET(Class, Tag, field, defaultValue, ...)                          \
    ORV_ST_ONE_FIELD_PACKET_(STDeviceSettingPacket, Class, rawValue(STUHFL_TAG_Orvane::Tag), \
                             field, defaultValue, __VA_ARGS__)

// The firmware and serial texts keep all 16 bytes, trailing zero bytes included.
ORV_ST_INFO_PACKET(STUHFL_FirmwareVersion, firmwareVersion, firmwareVersion, {},
                   st::Utf8Text<16, false>);
ORV_ST_INFO_PACKET(STUHFL_SerialNumber, getSerialNumber, serialNumber, {}, st::Utf8Text<16, false>);
ORV_ST_INFO_PACKET(STUHFL_BluetoothMacAddress, getBluetoothMAC, bluetoothMacAddress, {},
                   st::ReversedHex6);
ORV_ST_INFO_PACKET(STUHFL_ModelName, getModelName, modelName, {}, st::Utf8Text<16, true>);
ORV_ST_INFO_PACKET(STUHFL_BatteryInfo, getBatteryInfo, percentage, 0, st::U8);
ORV_ST_INFO_PACKET(STUHFL_SKU, getSKU, sku, SkuType::unknown,
                   st::EnumOr<SkuType, SkuType::unknown>);
ORV_ST_INFO_PACKET(STUHFL_Temperature, getTemperature, temperature, 0, st::U8);

ORV_ST_SETTING_PACKET(STUHFL_Vibrator, vibrator, enabled, true, st::Flag);
ORV_ST_SETTING_PACKET(STUHFL_Beeper, beeper, volume, BeeperVolume::medium,
                      st::EnumOr<BeeperVolume, BeeperVolume::medium>);
ORV_ST_SETTING_PACKET(STUHFL_AutoOffTime, autoOffTime, time, 0, st::U8);
ORV_ST_SETTING_PACKET(STUHFL_ReadMode, readMode, mode, ReadMode::singleRead,
                      st::EnumOr<ReadMode, ReadMode::singleRead>);
ORV_ST_SETTING_PACKET(STUHFL_DataFormat, dataFormat, format, DataFormat::hex,
                      st::EnumOr<DataFormat, DataFormat::hex>);
ORV_ST_SETTING_PACKET(STUHFL_DataInfo, dataInfo, info, DataInfo::epc,
                      st::EnumOr<DataInfo, DataInfo::epc>);
ORV_ST_SETTING_PACKET(STUHFL_DataTerminator, dataTerminator, terminator, DataTerminator::none,
                      st::TerminatorCode);
ORV_ST_SETTING_PACKET(STUHFL_TagUnique, tagUnique, unique, TagUnique::epc,
                      st::EnumOr<TagUnique, TagUnique::epc>);
// Every byte but 0, 1 and 3 reads as bluetoothSpp (1).
ORV_ST_SETTING_PACKET(STUHFL_OperatingMode, operatingMode, mode, OperatingMode::bluetoothSpp,
                      st::EnumOr<OperatingMode, OperatingMode::bluetoothSpp>);
ORV_ST_SETTING_PACKET(STUHFL_BluetoothSecuritySimplePairing, bluetoothSecuritySimplePairing,
                      enabled, false, st::Flag);

// Declares a setting packet with two fields and a constructor taking both.
#define ORV_ST_SETTING_PACKET2(Class, Tag, Codec1, field1, default1, Codec2, field2, default2) \
    class ORVANE_API Class : public STDeviceSettingPacket<Class> {                             \
        ORV_ST_PACKET_CLASS(Class)                                                             \
        static constexpr uint8_t kTag = rawValue(STUHFL_TAG_Orvane::Tag);                      \
        static constexpr int dataSize = static_cast<int>(Codec1::size + Codec2::size);         \
        Class(Codec1::type field1, Codec2::type field2) : field1(field1), field2(field2) {}    \
        Codec1::type field1 = default1;                                                        \
        Codec2::type field2 = default2;                                                        \
        template <class Self, class Visit>                                                     \
        static void fields(Self& self, Visit&& visit) {                                        \
            visit(Codec1{}, self.field1);                                                      \
            visit(Codec2{}, self.field2);                                                      \
        }                                                                                      \
    }

namespace st {
using FindDeviceModeByte = EnumOr<FindDeviceMode, FindDeviceMode::off>;
}  // namespace st

// Makes the reader signal its position (set only).
ORV_ST_SETTING_PACKET2(STUHFL_FindDevice, findDevice, st::FindDeviceModeByte, mode,
                       FindDeviceMode::off, st::U8, timeout, 0);
ORV_ST_SETTING_PACKET2(STUHFL_DataRange, dataRange, st::U16, offset, 0, st::U16, length, 0);
ORV_ST_SETTING_PACKET2(STUHFL_ScreenOffTime, screenOffTime, st::U8, minutes, 0, st::U8, seconds, 0);

class ORVANE_API STUHFL_SystemTime : public STDeviceSettingPacket<STUHFL_SystemTime> {
    ORV_ST_PACKET_CLASS(STUHFL_SystemTime)
    static constexpr uint8_t kTag = rawValue(STUHFL_TAG_Orvane::systemTime);
    static constexpr int dataSize = 6;

    explicit STUHFL_SystemTime(std::chrono::system_clock::time_point date) : date(date) {}

    // Sent to the second, in the local calendar and time zone.
    std::chrono::system_clock::time_point date = std::chrono::system_clock::now();

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::LocalDateTime6{}, self.date);
    }
};

// 64 bytes kept by the reader for the application. The set request pads shorter data with zero
// bytes; longer data is refused (0x4003). A reply with an empty value leaves the data empty.
class ORVANE_API STUHFL_UserData : public STDeviceSettingPacket<STUHFL_UserData> {
    ORV_ST_PACKET_CLASS(STUHFL_UserData)
    static constexpr uint8_t kTag = rawValue(STUHFL_TAG_Orvane::userData);
    static constexpr int dataSize = 64;
    static constexpr STLengthRule kLengthRule = STLengthRule::exactOrEmpty;

    // The request for `userData` (a named constructor: the byte constructor parses a reply).
    static STUHFL_UserData withUserData(Bytes userData) {
        STUHFL_UserData packet;
        packet.userData = std::move(userData);
        return packet;
    }

    Bytes userData;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::ZeroPadded<64>{}, self.userData);
    }
};

// The application identifier: 32 bytes, the UTF-8 text cut on a character boundary and padded
// with zero bytes; the reply's trailing zero bytes are dropped.
class ORVANE_API STUHFL_AppBundleId : public STDeviceSettingPacket<STUHFL_AppBundleId> {
    ORV_ST_PACKET_CLASS(STUHFL_AppBundleId)
    static constexpr uint8_t kTag = rawValue(STUHFL_TAG_Orvane::appBundleID);
    static constexpr int dataSize = 32;

    explicit STUHFL_AppBundleId(std::string bundleId) : bundleId(std::move(bundleId)) {}

    std::string bundleId;

    template <class Self, class Visit>
    static void fields(Self& self, Visit&& visit) {
        visit(st::Utf8Text<32, true>{}, self.bundleId);
    }
};

// Requests without a value: [tag][0x00] under setConfigure.
class ORVANE_API STUHFL_FactoryReset : public STDeviceSettingPacket<STUHFL_FactoryReset> {
    ORV_ST_PACKET_CLASS(STUHFL_FactoryReset)
    static constexpr uint8_t kTag = rawValue(STUHFL_TAG_Orvane::factoryReset);
    static constexpr int dataSize = 0;

    template <class Self, class Visit>
    static void fields(Self&, Visit&&) {}
};

class ORVANE_API STUHFL_Shutdown : public STDeviceSettingPacket<STUHFL_Shutdown> {
    ORV_ST_PACKET_CLASS(STUHFL_Shutdown)
    static constexpr uint8_t kTag = rawValue(STUHFL_TAG_Orvane::shutdown);
    static constexpr int dataSize = 0;

    template <class Self, class Visit>
    static void fields(Self&, Visit&&) {}
};

// A line of text on the reader's 16-character display; command only.
//
// The value is a control byte (0x20 when clearScreen, the character position in the low four
// bits, the line in the top two) and the text's UTF-8 bytes; a text of more characters than fit
// from that position is cut to the bytes left, on a character boundary. A position above 15 is
// taken as 15; a line above 3 is refused (0x4003).
class ORVANE_API STUHFL_DisplayOutput : public STPacket {
  public:
    static constexpr std::size_t kLineWidth = 16;

    STUHFL_DisplayOutput() : STPacket(STUHFL_CG::orvane) {}
    explicit STUHFL_DisplayOutput(std::string display)
        : STPacket(STUHFL_CG::orvane), display(std::move(display)) {}

    Bytes commandPacketBytes() override;
    std::string_view className() const override { return "STUHFL_DisplayOutput"; }

    uint8_t charaterPosition = 0;
    bool clearScreen = true;
    uint8_t linePosition = 0;
    std::string display;
};

}  // namespace orvane
