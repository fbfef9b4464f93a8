#include "engine/Engine.h"

#include "avi/VmAVIFile.h"
#include "check/IndexRates.h"
#include "engine/Conversion.h"
#include "engine/MatroskaAnalysis.h"
#include "journal/ConversionHistory.h"
#include "journal/Journal.h"
#include "journal/JournalIndex.h"
#include "matroska/MatroskaFile.h"
#include "os/FileLayer.h"
#include "os/Paths.h"
#include "streams/CachedReadStream64.h"
#include "streams/Stream64.h"
#include "video/AviStreamFacts.h"

#include <memory>
#include <utility>

namespace vidtag {

thread_local TEngineState EngineState;
ClassificationRule AnalysisRule = ClassificationRule::Exact;
thread_local video::StreamFacts StreamReport;
thread_local check::Rates RateReport;

namespace {

bool ReadStreams = false;
bool ReadRates = false;

// Others may go on reading and writing while we look: the file may be playing somewhere.
constexpr std::uint16_t kAnalyseMode = kModeRead | kShareDenyNone;

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
                         const video::StreamFacts& facts) {
    try {
        return check::StreamRates(file, check::FindIndexPlace(reader), facts.ChunkSizes, facts.Fps,
                                  facts.Walked);
    } catch (...) {
        return {};
    }
}

ConversionStatus Analyse(const std::string& fileName) {
    // The one open of the file: where it fails, the file is as unreadable as FileIsReadable
    // would have found it, and the last analysis's state stays as it was.
    std::unique_ptr<TFileStream64> stream;
    try {
        stream = std::make_unique<TFileStream64>(fileName, kAnalyseMode);
    } catch (...) {
        return kStatusNotFound;
    }
    TEngineState& state = EngineState;
    state.HandlerPos = 0;
    state.CompressionPos = 0;
    state.CurrentKind = kUnknownKind;
    state.OriginalKind = kUnknownKind;
    state.CurrentHandler = 0;
    state.CurrentCompression = 0;
    state.AnalysedFile = {};
    state.FieldsOverlap = false;
    state.Matroska = false;
    MatroskaReport = {};
    StreamReport = {};
    RateReport = {};

    std::int64_t headerPos = 0;
    std::int64_t formatPos = 0;
    // Failing leaves no identity a conversion could match.
    os::Files().Identify(stream->Handle, state.AnalysedFile);
    video::StreamFacts facts;
    check::Rates rates;
    try {
        // The walk reads a few bytes at a time, and over a damaged region it reads every byte:
        // straight from the file that is a system call per step, minutes for a large file.
        TCachedReadStream64 cached(stream.get());
        if (mkv::HasMatroskaSignature(cached)) {
            return AnalyseMatroska(cached, ReadStreams, ReadRates);
        }
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
        if (ReadStreams) {
            // A device check judges the whole stream, so it walks every frame.
            facts = video::ReadStreamFacts(reader, cached, ReadRates);
        }
        if (ReadStreams && ReadRates) {
            rates = ReadRatesOf(reader, cached, facts);
        }
    } catch (...) {
        return kStatusScanFailed;
    }
    state.HandlerPos = headerPos + 4;
    state.CompressionPos = formatPos > 0 ? formatPos + 16 : 0;
    state.CurrentHandler = state.OriginalHandler;
    state.CurrentCompression = state.OriginalCompression;
    state.CurrentKind = state.OriginalKind =
        Classify(state.OriginalHandler, state.OriginalCompression, AnalysisRule);
    facts.FamilyMismatch = video::FamilyMismatch(FamilyOf(state.CurrentKind), facts.StreamSyntax);
    StreamReport = std::move(facts);
    RateReport = rates;
    return kStatusDone;
}

ConversionStatus Convert(const std::string& fileName, CodecKind kind) {
    if (EngineState.Matroska && !MatroskaReport.WriteRefusal.empty()) {
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
    return LockedWrite(fileName, WriteMode::Convert, kind);
}

} // namespace

void SetStreamReading(bool on) noexcept {
    ReadStreams = on;
}

void SetRateReading(bool on) noexcept {
    ReadRates = on;
}

void SetJournalUse(JournalUse use) noexcept {
    UseJournal(use);
}

void ShareJournal(std::shared_ptr<const JournalIndex> index) noexcept {
    UseSharedJournal(std::move(index));
}

void SetKeepModifiedTime(bool keep) noexcept {
    KeepModifiedTime(keep);
}

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
        // An analysis opens the file once, and fails as FileIsReadable would where it cannot.
        const bool named = !FileName.empty() && FileName.find('\0') == std::string::npos;
        if (!named || (Kind != kNoKind && !FileIsReadable(FileName))) {
            return state.Status;
        }
        state.Status = Kind == kNoKind ? Analyse(FileName) : Convert(FileName, Kind);
    } catch (...) {
        // Only running out of memory gets here; it is reported as the step that failed.
        state.Status = Kind == kNoKind ? kStatusScanFailed : kStatusCannotWrite;
    }
    return state.Status;
}

namespace {

ConversionStatus Guarded(const std::string& fileName, WriteMode mode) noexcept {
    TEngineState& state = EngineState;
    JournalReport = {};
    try {
        state.Status = kStatusNotFound;
        if (FileIsReadable(fileName)) {
            state.Status = LockedWrite(fileName, mode, kNoKind);
        }
    } catch (...) {
        state.Status = kStatusCannotWrite;
    }
    return state.Status;
}

} // namespace

ConversionStatus RecoverFile(const std::string& FileName) noexcept {
    return Guarded(FileName, WriteMode::Settle);
}

ConversionStatus RestoreFile(const std::string& FileName) noexcept {
    return Guarded(FileName, WriteMode::Restore);
}

ConversionStatus CheckLock(const std::string& FileName) noexcept {
    JournalReport = {};
    try {
        return FileIsReadable(FileName) ? ProbeLock(FileName) : kStatusNotFound;
    } catch (...) {
        return kStatusCannotWrite;
    }
}

RecordedOriginal OriginalOf(const std::string& FileName) noexcept {
    RecordedOriginal found;
    try {
        const TEngineState& state = EngineState;
        // An analysis reports an unreadable journal beside the file, not as a refusal.
        const TJournalReport before = JournalReport;
        JournalReport.Refused = Refusal::None;
        const JournalIndex* shared = SharedJournal();
        Journal* journal = shared != nullptr ? nullptr : CurrentJournal();
        found.JournalPath = JournalReport.JournalPath;
        if (JournalReport.Refused == Refusal::JournalFailed) {
            found.JournalError = JournalReport.Reason;
        }
        JournalReport.Refused = before.Refused;
        JournalReport.JournalPath = before.JournalPath;
        JournalReport.Reason = before.Reason;
        if (shared != nullptr ? !shared->Read()
                              : journal == nullptr || journal->Entries().empty()) {
            return found;
        }
        // The analysis identified the file through the handle it read; the codes are that file's.
        os::FileIdentity identity = state.AnalysedFile;
        if (identity.Index == 0 && identity.Volume == 0) {
            TFileStream64 stream(FileName, kAnalyseMode);
            if (!os::Files().Identify(stream.Handle, identity)) {
                return found;
            }
        }
        std::vector<JournalEntry> records;
        if (shared != nullptr) {
            records = shared->RecordsFor(identity);
        }
        const std::vector<JournalEntry>& entries = shared != nullptr ? records : journal->Entries();
        // Without a record that could be the file's, its path need not be made canonical.
        if (entries.empty()) {
            return found;
        }
        const CodePair current = state.Matroska
                                     ? JournalCodes(state.CurrentCompression)
                                     : CodePair{state.CurrentHandler, state.CurrentCompression};
        const FileHistory history =
            HistoryOf(entries, identity, os::CanonicalPath(FileName), current);
        if (history.Last && history.Last->State == EntryState::Pending) {
            const JournalEntry& last = *history.Last;
            found.Interrupted =
                last.CompressionPos > 0 && !Holds(current, last.To, last.CompressionPos) &&
                !Holds(current, last.From, last.CompressionPos) &&
                (current.Handler == last.To.Handler || current.Handler == last.From.Handler) &&
                (current.Compression == last.To.Compression ||
                 current.Compression == last.From.Compression);
        }
        found.Damage = history.Damage;
        if (const auto recorded = SizeChangedSince(entries, identity);
            !history.Original && recorded) {
            found.RecordedSize = *recorded;
            found.PresentSize = identity.Size;
        }
        if (history.Original) {
            found.Found = true;
            found.Kind = history.Original->FromKind;
            found.Codes =
                state.Matroska ? StateCodes(history.Original->From) : history.Original->From;
            found.Time = history.Original->Time;
        }
    } catch (...) {
    }
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

} // namespace vidtag
