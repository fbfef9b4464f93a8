#pragma once

#include "journal/JournalEntry.h"

#include <string>
#include <vector>

namespace vidtag::test {

// The records of files that exist nowhere (volume 7, inodes from 1), each converted in an
// unbroken chain of `chain` conversions, until the journal holds at least `bytes`; appended to
// the journal at path. Returns the last record of each file.
std::vector<JournalEntry> PadJournal(const std::string& path, std::size_t bytes, int chain);

// The records of the journal at path, as a fresh reader takes them in.
std::vector<JournalEntry> ReadJournal(const std::string& path);

} // namespace vidtag::test
