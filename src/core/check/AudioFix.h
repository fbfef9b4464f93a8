#pragma once

#include "audio/AudioFacts.h"
#include "check/Profiles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vidtag::check {

// What a track that breaks the profile's audio limits is re-encoded to: ffmpeg's encoder, the
// bitrate, and the channels and sample rate where they must change (absent to keep the
// track's own).
struct AudioEncoding {
    audio::AudioCodec Codec = audio::AudioCodec::Mp3;
    std::uint32_t Bitrate = 0; // bit/s
    std::optional<std::uint32_t> Channels;
    std::optional<std::uint32_t> SampleRate;
};

// The best codec the profile takes for the track, within that codec's limits: AC-3 keeping more
// than two channels where AC-3 is taken and its channel limit allows, at the profile's AC-3
// bitrate limit (448 kbit/s without one); else MP3 at 192 kbit/s, stereo, or AC-3 or AAC in
// stereo for a profile without MP3. A lower bitrate limit lowers the bitrate to the codec's next
// rate below it; a sample rate outside the codec's range goes to the highest it allows.
AudioEncoding EncodingFor(const audio::AudioFacts& track, const Profile& profile);

// "ffmpeg -n -i IN -map 0:v:0 -map 0:a -c copy -vtag CODE -c:a:1 ac3 -b:a:1 448k OUT.fixed.avi":
// the video bytes kept under the label the profile wants, the tracks that break its audio limits
// re-encoded (see EncodingFor), the others copied; with keepTracks, only that many first audio
// tracks are kept; never over an existing file. Written as AVI when the profile opens AVI files
// and judges their audio, else as Matroska without a label.
std::string FixCommand(const std::vector<audio::AudioFacts>& audio, const std::vector<bool>& redo,
                       const Profile& profile, std::string_view fileName, FourCC code,
                       std::optional<std::uint32_t> keepTracks = std::nullopt);

} // namespace vidtag::check
