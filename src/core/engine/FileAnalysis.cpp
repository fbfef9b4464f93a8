#include "engine/FileAnalysis.h"

#include "engine/ContainerFace.h"
#include "os/FileLayer.h"
#include "streams/CachedReadStream64.h"
#include "streams/Stream64.h"

#include <memory>

namespace vidtag {

namespace {

// Others may go on reading and writing while we look: the file may be playing somewhere.
constexpr std::uint16_t kAnalyseMode = kModeRead | kShareDenyNone;

} // namespace

bool FileIsReadable(const std::string& FileName) noexcept {
    // An embedded NUL would silently name another file than the one asked for.
    if (FileName.empty() || FileName.find('\0') != std::string::npos) {
        return false;
    }
    try {
        TFileStream64 stream(FileName, kAnalyseMode);
        return true;
    } catch (...) {
        return false;
    }
}

Analysis AnalyseCodes(const std::string& fileName, ClassificationRule rule, Reading reading) {
    Analysis found;
    if (!FileIsReadable(fileName)) {
        return found;
    }
    TEngineState& state = found.State;
    state.CurrentKind = kUnknownKind;
    state.OriginalKind = kUnknownKind;
    std::unique_ptr<TFileStream64> stream;
    try {
        stream = std::make_unique<TFileStream64>(fileName, kAnalyseMode);
    } catch (...) {
        found.Status = kStatusCannotOpen;
        return found;
    }
    // Failing leaves no identity a conversion could match.
    os::Files().Identify(stream->Handle, state.AnalysedFile);
    try {
        // The walk reads a few bytes at a time, and over a damaged region it reads every byte:
        // straight from the file that is a system call per step, minutes for a large file.
        TCachedReadStream64 cached(stream.get());
        found.Status = FaceOf(cached).Analyse(cached, rule, reading, found);
    } catch (...) {
        found.Status = kStatusScanFailed;
    }
    return found;
}

} // namespace vidtag
