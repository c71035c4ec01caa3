#pragma once

// Public enumerations of reader-level settings and states.

#include <cstdint>

#include "orvanerfid/core/Enum.h"

namespace orvane {

#define ORV_CONNECT_STATE(X)           \
    X(disconnected, 0, "Disconnected") \
    X(listen, 1, "Listen")             \
    X(connecting, 2, "Connecting")     \
    X(connected, 3, "Connected")       \
    X(disconnecting, 4, "Disconnecting")

ORV_ENUM(ConnectState, uint8_t, ORV_CONNECT_STATE);

#define ORV_DEVICE_TYPE(X)   \
    X(unknown, 0, "Unknown") \
    X(vk640, 1, "VK640")     \
    X(vk210, 2, "VK210")

ORV_ENUM(DeviceType, uint8_t, ORV_DEVICE_TYPE);

}  // namespace orvane
