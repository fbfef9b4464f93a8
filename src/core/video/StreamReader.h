#pragma once

#include "video/MsPictureHeader.h"
#include "video/StreamFacts.h"
#include "video/SyntaxSigns.h"

#include <cstddef>
#include <cstdint>

namespace vidtag::video {

// Gathers the facts of one video stream from its format's extra bytes and its first frames.
// Feed it in file order: TakeFormatExtra once (if the format has extra bytes), then every video
// chunk of the walk, each with TakeChunk or, when it is empty, TakeDroppedFrame. It keeps no
// bytes it is given, allocates nothing by a size from the file but the short user data strings
// and one entry per chunk in ChunkSizes (capped at kMaxChunkSizes), and never throws.
//
// What it does not know is left to the caller: Fps and Frames (the stream header), Width and
// Height when the VOL gave none (biWidth, |biHeight|), and the label's family (TakeLabelFamily,
// from which it sets FamilyMismatch).
//
// The VOS, VOL and user data are read from the format's extra bytes first, then from the
// chunks; only the first VOS and VOL count. The first user data string that names an encoder
// names it, except that an XviD string wins over a DivX one. VOPs are counted in chunks only. The
// first chunk of two bytes or more decides the syntax; once it says the stream is not MPEG-4, the
// MPEG-4 fields are cleared and later chunks are only counted, except that a Microsoft MPEG-4
// stream's first intra picture is read for SettleMsVersions to judge.
class StreamReader {
  public:
    static constexpr std::size_t kMaxChunkSizes = 4096;

    // The bytes after the 40-byte bitmap header in "strf".
    void TakeFormatExtra(const std::uint8_t* data, std::size_t size) noexcept;
    // One video chunk's data (or the first part of it that the budget allowed). Adds one to
    // FramesRead and the chunk's whole size (chunkSize, or size when not given) to ChunkSizes,
    // so that a bitrate over them counts what the file holds; a size of 0 counts as
    // TakeDroppedFrame.
    void TakeChunk(const std::uint8_t* data, std::size_t size, std::size_t chunkSize = 0) noexcept;
    // A zero-length video chunk: a dropped frame, which adds a 0 to ChunkSizes only.
    void TakeDroppedFrame() noexcept;
    // FamilyOf(kind) of the label; FamilyMismatch follows it and the syntax.
    void TakeLabelFamily(int family) noexcept;

    const StreamFacts& Facts() const noexcept { return facts_; }
    // Sets MsVersions from the first intra picture read, once the caller has filled in the frame
    // rate and height it is judged by; leaves 0 when none was read.
    void SettleMsVersions(StreamFacts& facts) const noexcept;

  private:
    void TakeUnits(const std::uint8_t* data, std::size_t size, bool inChunk) noexcept;
    void TakeVol(const std::uint8_t* data, std::size_t size) noexcept;
    void TakeVisualObject(const std::uint8_t* data, std::size_t size) noexcept;
    void TakeUserData(const std::uint8_t* data, std::size_t size) noexcept;
    // Returns whether the VOP was a coded one.
    bool TakeVop(const std::uint8_t* data, std::size_t size) noexcept;
    void TakeSize(std::size_t size) noexcept;
    void DecideSyntax(const std::uint8_t* data, std::size_t size) noexcept;
    void TakeMsPicture(const std::uint8_t* data, std::size_t size, bool whole) noexcept;

    StreamFacts facts_;
    bool syntaxDecided_ = false;
    bool volSeen_ = false;
    unsigned objectVerId_ = 1;       // visual_object_verid, which a VOL without its own inherits
    unsigned timeIncrementBits_ = 0; // 0 until a VOL gave a time resolution
    std::uint32_t bRun_ = 0;
    int family_ = 0;
    std::optional<MsIntraPicture> msPicture_;
};

} // namespace vidtag::video
