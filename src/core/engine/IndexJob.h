#pragma once

#include "avi/IndexPlan.h"
#include "engine/JobTypes.h"

#include <cstdint>
#include <string>

// The index rebuild: a job beside the retag and the restore. A cut AVI file gets a new idx1
// appended and the header fields a player reads set, all recorded in the journal before the
// first byte, so that a restore truncates it and writes those fields back.
namespace vidtag {

// Why an index job did not write; None when it wrote or had nothing to do.
enum class IndexReason : std::uint8_t {
    None = 0,
    Whole = 1,          // the index is whole: nothing written
    NotAvi = 2,         // no AVI file
    OpenDml = 3,        // an OpenDML file (an AVIX part or a super index): later work
    NoMovieList = 4,    // cut inside its headers: no movie list
    NoVideoChunk = 5,   // no complete video chunk
    DamagedList = 6,    // a chunk runs past the end the movie list declares
    ReadFailed = 7,     // the file could not be read: SystemError
    NotFound = 8,       // the file could not be opened: SystemError
    CannotWrite = 9,    // read-only, or not opened for writing: SystemError
    LockBusy = 10,      // another job holds the file's lock
    LockFailed = 11,    // the file system refused the lock: SystemError
    NoSpace = 12,       // too little space for the index: Needed, Available
    WriteFailed = 13,   // a write failed and was undone: SystemError
    JournalFailed = 14, // the journal could not be read or written: JournalPath, JournalError
    RecordDamaged = 15, // the journal's record of the rebuild cannot be trusted: JournalError
    FileChanged = 16,   // the file no longer holds what the rebuild wrote: nothing undone
    UndoFailed = 17,    // a failed write could not be undone: the record stays for recovery
};

const char* IndexReasonName(IndexReason reason) noexcept;

// What recovery found of an interrupted rebuild or restore of the file before the job.
enum class IndexSettled : std::uint8_t {
    None = 0,
    Finished = 1,   // it had written everything: recorded as done
    RolledBack = 2, // a rebuild cut short: the file is back to its length and bytes before
    RolledOn = 3,   // an undoing cut short: finished, the file is the cut one again
    Foreign = 4,    // the file holds other bytes: left as it is
};

struct IndexResult {
    IndexReason Reason = IndexReason::None;
    // Bytes were written: the rebuild, or (for an undo) the file put back.
    bool Written = false;
    avi::IndexPlan Plan;
    // The bytes written: within the file and appended.
    std::int64_t BytesWritten = 0;
    std::int64_t Needed = 0;
    std::int64_t Available = 0;
    IndexSettled Settled = IndexSettled::None;
    std::string JournalPath;
    std::string JournalError;
    int SystemError = 0;
};

// Plans and (unless a dry run) writes the rebuild of the file's index.
IndexResult RebuildIndex(const std::string& path, const JobOptions& options) noexcept;

// Undoes the file's last index rebuild when the journal records it as the last thing done to
// the file at its present length; Reason None and nothing written when there is none.
IndexResult UndoIndex(const std::string& path, const JobOptions& options) noexcept;

// Settles an interrupted rebuild or undoing of the file, as recovery does before any job.
IndexResult SettleIndex(const std::string& path, const JobOptions& options) noexcept;

} // namespace vidtag
