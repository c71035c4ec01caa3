// The transport's frame dumps: the password and Reserved-bank bytes of each model's frames are
// masked byte for byte, also when the reader's bytes arrive cut anywhere across two reads; a
// Vk210 read outcome's words are masked unless its bank is known not to be Reserved.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
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

// Names one bank for every access outcome and counts the outcomes taken.
class FixedBanks : public AccessOutcomeBanks {
  public:
    explicit FixedBanks(std::optional<BankType> bank) : bank_(bank) {}
    std::optional<BankType> outcomeBank(uint16_t, bool take) override {
        if (take) ++taken;
        return bank_;
    }
    int taken = 0;

  private:
    std::optional<BankType> bank_;
};

TEST(FrameDump, AReadOutcomeShowsItsWordsOnlyForABankKnownNotToBeReserved) {
    Bytes outcome = {0x00, 0x82, 0x00};
    outcome.insert(outcome.end(), kSecret.begin(), kSecret.end());
    const Bytes frame = OrvaneRfidCommand::frame(OrvRfidCmdId::tagAccessData, outcome);
    Bytes stream = frame;
    stream.insert(stream.end(), frame.begin(), frame.end());
    const struct {
        std::optional<BankType> bank;
        int secretBytes;
    } rows[] = {
        {std::nullopt, 4},  {BankType::reserved, 4}, {BankType::epc, 0},
        {BankType::tid, 0}, {BankType::user, 0},     {static_cast<BankType>(9), 4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bank ? static_cast<int>(rawValue(*row.bank)) : -1);
        EXPECT_EQ(masked(maskedHexDump(
                      frame, vk210FrameSecrets(frame, FrameDirection::fromReader, row.bank))),
                  row.secretBytes);
        // Two outcomes cut at every place, dumped or not: each is asked for its bank as a whole
        // frame exactly once, so the pairing keeps its place also while nothing is logged.
        for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
            for (const bool wanted : {true, false}) {
                auto banks = std::make_shared<FixedBanks>(row.bank);
                FrameDumpMasker dumps(banks);
                const ByteView bytes(stream);
                std::string text = dumps.dump(bytes.first(cut), DeviceType::vk210, wanted);
                text += dumps.dump(bytes.subspan(cut), DeviceType::vk210, wanted);
                EXPECT_EQ(banks->taken, 2) << "cut at " << cut;
                if (!wanted) continue;
                EXPECT_EQ(text.size(), stream.size() * 5) << text;
                EXPECT_EQ(masked(text), 2 * row.secretBytes) << "cut at " << cut << ": " << text;
            }
        }
    }
}

}  // namespace
}  // namespace orvane
