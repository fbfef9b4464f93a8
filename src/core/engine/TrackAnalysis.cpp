#include "engine/TrackAnalysis.h"

#include "audio/AudioReading.h"
#include "audio/MatroskaCodecId.h"
#include "audio/WaveFormat.h"
#include "avi/AviAudio.h"
#include "matroska/AudioTracks.h"

#include <string_view>

namespace vidtag {

TrackFacts AviTrackFacts(const TVmAVIFileReader& reader, TStream64& stream) noexcept {
    TrackFacts facts;
    try {
        const AviTracks tracks = ReadAviTracks(reader, stream);
        facts.SubtitleTracks = tracks.SubtitleTracks;
        const AviIndexFacts& index = tracks.Index;
        facts.Index = IndexFacts{index.Idx1, index.HasIndexFlag, index.SuperIndex, index.Parts,
                                 index.CutShort};
        for (const AviAudioTrack& track : tracks.Audio) {
            const audio::WaveFormat format = audio::ReadWaveFormat(track.Format);
            if (facts.Audio.empty()) {
                facts.FirstAudioClock =
                    check::MakeAudioClock(track.StreamNumber, track.Scale, track.Rate,
                                          track.SampleSize, format.AvgBytesPerSec.value_or(0));
            }
            facts.Audio.push_back(audio::ReadAudioFacts(audio::AviAudio(format), track.First));
        }
    } catch (...) {
        // Out of memory: the tracks read so far stay.
    }
    return facts;
}

TrackFacts MatroskaTrackFacts(const mkv::MatroskaFile& file, TStream64& stream) noexcept {
    TrackFacts facts;
    try {
        const mkv::OtherTracks tracks = mkv::ReadOtherTracks(stream, file);
        facts.SubtitleTracks = tracks.SubtitleTracks;
        for (const mkv::AudioTrack& track : tracks.Audio) {
            const audio::ContainerAudio said = audio::MatroskaAudio(
                track.CodecId, track.Channels, track.SamplingFrequency, track.Private);
            facts.Audio.push_back(audio::ReadAudioFacts(said, track.First));
        }
    } catch (...) {
        // Out of memory: the tracks read so far stay.
    }
    return facts;
}

} // namespace vidtag
