#pragma once

// A simulated Vk210 reader: answers the command frames the host writes from its settings and
// tag population, streams inventories, reports tag accesses and sends events on demand.
//
// Command families are rows (see SimReader.h). Each family has a function in a source file of
// its own that registers its rows, `addVk210<Family>Rows(SimVk210&)`, declared below and called
// by the constructor; a later family adds its function and one call, and touches no other row.
// Rows answer with `replyStatus`/`replyOk`, which apply the reply faults (late reply, wrong
// status); settings are raw reply bytes under the names the rows document.

#include <memory>
#include <optional>
#include <string>

#include "orvanerfid/commands/OrvRfidCmdId.h"
#include "sim/SimAccessory.h"
#include "sim/SimReader.h"
#include "sim/SimScanEngine.h"

namespace orvane {

class SimQm5520Module;

class SimVk210 : public SimReader {
  public:
    static constexpr uint8_t kOk = 0x00;

    SimVk210();

    // What the real reader says about itself when it attaches.
    static AccessoryInfo accessoryInfo(std::string serialNumber = "SIM210-0001");
    // A new simulated reader behind a new accessory (not attached yet).
    static std::shared_ptr<SimAccessory> makeAccessory(const std::shared_ptr<SimVk210>& reader,
                                                       std::string serialNumber = "SIM210-0001");

    // A reply frame: command code, status byte, data.
    static Bytes replyFrame(OrvRfidCmdId id, uint8_t status, ByteView data = {});
    // A frame the reader sends on its own: a status byte of success first, unless the command
    // carries none.
    static Bytes eventFrame(OrvRfidCmdId id, ByteView data = {});
    // The inventory-data report of one tag: antenna, RSSI, PC, EPC.
    static Bytes tagReportFrame(const SimTag& tag);
    // The same frame appended to `out`.
    static void appendTagReport(Bytes& out, const SimTag& tag);

    // Answers the request with `status` and `data`, with the reply faults applied.
    void replyStatus(const SimRequest& request, uint8_t status, ByteView data = {});
    void replyOk(const SimRequest& request, ByteView data = {}) { replyStatus(request, kOk, data); }
    // Answers with success as replyOk does, then sends `followUp` (when not empty) `gap` after
    // the reply, late with it. False, with no follow-up, when a reply fault turned the status
    // into a refusal: the request's work is not to go on.
    bool replyOkThen(const SimRequest& request, Bytes followUp = {}, Clock::duration gap = {});

    // ---- Inventory
    // Reports per second while an inventory runs; 0 (the default): as fast as the host reads.
    void setInventoryRate(double perSecond);
    // Above 0: the link drops after this many reports of the next inventory.
    void setDropLinkAfterReports(std::size_t reports);
    // True (the default): each tag is reported once per inventory; false: rounds until stopped.
    void setInventoryOnce(bool once);

    // ---- Events on demand; false when no link is open
    bool sendKey(bool lowerKey, bool pressed);
    bool sendBatteryNotice(uint8_t percentage, bool charging);
    bool sendTemperatureNotice(uint16_t tenthsOfDegree);
    bool sendBarcode(ByteView data, std::optional<uint8_t> barcodeId = std::nullopt);
    bool sendSystemError(uint8_t kind);

    // ---- Scan engine: a Zebra SE4107 until loadDefaults() of another model
    SimScanEngine& scanEngine() { return scanEngine_; }

  private:
    friend void addVk210InventoryRows(SimVk210& reader);
    friend std::shared_ptr<SimQm5520Module> addVk210ModuleRows(SimVk210& reader);
    SimStreamPlan inventoryPlan() const;

    mutable std::mutex planLock_;
    double inventoryRate_ = 0;
    std::size_t dropAfter_ = 0;
    bool inventoryOnce_ = true;
    SimScanEngine scanEngine_{EngineModel::SE4107};
};

// Identity, temperature and battery: firmware ("firmware", the version bytes), model name
// ("modelName"), serial number ("serialNumber", text), ambient and PA temperature
// ("ambientTemperature", "paTemperature": two bytes, tenths of a degree), battery
// ("battery": flags with bit 0 charging, percentage).
void addVk210DeviceRows(SimVk210& reader);
// Inventory start and stop (then the inventory-status frame).
void addVk210InventoryRows(SimVk210& reader);
// Tag access: read, write, lock, kill answer with the status at once and report the outcome in
// a tag-access-data frame shortly after, working on the first tag of the population.
void addVk210TagAccessRows(SimVk210& reader);
// The scan engine's parameter packets (the pass-through command): answered by scanEngine(),
// the reply packet after a success status; no reply when the engine makes none.
void addVk210EngineRows(SimVk210& reader);

}  // namespace orvane
