#pragma once

#include "FileJob.h"
#include "FolderExpansion.h"
#include "Options.h"

namespace vidtag::cli {

// The job the options ask of one file: an analysis, a check, a conversion or a restore.
FileReport RunFile(const FileArgument& file, const Options& options, const ConvertRequest& request);

// How many threads run the files' jobs. Analyses and checks run on -j threads; a conversion or a
// restore runs one file after another, so that the journal sees one record, one write and one
// "done" at a time, as it always has.
unsigned JobsFor(const Options& options);

} // namespace vidtag::cli
