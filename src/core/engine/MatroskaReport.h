#pragma once

#include <cstdint>
#include <string>

namespace vidtag {

// What the last analysis found in the file's container beside its codes: its name, and for a
// Matroska file (one that starts with an EBML header) which track was read and why its code may
// not change.
struct ContainerFacts {
    // "avi" or "matroska", as device profiles name containers; empty before the file was read.
    std::string Name;
    bool Matroska = false;
    std::string DocType;
    // Why the file was not read (status 4): a WebM file, damaged headers, no video track.
    std::string Reason;
    std::string CodecId;
    std::uint64_t Track = 0; // the video track's number
    int VideoTracks = 0;
    std::string Choice; // which video track was taken and why, when there are several
    // Why its code may not change; empty when it may.
    std::string WriteRefusal;
    // The track's place among the video streams FFmpeg lists, which a remux maps.
    int VideoIndex = 0;
    // Whether the exact rule alone finds the kind.
    bool ExactMatch = false;
};

using TMatroskaReport = ContainerFacts;

// The dialog's layer: ContainerFacts of the file last analysed through ProcessFile.
extern thread_local TMatroskaReport MatroskaReport;

} // namespace vidtag
