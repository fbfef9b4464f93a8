#pragma once

#include "os/FileLayer.h"

#include <string>

namespace vidtag {

// How long an append waits for the journal: a compaction of a 40 MB journal takes a few
// seconds, and on a slow or busy disk its flush can take far longer. Past this the conversion is
// refused with the reason (status 3) rather than recorded without the lock, where a compaction
// could throw the record away.
constexpr int kJournalWaitMs = 60000;

// The file a journal's lock is held on: beside the journal file itself (a symbolic link
// followed), never replaced, never written. Every append and every compaction holds it; reading
// needs no lock, as a compaction replaces the journal in one rename.
std::string LockPathOf(const std::string& journalPath);

// The file a journal path names: a symbolic link followed to its target, made absolute.
std::string ResolvedPath(const std::string& path);

// Holds the journal's lock for as long as it lives.
class JournalLock {
  public:
    JournalLock(const std::string& journalPath, int waitMs);
    ~JournalLock();
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;

    bool Held() const { return held_; }
    // Why it is not held.
    const std::string& Error() const { return error_; }

  private:
    bool TakeOnce(const std::string& lockPath, int waitMs);

    os::FileHandle handle_ = os::InvalidHandle();
    bool held_ = false;
    std::string error_;
};

} // namespace vidtag
