#include "audio/AudioText.h"

#include "texts/TextFill.h"
#include "texts/TextTable.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace vidtag::audio {

namespace {

enum class Word : std::uint8_t {
    Label,
    Unknown,
    UnknownTag,
    UnknownId,
    Mono,
    Stereo,
    Channels,
    ChannelOne,
    ChannelFew,
    ChannelMany,
    Kilohertz,
    Kilobits,
    Labelled,
    ContainerSays,
    Junk,
    ByteOne,
    ByteFew,
    ByteMany,
    Count
};

// Codec names and VBR are the same in every language.
constexpr TextTable<Word> kWords{{
    {
        "audio",
        "unknown audio",
        "unknown audio (format tag 0x%1)",
        "unknown audio (%1)",
        "mono",
        "stereo",
        "%1 %2",
        "channel",
        "channels",
        "channels",
        "%1 kHz",
        "%1 kbit/s",
        "labelled %1, the frames are %2",
        "the container says %1",
        "%1 %2 before the first frame",
        "junk byte",
        "junk bytes",
        "junk bytes",
    },
    {
        "звук",
        "неизвестный звук",
        "неизвестный звук (метка формата 0x%1)",
        "неизвестный звук (%1)",
        "моно",
        "стерео",
        "%1 %2",
        "канал",
        "канала",
        "каналов",
        "%1 кГц",
        "%1 кбит/с",
        "помечен как %1, а кадры — %2",
        "в контейнере: %1",
        "%1 %2 мусора перед первым кадром",
        "байт",
        "байта",
        "байт",
    },
}};

struct Words {
    int Language = 0;

    std::string operator()(Word word, std::string_view a1 = {}, std::string_view a2 = {}) const {
        return Fill(TextOf(kWords, Language, word), a1, a2);
    }

    // "%1 %2" with the count and the noun's form for it; one is the first of three forms in a
    // row (one, a few, many: Russian's 1, 2 to 4, and 5 to 20).
    std::string Count(Word text, Word one, std::uint32_t count) const {
        const std::uint32_t last = count % 10;
        const std::uint32_t lastTwo = count % 100;
        int form = 2;
        if (Language != 1) {
            form = count == 1 ? 0 : 2;
        } else if (last == 1 && lastTwo != 11) {
            form = 0;
        } else if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14)) {
            form = 1;
        }
        const auto noun = static_cast<Word>(static_cast<int>(one) + form);
        return (*this)(text, std::to_string(count), TextOf(kWords, Language, noun));
    }
};

constexpr std::array<const char*, 14> kNames{"MP1", "MP2",   "MP3", "AC-3", "E-AC-3", "DTS",  "AAC",
                                             "PCM", "ADPCM", "WMA", "FLAC", "Vorbis", "Opus", ""};

void Append(std::string& line, std::string_view separator, const std::string& part) {
    if (part.empty()) {
        return;
    }
    if (!line.empty()) {
        line += separator;
    }
    line += part;
}

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

// What the container names when no codec here is it.
std::string UnknownName(const Words& say, const ContainerAudio& said) {
    if (!said.CodecId.empty() && said.CodecId != "A_MS/ACM") {
        return say(Word::UnknownId, said.CodecId);
    }
    return said.FormatTag ? say(Word::UnknownTag, Hex4(*said.FormatTag)) : say(Word::Unknown);
}

std::string CodecText(const Words& say, AudioCodec codec, const ContainerAudio& said) {
    return codec == AudioCodec::Unknown ? UnknownName(say, said) : AudioCodecName(codec);
}

std::string BitrateText(const Words& say, std::uint32_t bitrate) {
    return say(Word::Kilobits, std::to_string((bitrate + 500) / 1000));
}

// The container's values that the first frame contradicted.
std::string ContainerValues(const Words& say, const AudioFacts& facts) {
    const ContainerAudio& said = facts.Said;
    std::string values;
    if ((facts.Contradicted & kChannelsContradicted) != 0 && said.Channels) {
        Append(values, ", ", ChannelText(*said.Channels, std::nullopt, false, say.Language));
    }
    if ((facts.Contradicted & kRateContradicted) != 0 && said.SampleRate) {
        Append(values, ", ", RateText(*said.SampleRate, say.Language));
    }
    if ((facts.Contradicted & kBitrateContradicted) != 0 && said.Bitrate) {
        Append(values, ", ", BitrateText(say, *said.Bitrate));
    }
    return values.empty() ? "" : say(Word::ContainerSays, values);
}

std::string Findings(const Words& say, const AudioFacts& facts) {
    std::string text;
    if ((facts.Contradicted & kCodecContradicted) != 0) {
        Append(text, "; ",
               say(Word::Labelled, CodecText(say, facts.Said.Codec, facts.Said),
                   AudioCodecName(facts.Codec)));
    }
    Append(text, "; ", ContainerValues(say, facts));
    if (facts.JunkBytes > 0) {
        Append(text, "; ", say.Count(Word::Junk, Word::ByteOne, facts.JunkBytes));
    }
    return text;
}

} // namespace

const char* AudioCodecName(AudioCodec codec) {
    const auto index = static_cast<std::size_t>(codec);
    return index < kNames.size() ? kNames[index] : "";
}

std::string ChannelText(std::uint32_t channels, std::optional<bool> lfe, bool dualMono,
                        int language) {
    const Words say{language};
    if (dualMono && channels == 2) {
        return "1+1";
    }
    if (!lfe.value_or(false) && channels == 1) {
        return say(Word::Mono);
    }
    if (!lfe.value_or(false) && channels == 2) {
        return say(Word::Stereo);
    }
    if (!lfe || channels == 0) {
        return say.Count(Word::Channels, Word::ChannelOne, channels);
    }
    return std::to_string(channels - (*lfe ? 1 : 0)) + "." + (*lfe ? "1" : "0");
}

std::string RateText(std::uint32_t hertz, int language) {
    std::string text = std::to_string(hertz / 1000);
    std::string fraction = std::to_string(1000 + hertz % 1000).substr(1);
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
    if (!fraction.empty()) {
        text += '.';
        text += fraction;
    }
    return Words{language}(Word::Kilohertz, text);
}

std::string AudioSummary(const AudioFacts& facts, int language) {
    const Words say{language};
    std::string line = CodecText(say, facts.Codec, facts.Said);
    if (facts.Channels) {
        const bool dual = facts.Frame && facts.Frame->DualMono;
        line += ' ';
        line += ChannelText(*facts.Channels, facts.Lfe, dual, language);
    }
    std::string numbers;
    if (facts.SampleRate) {
        numbers = RateText(*facts.SampleRate, language);
    }
    if (facts.Bitrate) {
        Append(numbers, ", ", BitrateText(say, *facts.Bitrate));
    }
    if (facts.Vbr.value_or(false)) {
        Append(numbers, facts.Bitrate ? " " : ", ", "VBR");
    }
    Append(line, ", ", numbers);
    Append(line, "; ", Findings(say, facts));
    return line;
}

std::string AudioLine(const AudioFacts& facts, int language) {
    return Words{language}(Word::Label) + ": " + AudioSummary(facts, language);
}

} // namespace vidtag::audio
