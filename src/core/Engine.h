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

// Whether the named file exists, is not a folder, and can be opened for reading while others
// may read and write it.
bool FileIsReadable(const std::string& FileName) noexcept;

// The localized text number (1 to 17) that describes a status, or 0 for status 0 with a known
// kind, whose text is the kind's display name.
int StatusTextNumber(ConversionStatus status, CodecKind currentKind) noexcept;

} // namespace vidtag
