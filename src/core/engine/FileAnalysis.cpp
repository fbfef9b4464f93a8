#include "engine/FileAnalysis.h"

#include "engine/ContainerFace.h"
#include "os/FileLayer.h"
#include "streams/CachedReadStream64.h"
#include "streams/Stream64.h"

#include <algorithm>
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
    // The one open of the file: where it fails, the file is as unreadable as FileIsReadable
    // would find it (status 1). An embedded NUL would silently name another file.
    if (fileName.empty() || fileName.find('\0') != std::string::npos) {
        return found;
    }
    std::unique_ptr<TFileStream64> stream;
    try {
        stream = std::make_unique<TFileStream64>(fileName, kAnalyseMode);
    } catch (...) {
        return found;
    }
    TEngineState& state = found.State;
    state.CurrentKind = kUnknownKind;
    state.OriginalKind = kUnknownKind;
    // Failing leaves no identity a conversion could match.
    os::Files().Identify(stream->Handle, state.AnalysedFile);
    // The identity's size comes from the same call; a file system that gives none is asked.
    const std::int64_t size =
        state.AnalysedFile.Size > 0 ? state.AnalysedFile.Size : stream->GetSize();
    found.FileSize = static_cast<std::uint64_t>(size > 0 ? size : 0);
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
