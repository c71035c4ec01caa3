#pragma once

#include <algorithm>
#include <chrono>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orvanerfid/Export.h"
#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/core/Enum.h"
#include "orvanerfid/core/Identifiers.h"
#include "orvanerfid/core/RadioEnums.h"
#include "orvanerfid/core/ResultCode.h"

namespace orvane {

// Hex and text forms of bytes. Stateless; safe on any thread.

// "%02X" per byte, no separator ("01AB"); empty for no bytes.
ORVANE_API std::string toHexString(ByteView bytes);
// "0x%02X " per byte: every byte, the last too, is followed by one blank.
ORVANE_API std::string toHexDumpString(ByteView bytes);
// The "%02X" text of each byte.
ORVANE_API std::vector<std::string> hexByteStrings(ByteView bytes);
// The bytes in decimal as a bracketed list: "[1, 2, 3]"; "[]" for no bytes. Internal.
std::string decimalListText(ByteView bytes);

// Bytes from hex text after removing blanks. Upper- and lower-case digits are accepted; text
// with a non-hex character or an odd digit count gives no value (never zero bytes).
ORVANE_API std::optional<Bytes> dataFromHexString(std::string_view hexString);
// Bytes from hex text taken as it is (no blank removal): an even count of hex digits, or no value.
ORVANE_API std::optional<Bytes> hexTextToData(std::string_view text);
// Either parser's result, or a ReaderException with 0x5002 "Invalid Parameter".
ORVANE_API Bytes requireHexText(std::string_view text);

// The bytes as ASCII text; no value when a byte is above 0x7F.
ORVANE_API std::optional<std::string> asciiText(ByteView bytes);
// The bytes as ASCII text, or "error when encode to ascii" when they are not ASCII.
ORVANE_API std::string asciiString(ByteView bytes);

// True when `bytes` are well-formed UTF-8 (no overlong forms, surrogates or code points above
// U+10FFFF).
ORVANE_API bool isValidUtf8(ByteView bytes) noexcept;
// The longest prefix of `text` of at most `maxBytes` bytes that ends on a character boundary.
ORVANE_API std::size_t utf8PrefixLength(std::string_view text, std::size_t maxBytes) noexcept;

// "yyyy-MM-dd HH:mm:ss" in the local time zone.
ORVANE_API std::string toDateTimeString(std::chrono::system_clock::time_point time);

class ORVANE_API Utilities {
  public:
    // The library's version text; prints "XCFramework Version: <version>" to standard output.
    static std::string getFrameworkVersion();
    // "1.2.3" -> 10203: each dot-separated part, stripped to its digits, times a power of 100.
    static uint32_t versionToUInt32(std::string_view version);
    // The 16-bit two's complement of the byte sum, high byte first; sum + checksum == 0 mod 65536.
    static std::vector<uint8_t> getCheckSum(ByteView data);
    static uint16_t checkSum16(ByteView data) noexcept {
        // Eight bytes a turn: the even and the odd bytes go to four 16-bit lanes each, which
        // hold 128 turns (128 x 510 < 65536) before they are folded into the total.
        constexpr uint64_t kLow = 0x00FF00FF00FF00FFULL;
        const uint8_t* p = data.data();
        std::size_t n = data.size();
        uint32_t total = 0;
        while (n >= 8) {
            uint64_t lanes = 0;
            for (std::size_t turns = std::min<std::size_t>(n / 8, 128); turns > 0; --turns) {
                uint64_t word;
                std::memcpy(&word, p, 8);
                lanes += (word & kLow) + ((word >> 8) & kLow);
                p += 8;
                n -= 8;
            }
            total += static_cast<uint32_t>((lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) +
                                           ((lanes >> 32) & 0xFFFF) + (lanes >> 48));
        }
        while (n-- > 0)
            total += *p++;
        return static_cast<uint16_t>(0x10000 - (total & 0xFFFF));
    }

    // Display texts: each returns the `description` text of the value it is given ("" for a
    // value outside its enumeration, reachable only through a cast).
    static std::string getActionStateDescription(ActionState with);
    static std::string getKeyIDDescription(KeyID with);
    static std::string getResultCodeDescription(ResultCode from);
    static std::string getDeviceTypeDescription(DeviceType from);
    static std::string getUhfModuleTypeDescription(UhfModuleType from);
    static std::string getConnectStateDescription(ConnectState from);
    static std::string getNotificationIDDescription(NotificationID from);
    static std::string getBeeperVolumeDescription(BeeperVolume with);
    static std::string getSkuTypeDescription(SkuType with);
    static std::string getReadModeDescription(ReadMode with);
    static std::string getFindDeviceModeDescription(FindDeviceMode with);
    static std::string getOperatingModeDescription(OperatingMode with);
    static std::string getDataFormatDescription(DataFormat with);
    static std::string getDataInfoDescription(DataInfo with);
    static std::string getDataTerminatorDescription(DataTerminator with);
    static std::string getTagUniqueDescription(TagUnique with);
    static std::string getBankTypeDescription(BankType with);
    static std::string getLockStateDescription(LockState with);
    static std::string getGlobalBandTypeDescription(GlobalBandType with);
    static std::string getAlgorithmTypeDescription(AlgorithmType with);
    static std::string getTargetDescription(Target with);
    static std::string getSessionDescription(Session with);
    static std::string getMaskTargetDescription(MaskTarget with);
    static std::string getMaskActionDescription(MaskAction with);
    static std::string getEncodingDescription(Encoding with);
    static std::string getTariTypeDescription(TariType with);
    static std::string getBlfTypeDescription(BlfType with);

    // The display text of the case of E whose raw value is `raw`; no value for a number that is
    // no case of E. This is the form for callers that hold a bare number (the C entry points):
    // an unknown number is refused here, before a text is asked for.
    template <TabledEnum E, std::integral Raw>
    static std::optional<std::string> descriptionOfRaw(Raw raw) {
        const std::optional<E> value = fromRaw<E>(raw);
        if (!value) return std::nullopt;
        return std::string(orvane::description(*value));
    }

    // The DeviceType whose display text equals `with` ignoring case, trying unknown, vk640 and
    // vk210 in this order; `unknown` when none does.
    static DeviceType getDeviceType(std::string_view with);
};

}  // namespace orvane
