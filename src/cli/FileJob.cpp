#include "FileJob.h"

#include "check/NativeTrack.h"

#include "CliTexts.h"
#include "IndexFile.h"
#include "PathText.h"
#include "TextOutput.h"
#include "check/NativeTrack.h"
#include "check/Verdict.h"
#include "os/SystemError.h"
#include "texts/LocalizedTexts.h"

#include <utility>

namespace vidtag::cli {

namespace {

void TakeAnalysis(FileReport& report, const Analysis& file) {
    const TEngineState& state = file.State;
    report.Kind = state.CurrentKind;
    report.Handler = state.CurrentHandler;
    report.Compression = state.CurrentCompression;
    // Without a stream header the engine still adds the field's offset to position 0; no file
    // can hold a stream header there, in front of its own RIFF header.
    report.HandlerPos = state.HandlerPos > 4 ? state.HandlerPos : 0;
    report.CompressionPos = state.CompressionPos;
    report.Stream = file.Stream;
    report.Rates = file.Rates;
    report.Audio = file.Audio;
    report.SubtitleTracks = file.SubtitleTracks;
    report.FileSize = file.FileSize;
    report.IndexRead = file.Index;
    report.Container = file.Container;
}

// The file as the job leaves it, before anything is said about it.
FileReport ReportOf(const std::string& path, const JobResult& result, const JobOptions& options) {
    FileReport report;
    report.Path = path;
    report.Rule = options.Rule;
    report.Status = result.Status;
    report.SystemError = result.SystemError;
    report.JournalSkipped = result.Journal.SkippedLines > 0 || result.Recovery.SkippedLines > 0;
    const Analysis& file = result.File;
    if (file.Status == kStatusDone) {
        TakeAnalysis(report, file);
        report.RelaxedKind = result.LooksLike;
    } else if (file.Status != kStatusNotFound) {
        // Only a failed existence test leaves the kind unset. A container whose headers name no
        // video track says why.
        report.Kind = kUnknownKind;
        report.Container = file.Container;
        report.Error = file.Container.Reason;
    }
    return report;
}

void AddWarning(FileReport& report, const std::string& warning) {
    report.Warning += (report.Warning.empty() ? "" : "; ") + warning;
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

// What recovery did before the job: said whatever the outcome.
std::string RecoveryNote(FileReport& report, const TJournalReport& recovery, int language) {
    std::string note;
    if (recovery.Settled != Settlement::None) {
        note = Fill(MessageText(language, SettlementMessage(recovery.Settled)),
                    DisplayKindName(recovery.SettledKind, language),
                    NameJournal(report, recovery.JournalPath));
    }
    if (!recovery.ModeLeft.empty()) {
        note += (note.empty() ? "" : "; ") +
                Fill(MessageText(language, Message::ModeLeft), recovery.ModeLeft);
    }
    return note;
}

// Why the journal or the lock stopped the job.
std::string JournalRefusalText(FileReport& report, const TJournalReport& journal, int language) {
    const auto named = [&] { return NameJournal(report, journal.JournalPath); };
    switch (journal.Refused) {
    case Refusal::LockBusy:
        return MessageText(language, Message::LockBusy);
    case Refusal::LockFailed:
        return MessageText(language, Message::LockFailed);
    case Refusal::LockNeedsWriting:
        return MessageText(language, Message::LockNeedsWriting);
    case Refusal::FieldsOverlap:
        return MessageText(language, Message::FieldsOverlap);
    case Refusal::JournalFailed:
        return Fill(MessageText(language, Message::JournalFailed), named(), journal.Reason);
    case Refusal::NothingRecorded:
        return Fill(MessageText(language, Message::NothingRecorded), named());
    case Refusal::CodesChanged:
        return Fill(MessageText(language, Message::CodesChanged), named());
    case Refusal::RecordDamaged:
        return Fill(MessageText(language, Message::RecordDamaged), journal.Reason, named());
    case Refusal::SizeChanged:
        return Fill(MessageText(language, Message::SizeChanged),
                    std::to_string(journal.RecordedSize), std::to_string(journal.PresentSize),
                    named());
    case Refusal::ContainerRefused:
        return journal.Reason;
    default:
        return {};
    }
}

void SayWarnings(FileReport& report, const JobResult& result, int language) {
    for (const Warning warning : result.Warnings) {
        switch (warning) {
        case Warning::DecodeByCode:
            AddWarning(report, check::DecodeByCodeWarningText(language));
            break;
        case Warning::NoExactRestore:
            AddWarning(report, Fill(MessageText(language, Message::NoExactRestore),
                                    CodesText(report, result.From.Handler, result.From.Compression),
                                    NameJournal(report, result.JournalFile)));
            break;
        case Warning::NotCompacted:
            AddWarning(report, Fill(MessageText(language, Message::NotCompacted),
                                    NameJournal(report, result.Journal.JournalPath),
                                    result.Journal.JournalNotice));
            break;
        case Warning::JournalUnreadable:
            report.Warning = Fill(MessageText(language, Message::JournalUnreadable),
                                  NameJournal(report, result.Original.JournalPath),
                                  result.Original.JournalError);
            break;
        case Warning::DamagedRecord:
            report.Warning =
                Fill(MessageText(language, Message::DamagedRecordShown), result.Original.Damage,
                     NameJournal(report, result.Original.JournalPath));
            break;
        }
    }
}

// Why the job did not do what was asked, in the language; the texts a check gave are its own.
void SayReason(FileReport& report, const JobResult& result, const ConvertRequest& request,
               int language) {
    const CodecKind target = report.ToKind;
    switch (result.Reason) {
    case Refusal::None:
    case Refusal::Declined:
    case Refusal::CannotOpenForWriting:
        break;
    case Refusal::ContainerRefused:
        report.Error = result.File.Container.WriteRefusal;
        break;
    case Refusal::UnknownCodes:
        // The analysis itself went well, so its status cannot say why nothing was written.
        report.Error = Fill(MessageText(language, Message::UnknownNotConverted),
                            CodesText(report, report.Handler, report.Compression));
        break;
    case Refusal::NotOffered:
        report.Error =
            Fill(MessageText(language, Message::NotOffered), KindName(target),
                 DisplayKindName(report.Kind, language), TargetNames(report.Kind, language));
        break;
    case Refusal::NoFormatChunk:
        report.Error = Fill(MessageText(language, Message::NoFormatChunk), KindName(target));
        break;
    case Refusal::NotConfirmed:
        report.Error =
            Fill(MessageText(language, Message::NotConfirmed), DisplayKindName(target, language),
                 StatusText(report.Status, report.Kind, language));
        break;
    case Refusal::CodesNotConfirmed:
        report.Error = Fill(MessageText(language, Message::CodesNotConfirmed),
                            CodesText(report, result.Wrote.Handler, result.Wrote.Compression),
                            CodesText(report, report.Handler, report.Compression));
        break;
    case Refusal::NothingRecorded:
        report.Remark = JournalRefusalText(report, result.Journal, language);
        break;
    default:
        report.Error = JournalRefusalText(report, result.Journal, language);
        break;
    }
    // The engine kept the time through the handle that wrote; a confirmation's failure says more.
    if (report.Converted && request.Job.KeepTime && result.Journal.TimeError != 0 &&
        result.Reason != Refusal::NotConfirmed && result.Reason != Refusal::CodesNotConfirmed) {
        report.Error = Fill(MessageText(language, Message::TimeNotKept),
                            os::SystemErrorText(result.Journal.TimeError));
    }
}

// The report of a retag or a restore: the file as the job left it, what it was before, what
// recovery did first.
FileReport JobReport(const std::string& path, const JobResult& result,
                     const ConvertRequest& request, int language) {
    FileReport report = ReportOf(path, result, request.Job);
    report.Note = RecoveryNote(report, result.Recovery, language);
    if (const std::string index = IndexSettledText(result.IndexRecovery, language);
        !index.empty()) {
        report.Note += (report.Note.empty() ? "" : "; ") + index;
    }
    report.Conversion = true;
    report.DryRun = request.Job.DryRun;
    report.ToKind = result.ToKind;
    report.FromKind = result.FromKind;
    report.FromHandler = result.From.Handler;
    report.FromCompression = result.From.Compression;
    report.Converted = result.Converted;
    return report;
}

} // namespace

bool FileReport::NativeTrack() const {
    return Container.Matroska && check::FamilyOfCodecId(Container.CodecId) != 0;
}

CodecKind JudgedKind(const FileReport& report) {
    return report.Kind == kUnknownKind && report.RelaxedKind != kNoKind ? report.RelaxedKind
                                                                        : report.Kind;
}

FileReport AnalyseFile(const std::string& path, const ConvertRequest& request, int language) {
    const JobResult result = Analyse(path, request.Job);
    FileReport report = ReportOf(path, result, request.Job);
    if (result.Status == kStatusDone && request.Job.Journal != JournalUse::Off) {
        report.Original = result.Original;
        SayWarnings(report, result, language);
        // The lines of the recorded original name the journal that holds it.
        if (report.Original.Found || report.Original.Interrupted) {
            report.Journal = report.Original.JournalPath;
        }
    }
    return report;
}

FileReport ConvertFile(const std::string& path, const ConvertRequest& request, int language) {
    JobOptions options = request.Job;
    options.DeviceTarget = static_cast<bool>(request.Decide);
    // The check decides on the file as analysed; what it said stays with the report.
    std::optional<check::CheckResult> check;
    std::string declined;
    TargetChoice choose;
    if (request.Decide) {
        choose = [&](const JobResult& analysed, CodecKind& target) {
            FileReport asked = ReportOf(path, analysed, request.Job);
            asked.Conversion = true;
            asked.DryRun = options.DryRun;
            asked.ToKind = target;
            asked.FromKind = asked.Kind;
            asked.FromHandler = asked.Handler;
            asked.FromCompression = asked.Compression;
            const bool chosen = request.Decide(asked);
            target = asked.ToKind;
            check = std::move(asked.Check);
            declined = asked.Error;
            return chosen;
        };
    }
    const JobResult result = Retag(path, request.Target, options, choose);
    FileReport report = JobReport(path, result, request, language);
    report.Check = std::move(check);
    SayWarnings(report, result, language);
    SayReason(report, result, request, language);
    if (result.Reason == Refusal::Declined) {
        report.Error = declined;
    }
    // Codes only --relaxed converts still get the check's verdict on them, as a player reads
    // them; the conversion itself waits for --relaxed.
    if (result.Reason == Refusal::UnknownCodes && report.RelaxedKind != kNoKind && request.Decide) {
        FileReport judged = report;
        request.Decide(judged);
        report.Check = std::move(judged.Check);
    }
    return report;
}

FileReport RestoreFile(const std::string& path, const ConvertRequest& request, int language) {
    const JobResult result = Restore(path, request.Job);
    FileReport report = JobReport(path, result, request, language);
    report.Restore = true;
    report.Original = result.Original;
    SayWarnings(report, result, language);
    SayReason(report, result, request, language);
    AttachIndexUndo(report, result.IndexUndo, language);
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
