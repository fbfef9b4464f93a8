#pragma once

#include "audio/AudioFacts.h"
#include "check/IndexFacts.h"
#include "check/Profiles.h"
#include "check/Verdict.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vidtag::check {

// What the profile's players make of the file beside its video stream: each audio track's codec
// and channels (problems "audio_codec", "audio_channels", fixed by re-encoding that track alone),
// the file's size ("file_size", fixed by splitting) and, for a profile that needs an index, an
// AVI file's missing or cut index ("index", fixed by the index rebuild). Each problem names the
// track and the limit. A verdict of plays, retag or remux becomes the worst of these fixes; the
// others stand, but for the cannot-tell of bitrates a cut end left unmeasured, which the index
// problem explains. When audio alone needs work besides labels and the container, Command gets
// the ffmpeg command that does it all (see FixCommand); when the index is the worst, the
// rebuild's (see IndexCommand). code is the file's compression code.
void AddTrackProblems(CheckResult& result, const std::vector<audio::AudioFacts>& audio,
                      std::uint64_t fileSize, const std::optional<IndexFacts>& index,
                      const Profile& profile, std::string_view fileName, FourCC code,
                      int language = 0);

// "vidtag-cli --rebuild-index FILE", the name quoted for the shell where it needs to be.
std::string IndexCommand(std::string_view fileName);

// "ffmpeg -n -i IN -map 0:v:0 -map 0:a -c copy -vtag CODE -c:a:1 ac3 -b:a:1 448k OUT.fixed.avi":
// the video bytes kept under the label the profile wants, the tracks that break its audio limits
// re-encoded (AC-3 at 448 kbit/s where the profile takes AC-3 and the track has more than two
// channels, else MP3 at 192 kbit/s, stereo), the others copied; never over an existing file.
// Written as AVI when the profile opens AVI files, else as Matroska without a label.
std::string FixCommand(const std::vector<audio::AudioFacts>& audio, const std::vector<bool>& redo,
                       const Profile& profile, std::string_view fileName, FourCC code);

} // namespace vidtag::check
