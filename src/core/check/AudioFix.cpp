#include "check/AudioFix.h"

#include "check/Verdict.h"

#include <algorithm>
#include <array>
#include <span>

namespace vidtag::check {

namespace {

constexpr std::uint32_t kMp3Bitrate = 192000;
constexpr std::uint32_t kAc3Bitrate = 448000;

// The sample rates each encoder writes, highest first after 48 kHz, the rate devices expect.
constexpr std::array<std::uint32_t, 9> kMpegRates{48000, 44100, 32000, 24000, 22050,
                                                  16000, 12000, 11025, 8000};
constexpr std::array<std::uint32_t, 3> kAc3Rates{48000, 44100, 32000};

// The bitrates in kbit/s a frame header can name: AC-3's, and MPEG-1 Layer III's; MPEG-2 and
// 2.5 (below 32 kHz) have their own lower set.
constexpr std::array<std::uint32_t, 19> kAc3Kbits{32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                                  192, 224, 256, 320, 384, 448, 512, 576, 640};
constexpr std::array<std::uint32_t, 14> kMp3Kbits{32,  40,  48,  56,  64,  80,  96,
                                                  112, 128, 160, 192, 224, 256, 320};
constexpr std::array<std::uint32_t, 14> kMp3LowKbits{8,  16, 24, 32,  40,  48,  56,
                                                     64, 80, 96, 112, 128, 144, 160};

// The track's own rate where the encoder writes it and the limits allow it; else the first rate
// of the encoder's that they allow; else the track's (no rate would do).
std::optional<std::uint32_t> RateFor(std::optional<std::uint32_t> own,
                                     std::span<const std::uint32_t> rates,
                                     const AudioLimit& limits) {
    if (own && std::find(rates.begin(), rates.end(), *own) != rates.end() &&
        RateWithin(limits, *own)) {
        return std::nullopt;
    }
    for (const std::uint32_t rate : rates) {
        if (RateWithin(limits, rate)) {
            return rate;
        }
    }
    return std::nullopt;
}

// The highest bitrate of the table at most `wanted`, else the table's lowest.
std::uint32_t BitrateAtMost(std::uint32_t wanted, std::span<const std::uint32_t> kbits) {
    std::uint32_t best = kbits.front() * 1000;
    for (const std::uint32_t k : kbits) {
        if (k * 1000 <= wanted) {
            best = k * 1000;
        }
    }
    return best;
}

std::uint32_t Capped(std::uint32_t wanted, const AudioLimit& limits) {
    return limits.MaxBitrate ? std::min(wanted, *limits.MaxBitrate) : wanted;
}

const char* EncoderOf(audio::AudioCodec codec) {
    switch (codec) {
    case audio::AudioCodec::Ac3:
        return "ac3";
    case audio::AudioCodec::Aac:
        return "aac";
    default:
        break;
    }
    return "libmp3lame";
}

std::string EncodingOptions(const AudioEncoding& encoding, std::size_t track) {
    const std::string n = std::to_string(track);
    std::string options = " -c:a:" + n + " " + EncoderOf(encoding.Codec) + " -b:a:" + n + " " +
                          std::to_string(encoding.Bitrate / 1000) + "k";
    if (encoding.Channels) {
        options += " -ac:a:" + n + " " + std::to_string(*encoding.Channels);
    }
    if (encoding.SampleRate) {
        options += " -ar:a:" + n + " " + std::to_string(*encoding.SampleRate);
    }
    return options;
}

} // namespace

AudioEncoding EncodingFor(const audio::AudioFacts& track, const Profile& profile) {
    using audio::AudioCodec;
    AudioEncoding encoding;
    const std::uint32_t channels = track.Channels.value_or(2);
    const AudioLimit ac3 = TrackLimits(profile, AudioCodec::Ac3);
    if (TakesAudioCodec(profile, AudioCodec::Ac3) && channels > 2 &&
        (!ac3.MaxChannels || *ac3.MaxChannels >= channels)) {
        encoding.Codec = AudioCodec::Ac3;
        encoding.Bitrate = BitrateAtMost(ac3.MaxBitrate.value_or(kAc3Bitrate), kAc3Kbits);
        encoding.SampleRate = RateFor(track.SampleRate, kAc3Rates, ac3);
        return encoding;
    }
    const bool mp3 =
        TakesAudioCodec(profile, AudioCodec::Mp3) ||
        (!TakesAudioCodec(profile, AudioCodec::Ac3) && !TakesAudioCodec(profile, AudioCodec::Aac));
    encoding.Codec = mp3                                         ? AudioCodec::Mp3
                     : TakesAudioCodec(profile, AudioCodec::Ac3) ? AudioCodec::Ac3
                                                                 : AudioCodec::Aac;
    const AudioLimit limits = TrackLimits(profile, encoding.Codec);
    encoding.Channels = limits.MaxChannels && *limits.MaxChannels < 2 ? 1 : 2;
    const std::span<const std::uint32_t> rates =
        encoding.Codec == AudioCodec::Ac3 ? std::span<const std::uint32_t>(kAc3Rates) : kMpegRates;
    encoding.SampleRate = RateFor(track.SampleRate, rates, limits);
    const std::uint32_t rate = encoding.SampleRate.value_or(track.SampleRate.value_or(48000));
    const std::uint32_t wanted = Capped(kMp3Bitrate, limits);
    encoding.Bitrate =
        encoding.Codec == AudioCodec::Ac3 ? BitrateAtMost(wanted, kAc3Kbits)
        : encoding.Codec == AudioCodec::Aac
            ? wanted
            : BitrateAtMost(wanted, rate >= 32000 ? std::span<const std::uint32_t>(kMp3Kbits)
                                                  : kMp3LowKbits);
    return encoding;
}

std::string FixCommand(const std::vector<audio::AudioFacts>& audio, const std::vector<bool>& redo,
                       const Profile& profile, std::string_view fileName, FourCC code,
                       std::optional<std::uint32_t> keepTracks) {
    const bool avi = AcceptsContainer(profile, "avi") &&
                     (JudgesAudioIn(profile, "avi") || !AcceptsContainer(profile, "matroska"));
    const std::string in = fileName.empty() ? std::string("IN") : std::string(fileName);
    std::string command = "ffmpeg -n -i " + ShellQuoted(in) + " -map 0:v:0";
    const std::size_t kept =
        keepTracks ? std::min<std::size_t>(*keepTracks, audio.size()) : audio.size();
    if (keepTracks) {
        for (std::size_t i = 0; i < kept; ++i) {
            command += " -map 0:a:" + std::to_string(i);
        }
    } else {
        command += " -map 0:a";
    }
    command += " -c copy";
    if (avi && code != 0) {
        command += " -vtag " + ShellQuoted(FourCCToString(code));
    }
    for (std::size_t i = 0; i < kept && i < redo.size(); ++i) {
        if (redo[i]) {
            command += EncodingOptions(EncodingFor(audio[i], profile), i);
        }
    }
    return command + " " + ShellQuoted(ReplacedExtension(in, avi ? ".fixed.avi" : ".fixed.mkv"));
}

} // namespace vidtag::check
