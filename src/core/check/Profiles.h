#pragma once

#include "audio/AudioFacts.h"
#include "codecs/CodecCatalog.h"
#include "codecs/FourCC.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vidtag::check {

// A frame size and the highest frame rate allowed at it.
struct SizeRate {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    double Fps = 0;
};

// Where a profile comes from: it decides the words of the label problems, and what
// --list-profiles says.
enum class ProfileOrigin : std::uint8_t {
    DivX,   // DivX Certified Profile Compatibility v1.1, February 2005
    Iso,    // an MPEG-4 Part 2 profile and level
    Device, // a device shipped with Vidtag, its limits from the maker's or users' reports
    File,   // a user's profile file
};

// A level's place among the Simple (profile 0) and Advanced Simple (profile 1) levels; ranks
// leave room for the intermediate levels (L0b, L3b).
struct LevelRank {
    int Profile = 0;
    int Rank = 0;
};

// One audio codec's limits: the most channels (the LFE counted), the sample rates in Hz and the
// highest bitrate in bit/s a track of that codec may have; an absent one is no limit.
struct AudioLimit {
    audio::AudioCodec Codec = audio::AudioCodec::Unknown;
    std::optional<std::uint32_t> MaxChannels;
    std::optional<std::uint32_t> MinSampleRate;
    std::optional<std::uint32_t> MaxSampleRate;
    std::optional<std::uint32_t> MaxBitrate;
};

// What a player takes. Every limit is optional: an absent one is no limit, and a tool is
// allowed unless the profile says otherwise.
struct Profile {
    std::string Name;
    ProfileOrigin Origin = ProfileOrigin::File;
    std::string Path; // the file a user's profile came from

    // "avi", "matroska"; empty for any.
    std::vector<std::string> Containers;
    // The compression codes the players accept, the first of a family being the one a retag
    // goes to; absent for any code.
    std::optional<std::vector<FourCC>> Codes;
    // In a Matroska file: the codes a V_MS/VFW/FOURCC track may carry (absent: those of Codes),
    // and the CodecIDs of tracks that name their codec which the players read (absent: any that
    // names a codec of a family they decode).
    std::optional<std::vector<FourCC>> MatroskaCodes;
    std::optional<std::vector<std::string>> MatroskaCodecIds;
    std::vector<SizeRate> SizeRates; // empty for any size
    std::optional<std::uint32_t> MaxMacroblocksPerFrame;
    std::optional<std::uint32_t> MaxMacroblocksPerSecond;
    std::optional<std::uint32_t> VbvBufferBits;
    std::optional<std::uint64_t> AvgBitrate;  // bit/s
    std::optional<std::uint64_t> PeakBitrate; // bits over any second
    std::optional<std::uint32_t> MaxBRun;     // B-frames in a row
    bool PackedAllowed = true;
    bool InterlaceAllowed = true;
    bool QpelAllowed = true;
    bool GmcAllowed = true;
    bool MpegQuantAllowed = true;
    // Beside the video stream: the audio codecs the players decode (absent for any), the most
    // channels of a track (the LFE counted), and the largest file they open, in bytes.
    std::optional<std::vector<audio::AudioCodec>> AudioCodecs;
    std::optional<std::uint32_t> MaxAudioChannels;
    std::optional<std::uint64_t> MaxFileSize;
    // An AVI file's players seek only by an idx1 that covers the movie data, flagged in the main
    // header.
    bool NeedsIndex = false;
    // Each codec's own limits, at most one row a codec; the most audio tracks the players take
    // (a remux keeps the first ones); and the containers whose audio the profile judges, empty
    // for all (Android's players decode what their Matroska reader keeps, while in AVI the
    // player app decides).
    std::vector<AudioLimit> AudioLimits;
    std::optional<std::uint32_t> MaxAudioTracks;
    std::vector<std::string> AudioContainers;
    // The MPEG-4 level the profile stands for: a stream claiming more is worth a note.
    std::optional<LevelRank> Level;

    // Where each limit comes from, and what is not known.
    std::vector<std::string> Sources;
    std::string Notes;
};

// The built-in profiles: the four DivX ones, smallest first, then the MPEG-4 Simple and
// Advanced Simple levels.
std::span<const Profile> Profiles();

// The built-in profile of that name, exactly as written; nullptr for any other.
const Profile* FindProfile(std::string_view name);

// "divx-handheld, divx-portable, ...": what a user may name.
std::string ProfileNames();

// The container names a profile may list; the first is the one every file is today.
std::span<const char* const> ContainerNames();

// Whether the profile's players open files of this container.
bool AcceptsContainer(const Profile& profile, std::string_view container);

// Whether the profile judges the audio of files of this container; "" is an AVI file.
bool JudgesAudioIn(const Profile& profile, std::string_view container);

// The profile's own limits for this audio codec; nullptr without a row for it.
const AudioLimit* AudioLimitOf(const Profile& profile, audio::AudioCodec codec);

// The limits a track of this codec meets: the codec's row, its channels the fewer of the row's
// and MaxAudioChannels.
AudioLimit TrackLimits(const Profile& profile, audio::AudioCodec codec);

// Whether the profile's players decode this audio codec; always without a codec list.
bool TakesAudioCodec(const Profile& profile, audio::AudioCodec codec);

// Whether a track of this sample rate meets the limits.
bool RateWithin(const AudioLimit& limits, std::uint32_t rate);

// The profile as it judges a file of this container: in Matroska, its Matroska codes in place of
// Codes; the same profile otherwise.
Profile ForContainer(const Profile& profile, std::string_view container);

// Whether ForContainer would give another profile for this container.
bool HasOwnCodesFor(const Profile& profile, std::string_view container);

// Whether the profile takes a file labelled as this kind (by its compression code, in any
// case); always without a code list.
bool AcceptsKind(const Profile& profile, CodecKind kind);

// Whether the profile's players take this compression code, in any case; always without a code
// list.
bool AcceptsCode(const Profile& profile, FourCC code);

// Whether the profile lists any code of the family.
bool AcceptsFamily(const Profile& profile, int family);

// The kind a retag goes to within the family: the first listed code that names a kind of it;
// kNoKind without one.
CodecKind RetagKind(const Profile& profile, int family);

// The family a listed code belongs to: that of its kind, 4 for the MPEG-4 Part 2 codes no kind
// names (FMP4, MP4V, DIV5, DIV6); 0 for any other.
int FamilyOfCode(FourCC code);

// The kind whose codes name this code, compared in upper case: its compression code, else its
// handler; kNoKind for a code the catalogue does not write.
CodecKind KindOfCode(FourCC code);

// Where a profile_and_level_indication stands among the Simple and Advanced Simple levels;
// absent for any other.
std::optional<LevelRank> RankOfLevel(std::uint8_t profileLevel);

} // namespace vidtag::check
