#include "engine/MatroskaAnalysis.h"

#include "check/IndexRates.h"
#include "engine/TrackAnalysis.h"
#include "matroska/CodeKind.h"
#include "matroska/MatroskaFile.h"
#include "video/MatroskaStreamFacts.h"

#include <utility>

namespace vidtag {

ConversionStatus AnalyseMatroska(TStream64& stream, ClassificationRule rule, Reading reading,
                                 Analysis& found) {
    ContainerFacts& report = found.Container;
    report.Name = "matroska";
    report.Codes = 1;
    report.Matroska = true;
    const mkv::MatroskaFile file = mkv::ReadMatroska(stream);
    report.DocType = file.DocType;
    if (file.Result != mkv::Outcome::Read) {
        report.Reason = file.Reason;
        return kStatusNotAvi;
    }
    report.CodecId = file.Video.CodecId;
    report.Track = file.Video.Number;
    report.VideoIndex = file.Video.VideoIndex;
    report.VideoTracks = file.VideoTracks;
    report.Choice = file.Choice;
    report.WriteRefusal = file.WriteRefusal;

    TEngineState& state = found.State;
    state.Matroska = true;
    state.HandlerPos = 0;
    state.CompressionPos = file.CompressionPos;
    state.OriginalHandler = state.CurrentHandler = 0;
    state.OriginalCompression = state.CurrentCompression = file.Compression;
    const CodecKind kind =
        file.CompressionPos > 0 ? mkv::ClassifyCompression(file.Compression, rule) : kUnknownKind;
    report.ExactMatch =
        kind == mkv::ClassifyCompression(file.Compression, ClassificationRule::Exact);
    state.OriginalKind = state.CurrentKind = kind;
    if (reading != Reading::Headers) {
        video::StreamFacts facts = video::ReadMatroskaFacts(file, stream);
        facts.FamilyMismatch = video::FamilyMismatch(FamilyOf(kind), facts.StreamSyntax);
        // A Matroska file has no index of frame sizes: the rates come from the frames read.
        if (reading == Reading::Frames && facts.Fps) {
            found.Rates = check::RatesFromFrames(facts.ChunkSizes, *facts.Fps);
        }
        found.Stream = std::move(facts);
        TrackFacts tracks = MatroskaTrackFacts(file, stream);
        found.Audio = std::move(tracks.Audio);
        found.SubtitleTracks = tracks.SubtitleTracks;
    }
    return kStatusDone;
}

CodePair JournalCodes(FourCC code) {
    return {code, code};
}

CodePair StateCodes(CodePair recorded) {
    return {0, recorded.Handler};
}

} // namespace vidtag
