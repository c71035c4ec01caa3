#pragma once

// A simulated reader for testing an application without hardware: a Vk210 or Vk640 that answers
// the SDK as the real reader does, with a field of simulated tags (each with an EPC, a TID and
// user memory). Once attached it is announced like a plugged-in reader: DetectReader reports
// it, and a UhfReader made for it connects, initialises, reads tags and changes settings.
//
// Installed with the SDK as the optional component `sim` (target OrvaneRFID::sim, header
// <orvanerfid/sim/SimulatedReader.h>); it uses the SDK's own accessory manager.
//
// Threads: every method may be called from any thread. The simulated reader answers on threads
// of its own; it never calls back into the application. When one of them cannot start (the
// process is out of threads) it throws nothing: it opens no link (connect() fails) or reports no
// tag.

#include <cstddef>
#include <memory>
#include <string>

#include "orvanerfid/core/Bytes.h"
#include "orvanerfid/core/DeviceEnums.h"
#include "orvanerfid/platform/Accessory.h"

#if defined(__GNUC__) || defined(__clang__)
#define ORVANE_SIM_API __attribute__((visibility("default")))
#else
#define ORVANE_SIM_API
#endif

namespace orvane::sim {

class ORVANE_SIM_API SimulatedReader {
  public:
    // A simulated reader of `model` (vk210 or vk640; null for any other) with `tagCount` tags in
    // its field. It is not attached yet.
    static std::shared_ptr<SimulatedReader> create(DeviceType model, std::size_t tagCount = 0,
                                                   const std::string& serialNumber = "");
    // Detaches the reader when it is still attached.
    ~SimulatedReader();
    SimulatedReader(const SimulatedReader&) = delete;
    SimulatedReader& operator=(const SimulatedReader&) = delete;

    DeviceType model() const;
    // The accessory the platform announces for this reader.
    std::shared_ptr<Accessory> accessory() const;

    // Plugs the reader in and unplugs it (AccessoryManager::shared()).
    void attach();
    void detach();

    // ---- The field
    // Replaces the tags in the field by `count` new ones with distinct EPCs and RSSI values.
    void setTagCount(std::size_t count);
    std::size_t tagCount() const;
    // The user memory of the tag at `index` (empty when there is no such tag).
    Bytes userMemory(std::size_t index) const;
    // Tag reports per second while an inventory runs; 0 (the default): as fast as the SDK reads.
    void setInventoryRate(double perSecond);
    // True: an inventory reports every tag again and again until it is stopped; false (the
    // default): each tag once.
    void setInventoryRepeats(bool repeats);

    // ---- Faults
    // A silent reader takes requests and answers none.
    void setSilent(bool silent);
    // Drops the open link, as a cable pulled mid-exchange does (the accessory stays attached).
    void dropLink();

  private:
    struct State;
    explicit SimulatedReader(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace orvane::sim
