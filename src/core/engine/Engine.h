#pragma once

#include "engine/EngineTypes.h"

#include <cstdint>
#include <memory>
#include <string>

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

// Analyses take the file's records from this journal, read once for a whole run and shared by
// its threads, instead of reading the journal for each file; nullptr goes back to that. Set it
// before the run's threads start, and only for a run that writes nothing: writes always read
// the latest records.
class JournalIndex;
void ShareJournal(std::shared_ptr<const JournalIndex> index) noexcept;

// Whether the named file exists, is not a folder, and can be opened for reading while others
// may read and write it.
bool FileIsReadable(const std::string& FileName) noexcept;

// The localized text number (1 to 17) that describes a status, or 0 for status 0 with a known
// kind, whose text is the kind's display name.
int StatusTextNumber(ConversionStatus status, CodecKind currentKind) noexcept;

} // namespace vidtag
