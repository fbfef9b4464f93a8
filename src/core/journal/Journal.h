#pragma once

#include "journal/JournalEntry.h"
#include "journal/JournalLock.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vidtag {

// The append-only journal of conversions, one JSON object per line. A conversion is recorded and
// flushed before the file is written; how it ended is appended afterwards without a flush. Every
// append holds the journal's lock (JournalLock), and so does a compaction, which replaces the
// journal with a shorter one of the same records.
class Journal {
  public:
    explicit Journal(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    // The path as messages show it: where the journal would be when no state folder is known.
    std::string Shown() const;
    // Takes in what was appended since the last call, by this process or any other. A missing
    // journal is an empty one; false when it exists but cannot be read.
    bool Refresh();
    const std::vector<JournalEntry>& Entries() const { return entries_; }
    // The record of that id, as last read; nullptr for none.
    const JournalEntry* Find(const std::string& id) const;
    // The bytes appended since the last call, read but not taken in (JournalIndex reads a
    // journal once this way); false as Refresh is.
    bool ReadNew(std::string& text);
    // Takes in one line of a journal read elsewhere, as Refresh takes each of its own.
    void Take(const std::string& line);
    // Records a conversion about to be written (filling in its Id and Time) and waits until the
    // record is on the disk.
    bool Begin(JournalEntry& entry);
    // Records how a conversion ended.
    bool Settle(const JournalEntry& entry, EntryState state);
    // Why the last call failed, in the system's words.
    const std::string& Error() const { return error_; }
    // What the last append has to say beside its outcome (a compaction left undone, and why);
    // empty when nothing.
    const std::string& Notice() const { return notice_; }
    // Lines that could not be read (torn or garbage) and were passed over.
    int SkippedLines() const { return skipped_ + (tornTail_ ? 1 : 0); }
    // How long an append waits for the lock; kJournalWaitMs unless a test shortens it.
    void SetLockWait(int waitMs) { waitMs_ = waitMs; }

  private:
    bool Writable();
    bool Append(const std::string& text, bool flush);
    void TakeLine(const std::string& line);
    void Forget();
    bool DueForCompaction() const;
    void Compact();
    bool WriteCompacted(const std::string& text);

    std::string path_;
    std::string error_;
    std::string notice_;
    std::vector<JournalEntry> entries_;
    std::map<std::string, std::size_t> byId_;
    os::FileIdentity read_;   // the journal file read so far
    std::int64_t offset_ = 0; // how far it has been read
    int skipped_ = 0;
    bool tornTail_ = false;
    int waitMs_ = kJournalWaitMs;
    // The size the last compaction left, as its first line records it: the next one waits until
    // the journal has doubled.
    std::int64_t compactedSize_ = 0;
    // Below this size a compaction was found not to halve the journal.
    std::int64_t notWorthBelow_ = 0;
};

// VIDTAG_JOURNAL when set, else journal.jsonl in the user's state folder: $XDG_STATE_HOME/vidtag
// (~/.local/state/vidtag) on POSIX, %LOCALAPPDATA%\Vidtag on Windows. A relative VIDTAG_JOURNAL
// is taken relative to the folder the program started in, once, so that every message shows the
// same absolute path and a later change of folder does not move the journal.
std::string JournalPath();

// JournalPath as messages show it: where the journal would be when no state folder is known.
std::string ShownJournalPath();

// The absolute form of a UTF-8 path, the way the journal records it.
std::string AbsolutePath(const std::string& path);

// The journal line of an entry; its state is included unless it is pending.
std::string EntryLine(const JournalEntry& entry);

// Writes all of the text, however many calls it takes; false with the failing call's reason.
bool WriteWhole(os::FileHandle handle, const std::string& text, std::string& error);

// An id no other process or record has: random per process, counted within it.
std::string NewRecordId();

} // namespace vidtag
