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

FileReport RestoreWithIndex(const std::string& path, const ConvertRequest& request, int language) {
    FileReport report = RestoreFile(path, request, language);
    if (report.Failed() || request.Job.DryRun) {
        return report;
    }
    const IndexResult undone = UndoIndex(path, request.Job);
    if (!undone.Written && undone.Reason == IndexReason::None) {
        return report;
    }
    IndexReport index = Worded(undone, false, true, language);
    if (undone.Written) {
        // The codes the file had before the rebuild, recorded at its length then.
        FileReport before = RestoreFile(path, request, language);
        if (before.Converted || before.Failed()) {
            report = std::move(before);
        } else {
            report.Remark.clear();
        }
    }
    report.Index = std::move(index);
    return report;
}

} // namespace vidtag::cli
