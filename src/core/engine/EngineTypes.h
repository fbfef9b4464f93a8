#pragma once

#include "check/IndexRates.h"
#include "codecs/CodecCatalog.h"
#include "codecs/FourCC.h"
#include "os/FileLayer.h"
#include "video/StreamFacts.h"

#include <cstdint>
#include <string>

// The engine's shared types and state: what every engine unit and the front ends read, kept
// apart from the calls so that the units below the engine's surface need nothing above them.
namespace vidtag {

using ConversionStatus = std::uint8_t;

constexpr ConversionStatus kStatusDone = 0;
constexpr ConversionStatus kStatusNotFound = 1;
constexpr ConversionStatus kStatusCannotOpen = 2;
constexpr ConversionStatus kStatusCannotWrite = 3;
constexpr ConversionStatus kStatusNotAvi = 4;
constexpr ConversionStatus kStatusScanFailed = 6;
constexpr ConversionStatus kStatusFileChanged = 7;

// The engine's record of the current file. The dialog reads it after every ProcessFile; a job
// hands out its own copy. The dialog's layer keeps it and the reports below per thread.
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
    // The file the positions belong to: a conversion writes only into that very file.
    os::FileIdentity AnalysedFile;
    // One field lies inside the other's record (a header found inside the format's data): a
    // conversion would write over its own codes, so none is made.
    bool FieldsOverlap = false;
    // A Matroska file: its one code is the compression code, at CompressionPos; it has no handler
    // (HandlerPos 0, CurrentHandler 0). See engine/MatroskaReport.h.
    bool Matroska = false;
};

extern thread_local TEngineState EngineState;

// What the video stream of the file last analysed holds, read after its headers. Reset by every
// analysis of a file that exists; nothing else in the engine reads it, so that a damaged frame
// changes nothing else.
extern thread_local video::StreamFacts StreamReport;

// The video stream's bitrates of the file last analysed, from its index or else the frames read,
// when rate reading is on (SetRateReading); empty otherwise. Reset by every analysis of a file
// that exists, and read by nothing else in the engine.
extern thread_local check::Rates RateReport;

// The rule ProcessFile classifies by; the dialog never changes it. Jobs take theirs from their
// options.
extern ClassificationRule AnalysisRule;

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

// Why a call wrote nothing, beyond its status; the numbers are kept for whoever stores them.
enum class Refusal : std::uint8_t {
    None = 0,
    LockBusy = 1,          // another conversion of the file did not finish within 2 s (status 3)
    LockFailed = 2,        // the file system refused the lock (status 3): LockError
    LockNeedsWriting = 3,  // the lock needs a writing handle, which a read-only file gets only
                           // after its conversion is recorded (status 3): LockError
    FieldsOverlap = 4,     // the two codes' fields overlap (status 3)
    JournalFailed = 5,     // the journal could not be read or written (status 3): JournalPath,
                           // Reason
    NothingRecorded = 6,   // a restore found no recorded conversion of the file (status 0)
    CodesChanged = 7,      // a restore found codes the journal did not record last (status 7)
    RecordDamaged = 8,     // the journal's record of the file cannot be trusted (status 3): Reason,
                           // JournalPath
    SizeChanged = 9,       // a restore found a record of the file at another size (status 7):
                           // RecordedSize, PresentSize
    ContainerRefused = 10, // the file's container does not let its code change (status 3): the
                           // container's WriteRefusal
    UnknownCodes = 11,     // the codes are no kind's: nothing is written over them (status 0)
    NotOffered = 12,       // the file's kind does not offer the target (status 0)
    NoFormatChunk = 13,    // without a format chunk the handler alone would not make the target
    CannotOpenForWriting = 14, // a dry run could not open the file for writing (status 3)
    NotConfirmed = 15,         // the analysis after the write did not find the target kind
    CodesNotConfirmed = 16,    // the analysis after the write found other codes than written
    Declined = 17,             // the caller's choice of target refused the file
};

// "lock-busy", "not-offered", ...: the refusal's name, for logs and machine-readable output.
const char* RefusalName(Refusal refusal) noexcept;

struct TJournalReport {
    Settlement Settled = Settlement::None;
    CodecKind SettledKind = kNoKind; // the target of the settled conversion
    CodePair SettledHeld{};          // the codes the file held when recovery met it
    Refusal Refused = Refusal::None;
    // The journal the call consulted, absolute (or where it would be, when no state folder is
    // known); empty when it consulted none.
    std::string JournalPath;
    std::string Reason;
    std::int64_t RecordedSize = 0;
    std::int64_t PresentSize = 0;
    // Why recovery left the file's mode as it is (the recorded one missing or unsound); empty
    // when it put the recorded one back or had none to put back.
    std::string ModeLeft;
    // What the journal had to say beside the write (a compaction left undone, and why).
    std::string JournalNotice;
    int SkippedLines = 0; // unreadable journal lines passed over so far
    int LockError = 0;    // the system's reason for LockFailed and LockNeedsWriting
    // The modification time was to be kept but could not be (the system's reason); the write
    // itself went through.
    int TimeError = 0;
};

// The dialog's layer: the findings of its last write (ProcessFile with a kind, RestoreFile,
// RecoverFile, CheckLock).
extern thread_local TJournalReport JournalReport;

struct RecordedOriginal {
    bool Found = false;
    CodecKind Kind = kNoKind;
    CodePair Codes{};
    std::string Time; // UTC, "2026-12-08T14:02:11Z"
    // The last conversion was cut short between its two writes: the file holds one new code.
    bool Interrupted = false;
    // Why the journal could not be read; empty when it was read.
    std::string JournalError;
    // The journal consulted, absolute; empty when the journal is not in use.
    std::string JournalPath;
    // Why the journal's record of the file cannot be trusted; empty when it can.
    std::string Damage;
    // Nothing found, but the last record of this very file was made at another size: the size
    // then, and the size now (a restore refuses such a file). 0 and 0 otherwise.
    std::int64_t RecordedSize = 0;
    std::int64_t PresentSize = 0;
};

} // namespace vidtag
