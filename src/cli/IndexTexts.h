#pragma once

#include "engine/IndexJob.h"

#include <string>

namespace vidtag::cli {

// What an index job did to one file, as both output formats show it.
struct IndexReport {
    IndexResult Result;
    bool DryRun = false;
    bool Undo = false;   // a restore's undoing of the rebuild
    std::string Outcome; // the outcome, worded
    std::string Note;    // what recovery did first; empty when nothing
    bool Failed = false;
};

// The outcome of an index job in the language; %-free, filled.
std::string IndexOutcomeText(const IndexResult& result, bool dryRun, bool undo, int language,
                             const std::string& systemReason);
// What recovery did first; empty when nothing.
std::string IndexSettledText(IndexSettled settled, int language);
// Whether the outcome is a failure (exit status 1).
bool IndexFailed(const IndexResult& result);

} // namespace vidtag::cli
