#include "journal/ConversionHistory.h"

#include "os/Paths.h"

#include <limits>
#include <map>
#include <tuple>
#include <utility>

namespace vidtag {

namespace {

constexpr std::size_t kNowhere = std::numeric_limits<std::size_t>::max();

// The history that one set of records tells, and where its chain starts in the journal.
struct Chain {
    FileHistory History;
    std::size_t Start = kNowhere;
    bool Empty = true;
};

bool Counts(const JournalEntry& entry, std::int64_t size) {
    return entry.Kind == RecordKind::Codes && entry.File.Size == size &&
           entry.State != EntryState::Undone;
}

// Whether the earlier conversion ended at the codes the later one started from.
bool Links(const JournalEntry& earlier, const JournalEntry& later) {
    return Holds(later.From, earlier.To, earlier.CompressionPos);
}

// The chain of done conversions that ends with the last of the records, oldest first.
Chain ChainOf(const std::vector<JournalEntry>& entries, const std::vector<std::size_t>& records,
              CodePair current) {
    Chain chain;
    if (records.empty()) {
        return chain;
    }
    chain.Empty = false;
    FileHistory& history = chain.History;
    const JournalEntry& last = entries[records.back()];
    history.Last = last;
    if (!last.Damage.empty()) {
        history.Damage = last.Damage;
        return chain;
    }
    if (last.State != EntryState::Done || !Holds(current, last.To, last.CompressionPos)) {
        history.Broken = true;
        return chain;
    }
    std::size_t start = records.size() - 1;
    for (std::size_t i = start; i-- > 0;) {
        const JournalEntry& earlier = entries[records[i]];
        if (earlier.State != EntryState::Done) {
            break;
        }
        // A damaged record may or may not be the one before: the original cannot be told.
        if (!earlier.Damage.empty()) {
            history.Damage = earlier.Damage;
            return chain;
        }
        if (!Links(earlier, entries[records[start]])) {
            break;
        }
        start = i;
    }
    history.Original = entries[records[start]];
    chain.Start = records[start];
    return chain;
}

std::string Named(const JournalEntry& entry) {
    return "record " + entry.Id + " (" + entry.Path + ")";
}

// Whether the chain ends with a record of this very file (its identity); one that only shares
// the path may be another file's history, left behind when that file was deleted.
bool EndsWithFile(const Chain& chain, const os::FileIdentity& file) {
    return !chain.Empty && chain.History.Last->File.SameFile(file);
}

// An identity is the file's own only where the system tells the index's generation apart; else a
// deleted file's index handed to a new file looks the same.
bool Certain(const os::FileIdentity& recorded, const os::FileIdentity& file) {
    return recorded.Generation != 0 && file.Generation != 0;
}

// The chain of the file's identity wins over one that only shares its path and ends with another
// file's record; a path chain that ends with the file's own record is its history reaching
// further back (a copy put back and converted again), and the chain that starts earlier wins.
// Where the identity could be an index handed on and the path chain is another file's, the two
// cannot be told apart.
Chain Preferred(const Chain& byIdentity, const Chain& byPath, const os::FileIdentity& file,
                const std::string& absolutePath) {
    if (byPath.Empty ||
        (!byIdentity.Empty && byIdentity.History.Last->State == EntryState::Pending)) {
        return byIdentity;
    }
    if (byIdentity.Empty) {
        return byPath;
    }
    if (!EndsWithFile(byPath, file)) {
        const JournalEntry& own = *byIdentity.History.Last;
        if (Certain(own.File, file) || own.Path == absolutePath) {
            return byIdentity;
        }
        Chain refused = byIdentity;
        refused.History.Damage = "two records could each be this file's: " + Named(own) + " and " +
                                 Named(*byPath.History.Last);
        return refused;
    }
    if (!byIdentity.History.Damage.empty() || !byPath.History.Damage.empty()) {
        return byIdentity.History.Damage.empty() ? byPath : byIdentity;
    }
    return byPath.Start < byIdentity.Start ? byPath : byIdentity;
}

using IdentityKey = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, std::int64_t>;
using PathKey = std::pair<std::string, std::int64_t>;

IdentityKey IdentityOf(const JournalEntry& entry) {
    return {entry.File.Volume, entry.File.Index, entry.File.Generation, entry.File.Size};
}

bool Mergeable(const JournalEntry& earlier, const JournalEntry& later) {
    return earlier.State == EntryState::Done && later.State == EntryState::Done &&
           earlier.Damage.empty() && later.Damage.empty() && earlier.Line.empty() &&
           later.Line.empty() && Links(earlier, later);
}

} // namespace

bool Holds(CodePair held, CodePair pair, std::int64_t compressionPos) {
    return held.Handler == pair.Handler &&
           (compressionPos <= 0 || held.Compression == pair.Compression);
}

FileHistory HistoryOf(const std::vector<JournalEntry>& entries, const os::FileIdentity& file,
                      const std::string& absolutePath, CodePair current) {
    std::vector<std::size_t> byIdentity;
    std::vector<std::size_t> byPath;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const JournalEntry& entry = entries[i];
        if (!Counts(entry, file.Size)) {
            continue;
        }
        if (entry.File.SameFile(file)) {
            byIdentity.push_back(i);
        }
        // Records written before paths were canonical may spell the path another way.
        if (os::NamesFile(entry.Path, absolutePath)) {
            byPath.push_back(i);
        }
    }
    const Chain identityChain = ChainOf(entries, byIdentity, current);
    const Chain pathChain = ChainOf(entries, byPath, current);
    return Preferred(identityChain, pathChain, file, absolutePath).History;
}

std::optional<JournalEntry> LastOfIdentity(const std::vector<JournalEntry>& entries,
                                           const os::FileIdentity& file) {
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->Kind == RecordKind::Codes && entry->File.SameFile(file)) {
            return *entry;
        }
    }
    return std::nullopt;
}

std::optional<JournalEntry> LastIndexRecord(const std::vector<JournalEntry>& entries,
                                            const os::FileIdentity& file) {
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->Kind == RecordKind::Index && entry->State != EntryState::Undone &&
            entry->State != EntryState::Abandoned && entry->File.SameFile(file)) {
            return *entry;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> SizeChangedSince(const std::vector<JournalEntry>& entries,
                                             const os::FileIdentity& file) {
    const std::optional<JournalEntry> last = LastOfIdentity(entries, file);
    // An index rebuild (or its undoing) that left the file at its present size explains it.
    const std::optional<JournalEntry> index = LastIndexRecord(entries, file);
    if (index && index->Damage.empty() && index->NewSize == file.Size &&
        index->State == EntryState::Done) {
        return std::nullopt;
    }
    if (last && last->File.Size != file.Size &&
        (last->State == EntryState::Done || last->State == EntryState::Pending)) {
        return last->File.Size;
    }
    return std::nullopt;
}

std::vector<JournalEntry> CompactedEntries(const std::vector<JournalEntry>& entries) {
    std::vector<JournalEntry> kept;
    // The last kept record of each identity and of each path, at each size.
    std::map<IdentityKey, std::size_t> lastOfIdentity;
    std::map<PathKey, std::size_t> lastOfPath;
    for (const JournalEntry& entry : entries) {
        if (entry.State == EntryState::Undone) {
            continue;
        }
        const IdentityKey identity = IdentityOf(entry);
        const PathKey path{entry.Path, entry.File.Size};
        const auto byIdentity = lastOfIdentity.find(identity);
        const auto byPath = lastOfPath.find(path);
        // The record before it, both among its identity's and among its path's records.
        if (byIdentity != lastOfIdentity.end() && byPath != lastOfPath.end() &&
            byIdentity->second == byPath->second && Mergeable(kept[byPath->second], entry)) {
            JournalEntry& merged = kept[byPath->second];
            JournalEntry later = entry;
            later.From = merged.From;
            later.FromKind = merged.FromKind;
            later.Time = merged.Time;
            merged = std::move(later);
            continue;
        }
        lastOfIdentity[identity] = kept.size();
        lastOfPath[path] = kept.size();
        kept.push_back(entry);
    }
    return kept;
}

} // namespace vidtag
