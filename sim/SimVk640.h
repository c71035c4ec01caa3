#pragma once

// A simulated Vk640 reader: answers the ST25RU3993 host packets the host writes from its
// settings and tag population, streams inventory data packets (several tag records per packet,
// each packet opened by a statistics record, each tag closed by its end record), records what
// the reader was asked to signal and show, and sends its own notifications on demand.
//
// Command families are rows (see SimReader.h), keyed by group, subcode and, where a family tells
// its members apart by it, the TLV tag of the request. Each family has a function in a source
// file of its own that registers its rows, `addVk640<Family>Rows(SimVk640&)`, declared below and
// called by the constructor. To add a family, write such a function (register with
// `rowKey(group, subcode)` for every request of a group and subcode, or `rowKey(group, subcode,
// tag)` for one TLV tag; a tagged row wins over an untagged one), declare it here and call it
// from the constructor; no other row changes. Rows answer with `replyPacket`/`replyTlv`, which
// apply the reply faults (late reply, wrong status). Settings are raw value bytes under the
// names the rows document.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/SimAccessory.h"
#include "sim/SimReader.h"

namespace orvane {

class SimVk640 : public SimReader {
  public:
    static constexpr uint8_t kDeviceGroup = 0x10;
    static constexpr uint8_t kRadioGroup = 0x01;
    static constexpr uint8_t kInventoryGroup = 0x03;
    // Tags per inventory data packet unless set otherwise.
    static constexpr std::size_t kTagsPerPacket = 8;

    SimVk640();

    // What the real reader says about itself when it attaches.
    static AccessoryInfo accessoryInfo(std::string serialNumber = "SIM640-0001",
                                       std::string firmware = "1.01.11");
    static std::shared_ptr<SimAccessory> makeAccessory(const std::shared_ptr<SimVk640>& reader,
                                                       std::string serialNumber = "SIM640-0001",
                                                       std::string firmware = "1.01.11");

    // The row key of every request of `group` and `subcode`, or of those with TLV tag `tag`.
    static Key rowKey(uint8_t group, uint8_t subcode, std::optional<uint8_t> tag = std::nullopt);

    // A packet as the reader sends it: mode 0x8000, the sequence number, the status word.
    static Bytes packet(uint8_t group, uint8_t subcode, ByteView payload, uint16_t sequence = 0,
                        uint16_t status = 0);
    // One TLV record.
    static Bytes tlv(uint8_t tag, ByteView value);
    // The setting that holds the value of configuration record `tag` ("config.0A").
    static std::string configName(uint8_t tag);

    // The log I and log Q values the reader reports for the tag at `index` of its population:
    // log I 1-12 and log Q 1-13, every pair once in each 156 tags, so their sum runs 2-25. The host
    // reads the RSSI as (log I + log Q) / 2 x 2.1 dB below the receive gain, which puts every tag
    // between -80 and -30 dBm, where a passive tag seen by a handheld lies, for the gains this
    // reader reports: about -58 to -34 dBm with its gain registers unset (60 dB), -73 to -49 dBm
    // at a gain of 75 dB.
    static uint8_t logI(std::size_t index) { return static_cast<uint8_t>(1 + index % 12); }
    static uint8_t logQ(std::size_t index) { return static_cast<uint8_t>(1 + (index / 12) % 13); }
    // One inventory data packet for consecutive tags, the first at `firstIndex`: a statistics
    // record (Q and the frequency), then per tag a header record (antenna, log I and Q, PC), its
    // EPC, its TID when it has one, and the end record.
    static Bytes inventoryPacket(std::span<const SimTag> tags, std::size_t firstIndex,
                                 uint8_t q = 4, uint32_t frequency = 866900);
    // The same, appended to `out`.
    static void appendInventoryPacket(Bytes& out, std::span<const SimTag> tags,
                                      std::size_t firstIndex, uint8_t q = 4,
                                      uint32_t frequency = 866900);

    // Answers with a packet of the request's group and subcode (its sequence number echoed), with
    // the reply faults applied; gives the status the packet carried.
    uint16_t replyPacket(const SimRequest& request, ByteView payload, uint16_t status = 0);
    // Answers with one TLV record.
    void replyTlv(const SimRequest& request, uint8_t tag, ByteView value) {
        replyPacket(request, tlv(tag, value));
    }

    // ---- Inventory
    void setTagsPerPacket(std::size_t tags);
    // Tags per second while an inventory runs; 0 (the default): as fast as the host reads.
    void setInventoryRate(double perSecond);
    // True (the default): each tag is reported once per inventory; false: rounds until stopped.
    void setInventoryOnce(bool once);
    // Above 0: the link drops after this many tags of the next inventory.
    void setDropLinkAfterTags(std::size_t tags);

    // ---- What the reader was asked to signal and show, in order
    struct Shown {
        std::optional<uint8_t> signal;  // the find-device mode, when one came with the text
        std::string text;
        uint8_t position = 0;
        uint8_t line = 0;
        bool clear = false;
    };
    std::vector<Shown> shown() const;
    // Find-device requests without a display packet in the same write.
    int signalsAlone() const;

    // ---- Notifications on demand; false when no link is open
    bool sendBatteryNotice(uint8_t percentage);
    bool sendTemperatureNotice(uint8_t degrees);
    bool sendTriggerKey(bool pressed);

  private:
    friend void addVk640InventoryRows(SimVk640& reader);
    friend void addVk640IndicatorRows(SimVk640& reader);
    SimStreamPlan inventoryPlan() const;
    void recordSignal(uint8_t mode);
    void recordDisplay(ByteView value);

    mutable std::mutex planLock_;
    std::size_t tagsPerPacket_ = kTagsPerPacket;
    double inventoryRate_ = 0;
    bool inventoryOnce_ = true;
    std::size_t dropAfter_ = 0;

    mutable std::mutex shownLock_;
    std::vector<Shown> shown_;
    std::optional<uint8_t> pendingSignal_;
    int signalsAlone_ = 0;
};

// Identity, temperature and battery of the device group: firmware version ("firmware", text),
// serial number ("serialNumber", text), Bluetooth MAC ("mac", 6 bytes), model name
// ("modelName", text), battery ("battery", percentage), SKU ("sku", 1 byte), temperature
// ("temperature", degrees).
void addVk640DeviceRows(SimVk640& reader);
// The radio module's configuration reads: registers ("register.XX", one byte, XX the address in
// upper-case hex; unset registers read 0) and the frequency profile information
// ("freqProfileInfo", 10 bytes).
void addVk640RadioRows(SimVk640& reader);
// Inventory start (its payload echoed, then the stream) and stop (the stream ends first, then the
// stop's reply).
void addVk640InventoryRows(SimVk640& reader);
// Find device and display output: recorded, then answered with a set reply naming the tag.
void addVk640IndicatorRows(SimVk640& reader);
// The reader's configuration records under getConfigure and setConfigure, each kept as
// configName(tag) in its own size (a set of another size is refused with status 0xFFFF):
// vibrator, beeper, system time, auto-off time, read mode, data format, data info, data range,
// data terminator, tag unique, screen-off time, user data, operating mode, app bundle ID and
// Bluetooth simple pairing; factory reset and shutdown are answered with an empty record.
void addVk640SettingRows(SimVk640& reader);
// The radio module: configuration records (get and set), power mode, the Gen2 select list,
// read, write, lock and kill on the tag population, inventories filtered by the select list, and
// stop requests that fail while the "failStop" count lasts. See SimVk640ModuleRows.cpp.
void addVk640ModuleRows(SimVk640& reader);

}  // namespace orvane
