#include "engine/ContainerFace.h"

#include "avi/VmAVIFile.h"
#include "engine/AviAnalysis.h"
#include "engine/MatroskaAnalysis.h"
#include "matroska/CodeKind.h"
#include "matroska/MatroskaFile.h"

#include <array>

namespace vidtag {

namespace {

bool AnyFile(TStream64&) {
    return true;
}

RecordedCodes AviRecord(const TEngineState& state) {
    // Without a stream header the analysis still adds the field's offset to position 0.
    return {{state.HandlerPos > kHandlerOffset, state.HandlerPos, state.CompressionPos},
            {state.CurrentHandler, state.CurrentCompression}};
}

CodePair AviHeld(CodePair recorded) {
    return recorded;
}

CodecKind AviClassify(CodePair recorded, ClassificationRule rule) {
    return Classify(recorded.Handler, recorded.Compression, rule);
}

CodePair AviWrites(const TEngineState& state, CodecKind kind) {
    return kind == state.OriginalKind ? CodePair{state.OriginalHandler, state.OriginalCompression}
                                      : CodePairOf(kind);
}

// A Matroska track's one code is recorded as a handler without a compression code: one field,
// one write, and the journal's records stay as they are.
RecordedCodes MatroskaRecord(const TEngineState& state) {
    return {{state.CompressionPos > 0, state.CompressionPos, 0},
            JournalCodes(state.CurrentCompression)};
}

CodecKind MatroskaClassify(CodePair recorded, ClassificationRule rule) {
    return mkv::ClassifyCompression(recorded.Handler, rule);
}

CodePair MatroskaWrites(const TEngineState& state, CodecKind kind) {
    return JournalCodes(kind == state.OriginalKind ? state.OriginalCompression
                                                   : mkv::CompressionCodeOf(kind));
}

constexpr ContainerFace kMatroska{
    "matroska", mkv::HasMatroskaSignature, AnalyseMatroska, MatroskaRecord,
    StateCodes, MatroskaClassify,          MatroskaWrites};
constexpr ContainerFace kAvi{"avi",   AnyFile,     AnalyseAvi, AviRecord,
                             AviHeld, AviClassify, AviWrites};

// Checked in order; the last takes every file.
constexpr std::array<const ContainerFace*, 2> kFaces{&kMatroska, &kAvi};

} // namespace

const ContainerFace& FaceOf(TStream64& stream) {
    for (const ContainerFace* face : kFaces) {
        const std::int64_t start = stream.GetPosition();
        const bool recognised = face->Recognises(stream);
        stream.SetPosition(start);
        if (recognised) {
            return *face;
        }
    }
    return kAvi;
}

const ContainerFace& FaceOf(const TEngineState& state) {
    return state.Matroska ? kMatroska : kAvi;
}

} // namespace vidtag
