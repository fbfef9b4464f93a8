#include "FileJob.h"

#include "CliTexts.h"
#include "PathText.h"
#include "TextOutput.h"
#include "check/Repair.h"
#include "journal/Journal.h"
#include "os/FileLayer.h"
#include "os/SystemError.h"
#include "os/Utf8Path.h"
#include "texts/LocalizedTexts.h"

#include <algorithm>
#include <optional>

namespace vidtag::cli {

namespace {

void TakeEngineState(FileReport& report) {
    report.Status = EngineState.Status;
    report.Kind = EngineState.CurrentKind;
    report.Handler = EngineState.CurrentHandler;
    report.Compression = EngineState.CurrentCompression;
    // Without a stream header the engine still adds the field's offset to position 0; no file
    // can hold a stream header there, in front of its own RIFF header.
    report.HandlerPos = EngineState.HandlerPos > 4 ? EngineState.HandlerPos : 0;
    report.CompressionPos = EngineState.CompressionPos;
    report.Stream = StreamReport;
    report.Rates = RateReport;
    report.Matroska = EngineState.Matroska;
    report.Container = MatroskaReport;
}

void AddWarning(FileReport& report, const std::string& warning) {
    report.Warning += (report.Warning.empty() ? "" : "; ") + warning;
}

// Runs one engine call and keeps the system's reason when it could not open the file.
ConversionStatus Process(FileReport& report, CodecKind kind) {
    os::RememberSystemError(0);
    const ConversionStatus status = ProcessFile(report.Path, kind);
    const bool openFailed =
        status == kStatusNotFound || status == kStatusCannotOpen || status == kStatusCannotWrite;
    report.SystemError = openFailed ? os::LastSystemError() : 0;
    return status;
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

// A message that speaks of the journal's records names the journal, so that a relative
// VIDTAG_JOURNAL or a second journal cannot leave the user guessing where Vidtag looked. The
// report keeps the path for JSON; the text shows it as it shows file names.
std::string NameJournal(FileReport& report, const std::string& path) {
    report.Journal = path;
    return DisplayName(path);
}

Message SettlementMessage(Settlement settled) {
    switch (settled) {
    case Settlement::Done:
        return Message::SettledDone;
    case Settlement::Undone:
        return Message::SettledUndone;
    case Settlement::Repaired:
        return Message::SettledRepaired;
    default:
        return Message::SettledForeign;
    }
}

std::string SettlementNote(FileReport& report, int language) {
    if (JournalReport.Settled == Settlement::None) {
        return {};
    }
    return Fill(MessageText(language, SettlementMessage(JournalReport.Settled)),
                DisplayKindName(JournalReport.SettledKind, language),
                NameJournal(report, JournalReport.JournalPath));
}

// Why the engine wrote nothing, when the journal or the lock stopped it.
std::string RefusalText(FileReport& report, int language) {
    const auto journal = [&] { return NameJournal(report, JournalReport.JournalPath); };
    switch (JournalReport.Refused) {
    case Refusal::LockBusy:
        return MessageText(language, Message::LockBusy);
    case Refusal::LockFailed:
        return MessageText(language, Message::LockFailed);
    case Refusal::LockNeedsWriting:
        return MessageText(language, Message::LockNeedsWriting);
    case Refusal::FieldsOverlap:
        return MessageText(language, Message::FieldsOverlap);
    case Refusal::JournalFailed:
        return Fill(MessageText(language, Message::JournalFailed), journal(), JournalReport.Reason);
    case Refusal::NothingRecorded:
        return Fill(MessageText(language, Message::NothingRecorded), journal());
    case Refusal::CodesChanged:
        return Fill(MessageText(language, Message::CodesChanged), journal());
    case Refusal::RecordDamaged:
        return Fill(MessageText(language, Message::RecordDamaged), JournalReport.Reason, journal());
    case Refusal::SizeChanged:
        return Fill(MessageText(language, Message::SizeChanged),
                    std::to_string(JournalReport.RecordedSize),
                    std::to_string(JournalReport.PresentSize), journal());
    case Refusal::ContainerRefused:
        return JournalReport.Reason;
    default:
        return {};
    }
}

// The refusal of the last engine call, with the lock's system reason when the lock failed.
void TakeRefusal(FileReport& report, int language) {
    report.Error = RefusalText(report, language);
    if (JournalReport.LockError != 0) {
        report.SystemError = JournalReport.LockError;
    }
}

// Like the real run, a dry run takes the lock, and lets it go.
void CheckLockFor(FileReport& report, int language) {
    if (CheckLock(report.Path) != kStatusDone) {
        report.Status = kStatusCannotWrite;
        TakeRefusal(report, language);
    }
}

// What recovery did before the job: said whatever the outcome.
struct Recovery {
    std::string Note;
    std::string Journal; // the journal the note names
    Settlement Settled = Settlement::None;
    CodePair Held{}; // what the file held when recovery met it
};

// What an analysis says beside the file when the journal cannot tell its original.
std::string JournalWarning(FileReport& report, int language) {
    const RecordedOriginal& original = report.Original;
    if (!original.JournalError.empty()) {
        return Fill(MessageText(language, Message::JournalUnreadable),
                    NameJournal(report, original.JournalPath), original.JournalError);
    }
    if (!original.Damage.empty()) {
        return Fill(MessageText(language, Message::DamagedRecordShown), original.Damage,
                    NameJournal(report, original.JournalPath));
    }
    return {};
}

// Settles an interrupted conversion of the file before anything looks at its codes; an analysis
// of a half-converted file would only find an unknown codec. Nothing when the job may go on,
// else the report of the refusal.
std::optional<FileReport> Recover(const std::string& path, const ConvertRequest& request,
                                  int language, Recovery& recovery) {
    if (!request.Journal || request.DryRun) {
        return std::nullopt;
    }
    const ConversionStatus status = vidtag::RecoverFile(path);
    FileReport named;
    recovery = {SettlementNote(named, language), named.Journal, JournalReport.Settled,
                JournalReport.SettledHeld};
    if (!JournalReport.ModeLeft.empty()) {
        recovery.Note += (recovery.Note.empty() ? "" : "; ") +
                         Fill(MessageText(language, Message::ModeLeft), JournalReport.ModeLeft);
    }
    if (status == kStatusDone || status == kStatusNotFound) {
        return std::nullopt;
    }
    FileReport refused;
    TakeRefusal(refused, language);
    FileReport report = AnalyseFile(path);
    report.SystemError = refused.SystemError;
    report.Conversion = true;
    report.ToKind = request.Target;
    report.FromKind = report.Kind;
    report.FromHandler = report.Handler;
    report.FromCompression = report.Compression;
    report.Status = status;
    report.Note = recovery.Note;
    report.Error = refused.Error;
    report.Journal = refused.Journal.empty() ? recovery.Journal : refused.Journal;
    return report;
}

// A compaction the write's record could not make, said beside the write.
void TakeJournalNotice(FileReport& report, int language) {
    if (!JournalReport.JournalNotice.empty()) {
        AddWarning(report, Fill(MessageText(language, Message::NotCompacted),
                                NameJournal(report, JournalReport.JournalPath),
                                JournalReport.JournalNotice));
    }
}

// The engine kept the time through the handle that wrote (SetKeepModifiedTime).
void KeepTime(FileReport& report, int language) {
    if (JournalReport.TimeError != 0) {
        report.Error = Fill(MessageText(language, Message::TimeNotKept),
                            os::SystemErrorText(JournalReport.TimeError));
    }
}

// The analysis after a write must find both codes written, not only the kind they make.
void Confirm(const std::string& path, CodecKind target, FileReport& report, int language) {
    const CodePair wrote{EngineState.CurrentHandler, EngineState.CurrentCompression};
    const ConversionStatus confirmed = ProcessFile(path, kNoKind);
    report.Status = confirmed;
    if (confirmed == kStatusDone) {
        TakeEngineState(report);
    }
    if (confirmed != kStatusDone || (!report.Restore && EngineState.CurrentKind != target)) {
        report.Error =
            Fill(MessageText(language, Message::NotConfirmed), DisplayKindName(target, language),
                 StatusText(report.Status, report.Kind, language));
    } else if (report.Handler != wrote.Handler || report.Compression != wrote.Compression) {
        report.Error = Fill(MessageText(language, Message::CodesNotConfirmed),
                            CodesText(report, wrote.Handler, wrote.Compression),
                            CodesText(report, report.Handler, report.Compression));
    }
}

// What the real restore would say of the journal, without writing: a journal that cannot be
// read or a damaged record stops it, as they stop the real one, rather than passing for a file
// with nothing recorded.
void DryRestore(FileReport& report, int language) {
    const RecordedOriginal& original = report.Original;
    if (!original.JournalError.empty()) {
        report.Status = kStatusCannotWrite;
        report.Error = Fill(MessageText(language, Message::JournalFailed),
                            NameJournal(report, original.JournalPath), original.JournalError);
    } else if (!original.Damage.empty()) {
        report.Status = kStatusCannotWrite;
        report.Error = Fill(MessageText(language, Message::RecordDamaged), original.Damage,
                            NameJournal(report, original.JournalPath));
    } else if (!original.Found && original.RecordedSize != original.PresentSize) {
        // As the restore itself would refuse it: the file changed since its conversion.
        report.Status = kStatusFileChanged;
        report.Error =
            Fill(MessageText(language, Message::SizeChanged), std::to_string(original.RecordedSize),
                 std::to_string(original.PresentSize), NameJournal(report, original.JournalPath));
    } else if (!original.Found) {
        report.Remark = Fill(MessageText(language, Message::NothingRecorded),
                             NameJournal(report, original.JournalPath));
    } else {
        CheckLockFor(report, language);
    }
}

} // namespace

CodecKind JudgedKind(const FileReport& report) {
    return report.Kind == kUnknownKind && report.RelaxedKind != kNoKind ? report.RelaxedKind
                                                                        : report.Kind;
}

FileReport AnalyseFile(const std::string& path, bool journal, int language) {
    FileReport report;
    report.Path = path;
    report.Rule = AnalysisRule;
    report.Status = Process(report, kNoKind);
    if (report.Status == kStatusDone) {
        TakeEngineState(report);
        if (report.Rule != ClassificationRule::Relaxed && report.Kind == kUnknownKind) {
            const CodecKind relaxed = ClassifyCodecRelaxed(report.Handler, report.Compression);
            report.RelaxedKind = relaxed == kUnknownKind ? kNoKind : relaxed;
        }
        if (journal) {
            report.Original = OriginalOf(path);
            report.Warning = JournalWarning(report, language);
            // The lines of the recorded original name the journal that holds it.
            if (report.Original.Found || report.Original.Interrupted) {
                report.Journal = report.Original.JournalPath;
            }
        }
    } else if (report.Status == kStatusNotAvi && MatroskaReport.Matroska) {
        report.Kind = kUnknownKind;
        report.Matroska = true;
        report.Container = MatroskaReport;
        report.Error = MatroskaReport.Reason;
    } else if (report.Status != kStatusNotFound) {
        // Only a failed existence test leaves the kind unset; its codes and positions would be
        // the previous file's.
        report.Kind = kUnknownKind;
    }
    return report;
}

FileReport ConvertFile(const std::string& path, const ConvertRequest& request, int language) {
    Recovery recovery;
    if (auto refused = Recover(path, request, language, recovery)) {
        return *refused;
    }
    FileReport report = AnalyseFile(path);
    report.Note = recovery.Note;
    report.Journal = recovery.Journal;
    report.Conversion = true;
    report.DryRun = request.DryRun;
    report.ToKind = request.Target;
    report.FromKind = report.Kind;
    report.FromHandler = report.Handler;
    report.FromCompression = report.Compression;
    // A Matroska track whose code may not change says why, whatever its kind.
    if (report.Status == kStatusDone && report.Matroska && !report.Container.WriteRefusal.empty()) {
        report.Status = kStatusCannotWrite;
        report.Error = report.Container.WriteRefusal;
        return report;
    }
    // The analysis itself went well, so its status cannot say why nothing was written.
    if (report.Status == kStatusDone && report.Kind == kUnknownKind) {
        report.Error = Fill(MessageText(language, Message::UnknownNotConverted),
                            CodesText(report, report.Handler, report.Compression));
        // Codes only --relaxed converts still get the check's verdict on them, as a player
        // reads them; the conversion itself waits for --relaxed.
        if (report.RelaxedKind != kNoKind && request.Decide) {
            FileReport judged = report;
            request.Decide(judged);
            report.Check = std::move(judged.Check);
        }
    }
    if (report.Failed() || (request.Decide && !request.Decide(report))) {
        return report;
    }
    const CodecKind target = report.ToKind;
    if (target == report.Kind) {
        return report;
    }

    const TargetList& offered = OfferedTargets(report.Kind);
    const auto targets = offered.View();
    // A device's own label is offered only where a device profile names it.
    const bool deviceTarget =
        target == kMp4vKind && request.Decide && FamilyOf(report.Kind) == FamilyOf(target);
    // A label that lies about its stream is repaired to a kind of the stream's own family.
    const bool repair = check::IsRepair(report.Kind, target, report.Stream) &&
                        (target != kMp4vKind || request.Decide);
    if (!deviceTarget && !repair &&
        std::find(targets.begin(), targets.end(), target) == targets.end()) {
        report.Error =
            Fill(MessageText(language, Message::NotOffered), KindName(target),
                 DisplayKindName(report.Kind, language), TargetNames(report.Kind, language));
        return report;
    }
    // Without a format chunk only the handler is written, and the handler "divx" alone does not
    // tell DivX 4 from DivX 5: the file would come back as an unknown codec and could not be
    // converted back.
    if (report.CompressionPos == 0 &&
        ClassifyCodec(CodePairOf(target).Handler, report.Compression) != target) {
        report.Error = Fill(MessageText(language, Message::NoFormatChunk), KindName(target));
        return report;
    }
    // Said, and the conversion still goes ahead: the label is what the user asked for.
    if (FamilyOf(report.Kind) == 4 &&
        check::NeedsDecodeByCodeWarning(report.Compression, CodePairOf(target).Compression,
                                        report.Stream)) {
        AddWarning(report, check::DecodeByCodeWarningText(language));
    }
    if (request.DryRun) {
        if (EngineState.FieldsOverlap) {
            report.Status = kStatusCannotWrite;
            report.Error = MessageText(language, Message::FieldsOverlap);
        } else if (int reason = 0; !CouldWrite(path, reason)) {
            report.Status = kStatusCannotWrite;
            report.SystemError = reason;
        } else if (request.Journal) {
            CheckLockFor(report, language);
        }
        return report;
    }

    // Codes only the relaxed rule knows are not the table's: without a record nothing could
    // write them back.
    const bool exact = report.Matroska ? report.Container.ExactMatch
                                       : ClassifyCodec(report.FromHandler,
                                                       report.FromCompression) == report.FromKind;
    if (!request.Journal && !exact) {
        AddWarning(report, Fill(MessageText(language, Message::NoExactRestore),
                                CodesText(report, report.FromHandler, report.FromCompression),
                                NameJournal(report, ShownJournalPath())));
    }
    const ConversionStatus written = Process(report, target);
    report.Status = written;
    TakeJournalNotice(report, language);
    if (written != kStatusDone) {
        TakeRefusal(report, language);
        return report;
    }
    report.Converted = true;
    if (request.PreserveTime) {
        KeepTime(report, language);
    }
    Confirm(path, target, report, language);
    return report;
}

FileReport RestoreFile(const std::string& path, const ConvertRequest& request, int language) {
    Recovery recovery;
    if (auto refused = Recover(path, request, language, recovery)) {
        refused->Restore = true;
        return *refused;
    }
    FileReport report = AnalyseFile(path, true, language);
    // The restore itself says what stops it.
    report.Warning.clear();
    report.Journal = recovery.Journal;
    report.Note = recovery.Note;
    report.Conversion = true;
    report.Restore = true;
    report.DryRun = request.DryRun;
    report.FromKind = report.Kind;
    report.FromHandler = report.Handler;
    report.FromCompression = report.Compression;
    report.ToKind = report.Original.Found ? report.Original.Kind : report.Kind;
    if (report.Status != kStatusDone) {
        return report;
    }
    if (report.Original.Found && FamilyOf(report.Kind) == 4 &&
        check::NeedsDecodeByCodeWarning(report.Compression, report.Original.Codes.Compression,
                                        report.Stream)) {
        AddWarning(report, check::DecodeByCodeWarningText(language));
    }
    if (request.DryRun) {
        DryRestore(report, language);
        return report;
    }
    // Already the original: nothing to write, as for a conversion to the kind the file has.
    if (report.Original.Found && report.Original.Codes.Handler == report.Handler &&
        (report.CompressionPos == 0 || report.Original.Codes.Compression == report.Compression)) {
        return report;
    }
    const ConversionStatus written = vidtag::RestoreFile(path);
    report.Status = written;
    TakeJournalNotice(report, language);
    if (JournalReport.Refused == Refusal::NothingRecorded) {
        // Recovery may have been the whole restore: the interrupted conversion was the only one
        // recorded, and putting its old codes back was the write.
        if (recovery.Settled == Settlement::Repaired) {
            const CodePair held = recovery.Held;
            report.Converted = true;
            report.FromHandler = held.Handler;
            report.FromCompression = held.Compression;
            report.FromKind = Classify(held.Handler, held.Compression, AnalysisRule);
        } else {
            report.Remark = RefusalText(report, language);
        }
        return report;
    }
    if (written != kStatusDone) {
        TakeRefusal(report, language);
        return report;
    }
    report.Converted = true;
    report.ToKind = EngineState.CurrentKind;
    if (request.PreserveTime) {
        KeepTime(report, language);
    }
    Confirm(path, report.ToKind, report, language);
    return report;
}

FileReport FailedArgument(const std::string& path, std::string error) {
    FileReport report;
    report.Path = path;
    report.Status = kStatusNotFound;
    report.ArgumentOnly = true;
    report.Error = std::move(error);
    return report;
}

} // namespace vidtag::cli
