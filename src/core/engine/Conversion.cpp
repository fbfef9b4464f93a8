#include "engine/Conversion.h"

#include "engine/CodePatch.h"
#include "journal/ConversionHistory.h"
#include "journal/Journal.h"

#include <array>
#include <memory>

namespace vidtag {

TJournalReport JournalReport;

namespace {

// Read access too, so that the bytes can be checked before they are overwritten.
constexpr std::uint16_t kPatchMode = kModeReadWrite | kShareDenyNone;
// The lock is taken on a handle that only reads, so that a read-only file is locked, and its
// conversion recorded, before its attribute is cleared.
constexpr std::uint16_t kLockMode = kModeRead | kShareDenyNone;
constexpr int kLockWaitMs = 2000;

JournalUse Use = JournalUse::BestEffort;
std::unique_ptr<Journal> Opened;

// The file opened for writing only once the journal holds its attributes: the read-only one is
// cleared for the write, and the attributes go back when the file is closed, on every path.
class WritableFile {
  public:
    WritableFile(const std::string& fileName, os::Attributes attributes)
        : FileName(fileName), Original(attributes) {}
    ~WritableFile() { Close(); }
    WritableFile(const WritableFile&) = delete;
    WritableFile& operator=(const WritableFile&) = delete;

    // Nullptr when the file cannot be opened for writing.
    THandleStream64* Stream() {
        if (!Opened) {
            // Failing to clear the attribute is left to the open to report.
            Changed = Changed || (os::Files().IsReadOnly(Original) &&
                                  os::Files().SetAttributes(FileName.c_str(),
                                                            os::Files().WithoutReadOnly(Original)));
            try {
                Opened = std::make_unique<TFileStream64>(FileName, kPatchMode);
            } catch (...) {
            }
        }
        return Opened.get();
    }
    void Close() {
        Opened.reset();
        if (Changed) {
            os::Files().SetAttributes(FileName.c_str(), Original);
            Changed = false;
        }
    }
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
    bool Changed = false;
    std::unique_ptr<TFileStream64> Opened;
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
    JournalReport.JournalPath = journal.Shown();
    JournalReport.Reason = journal.Error();
    return kStatusCannotWrite;
}

ConversionStatus RecordDamaged(const std::string& damage) {
    JournalReport.Refused = Refusal::RecordDamaged;
    JournalReport.Reason = damage;
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
ConversionStatus Settle(THandleStream64& reader, Journal& journal, const JournalEntry& entry,
                        WritableFile& writable) {
    writable.RestoreTo(entry.Mode);
    const CodePair held = ReadPair(reader, entry);
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
        THandleStream64* stream = writable.Stream();
        if (stream == nullptr || PatchCodes(*stream, slots.data(), slots.size()) != kStatusDone) {
            return kStatusCannotWrite;
        }
        writable.Close();
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

void UseJournal(JournalUse use) {
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
    std::unique_ptr<TFileStream64> stream;
    try {
        stream = std::make_unique<TFileStream64>(fileName, kLockMode);
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
    WritableFile writable(fileName, attributes);
    if (journal != nullptr) {
        const FileHistory seen = HistoryOf(journal->Entries(), identity, absolute, {});
        // Only this very file is settled: a file that merely took the path of an interrupted one
        // has codes the record knows nothing about.
        if (seen.Last && seen.Last->State == EntryState::Pending &&
            seen.Last->File.SameFile(identity)) {
            if (!seen.Last->Damage.empty()) {
                return RecordDamaged(seen.Last->Damage);
            }
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
        if (!recorded.Damage.empty()) {
            return RecordDamaged(recorded.Damage);
        }
        entry.HandlerPos = recorded.Last->HandlerPos;
        entry.CompressionPos = recorded.Last->CompressionPos;
        entry.From = ReadPair(*stream, *recorded.Last);
        entry.FromKind = Classify(entry.From.Handler, entry.From.Compression, AnalysisRule);
        const FileHistory history = HistoryOf(journal->Entries(), identity, absolute, entry.From);
        if (!history.Damage.empty()) {
            return RecordDamaged(history.Damage);
        }
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
    THandleStream64* out = writable.Stream();
    const ConversionStatus status =
        out != nullptr ? PatchCodes(*out, slots.data(), count) : kStatusCannotWrite;
    // The attributes go back before the conversion is marked as ended: until then, recovery puts
    // them back.
    writable.Close();
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
