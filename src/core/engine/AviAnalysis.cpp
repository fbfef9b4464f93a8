#include "engine/AviAnalysis.h"

#include "avi/VmAVIFile.h"
#include "check/IndexRates.h"
#include "engine/TrackAnalysis.h"
#include "video/AviStreamFacts.h"

#include <utility>

namespace vidtag {

namespace {

// A "strh" found by resynchronising can lie inside the "strf" data of the same list: a handler
// field inside the format record, or a compression field inside the stream header, would have a
// conversion write into its own codes. Each record spans what the file holds of it.
bool FieldsOverlap(const TVmAVIFileReader& reader) {
    const std::int64_t header = reader.VideoHeaderPos;
    const std::int64_t format = reader.VideoFormatPos;
    if (header == 0 || format == 0) {
        return false;
    }
    const std::int64_t handler = header + kHandlerOffset;
    const std::int64_t compression = format + kCompressionOffset;
    return (handler + 4 > format && handler < format + reader.VideoFormatHeld) ||
           (compression + 4 > header && compression < header + reader.VideoHeaderHeld);
}

// A damaged index only loses the rates: the analysis itself goes on as without them.
check::Rates ReadRatesOf(const TVmAVIFileReader& reader, TStream64& file,
                         const video::StreamFacts& facts,
                         const std::optional<check::AudioClock>& audio) {
    try {
        check::IndexPlace place = check::FindIndexPlace(reader);
        place.Audio = audio;
        return check::StreamRates(file, place, facts.ChunkSizes, facts.Fps, facts.Walked);
    } catch (...) {
        return {};
    }
}

} // namespace

ConversionStatus AnalyseAvi(TStream64& cached, ClassificationRule rule, Reading reading,
                            Analysis& found) {
    TEngineState& state = found.State;
    found.Container.Name = "avi";
    found.Container.Codes = 2;
    std::int64_t headerPos = 0;
    std::int64_t formatPos = 0;
    video::StreamFacts facts;
    check::Rates rates;
    std::optional<check::AudioClock> audioClock;
    try {
        // Creating the reader can only fail for want of memory, which is the reader's failure.
        TVmAVIFileReader reader(&cached);
        if (reader.ErrorCode < 0) {
            return reader.ErrorCode == -3 ? kStatusCannotOpen : kStatusNotAvi;
        }
        reader.Scan();
        state.OriginalHandler = reader.VideoHandler();
        state.OriginalCompression = reader.VideoCompression();
        headerPos = reader.VideoHeaderPos;
        formatPos = reader.VideoFormatPos;
        state.FieldsOverlap = FieldsOverlap(reader);
        if (reading != Reading::Headers) {
            // The tracks first: their reads stay among the headers and the movie data's start,
            // which the read cache holds after the scan, and end where the index lies. The
            // frame walk reads past the cache, so the index reading below finds it there still.
            TrackFacts tracks = AviTrackFacts(reader, cached);
            found.Audio = std::move(tracks.Audio);
            found.SubtitleTracks = tracks.SubtitleTracks;
            found.Index = tracks.Index;
            audioClock = tracks.FirstAudioClock;
            // A device check judges the whole stream, so it walks every frame.
            facts = video::ReadStreamFacts(reader, cached, reading == Reading::Frames);
        }
        if (reading == Reading::Frames) {
            rates = ReadRatesOf(reader, cached, facts, audioClock);
        }
    } catch (...) {
        return kStatusScanFailed;
    }
    state.HandlerPos = headerPos + 4;
    state.CompressionPos = formatPos > 0 ? formatPos + 16 : 0;
    state.CurrentHandler = state.OriginalHandler;
    state.CurrentCompression = state.OriginalCompression;
    state.CurrentKind = state.OriginalKind =
        Classify(state.OriginalHandler, state.OriginalCompression, rule);
    found.Container.ExactMatch =
        state.CurrentKind ==
        Classify(state.OriginalHandler, state.OriginalCompression, ClassificationRule::Exact);
    facts.FamilyMismatch = video::FamilyMismatch(FamilyOf(state.CurrentKind), facts.StreamSyntax);
    found.Stream = std::move(facts);
    found.Rates = rates;
    return kStatusDone;
}

} // namespace vidtag
