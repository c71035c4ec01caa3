// The transport's frame dumps: the password and Reserved-bank bytes of each model's frames are
// masked byte for byte, also when the reader's bytes arrive cut anywhere across two reads.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvanerfid/commands/FrameSecrets.h"
#include "orvanerfid/commands/Gen2Packets.h"
#include "orvanerfid/commands/TagCommands.h"

namespace orvane {
namespace {

const Bytes kSecret = {0x1A, 0x2B, 0x3C, 0x4D};

int masked(const std::string& dump) {
    int n = 0;
    for (auto at = dump.find("0x**"); at != std::string::npos; at = dump.find("0x**", at + 1))
        ++n;
    return n;
}

TEST(FrameDump, SecretBytesAreMaskedWhereverTheStreamIsCut) {
    OrvRfidCmd_Write write;
    write.password = kSecret;
    write.bank = BankType::reserved;
    write.writeData = kSecret;
    Bytes outcome = {0x00, 0x82, 0x00};  // a read's outcome: code, result, the words read
    outcome.insert(outcome.end(), kSecret.begin(), kSecret.end());
    STUHFL_T_Gen2_Read read;
    read.memoryBank = STUHFL_D_GEN2_MEMORY_BANK::RESERVED;
    read.setPwd(kSecret);
    read.numReadBytes = 4;
    read.data = kSecret;
    STUHFL_T_Gen2_Kill kill;
    kill.setPwd(kSecret);

    struct Row {
        const char* what;
        DeviceType model;
        FrameDirection direction;
        Bytes frame;
        int secretBytes;
    };
    const std::vector<Row> rows = {
        {"Vk210 Reserved-bank write", DeviceType::vk210, FrameDirection::toReader, write.toBytes(),
         8},
        {"Vk210 read outcome", DeviceType::vk210, FrameDirection::fromReader,
         OrvaneRfidCommand::frame(OrvRfidCmdId::tagAccessData, outcome), 4},
        {"Vk640 Reserved-bank read", DeviceType::vk640, FrameDirection::fromReader,
         read.commandPacketBytes(), 8},
        {"Vk640 kill", DeviceType::vk640, FrameDirection::fromReader, kill.commandPacketBytes(), 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string whole = maskedFrameDump(row.frame, row.model, row.direction);
        EXPECT_EQ(whole.size(), row.frame.size() * 5) << whole;
        EXPECT_EQ(masked(whole), row.secretBytes) << whole;
        if (row.direction == FrameDirection::toReader) continue;
        // Two frames in a row, cut at every place: the same dump, piece by piece.
        Bytes stream = row.frame;
        stream.insert(stream.end(), row.frame.begin(), row.frame.end());
        for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
            FrameDumpMasker dumps;
            const ByteView bytes(stream);
            std::string text = dumps.dump(bytes.first(cut), row.model);
            text += dumps.dump(bytes.subspan(cut), row.model);
            EXPECT_EQ(text, whole + whole) << "cut at " << cut;
        }
    }
}

}  // namespace
}  // namespace orvane
