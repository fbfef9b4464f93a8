#pragma once

#include "journal/JournalEntry.h"

#include <string>

#include <optional>
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
};

// Whether the codes a file holds are the pair; the compression code counts only where the file
// has one.
bool Holds(CodePair held, CodePair pair, std::int64_t compressionPos);

// The history of the file with this identity, or, when none is recorded by identity, of the file
// at this path with the same size (a copy put back in place).
FileHistory HistoryOf(const std::vector<JournalEntry>& entries, const os::FileIdentity& file,
                      const std::string& absolutePath, CodePair current);

// Each file's conversions reduced to its recorded original and its last state, plus what is not
// settled yet.
std::vector<JournalEntry> CompactedEntries(const std::vector<JournalEntry>& entries);

} // namespace vidtag
