#include "audio/DtsFrame.h"

#include "audio/BitCursor.h"
#include "audio/FrameScan.h"

#include <array>
#include <cstddef>

namespace vidtag::audio {

namespace {

// The core header reaches LFF at its 87th bit: 11 bytes in 16-bit words.
constexpr std::size_t kHeaderBytes = 12;

// Hz by SFREQ; 0 where the code is invalid.
constexpr std::array<std::uint32_t, 16> kRates{0, 8000, 16000, 32000, 0,     0, 11025, 22050, 44100,
                                               0, 0,    12000, 24000, 48000, 0, 0};
// kbit/s by RATE; 0 for the open, variable and lossless codes, which name no rate.
constexpr std::array<std::uint16_t, 32> kBitrates{
    32,  56,   64,   96,   112,  128,  192,  224,  256,  320,  384,  448,  512,  576, 640, 768,
    960, 1024, 1152, 1280, 1344, 1408, 1411, 1472, 1536, 1920, 2048, 3072, 3840, 0,   0,   0};
constexpr std::uint32_t kVariableRate = 30;
// Full-range channels by AMODE 0 to 15; AMODE 16 and up are user-defined layouts.
constexpr std::array<std::uint8_t, 16> kChannels{1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};

// The first byte of the sync word in each packing, as a table: the scan looks every byte up.
constexpr std::array<bool, 256> kSyncStarts = [] {
    std::array<bool, 256> starts{};
    for (const std::uint8_t first : {0x7F, 0xFE, 0x1F, 0xFF}) {
        starts[first] = true;
    }
    return starts;
}();

DtsPacking PackingOf(ByteSpan bytes) {
    if (bytes.size() < 6) {
        return DtsPacking::None;
    }
    const std::uint32_t first = Be32(bytes, 0);
    const std::uint32_t next = Be16(bytes, 4);
    if (first == 0x7FFE8001) {
        return DtsPacking::Be16;
    }
    if (first == 0xFE7F0180) {
        return DtsPacking::Le16;
    }
    if (first == 0x1FFFE800 && (next & 0xFFF0) == 0x07F0) {
        return DtsPacking::Be14;
    }
    if (first == 0xFF1F00E8 && (next & 0xF0FF) == 0xF007) {
        return DtsPacking::Le14;
    }
    return DtsPacking::None;
}

bool LittleEndian(DtsPacking packing) {
    return packing == DtsPacking::Le16 || packing == DtsPacking::Le14;
}

bool FourteenBit(DtsPacking packing) {
    return packing == DtsPacking::Be14 || packing == DtsPacking::Le14;
}

// The header's first bytes as 16-bit big-endian words would hold them; whole is false when the
// bytes end first.
std::array<std::uint8_t, kHeaderBytes> Unpack(ByteSpan bytes, DtsPacking packing, bool& whole) {
    std::array<std::uint8_t, kHeaderBytes> out{};
    std::uint32_t pending = 0; // bits not yet written out, lowest ones last
    unsigned pendingBits = 0;
    std::size_t written = 0;
    const unsigned wordBits = FourteenBit(packing) ? 14 : 16;
    for (std::size_t at = 0; written < out.size(); at += 2) {
        if (at + 2 > bytes.size()) {
            whole = false;
            return out;
        }
        std::uint32_t word = LittleEndian(packing) ? (bytes[at + 1] << 8 | bytes[at])
                                                   : (bytes[at] << 8 | bytes[at + 1]);
        word &= (1u << wordBits) - 1;
        pending = pending << wordBits | word;
        pendingBits += wordBits;
        while (pendingBits >= 8 && written < out.size()) {
            pendingBits -= 8;
            out[written++] = static_cast<std::uint8_t>(pending >> pendingBits);
        }
        pending &= (1u << pendingBits) - 1;
    }
    whole = true;
    return out;
}

NextFrame FollowsDts(const AudioFrame& first, ByteSpan next) {
    if (next.size() < 6) {
        return NextFrame::Beyond;
    }
    return PackingOf(next) == first.Packing ? NextFrame::Sync : NextFrame::NoSync;
}

} // namespace

std::optional<AudioFrame> ParseDtsHeader(ByteSpan bytes) {
    const DtsPacking packing = PackingOf(bytes);
    if (packing == DtsPacking::None) {
        return std::nullopt;
    }
    bool whole = false;
    const std::array<std::uint8_t, kHeaderBytes> header = Unpack(bytes, packing, whole);
    if (!whole) {
        return std::nullopt;
    }
    BitCursor bits(header);
    bits.Skip(32 + 1 + 5 + 1); // SYNC, FTYPE, SHORT, CPF
    const std::uint32_t nblks = bits.Read(7);
    const std::uint32_t fsize = bits.Read(14);
    const auto amode = static_cast<std::uint8_t>(bits.Read(6));
    const std::uint32_t sfreq = bits.Read(4);
    const std::uint32_t rate = bits.Read(5);
    bits.Skip(1 + 1 + 1 + 1 + 1 + 3 + 1 + 1); // MIX to ASPF
    const std::uint32_t lff = bits.Read(2);
    if (nblks < 5 || fsize < 95 || kRates[sfreq] == 0 || lff == 3) {
        return std::nullopt;
    }
    AudioFrame frame;
    frame.Codec = AudioCodec::Dts;
    frame.Packing = packing;
    frame.ChannelMode = amode;
    frame.Lfe = lff != 0;
    const std::uint8_t full = amode < kChannels.size() ? kChannels[amode] : 0;
    frame.Channels = full == 0 ? 0 : static_cast<std::uint8_t>(full + (frame.Lfe ? 1 : 0));
    frame.DualMono = amode == 1;
    frame.SampleRate = kRates[sfreq];
    frame.SamplesPerFrame = (nblks + 1) * 32;
    if (kBitrates[rate] != 0) {
        // The 1411 code stands for 1411.2 kbit/s, the rate of CD audio.
        frame.Bitrate = kBitrates[rate] == 1411 ? 1411200u : kBitrates[rate] * 1000u;
    }
    frame.Vbr = rate == kVariableRate;
    // FSIZE counts the bytes of 16-bit words; 14-bit words take 8/7 as many.
    const std::uint32_t bytes16 = fsize + 1;
    if (FourteenBit(packing)) {
        const std::uint32_t stored = (bytes16 * 8 + 6) / 7;
        frame.Size = stored + (stored & 1);
    } else {
        frame.Size = bytes16;
    }
    return frame;
}

std::optional<AudioFrame> FindDtsFrame(ByteSpan bytes) {
    const auto mayStart = [](std::uint8_t byte) { return kSyncStarts[byte]; };
    return ScanFrames(bytes, mayStart, ParseDtsHeader, FollowsDts);
}

} // namespace vidtag::audio
