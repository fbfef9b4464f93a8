#pragma once

namespace vidtag::cli {

// Gives /dev/null to each of descriptors 0 to 2 that is closed, so that no file opened later
// (an AVI file, the journal) takes the number of stdout or stderr and receives the report.
// Returns whether stdout or stderr was closed: the report is then lost whatever follows.
bool ReserveStandardDescriptors();

// Flushes stdout, and remembers the system's reason the first time a write to it failed.
void FlushOutput();

// The exit status once everything is flushed: status itself, or 1 with a message on stderr when
// the report could not be written entirely (a full disk, a closed stdout).
int FinishOutput(int status, bool outputClosedAtStart, int language);

} // namespace vidtag::cli
