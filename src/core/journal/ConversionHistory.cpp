#include "journal/ConversionHistory.h"

#include <map>
#include <utility>

namespace vidtag {

namespace {

std::vector<const JournalEntry*> EntriesOf(const std::vector<JournalEntry>& entries,
                                           const os::FileIdentity& file,
                                           const std::string& absolutePath) {
    std::vector<const JournalEntry*> byIdentity;
    std::vector<const JournalEntry*> byPath;
    for (const JournalEntry& entry : entries) {
        if (entry.File.Size != file.Size || entry.State == EntryState::Undone) {
            continue;
        }
        if (entry.File.SameFile(file)) {
            byIdentity.push_back(&entry);
        } else if (entry.Path == absolutePath) {
            byPath.push_back(&entry);
        }
    }
    return byIdentity.empty() ? byPath : byIdentity;
}

// The chain of done conversions that ends with the last one, oldest first.
FileHistory ChainOf(const std::vector<const JournalEntry*>& entries, CodePair current) {
    FileHistory history;
    if (entries.empty()) {
        return history;
    }
    const JournalEntry& last = *entries.back();
    history.Last = last;
    if (last.State != EntryState::Done || !Holds(current, last.To, last.CompressionPos)) {
        history.Broken = true;
        return history;
    }
    JournalEntry original = last;
    for (std::size_t i = entries.size() - 1; i-- > 0;) {
        const JournalEntry& earlier = *entries[i];
        if (earlier.State != EntryState::Done ||
            !Holds(original.From, earlier.To, earlier.CompressionPos)) {
            break;
        }
        original = earlier;
    }
    history.Original = original;
    return history;
}

} // namespace

bool Holds(CodePair held, CodePair pair, std::int64_t compressionPos) {
    return held.Handler == pair.Handler &&
           (compressionPos <= 0 || held.Compression == pair.Compression);
}

FileHistory HistoryOf(const std::vector<JournalEntry>& entries, const os::FileIdentity& file,
                      const std::string& absolutePath, CodePair current) {
    return ChainOf(EntriesOf(entries, file, absolutePath), current);
}

std::vector<JournalEntry> CompactedEntries(const std::vector<JournalEntry>& entries) {
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::vector<const JournalEntry*>> files;
    for (const JournalEntry& entry : entries) {
        if (entry.State != EntryState::Undone) {
            files[{entry.File.Volume, entry.File.Index}].push_back(&entry);
        }
    }
    std::vector<JournalEntry> kept;
    for (const auto& [key, fileEntries] : files) {
        std::size_t lastDone = fileEntries.size();
        for (std::size_t i = 0; i < fileEntries.size(); ++i) {
            if (fileEntries[i]->State == EntryState::Done) {
                lastDone = i;
            }
        }
        if (lastDone < fileEntries.size()) {
            const std::vector<const JournalEntry*> done(fileEntries.begin(),
                                                        fileEntries.begin() + lastDone + 1);
            const FileHistory history = ChainOf(done, fileEntries[lastDone]->To);
            JournalEntry summary = *fileEntries[lastDone];
            summary.From = history.Original->From;
            summary.FromKind = history.Original->FromKind;
            summary.Time = history.Original->Time;
            kept.push_back(summary);
        }
        for (std::size_t i = lastDone < fileEntries.size() ? lastDone + 1 : 0;
             i < fileEntries.size(); ++i) {
            kept.push_back(*fileEntries[i]);
        }
    }
    return kept;
}

} // namespace vidtag
