#pragma once

#include "engine/EngineTypes.h"
#include "engine/FileAnalysis.h"

#include <cstdint>
#include <string>

// The dialog's layer over the jobs (engine/Jobs.h): one file at a time, its state kept in
// EngineState and the reports beside it, its behaviour set by the switches below. The dialog and
// the engine's own tests use it; vidtag-cli calls the jobs.
namespace vidtag {

// Kind 0 analyses the file; 1 to 13 converts it in place to that kind. Returns the new Status,
// which is also left in EngineState. Never throws.
ConversionStatus ProcessFile(const std::string& FileName, CodecKind Kind) noexcept;

// The dialog records where it can (the default); vidtag-cli requires the journal or turns it off.
void SetJournalUse(JournalUse use) noexcept;

// Every write keeps the file's modification time when set (vidtag-cli -P): set through the
// handle that wrote, before the attributes go back. JournalReport.TimeError says when it could
// not be kept.
void SetKeepModifiedTime(bool keep) noexcept;

// Whether a conversion of the file could take its lock now: status 0, or 3 with
// JournalReport.Refused saying why. Writes nothing.
ConversionStatus CheckLock(const std::string& FileName) noexcept;

// Whether analyses read the video stream's headers and first frames into StreamReport (off by
// default: only a front end that shows the stream pays for reading up to 1 MiB of frames).
// Off, StreamReport stays empty and an analysis reads only the headers it needs.
void SetStreamReading(bool on) noexcept;

// Whether analyses also read the video stream's index for its bitrates into RateReport, and the
// first bytes of every video frame for StreamReport's frame types (off by default: only a device
// check needs them, and they cost a walk through the whole movie data). Needs stream reading
// on; without an index the rates come from the chunk sizes that walk found.
void SetRateReading(bool on) noexcept;

// Settles an interrupted conversion of the file, if the journal has one, and nothing else.
ConversionStatus RecoverFile(const std::string& FileName) noexcept;

// Writes back the codes the journal records as the file's original, whatever their kind; see
// OriginalOf. Leaves CurrentKind and the current codes in EngineState.
ConversionStatus RestoreFile(const std::string& FileName) noexcept;

// What the journal says about the file last analysed: the codes it had before the first
// conversion of the unbroken chain of recorded conversions that ends at its current codes.
RecordedOriginal OriginalOf(const std::string& FileName) noexcept;

} // namespace vidtag
