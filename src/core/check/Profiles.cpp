#include "check/Profiles.h"

#include <algorithm>
#include <array>

namespace vidtag::check {

namespace {

constexpr std::uint32_t kVbvUnit = 16384; // bits, the unit of vbv_buffer_size

Profile DivxProfile(const char* name, std::vector<SizeRate> sizes, std::uint32_t macroblocks,
                    std::uint32_t vbv, std::uint64_t avg, std::uint64_t peak, std::uint32_t bRun,
                    bool packed, bool interlace) {
    Profile p;
    p.Name = name;
    p.Origin = ProfileOrigin::DivX;
    p.Containers = {"avi"};
    // DivX's own list of its codes is DIVX, DIV6, DX50, DIV4, DIV3 and DVX1; of the
    // catalogue's kinds these are DivX 4 and DivX 5, and the two DivX V3 kinds. A retag goes
    // to DivX 5 and DivX V3 Low.
    p.Codes = std::vector<FourCC>{FCC("DX50"), FCC("DIVX"), FCC("DIV3")};
    p.SizeRates = std::move(sizes);
    p.MaxMacroblocksPerSecond = macroblocks;
    p.VbvBufferBits = vbv;
    p.AvgBitrate = avg;
    p.PeakBitrate = peak;
    p.MaxBRun = bRun;
    p.PackedAllowed = packed;
    p.InterlaceAllowed = interlace;
    p.QpelAllowed = false;
    p.GmcAllowed = false;
    p.MpegQuantAllowed = false;
    p.Sources = {"DivX Certified Profile Compatibility v1.1, February 2005"};
    return p;
}

// One MPEG-4 level. What the levels limit: macroblocks per frame (the VCV buffer) and per
// second (the VCV decoder rate), the VBV buffer, and the bitrate. The level's bitrate bounds
// the average; over one second a stream may also empty a full VBV buffer, so the peak over
// any second may reach the bitrate plus the buffer.
struct IsoLevel {
    const char* Name;
    int Profile; // 0 Simple, 1 Advanced Simple
    int Rank;
    std::uint32_t MacroblocksPerFrame;
    std::uint32_t MacroblocksPerSecond;
    std::uint32_t VbvUnits; // 0 where no source gives it
    std::uint32_t Kbits;
    bool QcifOnly; // L0 and L0b: QCIF at 15 fps at most
};

// Simple L0-L3 and Advanced Simple L0-L5: Xvid's vfw/src/config.c profile table (frame and
// second macroblocks, VBV units, bitrate), the same as the MPEG-4 level tables. Simple L0b,
// L4a, L5, L6 and Advanced Simple L3b, which Xvid does not keep: Android's MediaCodecInfo
// (VideoCapabilities level limits), which gives no VBV size for them.
constexpr std::array<IsoLevel, 15> kIsoLevels{{
    {"mpeg4-sp-l0", 0, 0, 99, 1485, 10, 64, true},
    {"mpeg4-sp-l1", 0, 2, 99, 1485, 10, 64, false},
    {"mpeg4-sp-l0b", 0, 3, 99, 1485, 0, 128, true},
    {"mpeg4-sp-l2", 0, 4, 396, 5940, 40, 128, false},
    {"mpeg4-sp-l3", 0, 6, 396, 11880, 40, 384, false},
    {"mpeg4-sp-l4a", 0, 8, 1200, 36000, 0, 4000, false},
    {"mpeg4-sp-l5", 0, 10, 1620, 40500, 0, 8000, false},
    {"mpeg4-sp-l6", 0, 12, 3600, 108000, 0, 12000, false},
    {"mpeg4-asp-l0", 1, 0, 99, 2970, 10, 128, false},
    {"mpeg4-asp-l1", 1, 2, 99, 2970, 10, 128, false},
    {"mpeg4-asp-l2", 1, 4, 396, 5940, 40, 384, false},
    {"mpeg4-asp-l3", 1, 6, 396, 11880, 40, 768, false},
    {"mpeg4-asp-l3b", 1, 7, 396, 11880, 0, 1500, false},
    {"mpeg4-asp-l4", 1, 8, 792, 23760, 80, 3000, false},
    {"mpeg4-asp-l5", 1, 10, 1620, 48600, 112, 8000, false},
}};

// Any code of the MPEG-4 Visual family, for players that judge the stream and not its label.
std::vector<FourCC> AnyMpeg4Code() {
    return {FCC("XVID"), FCC("DIVX"), FCC("DX50"), FCC("3IV2"), FCC("FMP4"), FCC("MP4V")};
}

Profile IsoProfile(const IsoLevel& level) {
    Profile p;
    p.Name = level.Name;
    p.Origin = ProfileOrigin::Iso;
    p.Codes = AnyMpeg4Code();
    if (level.QcifOnly) {
        p.SizeRates = {{176, 144, 15}};
    }
    p.MaxMacroblocksPerFrame = level.MacroblocksPerFrame;
    p.MaxMacroblocksPerSecond = level.MacroblocksPerSecond;
    const std::uint64_t bitrate = std::uint64_t{level.Kbits} * 1000;
    p.AvgBitrate = bitrate;
    if (level.VbvUnits != 0) {
        p.VbvBufferBits = level.VbvUnits * kVbvUnit;
        p.PeakBitrate = bitrate + *p.VbvBufferBits;
    }
    const bool simple = level.Profile == 0;
    if (simple) {
        p.MaxBRun = 0;
    }
    p.PackedAllowed = !simple; // packing needs B-frames
    p.InterlaceAllowed = !simple;
    p.QpelAllowed = !simple;
    p.GmcAllowed = !simple;
    p.MpegQuantAllowed = !simple;
    p.Level = LevelRank{level.Profile, level.Rank};
    p.Sources = {level.VbvUnits != 0 ? "Xvid, vfw/src/config.c: the MPEG-4 profile and level table"
                                     : "Android, MediaCodecInfo.java: the MPEG-4 level limits"};
    if (level.VbvUnits == 0) {
        p.Notes = "no source at hand gives this level's VBV buffer size: not checked; ";
    }
    p.Notes += "a level says nothing of audio or the file: neither is judged";
    return p;
}

// The audio codecs Samsung's pages list for AVI and MKV from 2016 on, and the one that changes:
// DTS in 2016, Opus from 2018.
std::vector<audio::AudioCodec> SamsungAudio(audio::AudioCodec changing) {
    return {audio::AudioCodec::Ac3, audio::AudioCodec::Eac3,
            audio::AudioCodec::Pcm, audio::AudioCodec::Adpcm,
            audio::AudioCodec::Aac, audio::AudioCodec::Wma,
            audio::AudioCodec::Mp3, changing};
}

// Devices of today, each limit from the maker's own pages or a public report; what none gives
// stays out, and the notes say so.
Profile SamsungTizen() {
    Profile p;
    p.Name = "samsung-tizen";
    p.Origin = ProfileOrigin::Device;
    p.Containers = {"avi", "matroska"};
    p.Codes = std::vector<FourCC>{FCC("MP4V")};
    p.SizeRates = {{1920, 1080, 60}};
    p.PeakBitrate = 20000000;
    p.Sources = {
        "Samsung's 2018 TV video page on developer.samsung.com/smarttv (media, 2018 TVs): "
        "AVI and MKV, MPEG-4 SP/ASP up to 1920x1080, 60 fps, "
        "20 Mbit/s; DivX 3.11/4/5/6 listed in 2016, no longer from 2018",
        "github.com/YouROK/TorrServer/issues/36: on a UE43TU8000 (Tizen 5.5, 2020) an AVI "
        "labelled XVID fails from USB, the same file labelled MP4V in both fields plays",
        "github.com/jellyfin/jellyfin-tizen/issues/5: 2018 and later Samsung TVs do not play "
        "XviD or DivX labelled AVI files",
        "the same 2018 TV video page on developer.samsung.com/smarttv: audio codecs AC-3, AC-4, "
        "LPCM, ADPCM (IMA, MS), AAC, HE-AAC, WMA, DD+, MPEG (MP3), MPEG-H, G.711, Opus; the "
        "2016 page's DTS is gone (the 2020 page likewise)",
        "the same 2018 TV video page: \"Seek (jump) function is not supported if the index "
        "table is corrupted\""};
    p.NeedsIndex = true;
    p.AudioCodecs = SamsungAudio(audio::AudioCodec::Opus);
    p.Notes = "which labels besides MP4V play (DIVX, DX50, FMP4) is not known; whether QPel, GMC, "
              "B-frames and interlace play is not stated; the Microsoft MPEG-4 V1-V3 the page "
              "lists are left out, as the codes it reads for them are not known; the sets from "
              "2018 on; no channel, sample rate, audio bitrate or file size limit is given";
    return p;
}

// The 2016 sets, before the DivX and DTS support the later pages drop: the same containers, size,
// rate and index, any label of the family.
Profile SamsungTizen2016() {
    Profile p = SamsungTizen();
    p.Name = "samsung-tizen-2016";
    p.Codes.reset();
    p.Sources = {
        "Samsung's 2016 TV video page on developer.samsung.com/smarttv (media, 2016 TVs): AVI "
        "and MKV, DivX 3.11/4/5/6 and MPEG-4 SP/ASP up to 1920x1080, 60 fps, 20 Mbit/s; "
        "Microsoft MPEG-4 version 1/2/3 up to 30 fps; audio AC-3, LPCM, ADPCM (IMA, MS), AAC, "
        "HE-AAC, WMA, DD+, MPEG (MP3), DTS (Core, LBR), G.711; \"Seek (jump) function is not "
        "supported if the index table is corrupted\""};
    p.AudioCodecs = SamsungAudio(audio::AudioCodec::Dts);
    p.Notes = "the page names the DivX versions and MPEG-4 SP/ASP but no labels, so any label of "
              "the family is taken; the 30 fps of Microsoft MPEG-4 V1-V3 is not checked apart "
              "from the 60 fps of the others; whether QPel, GMC, B-frames and interlace play is "
              "not stated; no channel, sample rate, audio bitrate or file size limit is given";
    return p;
}

Profile LgWebos() {
    Profile p;
    p.Name = "lg-webos";
    p.Origin = ProfileOrigin::Device;
    p.Containers = {"avi"};
    p.Codes = std::vector<FourCC>{FCC("DX50"), FCC("DIVX"), FCC("DIV5"),
                                  FCC("DIV6"), FCC("DIV3"), FCC("DIV4")};
    p.QpelAllowed = false;
    p.GmcAllowed = false;
    p.Sources = {
        "LG webOS TV video support page, as quoted in a user report: DivX 3.11 with DIV3/DIV4, "
        "DivX 4/5/6 with divx/DIVX/DIV5/DIV6/DX50, \"MPEG-4 ASP support does not include global "
        "motion compensation or quarterpel\"",
        "github.com/rigaya/VCEEnc/issues/71, quoting an LG TV's data sheet: \"We do not support "
        "any stream that contains GMC (Global Motion Compensation) or Qpel\"",
        "UniversalMediaServer renderers/LG-WebOS.conf: AVI with DivX and MPEG-4 video",
        "UniversalMediaServer renderers/LG-OLED-2020+.conf (from the 2022 set's manual): AVI "
        "audio AAC-LC, HE-AAC, AC-3, MP3, MPEG audio; no DTS"};
    p.AudioCodecs = std::vector<audio::AudioCodec>{audio::AudioCodec::Aac, audio::AudioCodec::Ac3,
                                                   audio::AudioCodec::Mp3, audio::AudioCodec::Mp1,
                                                   audio::AudioCodec::Mp2};
    p.Notes = "the sets from 2020 on; no size, frame rate or bitrate limit for MPEG-4 was found; "
              "whether XVID-labelled files play is not stated (the code list names DivX codes "
              "only); Matroska support for these codes is not known; older webOS sets "
              "(renderers/LG-WebOS.conf) also list DTS in AVI, and LG's 2023 sets decode DTS "
              "again; no channel, sample rate, audio bitrate or track limit was found";
    return p;
}

Profile Ps3() {
    Profile p;
    p.Name = "ps3";
    p.Origin = ProfileOrigin::Device;
    p.Containers = {"avi"};
    p.GmcAllowed = false;
    p.Sources = {"github.com/ps3mediaserver/ps3mediaserver/pull/15: since firmware 4.0 the PS3 "
                 "plays MPEG-4 ASP with QPel in AVI; GMC is still unsupported",
                 "UniversalMediaServer renderers/Sony-PlayStation3.conf, from the PS3 manual's "
                 "file types: DivX in AVI",
                 "sponsorsoftomorrow.com/2284-playstation-3-already-plays-divx-but-with-"
                 "limitations and stupidevilbastard.com (PS3 2.10 firmware): DivX files up to "
                 "2 GB",
                 "UniversalMediaServer renderers/Sony-PlayStation3.conf: AVI/DivX audio mp3, "
                 "lpcm, mpa, ac3; \"DTS is not supported\""};
    p.MaxFileSize = 2147483648u;
    p.AudioCodecs = std::vector<audio::AudioCodec>{audio::AudioCodec::Mp3, audio::AudioCodec::Mp1,
                                                   audio::AudioCodec::Mp2, audio::AudioCodec::Pcm,
                                                   audio::AudioCodec::Ac3};
    p.Notes = "no size, frame rate, bitrate or B-frame limit was found; which labels it reads is "
              "not stated (the manual says DivX); no channel, sample rate, audio bitrate or track "
              "limit was found";
    return p;
}

Profile Xbox360() {
    Profile p;
    p.Name = "xbox-360";
    p.Origin = ProfileOrigin::Device;
    p.Containers = {"avi"};
    p.Codes = std::vector<FourCC>{FCC("XVID"), FCC("DIVX"), FCC("DX50")};
    p.SizeRates = {{1280, 720, 30}};
    p.PeakBitrate = 5000000;
    p.Sources = {"Xbox team FAQ (blogs.msdn.com/xboxteam), quoted in UniversalMediaServer "
                 "renderers/Microsoft-Xbox360.conf: AVI (.avi, .divx), MPEG-4 Visual Simple and "
                 "Advanced Simple Profile, 5 Mbit/s at up to 1280x720 and 30 fps",
                 "bitbucket.org/xnejp03/serviio/issues/117: the Xbox has no DivX 3 (DIV3) support",
                 "Xbox 360 Video Playback FAQ, December 2007, quoted at nextgenupdate.com/forums/"
                 "xbox-360/193515-xbox-video-formats-1.html: AVI audio \"Dolby Digital 2 channel "
                 "and 5.1 channel, MP3\"",
                 "sponsorsoftomorrow.com/2284-playstation-3-already-plays-divx-but-with-"
                 "limitations: the Xbox 360 plays DivX files of up to 4 GB"};
    p.AudioCodecs = std::vector<audio::AudioCodec>{audio::AudioCodec::Ac3, audio::AudioCodec::Mp3};
    p.MaxAudioChannels = 6;
    p.MaxFileSize = 4294967295u;
    p.Notes = "the exact labels it reads are not documented: XVID, DIVX and DX50 are the Xvid "
              "and DivX labels of MPEG-4 Visual in AVI; whether QPel and GMC play is not stated; "
              "no sample rate or audio bitrate limit is given";
    return p;
}

Profile Android() {
    Profile p;
    p.Name = "android";
    p.Origin = ProfileOrigin::Device;
    p.Codes = AnyMpeg4Code();
    p.MaxMacroblocksPerFrame = 396;
    p.MaxMacroblocksPerSecond = 11880;
    p.AvgBitrate = 384000;
    p.MaxBRun = 0;
    p.PackedAllowed = false;
    p.InterlaceAllowed = false;
    p.QpelAllowed = false;
    p.GmcAllowed = false;
    p.MpegQuantAllowed = false;
    p.Sources = {
        "Android Compatibility Definition, 5.3 Video Decoding: handheld and television "
        "devices MUST support decoding of MPEG-4 SP",
        "android.googlesource.com platform/docs/source.android.com 1def5ae (CDD): devices "
        "with MPEG-4 decoders MUST support Simple Profile Level 3; its limits are those of "
        "mpeg4-sp-l3",
        "androidx/media, libraries/extractor/src/main/java/androidx/media3/extractor/avi/"
        "AviExtractor.java: Media3's AVI reader seeks only in files whose main header has "
        "AVIF_HASINDEX",
        "android.googlesource.com platform/frameworks/av, media/extractors/mkv/"
        "MatroskaExtractor.cpp (addTracks): A_AAC, A_VORBIS, A_OPUS, A_MPEG/L3, A_MPEG/L2, "
        "A_FLAC, A_PCM/INT/LIT and /BIG, and A_MS/ACM with MP2, MP3, PCM, MS and IMA ADPCM or "
        "WMA tags; A_AC3, A_EAC3 and A_DTS tracks are dropped",
        "developer.android.com/guide/topics/media/media-formats, audio support: MP3 mono/stereo "
        "8-320 kbit/s CBR or VBR; FLAC mono/stereo up to 48 kHz; AAC LC mono/stereo/5.0/5.1, "
        "8-48 kHz",
        "android.googlesource.com platform/frameworks/av, media/extractors/mkv/"
        "MatroskaExtractor.cpp (addTracks, MKVFourCC2MIME): of the MPEG-4 family, a Matroska "
        "track is read as MPEG-4 Visual (video/mp4v-es, which the platform's own decoder takes) "
        "with CodecID V_MPEG4/ISO/ASP, or V_MS/VFW/FOURCC with the code MP4V in any case; XVID, "
        "DIVX, DX50, DIV3 and DIV4 map to video/xvid, video/divx and video/divx3, which only a "
        "maker's own decoder takes; V_MPEG4/ISO/SP, /AP and V_MPEG4/MS/V3 tracks are dropped"};
    p.NeedsIndex = true;
    p.AudioContainers = {"matroska"};
    p.AudioCodecs = std::vector<audio::AudioCodec>{
        audio::AudioCodec::Aac, audio::AudioCodec::Vorbis, audio::AudioCodec::Opus,
        audio::AudioCodec::Mp3, audio::AudioCodec::Mp2,    audio::AudioCodec::Flac,
        audio::AudioCodec::Pcm, audio::AudioCodec::Adpcm,  audio::AudioCodec::Wma};
    p.AudioLimits = {{audio::AudioCodec::Mp3, 2, std::nullopt, std::nullopt, 320000},
                     {audio::AudioCodec::Flac, 2, std::nullopt, 48000, std::nullopt},
                     {audio::AudioCodec::Aac, 6, 8000, 48000, std::nullopt}};
    p.MatroskaCodes = std::vector<FourCC>{kMp4vCode};
    p.MatroskaCodecIds = std::vector<std::string>{"V_MPEG4/ISO/ASP"};
    p.Notes = "what every Android device must play: many decode more. The platform's own "
              "formats for MPEG-4 SP are 3GPP and MP4, so AVI depends on the player app, and no "
              "label is required. Audio is judged in Matroska alone, as in AVI the player app "
              "decides it; no limit is given for Vorbis, Opus, MP2, PCM, ADPCM or WMA tracks, nor "
              "for the number of audio tracks";
    return p;
}

std::vector<Profile> BuiltIns() {
    std::vector<Profile> all;
    all.push_back(DivxProfile("divx-handheld", {{176, 144, 15}}, 1485, 262144, 537600, 800000, 0,
                              false, false));
    all.push_back(DivxProfile("divx-portable", {{352, 240, 30}, {352, 288, 25}}, 36000, 3145728,
                              4854000, 8000000, 1, true, false));
    all.push_back(DivxProfile("divx-home-theater", {{720, 480, 30}, {720, 576, 25}}, 40500, 3145728,
                              4854000, 8000000, 1, true, true));
    all.push_back(DivxProfile("divx-hd720", {{1280, 720, 30}}, 108000, 6291456, 9708400, 16000000,
                              2, true, true));
    // DivX's audio guide for certified devices: they require MP3, the one codec every certified
    // player decodes. Players of the two larger profiles often take AC-3 too, but no citable
    // source says so: an AC-3 track is judged as the certification promises, and says so.
    for (Profile& divx : all) {
        divx.AudioCodecs = std::vector<audio::AudioCodec>{audio::AudioCodec::Mp3};
        divx.Sources.push_back("divx.com/divx/windows/codec/guides/audio.php: \"DivX "
                               "Certified devices require that the audio format be MP3\"");
        if (divx.Name == "divx-home-theater" || divx.Name == "divx-hd720") {
            divx.Notes = "MP3 is the audio every certified player decodes; many of these players "
                         "also take AC-3 (said to be up to 448 kbit/s), but no citable source was "
                         "found, so an AC-3 track is judged to need re-encoding: a profile file "
                         "with \"audio_codecs\": [\"mp3\", \"ac3\"] judges such a player; its 8 "
                         "audio tracks and its 2 GiB without OpenDML were not found either, so the "
                         "track count and the file's size are not judged";
        }
    }
    for (const IsoLevel& level : kIsoLevels) {
        all.push_back(IsoProfile(level));
    }
    for (Profile (*device)() : {SamsungTizen, SamsungTizen2016, LgWebos, Ps3, Xbox360, Android}) {
        all.push_back(device());
    }
    return all;
}

// The code a file of this kind shows a player; FMP4 for FFmpeg's own kind.
FourCC CompressionOf(CodecKind kind) {
    return kind == kFFmpegKind ? kFFmpegCode : CodePairOf(kind).Compression;
}

bool Lists(const std::vector<FourCC>& codes, FourCC code) {
    const FourCC upper = UpperCaseFourCC(code);
    return std::any_of(codes.begin(), codes.end(),
                       [upper](FourCC listed) { return UpperCaseFourCC(listed) == upper; });
}

// The MPEG-4 Visual codes other programs write, which no kind of the catalogue names.
bool OtherMpeg4Code(FourCC code) {
    const FourCC upper = UpperCaseFourCC(code);
    return upper == kFFmpegCode || upper == kMp4vCode || upper == FCC("DIV5") ||
           upper == FCC("DIV6");
}

} // namespace

int FamilyOfCode(FourCC code) {
    return OtherMpeg4Code(code) ? 4 : FamilyOf(KindOfCode(code));
}

std::span<const Profile> Profiles() {
    static const std::vector<Profile> kProfiles = BuiltIns();
    return kProfiles;
}

const Profile* FindProfile(std::string_view name) {
    const std::span<const Profile> all = Profiles();
    const auto found =
        std::find_if(all.begin(), all.end(), [name](const Profile& p) { return name == p.Name; });
    return found != all.end() ? &*found : nullptr;
}

std::string ProfileNames() {
    std::string names;
    for (const Profile& profile : Profiles()) {
        if (!names.empty()) {
            names += ", ";
        }
        names += profile.Name;
    }
    return names;
}

std::span<const char* const> ContainerNames() {
    static constexpr std::array<const char*, 2> kNames{"avi", "matroska"};
    return kNames;
}

bool AcceptsContainer(const Profile& profile, std::string_view container) {
    return profile.Containers.empty() ||
           std::find(profile.Containers.begin(), profile.Containers.end(), container) !=
               profile.Containers.end();
}

bool JudgesAudioIn(const Profile& profile, std::string_view container) {
    const std::string_view name = container.empty() ? ContainerNames().front() : container;
    return profile.AudioContainers.empty() ||
           std::find(profile.AudioContainers.begin(), profile.AudioContainers.end(), name) !=
               profile.AudioContainers.end();
}

const AudioLimit* AudioLimitOf(const Profile& profile, audio::AudioCodec codec) {
    const auto found =
        std::find_if(profile.AudioLimits.begin(), profile.AudioLimits.end(),
                     [codec](const AudioLimit& limit) { return limit.Codec == codec; });
    return found != profile.AudioLimits.end() ? &*found : nullptr;
}

AudioLimit TrackLimits(const Profile& profile, audio::AudioCodec codec) {
    const AudioLimit* row = AudioLimitOf(profile, codec);
    AudioLimit limits;
    if (row != nullptr) {
        limits = *row;
    }
    limits.Codec = codec;
    if (profile.MaxAudioChannels &&
        (!limits.MaxChannels || *profile.MaxAudioChannels < *limits.MaxChannels)) {
        limits.MaxChannels = profile.MaxAudioChannels;
    }
    return limits;
}

bool TakesAudioCodec(const Profile& profile, audio::AudioCodec codec) {
    return !profile.AudioCodecs ||
           std::find(profile.AudioCodecs->begin(), profile.AudioCodecs->end(), codec) !=
               profile.AudioCodecs->end();
}

bool RateWithin(const AudioLimit& limits, std::uint32_t rate) {
    return (!limits.MinSampleRate || rate >= *limits.MinSampleRate) &&
           (!limits.MaxSampleRate || rate <= *limits.MaxSampleRate);
}

bool HasOwnCodesFor(const Profile& profile, std::string_view container) {
    return container == ContainerNames()[1] && profile.MatroskaCodes;
}

Profile ForContainer(const Profile& profile, std::string_view container) {
    Profile judged = profile;
    if (HasOwnCodesFor(profile, container)) {
        judged.Codes = profile.MatroskaCodes;
    }
    return judged;
}

bool AcceptsKind(const Profile& profile, CodecKind kind) {
    return AcceptsCode(profile, CompressionOf(kind));
}

bool AcceptsCode(const Profile& profile, FourCC code) {
    return !profile.Codes || Lists(*profile.Codes, code);
}

bool AcceptsFamily(const Profile& profile, int family) {
    return !profile.Codes ||
           std::any_of(profile.Codes->begin(), profile.Codes->end(),
                       [family](FourCC code) { return FamilyOfCode(code) == family; });
}

CodecKind RetagKind(const Profile& profile, int family) {
    if (!profile.Codes) {
        return kNoKind;
    }
    for (const FourCC code : *profile.Codes) {
        const CodecKind kind = KindOfCode(code);
        if (kind != kNoKind && FamilyOf(kind) == family) {
            return kind;
        }
    }
    return kNoKind;
}

CodecKind KindOfCode(FourCC code) {
    const FourCC upper = UpperCaseFourCC(code);
    if (upper == kMp4vCode) {
        return kMp4vKind;
    }
    for (CodecKind kind = kFirstKind; kind <= kLastKind; ++kind) {
        if (UpperCaseFourCC(CodePairOf(kind).Compression) == upper) {
            return kind;
        }
    }
    for (CodecKind kind = kFirstKind; kind <= kLastKind; ++kind) {
        if (UpperCaseFourCC(CodePairOf(kind).Handler) == upper) {
            return kind;
        }
    }
    return kNoKind;
}

std::optional<LevelRank> RankOfLevel(std::uint8_t profileLevel) {
    // Simple: L0 is 0x08 and L0b 0x09, L1 to L6 their own number (L4a is 4).
    switch (profileLevel) {
    case 0x08:
        return LevelRank{0, 0};
    case 0x09:
        return LevelRank{0, 3};
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
        return LevelRank{0, 2 * profileLevel};
    default:
        break;
    }
    if (profileLevel >= 0xF0 && profileLevel <= 0xF5) {
        return LevelRank{1, 2 * (profileLevel - 0xF0)};
    }
    return std::nullopt;
}

} // namespace vidtag::check
