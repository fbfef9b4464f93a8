#include "audio/AudioReading.h"

#include "audio/Ac3Frame.h"
#include "audio/DtsFrame.h"
#include "audio/MpegAudioFrame.h"

#include <array>

namespace vidtag::audio {

namespace {

using FrameFinder = std::optional<AudioFrame> (*)(ByteSpan bytes);

struct FrameReader {
    AudioCodec First; // the codecs First to Last read this reader's frames
    AudioCodec Last;
    FrameFinder Find;
};

constexpr std::array<FrameReader, 3> kReaders{{
    {AudioCodec::Mp1, AudioCodec::Mp3, FindMpegAudioFrame},
    {AudioCodec::Ac3, AudioCodec::Eac3, FindAc3Frame},
    {AudioCodec::Dts, AudioCodec::Dts, FindDtsFrame},
}};

bool Reads(const FrameReader& reader, AudioCodec codec) {
    return codec >= reader.First && codec <= reader.Last;
}

bool MayHoldOtherFrames(AudioCodec said) {
    return HasFrameHeader(said) || said == AudioCodec::Pcm || said == AudioCodec::Unknown;
}

// Whether a frame of this codec is what the container names. Format tag 0x0050 names both
// layers I and II.
bool Agrees(const ContainerAudio& said, AudioCodec frame) {
    if (said.Codec == AudioCodec::Unknown || said.Codec == frame) {
        return true;
    }
    return said.FormatTag == 0x0050 && frame == AudioCodec::Mp1;
}

// Two bitrates differ by more than 1/32: DTS's nominal rates and the byte rates muxers round
// stay within it.
bool BitratesDiffer(std::uint32_t a, std::uint32_t b) {
    const std::uint64_t larger = a > b ? a : b;
    const std::uint64_t difference = a > b ? a - b : b - a;
    return difference * 32 > larger;
}

// The container's value, or the frame's where the container has none or says otherwise.
template <typename T>
std::optional<T> Settle(std::optional<T> container, std::optional<T> frame, bool differ,
                        std::uint8_t bit, std::uint8_t& contradicted) {
    if (!frame) {
        return container;
    }
    if (container && differ) {
        contradicted |= bit;
    }
    return container && !differ ? container : frame;
}

void TakeFrame(AudioFacts& facts, const AudioFrame& frame) {
    const ContainerAudio& said = facts.Said;
    facts.Frame = frame;
    facts.JunkBytes = frame.Offset;
    if (!Agrees(said, frame.Codec)) {
        facts.Contradicted |= kCodecContradicted;
    }
    facts.Codec = frame.Codec;
    if (frame.Channels != 0) {
        const std::uint32_t channels = frame.Channels;
        facts.Channels = Settle<std::uint32_t>(said.Channels, channels,
                                               said.Channels && *said.Channels != channels,
                                               kChannelsContradicted, facts.Contradicted);
        facts.Lfe = frame.Lfe;
    }
    facts.SampleRate = Settle<std::uint32_t>(
        said.SampleRate, frame.SampleRate, said.SampleRate && *said.SampleRate != frame.SampleRate,
        kRateContradicted, facts.Contradicted);
    facts.Vbr = frame.Vbr ? frame.Vbr : said.Vbr;
    // A VBR stream's rates are averages, which need not agree: the container's stands.
    if (facts.Vbr.value_or(false)) {
        facts.Bitrate = said.Bitrate ? said.Bitrate : frame.Bitrate;
        return;
    }
    const bool differ =
        said.Bitrate && frame.Bitrate && BitratesDiffer(*said.Bitrate, *frame.Bitrate);
    facts.Bitrate = Settle<std::uint32_t>(said.Bitrate, frame.Bitrate, differ, kBitrateContradicted,
                                          facts.Contradicted);
}

} // namespace

std::optional<AudioFrame> FindFirstFrame(AudioCodec said, ByteSpan bytes) {
    std::optional<AudioFrame> own;
    for (const FrameReader& reader : kReaders) {
        if (Reads(reader, said)) {
            own = reader.Find(bytes);
        }
    }
    if ((own && own->Confirmed) || !MayHoldOtherFrames(said)) {
        return own;
    }
    std::optional<AudioFrame> other;
    for (const FrameReader& reader : kReaders) {
        if (Reads(reader, said)) {
            continue;
        }
        const std::optional<AudioFrame> frame = reader.Find(bytes);
        if (frame && frame->Confirmed && (!other || frame->Offset < other->Offset)) {
            other = frame;
        }
    }
    return other ? other : own;
}

AudioFacts ReadAudioFacts(const ContainerAudio& said, ByteSpan firstBytes) {
    AudioFacts facts;
    facts.Said = said;
    facts.Codec = said.Codec;
    facts.Channels = said.Channels;
    facts.SampleRate = said.SampleRate;
    facts.Bitrate = said.Bitrate;
    facts.Vbr = said.Vbr;
    if (const std::optional<AudioFrame> frame = FindFirstFrame(said.Codec, firstBytes)) {
        TakeFrame(facts, *frame);
    }
    return facts;
}

} // namespace vidtag::audio
