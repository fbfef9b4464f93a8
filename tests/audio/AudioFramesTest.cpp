// Audio facts from hand-built bytes: the edges of the frame readers, the containers' codes and
// the track's line.

#include "audio/AudioReading.h"
#include "audio/AudioText.h"
#include "audio/MatroskaCodecId.h"
#include "audio/WaveFormat.h"

#include "video/VideoTestSupport.h"

#include <gtest/gtest.h>

using namespace vidtag;
using namespace vidtag::audio;
using Bytes = std::vector<std::uint8_t>;

namespace {

// MPEG-1 layer III, 128 kbit/s, 44.1 kHz, joint stereo: 417 bytes a frame.
const Bytes kMp3Header{0xFF, 0xFB, 0x90, 0x44};

// A DTS core header as DTS audio CDs carry it: 16 blocks of 32 samples, 1792 bytes, 5.1,
// 44.1 kHz, 1411.2 kbit/s.
Bytes DtsHeader() {
    return test::Bits("0111 1111 1111 1110 1000 0000 0000 0001" // SYNC
                      "1 11111 0 0001111"                       // FTYPE SHORT CPF NBLKS
                      "00011011111111 001001 1000 10110"        // FSIZE 1791 AMODE SFREQ RATE
                      "0 0 0 0 0 000 0 1 01 0000")              // ... ASPF LFF
        .Bytes;
}

// The 16-bit words' bits repacked 14 to a word, the last one padded with zeros, sign-extended,
// in either byte order.
Bytes Pack14(const Bytes& bits16, bool little) {
    Bytes out;
    const std::size_t total = bits16.size() * 8;
    for (std::size_t bit = 0; bit < total; bit += 14) {
        std::uint32_t word = 0;
        for (std::size_t i = bit; i < bit + 14; ++i) {
            word = word << 1 | (i < total ? (bits16[i / 8] >> (7 - i % 8)) & 1u : 0u);
        }
        word |= (word & 0x2000) != 0 ? 0xC000 : 0;
        const auto high = static_cast<std::uint8_t>(word >> 8);
        const auto low = static_cast<std::uint8_t>(word);
        out.push_back(little ? low : high);
        out.push_back(little ? high : low);
    }
    return out;
}

ContainerAudio Said(AudioCodec codec, std::optional<std::uint16_t> tag = {}) {
    ContainerAudio said;
    said.Codec = codec;
    said.FormatTag = tag;
    return said;
}

// Two frames of a stored form, the second one's header at the first one's size.
Bytes TwoFrames(const Bytes& header, std::size_t size) {
    Bytes bytes = header;
    bytes.resize(size);
    bytes.insert(bytes.end(), header.begin(), header.end());
    return bytes;
}

Bytes Swapped(Bytes bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::swap(bytes[i], bytes[i + 1]);
    }
    return bytes;
}

struct SpanCase {
    const char* Name;
    Bytes Span;
    AudioCodec Said;
    AudioCodec Found; // Unknown: no frame
    bool Confirmed;
    DtsPacking Packing;
    std::optional<bool> Vbr = {};
};

TEST(AudioFrames, FindsOnlyFramesThatHold) {
    const Bytes dts = DtsHeader();
    Bytes falseSync = kMp3Header;
    falseSync.resize(2000, 0);
    Bytes dtsBe14 = Pack14(dts, false);
    dtsBe14.resize(2048);
    dtsBe14.insert(dtsBe14.end(), dtsBe14.begin(), dtsBe14.begin() + 8);
    // MPEG-1 layer III frames at 128 and 160 kbit/s; an encoder may change the rate every frame.
    Bytes cbr = TwoFrames(kMp3Header, 417);
    cbr = TwoFrames(cbr, 834);
    Bytes vbr = TwoFrames(kMp3Header, 417);
    vbr[419] = 0xA0;
    vbr = TwoFrames(vbr, 417 + 522);
    const SpanCase cases[] = {
        {"MP3 CBR", cbr, AudioCodec::Mp3, AudioCodec::Mp3, true, DtsPacking::None},
        {"MP3 VBR", vbr, AudioCodec::Mp3, AudioCodec::Mp3, true, DtsPacking::None, true},
        {"empty", {}, AudioCodec::Mp3, AudioCodec::Unknown, false, DtsPacking::None},
        {"truncated header",
         {0xFF, 0xFB, 0x90},
         AudioCodec::Mp3,
         AudioCodec::Unknown,
         false,
         DtsPacking::None},
        {"false sync", falseSync, AudioCodec::Mp3, AudioCodec::Unknown, false, DtsPacking::None},
        {"all 0xFF", Bytes(4096, 0xFF), AudioCodec::Unknown, AudioCodec::Unknown, false,
         DtsPacking::None},
        {"all 0xFF as MP3", Bytes(4096, 0xFF), AudioCodec::Mp3, AudioCodec::Unknown, false,
         DtsPacking::None},
        {"lone header", kMp3Header, AudioCodec::Mp3, AudioCodec::Mp3, false, DtsPacking::None},
        {"lone header, other codec", kMp3Header, AudioCodec::Ac3, AudioCodec::Unknown, false,
         DtsPacking::None},
        {"AC-3 cut",
         {0x0B, 0x77, 0x00, 0x00, 0x1E},
         AudioCodec::Ac3,
         AudioCodec::Unknown,
         false,
         DtsPacking::None},
        {"DTS 16-bit", TwoFrames(dts, 1792), AudioCodec::Dts, AudioCodec::Dts, true,
         DtsPacking::Be16, false},
        {"DTS 16-bit LE in PCM", Swapped(TwoFrames(dts, 1792)), AudioCodec::Pcm, AudioCodec::Dts,
         true, DtsPacking::Le16, false},
        {"DTS 14-bit", dtsBe14, AudioCodec::Dts, AudioCodec::Dts, true, DtsPacking::Be14, false},
        {"DTS 14-bit LE in PCM", Swapped(dtsBe14), AudioCodec::Pcm, AudioCodec::Dts, true,
         DtsPacking::Le14, false},
    };
    for (const SpanCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::optional<AudioFrame> frame = FindFirstFrame(c.Said, c.Span);
        ASSERT_EQ(frame.has_value(), c.Found != AudioCodec::Unknown);
        if (!frame) {
            continue;
        }
        EXPECT_EQ(frame->Codec, c.Found);
        EXPECT_EQ(frame->Confirmed, c.Confirmed);
        EXPECT_EQ(frame->Packing, c.Packing);
        EXPECT_EQ(frame->Vbr, c.Vbr);
        if (c.Found == AudioCodec::Dts) {
            EXPECT_EQ(AudioSummary(ReadAudioFacts(Said(c.Said), c.Span)),
                      c.Said == AudioCodec::Pcm
                          ? "DTS 5.1, 44.1 kHz, 1411 kbit/s; labelled PCM, the frames are DTS"
                          : "DTS 5.1, 44.1 kHz, 1411 kbit/s");
        }
    }
}

TEST(AudioFrames, ContainerCodes) {
    const std::pair<std::uint16_t, AudioCodec> tags[] = {
        {0x0001, AudioCodec::Pcm},    {0x0011, AudioCodec::Adpcm},   {0x0050, AudioCodec::Mp2},
        {0x0055, AudioCodec::Mp3},    {0x2000, AudioCodec::Ac3},     {0x2001, AudioCodec::Dts},
        {0x1602, AudioCodec::Aac},    {0x0163, AudioCodec::Wma},     {0xF1AC, AudioCodec::Flac},
        {0x6771, AudioCodec::Vorbis}, {0x0164, AudioCodec::Unknown}, {0xFFFE, AudioCodec::Unknown},
    };
    for (const auto& [tag, codec] : tags) {
        EXPECT_EQ(CodecOfFormatTag(tag), codec) << tag;
    }
    const std::pair<const char*, AudioCodec> ids[] = {
        {"A_MPEG/L2", AudioCodec::Mp2},
        {"A_AC3/BSID10", AudioCodec::Ac3},
        {"A_AC3X", AudioCodec::Unknown},
        {"A_DTS/LOSSLESS", AudioCodec::Dts},
        {"A_AAC/MPEG4/LC/SBR", AudioCodec::Aac},
        {"A_PCM/FLOAT/IEEE", AudioCodec::Pcm},
        {"A_OPUS", AudioCodec::Opus},
        {"A_REAL/COOK", AudioCodec::Unknown},
    };
    for (const auto& [id, codec] : ids) {
        EXPECT_EQ(CodecOfMatroskaId(id), codec) << id;
    }
    // WAVE_FORMAT_EXTENSIBLE, 6 channels of PCM by its SubFormat, inside A_MS/ACM; every shorter
    // span reads the fields that fit.
    const Bytes extensible{0xFE, 0xFF, 6,    0, 0x80, 0xBB, 0,    0,    0, 0x65, 0x04, 0,   12, 0,
                           16,   0,    22,   0, 16,   0,    0x3F, 0,    0, 0,    1,    0,   0,  0,
                           0,    0,    0x10, 0, 0x80, 0,    0,    0xAA, 0, 0x38, 0x9B, 0x71};
    const ContainerAudio acm = MatroskaAudio("A_MS/ACM", 2, 44100.0, extensible);
    EXPECT_EQ(acm.Codec, AudioCodec::Pcm);
    EXPECT_EQ(acm.FormatTag, 0xFFFE);
    EXPECT_EQ(acm.Channels, 2u); // the track's own element wins
    EXPECT_EQ(acm.SampleRate, 44100u);
    EXPECT_EQ(acm.Bitrate, 288000u * 8);
    for (std::size_t size = 0; size < extensible.size(); ++size) {
        const WaveFormat format = ReadWaveFormat(std::span(extensible).first(size));
        EXPECT_EQ(format.FormatTag.has_value(), size >= 2);
        EXPECT_EQ(format.AvgBytesPerSec.has_value(), size >= 12);
        EXPECT_EQ(format.ChannelMask.has_value(), size >= 24);
        EXPECT_FALSE(format.SubFormatTag);
    }
    EXPECT_EQ(ReadWaveFormat(extensible).SubFormatTag, 0x0001);
    EXPECT_FALSE(MatroskaAudio("A_VORBIS", 0, -1.0).SampleRate);
}

TEST(AudioFrames, LineInBothLanguages) {
    AudioFacts facts;
    facts.Codec = AudioCodec::Ac3;
    facts.Channels = 6;
    facts.Lfe = true;
    facts.SampleRate = 48000;
    facts.Bitrate = 448000;
    EXPECT_EQ(AudioLine(facts, 1), "звук: AC-3 5.1, 48 кГц, 448 кбит/с");
    facts.Lfe.reset();
    facts.Vbr = true;
    facts.JunkBytes = 22;
    facts.Said = Said(AudioCodec::Mp3, 0x0055);
    facts.Said.Channels = 2;
    facts.Said.SampleRate = 44100;
    facts.Contradicted = kCodecContradicted | kChannelsContradicted | kRateContradicted;
    EXPECT_EQ(AudioSummary(facts),
              "AC-3 6 channels, 48 kHz, 448 kbit/s VBR; labelled MP3, the frames are AC-3; the "
              "container says stereo, 44.1 kHz; 22 junk bytes before the first frame");
    EXPECT_EQ(AudioSummary(facts, 1),
              "AC-3 6 каналов, 48 кГц, 448 кбит/с VBR; помечен как MP3, а кадры — AC-3; в "
              "контейнере: стерео, 44.1 кГц; 22 байта мусора перед первым кадром");
    EXPECT_EQ(AudioSummary(ReadAudioFacts(MatroskaAudio("A_REAL/COOK", 1, 11025.0), {})),
              "unknown audio (A_REAL/COOK) mono, 11.025 kHz");
    EXPECT_EQ(AudioSummary(ReadAudioFacts(Said(AudioCodec::Unknown, 0x1234), {}), 1),
              "неизвестный звук (метка формата 0x1234)");
}

} // namespace
