#include "engine/MatroskaAnalysis.h"

#include "check/IndexRates.h"
#include "matroska/CodeKind.h"
#include "matroska/MatroskaFile.h"
#include "video/MatroskaStreamFacts.h"

#include <utility>

namespace vidtag {

thread_local TMatroskaReport MatroskaReport;

ConversionStatus AnalyseMatroska(TStream64& stream, bool readStreams, bool readRates) {
    TMatroskaReport& report = MatroskaReport;
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

    TEngineState& state = EngineState;
    state.Matroska = true;
    state.HandlerPos = 0;
    state.CompressionPos = file.CompressionPos;
    state.OriginalHandler = state.CurrentHandler = 0;
    state.OriginalCompression = state.CurrentCompression = file.Compression;
    const CodecKind kind = file.CompressionPos > 0
                               ? mkv::ClassifyCompression(file.Compression, AnalysisRule)
                               : kUnknownKind;
    report.ExactMatch =
        kind == mkv::ClassifyCompression(file.Compression, ClassificationRule::Exact);
    state.OriginalKind = state.CurrentKind = kind;
    if (readStreams) {
        video::StreamFacts facts = video::ReadMatroskaFacts(file, stream);
        facts.FamilyMismatch = video::FamilyMismatch(FamilyOf(kind), facts.StreamSyntax);
        // A Matroska file has no index of frame sizes: the rates come from the frames read.
        if (readRates && facts.Fps) {
            RateReport = check::RatesFromFrames(facts.ChunkSizes, *facts.Fps);
        }
        StreamReport = std::move(facts);
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
