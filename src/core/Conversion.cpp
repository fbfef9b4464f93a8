#include "Conversion.h"

#include "CodePatch.h"
#include "ConversionHistory.h"
#include "Journal.h"

#include <array>
#include <memory>

namespace vidtag {

TJournalReport JournalReport;

namespace {

// Read access too, so that the bytes can be checked before they are overwritten.
constexpr std::uint16_t kPatchMode = kModeReadWrite | kShareDenyNone;
constexpr int kLockWaitMs = 2000;

JournalUse Use = JournalUse::BestEffort;
std::unique_ptr<Journal> Opened;

// Clears the read-only attribute for the write and puts the attributes back on every path, once
// the file is closed. Failing to clear it is left to the open to report.
class WritableWhilePatching {
  public:
    WritableWhilePatching(const std::string& fileName, os::Attributes attributes)
        : FileName(fileName), Original(attributes),
          Changed(os::Files().IsReadOnly(attributes) &&
                  os::Files().SetAttributes(fileName.c_str(),
                                            os::Files().WithoutReadOnly(attributes))) {}
    ~WritableWhilePatching() {
        if (Changed) {
            os::Files().SetAttributes(FileName.c_str(), Original);
        }
    }
    WritableWhilePatching(const WritableWhilePatching&) = delete;
    WritableWhilePatching& operator=(const WritableWhilePatching&) = delete;

    // An interrupted conversion left the file with the read-only attribute cleared: the
    // attributes it recorded are the ones to put back.
    void RestoreTo(os::Attributes attributes) {
        Original = attributes;
        Changed = true;
    }
    os::Attributes Attributes() const { return Original; }

  private:
    const std::string& FileName;
    os::Attributes Original;
    bool Changed;
};

class FileLock {
  public:
    explicit FileLock(os::FileHandle handle)
        : handle_(handle), held_(os::Files().Lock(handle, kLockWaitMs)) {}
    ~FileLock() {
        if (held_) {
            os::Files().Unlock(handle_);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return held_; }

  private:
    os::FileHandle handle_;
    bool held_;
};

ConversionStatus JournalFailed(const Journal& journal) {
    JournalReport.Refused = Refusal::JournalFailed;
    JournalReport.JournalPath = journal.Path();
    JournalReport.Reason = journal.Error();
    return kStatusCannotWrite;
}

CodePair ReadPair(THandleStream64& stream, const JournalEntry& entry) {
    CodePair held{};
    ReadCodeAt(stream, entry.HandlerPos, held.Handler);
    if (entry.CompressionPos > 0) {
        ReadCodeAt(stream, entry.CompressionPos, held.Compression);
    }
    return held;
}

bool Mixed(CodePair held, const JournalEntry& entry) {
    return entry.CompressionPos > 0 &&
           ((held.Handler == entry.To.Handler && held.Compression == entry.From.Compression) ||
            (held.Handler == entry.From.Handler && held.Compression == entry.To.Compression));
}

// Decides from what the file holds how the recorded conversion ended. The attributes it
// recorded are put back in every case.
ConversionStatus Settle(THandleStream64& stream, Journal& journal, const JournalEntry& entry,
                        WritableWhilePatching& writable) {
    writable.RestoreTo(entry.Mode);
    const CodePair held = ReadPair(stream, entry);
    EntryState state = EntryState::Abandoned;
    Settlement settled = Settlement::Foreign;
    if (Holds(held, entry.To, entry.CompressionPos)) {
        state = EntryState::Done;
        settled = Settlement::Done;
    } else if (Holds(held, entry.From, entry.CompressionPos)) {
        state = EntryState::Undone;
        settled = Settlement::Undone;
    } else if (Mixed(held, entry)) {
        const std::array<Slot, 2> slots{
            {{entry.HandlerPos, held.Handler, entry.From.Handler},
             {entry.CompressionPos, held.Compression, entry.From.Compression}}};
        if (PatchCodes(stream, slots.data(), slots.size()) != kStatusDone) {
            return kStatusCannotWrite;
        }
        state = EntryState::Undone;
        settled = Settlement::Repaired;
    }
    if (!journal.Settle(entry, state) && Use == JournalUse::Required) {
        return JournalFailed(journal);
    }
    JournalReport.Settled = settled;
    JournalReport.SettledKind = entry.ToKind;
    return settled == Settlement::Foreign ? kStatusFileChanged : kStatusDone;
}

} // namespace

void SetJournalUse(JournalUse use) noexcept {
    Use = use;
}

Journal* CurrentJournal() {
    if (Use == JournalUse::Off) {
        return nullptr;
    }
    const std::string path = JournalPath();
    if (!Opened || Opened->Path() != path) {
        Opened = std::make_unique<Journal>(path);
    }
    const bool read = Opened->Refresh();
    JournalReport.SkippedLines = Opened->SkippedLines();
    if (!read) {
        if (Use == JournalUse::Required) {
            JournalFailed(*Opened);
        }
        return nullptr;
    }
    return Opened.get();
}

ConversionStatus LockedWrite(const std::string& fileName, WriteMode mode, CodecKind kind) {
    TEngineState& state = EngineState;
    // Without the attributes they could not be put back after the read-only one was cleared.
    os::Attributes attributes = 0;
    if (!os::Files().GetAttributes(fileName.c_str(), attributes)) {
        return kStatusCannotWrite;
    }
    WritableWhilePatching writable(fileName, attributes);
    std::unique_ptr<TFileStream64> stream;
    try {
        stream = std::make_unique<TFileStream64>(fileName, kPatchMode);
    } catch (...) {
        return kStatusCannotWrite;
    }
    const FileLock lock(stream->Handle);
    if (!lock.Held()) {
        JournalReport.Refused = Refusal::LockBusy;
        return kStatusCannotWrite;
    }
    Journal* journal = CurrentJournal();
    if (journal == nullptr && JournalReport.Refused == Refusal::JournalFailed) {
        return kStatusCannotWrite;
    }
    os::FileIdentity identity;
    if (journal != nullptr && !os::Files().Identify(stream->Handle, identity)) {
        journal = nullptr;
    }
    const std::string absolute = journal != nullptr ? AbsolutePath(fileName) : fileName;
    if (journal != nullptr) {
        const FileHistory seen = HistoryOf(journal->Entries(), identity, absolute, {});
        if (seen.Last && seen.Last->State == EntryState::Pending) {
            const ConversionStatus settled = Settle(*stream, *journal, *seen.Last, writable);
            if (settled != kStatusDone) {
                return settled;
            }
        }
    }
    if (mode == WriteMode::Settle) {
        return kStatusDone;
    }

    JournalEntry entry;
    entry.HandlerPos = state.HandlerPos;
    entry.CompressionPos = state.CompressionPos;
    entry.From = {state.CurrentHandler, state.CurrentCompression};
    entry.FromKind = state.CurrentKind;
    CodePair wanted{};
    if (mode == WriteMode::Restore) {
        const FileHistory recorded = journal != nullptr
                                         ? HistoryOf(journal->Entries(), identity, absolute, {})
                                         : FileHistory{};
        if (!recorded.Last) {
            JournalReport.Refused = Refusal::NothingRecorded;
            return kStatusDone;
        }
        entry.HandlerPos = recorded.Last->HandlerPos;
        entry.CompressionPos = recorded.Last->CompressionPos;
        entry.From = ReadPair(*stream, *recorded.Last);
        entry.FromKind = ClassifyCodec(entry.From.Handler, entry.From.Compression);
        const FileHistory history = HistoryOf(journal->Entries(), identity, absolute, entry.From);
        if (history.Broken || !history.Original) {
            JournalReport.Refused = Refusal::CodesChanged;
            return kStatusFileChanged;
        }
        wanted = history.Original->From;
        kind = history.Original->FromKind;
    } else {
        const FileHistory history =
            journal != nullptr ? HistoryOf(journal->Entries(), identity, absolute, entry.From)
                               : FileHistory{};
        wanted = history.Original && history.Original->FromKind == kind ? history.Original->From
                 : kind == state.OriginalKind
                     ? CodePair{state.OriginalHandler, state.OriginalCompression}
                     : CodePairOf(kind);
    }
    const std::size_t count = entry.CompressionPos > 0 ? 2 : 1;
    entry.To = {wanted.Handler, count == 2 ? wanted.Compression : entry.From.Compression};
    entry.ToKind = kind;
    entry.Path = absolute;
    entry.File = identity;
    entry.Mode = writable.Attributes();
    if (journal != nullptr && !journal->Begin(entry)) {
        if (Use == JournalUse::Required) {
            return JournalFailed(*journal);
        }
        journal = nullptr;
    }
    const std::array<Slot, 2> slots{{
        {entry.HandlerPos, entry.From.Handler, entry.To.Handler},
        {entry.CompressionPos, entry.From.Compression, entry.To.Compression},
    }};
    const ConversionStatus status = PatchCodes(*stream, slots.data(), count);
    // Lost marks cost nothing: recovery tells from the file how the conversion ended.
    if (journal != nullptr) {
        journal->Settle(entry, status == kStatusDone ? EntryState::Done : EntryState::Undone);
    }
    if (status == kStatusDone) {
        state.CurrentKind = kind;
        state.CurrentHandler = entry.To.Handler;
        state.CurrentCompression = entry.To.Compression;
    }
    return status;
}

} // namespace vidtag
