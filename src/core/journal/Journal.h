#pragma once

#include "journal/JournalEntry.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vidtag {

// The append-only journal of conversions, one JSON object per line. A conversion is recorded and
// flushed before the file is written; how it ended is appended afterwards without a flush.
class Journal {
  public:
    explicit Journal(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    // Takes in what was appended since the last call, by this process or any other. A missing
    // journal is an empty one; false when it exists but cannot be read.
    bool Refresh();
    const std::vector<JournalEntry>& Entries() const { return entries_; }
    // Records a conversion about to be written (filling in its Id and Time) and waits until the
    // record is on the disk.
    bool Begin(JournalEntry& entry);
    // Records how a conversion ended.
    bool Settle(const JournalEntry& entry, EntryState state);
    // Why the last call failed, in the system's words.
    const std::string& Error() const { return error_; }
    // Lines that could not be read (torn or garbage) and were passed over.
    int SkippedLines() const { return skipped_ + (tornTail_ ? 1 : 0); }

  private:
    bool Append(const std::string& text, bool flush);
    bool Replaced(os::FileHandle handle);
    void TakeLine(const std::string& line);
    void Compact();

    std::string path_;
    std::string error_;
    std::vector<JournalEntry> entries_;
    std::map<std::string, std::size_t> byId_;
    os::FileIdentity read_;   // the journal file read so far
    std::int64_t offset_ = 0; // how far it has been read
    int skipped_ = 0;
    bool tornTail_ = false;
};

// VIDTAG_JOURNAL when set, else journal.jsonl in the user's state folder: $XDG_STATE_HOME/vidtag
// (~/.local/state/vidtag) on POSIX, %LOCALAPPDATA%\Vidtag on Windows.
std::string JournalPath();

// The absolute form of a UTF-8 path, the way the journal records it.
std::string AbsolutePath(const std::string& path);

// The journal line of an entry; its state is included unless it is pending.
std::string EntryLine(const JournalEntry& entry);

} // namespace vidtag
