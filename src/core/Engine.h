#pragma once

#include "CodecCatalog.h"
#include "FourCC.h"

#include <cstdint>
#include <string>

namespace vidtag {

using ConversionStatus = std::uint8_t;

constexpr ConversionStatus kStatusDone = 0;
constexpr ConversionStatus kStatusNotFound = 1;
constexpr ConversionStatus kStatusCannotOpen = 2;
constexpr ConversionStatus kStatusCannotWrite = 3;
constexpr ConversionStatus kStatusNotAvi = 4;
constexpr ConversionStatus kStatusScanFailed = 6;
constexpr ConversionStatus kStatusFileChanged = 7;

// The engine's record of the current file, read by the front ends after every call.
struct TEngineState {
    ConversionStatus Status = 0;
    CodecKind OriginalKind = 0;
    CodecKind CurrentKind = 0;
    FourCC OriginalHandler = 0;
    FourCC OriginalCompression = 0;
    std::int64_t HandlerPos = 0;
    std::int64_t CompressionPos = 0; // 0 when the video stream has no format chunk
    // The codes the file holds now: the original ones after an analysis, the ones written after
    // a conversion. A conversion checks the file still holds them before it writes.
    FourCC CurrentHandler = 0;
    FourCC CurrentCompression = 0;
};

extern TEngineState EngineState;

// The rule every analysis classifies by. The dialog never changes it; vidtag-cli --relaxed does.
extern ClassificationRule AnalysisRule;

// Kind 0 analyses the file; 1 to 13 converts it in place to that kind. Returns the new Status,
// which is also left in EngineState. Never throws.
ConversionStatus ProcessFile(const std::string& FileName, CodecKind Kind) noexcept;

// Whether conversions go through the conversion journal.
enum class JournalUse : std::uint8_t {
    BestEffort, // recorded when the journal can be written; converted as before when not
    Required,   // a conversion that cannot be recorded writes nothing (status 3)
    Off,        // the journal is neither read nor written
};

// What recovery did with an interrupted conversion it met before the call did its own work.
enum class Settlement : std::uint8_t {
    None,
    Done,     // the file holds the new codes: only the mark was lost
    Undone,   // the file holds the old codes
    Repaired, // the file held one new and one old code; the old ones were put back
    Foreign,  // the file holds codes the conversion never wrote; nothing was written (status 7)
};

// Why a call wrote nothing, beyond its status.
enum class Refusal : std::uint8_t {
    None,
    LockBusy,        // another conversion of the file did not finish within 2 s (status 3)
    JournalFailed,   // the journal could not be read or written (status 3): JournalPath, Reason
    NothingRecorded, // a restore found no recorded conversion of the file (status 0)
    CodesChanged,    // a restore found codes the journal did not record last (status 7)
};

struct TJournalReport {
    Settlement Settled = Settlement::None;
    CodecKind SettledKind = kNoKind; // the target of the settled conversion
    Refusal Refused = Refusal::None;
    std::string JournalPath;
    std::string Reason;
    int SkippedLines = 0; // unreadable journal lines passed over so far
};

// Reset by every call below and by a conversion through ProcessFile.
extern TJournalReport JournalReport;

// The dialog records where it can (the default); vidtag-cli requires the journal or turns it off.
void SetJournalUse(JournalUse use) noexcept;

// Settles an interrupted conversion of the file, if the journal has one, and nothing else.
ConversionStatus RecoverFile(const std::string& FileName) noexcept;

// Writes back the codes the journal records as the file's original, whatever their kind; see
// OriginalOf. Leaves CurrentKind and the current codes in EngineState.
ConversionStatus RestoreFile(const std::string& FileName) noexcept;

struct RecordedOriginal {
    bool Found = false;
    CodecKind Kind = kNoKind;
    CodePair Codes{};
    std::string Time; // UTC, "2026-12-08T14:02:11Z"
    // The last conversion was cut short between its two writes: the file holds one new code.
    bool Interrupted = false;
};

// What the journal says about the file last analysed: the codes it had before the first
// conversion of the unbroken chain of recorded conversions that ends at its current codes.
RecordedOriginal OriginalOf(const std::string& FileName) noexcept;

// Whether the named file exists, is not a folder, and can be opened for reading while others
// may read and write it.
bool FileIsReadable(const std::string& FileName) noexcept;

// The localized text number (1 to 17) that describes a status, or 0 for status 0 with a known
// kind, whose text is the kind's display name.
int StatusTextNumber(ConversionStatus status, CodecKind currentKind) noexcept;

} // namespace vidtag
