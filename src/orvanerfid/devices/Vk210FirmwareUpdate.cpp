#include "orvanerfid/devices/Vk210FirmwareUpdate.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string>

#include "orvanerfid/commands/FileCommands.h"
#include "orvanerfid/core/Logger.h"
#include "orvanerfid/devices/Vk210Settings.h"

namespace orvane::vk210 {
namespace {

constexpr std::string_view kTag = "firmwareUpdate(_:_:)";

}  // namespace

void runFirmwareUpdate(BaseProtocol& protocol, const std::string& fileName, ByteView file,
                       const FirmwareProgress& progress, const std::function<bool()>& aborted) {
    using State = FirmwareUpdateState;
    // The progress goes to application code: whatever it throws is logged and the update goes on.
    const auto report = [&](State state, uint8_t percentage) {
        try {
            progress(state, percentage);
        } catch (const std::exception& e) {
            orvLogger::error(std::string(kTag) + " The progress report threw: " + e.what());
        } catch (...) {
            orvLogger::error(std::string(kTag) + " The progress report threw");
        }
    };
    if (file.size() > UINT32_MAX) {
        throw ReaderException(ResultCode::outOfRange,
                              "The firmware file must be smaller than 4 GiB.");
    }
    const Bytes startFrame =
        OrvRfidCmd_StartFileTransfer(fileName, static_cast<uint32_t>(file.size())).toBytes();

    const auto abortSeen = [&] {
        if (!aborted()) return false;
        report(State::abort, 100);
        orvLogger::debug("Abort update firmware");
        return true;
    };

    report(State::start, 100);
    if (abortSeen()) return;
    try {
        report(State::erasingMemory, 0);
        exchange(protocol, startFrame, kTag, kFileTransferTimeout);
        report(State::erasingMemory, 100);

        report(State::uploading, 0);
        uint8_t uploaded = 0;
        for (std::size_t sent = 0; sent < file.size();) {
            const std::size_t block = std::min(kFirmwareBlockSize, file.size() - sent);
            OrvRfidCmd_SendFile command;
            command.fileData.assign(file.begin() + static_cast<std::ptrdiff_t>(sent),
                                    file.begin() + static_cast<std::ptrdiff_t>(sent + block));
            exchange(protocol, command.toBytes(), "", kFileTransferTimeout);
            sent += block;
            uploaded = static_cast<uint8_t>(uint64_t{sent} * 100 / file.size());
            report(State::uploading, uploaded);
            if (abortSeen()) return;
        }
        if (uploaded != 100) report(State::uploading, 100);
        if (abortSeen()) return;

        report(State::updating, 0);
        OrvRfidCmd_FirmwareUpdate install;
        install.updateMode = OrvRfidCmdUpdateMode::fileUpdateMode;
        exchange(protocol, install.toBytes(), "", kInstallTimeout);
        report(State::updating, 100);
    } catch (const ReaderException&) {
        report(State::stop, 100);
        throw;
    }
    report(State::stop, 100);
}

}  // namespace orvane::vk210
