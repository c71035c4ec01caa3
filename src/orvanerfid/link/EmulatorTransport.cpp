#include "orvanerfid/link/EmulatorTransport.h"

#include <algorithm>
#include <chrono>

#include "orvanerfid/core/Logger.h"
#include "orvanerfid/core/Utilities.h"
#include "orvanerfid/platform/TimeoutControl.h"

namespace orvane {

EmulatorTransport::EmulatorTransport() : BaseTransport("EmulatorTransport") {}

bool EmulatorTransport::connect() {
    noteLinkOpened();
    setConnectState(ConnectState::connecting);
    connected_.store(true);
    setConnectState(ConnectState::connected);
    return true;
}

bool EmulatorTransport::disconnect() {
    setConnectState(ConnectState::disconnecting);
    connected_.store(false);
    setConnectState(ConnectState::disconnected);
    return true;
}

int EmulatorTransport::read(std::span<uint8_t> data, int offset, int length, int timeout) {
    if (!connected_.load()) return 0;
    checkReadBuffer(data, offset, length, "read(data:offset:length:timeout:)");
    const TimeoutControl timeoutControl(timeout);
    if (length < 1) return 0;

    int total = 0;
    while (total < length) {
        int count = byteQueue().count();
        while (count == 0) {
            Clock::sleepFor(std::chrono::microseconds(10));
            if (timeoutControl.isTimeout()) {
                orvLogger::error(className(), "Read data timeout");
                return -2;
            }
            count = byteQueue().count();
        }
        const int moved =
            byteQueue().dequeue(data, offset + total, std::min(count, length - total));
        if (orvLogger::isEnabled(LogLevel::trace)) {
            orvLogger::trace(className(), "Read: " + toHexDumpString(ByteView(data).subspan(
                                                         static_cast<std::size_t>(offset + total),
                                                         static_cast<std::size_t>(moved))));
        }
        total += moved;
        Clock::sleepFor(std::chrono::microseconds(10));
    }
    return total;
}

int EmulatorTransport::write(ByteView, int, int, int) {
    return 0;
}

}  // namespace orvane
