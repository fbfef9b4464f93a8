#pragma once

#include "journal/JournalEntry.h"
#include "journal/JournalLine.h"

#include <string>

namespace vidtag {

// Why a record read from the journal cannot be trusted, or empty: its codes must be four bytes
// each, its kinds the catalogue's and the ones its codes make under one of the two rules (the
// journal does not record which rule classified them), and its positions inside the file. The
// journal did not necessarily write the line itself: it may have been edited by hand.
std::string RecordDamage(const JournalLine& line, const JournalEntry& entry);

} // namespace vidtag
