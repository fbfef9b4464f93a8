#pragma once

#include "journal/JournalEntry.h"

#include <optional>
#include <string>
#include <vector>

namespace vidtag {

// What the journal knows about one file.
struct FileHistory {
    // The latest recorded conversion that was not undone; nothing when there is none.
    std::optional<JournalEntry> Last;
    // The file's recorded original: From, FromKind and Time of the first conversion of the
    // unbroken chain that ends at the file's current codes.
    std::optional<JournalEntry> Original;
    // The last conversion did not end as recorded, or another program changed the codes since:
    // the journal cannot vouch for the file.
    bool Broken = false;
    // Why a record the answer rests on cannot be trusted; empty when none is damaged.
    std::string Damage;
};

// Whether the codes a file holds are the pair; the compression code counts only where the file
// has one.
bool Holds(CodePair held, CodePair pair, std::int64_t compressionPos);

// The history of a file of this size, from the records of its identity and from those of its
// path (a copy put back in place). The identity's chain wins over a path chain that ends with
// another file's record; where the path chain ends with this file's own record, the chain that
// reaches further back wins, so that a copy put back and converted again keeps its first
// original. Where an identity without generation and another file's path chain cannot be told
// apart, Damage names both records. A conversion of this very file that has not ended yet always
// wins: it is the one to settle.
FileHistory HistoryOf(const std::vector<JournalEntry>& entries, const os::FileIdentity& file,
                      const std::string& absolutePath, CodePair current);

// The last record of the file's identity, whatever its size.
std::optional<JournalEntry> LastOfIdentity(const std::vector<JournalEntry>& entries,
                                           const os::FileIdentity& file);

// The last index record of the file's identity that was not undone or abandoned, whatever its
// size: a rebuild, or the undoing of one.
std::optional<JournalEntry> LastIndexRecord(const std::vector<JournalEntry>& entries,
                                            const os::FileIdentity& file);

// The size the file had at its last recorded conversion, when that conversion was written (or may
// have been) and the file has another size now: another program changed the file since, and no
// record at its present size can stand for it. Absent otherwise.
std::optional<std::int64_t> SizeChangedSince(const std::vector<JournalEntry>& entries,
                                             const os::FileIdentity& file);

// The entries with each unbroken chain of done conversions of one file (one identity, size and
// path) merged into one record, wherever no other record of that identity or of that path lies
// between them (records kept whole, damaged or with fields this version does not know, are never
// merged), and undone conversions left out: HistoryOf answers every question about the
// result exactly as about the entries. Everything else stays, in order.
std::vector<JournalEntry> CompactedEntries(const std::vector<JournalEntry>& entries);

} // namespace vidtag
