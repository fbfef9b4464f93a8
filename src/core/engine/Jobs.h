#pragma once

#include "engine/IndexJob.h"
#include "engine/JobTypes.h"

#include <functional>
#include <string>
#include <vector>

// The engine's jobs: each takes a file and its options and returns everything it found and did.
// Nothing is read from or left in shared state, so any number run at once.
namespace vidtag {

// What a job says beside its outcome, in the order it found it; the front ends word it.
enum class Warning : std::uint8_t {
    DecodeByCode = 1,      // players pick the decoder by the compression code the retag changes
    NoExactRestore = 2,    // without the journal, codes only the relaxed rule knows cannot come
                           // back exactly: JobResult.From, JobResult.JournalFile
    NotCompacted = 3,      // the journal could not be compacted: Journal.JournalNotice
    JournalUnreadable = 4, // the journal could not be read: Original.JournalError
    DamagedRecord = 5,     // the journal's record of the file cannot be trusted: Original.Damage
};

const char* WarningName(Warning warning) noexcept;

struct JobResult {
    ConversionStatus Status = kStatusNotFound;
    // Why the job did not do what was asked; None when it did, or had nothing to do.
    Refusal Reason = Refusal::None;
    // The file as the job leaves it (analysed again after a write).
    Analysis File;
    // The kind the relaxed rule finds in codes the job's rule does not know; 0 when none or when
    // the relaxed rule was the job's.
    CodecKind LooksLike = kNoKind;
    // The file before the job wrote, and what it was to become.
    CodecKind FromKind = kNoKind;
    CodePair From{};
    CodecKind ToKind = kNoKind;
    bool Converted = false;
    // The codes written, as the dialog's state holds them.
    CodePair Wrote{};
    // The journal's record of the file (an analysis and a restore read it).
    RecordedOriginal Original;
    // What recovery found of an interrupted conversion before the job did its own work.
    TJournalReport Recovery;
    // What recovery found of an interrupted index rebuild (or undoing) of the file.
    IndexSettled IndexRecovery = IndexSettled::None;
    // A restore's undoing of the file's last index rebuild; nothing written when there was none.
    IndexResult IndexUndo;
    // What the write, the lock and the journal said.
    TJournalReport Journal;
    // The journal the options name, as messages show it.
    std::string JournalFile;
    std::vector<Warning> Warnings;
    // The system's reason when the file could not be opened, read, locked or written; else 0.
    int SystemError = 0;
};

// Analyses the file; with the journal in use also reads its recorded original.
JobResult Analyse(const std::string& path, const JobOptions& options) noexcept;

// Chooses the target once the file is analysed: may change it, or refuse (false) the file.
using TargetChoice = std::function<bool(const JobResult& analysed, CodecKind& target)>;

// Settles an interrupted conversion, analyses, asks `choose` (when given), checks that the file
// may become the target (MayBecome), probes or writes, and analyses again to confirm. The file
// is left untouched whenever a check fails.
JobResult Retag(const std::string& path, CodecKind target, const JobOptions& options,
                const TargetChoice& choose = {}) noexcept;

// Writes back the codes the journal records as the file's original at its present length; then,
// when the journal's last index record of the file is a rebuild that left it at that length,
// undoes the rebuild and writes back the codes recorded before it: a retag and a rebuild come
// undone in reverse order, to the bytes the file had first.
JobResult Restore(const std::string& path, const JobOptions& options) noexcept;

} // namespace vidtag
