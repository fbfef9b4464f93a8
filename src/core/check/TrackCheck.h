#pragma once

#include "audio/AudioFacts.h"
#include "check/AudioFix.h"
#include "check/IndexFacts.h"
#include "check/Profiles.h"
#include "check/Verdict.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vidtag::check {

// What the profile's players make of the file beside its video stream: each audio track's codec,
// channels, sample rate and bitrate against the profile's limits and its codec's own (problems
// "audio_codec", "audio_channels", "audio_rate", "audio_bitrate", fixed by re-encoding that track
// alone), the number of audio tracks ("audio_tracks", fixed by a remux that keeps the first
// ones, whose tracks alone are judged then), all of these only in the containers whose audio the
// profile judges (container: "avi" or "", "matroska"); the file's size ("file_size", fixed by
// splitting) and, for a profile that needs an index, an AVI file's missing or cut index
// ("index", fixed by the index rebuild). Each problem names the track and the limit. A verdict
// of plays, retag or remux becomes the worst of these fixes; the others stand, but for the
// cannot-tell of bitrates a cut end left unmeasured, which the index problem explains. When
// audio alone needs work besides labels and the container, or tracks are to be dropped, Command
// gets the ffmpeg command that does it all (see FixCommand); when the index is the worst, the
// rebuild's (see IndexCommand). code is the file's compression code.
void AddTrackProblems(CheckResult& result, const std::vector<audio::AudioFacts>& audio,
                      std::uint64_t fileSize, const std::optional<IndexFacts>& index,
                      const Profile& profile, std::string_view fileName, FourCC code,
                      int language = 0, std::string_view container = {});

// "vidtag-cli --rebuild-index FILE", the name quoted for the shell where it needs to be.
std::string IndexCommand(std::string_view fileName);

} // namespace vidtag::check
