#include "engine/Jobs.h"

#include "engine/Conversion.h"
#include "engine/FileAnalysis.h"
#include "engine/OriginalRecord.h"
#include "engine/RetagRule.h"
#include "journal/Journal.h"
#include "os/FileLayer.h"
#include "os/SystemError.h"

namespace vidtag {

namespace {

// The statuses whose system reason says why the file could not be opened.
bool OpenFailed(ConversionStatus status) {
    return status == kStatusNotFound || status == kStatusCannotOpen || status == kStatusCannotWrite;
}

void AnalyseInto(JobResult& result, const std::string& path, const JobOptions& options) {
    os::RememberSystemError(0);
    result.File = AnalyseCodes(path, options.Rule, options.Read);
    result.Status = result.File.Status;
    result.SystemError = OpenFailed(result.Status) ? os::LastSystemError() : 0;
    const TEngineState& state = result.File.State;
    if (result.Status == kStatusDone && options.Rule != ClassificationRule::Relaxed &&
        state.CurrentKind == kUnknownKind) {
        const CodecKind relaxed =
            ClassifyCodecRelaxed(state.CurrentHandler, state.CurrentCompression);
        result.LooksLike = relaxed == kUnknownKind ? kNoKind : relaxed;
    }
    result.FromKind = state.CurrentKind;
    result.From = {state.CurrentHandler, state.CurrentCompression};
}

// Runs one write of the engine on the analysed state; the state follows what was written.
ConversionStatus Write(const std::string& path, WriteMode mode, CodecKind kind, TEngineState& state,
                       const JobOptions& options, TJournalReport& report) {
    try {
        WriteCall call{state, options, report};
        return LockedWrite(call, path, mode, kind);
    } catch (...) {
        return kStatusCannotWrite;
    }
}

// Settles an interrupted conversion of the file before anything looks at its codes: an analysis
// of a half-converted file would only find an unknown codec. False, with the result of the
// refusal, when the job may not go on.
bool Recover(const std::string& path, const JobOptions& options, JobResult& result) {
    if (options.Journal == JournalUse::Off || options.DryRun) {
        return true;
    }
    // An interrupted index rebuild changed the file's length: it goes first, so that the codes'
    // records are met at the length they were made at.
    if (FileIsReadable(path)) {
        result.IndexRecovery = SettleIndex(path, options).Settled;
    }
    TEngineState none;
    const ConversionStatus status = FileIsReadable(path) ? Write(path, WriteMode::Settle, kNoKind,
                                                                 none, options, result.Recovery)
                                                         : kStatusNotFound;
    if (status == kStatusDone || status == kStatusNotFound) {
        return true;
    }
    AnalyseInto(result, path, options);
    result.Status = status;
    result.Journal = result.Recovery;
    result.Reason = result.Recovery.Refused;
    result.SystemError = result.Recovery.LockError;
    return false;
}

// The refusal of a write, with the lock's system reason when the lock failed.
void TakeRefusal(JobResult& result) {
    result.Reason = result.Journal.Refused;
    if (result.Journal.LockError != 0) {
        result.SystemError = result.Journal.LockError;
    }
}

// The analysis after a write must find the codes written, and for a retag the kind asked for.
void Confirm(JobResult& result, const std::string& path, const JobOptions& options,
             const TEngineState& wrote, bool checkKind) {
    result.Wrote = {wrote.CurrentHandler, wrote.CurrentCompression};
    const Analysis again = AnalyseCodes(path, options.Rule, options.Read);
    result.Status = again.Status;
    if (again.Status == kStatusDone) {
        result.File = again;
    }
    const TEngineState& found = result.File.State;
    if (again.Status != kStatusDone || (checkKind && found.CurrentKind != result.ToKind)) {
        result.Reason = Refusal::NotConfirmed;
    } else if (found.CurrentHandler != result.Wrote.Handler ||
               found.CurrentCompression != result.Wrote.Compression) {
        result.Reason = Refusal::CodesNotConfirmed;
    }
}

// Whether the real run could open the file for writing: the same open, and nothing written.
// Like the real run, a read-only attribute does not count when it may be lifted; setting the
// attributes to what they are tells whether it may, without changing anything.
bool CouldWrite(const std::string& path, int& reason) {
    os::FileLayer& files = os::Files();
    os::RememberSystemError(0);
    const os::FileHandle handle =
        files.Open(path.c_str(), os::Access::ReadWrite, os::Share::ReadWrite);
    if (handle != os::InvalidHandle()) {
        files.Close(handle);
        return true;
    }
    reason = os::LastSystemError();
    os::Attributes attributes = 0;
    return files.GetAttributes(path.c_str(), attributes) && files.IsReadOnly(attributes) &&
           files.SetAttributes(path.c_str(), attributes);
}

// The report made afresh for a write, but for the lines the journal already passed over.
void ClearKeepingSkipped(TJournalReport& journal) {
    const int skipped = journal.SkippedLines;
    journal = {};
    journal.SkippedLines = skipped;
}

// A compaction the write left undone is said beside its outcome.
void NoteCompaction(JobResult& result) {
    if (!result.Journal.JournalNotice.empty()) {
        result.Warnings.push_back(Warning::NotCompacted);
    }
}

// Like the real run, a dry run takes the lock, and lets it go.
void ProbeLockFor(JobResult& result, const std::string& path, const JobOptions& options) {
    TEngineState none;
    ConversionStatus status = kStatusNotFound;
    try {
        if (FileIsReadable(path)) {
            WriteCall call{none, options, result.Journal};
            status = ProbeLock(call, path);
        }
    } catch (...) {
        status = kStatusCannotWrite;
    }
    if (status != kStatusDone) {
        result.Status = kStatusCannotWrite;
        TakeRefusal(result);
    }
}

// What a dry retag probes: the fields, the open for writing and the lock.
void ProbeRetag(JobResult& result, const std::string& path, const JobOptions& options) {
    if (result.File.State.FieldsOverlap) {
        result.Status = kStatusCannotWrite;
        result.Reason = result.Journal.Refused = Refusal::FieldsOverlap;
    } else if (int reason = 0; !CouldWrite(path, reason)) {
        result.Status = kStatusCannotWrite;
        result.Reason = Refusal::CannotOpenForWriting;
        result.SystemError = reason;
    } else if (options.Journal != JournalUse::Off) {
        ProbeLockFor(result, path, options);
    }
}

// What the real restore would say of the journal, without writing: a journal that cannot be
// read or a damaged record stops it, as they stop the real one, rather than passing for a file
// with nothing recorded.
void ProbeRestore(JobResult& result, const std::string& path, const JobOptions& options) {
    const RecordedOriginal& original = result.Original;
    TJournalReport& journal = result.Journal;
    journal.JournalPath = original.JournalPath;
    if (!original.JournalError.empty()) {
        result.Status = kStatusCannotWrite;
        journal.Refused = Refusal::JournalFailed;
        journal.Reason = original.JournalError;
    } else if (!original.Damage.empty()) {
        result.Status = kStatusCannotWrite;
        journal.Refused = Refusal::RecordDamaged;
        journal.Reason = original.Damage;
    } else if (!original.Found && original.RecordedSize != original.PresentSize) {
        // As the restore itself would refuse it: the file changed since its conversion.
        result.Status = kStatusFileChanged;
        journal.Refused = Refusal::SizeChanged;
        journal.RecordedSize = original.RecordedSize;
        journal.PresentSize = original.PresentSize;
    } else if (!original.Found) {
        journal.Refused = Refusal::NothingRecorded;
    } else {
        ClearKeepingSkipped(journal);
        ProbeLockFor(result, path, options);
        return;
    }
    result.Reason = journal.Refused;
}

std::string ShownJournal(const JobOptions& options) {
    return options.JournalFile.empty() ? ShownJournalPath() : Journal(options.JournalFile).Shown();
}

void RetagAnalysed(JobResult& result, const std::string& path, const JobOptions& options,
                   const TargetChoice& choose) {
    AnalyseInto(result, path, options);
    result.Reason = Retaggable(result.File);
    if (result.Reason == Refusal::ContainerRefused) {
        result.Status = kStatusCannotWrite;
        return;
    }
    if (result.Reason != Refusal::None || result.Status != kStatusDone) {
        return;
    }
    if (choose && !choose(result, result.ToKind)) {
        result.Reason = Refusal::Declined;
        return;
    }
    const CodecKind target = result.ToKind;
    result.Reason = MayBecome(result.File, target, options);
    if (result.Reason != Refusal::None || target == result.FromKind) {
        return;
    }
    // Said, and the retag still goes ahead: the label is what the user asked for.
    if (WarnsDecodeByCode(result.File, CodePairOf(target).Compression)) {
        result.Warnings.push_back(Warning::DecodeByCode);
    }
    if (options.DryRun) {
        ProbeRetag(result, path, options);
        return;
    }
    // Codes only the relaxed rule knows are not the table's: without a record nothing could
    // write them back.
    if (options.Journal == JournalUse::Off && !result.File.Container.ExactMatch) {
        result.Warnings.push_back(Warning::NoExactRestore);
        result.JournalFile = ShownJournal(options);
    }
    os::RememberSystemError(0);
    // The write updates its own copy: the report keeps the file as analysed until confirmed.
    TEngineState state = result.File.State;
    ConversionStatus written = kStatusCannotWrite;
    // A kind without codes to write is refused before the file is even opened.
    if (CodePairOf(target).Handler == 0) {
        written = kStatusCannotWrite;
    } else if (!FileIsReadable(path)) {
        written = kStatusNotFound;
    } else if (!IsRecognisedKind(state.CurrentKind)) {
        written = kStatusCannotWrite;
    } else if (state.FieldsOverlap) {
        result.Journal.Refused = Refusal::FieldsOverlap;
    } else {
        written = Write(path, WriteMode::Convert, target, state, options, result.Journal);
    }
    result.Status = written;
    result.SystemError = OpenFailed(written) ? os::LastSystemError() : 0;
    NoteCompaction(result);
    if (written != kStatusDone) {
        TakeRefusal(result);
        return;
    }
    result.Converted = true;
    Confirm(result, path, options, state, true);
}

void RestoreAnalysed(JobResult& result, const std::string& path, const JobOptions& options) {
    AnalyseInto(result, path, options);
    if (result.Status == kStatusDone) {
        WriteCall call{result.File.State, options, result.Journal};
        result.Original = ReadOriginal(call, path);
    }
    const RecordedOriginal& original = result.Original;
    result.ToKind = original.Found ? original.Kind : result.FromKind;
    if (result.Status != kStatusDone) {
        return;
    }
    if (original.Found && WarnsDecodeByCode(result.File, original.Codes.Compression)) {
        result.Warnings.push_back(Warning::DecodeByCode);
    }
    if (options.DryRun) {
        ProbeRestore(result, path, options);
        return;
    }
    // Already the original: nothing to write, as for a retag to the kind the file has.
    const TEngineState& state = result.File.State;
    if (original.Found && original.Codes.Handler == state.CurrentHandler &&
        (state.CompressionPos == 0 || original.Codes.Compression == state.CurrentCompression)) {
        return;
    }
    ClearKeepingSkipped(result.Journal);
    TEngineState wrote = result.File.State;
    const ConversionStatus written = FileIsReadable(path) ? Write(path, WriteMode::Restore, kNoKind,
                                                                  wrote, options, result.Journal)
                                                          : kStatusNotFound;
    result.Status = written;
    NoteCompaction(result);
    if (result.Journal.Refused == Refusal::NothingRecorded) {
        // Recovery may have been the whole restore: the interrupted conversion was the only one
        // recorded, and putting its old codes back was the write.
        if (result.Recovery.Settled == Settlement::Repaired) {
            const CodePair held = result.Recovery.SettledHeld;
            result.Converted = true;
            result.From = held;
            result.FromKind = Classify(held.Handler, held.Compression, options.Rule);
        } else {
            result.Reason = Refusal::NothingRecorded;
        }
        return;
    }
    if (written != kStatusDone) {
        TakeRefusal(result);
        return;
    }
    result.Converted = true;
    result.ToKind = wrote.CurrentKind;
    Confirm(result, path, options, wrote, false);
}

} // namespace

const char* WarningName(Warning warning) noexcept {
    switch (warning) {
    case Warning::DecodeByCode:
        return "decode-by-code";
    case Warning::NoExactRestore:
        return "no-exact-restore";
    case Warning::NotCompacted:
        return "not-compacted";
    case Warning::JournalUnreadable:
        return "journal-unreadable";
    case Warning::DamagedRecord:
        return "damaged-record";
    }
    return "";
}

JobResult Analyse(const std::string& path, const JobOptions& options) noexcept {
    JobResult result;
    try {
        AnalyseInto(result, path, options);
        if (result.Status == kStatusDone && options.Journal != JournalUse::Off) {
            WriteCall call{result.File.State, options, result.Journal};
            result.Original = ReadOriginal(call, path);
            if (!result.Original.JournalError.empty()) {
                result.Warnings.push_back(Warning::JournalUnreadable);
            } else if (!result.Original.Damage.empty()) {
                result.Warnings.push_back(Warning::DamagedRecord);
            }
        }
    } catch (...) {
        // Only running out of memory gets here; it is reported as the step that failed.
        result.Status = kStatusScanFailed;
    }
    return result;
}

JobResult Retag(const std::string& path, CodecKind target, const JobOptions& options,
                const TargetChoice& choose) noexcept {
    JobResult result;
    result.ToKind = target;
    try {
        if (Recover(path, options, result)) {
            RetagAnalysed(result, path, options, choose);
        }
    } catch (...) {
        result.Status = kStatusCannotWrite;
    }
    return result;
}

namespace {

bool Restored(const JobResult& result) {
    return result.Status == kStatusDone &&
           (result.Reason == Refusal::None || result.Reason == Refusal::NothingRecorded);
}

// After the codes of the present length: the rebuild that made the length, then the codes
// recorded before it.
void RestoreBeforeIndex(JobResult& result, const std::string& path, const JobOptions& options) {
    if (options.DryRun || options.Journal == JournalUse::Off || !Restored(result)) {
        return;
    }
    IndexResult undone = UndoIndex(path, options);
    if (!undone.Written) {
        if (undone.Reason != IndexReason::None) {
            result.Status = kStatusCannotWrite;
            result.IndexUndo = std::move(undone);
        }
        return;
    }
    JobResult before;
    if (Recover(path, options, before)) {
        RestoreAnalysed(before, path, options);
    }
    if (before.Converted || !Restored(before)) {
        result = std::move(before);
    } else if (result.Reason == Refusal::NothingRecorded) {
        result.Reason = Refusal::None;
        result.Journal.Refused = Refusal::None;
    }
    result.IndexUndo = std::move(undone);
}

} // namespace

JobResult Restore(const std::string& path, const JobOptions& options) noexcept {
    JobResult result;
    try {
        if (Recover(path, options, result)) {
            RestoreAnalysed(result, path, options);
            RestoreBeforeIndex(result, path, options);
        }
    } catch (...) {
        result.Status = kStatusCannotWrite;
    }
    return result;
}

} // namespace vidtag
