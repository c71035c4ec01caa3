#pragma once

// The reader settings, scan engine and firmware update of the simulated Vk210 (see SimVk210.h
// for the rows mechanism). Setting rows answer a get with the stored bytes and store the data of
// a set; the names below are the settings' names in the reader's store.
//
//   engine       "engineModel", "engineVersion" (text); "engineAbsent" {1}: the engine requests
//                answer status 0xE1 (target not found)
//   keys         "key0", "key1": the function byte of the upper and the lower key
//   app bundle   "appBundleId": the text without its id byte and end byte
//   battery      "batteryExtended": the thirteen items' reply bytes, in item order (numbers four
//                bytes, texts ended by 0x00); a request answers the items it asks for
//   firmware     "firmwareFile": the bytes received since the last start; "firmwareName",
//                "firmwareSize"; "firmwareInstalled" {1} after the install request;
//                "failBlock" {n}: block n (from 1) is answered with status 0xE0
//   other pairs  named after the setting ("beeperVolume", "connectionMode", ...)

#include <optional>
#include <string>

#include "sim/SimVk210.h"

namespace orvane {

// Every get/set pair, read-only setting and action of the reader's own settings, the scan
// engine's requests and the event notifications.
void addVk210SettingRows(SimVk210& reader);
// The firmware update: start, blocks and install.
void addVk210FirmwareRows(SimVk210& reader);

// Fits the reader with an engine of that model (or none).
void setSimVk210Engine(SimVk210& reader, std::optional<std::string> model);
// Block `block` (from 1) of the next transfers fails with status 0xE0; 0 clears the switch.
void setSimVk210FailingBlock(SimVk210& reader, uint8_t block);

}  // namespace orvane
