#include "engine/IndexJob.h"

#include "engine/Conversion.h"
#include "engine/FileAnalysis.h"
#include "engine/FileLock.h"
#include "journal/ConversionHistory.h"
#include "journal/Journal.h"
#include "os/FileLayer.h"
#include "os/Paths.h"
#include "os/SystemError.h"
#include "os/Utf8Path.h"
#include "video/IntraFrame.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

namespace vidtag {

namespace {

// Written in pieces of this size: a stream passes on 32 bits of a count.
constexpr std::size_t kWritePiece = 1024 * 1024;

// The file opened for reading and writing, under the same lock a retag takes; a read-only file
// is refused rather than made writable, so that nothing but its bytes can change.
struct LockedTarget {
    std::unique_ptr<TFileStream64> Stream;
    FileLock Lock;
};

bool OpenLocked(const std::string& path, IndexResult& result, LockedTarget& target) {
    os::RememberSystemError(0);
    if (!FileIsReadable(path)) {
        result.Reason = IndexReason::NotFound;
        result.SystemError = os::LastSystemError();
        return false;
    }
    os::RememberSystemError(0);
    try {
        target.Stream = std::make_unique<TFileStream64>(path, kModeReadWrite | kShareDenyNone);
    } catch (...) {
        result.Reason = IndexReason::CannotWrite;
        result.SystemError = os::LastSystemError();
        return false;
    }
    if (!target.Lock.Take(target.Stream->Handle)) {
        const int error = target.Lock.Error;
        result.Reason = os::IsLockBusy(error) ? IndexReason::LockBusy : IndexReason::LockFailed;
        result.SystemError = error;
        return false;
    }
    return true;
}

Journal* OpenJournal(const JobOptions& options, IndexResult& result) {
    TEngineState none;
    TJournalReport report;
    WriteCall call{none, options, report};
    Journal* journal = CurrentJournal(call);
    result.JournalPath = report.JournalPath;
    if (journal == nullptr && report.Refused == Refusal::JournalFailed) {
        result.Reason = IndexReason::JournalFailed;
        result.JournalError = report.Reason;
    }
    return journal;
}

bool ReadAt(TStream64& stream, std::int64_t pos, std::size_t size, std::string& bytes) {
    bytes.assign(size, '\0');
    return stream.Seek(pos, 0) == pos &&
           stream.Read(bytes.data(), static_cast<std::int64_t>(size)) ==
               static_cast<std::int64_t>(size);
}

bool WriteAt(TStream64& stream, std::int64_t pos, const std::string& bytes) {
    if (stream.Seek(pos, 0) != pos) {
        return false;
    }
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t piece = std::min(kWritePiece, bytes.size() - done);
        os::ClearLastError();
        if (stream.Write(bytes.data() + done, static_cast<std::int64_t>(piece)) !=
            static_cast<std::int64_t>(piece)) {
            return false;
        }
        done += piece;
    }
    return true;
}

bool Truncate(THandleStream64& stream, std::int64_t length) {
    return stream.Seek(length, 0) == length && os::Files().SetEndOfFile(stream.Handle);
}

// Whether each change holds its `after` bytes (or, when either is allowed, one of the two).
enum class Holding : std::uint8_t { After, Before, Mixed, Other };

Holding HeldBy(TStream64& stream, const std::vector<ByteChange>& changes) {
    bool after = true;
    bool before = true;
    for (const ByteChange& change : changes) {
        std::string held;
        if (!ReadAt(stream, change.Pos, change.After.size(), held)) {
            return Holding::Other;
        }
        after = after && held == change.After;
        before = before && held == change.Before;
        if (held != change.After && held != change.Before) {
            return Holding::Other;
        }
    }
    return after ? Holding::After : before ? Holding::Before : Holding::Mixed;
}

// Writes either side of every change and sets the length: the whole file one of its two states.
bool Apply(THandleStream64& stream, const std::vector<ByteChange>& changes, bool after,
           std::int64_t length) {
    for (const ByteChange& change : changes) {
        if (!WriteAt(stream, change.Pos, after ? change.After : change.Before)) {
            return false;
        }
    }
    return stream.GetSize() == length || Truncate(stream, length);
}

// An interrupted rebuild goes back to the file before it; an interrupted undoing is finished:
// both records hold every byte either needs, and the appended index goes with the length.
void SettlePending(THandleStream64& stream, Journal& journal, const os::FileIdentity& identity,
                   IndexResult& result) {
    const std::optional<JournalEntry> last = LastIndexRecord(journal.Entries(), identity);
    if (!last || last->State != EntryState::Pending) {
        return;
    }
    if (!last->Damage.empty()) {
        result.Reason = IndexReason::RecordDamaged;
        result.JournalError = last->Damage;
        return;
    }
    const bool undoing = !last->UndoesId.empty();
    const std::int64_t length = stream.GetSize();
    const Holding held = HeldBy(stream, last->Changes);
    if (!undoing && held == Holding::After && length == last->NewSize) {
        journal.Settle(*last, EntryState::Done);
        result.Settled = IndexSettled::Finished;
        return;
    }
    if (held == Holding::Other || length < std::min(last->File.Size, last->NewSize)) {
        journal.Settle(*last, EntryState::Abandoned);
        result.Settled = IndexSettled::Foreign;
        return;
    }
    const std::int64_t target = undoing ? last->NewSize : last->File.Size;
    if (!Apply(stream, last->Changes, undoing, target)) {
        result.Reason = IndexReason::UndoFailed;
        result.SystemError = os::LastSystemError();
        return;
    }
    journal.Settle(*last, undoing ? EntryState::Done : EntryState::Undone);
    if (const JournalEntry* rebuild = undoing ? journal.Find(last->UndoesId) : nullptr) {
        journal.Settle(*rebuild, EntryState::Undone);
    }
    result.Settled = undoing ? IndexSettled::RolledOn : IndexSettled::RolledBack;
}

IndexReason ReasonOf(avi::IndexRefusal refusal) {
    switch (refusal) {
    case avi::IndexRefusal::None:
        return IndexReason::None;
    case avi::IndexRefusal::Healthy:
        return IndexReason::Whole;
    case avi::IndexRefusal::NotAvi:
        return IndexReason::NotAvi;
    case avi::IndexRefusal::OpenDml:
        return IndexReason::OpenDml;
    case avi::IndexRefusal::NoMovieList:
        return IndexReason::NoMovieList;
    case avi::IndexRefusal::NoVideoChunk:
        return IndexReason::NoVideoChunk;
    case avi::IndexRefusal::DamagedList:
        return IndexReason::DamagedList;
    case avi::IndexRefusal::ReadFailed:
        return IndexReason::ReadFailed;
    }
    return IndexReason::ReadFailed;
}

// The space free where the file is, or -1 when the system does not say.
std::int64_t FreeSpace(const std::string& path) {
    std::error_code error;
    const std::filesystem::path where = os::PathFromUtf8(os::CanonicalPath(path)).parent_path();
    const std::filesystem::space_info space = std::filesystem::space(where, error);
    return error ? -1 : static_cast<std::int64_t>(space.available);
}

// The job's common start: the file locked, the journal read, an interrupted job settled.
struct Started {
    LockedTarget Target;
    Journal* Records = nullptr;
    os::FileIdentity Identity;
};

bool Start(const std::string& path, const JobOptions& options, IndexResult& result,
           Started& started) {
    if (!OpenLocked(path, result, started.Target)) {
        return false;
    }
    THandleStream64& stream = *started.Target.Stream;
    if (!os::Files().Identify(stream.Handle, started.Identity)) {
        result.Reason = IndexReason::ReadFailed;
        result.SystemError = os::LastSystemError();
        return false;
    }
    if (options.Journal == JournalUse::Off || options.DryRun) {
        return true;
    }
    started.Records = OpenJournal(options, result);
    if (started.Records == nullptr) {
        return result.Reason == IndexReason::None;
    }
    SettlePending(stream, *started.Records, started.Identity, result);
    started.Identity.Size = stream.GetSize();
    return result.Reason == IndexReason::None;
}

// The modification time, kept through the handle that wrote when asked.
struct KeptTime {
    KeptTime(const JobOptions& options, os::FileHandle handle) : handle_(handle) {
        known_ = options.KeepTime && os::Files().GetModifiedTime(handle, time_);
    }
    ~KeptTime() {
        if (known_) {
            os::Files().SetModifiedTime(handle_, time_);
        }
    }
    KeptTime(const KeptTime&) = delete;
    KeptTime& operator=(const KeptTime&) = delete;

  private:
    os::FileHandle handle_;
    os::FileTime time_ = 0;
    bool known_ = false;
};

// The record goes on the disk before the first byte; without the journal (when it is off, or
// merely hoped for and failing) the write goes on unrecorded.
bool Record(Journal*& journal, JournalEntry& entry, const JobOptions& options,
            IndexResult& result) {
    if (journal != nullptr && !journal->Begin(entry)) {
        if (options.Journal == JournalUse::Required) {
            result.Reason = IndexReason::JournalFailed;
            result.JournalPath = journal->Shown();
            result.JournalError = journal->Error();
            return false;
        }
        journal = nullptr;
    }
    return true;
}

void WritePlan(const std::string& path, const JobOptions& options, IndexResult& result,
               Started& started) {
    THandleStream64& stream = *started.Target.Stream;
    const avi::IndexPlan& plan = result.Plan;
    result.Needed = static_cast<std::int64_t>(plan.Tail.size());
    result.Available = FreeSpace(path);
    if (result.Available >= 0 && result.Available < result.Needed) {
        result.Reason = IndexReason::NoSpace;
        return;
    }
    JournalEntry entry;
    entry.Kind = RecordKind::Index;
    entry.Path = os::CanonicalPath(path);
    entry.File = started.Identity;
    entry.File.Size = plan.Length;
    entry.NewSize = plan.NewLength;
    for (const avi::FieldChange& change : plan.Changes) {
        entry.Changes.push_back({change.Pos, change.Before, change.After});
    }
    Journal* journal = started.Records;
    if (!Record(journal, entry, options, result)) {
        return;
    }
    const KeptTime time(options, stream.Handle);
    // The index first, then the fields that point at it: a file cut off in between still reads
    // as it did, and the length alone undoes the rest.
    const bool written = WriteAt(stream, plan.Length, plan.Tail) &&
                         Apply(stream, entry.Changes, true, plan.NewLength);
    if (written) {
        result.Written = true;
        result.BytesWritten = static_cast<std::int64_t>(plan.Tail.size());
        for (const ByteChange& change : entry.Changes) {
            result.BytesWritten += static_cast<std::int64_t>(change.After.size());
        }
        if (journal != nullptr) {
            journal->Settle(entry, EntryState::Done);
        }
        return;
    }
    result.SystemError = os::LastSystemError();
    result.Reason = IndexReason::WriteFailed;
    // Undone at once; when even that fails the record stays pending for recovery.
    if (Apply(stream, entry.Changes, false, plan.Length) &&
        HeldBy(stream, entry.Changes) == Holding::Before && stream.GetSize() == plan.Length) {
        if (journal != nullptr) {
            journal->Settle(entry, EntryState::Undone);
        }
    } else {
        result.Reason = IndexReason::UndoFailed;
    }
}

void Undo(const JobOptions& options, IndexResult& result, Started& started) {
    THandleStream64& stream = *started.Target.Stream;
    Journal* journal = started.Records;
    if (journal == nullptr) {
        return;
    }
    const std::int64_t length = stream.GetSize();
    const std::optional<JournalEntry> last = LastIndexRecord(journal->Entries(), started.Identity);
    if (!last || !last->UndoesId.empty() || last->State != EntryState::Done ||
        last->NewSize != length) {
        return;
    }
    if (!last->Damage.empty()) {
        result.Reason = IndexReason::RecordDamaged;
        result.JournalError = last->Damage;
        return;
    }
    if (HeldBy(stream, last->Changes) != Holding::After) {
        result.Reason = IndexReason::FileChanged;
        return;
    }
    JournalEntry entry;
    entry.Kind = RecordKind::Index;
    entry.Path = last->Path;
    entry.File = started.Identity;
    entry.File.Size = length;
    entry.NewSize = last->File.Size;
    entry.UndoesId = last->Id;
    for (const ByteChange& change : last->Changes) {
        entry.Changes.push_back({change.Pos, change.After, change.Before});
    }
    if (!Record(journal, entry, options, result)) {
        return;
    }
    const KeptTime time(options, stream.Handle);
    // The fields first, then the length: an undoing cut off anywhere is finished by recovery.
    if (!Apply(stream, entry.Changes, true, entry.NewSize)) {
        result.Reason = IndexReason::UndoFailed;
        result.SystemError = os::LastSystemError();
        return;
    }
    result.Written = true;
    result.BytesWritten = length - entry.NewSize;
    journal->Settle(entry, EntryState::Done);
    journal->Settle(*last, EntryState::Undone);
    result.Plan.Length = length;
    result.Plan.NewLength = entry.NewSize;
}

} // namespace

const char* IndexReasonName(IndexReason reason) noexcept {
    static const char* const names[] = {"",
                                        "index-whole",
                                        "not-avi",
                                        "opendml",
                                        "no-movie-list",
                                        "no-video",
                                        "damaged-list",
                                        "read-failed",
                                        "not-found",
                                        "cannot-write",
                                        "lock-busy",
                                        "lock-failed",
                                        "no-space",
                                        "write-failed",
                                        "journal-failed",
                                        "record-damaged",
                                        "file-changed",
                                        "undo-failed"};
    const auto index = static_cast<std::size_t>(reason);
    return index < std::size(names) ? names[index] : "";
}

IndexResult RebuildIndex(const std::string& path, const JobOptions& options) noexcept {
    IndexResult result;
    try {
        Started started;
        if (!Start(path, options, result, started)) {
            return result;
        }
        result.Plan = avi::PlanIndex(*started.Target.Stream, &video::StartsIntra);
        result.Reason = ReasonOf(result.Plan.Refused);
        if (result.Reason != IndexReason::None || options.DryRun) {
            result.Needed = static_cast<std::int64_t>(result.Plan.Tail.size());
            return result;
        }
        WritePlan(path, options, result, started);
    } catch (...) {
        // Only running out of memory gets here.
        result.Reason = IndexReason::ReadFailed;
    }
    return result;
}

IndexResult UndoIndex(const std::string& path, const JobOptions& options) noexcept {
    IndexResult result;
    try {
        Started started;
        if (options.Journal == JournalUse::Off || options.DryRun ||
            !Start(path, options, result, started)) {
            return result;
        }
        Undo(options, result, started);
    } catch (...) {
        result.Reason = IndexReason::UndoFailed;
    }
    return result;
}

IndexResult SettleIndex(const std::string& path, const JobOptions& options) noexcept {
    IndexResult result;
    try {
        Started started;
        if (options.Journal != JournalUse::Off && !options.DryRun) {
            Start(path, options, result, started);
        }
    } catch (...) {
        result.Reason = IndexReason::UndoFailed;
    }
    return result;
}

} // namespace vidtag
