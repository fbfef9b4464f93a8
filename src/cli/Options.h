#pragma once

#include "check/Profiles.h"
#include "codecs/CodecCatalog.h"

#include <optional>
#include <string>
#include <vector>

namespace vidtag::cli {

constexpr unsigned kDefaultJobs = 16;
constexpr unsigned kMaxJobs = 64;

struct Options {
    std::vector<std::string> Paths;
    std::string ToText; // the KIND as given
    CodecKind To = kNoKind;
    bool Json = false;
    bool DryRun = false;
    bool Recursive = false;
    bool PreserveTime = false;
    bool Quiet = false;
    bool ListKinds = false;
    bool Relaxed = false;
    bool Restore = false;      // write back the journal's recorded originals
    bool NoJournal = false;    // neither read nor write the conversion journal
    bool RebuildIndex = false; // append a new idx1 to cut AVI files
    int Language = 0;
    // --check PROFILE: the device profile files are checked against; empty without it.
    std::vector<check::Profile> Checks;
    // --to auto: each file goes to the kind its check names.
    bool Auto = false;
    bool ListProfiles = false;
    // -j: threads that analyse and check files at once. Most of their time goes on waiting for
    // the disk or the network share, not on the processor.
    unsigned Jobs = kDefaultJobs;
};

// Fills options from the arguments (UTF-8). Returns an exit status when the program should end
// at once: 0 after --help or --version, 2 after a usage error (reported on stderr).
std::optional<int> ParseOptions(int argc, const char* const* argv, Options& options);

} // namespace vidtag::cli
