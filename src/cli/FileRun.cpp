#include "FileRun.h"

#include "CheckJob.h"
#include "IndexFile.h"

namespace vidtag::cli {

FileReport RunFile(const FileArgument& file, const Options& options,
                   const ConvertRequest& request) {
    FileReport report;
    if (!file.Error.empty()) {
        report = FailedArgument(file.Path, file.Error);
    } else if (options.RebuildIndex) {
        report = RebuildIndexFile(file.Path, request, options.Language);
    } else if (options.Restore) {
        report = RestoreFile(file.Path, request, options.Language);
    } else if (options.To != vidtag::kNoKind || options.Auto) {
        report = ConvertFile(file.Path, request, options.Language);
        // A file refused before the check was asked still says what the check makes of it.
        if (!options.Checks.empty() && !report.Check) {
            AttachCheck(report, options.Checks, options.Language);
        }
    } else {
        report = AnalyseFile(file.Path, request, options.Language);
        if (!options.Checks.empty()) {
            AttachCheck(report, options.Checks, options.Language);
        }
    }
    return report;
}

unsigned JobsFor(const Options& options) {
    const bool writes =
        options.Restore || options.RebuildIndex || options.To != vidtag::kNoKind || options.Auto;
    return writes ? 1 : options.Jobs;
}

} // namespace vidtag::cli
