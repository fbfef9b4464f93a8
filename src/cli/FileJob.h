#pragma once

#include "IndexTexts.h"
#include "check/Verdict.h"
#include "engine/Jobs.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vidtag::cli {

// What happened to one file, as both output formats show it. The codec fields describe the file
// as it is when the job ends.
struct FileReport {
    std::string Path;
    // The container's name, how many codes it holds, the track read and why its code may not
    // change.
    ContainerFacts Container;
    ConversionStatus Status = kStatusDone;
    CodecKind Kind = kNoKind;
    FourCC Handler = 0;
    FourCC Compression = 0;
    std::int64_t HandlerPos = 0;
    std::int64_t CompressionPos = 0;
    ClassificationRule Rule = ClassificationRule::Exact;
    // The kind the relaxed rule finds in codes the exact rule does not know; 0 when it finds none
    // or when it was the rule used.
    CodecKind RelaxedKind = kNoKind;

    bool Conversion = false;
    CodecKind FromKind = kNoKind;
    FourCC FromHandler = 0;
    FourCC FromCompression = 0;
    CodecKind ToKind = kNoKind;
    bool Converted = false;
    bool DryRun = false;

    // A restore writes back whatever the journal recorded, a code the catalogue lacks included.
    bool Restore = false;
    // The journal's word on the file: its recorded original, an interrupted conversion.
    RecordedOriginal Original;
    // What recovery did with an interrupted conversion before the job; said whatever the outcome.
    std::string Note;
    // Why a restore had nothing to do: no conversion of the file is recorded.
    std::string Remark;
    // Said beside a conversion that went ahead: what will not be possible later.
    std::string Warning;
    // The journal a message above speaks of, absolute, as the messages name it; empty when none
    // speaks of the journal's records.
    std::string Journal;

    // What the video stream holds, from the last analysis that opened the file.
    video::StreamFacts Stream;
    // Its bitrates, when the analysis read them (--check).
    check::Rates Rates;
    // Every audio track, in file order, and the subtitle tracks, when the stream was read.
    std::vector<audio::AudioFacts> Audio;
    int SubtitleTracks = 0;
    std::uint64_t FileSize = 0;
    // An AVI file's index and extent, as a player reads them.
    std::optional<IndexFacts> IndexRead;
    // The device check, with --check: of the file as analysed, or for a conversion the verdict
    // that decided it.
    std::optional<check::CheckResult> Check;

    // A failure the engine has no status for (target not offered, folder without -r, ...).
    std::string Error;
    // The system's reason when the file could not be opened (os::LastSystemError), else 0.
    int SystemError = 0;
    // The argument never reached the engine (a folder, a folder that cannot be listed): only
    // Error describes it.
    bool ArgumentOnly = false;
    // The journal passed over lines it could not read while this job read it.
    bool JournalSkipped = false;

    // An index job's outcome: a rebuild's, or a restore's undoing of one.
    std::optional<IndexReport> Index;

    // A Matroska track whose CodecID names a codec of the MPEG-4 family, and holds no code.
    bool NativeTrack() const;

    bool Failed() const {
        if (Index && (Index->Failed || !Index->Undo)) {
            return Index->Failed || !Error.empty();
        }
        // With a check, codes that look like a known kind are judged as it: the verdict, not the
        // label the default rule does not know, says whether the file fails.
        const bool judged = Check && !Conversion && (RelaxedKind != kNoKind || NativeTrack());
        return Status != kStatusDone || (Kind == kUnknownKind && !Restore && !judged) ||
               !Error.empty();
    }
};

// The kind a check and a repair judge the file as: its own, else the kind its codes look like
// (upper-case codes, the codes other tools write), which is how a player reads them.
CodecKind JudgedKind(const FileReport& report);

struct ConvertRequest {
    CodecKind Target = kNoKind;
    // The rule, what to read, the journal, the time, the dry run: the jobs' options.
    JobOptions Job;
    // Runs after the analysis of a file that could be analysed, before anything is written: may
    // change the target (report.ToKind), or refuse with report.Error set and return false.
    std::function<bool(FileReport&)> Decide;
};

// With the journal in use, the report carries the file's recorded original, and a warning in the
// language when the journal cannot tell it.
FileReport AnalyseFile(const std::string& path, const ConvertRequest& request, int language);

// Analyses the file, checks that the target is offered for its kind, writes, and analyses again
// to confirm; the file is left untouched whenever a check fails.
FileReport ConvertFile(const std::string& path, const ConvertRequest& request, int language);

// Writes back the codes the journal records as the file's original.
FileReport RestoreFile(const std::string& path, const ConvertRequest& request, int language);

// A report for an argument that never reached the engine: status 1, as scripts have always seen.
FileReport FailedArgument(const std::string& path, std::string error);

} // namespace vidtag::cli
