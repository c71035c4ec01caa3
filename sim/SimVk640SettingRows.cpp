#include <chrono>
#include <ctime>
#include <string>

#include "orvanerfid/commands/STPacket.h"
#include "sim/SimVk640.h"

namespace orvane {
namespace {

constexpr uint8_t kGetConfig = 0x11;
constexpr uint8_t kSetConfig = 0x12;
// A status the reader gives a request it cannot take.
constexpr uint16_t kRefused = 0xFFFF;

// The reader's clock now, as its six bytes.
Bytes clockNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    return {static_cast<uint8_t>(local.tm_year + 1900 - 2000),
            static_cast<uint8_t>(local.tm_mon + 1),
            static_cast<uint8_t>(local.tm_mday),
            static_cast<uint8_t>(local.tm_hour),
            static_cast<uint8_t>(local.tm_min),
            static_cast<uint8_t>(local.tm_sec)};
}

struct Setting {
    uint8_t tag;
    Bytes initial;
};

}  // namespace

std::string SimVk640::configName(uint8_t tag) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    return std::string("config.") + kHex[tag >> 4] + kHex[tag & 0x0F];
}

void addVk640SettingRows(SimVk640& reader) {
    const Setting settings[] = {
        {0x01, {0x01}},                    // vibrator on
        {0x02, {0x02}},                    // beeper volume medium
        {0x03, clockNow()},                // system time
        {0x04, {0x02}},                    // auto-off time, minutes
        {0x05, {0x03}},                    // read mode
        {0x07, {0x00}},                    // data format
        {0x08, {0x00}},                    // data info
        {0x09, {0x00, 0x00, 0x00, 0x00}},  // data range: offset, length
        {0x0A, {0x01}},                    // data terminator: CRLF
        {0x0B, {0x00}},                    // tag unique
        {0x0E, {0x00, 0x00}},              // screen-off time: minutes, seconds
        {0x0F, Bytes(64, 0x00)},           // user data
        {0x20, {0x01}},                    // operating mode: Bluetooth SPP
        {0x21, Bytes(32, 0x00)},           // app bundle ID
        {0x22, {0x01}},                    // Bluetooth simple pairing
    };
    for (const auto& setting : settings) {
        const uint8_t tag = setting.tag;
        const std::string name = SimVk640::configName(tag);
        reader.setSetting(name, setting.initial);
        const std::size_t size = setting.initial.size();
        reader.addRow(SimVk640::rowKey(SimVk640::kDeviceGroup, kGetConfig, tag),
                      [&reader, tag, name](const SimRequest& r) {
                          reader.replyTlv(r, tag, reader.setting(name));
                      });
        // A value of the setting's size is kept and echoed; another size is refused.
        reader.addRow(SimVk640::rowKey(SimVk640::kDeviceGroup, kSetConfig, tag),
                      [&reader, tag, name, size](const SimRequest& r) {
                          const ByteView value = r.frame.subspan(STPacket::kHeaderSize + 2);
                          if (value.size() != size) {
                              reader.replyPacket(r, SimVk640::tlv(tag, {}), kRefused);
                              return;
                          }
                          const Bytes kept(value.begin(), value.end());
                          reader.setSetting(name, kept);
                          reader.replyTlv(r, tag, kept);
                      });
    }
    // Factory reset and shutdown: counted, and answered with an empty record.
    for (const uint8_t tag : {uint8_t{0x40}, uint8_t{0x41}}) {
        reader.addRow(SimVk640::rowKey(SimVk640::kDeviceGroup, kSetConfig, tag),
                      [&reader, tag](const SimRequest& r) { reader.replyTlv(r, tag, {}); });
    }
}

}  // namespace orvane
