#pragma once

#include "audio/AudioFacts.h"
#include "check/Profiles.h"
#include "check/Verdict.h"

#include <cstdint>
#include <vector>

namespace vidtag::check {

// What the profile's players make of the file beside its video stream: each audio track's codec
// and channels (problems "audio_codec", "audio_channels", fixed by re-encoding that track alone)
// and the file's size ("file_size", fixed by splitting). Each problem names the track and the
// limit. A verdict of plays, retag or remux becomes the worst of these fixes; the others stand.
void AddTrackProblems(CheckResult& result, const std::vector<audio::AudioFacts>& audio,
                      std::uint64_t fileSize, const Profile& profile, int language = 0);

} // namespace vidtag::check
