#include "audio/Ac3Frame.h"

#include "audio/BitCursor.h"
#include "audio/FrameScan.h"

#include <array>

namespace vidtag::audio {

namespace {

constexpr std::uint32_t kSyncWord = 0x0B77;

// kbit/s by frmsizecod / 2.
constexpr std::array<std::uint16_t, 19> kAc3Bitrates{
    32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};
// Hz by fscod 0 to 2, and E-AC-3's fscod2 when fscod is 3.
constexpr std::array<std::uint32_t, 3> kRates{48000, 44100, 32000};
constexpr std::array<std::uint32_t, 3> kHalfRates{24000, 22050, 16000};
// Audio blocks by numblkscod.
constexpr std::array<std::uint32_t, 4> kBlocks{1, 2, 3, 6};
constexpr std::uint32_t kSamplesPerBlock = 256;

// An AC-3 frame's size in bytes: the bitrate's bytes over 1536 samples, in 16-bit words, the
// 44.1 kHz sizes rounded down and padded by a word in the odd frmsizecod.
std::uint32_t Ac3FrameBytes(std::uint32_t frmsizecod, std::uint32_t fscod) {
    const std::uint32_t kbits = kAc3Bitrates[frmsizecod / 2];
    const std::uint32_t words = kbits * 1000 * 1536 / 16 / kRates[fscod];
    return 2 * (words + (fscod == 1 ? (frmsizecod & 1) : 0));
}

// What AC-3 and E-AC-3 say alike of their channels: acmod's layout and the LFE.
AudioFrame ChannelLayout(AudioCodec codec, std::uint8_t bsid, std::uint8_t acmod, bool lfeon) {
    AudioFrame frame;
    frame.Codec = codec;
    frame.Bsid = bsid;
    frame.ChannelMode = acmod;
    frame.Lfe = lfeon;
    frame.Channels = static_cast<std::uint8_t>(Ac3Channels(acmod) + (lfeon ? 1 : 0));
    frame.DualMono = acmod == 0;
    return frame;
}

std::optional<AudioFrame> ParseAc3(BitCursor& bits) {
    const std::uint32_t fscod = bits.Read(2);
    const std::uint32_t frmsizecod = bits.Read(6);
    const auto bsid = static_cast<std::uint8_t>(bits.Read(5));
    bits.Skip(3); // bsmod
    const auto acmod = static_cast<std::uint8_t>(bits.Read(3));
    if ((acmod & 1) != 0 && acmod != 1) {
        bits.Skip(2); // cmixlev
    }
    if ((acmod & 4) != 0) {
        bits.Skip(2); // surmixlev
    }
    if (acmod == 2) {
        bits.Skip(2); // dsurmod
    }
    const bool lfeon = bits.Read(1) != 0;
    if (bits.Overrun() || fscod == 3 || frmsizecod >= 2 * kAc3Bitrates.size()) {
        return std::nullopt;
    }
    // bsid 9 and 10 code the same frames at half and a quarter of the sample rate.
    const unsigned shift = bsid > 8 ? bsid - 8u : 0u;
    AudioFrame frame = ChannelLayout(AudioCodec::Ac3, bsid, acmod, lfeon);
    frame.SampleRate = kRates[fscod] >> shift;
    frame.Bitrate = (kAc3Bitrates[frmsizecod / 2] * 1000u) >> shift;
    frame.Size = Ac3FrameBytes(frmsizecod, fscod);
    frame.SamplesPerFrame = 6 * kSamplesPerBlock;
    frame.Vbr = false;
    return frame;
}

std::optional<AudioFrame> ParseEac3(BitCursor& bits) {
    const std::uint32_t strmtyp = bits.Read(2);
    bits.Skip(3); // substreamid
    const std::uint32_t frmsiz = bits.Read(11);
    const std::uint32_t fscod = bits.Read(2);
    const std::uint32_t fscod2OrBlocks = bits.Read(2);
    const auto acmod = static_cast<std::uint8_t>(bits.Read(3));
    const bool lfeon = bits.Read(1) != 0;
    const auto bsid = static_cast<std::uint8_t>(bits.Read(5));
    if (bits.Overrun() || strmtyp == 3 || (fscod == 3 && fscod2OrBlocks == 3)) {
        return std::nullopt;
    }
    AudioFrame frame = ChannelLayout(AudioCodec::Eac3, bsid, acmod, lfeon);
    // fscod 3 takes the half rates from fscod2 and always six blocks.
    frame.SampleRate = fscod == 3 ? kHalfRates[fscod2OrBlocks] : kRates[fscod];
    const std::uint32_t blocks = fscod == 3 ? 6 : kBlocks[fscod2OrBlocks];
    frame.SamplesPerFrame = blocks * kSamplesPerBlock;
    frame.Size = (frmsiz + 1) * 2;
    frame.Bitrate = static_cast<std::uint32_t>(std::uint64_t{frame.Size} * 8 * frame.SampleRate /
                                               frame.SamplesPerFrame);
    frame.Vbr = false;
    return frame;
}

NextFrame FollowsAc3(const AudioFrame&, ByteSpan next) {
    if (next.size() < 2) {
        return NextFrame::Beyond;
    }
    return Be16(next, 0) == kSyncWord ? NextFrame::Sync : NextFrame::NoSync;
}

} // namespace

std::uint8_t Ac3Channels(std::uint8_t acmod) {
    // 1+1, 1/0, 2/0, 3/0, 2/1, 3/1, 2/2, 3/2.
    constexpr std::array<std::uint8_t, 8> kChannels{2, 1, 2, 3, 3, 4, 4, 5};
    return acmod < kChannels.size() ? kChannels[acmod] : 0;
}

std::optional<AudioFrame> ParseAc3Header(ByteSpan bytes) {
    // Both syntaxes put bsid in the sixth byte's first five bits, so that a decoder can tell
    // them apart before it reads either.
    if (bytes.size() < 6 || Be16(bytes, 0) != kSyncWord) {
        return std::nullopt;
    }
    const unsigned bsid = bytes[5] >> 3;
    if (bsid > 16) {
        return std::nullopt;
    }
    BitCursor bits(bytes);
    bits.Skip(16);
    if (bsid <= 10) {
        bits.Skip(16); // crc1
        return ParseAc3(bits);
    }
    return ParseEac3(bits);
}

std::optional<AudioFrame> FindAc3Frame(ByteSpan bytes) {
    return ScanFrames(
        bytes, [](std::uint8_t byte) { return byte == kSyncWord >> 8; }, ParseAc3Header,
        FollowsAc3);
}

} // namespace vidtag::audio
