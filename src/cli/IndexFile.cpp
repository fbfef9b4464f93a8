#include "IndexFile.h"

#include "os/SystemError.h"

namespace vidtag::cli {

namespace {

IndexReport Worded(const IndexResult& result, bool dryRun, bool undo, int language) {
    IndexReport index;
    index.Result = result;
    index.DryRun = dryRun;
    index.Undo = undo;
    index.Failed = IndexFailed(result);
    const std::string reason =
        result.SystemError != 0 ? os::SystemErrorText(result.SystemError) : std::string();
    index.Outcome = IndexOutcomeText(result, dryRun, undo, language, reason);
    index.Note = IndexSettledText(result.Settled, language);
    return index;
}

} // namespace

FileReport RebuildIndexFile(const std::string& path, const ConvertRequest& request, int language) {
    const IndexResult result = RebuildIndex(path, request.Job);
    FileReport report;
    report.Path = path;
    report.DryRun = request.Job.DryRun;
    report.Status = IndexFailed(result) ? kStatusCannotWrite : kStatusDone;
    report.Index = Worded(result, request.Job.DryRun, false, language);
    if (result.Reason == IndexReason::JournalFailed ||
        result.Reason == IndexReason::RecordDamaged) {
        report.Journal = result.JournalPath;
    }
    return report;
}

void AttachIndexUndo(FileReport& report, const IndexResult& undone, int language) {
    if (undone.Written || undone.Reason != IndexReason::None) {
        report.Index = Worded(undone, false, true, language);
    }
}

} // namespace vidtag::cli
