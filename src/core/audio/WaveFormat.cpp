#include "audio/WaveFormat.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace vidtag::audio {

namespace {

struct TagRange {
    std::uint16_t First;
    std::uint16_t Last;
    AudioCodec Codec;
};

// The registered format tags of the codecs a device decides on, and the ones encoders used
// before a tag was registered (0x706D for AAC, the Ogg Vorbis modes).
constexpr std::array<TagRange, 18> kTags{{
    {0x0001, 0x0001, AudioCodec::Pcm},    // PCM
    {0x0002, 0x0002, AudioCodec::Adpcm},  // Microsoft ADPCM
    {0x0003, 0x0003, AudioCodec::Pcm},    // IEEE float
    {0x0006, 0x0007, AudioCodec::Pcm},    // A-law, mu-law
    {0x0008, 0x0008, AudioCodec::Dts},    // DTS
    {0x0011, 0x0011, AudioCodec::Adpcm},  // IMA ADPCM
    {0x0050, 0x0050, AudioCodec::Mp2},    // MPEG-1 layers I and II
    {0x0055, 0x0055, AudioCodec::Mp3},    // MPEG layer III
    {0x0092, 0x0092, AudioCodec::Ac3},    // Dolby AC-3 over S/PDIF
    {0x00FF, 0x00FF, AudioCodec::Aac},    // raw AAC
    {0x0160, 0x0163, AudioCodec::Wma},    // WMA 1, 2, Pro, Lossless
    {0x1600, 0x1600, AudioCodec::Aac},    // ADTS AAC
    {0x1602, 0x1602, AudioCodec::Aac},    // LATM AAC
    {0x2000, 0x2000, AudioCodec::Ac3},    // AC-3
    {0x2001, 0x2001, AudioCodec::Dts},    // DTS
    {0x674F, 0x6771, AudioCodec::Vorbis}, // Ogg Vorbis modes
    {0x706D, 0x706D, AudioCodec::Aac},    // AAC
    {0xF1AC, 0xF1AC, AudioCodec::Flac},   // FLAC
}};

// The last 12 bytes of KSDATAFORMAT_SUBTYPE_PCM and its kin, as stored: Data2, Data3, Data4.
constexpr std::array<std::uint8_t, 12> kGuidTail{0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

class LittleEndianFields {
  public:
    explicit LittleEndianFields(ByteSpan bytes) : bytes_(bytes) {}

    template <typename T> std::optional<T> Next() {
        if (bytes_.size() - at_ < sizeof(T)) {
            at_ = bytes_.size();
            return std::nullopt;
        }
        T value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            value = static_cast<T>(value | static_cast<T>(bytes_[at_ + i]) << (8 * i));
        }
        at_ += sizeof(T);
        return value;
    }

    ByteSpan Rest() const { return bytes_.subspan(at_); }

  private:
    ByteSpan bytes_;
    std::size_t at_ = 0;
};

} // namespace

WaveFormat ReadWaveFormat(ByteSpan bytes) {
    LittleEndianFields fields(bytes);
    WaveFormat format;
    format.FormatTag = fields.Next<std::uint16_t>();
    format.Channels = fields.Next<std::uint16_t>();
    format.SamplesPerSec = fields.Next<std::uint32_t>();
    format.AvgBytesPerSec = fields.Next<std::uint32_t>();
    format.BlockAlign = fields.Next<std::uint16_t>();
    format.BitsPerSample = fields.Next<std::uint16_t>();
    format.ExtraSize = fields.Next<std::uint16_t>();
    if (format.FormatTag != kExtensibleTag || format.ExtraSize.value_or(0) < 22) {
        return format;
    }
    fields.Next<std::uint16_t>(); // wValidBitsPerSample
    format.ChannelMask = fields.Next<std::uint32_t>();
    const std::optional<std::uint32_t> data1 = fields.Next<std::uint32_t>();
    const ByteSpan tail = fields.Rest();
    if (data1 && *data1 <= 0xFFFF && tail.size() >= kGuidTail.size() &&
        std::memcmp(tail.data(), kGuidTail.data(), kGuidTail.size()) == 0) {
        format.SubFormatTag = static_cast<std::uint16_t>(*data1);
    }
    return format;
}

AudioCodec CodecOfFormatTag(std::uint16_t tag) {
    for (const TagRange& range : kTags) {
        if (tag >= range.First && tag <= range.Last) {
            return range.Codec;
        }
    }
    return AudioCodec::Unknown;
}

AudioCodec CodecOfWaveFormat(const WaveFormat& format) {
    if (!format.FormatTag) {
        return AudioCodec::Unknown;
    }
    if (*format.FormatTag == kExtensibleTag) {
        return format.SubFormatTag ? CodecOfFormatTag(*format.SubFormatTag) : AudioCodec::Unknown;
    }
    return CodecOfFormatTag(*format.FormatTag);
}

ContainerAudio AviAudio(const WaveFormat& format) {
    ContainerAudio said;
    said.Codec = CodecOfWaveFormat(format);
    said.FormatTag = format.FormatTag;
    if (format.Channels.value_or(0) != 0) {
        said.Channels = *format.Channels;
    }
    if (format.SamplesPerSec.value_or(0) != 0) {
        said.SampleRate = *format.SamplesPerSec;
    }
    // Bytes per second above 512 MB/s are no audio's: the field is damaged.
    const std::uint32_t perSecond = format.AvgBytesPerSec.value_or(0);
    if (perSecond != 0 && perSecond <= UINT32_MAX / 8) {
        said.Bitrate = perSecond * 8;
    }
    return said;
}

} // namespace vidtag::audio
