#pragma once

#include "FileJob.h"
#include "FolderExpansion.h"
#include "Options.h"

namespace vidtag::cli {

// What one file's job left for the output.
struct FileOutcome {
    FileReport Report;
    // Memory ran out during the job: whatever the report says may be the shortage speaking, not
    // the file, so it is never printed.
    bool OutOfMemory = false;
};

// Makes every allocation that fails tell the thread that made it, wherever the failure is then
// caught: the engine turns any exception into a status about the file, which a shortage of
// memory is not.
void WatchMemory();

// The job the options ask of one file: an analysis, a check, a conversion or a restore.
FileOutcome RunFile(const FileArgument& file, const Options& options,
                    const ConvertRequest& request);

// Whether the run may write to files (a conversion, a restore, or the settling of an interrupted
// conversion before a dry run).
bool Writes(const Options& options);

// How many threads run the files' jobs. Analyses and checks run on -j threads, as many as the
// descriptor limit leaves room for; a conversion or a restore runs one file after another, so
// that the journal sees one record, one write and one "done" at a time, as it always has.
unsigned JobsFor(const Options& options);

// How many results may wait for the output at once.
std::size_t WindowFor(unsigned jobs);

} // namespace vidtag::cli
