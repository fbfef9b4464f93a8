#pragma once

#include "check/Profiles.h"
#include "check/Verdict.h"

#include <string_view>

namespace vidtag::check {

// A Matroska track whose CodecID names its codec (V_MPEG4/ISO/SP, /ASP, /AP; V_MPEG4/MS/V3) holds
// no compression code: there is nothing to retag, but players read the CodecID as its label.

// The family the CodecID names: 4 for MPEG-4 Part 2, 3 for Microsoft MPEG-4 V3; 0 for any other.
int FamilyOfCodecId(std::string_view codecId);

// The kind such a track is judged as on the profile: the profile's own kind of that family when
// it lists one, so that the CodecID and not a code decides the label; else the family's plain
// kind (MPEG-4 Visual, Microsoft MPEG-4 V3). kNoKind for a CodecID of no family.
CodecKind NativeKind(std::string_view codecId, const Profile& profile);

// What the CodecID adds to the stream's verdict: a retag the verdict offers cannot be written
// (no code to change), and a profile that lists the CodecIDs its players read and not this one
// gets the problem "codec_id", fixed by a remux. When the players read V_MPEG4/ISO/ASP, which
// ffmpeg writes for MPEG-4 Part 2, a note gives the remux's command (videoStream: the track's
// place among FFmpeg's video streams).
void JudgeCodecId(CheckResult& result, std::string_view codecId, const Profile& profile,
                  std::string_view fileName, int videoStream, int language = 0);

} // namespace vidtag::check
