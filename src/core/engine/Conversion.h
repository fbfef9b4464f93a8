#pragma once

#include "engine/JobTypes.h"

#include <memory>
#include <string>

namespace vidtag {

enum class WriteMode { Convert, Restore, Settle };

// One write's inputs and findings: the analysis it writes over (a conversion updates its current
// kind and codes), the options it follows, and what it found in the journal and the lock.
struct WriteCall {
    TEngineState& State;
    const JobOptions& Options;
    TJournalReport& Report;
};

// Every write the engine makes to a file: under the conversion lock, after any interrupted
// conversion of the file is settled, recorded in the journal before the codes are written.
// Convert writes the codes of kind over those of the analysis; Restore writes the recorded
// original; Settle stops after the settling.
ConversionStatus LockedWrite(WriteCall& call, const std::string& fileName, WriteMode mode,
                             CodecKind kind);

// Takes the conversion lock as LockedWrite would and lets it go at once.
ConversionStatus ProbeLock(WriteCall& call, const std::string& fileName);

// The journal for the options, refreshed; nullptr when it is off or cannot be read (the report
// says why). Each thread keeps the journal it read, and refreshes it on the next call.
class Journal;
Journal* CurrentJournal(WriteCall& call);

} // namespace vidtag
