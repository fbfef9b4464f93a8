#include "engine/Engine.h"

#include "engine/Conversion.h"
#include "engine/OriginalRecord.h"

#include <utility>

namespace vidtag {

thread_local TEngineState EngineState;
thread_local TMatroskaReport MatroskaReport;
thread_local TJournalReport JournalReport;
ClassificationRule AnalysisRule = ClassificationRule::Exact;
thread_local video::StreamFacts StreamReport;
thread_local check::Rates RateReport;

namespace {

bool ReadStreams = false;
bool ReadRates = false;
JournalUse Use = JournalUse::BestEffort;
bool KeepTime = false;

JobOptions DialogOptions() {
    JobOptions options;
    options.Rule = AnalysisRule;
    options.Read = !ReadStreams ? Reading::Headers : ReadRates ? Reading::Frames : Reading::Stream;
    options.Journal = Use;
    options.KeepTime = KeepTime;
    return options;
}

// The analysis replaces the whole state, except the original codes of a failed analysis, which
// stay until an analysis finds new ones.
ConversionStatus Analyse(const std::string& fileName) {
    Analysis found = AnalyseCodes(fileName, AnalysisRule, DialogOptions().Read);
    if (found.Status == kStatusNotFound) {
        return found.Status;
    }
    TEngineState& state = EngineState;
    if (found.Status != kStatusDone && found.State.OriginalHandler == 0 &&
        found.State.OriginalCompression == 0) {
        found.State.OriginalHandler = state.OriginalHandler;
        found.State.OriginalCompression = state.OriginalCompression;
    }
    state = found.State;
    MatroskaReport = std::move(found.Container);
    StreamReport = std::move(found.Stream);
    RateReport = found.Rates;
    return found.Status;
}

ConversionStatus Convert(const std::string& fileName, CodecKind kind) {
    if (!MatroskaReport.WriteRefusal.empty()) {
        JournalReport.Refused = Refusal::ContainerRefused;
        JournalReport.Reason = MatroskaReport.WriteRefusal;
        return kStatusCannotWrite;
    }
    // Nothing is ever written over codes the catalogue does not know, nor without an analysis
    // that found them: the positions would not point at codes.
    if (!IsRecognisedKind(EngineState.CurrentKind)) {
        return kStatusCannotWrite;
    }
    if (EngineState.FieldsOverlap) {
        JournalReport.Refused = Refusal::FieldsOverlap;
        return kStatusCannotWrite;
    }
    const JobOptions options = DialogOptions();
    WriteCall call{EngineState, options, JournalReport};
    return LockedWrite(call, fileName, WriteMode::Convert, kind);
}

ConversionStatus Guarded(const std::string& fileName, WriteMode mode) noexcept {
    TEngineState& state = EngineState;
    JournalReport = {};
    try {
        state.Status = kStatusNotFound;
        if (FileIsReadable(fileName)) {
            const JobOptions options = DialogOptions();
            WriteCall call{state, options, JournalReport};
            state.Status = LockedWrite(call, fileName, mode, kNoKind);
        }
    } catch (...) {
        state.Status = kStatusCannotWrite;
    }
    return state.Status;
}

} // namespace

void SetStreamReading(bool on) noexcept {
    ReadStreams = on;
}

void SetRateReading(bool on) noexcept {
    ReadRates = on;
}

void SetJournalUse(JournalUse use) noexcept {
    Use = use;
}

void SetKeepModifiedTime(bool keep) noexcept {
    KeepTime = keep;
}

ConversionStatus ProcessFile(const std::string& FileName, CodecKind Kind) noexcept {
    TEngineState& state = EngineState;
    try {
        // A kind without codes to write (14, 15 and above 16) is refused as a write that cannot
        // be made (status 3) before the file is even opened; the front ends never ask for one.
        if (Kind != kNoKind && CodePairOf(Kind).Handler == 0) {
            return state.Status = kStatusCannotWrite;
        }
        state.Status = kStatusNotFound;
        if (Kind != kNoKind) {
            JournalReport = {};
        }
        if (!FileIsReadable(FileName)) {
            return state.Status;
        }
        state.Status = Kind == kNoKind ? Analyse(FileName) : Convert(FileName, Kind);
    } catch (...) {
        // Only running out of memory gets here; it is reported as the step that failed.
        state.Status = Kind == kNoKind ? kStatusScanFailed : kStatusCannotWrite;
    }
    return state.Status;
}

ConversionStatus RecoverFile(const std::string& FileName) noexcept {
    return Guarded(FileName, WriteMode::Settle);
}

ConversionStatus RestoreFile(const std::string& FileName) noexcept {
    return Guarded(FileName, WriteMode::Restore);
}

ConversionStatus CheckLock(const std::string& FileName) noexcept {
    JournalReport = {};
    try {
        if (!FileIsReadable(FileName)) {
            return kStatusNotFound;
        }
        const JobOptions options = DialogOptions();
        WriteCall call{EngineState, options, JournalReport};
        return ProbeLock(call, FileName);
    } catch (...) {
        return kStatusCannotWrite;
    }
}

RecordedOriginal OriginalOf(const std::string& FileName) noexcept {
    const JobOptions options = DialogOptions();
    TJournalReport findings;
    WriteCall call{EngineState, options, findings};
    const RecordedOriginal found = ReadOriginal(call, FileName);
    JournalReport.SkippedLines = findings.SkippedLines;
    return found;
}

int StatusTextNumber(ConversionStatus status, CodecKind currentKind) noexcept {
    switch (status) {
    case kStatusDone:
        return currentKind <= kLastKind ? 0 : 6;
    case kStatusNotFound:
        return 2;
    case kStatusCannotOpen:
        return 3;
    case kStatusCannotWrite:
        return 4;
    case kStatusNotAvi:
        return 5;
    case kStatusScanFailed:
        return 16;
    case kStatusFileChanged:
        return 17;
    default:
        return 9; // "Error": no path produces any other status
    }
}

const char* RefusalName(Refusal refusal) noexcept {
    static constexpr const char* kNames[] = {"none",
                                             "lock-busy",
                                             "lock-failed",
                                             "lock-needs-writing",
                                             "fields-overlap",
                                             "journal-failed",
                                             "nothing-recorded",
                                             "codes-changed",
                                             "record-damaged",
                                             "size-changed",
                                             "container-refused",
                                             "unknown-codes",
                                             "not-offered",
                                             "no-format-chunk",
                                             "cannot-open-for-writing",
                                             "not-confirmed",
                                             "codes-not-confirmed",
                                             "declined"};
    const auto index = static_cast<std::size_t>(refusal);
    return index < std::size(kNames) ? kNames[index] : "";
}

} // namespace vidtag
