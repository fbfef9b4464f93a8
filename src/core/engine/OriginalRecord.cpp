#include "engine/OriginalRecord.h"

#include "engine/ContainerFace.h"
#include "journal/ConversionHistory.h"
#include "journal/Journal.h"
#include "journal/JournalIndex.h"
#include "os/FileLayer.h"
#include "os/Paths.h"
#include "streams/Stream64.h"

namespace vidtag {

namespace {

constexpr std::uint16_t kAnalyseMode = kModeRead | kShareDenyNone;

// The last conversion was cut short between its two writes: the file holds one new code.
bool Interrupted(const JournalEntry& last, CodePair current) {
    return last.CompressionPos > 0 && !Holds(current, last.To, last.CompressionPos) &&
           !Holds(current, last.From, last.CompressionPos) &&
           (current.Handler == last.To.Handler || current.Handler == last.From.Handler) &&
           (current.Compression == last.To.Compression ||
            current.Compression == last.From.Compression);
}

// The run's shared journal, as CurrentJournal would report the journal it read.
const JournalIndex* SharedJournal(const WriteCall& call, TJournalReport& report) {
    const JournalIndex* shared = call.Options.SharedJournal.get();
    if (call.Options.Journal == JournalUse::Off || shared == nullptr) {
        return nullptr;
    }
    report.JournalPath = shared->Shown();
    report.SkippedLines = shared->SkippedLines();
    if (!shared->Read() && call.Options.Journal == JournalUse::Required) {
        report.Refused = Refusal::JournalFailed;
        report.Reason = shared->Error();
    }
    return shared;
}

} // namespace

RecordedOriginal ReadOriginal(WriteCall& call, const std::string& fileName) noexcept {
    RecordedOriginal found;
    try {
        const TEngineState& state = call.State;
        TJournalReport scratch;
        WriteCall reading{call.State, call.Options, scratch};
        const JournalIndex* shared = SharedJournal(reading, scratch);
        Journal* journal = shared != nullptr ? nullptr : CurrentJournal(reading);
        call.Report.SkippedLines = scratch.SkippedLines;
        found.JournalPath = scratch.JournalPath;
        if (scratch.Refused == Refusal::JournalFailed) {
            found.JournalError = scratch.Reason;
        }
        if (shared != nullptr ? !shared->Read()
                              : journal == nullptr || journal->Entries().empty()) {
            return found;
        }
        // The analysis identified the file through the handle it read; the codes are that file's.
        os::FileIdentity identity = state.AnalysedFile;
        if (identity.Index == 0 && identity.Volume == 0) {
            TFileStream64 stream(fileName, kAnalyseMode);
            if (!os::Files().Identify(stream.Handle, identity)) {
                return found;
            }
        }
        std::vector<JournalEntry> records;
        if (shared != nullptr) {
            records = shared->RecordsFor(identity);
        }
        const std::vector<JournalEntry>& entries = shared != nullptr ? records : journal->Entries();
        // Without a record that could be the file's, its path need not be made canonical.
        if (entries.empty()) {
            return found;
        }
        const ContainerFace& face = FaceOf(state);
        const CodePair current = face.Record(state).Codes;
        const FileHistory history =
            HistoryOf(entries, identity, os::CanonicalPath(fileName), current);
        if (history.Last && history.Last->State == EntryState::Pending) {
            found.Interrupted = Interrupted(*history.Last, current);
        }
        found.Damage = history.Damage;
        if (const auto recorded = SizeChangedSince(entries, identity);
            !history.Original && recorded) {
            found.RecordedSize = *recorded;
            found.PresentSize = identity.Size;
        }
        if (history.Original) {
            found.Found = true;
            found.Kind = history.Original->FromKind;
            found.Codes = face.Held(history.Original->From);
            found.Time = history.Original->Time;
        }
    } catch (...) {
    }
    return found;
}

} // namespace vidtag
