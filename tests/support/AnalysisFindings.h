#pragma once

#include "avi/VmAVIFile.h"
#include "codecs/FourCC.h"
#include "streams/Stream64.h"

#include <cstdint>
#include <new>

namespace vidtag::test {

// What one walk of the reader found, compared between a direct and a cached walk of the same
// bytes by the damaged-file suite and the fuzzer.
struct AnalysisFindings {
    std::int32_t ErrorCode = 0;
    std::int32_t NodeCount = 0;
    std::int64_t VideoHeaderPos = 0;
    std::int64_t VideoFormatPos = 0;
    FourCC Handler = 0;
    FourCC Compression = 0;
    bool OutOfMemory = false; // the tree's cap, as the engine reports it

    bool operator==(const AnalysisFindings&) const = default;
};

// What a reader holds after its scan; outOfMemory when the scan stopped at the tree's cap.
inline AnalysisFindings FindingsOf(const TVmAVIFileReader& reader, bool outOfMemory) {
    AnalysisFindings found;
    found.ErrorCode = reader.ErrorCode;
    found.OutOfMemory = outOfMemory;
    found.NodeCount = reader.NodeCount;
    found.VideoHeaderPos = reader.VideoHeaderPos;
    found.VideoFormatPos = reader.VideoFormatPos;
    found.Handler = reader.VideoHandler();
    found.Compression = reader.VideoCompression();
    return found;
}

inline AnalysisFindings AnalyseStream(TStream64& stream) {
    TVmAVIFileReader reader(&stream);
    bool outOfMemory = false;
    if (reader.ErrorCode == 0) {
        try {
            reader.Scan();
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        }
    }
    return FindingsOf(reader, outOfMemory);
}

} // namespace vidtag::test
