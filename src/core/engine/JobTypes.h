#pragma once

#include "audio/AudioFacts.h"
#include "check/IndexFacts.h"
#include "check/IndexRates.h"
#include "engine/EngineTypes.h"
#include "engine/MatroskaReport.h"
#include "video/StreamFacts.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What a job is given and what it hands back: values only, so that any number of jobs may run
// at once on as many threads, and a front end needs nothing else of the engine.
namespace vidtag {

class JournalIndex;

// How much of the file an analysis reads.
enum class Reading : std::uint8_t {
    Headers, // the codes and where they lie
    Stream,  // also the video stream's own headers and first frames
    Frames,  // also the index's bitrates and the first bytes of every frame (a device check)
};

// Everything a job's behaviour depends on besides the file; nothing is taken from elsewhere.
struct JobOptions {
    ClassificationRule Rule = ClassificationRule::Exact;
    Reading Read = Reading::Headers;
    JournalUse Journal = JournalUse::BestEffort;
    // The journal's file; empty: JournalPath(), the user's own.
    std::string JournalFile;
    // The journal read once for a whole run that writes nothing, shared read-only by its threads:
    // an analysis takes its file's records from it instead of reading the journal. nullptr: the
    // journal is read for each job, as every write does.
    std::shared_ptr<const JournalIndex> SharedJournal;
    // Every write keeps the file's modification time, set through the handle that wrote.
    bool KeepTime = false;
    // Decide, probe the lock and the open for writing, and write nothing.
    bool DryRun = false;
    // A device check chose the target: a device's own label (MP4V) may be written.
    bool DeviceTarget = false;
};

// Where an analysis of the file finds its codes now, as the journal records them: a container
// with one code records it in the handler's fields. Found is false when it finds no video stream
// header.
struct CodePlaces {
    bool Found = false;
    std::int64_t HandlerPos = 0;
    std::int64_t CompressionPos = 0; // 0: the stream has no format chunk
};

using check::IndexFacts;

// What one analysis found: the codes and their places as the dialog's state holds them, the
// container's own facts, and what was read of the stream.
struct Analysis {
    ConversionStatus Status = kStatusNotFound;
    TEngineState State;
    ContainerFacts Container;
    video::StreamFacts Stream;
    check::Rates Rates;
    // Every audio track, in file order, when the stream was read.
    std::vector<audio::AudioFacts> Audio;
    int SubtitleTracks = 0;
    std::uint64_t FileSize = 0; // bytes, when the file opened
    // An AVI file's index and extent, when the stream was read; absent for Matroska.
    std::optional<IndexFacts> Index;
};

// The localized text number (1 to 17) that describes a status, or 0 for status 0 with a known
// kind, whose text is the kind's display name.
int StatusTextNumber(ConversionStatus status, CodecKind currentKind) noexcept;

} // namespace vidtag
