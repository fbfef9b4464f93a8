// The journal rewritten shorter: each file's chains of conversions merged into one record each.
#include "journal/ConversionHistory.h"
#include "journal/Journal.h"
#include "journal/JournalLine.h"
#include "os/SystemError.h"
#include "os/Utf8Path.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

namespace vidtag {

namespace fs = std::filesystem;

namespace {

// Below this size the journal is never compacted: reading it costs little.
constexpr std::int64_t kCompactFrom = 4 * 1024 * 1024;
// Windows refuses to rename over a file that a reader holds open at that moment; readers hold
// it only while they read.
constexpr int kRenameAttempts = 20;
constexpr int kRenamePauseMs = 50;
const char* const kTemporaryMark = ".compact-";

// A damaged record goes back as it was read, so that compaction neither loses it nor makes it
// look sound; its state, when it ended, follows on a line of its own.
std::string CompactedLine(const JournalEntry& entry) {
    if (entry.Line.empty()) {
        return EntryLine(entry);
    }
    std::string text = entry.Line + "\n";
    if (entry.State != EntryState::Pending) {
        static const char* const names[] = {"pending", "done", "undone", "abandoned"};
        text += JournalLine()
                    .Put("id", entry.Id)
                    .Put("state", names[static_cast<std::size_t>(entry.State)])
                    .Text();
    }
    return text;
}

// The compacted journal; its first record says how long it is.
std::string CompactedText(const std::vector<JournalEntry>& entries) {
    std::string rest;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        rest += CompactedLine(entries[i]);
    }
    if (entries.empty()) {
        return rest;
    }
    std::string first = CompactedLine(entries[0]);
    const std::string mark = ",\"compacted_size\":" + std::to_string(first.size() + rest.size());
    // Only a record the journal wrote itself ends in "}\n" with nothing after.
    if (entries[0].Line.empty()) {
        first.insert(first.size() - 2, mark);
    }
    return first + rest;
}

// Temporary files of compactions that were killed: none is in use while the lock is held.
void RemoveLeftovers(const fs::path& target) {
    std::error_code error;
    const std::string prefix = os::Utf8FromPath(target.filename()) + kTemporaryMark;
    for (const fs::directory_entry& item : fs::directory_iterator(target.parent_path(), error)) {
        if (os::Utf8FromPath(item.path().filename()).rfind(prefix, 0) == 0) {
            fs::remove(item.path(), error);
        }
    }
}

bool StillTheFileRead(const std::string& target, const os::FileIdentity& read) {
    const os::FileHandle handle =
        os::Files().Open(target.c_str(), os::Access::Read, os::Share::ReadWriteDelete);
    if (handle == os::InvalidHandle()) {
        return false;
    }
    os::FileIdentity now;
    const bool same =
        os::Files().Identify(handle, now) && now.SameFile(read) && now.Size == read.Size;
    os::Files().Close(handle);
    return same;
}

bool RenameOver(const std::string& from, const std::string& to) {
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        if (os::Files().Rename(from.c_str(), to.c_str())) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kRenamePauseMs));
    }
    return false;
}

} // namespace

// Twice the size the last compaction left, and never below kCompactFrom: a journal of live
// records alone is not rewritten on every conversion.
bool Journal::DueForCompaction() const {
    return offset_ > std::max({kCompactFrom, 2 * compactedSize_, notWorthBelow_});
}

// Best effort, under the lock: a journal that cannot be compacted is still a journal.
void Journal::Compact() {
    if (!Refresh() || !DueForCompaction()) {
        return;
    }
    const std::vector<JournalEntry> compacted = CompactedEntries(entries_);
    // Judged by the lines the records kept took: formatting them would cost as much as the
    // compaction itself, on every conversion of a journal of live records.
    std::int64_t kept = 0;
    for (const JournalEntry& entry : compacted) {
        kept += entry.Bytes;
    }
    if (2 * kept > read_.Size) {
        notWorthBelow_ = 2 * kept;
        return;
    }
    const std::string error = error_;
    WriteCompacted(CompactedText(compacted));
    // A failed compaction is no failure of the append that follows it.
    error_ = error;
}

// The compacted journal goes beside the file the journal path names (a symbolic link followed),
// under a name no other compactor uses, with the journal's owner, group and mode, and replaces the
// journal only if it is still the file that was read.
bool Journal::WriteCompacted(const std::string& text) {
    const std::string target = ResolvedPath(path_);
    RemoveLeftovers(os::PathFromUtf8(target));
    const std::string temporary = target + kTemporaryMark + NewRecordId();
    const os::FileHandle out = os::Files().Create(temporary.c_str());
    if (out == os::InvalidHandle()) {
        return false;
    }
    std::string reason;
    bool written = WriteWhole(out, text, reason) && os::Files().Flush(out);
    // The journal stays its owner's: a run as root (sudo -E) must not leave the owner a journal
    // they can no longer write. The owner before the mode, as a new owner clears set-id bits.
    const bool owned = !written || os::Files().TakeOwnerOf(out, target.c_str());
    if (!owned) {
        notice_ = "it was not compacted, as its owner could not be kept (" +
                  os::SystemErrorText(os::LastSystemError()) + ")";
    }
    written = written && owned;
    os::Files().Close(out);
    os::Attributes mode = 0;
    written = written && os::Files().GetAttributes(target.c_str(), mode) &&
              os::Files().SetAttributes(temporary.c_str(), mode);
    written = written && StillTheFileRead(target, read_) && RenameOver(temporary, target);
    if (!written) {
        std::error_code ignored;
        fs::remove(os::PathFromUtf8(temporary), ignored);
        return false;
    }
    // The next refresh reads the compacted journal from its start.
    read_ = {};
    return true;
}

} // namespace vidtag
