#include "engine/Conversion.h"

#include "engine/CodePatch.h"
#include "engine/ContainerFace.h"
#include "engine/FileLock.h"
#include "engine/RecordEvidence.h"
#include "journal/ConversionHistory.h"
#include "journal/Journal.h"
#include "os/Paths.h"
#include "os/SystemError.h"

#include <array>
#include <memory>
#include <optional>

namespace vidtag {

namespace {

// Read access too, so that the bytes can be checked before they are overwritten.
constexpr std::uint16_t kPatchMode = kModeReadWrite | kShareDenyNone;
// The lock is taken on a handle that only reads, so that a read-only file is locked, and its
// conversion recorded, before its attribute is cleared.
constexpr std::uint16_t kLockMode = kModeRead | kShareDenyNone;

// Each thread keeps its own copy of the journal read so far: analyses on several threads read
// it at once, and none waits for another's refresh.
thread_local std::unique_ptr<Journal> Opened;

// The file opened for writing only once the journal holds its attributes: the read-only one is
// cleared for the write, and the attributes go back when the file is closed, on every path.
// Where the lock needed a writing handle, that handle is the one written through: closing any
// other descriptor of the file would drop a lock the file system emulates per process.
class WritableFile {
  public:
    WritableFile(WriteCall& call, const std::string& fileName, os::Attributes attributes,
                 THandleStream64& locked, bool lockedWritable)
        : Call(call), FileName(fileName), Original(attributes), Locked(locked),
          LockedWritable(lockedWritable) {
        if (Call.Options.KeepTime) {
            TimeKnown = os::Files().GetModifiedTime(locked.Handle, Time);
            TimeError = TimeKnown ? 0 : os::LastSystemError();
        }
    }
    ~WritableFile() { Close(); }
    WritableFile(const WritableFile&) = delete;
    WritableFile& operator=(const WritableFile&) = delete;

    // Nullptr when the file cannot be opened for writing.
    THandleStream64* Stream() {
        if (Writing == nullptr && LockedWritable) {
            Writing = &Locked;
        } else if (Writing == nullptr) {
            // Failing to clear the attribute is left to the open to report.
            os::FileLayer& files = os::Files();
            if (files.IsReadOnly(Original) &&
                files.SetAttributes(FileName.c_str(), files.WithoutReadOnly(Original))) {
                PutBack = true;
            }
            try {
                Opened = std::make_unique<TFileStream64>(FileName, kPatchMode);
                Writing = Opened.get();
            } catch (...) {
            }
        }
        Wrote = Wrote || Writing != nullptr;
        return Writing;
    }
    // The time goes back through the writing handle, before the attributes: a read-only file
    // refuses any other way of setting it.
    void Close() {
        if (Writing != nullptr && Call.Options.KeepTime &&
            (!TimeKnown || !os::Files().SetModifiedTime(Writing->Handle, Time))) {
            Call.Report.TimeError = TimeKnown ? os::LastSystemError() : TimeError;
        }
        Writing = nullptr;
        Opened.reset();
        if (PutBack) {
            os::Files().SetAttributes(FileName.c_str(),
                                      Wrote ? os::Files().AfterWriting(Original) : Original);
            PutBack = false;
        }
    }
    // An interrupted conversion left the file with the read-only attribute cleared: the
    // attributes it recorded are the ones to put back, as after a write when it wrote.
    void RestoreTo(os::Attributes attributes, bool written) {
        Original = attributes;
        PutBack = true;
        Wrote = Wrote || written;
    }
    os::Attributes Attributes() const { return Original; }

  private:
    WriteCall& Call;
    const std::string& FileName;
    os::Attributes Original;
    THandleStream64& Locked;
    bool LockedWritable;
    // Two separate facts: the attributes must be put back at the close (this object cleared the
    // read-only one, or recovery asked for the recorded ones), and the file was written.
    bool PutBack = false;
    bool Wrote = false;
    bool TimeKnown = false;
    int TimeError = 0;
    os::FileTime Time = 0;
    THandleStream64* Writing = nullptr;
    std::unique_ptr<TFileStream64> Opened;
};

// The handle the lock is held on; the lock goes before the handle closes.
struct LockedFile {
    std::unique_ptr<TFileStream64> Stream;
    bool Writable = false;
    FileLock Lock;
};

ConversionStatus LockRefused(WriteCall& call, Refusal refusal, int error) {
    call.Report.Refused = refusal;
    call.Report.LockError = error;
    return kStatusCannotWrite;
}

// The lock policy. The lock is first taken on a handle that only reads (see kLockMode). A file
// system that grants exclusive locks only to writing handles (NFS, which emulates flock with a
// whole-file POSIX lock, answers EBADF) gets a handle that reads and writes, opened as the file
// is, when the file is not read-only. A read-only file on such a file system is refused with
// that reason: clearing its attribute before the journal holds the record would leave it
// writable for good if the process died in between, and converting it without the lock would
// let a second conversion mix its codes in. Any other failure is refused with the system's
// reason; only a holder that did not let go counts as another conversion.
ConversionStatus TakeLock(WriteCall& call, const std::string& fileName, os::Attributes attributes,
                          LockedFile& locked) {
    try {
        locked.Stream = std::make_unique<TFileStream64>(fileName, kLockMode);
    } catch (...) {
        return kStatusCannotWrite;
    }
    if (locked.Lock.Take(locked.Stream->Handle)) {
        return kStatusDone;
    }
    int error = locked.Lock.Error;
    if (os::LockNeedsWriteAccess(error)) {
        if (os::Files().IsReadOnly(attributes)) {
            return LockRefused(call, Refusal::LockNeedsWriting, error);
        }
        locked.Stream.reset();
        try {
            locked.Stream = std::make_unique<TFileStream64>(fileName, kPatchMode);
        } catch (...) {
            return LockRefused(call, Refusal::LockFailed, os::LastSystemError());
        }
        if (locked.Lock.Take(locked.Stream->Handle)) {
            locked.Writable = true;
            return kStatusDone;
        }
        error = locked.Lock.Error;
    }
    if (os::IsLockBusy(error)) {
        call.Report.Refused = Refusal::LockBusy;
        return kStatusCannotWrite;
    }
    return LockRefused(call, Refusal::LockFailed, error);
}

ConversionStatus JournalFailed(WriteCall& call, const Journal& journal) {
    call.Report.Refused = Refusal::JournalFailed;
    call.Report.JournalPath = journal.Shown();
    call.Report.Reason = journal.Error();
    return kStatusCannotWrite;
}

ConversionStatus RecordDamaged(WriteCall& call, const Journal& journal, const std::string& damage) {
    call.Report.Refused = Refusal::RecordDamaged;
    call.Report.JournalPath = journal.Shown();
    call.Report.Reason = damage;
    return kStatusCannotWrite;
}

// Why a record cannot be acted on in this file: its positions are not the ones the analysis
// finds, or it would have Vidtag write a pair it never writes; empty when it can.
std::string Unconfirmed(const JournalEntry& entry, const CodePlaces& places, CodePair written,
                        CodecKind kind) {
    if (std::string misplaced = PlaceMismatch(entry, places); !misplaced.empty()) {
        return misplaced;
    }
    if (!WritablePair(written, kind, entry.CompressionPos > 0)) {
        return FourCCToString(written.Handler) + "/" + FourCCToString(written.Compression) +
               " are no codes of " + std::to_string(kind) + " that a conversion writes";
    }
    return {};
}

CodePair ReadPair(THandleStream64& stream, const JournalEntry& entry) {
    CodePair held{};
    ReadCodeAt(stream, entry.HandlerPos, held.Handler);
    if (entry.CompressionPos > 0) {
        ReadCodeAt(stream, entry.CompressionPos, held.Compression);
    }
    return held;
}

// Whether the file reads back holding the codes at the entry's positions.
bool ReadsBack(THandleStream64& stream, const JournalEntry& entry, CodePair codes) {
    CodePair held{};
    return ReadCodeAt(stream, entry.HandlerPos, held.Handler) &&
           (entry.CompressionPos == 0 ||
            ReadCodeAt(stream, entry.CompressionPos, held.Compression)) &&
           Holds(held, codes, entry.CompressionPos);
}

// Codes closer than their own size would be written over each other.
bool FieldsApart(const JournalEntry& entry) {
    const std::int64_t distance = entry.HandlerPos - entry.CompressionPos;
    return entry.CompressionPos == 0 || distance >= 4 || distance <= -4;
}

bool Mixed(CodePair held, const JournalEntry& entry) {
    return entry.CompressionPos > 0 &&
           ((held.Handler == entry.To.Handler && held.Compression == entry.From.Compression) ||
            (held.Handler == entry.From.Handler && held.Compression == entry.To.Compression));
}

// A restore that finds no record at the file's size: a record of this very file at another size
// means the file was changed since, which the user must hear rather than "nothing recorded".
ConversionStatus NothingRecorded(WriteCall& call, const Journal* journal,
                                 const os::FileIdentity& identity) {
    const std::optional<std::int64_t> recorded =
        journal != nullptr ? SizeChangedSince(journal->Entries(), identity) : std::nullopt;
    if (recorded) {
        call.Report.Refused = Refusal::SizeChanged;
        call.Report.RecordedSize = *recorded;
        call.Report.PresentSize = identity.Size;
        return kStatusFileChanged;
    }
    call.Report.Refused = Refusal::NothingRecorded;
    return kStatusDone;
}

// Decides from what the file holds how the recorded conversion ended, once the file confirms the
// record's positions. The attributes it recorded are put back where they are sound.
ConversionStatus Settle(WriteCall& call, THandleStream64& reader, Journal& journal,
                        const JournalEntry& entry, WritableFile& writable) {
    const std::string unconfirmed =
        Unconfirmed(entry, FindCodePlaces(reader), entry.From, entry.FromKind);
    if (!unconfirmed.empty()) {
        return RecordDamaged(call, journal, unconfirmed);
    }
    const CodePair held = ReadPair(reader, entry);
    // A recorded mode goes back only as far as the conversion itself changed it.
    std::string modeLeft;
    const os::Attributes mode = SettledAttributes(entry, writable.Attributes(), modeLeft);
    call.Report.ModeLeft = modeLeft;
    if (modeLeft.empty()) {
        writable.RestoreTo(mode, Holds(held, entry.To, entry.CompressionPos));
    }
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
    if (!journal.Settle(entry, state) && call.Options.Journal == JournalUse::Required) {
        return JournalFailed(call, journal);
    }
    call.Report.Settled = settled;
    call.Report.SettledKind = entry.ToKind;
    call.Report.SettledHeld = held;
    return settled == Settlement::Foreign ? kStatusFileChanged : kStatusDone;
}

} // namespace

ConversionStatus ProbeLock(WriteCall& call, const std::string& fileName) {
    os::Attributes attributes = 0;
    if (!os::Files().GetAttributes(fileName.c_str(), attributes)) {
        return kStatusCannotWrite;
    }
    LockedFile locked;
    return TakeLock(call, fileName, attributes, locked);
}

Journal* CurrentJournal(WriteCall& call) {
    if (call.Options.Journal == JournalUse::Off) {
        return nullptr;
    }
    const std::string path =
        call.Options.JournalFile.empty() ? JournalPath() : call.Options.JournalFile;
    if (!Opened || Opened->Path() != path) {
        Opened = std::make_unique<Journal>(path);
    }
    // Whatever the call then says of the journal's records names the journal it consulted.
    call.Report.JournalPath = Opened->Shown();
    const bool read = Opened->Refresh();
    call.Report.SkippedLines = Opened->SkippedLines();
    if (!read) {
        if (call.Options.Journal == JournalUse::Required) {
            JournalFailed(call, *Opened);
        }
        return nullptr;
    }
    return Opened.get();
}

ConversionStatus LockedWrite(WriteCall& call, const std::string& fileName, WriteMode mode,
                             CodecKind kind) {
    TEngineState& state = call.State;
    // Without the attributes they could not be put back after the read-only one was cleared.
    os::Attributes attributes = 0;
    if (!os::Files().GetAttributes(fileName.c_str(), attributes)) {
        return kStatusCannotWrite;
    }
    LockedFile locked;
    if (const ConversionStatus taken = TakeLock(call, fileName, attributes, locked);
        taken != kStatusDone) {
        return taken;
    }
    THandleStream64& stream = *locked.Stream;
    Journal* journal = CurrentJournal(call);
    if (journal == nullptr && call.Report.Refused == Refusal::JournalFailed) {
        return kStatusCannotWrite;
    }
    os::FileIdentity identity;
    const bool identified = os::Files().Identify(stream.Handle, identity);
    // The positions are the last analysis's: in any other file they point at other bytes.
    if (mode == WriteMode::Convert && !identified) {
        return kStatusCannotWrite;
    }
    if (mode == WriteMode::Convert && !identity.SameFile(state.AnalysedFile)) {
        return kStatusFileChanged;
    }
    if (!identified) {
        journal = nullptr;
    }
    const std::string absolute = journal != nullptr ? os::CanonicalPath(fileName) : fileName;
    WritableFile writable(call, fileName, attributes, stream, locked.Writable);
    if (journal != nullptr) {
        const FileHistory seen = HistoryOf(journal->Entries(), identity, absolute, {});
        // Only this very file is settled: a file that merely took the path of an interrupted one
        // has codes the record knows nothing about.
        if (seen.Last && seen.Last->State == EntryState::Pending &&
            seen.Last->File.SameFile(identity)) {
            if (!seen.Last->Damage.empty()) {
                return RecordDamaged(call, *journal, seen.Last->Damage);
            }
            const ConversionStatus settled = Settle(call, stream, *journal, *seen.Last, writable);
            if (settled != kStatusDone) {
                return settled;
            }
        }
    }
    if (mode == WriteMode::Settle) {
        return kStatusDone;
    }

    // The codes as the journal records them: a container with one code has it written and
    // recorded in the handler's fields.
    const ContainerFace& face = FaceOf(state);
    const RecordedCodes analysed = face.Record(state);
    JournalEntry entry;
    entry.HandlerPos = analysed.Places.HandlerPos;
    entry.CompressionPos = analysed.Places.CompressionPos;
    entry.From = analysed.Codes;
    entry.FromKind = state.CurrentKind;
    // Another process may have converted the file between the analysis and the lock: then the
    // analysed codes are gone, and a record of them would describe a conversion that never was.
    // Codes that cannot be read here are left to the write, which tells a short file from a
    // failed read.
    if (mode == WriteMode::Convert) {
        CodePair held{};
        const bool read = ReadCodeAt(stream, entry.HandlerPos, held.Handler) &&
                          (entry.CompressionPos == 0 ||
                           ReadCodeAt(stream, entry.CompressionPos, held.Compression));
        if (read && !Holds(held, entry.From, entry.CompressionPos)) {
            return kStatusFileChanged;
        }
    }
    CodePair wanted{};
    if (mode == WriteMode::Restore) {
        const FileHistory recorded = journal != nullptr
                                         ? HistoryOf(journal->Entries(), identity, absolute, {})
                                         : FileHistory{};
        if (!recorded.Last) {
            return NothingRecorded(call, journal, identity);
        }
        if (!recorded.Damage.empty()) {
            return RecordDamaged(call, *journal, recorded.Damage);
        }
        // Positions that are not the file's own make the codes read there meaningless.
        const CodePlaces places = FindCodePlaces(stream);
        if (const std::string why = PlaceMismatch(*recorded.Last, places); !why.empty()) {
            return RecordDamaged(call, *journal, why);
        }
        entry.HandlerPos = recorded.Last->HandlerPos;
        entry.CompressionPos = recorded.Last->CompressionPos;
        entry.From = ReadPair(stream, *recorded.Last);
        entry.FromKind = face.Classify(entry.From, call.Options.Rule);
        const FileHistory history = HistoryOf(journal->Entries(), identity, absolute, entry.From);
        if (!history.Damage.empty()) {
            return RecordDamaged(call, *journal, history.Damage);
        }
        if (history.Broken || !history.Original) {
            call.Report.Refused = Refusal::CodesChanged;
            return kStatusFileChanged;
        }
        wanted = history.Original->From;
        kind = history.Original->FromKind;
        for (const JournalEntry* record : {&*history.Last, &*history.Original}) {
            if (const std::string why = Unconfirmed(*record, places, wanted, kind); !why.empty()) {
                return RecordDamaged(call, *journal, why);
            }
        }
    } else {
        const FileHistory history =
            journal != nullptr ? HistoryOf(journal->Entries(), identity, absolute, entry.From)
                               : FileHistory{};
        const bool recordedOriginal = history.Original && history.Original->FromKind == kind;
        wanted = recordedOriginal ? history.Original->From : face.Writes(state, kind);
        CodePlaces places = analysed.Places;
        places.Found = true;
        if (recordedOriginal) {
            for (const JournalEntry* record : {&*history.Last, &*history.Original}) {
                if (const std::string why = Unconfirmed(*record, places, wanted, kind);
                    !why.empty()) {
                    return RecordDamaged(call, *journal, why);
                }
            }
        }
    }
    const std::size_t count = entry.CompressionPos > 0 ? 2 : 1;
    entry.To = {wanted.Handler, count == 2 ? wanted.Compression : entry.From.Compression};
    entry.ToKind = kind;
    entry.Path = absolute;
    entry.File = identity;
    entry.Mode = writable.Attributes();
    if (!FieldsApart(entry)) {
        call.Report.Refused = Refusal::FieldsOverlap;
        return kStatusCannotWrite;
    }
    const bool begun = journal != nullptr && journal->Begin(entry);
    if (journal != nullptr) {
        call.Report.JournalNotice = journal->Notice();
        if (!journal->Notice().empty()) {
            call.Report.JournalPath = journal->Shown();
        }
    }
    if (journal != nullptr && !begun) {
        if (call.Options.Journal == JournalUse::Required) {
            return JournalFailed(call, *journal);
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
    // Only a failed write can leave new codes behind, and its undo may have failed as well (the
    // medium gone): unless the file reads back holding the old codes, the record stays pending
    // for recovery to settle from what the file holds then.
    const bool ended =
        status != kStatusCannotWrite || out == nullptr || ReadsBack(*out, entry, entry.From);
    // The attributes go back before the conversion is marked as ended: until then, recovery puts
    // them back.
    writable.Close();
    // Lost marks cost nothing: recovery tells from the file how the conversion ended.
    if (journal != nullptr && ended) {
        journal->Settle(entry, status == kStatusDone ? EntryState::Done : EntryState::Undone);
    }
    if (status == kStatusDone) {
        const CodePair now = face.Held(entry.To);
        state.CurrentKind = kind;
        state.CurrentHandler = now.Handler;
        state.CurrentCompression = now.Compression;
    }
    return status;
}

} // namespace vidtag
