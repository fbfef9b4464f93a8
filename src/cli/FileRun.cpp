#include "FileRun.h"

#include "CheckJob.h"
#include "IndexFile.h"
#include "os/Workers.h"

#include <algorithm>
#include <new>

namespace vidtag::cli {

namespace {

// Descriptors an analysis may hold at once (the file, and the journal where it has to be read),
// and those the program keeps besides (the standard streams, a folder being listed).
constexpr std::size_t kDescriptorsPerJob = 2;
constexpr std::size_t kDescriptorsKept = 16;
constexpr std::size_t kWindowPerJob = 4;

thread_local bool MemoryRanOut = false;

void OnAllocationFailure() {
    MemoryRanOut = true;
    throw std::bad_alloc();
}

} // namespace

void WatchMemory() {
    std::set_new_handler(OnAllocationFailure);
}

FileOutcome RunFile(const FileArgument& file, const Options& options,
                    const ConvertRequest& request) {
    FileOutcome outcome;
    FileReport& report = outcome.Report;
    MemoryRanOut = false;
    try {
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
    } catch (const std::bad_alloc&) {
        MemoryRanOut = true;
    }
    outcome.OutOfMemory = MemoryRanOut;
    return outcome;
}

bool Writes(const Options& options) {
    return options.Restore || options.RebuildIndex || options.To != vidtag::kNoKind || options.Auto;
}

unsigned JobsFor(const Options& options) {
    if (Writes(options)) {
        return 1;
    }
    const std::size_t limit = os::OpenFileLimit();
    if (limit == 0) {
        return options.Jobs;
    }
    const std::size_t room =
        limit > kDescriptorsKept ? (limit - kDescriptorsKept) / kDescriptorsPerJob : 1;
    return static_cast<unsigned>(std::clamp<std::size_t>(room, 1, options.Jobs));
}

std::size_t WindowFor(unsigned jobs) {
    return std::size_t{jobs} * kWindowPerJob;
}

} // namespace vidtag::cli
