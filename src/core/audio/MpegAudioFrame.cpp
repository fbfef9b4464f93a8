#include "audio/MpegAudioFrame.h"

#include "audio/BitCursor.h"
#include "audio/FrameScan.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vidtag::audio {

namespace {

// kbit/s by bitrate_index 1 to 14: MPEG-1 layers I, II, III, then MPEG-2 and 2.5 layer I, and
// layers II and III.
constexpr std::array<std::array<std::uint16_t, 15>, 5> kBitrates{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
}};

// Hz by sampling_frequency 0 to 2, for MPEG-1; MPEG-2 halves them, MPEG-2.5 quarters them.
constexpr std::array<std::uint32_t, 3> kMpeg1Rates{44100, 48000, 32000};

constexpr std::uint8_t kMono = 3;
constexpr std::uint8_t kDualChannel = 2;

std::size_t BitrateRow(MpegVersion version, unsigned layer) {
    if (version == MpegVersion::Mpeg1) {
        return layer - 1;
    }
    return layer == 1 ? 3 : 4;
}

bool TagAt(ByteSpan bytes, std::size_t at, const char* tag) {
    return at + 4 <= bytes.size() && std::memcmp(bytes.data() + at, tag, 4) == 0;
}

// bytes * 8 over the duration of frames frames, in bits per second; absent when either is 0.
std::optional<std::uint32_t> AverageBitrate(const AudioFrame& frame, std::uint32_t frames,
                                            std::uint32_t bytes) {
    if (frames == 0 || bytes == 0) {
        return std::nullopt;
    }
    const std::uint64_t rate = std::uint64_t{bytes} * 8 * frame.SampleRate /
                               (std::uint64_t{frames} * frame.SamplesPerFrame);
    return rate <= UINT32_MAX ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(rate))
                              : std::nullopt;
}

// A Xing or Info header after the side information, or a VBRI header 32 bytes after the
// frame header: the frame carries no audio but the stream's frame and byte counts.
void ReadVbrHeader(ByteSpan bytes, AudioFrame& frame) {
    const bool mono = frame.ChannelMode == kMono;
    const std::size_t side =
        frame.Version == MpegVersion::Mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const std::size_t xing = 4 + side;
    const ByteSpan inFrame = bytes.first(std::min<std::size_t>(bytes.size(), frame.Size));
    if (TagAt(inFrame, xing, "Xing") || TagAt(inFrame, xing, "Info")) {
        frame.Vbr = TagAt(inFrame, xing, "Xing");
        if (!*frame.Vbr || xing + 8 > inFrame.size()) {
            return;
        }
        const std::uint32_t flags = Be32(inFrame, xing + 4);
        std::size_t at = xing + 8;
        std::uint32_t frames = 0;
        std::uint32_t size = 0;
        if ((flags & 1) != 0 && at + 4 <= inFrame.size()) {
            frames = Be32(inFrame, at);
            at += 4;
        }
        if ((flags & 2) != 0 && (flags & 1) != 0 && at + 4 <= inFrame.size()) {
            size = Be32(inFrame, at);
        }
        frame.Bitrate = AverageBitrate(frame, frames, size);
        return;
    }
    constexpr std::size_t kVbri = 4 + 32;
    if (TagAt(inFrame, kVbri, "VBRI")) {
        frame.Vbr = true;
        // version, delay and quality (2 bytes each), then the byte and frame counts.
        const std::size_t counts = kVbri + 4 + 6;
        frame.Bitrate =
            counts + 8 <= inFrame.size()
                ? AverageBitrate(frame, Be32(inFrame, counts + 4), Be32(inFrame, counts))
                : std::nullopt;
    }
}

NextFrame FollowsMpeg(const AudioFrame& first, ByteSpan next) {
    if (next.size() < 4) {
        return NextFrame::Beyond;
    }
    const std::optional<AudioFrame> frame = ParseMpegAudioHeader(next.first(4));
    return frame && frame->Version == first.Version && frame->Layer == first.Layer &&
                   frame->SampleRate == first.SampleRate
               ? NextFrame::Sync
               : NextFrame::NoSync;
}

// The frames that follow a confirmed first one within the bytes: a stream whose bitrates vary is
// VBR, at the average of the whole frames walked. An Info frame carries no audio, and muxers give
// it the lowest bitrate whose frame holds the tag: a CBR stream's rate is the next frame's.
void WalkFrames(ByteSpan bytes, AudioFrame& frame) {
    const bool tagged = frame.Vbr.has_value();
    std::size_t at = frame.Offset + (tagged ? frame.Size : 0);
    std::optional<std::uint32_t> first;
    bool varies = false;
    std::uint32_t frames = 0;
    std::uint32_t size = 0;
    while (bytes.size() - at >= 4) {
        const std::optional<AudioFrame> next = ParseMpegAudioHeader(bytes.subspan(at, 4));
        if (!next || next->Version != frame.Version || next->Layer != frame.Layer ||
            next->SampleRate != frame.SampleRate) {
            break;
        }
        varies = varies || (first && next->Bitrate != first);
        first = first ? first : next->Bitrate;
        if (next->Size > bytes.size() - at) {
            break;
        }
        ++frames;
        size += next->Size;
        at += next->Size;
    }
    if (varies) {
        frame.Vbr = true;
        frame.Bitrate = AverageBitrate(frame, frames, size);
    } else if (first) {
        frame.Bitrate = first;
    }
}

} // namespace

std::optional<AudioFrame> ParseMpegAudioHeader(ByteSpan bytes) {
    // The scan tries every byte: the sync's bytes first, before any field.
    if (bytes.size() < 4 || bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    BitCursor bits(bytes);
    if (bits.Read(11) != 0x7FF) {
        return std::nullopt;
    }
    const std::uint32_t versionId = bits.Read(2);
    const std::uint32_t layerId = bits.Read(2);
    bits.Skip(1); // protection_bit
    const std::uint32_t bitrateIndex = bits.Read(4);
    const std::uint32_t rateIndex = bits.Read(2);
    const std::uint32_t padding = bits.Read(1);
    bits.Skip(1); // private_bit
    const auto mode = static_cast<std::uint8_t>(bits.Read(2));
    bits.Skip(6); // mode_extension, copyright, original_copy, emphasis
    if (bits.Overrun() || versionId == 1 || layerId == 0 || bitrateIndex == 0 ||
        bitrateIndex == 15 || rateIndex == 3) {
        return std::nullopt;
    }
    AudioFrame frame;
    frame.Version = versionId == 3   ? MpegVersion::Mpeg1
                    : versionId == 2 ? MpegVersion::Mpeg2
                                     : MpegVersion::Mpeg25;
    frame.Layer = static_cast<std::uint8_t>(4 - layerId);
    frame.Codec = frame.Layer == 1   ? AudioCodec::Mp1
                  : frame.Layer == 2 ? AudioCodec::Mp2
                                     : AudioCodec::Mp3;
    const unsigned shift = frame.Version == MpegVersion::Mpeg1   ? 0
                           : frame.Version == MpegVersion::Mpeg2 ? 1
                                                                 : 2;
    frame.SampleRate = kMpeg1Rates[rateIndex] >> shift;
    const std::uint32_t kbits = kBitrates[BitrateRow(frame.Version, frame.Layer)][bitrateIndex];
    frame.Bitrate = kbits * 1000;
    frame.ChannelMode = mode;
    frame.Channels = mode == kMono ? 1 : 2;
    frame.DualMono = mode == kDualChannel;
    const bool lowRate = frame.Version != MpegVersion::Mpeg1;
    if (frame.Layer == 1) {
        frame.SamplesPerFrame = 384;
        frame.Size = (12 * kbits * 1000 / frame.SampleRate + padding) * 4;
    } else {
        frame.SamplesPerFrame = frame.Layer == 3 && lowRate ? 576 : 1152;
        const std::uint32_t perKbit = frame.SamplesPerFrame / 8;
        frame.Size = perKbit * kbits * 1000 / frame.SampleRate + padding;
    }
    ReadVbrHeader(bytes, frame);
    return frame;
}

std::optional<AudioFrame> FindMpegAudioFrame(ByteSpan bytes) {
    std::optional<AudioFrame> frame = ScanFrames(
        bytes, [](std::uint8_t byte) { return byte == 0xFF; }, ParseMpegAudioHeader, FollowsMpeg);
    if (frame && frame->Confirmed && !(frame->Vbr.value_or(false) && frame->Bitrate)) {
        WalkFrames(bytes, *frame);
    }
    return frame;
}

} // namespace vidtag::audio
