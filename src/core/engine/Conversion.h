#pragma once

#include "engine/EngineTypes.h"

#include <memory>
#include <string>

namespace vidtag {

enum class WriteMode { Convert, Restore, Settle };

// Every write the engine makes to a file: under the conversion lock, after any interrupted
// conversion of the file is settled, recorded in the journal before the codes are written.
// Convert writes the codes of kind over those of the last analysis; Restore writes the recorded
// original; Settle stops after the settling.
ConversionStatus LockedWrite(const std::string& fileName, WriteMode mode, CodecKind kind);

// Whether conversions go through the journal; see SetJournalUse.
void UseJournal(JournalUse use);

// Whether writes keep the file's modification time; see SetKeepModifiedTime.
void KeepModifiedTime(bool keep);

// Takes the conversion lock as LockedWrite would and lets it go at once.
ConversionStatus ProbeLock(const std::string& fileName);

// The journal for the current settings, refreshed; nullptr when it is off or cannot be read
// (JournalReport says why).
class Journal;
Journal* CurrentJournal();

// The journal a run shares for its analyses (see ShareJournal), when it has one and the journal
// is on; JournalReport says what CurrentJournal would of it, an unreadable one included.
class JournalIndex;
void UseSharedJournal(std::shared_ptr<const JournalIndex> index);
const JournalIndex* SharedJournal();

} // namespace vidtag
