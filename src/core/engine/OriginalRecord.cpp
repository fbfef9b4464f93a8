#include "engine/OriginalRecord.h"

#include "engine/ContainerFace.h"
#include "journal/ConversionHistory.h"
#include "journal/Journal.h"
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

} // namespace

RecordedOriginal ReadOriginal(WriteCall& call, const std::string& fileName) noexcept {
    RecordedOriginal found;
    try {
        const TEngineState& state = call.State;
        TJournalReport scratch;
        WriteCall reading{call.State, call.Options, scratch};
        Journal* journal = CurrentJournal(reading);
        call.Report.SkippedLines = scratch.SkippedLines;
        found.JournalPath = scratch.JournalPath;
        if (scratch.Refused == Refusal::JournalFailed) {
            found.JournalError = scratch.Reason;
        }
        if (journal == nullptr || journal->Entries().empty()) {
            return found;
        }
        os::FileIdentity identity;
        {
            TFileStream64 stream(fileName, kAnalyseMode);
            if (!os::Files().Identify(stream.Handle, identity)) {
                return found;
            }
        }
        const ContainerFace& face = FaceOf(state);
        const CodePair current = face.Record(state).Codes;
        const FileHistory history =
            HistoryOf(journal->Entries(), identity, os::CanonicalPath(fileName), current);
        if (history.Last && history.Last->State == EntryState::Pending) {
            found.Interrupted = Interrupted(*history.Last, current);
        }
        found.Damage = history.Damage;
        if (const auto recorded = SizeChangedSince(journal->Entries(), identity);
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
