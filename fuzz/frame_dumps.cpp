// The masked dumps of reader bytes, which run on every byte a reader sends, also while nothing
// is logged. The first input byte picks the bank named for the Vk210 access outcomes and which
// chunks are logged; the rest is a byte stream, dumped whole (in both directions) and chunk by
// chunk through a FrameDumpMasker, for each model. Chunk sizes come from the stream's own bytes.
//
// Checked: every dump has five characters per byte ("0xAB " or "0x** "), each showing the
// byte it stands for; every secret span a frame (or the head of one) gives lies inside it, and
// every masked byte of a dump lies inside a frame or head that the dump's walk met; the masker
// asks for the bank of each whole Vk210 access outcome exactly once, logged or not.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "orvanerfid/commands/FrameSecrets.h"
#include "orvanerfid/commands/OrvaneRfidCommand.h"
#include "orvanerfid/commands/STPacket.h"

namespace {

using namespace orvane;

// Names one bank (or none) for every access outcome and counts the whole outcomes.
class CountingBanks : public AccessOutcomeBanks {
  public:
    explicit CountingBanks(std::optional<BankType> bank) : bank_(bank) {}
    std::optional<BankType> outcomeBank(uint16_t, bool take) override {
        if (take) ++taken;
        return bank_;
    }
    std::size_t taken = 0;

  private:
    std::optional<BankType> bank_;
};

struct Range {
    std::size_t begin;
    std::size_t end;
};

FrameCut cutFor(DeviceType model, ByteView head) {
    return model == DeviceType::vk210 ? OrvaneRfidCommand::cutFrame(head)
                                      : STPacket::cutPacket(head);
}

// Checks the secret spans of one frame or head in every way the dumps ask for them.
void checkSpans(DeviceType model, ByteView frame, std::optional<BankType> bank) {
    const auto inside = [&](const SecretSpans& spans) {
        for (const SecretSpan& span : spans) {
            if (span.begin >= span.end || span.end > frame.size()) __builtin_trap();
        }
    };
    if (model == DeviceType::vk640) {
        inside(stPacketSecrets(frame));
        return;
    }
    for (const FrameDirection direction : {FrameDirection::toReader, FrameDirection::fromReader}) {
        inside(vk210FrameSecrets(frame, direction));
        inside(vk210FrameSecrets(frame, direction, bank));
    }
}

// Whether a whole Vk210 frame is an access outcome whose data shows the access's code.
bool accessOutcome(ByteView frame) {
    return readBe16(frame, 3) == rawValue(OrvRfidCmdId::tagAccessData) && readBe16(frame, 1) >= 6;
}

// The walk of the dumps over `buffer`: the frames and the unfinished head it meets, as stream
// ranges from `base`, with their spans checked. Returns where the unfinished head starts
// (`buffer.size()` when none is left); counts the whole Vk210 access outcomes.
std::size_t walk(DeviceType model, ByteView buffer, std::size_t base, std::optional<BankType> bank,
                 std::vector<Range>& frames, std::size_t& outcomes) {
    std::size_t at = 0;
    while (at < buffer.size()) {
        const ByteView head = buffer.subspan(at);
        const FrameCut cut = cutFor(model, head);
        if (cut.status == FrameCutStatus::invalid) {
            ++at;
            continue;
        }
        if (cut.status == FrameCutStatus::incomplete) {
            if (cut.length != 0) __builtin_trap();
            checkSpans(model, head, bank);
            frames.push_back({base + at, base + buffer.size()});
            return at;
        }
        if (cut.length == 0 || cut.length > head.size()) __builtin_trap();
        const ByteView frame = head.first(cut.length);
        checkSpans(model, frame, bank);
        if (model == DeviceType::vk210 && accessOutcome(frame)) ++outcomes;
        frames.push_back({base + at, base + at + cut.length});
        at += cut.length;
    }
    return buffer.size();
}

// Checks a dump of stream[from, from + text.size() / 5): five characters per byte, each byte
// shown as itself or masked, and the masked ones inside `frames` (in stream order, apart).
void checkDump(const std::string& text, ByteView stream, std::size_t from,
               const std::vector<Range>& frames) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (text.size() % 5 != 0 || from + text.size() / 5 > stream.size()) __builtin_trap();
    std::size_t frame = 0;
    for (std::size_t i = 0; i < text.size() / 5; ++i) {
        const std::size_t at = from + i;
        const char* token = text.data() + i * 5;
        if (token[0] != '0' || token[1] != 'x' || token[4] != ' ') __builtin_trap();
        if (token[2] == '*' && token[3] == '*') {
            while (frame < frames.size() && frames[frame].end <= at)
                ++frame;
            if (frame == frames.size() || frames[frame].begin > at) __builtin_trap();
        } else if (token[2] != kDigits[stream[at] >> 4] || token[3] != kDigits[stream[at] & 0x0F]) {
            __builtin_trap();
        }
    }
}

void checkModel(DeviceType model, ByteView stream, std::optional<BankType> bank,
                unsigned unlogged) {
    // The whole stream in one write, each direction.
    for (const FrameDirection direction : {FrameDirection::toReader, FrameDirection::fromReader}) {
        const std::string text = maskedFrameDump(stream, model, direction);
        if (text.size() != stream.size() * 5) __builtin_trap();
        std::vector<Range> frames;
        std::size_t outcomes = 0;
        walk(model, stream, 0, bank, frames, outcomes);
        checkDump(text, stream, 0, frames);
    }

    // Chunk by chunk as a read loop receives it; a chunk's size is 1 + its first byte % 64.
    auto banks = std::make_shared<CountingBanks>(bank);
    FrameDumpMasker dumps(banks);
    std::size_t pending = 0;  // where the head the masker keeps starts
    std::size_t outcomes = 0;
    std::size_t chunk = 0;
    for (std::size_t at = 0; at < stream.size(); ++chunk) {
        const std::size_t size = std::min<std::size_t>(1 + stream[at] % 64, stream.size() - at);
        const bool wanted = ((unlogged >> (chunk % 5)) & 1u) == 0;
        const std::string text = dumps.dump(stream.subspan(at, size), model, wanted);
        std::vector<Range> frames;
        pending += walk(model, stream.subspan(pending, at + size - pending), pending, bank, frames,
                        outcomes);
        if (!wanted && !text.empty()) __builtin_trap();
        if (wanted) {
            if (text.size() != size * 5) __builtin_trap();
            checkDump(text, stream, at, frames);
        }
        at += size;
    }
    if (model == DeviceType::vk210 && banks->taken != outcomes) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // Bits 0-2 of the first byte: the bank (0-3, 4 a value of no case, else none); bits 3-7:
    // chunk k is left unlogged when bit k % 5 of them is set.
    const unsigned pick = data[0] & 7u;
    std::optional<BankType> bank;
    if (pick < 4) bank = static_cast<BankType>(pick);
    if (pick == 4) bank = static_cast<BankType>(9);
    const unsigned unlogged = data[0] >> 3;
    const ByteView stream(data + 1, size - 1);
    checkModel(DeviceType::vk210, stream, bank, unlogged);
    checkModel(DeviceType::vk640, stream, bank, unlogged);
    return 0;
}
